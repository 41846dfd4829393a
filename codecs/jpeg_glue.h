// The layer between the JPEG codec and the library (used by the reader and
// the writer only): the error manager, which jumps back to the guarded call
// instead of returning into the codec, and the stream source and destination
// managers. No C++ exception passes through the codec's frames: the stream
// callbacks catch them, and a codec error unwinds by longjmp to the innermost
// JpegGuarded call, whose callable holds no object with a destructor.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

class TStream;

namespace vxjpeg {

// Message code of "Application transferred too few scanlines": the codec's
// complaint when a decompression is finished early. It is not fatal here.
constexpr int kTooFewScanlines = 67;

struct TErrorMgr {
  jpeg_error_mgr pub;
  bool* AbortFlag = nullptr;
  jmp_buf Jump;
  bool JumpSet = false;
  int LastError = 0;    // message code of the last fatal error
  int LastWarning = 0;  // message code of the last warning
};

// Fills Err for a structure about to be created (AbortFlag may be nullptr).
void InitErrorMgr(TErrorMgr& Err, bool* AbortFlag);

// Runs F (a call into the codec) with the error jump armed; false when the
// codec reported a fatal error (the abort flag is then set). F must not own
// objects with destructors while it calls the codec.
template <class F>
bool JpegGuarded(TErrorMgr& Err, F&& Call) {
  const bool outer = Err.JumpSet;
  jmp_buf saved;
  if (outer) std::memcpy(&saved, &Err.Jump, sizeof(jmp_buf));
  if (setjmp(Err.Jump) != 0) {
    if (outer) std::memcpy(&Err.Jump, &saved, sizeof(jmp_buf));
    Err.JumpSet = outer;
    return false;
  }
  Err.JumpSet = true;
  Call();
  if (outer) std::memcpy(&Err.Jump, &saved, sizeof(jmp_buf));
  Err.JumpSet = outer;
  return true;
}

// Source manager over a TStream (64 KB buffer). Attach again to read another
// stream with the same decompression structure.
struct TSourceMgr {
  jpeg_source_mgr pub;
  TStream* Stream = nullptr;
  bool StartOfFile = false;
  bool* AbortFlag = nullptr;
  JOCTET Buffer[65536];
};
void AttachSource(j_decompress_ptr Info, TSourceMgr& Src, TStream* Stream, bool* AbortFlag);

// Destination manager over a TStream (64 KB buffer).
struct TDestMgr {
  jpeg_destination_mgr pub;
  TStream* Stream = nullptr;
  bool* AbortFlag = nullptr;
  JOCTET Buffer[65536];
};
void AttachDest(j_compress_ptr Info, TDestMgr& Dest, TStream* Stream, bool* AbortFlag);

}  // namespace vxjpeg
