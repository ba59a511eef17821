// The engine program as a child process with pipes: a whole game checked line by line.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "tavo/bridge/bridge_core.h"
#include "tavo/bridge/summary.h"
#include "tavo/engine/game.h"
#include "tests/support/engine_pipe.h"
#include "tests/support/players.h"

using namespace tavo::bridge;

namespace {

// The engine program, seeded, in a scratch folder of its own.
struct Engine {
  Engine() : pipe(TAVO_ENGINE_PATH, folder.Path(), 42) { EXPECT_TRUE(pipe.Started()); }
  void Send(const char* command) { ASSERT_TRUE(pipe.Send(command)); }
  std::string Line() { return pipe.Line(); }
  int ExitCode() { return pipe.Close(); }
  testsupport::ScratchFolder folder{"engine"};
  testsupport::EnginePipe pipe;
};

bool EndsWithCrLf(const std::string& s) { return s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0; }

}  // namespace

TEST(EngineProgram, WholeGameLineByLine) {
  Engine e;
  const std::string& dir = e.folder.Path();
  e.Send("D\r\n");
  std::string line = e.Line();
  EXPECT_EQ(line.rfind("INFO:0", 0), 0u);
  while (line.rfind("NEXT HAND", 0) != 0) {
    ASSERT_TRUE(EndsWithCrLf(line)) << line;
    line = e.Line();
  }
  SummaryRecord r;
  SummaryReader reader(&r);
  ASSERT_TRUE(reader.Read((dir + "/summary.txt").c_str()));
  EXPECT_EQ(r.info, 0);
  EXPECT_EQ(r.hands[0], 0);
  EXPECT_EQ(r.nextHand, 1);
  EXPECT_NEAR(r.forecast[0] + r.forecast[1] + r.forecast[2], 1.0, 1e-3);

  const char* hands[] = {"m\r\n", "n\r\n", "b\r\n"};
  int points = 0;
  for (int i = 0; i < tavo::Game::kHandsPerGame; ++i) {
    e.Send(hands[i % 3]);
    line = e.Line();
    if (i + 1 < tavo::Game::kHandsPerGame) {
      ASSERT_TRUE(line.rfind("INFO:0", 0) == 0 || line.rfind("INFO:1", 0) == 0) << line;
      while (line.rfind("NEXT HAND", 0) != 0) line = e.Line();
      ASSERT_TRUE(reader.Read((dir + "/summary.txt").c_str()));
      EXPECT_EQ(r.hands[0], i + 1);
      EXPECT_EQ(r.nextHand, i + 2);
      EXPECT_GE(r.point[0] + r.point[1], points);
      points = r.point[0] + r.point[1];
      EXPECT_EQ(r.data, i + 1);
    } else {
      ASSERT_EQ(line.rfind("INFO:2", 0), 0u) << line;
      bool header = false;
      int rows = 0;
      for (line = e.Line(); line.rfind("player", 0) != 0; line = e.Line()) {
        ASSERT_NE(line, "<eof>");
        std::string bare = line.substr(0, line.size() - 2);
        if (ResultCollector::IsTableHeader(bare.c_str())) {
          header = true;
        } else if (header) {
          ++rows;
        }
      }
      EXPECT_TRUE(header);
      EXPECT_GE(rows, tavo::Game::kHandsPerGame);
    }
  }
  // After the game hands are refused, not played.
  e.Send("m\r\n");
  EXPECT_EQ(e.Line().rfind("ERROR", 0), 0u);
  e.Send("x\r\n");
  EXPECT_EQ(e.Line().rfind("ERROR", 0), 0u);
  e.Send("Q\r\n");
  EXPECT_EQ(e.Line(), "end\r\n");
  EXPECT_EQ(e.ExitCode(), 0);
}

TEST(EngineProgram, EndOfInputEndsCleanly) {
  Engine e;
  e.Send("D\r\nm\r\n");
  EXPECT_EQ(e.ExitCode(), 0);
}

TEST(EngineProgram, RepliesDriveTheDispatcherThroughAGame) {
  const testsupport::ScratchFolder scratch("dispatch");
  const std::string& dir = scratch.Path();
  struct Rec : GameListener {
    std::string ev;
    void OnNewGame() override { ev += "N"; }
    void OnSummary() override { ev += "S"; }
    void OnResult() override { ev += "R"; }
    void OnEnd() override { ev += "E"; }
  } rec;
  BridgeCore bridge(dir.c_str());
  bridge.Listeners().Attach(&rec);
  tavo::Game game(7);
  auto feed = [&](const std::string& reply, const std::string& summary) {
    FILE* f = fopen((dir + "/summary.txt").c_str(), "wb");
    fwrite(summary.data(), 1, summary.size(), f);
    fclose(f);
    bridge.AwaitReply();
    bridge.OnOutput(reply.data(), reply.size());
    EXPECT_FALSE(bridge.Busy());
  };
  bridge.GameStarts();
  std::string reply = game.NewGame();
  feed(reply, game.SummaryText());
  for (int i = 0; i < tavo::Game::kHandsPerGame; ++i) {
    reply = game.Play(tavo::Rock);
    feed(reply, game.SummaryText());
  }
  EXPECT_EQ(rec.ev, std::string(tavo::Game::kHandsPerGame, 'S') + "R");
  EXPECT_FALSE(bridge.GameRunning());
  // After the result reply INFO reads as its first line does.
  EXPECT_EQ(bridge.Listeners().Info(), 2);
}

TEST(EngineProgram, ASummaryThatCannotBeWrittenIsSaidInTheReply) {
  Engine e;
  ASSERT_TRUE(std::filesystem::create_directory(e.folder.Path() + "/summary.txt"));  // a folder in its place
  e.Send("D\r\n");
  EXPECT_EQ(e.Line().rfind("INFO:0", 0), 0u);
  EXPECT_EQ(e.Line(), "NO SUMMARY\r\n");
  std::string line = e.Line();
  while (line.rfind("NEXT HAND", 0) != 0 && line != "<eof>") line = e.Line();
  EXPECT_EQ(line, "NEXT HAND\r\n");
  std::filesystem::remove(e.folder.Path() + "/summary.txt");
  e.Send("m\r\n");  // written again: no such line
  for (line = e.Line(); line.rfind("NEXT HAND", 0) != 0 && line != "<eof>"; line = e.Line())
    EXPECT_NE(line, "NO SUMMARY\r\n");
}

TEST(Predictor, BeatsPatternedPlayers) {
  // Always rock: after a short warm-up the engine answers paper.
  tavo::Predictor p(1);
  int won = 0;
  for (int i = 0; i < 100; ++i) {
    const auto c = p.Choose();
    if (i >= 20) won += c.hand == tavo::Paper;
    p.Record(tavo::Rock, c.hand);
  }
  EXPECT_GE(won, 75);
}

TEST(Predictor, EachKindOfPlayerIsReadAndBeaten) {
  // A variant of each kind that the engine was tuned on, and one held out, play a fresh
  // engine; after the first hands the engine's share of the decided hands must
  // reach the row's least. The forecast reader sees what the summary would show.
  struct Row {
    const char* family;
    int hands, warmUp;
    double least;
  };
  const Row rows[] = {
      {"fixed patterns", 300, 50, 0.95},         {"reads the shown forecast", 300, 50, 0.95},
      {"history match", 600, 100, 0.65},         {"Markov ensemble", 600, 100, 0.6},
      {"multi-context matcher", 1000, 200, 0.7},  {"counter learner", 600, 100, 0.65},
      {"human-like", 600, 50, 0.75},             {"Iocaine-style meta", 1000, 0, 0.5},
      {"Greenberg-style meta", 1000, 0, 0.52},
  };
  for (const Row& row : rows) {
    const players::Family& family = players::FamilyNamed(row.family);
    for (const players::Variant& v : {family.tuned.front(), family.heldOut.front()}) {
      tavo::Predictor engine(17);
      auto player = v.make(23);
      tavo::Forecast shown{1.0 / 3, 1.0 / 3, 1.0 / 3};
      int won = 0, lost = 0;
      for (int i = 0; i < row.hands; ++i) {
        const auto c = engine.Choose();
        const tavo::Hand h = player->Next(shown);
        if (i >= row.warmUp) {
          won += tavo::Outcome(c.hand, h) > 0;
          lost += tavo::Outcome(c.hand, h) < 0;
        }
        engine.Record(h, c.hand);
        player->Saw(h, c.hand);
        shown = c.forecast;
      }
      EXPECT_GE(won, row.least * (won + lost)) << row.family << ": " << v.name << ", " << won << ":" << lost;
    }
  }
}

TEST(HistoryMatcher, FindsTheLongestAndThenTheLatestEarlierMatch) {
  tavo::HistoryMatcher m(3);
  EXPECT_EQ(m.Follower(), -1);
  // 0 1 2 0 1 0 2 2 0 1: the last three, "2 0 1", occurred at 2-4, followed by index 5;
  // "2 2 0 1" never before.
  for (int s : {0, 1, 2, 0, 1, 0, 2, 2, 0, 1}) m.Add(s);
  int length = 0;
  EXPECT_EQ(m.Follower(&length), 5);
  EXPECT_EQ(length, 3);
  // A symbol never seen before matches nothing.
  tavo::HistoryMatcher n(3);
  for (int s : {0, 0, 1, 0, 0, 2}) n.Add(s);
  EXPECT_EQ(n.Follower(&length), -1);
  EXPECT_EQ(length, 0);
  // Of equal matches the latest counts: "2 1" never occurred before, "1" at 1 (followed by
  // index 2) and at 3 (followed by index 4).
  tavo::HistoryMatcher k(3);
  for (int s : {0, 1, 0, 1, 2, 1}) k.Add(s);
  EXPECT_EQ(k.Follower(&length), 4);
  EXPECT_EQ(length, 1);
  // Within a horizon: "1" last occurred followed by index 4, two symbols back from the
  // end (6): a horizon of 1 leaves nothing, of 2 finds it.
  EXPECT_EQ(k.Follower(&length, 1), -1);
  EXPECT_EQ(k.Follower(&length, 2), 4);
  // Exactly one or two symbols: "1" is followed by index 4, "2 1" never occurred before.
  EXPECT_EQ(k.FollowerOfLength(1), 4);
  EXPECT_EQ(k.FollowerOfLength(2), -1);
  // Weighed by age, in 0 1 2 2 2 2 2 2 2 2 2 2 1 2: "1 2" is followed by index 3 (age 11
  // of 14), "2" last by index 12 (age 2). Slow forgetting takes the longer match, quick
  // forgetting the newer one.
  tavo::HistoryMatcher a(3);
  for (int s : {0, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 2}) a.Add(s);
  double weight = 0;
  EXPECT_EQ(a.RecentFollower(1000, &weight), 3);
  EXPECT_NEAR(weight, 2 / (1 + 11 / 1000.0), 1e-9);
  EXPECT_EQ(a.RecentFollower(1, &weight), 12);
  EXPECT_NEAR(weight, 1 / 3.0, 1e-9);
}

TEST(Predictor, SecondGuessesRotateTheAnswer) {
  using tavo::Predictor;
  const tavo::Forecast rock{0.6, 0.2, 0.2};
  // Rock expected: paper beats it; the player who expects paper plays scissors, which rock
  // beats; the player who expects that plays paper, which scissors beats.
  EXPECT_EQ(Predictor::CandidateHand(rock, 0, false), tavo::Paper);
  EXPECT_EQ(Predictor::CandidateHand(rock, 1, false), tavo::Rock);
  EXPECT_EQ(Predictor::CandidateHand(rock, 2, false), tavo::Scissors);
  // A model of our own hands: we are expected to play rock, so the player plays paper.
  EXPECT_EQ(Predictor::CandidateHand(rock, 0, true), tavo::Scissors);
}

TEST(Predictor, AScoringWindowForgets) {
  using tavo::Predictor;
  // Rock for 200 hands, then scissors for 12: the frequency predictor's plain answer
  // (paper) has done well for long and badly of late.
  Predictor p(3);
  for (int i = 0; i < 212; ++i) p.Record(i < 200 ? tavo::Rock : tavo::Scissors, p.Choose().hand);
  const int paperAgainstFrequency = (Predictor::kFrequency - 1) * Predictor::kRotations;
  EXPECT_LT(p.Mean(paperAgainstFrequency, 0), 0.0);                        // the short window forgot
  EXPECT_GT(p.Mean(paperAgainstFrequency, Predictor::kWindows - 1), 0.5);  // the long one not yet
  // And the engine has turned to scissors' answer.
  EXPECT_EQ(p.Choose().hand, tavo::Rock);
}

TEST(Predictor, RandomPlayTakesOverWhenEveryChoiceIsBeaten) {
  // A player with a copy of the engine (same seed, same hands) beats every hand the
  // engine chooses by a predictor, and plays at random when the engine does. Without the
  // hedge the engine would lose almost every hand.
  tavo::Predictor engine(5), mirror(5);
  tavo::Random rng(9);
  int won = 0, lost = 0, random = 0;
  for (int i = 0; i < 2000; ++i) {
    const auto c = engine.Choose();
    const auto m = mirror.Choose();
    ASSERT_EQ(c.hand, m.hand);
    const tavo::Hand player = m.pattern != 0 ? tavo::Beating(m.hand) : tavo::Hand(rng.Below(3));
    if (i >= 200) {
      const int o = tavo::Outcome(c.hand, player);
      won += o > 0;
      lost += o < 0;
      random += c.pattern == 0;
    }
    engine.Record(player, c.hand);
    mirror.Record(player, m.hand);
  }
  EXPECT_GT(random, 1800 / 2);
  EXPECT_GT(double(won) / (won + lost), 0.35);
}

TEST(Game, TheSummaryTellsTheHandJustPlayedNotTheNext) {
  // A twin predictor with the same seed makes the same choices: after each hand the
  // summary tells the choice of that hand, and at least once that is not the next one.
  tavo::Game g(4);
  tavo::Predictor twin(4);
  g.NewGame();
  auto field = [&](const char* key) {
    const std::string s = g.SummaryText();
    const size_t at = s.find(key);
    return at == std::string::npos ? std::string() : s.substr(at, s.find('\r', at) - at);
  };
  int differs = 0;
  for (int hand = 0; hand < tavo::Game::kHandsPerGame; ++hand) {
    const auto c = twin.Choose();
    g.Play(tavo::Rock);
    twin.Record(tavo::Rock, c.hand);
    char forecast[96];
    std::snprintf(forecast, sizeof forecast, "FORECAST: (%.4f, %.4f, %.4f)", c.forecast[0], c.forecast[1],
                  c.forecast[2]);
    EXPECT_EQ(field("PATTERN:"), "PATTERN: " + std::to_string(c.pattern)) << hand;
    EXPECT_EQ(field("FORECAST:"), forecast) << hand;
    const auto next = tavo::Predictor(twin).Choose();
    differs += next.pattern != c.pattern || next.forecast != c.forecast;
  }
  EXPECT_GT(differs, 0);
  // Always rock is soon expected: the last hand's forecast names rock the likeliest.
  const std::string f = field("FORECAST:");
  double rock = 0, scissors = 0, paper = 0;
  ASSERT_EQ(std::sscanf(f.c_str(), "FORECAST: (%lf, %lf, %lf)", &rock, &scissors, &paper), 3) << f;
  EXPECT_GT(rock, scissors);
  EXPECT_GT(rock, paper);
}
