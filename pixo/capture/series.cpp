#include "pixo/capture/series.h"

#include <atomic>

#include "pixo/base/errors.h"
#include "pixo/capture/console.h"

namespace pixo {

namespace {
// The events of the series whose console handler is set (one a run): the handler is a
// plain function, called on the system's thread.
std::atomic<HANDLE> g_stop{nullptr}, g_between{nullptr};
}  // namespace

Series::Series()
    : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), between_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
  if (!stop_ || !between_) RaiseOutOfResources(GetLastError());
  g_stop = stop_.get();
  g_between = between_.get();
  AttachParentConsole();
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

Series::~Series() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  g_stop = nullptr;
  g_between = nullptr;
}

BOOL WINAPI Series::OnConsoleEvent(DWORD) {
  HANDLE stop = g_stop, between = g_between;
  if (!stop || !between) return FALSE;
  SetEvent(stop);
  WaitForSingleObject(between, 4000);
  return TRUE;
}

void Series::Run(int shots, int intervalMs, const std::function<void(int shot)>& take) {
  const ULONGLONG start = GetTickCount64();
  for (int shot = 1; shot <= shots; ++shot) {
    const ULONGLONG due = start + ULONGLONG(shot - 1) * ULONGLONG(intervalMs), now = GetTickCount64();
    if (WaitForSingleObject(stop_.get(), due > now ? DWORD(due - now) : 0) == WAIT_OBJECT_0) break;
    ResetEvent(between_.get());
    try {
      take(shot);
    } catch (...) {
      SetEvent(between_.get());
      throw;
    }
    SetEvent(between_.get());
  }
}

}  // namespace pixo
