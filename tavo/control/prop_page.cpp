#include "tavo/control/prop_page.h"

#include <cstring>
#include <new>

#include "tavo/control/tavo_ids.h"

namespace tavo::control {

namespace {
INT_PTR CALLBACK PageProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG ? TRUE : FALSE; }

LPOLESTR CoString(const wchar_t* text) {
  const size_t n = (wcslen(text) + 1) * sizeof(wchar_t);
  auto* s = static_cast<LPOLESTR>(CoTaskMemAlloc(n));
  if (s) std::memcpy(s, text, n);
  return s;
}
}  // namespace

CTavoPropPage::CTavoPropPage() { ax::ModuleAddRef(); }

CTavoPropPage::~CTavoPropPage() {
  if (dialog_) DestroyWindow(dialog_);
  ax::ModuleRelease();
}

HRESULT CTavoPropPage::Create(REFIID riid, void** out) {
  auto* page = new (std::nothrow) CTavoPropPage();
  if (!page) return E_OUTOFMEMORY;
  const HRESULT hr = page->QueryInterface(riid, out);
  page->Release();
  return hr;
}

STDMETHODIMP CTavoPropPage::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IPropertyPage || riid == IID_IPropertyPage2) {
    *out = static_cast<IPropertyPage2*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CTavoPropPage::AddRef() { return ULONG(++refs_); }
STDMETHODIMP_(ULONG) CTavoPropPage::Release() {
  const LONG r = --refs_;
  if (r == 0) delete this;
  return ULONG(r);
}

STDMETHODIMP CTavoPropPage::SetPageSite(IPropertyPageSite* site) {
  site_ = site;
  return S_OK;
}

STDMETHODIMP CTavoPropPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (dialog_) return E_UNEXPECTED;
  dialog_ = CreateDialogParamW(ax::ModuleInstance(), MAKEINTRESOURCEW(IDD_PROPPAGE_TAVO), parent, PageProc, 0);
  if (!dialog_) return E_OUTOFMEMORY;
  if (rect) Move(rect);
  return S_OK;
}

STDMETHODIMP CTavoPropPage::Deactivate() {
  if (dialog_) DestroyWindow(dialog_);
  dialog_ = nullptr;
  return S_OK;
}

STDMETHODIMP CTavoPropPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;
  wchar_t title[64] = L"";
  ax::LoadModuleString(IDS_TAVO_PPG_CAPTION, title, 64);
  // The size of the template in pixels: measure a hidden instance of it.
  SIZE size{250, 62};
  if (HWND probe = CreateDialogParamW(ax::ModuleInstance(), MAKEINTRESOURCEW(IDD_PROPPAGE_TAVO), GetDesktopWindow(),
                                      PageProc, 0)) {
    RECT r;
    GetWindowRect(probe, &r);
    size.cx = r.right - r.left;
    size.cy = r.bottom - r.top;
    DestroyWindow(probe);
  }
  info->cb = sizeof *info;
  info->pszTitle = CoString(title);
  info->size = size;
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return S_OK;
}

STDMETHODIMP CTavoPropPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count && !objects) return E_POINTER;
  return ax::Boundary([&] {
    objects_.clear();
    for (ULONG i = 0; i < count; ++i) objects_.emplace_back(objects[i]);
    return S_OK;
  });
}

STDMETHODIMP CTavoPropPage::Show(UINT cmd) {
  if (dialog_) ShowWindow(dialog_, int(cmd));
  return S_OK;
}

STDMETHODIMP CTavoPropPage::Move(LPCRECT rect) {
  if (!rect) return E_POINTER;
  if (dialog_) MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
  return S_OK;
}

STDMETHODIMP CTavoPropPage::IsPageDirty() { return S_FALSE; }
STDMETHODIMP CTavoPropPage::Apply() { return S_OK; }  // no property is bound
STDMETHODIMP CTavoPropPage::Help(LPCOLESTR) { return E_NOTIMPL; }
STDMETHODIMP CTavoPropPage::TranslateAccelerator(MSG* msg) {
  return dialog_ && msg && IsDialogMessageW(dialog_, msg) ? S_OK : S_FALSE;
}
STDMETHODIMP CTavoPropPage::EditProperty(DISPID) { return E_NOTIMPL; }

}  // namespace tavo::control
