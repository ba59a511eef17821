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
//   flood    the first engine in a folder (flooded.txt marks it) answers its first
//            command with output without end, as fast as it can
//   hugeline the first engine's first reply carries one line of 100 MB
//   hugesummary  the first engine writes a summary.txt of 100 MB of binary noise
//   chaos    plays, but before each reply draws from FAKE_ENGINE_SEED (and the number of
//            engines started before it in the folder, counted in chaos.txt) whether to
//            crash, hang for good, garble the reply (noise lines and bytes, the reply cut
//            into random reads) or cut the reply short and go quiet; FAKE_ENGINE_FAULTS
//            gives the chances per ten thousand as crash,hang,garble,cut, and
//            FAKE_ENGINE_HANG_ENGINE=n makes the n-th engine hang at its third reply
//   pid      plays, with its process id in every record: INFO in summary.txt is
//            1000 + pid % 30000, and the hand lines and the result table name "pid P"
// FAKE_ENGINE_MARK=FILE: every engine started appends its process id to FILE first.
#include <windows.h>

#include <cstdint>
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

bool g_pidMode = false;

// What the pid mode writes as INFO: this process's number, never 0, 1 or 2.
int PidInfo() { return 1000 + int(GetCurrentProcessId() % 30000); }

void Summary(int hand) {
  FILE* f = std::fopen("summary.tmp", "wb");
  std::fprintf(f, "INFO: %d\r\nHANDS: (%d:3)\r\n", g_pidMode ? PidInfo() : hand % 2, hand);
  std::fclose(f);
  MoveFileExA("summary.tmp", "summary.txt", MOVEFILE_REPLACE_EXISTING);
}

// The chaos mode's draws: a 32-bit linear congruential generator.
struct Chaos {
  uint32_t state = 1;
  int crash = 0, hang = 0, garble = 0, cut = 0;  // per ten thousand
  bool hangOnThird = false;                      // this engine hangs at its third reply
  int replies = 0;
  uint32_t Next(uint32_t n) {
    state = state * 1664525u + 1013904223u;
    return uint32_t((uint64_t(state) * n) >> 32);
  }
};

Chaos StartChaos() {
  Chaos c;
  int starts = 0;
  if (FILE* f = std::fopen("chaos.txt", "rb")) {
    if (std::fscanf(f, "%d", &starts) != 1) starts = 0;
    std::fclose(f);
  }
  if (FILE* f = std::fopen("chaos.txt", "wb")) {
    std::fprintf(f, "%d", starts + 1);
    std::fclose(f);
  }
  const char* seed = std::getenv("FAKE_ENGINE_SEED");
  // Mixed, so that engines started one after another draw unrelated sequences.
  uint32_t x = uint32_t(seed ? std::atoi(seed) : 1) * 7919u + uint32_t(starts);
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  c.state = x;
  // FAKE_ENGINE_HANG_ENGINE=n: the n-th engine started in the folder hangs for good at its
  // third reply, so that a short run is sure to see a hang.
  const char* hangEngine = std::getenv("FAKE_ENGINE_HANG_ENGINE");
  c.hangOnThird = hangEngine && std::atoi(hangEngine) == starts + 1;
  const char* faults = std::getenv("FAKE_ENGINE_FAULTS");
  if (!faults || std::sscanf(faults, "%d,%d,%d,%d", &c.crash, &c.hang, &c.garble, &c.cut) != 4) {
    c.crash = 5;
    c.hang = 1;
    c.garble = 200;
    c.cut = 1;
  }
  return c;
}

// Writes the reply as chaos has it; false when the engine is to go quiet for good.
void NoteFault(const char* what) {
  if (FILE* f = std::fopen("chaos-faults.txt", "ab")) {
    std::fprintf(f, "%s\n", what);
    std::fclose(f);
  }
}

// Whether this is the first engine started in the folder (marked by the file).
bool FirstEngine(const char* mark) {
  if (GetFileAttributesA(mark) != INVALID_FILE_ATTRIBUTES) return false;
  if (FILE* f = std::fopen(mark, "w")) std::fclose(f);
  return true;
}

bool ChaosReply(Chaos& c, const std::string& reply) {
  int r = int(c.Next(10000));
  if (c.hangOnThird && ++c.replies == 3) r = c.crash;  // where the hangs are drawn
  if (r < c.crash) {
    NoteFault("crash");
    volatile int* p = nullptr;
    *p = 1;
  }
  r -= c.crash;
  if (r < c.hang) {
    NoteFault("hang");
    Sleep(INFINITE);
  }
  r -= c.hang;
  if (r < c.garble) {
    NoteFault("garble");
    // Noise lines, and bytes of every value but the line feed inside the lines that carry
    // no keyword; the keywords stay, so that the reply still completes.
    std::string noisy;
    if (c.Next(2)) noisy += "@@ noise " + std::to_string(c.Next(1000)) + "\r\n";
    size_t from = 0;
    while (from < reply.size()) {
      const size_t end = reply.find('\n', from) + 1;
      const std::string l = reply.substr(from, end - from);
      const bool keyword = l.rfind("INFO:", 0) == 0 || l.rfind("NEXT HAND", 0) == 0 || l.rfind("player", 0) == 0 ||
                           l.rfind("end", 0) == 0 || l.find("look-n-2") != std::string::npos;
      for (char ch : l) {
        noisy += ch;
        if (!keyword && ch != '\n' && c.Next(8) == 0) {
          const uint32_t b = c.Next(255);
          noisy += char(b >= '\n' ? b + 1 : b);
        }
      }
      from = end;
    }
    size_t at = 0;
    while (at < noisy.size()) {
      const size_t n = 1 + c.Next(uint32_t(noisy.size() - at));
      Put(noisy.substr(at, n));
      at += n;
    }
    return true;
  }
  r -= c.garble;
  if (r < c.cut) {
    NoteFault("cut");
    Put(reply.substr(0, c.Next(uint32_t(reply.size()))));
    return false;
  }
  Put(reply);
  return true;
}

}  // namespace

int main() {
  out = GetStdHandle(STD_OUTPUT_HANDLE);
  const char* m = std::getenv("FAKE_ENGINE_MODE");
  const std::string mode = m ? m : "";
  if (const char* mark = std::getenv("FAKE_ENGINE_MARK")) {
    if (FILE* f = std::fopen(mark, "ab")) {
      std::fprintf(f, "%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
      std::fclose(f);
    }
  }
  g_pidMode = mode == "pid";
  const std::string pid = g_pidMode ? " pid " + std::to_string(PidInfo()) : "";
  Chaos chaos;
  if (mode == "chaos") chaos = StartChaos();
  bool first = false;
  if (mode == "flood" || mode == "hugeline" || mode == "hugesummary") first = FirstEngine("first-engine.txt");
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
    if (mode == "flood" && first) {
      const std::string block(4000, 'f');
      for (;;) Put(block + "\r\n");
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
      reply = "INFO:" + std::to_string(hands % 2) + "\r\nhand " + std::to_string(hands) + pid + "\r\nNEXT HAND\r\n";
    } else {
      ++hands;
      reply = "INFO:2\r\n# look-n-2 fake table\r\n1 rock paper engine" + pid + "\r\n2 rock rock -\r\n";
      if (!(mode == "noclose" && results == 0)) reply += "player 0 engine 1\r\n";
      ++results;
      hands = 0;
    }
    if (mode == "garbage") reply = "@@ noise\r\nplayer noise\r\n" + reply + "more noise after\r\n";
    if (mode == "bigline")
      reply = reply.substr(0, reply.find("\r\n") + 2) + std::string(10240, 'z') + "\r\n" +
              reply.substr(reply.find("\r\n") + 2);
    if (first && mode == "hugeline") {
      first = false;
      const std::string block(1 << 20, 'h');
      Put(reply.substr(0, reply.find("\r\n") + 2));
      for (int i = 0; i < 100; ++i) Put(block);
      Put("\r\n" + reply.substr(reply.find("\r\n") + 2));
      continue;
    }
    if (first && mode == "hugesummary") {
      first = false;
      if (FILE* f = std::fopen("summary.txt", "wb")) {
        Chaos noise;
        std::string block(1 << 20, '\0');
        for (int i = 0; i < 100; ++i) {
          for (char& b : block) b = char(noise.Next(256));
          std::fwrite(block.data(), 1, block.size(), f);
        }
        std::fclose(f);
      }
    }
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
    if (mode == "chaos") {
      if (!ChaosReply(chaos, reply)) {
        while (std::fgets(line, sizeof line, stdin)) {
        }
        return 0;
      }
      if (c == 'Q') return 0;
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
