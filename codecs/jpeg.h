// JPEG codec over libjpeg (interface 62): the stream boundary, the decoder and
// encoder, the start-of-image search, the length of an embedded JPEG, and the
// marker-level tools that need no decoding (IPTC injection, ICC profile
// chunks).
#pragma once

#include <cstdint>
#include <string>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;
class TVXIPTCInfoList;

// Raised for a codec error while writing (and by the boundary for any fatal
// codec error), with the codec's message text.
class EVXJpegException : public EVXException {
 public:
  using EVXException::EVXException;
};

// The text of a libjpeg message code: placeholders appear as "?", codes 73
// and 74 are empty, codes outside 0..123 read "Corrupted".
std::string VXJpegMessageText(int32_t Code);

// Decodes the JPEG at the stream's position (after up to 149 other bytes) into
// Bitmap and the parameters; returns the rows decoded. Damage sets
// *Progress.Aborting; no codec error leaves as an exception.
//   TablesStream   abbreviated tables read first (may be nullptr)
//   ParamsOnly     stop after the header, leaving the bitmap alone
//   RawColor       keep YCbCr samples, and RGB samples in file order
//   LoadMetadata   take IPTC, XMP and annotations from the markers
//   InvertCMYK     invert CMYK samples before converting them to RGB
//   ReleaseProfile convert through the embedded profile and drop it
//   ReadICCProfile read the embedded profile first
//   MaxRows        rows to decode at most, -1 for all
//   NativeFormat   grey as vx8g and CMYK as vxCMYK instead of vx24RGB
int32_t VXReadJpegStream(TStream* Stream, TStream* TablesStream, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                         TProgressRec& Progress, bool ParamsOnly, bool RawColor, bool LoadMetadata, bool InvertCMYK,
                         bool ReleaseProfile, bool ReadICCProfile, int32_t MaxRows, bool NativeFormat);

// Encodes Bitmap with the JPEG options of the parameters and writes back the
// kept markers. Codec errors raise EVXJpegException; an empty bitmap or a
// stream that takes fewer bytes sets *Progress.Aborting.
void VXWriteJpegStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);

// Byte length of the JPEG starting at the stream's position, up to and
// including its end-of-image marker (or up to the end of the stream); the
// position is restored.
int64_t VXGetJpegStreamLength(TStream* Stream);

// Copies the JPEG from InputStream to OutputStream with the IPTC records in an
// APP13 "Photoshop 3.0" segment (replacing an old one; none for an empty list).
// False when the copy stopped at a marker it does not understand, or when the
// records do not fit one segment (nothing is written then).
bool VXInjectJpegIPTC(TStream* InputStream, TStream* OutputStream, const TVXIPTCInfoList& IPTC,
                      TProgressRec& Progress);

// Copies the JPEG from InputStream to OutputStream with the EXIF block of the
// parameters in an APP1 segment after the first APP0 (or APP1), dropping old
// "Exif" APP1 segments; no block when the parameters hold no EXIF data. False
// when the copy stopped at a marker it does not understand, when the file has
// neither APP0 nor APP1, or when the block does not fit one segment (nothing
// is written then). Raises EVXException without the formats library.
bool VXInjectJpegEXIF(TStream* InputStream, TStream* OutputStream, TIOParamsVals& IOParams, TProgressRec& Progress);

// Loads the parameters' input profile from the APP2 "ICC_PROFILE" chunks of
// the JPEG at the stream's position; the position is restored.
void VXReadJpegICCProfile(TStream* Stream, TIOParamsVals& IOParams);

// Replaces the APP2 markers of the parameters' marker list by the chunks of
// the input profile (32,000 profile bytes each). Raises EVXJpegException when
// the profile needs more than 255 chunks.
void VXBuildJpegICCMarkers(TIOParamsVals& IOParams);
