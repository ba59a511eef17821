// Copies a part of the screen into a new bitmap: the primary screen, the foreground
// window with its frame, the virtual screen, a monitor, a window found by its title, or a
// rectangle; optionally with the mouse cursor drawn in.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "pixo/capture/clip.h"
#include "pixo/capture/cmdline.h"
#include "pixo/capture/win_handles.h"

namespace pixo {

class ScreenGrabber {
 public:
  Target target = Target::Screen;
  int monitor = 0;
  std::wstring title;
  ScreenRect rect{};
  bool drawCursor = false;

  // A bitmap holding the capture, owned by the caller; 0 when nothing was captured (a
  // foreground window off the primary screen). A monitor, window or rectangle that is
  // not there raises ETargetError.
  BitmapHandle Capture();
};

// The monitors, numbered as /M: counts them (index 0 is monitor 1).
std::vector<MonitorArea> Monitors();

}  // namespace pixo
