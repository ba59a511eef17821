#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tavo/bridge/summary.h"
#include "tavo/bridge/text_io.h"
#include "tests/support/engine_pipe.h"

using namespace tavo::bridge;

namespace {

std::string TempFile(const std::string& content) {
  static const testsupport::ScratchFolder scratch("textio");
  static int counter = 0;
  const std::string name = scratch / std::to_string(counter++);
  std::ofstream(name, std::ios::binary) << content;
  return name;
}

std::vector<std::string> ReadAll(const std::string& name) {
  FileLineReader r(name.c_str());
  std::vector<std::string> lines;
  while (r.Next()) lines.push_back(r.Current());
  return lines;
}

}  // namespace

TEST(FileLineReader, EmptyFileLastLineAndEmptyLines) {
  EXPECT_TRUE(ReadAll(TempFile("")).empty());
  EXPECT_EQ(ReadAll(TempFile("a\n\nb")), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(ReadAll(TempFile("only\n")), (std::vector<std::string>{"only"}));
}

TEST(FileLineReader, LinesOf255AndLongerComeInPieces) {
  const std::string l255(255, 'x');
  EXPECT_EQ(ReadAll(TempFile(l255 + "\nnext\n")), (std::vector<std::string>{l255, "", "next"}));
  const std::string l600(600, 'y');
  const auto pieces = ReadAll(TempFile(l600 + "\n"));
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].size(), 255u);
  EXPECT_EQ(pieces[1].size(), 255u);
  EXPECT_EQ(pieces[2].size(), 90u);
}

TEST(FileLineReader, UnopenableFileRaisesFileNotOpen) {
  EXPECT_THROW(FileLineReader("/nonexistent/dir/file.txt"), IO::FileNotOpenException);
  try {
    FileLineReader r("/nonexistent/x");
  } catch (const IO::Exception&) {
    SUCCEED();
    return;
  }
  FAIL();
}

TEST(StreamLineReader, ReadErrorEndsTheReading) {
  // A stream opened for writing only: every read fails, and Next must return false
  // instead of looping.
  const std::string name = TempFile("data\n");
  FILE* f = std::fopen(name.c_str(), "a");
  ASSERT_NE(f, nullptr);
  StreamLineReader r(f);
  EXPECT_FALSE(r.Next());
  EXPECT_FALSE(r.Next());
  std::fclose(f);
}

TEST(TextFileWriter, WritesLinesAndTruncates) {
  const std::string name = TempFile("old content that must go\n");
  {
    TextFileWriter w(name.c_str());
    w.WriteLine("one");
    w.WriteLine("");
    w.WriteLine("two\r");
  }
  std::ifstream in(name, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "one\n\ntwo\r\n");
  EXPECT_THROW(TextFileWriter("/nonexistent/dir/x.txt"), IO::FileNotOpenException);
}

// ---- the summary parser ----

namespace {
SummaryRecord ParseText(const std::string& text, SummaryRecord start = {}) {
  SummaryReader reader(&start);
  EXPECT_TRUE(reader.Read(TempFile(text).c_str()));
  return start;
}
}  // namespace

TEST(SummaryReader, TheDocumentedExamples) {
  const SummaryRecord r = ParseText(
      "INFO: 1\nPOINT: (3:2)\nHANDS: 10:7\nFORECAST: (0.5, 0.25, 0.25)\nNEXT HAND: 2\nPATTERN: 4\nDATA: -7\n");
  EXPECT_EQ(r.info, 1);
  EXPECT_EQ(r.point[0], 3);
  EXPECT_EQ(r.point[1], 2);
  EXPECT_EQ(r.hands[0], 10);
  EXPECT_EQ(r.hands[1], 7);
  EXPECT_DOUBLE_EQ(r.forecast[0], 0.5);
  EXPECT_DOUBLE_EQ(r.forecast[1], 0.25);
  EXPECT_DOUBLE_EQ(r.forecast[2], 0.25);
  EXPECT_EQ(r.nextHand, 2);
  EXPECT_EQ(r.pattern, 4);
  EXPECT_EQ(r.data, -7);
}

TEST(SummaryReader, PartialFilesKeepEarlierValuesAndLastRepeatWins) {
  SummaryRecord r = ParseText("INFO: 1\nPOINT: (3:2)\n");
  r = ParseText("POINT: (5:4)\nPOINT: (6:1)\n", r);
  EXPECT_EQ(r.info, 1);
  EXPECT_EQ(r.point[0], 6);
  EXPECT_EQ(r.point[1], 1);
}

TEST(SummaryReader, SkippedLinesAndPrefixKeys) {
  const SummaryRecord r = ParseText(" INFO: 5\n#INFO: 6\n\nUNKNOWN: 9\nINFOX: 7\nDATABASE: 3\nINFO 8\n");
  EXPECT_EQ(r.info, 7);  // "INFOX" begins with INFO; "INFO 8" has no colon
  EXPECT_EQ(r.data, 3);
}

TEST(SummaryReader, SpacesAroundSeparatorsAndTextAfterParenthesis) {
  const SummaryRecord r = ParseText("POINT:   ( 12 :  34 ) trailing\nFORECAST: 0.1 ,   0.2,0.7) x\nHANDS: (4:5\n");
  EXPECT_EQ(r.point[0], 12);
  EXPECT_EQ(r.point[1], 34);
  EXPECT_DOUBLE_EQ(r.forecast[0], 0.1);
  EXPECT_DOUBLE_EQ(r.forecast[1], 0.2);
  EXPECT_DOUBLE_EQ(r.forecast[2], 0.7);
  EXPECT_EQ(r.hands[0], 4);
  EXPECT_EQ(r.hands[1], 5);
}

TEST(SummaryReader, MalformedValuesLeaveTheFieldUnchanged) {
  SummaryRecord start;
  start.info = 11;
  start.point[0] = 1;
  start.point[1] = 2;
  start.forecast[2] = 9.5;
  start.hands[1] = 3;
  const SummaryRecord r =
      ParseText("INFO:\nINFO:    \nPOINT: (5)\nPOINT: ()\nFORECAST: (1,2)\nHANDS: 7:\nDATA\n:\nNEXT HAND:abc\n", start);
  EXPECT_EQ(r.info, 11);
  EXPECT_EQ(r.point[0], 1);
  EXPECT_EQ(r.point[1], 2);
  EXPECT_DOUBLE_EQ(r.forecast[2], 9.5);
  EXPECT_EQ(r.hands[1], 3);
  EXPECT_EQ(r.nextHand, 0);  // "abc" has text: atoi reads 0
}

TEST(SummaryReader, UnopenableFileIsFalseAndKeepsTheRecord) {
  SummaryRecord r;
  r.info = 4;
  SummaryReader reader(&r);
  EXPECT_FALSE(reader.Read("/nonexistent/summary.txt"));
  EXPECT_EQ(r.info, 4);
}

TEST(SummaryReader, CarriageReturnsAndLongLines) {
  const SummaryRecord r = ParseText("INFO: 2\r\nPOINT: (1:2)\r\n" + std::string(300, 'Z') + "\r\nDATA: 5\r\n");
  EXPECT_EQ(r.info, 2);
  EXPECT_EQ(r.point[1], 2);
  EXPECT_EQ(r.data, 5);
}

TEST(SummaryReader, AFileThatGoesOnIsReadOnlyToItsLimit) {
  // Noise without line feeds, NULs included, then a value far past the limit.
  std::string noise;
  for (int i = 0; i < 300 * SummaryReader::kMaxPieces; ++i) noise += char(i % 7 == 0 ? '\0' : 'a' + i % 26);
  SummaryRecord r;
  SummaryReader reader(&r);
  ASSERT_TRUE(reader.Read(TempFile("INFO: 1\n" + noise + "\nINFO: 2\n").c_str()));
  EXPECT_EQ(r.info, 1);
  // Within the limit every line counts.
  const std::string filler(SummaryReader::kMaxPieces - 2, '\n');
  ASSERT_TRUE(reader.Read(TempFile("INFO: 1\n" + filler + "INFO: 0\n").c_str()));
  EXPECT_EQ(r.info, 0);
}
