#include "tavo/ax/module.h"

#include <atomic>
#include <mutex>

namespace ax {

namespace {
HINSTANCE g_instance = nullptr;
std::atomic<long> g_count{0};
std::once_flag g_classesOnce;
bool g_classesRegistered = false;
}  // namespace

void ModuleAttach(HINSTANCE instance) { g_instance = instance; }

void ModuleDetach(bool processEnding) {
  // At process end the system takes the classes away; on an unload every window of
  // ours is gone (DllCanUnloadNow said so), and the names must be free for a reload.
  if (processEnding || !g_classesRegistered) return;
  UnregisterClassW(kNotifyWindowClass, g_instance);
  UnregisterClassW(kControlWindowClass, g_instance);
}

HINSTANCE ModuleInstance() { return g_instance; }

std::wstring ModuleFileName(HMODULE module) {
  // The longest name the system has is 32767 units. A buffer that is too small comes back
  // full (and under Wine without its terminating zero): the buffer grows and it is asked
  // again.
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, name.data(), DWORD(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    if (name.size() > 32768) return {};
    name.resize(name.size() * 2);
  }
}
void ModuleAddRef() { ++g_count; }
void ModuleRelease() { --g_count; }
long ModuleCount() { return g_count; }

void RegisterWindowClasses(WNDPROC procedure) {
  std::call_once(g_classesOnce, [procedure] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = g_instance;
    wc.lpszClassName = kNotifyWindowClass;
    const bool notify = RegisterClassW(&wc) != 0;
    wc.lpszClassName = kControlWindowClass;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    g_classesRegistered = RegisterClassW(&wc) != 0 && notify;
  });
}

}  // namespace ax
