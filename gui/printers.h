// The printer object of the GUI class library: the printers, the chosen one
// with its settings (copies, orientation, a device mode), and the document
// being printed with its canvas on the printer's DC.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win_memory.h"
#include "winui/gdi_print.h"

class TCanvas;

enum TPrinterOrientation { poPortrait, poLandscape };

// Failures of printing ("No printer is configured", "Printing in progress",
// "Printer is not currently printing").
class EPrinter : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPrinter {
 public:
  TPrinter();
  ~TPrinter();
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;

  // The printers' names, the default first; read again by Refresh.
  const std::vector<std::string>& Printers();
  void Refresh();
  // The chosen printer's index in Printers(); -1 selects the default.
  int PrinterIndex();
  void SetPrinterIndex(int Value);

  // A document: BeginDoc starts it with its first page, NewPage starts the
  // next page, EndDoc delivers it, Abort drops it. Raise EPrinter when there
  // is no printer or the document is (not) in progress.
  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();
  bool Printing() const { return fPrinting; }
  bool Aborted() const { return fAborted; }
  int PageNumber() const { return fPageNumber; }

  // The canvas on the chosen printer's DC. Raises EPrinter "No printer is
  // configured" when there is no printer.
  TCanvas* Canvas();
  // The printable area in device pixels.
  int PageWidth();
  int PageHeight();

  int Copies() const { return fCopies; }
  void SetCopies(int Value);
  TPrinterOrientation Orientation() const { return fOrientation; }
  void SetOrientation(TPrinterOrientation Value);
  const std::string& Title() const { return fTitle; }
  void SetTitle(const std::string& Value) { fTitle = Value; }

  // The chosen printer's device, driver and port, and a copy of its device
  // mode in a new global block that the caller frees.
  void GetPrinter(std::string& Device, std::string& Driver, std::string& Port, HGLOBAL& DeviceMode);
  // Chooses the printer named Device with the settings of DeviceMode (a
  // global block holding a DEVMODEW; nullptr: the printer's own, with the
  // copies and orientation set here kept).
  void SetPrinter(const std::string& Device, const std::string& Driver, const std::string& Port,
                  HGLOBAL DeviceMode);

 private:
  void NeedPrinter();
  HDC DC();
  void FreeDC();
  void ApplySettings(DEVMODEW& dm) const;

  std::vector<std::string> fPrinters;
  bool fListed = false;
  int fPrinterIndex = -1;
  bool fHasDevMode = false;
  DEVMODEW fDevMode;
  int fCopies = 1;
  TPrinterOrientation fOrientation = poPortrait;
  std::string fTitle;
  HDC fDC = nullptr;
  std::unique_ptr<TCanvas> fCanvas;
  bool fPrinting = false;
  bool fAborted = false;
  int fPageNumber = 0;
};

// The application's printer object, made on first use.
TPrinter* Printer();
// Replaces it (the old one is freed); returns the new one.
TPrinter* SetPrinter(TPrinter* NewPrinter);
