// The save-parameters dialog's format pages: their controls, the working
// copy loaded from the caller's parameters, the controls filled from it, the
// change handlers (the TIFF photometric and colour coupling among them), the
// colour panels, the parameters each preview saves with, and OK.
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "core/bitmap.h"
#include "core/pixels.h"
#include "core/settings.h"
#include "core/textutils.h"
#include "core/winchores.h"
#include "dialogs/iopreviews.h"
#include "dialogs/palettedlg.h"
#include "dialogs/previews_controls.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "view/vexlaneview.h"
#include "words/words.h"

namespace {

struct TLayout {
  int32_t Bits, Samples;
};

// The layouts of the colour lists' entries.
constexpr TLayout kTIFFFullLayouts[] = {{1, 1}, {4, 1}, {8, 1}, {16, 1}, {8, 3}};
constexpr TLayout kTIFFSimpleLayouts[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};
constexpr TLayout kBMPLayouts[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}, {8, 3}};
constexpr TLayout kPCXLayouts[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};
constexpr TLayout kPNGLayouts[] = {{1, 1}, {8, 1}, {8, 3}};

template <size_t N>
bool LayoutOf(const TLayout (&Table)[N], int Index, TLayout& Out) {
  if (Index < 0 || size_t(Index) >= N) return false;
  Out = Table[Index];
  return true;
}

bool IsFax(TIOTIFFCompression c) { return c >= ioTIFF_CCITT1D && c <= ioTIFF_G4FAX; }

int BoxInt(TEdit* Box, int Default) { return VXStrToIntDefAnsi(Box->Text(), Default); }

TTabSheet* NewPage(TfIOPreviews* F, const char* Name, const char* Caption, int Tag) {
  TTabSheet* t = VXPreviewPage(F, F->PageControl1, Name, Caption);
  t->SetTag(Tag);
  return t;
}

TComboBox* NewList(TfIOPreviews* F, TWinControl* Parent, const char* Name, int X, int Y, int W,
                   std::initializer_list<const char*> Items) {
  TComboBox* c = VXPreviewControl<TComboBox>(F, Parent, Name, X, Y, W, 21);
  c->SetStyle(csDropDownList);
  for (const char* s : Items) c->Items()->Add(s);
  return c;
}

TCheckBox* NewCheck(TfIOPreviews* F, TWinControl* Parent, const char* Name, int X, int Y, int W,
                    const char* Caption) {
  TCheckBox* c = VXPreviewControl<TCheckBox>(F, Parent, Name, X, Y, W, 17);
  c->SetCaption(Caption);
  return c;
}

TPanel* NewColourPanel(TfIOPreviews* F, TWinControl* Parent, const char* Name, int X, int Y) {
  TPanel* p = VXPreviewControl<TPanel>(F, Parent, Name, X, Y, 40, 20);
  p->SetBevelOuter(bvLowered);
  p->SetParentBackground(false);
  return p;
}



// A small box for the TIFF and GIF pages' dense groups.
TEdit* SmallBox(TfIOPreviews* F, TWinControl* Parent, const char* Name, int X, int Y, int W) {
  TEdit* e = VXPreviewControl<TEdit>(F, Parent, Name, X, Y, W, 18);
  e->SetText("");
  return e;
}

std::string Cap(int Word, bool Colon = true) { return VXLocalizedMessage(uint16_t(Word)) + (Colon ? ":" : ""); }

}  // namespace

// ---- the controls ----

void TfIOPreviews::CreatePages() {
  TabSheetJPEG1 = NewPage(this, "TabSheetJPEG1", "JPEG", iopJPEG1);
  TabSheetJPEG2 = NewPage(this, "TabSheetJPEG2", "JPEG", iopJPEG2);
  TabSheetTIFF1 = NewPage(this, "TabSheetTIFF1", "TIFF", iopTIFF1);
  TabSheetTIFF2 = NewPage(this, "TabSheetTIFF2", "TIFF", iopTIFF2);
  TabSheetGIF1 = NewPage(this, "TabSheetGIF1", "GIF", iopGIF1);
  TabSheetGIF2 = NewPage(this, "TabSheetGIF2", "GIF", iopGIF2);
  TabSheetBMP1 = NewPage(this, "TabSheetBMP1", "BMP", iopBMP);
  TabSheetPCX1 = NewPage(this, "TabSheetPCX1", "PCX", iopPCX);
  TabSheetPNG1 = NewPage(this, "TabSheetPNG1", "PNG", iopPNG);
  TabSheetTGA1 = NewPage(this, "TabSheetTGA1", "TGA", iopTGA);
  TabSheetJ20001 = NewPage(this, "TabSheetJ20001", "JPEG2000", iopJ2000);
  Pages = {TabSheetJPEG1, TabSheetJPEG2, TabSheetTIFF1, TabSheetTIFF2, TabSheetGIF1, TabSheetGIF2,
           TabSheetBMP1,  TabSheetPCX1,  TabSheetPNG1,  TabSheetTGA1,  TabSheetJ20001};

  // The size lines: side by side near the bottom (the simplified pages, at
  // top 61 and 77, fit the short page control).
  for (int i = 0; i < iopPageCount; ++i) {
    const bool shortPage = i == iopJPEG2 || i == iopTIFF2 || i == iopGIF2;
    const int top = shortPage ? 61 : 140;
    TTabSheet* p = Pages[size_t(i)];
    const std::string n = std::to_string(i);
    TSizeLines& s = SizeLines[size_t(i)];
    s.OriginalCaption = VXPreviewLabel(this, p, ("lblOriginalSize" + n).c_str(), 8, top, 120);
    s.OriginalValue = VXPreviewLabel(this, p, ("lblOriginalSizeValue" + n).c_str(), 8, top + 16, 120);
    s.CompressedCaption = VXPreviewLabel(this, p, ("lblCompressedSize" + n).c_str(), 200, top, 120);
    s.CompressedValue = VXPreviewLabel(this, p, ("lblCompressedSizeValue" + n).c_str(), 200, top + 16, 120);
    s.OriginalCaption->SetCaption("Original size:");
    s.CompressedCaption->SetCaption("Compressed size:");
    s.OriginalValue->SetCaption("---");
    s.CompressedValue->SetCaption("---");
  }

  // JPEG, full.
  TTabSheet* p = TabSheetJPEG1;
  lblJPEGQuality1 = VXPreviewLabel(this, p, "lblJPEGQuality1", 8, 10, 70);
  Edit22 = VXPreviewBox(this, p, "Edit22", 80, 6, 40, "");
  TrackBar13 = VXPreviewSlider(this, p, "TrackBar13", 125, 4, 0, 100, 5);
  GroupBox5 = VXPreviewGroup(this, p, "GroupBox5", 8, 34, 400, 98);
  lblDCTMethod = VXPreviewLabel(this, GroupBox5, "lblDCTMethod", 8, 20, 95);
  ComboBox1 = NewList(this, GroupBox5, "ComboBox1", 105, 16, 90, {"ISlow", "IFast", "Float"});
  lblSmoothing = VXPreviewLabel(this, GroupBox5, "lblSmoothing", 8, 48, 95);
  Edit23 = VXPreviewBox(this, GroupBox5, "Edit23", 105, 44, 40, "0");
  UpDown11 = VXPreviewUpDown(this, Edit23, "UpDown11", 0, 100, std::nullopt);
  lblJPEGPhotometric = VXPreviewLabel(this, GroupBox5, "lblJPEGPhotometric", 205, 20, 75);
  ComboBox13 = NewList(this, GroupBox5, "ComboBox13", 285, 16, 105, {"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"});
  CheckBox2 = NewCheck(this, GroupBox5, "CheckBox2", 205, 48, 180, "Optimal Huffman");
  CheckBox3 = NewCheck(this, GroupBox5, "CheckBox3", 205, 70, 180, "Progressive");
  Edit22->OnChange = [this](void*) { Edit22Change(); };
  Edit23->OnChange = [this](void*) { Edit22Change(); };
  TrackBar13->OnChange = [this](void*) { TrackBar13Change(); };
  CheckBox2->OnClick = [this](void*) { TrackBar13Change(); };
  CheckBox3->OnClick = [this](void*) { TrackBar13Change(); };
  ComboBox1->OnChange = [this](void*) { TrackBar13Change(); };
  ComboBox13->OnChange = [this](void*) { TrackBar13Change(); };

  // JPEG, simplified.
  p = TabSheetJPEG2;
  lblJPEGQuality2 = VXPreviewLabel(this, p, "lblJPEGQuality2", 8, 14, 70);
  Edit16 = VXPreviewBox(this, p, "Edit16", 80, 10, 40, "");
  TrackBar2 = VXPreviewSlider(this, p, "TrackBar2", 125, 8, 0, 100, 5);
  Edit16->OnChange = [this](void*) { Edit16Change(); };
  TrackBar2->OnChange = [this](void*) { TrackBar2Change(); };

  // TIFF, full.
  p = TabSheetTIFF1;
  lblTIFFCompression1 = VXPreviewLabel(this, p, "lblTIFFCompression1", 8, 10, 80);
  ComboBox2 = NewList(this, p, "ComboBox2", 90, 6, 110, {});
  lblTIFFImageIndex = VXPreviewLabel(this, p, "lblTIFFImageIndex", 8, 38, 80);
  Edit1 = VXPreviewBox(this, p, "Edit1", 90, 34, 45, "0");
  UpDown1 = VXPreviewUpDown(this, Edit1, "UpDown1", 0, 1000, std::nullopt);
  UpDown1->SetThousands(false);
  lblTIFFPhotometric = VXPreviewLabel(this, p, "lblTIFFPhotometric", 8, 66, 80);
  ComboBox3 = NewList(this, p, "ComboBox3", 90, 62, 110,
                      {"WhiteIsZero/Gray", "BlackIsZero/Gray", "RGB", "RGBPalette", "TransPMask", "CMYK", "YCbCr",
                       "CIELab"});
  lblTIFFColors1 = VXPreviewLabel(this, p, "lblTIFFColors1", 8, 94, 80);
  ComboBox4 = NewList(this, p, "ComboBox4", 90, 90, 110, {"B/W", "16", "256", "65,536", "16M"});
  GroupBox1 = VXPreviewGroup(this, p, "GroupBox1", 208, 0, 200, 136);
  lblTIFFName = VXPreviewLabel(this, GroupBox1, "lblTIFFName", 6, 16, 80);
  Edit4 = SmallBox(this, GroupBox1, "Edit4", 90, 14, 104);
  lblTIFFDescription = VXPreviewLabel(this, GroupBox1, "lblTIFFDescription", 6, 36, 80);
  Edit5 = SmallBox(this, GroupBox1, "Edit5", 90, 34, 104);
  lblTIFFPageName = VXPreviewLabel(this, GroupBox1, "lblTIFFPageName", 6, 56, 80);
  Edit6 = SmallBox(this, GroupBox1, "Edit6", 90, 54, 104);
  lblTIFFPageNumber = VXPreviewLabel(this, GroupBox1, "lblTIFFPageNumber", 6, 76, 80);
  Edit7 = SmallBox(this, GroupBox1, "Edit7", 90, 74, 40);
  lblTIFFOf = VXPreviewLabel(this, GroupBox1, "lblTIFFOf", 134, 76, 16);
  Edit8 = SmallBox(this, GroupBox1, "Edit8", 154, 74, 40);
  lblTIFFXPos = VXPreviewLabel(this, GroupBox1, "lblTIFFXPos", 6, 96, 120);
  Edit2 = SmallBox(this, GroupBox1, "Edit2", 154, 94, 40);
  lblTIFFYPos = VXPreviewLabel(this, GroupBox1, "lblTIFFYPos", 6, 116, 120);
  Edit3 = SmallBox(this, GroupBox1, "Edit3", 154, 114, 40);
  ComboBox2->OnChange = [this](void*) { ComboBox2Click(ComboBox2); };
  ComboBox3->OnChange = [this](void*) { ComboBox2Click(ComboBox3); };
  ComboBox4->OnChange = [this](void*) { ComboBox2Click(ComboBox4); };
  for (TEdit* e : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8})
    e->OnChange = [this, e](void*) { ComboBox2Click(e); };

  // TIFF, simplified.
  p = TabSheetTIFF2;
  lblTIFFCompression2 = VXPreviewLabel(this, p, "lblTIFFCompression2", 8, 10, 80);
  ComboBox16 = NewList(this, p, "ComboBox16", 90, 6, 110, {});
  lblTIFFColors2 = VXPreviewLabel(this, p, "lblTIFFColors2", 8, 38, 80);
  ComboBox17 = NewList(this, p, "ComboBox17", 90, 34, 110, {"2", "16", "256", "16M"});
  ComboBox16->OnChange = [this](void*) { ComboBox16Change(ComboBox16); };
  ComboBox17->OnChange = [this](void*) { ComboBox16Change(ComboBox17); };

  // GIF, full.
  std::initializer_list<const char*> gifColours = {"B/W", "4", "8", "16", "32", "64", "128", "256"};
  p = TabSheetGIF1;
  lblGIFImageIndex = VXPreviewLabel(this, p, "lblGIFImageIndex", 8, 10, 80);
  Edit9 = VXPreviewBox(this, p, "Edit9", 90, 6, 45, "0");
  UpDown2 = VXPreviewUpDown(this, Edit9, "UpDown2", 0, 1000, std::nullopt);
  UpDown2->SetThousands(false);
  lblGIFColors1 = VXPreviewLabel(this, p, "lblGIFColors1", 8, 38, 80);
  ComboBox5 = NewList(this, p, "ComboBox5", 90, 34, 80, gifColours);
  CheckBox4 = NewCheck(this, p, "CheckBox4", 8, 66, 150, "Transparent:");
  lblGIFTranspColor = VXPreviewLabel(this, p, "lblGIFTranspColor", 8, 94, 100);
  Panel3 = NewColourPanel(this, p, "Panel3", 110, 90);
  CheckBox5 = NewCheck(this, p, "CheckBox5", 208, 66, 150, "Interlaced:");
  lblGIFBackground = VXPreviewLabel(this, p, "lblGIFBackground", 208, 94, 80);
  Panel4 = NewColourPanel(this, p, "Panel4", 300, 90);
  GroupBox2 = VXPreviewGroup(this, p, "GroupBox2", 208, 0, 200, 60);
  lblGIFXPos = VXPreviewLabel(this, GroupBox2, "lblGIFXPos", 6, 16, 50);
  Edit10 = SmallBox(this, GroupBox2, "Edit10", 58, 14, 36);
  lblGIFYPos = VXPreviewLabel(this, GroupBox2, "lblGIFYPos", 100, 16, 50);
  Edit11 = SmallBox(this, GroupBox2, "Edit11", 152, 14, 36);
  lblGIFDelay = VXPreviewLabel(this, GroupBox2, "lblGIFDelay", 6, 38, 60);
  Edit12 = SmallBox(this, GroupBox2, "Edit12", 70, 36, 40);
  lblGIFDelayUnit = VXPreviewLabel(this, GroupBox2, "lblGIFDelayUnit", 114, 38, 50);
  lblGIFDelayUnit->SetCaption("1/100 s");
  for (TEdit* e : {Edit9, Edit10, Edit11, Edit12}) e->OnChange = [this](void*) { ComboBox5Click(); };
  ComboBox5->OnChange = [this](void*) { ComboBox5Click(); };
  CheckBox4->OnClick = [this](void*) { ComboBox5Click(); };
  CheckBox5->OnClick = [this](void*) { ComboBox5Click(); };
  Panel3->OnClick = [this](void*) { Panel3Click(Panel3); };
  Panel4->OnClick = [this](void*) { Panel3Click(Panel4); };

  // GIF, simplified.
  p = TabSheetGIF2;
  lblGIFColors2 = VXPreviewLabel(this, p, "lblGIFColors2", 8, 10, 80);
  ComboBox18 = NewList(this, p, "ComboBox18", 90, 6, 80, gifColours);
  ComboBox18->OnChange = [this](void*) { ComboBox18Change(); };

  // BMP.
  p = TabSheetBMP1;
  lblBMPCompression = VXPreviewLabel(this, p, "lblBMPCompression", 8, 10, 80);
  ComboBox6 = NewList(this, p, "ComboBox6", 90, 6, 110, {"Uncompressed", "RLE"});
  lblBMPColors = VXPreviewLabel(this, p, "lblBMPColors", 8, 38, 80);
  ComboBox7 = NewList(this, p, "ComboBox7", 90, 34, 110, {"B/W", "16", "256", "16M", "16M (32bit)"});
  for (TComboBox* c : {ComboBox6, ComboBox7}) c->OnChange = [this](void*) { ComboBox6Change(); };

  // PCX.
  p = TabSheetPCX1;
  lblPCXCompression = VXPreviewLabel(this, p, "lblPCXCompression", 8, 10, 80);
  ComboBox8 = NewList(this, p, "ComboBox8", 90, 6, 110, {"Uncompressed", "RLE"});
  lblPCXColors = VXPreviewLabel(this, p, "lblPCXColors", 8, 38, 80);
  ComboBox9 = NewList(this, p, "ComboBox9", 90, 34, 110, {"B/W", "16", "256", "16M"});
  for (TComboBox* c : {ComboBox8, ComboBox9}) c->OnChange = [this](void*) { ComboBox8Change(); };

  // PNG.
  p = TabSheetPNG1;
  lblPNGColors = VXPreviewLabel(this, p, "lblPNGColors", 8, 10, 80);
  ComboBox10 = NewList(this, p, "ComboBox10", 90, 6, 80, {"B/W", "256", "16M"});
  lblPNGBackground = VXPreviewLabel(this, p, "lblPNGBackground", 8, 38, 80);
  Panel1 = NewColourPanel(this, p, "Panel1", 90, 34);
  GroupBox3 = VXPreviewGroup(this, p, "GroupBox3", 208, 0, 200, 100);
  lblPNGFilter = VXPreviewLabel(this, GroupBox3, "lblPNGFilter", 8, 20, 80);
  ComboBox11 = NewList(this, GroupBox3, "ComboBox11", 90, 16, 100, {"None", "Sub", "Paeth"});
  CheckBox6 = NewCheck(this, GroupBox3, "CheckBox6", 8, 46, 150, "Interlaced");
  lblPNGCompression = VXPreviewLabel(this, GroupBox3, "lblPNGCompression", 8, 72, 80);
  ComboBox12 = NewList(this, GroupBox3, "ComboBox12", 90, 68, 100,
                       {"None", "1", "2", "3", "4", "5", "6", "7", "8", "Max"});
  for (TComboBox* c : {ComboBox10, ComboBox11, ComboBox12}) c->OnChange = [this](void*) { ComboBox10Change(); };
  CheckBox6->OnClick = [this](void*) { ComboBox10Change(); };
  Panel1->OnClick = [this](void*) { Panel1Click(Panel1); };

  // TGA.
  p = TabSheetTGA1;
  lblTGAColors = VXPreviewLabel(this, p, "lblTGAColors", 8, 10, 80);
  ComboBox14 = NewList(this, p, "ComboBox14", 90, 6, 80, {"B/W", "256", "16M"});
  lblTGABackground = VXPreviewLabel(this, p, "lblTGABackground", 8, 38, 80);
  Panel5 = NewColourPanel(this, p, "Panel5", 90, 34);
  CheckBox1 = NewCheck(this, p, "CheckBox1", 8, 66, 150, "Compression:");
  lblTGAName = VXPreviewLabel(this, p, "lblTGAName", 208, 10, 80);
  Edit13 = VXPreviewBox(this, p, "Edit13", 290, 6, 118, "");
  lblTGADescription = VXPreviewLabel(this, p, "lblTGADescription", 208, 38, 80);
  Edit14 = VXPreviewBox(this, p, "Edit14", 290, 34, 118, "");
  ComboBox14->OnChange = [this](void*) { ComboBox14Click(); };
  CheckBox1->OnClick = [this](void*) { ComboBox14Click(); };
  for (TEdit* e : {Edit13, Edit14}) e->OnChange = [this](void*) { ComboBox14Click(); };
  Panel5->OnClick = [this](void*) { Panel1Click(Panel5); };

  // JPEG 2000.
  p = TabSheetJ20001;
  lblJ2000Rate = VXPreviewLabel(this, p, "lblJ2000Rate", 8, 10, 70);
  Edit15 = VXPreviewBox(this, p, "Edit15", 80, 6, 45, "");
  TrackBar1 = VXPreviewSlider(this, p, "TrackBar1", 130, 4, 0, 1000, 20);
  lblJ2000Photometric = VXPreviewLabel(this, p, "lblJ2000Photometric", 8, 42, 70);
  ComboBox15 = NewList(this, p, "ComboBox15", 80, 38, 100, {"GrayScale", "RGB", "YCbCr"});
  Edit15->OnChange = [this](void*) { Edit15Change(); };
  TrackBar1->OnChange = [this](void*) { TrackBar1Change(); };
  ComboBox15->OnChange = [this](void*) { TrackBar1Change(); };

  PageControl1->SetActivePage(TabSheetJPEG1);
}

void TfIOPreviews::UpdatePagesLanguage() {
  for (TSizeLines& s : SizeLines) {
    s.OriginalCaption->SetCaption(Cap(43));
    s.CompressedCaption->SetCaption(Cap(44));
  }
  lblJPEGQuality1->SetCaption(Cap(38));
  GroupBox5->SetCaption(" " + VXLocalizedMessage(45) + " ");
  lblDCTMethod->SetCaption(Cap(39));
  lblSmoothing->SetCaption(Cap(40));
  lblJPEGPhotometric->SetCaption(Cap(49));
  CheckBox2->SetCaption(Cap(42, false));
  CheckBox3->SetCaption(Cap(46, false));
  lblJPEGQuality2->SetCaption(Cap(38));
  lblTIFFCompression1->SetCaption(Cap(47));
  lblTIFFImageIndex->SetCaption(Cap(48));
  lblTIFFPhotometric->SetCaption(Cap(49));
  lblTIFFColors1->SetCaption(Cap(58));
  GroupBox1->SetCaption(" " + VXLocalizedMessage(50) + " ");
  lblTIFFName->SetCaption(Cap(51));
  lblTIFFDescription->SetCaption(Cap(52));
  lblTIFFPageName->SetCaption(Cap(53));
  lblTIFFPageNumber->SetCaption(Cap(54));
  lblTIFFOf->SetCaption(Cap(55, false));
  lblTIFFXPos->SetCaption(Cap(56));
  lblTIFFYPos->SetCaption(Cap(57));
  lblTIFFCompression2->SetCaption(Cap(47));
  lblTIFFColors2->SetCaption(Cap(58));
  lblGIFImageIndex->SetCaption(Cap(48));
  lblGIFColors1->SetCaption(Cap(58));
  CheckBox4->SetCaption(Cap(59));
  lblGIFTranspColor->SetCaption(Cap(60));
  CheckBox5->SetCaption(Cap(61));
  lblGIFBackground->SetCaption(Cap(62));
  GroupBox2->SetCaption(" " + VXLocalizedMessage(45) + " ");
  lblGIFXPos->SetCaption(Cap(63));
  lblGIFYPos->SetCaption(Cap(64));
  lblGIFDelay->SetCaption(Cap(65));
  lblGIFColors2->SetCaption(Cap(58));
  lblBMPCompression->SetCaption(Cap(47));
  lblBMPColors->SetCaption(Cap(58));
  lblPCXCompression->SetCaption(Cap(47));
  lblPCXColors->SetCaption(Cap(58));
  lblPNGColors->SetCaption(Cap(58));
  lblPNGBackground->SetCaption(Cap(62));
  GroupBox3->SetCaption(" " + VXLocalizedMessage(45) + " ");
  lblPNGFilter->SetCaption(Cap(66));
  CheckBox6->SetCaption(Cap(61, false));
  lblPNGCompression->SetCaption(Cap(47));
  lblTGAColors->SetCaption(Cap(58));
  lblTGABackground->SetCaption(Cap(62));
  CheckBox1->SetCaption(Cap(47));
  lblTGAName->SetCaption(Cap(51));
  lblTGADescription->SetCaption(Cap(52));
  lblJ2000Rate->SetCaption(Cap(123));
  lblJ2000Photometric->SetCaption(Cap(49));
}

void TfIOPreviews::FillTIFFCompressionLists() {
  const bool lzw = VXGetGlobalSettings()->DefTIFF_LZWCOMPFUNC() != nullptr;
  ComboBox2->Items()->Clear();
  for (const char* s : {"Uncompressed", "CCITT1D", "G3Fax1D", "G3Fax2D", "G4Fax"}) ComboBox2->Items()->Add(s);
  if (lzw) ComboBox2->Items()->Add("LZW");
  for (const char* s : {"JPEG", "Packbits", "ZIP"}) ComboBox2->Items()->Add(s);
  ComboBox16->Items()->Assign(ComboBox2->Items());
}

int TfIOPreviews::TIFFCompressionIndex(TIOTIFFCompression c) const {
  const bool lzw = VXGetGlobalSettings()->DefTIFF_LZWCOMPFUNC() != nullptr;
  switch (c) {
    case ioTIFF_UNCOMPRESSED: return 0;
    case ioTIFF_CCITT1D: return 1;
    case ioTIFF_G3FAX1D: return 2;
    case ioTIFF_G3FAX2D: return 3;
    case ioTIFF_G4FAX: return 4;
    case ioTIFF_LZW: return lzw ? 5 : 6;  // without the encoder: shown as Packbits
    case ioTIFF_JPEG: return lzw ? 6 : 5;
    case ioTIFF_PACKBITS: return lzw ? 7 : 6;
    case ioTIFF_ZIP: return lzw ? 8 : 7;
    default: return 0;
  }
}

TIOTIFFCompression TfIOPreviews::TIFFCompressionOfIndex(int Index) const {
  const bool lzw = VXGetGlobalSettings()->DefTIFF_LZWCOMPFUNC() != nullptr;
  if (Index >= 0 && Index <= 4) return TIOTIFFCompression(Index);
  if (lzw) {
    switch (Index) {
      case 5: return ioTIFF_LZW;
      case 6: return ioTIFF_JPEG;
      case 7: return ioTIFF_PACKBITS;
      case 8: return ioTIFF_ZIP;
    }
  } else {
    switch (Index) {
      case 5: return ioTIFF_JPEG;
      case 6: return ioTIFF_PACKBITS;
      case 7: return ioTIFF_ZIP;
    }
  }
  return ioTIFF_UNCOMPRESSED;
}

void TfIOPreviews::ApplySimplifiedLayout() {
  for (int i : {iopBMP, iopPCX, iopPNG, iopTGA, iopJ2000}) {
    TSizeLines& s = SizeLines[size_t(i)];
    s.OriginalCaption->SetTop(61);
    s.CompressedCaption->SetTop(61);
    s.OriginalValue->SetTop(77);
    s.CompressedValue->SetTop(77);
  }
  for (TControl* c : std::initializer_list<TControl*>{lblPNGBackground, Panel1, GroupBox3, lblTGABackground, Panel5,
                                                      lblTGAName, Edit13, lblTGADescription, Edit14,
                                                      lblJ2000Photometric, ComboBox15})
    c->SetVisible(false);
}

// ---- working values ----

void TfIOPreviews::ResetParameters() {
  if (!Params) return;
  const TIOParamsVals& P = *Params;
  JPEG_Quality = P.JPEG_Quality();
  JPEG_Photometric = int32_t(P.JPEG_ColorSpace());
  if (int(P.JPEG_DCTMethod()) <= 2) JPEG_DCTMethod = int32_t(P.JPEG_DCTMethod());
  JPEG_OptimalHuffman = P.JPEG_OptimalHuffman();
  JPEG_Smooth = P.JPEG_Smooth();
  JPEG_Progressive = P.JPEG_Progressive();
  J2000_Rate = P.J2000_Rate();
  J2000_ColorSpace = int32_t(P.J2000_ColorSpace());
  TIFF_Compression = P.TIFF_Compression();
  TIFF_ImageIndex = P.TIFF_ImageIndex();
  TIFF_PhotometInterpret = P.TIFF_PhotometInterpret();
  TIFF_XPos = P.TIFF_XPos();
  TIFF_YPos = P.TIFF_YPos();
  TIFF_DocumentName = P.TIFF_DocumentName();
  TIFF_ImageDescription = P.TIFF_ImageDescription();
  TIFF_PageName = P.TIFF_PageName();
  TIFF_PageNumber = P.TIFF_PageNumber();
  TIFF_PageCount = P.TIFF_PageCount();
  TIFF_BitsPerSample = P.BitsPerSample();
  TIFF_SamplesPerPixel = P.SamplesPerPixel();
  TIFF_LZWDecompFunc = P.TIFF_LZWDecompFunc();
  TIFF_LZWCompFunc = P.TIFF_LZWCompFunc();
  GIF_ImageIndex = P.GIF_ImageIndex();
  GIF_XPos = P.GIF_XPos();
  GIF_YPos = P.GIF_YPos();
  GIF_DelayTime = P.GIF_DelayTime();
  GIF_FlagTranspColor = P.GIF_FlagTranspColor();
  GIF_TranspColor = P.GIF_TranspColor();
  GIF_Interlaced = P.GIF_Interlaced();
  GIF_Background = P.GIF_Background();
  GIF_BitsPerSample = P.BitsPerSample();
  GIF_LZWDecompFunc = P.GIF_LZWDecompFunc();
  GIF_LZWCompFunc = P.GIF_LZWCompFunc();
  const int32_t bits = P.BitsPerSample(), samples = P.SamplesPerPixel();
  BMP_Compression = P.BMP_Compression();
  PCX_Compression = P.PCX_Compression();
  if (samples == 1) {
    if (bits == 1) BMP_BitsPerPixel = PCX_BitsPerPixel = 0;
    else if (bits == 4) BMP_BitsPerPixel = PCX_BitsPerPixel = 1;
    else if (bits == 8) BMP_BitsPerPixel = PCX_BitsPerPixel = 2;
  } else if (samples == 3) {
    if (bits == 5 || bits == 8) BMP_BitsPerPixel = 3;
    PCX_BitsPerPixel = 3;
  }
  PNG_Colors = samples == 1 ? (bits == 1 ? 0 : 1) : 2;
  PNG_Interlaced = P.PNG_Interlaced();
  PNG_Background = P.PNG_Background();
  PNG_Filter = int32_t(P.PNG_Filter());
  PNG_Compression = P.PNG_Compression();
  TGA_Colors = PNG_Colors;
  TGA_Background = P.TGA_Background();
  TGA_Compressed = P.TGA_Compressed();
  TGA_Name = P.TGA_ImageName();
  TGA_Description = P.TGA_Descriptor();
}

void TfIOPreviews::SetOriginalSize() {
  TVXBitmap* b = vxnSource->GetVXBitmap();
  std::string text = "---";
  if (b && !b->IsEmpty()) text = VXFormatBytesKB(int64_t(b->RowLen()) * b->Height(), 102400);
  for (TSizeLines& s : SizeLines) s.OriginalValue->SetCaption(text);
}

void TfIOPreviews::ApplyParameters() {
  fDoChange = false;
  struct TRestore {
    bool& Flag;
    ~TRestore() { Flag = true; }
  } restore{fDoChange};
  SetOriginalSize();
  switch (ActivePageKind()) {
    case iopJPEG1:
      Edit22->SetText(std::to_string(JPEG_Quality));
      TrackBar13->SetPosition(JPEG_Quality);
      ComboBox13->SetItemIndex(JPEG_Photometric);
      ComboBox1->SetItemIndex(JPEG_DCTMethod);
      CheckBox2->SetChecked(JPEG_OptimalHuffman);
      CheckBox3->SetChecked(JPEG_Progressive);
      Edit23->SetText(std::to_string(JPEG_Smooth));
      break;
    case iopJPEG2:
      Edit16->SetText(std::to_string(JPEG_Quality));
      TrackBar2->SetPosition(JPEG_Quality);
      break;
    case iopJ2000:
      Edit15->SetText(std::to_string(int(std::nearbyint(J2000_Rate * 1000))));
      TrackBar1->SetPosition(int(std::nearbyint(J2000_Rate * 1000)));
      ComboBox15->SetItemIndex(J2000_ColorSpace);
      break;
    case iopTIFF1: {
      const int32_t b = TIFF_BitsPerSample, s = TIFF_SamplesPerPixel;
      if (s == 1) {
        if (b == 1) ComboBox4->SetItemIndex(0);
        else if (b >= 2 && b <= 4) ComboBox4->SetItemIndex(1);
        else if (b >= 5 && b <= 8) ComboBox4->SetItemIndex(2);
        else if (b == 16) ComboBox4->SetItemIndex(3);
      } else if (s == 3 && b == 8) {
        ComboBox4->SetItemIndex(4);
      }
      ComboBox2->SetItemIndex(TIFFCompressionIndex(TIFF_Compression));
      Edit1->SetText(std::to_string(TIFF_ImageIndex));
      ComboBox3->SetItemIndex(int(TIFF_PhotometInterpret));
      switch (TIFF_PhotometInterpret) {
        case ioTIFF_CMYK: case ioTIFF_YCBCR: case ioTIFF_CIELAB:
          ComboBox4->SetItemIndex(4);
          break;
        case ioTIFF_WHITEISZERO: case ioTIFF_BLACKISZERO:
          ComboBox4->SetItemIndex(b == 1 ? 0 : 2);
          break;
        default:
          if (ComboBox4->ItemIndex() == 0) ComboBox4->SetItemIndex(4);
          break;
      }
      Edit4->SetText(TIFF_DocumentName);
      Edit5->SetText(TIFF_ImageDescription);
      Edit6->SetText(TIFF_PageName);
      Edit7->SetText(std::to_string(TIFF_PageNumber));
      Edit8->SetText(std::to_string(TIFF_PageCount));
      Edit2->SetText(std::to_string(TIFF_XPos));
      Edit3->SetText(std::to_string(TIFF_YPos));
      break;
    }
    case iopTIFF2: {
      ComboBox16->SetItemIndex(TIFFCompressionIndex(TIFF_Compression));
      if (IsFax(TIFF_Compression)) {
        TIFF_BitsPerSample = 1;
        TIFF_SamplesPerPixel = 1;
      } else if (TIFF_Compression == ioTIFF_JPEG) {
        TIFF_BitsPerSample = 8;
        TIFF_SamplesPerPixel = 3;
      }
      const int32_t b = TIFF_BitsPerSample, s = TIFF_SamplesPerPixel;
      if (s == 1 && b == 1) ComboBox17->SetItemIndex(0);
      else if (s == 1 && b >= 2 && b <= 4) ComboBox17->SetItemIndex(1);
      else if (s == 1 && b >= 5 && b <= 8) ComboBox17->SetItemIndex(2);
      else if (s == 3 && b == 8) ComboBox17->SetItemIndex(3);
      break;
    }
    case iopGIF1:
      ComboBox5->SetItemIndex(GIF_BitsPerSample - 1);
      Edit9->SetText(std::to_string(GIF_ImageIndex));
      CheckBox4->SetChecked(GIF_FlagTranspColor);
      lblGIFTranspColor->SetEnabled(GIF_FlagTranspColor);
      Panel3->SetEnabled(GIF_FlagTranspColor);
      Panel3->SetColor(TColor(VXTRGBToColor(GIF_TranspColor)));
      CheckBox5->SetChecked(GIF_Interlaced);
      Edit10->SetText(std::to_string(GIF_XPos));
      Edit11->SetText(std::to_string(GIF_YPos));
      Edit12->SetText(std::to_string(GIF_DelayTime));
      Panel4->SetColor(TColor(VXTRGBToColor(GIF_Background)));
      break;
    case iopGIF2:
      ComboBox18->SetItemIndex(GIF_BitsPerSample - 1);
      break;
    case iopBMP:
      ComboBox6->SetItemIndex(int(BMP_Compression));
      ComboBox7->SetItemIndex(BMP_BitsPerPixel);
      break;
    case iopPCX:
      ComboBox8->SetItemIndex(int(PCX_Compression));
      ComboBox9->SetItemIndex(PCX_BitsPerPixel);
      break;
    case iopPNG:
      ComboBox10->SetItemIndex(PNG_Colors);
      CheckBox6->SetChecked(PNG_Interlaced);
      Panel1->SetColor(TColor(VXTRGBToColor(PNG_Background)));
      ComboBox11->SetItemIndex(PNG_Filter);
      ComboBox12->SetItemIndex(PNG_Compression);
      break;
    case iopTGA:
      ComboBox14->SetItemIndex(TGA_Colors);
      Panel5->SetColor(TColor(VXTRGBToColor(TGA_Background)));
      CheckBox1->SetChecked(TGA_Compressed);
      Edit13->SetText(TGA_Name);
      Edit14->SetText(TGA_Description);
      break;
    default:
      break;
  }
}

// ---- change handlers ----

void TfIOPreviews::Edit22Change() {
  if (!fDoChange) return;
  const int q = BoxInt(Edit22, 50), s = BoxInt(Edit23, 0);
  if (q != JPEG_Quality || s != JPEG_Smooth) {
    TrackBar13->SetPosition(q);
    TrackBar13Change();
  }
}

void TfIOPreviews::TrackBar13Change() {
  if (!fDoChange) return;
  const int s = BoxInt(Edit23, 0);
  if (TrackBar13->Position() == JPEG_Quality && ComboBox13->ItemIndex() == JPEG_Photometric &&
      ComboBox1->ItemIndex() == JPEG_DCTMethod && CheckBox2->Checked() == JPEG_OptimalHuffman && s == JPEG_Smooth &&
      CheckBox3->Checked() == JPEG_Progressive)
    return;
  JPEG_Quality = TrackBar13->Position();
  JPEG_Photometric = ComboBox13->ItemIndex();
  JPEG_DCTMethod = ComboBox1->ItemIndex();
  JPEG_OptimalHuffman = CheckBox2->Checked();
  JPEG_Smooth = s;
  JPEG_Progressive = CheckBox3->Checked();
  Edit22->SetText(std::to_string(JPEG_Quality));
  RestartApplyTimer();
  btnApply->SetEnabled(true);
}

void TfIOPreviews::Edit16Change() {
  if (!fDoChange) return;
  const int q = BoxInt(Edit16, 50);
  if (q != JPEG_Quality) {
    TrackBar2->SetPosition(q);
    TrackBar2Change();
  }
}

void TfIOPreviews::TrackBar2Change() {
  if (!fDoChange || TrackBar2->Position() == JPEG_Quality) return;
  JPEG_Quality = TrackBar2->Position();
  Edit16->SetText(std::to_string(JPEG_Quality));
  RestartApplyTimer();
  btnApply->SetEnabled(true);
}

void TfIOPreviews::Edit15Change() {
  if (!fDoChange) return;
  const double r = BoxInt(Edit15, 1000) / 1000.0;
  if (r != J2000_Rate) {
    TrackBar1->SetPosition(int(r * 1000));
    TrackBar1Change();
  }
}

void TfIOPreviews::TrackBar1Change() {
  if (!fDoChange) return;
  if (TrackBar1->Position() == int(std::nearbyint(J2000_Rate * 1000)) && ComboBox15->ItemIndex() == J2000_ColorSpace)
    return;
  J2000_Rate = TrackBar1->Position() / 1000.0;
  J2000_ColorSpace = ComboBox15->ItemIndex();
  Edit15->SetText(std::to_string(int(std::nearbyint(J2000_Rate * 1000))));
  RestartApplyTimer();
  btnApply->SetEnabled(true);
}

void TfIOPreviews::ComboBox2Click(void* Sender) {
  if (!fDoChange) return;
  fDoChange = false;
  const int photometric = ComboBox3->ItemIndex();
  if (Sender == ComboBox3) {
    switch (photometric) {
      case ioTIFF_WHITEISZERO: case ioTIFF_BLACKISZERO:
        if (ComboBox4->ItemIndex() != 0) ComboBox4->SetItemIndex(2);
        break;
      case ioTIFF_RGB: case ioTIFF_CMYK: case ioTIFF_YCBCR: case ioTIFF_CIELAB:
        ComboBox4->SetItemIndex(4);
        break;
      case ioTIFF_RGBPALETTE:
        ComboBox4->SetItemIndex(2);
        break;
      default:
        break;
    }
  } else if (Sender == ComboBox4) {
    switch (ComboBox4->ItemIndex()) {
      case 0:
        if (photometric > ioTIFF_BLACKISZERO) ComboBox3->SetItemIndex(ioTIFF_BLACKISZERO);
        break;
      case 1:
        ComboBox3->SetItemIndex(ioTIFF_RGBPALETTE);
        break;
      case 2:
        if (photometric == ioTIFF_RGB || photometric > ioTIFF_RGBPALETTE) ComboBox3->SetItemIndex(ioTIFF_RGBPALETTE);
        break;
      default:
        break;
    }
  }
  fDoChange = true;
  const TIOTIFFCompression compression = TIFFCompressionOfIndex(ComboBox2->ItemIndex());
  const TIOTIFFPhotometInterpret ph =
      ComboBox3->ItemIndex() >= 0 ? TIOTIFFPhotometInterpret(ComboBox3->ItemIndex()) : TIFF_PhotometInterpret;
  // A layout no entry shows (12 x 3, say) stays as it is.
  TLayout layout{TIFF_BitsPerSample, TIFF_SamplesPerPixel};
  if (ph == ioTIFF_CMYK)
    layout = {8, 4};
  else
    LayoutOf(kTIFFFullLayouts, ComboBox4->ItemIndex(), layout);
  if (compression != TIFF_Compression || ph != TIFF_PhotometInterpret || layout.Bits != TIFF_BitsPerSample ||
      layout.Samples != TIFF_SamplesPerPixel) {
    TIFF_Compression = compression;
    TIFF_PhotometInterpret = ph;
    TIFF_BitsPerSample = layout.Bits;
    TIFF_SamplesPerPixel = layout.Samples;
    RestartApplyTimer();
  }
  TIFF_ImageIndex = BoxInt(Edit1, 0);
  TIFF_XPos = BoxInt(Edit2, 0);
  TIFF_YPos = BoxInt(Edit3, 0);
  TIFF_PageNumber = BoxInt(Edit7, 0);
  TIFF_PageCount = BoxInt(Edit8, 0);
  TIFF_DocumentName = Edit4->Text();
  TIFF_ImageDescription = Edit5->Text();
  TIFF_PageName = Edit6->Text();
  btnApply->SetEnabled(true);
}

void TfIOPreviews::ComboBox16Change(void* Sender) {
  if (!fDoChange) return;
  TIOTIFFCompression compression = TIFF_Compression;
  TIOTIFFPhotometInterpret ph = TIFF_PhotometInterpret;
  TLayout layout{TIFF_BitsPerSample, TIFF_SamplesPerPixel};
  fDoChange = false;
  if (Sender == ComboBox16) {
    compression = TIFFCompressionOfIndex(ComboBox16->ItemIndex());
    if (IsFax(compression)) {
      ComboBox17->SetItemIndex(0);
      layout = {1, 1};
      ph = ioTIFF_BLACKISZERO;
    } else if (compression == ioTIFF_JPEG) {
      ComboBox17->SetItemIndex(3);
      layout = {8, 3};
      ph = ioTIFF_YCBCR;
    }
  } else {
    LayoutOf(kTIFFSimpleLayouts, ComboBox17->ItemIndex(), layout);
    if ((layout.Bits > 1 && IsFax(compression)) ||
        (layout.Bits != 8 && layout.Samples != 3 && compression == ioTIFF_JPEG)) {
      compression = ioTIFF_UNCOMPRESSED;
      ComboBox16->SetItemIndex(TIFFCompressionIndex(compression));
    }
  }
  fDoChange = true;
  if (compression != TIFF_Compression || ph != TIFF_PhotometInterpret || layout.Bits != TIFF_BitsPerSample ||
      layout.Samples != TIFF_SamplesPerPixel) {
    TIFF_Compression = compression;
    TIFF_PhotometInterpret = ph;
    TIFF_BitsPerSample = layout.Bits;
    TIFF_SamplesPerPixel = layout.Samples;
    RestartApplyTimer();
  }
  btnApply->SetEnabled(true);
}

void TfIOPreviews::ComboBox5Click() {
  if (!fDoChange) return;
  const int bits = ComboBox5->ItemIndex() + 1;
  if (bits != GIF_BitsPerSample || CheckBox5->Checked() != GIF_Interlaced) {
    GIF_BitsPerSample = bits;
    GIF_Interlaced = CheckBox5->Checked();
    RestartApplyTimer();
  }
  GIF_ImageIndex = BoxInt(Edit9, 0);
  GIF_XPos = BoxInt(Edit10, 0);
  GIF_YPos = BoxInt(Edit11, 0);
  GIF_DelayTime = BoxInt(Edit12, 0);
  GIF_FlagTranspColor = CheckBox4->Checked();
  lblGIFTranspColor->SetEnabled(GIF_FlagTranspColor);
  Panel3->SetEnabled(GIF_FlagTranspColor);
  GIF_Interlaced = CheckBox5->Checked();
  btnApply->SetEnabled(true);
}

void TfIOPreviews::ComboBox18Change() {
  if (!fDoChange) return;
  const int bits = ComboBox18->ItemIndex() + 1;
  if (bits != GIF_BitsPerSample) {
    GIF_BitsPerSample = bits;
    RestartApplyTimer();
  }
  btnApply->SetEnabled(true);
}

void TfIOPreviews::ComboBox6Change() {
  if (!fDoChange) return;
  if (ComboBox7->ItemIndex() != BMP_BitsPerPixel || ComboBox6->ItemIndex() != int(BMP_Compression)) {
    BMP_BitsPerPixel = ComboBox7->ItemIndex();
    BMP_Compression = ComboBox6->ItemIndex() != 0 ? ioBMP_RLE : ioBMP_UNCOMPRESSED;
    RestartApplyTimer();
  }
  btnApply->SetEnabled(true);
}

void TfIOPreviews::ComboBox8Change() {
  if (!fDoChange) return;
  if (ComboBox9->ItemIndex() != PCX_BitsPerPixel || ComboBox8->ItemIndex() != int(PCX_Compression)) {
    PCX_BitsPerPixel = ComboBox9->ItemIndex();
    PCX_Compression = ComboBox8->ItemIndex() != 0 ? ioPCX_RLE : ioPCX_UNCOMPRESSED;
    RestartApplyTimer();
  }
  btnApply->SetEnabled(true);
}

void TfIOPreviews::ComboBox10Change() {
  if (!fDoChange) return;
  if (ComboBox10->ItemIndex() != PNG_Colors || CheckBox6->Checked() != PNG_Interlaced ||
      ComboBox11->ItemIndex() != PNG_Filter || ComboBox12->ItemIndex() != PNG_Compression) {
    PNG_Colors = ComboBox10->ItemIndex();
    PNG_Interlaced = CheckBox6->Checked();
    PNG_Filter = ComboBox11->ItemIndex();
    PNG_Compression = ComboBox12->ItemIndex();
    RestartApplyTimer();
  }
  btnApply->SetEnabled(true);
}

void TfIOPreviews::ComboBox14Click() {
  if (!fDoChange) return;
  if (ComboBox14->ItemIndex() != TGA_Colors || CheckBox1->Checked() != TGA_Compressed) {
    TGA_Colors = ComboBox14->ItemIndex();
    TGA_Compressed = CheckBox1->Checked();
    RestartApplyTimer();
  }
  TGA_Name = Edit13->Text();
  TGA_Description = Edit14->Text();
  btnApply->SetEnabled(true);
}

// ---- colour panels ----

namespace {

// Shows the palette of the preview's parameters with Count entries; the
// panel takes a picked colour.
void PickFromPalette(TfIOPreviews* F, TPanel* Panel, int64_t Count) {
  TIOParamsVals& p = F->vxnPreview->IO()->Params();
  const int32_t n = int32_t(std::clamp<int64_t>(Count, 0, p.ColorMapCount()));
  TVexlanePaletteDialog dialog(nullptr);
  dialog.SetPalette(std::span<const TRGB>(p.fColorMap.data(), p.fColorMap.size()), n);
  dialog.ButtonCancel->SetCaption(F->msgCancel);
  if (dialog.Execute()) Panel->SetColor(dialog.SelCol);
}

int64_t Pow2(int64_t Bits) { return Bits < 0 ? 0 : Bits >= 62 ? INT64_MAX : int64_t(1) << Bits; }

}  // namespace

void TfIOPreviews::Panel3Click(TPanel* Sender) {
  if (!vxnPreview->IO()->Params().ColorMap()) MakePreview();
  PickFromPalette(this, Sender, Pow2(GIF_BitsPerSample));
  const TRGB c = VXColorToTRGB(Sender->Color());
  if (Sender == Panel3)
    GIF_TranspColor = c;
  else
    GIF_Background = c;
  btnApply->SetEnabled(true);
}

void TfIOPreviews::Panel1Click(TPanel* Sender) {
  TIOParamsVals& p = vxnPreview->IO()->Params();
  if (p.ColorMap()) {
    PickFromPalette(this, Sender, Pow2(int64_t(p.BitsPerSample()) * p.SamplesPerPixel()));
  } else {
    TColor c = Sender->Color();
    if (VXColorDialog(c)) Sender->SetColor(c);
  }
  const TRGB c = VXColorToTRGB(Sender->Color());
  if (Sender == Panel1)
    PNG_Background = c;
  else
    TGA_Background = c;
  btnApply->SetEnabled(true);
}

// ---- the preview's parameters and OK ----

void TfIOPreviews::SetPreviewParameters(TIOParamsVals& P, int Page) {
  TLayout layout{8, 3};
  switch (Page) {
    case iopJPEG1:
    case iopJPEG2:
      P.SetJPEG_Quality(JPEG_Quality);
      P.SetJPEG_ColorSpace(TIOJPEGColorspace(std::clamp(JPEG_Photometric, 0, int(ioJPEG_YCbCrK))));
      if (JPEG_DCTMethod >= 0 && JPEG_DCTMethod <= 2) P.SetJPEG_DCTMethod(TIOJPEGDctMethod(JPEG_DCTMethod));
      P.SetJPEG_OptimalHuffman(JPEG_OptimalHuffman);
      P.SetJPEG_Smooth(JPEG_Smooth);
      P.SetJPEG_Progressive(JPEG_Progressive);
      break;
    case iopJ2000:
      P.SetJ2000_Rate(J2000_Rate);
      P.SetJ2000_ColorSpace(TIOJ2000ColorSpace(std::clamp(J2000_ColorSpace, 0, int(ioJ2000_YCbCr))));
      P.SetBitsPerSample(8);
      P.SetSamplesPerPixel(3);
      break;
    case iopTIFF1:
    case iopTIFF2:
      P.SetTIFF_LZWDecompFunc(TIFF_LZWDecompFunc);
      P.SetTIFF_LZWCompFunc(TIFF_LZWCompFunc);
      P.SetTIFF_Compression(TIFF_Compression);
      P.SetTIFF_PhotometInterpret(TIFF_PhotometInterpret);
      P.SetSamplesPerPixel(TIFF_SamplesPerPixel);
      P.SetBitsPerSample(TIFF_BitsPerSample);
      break;
    case iopGIF1:
    case iopGIF2:
      P.SetBitsPerSample(GIF_BitsPerSample);
      P.SetSamplesPerPixel(1);
      P.SetGIF_Interlaced(GIF_Interlaced);
      break;
    case iopBMP:
      P.SetBMP_Compression(BMP_Compression);
      if (LayoutOf(kBMPLayouts, BMP_BitsPerPixel, layout)) {
        P.SetBitsPerSample(layout.Bits);
        P.SetSamplesPerPixel(layout.Samples);
      }
      break;
    case iopPCX:
      P.SetPCX_Compression(PCX_Compression);
      if (LayoutOf(kPCXLayouts, PCX_BitsPerPixel, layout)) {
        P.SetBitsPerSample(layout.Bits);
        P.SetSamplesPerPixel(layout.Samples);
      }
      break;
    case iopPNG:
      if (LayoutOf(kPNGLayouts, PNG_Colors, layout)) {
        P.SetBitsPerSample(layout.Bits);
        P.SetSamplesPerPixel(layout.Samples);
      }
      P.SetPNG_Interlaced(PNG_Interlaced);
      P.SetPNG_Filter(TIOPNGFilter(std::clamp(PNG_Filter, 0, int(ioPNG_FILTER_PAETH))));
      P.SetPNG_Compression(PNG_Compression);
      break;
    case iopTGA:
      if (LayoutOf(kPNGLayouts, TGA_Colors, layout)) {
        P.SetBitsPerSample(layout.Bits);
        P.SetSamplesPerPixel(layout.Samples);
      }
      P.SetTGA_Compressed(TGA_Compressed);
      break;
  }
}

void TfIOPreviews::WriteActivePage() {
  if (!Params) return;
  TIOParamsVals& P = *Params;
  TLayout layout{8, 3};
  const auto setLayout = [&](bool Known) {
    if (!Known) return;
    P.SetBitsPerSample(layout.Bits);
    P.SetSamplesPerPixel(layout.Samples);
  };
  switch (ActivePageKind()) {
    case iopJPEG1:
    case iopJPEG2:
      P.SetJPEG_Quality(JPEG_Quality);
      P.SetJPEG_ColorSpace(TIOJPEGColorspace(std::clamp(JPEG_Photometric, 0, int(ioJPEG_YCbCrK))));
      if (JPEG_DCTMethod >= 0 && JPEG_DCTMethod <= 2) P.SetJPEG_DCTMethod(TIOJPEGDctMethod(JPEG_DCTMethod));
      P.SetJPEG_OptimalHuffman(JPEG_OptimalHuffman);
      P.SetJPEG_Smooth(JPEG_Smooth);
      P.SetJPEG_Progressive(JPEG_Progressive);
      P.SetFileType(3);
      break;
    case iopTIFF1:
    case iopTIFF2:
      P.SetTIFF_Compression(TIFF_Compression);
      P.SetImageIndex(TIFF_ImageIndex);
      P.SetTIFF_PhotometInterpret(TIFF_PhotometInterpret);
      P.SetTIFF_XPos(TIFF_XPos);
      P.SetTIFF_YPos(TIFF_YPos);
      P.SetTIFF_DocumentName(TIFF_DocumentName);
      P.SetTIFF_ImageDescription(TIFF_ImageDescription);
      P.SetTIFF_PageName(TIFF_PageName);
      P.SetTIFF_PageNumber(TIFF_PageNumber);
      P.SetTIFF_PageCount(TIFF_PageCount);
      P.SetSamplesPerPixel(TIFF_SamplesPerPixel);
      P.SetBitsPerSample(TIFF_BitsPerSample);
      P.SetFileType(1);
      break;
    case iopGIF1:
    case iopGIF2:
      P.SetImageIndex(GIF_ImageIndex);
      P.SetGIF_XPos(GIF_XPos);
      P.SetGIF_YPos(GIF_YPos);
      P.SetGIF_DelayTime(GIF_DelayTime);
      P.SetGIF_FlagTranspColor(GIF_FlagTranspColor);
      P.SetGIF_TranspColor(GIF_TranspColor);
      P.SetGIF_Interlaced(GIF_Interlaced);
      P.SetGIF_Background(GIF_Background);
      P.SetBitsPerSample(GIF_BitsPerSample);
      P.SetFileType(2);
      break;
    case iopBMP:
      P.SetBMP_Compression(BMP_Compression);
      setLayout(LayoutOf(kBMPLayouts, BMP_BitsPerPixel, layout));
      P.SetFileType(5);
      break;
    case iopPCX:
      P.SetPCX_Compression(PCX_Compression);
      setLayout(LayoutOf(kPCXLayouts, PCX_BitsPerPixel, layout));
      P.SetFileType(4);
      break;
    case iopPNG:
      setLayout(LayoutOf(kPNGLayouts, PNG_Colors, layout));
      P.SetPNG_Background(PNG_Background);
      P.SetPNG_Interlaced(PNG_Interlaced);
      P.SetPNG_Filter(TIOPNGFilter(std::clamp(PNG_Filter, 0, int(ioPNG_FILTER_PAETH))));
      P.SetPNG_Compression(PNG_Compression);
      P.SetFileType(8);
      break;
    case iopTGA:
      setLayout(LayoutOf(kPNGLayouts, TGA_Colors, layout));
      P.SetTGA_Background(TGA_Background);
      P.SetTGA_Compressed(TGA_Compressed);
      P.SetTGA_ImageName(TGA_Name);
      P.SetTGA_Descriptor(TGA_Description);
      P.SetFileType(11);
      break;
    case iopJ2000:
      switch (J2000_ColorSpace) {
        case ioJ2000_GRAYLEV:
          P.SetBitsPerSample(8);
          P.SetSamplesPerPixel(1);
          P.SetJ2000_ColorSpace(ioJ2000_GRAYLEV);
          break;
        case ioJ2000_RGB:
          P.SetBitsPerSample(8);
          P.SetSamplesPerPixel(3);
          P.SetJ2000_ColorSpace(ioJ2000_RGB);
          break;
        case ioJ2000_YCbCr:
          P.SetBitsPerSample(8);
          P.SetSamplesPerPixel(3);
          P.SetJ2000_ColorSpace(ioJ2000_YCbCr);
          break;
      }
      P.SetJ2000_Rate(J2000_Rate);
      P.SetFileType(14);
      break;
    default:
      break;
  }
}
