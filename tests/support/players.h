// Players of rock-paper-scissors for the engine's tests and benchmark, written from public
// descriptions of the kinds of play: fixed patterns, frequency and Markov counters,
// history matchers, meta players that second-guess (Iocaine- and Greenberg-style), a
// counter learner, a human-like model and a reader of the summary's forecast. Every kind
// comes in several variants (horizons, decays, tie-breaks, window sets); the benchmark
// tunes on some and keeps the others held out. Pure computation.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tavo/engine/game.h"

namespace players {

using tavo::Forecast;
using tavo::Hand;

class Player {
 public:
  virtual ~Player() = default;
  // The next hand. shown: the FORECAST of the summary after the hand just played, for a
  // player who reads what a host may show.
  virtual Hand Next(const Forecast& shown) = 0;
  // The hands just played: this player's and the engine's.
  virtual void Saw(Hand mine, Hand engine) {
    mine_.push_back(mine);
    theirs_.push_back(engine);
  }

 protected:
  std::vector<Hand> mine_, theirs_;
};

using Make = std::function<std::unique_ptr<Player>(uint64_t seed)>;

struct Variant {
  std::string name;
  Make make;
};

// A kind of play: its variants tuned on and held out, and the engine's least share of the
// decided hands in a long match (or the centre of +-2 when band), and in a fresh engine's
// single game (0: none).
struct Family {
  std::string name;
  std::vector<Variant> tuned, heldOut;
  double longTarget;
  double freshTarget = 0;
  bool band = false;
};

std::vector<Family> Panel();
// One family of the panel by name (a test's way in); throws when there is none.
const Family& FamilyNamed(const std::string& name);

}  // namespace players
