// What every host of the control in this tree does the same way: pump messages, call a
// member by name, read a string property, connect an event sink. Header only; used by
// the demonstration host and the test hosts.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include <string>

namespace hostkit {

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

// Calls a member without arguments; result may be null.
inline HRESULT Call(IDispatch* d, const wchar_t* name, VARIANT* result = nullptr, WORD flags = DISPATCH_METHOD) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (result) VariantInit(result);
  return d->Invoke(IdOf(d, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &none, result, nullptr, nullptr);
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

}  // namespace hostkit
