#include "pixo/base/pixel_block.h"

#include <cstdlib>
#include <new>
#include <utility>

#include "pixo/base/errors.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace pixo {

PixelBlock::PixelBlock(size_t size) : size_(size) {
  if (size == 0) return;
#ifdef _WIN32
  const unsigned long long s = size;
  section_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, DWORD(s >> 32), DWORD(s), nullptr);
  if (!section_) Raise(ErrorKind::OutOfResources, msg::kNoFileMapping);
  data_ = static_cast<uint8_t*>(MapViewOfFile(section_, FILE_MAP_WRITE, 0, 0, size));
  if (!data_) {
    CloseHandle(section_);
    section_ = nullptr;
    Raise(ErrorKind::OutOfResources, msg::kNoMapView);
  }
#else
  data_ = static_cast<uint8_t*>(std::calloc(size, 1));
  if (!data_) throw std::bad_alloc();
#endif
}

void PixelBlock::Free() {
#ifdef _WIN32
  if (data_) UnmapViewOfFile(data_);
  if (section_) CloseHandle(section_);
#else
  std::free(data_);
#endif
  data_ = nullptr;
  section_ = nullptr;
  size_ = 0;
}

PixelBlock::~PixelBlock() { Free(); }

PixelBlock::PixelBlock(PixelBlock&& o) noexcept
    : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)),
      section_(std::exchange(o.section_, nullptr)) {}

PixelBlock& PixelBlock::operator=(PixelBlock&& o) noexcept {
  if (this != &o) {
    Free();
    data_ = std::exchange(o.data_, nullptr);
    size_ = std::exchange(o.size_, 0);
    section_ = std::exchange(o.section_, nullptr);
  }
  return *this;
}

}  // namespace pixo
