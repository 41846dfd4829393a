// The I/O component's load of the shell's thumbnail of a file, through a
// test provider behind the shell port; the file type by content (the codecs'
// registry) or, for videos, by extension.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "winui/gdi.h"
#include "winui/win_shell.h"

namespace fs = std::filesystem;

namespace {

// 0x00RRGGBB of a vx24RGB pixel.
uint32_t At(const TVXBitmap& b, int x, int y) {
  const auto* p = static_cast<const uint8_t*>(b.Scanline(y)) + size_t(x) * 3;
  return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

// A bitmap of w x h whose pixel (x, y) is (x, y, 77).
HBITMAP Thumb(int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* p = static_cast<uint32_t*>(bits);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p[size_t(y) * size_t(w) + size_t(x)] = (uint32_t(x) << 16) | (uint32_t(y) << 8) | 77;
  return b;
}

class IOShellThumbnail : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vx_thumbs_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    // A real PNG (1 x 1, grey), known by its content.
    static const unsigned char kPng[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
        0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x3A, 0x7E, 0x9B,
        0x55, 0x00, 0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0x00,
        0x02, 0x00, 0x01, 0x48, 0xAF, 0xA4, 0x71, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE,
        0x42, 0x60, 0x82};
    std::ofstream(Path("real.png"), std::ios::binary).write(reinterpret_cast<const char*>(kPng), sizeof kPng);
    for (const char* n : {"clip.wmv", "movie.mpg", "narrow.wmv", "none.wmv"}) std::ofstream(Path(n)) << "not an image";
    VXSetShellThumbnailProvider([this](const std::string& Name, int w, int h) -> HBITMAP {
      asked_.push_back(Name);
      EXPECT_EQ(w, 64);
      EXPECT_EQ(h, 48);
      if (Name.find("none") != std::string::npos) return nullptr;
      if (Name.find("narrow") != std::string::npos) return Thumb(9, 48);
      return Thumb(64, 48);
    });
    io_ = TVexlaneIO::CreateFromBitmap(&target_);
    io_->OnFinishWork = [this](void*) { ++finished_; };
  }
  void TearDown() override {
    VXSetShellThumbnailProvider(nullptr);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const char* Name) const { return (dir_ / Name).string(); }
  fs::path dir_;
  TVXBitmap target_;
  std::unique_ptr<TVexlaneIO> io_;
  std::vector<std::string> asked_;
  int finished_ = 0;
};

TEST_F(IOShellThumbnail, ThumbnailsLoadWithTheDetectedOrTheVideoType) {
  struct Case {
    const char* name;
    int32_t type;
  };
  for (const Case c : {Case{"clip.wmv", 22}, Case{"movie.mpg", 23}, Case{"real.png", 8}}) {
    SCOPED_TRACE(c.name);
    finished_ = 0;
    io_->SetAborting(true);
    ASSERT_TRUE(io_->LoadThumbnailFromExplorer(Path(c.name), 64, 48));
    EXPECT_FALSE(io_->Aborting());
    EXPECT_EQ(io_->Params().FileType(), c.type);
    EXPECT_EQ(io_->Params().FileName(), Path(c.name));
    ASSERT_EQ(target_.Width(), 64);
    ASSERT_EQ(target_.Height(), 48);
    EXPECT_EQ(At(target_, 0, 0), 77u);
    EXPECT_EQ(At(target_, 63, 47), (63u << 16) | (47u << 8) | 77u);
    EXPECT_EQ(finished_, 1);
  }
}

TEST_F(IOShellThumbnail, NoUsableThumbnailAborts) {
  ASSERT_TRUE(target_.Allocate(2, 2, vx24RGB));
  for (const std::string name : {Path("narrow.wmv"), Path("none.wmv"), std::string(), Path("missing/x.wmv")}) {
    SCOPED_TRACE(name);
    finished_ = 0;
    asked_.clear();
    io_->SetAborting(false);
    EXPECT_FALSE(io_->LoadThumbnailFromExplorer(name, 64, 48));
    EXPECT_TRUE(io_->Aborting());
    EXPECT_EQ(target_.Width(), 2);
    EXPECT_EQ(finished_, 1);
  }
  // A folder that is not there is not even asked about.
  EXPECT_TRUE(asked_.empty());
  // A provider that raises: no thumbnail either.
  VXSetShellThumbnailProvider([](const std::string&, int, int) -> HBITMAP { throw std::runtime_error("shell"); });
  io_->SetAborting(false);
  EXPECT_FALSE(io_->LoadThumbnailFromExplorer(Path("clip.wmv"), 64, 48));
  EXPECT_TRUE(io_->Aborting());
  // Without a provider the shell has no thumbnails.
  VXSetShellThumbnailProvider(nullptr);
  EXPECT_FALSE(io_->LoadThumbnailFromExplorer(Path("clip.wmv"), 64, 48));
  EXPECT_TRUE(io_->Aborting());
}

}  // namespace
