// The system's common dialogs the library opens: file open and save, and
// printer setup. They ask through a handler (the forms driver's, or a
// display's); headless without one they answer cancel. The colour dialog
// is ChooseColorW (winui/win_colordlg.h), the message box MessageBoxW
// (winui/win_msgbox.h).
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/classes.h"
#include "gui/component.h"
#include "gui/printers.h"

// Options of the file dialogs (bit n stands for ordinal n).
enum TOpenOption {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing,
  ofDontAddToRecent,
  ofForceShowHidden
};
using TOpenOptions = uint32_t;
constexpr TOpenOptions VXOpenOptionBit(TOpenOption o) { return TOpenOptions(1u << unsigned(o)); }

class TCommonDialog : public TComponent {
 public:
  explicit TCommonDialog(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
  // Shows the dialog; true when the person confirmed it.
  virtual bool Execute() = 0;
  int HelpContext() const { return fHelpContext; }
  void SetHelpContext(int v) { fHelpContext = v; }
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

 private:
  int fHelpContext = 0;
};

// What a file dialog asks, and what the person answered.
struct TVXFileDialogRequest {
  bool Save = false;
  std::string Title, Filter, InitialDir, FileName, DefaultExt;
  int FilterIndex = 1;
  TOpenOptions Options = 0;
};
struct TVXFileDialogAnswer {
  // The chosen files (one unless the dialog allows several), full paths.
  std::vector<std::string> Files;
  // The filter chosen (1 for the first); 0 keeps the dialog's.
  int FilterIndex = 0;
};
// Shows the dialog; true for OK (Answer filled).
using TVXFileDialogHandler = std::function<bool(const TVXFileDialogRequest& Request, TVXFileDialogAnswer& Answer)>;
// Installs Handler (empty: cancel headless); returns the old one.
TVXFileDialogHandler VXSetFileDialogHandler(TVXFileDialogHandler Handler);

class TOpenDialog : public TCommonDialog {
 public:
  explicit TOpenDialog(TComponent* AOwner = nullptr);
  ~TOpenDialog() override;
  const std::string& FileName() const { return fFileName; }
  void SetFileName(const std::string& v) { fFileName = v; }
  // Every file chosen (several with ofAllowMultiSelect).
  TStrings* Files() { return fFiles.get(); }
  // "Name|*.ext|Name|*.a;*.b".
  const std::string& Filter() const { return fFilter; }
  void SetFilter(const std::string& v) { fFilter = v; }
  int FilterIndex() const { return fFilterIndex; }
  void SetFilterIndex(int v) { fFilterIndex = v; }
  // Added (after a dot) to a chosen name without an extension.
  const std::string& DefaultExt() const { return fDefaultExt; }
  void SetDefaultExt(const std::string& v) { fDefaultExt = v; }
  const std::string& InitialDir() const { return fInitialDir; }
  void SetInitialDir(const std::string& v) { fInitialDir = v; }
  const std::string& Title() const { return fTitle; }
  void SetTitle(const std::string& v) { fTitle = v; }
  TOpenOptions Options() const { return fOptions; }
  void SetOptions(TOpenOptions v) { fOptions = v; }
  bool Execute() override;

 protected:
  virtual bool IsSave() const { return false; }

 private:
  std::string fFileName, fFilter, fDefaultExt, fInitialDir, fTitle;
  int fFilterIndex = 1;
  TOpenOptions fOptions = VXOpenOptionBit(ofHideReadOnly) | VXOpenOptionBit(ofEnableSizing);
  std::unique_ptr<TStrings> fFiles;
};

class TSaveDialog : public TOpenDialog {
 public:
  using TOpenDialog::TOpenDialog;

 protected:
  bool IsSave() const override { return true; }
};

// What the printer-setup dialog shows and what the person chose.
struct TVXPrinterSetupRequest {
  std::vector<std::string> Printers;
  std::string Printer;
  TPrinterOrientation Orientation = poPortrait;
};
struct TVXPrinterSetupAnswer {
  std::string Printer;
  TPrinterOrientation Orientation = poPortrait;
};
using TVXPrinterSetupHandler =
    std::function<bool(const TVXPrinterSetupRequest& Request, TVXPrinterSetupAnswer& Answer)>;
TVXPrinterSetupHandler VXSetPrinterSetupHandler(TVXPrinterSetupHandler Handler);

// Chooses the printer and its orientation for the printer object
// (Printer()). OK with a printer the system does not list keeps the
// current one.
class TPrinterSetupDialog : public TCommonDialog {
 public:
  using TCommonDialog::TCommonDialog;
  bool Execute() override;
};
