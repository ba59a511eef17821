// IDispatch of the control: names and type information from the type library, members
// by DISPID through the concrete control.
#include "tavo/ax/ax_control.h"

namespace ax {

ITypeInfo* AxControl::TypeInfoOf(const IID& iid) {
  if (!typeLib_) {
    if (FAILED(LoadRegTypeLib(traits_.libid, traits_.major, traits_.minor, LOCALE_USER_DEFAULT, typeLib_.Out()))) {
      // Not registered: the module carries its own type library.
      const std::wstring path = ModuleFileName(ModuleInstance());
      if (!path.empty()) LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib_.Out());
    }
  }
  ITypeInfo* info = nullptr;
  if (typeLib_) typeLib_->GetTypeInfoOfGuid(iid, &info);
  return info;
}

STDMETHODIMP AxControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP AxControl::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return Boundary([&] {
    *out = TypeInfoOf(traits_.primaryDispatch);
    return *out ? S_OK : TYPE_E_CANTLOADLIBRARY;
  });
}

STDMETHODIMP AxControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  return Boundary([&] {
    ComPtr<ITypeInfo> info;
    *info.Out() = TypeInfoOf(traits_.primaryDispatch);
    if (!info) return TYPE_E_CANTLOADLIBRARY;
    return info->GetIDsOfNames(names, count, ids);
  });
}

STDMETHODIMP AxControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO*, UINT*) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return Boundary([&] { return InvokeMember(id, flags, params ? params : &none, result); });
}

}  // namespace ax
