// A test container: embeds the control as an ActiveX host does (client site, in-place
// activation, connected event sinks, a message loop) and checks it through its
// interfaces. Usage: axhost.exe WORKDIR [unregistered]
//   WORKDIR is what WorkDirectory must return; with "unregistered" the control is made
//   through Tavo.ocx's own class factory instead of the registry.
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tavo/hostkit/hostkit.h"
#include "tavo/control/tavo_ids.h"

namespace {

int g_passed = 0, g_failed = 0;
void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  (ok ? g_passed : g_failed)++;
}

std::string Utf8(const wchar_t* w) {
  if (!w) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(size_t(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  return s;
}

std::string Narrow(const wchar_t* w) {
  std::string s;
  for (; w && *w; ++w) s += char(*w < 128 ? *w : '?');
  return s;
}

using hostkit::Pump;

// Every call the host did not expect from the control is a failure of its own.
void Unexpected(const char* what) { Check(false, std::string("unexpected call: ") + what); }

// A reference count that tells how many references the control still holds.
class Counted {
 public:
  ULONG Add() { return ULONG(++refs_); }
  ULONG Drop() { return ULONG(--refs_); }
  LONG refs() const { return refs_; }

 private:
  LONG refs_ = 1;  // the host's own
};

bool g_inCall = false;  // set while a method of the control runs

// Records the events of one control as letters: S(ummaryUpdated), N(ewGameStarted),
// R(esultUpdated), E(nd); notes an event that arrives inside a call.
class Sink : public hostkit::EventSink {
 public:
  Sink() : EventSink(DIID__DTavoEvents) {}
  std::string events;
  bool firedInsideCall = false;
  void OnEvent(DISPID id) override {
    if (g_inCall) firedInsideCall = true;
    events += id >= 1 && id <= 4 ? "SNRE"[id - 1] : '?';
  }
  void OnUnexpected(const char* what) override { Unexpected(what); }
};

// The client site with in-place support, and a property page site. It answers what a
// control may ask while it is embedded and activated in place; anything else fails the
// test, and its count tells whether the control let go of every reference it took.
class Site : public IOleClientSite, public IOleInPlaceSite, public IPropertyPageSite {
 public:
  HWND window = nullptr;
  Counted count;
  bool activated = false;
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (riid == IID_IPropertyPageSite) {
      *out = static_cast<IPropertyPageSite*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return count.Add(); }
  STDMETHODIMP_(ULONG) Release() override { return count.Drop(); }
  // IOleClientSite
  STDMETHODIMP SaveObject() override { return Fail("SaveObject"); }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** m) override {
    *m = nullptr;
    return Fail("GetMoniker");
  }
  STDMETHODIMP GetContainer(IOleContainer** c) override {
    *c = nullptr;
    return Fail("GetContainer");
  }
  STDMETHODIMP ShowObject() override { return Fail("ShowObject"); }
  STDMETHODIMP OnShowWindow(BOOL) override { return Fail("OnShowWindow"); }
  STDMETHODIMP RequestNewObjectLayout() override { return Fail("RequestNewObjectLayout"); }
  // IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* w) override {
    *w = window;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return Fail("ContextSensitiveHelp"); }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override {
    activated = true;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return Fail("OnUIActivate"); }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** d, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    *f = nullptr;
    *d = nullptr;
    SetRect(pos, 10, 10, 110, 60);
    SetRect(clip, 0, 0, 400, 300);
    info->fMDIApp = FALSE;
    info->hwndFrame = window;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return Fail("Scroll"); }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return Fail("OnUIDeactivate"); }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return Fail("DiscardUndoState"); }
  STDMETHODIMP DeactivateAndUndo() override { return Fail("DeactivateAndUndo"); }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return Fail("OnPosRectChange"); }
  // IPropertyPageSite
  STDMETHODIMP OnStatusChange(DWORD) override { return Fail("OnStatusChange"); }
  STDMETHODIMP GetLocaleID(LCID* l) override {
    *l = LOCALE_USER_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP GetPageContainer(IUnknown** u) override {
    *u = nullptr;
    return Fail("GetPageContainer");
  }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return Fail("TranslateAccelerator"); }

 private:
  HRESULT Fail(const char* what) {
    Unexpected(what);
    return E_NOTIMPL;
  }
};

// A property bag that keeps what it is given.
class Bag : public IPropertyBag {
 public:
  std::map<std::wstring, LONG> values;
  Counted count;
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return count.Add(); }
  STDMETHODIMP_(ULONG) Release() override { return count.Drop(); }
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
    auto it = values.find(name);
    if (it == values.end()) return E_INVALIDARG;
    V_VT(v) = VT_I4;
    V_I4(v) = it->second;
    return S_OK;
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override {
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantChangeType(&copy, v, 0, VT_I4))) return E_FAIL;
    values[name] = V_I4(&copy);
    return S_OK;
  }
};

hostkit::GetClassObjectFn g_getClassObject = nullptr;  // set when the control is not registered

IDispatch* CreateControl() { return hostkit::CreateInstance<IDispatch>(CLSID_Tavo, IID_IDispatch, g_getClassObject); }

template <typename T>
T* As(IUnknown* u, const IID& iid) {
  T* p = nullptr;
  u->QueryInterface(iid, reinterpret_cast<void**>(&p));
  return p;
}

HRESULT Call(IDispatch* d, const wchar_t* name, VARIANT* result = nullptr, WORD flags = DISPATCH_METHOD) {
  g_inCall = true;
  const HRESULT hr = hostkit::Call(d, name, result, flags);
  g_inCall = false;
  return hr;
}

using hostkit::GetString;
using hostkit::IdOf;

HRESULT PutString(IDispatch* d, const wchar_t* name, const wchar_t* value) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(value);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS p{&v, &named, 1, 1};
  const HRESULT hr =
      d->Invoke(IdOf(d, name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, nullptr);
  VariantClear(&v);
  return hr;
}

// Releases the host's last reference to an object: the count must reach 0, or the
// control keeps a reference to itself (a leak).
void LastRelease(IUnknown* object, const char* what) {
  const ULONG left = object ? object->Release() : 1;
  Check(left == 0, std::string("last Release of ") + what + " returns 0 (" + std::to_string(left) + ")");
}

// Watches for the about box, reads its texts and closes it with OK.
struct AboutWatch {
  bool seen = false;
  std::string texts;
};
DWORD WINAPI WatchAbout(void* p) {
  auto* w = static_cast<AboutWatch*>(p);
  for (int i = 0; i < 200 && !w->seen; ++i) {
    HWND box = FindWindowW(nullptr, L"About Tavo Control");
    if (box && IsWindowVisible(box)) {
      Sleep(200);
      for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t t[256] = L"";
        GetWindowTextW(c, t, 256);
        w->texts += Narrow(t) + "|";
      }
      w->seen = true;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      return 0;
    }
    Sleep(50);
  }
  return 0;
}

// One control of a test, with its event sink connected. At its end the host's last
// Release must return 0 and the sink must be let go.
struct Control {
  explicit Control(const char* name) : what(name), d(CreateControl()) {
    Check(d != nullptr, std::string("created: ") + what);
    if (d) cookie = hostkit::Connect(d, DIID__DTavoEvents, static_cast<IDispatch*>(&sink));
    Check(cookie != 0, std::string("event sink connected: ") + what);
  }
  ~Control() {
    if (!d) return;
    if (cookie) hostkit::Disconnect(d, DIID__DTavoEvents, cookie);
    LastRelease(d, what);
    Pump(50);
    Check(sink.References() == 1, std::string("the control let go of its event sink: ") + what);
  }
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  explicit operator bool() const { return d != nullptr; }
  const char* what;
  IDispatch* d;
  Sink sink;
  DWORD cookie = 0;
};

// Embedding: the site, in-place activation, misc status, verbs, names and class info.
void TestEmbedding(Site& site) {
  Control a("the embedded control");
  if (!a) return;
  IOleObject* oa = As<IOleObject>(a.d, IID_IOleObject);
  oa->SetClientSite(&site);
  RECT pos{10, 10, 110, 60};
  const HRESULT act = oa->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, site.window, &pos);
  HWND ctlWindow = nullptr;
  IOleInPlaceObject* ip = As<IOleInPlaceObject>(a.d, IID_IOleInPlaceObject);
  ip->GetWindow(&ctlWindow);
  Check(SUCCEEDED(act) && site.activated && ctlWindow && GetParent(ctlWindow) == site.window,
        "in-place activation makes a child window");
  DWORD misc = 0, miscOther = 1;
  oa->GetMiscStatus(DVASPECT_CONTENT, &misc);
  oa->GetMiscStatus(DVASPECT_ICON, &miscOther);
  Check(misc == kTavoMiscStatus && miscOther == 0, "misc status 132497 for the content aspect only");
  IEnumOLEVERB* verbs = nullptr;
  OLEVERB verb[2] = {};
  ULONG fetched = 0;
  oa->EnumVerbs(&verbs);
  if (verbs) {
    verbs->Next(2, verb, &fetched);
    verbs->Release();
  }
  Check(
      fetched == 1 && verb[0].lVerb == 0 && verb[0].grfAttribs == OLEVERBATTRIB_ONCONTAINERMENU && verb[0].fuFlags == 0,
      "one verb: properties, on the container menu");
  CoTaskMemFree(verb[0].lpszVerbName);
  LPOLESTR userType = nullptr;
  oa->GetUserType(USERCLASSTYPE_FULL, &userType);
  Check(userType && Narrow(userType) == "Tavo Control", "user type name");
  CoTaskMemFree(userType);

  IProvideClassInfo2* pci = As<IProvideClassInfo2>(a.d, IID_IProvideClassInfo2);
  GUID source{};
  pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source);
  ITypeInfo* coclass = nullptr;
  pci->GetClassInfo(&coclass);
  Check(source == DIID__DTavoEvents && coclass, "class info names the event interface");
  if (coclass) {
    // Help strings of the type library, for the caller to compare.
    ITypeLib* lib = nullptr;
    UINT index = 0;
    coclass->GetContainingTypeLib(&lib, &index);
    BSTR name = nullptr, doc = nullptr;
    if (lib && SUCCEEDED(lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr))) {
      std::printf("library: %s | %s\n", Utf8(name).c_str(), Utf8(doc).c_str());
      SysFreeString(name);
      SysFreeString(doc);
    }
    ITypeInfo* disp = nullptr;
    if (lib && SUCCEEDED(lib->GetTypeInfoOfGuid(DIID__DTavo, &disp))) {
      disp->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr);
      std::printf("dispinterface: %s | %s\n", Utf8(name).c_str(), Utf8(doc).c_str());
      SysFreeString(name);
      SysFreeString(doc);
      disp->Release();
    }
    if (lib) lib->Release();
  }
  if (coclass) coclass->Release();
  pci->Release();
  // Taken down as a host does: deactivated, closed, the site let go.
  ip->Release();
  oa->Close(OLECLOSE_NOSAVE);
  oa->SetClientSite(nullptr);
  oa->Release();
}

// Properties, then a whole game played through two controls with events on both.
void TestPropertiesAndGame(const std::string& expectedDir) {
  Control ca("the first control"), cb("the second control");
  if (!ca || !cb) return;
  IDispatch* a = ca.d;
  IDispatch* b = cb.d;
  Sink& sa = ca.sink;
  Sink& sb = cb.sink;
  // Properties.
  const std::wstring dir = GetString(a, L"WorkDirectory");
  Check(Narrow(dir.c_str()) == expectedDir, "WorkDirectory is " + Narrow(dir.c_str()));
  Check(GetString(a, L"SummaryFile") == dir + L"\\summary.txt", "SummaryFile");
  Check(GetString(a, L"ResultFile") == dir + L"\\kekka.txt", "ResultFile");
  IPersistStreamInit* psa = As<IPersistStreamInit>(a, IID_IPersistStreamInit);
  Check(psa->IsDirty() == S_FALSE, "a new control is not dirty");
  Check(PutString(a, L"WorkDirectory", L"C:\\elsewhere") == S_OK && PutString(a, L"ResultFile", L"x") == S_OK,
        "puts succeed");
  Check(GetString(a, L"WorkDirectory") == dir && GetString(a, L"ResultFile") == dir + L"\\kekka.txt",
        "puts are ignored");
  Check(psa->IsDirty() == S_OK, "a put marks the control modified");
  VARIANT info;
  VariantInit(&info);
  Call(a, L"INFO", &info, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  Check(V_VT(&info) == VT_I2 && V_I2(&info) == 0, "INFO before any summary is 0 (VT_I2)");
  Call(a, L"Init");
  Call(a, L"Goo");
  Pump(300);
  Check(sa.events.empty() && sb.events.empty(), "Init and Goo before Start: no event");

  // A game.
  Call(a, L"Start");
  Check(sa.events.empty(), "no event inside Start");
  Pump(300);
  Check(sa.events == "SN" && sb.events == "SN",
        "after Start: SummaryUpdated, then NewGameStarted, on both (" + sa.events + "/" + sb.events + ")");
  std::string game;
  for (int i = 0; i < 30; ++i) {
    sa.events.clear();
    Call(i % 2 ? b : a, i % 3 == 0 ? L"Goo" : i % 3 == 1 ? L"Choki" : L"Pah");
    Pump(100);
    game += sa.events;
    if (sa.events == "R") break;
  }
  Check(game == "SSSSSSSSSR", "a game: nine SummaryUpdated, then ResultUpdated (" + game + ")");
  sa.events.clear();
  sb.events.clear();
  Call(a, L"Goo");
  Pump(200);
  Check(sa.events.empty(), "Goo after the result: no event");
  Call(b, L"End");
  Pump(200);
  Check(sa.events.empty() && sb.events.empty(), "End without Master: nothing");
  Call(a, L"Master");
  Call(a, L"End");
  Check(sa.events.empty(), "no event inside End");
  Pump(300);
  Check(sa.events == "E" && sb.events == "E", "Master, End: every control fires End");
  Call(a, L"End");
  Pump(300);
  Check(sa.events == "EE" && sb.events == "EE", "End again ends again");
  Check(!sa.firedInsideCall && !sb.firedInsideCall, "no event ever fired inside a method call");
  VariantInit(&info);
  Call(a, L"INFO", &info, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  Check(V_VT(&info) == VT_I2 && V_I2(&info) == 2, "INFO after the game: 2");
  psa->Release();
}

// Persistence keeps only the size and the version, in every form.
void TestPersistence() {
  Control ca("the saved control"), cc("the control loaded from a stream");
  if (!ca || !cc) return;
  SIZEL size{5000, 3000};
  IDispatch* a = ca.d;
  IPersistStreamInit* psa = As<IPersistStreamInit>(a, IID_IPersistStreamInit);
  IOleObject* oa = As<IOleObject>(a, IID_IOleObject);
  oa->SetExtent(DVASPECT_CONTENT, &size);
  oa->Release();
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  Check(psa->Save(stream, TRUE) == S_OK && psa->IsDirty() == S_FALSE, "save to a stream clears the modified flag");
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  LONG raw[4] = {};
  ULONG got = 0;
  stream->Read(raw, sizeof raw, &got);
  Check(got == 16 && raw[0] == 65536 && raw[1] == 5000 && raw[2] == 3000 && raw[3] == 0,
        "stream: version 65536, extent, stock properties 0");
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  IDispatch* c = cc.d;
  IPersistStreamInit* psc = As<IPersistStreamInit>(c, IID_IPersistStreamInit);
  psc->Load(stream);
  psc->Release();
  IOleObject* oc = As<IOleObject>(c, IID_IOleObject);
  SIZEL loaded{};
  oc->GetExtent(DVASPECT_CONTENT, &loaded);
  Check(loaded.cx == 5000 && loaded.cy == 3000, "the size round-trips through a stream");
  stream->Release();
  Bag bag;
  IPersistPropertyBag* ppb = As<IPersistPropertyBag>(a, IID_IPersistPropertyBag);
  ppb->Save(&bag, TRUE, TRUE);
  Check(bag.values.size() == 4 && bag.values[L"_Version"] == 65536 && bag.values[L"_ExtentX"] == 5000 &&
            bag.values[L"_ExtentY"] == 3000 && bag.values[L"_StockProps"] == 0,
        "property bag: exactly _Version, _ExtentX, _ExtentY, _StockProps");
  bag.values[L"_ExtentX"] = 1234;
  IPersistPropertyBag* ppc = As<IPersistPropertyBag>(c, IID_IPersistPropertyBag);
  ppc->Load(&bag, nullptr);
  ppb->Release();
  ppc->Release();
  Check(bag.count.refs() == 1, "the property bag is not kept");
  oc->GetExtent(DVASPECT_CONTENT, &loaded);
  Check(loaded.cx == 1234 && loaded.cy == 3000, "the size round-trips through a property bag");
  oc->Release();
  // A storage holds the same values.
  ILockBytes* bytes = nullptr;
  IStorage* storage = nullptr;
  CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes);
  StgCreateDocfileOnILockBytes(bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage);
  IPersistStorage* pst = As<IPersistStorage>(a, IID_IPersistStorage);
  IDispatch* e = CreateControl();
  IPersistStorage* pse = As<IPersistStorage>(e, IID_IPersistStorage);
  IOleObject* oe = As<IOleObject>(e, IID_IOleObject);
  SIZEL fromStorage{};
  const bool storageOk = storage && pst->Save(storage, FALSE) == S_OK && pse->Load(storage) == S_OK &&
                         oe->GetExtent(DVASPECT_CONTENT, &fromStorage) == S_OK;
  Check(storageOk && fromStorage.cx == 5000 && fromStorage.cy == 3000, "the size round-trips through a storage");
  oe->Release();
  pse->Release();
  LastRelease(e, "a control loaded from a storage");
  pst->Release();
  if (storage) storage->Release();
  if (bytes) bytes->Release();

  IPersistMemory* pm = As<IPersistMemory>(a, IID_IPersistMemory);
  LONG mem[4] = {};
  pm->Save(mem, FALSE, sizeof mem);
  Check(mem[0] == 65536 && mem[1] == 5000, "memory block holds the same values");
  pm->Release();
  psa->Release();
}

void TestQuickActivation(Site& site) {
  // Quick activation connects the container's event sink and reports the status bits.
  IDispatch* qc = CreateControl();
  IQuickActivate* qa = As<IQuickActivate>(qc, IID_IQuickActivate);
  Sink qsink;
  QACONTAINER container{};
  container.cbSize = sizeof container;
  container.pClientSite = &site;
  container.pUnkEventSink = static_cast<IDispatch*>(&qsink);
  QACONTROL control{};
  control.cbSize = sizeof control;
  const HRESULT quick = qa ? qa->QuickActivate(&container, &control) : E_NOINTERFACE;
  Check(quick == S_OK && control.dwMiscStatus == kTavoMiscStatus && control.dwEventCookie != 0,
        "quick activation: misc status and a connected event sink");
  Call(qc, L"Start");
  Pump(300);
  // Start's summary is reported before every control is told that a game was started.
  Check(qsink.events == "SN", "the quickly activated control receives events too (" + qsink.events + ")");
  Call(qc, L"Master");
  Call(qc, L"End");
  Pump(300);
  if (qa) qa->Release();
  IOleObject* oq = As<IOleObject>(qc, IID_IOleObject);
  oq->SetClientSite(nullptr);
  oq->Release();
  LastRelease(qc, "the quickly activated control");
  Check(qsink.References() == 1, "the quickly activated control let go of its sink");
}

void TestDrawing() {
  Control a("the drawn control");
  if (!a) return;
  // Drawing: white bounds with an ellipse in them.
  IViewObject* view = As<IViewObject>(a.d, IID_IViewObject);
  HDC screen = GetDC(nullptr);
  HDC mem_dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 100, 50);
  SelectObject(mem_dc, bmp);
  PatBlt(mem_dc, 0, 0, 100, 50, BLACKNESS);
  RECTL bounds{0, 0, 100, 50};
  view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, mem_dc, &bounds, nullptr, nullptr, 0);
  const COLORREF corner = GetPixel(mem_dc, 1, 1), centre = GetPixel(mem_dc, 50, 25), edge = GetPixel(mem_dc, 0, 25);
  Check(corner == RGB(255, 255, 255) && centre == RGB(255, 255, 255) && edge == RGB(0, 0, 0),
        "drawing: white bounds and the ellipse's outline");
  DeleteDC(mem_dc);
  DeleteObject(bmp);
  ReleaseDC(nullptr, screen);
  view->Release();
}

void TestPropertyPage(Site& site) {
  Control a("the control of the page");
  if (!a) return;
  const std::wstring dir = GetString(a.d, L"WorkDirectory");
  // The property page changes nothing.
  ISpecifyPropertyPages* spp = As<ISpecifyPropertyPages>(a.d, IID_ISpecifyPropertyPages);
  CAUUID pages{};
  spp->GetPages(&pages);
  Check(pages.cElems == 1 && pages.pElems[0] == CLSID_TavoPropPage, "one property page");
  IPropertyPage2* page = hostkit::CreateInstance<IPropertyPage2>(CLSID_TavoPropPage, IID_IPropertyPage2, g_getClassObject);
  CoTaskMemFree(pages.pElems);
  spp->Release();
  Check(page != nullptr, "the page is created");
  if (page) {
    PROPPAGEINFO pinfo{};
    pinfo.cb = sizeof pinfo;
    page->GetPageInfo(&pinfo);
    Check(pinfo.pszTitle && Narrow(pinfo.pszTitle) == "General" && pinfo.size.cx > 0, "page title General");
    CoTaskMemFree(pinfo.pszTitle);
    IUnknown* obj = a.d;
    RECT r{0, 0, 300, 100};
    const bool shown = page->SetPageSite(&site) == S_OK && page->SetObjects(1, &obj) == S_OK &&
                       page->Activate(site.window, &r, FALSE) == S_OK && page->Show(SW_SHOW) == S_OK;
    Pump(100);
    Check(shown && page->IsPageDirty() == S_FALSE && page->Apply() == S_OK, "page activates, shows and applies");
    // The page's one line of text, for the caller to compare.
    for (HWND dlg = GetWindow(site.window, GW_CHILD); dlg; dlg = GetWindow(dlg, GW_HWNDNEXT)) {
      for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t t[256] = L"";
        GetWindowTextW(c, t, 256);
        if (wcsncmp(t, L"TODO", 4) == 0) std::printf("page text: %s\n", Utf8(t).c_str());
      }
    }
    page->Deactivate();
    page->SetObjects(0, nullptr);
    page->Release();
    Check(GetString(a.d, L"WorkDirectory") == dir && GetString(a.d, L"SummaryFile") == dir + L"\\summary.txt",
          "the page changed nothing");
  }
}

void TestAboutBox() {
  Control a("the control of the about box");
  if (!a) return;
  // The about box shows and closes with OK.
  AboutWatch watch;
  HANDLE watcher = CreateThread(nullptr, 0, WatchAbout, &watch, 0, nullptr);
  const HRESULT about = Call(a.d, L"AboutBox");
  WaitForSingleObject(watcher, 15000);
  CloseHandle(watcher);
  Check(about == S_OK && watch.seen, "AboutBox returns after the box is closed");
  Check(watch.texts.find("Tavo Control, Version 1.0|") != std::string::npos &&
            watch.texts.find("OK|") != std::string::npos,
        "about box texts: " + watch.texts);
}

// IObjectSafety: the control supports no safety option and refuses to be made safe for
// untrusted callers or data, for automation and for initialisation alike.
void TestSafety() {
  Control a("the control asked for safety");
  if (!a) return;
  IObjectSafety* safety = As<IObjectSafety>(a.d, IID_IObjectSafety);
  Check(safety != nullptr, "the control answers IObjectSafety");
  if (!safety) return;
  for (const IID* iid : {&IID_IDispatch, &IID_IPersistPropertyBag, &IID_IPersistStreamInit}) {
    DWORD supported = 99, enabled = 99;
    const HRESULT hr = safety->GetInterfaceSafetyOptions(*iid, &supported, &enabled);
    std::printf("safety get %s: hr=0x%08lx supported=%lu enabled=%lu\n",
                iid == &IID_IDispatch             ? "IDispatch"
                : iid == &IID_IPersistPropertyBag ? "IPersistPropertyBag"
                                                  : "IPersistStreamInit",
                (unsigned long)hr, (unsigned long)supported, (unsigned long)enabled);
    Check(hr == S_OK && supported == 0 && enabled == 0, "no safety option supported or enabled");
    for (DWORD option : {DWORD(INTERFACESAFE_FOR_UNTRUSTED_CALLER), DWORD(INTERFACESAFE_FOR_UNTRUSTED_DATA)}) {
      const HRESULT set = safety->SetInterfaceSafetyOptions(*iid, option, option);
      std::printf("safety set option %lu: hr=0x%08lx\n", (unsigned long)option, (unsigned long)set);
      Check(set == E_FAIL, "being made safe is refused");
      Check(safety->SetInterfaceSafetyOptions(*iid, option, 0) == S_OK, "clearing an option is granted");
    }
  }
  DWORD supported = 0, enabled = 0;
  Check(safety->GetInterfaceSafetyOptions(IID_IOleObject, &supported, &enabled) == E_NOINTERFACE,
        "an interface that takes no part: E_NOINTERFACE");
  Check(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled) == E_POINTER, "a null pointer: E_POINTER");
  safety->Release();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string expectedDir = argv[1];
  if (argc > 2 && std::strcmp(argv[2], "unregistered") == 0) {
    HMODULE ocx = LoadLibraryW(L"Tavo.ocx");
    const FARPROC byName = ocx ? GetProcAddress(ocx, "DllGetClassObject") : nullptr;
    g_getClassObject = hostkit::ClassObjectOf(ocx);
    Check(g_getClassObject != nullptr, "Tavo.ocx loads without registration");
    Check(ocx && GetProcAddress(ocx, MAKEINTRESOURCEA(2)) == byName, "DllGetClassObject has ordinal 2");
    Check(ocx && GetProcAddress(ocx, MAKEINTRESOURCEA(1)) == GetProcAddress(ocx, "DllCanUnloadNow") &&
              GetProcAddress(ocx, MAKEINTRESOURCEA(3)) == GetProcAddress(ocx, "DllRegisterServer") &&
              GetProcAddress(ocx, MAKEINTRESOURCEA(4)) == GetProcAddress(ocx, "DllUnregisterServer"),
          "ordinals 1, 3 and 4");
  }
  OleInitialize(nullptr);
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"axhost";
  RegisterClassW(&wc);
  {
    Site site;
    site.window = CreateWindowW(L"axhost", L"axhost", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                nullptr, wc.hInstance, nullptr);
    TestEmbedding(site);
    TestPropertiesAndGame(expectedDir);
    TestPersistence();
    TestQuickActivation(site);
    TestDrawing();
    TestPropertyPage(site);
    TestAboutBox();
    TestSafety();
    Check(site.count.refs() == 1,
          "no control keeps a reference to the site (" + std::to_string(site.count.refs()) + ")");
  }
  std::printf("axhost: %d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  OleUninitialize();
  return g_failed == 0 ? 0 : 1;
}
