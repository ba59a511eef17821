// Small COM helpers of the framework: an owning interface pointer, the boundary that
// keeps C++ exceptions inside a COM method, and module strings.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <new>

#include "tavo/ax/module.h"

namespace ax {

// Runs a COM method's body and turns any C++ exception into an HRESULT, so that none
// crosses into the caller (a host written in another language, or the system).
//
// The rule of this framework: every entry from outside (a COM method, a window
// procedure, an event fired from one) whose body can allocate or call code that throws
// runs inside Boundary or its own catch-all. The methods without one only check
// arguments, copy plain values, count references or answer with a constant, and none of
// that can throw.
template <typename Body>
HRESULT Boundary(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

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

// Loads a string resource of the module.
inline int LoadModuleString(UINT id, wchar_t* buffer, int size) {
  return LoadStringW(ModuleInstance(), id, buffer, size);
}

}  // namespace ax
