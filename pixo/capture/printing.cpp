// Printing the capture on the default printer, fitted to the page.
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "pixo/base/errors.h"
#include "pixo/capture/gdi_imaging.h"
#include "pixo/capture/printing.h"
#include "pixo/capture/print_convert.h"
#include "pixo/capture/system_library.h"
#include "pixo/capture/tbitmap.h"

namespace pixo {

namespace {

constexpr const wchar_t* kJobTitle = L"Pixo printing";

// The spooler's functions, from winspool.drv loaded when a run first prints (most runs
// never do, and the library with what it loads costs every run's start-up).
struct Spooler {
  decltype(&EnumPrintersW) enumPrinters = nullptr;
  decltype(&OpenPrinterW) openPrinter = nullptr;
  decltype(&ClosePrinter) closePrinter = nullptr;
  decltype(&DocumentPropertiesW) documentProperties = nullptr;
};

// Without the spooler there is no printer to print on.
const Spooler& TheSpooler() {
  static const Spooler spooler = [] {
    Spooler s;
    s.enumPrinters = SystemFunction<decltype(&EnumPrintersW)>(L"winspool.drv", "EnumPrintersW");
    s.openPrinter = SystemFunction<decltype(&OpenPrinterW)>(L"winspool.drv", "OpenPrinterW");
    s.closePrinter = SystemFunction<decltype(&ClosePrinter)>(L"winspool.drv", "ClosePrinter");
    s.documentProperties = SystemFunction<decltype(&DocumentPropertiesW)>(L"winspool.drv", "DocumentPropertiesW");
    return s;
  }();
  if (!spooler.enumPrinters || !spooler.openPrinter || !spooler.closePrinter || !spooler.documentProperties)
    Raise(ErrorKind::Printer, msg::kNoDefaultPrinter);
  return spooler;
}

struct PrinterTraits {
  static HANDLE Empty() { return nullptr; }
  static void Close(HANDLE h) { TheSpooler().closePrinter(h); }
};
using PrinterHandle = Owned<HANDLE, PrinterTraits>;
using PrinterDC = Owned<HDC, DcTraits>;

// Whether a printer of that name is installed.
bool PrinterInstalled(const std::wstring& device) {
  const Spooler& spooler = TheSpooler();
  DWORD needed = 0, count = 0;
  spooler.enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &count);
  if (needed == 0) return false;
  std::vector<BYTE> buffer(needed);
  if (!spooler.enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, buffer.data(), needed, &needed,
                            &count))
    return false;
  const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    if (info[i].pPrinterName && lstrcmpiW(info[i].pPrinterName, device.c_str()) == 0) return true;
  }
  return false;
}

// The "windows" section's "device" value: the default printer's name, driver and port.
// Raises the missing printer error when it names no installed printer.
std::vector<std::wstring> DefaultPrinterFields() {
  wchar_t value[1024] = {};
  GetProfileStringW(L"windows", L"device", L"", value, DWORD(std::size(value)));
  std::vector<std::wstring> fields;
  std::wstring current;
  for (const wchar_t* p = value;; ++p) {
    if (*p == L',' || *p == 0) {
      fields.push_back(current);
      current.clear();
      if (*p == 0) break;
    } else {
      current += *p;
    }
  }
  if (fields.empty() || fields[0].empty() || !PrinterInstalled(fields[0])) Raise(ErrorKind::Printer, msg::kNoDefaultPrinter);
  fields.resize(3);
  return fields;
}

// The default printer's device context, made on first use.
class Printer {
 public:
  HDC Handle() {
    if (dc_) return dc_.get();
    const std::vector<std::wstring> fields = DefaultPrinterFields();
    const std::wstring& device = fields[0];
    const std::wstring& driver = fields[1];
    const std::wstring& port = fields[2];

    std::vector<char> mode;
    HANDLE opened = nullptr;
    const Spooler& spooler = TheSpooler();
    if (spooler.openPrinter(const_cast<wchar_t*>(device.c_str()), &opened, nullptr)) {
      const PrinterHandle printer(opened);
      const LONG size =
          spooler.documentProperties(nullptr, printer.get(), const_cast<wchar_t*>(device.c_str()), nullptr, nullptr, 0);
      if (size > 0) {
        mode.resize(size_t(size));
        if (spooler.documentProperties(nullptr, printer.get(), const_cast<wchar_t*>(device.c_str()),
                                reinterpret_cast<DEVMODEW*>(mode.data()), nullptr, DM_OUT_BUFFER) < 0)
          mode.clear();
      }
    }
    dc_.reset(CreateDCW(driver.empty() ? nullptr : driver.c_str(), device.c_str(),
                        port.empty() ? nullptr : port.c_str(),
                        mode.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(mode.data())));
    if (!dc_) Raise(ErrorKind::Printer, msg::kPrinterNotValid);
    return dc_.get();
  }

 private:
  PrinterDC dc_;
};

BOOL CALLBACK KeepPrinting(HDC, int) { return TRUE; }

// Draws the image into a destination rectangle of the printer's context.
void DrawImage(HDC printer, const TBitmap& image, int left, int top, int width, int height) {
  PaletteGuard palette(printer, image.Palette());
  const int printerBits = GetDeviceCaps(printer, BITSPIXEL) * GetDeviceCaps(printer, PLANES);
  const int imageBits = image.BitsPerPixel();
  if (printerBits <= 8 && printerBits < imageBits) {
    POINT origin{};
    GetBrushOrgEx(printer, &origin);
    SetStretchBltMode(printer, HALFTONE);
    SetBrushOrgEx(printer, origin.x, origin.y, nullptr);
  } else if (imageBits != 1) {
    SetStretchBltMode(printer, COLORONCOLOR);
  }
  BitmapCanvas canvas(image);
  StretchBlt(printer, left, top, width, height, canvas.dc(), 0, 0, image.Width(), image.Height(), SRCCOPY);
}

// Ends a job that an error interrupted, so that no half-finished job stays queued.
class JobGuard {
 public:
  explicit JobGuard(HDC dc) : dc_(dc) {}
  ~JobGuard() {
    if (dc_) AbortDoc(dc_);
  }
  void Done() { dc_ = nullptr; }

 private:
  HDC dc_;
};

}  // namespace

void RequireDefaultPrinter() { DefaultPrinterFields(); }

void PrintImage(TBitmap& image, PrintMode mode) {
  Printer printer;
  HDC dc = printer.Handle();
  SetAbortProc(dc, KeepPrinting);
  std::wstring title = kJobTitle;
  if (title.size() > 31) title.resize(31);
  DOCINFOW doc{};
  doc.cbSize = sizeof doc;
  doc.lpszDocName = title.c_str();
  // A job call that fails ends the run in the printer error: a print that did not
  // happen must not look like one that did.
  if (StartDocW(dc, &doc) <= 0) Raise(ErrorKind::Printer, msg::kPrinterNotValid);
  JobGuard job(dc);
  if (StartPage(dc) <= 0) Raise(ErrorKind::Printer, msg::kPrinterNotValid);

  const int w = image.Width(), h = image.Height();
  const PrintPlacement place = ComputePlacement(GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), w, h);

  if (mode != PrintMode::Plain) {
    DibImage dib = DibFromBitmap(image);
    // Palette images hold indexes, not colours: the conversions work on colours.
    if (mode == PrintMode::FullColor || dib.PixelFormat() != dib24Bit) dib.SetPixelFormat(dib24Bit);
    if (mode == PrintMode::BlackWhite) DiffuseToBlackWhite(dib, 0, 0, w - 1, h - 1);
    if (mode == PrintMode::Gray) ConvertToGray(dib, 0, 0, w - 1, h - 1);
    DibToBitmap(dib, image);
    // Deliberately first drawn unscaled at the margin, then stretched over it: the
    // stretched picture covers the unscaled one wherever they overlap.
    DrawImage(dc, image, kPrintMargin, kPrintMargin, w, h);
  }
  DrawImage(dc, image, place.left, place.top, place.right - place.left, place.bottom - place.top);
  if (EndPage(dc) <= 0) Raise(ErrorKind::Printer, msg::kPrinterNotValid);
  if (EndDoc(dc) <= 0) Raise(ErrorKind::Printer, msg::kPrinterNotValid);
  job.Done();
}

}  // namespace pixo
