#include "pixo/capture/clip.h"

#include <algorithm>

namespace pixo {

ClipResult ClipToScreen(const ScreenRect& r, int screenWidth, int screenHeight) {
  ClipResult c{};
  c.offsetX = r.left < 0 ? -r.left : 0;
  c.offsetY = r.top < 0 ? -r.top : 0;
  c.width = (screenWidth < r.right ? screenWidth : r.right) - r.left - c.offsetX;
  c.height = (screenHeight < r.bottom ? screenHeight : r.bottom) - r.top - c.offsetY;
  return c;
}

ScreenRect Intersect(const ScreenRect& a, const ScreenRect& b) {
  return ScreenRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                    std::min(a.bottom, b.bottom)};
}

std::vector<MonitorArea> OrderMonitors(std::vector<MonitorArea> monitors) {
  std::stable_sort(monitors.begin(), monitors.end(), [](const MonitorArea& a, const MonitorArea& b) {
    if (a.primary != b.primary) return a.primary;
    if (a.rect.left != b.rect.left) return a.rect.left < b.rect.left;
    return a.rect.top < b.rect.top;
  });
  return monitors;
}

std::wstring MonitorLine(int index, const MonitorArea& m) {
  return std::to_wstring(index) + L" " + m.device + L" " + std::to_wstring(m.rect.left) + L"," +
         std::to_wstring(m.rect.top) + L"," + std::to_wstring(m.rect.right - m.rect.left) + L"," +
         std::to_wstring(m.rect.bottom - m.rect.top) + L" " + (m.primary ? L"primary" : L"-") + L" " +
         std::to_wstring(m.dpi);
}

}  // namespace pixo
