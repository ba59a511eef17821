// Program entry of the capture tool: one run, then exit code 0; an error shows one
// message box and ends with exit code 1, or with /Q goes to standard error and ends with
// the exit code of its class.
#include <windows.h>

#include <new>

#include "pixo/base/errors.h"
#include "pixo/base/stream.h"
#include "pixo/capture/cmdline.h"
#include "pixo/capture/console.h"
#include "pixo/capture/run_capture.h"

namespace {

std::wstring FromUtf8(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), out.data(), n);
  return out;
}

// The module that contains an address, its file name without folder, and its base.
void LocateModule(const void* where, std::string& name, uintptr_t& base) {
  HMODULE module = nullptr;
  if (!where ||
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(where), &module)) {
    module = GetModuleHandleW(nullptr);
  }
  wchar_t path[MAX_PATH * 4] = {};
  GetModuleFileNameW(module, path, DWORD(std::size(path)) - 1);
  std::wstring p(path);
  const size_t slash = p.find_last_of(L"\\/");
  name = pixo::ToUtf8(slash == std::wstring::npos ? p : p.substr(slash + 1));
  base = reinterpret_cast<uintptr_t>(module);
}

void ShowError(const std::string& className, const std::string& message, const void* where, bool quiet) {
  std::string moduleName;
  uintptr_t base = 0;
  LocateModule(where, moduleName, base);
  const uintptr_t offset = where ? reinterpret_cast<uintptr_t>(where) - base : 0;
  const std::string text = pixo::ErrorBoxText(className, moduleName, offset, message);
  if (quiet) {
    pixo::WriteText(STD_ERROR_HANDLE, FromUtf8(text + "\n"));
    return;
  }
  MessageBoxW(nullptr, FromUtf8(text).c_str(), FromUtf8(pixo::msg::kBoxTitle).c_str(),
              MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // No system box may stop a run: a drive without its disk, or a file that cannot be
  // opened, is a failure this program reports itself (with /Q, without any box).
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  bool quiet = false;
  const auto failed = [&quiet](pixo::ErrorKind kind) { return quiet ? pixo::QuietExitCode(kind) : 1; };
  try {
    auto items = pixo::SplitCommandLine(GetCommandLineW());
    items.erase(items.begin());
    if (items.empty()) return 0;
    const pixo::RunOptions options = pixo::ParseArguments(items);
    quiet = options.quiet;
    pixo::RunCapture(options);
  } catch (const pixo::Error& e) {
    ShowError(e.ClassName(), e.Message(), e.Where(), quiet);
    return failed(e.Kind());
  } catch (const std::bad_alloc&) {
    ShowError(pixo::InfoOf(pixo::ErrorKind::OutOfMemory).className, pixo::msg::kOutOfMemory, nullptr, quiet);
    return failed(pixo::ErrorKind::OutOfMemory);
  } catch (const std::exception& e) {
    ShowError(pixo::InfoOf(pixo::ErrorKind::Other).className, e.what(), nullptr, quiet);
    return failed(pixo::ErrorKind::Other);
  }
  return 0;
}
