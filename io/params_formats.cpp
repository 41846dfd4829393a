// Tables of the per-format options: named paper sizes and DICOM transfer syntaxes.
#include "io/params_formats.h"

const TIOPDFPaperSizeRec VXPaperSizes[VXPaperSizeCount] = {
    {vxpA0, "A0", 2380, 3368},
    {vxpA1, "A1", 1684, 2380},
    {vxpA2, "A2", 1190, 1684},
    {vxpA3, "A3", 842, 1190},
    {vxpA4, "A4", 595, 842},
    {vxpA5, "A5", 421, 595},
    {vxpA6, "A6", 297, 421},
    {vxpB5, "B5", 501, 709},
    {vxpLetter, "US Letter", 612, 792},
    {vxpLegal, "US Legal", 612, 1008},
    {vxpLedger, "US Ledger", 1224, 792},
    {vxpTabloid, "US Tabloid", 792, 1224},
    {vxpAuto, "Auto", 0, 0},
};

const char* VXDicomTransferSyntaxUID(TVXDicomCompression value) {
  static const char* const kUIDs[10] = {
      "1.2.840.10008.1.2",      "1.2.840.10008.1.2.1",    "1.2.840.10008.1.2.2",
      "1.2.840.10008.1.2.5",    "1.2.840.10008.1.2.4.57", "1.2.840.10008.1.2.4.70",
      "1.2.840.10008.1.2.4.50", "1.2.840.10008.1.2.4.51", "1.2.840.10008.1.2.4.91",
      "1.2.840.10008.1.2.4.100"};
  if (unsigned(value) < 10) return kUIDs[value];
  return nullptr;
}
