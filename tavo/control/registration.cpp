#include "tavo/control/registration.h"

#include <olectl.h>
#include <shlobj.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tavo/ax/com.h"
#include "tavo/ax/module.h"
#include "tavo/bridge/utf8.h"
#include "tavo/control/tavo_ids.h"

namespace {

// The platform the module's type library is built for (widl --win32 or --win64).
#ifdef _WIN64
constexpr SYSKIND kTypeLibSystem = SYS_WIN64;
#else
constexpr SYSKIND kTypeLibSystem = SYS_WIN32;
#endif

// The longest registered folder the control works in, in UTF-16 units; with a longer one
// it works in the current folder. (The record file paths once had 1024-byte buffers:
// "\summary.txt" is the longest name appended.)
constexpr size_t kMaxDirectory = 1023 - 12;

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
  HKEY h;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS) return false;
  const LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                 DWORD((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

template <size_t N>
bool WriteEntries(HKEY root, const Entry (&entries)[N], const Fill* fills, size_t count) {
  for (const Entry& e : entries) {
    if (!SetValue(root, Expand(e.key, fills, count), e.name, Expand(e.data, fills, count))) return false;
  }
  return true;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY h;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

bool DeleteTree(HKEY root, const std::wstring& key) {
  const LONG rc = RegDeleteTreeW(root, key.c_str());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
    RegDeleteKeyW(root, key.c_str());
    return !KeyExists(root, key);
  }
  return false;
}

// Where a scope's classes are written: HKEY_CLASSES_ROOT for the machine, the user's
// Software\Classes for one user. Closed when it goes.
class ClassesRoot {
 public:
  explicit ClassesRoot(RegistrationScope scope) {
    if (scope == RegistrationScope::Machine) {
      key_ = HKEY_CLASSES_ROOT;
    } else if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                               &key_, nullptr) == ERROR_SUCCESS) {
      owned_ = true;
    }
  }
  ~ClassesRoot() {
    if (owned_) RegCloseKey(key_);
  }
  ClassesRoot(const ClassesRoot&) = delete;
  ClassesRoot& operator=(const ClassesRoot&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
  bool owned_ = false;
};

// The module's file; empty when it cannot be had.
std::wstring ModuleFile(HINSTANCE module) {
  wchar_t path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(module, path, DWORD(std::size(path)));
  return n == 0 || n >= std::size(path) ? std::wstring() : std::wstring(path);
}

// The module's path in short form; empty when it cannot be had.
std::wstring ShortModulePath(HINSTANCE module) {
  const std::wstring full = ModuleFile(module);
  if (full.empty()) return {};
  wchar_t shortPath[MAX_PATH * 4];
  const DWORD s = GetShortPathNameW(full.c_str(), shortPath, DWORD(std::size(shortPath)));
  if (s == 0 || s >= std::size(shortPath)) return {};
  return shortPath;
}

std::wstring LoadText(UINT id) {
  wchar_t text[256] = L"";
  ax::LoadModuleString(id, text, 256);
  return text;
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

// A user's type library keys, written where the system's own call for one user writes the
// machine's (Wine does): the same keys as a machine registration, under the user's classes.
HRESULT RegisterTypeLibraryForUser(HKEY root, ITypeLib* lib, const std::wstring& path) {
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return SELFREG_E_TYPELIB;
  const unsigned flags = attr->wLibFlags | LIBFLAG_FHASDISKIMAGE;
  lib->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr;
  lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  const std::wstring title = doc && *doc ? doc : name ? name : L"";
  SysFreeString(name);
  SysFreeString(doc);
  wchar_t hexFlags[16];
  swprintf(hexFlags, 16, L"%X", flags);
  const std::wstring version = std::to_wstring(kTavoVersionMajor) + L"." + std::to_wstring(kTavoVersionMinor);
  const std::wstring lib_key = L"TypeLib\\" + GuidText(LIBID_TAVOLib) + L"\\" + version;
  const wchar_t* platform = kTypeLibSystem == SYS_WIN64 ? L"win64" : L"win32";
  bool ok = SetValue(root, lib_key, nullptr, title) && SetValue(root, lib_key + L"\\0\\" + platform, nullptr, path) &&
            SetValue(root, lib_key + L"\\FLAGS", nullptr, hexFlags) &&
            SetValue(root, lib_key + L"\\HELPDIR", nullptr, path.substr(0, path.rfind(L'\\')));
  // Dispatch interfaces are marshalled by the system's dispatch proxy.
  const std::wstring proxy = L"{00020420-0000-0000-C000-000000000046}";
  for (const auto& [iid, interfaceName] : DispatchInterfaces(lib)) {
    const std::wstring key = L"Interface\\" + GuidText(iid);
    ok = ok && SetValue(root, key, nullptr, interfaceName) &&
         SetValue(root, key + L"\\ProxyStubClsid", nullptr, proxy) &&
         SetValue(root, key + L"\\ProxyStubClsid32", nullptr, proxy) &&
         SetValue(root, key + L"\\TypeLib", nullptr, GuidText(LIBID_TAVOLib)) &&
         SetValue(root, key + L"\\TypeLib", L"Version", version);
  }
  return ok ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT RegisterTypeLibrary(HINSTANCE module, HKEY root, RegistrationScope scope) {
  std::wstring path = ModuleFile(module);  // RegisterTypeLib takes a modifiable name
  if (path.empty()) return SELFREG_E_TYPELIB;
  ax::ComPtr<ITypeLib> lib;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Out()))) return SELFREG_E_TYPELIB;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return SELFREG_E_TYPELIB;
  const bool expected = attr->guid == LIBID_TAVOLib;
  lib->ReleaseTLibAttr(attr);
  if (!expected) return SELFREG_E_TYPELIB;
  if (scope == RegistrationScope::User) return RegisterTypeLibraryForUser(root, lib.get(), path);
  return SUCCEEDED(RegisterTypeLib(lib.get(), path.data(), nullptr)) ? S_OK : SELFREG_E_TYPELIB;
}

// Removes a user's type library keys.
bool UnregisterTypeLibraryForUser(HKEY root, HINSTANCE module) {
  bool ok = DeleteTree(root, L"TypeLib\\" + GuidText(LIBID_TAVOLib));
  const std::wstring path = ModuleFile(module);
  ax::ComPtr<ITypeLib> lib;
  if (!path.empty() && SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Out()))) {
    for (const auto& entry : DispatchInterfaces(lib.get()))
      ok = DeleteTree(root, L"Interface\\" + GuidText(entry.first)) && ok;
  }
  return ok;
}

// Removes a class's keys; when a 16-bit server shares the CLSID, only the 32-bit parts.
bool UnregisterClass(HKEY root, const CLSID& clsid, const wchar_t* progId) {
  const std::wstring key = L"CLSID\\" + GuidText(clsid);
  if (KeyExists(root, key + L"\\InprocServer")) {
    return DeleteTree(root, key + L"\\InprocServer32") && DeleteTree(root, key + L"\\ToolboxBitmap32");
  }
  bool ok = DeleteTree(root, key);
  if (progId) ok = DeleteTree(root, progId) && ok;
  return ok;
}

// The module file named by the class's registration under a root (the user's classes or
// HKEY_CLASSES_ROOT), or empty. Read with the wide-character call: a folder outside the
// ANSI code page comes back whole.
std::wstring RegisteredServer(HKEY root) {
  wchar_t path[1024] = {};
  HKEY key;
  const std::wstring sub = L"CLSID\\" + GuidText(CLSID_Tavo) + L"\\InprocServer32";
  if (!root || RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  DWORD size = sizeof path - sizeof path[0];
  DWORD type = 0;
  const bool ok =
      RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ);
  RegCloseKey(key);
  return ok ? std::wstring(path) : std::wstring();
}

// Whether two names are the same file (short and long names of it alike).
bool SameFile(const std::wstring& a, const std::wstring& b) {
  auto identify = [](const std::wstring& name, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return identify(a, x) && identify(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

std::wstring FolderOf(const std::wstring& file) {
  const size_t slash = file.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : file.substr(0, slash);
}

// Whether the record files can be written in the folder: log.txt is opened for writing
// (made when it is not there; the bridge makes it anew in any case).
bool CanWriteRecords(const std::wstring& folder) {
  const std::wstring log = folder + L"\\log.txt";
  HANDLE h = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// The user's own record folder, <local application data>\Tavo, made when needed; empty
// when there is none.
std::wstring UserRecordFolder() {
  wchar_t base[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, base)))
    return {};
  const std::wstring folder = std::wstring(base) + L"\\Tavo";
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return {};
  return folder;
}

BridgeConfig ReadBridgeConfig() {
  // The registration of this very file says where it is, in the form it was registered in;
  // without one (registration-free, or another copy registered) the module's own file does.
  const std::wstring module = ModuleFile(ax::ModuleInstance());
  std::wstring server;
  {
    const ClassesRoot user(RegistrationScope::User);
    server = RegisteredServer(user.get());
  }
  if (server.empty()) server = RegisteredServer(HKEY_CLASSES_ROOT);
  const bool ours = !server.empty() && (module.empty() || SameFile(server, module));
  const std::wstring folder = FolderOf(ours ? server : module);

  BridgeConfig config;
  if (!folder.empty() && folder.size() <= kMaxDirectory) config.workDir = Utf8FromWide(folder);
  config.enginePath = config.workDir + "\\tavo.exe";
  // A folder that cannot be written (under Program Files, for a user without the right):
  // the record files go to the user's own folder; the engine stays where it is.
  if (!CanWriteRecords(WideFromUtf8(config.workDir))) {
    const std::wstring own = UserRecordFolder();
    if (!own.empty() && own.size() <= kMaxDirectory && CanWriteRecords(own)) config.workDir = Utf8FromWide(own);
  }
  return config;
}

}  // namespace

HRESULT RegisterModule(HINSTANCE module, RegistrationScope scope) {
  const ClassesRoot root(scope);
  if (!root.get()) return SELFREG_E_CLASS;
  const HRESULT hr = RegisterTypeLibrary(module, root.get(), scope);
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
      {L"version", std::to_wstring(kTavoVersionMajor) + L"." + std::to_wstring(kTavoVersionMinor)},
  };
  if (!WriteEntries(root.get(), kControlClass, fills, std::size(fills)) ||
      !WriteEntries(root.get(), kPageClass, fills, std::size(fills)))
    return SELFREG_E_CLASS;
  return S_OK;
}

HRESULT UnregisterModule(HINSTANCE module, RegistrationScope scope) {
  const ClassesRoot root(scope);
  if (!root.get()) return SELFREG_E_CLASS;
  if (scope == RegistrationScope::User) {
    if (!UnregisterTypeLibraryForUser(root.get(), module)) return SELFREG_E_TYPELIB;
  } else if (KeyExists(root.get(), L"TypeLib\\" + GuidText(LIBID_TAVOLib))) {
    if (FAILED(UnRegisterTypeLib(LIBID_TAVOLib, kTavoVersionMajor, kTavoVersionMinor, 0, kTypeLibSystem)))
      return SELFREG_E_TYPELIB;
  }
  const bool controlOk = UnregisterClass(root.get(), CLSID_Tavo, kTavoProgId);
  const bool pageOk = UnregisterClass(root.get(), CLSID_TavoPropPage, nullptr);
  return controlOk && pageOk ? S_OK : SELFREG_E_CLASS;
}

const BridgeConfig& ControlBridgeConfig() {
  static std::once_flag once;
  static BridgeConfig config;
  std::call_once(once, [] { config = ReadBridgeConfig(); });
  return config;
}
