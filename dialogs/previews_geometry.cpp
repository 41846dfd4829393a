// The processing preview dialog's geometry pages: Rotate (with flips),
// Resize and Crop (whose margins and the source view's selection follow each
// other), and the colour panels' shared handler: their controls, loading,
// handlers, operations and stored values.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "core/winchores.h"
#include "dialogs/previews.h"
#include "dialogs/previews_controls.h"
#include "proc/dialogparams.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"
#include "words/words.h"

namespace {

// The width of the pages' number boxes.
constexpr int kBoxWidth = 60;

std::string LocaleFloat(double v) { return VXFloatToStrF(v, ffGeneral, 15, 0); }

// A box's integer when its text is one.
bool TryBoxInt(TEdit* Box, int& Value) {
  const int a = VXStrToIntDefAnsi(Box->Text(), 0);
  const int b = VXStrToIntDefAnsi(Box->Text(), 1);
  if (a != b) return false;
  Value = a;
  return true;
}

int Round(double v) { return int(std::nearbyint(v)); }

TPanel* NewColourPanel(TfPreviews* F, TWinControl* Parent, const char* Name, int X, int Y) {
  TPanel* p = new TPanel(F);
  p->SetName(Name);
  p->SetParent(Parent);
  p->SetBounds(X, Y, 50, 20);
  p->SetBevelOuter(bvLowered);
  p->SetParentBackground(false);
  p->SetColor(clBlack);
  p->SetVisible(false);
  return p;
}

// Sets a box's text; its change handler runs even when the text stays.
void SetTextAndRun(TEdit* Box, const std::string& Text) {
  if (Box->Text() != Text)
    Box->SetText(Text);
  else if (Box->OnChange)
    Box->OnChange(Box);
}

}  // namespace

void TfPreviews::CreateGeometryPages() {
  tabRotate = VXPreviewPage(this, PageControl1, "tabRotate", "Rotate");
  tabResize = VXPreviewPage(this, PageControl1, "tabResize", "Resize");

  // Rotate.
  lblRotate = VXPreviewLabel(this, tabRotate, "lblRotate", 8, 16);
  edtRotate = VXPreviewBox(this, tabRotate, "edtRotate", 120, 12, kBoxWidth, "0");
  TrackBarRotate = new TTrackBar(this);
  TrackBarRotate->SetName("TrackBarRotate");
  TrackBarRotate->SetParent(tabRotate);
  TrackBarRotate->SetBounds(190, 10, 300, 25);
  TrackBarRotate->SetMax(18000);
  TrackBarRotate->SetMin(-18000);
  TrackBarRotate->SetFrequency(500);
  TrackBarRotate->SetPosition(0);
  lblFlip = VXPreviewLabel(this, tabRotate, "lblFlip", 8, 56);
  chkFlipHorz = new TCheckBox(this);
  chkFlipHorz->SetName("chkFlipHorz");
  chkFlipHorz->SetParent(tabRotate);
  chkFlipHorz->SetBounds(120, 54, 120, 17);
  chkFlipVert = new TCheckBox(this);
  chkFlipVert->SetName("chkFlipVert");
  chkFlipVert->SetParent(tabRotate);
  chkFlipVert->SetBounds(250, 54, 120, 17);
  lblRotateBackground = VXPreviewLabel(this, tabRotate, "lblRotateBackground", 8, 92);
  lblRotateBackground->SetVisible(false);
  pnlRotateBackground = NewColourPanel(this, tabRotate, "pnlRotateBackground", 120, 88);
  TrackBarRotate->OnChange = [this](void*) { TrackBarRotateChange(); };
  edtRotate->OnChange = [this](void*) { edtRotateChange(); };
  chkFlipHorz->OnClick = [this](void*) { chkFlipHorzClick(); };
  chkFlipVert->OnClick = [this](void*) { chkFlipHorzClick(); };
  pnlRotateBackground->OnClick = [this](void*) { pnlRotateBackgroundClick(pnlRotateBackground); };

  // Resize: current, new and scale columns; width and height rows.
  lblResize = VXPreviewLabel(this, tabResize, "lblResize", 8, 8);
  lblCurrentSize = VXPreviewLabel(this, tabResize, "lblCurrentSize", 130, 30, 60);
  lblNewSize = VXPreviewLabel(this, tabResize, "lblNewSize", 210, 30, 60);
  lblNewScale = VXPreviewLabel(this, tabResize, "lblNewScale", 300, 30, 60);
  lblWidth = VXPreviewLabel(this, tabResize, "lblWidth", 8, 52);
  lblHeight = VXPreviewLabel(this, tabResize, "lblHeight", 8, 80);
  edtOldWidth = VXPreviewBox(this, tabResize, "edtOldWidth", 130, 48, kBoxWidth, "");
  edtOldHeight = VXPreviewBox(this, tabResize, "edtOldHeight", 130, 76, kBoxWidth, "");
  for (TEdit* e : {edtOldWidth, edtOldHeight}) {
    e->SetReadOnly(true);
    e->SetTabStop(false);
    e->SetColor(clBtnFace);
  }
  edtNewWidth = VXPreviewBox(this, tabResize, "edtNewWidth", 210, 48, kBoxWidth, "1");
  updNewWidth = VXPreviewUpDown(this, edtNewWidth, "updNewWidth", 1, 32767, std::nullopt, 100);
  edtNewHeight = VXPreviewBox(this, tabResize, "edtNewHeight", 210, 76, kBoxWidth, "1");
  updNewHeight = VXPreviewUpDown(this, edtNewHeight, "updNewHeight", 1, 32767, std::nullopt, 100);
  edtNewWidthPercent = VXPreviewBox(this, tabResize, "edtNewWidthPercent", 300, 48, kBoxWidth, "1");
  updNewWidthPercent = VXPreviewUpDown(this, edtNewWidthPercent, "updNewWidthPercent", 1, 10000, std::nullopt, 5);
  edtNewHeightPercent = VXPreviewBox(this, tabResize, "edtNewHeightPercent", 300, 76, kBoxWidth, "1");
  updNewHeightPercent = VXPreviewUpDown(this, edtNewHeightPercent, "updNewHeightPercent", 1, 10000, std::nullopt, 5);
  lblWidthPercent = VXPreviewLabel(this, tabResize, "lblWidthPercent", 380, 52, 12);
  lblHeightPercent = VXPreviewLabel(this, tabResize, "lblHeightPercent", 380, 80, 12);
  lblWidthPercent->SetCaption("%");
  lblHeightPercent->SetCaption("%");
  chkMaintainAR = new TCheckBox(this);
  chkMaintainAR->SetName("chkMaintainAR");
  chkMaintainAR->SetParent(tabResize);
  chkMaintainAR->SetBounds(130, 108, 250, 17);
  chkMaintainAR->SetChecked(true);
  edtNewWidth->OnChange = [this](void*) { edtNewWidthChange(); };
  chkMaintainAR->OnClick = [this](void*) { edtNewWidthChange(); };
  edtNewHeight->OnChange = [this](void*) { edtNewHeightChange(); };
  edtNewWidthPercent->OnChange = [this](void*) { edtNewWidthPercentChange(); };
  edtNewHeightPercent->OnChange = [this](void*) { edtNewHeightPercentChange(); };
  CreateCropPage();
}

void TfPreviews::UpdateGeometryPagesLanguage() {
  const auto W = [](uint16_t i) { return VXLocalizedMessage(i); };
  lblRotate->SetCaption(W(79) + ":");
  lblFlip->SetCaption(" " + W(80) + ":");
  chkFlipHorz->SetCaption(W(81));
  chkFlipVert->SetCaption(W(82));
  lblRotateBackground->SetCaption(" " + W(62) + ":");
  lblResize->SetCaption(W(385) + ":");
  lblCurrentSize->SetCaption(W(388));
  lblNewSize->SetCaption(W(389));
  lblNewScale->SetCaption(W(390));
  lblWidth->SetCaption(W(31) + " (" + W(139) + "):");
  lblHeight->SetCaption(W(32) + " (" + W(139) + "):");
  chkMaintainAR->SetCaption(W(391));
  lblCropImage->SetCaption(W(440) + ":");
  lblCropLeft->SetCaption(W(29) + ":");
  lblCropTop->SetCaption(W(30) + ":");
  lblCropRight->SetCaption(W(94) + ":");
  lblCropBottom->SetCaption(W(95) + ":");
  lblCropBackground->SetCaption(" " + W(62) + ":");
}

// ---- loading and storing ----

void TfPreviews::LoadGeometryPage(int Tag) {
  TIPDialogParams* p = fIPDialogParams;
  switch (Tag) {
    case 10: {
      RotationAngle = p->ROTATE_Angle;
      FlipHorz = p->FLIP_Horz;
      FlipVert = p->FLIP_Vert;
      edtRotate->SetText(LocaleFloat(RotationAngle));
      pnlRotateBackground->SetColor(p->BackgroundColor);
      TrackBarRotate->SetPosition(int(RotationAngle * 100));
      chkFlipHorz->SetChecked(FlipHorz);
      chkFlipVert->SetChecked(FlipVert);
      // The background shows for a stored angle that uncovers corners, too.
      TVXBitmap* src = Vexlane1->GetVXBitmap();
      if (!(Vexlane1->EnableAlphaChannel() && src && src->HasAlphaChannel())) {
        const bool show = Round(RotationAngle) % 90 != 0;
        pnlRotateBackground->SetVisible(show);
        lblRotateBackground->SetVisible(show);
      }
      undos[10] = "Rotate";
      break;
    }
    case 14: {
      TVXBitmap* src = Vexlane1->GetVXBitmap();
      ResizePercent = p->Resize_Percent;
      edtOldWidth->SetText(std::to_string(src->Width()));
      edtOldHeight->SetText(std::to_string(src->Height()));
      chkMaintainAR->SetChecked(true);
      SetTextAndRun(edtNewWidthPercent, std::to_string(ResizePercent));
      SetTextAndRun(edtNewHeightPercent, std::to_string(ResizePercent));
      undos[14] = "Resize";
      break;
    }
    case 17: {
      TVXBitmap* src = Vexlane1->GetVXBitmap();
      CropLeft = p->Crop_Left;
      CropTop = p->Crop_Top;
      CropRight = p->Crop_Right;
      CropBottom = p->Crop_Bottom;
      edtCropLeft->SetText(std::to_string(CropLeft));
      edtCropTop->SetText(std::to_string(CropTop));
      edtCropRight->SetText(std::to_string(CropRight));
      edtCropBottom->SetText(std::to_string(CropBottom));
      pnlCropBackground->SetColor(p->BackgroundColor);
      updCropLeft->SetMax(src->Width() - 1);
      updCropRight->SetMax(src->Width() - 1);
      updCropTop->SetMax(src->Height() - 1);
      updCropBottom->SetMax(src->Height() - 1);
      undos[17] = "Crop";
      break;
    }
    default:
      break;
  }
}

void TfPreviews::StoreGeometryPage(int Tag) {
  TIPDialogParams* p = fIPDialogParams;
  switch (Tag) {
    case 10:
      p->ROTATE_Angle = RotationAngle;
      p->FLIP_Horz = FlipHorz;
      p->FLIP_Vert = FlipVert;
      p->BackgroundColor = pnlRotateBackground->Color();
      break;
    case 14:
      p->Resize_Percent = ResizePercent;
      break;
    case 17:
      p->Crop_Left = CropLeft;
      p->Crop_Top = CropTop;
      p->Crop_Right = CropRight;
      p->Crop_Bottom = CropBottom;
      p->BackgroundColor = pnlCropBackground->Color();
      break;
    default:
      break;
  }
}

// ---- operations ----

void TfPreviews::RunGeometryPageOperation(int Tag, TVexlaneView* View, bool IsPreview, void*,
                                          const TVXProgressEvent&) {
  TVexlaneProc* proc = View->Proc();
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  switch (Tag) {
    case 10:
      CurrentOp = "Rotate " + LocaleFloat(RotationAngle);
      // Flips come before the rotation.
      if (FlipHorz) {
        proc->Flip(fdHorizontal);
        CurrentOp += " Flip Horizontal";
      }
      if (FlipVert) {
        proc->Flip(fdVertical);
        CurrentOp += " Flip Vertical";
      }
      if (RotationAngle != 0) {
        if (IsPreview) {
          proc->Rotate(RotationAngle, vxrFast, pnlRotateBackground->Color());
          View->Fit();
        } else {
          proc->Rotate(RotationAngle, settings->DefaultRotateAntiAlias(), pnlRotateBackground->Color());
        }
      }
      break;
    case 14: {
      TVXBitmap* src = Vexlane1->GetVXBitmap();
      int w = VXStrToIntDefAnsi(edtNewWidth->Text(), -1);
      int h = VXStrToIntDefAnsi(edtNewHeight->Text(), -1);
      if (w == src->Width() && h == src->Height()) return;
      const int pw = VXStrToIntDefAnsi(edtNewWidthPercent->Text(), 100);
      const int ph = VXStrToIntDefAnsi(edtNewHeightPercent->Text(), 100);
      if (chkMaintainAR->Checked()) {
        h = -1;
        CurrentOp = "Resize " + std::to_string(pw) + "%";
      } else {
        CurrentOp = "Resize " + std::to_string(pw) + "% / " + std::to_string(ph) + "%";
      }
      proc->Resample(w, h, IsPreview ? settings->DefaultPreviewsZoomFilter() : settings->DefaultResampleFilter(),
                     false);
      break;
    }
    case 17:
      RunCropOperation(View, IsPreview);
      break;
    default:
      break;
  }
}

// ---- handlers ----

void TfPreviews::TrackBarRotateChange() {
  if (!fDoChange) return;
  const double a = TrackBarRotate->Position() / 100.0;
  if (a == RotationAngle) return;
  RotationAngle = Round(a);
  const std::string text = LocaleFloat(RotationAngle);
  if (edtRotate->Text() != text) edtRotate->SetText(text);
  RequestPreview(false);
}

void TfPreviews::edtRotateChange() {
  if (!fDoChange) return;
  const double x = double(VXStrToFloatDef(edtRotate->Text(), 0));
  if (x != RotationAngle) {
    const int before = TrackBarRotate->Position();
    const double pos = std::clamp(std::trunc(x * 100), -18000.0, 18000.0);
    TrackBarRotate->SetPosition(int(pos));
    if (TrackBarRotate->Position() == before) TrackBarRotateChange();
  }
  TVXBitmap* src = Vexlane1->GetVXBitmap();
  if (Vexlane1->EnableAlphaChannel() && src && src->HasAlphaChannel()) return;
  const double r = std::clamp(std::nearbyint(x), -1e9, 1e9);
  const bool show = int64_t(r) % 90 != 0;
  pnlRotateBackground->SetVisible(show);
  lblRotateBackground->SetVisible(show);
}

void TfPreviews::chkFlipHorzClick() {
  if (!fDoChange) return;
  if (chkFlipHorz->Checked() == FlipHorz && chkFlipVert->Checked() == FlipVert) return;
  FlipHorz = chkFlipHorz->Checked();
  FlipVert = chkFlipVert->Checked();
  RequestPreview(false);
}

void TfPreviews::pnlRotateBackgroundClick(TPanel* Sender) {
  if (!fDoChange) return;
  TColor c = Sender->Color();
  if (VXColorDialog(c)) Sender->SetColor(c);
  RequestPreview(false);
}

void TfPreviews::edtNewWidthChange() { ResizeBoxChange(false, false); }
void TfPreviews::edtNewHeightChange() { ResizeBoxChange(true, false); }
void TfPreviews::edtNewWidthPercentChange() { ResizeBoxChange(false, true); }
void TfPreviews::edtNewHeightPercentChange() { ResizeBoxChange(true, true); }

// A typed size or percentage of one side (Vertical: the height): the side's
// other box follows, and with the aspect kept, both boxes of the other side.
// A size that is no number, or negative, shows the source's size again (100
// %); such a percentage shows 100.
void TfPreviews::ResizeBoxChange(bool Vertical, bool Percent) {
  if (fUpdatingSize) return;
  fUpdatingSize = true;
  TVXBitmap* src = Vexlane1->GetVXBitmap();
  const int side = Vertical ? src->Height() : src->Width();
  const int other = Vertical ? src->Width() : src->Height();
  TEdit* size = Vertical ? edtNewHeight : edtNewWidth;
  TEdit* percent = Vertical ? edtNewHeightPercent : edtNewWidthPercent;
  TEdit* otherSize = Vertical ? edtNewWidth : edtNewHeight;
  TEdit* otherPercent = Vertical ? edtNewWidthPercent : edtNewHeightPercent;
  double p = 100.0;
  int v = 0;
  if (Percent) {
    if (!TryBoxInt(percent, v) || v < 0) {
      percent->SetText("100");
      v = 100;
    }
    p = v;
    size->SetText(std::to_string(Round(side * p / 100)));
  } else {
    if (TryBoxInt(size, v) && v >= 0 && side > 0)
      p = double(v) / side * 100;
    else
      size->SetText(std::to_string(side));
    percent->SetText(std::to_string(Round(p)));
  }
  if (chkMaintainAR->Checked()) {
    otherPercent->SetText(std::to_string(Round(p)));
    otherSize->SetText(std::to_string(Round(other * p / 100)));
  }
  ResizePercent = Round(p);
  fUpdatingSize = false;
  RequestPreview(false);
}

// ---- the crop page ----

void TfPreviews::CreateCropPage() {
  tabCrop = VXPreviewPage(this, PageControl1, "tabCrop", "Crop");
  lblCropImage = VXPreviewLabel(this, tabCrop, "lblCropImage", 8, 8);
  // Left, top, right and bottom around a centre.
  struct TSide {
    TEdit** Box;
    TUpDown** Up;
    TLabel** Label;
    const char* Name;
    const char* UpName;
    const char* LabelName;
    int X, Y;
  };
  const TSide sides[4] = {
      {&edtCropLeft, &updCropLeft, &lblCropLeft, "edtCropLeft", "updCropLeft", "lblCropLeft", 90, 70},
      {&edtCropTop, &updCropTop, &lblCropTop, "edtCropTop", "updCropTop", "lblCropTop", 200, 34},
      {&edtCropRight, &updCropRight, &lblCropRight, "edtCropRight", "updCropRight", "lblCropRight", 310, 70},
      {&edtCropBottom, &updCropBottom, &lblCropBottom, "edtCropBottom", "updCropBottom", "lblCropBottom", 200, 106},
  };
  for (const TSide& s : sides) {
    *s.Label = VXPreviewLabel(this, tabCrop, s.LabelName, s.X - 70, s.Y + 4, 66);
    *s.Box = VXPreviewBox(this, tabCrop, s.Name, s.X, s.Y, kBoxWidth, "0");
    *s.Up = VXPreviewUpDown(this, *s.Box, s.UpName, -32767, 16960, std::nullopt, 1);
    TEdit* box = *s.Box;
    box->OnChange = [this, box](void*) { CropControlChange(box); };
  }
  lblCropBackground = VXPreviewLabel(this, tabCrop, "lblCropBackground", 8, 150);
  lblCropBackground->SetVisible(false);
  pnlCropBackground = NewColourPanel(this, tabCrop, "pnlCropBackground", 120, 146);
  pnlCropBackground->OnClick = [this](void*) { pnlRotateBackgroundClick(pnlCropBackground); };
}

void TfPreviews::CropControlChange(void* Sender) {
  int m[4] = {};
  TEdit* boxes[4] = {edtCropLeft, edtCropTop, edtCropRight, edtCropBottom};
  for (int i = 0; i < 4; ++i)
    if (!TryBoxInt(boxes[i], m[i])) {
      for (TEdit* b : boxes) b->SetText("0");
      return;
    }
  const bool negative = m[0] < 0 || m[1] < 0 || m[2] < 0 || m[3] < 0;
  pnlCropBackground->SetVisible(negative);
  lblCropBackground->SetVisible(negative);
  if (Sender != Vexlane1 && (fDoChange || !Sender)) {
    TVXBitmap* src = Vexlane1->GetVXBitmap();
    fDoSelecting = true;
    Vexlane1->SetSelectionBase(vxsbBitmap);
    // The kept pixels run from (left, top) to (W - right - 1, H - bottom - 1)
    // inclusive; the view's rectangle ends one past them.
    Vexlane1->Select(m[0], m[1], src->Width() - m[2], src->Height() - m[3], vxspReplace);
    fDoSelecting = false;
  }
  if (fDoChange && (m[0] != CropLeft || m[1] != CropTop || m[2] != CropRight || m[3] != CropBottom)) {
    CropLeft = m[0];
    CropTop = m[1];
    CropRight = m[2];
    CropBottom = m[3];
    RequestPreview(false);
  }
}

void TfPreviews::Vexlane1SelectionChange() {
  // Only the crop page follows the source view's selection.
  if (fDoSelecting || PageControl1->ActivePage() != tabCrop || !Vexlane1->Selected()) return;
  TVXBitmap* src = Vexlane1->GetVXBitmap();
  fDoChange = false;
  edtCropLeft->SetText(std::to_string(Vexlane1->SelX1()));
  edtCropTop->SetText(std::to_string(Vexlane1->SelY1()));
  edtCropRight->SetText(std::to_string(src->Width() - Vexlane1->SelX2() - 1));
  edtCropBottom->SetText(std::to_string(src->Height() - Vexlane1->SelY2() - 1));
  fDoChange = true;
  CropControlChange(Vexlane1);
}

void TfPreviews::RunCropOperation(TVexlaneView* View, bool IsPreview) {
  TVXBitmap* src = Vexlane1->GetVXBitmap();
  const int32_t l = CropLeft, t = CropTop, r = CropRight, b = CropBottom;
  // Margins that leave no pixel: nothing to crop.
  if (int64_t(std::max(0, l)) + std::max(0, r) >= src->Width() ||
      int64_t(std::max(0, t)) + std::max(0, b) >= src->Height())
    return;
  CurrentOp = "Crop " + std::to_string(l) + "," + std::to_string(t) + "," + std::to_string(r) + "," +
              std::to_string(b);
  TVexlaneProc* proc = View->Proc();
  const TColor saved = proc->Background();
  proc->SetBackground(pnlCropBackground->Color());
  struct TRestore {
    TVexlaneProc* Proc;
    TColor Saved;
    ~TRestore() { Proc->SetBackground(Saved); }
  } restore{proc, saved};
  TVXBitmap* bmp = View->GetVXBitmap();
  if (IsPreview) {
    // The margins are in source pixels.
    bmp->Assign(src);
    if (TVXBitmap* alpha = src->AlphaChannelOpt()) bmp->AlphaChannel()->SetFull(alpha->Full());
  }
  proc->Crop(std::max(0, l), std::max(0, t), bmp->Width() - std::max(0, r) - 1, bmp->Height() - std::max(0, b) - 1);
  if (l < 0 || t < 0)
    proc->ImageResize(bmp->Width() - std::min(0, l), bmp->Height() - std::min(0, t), vxhRight, vxvBottom, 255);
  if (r < 0 || b < 0)
    proc->ImageResize(bmp->Width() - std::min(0, r), bmp->Height() - std::min(0, b), vxhLeft, vxvTop, 255);
  if (IsPreview) View->Fit();
}
