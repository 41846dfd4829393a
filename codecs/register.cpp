// The codec library's entry in the I/O module's start-up. This object is
// linked into every program that uses the codecs (not only pulled from the
// archive on demand), so the codecs are there once the library has started.
#include "codecs/ccitt.h"
#include "codecs/codecs_module.h"
#include "core/startup.h"
#include "io/codec_table.h"

namespace {

const bool registered = (VXAddCodecModule(&VXCodecsStartup, &VXCodecsShutdown), true);
// The CCITT decode trees live from the library's start-up to its shut-down.
const bool ccittRegistered = (VXLibraryHooks.CCITTStartup = &VXCreateCCITTDecodeTrees,
                              VXLibraryHooks.CCITTShutdown = &VXFreeCCITTDecodeTrees, true);

}  // namespace
