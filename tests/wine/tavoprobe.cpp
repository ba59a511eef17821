// Test host for the control's hard cases: plays through the control as a host does, with
// its events counted, and says what it saw. Usage:
//   tavoprobe.exe loop N [OCX]   Start, Goo, then N times End, Start, Goo with no pause:
//                                every Start must start a game (its reply and the hand's
//                                reply both come back as SummaryUpdated)
//   tavoprobe.exe play N [OCX]   N whole games; with the fake engine's pid mode, each
//                                game's INFO, its kekka.txt and every log.txt line must
//                                name this host's own engine, and no event may be lost
//   tavoprobe.exe dead [OCX]     against no engine: no NewGameStarted, INFO -1, every
//                                method returns S_OK
//   tavoprobe.exe calls [OCX]    calls by name and reads the properties; prints them
//   tavoprobe.exe held file|folder   a hand, then summary.txt held by another program
//                                (open for reading alone, holding "INFO: 7"), or a
//                                folder in its place, for three hands: each returns at
//                                once with no SummaryUpdated and INFO the last good value;
//                                then freed, the game goes on and after its result INFO 2
//   tavoprobe.exe squat DIR      every record folder of DIR (DIR, DIR\host2 ... host64)
//                                claimed by another holder: no game, as with no engine
// OCX: a control file loaded without registration (any length, \\?\ names too); else the
// registered control. Exit code 0 when every check held.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tavo/control/tavo_ids.h"
#include "tavo/hostkit/hostkit.h"

namespace {

int g_failed = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    ++g_failed;
    std::printf("FAIL: %s\n", what.c_str());
  }
}

class Sink : public hostkit::EventSink {
 public:
  Sink() : EventSink(DIID__DTavoEvents) {}
  void OnEvent(DISPID id) override {
    if (id >= 1 && id <= 4) ++count[id];
  }
  int count[5] = {};
  int Summaries() const { return count[DISPID_TAVOEVENT_SUMMARYUPDATED]; }
  int NewGames() const { return count[DISPID_TAVOEVENT_NEWGAMESTARTED]; }
  int Results() const { return count[DISPID_TAVOEVENT_RESULTUPDATED]; }
};

IDispatch* CreateControl(const wchar_t* ocx) {
  if (!ocx) return hostkit::CreateInstance<IDispatch>(CLSID_Tavo, IID_IDispatch);
  const hostkit::GetClassObjectFn getClassObject = hostkit::ClassObjectOf(LoadLibraryW(ocx));
  return getClassObject ? hostkit::CreateInstance<IDispatch>(CLSID_Tavo, IID_IDispatch, getClassObject) : nullptr;
}

int Info(IDispatch* control) {
  VARIANT v;
  if (FAILED(hostkit::Call(control, L"INFO", &v)) || V_VT(&v) != VT_I2) return -99999;
  return V_I2(&v);
}

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += c < 128 ? char(c) : '?';
  return s;
}

// Every "pid N" a text names.
std::set<int> Pids(const std::string& text) {
  std::set<int> pids;
  for (size_t at = text.find("pid "); at != std::string::npos; at = text.find("pid ", at + 4))
    pids.insert(std::atoi(text.c_str() + at + 4));
  return pids;
}

// Pumps until the sink's count of an event reaches a value, for at most ms.
bool PumpUntil(const Sink& sink, DISPID id, int value, DWORD ms) {
  const DWORD start = GetTickCount();
  while (sink.count[id] < value && GetTickCount() - start < ms) hostkit::Pump(5);
  return sink.count[id] >= value;
}

void Loop(IDispatch* control, Sink& sink, int n) {
  hostkit::Call(control, L"Master");
  int started = 0;
  for (int i = 0; i <= n; ++i) {
    const int before = sink.Summaries();
    if (i > 0) hostkit::Call(control, L"End");
    hostkit::Call(control, L"Start");
    hostkit::Call(control, L"Goo");
    // The game started when Start's reply and the hand's reply both came.
    if (PumpUntil(sink, DISPID_TAVOEVENT_SUMMARYUPDATED, before + 2, 3000)) ++started;
  }
  std::printf("loop: %d of %d games started\n", started, n + 1);
  Check(started == n + 1, "every Start after End started a game");
}

void Play(IDispatch* control, Sink& sink, int games) {
  static const wchar_t* const kHands[3] = {L"Goo", L"Choki", L"Pah"};
  const std::wstring result = hostkit::GetString(control, L"ResultFile");
  std::set<int> infos;
  int whole = 0, hands = 0, answered = 0;
  for (int g = 0; g < games; ++g) {
    const int newGames = sink.NewGames(), results = sink.Results();
    hostkit::Call(control, L"Start");
    std::set<int> seen;
    bool over = false;
    for (int h = 0; h < 30 && !over; ++h) {
      const int summaries = sink.Summaries();
      hostkit::Call(control, kHands[(g + h) % 3]);
      ++hands;
      const DWORD start = GetTickCount();
      while (sink.Summaries() == summaries && sink.Results() == results && GetTickCount() - start < 3000)
        hostkit::Pump(5);
      over = sink.Results() > results;
      if (over || sink.Summaries() > summaries) ++answered;
      // INFO names the engine until the result; then it reads 2.
      if (!over) seen.insert(Info(control));
    }
    PumpUntil(sink, DISPID_TAVOEVENT_NEWGAMESTARTED, newGames + 1, 1000);
    const std::set<int> tablePids = Pids(hostkit::ReadRecordFile(result));
    // One engine answered the whole game, and the result table is its own.
    const bool own = seen.size() == 1 && (tablePids.empty() || tablePids == seen);
    if (over && own && sink.NewGames() == newGames + 1) ++whole;
    infos.insert(seen.begin(), seen.end());
  }
  const std::wstring folder = hostkit::GetString(control, L"WorkDirectory");
  const std::set<int> logPids = Pids(hostkit::ReadRecordFile(folder + L"\\log.txt"));
  bool logOwn = true;
  for (int p : logPids) logOwn = logOwn && infos.count(p) > 0;
  std::printf("play: %d of %d games whole, %d of %d hands answered, %d NewGameStarted, %d ResultUpdated\n", whole,
              games, answered, hands, sink.NewGames(), sink.Results());
  std::printf("folder: %s\n", Narrow(folder).c_str());
  std::printf("log names %d engines, all of them this host's: %s\n", int(logPids.size()), logOwn ? "yes" : "no");
  Check(whole == games, "every game whole, answered by one engine, its result table its own");
  Check(answered == hands, "every hand answered by an event");
  Check(sink.NewGames() == games && sink.Results() == games, "one NewGameStarted and one ResultUpdated a game");
  Check(logOwn, "log.txt holds this host's engines alone");
}

void Dead(IDispatch* control, Sink& sink) {
  bool ok = SUCCEEDED(hostkit::Call(control, L"Master"));
  for (int i = 0; i < 3; ++i) {
    ok = SUCCEEDED(hostkit::Call(control, L"Start")) && ok;
    ok = SUCCEEDED(hostkit::Call(control, L"Goo")) && ok;
  }
  ok = SUCCEEDED(hostkit::Call(control, L"End")) && ok;
  hostkit::Pump(500);
  const int info = Info(control);
  std::printf("dead: %d NewGameStarted, INFO %d, every call S_OK: %s\n", sink.NewGames(), info, ok ? "yes" : "no");
  Check(sink.NewGames() == 0, "no NewGameStarted without an engine");
  Check(info == -1, "INFO says there is no game (-1)");
  Check(ok, "every method returns S_OK");
}

// Calls a method and says how long it took, in ms.
DWORD Timed(IDispatch* control, const wchar_t* name) {
  const DWORD start = GetTickCount();
  hostkit::Call(control, name);
  return GetTickCount() - start;
}

void Held(IDispatch* control, Sink& sink, const std::string& how) {
  const std::wstring summary = hostkit::GetString(control, L"SummaryFile");
  hostkit::Call(control, L"Start");
  hostkit::Call(control, L"Goo");
  PumpUntil(sink, DISPID_TAVOEVENT_SUMMARYUPDATED, 2, 3000);
  const int good = Info(control);
  HANDLE holder = INVALID_HANDLE_VALUE;
  if (how == "folder") {
    DeleteFileW(summary.c_str());
    CreateDirectoryW(summary.c_str(), nullptr);
  } else {
    holder = CreateFileW(summary.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(holder, "INFO: 7\r\n", 9, &written, nullptr);
  }
  const int before = sink.Summaries();
  DWORD longest = 0;
  for (const wchar_t* hand : {L"Choki", L"Pah", L"Goo"}) longest = std::max(longest, Timed(control, hand));
  hostkit::Pump(500);
  const int events = sink.Summaries() - before, info = Info(control);
  std::printf("held %s: longest hand %lu ms, %d SummaryUpdated, INFO %d (last good %d)\n", how.c_str(),
              static_cast<unsigned long>(longest), events, info, good);
  Check(longest < 500, "every hand returns within half a second");
  Check(events == 0, "no SummaryUpdated for a summary the engine did not write");
  Check(info == good, "INFO keeps its last good value");
  if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
  if (how == "folder") RemoveDirectoryW(summary.c_str());
  const int results = sink.Results();
  for (int h = 0; h < 30 && sink.Results() == results; ++h) {
    hostkit::Call(control, L"Goo");
    hostkit::Pump(50);
  }
  PumpUntil(sink, DISPID_TAVOEVENT_RESULTUPDATED, results + 1, 3000);
  std::printf("after the result: INFO %d\n", Info(control));
  Check(sink.Summaries() > before, "freed, the summary is read again");
  Check(Info(control) == 2, "after the hand that ends the game INFO reads 2");
}

// Holds the claim files of every record folder of dir, as hosts playing there would.
std::vector<HANDLE> HoldClaims(const std::wstring& dir) {
  std::vector<HANDLE> held;
  for (int host = 1; host <= 64; ++host) {
    const std::wstring folder = host == 1 ? dir : dir + L"\\host" + std::to_wstring(host);
    CreateDirectoryW(folder.c_str(), nullptr);
    held.push_back(CreateFileW((folder + L"\\host.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    Check(held.back() != INVALID_HANDLE_VALUE, "a claim is held");
  }
  return held;
}

void Calls(IDispatch* control) {
  for (const wchar_t* name : {L"Master", L"Start", L"Goo", L"End"})
    std::printf("%s: 0x%08lx\n", Narrow(name).c_str(), static_cast<unsigned long>(hostkit::Call(control, name)));
  std::printf("INFO: %d\n", Info(control));
  for (const wchar_t* name : {L"WorkDirectory", L"SummaryFile", L"ResultFile"})
    std::printf("%s: [%s]\n", Narrow(name).c_str(), Narrow(hostkit::GetString(control, name)).c_str());
  VARIANT v;
  for (DISPID id : {DISPID_TAVO_MASTER, DISPID_TAVO_START, DISPID_TAVO_GOO, DISPID_TAVO_END}) {
    const HRESULT hr = hostkit::CallId(control, id, &v, DISPATCH_METHOD);
    std::printf("by DISPID %ld: 0x%08lx\n", static_cast<long>(id), static_cast<unsigned long>(hr));
  }
  if (SUCCEEDED(hostkit::CallId(control, DISPID_TAVO_INFO, &v, DISPATCH_METHOD)) && V_VT(&v) == VT_I2)
    std::printf("INFO by DISPID: %d\n", V_I2(&v));
  if (SUCCEEDED(hostkit::CallId(control, DISPID_TAVO_WORKDIRECTORY, &v, DISPATCH_PROPERTYGET)) && V_VT(&v) == VT_BSTR)
    std::printf("WorkDirectory by DISPID: [%s]\n", Narrow(V_BSTR(&v)).c_str());
  VariantClear(&v);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string mode = argv[1];
  const bool counted = mode == "loop" || mode == "play";
  const bool named = mode == "held" || mode == "squat";  // the argument is no control file
  const int n = counted && argc > 2 ? std::atoi(argv[2]) : 0;
  const int ocxArg = counted || named ? 3 : 2;
  const auto wide = [](const char* text) {
    const int len = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring w(size_t(len > 0 ? len : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, w.data(), len);
    w.resize(std::wcslen(w.c_str()));
    return w;
  };
  const std::wstring ocx = argc > ocxArg ? wide(argv[ocxArg]) : std::wstring();
  const std::string arg = named && argc > 2 ? argv[2] : "";
  const std::vector<HANDLE> held = mode == "squat" ? HoldClaims(wide(arg.c_str())) : std::vector<HANDLE>();
  OleInitialize(nullptr);
  IDispatch* control = CreateControl(ocx.empty() ? nullptr : ocx.c_str());
  Check(control != nullptr, "the control is created");
  if (control) {
    Sink sink;
    const DWORD cookie = hostkit::Connect(control, DIID__DTavoEvents, &sink);
    Check(cookie != 0, "the event sink is connected");
    if (mode == "loop") Loop(control, sink, n);
    if (mode == "play") Play(control, sink, n);
    if (mode == "dead") Dead(control, sink);
    if (mode == "calls") Calls(control);
    if (mode == "held") Held(control, sink, arg);
    if (mode == "squat") Dead(control, sink);
    hostkit::Disconnect(control, DIID__DTavoEvents, cookie);
    control->Release();
  }
  std::printf("tavoprobe %s: %s\n", mode.c_str(), g_failed == 0 ? "ok" : "failed");
  std::fflush(stdout);
  OleUninitialize();
  return g_failed == 0 ? 0 : 1;
}
