// The codecs as the I/O component sees them: per file type, the operations a
// codec fills in when its module starts. The I/O component calls a codec only
// through these records, so that it needs no codec header and the codecs can
// live in a library above it.
#pragma once

#include <cstdint>

#include "core/startup.h"
#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TVXMask;
class TIOParamsVals;

struct TVXCodecOps {
  // Decodes one image at the stream's position into Bitmap and the parameters;
  // with Preview only the parameters. Damage sets *Progress.Aborting.
  void (*ReadStream)(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool Preview) = nullptr;
  // Encodes Bitmap at the stream's position; Mask (may be nullptr) carries the
  // alpha channel.
  void (*WriteStream)(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                      TVXMask* Mask) = nullptr;
  // True when the stream holds this format at its position (position restored).
  bool (*IsStream)(TStream* Stream) = nullptr;
};

// Stores the operations of FileType (replacing earlier ones).
void VXSetCodecOps(int32_t FileType, const TVXCodecOps& Ops);
// The operations of FileType, or nullptr when no codec has registered it.
const TVXCodecOps* VXFindCodecOps(int32_t FileType);
// Forgets every codec's operations (I/O shut-down).
void VXClearCodecOps();

// Adds a codec module's start-up and shut-down. Codec libraries call this from
// a static initializer of an object that is always linked; the I/O module's
// start-up runs the start-ups in the order they were added, after its own
// work, and its shut-down runs the shut-downs in reverse order before its own.
void VXAddCodecModule(TVXHookProc Startup, TVXHookProc Shutdown);
// Runs the added start-ups, or the shut-downs in reverse (the I/O module).
void VXStartCodecModules();
void VXStopCodecModules();
