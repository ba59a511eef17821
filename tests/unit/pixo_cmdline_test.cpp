#include <gtest/gtest.h>

#include "pixo/base/errors.h"
#include "pixo/base/stream.h"
#include "pixo/capture/cmdline.h"

using namespace pixo;

namespace {
RunOptions Parse(const std::wstring& line) {
  auto items = SplitCommandLine(line);
  items.erase(items.begin());
  return ParseArguments(items);
}
}  // namespace

TEST(SplitCommandLine, BlanksQuotesAndTheProgramItem) {
  auto items = SplitCommandLine(L"\"C:\\Program Files\\pixo.exe\"  /A   \"my file.bmp\" x\"y z\"w");
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0], L"C:\\Program Files\\pixo.exe");
  EXPECT_EQ(items[1], L"/A");
  EXPECT_EQ(items[2], L"my file.bmp");
  EXPECT_EQ(items[3], L"xy zw");
}

TEST(SplitCommandLine, ControlCharactersSeparateAndAnOpenQuoteRunsToTheEnd) {
  auto items = SplitCommandLine(L"pixo\t/J\r\n\"open quote name");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[1], L"/J");
  EXPECT_EQ(items[2], L"open quote name");
}

TEST(SplitCommandLine, PairOfQuotesAtTheStartIsSkippedAndCountingStopsAtAnEmptyItem) {
  auto items = SplitCommandLine(L"pixo \"\" name.bmp");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1], L"name.bmp");
  EXPECT_EQ(SplitCommandLine(L"pixo").size(), 1u);
  EXPECT_EQ(SplitCommandLine(L"pixo    ").size(), 1u);
  EXPECT_EQ(SplitCommandLine(L"").size(), 1u);
  // """" is two skipped pairs, then the line ends: no argument.
  EXPECT_EQ(SplitCommandLine(L"pixo \"\"\"\"").size(), 1u);
}

TEST(ParseArguments, CaseTwoNamesAndNameCaseKept) {
  RunOptions o = Parse(L"pixo /j /jq50 Shot.JPG");
  EXPECT_TRUE(o.jpeg);
  EXPECT_EQ(o.jpegQuality, 50);
  EXPECT_EQ(o.outputName, L"Shot.JPG");
  o = Parse(L"pixo first.bmp /A Second.bmp");
  EXPECT_EQ(o.target, Target::Foreground);
  EXPECT_EQ(o.outputName, L"Second.bmp");
}

TEST(ParseArguments, OnlyWholeArgumentsAreSwitches) {
  RunOptions o = Parse(L"pixo /JQ75 -A /A1 name.bmp");
  EXPECT_EQ(o.jpegQuality, 0);
  EXPECT_EQ(o.target, Target::Screen);
  EXPECT_EQ(o.outputName, L"name.bmp");
  o = Parse(L"pixo name.bmp /JQ75");
  EXPECT_EQ(o.outputName, L"/JQ75");
}

TEST(ParseArguments, PrecedenceOfFormatsAndPrintModes) {
  EXPECT_EQ(Parse(L"pixo /N /J x").OutputFormat(), RunOptions::Format::Jpeg);
  EXPECT_EQ(Parse(L"pixo /GF /N x").OutputFormat(), RunOptions::Format::Png);
  EXPECT_EQ(Parse(L"pixo /GF x").OutputFormat(), RunOptions::Format::Gif);
  EXPECT_EQ(Parse(L"pixo x").OutputFormat(), RunOptions::Format::Bmp);
  EXPECT_EQ(Parse(L"pixo /F /G /D /P x").Mode(), PrintMode::BlackWhite);
  EXPECT_EQ(Parse(L"pixo /F /G /P x").Mode(), PrintMode::Gray);
  EXPECT_EQ(Parse(L"pixo /F /P x").Mode(), PrintMode::FullColor);
  EXPECT_EQ(Parse(L"pixo /P x").Mode(), PrintMode::Plain);
  EXPECT_EQ(Parse(L"pixo /JQ60 /JQ90 /J x").jpegQuality, 90);  // the last quality counts
}

TEST(ParseArguments, UpperCasingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(UpperAscii(L"/jq100 \u00e9\u3042"), L"/JQ100 \u00e9\u3042");
  RunOptions o = Parse(L"pixo /s /gf /p /d /g /f /n /a");
  EXPECT_TRUE(o.jiggle && o.gif && o.print && o.blackWhite && o.gray && o.fullColor && o.png);
  EXPECT_EQ(o.target, Target::Foreground);
}

TEST(ParseArguments, TargetsWithValuesAndTheLastTargetCounts) {
  RunOptions o = Parse(L"pixo /m:2 shot.png");
  EXPECT_EQ(o.target, Target::Monitor);
  EXPECT_EQ(o.monitor, 2);
  o = Parse(L"pixo /R:-10,20,300,40 /v shot.png");
  EXPECT_EQ(o.target, Target::VirtualScreen);
  EXPECT_EQ(o.rect.left, -10);
  EXPECT_EQ(o.rect.bottom, 60);
  o = Parse(L"pixo /A \"/t:Report \u5831\u544a - Draft\" shot.png");
  EXPECT_EQ(o.target, Target::Title);
  EXPECT_EQ(o.title, L"Report \u5831\u544a - Draft");  // as typed, only the switch is compared in upper case
  o = Parse(L"pixo /Q /L /CB /C /V");
  EXPECT_TRUE(o.quiet && o.list && o.clipboard && o.cursor);
  EXPECT_TRUE(o.outputName.empty());
  EXPECT_TRUE(o.badSwitch.empty());
  // Windows by handle and by program, their own pixels, the client area, a delay.
  o = Parse(L"pixo /h:0x1A2b /W /ca /DL:1.25 w.png");
  EXPECT_EQ(o.target, Target::Handle);
  EXPECT_EQ(o.handle, 0x1a2bu);
  EXPECT_EQ(Parse(L"pixo /H:0xFFFFFFFF80020072 x").handle, 0xFFFFFFFF80020072u);  // sign-extended
  EXPECT_TRUE(o.ownPixels && o.clientArea);
  EXPECT_EQ(o.delayMs, 1250);
  o = Parse(L"pixo /H:65580 /pr:Notepad.EXE /DL:3 /LW");
  EXPECT_EQ(o.target, Target::Program);
  EXPECT_EQ(o.handle, 65580u);
  EXPECT_EQ(o.program, L"Notepad.EXE");
  EXPECT_EQ(o.delayMs, 3000);
  EXPECT_TRUE(o.listWindows && o.outputName.empty() && o.badSwitch.empty());
  o = Parse(L"pixo /sr:3,1.5 /fn /nc shot_%n.png");
  EXPECT_EQ(o.shots, 3);
  EXPECT_EQ(o.intervalMs, 1500);
  EXPECT_TRUE(o.namePattern && o.keepExisting);
  EXPECT_EQ(o.outputName, L"shot_%n.png");
}

TEST(ParseArguments, BadValuesAreKeptForTheErrorAndNeverTakenAsNames) {
  for (const wchar_t* line :
       {L"pixo /R:1,2,3 x.bmp", L"pixo /R:1,2,-3,4 x.bmp", L"pixo /R:a,b,c,d x.bmp", L"pixo /R:1,2,3,4,5 x.bmp",
        L"pixo /R:1,2,0,4 x.bmp", L"pixo /R:1,,3,4 x.bmp", L"pixo /R:9999999999,0,1,1 x.bmp", L"pixo /M:0 x.bmp",
        L"pixo /M:x x.bmp", L"pixo /M: x.bmp", L"pixo /T: x.bmp", L"pixo /H:0 x.bmp", L"pixo /H:0x x.bmp",
        L"pixo /H:12g x.bmp", L"pixo /H:0x12345678901234567 x.bmp", L"pixo /PR: x.bmp",
        L"pixo /H:0x100020072 x.bmp", L"pixo /H:0xFFFFFFFF00020072 x.bmp", L"pixo /H:4295098482 x.bmp"}) {
    const RunOptions o = Parse(line);
    EXPECT_FALSE(o.badSwitch.empty()) << ToUtf8(line);
    EXPECT_EQ(o.outputName, L"x.bmp") << ToUtf8(line);
    EXPECT_EQ(o.target, Target::Screen) << ToUtf8(line);
  }
  for (const wchar_t* delay : {L"/DL:", L"/DL:-1", L"/DL:1.", L"/DL:.5", L"/DL:0.1234", L"/DL:86400.001", L"/DL:1e3",
                               L"/SR:3", L"/SR:0,1", L"/SR:10000,1", L"/SR:2,", L"/SR:,1", L"/SR:2,x"})
    EXPECT_EQ(Parse(std::wstring(L"pixo ") + delay + L" x").badSwitch, delay);
  EXPECT_EQ(Parse(L"pixo /DL:86400 x").delayMs, 86400000);
  EXPECT_EQ(Parse(L"pixo /M:0 /R:1 x").badSwitch, L"/M:0");  // the first one is reported
  EXPECT_EQ(Parse(L"pixo /M x").outputName, L"x");           // without ":" not a value switch
  EXPECT_EQ(Parse(L"pixo /M").outputName, L"/M");
}

TEST(ParseArguments, RectanglesAndExitCodes) {
  ScreenRect r{};
  ASSERT_TRUE(ParseRect(L"-100,-5,100,5", r));
  EXPECT_EQ(r.left, -100);
  EXPECT_EQ(r.top, -5);
  EXPECT_EQ(r.right, 0);
  EXPECT_EQ(r.bottom, 0);
  ASSERT_TRUE(ParseRect(L"999999999,999999999,999999999,999999999", r));
  EXPECT_EQ(r.right, 1999999998);
  EXPECT_FALSE(ParseRect(L"1,2,3,4,", r));
  EXPECT_FALSE(ParseRect(L" 1,2,3,4", r));
  EXPECT_FALSE(ParseRect(L"-,2,3,4", r));
}

TEST(Windows, ListedWithTheHandleInHexAndTheTitleLast) {
  EXPECT_EQ(WindowLine({0x1005e, 1936, L"patternwin.exe", {-150, 450, 250, 650}, L"own  offscreen"}),
            L"0x0001005E 1936 patternwin.exe -150,450,400,200 own  offscreen");
  EXPECT_EQ(WindowLine({0x123456789abull, 4, L"?", {0, 0, 1, 1}, L""}), L"0x123456789AB 4 ? 0,0,1,1 ");
}

TEST(Monitors, NumberedPrimaryFirstThenLeftToRightAndListed) {
  const std::vector<MonitorArea> ordered = OrderMonitors({{{1440, 0, 2000, 400}, false, L"\\\\.\\DISPLAY3", 96},
                                                          {{-800, 100, 0, 700}, false, L"\\\\.\\DISPLAY2", 120},
                                                          {{0, 0, 640, 480}, true, L"\\\\.\\DISPLAY1", 96},
                                                          {{-800, -500, 0, 100}, false, L"\\\\.\\DISPLAY4", 96}});
  ASSERT_EQ(ordered.size(), 4u);
  EXPECT_EQ(ordered[0].device, L"\\\\.\\DISPLAY1");
  EXPECT_EQ(ordered[1].device, L"\\\\.\\DISPLAY4");
  EXPECT_EQ(ordered[2].device, L"\\\\.\\DISPLAY2");
  EXPECT_EQ(ordered[3].device, L"\\\\.\\DISPLAY3");
  EXPECT_EQ(MonitorLine(3, ordered[2]), L"3 \\\\.\\DISPLAY2 -800,100,800,600 - 120");
  EXPECT_EQ(MonitorLine(1, ordered[0]), L"1 \\\\.\\DISPLAY1 0,0,640,480 primary 96");
  EXPECT_TRUE(IsEmpty(Intersect({0, 0, 10, 10}, {10, 0, 20, 10})));
  const ScreenRect part = Intersect({-10, -20, 90, 80}, {0, 0, 1024, 768});
  EXPECT_EQ(part.left, 0);
  EXPECT_EQ(part.bottom, 80);
}

TEST(CursorRandom, LinearCongruentialSequence) {
  CursorRandom r(0);
  // seed 0 -> 1; 1 * 100 >> 32 = 0
  EXPECT_EQ(r.Next(100), 0u);
  EXPECT_EQ(r.Seed(), 1u);
  // 1 * 134775813 + 1 = 134775814; 134775814 * 600 >> 32 = 18
  EXPECT_EQ(r.Next(600), 18u);
  EXPECT_EQ(r.Seed(), 134775814u);
  CursorRandom big(0xFFFFFFFFu);
  const uint32_t expectedSeed = 0xFFFFFFFFu * 134775813u + 1u;
  EXPECT_EQ(big.Next(600), uint32_t((uint64_t(expectedSeed) * 600) >> 32));
  for (int i = 0; i < 1000; ++i) EXPECT_LT(big.Next(600), 600u);
  EXPECT_EQ(CursorSeed(23, 59, 59, 999), 86399999u);
}

TEST(ErrorBox, TextFormatAndFinalPeriod) {
  EXPECT_EQ(ErrorBoxText("EFCreateError", "pixo.exe", 0x1A2B, "ﾌｧｲﾙ x を作成できません"),
            "EFCreateErrorがﾓｼﾞｭｰﾙ pixo.exe の 00001A2B で発生しました。\nﾌｧｲﾙ x を作成できません.");
  EXPECT_EQ(ErrorBoxText("EPngError", "pixo.exe", 0, "done."),
            "EPngErrorがﾓｼﾞｭｰﾙ pixo.exe の 00000000 で発生しました。\ndone.");
  // A module offset is never cut to 32 bits (the same code serves 64-bit builds).
  EXPECT_EQ(ErrorBoxText("EPrinter", "pixo.exe", uintptr_t(0x7FFFFFFF) + 0x1234, "x"),
            "EPrinterがﾓｼﾞｭｰﾙ pixo.exe の 80001233 で発生しました。\nx.");
  if (sizeof(uintptr_t) == 8) {
    EXPECT_EQ(ErrorBoxText("E", "m", uintptr_t(uint64_t(0x123456789)), "x"),
              "Eがﾓｼﾞｭｰﾙ m の 123456789 で発生しました。\nx.");
  }
  EXPECT_EQ(FormatOne(msg::kJpegError, "42"), "JPEG ｴﾗｰ #42");
}

TEST(CheckedArithmetic, OverflowRaisesIntOverflow) {
  EXPECT_EQ(CheckedMul(46340, 46340), 2147395600);
  try {
    CheckedMul(65536, 65536);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.ClassName(), "EIntOverflow");
    EXPECT_EQ(e.Message(), "整数のｵｰﾊﾞｰﾌﾛｰ");
  }
  EXPECT_THROW(CheckedAdd(2147483647, 1), Error);
}
