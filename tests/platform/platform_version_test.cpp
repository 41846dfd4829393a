#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include <unistd.h>

#include "platform/win_version.h"

namespace {

TVersionBlockContents SampleContents() {
  TVersionBlockContents s;
  s.Fixed.dwFileVersionMS = 0x00010004;
  s.Fixed.dwFileVersionLS = 0x0000000C;
  s.Fixed.dwFileFlags = VS_FF_PRERELEASE;
  s.Strings = {{"ProductName", "Tarvello"}, {"FileVersion", "1.4.0.12"}, {"Comments", ""}, {"Mail", "ä@x"}};
  return s;
}

std::string QueryText(const std::vector<uint8_t>& Block, const std::string& Key) {
  const void* p = nullptr;
  uint32_t n = 0;
  if (!VerQueryValueW(Block.data(), Key, &p, &n)) return "<none>";
  return Utf16LeToUtf8(p, n);
}

}  // namespace

TEST(PlatformVersion, BlockLayoutAndQueries) {
  const auto b = BuildVersionInfoBlock(SampleContents());
  ASSERT_GE(b.size(), 92u);
  EXPECT_EQ(b[0] | (b[1] << 8), static_cast<int>(b.size()));  // wLength of the root
  EXPECT_EQ(b[2] | (b[3] << 8), 52);                          // fixed info size
  EXPECT_EQ(b.size() % 4, 0u);

  const void* p = nullptr;
  uint32_t n = 0;
  ASSERT_TRUE(VerQueryValueW(b.data(), "\\", &p, &n));
  EXPECT_EQ(n, 52u);
  const VS_FIXEDFILEINFO f = ReadFixedFileInfo(p);
  EXPECT_EQ(f.dwSignature, VS_FFI_SIGNATURE);
  EXPECT_EQ(f.dwFileVersionMS, 0x00010004u);
  EXPECT_EQ(f.dwFileVersionLS, 0x0000000Cu);
  EXPECT_EQ(f.dwFileFlags, static_cast<uint32_t>(VS_FF_PRERELEASE));
  EXPECT_EQ(static_cast<const uint8_t*>(p) - b.data(), 40);  // after the key "VS_VERSION_INFO" and padding

  ASSERT_TRUE(VerQueryValueW(b.data(), "\\VarFileInfo\\Translation", &p, &n));
  ASSERT_EQ(n, 4u);
  const uint8_t* t = static_cast<const uint8_t*>(p);
  EXPECT_EQ((std::vector<uint8_t>{t[0], t[1], t[2], t[3]}), (std::vector<uint8_t>{0x07, 0x04, 0xE4, 0x04}));

  EXPECT_EQ(QueryText(b, "\\StringFileInfo\\040704E4\\ProductName"), "Tarvello");
  EXPECT_EQ(QueryText(b, "\\stringfileinfo\\040704e4\\PRODUCTNAME"), "Tarvello");
  EXPECT_EQ(QueryText(b, "\\StringFileInfo\\040704E4\\Mail"), "ä@x");
  EXPECT_EQ(QueryText(b, "\\StringFileInfo\\040704E4\\Comments"), "");
  EXPECT_EQ(QueryText(b, "\\StringFileInfo\\040704E4\\LegalCopyright"), "<none>");
  EXPECT_EQ(QueryText(b, "\\StringFileInfo\\040904B0\\ProductName"), "<none>");
  ASSERT_TRUE(VerQueryValueW(b.data(), "\\StringFileInfo\\040704E4\\ProductName", &p, &n));
  EXPECT_EQ(n, 9u);  // characters with the terminating zero
}

TEST(PlatformVersion, DamagedBlocksAreRefusedQuietly) {
  const auto good = BuildVersionInfoBlock(SampleContents());
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    auto b = good;
    // the root length stays: the block's owner knows how much memory it holds
    for (int k = 0; k < 3; ++k) b[2 + rng() % (b.size() - 2)] = static_cast<uint8_t>(rng());
    const void* p = nullptr;
    uint32_t n = 0;
    for (const char* q : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040704E4\\ProductName"}) {
      if (VerQueryValueW(b.data(), q, &p, &n)) {
        const uint8_t* v = static_cast<const uint8_t*>(p);
        EXPECT_GE(v, b.data());
        EXPECT_LE(v + n, b.data() + b.size() + 0u) << q;
      }
    }
  }
}

TEST(PlatformVersion, SectionOfAnExecutableFile) {
  const std::string dir = std::string(VX_BINARY_DIR);
  const std::string prog = dir + "/tarvello";
  uint32_t handle = 99;
  const uint32_t size = GetFileVersionInfoSizeW(prog, &handle);
  EXPECT_EQ(handle, 0u);
  ASSERT_GT(size, 0u);
  std::vector<uint8_t> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(prog, 0, size, block.data()));
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040704E4\\ProductName"), "Tarvello");
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040704E4\\FileVersion"), "1.4.0.12");

  // files without the section, truncated and foreign files: size 0
  EXPECT_EQ(GetFileVersionInfoSizeW("/bin/true", nullptr), 0u);
  EXPECT_EQ(GetFileVersionInfoSizeW(dir + "/no-such-file", nullptr), 0u);
  EXPECT_EQ(GetFileVersionInfoSizeW(std::string(VX_SOURCE_DIR) + "/samples/icon.png", nullptr), 0u);
  std::ifstream in(prog, std::ios::binary | std::ios::ate);
  std::string whole(size_t(in.tellg()), '\0');
  in.seekg(0);
  ASSERT_TRUE(in.read(whole.data(), std::streamsize(whole.size())));
  const char* t = std::getenv("TMPDIR");
  std::string cutDir = std::string(t && *t ? t : "/tmp") + "/vx-version-XXXXXX";
  ASSERT_NE(mkdtemp(cutDir.data()), nullptr);
  const std::string cut = cutDir + "/cut.bin";
  for (size_t len : {size_t(0), size_t(16), size_t(64), size_t(4096), whole.size() / 2, whole.size() - 64}) {
    std::ofstream(cut, std::ios::binary).write(whole.data(), std::streamsize(len));
    EXPECT_EQ(GetFileVersionInfoSizeW(cut, nullptr), 0u) << len;
  }
  std::remove(cut.c_str());
  rmdir(cutDir.c_str());
}
