// TfIOPreviews: the "Parameters Preview" dialog. Before an image is saved,
// the user picks the options of one format on its page and sees, beside the
// source, what the saved image will look like: JPEG and JPEG 2000 pages
// really compress into memory and decode again; the other pages count the
// bytes their writer produces and show the image reduced to the chosen
// colours. OK (and Apply) writes the active page's options into the
// caller's parameters and sets their file type.
//
// The I/O component opens it through io/dialog_hooks.h; the dialogs
// library's start-up fills that seam (VXCreateIOPreviewsDialog).
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/pixels.h"
#include "core/settings.h"
#include "gui/buttons.h"
#include "gui/comctrls.h"
#include "gui/extctrls.h"
#include "gui/forms.h"
#include "gui/stdctrls.h"
#include "io/dialog_hooks.h"
#include "io/fileformats.h"
#include "io/params_formats.h"

class TVexlaneView;
class TVexlaneIO;
class TIOParamsVals;

// The pages in tab order.
enum TIOPreviewsPage {
  iopJPEG1, iopJPEG2, iopTIFF1, iopTIFF2, iopGIF1, iopGIF2, iopBMP, iopPCX, iopPNG, iopTGA, iopJ2000,
  iopPageCount
};

class TfIOPreviews : public TForm {
 public:
  explicit TfIOPreviews(TComponent* AOwner = nullptr);
  ~TfIOPreviews() override;

  // The pages to offer; with ppAUTO the page of Params->FileType joins.
  // False when nothing is left to show.
  bool SetPreviewParams(TPreviewParams xpp);
  bool Simplified() const { return fSimplified; }
  void SetSimplified(bool v);
  void UpdateLanguage();

  // ---- frame ----
  TImage* Image1;
  TLabel* lblSource;
  TLabel* lblPreview;
  TBitBtn* btnOK;
  TBitBtn* btnCancel;
  TBitBtn* btnPreview;
  TBitBtn* btnApply;
  TPageControl* PageControl1;
  TCheckBox* chkLockPreview;
  TVexlaneView* vxnSource;
  TVexlaneView* vxnPreview;
  TProgressBar* pbrPreview;
  TTimer* tmrApplyAct;

  // ---- pages ----
  std::array<TTabSheet*, iopPageCount> Pages{};
  TTabSheet *TabSheetJPEG1, *TabSheetJPEG2, *TabSheetTIFF1, *TabSheetTIFF2, *TabSheetGIF1, *TabSheetGIF2,
      *TabSheetBMP1, *TabSheetPCX1, *TabSheetPNG1, *TabSheetTGA1, *TabSheetJ20001;
  // The two size lines of every page: captions and value labels.
  struct TSizeLines {
    TLabel *OriginalCaption = nullptr, *OriginalValue = nullptr, *CompressedCaption = nullptr,
           *CompressedValue = nullptr;
  };
  std::array<TSizeLines, iopPageCount> SizeLines{};

  // JPEG, full.
  TLabel* lblJPEGQuality1;
  TEdit* Edit22;
  TTrackBar* TrackBar13;
  TGroupBox* GroupBox5;
  TLabel *lblDCTMethod, *lblSmoothing, *lblJPEGPhotometric;
  TComboBox* ComboBox1;
  TEdit* Edit23;
  TUpDown* UpDown11;
  TComboBox* ComboBox13;
  TCheckBox *CheckBox2, *CheckBox3;
  // JPEG, simplified.
  TLabel* lblJPEGQuality2;
  TEdit* Edit16;
  TTrackBar* TrackBar2;
  // TIFF, full.
  TLabel *lblTIFFCompression1, *lblTIFFImageIndex, *lblTIFFPhotometric, *lblTIFFColors1;
  TComboBox* ComboBox2;
  TEdit* Edit1;
  TUpDown* UpDown1;
  TComboBox *ComboBox3, *ComboBox4;
  TGroupBox* GroupBox1;
  TLabel *lblTIFFName, *lblTIFFDescription, *lblTIFFPageName, *lblTIFFPageNumber, *lblTIFFOf, *lblTIFFXPos,
      *lblTIFFYPos;
  TEdit *Edit4, *Edit5, *Edit6, *Edit7, *Edit8, *Edit2, *Edit3;
  // TIFF, simplified.
  TLabel *lblTIFFCompression2, *lblTIFFColors2;
  TComboBox *ComboBox16, *ComboBox17;
  // GIF, full.
  TLabel *lblGIFImageIndex, *lblGIFColors1, *lblGIFTranspColor, *lblGIFBackground;
  TEdit* Edit9;
  TUpDown* UpDown2;
  TComboBox* ComboBox5;
  TCheckBox *CheckBox4, *CheckBox5;
  TPanel *Panel3, *Panel4;
  TGroupBox* GroupBox2;
  TLabel *lblGIFXPos, *lblGIFYPos, *lblGIFDelay, *lblGIFDelayUnit;
  TEdit *Edit10, *Edit11, *Edit12;
  // GIF, simplified.
  TLabel* lblGIFColors2;
  TComboBox* ComboBox18;
  // BMP.
  TLabel *lblBMPCompression, *lblBMPColors;
  TComboBox *ComboBox6, *ComboBox7;
  // PCX.
  TLabel *lblPCXCompression, *lblPCXColors;
  TComboBox *ComboBox8, *ComboBox9;
  // PNG.
  TLabel *lblPNGColors, *lblPNGBackground;
  TComboBox* ComboBox10;
  TPanel* Panel1;
  TGroupBox* GroupBox3;
  TLabel *lblPNGFilter, *lblPNGCompression;
  TComboBox* ComboBox11;
  TCheckBox* CheckBox6;
  TComboBox* ComboBox12;
  // TGA.
  TLabel *lblTGAColors, *lblTGABackground, *lblTGAName, *lblTGADescription;
  TComboBox* ComboBox14;
  TPanel* Panel5;
  TCheckBox* CheckBox1;
  TEdit *Edit13, *Edit14;
  // JPEG 2000.
  TLabel *lblJ2000Rate, *lblJ2000Photometric;
  TEdit* Edit15;
  TTrackBar* TrackBar1;
  TComboBox* ComboBox15;

  // ---- fields ----
  TPreviewParams pp = 0;
  std::string msgCancel = "&Cancel";
  bool fDoChange = false;
  TIOParamsVals* Params = nullptr;
  // Working values, one set per format.
  int32_t JPEG_Quality = 0;
  int32_t JPEG_Photometric = 0;
  int32_t JPEG_DCTMethod = 0;
  bool JPEG_OptimalHuffman = false;
  int32_t JPEG_Smooth = 0;
  bool JPEG_Progressive = false;
  double J2000_Rate = 0;
  int32_t J2000_ColorSpace = 0;
  TIOTIFFCompression TIFF_Compression = ioTIFF_UNCOMPRESSED;
  int32_t TIFF_ImageIndex = 0;
  TIOTIFFPhotometInterpret TIFF_PhotometInterpret = ioTIFF_RGB;
  int32_t TIFF_XPos = 0, TIFF_YPos = 0;
  std::string TIFF_DocumentName, TIFF_ImageDescription, TIFF_PageName;
  int32_t TIFF_PageNumber = 0, TIFF_PageCount = 0;
  int32_t TIFF_BitsPerSample = 8, TIFF_SamplesPerPixel = 3;
  TTIFFLZWDecompFunc TIFF_LZWDecompFunc = nullptr;
  TTIFFLZWCompFunc TIFF_LZWCompFunc = nullptr;
  int32_t GIF_ImageIndex = 0, GIF_XPos = 0, GIF_YPos = 0, GIF_DelayTime = 0;
  bool GIF_FlagTranspColor = false;
  TRGB GIF_TranspColor{};
  bool GIF_Interlaced = false;
  TRGB GIF_Background{};
  int32_t GIF_BitsPerSample = 8;
  TGIFLZWDecompFunc GIF_LZWDecompFunc = nullptr;
  TGIFLZWCompFunc GIF_LZWCompFunc = nullptr;
  TIOBMPCompression BMP_Compression = ioBMP_UNCOMPRESSED;
  int32_t BMP_BitsPerPixel = 3;
  TIOPCXCompression PCX_Compression = ioPCX_RLE;
  int32_t PCX_BitsPerPixel = 3;
  int32_t PNG_Colors = 2;
  bool PNG_Interlaced = false;
  TRGB PNG_Background{};
  int32_t PNG_Filter = 0;
  int32_t PNG_Compression = 5;
  int32_t TGA_Colors = 2;
  TRGB TGA_Background{};
  bool TGA_Compressed = true;
  std::string TGA_Name, TGA_Description;

  bool DefaultLockPreview = false;
  int32_t xper = 0, xdiv = 1;
  TVXDitherMethod fDefaultDitherMethod = vxThreshold;
  bool fInitialized = false;
  // Previews computed so far (each MakePreview that got past its start).
  int32_t PreviewCount = 0;

  // ---- operations ----
  void ResetParameters();
  void ApplyParameters();
  void MakePreview();
  // The active page (its tag, or -1).
  int ActivePageKind() const;
  // The TIFF compression lists' position of a compression and back.
  int TIFFCompressionIndex(TIOTIFFCompression c) const;
  TIOTIFFCompression TIFFCompressionOfIndex(int Index) const;

  // ---- handlers ----
  void FormCreate();
  void FormActivate();
  void FormResize();
  void PageControl1Changing();
  void PageControl1Change();
  void tmrApplyActTimer();
  void chkLockPreviewClick();
  void btnPreviewClick();
  void btnOKClick();
  void btnApplyClick();
  void vxnSourceViewChange();
  void ViewProgress(int32_t per);
  void RestartApplyTimer();
  void Edit22Change();
  void TrackBar13Change();
  void Edit16Change();
  void TrackBar2Change();
  void Edit15Change();
  void TrackBar1Change();
  void ComboBox2Click(void* Sender);
  void ComboBox16Change(void* Sender);
  void ComboBox5Click();
  void ComboBox18Change();
  void ComboBox6Change();
  void ComboBox8Change();
  void ComboBox10Change();
  void ComboBox14Click();
  void Panel3Click(TPanel* Sender);
  void Panel1Click(TPanel* Sender);

 private:
  void CreateFrame();
  void CreatePages();
  void UpdatePagesLanguage();
  void FillTIFFCompressionLists();
  void ApplySimplifiedLayout();
  // The source parameters for the active page's preview.
  void SetPreviewParameters(TIOParamsVals& P, int Page);
  // The colour reduction of the preview after a counting save.
  void ReducePreview(int Page);
  void PaletteReduce();
  void SyncPreviewView();
  void SetOriginalSize();
  void SetCompressedSize(int64_t Size, std::initializer_list<int> Pages);
  void WriteActivePage();
  bool fSimplified = false;
  bool fActivating = false;
  bool fInResize = false;
};

// The dialog the I/O component's DoPreviews opens.
std::unique_ptr<TVXIOPreviewsDialog> VXCreateIOPreviewsDialog(TVexlaneIO* Owner);
