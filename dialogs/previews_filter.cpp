// The processing preview dialog's filter and histogram pages: the user
// filter (a 3x3 convolution with presets and filter files), equalization
// (threshold and histogram equalization over a histogram with two rulers),
// the morphological filters and sharpening: their controls, loading, handlers, operations and stored values.
#include <algorithm>
#include <string>

#include "core/bitmap.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "dialogs/histogrambox.h"
#include "dialogs/previews.h"
#include "dialogs/previews_controls.h"
#include "dialogs/rulerbox.h"
#include "gui/buttons.h"
#include "proc/tone.h"
#include "proc/dialogparams.h"
#include "proc/filters.h"
#include "proc/morph.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"
#include "words/words.h"

namespace {

// The width of the pages' number boxes.
constexpr int kBoxWidth = 40;

int BoxInt(TEdit* Box, int Default) { return VXStrToIntDefAnsi(Box->Text(), Default); }

}  // namespace

void TfPreviews::CreateFilterPages() {
  tabFilters = VXPreviewPage(this, PageControl1, "tabFilters", "Filters");
  tabMorph = VXPreviewPage(this, PageControl1, "tabMorph", "Morph");
  tabSharpen = VXPreviewPage(this, PageControl1, "tabSharpen", "Sharpen");

  // User filter: the weight grid (tag = row * 3 + column), the divisor
  // right of it, the presets beside.
  GroupBox1 = VXPreviewGroup(this, tabFilters, "GroupBox1", 8, 4, 280, 110);
  struct TCell {
    TEdit** Box;
    TUpDown** Up;
    const char* Name;
    const char* UpName;
  };
  const TCell cells[10] = {
      {&Edit8, &UpDown1, "Edit8", "UpDown1"},   {&Edit11, &UpDown2, "Edit11", "UpDown2"},
      {&Edit14, &UpDown3, "Edit14", "UpDown3"}, {&Edit9, &UpDown4, "Edit9", "UpDown4"},
      {&Edit12, &UpDown5, "Edit12", "UpDown5"}, {&Edit15, &UpDown6, "Edit15", "UpDown6"},
      {&Edit10, &UpDown7, "Edit10", "UpDown7"}, {&Edit13, &UpDown8, "Edit13", "UpDown8"},
      {&Edit16, &UpDown9, "Edit16", "UpDown9"}, {&Edit20, &UpDown10, "Edit20", "UpDown10"},
  };
  static const int kRows[3] = {21, 48, 75}, kColumns[3] = {10, 77, 144};
  for (int tag = 0; tag < 10; ++tag) {
    const int x = tag < 9 ? kColumns[tag % 3] : 215, y = tag < 9 ? kRows[tag / 3] : kRows[1];
    TEdit* e = VXPreviewBox(this, GroupBox1, cells[tag].Name, x, y, kBoxWidth, tag == 4 ? "1" : "0");
    e->SetTag(tag);
    *cells[tag].Box = e;
    *cells[tag].Up = VXPreviewUpDown(this, e, cells[tag].UpName, -100, 100, tag == 4 ? 1 : 0);
  }
  Label15 = VXPreviewLabel(this, GroupBox1, "Label15", 215, 32);
  for (TEdit* e : {Edit8, Edit11, Edit14, Edit9, Edit12, Edit15, Edit10, Edit13, Edit16, Edit20})
    e->OnChange = [this, e](void*) { Edit8Change(e); };
  Button4 = new TButton(this);
  Button4->SetName("Button4");
  Button4->SetParent(tabFilters);
  Button4->SetBounds(8, 124, 75, 25);
  Button4->OnClick = [this](void*) { Button4Click(); };
  Button5 = new TButton(this);
  Button5->SetName("Button5");
  Button5->SetParent(tabFilters);
  Button5->SetBounds(90, 124, 75, 25);
  Button5->OnClick = [this](void*) { Button5Click(); };
  GroupBox3 = VXPreviewGroup(this, tabFilters, "GroupBox3", 300, 4, 200, 150);
  ListBox1 = new TListBox(this);
  ListBox1->SetName("ListBox1");
  ListBox1->SetParent(GroupBox3);
  ListBox1->SetBounds(8, 18, 184, 124);
  ListBox1->OnClick = [this](void*) { ListBox1Click(); };

  // Morph filters.
  GroupBox7 = VXPreviewGroup(this, tabMorph, "GroupBox7", 8, 4, 300, 150);
  Label37 = VXPreviewLabel(this, GroupBox7, "Label37", 10, 22);
  ListBox2 = new TListBox(this);
  ListBox2->SetName("ListBox2");
  ListBox2->SetParent(GroupBox7);
  ListBox2->SetBounds(10, 40, 140, 70);
  for (const char* s : {"Maximum", "Minimum", "Opening", "Closing"}) ListBox2->Items()->Add(s);
  Label38 = VXPreviewLabel(this, GroupBox7, "Label38", 170, 22);
  Edit35 = VXPreviewBox(this, GroupBox7, "Edit35", 170, 40, kBoxWidth, "1");
  UpDown24 = VXPreviewUpDown(this, Edit35, "UpDown24", 1, 64, 1);
  ListBox2->OnClick = [this](void*) { Edit35Change(); };
  Edit35->OnChange = [this](void*) { Edit35Change(); };

  // Sharpen.
  Label44 = VXPreviewLabel(this, tabSharpen, "Label44", 8, 16);
  Edit36 = VXPreviewBox(this, tabSharpen, "Edit36", 120, 12, kBoxWidth, "0");
  TrackBar4 = new TTrackBar(this);
  TrackBar4->SetName("TrackBar4");
  TrackBar4->SetParent(tabSharpen);
  TrackBar4->SetBounds(170, 10, 200, 25);
  TrackBar4->SetMax(50);
  TrackBar4->SetMin(1);
  TrackBar4->SetPosition(1);
  Label45 = VXPreviewLabel(this, tabSharpen, "Label45", 8, 56);
  Edit37 = VXPreviewBox(this, tabSharpen, "Edit37", 120, 52, kBoxWidth, "1");
  UpDown25 = VXPreviewUpDown(this, Edit37, "UpDown25", 1, 64, 1);
  TrackBar4->OnChange = [this](void*) { TrackBar4Change(); };
  Edit37->OnChange = [this](void*) { TrackBar4Change(); };
  Edit36->OnChange = [this](void*) { Edit36Change(); };
  CreateEqualizationPage();
}

void TfPreviews::UpdateFilterPagesLanguage() {
  const auto W = [](uint16_t i) { return VXLocalizedMessage(i); };
  GroupBox1->SetCaption(" " + W(18) + " ");
  Label15->SetCaption(W(20));
  Button4->SetCaption(W(21));
  Button5->SetCaption(W(22));
  GroupBox3->SetCaption(" " + W(19) + " ");
  OpenDialog1->SetTitle(W(88));
  SaveDialog1->SetTitle(W(89));
  GroupBox7->SetCaption(" " + W(73) + " ");
  Label37->SetCaption(W(66) + ":");
  const int index = ListBox2->ItemIndex();
  for (int i = 0; i < 4; ++i) ListBox2->Items()->SetStrings(i, W(uint16_t(75 + i)));
  ListBox2->SetItemIndex(index);
  Label38->SetCaption(W(74) + ":");
  Label44->SetCaption(W(68));
  Label45->SetCaption(W(74));
  Label19->SetCaption(W(23));
  Label18->SetCaption(W(24));
  GroupBox4->SetCaption(" " + W(26) + " ");
  for (int i = 0; i < 4; ++i) {
    const bool checked = CheckListBox1->Checked(i);
    CheckListBox1->Items()->SetStrings(i, W(uint16_t(i < 3 ? 15 + i : 27)));
    CheckListBox1->SetChecked(i, checked);
  }
  SpeedButton3->SetCaption(W(25));
}

void TfPreviews::FillFilterPresets() {
  const int index = ListBox1->ItemIndex();
  ListBox1->Items()->Clear();
  for (int32_t i = 0; i < VXFilterPresetCount(); ++i) ListBox1->Items()->Add(VXGetFilterPresetName(i));
  if (index < ListBox1->Count()) ListBox1->SetItemIndex(index);
}

// ---- loading and storing ----

void TfPreviews::LoadFilterPage(int Tag) {
  TIPDialogParams* p = fIPDialogParams;
  switch (Tag) {
    case 3:
      Filter = p->USERFILTER_Values;
      if (ListBox1->Count() > 0) ListBox1->SetItemIndex(0);
      ShowFilterValues();
      undos[3] = "Convolution Filter";
      break;
    case 5:
      LoadEqualizationPage();
      break;
    case 9:
      MorphFilter = p->MORPH_Filter;
      MorphWinSize = p->MORPH_WinSize;
      ListBox2->SetItemIndex(MorphFilter);
      Edit35->SetText(std::to_string(MorphWinSize));
      undos[9] = "Morph";
      break;
    case 13:
      Sharpen = p->SHARPEN_Sharpen;
      SharpenSize = p->SHARPEN_Size;
      Edit36->SetText(std::to_string(Sharpen));
      Edit37->SetText(std::to_string(SharpenSize));
      TrackBar4->SetPosition(Sharpen);
      undos[13] = "Sharpen";
      break;
    default:
      break;
  }
}

void TfPreviews::StoreFilterPage(int Tag) {
  TIPDialogParams* p = fIPDialogParams;
  switch (Tag) {
    case 3:
      p->USERFILTER_Values = Filter;
      break;
    case 5:
      p->EQUALIZATION_ThresholdDown = DownLimit;
      p->EQUALIZATION_ThresholdUp = UpLimit;
      p->EQUALIZATION_EqDown = EDownLimit;
      p->EQUALIZATION_EqUp = EUpLimit;
      p->EQUALIZATION_EqualizeButton = AutoEqualize;
      break;
    case 9:
      p->MORPH_Filter = MorphFilter;
      p->MORPH_WinSize = MorphWinSize;
      break;
    case 13:
      p->SHARPEN_Sharpen = Sharpen;
      p->SHARPEN_Size = SharpenSize;
      break;
    default:
      break;
  }
}

// ---- operations ----

void TfPreviews::RunFilterPageOperation(int Tag, TVexlaneView* View, bool IsPreview, void* Sender,
                                        const TVXProgressEvent& OnProgress) {
  TVXBitmap* bmp = View->GetVXBitmap();
  const int32_t w = bmp->Width(), h = bmp->Height();
  switch (Tag) {
    case 3: {
      TProgressRec rec;
      rec.fOnProgress = OnProgress;
      rec.Sender = Sender;
      VXApplyFilter3x3(bmp, Filter, 0, 0, w, h, rec);
      std::string text;
      VXGraphFilterToText(Filter, text);
      CurrentOp = "Filter " + text;
      break;
    }
    case 5:
      RunEqualizationOperation(View, IsPreview, Sender, OnProgress);
      break;
    case 9:
      VXDoMorphFilter(bmp, MorphWinSize, MorphFilter, Sender, OnProgress, 0, 0, w, h);
      CurrentOp = "Morph " + std::to_string(MorphWinSize) + " " + std::to_string(MorphFilter);
      break;
    case 13:
      VXDoSharpen(bmp, 0, 0, Sender, OnProgress, SharpenSize, Sharpen, h, w);
      CurrentOp = "Sharpen " + std::to_string(Sharpen) + " " + std::to_string(SharpenSize);
      break;
    default:
      break;
  }
}

// ---- handlers ----

void TfPreviews::ShowFilterValues() {
  fDoFilters = false;
  for (TEdit* e : {Edit8, Edit11, Edit14, Edit9, Edit12, Edit15, Edit10, Edit13, Edit16}) {
    const int tag = int(e->Tag());
    e->SetText(std::to_string(Filter.Values[tag / 3][tag % 3]));
  }
  Edit20->SetText(std::to_string(Filter.Divisor));
  fDoFilters = true;
}

void TfPreviews::Edit8Change(TEdit* Sender) {
  if (!fDoFilters) return;
  Filter.Divisor = BoxInt(Edit20, 1);
  const int tag = int(Sender->Tag());
  const int v = BoxInt(Sender, 0);
  if (tag == 9)
    Filter.Divisor = v;
  else if (tag >= 0 && tag < 9)
    Filter.Values[tag / 3][tag % 3] = v;
  RequestPreview(false);
}

void TfPreviews::ListBox1Click() {
  if (!fDoChange) return;
  const int i = ListBox1->ItemIndex();
  if (i < 0 || i >= VXFilterPresetCount()) return;
  Filter = *VXGetFilterPreset(i);
  ShowFilterValues();
  RequestPreview(false);
}

void TfPreviews::Button4Click() {
  if (!OpenDialog1->Execute()) return;
  // The file's filter replaces the current one only when it is whole.
  TGraphFilter f = Filter;
  VXLoadGraphFilter(OpenDialog1->FileName(), f);
  Filter = f;
  ShowFilterValues();
  RequestPreview(false);
}

void TfPreviews::Button5Click() {
  if (SaveDialog1->Execute()) VXSaveGraphFilter(SaveDialog1->FileName(), Filter);
}

void TfPreviews::Edit35Change() {
  if (!fDoChange) return;
  const int filter = ListBox2->ItemIndex();
  const int size = BoxInt(Edit35, 1);
  if (filter != MorphFilter || size != MorphWinSize) {
    MorphFilter = filter;
    MorphWinSize = size;
    RequestPreview(false);
  }
}

void TfPreviews::TrackBar4Change() {
  if (!fDoChange) return;
  const int size = BoxInt(Edit37, 2);
  if (TrackBar4->Position() == Sharpen && size == SharpenSize) return;
  Sharpen = TrackBar4->Position();
  const std::string text = std::to_string(Sharpen);
  if (Edit36->Text() != text) Edit36->SetText(text);
  SharpenSize = size;
  RequestPreview(false);
}

void TfPreviews::Edit36Change() {
  if (!fDoChange) return;
  const int v = BoxInt(Edit36, 1);
  if (v == Sharpen) return;
  const int before = TrackBar4->Position();
  TrackBar4->SetPosition(std::clamp(v, 1, 50));
  if (TrackBar4->Position() == before) TrackBar4Change();
}

// ---- the equalization page ----

void TfPreviews::CreateEqualizationPage() {
  tabEqualization = VXPreviewPage(this, PageControl1, "tabEqualization", "Equalization");
  Label19 = VXPreviewLabel(this, tabEqualization, "Label19", 8, 2);
  pnlHistogram = new TPanel(this);
  pnlHistogram->SetName("pnlHistogram");
  pnlHistogram->SetParent(tabEqualization);
  pnlHistogram->SetBevelOuter(bvLowered);
  pnlHistogram->SetBounds(30, 16, 300, 140);
  RulerBox2 = new TRulerBox(this);
  RulerBox2->SetName("RulerBox2");
  RulerBox2->SetParent(pnlHistogram);
  RulerBox2->SetBounds(1, 1, 298, 18);
  RulerBox2->SetGripsDir(gdDown);
  RulerBox2->SetRuler(false);
  HistogramBox1 = new THistogramBox(this);
  HistogramBox1->SetName("HistogramBox1");
  HistogramBox1->SetParent(pnlHistogram);
  HistogramBox1->SetBounds(1, 19, 298, 90);
  HistogramBox1->SetBackground(clSilver);
  HistogramBox1->SetLabels(0);
  RulerBox1 = new TRulerBox(this);
  RulerBox1->SetName("RulerBox1");
  RulerBox1->SetParent(pnlHistogram);
  RulerBox1->SetBounds(1, 109, 298, 30);
  for (TRulerBox* r : {RulerBox1, RulerBox2}) {
    r->SetGripsCount(2);
    r->SetViewMax(255);
    r->SetDotPerUnit(1.1333);
    r->SetFrequency(16);
    r->SetLabelFreq(32);
    r->SetBackground(clSilver);
  }
  RulerBox2->SetMaxGripHeight(15);
  RulerBox2->SetFitInView(true);
  RulerBox2->SetRulerColor(clGray);
  RulerBox1->SetRulerColor(clSilver);
  Label20 = VXPreviewLabel(this, tabEqualization, "Label20", 8, 18, 20);
  Label21 = VXPreviewLabel(this, tabEqualization, "Label21", 334, 18, 30);
  Label18 = VXPreviewLabel(this, tabEqualization, "Label18", 8, 160);
  Label16 = VXPreviewLabel(this, tabEqualization, "Label16", 8, 128, 20);
  Label17 = VXPreviewLabel(this, tabEqualization, "Label17", 334, 128, 30);
  Label20->SetCaption("0");
  Label21->SetCaption("255");
  Label16->SetCaption("0");
  Label17->SetCaption("255");
  GroupBox4 = VXPreviewGroup(this, tabEqualization, "GroupBox4", 380, 4, 120, 100);
  CheckListBox1 = new TCheckListBox(this);
  CheckListBox1->SetName("CheckListBox1");
  CheckListBox1->SetParent(GroupBox4);
  CheckListBox1->SetBounds(8, 18, 104, 74);
  for (const char* s : {"Red", "Green", "Blue", "Gray"}) CheckListBox1->Items()->Add(s);
  SpeedButton3 = new TSpeedButton(this);
  SpeedButton3->SetName("SpeedButton3");
  SpeedButton3->SetParent(tabEqualization);
  SpeedButton3->SetBounds(380, 112, 120, 25);
  SpeedButton3->SetGroupIndex(1);
  SpeedButton3->SetAllowAllUp(true);
  CheckListBox1->OnClickCheck = [this](void*) { CheckListBox1Click(); };
  RulerBox1->OnRulerPosChange = [this](void*, int Grip) { RulerBox1RulerPosChange(RulerBox1, Grip); };
  RulerBox2->OnRulerPosChange = [this](void*, int Grip) { RulerBox1RulerPosChange(RulerBox2, Grip); };
  SpeedButton3->OnClick = [this](void*) { SpeedButton3Click(); };
}

void TfPreviews::CheckListBox1Click() {
  if (!fDoChange) return;
  THistogramKind kind = 0;
  for (int i = 0; i < 4; ++i)
    if (CheckListBox1->Checked(i)) kind |= VXHistogramKindBit(THistogramKindItem(i));
  HistogramBox1->SetHistogramKind(kind);
  const int left = HistogramBox1->Left() + HistogramBox1->HistogramAbsXPos();
  RulerBox1->SetBounds(left, RulerBox1->Top(), HistogramBox1->Width() - left, RulerBox1->Height());
}

void TfPreviews::RulerBox1RulerPosChange(TRulerBox* Sender, int Grip) {
  if (!fDoChange) return;
  // The grip that moved drags the other along.
  if (Sender->GetGripsPos(1) < Sender->GetGripsPos(0)) {
    const bool saved = fDoChange;
    fDoChange = false;
    if (Grip == 1)
      Sender->SetGripsPos(0, Sender->GetGripsPos(1));
    else
      Sender->SetGripsPos(1, Sender->GetGripsPos(0));
    fDoChange = saved;
  }
  const bool threshold = Sender == RulerBox1;
  TLabel* label = threshold ? (Grip == 0 ? Label16 : Label17) : (Grip == 0 ? Label20 : Label21);
  label->SetCaption(std::to_string(int(Sender->GetGripsPos(Grip))));
  const int p0 = int(Sender->GetGripsPos(0)), p1 = int(Sender->GetGripsPos(1));
  TRGB& down = threshold ? DownLimit : EDownLimit;
  TRGB& up = threshold ? UpLimit : EUpLimit;
  const bool gray = CheckListBox1->Checked(3);
  if (CheckListBox1->Checked(0) || gray) {
    down.r = uint8_t(std::clamp(p0, 0, 255));
    up.r = uint8_t(std::clamp(p1, 0, 255));
  }
  if (CheckListBox1->Checked(1) || gray) {
    down.g = uint8_t(std::clamp(p0, 0, 255));
    up.g = uint8_t(std::clamp(p1, 0, 255));
  }
  if (CheckListBox1->Checked(2) || gray) {
    down.b = uint8_t(std::clamp(p0, 0, 255));
    up.b = uint8_t(std::clamp(p1, 0, 255));
  }
  RequestPreview(false);
}

void TfPreviews::SpeedButton3Click() {
  AutoEqualize = SpeedButton3->Down();
  RequestPreview(false);
}

void TfPreviews::LoadEqualizationPage() {
  TIPDialogParams* p = fIPDialogParams;
  DownLimit = p->EQUALIZATION_ThresholdDown;
  UpLimit = p->EQUALIZATION_ThresholdUp;
  EDownLimit = p->EQUALIZATION_EqDown;
  EUpLimit = p->EQUALIZATION_EqUp;
  AutoEqualize = p->EQUALIZATION_EqualizeButton;
  for (int i = 0; i < 4; ++i) CheckListBox1->SetChecked(i, i == 3);
  HistogramBox1->SetHistogramKind(VXHistogramKindBit(hkGray));
  const TColor grey = TColor(0x808080);
  RulerBox1->SetGripsPos(0, DownLimit.r);
  RulerBox1->SetGripsPos(1, UpLimit.r);
  RulerBox2->SetGripsPos(0, EDownLimit.r);
  RulerBox2->SetGripsPos(1, EUpLimit.r);
  for (int i = 0; i < 2; ++i) {
    RulerBox1->SetGripsCol(i, grey);
    RulerBox1->SetGripsKind(i, gkArrow2);
    RulerBox2->SetGripsCol(i, grey);
  }
  SpeedButton3->SetDown(AutoEqualize);
  undos[5] = "Histogram adjust";
}

namespace {
std::string RGBText(TRGB c) {
  return std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b);
}
}  // namespace

void TfPreviews::RunEqualizationOperation(TVexlaneView* View, bool IsPreview, void* Sender,
                                          const TVXProgressEvent& OnProgress) {
  TVXBitmap* bmp = View->GetVXBitmap();
  const int32_t w = bmp->Width(), h = bmp->Height();
  VXDoThreshold(bmp, 0, 0, w, h, DownLimit, UpLimit, TRGB{0, 0, 0}, TRGB{255, 255, 255}, Sender, OnProgress);
  VXDoHistEqualize(bmp, 0, 0, w, h, EDownLimit, EUpLimit, Sender, OnProgress);
  CurrentOp = "Threshold " + RGBText(DownLimit) + " " + RGBText(UpLimit) + " HistEqualize " + RGBText(EDownLimit) +
              " " + RGBText(EUpLimit);
  if (AutoEqualize) {
    VXDoHistAutoEqualize(bmp, 0, 0, w, h, Sender, OnProgress);
    CurrentOp += " (Equalize)";
  }
  if (IsPreview) HistogramBox1->Update();
}
