// The format library's entry in the I/O module's start-up, linked into every
// program that uses the library (see codecs/register.cpp).
#include "formats/formats_module.h"
#include "io/codec_table.h"

namespace {

const bool registered = (VXAddCodecModule(&VXFormatsStartup, &VXFormatsShutdown), true);

}  // namespace
