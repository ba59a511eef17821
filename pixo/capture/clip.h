// Screen geometry: clipping a window rectangle to the primary screen or a rectangle to
// the virtual screen, and the order and listing of monitors. Pure arithmetic.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pixo {

struct ScreenRect {
  int left, top, right, bottom;
};

// The part of a window rectangle that lies on a screen of the given size: its size and
// its top-left corner relative to the window. A window wholly off the screen gives a
// width or height of 0 or less.
struct ClipResult {
  int offsetX, offsetY, width, height;
};
ClipResult ClipToScreen(const ScreenRect& r, int screenWidth, int screenHeight);

// The common part of two rectangles; empty (IsEmpty) when they do not meet.
ScreenRect Intersect(const ScreenRect& a, const ScreenRect& b);
inline bool IsEmpty(const ScreenRect& r) { return r.right <= r.left || r.bottom <= r.top; }

struct MonitorArea {
  ScreenRect rect;
  bool primary;
  std::wstring device;
  int dpi;
};

// The monitors numbered as the switches count them: the primary first, then the others
// by their left edge, then by their top edge.
std::vector<MonitorArea> OrderMonitors(std::vector<MonitorArea> monitors);

// A shown top-level window as /LW lists it.
struct WindowEntry {
  uint64_t handle;
  uint32_t processId;
  std::wstring program;  // the image's file name, or "?" when it cannot be read
  ScreenRect rect;
  std::wstring title;
};

// "handle pid program x,y,w,h title": the handle in hexadecimal as "0x" and 8 digits
// or more, the title last so that it may hold blanks.
std::wstring WindowLine(const WindowEntry& w);

// One line of the monitor list: "n device x,y,w,h primary|- dpi".
std::wstring MonitorLine(int index, const MonitorArea& m);

}  // namespace pixo
