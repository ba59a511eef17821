// tavo.exe, the rock-paper-scissors engine. Commands on standard input, one letter a
// line: "D" new game, "m" rock, "n" scissors, "b" paper, "Q" finish. Every reply is
// written and flushed in one piece; summary.txt in the current directory is complete
// before a reply that names the next hand is printed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "tavo/engine/game.h"
#include "tavo/protocol/protocol.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

namespace protocol = tavo::protocol;

// Writes summary.txt under a temporary name and renames it, so a reader never sees half
// a file.
void WriteSummary(const std::string& text) {
  const char* temp = "summary.tmp";
  FILE* f = std::fopen(temp, "wb");
  if (!f) return;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
#ifdef _WIN32
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (MoveFileExA(temp, tavo::protocol::kSummaryFile, MOVEFILE_REPLACE_EXISTING)) return;
    Sleep(10);  // a reader still has the old file open
  }
  DeleteFileA(temp);
#else
  std::rename(temp, tavo::protocol::kSummaryFile);
#endif
}

void Reply(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

uint64_t Seed() {
  if (const char* s = std::getenv("TAVO_SEED")) return std::strtoull(s, nullptr, 10);
#ifdef _WIN32
  return uint64_t(GetTickCount()) * 2654435761u ^ uint64_t(GetCurrentProcessId()) << 32 ^ uint64_t(std::time(nullptr));
#else
  return uint64_t(std::time(nullptr)) * 2654435761u ^ uint64_t(getpid()) << 32;
#endif
}

}  // namespace

int main() {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  tavo::Game game(Seed());
  char line[256];
  while (std::fgets(line, sizeof line, stdin)) {
    // A line longer than the buffer: its rest is read and dropped.
    if (!std::strchr(line, '\n') && !std::feof(stdin)) {
      int c;
      while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
      }
    }
    const char command = line[0];
    if (command == '\r' || command == '\n' || command == '\0') continue;
    tavo::Hand hand;
    if (command == protocol::kNewGame) {
      const std::string reply = game.NewGame();
      WriteSummary(game.SummaryText());
      Reply(reply);
    } else if (tavo::HandFromLetter(command, hand)) {
      if (!game.Running()) {
        Reply(std::string(protocol::kError) + " no game running, send " + protocol::kNewGame + " first" +
              protocol::kLineEnd);
        continue;
      }
      const std::string reply = game.Play(hand);
      WriteSummary(game.SummaryText());
      Reply(reply);
    } else if (command == protocol::kQuit) {
      Reply(std::string(protocol::kEnd) + protocol::kLineEnd);
      return 0;
    } else {
      Reply(std::string(protocol::kError) + " unknown command " + command + protocol::kLineEnd);
    }
  }
  return 0;
}
