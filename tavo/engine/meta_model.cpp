#include "tavo/engine/meta_model.h"

#include <algorithm>

namespace tavo {

namespace {
constexpr int kNone = -1;
Hand Turned(Hand h, int times) {
  for (int t = 0; t < times; ++t) h = Beating(h);
  return h;
}
}  // namespace

MetaModel::MetaModel(Settings settings)
    : s_(std::move(settings)),
      counts_(1, std::array<int, 6>{}), picks_(s_.windows.size() * (s_.turnedPicks ? 3 : 1), Rock),
      picked_(picks_.size(), 0.0) {
  Think(Hands(), nullptr);
}

// A predictor's guess of the engine's next hand, or (mirror) of the player's own as the
// engine would make it; kNone when it has nothing to say. Predictors: per history, the
// longest match at each horizon and the match of each length; then the counts at each
// horizon; then a fixed guess.
Hand MetaModel::Guess(const Hands& hands, const HistoryMatcher* matchers, int predictor, bool mirror) const {
  const int perHistory = int(s_.horizons.size() + s_.lengths.size());
  if (predictor < 3 * perHistory) {
    if (!matchers) return Hand(kNone);
    const HistoryMatcher& m = matchers[predictor / perHistory];
    const int k = predictor % perHistory;
    const int i = k < int(s_.horizons.size()) ? m.Follower(nullptr, s_.horizons[size_t(k)])
                                              : m.FollowerOfLength(s_.lengths[size_t(k) - s_.horizons.size()]);
    if (i < 0) return Hand(kNone);
    return mirror ? hands[size_t(i)].first : hands[size_t(i)].second;
  }
  predictor -= 3 * perHistory;
  if (predictor == int(s_.horizons.size())) return Rock;  // the fixed guess
  const int h = s_.horizons[size_t(predictor)];
  const size_t n = hands.size();
  if (n == 0) return Hand(kNone);
  const auto& now = counts_[n];
  const auto& then = counts_[h > 0 && size_t(h) < n ? n - size_t(h) : 0];
  const int side = mirror ? 0 : 3;
  int best = 0;
  for (int k = 1; k < 3; ++k)
    if (now[size_t(side + k)] - then[size_t(side + k)] > now[size_t(side + best)] - then[size_t(side + best)]) best = k;
  return Hand(best);
}

void MetaModel::Think(const Hands& hands, const HistoryMatcher* matchers) {
  const int predictors = 3 * int(s_.horizons.size() + s_.lengths.size()) + int(s_.horizons.size()) + 1;
  answers_.clear();
  for (int p = 0; p < predictors; ++p) {
    // The engine is expected to play g: beat it, in three rotations; the engine is
    // expected to expect m of us and beat it: beat that, in three rotations.
    const Hand g = Guess(hands, matchers, p, false);
    for (int r = 0; r < 3; ++r) answers_.push_back(int(g) < 0 ? Hand(kNone) : Turned(Beating(g), r));
    if (!s_.mirrored) continue;
    const Hand m = Guess(hands, matchers, p, true);
    for (int r = 0; r < 3; ++r) answers_.push_back(int(m) < 0 ? Hand(kNone) : Turned(Beating(Beating(m)), r));
  }
  if (sums_.empty()) {
    sums_.assign(answers_.size(), std::vector<int>(s_.windows.size(), 0));
    const int longest = *std::max_element(s_.windows.begin(), s_.windows.end());
    ring_.assign(answers_.size(), std::vector<int8_t>(size_t(std::max(1, longest)), 0));
  }
  // Per window the answer with the best sum over it (in three rotations).
  const size_t turns = s_.turnedPicks ? 3 : 1;
  for (size_t w = 0; w < s_.windows.size(); ++w) {
    int best = -1;
    for (size_t a = 0; a < answers_.size(); ++a)
      if (int(answers_[a]) >= 0 &&
          (best < 0 || sums_[a][w] > sums_[size_t(best)][w] || (s_.lastOfTies && sums_[a][w] == sums_[size_t(best)][w])))
        best = int(a);
    const Hand pick = best < 0 ? Rock : answers_[size_t(best)];
    for (size_t r = 0; r < turns; ++r) picks_[w * turns + r] = Turned(pick, int(r));
  }
  size_t chosen = 0;
  for (size_t p = 1; p < picks_.size(); ++p)
    if (picked_[p] > picked_[chosen] || (s_.lastOfTies && picked_[p] == picked_[chosen])) chosen = p;
  next_ = picks_[chosen];
}

void MetaModel::Record(const Hands& hands, const HistoryMatcher* matchers) {
  const auto [player, engine] = hands.back();
  const size_t t = hands.size() - 1;  // payoffs recorded so far
  for (size_t a = 0; a < answers_.size(); ++a) {
    const int payoff = int(answers_[a]) < 0 ? 0 : Outcome(answers_[a], engine);
    auto& ring = ring_[a];
    for (size_t w = 0; w < s_.windows.size(); ++w) {
      const size_t h = size_t(s_.windows[w]);
      sums_[a][w] += payoff - (h > 0 && t >= h ? ring[(t - h) % ring.size()] : 0);
    }
    ring[t % ring.size()] = int8_t(payoff);
  }
  for (size_t p = 0; p < picks_.size(); ++p) picked_[p] = picked_[p] * s_.pickDecay + Outcome(picks_[p], engine);
  auto counts = counts_.back();
  ++counts[size_t(player)];
  ++counts[size_t(3 + engine)];
  counts_.push_back(counts);
  Think(hands, matchers);
}

}  // namespace tavo
