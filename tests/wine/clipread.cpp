// Test helper: writes the clipboard's DIB as a BMP file. Exit code 0 when there was one.
// Usage: clipread.exe OUT.BMP
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2 || !OpenClipboard(nullptr)) return 2;
  HANDLE data = GetClipboardData(CF_DIB);
  const void* p = data ? GlobalLock(data) : nullptr;
  if (!p) {
    CloseClipboard();
    return 3;
  }
  const SIZE_T size = GlobalSize(data);
  const auto* info = static_cast<const BITMAPINFOHEADER*>(p);
  DWORD colours = info->biClrUsed ? info->biClrUsed : (info->biBitCount <= 8 ? 1u << info->biBitCount : 0);
  if (info->biCompression == BI_BITFIELDS && info->biSize == sizeof(BITMAPINFOHEADER)) colours = 3;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfSize = DWORD(sizeof file + size);
  file.bfOffBits = DWORD(sizeof file + info->biSize + colours * 4);
  FILE* f = std::fopen(argv[1], "wb");
  if (!f) return 4;
  std::fwrite(&file, sizeof file, 1, f);
  std::fwrite(p, 1, size, f);
  std::fclose(f);
  GlobalUnlock(data);
  CloseClipboard();
  return 0;
}
