// The control's one property page: a single line of text, no property bound.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <vector>

#include "tavo/ax/com.h"

namespace tavo::control {

class CTavoPropPage : public IPropertyPage2 {
 public:
  CTavoPropPage();
  virtual ~CTavoPropPage();
  static HRESULT Create(REFIID riid, void** out);

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
  STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
  STDMETHODIMP Show(UINT cmd) override;
  STDMETHODIMP Move(LPCRECT rect) override;
  STDMETHODIMP IsPageDirty() override;
  STDMETHODIMP Apply() override;
  STDMETHODIMP Help(LPCOLESTR dir) override;
  STDMETHODIMP TranslateAccelerator(MSG* msg) override;
  STDMETHODIMP EditProperty(DISPID id) override;

 private:
  std::atomic<LONG> refs_{1};
  ax::ComPtr<IPropertyPageSite> site_;
  std::vector<ax::ComPtr<IUnknown>> objects_;
  HWND dialog_ = nullptr;
};

}  // namespace tavo::control
