#pragma once
// The bitmap reads and writes itself through the I/O component, which lies
// above the core: the I/O library fills these hooks at start-up
// (io/register.cpp). Without it the bitmap's Read and Write raise.
//
// IOParams is the I/O component's TIOParamsVals, known here only by name;
// nullptr when the caller gives none. Each hook answers "not aborted".

#include <cstdint>
#include <string>

class TVXBitmap;
class TStream;
class TIOParamsVals;

struct TVXBitmapIOHooks {
  bool (*ReadFile)(TVXBitmap* Bitmap, const std::string& FileName, TIOParamsVals* IOParams) = nullptr;
  bool (*ReadStream)(TVXBitmap* Bitmap, TStream* Stream, int32_t FileType, TIOParamsVals* IOParams) = nullptr;
  bool (*ReadBuffer)(TVXBitmap* Bitmap, const void* Buffer, int32_t BufferSize, int32_t FileType,
                     TIOParamsVals* IOParams) = nullptr;
  bool (*WriteFile)(TVXBitmap* Bitmap, const std::string& FileName, TIOParamsVals* IOParams) = nullptr;
  bool (*WriteStream)(TVXBitmap* Bitmap, TStream* Stream, int32_t FileType, TIOParamsVals* IOParams) = nullptr;
};

extern constinit TVXBitmapIOHooks VXBitmapIOHooks;
