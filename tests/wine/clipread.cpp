// Test helper: writes the clipboard's DIB as a BMP file. Exit code 0 when there was one.
// With "hold", holds the clipboard open with a window of its own for the seconds given (as
// clipboard managers do), creating READY once it holds it.
// Usage: clipread.exe OUT.BMP | clipread.exe hold SECONDS READY
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "hold") == 0) {
    HWND owner = CreateWindowW(L"STATIC", L"clipboard holder", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!owner || !OpenClipboard(owner)) return 2;
    if (FILE* ready = std::fopen(argv[3], "w")) std::fclose(ready);
    Sleep(DWORD(std::atoi(argv[2])) * 1000);
    CloseClipboard();
    return 0;
  }
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
