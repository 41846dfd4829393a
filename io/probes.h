// Header probes of content detection. Each looks at the stream from its
// position, never raises for short or unreadable streams (it answers false)
// and leaves the position where it was. Codecs use the same probes to check
// their input.
#pragma once

#include <cstdint>

class TStream;

// Icon / cursor directory: more than 22 bytes, reserved 0, type 1 (ICO) or
// 2 (CUR), a count above 0, and every entry with reserved byte 0, a data
// size above 0 and a data offset not before the end of that entry.
bool VXIsICOStream(TStream* Stream);
bool VXIsCURStream(TStream* Stream);
// "P1".."P6" followed by a positive width and height (comments skipped).
bool VXIsPXMStream(TStream* Stream);
// DCX magic 0x3ADE68B1 and a page-offset table whose offsets lie inside the stream.
bool VXIsDCXStream(TStream* Stream);
// A plausible 18-byte Targa header.
bool VXIsTGAStream(TStream* Stream);
// Windows metafile header, plain or behind a placeable header.
bool VXIsWMFStream(TStream* Stream);
// Enhanced metafile header record.
bool VXIsEMFStream(TStream* Stream);
// "DICM" 128 bytes after the position.
bool VXIsDicomStream(TStream* Stream);
// The JP2 signature box.
bool VXIsJP2Stream(TStream* Stream);
// A JPEG 2000 code stream: SOC then SIZ.
bool VXIsJ2KCodestream(TStream* Stream);
// A PSD or PSB header.
bool VXIsPSDStream(TStream* Stream);
// "RIFF", 4 bytes, "AVI ".
bool VXIsAVIStream(TStream* Stream);

// The probes of TIFF, HD Photo, camera raw, PNG and the library's own files
// belong to their codecs: detection reaches them through the codec records
// (IsStream, IsTIFFVariant of io/codec_table.h) and takes them as false while
// the codec has not registered.

// Start of a JPEG image (FF D8 FF) from the position P. Without Scan: 0 when
// it stands at P, else -1. With Scan: the absolute position of the first one
// at P .. P + 149, else -1. Bytes the stream cannot supply never match.
int64_t VXFindJpegSOI(TStream* Stream, bool Scan);
