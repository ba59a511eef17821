// Zero-filled pixel memory. Under Windows an anonymous section backed by the paging
// file (CreateFileMapping without a file, then MapViewOfFile); elsewhere plain memory.
#pragma once
#include <cstddef>
#include <cstdint>

namespace pixo {

class PixelBlock {
 public:
  PixelBlock() = default;
  explicit PixelBlock(size_t size);
  ~PixelBlock();
  PixelBlock(PixelBlock&& o) noexcept;
  PixelBlock& operator=(PixelBlock&& o) noexcept;
  PixelBlock(const PixelBlock&) = delete;
  PixelBlock& operator=(const PixelBlock&) = delete;

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  void Free();
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  void* section_ = nullptr;
};

}  // namespace pixo
