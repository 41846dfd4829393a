// The file-format registry: the list of image file formats the library knows,
// kept in the settings (FileFormats()), with the lookups, filters and content
// detection built on it.
#pragma once

#include <cstdint>
#include <string>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// Pages of the parameters dialog, as set masks.
using TPreviewParams = uint32_t;
constexpr TPreviewParams ppALL = 1;
constexpr TPreviewParams ppAUTO = 2;
constexpr TPreviewParams ppJPEG = 4;
constexpr TPreviewParams ppTIFF = 8;
constexpr TPreviewParams ppGIF = 16;
constexpr TPreviewParams ppBMP = 32;
constexpr TPreviewParams ppPCX = 64;
constexpr TPreviewParams ppPNG = 128;
constexpr TPreviewParams ppTGA = 256;
constexpr TPreviewParams ppJ2000 = 512;

using TVXReadImageStream = void (*)(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                                    TProgressRec& Progress, bool Preview);
using TVXWriteImageStream = void (*)(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                                     TProgressRec& Progress);
using TVXTryImageStream = bool (*)(TStream* Stream, int32_t TryingFormat);

// The functions of the built-in entries only mark a capability: reading and
// writing do nothing, trying answers false. The component's own per-format
// operations handle those types.
void VXReadPlaceholder(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                       bool Preview);
void VXWritePlaceholder(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);
bool VXTryPlaceholder(TStream* Stream, int32_t TryingFormat);

// One registry entry.
class TVXFileFormatInfo {
 public:
  TVXFileFormatInfo() = default;
  TVXFileFormatInfo(int32_t aFileType, const std::string& aFullName, const std::string& aExtensions,
                    const std::string& aSuitableExtension, bool aInternalFormat, TPreviewParams aDialogPage,
                    TVXReadImageStream aReadFunction, TVXWriteImageStream aWriteFunction,
                    TVXTryImageStream aTryFunction)
      : FileType(aFileType),
        FullName(aFullName),
        Extensions(aExtensions),
        SuitableExtension(aSuitableExtension),
        InternalFormat(aInternalFormat),
        DialogPage(aDialogPage),
        ReadFunction(aReadFunction),
        WriteFunction(aWriteFunction),
        TryFunction(aTryFunction) {}

  int32_t FileType = 0;
  std::string FullName;
  std::string Extensions;         // upper case, without dot, separated by ";"
  std::string SuitableExtension;  // proposed when saving
  bool InternalFormat = false;    // true: the component's own operations handle the type
  TPreviewParams DialogPage = 0;
  TVXReadImageStream ReadFunction = nullptr;    // nullptr: cannot be read
  TVXWriteImageStream WriteFunction = nullptr;  // nullptr: cannot be written
  TVXTryImageStream TryFunction = nullptr;
};

// ---- lookups (never raise) ----
// The entry of FileType; nullptr for 0, an empty registry or no such entry.
TVXFileFormatInfo* VXFindFileFormatInfo(int32_t FileType);
// The first entry with the extension Ext (one leading "." dropped, case ignored).
TVXFileFormatInfo* VXFindFileFormatInfoByExtension(const std::string& Ext);
int32_t VXGetFileFormatExtensionCount(int32_t FileType);
// The Index-th extension (from 0) of the type, as registered; empty when none.
std::string VXGetFileFormatExtension(int32_t FileType, int32_t Index);
// "*.ext1;*.ext2" in lower case; empty without extensions.
std::string VXGetFileFormatFilter(int32_t FileType);
// The filters of every entry that has extensions and can be read (ForReading)
// or written (ForWriting), joined by ";", with the video extensions when
// IncludeVideo.
std::string VXGetAllFileFormatsFilter(bool ForReading, bool ForWriting, bool IncludeVideo);
// True for the video extensions when AllowVideo; otherwise true when an entry
// with a read function has the file name's extension.
bool VXIsReadableExtension(const std::string& FileName, bool AllowVideo);

// ---- registration ----
// Appends Info; the registry owns it from then on. An empty SuitableExtension
// becomes the first of its Extensions.
void VXRegisterFileFormat(TVXFileFormatInfo* Info);
// Removes and frees the entry of FileType; nothing when there is none.
void VXUnregisterFileFormat(int32_t FileType);
// The GIF entry can read when the settings hold the GIF LZW decoder, write
// when they hold the encoder.
void VXUpdateGIFFileFormat();
// Builds the registry with the built-in entries (I/O start-up).
void VXRegisterBuiltInFileFormats();
// Frees every entry and empties the settings' list (I/O shut-down).
void VXFreeFileFormats();

// ---- content detection (never raise) ----
// The file type the stream holds at its position, 0 when unknown. The
// position is the same afterwards.
int32_t VXFindStreamFormat(TStream* Stream);
// The file type of the file, from its content and its extension; with Verify
// the extension must agree with the content. 0 when unknown or missing.
int32_t VXFindFileFormat(const std::string& FileName, bool Verify);
