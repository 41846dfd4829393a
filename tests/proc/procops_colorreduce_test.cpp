// The processing component's colour-reduction and depth-conversion
// operations on an attached bitmap: results, events, undo captions and the
// format guard.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/colorreduce.h"
#include "proc/proc.h"
#include "core/rowops.h"
#include "core/threshold.h"

namespace {

uint8_t* Row(TVXBitmap& b, int y) { return static_cast<uint8_t*>(b.GetScanLine(y)); }
TRGB* RGBRow(TVXBitmap& b, int y) { return static_cast<TRGB*>(b.GetScanLine(y)); }
bool BitAt(TVXBitmap& b, int x, int y) { return (Row(b, y)[x >> 3] & (0x80 >> (x & 7))) != 0; }

// 9 x 5 pixels of 45 different colours, with a pure white and a pure black
// pixel.
std::unique_ptr<TVXBitmap> ColourFixture() {
  auto b = std::make_unique<TVXBitmap>(9, 5, vx24RGB);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x)
      RGBRow(*b, y)[x] = TRGB{uint8_t((x * y * 17) & 255), uint8_t(y * 60), uint8_t(x * 28 + 10)};
  RGBRow(*b, 0)[0] = TRGB{0, 0, 0};
  RGBRow(*b, 4)[8] = TRGB{255, 255, 255};
  return b;
}

// 20 x 16 pixels of 320 different colours.
std::unique_ptr<TVXBitmap> ManyColoursFixture() {
  auto b = std::make_unique<TVXBitmap>(20, 16, vx24RGB);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 20; ++x)
      RGBRow(*b, y)[x] = TRGB{uint8_t((x * 7 + y * 31) & 255), uint8_t(y * 16), uint8_t(x * 12)};
  return b;
}

// 11 x 3 black-and-white pixels (a row length that is not a multiple of 8).
std::unique_ptr<TVXBitmap> OneBitFixture() {
  auto b = std::make_unique<TVXBitmap>(11, 3, vx1g);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 11; ++x)
      if ((x + 2 * y) % 3 == 0) Row(*b, y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  return b;
}

std::set<uint32_t> Colours(TVXBitmap& b) {
  std::set<uint32_t> s;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TRGB c = RGBRow(b, y)[x];
      s.insert(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
    }
  return s;
}

void ExpectSameImage(TVXBitmap& got, TVXBitmap& want) {
  ASSERT_EQ(got.PixelFormat(), want.PixelFormat());
  ASSERT_EQ(got.Width(), want.Width());
  ASSERT_EQ(got.Height(), want.Height());
  EXPECT_TRUE(VXBitmapsEqual(&got, &want));
  if (want.PixelFormat() == vx8p) {
    ASSERT_EQ(got.PaletteUsed(), want.PaletteUsed());
    for (int i = 0; i < want.PaletteUsed(); ++i) EXPECT_EQ(got.Palette(i), want.Palette(i)) << "entry " << i;
  }
}

// Records the events of a component.
struct EventLog {
  std::vector<int32_t> progress;
  int finished = 0;
  void Attach(TVexlaneProc& proc) {
    proc.OnProgress = [this, &proc](void* sender, int32_t per) {
      EXPECT_EQ(sender, static_cast<void*>(&proc));
      progress.push_back(per);
    };
    proc.OnFinishWork = [this, &proc](void* sender) {
      EXPECT_EQ(sender, static_cast<void*>(&proc));
      ++finished;
    };
  }
  // Percentages between 0 and 100, never falling, ending at 100; one finish.
  void ExpectCompleted() const {
    EXPECT_EQ(finished, 1);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    for (size_t i = 0; i < progress.size(); ++i) {
      EXPECT_GE(progress[i], 0);
      EXPECT_LE(progress[i], 100);
      if (i) {
        EXPECT_GE(progress[i], progress[i - 1]);
      }
    }
  }
  void ExpectNone() const {
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(progress.empty());
  }
};

// A component that records its undo snapshots instead of keeping them.
class RecordingProc : public TVexlaneProc {
 public:
  std::vector<std::string> captions;
  void SaveUndoCaptioned(const std::string& Caption, TVXUndoSource Source) override {
    EXPECT_EQ(Source, vxuImage);
    captions.push_back(Caption);
  }
};

}  // namespace

// Every operation through the component gives the bytes of its worker routine
// called directly, changes the format as given, reports progress up to 100
// and finishes once.
TEST(ProcOpsColorReduce, ComponentMatchesWorkerRoutines) {
  TRGB procPalette[16], freePalette[16];
  struct Case {
    const char* name;
    std::function<std::unique_ptr<TVXBitmap>()> fixture;
    std::function<void(TVexlaneProc&)> viaComponent;
    std::function<void(TVXBitmap*)> direct;
    TVXPixelFormat resultFormat;
  };
  const TVXProgressEvent none;
  const Case cases[] = {
      {"ConvertToGray", ColourFixture, [](TVexlaneProc& p) { p.ConvertToGray(); },
       [&](TVXBitmap* b) { VXDoConvertToGray(b, 0, 0, b->Width(), b->Height(), nullptr, none); }, vx24RGB},
      {"ConvertToSepia", ColourFixture, [](TVexlaneProc& p) { p.ConvertToSepia(40); },
       [&](TVXBitmap* b) { VXDoConvertToSepia(b, 40, 0, 0, b->Width(), b->Height(), nullptr, none); }, vx24RGB},
      {"ConvertTo 2 ordered", ColourFixture, [](TVexlaneProc& p) { p.ConvertTo(2, vxOrdered); },
       [&](TVXBitmap* b) {
         TProgressRec r;
         VXDitherToBWOrdered(b, r);
       },
       vx1g},
      {"ConvertTo 2 threshold", ColourFixture, [](TVexlaneProc& p) { p.ConvertTo(2, vxThreshold); },
       [&](TVXBitmap* b) {
         TProgressRec r;
         VXThresholdToBWInPlace(b, -1, r);
       },
       vx1g},
      {"ConvertTo 8 dithering", ColourFixture, [](TVexlaneProc& p) { p.ConvertTo(8, vxDithering); },
       [&](TVXBitmap* b) {
         TVXBitmap out;
         VXDitherToPalette(b, &out, 8);
         b->AssignImage(&out);
       },
       vx8p},
      {"ConvertTo 8 quantised", ColourFixture, [](TVexlaneProc& p) { p.ConvertTo(8, vxThreshold); },
       [&](TVXBitmap* b) { VXQuantizeInPlace(b, 8, nullptr, nullptr, none); }, vx24RGB},
      {"ConvertTo 150 ordered", ManyColoursFixture, [](TVexlaneProc& p) { p.ConvertTo(150, vxOrdered); },
       [&](TVXBitmap* b) { VXQuantizeInPlace(b, 150, nullptr, nullptr, none); }, vx24RGB},
      {"ConvertTo 300 dithering", ManyColoursFixture, [](TVexlaneProc& p) { p.ConvertTo(300, vxDithering); },
       [&](TVXBitmap* b) { VXQuantizeInPlace(b, 300, nullptr, nullptr, none); }, vx24RGB},
      {"ConvertToPalette 16", ColourFixture, [&](TVexlaneProc& p) { p.ConvertToPalette(16, procPalette, vxOrdered); },
       [&](TVXBitmap* b) { VXQuantizeInPlace(b, 16, freePalette, nullptr, none); }, vx24RGB},
      {"ConvertToPalette 2", ColourFixture, [&](TVexlaneProc& p) { p.ConvertToPalette(2, procPalette, vxOrdered); },
       [&](TVXBitmap* b) {
         TProgressRec r;
         VXDitherToBWOrdered(b, r);
         freePalette[0] = TRGB{0, 0, 0};
         freePalette[1] = TRGB{255, 255, 255};
       },
       vx1g},
      {"ConvertToBWOrdered", ColourFixture, [](TVexlaneProc& p) { p.ConvertToBWOrdered(); },
       [&](TVXBitmap* b) {
         TProgressRec r;
         VXDitherToBWOrdered(b, r);
       },
       vx1g},
      {"ConvertToBWThreshold 100", ColourFixture, [](TVexlaneProc& p) { p.ConvertToBWThreshold(100); },
       [&](TVXBitmap* b) {
         TProgressRec r;
         VXThresholdToBWInPlace(b, 100, r);
       },
       vx1g},
      {"ConvertToBWThreshold entropy", ColourFixture, [](TVexlaneProc& p) { p.ConvertToBWThreshold(-2); },
       [&](TVXBitmap* b) {
         TProgressRec r;
         VXThresholdToBWInPlace(b, -2, r);
       },
       vx1g},
      {"ConvertToBW_FloydSteinberg", ColourFixture, [](TVexlaneProc& p) { p.ConvertToBW_FloydSteinberg(); },
       [&](TVXBitmap* b) { VXDoFloydSteinberg(b, nullptr, none); }, vx1g},
      {"ConvertTo24Bit", OneBitFixture, [](TVexlaneProc& p) { p.ConvertTo24Bit(); },
       [&](TVXBitmap* b) {
         TVXBitmap out;
         TProgressRec r;
         VXConvert1BitTo24(b, &out, r);
         b->AssignImage(&out);
       },
       vx24RGB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::memset(static_cast<void*>(procPalette), 7, sizeof procPalette);
    std::memset(static_cast<void*>(freePalette), 7, sizeof freePalette);
    auto original = c.fixture();
    auto viaProc = c.fixture();
    auto direct = c.fixture();
    TVexlaneProc proc;
    proc.SetAttachedVXBitmap(viaProc.get());
    EventLog log;
    log.Attach(proc);
    c.viaComponent(proc);
    c.direct(direct.get());
    log.ExpectCompleted();
    EXPECT_EQ(viaProc->PixelFormat(), c.resultFormat);
    ExpectSameImage(*viaProc, *direct);
    EXPECT_FALSE(VXBitmapsEqual(viaProc.get(), original.get())) << "the operation changed nothing";
    EXPECT_EQ(std::memcmp(procPalette, freePalette, sizeof procPalette), 0);
  }
}

TEST(ProcOpsColorReduce, ToningValues) {
  auto b = ColourFixture();
  auto src = ColourFixture();
  TVexlaneProc proc;
  proc.SetAttachedVXBitmap(b.get());

  proc.ConvertToGray();
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) {
      const TRGB s = RGBRow(*src, y)[x], d = RGBRow(*b, y)[x];
      const uint8_t g = uint8_t((s.r * 21 + s.g * 71 + s.b * 8) / 100);
      ASSERT_EQ(d, (TRGB{g, g, g})) << x << "," << y;
    }

  struct SepiaCase {
    int32_t depth;
    int32_t d;  // the depth taken as a byte
  } sepia[] = {{0, 0}, {30, 30}, {200, 200}, {256 + 5, 5}};
  for (const SepiaCase& c : sepia) {
    SCOPED_TRACE(c.depth);
    auto t = ColourFixture();
    proc.SetAttachedVXBitmap(t.get());
    proc.ConvertToSepia(c.depth);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 9; ++x) {
        const TRGB s = RGBRow(*src, y)[x], d = RGBRow(*t, y)[x];
        const int g = (s.r + s.g + s.b) / 3;
        ASSERT_EQ(d, (TRGB{uint8_t(g), uint8_t(std::min(255, g + c.d)), uint8_t(std::min(255, g + 2 * c.d))}));
        if (c.depth == 200) {
          ASSERT_EQ(d.r, 255);
        }
      }
  }
}

TEST(ProcOpsColorReduce, ReductionResults) {
  // Ordered dither to 2 colours: white stays white, black stays black.
  {
    TVXBitmap b(8, 8, vx24RGB);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) RGBRow(b, y)[x] = x < 4 ? TRGB{251, 252, 255} : TRGB{0, 0, 0};
    TVexlaneProc proc;
    proc.SetAttachedVXBitmap(&b);
    proc.ConvertTo(2, vxOrdered);
    ASSERT_EQ(b.PixelFormat(), vx1g);
    for (int y = 0; y < 8; ++y) EXPECT_EQ(Row(b, y)[0], 0xF0) << y;
  }
  // Quantised reduction keeps vx24RGB with at most N colours; a fixture with
  // few colours keeps exactly its own.
  {
    auto b = ColourFixture();
    TVexlaneProc proc;
    proc.SetAttachedVXBitmap(b.get());
    proc.ConvertTo(6, vxThreshold);
    EXPECT_EQ(b->PixelFormat(), vx24RGB);
    EXPECT_LE(Colours(*b).size(), 6u);

    TVXBitmap few(3, 2, vx24RGB);
    const TRGB c[3] = {{10, 20, 30}, {200, 0, 9}, {1, 2, 3}};
    for (int i = 0; i < 6; ++i) RGBRow(few, i / 3)[i % 3] = c[i % 3];
    TVXBitmap copy(&few);
    TRGB pal[4] = {};
    proc.SetAttachedVXBitmap(&few);
    proc.ConvertToPalette(4, pal, vxThreshold);
    EXPECT_TRUE(VXBitmapsEqual(&few, &copy));
    EXPECT_EQ(pal[0], c[0]);
    EXPECT_EQ(pal[1], c[1]);
    EXPECT_EQ(pal[2], c[2]);
  }
  // Error diffusion into a palette image of N entries.
  {
    auto b = ColourFixture();
    TVexlaneProc proc;
    proc.SetAttachedVXBitmap(b.get());
    proc.ConvertTo(5, vxDithering);
    EXPECT_EQ(b->PixelFormat(), vx8p);
    EXPECT_EQ(b->PaletteUsed(), 5);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 9; ++x) EXPECT_LT(Row(*b, y)[x], 5);
  }
  // Floyd-Steinberg: flat grey 128 starts white; black and white stay flat.
  {
    struct FSCase {
      uint8_t grey;
      int firstBit;  // -1: not checked
      int whiteCount;
    } cases[] = {{128, 1, -1}, {0, 0, 0}, {255, 1, 12}};
    for (const FSCase& c : cases) {
      SCOPED_TRACE(int(c.grey));
      TVXBitmap b(4, 3, vx24RGB);
      for (int y = 0; y < 3; ++y) std::memset(Row(b, y), c.grey, 12);
      TVexlaneProc proc;
      proc.SetAttachedVXBitmap(&b);
      proc.ConvertToBW_FloydSteinberg();
      ASSERT_EQ(b.PixelFormat(), vx1g);
      EXPECT_EQ(int(BitAt(b, 0, 0)), c.firstBit);
      if (c.whiteCount >= 0) {
        int white = 0;
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < 4; ++x) white += BitAt(b, x, y);
        EXPECT_EQ(white, c.whiteCount);
      }
    }
  }
  // Expansion of 1 bit: set bits white, clear bits black.
  {
    auto b = OneBitFixture();
    auto src = OneBitFixture();
    TVexlaneProc proc;
    proc.SetAttachedVXBitmap(b.get());
    proc.ConvertTo24Bit();
    ASSERT_EQ(b->PixelFormat(), vx24RGB);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 11; ++x) {
        const uint8_t v = BitAt(*src, x, y) ? 255 : 0;
        ASSERT_EQ(RGBRow(*b, y)[x], (TRGB{v, v, v})) << x << "," << y;
      }
  }
}

// Requests that change nothing: no colour count, too many colours, a 24-bit
// image for the 1-bit expansion, and the platform converter.
TEST(ProcOpsColorReduce, RequestsThatChangeNothing) {
  struct Case {
    const char* name;
    std::function<void(TVexlaneProc&)> op;
    bool finishes;  // Update and DoFinishWork still run
  } cases[] = {
      {"ConvertTo 2000", [](TVexlaneProc& p) { p.ConvertTo(2000, vxDithering); }, true},
      {"ConvertToPalette 1025", [](TVexlaneProc& p) { p.ConvertToPalette(1025, nullptr, vxOrdered); }, true},
      {"ConvertToPalette 0", [](TVexlaneProc& p) { p.ConvertToPalette(0, nullptr, vxOrdered); }, false},
      {"ConvertTo24Bit on 24-bit", [](TVexlaneProc& p) { p.ConvertTo24Bit(); }, false},
      {"platform converter",
       [](TVexlaneProc& p) { EXPECT_FALSE(p.ConvertTo(vx8p, vxptMedianCut, vxdtErrorDiffusion, false)); }, true},
      {"platform converter, check only",
       [](TVexlaneProc& p) { EXPECT_FALSE(p.ConvertTo(vx1g, vxptFixedBW, vxdtSolid, true)); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto b = ColourFixture();
    auto src = ColourFixture();
    RecordingProc proc;
    proc.SetAutoUndo(true);
    proc.SetAttachedVXBitmap(b.get());
    EventLog log;
    log.Attach(proc);
    c.op(proc);
    EXPECT_TRUE(VXBitmapsEqual(b.get(), src.get()));
    if (c.finishes) {
      EXPECT_EQ(log.finished, 1);
      EXPECT_EQ(log.progress, std::vector<int32_t>{100});
      EXPECT_EQ(proc.captions.size(), 1u);
    } else {
      log.ExpectNone();
      EXPECT_TRUE(proc.captions.empty());
    }
  }
}

TEST(ProcOpsColorReduce, UndoCaptions) {
  TRGB pal[8];
  struct Case {
    std::function<void(TVexlaneProc&)> op;
    const char* caption;
  } cases[] = {
      {[](TVexlaneProc& p) { p.ConvertToGray(); }, "ConvertToGray"},
      {[](TVexlaneProc& p) { p.ConvertToSepia(9); }, "ConvertToSepia"},
      {[](TVexlaneProc& p) { p.ConvertTo(7, vxThreshold); }, "ConvertTo 7"},
      {[](TVexlaneProc& p) { p.ConvertTo(vxCMYK, vxptFixedHalftone27, vxdtOrdered8x8, false); }, "ConvertTo2 7 3 2"},
      {[&](TVexlaneProc& p) { p.ConvertToPalette(8, pal, vxThreshold); }, "ConvertToPalette"},
      {[](TVexlaneProc& p) { p.ConvertToBWOrdered(); }, "ConvertToBWOrdered"},
      {[](TVexlaneProc& p) { p.ConvertToBWThreshold(-1); }, "ConvertToBWThreshold -1"},
      {[](TVexlaneProc& p) { p.ConvertToBW_FloydSteinberg(); }, "ConvertToBW_FloydSteinberg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    auto b = ColourFixture();
    RecordingProc proc;
    proc.SetAttachedVXBitmap(b.get());
    c.op(proc);
    EXPECT_TRUE(proc.captions.empty());  // AutoUndo off
    proc.SetAutoUndo(true);
    c.op(proc);
    EXPECT_EQ(proc.captions, std::vector<std::string>{c.caption});
  }
  auto one = OneBitFixture();
  RecordingProc proc;
  proc.SetAutoUndo(true);
  proc.SetAttachedVXBitmap(one.get());
  proc.ConvertTo24Bit();
  EXPECT_EQ(proc.captions, std::vector<std::string>{"ConvertTo24Bit"});
  // The palette calculation reads the image only.
  proc.CalcImagePalette(std::span<TRGB>(pal), 4);
  EXPECT_EQ(proc.captions.size(), 1u);
}

// The format guard: without AutoConvertFormat an image of another format is
// left alone and no event is raised; with it the image is converted first.
// Without a bitmap every operation does nothing.
TEST(ProcOpsColorReduce, FormatGuard) {
  TRGB pal[16];
  const std::function<void(TVexlaneProc&)> ops[] = {
      [](TVexlaneProc& p) { p.ConvertToGray(); },
      [](TVexlaneProc& p) { p.ConvertToSepia(20); },
      [](TVexlaneProc& p) { p.ConvertTo(2, vxOrdered); },
      [](TVexlaneProc& p) { p.ConvertTo(16, vxDithering); },
      [](TVexlaneProc& p) { EXPECT_FALSE(p.ConvertTo(vx8g, vxptFixedGray256, vxdtSolid, false)); },
      [&](TVexlaneProc& p) { p.ConvertToPalette(16, pal, vxThreshold); },
      [](TVexlaneProc& p) { p.ConvertToBWOrdered(); },
      [](TVexlaneProc& p) { p.ConvertToBWThreshold(128); },
      [](TVexlaneProc& p) { p.ConvertToBW_FloydSteinberg(); },
      [](TVexlaneProc& p) { p.ConvertTo24Bit(); },
      [&](TVexlaneProc& p) { p.CalcImagePalette(std::span<TRGB>(pal), 16); },
  };
  int index = 0;
  for (const auto& op : ops) {
    SCOPED_TRACE(index++);
    // vx32RGB is outside every allowed set here.
    TVXBitmap b(5, 4, vx32RGB);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 20; ++x) Row(b, y)[x] = uint8_t(x * 13 + y * 50);
    TVXBitmap copy(&b);
    RecordingProc proc;
    proc.SetAutoUndo(true);
    proc.SetAutoConvertFormat(false);
    proc.SetAttachedVXBitmap(&b);
    EventLog log;
    log.Attach(proc);
    op(proc);
    EXPECT_EQ(b.PixelFormat(), vx32RGB);
    EXPECT_TRUE(VXBitmapsEqual(&b, &copy));
    log.ExpectNone();

    proc.SetAttachedVXBitmap(nullptr);
    op(proc);
    log.ExpectNone();
  }

  // With AutoConvertFormat a grey image is made vx24RGB first.
  TVXBitmap g(4, 2, vx8g);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) Row(g, y)[x] = uint8_t(40 * x + 100 * y);
  TVexlaneProc proc;
  proc.SetAttachedVXBitmap(&g);
  proc.ConvertToSepia(10);
  ASSERT_EQ(g.PixelFormat(), vx24RGB);
  EXPECT_EQ(RGBRow(g, 1)[3], (TRGB{220, 230, 240}));
}

TEST(ProcOpsColorReduce, CalcImagePalette) {
  TVXBitmap b(4, 1, vx24RGB);
  const TRGB c[4] = {{9, 8, 7}, {1, 2, 3}, {9, 8, 7}, {200, 100, 0}};
  for (int x = 0; x < 4; ++x) RGBRow(b, 0)[x] = c[x];
  TVXBitmap copy(&b);
  TVexlaneProc proc;
  proc.SetAttachedVXBitmap(&b);
  EventLog log;
  log.Attach(proc);

  // The exact palette, in scan order; the image does not change.
  std::vector<TRGB> pal(8, TRGB{5, 5, 5});
  proc.CalcImagePalette(pal, 8);
  EXPECT_EQ(pal[0], c[0]);
  EXPECT_EQ(pal[1], c[1]);
  EXPECT_EQ(pal[2], c[3]);
  EXPECT_TRUE(VXBitmapsEqual(&b, &copy));
  log.ExpectNone();

  // A palette smaller than the colour count asked for is filled, not overrun.
  std::vector<TRGB> storage(4, TRGB{5, 5, 5});
  proc.CalcImagePalette(std::span<TRGB>(storage.data(), 2), 8);
  EXPECT_EQ(storage[2], (TRGB{5, 5, 5}));
  EXPECT_EQ(storage[3], (TRGB{5, 5, 5}));
  proc.CalcImagePalette(std::span<TRGB>(), 8);  // nothing to fill
}
