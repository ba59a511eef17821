#include "tests/support/players.h"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>
#include <unordered_map>

namespace players {

using tavo::Beating;
using tavo::Outcome;
using tavo::Paper;
using tavo::Random;
using tavo::Rock;
using tavo::Scissors;

namespace {

Hand Beat(Hand h) { return Beating(h); }
// The hand that h beats.
Hand Victim(Hand h) { return Beating(Beating(h)); }
Hand Rotate(Hand h, int r) {
  for (int i = 0; i < r; ++i) h = Beating(h);
  return h;
}

template <class P, class... A>
Make Of(A... args) {
  return [=](uint64_t seed) { return std::unique_ptr<Player>(new P(seed, args...)); };
}

// The most frequent of the last `horizon` symbols (0: all); ties to the first or last
// hand in R, S, P order.
Hand MostFrequent(const std::vector<Hand>& s, int horizon, bool lastOfTies = false) {
  int counts[3] = {};
  const size_t from = horizon > 0 && s.size() > size_t(horizon) ? s.size() - size_t(horizon) : 0;
  for (size_t i = from; i < s.size(); ++i) ++counts[s[i]];
  int best = lastOfTies ? 2 : 0;
  for (int i = 0; i < 3; ++i)
    if (counts[i] > counts[best]) best = i;
  return Hand(best);
}

// For each horizon (ascending; 0: the whole sequence), the index of the symbol that
// followed the longest earlier repeat of the sequence's last symbols (at most maxLength of
// them) that ends within the last `horizon` symbols, or -1. Of equal lengths the newest
// counts, or the oldest.
std::vector<int> Followers(const std::vector<int>& s, const std::vector<int>& horizons, int maxLength,
                           bool oldestOfTies = false) {
  const int n = int(s.size());
  std::vector<int> out(horizons.size(), -1);
  int best = -1, bestLength = 0;
  size_t next = 0;  // the first horizon not yet settled
  for (int i = n - 2; i >= 0; --i) {
    const int distance = n - 1 - i;
    while (next < horizons.size() && horizons[next] > 0 && distance > horizons[next]) out[next++] = best;
    if (next == horizons.size()) return out;
    int length = 0;
    while (length < maxLength && i - length >= 0 && s[size_t(i - length)] == s[size_t(n - 1 - length)]) ++length;
    if (length > bestLength || (oldestOfTies && length == bestLength && length > 0))
      best = i + 1, bestLength = length;
  }
  while (next < horizons.size()) out[next++] = best;
  return out;
}

std::vector<int> Ints(const std::vector<Hand>& h) { return std::vector<int>(h.begin(), h.end()); }
std::vector<int> Joint(const std::vector<Hand>& a, const std::vector<Hand>& b) {
  std::vector<int> j(a.size());
  for (size_t i = 0; i < a.size(); ++i) j[i] = a[i] * 3 + b[i];
  return j;
}

// ---- fixed patterns and simple counters ----

class Rule : public Player {
 public:
  using Fn = std::function<Hand(const std::vector<Hand>& mine, const std::vector<Hand>& theirs, Random&)>;
  Rule(uint64_t seed, Fn f) : f_(std::move(f)), rng_(seed) {}
  Hand Next(const Forecast&) override { return f_(mine_, theirs_, rng_); }

 private:
  Fn f_;
  Random rng_;
};

Make RuleOf(Rule::Fn f) { return Of<Rule>(f); }

// Counts what the engine played after its last `order` hands; beats the likeliest.
Hand MarkovAnswer(const std::vector<Hand>& e, int order, Random& rng) {
  if (e.size() < size_t(order) + 1) return Hand(rng.Below(3));
  double counts[3] = {};
  for (size_t i = size_t(order); i < e.size(); ++i) {
    bool same = true;
    for (int k = 1; k <= order && same; ++k) same = e[i - size_t(k)] == e[e.size() - size_t(k)];
    if (same) counts[e[i]] += 1;
  }
  int l = rng.Below(3);
  for (int i = 0; i < 3; ++i)
    if (counts[i] > counts[l]) l = i;
  return Beat(Hand(l));
}

Make Biased(int rock, int paper) {
  return RuleOf([=](auto&, auto&, Random& r) {
    const int v = r.Below(100);
    return v < rock ? Rock : v < rock + paper ? Paper : Scissors;
  });
}

// ---- history matching ----

// Beats the hand the engine played after the longest earlier repeat of a history.
class HistoryMatch : public Player {
 public:
  enum Kind { kJoint, kEngine, kMine };
  HistoryMatch(uint64_t seed, Kind kind, int maxLength, bool oldestOfTies)
      : rng_(seed), kind_(kind), maxLength_(maxLength), oldest_(oldestOfTies) {}
  Hand Next(const Forecast&) override {
    const std::vector<int> s = kind_ == kJoint ? Joint(mine_, theirs_) : Ints(kind_ == kEngine ? theirs_ : mine_);
    const int i = Followers(s, {0}, maxLength_, oldest_)[0];
    return i < 0 ? Hand(rng_.Below(3)) : Beat(theirs_[size_t(i)]);
  }

 private:
  Random rng_;
  Kind kind_;
  int maxLength_;
  bool oldest_;
};

// The longest matching context among the engine's, its own and the joint history, a
// longer match preferred and a recent one more (weight: length / (1 + distance / scale)).
// It beats what followed; when that answer's payoff turns negative it second-guesses,
// playing the rotation that has lately done best.
class MultiContext : public Player {
 public:
  MultiContext(uint64_t seed, double scale, double decay) : rng_(seed), scale_(scale), decay_(decay) {}
  Hand Next(const Forecast&) override {
    const std::vector<int> histories[3] = {Ints(theirs_), Ints(mine_), Joint(mine_, theirs_)};
    double bestWeight = 0;
    int best = -1;
    for (const auto& h : histories) {
      const int n = int(h.size());
      for (int i = n - 2; i >= 0; --i) {
        int length = 0;
        while (length < 24 && i - length >= 0 && h[size_t(i - length)] == h[size_t(n - 1 - length)]) ++length;
        const double weight = length / (1.0 + (n - 1 - i) / scale_);
        if (length && weight > bestWeight) bestWeight = weight, best = i + 1;
      }
    }
    plain_ = best < 0 ? Hand(rng_.Below(3)) : Beat(theirs_[size_t(best)]);
    int r = 0;
    if (payoff_[0] < 0) r = payoff_[1] >= payoff_[2] ? 1 : 2;
    return Rotate(plain_, r);
  }
  void Saw(Hand mine, Hand engine) override {
    for (int r = 0; r < 3; ++r) payoff_[r] = payoff_[r] * decay_ + Outcome(Rotate(plain_, r), engine);
    Player::Saw(mine, engine);
  }

 private:
  Random rng_;
  double scale_, decay_;
  Hand plain_ = Rock;
  double payoff_[3] = {};
};

// Markov predictors of orders 1 to n over the joint history, with decayed counts of the
// engine's next hand; each beats its likeliest, and the order whose answers have lately
// paid best plays.
class MarkovEnsemble : public Player {
 public:
  MarkovEnsemble(uint64_t seed, std::vector<int> orders, double countDecay, double payoffDecay)
      : rng_(seed), orders_(std::move(orders)), countDecay_(countDecay), payoffDecay_(payoffDecay),
        tables_(orders_.size()), payoff_(orders_.size(), 0.0), answers_(orders_.size(), Rock) {}
  Hand Next(const Forecast&) override {
    int best = -1;
    for (size_t k = 0; k < orders_.size(); ++k) {
      const auto it = tables_[k].find(Context(orders_[k], mine_.size()));
      if (it == tables_[k].end()) {
        answers_[k] = Hand(rng_.Below(3));
        continue;
      }
      answers_[k] = Beat(Hand(std::max_element(it->second.begin(), it->second.end()) - it->second.begin()));
      if (best < 0 || payoff_[k] > payoff_[size_t(best)]) best = int(k);
    }
    return best < 0 ? Hand(rng_.Below(3)) : answers_[size_t(best)];
  }
  void Saw(Hand mine, Hand engine) override {
    for (size_t k = 0; k < orders_.size(); ++k) {
      payoff_[k] = payoff_[k] * payoffDecay_ + Outcome(answers_[k], engine);
      if (mine_.size() < size_t(orders_[k])) continue;
      auto& c = tables_[k][Context(orders_[k], mine_.size())];
      for (auto& v : c) v *= countDecay_;
      c[engine] += 1;
    }
    Player::Saw(mine, engine);
  }

 private:
  // The last `order` pairs before index end, as a number (order + 1 digits of base 9).
  uint64_t Context(int order, size_t end) const {
    if (end < size_t(order)) return ~0ull;
    uint64_t code = 1;
    for (size_t i = end - size_t(order); i < end; ++i) code = code * 9 + uint64_t(mine_[i] * 3 + theirs_[i]);
    return code;
  }
  Random rng_;
  std::vector<int> orders_;
  double countDecay_, payoffDecay_;
  std::vector<std::unordered_map<uint64_t, std::array<double, 3>>> tables_;
  std::vector<double> payoff_;
  std::vector<Hand> answers_;
};

// ---- meta players ----

// Many predictors of the engine's next hand; each gives its answer in three rotations (and,
// with mirrored, three more that assume the engine runs the same predictor on us). Each
// answer is scored over several horizons; a picker per horizon plays the answer that did
// best over it; the pickers are scored (in three rotations, with meta) by a decayed sum
// and the best one plays.
struct MetaSettings {
  std::vector<int> horizons;       // of the history matchers and frequency counts (0: all)
  std::vector<int> windows;        // of the answers' scores (0: all)
  std::vector<int> matchLengths;   // Greenberg-style: context lengths matched exactly; empty: longest
  bool mirrored;                   // answers that assume the engine models us the same way
  bool meta;                       // the pickers in three rotations too
  double pickerDecay;
  bool fixedGuess, randomGuess;
  bool lastOfTies;
};

class Meta : public Player {
 public:
  Meta(uint64_t seed, MetaSettings s) : rng_(seed), s_(std::move(s)) {}
  Hand Next(const Forecast&) override {
    Guesses();
    const size_t n = answers_.size();
    const int played = int(mine_.size());
    if (sums_.size() < n) sums_.resize(n, std::vector<int>(1, 0));
    for (auto& sum : sums_)
      while (sum.size() < size_t(played) + 1) sum.push_back(sum.back());
    // Pickers: the best answer over each window.
    picks_.clear();
    for (int w : s_.windows) {
      int best = 0, bestScore = -(1 << 30);
      for (size_t a = 0; a < n; ++a) {
        const auto& sum = sums_[a];
        const int from = w > 0 && played > w ? played - w : 0;
        const int score = sum[size_t(played)] - sum[size_t(std::min<int>(from, int(sum.size()) - 1))];
        if (score > bestScore || (s_.lastOfTies && score == bestScore)) best = int(a), bestScore = score;
      }
      for (int r = 0; r < (s_.meta ? 3 : 1); ++r) picks_.push_back(Rotate(answers_[size_t(best)], r));
    }
    if (pickerScores_.size() < picks_.size()) pickerScores_.resize(picks_.size(), 0.0);
    size_t best = 0;
    for (size_t p = 1; p < picks_.size(); ++p)
      if (pickerScores_[p] > pickerScores_[best] || (s_.lastOfTies && pickerScores_[p] == pickerScores_[best]))
        best = p;
    return picks_[best];
  }
  void Saw(Hand mine, Hand engine) override {
    for (size_t a = 0; a < answers_.size(); ++a) {
      auto& sum = sums_[a];
      sum.push_back(sum.back() + Outcome(answers_[a], engine));
    }
    for (size_t p = 0; p < picks_.size(); ++p)
      pickerScores_[p] = pickerScores_[p] * s_.pickerDecay + Outcome(picks_[p], engine);
    Player::Saw(mine, engine);
  }

 private:
  // Adds a predictor's answers: guess is the engine's expected hand, mirror our own hand
  // as the engine would expect it (it then plays what beats it).
  void Add(Hand guess, Hand mirror) {
    for (int r = 0; r < 3; ++r) answers_.push_back(Rotate(Beat(guess), r));
    if (s_.mirrored)
      for (int r = 0; r < 3; ++r) answers_.push_back(Rotate(Beat(Beat(mirror)), r));
  }
  void Guesses() {
    answers_.clear();
    const std::vector<int> histories[3] = {Ints(mine_), Ints(theirs_), Joint(mine_, theirs_)};
    for (const auto& h : histories) {
      if (s_.matchLengths.empty()) {
        const std::vector<int> f = Followers(h, s_.horizons, 64);
        for (int i : f) {
          if (i < 0) Add(Rock, Rock);
          else Add(theirs_[size_t(i)], mine_[size_t(i)]);
        }
      } else {
        for (int length : s_.matchLengths) {
          const int i = ExactMatch(h, length);
          if (i < 0) Add(Rock, Rock);
          else Add(theirs_[size_t(i)], mine_[size_t(i)]);
        }
      }
    }
    for (int h : s_.horizons) Add(MostFrequent(theirs_, h, s_.lastOfTies), MostFrequent(mine_, h, s_.lastOfTies));
    if (s_.fixedGuess) Add(Rock, Rock);
    if (s_.randomGuess) Add(Hand(rng_.Below(3)), Hand(rng_.Below(3)));
  }
  // The follower of the latest earlier occurrence of the last `length` symbols, or -1.
  static int ExactMatch(const std::vector<int>& h, int length) {
    const int n = int(h.size());
    for (int i = n - 2; i - length + 1 >= 0; --i) {
      int k = 0;
      while (k < length && h[size_t(i - k)] == h[size_t(n - 1 - k)]) ++k;
      if (k == length) return i + 1;
    }
    return -1;
  }
  Random rng_;
  MetaSettings s_;
  std::vector<Hand> answers_, picks_;
  std::vector<std::vector<int>> sums_;  // per answer, the running sum of its payoffs
  std::vector<double> pickerScores_;
};

// ---- learners of the engine and people ----

// Markov-1 on the engine's hands after its previous hand and that hand's outcome; beats
// the likeliest, and plays at random a share of the time.
class CounterLearner : public Player {
 public:
  CounterLearner(uint64_t seed, int randomPercent, double decay) : rng_(seed), random_(randomPercent), decay_(decay) {}
  Hand Next(const Forecast&) override {
    if (theirs_.empty() || rng_.Below(100) < random_) return Hand(rng_.Below(3));
    const auto& c = counts_[Key(theirs_.size())];
    if (c[0] == c[1] && c[1] == c[2]) return Hand(rng_.Below(3));
    return Beat(Hand(std::max_element(c.begin(), c.end()) - c.begin()));
  }
  void Saw(Hand mine, Hand engine) override {
    if (!theirs_.empty()) {
      auto& c = counts_[Key(theirs_.size())];
      for (auto& v : c) v *= decay_;
      c[engine] += 1;
    }
    Player::Saw(mine, engine);
  }

 private:
  int Key(size_t end) const { return theirs_[end - 1] * 3 + (Outcome(theirs_[end - 1], mine_[end - 1]) + 1); }
  Random rng_;
  int random_;
  double decay_;
  std::array<std::array<double, 3>, 9> counts_{};
};

// People: after a win they often stay, after a loss or draw they often shift; otherwise a
// biased choice; seldom a hand three times running.
struct HumanSettings {
  int stay, shift;        // percent: staying after a win, shifting after a loss or draw
  bool shiftToWinner;     // shift to what beats the engine's last hand, else to the next hand (R-P-S)
  int rock, paper;        // the biased choice, percent (the rest scissors)
};

class HumanLike : public Player {
 public:
  HumanLike(uint64_t seed, HumanSettings s) : rng_(seed), s_(s) {}
  Hand Next(const Forecast&) override {
    Hand h = Biased();
    if (!mine_.empty()) {
      const Hand last = mine_.back();
      const bool won = Outcome(last, theirs_.back()) > 0;
      if (won && rng_.Below(100) < s_.stay) h = last;
      else if (!won && rng_.Below(100) < s_.shift) h = s_.shiftToWinner ? Beat(theirs_.back()) : Beat(last);
    }
    if (mine_.size() >= 2 && mine_.back() == mine_[mine_.size() - 2] && h == mine_.back())
      h = rng_.Below(2) ? Beat(h) : Victim(h);
    return h;
  }

 private:
  Hand Biased() {
    const int v = rng_.Below(100);
    return v < s_.rock ? Rock : v < s_.rock + s_.paper ? Paper : Scissors;
  }
  Random rng_;
  HumanSettings s_;
};

// Reads the forecast of the summary: the engine expected x of us and answered it, so it
// may do so again; beat that answer (or, second-guessing, the answer to that).
class ForecastReader : public Player {
 public:
  ForecastReader(uint64_t, int rotation) : rotation_(rotation) {}
  Hand Next(const Forecast& shown) override {
    int likely = 0;
    for (int i = 1; i < 3; ++i)
      if (shown[size_t(i)] > shown[size_t(likely)]) likely = i;
    return Rotate(Beat(Beat(Hand(likely))), rotation_);
  }

 private:
  int rotation_;
};

// Two players taking turns every `every` hands.
class Alternating : public Player {
 public:
  Alternating(uint64_t seed, Make a, Make b, int every) : a_(a(seed)), b_(b(seed + 1)), every_(every) {}
  Hand Next(const Forecast& f) override { return (turn_ / every_) % 2 ? b_->Next(f) : a_->Next(f); }
  void Saw(Hand mine, Hand engine) override {
    a_->Saw(mine, engine);
    b_->Saw(mine, engine);
    ++turn_;
  }

 private:
  std::unique_ptr<Player> a_, b_;
  int every_, turn_ = 0;
};

const Hand kCycle[3] = {Rock, Paper, Scissors};

MetaSettings Iocaine(std::vector<int> horizons, double decay, bool ties) {
  return MetaSettings{horizons, horizons, {}, true, true, decay, true, true, ties};
}
MetaSettings Greenberg(std::vector<int> windows, std::vector<int> lengths, bool ties) {
  return MetaSettings{{0, 20}, windows, lengths, false, false, 0.9, false, true, ties};
}

}  // namespace

std::vector<Family> Panel() {
  const Make rock = RuleOf([](auto&, auto&, Random&) { return Rock; });
  const Make cycle = RuleOf([](auto& m, auto&, Random&) { return kCycle[m.size() % 3]; });
  const Make frequency = RuleOf([](auto&, auto& e, Random& r) { return MarkovAnswer(e, 0, r); });
  const Make beatLast = RuleOf([](auto&, auto& e, Random&) { return e.empty() ? Rock : Beat(e.back()); });
  return {
      {"fixed patterns",
       {{"always rock", rock},
        {"cycle R-P-S", cycle},
        {"copies the engine's last", RuleOf([](auto&, auto& e, Random&) { return e.empty() ? Paper : e.back(); })}},
       {{"beats the engine's last", beatLast},
        {"cycle R-R-P-S", RuleOf([](auto& m, auto&, Random&) { return Hand("0020"[m.size() % 4] - '0'); })},
        {"plays what the engine's last beats",
         RuleOf([](auto&, auto& e, Random&) { return e.empty() ? Scissors : Victim(e.back()); })}},
       99},
      {"frequency counter",
       {{"whole history", frequency}},
       {{"last 20 hands", RuleOf([](auto&, auto& e, Random&) { return Beat(MostFrequent(e, 20, true)); })}},
       80},
      {"Markov order 2",
       {{"engine's hands", RuleOf([](auto&, auto& e, Random& r) { return MarkovAnswer(e, 2, r); })}},
       {{"order 1", RuleOf([](auto&, auto& e, Random& r) { return MarkovAnswer(e, 1, r); })}},
       80},
      {"biased random",
       {{"50/30/20", Biased(50, 30)}},
       {{"20/50/30", Biased(20, 50)}},
       65},
      {"uniform random", {{"uniform", RuleOf([](auto&, auto&, Random& r) { return Hand(r.Below(3)); })}}, {}, 50, 0,
       true},
      {"history match",
       {{"joint history, newest", Of<HistoryMatch>(HistoryMatch::kJoint, 64, false)},
        {"own history", Of<HistoryMatch>(HistoryMatch::kMine, 64, false)}},
       {{"engine's history", Of<HistoryMatch>(HistoryMatch::kEngine, 64, false)},
        {"joint, at most 6, oldest", Of<HistoryMatch>(HistoryMatch::kJoint, 6, true)}},
       60},
      {"Markov ensemble",
       {{"orders 1-5, decay 0.95", Of<MarkovEnsemble>(std::vector<int>{1, 2, 3, 4, 5}, 0.95, 0.9)},
        {"orders 1-3, decay 0.9", Of<MarkovEnsemble>(std::vector<int>{1, 2, 3}, 0.9, 0.85)}},
       {{"orders 1-4, decay 0.8", Of<MarkovEnsemble>(std::vector<int>{1, 2, 3, 4}, 0.8, 0.8)},
        {"orders 1,2,3,6, no decay", Of<MarkovEnsemble>(std::vector<int>{1, 2, 3, 6}, 1.0, 0.95)}},
       60},
      {"multi-context matcher",
       {{"scale 50", Of<MultiContext>(50.0, 0.9)}, {"scale 100", Of<MultiContext>(100.0, 0.85)}},
       {{"scale 10", Of<MultiContext>(10.0, 0.8)}, {"scale 500", Of<MultiContext>(500.0, 0.95)}},
       60},
      {"counter learner",
       {{"10% random", Of<CounterLearner>(10, 1.0)}, {"15% random, decay 0.95", Of<CounterLearner>(15, 0.95)}},
       {{"5% random, decay 0.9", Of<CounterLearner>(5, 0.9)}, {"20% random", Of<CounterLearner>(20, 1.0)}},
       70},
      {"human-like",
       {{"60% win-stay/lose-shift to the winner", Of<HumanLike>(HumanSettings{60, 60, true, 40, 35})},
        {"65% stay, 55% shift to the next hand", Of<HumanLike>(HumanSettings{65, 55, false, 38, 30})}},
       {{"60% shift to the next hand", Of<HumanLike>(HumanSettings{60, 60, false, 36, 34})},
        {"70% stay, 50% shift, paper first", Of<HumanLike>(HumanSettings{70, 50, true, 30, 40})}},
       84, 60},
      {"Iocaine-style meta",
       {{"horizons 1000/100/10/5/2/1", Of<Meta>(Iocaine({1, 2, 5, 10, 100, 1000}, 0.9, false))},
        {"horizons all/250/60/15/4/2", Of<Meta>(Iocaine({2, 4, 15, 60, 250, 0}, 0.85, true))}},
       {{"horizons all/50/20/3", Of<Meta>(Iocaine({3, 20, 50, 0}, 0.8, true))},
        {"horizons 500/30/8/1", Of<Meta>(Iocaine({1, 8, 30, 500}, 0.95, false))}},
       52},
      {"Greenberg-style meta",
       {{"windows 10-all, lengths 1-6", Of<Meta>(Greenberg({10, 20, 50, 100, 0}, {1, 2, 3, 4, 5, 6}, false))},
        {"windows 8-all, lengths 1-7", Of<Meta>(Greenberg({8, 30, 150, 0}, {1, 2, 3, 5, 7}, true))}},
       {{"windows 15-all, lengths 1-8", Of<Meta>(Greenberg({15, 40, 200, 0}, {1, 2, 3, 4, 6, 8}, true))},
        {"windows 5-1000, lengths 2-5", Of<Meta>(Greenberg({5, 25, 1000}, {2, 3, 4, 5}, false))}},
       52},
      {"reads the shown forecast",
       {{"beats the answer", Of<ForecastReader>(0)}},
       {{"second-guesses the answer", Of<ForecastReader>(1)}},
       99},
      {"changes every 20 hands",
       {{"rock / cycle", Of<Alternating>(rock, cycle, 20)}},
       {{"frequency / beats the last, every 30", Of<Alternating>(frequency, beatLast, 30)}},
       90},
  };
}

const Family& FamilyNamed(const std::string& name) {
  static const std::vector<Family> panel = Panel();
  for (const Family& f : panel)
    if (f.name == name) return f;
  throw std::invalid_argument("no family " + name);
}

}  // namespace players
