// Test host of the engine bridge: links the bridge, attaches recording listeners and runs
// a script of commands against whatever engine sits in the given directory.
// Usage: bridgehost.exe DIR COMMANDS...   with commands
//   D Start, m n b hands, Q End, game (D, hands until the result, Q),
//   listeners:N (attach N listeners; default 2), bench:N (N hands, timing report),
//   sleep:MS
// The memory the process holds and held at most is printed at the end.
// Prints one line per command ("D 12ms events=...") and "events=..." per listener at
// the end; every listener sees N (new game), S (summary), R (result), E (end).
#include <windows.h>
// after windows.h
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "tavo/bridge/bridge.h"

using namespace tavo::bridge;

namespace {

struct Recorder : GameListener {
  std::mutex lock;
  std::string events;
  void Add(char c) {
    std::lock_guard<std::mutex> hold(lock);
    events += c;
  }
  void OnNewGame() override { Add('N'); }
  void OnSummary() override { Add('S'); }
  void OnResult() override { Add('R'); }
  void OnEnd() override { Add('E'); }
};

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

double ThreadCpuMs() {
  FILETIME a, b, k, u;
  GetThreadTimes(GetCurrentThread(), &a, &b, &k, &u);
  auto ms = [](FILETIME t) { return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0; };
  return ms(k) + ms(u);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  BridgeConfig config;
  config.workDir = argv[1];
  config.enginePath = config.workDir + "\\tavo.exe";
  int listenerCount = 2;
  for (int i = 2; i < argc; ++i)
    if (std::strncmp(argv[i], "listeners:", 10) == 0) listenerCount = std::atoi(argv[i] + 10);

  const double t0 = Now();
  EngineBridge* bridge = GetOrCreateBridge(config);
  std::printf("bridge %s %.0fms\n", bridge ? "created" : "none", Now() - t0);
  if (!bridge) return 0;
  std::vector<Recorder> recorders(static_cast<size_t>(listenerCount));
  for (auto& r : recorders) bridge->Listeners().Attach(&r);

  for (int i = 2; i < argc; ++i) {
    const std::string c = argv[i];
    const double start = Now();
    if (c == "D") {
      bridge->StartGame();
    } else if (c == "m" || c == "n" || c == "b") {
      bridge->SendHand(c[0]);
    } else if (c == "Q") {
      bridge->EndGame();
    } else if (c == "game") {
      bridge->StartGame();
      const char hands[] = "mnbbnmmmbn";
      for (int h = 0; bridge->GameRunning() && h < 100; ++h) bridge->SendHand(hands[h % 10]);
      bridge->EndGame();
    } else if (c.rfind("bench:", 0) == 0) {
      const int n = std::atoi(c.c_str() + 6);
      std::vector<double> times;
      double cpu = 0;
      const char hands[] = "mnbmmbnbmn";
      for (int h = 0; h < n; ++h) {
        if (!bridge->GameRunning()) bridge->StartGame();
        const double c0 = ThreadCpuMs(), w0 = Now();
        bridge->SendHand(hands[(h * 7 + h / 3) % 10]);
        times.push_back(Now() - w0);
        cpu += ThreadCpuMs() - c0;
      }
      std::sort(times.begin(), times.end());
      double sum = 0;
      for (double t : times) sum += t;
      std::printf("bench hands=%d median_ms=%.3f mean_ms=%.3f p95_ms=%.3f host_cpu_ms_per_command=%.4f\n", n,
                  times[times.size() / 2], sum / double(n), times[size_t(double(times.size()) * 0.95)], cpu / n);
      continue;
    } else if (c.rfind("listeners:", 0) == 0) {
      continue;
    } else if (c.rfind("sleep:", 0) == 0) {
      Sleep(DWORD(std::atoi(c.c_str() + 6)));
    }
    std::printf("%s %.0fms busy=%d running=%d info=%d\n", c.c_str(), Now() - start, int(bridge->Busy()),
                int(bridge->GameRunning()), int(bridge->Info()));
  }
  Sleep(200);  // notifications of the worker are already posted; give stragglers a moment
  for (size_t i = 0; i < recorders.size(); ++i) {
    bridge->Listeners().Detach(&recorders[i]);
    std::lock_guard<std::mutex> hold(recorders[i].lock);
    std::printf("listener%zu events=%s\n", i, recorders[i].events.c_str());
  }
  std::printf("summary path=%s\nresult path=%s\nworker done=%d\n", bridge->SummaryPath(), bridge->ResultPath(),
              int(bridge->WorkerDone()));
  PROCESS_MEMORY_COUNTERS_EX m{};
  m.cb = sizeof m;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m);
  std::printf("memory private_kb=%lu peak_commit_kb=%lu peak_working_set_kb=%lu\n",
              (unsigned long)(m.PrivateUsage / 1024), (unsigned long)(m.PeakPagefileUsage / 1024),
              (unsigned long)(m.PeakWorkingSetSize / 1024));
  std::fflush(stdout);
  // The bridge is never destroyed: the process ends with it, as a host would.
  ExitProcess(0);
}
