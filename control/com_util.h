// Small COM helpers shared by the control module's classes.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <atomic>

namespace ax {

// Counts the module's live objects and server locks (DllCanUnloadNow).
void ModuleAddRef();
void ModuleRelease();
long ModuleCount();
HINSTANCE ModuleInstance();

// A COM pointer that releases what it holds.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : p_(p) {  // NOLINT: adopts with an AddRef
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr& operator=(const ComPtr& o) {
    if (this != &o) {
      if (o.p_) o.p_->AddRef();
      Reset();
      p_ = o.p_;
    }
    return *this;
  }
  ~ComPtr() { Reset(); }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** Out() {
    Reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

// Loads a string resource of the module as a BSTR-ready wide string.
inline int LoadModuleString(UINT id, wchar_t* buffer, int size) {
  return LoadStringW(ModuleInstance(), id, buffer, size);
}

}  // namespace ax
