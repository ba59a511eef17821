// Persistence: every interface (stream, storage, memory, property bag) saves and loads
// the same property set through one codec, and the property pages.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "tavo/ax/ax_control.h"

namespace ax {

namespace {

// The property set in its saved order, with the names a property bag knows them by.
struct PropertyField {
  LONG PropertySet::*value;
  const wchar_t* name;
};
constexpr PropertyField kFields[] = {
    {&PropertySet::version, L"_Version"},
    {&PropertySet::extentX, L"_ExtentX"},
    {&PropertySet::extentY, L"_ExtentY"},
    {&PropertySet::stockProps, L"_StockProps"},
};
constexpr ULONG kSavedSize = ULONG(std::size(kFields) * sizeof(LONG));

// The binary form (streams, storages, memory): the fields as LONGs in their order.
void Pack(const PropertySet& set, LONG (&values)[std::size(kFields)]) {
  for (size_t i = 0; i < std::size(kFields); ++i) values[i] = set.*kFields[i].value;
}
PropertySet Unpack(const LONG (&values)[std::size(kFields)]) {
  PropertySet set;
  for (size_t i = 0; i < std::size(kFields); ++i) set.*kFields[i].value = values[i];
  return set;
}

}  // namespace

void AxControl::ExchangeProperties(PropertySet& set, bool loading) {
  if (loading) {
    if (set.extentX > 0 && set.extentY > 0) {
      extent_.cx = set.extentX;
      extent_.cy = set.extentY;
    }
  } else {
    set.version = MAKELONG(traits_.minor, traits_.major);
    set.extentX = extent_.cx;
    set.extentY = extent_.cy;
    set.stockProps = 0;
  }
}

PropertySet AxControl::SavedProperties() {
  PropertySet set;
  ExchangeProperties(set, false);
  return set;
}

STDMETHODIMP AxControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = traits_.clsid;
  return S_OK;
}

STDMETHODIMP AxControl::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

HRESULT AxControl::ReadStream(IStream* stream) {
  if (!stream) return E_POINTER;
  LONG values[std::size(kFields)] = {};
  ULONG got = 0;
  const HRESULT hr = stream->Read(values, kSavedSize, &got);
  if (FAILED(hr)) return hr;
  if (got == 0) return S_OK;  // an empty stream: version 1.0, defaults
  if (got != kSavedSize) return E_FAIL;
  PropertySet set = Unpack(values);
  ExchangeProperties(set, true);
  return S_OK;
}

HRESULT AxControl::WriteStream(IStream* stream) {
  if (!stream) return E_POINTER;
  LONG values[std::size(kFields)];
  Pack(SavedProperties(), values);
  ULONG written = 0;
  const HRESULT hr = stream->Write(values, kSavedSize, &written);
  if (FAILED(hr)) return hr;
  return written == kSavedSize ? S_OK : STG_E_MEDIUMFULL;
}

STDMETHODIMP AxControl::InitNew(IStorage*) {
  DefaultProperties();
  return S_OK;
}

STDMETHODIMP AxControl::Load(IStorage* storage) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out());
  if (FAILED(hr)) return hr;
  return ReadStream(stream.get());
}

STDMETHODIMP AxControl::Save(IStorage* storage, BOOL) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->CreateStream(L"Contents", STGM_WRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0, stream.Out());
  if (FAILED(hr)) return hr;
  hr = WriteStream(stream.get());
  if (SUCCEEDED(hr)) dirty_ = false;
  return hr;
}

STDMETHODIMP AxControl::SaveCompleted(IStorage*) { return S_OK; }
STDMETHODIMP AxControl::HandsOffStorage() { return S_OK; }

STDMETHODIMP AxControl::Load(LPSTREAM stream) { return ReadStream(stream); }

STDMETHODIMP AxControl::Save(LPSTREAM stream, BOOL clearDirty) {
  const HRESULT hr = WriteStream(stream);
  if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
  return hr;
}

STDMETHODIMP AxControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = kSavedSize;
  return S_OK;
}

STDMETHODIMP AxControl::InitNew() {
  DefaultProperties();
  return S_OK;
}

STDMETHODIMP AxControl::Load(LPVOID memory, ULONG size) {
  if (!memory) return E_POINTER;
  if (size < kSavedSize) return E_FAIL;
  LONG values[std::size(kFields)];
  std::memcpy(values, memory, kSavedSize);
  PropertySet set = Unpack(values);
  ExchangeProperties(set, true);
  return S_OK;
}

STDMETHODIMP AxControl::Save(LPVOID memory, BOOL clearDirty, ULONG size) {
  if (!memory) return E_POINTER;
  if (size < kSavedSize) return E_FAIL;
  LONG values[std::size(kFields)];
  Pack(SavedProperties(), values);
  std::memcpy(memory, values, kSavedSize);
  if (clearDirty) dirty_ = false;
  return S_OK;
}

STDMETHODIMP AxControl::GetSizeMax(ULONG* size) {
  if (!size) return E_POINTER;
  *size = kSavedSize;
  return S_OK;
}

STDMETHODIMP AxControl::Load(IPropertyBag* bag, IErrorLog* log) {
  if (!bag) return E_POINTER;
  PropertySet set;
  set.version = MAKELONG(traits_.minor, traits_.major);
  for (const PropertyField& field : kFields) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    if (SUCCEEDED(bag->Read(field.name, &v, log))) {
      if (SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4))) set.*field.value = V_I4(&v);
    }
    VariantClear(&v);
  }
  ExchangeProperties(set, true);
  return S_OK;
}

STDMETHODIMP AxControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
  if (!bag) return E_POINTER;
  const PropertySet set = SavedProperties();
  for (const PropertyField& field : kFields) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = set.*field.value;
    const HRESULT hr = bag->Write(field.name, &v);
    if (FAILED(hr)) return hr;
  }
  if (clearDirty) dirty_ = false;
  return S_OK;
}

// ---- property pages

STDMETHODIMP AxControl::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->cElems = ULONG(traits_.propertyPages.size());
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID) * traits_.propertyPages.size()));
  if (!pages->pElems) {
    pages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  std::copy(traits_.propertyPages.begin(), traits_.propertyPages.end(), pages->pElems);
  return S_OK;
}

STDMETHODIMP AxControl::GetDisplayString(DISPID, BSTR* text) {
  if (text) *text = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP AxControl::MapPropertyToPage(DISPID, CLSID* clsid) {
  if (clsid) *clsid = CLSID_NULL;
  return PERPROP_E_NOPAGEAVAILABLE;
}
STDMETHODIMP AxControl::GetPredefinedStrings(DISPID, CALPOLESTR* strings, CADWORD* cookies) {
  if (strings) *strings = CALPOLESTR{0, nullptr};
  if (cookies) *cookies = CADWORD{0, nullptr};
  return E_NOTIMPL;
}
STDMETHODIMP AxControl::GetPredefinedValue(DISPID, DWORD, VARIANT*) { return E_NOTIMPL; }

}  // namespace ax
