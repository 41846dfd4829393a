// The common dialogs.
#include "gui/dialogs.h"

#include <mutex>
#include <utility>

namespace {

std::mutex gLock;
TVXFileDialogHandler gFileHandler;
TVXPrinterSetupHandler gPrinterHandler;

bool HasExtension(const std::string& Path) {
  const size_t slash = Path.find_last_of('/');
  const size_t dot = Path.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

}  // namespace

TVXFileDialogHandler VXSetFileDialogHandler(TVXFileDialogHandler Handler) {
  std::lock_guard g(gLock);
  return std::exchange(gFileHandler, std::move(Handler));
}

TVXPrinterSetupHandler VXSetPrinterSetupHandler(TVXPrinterSetupHandler Handler) {
  std::lock_guard g(gLock);
  return std::exchange(gPrinterHandler, std::move(Handler));
}

TOpenDialog::TOpenDialog(TComponent* AOwner) : TCommonDialog(AOwner), fFiles(std::make_unique<TStrings>()) {}
TOpenDialog::~TOpenDialog() = default;

bool TOpenDialog::Execute() {
  TVXFileDialogHandler h;
  {
    std::lock_guard g(gLock);
    h = gFileHandler;
  }
  TVXFileDialogRequest req;
  req.Save = IsSave();
  req.Title = fTitle;
  req.Filter = fFilter;
  req.InitialDir = fInitialDir;
  req.FileName = fFileName;
  req.DefaultExt = fDefaultExt;
  req.FilterIndex = fFilterIndex;
  req.Options = fOptions;
  if (OnShow) OnShow(this);
  TVXFileDialogAnswer answer;
  const bool ok = h && h(req, answer) && !answer.Files.empty();
  if (OnClose) OnClose(this);
  if (!ok) return false;
  fFiles->Clear();
  for (std::string f : answer.Files) {
    if (!fDefaultExt.empty() && !HasExtension(f)) f += "." + fDefaultExt;
    fFiles->Add(f);
    if (!(fOptions & VXOpenOptionBit(ofAllowMultiSelect))) break;
  }
  fFileName = fFiles->Strings(0);
  if (answer.FilterIndex > 0) fFilterIndex = answer.FilterIndex;
  return true;
}

bool TPrinterSetupDialog::Execute() {
  TVXPrinterSetupHandler h;
  {
    std::lock_guard g(gLock);
    h = gPrinterHandler;
  }
  TPrinter* prn = Printer();
  TVXPrinterSetupRequest req;
  req.Printers = prn->Printers();
  if (req.Printers.empty()) return false;
  const int index = prn->PrinterIndex();
  if (index >= 0 && index < int(req.Printers.size())) req.Printer = req.Printers[size_t(index)];
  req.Orientation = prn->Orientation();
  if (OnShow) OnShow(this);
  TVXPrinterSetupAnswer answer;
  answer.Printer = req.Printer;
  answer.Orientation = req.Orientation;
  const bool ok = h && h(req, answer);
  if (OnClose) OnClose(this);
  if (!ok) return false;
  for (size_t i = 0; i < req.Printers.size(); ++i)
    if (req.Printers[i] == answer.Printer) {
      prn->SetPrinterIndex(int(i));
      break;
    }
  prn->SetOrientation(answer.Orientation);
  return true;
}
