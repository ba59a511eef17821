// Copies a part of the screen into a new bitmap: the primary screen, the foreground
// window with its frame, the virtual screen, a monitor, a window found by its title, its
// handle or its program, or a rectangle; optionally with the mouse cursor drawn in. A
// window can also be taken from its own drawing, covered or not, and without its frame.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "pixo/capture/clip.h"
#include "pixo/capture/cmdline.h"
#include "pixo/capture/tbitmap.h"
#include "pixo/capture/win_handles.h"

namespace pixo {

// Told of a capture while it is read, so that a writer can start on the first rows: the
// picture (a 32-bit section, no pixel of it read yet) once the screen is about to be read;
// then, on the capturing thread, WhileReading, as long as it likes, while another thread
// reads the bands and tells after each how many rows from the top are final (Landed), or
// that no more will land (Stopped; the capture then raises), and last, on the reading
// thread, that it is about to end (ReaderEnds). Not told at all when the
// capture draws over its rows afterwards (the cursor, the black of what no monitor shows)
// or does not land in a 32-bit section.
class CaptureListener {
 public:
  virtual ~CaptureListener() = default;
  virtual void Started(const TBitmap& image) = 0;
  virtual void WhileReading() = 0;
  virtual void Landed(int rows) = 0;
  virtual void Stopped() = 0;
  virtual void ReaderEnds() = 0;
};

class ScreenGrabber {
 public:
  Target target = Target::Screen;
  int monitor = 0;
  std::wstring title;
  ScreenRect rect{};
  uint64_t handle = 0;
  std::wstring program;  // an image name or a process id
  bool ownPixels = false;   // a window's own drawing (PrintWindow), not the screen
  bool clientArea = false;  // a window's client area only
  bool drawCursor = false;
  CaptureListener* listener = nullptr;

  // The capture; empty when nothing was captured (a foreground window off the primary
  // screen). A monitor, window or rectangle that is not there raises ETargetError, and so
  // does /A when no window at all is shown, and a band of rows that cannot be copied. A
  // window is read from the screen at the place it had when the capture began: one that
  // closes, shrinks or moves meanwhile leaves what the screen shows there in later rows.
  TBitmap Capture();
  // The title of the window that the last Capture took ("" for other targets).
  const std::wstring& CapturedTitle() const { return capturedTitle_; }

 private:
  std::wstring capturedTitle_;
  // The window that a window target names; raises ETargetError when none matches (null
  // only for /A without a foreground window). name: how the message names it.
  HWND TargetWindow(std::string& name) const;
};

// The monitors, numbered as /M: counts them (index 0 is monitor 1).
std::vector<MonitorArea> Monitors();

// The shown top-level windows, top down, as /LW lists them.
std::vector<WindowEntry> Windows();

}  // namespace pixo
