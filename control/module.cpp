// The control module: start-up (the work directory and the engine path), the class
// factories, the four exports and self-registration.
#include <windows.h>
#include <olectl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "../engine/bridge.h"
#include "com_util.h"
#include "prop_page.h"
#include "tavo_ctrl.h"
#include "tavo_ids.h"

namespace {

HINSTANCE g_instance = nullptr;
std::atomic<long> g_count{0};

constexpr const char* kProgId = "TAVO.TavoCtrl.1";
// The platform the module's type library is built for (widl --win32 or --win64).
#ifdef _WIN64
constexpr SYSKIND kTypeLibSystem = SYS_WIN64;
#else
constexpr SYSKIND kTypeLibSystem = SYS_WIN32;
#endif
// The longest directory for which the engine path and the record file paths still fit
// their 1024-byte buffers ("\summary.txt" is the longest name appended).
constexpr size_t kMaxDirectory = 1023 - 12;

std::wstring Wide(const char* s) {
  std::wstring w;
  while (*s) w += wchar_t(static_cast<unsigned char>(*s++));
  return w;
}

std::wstring GuidText(const GUID& g) {
  wchar_t text[64];
  StringFromGUID2(g, text, 64);
  return text;
}

// ---- the module object

class CTavoModule {
 public:
  // Finds the control's directory from its registration and fills the module-wide values.
  void InitInstance() {
    char path[1024] = {};
    bool havePath = false;
    HKEY key;
    const std::string sub = "CLSID\\" + Narrow(GuidText(CLSID_Tavo)) + "\\InprocServer32";
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, sub.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      DWORD size = sizeof path - 1;
      havePath = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) == ERROR_SUCCESS;
      RegCloseKey(key);
    }
    char directory[1024] = ".";
    if (havePath) {
      char* slash = std::strrchr(path, '\\');
      if (slash && size_t(slash - path) <= kMaxDirectory) {
        *slash = '\0';
        std::snprintf(directory, sizeof directory, "%s", path);
      }
    }
    std::snprintf(workDir, sizeof workDir, "%s", directory);
    std::snprintf(enginePath, sizeof enginePath, "%s\\tavo.exe", directory);
  }
  void ExitInstance() {}

 private:
  static std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }
};

CTavoModule theModule;

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
    return create_(riid, out);
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

// ---- registry helpers

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& data) {
  HKEY h;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                 DWORD((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

bool KeyExists(const std::wstring& key) {
  HKEY h;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

bool DeleteTree(const std::wstring& key) {
  const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    return !KeyExists(key);
  }
  return false;
}

// The module's path in short form; empty when it cannot be had.
std::wstring ShortModulePath() {
  wchar_t full[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(g_instance, full, DWORD(std::size(full)));
  if (n == 0 || n >= std::size(full)) return {};
  wchar_t shortPath[MAX_PATH * 4];
  const DWORD s = GetShortPathNameW(full, shortPath, DWORD(std::size(shortPath)));
  if (s == 0 || s >= std::size(shortPath)) return {};
  return shortPath;
}

std::wstring LoadText(UINT id) {
  wchar_t text[256] = L"";
  ax::LoadModuleString(id, text, 256);
  return text;
}

bool RegisterControlClass() {
  const std::wstring path = ShortModulePath();
  if (path.empty()) return false;
  const std::wstring clsid = GuidText(CLSID_Tavo);
  const std::wstring key = L"CLSID\\" + clsid;
  const std::wstring name = LoadText(IDS_TAVO);
  wchar_t version[16];
  std::swprintf(version, 16, L"%d.%d", kTavoVersionMajor, kTavoVersionMinor);
  const std::wstring progId = Wide(kProgId);
  return SetValue(key, nullptr, name) && SetValue(key + L"\\ProgID", nullptr, progId) &&
         SetValue(key + L"\\InprocServer32", nullptr, path) &&
         SetValue(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
         SetValue(key + L"\\ToolboxBitmap32", nullptr, path + L", " + std::to_wstring(IDB_TAVO)) &&
         SetValue(key + L"\\MiscStatus", nullptr, L"0") &&
         SetValue(key + L"\\MiscStatus\\1", nullptr, std::to_wstring(132497)) &&
         SetValue(key + L"\\Control", nullptr, L"") && SetValue(key + L"\\TypeLib", nullptr, GuidText(LIBID_TAVOLib)) &&
         SetValue(key + L"\\Version", nullptr, version) && SetValue(progId, nullptr, name) &&
         SetValue(progId + L"\\CLSID", nullptr, clsid);
}

bool RegisterPageClass() {
  const std::wstring path = ShortModulePath();
  if (path.empty()) return false;
  const std::wstring key = L"CLSID\\" + GuidText(CLSID_TavoPropPage);
  return SetValue(key, nullptr, LoadText(IDS_TAVO_PPG)) && SetValue(key + L"\\InprocServer32", nullptr, path);
}

// Removes a class's keys; when a 16-bit server shares the CLSID, only the 32-bit parts.
bool UnregisterClass(const CLSID& clsid, const wchar_t* progId) {
  const std::wstring key = L"CLSID\\" + GuidText(clsid);
  if (KeyExists(key + L"\\InprocServer")) {
    return DeleteTree(key + L"\\InprocServer32") && DeleteTree(key + L"\\ToolboxBitmap32");
  }
  bool ok = DeleteTree(key);
  if (progId) ok = DeleteTree(progId) && ok;
  return ok;
}

}  // namespace

namespace ax {
void ModuleAddRef() { ++g_count; }
void ModuleRelease() { --g_count; }
long ModuleCount() { return g_count; }
HINSTANCE ModuleInstance() { return g_instance; }
}  // namespace ax

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_instance = instance;
    DisableThreadLibraryCalls(instance);
    theModule.InitInstance();
  } else if (reason == DLL_PROCESS_DETACH) {
    theModule.ExitInstance();
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  // The bridge's worker runs module code for as long as the process lives.
  return (ax::ModuleCount() == 0 && !BridgeExists()) ? S_OK : S_FALSE;
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
  wchar_t path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(g_instance, path, DWORD(std::size(path)));
  if (n == 0 || n >= std::size(path)) return SELFREG_E_TYPELIB;
  ax::ComPtr<ITypeLib> lib;
  if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, lib.Out()))) return SELFREG_E_TYPELIB;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return SELFREG_E_TYPELIB;
  const bool expected = attr->guid == LIBID_TAVOLib;
  lib->ReleaseTLibAttr(attr);
  if (!expected || FAILED(RegisterTypeLib(lib.get(), path, nullptr))) return SELFREG_E_TYPELIB;
  if (!RegisterControlClass() || !RegisterPageClass()) return SELFREG_E_CLASS;
  return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  if (KeyExists(L"TypeLib\\" + GuidText(LIBID_TAVOLib))) {
    if (FAILED(UnRegisterTypeLib(LIBID_TAVOLib, kTavoVersionMajor, kTavoVersionMinor, 0, kTypeLibSystem)))
      return SELFREG_E_TYPELIB;
  }
  const bool controlOk = UnregisterClass(CLSID_Tavo, L"TAVO.TavoCtrl.1");
  const bool pageOk = UnregisterClass(CLSID_TavoPropPage, nullptr);
  return controlOk && pageOk ? S_OK : SELFREG_E_CLASS;
}
