// TIFF writing: one bitmap as one page of a little-endian classic TIFF, as a
// new file or inserted into the page chain of an existing one, and tags-only
// pages (no bitmap) whose values follow their directory.
//
// tiff_write.cpp holds the frame (the page description, the chain, the tags
// and the directory), tiff_strips_write.cpp the strips: row building and the
// codecs that compress them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/pixels.h"
#include "core/settings.h"
#include "core/vxdefs.h"
#include "io/params_formats.h"
#include "io/tiffifd.h"

class TStream;
class TVXBitmap;
class TVXQuantizer;
class TIOParamsVals;

// The state of one page written.
class TTIFFWriterContext {
 public:
  TTIFFWriterContext();
  ~TTIFFWriterContext();
  TTIFFWriterContext(const TTIFFWriterContext&) = delete;
  TTIFFWriterContext& operator=(const TTIFFWriterContext&) = delete;

  TTIFFLZWCompFunc LZWCompFunc = nullptr;
  int32_t Compression = 1;  // the tag's value
  int32_t T4Options = 0;
  int32_t FillOrder = 1;
  TIOTIFFPhotometInterpret Photomet = ioTIFF_RGB;
  int32_t Predictor = 1;
  std::unique_ptr<TVXQuantizer> qt;
  std::vector<TRGB> Palette;  // the quantiser's 256 entries
  int32_t BitsPerSample = 8;
  int32_t jpegquality = 80;
  TIOJPEGColorspace jpegcolorspace = ioJPEG_YCbCr;
  TIOParamsVals* RefParams = nullptr;
  bool hasalpha = false;  // set by the strip writer
};

// Writes Bitmap (or, with nullptr, a tags-only page) at the stream's
// position as a new one-page TIFF, or, with InsertMode, into the TIFF the
// stream holds from its position as page TIFF_ImageIndex (an index past the
// last page appends). Returns the page count of the result: 1 for a new
// file, 0 when refused. Failures set *Progress.Aborting. The page
// description of IOParams (samples, bits, photometric, compression) is
// normalised in place to what was written.
int32_t VXWriteTIFFStream(TStream* Stream, bool InsertMode, TVXBitmap* Bitmap, TProgressRec& Progress,
                          TIOParamsVals& IOParams);

// Adds Delta to the out-of-line offsets of the classic little- or big-endian
// directory at IFDPosition of Stream, and to those of its maker note and its
// EXIF, GPS and interoperability directories, which lie in DataStream at the
// offsets the entries hold before the shift.
void VXRelocateTIFFIFD(TStream* Stream, TStream* DataStream, bool LittleEndian, int64_t Delta, int64_t IFDPosition);

// The metadata tags of a page: their values go to Stream, their entries to
// Writer. Nothing is added for empty metadata.
void VXWriteTIFFIPTC(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting);
void VXWriteTIFFXMP(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting);
void VXWriteTIFFICC(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting);
void VXWriteTIFFImagingAnnot(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting);
void VXWriteTIFFObjectsTag(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting);

// The strips of a page (tiff_strips_write.cpp): rows built from Bitmap as the
// context says, compressed, and the tags RowsPerStrip, StripOffsets and
// StripByteCounts added.
void VXWriteTIFFStrips(TStream* Stream, TVXBitmap* Bitmap, TVXTIFFIFDWriter& Writer, TProgressRec& Progress,
                       TTIFFWriterContext& Context);
// The one strip of a compression-7 page: the bitmap as one JPEG.
void VXWriteTIFFJpegStrip(TStream* Stream, TVXBitmap* Bitmap, TTIFFWriterContext& Context, TProgressRec& Progress);
// A compression-6 page: the JPEG and its tags.
void VXWriteTIFFOldJpeg(TStream* Stream, TVXBitmap* Bitmap, TVXTIFFIFDWriter& Writer, TProgressRec& Progress,
                        TTIFFWriterContext& Context);
// PackBits of one row of Length bytes.
void VXPackBitsEncodeRow(const uint8_t* Row, int32_t Length, TStream* Stream, bool& Aborting);
