// The printer list: the print system's queues, then the virtual PDF printer
// (or, under the test driver, the printers it added).
#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "winui/gdi_printers.h"
#include "winui/headless.h"

namespace vxgdi {
// The print system's queues (gdi_printqueue.cpp).
std::vector<TPrinterDef> PrintQueues(std::string& DefaultName);
}  // namespace vxgdi

namespace {

using vxgdi::TPrinterDef;
using vxgdi::TPrinterKind;

std::mutex gLock;
bool gCustom = false;   // the test driver set the list
bool gUseCUPS = true;
std::vector<TPrinterDef> gAdded;

// The system's paper (/etc/papersize), else A4; in inches.
void SystemPaper(double& W, double& H) {
  W = 210 / 25.4;
  H = 297 / 25.4;
  std::ifstream f("/etc/papersize");
  std::string line;
  while (std::getline(f, line)) {
    std::string s;
    for (char c : line)
      if (!std::isspace(static_cast<unsigned char>(c))) s += char(std::tolower(static_cast<unsigned char>(c)));
    if (s.empty() || s[0] == '#') continue;
    if (s == "letter") W = 8.5, H = 11;
    else if (s == "legal") W = 8.5, H = 14;
    else if (s == "executive") W = 7.25, H = 10.5;
    else if (s == "a3") W = 297 / 25.4, H = 420 / 25.4;
    else if (s == "a5") W = 148 / 25.4, H = 210 / 25.4;
    break;
  }
}

TPrinterDef VirtualPDF() {
  TPrinterDef p;
  p.Name = "PDF";
  p.Kind = TPrinterKind::PDFFile;
  SystemPaper(p.PaperWidth, p.PaperHeight);
  p.Dpi = 600;
  return p;
}

}  // namespace

namespace vxgdi {

std::vector<TPrinterDef> PrinterList() {
  bool custom, cups;
  std::vector<TPrinterDef> added;
  {
    std::lock_guard<std::mutex> lock(gLock);
    custom = gCustom;
    cups = gUseCUPS;
    added = gAdded;
  }
  std::string queueDefault;
  std::vector<TPrinterDef> queues;
  if (cups) queues = PrintQueues(queueDefault);
  std::vector<TPrinterDef> list;
  if (custom && !added.empty()) {
    list = added;
    for (const TPrinterDef& q : queues) list.push_back(q);
    return list;
  }
  // The print system's default first, then its other queues, then "PDF".
  for (const TPrinterDef& q : queues)
    if (q.Name == queueDefault) list.push_back(q);
  for (const TPrinterDef& q : queues)
    if (q.Name != queueDefault) list.push_back(q);
  if (!custom) list.push_back(VirtualPDF());
  return list;
}

bool FindPrinter(const std::string& Name, TPrinterDef& Out) {
  const std::vector<TPrinterDef> list = PrinterList();
  if (list.empty()) return false;
  if (Name.empty()) {
    Out = list.front();
    return true;
  }
  for (const TPrinterDef& p : list)
    if (p.Name == Name) {
      Out = p;
      return true;
    }
  return false;
}

}  // namespace vxgdi

namespace VXHeadless {

void ClearPrinters() {
  std::lock_guard<std::mutex> lock(gLock);
  gCustom = true;
  gAdded.clear();
}

void AddPDFPrinter(const std::string& Name, const std::string& FileName, double PaperWidthInches,
                   double PaperHeightInches, int Dpi) {
  TPrinterDef p;
  p.Name = Name;
  p.Kind = TPrinterKind::PDFFile;
  p.FileName = FileName;
  p.PaperWidth = PaperWidthInches;
  p.PaperHeight = PaperHeightInches;
  p.Dpi = std::max(1, Dpi);
  std::lock_guard<std::mutex> lock(gLock);
  gCustom = true;
  gAdded.push_back(p);
}

void UseCUPS(bool On) {
  std::lock_guard<std::mutex> lock(gLock);
  gUseCUPS = On;
}

void AddIPPPrinter(const std::string& Name, const std::string& URI) {
  TPrinterDef p;
  p.Name = Name;
  p.Kind = TPrinterKind::PrintQueue;
  p.URI = URI;
  vxgdi::PrintQueueDetails(p);
  std::lock_guard<std::mutex> lock(gLock);
  gCustom = true;
  gAdded.push_back(p);
}

void ResetPrinters() {
  std::lock_guard<std::mutex> lock(gLock);
  gCustom = false;
  gUseCUPS = true;
  gAdded.clear();
}

}  // namespace VXHeadless
