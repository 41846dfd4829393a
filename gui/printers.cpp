// The printer object over the printer functions of the window layer.
#include "gui/printers.h"

#include <cstring>

#include "gui/graphics.h"
#include "winui/win_metrics.h"

namespace {

std::unique_ptr<TPrinter> gPrinter;

}  // namespace

TPrinter::TPrinter() = default;

TPrinter::~TPrinter() {
  if (fPrinting) Abort();
  FreeDC();
}

const std::vector<std::string>& TPrinter::Printers() {
  if (!fListed) {
    fListed = true;
    fPrinters.clear();
    DWORD need = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &need, &count);
    std::vector<BYTE> buf(need + sizeof(PRINTER_INFO_4W));
    if (EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, buf.data(), DWORD(buf.size()),
                      &need, &count)) {
      const auto* rec = reinterpret_cast<const PRINTER_INFO_4W*>(buf.data());
      for (DWORD i = 0; i < count; ++i) fPrinters.emplace_back(rec[i].pPrinterName);
    }
  }
  return fPrinters;
}

void TPrinter::Refresh() {
  if (fPrinting) throw EPrinter("Printing in progress");
  fListed = false;
  FreeDC();
  const std::string chosen = fPrinterIndex >= 0 && size_t(fPrinterIndex) < fPrinters.size()
                                 ? fPrinters[size_t(fPrinterIndex)]
                                 : std::string();
  Printers();
  fPrinterIndex = -1;
  for (size_t i = 0; i < fPrinters.size(); ++i)
    if (fPrinters[i] == chosen) fPrinterIndex = int(i);
}

int TPrinter::PrinterIndex() {
  Printers();
  if (fPrinterIndex >= 0) return fPrinterIndex;
  return fPrinters.empty() ? -1 : 0;
}

void TPrinter::SetPrinterIndex(int Value) {
  if (fPrinting) throw EPrinter("Printing in progress");
  Printers();
  if (Value < -1 || Value >= int(fPrinters.size())) throw EPrinter("Printer selected is not valid");
  FreeDC();
  fPrinterIndex = Value;
  fHasDevMode = false;
}

void TPrinter::NeedPrinter() {
  if (PrinterIndex() < 0) throw EPrinter("No printer is configured");
}

void TPrinter::ApplySettings(DEVMODEW& dm) const {
  dm.dmFields |= DM_COPIES | DM_ORIENTATION;
  dm.dmCopies = short(fCopies);
  dm.dmOrientation = fOrientation == poLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
}

HDC TPrinter::DC() {
  NeedPrinter();
  if (!fDC) {
    const std::string& name = fPrinters[size_t(PrinterIndex())];
    DEVMODEW dm;
    if (fHasDevMode) dm = fDevMode;
    else if (DocumentPropertiesW(nullptr, nullptr, name.c_str(), &dm, nullptr, DM_OUT_BUFFER) < 0)
      throw EPrinter("No printer is configured");
    ApplySettings(dm);
    fDC = CreateDCW(nullptr, name.c_str(), nullptr, &dm);
    if (!fDC) throw EPrinter("No printer is configured");
  }
  return fDC;
}

void TPrinter::FreeDC() {
  if (fCanvas) fCanvas->SetHandle(nullptr);
  if (fDC) DeleteDC(fDC);
  fDC = nullptr;
}

TCanvas* TPrinter::Canvas() {
  HDC dc = DC();
  if (!fCanvas) fCanvas = std::make_unique<TCanvas>();
  if (fCanvas->HandleAllocated() ? fCanvas->Handle() != dc : true) fCanvas->SetHandle(dc);
  return fCanvas.get();
}

int TPrinter::PageWidth() { return GetDeviceCaps(DC(), HORZRES); }
int TPrinter::PageHeight() { return GetDeviceCaps(DC(), VERTRES); }

void TPrinter::SetCopies(int Value) {
  if (fPrinting) throw EPrinter("Printing in progress");
  fCopies = Value < 1 ? 1 : Value;
  if (fHasDevMode) ApplySettings(fDevMode);
  FreeDC();
}

void TPrinter::SetOrientation(TPrinterOrientation Value) {
  if (fPrinting) throw EPrinter("Printing in progress");
  fOrientation = Value;
  if (fHasDevMode) ApplySettings(fDevMode);
  FreeDC();
}

void TPrinter::BeginDoc() {
  if (fPrinting) throw EPrinter("Printing in progress");
  HDC dc = DC();
  Canvas();
  DOCINFOW di;
  di.lpszDocName = fTitle.c_str();
  fAborted = false;
  if (StartDocW(dc, &di) <= 0) throw EPrinter("Printing could not be started");
  fPrinting = true;
  fPageNumber = 1;
  if (StartPage(dc) <= 0) {
    AbortDoc(dc);
    fPrinting = false;
    throw EPrinter("Printing could not be started");
  }
}

void TPrinter::NewPage() {
  if (!fPrinting) throw EPrinter("Printer is not currently printing");
  EndPage(fDC);
  StartPage(fDC);
  ++fPageNumber;
}

void TPrinter::EndDoc() {
  if (!fPrinting) throw EPrinter("Printer is not currently printing");
  fPrinting = false;
  const bool ok = fAborted ? true : ::EndDoc(fDC) > 0;
  fPageNumber = 0;
  if (!ok) throw EPrinter("The document could not be printed");
}

void TPrinter::Abort() {
  if (!fPrinting) throw EPrinter("Printer is not currently printing");
  AbortDoc(fDC);
  fAborted = true;
  fPrinting = false;
  fPageNumber = 0;
}

void TPrinter::GetPrinter(std::string& Device, std::string& Driver, std::string& Port, HGLOBAL& DeviceMode) {
  NeedPrinter();
  Device = fPrinters[size_t(PrinterIndex())];
  Driver.clear();
  Port.clear();
  DEVMODEW dm;
  if (fHasDevMode) dm = fDevMode;
  else DocumentPropertiesW(nullptr, nullptr, Device.c_str(), &dm, nullptr, DM_OUT_BUFFER);
  ApplySettings(dm);
  DeviceMode = GlobalAlloc(GHND, sizeof(DEVMODEW));
  if (void* p = DeviceMode ? GlobalLock(DeviceMode) : nullptr) {
    std::memcpy(p, &dm, sizeof dm);
    GlobalUnlock(DeviceMode);
  }
}

void TPrinter::SetPrinter(const std::string& Device, const std::string&, const std::string&, HGLOBAL DeviceMode) {
  if (fPrinting) throw EPrinter("Printing in progress");
  Printers();
  int index = -1;
  for (size_t i = 0; i < fPrinters.size(); ++i)
    if (fPrinters[i] == Device) index = int(i);
  if (index < 0) {
    // A printer that came since the list was read.
    Refresh();
    for (size_t i = 0; i < fPrinters.size(); ++i)
      if (fPrinters[i] == Device) index = int(i);
    if (index < 0) throw EPrinter("Printer selected is not valid");
  }
  FreeDC();
  fPrinterIndex = index;
  fHasDevMode = false;
  if (DeviceMode && GlobalSize(DeviceMode) >= sizeof(DEVMODEW)) {
    if (const void* p = GlobalLock(DeviceMode)) {
      std::memcpy(&fDevMode, p, sizeof fDevMode);
      GlobalUnlock(DeviceMode);
      fDevMode.dmDeviceName[CCHDEVICENAME - 1] = 0;
      fHasDevMode = true;
      if (fDevMode.dmFields & DM_COPIES) fCopies = fDevMode.dmCopies < 1 ? 1 : fDevMode.dmCopies;
      if (fDevMode.dmFields & DM_ORIENTATION)
        fOrientation = fDevMode.dmOrientation == DMORIENT_LANDSCAPE ? poLandscape : poPortrait;
    }
  }
}

TPrinter* Printer() {
  if (!gPrinter) gPrinter = std::make_unique<TPrinter>();
  return gPrinter.get();
}

TPrinter* SetPrinter(TPrinter* NewPrinter) {
  gPrinter.reset(NewPrinter);
  return NewPrinter;
}
