#include "tavo/control/registration.h"

#include <olectl.h>

#include <mutex>
#include <string>

#include "tavo/ax/com.h"
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

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& data) {
  HKEY h;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                 DWORD((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

template <size_t N>
bool WriteEntries(const Entry (&entries)[N], const Fill* fills, size_t count) {
  for (const Entry& e : entries) {
    if (!SetValue(Expand(e.key, fills, count), e.name, Expand(e.data, fills, count))) return false;
  }
  return true;
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
std::wstring ShortModulePath(HINSTANCE module) {
  wchar_t full[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(module, full, DWORD(std::size(full)));
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

HRESULT RegisterTypeLibrary(HINSTANCE module) {
  wchar_t path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(module, path, DWORD(std::size(path)));
  if (n == 0 || n >= std::size(path)) return SELFREG_E_TYPELIB;
  ax::ComPtr<ITypeLib> lib;
  if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, lib.Out()))) return SELFREG_E_TYPELIB;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return SELFREG_E_TYPELIB;
  const bool expected = attr->guid == LIBID_TAVOLib;
  lib->ReleaseTLibAttr(attr);
  if (!expected || FAILED(RegisterTypeLib(lib.get(), path, nullptr))) return SELFREG_E_TYPELIB;
  return S_OK;
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

// The folder of the registered module, where the engine and the record files are; the
// current folder when the registration cannot be read or its folder is too long. Read
// with the wide-character call: a folder outside the ANSI code page comes back whole.
BridgeConfig ReadBridgeConfig() {
  wchar_t path[1024] = {};
  bool havePath = false;
  HKEY key;
  const std::wstring sub = L"CLSID\\" + GuidText(CLSID_Tavo) + L"\\InprocServer32";
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, sub.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD size = sizeof path - sizeof path[0];
    DWORD type = 0;
    havePath = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) == ERROR_SUCCESS &&
               (type == REG_SZ || type == REG_EXPAND_SZ);
    RegCloseKey(key);
  }
  BridgeConfig config;
  if (havePath) {
    const std::wstring module(path);
    const size_t slash = module.rfind(L'\\');
    if (slash != std::wstring::npos && slash <= kMaxDirectory) config.workDir = Utf8FromWide(module.substr(0, slash));
  }
  config.enginePath = config.workDir + "\\tavo.exe";
  return config;
}

}  // namespace

HRESULT RegisterModule(HINSTANCE module) {
  const HRESULT hr = RegisterTypeLibrary(module);
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
  if (!WriteEntries(kControlClass, fills, std::size(fills)) || !WriteEntries(kPageClass, fills, std::size(fills)))
    return SELFREG_E_CLASS;
  return S_OK;
}

HRESULT UnregisterModule() {
  if (KeyExists(L"TypeLib\\" + GuidText(LIBID_TAVOLib))) {
    if (FAILED(UnRegisterTypeLib(LIBID_TAVOLib, kTavoVersionMajor, kTavoVersionMinor, 0, kTypeLibSystem)))
      return SELFREG_E_TYPELIB;
  }
  const bool controlOk = UnregisterClass(CLSID_Tavo, kTavoProgId);
  const bool pageOk = UnregisterClass(CLSID_TavoPropPage, nullptr);
  return controlOk && pageOk ? S_OK : SELFREG_E_CLASS;
}

const BridgeConfig& ControlBridgeConfig() {
  static std::once_flag once;
  static BridgeConfig config;
  std::call_once(once, [] { config = ReadBridgeConfig(); });
  return config;
}
