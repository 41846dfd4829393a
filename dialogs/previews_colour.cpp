// The processing preview dialog's colour pages: Contrast, HSL, RGB, HSV,
// Gamma (with its curve) and Auto-Enhance: their controls, loading,
// handlers, operations and stored values.
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/bitmap.h"
#include "core/pixels.h"
#include "core/rowops.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "dialogs/hsvbox.h"
#include "dialogs/previews.h"
#include "dialogs/previews_controls.h"
#include "proc/colors.h"
#include "proc/dialogparams.h"
#include "proc/proc.h"
#include "proc/tone.h"
#include "view/vexlaneview.h"
#include "words/words.h"

namespace {

// The width of the pages' number boxes.
constexpr int kBoxWidth = 45;

// Decimal text in the locale's format, as the boxes show numbers.
std::string LocaleFloat(double v) { return VXFloatToStrF(v, ffGeneral, 15, 0); }

int BoxInt(TEdit* Box, int Default) { return VXStrToIntDefAnsi(Box->Text(), Default); }

// A box's integer when its text is one.
bool TryBoxInt(TEdit* Box, int& Value) {
  const int a = VXStrToIntDefAnsi(Box->Text(), 0);
  const int b = VXStrToIntDefAnsi(Box->Text(), 1);
  if (a != b) return false;
  Value = a;
  return true;
}

// The box's text as a locale decimal number, when it is one.
bool TryBoxFloat(TEdit* Box, double& Value) {
  const long double a = VXStrToFloatDef(Box->Text(), 0), b = VXStrToFloatDef(Box->Text(), 1);
  if (a != b) return false;
  Value = double(a);
  return true;
}

TTrackBar* NewSlider(TfPreviews* F, TWinControl* Parent, const char* Name, int X, int Y, int Min, int Max) {
  TTrackBar* t = VXPreviewSlider(F, Parent, Name, X, Y, Min, Max, 10);
  t->SetPosition(0);
  return t;
}

}  // namespace

void TfPreviews::CreateColourPages() {
  tabContrast = VXPreviewPage(this, PageControl1, "tabContrast", "Contrast");
  tabHSV = VXPreviewPage(this, PageControl1, "tabHSV", "HSV");
  tabHSL = VXPreviewPage(this, PageControl1, "tabHSL", "HSL");
  tabRGB = VXPreviewPage(this, PageControl1, "tabRGB", "RGB");
  tabGamma = VXPreviewPage(this, PageControl1, "tabGamma", "Gamma");
  tabAutoEnhance = VXPreviewPage(this, PageControl1, "tabAutoEnhance", "Auto-Enhance");

  // Contrast.
  Label3 = VXPreviewLabel(this, tabContrast, "Label3", 8, 16);
  Edit1 = VXPreviewBox(this, tabContrast, "Edit1", 120, 12, kBoxWidth, "0");
  TrackBar1 = NewSlider(this, tabContrast, "TrackBar1", 170, 10, -100, 100);
  Label22 = VXPreviewLabel(this, tabContrast, "Label22", 8, 56);
  Edit21 = VXPreviewBox(this, tabContrast, "Edit21", 120, 52, kBoxWidth, "0");
  TrackBar12 = NewSlider(this, tabContrast, "TrackBar12", 170, 50, -100, 100);
  Label3->SetFocusControl(Edit1);
  Label22->SetFocusControl(Edit21);
  for (TTrackBar* t : {TrackBar1, TrackBar12}) t->OnChange = [this](void*) { TrackBar1Change(); };
  for (TEdit* e : {Edit1, Edit21}) e->OnChange = [this, e](void*) { Edit1Change(e); };

  // HSL.
  Label4 = VXPreviewLabel(this, tabHSL, "Label4", 8, 16);
  Edit4 = VXPreviewBox(this, tabHSL, "Edit4", 120, 12, kBoxWidth, "0");
  TrackBar2 = NewSlider(this, tabHSL, "TrackBar2", 170, 10, -180, 180);
  Label5 = VXPreviewLabel(this, tabHSL, "Label5", 8, 56);
  Edit2 = VXPreviewBox(this, tabHSL, "Edit2", 120, 52, kBoxWidth, "0");
  TrackBar3 = NewSlider(this, tabHSL, "TrackBar3", 170, 50, -100, 100);
  Label6 = VXPreviewLabel(this, tabHSL, "Label6", 8, 96);
  Edit3 = VXPreviewBox(this, tabHSL, "Edit3", 120, 92, kBoxWidth, "0");
  TrackBar5 = NewSlider(this, tabHSL, "TrackBar5", 170, 90, -100, 100);
  for (TTrackBar* t : {TrackBar2, TrackBar3, TrackBar5}) t->OnChange = [this](void*) { TrackBar2Change(); };
  for (TEdit* e : {Edit4, Edit2, Edit3}) e->OnChange = [this, e](void*) { Edit4Change(e); };

  // RGB.
  Label7 = VXPreviewLabel(this, tabRGB, "Label7", 8, 16);
  Edit7 = VXPreviewBox(this, tabRGB, "Edit7", 120, 12, kBoxWidth, "0");
  TrackBar6 = NewSlider(this, tabRGB, "TrackBar6", 170, 10, -255, 255);
  Label8 = VXPreviewLabel(this, tabRGB, "Label8", 8, 56);
  Edit6 = VXPreviewBox(this, tabRGB, "Edit6", 120, 52, kBoxWidth, "0");
  TrackBar7 = NewSlider(this, tabRGB, "TrackBar7", 170, 50, -255, 255);
  Label9 = VXPreviewLabel(this, tabRGB, "Label9", 8, 96);
  Edit5 = VXPreviewBox(this, tabRGB, "Edit5", 120, 92, kBoxWidth, "0");
  TrackBar8 = NewSlider(this, tabRGB, "TrackBar8", 170, 90, -255, 255);
  for (TTrackBar* t : {TrackBar6, TrackBar7, TrackBar8}) t->OnChange = [this](void*) { TrackBar6Change(); };
  for (TEdit* e : {Edit7, Edit6, Edit5}) e->OnChange = [this, e](void*) { Edit7Change(e); };

  // HSV.
  Label10 = VXPreviewLabel(this, tabHSV, "Label10", 8, 16);
  Edit19 = VXPreviewBox(this, tabHSV, "Edit19", 90, 12, kBoxWidth, "0");
  TrackBar9 = NewSlider(this, tabHSV, "TrackBar9", 140, 10, -180, 180);
  Label11 = VXPreviewLabel(this, tabHSV, "Label11", 8, 56);
  Edit18 = VXPreviewBox(this, tabHSV, "Edit18", 90, 52, kBoxWidth, "0");
  TrackBar10 = NewSlider(this, tabHSV, "TrackBar10", 140, 50, -100, 100);
  Label12 = VXPreviewLabel(this, tabHSV, "Label12", 8, 96);
  Edit17 = VXPreviewBox(this, tabHSV, "Edit17", 90, 92, kBoxWidth, "0");
  TrackBar11 = NewSlider(this, tabHSV, "TrackBar11", 140, 90, -100, 100);
  for (TTrackBar* t : {TrackBar9, TrackBar10, TrackBar11}) t->OnChange = [this](void*) { TrackBar9Change(); };
  for (TEdit* e : {Edit19, Edit18, Edit17}) e->OnChange = [this, e](void*) { Edit19Change(e); };
  Label13 = VXPreviewLabel(this, tabHSV, "Label13", 350, 4);
  Label14 = VXPreviewLabel(this, tabHSV, "Label14", 430, 4);
  Panel3 = new TPanel(this);
  Panel3->SetName("Panel3");
  Panel3->SetParent(tabHSV);
  Panel3->SetBevelOuter(bvLowered);
  Panel3->SetBounds(350, 20, 74, 74);
  Panel1 = new TPanel(this);
  Panel1->SetName("Panel1");
  Panel1->SetParent(tabHSV);
  Panel1->SetBevelOuter(bvLowered);
  Panel1->SetBounds(430, 20, 74, 74);
  HSVBox3 = new THSVBox(this);
  HSVBox3->SetName("HSVBox3");
  HSVBox3->SetParent(Panel3);
  HSVBox3->SetBounds(1, 1, 72, 72);
  HSVBox1 = new THSVBox(this);
  HSVBox1->SetName("HSVBox1");
  HSVBox1->SetParent(Panel1);
  HSVBox1->SetBounds(1, 1, 72, 72);
  HSVBox3->OnChange = [this](void*) { HSVBox3Change(); };
  HSVBox1->OnChange = [this](void*) { HSVBox3Change(); };

  // Gamma.
  lblGammaHeading = VXPreviewLabel(this, tabGamma, "lblGammaHeading", 8, 16);
  edtGamma = VXPreviewBox(this, tabGamma, "edtGamma", 120, 12, kBoxWidth, "");
  edtGamma->SetReadOnly(true);
  edtGamma->SetTabStop(false);
  edtGamma->SetColor(clBtnFace);
  trkGamma = NewSlider(this, tabGamma, "trkGamma", 8, 40, 1, 100);
  trkGamma->SetPosition(1);
  trkGamma->OnChange = [this](void*) { trkGammaChange(); };
  GroupBox9 = new TGroupBox(this);
  GroupBox9->SetName("GroupBox9");
  GroupBox9->SetParent(tabGamma);
  GroupBox9->SetBounds(8, 76, 120, 80);
  cbxGamma = new TCheckListBox(this);
  cbxGamma->SetName("cbxGamma");
  cbxGamma->SetParent(GroupBox9);
  cbxGamma->SetBounds(8, 18, 104, 54);
  cbxGamma->Items()->Add("Red");
  cbxGamma->Items()->Add("Green");
  cbxGamma->Items()->Add("Blue");
  cbxGamma->OnClickCheck = [this](void*) { cbxGammaClick(); };
  VexlaneView2 = new TVexlaneView(this);
  VexlaneView2->SetName("VexlaneView2");
  VexlaneView2->SetParent(tabGamma);
  VexlaneView2->SetBounds(250, 10, 120, 120);
  VexlaneView2->SetLegacyBitmap(false);
  Label40 = VXPreviewLabel(this, tabGamma, "Label40", 238, 132);
  Label41 = VXPreviewLabel(this, tabGamma, "Label41", 358, 132);
  Label42 = VXPreviewLabel(this, tabGamma, "Label42", 226, 120);
  Label43 = VXPreviewLabel(this, tabGamma, "Label43", 226, 10);
  Label40->SetCaption("0");
  Label41->SetCaption("255");
  Label42->SetCaption("0");
  Label43->SetCaption("255");

  // Auto-Enhance.
  lblAutoEnhance = VXPreviewLabel(this, tabAutoEnhance, "lblAutoEnhance", 8, 16);
  cmbAutoEnhance = new TComboBox(this);
  cmbAutoEnhance->SetName("cmbAutoEnhance");
  cmbAutoEnhance->SetParent(tabAutoEnhance);
  cmbAutoEnhance->SetBounds(140, 12, 150, 21);
  cmbAutoEnhance->Items()->Add("General");
  cmbAutoEnhance->Items()->Add("Tone Mapping");
  cmbAutoEnhance->SetItemIndex(0);
  pnlAutoEnhance1 = new TPanel(this);
  pnlAutoEnhance1->SetName("pnlAutoEnhance1");
  pnlAutoEnhance1->SetParent(tabAutoEnhance);
  pnlAutoEnhance1->SetBevelOuter(bvNone);
  pnlAutoEnhance1->SetBounds(8, 44, 300, 100);
  lblAutoEnhance1Slope = VXPreviewLabel(this, pnlAutoEnhance1, "lblAutoEnhance1Slope", 0, 4);
  edtAutoEnhance1Slope = VXPreviewBox(this, pnlAutoEnhance1, "edtAutoEnhance1Slope", 132, 0, kBoxWidth, "20");
  updAutoEnhance1Slope = VXPreviewUpDown(this, edtAutoEnhance1Slope, "updAutoEnhance1Slope", 0, 90, 20);
  lblAutoEnhance1Range = VXPreviewLabel(this, pnlAutoEnhance1, "lblAutoEnhance1Range", 0, 32);
  edtAutoEnhance1Range = VXPreviewBox(this, pnlAutoEnhance1, "edtAutoEnhance1Range", 132, 28, kBoxWidth, "25");
  updAutoEnhance1Range = VXPreviewUpDown(this, edtAutoEnhance1Range, "updAutoEnhance1Range", 0, 100, 25);
  lblAutoEnhance1Quality = VXPreviewLabel(this, pnlAutoEnhance1, "lblAutoEnhance1Quality", 0, 60);
  edtAutoEnhance1Quality = VXPreviewBox(this, pnlAutoEnhance1, "edtAutoEnhance1Quality", 132, 56, kBoxWidth, "5");
  updAutoEnhance1Quality = VXPreviewUpDown(this, edtAutoEnhance1Quality, "updAutoEnhance1Quality", 1, 10, 5);
  pnlAutoEnhance3 = new TPanel(this);
  pnlAutoEnhance3->SetName("pnlAutoEnhance3");
  pnlAutoEnhance3->SetParent(tabAutoEnhance);
  pnlAutoEnhance3->SetBevelOuter(bvNone);
  pnlAutoEnhance3->SetBounds(8, 150, 300, 100);
  pnlAutoEnhance3->SetVisible(false);
  lblAutoEnhance3Gamma = VXPreviewLabel(this, pnlAutoEnhance3, "lblAutoEnhance3Gamma", 0, 4);
  edtAutoEnhance3Gamma = VXPreviewBox(this, pnlAutoEnhance3, "edtAutoEnhance3Gamma", 132, 0, kBoxWidth, "0");
  updAutoEnhance3Gamma = new TUpDown(this);
  updAutoEnhance3Gamma->SetName("updAutoEnhance3Gamma");
  updAutoEnhance3Gamma->SetParent(pnlAutoEnhance3);
  updAutoEnhance3Gamma->SetBounds(177, 0, 16, 21);
  updAutoEnhance3Gamma->OnClick = [this](void*, TUDBtnType B) { updAutoEnhance3GammaClick(B); };
  lblAutoEnhance3Saturation = VXPreviewLabel(this, pnlAutoEnhance3, "lblAutoEnhance3Saturation", 0, 32);
  edtAutoEnhance3Saturation = VXPreviewBox(this, pnlAutoEnhance3, "edtAutoEnhance3Saturation", 132, 28, kBoxWidth, "80");
  updAutoEnhance3Saturation =
      VXPreviewUpDown(this, edtAutoEnhance3Saturation, "updAutoEnhance3Saturation", -100, 100, 80);
  cmbAutoEnhance->OnChange = [this](void*) { AutoEnhanceControlChange(); };
  for (TEdit* e : {edtAutoEnhance1Slope, edtAutoEnhance1Range, edtAutoEnhance1Quality, edtAutoEnhance3Gamma,
                   edtAutoEnhance3Saturation})
    e->OnChange = [this](void*) { AutoEnhanceControlChange(); };
}

void TfPreviews::UpdateColourPagesLanguage() {
  const auto W = [](uint16_t i) { return VXLocalizedMessage(i); };
  // Outside English the single-letter channel names follow the word.
  const auto L = [this](uint16_t i, const char* letter) {
    return VXLocalizedMessage(i) + (fEnglish ? std::string(":") : std::string(" (") + letter + "):");
  };
  Label3->SetCaption(W(7) + ":");
  Label22->SetCaption(W(8) + ":");
  Label4->SetCaption(L(9, "H"));
  Label5->SetCaption(L(10, "S"));
  Label6->SetCaption(L(14, "L"));
  Label7->SetCaption(L(15, "R"));
  Label8->SetCaption(L(16, "G"));
  Label9->SetCaption(L(17, "B"));
  Label10->SetCaption(L(9, "H"));
  Label11->SetCaption(L(10, "S"));
  Label12->SetCaption(L(11, "V"));
  Label13->SetCaption(W(12) + ":");
  Label14->SetCaption(W(13) + ":");
  lblGammaHeading->SetCaption(W(102) + ":");
  GroupBox9->SetCaption(" " + W(138) + " ");
  for (int i = 0; i < 3; ++i) {
    const bool checked = cbxGamma->Checked(i);
    cbxGamma->Items()->SetStrings(i, W(uint16_t(15 + i)));
    cbxGamma->SetChecked(i, checked);
  }
  lblAutoEnhance->SetCaption(W(433) + ":");
  const int index = cmbAutoEnhance->ItemIndex();
  cmbAutoEnhance->Items()->SetStrings(0, W(434));
  cmbAutoEnhance->Items()->SetStrings(1, W(435));
  cmbAutoEnhance->SetItemIndex(index);
  lblAutoEnhance1Slope->SetCaption(W(436) + ":");
  lblAutoEnhance1Range->SetCaption(W(437) + ":");
  lblAutoEnhance1Quality->SetCaption(W(38) + ":");
  lblAutoEnhance3Gamma->SetCaption(W(438) + ":");
  lblAutoEnhance3Saturation->SetCaption(W(10) + ":");
}

void TfPreviews::SetSliderAndBox(TTrackBar* Slider, TEdit* Box, int Value) {
  const bool saved = fDoChange;
  fDoChange = false;
  Slider->SetPosition(Value);
  const std::string text = std::to_string(Slider->Position());
  if (Box->Text() != text) Box->SetText(text);
  fDoChange = saved;
}

// ---- loading and storing ----

void TfPreviews::LoadPage(int Tag) {
  TIPDialogParams* p = fIPDialogParams;
  if (!p) return;
  switch (Tag) {
    case 0:
      VXCalcAverageChannels(Vexlane1->GetVXBitmap(), fMedR, fMedG, fMedB);
      Contrast = p->CONTRAST_Contrast;
      Brightness = p->CONTRAST_Brightness;
      SetSliderAndBox(TrackBar1, Edit1, Contrast);
      SetSliderAndBox(TrackBar12, Edit21, Brightness);
      undos[0] = "Contrast/Brightness";
      break;
    case 1:
      Hue = p->HSL_H;
      Sat = p->HSL_S;
      Lum = p->HSL_L;
      SetSliderAndBox(TrackBar2, Edit4, Hue);
      SetSliderAndBox(TrackBar3, Edit2, Sat);
      SetSliderAndBox(TrackBar5, Edit3, Lum);
      undos[1] = "HSL adjust";
      break;
    case 2:
      Red = p->RGB_R;
      Green = p->RGB_G;
      Blue = p->RGB_B;
      SetSliderAndBox(TrackBar6, Edit7, Red);
      SetSliderAndBox(TrackBar7, Edit6, Green);
      SetSliderAndBox(TrackBar8, Edit5, Blue);
      undos[2] = "RGB adjust";
      break;
    case 4:
      bHue = p->HSV_H;
      bSat = p->HSV_S;
      bVal = p->HSV_V;
      SetSliderAndBox(TrackBar9, Edit19, bHue);
      SetSliderAndBox(TrackBar10, Edit18, bSat);
      SetSliderAndBox(TrackBar11, Edit17, bVal);
      undos[4] = "HSV adjust";
      break;
    case 12: {
      const int pos = int(p->GAMMACORRECTION_Value * 10);
      const int before = trkGamma->Position();
      trkGamma->SetPosition(pos);
      // The handler runs once, whether or not the position moved.
      if (trkGamma->Position() == before) trkGammaChange();
      for (int i = 0; i < 3; ++i) cbxGamma->SetChecked(i, true);
      undos[12] = "Gamma Correction";
      break;
    }
    case 16:
      AutoEnhance1Slope = p->AutoEnhance1_Slope;
      AutoEnhance1Range = p->AutoEnhance1_Range;
      AutoEnhance3Gamma = p->AutoEnhance3_Gamma;
      AutoEnhance3Saturation = p->AutoEnhance3_Saturation;
      if (AutoEnhance3Gamma == 0 && AutoEnhance1Range == 0 && AutoEnhance1Slope == 0) {
        AutoEnhance1Slope = 20;
        AutoEnhance1Range = 25;
      }
      if (AutoEnhance3Gamma > 0) {
        cmbAutoEnhance->SetItemIndex(1);
        edtAutoEnhance1Slope->SetText("20");
        edtAutoEnhance1Range->SetText("25");
        edtAutoEnhance3Gamma->SetText(LocaleFloat(AutoEnhance3Gamma));
        edtAutoEnhance3Saturation->SetText(std::to_string(AutoEnhance3Saturation));
        undos[16] = "Tone Mapping Enhancement";
      } else {
        cmbAutoEnhance->SetItemIndex(0);
        edtAutoEnhance1Slope->SetText(std::to_string(AutoEnhance1Slope));
        edtAutoEnhance1Range->SetText(std::to_string(AutoEnhance1Range));
        edtAutoEnhance3Gamma->SetText(LocaleFloat(0.35));
        edtAutoEnhance3Saturation->SetText("80");
        undos[16] = "Auto-Enhancement";
      }
      AutoEnhanceControlChange();
      break;
    default:
      LoadFilterPage(Tag);
      LoadGeometryPage(Tag);
      LoadDistortPage(Tag);
      LoadFFTPage(Tag);
      break;
  }
}

void TfPreviews::StorePage(int Tag) {
  TIPDialogParams* p = fIPDialogParams;
  switch (Tag) {
    case 0:
      p->CONTRAST_Contrast = Contrast;
      p->CONTRAST_Brightness = Brightness;
      break;
    case 1:
      p->HSL_H = Hue;
      p->HSL_S = Sat;
      p->HSL_L = Lum;
      break;
    case 2:
      p->RGB_R = Red;
      p->RGB_G = Green;
      p->RGB_B = Blue;
      break;
    case 4:
      p->HSV_H = bHue;
      p->HSV_S = bSat;
      p->HSV_V = bVal;
      break;
    case 12:
      p->GAMMACORRECTION_Value = trkGamma->Position() / 10.0;
      break;
    case 16:
      p->AutoEnhance1_Slope = AutoEnhance1Slope;
      p->AutoEnhance1_Range = AutoEnhance1Range;
      p->AutoEnhance3_Gamma = AutoEnhance3Gamma;
      p->AutoEnhance3_Saturation = AutoEnhance3Saturation;
      break;
    default:
      StoreFilterPage(Tag);
      StoreGeometryPage(Tag);
      StoreDistortPage(Tag);
      StoreFFTPage(Tag);
      break;
  }
}

// ---- operations ----

void TfPreviews::RunPageOperation(int Tag, TVexlaneView* View, bool IsPreview, void* Sender,
                                  const TVXProgressEvent& OnProgress) {
  TVXBitmap* bmp = View->GetVXBitmap();
  if (!bmp) return;
  const int32_t w = bmp->Width(), h = bmp->Height();
  // The component's own operations report through its progress event.
  TVexlaneProc* proc = View->Proc();
  const TVXProgressEvent savedProgress = proc->OnProgress;
  struct TRestore {
    TVexlaneProc* Proc;
    TVXProgressEvent Saved;
    ~TRestore() { Proc->OnProgress = Saved; }
  } restore{proc, savedProgress};
  proc->OnProgress = OnProgress;
  switch (Tag) {
    case 0:
      VXDoContrast(bmp, 0, 0, w, h, double(Contrast), fMedR, fMedG, fMedB, Sender, OnProgress);
      VXDoIntensityRGBAll(bmp, 0, 0, w, h, Brightness, Brightness, Brightness, Sender, OnProgress);
      CurrentOp = "Contrast " + std::to_string(Contrast) + " Brightness " + std::to_string(Brightness);
      break;
    case 1:
      VXDoHSLVar(bmp, 0, 0, w, h, Hue, Sat, Lum, Sender, OnProgress);
      CurrentOp = "HSL " + std::to_string(Hue) + " " + std::to_string(Sat) + " " + std::to_string(Lum);
      break;
    case 2:
      VXDoIntensityRGBAll(bmp, 0, 0, w, h, Red, Green, Blue, Sender, OnProgress);
      CurrentOp = "RGB " + std::to_string(Red) + " " + std::to_string(Green) + " " + std::to_string(Blue);
      break;
    case 4:
      VXDoHSVVar(bmp, 0, 0, w, h, bHue, bSat, bVal, Sender, OnProgress);
      CurrentOp = "HSV " + std::to_string(bHue) + " " + std::to_string(bSat) + " " + std::to_string(bVal);
      break;
    case 12: {
      const double g = trkGamma->Position() / 10.0;
      TVXChannels channels;
      std::string names;
      static const char* const kNames[3] = {"R", "G", "B"};
      for (int i = 0; i < 3; ++i)
        if (cbxGamma->Checked(i)) {
          channels.Include(TVXChannel(i));
          names += kNames[i];
        }
      proc->GammaCorrect(g, channels);
      CurrentOp = "GammaCorrection " + LocaleFloat(g) + " " + names;
      break;
    }
    case 16:
      if (AutoEnhance3Gamma > 0) {
        CurrentOp = "Tone Mapping Enhancement";
        proc->AutoEnhance3(AutoEnhance3Gamma, AutoEnhance3Saturation);
      } else {
        CurrentOp = "Auto-Enhancement";
        const int q = std::max(1, BoxInt(edtAutoEnhance1Quality, 5));
        int subsampled = (q + 3) * (q + 3);
        int neighbour = std::max(1, q / 2);
        if (IsPreview) {
          // The preview works on a screen-scale copy.
          subsampled /= 2;
          neighbour = std::max(1, neighbour / 2);
        }
        proc->AutoEnhance1(subsampled, AutoEnhance1Slope, AutoEnhance1Range, neighbour);
      }
      break;
    default:
      RunFilterPageOperation(Tag, View, IsPreview, Sender, OnProgress);
      RunGeometryPageOperation(Tag, View, IsPreview, Sender, OnProgress);
      RunDistortPageOperation(Tag, View, IsPreview, Sender, OnProgress);
      RunFFTPageOperation(Tag, View, IsPreview);
      break;
  }
}

// ---- handlers ----

void TfPreviews::TrackBar1Change() {
  if (!fDoChange) return;
  SetSliderAndBox(TrackBar1, Edit1, TrackBar1->Position());
  SetSliderAndBox(TrackBar12, Edit21, TrackBar12->Position());
  if (TrackBar1->Position() != Contrast || TrackBar12->Position() != Brightness) {
    Contrast = TrackBar1->Position();
    Brightness = TrackBar12->Position();
    RequestPreview(false);
  }
}

void TfPreviews::Edit1Change(TEdit* Sender) {
  if (!fDoChange) return;
  (Sender == Edit1 ? TrackBar1 : TrackBar12)->SetPosition(BoxInt(Sender, 0));
}

void TfPreviews::TrackBar2Change() {
  if (!fDoChange) return;
  SetSliderAndBox(TrackBar2, Edit4, TrackBar2->Position());
  SetSliderAndBox(TrackBar3, Edit2, TrackBar3->Position());
  SetSliderAndBox(TrackBar5, Edit3, TrackBar5->Position());
  if (TrackBar2->Position() != Hue || TrackBar3->Position() != Sat || TrackBar5->Position() != Lum) {
    Hue = TrackBar2->Position();
    Sat = TrackBar3->Position();
    Lum = TrackBar5->Position();
    RequestPreview(false);
  }
}

void TfPreviews::Edit4Change(TEdit* Sender) {
  if (!fDoChange) return;
  TTrackBar* t = Sender == Edit4 ? TrackBar2 : Sender == Edit2 ? TrackBar3 : TrackBar5;
  t->SetPosition(BoxInt(Sender, 0));
}

void TfPreviews::TrackBar6Change() {
  if (!fDoChange) return;
  SetSliderAndBox(TrackBar6, Edit7, TrackBar6->Position());
  SetSliderAndBox(TrackBar7, Edit6, TrackBar7->Position());
  SetSliderAndBox(TrackBar8, Edit5, TrackBar8->Position());
  if (TrackBar6->Position() != Red || TrackBar7->Position() != Green || TrackBar8->Position() != Blue) {
    Red = TrackBar6->Position();
    Green = TrackBar7->Position();
    Blue = TrackBar8->Position();
    RequestPreview(false);
  }
}

void TfPreviews::Edit7Change(TEdit* Sender) {
  if (!fDoChange) return;
  TTrackBar* t = Sender == Edit7 ? TrackBar6 : Sender == Edit6 ? TrackBar7 : TrackBar8;
  t->SetPosition(BoxInt(Sender, 0));
}

void TfPreviews::TrackBar9Change() {
  if (!fDoChange) return;
  SetSliderAndBox(TrackBar9, Edit19, TrackBar9->Position());
  SetSliderAndBox(TrackBar10, Edit18, TrackBar10->Position());
  SetSliderAndBox(TrackBar11, Edit17, TrackBar11->Position());
  if (TrackBar9->Position() != bHue || TrackBar10->Position() != bSat || TrackBar11->Position() != bVal) {
    bHue = TrackBar9->Position();
    bSat = TrackBar10->Position();
    bVal = TrackBar11->Position();
    RequestPreview(false);
  }
}

void TfPreviews::Edit19Change(TEdit* Sender) {
  if (!fDoChange) return;
  TTrackBar* t = Sender == Edit19 ? TrackBar9 : Sender == Edit18 ? TrackBar10 : TrackBar11;
  t->SetPosition(BoxInt(Sender, 0));
}

void TfPreviews::HSVBox3Change() {
  if (!fDoChange) return;
  const bool saved = fDoChange;
  fDoChange = false;
  TrackBar9->SetPosition(HSVBox1->Hue() - HSVBox3->Hue());
  TrackBar10->SetPosition(HSVBox1->Sat() - HSVBox3->Sat());
  TrackBar11->SetPosition(HSVBox1->Val() - HSVBox3->Val());
  fDoChange = saved;
  TrackBar9Change();
}

void TfPreviews::Vexlane2MouseUp(TMouseButton Button, int X, int Y) {
  if (DistortPagesMouseUp(X, Y)) return;
  if (Button != mbLeft || PageControl1->ActivePage() != tabHSV) return;
  const TColor c = Vexlane2->GetCanvas()->Pixels(X, Y);
  int32_t h = 0, s = 0, v = 0;
  VXRGBToHSV(VXColorToTRGB(c), h, s, v);
  HSVBox3->SetHue(h);
  HSVBox3->SetSat(s);
  HSVBox3->SetVal(v);
}

void TfPreviews::DrawGammaCurve(double g) {
  TVXBitmap* bmp = VexlaneView2->GetVXBitmap();
  const int W = VexlaneView2->Width(), H = VexlaneView2->Height();
  if (!bmp || W < 1 || H < 1) return;
  if (!bmp->Allocate(W, H, vx24RGB)) return;
  bmp->Fill(TColor(13684944));
  TCanvas* c = bmp->Canvas();
  c->Pen()->SetColor(clBlack);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  std::vector<TPoint> points(256);
  for (int i = 0; i < 256; ++i) {
    const int y = std::clamp(int(std::nearbyint(std::pow(i / 255.0, 1 / g) * 255)), 0, 255);
    points[size_t(i)].X = std::clamp(int(i / 255.0 * W), 0, W - 1);
    points[size_t(i)].Y = std::clamp(int((255 - y) / 255.0 * H), 0, H - 1);
  }
  c->Polyline(points);
  VexlaneView2->Update();
}

void TfPreviews::trkGammaChange() {
  const double g = trkGamma->Position() / 10.0;
  edtGamma->SetText(LocaleFloat(g));
  DrawGammaCurve(g);
  RequestPreview(false);
}

void TfPreviews::cbxGammaClick() {
  if (!fDoChange) return;
  DrawGammaCurve(trkGamma->Position() / 10.0);
  RequestPreview(false);
}

void TfPreviews::AutoEnhanceControlChange() {
  pnlAutoEnhance3->SetBounds(pnlAutoEnhance1->Left(), pnlAutoEnhance1->Top(), pnlAutoEnhance3->Width(),
                             pnlAutoEnhance3->Height());
  pnlAutoEnhance1->SetVisible(cmbAutoEnhance->ItemIndex() == 0);
  pnlAutoEnhance3->SetVisible(cmbAutoEnhance->ItemIndex() != 0);
  if (!fDoChange) return;
  fDoChange = false;
  struct TRestore {
    bool& Flag;
    ~TRestore() { Flag = true; }
  } restore{fDoChange};
  if (cmbAutoEnhance->ItemIndex() == 1) {
    double gamma = 0;
    int saturation = 0;
    if (!TryBoxFloat(edtAutoEnhance3Gamma, gamma) || !TryBoxInt(edtAutoEnhance3Saturation, saturation)) {
      edtAutoEnhance3Gamma->SetText(LocaleFloat(0.35));
      edtAutoEnhance3Saturation->SetText("80");
      return;
    }
    if (gamma != AutoEnhance3Gamma || saturation != AutoEnhance3Saturation) {
      AutoEnhance3Gamma = gamma;
      AutoEnhance3Saturation = saturation;
      AutoEnhance1Slope = 0;
      AutoEnhance1Range = 0;
      RequestPreview(false);
    }
  } else {
    int slope = 0, range = 0;
    if (!TryBoxInt(edtAutoEnhance1Slope, slope) || !TryBoxInt(edtAutoEnhance1Range, range)) {
      edtAutoEnhance1Slope->SetText("20");
      edtAutoEnhance1Range->SetText("25");
      return;
    }
    if (slope != AutoEnhance1Slope || range != AutoEnhance1Range) {
      AutoEnhance1Slope = slope;
      AutoEnhance1Range = range;
      AutoEnhance3Gamma = 0;
      AutoEnhance3Saturation = 0;
      RequestPreview(false);
    }
  }
}

void TfPreviews::updAutoEnhance3GammaClick(TUDBtnType Button) {
  double g = double(VXStrToFloatDef(edtAutoEnhance3Gamma->Text(), 0.01));
  g += Button == btNext ? 0.01 : -0.01;
  g = std::clamp(g, 0.01, 1.0);
  edtAutoEnhance3Gamma->SetText(VXFloatToStrF(g, ffGeneral, 4, 4));
}
