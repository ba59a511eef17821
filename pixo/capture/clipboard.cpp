#include "pixo/capture/clipboard.h"

#include <cstring>
#include <memory>

#include "pixo/base/errors.h"
#include "pixo/base/image.h"
#include "pixo/base/stream.h"
#include "pixo/capture/win_handles.h"

namespace pixo {

namespace {

constexpr size_t kFileHeaderSize = 14;

class ClipboardOpen {
 public:
  ClipboardOpen() {
    // Another program may hold the clipboard for a moment.
    for (int attempt = 0; attempt < 20 && !open_; ++attempt) {
      open_ = OpenClipboard(nullptr) != 0;
      if (!open_) Sleep(50);
    }
  }
  ~ClipboardOpen() {
    if (open_) CloseClipboard();
  }
  ClipboardOpen(const ClipboardOpen&) = delete;
  ClipboardOpen& operator=(const ClipboardOpen&) = delete;
  bool ok() const { return open_; }

 private:
  bool open_ = false;
};

// Movable global memory for the clipboard, locked while it is filled; freed unless the
// clipboard has taken it.
class ClipboardMemory {
 public:
  explicit ClipboardMemory(size_t size) : memory_(GlobalAlloc(GMEM_MOVEABLE, size)) {
    if (!memory_) RaiseOutOfResources(GetLastError());
    bytes_ = static_cast<uint8_t*>(GlobalLock(memory_));
    if (!bytes_) {
      const DWORD error = GetLastError();
      GlobalFree(memory_);
      RaiseOutOfResources(error);
    }
  }
  ~ClipboardMemory() {
    Unlock();
    if (memory_) GlobalFree(memory_);
  }
  ClipboardMemory(const ClipboardMemory&) = delete;
  ClipboardMemory& operator=(const ClipboardMemory&) = delete;
  uint8_t* bytes() const { return bytes_; }
  void Unlock() {
    if (bytes_) GlobalUnlock(memory_);
    bytes_ = nullptr;
  }
  // Hands the memory to the clipboard, which owns it from then on.
  bool Give() {
    Unlock();
    if (!SetClipboardData(CF_DIB, memory_)) return false;
    memory_ = nullptr;
    return true;
  }

 private:
  HGLOBAL memory_;
  uint8_t* bytes_ = nullptr;
};

}  // namespace

void CopyToClipboard(TBitmap& image) {
  std::unique_ptr<ClipboardMemory> memory;
  if (image.BitsPerPixel() > 8) {
    // The usual capture (a screen bitmap, or a 32-bit section): its pixels are read
    // once, straight into the clipboard's memory, as a bottom-up DIB of the same depth
    // (what a saved BMP file holds after its file header). Nothing else as large is made.
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = image.Width();
    header.biHeight = image.Height();
    header.biPlanes = 1;
    header.biBitCount = WORD(image.BitsPerPixel());
    header.biCompression = BI_RGB;
    const size_t size =
        sizeof header + size_t(DibStride(image.Width(), image.BitsPerPixel())) * size_t(image.Height());
    memory = std::make_unique<ClipboardMemory>(size);
    std::memcpy(memory->bytes(), &header, sizeof header);
    WindowDC screen(nullptr, false);
    if (GetDIBits(screen.get(), image.Handle(), 0, UINT(image.Height()), memory->bytes() + sizeof header,
                  reinterpret_cast<BITMAPINFO*>(memory->bytes()), DIB_RGB_COLORS) == 0)
      RaiseOutOfResources(GetLastError());
  } else {
    // Palette captures (screens of 256 colours or fewer): through the BMP writer.
    MemoryStream bmp;
    image.SaveToStream(bmp);
    if (bmp.bytes.size() <= kFileHeaderSize) Raise(ErrorKind::Clipboard, msg::kClipboard);
    memory = std::make_unique<ClipboardMemory>(bmp.bytes.size() - kFileHeaderSize);
    std::memcpy(memory->bytes(), bmp.bytes.data() + kFileHeaderSize, bmp.bytes.size() - kFileHeaderSize);
  }
  memory->Unlock();
  ClipboardOpen clipboard;
  if (!clipboard.ok() || !EmptyClipboard() || !memory->Give()) Raise(ErrorKind::Clipboard, msg::kClipboard);
}

}  // namespace pixo
