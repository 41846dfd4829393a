// EXIF blocks: the bytes as an APP1 payload and, behind an "Exif" header, as
// a TIFF structure; loaded, written again from the parameters and loaded back;
// the TIFF header search and the TIFF-stream loaders on the same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"
#include "formats/exif.h"
#include "fuzz_library.h"
#include "io/params.h"

namespace {

void Load(const uint8_t* data, size_t size) {
  TIOParamsVals params;
  if (!VXLoadEXIFBlock(data, int64_t(size), params)) return;
  const std::vector<uint8_t> again = VXSaveEXIFBlock(params, true);
  TIOParamsVals back;
  VXLoadEXIFBlock(again.data(), int64_t(again.size()), back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Thumbnails and TIFF pages stay within 64 K pixels.
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  Load(data, size);
  std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
  block.insert(block.end(), data, data + size);
  Load(block.data(), block.size());
  TVXMemStream in(data, int64_t(size));
  (void)VXFindTIFFHeader(&in);
  TIOParamsVals params;
  VXLoadEXIFFromTIFFStream(&in, params, true);
  TIOParamsVals tiff;
  VXLoadTIFFParamsFromStream(&in, tiff);
  return 0;
}
