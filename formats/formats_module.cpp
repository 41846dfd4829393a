#include "formats/formats_module.h"

#include "io/codec_table.h"

// Each format adds its records here, one block per file type, in the style of
// codecs/codecs_module.cpp. The modules start in no fixed order and a record
// is replaced whole, so a file type belongs to one module: a format taking
// over a type the codec library registers moves that block here. A format
// that keeps state for the whole run frees it in VXFormatsShutdown.
void VXFormatsStartup() {}

void VXFormatsShutdown() {}
