// The list of printers behind the printer functions of gdi_print.h.
#pragma once

#include <string>
#include <vector>

namespace vxgdi {

enum class TPrinterKind { PDFFile, PrintQueue };

// A printer: its paper and hardware margins in inches as it stands upright,
// its resolution in dots per inch.
struct TPrinterDef {
  std::string Name;
  TPrinterKind Kind = TPrinterKind::PDFFile;
  std::string FileName;  // PDF file printers: the output ("" = <title>.pdf)
  std::string URI;       // print queues reached by address ("" = by name)
  double PaperWidth = 8.27, PaperHeight = 11.69;
  double MarginLeft = 0, MarginTop = 0, MarginRight = 0, MarginBottom = 0;
  int Dpi = 600;
};

// The printers, the default one first.
std::vector<TPrinterDef> PrinterList();
// The printer of that name ("" = the default); false when there is none.
bool FindPrinter(const std::string& Name, TPrinterDef& Out);
// Paper, printable area and resolution of a print queue from the print
// system (kept as they are when it does not answer).
void PrintQueueDetails(TPrinterDef& Printer);
// Hands a finished PDF document to a print queue; false when it was refused.
bool SendToPrintQueue(const TPrinterDef& Printer, const std::string& Title, const std::string& Pdf, int Copies,
                      bool Landscape);

}  // namespace vxgdi
