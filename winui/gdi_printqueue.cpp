// The print system's queues (CUPS): listed with their default media,
// printable area and resolution; documents go to them as PDF jobs.
#include <cups/cups.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "winui/gdi_printers.h"

namespace {

constexpr int kTimeoutMs = 2000;

struct TEnum {
  int Count = 0;
  cups_dest_t* Dests = nullptr;
};

int CollectDest(void* UserData, unsigned Flags, cups_dest_t* Dest) {
  auto* e = static_cast<TEnum*>(UserData);
  if (!(Flags & CUPS_DEST_FLAGS_REMOVED)) e->Count = cupsCopyDest(Dest, e->Count, &e->Dests);
  return 1;
}

// The destination of a printer: by address, else by name.
cups_dest_t* DestOf(const vxgdi::TPrinterDef& P) {
  if (!P.URI.empty()) {
    cups_dest_t* d = cupsGetDestWithURI(P.Name.c_str(), P.URI.c_str());
    // Connecting goes to the printer's own address.
    if (d) d->num_options = cupsAddOption("printer-uri-supported", P.URI.c_str(), d->num_options, &d->options);
    return d;
  }
  return cupsGetNamedDest(CUPS_HTTP_DEFAULT, P.Name.c_str(), nullptr);
}

void Details(cups_dest_t* Dest, vxgdi::TPrinterDef& P) {
  char resource[256];
  http_t* http = cupsConnectDest(Dest, CUPS_DEST_FLAGS_NONE, kTimeoutMs, nullptr, resource, sizeof resource,
                                 nullptr, nullptr);
  if (!http) return;
  cups_dinfo_t* info = cupsCopyDestInfo(http, Dest);
  if (info) {
    cups_size_t size;
    if (cupsGetDestMediaDefault(http, Dest, info, 0, &size) && size.width > 0 && size.length > 0) {
      // Hundredths of a millimetre.
      P.PaperWidth = size.width / 2540.0;
      P.PaperHeight = size.length / 2540.0;
      P.MarginLeft = size.left / 2540.0;
      P.MarginRight = size.right / 2540.0;
      P.MarginTop = size.top / 2540.0;
      P.MarginBottom = size.bottom / 2540.0;
    }
    if (ipp_attribute_t* a = cupsFindDestDefault(http, Dest, info, "printer-resolution")) {
      int yres = 0;
      ipp_res_t units = IPP_RES_PER_INCH;
      int xres = ippGetResolution(a, 0, &yres, &units);
      if (units == IPP_RES_PER_CM) xres = int(xres * 2.54 + 0.5);
      if (xres > 0) P.Dpi = xres;
    }
    cupsFreeDestInfo(info);
  }
  httpClose(http);
}

std::mutex gCacheLock;
bool gCached = false;
std::vector<vxgdi::TPrinterDef> gQueues;
std::string gDefault;

}  // namespace

namespace vxgdi {

std::vector<TPrinterDef> PrintQueues(std::string& DefaultName) {
  std::lock_guard<std::mutex> lock(gCacheLock);
  if (!gCached) {
    gCached = true;
    TEnum e;
    cupsEnumDests(CUPS_DEST_FLAGS_NONE, kTimeoutMs, nullptr, 0, 0, CollectDest, &e);
    for (int i = 0; i < e.Count; ++i) {
      TPrinterDef p;
      p.Name = e.Dests[i].name;
      p.Kind = TPrinterKind::PrintQueue;
      p.PaperWidth = 210 / 25.4;
      p.PaperHeight = 297 / 25.4;
      p.Dpi = 300;
      Details(&e.Dests[i], p);
      if (e.Dests[i].is_default) gDefault = p.Name;
      gQueues.push_back(p);
    }
    cupsFreeDests(e.Count, e.Dests);
  }
  DefaultName = gDefault;
  return gQueues;
}

void PrintQueueDetails(TPrinterDef& Printer) {
  if (Printer.Dpi <= 0) Printer.Dpi = 300;
  if (cups_dest_t* d = DestOf(Printer)) {
    Details(d, Printer);
    cupsFreeDests(1, d);
  }
}

bool SendToPrintQueue(const TPrinterDef& Printer, const std::string& Title, const std::string& Pdf, int Copies,
                      bool Landscape) {
  cups_dest_t* dest = DestOf(Printer);
  if (!dest) return false;
  bool ok = false;
  char resource[256];
  http_t* http = cupsConnectDest(dest, CUPS_DEST_FLAGS_NONE, kTimeoutMs, nullptr, resource, sizeof resource,
                                 nullptr, nullptr);
  cups_dinfo_t* info = http ? cupsCopyDestInfo(http, dest) : nullptr;
  if (info) {
    cups_option_t* options = nullptr;
    int n = 0;
    n = cupsAddOption("copies", std::to_string(std::max(1, Copies)).c_str(), n, &options);
    n = cupsAddOption("orientation-requested", Landscape ? "4" : "3", n, &options);
    int job = 0;
    const std::string title = Title.empty() ? "Document" : Title;
    if (cupsCreateDestJob(http, dest, info, &job, title.c_str(), n, options) == IPP_STATUS_OK && job > 0) {
      if (cupsStartDestDocument(http, dest, info, job, title.c_str(), CUPS_FORMAT_PDF, 0, nullptr, 1) ==
          HTTP_STATUS_CONTINUE) {
        const bool sent = cupsWriteRequestData(http, Pdf.data(), Pdf.size()) == HTTP_STATUS_CONTINUE;
        ok = cupsFinishDestDocument(http, dest, info) == IPP_STATUS_OK && sent;
      }
      if (!ok) cupsCancelDestJob(http, dest, job);
    }
    cupsFreeOptions(n, options);
    cupsFreeDestInfo(info);
  }
  if (http) httpClose(http);
  cupsFreeDests(1, dest);
  return ok;
}

}  // namespace vxgdi
