// A test container: embeds the control as an ActiveX host does (client site, in-place
// activation, connected event sinks, a message loop) and checks it through its
// interfaces. Usage: axhost.exe WORKDIR [unregistered]
//   WORKDIR is what WorkDirectory must return; with "unregistered" the control is made
//   through Tavo.ocx's own class factory instead of the registry.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "control/tavo_ids.h"

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

void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    Sleep(5);
  } while (GetTickCount() < end);
}

bool g_inCall = false;  // set while a method of the control runs

// Records the events of one control; notes an event that arrives inside a call.
class Sink : public IDispatch {
 public:
  std::string events;
  bool firedInsideCall = false;
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__DTavoEvents) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    if (g_inCall) firedInsideCall = true;
    if (!(flags & DISPATCH_METHOD) || (p && p->cArgs != 0)) events += "?";
    events += char('0' + id);
    return S_OK;
  }
};

// The client site with in-place support, and a property page site.
class Site : public IOleClientSite, public IOleInPlaceSite, public IPropertyPageSite {
 public:
  HWND window = nullptr;
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
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  // IOleClientSite
  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** m) override {
    *m = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** c) override {
    *c = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* w) override {
    *w = window;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override {
    activated = true;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
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
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
  // IPropertyPageSite
  STDMETHODIMP OnStatusChange(DWORD) override { return S_OK; }
  STDMETHODIMP GetLocaleID(LCID* l) override {
    *l = LOCALE_USER_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP GetPageContainer(IUnknown** u) override {
    *u = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }
  bool activated = false;
};

// A property bag that keeps what it is given.
class Bag : public IPropertyBag {
 public:
  std::map<std::wstring, LONG> values;
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
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

typedef HRESULT(WINAPI* GetClassObjectFn)(REFCLSID, REFIID, void**);
GetClassObjectFn g_getClassObject = nullptr;

IDispatch* CreateControl() {
  IDispatch* d = nullptr;
  if (g_getClassObject) {
    IClassFactory* f = nullptr;
    if (SUCCEEDED(g_getClassObject(CLSID_Tavo, IID_IClassFactory, reinterpret_cast<void**>(&f)))) {
      f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&d));
      f->Release();
    }
  } else {
    CoCreateInstance(CLSID_Tavo, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&d));
  }
  return d;
}

template <typename T>
T* As(IUnknown* u, const IID& iid) {
  T* p = nullptr;
  u->QueryInterface(iid, reinterpret_cast<void**>(&p));
  return p;
}

DISPID IdOf(IDispatch* d, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

HRESULT Call(IDispatch* d, const wchar_t* name, VARIANT* result = nullptr, WORD flags = DISPATCH_METHOD) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  g_inCall = true;
  const HRESULT hr = d->Invoke(IdOf(d, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &none, result, nullptr, nullptr);
  g_inCall = false;
  return hr;
}

std::wstring GetString(IDispatch* d, const wchar_t* name) {
  VARIANT v;
  VariantInit(&v);
  Call(d, name, &v, DISPATCH_PROPERTYGET);
  std::wstring s = V_VT(&v) == VT_BSTR && V_BSTR(&v) ? V_BSTR(&v) : L"<none>";
  VariantClear(&v);
  return s;
}

HRESULT PutString(IDispatch* d, const wchar_t* name, const wchar_t* value) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(value);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS p{&v, &named, 1, 1};
  const HRESULT hr = d->Invoke(IdOf(d, name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr,
                               nullptr);
  VariantClear(&v);
  return hr;
}

DWORD Connect(IDispatch* ctl, Sink* sink) {
  DWORD cookie = 0;
  IConnectionPointContainer* cpc = As<IConnectionPointContainer>(ctl, IID_IConnectionPointContainer);
  IConnectionPoint* cp = nullptr;
  if (cpc && SUCCEEDED(cpc->FindConnectionPoint(DIID__DTavoEvents, &cp))) {
    cp->Advise(static_cast<IDispatch*>(sink), &cookie);
    cp->Release();
  }
  if (cpc) cpc->Release();
  return cookie;
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string expectedDir = argv[1];
  if (argc > 2 && std::strcmp(argv[2], "unregistered") == 0) {
    HMODULE ocx = LoadLibraryW(L"Tavo.ocx");
    const FARPROC byName = ocx ? GetProcAddress(ocx, "DllGetClassObject") : nullptr;
    // An export's address through a generic function pointer, to its real type.
    g_getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void (*)()>(byName));
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
  Site site;
  site.window = CreateWindowW(L"axhost", L"axhost", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr,
                              wc.hInstance, nullptr);

  IDispatch* a = CreateControl();
  IDispatch* b = CreateControl();
  Check(a && b, "two controls created");
  if (!a || !b) return 1;

  // Embedding: client site and in-place activation of the first control.
  IOleObject* oa = As<IOleObject>(a, IID_IOleObject);
  oa->SetClientSite(&site);
  RECT pos{10, 10, 110, 60};
  const HRESULT act = oa->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, site.window, &pos);
  HWND ctlWindow = nullptr;
  IOleInPlaceObject* ip = As<IOleInPlaceObject>(a, IID_IOleInPlaceObject);
  ip->GetWindow(&ctlWindow);
  Check(SUCCEEDED(act) && site.activated && ctlWindow && GetParent(ctlWindow) == site.window,
        "in-place activation makes a child window");
  DWORD misc = 0, miscOther = 1;
  oa->GetMiscStatus(DVASPECT_CONTENT, &misc);
  oa->GetMiscStatus(DVASPECT_ICON, &miscOther);
  Check(misc == 132497 && miscOther == 0, "misc status 132497 for the content aspect only");
  IEnumOLEVERB* verbs = nullptr;
  OLEVERB verb[2] = {};
  ULONG fetched = 0;
  oa->EnumVerbs(&verbs);
  if (verbs) {
    verbs->Next(2, verb, &fetched);
    verbs->Release();
  }
  Check(fetched == 1 && verb[0].lVerb == 0 && verb[0].grfAttribs == OLEVERBATTRIB_ONCONTAINERMENU &&
            verb[0].fuFlags == 0,
        "one verb: properties, on the container menu");
  CoTaskMemFree(verb[0].lpszVerbName);
  LPOLESTR userType = nullptr;
  oa->GetUserType(USERCLASSTYPE_FULL, &userType);
  Check(userType && Narrow(userType) == "Tavo Control", "user type name");
  CoTaskMemFree(userType);

  IProvideClassInfo2* pci = As<IProvideClassInfo2>(a, IID_IProvideClassInfo2);
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

  Sink sa, sb;
  Check(Connect(a, &sa) != 0 && Connect(b, &sb) != 0, "event sinks connected to both controls");

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
  Check(sa.events == "12" && sb.events == "12", "after Start: SummaryUpdated, then NewGameStarted, on both (" +
                                                    sa.events + "/" + sb.events + ")");
  std::string game;
  for (int i = 0; i < 30; ++i) {
    sa.events.clear();
    Call(i % 2 ? b : a, i % 3 == 0 ? L"Goo" : i % 3 == 1 ? L"Choki" : L"Pah");
    Pump(100);
    game += sa.events;
    if (sa.events == "3") break;
  }
  Check(game == "1111111113", "a game: nine SummaryUpdated, then ResultUpdated (" + game + ")");
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
  Check(sa.events == "4" && sb.events == "4", "Master, End: every control fires End");
  Call(a, L"End");
  Pump(300);
  Check(sa.events == "44" && sb.events == "44", "End again ends again");
  Check(!sa.firedInsideCall && !sb.firedInsideCall, "no event ever fired inside a method call");
  VariantInit(&info);
  Call(a, L"INFO", &info, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  Check(V_VT(&info) == VT_I2 && (V_I2(&info) == 0 || V_I2(&info) == 1), "INFO after the game");

  // Persistence keeps only the size and the version.
  SIZEL size{5000, 3000};
  oa->SetExtent(DVASPECT_CONTENT, &size);
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
  IDispatch* c = CreateControl();
  IPersistStreamInit* psc = As<IPersistStreamInit>(c, IID_IPersistStreamInit);
  psc->Load(stream);
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
  oc->GetExtent(DVASPECT_CONTENT, &loaded);
  Check(loaded.cx == 1234 && loaded.cy == 3000, "the size round-trips through a property bag");
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
  e->Release();
  pst->Release();
  if (storage) storage->Release();
  if (bytes) bytes->Release();

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
  Check(quick == S_OK && control.dwMiscStatus == 132497 && control.dwEventCookie != 0,
        "quick activation: misc status and a connected event sink");
  Call(a, L"Start");
  Pump(300);
  // The engine ended with End above and is not started again: Start has no summary to
  // report, but still tells every control that a game was started.
  Check(qsink.events == "2", "the quickly activated control receives events too (" + qsink.events + ")");
  if (qa) qa->Release();
  IOleObject* oq = As<IOleObject>(qc, IID_IOleObject);
  oq->SetClientSite(nullptr);
  oq->Release();
  qc->Release();

  IPersistMemory* pm = As<IPersistMemory>(a, IID_IPersistMemory);
  LONG mem[4] = {};
  pm->Save(mem, FALSE, sizeof mem);
  Check(mem[0] == 65536 && mem[1] == 5000, "memory block holds the same values");
  pm->Release();
  ppb->Release();
  ppc->Release();
  psc->Release();
  oc->Release();

  // Drawing: white bounds with an ellipse in them.
  IViewObject* view = As<IViewObject>(a, IID_IViewObject);
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

  // The property page changes nothing.
  ISpecifyPropertyPages* spp = As<ISpecifyPropertyPages>(a, IID_ISpecifyPropertyPages);
  CAUUID pages{};
  spp->GetPages(&pages);
  Check(pages.cElems == 1 && pages.pElems[0] == CLSID_TavoPropPage, "one property page");
  IPropertyPage2* page = nullptr;
  if (g_getClassObject) {
    IClassFactory* f = nullptr;
    g_getClassObject(CLSID_TavoPropPage, IID_IClassFactory, reinterpret_cast<void**>(&f));
    if (f) {
      f->CreateInstance(nullptr, IID_IPropertyPage2, reinterpret_cast<void**>(&page));
      f->Release();
    }
  } else {
    CoCreateInstance(CLSID_TavoPropPage, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage2,
                     reinterpret_cast<void**>(&page));
  }
  CoTaskMemFree(pages.pElems);
  spp->Release();
  Check(page != nullptr, "the page is created");
  if (page) {
    PROPPAGEINFO pinfo{};
    pinfo.cb = sizeof pinfo;
    page->GetPageInfo(&pinfo);
    Check(pinfo.pszTitle && Narrow(pinfo.pszTitle) == "General" && pinfo.size.cx > 0, "page title General");
    CoTaskMemFree(pinfo.pszTitle);
    IUnknown* obj = a;
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
    Check(GetString(a, L"WorkDirectory") == dir && GetString(a, L"SummaryFile") == dir + L"\\summary.txt",
          "the page changed nothing");
  }

  // The about box shows and closes with OK.
  AboutWatch watch;
  HANDLE watcher = CreateThread(nullptr, 0, WatchAbout, &watch, 0, nullptr);
  const HRESULT about = Call(a, L"AboutBox");
  WaitForSingleObject(watcher, 15000);
  CloseHandle(watcher);
  Check(about == S_OK && watch.seen, "AboutBox returns after the box is closed");
  Check(watch.texts.find("Tavo Control, Version 1.0|") != std::string::npos && watch.texts.find("OK|") != std::string::npos,
        "about box texts: " + watch.texts);

  // Teardown: detach the sinks and release everything.
  ip->Release();
  oa->Close(OLECLOSE_NOSAVE);
  oa->SetClientSite(nullptr);
  oa->Release();
  psa->Release();
  c->Release();
  b->Release();
  a->Release();
  Pump(100);
  std::printf("axhost: %d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  OleUninitialize();
  return g_failed == 0 ? 0 : 1;
}
