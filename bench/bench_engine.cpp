// The engine's strength and speed. Families of players play the engine program through its
// own protocol over pipes, as a user's script would: long matches (100 games of 10 hands in
// one engine process) and single games of a fresh engine, over several seeds, the variants
// the engine was tuned on beside those held out. The figure is the engine's share of the
// decided hands, with a 95% confidence interval, beside its target. Then the cost of a hand with 10,000 hands of history, and the engine
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
#include "tavo/protocol/summary.h"
#include "tests/support/engine_pipe.h"
#include "tests/support/players.h"

using namespace tavo;

namespace {

// The engine, played hand by hand: over pipes as a user's script plays it, or in this
// process (for tuning: the same game, without the pipes). After each hand the summary is
// read as a host that shows it would read it.
class Opponent {
 public:
  virtual ~Opponent() = default;
  virtual void NewGame() = 0;
  // Plays a hand; the engine's hand.
  Hand Play(Hand h) {
    const std::string reply = Reply(h);
    summary_ = Summary();
    const size_t e = reply.find(", engine ");
    const std::string name = e == std::string::npos ? std::string() : reply.substr(e + 9);
    return name.rfind("rock", 0) == 0 ? Rock : name.rfind("scissors", 0) == 0 ? Scissors : Paper;
  }
  // The summary after the hand just played: its FORECAST, and whether the hand was random.
  Forecast Shown() const {
    tavo::protocol::SummaryRecord r;
    for (double& f : r.forecast) f = 1.0 / 3;
    tavo::protocol::ParseSummaryText(summary_, r);
    return Forecast{r.forecast[0], r.forecast[1], r.forecast[2]};
  }
  bool WasRandom() const {
    tavo::protocol::SummaryRecord r;
    r.pattern = -1;
    tavo::protocol::ParseSummaryText(summary_, r);
    return r.pattern == 0;
  }

 protected:
  virtual std::string Reply(Hand h) = 0;  // the engine's reply to a hand
  virtual std::string Summary() const = 0;

 private:
  std::string summary_;
};

class PipeOpponent : public Opponent {
 public:
  PipeOpponent(const char* engine, const std::string& folder, uint64_t seed)
      : folder_(folder), pipe_(engine, folder, seed) {
    if (!pipe_.Started()) std::exit(1);
  }
  ~PipeOpponent() override { pipe_.Send("Q\r\n"); }
  void NewGame() override { Command("D\r\n"); }
  static const char* CommandOf(Hand h) { return h == Rock ? "m\r\n" : h == Scissors ? "n\r\n" : "b\r\n"; }
  // Sends a command; its reply, up to the line that ends it.
  std::string Command(const char* c) {
    if (!pipe_.Send(c)) std::exit(1);
    std::string reply;
    for (std::string line = pipe_.Line(); line != "<eof>"; line = pipe_.Line()) {
      reply += line;
      if (line.rfind("NEXT HAND", 0) == 0 || line.rfind("player", 0) == 0) break;
    }
    return reply;
  }

 protected:
  std::string Reply(Hand h) override { return Command(CommandOf(h)); }
  std::string Summary() const override {
    std::string text;
    FILE* s = std::fopen((folder_ + "/summary.txt").c_str(), "rb");
    if (!s) return text;
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, s)) > 0;) text.append(buffer, n);
    std::fclose(s);
    return text;
  }

 private:
  std::string folder_;
  testsupport::EnginePipe pipe_;
};

class DirectOpponent : public Opponent {
 public:
  explicit DirectOpponent(uint64_t seed) : game_(seed) {}
  void NewGame() override { game_.NewGame(); }

 protected:
  std::string Reply(Hand h) override { return game_.Play(h); }
  std::string Summary() const override { return game_.SummaryText(); }

 private:
  Game game_;
};

struct Tally {
  long won = 0, lost = 0, hands = 0, random = 0;
  void Add(int outcome, bool wasRandom) {
    won += outcome > 0;
    lost += outcome < 0;
    ++hands;
    random += wasRandom;
  }
  void Add(const Tally& t) { won += t.won, lost += t.lost, hands += t.hands, random += t.random; }
  double Share() const { return won + lost ? 100.0 * double(won) / double(won + lost) : 0; }
  double Interval() const {  // half width of the 95% interval, in points
    const double n = double(won + lost), p = n ? double(won) / n : 0;
    return n ? 196.0 * std::sqrt(p * (1 - p) / n) : 0;
  }
};

void PlayGames(Opponent& engine, players::Player& player, int games, Tally& t) {
  Forecast shown{1.0 / 3, 1.0 / 3, 1.0 / 3};
  for (int g = 0; g < games; ++g) {
    engine.NewGame();
    for (int h = 0; h < Game::kHandsPerGame; ++h) {
      const Hand mine = player.Next(shown);
      const Hand theirs = engine.Play(mine);
      shown = engine.Shown();
      t.Add(Outcome(theirs, mine), engine.WasRandom());
      player.Saw(mine, theirs);
    }
  }
}

// A side of a family (tuned or held out) over the seeds: long matches, and fresh games.
struct Figures {
  Tally all, fresh;
  double lowest = 100, highest = 0;  // the long match's share per seed and variant
};

std::string Verdict(double share, double target, bool band) {
  const bool ok = band ? std::fabs(share - target) <= 2 : share >= target;
  char text[32];
  std::snprintf(text, sizeof text, band ? "%.0f+-2 %s" : ">=%.0f %s", target, ok ? "ok" : "MISSED");
  return text;
}

std::string Cell(const Figures& f, bool any) {
  if (!any) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%5.1f%% +-%3.1f [%4.1f-%4.1f] r%2.0f%%", f.all.Share(), f.all.Interval(), f.lowest,
                f.highest, f.all.hands ? 100.0 * double(f.all.random) / double(f.all.hands) : 0);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  // bench_engine ENGINE-PROGRAM | bench_engine --direct [FAMILY...]
  const bool direct = argc >= 2 && std::strcmp(argv[1], "--direct") == 0;
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_engine PATH-TO-ENGINE-PROGRAM | --direct [FAMILY...]\n");
    return 2;
  }
  char engine[4096] = "";
  if (!direct && !realpath(argv[1], engine)) return 1;
  const testsupport::ScratchFolder scratch("bench-engine");
  const std::string& folder = scratch.Path();
  if (folder.empty()) return 1;
  const int seeds = std::getenv("BENCH_SEEDS") ? std::atoi(std::getenv("BENCH_SEEDS")) : 5, games = 100, freshGames = 40;
  const auto opponent = [&](uint64_t seed) -> std::unique_ptr<Opponent> {
    if (direct) return std::unique_ptr<Opponent>(new DirectOpponent(seed));
    return std::unique_ptr<Opponent>(new PipeOpponent(engine, folder, seed));
  };

  std::printf(
      "The engine's share of decided hands against families of players%s: long matches of %d games of 10\n"
      "hands in one engine process (%d seeds per variant), tuned variants beside held-out ones that the\n"
      "engine was never tuned on; 95%% interval, [lowest-highest] over seeds and variants, r: share of\n"
      "hands the engine played at random. Fresh: single games of a new engine (%d per seed).\n",
      direct ? " (in this process)" : ", through the protocol", games, seeds, freshGames);
  std::printf("  %-24s %-38s %-38s %-12s %s\n", "family", "tuned", "held out", "target", "fresh (tuned / held out)");
  bool missed = false;
  for (const players::Family& family : players::Panel()) {
    if (direct && argc > 2) {
      bool wanted = false;
      for (int i = 2; i < argc; ++i) wanted = wanted || family.name.find(argv[i]) != std::string::npos;
      if (!wanted) continue;
    }
    Figures sides[2];
    const std::vector<players::Variant>* variants[2] = {&family.tuned, &family.heldOut};
    for (int side = 0; side < 2; ++side) {
      uint64_t v = 0;
      for (const players::Variant& variant : *variants[side]) {
        ++v;
        for (int s = 1; s <= seeds; ++s) {
          Tally t;
          auto player = variant.make(uint64_t(s) * 7919 + v * 31 + uint64_t(side));
          auto e = opponent(uint64_t(s) * 101 + v);
          PlayGames(*e, *player, games, t);
          sides[side].all.Add(t);
          sides[side].lowest = std::min(sides[side].lowest, t.Share());
          sides[side].highest = std::max(sides[side].highest, t.Share());
          if (family.freshTarget <= 0) continue;
          for (int g = 0; g < freshGames; ++g) {
            auto fresh = variant.make(uint64_t(s) * 104729 + uint64_t(g) * 13 + v);
            auto fe = opponent(uint64_t(s) * 1000 + uint64_t(g) + v * 100000);
            PlayGames(*fe, *fresh, 1, sides[side].fresh);
          }
        }
      }
    }
    const bool hasHeldOut = !family.heldOut.empty();
    const Tally& judged = hasHeldOut ? sides[1].all : sides[0].all;
    const std::string verdict = Verdict(judged.Share(), family.longTarget, family.band);
    missed = missed || verdict.find("MISSED") != std::string::npos;
    std::string fresh;
    if (family.freshTarget > 0) {
      char text[96];
      std::snprintf(text, sizeof text, "%4.1f%% / %4.1f%% %s", sides[0].fresh.Share(), sides[1].fresh.Share(),
                    Verdict(hasHeldOut ? sides[1].fresh.Share() : sides[0].fresh.Share(), family.freshTarget, false)
                        .c_str());
      fresh = text;
    }
    std::printf("  %-24s %-38s %-38s %-12s %s\n", family.name.c_str(), Cell(sides[0], true).c_str(),
                Cell(sides[1], hasHeldOut).c_str(), verdict.c_str(), fresh.c_str());
    std::fflush(stdout);
  }
  std::printf("  (targets are judged on the held-out variants where a family has them)%s\n",
              missed ? "; some MISSED" : "");
  if (direct) return 0;

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
    PipeOpponent s(engine, folder, 11);
    for (int g = 0; g < 100; ++g) {
      auto t0 = std::chrono::steady_clock::now();
      s.Command("D\r\n");
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
      for (int h = 0; h < Game::kHandsPerGame; ++h) {
        t0 = std::chrono::steady_clock::now();
        s.Command(PipeOpponent::CommandOf(Hand((g + h * 2) % 3)));
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
      }
    }
    std::sort(times.begin(), times.end());
    std::printf("engine program reply latency over %zu commands: median %.3f ms, p95 %.3f ms\n", times.size(),
                times[times.size() / 2], times[times.size() * 95 / 100]);
  }
  return 0;
}
