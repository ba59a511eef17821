// The engine's strength and speed: win rate over 1000 hands against scripted players,
// and the reply latency of the engine program through pipes.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tavo/engine/game.h"

using namespace tavo;

namespace {

struct Player {
  const char* name;
  std::function<Hand(int turn, Hand engineLast, Random& rng)> next;
};

}  // namespace

int main(int argc, char** argv) {
  const int hands = 1000;
  Random rng(99);
  const std::vector<Player> players = {
      {"always rock", [](int, Hand, Random&) { return Rock; }},
      {"cycle rock-paper-scissors", [](int t, Hand, Random&) { const Hand c[3] = {Rock, Paper, Scissors}; return c[t % 3]; }},
      {"biased random (70% rock)", [](int, Hand, Random& r) { const int v = r.Below(100); return v < 70 ? Rock : v < 85 ? Paper : Scissors; }},
      {"copies the engine's last hand", [](int t, Hand e, Random&) { return t == 0 ? Paper : e; }},
      {"uniform random", [](int, Hand, Random& r) { return Hand(r.Below(3)); }},
  };
  std::printf("%-32s %8s %8s %8s %10s\n", "player", "engine", "player", "draws", "won/decided");
  for (const Player& p : players) {
    Predictor engine(7);
    int won = 0, lost = 0, draws = 0;
    Hand engineLast = Rock;
    for (int t = 0; t < hands; ++t) {
      const Hand e = engine.Choose().hand;
      const Hand h = p.next(t, engineLast, rng);
      const int o = Outcome(e, h);
      (o > 0 ? won : o < 0 ? lost : draws)++;
      engine.Record(h, e);
      engineLast = e;
    }
    std::printf("%-32s %8d %8d %8d %9.1f%%\n", p.name, won, lost, draws, 100.0 * won / std::max(1, won + lost));
  }

  if (argc > 1) {  // the engine program's reply latency, per hand, through pipes
    char engine[4096];
    if (!realpath(argv[1], engine)) return 1;
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return 1;
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      if (chdir("/tmp") != 0) _exit(3);
      execl(engine, "tavo", nullptr);
      _exit(4);
    }
    close(in[0]);
    close(out[1]);
    FILE* from = fdopen(out[0], "r");
    std::vector<double> times;
    char line[512];
    auto send = [&](const char* c) {
      const auto t0 = std::chrono::steady_clock::now();
      if (write(in[1], c, std::strlen(c)) < 0) return;
      while (std::fgets(line, sizeof line, from)) {
        if (!std::strncmp(line, "NEXT HAND", 9) || !std::strncmp(line, "player", 6) || !std::strncmp(line, "end", 3)) break;
      }
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    };
    send("D\r\n");
    for (int i = 0; i < hands; ++i) {
      if ((i + 1) % Game::kHandsPerGame == 0) {
        send("m\r\n");
        send("D\r\n");
      } else {
        send(i % 2 ? "n\r\n" : "b\r\n");
      }
    }
    send("Q\r\n");
    close(in[1]);
    waitpid(pid, nullptr, 0);
    std::sort(times.begin(), times.end());
    std::printf("engine program reply latency over %zu commands: median %.3f ms, p95 %.3f ms\n", times.size(),
                times[times.size() / 2], times[times.size() * 95 / 100]);
  }
  return 0;
}
