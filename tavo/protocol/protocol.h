// What both ends of the engine's pipe share: the command letters, the words that begin and
// end a reply, the result table's words, the summary's keys and the record files' names.
// The engine writes them; the bridge, the summary reader and the control read them. Header
// only. The tests spell the protocol out in literals of their own, so that they check it
// independently of this file.
#pragma once
#include <cstring>

namespace tavo::protocol {

// Commands: one letter each, then kLineEnd.
inline constexpr char kNewGame = 'D';
inline constexpr char kRock = 'm';
inline constexpr char kScissors = 'n';
inline constexpr char kPaper = 'b';
inline constexpr char kQuit = 'Q';
inline constexpr const char* kLineEnd = "\r\n";

// Replies. Every reply but the one to Q begins with kInfo and a digit: kGoesOn or
// kPlayerWon while the game goes on (the reply then ends with its kNextHand line), and
// kGameOver for the hand that ends the game (the result table follows, closed by the line
// that begins with kTableEnd).
inline constexpr const char* kInfo = "INFO:";
inline constexpr char kGoesOn = '0';
inline constexpr char kPlayerWon = '1';
inline constexpr char kGameOver = '2';
inline constexpr const char* kNextHand = "NEXT HAND";
inline constexpr const char* kEnd = "end";  // the whole reply to kQuit
// A line of a reply, before its kNextHand line or its table: summary.txt could not be
// written for this reply (another program holds it, or a folder has its name), so what
// the file holds is not this reply's. Readers that do not know it pass over it as one of
// the reply's own lines.
inline constexpr const char* kNoSummary = "NO SUMMARY";
inline constexpr const char* kError = "ERROR:";  // a command the engine cannot take
// The result table's header holds one of these words after its first two characters.
inline constexpr const char* kTableHeader = "look-n-2";
inline constexpr const char* kTableHeaderOld = "atodasi";
inline constexpr const char* kTableEnd = "player";
// The table's line of the points, "total P:E", before its closing line.
inline constexpr const char* kTableTotal = "total";

// summary.txt: one "KEY: value" line each.
inline constexpr const char* kSummaryInfo = "INFO";
inline constexpr const char* kSummaryHands = "HANDS";
inline constexpr const char* kSummaryPoint = "POINT";
inline constexpr const char* kSummaryForecast = "FORECAST";
inline constexpr const char* kSummaryPattern = "PATTERN";
inline constexpr const char* kSummaryData = "DATA";
inline constexpr const char* kSummaryNextHand = "NEXT HAND";

// The record files, in the engine's current folder (the summary) and the control's
// record folder (all three).
inline constexpr const char* kLogFile = "log.txt";
inline constexpr const char* kSummaryFile = "summary.txt";
inline constexpr const char* kResultFile = "kekka.txt";

// Whether a line begins with a word.
inline bool StartsWith(const char* line, const char* word) { return std::strncmp(line, word, std::strlen(word)) == 0; }

// Whether a line is kInfo followed by the digit.
inline bool IsInfo(const char* line, char digit) {
  return StartsWith(line, kInfo) && line[std::strlen(kInfo)] == digit;
}

}  // namespace tavo::protocol
