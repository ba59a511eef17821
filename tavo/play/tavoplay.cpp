// A window to play in: the Tavo control embedded in a real container window, with buttons
// for the three hands and a new game, the score and the hands so far, what the engine
// expected of the last hand (from the summary), and the result table when a game ends,
// all updated from the control's events.
// Usage: tavoplay.exe [SECONDS]   (closes by itself after SECONDS, when given)
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tavo/hostkit/hostkit.h"
#include "tavo/control/tavo_ids.h"
#include "tavo/protocol/protocol.h"
#include "tavo/protocol/summary.h"

namespace {

enum : int { kRock = 101, kScissors, kPaper, kNewGame };
HWND g_window, g_score, g_hands, g_forecast, g_table;
IDispatch* g_control = nullptr;
HFONT g_font, g_big;

std::wstring Property(const wchar_t* name) { return hostkit::GetString(g_control, name); }

// The text for a multi-line static control: every line ending, whatever it was (the
// record files may end lines in CR CR LF), as one CR LF.
std::wstring Lines(const std::string& s) {
  std::wstring out;
  for (char c : s) {
    if (c == '\r') continue;
    if (c == '\n') out += L'\r';
    out += wchar_t(static_cast<unsigned char>(c));
  }
  return out;
}

// The game as the host sees it: the hands the player chose and the points after each.
struct Played {
  int hand;            // 0 rock, 1 scissors, 2 paper
  int player, engine;  // points after it
};
std::vector<Played> g_played;
int g_pending = -1;  // the hand just sent, until its summary comes
bool g_over = false;
bool g_awaiting = false;  // a call was made and its answer (an event) has not come yet
constexpr UINT_PTR kCloseTimer = 1, kAnswerTimer = 2;
// How long after a call its answer may take to arrive before the window says so.
constexpr UINT kAnswerMs = 600;

const wchar_t* const kNames[3] = {L"rock", L"scissors", L"paper"};

void ShowHands() {
  std::wstring text;
  int lastPlayer = 0, lastEngine = 0;
  for (size_t i = 0; i < g_played.size(); ++i) {
    const Played& p = g_played[i];
    const wchar_t* outcome = p.player > lastPlayer ? L"won" : p.engine > lastEngine ? L"lost" : L"draw";
    // The engine's hand follows from the outcome.
    const int engine = p.player > lastPlayer ? (p.hand + 1) % 3 : p.engine > lastEngine ? (p.hand + 2) % 3 : p.hand;
    wchar_t line[96];
    swprintf(line, 96, L"%2d  %-8ls %-8ls %ls\r\n", int(i + 1), kNames[p.hand], kNames[engine], outcome);
    text += line;
    lastPlayer = p.player;
    lastEngine = p.engine;
  }
  SetWindowTextW(g_hands, (L"no  you      engine\r\n" + text).c_str());
}

// Reads the summary: the points, and what the engine expected of the hand just played.
void OnSummary() {
  g_awaiting = false;
  tavo::protocol::SummaryRecord summary;
  summary.hands[1] = 10;
  for (double& f : summary.forecast) f = 1.0 / 3;
  tavo::protocol::ParseSummaryText(hostkit::ReadRecordFile(Property(L"SummaryFile")), summary);
  const int player = summary.point[0], engine = summary.point[1], pattern = summary.pattern,
            perGame = summary.hands[1];
  const double* f = summary.forecast;
  if (g_pending >= 0) {
    g_played.push_back(Played{g_pending, player, engine});
    g_pending = -1;
  }
  wchar_t score[128];
  swprintf(score, 128, L"You %d : %d Tavo    hand %d of %d", player, engine, int(g_played.size()), perGame);
  SetWindowTextW(g_score, score);
  ShowHands();
  wchar_t forecast[160];
  if (pattern == 0)
    swprintf(forecast, 160, L"Tavo played the last hand at random.");
  else
    swprintf(forecast, 160, L"Tavo expected: rock %.0f%%, scissors %.0f%%, paper %.0f%% (predictor %d)", f[0] * 100,
             f[1] * 100, f[2] * 100, pattern);
  SetWindowTextW(g_forecast, forecast);
}

void OnResult() {
  g_awaiting = false;
  g_over = true;
  if (g_pending >= 0) {  // the last hand: its points are in the table's closing line
    const std::string table = hostkit::ReadRecordFile(Property(L"ResultFile"));
    int player = 0, engine = 0;
    const size_t total = table.rfind(std::string(tavo::protocol::kTableTotal) + " ");
    if (total != std::string::npos)
      std::sscanf(table.c_str() + total + std::strlen(tavo::protocol::kTableTotal), " %d:%d", &player, &engine);
    g_played.push_back(Played{g_pending, player, engine});
    g_pending = -1;
    wchar_t score[128];
    swprintf(score, 128, L"You %d : %d Tavo    game over", player, engine);
    SetWindowTextW(g_score, score);
    ShowHands();
  }
  std::string table = hostkit::ReadRecordFile(Property(L"ResultFile"));
  SetWindowTextW(g_table, (L"Result table\r\n" + Lines(table)).c_str());
}

class Sink : public hostkit::EventSink {
 public:
  Sink() : EventSink(DIID__DTavoEvents) {}
  void OnEvent(DISPID id) override {
    if (id == DISPID_TAVOEVENT_SUMMARYUPDATED) OnSummary();
    if (id == DISPID_TAVOEVENT_NEWGAMESTARTED) SetWindowTextW(g_table, L"");
    if (id == DISPID_TAVOEVENT_RESULTUPDATED) OnResult();
  }
};

// The container's side of the embedding: a client site that lets the control activate in
// place in the main window.
class Site : public IOleClientSite, public IOleInPlaceSite {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
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
  STDMETHODIMP GetWindow(HWND* w) override {
    *w = g_window;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    *frame = nullptr;
    *doc = nullptr;
    *pos = kControlRect;
    *clip = kControlRect;
    info->fMDIApp = FALSE;
    info->hwndFrame = g_window;
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

  static constexpr RECT kControlRect{690, 12, 754, 76};
};

Site g_site;

HWND g_buttons[4];

// A call into the control blocks while the engine answers (up to its time limits, should
// it hang). The buttons are off meanwhile, and the clicks and keys that came in during
// the call are dropped afterwards: they were meant for a window that could not answer.
void Call(const wchar_t* name) {
  for (HWND b : g_buttons) EnableWindow(b, FALSE);
  hostkit::Call(g_control, name);
  MSG m;
  while (PeekMessageW(&m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  for (HWND b : g_buttons) EnableWindow(b, TRUE);
  g_awaiting = true;
  SetTimer(g_window, kAnswerTimer, kAnswerMs, nullptr);
}

int Info() {
  VARIANT v;
  if (FAILED(hostkit::Call(g_control, L"INFO", &v)) || V_VT(&v) != VT_I2) return -1;
  return V_I2(&v);
}

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kRock:
        case kScissors:
        case kPaper:
          if (!g_over && g_pending < 0) {
            g_pending = LOWORD(wp) - kRock;
            Call(g_pending == 0 ? L"Goo" : g_pending == 1 ? L"Choki" : L"Pah");
          }
          return 0;
        case kNewGame:
          g_played.clear();
          g_pending = -1;
          g_over = false;
          SetWindowTextW(g_hands, L"");
          SetWindowTextW(g_score, L"You 0 : 0 Tavo    hand 0 of 10");
          Call(L"Start");
          if (Info() == -1) {
            g_awaiting = false;
            SetWindowTextW(g_score, L"No game: Tavo's engine is missing or does not start");
            SetWindowTextW(g_forecast, L"tavo.exe belongs beside the control (Tavo.ocx).");
          }
          return 0;
      }
      break;
    case WM_PAINT: {
      // The control draws itself into the container's device context.
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(wnd, &ps);
      IViewObject* view = nullptr;
      if (g_control && SUCCEEDED(g_control->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)))) {
        const RECTL r{Site::kControlRect.left, Site::kControlRect.top, Site::kControlRect.right,
                      Site::kControlRect.bottom};
        view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &r, nullptr, nullptr, 0);
        view->Release();
      }
      EndPaint(wnd, &ps);
      return 0;
    }
    case WM_TIMER:
      if (wp == kAnswerTimer) {
        KillTimer(wnd, kAnswerTimer);
        if (g_awaiting) {
          g_awaiting = false;
          g_pending = -1;
          SetWindowTextW(g_score, L"Tavo's engine is not answering");
          SetWindowTextW(g_forecast, L"Press New game to start it again.");
        }
        return 0;
      }
      DestroyWindow(wnd);
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id, HFONT font) {
  HWND c = CreateWindowW(cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, g_window,
                         reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(c, WM_SETFONT, WPARAM(font), TRUE);
  return c;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  OleInitialize(nullptr);
  if (FAILED(CoCreateInstance(CLSID_Tavo, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&g_control)))) {
    MessageBoxW(nullptr, L"The Tavo control is neither registered nor named by this program's manifest.", L"Tavo",
                MB_ICONERROR);
    return 1;
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"TavoPlay";
  RegisterClassW(&wc);
  g_window = CreateWindowW(L"TavoPlay", L"Tavo", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 780,
                           660, nullptr, nullptr, instance, nullptr);
  g_font = CreateFontW(20, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY - 1,
                       FIXED_PITCH | FF_MODERN, L"DejaVu Sans Mono");
  g_big = CreateFontW(28, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY - 1,
                      FIXED_PITCH | FF_MODERN, L"DejaVu Sans Mono");
  g_buttons[0] = Child(L"BUTTON", L"Rock", BS_PUSHBUTTON, 12, 12, 120, 44, kRock, g_font);
  g_buttons[1] = Child(L"BUTTON", L"Scissors", BS_PUSHBUTTON, 142, 12, 140, 44, kScissors, g_font);
  g_buttons[2] = Child(L"BUTTON", L"Paper", BS_PUSHBUTTON, 292, 12, 120, 44, kPaper, g_font);
  g_buttons[3] = Child(L"BUTTON", L"New game", BS_PUSHBUTTON, 432, 12, 140, 44, kNewGame, g_font);
  g_score = Child(L"STATIC", L"Press New game", 0, 12, 70, 740, 36, 0, g_big);
  g_forecast = Child(L"STATIC", L"", 0, 12, 112, 760, 26, 0, g_font);
  g_hands = Child(L"STATIC", L"", 0, 12, 146, 380, 460, 0, g_font);
  g_table = Child(L"STATIC", L"", 0, 400, 146, 370, 460, 0, g_font);

  // Embedded and activated in place in the window, its events connected.
  IOleObject* ole = nullptr;
  if (SUCCEEDED(g_control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
    ole->SetClientSite(&g_site);
    RECT r = Site::kControlRect;
    ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &g_site, 0, g_window, &r);
  }
  Sink sink;
  const DWORD cookie = hostkit::Connect(g_control, DIID__DTavoEvents, &sink);

  ShowWindow(g_window, show);
  UpdateWindow(g_window);
  int seconds = 0;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv && argc > 1) seconds = _wtoi(argv[1]);
  LocalFree(argv);
  if (seconds > 0) SetTimer(g_window, kCloseTimer, UINT(seconds) * 1000, nullptr);

  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  hostkit::Call(g_control, L"Master");
  hostkit::Call(g_control, L"End");
  hostkit::Pump(200);
  hostkit::Disconnect(g_control, DIID__DTavoEvents, cookie);
  if (ole) {
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    ole->Release();
  }
  g_control->Release();
  DeleteObject(g_font);
  DeleteObject(g_big);
  OleUninitialize();
  return 0;
}
