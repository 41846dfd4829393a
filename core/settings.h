#pragma once
// Library-wide defaults: one settings object, reached through
// VXGetGlobalSettings(), created on first use. Components, bitmaps, codecs
// and dialogs read their defaults here; module start-ups store their hooks
// and tables here.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/vxdefs.h"

class TStream;
class TIOParamsVals;
class TVXFileFormatInfo;
class TVXPen;
class TFont;

// LZW coder hooks kept in the settings (installed by the I/O start-up).
using TGIFLZWDecompFunc = void (*)(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced,
                                   uint8_t* FData);
using TGIFLZWCompFunc = void (*)(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced,
                                 uint8_t* FData, int32_t BitsPerPixel);
// The TIFF decoder is told the strip's compressed size on the first call of
// a strip (CompSize), so that it never reads past the strip.
using TTIFFLZWDecompFunc = uint8_t* (*)(uint8_t* CompBuf, int32_t LineSize, void*& Id,
                                        int32_t FillOrder, int64_t CompSize);
using TTIFFLZWCompFunc = void (*)(uint8_t* indata, int32_t inputlen, TStream* outstream, void*& id);

// Row colour converter: turns ImageWidth pixels of InputScanline in
// InputColorSpace into OutputScanline in OutputColorSpace.
using TVXConvertColorFunction = void (*)(void* InputScanline, TVXColorSpace InputColorSpace,
                                         void* OutputScanline, TVXColorSpace OutputColorSpace,
                                         int32_t ImageWidth, TIOParamsVals* IOParams);

// Places a dialog window (argument: the window handle).
using TVXDialogCenter = void (*)(void* Wnd);

// Default row colour converter. The module that implements the library's
// converter stores it here; every settings object created afterwards starts
// with it, and a settings object whose converter was never assigned reports it.
extern TVXConvertColorFunction VXDefaultConvertColorHook;

// Called after MsgLanguage changed, so that user-interface components reload
// their captions (the window layer installs it).
extern void (*VXNotifyLanguageChangeHook)();

enum TVXEXIFInteroperabilityIndexUsage { vxiiNone, vxiiApplyOnly, vxiiApplyAndReset };

class TVXWordTransitionParams {
public:
  std::string Word = "A";
  std::string FontName = "Arial";
  TFontStyles Style = VXFontStyleBit(fsBold);
  uint16_t Quality = 200;
};

using TVXMemoShortCuts = std::array<TShortCut, VXMemoShortCutCount>;
using TVXMeasureUnits = std::array<std::string, VXUnitsCount>;

class TVXVexlaneGlobalSettings {
public:
  TVXVexlaneGlobalSettings();
  ~TVXVexlaneGlobalSettings();
  TVXVexlaneGlobalSettings(const TVXVexlaneGlobalSettings&) = delete;
  TVXVexlaneGlobalSettings& operator=(const TVXVexlaneGlobalSettings&) = delete;

  // Frees the object held by VXGetGlobalSettings and clears the holder.
  static void DestroySingletonInstance();

  TMsgLanguage MsgLanguage() const { return fMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage v);  // also notifies the user interface

  // -1 until the processor count is first asked for (VXProcessorCount).
  int32_t DefaultCoresCount() const { return fDefaultCoresCount.load(std::memory_order_relaxed); }
  void SetDefaultCoresCount(int32_t v) { fDefaultCoresCount.store(v, std::memory_order_relaxed); }

  TVXOpSys OpSys() const { return fOpSys; }
  void SetOpSys(TVXOpSys v) { fOpSys = v; }
  bool UnicodeOS() const { return fUnicodeOS; }
  void SetUnicodeOS(bool v) { fUnicodeOS = v; }

  TResampleFilter DefaultPreviewsZoomFilter() const { return fDefaultPreviewsZoomFilter; }
  void SetDefaultPreviewsZoomFilter(TResampleFilter v) { fDefaultPreviewsZoomFilter = v; }
  TResampleFilter DefaultResampleFilter() const { return fDefaultResampleFilter; }
  void SetDefaultResampleFilter(TResampleFilter v) { fDefaultResampleFilter = v; }
  TVXAntialiasMode DefaultRotateAntiAlias() const { return fDefaultRotateAntiAlias; }
  void SetDefaultRotateAntiAlias(TVXAntialiasMode v) { fDefaultRotateAntiAlias = v; }

  TVXDialogCenter DefDialogCenter() const { return fDefDialogCenter; }
  void SetDefDialogCenter(TVXDialogCenter v) { fDefDialogCenter = v; }

  // The dialog font is created by the user-interface layer; the library
  // shut-down frees it (VXLibraryHooks.FreeDefaultDialogFont).
  TFont* DefaultDialogFont() const { return fDefaultDialogFont; }
  void SetDefaultDialogFont(TFont* v) { fDefaultDialogFont = v; }

  // -1 = not set (bitmaps then derive their own threshold).
  int64_t DefMinFileSize() const { return fDefMinFileSize; }
  void SetDefMinFileSize(int64_t v) { fDefMinFileSize = v; }
  bool AutoLocateOnDisk() const { return fAutoLocateOnDisk; }
  void SetAutoLocateOnDisk(bool v) { fAutoLocateOnDisk = v; }
  bool AutoFragmentBitmap() const { return fAutoFragmentBitmap; }
  void SetAutoFragmentBitmap(bool v) { fAutoFragmentBitmap = v; }
  bool UseGDIPlus() const { return fUseGDIPlus; }
  void SetUseGDIPlus(bool v) { fUseGDIPlus = v; }
  bool UseButtonGlyphsInDialogs() const { return fUseButtonGlyphsInDialogs; }
  void SetUseButtonGlyphsInDialogs(bool v) { fUseButtonGlyphsInDialogs = v; }
  TVXBackgroundStyle PreviewImageBackgroundStyle() const { return fPreviewImageBackgroundStyle; }
  void SetPreviewImageBackgroundStyle(TVXBackgroundStyle v) { fPreviewImageBackgroundStyle = v; }
  TColor PreviewImageBackgroundColor() const { return fPreviewImageBackgroundColor; }
  void SetPreviewImageBackgroundColor(TColor v) { fPreviewImageBackgroundColor = v; }
  const std::string& PreviewAdditionalMultipageExts() const { return fPreviewAdditionalMultipageExts; }
  void SetPreviewAdditionalMultipageExts(const std::string& v) { fPreviewAdditionalMultipageExts = v; }

  // Read-only screen and system facts.
  int32_t SystemColors() const { return fSystemColors; }
  bool IsRemoteSession() const { return fIsRemoteSession; }
  int32_t SystemDPIX() const { return fSystemDPIX; }
  int32_t SystemDPIY() const { return fSystemDPIY; }

  // Loading by URL: HTTPS checks the server's certificate and name (against
  // the system's authorities and URLCAFile, a PEM file, when set); a
  // connection or a transfer that stalls gives up after URLTimeout seconds.
  bool URLCheckCertificates() const { return fURLCheckCertificates; }
  void SetURLCheckCertificates(bool v) { fURLCheckCertificates = v; }
  const std::string& URLCAFile() const { return fURLCAFile; }
  void SetURLCAFile(const std::string& v) { fURLCAFile = v; }
  int32_t URLTimeout() const { return fURLTimeout; }
  void SetURLTimeout(int32_t v) { fURLTimeout = v; }

  int32_t DefaultDPIX() const { return fDefaultDPIX; }
  void SetDefaultDPIX(int32_t v) { fDefaultDPIX = v; }
  int32_t DefaultDPIY() const { return fDefaultDPIY; }
  void SetDefaultDPIY(int32_t v) { fDefaultDPIY = v; }

  // The processor reports MMX.
  bool MMX() const { return fMMX; }

  int32_t EdgeX() const { return fEdgeX; }
  int32_t EdgeY() const { return fEdgeY; }
  int32_t BorderX() const { return fBorderX; }
  int32_t BorderY() const { return fBorderY; }
  int32_t VScrollWidth() const { return fVScrollWidth; }
  int32_t HScrollHeight() const { return fHScrollHeight; }

  int32_t MinZoomDisplayGrid() const { return fMinZoomDisplayGrid; }
  void SetMinZoomDisplayGrid(int32_t v) { fMinZoomDisplayGrid = v; }

  // The grid pen: a TVXPen without platform pen, made with the settings.
  // The viewer module's start-up sets its mode, style and width and its
  // shut-down frees it and clears the field; without a viewer module the
  // settings free it with themselves.
  TVXPen* GridPen() const { return fGridPen; }
  void SetGridPen(TVXPen* v) { fGridPen = v; }

  TColor SelectionGridColor() const { return fSelectionGridColor; }
  void SetSelectionGridColor(TColor v) { fSelectionGridColor = v; }
  const std::string& MViewExplorerThumbnailExts() const { return fMViewExplorerThumbnailExts; }
  void SetMViewExplorerThumbnailExts(const std::string& v) { fMViewExplorerThumbnailExts = v; }

  TGIFLZWDecompFunc DefGIF_LZWDECOMPFUNC() const { return fDefGIF_LZWDECOMPFUNC; }
  void SetDefGIF_LZWDECOMPFUNC(TGIFLZWDecompFunc v) { fDefGIF_LZWDECOMPFUNC = v; }
  TGIFLZWCompFunc DefGIF_LZWCOMPFUNC() const { return fDefGIF_LZWCOMPFUNC; }
  void SetDefGIF_LZWCOMPFUNC(TGIFLZWCompFunc v) { fDefGIF_LZWCOMPFUNC = v; }
  TTIFFLZWDecompFunc DefTIFF_LZWDECOMPFUNC() const { return fDefTIFF_LZWDECOMPFUNC; }
  void SetDefTIFF_LZWDECOMPFUNC(TTIFFLZWDecompFunc v) { fDefTIFF_LZWDECOMPFUNC = v; }
  TTIFFLZWCompFunc DefTIFF_LZWCOMPFUNC() const { return fDefTIFF_LZWCOMPFUNC; }
  void SetDefTIFF_LZWCOMPFUNC(TTIFFLZWCompFunc v) { fDefTIFF_LZWCOMPFUNC = v; }

  // The file-format registry. Entries are owned by the I/O module, which
  // builds the list at its start-up and frees the entries at its shut-down.
  std::vector<TVXFileFormatInfo*>& FileFormats() { return fFileFormats; }
  const std::vector<TVXFileFormatInfo*>& FileFormats() const { return fFileFormats; }

  bool UseCMYKProfile() const { return fUseCMYKProfile; }
  void SetUseCMYKProfile(bool v) { fUseCMYKProfile = v; }
  bool UseDefaultFileExists() const { return fUseDefaultFileExists; }
  void SetUseDefaultFileExists(bool v) { fUseDefaultFileExists = v; }
  int32_t MaxImageEMFSize() const { return fMaxImageEMFSize; }
  void SetMaxImageEMFSize(int32_t v) { fMaxImageEMFSize = v; }
  // Empty = the system's temporary folder.
  const std::string& DefTempPath() const { return fDefTempPath; }
  void SetDefTempPath(const std::string& v) { fDefTempPath = v; }

  TVXConvertColorFunction ConvertColorFunction() const;
  void SetConvertColorFunction(TVXConvertColorFunction v);

  bool EnableCMS() const { return fEnableCMS; }
  void SetEnableCMS(bool v) { fEnableCMS = v; }
  int32_t ColorReductionAlgorithm() const { return fColorReductionAlgorithm; }
  void SetColorReductionAlgorithm(int32_t v) { fColorReductionAlgorithm = v; }
  int32_t ColorReductionQuality() const { return fColorReductionQuality; }
  void SetColorReductionQuality(int32_t v) { fColorReductionQuality = v; }
  int32_t ObjectsTIFFTag() const { return fObjectsTIFFTag; }
  void SetObjectsTIFFTag(int32_t v) { fObjectsTIFFTag = v; }
  bool UseRelativeStreams() const { return fUseRelativeStreams; }
  void SetUseRelativeStreams(bool v) { fUseRelativeStreams = v; }
  TResampleFilter PanZoomQualityFilter() const { return fPanZoomQualityFilter; }
  void SetPanZoomQualityFilter(TResampleFilter v) { fPanZoomQualityFilter = v; }

  // Percent weights of 8-bit grey.
  int32_t RedToGrayCoef() const { return fRedToGrayCoef; }
  void SetRedToGrayCoef(int32_t v) { fRedToGrayCoef = v; }
  int32_t GreenToGrayCoef() const { return fGreenToGrayCoef; }
  void SetGreenToGrayCoef(int32_t v) { fGreenToGrayCoef = v; }
  int32_t BlueToGrayCoef() const { return fBlueToGrayCoef; }
  void SetBlueToGrayCoef(int32_t v) { fBlueToGrayCoef = v; }

  TVXEXIFInteroperabilityIndexUsage EXIFInteroperabilityIndexUsage() const {
    return fEXIFInteroperabilityIndexUsage;
  }
  void SetEXIFInteroperabilityIndexUsage(TVXEXIFInteroperabilityIndexUsage v) {
    fEXIFInteroperabilityIndexUsage = v;
  }
  double PrintDialogMarginsIncrement() const { return fPrintDialogMarginsIncrement; }
  void SetPrintDialogMarginsIncrement(double v) { fPrintDialogMarginsIncrement = v; }
  double PrintDialogMarginsMinValue() const { return fPrintDialogMarginsMinValue; }
  void SetPrintDialogMarginsMinValue(double v) { fPrintDialogMarginsMinValue = v; }

  TVXWordTransitionParams* WordTransitionParams() const { return fWordTransitionParams; }

  bool TransitionsDrawAlternative() const { return fTransitionsDrawAlternative; }
  void SetTransitionsDrawAlternative(bool v) { fTransitionsDrawAlternative = v; }
  bool ApplyColorProfileOnRendering() const { return fApplyColorProfileOnRendering; }
  void SetApplyColorProfileOnRendering(bool v) { fApplyColorProfileOnRendering = v; }
  bool ReleaseTwainResources() const { return fReleaseTwainResources; }
  void SetReleaseTwainResources(bool v) { fReleaseTwainResources = v; }
  bool ModelessSelectTwainSource() const { return fModelessSelectTwainSource; }
  void SetModelessSelectTwainSource(bool v) { fModelessSelectTwainSource = v; }
  bool IsInsideTwain() const { return fIsInsideTwain; }
  void SetIsInsideTwain(bool v) { fIsInsideTwain = v; }
  int32_t IOPreviewsDialogWidth() const { return fIOPreviewsDialogWidth; }
  void SetIOPreviewsDialogWidth(int32_t v) { fIOPreviewsDialogWidth = v; }
  int32_t IOPreviewsDialogHeight() const { return fIOPreviewsDialogHeight; }
  void SetIOPreviewsDialogHeight(int32_t v) { fIOPreviewsDialogHeight = v; }

  // Limits that keep a small or hostile file from claiming the machine
  // (core/limits.h applies them). MaxImagePixels: width x height of one
  // image or bitmap. MaxTextSize: the text kept per image (PNG texts, an XMP
  // packet, the IPTC datasets); a value beyond it is dropped whole.
  // MaxMetadataSize: one binary metadata block (colour profile, EXIF block,
  // annotations, one PNG chunk). A value below 1 restores the default.
  int64_t MaxImagePixels() const { return fMaxImagePixels; }
  // Also the limit of the platform's bitmaps and regions.
  void SetMaxImagePixels(int64_t v);
  int64_t MaxTextSize() const { return fMaxTextSize; }
  void SetMaxTextSize(int64_t v) { fMaxTextSize = v < 1 ? VXDefaultMaxTextSize : v; }
  int64_t MaxMetadataSize() const { return fMaxMetadataSize; }
  void SetMaxMetadataSize(int64_t v) { fMaxMetadataSize = v < 1 ? VXDefaultMaxMetadataSize : v; }

  static constexpr int64_t VXDefaultMaxImagePixels = int64_t(1) << 31;
  static constexpr int64_t VXDefaultMaxTextSize = 1048576;
  static constexpr int64_t VXDefaultMaxMetadataSize = 16777216;

  // Public fields.
  std::string ColorDialogCustomColors;
  TVXMemoShortCuts MemoShortCuts;
  TVXMeasureUnits MeasureUnits;

private:
  TMsgLanguage fMsgLanguage = msSystem;
  std::atomic<int32_t> fDefaultCoresCount{-1};
  TVXOpSys fOpSys = vxosUnknown;
  bool fUnicodeOS = true;
  TResampleFilter fDefaultPreviewsZoomFilter = rfFastLinear;
  TResampleFilter fDefaultResampleFilter = rfFastLinear;
  TVXAntialiasMode fDefaultRotateAntiAlias = vxrFast;
  TVXDialogCenter fDefDialogCenter = nullptr;
  TFont* fDefaultDialogFont = nullptr;
  int64_t fDefMinFileSize = -1;
  bool fAutoLocateOnDisk = true;
  bool fAutoFragmentBitmap = true;
  bool fUseGDIPlus = true;
  bool fUseButtonGlyphsInDialogs = false;
  TVXBackgroundStyle fPreviewImageBackgroundStyle = vxbsSolid;
  TColor fPreviewImageBackgroundColor = TColor(0xFF00000Fu);
  std::string fPreviewAdditionalMultipageExts = "mpg,mpeg,wmv,avi";
  int32_t fSystemColors = 0;
  bool fIsRemoteSession = false;
  int32_t fSystemDPIX = 0;
  int32_t fSystemDPIY = 0;
  bool fURLCheckCertificates = true;
  std::string fURLCAFile;
  int32_t fURLTimeout = 60;
  int32_t fDefaultDPIX = 300;
  int32_t fDefaultDPIY = 300;
  bool fMMX = false;
  int32_t fEdgeX = 0;
  int32_t fEdgeY = 0;
  int32_t fBorderX = 0;
  int32_t fBorderY = 0;
  int32_t fVScrollWidth = 0;
  int32_t fHScrollHeight = 0;
  int32_t fMinZoomDisplayGrid = 400;
  TVXPen* fGridPen = nullptr;
  TColor fSelectionGridColor = 0xA0A0A0;
  std::string fMViewExplorerThumbnailExts =
      "*.AVI;*.MPG;*.MPE;*.MPEG;*.WMV;*.ASF;*.IVF;*.WM;*.MP4;*.MOV;*.QT;*.RM;*.M2TS;*.MTS;*.MOD;";
  TGIFLZWDecompFunc fDefGIF_LZWDECOMPFUNC = nullptr;
  TGIFLZWCompFunc fDefGIF_LZWCOMPFUNC = nullptr;
  TTIFFLZWDecompFunc fDefTIFF_LZWDECOMPFUNC = nullptr;
  TTIFFLZWCompFunc fDefTIFF_LZWCOMPFUNC = nullptr;
  std::vector<TVXFileFormatInfo*> fFileFormats;
  bool fUseCMYKProfile = true;
  bool fUseDefaultFileExists = false;
  int32_t fMaxImageEMFSize = 8000;
  std::string fDefTempPath;
  TVXConvertColorFunction fConvertColorFunction = nullptr;
  bool fConvertColorFunctionAssigned = false;
  bool fEnableCMS = false;
  int32_t fColorReductionAlgorithm = -1;
  int32_t fColorReductionQuality = -1;
  int32_t fObjectsTIFFTag = 40101;
  bool fUseRelativeStreams = false;
  TResampleFilter fPanZoomQualityFilter = rfNone;
  int32_t fRedToGrayCoef = 21;
  int32_t fGreenToGrayCoef = 71;
  int32_t fBlueToGrayCoef = 8;
  TVXEXIFInteroperabilityIndexUsage fEXIFInteroperabilityIndexUsage = vxiiApplyAndReset;
  double fPrintDialogMarginsIncrement = 0.01;
  double fPrintDialogMarginsMinValue = 0;
  TVXWordTransitionParams* fWordTransitionParams = nullptr;
  bool fTransitionsDrawAlternative = false;
  bool fApplyColorProfileOnRendering = true;
  bool fReleaseTwainResources = false;
  bool fModelessSelectTwainSource = false;
  bool fIsInsideTwain = false;
  int32_t fIOPreviewsDialogWidth = 0;
  int32_t fIOPreviewsDialogHeight = 0;
  int64_t fMaxImagePixels = VXDefaultMaxImagePixels;
  int64_t fMaxTextSize = VXDefaultMaxTextSize;
  int64_t fMaxMetadataSize = VXDefaultMaxMetadataSize;
};

// The one settings object; created on the first call.
TVXVexlaneGlobalSettings* VXGetGlobalSettings();

// True when the settings' OpSys is Vista, 7, 8 or unknown (= later).
bool VXIsVistaOrLater();

// Tells the user interface that the language changed: the components from
// the application object down (VXNotifyLanguageChange(Application)), then
// the hook.
void VXNotifyLanguageChange();

// A component that reloads its captions when the interface language changes.
class IVXLanguageChange {
 public:
  virtual ~IVXLanguageChange() = default;
  virtual void LanguageChanged() = 0;
};
class TComponent;
// Root and, depth first in order, every component it owns: those that
// implement IVXLanguageChange reload their captions.
void VXNotifyLanguageChange(TComponent* Root);

// The settings' dialog font, made on the first request: DEFAULT_CHARSET, the
// window text colour, no style, "Tahoma" of height -11; on Vista or later
// "Segoe UI" of height -12 when the screen's font families list it. The
// library shut-down frees it (VXFreeDefaultDialogFont).
TFont* VXGetDefaultDialogFont();
void VXFreeDefaultDialogFont();
