// A scriptable stand-in for the engine program. FAKE_ENGINE_MODE chooses how it
// misbehaves:
//   split    replies cut into many writes: every line on its own, and the lines that
//            carry no key cut in the middle as well
//   garbage  unrecognised text around the replies
//   bigline  a 10 KB line inside each reply
//   exitmid  the first reply stops half-way and the engine exits
//   silent   reads commands and never answers
//   crash    crashes on the first command
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
  while (std::fgets(line, sizeof line, stdin)) {
    const char c = line[0];
    if (mode == "silent") continue;
    if (mode == "crash") {
      volatile int* p = nullptr;
      *p = 1;
    }
    std::string reply;
    if (c == 'Q') {
      reply = "end\r\n";
    } else if (c == 'D' || ((c == 'm' || c == 'n' || c == 'b') && hands < 2)) {
      if (c != 'D') ++hands; else hands = 0;
      Summary(hands);
      reply = "INFO:" + std::to_string(hands % 2) + "\r\nhand " + std::to_string(hands) + "\r\nNEXT HAND\r\n";
    } else {
      ++hands;
      reply = "INFO:2\r\n# look-n-2 fake table\r\n1 rock paper engine\r\n2 rock rock -\r\nplayer 0 engine 1\r\n";
      hands = 0;
    }
    if (mode == "garbage") reply = "@@ noise\r\nplayer noise\r\n" + reply + "more noise after\r\n";
    if (mode == "bigline") reply = reply.substr(0, reply.find("\r\n") + 2) + std::string(10240, 'z') + "\r\n" +
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
        const bool key = l.rfind("INFO:", 0) == 0 || l.rfind("NEXT HAND", 0) == 0 || l.rfind("player", 0) == 0 ||
                         l.find("look-n-2") == 2 || l.rfind("end", 0) == 0;
        if (key || l.size() < 4) {
          Put(l);
        } else {
          Put(l.substr(0, l.size() / 2));
          Sleep(15);
          Put(l.substr(l.size() / 2));
        }
        Sleep(15);
        at = end;
      }
      if (c == 'Q') return 0;
      continue;
    }
    Put(reply);
    if (c == 'Q') return 0;
  }
  return 0;
}
