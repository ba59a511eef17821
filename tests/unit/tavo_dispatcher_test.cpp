#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tavo/bridge/bridge_core.h"
#include "tests/support/engine_pipe.h"

using namespace tavo::bridge;

namespace {

struct Recorder : GameListener {
  std::string events;
  void OnNewGame() override { events += "N"; }
  void OnSummary() override { events += "S"; }
  void OnResult() override { events += "R"; }
  void OnEnd() override { events += "E"; }
};

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    bridge_ = std::make_unique<BridgeCore>(dir_.c_str());
    bridge_->Listeners().Attach(&rec_);
  }
  void WriteSummary(const std::string& text) { std::ofstream(dir_ + "/summary.txt") << text; }
  // Sends a command's worth of chunks with the flags set as the host would.
  void Reply(std::initializer_list<const char*> chunks, bool game = true) {
    if (game) bridge_->GameStarts();
    bridge_->AwaitReply();
    for (const char* c : chunks) Out(c);
  }
  void Out(const std::string& chunk) { bridge_->OnOutput(chunk.data(), chunk.size()); }
  std::string Kekka() { return ReadFile(dir_ + "/kekka.txt"); }

  testsupport::ScratchFolder scratch_{"dispatch"};
  const std::string dir_ = scratch_.Path();
  Recorder rec_;
  std::unique_ptr<BridgeCore> bridge_;
};

// The lines that the reads give, in order.
std::vector<std::string> Lines(std::initializer_list<std::string> reads) {
  LineAssembler assembler;
  std::vector<std::string> out;
  for (const std::string& r : reads) {
    assembler.Feed(r.data(), r.size(), [&](const char* line) {
      out.push_back(line);
      return true;
    });
  }
  return out;
}

}  // namespace

TEST(LineAssemblerTest, LinesEndAtLineFeedsWhereverTheReadsCut) {
  EXPECT_EQ(Lines({"a\r\nb\r\n"}), (std::vector<std::string>{"a\r", "b\r"}));
  EXPECT_EQ(Lines({"NEXT HA", "ND\r\n"}), (std::vector<std::string>{"NEXT HAND\r"}));
  EXPECT_EQ(Lines({"\n\nfirst\n", "", "\nla", "s", "t"}), (std::vector<std::string>{
                                                              "",
                                                              "",
                                                              "first",
                                                              "",
                                                          }));
  EXPECT_EQ(Lines({"x\r", "\n", "y"}), (std::vector<std::string>{"x\r"}));
}

TEST(LineAssemblerTest, AnEndlessLineComesInPiecesOfBoundedSize) {
  const std::string noise(LineAssembler::kMaxLine * 2 + 10, 'z');
  const auto lines = Lines({noise.substr(0, 5000), noise.substr(5000), "\nNEXT HAND\r\n"});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].size(), LineAssembler::kMaxLine);
  EXPECT_EQ(lines[1].size(), LineAssembler::kMaxLine);
  EXPECT_EQ(lines[2], "zzzzzzzzzz");
  EXPECT_EQ(lines[3], "NEXT HAND\r");
}

TEST(LineAssemblerTest, TakeCanDropTheRestOfARead) {
  LineAssembler assembler;
  std::vector<std::string> seen;
  auto take = [&](const char* line) {
    seen.push_back(line);
    return std::string(line) != "stop";
  };
  const std::string read = "one\nstop\ntwo\nunfini";
  assembler.Feed(read.data(), read.size(), take);
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "stop"}));
  EXPECT_EQ(assembler.Unfinished(), "");
  assembler.Feed("shed\n", 5, take);
  EXPECT_EQ(seen.back(), "shed");
}

TEST_F(DispatcherTest, ReplyInOneChunkReadsTheSummary) {
  WriteSummary("INFO: 1\nPOINT: (1:0)\n");
  Reply({"INFO:1\r\nHAND 1\r\nNEXT HAND\r\n"});
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_EQ(rec_.events, "S");
  EXPECT_EQ(bridge_->Listeners().Info(), 1);
  EXPECT_EQ(ReadFile(dir_ + "/log.txt"), "INFO:1\r\nHAND 1\r\nNEXT HAND\r\n\n");
}

TEST_F(DispatcherTest, NextHandInALaterChunkKeepsBusy) {
  WriteSummary("INFO: 0\n");
  Reply({"INFO:0\r\nsome", " line\r\n"});
  EXPECT_TRUE(bridge_->Busy());
  EXPECT_EQ(rec_.events, "");
  Out("");  // an empty chunk changes nothing
  EXPECT_TRUE(bridge_->Busy());
  Out("NEXT HAND\r\n");
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_EQ(rec_.events, "S");
}

TEST_F(DispatcherTest, EveryReplyIsRecognisedWhereverTheReadsCutIt) {
  WriteSummary("INFO: 1\n");
  const std::string hand = "INFO:1\r\nHAND 3: player rock, engine scissors, player wins\r\nNEXT HAND\r\n";
  const std::string result =
      "INFO:2\r\n# look-n-2 result of game 1\r\n1   rock paper engine\r\ntotal 0:1\r\nplayer 0 engine 1\r\n";
  for (size_t cut = 0; cut <= hand.size(); ++cut) {
    Reply({hand.substr(0, cut).c_str(), hand.substr(cut).c_str()});
    ASSERT_FALSE(bridge_->Busy()) << "hand reply cut at " << cut;
  }
  EXPECT_EQ(rec_.events, std::string(hand.size() + 1, 'S'));
  for (size_t cut = 0; cut <= result.size(); ++cut) {
    Reply({result.substr(0, cut).c_str(), result.substr(cut).c_str()});
    ASSERT_FALSE(bridge_->Busy()) << "result reply cut at " << cut;
    ASSERT_FALSE(bridge_->GameRunning());
    ASSERT_EQ(Kekka(), "1   rock paper engine\r\ntotal 0:1\r\n");
  }
  // One byte a read.
  Reply({});
  for (char c : hand) Out(std::string(1, c));
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_FALSE(bridge_->ReplyPending());
}

TEST_F(DispatcherTest, AResultWithoutItsClosingLineGivesWayToTheNextReply) {
  WriteSummary("INFO: 0\n");
  Reply({"INFO:2\r\n# look-n-2 result of game 1\r\n1 rock paper engine\r\n"});
  EXPECT_TRUE(bridge_->Busy());
  // The next game's first reply: the result is given up, the new reply handled.
  Reply({"INFO:0\r\nGAME 2 START\r\n# look-n-2 not a table\r\nNEXT HAND\r\n"});
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_EQ(rec_.events, "S");
  EXPECT_EQ(Kekka(), "1 rock paper engine\r\n");
  EXPECT_TRUE(bridge_->GameRunning());
  // "end" also begins a reply of its own.
  Reply({"INFO:1\r\nHAND 1\r\n"});
  Reply({"end\r\n"});
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_FALSE(bridge_->ReplyPending());
}

TEST_F(DispatcherTest, AGivenUpResultIsClosedEndsTheGameAndLeavesKekkaAlone) {
  Reply({"INFO:2\r\n# look-n-2 result of game 1\r\n1 rock paper engine\r\n"});
  bridge_->AbandonReply();
  EXPECT_FALSE(bridge_->ReplyPending());
  EXPECT_FALSE(bridge_->GameRunning());
  EXPECT_EQ(Kekka(), "1 rock paper engine\r\n");
  // Stray lines after the give-up start nothing and are not written anywhere.
  Reply({"2 paper rock player\r\nplayer 1 engine 1\r\n"}, false);
  EXPECT_EQ(Kekka(), "1 rock paper engine\r\n");
  EXPECT_EQ(rec_.events, "");
  // A hand reply given up leaves the game running.
  WriteSummary("INFO: 1\n");
  Reply({"INFO:0\r\nHAND 1\r\nNEXT"});
  bridge_->AbandonReply();
  EXPECT_TRUE(bridge_->GameRunning());
  Reply({" HAND\r\nINFO:1\r\nNEXT HAND\r\n"});  // the old reply's cut line is forgotten
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_EQ(rec_.events, "S");
}

TEST_F(DispatcherTest, LinesAfterNextHandAreDroppedAndBannersIgnored) {
  WriteSummary("INFO: 1\n");
  Reply({"engine v1 ready\r\nplayer banner\r\nINFO:1\r\nNEXT HAND\r\nINFO:2\r\n# look-n-2 xx\r\n"});
  EXPECT_EQ(rec_.events, "S");
  EXPECT_TRUE(bridge_->GameRunning());  // the INFO:2 after NEXT HAND was not looked at
  // A following command starts cleanly.
  Reply({"INFO:0\r\nNEXT HAND\r\n"});
  EXPECT_EQ(rec_.events, "SS");
}

TEST_F(DispatcherTest, ResultTableGoesToKekka) {
  Reply({"INFO:2\r\nplayer early\r\nHAND 10\r\n# look-n-2 result\r\n1 rock paper engine\r\n\n2 paper rock player\r\n"});
  EXPECT_TRUE(bridge_->Busy());
  EXPECT_TRUE(bridge_->GameRunning());
  Out("total 1:1\r\nplayer 1 engine 1\r\nafter\r\n");
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_FALSE(bridge_->GameRunning());
  EXPECT_EQ(rec_.events, "R");
  EXPECT_EQ(Kekka(), "1 rock paper engine\r\n2 paper rock player\r\ntotal 1:1\r\n");
}

TEST_F(DispatcherTest, SecondHeaderTruncatesAndEmptyTable) {
  Reply({"INFO:2\r\n# atodasi one\r\nold line\r\n# atodasi two\r\nnew line\r\nplayer end\r\n"});
  EXPECT_EQ(Kekka(), "new line\r\n");
  Reply({"INFO:2\r\n##look-n-2 table\r\nplayer\r\n"});
  EXPECT_EQ(Kekka(), "");
  EXPECT_EQ(rec_.events, "RR");
}

TEST_F(DispatcherTest, ShortHeaderIsNotAHeader) {
  Reply({"INFO:2\r\n# atodasi\r\nplayer x\r\n"});  // 10 characters: not longer than 10
  EXPECT_TRUE(bridge_->Busy());
  EXPECT_FALSE(std::ifstream(dir_ + "/kekka.txt").good());
}

TEST_F(DispatcherTest, KekkaThatCannotBeCreatedStillCompletes) {
  ASSERT_TRUE(std::filesystem::create_directories(dir_ + "/kekka.txt"));  // a folder in its place
  Reply({"INFO:2\r\n# look-n-2 result\r\n1 x\r\nplayer 0\r\n"});
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_FALSE(bridge_->GameRunning());
  EXPECT_EQ(rec_.events, "R");
}

TEST_F(DispatcherTest, UnrecognisedTextWithAndWithoutAGame) {
  Reply({"garbage\r\n"}, false);
  EXPECT_FALSE(bridge_->Busy());
  Reply({"garbage\r\n"}, true);
  EXPECT_TRUE(bridge_->Busy());
  Reply({"end\r\n"}, true);
  EXPECT_FALSE(bridge_->Busy());
}

TEST_F(DispatcherTest, MissingSummaryCompletesWithoutEvent) {
  Reply({"INFO:1\r\nNEXT HAND\r\n"});
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_EQ(rec_.events, "");
}

TEST_F(DispatcherTest, AReplyWhoseSummaryWasNotWrittenKeepsTheLastGoodOne) {
  WriteSummary("INFO: 1\n");
  Reply({"INFO:1\r\nNEXT HAND\r\n"});
  WriteSummary("INFO: 7\n");  // another program's file, not this reply's
  Reply({"INFO:0\r\nNO SUMMARY\r\nHAND 2\r\nNEXT HAND\r\n"});
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_EQ(rec_.events, "S");
  EXPECT_EQ(bridge_->Listeners().Info(), 1);
  Reply({"INFO:0\r\nNEXT HAND\r\n"});  // written again
  EXPECT_EQ(rec_.events, "SS");
  EXPECT_EQ(bridge_->Listeners().Info(), 7);
}

TEST_F(DispatcherTest, AfterTheResultInfoReadsTwo) {
  WriteSummary("INFO: 1\n");
  Reply({"INFO:1\r\nNEXT HAND\r\n"});
  Reply({"INFO:2\r\nNO SUMMARY\r\n# look-n-2 result\r\n1 x\r\nplayer 0\r\n"});
  EXPECT_EQ(rec_.events, "SR");
  EXPECT_EQ(bridge_->Listeners().Info(), 2);
}

TEST_F(DispatcherTest, NoListenerStillReadsTheSummary) {
  bridge_->Listeners().Detach(&rec_);
  WriteSummary("INFO: 70000\n");
  Reply({"INFO:1\r\nNEXT HAND\r\n"});
  EXPECT_EQ(bridge_->Listeners().Info(), 70000);
  EXPECT_EQ(rec_.events, "");
}

TEST_F(DispatcherTest, ALineLongerThanARead) {
  const std::string big = "INFO:0\r\n" + std::string(4087, 'x');
  WriteSummary("INFO: 0\n");
  Reply({big.c_str()});
  EXPECT_TRUE(bridge_->Busy());
  Out(std::string(5000, 'y') + "NEXT HAND\r\n");  // still the long line
  EXPECT_TRUE(bridge_->Busy());
  Out("\r\nNEXT HAND\r\n");
  EXPECT_FALSE(bridge_->Busy());
  EXPECT_EQ(rec_.events, "S");
}

TEST(ListenerListTest, OrderDetachAndMissing) {
  ListenerList list;
  Recorder a, b, c;
  list.Attach(&a);
  list.Attach(&b);
  list.Attach(&c);
  list.Detach(&b);
  list.Detach(&b);
  list.NewGame();
  list.Ended();
  EXPECT_EQ(a.events, "NE");
  EXPECT_EQ(b.events, "");
  EXPECT_EQ(c.events, "NE");
  EXPECT_EQ(list.Count(), 2u);
}

TEST(ListenerListTest, ConcurrentAttachDetachAndWalks) {
  ListenerList list;
  std::atomic<bool> stop{false};
  std::atomic<int> calls{0};
  struct Counter : GameListener {
    std::atomic<int>* calls;
    void OnNewGame() override { ++*calls; }
    void OnSummary() override {}
    void OnResult() override { ++*calls; }
    void OnEnd() override {}
  };
  std::thread walker([&] {
    while (!stop) {
      list.ResultReady("x");
      list.NewGame();
    }
  });
  std::vector<Counter> counters(50);
  for (auto& c : counters) c.calls = &calls;
  for (int round = 0; round < 200; ++round) {
    for (auto& c : counters) list.Attach(&c);
    for (auto& c : counters) list.Detach(&c);
  }
  stop = true;
  walker.join();
  EXPECT_EQ(list.Count(), 0u);
}
