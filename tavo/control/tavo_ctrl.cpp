#include "tavo/control/tavo_ctrl.h"

#include <cstdio>
#include <new>

#include "tavo/bridge/utf8.h"
#include "tavo/control/control_folder.h"
#include "tavo/control/tavo_ids.h"
#include "tavo/protocol/protocol.h"

namespace tavo::control {

using bridge::EngineBridge;

namespace {

ax::ControlTraits TavoTraits() {
  return ax::ControlTraits{CLSID_Tavo,      DIID__DTavo,       DIID__DTavoEvents,
                           LIBID_TAVOLib,   kTavoVersionMajor, kTavoVersionMinor,
                           kTavoMiscStatus, IDS_TAVO,          {CLSID_TavoPropPage}};
}

// The process's engine bridge, made on first use from the control's registration.
EngineBridge* TheBridge() { return bridge::GetOrCreateBridge(ControlBridgeConfig()); }

// A UTF-8 text as the call's BSTR result.
HRESULT ReturnString(const char* text, VARIANT* result) {
  if (!result) return S_OK;
  const std::wstring wide = bridge::WideFromUtf8(text);
  BSTR b = SysAllocStringLen(wide.data(), UINT(wide.size()));
  if (!b) return E_OUTOFMEMORY;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = b;
  return S_OK;
}

}  // namespace

// ---- ControlListener: only posts, never calls into the host

void ControlListener::Post(UINT msg) {
  if (HWND wnd = owner_->NotifyWindow()) PostMessageA(wnd, msg, 0, 0);
}
void ControlListener::OnNewGame() { Post(kNewGameMessage); }
void ControlListener::OnSummary() { Post(kSummaryMessage); }
void ControlListener::OnResult() { Post(kResultMessage); }
void ControlListener::OnEnd() { Post(kEndMessage); }

// ---- CTavoCtrl

CTavoCtrl::CTavoCtrl() : AxControl(TavoTraits()), listener_(this) {
  if (EngineBridge* bridge = TheBridge()) bridge->Listeners().Attach(&listener_);
  isMaster_ = false;
}

CTavoCtrl::~CTavoCtrl() {
  if (EngineBridge* bridge = bridge::ExistingBridge()) bridge->Listeners().Detach(&listener_);
}

HRESULT CTavoCtrl::Create(REFIID riid, void** out) {
  auto* ctrl = new (std::nothrow) CTavoCtrl();
  if (!ctrl) return E_OUTOFMEMORY;
  // Without its message window a control could never raise an event (past the system's
  // window quota, say): better no control than a silent one.
  if (!ctrl->NotifyWindow()) {
    ctrl->Release();
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = ctrl->QueryInterface(riid, out);
  ctrl->Release();
  return hr;
}

void CTavoCtrl::OnNotify(UINT msg) {
  switch (msg) {
    case kNewGameMessage: FireEvent(DISPID_TAVOEVENT_NEWGAMESTARTED); break;
    case kSummaryMessage: FireEvent(DISPID_TAVOEVENT_SUMMARYUPDATED); break;
    case kResultMessage: FireEvent(DISPID_TAVOEVENT_RESULTUPDATED); break;
    case kEndMessage: FireEvent(DISPID_TAVOEVENT_END); break;
  }
}

void CTavoCtrl::OnDraw(HDC dc, const RECT& bounds) {
  FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

static_assert(DISPID_TAVO_ABOUTBOX == DISPID_ABOUTBOX, "the type library's AboutBox is the stock one");

HRESULT CTavoCtrl::InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  // Deliberately, a DISPATCH_METHOD on a property counts as a get: some script hosts
  // read properties that way (Wine's VBScript passes both bits for a get).
  const bool get = (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (result) VariantInit(result);

  if (id >= DISPID_TAVO_SUMMARYFILE && id <= DISPID_TAVO_WORKDIRECTORY) {
    if (put) {
      if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      SetModifiedFlag();  // the value is dropped; the next get computes the path again
      return S_OK;
    }
    if (!get) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (id == DISPID_TAVO_WORKDIRECTORY) return ReturnString(ControlBridgeConfig().workDir.c_str(), result);
    EngineBridge* bridge = TheBridge();
    if (!bridge) return ReturnString("", result);
    return ReturnString(id == DISPID_TAVO_SUMMARYFILE ? bridge->SummaryPath() : bridge->ResultPath(), result);
  }

  const bool isMethod = (id >= DISPID_TAVO_INFO && id <= DISPID_TAVO_INIT) || id == DISPID_ABOUTBOX;
  if (!isMethod) return DISP_E_MEMBERNOTFOUND;
  // A method call (DISPATCH_METHOD) is accepted for every member, and INFO may also be
  // read as a property: script hosts call it either way.
  if (!(flags & DISPATCH_METHOD) && !(id == DISPID_TAVO_INFO && (flags & DISPATCH_PROPERTYGET)))
    return DISP_E_MEMBERNOTFOUND;
  if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;

  switch (id) {
    case DISPID_TAVO_INFO: {
      EngineBridge* bridge = TheBridge();
      const SHORT info = bridge ? SHORT(bridge->Info() & 0xFFFF) : SHORT(-1);
      if (result) {
        V_VT(result) = VT_I2;
        V_I2(result) = info;
      }
      return S_OK;
    }
    case DISPID_TAVO_GOO:
    case DISPID_TAVO_CHOKI:
    case DISPID_TAVO_PAH:
      if (EngineBridge* bridge = TheBridge())
        bridge->SendHand(id == DISPID_TAVO_GOO     ? tavo::protocol::kRock
                         : id == DISPID_TAVO_CHOKI ? tavo::protocol::kScissors
                                                   : tavo::protocol::kPaper);
      return S_OK;
    case DISPID_TAVO_START:
      if (EngineBridge* bridge = TheBridge()) bridge->StartGame();
      return S_OK;
    case DISPID_TAVO_END:
      if (isMaster_) {
        if (EngineBridge* bridge = TheBridge()) bridge->EndGame();
      }
      return S_OK;
    case DISPID_TAVO_MASTER:
      isMaster_ = true;
      TheBridge();
      return S_OK;
    case DISPID_TAVO_INIT: return S_OK;
    case DISPID_ABOUTBOX: ShowAboutBox(); return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

// ---- the about box

namespace {
INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
    EndDialog(dlg, LOWORD(wp));
    return TRUE;
  }
  if (msg == WM_CLOSE) {
    EndDialog(dlg, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}
}  // namespace

void ShowAboutBox() {
  DialogBoxParamW(ax::ModuleInstance(), MAKEINTRESOURCEW(IDD_ABOUTBOX_TAVO), GetActiveWindow(), AboutProc, 0);
}

}  // namespace tavo::control
