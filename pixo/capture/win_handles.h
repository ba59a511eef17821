// Move-only owners of Win32 handles and GDI objects, and a guard that reselects the
// object a device context held before.
#pragma once
#include <windows.h>

#include <utility>

namespace pixo {

template <typename T, typename Traits>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T h) : h_(h) {}
  ~Owned() { reset(); }
  Owned(Owned&& o) noexcept : h_(o.release()) {}
  Owned& operator=(Owned&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  T get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Empty(); }
  T release() { return std::exchange(h_, Traits::Empty()); }
  void reset(T h = Traits::Empty()) {
    if (h_ != Traits::Empty()) Traits::Close(h_);
    h_ = h;
  }

 private:
  T h_ = Traits::Empty();
};

template <typename T>
struct GdiObjectTraits {
  static T Empty() { return nullptr; }
  static void Close(T h) { DeleteObject(h); }
};
struct DcTraits {
  static HDC Empty() { return nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};
struct KernelHandleTraits {
  static HANDLE Empty() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct ViewTraits {
  static void* Empty() { return nullptr; }
  static void Close(void* p) { UnmapViewOfFile(p); }
};

struct LocalMemoryTraits {
  static void* Empty() { return nullptr; }
  static void Close(void* p) { LocalFree(p); }
};

using BitmapHandle = Owned<HBITMAP, GdiObjectTraits<HBITMAP>>;
using PaletteHandle = Owned<HPALETTE, GdiObjectTraits<HPALETTE>>;
using RegionHandle = Owned<HRGN, GdiObjectTraits<HRGN>>;
using BrushHandle = Owned<HBRUSH, GdiObjectTraits<HBRUSH>>;
using MemoryDC = Owned<HDC, DcTraits>;
using KernelHandle = Owned<HANDLE, KernelHandleTraits>;
using MappedView = Owned<void*, ViewTraits>;
using LocalMemory = Owned<void*, LocalMemoryTraits>;  // FormatMessage's buffers

// A device context obtained with GetDC or GetWindowDC, released on every path.
class WindowDC {
 public:
  WindowDC(HWND wnd, bool wholeWindow) : wnd_(wnd), dc_(wholeWindow ? GetWindowDC(wnd) : GetDC(wnd)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(wnd_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND wnd_;
  HDC dc_;
};

// Selects an object into a device context and reselects the old one when it goes.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? SelectObject(dc, obj) : nullptr) {}
  ~SelectGuard() {
    if (old_) SelectObject(dc_, old_);
  }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Selects a palette as a background palette and realises it; reselects the old one.
class PaletteGuard {
 public:
  PaletteGuard(HDC dc, HPALETTE pal) : dc_(dc) {
    if (pal) {
      old_ = SelectPalette(dc, pal, TRUE);
      RealizePalette(dc);
    }
  }
  ~PaletteGuard() {
    if (old_) SelectPalette(dc_, old_, TRUE);
  }
  PaletteGuard(const PaletteGuard&) = delete;
  PaletteGuard& operator=(const PaletteGuard&) = delete;

 private:
  HDC dc_;
  HPALETTE old_ = nullptr;
};

// Raises EOutOfResources with the system's text for the last error.
[[noreturn]] void RaiseOutOfResources();
// The same for an error code read earlier (when other calls ran since the failure).
[[noreturn]] void RaiseOutOfResources(DWORD code);

}  // namespace pixo
