// Benchmark under Wine: whole runs of the capture program on the current screen, one per
// format, beside the floor of any GDI capture (a program that starts, copies the screen
// into a DIB section and ends: the fastest of one copy and bands, at 32 and 24 bits), the
// capture program taking one pixel, and the writers' own time on a capture of the same
// screen. Every round runs each of them once, in turn (interleaved), and each keeps its
// best time; a last round reads the peak memory of each run while it runs.
// Usage: bench_run.exe PIXO.EXE NOTHING.EXE FLOORGRAB.EXE FOLDER (run.jpg and run.png stay
// there, for a comparison with a native capture program).
#include <windows.h>
// after windows.h
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "pixo/capture/clipboard.h"
#include "pixo/capture/early_writer.h"
#include "pixo/capture/grabber.h"
#include "pixo/capture/jpeg_image.h"
#include "pixo/capture/shot_writer.h"
#include "pixo/capture/tbitmap.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct RunFigures {
  double ms = 1e30;
  SIZE_T peakWorkingSet = 0, peakCommit = 0;
  DWORD exitCode = 0;
};

// Reads the process's peak memory into f, keeping the largest seen; false when the system
// no longer tells it.
bool ReadPeaks(HANDLE process, RunFigures& f) {
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  if (!GetProcessMemoryInfo(process, &m, sizeof m) || m.PeakWorkingSetSize == 0) return false;
  f.peakWorkingSet = std::max(f.peakWorkingSet, m.PeakWorkingSetSize);
  f.peakCommit = std::max(f.peakCommit, m.PeakPagefileUsage);
  return true;
}

// Starts the program with the arguments in the folder and waits for its end. A timed run
// keeps the best time in f. A watched run (its time not counted) reads the peak memory
// every 2 ms while the process runs: once it has ended, Wine tells it only now and then.
void Run(const std::wstring& exe, const std::wstring& args, const std::wstring& folder, bool watched,
         RunFigures& f) {
  std::wstring line = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const auto t0 = Clock::now();
  if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) {
    f.exitCode = 9999;
    return;
  }
  if (watched) {
    while (WaitForSingleObject(pi.hProcess, 2) == WAIT_TIMEOUT) ReadPeaks(pi.hProcess, f);
    ReadPeaks(pi.hProcess, f);
  } else {
    WaitForSingleObject(pi.hProcess, INFINITE);
    f.ms = std::min(f.ms, Ms(t0, Clock::now()));
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  if (code != 0) f.exitCode = code;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

std::wstring Wide(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring w(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
  w.resize(size_t(n - 1));
  return w;
}

// Times the reading of a capture, from the first band asked for to the last one landed,
// and passes the news on to a writer, if any.
struct ReadTimer : pixo::CaptureListener {
  pixo::CaptureListener* next = nullptr;
  Clock::time_point first, last;
  void Started(const pixo::TBitmap& image) override {
    first = Clock::now();
    if (next) next->Started(image);
  }
  void WhileReading() override {
    if (next) next->WhileReading();
  }
  void Landed(int rows) override {
    if (next) next->Landed(rows);
    last = Clock::now();
  }
  void Stopped() override {
    if (next) next->Stopped();
  }
  void ReaderEnds() override {
    if (next) next->ReaderEnds();
  }
};

// The reading of the screen in this process, alone or while a writer writes the file as
// the rows land: the best of three of the time from the first band to the last, and of
// the time the file took beyond the last band.
struct ReadFigures {
  double read = 1e30, after = 1e30;
};
// A file written by the shot writer, as a run writes it.
template <typename Image>
void Save(pixo::ImageFormat format, Image& image, const std::wstring& name,
          const pixo::ParallelIdatWriter::Lend& lend = nullptr) {
  pixo::WriteOptions options;
  options.lend = lend;
  pixo::FileStream file(name);
  pixo::WriteImage(format, image, options, file);
  file.Commit();
}

ReadFigures ReadWhileWriting(const pixo::EarlyWriter::Write& write) {
  ReadFigures f;
  for (int i = 0; i < 3; ++i) {
    pixo::EarlyWriter writer(write);
    ReadTimer timer;
    if (write) timer.next = &writer;
    pixo::ScreenGrabber grabber;
    grabber.listener = &timer;
    const pixo::TBitmap image = grabber.Capture();
    if (writer.Writing()) writer.Finish();
    f.read = std::min(f.read, Ms(timer.first, timer.last));
    f.after = std::min(f.after, Ms(timer.last, Clock::now()));
  }
  return f;
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
  if (argc < 5) return 2;
  const std::wstring pixo = Wide(argv[1]), nothing = Wide(argv[2]), floorgrab = Wide(argv[3]), folder = Wide(argv[4]);
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  const double raw = double(w) * h * 4, MiB = 1048576;
  const int rounds = 5;

  // The writers' own time on a capture of this screen, written into the folder.
  pixo::ScreenGrabber grabber;
  pixo::TBitmap image;
  const double capture = Best(3, [&] { image = grabber.Capture(); });
  const std::wstring base = folder + L"\\own";
  const ReadFigures alone = ReadWhileWriting(nullptr);
  using Lend = pixo::ParallelIdatWriter::Lend;
  const ReadFigures withJpeg = ReadWhileWriting(
      [&](const pixo::ImageView& rows, const Lend&) { Save(pixo::ImageFormat::Jpeg, rows, base + L".jpg"); });
  const ReadFigures withPng = ReadWhileWriting(
      [&](const pixo::ImageView& rows, const Lend& lend) { Save(pixo::ImageFormat::Png, rows, base + L".png", lend); });
  struct Format {
    const char* name;
    const wchar_t* args;
    double own;
    RunFigures run;
  };
  Format formats[] = {
      {"BMP", L"run.bmp", Best(3, [&] { Save(pixo::ImageFormat::Bmp, image, base + L".bmp"); }), {}},
      {"JPEG", L"/J run.jpg",
       Best(3,
            [&] {
              pixo::TJPEGImage jpeg;
              jpeg.Assign(image);
              jpeg.Quality = 70;
              jpeg.Compress();
              pixo::FileStream file(base + L".jpg");
              jpeg.SaveToStream(file);
              file.Commit();
            }),
       {}},
      {"PNG", L"/N run.png", Best(3, [&] { Save(pixo::ImageFormat::Png, image, base + L".png"); }), {}},
      {"GIF", L"/GF run.gif",
       Best(3,
            [&] {
              pixo::TBitmap copy;
              copy.Assign(image);
              Save(pixo::ImageFormat::Gif, copy, base + L".gif");
            }),
       {}},
      // The clipboard alone: at most one more image beyond the capture.
      {"/CB", L"/CB", Best(3, [&] { pixo::CopyToClipboard(image); }), {}},
  };
  struct Floor {
    const wchar_t* args;
    RunFigures run;
  } floors[] = {{L"32", {}}, {L"24", {}}, {L"32 bands", {}}, {L"24 bands", {}}};
  const char* floorNames[] = {"one copy at 32 bits", "at 24 bits", "bands at 32 bits", "at 24 bits"};
  RunFigures nothingRun, tiny;
  // The timed rounds, then one watched round for the memory.
  for (int round = 0; round <= rounds; ++round) {
    const bool watched = round == rounds;
    Run(nothing, L"", folder, watched, nothingRun);
    for (Floor& f : floors) Run(floorgrab, f.args, folder, watched, f.run);
    Run(pixo, L"/R:0,0,1,1 tiny.bmp", folder, watched, tiny);
    for (Format& f : formats) Run(pixo, f.args, folder, watched, f.run);
  }
  const Floor* floor = &floors[0];
  for (const Floor& f : floors)
    if (f.run.ms < floor->run.ms) floor = &f;

  std::printf("screen %dx%d, raw 32-bit size %.1f MiB; %d interleaved rounds, best of each\n", w, h, raw / MiB, rounds);
  std::printf("  a program that does nothing: %.0f ms\n", nothingRun.ms);
  std::printf("  the floor (a program that copies the screen into a DIB section): %.0f ms (", floor->run.ms);
  for (const Floor& f : floors) std::printf("%s%s %.0f", &f == floors ? "" : ", ", floorNames[&f - floors], f.run.ms);
  std::printf(")\n  pixo.exe capturing one pixel: %.0f ms, peak working set %.1f MiB; the capture of the screen "
              "in this process: %.0f ms\n",
              tiny.ms, double(tiny.peakWorkingSet) / MiB, capture);
  std::printf("  the reading in this process, first band to last: %.0f ms alone, %.0f ms while the JPEG is written"
              " (done %.0f ms after the last band), %.0f ms while the PNG is written (done %.0f ms after)\n",
              alone.read, withJpeg.read, withJpeg.after, withPng.read, withPng.after);
  std::printf("  %-5s %8s %8s %9s %8s %9s %9s %10s\n", "", "run ms", "x floor", "-1px ms", "own ms", "WS MiB",
              "commit MiB", "WS-1px/raw");
  for (Format& f : formats) {
    const RunFigures& r = f.run;
    if (r.exitCode != 0) std::printf("  %-5s exit code %lu\n", f.name, (unsigned long)r.exitCode);
    std::printf("  %-5s %8.0f %8.2f %9.0f %8.0f %9.1f %9.1f %10.2f\n", f.name, r.ms, r.ms / floor->run.ms,
                r.ms - tiny.ms, f.own, double(r.peakWorkingSet) / MiB, double(r.peakCommit) / MiB,
                (double(r.peakWorkingSet) - double(tiny.peakWorkingSet)) / raw);
  }
  for (const wchar_t* ext : {L".bmp", L".jpg", L".png", L".gif"}) DeleteFileW((base + ext).c_str());
  // run.jpg and run.png stay, for a comparison with a native capture program.
  for (const wchar_t* name : {L"\\tiny.bmp", L"\\run.bmp", L"\\run.gif"}) DeleteFileW((folder + name).c_str());
  return 0;
}
