// Benchmark under Wine: whole runs of the capture program on the current screen, one per
// format, beside the floor of starting and ending a program that does nothing and beside
// the writers' own time on a capture of the same screen; the peak memory of each run,
// read from its process once it has ended, as a ratio to the raw 32-bit screen.
// Usage: bench_run.exe PIXO.EXE NOTHING.EXE FOLDER
#include <windows.h>
// after windows.h
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "pixo/capture/clipboard.h"
#include "pixo/capture/grabber.h"
#include "pixo/capture/jpeg_image.h"
#include "pixo/capture/output_writers.h"
#include "pixo/capture/tbitmap.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct RunFigures {
  double ms = 1e30;
  SIZE_T peakWorkingSet = 0, peakCommit = 0;
  DWORD exitCode = 0;
};

// Starts the program with the arguments in the folder and waits for its end; the best
// time of the rounds and the largest peaks.
RunFigures Run(const std::wstring& exe, const std::wstring& args, const std::wstring& folder, int rounds) {
  RunFigures f;
  for (int i = 0; i < rounds; ++i) {
    std::wstring line = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const auto t0 = Clock::now();
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) {
      f.exitCode = 9999;
      return f;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    f.ms = std::min(f.ms, Ms(t0, Clock::now()));
    PROCESS_MEMORY_COUNTERS m{};
    m.cb = sizeof m;
    if (GetProcessMemoryInfo(pi.hProcess, &m, sizeof m)) {
      f.peakWorkingSet = std::max(f.peakWorkingSet, m.PeakWorkingSetSize);
      f.peakCommit = std::max(f.peakCommit, m.PeakPagefileUsage);
    }
    GetExitCodeProcess(pi.hProcess, &f.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return f;
}

std::wstring Wide(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring w(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
  w.resize(size_t(n - 1));
  return w;
}

template <typename F>
double Best(int rounds, F f) {
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    const auto t0 = Clock::now();
    f();
    best = std::min(best, Ms(t0, Clock::now()));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::wstring pixo = Wide(argv[1]), nothing = Wide(argv[2]), folder = Wide(argv[3]);
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  const double raw = double(w) * h * 4;
  const int rounds = 3;

  // The writers' own time on a capture of this screen, written into the folder.
  pixo::ScreenGrabber grabber;
  pixo::TBitmap image;
  const double capture = Best(rounds, [&] { image = grabber.Capture(); });
  const std::wstring base = folder + L"\\own";
  struct Format {
    const char* name;
    const wchar_t* args;
    double own;
  };
  Format formats[] = {
      {"BMP", L"run.bmp", Best(rounds, [&] { image.SaveToFile(base + L".bmp"); })},
      {"JPEG", L"/J run.jpg",
       Best(rounds,
            [&] {
              pixo::TJPEGImage jpeg;
              jpeg.Assign(image);
              jpeg.Quality = 70;
              jpeg.Compress();
              jpeg.SaveToFile(base + L".jpg");
            })},
      {"PNG", L"/N run.png", Best(rounds, [&] { pixo::WritePng(image, base + L".png"); })},
      {"GIF", L"/GF run.gif",
       Best(rounds,
            [&] {
              pixo::TBitmap copy;
              copy.Assign(image);
              pixo::WriteGif(copy, base + L".gif");
            })},
      // The clipboard alone: at most one more image beyond the capture.
      {"/CB", L"/CB", Best(rounds, [&] { pixo::CopyToClipboard(image); })},
  };

  const RunFigures floor = Run(nothing, L"", folder, 5);
  std::printf(
      "screen %dx%d, raw 32-bit size %.1f MiB; a program that does nothing: %.0f ms (peak working set "
      "%.1f MiB)\n",
      w, h, raw / 1048576, floor.ms, double(floor.peakWorkingSet) / 1048576);
  std::printf("  %-5s %9s %9s %9s %8s %11s %11s %8s %8s\n", "", "run ms", "beyond", "own ms", "ratio", "peak WS MiB",
              "commit MiB", "WS/raw", "cm/raw");
  const RunFigures tiny = Run(pixo, L"/R:0,0,1,1 tiny.bmp", folder, rounds);
  std::printf(
      "  (pixo.exe capturing one pixel: %.0f ms, peak working set %.1f MiB; the capture of the screen "
      "alone: %.0f ms)\n",
      tiny.ms, double(tiny.peakWorkingSet) / 1048576, capture);
  for (Format& f : formats) {
    const RunFigures r = Run(pixo, f.args, folder, rounds);
    if (r.exitCode != 0) std::printf("  %-5s exit code %lu\n", f.name, (unsigned long)r.exitCode);
    const double beyond = r.ms - floor.ms;
    std::printf("  %-5s %9.0f %9.0f %9.0f %8.2f %11.1f %11.1f %8.2f %8.2f\n", f.name, r.ms, beyond, f.own,
                beyond / f.own, double(r.peakWorkingSet) / 1048576, double(r.peakCommit) / 1048576,
                double(r.peakWorkingSet) / raw, double(r.peakCommit) / raw);
  }
  for (const wchar_t* ext : {L".bmp", L".jpg", L".png", L".gif"}) DeleteFileW((base + ext).c_str());
  DeleteFileW((folder + L"\\tiny.bmp").c_str());
  return 0;
}
