// The processing component and the clipboard: copies with and without the
// raw dump, pastes of raw dumps, PNG files and DIBs written by Pillow,
// metafiles, the order of preference, damaged blocks, a clipboard held by
// another thread and one that refuses data.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../proc/numpy_oracle.h"
#include "../winui/uemf_writer.h"
#include "core/bitmap.h"
#include "core/winchores.h"
#include "proc/proc.h"
#include "winui/headless.h"
#include "winui/metafile.h"
#include "winui/win_clipboard.h"

namespace {

using Bytes = std::vector<uint8_t>;

HGLOBAL Block(const Bytes& b) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, b.size());
  if (!b.empty()) std::memcpy(GlobalLock(h), b.data(), b.size());
  GlobalUnlock(h);
  return h;
}

// Empties the clipboard and puts each (format, bytes) pair.
void Put(const std::vector<std::pair<UINT, Bytes>>& Items) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  for (const auto& [f, b] : Items) ASSERT_NE(SetClipboardData(f, Block(b)), nullptr);
  CloseClipboard();
}

Bytes Get(UINT Format) {
  Bytes out;
  if (!OpenClipboard(nullptr)) return out;
  if (auto h = static_cast<HGLOBAL>(GetClipboardData(Format))) {
    const auto* p = static_cast<const uint8_t*>(GlobalLock(h));
    out.assign(p, p + GlobalSize(h));
    GlobalUnlock(h);
  }
  CloseClipboard();
  return out;
}

UINT PNGFormat() { return RegisterClipboardFormatW("PNG"); }

Bytes ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Deterministic bytes for every row and the alpha channel.
void Scribble(TVXBitmap& b, uint32_t Seed) {
  uint32_t s = Seed;
  auto next = [&] { return uint8_t((s = s * 1103515245u + 12345u) >> 16); };
  for (int32_t y = 0; y < b.Height(); ++y) {
    auto* row = static_cast<uint8_t*>(b.ScanLine(y));
    for (int64_t i = 0; i < b.RowLen(); ++i) row[i] = next();
  }
  if (b.PixelFormat() == vx32f)  // finite values in 0 .. 1
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width(); ++x) static_cast<float*>(b.ScanLine(y))[x] = float(next()) / 255.0f;
}

std::string Alpha(TVXBitmap& b) { return b.HasAlphaChannel() ? numpy_oracle::Pixels(b.AlphaChannel()) : ""; }

struct ClipboardProcTest : ::testing::Test {
  void SetUp() override { Put({}); }
  void TearDown() override {
    VXHeadless::Reset();
    Put({});
  }
};

TEST_F(ClipboardProcTest, RawDumpRestoresEveryFormat) {
  struct Case {
    TVXPixelFormat Format;
    bool WithAlpha;
  } cases[] = {{vx24RGB, true}, {vx48RGB, true}, {vx8g, true}, {vx8p, false},
               {vx1g, false},   {vx16g, false},  {vx32f, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Format));
    TVXBitmap src;
    ASSERT_TRUE(src.Allocate(16, 5, c.Format));
    Scribble(src, uint32_t(c.Format) + 7);
    if (c.Format == vx8p)
      for (int i = 0; i < 256; ++i) src.SetPalette(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    if (c.WithAlpha) Scribble(*src.AlphaChannel(), 99);
    auto from = TVexlaneProc::CreateFromBitmap(&src);
    ASSERT_TRUE(from->CopyToClipboard(true));
    EXPECT_FALSE(Get(VXRawClipboardFormat()).empty());
    EXPECT_FALSE(Get(CF_DIB).empty());

    TVXBitmap dst;
    ASSERT_TRUE(dst.Allocate(3, 3, vx24RGB));
    dst.AlphaChannel();  // an alpha channel the paste must drop when the source has none
    auto to = TVexlaneProc::CreateFromBitmap(&dst);
    to->PasteFromClipboard();
    ASSERT_EQ(dst.PixelFormat(), c.Format);
    ASSERT_EQ(dst.Width(), 16);
    ASSERT_EQ(dst.Height(), 5);
    EXPECT_EQ(numpy_oracle::Pixels(&dst), numpy_oracle::Pixels(&src));
    EXPECT_EQ(dst.HasAlphaChannel(), c.WithAlpha);
    if (c.WithAlpha) EXPECT_EQ(Alpha(dst), Alpha(src));
    if (c.Format == vx8p)
      for (int i : {0, 1, 128, 255}) EXPECT_EQ(dst.Palette(i), src.Palette(i));
  }
}

// Runs a Pillow snippet with the folder as its working directory; false when
// /usr/bin/python3 with PIL cannot run it.
bool Pillow(const std::string& Dir, const std::string& Snippet) {
  const std::string script = Dir + "/make.py";
  std::ofstream(script) << "import os, sys\nos.chdir(sys.argv[1])\nfrom PIL import Image\n" << Snippet;
  return std::system(("/usr/bin/python3 " + script + " " + Dir + " 2>/dev/null").c_str()) == 0;
}

std::string TempDir(const std::string& Name) {
  const std::string dir = ::testing::TempDir() + "vx_clip_" + Name;
  std::filesystem::create_directories(dir);
  return dir;
}

// Pixel (x, y) as Pillow's RGB (and alpha) bytes.
void ExpectLikePillow(TVXBitmap& b, const Bytes& RGB, const Bytes& A) {
  ASSERT_EQ(RGB.size(), size_t(b.Width()) * size_t(b.Height()) * 3);
  int bad = 0;
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) {
      const size_t i = (size_t(y) * size_t(b.Width()) + size_t(x));
      const TRGB p = b.Pixels(x, y);
      if (p.r != RGB[i * 3] || p.g != RGB[i * 3 + 1] || p.b != RGB[i * 3 + 2]) ++bad;
      if (!A.empty() && b.Alpha(x, y) != A[i]) ++bad;
    }
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(b.HasAlphaChannel() && !b.AlphaChannel()->Full(), !A.empty());
}

TEST_F(ClipboardProcTest, CopyWithoutRawFormatLeavesADIBPillowReads) {
  TVXBitmap src;
  ASSERT_TRUE(src.Allocate(7, 4, vx24RGB));
  Scribble(src, 3);
  ASSERT_TRUE(TVexlaneProc::CreateFromBitmap(&src)->CopyToClipboard(false));
  EXPECT_TRUE(Get(VXRawClipboardFormat()).empty());
  const Bytes dib = Get(CF_DIB);
  ASSERT_GE(dib.size(), 40u);
  const std::string dir = TempDir("copy");
  Bytes file = {'B', 'M'};
  const uint32_t size = uint32_t(dib.size() + 14), offset = 14 + 40;
  for (uint32_t v : {size, 0u, offset})
    for (int i = 0; i < 4; ++i) file.push_back(uint8_t(v >> (8 * i)));
  file.insert(file.end(), dib.begin(), dib.end());
  std::ofstream(dir + "/copy.bmp", std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                           std::streamsize(file.size()));
  if (!Pillow(dir, "open('copy.rgb','wb').write(Image.open('copy.bmp').convert('RGB').tobytes())\n"))
    GTEST_SKIP() << "/usr/bin/python3 with PIL (Debian python3-pil) is not installed";
  ExpectLikePillow(src, ReadFile(dir + "/copy.rgb"), {});
}

TEST_F(ClipboardProcTest, PastesPillowDIBsAndPNGs) {
  const std::string dir = TempDir("paste");
  const bool made = Pillow(dir,
                           "import io\n"
                           "w, h = 13, 6\n"
                           "rgba = Image.frombytes('RGBA', (w, h), bytes((i * 37 + 11) % 256 for i in range(w*h*4)))\n"
                           "def dib(name, im):\n"
                           "    b = io.BytesIO(); im.save(b, 'BMP'); open(name + '.dib', 'wb').write(b.getvalue()[14:])\n"
                           "    open(name + '.rgb', 'wb').write(Image.open(io.BytesIO(b.getvalue())).convert('RGB').tobytes())\n"
                           "dib('d1', rgba.convert('1'))\n"
                           "dib('d8', rgba.convert('P', palette=Image.ADAPTIVE, colors=50))\n"
                           "dib('d24', rgba.convert('RGB'))\n"
                           "dib('d32', rgba)\n"
                           "import subprocess, shutil\n"
                           "rgba.save('src.png')\n"
                           "if shutil.which('/usr/bin/convert'):\n"
                           "    for name, args in (('m1', ['-monochrome', 'BMP3:m1.bmp']), ('m8', ['-colors', '40', '-type', 'Palette', '-compress', 'None', 'BMP3:m8.bmp']),\n"
                           "                       ('m24', ['-alpha', 'off', '-type', 'TrueColor', 'BMP3:m24.bmp']), ('m32', ['BMP:m32.bmp'])):\n"
                           "        subprocess.run(['/usr/bin/convert', 'src.png'] + args, check=True)\n"
                           "        data = open(name + '.bmp', 'rb').read()\n"
                           "        open(name + '.dib', 'wb').write(data[14:])\n"
                           "        open(name + '.rgb', 'wb').write(Image.open(name + '.bmp').convert('RGB').tobytes())\n"
                           "for name, im in (('p24', rgba.convert('RGB')), ('p32', rgba)):\n"
                           "    im.save(name + '.png')\n"
                           "    back = Image.open(name + '.png')\n"
                           "    open(name + '.rgb', 'wb').write(back.convert('RGB').tobytes())\n"
                           "    open(name + '.a', 'wb').write(back.getchannel('A').tobytes() if back.mode == 'RGBA' else b'')\n");
  if (!made) GTEST_SKIP() << "/usr/bin/python3 with PIL (Debian python3-pil) is not installed";
  for (const char* name : {"d1", "d8", "d24", "d32", "m1", "m8", "m24", "m32", "p24", "p32"}) {
    SCOPED_TRACE(name);
    if (name[0] == 'm' && !std::filesystem::exists(dir + "/" + name + ".dib")) {
      ADD_FAILURE() << "ImageMagick's /usr/bin/convert made no " << name;
      continue;
    }
    const bool png = name[0] == 'p';
    const Bytes data = ReadFile(dir + "/" + name + (png ? ".png" : ".dib"));
    ASSERT_FALSE(data.empty());
    Put({{png ? PNGFormat() : CF_DIB, data}});
    TVXBitmap dst;
    ASSERT_TRUE(dst.Allocate(2, 2, vx8g));
    auto proc = TVexlaneProc::CreateFromBitmap(&dst);
    EXPECT_TRUE(proc->IsClipboardAvailable());
    proc->PasteFromClipboard();
    ASSERT_EQ(dst.Width(), 13);
    ASSERT_EQ(dst.Height(), 6);
    ExpectLikePillow(dst, ReadFile(dir + "/" + name + ".rgb"), png ? ReadFile(dir + "/" + name + ".a") : Bytes{});
  }

  // The order of preference: PNG over a DIB, the raw dump over both.
  TVXBitmap raw;
  ASSERT_TRUE(raw.Allocate(5, 5, vx16g));
  Scribble(raw, 5);
  ASSERT_TRUE(TVexlaneProc::CreateFromBitmap(&raw)->CopyToClipboard(true));
  const Bytes dump = Get(VXRawClipboardFormat());
  const Bytes dib = ReadFile(dir + "/d24.dib"), png = ReadFile(dir + "/p32.png");
  TVXBitmap dst;
  ASSERT_TRUE(dst.Allocate(2, 2, vx24RGB));
  auto proc = TVexlaneProc::CreateFromBitmap(&dst);
  Put({{CF_DIB, dib}, {PNGFormat(), png}});
  proc->PasteFromClipboard();
  EXPECT_TRUE(dst.HasAlphaChannel());  // the PNG with alpha
  Put({{CF_DIB, dib}, {PNGFormat(), png}, {VXRawClipboardFormat(), dump}});
  proc->PasteFromClipboard();
  EXPECT_EQ(dst.PixelFormat(), vx16g);
  EXPECT_EQ(numpy_oracle::Pixels(&dst), numpy_oracle::Pixels(&raw));

  // Damaged blocks change nothing: each cut short, and each with its
  // header bytes altered.
  const std::string before = numpy_oracle::Pixels(&dst);
  for (const auto& [format, good] : std::vector<std::pair<UINT, Bytes>>{
           {VXRawClipboardFormat(), dump}, {PNGFormat(), png}, {CF_DIB, dib}}) {
    std::vector<Bytes> bad;
    for (size_t keep : {size_t(0), size_t(1), size_t(10), good.size() / 2, good.size() - 1})
      bad.emplace_back(good.begin(), good.begin() + std::ptrdiff_t(keep));
    for (size_t at : {size_t(0), size_t(4), size_t(8), size_t(14), size_t(16)}) {
      Bytes b = good;
      b[at] ^= 0xFF;
      bad.push_back(b);
    }
    for (size_t i = 0; i < bad.size(); ++i) {
      SCOPED_TRACE("format " + std::to_string(format) + " case " + std::to_string(i));
      if (bad[i].empty()) continue;  // an empty block cannot be allocated
      Put({{format, bad[i]}});
      proc->PasteFromClipboard();
      ASSERT_EQ(dst.PixelFormat(), vx16g);
      EXPECT_EQ(numpy_oracle::Pixels(&dst), before);
    }
  }
}

TEST_F(ClipboardProcTest, EnhancedMetafile) {
  TVXBitmap dst;
  ASSERT_TRUE(dst.Allocate(2, 2, vx24RGB));
  auto proc = TVexlaneProc::CreateFromBitmap(&dst);
  EXPECT_FALSE(proc->IsClipboardAvailable());  // empty
  vxtest::TEmf e(20, 10);
  e.SolidBrush(0x0000FF);
  e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN)).Add(U_EMRRECTANGLE_set(vxtest::Rectl(-10, -10, 30, 20)));
  const Bytes emf = e.Finish();
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  ASSERT_NE(SetClipboardData(CF_ENHMETAFILE, SetEnhMetaFileBits(UINT(emf.size()), emf.data())), nullptr);
  CloseClipboard();
  EXPECT_TRUE(proc->IsClipboardAvailable());
  proc->PasteFromClipboard();
  ASSERT_EQ(dst.Width(), 20);
  ASSERT_EQ(dst.Height(), 10);
  EXPECT_EQ(dst.Pixels(10, 5), (TRGB{0, 0, 255}));
}

TEST_F(ClipboardProcTest, BusyOrRefusingClipboard) {
  TVXBitmap src;
  ASSERT_TRUE(src.Allocate(4, 4, vx24RGB));
  Scribble(src, 1);
  auto proc = TVexlaneProc::CreateFromBitmap(&src);
  ASSERT_TRUE(proc->CopyToClipboard(true));
  const std::string before = numpy_oracle::Pixels(&src);

  // Held by another thread for a second: nothing is read or written.
  TVXBitmap other;
  ASSERT_TRUE(other.Allocate(9, 9, vx8g));
  auto otherProc = TVexlaneProc::CreateFromBitmap(&other);
  std::atomic<bool> held{false};
  std::thread holder([&] {
    OpenClipboard(nullptr);
    held = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    CloseClipboard();
  });
  while (!held) std::this_thread::yield();
  EXPECT_FALSE(otherProc->CopyToClipboard(true));
  EXPECT_FALSE(otherProc->IsClipboardAvailable());
  proc->PasteFromClipboard();
  holder.join();
  EXPECT_EQ(numpy_oracle::Pixels(&src), before);
  EXPECT_EQ(Get(CF_DIB).size() > 0, true);  // the earlier copy is still there
  otherProc->PasteFromClipboard();
  EXPECT_EQ(other.Width(), 4);

  // A clipboard that refuses data: the copy fails and leaves it empty.
  VXHeadless::FailSetClipboardData(true);
  EXPECT_FALSE(proc->CopyToClipboard(true));
  VXHeadless::FailSetClipboardData(false);
  EXPECT_FALSE(proc->IsClipboardAvailable());
  EXPECT_EQ(CountClipboardFormats(), 0);
}

}  // namespace
