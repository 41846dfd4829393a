// TIFF and BigTIFF reading: one page of a stream into a bitmap, an 8-bit
// alpha mask and the I/O parameters, and the page count of a stream.
//
// tiff_read.cpp holds the frame (header, choice of the directory, the tags
// and the parameters), tiff_strips.cpp the strip, tile and JPEG decoders
// that turn compressed data into rows, and tiff_rows.cpp the conversion of
// those rows into pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/pixels.h"
#include "core/settings.h"
#include "core/vxdefs.h"
#include "io/tiffifd.h"

class TStream;
class TVXBitmap;
class TVXMask;
class TIOParamsVals;

// Reads page TIFF_ImageIndex of the TIFF at Stream (SubIFD TIFF_SubIndex,
// tile TIFF_GetTile) into Bitmap, AlphaChannel and IOParams; numi receives
// the number of pages of the chain. Damage and refusals set
// *Progress.Aborting; nothing is raised for a bad file.
//   Preview        fill the parameters only
//   AlphaChannel   an existing mask, or null: the reader may create one
//   TranslateBase  offsets are relative to the stream's position (else
//                  they are absolute stream positions)
//   IgnoreAlpha    never fill a mask
//   ProvidedHeader a header the caller has already read, or null
//   IsExifThumb    the page is an EXIF thumbnail: read without size tags,
//                  refused above 400 pixels either way, cleared to black first
//   IsEXIFData     the stream is an EXIF block: a page without an EXIF
//                  directory has its EXIF tags read from the main directory
void VXReadTIFFStream(TVXBitmap* Bitmap, TStream* Stream, int32_t& numi, TIOParamsVals& IOParams,
                      TProgressRec& Progress, bool Preview, std::unique_ptr<TVXMask>& AlphaChannel,
                      bool TranslateBase, bool IgnoreAlpha, const TTIFFHeader* ProvidedHeader = nullptr,
                      bool IsExifThumb = false, bool IsEXIFData = false);

// Number of pages (directories) of the TIFF at the stream's position; 0 when
// its header is refused. The position is restored.
int32_t VXGetTIFFStreamPageCount(TStream* Stream);

// The state of one page read: the tags that drive decoding, the tables, the
// directory readers and what is being filled.
class TTIFFReaderContext {
 public:
  TTIFFReaderContext() = default;
  TTIFFReaderContext(const TTIFFReaderContext&) = delete;
  TTIFFReaderContext& operator=(const TTIFFReaderContext&) = delete;

  int32_t ImageWidth = 0, ImageHeight = 0, SamplesPerPixel = 1, BitsPerSample = 1, RowsPerStrip = 0;
  int32_t TileWidth = -1, TileLength = -1;
  uint16_t PhotometricInterpretation = 2, PlanarConfiguration = 1, Orientation = 1, Compression = 1,
           SampleFormat = 1;
  std::vector<int64_t> StripOffsets, StripByteCounts, TileOffsets, TileByteCounts;
  std::vector<TRGB> ColorMap;  // at least 256 entries once read; missing ones black
  int32_t ColorMapEntries = 0;  // entries the file gave
  TTIFFRGBArray TransferFunction;
  int32_t Predictor = 1;
  std::vector<uint8_t> JPEGTables;
  int32_t T4Options = 0, T6Options = 0, FillOrder = 1;
  std::string Software;
  int32_t YCbCrSubSampling[2] = {2, 2};
  int32_t JPEGProc = 0, JPEGInterchangeFormat = 0, JPEGInterchangeFormatLength = 0, JPEGRestartInterval = 0;
  int32_t JPEGLosslessPredictors[7] = {}, JPEGPointTransforms[7] = {}, JPEGQTables[7] = {}, JPEGDCTables[7] = {},
          JPEGACTables[7] = {};
  TTIFFLZWDecompFunc LZWDecompFunc = nullptr;
  bool LittleEndian = true;
  TIOParamsVals* RefParams = nullptr;
  TVXMask* AlphaChannel = nullptr;
  bool IgnoreAlpha = false;
  int32_t ExtraSamples = 0, ExtraSamplesCount = 0;
  int32_t ExtraSamplesVal[10] = {};
  TVXTIFFIFDReader MainIFD, ExifIFD, GpsIFD, InteropIFD;

  void ReadStream(TVXBitmap* Bitmap, TStream* Stream, int32_t& numi, TIOParamsVals& IOParams,
                  TProgressRec& Progress, bool Preview, std::unique_ptr<TVXMask>& Alpha, bool TranslateBase,
                  bool IgnoreAlphaFlag, const TTIFFHeader* ProvidedHeader, bool IsExifThumb = false,
                  bool IsEXIFData = false);

  // Decodes Rows rows of Width pixels from Length bytes at Buffer (zero-padded
  // by the caller to at least Rows x the row bytes) into rows StartRow.. of the
  // bitmap, starting at pixel column XPixel. Pixels beyond the image are
  // dropped.
  void DecodeRows(TVXBitmap* Bitmap, int32_t StartRow, int32_t XPixel, uint8_t* Buffer, int64_t Length,
                  int32_t Width, int32_t Rows, TProgressRec& Progress);
  // The planar twin: one strip row of every plane.
  void DecodePlanarRows(TProgressRec& Progress, int32_t Rows, int32_t Width, const int64_t* PlaneSizes,
                        uint8_t* const* Planes, TVXBitmap* Bitmap, int32_t StartRow);
  void UndoPredictor(uint8_t* Row, int32_t Width, bool SingleSample) const;

  // Bytes of one decoded row of Width pixels (SamplesPerPixel samples each,
  // or one for a plane row), as the file stores it.
  int64_t RowBytes(int32_t Width, bool Planar) const;
  // True when a row rule converts this page (chunky rows).
  bool HasRowRule() const;

  // Progress over the page's rows (per1) or strips and tiles (per2);
  // Blocks: the number of strips or tiles of the page.
  int64_t Blocks = 0;
  double per1 = 0, per2 = 0;
  int64_t val = 0;
  int32_t lastReported = -1;
  void AdvanceProgress(TProgressRec& Progress);
  // A buffer of at least Bytes for plane Plane's inflated strip, kept from
  // strip to strip.
  uint8_t* BlockBuffer(int32_t Plane, int64_t Bytes);

 private:
  std::vector<std::unique_ptr<uint8_t[]>> fBlockBuffers;
  std::vector<int64_t> fBlockSizes;
  void ConvertRow(uint8_t* Src, uint8_t* Dest, int32_t Width, int32_t ImageRow, int32_t ImageCol,
                  TVXBitmap* Bitmap);
  void SetAlpha(int32_t x, int32_t y, uint8_t a);
};

// Tag readers of the main directory.
// BitsPerSample 258: absent 1; the last value, and false when the values differ.
bool VXReadTIFFBitsPerSample(const TVXTIFFIFDReader& Reader, int32_t& BitsPerSample);
void VXReadTIFFColorMap(const TVXTIFFIFDReader& Reader, TTIFFReaderContext& Context);
void VXReadTIFFExtraSamples(const TVXTIFFIFDReader& Reader, TTIFFReaderContext& Context);
void VXReadTIFFTransferFunction(const TVXTIFFIFDReader& Reader, TTIFFReaderContext& Context);
void VXReadTIFFIPTC(const TVXTIFFIFDReader& Reader, TIOParamsVals& Params);
void VXReadTIFFXMP(const TVXTIFFIFDReader& Reader, TIOParamsVals& Params);
void VXReadTIFFICC(const TVXTIFFIFDReader& Reader, TIOParamsVals& Params);
void VXReadTIFFImagingAnnot(const TVXTIFFIFDReader& Reader, TIOParamsVals& Params);
void VXReadTIFFObjectsTag(const TVXTIFFIFDReader& Reader, TIOParamsVals& Params);

// The page decoders (tiff_strips.cpp).
void VXReadTIFFStrips(TVXTIFFIFDReader& Reader, TTIFFReaderContext& Context, TVXBitmap* Bitmap,
                      TProgressRec& Progress);
void VXReadTIFFTiles(TVXTIFFIFDReader& Reader, TTIFFReaderContext& Context, TVXBitmap* Bitmap,
                     TProgressRec& Progress);
void VXReadTIFFOldJpeg(TVXTIFFIFDReader& Reader, TTIFFReaderContext& Context, TVXBitmap* Bitmap,
                       TProgressRec& Progress);

// Decodes one JPEG strip or tile (compression 7) through the JPEG reader and
// copies it to row StartRow, pixel column XPixel of the bitmap. WholePage:
// the page has this one block, which then reports the caller's progress.
bool VXDecodeTIFFJpegBlock(TTIFFReaderContext& Context, TVXBitmap* Bitmap, int32_t StartRow, int32_t XPixel,
                           const uint8_t* Buffer, int64_t Length, TProgressRec& Progress, bool WholePage);

// The per-strip decoder state of DecompressTIFFStrip.
struct TTIFFStripState {
  const uint8_t* Src = nullptr;   // the strip's first byte
  int64_t SrcSize = 0;            // its byte count
  int64_t Consumed = 0;           // bytes used (uncompressed, MH, PackBits)
  int64_t BitPos = 0;             // T.4 / T.6 bit position
  std::vector<uint8_t> RefRow;    // two-dimensional CCITT reference row
  std::vector<int32_t> RefRuns;   // and its runs, zero-length ones kept
  void* LZWId = nullptr;          // LZW decoder state
  // The whole strip inflated (Deflate), ZSize bytes of a buffer the
  // context lends.
  uint8_t* ZBuffer = nullptr;
  int64_t ZSize = 0;
  bool Inflated = false;
  // Rows of 8 bits per sample and more may stay where they were inflated:
  // Out is then the row inside ZBuffer, else Row.
  bool Direct = false;
  uint8_t* Out = nullptr;
  TTIFFLZWDecompFunc LZW = nullptr;
  ~TTIFFStripState();
};

// Produces row RowIndex of the current strip in Row (RowBytes bytes, then
// unpacked to one byte per sample for depths below 8), or with State.Direct
// possibly in the inflate buffer; State.Out tells where. Only the first
// UnpackBytes bytes of the row are unpacked when they are fewer (the pixels
// a tile has inside the image). False only when the LZW decoder fails.
bool DecompressTIFFStrip(int32_t RowIndex, uint8_t* Row, TTIFFStripState& State, int64_t RowBytes, int32_t Width,
                         const TTIFFReaderContext& Context, int64_t UnpackBytes = INT64_MAX);

// Expands a PackBits row: bytes from Src (Consumed onward, at most SrcSize)
// until RowBytes are out; -128 is skipped and output beyond RowBytes dropped.
void VXTIFFUnpackBits(const uint8_t* Src, int64_t SrcSize, int64_t& Consumed, uint8_t* Row, int64_t RowBytes);
