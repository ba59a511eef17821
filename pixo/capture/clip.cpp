#include "pixo/capture/clip.h"

#include <cwchar>

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

namespace {
std::wstring Geometry(const ScreenRect& r) {
  return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right - r.left) + L"," +
         std::to_wstring(r.bottom - r.top);
}
}  // namespace

std::wstring MonitorLine(int index, const MonitorArea& m) {
  return std::to_wstring(index) + L" " + m.device + L" " + Geometry(m.rect) + L" " + (m.primary ? L"primary" : L"-") +
         L" " + std::to_wstring(m.dpi);
}

std::wstring WindowLine(const WindowEntry& w) {
  wchar_t handle[24];
  swprintf(handle, 24, L"0x%08llX", static_cast<unsigned long long>(w.handle));
  return std::wstring(handle) + L" " + std::to_wstring(w.processId) + L" " + w.program + L" " + Geometry(w.rect) +
         L" " + w.title;
}

}  // namespace pixo
