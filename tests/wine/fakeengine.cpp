// A scriptable stand-in for the engine program. FAKE_ENGINE_MODE chooses how it
// misbehaves:
//   split    replies cut into many writes: every line on its own, and every line cut
//            in the middle as well (NEXT HA, ND)
//   bytewise every byte of a reply written on its own
//   chatty   answers the first command with a line every 2 seconds, never completing
//   noclose  the first result lacks its closing player line
//   ignoreeof  stays after Q and after the end of its input, touching alive.txt
//   garbage  unrecognised text around the replies
//   bigline  a 10 KB line inside each reply
//   exitmid  the first reply stops half-way and the engine exits
//   silent   reads commands and never answers
//   crash    crashes on the first command
//   crashonce  crashes on the first hand of its second game, unless crashed.txt says it
//            already did
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
HANDLE out;

void Put(const std::string& s) {
  DWORD n;
  WriteFile(out, s.data(), DWORD(s.size()), &n, nullptr);
}

void Summary(int hand) {
  FILE* f = std::fopen("summary.tmp", "wb");
  std::fprintf(f, "INFO: %d\r\nHANDS: (%d:3)\r\n", hand % 2, hand);
  std::fclose(f);
  MoveFileExA("summary.tmp", "summary.txt", MOVEFILE_REPLACE_EXISTING);
}
}  // namespace

int main() {
  out = GetStdHandle(STD_OUTPUT_HANDLE);
  const char* m = std::getenv("FAKE_ENGINE_MODE");
  const std::string mode = m ? m : "";
  char line[256];
  int hands = 0;
  int results = 0;
  int games = 0;
  while (std::fgets(line, sizeof line, stdin)) {
    const char c = line[0];
    if (mode == "silent") continue;
    if (mode == "chatty") {
      for (int i = 0;; ++i) {
        Put("still thinking " + std::to_string(i) + "\r\n");
        Sleep(2000);
      }
    }
    if (c == 'D') ++games;
    const bool crashNow = mode == "crashonce" && games == 2 && hands == 0 && c == 'm' &&
                          GetFileAttributesA("crashed.txt") == INVALID_FILE_ATTRIBUTES;
    if (crashNow) {
      FILE* f = std::fopen("crashed.txt", "w");
      if (f) std::fclose(f);
    }
    if (mode == "crash" || crashNow) {
      volatile int* p = nullptr;
      *p = 1;
    }
    std::string reply;
    if (c == 'Q') {
      reply = "end\r\n";
    } else if (c == 'D' || ((c == 'm' || c == 'n' || c == 'b') && hands < 2)) {
      if (c != 'D')
        ++hands;
      else
        hands = 0;
      Summary(hands);
      reply = "INFO:" + std::to_string(hands % 2) + "\r\nhand " + std::to_string(hands) + "\r\nNEXT HAND\r\n";
    } else {
      ++hands;
      reply = "INFO:2\r\n# look-n-2 fake table\r\n1 rock paper engine\r\n2 rock rock -\r\n";
      if (!(mode == "noclose" && results == 0)) reply += "player 0 engine 1\r\n";
      ++results;
      hands = 0;
    }
    if (mode == "garbage") reply = "@@ noise\r\nplayer noise\r\n" + reply + "more noise after\r\n";
    if (mode == "bigline")
      reply = reply.substr(0, reply.find("\r\n") + 2) + std::string(10240, 'z') + "\r\n" +
              reply.substr(reply.find("\r\n") + 2);
    if (mode == "exitmid") {
      Put(reply.substr(0, 8));
      return 3;
    }
    if (mode == "split") {
      // Each piece is a read of its own.
      size_t at = 0;
      while (at < reply.size()) {
        const size_t end = reply.find("\r\n", at) + 2;
        const std::string l = reply.substr(at, end - at);
        Put(l.substr(0, l.size() / 2));
        Sleep(15);
        Put(l.substr(l.size() / 2));
        Sleep(15);
        at = end;
      }
      if (c == 'Q') return 0;
      continue;
    }
    if (mode == "bytewise") {
      for (char b : reply) {
        Put(std::string(1, b));
        Sleep(1);
      }
      if (c == 'Q') return 0;
      continue;
    }
    if (mode == "ignoreeof") {
      Put(reply);
      continue;
    }
    Put(reply);
    if (c == 'Q') return 0;
  }
  if (mode == "ignoreeof") {
    for (;;) {
      FILE* f = std::fopen("alive.txt", "ab");
      if (f) {
        std::fputc('.', f);
        std::fclose(f);
      }
      Sleep(100);
    }
  }
  return 0;
}
