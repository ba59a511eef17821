// The engine's strength and speed. A panel of classic players plays the engine program
// through its own protocol over pipes, as a user's script would: long matches (100 games of
// 10 hands in one engine process) and single games of a fresh engine, over several seeds.
// The figure is the engine's share of the decided hands, with a 95% confidence interval,
// beside its target. Then the cost of a hand with 10,000 hands of history, and the engine
// program's reply latency.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tavo/engine/game.h"
#include "tests/support/engine_pipe.h"

using namespace tavo;

namespace {

// ---- the engine program over pipes ----

class Session {
 public:
  Session(const char* engine, const std::string& folder, uint64_t seed)
      : folder_(folder), pipe_(engine, folder, seed) {
    if (!pipe_.Started()) std::exit(1);
  }
  ~Session() { pipe_.Send("Q\r\n"); }
  void NewGame() {
    Send("D\r\n");
    ReadReply();
  }
  // Plays a hand; the engine's hand.
  Hand Play(Hand h) {
    Send(h == Rock ? "m\r\n" : h == Scissors ? "n\r\n" : "b\r\n");
    return ReadReply();
  }
  // The FORECAST of summary.txt, as a host that shows the summary could read it.
  Forecast SummaryForecast() const {
    Forecast f{1.0 / 3, 1.0 / 3, 1.0 / 3};
    FILE* s = std::fopen((folder_ + "/summary.txt").c_str(), "r");
    if (!s) return f;
    char line[256];
    while (std::fgets(line, sizeof line, s))
      if (std::sscanf(line, "FORECAST: (%lf, %lf, %lf)", &f[0], &f[1], &f[2]) == 3) break;
    std::fclose(s);
    return f;
  }

 private:
  void Send(const char* c) {
    if (!pipe_.Send(c)) std::exit(1);
  }
  Hand ReadReply() {
    Hand engine = Rock;
    for (std::string line = pipe_.Line(); line != "<eof>"; line = pipe_.Line()) {
      const size_t e = line.find(", engine ");
      if (e != std::string::npos) {
        const std::string name = line.substr(e + 9);
        engine = name.rfind("rock", 0) == 0 ? Rock : name.rfind("scissors", 0) == 0 ? Scissors : Paper;
      }
      if (line.rfind("NEXT HAND", 0) == 0 || line.rfind("player", 0) == 0) break;
    }
    return engine;
  }
  std::string folder_;
  testsupport::EnginePipe pipe_;
};

// ---- the panel ----

Hand Beat(Hand h) { return Beating(h); }
int Likely(const Forecast& f) {
  int l = 0;
  for (int i = 1; i < 3; ++i)
    if (f[size_t(i)] > f[size_t(l)]) l = i;
  return l;
}

class Bot {
 public:
  virtual ~Bot() = default;
  virtual Hand Next(const Session& session) = 0;
  // The hands of the hand just played.
  virtual void Saw(Hand mine, Hand engine) {
    mine_.push_back(mine);
    engine_.push_back(engine);
  }

 protected:
  std::vector<Hand> mine_, engine_;
};

using MakeBot = std::function<std::unique_ptr<Bot>(uint64_t seed)>;

class Fixed : public Bot {
 public:
  explicit Fixed(std::function<Hand(const std::vector<Hand>&, const std::vector<Hand>&, Random&)> f, uint64_t seed)
      : f_(std::move(f)), rng_(seed) {}
  Hand Next(const Session&) override { return f_(mine_, engine_, rng_); }

 private:
  std::function<Hand(const std::vector<Hand>&, const std::vector<Hand>&, Random&)> f_;
  Random rng_;
};

// Predicts the engine's next hand from context counts over its hands.
Hand MarkovGuess(const std::vector<Hand>& e, int order, Random& rng) {
  if (e.size() < size_t(order) + 1) return Hand(rng.Below(3));
  double counts[3] = {};
  for (size_t i = size_t(order); i < e.size(); ++i) {
    bool same = true;
    for (int k = 1; k <= order; ++k) same = same && e[i - size_t(k)] == e[e.size() - size_t(k)];
    if (same) counts[e[i]] += 1;
  }
  int l = rng.Below(3);
  for (int i = 0; i < 3; ++i)
    if (counts[i] > counts[l]) l = i;
  return Hand(l);
}

// The longest earlier match of the last hands of a sequence (of up to 20); the index of
// what followed it, or -1.
int LongestMatch(const std::vector<int>& s) {
  const int n = int(s.size());
  int best = -1, bestLen = 0;
  for (int i = n - 2; i >= 0 && bestLen < 20; --i) {
    int len = 0;
    while (len < 20 && i - len >= 0 && s[size_t(i - len)] == s[size_t(n - 1 - len)]) ++len;
    if (len > bestLen) bestLen = len, best = i + 1;
  }
  return best;
}

// Iocaine-style: several predictors of the engine, each with the three second guesses, and
// a predictor of how the engine models us; the candidate with the best recent record plays.
class Iocaine : public Bot {
 public:
  explicit Iocaine(uint64_t seed) : rng_(seed) {}
  Hand Next(const Session&) override {
    Guesses(pending_);
    int best = -1;
    double bestScore = -1e9;
    for (size_t c = 0; c < pending_.size(); ++c)
      for (int w = 0; w < 3; ++w)
        if (scores_[c][size_t(w)] * (1 - kDecay[w]) > bestScore)
          best = int(c), bestScore = scores_[c][size_t(w)] * (1 - kDecay[w]);
    return bestScore <= 0 ? Hand(rng_.Below(3)) : pending_[size_t(best)];
  }
  void Saw(Hand mine, Hand engine) override {
    for (size_t c = 0; c < pending_.size(); ++c)
      for (int w = 0; w < 3; ++w)
        scores_[c][size_t(w)] = scores_[c][size_t(w)] * kDecay[w] + Outcome(pending_[c], engine);
    Bot::Saw(mine, engine);
  }

 private:
  static constexpr double kDecay[3] = {0.5, 0.9, 0.99};
  void Guesses(std::vector<Hand>& out) {
    std::vector<Hand> engineGuess;  // what the engine may play next
    engineGuess.push_back(MarkovGuess(engine_, 0, rng_));
    engineGuess.push_back(MarkovGuess(engine_, 1, rng_));
    std::vector<int> e(engine_.begin(), engine_.end()), both;
    for (size_t i = 0; i < mine_.size(); ++i) both.push_back(mine_[i] * 3 + engine_[i]);
    const int me = LongestMatch(e), mb = LongestMatch(both);
    engineGuess.push_back(me >= 0 ? engine_[size_t(me)] : Hand(rng_.Below(3)));
    engineGuess.push_back(mb >= 0 ? engine_[size_t(mb)] : Hand(rng_.Below(3)));
    // The engine models us: it expects our likely hand and beats it.
    engineGuess.push_back(Beat(MarkovGuess(mine_, 0, rng_)));
    const int mm = LongestMatch(std::vector<int>(mine_.begin(), mine_.end()));
    engineGuess.push_back(Beat(mm >= 0 ? mine_[size_t(mm)] : Hand(rng_.Below(3))));
    out.clear();
    for (Hand g : engineGuess) {
      Hand h = Beat(g);
      for (int r = 0; r < 3; ++r, h = Beat(h)) out.push_back(h);
    }
    scores_.resize(out.size(), {0, 0, 0});
  }
  Random rng_;
  std::vector<Hand> pending_;
  std::vector<std::array<double, 3>> scores_;
};
constexpr double Iocaine::kDecay[3];

// Reads the forecast the engine publishes and plays against what it implies.
class ForecastReader : public Bot {
 public:
  Hand Next(const Session& s) override {
    // The engine expects x of us and would play what beats it: beat that.
    return Beat(Beat(Hand(Likely(s.SummaryForecast()))));
  }
};

// Two strategies taking turns every 20 hands.
class Alternating : public Bot {
 public:
  Alternating(std::unique_ptr<Bot> a, std::unique_ptr<Bot> b) : a_(std::move(a)), b_(std::move(b)) {}
  Hand Next(const Session& s) override { return (turn_ / 20) % 2 ? b_->Next(s) : a_->Next(s); }
  void Saw(Hand mine, Hand engine) override {
    a_->Saw(mine, engine);
    b_->Saw(mine, engine);
    ++turn_;
  }

 private:
  std::unique_ptr<Bot> a_, b_;
  int turn_ = 0;
};

MakeBot FixedBot(std::function<Hand(const std::vector<Hand>&, const std::vector<Hand>&, Random&)> f) {
  return [f](uint64_t seed) { return std::unique_ptr<Bot>(new Fixed(f, seed)); };
}

const Hand kCycle[3] = {Rock, Paper, Scissors};

struct Entry {
  const char* name;
  MakeBot make;
  double longTarget;   // least share of a long match, in percent (or the centre of +-2)
  double freshTarget;  // least share of a fresh engine's single game; 0: none
  bool band = false;   // the target is longTarget +- 2
};

std::vector<Entry> Panel() {
  auto rock = FixedBot([](auto&, auto&, Random&) { return Rock; });
  auto cycle = FixedBot([](auto& m, auto&, Random&) { return kCycle[m.size() % 3]; });
  auto copy = FixedBot([](auto&, auto& e, Random&) { return e.empty() ? Paper : e.back(); });
  auto beatLast = FixedBot([](auto&, auto& e, Random&) { return e.empty() ? Rock : Beating(e.back()); });
  auto wsls = FixedBot([](auto& m, auto& e, Random&) {
    if (m.empty()) return Rock;
    if (Outcome(m.back(), e.back()) > 0) return m.back();
    return kCycle[(std::find(kCycle, kCycle + 3, m.back()) - kCycle + 1) % 3];
  });
  auto biased = FixedBot([](auto&, auto&, Random& r) {
    const int v = r.Below(100);
    return v < 50 ? Rock : v < 80 ? Paper : Scissors;
  });
  auto uniform = FixedBot([](auto&, auto&, Random& r) { return Hand(r.Below(3)); });
  auto frequency = FixedBot([](auto&, auto& e, Random& r) { return Beat(MarkovGuess(e, 0, r)); });
  auto markov1 = FixedBot([](auto&, auto& e, Random& r) { return Beat(MarkovGuess(e, 1, r)); });
  auto markov2 = FixedBot([](auto&, auto& e, Random& r) { return Beat(MarkovGuess(e, 2, r)); });
  auto history = FixedBot([](auto&, auto& e, Random& r) {
    const int i = LongestMatch(std::vector<int>(e.begin(), e.end()));
    return Beat(i >= 0 ? e[size_t(i)] : Hand(r.Below(3)));
  });
  return {
      {"always rock", rock, 99, 85},
      {"cycle rock-paper-scissors", cycle, 99, 75},
      {"copies the engine's last", copy, 99, 70},
      {"beats the engine's last", beatLast, 99, 0},
      {"win-stay, lose-shift", wsls, 99, 0},
      {"random 50/30/20", biased, 68, 0},
      {"uniform random", uniform, 50, 0, true},
      {"frequency counter", frequency, 75, 0},
      {"Markov order 1", markov1, 75, 0},
      {"Markov order 2", markov2, 75, 0},
      {"history matcher", history, 75, 0},
      {"Iocaine-style meta", [](uint64_t s) { return std::unique_ptr<Bot>(new Iocaine(s)); }, 50, 0},
      {"rock / cycle every 20",
       [rock, cycle](uint64_t s) { return std::unique_ptr<Bot>(new Alternating(rock(s), cycle(s + 1))); }, 90, 0},
      {"frequency / beat-last every 20",
       [frequency, beatLast](uint64_t s) {
         return std::unique_ptr<Bot>(new Alternating(frequency(s), beatLast(s + 1)));
       },
       90, 0},
      {"reads the summary's forecast", [](uint64_t) { return std::unique_ptr<Bot>(new ForecastReader); }, 50, 0},
  };
}

struct Tally {
  long won = 0, lost = 0;
  void Add(int outcome) { (outcome > 0 ? won : outcome < 0 ? lost : won) += outcome != 0 ? 1 : 0; }
  double Share() const { return won + lost ? 100.0 * double(won) / double(won + lost) : 0; }
  double Interval() const {  // half width of the 95% interval, in points
    const double n = double(won + lost), p = n ? double(won) / n : 0;
    return n ? 196.0 * std::sqrt(p * (1 - p) / n) : 0;
  }
};

void PlayGames(const char* engine, const std::string& folder, uint64_t seed, Bot& bot, int games, Tally& t) {
  Session s(engine, folder, seed);
  for (int g = 0; g < games; ++g) {
    s.NewGame();
    for (int h = 0; h < Game::kHandsPerGame; ++h) {
      const Hand mine = bot.Next(s);
      const Hand theirs = s.Play(mine);
      t.Add(Outcome(theirs, mine));
      bot.Saw(mine, theirs);
    }
  }
}

std::string Verdict(double share, double target, bool band) {
  const bool ok = band ? std::fabs(share - target) <= 2 : share >= target;
  char text[32];
  std::snprintf(text, sizeof text, band ? "%.0f+-2 %s" : ">=%.0f %s", target, ok ? "ok" : "MISSED");
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_engine PATH-TO-ENGINE-PROGRAM\n");
    return 2;
  }
  char engine[4096];
  if (!realpath(argv[1], engine)) return 1;
  const testsupport::ScratchFolder scratch("bench-engine");
  const std::string& folder = scratch.Path();
  if (folder.empty()) return 1;
  const int seeds = 5, freshGames = 20;

  std::printf(
      "The engine's share of decided hands against a panel, through the protocol: long matches of 100 games\n"
      "of 10 hands in one engine process (%d seeds), and single games of a fresh engine (%d seeds x %d games);\n"
      "95%% confidence intervals\n",
      seeds, seeds, freshGames);
  std::printf("  %-31s %15s %12s %15s %12s\n", "player", "long match", "target", "fresh game", "target");
  for (const Entry& e : Panel()) {
    Tally longMatch, fresh;
    for (int s = 1; s <= seeds; ++s) {
      auto bot = e.make(uint64_t(s) * 7919);
      PlayGames(engine, folder, uint64_t(s), *bot, 100, longMatch);
      for (int g = 0; g < freshGames; ++g) {
        auto freshBot = e.make(uint64_t(s) * 104729 + uint64_t(g));
        PlayGames(engine, folder, uint64_t(s) * 1000 + uint64_t(g), *freshBot, 1, fresh);
      }
    }
    char l[32], f[32];
    std::snprintf(l, sizeof l, "%5.1f%% +-%4.1f", longMatch.Share(), longMatch.Interval());
    std::snprintf(f, sizeof f, "%5.1f%% +-%4.1f", fresh.Share(), fresh.Interval());
    std::printf("  %-31s %15s %12s %15s %12s\n", e.name, l, Verdict(longMatch.Share(), e.longTarget, e.band).c_str(), f,
                e.freshTarget > 0 ? Verdict(fresh.Share(), e.freshTarget, false).c_str() : "");
  }

  // The cost of choosing and learning a hand once 10,000 hands are known.
  {
    Predictor p(3);
    Random r(5);
    for (int i = 0; i < 10000; ++i) p.Record(Hand(r.Below(3)), p.Choose().hand);
    const auto t0 = std::chrono::steady_clock::now();
    const int n = 2000;
    for (int i = 0; i < n; ++i) p.Record(Hand(r.Below(3)), p.Choose().hand);
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count() / n;
    std::printf("a hand with 10,000 hands of history: %.1f us to choose and learn (target: under 1000 us)\n", us);
  }

  // The engine program's reply latency, per command, through pipes.
  {
    std::vector<double> times;
    Session s(engine, folder, 11);
    for (int g = 0; g < 100; ++g) {
      auto t0 = std::chrono::steady_clock::now();
      s.NewGame();
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
      for (int h = 0; h < Game::kHandsPerGame; ++h) {
        t0 = std::chrono::steady_clock::now();
        s.Play(Hand((g + h * 2) % 3));
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
      }
    }
    std::sort(times.begin(), times.end());
    std::printf("engine program reply latency over %zu commands: median %.3f ms, p95 %.3f ms\n", times.size(),
                times[times.size() / 2], times[times.size() * 95 / 100]);
  }
  return 0;
}
