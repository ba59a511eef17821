// Test host: the control linked into this program, with its event firing made to fail as
// if memory had run out. The host must go on (the failing events are lost), and events
// must come again once firing works. Exit code 0 when both held.
#include <windows.h>

#include <cstdio>

#include "tavo/ax/ax_control.h"
#include "tavo/ax/module.h"
#include "tavo/control/tavo_ctrl.h"
#include "tavo/control/tavo_ids.h"
#include "tavo/hostkit/hostkit.h"

namespace {

class Sink : public hostkit::EventSink {
 public:
  Sink() : EventSink(DIID__DTavoEvents) {}
  void OnEvent(DISPID) override { ++events; }
  int events = 0;
};

}  // namespace

int main() {
  ax::ModuleAttach(GetModuleHandleW(nullptr));
  OleInitialize(nullptr);
  IDispatch* control = nullptr;
  if (FAILED(tavo::control::CTavoCtrl::Create(IID_IDispatch, reinterpret_cast<void**>(&control))) || !control) {
    std::printf("eventfault: no control\n");
    return 1;
  }
  Sink sink;
  const DWORD cookie = hostkit::Connect(control, DIID__DTavoEvents, &sink);
  ax::FailEventsForTesting(true);
  const bool calls =
      SUCCEEDED(hostkit::CallId(control, DISPID_TAVO_START)) && SUCCEEDED(hostkit::CallId(control, DISPID_TAVO_GOO));
  hostkit::Pump(500);
  const int whileFailing = sink.events;
  ax::FailEventsForTesting(false);
  hostkit::CallId(control, DISPID_TAVO_GOO);
  hostkit::Pump(500);
  const int afterwards = sink.events - whileFailing;
  hostkit::CallId(control, DISPID_TAVO_MASTER);
  hostkit::CallId(control, DISPID_TAVO_END);
  hostkit::Pump(100);
  hostkit::Disconnect(control, DIID__DTavoEvents, cookie);
  control->Release();
  std::printf("eventfault: calls %s, %d events while firing failed, %d afterwards, the host ran on\n",
              calls ? "ok" : "failed", whileFailing, afterwards);
  std::fflush(stdout);
  OleUninitialize();
  return calls && whileFailing == 0 && afterwards > 0 ? 0 : 1;
}
