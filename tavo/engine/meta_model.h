// A model of a meta player, seen from its side: the kind of player who predicts the
// engine with history matches and frequency counts at several horizons, answers each
// prediction in three rotations (and three more that assume the engine predicts it the
// same way), picks per horizon the answer that has paid best over it, and chooses among
// those picks, each in three rotations, by their recent record. The engine uses what such
// a player would play next as one of its predictors. Pure computation.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "tavo/engine/rules.h"

namespace tavo {

class MetaModel {
 public:
  struct Settings {
    std::vector<int> horizons;  // of the longest matches and the counts (0: all hands)
    std::vector<int> lengths;   // of matches of exactly that many hands (over all hands)
    std::vector<int> windows;   // of the answers' records, ascending, 0 (all hands) last
    bool mirrored;              // with the answers that assume the engine models the player
    bool turnedPicks;           // the picks in three rotations
    double pickDecay;           // the memory of the picks' record
    bool lastOfTies;            // of answers or picks with equal records the last, else the first
  };
  explicit MetaModel(Settings settings);

  // What the modelled player plays next.
  Hand Next() const { return next_; }
  // Learns the hand pair just played (the last of hands) and works out the next hand.
  // hands and matchers (over the player's, the engine's and both histories, symbols hand
  // and player * 3 + engine, the pair already added) are the engine's own, shared.
  void Record(const Hands& hands, const HistoryMatcher* matchers);

 private:
  void Think(const Hands& hands, const HistoryMatcher* matchers);
  Hand Guess(const Hands& hands, const HistoryMatcher* matchers, int predictor, bool mirror) const;

  Settings s_;
  // Per hand so far, the running counts of each side's hands (for counts over a horizon).
  std::vector<std::array<int, 6>> counts_;
  std::vector<Hand> answers_;  // the answers for the next hand
  // Per answer: its payoffs over the longest finite horizon (a ring), and its running sum
  // per horizon.
  std::vector<std::vector<int8_t>> ring_;
  std::vector<std::vector<int>> sums_;
  std::vector<Hand> picks_;      // per horizon, in three rotations
  std::vector<double> picked_;   // the picks' decayed records
  Hand next_ = Rock;
};

}  // namespace tavo
