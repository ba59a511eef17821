#include "tavo/control/control_folder.h"

#include <shlobj.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "tavo/ax/module.h"
#include "tavo/bridge/utf8.h"
#include "tavo/control/reg_key.h"
#include "tavo/control/tavo_ids.h"
#include "tavo/protocol/protocol.h"

namespace tavo::control {

using bridge::BridgeConfig;
using bridge::Utf8FromWide;
using bridge::WideFromUtf8;

namespace {

// How many hosts may play from one folder at once: the first in the folder itself, the
// others in host2 ... host64 below it.
constexpr int kMaxHosts = 64;
// The file whose open handle is a host's claim of a record folder.
constexpr const wchar_t* kClaimFile = L"host.lock";

std::wstring FolderOf(const std::wstring& file) {
  const size_t slash = file.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : file.substr(0, slash);
}

// A name that the file calls take whatever its length: a long absolute name gets the
// \\?\ form (which has no length limit); a short one stays as it is.
std::wstring LongForm(const std::wstring& name) {
  if (name.size() < MAX_PATH - 20 || name.compare(0, 4, L"\\\\?\\") == 0) return name;
  if (name.size() > 2 && name[1] == L':' && name[2] == L'\\') return L"\\\\?\\" + name;
  if (name.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + name.substr(2);
  return name;
}

// Whether the record files can be written in the folder: log.txt is opened for writing
// (made when it is not there; the bridge makes it anew in any case).
bool CanWriteRecords(const std::wstring& folder) {
  const std::wstring log = folder + L"\\" + WideFromUtf8(tavo::protocol::kLogFile);
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

// What names a file or folder whatever name it is reached by: its volume and file index.
// False when it cannot be opened.
bool FileIdentity(const std::wstring& name, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = CreateFileW(LongForm(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok;
}

// The claims this process holds; the system closes them when the process ends.
std::vector<HANDLE>& Claims() {
  static std::vector<HANDLE> claims;
  return claims;
}

// Claims a record folder for this process: its claim file, made in the folder and held
// open without sharing for as long as the process runs (and deleted when it is closed,
// however the process ends). Only a program that may write in the folder can hold it, so
// no other user can squat a folder of this user's. False when another program holds it
// or it cannot be made.
bool ClaimFolder(const std::wstring& folder) {
  const std::wstring name = LongForm(folder + L"\\" + kClaimFile);
  HANDLE claim = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (claim == INVALID_HANDLE_VALUE) return false;
  Claims().push_back(claim);
  return true;
}

// The first folder of base, base\host2, ... that this process can claim and write in.
std::wstring ClaimRecordFolder(const std::wstring& base) {
  for (int host = 1; host <= kMaxHosts; ++host) {
    const std::wstring folder = host == 1 ? base : base + L"\\host" + std::to_wstring(host);
    if (host > 1 && !CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) break;
    if (ClaimFolder(folder) && (host == 1 || CanWriteRecords(folder))) return folder;
  }
  return {};
}

BridgeConfig ReadBridgeConfig() {
  // The registration of this very file says where it is, in the form it was registered in;
  // without one (registration-free, or another copy registered) the module's own file does.
  const std::wstring module = ax::ModuleFileName(ax::ModuleInstance());
  std::wstring server;
  {
    RegKey user;
    if (user.Open(HKEY_CURRENT_USER, L"Software\\Classes")) server = RegisteredServer(user.get(), CLSID_Tavo);
  }
  if (server.empty()) server = RegisteredServer(HKEY_CLASSES_ROOT, CLSID_Tavo);
  const bool ours = !server.empty() && (module.empty() || SameFile(server, module));
  const std::wstring folder = LongForm(FolderOf(ours ? server : module));

  BridgeConfig config;
  // No folder of the control: no engine and no records. The host's current folder is
  // never a stand-in, since whatever lies there (a download folder, say) is not ours.
  if (folder.empty()) return config;
  config.enginePath = Utf8FromWide(folder + L"\\tavo.exe");
  // A folder that cannot be written (under Program Files, for a user without the right):
  // the record files go to the user's own folder; the engine stays where it is.
  std::wstring records = folder;
  if (!CanWriteRecords(records)) {
    const std::wstring own = UserRecordFolder();
    if (!own.empty() && CanWriteRecords(own)) records = own;
  }
  const std::wstring claimed = ClaimRecordFolder(records);
  // With every folder claimed, this host plays no game: sharing another host's records
  // would mix both games in them.
  if (claimed.empty()) return BridgeConfig{};
  config.workDir = Utf8FromWide(claimed);
  return config;
}

}  // namespace

std::wstring RegisteredServer(HKEY classesRoot, const CLSID& clsid) {
  wchar_t guid[64];
  StringFromGUID2(clsid, guid, 64);
  return RegKey::DefaultString(classesRoot, std::wstring(L"CLSID\\") + guid + L"\\InprocServer32");
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return FileIdentity(a, x) && FileIdentity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

const BridgeConfig& ControlBridgeConfig() {
  static std::once_flag once;
  static BridgeConfig config;
  std::call_once(once, [] { config = ReadBridgeConfig(); });
  return config;
}

}  // namespace tavo::control
