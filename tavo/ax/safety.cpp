#include "tavo/ax/ax_control.h"

namespace ax {

namespace {

// The interfaces a web page could use the control through: its automation and its
// initialisation from data.
bool AboutSafety(REFIID riid, const IID& primary) {
  return riid == IID_IDispatch || riid == primary || riid == IID_IPersistStreamInit ||
         riid == IID_IPersistPropertyBag || riid == IID_IPersistStorage || riid == IID_IPersistMemory;
}

}  // namespace

STDMETHODIMP AxControl::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
  if (!supported || !enabled) return E_POINTER;
  *supported = 0;
  *enabled = 0;
  return AboutSafety(riid, traits_.primaryDispatch) ? S_OK : E_NOINTERFACE;
}

STDMETHODIMP AxControl::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
  if (!AboutSafety(riid, traits_.primaryDispatch)) return E_NOINTERFACE;
  // Clearing an option is always granted; being made safe never is.
  return (mask & enabled) ? E_FAIL : S_OK;
}

}  // namespace ax
