// The format library's entry in the I/O module's start-up, linked into every
// program that uses the library (see codecs/register.cpp).
#include "core/startup.h"
#include "formats/formats_module.h"
#include "formats/magick_plugin.h"
#include "io/codec_table.h"

namespace {

const bool registered = (VXAddCodecModule(&VXFormatsStartup, &VXFormatsShutdown), true);
// The library's shut-down unloads ImageMagick when the plug-in loaded it.
const bool magickRegistered = (VXLibraryHooks.ImageMagickFinalize = &TVXMiscPluginsImageMagick::Finalize, true);

}  // namespace
