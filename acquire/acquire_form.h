// TvxxAcquireForm: the modal dialog in which the user picks one acquisition
// source out of a list that mixes TWAIN sources, WIA devices and camera
// folders. Every line is a raw device string, drawn as the source's name
// with a small picture of its device type; TVXAcquireParams::SelectSource
// fills it, pre-selects the current source and reads the choice back.
#pragma once
#include <string>

#include "gui/buttons.h"
#include "gui/extctrls.h"
#include "gui/forms.h"
#include "gui/imglist.h"
#include "gui/stdctrls.h"

class TvxxAcquireForm : public TForm {
 public:
  explicit TvxxAcquireForm(TComponent* AOwner = nullptr);
  ~TvxxAcquireForm() override;

  // The raw device string of the selected line ("" when none). Writing
  // selects the first line equal to the value, ignoring case; an empty
  // value or one not listed leaves no line selected.
  std::string SelectedSource();
  void SetSelectedSource(const std::string& Value);
  // The captions in the interface language.
  void UpdateLanguage();

  TImage* Image1;
  TLabel* lblCaption;
  TListBox* lbxSources;
  TPanel* pnlButtons;
  TBitBtn* btnOK;
  TBitBtn* btnCancel;
  TImageList* imlDevices;

  void FormCreate();
  void FormActivate();
  void FormResize();
  void lbxSourcesClick();
  void lbxSourcesDrawItem(int Index, const TRect& Rect);
  void btnOKClick();

 private:
  void LayoutControls();
};

// The four 16 x 16 pictures of the device types, in the image list's
// order: 0 scanner, 1 camera, 2 drive, 3 device.
void VXAddAcquireDevicePictures(TCustomImageList* Images);
// The two-state glyphs (up, disabled) of the OK and Cancel buttons: 32 x 16.
void VXMakeAcquireButtonGlyph(TBitmap* Glyph, bool OK);
