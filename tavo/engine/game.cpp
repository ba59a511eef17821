#include "tavo/engine/game.h"

#include <cstdio>
#include <cstring>

namespace tavo {

namespace {
constexpr double kDecay = 0.98;     // weight of older observations in a context
constexpr double kScoreDecay = 0.85;  // memory of a model's recent accuracy
constexpr double kTrust = 0.45;     // accuracy a model needs before it is used
}  // namespace

const char* HandName(Hand h) { return h == Rock ? "rock" : h == Scissors ? "scissors" : "paper"; }

bool HandFromLetter(char c, Hand& h) {
  switch (c) {
    case 'm': h = Rock; return true;
    case 'n': h = Scissors; return true;
    case 'b': h = Paper; return true;
  }
  return false;
}

// Context of a model for the hand that follows history_[0..end): 0 for none.
int Predictor::Context(int model, size_t end) const {
  auto p = [&](size_t back) { return int(history_[end - back].first); };
  auto e = [&](size_t back) { return int(history_[end - back].second); };
  switch (model) {
    case 0: return 0;                                    // overall frequency
    case 1: return end >= 1 ? 1 + p(1) : 0;              // after the player's last hand
    case 2: return end >= 1 ? 1 + e(1) : 0;              // after the engine's last hand
    case 3: return end >= 1 ? 1 + p(1) * 3 + e(1) : 0;   // after the last pair
    case 4: return end >= 2 ? 1 + p(2) * 3 + p(1) : 0;   // after the player's last two
  }
  return 0;
}

std::array<double, 3> Predictor::ModelForecast(int model) const {
  const int ctx = Context(model, history_.size());
  std::array<double, 3> f{1.0 / 3, 1.0 / 3, 1.0 / 3};
  if (size_t(ctx) >= counts_[model].size()) return f;
  const auto& c = counts_[model][size_t(ctx)];
  const double total = c[0] + c[1] + c[2];
  if (total <= 0) return f;
  for (int i = 0; i < 3; ++i) f[size_t(i)] = c[size_t(i)] / total;
  return f;
}

Predictor::Choice Predictor::Choose() {
  int best = -1;
  double bestScore = 0;
  for (int m = 0; m < kModels; ++m) {
    if (score_[m] > bestScore) best = m, bestScore = score_[m];
  }
  // The score is a decayed count of hits; its steady value for accuracy a is a / (1 - decay).
  if (best >= 0 && bestScore * (1 - kScoreDecay) >= kTrust) {
    const auto f = ModelForecast(best);
    int likely = 0;
    for (int i = 1; i < 3; ++i) {
      if (f[size_t(i)] > f[size_t(likely)]) likely = i;
    }
    return Choice{Beating(Hand(likely)), f, best + 1};
  }
  return Choice{Hand(random_.Below(3)), {1.0 / 3, 1.0 / 3, 1.0 / 3}, 0};
}

void Predictor::Record(Hand player, Hand engine) {
  for (int m = 0; m < kModels; ++m) {
    const auto f = ModelForecast(m);
    int likely = 0;
    for (int i = 1; i < 3; ++i) {
      if (f[size_t(i)] > f[size_t(likely)]) likely = i;
    }
    const bool informed = f[0] != f[1] || f[1] != f[2];
    score_[m] = score_[m] * kScoreDecay + ((informed && likely == int(player)) ? 1.0 : 0.0);
    const int ctx = Context(m, history_.size());
    if (counts_[m].size() <= size_t(ctx)) counts_[m].resize(size_t(ctx) + 1, {0, 0, 0});
    auto& c = counts_[m][size_t(ctx)];
    for (auto& v : c) v *= kDecay;
    c[size_t(player)] += 1.0;
  }
  history_.emplace_back(player, engine);
}

std::string Game::NewGame() {
  running_ = true;
  ++games_;
  info_ = 0;
  playerPoints_ = enginePoints_ = 0;
  hands_.clear();
  next_ = predictor_.Choose();
  return "INFO:0\r\nGAME " + std::to_string(games_) + " START (" + std::to_string(kHandsPerGame) +
         " hands)\r\nNEXT HAND\r\n";
}

std::string Game::Play(Hand player) {
  const Hand engine = next_.hand;
  const int outcome = Outcome(player, engine);
  if (outcome > 0) ++playerPoints_;
  if (outcome < 0) ++enginePoints_;
  hands_.push_back(Played{player, engine, outcome});
  predictor_.Record(player, engine);

  char line[160];
  std::snprintf(line, sizeof line, "HAND %d: player %s, engine %s, %s\r\n", int(hands_.size()),
                HandName(player), HandName(engine),
                outcome > 0 ? "player wins" : outcome < 0 ? "engine wins" : "draw");

  if (int(hands_.size()) < kHandsPerGame) {
    info_ = outcome > 0 ? 1 : 0;
    next_ = predictor_.Choose();
    std::snprintf(line + std::strlen(line), sizeof line - std::strlen(line), "SCORE %d:%d\r\n", playerPoints_,
                  enginePoints_);
    return "INFO:" + std::to_string(info_) + "\r\n" + line + "NEXT HAND\r\n";
  }

  running_ = false;
  info_ = 2;
  next_ = predictor_.Choose();
  std::string reply = "INFO:2\r\n";
  reply += line;
  reply += "# look-n-2 result of game " + std::to_string(games_) + "\r\n";
  reply += "no  player    engine    winner\r\n";
  for (size_t i = 0; i < hands_.size(); ++i) {
    char row[96];
    std::snprintf(row, sizeof row, "%-3d %-9s %-9s %s\r\n", int(i + 1), HandName(hands_[i].player),
                  HandName(hands_[i].engine),
                  hands_[i].outcome > 0 ? "player" : hands_[i].outcome < 0 ? "engine" : "-");
    reply += row;
  }
  reply += "total " + std::to_string(playerPoints_) + ":" + std::to_string(enginePoints_) + "\r\n";
  reply += std::string("player ") + std::to_string(playerPoints_) + " engine " + std::to_string(enginePoints_) +
           (playerPoints_ > enginePoints_ ? " player wins" : playerPoints_ < enginePoints_ ? " engine wins" : " draw") +
           "\r\n";
  return reply;
}

std::string Game::SummaryText() const {
  char text[512];
  std::snprintf(text, sizeof text,
                "INFO: %d\r\nHANDS: (%d:%d)\r\nPOINT: (%d:%d)\r\nFORECAST: (%.4f, %.4f, %.4f)\r\n"
                "PATTERN: %d\r\nDATA: %d\r\nNEXT HAND: %d\r\n",
                info_, int(hands_.size()), kHandsPerGame, playerPoints_, enginePoints_, next_.forecast[0],
                next_.forecast[1], next_.forecast[2], next_.pattern, predictor_.HistorySize(),
                running_ ? int(hands_.size()) + 1 : 0);
  return text;
}

}  // namespace tavo
