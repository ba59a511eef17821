// The engine's game: rules, the opponent model that predicts the player's next hand,
// the replies and the summary text. Pure computation, shared by tavo.exe, its tests and
// its benchmark.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tavo/engine/predictor.h"
#include "tavo/engine/rules.h"

namespace tavo {

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
  // The choice of the hand last played: the summary tells it, not the next one.
  Predictor::Choice played_{Rock, {1.0 / 3, 1.0 / 3, 1.0 / 3}, 0};
  bool running_ = false;
  int info_ = 0;
  int games_ = 0;
  int playerPoints_ = 0, enginePoints_ = 0;
  std::vector<Played> hands_;
};

}  // namespace tavo
