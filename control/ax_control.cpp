#include "ax_control.h"

#include <algorithm>
#include <cstring>

namespace ax {

namespace {

constexpr const wchar_t* kNotifyClass = L"AxControlNotify";
constexpr const wchar_t* kWindowClass = L"AxControlWindow";

void RegisterWindowClasses() {
  static bool done = false;
  if (done) return;
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = kNotifyClass;
  RegisterClassW(&wc);
  wc.lpszClassName = kWindowClass;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  RegisterClassW(&wc);
  done = true;
}

// Enumerators over fixed lists.
template <typename Interface, typename Item, const IID* Iid, void (*Copy)(Item&, const Item&),
          void (*Free)(Item&)>
class FixedEnum : public Interface {
 public:
  explicit FixedEnum(const std::vector<Item>& items, size_t pos = 0) : pos_(pos) {
    for (const Item& i : items) {
      Item copy{};
      Copy(copy, i);
      items_.push_back(copy);
    }
    ModuleAddRef();
  }
  virtual ~FixedEnum() {
    for (Item& i : items_) Free(i);
    ModuleRelease();
  }
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == *Iid) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG r = --refs_;
    if (r == 0) delete this;
    return r;
  }
  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    ULONG n = 0;
    while (n < count && pos_ < items_.size()) {
      out[n] = Item{};
      Copy(out[n], items_[pos_]);
      ++n;
      ++pos_;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    pos_ = std::min<size_t>(items_.size(), pos_ + count);
    return pos_ < items_.size() ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    pos_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Interface** out) override {
    *out = new FixedEnum(items_, pos_);
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};
  std::vector<Item> items_;
  size_t pos_;
};

void CopyConnectData(CONNECTDATA& to, const CONNECTDATA& from) {
  to = from;
  if (to.pUnk) to.pUnk->AddRef();
}
void FreeConnectData(CONNECTDATA& c) {
  if (c.pUnk) c.pUnk->Release();
}
using ConnectionsEnum = FixedEnum<IEnumConnections, CONNECTDATA, &IID_IEnumConnections, CopyConnectData, FreeConnectData>;

void CopyPoint(IConnectionPoint*& to, IConnectionPoint* const& from) {
  to = from;
  if (to) to->AddRef();
}
void FreePoint(IConnectionPoint*& p) {
  if (p) p->Release();
}
using PointsEnum = FixedEnum<IEnumConnectionPoints, IConnectionPoint*, &IID_IEnumConnectionPoints, CopyPoint, FreePoint>;

void CopyVerb(OLEVERB& to, const OLEVERB& from) {
  to = from;
  if (from.lpszVerbName) {
    const size_t n = (wcslen(from.lpszVerbName) + 1) * sizeof(wchar_t);
    to.lpszVerbName = static_cast<LPOLESTR>(CoTaskMemAlloc(n));
    std::memcpy(to.lpszVerbName, from.lpszVerbName, n);
  }
}
void FreeVerb(OLEVERB& v) { CoTaskMemFree(v.lpszVerbName); }
using VerbsEnum = FixedEnum<IEnumOLEVERB, OLEVERB, &IID_IEnumOLEVERB, CopyVerb, FreeVerb>;

LONG PixelsToHimetric(LONG pixels, int logPixels) { return MulDiv(pixels, 2540, logPixels); }

// The property-set names of the property exchange.
constexpr const wchar_t* kVersion = L"_Version";
constexpr const wchar_t* kExtentX = L"_ExtentX";
constexpr const wchar_t* kExtentY = L"_ExtentY";
constexpr const wchar_t* kStockProps = L"_StockProps";

}  // namespace

// ---------------------------------------------------------------- connection points

ConnectionPoint::~ConnectionPoint() {
  for (CONNECTDATA& c : connections_) c.pUnk->Release();
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** out) {
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return owner_->AddRef(); }
STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return owner_->Release(); }

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = static_cast<IConnectionPointContainer*>(owner_);
  owner_->AddRef();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  IUnknown* wanted = nullptr;
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&wanted)))) {
    // Event sinks of a pure dispinterface often answer only to IDispatch.
    if (iid_ == IID_IPropertyNotifySink || FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&wanted)))) {
      *cookie = 0;
      return CONNECT_E_CANNOTCONNECT;
    }
  }
  *cookie = nextCookie_++;
  connections_.push_back(CONNECTDATA{wanted, *cookie});
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  auto it = std::find_if(connections_.begin(), connections_.end(),
                         [cookie](const CONNECTDATA& c) { return c.dwCookie == cookie; });
  if (it == connections_.end()) return CONNECT_E_NOCONNECTION;
  IUnknown* sink = it->pUnk;
  connections_.erase(it);
  sink->Release();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (!out) return E_POINTER;
  *out = new ConnectionsEnum(connections_);
  return S_OK;
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
  std::vector<ComPtr<IUnknown>> sinks;
  for (const CONNECTDATA& c : connections_) sinks.emplace_back(c.pUnk);
  return sinks;
}

// ---------------------------------------------------------------- the control

AxControl::AxControl(ControlTraits traits)
    : traits_(std::move(traits)), eventsPoint_(this, traits_.events), propNotifyPoint_(this, IID_IPropertyNotifySink) {
  ModuleAddRef();
  RegisterWindowClasses();
  notifyWindow_ = CreateWindowExW(0, kNotifyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), nullptr);
  if (notifyWindow_) {
    SetWindowLongPtrW(notifyWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(notifyWindow_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
  }
  DefaultProperties();
}

AxControl::~AxControl() {
  if (window_) DestroyWindow(window_);
  if (notifyWindow_) DestroyWindow(notifyWindow_);
  ModuleRelease();
}

void AxControl::DefaultProperties() {
  HDC screen = GetDC(nullptr);
  extent_.cx = PixelsToHimetric(100, GetDeviceCaps(screen, LOGPIXELSX));
  extent_.cy = PixelsToHimetric(50, GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
}

LRESULT CALLBACK AxControl::WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<AxControl*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (self) {
    if (msg >= WM_USER && msg < 0x8000) {
      self->AddRef();
      self->OnNotify(msg);
      self->Release();
      return 0;
    }
    if (msg == WM_PAINT && wnd == self->window_) {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(wnd, &ps);
      RECT r;
      GetClientRect(wnd, &r);
      self->OnDraw(dc, r);
      EndPaint(wnd, &ps);
      return 0;
    }
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

void AxControl::FireEvent(DISPID id) {
  if (freeze_ > 0) return;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  for (const ComPtr<IUnknown>& sink : eventsPoint_.Sinks()) {
    ComPtr<IDispatch> disp;
    if (SUCCEEDED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(disp.Out())))) {
      VARIANT result;
      VariantInit(&result);
      disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
      VariantClear(&result);
    }
  }
}

HRESULT AxControl::ShowPropertyFrame(HWND parent) {
  if (traits_.propertyPages.empty()) return S_OK;
  IUnknown* self = static_cast<IDispatch*>(this);
  wchar_t caption[128] = L"";
  LoadModuleString(traits_.userTypeString, caption, 128);
  return OleCreatePropertyFrame(parent, 0, 0, caption, 1, &self, ULONG(traits_.propertyPages.size()),
                                const_cast<CLSID*>(traits_.propertyPages.data()), LOCALE_USER_DEFAULT, 0, nullptr);
}

// ---- IUnknown

STDMETHODIMP AxControl::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  void* p = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == traits_.primaryDispatch) {
    p = static_cast<IDispatch*>(this);
  } else if (riid == IID_IConnectionPointContainer) {
    p = static_cast<IConnectionPointContainer*>(this);
  } else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
    p = static_cast<IProvideClassInfo2*>(this);
  } else if (riid == IID_IOleObject) {
    p = static_cast<IOleObject*>(this);
  } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject || riid == IID_IOleInPlaceObjectWindowless) {
    p = static_cast<IOleInPlaceObjectWindowless*>(this);
  } else if (riid == IID_IOleInPlaceActiveObject) {
    p = static_cast<IOleInPlaceActiveObject*>(this);
  } else if (riid == IID_IOleControl) {
    p = static_cast<IOleControl*>(this);
  } else if (riid == IID_IViewObject || riid == IID_IViewObject2 || riid == IID_IViewObjectEx) {
    p = static_cast<IViewObjectEx*>(this);
  } else if (riid == IID_IDataObject) {
    p = static_cast<IDataObject*>(this);
  } else if (riid == IID_IOleCache) {
    p = static_cast<IOleCache*>(this);
  } else if (riid == IID_IPersist || riid == IID_IPersistStreamInit) {
    p = static_cast<IPersistStreamInit*>(this);
  } else if (riid == IID_IPersistStorage) {
    p = static_cast<IPersistStorage*>(this);
  } else if (riid == IID_IPersistMemory) {
    p = static_cast<IPersistMemory*>(this);
  } else if (riid == IID_IPersistPropertyBag) {
    p = static_cast<IPersistPropertyBag*>(this);
  } else if (riid == IID_ISpecifyPropertyPages) {
    p = static_cast<ISpecifyPropertyPages*>(this);
  } else if (riid == IID_IPerPropertyBrowsing) {
    p = static_cast<IPerPropertyBrowsing*>(this);
  } else if (riid == IID_IQuickActivate) {
    p = static_cast<IQuickActivate*>(this);
  }
  *out = p;
  if (!p) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) AxControl::AddRef() { return ULONG(++refs_); }

STDMETHODIMP_(ULONG) AxControl::Release() {
  const LONG r = --refs_;
  if (r == 0) delete this;
  return ULONG(r);
}

// ---- IDispatch

ITypeInfo* AxControl::TypeInfoOf(const IID& iid) {
  if (!typeLib_) {
    if (FAILED(LoadRegTypeLib(traits_.libid, traits_.major, traits_.minor, LOCALE_USER_DEFAULT, typeLib_.Out()))) {
      // Not registered: the module carries its own type library.
      wchar_t path[MAX_PATH * 2];
      if (GetModuleFileNameW(ModuleInstance(), path, MAX_PATH * 2)) LoadTypeLibEx(path, REGKIND_NONE, typeLib_.Out());
    }
  }
  ITypeInfo* info = nullptr;
  if (typeLib_) typeLib_->GetTypeInfoOfGuid(iid, &info);
  return info;
}

STDMETHODIMP AxControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP AxControl::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *out = TypeInfoOf(traits_.primaryDispatch);
  return *out ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

STDMETHODIMP AxControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  ComPtr<ITypeInfo> info;
  *info.Out() = TypeInfoOf(traits_.primaryDispatch);
  if (!info) return TYPE_E_CANTLOADLIBRARY;
  return info->GetIDsOfNames(names, count, ids);
}

STDMETHODIMP AxControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO*, UINT*) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return InvokeMember(id, flags, params ? params : &none, result);
}

// ---- IConnectionPointContainer

STDMETHODIMP AxControl::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = new PointsEnum({&eventsPoint_, &propNotifyPoint_});
  return S_OK;
}

STDMETHODIMP AxControl::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid == traits_.events) *out = &eventsPoint_;
  if (riid == IID_IPropertyNotifySink) *out = &propNotifyPoint_;
  if (!*out) return CONNECT_E_NOCONNECTION;
  (*out)->AddRef();
  return S_OK;
}

// ---- IProvideClassInfo2

STDMETHODIMP AxControl::GetClassInfo(ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = TypeInfoOf(traits_.clsid);
  return *out ? S_OK : E_FAIL;
}

STDMETHODIMP AxControl::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = traits_.events;
  return S_OK;
}

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
    window_ = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS, pos.left, pos.top, pos.right - pos.left,
                              pos.bottom - pos.top, host, nullptr, ModuleInstance(), nullptr);
    if (window_) {
      SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
    }
  }
  if (window_ && verb != OLEIVERB_HIDE) ShowWindow(window_, SW_SHOW);
  if (verb == OLEIVERB_UIACTIVATE) inPlaceSite_->OnUIActivate();
  return S_OK;
}

STDMETHODIMP AxControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) {
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
  wchar_t name[64];
  if (!LoadModuleString(65089, name, 64)) wcscpy(name, L"<unknown verb>");
  OLEVERB verb{0, name, 0, OLEVERBATTRIB_ONCONTAINERMENU};
  *out = new VerbsEnum({verb});
  return S_OK;
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
  OnDraw(drawDc, r);
  return S_OK;
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

// ---- persistence: every interface saves and loads the same property set

void AxControl::ExchangeProperties(PropertySet& set, bool loading) {
  if (loading) {
    if (set.extentX > 0 && set.extentY > 0) {
      extent_.cx = set.extentX;
      extent_.cy = set.extentY;
    }
  } else {
    set.version = MAKELONG(traits_.minor, traits_.major);
    set.extentX = extent_.cx;
    set.extentY = extent_.cy;
    set.stockProps = 0;
  }
}

STDMETHODIMP AxControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = traits_.clsid;
  return S_OK;
}

STDMETHODIMP AxControl::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

HRESULT AxControl::ReadStream(IStream* stream) {
  if (!stream) return E_POINTER;
  PropertySet set;
  LONG values[4] = {MAKELONG(traits_.minor, traits_.major), 0, 0, 0};
  ULONG got = 0;
  const HRESULT hr = stream->Read(values, sizeof values, &got);
  if (FAILED(hr)) return hr;
  if (got != 0 && got != sizeof values) return E_FAIL;
  if (got == 0) return S_OK;  // an empty stream: version 1.0, defaults
  set.version = values[0];
  set.extentX = values[1];
  set.extentY = values[2];
  set.stockProps = values[3];
  ExchangeProperties(set, true);
  return S_OK;
}

HRESULT AxControl::WriteStream(IStream* stream) {
  if (!stream) return E_POINTER;
  PropertySet set;
  ExchangeProperties(set, false);
  const LONG values[4] = {set.version, set.extentX, set.extentY, set.stockProps};
  ULONG written = 0;
  const HRESULT hr = stream->Write(values, sizeof values, &written);
  if (FAILED(hr)) return hr;
  return written == sizeof values ? S_OK : STG_E_MEDIUMFULL;
}

STDMETHODIMP AxControl::InitNew(IStorage*) {
  DefaultProperties();
  return S_OK;
}

STDMETHODIMP AxControl::Load(IStorage* storage) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out());
  if (FAILED(hr)) return hr;
  return ReadStream(stream.get());
}

STDMETHODIMP AxControl::Save(IStorage* storage, BOOL) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->CreateStream(L"Contents", STGM_WRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0, stream.Out());
  if (FAILED(hr)) return hr;
  hr = WriteStream(stream.get());
  if (SUCCEEDED(hr)) dirty_ = false;
  return hr;
}

STDMETHODIMP AxControl::SaveCompleted(IStorage*) { return S_OK; }
STDMETHODIMP AxControl::HandsOffStorage() { return S_OK; }

STDMETHODIMP AxControl::Load(LPSTREAM stream) { return ReadStream(stream); }

STDMETHODIMP AxControl::Save(LPSTREAM stream, BOOL clearDirty) {
  const HRESULT hr = WriteStream(stream);
  if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
  return hr;
}

STDMETHODIMP AxControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = 4 * sizeof(LONG);
  return S_OK;
}

STDMETHODIMP AxControl::InitNew() {
  DefaultProperties();
  return S_OK;
}

STDMETHODIMP AxControl::Load(LPVOID memory, ULONG size) {
  if (!memory) return E_POINTER;
  if (size < 4 * sizeof(LONG)) return E_FAIL;
  const auto* values = static_cast<const LONG*>(memory);
  PropertySet set{values[0], values[1], values[2], values[3]};
  ExchangeProperties(set, true);
  return S_OK;
}

STDMETHODIMP AxControl::Save(LPVOID memory, BOOL clearDirty, ULONG size) {
  if (!memory) return E_POINTER;
  if (size < 4 * sizeof(LONG)) return E_FAIL;
  PropertySet set;
  ExchangeProperties(set, false);
  const LONG values[4] = {set.version, set.extentX, set.extentY, set.stockProps};
  std::memcpy(memory, values, sizeof values);
  if (clearDirty) dirty_ = false;
  return S_OK;
}

STDMETHODIMP AxControl::GetSizeMax(ULONG* size) {
  if (!size) return E_POINTER;
  *size = 4 * sizeof(LONG);
  return S_OK;
}

STDMETHODIMP AxControl::Load(IPropertyBag* bag, IErrorLog* log) {
  if (!bag) return E_POINTER;
  PropertySet set;
  set.version = MAKELONG(traits_.minor, traits_.major);
  auto read = [&](const wchar_t* name, LONG& value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    if (SUCCEEDED(bag->Read(name, &v, log))) {
      if (SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4))) value = V_I4(&v);
    }
    VariantClear(&v);
  };
  read(kVersion, set.version);
  read(kExtentX, set.extentX);
  read(kExtentY, set.extentY);
  read(kStockProps, set.stockProps);
  ExchangeProperties(set, true);
  return S_OK;
}

STDMETHODIMP AxControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
  if (!bag) return E_POINTER;
  PropertySet set;
  ExchangeProperties(set, false);
  const std::pair<const wchar_t*, LONG> values[] = {
      {kVersion, set.version}, {kExtentX, set.extentX}, {kExtentY, set.extentY}, {kStockProps, set.stockProps}};
  for (const auto& nv : values) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = nv.second;
    const HRESULT hr = bag->Write(nv.first, &v);
    if (FAILED(hr)) return hr;
  }
  if (clearDirty) dirty_ = false;
  return S_OK;
}

// ---- property pages

STDMETHODIMP AxControl::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->cElems = ULONG(traits_.propertyPages.size());
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID) * traits_.propertyPages.size()));
  if (!pages->pElems) {
    pages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  std::copy(traits_.propertyPages.begin(), traits_.propertyPages.end(), pages->pElems);
  return S_OK;
}

STDMETHODIMP AxControl::GetDisplayString(DISPID, BSTR* text) {
  if (text) *text = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP AxControl::MapPropertyToPage(DISPID, CLSID* clsid) {
  if (clsid) *clsid = CLSID_NULL;
  return PERPROP_E_NOPAGEAVAILABLE;
}
STDMETHODIMP AxControl::GetPredefinedStrings(DISPID, CALPOLESTR* strings, CADWORD* cookies) {
  if (strings) *strings = CALPOLESTR{0, nullptr};
  if (cookies) *cookies = CADWORD{0, nullptr};
  return E_NOTIMPL;
}
STDMETHODIMP AxControl::GetPredefinedValue(DISPID, DWORD, VARIANT*) { return E_NOTIMPL; }

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
