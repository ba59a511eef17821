// libFuzzer target: the reply dispatcher fed random sequences of engine output chunks,
// commands and given-up replies: line assembly, the handlers, the result table into
// kekka.txt and the "NEXT HAND" search. Besides the sanitizers it checks that the line
// assembler cuts the same lines whatever the chunks, that a finished game is not
// running, and that a given-up reply leaves nothing pending.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tavo/bridge/bridge_core.h"

using namespace tavo::bridge;

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

struct Recorder : GameListener {
  int summaries = 0, results = 0;
  void OnNewGame() override {}
  void OnSummary() override { ++summaries; }
  void OnResult() override { ++results; }
  void OnEnd() override {}
};

// The lines of the whole output, cut at line feeds and every kMaxLine characters.
std::vector<std::string> ReferenceLines(const std::string& all) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : all) {
    if (c != '\n') {
      line += c;
      if (line.size() < LineAssembler::kMaxLine) continue;
    }
    lines.push_back(line.c_str());  // up to a NUL, as the handlers see it
    line.clear();
  }
  return lines;
}

const std::string& Folder() {
  static const std::string folder = [] {
    // In memory where there is a memory file system: the log is written for every chunk.
    std::string name;
    char shm[] = "/dev/shm/fuzz-dispatcher-XXXXXX";
    char tmp[] = "/tmp/fuzz-dispatcher-XXXXXX";
    if (mkdtemp(shm)) {
      name = shm;
    } else if (mkdtemp(tmp)) {
      name = tmp;
    } else {
      Fail("no temporary folder");
    }
    FILE* f = std::fopen((name + "/summary.txt").c_str(), "w");
    if (f) {
      std::fputs("INFO: 1\nHANDS: (3:1)\nNEXT HAND: 2\n", f);
      std::fclose(f);
    }
    // Removed at the end; the name is kept where it outlives the static string.
    static char removeAtExit[64];
    std::snprintf(removeAtExit, sizeof removeAtExit, "%s", name.c_str());
    std::atexit([] {
      for (const char* file : {"/log.txt", "/kekka.txt", "/summary.txt"})
        std::remove((std::string(removeAtExit) + file).c_str());
      rmdir(removeAtExit);
    });
    return name;
  }();
  return folder;
}

}  // namespace

// Input: a sequence of operations. A byte below 0xF0 is a chunk of output of 1 to 64
// bytes (the bytes after it, fewer at the end); 0xF0 gives the pending reply up, 0xF1
// sends a command of a running game, 0xF2 one with no game running.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BridgeCore core(Folder().c_str());
  Recorder recorder;
  core.Listeners().Attach(&recorder);
  LineAssembler assembler;
  std::vector<std::string> assembled;
  std::string all;
  size_t i = 0;
  while (i < size) {
    const uint8_t op = data[i++];
    if (op == 0xF0) {
      core.AbandonReply();
      if (core.ReplyPending()) Fail("a given-up reply is still pending");
      continue;
    }
    if (op == 0xF1 || op == 0xF2) {
      core.AwaitReply();
      if (op == 0xF1) {
        core.GameStarts();
      } else {
        core.GameEnds();
      }
      continue;
    }
    size_t n = size_t(op % 64) + 1;
    if (n > size - i) n = size - i;
    const char* chunk = reinterpret_cast<const char*>(data + i);
    i += n;
    const int results = recorder.results;
    core.OnOutput(chunk, n);
    if (recorder.results != results && (core.GameRunning() || core.Busy()))
      Fail("a game with its result is still running");
    if (!core.GameRunning() && core.Busy()) Fail("busy without a game");
    assembler.Feed(chunk, n, [&](const char* line) {
      assembled.push_back(line);
      return true;
    });
    all.append(chunk, n);
    if (assembler.Unfinished().size() >= LineAssembler::kMaxLine) Fail("an unfinished line past the limit");
  }
  if (assembled != ReferenceLines(all)) Fail("the lines depend on the chunks");
  core.Listeners().Detach(&recorder);
  return 0;
}
