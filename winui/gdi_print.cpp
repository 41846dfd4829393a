// Printers and printer DCs over a cairo PDF surface.
#include "winui/gdi_print.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "winui/gdi_internal.h"
#include "winui/win_metrics.h"
#include "winui/gdi_printers.h"
#include "winui/headless.h"

namespace {

using vxgdi::TPrinterDef;

// A document on its way: the PDF bytes so far and the page being drawn.
struct PrintJob {
  TPrinterDef Printer;
  short Orientation = DMORIENT_PORTRAIT;
  int Copies = 1;
  std::string Title;
  std::string Output;  // a file named by StartDocW
  std::string Bytes;
  cairo_surface_t* Surface = nullptr;
  cairo_t* Cr = nullptr;
  bool InDoc = false;
  bool InPage = false;
  int Pages = 0;

  ~PrintJob() { Drop(); }
  void Drop() {
    if (Cr) cairo_destroy(Cr);
    if (Surface) cairo_surface_destroy(Surface);
    Cr = nullptr;
    Surface = nullptr;
    InDoc = InPage = false;
    Bytes.clear();
  }
  bool Landscape() const { return Orientation == DMORIENT_LANDSCAPE; }
  // Paper and margins as the page lies, in inches.
  double PaperW() const { return Landscape() ? Printer.PaperHeight : Printer.PaperWidth; }
  double PaperH() const { return Landscape() ? Printer.PaperWidth : Printer.PaperHeight; }
  double MarginL() const { return Landscape() ? Printer.MarginTop : Printer.MarginLeft; }
  double MarginT() const { return Landscape() ? Printer.MarginRight : Printer.MarginTop; }
  double MarginR() const { return Landscape() ? Printer.MarginBottom : Printer.MarginRight; }
  double MarginB() const { return Landscape() ? Printer.MarginLeft : Printer.MarginBottom; }
  int Px(double Inches) const { return int(std::llrint(Inches * Printer.Dpi)); }
};

// The documents of the printer DCs. Never destroyed: a printer object held
// in a static (the application's printer object of the GUI layer) deletes
// its DC when the program ends, after the statics of this file may be gone.
struct TJobTable {
  std::mutex Lock;
  std::map<HDC, std::shared_ptr<PrintJob>> Jobs;
};
TJobTable& JobTable() {
  static auto* table = new TJobTable();
  return *table;
}

std::shared_ptr<PrintJob> FindJob(HDC hdc) {
  TJobTable& t = JobTable();
  std::lock_guard<std::mutex> lock(t.Lock);
  auto it = t.Jobs.find(hdc);
  return it == t.Jobs.end() ? nullptr : it->second;
}

cairo_status_t AppendBytes(void* Closure, const unsigned char* Data, unsigned int Length) {
  static_cast<PrintJob*>(Closure)->Bytes.append(reinterpret_cast<const char*>(Data), Length);
  return CAIRO_STATUS_SUCCESS;
}

// The file appears whole or not at all: a temporary name in its folder,
// renamed when written.
bool WriteWhole(const std::string& FileName, const std::string& Bytes) {
  const std::string tmp = FileName + ".~" + std::to_string(::getpid()) + ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(Bytes.data(), std::streamsize(Bytes.size()));
    f.flush();
    if (!f) {
      f.close();
      std::remove(tmp.c_str());
      return false;
    }
  }
  if (std::rename(tmp.c_str(), FileName.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

// A title as a file name: no folder separators or control characters.
std::string FileTitle(const std::string& Title) {
  std::string s;
  for (char c : Title) s += (c == '/' || (unsigned char)c < 32) ? '_' : c;
  if (s.empty() || s == "." || s == "..") s = "Document";
  return s;
}

}  // namespace

HDC CreateDCW(LPCWSTR /*Driver*/, LPCWSTR Device, LPCWSTR /*Port*/, const DEVMODEW* DevMode) {
  TPrinterDef def;
  if (!vxgdi::FindPrinter(Device ? std::string(Device) : std::string(), def)) return nullptr;
  auto job = std::make_shared<PrintJob>();
  job->Printer = def;
  if (DevMode) {
    if ((DevMode->dmFields & DM_ORIENTATION) &&
        (DevMode->dmOrientation == DMORIENT_PORTRAIT || DevMode->dmOrientation == DMORIENT_LANDSCAPE))
      job->Orientation = DevMode->dmOrientation;
    if ((DevMode->dmFields & DM_COPIES) && DevMode->dmCopies > 0) job->Copies = DevMode->dmCopies;
  }
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return nullptr;
  TJobTable& t = JobTable();
  std::lock_guard<std::mutex> lock(t.Lock);
  t.Jobs[dc] = job;
  return dc;
}

int StartDocW(HDC hdc, const DOCINFOW* DocInfo) {
  auto job = FindJob(hdc);
  if (!job || job->InDoc) return SP_ERROR;
  job->Title = DocInfo && DocInfo->lpszDocName ? DocInfo->lpszDocName : "";
  job->Output = DocInfo && DocInfo->lpszOutput ? DocInfo->lpszOutput : "";
  job->Bytes.clear();
  job->Surface = cairo_pdf_surface_create_for_stream(AppendBytes, job.get(), job->PaperW() * 72, job->PaperH() * 72);
  if (cairo_surface_status(job->Surface) != CAIRO_STATUS_SUCCESS) {
    job->Drop();
    return SP_ERROR;
  }
  if (!job->Title.empty()) cairo_pdf_surface_set_metadata(job->Surface, CAIRO_PDF_METADATA_TITLE, job->Title.c_str());
  job->Cr = cairo_create(job->Surface);
  job->InDoc = true;
  job->Pages = 0;
  return 1;
}

int StartPage(HDC hdc) {
  auto job = FindJob(hdc);
  if (!job || !job->InDoc || job->InPage) return SP_ERROR;
  cairo_pdf_surface_set_size(job->Surface, job->PaperW() * 72, job->PaperH() * 72);
  // Device pixels from the printable area's corner.
  cairo_identity_matrix(job->Cr);
  const double k = 72.0 / job->Printer.Dpi;
  cairo_scale(job->Cr, k, k);
  cairo_translate(job->Cr, job->Px(job->MarginL()), job->Px(job->MarginT()));
  job->InPage = true;
  return 1;
}

int EndPage(HDC hdc) {
  auto job = FindJob(hdc);
  if (!job || !job->InPage) return SP_ERROR;
  cairo_show_page(job->Cr);
  job->InPage = false;
  ++job->Pages;
  return 1;
}

int EndDoc(HDC hdc) {
  auto job = FindJob(hdc);
  if (!job || !job->InDoc) return SP_ERROR;
  if (job->InPage) EndPage(hdc);
  cairo_destroy(job->Cr);
  job->Cr = nullptr;
  cairo_surface_finish(job->Surface);
  const bool ok = cairo_surface_status(job->Surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(job->Surface);
  job->Surface = nullptr;
  job->InDoc = false;
  std::string bytes;
  bytes.swap(job->Bytes);
  if (!ok || job->Pages == 0) return SP_ERROR;
  if (!job->Output.empty() || job->Printer.Kind == vxgdi::TPrinterKind::PDFFile) {
    std::string name = job->Output;
    if (name.empty()) name = job->Printer.FileName;
    if (name.empty()) name = FileTitle(job->Title) + ".pdf";
    return WriteWhole(name, bytes) ? 1 : SP_ERROR;
  }
  return vxgdi::SendToPrintQueue(job->Printer, job->Title, bytes, job->Copies,
                                 job->Orientation == DMORIENT_LANDSCAPE)
             ? 1
             : SP_ERROR;
}

int AbortDoc(HDC hdc) {
  auto job = FindJob(hdc);
  if (!job || !job->InDoc) return SP_ERROR;
  job->Drop();
  return 1;
}

LONG DocumentPropertiesW(HWND, HANDLE, LPCWSTR DeviceName, DEVMODEW* Output, const DEVMODEW* Input, DWORD fMode) {
  TPrinterDef def;
  if (!vxgdi::FindPrinter(DeviceName ? std::string(DeviceName) : std::string(), def)) return -1;
  if (fMode == 0) return LONG(sizeof(DEVMODEW));
  if (!(fMode & DM_OUT_BUFFER) || !Output) return 1;
  DEVMODEW dm;
  std::strncpy(dm.dmDeviceName, def.Name.c_str(), CCHDEVICENAME - 1);
  dm.dmFields = DM_ORIENTATION | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_PRINTQUALITY | DM_YRESOLUTION;
  dm.dmPaperWidth = short(std::llrint(def.PaperWidth * 254));
  dm.dmPaperLength = short(std::llrint(def.PaperHeight * 254));
  dm.dmPrintQuality = short(def.Dpi);
  dm.dmYResolution = short(def.Dpi);
  if ((fMode & DM_IN_BUFFER) && Input) {
    if ((Input->dmFields & DM_ORIENTATION) &&
        (Input->dmOrientation == DMORIENT_PORTRAIT || Input->dmOrientation == DMORIENT_LANDSCAPE))
      dm.dmOrientation = Input->dmOrientation;
    if ((Input->dmFields & DM_COPIES) && Input->dmCopies > 0) dm.dmCopies = Input->dmCopies;
  }
  *Output = dm;
  return 1;
}

BOOL EnumPrintersW(DWORD, LPCWSTR, DWORD Level, BYTE* Buffer, DWORD cbBuf, DWORD* pcbNeeded, DWORD* pcReturned) {
  if (Level != 4 || !pcbNeeded || !pcReturned) return FALSE;
  const std::vector<TPrinterDef> list = vxgdi::PrinterList();
  size_t need = list.size() * sizeof(PRINTER_INFO_4W);
  for (const TPrinterDef& p : list) need += p.Name.size() + 1;
  *pcbNeeded = DWORD(need);
  *pcReturned = 0;
  if (!Buffer || cbBuf < need) return FALSE;
  auto* rec = reinterpret_cast<PRINTER_INFO_4W*>(Buffer);
  char* text = reinterpret_cast<char*>(Buffer + list.size() * sizeof(PRINTER_INFO_4W));
  for (size_t i = 0; i < list.size(); ++i) {
    std::memcpy(text, list[i].Name.c_str(), list[i].Name.size() + 1);
    rec[i].pPrinterName = text;
    rec[i].pServerName = nullptr;
    rec[i].Attributes = 0;
    text += list[i].Name.size() + 1;
  }
  *pcReturned = DWORD(list.size());
  return TRUE;
}

BOOL GetDefaultPrinterW(LPWSTR Buffer, DWORD* pcchBuffer) {
  if (!pcchBuffer) return FALSE;
  TPrinterDef def;
  if (!vxgdi::FindPrinter("", def)) return FALSE;
  const DWORD need = DWORD(def.Name.size() + 1);
  if (!Buffer || *pcchBuffer < need) {
    *pcchBuffer = need;
    return FALSE;
  }
  std::memcpy(Buffer, def.Name.c_str(), need);
  *pcchBuffer = need;
  return TRUE;
}

namespace vxgdi {

bool PrinterDeviceCaps(HDC hdc, int Index, int& Value) {
  auto job = FindJob(hdc);
  if (!job) return false;
  const PrintJob& j = *job;
  const double aw = j.PaperW() - j.MarginL() - j.MarginR(), ah = j.PaperH() - j.MarginT() - j.MarginB();
  switch (Index) {
    case HORZRES: Value = j.Px(aw); break;
    case VERTRES: Value = j.Px(ah); break;
    case HORZSIZE: Value = int(std::llrint(aw * 25.4)); break;
    case VERTSIZE: Value = int(std::llrint(ah * 25.4)); break;
    case LOGPIXELSX:
    case LOGPIXELSY: Value = j.Printer.Dpi; break;
    case PHYSICALWIDTH: Value = j.Px(j.PaperW()); break;
    case PHYSICALHEIGHT: Value = j.Px(j.PaperH()); break;
    case PHYSICALOFFSETX: Value = j.Px(j.MarginL()); break;
    case PHYSICALOFFSETY: Value = j.Px(j.MarginT()); break;
    case BITSPIXEL: Value = 24; break;
    case PLANES: Value = 1; break;
    case NUMCOLORS: Value = -1; break;
    default: Value = 0; break;
  }
  return true;
}

bool PrinterStretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                          int SrcWidth, int SrcHeight, const Bitmap& Src, BOOL& Ok) {
  auto job = FindJob(hdc);
  if (!job) return false;
  Ok = FALSE;
  if (!job->InPage || SrcWidth == 0 || SrcHeight == 0 || DestWidth == 0 || DestHeight == 0) return true;
  // The source rectangle, normalised and cut to the DIB.
  int sx = std::min(xSrc, xSrc + SrcWidth), sy = std::min(ySrc, ySrc + SrcHeight);
  int sw = std::abs(SrcWidth), sh = std::abs(SrcHeight);
  const int cx1 = std::max(sx, 0), cy1 = std::max(sy, 0);
  const int cx2 = std::min(sx + sw, Src.Width), cy2 = std::min(sy + sh, Src.Height);
  if (cx1 >= cx2 || cy1 >= cy2) {
    Ok = TRUE;
    return true;
  }
  cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_RGB24, cx2 - cx1, cy2 - cy1);
  if (cairo_surface_status(img) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(img);
    return true;
  }
  cairo_surface_flush(img);
  unsigned char* data = cairo_image_surface_get_data(img);
  const int stride = cairo_image_surface_get_stride(img);
  for (int y = cy1; y < cy2; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + size_t(y - cy1) * size_t(stride));
    for (int x = cx1; x < cx2; ++x) {
      const COLORREF c = Src.Get(x, y);
      row[x - cx1] = (uint32_t(c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
    }
  }
  cairo_surface_mark_dirty(img);
  // Source pixels onto the destination rectangle; a negative extent on one
  // side mirrors.
  const double kx = double(DestWidth) / SrcWidth, ky = double(DestHeight) / SrcHeight;
  cairo_t* cr = job->Cr;
  cairo_save(cr);
  cairo_rectangle(cr, std::min(xDest, xDest + DestWidth), std::min(yDest, yDest + DestHeight), std::abs(DestWidth),
                  std::abs(DestHeight));
  cairo_clip(cr);
  cairo_translate(cr, xDest, yDest);
  cairo_scale(cr, kx, ky);
  cairo_translate(cr, -xSrc, -ySrc);
  cairo_set_source_surface(cr, img, cx1, cy1);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr, cx1, cy1, cx2 - cx1, cy2 - cy1);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_surface_destroy(img);
  Ok = TRUE;
  return true;
}

void ReleasePrinterDC(HDC hdc) {
  std::shared_ptr<PrintJob> job;
  {
    TJobTable& t = JobTable();
    std::lock_guard<std::mutex> lock(t.Lock);
    auto it = t.Jobs.find(hdc);
    if (it == t.Jobs.end()) return;
    job = it->second;
    t.Jobs.erase(it);
  }
}

}  // namespace vxgdi
