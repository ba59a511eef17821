// Connection points: the sinks of one outgoing interface of a control.
#include "tavo/ax/ax_control.h"
#include "tavo/ax/enumerators.h"

namespace ax {

using ConnectionsEnum = FixedEnum<IEnumConnections, CONNECTDATA, &IID_IEnumConnections, CopyConnectData, FreeConnectData>;

ConnectionPoint::~ConnectionPoint() {
  for (CONNECTDATA& c : connections_) c.pUnk->Release();
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** out) {
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return owner_->AddRef(); }
STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return owner_->Release(); }

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = static_cast<IConnectionPointContainer*>(owner_);
  owner_->AddRef();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  return Boundary([&] { return AdviseSink(sink, cookie); });
}

HRESULT ConnectionPoint::AdviseSink(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  connections_.reserve(connections_.size() + 1);  // may throw; nothing is held yet
  IUnknown* wanted = nullptr;
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&wanted)))) {
    // Event sinks of a pure dispinterface often answer only to IDispatch.
    if (iid_ == IID_IPropertyNotifySink || FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&wanted)))) {
      *cookie = 0;
      return CONNECT_E_CANNOTCONNECT;
    }
  }
  *cookie = nextCookie_++;
  connections_.push_back(CONNECTDATA{wanted, *cookie});
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  auto it = std::find_if(connections_.begin(), connections_.end(),
                         [cookie](const CONNECTDATA& c) { return c.dwCookie == cookie; });
  if (it == connections_.end()) return CONNECT_E_NOCONNECTION;
  IUnknown* sink = it->pUnk;
  connections_.erase(it);
  sink->Release();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Boundary([&] {
    *out = new ConnectionsEnum(connections_);
    return S_OK;
  });
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
  std::vector<ComPtr<IUnknown>> sinks;
  for (const CONNECTDATA& c : connections_) sinks.emplace_back(c.pUnk);
  return sinks;
}

}  // namespace ax
