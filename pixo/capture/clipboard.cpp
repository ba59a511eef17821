#include "pixo/capture/clipboard.h"

#include <cstring>

#include "pixo/base/errors.h"
#include "pixo/base/stream.h"

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

}  // namespace

void CopyToClipboard(TBitmap& image) {
  MemoryStream bmp;
  image.SaveToStream(bmp);
  if (bmp.bytes.size() <= kFileHeaderSize) Raise("EClipboardError", msg::kClipboard);
  const size_t size = bmp.bytes.size() - kFileHeaderSize;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) RaiseOutOfResources();
  void* p = GlobalLock(memory);
  if (!p) {
    GlobalFree(memory);
    RaiseOutOfResources();
  }
  std::memcpy(p, bmp.bytes.data() + kFileHeaderSize, size);
  GlobalUnlock(memory);
  ClipboardOpen clipboard;
  // Once set, the memory belongs to the clipboard.
  if (!clipboard.ok() || !EmptyClipboard() || !SetClipboardData(CF_DIB, memory)) {
    GlobalFree(memory);
    Raise("EClipboardError", msg::kClipboard);
  }
}

}  // namespace pixo
