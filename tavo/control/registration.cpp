#include "tavo/control/registration.h"

#include <olectl.h>
#include <shlobj.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tavo/ax/com.h"
#include "tavo/ax/module.h"
#include "tavo/control/control_folder.h"
#include "tavo/control/reg_key.h"
#include "tavo/control/tavo_ids.h"

namespace tavo::control {

namespace {

// The platform the module's type library is built for (widl --win32 or --win64).
#ifdef _WIN64
constexpr SYSKIND kTypeLibSystem = SYS_WIN64;
#else
constexpr SYSKIND kTypeLibSystem = SYS_WIN32;
#endif

std::wstring GuidText(const GUID& g) {
  wchar_t text[64];
  StringFromGUID2(g, text, 64);
  return text;
}

// ---- the registry entries, as a table

// One value: key, value name (null: the key's default value) and data. Key and data
// may hold {names} that are filled in when the table is written.
struct Entry {
  const wchar_t* key;
  const wchar_t* name;
  const wchar_t* data;
};

constexpr Entry kControlClass[] = {
    {L"CLSID\\{clsid}", nullptr, L"{name}"},
    {L"CLSID\\{clsid}\\ProgID", nullptr, L"{progid}"},
    {L"CLSID\\{clsid}\\InprocServer32", nullptr, L"{path}"},
    {L"CLSID\\{clsid}\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\{clsid}\\ToolboxBitmap32", nullptr, L"{path}, {bitmap}"},
    {L"CLSID\\{clsid}\\MiscStatus", nullptr, L"0"},
    {L"CLSID\\{clsid}\\MiscStatus\\1", nullptr, L"{misc}"},
    {L"CLSID\\{clsid}\\Control", nullptr, L""},
    {L"CLSID\\{clsid}\\TypeLib", nullptr, L"{libid}"},
    {L"CLSID\\{clsid}\\Version", nullptr, L"{version}"},
    {L"{progid}", nullptr, L"{name}"},
    {L"{progid}\\CLSID", nullptr, L"{clsid}"},
};

constexpr Entry kPageClass[] = {
    {L"CLSID\\{page}", nullptr, L"{pagename}"},
    {L"CLSID\\{page}\\InprocServer32", nullptr, L"{path}"},
};

struct Fill {
  const wchar_t* name;
  std::wstring value;
};

std::wstring Expand(const wchar_t* pattern, const Fill* fills, size_t count) {
  std::wstring out = pattern;
  for (size_t i = 0; i < count; ++i) {
    const std::wstring token = std::wstring(L"{") + fills[i].name + L"}";
    for (size_t at = out.find(token); at != std::wstring::npos; at = out.find(token, at + fills[i].value.size()))
      out.replace(at, token.size(), fills[i].value);
  }
  return out;
}

bool SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& data) {
  RegKey h;
  return h.Create(root, key) && RegSetValueExW(h.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                               DWORD((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

template <size_t N>
bool WriteEntries(HKEY root, const Entry (&entries)[N], const Fill* fills, size_t count) {
  for (const Entry& e : entries) {
    if (!SetValue(root, Expand(e.key, fills, count), e.name, Expand(e.data, fills, count))) return false;
  }
  return true;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  RegKey h;
  return h.Open(root, key);
}

bool DeleteTree(HKEY root, const std::wstring& key) {
  const LONG rc = RegDeleteTreeW(root, key.c_str());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
    RegDeleteKeyW(root, key.c_str());
    return !KeyExists(root, key);
  }
  return false;
}

// Where a scope's classes are written, named explicitly: HKEY_CLASSES_ROOT is a merged
// view on Windows, and through it a machine registration would land in (or remove) the
// user's keys whenever the user has keys of the same class. Closed when it goes.
class ClassesRoot {
 public:
  explicit ClassesRoot(RegistrationScope scope) {
    key_.Create(scope == RegistrationScope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, L"Software\\Classes",
                KEY_READ | KEY_WRITE);
  }
  HKEY get() const { return key_.get(); }

 private:
  RegKey key_;
};

// The module's path in short form; empty when it cannot be had.
std::wstring ShortModulePath(HINSTANCE module) {
  const std::wstring full = ax::ModuleFileName(module);
  if (full.empty()) return {};
  const DWORD size = GetShortPathNameW(full.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::wstring shortPath(size, L'\0');
  const DWORD s = GetShortPathNameW(full.c_str(), shortPath.data(), size);
  if (s == 0 || s >= size) return {};
  shortPath.resize(s);
  return shortPath;
}

std::wstring LoadText(UINT id) {
  wchar_t text[256] = L"";
  ax::LoadModuleString(id, text, 256);
  return text;
}

// Whether registered keys that name a module file belong to another copy of the control:
// the file they name is there, and it is not this one. Keys that name no file, or a file
// that is gone, are this module's to remove.
bool NamesAnotherCopy(const std::wstring& registered, HINSTANCE module) {
  if (registered.empty() || GetFileAttributesW(registered.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  return !SameFile(registered, ax::ModuleFileName(module));
}

// The dispatch interfaces of the type library, whose Interface keys go with it.
std::vector<std::pair<IID, std::wstring>> DispatchInterfaces(ITypeLib* lib) {
  std::vector<std::pair<IID, std::wstring>> found;
  for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
    TYPEKIND kind;
    if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_DISPATCH) continue;
    ax::ComPtr<ITypeInfo> info;
    TYPEATTR* attr = nullptr;
    if (FAILED(lib->GetTypeInfo(i, info.Out())) || FAILED(info->GetTypeAttr(&attr))) continue;
    BSTR name = nullptr;
    lib->GetDocumentation(INT(i), &name, nullptr, nullptr, nullptr);
    found.emplace_back(attr->guid, name ? name : L"");
    SysFreeString(name);
    info->ReleaseTypeAttr(attr);
  }
  return found;
}

const wchar_t* const kPlatform = kTypeLibSystem == SYS_WIN64 ? L"win64" : L"win32";

// The type library's version as the registry spells it: "1.0".
std::wstring VersionText() { return std::to_wstring(kTavoVersionMajor) + L"." + std::to_wstring(kTavoVersionMinor); }

std::wstring TypeLibVersionKey() { return L"TypeLib\\" + GuidText(LIBID_TAVOLib) + L"\\" + VersionText(); }

// The type library's keys under a scope's classes, as the system's own registration
// writes them: the library's title, its file for this platform, flags and help folder,
// and its dispatch interfaces, marshalled by the system's dispatch proxy.
HRESULT RegisterTypeLibrary(HINSTANCE module, HKEY root) {
  const std::wstring path = ax::ModuleFileName(module);
  if (path.empty()) return SELFREG_E_TYPELIB;
  ax::ComPtr<ITypeLib> lib;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Out()))) return SELFREG_E_TYPELIB;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return SELFREG_E_TYPELIB;
  const bool expected = attr->guid == LIBID_TAVOLib;
  const unsigned flags = attr->wLibFlags | LIBFLAG_FHASDISKIMAGE;
  lib->ReleaseTLibAttr(attr);
  if (!expected) return SELFREG_E_TYPELIB;
  BSTR name = nullptr, doc = nullptr;
  lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  const std::wstring title = doc && *doc ? doc : name ? name : L"";
  SysFreeString(name);
  SysFreeString(doc);
  wchar_t hexFlags[16];
  swprintf(hexFlags, 16, L"%X", flags);
  const std::wstring version = VersionText();
  const std::wstring lib_key = TypeLibVersionKey();
  bool ok = SetValue(root, lib_key, nullptr, title) && SetValue(root, lib_key + L"\\0\\" + kPlatform, nullptr, path) &&
            SetValue(root, lib_key + L"\\FLAGS", nullptr, hexFlags) &&
            SetValue(root, lib_key + L"\\HELPDIR", nullptr, path.substr(0, path.rfind(L'\\')));
  const std::wstring proxy = L"{00020420-0000-0000-C000-000000000046}";
  for (const auto& [iid, interfaceName] : DispatchInterfaces(lib.get())) {
    const std::wstring key = L"Interface\\" + GuidText(iid);
    ok = ok && SetValue(root, key, nullptr, interfaceName) &&
         SetValue(root, key + L"\\ProxyStubClsid", nullptr, proxy) &&
         SetValue(root, key + L"\\ProxyStubClsid32", nullptr, proxy) &&
         SetValue(root, key + L"\\TypeLib", nullptr, GuidText(LIBID_TAVOLib)) &&
         SetValue(root, key + L"\\TypeLib", L"Version", version);
  }
  return ok ? S_OK : SELFREG_E_TYPELIB;
}

// Whether a key has subkeys.
bool HasSubkeys(HKEY root, const std::wstring& key) {
  RegKey h;
  DWORD subkeys = 0;
  return h.Open(root, key) &&
         RegQueryInfoKeyW(h.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys > 0;
}

// Removes this platform's registration of the type library, as the system's own removal
// does: the platform's key and this view's interface keys; once no other platform's key is
// left, the version. A library registered from another copy stays.
bool UnregisterTypeLibrary(HKEY root, HINSTANCE module) {
  const std::wstring lib_key = TypeLibVersionKey();
  const std::wstring platform_key = lib_key + L"\\0\\" + kPlatform;
  if (NamesAnotherCopy(RegKey::DefaultString(root, platform_key), module)) return true;
  bool ok = DeleteTree(root, platform_key);
  // The interfaces' keys are this registry view's own (on 64-bit Windows the 32-bit view has
  // its own Interface keys, while TypeLib is shared): they go in any case.
  const std::wstring path = ax::ModuleFileName(module);
  ax::ComPtr<ITypeLib> lib;
  if (!path.empty() && SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Out()))) {
    for (const auto& entry : DispatchInterfaces(lib.get()))
      ok = DeleteTree(root, L"Interface\\" + GuidText(entry.first)) && ok;
  }
  if (HasSubkeys(root, lib_key + L"\\0")) return ok;  // the other platform's library stays
  ok = DeleteTree(root, lib_key) && ok;
  const std::wstring libs = L"TypeLib\\" + GuidText(LIBID_TAVOLib);
  if (!HasSubkeys(root, libs)) ok = DeleteTree(root, libs) && ok;
  return ok;
}

// Removes a class's keys when they are this module's; when a 16-bit server shares the
// CLSID, only the 32-bit parts.
bool UnregisterClass(HKEY root, HINSTANCE module, const CLSID& clsid, const wchar_t* progId) {
  if (NamesAnotherCopy(RegisteredServer(root, clsid), module)) return true;
  const std::wstring key = L"CLSID\\" + GuidText(clsid);
  if (KeyExists(root, key + L"\\InprocServer")) {
    return DeleteTree(root, key + L"\\InprocServer32") && DeleteTree(root, key + L"\\ToolboxBitmap32");
  }
  bool ok = DeleteTree(root, key);
  if (progId) ok = DeleteTree(root, progId) && ok;
  return ok;
}

}  // namespace

HRESULT RegisterModule(HINSTANCE module, RegistrationScope scope) {
  const ClassesRoot root(scope);
  if (!root.get()) return SELFREG_E_CLASS;
  const HRESULT hr = RegisterTypeLibrary(module, root.get());
  if (FAILED(hr)) return hr;
  const std::wstring path = ShortModulePath(module);
  if (path.empty()) return SELFREG_E_CLASS;
  const Fill fills[] = {
      {L"clsid", GuidText(CLSID_Tavo)},
      {L"page", GuidText(CLSID_TavoPropPage)},
      {L"libid", GuidText(LIBID_TAVOLib)},
      {L"progid", kTavoProgId},
      {L"name", LoadText(IDS_TAVO)},
      {L"pagename", LoadText(IDS_TAVO_PPG)},
      {L"path", path},
      {L"bitmap", std::to_wstring(IDB_TAVO)},
      {L"misc", std::to_wstring(kTavoMiscStatus)},
      {L"version", VersionText()},
  };
  if (!WriteEntries(root.get(), kControlClass, fills, std::size(fills)) ||
      !WriteEntries(root.get(), kPageClass, fills, std::size(fills)))
    return SELFREG_E_CLASS;
  return S_OK;
}

HRESULT UnregisterModule(HINSTANCE module, RegistrationScope scope) {
  const ClassesRoot root(scope);
  if (!root.get()) return SELFREG_E_CLASS;
  if (!UnregisterTypeLibrary(root.get(), module)) return SELFREG_E_TYPELIB;
  const bool controlOk = UnregisterClass(root.get(), module, CLSID_Tavo, kTavoProgId);
  const bool pageOk = UnregisterClass(root.get(), module, CLSID_TavoPropPage, nullptr);
  return controlOk && pageOk ? S_OK : SELFREG_E_CLASS;
}

}  // namespace tavo::control
