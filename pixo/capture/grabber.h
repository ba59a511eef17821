// Copies the primary screen, or the foreground window with its frame, into a new bitmap.
#pragma once
#include <windows.h>

#include "pixo/capture/clip.h"

namespace pixo {

class ScreenGrabber {
 public:
  explicit ScreenGrabber(void* owner = nullptr) { (void)owner; }
  bool ActiveWindow = false;
  bool IncludeMouseCursor = true;

  // A bitmap holding the capture, owned by the caller; 0 when nothing was captured.
  HBITMAP Capture();
};

}  // namespace pixo
