// Camera raw files (CRW, CR2, NEF, DNG, ...) decoded by LibRaw, with an output
// stage of our own around it (camera_raw.cpp): the white point taken from a
// luminance histogram, the tone table, 24- or 48-bit output, the pixel aspect
// and the 45-degree rotation of diagonal sensors. ciff.cpp reads the metadata
// and the JPEG previews of CIFF heaps (CRW files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// ---- The decoder behind the glue ---------------------------------------------

// What the glue asks of the decoder.
struct TVXRawOptions {
  bool HalfSize = false;
  bool FourColorRGB = false;
  bool QuickInterpolate = true;
  bool UseAutoWB = false;
  bool UseCameraWB = false;
  double RedScale = 1.0, BlueScale = 1.0;
};

// What identification tells.
struct TVXRawIdentity {
  std::string Make, Model, Model2;
  int32_t Width = 0, Height = 0;        // the sensor's image area
  int32_t RawWidth = 0, RawHeight = 0;  // the stored raw data
  uint32_t Filters = 0;                 // colour filter pattern, 0 without one
  bool Diagonal = false;                // pixels laid out at 45 degrees
  double PixelAspect = 1.0;
};

// The decoding stages that report progress.
enum TVXRawStage { vxrsWhiteBalance, vxrsColorConversion };

// One decoding state. Identify first, then Process; Image is valid until
// Recycle or the next Identify.
class TVXRawDecoder {
 public:
  virtual ~TVXRawDecoder() = default;
  // Identifies the file in Data (the caller keeps the bytes until Recycle).
  virtual bool Identify(const uint8_t* Data, size_t Size) = 0;
  virtual const TVXRawIdentity& Identity() const = 0;
  // Raw loader, white balance, interpolation (none at half size or without a
  // filter pattern) and colour conversion. OnStage is called as the stages
  // complete; true from it cancels. False on failure or cancel.
  virtual bool Process(const TVXRawOptions& Options, const std::function<bool(TVXRawStage)>& OnStage) = 0;
  // The converted image: ImageWidth x ImageHeight pixels of four 16-bit
  // values (red, green, blue, and a fourth the glue may overwrite).
  virtual uint16_t* Image() = 0;
  virtual int32_t ImageWidth() const = 0;
  virtual int32_t ImageHeight() const = 0;
  // Frees everything of the last file.
  virtual void Recycle() = 0;
};

// The LibRaw decoder (camera_raw_libraw.cpp).
std::unique_ptr<TVXRawDecoder> VXCreateLibRawDecoder();

// ---- Reading ---------------------------------------------------------------

// Decodes the camera raw file at the stream's position into Bitmap (vx24RGB,
// or vx48RGB with IsNativePixelFormat) with the parameters' RAW_ options, or,
// with ParamsOnly, fills only the parameters. A file the decoder does not
// recognise, a size below 3 pixels, an output beyond the pixel limit and a
// failing decoder set *Progress.Aborting.
void VXReadRawStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                     TProgressRec& Progress);
// The same with a given decoder.
void VXReadRawStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                     TProgressRec& Progress, TVXRawDecoder& Decoder);

// True when the decoder identifies the stream's content; position restored.
bool VXIsRawStream(TStream* Stream);

// ---- CIFF heaps (ciff.cpp) ---------------------------------------------------

// From the CIFF heap at the stream's position: the description, make, model,
// software and image size into the EXIF fields, the records 0x102A and 0x102D
// as the maker note, and the smallest embedded JPEG into EXIF_Bitmap (emptied
// when there is none).
void ReadRawExifAndJpeg(TStream* Stream, TIOParamsVals& Params);

// Decodes the largest JPEG embedded in the CIFF heap at the stream's position
// into Bitmap; false (bitmap unchanged) when there is none or it does not
// decode.
bool VXLoadJpegFromCRWStream(TVXBitmap* Bitmap, TStream* Stream);

// ---- Diagonal sensors ----------------------------------------------------------

// Turns the image of a sensor whose pixels lie at 45 degrees (as decoded,
// black corners included) upright: vx48RGB and vx24RGB bitmaps; other formats
// and empty bitmaps are left alone.
void VXRotateFuji45(TVXBitmap* Bitmap);
