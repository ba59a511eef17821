// Clipping a window rectangle to the primary screen. Pure arithmetic.
#pragma once

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

}  // namespace pixo
