// The game's rules and the pieces its players are built of: hands, a seeded random
// source, a history matcher, a forecast. Pure computation.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
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

// The longest earlier match of the most recent symbols of a sequence: for each length up
// to kMaxLength, where that context last occurred. Learning a symbol costs kMaxLength
// table updates, whatever the history's length.
class HistoryMatcher {
 public:
  static constexpr int kMaxLength = 16;
  // base: the number of different symbols (at most 9, so that 16 of them fit 64 bits).
  explicit HistoryMatcher(int base) : base_(uint64_t(base)) { latest_.fill(-1); }
  void Add(int symbol);
  // The index of the symbol that followed the longest earlier occurrence of the sequence's
  // last symbols, or -1 when not even the last one occurred before; length gets the
  // match's length. With a horizon, only occurrences that end within the last `horizon`
  // symbols count (0: all).
  int Follower(int* length = nullptr, int horizon = 0) const;
  // Of the latest occurrences of each length, the follower whose match weighs most:
  // length / (1 + age / scale), age counted in symbols back from the end; -1 when none.
  // weight gets its weight.
  int RecentFollower(double scale, double* weight) const;
  // The follower of the latest earlier occurrence of exactly the last `length` symbols
  // (at most kMaxLength), or -1.
  int FollowerOfLength(int length) const;
  int Size() const { return int(symbols_.size()); }

 private:
  uint64_t base_;
  std::vector<uint8_t> symbols_;
  // (length, context code) -> the index after its last occurrence
  std::unordered_map<uint64_t, int> last_[kMaxLength + 1];
  // Per length, the index after the latest earlier occurrence of the sequence's last
  // symbols (-1: none), worked out once per symbol added.
  std::array<int, kMaxLength + 1> latest_;
};

// The hands played so far, oldest first: (the player's, the engine's).
using Hands = std::vector<std::pair<Hand, Hand>>;

// A base predictor's view of the next hand: how likely each of the player's hands is.
// Uniform when it has nothing to say.
using Forecast = std::array<double, 3>;

}  // namespace tavo
