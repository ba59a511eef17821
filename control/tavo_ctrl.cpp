#include "tavo_ctrl.h"

#include <cstdio>
#include <new>

#include "tavo_ids.h"

namespace {

enum : DISPID {
  kSummaryFile = 1,
  kResultFile = 2,
  kWorkDirectory = 3,
  kInfo = 4,
  kGoo = 5,
  kChoki = 6,
  kPah = 7,
  kStart = 8,
  kEnd = 9,
  kMaster = 10,
  kInit = 11,
};

// Events of _DTavoEvents.
enum : DISPID { kSummaryUpdated = 1, kNewGameStarted = 2, kResultUpdated = 3, kEndEvent = 4 };

ax::ControlTraits TavoTraits() {
  return ax::ControlTraits{CLSID_Tavo,        DIID__DTavo,       DIID__DTavoEvents, LIBID_TAVOLib,
                           kTavoVersionMajor, kTavoVersionMinor, 132497,            IDS_TAVO,
                           {CLSID_TavoPropPage}};
}

HRESULT ReturnString(const char* text, VARIANT* result) {
  if (!result) return S_OK;
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  BSTR b = SysAllocStringLen(nullptr, UINT(n > 0 ? n - 1 : 0));
  if (!b) return E_OUTOFMEMORY;
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, b, n);
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = b;
  return S_OK;
}

}  // namespace

// ---- ControlListener: only posts, never calls into the host

void ControlListener::Post(UINT msg) {
  if (HWND wnd = owner_->NotifyWindow()) PostMessageA(wnd, msg, 0, 0);
}
void ControlListener::OnNewGame() { Post(WM_USER + 1); }
void ControlListener::OnSummary() { Post(WM_USER + 2); }
void ControlListener::OnResult() { Post(WM_USER + 3); }
void ControlListener::OnEnd() { Post(WM_USER + 4); }

// ---- CTavoCtrl

CTavoCtrl::CTavoCtrl() : AxControl(TavoTraits()), listener_(this) {
  if (EngineBridge* bridge = GetBridge(true)) bridge->Listeners().Attach(&listener_);
  isMaster_ = false;
}

CTavoCtrl::~CTavoCtrl() {
  if (EngineBridge* bridge = GetBridge(false)) bridge->Listeners().Detach(&listener_);
}

HRESULT CTavoCtrl::Create(REFIID riid, void** out) {
  auto* ctrl = new (std::nothrow) CTavoCtrl();
  if (!ctrl) return E_OUTOFMEMORY;
  const HRESULT hr = ctrl->QueryInterface(riid, out);
  ctrl->Release();
  return hr;
}

void CTavoCtrl::OnNotify(UINT msg) {
  switch (msg) {
    case WM_USER + 1: FireEvent(kNewGameStarted); break;
    case WM_USER + 2: FireEvent(kSummaryUpdated); break;
    case WM_USER + 3: FireEvent(kResultUpdated); break;
    case WM_USER + 4: FireEvent(kEndEvent); break;
  }
}

void CTavoCtrl::OnDraw(HDC dc, const RECT& bounds) {
  FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

HRESULT CTavoCtrl::InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  const bool get = (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (result) VariantInit(result);

  if (id >= kSummaryFile && id <= kWorkDirectory) {
    if (put) {
      if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      SetModifiedFlag();  // the value is dropped; the next get computes the path again
      return S_OK;
    }
    if (!get) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (id == kWorkDirectory) return ReturnString(workDir, result);
    EngineBridge* bridge = GetBridge(true);
    if (!bridge) return ReturnString("", result);
    return ReturnString(id == kSummaryFile ? bridge->SummaryPath() : bridge->ResultPath(), result);
  }

  const bool isMethod = (id >= kInfo && id <= kInit) || id == DISPID_ABOUTBOX;
  if (!isMethod) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_METHOD) && !(id == kInfo && (flags & DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
  if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;

  switch (id) {
    case kInfo: {
      EngineBridge* bridge = GetBridge(true);
      const SHORT info = bridge ? SHORT(bridge->Info() & 0xFFFF) : SHORT(-1);
      if (result) {
        V_VT(result) = VT_I2;
        V_I2(result) = info;
      }
      return S_OK;
    }
    case kGoo:
    case kChoki:
    case kPah:
      if (EngineBridge* bridge = GetBridge(true)) bridge->SendHand(id == kGoo ? 'm' : id == kChoki ? 'n' : 'b');
      return S_OK;
    case kStart:
      if (EngineBridge* bridge = GetBridge(true)) bridge->StartGame();
      return S_OK;
    case kEnd:
      if (isMaster_) {
        if (EngineBridge* bridge = GetBridge(true)) bridge->EndGame();
      }
      return S_OK;
    case kMaster:
      isMaster_ = true;
      GetBridge(true);
      return S_OK;
    case kInit:
      return S_OK;
    case DISPID_ABOUTBOX:
      ShowAboutBox();
      return S_OK;
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
