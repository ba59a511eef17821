// The control module: the class factories, the exports and the DLL's entry point.
// Registration is in registration.cpp; the control and its page in their own files.
#include <olectl.h>
#include <windows.h>

#include "tavo/ax/com.h"
#include "tavo/bridge/bridge.h"
#include "tavo/control/prop_page.h"
#include "tavo/control/registration.h"
#include "tavo/control/tavo_ctrl.h"
#include "tavo/control/tavo_ids.h"

using tavo::bridge::ExistingBridge;
using tavo::bridge::ShutdownBridgeEngine;
using tavo::control::CTavoCtrl;
using tavo::control::CTavoPropPage;
using tavo::control::RegisterModule;
using tavo::control::RegistrationScope;
using tavo::control::UnregisterModule;

namespace {

// ---- class factories

using CreateFn = HRESULT (*)(REFIID, void**);

class ClassFactory : public IClassFactory2 {
 public:
  ClassFactory(const CLSID& clsid, CreateFn create) : clsid_(clsid), create_(create) {}
  const CLSID& Clsid() const { return clsid_; }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory || riid == IID_IClassFactory2) {
      *out = static_cast<IClassFactory2*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // A static object: its references keep the module loaded.
  STDMETHODIMP_(ULONG) AddRef() override {
    ax::ModuleAddRef();
    return 2;
  }
  STDMETHODIMP_(ULONG) Release() override {
    ax::ModuleRelease();
    return 1;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return ax::Boundary([&] { return create_(riid, out); });
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      ax::ModuleAddRef();
    } else {
      ax::ModuleRelease();
    }
    return S_OK;
  }
  STDMETHODIMP GetLicInfo(LICINFO* info) override {
    if (!info) return E_POINTER;
    info->cbLicInfo = sizeof *info;
    info->fRuntimeKeyAvail = FALSE;
    info->fLicVerified = TRUE;
    return S_OK;
  }
  STDMETHODIMP RequestLicKey(DWORD, BSTR* key) override {
    if (key) *key = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP CreateInstanceLic(IUnknown* outer, IUnknown*, REFIID riid, BSTR, PVOID* out) override {
    return CreateInstance(outer, riid, out);
  }

 private:
  CLSID clsid_;
  CreateFn create_;
};

ClassFactory controlFactory(CLSID_Tavo, CTavoCtrl::Create);
ClassFactory pageFactory(CLSID_TavoPropPage, CTavoPropPage::Create);

}  // namespace

// The exports, as the .def file names them (the system headers declare only some).
extern "C" {
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
HRESULT WINAPI DllCanUnloadNow();
HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out);
HRESULT WINAPI DllRegisterServer();
HRESULT WINAPI DllUnregisterServer();
HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandLine);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    ax::ModuleAttach(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    // No engine outlives its host, even one that does not end at the end of its input.
    ShutdownBridgeEngine(reserved != nullptr);
    ax::ModuleDetach(reserved != nullptr);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  // The bridge's worker runs module code for as long as the process lives.
  return (ax::ModuleCount() == 0 && !ExistingBridge()) ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (ClassFactory* f : {&controlFactory, &pageFactory}) {
    if (f->Clsid() == clsid) return f->QueryInterface(riid, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
  return ax::Boundary([] { return RegisterModule(ax::ModuleInstance(), RegistrationScope::Machine); });
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return ax::Boundary([] { return UnregisterModule(ax::ModuleInstance(), RegistrationScope::Machine); });
}

// regsvr32 /n /i:user registers for the current user alone (/u with it removes that
// again); an empty command line, or "machine", means the whole machine, as
// DllRegisterServer does.
extern "C" HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  RegistrationScope scope;
  if (commandLine && CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) == CSTR_EQUAL) {
    scope = RegistrationScope::User;
  } else if (!commandLine || !*commandLine ||
             CompareStringOrdinal(commandLine, -1, L"machine", -1, TRUE) == CSTR_EQUAL) {
    scope = RegistrationScope::Machine;
  } else {
    return E_INVALIDARG;
  }
  return ax::Boundary([&] {
    return install ? RegisterModule(ax::ModuleInstance(), scope) : UnregisterModule(ax::ModuleInstance(), scope);
  });
}
