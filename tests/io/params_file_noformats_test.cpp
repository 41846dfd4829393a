// The binary parameter file in a program without the formats library: the
// EXIF block needs the TIFF module, so only a set without EXIF data goes
// through; and the file wrappers.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/streams.h"
#include "core/vxdefs.h"
#include "io/exif.h"
#include "io/params.h"
#include "tests/core/runtime_test_util.h"

namespace {

std::string Raise(const std::function<void()>& f) {
  try {
    f();
  } catch (const EVXException& e) {
    return e.what();
  }
  return "";
}

TEST(ParamsFileWithoutTIFF, EmptyBlockOnlyAndTheModulesMessageOtherwise) {
  ASSERT_EQ(VXTIFFParamsHooks().WriteTagsPage, nullptr);
  ASSERT_EQ(VXTIFFParamsHooks().ReadTIFFParams, nullptr);
  TIOParamsVals a;
  a.SetJPEG_Quality(42);
  a.SetFileName("caf\xC3\xA9 \xCE\xA9.jpg");  // "café Ω.jpg": Ω is outside Windows-1252
  TMemoryStream ms;
  a.SaveToStream(ms);
  const uint8_t* m = static_cast<const uint8_t*>(ms.Memory());
  // Version, the dictionary's wide text, then an empty block.
  const int32_t chars = m[4] | m[5] << 8;
  const size_t block = 8 + 2 * size_t(chars);
  EXPECT_EQ(m[block] | m[block + 1] | m[block + 2] | m[block + 3], 0);
  ms.SetPosition(0);
  TIOParamsVals b;
  b.LoadFromStream(ms);
  EXPECT_EQ(ms.Position(), ms.Size());
  EXPECT_EQ(b.JPEG_Quality(), 42);
  EXPECT_EQ(b.FileName(), "caf\xC3\xA9 ?.jpg");

  // A block with content cannot be read here.
  std::vector<uint8_t> bytes(m, m + ms.Size());
  bytes.insert(bytes.begin() + int64_t(block) + 4, {'I', 'I', 42, 0});
  bytes[block] = 4;
  TVXMemStream in(bytes.data(), int64_t(bytes.size()));
  TIOParamsVals c;
  EXPECT_EQ(Raise([&] { c.LoadFromStream(in); }), "EXIF blocks need the TIFF module");

  // Nor can EXIF data be written.
  a.SetEXIF_HasEXIFData(true);
  TMemoryStream out;
  EXPECT_EQ(Raise([&] { a.SaveToStream(out); }), "EXIF blocks need the TIFF module");
}

TEST(ParamsFileWithoutTIFF, FilesAndAFailedSaveKeepsTheOldFile) {
  TRuntimeScratchDir dir;
  const std::string f = dir.File("params.vxp");
  TIOParamsVals a;
  a.SetPNG_Compression(9);
  a.SaveToFile(f);
  TIOParamsVals b;
  b.LoadFromFile(f);
  EXPECT_EQ(b.PNG_Compression(), 9);
  const std::string before = RuntimeReadFile(f);

  a.SetPNG_Compression(3);
  a.SetEXIF_HasEXIFData(true);  // the save fails on the block
  EXPECT_EQ(Raise([&] { a.SaveToFile(f); }), "EXIF blocks need the TIFF module");
  EXPECT_EQ(RuntimeReadFile(f), before);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);

  EXPECT_THROW(b.LoadFromFile(dir.File("missing.vxp")), EVXException);
}

}  // namespace
