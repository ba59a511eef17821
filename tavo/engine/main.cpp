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
// a file. A file that cannot be replaced (another program has it open without letting it
// be deleted) is written over where it is, when that program lets it be written; false
// when the summary could not be written at all (held wholly, or a folder of its name).
// No attempt waits long: the hand's reply says what happened instead.
bool WriteSummary(const std::string& text) {
  const char* temp = "summary.tmp";
  FILE* f = std::fopen(temp, "wb");
  if (!f) return false;
  const bool whole = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !whole) {
    std::remove(temp);
    return false;
  }
#ifdef _WIN32
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (MoveFileExA(temp, tavo::protocol::kSummaryFile, MOVEFILE_REPLACE_EXISTING)) return true;
    Sleep(10);  // a reader that is just closing the old file
  }
  DeleteFileA(temp);
  HANDLE h = CreateFileA(tavo::protocol::kSummaryFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size() &&
                  SetEndOfFile(h);
  CloseHandle(h);
  return ok;
#else
  if (std::rename(temp, tavo::protocol::kSummaryFile) == 0) return true;
  std::remove(temp);
  return false;
#endif
}

// The reply, with the line that says so after its first line when the summary could not
// be written for it.
std::string WithSummaryState(const std::string& reply, bool written) {
  if (written) return reply;
  const size_t first = reply.find('\n');
  if (first == std::string::npos) return reply;
  return reply.substr(0, first + 1) + protocol::kNoSummary + protocol::kLineEnd + reply.substr(first + 1);
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
      Reply(WithSummaryState(reply, WriteSummary(game.SummaryText())));
    } else if (tavo::HandFromLetter(command, hand)) {
      if (!game.Running()) {
        Reply(std::string(protocol::kError) + " no game running, send " + protocol::kNewGame + " first" +
              protocol::kLineEnd);
        continue;
      }
      const std::string reply = game.Play(hand);
      Reply(WithSummaryState(reply, WriteSummary(game.SummaryText())));
    } else if (command == protocol::kQuit) {
      Reply(std::string(protocol::kEnd) + protocol::kLineEnd);
      return 0;
    } else {
      Reply(std::string(protocol::kError) + " unknown command " + command + protocol::kLineEnd);
    }
  }
  return 0;
}
