#include "pixo/capture/clip.h"

namespace pixo {

ClipResult ClipToScreen(const ScreenRect& r, int screenWidth, int screenHeight) {
  ClipResult c{};
  c.offsetX = r.left < 0 ? -r.left : 0;
  c.offsetY = r.top < 0 ? -r.top : 0;
  c.width = (screenWidth < r.right ? screenWidth : r.right) - r.left - c.offsetX;
  c.height = (screenHeight < r.bottom ? screenHeight : r.bottom) - r.top - c.offsetY;
  return c;
}

}  // namespace pixo
