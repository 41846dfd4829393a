// EXIF data as TIFF structures: the EXIF, GPS and interoperability
// directories read into and written from the I/O parameters (exif_tags.cpp),
// and the EXIF blocks of JPEG files and of TIFF structures inside other files
// (exif_block.cpp). The I/O component and the JPEG codec reach the block
// functions through the hooks of io/exif.h, which VXFormatsStartup fills.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/tiffifd.h"

class TStream;
class TIOParamsVals;
class TVXTagsHandler;

// ---- Tags (exif_tags.cpp) ---------------------------------------------------

// Fills the EXIF fields of the parameters from the page's main directory and
// its EXIF, GPS and interoperability directories (an empty reader gives the
// defaults), then normalises the GPS coordinates.
void VXReadEXIFTags(const TVXTIFFIFDReader& Main, const TVXTIFFIFDReader& Exif, const TVXTIFFIFDReader& Gps,
                    const TVXTIFFIFDReader& Interop, TIOParamsVals& Params);
// UserComment 37510 of the EXIF directory: the 8-byte code and the text.
void VXReadEXIFUserComment(const TVXTIFFIFDReader& Exif, TIOParamsVals& Params);
// The maker note of tag Tag into Handler (cleared when there is none).
void VXLoadTagsHandlerFromTag(const TVXTIFFIFDReader& Reader, uint16_t Tag, TVXTagsHandler& Handler);

// "2.2.0.0" of the bytes 2, 2, 0, 0 (empty bytes count as those four).
std::string VXGPSVersionToStr(const std::string& Bytes);
// The four bytes of a dotted version text.
std::string VXStrToGPSVersion(const std::string& Text);

// The main-directory tags of the EXIF set, then the EXIF directory (and the
// GPS directory when EXIF_GPSVersionID is set), whose values go to Stream.
void VXWriteEXIFTags(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting);
void VXWriteEXIFGPSIFD(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting);
void VXWriteEXIFInteropIFD(TVXTIFFIFDWriter& ExifWriter, TStream* DataStream, TIOParamsVals& Params,
                           bool& Aborting);
void VXWriteEXIFUserComment(TVXTIFFIFDWriter& Writer, TStream* Stream, const std::string& Code, bool& Aborting,
                            const std::string& Text);
void VXWriteTIFFMakerNote(TVXTIFFIFDWriter& Writer, TStream* Stream, uint16_t Tag, bool& Aborting,
                          TVXTagsHandler& Handler);

// ---- Blocks (exif_block.cpp) -------------------------------------------------

// The EXIF block of the parameters: an optional "Exif", 0, 0 header, a
// tags-only TIFF page and, with a thumbnail, an old-style JPEG page 1.
std::vector<uint8_t> VXSaveEXIFBlock(TIOParamsVals& Params, bool WithHeader);
// Loads an "Exif" block (header included) into the parameters and its
// thumbnail into EXIF_Bitmap. False for a block that is no EXIF block or is
// shorter than 14 bytes.
bool VXLoadEXIFBlock(const void* Data, int64_t Length, TIOParamsVals& Params);
// The EXIF data of the TIFF at the stream's position (restored), with the
// smaller non-black page of the first two as the thumbnail; with WithXMP
// also the XMP packet. Always true.
bool VXLoadEXIFFromTIFFStream(TStream* Stream, TIOParamsVals& Params, bool WithXMP);
// The parameters of the TIFF at the stream's position (restored). Always true.
bool VXLoadTIFFParamsFromStream(TStream* Stream, TIOParamsVals& Params);
// A new one-page TIFF of the parameters' tags at the stream's position: no
// bitmap and no thumbnail. False when the writer failed.
bool VXWriteTIFFTagsPage(TStream* Stream, TIOParamsVals& Params);
// Offset from the stream's position of the first plausible TIFF header within
// 0x20000 bytes, or -1; the position is restored.
int64_t VXFindTIFFHeader(TStream* Stream);
// The 16-bit count at Position is non-zero and below 0x8000.
bool VXIsPlausibleIFDCount(TStream* Stream, int64_t Position, bool BigEndian);
