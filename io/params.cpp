// Per-image I/O parameters: creation, defaults, the reset before a load,
// copying, and the setters that keep related fields in step.
#include "io/params.h"

#include <ctime>

#include "core/bitmap.h"
#include "core/dictionary.h"
#include "core/icc.h"
#include "core/settings.h"
#include "core/textutils.h"
#include "io/annotations.h"
#include "io/dicomtags.h"
#include "io/exif.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/tagshandler.h"

TIOParamsOwnerHooks& VXIOParamsOwnerHooks() {
  static TIOParamsOwnerHooks hooks;
  return hooks;
}

namespace {

// Today at midnight as days since 30 December 1899 (local time).
double TodayAsDateTime() {
  std::time_t now = std::time(nullptr);
  std::tm tmv{};
  localtime_r(&now, &tmv);
  const int64_t days1970 = VXDaysFromCivil(tmv.tm_year + 1900, unsigned(tmv.tm_mon + 1), unsigned(tmv.tm_mday));
  return double(days1970 + 25569);
}

}  // namespace

TIOParamsVals::TIOParamsVals(TVexlaneIO* VXIO) : fVexlaneIO(VXIO) {
  fDict = std::make_unique<TVXDictionary>(103);
  fJPEG_MarkerList = std::make_unique<TVXMarkerList>();
  fIPTC_Info = std::make_unique<TVXIPTCInfoList>();
  fDICOM_Tags = std::make_unique<TVXDicomTags>();
  fVexlaneAnnot = std::make_unique<TVXVexlaneAnnot>(this);
  fEXIF_MakerNote = std::make_unique<TVXTagsHandler>();
  SetDefaultParams();
}

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::FreeColorMap() {
  fColorMap.clear();
  fColorMap.shrink_to_fit();
  fColorMapCount = 0;
}

void TIOParamsVals::SetEXIF_Bitmap(TVXBitmap* Bitmap) { fEXIF_Bitmap.reset(Bitmap); }

// ---------------------------------------------------------------------------
// Defaults and reset

void TIOParamsVals::SetDefaultParams() {
  fDict->Clear();
  FreeColorMap();

  // Values that the defaults leave alone.
  const int32_t width = fWidth, height = fHeight, dpiX = fDpiX, dpiY = fDpiY;
  const int32_t warnTot = fJPEG_WarningTot, warnCode = fJPEG_WarningCode;
  const double mediaDelay = fMEDIAFILE_FrameDelayTime;

  // Every plain field to its default (file name, type, sample layout, index
  // and count fields, every per-format option, EXIF and GPS values).
  static_cast<TIOParamsFields&>(*this) = TIOParamsFields();

  fWidth = width;
  fHeight = height;
  fDpiX = dpiX;
  fDpiY = dpiY;
  fJPEG_WarningTot = warnTot;
  fJPEG_WarningCode = warnCode;
  fMEDIAFILE_FrameDelayTime = mediaDelay;

  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  if (fVexlaneIO) {
    TIOParamsOwnerHooks& hooks = VXIOParamsOwnerHooks();
    if (hooks.GetBitmap) {
      try {
        if (TVXBitmap* bmp = hooks.GetBitmap(fVexlaneIO)) {
          fWidth = bmp->Width();
          fHeight = bmp->Height();
        }
      } catch (...) {
        fWidth = 0;
        fHeight = 0;
      }
    }
    SetDpiX(settings->DefaultDPIX());
    SetDpiY(settings->DefaultDPIY());
  }

  // Defaults that are not constants.
  fTIFF_LZWDecompFunc = settings->DefTIFF_LZWDECOMPFUNC();
  fTIFF_LZWCompFunc = settings->DefTIFF_LZWCOMPFUNC();
  fGIF_LZWDecompFunc = settings->DefGIF_LZWDECOMPFUNC();
  fGIF_LZWCompFunc = settings->DefGIF_LZWCOMPFUNC();
  fTGA_Date = TodayAsDateTime();

  fJPEG_MarkerList->Clear();
  fDICOM_Tags->Clear();
  SetDICOM_Compression(vxdcUncompressed);
  fIPTC_Info->Clear();

  ResetEXIF();

  fImagingAnnot.reset();
  fVexlaneAnnot->Clear();
  fInputICC.reset();
  fOutputICC.reset();
  fDefaultICC.reset();
}

void TIOParamsVals::ResetInfo() {
  fIPTC_Info->Clear();
  fImagingAnnot.reset();
  fVexlaneAnnot->Clear();
  fJPEG_MarkerList->Clear();
  ResetEXIF();
  fGIF_Comments.clear();
  fDICOM_Tags->Clear();
  fDICOM_RescaleIntercept = 0;
  fDICOM_RescaleSlope = 1;
  fPNG_TextKeys.clear();
  fPNG_TextValues.clear();
  fTIFF_DocumentName.clear();
  fTIFF_ImageDescription.clear();
  fTIFF_PageName.clear();
  fTGA_Descriptor.clear();
  fTGA_Author.clear();
  fTGA_ImageName.clear();
  fPXM_Comments.clear();
  SetXMP_Info(std::string());
  fInputICC.reset();
}

// ---------------------------------------------------------------------------
// Copying

void TIOParamsVals::Assign(const TIOParamsVals& Source) {
  if (&Source == this) return;
  const int32_t warnTot = fJPEG_WarningTot, warnCode = fJPEG_WarningCode;
  const double mediaDelay = fMEDIAFILE_FrameDelayTime;

  static_cast<TIOParamsFields&>(*this) = static_cast<const TIOParamsFields&>(Source);
  fJPEG_WarningTot = warnTot;
  fJPEG_WarningCode = warnCode;
  fMEDIAFILE_FrameDelayTime = mediaDelay;

  fDict->Assign(Source.fDict.get());
  fJPEG_MarkerList->Assign(Source.fJPEG_MarkerList.get());
  fIPTC_Info->Assign(Source.fIPTC_Info.get());
  fDICOM_Tags->Assign(Source.fDICOM_Tags.get());
  fVexlaneAnnot->Assign(Source.fVexlaneAnnot.get());

  // Through the setters, so that an attached viewer follows.
  SetDpiX(Source.fDpiX);
  SetDpiY(Source.fDpiY);
  SetImageIndex(Source.fTIFF_ImageIndex);
  SetImageIndex(Source.fGIF_ImageIndex);
  SetImageIndex(Source.fDCX_ImageIndex);
  SetImageIndex(Source.fICO_ImageIndex);
  SetImageIndex(Source.fCUR_ImageIndex);
  SetImageCount(Source.fAVI_FrameCount);
  SetJPEG_GetExifThumbnail(Source.fJPEG_GetExifThumbnail);
  SetDICOM_Compression(Source.DICOM_Compression());

  if (Source.fImagingAnnot)
    ImagingAnnot().Assign(Source.fImagingAnnot.get());
  else
    fImagingAnnot.reset();
  auto copyProfile = [](std::unique_ptr<TVXICC>& dst, const std::unique_ptr<TVXICC>& src) {
    if (src) {
      if (!dst) dst = std::make_unique<TVXICC>();
      dst->Assign(src.get());
    } else {
      dst.reset();
    }
  };
  copyProfile(fInputICC, Source.fInputICC);
  copyProfile(fOutputICC, Source.fOutputICC);
  copyProfile(fDefaultICC, Source.fDefaultICC);

  VXCopyEXIFParams(Source, *this, true);
  fTIFF_Orientation = Source.fTIFF_Orientation;
}

void TIOParamsVals::AssignCompressionInfo(const TIOParamsVals& Source) {
  fBitsPerSample = Source.fBitsPerSample;
  fSamplesPerPixel = Source.fSamplesPerPixel;
  fTIFF_Compression = Source.fTIFF_Compression;
  fTIFF_PhotometInterpret = Source.fTIFF_PhotometInterpret;
  fTIFF_PlanarConf = Source.fTIFF_PlanarConf;
  SetTIFF_Orientation(Source.fTIFF_Orientation);
  fTIFF_LZWDecompFunc = Source.fTIFF_LZWDecompFunc;
  fTIFF_LZWCompFunc = Source.fTIFF_LZWCompFunc;
  fTIFF_EnableAdjustOrientation = Source.fTIFF_EnableAdjustOrientation;
  fTIFF_JPEGQuality = Source.fTIFF_JPEGQuality;
  fTIFF_JPEGColorSpace = Source.fTIFF_JPEGColorSpace;
  fTIFF_FillOrder = Source.fTIFF_FillOrder;
  fTIFF_ZIPCompression = Source.fTIFF_ZIPCompression;
  fTIFF_StripCount = Source.fTIFF_StripCount;
  fGIF_Interlaced = Source.fGIF_Interlaced;
  fGIF_LZWDecompFunc = Source.fGIF_LZWDecompFunc;
  fGIF_LZWCompFunc = Source.fGIF_LZWCompFunc;
  fJPEG_ColorSpace = Source.fJPEG_ColorSpace;
  fJPEG_Quality = Source.fJPEG_Quality;
  fJPEG_DCTMethod = Source.fJPEG_DCTMethod;
  fJPEG_CromaSubsampling = Source.fJPEG_CromaSubsampling;
  fJPEG_OptimalHuffman = Source.fJPEG_OptimalHuffman;
  fJPEG_Smooth = Source.fJPEG_Smooth;
  fJPEG_Progressive = Source.fJPEG_Progressive;
  fJ2000_ColorSpace = Source.fJ2000_ColorSpace;
  fJ2000_Rate = Source.fJ2000_Rate;
  fJ2000_ScalableBy = Source.fJ2000_ScalableBy;
  fPCX_Version = Source.fPCX_Version;
  fPCX_Compression = Source.fPCX_Compression;
  fBMP_Version = Source.fBMP_Version;
  fBMP_Compression = Source.fBMP_Compression;
  fBMP_HandleTransparency = Source.fBMP_HandleTransparency;
  fPNG_Interlaced = Source.fPNG_Interlaced;
  fPNG_Filter = Source.fPNG_Filter;
  fPNG_Compression = Source.fPNG_Compression;
  fTGA_Compressed = Source.fTGA_Compressed;
  fTGA_GrayLevel = Source.fTGA_GrayLevel;
  fPS_Compression = Source.fPS_Compression;
  fPDF_Compression = Source.fPDF_Compression;
  fDICOM_Range = Source.fDICOM_Range;
  SetDICOM_Compression(Source.DICOM_Compression());
  fDICOM_JPEGQuality = Source.fDICOM_JPEGQuality;
  fDICOM_J2000Rate = Source.fDICOM_J2000Rate;
}

// ---------------------------------------------------------------------------
// Linked setters

void TIOParamsVals::SetDpi(int32_t v) {
  SetDpiX(v);
  SetDpiY(v);
}

void TIOParamsVals::SetDpiX(int32_t v) {
  fDpiX = v;
  fEXIF_XResolution = double(v);
  if (fVexlaneIO && VXIOParamsOwnerHooks().SetViewerDpi) VXIOParamsOwnerHooks().SetViewerDpi(fVexlaneIO, true, v);
}

void TIOParamsVals::SetDpiY(int32_t v) {
  fDpiY = v;
  fEXIF_YResolution = double(v);
  if (fVexlaneIO && VXIOParamsOwnerHooks().SetViewerDpi) VXIOParamsOwnerHooks().SetViewerDpi(fVexlaneIO, false, v);
}

void TIOParamsVals::SetImageIndex(int32_t v) {
  fImageIndex = v;
  fTIFF_ImageIndex = v;
  fDCX_ImageIndex = v;
  fGIF_ImageIndex = v;
  fICO_ImageIndex = v;
  fCUR_ImageIndex = v;
}

void TIOParamsVals::SetImageCount(int32_t v) {
  fImageCount = v;
  fTIFF_ImageCount = v;
  fAVI_FrameCount = v;
  fGIF_ImageCount = v;
  fMEDIAFILE_FrameCount = v;
}

void TIOParamsVals::SetEnableAdjustOrientation(bool v) {
  fEnableAdjustOrientation = v;
  fTIFF_EnableAdjustOrientation = v;
  fJPEG_EnableAdjustOrientation = v;
}

void TIOParamsVals::SetGetThumbnail(bool v) {
  fGetThumbnail = v;
  fJPEG_GetExifThumbnail = v;
  fRAW_GetExifThumbnail = v;
}

void TIOParamsVals::SetJPEG_GetExifThumbnail(bool v) {
  fJPEG_GetExifThumbnail = v;
  fGetThumbnail = v;
}

void TIOParamsVals::SetTIFF_Orientation(int32_t v) {
  fTIFF_Orientation = v;
  fEXIF_Orientation = v;
}

void TIOParamsVals::SetEXIF_Orientation(int32_t v) {
  fEXIF_Orientation = v;
  fTIFF_Orientation = v;
}
