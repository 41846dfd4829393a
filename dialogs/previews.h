// TfPreviews: the processing preview dialog. The source image on the left,
// a live result on the right (a screen-scale rendering of what the source
// view shows, with the active page's operation applied), and a page control
// with one page per operation below them. The result can be copied to the
// source any number of times; OK applies the active page to the source and
// stores every loaded page's values, Cancel leaves everything as it was.
//
// The processing component opens it through proc/previews_hooks.h; the
// dialogs library's start-up fills that seam (VXCreatePreviewsDialog).
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/pixels.h"
#include "gui/buttons.h"
#include "gui/comctrls.h"
#include "gui/dialogs.h"
#include "gui/extctrls.h"
#include "gui/forms.h"
#include "gui/stdctrls.h"
#include "proc/filters.h"
#include "proc/previews_hooks.h"

class TVexlaneView;
class TVexlaneProc;
class TVXFtImage;
class THSVBox;
class THistogramBox;
class TRulerBox;
class TIPDialogParams;
class TVXMask;

// The dialog's pages, indexed by their tag.
constexpr int VXPreviewPageCount = 18;

class TfPreviews : public TForm {
 public:
  explicit TfPreviews(TComponent* AOwner = nullptr);
  ~TfPreviews() override;

  // Every caption from the word table in the current language, and the
  // form font's character set and face of that language.
  void UpdateLanguage();

  // ---- frame components ----
  TImage* Image1;
  TLabel* Label1;
  TLabel* Label2;
  TVexlaneView* Vexlane1;
  TVexlaneView* Vexlane2;
  TBitBtn* ResultToSourceButton;
  TBitBtn* OkButton;
  TBitBtn* CancelButton;
  TButton* PreviewButton;
  TButton* ResetButton;
  TCheckBox* chkLockPreview;
  TPageControl* PageControl1;
  TOpenDialog* OpenDialog1;
  TSaveDialog* SaveDialog1;
  TVexlaneProc* VexlaneProc2;
  TTimer* tmrUpdatePreview;

  // ---- pages ----
  TTabSheet* tabContrast;
  TTabSheet* tabHSV;
  TTabSheet* tabHSL;
  TTabSheet* tabRGB;
  TTabSheet* tabGamma;
  TTabSheet* tabAutoEnhance;
  TTabSheet* tabFilters = nullptr;
  TTabSheet* tabMorph = nullptr;
  TTabSheet* tabSharpen = nullptr;
  TTabSheet* tabRotate = nullptr;
  TTabSheet* tabResize = nullptr;
  TTabSheet* tabCrop = nullptr;
  TTabSheet* tabEqualization = nullptr;
  TTabSheet* tabBumpMap = nullptr;
  TTabSheet* tabLens = nullptr;
  TTabSheet* tabWave = nullptr;
  TTabSheet* tabSoftShadow = nullptr;
  TTabSheet* tabFFT = nullptr;

  // Contrast page.
  TLabel* Label3;
  TEdit* Edit1;
  TTrackBar* TrackBar1;
  TLabel* Label22;
  TEdit* Edit21;
  TTrackBar* TrackBar12;
  // HSL page.
  TLabel *Label4, *Label5, *Label6;
  TEdit *Edit4, *Edit2, *Edit3;
  TTrackBar *TrackBar2, *TrackBar3, *TrackBar5;
  // RGB page.
  TLabel *Label7, *Label8, *Label9;
  TEdit *Edit7, *Edit6, *Edit5;
  TTrackBar *TrackBar6, *TrackBar7, *TrackBar8;
  // HSV page.
  TLabel *Label10, *Label11, *Label12, *Label13, *Label14;
  TEdit *Edit19, *Edit18, *Edit17;
  TTrackBar *TrackBar9, *TrackBar10, *TrackBar11;
  TPanel *Panel3, *Panel1;
  THSVBox* HSVBox3;
  THSVBox* HSVBox1;
  // Gamma page.
  TLabel* lblGammaHeading;
  TEdit* edtGamma;
  TTrackBar* trkGamma;
  TGroupBox* GroupBox9;
  TCheckListBox* cbxGamma;
  TVexlaneView* VexlaneView2;
  TLabel *Label40, *Label41, *Label42, *Label43;
  // Auto-Enhance page.
  TLabel* lblAutoEnhance;
  TComboBox* cmbAutoEnhance;
  TPanel* pnlAutoEnhance1;
  TLabel *lblAutoEnhance1Slope, *lblAutoEnhance1Range, *lblAutoEnhance1Quality;
  TEdit *edtAutoEnhance1Slope, *edtAutoEnhance1Range, *edtAutoEnhance1Quality;
  TUpDown *updAutoEnhance1Slope, *updAutoEnhance1Range, *updAutoEnhance1Quality;
  TPanel* pnlAutoEnhance3;
  TLabel *lblAutoEnhance3Gamma, *lblAutoEnhance3Saturation;
  TEdit *edtAutoEnhance3Gamma, *edtAutoEnhance3Saturation;
  TUpDown *updAutoEnhance3Gamma, *updAutoEnhance3Saturation;

  // User filter page.
  TGroupBox* GroupBox1;
  TEdit *Edit8, *Edit11, *Edit14, *Edit9, *Edit12, *Edit15, *Edit10, *Edit13, *Edit16, *Edit20;
  TUpDown *UpDown1, *UpDown2, *UpDown3, *UpDown4, *UpDown5, *UpDown6, *UpDown7, *UpDown8, *UpDown9, *UpDown10;
  TLabel* Label15;
  TButton *Button4, *Button5;
  TGroupBox* GroupBox3;
  TListBox* ListBox1;
  // Morph filters page.
  TGroupBox* GroupBox7;
  TLabel *Label37, *Label38;
  TListBox* ListBox2;
  TEdit* Edit35;
  TUpDown* UpDown24;
  // Sharpen page.
  TLabel *Label44, *Label45;
  TEdit *Edit36, *Edit37;
  TTrackBar* TrackBar4;
  TUpDown* UpDown25;
  // Rotate page.
  TLabel *lblRotate, *lblFlip, *lblRotateBackground;
  TEdit* edtRotate;
  TTrackBar* TrackBarRotate;
  TCheckBox *chkFlipHorz, *chkFlipVert;
  TPanel* pnlRotateBackground;
  // Resize page.
  TLabel *lblResize, *lblCurrentSize, *lblNewSize, *lblNewScale, *lblWidth, *lblHeight, *lblWidthPercent,
      *lblHeightPercent;
  TEdit *edtOldWidth, *edtOldHeight, *edtNewWidth, *edtNewHeight, *edtNewWidthPercent, *edtNewHeightPercent;
  TUpDown *updNewWidth, *updNewHeight, *updNewWidthPercent, *updNewHeightPercent;
  TCheckBox* chkMaintainAR;
  // Crop page.
  TLabel *lblCropImage, *lblCropLeft, *lblCropTop, *lblCropRight, *lblCropBottom, *lblCropBackground;
  TEdit *edtCropLeft, *edtCropTop, *edtCropRight, *edtCropBottom;
  TUpDown *updCropLeft, *updCropTop, *updCropRight, *updCropBottom;
  TPanel* pnlCropBackground;
  // Equalization page.
  TLabel *Label19, *Label20, *Label21, *Label18, *Label16, *Label17;
  TPanel* pnlHistogram;
  TRulerBox* RulerBox2;
  THistogramBox* HistogramBox1;
  TRulerBox* RulerBox1;
  TGroupBox* GroupBox4;
  TCheckListBox* CheckListBox1;
  TSpeedButton* SpeedButton3;
  // Bump map page.
  TGroupBox* GroupBox2;
  TLabel *Label27, *Label28, *Label23, *Label24, *Label26, *Label25;
  TEdit *Edit22, *Edit23, *Edit24, *Edit25, *Edit26;
  TUpDown *UpDown11, *UpDown12, *UpDown13, *UpDown14, *UpDown15;
  TPanel* Panel2;
  THSVBox* HSVBox2;
  // Lens page.
  TGroupBox* GroupBox5;
  TLabel *Label32, *Label33, *Label29, *Label30, *Label31;
  TEdit *Edit27, *Edit28, *Edit29, *Edit30, *Edit31;
  TUpDown *UpDown16, *UpDown17, *UpDown18, *UpDown19, *UpDown20;
  // Wave page.
  TGroupBox* GroupBox6;
  TLabel *Label34, *Label35, *Label36;
  TEdit *Edit32, *Edit33, *Edit34;
  TUpDown *UpDown21, *UpDown22, *UpDown23;
  TCheckBox* CheckBox2;
  // Soft Shadow page.
  TLabel *lblAddSoftShadow, *lblShadowRadius, *lblShadowOffset, *lblShadowColor, *lblShadowPosition;
  TEdit *edtShadowRadius, *edtShadowOffset;
  TUpDown *updShadowRadius, *updShadowOffset;
  TPanel* pnlShadowColor;
  TComboBox* cmbShadowPosition;
  // FFT page: the spectrum viewer (VexlaneProc2 works on it) and its
  // progress bar.
  TGroupBox* GroupBox8;
  TVexlaneView* VexlaneView1;
  TProgressBar* pbrFFT;
  TButton* Clear;
  TButton* Button7;
  TCheckBox* CheckBox1;

  // ---- fields ----
  int32_t fMedR = 0, fMedG = 0, fMedB = 0;
  bool fDoFilters = false;
  bool fDoChange = false;
  bool fDoProgress = false;
  bool fResized = false;
  bool fUpdatingSize = false;
  bool fDoSelecting = false;
  int32_t Contrast = 0, Brightness = 0, Hue = 0, Sat = 0, Lum = 0, bHue = 0, bSat = 0, bVal = 0, Red = 0,
          Green = 0, Blue = 0;
  TGraphFilter Filter;
  TRGB DownLimit{}, UpLimit{}, EDownLimit{}, EUpLimit{};
  bool AutoEqualize = false;
  int32_t BumpLeft = 0, BumpTop = 0, BumpWidth = 0, BumpHeight = 0;
  TRGB BumpCol{};
  int32_t BumpSrc = 0;
  int32_t LensLeft = 0, LensTop = 0, LensWidth = 0, LensHeight = 0;
  double LensRef = 0;
  int32_t WaveAmplitude = 0, WaveWaveLength = 0, WavePhase = 0;
  bool WaveReflect = false;
  int32_t MorphFilter = 0, MorphWinSize = 0;
  double RotationAngle = 0;
  bool FlipHorz = false, FlipVert = false;
  int32_t Sharpen = 0, SharpenSize = 0;
  int32_t ResizePercent = 0;
  int32_t ShadowRadius = 0, ShadowOffset = 0;
  int32_t AutoEnhance1Slope = 0, AutoEnhance1Range = 0;
  double AutoEnhance3Gamma = 0;
  int32_t AutoEnhance3Saturation = 0;
  int32_t CropLeft = 0, CropTop = 0, CropRight = 0, CropBottom = 0;
  int32_t FFTProgressPos = 0;
  // The reduced copy's size and the spectrum's (the preview transform's
  // grid), from the source's size.
  int32_t FFTNewWidth = 0, FFTNewHeight = 0, FFTSize = 0;
  std::unique_ptr<TVXFtImage> FTImage;
  TPreviewEffects pe = 0;
  TProgressRec Progress;
  bool DefaultLockPreview = false;
  std::array<bool, VXPreviewPageCount> ars{};
  std::array<std::string, VXPreviewPageCount> undos;
  TTabSheet* InitialPage = nullptr;
  std::string UndoCaption;
  TIPDialogParams* fIPDialogParams = nullptr;
  bool ShowReset = false;
  bool HardReset = false;
  bool ResetAllTabs = true;
  std::vector<std::string>* OpList = nullptr;
  std::string CurrentOp;
  // The message language is English (or the system's, on an English
  // system); some labels read differently otherwise.
  bool fEnglish = true;

  // ---- operations the pages use ----
  void LoadPreviewPageParams(bool ResetAll);
  void ApplyPreviewOperation(TVexlaneView* View, bool IsPreview);
  void UpdatePreview();
  void RequestPreview(bool Force);
  void ApplyToSource();
  void StoreParams();
  void SetupPageMouseMode();
  // The gamma page's curve for gamma g on VexlaneView2.
  void DrawGammaCurve(double g);

  // ---- event handlers ----
  void FormCreate();
  void FormActivate();
  void FormResize();
  void FormDestroy();
  void PageControl1Change();
  void PreviewButtonClick();
  void chkLockPreviewClick();
  void tmrUpdatePreviewTimer();
  void ResultToSourceButtonClick();
  void OkButtonClick();
  void ResetButtonClick();
  void Vexlane1ViewChange();
  void Vexlane1SelectionChange();
  void Vexlane2MouseUp(TMouseButton Button, int X, int Y);
  void TrackBar1Change();
  void Edit1Change(TEdit* Sender);
  void TrackBar2Change();
  void Edit4Change(TEdit* Sender);
  void TrackBar6Change();
  void Edit7Change(TEdit* Sender);
  void TrackBar9Change();
  void Edit19Change(TEdit* Sender);
  void HSVBox3Change();
  void trkGammaChange();
  void cbxGammaClick();
  void AutoEnhanceControlChange();
  void updAutoEnhance3GammaClick(TUDBtnType Button);
  void ShowFilterValues();
  void Edit8Change(TEdit* Sender);
  void ListBox1Click();
  void Button4Click();
  void Button5Click();
  void Edit35Change();
  void TrackBar4Change();
  void Edit36Change();
  void TrackBarRotateChange();
  void edtRotateChange();
  void chkFlipHorzClick();
  void pnlRotateBackgroundClick(TPanel* Sender);
  void edtNewWidthChange();
  void edtNewHeightChange();
  void edtNewWidthPercentChange();
  void edtNewHeightPercentChange();
  void ResizeBoxChange(bool Vertical, bool Percent);
  // The crop boxes' handler; Sender null (entering the page) or the source
  // view (its selection changed).
  void CropControlChange(void* Sender);
  void CheckListBox1Click();
  // Both rulers' handler.
  void RulerBox1RulerPosChange(TRulerBox* Sender, int Grip);
  void SpeedButton3Click();
  void Edit22Change();
  void HSVBox2Change();
  void Edit27Change();
  void Edit32Change();
  void SoftShadowControlChange(void* Sender);
  // Source pixels to the result view's (the preview's) and back.
  int32_t SourceXToPreview(int32_t X) const;
  int32_t SourceYToPreview(int32_t Y) const;
  int32_t SourceLengthToPreview(int32_t Length) const;
  // A click on the result view as a source point; false when the source
  // view has no zoom.
  bool PreviewToSource(int X, int Y, int32_t& SX, int32_t& SY) const;

  // The page's tag (-1 for none).
  static int PageTag(TTabSheet* Page) { return Page ? int(Page->Tag()) : -1; }

 protected:
  void WMExitSizeMove(TMessage& Message) override;

 private:
  void CreateFrame();
  void CreateColourPages();
  // The page of a tag (null for an unknown tag).
  TTabSheet* PageOfTag(int Tag) const;
  // The colour pages' parts of LoadPreviewPageParams, StoreParams,
  // ApplyPreviewOperation and UpdateLanguage.
  void LoadPage(int Tag);
  void StorePage(int Tag);
  void RunPageOperation(int Tag, TVexlaneView* View, bool IsPreview, void* Sender, const TVXProgressEvent& OnProgress);
  void UpdateColourPagesLanguage();
  // The same for the filter pages (user filter, morph, sharpen) and the
  // geometry pages (rotate, resize).
  void CreateFilterPages();
  void UpdateFilterPagesLanguage();
  void LoadFilterPage(int Tag);
  void StoreFilterPage(int Tag);
  void RunFilterPageOperation(int Tag, TVexlaneView* View, bool IsPreview, void* Sender,
                              const TVXProgressEvent& OnProgress);
  void CreateGeometryPages();
  void UpdateGeometryPagesLanguage();
  void LoadGeometryPage(int Tag);
  void StoreGeometryPage(int Tag);
  void RunGeometryPageOperation(int Tag, TVexlaneView* View, bool IsPreview, void* Sender,
                                const TVXProgressEvent& OnProgress);
  void CreateCropPage();
  void RunCropOperation(TVexlaneView* View, bool IsPreview);
  void CreateEqualizationPage();
  void LoadEqualizationPage();
  void RunEqualizationOperation(TVexlaneView* View, bool IsPreview, void* Sender, const TVXProgressEvent& OnProgress);
  // Fills the user filter's preset list with the presets' names.
  void FillFilterPresets();
  // The same for the distortion and shadow pages (bump map, lens, wave,
  // soft shadow).
  void CreateDistortPages();
  void UpdateDistortPagesLanguage();
  void LoadDistortPage(int Tag);
  void StoreDistortPage(int Tag);
  void RunDistortPageOperation(int Tag, TVexlaneView* View, bool IsPreview, void* Sender,
                               const TVXProgressEvent& OnProgress);
  // A click on the result view on a distortion page (true when taken).
  bool DistortPagesMouseUp(int X, int Y);
  // The FFT page.
  void CreateFFTPage();
  void UpdateFFTPageLanguage();
  void LoadFFTPage(int Tag);
  void StoreFFTPage(int Tag);
  void RunFFTPageOperation(int Tag, TVexlaneView* View, bool IsPreview);
  // The transform of the reduced copy of the source, in the mode of "Gray
  // scale".
  void RebuildFFT();
  void ClearClick();
  void Button7Click();
  void CheckBox1Click();
  void VexlaneProc2Progress(int32_t Percent);
  // Sets a slider and writes its position into the box (no handler acts).
  void SetSliderAndBox(TTrackBar* Slider, TEdit* Box, int Value);
  bool fActivated = false;
  bool fInUpdatePreview = false;
  bool fInResize = false;
};

// The spectrum selection of the preview transform (Mask, in the S x S grid of
// a CopyWidth x CopyHeight copy) carried to the N x N transform of the
// SourceWidth x SourceHeight image: each selected cell covers the same
// frequencies, in cycles across the image, as in the preview. The offsets
// from the centre scale by N * CopyWidth / (S * SourceWidth) across and
// likewise down; a target cell is selected when any selected cell overlaps
// it. An empty 1-bit N x N mask without a selection.
std::unique_ptr<TVXMask> VXCarryFFTSelection(TVXMask* Mask, int32_t S, int32_t CopyWidth, int32_t CopyHeight,
                                             int32_t N, int32_t SourceWidth, int32_t SourceHeight);

// The dialog the processing component's DoPreviews opens.
std::unique_ptr<TVXPreviewsDialog> VXCreatePreviewsDialog(TVexlaneProc* Owner);
