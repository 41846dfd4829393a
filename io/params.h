// Per-image I/O parameters TIOParamsVals: the common description of an image
// on its way into or out of a file, one family of option fields per format,
// the EXIF and GPS values and the metadata containers.
//
// Fields are public (f-prefixed) because the format readers fill them
// directly; the rest of the library goes through the properties, a getter
// named like the field without "f" and a Set... writer. Writers listed as
// "linked" keep related fields in step (image indexes, image counts,
// orientation, resolution).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/pixels.h"   // TRGB
#include "core/settings.h" // LZW hook types
#include "core/vxdefs.h"   // TResampleFilter
#include "io/params_formats.h"

class TVexlaneIO;
class TVXDictionary;
class TVXICC;
class TVXBitmap;
class TVXMarkerList;
class TVXIPTCInfoList;
class TVXDicomTags;
class TVXImagingAnnot;
class TVXVexlaneAnnot;
class TVXTagsHandler;
class TStream;

// Size of an image of an icon file.
struct TIOIconSize {
  int32_t cx = 0;
  int32_t cy = 0;
};

// Services of the owning I/O component that the parameters use. The I/O
// component installs them (once, at start-up of the I/O module); while they
// are not installed, parameters with an owner behave as if the owner had no
// image and were bound to no viewer.
struct TIOParamsOwnerHooks {
  // The owner's current image, nullptr when it has none. May throw.
  TVXBitmap* (*GetBitmap)(TVexlaneIO* io) = nullptr;
  // Hands a resolution to the single-image viewer the owner is bound to;
  // does nothing when it is bound to none.
  void (*SetViewerDpi)(TVexlaneIO* io, bool horizontal, int32_t dpi) = nullptr;
};
TIOParamsOwnerHooks& VXIOParamsOwnerHooks();

#define VX_PARAM(T, N) \
  T N() const { return f##N; } \
  void Set##N(T v) { f##N = v; }
#define VX_PARAM_STR(N) \
  const std::string& N() const { return f##N; } \
  void Set##N(const std::string& v) { f##N = v; }
#define VX_PARAM_RO(T, N) \
  T N() const { return f##N; }

// The EXIF and GPS values. Default-constructed, every field holds its reset
// value, the value that means "unset".
struct TIOParamsEXIFFields {
  std::vector<int32_t> fEXIF_Tags;
  bool fEXIF_HasEXIFData = false;
  int32_t fEXIF_Orientation = 0;
  std::string fEXIF_ImageDescription, fEXIF_Make, fEXIF_Model;
  double fEXIF_XResolution = 0, fEXIF_YResolution = 0;
  int32_t fEXIF_ResolutionUnit = 0;
  std::string fEXIF_Software, fEXIF_Artist, fEXIF_DateTime;
  double fEXIF_WhitePoint[2] = {-1, -1};
  double fEXIF_PrimaryChromaticities[6] = {-1, -1, -1, -1, -1, -1};
  double fEXIF_YCbCrCoefficients[3] = {-1, -1, -1};
  int32_t fEXIF_YCbCrPositioning = -1;
  double fEXIF_ReferenceBlackWhite[6] = {-1, -1, -1, -1, -1, -1};
  std::string fEXIF_Copyright;
  double fEXIF_ExposureTime = -1;
  double fEXIF_FNumber = -1;
  int32_t fEXIF_ExposureProgram = -1;
  int32_t fEXIF_ISOSpeedRatings[2] = {0, 0};
  std::string fEXIF_ExifVersion, fEXIF_DateTimeOriginal, fEXIF_DateTimeDigitized;
  double fEXIF_CompressedBitsPerPixel = 0;
  double fEXIF_ShutterSpeedValue = -1;
  double fEXIF_ApertureValue = -1;
  double fEXIF_BrightnessValue = -1000;
  double fEXIF_ExposureBiasValue = -1000;
  double fEXIF_MaxApertureValue = -1000;
  double fEXIF_SubjectDistance = -1;
  int32_t fEXIF_MeteringMode = -1;
  int32_t fEXIF_LightSource = -1;
  int32_t fEXIF_Flash = -1;
  double fEXIF_FocalLength = -1;
  std::string fEXIF_SubsecTime, fEXIF_SubsecTimeOriginal, fEXIF_SubsecTimeDigitized;
  std::string fEXIF_FlashPixVersion;
  int32_t fEXIF_ColorSpace = -1;
  int32_t fEXIF_ExifImageWidth = 0, fEXIF_ExifImageHeight = 0;
  std::string fEXIF_RelatedSoundFile;
  double fEXIF_FocalPlaneXResolution = -1, fEXIF_FocalPlaneYResolution = -1;
  int32_t fEXIF_FocalPlaneResolutionUnit = -1;
  double fEXIF_ExposureIndex = -1;
  int32_t fEXIF_SensingMethod = -1;
  int32_t fEXIF_FileSource = -1;
  int32_t fEXIF_SceneType = -1;
  std::string fEXIF_UserComment, fEXIF_UserCommentCode;
  int32_t fEXIF_XPRating = -1;
  std::string fEXIF_XPTitle, fEXIF_XPComment, fEXIF_XPAuthor, fEXIF_XPKeywords, fEXIF_XPSubject;
  int32_t fEXIF_ExposureMode = -1;
  int32_t fEXIF_WhiteBalance = -1;
  double fEXIF_DigitalZoomRatio = -1;
  int32_t fEXIF_FocalLengthIn35mmFilm = -1;
  int32_t fEXIF_SceneCaptureType = -1;
  int32_t fEXIF_GainControl = -1;
  int32_t fEXIF_Contrast = -1;
  int32_t fEXIF_Saturation = -1;
  int32_t fEXIF_Sharpness = -1;
  int32_t fEXIF_SubjectDistanceRange = -1;
  std::string fEXIF_ImageUniqueID;
  std::string fEXIF_GPSVersionID;
  std::string fEXIF_GPSLatitudeRef;
  double fEXIF_GPSLatitudeDegrees = 0, fEXIF_GPSLatitudeMinutes = 0, fEXIF_GPSLatitudeSeconds = 0;
  std::string fEXIF_GPSLongitudeRef;
  double fEXIF_GPSLongitudeDegrees = 0, fEXIF_GPSLongitudeMinutes = 0, fEXIF_GPSLongitudeSeconds = 0;
  std::string fEXIF_GPSAltitudeRef;
  double fEXIF_GPSAltitude = 0;
  double fEXIF_GPSTimeStampHour = 0, fEXIF_GPSTimeStampMinute = 0, fEXIF_GPSTimeStampSecond = 0;
  std::string fEXIF_GPSSatellites, fEXIF_GPSStatus, fEXIF_GPSMeasureMode;
  double fEXIF_GPSDOP = 0;
  std::string fEXIF_GPSSpeedRef;
  double fEXIF_GPSSpeed = 0;
  std::string fEXIF_GPSTrackRef;
  double fEXIF_GPSTrack = 0;
  std::string fEXIF_GPSImgDirectionRef;
  double fEXIF_GPSImgDirection = 0;
  std::string fEXIF_GPSMapDatum;
  std::string fEXIF_GPSDestLatitudeRef;
  double fEXIF_GPSDestLatitudeDegrees = 0, fEXIF_GPSDestLatitudeMinutes = 0,
         fEXIF_GPSDestLatitudeSeconds = 0;
  std::string fEXIF_GPSDestLongitudeRef;
  double fEXIF_GPSDestLongitudeDegrees = 0, fEXIF_GPSDestLongitudeMinutes = 0,
         fEXIF_GPSDestLongitudeSeconds = 0;
  std::string fEXIF_GPSDestBearingRef;
  double fEXIF_GPSDestBearing = 0;
  std::string fEXIF_GPSDestDistanceRef;
  double fEXIF_GPSDestDistance = 0;
  std::string fEXIF_GPSDateStamp;
  std::string fEXIF_InteropIndex, fEXIF_InteropVersion;

};

// The copyable fields of the parameters: common description and per-format
// options. Default-constructed, every field holds its default.
struct TIOParamsFields : TIOParamsEXIFFields {
  int32_t fBitsPerSample = 8;
  std::string fFileName;
  int32_t fSamplesPerPixel = 3;
  int32_t fWidth = 0, fHeight = 0;
  int32_t fDpiX = 0, fDpiY = 0;
  int32_t fFileType = 0;
  int32_t fImageIndex = 0;
  int32_t fImageCount = 0;
  bool fGetThumbnail = false;
  bool fIsResource = false;
  bool fEnableAdjustOrientation = false;
  int32_t fOriginalWidth = 0, fOriginalHeight = 0;

  // TIFF and DCX
  TIOTIFFCompression fTIFF_Compression = ioTIFF_UNCOMPRESSED;
  int32_t fTIFF_ImageIndex = 0;
  int32_t fTIFF_SubIndex = -1;
  int32_t fTIFF_NewSubfileType = 0;
  TIOTIFFPhotometInterpret fTIFF_PhotometInterpret = ioTIFF_RGB;
  int32_t fTIFF_PlanarConf = 1;
  int32_t fTIFF_XPos = 0, fTIFF_YPos = 0;
  int32_t fTIFF_GetTile = -1;
  std::string fTIFF_DocumentName, fTIFF_ImageDescription, fTIFF_PageName;
  int32_t fTIFF_PageNumber = -1, fTIFF_PageCount = -1;
  int32_t fTIFF_Orientation = 1;
  TTIFFLZWDecompFunc fTIFF_LZWDecompFunc{};
  TTIFFLZWCompFunc fTIFF_LZWCompFunc{};
  bool fTIFF_EnableAdjustOrientation = false;
  int32_t fTIFF_JPEGQuality = 80;
  TIOJPEGColorspace fTIFF_JPEGColorSpace = ioJPEG_YCbCr;
  int32_t fTIFF_ZIPCompression = 1;
  int32_t fTIFF_StripCount = 0;
  int32_t fTIFF_ImageCount = 0;
  int32_t fTIFF_FillOrder = 1;
  TIOByteOrder fTIFF_ByteOrder = ioLittleEndian;
  std::vector<uint8_t> fTIFF_PhotoshopImageResources;
  std::vector<uint8_t> fTIFF_PhotoshopImageSourceData;
  bool fTIFF_BigTIFF = false;
  int32_t fDCX_ImageIndex = 0;

  // GIF
  std::string fGIF_Version = "GIF89a";
  int32_t fGIF_ImageIndex = 0;
  int32_t fGIF_XPos = 0, fGIF_YPos = 0;
  int32_t fGIF_DelayTime = 0;
  bool fGIF_FlagTranspColor = false;
  TRGB fGIF_TranspColor{};
  bool fGIF_Interlaced = false;
  int32_t fGIF_WinWidth = 0, fGIF_WinHeight = 0;
  TRGB fGIF_Background{};
  int32_t fGIF_Ratio = 0;
  std::vector<std::string> fGIF_Comments;
  TVXGIFAction fGIF_Action = ioGIF_DrawBackground;
  bool fGIF_RAWLoad = false;
  TGIFLZWDecompFunc fGIF_LZWDecompFunc{};
  TGIFLZWCompFunc fGIF_LZWCompFunc{};
  int32_t fGIF_ImageCount = 0;

  // JPEG and JPEG 2000
  TIOJPEGColorspace fJPEG_ColorSpace = ioJPEG_YCbCr;
  int32_t fJPEG_Quality = 80;
  TIOJPEGDctMethod fJPEG_DCTMethod = ioJPEG_ISLOW;
  TIOJPEGCromaSubsampling fJPEG_CromaSubsampling = ioJPEG_HIGH;
  bool fJPEG_OptimalHuffman = false;
  int32_t fJPEG_Smooth = 0;
  bool fJPEG_Progressive = false;
  TIOJPEGScale fJPEG_Scale = ioJPEG_FULLSIZE;
  int32_t fJPEG_Scale_Used = 1;
  int32_t fJPEG_WarningTot = 0;
  int32_t fJPEG_WarningCode = 0;
  bool fJPEG_EnableAdjustOrientation = false;
  bool fJPEG_GetExifThumbnail = false;
  TIOJ2000ColorSpace fJ2000_ColorSpace = ioJ2000_RGB;
  double fJ2000_Rate = 0.07;
  TIOJ2000ScalableBy fJ2000_ScalableBy = ioJ2000_Rate;

  // PCX, BMP, ICO, CUR
  int32_t fPCX_Version = 5;
  TIOPCXCompression fPCX_Compression = ioPCX_RLE;
  TIOBMPVersion fBMP_Version = ioBMP_BM3;
  TIOBMPCompression fBMP_Compression = ioBMP_UNCOMPRESSED;
  bool fBMP_HandleTransparency = false;
  int32_t fICO_ImageIndex = 0;
  TRGB fICO_Background{255, 255, 255};
  int32_t fCUR_ImageIndex = 0;
  int32_t fCUR_XHotSpot = 0, fCUR_YHotSpot = 0;
  TRGB fCUR_Background{255, 255, 255};

  // PNG, PNM, Targa
  bool fPNG_Interlaced = false;
  TRGB fPNG_Background{};
  TIOPNGFilter fPNG_Filter = ioPNG_FILTER_NONE;
  int32_t fPNG_Compression = 5;
  std::vector<std::string> fPNG_TextKeys, fPNG_TextValues;
  std::vector<std::string> fPXM_Comments;
  int32_t fTGA_XPos = 0, fTGA_YPos = 0;
  bool fTGA_Compressed = true;
  std::string fTGA_Descriptor, fTGA_Author;
  double fTGA_Date = 0;
  std::string fTGA_ImageName;
  TRGB fTGA_Background{};
  double fTGA_AspectRatio = 1.0;
  double fTGA_Gamma = 2.2;
  bool fTGA_GrayLevel = false;

  // DICOM
  double fDICOM_WindowCenterOffset = 0;
  TVXDicomRange fDICOM_Range = vxdrAdjust;
  int32_t fDICOM_JPEGQuality = 80;
  double fDICOM_J2000Rate = 0.07;
  double fDICOM_RescaleIntercept = 0;
  double fDICOM_RescaleSlope = 1;

  // PostScript, PDF, AVI, media files
  int32_t fPS_PaperWidth = 595, fPS_PaperHeight = 842;
  TIOPSCompression fPS_Compression = ioPS_G4FAX;
  std::string fPS_Title = "No Title";
  int32_t fPDF_PaperWidth = 595, fPDF_PaperHeight = 842;
  TIOPDFCompression fPDF_Compression = ioPDF_G4FAX;
  std::string fPDF_Title, fPDF_Author, fPDF_Subject, fPDF_Keywords, fPDF_Creator, fPDF_Producer;
  int32_t fAVI_FrameCount = 0;
  double fAVI_FrameDelayTime = 0;
  int32_t fMEDIAFILE_FrameCount = 0;
  double fMEDIAFILE_FrameDelayTime = 0;

  // camera raw, raw bitmap, PSD, HD Photo
  bool fRAW_HalfSize = false;
  double fRAW_Gamma = 0.6;
  double fRAW_Bright = 1.0;
  double fRAW_RedScale = 1.0, fRAW_BlueScale = 1.0;
  bool fRAW_QuickInterpolate = true;
  bool fRAW_UseAutoWB = false;
  bool fRAW_UseCameraWB = false;
  bool fRAW_FourColorRGB = false;
  std::string fRAW_Camera;
  bool fRAW_GetExifThumbnail = false;
  bool fRAW_AutoAdjustColors = false;
  std::string fRAW_ExtraParams;
  TIOBMPRAWChannelOrder fBMPRAW_ChannelOrder = coRGB;
  TIOBMPRAWPlanes fBMPRAW_Planes = plInterleaved;
  int32_t fBMPRAW_RowAlign = 8;
  int32_t fBMPRAW_HeaderSize = 0;
  TIOBMPRAWDataFormat fBMPRAW_DataFormat = dfBinary;
  bool fPSD_LoadLayers = false;
  bool fPSD_ReplaceLayers = true;
  bool fPSD_HasPremultipliedAlpha = false;
  bool fPSD_LargeDocumentFormat = false;
  std::string fPSD_SelectLayer;
  double fHDP_ImageQuality = 0.9;
  bool fHDP_Lossless = false;

  // metadata containers and the rest of the common description
  std::string fXMP_Info;
  bool IsNativePixelFormat = false;
  std::vector<TRGB> fColorMap;   // palette of the file (blue, green, red), empty when none
  int32_t fColorMapCount = 0;
  // Images of an icon file: the reader fills them, the writer writes the
  // leading entries whose width is above 0.
  TIOIconSize ICO_Sizes[16] = {{64, 64}};
  int32_t ICO_BitCount[16] = {8};

};

class TIOParamsVals : public TIOParamsFields {
 public:
  explicit TIOParamsVals(TVexlaneIO* VXIO = nullptr);
  ~TIOParamsVals();
  TIOParamsVals(const TIOParamsVals&) = delete;
  TIOParamsVals& operator=(const TIOParamsVals&) = delete;

  // ---- lifecycle --------------------------------------------------------
  void SetDefaultParams();
  void ResetInfo();
  void ResetEXIF();
  void Assign(const TIOParamsVals& Source);
  void AssignCompressionInfo(const TIOParamsVals& Source);
  void FreeColorMap();

  // ---- binary parameter file -----------------------------------------------
  // Writes the parameters at the stream's position in the newest layout
  // (version 52). Creates the imaging annotations and the three colour
  // profiles when they are absent (the output profile as sRGB).
  void SaveToStream(TStream& Stream);
  // Reads parameters of any version from 0 to 52 from the stream's position,
  // leaving the fields a version lacks as they are. A version outside that
  // range raises EVXException "Unsupported parameter file version" before
  // anything changes; a stream that ends early or holds a count or length
  // its remaining bytes cannot hold raises "Damaged parameter stream" (the
  // fields read before keep their new values).
  void LoadFromStream(TStream& Stream);
  // The same through a file: the save replaces the file only when it succeeded.
  void SaveToFile(const std::string& FileName);
  void LoadFromFile(const std::string& FileName);

  // ---- owner and containers (read-only properties) ----------------------
  TVexlaneIO* VexlaneIO() const { return fVexlaneIO; }
  TVXDictionary& Dict() const { return *fDict; }
  const TRGB* ColorMap() const { return fColorMap.empty() ? nullptr : fColorMap.data(); }
  int32_t ColorMapCount() const { return fColorMapCount; }
  TVXIPTCInfoList& IPTC_Info() const { return *fIPTC_Info; }
  TVXVexlaneAnnot& VexlaneAnnot() const { return *fVexlaneAnnot; }
  TVXMarkerList& JPEG_MarkerList() const { return *fJPEG_MarkerList; }
  TVXDicomTags& DICOM_Tags() const { return *fDICOM_Tags; }
  std::vector<std::string>& GIF_Comments() { return fGIF_Comments; }
  std::vector<std::string>& PXM_Comments() { return fPXM_Comments; }
  std::vector<std::string>& PNG_TextKeys() { return fPNG_TextKeys; }
  std::vector<std::string>& PNG_TextValues() { return fPNG_TextValues; }
  const std::vector<std::string>& GIF_Comments() const { return fGIF_Comments; }
  const std::vector<std::string>& PXM_Comments() const { return fPXM_Comments; }
  const std::vector<std::string>& PNG_TextKeys() const { return fPNG_TextKeys; }
  const std::vector<std::string>& PNG_TextValues() const { return fPNG_TextValues; }
  const std::vector<int32_t>& EXIF_Tags() const { return fEXIF_Tags; }
  TVXBitmap* EXIF_Bitmap() const { return fEXIF_Bitmap.get(); }
  // The camera maker note of the EXIF data.
  TVXTagsHandler& EXIF_MakerNote() const { return *fEXIF_MakerNote; }
  // Takes ownership of Bitmap (nullptr frees the thumbnail).
  void SetEXIF_Bitmap(TVXBitmap* Bitmap);

  // ---- common properties -------------------------------------------------
  VX_PARAM(int32_t, BitsPerSample)
  VX_PARAM_STR(FileName)
  VX_PARAM(int32_t, SamplesPerPixel)
  VX_PARAM(int32_t, Width)
  VX_PARAM(int32_t, Height)
  int32_t Dpi() const { return fDpiX; }
  void SetDpi(int32_t v);
  int32_t DpiX() const { return fDpiX; }
  void SetDpiX(int32_t v);
  int32_t DpiY() const { return fDpiY; }
  void SetDpiY(int32_t v);
  VX_PARAM(int32_t, FileType)
  VX_PARAM_RO(int32_t, ImageIndex)
  void SetImageIndex(int32_t v);
  VX_PARAM_RO(int32_t, ImageCount)
  void SetImageCount(int32_t v);
  VX_PARAM_RO(bool, GetThumbnail)
  void SetGetThumbnail(bool v);
  VX_PARAM(bool, IsResource)
  VX_PARAM_RO(bool, EnableAdjustOrientation)
  void SetEnableAdjustOrientation(bool v);
  VX_PARAM(int32_t, OriginalWidth)
  VX_PARAM(int32_t, OriginalHeight)
  int32_t JPEG_OriginalWidth() const { return fOriginalWidth; }
  void SetJPEG_OriginalWidth(int32_t v) { fOriginalWidth = v; }
  int32_t JPEG_OriginalHeight() const { return fOriginalHeight; }
  void SetJPEG_OriginalHeight(int32_t v) { fOriginalHeight = v; }

  // ---- TIFF and DCX ------------------------------------------------------
  VX_PARAM(TIOTIFFCompression, TIFF_Compression)
  VX_PARAM_RO(int32_t, TIFF_ImageIndex)
  void SetTIFF_ImageIndex(int32_t v) { SetImageIndex(v); }
  VX_PARAM(int32_t, TIFF_SubIndex)
  VX_PARAM(int32_t, TIFF_NewSubfileType)
  VX_PARAM(TIOTIFFPhotometInterpret, TIFF_PhotometInterpret)
  VX_PARAM(int32_t, TIFF_PlanarConf)
  VX_PARAM(int32_t, TIFF_XPos)
  VX_PARAM(int32_t, TIFF_YPos)
  VX_PARAM(int32_t, TIFF_GetTile)
  VX_PARAM_STR(TIFF_DocumentName)
  VX_PARAM_STR(TIFF_ImageDescription)
  VX_PARAM_STR(TIFF_PageName)
  VX_PARAM(int32_t, TIFF_PageNumber)
  VX_PARAM(int32_t, TIFF_PageCount)
  VX_PARAM_RO(int32_t, TIFF_Orientation)
  void SetTIFF_Orientation(int32_t v);
  VX_PARAM(TTIFFLZWDecompFunc, TIFF_LZWDecompFunc)
  VX_PARAM(TTIFFLZWCompFunc, TIFF_LZWCompFunc)
  VX_PARAM(bool, TIFF_EnableAdjustOrientation)
  VX_PARAM(int32_t, TIFF_JPEGQuality)
  VX_PARAM(TIOJPEGColorspace, TIFF_JPEGColorSpace)
  VX_PARAM(int32_t, TIFF_ZIPCompression)
  VX_PARAM(int32_t, TIFF_StripCount)
  VX_PARAM_RO(int32_t, TIFF_ImageCount)
  void SetTIFF_ImageCount(int32_t v) { SetImageCount(v); }
  VX_PARAM(int32_t, TIFF_FillOrder)
  VX_PARAM(TIOByteOrder, TIFF_ByteOrder)
  std::vector<uint8_t>& TIFF_PhotoshopImageResources() { return fTIFF_PhotoshopImageResources; }
  std::vector<uint8_t>& TIFF_PhotoshopImageSourceData() { return fTIFF_PhotoshopImageSourceData; }
  VX_PARAM(bool, TIFF_BigTIFF)
  VX_PARAM_RO(int32_t, DCX_ImageIndex)
  void SetDCX_ImageIndex(int32_t v) { SetImageIndex(v); }

  // ---- GIF ---------------------------------------------------------------
  VX_PARAM_STR(GIF_Version)
  VX_PARAM_RO(int32_t, GIF_ImageIndex)
  void SetGIF_ImageIndex(int32_t v) { SetImageIndex(v); }
  VX_PARAM(int32_t, GIF_XPos)
  VX_PARAM(int32_t, GIF_YPos)
  VX_PARAM(int32_t, GIF_DelayTime)
  VX_PARAM(bool, GIF_FlagTranspColor)
  VX_PARAM(TRGB, GIF_TranspColor)
  VX_PARAM(bool, GIF_Interlaced)
  VX_PARAM(int32_t, GIF_WinWidth)
  VX_PARAM(int32_t, GIF_WinHeight)
  VX_PARAM(TRGB, GIF_Background)
  VX_PARAM(int32_t, GIF_Ratio)
  VX_PARAM(TVXGIFAction, GIF_Action)
  VX_PARAM(bool, GIF_RAWLoad)
  VX_PARAM(TGIFLZWDecompFunc, GIF_LZWDecompFunc)
  VX_PARAM(TGIFLZWCompFunc, GIF_LZWCompFunc)
  VX_PARAM_RO(int32_t, GIF_ImageCount)
  void SetGIF_ImageCount(int32_t v) { SetImageCount(v); }

  // ---- JPEG and JPEG 2000 ------------------------------------------------
  VX_PARAM(TIOJPEGColorspace, JPEG_ColorSpace)
  VX_PARAM(int32_t, JPEG_Quality)
  VX_PARAM(TIOJPEGDctMethod, JPEG_DCTMethod)
  VX_PARAM(TIOJPEGCromaSubsampling, JPEG_CromaSubsampling)
  VX_PARAM(bool, JPEG_OptimalHuffman)
  VX_PARAM(int32_t, JPEG_Smooth)
  VX_PARAM(bool, JPEG_Progressive)
  VX_PARAM(TIOJPEGScale, JPEG_Scale)
  VX_PARAM(int32_t, JPEG_Scale_Used)
  VX_PARAM(int32_t, JPEG_WarningTot)
  VX_PARAM(int32_t, JPEG_WarningCode)
  VX_PARAM(bool, JPEG_EnableAdjustOrientation)
  VX_PARAM_RO(bool, JPEG_GetExifThumbnail)
  void SetJPEG_GetExifThumbnail(bool v);
  VX_PARAM(TIOJ2000ColorSpace, J2000_ColorSpace)
  VX_PARAM(double, J2000_Rate)
  VX_PARAM(TIOJ2000ScalableBy, J2000_ScalableBy)

  // ---- PCX, BMP, ICO, CUR ------------------------------------------------
  VX_PARAM(int32_t, PCX_Version)
  VX_PARAM(TIOPCXCompression, PCX_Compression)
  VX_PARAM(TIOBMPVersion, BMP_Version)
  VX_PARAM(TIOBMPCompression, BMP_Compression)
  VX_PARAM(bool, BMP_HandleTransparency)
  VX_PARAM_RO(int32_t, ICO_ImageIndex)
  void SetICO_ImageIndex(int32_t v) { SetImageIndex(v); }
  VX_PARAM(TRGB, ICO_Background)
  VX_PARAM_RO(int32_t, CUR_ImageIndex)
  void SetCUR_ImageIndex(int32_t v) { SetImageIndex(v); }
  VX_PARAM(int32_t, CUR_XHotSpot)
  VX_PARAM(int32_t, CUR_YHotSpot)
  VX_PARAM(TRGB, CUR_Background)

  // ---- PNG, PNM, Targa ---------------------------------------------------
  VX_PARAM(bool, PNG_Interlaced)
  VX_PARAM(TRGB, PNG_Background)
  VX_PARAM(TIOPNGFilter, PNG_Filter)
  VX_PARAM(int32_t, PNG_Compression)
  VX_PARAM(int32_t, TGA_XPos)
  VX_PARAM(int32_t, TGA_YPos)
  VX_PARAM(bool, TGA_Compressed)
  VX_PARAM_STR(TGA_Descriptor)
  VX_PARAM_STR(TGA_Author)
  VX_PARAM(double, TGA_Date)
  VX_PARAM_STR(TGA_ImageName)
  VX_PARAM(TRGB, TGA_Background)
  VX_PARAM(double, TGA_AspectRatio)
  VX_PARAM(double, TGA_Gamma)
  VX_PARAM(bool, TGA_GrayLevel)

  // ---- DICOM -------------------------------------------------------------
  VX_PARAM(double, DICOM_WindowCenterOffset)
  VX_PARAM(TVXDicomRange, DICOM_Range)
  VX_PARAM(int32_t, DICOM_JPEGQuality)
  VX_PARAM(double, DICOM_J2000Rate)
  VX_PARAM(double, DICOM_RescaleIntercept)
  VX_PARAM(double, DICOM_RescaleSlope)
  TVXDicomCompression DICOM_Compression() const;
  void SetDICOM_Compression(TVXDicomCompression v);

  // ---- PostScript, PDF, AVI, media files ---------------------------------
  VX_PARAM(int32_t, PS_PaperWidth)
  VX_PARAM(int32_t, PS_PaperHeight)
  VX_PARAM(TIOPSCompression, PS_Compression)
  VX_PARAM_STR(PS_Title)
  VX_PARAM(int32_t, PDF_PaperWidth)
  VX_PARAM(int32_t, PDF_PaperHeight)
  VX_PARAM(TIOPDFCompression, PDF_Compression)
  VX_PARAM_STR(PDF_Title)
  VX_PARAM_STR(PDF_Author)
  VX_PARAM_STR(PDF_Subject)
  VX_PARAM_STR(PDF_Keywords)
  VX_PARAM_STR(PDF_Creator)
  VX_PARAM_STR(PDF_Producer)
  TIOPDFPaperSize PS_PaperSize() const;
  void SetPS_PaperSize(TIOPDFPaperSize v);
  TIOPDFPaperSize PDF_PaperSize() const;
  void SetPDF_PaperSize(TIOPDFPaperSize v);
  VX_PARAM_RO(int32_t, AVI_FrameCount)
  void SetAVI_FrameCount(int32_t v) { SetImageCount(v); }
  VX_PARAM(double, AVI_FrameDelayTime)
  VX_PARAM_RO(int32_t, MEDIAFILE_FrameCount)
  void SetMEDIAFILE_FrameCount(int32_t v) { SetImageCount(v); }
  VX_PARAM(double, MEDIAFILE_FrameDelayTime)

  // ---- camera raw, raw bitmap, PSD, HD Photo -----------------------------
  VX_PARAM(bool, RAW_HalfSize)
  VX_PARAM(double, RAW_Gamma)
  VX_PARAM(double, RAW_Bright)
  VX_PARAM(double, RAW_RedScale)
  VX_PARAM(double, RAW_BlueScale)
  VX_PARAM(bool, RAW_QuickInterpolate)
  VX_PARAM(bool, RAW_UseAutoWB)
  VX_PARAM(bool, RAW_UseCameraWB)
  VX_PARAM(bool, RAW_FourColorRGB)
  VX_PARAM_STR(RAW_Camera)
  VX_PARAM(bool, RAW_GetExifThumbnail)
  VX_PARAM(bool, RAW_AutoAdjustColors)
  VX_PARAM_STR(RAW_ExtraParams)
  VX_PARAM(TIOBMPRAWChannelOrder, BMPRAW_ChannelOrder)
  VX_PARAM(TIOBMPRAWPlanes, BMPRAW_Planes)
  VX_PARAM(int32_t, BMPRAW_RowAlign)
  VX_PARAM(int32_t, BMPRAW_HeaderSize)
  VX_PARAM(TIOBMPRAWDataFormat, BMPRAW_DataFormat)
  VX_PARAM(bool, PSD_LoadLayers)
  VX_PARAM(bool, PSD_ReplaceLayers)
  VX_PARAM_RO(bool, PSD_HasPremultipliedAlpha)
  VX_PARAM(bool, PSD_LargeDocumentFormat)
  VX_PARAM_STR(PSD_SelectLayer)
  VX_PARAM(double, HDP_ImageQuality)
  VX_PARAM(bool, HDP_Lossless)

  // ---- EXIF and GPS ------------------------------------------------------
  VX_PARAM(bool, EXIF_HasEXIFData)
  VX_PARAM_RO(int32_t, EXIF_Orientation)
  void SetEXIF_Orientation(int32_t v);
  VX_PARAM_STR(EXIF_ImageDescription)
  VX_PARAM_STR(EXIF_Make)
  VX_PARAM_STR(EXIF_Model)
  VX_PARAM_RO(double, EXIF_XResolution)
  void SetEXIF_XResolution(double v);
  VX_PARAM_RO(double, EXIF_YResolution)
  void SetEXIF_YResolution(double v);
  VX_PARAM(int32_t, EXIF_ResolutionUnit)
  VX_PARAM_STR(EXIF_Software)
  VX_PARAM_STR(EXIF_Artist)
  VX_PARAM_STR(EXIF_DateTime)
  double EXIF_WhitePoint(int i) const { return fEXIF_WhitePoint[i]; }
  void SetEXIF_WhitePoint(int i, double v) { fEXIF_WhitePoint[i] = v; }
  double EXIF_PrimaryChromaticities(int i) const { return fEXIF_PrimaryChromaticities[i]; }
  void SetEXIF_PrimaryChromaticities(int i, double v) { fEXIF_PrimaryChromaticities[i] = v; }
  double EXIF_YCbCrCoefficients(int i) const { return fEXIF_YCbCrCoefficients[i]; }
  void SetEXIF_YCbCrCoefficients(int i, double v) { fEXIF_YCbCrCoefficients[i] = v; }
  VX_PARAM(int32_t, EXIF_YCbCrPositioning)
  double EXIF_ReferenceBlackWhite(int i) const { return fEXIF_ReferenceBlackWhite[i]; }
  void SetEXIF_ReferenceBlackWhite(int i, double v) { fEXIF_ReferenceBlackWhite[i] = v; }
  VX_PARAM_STR(EXIF_Copyright)
  VX_PARAM_RO(double, EXIF_ExposureTime)
  void SetEXIF_ExposureTime(double v);
  VX_PARAM_RO(double, EXIF_FNumber)
  void SetEXIF_FNumber(double v);
  VX_PARAM_RO(int32_t, EXIF_ExposureProgram)
  void SetEXIF_ExposureProgram(int32_t v);
  int32_t EXIF_ISOSpeedRatings(int i) const { return fEXIF_ISOSpeedRatings[i]; }
  void SetEXIF_ISOSpeedRatings(int i, int32_t v) { fEXIF_ISOSpeedRatings[i] = v; }
  VX_PARAM_STR(EXIF_ExifVersion)
  VX_PARAM_STR(EXIF_DateTimeOriginal)
  VX_PARAM_STR(EXIF_DateTimeDigitized)
  VX_PARAM_RO(double, EXIF_CompressedBitsPerPixel)
  void SetEXIF_CompressedBitsPerPixel(double v);
  VX_PARAM_RO(double, EXIF_ShutterSpeedValue)
  void SetEXIF_ShutterSpeedValue(double v);
  VX_PARAM_RO(double, EXIF_ApertureValue)
  void SetEXIF_ApertureValue(double v);
  VX_PARAM_RO(double, EXIF_BrightnessValue)
  void SetEXIF_BrightnessValue(double v);
  VX_PARAM_RO(double, EXIF_ExposureBiasValue)
  void SetEXIF_ExposureBiasValue(double v);
  VX_PARAM_RO(double, EXIF_MaxApertureValue)
  void SetEXIF_MaxApertureValue(double v);
  VX_PARAM_RO(double, EXIF_SubjectDistance)
  void SetEXIF_SubjectDistance(double v);
  VX_PARAM_RO(int32_t, EXIF_MeteringMode)
  void SetEXIF_MeteringMode(int32_t v);
  VX_PARAM_RO(int32_t, EXIF_LightSource)
  void SetEXIF_LightSource(int32_t v);
  VX_PARAM_RO(int32_t, EXIF_Flash)
  void SetEXIF_Flash(int32_t v);
  VX_PARAM_RO(double, EXIF_FocalLength)
  void SetEXIF_FocalLength(double v);
  VX_PARAM_STR(EXIF_SubsecTime)
  VX_PARAM_STR(EXIF_SubsecTimeOriginal)
  VX_PARAM_STR(EXIF_SubsecTimeDigitized)
  VX_PARAM_STR(EXIF_FlashPixVersion)
  VX_PARAM_RO(int32_t, EXIF_ColorSpace)
  void SetEXIF_ColorSpace(int32_t v);
  VX_PARAM_RO(int32_t, EXIF_ExifImageWidth)
  void SetEXIF_ExifImageWidth(int32_t v);
  VX_PARAM_RO(int32_t, EXIF_ExifImageHeight)
  void SetEXIF_ExifImageHeight(int32_t v);
  VX_PARAM_STR(EXIF_RelatedSoundFile)
  VX_PARAM_RO(double, EXIF_FocalPlaneXResolution)
  void SetEXIF_FocalPlaneXResolution(double v);
  VX_PARAM_RO(double, EXIF_FocalPlaneYResolution)
  void SetEXIF_FocalPlaneYResolution(double v);
  VX_PARAM_RO(int32_t, EXIF_FocalPlaneResolutionUnit)
  void SetEXIF_FocalPlaneResolutionUnit(int32_t v);
  VX_PARAM_RO(double, EXIF_ExposureIndex)
  void SetEXIF_ExposureIndex(double v);
  VX_PARAM_RO(int32_t, EXIF_SensingMethod)
  void SetEXIF_SensingMethod(int32_t v);
  VX_PARAM_RO(int32_t, EXIF_FileSource)
  void SetEXIF_FileSource(int32_t v);
  VX_PARAM_RO(int32_t, EXIF_SceneType)
  void SetEXIF_SceneType(int32_t v);
  VX_PARAM_STR(EXIF_UserComment)
  VX_PARAM_STR(EXIF_UserCommentCode)
  VX_PARAM(int32_t, EXIF_XPRating)
  VX_PARAM_STR(EXIF_XPTitle)
  VX_PARAM_STR(EXIF_XPComment)
  VX_PARAM_STR(EXIF_XPAuthor)
  VX_PARAM_STR(EXIF_XPKeywords)
  VX_PARAM_STR(EXIF_XPSubject)
  VX_PARAM(int32_t, EXIF_ExposureMode)
  VX_PARAM(int32_t, EXIF_WhiteBalance)
  VX_PARAM(double, EXIF_DigitalZoomRatio)
  VX_PARAM(int32_t, EXIF_FocalLengthIn35mmFilm)
  VX_PARAM(int32_t, EXIF_SceneCaptureType)
  VX_PARAM(int32_t, EXIF_GainControl)
  VX_PARAM(int32_t, EXIF_Contrast)
  VX_PARAM(int32_t, EXIF_Saturation)
  VX_PARAM(int32_t, EXIF_Sharpness)
  VX_PARAM(int32_t, EXIF_SubjectDistanceRange)
  VX_PARAM_STR(EXIF_ImageUniqueID)
  VX_PARAM_STR(EXIF_GPSVersionID)
  VX_PARAM_STR(EXIF_GPSLatitudeRef)
  VX_PARAM(double, EXIF_GPSLatitudeDegrees)
  VX_PARAM(double, EXIF_GPSLatitudeMinutes)
  VX_PARAM(double, EXIF_GPSLatitudeSeconds)
  VX_PARAM_STR(EXIF_GPSLongitudeRef)
  VX_PARAM(double, EXIF_GPSLongitudeDegrees)
  VX_PARAM(double, EXIF_GPSLongitudeMinutes)
  VX_PARAM(double, EXIF_GPSLongitudeSeconds)
  VX_PARAM_STR(EXIF_GPSAltitudeRef)
  VX_PARAM(double, EXIF_GPSAltitude)
  VX_PARAM(double, EXIF_GPSTimeStampHour)
  VX_PARAM(double, EXIF_GPSTimeStampMinute)
  VX_PARAM(double, EXIF_GPSTimeStampSecond)
  VX_PARAM_STR(EXIF_GPSSatellites)
  VX_PARAM_STR(EXIF_GPSStatus)
  VX_PARAM_STR(EXIF_GPSMeasureMode)
  VX_PARAM(double, EXIF_GPSDOP)
  VX_PARAM_STR(EXIF_GPSSpeedRef)
  VX_PARAM(double, EXIF_GPSSpeed)
  VX_PARAM_STR(EXIF_GPSTrackRef)
  VX_PARAM(double, EXIF_GPSTrack)
  VX_PARAM_STR(EXIF_GPSImgDirectionRef)
  VX_PARAM(double, EXIF_GPSImgDirection)
  VX_PARAM_STR(EXIF_GPSMapDatum)
  VX_PARAM_STR(EXIF_GPSDestLatitudeRef)
  VX_PARAM(double, EXIF_GPSDestLatitudeDegrees)
  VX_PARAM(double, EXIF_GPSDestLatitudeMinutes)
  VX_PARAM(double, EXIF_GPSDestLatitudeSeconds)
  VX_PARAM_STR(EXIF_GPSDestLongitudeRef)
  VX_PARAM(double, EXIF_GPSDestLongitudeDegrees)
  VX_PARAM(double, EXIF_GPSDestLongitudeMinutes)
  VX_PARAM(double, EXIF_GPSDestLongitudeSeconds)
  VX_PARAM_STR(EXIF_GPSDestBearingRef)
  VX_PARAM(double, EXIF_GPSDestBearing)
  VX_PARAM_STR(EXIF_GPSDestDistanceRef)
  VX_PARAM(double, EXIF_GPSDestDistance)
  VX_PARAM_STR(EXIF_GPSDateStamp)
  VX_PARAM_STR(EXIF_InteropIndex)
  VX_PARAM_STR(EXIF_InteropVersion)

  // Date-time views (days since 30 December 1899) of the three EXIF date texts.
  double EXIF_DateTime2() const;
  void SetEXIF_DateTime2(double v);
  double EXIF_DateTimeOriginal2() const;
  void SetEXIF_DateTimeOriginal2(double v);
  double EXIF_DateTimeDigitized2() const;
  void SetEXIF_DateTimeDigitized2(double v);
  // Signed decimal degrees of the GPS position, and their display texts.
  double EXIF_GPSLatitude() const;
  void SetEXIF_GPSLatitude(double v);
  double EXIF_GPSLongitude() const;
  void SetEXIF_GPSLongitude(double v);
  std::string EXIF_GPSLatitude_Str() const;
  std::string EXIF_GPSLongitude_Str() const;
  void AdjustGPSCoordinates();

  // ---- access by property name --------------------------------------------
  // The value of the upper-case property name Prop as text; "INVALID PROPERTY"
  // for a name it does not know. Control characters in Prop are ignored and
  // letters may have any case.
  std::string GetProperty(const std::string& Prop) const;
  // Sets the property Prop from the text Value; unknown and read-only names
  // are ignored, numbers that do not parse take the property's fallback.
  void SetProperty(const std::string& Prop, const std::string& Value);
  // The file type in words: the registry's name and extension and a detail
  // of the compression ("Portable Network Graphics (PNG) Interlaced").
  std::string FileTypeStr() const;

  // ---- metadata accessors ------------------------------------------------
  std::string ReadIPTCField(int32_t iRecNo, int32_t iFieldIndex) const;
  void ReadIPTCField(int32_t iRecNo, int32_t iFieldIndex, std::vector<std::string>& Dest) const;
  void WriteIPTCField(int32_t iRecNo, int32_t iFieldIndex, const std::string& Value);
  void WriteIPTCField(int32_t iRecNo, int32_t iFieldIndex, const std::vector<std::string>& ssValues);
  void ClearIPTCField(int32_t iRecNo, int32_t iFieldIndex);
  std::string IPTC_Photoshop(int32_t FieldID) const { return ReadIPTCField(2, FieldID); }
  void SetIPTC_Photoshop(int32_t FieldID, const std::string& v) { WriteIPTCField(2, FieldID, v); }

  const std::string& XMP_Info() const { return fXMP_Info; }
  void SetXMP_Info(const std::string& v);

  TVXICC& InputICCProfile();
  TVXICC& OutputICCProfile();
  TVXICC& DefaultICCProfile();
  bool HasInputICCProfile() const { return fInputICC != nullptr; }
  TVXImagingAnnot& ImagingAnnot();
  bool HasImagingAnnot() const { return fImagingAnnot != nullptr; }

  int32_t ImageDelayTime() const;
  void UpdateEXIFThumbnail(int32_t Width, int32_t Height, TResampleFilter ResampleFilter);

  // ---- owner and owned containers -----------------------------------------
  TVexlaneIO* fVexlaneIO = nullptr;
  std::unique_ptr<TVXDictionary> fDict;
  std::unique_ptr<TVXMarkerList> fJPEG_MarkerList;
  std::unique_ptr<TVXDicomTags> fDICOM_Tags;
  std::unique_ptr<TVXIPTCInfoList> fIPTC_Info;
  std::unique_ptr<TVXImagingAnnot> fImagingAnnot;
  std::unique_ptr<TVXVexlaneAnnot> fVexlaneAnnot;
  std::unique_ptr<TVXICC> fInputICC, fOutputICC, fDefaultICC;
  std::unique_ptr<TVXBitmap> fEXIF_Bitmap;  // EXIF thumbnail, nullptr when none
  std::unique_ptr<TVXTagsHandler> fEXIF_MakerNote;

 private:
  void SetEXIFTracked(double& field, double value, double unset, int32_t tag);
  void SetEXIFTracked(int32_t& field, int32_t value, int32_t unset, int32_t tag);
};

#undef VX_PARAM
#undef VX_PARAM_STR
#undef VX_PARAM_RO
