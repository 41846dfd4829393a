// EXIF and GPS helpers shared by the I/O parameters and the codecs: the EXIF
// APP1 test, the EXIF date-time text form, GPS degree conversions and the
// copier of the EXIF fields between parameter objects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TIOParamsVals;
class TStream;

// True when the payload begins with "Exif" and a NUL (length checked).
bool VXIsEXIFBlock(const void* Data, int64_t Length);

// "yyyy:mm:dd hh:mm:ss" of a date-time (days since 30 December 1899); empty for 0.
std::string VXDateTimeToEXIFStr(double Value);
// The date-time of an EXIF date text; 0 when empty, blank, all zeros or invalid.
double VXEXIFStrToDateTime(const std::string& Text);

// Degrees + minutes / 60 + seconds / 3600, negated for the reference "S" or "W".
double VXGPSToDecimalDegrees(const std::string& Ref, double Degrees, double Minutes, double Seconds);
// Splits Value into reference letter (Letters[1] for Value >= 0, else
// Letters[0]; Letters is "SN" or "WE"), whole degrees, whole minutes and seconds.
void VXDecimalDegreesToGPS(const char* Letters, double& Degrees, double& Minutes, std::string& Ref,
                           double& Seconds, double Value);

// Copies every EXIF and GPS field, the EXIF tag list and, with CloneThumbnail,
// a copy of the EXIF thumbnail from Source to Target.
void VXCopyEXIFParams(const TIOParamsVals& Source, TIOParamsVals& Target, bool CloneThumbnail);

// EXIF blocks are TIFF structures, which the formats library reads and
// writes: its start-up fills these hooks.
using TVXSaveEXIFToBufferFunc = std::vector<uint8_t> (*)(TIOParamsVals& Params, bool WithHeader);
using TVXLoadEXIFFromBufferFunc = bool (*)(const void* Data, int64_t Length, TIOParamsVals& Params);
void VXSetEXIFBlockHooks(TVXSaveEXIFToBufferFunc Save, TVXLoadEXIFFromBufferFunc Load);

// The EXIF block of the parameters (with the "Exif", 0, 0 header when
// WithHeader); raises EVXException "EXIF blocks need the TIFF module" when no
// module has filled the hook.
std::vector<uint8_t> VXSaveEXIFToBuffer(TIOParamsVals& Params, bool WithHeader);
// Loads an "Exif" APP1 payload into the EXIF fields and the thumbnail of the
// parameters; false for anything else, and always without the hook.
bool VXLoadEXIFFromBuffer(const void* Data, int64_t Length, TIOParamsVals& Params);

// The TIFF side of the binary parameter file, filled by the formats library's
// start-up like the block hooks above.
struct TVXTIFFParamsHooks {
  // Writes a tags-only TIFF page of the parameters (no bitmap, no thumbnail)
  // at the stream's position; false when the writer failed.
  bool (*WriteTagsPage)(TStream* Stream, TIOParamsVals& Params) = nullptr;
  // Reads the parameters of page TIFF_ImageIndex of the TIFF at the stream's
  // position into Params (no bitmap); the position is restored.
  bool (*ReadTIFFParams)(TStream* Stream, TIOParamsVals& Params) = nullptr;
};
TVXTIFFParamsHooks& VXTIFFParamsHooks();
