#include "formats/formats_module.h"

#include "core/bitmap.h"
#include "core/imaging_hook.h"
#include "formats/camera_raw.h"
#include "formats/dicom.h"
#include "formats/exif.h"
#include "formats/imaging_factory.h"
#include "formats/jpeg2000.h"
#include "formats/psd.h"
#include "formats/tiff.h"
#include "formats/tiff_pages.h"
#include "formats/tiff_write.h"
#include "formats/wic.h"
#include "core/filewriter.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "io/exif.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/tiffpages.h"

namespace {

constexpr int32_t kTIFFFileType = 1, kDICOMFileType = 28;
constexpr int32_t kPSDFileType = 24;
constexpr int32_t kJP2FileType = 13, kJ2KFileType = 14;
constexpr int32_t kCameraRawFileType = 20;
constexpr int32_t kHDPhotoFileType = 29;

// Page TIFF_ImageIndex with the component's options: alpha as a mask, no
// EXIF modes, offsets as the component says.
void ReadTIFF(TVXCodecReadArgs& a) {
  int32_t pages = 0;
  VXReadTIFFStream(a.Bitmap, a.Stream, pages, *a.Params, *a.Progress, a.Preview, a.AlphaMask, a.TranslateBase,
                   false, nullptr);
  a.Count = pages;
}

void ReadTIFFParams(TVXCodecReadArgs& a) {
  int32_t pages = 0;
  VXReadTIFFStream(a.Bitmap, a.Stream, pages, *a.Params, *a.Progress, true, a.AlphaMask, a.TranslateBase, false,
                   nullptr);
  a.Count = pages;
}

// A new one-page file, or the bitmap inserted into the file the stream holds.
void WriteTIFF(TVXCodecWriteArgs& a) {
  a.Count = VXWriteTIFFStream(a.Stream, a.Insert, a.Bitmap, *a.Progress, *a.Params);
}

// The page goes into a copy of the file, which replaces the file only when
// the insert succeeded.
int32_t InsertTIFF(const std::string& FileName, TVXBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  TMemoryStream file;
  file.LoadFromFile(FileName);
  file.SetPosition(0);
  const int32_t count = VXWriteTIFFStream(&file, true, Bitmap, Progress, Params);
  if (aborting) return count;
  VXWriteFileSafely(FileName, aborting, [&](TStream* Out) { Out->WriteBuffer(file.Memory(), file.Size()); });
  return count;
}

bool InjectTIFFEXIF(TStream* Input, TStream* Output, const std::string& InputFileName,
                    const std::string& OutputFileName, int32_t PageIndex, TIOParamsVals& Params, TProgressRec&) {
  return VXInjectEXIFIntoTIFF(Input && Output ? Input : nullptr, Input && Output ? Output : nullptr, InputFileName,
                              OutputFileName, PageIndex, Params);
}

void ReadDICOM(TVXCodecReadArgs& a) { VXReadDicomStream(a.Stream, *a.Params, a.Bitmap, a.Preview, *a.Progress); }

void ReadPSD(TVXCodecReadArgs& a) {
  VXReadPSDStream(a.Stream, a.Preview ? nullptr : a.Bitmap, *a.Params, *a.Progress, a.LoadLayers, a.Layers);
}

// Header and image resources only: no merged image, no layers.
void ReadPSDParams(TVXCodecReadArgs& a) { VXReadPSDStream(a.Stream, nullptr, *a.Params, *a.Progress, false, nullptr); }

void WritePSD(TVXCodecWriteArgs& a) {
  const TVXLayerList none;
  VXWritePSDStream(a.Stream, *a.Params, *a.Progress, a.Bitmap, a.Layers ? *a.Layers : none);
}

// JP2 and J2K share the reader, which takes either whatever the type says.
void ReadJpeg2000(TVXCodecReadArgs& a) { VXReadJpeg2000Stream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.Preview); }
void ReadJpeg2000Params(TVXCodecReadArgs& a) {
  VXReadJpeg2000Stream(a.Stream, a.Bitmap, *a.Params, *a.Progress, true);
}
void WriteJP2(TVXCodecWriteArgs& a) { VXWriteJpeg2000Stream(a.Stream, a.Bitmap, *a.Params, *a.Progress, 0); }
void WriteJ2K(TVXCodecWriteArgs& a) { VXWriteJpeg2000Stream(a.Stream, a.Bitmap, *a.Params, *a.Progress, 1); }

// Camera raw with the parameters' RAW_ options.
void ReadCameraRaw(TVXCodecReadArgs& a) {
  VXReadRawStream(a.Stream, a.Bitmap, *a.Params, a.Preview, *a.Progress);
}
void ReadCameraRawParams(TVXCodecReadArgs& a) { VXReadRawStream(a.Stream, a.Bitmap, *a.Params, true, *a.Progress); }

// One frame; the parameters take the image's layout and size first.
void WriteDICOM(TVXCodecWriteArgs& a) {
  TIOParamsVals& p = *a.Params;
  switch (a.Bitmap->PixelFormat()) {
    case vx1g: p.SetBitsPerSample(1); p.SetSamplesPerPixel(1); break;
    case vx8g: p.SetBitsPerSample(8); p.SetSamplesPerPixel(1); break;
    case vx16g: p.SetBitsPerSample(16); p.SetSamplesPerPixel(1); break;
    case vx24RGB: p.SetBitsPerSample(8); p.SetSamplesPerPixel(3); break;
    default: throw EVXException("DICOM saving: unsupported pixel format");
  }
  p.SetWidth(a.Bitmap->Width());
  p.SetHeight(a.Bitmap->Height());
  TVXDicomWriteContext* context = VXDicomWriteBegin(a.Stream, p, 1, *a.Progress);
  try {
    VXDicomWriteAddImage(context, a.Bitmap);
  } catch (...) {
    VXDicomWriteEnd(context);
    throw;
  }
  VXDicomWriteEnd(context);
}

// HD Photo through the imaging component: frame ImageIndex, one frame written.
void ReadHDPhoto(TVXCodecReadArgs& a) { VXReadHDPhotoStream(a.Stream, a.Bitmap, *a.Params, a.Preview, *a.Progress); }
void ReadHDPhotoParams(TVXCodecReadArgs& a) {
  VXReadHDPhotoStream(a.Stream, a.Bitmap, *a.Params, true, *a.Progress);
}
void WriteHDPhoto(TVXCodecWriteArgs& a) { VXWriteHDPhotoStream(a.Stream, a.Bitmap, *a.Params, *a.Progress); }

// The processing library's way to the component's scaler and converter.
bool ImagingResample(TVXBaseBitmap* Source, TVXBitmap* Target, TVXBaseBitmap* SourceAlpha, TResampleFilter Filter,
                     const TVXProgressEvent& OnProgress, void* Sender) {
  return VXIsWICAvailable() && VXWICResampleBitmap(Source, Target, SourceAlpha, Filter, OnProgress, Sender);
}

bool ImagingConvert(TVXBitmap* Source, TVXBitmap* Dest, TVXPixelFormat PixelFormat, int32_t PaletteType,
                    int32_t DitherType, bool CheckOnly, const TVXProgressEvent& OnProgress, void* Sender) {
  if (!VXIsWICAvailable()) return false;
  TVXWICFormatConverter converter;
  converter.m_paletteType = PaletteType;
  converter.m_ditherType = DitherType;
  return converter.Convert(Source, Dest, PixelFormat, CheckOnly, OnProgress, Sender);
}

}  // namespace

// Each format adds its records here, one block per file type, in the style of
// codecs/codecs_module.cpp. The modules start in no fixed order and a record
// is replaced whole, so a file type belongs to one module: a format taking
// over a type the codec library registers moves that block here. A format
// that keeps state for the whole run frees it in VXFormatsShutdown.
void VXFormatsStartup() {
  // TIFF: reading, writing and inserting pages, page counts and detection's
  // probe.
  TVXCodecOps tiff;
  tiff.Read = &ReadTIFF;
  tiff.Write = &WriteTIFF;
  tiff.InsertImage = &InsertTIFF;
  tiff.ReadParams = &ReadTIFFParams;
  tiff.ImageCount = &VXGetTIFFStreamPageCount;
  tiff.DeleteImage = &VXDeleteTIFFFilePageInPlace;
  tiff.DeleteStreamImage = &VXTryDeleteTIFFStreamPage;
  tiff.InjectEXIF = &InjectTIFFEXIF;
  tiff.IsStream = &VXIsTIFFStream;
  VXSetCodecOps(kTIFFFileType, tiff);

  TVXCodecOps dicom;
  dicom.Read = &ReadDICOM;
  dicom.Write = &WriteDICOM;
  dicom.ImageCount = &VXGetDicomStreamImageCount;
  VXSetCodecOps(kDICOMFileType, dicom);

  // PSD and PSB: the merged image and the layers, written with PackBits.
  TVXCodecOps psd;
  psd.Read = &ReadPSD;
  psd.ReadParams = &ReadPSDParams;
  psd.Write = &WritePSD;
  VXSetCodecOps(kPSDFileType, psd);

  // JPEG 2000: JP2 files and J2K code streams.
  TVXCodecOps jp2;
  jp2.Read = &ReadJpeg2000;
  jp2.ReadParams = &ReadJpeg2000Params;
  jp2.Write = &WriteJP2;
  VXSetCodecOps(kJP2FileType, jp2);
  TVXCodecOps j2k = jp2;
  j2k.Write = &WriteJ2K;
  VXSetCodecOps(kJ2KFileType, j2k);

  // Camera raw: the LibRaw reader, its probe (asked last by detection) and
  // the probe for raw files that are TIFF structures.
  TVXCodecOps cameraRaw;
  cameraRaw.Read = &ReadCameraRaw;
  cameraRaw.ReadParams = &ReadCameraRawParams;
  cameraRaw.IsStream = &VXIsRawStream;
  cameraRaw.IsTIFFVariant = &VXIsRawTIFFStream;
  cameraRaw.LoadPreview = &VXLoadJpegFromCRWStream;
  VXSetCodecOps(kCameraRawFileType, cameraRaw);

  // The imaging component: the library's factory. HD Photo reads and writes
  // through it; without the component the reader and writer set Aborting and
  // the registry has no HD Photo entry.
  IWICImagingFactory* factory = VXCreateImagingFactory();
  VXSetImagingFactory(factory);
  factory->Release();
  TVXCodecOps hdPhoto;
  hdPhoto.Read = &ReadHDPhoto;
  hdPhoto.ReadParams = &ReadHDPhotoParams;
  hdPhoto.Write = &WriteHDPhoto;
  hdPhoto.IsStream = &VXIsHDPhotoStream;
  hdPhoto.ImageCount = &VXGetHDPhotoStreamFrameCount;
  VXSetCodecOps(kHDPhotoFileType, hdPhoto);
  VXImagingHooks.Resample = &ImagingResample;
  VXImagingHooks.Convert = &ImagingConvert;
  if (VXIsWICAvailable())
    VXRegisterFileFormat(new TVXFileFormatInfo(kHDPhotoFileType, "Microsoft HD Photo", "WDP;HDP;JXR", "hdp", true, 0,
                                               &VXReadPlaceholder, &VXWritePlaceholder, &VXTryPlaceholder));

  // EXIF blocks of JPEG files are TIFF structures.
  VXSetEXIFBlockHooks(&VXSaveEXIFBlock, &VXLoadEXIFBlock);
  // The EXIF block of the binary parameter file is a tags-only TIFF page.
  VXTIFFParamsHooks().WriteTagsPage = &VXWriteTIFFTagsPage;
  VXTIFFParamsHooks().ReadTIFFParams = &VXLoadTIFFParamsFromStream;
}

void VXFormatsShutdown() {
  VXJpeg2000Finalize();
  VXImagingHooks = TVXImagingHooks{};
  VXSetImagingFactory(nullptr);
}
