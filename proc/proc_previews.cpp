// TVexlaneProc::DoPreviews: the processing preview dialog opened on the
// image or the selection, its result written back in one undo step
// (the dialog comes through proc/previews_hooks.h).

#include <memory>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "gui/forms.h"
#include "gui/graphics.h"
#include "proc/dialogparams.h"
#include "proc/previews_hooks.h"
#include "proc/proc.h"

constinit TVXPreviewsHooks VXPreviewsHooks;

namespace {

// The design size of the dialog at 96 pixels per inch.
constexpr int32_t kDesignWidth = 548;
constexpr int32_t kDesignHeight = 454;

int32_t ScreenPixelsPerInch() { return Screen ? Screen->PixelsPerInch() : GetDeviceCaps(nullptr, LOGPIXELSY); }

// FormSize when at least 1, else the stored size when at least 1, else the
// design size at the screen's resolution.
int32_t DialogSide(int32_t FormSize, int32_t Stored, int32_t Design) {
  if (FormSize >= 1) return FormSize;
  if (Stored >= 1) return Stored;
  return int32_t(double(ScreenPixelsPerInch()) / 96 * Design);
}

}  // namespace

void TVexlaneProc::SetPreviewFont(TFont* Value) { fPreviewFont->Assign(Value); }

bool TVexlaneProc::DoPreviews(TPreviewEffects pe, bool IsResizeable, int32_t FormWidth, int32_t FormHeight,
                              int32_t FormLeft, int32_t FormTop) {
  // The attached viewer paints nothing while the dialog works; the lock is
  // given back, and the work finished, however the call ends.
  struct TCallEnd {
    TVexlaneProc* Proc;
    TVXViewHost* Viewer;
    ~TCallEnd() {
      // A viewer that went away meanwhile is not touched.
      if (Viewer && Proc->fVexlaneView == Viewer) Viewer->UnLockPaint();
      Proc->DoFinishWork();
    }
  } callEnd{this, fVexlaneView};
  if (callEnd.Viewer) callEnd.Viewer->LockPaint();

  if (!CheckFormat(TVXPixelFormatSet())) return false;
  if (fVXBitmap->Width() < 2 && fVXBitmap->Height() < 2) return false;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXMask* mask = nullptr;
  GetReSel(x1, y1, x2, y2, mask);
  if (!VXPreviewsHooks.CreatePreviewsDialog)
    throw EVXException("The processing preview dialog (TfPreviews) needs the dialogs library, which is not linked");
  std::unique_ptr<TVXPreviewsDialog> dialog = VXPreviewsHooks.CreatePreviewsDialog(this);
  if (!dialog) throw EVXException("The dialogs library made no processing preview dialog (TfPreviews)");

  // Its final size is kept whatever the outcome.
  struct TSizeKeeper {
    TVXPreviewsDialog* Dialog;
    TIPDialogParams* Params;
    ~TSizeKeeper() {
      Params->DialogWidth = Dialog->Width();
      Params->DialogHeight = Dialog->Height();
    }
  } sizeKeeper{dialog.get(), fIPDialogParams.get()};

  // The rectangle in the image's own format, with its alpha channel and that
  // channel's fully-opaque mark.
  TVXBitmap image(fVXBitmap, TRect{x1, y1, x2 - 1, y2 - 1});
  if (TVXBitmap* alpha = fVXBitmap->AlphaChannelOpt()) image.AlphaChannel()->SetFull(alpha->Full());

  TVXPreviewsSetup setup;
  setup.Resizeable = IsResizeable;
  setup.Width = DialogSide(FormWidth, fIPDialogParams->DialogWidth, kDesignWidth);
  setup.Height = DialogSide(FormHeight, fIPDialogParams->DialogHeight, kDesignHeight);
  setup.CenterOnScreen = FormLeft < 0 && FormTop < 0;
  setup.Left = FormLeft;
  setup.Top = FormTop;
  setup.DefaultLockPreview = fPreviewsParams & (1u << prppDefaultLockPreview);
  setup.ShowReset = fPreviewsParams & (1u << prppShowResetButton);
  setup.HardReset = fPreviewsParams & (1u << prppHardReset);
  setup.ResetAllTabs = !(fPreviewsParams & (1u << prppResetSelectedTab));
  setup.Font = fPreviewFontEnabled ? fPreviewFont.get() : VXGetDefaultDialogFont();
  setup.OnProgress = OnProgress;
  setup.ProgressSender = this;
  setup.FiltersInitialDir = fFiltersInitialDir;
  setup.Background = Background();
  setup.Viewer = fVexlaneView;
  setup.Image = &image;
  setup.pe = pe;
  setup.IPDialogParams = fIPDialogParams.get();
  setup.OpList = &fPreviewsLog;
  dialog->Setup(setup);
  if (OnPreview) OnPreview(this, dialog.get());

  if (dialog->ShowModal() != vxPreviewsOK) return false;
  if (dialog->DefaultLockPreview())
    fPreviewsParams = TPRPreviewsParams(fPreviewsParams | (1u << prppDefaultLockPreview));
  else
    fPreviewsParams = TPRPreviewsParams(fPreviewsParams & ~(1u << prppDefaultLockPreview));
  if (fAutoUndo) SaveUndoCaptioned(dialog->UndoCaption(), vxuImage);
  TVXBitmap* result = dialog->ResultBitmap();
  if (result && !result->IsEmpty() && CheckFormat(TVXPixelFormatSet{vx24RGB}) &&
      result->PixelFormat() == fVXBitmap->PixelFormat()) {
    if (!mask || mask->IsEmpty()) {
      // The image takes the result's size (the resize page changes it).
      if (!fVXBitmap->Allocate(result->Width(), result->Height(), fVXBitmap->PixelFormat()))
        throw EVXException("Not enough memory for the preview's result");
      result->CopyRectTo(fVXBitmap, 0, 0, x1, y1, result->Width(), result->Height());
      if (TVXBitmap* alpha = result->AlphaChannelOpt()) {
        TVXBitmap* dest = fVXBitmap->AlphaChannel();
        alpha->CopyRectTo(dest, 0, 0, x1, y1, alpha->Width(), alpha->Height());
        dest->SyncFull();
      }
    } else {
      result->CopyWithMask2(fVXBitmap, mask);
    }
  }
  Update();
  return true;
}
