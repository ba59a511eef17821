#include "tavo/engine/game.h"

#include <cstdio>
#include <cstring>

#include "tavo/protocol/protocol.h"

namespace tavo {

namespace {

// A reply's first line: kInfo and its digit.
std::string Info(char digit) { return protocol::kInfo + std::string(1, digit) + protocol::kLineEnd; }
}  // namespace

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
