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

// ---- the modes

// What an engine knows while it runs.
struct State {
  char command = 0;  // the command being answered
  int hands = 0, results = 0, games = 0;
  bool first = false;  // the first engine started in the folder (modes with a mark)
  std::string pid;     // " pid P" in the pid mode
  Chaos chaos;
};

// How a reply was written: the engine goes on, exits, or reads to the end of its input
// without a word more.
enum class Then { kGoOn, kExit3, kQuiet };

void Crash() {
  volatile int* p = nullptr;
  *p = 1;
}

void PutPieces(const std::string& reply) {  // every line in two reads of its own
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
}

// After the reply's first line.
size_t AfterFirstLine(const std::string& reply) { return reply.find("\r\n") + 2; }

// A mode is a row: what it does when it starts, before each reply (false: no reply at
// all; may also never return), to the reply's text, and how it writes the reply. Empty
// entries behave as the engine does.
struct Mode {
  const char* name;
  const char* firstMark;  // the file that marks the first engine started in the folder
  void (*start)(State&);
  bool (*before)(State&);
  void (*reshape)(State&, std::string&);
  Then (*write)(State&, const std::string&);
  bool staysAfterQuit;  // answers Q but goes on, and stays after its input ends
};

const Mode kModes[] = {
    {"", nullptr, nullptr, nullptr, nullptr, nullptr, false},
    {"split", nullptr, nullptr, nullptr, nullptr,
     [](State&, const std::string& r) {
       PutPieces(r);
       return Then::kGoOn;
     },
     false},
    {"bytewise", nullptr, nullptr, nullptr, nullptr,
     [](State&, const std::string& r) {
       for (char b : r) {
         Put(std::string(1, b));
         Sleep(1);
       }
       return Then::kGoOn;
     },
     false},
    {"chatty", nullptr, nullptr,
     [](State&) {
       for (int i = 0;; ++i) {
         Put("still thinking " + std::to_string(i) + "\r\n");
         Sleep(2000);
       }
       return false;
     },
     nullptr, nullptr, false},
    {"noclose", nullptr, nullptr, nullptr,
     [](State& s, std::string& r) {
       const size_t close = r.find("player 0 engine 1\r\n");
       if (s.results == 1 && close != std::string::npos) r.erase(close);
     },
     nullptr, false},
    {"ignoreeof", nullptr, nullptr, nullptr, nullptr, nullptr, true},
    {"garbage", nullptr, nullptr, nullptr,
     [](State&, std::string& r) { r = "@@ noise\r\nplayer noise\r\n" + r + "more noise after\r\n"; }, nullptr, false},
    {"bigline", nullptr, nullptr, nullptr,
     [](State&, std::string& r) {
       r = r.substr(0, AfterFirstLine(r)) + std::string(10240, 'z') + "\r\n" + r.substr(AfterFirstLine(r));
     },
     nullptr, false},
    {"exitmid", nullptr, nullptr, nullptr, nullptr,
     [](State&, const std::string& r) {
       Put(r.substr(0, 8));
       return Then::kExit3;
     },
     false},
    {"silent", nullptr, nullptr, [](State&) { return false; }, nullptr, nullptr, false},
    {"crash", nullptr, nullptr,
     [](State&) {
       Crash();
       return true;
     },
     nullptr, nullptr, false},
    {"crashonce", nullptr, nullptr,
     [](State& s) {
       if (s.games == 2 && s.hands == 0 && s.command == 'm' &&
           GetFileAttributesA("crashed.txt") == INVALID_FILE_ATTRIBUTES) {
         if (FILE* f = std::fopen("crashed.txt", "w")) std::fclose(f);
         Crash();
       }
       return true;
     },
     nullptr, nullptr, false},
    {"flood", "first-engine.txt", nullptr,
     [](State& s) {
       const std::string block(4000, 'f');
       while (s.first) Put(block + "\r\n");
       return true;
     },
     nullptr, nullptr, false},
    {"hugeline", "first-engine.txt", nullptr, nullptr, nullptr,
     [](State& s, const std::string& r) {
       if (!s.first) {
         Put(r);
         return Then::kGoOn;
       }
       s.first = false;
       const std::string block(1 << 20, 'h');
       Put(r.substr(0, AfterFirstLine(r)));
       for (int i = 0; i < 100; ++i) Put(block);
       Put("\r\n" + r.substr(AfterFirstLine(r)));
       return Then::kGoOn;
     },
     false},
    {"hugesummary", "first-engine.txt", nullptr, nullptr, nullptr,
     [](State& s, const std::string& r) {
       if (s.first) {
         s.first = false;
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
       Put(r);
       return Then::kGoOn;
     },
     false},
    {"chaos", nullptr, [](State& s) { s.chaos = StartChaos(); }, nullptr, nullptr,
     [](State& s, const std::string& r) { return ChaosReply(s.chaos, r) ? Then::kGoOn : Then::kQuiet; }, false},
    {"pid", nullptr,
     [](State& s) {
       g_pidMode = true;
       s.pid = " pid " + std::to_string(PidInfo());
     },
     nullptr, nullptr, nullptr, false},
};

// The engine's own reply to a command, as the protocol has it (three hands a game).
std::string Reply(State& s) {
  const char c = s.command;
  if (c == 'Q') return "end\r\n";
  if (c == 'D' || ((c == 'm' || c == 'n' || c == 'b') && s.hands < 2)) {
    s.hands = c == 'D' ? 0 : s.hands + 1;
    Summary(s.hands);
    return "INFO:" + std::to_string(s.hands % 2) + "\r\nhand " + std::to_string(s.hands) + s.pid + "\r\nNEXT HAND\r\n";
  }
  ++s.results;
  s.hands = 0;
  return "INFO:2\r\n# look-n-2 fake table\r\n1 rock paper engine" + s.pid + "\r\n2 rock rock -\r\nplayer 0 engine 1\r\n";
}

}  // namespace

int main() {
  out = GetStdHandle(STD_OUTPUT_HANDLE);
  const char* m = std::getenv("FAKE_ENGINE_MODE");
  const std::string name = m ? m : "";
  const Mode* mode = &kModes[0];
  for (const Mode& row : kModes)
    if (name == row.name) mode = &row;
  if (const char* mark = std::getenv("FAKE_ENGINE_MARK")) {
    if (FILE* f = std::fopen(mark, "ab")) {
      std::fprintf(f, "%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
      std::fclose(f);
    }
  }
  State s;
  if (mode->start) mode->start(s);
  if (mode->firstMark) s.first = FirstEngine(mode->firstMark);
  char line[256];
  while (std::fgets(line, sizeof line, stdin)) {
    s.command = line[0];
    if (s.command == 'D') ++s.games;
    if (mode->before && !mode->before(s)) continue;
    std::string reply = Reply(s);
    if (mode->reshape) mode->reshape(s, reply);
    const Then then = mode->write ? mode->write(s, reply) : (Put(reply), Then::kGoOn);
    if (then == Then::kExit3) return 3;
    if (then == Then::kQuiet) {
      while (std::fgets(line, sizeof line, stdin)) {
      }
      return 0;
    }
    if (s.command == 'Q' && !mode->staysAfterQuit) return 0;
  }
  while (mode->staysAfterQuit) {
    if (FILE* f = std::fopen("alive.txt", "ab")) {
      std::fputc('.', f);
      std::fclose(f);
    }
    Sleep(100);
  }
  return 0;
}
