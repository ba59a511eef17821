// Test helper: prints the default printer's page geometry as
// "HORZRES VERTRES PHYSICALOFFSETX PHYSICALOFFSETY LOGPIXELSX LOGPIXELSY".
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
  wchar_t value[512] = {};
  GetProfileStringW(L"windows", L"device", L"", value, 512);
  std::wstring v(value);
  const size_t comma = v.find(L',');
  const std::wstring device = v.substr(0, comma);
  if (device.empty()) return 2;
  HDC dc = CreateDCW(nullptr, device.c_str(), nullptr, nullptr);
  if (!dc) return 3;
  std::printf("%d %d %d %d %d %d\n", GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES),
              GetDeviceCaps(dc, PHYSICALOFFSETX), GetDeviceCaps(dc, PHYSICALOFFSETY), GetDeviceCaps(dc, LOGPIXELSX),
              GetDeviceCaps(dc, LOGPIXELSY));
  DeleteDC(dc);
  return 0;
}
