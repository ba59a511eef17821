// Enumerators over fixed lists, for the connection points and the verbs.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "tavo/ax/module.h"

namespace ax {

template <typename Interface, typename Item, const IID* Iid, void (*Copy)(Item&, const Item&),
          void (*Free)(Item&)>
class FixedEnum : public Interface {
 public:
  explicit FixedEnum(const std::vector<Item>& items, size_t pos = 0) : pos_(pos) {
    for (const Item& i : items) {
      Item copy{};
      Copy(copy, i);
      items_.push_back(copy);
    }
    ModuleAddRef();
  }
  virtual ~FixedEnum() {
    for (Item& i : items_) Free(i);
    ModuleRelease();
  }
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == *Iid) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG r = --refs_;
    if (r == 0) delete this;
    return r;
  }
  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    ULONG n = 0;
    while (n < count && pos_ < items_.size()) {
      out[n] = Item{};
      Copy(out[n], items_[pos_]);
      ++n;
      ++pos_;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    pos_ = std::min<size_t>(items_.size(), pos_ + count);
    return pos_ < items_.size() ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    pos_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Interface** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) FixedEnum(items_, pos_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  std::atomic<ULONG> refs_{1};
  std::vector<Item> items_;
  size_t pos_;
};

inline void CopyConnectData(CONNECTDATA& to, const CONNECTDATA& from) {
  to = from;
  if (to.pUnk) to.pUnk->AddRef();
}
inline void FreeConnectData(CONNECTDATA& c) {
  if (c.pUnk) c.pUnk->Release();
}

inline void CopyPoint(IConnectionPoint*& to, IConnectionPoint* const& from) {
  to = from;
  if (to) to->AddRef();
}
inline void FreePoint(IConnectionPoint*& p) {
  if (p) p->Release();
}

inline void CopyVerb(OLEVERB& to, const OLEVERB& from) {
  to = from;
  if (from.lpszVerbName) {
    const size_t n = (wcslen(from.lpszVerbName) + 1) * sizeof(wchar_t);
    to.lpszVerbName = static_cast<LPOLESTR>(CoTaskMemAlloc(n));
    std::memcpy(to.lpszVerbName, from.lpszVerbName, n);
  }
}
inline void FreeVerb(OLEVERB& v) { CoTaskMemFree(v.lpszVerbName); }

}  // namespace ax
