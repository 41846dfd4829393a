// TVexlaneProc: construction, attachment, the operation frame; the small
// numeric and colour routines.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "proc/proc.h"

namespace {

TEST(ProcFrame, ConstructionAndAttachment) {
  TVexlaneProc plain;
  EXPECT_FALSE(plain.AutoUndo());
  EXPECT_TRUE(plain.AutoConvertFormat());
  EXPECT_EQ(plain.Background(), 0);
  EXPECT_EQ(plain.UndoLimit(), 1);
  EXPECT_EQ(plain.UndoLocation(), vxFile);
  EXPECT_EQ(plain.VexlaneVersion(), "6.0.0");
  EXPECT_EQ(plain.PreviewsParams(), (1u << prppShowResetButton) | (1u << prppHardReset));
  ASSERT_NE(plain.AttachedVXBitmap(), nullptr);  // its own, empty bitmap
  EXPECT_TRUE(plain.AttachedVXBitmap()->IsEmpty());

  TComponent owner;
  TVexlaneProc owned(&owner);
  EXPECT_TRUE(owned.AutoUndo());

  TVXBitmap b(8, 6, vx24RGB);
  auto proc = TVexlaneProc::CreateFromBitmap(&b);
  EXPECT_FALSE(proc->AutoUndo());
  EXPECT_EQ(proc->AttachedVXBitmap(), &b);

  // Without a bitmap every operation does nothing.
  proc->SetAttachedVXBitmap(nullptr);
  EXPECT_EQ(proc->AttachedVXBitmap(), nullptr);
  EXPECT_FALSE(proc->CheckFormat(TVXPixelFormatSet()));
  int finished = 0;
  proc->OnFinishWork = [&](void*) { ++finished; };
  proc->Resample(3, 3, rfMitchell, false);
  EXPECT_EQ(finished, 0);
  EXPECT_EQ(b.Width(), 8);

  // Detaching a viewer (nil) gives a fresh own bitmap.
  proc->SetAttachedVXBitmap(&b);
  proc->SetAttachedVexlane(nullptr);
  ASSERT_NE(proc->AttachedVXBitmap(), nullptr);
  EXPECT_NE(proc->AttachedVXBitmap(), &b);
  EXPECT_EQ(b.Width(), 8);  // the borrowed bitmap is untouched
}

TEST(ProcFrame, OperationFrame) {
  TVXBitmap b(5, 3, vx8g);
  TVexlaneProc proc;
  proc.SetAttachedVXBitmap(&b);
  std::vector<std::string> events;
  proc.OnProgress = [&](void* sender, int32_t per) {
    EXPECT_EQ(sender, &proc);
    events.push_back("progress " + std::to_string(per));
  };
  proc.OnFinishWork = [&](void* sender) {
    EXPECT_EQ(sender, &proc);
    events.push_back("finish");
  };

  int32_t x1 = -1, y1 = -1, x2 = -1, y2 = -1;
  TVXBitmap* work = nullptr;
  TVXMask* mask = reinterpret_cast<TVXMask*>(&b);
  ASSERT_TRUE(proc.BeginImageProcessing(TVXPixelFormatSet(), x1, y1, x2, y2, "Negative", work, mask));
  EXPECT_EQ(work, &b);
  EXPECT_EQ(mask, nullptr);
  EXPECT_EQ(x1, 0);
  EXPECT_EQ(y1, 0);
  EXPECT_EQ(x2, 5);
  EXPECT_EQ(y2, 3);
  proc.EndImageProcessing(work, mask);
  proc.DoFinishWork();
  EXPECT_EQ(events, (std::vector<std::string>{"progress 100", "finish"}));

  // The format guard: refused without AutoConvertFormat...
  proc.SetAutoConvertFormat(false);
  EXPECT_FALSE(proc.BeginImageProcessing(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, "Op", work, mask));
  EXPECT_EQ(b.PixelFormat(), vx8g);
  EXPECT_FALSE(proc.BeginImageAnalysis(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, work, mask));
  // ...converted with it.
  proc.SetAutoConvertFormat(true);
  ASSERT_TRUE(proc.BeginImageAnalysis(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, work, mask));
  EXPECT_EQ(b.PixelFormat(), vx24RGB);
  EXPECT_EQ(work, &b);
  proc.EndImageAnalysis(work);
  EXPECT_EQ(proc.DpiX(), VXGetGlobalSettings()->DefaultDPIX());
}

TEST(ProcHelpers, Numbers) {
  EXPECT_EQ(VXClampInt(5, 10, 0), 10);  // the lower bound is tested first
  EXPECT_EQ(VXClampInt(-3, 0, 9), 0);
  EXPECT_EQ(VXClampInt(12, 0, 9), 9);
  EXPECT_EQ(VXClampInt(4, 0, 9), 4);
  EXPECT_EQ(VXClampByte(-1), 0);
  EXPECT_EQ(VXClampByte(300), 255);
  EXPECT_EQ(VXClampWord(70000), 65535);
  EXPECT_EQ(VXClampWord(-70000), 0);
  EXPECT_EQ(VXCeil(1.25), 2);
  EXPECT_EQ(VXCeil(-1.25), -1);
  EXPECT_EQ(VXCeil(3.0), 3);
  EXPECT_EQ(VXFloor(-1.25), -2);
  EXPECT_EQ(VXFloor(1.75), 1);
  EXPECT_EQ(VXFloor(-2.0), -2);
  // On equality the second argument.
  EXPECT_TRUE(std::signbit(VXMinDouble(0.0, -0.0)));
  EXPECT_FALSE(std::signbit(VXMaxDouble(-0.0, 0.0)));
  EXPECT_EQ(VXMinInt64(-5, 3), -5);
  EXPECT_EQ(VXMaxInt(-5, 3), 3);
  EXPECT_EQ(VXMinUInt64(~0ull, 7ull), 7ull);
  int32_t x1 = 9, y1 = 1, x2 = 2, y2 = 5;
  VXOrderCorners(x1, y1, x2, y2);
  EXPECT_EQ(x1, 2);
  EXPECT_EQ(x2, 9);
  EXPECT_EQ(y1, 1);
  EXPECT_EQ(y2, 5);
}

TEST(ProcHelpers, Colours) {
  EXPECT_EQ(VXMakeRGB(1, 2, 3), (TRGB{3, 2, 1}));
  EXPECT_EQ(VXMakeRGB48(1, 2, 3), (TRGB48{1, 2, 3}));
  EXPECT_EQ(VXMakeRGBA(0x11, 0x22, 0x33, 0x44), 0x44112233u);
  EXPECT_EQ(VXTRGBToColor(TRGB{0x33, 0x22, 0x11}), 0x332211);
  EXPECT_EQ(VXColorToTRGB(0x332211), (TRGB{0x33, 0x22, 0x11}));
  EXPECT_EQ(VXColorToTRGBA(0x332211, 9), (TRGBA{0x33, 0x22, 0x11, 9}));
  EXPECT_TRUE(VXSameRGB(TRGB{1, 2, 3}, TRGB{1, 2, 3}));
  EXPECT_FALSE(VXSameRGB(TRGB{1, 2, 3}, TRGB{1, 2, 4}));
  // Grey by the settings' coefficients, read on every call.
  EXPECT_EQ(VXRGBToGray(TRGB{100, 100, 100}), 100);
  EXPECT_EQ(VXRGBToGray(TRGB{0, 0, 200}), 42);  // red 200 * 21 / 100
  auto* s = VXGetGlobalSettings();
  const int32_t red = s->RedToGrayCoef();
  s->SetRedToGrayCoef(50);
  EXPECT_EQ(VXRGBToGray(TRGB{0, 0, 200}), 100);
  s->SetRedToGrayCoef(red);
}

TEST(ProcHelpers, AverageChannels) {
  int32_t r = 0, g = 0, b = 0;
  TVXBitmap empty;
  VXCalcAverageChannels(&empty, r, g, b);
  EXPECT_EQ(r, 128);
  EXPECT_EQ(g, 128);
  EXPECT_EQ(b, 128);

  // Rows are averaged first (integer division by the width), then the rows.
  TVXBitmap c(3, 2, vx24RGB);
  uint8_t* p0 = static_cast<uint8_t*>(c.GetScanLine(0));
  uint8_t* p1 = static_cast<uint8_t*>(c.GetScanLine(1));
  const uint8_t row0[9] = {0, 0, 10, 0, 0, 10, 0, 0, 11};  // red 10, 10, 11
  const uint8_t row1[9] = {3, 255, 0, 3, 255, 0, 3, 255, 0};
  std::memcpy(p0, row0, 9);
  std::memcpy(p1, row1, 9);
  VXCalcAverageChannels(&c, r, g, b);
  EXPECT_EQ(r, 5);    // (31 / 3 + 0) / 2
  EXPECT_EQ(g, 127);  // (0 + 255) / 2
  EXPECT_EQ(b, 1);    // (0 + 3) / 2

  TVXBitmap bits(8, 1, vx1g);
  static_cast<uint8_t*>(bits.GetScanLine(0))[0] = 0xF0;
  VXCalcAverageChannels(&bits, r, g, b);
  EXPECT_EQ(r, 127);  // 4 * 255 / 8

  TVXBitmap words(2, 1, vx16g);
  const uint16_t w[2] = {65535, 0x8000};
  std::memcpy(words.GetScanLine(0), w, 4);
  VXCalcAverageChannels(&words, r, g, b);
  EXPECT_EQ(r, (255 + 0x8000 * 255 / 65535) / 2);

  TVXBitmap pal(1, 1, vx8p);
  pal.SetPalette(3, TRGB{10, 20, 30});
  static_cast<uint8_t*>(pal.GetScanLine(0))[0] = 3;
  VXCalcAverageChannels(&pal, r, g, b);
  EXPECT_EQ(r, 30);
  EXPECT_EQ(g, 20);
  EXPECT_EQ(b, 10);

  // Floats: Trunc(value * 255); a value without an integer part (NaN,
  // infinity) cannot be read, and the failure path gives 128.
  struct FloatCase {
    float a, b;
    int32_t expected;
  };
  const FloatCase floats[] = {
      {0.5f, 1.0f, (127 + 255) / 2},
      {-0.5f, 0.0f, -63},
      {std::nanf(""), 1.0f, 128},
      {1.0f, INFINITY, 128},
  };
  for (const FloatCase& c : floats) {
    TVXBitmap f(2, 1, vx32f);
    const float v[2] = {c.a, c.b};
    std::memcpy(f.GetScanLine(0), v, 8);
    VXCalcAverageChannels(&f, r, g, b);
    EXPECT_EQ(r, c.expected) << c.a << " " << c.b;
    EXPECT_EQ(b, c.expected) << c.a << " " << c.b;
  }
}

TEST(ProcHelpers, TransparentPixelsColor) {
  TVXBitmap b(3, 1, vx24RGB);
  TVXBitmap* a = b.AlphaChannel();
  uint8_t* ap = static_cast<uint8_t*>(a->GetScanLine(0));
  ap[0] = 0, ap[1] = 10, ap[2] = 0;
  VXSetTransparentPixelsColor(&b, TRGB{1, 2, 3});
  const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(0));
  EXPECT_EQ(std::vector<uint8_t>(p, p + 9), (std::vector<uint8_t>{1, 2, 3, 0, 0, 0, 1, 2, 3}));
  // Other formats are left alone.
  TVXBitmap g(2, 1, vx8g);
  g.AlphaChannel();
  VXSetTransparentPixelsColor(&g, TRGB{1, 2, 3});
  EXPECT_EQ(static_cast<const uint8_t*>(g.GetScanLine(0))[0], 0);
}

}  // namespace
