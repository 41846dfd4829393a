// The processing preview dialog's filter pages: the user filter (a 3x3
// convolution with presets and filter files), the morphological filters and
// sharpening: their controls, loading, handlers, operations and stored values.
#include <algorithm>
#include <string>

#include "core/bitmap.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "dialogs/previews.h"
#include "proc/dialogparams.h"
#include "proc/filters.h"
#include "proc/morph.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"
#include "words/words.h"

namespace {

int BoxInt(TEdit* Box, int Default) { return VXStrToIntDefAnsi(Box->Text(), Default); }

TLabel* NewLabel(TfPreviews* F, TWinControl* Parent, const char* Name, int X, int Y) {
  TLabel* l = new TLabel(F);
  l->SetName(Name);
  l->SetParent(Parent);
  l->SetBounds(X, Y, 110, 13);
  return l;
}

TEdit* NewBox(TfPreviews* F, TWinControl* Parent, const char* Name, int X, int Y, const char* Text) {
  TEdit* e = new TEdit(F);
  e->SetName(Name);
  e->SetParent(Parent);
  e->SetBounds(X, Y, 40, 21);
  e->SetText(Text);
  return e;
}

TUpDown* NewUpDown(TfPreviews* F, TEdit* Box, const char* Name, int Min, int Max, int Position) {
  TUpDown* u = new TUpDown(F);
  u->SetName(Name);
  u->SetParent(Box->Parent());
  u->SetMin(Min);
  u->SetMax(Max);
  u->SetAssociate(Box);
  u->SetPosition(Position);
  return u;
}

TGroupBox* NewGroup(TfPreviews* F, TWinControl* Parent, const char* Name, int X, int Y, int W, int H) {
  TGroupBox* g = new TGroupBox(F);
  g->SetName(Name);
  g->SetParent(Parent);
  g->SetBounds(X, Y, W, H);
  return g;
}

}  // namespace

void TfPreviews::CreateFilterPages() {
  tabFilters = new TTabSheet(this);
  tabFilters->SetName("tabFilters");
  tabFilters->SetPageControl(PageControl1);
  tabFilters->SetCaption("Filters");
  tabMorph = new TTabSheet(this);
  tabMorph->SetName("tabMorph");
  tabMorph->SetPageControl(PageControl1);
  tabMorph->SetCaption("Morph");
  tabSharpen = new TTabSheet(this);
  tabSharpen->SetName("tabSharpen");
  tabSharpen->SetPageControl(PageControl1);
  tabSharpen->SetCaption("Sharpen");

  // User filter: the weight grid (tag = row * 3 + column), the divisor
  // right of it, the presets beside.
  GroupBox1 = NewGroup(this, tabFilters, "GroupBox1", 8, 4, 280, 110);
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
    TEdit* e = NewBox(this, GroupBox1, cells[tag].Name, x, y, tag == 4 ? "1" : "0");
    e->SetTag(tag);
    *cells[tag].Box = e;
    *cells[tag].Up = NewUpDown(this, e, cells[tag].UpName, -100, 100, tag == 4 ? 1 : 0);
  }
  Label15 = NewLabel(this, GroupBox1, "Label15", 215, 32);
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
  GroupBox3 = NewGroup(this, tabFilters, "GroupBox3", 300, 4, 200, 150);
  ListBox1 = new TListBox(this);
  ListBox1->SetName("ListBox1");
  ListBox1->SetParent(GroupBox3);
  ListBox1->SetBounds(8, 18, 184, 124);
  ListBox1->OnClick = [this](void*) { ListBox1Click(); };

  // Morph filters.
  GroupBox7 = NewGroup(this, tabMorph, "GroupBox7", 8, 4, 300, 150);
  Label37 = NewLabel(this, GroupBox7, "Label37", 10, 22);
  ListBox2 = new TListBox(this);
  ListBox2->SetName("ListBox2");
  ListBox2->SetParent(GroupBox7);
  ListBox2->SetBounds(10, 40, 140, 70);
  for (const char* s : {"Maximum", "Minimum", "Opening", "Closing"}) ListBox2->Items()->Add(s);
  Label38 = NewLabel(this, GroupBox7, "Label38", 170, 22);
  Edit35 = NewBox(this, GroupBox7, "Edit35", 170, 40, "1");
  UpDown24 = NewUpDown(this, Edit35, "UpDown24", 1, 64, 1);
  ListBox2->OnClick = [this](void*) { Edit35Change(); };
  Edit35->OnChange = [this](void*) { Edit35Change(); };

  // Sharpen.
  Label44 = NewLabel(this, tabSharpen, "Label44", 8, 16);
  Edit36 = NewBox(this, tabSharpen, "Edit36", 120, 12, "0");
  TrackBar4 = new TTrackBar(this);
  TrackBar4->SetName("TrackBar4");
  TrackBar4->SetParent(tabSharpen);
  TrackBar4->SetBounds(170, 10, 200, 25);
  TrackBar4->SetMax(50);
  TrackBar4->SetMin(1);
  TrackBar4->SetPosition(1);
  Label45 = NewLabel(this, tabSharpen, "Label45", 8, 56);
  Edit37 = NewBox(this, tabSharpen, "Edit37", 120, 52, "1");
  UpDown25 = NewUpDown(this, Edit37, "UpDown25", 1, 64, 1);
  TrackBar4->OnChange = [this](void*) { TrackBar4Change(); };
  Edit37->OnChange = [this](void*) { TrackBar4Change(); };
  Edit36->OnChange = [this](void*) { Edit36Change(); };
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

void TfPreviews::RunFilterPageOperation(int Tag, TVexlaneView* View, bool, void* Sender,
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
