#include "tavo/engine/game.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tavo/protocol/protocol.h"

namespace tavo {

namespace {
constexpr double kDecay = 0.98;       // weight of older observations in a context
constexpr double kRecentDecay = 0.6;  // the few last hands

// A reply's first line: kInfo and its digit.
std::string Info(char digit) { return protocol::kInfo + std::string(1, digit) + protocol::kLineEnd; }
}  // namespace

const char* HandName(Hand h) { return h == Rock ? "rock" : h == Scissors ? "scissors" : "paper"; }

bool HandFromLetter(char c, Hand& h) {
  switch (c) {
    case protocol::kRock: h = Rock; return true;
    case protocol::kScissors: h = Scissors; return true;
    case protocol::kPaper: h = Paper; return true;
  }
  return false;
}

// ---- HistoryMatcher ----

uint64_t HistoryMatcher::Code(size_t end, int length) const {
  uint64_t code = 0;
  for (size_t i = end - size_t(length); i < end; ++i) code = code * base_ + symbols_[i];
  return code;
}

void HistoryMatcher::Add(int symbol) {
  symbols_.push_back(uint8_t(symbol));
  // Every context that ends just before the new symbol now has a known follower.
  const size_t end = symbols_.size() - 1;
  for (int length = 1; length <= kMaxLength && size_t(length) <= end; ++length)
    last_[length][Code(end, length)] = int(end);
}

int HistoryMatcher::Follower(int* length) const {
  const size_t end = symbols_.size();
  for (int n = std::min<int>(kMaxLength, int(end)); n >= 1; --n) {
    const auto it = last_[n].find(Code(end, n));
    if (it != last_[n].end()) {
      if (length) *length = n;
      return it->second;
    }
  }
  if (length) *length = 0;
  return -1;
}

// ---- Predictor ----

namespace {

constexpr Forecast kUniform{1.0 / 3, 1.0 / 3, 1.0 / 3};

Forecast Certain(int hand) {
  Forecast f{0, 0, 0};
  f[size_t(hand)] = 1.0;
  return f;
}

int Likely(const Forecast& f) {
  int likely = 0;
  for (int i = 1; i < 3; ++i)
    if (f[size_t(i)] > f[size_t(likely)]) likely = i;
  return likely;
}

bool Informed(const Forecast& f) { return f[0] != f[1] || f[1] != f[2]; }

// The forecast of the player's hands if each expected hand is beaten by the player.
Forecast Rotated(const Forecast& f, int times) {
  Forecast r{};
  for (int i = 0; i < 3; ++i) {
    int h = i;
    for (int t = 0; t < times; ++t) h = int(Beating(Hand(h)));
    r[size_t(h)] = f[size_t(i)];
  }
  return r;
}

bool IsEngineSource(int source) { return source >= Predictor::kEngineFrequency; }

// How many standard errors of its average a candidate's score is lowered by: with some
// forty candidates, one of them is always lucky for a while.
constexpr double kDoubt = 3.5;
constexpr double kLeastSpread = 0.25;
// The memory of the engine's own record (about twenty hands), and how far below even it
// must fall before the engine turns to random play.
constexpr double kOwnDecay = 0.95;
constexpr double kOwnFloor = -0.15;

}  // namespace

constexpr double Predictor::kWindowDecay[];

namespace {

// The predictors' contexts, one row each. A counting context counts the hand that
// followed each value of its key (the player's, or the engine's for a model of us); a
// matcher finds the longest earlier repeat of a history and names the hand that followed.
using History = std::vector<std::pair<Hand, Hand>>;
using Key = int (*)(const History&);  // the context of the hand to come, -1 when unknown

int P(const History& h, size_t back) { return h.size() >= back ? int(h[h.size() - back].first) : -1; }
int E(const History& h, size_t back) { return h.size() >= back ? int(h[h.size() - back].second) : -1; }
int Pair(int a, int b) { return a < 0 || b < 0 ? -1 : a * 3 + b; }

struct Counting {
  int source;
  bool ofEngine;  // counts the engine's hands
  double decay;
  Key key;
};
constexpr Counting kCountings[] = {
    {Predictor::kFrequency, false, kDecay, [](const History&) { return 0; }},
    {Predictor::kRecent, false, kRecentDecay, [](const History&) { return 0; }},
    {Predictor::kAfterPlayer, false, kDecay, [](const History& h) { return P(h, 1); }},
    {Predictor::kAfterPlayerTwo, false, kDecay, [](const History& h) { return Pair(P(h, 2), P(h, 1)); }},
    {Predictor::kAfterEngine, false, kDecay, [](const History& h) { return E(h, 1); }},
    {Predictor::kAfterPair, false, kDecay, [](const History& h) { return Pair(P(h, 1), E(h, 1)); }},
    {Predictor::kEngineFrequency, true, kDecay, [](const History&) { return 0; }},
    {Predictor::kEngineAfterEngine, true, kDecay, [](const History& h) { return E(h, 1); }},
    {Predictor::kEngineAfterEngineTwo, true, kDecay, [](const History& h) { return Pair(E(h, 2), E(h, 1)); }},
};

enum class Matched { kPlayer, kEngine, kBoth };
struct Matching {
  Matched history;
  int base;  // symbols of that history
};
constexpr Matching kMatchings[] = {{Matched::kPlayer, 3}, {Matched::kEngine, 3}, {Matched::kBoth, 9}};
int Symbol(Matched m, Hand player, Hand engine) {
  return m == Matched::kPlayer ? int(player) : m == Matched::kEngine ? int(engine) : int(player) * 3 + int(engine);
}

// The sources that read a matcher: which one, and whether they take the engine's hand
// that followed (a player's model of us) rather than the player's.
struct MatchSource {
  int source;
  int matcher;  // index in kMatchings
  bool ofEngine;
};
constexpr MatchSource kMatchSources[] = {{Predictor::kMatchPlayer, 0, false},
                                         {Predictor::kMatchEngine, 1, false},
                                         {Predictor::kMatchBoth, 2, false},
                                         {Predictor::kEngineMatch, 1, true}};

Forecast Counted(const std::vector<std::array<double, 3>>& table, int key) {
  if (key < 0 || size_t(key) >= table.size()) return kUniform;
  const auto& c = table[size_t(key)];
  const double total = c[0] + c[1] + c[2];
  if (total <= 0) return kUniform;
  return Forecast{c[0] / total, c[1] / total, c[2] / total};
}

}  // namespace

Predictor::Predictor(uint64_t seed)
    : counts_(std::size(kCountings)), keys_(std::size(kCountings), -1), followers_(std::size(kMatchings), -1),
      random_(seed) {
  for (const Matching& m : kMatchings) matchers_.emplace_back(m.base);
  Look();
}

void Predictor::Look() {
  for (size_t i = 0; i < std::size(kCountings); ++i) keys_[i] = kCountings[i].key(history_);
  for (size_t i = 0; i < matchers_.size(); ++i) followers_[i] = matchers_[i].Follower();
}

Forecast Predictor::SourceForecast(int source) const {
  for (size_t i = 0; i < std::size(kCountings); ++i)
    if (kCountings[i].source == source) return Counted(counts_[i], keys_[i]);
  for (const MatchSource& m : kMatchSources) {
    if (m.source != source) continue;
    const int i = followers_[size_t(m.matcher)];
    if (i < 0) return kUniform;
    return Certain(m.ofEngine ? history_[size_t(i)].second : history_[size_t(i)].first);
  }
  if (source == kStep) {
    // The player's last step repeated: a repeated hand, or a cycle.
    const int p1 = P(history_, 1), p2 = P(history_, 2);
    return p2 < 0 ? kUniform : Certain((p1 + (p1 - p2 + 3)) % 3);
  }
  return kUniform;
}

Hand Predictor::CandidateHand(const Forecast& f, int rotation, bool ofEngine) {
  // The hand the candidate expects of the player: the likely one, or for a model of our
  // own hands the one that beats ours. At each level of second guessing the player expects
  // our answer and plays what beats it.
  int expected = Likely(f);
  if (ofEngine) expected = int(Beating(Hand(expected)));
  for (int r = 0; r < rotation; ++r) expected = int(Beating(Beating(Hand(expected))));
  return Beating(Hand(expected));
}

// Hands of the candidates for the next hand; an uninformed predictor's candidates hold
// -1 and take no part.
void Predictor::Candidates(std::array<Hand, kCandidates>& hands) const {
  for (int source = 1; source <= kSources; ++source) {
    const Forecast f = SourceForecast(source);
    for (int r = 0; r < kRotations; ++r) {
      const int c = (source - 1) * kRotations + r;
      hands[size_t(c)] = Informed(f) ? CandidateHand(f, r, IsEngineSource(source)) : Hand(-1);
    }
  }
}

double Predictor::Remembered(double decay) const {
  return (1 - std::pow(decay, double(history_.size()))) / (1 - decay);
}

double Predictor::Mean(int candidate, int window) const {
  const double remembered = Remembered(kWindowDecay[window]);
  return remembered > 0 ? scores_[candidate][window] / remembered : 0;
}

double Predictor::Score(int candidate, int window) const {
  // The window's average over the hands it remembers (all of them, early on), less the
  // doubt of that average: the spread of the payoffs over the root of their number.
  const double remembered = Remembered(kWindowDecay[window]);
  if (remembered <= 0) return 0;
  const double mean = scores_[candidate][window] / remembered;
  // A spread of at least kLeastSpread: a short flawless run may be luck too.
  const double variance = std::max(kLeastSpread, squares_[candidate][window] / remembered - mean * mean);
  return mean - kDoubt * std::sqrt(variance / remembered);
}

Predictor::Choice Predictor::Choose() {
  Candidates(pending_);
  pendingValid_ = true;
  int best = -1;
  double bestScore = 0;
  for (int c = 0; c < kCandidates; ++c) {
    if (int(pending_[size_t(c)]) < 0) continue;
    for (int w = 0; w < kWindows; ++w) {
      const double s = Score(c, w);
      if (s > bestScore) best = c, bestScore = s;
    }
  }
  if (best < 0) {
    // Nothing stands out from its doubt: the candidate that has done best over the longest
    // window plays if it has done better than chance there; else the engine hedges.
    const int longest = kWindows - 1;
    for (int c = 0; c < kCandidates; ++c) {
      if (int(pending_[size_t(c)]) < 0) continue;
      const double mean = Mean(c, longest);
      if (mean > bestScore) best = c, bestScore = mean;
    }
  }
  // The engine's own record over the last hands: when even its choices lose, the player
  // sees through them (by modelling the engine itself), and only random play is safe.
  if (history_.size() >= 10 && own_ / Remembered(kOwnDecay) < kOwnFloor) best = -1;
  if (best < 0) return Choice{Hand(random_.Below(3)), kUniform, 0};
  const int source = best / kRotations + 1, rotation = best % kRotations;
  Forecast expected = SourceForecast(source);
  if (IsEngineSource(source)) expected = Rotated(expected, 1);
  return Choice{pending_[size_t(best)], Rotated(expected, 2 * rotation), source};
}

void Predictor::Record(Hand player, Hand engine) {
  if (!pendingValid_) Candidates(pending_);
  pendingValid_ = false;
  own_ = own_ * kOwnDecay + Outcome(engine, player);
  for (int c = 0; c < kCandidates; ++c) {
    if (int(pending_[size_t(c)]) < 0) continue;
    const int payoff = Outcome(pending_[size_t(c)], player);
    for (int w = 0; w < kWindows; ++w) {
      scores_[c][w] = scores_[c][w] * kWindowDecay[w] + payoff;
      squares_[c][w] = squares_[c][w] * kWindowDecay[w] + payoff * payoff;
    }
  }
  for (size_t i = 0; i < std::size(kCountings); ++i) {
    const int key = keys_[i];
    if (key < 0) continue;
    auto& table = counts_[i];
    if (table.size() <= size_t(key)) table.resize(size_t(key) + 1, {0, 0, 0});
    for (auto& v : table[size_t(key)]) v *= kCountings[i].decay;
    table[size_t(key)][size_t(kCountings[i].ofEngine ? engine : player)] += 1.0;
  }
  for (size_t i = 0; i < matchers_.size(); ++i) matchers_[i].Add(Symbol(kMatchings[i].history, player, engine));
  history_.emplace_back(player, engine);
  Look();
}

std::string Game::NewGame() {
  running_ = true;
  ++games_;
  info_ = 0;
  playerPoints_ = enginePoints_ = 0;
  hands_.clear();
  next_ = predictor_.Choose();
  return Info(protocol::kGoesOn) + "GAME " + std::to_string(games_) + " START (" + std::to_string(kHandsPerGame) +
         " hands)" + protocol::kLineEnd + protocol::kNextHand + protocol::kLineEnd;
}

std::string Game::Play(Hand player) {
  played_ = next_;
  const Hand engine = next_.hand;
  const int outcome = Outcome(player, engine);
  if (outcome > 0) ++playerPoints_;
  if (outcome < 0) ++enginePoints_;
  hands_.push_back(Played{player, engine, outcome});
  predictor_.Record(player, engine);

  char line[160];
  std::snprintf(line, sizeof line, "HAND %d: player %s, engine %s, %s\r\n", int(hands_.size()), HandName(player),
                HandName(engine),
                outcome > 0   ? "player wins"
                : outcome < 0 ? "engine wins"
                              : "draw");

  if (int(hands_.size()) < kHandsPerGame) {
    info_ = outcome > 0 ? 1 : 0;
    next_ = predictor_.Choose();
    std::snprintf(line + std::strlen(line), sizeof line - std::strlen(line), "SCORE %d:%d\r\n", playerPoints_,
                  enginePoints_);
    return Info(info_ == 1 ? protocol::kPlayerWon : protocol::kGoesOn) + line + protocol::kNextHand + protocol::kLineEnd;
  }

  running_ = false;
  info_ = 2;
  next_ = predictor_.Choose();
  std::string reply = Info(protocol::kGameOver);
  reply += line;
  reply += std::string("# ") + protocol::kTableHeader + " result of game " + std::to_string(games_) + protocol::kLineEnd;
  reply += "no  player    engine    winner\r\n";
  for (size_t i = 0; i < hands_.size(); ++i) {
    char row[96];
    std::snprintf(row, sizeof row, "%-3d %-9s %-9s %s\r\n", int(i + 1), HandName(hands_[i].player),
                  HandName(hands_[i].engine),
                  hands_[i].outcome > 0   ? "player"
                  : hands_[i].outcome < 0 ? "engine"
                                          : "-");
    reply += row;
  }
  reply += std::string(protocol::kTableTotal) + " " + std::to_string(playerPoints_) + ":" + std::to_string(enginePoints_) + "\r\n";
  reply += std::string(protocol::kTableEnd) + " " + std::to_string(playerPoints_) + " engine " +
           std::to_string(enginePoints_) +
           (playerPoints_ > enginePoints_   ? " player wins"
            : playerPoints_ < enginePoints_ ? " engine wins"
                                            : " draw") +
           "\r\n";
  return reply;
}

std::string Game::SummaryText() const {
  std::string text;
  const auto line = [&text](const char* key, const std::string& value) {
    text += key;
    text += ": ";
    text += value;
    text += protocol::kLineEnd;
  };
  const auto pair = [](int a, int b) { return "(" + std::to_string(a) + ":" + std::to_string(b) + ")"; };
  char forecast[96];
  std::snprintf(forecast, sizeof forecast, "(%.4f, %.4f, %.4f)", played_.forecast[0], played_.forecast[1],
                played_.forecast[2]);
  line(protocol::kSummaryInfo, std::to_string(info_));
  line(protocol::kSummaryHands, pair(int(hands_.size()), kHandsPerGame));
  line(protocol::kSummaryPoint, pair(playerPoints_, enginePoints_));
  line(protocol::kSummaryForecast, forecast);
  line(protocol::kSummaryPattern, std::to_string(played_.pattern));
  line(protocol::kSummaryData, std::to_string(predictor_.HistorySize()));
  line(protocol::kSummaryNextHand, std::to_string(running_ ? int(hands_.size()) + 1 : 0));
  return text;
}

}  // namespace tavo
