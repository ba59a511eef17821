// Plays one game through the Tavo control the way a host does: creates the registered
// control, connects an event sink, calls the methods and pumps messages, printing every
// event as it arrives and the record files at the end.
#include <ocidl.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tavo/hostkit/hostkit.h"
#include "tavo/control/tavo_ids.h"

namespace {

const char* EventName(DISPID id) {
  switch (id) {
    case DISPID_TAVOEVENT_SUMMARYUPDATED: return "SummaryUpdated";
    case DISPID_TAVOEVENT_NEWGAMESTARTED: return "NewGameStarted";
    case DISPID_TAVOEVENT_RESULTUPDATED: return "ResultUpdated";
    case DISPID_TAVOEVENT_END: return "End";
  }
  return "?";
}

bool g_result = false;

class Sink : public hostkit::EventSink {
 public:
  Sink() : EventSink(DIID__DTavoEvents) {}
  void OnEvent(DISPID id) override {
    std::printf("    event: %s\n", EventName(id));
    if (id == DISPID_TAVOEVENT_RESULTUPDATED) g_result = true;
  }
};

void Pump() { hostkit::Pump(100); }

VARIANT Call(IDispatch* d, const wchar_t* name, WORD flags = DISPATCH_METHOD) {
  VARIANT result;
  hostkit::Call(d, name, &result, flags);
  return result;
}

void PrintFile(const wchar_t* title, const std::wstring& path) {
  std::printf("--- %ls (%ls)\n", title, path.c_str());
  FILE* f = _wfopen(path.c_str(), L"r");
  if (!f) return;
  char line[512];
  while (std::fgets(line, sizeof line, f)) std::fputs(line, stdout);
  std::fclose(f);
}

}  // namespace

int main() {
  OleInitialize(nullptr);
  IDispatch* ctl = nullptr;
  if (FAILED(
          CoCreateInstance(CLSID_Tavo, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&ctl)))) {
    std::printf("the control is not registered\n");
    return 1;
  }
  Sink sink;
  const DWORD cookie = hostkit::Connect(ctl, DIID__DTavoEvents, &sink);

  VARIANT dir = Call(ctl, L"WorkDirectory", DISPATCH_PROPERTYGET);
  std::printf("control directory: %ls\n", V_BSTR(&dir));
  std::printf("Start\n");
  Call(ctl, L"Start");
  Pump();
  const wchar_t* hands[] = {L"Goo", L"Choki", L"Pah"};
  for (int i = 0; i < 30 && !g_result; ++i) {
    std::printf("%ls\n", hands[(i * 5 + i / 2) % 3]);
    Call(ctl, hands[(i * 5 + i / 2) % 3]);
    VARIANT info = Call(ctl, L"INFO", DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    Pump();
    std::printf("    INFO = %d\n", V_I2(&info));
  }
  VARIANT summary = Call(ctl, L"SummaryFile", DISPATCH_PROPERTYGET);
  VARIANT result = Call(ctl, L"ResultFile", DISPATCH_PROPERTYGET);
  PrintFile(L"summary", V_BSTR(&summary));
  PrintFile(L"result", V_BSTR(&result));
  std::printf("Master, End\n");
  Call(ctl, L"Master");
  Call(ctl, L"End");
  Pump();
  hostkit::Disconnect(ctl, DIID__DTavoEvents, cookie);
  ctl->Release();
  OleUninitialize();
  return 0;
}
