// The engine's game: rules, the opponent model that predicts the player's next hand,
// the replies and the summary text. Pure computation, shared by tavo.exe, its tests and
// its benchmark.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tavo {

enum Hand : int { Rock = 0, Scissors = 1, Paper = 2 };

// The hand that beats h.
inline Hand Beating(Hand h) { return h == Rock ? Paper : h == Scissors ? Rock : Scissors; }
// +1 when a beats b, -1 when b beats a, 0 for a draw.
inline int Outcome(Hand a, Hand b) { return a == b ? 0 : Beating(b) == a ? 1 : -1; }
const char* HandName(Hand h);
// Command letter of a hand ("m", "n", "b"), and back; false for other letters.
bool HandFromLetter(char c, Hand& h);

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return uint32_t(state_ >> 11);
  }
  int Below(int n) { return int(Next() % uint32_t(n)); }
  double Unit() { return (Next() >> 8) * (1.0 / 16777216.0); }

 private:
  uint64_t state_;
};

// Predicts the player's next hand from the history with several context models and
// uses whichever has lately been right most often; falls back to random play.
class Predictor {
 public:
  static constexpr int kModels = 5;
  explicit Predictor(uint64_t seed) : random_(seed) {}

  struct Choice {
    Hand hand;                    // what the engine plays
    std::array<double, 3> forecast;  // the expected player hand distribution
    int pattern;                  // 0: none (random play), 1..5: the model used
  };
  Choice Choose();
  // Records a played hand pair and updates the models' scores.
  void Record(Hand player, Hand engine);
  int HistorySize() const { return int(history_.size()); }

 private:
  std::array<double, 3> ModelForecast(int model) const;
  int Context(int model, size_t end) const;
  std::vector<std::pair<Hand, Hand>> history_;
  // counts_[model][context][hand], decayed
  std::vector<std::array<double, 3>> counts_[kModels];
  double score_[kModels] = {};
  Random random_;
};

// One game after another, as the engine program plays them.
class Game {
 public:
  static constexpr int kHandsPerGame = 10;
  explicit Game(uint64_t seed) : predictor_(seed) {}

  // "D": a new game; returns the reply.
  std::string NewGame();
  // A player's hand; returns the reply (the last hand of a game ends it).
  std::string Play(Hand player);
  bool Running() const { return running_; }
  // The summary text as it stands (key and value lines).
  std::string SummaryText() const;

 private:
  struct Played {
    Hand player, engine;
    int outcome;  // for the player
  };
  Predictor predictor_;
  Predictor::Choice next_{Rock, {1.0 / 3, 1.0 / 3, 1.0 / 3}, 0};
  bool running_ = false;
  int info_ = 0;
  int games_ = 0;
  int playerPoints_ = 0, enginePoints_ = 0;
  std::vector<Played> hands_;
};

}  // namespace tavo
