// The save-parameters preview dialog's frame: creation, the page set,
// activation, page changes, the preview engine with its timer and progress,
// OK and Apply, resizing with the remembered size, the simplified mode, and
// the form the I/O component opens.
#include "dialogs/iopreviews.h"

#include <algorithm>
#include <cmath>

#include "core/bitmap.h"
#include "core/dialogbg.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "gui/graphics.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"
#include "words/words.h"

namespace {

// S(v): a length of the 96-ppi layout on this screen.
int S(int v) { return int(double(v) / 96.0 * double(Screen ? Screen->PixelsPerInch() : 96)); }

template <class F>
struct TScopeEnd {
  F f;
  ~TScopeEnd() { f(); }
};
template <class F>
TScopeEnd(F) -> TScopeEnd<F>;

// The buttons' 16 x 16 pictures: a tick, a cross, a magnifier and an arrow
// on a background of the bottom-left pixel's colour (drawn transparent).
enum TGlyphKind { gkOK, gkCancel, gkPreview, gkApply };

std::unique_ptr<TBitmap> MakeGlyph(TGlyphKind Kind) {
  auto b = std::make_unique<TBitmap>(16, 16, pf24bit);
  TCanvas* c = b->Canvas();
  c->Brush()->SetColor(TColor(0xFF00FF));
  c->FillRect(TRect{0, 0, 16, 16});
  c->Pen()->SetWidth(2);
  switch (Kind) {
    case gkOK:
      c->Pen()->SetColor(TColor(0x008000));
      c->MoveTo(2, 8);
      c->LineTo(6, 12);
      c->LineTo(13, 3);
      break;
    case gkCancel:
      c->Pen()->SetColor(TColor(0x0000C0));
      c->MoveTo(3, 3);
      c->LineTo(12, 12);
      c->MoveTo(12, 3);
      c->LineTo(3, 12);
      break;
    case gkPreview:
      c->Pen()->SetColor(TColor(0x800000));
      c->Brush()->SetColor(TColor(0xFFFFC0));
      c->Ellipse(2, 2, 10, 10);
      c->MoveTo(9, 9);
      c->LineTo(14, 14);
      break;
    case gkApply:
      c->Pen()->SetColor(TColor(0x008080));
      c->MoveTo(2, 8);
      c->LineTo(13, 8);
      c->MoveTo(9, 4);
      c->LineTo(13, 8);
      c->LineTo(9, 12);
      break;
  }
  c->SetPixels(0, 15, TColor(0xFF00FF));
  return b;
}

TBitBtn* NewButton(TfIOPreviews* F, const char* Name, int Y, const char* Caption, TGlyphKind Glyph) {
  TBitBtn* b = new TBitBtn(F);
  b->SetName(Name);
  b->SetParent(F);
  b->SetBounds(442, Y, 87, 25);
  b->SetCaption(Caption);
  b->SetAnchors(VXAnchorBit(akTop) | VXAnchorBit(akRight));
  std::unique_ptr<TBitmap> g = MakeGlyph(Glyph);
  b->SetGlyph(g.get());
  return b;
}

// Which member of TPreviewParams offers a page.
TPreviewParams PageMember(int Page) {
  switch (Page) {
    case iopJPEG1: case iopJPEG2: return ppJPEG;
    case iopTIFF1: case iopTIFF2: return ppTIFF;
    case iopGIF1: case iopGIF2: return ppGIF;
    case iopBMP: return ppBMP;
    case iopPCX: return ppPCX;
    case iopPNG: return ppPNG;
    case iopTGA: return ppTGA;
    case iopJ2000: return ppJ2000;
    default: return 0;
  }
}

}  // namespace

TfIOPreviews::TfIOPreviews(TComponent* AOwner) : TForm(AOwner) {
  SetName("fIOPreviews");
  SetBorderStyle(bsDialog);
  SetBorderIcons(VXBorderIconBit(biSystemMenu));
  SetPosition(poScreenCenter);
  SetClientSize(540, 433);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-11);
  SetCaption("Parameters Preview");
  CreateFrame();
  CreatePages();
  ScaleToScreen();
  OnActivate = [this](void*) { FormActivate(); };
  OnResize = [this](void*) { FormResize(); };
  FormCreate();
}

TfIOPreviews::~TfIOPreviews() { DoDestroy(); }

void TfIOPreviews::CreateFrame() {
  Image1 = new TImage(this);
  Image1->SetName("Image1");
  Image1->SetParent(this);
  Image1->SetAlign(alClient);
  Image1->SetBounds(0, 0, ClientWidth(), ClientHeight());

  lblSource = new TLabel(this);
  lblSource->SetName("lblSource");
  lblSource->SetParent(this);
  lblSource->SetBounds(10, 7, 150, 13);
  lblSource->SetCaption("Source:");
  lblSource->SetTransparent(true);
  lblPreview = new TLabel(this);
  lblPreview->SetName("lblPreview");
  lblPreview->SetParent(this);
  lblPreview->SetBounds(227, 7, 150, 13);
  lblPreview->SetCaption("Result:");
  lblPreview->SetTransparent(true);

  btnOK = NewButton(this, "btnOK", 23, "OK", gkOK);
  btnOK->SetDefault(true);
  btnOK->SetModalResult(mrOk);
  btnOK->OnClick = [this](void*) { btnOKClick(); };
  btnCancel = NewButton(this, "btnCancel", 54, "Cancel", gkCancel);
  btnCancel->SetCancel(true);
  btnCancel->SetModalResult(mrCancel);
  btnPreview = NewButton(this, "btnPreview", 108, "Preview", gkPreview);
  btnPreview->OnClick = [this](void*) { btnPreviewClick(); };
  btnApply = NewButton(this, "btnApply", 138, "Apply", gkApply);
  btnApply->OnClick = [this](void*) { btnApplyClick(); };

  PageControl1 = new TPageControl(this);
  PageControl1->SetName("PageControl1");
  PageControl1->SetParent(this);
  PageControl1->SetBounds(10, 180, 423, 217);
  PageControl1->SetHotTrack(true);
  PageControl1->OnChanging = [this](void*, bool&) { PageControl1Changing(); };
  PageControl1->OnChange = [this](void*) { PageControl1Change(); };

  chkLockPreview = new TCheckBox(this);
  chkLockPreview->SetName("chkLockPreview");
  chkLockPreview->SetParent(this);
  chkLockPreview->SetBounds(10, 405, 251, 17);
  chkLockPreview->SetCaption("Lock Preview");
  chkLockPreview->SetHint("Automatically updates your preview with the changes you have selected");
  chkLockPreview->SetShowHint(false);
  chkLockPreview->OnClick = [this](void*) { chkLockPreviewClick(); };

  vxnSource = new TVexlaneView(this);
  vxnSource->SetName("vxnSource");
  vxnSource->SetParent(this);
  vxnSource->SetBounds(10, 23, 206, 140);
  vxnSource->SetCursor(1782);
  vxnSource->SetBackground(clWhite);
  vxnSource->SetMouseInteract(TVXMouseInteract((1u << miZoom) | (1u << miScroll)));
  vxnSource->SetEnableInteractionHints(true);
  vxnSource->OnViewChange = [this](void*, int32_t) { vxnSourceViewChange(); };
  vxnSource->SetOnProgress([this](void*, int32_t per) { ViewProgress(per); });

  vxnPreview = new TVexlaneView(this);
  vxnPreview->SetName("vxnPreview");
  vxnPreview->SetParent(this);
  vxnPreview->SetBounds(227, 23, 206, 140);
  vxnPreview->SetCursor(1780);
  vxnPreview->SetBackground(clWhite);
  vxnPreview->SetEnableInteractionHints(true);
  vxnPreview->SetOnProgress([this](void*, int32_t per) { ViewProgress(per); });

  pbrPreview = new TProgressBar(this);
  pbrPreview->SetName("pbrPreview");
  pbrPreview->SetParent(this);
  pbrPreview->SetBounds(10, 167, 423, 10);
  pbrPreview->SetVisible(false);

  tmrApplyAct = new TTimer(this);
  tmrApplyAct->SetName("tmrApplyAct");
  tmrApplyAct->SetEnabled(false);
  tmrApplyAct->SetInterval(750);
  tmrApplyAct->OnTimer = [this](void*) { tmrApplyActTimer(); };
}

void TfIOPreviews::FormCreate() {
  fInitialized = false;
  fDefaultDitherMethod = vxThreshold;
  vxnSource->IO()->SetPreviewFont(VXGetDefaultDialogFont());
  vxnPreview->IO()->SetPreviewFont(VXGetDefaultDialogFont());
  msgCancel = "&Cancel";
  for (int i = 0; i < ComponentCount(); ++i)
    if (TTrackBar* t = dynamic_cast<TTrackBar*>(Components(i))) t->SetThumbLength(20);
  for (TPanel* p : {Panel1, Panel3, Panel4, Panel5}) p->SetParentBackground(false);
  btnApply->SetEnabled(false);
  const TResampleFilter filter = VXGetGlobalSettings()->DefaultPreviewsZoomFilter();
  vxnSource->SetZoomFilter(filter);
  vxnPreview->SetZoomFilter(filter);
}

void TfIOPreviews::UpdateLanguage() {
  SetCaption(VXLocalizedMessage(37));
  lblSource->SetCaption(VXLocalizedMessage(1) + ":");
  lblPreview->SetCaption(VXLocalizedMessage(2) + ":");
  btnCancel->SetCaption(VXLocalizedMessage(4));
  btnOK->SetCaption(VXLocalizedMessage(3));
  btnPreview->SetCaption(VXLocalizedMessage(0));
  chkLockPreview->SetCaption(VXLocalizedMessage(5));
  btnApply->SetCaption(VXLocalizedMessage(120));
  msgCancel = "&" + VXLocalizedMessage(4);
  UpdatePagesLanguage();
}

bool TfIOPreviews::SetPreviewParams(TPreviewParams xpp) {
  pp = xpp;
  if (pp & ppAUTO) {
    switch (Params ? Params->FileType() : 0) {
      case 1: pp |= ppTIFF; break;
      case 2: pp |= ppGIF; break;
      case 3: pp |= ppJPEG; break;
      case 4: pp |= ppPCX; break;
      case 5: pp |= ppBMP; break;
      case 8: pp |= ppPNG; break;
      case 11: pp |= ppTGA; break;
      case 13: case 14: pp |= ppJ2000; break;
      default: break;
    }
  }
  return pp != ppAUTO;
}

void TfIOPreviews::SetSimplified(bool v) {
  fSimplified = v;
  int minHeight;
  if (v) {
    PageControl1->SetHeight(S(130));
    minHeight = S(339);
  } else {
    minHeight = S(420);
  }
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const int w = std::max(S(540), settings->IOPreviewsDialogWidth());
  const int h = std::max(minHeight, settings->IOPreviewsDialogHeight());
  SetConstraints(TSizeConstraints{S(540), minHeight, 0, 0});
  SetClientSize(w, h);
}

// ---- activation and pages ----

int TfIOPreviews::ActivePageKind() const {
  TTabSheet* a = PageControl1->ActivePage();
  for (int i = 0; i < iopPageCount; ++i)
    if (Pages[size_t(i)] == a) return i;
  return -1;
}

void TfIOPreviews::FormActivate() {
  // Coming back from a window the dialog opened (the palette or colour
  // dialog) keeps the page, its edits and the lock as the user left them.
  if (fInitialized) return;
  fActivating = true;
  TScopeEnd done{[this] { fActivating = false; }};
  fDoChange = true;
  if (!VXGetGlobalSettings()->UseButtonGlyphsInDialogs())
    for (TBitBtn* b : {btnOK, btnCancel, btnPreview, btnApply}) b->SetGlyph(nullptr);
  chkLockPreview->SetChecked(DefaultLockPreview);
  btnPreview->SetEnabled(!chkLockPreview->Checked());
  btnPreview->SetVisible(!chkLockPreview->Checked());

  PageControl1->SetVisible(false);
  for (TTabSheet* p : Pages) p->SetTabVisible(false);
  const TVXFileFormatInfo* info = Params ? VXFindFileFormatInfo(Params->FileType()) : nullptr;
  TTabSheet* active = nullptr;
  TTabSheet* first = nullptr;
  for (int i = 0; i < iopPageCount; ++i) {
    // The simplified dialog has its own JPEG, TIFF and GIF pages.
    const bool simplifiedOnly = i == iopJPEG2 || i == iopTIFF2 || i == iopGIF2;
    const bool fullOnly = i == iopJPEG1 || i == iopTIFF1 || i == iopGIF1;
    if ((fSimplified && fullOnly) || (!fSimplified && simplifiedOnly)) continue;
    if (!((pp & ppALL) || (pp & PageMember(i)))) continue;
    TTabSheet* page = Pages[size_t(i)];
    page->SetTabVisible(true);
    if (!first) first = page;
    if (info && (info->DialogPage & PageMember(i))) active = page;
  }
  if (!active) active = first;
  if (active) PageControl1->SetActivePage(active);
  if (fSimplified) ApplySimplifiedLayout();
  FillTIFFCompressionLists();

  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  for (TVexlaneView* v : {vxnSource, vxnPreview}) {
    v->SetChessboardStyle(12, bsSolid);
    v->SetBackground(settings->PreviewImageBackgroundColor());
    v->SetBackgroundStyle(settings->PreviewImageBackgroundStyle());
  }

  PageControl1->SetVisible(true);
  ResetParameters();
  ApplyParameters();
  vxnSource->Fit();
  if (Application) Application->ProcessMessages();
  PageControl1Change();
  fInitialized = true;
  MakePreview();
}

void TfIOPreviews::PageControl1Changing() { fDoChange = false; }

void TfIOPreviews::PageControl1Change() {
  fDoChange = true;
  ResetParameters();
  ApplyParameters();
  if (chkLockPreview->Checked()) MakePreview();
  btnApply->SetEnabled(false);
}

// ---- the preview ----

void TfIOPreviews::RestartApplyTimer() {
  if (!chkLockPreview->Checked()) return;
  tmrApplyAct->SetEnabled(false);
  tmrApplyAct->SetEnabled(true);
}

void TfIOPreviews::tmrApplyActTimer() {
  tmrApplyAct->SetEnabled(false);
  MakePreview();
  vxnPreview->Repaint();
}

void TfIOPreviews::chkLockPreviewClick() {
  btnPreview->SetEnabled(!chkLockPreview->Checked());
  btnPreview->SetVisible(!chkLockPreview->Checked());
  if (chkLockPreview->Checked() && !fActivating) MakePreview();
}

void TfIOPreviews::btnPreviewClick() { MakePreview(); }

void TfIOPreviews::ViewProgress(int32_t per) {
  pbrPreview->SetPosition(int(per / std::max(xdiv, 1)) + xper);
  pbrPreview->SetVisible(true);
}

void TfIOPreviews::SetCompressedSize(int64_t Size, std::initializer_list<int> Kinds) {
  const std::string text = VXFormatBytesKB(Size, 102400);
  for (int k : Kinds) SizeLines[size_t(k)].CompressedValue->SetCaption(text);
}

void TfIOPreviews::MakePreview() {
  if (!fInitialized) return;
  const int page = ActivePageKind();
  if (page < 0) return;
  const TCursor saved = Screen ? Screen->Cursor() : crDefault;
  if (Screen) Screen->SetCursor(crHourGlass);
  TScopeEnd restore{[this, saved] {
    pbrPreview->SetPosition(0);
    pbrPreview->SetVisible(false);
    if (Screen) Screen->SetCursor(saved);
  }};
  ++PreviewCount;
  TMemoryStream mem;
  TNulStream nul;
  TVexlaneIO* src = vxnSource->IO();
  TVexlaneIO* dst = vxnPreview->IO();
  src->SetDefaultDitherMethod(fDefaultDitherMethod);
  xper = 0;
  // The caller's parameters (resolution, metadata) with the page's values:
  // the bytes counted are those the real save will write.
  TIOParamsVals& sp = src->Params();
  if (Params) sp.Assign(*Params);
  SetPreviewParameters(sp, page);
  switch (page) {
    case iopJPEG1:
    case iopJPEG2:
      xdiv = 2;
      src->SaveToStreamJpeg(&mem);
      SetCompressedSize(mem.Size(), {iopJPEG1, iopJPEG2});
      mem.SetPosition(0);
      xper = 50;
      dst->LoadFromStreamJpeg(&mem);
      break;
    case iopJ2000:
      xdiv = 2;
      src->SaveToStreamJ2K(&mem);
      SetCompressedSize(mem.Size(), {iopJ2000});
      mem.SetPosition(0);
      xper = 50;
      dst->LoadFromStreamJ2K(&mem);
      break;
    default: {
      xdiv = 1;
      switch (page) {
        case iopTIFF1: case iopTIFF2:
          src->SaveToStreamTIFF(&nul);
          SetCompressedSize(nul.Size(), {iopTIFF1, iopTIFF2});
          break;
        case iopGIF1: case iopGIF2:
          src->SaveToStreamGIF(&nul);
          SetCompressedSize(nul.Size(), {iopGIF1, iopGIF2});
          break;
        case iopPNG:
          src->SaveToStreamPNG(&nul);
          SetCompressedSize(nul.Size(), {iopPNG});
          break;
        case iopTGA:
          src->SaveToStreamTGA(&nul);
          SetCompressedSize(nul.Size(), {iopTGA});
          break;
        case iopBMP:
          src->SaveToStreamBMP(&nul);
          SetCompressedSize(nul.Size(), {iopBMP});
          break;
        case iopPCX:
          src->SaveToStreamPCX(&nul);
          SetCompressedSize(nul.Size(), {iopPCX});
          break;
      }
      bool shown = true;
      try {
        vxnPreview->Assign(vxnSource);
      } catch (const std::exception&) {
        SetCaption("Result cannot be shown but parameters may be entered");
        shown = false;
      }
      dst->Params().Assign(sp);
      if (shown) ReducePreview(page);
      break;
    }
  }
  pbrPreview->SetPosition(0);
  pbrPreview->SetVisible(false);
  SyncPreviewView();
}

// The number of colours of a layout, in 64 bits: 32 or more bits per pixel
// must not wrap to a small palette.
static int64_t LayoutColours(int32_t Bits, int32_t Samples) {
  const int64_t b = int64_t(Bits) * int64_t(Samples);
  if (b < 0) return 0;
  if (b >= 62) return INT64_MAX;
  return int64_t(1) << b;
}

void TfIOPreviews::PaletteReduce() {
  TIOParamsVals& p = vxnPreview->IO()->Params();
  const int64_t n = LayoutColours(p.BitsPerSample(), p.SamplesPerPixel());
  if (n > 256 || n < 1) {
    p.FreeColorMap();
    return;
  }
  p.fColorMap.assign(size_t(n), TRGB{});
  p.fColorMapCount = int32_t(n);
  vxnPreview->Proc()->ConvertToPalette(int32_t(n), p.fColorMap.data(), fDefaultDitherMethod);
}

void TfIOPreviews::ReducePreview(int Page) {
  TIOParamsVals& p = vxnPreview->IO()->Params();
  switch (Page) {
    case iopTIFF1:
    case iopTIFF2: {
      const TIOTIFFPhotometInterpret ph = p.TIFF_PhotometInterpret();
      if ((ph == ioTIFF_WHITEISZERO || ph == ioTIFF_BLACKISZERO) && p.BitsPerSample() == 8 &&
          p.SamplesPerPixel() == 1) {
        vxnPreview->Proc()->ConvertToGray();
        p.FreeColorMap();
      } else if (ph < ioTIFF_CMYK) {
        PaletteReduce();
      }
      break;
    }
    case iopGIF1: case iopGIF2: case iopPNG: case iopTGA:
      PaletteReduce();
      break;
    case iopBMP:
    case iopPCX: {
      const int64_t n = LayoutColours(p.BitsPerSample(), p.SamplesPerPixel());
      if (n >= 1 && n <= 256) vxnPreview->Proc()->ConvertTo(int32_t(n), fDefaultDitherMethod);
      break;
    }
  }
}

void TfIOPreviews::SyncPreviewView() {
  vxnPreview->LockPaint();
  vxnPreview->SetZoom(vxnSource->Zoom());
  vxnPreview->SetViewXY(vxnSource->ViewX(), vxnSource->ViewY());
  vxnPreview->UnLockPaint();
}

void TfIOPreviews::vxnSourceViewChange() { SyncPreviewView(); }

// ---- OK and Apply ----

void TfIOPreviews::btnOKClick() { WriteActivePage(); }

void TfIOPreviews::btnApplyClick() {
  WriteActivePage();
  btnApply->SetEnabled(false);
}

// ---- layout ----

void TfIOPreviews::FormResize() {
  if (fInResize || !PageControl1 || !chkLockPreview) return;
  fInResize = true;
  TScopeEnd done{[this] { fInResize = false; }};
  // The buttons keep their distance from the right edge.
  const int right = S(540 - 442);
  for (TBitBtn* b : {btnOK, btnCancel, btnPreview, btnApply})
    b->SetBounds(ClientWidth() - right, b->Top(), b->Width(), b->Height());
  const int m = lblSource->Top();
  const int L = PageControl1->Left();
  const int pcWidth = btnOK->Left() - 2 * L;
  PageControl1->SetWidth(pcWidth);
  pbrPreview->SetWidth(pcWidth);
  const int vw = (pcWidth - L) / 2;
  vxnSource->SetWidth(vw);
  vxnPreview->SetBounds(L + pcWidth - vw, vxnPreview->Top(), vw, vxnPreview->Height());
  lblPreview->SetLeft(vxnPreview->Left());
  chkLockPreview->SetTop(ClientHeight() - m - chkLockPreview->Height());
  PageControl1->SetTop(chkLockPreview->Top() - m - PageControl1->Height());
  pbrPreview->SetTop(PageControl1->Top() - m / 2 - pbrPreview->Height());
  const int vh = pbrPreview->Top() - m / 2 - vxnSource->Top();
  vxnSource->SetHeight(vh);
  vxnPreview->SetHeight(vh);
  vxnSource->Fit();
  vxnPreview->SetZoom(vxnSource->Zoom());
  if (VXDialogBackgroundKind == 1)
    VXFillStripesBitmap(Image1->Picture()->Bitmap(), Image1->Width(), Image1->Height());
  else if (VXDialogBackgroundKind == 2)
    VXFillBrushedMetalBitmap(Image1->Picture()->Bitmap(), Image1->Width(), Image1->Height());
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  settings->SetIOPreviewsDialogWidth(ClientWidth());
  settings->SetIOPreviewsDialogHeight(ClientHeight());
}

// ---- what the I/O component sees ----

namespace {

class TVXIOPreviewsForm : public TVXIOPreviewsDialog {
 public:
  TVXIOPreviewsForm() : fForm(std::make_unique<TfIOPreviews>(nullptr)) {}

  void Setup(const TVXIOPreviewsSetup& v) override {
    TfIOPreviews* f = fForm.get();
    f->DefaultLockPreview = v.DefaultLockPreview;
    f->btnApply->SetVisible(v.ApplyButton);
    f->Params = v.Params;
    f->SetSimplified(v.Simplified);
    f->fDefaultDitherMethod = v.DitherMethod;
    f->UpdateLanguage();
    f->Font()->Assign(v.Font ? v.Font : VXGetDefaultDialogFont());
    if (v.Target) {
      f->vxnSource->SetExternalBitmap(v.Target);
      f->vxnSource->Update();
    }
    if (v.Viewer && v.Viewer->HostKind() == vxvhImageView) {
      if (TVexlaneView* view = dynamic_cast<TVexlaneView*>(v.Viewer))
        for (TVexlaneView* p : {f->vxnSource, f->vxnPreview}) *p->MouseWheelParams() = *view->MouseWheelParams();
    }
    f->vxnPreview->Blank();
  }
  bool SetPreviewParams(TPreviewParams pp) override { return fForm->SetPreviewParams(pp); }
  void* Form() override { return fForm.get(); }
  bool ShowModal() override { return fForm->ShowModal() == mrOk; }
  void DetachTarget() override {
    if (fForm) fForm->vxnSource->SetExternalBitmap(nullptr);
  }

 private:
  std::unique_ptr<TfIOPreviews> fForm;
};

}  // namespace

std::unique_ptr<TVXIOPreviewsDialog> VXCreateIOPreviewsDialog(TVexlaneIO*) {
  return std::make_unique<TVXIOPreviewsForm>();
}
