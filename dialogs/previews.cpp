// The processing preview dialog's frame: creation, the page set, activation,
// the preview cycle with its timer, copying the result to the source, Reset,
// OK and Cancel, texts, layout, and the form the processing component opens.
#include "dialogs/previews.h"

#include <algorithm>
#include <cmath>

#include "core/bitmap.h"
#include "core/dialogbg.h"
#include "core/settings.h"
#include "core/sysutils.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "dialogs/histogrambox.h"
#include "dialogs/hsvbox.h"
#include "dialogs/rulerbox.h"
#include "proc/dialogparams.h"
#include "proc/ftimage.h"
#include "io/vexlaneio.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"
#include "words/words.h"

namespace {

// The pages in the page control's order: tag, tab caption (word), the member
// of TPreviewEffects that shows it, and the undo caption.
struct TPageInfo {
  const char* Name;
  int Tag;
  uint16_t Word;
  TPreviewEffect Effect;
  const char* Undo;
};
constexpr TPageInfo kPages[VXPreviewPageCount] = {
    {"tabContrast", 0, 7, peContrast, "Contrast/Brightness"},
    {"tabHSV", 4, 133, peHSV, "HSV adjust"},
    {"tabHSL", 1, 134, peHSL, "HSL adjust"},
    {"tabRGB", 2, 135, peRGB, "RGB adjust"},
    {"tabFilters", 3, 72, peUserFilt, "Convolution Filter"},
    {"tabEqualization", 5, 23, peEqualize, "Histogram adjust"},
    {"tabBumpMap", 6, 90, peBumpMap, "Bump Map"},
    {"tabLens", 7, 35, peLens, "Lens effect"},
    {"tabWave", 8, 67, peWave, "Wave effect"},
    {"tabMorph", 9, 73, peMorph, "Morph"},
    {"tabRotate", 10, 79, peRotate, "Rotate"},
    {"tabFFT", 11, 136, peFFT, "FFT"},
    {"tabGamma", 12, 438, peGamma, "Gamma Correction"},
    {"tabSharpen", 13, 137, peSharpen, "Sharpen"},
    {"tabResize", 14, 387, peResize, "Resize"},
    {"tabSoftShadow", 15, 426, peSoftShadow, "Add Soft Shadow"},
    {"tabAutoEnhance", 16, 432, peAutoEnhance, "Auto-Enhancement"},
    {"tabCrop", 17, 439, peCrop, "Crop"},
};

// Pages on which the source view does not zoom with the mouse: bump map,
// lens, wave, rotate, FFT, resize, soft shadow, crop.
bool NoZoomPage(int Tag) {
  switch (Tag) {
    case 6: case 7: case 8: case 10: case 11: case 14: case 15: case 17:
      return true;
    default:
      return false;
  }
}

constexpr int kCropTag = 17;

double ScreenScale() { return double(Screen ? Screen->PixelsPerInch() : 96) / 96; }

// Frees nothing; runs a callback when the scope ends.
template <class F>
struct TScopeEnd {
  F f;
  ~TScopeEnd() { f(); }
};
template <class F>
TScopeEnd(F) -> TScopeEnd<F>;

}  // namespace

TfPreviews::TfPreviews(TComponent* AOwner) : TForm(AOwner) {
  SetName("fPreviews");
  SetBorderStyle(bsDialog);
  SetBorderIcons(VXBorderIconBit(biSystemMenu));
  SetPosition(poScreenCenter);
  SetBounds(Left(), Top(), 548, 454);
  CreateFrame();
  CreateColourPages();
  CreateFilterPages();
  CreateGeometryPages();
  CreateDistortPages();
  CreateFFTPage();
  // The built pages in the page control's order.
  int index = 0;
  for (const TPageInfo& p : kPages)
    if (TTabSheet* page = PageOfTag(p.Tag)) page->SetPageIndex(index++);
  // The form is built for the screen now: the caller's size stands as given.
  ScaleToScreen();
  OnActivate = [this](void*) { FormActivate(); };
  OnResize = [this](void*) { FormResize(); };
  OnDestroy = [this](void*) { FormDestroy(); };
  FormCreate();
}

TfPreviews::~TfPreviews() { DoDestroy(); }

void TfPreviews::CreateFrame() {
  Image1 = new TImage(this);
  Image1->SetName("Image1");
  Image1->SetParent(this);
  Image1->SetAlign(alClient);
  Image1->SetBounds(0, 0, ClientWidth(), ClientHeight());

  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->SetBounds(9, 5, 150, 13);
  Label2 = new TLabel(this);
  Label2->SetName("Label2");
  Label2->SetParent(this);
  Label2->SetBounds(233, 5, 150, 13);

  Vexlane1 = new TVexlaneView(this);
  Vexlane1->SetName("Vexlane1");
  Vexlane1->SetParent(this);
  Vexlane1->SetBounds(9, 21, 191, 135);
  Vexlane1->SetSelectionOptions(VXSelOpt(vxsoAnimated) | VXSelOpt(vxsoSizeable) | VXSelOpt(vxsoMoveable) |
                                VXSelOpt(vxsoMarkOuter) | VXSelOpt(vxsoCanScroll));
  Vexlane1->SetMouseInteract(TVXMouseInteract((1u << miZoom) | (1u << miScroll)));
  Vexlane1->SetCursor(1782);
  Vexlane1->OnViewChange = [this](void*, int32_t) { Vexlane1ViewChange(); };
  Vexlane1->OnSelectionChange = [this](void*) { Vexlane1SelectionChange(); };

  Vexlane2 = new TVexlaneView(this);
  Vexlane2->SetName("Vexlane2");
  Vexlane2->SetParent(this);
  Vexlane2->SetBounds(233, 21, 191, 135);
  Vexlane2->SetCursor(1780);
  Vexlane2->OnMouseDown = [this](void*, TMouseButton B, TShiftState, int X, int Y) { Vexlane2MouseUp(B, X, Y); };
  Vexlane2->OnMouseUp = [this](void*, TMouseButton B, TShiftState, int X, int Y) { Vexlane2MouseUp(B, X, Y); };

  ResultToSourceButton = new TBitBtn(this);
  ResultToSourceButton->SetName("ResultToSourceButton");
  ResultToSourceButton->SetParent(this);
  ResultToSourceButton->SetBounds(206, 70, 24, 24);
  ResultToSourceButton->SetHint("Copy Result to Source");
  ResultToSourceButton->OnClick = [this](void*) { ResultToSourceButtonClick(); };

  OkButton = new TBitBtn(this);
  OkButton->SetName("OkButton");
  OkButton->SetParent(this);
  OkButton->SetBounds(452, 21, 81, 25);
  OkButton->SetCaption("OK");
  OkButton->SetDefault(true);
  OkButton->SetModalResult(mrOk);
  OkButton->OnClick = [this](void*) { OkButtonClick(); };

  CancelButton = new TBitBtn(this);
  CancelButton->SetName("CancelButton");
  CancelButton->SetParent(this);
  CancelButton->SetBounds(452, 52, 81, 25);
  CancelButton->SetCaption("Cancel");
  CancelButton->SetCancel(true);
  CancelButton->SetModalResult(mrCancel);

  PreviewButton = new TButton(this);
  PreviewButton->SetName("PreviewButton");
  PreviewButton->SetParent(this);
  PreviewButton->SetBounds(452, 100, 81, 25);
  PreviewButton->SetCaption("Preview");
  PreviewButton->OnClick = [this](void*) { PreviewButtonClick(); };

  ResetButton = new TButton(this);
  ResetButton->SetName("ResetButton");
  ResetButton->SetParent(this);
  ResetButton->SetBounds(452, 131, 81, 25);
  ResetButton->SetCaption("Reset");
  ResetButton->OnClick = [this](void*) { ResetButtonClick(); };

  chkLockPreview = new TCheckBox(this);
  chkLockPreview->SetName("chkLockPreview");
  chkLockPreview->SetParent(this);
  chkLockPreview->SetBounds(9, 392, 200, 17);
  chkLockPreview->SetCaption("Lock Preview");
  chkLockPreview->SetHint("Automatically updates your preview with the changes you have selected");
  chkLockPreview->OnClick = [this](void*) { chkLockPreviewClick(); };

  PageControl1 = new TPageControl(this);
  PageControl1->SetName("PageControl1");
  PageControl1->SetParent(this);
  PageControl1->SetBounds(9, 166, 520, 218);
  PageControl1->SetHotTrack(true);
  PageControl1->OnChange = [this](void*) { PageControl1Change(); };

  const TOpenOptions openOptions = VXOpenOptionBit(ofHideReadOnly) | VXOpenOptionBit(ofPathMustExist);
  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->SetName("OpenDialog1");
  OpenDialog1->SetTitle("Load filter");
  OpenDialog1->SetDefaultExt("flt");
  OpenDialog1->SetFilter("Filter (*.flt)|*.flt");
  OpenDialog1->SetOptions(openOptions | VXOpenOptionBit(ofFileMustExist));
  SaveDialog1 = new TSaveDialog(this);
  SaveDialog1->SetName("SaveDialog1");
  SaveDialog1->SetTitle("Save filter");
  SaveDialog1->SetDefaultExt("flt");
  SaveDialog1->SetFilter("Filter (*.flt)|*.flt");
  SaveDialog1->SetOptions(openOptions);

  VexlaneProc2 = new TVexlaneProc(this);
  VexlaneProc2->SetName("VexlaneProc2");

  tmrUpdatePreview = new TTimer(this);
  tmrUpdatePreview->SetName("tmrUpdatePreview");
  tmrUpdatePreview->SetEnabled(false);
  tmrUpdatePreview->SetInterval(250);
  tmrUpdatePreview->OnTimer = [this](void*) { tmrUpdatePreviewTimer(); };
}

TTabSheet* TfPreviews::PageOfTag(int Tag) const {
  switch (Tag) {
    case 0: return tabContrast;
    case 4: return tabHSV;
    case 1: return tabHSL;
    case 2: return tabRGB;
    case 12: return tabGamma;
    case 16: return tabAutoEnhance;
    case 3: return tabFilters;
    case 9: return tabMorph;
    case 13: return tabSharpen;
    case 10: return tabRotate;
    case 14: return tabResize;
    case 17: return tabCrop;
    case 5: return tabEqualization;
    case 6: return tabBumpMap;
    case 7: return tabLens;
    case 8: return tabWave;
    case 15: return tabSoftShadow;
    case 11: return tabFFT;
    default: return nullptr;
  }
}

// ---- creation and texts ----

void TfPreviews::FormCreate() {
  CurrentOp.clear();
  Vexlane1->IO()->SetPreviewFont(VXGetDefaultDialogFont());
  Vexlane2->IO()->SetPreviewFont(VXGetDefaultDialogFont());
  Vexlane2->Proc()->SetAutoUndo(false);
  Vexlane2->Proc()->SetUndoLocation(vxMemory);
  // The source view's component works for the dialog only: its history
  // would never be used.
  Vexlane1->Proc()->SetAutoUndo(false);
  for (int i = 0; i < ComponentCount(); ++i)
    if (TTrackBar* t = dynamic_cast<TTrackBar*>(Components(i))) t->SetThumbLength(20);
  FTImage.reset();
  PageControl1->SetActivePage(tabContrast);
  UndoCaption.clear();
  const TResampleFilter filter = VXGetGlobalSettings()->DefaultPreviewsZoomFilter();
  Vexlane1->SetZoomFilter(filter);
  Vexlane2->SetZoomFilter(filter);
  tmrUpdatePreview->SetInterval(250);
  fUpdatingSize = false;
}

void TfPreviews::UpdateLanguage() {
  fDoChange = false;
  const TMsgLanguage lang = VXGetGlobalSettings()->MsgLanguage();
  fEnglish = lang == msEnglish || (lang == msSystem && VXFormatSettings().PrimaryLanguage == 9);
  const TVXLANGUAGECHARINFO& info = VXLanguageCharInfo[size_t(lang)];
  Font()->SetCharset(info.CharSet);
  if (!info.FontName.empty()) Font()->SetName(std::string(info.FontName));
  SetCaption(VXLocalizedMessage(0));
  Label1->SetCaption(VXLocalizedMessage(1) + ":");
  Label2->SetCaption(VXLocalizedMessage(2) + ":");
  OkButton->SetCaption(VXLocalizedMessage(3));
  CancelButton->SetCaption(VXLocalizedMessage(4));
  chkLockPreview->SetCaption(VXLocalizedMessage(5));
  chkLockPreview->SetHint(VXLocalizedMessage(128));
  ResultToSourceButton->SetHint(VXLocalizedMessage(6));
  PreviewButton->SetCaption(VXLocalizedMessage(0));
  ResetButton->SetCaption(VXLocalizedMessage(86));
  for (const TPageInfo& p : kPages)
    if (TTabSheet* page = PageOfTag(p.Tag)) page->SetCaption(VXLocalizedMessage(p.Word));
  UpdateColourPagesLanguage();
  UpdateFilterPagesLanguage();
  UpdateGeometryPagesLanguage();
  UpdateDistortPagesLanguage();
  UpdateFFTPageLanguage();
  fDoChange = true;
}

// ---- activation and pages ----

void TfPreviews::FormActivate() {
  fResized = false;
  if (OpList) OpList->clear();
  fDoProgress = false;
  fDoChange = true;
  FillFilterPresets();
  HistogramBox1->SetAttachedVexlaneProc(Vexlane2->Proc());
  LoadPreviewPageParams(true);
  if (!VXGetGlobalSettings()->UseButtonGlyphsInDialogs()) {
    OkButton->SetGlyph(nullptr);
    CancelButton->SetGlyph(nullptr);
  }
  chkLockPreview->SetChecked(DefaultLockPreview);
  PreviewButton->SetEnabled(!chkLockPreview->Checked());
  PreviewButton->SetVisible(!chkLockPreview->Checked());
  ResetButton->SetVisible(ShowReset);

  PageControl1->SetVisible(false);
  int visible = 0;
  TTabSheet* first = nullptr;
  for (const TPageInfo& p : kPages) {
    TTabSheet* page = PageOfTag(p.Tag);
    if (!page) continue;
    const bool show = (pe & VXPreviewEffect(peAll)) || (pe & VXPreviewEffect(p.Effect));
    page->SetTabVisible(show);
    page->SetTag(p.Tag);
    if (show) {
      ++visible;
      if (!first) first = page;
    }
  }
  TTabSheet* initial = InitialPage ? InitialPage : first;
  if (!initial) initial = PageControl1->ActivePage() ? PageControl1->ActivePage() : tabContrast;
  if (!(pe & VXPreviewEffect(peAll)) && visible <= 1) {
    for (int i = 0; i < PageControl1->PageCount(); ++i) PageControl1->Pages(i)->SetTabVisible(false);
    PageControl1->SetStyle(tsFlatButtons);
    SetCaption(initial->Caption());
  }
  PageControl1->SetActivePage(initial);
  PageControl1->SetVisible(true);

  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  for (TVexlaneView* v : {Vexlane1, Vexlane2}) {
    v->SetChessboardStyle(12, bsSolid);
    v->SetBackground(settings->PreviewImageBackgroundColor());
    v->SetBackgroundStyle(settings->PreviewImageBackgroundStyle());
  }
  fActivated = true;
  Vexlane1->Fit();
  if (Application) Application->ProcessMessages();
  PageControl1Change();
}

void TfPreviews::PageControl1Change() {
  LoadPreviewPageParams(false);
  SetupPageMouseMode();
  UpdatePreview();
}

void TfPreviews::LoadPreviewPageParams(bool ResetAll) {
  if (ResetAll) ars.fill(false);
  fDoChange = false;
  TScopeEnd restore{[this] { fDoChange = true; }};
  const int tag = PageTag(PageControl1->ActivePage());
  if (tag < 0 || tag >= VXPreviewPageCount || ars[size_t(tag)]) return;
  LoadPage(tag);
  ars[size_t(tag)] = true;
}

void TfPreviews::SetupPageMouseMode() {
  const int tag = PageTag(PageControl1->ActivePage());
  TVXMouseInteract mi = Vexlane1->MouseInteract();
  if (tag == kCropTag) {
    // The margins become the source view's selection.
    Vexlane1->SetMouseInteract(TVXMouseInteract(mi | (1u << miSelect)));
    CropControlChange(nullptr);
  } else {
    // Selecting belongs to the crop page only.
    mi = TVXMouseInteract(mi & ~((1u << miZoom) | (1u << miScroll) | (1u << miSelect)));
    Vexlane1->SetMouseInteract(mi);
    if (Vexlane1->Selected()) Vexlane1->DeSelect();
  }
  if (NoZoomPage(tag)) {
    Vexlane1->SetMouseInteract(TVXMouseInteract(Vexlane1->MouseInteract() & ~(1u << miZoom)));
  } else {
    Vexlane1->SetMouseInteract(TVXMouseInteract(Vexlane1->MouseInteract() | (1u << miZoom)));
    Vexlane1->Fit();
  }
}

// ---- the preview cycle ----

void TfPreviews::UpdatePreview() {
  if (fInUpdatePreview) return;
  fInUpdatePreview = true;
  Vexlane2->LockPaint();
  TScopeEnd unlock{[this] {
    Vexlane2->UnLockPaint();
    fInUpdatePreview = false;
  }};
  TVXBitmap* src = Vexlane1->GetVXBitmap();
  TVXBitmap* dst = Vexlane2->GetVXBitmap();
  const int32_t ex = Vexlane1->ExtentX(), ey = Vexlane1->ExtentY();
  if (!src || !dst || src->IsEmpty() || ex < 1 || ey < 1) return;
  if (!dst->Allocate(ex, ey, src->PixelFormat())) throw EVXException("Not enough memory for the preview");
  int32_t xDst = 0, yDst = 0, dxDst = 0, dyDst = 0, xSrc = 0, ySrc = 0, dxSrc = 0, dySrc = 0;
  Vexlane1->GetRenderRectangles(xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc);
  src->StretchRectTo(dst, 0, 0, ex, ey, xSrc, ySrc, dxSrc, dySrc, VXGetGlobalSettings()->DefaultPreviewsZoomFilter(),
                     255, 1.0);
  if (TVXBitmap* alpha = src->AlphaChannelOpt()) dst->AlphaChannel()->SetFull(alpha->Full());
  Vexlane2->Update();
  // Only the newest rendering is ever restored.
  Vexlane2->Proc()->ClearAllUndo();
  Vexlane2->Proc()->SaveUndo(vxuImage);
  if (!FTImage) {
    FTImage = std::make_unique<TVXFtImage>();
    FTImage->OnProgress = [this](void*, int32_t per) { VexlaneProc2Progress(per); };
  }
  if (PageControl1->ActivePage() == tabFFT) RebuildFFT();
  ApplyPreviewOperation(Vexlane2, true);
  Vexlane2->Update();
}

void TfPreviews::RequestPreview(bool Force) {
  tmrUpdatePreview->SetEnabled(false);
  if (!Force) {
    if (chkLockPreview->Checked()) tmrUpdatePreview->SetEnabled(true);
    return;
  }
  Vexlane2->Proc()->Undo(false);
  ApplyPreviewOperation(Vexlane2, true);
  Vexlane2->Update();
  Vexlane2->Repaint();
}

void TfPreviews::ApplyPreviewOperation(TVexlaneView* View, bool IsPreview) {
  TProgressRec none;
  const TProgressRec& rec = fDoProgress ? Progress : none;
  TVXProgressEvent onProgress;
  if (rec.fOnProgress) {
    TVXProgressEvent event = rec.fOnProgress;
    void* sender = rec.Sender;
    onProgress = [event, sender](void*, int32_t per) { event(sender, per); };
  }
  CurrentOp.clear();
  const bool wasInUpdate = fInUpdatePreview;
  fInUpdatePreview = true;  // fitting the source view must not start another preview
  TScopeEnd restore{[this, wasInUpdate] { fInUpdatePreview = wasInUpdate; }};
  RunPageOperation(PageTag(PageControl1->ActivePage()), View, IsPreview, rec.Sender, onProgress);
  SetupPageMouseMode();
}

void TfPreviews::ApplyToSource() {
  ApplyPreviewOperation(Vexlane1, false);
  Vexlane1->Update();
  Vexlane1->Repaint();
  UpdatePreview();
}

void TfPreviews::StoreParams() {
  if (!fIPDialogParams) return;
  for (int tag = 0; tag < VXPreviewPageCount; ++tag)
    if (ars[size_t(tag)]) StorePage(tag);
}

// ---- buttons, timer and views ----

void TfPreviews::PreviewButtonClick() { RequestPreview(true); }

void TfPreviews::chkLockPreviewClick() {
  PreviewButton->SetEnabled(!chkLockPreview->Checked());
  PreviewButton->SetVisible(!chkLockPreview->Checked());
  if (fActivated) RequestPreview(true);
}

void TfPreviews::tmrUpdatePreviewTimer() { RequestPreview(true); }

void TfPreviews::ResultToSourceButtonClick() {
  if (!CurrentOp.empty() && OpList) OpList->push_back(CurrentOp);
  ApplyToSource();
  LoadPreviewPageParams(true);
  UpdatePreview();
  const int tag = PageTag(PageControl1->ActivePage());
  UndoCaption += (tag >= 0 ? undos[size_t(tag)] : std::string()) + ",";
}

void TfPreviews::OkButtonClick() {
  const TCursor saved = Screen ? Screen->Cursor() : crDefault;
  if (Screen) Screen->SetCursor(crHourGlass);
  TScopeEnd restore{[saved] {
    if (Screen) Screen->SetCursor(saved);
  }};
  fDoProgress = true;
  try {
    ApplyPreviewOperation(Vexlane1, false);
  } catch (...) {
    // The operation failed: the dialog stays open (the button had already
    // set its result) and nothing is applied, logged or stored.
    SetModalResult(mrNone);
    throw;
  }
  Vexlane1->Update();
  const int tag = PageTag(PageControl1->ActivePage());
  if (tag >= 0) UndoCaption += undos[size_t(tag)];
  StoreParams();
  DefaultLockPreview = chkLockPreview->Checked();
  if (!CurrentOp.empty() && OpList) OpList->push_back(CurrentOp);
}

void TfPreviews::ResetButtonClick() {
  if (HardReset && fIPDialogParams) fIPDialogParams->SetDefaultParams();
  if (!ResetAllTabs) {
    const int tag = PageTag(PageControl1->ActivePage());
    if (tag >= 0) ars[size_t(tag)] = false;
  }
  LoadPreviewPageParams(ResetAllTabs);
  RequestPreview(true);
}

void TfPreviews::Vexlane1ViewChange() {
  if (fActivated) UpdatePreview();
}


// ---- layout ----

void TfPreviews::FormResize() {
  if (fInResize || !PageControl1) return;
  fInResize = true;
  TScopeEnd done{[this] { fInResize = false; }};
  const double s = ScreenScale();
  SetConstraints(TSizeConstraints{int(548 * s), int(454 * s), 0, 0});
  const int dx = int((ClientWidth() + 8 - 548 * s) / 2);
  const int dy = int(ClientHeight() + 34 - 454 * s);
  Vexlane1->SetBounds(Vexlane1->Left(), Vexlane1->Top(), int(191 * s + dx), int(135 * s + dy));
  Vexlane2->SetBounds(int(dx + 233 * s), Vexlane2->Top(), Vexlane1->Width(), Vexlane1->Height());
  ResetButton->SetBounds(ResetButton->Left(), Vexlane2->Top() + Vexlane2->Height() - ResetButton->Height(),
                         ResetButton->Width(), ResetButton->Height());
  PreviewButton->SetBounds(PreviewButton->Left(), ResetButton->Top() - PreviewButton->Height() - int(6 * s),
                           PreviewButton->Width(), PreviewButton->Height());
  if (!VXIsPrimaryMouseButtonDown()) Vexlane1->Fit();
  ResultToSourceButton->SetBounds(int(dx + 206 * s), int(70 * s + dy / 2), ResultToSourceButton->Width(),
                                  ResultToSourceButton->Height());
  Label2->SetBounds(int(dx + 231 * s), Label2->Top(), Label2->Width(), Label2->Height());
  chkLockPreview->SetBounds(chkLockPreview->Left(), Height() - chkLockPreview->Height() - int(45 * s),
                            chkLockPreview->Width(), chkLockPreview->Height());
  const int pcTop = int(10 * s + Vexlane1->Top() + Vexlane1->Height());
  PageControl1->SetBounds(Vexlane1->Left(), pcTop, int(ClientWidth() - 20 * s),
                          int(chkLockPreview->Top() - 8 * s - pcTop));
  const int left = ClientWidth() - OkButton->Width() - int(12 * s);
  for (TButton* b : {static_cast<TButton*>(OkButton), static_cast<TButton*>(CancelButton), PreviewButton,
                     ResetButton})
    b->SetBounds(left, b->Top(), b->Width(), b->Height());
  if (VXDialogBackgroundKind == 1 || VXDialogBackgroundKind == 2) {
    const bool stripes = VXDialogBackgroundKind == 1;
    for (TVexlaneView* v : {Vexlane1, Vexlane2}) {
      v->SetBackgroundStyle(vxbsSoftShadow);
      v->SetBackground(stripes ? clWhite : TColor(0xC0C0C0));
      v->SetBorderStyle(bsNone);
    }
    TBitmap* picture = Image1->Picture()->Bitmap();
    if (stripes)
      VXFillStripesBitmap(picture, Image1->Width(), Image1->Height());
    else
      VXFillBrushedMetalBitmap(picture, Image1->Width(), Image1->Height());
    if (!stripes) chkLockPreview->Repaint();
  }
  fResized = true;
}

void TfPreviews::WMExitSizeMove(TMessage& Message) {
  TForm::WMExitSizeMove(Message);
  if (fResized) {
    Vexlane1->Fit();
    fResized = false;
  }
}

void TfPreviews::FormDestroy() { FTImage.reset(); }

// ---- what the processing component sees ----

namespace {

class TVXPreviewsForm : public TVXPreviewsDialog {
 public:
  TVXPreviewsForm() : fForm(std::make_unique<TfPreviews>(nullptr)) {}

  void Setup(const TVXPreviewsSetup& v) override {
    TfPreviews* f = fForm.get();
    if (v.Resizeable) {
      f->SetBorderIcons(VXBorderIconBit(biSystemMenu) | VXBorderIconBit(biMaximize));
      f->SetBorderStyle(bsSizeable);
    } else {
      f->SetBorderIcons(VXBorderIconBit(biSystemMenu));
      f->SetBorderStyle(bsDialog);
    }
    if (v.CenterOnScreen) {
      f->SetPosition(poScreenCenter);
      f->SetBounds(f->Left(), f->Top(), v.Width, v.Height);
    } else {
      f->SetPosition(poDesigned);
      f->SetBounds(v.Left, v.Top, v.Width, v.Height);
    }
    f->DefaultLockPreview = v.DefaultLockPreview;
    f->ShowReset = v.ShowReset;
    f->HardReset = v.HardReset;
    f->ResetAllTabs = v.ResetAllTabs;
    f->UpdateLanguage();
    if (v.Font) f->Font()->Assign(v.Font);
    f->Progress.fOnProgress = v.OnProgress;
    f->Progress.Sender = v.ProgressSender;
    f->OpenDialog1->SetInitialDir(v.FiltersInitialDir);
    f->SaveDialog1->SetInitialDir(v.FiltersInitialDir);
    f->Vexlane1->SetBackground(v.Background);
    f->Vexlane2->SetBackground(v.Background);
    f->pnlRotateBackground->SetColor(v.Background);
    f->pnlCropBackground->SetColor(v.Background);
    if (v.Viewer && v.Viewer->HostKind() == vxvhImageView) {
      if (TVexlaneView* view = dynamic_cast<TVexlaneView*>(v.Viewer)) {
        for (TVexlaneView* p : {f->Vexlane1, f->Vexlane2}) {
          p->SetEnableAlphaChannel(view->EnableAlphaChannel());
          *p->MouseWheelParams() = *view->MouseWheelParams();
        }
      }
    }
    f->Vexlane1->SetLegacyBitmap(false);
    if (v.Image) {
      TVXBitmap* bmp = f->Vexlane1->GetVXBitmap();
      bmp->Assign(v.Image);
      if (TVXBitmap* alpha = v.Image->AlphaChannelOpt()) bmp->AlphaChannel()->SetFull(alpha->Full());
      f->Vexlane1->Update();
      f->Vexlane1->Proc()->CheckFormat(TVXPixelFormatSet{vx24RGB});
    }
    f->pe = v.pe;
    f->InitialPage = nullptr;
    f->fIPDialogParams = v.IPDialogParams;
    f->OpList = v.OpList;
  }

  int32_t ShowModal() override {
    return fForm->ShowModal() == mrOk ? vxPreviewsOK : vxPreviewsCancel;
  }
  bool DefaultLockPreview() const override { return fForm->DefaultLockPreview; }
  std::string UndoCaption() const override { return fForm->UndoCaption; }
  TVXBitmap* ResultBitmap() override { return fForm->Vexlane1->GetVXBitmap(); }
  int32_t Width() const override { return fForm->Width(); }
  int32_t Height() const override { return fForm->Height(); }

 private:
  std::unique_ptr<TfPreviews> fForm;
};

}  // namespace

std::unique_ptr<TVXPreviewsDialog> VXCreatePreviewsDialog(TVexlaneProc*) {
  return std::make_unique<TVXPreviewsForm>();
}
