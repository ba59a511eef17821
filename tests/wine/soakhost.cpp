// Soak and leak host: runs the deliverables for a long time in one process and compares
// the process's resources at the end with those after the first round.
// Usage:
//   soakhost.exe controls N     N cycles of creating the registered control, playing a
//                               game to its result, ending it and releasing the control
//   soakhost.exe hands N        one control, N hands against whatever engine is installed
//                               (a new game after each result, End and Start every 50)
//   soakhost.exe pixo N EXE DIR N runs of the capture program EXE of mixed formats and
//                               switches, writing into DIR
// Prints "first ..." and "last ..." resource lines, the longest method call, and
// "soak: ok" or "soak: FAILED <why>" lines; the exit code is 0 only when all is well.
#include <windows.h>
// after windows.h
#include <ocidl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tavo/hostkit/hostkit.h"
#include "tavo/control/tavo_ids.h"

namespace {

int g_failures = 0;

void Fail(const std::string& why) {
  std::printf("soak: FAILED %s\n", why.c_str());
  ++g_failures;
}

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

// What the process holds. Where the system does not count something for us (Wine
// counts neither handles, GDI and USER objects nor private memory), it is counted by
// hand: open handles by probing every handle value, windows by enumerating those of the
// process's threads, private memory by walking the address space.
struct Resources {
  DWORD handles = 0, gdi = 0, user = 0, windows = 0, threads = 0;
  SIZE_T privateKb = 0;
};

DWORD CountHandles() {
  DWORD n = 0;
  for (uintptr_t h = 4; h < 0x10000; h += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) ++n;
  }
  return n;
}

BOOL CALLBACK CountWindow(HWND w, LPARAM counter) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == GetCurrentProcessId()) {
    ++*reinterpret_cast<DWORD*>(counter);
    EnumChildWindows(w, CountWindow, counter);
  }
  return TRUE;
}

SIZE_T PrivateCommittedKb() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION m;
  for (const char* p = nullptr; VirtualQuery(p, &m, sizeof m) == sizeof m;) {
    if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) total += m.RegionSize;
    const char* next = static_cast<const char*>(m.BaseAddress) + m.RegionSize;
    if (next <= p) break;
    p = next;
  }
  return total / 1024;
}

Resources Measure() {
  Resources r;
  GetProcessHandleCount(GetCurrentProcess(), &r.handles);
  if (r.handles == 0) r.handles = CountHandles();
  r.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  r.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&r.windows));
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap != INVALID_HANDLE_VALUE) {
    THREADENTRY32 t{};
    t.dwSize = sizeof t;
    for (BOOL ok = Thread32First(snap, &t); ok; ok = Thread32Next(snap, &t))
      if (t.th32OwnerProcessID == GetCurrentProcessId()) ++r.threads;
    CloseHandle(snap);
  }
  PROCESS_MEMORY_COUNTERS_EX m{};
  m.cb = sizeof m;
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m))
    r.privateKb = m.PrivateUsage / 1024;
  if (r.privateKb == 0) r.privateKb = PrivateCommittedKb();
  return r;
}

void Print(const char* label, const Resources& r) {
  std::printf("%s handles=%lu gdi=%lu user=%lu windows=%lu threads=%lu private_kb=%lu\n", label,
              (unsigned long)r.handles, (unsigned long)r.gdi, (unsigned long)r.user, (unsigned long)r.windows,
              (unsigned long)r.threads, (unsigned long)r.privateKb);
}

// The growth the soak allows between the first round and the last: 16 handles and 4 GDI
// or USER objects that the system or the runtime makes once (thread pools, caches), no
// window, one thread, and 2 MiB of private memory for heaps that grow in steps.
void CompareResources(const Resources& first, const Resources& last) {
  Print("first", first);
  Print("last", last);
  if (last.handles > first.handles + 16)
    Fail("handles grew from " + std::to_string(first.handles) + " to " + std::to_string(last.handles));
  if (last.gdi > first.gdi + 4) Fail("GDI objects grew");
  if (last.user > first.user + 4) Fail("USER objects grew");
  if (last.windows > first.windows)
    Fail("windows grew from " + std::to_string(first.windows) + " to " + std::to_string(last.windows));
  if (last.threads > first.threads + 1)
    Fail("threads grew from " + std::to_string(first.threads) + " to " + std::to_string(last.threads));
  if (last.privateKb > first.privateKb + 2048)
    Fail("private memory grew by " + std::to_string(last.privateKb - first.privateKb) + " KiB");
}

// ---- the control ----

bool g_inCall = false;

class Counter : public hostkit::EventSink {
 public:
  Counter() : EventSink(DIID__DTavoEvents) {}
  int events[5] = {};
  int insideCall = 0;
  void OnEvent(DISPID id) override {
    if (g_inCall) ++insideCall;
    if (id >= 1 && id <= 4) ++events[id];
  }
};

// Dispatches what is queued, without waiting.
void PumpQueued() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

double g_longestCall = 0;
std::string g_longestName;

void Call(IDispatch* ctl, const wchar_t* name) {
  g_inCall = true;
  const double start = Now();
  hostkit::Call(ctl, name);
  const double took = Now() - start;
  g_inCall = false;
  if (took > g_longestCall) {
    g_longestCall = took;
    char narrow[32];
    WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, sizeof narrow, nullptr, nullptr);
    g_longestName = narrow;
  }
  PumpQueued();
}

IDispatch* CreateControl() {
  IDispatch* d = nullptr;
  CoCreateInstance(CLSID_Tavo, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&d));
  return d;
}

const wchar_t* const kHands[] = {L"Goo", L"Choki", L"Pah"};

int SoakControls(int cycles) {
  Resources first;
  int results = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    IDispatch* ctl = CreateControl();
    if (!ctl) {
      Fail("the control could not be created in cycle " + std::to_string(cycle));
      break;
    }
    Counter sink;
    const DWORD cookie = hostkit::Connect(ctl, DIID__DTavoEvents, &sink);
    if (!cookie) Fail("no connection in cycle " + std::to_string(cycle));
    Call(ctl, L"Start");
    for (int h = 0; h < 30 && sink.events[3] == 0; ++h) {
      Call(ctl, kHands[(h * 5 + cycle) % 3]);
      hostkit::Pump(0);
    }
    results += sink.events[3] ? 1 : 0;
    Call(ctl, L"Master");
    Call(ctl, L"End");
    hostkit::Pump(0);
    if (sink.insideCall) Fail("an event arrived inside a call in cycle " + std::to_string(cycle));
    hostkit::Disconnect(ctl, DIID__DTavoEvents, cookie);
    const ULONG left = ctl->Release();
    if (left != 0) Fail("the last Release returned " + std::to_string(left) + " in cycle " + std::to_string(cycle));
    if (sink.References() != 1) Fail("the control kept the sink in cycle " + std::to_string(cycle));
    if (cycle == 0) first = Measure();
  }
  const Resources last = Measure();
  std::printf("controls cycles=%d results=%d longest_call_ms=%.0f (%s)\n", cycles, results, g_longestCall,
              g_longestName.c_str());
  if (results != cycles)
    Fail("only " + std::to_string(results) + " of " + std::to_string(cycles) + " games reached their result");
  CompareResources(first, last);
  return 0;
}

int SoakHands(int hands) {
  IDispatch* ctl = CreateControl();
  if (!ctl) {
    Fail("the control could not be created");
    return 1;
  }
  Counter sink;
  const DWORD cookie = hostkit::Connect(ctl, DIID__DTavoEvents, &sink);
  Resources first;
  int starts = 0;
  int seenResults = 0;
  bool running = false;
  for (int h = 0; h < hands; ++h) {
    if (!running || h % 50 == 0) {
      if (h % 50 == 0 && h > 0) {
        Call(ctl, L"Master");
        Call(ctl, L"End");
      }
      Call(ctl, L"Start");
      ++starts;
      running = true;
    }
    Call(ctl, kHands[(h * 7 + h / 3) % 3]);
    hostkit::Pump(0);
    if (sink.events[3] != seenResults) {
      seenResults = sink.events[3];
      running = false;
    }
    // A crashed engine leaves its game without a result: a game has ten hands, so
    // after ten a new one starts in any case.
    if (h % 10 == 9) running = false;
    if (h == 99) first = Measure();
  }
  Call(ctl, L"Master");
  Call(ctl, L"End");
  hostkit::Pump(200);
  const Resources last = Measure();
  std::printf("hands hands=%d starts=%d results=%d summaries=%d inside_call=%d longest_call_ms=%.0f (%s)\n", hands,
              starts, sink.events[3], sink.events[1], sink.insideCall, g_longestCall, g_longestName.c_str());
  if (sink.insideCall) Fail("events arrived inside calls");
  if (sink.events[1] == 0 || sink.events[3] == 0) Fail("no summary or no result at all");
  // The longest wait a method may have: the deadline of a reply, the end of the engine
  // and its reader, and a new engine's start.
  if (g_longestCall > 22000) Fail("a method call took " + std::to_string(int(g_longestCall)) + " ms");
  hostkit::Disconnect(ctl, DIID__DTavoEvents, cookie);
  const ULONG left = ctl->Release();
  if (left != 0) Fail("the last Release returned " + std::to_string(left));
  if (hands >= 100) CompareResources(first, last);
  return 0;
}

// ---- the capture program ----

struct PixoRun {
  const char* args;
  const char* output;  // the file it makes, or null
  DWORD exitCode;
  const char* message;  // a part of what it writes on standard error, or null
};

const PixoRun kRuns[] = {
    {"/N soak.png", "soak.png", 0, nullptr},
    {"/J /JQ80 soak.jpg", "soak.jpg", 0, nullptr},
    {"/GF soak.gif", "soak.gif", 0, nullptr},
    {"soak.bmp", "soak.bmp", 0, nullptr},
    {"/Q /R:10,20,300,200 /N rect.png", "rect.png", 0, nullptr},
    {"/Q /V /J /JQ50 all.jpg", "all.jpg", 0, nullptr},
    {"/Q /C /GF cursor.gif", "cursor.gif", 0, nullptr},
    {"/Q /M:9 /N nine.png", nullptr, 2, "ETargetError"},
    {"/Q /R:0,0,0,5 zero.png", nullptr, 4, "EInvalidArgument"},
    {"/Q /N missing\\folder\\x.png", nullptr, 1, "EFCreateError"},
};

// Runs the program with the arguments, standard error into a pipe; its exit code and
// what it wrote there.
bool RunProgram(const std::wstring& exe, const std::wstring& dir, const std::string& args, DWORD& code,
                std::string& err) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return false;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = writeEnd;
  std::wstring line = L"\"" + exe + L"\" " + std::wstring(args.begin(), args.end());
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return false;
  }
  char buffer[512];
  DWORD got = 0;
  err.clear();
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) err.append(buffer, got);
  CloseHandle(readEnd);
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

std::set<std::wstring> FolderNames(const std::wstring& dir) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW f;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &f);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::wcscmp(f.cFileName, L".") && std::wcscmp(f.cFileName, L"..")) names.insert(f.cFileName);
  } while (FindNextFileW(h, &f));
  FindClose(h);
  return names;
}

std::wstring Wide(const char* s) { return std::wstring(s, s + std::strlen(s)); }

int SoakPixo(int runs, const std::wstring& exe, const std::wstring& dir) {
  std::set<std::wstring> expected = FolderNames(dir);
  int ok = 0;
  const double start = Now();
  for (int i = 0; i < runs; ++i) {
    const PixoRun& r = kRuns[i % (sizeof kRuns / sizeof kRuns[0])];
    DWORD code = 0;
    std::string err;
    if (!RunProgram(exe, dir, r.args, code, err)) {
      Fail(std::string("could not start the program for ") + r.args);
      break;
    }
    const std::string what = std::string("run ") + std::to_string(i) + " (" + r.args + ")";
    bool good = true;
    if (code != r.exitCode) {
      Fail(what + " exited " + std::to_string(code) + ": " + err);
      good = false;
    }
    if (r.message && err.find(r.message) == std::string::npos) {
      Fail(what + " did not say " + r.message + ": " + err);
      good = false;
    }
    if (r.output) {
      expected.insert(Wide(r.output));
      WIN32_FILE_ATTRIBUTE_DATA a;
      if (!GetFileAttributesExW((dir + L"\\" + Wide(r.output)).c_str(), GetFileExInfoStandard, &a) ||
          (a.nFileSizeLow == 0 && a.nFileSizeHigh == 0)) {
        Fail(what + " left no file");
        good = false;
      }
    }
    if (FolderNames(dir) != expected) {
      Fail(what + " changed something else in the folder (a temporary file?)");
      good = false;
      expected = FolderNames(dir);
    }
    ok += good ? 1 : 0;
  }
  std::printf("pixo runs=%d as_expected=%d ms_per_run=%.0f\n", runs, ok, (Now() - start) / runs);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  const int n = std::atoi(argv[2]);
  if (mode == "pixo" && argc >= 5) {
    const int len1 = MultiByteToWideChar(CP_UTF8, 0, argv[3], -1, nullptr, 0);
    std::wstring exe(size_t(len1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, argv[3], -1, exe.data(), len1);
    exe.resize(size_t(len1 - 1));
    const int len2 = MultiByteToWideChar(CP_UTF8, 0, argv[4], -1, nullptr, 0);
    std::wstring dir(size_t(len2), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, argv[4], -1, dir.data(), len2);
    dir.resize(size_t(len2 - 1));
    SoakPixo(n, exe, dir);
  } else if (mode == "controls" || mode == "hands") {
    OleInitialize(nullptr);
    if (mode == "controls")
      SoakControls(n);
    else
      SoakHands(n);
    OleUninitialize();
  } else {
    return 2;
  }
  std::printf("soak: %s\n", g_failures ? "failures" : "ok");
  std::fflush(stdout);
  return g_failures ? 1 : 0;
}
