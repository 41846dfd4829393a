// The source-selection dialog and its pictures.
#include "acquire/acquire_form.h"

#include "acquire/acquire_params.h"
#include "core/dialogbg.h"
#include "core/settings.h"
#include "core/vxdefs.h"
#include "gui/classes.h"
#include "words/words.h"

namespace {

// Pictures drawn as rows of characters: '.' is the transparent background
// (the glyphs' bottom-left pixel), every other character a colour.
TColor ColourOf(char c) {
  switch (c) {
    case 'k': return TColor(0x000000);  // black
    case 'd': return TColor(0x404040);  // dark grey
    case 'g': return TColor(0x808080);  // grey
    case 'l': return TColor(0xC0C0C0);  // light grey
    case 'w': return TColor(0xFFFFFF);  // white
    case 'b': return TColor(0xC06000);  // blue (the colour's bytes are blue, green, red from the top)
    case 'c': return TColor(0xF0C080);  // light blue
    case 'y': return TColor(0x00E0FF);  // yellow
    case 'G': return TColor(0x00A000);  // green
    case 'R': return TColor(0x0000C0);  // red
    default: return clFuchsia;
  }
}

using TArt = const char* const[16];

// A scanner: the lid, the glass with its light and the body.
TArt kScanner = {
    "................", "................", "................", "..dddddddddddd..", ".dllllllllllllld",
    ".dggggggggggggd.", ".dccccccccccccd.", ".dyyyyyyyyyyyyd.", ".dllllllllllllld", ".dllllllllllllld",
    ".dlllllllllGllld", ".dllllllllllllld", ".ddddddddddddddd", "................", "................",
    "................"};
// A camera: the body, the finder and the lens.
TArt kCamera = {
    "................", "................", "................", ".....dddd.......", "..dddllllddddd..",
    ".dllllllllllllld", ".dlllldddddllyld", ".dllldcccccdllld", ".dllldcbbbcdllld", ".dllldcbbbcdllld",
    ".dllldcccccdllld", ".dlllldddddlllld", ".dllllllllllllld", "..dddddddddddd..", "................",
    "................"};
// A drive: a flat box with its light.
TArt kDrive = {
    "................", "................", "................", "................", "................",
    "..dddddddddddd..", ".dwwwwwwwwwwwwd.", ".dllllllllllllld", ".dllllllllllllld", ".dlllllllllGGlld",
    ".dllllllllllllld", ".ddddddddddddddd", "................", "................", "................",
    "................"};
// A device: a handheld with its screen and button.
TArt kDevice = {
    "................", "....dddddddd....", "...dllllllllld..", "...dlkkkkkkkld..", "...dlkccccckld..",
    "...dlkcbbbckld..", "...dlkccccckld..", "...dlkkkkkkkld..", "...dllllllllld..", "...dlllgglllld..",
    "...dllgllglld...", "...dlllgglllld..", "...dllllllllld..", "...dllllllllld..", "....dddddddd....",
    "................"};
// The buttons: a check mark and a cross.
TArt kOK = {
    "................", "................", "............G...", "...........GG...", "..........GGG...",
    ".........GGG....", "..G.....GGG.....", "..GG...GGG......", "..GGG.GGG.......", "...GGGGG........",
    "....GGG.........", ".....G..........", "................", "................", "................",
    "................"};
TArt kCancel = {
    "................", "................", "...RR......RR...", "...RRR....RRR...", "....RRR..RRR....",
    ".....RRRRRR.....", "......RRRR......", "......RRRR......", ".....RRRRRR.....", "....RRR..RRR....",
    "...RRR....RRR...", "...RR......RR...", "................", "................", "................",
    "................"};

// Paints Art at X on the bitmap; Greyed paints every colour in grey tones.
void Paint(TBitmap* B, int X, TArt Art, bool Greyed) {
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const char c = Art[y][x];
      TColor colour = ColourOf(c);
      if (Greyed && c != '.') colour = c == 'd' || c == 'k' || c == 'G' || c == 'R' ? TColor(0x808080) : TColor(0xFFFFFF);
      B->Canvas()->SetPixels(X + x, y, colour);
    }
}

}  // namespace

void VXAddAcquireDevicePictures(TCustomImageList* Images) {
  Images->SetWidth(16);
  Images->SetHeight(16);
  for (TArt* art : {&kScanner, &kCamera, &kDrive, &kDevice}) {
    TBitmap b(16, 16);
    Paint(&b, 0, *art, false);
    Images->AddMasked(&b, clFuchsia);
  }
}

void VXMakeAcquireButtonGlyph(TBitmap* Glyph, bool OK) {
  Glyph->SetSize(32, 16);
  Paint(Glyph, 0, OK ? kOK : kCancel, false);
  Paint(Glyph, 16, OK ? kOK : kCancel, true);
}

TvxxAcquireForm::TvxxAcquireForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("vxxAcquireForm");
  SetCaption("Select Acquire Device");
  SetBorderIcons(VXBorderIconBit(biSystemMenu));
  SetPosition(poScreenCenter);
  SetColor(clBtnFace);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-11);
  SetClientSize(314, 266);

  Image1 = new TImage(this);
  Image1->SetName("Image1");
  Image1->SetParent(this);
  Image1->SetAlign(alClient);
  Image1->SetBounds(0, 0, ClientWidth(), ClientHeight());

  lblCaption = new TLabel(this);
  lblCaption->SetName("lblCaption");
  lblCaption->SetParent(this);
  lblCaption->SetBounds(12, 10, 150, 13);
  lblCaption->SetCaption("Select an acquisition device:");

  lbxSources = new TListBox(this);
  lbxSources->SetName("lbxSources");
  lbxSources->SetParent(this);
  lbxSources->SetBounds(12, 31, 289, 185);
  lbxSources->SetStyle(lbOwnerDrawFixed);
  lbxSources->SetItemHeight(18);
  lbxSources->SetTabStop(true);
  lbxSources->OnClick = [this](void*) { lbxSourcesClick(); };
  lbxSources->OnDrawItem = [this](void*, int Index, const TRect& R, TOwnerDrawState) { lbxSourcesDrawItem(Index, R); };

  pnlButtons = new TPanel(this);
  pnlButtons->SetName("pnlButtons");
  pnlButtons->SetParent(this);
  pnlButtons->SetBounds(0, 220, 314, 45);
  pnlButtons->SetBevelOuter(bvNone);
  pnlButtons->SetCaption("");

  btnOK = new TBitBtn(this);
  btnOK->SetName("btnOK");
  btnOK->SetParent(pnlButtons);
  btnOK->SetBounds(134, 8, 80, 25);
  btnOK->SetCaption("OK");
  btnOK->SetDefault(true);
  btnOK->SetEnabled(false);
  btnOK->SetModalResult(mrOk);
  btnOK->OnClick = [this](void*) { btnOKClick(); };

  btnCancel = new TBitBtn(this);
  btnCancel->SetName("btnCancel");
  btnCancel->SetParent(pnlButtons);
  btnCancel->SetBounds(220, 8, 81, 25);
  btnCancel->SetCaption("Cancel");
  btnCancel->SetCancel(true);
  btnCancel->SetModalResult(mrCancel);

  for (TBitBtn* b : {btnOK, btnCancel}) {
    TBitmap glyph;
    VXMakeAcquireButtonGlyph(&glyph, b == btnOK);
    b->SetGlyph(&glyph);
    b->SetNumGlyphs(2);
  }

  imlDevices = new TImageList(this);
  imlDevices->SetName("imlDevices");
  VXAddAcquireDevicePictures(imlDevices);

  OnActivate = [this](void*) { FormActivate(); };
  OnResize = [this](void*) { FormResize(); };
  FormCreate();
}

TvxxAcquireForm::~TvxxAcquireForm() { DoDestroy(); }

void TvxxAcquireForm::FormCreate() {
  if (VXDialogBackgroundKind != 1 && VXDialogBackgroundKind != 2) return;
  TBitmap* picture = Image1->Picture()->Bitmap();
  if (VXDialogBackgroundKind == 1)
    VXFillStripesBitmap(picture, Image1->Width(), Image1->Height());
  else
    VXFillBrushedMetalBitmap(picture, Image1->Width(), Image1->Height());
  Image1->Repaint();
}

void TvxxAcquireForm::FormActivate() {
  if (Application) Application->ProcessMessages();
  if (!VXGetGlobalSettings()->UseButtonGlyphsInDialogs()) {
    btnOK->SetGlyph(nullptr);
    btnCancel->SetGlyph(nullptr);
  }
  LayoutControls();
  lbxSourcesClick();
}

void TvxxAcquireForm::FormResize() { LayoutControls(); }

void TvxxAcquireForm::LayoutControls() {
  pnlButtons->SetBounds(ClientWidth() - pnlButtons->Width(), ClientHeight() - pnlButtons->Height(),
                        pnlButtons->Width(), pnlButtons->Height());
  lbxSources->SetBounds(lbxSources->Left(), lbxSources->Top(), ClientWidth() - 2 * lbxSources->Left(),
                        pnlButtons->Top() - lbxSources->Top() - 5);
}

std::string TvxxAcquireForm::SelectedSource() {
  const int i = lbxSources->ItemIndex();
  if (i < 0 || i >= lbxSources->Items()->Count()) return "";
  return lbxSources->Items()->Strings(i);
}

void TvxxAcquireForm::SetSelectedSource(const std::string& Value) {
  int found = -1;
  if (!Value.empty())
    for (int i = 0; i < lbxSources->Items()->Count() && found < 0; ++i)
      if (VXCompareText(lbxSources->Items()->Strings(i), Value) == 0) found = i;
  lbxSources->SetItemIndex(found);
}

void TvxxAcquireForm::UpdateLanguage() {
  SetCaption(VXLocalizedMessage(151));
  lblCaption->SetCaption(VXLocalizedMessage(152));
  btnOK->SetCaption(VXLocalizedMessage(3));
  btnCancel->SetCaption(VXLocalizedMessage(4));
}

void TvxxAcquireForm::lbxSourcesClick() { btnOK->SetEnabled(!SelectedSource().empty()); }

void TvxxAcquireForm::lbxSourcesDrawItem(int Index, const TRect& Rect) {
  if (Index < 0 || Index >= lbxSources->Items()->Count()) return;
  const RECT rc{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  const std::string& text = lbxSources->Items()->Strings(Index);
  // A line that is no raw device string shows nothing.
  DrawAcquireSourceItem(lbxSources, rc, IsRawDeviceString(text) ? text : std::string(), imlDevices, 0, 1, 2, 3, 0);
}

void TvxxAcquireForm::btnOKClick() {
  if (SelectedSource().empty()) SetModalResult(mrNone);
}
