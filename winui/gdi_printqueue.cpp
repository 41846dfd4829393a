// The print system's queues (CUPS): listed with their default media,
// printable area and resolution; documents go to them as PDF jobs.
//
// The print system's library is opened at the first call that needs it, not
// at start-up: a program that never prints does not load it and the twenty
// libraries it needs. Without it there are no queues and nothing is sent.
#include <cups/cups.h>
#include <dlfcn.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "winui/gdi_printers.h"

namespace {

constexpr int kTimeoutMs = 2000;

#define VX_CUPS_FUNCTIONS(X)                                                                                      \
  X(cupsCopyDest) X(cupsGetDestWithURI) X(cupsAddOption) X(cupsGetNamedDest) X(cupsConnectDest)                   \
  X(cupsCopyDestInfo) X(cupsGetDestMediaDefault) X(cupsFindDestDefault) X(ippGetResolution) X(cupsFreeDestInfo)  \
  X(httpClose) X(cupsEnumDests) X(cupsFreeDests) X(cupsCreateDestJob) X(cupsStartDestDocument)                   \
  X(cupsWriteRequestData) X(cupsFinishDestDocument) X(cupsCancelDestJob) X(cupsFreeOptions)

// The library's functions, all of them or none.
struct TCupsLibrary {
#define VX_CUPS_MEMBER(Name) decltype(&::Name) Name = nullptr;
  VX_CUPS_FUNCTIONS(VX_CUPS_MEMBER)
#undef VX_CUPS_MEMBER
  bool Loaded = false;

  TCupsLibrary() {
    void* h = dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) return;
    bool ok = true;
#define VX_CUPS_BIND(Name)                                                  \
  Name = reinterpret_cast<decltype(&::Name)>(dlsym(h, #Name)); \
  ok = ok && Name != nullptr;
    VX_CUPS_FUNCTIONS(VX_CUPS_BIND)
#undef VX_CUPS_BIND
    if (!ok) {
      dlclose(h);
      return;
    }
    Loaded = true;  // kept open until the process ends
  }
};

#undef VX_CUPS_FUNCTIONS

// Opened once, by the first caller.
const TCupsLibrary& Cups() {
  static const TCupsLibrary library;
  return library;
}

struct TEnum {
  int Count = 0;
  cups_dest_t* Dests = nullptr;
};

int CollectDest(void* UserData, unsigned Flags, cups_dest_t* Dest) {
  auto* e = static_cast<TEnum*>(UserData);
  if (!(Flags & CUPS_DEST_FLAGS_REMOVED)) e->Count = Cups().cupsCopyDest(Dest, e->Count, &e->Dests);
  return 1;
}

// The destination of a printer: by address, else by name.
cups_dest_t* DestOf(const vxgdi::TPrinterDef& P) {
  if (!P.URI.empty()) {
    cups_dest_t* d = Cups().cupsGetDestWithURI(P.Name.c_str(), P.URI.c_str());
    // Connecting goes to the printer's own address.
    if (d) d->num_options = Cups().cupsAddOption("printer-uri-supported", P.URI.c_str(), d->num_options, &d->options);
    return d;
  }
  return Cups().cupsGetNamedDest(CUPS_HTTP_DEFAULT, P.Name.c_str(), nullptr);
}

void Details(cups_dest_t* Dest, vxgdi::TPrinterDef& P) {
  char resource[256];
  http_t* http = Cups().cupsConnectDest(Dest, CUPS_DEST_FLAGS_NONE, kTimeoutMs, nullptr, resource, sizeof resource,
                                 nullptr, nullptr);
  if (!http) return;
  cups_dinfo_t* info = Cups().cupsCopyDestInfo(http, Dest);
  if (info) {
    cups_size_t size;
    if (Cups().cupsGetDestMediaDefault(http, Dest, info, 0, &size) && size.width > 0 && size.length > 0) {
      // Hundredths of a millimetre.
      P.PaperWidth = size.width / 2540.0;
      P.PaperHeight = size.length / 2540.0;
      P.MarginLeft = size.left / 2540.0;
      P.MarginRight = size.right / 2540.0;
      P.MarginTop = size.top / 2540.0;
      P.MarginBottom = size.bottom / 2540.0;
    }
    if (ipp_attribute_t* a = Cups().cupsFindDestDefault(http, Dest, info, "printer-resolution")) {
      int yres = 0;
      ipp_res_t units = IPP_RES_PER_INCH;
      int xres = Cups().ippGetResolution(a, 0, &yres, &units);
      if (units == IPP_RES_PER_CM) xres = int(xres * 2.54 + 0.5);
      if (xres > 0) P.Dpi = xres;
    }
    Cups().cupsFreeDestInfo(info);
  }
  Cups().httpClose(http);
}

std::mutex gCacheLock;
bool gCached = false;
std::vector<vxgdi::TPrinterDef> gQueues;
std::string gDefault;

}  // namespace

namespace vxgdi {

std::vector<TPrinterDef> PrintQueues(std::string& DefaultName) {
  std::lock_guard<std::mutex> lock(gCacheLock);
  if (!gCached && Cups().Loaded) {
    gCached = true;
    TEnum e;
    Cups().cupsEnumDests(CUPS_DEST_FLAGS_NONE, kTimeoutMs, nullptr, 0, 0, CollectDest, &e);
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
    Cups().cupsFreeDests(e.Count, e.Dests);
  }
  DefaultName = gDefault;
  return gQueues;
}

void PrintQueueDetails(TPrinterDef& Printer) {
  if (Printer.Dpi <= 0) Printer.Dpi = 300;
  if (!Cups().Loaded) return;
  if (cups_dest_t* d = DestOf(Printer)) {
    Details(d, Printer);
    Cups().cupsFreeDests(1, d);
  }
}

bool SendToPrintQueue(const TPrinterDef& Printer, const std::string& Title, const std::string& Pdf, int Copies,
                      bool Landscape) {
  if (!Cups().Loaded) return false;
  cups_dest_t* dest = DestOf(Printer);
  if (!dest) return false;
  bool ok = false;
  char resource[256];
  http_t* http = Cups().cupsConnectDest(dest, CUPS_DEST_FLAGS_NONE, kTimeoutMs, nullptr, resource, sizeof resource,
                                 nullptr, nullptr);
  cups_dinfo_t* info = http ? Cups().cupsCopyDestInfo(http, dest) : nullptr;
  if (info) {
    cups_option_t* options = nullptr;
    int n = 0;
    n = Cups().cupsAddOption("copies", std::to_string(std::max(1, Copies)).c_str(), n, &options);
    n = Cups().cupsAddOption("orientation-requested", Landscape ? "4" : "3", n, &options);
    int job = 0;
    const std::string title = Title.empty() ? "Document" : Title;
    if (Cups().cupsCreateDestJob(http, dest, info, &job, title.c_str(), n, options) == IPP_STATUS_OK && job > 0) {
      if (Cups().cupsStartDestDocument(http, dest, info, job, title.c_str(), CUPS_FORMAT_PDF, 0, nullptr, 1) ==
          HTTP_STATUS_CONTINUE) {
        const bool sent = Cups().cupsWriteRequestData(http, Pdf.data(), Pdf.size()) == HTTP_STATUS_CONTINUE;
        ok = Cups().cupsFinishDestDocument(http, dest, info) == IPP_STATUS_OK && sent;
      }
      if (!ok) Cups().cupsCancelDestJob(http, dest, job);
    }
    Cups().cupsFreeOptions(n, options);
    Cups().cupsFreeDestInfo(info);
  }
  if (http) Cups().httpClose(http);
  Cups().cupsFreeDests(1, dest);
  return ok;
}

}  // namespace vxgdi
