// Printers and printer device contexts. A printer DC draws on a PDF surface,
// one surface page per printed page, one device pixel being 72/dpi points;
// its device pixel (0, 0) is the corner of the printable area. Device
// independent bitmaps are placed on the page as images at their own
// resolution; other drawing does not reach the page.
//
// The printers are a virtual "PDF" printer, which writes the document as a
// PDF file (<title>.pdf in the current folder unless the printer names a file),
// and those set through VXHeadless (headless.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "winui/gdi.h"
#include "winui/win_types.h"

// GetDeviceCaps indices of printers (win_metrics.h has the others).
constexpr int HORZSIZE = 4;   // millimetres of the printable area
constexpr int VERTSIZE = 6;
constexpr int PHYSICALWIDTH = 110;
constexpr int PHYSICALHEIGHT = 111;
constexpr int PHYSICALOFFSETX = 112;
constexpr int PHYSICALOFFSETY = 113;

constexpr int CCHDEVICENAME = 32;
constexpr short DMORIENT_PORTRAIT = 1;
constexpr short DMORIENT_LANDSCAPE = 2;
constexpr DWORD DM_ORIENTATION = 0x00000001;
constexpr DWORD DM_PAPERLENGTH = 0x00000004;
constexpr DWORD DM_PAPERWIDTH = 0x00000008;
constexpr DWORD DM_COPIES = 0x00000100;
constexpr DWORD DM_PRINTQUALITY = 0x00000400;
constexpr DWORD DM_YRESOLUTION = 0x00002000;
// DocumentPropertiesW modes.
constexpr DWORD DM_OUT_BUFFER = 2;
constexpr DWORD DM_IN_BUFFER = 8;

// A printer's settings. The device name is UTF-8 here; paper sizes are in
// tenths of a millimetre.
struct DEVMODEW {
  char dmDeviceName[CCHDEVICENAME] = {};
  WORD dmSize = sizeof(DEVMODEW);
  DWORD dmFields = 0;
  short dmOrientation = DMORIENT_PORTRAIT;
  short dmPaperLength = 0;
  short dmPaperWidth = 0;
  short dmCopies = 1;
  short dmPrintQuality = 0;  // dots per inch across
  short dmYResolution = 0;   // dots per inch down
};

struct DOCINFOW {
  int cbSize = sizeof(DOCINFOW);
  LPCWSTR lpszDocName = nullptr;
  LPCWSTR lpszOutput = nullptr;  // a file name overrides the printer's output
  LPCWSTR lpszDatatype = nullptr;
  DWORD fwType = 0;
};

constexpr DWORD PRINTER_ENUM_LOCAL = 0x00000002;
constexpr DWORD PRINTER_ENUM_CONNECTIONS = 0x00000004;
struct PRINTER_INFO_4W {
  LPWSTR pPrinterName;
  LPWSTR pServerName;
  DWORD Attributes;
};

// A DC of the printer named Device (nullptr: the default printer) with the
// settings of DevMode when given. nullptr when there is no such printer.
HDC CreateDCW(LPCWSTR Driver, LPCWSTR Device, LPCWSTR Port, const DEVMODEW* DevMode);
// Document and pages; each returns a positive value on success and SP_ERROR
// (-1) on failure. EndDoc delivers the document; AbortDoc drops it.
constexpr int SP_ERROR = -1;
int StartDocW(HDC hdc, const DOCINFOW* DocInfo);
int StartPage(HDC hdc);
int EndPage(HDC hdc);
int EndDoc(HDC hdc);
int AbortDoc(HDC hdc);
// With fMode 0 the size of a DEVMODEW; with DM_OUT_BUFFER the printer's
// settings (DM_IN_BUFFER: changed by Input first) in Output. 1 (IDOK) or -1.
LONG DocumentPropertiesW(HWND Wnd, HANDLE Printer, LPCWSTR DeviceName, DEVMODEW* Output, const DEVMODEW* Input,
                         DWORD fMode);
// Level 4 only: the records, then their names, in Buffer.
BOOL EnumPrintersW(DWORD Flags, LPCWSTR Name, DWORD Level, BYTE* Buffer, DWORD cbBuf, DWORD* pcbNeeded,
                   DWORD* pcReturned);
// The default printer's name with its terminating zero; with a buffer too
// small FALSE and the characters needed in *pcchBuffer.
BOOL GetDefaultPrinterW(LPWSTR Buffer, DWORD* pcchBuffer);

namespace vxgdi {
struct Bitmap;
// Answers of a printer DC for GetDeviceCaps; false for other DCs.
bool PrinterDeviceCaps(HDC hdc, int Index, int& Value);
// StretchDIBits on a printer DC; false for other DCs.
// Src is the DIB already checked; the source rectangle counts rows from the
// top. Whatever it is given, the result is true for a printer DC.
bool PrinterStretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                          int SrcWidth, int SrcHeight, const Bitmap& Src, BOOL& Ok);
// Drops a printer DC's document (DeleteDC).
void ReleasePrinterDC(HDC hdc);
}  // namespace vxgdi
