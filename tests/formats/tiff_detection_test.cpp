// Detection through the TIFF probes: the TIFF reader's record (formats/)
// and the camera-raw and HD Photo records of the codec library.
#include <gtest/gtest.h>

#include "core/streams.h"
#include "io/fileformats.h"
#include "tests/io/tiff_test_util.h"

using namespace tifftest;

namespace {

std::string RawIFD(uint16_t width, uint16_t height, std::vector<TEntry> extra) {
  std::vector<TEntry> e = {{256, 3, {width}}, {257, 3, {height}}};
  e.insert(e.end(), extra.begin(), extra.end());
  TBuilder b(true);
  b.AddIFD(e);
  return b.data;
}

}  // namespace

TEST(TIFFDetection, TIFFRawTIFFAndHDPhotoContent) {
  TBuilder tiff(true);
  tiff.AddIFD({{256, 3, {16}}, {257, 3, {8}}, {258, 3, {8}}});
  TBuilder hd(true);
  hd.AddIFD({{48129, 3, {1}}, {48256, 4, {16}}, {48257, 4, {16}}, {48320, 4, {200}}, {48321, 4, {10}}});
  std::string raw = RawIFD(160, 120, {{330, 4, {8}}, {37398, 1, {1, 0, 0, 0}}});
  struct TCase {
    const char* name;
    std::string bytes;
    int32_t stream;                // VXFindStreamFormat
    const char* file;              // a name for VXFindFileFormat
    int32_t byName;
  } cases[] = {
      {"TIFF", tiff.data, 1, "page.tif", 1},
      {"TIFF named .cr2", tiff.data, 1, "photo.cr2", 20},
      {"raw TIFF", raw, 0, nullptr, 0},
      {"HD Photo named .cr2", hd.data, 29, "other.cr2", 29},
  };
  TRuntimeScratchDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TVXMemStream s(c.bytes.data(), int64_t(c.bytes.size()));
    EXPECT_EQ(VXFindStreamFormat(&s), c.stream);
    if (c.file) {
      WriteFile(dir.File(c.file), c.bytes);
      EXPECT_EQ(VXFindFileFormat(dir.File(c.file), false), c.byName);
    }
  }
}
