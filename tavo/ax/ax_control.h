// A small, generic ActiveX control: one C++ object answering every interface of the
// control contract with one reference count. A concrete control supplies its identities,
// its dispatch members, its drawing and its property exchange. The implementation is
// split by concern: object.cpp (identity, windows, events), dispatch.cpp,
// oleobject.cpp (embedding, in-place activation, views), persist.cpp, connection.cpp,
// safety.cpp.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <objsafe.h>
#include <olectl.h>

#include <atomic>
#include <string>
#include <vector>

#include "tavo/ax/com.h"

namespace ax {

// Makes every event firing of the process fail as if memory had run out, to show that a
// host survives it. For tests that link the framework in.
void FailEventsForTesting(bool fail);

class AxControl;

// One outgoing interface of a control: the connected sinks and their cookies.
class ConnectionPoint : public IConnectionPoint {
 public:
  ConnectionPoint(AxControl* owner, const IID& iid) : owner_(owner), iid_(iid) {}
  ~ConnectionPoint();
  // IUnknown: part of the control, sharing its count.
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IConnectionPoint
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** out) override;

  const IID& Iid() const { return iid_; }
  // The connected sinks, each with a reference, for one walk.
  std::vector<ComPtr<IUnknown>> Sinks() const;

 private:
  HRESULT AdviseSink(IUnknown* sink, DWORD* cookie);
  AxControl* owner_;
  IID iid_;
  std::vector<CONNECTDATA> connections_;
  DWORD nextCookie_ = 1;
};

// Values saved and loaded by every persistence interface.
struct PropertySet {
  LONG version = 0;
  LONG extentX = 0;
  LONG extentY = 0;
  LONG stockProps = 0;
};

struct ControlTraits {
  CLSID clsid;
  IID primaryDispatch;
  IID events;
  GUID libid;
  WORD major, minor;
  DWORD miscStatus;  // OLEMISC_ flags
  UINT userTypeString;
  std::vector<CLSID> propertyPages;
};

class AxControl : public IDispatch,
                  public IConnectionPointContainer,
                  public IProvideClassInfo2,
                  public IOleObject,
                  public IOleInPlaceObjectWindowless,
                  public IOleInPlaceActiveObject,
                  public IOleControl,
                  public IViewObjectEx,
                  public IDataObject,
                  public IOleCache,
                  public IPersistStorage,
                  public IPersistStreamInit,
                  public IPersistMemory,
                  public IPersistPropertyBag,
                  public ISpecifyPropertyPages,
                  public IPerPropertyBrowsing,
                  public IQuickActivate,
                  public IObjectSafety {
 public:
  explicit AxControl(ControlTraits traits);
  virtual ~AxControl();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch: names and type information from the type library; members by DISPID.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** out) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
  STDMETHODIMP Close(DWORD save) override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* mk) override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** mk) override;
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent, LPCRECT rect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** out) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** out) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* pal) override;

  // IOleWindow, IOleInPlaceObject(Windowless), IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* wnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override;
  STDMETHODIMP OnWindowMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  STDMETHODIMP GetDropTarget(IDropTarget** out) override;
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  STDMETHODIMP EnableModeless(BOOL enable) override;

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG* msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IViewObject, IViewObject2, IViewObjectEx
  STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDc, HDC drawDc,
                    LPCRECTL bounds, LPCRECTL wBounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                    ULONG_PTR contArg) override;
  STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDc,
                           LOGPALETTE** colours) override;
  STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  STDMETHODIMP Unfreeze(DWORD freeze) override;
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, LPSIZEL size) override;
  STDMETHODIMP GetRect(DWORD aspect, LPRECTL rect) override;
  STDMETHODIMP GetViewStatus(DWORD* status) override;
  STDMETHODIMP QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT loc, LONG closeHint, DWORD* hit) override;
  STDMETHODIMP QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT loc, LONG closeHint, DWORD* hit) override;
  STDMETHODIMP GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, HDC targetDc,
                                DVEXTENTINFO* info, LPSIZEL size) override;

  // IDataObject
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
  STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
  STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* cookie) override;
  STDMETHODIMP DUnadvise(DWORD cookie) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override;

  // IOleCache
  STDMETHODIMP Cache(FORMATETC* format, DWORD flags, DWORD* connection) override;
  STDMETHODIMP Uncache(DWORD connection) override;
  STDMETHODIMP EnumCache(IEnumSTATDATA** out) override;
  STDMETHODIMP InitCache(IDataObject* data) override;

  // IPersist and its descendants
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP InitNew(IStorage* storage) override;
  STDMETHODIMP Load(IStorage* storage) override;
  STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
  STDMETHODIMP SaveCompleted(IStorage* storage) override;
  STDMETHODIMP HandsOffStorage() override;
  STDMETHODIMP Load(LPSTREAM stream) override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(LPVOID memory, ULONG size) override;
  STDMETHODIMP Save(LPVOID memory, BOOL clearDirty, ULONG size) override;
  STDMETHODIMP GetSizeMax(ULONG* size) override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;

  // IPerPropertyBrowsing
  STDMETHODIMP GetDisplayString(DISPID id, BSTR* text) override;
  STDMETHODIMP MapPropertyToPage(DISPID id, CLSID* clsid) override;
  STDMETHODIMP GetPredefinedStrings(DISPID id, CALPOLESTR* strings, CADWORD* cookies) override;
  STDMETHODIMP GetPredefinedValue(DISPID id, DWORD cookie, VARIANT* value) override;

  // IQuickActivate
  STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override;
  STDMETHODIMP SetContentExtent(LPSIZEL size) override;
  STDMETHODIMP GetContentExtent(LPSIZEL size) override;

  // IObjectSafety: the control starts a program and writes files, so it is never safe for
  // untrusted callers or data; it supports neither option and refuses to be made safe.
  STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

  // For the concrete control.
  void SetModifiedFlag() { dirty_ = true; }
  HWND NotifyWindow() const { return notifyWindow_; }
  // Fires an event with no parameters to every connected event sink, one after the
  // other; an error from one does not keep the others from being called.
  void FireEvent(DISPID id) noexcept;
  // Opens a property frame on this control with its pages.
  HRESULT ShowPropertyFrame(HWND parent);

 protected:
  // The dispatch members of the concrete control.
  virtual HRESULT InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) = 0;
  // Drawing into the bounds.
  virtual void OnDraw(HDC dc, const RECT& bounds) = 0;
  // A message posted to the control's own window (WM_USER and above).
  virtual void OnNotify(UINT msg) = 0;
  // Loads (loading true) or saves the property set; the base handles version, extent
  // and stock properties.
  virtual void ExchangeProperties(PropertySet& set, bool loading);

 private:
  friend class ConnectionPoint;
  static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  ITypeInfo* TypeInfoOf(const IID& iid);
  HRESULT InPlaceActivate(LONG verb, IOleClientSite* site, HWND parent, LPCRECT rect);
  HRESULT DoVerbNow(LONG verb, IOleClientSite* site, HWND parent, LPCRECT rect);
  PropertySet SavedProperties();
  void DefaultProperties();
  HRESULT ReadStream(IStream* stream);
  HRESULT WriteStream(IStream* stream);

  std::atomic<LONG> refs_{1};
  ControlTraits traits_;
  ConnectionPoint eventsPoint_;
  ConnectionPoint propNotifyPoint_;
  ComPtr<IOleClientSite> site_;
  ComPtr<IOleInPlaceSite> inPlaceSite_;
  ComPtr<IOleAdviseHolder> adviseHolder_;
  ComPtr<IDataAdviseHolder> dataAdviseHolder_;
  ComPtr<IAdviseSink> viewSink_;
  DWORD viewAspects_ = 0, viewFlags_ = 0;
  ComPtr<ITypeLib> typeLib_;
  HWND notifyWindow_ = nullptr;  // hidden, for the engine's notifications
  HWND window_ = nullptr;        // the visible window while in-place active
  SIZEL extent_{};               // HIMETRIC
  bool dirty_ = false;
  LONG freeze_ = 0;
};

}  // namespace ax
