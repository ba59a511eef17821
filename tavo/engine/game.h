// The engine's game: rules, the opponent model that predicts the player's next hand,
// the replies and the summary text. Pure computation, shared by tavo.exe, its tests and
// its benchmark.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
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
  explicit HistoryMatcher(int base) : base_(uint64_t(base)) {}
  void Add(int symbol);
  // The index of the symbol that followed the longest earlier occurrence of the sequence's
  // last symbols, or -1 when not even the last one occurred before; length gets the
  // match's length.
  int Follower(int* length = nullptr) const;
  int Size() const { return int(symbols_.size()); }

 private:
  uint64_t Code(size_t end, int length) const;  // the `length` symbols before end
  uint64_t base_;
  std::vector<uint8_t> symbols_;
  // (length, context code) -> the index after its last occurrence
  std::unordered_map<uint64_t, int> last_[kMaxLength + 1];
};

// A base predictor's view of the next hand: how likely each of the player's hands is.
// Uniform when it has nothing to say.
using Forecast = std::array<double, 3>;

// Predicts the player's next hand with several predictors and plays the candidate that
// has lately done best. Each predictor names a hand it expects of the player; for each
// there are three candidate answers: beating it, and the two second guesses (the player
// may expect our counter and beat it, or expect that and beat that in turn). Predictors of
// the engine's own hands stand for a player who models us. Every candidate is scored on
// every hand by what it would have won or lost, over several windows that forget at
// different speeds; the best (candidate, window) pair plays. When none is doing better
// than chance, or the engine's own choices have lately lost more than they won, the engine
// plays at random.
class Predictor {
 public:
  // The predictors, numbered as the summary's PATTERN names them (0 is random play).
  enum Source {
    kFrequency = 1,         // the player's hands overall (decaying)
    kRecent,                // the player's last few hands
    kAfterPlayer,           // after the player's last hand
    kAfterPlayerTwo,        // after the player's last two hands
    kAfterEngine,           // after the engine's last hand
    kAfterPair,             // after the last pair of hands
    kMatchPlayer,           // history match over the player's hands
    kMatchEngine,           // history match over the engine's hands
    kMatchBoth,             // history match over both
    kStep,                  // the player's last step repeated (a repeated hand or a cycle)
    kEngineFrequency,       // the player's model of us: the engine's hands overall
    kEngineMatch,           // the player's model of us: history match over the engine's hands
    kEngineAfterEngine,     // the player's model of us: after the engine's last hand
    kEngineAfterEngineTwo,  // the player's model of us: after the engine's last two hands
    kSourceEnd
  };
  static constexpr int kSources = kSourceEnd - 1;
  static constexpr int kRotations = 3;
  static constexpr int kCandidates = kSources * kRotations;
  static constexpr int kWindows = 3;
  static constexpr double kWindowDecay[kWindows] = {0.8, 0.93, 0.99};

  explicit Predictor(uint64_t seed);

  struct Choice {
    Hand hand;                       // what the engine plays
    std::array<double, 3> forecast;  // the player's hands as the chosen candidate expects them
    int pattern;                     // 0: random play, else the predictor (Source) that chose
  };
  Choice Choose();
  // Records a played hand pair: scores every candidate and teaches every predictor.
  void Record(Hand player, Hand engine);
  int HistorySize() const { return int(history_.size()); }

  // For tests: a source's forecast of the player's next hand (of the engine's, for the
  // player's models of us), and a candidate's score over a window: its average payoff per
  // hand (-1 to 1) less its standard error, so that a short window's luck does not count
  // while a flawless record does.
  Forecast SourceForecast(int source) const;
  double Score(int candidate, int window) const;
  // A candidate's average payoff per hand over a window.
  double Mean(int candidate, int window) const;
  // The hand a candidate plays against a forecast: rotation 0 beats the expected hand,
  // 1 and 2 are the second guesses.
  static Hand CandidateHand(const Forecast& f, int rotation, bool ofEngine);

 private:
  void Candidates(std::array<Hand, kCandidates>& hands) const;
  // How many hands a window of the decay remembers (all of them, early on).
  double Remembered(double decay) const;
  // Works out, once per hand, each counting context's key and each matcher's follower
  // for the hand to come.
  void Look();

  std::vector<std::pair<Hand, Hand>> history_;
  // Per counting context (kCountings in game.cpp): decayed counts of the hand counted,
  // per key, and the key of the hand to come (-1: too little history).
  std::vector<std::vector<std::array<double, 3>>> counts_;
  std::vector<int> keys_;
  // Per matcher (kMatchings in game.cpp): the history it matches, and the index of the
  // hand that followed the longest earlier match (-1: none).
  std::vector<HistoryMatcher> matchers_;
  std::vector<int> followers_;
  double scores_[kCandidates][kWindows] = {};   // decayed sums of payoffs
  double squares_[kCandidates][kWindows] = {};  // and of their squares
  double own_ = 0;                              // the engine's own payoffs, decayed
  std::array<Hand, kCandidates> pending_{};
  bool pendingValid_ = false;
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
  // The choice of the hand last played: the summary tells it, not the next one.
  Predictor::Choice played_{Rock, {1.0 / 3, 1.0 / 3, 1.0 / 3}, 0};
  bool running_ = false;
  int info_ = 0;
  int games_ = 0;
  int playerPoints_ = 0, enginePoints_ = 0;
  std::vector<Played> hands_;
};

}  // namespace tavo
