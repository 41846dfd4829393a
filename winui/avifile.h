// The AVIFile and AVIStream calls of Video for Windows over our own RIFF AVI
// 1.0 reader and writer: files of the "RIFF AVI " form with "hdrl", "strl",
// "movi" and "idx1" (without an "idx1" the "movi" list is walked; the later
// RIFF parts of OpenDML files are not read).
//
// Frames are uncompressed device-independent bitmaps of 1, 4, 8, 16, 24 and
// 32 bits, with palette changes ("##pc" chunks) read and written, or
// Motion-JPEG, read and written through libjpeg. Files opened for reading are
// untrusted: every chunk, list, index entry and frame is checked against the
// file and the stream's format, and frame sizes against the window layer's
// pixel limit.
//
// A file opened for writing goes to a temporary file in the target's folder
// that replaces the target when the last reference to the file is released.
#pragma once

#include <cstdint>

#include "winui/win_types.h"
#include "winui/gdi.h"

struct VXAVIFile;
struct VXAVIStream;
struct VXAVIGetFrame;
using PAVIFILE = VXAVIFile*;
using PAVISTREAM = VXAVIStream*;
using PGETFRAME = VXAVIGetFrame*;

constexpr DWORD VXMakeFourCC(char a, char b, char c, char d) {
  return DWORD(uint8_t(a)) | DWORD(uint8_t(b)) << 8 | DWORD(uint8_t(c)) << 16 | DWORD(uint8_t(d)) << 24;
}
constexpr DWORD streamtypeVIDEO = VXMakeFourCC('v', 'i', 'd', 's');
constexpr DWORD streamtypeAUDIO = VXMakeFourCC('a', 'u', 'd', 's');

// Open modes.
constexpr UINT OF_READ = 0x0000;
constexpr UINT OF_WRITE = 0x0001;
constexpr UINT OF_CREATE = 0x1000;

// Sample flags of AVIStreamWrite and of the index.
constexpr DWORD AVIIF_KEYFRAME = 0x10;

// Stream information (the 204-byte record of the wide-character interface).
struct AVISTREAMINFOW {
  DWORD fccType;
  DWORD fccHandler;
  DWORD dwFlags;
  DWORD dwCaps;
  WORD wPriority;
  WORD wLanguage;
  DWORD dwScale;
  DWORD dwRate;  // dwRate / dwScale = samples per second
  DWORD dwStart;
  DWORD dwLength;
  DWORD dwInitialFrames;
  DWORD dwSuggestedBufferSize;
  DWORD dwQuality;
  DWORD dwSampleSize;
  RECT rcFrame;
  DWORD dwEditCount;
  DWORD dwFormatChangeCount;
  char16_t szName[64];
};
static_assert(sizeof(AVISTREAMINFOW) == 204, "the stream information record has 204 bytes");

// Compression options of one stream.
struct AVICOMPRESSOPTIONS {
  DWORD fccType;
  DWORD fccHandler;  // "DIB " or 0: full frames; "MJPG": Motion-JPEG
  DWORD dwKeyFrameEvery;
  DWORD dwQuality;  // 0 to 10000; (DWORD)-1: the compressor's default
  DWORD dwBytesPerSecond;
  DWORD dwFlags;
  LPVOID lpFormat;
  DWORD cbFormat;
  LPVOID lpParms;
  DWORD cbParms;
  DWORD dwInterleaveEvery;
};

constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT VXMakeAviErr(int Error) { return HRESULT(0x80044000u + uint32_t(Error)); }
constexpr HRESULT AVIERR_UNSUPPORTED = VXMakeAviErr(101);
constexpr HRESULT AVIERR_BADFORMAT = VXMakeAviErr(102);
constexpr HRESULT AVIERR_MEMORY = VXMakeAviErr(103);
constexpr HRESULT AVIERR_INTERNAL = VXMakeAviErr(104);
constexpr HRESULT AVIERR_BADFLAGS = VXMakeAviErr(105);
constexpr HRESULT AVIERR_BADPARAM = VXMakeAviErr(106);
constexpr HRESULT AVIERR_BADSIZE = VXMakeAviErr(107);
constexpr HRESULT AVIERR_BADHANDLE = VXMakeAviErr(108);
constexpr HRESULT AVIERR_FILEREAD = VXMakeAviErr(109);
constexpr HRESULT AVIERR_FILEWRITE = VXMakeAviErr(110);
constexpr HRESULT AVIERR_FILEOPEN = VXMakeAviErr(111);
constexpr HRESULT AVIERR_COMPRESSOR = VXMakeAviErr(112);
constexpr HRESULT AVIERR_NOCOMPRESSOR = VXMakeAviErr(113);
constexpr HRESULT AVIERR_READONLY = VXMakeAviErr(114);
constexpr HRESULT AVIERR_NODATA = VXMakeAviErr(115);
constexpr HRESULT AVIERR_BUFFERTOOSMALL = VXMakeAviErr(116);
constexpr HRESULT AVIERR_CANTCOMPRESS = VXMakeAviErr(117);
constexpr HRESULT AVIERR_USERABORT = VXMakeAviErr(198);
constexpr HRESULT AVIERR_ERROR = VXMakeAviErr(199);

void AVIFileInit();
void AVIFileExit();

// uMode OF_READ opens an existing file; OF_WRITE | OF_CREATE creates one.
// lpHandler must be nullptr.
HRESULT AVIFileOpenW(PAVIFILE* ppfile, LPCWSTR szFile, UINT uMode, const void* lpHandler);
// Reference counts: a stream holds its file, a compressed stream its source.
// Releasing the last reference to a file opened for writing finishes it.
ULONG AVIFileAddRef(PAVIFILE pfile);
ULONG AVIFileRelease(PAVIFILE pfile);
ULONG AVIStreamAddRef(PAVISTREAM pavi);
ULONG AVIStreamRelease(PAVISTREAM pavi);

// Stream lParam (counted from 0) of type fccType (0: of any type).
HRESULT AVIFileGetStream(PAVIFILE pfile, PAVISTREAM* ppavi, DWORD fccType, LONG lParam);
HRESULT AVIStreamInfoW(PAVISTREAM pavi, AVISTREAMINFOW* psi, LONG lSize);
// Frames in the stream (the dropped frames of the index included).
LONG AVIStreamLength(PAVISTREAM pavi);

// The frame decompressor of a video stream; lpbiWanted must be nullptr (the
// frames come as they are stored, Motion-JPEG as 24 bits). nullptr for a
// stream whose frames cannot be decoded.
PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM pavi, const BITMAPINFOHEADER* lpbiWanted);
// Frame lPos as a packed bottom-up DIB (header, colour table, bits), owned by
// the decompressor and valid until its next call; nullptr for a position out
// of range or a frame that is missing, damaged or does not fit its format. A
// dropped frame (an empty chunk) repeats the frame before it.
LPVOID AVIStreamGetFrame(PGETFRAME pg, LONG lPos);
HRESULT AVIStreamGetFrameClose(PGETFRAME pg);

// Writing: a stream of the file, then optionally a compressed stream over it.
HRESULT AVIFileCreateStreamW(PAVIFILE pfile, PAVISTREAM* ppavi, const AVISTREAMINFOW* psi);
// Handlers "DIB " and 0 write the frames as they are; "MJPG" writes
// Motion-JPEG at the options' quality (-1: 75 of 100); any other handler is
// AVIERR_NOCOMPRESSOR.
HRESULT AVIMakeCompressedStream(PAVISTREAM* ppsCompressed, PAVISTREAM ppsSource, const AVICOMPRESSOPTIONS* lpOptions,
                                const void* pclsidHandler);
// The frames' format: a BITMAPINFOHEADER and its colour table. The first call
// sets the format; later ones with a header of the same size write a palette
// change before frame lPos when the colour table differs, and refuse any
// other change (AVIERR_UNSUPPORTED).
HRESULT AVIStreamSetFormat(PAVISTREAM pavi, LONG lPos, const void* lpFormat, LONG cbFormat);
// Appends lSamples (1) frame at lStart (the stream's length, or -1). A frame
// that would take the file past 2 GiB is refused with AVIERR_FILEWRITE.
HRESULT AVIStreamWrite(PAVISTREAM pavi, LONG lStart, LONG lSamples, const void* lpBuffer, LONG cbBuffer,
                       DWORD dwFlags, LONG* plSampWritten, LONG* plBytesWritten);

// The compression options dialog: TRUE when the user chose a compressor (the
// records of plpOptions are filled), FALSE when cancelled. Headless, the
// answer is the one scripted through VXHeadless, cancel by default.
BOOL AVISaveOptions(HWND hwnd, UINT uiFlags, int nStreams, PAVISTREAM* ppavi, AVICOMPRESSOPTIONS** plpOptions);
HRESULT AVISaveOptionsFree(int nStreams, AVICOMPRESSOPTIONS** plpOptions);

namespace vxavi {
// The scripted answer of the next compression options dialogs (headless.h).
void SetSaveOptionsAnswer(bool OK, DWORD Handler, DWORD Quality);
// Open files and streams not yet released (for tests).
int LiveObjects();
}  // namespace vxavi
