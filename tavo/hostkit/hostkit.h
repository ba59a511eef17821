// What every host of the control in this tree does the same way: pump messages, call a
// member by name, read a string property, connect an event sink. Header only; used by
// the window to play in, the demonstration host and the test hosts.
#pragma once
#include <ocidl.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace hostkit {

// A record file's bytes (empty when it cannot be read): the control names its files by
// its properties, and a host reads them itself.
inline std::string ReadRecordFile(const std::wstring& name) {
  std::string text;
  if (FILE* f = _wfopen(name.c_str(), L"rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

// Dispatches the thread's messages for the given time (events arrive this way).
inline void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

inline DISPID IdOf(IDispatch* d, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

// Calls a member without arguments by its DISPID, as a host compiled against the type
// library does; result may be null.
inline HRESULT CallId(IDispatch* d, DISPID id, VARIANT* result = nullptr, WORD flags = DISPATCH_METHOD) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (result) VariantInit(result);
  return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, result, nullptr, nullptr);
}

// Calls a member without arguments by its name; result may be null.
inline HRESULT Call(IDispatch* d, const wchar_t* name, VARIANT* result = nullptr, WORD flags = DISPATCH_METHOD) {
  return CallId(d, IdOf(d, name), result, flags);
}

// A string property ("<none>" when it is not one).
inline std::wstring GetString(IDispatch* d, const wchar_t* name) {
  VARIANT v;
  Call(d, name, &v, DISPATCH_PROPERTYGET);
  std::wstring s = V_VT(&v) == VT_BSTR && V_BSTR(&v) ? V_BSTR(&v) : L"<none>";
  VariantClear(&v);
  return s;
}

// Connects a sink to an outgoing interface; the cookie, 0 when it failed.
inline DWORD Connect(IUnknown* control, const IID& events, IUnknown* sink) {
  DWORD cookie = 0;
  IConnectionPointContainer* cpc = nullptr;
  if (FAILED(control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)))) return 0;
  IConnectionPoint* cp = nullptr;
  if (SUCCEEDED(cpc->FindConnectionPoint(events, &cp))) {
    if (FAILED(cp->Advise(sink, &cookie))) cookie = 0;
    cp->Release();
  }
  cpc->Release();
  return cookie;
}

inline void Disconnect(IUnknown* control, const IID& events, DWORD cookie) {
  IConnectionPointContainer* cpc = nullptr;
  if (FAILED(control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)))) return;
  IConnectionPoint* cp = nullptr;
  if (SUCCEEDED(cpc->FindConnectionPoint(events, &cp))) {
    cp->Unadvise(cookie);
    cp->Release();
  }
  cpc->Release();
}

// An event sink for one outgoing dispatch interface that hands each event's DISPID to
// OnEvent. Lives on the host's stack: its count only tells whether the control let go.
// A call the control should never make of it (type information, names, an event with
// arguments or not made as a method) goes to OnUnexpected.
class EventSink : public IDispatch {
 public:
  explicit EventSink(const IID& events) : events_(events) {}
  virtual ~EventSink() = default;
  virtual void OnEvent(DISPID id) = 0;
  virtual void OnUnexpected(const char* /*what*/) {}
  LONG References() const { return refs_; }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == events_) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override { return ULONG(InterlockedDecrement(&refs_)); }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    OnUnexpected("sink GetTypeInfoCount");
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    OnUnexpected("sink GetTypeInfo");
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    OnUnexpected("sink GetIDsOfNames");
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    if (!(flags & DISPATCH_METHOD) || (p && p->cArgs != 0)) OnUnexpected("an event with arguments or as a property");
    OnEvent(id);
    return S_OK;
  }

 private:
  IID events_;
  LONG refs_ = 1;
};

// A new instance of a class, through the registry or, with a module's class-object
// export, through the module itself (no registration needed).
using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
template <typename T>
T* CreateInstance(const CLSID& clsid, const IID& iid, GetClassObjectFn getClassObject = nullptr) {
  T* object = nullptr;
  if (!getClassObject) {
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object));
    return object;
  }
  IClassFactory* factory = nullptr;
  if (SUCCEEDED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
    factory->Release();
  }
  return object;
}

// A module's class-object export, loaded by name (null when it is not there).
inline GetClassObjectFn ClassObjectOf(HMODULE module) {
  const FARPROC proc = module ? GetProcAddress(module, "DllGetClassObject") : nullptr;
  // An export's address through a generic function pointer, to its real type.
  return reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace hostkit
