// The Tavo control: the automation members, events and drawing over the generic
// ActiveX control; every method forwards to the process's engine bridge.
#pragma once
#include "tavo/bridge/bridge.h"
#include "tavo/ax/ax_control.h"

namespace tavo::control {

class CTavoCtrl;

// The control's own window messages: the bridge's game events, posted by its worker to each
// control's message window and turned into the control's events on the host's thread.
enum NotifyMessage : UINT {
  kNewGameMessage = WM_USER + 1,
  kSummaryMessage,
  kResultMessage,
  kEndMessage,
};

// Turns the bridge's game events into messages to the control's own window.
class ControlListener : public bridge::GameListener {
 public:
  explicit ControlListener(CTavoCtrl* owner) : owner_(owner) {}
  void OnNewGame() override;
  void OnSummary() override;
  void OnResult() override;
  void OnEnd() override;

 private:
  void Post(UINT msg);
  CTavoCtrl* owner_;
};

class CTavoCtrl : public ax::AxControl {
 public:
  CTavoCtrl();
  ~CTavoCtrl() override;
  static HRESULT Create(REFIID riid, void** out);

 protected:
  HRESULT InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) override;
  void OnDraw(HDC dc, const RECT& bounds) override;
  void OnNotify(UINT msg) override;

 private:
  friend class ControlListener;
  ControlListener listener_;
  bool isMaster_ = false;
};

// Shows the about box modally.
void ShowAboutBox();

}  // namespace tavo::control
