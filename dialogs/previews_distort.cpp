// The processing preview dialog's distortion and shadow pages: Bump map,
// Lens, Wave and Soft Shadow: their controls, loading, handlers, operations
// and stored values. Positions and lengths are kept in source pixels; the
// preview, which runs on a screen-scale rendering of what the source view
// shows, converts them with the source view's zoom and scroll position.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/bitmap.h"
#include "core/pixels.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "dialogs/hsvbox.h"
#include "dialogs/previews.h"
#include "dialogs/previews_controls.h"
#include "proc/dialogparams.h"
#include "proc/distort.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"
#include "words/words.h"

namespace {

int BoxInt(TEdit* Box, int Default) { return VXStrToIntDefAnsi(Box->Text(), Default); }

// Writes a box without its handler acting.
void SetBoxQuiet(TfPreviews* F, TEdit* Box, const std::string& Text) {
  const bool saved = F->fDoChange;
  F->fDoChange = false;
  Box->SetText(Text);
  F->fDoChange = saved;
}

// The refraction box's tenths above 1.
int RefractionTenths(double Refraction) { return int(std::nearbyint(Refraction * 10 - 10)); }

constexpr int kBumpTag = 6, kLensTag = 7, kWaveTag = 8, kShadowTag = 15;
constexpr int kGlow = 4;
constexpr int kBoxWidth = 45;

}  // namespace

void TfPreviews::CreateDistortPages() {
  tabBumpMap = VXPreviewPage(this, PageControl1, "tabBumpMap", "Bump map");
  tabLens = VXPreviewPage(this, PageControl1, "tabLens", "Lens");
  tabWave = VXPreviewPage(this, PageControl1, "tabWave", "Wave");
  tabSoftShadow = VXPreviewPage(this, PageControl1, "tabSoftShadow", "Soft Shadow");

  // Bump map.
  GroupBox2 = VXPreviewGroup(this, tabBumpMap, "GroupBox2", 8, 4, 300, 170);
  Label27 = VXPreviewLabel(this, GroupBox2, "Label27", 10, 24);
  Edit22 = VXPreviewBox(this, GroupBox2, "Edit22", 120, 20, kBoxWidth, "0");
  UpDown11 = VXPreviewUpDown(this, Edit22, "UpDown11", 0, 32767, std::nullopt, 10);
  Label28 = VXPreviewLabel(this, GroupBox2, "Label28", 10, 50);
  Edit23 = VXPreviewBox(this, GroupBox2, "Edit23", 120, 46, kBoxWidth, "0");
  UpDown12 = VXPreviewUpDown(this, Edit23, "UpDown12", 0, 32767, std::nullopt, 10);
  Label23 = VXPreviewLabel(this, GroupBox2, "Label23", 10, 76);
  Edit24 = VXPreviewBox(this, GroupBox2, "Edit24", 120, 72, kBoxWidth, "0");
  UpDown13 = VXPreviewUpDown(this, Edit24, "UpDown13", 0, 32767, std::nullopt, 10);
  Label24 = VXPreviewLabel(this, GroupBox2, "Label24", 10, 102);
  Edit25 = VXPreviewBox(this, GroupBox2, "Edit25", 120, 98, kBoxWidth, "0");
  UpDown14 = VXPreviewUpDown(this, Edit25, "UpDown14", 0, 32767, std::nullopt, 10);
  Label26 = VXPreviewLabel(this, GroupBox2, "Label26", 190, 24);
  Panel2 = new TPanel(this);
  Panel2->SetName("Panel2");
  Panel2->SetParent(GroupBox2);
  Panel2->SetBevelOuter(bvLowered);
  Panel2->SetBounds(190, 40, 74, 74);
  HSVBox2 = new THSVBox(this);
  HSVBox2->SetName("HSVBox2");
  HSVBox2->SetParent(Panel2);
  HSVBox2->SetBounds(1, 1, 72, 72);
  HSVBox2->OnChange = [this](void*) { HSVBox2Change(); };
  Label25 = VXPreviewLabel(this, tabBumpMap, "Label25", 320, 24);
  Edit26 = VXPreviewBox(this, tabBumpMap, "Edit26", 320, 42, kBoxWidth, "0");
  UpDown15 = VXPreviewUpDown(this, Edit26, "UpDown15", 0, 100, std::nullopt, 10);
  for (TEdit* e : {Edit22, Edit23, Edit24, Edit25, Edit26}) e->OnChange = [this](void*) { Edit22Change(); };

  // Lens.
  GroupBox5 = VXPreviewGroup(this, tabLens, "GroupBox5", 8, 4, 300, 170);
  Label32 = VXPreviewLabel(this, GroupBox5, "Label32", 10, 24);
  Edit27 = VXPreviewBox(this, GroupBox5, "Edit27", 120, 20, kBoxWidth, "0");
  UpDown16 = VXPreviewUpDown(this, Edit27, "UpDown16", 0, 32767, std::nullopt, 10);
  Label33 = VXPreviewLabel(this, GroupBox5, "Label33", 10, 50);
  Edit28 = VXPreviewBox(this, GroupBox5, "Edit28", 120, 46, kBoxWidth, "0");
  UpDown17 = VXPreviewUpDown(this, Edit28, "UpDown17", 0, 32767, std::nullopt, 10);
  Label29 = VXPreviewLabel(this, GroupBox5, "Label29", 10, 76);
  Edit29 = VXPreviewBox(this, GroupBox5, "Edit29", 120, 72, kBoxWidth, "0");
  UpDown18 = VXPreviewUpDown(this, Edit29, "UpDown18", 0, 32767, std::nullopt, 10);
  Label30 = VXPreviewLabel(this, GroupBox5, "Label30", 10, 102);
  Edit30 = VXPreviewBox(this, GroupBox5, "Edit30", 120, 98, kBoxWidth, "0");
  UpDown19 = VXPreviewUpDown(this, Edit30, "UpDown19", 0, 32767, std::nullopt, 10);
  Label31 = VXPreviewLabel(this, GroupBox5, "Label31", 10, 128);
  Edit31 = VXPreviewBox(this, GroupBox5, "Edit31", 120, 124, kBoxWidth, "0");
  UpDown20 = VXPreviewUpDown(this, Edit31, "UpDown20", 0, 32767, std::nullopt, 1);
  for (TEdit* e : {Edit27, Edit28, Edit29, Edit30, Edit31}) e->OnChange = [this](void*) { Edit27Change(); };

  // Wave.
  GroupBox6 = VXPreviewGroup(this, tabWave, "GroupBox6", 8, 4, 300, 170);
  Label34 = VXPreviewLabel(this, GroupBox6, "Label34", 10, 24);
  Edit32 = VXPreviewBox(this, GroupBox6, "Edit32", 120, 20, kBoxWidth, "0");
  UpDown21 = VXPreviewUpDown(this, Edit32, "UpDown21", 0, 32767, std::nullopt, 1);
  Label35 = VXPreviewLabel(this, GroupBox6, "Label35", 10, 50);
  Edit33 = VXPreviewBox(this, GroupBox6, "Edit33", 120, 46, kBoxWidth, "0");
  UpDown22 = VXPreviewUpDown(this, Edit33, "UpDown22", 0, 32767, std::nullopt, 1);
  Label36 = VXPreviewLabel(this, GroupBox6, "Label36", 10, 76);
  Edit34 = VXPreviewBox(this, GroupBox6, "Edit34", 120, 72, kBoxWidth, "0");
  UpDown23 = VXPreviewUpDown(this, Edit34, "UpDown23", 0, 359, std::nullopt, 1);
  CheckBox2 = new TCheckBox(this);
  CheckBox2->SetName("CheckBox2");
  CheckBox2->SetParent(GroupBox6);
  CheckBox2->SetBounds(10, 100, 150, 17);
  CheckBox2->SetAlignment(taLeftJustify);
  for (TEdit* e : {Edit32, Edit33, Edit34}) e->OnChange = [this](void*) { Edit32Change(); };
  CheckBox2->OnClick = [this](void*) { Edit32Change(); };

  // Soft Shadow.
  lblAddSoftShadow = VXPreviewLabel(this, tabSoftShadow, "lblAddSoftShadow", 8, 8);
  lblShadowRadius = VXPreviewLabel(this, tabSoftShadow, "lblShadowRadius", 16, 34);
  edtShadowRadius = VXPreviewBox(this, tabSoftShadow, "edtShadowRadius", 130, 30, kBoxWidth, "0");
  updShadowRadius = VXPreviewUpDown(this, edtShadowRadius, "updShadowRadius", 1, 100, 3, 1);
  lblShadowOffset = VXPreviewLabel(this, tabSoftShadow, "lblShadowOffset", 16, 60);
  edtShadowOffset = VXPreviewBox(this, tabSoftShadow, "edtShadowOffset", 130, 56, kBoxWidth, "0");
  updShadowOffset = VXPreviewUpDown(this, edtShadowOffset, "updShadowOffset", -30, 30, 3, 1);
  lblShadowColor = VXPreviewLabel(this, tabSoftShadow, "lblShadowColor", 16, 86);
  pnlShadowColor = new TPanel(this);
  pnlShadowColor->SetName("pnlShadowColor");
  pnlShadowColor->SetParent(tabSoftShadow);
  pnlShadowColor->SetBounds(130, 82, 50, 20);
  pnlShadowColor->SetColor(clBlack);
  pnlShadowColor->OnClick = [this](void*) { pnlRotateBackgroundClick(pnlShadowColor); };
  lblShadowPosition = VXPreviewLabel(this, tabSoftShadow, "lblShadowPosition", 16, 112);
  cmbShadowPosition = new TComboBox(this);
  cmbShadowPosition->SetName("cmbShadowPosition");
  cmbShadowPosition->SetParent(tabSoftShadow);
  cmbShadowPosition->SetBounds(130, 108, 130, 21);
  cmbShadowPosition->SetStyle(csDropDownList);
  for (const char* item : {"Top Left", "Top Right", "Bottom Left", "Bottom Right", "All (Glow)"})
    cmbShadowPosition->Items()->Add(item);
  cmbShadowPosition->SetItemIndex(kGlow);
  edtShadowRadius->OnChange = [this](void* s) { SoftShadowControlChange(s); };
  edtShadowOffset->OnChange = [this](void* s) { SoftShadowControlChange(s); };
  cmbShadowPosition->OnChange = [this](void* s) { SoftShadowControlChange(s); };
}

void TfPreviews::UpdateDistortPagesLanguage() {
  const auto W = [](uint16_t i) { return VXLocalizedMessage(i); };
  GroupBox2->SetCaption(" " + W(28) + " ");
  Label27->SetCaption(W(29) + ":");
  Label28->SetCaption(W(30) + ":");
  Label23->SetCaption(W(31) + ":");
  Label24->SetCaption(W(32) + ":");
  Label26->SetCaption(W(33) + ":");
  Label25->SetCaption(W(34) + " (%):");
  GroupBox5->SetCaption(" " + W(35) + " ");
  Label32->SetCaption(W(29) + ":");
  Label33->SetCaption(W(30) + ":");
  Label29->SetCaption(W(31) + ":");
  Label30->SetCaption(W(32) + ":");
  Label31->SetCaption(W(36) + ":");
  GroupBox6->SetCaption(" " + W(67) + " ");
  Label34->SetCaption(W(68));
  Label35->SetCaption(W(69));
  Label36->SetCaption(W(70));
  CheckBox2->SetCaption(W(71));
  lblAddSoftShadow->SetCaption(W(427) + ":");
  lblShadowRadius->SetCaption(W(428) + ":");
  lblShadowOffset->SetCaption(W(429) + ":");
  lblShadowColor->SetCaption(W(33) + ":");
  lblShadowPosition->SetCaption(W(96) + ":");
  const int index = cmbShadowPosition->ItemIndex();
  const uint16_t words[5] = {110, 112, 116, 118, 430};
  for (int i = 0; i < 5; ++i) cmbShadowPosition->Items()->SetStrings(i, W(words[i]));
  cmbShadowPosition->SetItemIndex(index);
}

// ---- conversions between source pixels and the preview ----

int32_t TfPreviews::SourceXToPreview(int32_t X) const {
  return int32_t(double(X) * (Vexlane1->ZoomX() / 100) - Vexlane1->ViewX());
}

int32_t TfPreviews::SourceYToPreview(int32_t Y) const {
  return int32_t(double(Y) * (Vexlane1->ZoomX() / 100) - Vexlane1->ViewY());
}

int32_t TfPreviews::SourceLengthToPreview(int32_t Length) const {
  return int32_t(double(Length) * (Vexlane1->ZoomX() / 100));
}

bool TfPreviews::PreviewToSource(int X, int Y, int32_t& SX, int32_t& SY) const {
  const double z = Vexlane1->ZoomX();
  if (!(z > 0)) return false;
  // The inverse of the conversion above: the scroll position is in screen
  // pixels, so it is added before the zoom is taken out.
  SX = int32_t(double(X - Vexlane1->OffsetX() + Vexlane1->ViewX()) * 100 / z);
  SY = int32_t(double(Y - Vexlane1->OffsetY() + Vexlane1->ViewY()) * 100 / z);
  return true;
}

// ---- loading and storing ----

void TfPreviews::LoadDistortPage(int Tag) {
  TIPDialogParams* p = fIPDialogParams;
  const TVXBitmap* src = Vexlane1->GetVXBitmap();
  const int32_t W = src ? src->Width() : 0, H = src ? src->Height() : 0;
  switch (Tag) {
    case kBumpTag:
      if (p->BUMPMAP_Auto) {
        BumpLeft = W / 2;
        BumpTop = H / 2;
        BumpWidth = BumpHeight = std::max(W, H) / 2;
      } else {
        BumpLeft = p->BUMPMAP_Left;
        BumpTop = p->BUMPMAP_Top;
        BumpWidth = p->BUMPMAP_Width;
        BumpHeight = p->BUMPMAP_Height;
      }
      BumpCol = p->BUMPMAP_Col;
      BumpSrc = p->BUMPMAP_Src;
      Edit22->SetText(std::to_string(BumpLeft));
      Edit23->SetText(std::to_string(BumpTop));
      Edit24->SetText(std::to_string(BumpWidth));
      Edit25->SetText(std::to_string(BumpHeight));
      Edit26->SetText(std::to_string(BumpSrc));
      HSVBox2->SetRGB(BumpCol.r, BumpCol.g, BumpCol.b);
      undos[kBumpTag] = "Bump Map";
      break;
    case kLensTag:
      if (p->LENS_Auto) {
        LensLeft = W / 2;
        LensTop = H / 2;
        LensWidth = LensHeight = std::max(W, H) / 2;
      } else {
        LensLeft = p->LENS_Left;
        LensTop = p->LENS_Top;
        LensWidth = p->LENS_Width;
        LensHeight = p->LENS_Height;
      }
      LensRef = p->LENS_Ref;
      Edit27->SetText(std::to_string(LensLeft));
      Edit28->SetText(std::to_string(LensTop));
      Edit29->SetText(std::to_string(LensWidth));
      Edit30->SetText(std::to_string(LensHeight));
      Edit31->SetText(std::to_string(RefractionTenths(LensRef)));
      undos[kLensTag] = "Lens effect";
      break;
    case kWaveTag:
      WaveAmplitude = p->WAVE_Amplitude;
      WaveWaveLength = p->WAVE_WaveLength;
      WavePhase = p->WAVE_Phase;
      WaveReflect = p->WAVE_Reflect;
      Edit32->SetText(std::to_string(WaveAmplitude));
      Edit33->SetText(std::to_string(WaveWaveLength));
      Edit34->SetText(std::to_string(WavePhase));
      CheckBox2->SetChecked(WaveReflect);
      undos[kWaveTag] = "Wave effect";
      break;
    case kShadowTag: {
      ShadowRadius = p->Shadow_Radius;
      ShadowOffset = p->Shadow_Offset;
      edtShadowRadius->SetText(std::to_string(ShadowRadius));
      if (ShadowOffset != 0) {
        edtShadowOffset->SetText(std::to_string(ShadowOffset));
        cmbShadowPosition->SetItemIndex(3);
      } else {
        edtShadowOffset->SetText("3");
        cmbShadowPosition->SetItemIndex(kGlow);
      }
      const bool alpha = Vexlane1->EnableAlphaChannel();
      for (TControl* c : std::initializer_list<TControl*>{lblAddSoftShadow, edtShadowRadius, updShadowRadius,
                                                          lblShadowRadius, lblShadowColor, pnlShadowColor,
                                                          lblShadowPosition, cmbShadowPosition})
        c->SetEnabled(alpha);
      pnlShadowColor->SetColor(alpha ? clBlack : clBtnFace);
      SoftShadowControlChange(nullptr);
      undos[kShadowTag] = "Add Soft Shadow";
      break;
    }
    default:
      break;
  }
}

void TfPreviews::StoreDistortPage(int Tag) {
  TIPDialogParams* p = fIPDialogParams;
  switch (Tag) {
    case kBumpTag:
      p->BUMPMAP_Left = BumpLeft;
      p->BUMPMAP_Top = BumpTop;
      p->BUMPMAP_Width = BumpWidth;
      p->BUMPMAP_Height = BumpHeight;
      p->BUMPMAP_Col = BumpCol;
      p->BUMPMAP_Src = BumpSrc;
      break;
    case kLensTag:
      p->LENS_Left = LensLeft;
      p->LENS_Top = LensTop;
      p->LENS_Width = LensWidth;
      p->LENS_Height = LensHeight;
      p->LENS_Ref = LensRef;
      break;
    case kWaveTag:
      p->WAVE_Amplitude = WaveAmplitude;
      p->WAVE_WaveLength = WaveWaveLength;
      p->WAVE_Phase = WavePhase;
      p->WAVE_Reflect = WaveReflect;
      break;
    case kShadowTag:
      p->Shadow_Radius = ShadowRadius;
      p->Shadow_Offset = ShadowOffset;
      break;
    default:
      break;
  }
}

// ---- operations ----

void TfPreviews::RunDistortPageOperation(int Tag, TVexlaneView* View, bool IsPreview, void* Sender,
                                         const TVXProgressEvent& OnProgress) {
  TVXBitmap* bmp = View->GetVXBitmap();
  if (!bmp) return;
  TProgressRec rec;
  rec.Sender = Sender;
  if (OnProgress) rec.fOnProgress = OnProgress;
  const auto X = [&](int32_t v) { return IsPreview ? SourceXToPreview(v) : v; };
  const auto Y = [&](int32_t v) { return IsPreview ? SourceYToPreview(v) : v; };
  const auto L = [&](int32_t v) { return IsPreview ? SourceLengthToPreview(v) : v; };
  switch (Tag) {
    case kBumpTag:
      VXDoBumpMapping(bmp, 0, 0, bmp->Width(), bmp->Height(), X(BumpLeft), Y(BumpTop), L(BumpWidth), L(BumpHeight),
                      BumpSrc, BumpCol, rec);
      CurrentOp = "Bumpmap " + std::to_string(BumpLeft) + " " + std::to_string(BumpTop) + " " +
                  std::to_string(BumpWidth) + " " + std::to_string(BumpHeight) + " " + std::to_string(BumpSrc) + " " +
                  std::to_string(BumpCol.r) + ", " + std::to_string(BumpCol.g) + ", " + std::to_string(BumpCol.b);
      break;
    case kLensTag:
      VXDoLens(bmp, X(LensLeft), Y(LensTop), L(LensWidth), L(LensHeight), LensRef, rec);
      CurrentOp = "Lens " + std::to_string(LensLeft) + " " + std::to_string(LensTop) + " " +
                  std::to_string(LensWidth) + " " + std::to_string(LensHeight) + " " + VXFloatToStrDot(LensRef);
      break;
    case kWaveTag:
      VXDoWave(bmp, L(WaveAmplitude), L(WaveWaveLength), WavePhase, WaveReflect, rec);
      CurrentOp = "Wave " + std::to_string(WaveAmplitude) + " " + std::to_string(WaveWaveLength) + " " +
                  std::to_string(WavePhase) + " " + (WaveReflect ? "1" : "0");
      break;
    case kShadowTag: {
      if (!View->EnableAlphaChannel()) break;
      const int pos = cmbShadowPosition->ItemIndex();
      const int32_t dx = pos == kGlow ? 0 : (pos == 0 || pos == 2) ? -ShadowOffset : ShadowOffset;
      const int32_t dy = pos == kGlow ? 0 : (pos == 0 || pos == 1) ? -ShadowOffset : ShadowOffset;
      TVexlaneProc* proc = View->Proc();
      const TVXProgressEvent saved = proc->OnProgress;
      proc->OnProgress = OnProgress;
      struct TRestore {
        TVexlaneProc* Proc;
        TVXProgressEvent Saved;
        ~TRestore() { Proc->OnProgress = Saved; }
      } restore{proc, saved};
      proc->AddSoftShadow(ShadowRadius, dx, dy, true, pnlShadowColor->Color(), 100);
      if (IsPreview) View->Fit();
      CurrentOp = "Add Soft Shadow " + std::to_string(ShadowRadius) + " " + std::to_string(ShadowOffset);
      break;
    }
    default:
      break;
  }
}

// ---- handlers ----

void TfPreviews::Edit22Change() {
  if (!fDoChange) return;
  const int32_t l = BoxInt(Edit22, 0), t = BoxInt(Edit23, 0), w = BoxInt(Edit24, 0), h = BoxInt(Edit25, 0),
                q = BoxInt(Edit26, 0);
  if (l == BumpLeft && t == BumpTop && w == BumpWidth && h == BumpHeight && q == BumpSrc) return;
  BumpLeft = l;
  BumpTop = t;
  BumpWidth = w;
  BumpHeight = h;
  BumpSrc = q;
  RequestPreview(false);
}

void TfPreviews::HSVBox2Change() {
  if (!fDoChange) return;
  BumpCol = VXMakeRGB(HSVBox2->Red(), HSVBox2->Green(), HSVBox2->Blue());
  RequestPreview(false);
}

void TfPreviews::Edit27Change() {
  if (!fDoChange) return;
  const int32_t l = BoxInt(Edit27, 0), t = BoxInt(Edit28, 0), w = BoxInt(Edit29, 0), h = BoxInt(Edit30, 0);
  const double r = BoxInt(Edit31, 0) / 10.0 + 1;
  if (l == LensLeft && t == LensTop && w == LensWidth && h == LensHeight && r == LensRef) return;
  LensLeft = l;
  LensTop = t;
  LensWidth = w;
  LensHeight = h;
  LensRef = r;
  RequestPreview(false);
}

void TfPreviews::Edit32Change() {
  if (!fDoChange) return;
  const int32_t a = BoxInt(Edit32, 0), l = BoxInt(Edit33, 0), ph = BoxInt(Edit34, 0);
  const bool r = CheckBox2->Checked();
  if (a == WaveAmplitude && l == WaveWaveLength && ph == WavePhase && r == WaveReflect) return;
  WaveAmplitude = a;
  WaveWaveLength = l;
  WavePhase = ph;
  WaveReflect = r;
  RequestPreview(false);
}

void TfPreviews::SoftShadowControlChange(void* Sender) {
  const bool offsetOn = cmbShadowPosition->Enabled() && cmbShadowPosition->ItemIndex() != kGlow;
  for (TControl* c : std::initializer_list<TControl*>{edtShadowOffset, updShadowOffset, lblShadowOffset})
    c->SetEnabled(offsetOn);
  if (!fDoChange) return;
  const int32_t radius = BoxInt(edtShadowRadius, 3);
  const int32_t offset = cmbShadowPosition->ItemIndex() == kGlow ? 0 : BoxInt(edtShadowOffset, 3);
  if (Sender == cmbShadowPosition || radius != ShadowRadius || offset != ShadowOffset) {
    ShadowRadius = radius;
    ShadowOffset = offset;
    RequestPreview(false);
  }
}

bool TfPreviews::DistortPagesMouseUp(int X, int Y) {
  TTabSheet* page = PageControl1->ActivePage();
  if (page != tabBumpMap && page != tabLens) return false;
  int32_t sx = 0, sy = 0;
  if (!PreviewToSource(X, Y, sx, sy)) return true;
  if (page == tabBumpMap) {
    BumpLeft = sx;
    BumpTop = sy;
    SetBoxQuiet(this, Edit22, std::to_string(sx));
    SetBoxQuiet(this, Edit23, std::to_string(sy));
  } else {
    LensLeft = sx;
    LensTop = sy;
    SetBoxQuiet(this, Edit27, std::to_string(sx));
    SetBoxQuiet(this, Edit28, std::to_string(sy));
  }
  RequestPreview(false);
  return true;
}
