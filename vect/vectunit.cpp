#include "vect/vectunit.h"

#include <cstdint>

#include "io/codec_table.h"
#include "platform/win_clipboard.h"
#include "vect/extended.h"
#include "vect/vexlanevect.h"

namespace {

uint32_t gVectFormat = 0;
uint32_t gTextMemoFormat = 0;

}  // namespace

uint32_t VXVectClipboardFormat() { return gVectFormat; }
uint32_t VXTextMemoClipboardFormat() { return gTextMemoFormat; }

void StartUpVectUnit() {
  gVectFormat = RegisterClipboardFormatW("VEXLANE VECT");
  VXCreateExtendedObjectRegistry();
}

void ShutDownVectUnit() { VXFreeExtendedObjectRegistry(); }

void StartUpTextControlUnit() { gTextMemoFormat = RegisterClipboardFormatW("VEXLANE TEXTMEMO"); }

void ShutDownTextControlUnit() {}

// The probe of file type 25 for the I/O component's detection.
void VXVectCodecsStartup() {
  TVXCodecOps ops;
  if (const TVXCodecOps* old = VXFindCodecOps(25)) ops = *old;
  ops.IsStream = &VXIsVxvStream;
  VXSetCodecOps(25, ops);
}

void VXVectCodecsShutdown() {}
