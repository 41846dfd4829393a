#pragma once
// The processing preview dialog as the processing component reaches it.
//
// TVexlaneProc::DoPreviews opens the modal preview dialog on the image (or
// the selection's bounding box), and on OK writes the dialog's result back.
// The dialog lives in the dialogs library, far above the processing library:
// its start-up fills VXPreviewsHooks with a factory. DoPreviews makes one
// dialog a call, hands it what it needs (Setup), lets OnPreview see it, shows
// it modally and reads the outcome back; then frees it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/vxdefs.h"
#include "gui/graphics_types.h"

class TFont;
class TVXBitmap;
class TVXViewHost;
class TIPDialogParams;
class TVexlaneProc;

// The pages the dialog offers.
enum TPreviewEffect {
  peAll,
  peContrast,
  peHSV,
  peHSL,
  peRGB,
  peUserFilt,
  peEqualize,
  peBumpMap,
  peLens,
  peWave,
  peMorph,
  peRotate,
  peFFT,
  peGamma,
  peSharpen,
  peResize,
  peSoftShadow,
  peAutoEnhance,
  peCrop
};
// A set of pages: bit n stands for TPreviewEffect n.
using TPreviewEffects = uint32_t;
constexpr TPreviewEffects VXPreviewEffect(TPreviewEffect e) { return TPreviewEffects(1u) << unsigned(e); }

// The modal results DoPreviews tells apart (the window library's values).
constexpr int32_t vxPreviewsOK = 1;
constexpr int32_t vxPreviewsCancel = 2;

// What DoPreviews hands the dialog before it is shown, in the order the
// dialog applies it: border, size and place, options, texts in the current
// language, font, progress, folders and colours, the image, the pages and
// the shared parameters. Pointers are borrowed for the dialog's life.
struct TVXPreviewsSetup {
  // Sizeable with system menu and maximise box; otherwise a fixed dialog
  // border with the system menu only.
  bool Resizeable = false;
  // The form's size in pixels (already scaled to the screen).
  int32_t Width = 0;
  int32_t Height = 0;
  // Centred on the screen, else at (Left, Top).
  bool CenterOnScreen = true;
  int32_t Left = 0;
  int32_t Top = 0;
  bool DefaultLockPreview = false;
  bool ShowReset = false;
  bool HardReset = false;
  bool ResetAllTabs = true;
  // The font the form takes (copied) after its texts were loaded.
  TFont* Font = nullptr;
  // The progress the dialog reports its final operation with.
  TVXProgressEvent OnProgress;
  void* ProgressSender = nullptr;
  // The starting folder of the filter load and save boxes.
  std::string FiltersInitialDir;
  // Colour of both preview viewers and of the rotate and crop pages'
  // background panels.
  TColor Background = 0;
  // The viewer the component is attached to (null for none): a single-image
  // viewer lends its alpha display and mouse-wheel settings to both preview
  // viewers.
  TVXViewHost* Viewer = nullptr;
  // The part of the image to work on, in its own pixel format with its
  // alpha channel and the channel's fully-opaque mark; the dialog copies it
  // into its first viewer, whose processing component brings it to vx24RGB.
  TVXBitmap* Image = nullptr;
  TPreviewEffects pe = 0;
  // The component's shared dialog parameters and operations log.
  TIPDialogParams* IPDialogParams = nullptr;
  std::vector<std::string>* OpList = nullptr;
};

class TVXPreviewsDialog {
 public:
  TVXPreviewsDialog() = default;
  virtual ~TVXPreviewsDialog() = default;
  TVXPreviewsDialog(const TVXPreviewsDialog&) = delete;
  TVXPreviewsDialog& operator=(const TVXPreviewsDialog&) = delete;

  // Takes what DoPreviews hands in, no initial page.
  virtual void Setup(const TVXPreviewsSetup& Values) = 0;
  // Shows the dialog modally; the modal result (vxPreviewsOK when the user
  // confirmed).
  virtual int32_t ShowModal() = 0;
  // After it closed: the "Lock Preview" state, the caption of the one undo
  // step, the result (the first viewer's bitmap, vx24RGB, with its alpha
  // channel) and the form's size.
  virtual bool DefaultLockPreview() const = 0;
  virtual std::string UndoCaption() const = 0;
  virtual TVXBitmap* ResultBitmap() = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
};

struct TVXPreviewsHooks {
  // A new dialog owned by Owner's call; empty slot: no dialogs library.
  std::unique_ptr<TVXPreviewsDialog> (*CreatePreviewsDialog)(TVexlaneProc* Owner) = nullptr;
};

extern constinit TVXPreviewsHooks VXPreviewsHooks;
