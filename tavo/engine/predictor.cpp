#include "tavo/engine/predictor.h"

#include <algorithm>
#include <cmath>

namespace tavo {

namespace {

constexpr Forecast kUniform{1.0 / 3, 1.0 / 3, 1.0 / 3};

Forecast Certain(int hand) {
  Forecast f{0, 0, 0};
  f[size_t(hand)] = 1.0;
  return f;
}

int Likely(const Forecast& f) {
  int likely = 0;
  for (int i = 1; i < 3; ++i)
    if (f[size_t(i)] > f[size_t(likely)]) likely = i;
  return likely;
}

bool Informed(const Forecast& f) { return f[0] != f[1] || f[1] != f[2]; }

// The forecast of the player's hands if each expected hand is beaten by the player.
Forecast Rotated(const Forecast& f, int times) {
  Forecast r{};
  for (int i = 0; i < 3; ++i) {
    int h = i;
    for (int t = 0; t < times; ++t) h = int(Beating(Hand(h)));
    r[size_t(h)] = f[size_t(i)];
  }
  return r;
}

// The hand that wins most on average against a forecast of the other side's hands; of
// equals, the one that beats the likeliest hand.
Hand BestAnswer(const Forecast& f) {
  Hand best = Beating(Hand(Likely(f)));
  const auto gain = [&f](Hand h) { return f[size_t(Beating(Beating(h)))] - f[size_t(Beating(h))]; };
  for (int h = 0; h < 3; ++h)
    if (gain(Hand(h)) > gain(best) + 1e-12) best = Hand(h);
  return best;
}

constexpr double kDecay = 0.98;       // weight of older observations in a context
constexpr double kRecentDecay = 0.6;  // the few last hands
constexpr double kSlowDecay = 0.995;  // some hundreds of hands
// How many standard errors of its average a candidate's score is lowered by: with some
// hundred and fifty candidates, one of them is always lucky for a while.
constexpr double kDoubt = 3.5;
constexpr double kLeastSpread = 0.25;
// The memory of the engine's own record (about twenty hands), and how far below even it
// must fall before the engine turns to random play.
constexpr double kOwnDecay = 0.95;
constexpr double kOwnFloor = -0.15;
// How people play, as a prior that a fresh engine starts with: the answer to it begins as
// if it had won kPeopleStart hands, and a player who does not play so soon outweighs it.
constexpr double kPeopleStart = 3;
// The memory of a predictor's rotations for its turning answer (about two hands).
constexpr double kTurnDecay = 0.5;
// The memory of a player's record of its own answer to its model of us, in its three
// rotations: a player who second-guesses turns when that record goes below even.
constexpr double kPlayerTurnDecay = 0.9;

// The predictors' contexts, one row each (whose row is whose: kSourceRows below). A counting context counts the hand
// that followed each value of its key (the player's, or the engine's for a model of us).
using History = Hands;
using Key = int (*)(const History&);  // the context of the hand to come, -1 when unknown

int P(const History& h, size_t back) { return h.size() >= back ? int(h[h.size() - back].first) : -1; }
int E(const History& h, size_t back) { return h.size() >= back ? int(h[h.size() - back].second) : -1; }
int Pair(int a, int b) { return a < 0 || b < 0 ? -1 : a * 3 + b; }

struct Counting {
  bool ofEngine;  // counts the engine's hands
  double decay;
  Key key;
};
constexpr Counting kCountings[] = {
    {false, kDecay, [](const History&) { return 0; }},
    {false, kRecentDecay, [](const History&) { return 0; }},
    {false, kDecay, [](const History& h) { return P(h, 1); }},
    {false, kDecay, [](const History& h) { return Pair(P(h, 2), P(h, 1)); }},
    {false, kDecay, [](const History& h) { return E(h, 1); }},
    {false, kDecay, [](const History& h) { return Pair(P(h, 1), E(h, 1)); }},
    {true, kDecay, [](const History&) { return 0; }},
    {true, kDecay, [](const History& h) { return E(h, 1); }},
    {true, kDecay, [](const History& h) { return Pair(E(h, 2), E(h, 1)); }},
    {true, kDecay, [](const History& h) { return Pair(P(h, 1), E(h, 1)); }},
    {false, kSlowDecay,
     [](const History& h) { return h.size() < 2 ? -1 : Pair(P(h, 1), E(h, 1)) + (P(h, 1) == P(h, 2) ? 9 : 0); }},
};

// The matchers, one per history, and the sources that read them: the longest earlier
// repeat of a history ending within a horizon (0: any), the longest over any history
// (a match of both counts for two of either), or the one over any history that weighs
// most by length and age. A source takes the hand that followed: the player's, or the
// engine's for a player's model of us.
enum Matched { kPlayerHands, kEngineHands, kBothHands, kAnyHands };
constexpr int kMatcherBase[] = {3, 3, 9};
int Symbol(int m, Hand player, Hand engine) {
  return m == kPlayerHands ? int(player) : m == kEngineHands ? int(engine) : int(player) * 3 + int(engine);
}

struct MatchSource {
  Matched history;
  int horizon;
  double ageScale;  // > 0: weighed by age, over any history
  bool ofEngine;
};
constexpr MatchSource kMatchSources[] = {
    {kPlayerHands, 0, 0, false}, {kEngineHands, 0, 0, false}, {kBothHands, 0, 0, false},   {kEngineHands, 0, 0, true},
    {kBothHands, 0, 0, true},    {kPlayerHands, 0, 0, true},  {kBothHands, 100, 0, false}, {kBothHands, 100, 0, true},
    {kBothHands, 20, 0, false},  {kBothHands, 20, 0, true},   {kBothHands, 10, 0, false},  {kBothHands, 10, 0, true},
    {kBothHands, 5, 0, false},   {kBothHands, 5, 0, true},    {kBothHands, 2, 0, false},   {kBothHands, 2, 0, true},
    {kAnyHands, 0, 0, false},    {kAnyHands, 0, 0, true},     {kAnyHands, 0, 10, false},   {kAnyHands, 0, 50, false},
    {kAnyHands, 0, 200, false},  {kAnyHands, 0, 10, true},    {kAnyHands, 0, 50, true},    {kAnyHands, 0, 200, true},
};

// The meta players the engine models. The history-matching kind predicts the engine by
// the longest matches over each history at horizons of 1 to 1000 hands and by counts over
// the same horizons, answers each prediction in three rotations and three more that assume
// the engine models it alike, scores the answers over those horizons and chooses among the
// picks in three rotations; once with ties to the first, once to the last, and once at
// horizons of 3 to 300 hands with a shorter memory of its picks. The other kind
// matches contexts of fixed lengths, scores its answers over windows of 10 hands to all of
// them and follows the window whose picks have done best.
struct MetaSource {
  MetaModel::Settings settings;
};
const MetaSource kMetaSources[] = {
    {{{1, 2, 5, 10, 100, 1000}, {}, {1, 2, 5, 10, 100, 1000}, true, true, 0.9, false}},
    {{{1, 2, 5, 10, 100, 1000}, {}, {1, 2, 5, 10, 100, 1000}, true, true, 0.9, true}},
    {{{3, 12, 50, 300, 0}, {}, {3, 12, 50, 300, 0}, true, true, 0.85, false}},
    {{{0, 20}, {1, 2, 3, 4, 6, 8}, {10, 30, 100, 0}, false, false, 0.9, false}},
};

// Every predictor, one row each in the order of Predictor::Source (so found by its
// number): what kind it is and, for the kinds with a table above, its row there.
enum class Kind { Counting, Match, Meta, Step, Shown, People };
struct SourceRow {
  int source;
  Kind kind;
  int at;  // its row in kCountings, kMatchSources or kMetaSources
};
using P_ = Predictor;
constexpr SourceRow kSourceRows[] = {
    {P_::kFrequency, Kind::Counting, 0},
    {P_::kRecent, Kind::Counting, 1},
    {P_::kAfterPlayer, Kind::Counting, 2},
    {P_::kAfterPlayerTwo, Kind::Counting, 3},
    {P_::kAfterEngine, Kind::Counting, 4},
    {P_::kAfterPair, Kind::Counting, 5},
    {P_::kMatchPlayer, Kind::Match, 0},
    {P_::kMatchEngine, Kind::Match, 1},
    {P_::kMatchBoth, Kind::Match, 2},
    {P_::kStep, Kind::Step, 0},
    {P_::kEngineFrequency, Kind::Counting, 6},
    {P_::kEngineMatch, Kind::Match, 3},
    {P_::kEngineAfterEngine, Kind::Counting, 7},
    {P_::kEngineAfterEngineTwo, Kind::Counting, 8},
    {P_::kEngineMatchBoth, Kind::Match, 4},
    {P_::kEngineMatchPlayer, Kind::Match, 5},
    {P_::kEngineAfterPair, Kind::Counting, 9},
    {P_::kAfterPairSlow, Kind::Counting, 10},
    {P_::kMatchBoth100, Kind::Match, 6},
    {P_::kEngineMatchBoth100, Kind::Match, 7},
    {P_::kMatchBoth20, Kind::Match, 8},
    {P_::kEngineMatchBoth20, Kind::Match, 9},
    {P_::kMatchBoth10, Kind::Match, 10},
    {P_::kEngineMatchBoth10, Kind::Match, 11},
    {P_::kMatchBoth5, Kind::Match, 12},
    {P_::kEngineMatchBoth5, Kind::Match, 13},
    {P_::kMatchBoth2, Kind::Match, 14},
    {P_::kEngineMatchBoth2, Kind::Match, 15},
    {P_::kMatchAny, Kind::Match, 16},
    {P_::kEngineMatchAny, Kind::Match, 17},
    {P_::kMatchByAge10, Kind::Match, 18},
    {P_::kMatchByAge50, Kind::Match, 19},
    {P_::kMatchByAge200, Kind::Match, 20},
    {P_::kEngineMatchByAge10, Kind::Match, 21},
    {P_::kEngineMatchByAge50, Kind::Match, 22},
    {P_::kEngineMatchByAge200, Kind::Match, 23},
    {P_::kShown, Kind::Shown, 0},
    {P_::kPeople, Kind::People, 0},
    {P_::kMetaPlayer, Kind::Meta, 0},
    {P_::kMetaPlayerLate, Kind::Meta, 1},
    {P_::kMetaPlayerHorizons, Kind::Meta, 2},
    {P_::kMetaPlayerWindows, Kind::Meta, 3},
};

// Whether the rows are whole: every source has its row, at its place, and every row of
// a kind's table belongs to exactly one source.
constexpr bool EveryRowOnce(Kind kind, size_t tableRows) {
  for (size_t at = 0; at < tableRows; ++at) {
    int owners = 0;
    for (const SourceRow& r : kSourceRows) owners += r.kind == kind && r.at == int(at);
    if (owners != 1) return false;
  }
  for (const SourceRow& r : kSourceRows)
    if (r.kind == kind && (r.at < 0 || size_t(r.at) >= tableRows)) return false;
  return true;
}
constexpr bool RowsInOrder() {
  for (size_t i = 0; i < std::size(kSourceRows); ++i)
    if (kSourceRows[i].source != int(i) + 1) return false;
  return true;
}
static_assert(std::size(kSourceRows) == size_t(Predictor::kSources), "a predictor without its row, or one too many");
static_assert(RowsInOrder(), "the rows are not in the order of Predictor::Source");
static_assert(EveryRowOnce(Kind::Counting, std::size(kCountings)) &&
                  EveryRowOnce(Kind::Match, std::size(kMatchSources)) &&
                  EveryRowOnce(Kind::Meta, sizeof kMetaSources / sizeof kMetaSources[0]),
              "a row of a kind's table with no predictor, or with two");

const SourceRow& RowOf(int source) { return kSourceRows[size_t(source - 1)]; }

Forecast Counted(const std::vector<std::array<double, 3>>& table, int key) {
  if (key < 0 || size_t(key) >= table.size()) return kUniform;
  const auto& c = table[size_t(key)];
  const double total = c[0] + c[1] + c[2];
  if (total <= 0) return kUniform;
  return Forecast{c[0] / total, c[1] / total, c[2] / total};
}

// How people play: rock a little more often at first; after a won hand the same again,
// after a lost or drawn one a shift away from it; seldom a hand three times running.
Forecast People(const History& h) {
  if (h.empty()) return Forecast{0.38, 0.29, 0.33};
  const Hand last = h.back().first;
  const double same = Outcome(last, h.back().second) > 0 ? 0.5 : 0.15;
  Forecast f{};
  for (int i = 0; i < 3; ++i) f[size_t(i)] = i == int(last) ? same : (1 - same) / 2;
  if (h.size() >= 2 && h[h.size() - 2].first == last)
    for (int i = 0; i < 3; ++i) f[size_t(i)] = i == int(last) ? 0.1 : 0.45;
  return f;
}

}  // namespace

constexpr double Predictor::kWindowDecay[];

bool Predictor::IsEngineSource(int source) {
  if (source < 1 || source > kSources) return false;
  const SourceRow& row = RowOf(source);
  return row.kind == Kind::Counting ? kCountings[row.at].ofEngine
         : row.kind == Kind::Match  ? kMatchSources[row.at].ofEngine
                                    : false;
}

Predictor::Predictor(uint64_t seed)
    : counts_(std::size(kCountings)),
      keys_(std::size(kCountings), -1),
      followers_(std::size(kMatchSources), -1),
      random_(seed) {
  for (int base : kMatcherBase) matchers_.emplace_back(base);
  for (const MetaSource& m : kMetaSources) metaPlayers_.emplace_back(m.settings);
  const size_t people = size_t(kPeople - 1) * kAnswers;
  for (double& s : scores_[people]) s = kPeopleStart;
  for (double& s : squares_[people]) s = kPeopleStart;
  Look();
}

void Predictor::Look() {
  for (int w = 0; w < kWindows; ++w) remembered_[w] = Remembered(kWindowDecay[w]);
  for (size_t i = 0; i < std::size(kCountings); ++i) keys_[i] = kCountings[i].key(history_);
  for (size_t i = 0; i < std::size(kMatchSources); ++i) {
    const MatchSource& s = kMatchSources[i];
    int& follower = followers_[i];
    if (s.history != kAnyHands) {
      follower = matchers_[size_t(s.history)].Follower(nullptr, s.horizon);
      continue;
    }
    follower = -1;
    double heaviest = 0;
    for (size_t m = 0; m < matchers_.size(); ++m) {
      double weight = 0;
      int i = -1;
      if (s.ageScale > 0) {
        i = matchers_[m].RecentFollower(s.ageScale, &weight);
      } else {
        int length = 0;
        i = matchers_[m].Follower(&length);
        weight = m == kBothHands ? 2 * length : length;
      }
      if (i >= 0 && (weight > heaviest || (weight == heaviest && i > follower))) heaviest = weight, follower = i;
    }
  }
}

Forecast Predictor::SourceForecast(int source) const {
  if (source < 1 || source > kSources) return kUniform;
  const SourceRow& row = RowOf(source);
  const size_t at = size_t(row.at);
  switch (row.kind) {
    case Kind::Counting: return Counted(counts_[at], keys_[at]);
    case Kind::Match: {
      const int i = followers_[at];
      if (i < 0) return kUniform;
      return Certain(kMatchSources[at].ofEngine ? history_[size_t(i)].second : history_[size_t(i)].first);
    }
    case Kind::Meta: return history_.size() < 2 ? kUniform : Certain(metaPlayers_[at].Next());
    case Kind::Step: {
      // The player's last step repeated: a repeated hand, or a cycle.
      const int p1 = P(history_, 1), p2 = P(history_, 2);
      return p2 < 0 ? kUniform : Certain((p1 + (p1 - p2 + 3)) % 3);
    }
    case Kind::Shown:
      // The player read that we expected x, expects our answer to x again and beats it.
      return history_.empty() ? kUniform : Certain(Beating(BestAnswer(shown_)));
    case Kind::People: return People(history_);
  }
  return kUniform;
}

Hand Predictor::CandidateHand(const Forecast& f, int rotation, bool ofEngine) {
  // Against a model of our own hands the player is expected to play the best answer to
  // it. At each level of second guessing the player expects our answer and plays what
  // beats it; we play what beats that.
  Hand answer = BestAnswer(ofEngine ? Rotated(f, 1) : f);
  for (int r = 0; r < rotation; ++r) answer = Beating(Beating(answer));
  return answer;
}

// Hands of the candidates for the next hand; an uninformed predictor's candidates hold
// -1 and take no part.
void Predictor::Candidates(std::array<Hand, kCandidates>& hands) const {
  for (int source = 1; source <= kSources; ++source) {
    const Forecast f = SourceForecast(source);
    const int c = (source - 1) * kAnswers;
    for (int r = 0; r < kRotations; ++r)
      hands[size_t(c + r)] = Informed(f) ? CandidateHand(f, r, IsEngineSource(source)) : Hand(-1);
    hands[size_t(c + kRotations)] = hands[size_t(c + turn_[source - 1])];
  }
}

double Predictor::Remembered(double decay) const {
  return (1 - std::pow(decay, double(history_.size()))) / (1 - decay);
}

double Predictor::Mean(int candidate, int window) const {
  const double remembered = remembered_[window];
  return remembered > 0 ? scores_[candidate][window] / remembered : 0;
}

double Predictor::Score(int candidate, int window) const {
  // The window's average over the hands it remembers (all of them, early on), less the
  // doubt of that average: the spread of the payoffs over the root of their number.
  const double remembered = remembered_[window];
  if (remembered <= 0) return 0;
  const double mean = scores_[candidate][window] / remembered;
  // A spread of at least kLeastSpread: a short flawless run may be luck too.
  const double variance = std::max(kLeastSpread, squares_[candidate][window] / remembered - mean * mean);
  return mean - kDoubt * std::sqrt(variance / remembered);
}

Predictor::Choice Predictor::Choose() {
  Candidates(pending_);
  pendingValid_ = true;
  int best = -1;
  double bestScore = 0;
  for (int c = 0; c < kCandidates; ++c) {
    if (int(pending_[size_t(c)]) < 0) continue;
    for (int w = 0; w < kWindows; ++w) {
      const double s = Score(c, w);
      if (s > bestScore) best = c, bestScore = s;
    }
  }
  const int longest = kWindows - 1;
  if (best < 0 && history_.size() >= 2) {
    // Nothing stands out from its doubt: a player who reads the engine as well as it reads
    // the player looks like chance. The meta players' answer that has done best over the
    // longest window plays: against one of their kinds a small edge is all there is, and
    // few candidates show it sooner than many.
    for (const SourceRow& m : kSourceRows)
      for (int a = 0; a < kAnswers && m.kind == Kind::Meta; ++a) {
        const int c = (m.source - 1) * kAnswers + a;
        if (int(pending_[size_t(c)]) >= 0 && (best < 0 || Mean(c, longest) > Mean(best, longest))) best = c;
      }
  }
  if (best < 0) {
    // Early on: the candidate that has done best over the longest window plays if it has
    // done better than chance there; else the engine hedges.
    for (int c = 0; c < kCandidates; ++c) {
      if (int(pending_[size_t(c)]) < 0) continue;
      const double mean = Mean(c, longest);
      if (mean > bestScore) best = c, bestScore = mean;
    }
  }
  // The engine's own record over the last hands: when even its choices lose, the player
  // sees through them (by modelling the engine itself), and only random play is safe.
  if (history_.size() >= 10 && own_ / Remembered(kOwnDecay) < kOwnFloor) best = -1;
  if (best < 0) {
    shown_ = kUniform;
    return Choice{Hand(random_.Below(3)), kUniform, 0};
  }
  const int source = best / kAnswers + 1;
  Forecast expected = SourceForecast(source);
  if (IsEngineSource(source)) expected = Rotated(expected, 1);
  const int rotation = best % kAnswers == kRotations ? turn_[source - 1] : best % kAnswers;
  shown_ = Rotated(expected, 2 * rotation);
  return Choice{pending_[size_t(best)], shown_, source};
}

void Predictor::Record(Hand player, Hand engine) {
  if (!pendingValid_) Candidates(pending_);
  pendingValid_ = false;
  own_ = own_ * kOwnDecay + Outcome(engine, player);
  for (int c = 0; c < kCandidates; ++c) {
    if (int(pending_[size_t(c)]) < 0) continue;
    const int payoff = Outcome(pending_[size_t(c)], player);
    for (int w = 0; w < kWindows; ++w) {
      scores_[c][w] = scores_[c][w] * kWindowDecay[w] + payoff;
      squares_[c][w] = squares_[c][w] * kWindowDecay[w] + payoff * payoff;
    }
  }
  for (int s = 0; s < kSources; ++s) {
    const size_t c = size_t(s * kAnswers);
    if (int(pending_[c]) < 0) continue;
    for (int r = 0; r < kRotations; ++r)
      turns_[s][r] = turns_[s][r] * kTurnDecay + Outcome(pending_[c + size_t(r)], player);
    for (int r = 0; r < kRotations; ++r)
      if (turns_[s][r] > turns_[s][turn_[s]]) turn_[s] = r;
    if (IsEngineSource(s + 1)) {
      // A model of us: the player's plain answer to it is the hand our rotation 0 beats.
      // The player keeps it while it pays and else turns it the way that has paid best;
      // our answer to a turn by r hands is our rotation 2r.
      Hand plain = Beating(Beating(pending_[c]));
      for (int r = 0; r < kRotations; ++r, plain = Beating(plain))
        playerTurns_[s][r] = playerTurns_[s][r] * kPlayerTurnDecay + Outcome(plain, engine);
      const int r = playerTurns_[s][0] >= 0 ? 0 : playerTurns_[s][1] >= playerTurns_[s][2] ? 1 : 2;
      turn_[s] = (2 * r) % kRotations;
    }
  }
  for (size_t i = 0; i < std::size(kCountings); ++i) {
    const int key = keys_[i];
    if (key < 0) continue;
    auto& table = counts_[i];
    if (table.size() <= size_t(key)) table.resize(size_t(key) + 1, {0, 0, 0});
    for (auto& v : table[size_t(key)]) v *= kCountings[i].decay;
    table[size_t(key)][size_t(kCountings[i].ofEngine ? engine : player)] += 1.0;
  }
  history_.emplace_back(player, engine);
  for (size_t m = 0; m < matchers_.size(); ++m) matchers_[m].Add(Symbol(int(m), player, engine));
  for (MetaModel& m : metaPlayers_) m.Record(history_, matchers_.data());
  Look();
}

}  // namespace tavo
