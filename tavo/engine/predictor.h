// The engine's opponent model: predictors of the player's next hand, their answers and
// the choice among them. Pure computation.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "tavo/engine/meta_model.h"
#include "tavo/engine/rules.h"

namespace tavo {

// Predicts the player's next hand with several predictors and plays the candidate that
// has lately done best. Each predictor names a hand it expects of the player, or of the
// engine (a player who models us: the player is expected to answer it). Its candidate
// answers: the best answer to it, the two second guesses (the player may expect our
// answer and beat it, or expect that and beat that in turn), and a turning answer for a
// player who second-guesses by turns: for a model of us, the answer to the player's own
// answer turned the way a player turns it once it has lately lost; for the others, the
// one of the three that has paid best over the last two hands or so. Some
// predictors are whole meta players (MetaModel) of the kinds that read the engine: what
// they would play next is a prediction like the others, so that a player who reads the
// engine is read in turn. Every candidate is scored on every hand by what it would have
// won or lost, over several windows that forget at different speeds, less the doubt of
// its record; the best (candidate, window) pair plays. When none stands out from its
// doubt, the meta players' best answer over the longest window plays; when the engine's
// own choices have lately lost more than they won, it plays at random.
class Predictor {
 public:
  // The predictors, numbered as the summary's PATTERN names them (0 is random play).
  // "Us": the player's model of the engine, a forecast of the engine's hand.
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
    kEngineFrequency,       // us: the engine's hands overall
    kEngineMatch,           // us: history match over the engine's hands
    kEngineAfterEngine,     // us: after the engine's last hand
    kEngineAfterEngineTwo,  // us: after the engine's last two hands
    kEngineMatchBoth,       // us: history match over both
    kEngineMatchPlayer,     // us: history match over the player's hands
    kEngineAfterPair,       // us: after the last pair of hands
    kAfterPairSlow,         // after the last pair and whether the player repeated a hand,
                            //   counted over many hands
    kMatchBoth100,          // history match over both, ending within the last 100 hands
    kEngineMatchBoth100,    // us: the same
    kMatchBoth20,           // ... within the last 20 hands
    kEngineMatchBoth20,
    kMatchBoth10,
    kEngineMatchBoth10,
    kMatchBoth5,
    kEngineMatchBoth5,
    kMatchBoth2,
    kEngineMatchBoth2,
    kMatchAny,              // the longest match over any of the three histories
    kEngineMatchAny,        // us: the same
    kMatchByAge10,          // the match over any history that weighs most, its length
    kMatchByAge50,          //   over (1 + its age / 10, 50 or 200 hands)
    kMatchByAge200,
    kEngineMatchByAge10,    // us: the same three
    kEngineMatchByAge50,
    kEngineMatchByAge200,
    kShown,                 // the player answers the forecast a host may show
    kPeople,                // how people play: win-stay, lose-shift, rock first
    kMetaPlayer,            // a meta player of the history-matching kind
    kMetaPlayerLate,        // the same, that breaks ties the other way
    kMetaPlayerHorizons,    // the same kind at other horizons, quicker to change its pick
    kMetaPlayerWindows,     // a meta player of fixed-length matches and windows
    kSourceEnd
  };
  static constexpr int kSources = kSourceEnd - 1;
  static constexpr int kRotations = 3;
  static constexpr int kAnswers = kRotations + 1;  // the rotations and the turning answer
  static constexpr int kCandidates = kSources * kAnswers;
  static constexpr int kWindows = 4;
  static constexpr double kWindowDecay[kWindows] = {0.8, 0.93, 0.99, 0.998};

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
  // while a flawless record does. A candidate is (source - 1) * kAnswers + answer.
  Forecast SourceForecast(int source) const;
  double Score(int candidate, int window) const;
  // A candidate's average payoff per hand over a window.
  double Mean(int candidate, int window) const;
  // The hand a candidate plays against a forecast: rotation 0 is the best answer to it,
  // 1 and 2 are the second guesses. ofEngine: the forecast is of the engine's hand (the
  // player's model of us), and the player is expected to answer it.
  static Hand CandidateHand(const Forecast& f, int rotation, bool ofEngine);
  static bool IsEngineSource(int source);

 private:
  void Candidates(std::array<Hand, kCandidates>& hands) const;
  // How many hands a window of the decay remembers (all of them, early on).
  double Remembered(double decay) const;
  // Works out, once per hand, each counting context's key and each matcher's follower
  // for the hand to come.
  void Look();

  Hands history_;
  double remembered_[kWindows] = {};  // Remembered() of each window, for the hand to come
  // Per counting context (kCountings in predictor.cpp): decayed counts of the hand
  // counted, per key, and the key of the hand to come (-1: too little history).
  std::vector<std::vector<std::array<double, 3>>> counts_;
  std::vector<int> keys_;
  // Per history (player's, engine's, both) its matcher; per matching source (kMatchSources)
  // the index of the hand that followed its match (-1: none).
  std::vector<HistoryMatcher> matchers_;
  std::vector<int> followers_;
  std::vector<MetaModel> metaPlayers_;  // per meta player source
  // Per candidate: decayed sums of its payoffs and their squares, per window.
  double scores_[kCandidates][kWindows] = {};
  double squares_[kCandidates][kWindows] = {};
  // Per source: its rotations' payoffs over the last few hands; for a model of us, the
  // player's record of its answer in three rotations; and the turning answer's rotation.
  double turns_[kSources][kRotations] = {};
  double playerTurns_[kSources][kRotations] = {};
  int turn_[kSources] = {};
  std::array<Hand, kCandidates> pending_{};
  bool pendingValid_ = false;
  Forecast shown_{1.0 / 3, 1.0 / 3, 1.0 / 3};  // the forecast of the hand last chosen
  double own_ = 0;                             // the engine's own payoffs, decayed
  Random random_;
};

}  // namespace tavo
