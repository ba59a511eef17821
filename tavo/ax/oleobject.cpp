// The OLE object: embedding, verbs, in-place activation, the control's window and views,
// and the (empty) data object and cache.
#include <cstring>

#include "tavo/ax/ax_control.h"
#include "tavo/ax/enumerators.h"

namespace ax {

namespace {
using VerbsEnum = FixedEnum<IEnumOLEVERB, OLEVERB, &IID_IEnumOLEVERB, CopyVerb, FreeVerb>;
}  // namespace

// ---- IOleObject

STDMETHODIMP AxControl::SetClientSite(IOleClientSite* site) {
  site_ = site;
  if (!site) inPlaceSite_.Reset();
  return S_OK;
}

STDMETHODIMP AxControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_.get();
  if (*site) (*site)->AddRef();
  return S_OK;
}

STDMETHODIMP AxControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP AxControl::Close(DWORD) {
  InPlaceDeactivate();
  if (adviseHolder_) adviseHolder_->SendOnClose();
  return S_OK;
}

STDMETHODIMP AxControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
STDMETHODIMP AxControl::GetMoniker(DWORD, DWORD, IMoniker** mk) {
  if (mk) *mk = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP AxControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
STDMETHODIMP AxControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT AxControl::InPlaceActivate(LONG verb, IOleClientSite* site, HWND parent, LPCRECT rect) {
  if (site && !site_) site_ = site;
  if (!site_) return E_UNEXPECTED;
  if (!inPlaceSite_) {
    if (FAILED(site_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(inPlaceSite_.Out()))))
      return E_NOINTERFACE;
    if (inPlaceSite_->CanInPlaceActivate() != S_OK) {
      inPlaceSite_.Reset();
      return E_FAIL;
    }
    inPlaceSite_->OnInPlaceActivate();
  }
  if (!window_) {
    HWND host = parent;
    if (!host) inPlaceSite_->GetWindow(&host);
    RECT pos{0, 0, 100, 50}, clip;
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> doc;
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    inPlaceSite_->GetWindowContext(frame.Out(), doc.Out(), &pos, &clip, &info);
    if (rect) pos = *rect;
    window_ = CreateWindowExW(0, kControlWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS, pos.left, pos.top,
                              pos.right - pos.left, pos.bottom - pos.top, host, nullptr, ModuleInstance(), this);
  }
  if (window_ && verb != OLEIVERB_HIDE) ShowWindow(window_, SW_SHOW);
  if (verb == OLEIVERB_UIACTIVATE) inPlaceSite_->OnUIActivate();
  return S_OK;
}

STDMETHODIMP AxControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) {
  return Boundary([&] { return DoVerbNow(verb, site, parent, rect); });
}

HRESULT AxControl::DoVerbNow(LONG verb, IOleClientSite* site, HWND parent, LPCRECT rect) {
  switch (verb) {
    case 0:  // the control's own verb 0: properties
    case OLEIVERB_PROPERTIES:
      return ShowPropertyFrame(parent);
    case OLEIVERB_SHOW:
    case OLEIVERB_OPEN:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      return InPlaceActivate(verb, site, parent, rect);
    case OLEIVERB_HIDE:
      if (window_) ShowWindow(window_, SW_HIDE);
      return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;
    default:
      if (verb > 0) {
        ShowPropertyFrame(parent);
        return OLEOBJ_S_INVALIDVERB;
      }
      return E_NOTIMPL;
  }
}

STDMETHODIMP AxControl::EnumVerbs(IEnumOLEVERB** out) {
  if (!out) return E_POINTER;
  // Verb 0 is the properties verb; its name is looked up as string 65089, which the
  // module does not carry, so the list shows the fallback name.
  *out = nullptr;
  wchar_t name[64];
  if (!LoadModuleString(65089, name, 64)) wcscpy(name, L"<unknown verb>");
  OLEVERB verb{0, name, 0, OLEVERBATTRIB_ONCONTAINERMENU};
  return Boundary([&] {
    *out = new VerbsEnum({verb});
    return S_OK;
  });
}

STDMETHODIMP AxControl::Update() { return S_OK; }
STDMETHODIMP AxControl::IsUpToDate() { return S_OK; }

STDMETHODIMP AxControl::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = traits_.clsid;
  return S_OK;
}

STDMETHODIMP AxControl::GetUserType(DWORD, LPOLESTR* type) {
  if (!type) return E_POINTER;
  wchar_t text[128] = L"";
  const int n = LoadModuleString(traits_.userTypeString, text, 128);
  *type = static_cast<LPOLESTR>(CoTaskMemAlloc((size_t(n) + 1) * sizeof(wchar_t)));
  if (!*type) return E_OUTOFMEMORY;
  std::memcpy(*type, text, (size_t(n) + 1) * sizeof(wchar_t));
  return S_OK;
}

STDMETHODIMP AxControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  extent_ = *size;
  dirty_ = true;
  return S_OK;
}

STDMETHODIMP AxControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  *size = extent_;
  return S_OK;
}

STDMETHODIMP AxControl::Advise(IAdviseSink* sink, DWORD* cookie) {
  if (!adviseHolder_ && FAILED(CreateOleAdviseHolder(adviseHolder_.Out()))) return E_OUTOFMEMORY;
  return adviseHolder_->Advise(sink, cookie);
}

STDMETHODIMP AxControl::Unadvise(DWORD cookie) {
  return adviseHolder_ ? adviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP AxControl::EnumAdvise(IEnumSTATDATA** out) {
  if (out) *out = nullptr;
  return adviseHolder_ ? adviseHolder_->EnumAdvise(out) : E_FAIL;
}

STDMETHODIMP AxControl::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (!status) return E_POINTER;
  *status = aspect == DVASPECT_CONTENT ? traits_.miscStatus : 0;
  return S_OK;
}

STDMETHODIMP AxControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- windows and in-place activation

STDMETHODIMP AxControl::GetWindow(HWND* wnd) {
  if (!wnd) return E_POINTER;
  *wnd = window_;
  return window_ ? S_OK : E_FAIL;
}
STDMETHODIMP AxControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP AxControl::InPlaceDeactivate() {
  if (window_) {
    DestroyWindow(window_);
    window_ = nullptr;
  }
  if (inPlaceSite_) {
    inPlaceSite_->OnInPlaceDeactivate();
    inPlaceSite_.Reset();
  }
  return S_OK;
}

STDMETHODIMP AxControl::UIDeactivate() {
  if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
  return S_OK;
}

STDMETHODIMP AxControl::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (pos && window_) MoveWindow(window_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
  return S_OK;
}

STDMETHODIMP AxControl::ReactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP AxControl::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) { return S_FALSE; }
STDMETHODIMP AxControl::GetDropTarget(IDropTarget** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP AxControl::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP AxControl::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP AxControl::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP AxControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP AxControl::EnableModeless(BOOL) { return S_OK; }

// ---- IOleControl

STDMETHODIMP AxControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}
STDMETHODIMP AxControl::OnMnemonic(MSG*) { return S_OK; }
STDMETHODIMP AxControl::OnAmbientPropertyChange(DISPID) { return S_OK; }
STDMETHODIMP AxControl::FreezeEvents(BOOL freeze) {
  freeze_ += freeze ? 1 : (freeze_ > 0 ? -1 : 0);
  return S_OK;
}

// ---- views

STDMETHODIMP AxControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds, LPCRECTL,
                             BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!drawDc || !bounds) return E_INVALIDARG;
  RECT r{bounds->left, bounds->top, bounds->right, bounds->bottom};
  return Boundary([&] {
    OnDraw(drawDc, r);
    return S_OK;
  });
}

STDMETHODIMP AxControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colours) {
  if (colours) *colours = nullptr;
  return S_FALSE;
}
STDMETHODIMP AxControl::Freeze(DWORD, LONG, void*, DWORD* freeze) {
  if (freeze) *freeze = 0;
  return E_NOTIMPL;
}
STDMETHODIMP AxControl::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP AxControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  viewAspects_ = aspects;
  viewFlags_ = flags;
  viewSink_ = sink;
  return S_OK;
}

STDMETHODIMP AxControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = viewAspects_;
  if (flags) *flags = viewFlags_;
  if (sink) {
    *sink = viewSink_.get();
    if (*sink) (*sink)->AddRef();
  }
  return S_OK;
}

STDMETHODIMP AxControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) { return GetExtent(aspect, size); }
STDMETHODIMP AxControl::GetRect(DWORD, LPRECTL) { return E_NOTIMPL; }
STDMETHODIMP AxControl::GetViewStatus(DWORD* status) {
  if (!status) return E_POINTER;
  *status = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
  return S_OK;
}
STDMETHODIMP AxControl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT loc, LONG, DWORD* hit) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!bounds || !hit) return E_POINTER;
  *hit = PtInRect(bounds, loc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}
STDMETHODIMP AxControl::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT loc, LONG, DWORD* hit) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!bounds || !loc || !hit) return E_POINTER;
  RECT r;
  *hit = IntersectRect(&r, bounds, loc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}
STDMETHODIMP AxControl::GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) {
  return E_NOTIMPL;
}

// ---- data object and cache: the control offers no data formats

STDMETHODIMP AxControl::GetData(FORMATETC*, STGMEDIUM*) { return DV_E_FORMATETC; }
STDMETHODIMP AxControl::GetDataHere(FORMATETC*, STGMEDIUM*) { return DV_E_FORMATETC; }
STDMETHODIMP AxControl::QueryGetData(FORMATETC*) { return DV_E_FORMATETC; }
STDMETHODIMP AxControl::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP AxControl::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }
STDMETHODIMP AxControl::EnumFormatEtc(DWORD, IEnumFORMATETC** out) {
  if (out) *out = nullptr;
  return OLE_S_USEREG;
}
STDMETHODIMP AxControl::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* cookie) {
  if (!dataAdviseHolder_ && FAILED(CreateDataAdviseHolder(dataAdviseHolder_.Out()))) return E_OUTOFMEMORY;
  return dataAdviseHolder_->Advise(static_cast<IDataObject*>(this), format, flags, sink, cookie);
}
STDMETHODIMP AxControl::DUnadvise(DWORD cookie) {
  return dataAdviseHolder_ ? dataAdviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}
STDMETHODIMP AxControl::EnumDAdvise(IEnumSTATDATA** out) {
  if (out) *out = nullptr;
  return dataAdviseHolder_ ? dataAdviseHolder_->EnumAdvise(out) : E_FAIL;
}
STDMETHODIMP AxControl::Cache(FORMATETC*, DWORD, DWORD* connection) {
  if (connection) *connection = 0;
  return E_NOTIMPL;
}
STDMETHODIMP AxControl::Uncache(DWORD) { return OLE_E_NOCONNECTION; }
STDMETHODIMP AxControl::EnumCache(IEnumSTATDATA** out) {
  if (out) *out = nullptr;
  return S_OK;
}
STDMETHODIMP AxControl::InitCache(IDataObject*) { return E_NOTIMPL; }

// ---- IQuickActivate

STDMETHODIMP AxControl::QuickActivate(QACONTAINER* container, QACONTROL* control) {
  if (!container || !control || container->cbSize < sizeof(QACONTAINER) - sizeof(void*) * 2) return E_INVALIDARG;
  SetClientSite(container->pClientSite);
  if (container->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
  const ULONG size = control->cbSize;
  std::memset(control, 0, size);
  control->cbSize = size;
  control->dwMiscStatus = traits_.miscStatus;
  control->dwViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
  if (container->pUnkEventSink) eventsPoint_.Advise(container->pUnkEventSink, &control->dwEventCookie);
  if (container->pPropertyNotifySink)
    propNotifyPoint_.Advise(container->pPropertyNotifySink, &control->dwPropNotifyCookie);
  return S_OK;
}

STDMETHODIMP AxControl::SetContentExtent(LPSIZEL size) { return SetExtent(DVASPECT_CONTENT, size); }
STDMETHODIMP AxControl::GetContentExtent(LPSIZEL size) { return GetExtent(DVASPECT_CONTENT, size); }

}  // namespace ax
