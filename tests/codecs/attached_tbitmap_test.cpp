// The I/O and processing components working on an attached platform bitmap
// or image control, and the I/O module's print log.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "gui/extctrls.h"
#include "gui/graphics.h"
#include "io/printlog.h"
#include "io_test_support.h"
#include "io/vexlaneio.h"
#include "jpeg_test_util.h"
#include "platform/win_errors.h"
#include "proc/proc.h"

namespace {

using jpegtest::HaveTool;
using jpegtest::ReadFile;
using jpegtest::ScratchDir;
using jpegtest::Shell;

const std::string kPython = "/usr/bin/python3";

bool HavePillow() { return HaveTool(kPython) && Shell(kPython + " -c 'import PIL' >/dev/null") == 0; }

// The RGB bytes of an image file as Pillow reads it, rows top first.
std::vector<uint8_t> PillowRGB(const ScratchDir& Dir, const std::string& File) {
  const std::string out = Dir / "rgb.raw";
  Shell(kPython + " -c \"from PIL import Image; open('" + out + "', 'wb').write(Image.open('" + File +
        "').convert('RGB').tobytes())\"");
  return ReadFile(out);
}

std::vector<uint8_t> RGBOf(TBitmap& B) {
  std::vector<uint8_t> out;
  for (int y = 0; y < B.Height(); ++y) {
    const auto* p = static_cast<const uint8_t*>(B.ScanLine(y));
    for (int x = 0; x < B.Width(); ++x) out.insert(out.end(), {p[3 * x + 2], p[3 * x + 1], p[3 * x]});
  }
  return out;
}

void Paint(TBitmap& B) {
  for (int y = 0; y < B.Height(); ++y) {
    auto* p = static_cast<uint8_t*>(B.ScanLine(y));
    for (int x = 0; x < B.Width() * 3; ++x) p[x] = uint8_t(x * 11 + y * 29);
  }
}

}  // namespace

TEST(AttachedTBitmap, IOLoadsIntoAPlatformBitmapAndSavesItUnchanged) {
  if (!HavePillow()) GTEST_SKIP() << "python3-pil (Pillow) is missing";
  ScratchDir dir;
  const std::string src = dir / "made.png";
  ASSERT_EQ(Shell(kPython + " -c \"from PIL import Image\nim = Image.new('RGB', (7, 5))\n"
                            "im.putdata([((x * 37) % 256, (y * 51) % 256, (x * y * 13) % 256) "
                            "for y in range(5) for x in range(7)])\nim.save('" + src + "')\""),
            0);
  const std::vector<uint8_t> want = PillowRGB(dir, src);
  ASSERT_EQ(want.size(), 7u * 5u * 3u);

  TBitmap platform(2, 2, pf24bit);
  platform.SetModified(false);
  auto io = TVexlaneIO::CreateFromBitmap(&platform);
  EXPECT_EQ(io->AttachedBitmap(), &platform);
  ASSERT_TRUE(io->LoadFromFile(src, -1));
  EXPECT_EQ(platform.Width(), 7);
  EXPECT_EQ(platform.Height(), 5);
  EXPECT_EQ(platform.PixelFormat(), pf24bit);
  EXPECT_EQ(RGBOf(platform), want);
  EXPECT_TRUE(platform.Modified());
  EXPECT_EQ(io->Bitmap(), &platform);

  const std::string saved = dir / "saved.png";
  io->SaveToFile(saved, -1);
  EXPECT_EQ(PillowRGB(dir, saved), want);
  EXPECT_EQ(RGBOf(platform), want);

  // Changed under the component (another size): the next save takes it as
  // it is now.
  platform.SetSize(3, 2);
  Paint(platform);
  const std::string again = dir / "again.png";
  io->SaveToFile(again, -1);
  EXPECT_EQ(PillowRGB(dir, again), RGBOf(platform));

  // Detaching empties the component's target, never the caller's bitmap.
  io->SetAttachedBitmap(nullptr);
  EXPECT_EQ(io->AttachedBitmap(), nullptr);
  EXPECT_EQ(platform.Width(), 3);
}

TEST(AttachedTBitmap, AttachingAPlatformBitmapLeavesAnAttachedLibraryBitmapAlone) {
  TVXBitmap mine(4, 4, vx8g);
  mine.Fill(77);
  TBitmap platform(3, 3, pf24bit);
  for (bool proc : {false, true}) {
    SCOPED_TRACE(proc);
    if (proc) {
      auto p = TVexlaneProc::CreateFromBitmap(&mine);
      p->SetAttachedBitmap(&platform);
      EXPECT_EQ(p->AttachedBitmap(), &platform);
      EXPECT_EQ(p->AttachedVXBitmap()->VclBitmap(), &platform);
    } else {
      auto io = TVexlaneIO::CreateFromBitmap(&mine);
      io->SetAttachedBitmap(&platform);
      EXPECT_EQ(io->VXBitmap()->VclBitmap(), &platform);
    }
    EXPECT_EQ(mine.Width(), 4);
    EXPECT_EQ(mine.Pixels_vx8(2, 2), 77);
  }
}

// The working bitmap of either component: the I/O component's target, the
// processing component's attached bitmap.
TVXBitmap* Target(TVexlaneIO& C) { return C.VXBitmap(); }
TVXBitmap* Target(TVexlaneProc& C) { return C.AttachedVXBitmap(); }

// One walk through the kinds of target (image control, viewer, platform
// bitmap, none), the same for both components.
template <typename Component>
void WalkThroughTargets() {
  iotest::TRecordingHost host(vxvhImageView);
  Component c;
  ASSERT_NE(Target(c), nullptr);
  EXPECT_TRUE(Target(c)->IsEmpty());

  auto* image = new TImage(nullptr);
  image->Picture()->Bitmap()->SetPixelFormat(pf24bit);
  image->Picture()->Bitmap()->SetSize(3, 2);
  c.SetAttachedTImage(image);
  EXPECT_EQ(c.AttachedTImage(), image);
  EXPECT_EQ(c.AttachedBitmap(), image->Picture()->Bitmap());
  EXPECT_EQ(Target(c)->VclBitmap(), image->Picture()->Bitmap());

  // A viewer replaces the image control, which may then go without notice.
  c.SetAttachedVexlane(&host);
  EXPECT_EQ(c.AttachedTImage(), nullptr);
  EXPECT_EQ(c.AttachedBitmap(), nullptr);
  EXPECT_EQ(Target(c), host.bitmap.get());
  EXPECT_EQ(host.Registrations(), 1u);
  delete image;
  EXPECT_EQ(Target(c), host.bitmap.get());
  host.ReplaceBitmap();
  EXPECT_EQ(Target(c), host.bitmap.get());

  // No platform bitmap: the viewer stays but is no longer listened to.
  c.SetAttachedBitmap(nullptr);
  EXPECT_EQ(c.AttachedVexlane(), &host);
  EXPECT_EQ(host.Registrations(), 0u);
  c.SetAttachedVexlane(&host);
  EXPECT_EQ(host.Registrations(), 1u);

  // A viewer that goes away is forgotten and never called again.
  host.Clear();
  host.AnnounceDestruction();
  EXPECT_EQ(c.AttachedVexlane(), nullptr);
  ASSERT_NE(Target(c), nullptr);
  EXPECT_NE(Target(c), host.bitmap.get());
  EXPECT_TRUE(host.Calls().empty());

  TBitmap platform(4, 5, pf24bit);
  c.SetAttachedBitmap(&platform);
  EXPECT_EQ(c.AttachedBitmap(), &platform);
  EXPECT_EQ(Target(c)->VclBitmap(), &platform);
  EXPECT_EQ(Target(c)->Width(), 4);

  // Letting go of a viewer (none) leaves a fresh bitmap of the component's own.
  c.SetAttachedVexlane(nullptr);
  EXPECT_EQ(c.AttachedBitmap(), nullptr);
  ASSERT_NE(Target(c), nullptr);
  EXPECT_TRUE(Target(c)->IsEmpty());
  EXPECT_EQ(platform.Width(), 4);
}

TEST(AttachedTBitmap, BothComponentsSwitchBetweenTargetsAlike) {
  {
    SCOPED_TRACE("I/O");
    WalkThroughTargets<TVexlaneIO>();
  }
  {
    SCOPED_TRACE("processing");
    WalkThroughTargets<TVexlaneProc>();
  }
}

TEST(AttachedTBitmap, ImageControlIsLoadedAndForgottenWhenFreed) {
  if (!HavePillow()) GTEST_SKIP() << "python3-pil (Pillow) is missing";
  ScratchDir dir;
  const std::string src = dir / "grey.png";
  ASSERT_EQ(Shell(kPython + " -c \"from PIL import Image\nim = Image.new('RGB', (5, 3), (10, 200, 30))\n"
                            "im.save('" + src + "')\""),
            0);
  TVexlaneIO io;
  TVexlaneProc proc;
  auto* image = new TImage(nullptr);
  io.SetAttachedTImage(image);
  proc.SetAttachedTImage(image);
  EXPECT_EQ(io.AttachedTImage(), image);
  ASSERT_TRUE(io.LoadFromFile(src, -1));
  TBitmap* pic = image->Picture()->Bitmap();
  ASSERT_EQ(pic->Width(), 5);
  const auto* row = static_cast<const uint8_t*>(pic->ScanLine(2));
  EXPECT_EQ(row[0], 30);
  EXPECT_EQ(row[1], 200);
  EXPECT_EQ(row[2], 10);
  proc.Negative();
  EXPECT_EQ(row[0], 225);
  EXPECT_EQ(row[1], 55);
  delete image;
  EXPECT_EQ(io.AttachedTImage(), nullptr);
  EXPECT_EQ(io.AttachedBitmap(), nullptr);
  EXPECT_EQ(proc.AttachedTImage(), nullptr);
  EXPECT_EQ(proc.AttachedBitmap(), nullptr);
  EXPECT_TRUE(proc.AttachedVXBitmap()->IsEmpty());
}

TEST(AttachedTBitmap, ProcessingWorksOnThePlatformBitmapsPixels) {
  TBitmap platform(6, 4, pf24bit);
  Paint(platform);
  const std::vector<uint8_t> before = RGBOf(platform);
  platform.SetModified(false);
  auto proc = TVexlaneProc::CreateFromBitmap(&platform);
  proc->Negative();
  const std::vector<uint8_t> after = RGBOf(platform);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) ASSERT_EQ(after[i], 255 - before[i]) << i;
  EXPECT_TRUE(platform.Modified());
  EXPECT_FALSE(proc->AttachedVXBitmap()->HasAlphaChannel());
  // Resized by its owner: the next operation works on the new size.
  platform.SetSize(9, 2);
  Paint(platform);
  const std::vector<uint8_t> resized = RGBOf(platform);
  proc->Negative();
  const std::vector<uint8_t> inverted = RGBOf(platform);
  for (size_t i = 0; i < inverted.size(); ++i) ASSERT_EQ(inverted[i], 255 - resized[i]) << i;
  // An 8-bit platform bitmap is converted to 24 bits for an operation that
  // needs them.
  TBitmap grey(4, 2, pf8bit);
  std::vector<RGBQUAD> table(256);
  for (int i = 0; i < 256; ++i) table[size_t(i)] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  grey.SetPalette(table);
  static_cast<uint8_t*>(grey.ScanLine(1))[2] = 40;
  auto p2 = TVexlaneProc::CreateFromBitmap(&grey);
  TVXBitmap white(4, 2, vx24RGB);
  white.Fill(0xFFFFFF);
  p2->MergeVXBitmap(&white, 50);
  EXPECT_EQ(grey.PixelFormat(), pf24bit);
  EXPECT_EQ(static_cast<uint8_t*>(grey.ScanLine(1))[6], 148);  // (40 + 255) / 2, halves to even
}

TEST(AttachedTBitmap, MergeOfAPlatformBitmapEqualsMergeVXBitmap) {
  TVXBitmap base(8, 5, vx24RGB);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 8; ++x) base.SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 30), uint8_t(y * 50), 90});
  TBitmap other(4, 3, pf24bit);
  Paint(other);
  TVXBitmap otherVX;
  otherVX.CopyFromTBitmap(&other);
  TVXBitmap a(&base), b(&base);
  TVexlaneProc::CreateFromBitmap(&a)->Merge(&other, 30);
  TVexlaneProc::CreateFromBitmap(&b)->MergeVXBitmap(&otherVX, 30);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(a.Pixels(x, y), b.Pixels(x, y)) << x << "," << y;
  EXPECT_NE(a.Pixels(0, 0), base.Pixels(0, 0));
  // A 1-bit platform bitmap merges as black and white.
  TBitmap mono(2, 2, pf1bit);
  static_cast<uint8_t*>(mono.ScanLine(0))[0] = 0xC0;
  TVXBitmap c(&base);
  TVexlaneProc::CreateFromBitmap(&c)->Merge(&mono, 0);
  EXPECT_EQ(c.Pixels(0, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(c.Pixels(0, 4), (TRGB{0, 0, 0}));
}

TEST(PrintLog, SettingTheFileEmptiesItAndRenderingAppendsItsSteps) {
  ScratchDir dir;
  const std::string log = dir / "print.log";
  {
    std::ofstream f(log);
    f << "old content\n";
  }
  TVexlaneIO io;
  io.SetPrintLogFile(log);
  EXPECT_EQ(io.PrintLogFile(), log);
  EXPECT_TRUE(ReadFile(log).empty());
  TVXBitmap b(5, 3, vx8g);
  HGLOBAL dib = b.CreateDIB();
  ASSERT_NE(dib, nullptr);
  GlobalFree(dib);
  const std::vector<uint8_t> bytes = ReadFile(log);
  std::istringstream text(std::string(bytes.begin(), bytes.end()));
  std::vector<std::string> lines;
  for (std::string l; std::getline(text, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 3u);
  const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} : (.*))");
  const std::vector<std::string> want = {"_CopyBitmaptoDIBEx: begin",
                                         "_CopyBitmaptoDIBEx: allocate " + std::to_string(40 + 1024 + 8 * 3 + 4) +
                                             " bytes",
                                         "_CopyBitmaptoDIBEx: vx8g or vx8p"};
  for (size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, stamp)) << lines[i];
    EXPECT_EQ(m[1].str(), want[i]);
  }
  // The empty name stops logging; a file that cannot be made raises.
  io.SetPrintLogFile("");
  dib = b.CreateDIB();
  GlobalFree(dib);
  EXPECT_EQ(ReadFile(log).size(), bytes.size());
  EXPECT_THROW(io.SetPrintLogFile(dir / "no/such/folder/log.txt"), EInOutError);
  EXPECT_EQ(io.PrintLogFile(), "");
}
