// The control object: its identity (one object, one reference count, every interface),
// its windows and its events.
#include <algorithm>
#include <atomic>
#include <new>
#include <cstring>

#include "tavo/ax/ax_control.h"
#include "tavo/ax/enumerators.h"

namespace ax {

namespace {
using PointsEnum = FixedEnum<IEnumConnectionPoints, IConnectionPoint*, &IID_IEnumConnectionPoints, CopyPoint, FreePoint>;

LONG PixelsToHimetric(LONG pixels, int logPixels) { return MulDiv(pixels, 2540, logPixels); }
}  // namespace

AxControl::AxControl(ControlTraits traits)
    : traits_(std::move(traits)), eventsPoint_(this, traits_.events), propNotifyPoint_(this, IID_IPropertyNotifySink) {
  ModuleAddRef();
  RegisterWindowClasses(WindowProc);
  // Every control has a hidden message-only window of its own: the engine's
  // notifications are posted there, also when the host never activates the control.
  notifyWindow_ = CreateWindowExW(0, kNotifyWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(),
                                  this);
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
  if (msg == WM_NCCREATE) {  // the control that creates the window comes with it
    SetWindowLongPtrW(wnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<const CREATESTRUCTW*>(lp)->lpCreateParams));
  }
  auto* self = reinterpret_cast<AxControl*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (self) {
    if (msg >= WM_USER && msg < 0x8000) {
      // The host's message loop calls in here: nothing may leave this procedure by an
      // exception. A notification that fails is lost; the host goes on.
      self->AddRef();
      try {
        self->OnNotify(msg);
      } catch (...) {
      }
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

namespace {
std::atomic<bool> g_eventsFailForTesting{false};
}  // namespace

void FailEventsForTesting(bool fail) { g_eventsFailForTesting = fail; }

void AxControl::FireEvent(DISPID id) noexcept {
  if (freeze_ > 0) return;
  // The list of sinks is a copy (a sink may unadvise while it is called), and copying
  // allocates: an event that cannot be fired is lost, never the host's process.
  try {
    if (g_eventsFailForTesting) throw std::bad_alloc();
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
  } catch (...) {
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
  } else if (riid == IID_IObjectSafety) {
    p = static_cast<IObjectSafety*>(this);
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

// ---- IConnectionPointContainer

STDMETHODIMP AxControl::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Boundary([&] {
    *out = new PointsEnum({&eventsPoint_, &propNotifyPoint_});
    return S_OK;
  });
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

}  // namespace ax
