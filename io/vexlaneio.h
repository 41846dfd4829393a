// TVexlaneIO, the I/O component: loads into and saves from its target bitmap
// (its own, or one the caller attaches) with the per-image parameters of the
// last load, reporting progress and the end of every operation through events.
//
// With AsyncMode on, a component that works on a bitmap it does not own (a
// caller's bitmap or a viewer's) runs every load and save on a request thread
// (io/iothread.h) and returns at once. A viewer is reached through its host
// interface (core/viewhost.h): from a request thread only through posted
// messages when it sits in a parent window. Platform bitmaps and picture
// controls are not part of this library: attaching one raises EVXException.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/pixels.h"
#include "core/target_component.h"
#include "core/viewhost.h"
#include "core/vxdefs.h"
#include "gui/component.h"
#include "io/dialog_hooks.h"
#include "io/iothread.h"
#include "io/printparams.h"
#include "winui/avifile.h"

struct TVXRowSink;
class TVXBitmap;
class TCanvas;
class TFont;
class TPrinter;
class TIOParamsVals;
class TMetafile;
class TStream;
class TMemoryStream;
class TBitmap;
class TImage;
class TVXFileFormatInfo;
class TVXWideFileStream;
class TVXDirectShow;
struct TVXCodecOps;
enum TVXCodecOperation : int32_t;

using TNotifyEvent = std::function<void(void* Sender)>;
// Before a dialog of the component is shown: the form.
using TVXIOPreviewEvent = std::function<void(void* Sender, void* PreviewForm)>;
// Before the save-parameters dialog: a handler that sets Handled takes over.
using TVXDoPreviewsEvent = std::function<void(void* Sender, bool& Handled)>;

// Images as text: a constant array of a Pascal unit, hexadecimal bytes,
// Base64, or a picture of characters.
enum TVXTextFormat { vxtfPascal, vxtfHex, vxtfBase64, vxtfASCIIArt };

// What CreateAVIFile made of the compressor.
enum TVXCreateAVIFileResult { vxaviOK, vxaviNOCOMPRESSOR, vxaviMEMORY, vxaviUNSUPPORTED };

// Printing: the printed size and the alignment on the page.
enum TVXSize { vxsNormal, vxsFitToPage, vxsFitToPageStretch, vxsFillPage, vxsSpecifiedSize };
enum TVXHorizontalPos { vxhpLeft, vxhpCenter, vxhpRight };
enum TVXVerticalPos { vxvpTop, vxvpCenter, vxvpBottom };

// Steps through the images of a multi-image file.
enum TVXIOSeekDestination { vxioSeekFirst, vxioSeekPrior, vxioSeekNext, vxioSeekLast };

class TVexlaneIO : public TVXTargetComponent {
 public:
  // A component with its own empty target bitmap; with an owner it is freed
  // by the owner.
  explicit TVexlaneIO(TComponent* Owner = nullptr);
  // A component without owner attached to Bitmap (the caller keeps owning it).
  static std::unique_ptr<TVexlaneIO> CreateFromBitmap(TVXBitmap* Bitmap);
  // A component without owner attached to a platform bitmap (the caller
  // keeps owning it).
  static std::unique_ptr<TVexlaneIO> CreateFromBitmap(TBitmap* Bitmap);
  virtual ~TVexlaneIO();
  TVexlaneIO(const TVexlaneIO&) = delete;
  TVexlaneIO& operator=(const TVexlaneIO&) = delete;

  // ---- targets ----
  TVXBitmap* AttachedVXBitmap() const { return fVXBitmapCreated ? nullptr : fVXBitmap; }
  // Works on Value from now on (borrowed); an own target is freed and an
  // attached viewer is left. nullptr leaves the component without a target
  // (every operation then fails), except that with a viewer attached it only
  // removes the bitmap-change registration and keeps the viewer.
  void SetAttachedVXBitmap(TVXBitmap* Value);
  TVXBitmap* VXBitmap() const { return fVXBitmap; }
  void SetVXBitmap(TVXBitmap* Value);
  TVXViewHost* AttachedVexlane() const { return fVexlaneView; }
  // Works on the viewer's bitmap (an own one while the viewer has none) and
  // follows the viewer when it replaces its bitmap. nullptr leaves the viewer
  // and gives the component a new own target.
  void SetAttachedVexlane(TVXViewHost* Value);
  // A platform bitmap (the caller keeps owning it) whose pixels every
  // operation reads and fills, through a target of the component's own that
  // wraps it. nullptr with a viewer or picture control attached changes
  // nothing; otherwise it empties the target.
  TBitmap* AttachedBitmap() const { return fBitmap; }
  void SetAttachedBitmap(TBitmap* Value);
  // The picture bitmap of an image control, attached as above; the control
  // tells the component when it is freed. nullptr empties the target.
  TImage* AttachedTImage() const { return fTImage; }
  void SetAttachedTImage(TImage* Value);
  // The target's platform bitmap when it keeps its rows in one, else the
  // attached platform bitmap.
  TBitmap* Bitmap();
  // Keeps Value as the platform bitmap and wraps it in the target.
  void SetBitmap(TBitmap* Value);
  // The print log file of the whole I/O module (io/printlog.h): setting a
  // name empties that file; printing and rendering then append to it.
  std::string PrintLogFile() const;
  void SetPrintLogFile(const std::string& Value);

  // ---- properties ----
  TIOParamsVals& Params() const { return *fParams; }
  bool Aborting() const;
  void SetAborting(bool Value);
  // The attached viewer's background, else the component's own. Writing
  // changes a viewer's background only when ChangeBackground is on, and
  // never that of a thumbnail viewer.
  TColor Background() const;
  void SetBackground(TColor Value);
  bool StreamHeaders() const { return fStreamHeaders; }
  void SetStreamHeaders(bool Value) { fStreamHeaders = Value; }
  bool AutoAdjustDPI() const { return fAutoAdjustDPI; }
  void SetAutoAdjustDPI(bool Value) { fAutoAdjustDPI = Value; }
  bool FilteredAdjustDPI() const { return fFilteredAdjustDPI; }
  void SetFilteredAdjustDPI(bool Value) { fFilteredAdjustDPI = Value; }
  bool SimplifiedParamsDialogs() const { return fSimplifiedParamsDialogs; }
  void SetSimplifiedParamsDialogs(bool Value) { fSimplifiedParamsDialogs = Value; }
  TVXDialogsMeasureUnit DialogsMeasureUnit() const { return fDialogsMeasureUnit; }
  void SetDialogsMeasureUnit(TVXDialogsMeasureUnit Value) { fDialogsMeasureUnit = Value; }
  bool ChangeBackground() const { return fChangeBackground; }
  void SetChangeBackground(bool Value) { fChangeBackground = Value; }
  // Loads and saves on request threads (only when the target is not the
  // component's own).
  bool AsyncMode() const { return fAsyncMode; }
  void SetAsyncMode(bool Value) { fAsyncMode = Value; }
  TResampleFilter PrintingFilterOnSubsampling() const { return fPrintingFilterOnSubsampling; }
  void SetPrintingFilterOnSubsampling(TResampleFilter Value) { fPrintingFilterOnSubsampling = Value; }
  // The settings that the print-preview dialogs start from and keep.
  TIOPrintPreviewParams& PrintPreviewParams() { return fPrintPreviewParams; }

  // ---- printing (vexlaneio_print.cpp); positions and sizes in inches ----
  // The target drawn at (x, y) in Width x Height on a canvas of dpix x dpiy
  // pixels per inch, resampled with PrintingFilterOnSubsampling when reduced.
  // A strip that could not be drawn sets Aborting.
  void PrintImagePosEx(TCanvas* PrtCanvas, int32_t dpix, int32_t dpiy, double x, double y, double Width,
                       double Height, double GammaCorrection);
  // The same at the canvas's own resolution.
  void PrintImagePos(TCanvas* PrtCanvas, double x, double y, double Width, double Height, double GammaCorrection);
  // The target placed on the canvas's printable area (nullptr: the default
  // printer's canvas, within the caller's BeginDoc and EndDoc) by margins,
  // alignment and size mode. Without a printer raises EVXException "No
  // printer is configured".
  void PrintImage(TCanvas* PrtCanvas, double MarginLeft, double MarginTop, double MarginRight, double MarginBottom,
                  TVXVerticalPos VerticalPos, TVXHorizontalPos HorizontalPos, TVXSize Size, double SpecWidth,
                  double SpecHeight, double GammaCorrection);
  // DestBitmap becomes a white 24-bit picture of the printer's page (nullptr:
  // the default printer) scaled to fit MaxBitmapWidth - 5 x MaxBitmapHeight
  // - 5, with the image placed as PrintImage would and the margins dotted in
  // silver. A page of no pixels or a maximum below 6 leaves it unchanged.
  void PreviewPrintImage(TBitmap* DestBitmap, int32_t MaxBitmapWidth, int32_t MaxBitmapHeight, TPrinter* PrinterObj,
                         double MarginLeft, double MarginTop, double MarginRight, double MarginBottom,
                         TVXVerticalPos VerticalPos, TVXHorizontalPos HorizontalPos, TVXSize Size, double SpecWidth,
                         double SpecHeight, double GammaCorrection);
  // Opens the print-preview dialog (vxdtMaxi: the full-screen one) on the
  // target with PrintPreviewParams. With ResetPrinter the current printer is
  // selected again first; without a printer the message box "The Print
  // Preview could not be displayed because a printer has not been
  // configured on this computer." is shown and the answer is false. False
  // without a target or for a target at most 1 pixel wide and below 2 high;
  // otherwise whether the dialog closed with OK. Caption empty: the word
  // "Print" of the current language. Raises EVXException when the dialogs
  // library is not linked.
  bool DoPrintPreviewDialog(TVXDialogType DialogType, const std::string& TaskName = "",
                            bool PrintAnnotations = false, const std::string& Caption = "");

  // ---- dialogs, capture and shell thumbnails (vexlaneio_dialogs.cpp) ----
  // The save-parameters preview dialog with the option pages pp on the
  // target (made vx24RGB unless it is vx24RGB or vx1g) and Params, which it
  // edits in place. True when OnDoPreviews took over (Handled) or the dialog
  // closed with OK; false without a target or when pp leaves no page.
  // Raises EVXException when the dialogs library is not linked.
  bool DoPreviews(TPreviewParams pp);
  TIOPreviewsParams PreviewsParams() const { return fPreviewsParams; }
  void SetPreviewsParams(TIOPreviewsParams Value) { fPreviewsParams = Value; }
  // The dialogs' font when PreviewFontEnabled (owned; writing copies it),
  // else the settings' default dialog font.
  TFont* PreviewFont() const { return fPreviewFont.get(); }
  void SetPreviewFont(TFont* Value);
  bool PreviewFontEnabled() const { return fPreviewFontEnabled; }
  void SetPreviewFontEnabled(bool Value) { fPreviewFontEnabled = Value; }
  // The open dialog; the chosen name, or "" when cancelled. A confirmed
  // dialog sets Params().ImageIndex to the frame picked in its preview. A
  // non-empty Filter is shown as given (the dialog builds none of its own);
  // an empty Title keeps the dialog's own. Raises EVXException when the
  // dialogs library is not linked.
  std::string ExecuteOpenDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                bool AlwaysAnimate, int32_t FilterIndex, const std::string& ExtendedFilters,
                                const std::string& Title, const std::string& Filter, int32_t DefaultFilter,
                                int32_t LimitToFileType);
  // With no folder, name, extended filters or filter, and filter index 0.
  std::string ExecuteOpenDialog(const std::string& Title = "", int32_t DefaultFilter = 0,
                                int32_t LimitToFileType = -1, bool AlwaysAnimate = false);
  // The save dialog, attached to this component (it shows and edits the
  // chosen format's save options) and listing images only; ImageIndex is
  // left alone.
  std::string ExecuteSaveDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                bool AlwaysAnimate, int32_t FilterIndex, const std::string& ExtendedFilters,
                                const std::string& Title, const std::string& Filter, int32_t DefaultFilter,
                                int32_t LimitToFileType);
  std::string ExecuteSaveDialog(const std::string& Title = "", int32_t DefaultFilter = 0,
                                int32_t LimitToFileType = -1, bool AlwaysAnimate = false);
  // Copies the virtual screen, the primary screen, the foreground window
  // (with its frame; of a maximised one only what lies on the screen) or
  // its client area into the target as vx24RGB, with the arrow cursor drawn
  // at the cursor's position unless MouseCursor is crNone (-1), and the
  // system's DPI. Without a foreground window the target stays as it was.
  // Runs on a request thread in AsyncMode; OnFinishWork fires once either way
  // (not when there is no target).
  virtual void CaptureFromScreen(TVXCSSource Source, TCursor MouseCursor);
  // The thumbnail the shell keeps for the file (core/explorer_thumbnail.h),
  // at about iDesiredWidth x iDesiredHeight. False with Aborting set for an
  // empty name, no thumbnail or one narrower than 10 pixels; otherwise the
  // target holds it, FileName is the file and FileType its detected type
  // (22 for ".wmv", 23 for ".mpe", ".mpg" and ".mpeg" when none is found).
  bool LoadThumbnailFromExplorer(const std::string& FileName, int32_t iDesiredWidth, int32_t iDesiredHeight);

  const std::string& ProxyAddress() const { return fProxyAddress; }
  void SetProxyAddress(const std::string& Value) { fProxyAddress = Value; }
  const std::string& ProxyUser() const { return fProxyUser; }
  void SetProxyUser(const std::string& Value) { fProxyUser = Value; }
  const std::string& ProxyPassword() const { return fProxyPassword; }
  void SetProxyPassword(const std::string& Value) { fProxyPassword = Value; }
  bool ResetPrinter() const { return fResetPrinter; }
  void SetResetPrinter(bool Value) { fResetPrinter = Value; }
  TVXDitherMethod DefaultDitherMethod() const { return fDefaultDitherMethod; }
  void SetDefaultDitherMethod(TVXDitherMethod Value);
  bool NativePixelFormat() const;
  void SetNativePixelFormat(bool Value);
  std::string VexlaneVersion() const { return "6.0.0"; }
  void SetVexlaneVersion(const std::string&) {}

  // ---- events (sender first) ----
  TVXProgressEvent OnProgress;  // (Sender, percent)
  TNotifyEvent OnFinishWork;    // (Sender)
  TVXDoPreviewsEvent OnDoPreviews;  // DoPreviews, before anything else
  TVXIOPreviewEvent OnIOPreview;    // a dialog's form, just before it shows

  // ---- request threads ----
  // Whether the calling thread is one of this component's request threads.
  bool IsInsideAsyncThreads() const;
  // Returns once no request thread runs; with Aborts, sets Aborting first
  // (and again on every wake-up) so that the running requests stop early.
  // On the main thread it meanwhile makes the calls that the requests wait
  // for there. Writing one of the Attached targets, and the attached viewer
  // going away, wait so first.
  void WaitThreads(bool Aborts);
  // Pauses every running request at its next progress report and returns
  // once each one has paused (or ended); ResumeThreads lets them go on.
  void SuspendThreads();
  void ResumeThreads();
  int32_t ThreadsCount() const;
  int32_t AsyncRunning() const { return ThreadsCount(); }

  // ---- operation frame ----
  // False without a target; otherwise the target's format check (an empty set
  // accepts every format).
  bool MakeConsistentBitmap(TVXPixelFormatSet AllowedFormats);
  // Reports 100 through the internal progress handler, then raises OnFinishWork.
  virtual void DoFinishWork();
  virtual void DoProgress(void* Sender, int32_t per);
  // Hands the resolution to an attached single-image viewer, between its
  // update locks.
  virtual void ApplyDPIToView(int32_t DpiX, int32_t DpiY);
  // After every load: refreshes what the component is attached to.
  void Update();
  // Copies the parameters of another component or a parameter object.
  void AssignParams(TVexlaneIO* Source);
  void AssignParams(const TIOParamsVals* Source);
  // A resolution below 2 becomes the settings' default.
  void CheckDPI();
  // With AutoAdjustDPI: resamples to square pixels when DpiX and DpiY differ.
  void DoAutoAdjustDPI();

  // ---- load and save by file type, extension or content ----
  // ImageFormat: a file type, -1 (by the extension) or -9 (by the extension,
  // then by the content when that fails). Saves that find no way to write the
  // type set Aborting and create nothing.
  virtual void SaveToFile(const std::string& FileName, int32_t ImageFormat);
  virtual bool LoadFromFile(const std::string& FileName, int32_t ImageFormat);
  // Always the -9 behaviour, whatever bCheckUnknown says.
  virtual bool LoadFromFile(const std::string& FileName, bool bCheckUnknown);
  // By the content; an unknown content by the extension.
  virtual bool LoadFromFileAuto(const std::string& FileName);
  virtual bool LoadFromFileFormat(const std::string& FileName, int32_t FileFormat);
  virtual void SaveToStream(TStream* Stream, int32_t FileType);
  // By the content at the stream's position.
  virtual bool LoadFromStream(TStream* Stream);
  // FileFormat 0: by the content.
  virtual bool LoadFromStreamFormat(TStream* Stream, int32_t FileFormat);
  // A nil buffer or a size below 1 sets Aborting and loads nothing. Format 0:
  // by the content. A request thread (AsyncMode) reads a copy of the buffer:
  // the caller may free it as soon as the call returns.
  virtual void LoadFromBuffer(const void* Buffer, int32_t BufferSize, int32_t Format);
  // Only the parameters of an image, never its pixels: the target stays as it
  // was. A missing, damaged or unknown file leaves Params().FileType() 0 and
  // raises nothing.
  virtual void ParamsFromBuffer(const void* Buffer, int32_t BufferSize, int32_t Format);
  virtual void ParamsFromFile(const std::string& FileName);
  virtual void ParamsFromFileFormat(const std::string& FileName, int32_t format);
  virtual void ParamsFromStream(TStream* Stream);
  virtual void ParamsFromStreamFormat(TStream* Stream, int32_t format);

  // ---- images as text, from module resources, and frame seeking ----
  // Writes the image encoded as ImageFormat (SaveToStream) as source text, or
  // the target as a picture of characters; every line ends with CR LF. The
  // identifier of the source forms is Params().FileName() without its folder,
  // its first "." replaced by "_". The file form writes through a temporary
  // file (nothing is left when the encoding set Aborting).
  void SaveToText(const std::string& FileName, int32_t ImageFormat, TVXTextFormat TextFormat);
  void SaveToText(TStream* Stream, int32_t ImageFormat, TVXTextFormat TextFormat);
  // Only Base64 can be read back (by the content of the decoded bytes); the
  // other text formats raise EVXException "Unsupported text format".
  void LoadFromText(const std::string& FileName, TVXTextFormat TextFormat);
  void LoadFromText(TStream* Stream, TVXTextFormat TextFormat);
  // Loads the resource of that type and name of a Windows module (executable
  // or library) as Format (0: by the content). Types and names are the
  // texts of TVXResourceExtractor ("RCData" or "INTRESOURCE:10", "LOGO").
  // A module or resource that is not found sets Aborting and raises nothing.
  // Params().IsResource() is true during the load.
  void LoadFromResource(const std::string& ModulePath, const std::string& ResourceType,
                        const std::string& ResourceName, int32_t Format);
  // The new image index (first, prior, next or last, kept inside the file's
  // images); the file (FileName, else Params().FileName()) is loaded at that
  // index when a FileName is given or the index changes.
  int32_t Seek(TVXIOSeekDestination Destination, const std::string& FileName = "");

  // ---- by URL ----
  // Downloads an http://, https:// or ftp:// address (with the proxy
  // settings) and loads the bytes by their content. False when the download
  // or the load fails (Aborting true).
  bool LoadFromURL(const std::string& URL);

  // ---- PNG ----
  // True when the image was read; false for a file that is not a readable PNG.
  // A file that cannot be opened raises.
  bool LoadFromFilePNG(const std::string& FileName);
  bool LoadFromStreamPNG(TStream* Stream);
  // LoadFromFilePNG handing the rows to Rows when it takes them (see
  // TVXRowSink; never with AutoAdjustDPI, which needs the whole image): the
  // parameters and the result are those of LoadFromFilePNG, the attached
  // bitmap is left empty. Runs on the calling thread.
  bool LoadFromFilePNGRows(const std::string& FileName, const TVXRowSink& Rows);
  // Writes through a temporary file in the target's folder, renamed over the
  // target on success: a failed save leaves no half-written target (Aborting
  // true, or the exception passes to the caller).
  void SaveToFilePNG(const std::string& FileName);
  void SaveToStreamPNG(TStream* Stream);

  // ---- JPEG ----
  // True when the image was read. The stream loader skips a 12-byte "JFIF"
  // stream header and then leaves the stream right after the image.
  bool LoadFromFileJpeg(const std::string& FileName);
  bool LoadFromStreamJpeg(TStream* Stream);
  // The target becomes 24-bit RGB unless it is 24-bit or 1-bit. File saves go
  // through a temporary file (a failed save leaves the old file); stream saves
  // write the 12-byte header first when StreamHeaders is on.
  void SaveToFileJpeg(const std::string& FileName);
  void SaveToStreamJpeg(TStream* Stream);
  // Replace the IPTC block of a JPEG with the parameters' IPTC records
  // without decoding the image. The file form rewrites the file only when the
  // copy succeeded; the stream form copies from the input's position to the
  // output's.
  bool InjectJpegIPTC(const std::string& FileName);
  bool InjectJpegIPTCStream(TStream* InputStream, TStream* OutputStream);
  // The same for the EXIF data of the parameters (an APP1 block after APP0,
  // replacing an old "Exif" block).
  bool InjectJpegEXIF(const std::string& FileName);
  bool InjectJpegEXIFStream(TStream* InputStream, TStream* OutputStream);
  // The EXIF data of the parameters into page pageIndex of a TIFF: the file
  // in place, into a copy named OutputFileName, or from stream to stream.
  // Raises EVXException "Cannot inject EXIF into TIFF: no codec is registered
  // for it" until a TIFF module offers it.
  bool InjectTIFFEXIF(const std::string& FileName, int32_t pageIndex);
  bool InjectTIFFEXIF(const std::string& InputFileName, const std::string& OutputFileName, int32_t pageIndex);
  bool InjectTIFFEXIF(TStream* InputStream, TStream* OutputStream, int32_t pageIndex);

  // ---- BMP (type 5) ----
  // True when the image was read; 32-bit transparency becomes the alpha
  // channel when BMP_HandleTransparency is on. Saves write the header
  // version, depth, compression and resolution of the parameters (and the
  // alpha channel at 32 bits with BMP_HandleTransparency) without changing
  // the target; file saves go through a temporary file.
  bool LoadFromFileBMP(const std::string& FileName);
  bool LoadFromStreamBMP(TStream* Stream);
  void SaveToFileBMP(const std::string& FileName);
  void SaveToStreamBMP(TStream* Stream);

  // ---- ICO (type 6) and CUR (type 7) ----
  // The entry ICO_ImageIndex or CUR_ImageIndex, its transparency in the
  // alpha channel. Cursors are never written.
  bool LoadFromFileICO(const std::string& FileName);
  bool LoadFromStreamICO(TStream* Stream);
  // One icon entry per leading size of ICO_Sizes whose width is positive
  // (at most 16), at the matching depth of ICO_BitCount. A target that is
  // neither vx24RGB nor vx1g becomes vx24RGB.
  void SaveToFileICO(const std::string& FileName);
  void SaveToStreamICO(TStream* Stream);
  bool LoadFromFileCUR(const std::string& FileName);
  bool LoadFromStreamCUR(TStream* Stream);

  // ---- PBM, PGM, PPM (type 12) ----
  bool LoadFromFilePXM(const std::string& FileName);
  bool LoadFromStreamPXM(TStream* Stream);
  // The file saver keeps vx48RGB (16-bit samples); the stream saver writes it
  // with 8-bit samples. Other formats but vx24RGB and vx1g become vx24RGB.
  void SaveToFilePXM(const std::string& FileName);
  void SaveToStreamPXM(TStream* Stream);

  // ---- HD Photo (type 29), through the platform imaging component ----
  // Frame ImageIndex; true when it was read. Saving writes the target as it
  // is (vx1g, vx8g, vx16g, vx24RGB, vxCMYK, vx48RGB) with HDP_ImageQuality
  // and HDP_Lossless, then the EXIF data; without the component the save
  // sets Aborting.
  bool LoadFromFileHDP(const std::string& FileName);
  bool LoadFromStreamHDP(TStream* Stream);
  void SaveToFileHDP(const std::string& FileName);
  void SaveToStreamHDP(TStream* Stream);

  // ---- DICOM (type 28) ----
  // The data set into DICOM_Tags and frame ImageIndex, rescaled and windowed
  // as DICOM_Range says; no resolution steps. True when the frame was read.
  bool LoadFromFileDICOM(const std::string& FileName);
  bool LoadFromStreamDICOM(TStream* Stream);
  // One frame with the parameters' tag list, in the transfer syntax of
  // DICOM_Compression; vx1g, vx8g, vx16g and vx24RGB only. A failed file save
  // leaves no file under the name.
  void SaveToFileDICOM(const std::string& FileName);
  void SaveToStreamDICOM(TStream* Stream);

  // ---- JPEG 2000: JP2 (type 13) and J2K code streams (type 14) ----
  // Each loader reads either kind and records its own type. The savers write
  // vx1g, vx8g, vx16g and vx24RGB (other formats are converted to one of
  // them first) as a JP2 file or a bare code stream.
  bool LoadFromFileJP2(const std::string& FileName);
  bool LoadFromStreamJP2(TStream* Stream);
  bool LoadFromFileJ2K(const std::string& FileName);
  bool LoadFromStreamJ2K(TStream* Stream);
  void SaveToFileJP2(const std::string& FileName);
  void SaveToStreamJP2(TStream* Stream);
  void SaveToFileJ2K(const std::string& FileName);
  void SaveToStreamJ2K(TStream* Stream);

  // ---- WBMP (type 16) ----
  bool LoadFromFileWBMP(const std::string& FileName);
  bool LoadFromStreamWBMP(TStream* Stream);
  void SaveToFileWBMP(const std::string& FileName);
  void SaveToStreamWBMP(TStream* Stream);

  // ---- TIFF (type 1) ----
  // Page TIFF_ImageIndex of a TIFF or BigTIFF file; the stream loader reads a
  // 12-byte "TIFF" stream header first when StreamHeaders is on and then
  // leaves the stream after the image. Returns the page count, -1 when
  // Aborting (and -1 when started as a request).
  int32_t LoadFromFileTIFF(const std::string& FileName);
  int32_t LoadFromStreamTIFF(TStream* Stream);
  // A new one-page TIFF; the stream saver writes the "TIFF" stream header
  // around the image when StreamHeaders is on (after a failed save too).
  void SaveToFileTIFF(const std::string& FileName);
  void SaveToStreamTIFF(TStream* Stream);
  // Inserts the target as page TIFF_ImageIndex into the TIFF file or into the
  // TIFF that starts at the stream's beginning (an index past the last page
  // appends); returns the page count, 0 when refused. A failed insert
  // leaves the file as it was.
  int32_t InsertToFileTIFF(const std::string& FileName);
  int32_t InsertToStreamTIFF(TStream* Stream);
  // Replaces page TIFF_ImageIndex of the TIFF file, or of the TIFF that
  // starts at the stream's beginning, by the target; returns the page count,
  // 0 when refused. The work is done on a copy that replaces the original
  // only when both the old page's removal and the insert succeeded; an index
  // that names no page is refused.
  int32_t ReplaceFileTIFF(const std::string& FileName);
  int32_t ReplaceStreamTIFF(TStream* Stream);

  // ---- GIF (type 2) ----
  // Frame GIF_ImageIndex: with GIF_RAWLoad alone at its size and offsets,
  // otherwise frames 0 to the index composed as a player shows them (a
  // negative index composes every frame) on the logical screen. Returns the
  // file's frame count, -1 when Aborting.
  int32_t LoadFromFileGIF(const std::string& FileName);
  int32_t LoadFromStreamGIF(TStream* Stream);
  void SaveToFileGIF(const std::string& FileName);
  void SaveToStreamGIF(TStream* Stream);
  // Inserts the target as frame GIF_ImageIndex into an existing GIF file,
  // enlarges the logical screen to hold it and makes the file an endless
  // animation; returns the frame count. A failure leaves the file unchanged.
  int32_t InsertToFileGIF(const std::string& FileName);
  // Removes frame GIF_ImageIndex and inserts the target in its place.
  int32_t ReplaceFileGIF(const std::string& FileName);

  // ---- PCX (type 4) ----
  // The stream loader reads a 12-byte "PCX2" stream header (or the old 4-byte
  // "PCX" one) when StreamHeaders is on, and then leaves the stream after the
  // image; the stream saver writes the "PCX2" header around the image.
  bool LoadFromFilePCX(const std::string& FileName);
  bool LoadFromStreamPCX(TStream* Stream);
  void SaveToFilePCX(const std::string& FileName);
  void SaveToStreamPCX(TStream* Stream);

  // ---- DCX (type 19): page DCX_ImageIndex ----
  bool LoadFromFileDCX(const std::string& FileName);
  bool LoadFromStreamDCX(TStream* Stream);
  // A new one-page DCX (the stream saver empties the stream first).
  void SaveToFileDCX(const std::string& FileName);
  void SaveToStreamDCX(TStream* Stream);
  // Inserts the target as page DCX_ImageIndex into an existing DCX file; a
  // file that is not DCX, or an index beyond the pages, leaves it unchanged
  // with Aborting set.
  void InsertToFileDCX(const std::string& FileName);

  // ---- Targa (type 11) ----
  bool LoadFromFileTGA(const std::string& FileName);
  bool LoadFromStreamTGA(TStream* Stream);
  void SaveToFileTGA(const std::string& FileName);
  void SaveToStreamTGA(TStream* Stream);

  // ---- PSD and PSB documents (type 24) ----
  // The merged image; a document of one layer gives the target that layer's
  // alpha channel, placed at the layer's offset. File and stream loaders
  // return true when the document was read.
  bool LoadFromFilePSD(const std::string& FileName);
  bool LoadFromStreamPSD(TStream* Stream);
  // The target as the merged image, no layers. The file saver writes PSB for
  // a name ending in ".psb" and PSD otherwise (PSD_LargeDocumentFormat is set
  // accordingly); the stream saver follows PSD_LargeDocumentFormat.
  void SaveToFilePSD(const std::string& FileName);
  void SaveToStreamPSD(TStream* Stream);

  // ---- Camera raw (type 20) ----
  // Decoded with the parameters' RAW_ options. When a plug-in has registered
  // the extension "raw" for a type of its own, the load is that type's.
  // True when the file was read.
  bool LoadFromFileRAW(const std::string& FileName);
  bool LoadFromStreamRAW(TStream* Stream);
  // The largest JPEG preview a CIFF (CRW) file embeds; false without one and
  // for an empty file name. Never asynchronous.
  bool LoadJpegFromFileCRW(const std::string& FileName);

  // ---- Raw pixel data (type 21) ----
  // The target must already have the size and pixel format of the data; the
  // layout comes from the parameters' BMPRAW_ fields. An empty file name does
  // nothing (the load returns false).
  bool LoadFromFileBMPRAW(const std::string& FileName);
  bool LoadFromStreamBMPRAW(TStream* Stream);
  void SaveToFileBMPRAW(const std::string& FileName);
  void SaveToStreamBMPRAW(TStream* Stream);

  // ---- PostScript (type 17) and PDF (type 18), written only ----
  // One-page documents. The target becomes 24-bit RGB unless it is 24-bit or
  // 1-bit; file saves go through a temporary file.
  void SaveToFilePS(const std::string& FileName);
  void SaveToStreamPS(TStream* Stream);
  void SaveToFilePDF(const std::string& FileName);
  void SaveToStreamPDF(TStream* Stream);
  // Documents of many pages, on the caller's thread: create the document on
  // a new file (an open document of the same kind is closed first), add the
  // target as a page as often as wanted, close. A PostScript file grows with
  // each page; a PDF file stays empty until it is closed. Adding without an
  // open document sets Aborting and adds nothing; closing without one does
  // nothing. Destroying the component closes open documents.
  void CreatePSFile(const std::string& FileName);
  void SaveToPS();
  void ClosePSFile();
  void CreatePDFFile(const std::string& FileName);
  void SaveToPDF();
  void ClosePDFFile();

  // ---- AVI files (type 15) and other media files ----
  // Opens the first video stream of an AVI file for reading (an open AVI file
  // is closed first): its frame count, also in ImageCount, with
  // AVI_FrameDelayTime in milliseconds; 0 with Aborting when the file cannot
  // be read (nothing stays open).
  int32_t OpenAVIFile(const std::string& FileName);
  // True while a file is open for reading.
  bool IsOpenAVI() const;
  // Frame FrameIndex of the open file into the target: 1-bit frames as vx1g,
  // all others as vx24RGB. False without a file, for an index out of range or
  // a frame that cannot be read. Started on a request thread (AsyncMode), it
  // returns false at once.
  virtual bool LoadFromAVI(int32_t FrameIndex);
  // Closes the file open for reading, or finishes the one being written.
  void CloseAVIFile();
  // Starts a new AVI file (an existing one is deleted; the file appears whole
  // when it is closed) whose frames are Params().Width() x Height() at rate
  // frames per second. codec: a four-character code ("DIB " full frames,
  // "MJPG" Motion-JPEG), empty to ask the compression options dialog. A
  // compressor that is missing or not chosen gives vxaviNOCOMPRESSOR with
  // Aborting set (SaveToAVI then writes nothing). A file that cannot be
  // created raises EInvalidGraphic "unable to create AVI file".
  TVXCreateAVIFileResult CreateAVIFile(const std::string& FileName, double rate, const std::string& codec);
  // Appends the target (made vx24RGB) as the next frame: 8-bit with its own
  // palette when the parameters say 8 bits and 1 sample, 32-bit with the
  // alpha channel when the target has one, else 24-bit. A target of another
  // size than the file's frames, or one that would take the file past 2 GiB,
  // is not written and sets Aborting.
  void SaveToAVI();
  // Media files (MPEG, WMV) need the media player, which the library does not
  // have yet: OpenMediaFile returns 0 with Aborting set, nothing is open.
  int32_t OpenMediaFile(const std::string& FileName);
  bool IsOpenMediaFile() const;
  void LoadFromMediaFile(int32_t FrameIndex);
  void CloseMediaFile();

  // ---- metafiles (io/vexlaneio_metafile.cpp) ----
  // Width and Height: both above 0, that size; one negative, that side from
  // the other by the metafile's aspect ratio; both negative, the metafile's
  // own size; either 0, nothing. The size is capped by the settings'
  // MaxImageEMFSize. WithAlpha: the alpha channel is 0 where the picture
  // drew nothing. A damaged or missing metafile answers false with Aborting
  // set and leaves the target.
  virtual bool ImportMetafile(const std::string& FileName, int32_t Width, int32_t Height, bool WithAlpha);
  // From the stream's position; never on a request thread.
  bool ImportMetafile(TStream* Stream, int32_t Width, int32_t Height, bool WithAlpha);
  // The import core: no DoFinishWork.
  bool ImportMetaFile(TMetafile* meta, int32_t Width, int32_t Height, bool WithAlpha);
  // Draws the metafile over the target at (x, y), sized as the import (cap
  // 16000) into a section one pixel narrower and shorter than that size.
  void MergeMetafile(const std::string& FileName, int32_t x, int32_t y, int32_t Width, int32_t Height);

 protected:
  TVXProgressEvent fOnIntProgress;  // bound to DoProgress

  // ---- asynchronous start ----
  // True when the call is to run on a request thread: the target is not the
  // component's own, AsyncMode is on and the caller is not a request thread
  // of this component.
  bool AsyncStartWanted() const;
  // When AsyncStartWanted: starts a request of Kind that calls Method (the
  // overriding version) with the arguments, and returns true.
  bool AsyncStart(TVXIOMethodTypes Kind, bool (TVexlaneIO::*Method)(const std::string&), const std::string& nf);
  bool AsyncStart(TVXIOMethodTypes Kind, void (TVexlaneIO::*Method)(const std::string&), const std::string& nf);
  bool AsyncStart(TVXIOMethodTypes Kind, bool (TVexlaneIO::*Method)(TStream*), TStream* Stream);
  // Operations that return a count (the caller returns -1 when started).
  bool AsyncStart(TVXIOMethodTypes Kind, int32_t (TVexlaneIO::*Method)(const std::string&), const std::string& nf);
  bool AsyncStart(TVXIOMethodTypes Kind, int32_t (TVexlaneIO::*Method)(TStream*), TStream* Stream);
  bool AsyncStart(TVXIOMethodTypes Kind, void (TVexlaneIO::*Method)(TStream*), TStream* Stream);
  bool AsyncStart(TVXIOMethodTypes Kind, bool (TVexlaneIO::*Method)(const std::string&, int32_t),
                  const std::string& nf, int32_t Format);
  bool AsyncStart(TVXIOMethodTypes Kind, void (TVexlaneIO::*Method)(const std::string&, int32_t),
                  const std::string& nf, int32_t Format);
  bool AsyncStart(TVXIOMethodTypes Kind, bool (TVexlaneIO::*Method)(TStream*, int32_t), TStream* Stream,
                  int32_t Format);
  // Operations on an index (the request returns the method's answer later).
  bool AsyncStart(TVXIOMethodTypes Kind, bool (TVexlaneIO::*Method)(int32_t), int32_t Index);
  bool AsyncStart(TVXIOMethodTypes Kind, void (TVexlaneIO::*Method)(TStream*, int32_t), TStream* Stream,
                  int32_t Format);

  // ---- The common steps of the per-format operations ----
  // Which after-steps a loader runs once its codec has read the image.
  struct TLoadSteps {
    bool CheckDPI = true;
    bool MaskToAlpha = false;      // the reader's mask becomes the alpha channel
    bool AutoAdjustDPI = true;     // when AutoAdjustDPI is on
    bool ApplyDPIToView = true;
  };
  // The load pattern around the reader of FileType, at the stream's position:
  // consistent target, metadata reset, alpha dropped, the reader, the
  // after-steps, FileType, Update. Length is the image's byte count for the
  // formats that need it (-1: up to the end). Returns not Aborting; runs no
  // DoFinishWork (the caller does, once).
  bool CodecLoadCore(TStream* Stream, int32_t FileType, const TLoadSteps& Steps, int64_t Length = -1);
  // File and stream variants with the whole pattern: the file is opened for
  // shared reading; FileName is stored (file) or cleared (stream);
  // DoFinishWork runs on every way out.
  bool CodecLoadFile(const std::string& FileName, int32_t FileType, const TLoadSteps& Steps);
  bool CodecLoadStream(TStream* Stream, int32_t FileType, const TLoadSteps& Steps);
  // Before a save: a target neither vx24RGB nor vx1g becomes vx24RGB (the
  // target itself changes), or nothing.
  enum TSaveConversion { vxscNone, vxscTo24Bit };
  // The save pattern around the writer of FileType: consistent target, the
  // conversion, the writer (with the alpha channel as a mask when
  // MaskFromAlpha), DoFinishWork. The file variant writes through a
  // temporary file (a failed save leaves the old file) and then records
  // FileName and FileType.
  void CodecSaveFile(const std::string& FileName, int32_t FileType, TSaveConversion Conversion,
                     bool MaskFromAlpha = false);
  void CodecSaveStream(TStream* Stream, int32_t FileType, TSaveConversion Conversion, bool MaskFromAlpha = false);
  // The writer of FileType on Stream with the component's options (no
  // DoFinishWork, no conversion).
  void CodecWrite(TStream* Stream, int32_t FileType, bool MaskFromAlpha);
  // The save pattern itself: a consistent target, then Prepare (may be
  // empty) and Write on a temporary file that replaces FileName only when the
  // writer succeeded, FileName and FileType recorded then; DoFinishWork on
  // every way out.
  void SaveFilePattern(const std::string& FileName, int32_t FileType, const std::function<void()>& Prepare,
                       const std::function<void(TStream* Stream)>& Write);
  // The same at a stream's position.
  void SaveStreamPattern(const std::function<void()>& Write);
  // The pattern of the JPEG injections into a file: the JPEG codec's
  // operation Op is required first, the file is read into memory, Inject
  // copies it with the new segment into a second buffer, and only a
  // successful copy replaces the file (through a temporary file).
  // DoFinishWork on every way out.
  bool InjectIntoJpegFile(const std::string& FileName, TVXCodecOperation Op,
                          const std::function<bool(const TVXCodecOps& Jpeg, TStream* In, TStream* Out,
                                                   TProgressRec& Progress)>& Inject);
  // The pattern around every load and save: Aborting set to AbortingFirst,
  // a consistent target (else Aborting set and false), then Body, whose
  // answer is returned; DoFinishWork on every way out.
  bool OperationPattern(bool AbortingFirst, const std::function<bool()>& Body);

 private:
  friend class TVXIOThread;
  friend void VXIOOwnerViewerDpi(TVexlaneIO* io, bool horizontal, int32_t dpi);
  // The page layout of printing and of the preview (page size in inches).
  void PrintImageEx(TCanvas* PrtCanvas, int32_t dpix, int32_t dpiy, double PageWidth, double PageHeight,
                    double MarginLeft, double MarginTop, double MarginRight, double MarginBottom,
                    TVXVerticalPos VerticalPos, TVXHorizontalPos HorizontalPos, TVXSize Size, double SpecWidth,
                    double SpecHeight, double GammaCorrection);
  void ViewerBitmapChanged(bool Destroying) override;
  // Before the target changes: the requests running on other threads end
  // (nothing when called from one of them).
  void WaitBeforeTargetChange();
  // With a viewer in a parent window and the caller a request thread: the
  // viewer's window is made and Msg posted to it; true then.
  bool PostToViewer(uint32_t Msg, uintptr_t WParam);
  bool IsInsideAsyncThreadsLocked() const;
  // A request thread with a pending suspension waits here until resumed.
  void PauseIfSuspended();
  // Joins the request threads that have ended.
  void ReapThreads();
  bool LoadPNGCore(TStream* Stream, bool FromFile, const TVXRowSink* Rows = nullptr);
  bool LoadPNGFile(const std::string& FileName, const TVXRowSink* Rows);
  void SavePNGCore(TStream* Stream);
  // The JPEG 2000 save core on a file or at a stream's position.
  void SaveJpeg2000File(const std::string& FileName, int32_t FileType);
  void SaveJpeg2000Stream(TStream* Stream, int32_t FileType);
  int32_t LoadGIFCore(TStream* Stream);
  int32_t LoadTIFFCore(TStream* Stream, bool WithHeader);
  int32_t ReplaceTIFFCore(TMemoryStream& Copy);
  // OperationPattern for a Body that answers a count: 0 when the target
  // cannot be made consistent.
  int32_t CountOperation(const std::function<int32_t()>& Body);
  // Markers, then the writer; Aborting is set by the writer. With a header
  // the 12-byte stream header is written around the image.
  void SaveJpegCore(TStream* Stream, bool WithHeader);
  // The progress record of an operation: internal handler, Sender, Aborting.
  TProgressRec MakeProgress();
  // The PSD load with the component's steps around the reader.
  bool PSDLoadCore(TStream* Stream);
  // The PSD write: with a single-image viewer attached, its merged layers
  // and every layer; else the target alone.
  void PSDWrite(TStream* Stream);
  // The registry's read and write paths (formats a plug-in registered).
  // The entry's read function at the stream's position, with the after-steps.
  bool RegistryRead(TStream* Stream, const TVXFileFormatInfo* Info, bool CatchReadErrors);
  bool RegistryLoadFromFile(const std::string& FileName, const TVXFileFormatInfo* Info, bool CatchReadErrors);
  bool RegistryLoadFromStream(TStream* Stream, const TVXFileFormatInfo* Info);
  // Writes through the entry's write function to Stream, or, when Stream is
  // nullptr, to the file FileName through a temporary file.
  void RegistrySave(const TVXFileFormatInfo* Info, TStream* Stream, const std::string& FileName);
  // The metafile's parameters at the stream's position (Aborting of
  // Progress set when it cannot be read); the target is not touched.
  void ReadMetafileParams(TStream* Stream, TProgressRec& Progress);
  // The parameters-only reader of a type at the stream's position.
  void ReadParamsOf(int32_t FileType, TStream* Stream, TProgressRec& Progress);

  // The running request threads (guarded by fAsyncThreadsCS); the condition
  // is signalled when the list changes and when a request pauses.
  mutable std::mutex fAsyncThreadsCS;
  std::condition_variable fAsyncThreadsCV;
  std::vector<TVXIOThread*> fAsyncThreads;
  // Held by the request that runs its call; the others wait for their turn.
  std::mutex fAsyncRunLock;
  // Every request thread not yet joined, running or ended.
  std::vector<std::unique_ptr<TVXIOThread>> fThreadObjects;
  TColor fBackground = 0;
  bool fSimplifiedParamsDialogs = true;
  bool fChangeBackground = false;
  bool fStreamHeaders = false;
  TVXDialogsMeasureUnit fDialogsMeasureUnit = vxduInches;
  bool fAutoAdjustDPI = false;
  bool fFilteredAdjustDPI = false;
  bool fAsyncMode = false;
  TResampleFilter fPrintingFilterOnSubsampling = rfFastLinear;
  TIOPrintPreviewParams fPrintPreviewParams;
  std::string fProxyAddress, fProxyUser, fProxyPassword;
  TVXDitherMethod fDefaultDitherMethod = vxThreshold;
  TIOPreviewsParams fPreviewsParams = 0;
  std::unique_ptr<TFont> fPreviewFont;
  bool fPreviewFontEnabled = false;
  bool fResetPrinter = true;
  std::unique_ptr<TIOParamsVals> fParams;
  bool fAborting = false;
  // The open multi-page documents (nullptr when none) and their files.
  void* fPS_handle = nullptr;
  std::unique_ptr<TVXWideFileStream> fPS_stream;
  void* fPDF_handle = nullptr;
  std::unique_ptr<TVXWideFileStream> fPDF_stream;
  // Adds the target as a page of the open document of FileType.
  void AddDocumentPage(int32_t FileType, void* Handle, TStream* Stream);
  // Closes the document of FileType held by Handle and Stream, both cleared.
  void CloseDocument(int32_t FileType, void*& Handle, std::unique_ptr<TVXWideFileStream>& Stream);
  // LoadFromAVI without the asynchronous start.
  bool LoadFromAVICore(int32_t FrameIndex);
  // The frame Params().ImageIndex() of an AVI file, read on this thread: the
  // file is opened, read and closed again (the loads by name, extension or
  // content); FileName and file type 15 recorded.
  bool LoadAVIFileFrame(const std::string& FileName);
  // The open AVI file: for reading the file, its video stream and frame
  // decompressor; for writing the file, the compressed stream the frames go
  // to (nullptr when no compressor was made), the stream under it (set only
  // while writing), the compression options and the next frame's index.
  PAVIFILE fAVI_avf = nullptr;
  PAVISTREAM fAVI_avs = nullptr;
  PAVISTREAM fAVI_avs1 = nullptr;
  PGETFRAME fAVI_gf = nullptr;
  AVISTREAMINFOW fAVI_psi{};
  std::unique_ptr<AVICOMPRESSOPTIONS> fAVI_popts;
  int32_t fAVI_idx = 0;
  // The open media file (never set until the media player exists).
  TVXDirectShow* fOpenMediaFile = nullptr;
  double fOpenMediaFileRate = 0;
  int64_t fOpenMediaFileMul = 1;
};

// The square-pixel rule of AutoAdjustDPI for a bitmap and its parameters:
// Bitmap itself when DpiX equals DpiY, either is not positive or the bitmap
// is empty; otherwise a new bitmap (the caller frees it) of the adjusted size
// without alpha, resampled as vx24RGB with the default filter when Filtered,
// else stretched in the bitmap's own pixel format, and the parameters' DPI
// and size updated.
TVXBitmap* VXAdjustDPI(TVXBitmap* Bitmap, TIOParamsVals& Params, bool Filtered);

// Fills the core's hooks of the bitmap's Read and Write (core/bitmap_io.h)
// with the component's loads and saves (io/register.cpp, before main).
void VXRegisterBitmapIOHooks();

// I/O module start-up and shut-down (called by the library start-up).
void VXStartUpIOUnit();
void VXShutDownIOUnit();
// The module's record of the AVI file library: cleared at start-up; the
// shut-down ends the library when an AVI operation initialised it.
void VXResetAVILibraryFlag();
void VXEndAVILibrary();
