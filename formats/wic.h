// A thin layer over the platform imaging component (platform/win_imaging.h):
// a frame reader and a frame writer chosen by file type, a bitmap source that
// shows a TVXBitmap to the component, a pixel-format converter and a scaler,
// and the HD Photo (file type 29) entry points built on them.
//
// Pixel formats: 1bppIndexed and BlackWhite read as vx1g, 8bppIndexed vx8p,
// 8bppGray vx8g, 16bppGray vx16g, 24bppBGR vx24RGB, 32bppBGRA vx24RGB with
// alpha, 48bppRGB vx48RGB, 32bppCMYK vxCMYK. The component's CMYK bytes are
// the complement of the library's: every copy between the two inverts them,
// reading and writing alike, so a written CMYK file reads back with its
// colours.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/pixels.h"
#include "core/vxdefs.h"
#include "platform/win_imaging.h"

class TStream;
class TVXBaseBitmap;
class TVXBitmap;
class TVXWideFileStream;
class TIOParamsVals;

// True when the imaging factory can be created. The answer is kept until the
// component's installation changes (VXImagingComponentGeneration).
bool VXIsWICAvailable();

// The component's pixel format of a library format for the bitmap source
// (vx24RGB with alpha: 32bppBGRA); false for formats it has no format for.
bool VXWICPixelFormatOf(TVXPixelFormat Format, bool WithAlpha, GUID& Result);
// The library format a component pixel format is read as (vxnull: none).
TVXPixelFormat VXPixelFormatOfWIC(const GUID& Format);

// Reads frames of a file through the component's decoders.
class TVXWICReader {
 public:
  TVXWICReader();
  ~TVXWICReader();
  TVXWICReader(const TVXWICReader&) = delete;
  TVXWICReader& operator=(const TVXWICReader&) = delete;

  bool IsAvailable() const;
  // A decoder for the stream from its position: types 1 TIFF, 2 GIF, 3 JPEG,
  // 5 BMP, 6 ICO, 8 PNG and 29 HD Photo; false for other types or when no
  // decoder takes the data.
  bool Open(TStream* Stream, int32_t fileType);
  bool Open(const std::string& FileName, int32_t fileType);
  int32_t FrameCount();
  // Reads frame frameIndex into destBitmap and, when given, the parameters.
  // Sets Aborting (when given) when the component or the decoder is missing
  // or any step fails.
  void GetFrame(int32_t frameIndex, TVXBitmap* destBitmap, TIOParamsVals* IOParams, bool* Aborting);
  // Size of frame frameIndex (0 when there is none).
  int32_t FrameWidth(int32_t frameIndex);
  int32_t FrameHeight(int32_t frameIndex);
  // The value of a metadata query of the last frame read (VT_EMPTY when none).
  PROPVARIANT QueryMetadata(const std::string& query);
  void Close();

 private:
  bool fOLEInitialized = false;
  IWICImagingFactory* fWICImagingFactory = nullptr;
  IWICBitmapDecoder* fDecoder = nullptr;
  IWICBitmapFrameDecode* fFrame = nullptr;
  IWICMetadataQueryReader* fQueryReader = nullptr;
  double fDPIX, fDPIY;
  TStream* fStream = nullptr;
  int64_t fStreamBase = 0;
  std::unique_ptr<TVXWideFileStream> fFileStream;
};

enum TVXWICTIFFCompressionMethod {
  vxWICTiffCompressionDontCare,
  vxWICTiffCompressionNone,
  vxWICTiffCompressionCCITT3,
  vxWICTiffCompressionCCITT4,
  vxWICTiffCompressionLZW,
  vxWICTiffCompressionRLE,
  vxWICTiffCompressionZIP
};

// Writes frames through the component's encoders: types 1 TIFF, 2 GIF,
// 3 JPEG, 5 BMP, 8 PNG and 29 HD Photo.
class TVXWICWriter {
 public:
  TVXWICWriter();
  ~TVXWICWriter();
  TVXWICWriter(const TVXWICWriter&) = delete;
  TVXWICWriter& operator=(const TVXWICWriter&) = delete;

  bool IsAvailable() const;
  bool Open(TStream* Stream, int32_t fileType);
  // Creates the file.
  bool Open(const std::string& FileName, int32_t fileType);
  // One frame of srcBitmap (vx1g, vx8g, vx16g, vx24RGB without its alpha,
  // vxCMYK, vx48RGB; others raise EVXException "Unsupported pixel format").
  // With IOParams the resolution, HDP_ImageQuality and HDP_Lossless come
  // from them. False when a step of the component failed.
  bool PutFrame(TVXBaseBitmap* srcBitmap, TIOParamsVals* IOParams);
  // Commits the file; false when that failed.
  bool Close();

  // Options of the next frame (the option bag's "ImageQuality",
  // "CompressionQuality", "Lossless", and with UseCodecOptions "Quality",
  // "Overlap", "Subsampling", the tile slices and "FrequencyOrder";
  // "TiffCompressionMethod" for TIFF).
  double fImageQuality = -1, fCompressionQuality = -1;
  bool fLossless = false;
  bool fUseCodecOptions = false;
  uint8_t fQuality = 1, fOverlap = 1, fSubsampling = 3;
  uint16_t fHorizontalTileSlices = 0, fVerticalTileSlices = 0;
  bool fFrequencyOrder = true;
  TVXWICTIFFCompressionMethod fTIFFCompressionMethod = vxWICTiffCompressionNone;
  double fDPIX, fDPIY;

 private:
  bool fOLEInitialized = false;
  IWICImagingFactory* fWICImagingFactory = nullptr;
  IWICBitmapEncoder* fEncoder = nullptr;
  IStream* fStreamAdapter = nullptr;
  TStream* fStream = nullptr;
  int64_t fStreamBase = 0;
  std::unique_ptr<TVXWideFileStream> fFileStream;
};

// The bitmap source over a library bitmap and an optional 8-bit alpha
// channel (neither owned). Reference counted: created with one reference.
class TVXWICBitmapWrapper : public TVXComObject<IWICBitmapSource> {
 public:
  TVXWICBitmapWrapper(TVXBaseBitmap* bitmap, TVXBaseBitmap* alpha);
  HRESULT GetSize(UINT* puiWidth, UINT* puiHeight) override;
  HRESULT GetPixelFormat(WICPixelFormatGUID* pPixelFormat) override;
  HRESULT GetResolution(double* pDpiX, double* pDpiY) override;
  HRESULT CopyPalette(IWICPalette* pIPalette) override;
  HRESULT CopyPixels(const WICRect* prc, UINT cbStride, UINT cbBufferSize, BYTE* pbBuffer) override;

 private:
  TVXBaseBitmap* m_bitmap;
  TVXBaseBitmap* m_alpha;
};

class TVXWICBaseFunctionality {
 public:
  TVXWICBaseFunctionality();
  virtual ~TVXWICBaseFunctionality();
  TVXWICBaseFunctionality(const TVXWICBaseFunctionality&) = delete;
  TVXWICBaseFunctionality& operator=(const TVXWICBaseFunctionality&) = delete;

 protected:
  bool m_OLEInitialized = false;
  IWICImagingFactory* m_WICImagingFactory = nullptr;
};

class TVXWICFormatConverter : public TVXWICBaseFunctionality {
 public:
  // Converts Source (with its alpha channel) into Dest in DestPixelFormat
  // with the palette and dither types below. Formats without a component
  // format raise EVXException "Unsupported pixel format". False when the
  // component refuses or a step fails; with CheckParametersOnly only the
  // answer, Dest untouched.
  bool Convert(TVXBitmap* Source, TVXBitmap* Dest, TVXPixelFormat DestPixelFormat, bool CheckParametersOnly,
               const TVXProgressEvent& OnProgressFunction = nullptr, void* OnProgressSender = nullptr);
  int32_t m_paletteType = 1;  // WICBitmapPaletteType
  int32_t m_ditherType = 0;   // WICBitmapDitherType
};

class TVXWICBitmapScaler : public TVXWICBaseFunctionality {
 public:
  // Source (and SourceAlpha) scaled to Width x Height into Dest (and
  // DestAlpha when given) with interpolation mode Mode (0 nearest, 1 linear,
  // 2 cubic, 3 Fant). False when the component refuses or a step fails.
  bool Resample(TVXBaseBitmap* Source, TVXBaseBitmap* SourceAlpha, TVXBitmap* Dest, TVXBitmap* DestAlpha,
                int32_t Width, int32_t Height, int32_t Mode, const TVXProgressEvent& OnProgressFunction = nullptr,
                void* OnProgressSender = nullptr);
};

// Source resampled to Dest's size by the component's scaler: rfWICLinear
// mode 1, rfWICCubic 2, rfWICFant 3, any other filter 0. SourceAlpha is shown
// to the scaler; no alpha is written. False when the component is missing or
// refuses.
bool VXWICResampleBitmap(TVXBaseBitmap* Source, TVXBitmap* Dest, TVXBaseBitmap* SourceAlpha, TResampleFilter filter,
                         const TVXProgressEvent& OnProgress = nullptr, void* Sender = nullptr);

// HD Photo: frame ImageIndex of the file at the stream's position. With
// ParamsOnly, or without a bitmap, only the parameters are filled.
void VXReadHDPhotoStream(TStream* Stream, TVXBitmap* destBitmap, TIOParamsVals& params, bool ParamsOnly,
                         TProgressRec& progress);
// One frame at the stream's position, then the parameters' EXIF data put
// into it. Sets the abort flag when the component is missing or writing
// failed.
void VXWriteHDPhotoStream(TStream* stream, TVXBitmap* srcBitmap, TIOParamsVals& params, TProgressRec& progress);
// Frames of the file: 0 without the component or for a file it cannot read.
int32_t VXGetHDPhotoFileFrameCount(const std::string& FileName);
int32_t VXGetHDPhotoStreamFrameCount(TStream* Stream);
