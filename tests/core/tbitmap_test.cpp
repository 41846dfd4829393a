// Bitmaps kept in platform bitmaps (location vxTBitmap), their canvases, the
// copies between library bitmaps, platform bitmaps, DIB sections and DIBs.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/dib.h"
#include "core/dibbitmap.h"
#include "core/printlog.h"
#include "core/settings.h"
#include "core/tbitmaputils.h"
#include "gui/graphics.h"

#include "../winui/pinned_fonts.h"

namespace {

// Pixel bytes of every row (padding excluded), top row first.
std::vector<uint8_t> Pixels(const TVXBitmap& b) {
  std::vector<uint8_t> out;
  const int64_t n = (int64_t(b.Width()) * b.BitCount() + 7) / 8;
  for (int32_t y = 0; y < b.Height(); ++y) {
    const auto* p = static_cast<const uint8_t*>(b.GetScanLine(y));
    out.insert(out.end(), p, p + n);
  }
  return out;
}

std::vector<uint8_t> Pixels(TBitmap& b) {
  std::vector<uint8_t> out;
  const size_t n = (size_t(b.Width()) * size_t(b.BitsPerPixel()) + 7) / 8;
  for (int y = 0; y < b.Height(); ++y) {
    const auto* p = static_cast<const uint8_t*>(b.ScanLine(y));
    out.insert(out.end(), p, p + n);
  }
  return out;
}

// A bitmap of odd size with distinct pixels in every format.
std::unique_ptr<TVXBitmap> Pattern(TVXPixelFormat pf, int32_t w = 7, int32_t h = 5,
                                   TVXLocation where = vxMemory) {
  auto b = std::make_unique<TVXBitmap>();
  b->SetLocation(where);
  EXPECT_TRUE(b->Allocate(w, h, pf));
  if (pf == vx8p)
    for (int i = 0; i < 256; ++i) b->SetPalette(i, TRGB{uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7)});
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) switch (pf) {
        case vx1g: b->SetPixels_vx1g(x, y, (x * 3 + y) % 5 < 2); break;
        case vx8g:
        case vx8p: b->SetPixels_vx8(x, y, uint8_t(x * 19 + y * 37)); break;
        case vx16g: b->SetPixels_vx16g(x, y, uint16_t(x * 4000 + y * 700)); break;
        case vx32f: b->SetPixels_vx32f(x, y, float(x + y) / float(w + h)); break;
        case vx24RGB: b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * y * 5), uint8_t(y * 40), uint8_t(x * 17)}); break;
        case vx32RGB: b->SetPixels_vx32RGB(x, y, TRGBA{uint8_t(x * 9), uint8_t(y * 30), uint8_t(x + y), uint8_t(x * 20)}); break;
        default: break;
      }
  return b;
}

std::vector<RGBQUAD> GreyTable() {
  std::vector<RGBQUAD> t(256);
  for (int i = 0; i < 256; ++i) t[size_t(i)] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  return t;
}

}  // namespace

TEST(TBitmapLocation, CanvasMovesAMemoryBitmapKeepingItsPixels) {
  auto b = Pattern(vx24RGB);
  const auto before = Pixels(*b);
  ASSERT_EQ(b->Location(), vxMemory);
  TCanvas* c = b->Canvas();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(b->Location(), vxTBitmap);
  EXPECT_EQ(b->PixelFormat(), vx24RGB);
  EXPECT_EQ(b->VclBitmap()->PixelFormat(), pf24bit);
  EXPECT_EQ(Pixels(*b), before);
  EXPECT_EQ(Pixels(*b->VclBitmap()), before);
  // Row i is the platform bitmap's scan line i.
  for (int32_t y = 0; y < b->Height(); ++y) EXPECT_EQ(b->GetScanLine(y), b->VclBitmap()->ScanLine(y));
  EXPECT_EQ(b->Memory(), b->VclBitmap()->ScanLine(b->Height() - 1));
  // And back into memory, pixels kept.
  b->SetLocation(vxMemory);
  EXPECT_EQ(b->Location(), vxMemory);
  EXPECT_EQ(Pixels(*b), before);
}

TEST(TBitmapLocation, CanvasDrawsOnTheRowThatGetScanLineReports) {
  for (TVXBitmapOrigin origin : {vxboBOTTOMLEFT, vxboTOPLEFT}) {
    SCOPED_TRACE(int(origin));
    TVXBitmap b(9, 6, vx24RGB);
    b.Fill(0xFFFFFF);
    b.SetOrigin(origin);
    TCanvas* c = b.Canvas();
    c->Pen()->SetColor(clRed);
    c->MoveTo(0, 0);
    c->LineTo(9, 0);
    c->Brush()->SetColor(clBlue);
    c->FillRect(TRect{2, 3, 5, 5});  // rows 3 and 4, columns 2 to 4
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 9; ++x) {
        const TRGB p = b.Pixels_vx24RGB(x, y);
        const bool red = y == 0, blue = y >= 3 && y <= 4 && x >= 2 && x <= 4;
        const TRGB want = red ? TRGB{0, 0, 255} : blue ? TRGB{255, 0, 0} : TRGB{255, 255, 255};
        ASSERT_EQ(p, want) << x << "," << y;
      }
    EXPECT_EQ(c->Pixels(1, 0), TColor(clRed));
  }
}

TEST(TBitmapLocation, AllocationFollowsWhatAPlatformBitmapHolds) {
  struct Case {
    TVXPixelFormat asked;
    bool ok;
    TVXPixelFormat got;
    TPixelFormat platform;
  };
  const Case cases[] = {{vx1g, true, vx1g, pf1bit},         {vx8g, true, vx8g, pf8bit},
                        {vx8p, true, vx8p, pf8bit},         {vx16g, true, vx8g, pf8bit},
                        {vx24RGB, true, vx24RGB, pf24bit},  {vx32RGB, true, vx32RGB, pf32bit},
                        {vx48RGB, false, vx48RGB, pfCustom}, {vx32f, false, vx32f, pfCustom},
                        {vxCMYK, false, vxCMYK, pfCustom},  {vxCIELab, false, vxCIELab, pfCustom}};
  for (const Case& k : cases) {
    SCOPED_TRACE(int(k.asked));
    TVXBitmap b;
    b.SetLocation(vxTBitmap);
    EXPECT_EQ(b.Allocate(11, 3, k.asked), k.ok);
    EXPECT_EQ(b.Location(), vxTBitmap);
    if (!k.ok) {
      EXPECT_EQ(b.Width(), 0);
      EXPECT_EQ(b.Height(), 0);
      continue;
    }
    EXPECT_EQ(b.PixelFormat(), k.got);
    EXPECT_EQ(b.Width(), 11);
    EXPECT_EQ(b.RowLen(), int64_t(b.VclBitmap()->RowBytes()));
    EXPECT_EQ(b.VclBitmap()->PixelFormat(), k.platform);
    EXPECT_EQ(b.TBitmapScanlines().size(), 3u);
  }
}

TEST(TBitmapLocation, GreyTableMakesAnEightBitBitmapGrey) {
  TBitmap platform(5, 4, pf8bit);
  platform.SetPalette(GreyTable());
  TVXBitmap b;
  b.EncapsulateTBitmap(&platform, true);
  EXPECT_TRUE(b.EncapsulatedFromTBitmap());
  EXPECT_EQ(b.Location(), vxTBitmap);
  EXPECT_EQ(b.PixelFormat(), vx8g);
  EXPECT_TRUE(VXHasGrayPalette(&platform));
  std::vector<RGBQUAD> one{RGBQUAD{9, 9, 10, 0}};
  platform.SetPalette(one);  // entry 0 changes
  EXPECT_FALSE(VXHasGrayPalette(&platform));
  EXPECT_EQ(b.PixelFormat(), vx8p);
  EXPECT_EQ(b.Palette(0), (TRGB{9, 9, 10}));
  EXPECT_EQ(b.Palette(200), (TRGB{200, 200, 200}));
  // A palette write reaches the platform's colour table.
  b.SetPalette(3, TRGB{1, 2, 3});
  EXPECT_EQ(platform.Palette()[3].rgbRed, 3);
  EXPECT_EQ(platform.Palette()[3].rgbBlue, 1);
  // The caller resizes its bitmap: the wrapper follows.
  platform.SetSize(7, 2);
  EXPECT_EQ(b.Width(), 7);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.GetScanLine(1), platform.ScanLine(1));
  EXPECT_EQ(b.GetScanLine(2), nullptr);
}

TEST(TBitmapLocation, EncapsulationKeepsTheCallersBitmapAndRefusesOddFormats) {
  {
    auto platform = std::make_unique<TBitmap>(6, 3, pf24bit);
    {
      TVXBitmap b;
      b.EncapsulateTBitmap(platform.get(), true);
      ASSERT_TRUE(b.Allocate(4, 2, vx24RGB));  // reuses the caller's bitmap
      EXPECT_EQ(b.VclBitmap(), platform.get());
      EXPECT_EQ(platform->Width(), 4);
      b.SetPixels_vx24RGB(1, 1, TRGB{10, 20, 30});
      // Resizing the wrapper resizes the caller's bitmap and keeps pixels.
      b.SetWidth(9);
      EXPECT_EQ(platform->Width(), 9);
      EXPECT_EQ(b.Pixels_vx24RGB(1, 1), (TRGB{10, 20, 30}));
    }
    // The wrapper is gone; the caller's bitmap is alive and holds the pixel.
    EXPECT_EQ(static_cast<uint8_t*>(platform->ScanLine(1))[3], 10);
  }
  for (TPixelFormat pf : {pf4bit, pf15bit, pf16bit, pfDevice}) {
    SCOPED_TRACE(int(pf));
    TBitmap odd(3, 3, pf);
    TVXBitmap b(2, 2, vx8g);
    EXPECT_THROW(b.EncapsulateTBitmap(&odd, false), EVXException);
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(b.Location(), vxMemory);
  }
}

TEST(TBitmapLocation, AssignIntoAPlatformBitmap) {
  // vx16g becomes vx8g (the high bytes); formats it cannot hold raise and
  // leave the target as it was.
  auto grey16 = Pattern(vx16g);
  TVXBitmap t;
  t.SetLocation(vxTBitmap);
  t.Assign(grey16.get());
  EXPECT_EQ(t.PixelFormat(), vx8g);
  EXPECT_EQ(t.Location(), vxTBitmap);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) ASSERT_EQ(t.Pixels_vx8(x, y), grey16->Pixels_vx16g(x, y) >> 8);
  const auto kept = Pixels(t);
  for (TVXPixelFormat pf : {vx32f, vxCMYK, vx48RGB, vxCIELab}) {
    SCOPED_TRACE(int(pf));
    TVXBitmap src(3, 3, pf);
    EXPECT_THROW(t.Assign(&src), EVXException);
    EXPECT_THROW(t.AssignImage(&src), EVXException);
    EXPECT_EQ(t.PixelFormat(), vx8g);
    EXPECT_EQ(Pixels(t), kept);
  }
  // A palette image keeps its colours in the platform's colour table.
  auto pal = Pattern(vx8p);
  t.Assign(pal.get());
  EXPECT_EQ(t.PixelFormat(), vx8p);
  EXPECT_EQ(Pixels(t), Pixels(*pal));
  EXPECT_EQ(t.VclBitmap()->Palette()[5].rgbBlue, 15);
  EXPECT_EQ(t.VclBitmap()->Palette()[5].rgbGreen, 250);
}

TEST(TBitmapCopies, CopyFromTBitmapFollowsEachPlatformFormat) {
  // One 3 x 2 platform bitmap per format, its raw pixels written directly.
  struct Case {
    TPixelFormat pf;
    std::vector<uint8_t> row0;  // bytes of row 0
    TVXPixelFormat want;
    std::vector<TRGB> colours;  // pixels (0,0), (1,0), (2,0) as colours
    // Held by the platform bitmap, when they differ: the window layer widens
    // 16-bit fields as the platform does, their top bits repeated below them.
    std::vector<TRGB> platform = {};
  };
  const std::vector<Case> cases = {
      {pf1bit, {0xA0}, vx1g, {{255, 255, 255}, {0, 0, 0}, {255, 255, 255}}},
      {pf4bit, {0x9C, 0x30}, vx8p, {{0, 0, 255}, {255, 0, 0}, {0, 128, 128}}},
      {pf8bit, {7, 200, 33}, vx8p, {{7, 7, 7}, {200, 200, 200}, {33, 33, 33}}},
      {pf15bit, {0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C}, vx24RGB, {{248, 248, 248}, {248, 0, 0}, {0, 0, 248}},
       {{255, 255, 255}, {255, 0, 0}, {0, 0, 255}}},
      {pf16bit, {0xFF, 0xFF, 0x1F, 0x00, 0xE0, 0x07}, vx24RGB, {{248, 252, 248}, {248, 0, 0}, {0, 252, 0}},
       {{255, 255, 255}, {255, 0, 0}, {0, 255, 0}}},
      {pf24bit, {1, 2, 3, 4, 5, 6, 7, 8, 9}, vx24RGB, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}},
      {pf32bit, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, vx32RGB, {{1, 2, 3}, {5, 6, 7}, {9, 10, 11}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(int(k.pf));
    TBitmap src(3, 2, k.pf);
    std::memcpy(src.ScanLine(0), k.row0.data(), k.row0.size());
    const auto before = Pixels(src);
    for (TVXLocation where : {vxMemory, vxTBitmap}) {
      TVXBitmap b;
      b.SetLocation(where);
      b.CopyFromTBitmap(&src);
      EXPECT_EQ(Pixels(src), before);  // the caller's bitmap never changes
      EXPECT_EQ(src.PixelFormat(), k.pf);
      ASSERT_EQ(b.Width(), 3);
      ASSERT_EQ(b.Height(), 2);
      if (where == vxMemory) EXPECT_EQ(b.PixelFormat(), k.want);
      for (int x = 0; x < 3; ++x) {
        const TRGB p = b.Pixels(x, 0);
        const auto& want = where == vxTBitmap && !k.platform.empty() ? k.platform : k.colours;
        EXPECT_EQ(p, want[size_t(x)]) << "x " << x << " location " << int(where);
      }
    }
  }
  // Devices and custom formats are not taken.
  TVXBitmap b(2, 2, vx8g);
  TBitmap none;
  b.CopyFromTBitmap(&none);
  EXPECT_EQ(b.Width(), 2);
}

TEST(TBitmapCopies, CopyToTBitmapAndBackGivesEveryFormat) {
  for (TVXPixelFormat pf : {vx1g, vx8p, vx8g, vx24RGB, vx32RGB}) {
    SCOPED_TRACE(int(pf));
    auto src = Pattern(pf);
    TBitmap platform;
    src->CopyToTBitmap(&platform);
    TVXBitmap back;
    back.CopyFromTBitmap(&platform);
    EXPECT_EQ(back.PixelFormat(), pf == vx8g ? vx8p : pf);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x) ASSERT_EQ(back.Pixels(x, y), src->Pixels(x, y)) << x << "," << y;
  }
  // Grey words and floats become grey bytes.
  for (TVXPixelFormat pf : {vx16g, vx32f}) {
    SCOPED_TRACE(int(pf));
    auto src = Pattern(pf);
    TBitmap platform;
    src->CopyToTBitmap(&platform);
    EXPECT_EQ(platform.PixelFormat(), pf8bit);
    EXPECT_TRUE(VXHasGrayPalette(&platform));
    for (int32_t x = 0; x < 7; ++x) {
      const uint8_t want = pf == vx16g ? uint8_t(src->Pixels_vx16g(x, 2) >> 8)
                                       : uint8_t(std::trunc(src->Pixels_vx32f(x, 2) * 255.0));
      EXPECT_EQ(static_cast<uint8_t*>(platform.ScanLine(2))[x], want) << x;
    }
  }
  struct Refused {
    TVXPixelFormat pf;
    const char* message;
  };
  for (Refused r : {Refused{vxCMYK, "CMYK to TBitmap not supported"}, Refused{vx48RGB, "RGB48 to TBitmap not supported"},
                    Refused{vxCIELab, "CIELab to TBitmap not supported"}}) {
    TVXBitmap src(4, 4, r.pf);
    TBitmap platform(8, 8, pf24bit);
    try {
      src.CopyToTBitmap(&platform);
      ADD_FAILURE() << "no exception for " << r.message;
    } catch (const EVXException& e) {
      EXPECT_STREQ(e.what(), r.message);
    }
    EXPECT_EQ(platform.Width(), 1);
    EXPECT_EQ(platform.Height(), 1);
  }
}

TEST(TBitmapCopies, ConstructorTakesARectangleOfAPlatformBitmap) {
  auto src = Pattern(vx24RGB, 10, 8);
  TBitmap platform;
  src->CopyToTBitmap(&platform);
  TVXBitmap part(&platform, TRect{2, 3, 6, 4});
  ASSERT_EQ(part.Width(), 5);
  ASSERT_EQ(part.Height(), 2);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(part.Pixels(x, y), src->Pixels(x + 2, y + 3));
}

TEST(TBitmapConvert, PlatformTransitions) {
  auto* s = VXGetGlobalSettings();
  const int32_t kr = s->RedToGrayCoef(), kg = s->GreenToGrayCoef(), kb = s->BlueToGrayCoef();
  s->SetRedToGrayCoef(21);
  s->SetGreenToGrayCoef(71);
  s->SetBlueToGrayCoef(8);
  {
    auto b = Pattern(vx24RGB, 7, 5, vxTBitmap);
    TVXBitmap ref(b.get());
    b->SetPixelFormat(vx8g);
    EXPECT_EQ(b->Location(), vxTBitmap);
    EXPECT_EQ(b->VclBitmap()->PixelFormat(), pf8bit);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x) {
        const TRGB p = ref.Pixels_vx24RGB(x, y);
        ASSERT_EQ(b->Pixels_vx8(x, y), (21 * p.r + 71 * p.g + 8 * p.b) / 100) << x << "," << y;
      }
  }
  s->SetRedToGrayCoef(kr);
  s->SetGreenToGrayCoef(kg);
  s->SetBlueToGrayCoef(kb);
  {
    auto b = Pattern(vx1g, 7, 5, vxTBitmap);
    TVXBitmap ref(b.get());
    b->SetPixelFormat(vx24RGB);
    EXPECT_EQ(b->VclBitmap()->PixelFormat(), pf24bit);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x) {
        const uint8_t v = ref.Pixels_vx1g(x, y) ? 255 : 0;
        ASSERT_EQ(b->Pixels_vx24RGB(x, y), (TRGB{v, v, v})) << x << "," << y;
      }
  }
  // Palette to colour through the colour table; colour to 32 bits; others
  // through memory, ending in the platform bitmap again.
  struct Case {
    TVXPixelFormat from, to;
    TPixelFormat platform;
  };
  for (Case k : {Case{vx8p, vx24RGB, pf24bit}, Case{vx24RGB, vx32RGB, pf32bit}, Case{vx32RGB, vx24RGB, pf24bit},
                 Case{vx24RGB, vx8p, pf8bit}, Case{vx8g, vx1g, pf1bit}}) {
    SCOPED_TRACE(::testing::Message() << int(k.from) << " to " << int(k.to));
    auto b = Pattern(k.from, 7, 5, vxTBitmap);
    TVXBitmap ref(b.get());
    ref.SetLocation(vxMemory);
    ref.SetPixelFormat(k.to);
    b->SetPixelFormat(k.to);
    EXPECT_EQ(b->Location(), vxTBitmap);
    EXPECT_EQ(b->VclBitmap()->PixelFormat(), k.platform);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x) ASSERT_EQ(b->Pixels(x, y), ref.Pixels(x, y)) << x << "," << y;
  }
  // A format no platform bitmap holds raises and keeps the image.
  auto b = Pattern(vx24RGB, 7, 5, vxTBitmap);
  const auto before = Pixels(*b);
  EXPECT_THROW(b->SetPixelFormat(vx48RGB), EVXException);
  EXPECT_EQ(b->PixelFormat(), vx24RGB);
  EXPECT_EQ(Pixels(*b), before);
}

TEST(TBitmapUtils, CopiesAndClonesOfPlatformBitmaps) {
  TBitmap empty;
  empty.SetPixelFormat(pf8bit);
  TBitmap dest(5, 5, pf24bit);
  VXCopyTBitmap(&empty, &dest);
  EXPECT_EQ(dest.Width(), 1);
  EXPECT_EQ(dest.Height(), 1);
  EXPECT_EQ(dest.PixelFormat(), pf8bit);

  auto src = Pattern(vx8p, 9, 4);
  TBitmap platform;
  src->CopyToTBitmap(&platform);
  auto clone = VXCloneTBitmap(&platform);
  EXPECT_EQ(clone->PixelFormat(), pf8bit);
  EXPECT_EQ(Pixels(*clone), Pixels(platform));
  EXPECT_EQ(clone->Palette()[7].rgbRed, platform.Palette()[7].rgbRed);
  EXPECT_NE(clone->ScanLine(0), platform.ScanLine(0));
}

TEST(TBitmapCanvas, CurrentAlphaDrawsGreyLevelsIntoAnAlphaChannel) {
  TVXBitmap image(8, 6, vx24RGB);
  TVXBitmap* alpha = image.AlphaChannel();
  alpha->SetCanvasCurrentAlpha(100);
  EXPECT_EQ(alpha->Location(), vxTBitmap);
  EXPECT_EQ(alpha->PixelFormat(), vx8g);
  EXPECT_EQ(alpha->VclBitmap()->PixelFormat(), pf8bit);
  alpha->Canvas()->FillRect(TRect{1, 1, 4, 3});
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      const bool in = x >= 1 && x < 4 && y >= 1 && y < 3;
      ASSERT_EQ(alpha->Pixels_vx8(x, y), in ? 100 : 255) << x << "," << y;
    }
  EXPECT_EQ(image.Alpha(2, 2), 100);
}

TEST(TBitmapRender, CanvasWithAlphaEqualsRenderingIntoTheSamePixels) {
  auto src = Pattern(vx24RGB, 6, 4);
  TVXBitmap* a = src->AlphaChannel();
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 6; ++x) a->SetPixels_vx8(x, y, uint8_t(128 + x * 10 - y * 20));
  auto background = Pattern(vx24RGB, 12, 9);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 12; ++x) background->SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 20), 90, uint8_t(y * 25)});
  // The oracle: rendering into a library bitmap holding the same pixels.
  TVXBitmap ref(background.get());
  src->RenderToTVXBitmapEx(&ref, 3, 2, 6, 4, 0, 0, 6, 4, true, 255, rfNone, vxlNormal, 1);
  // Into a canvas: a platform bitmap with those pixels.
  TBitmap platform;
  background->CopyToTBitmap(&platform);
  src->DrawToCanvasWithAlpha(platform.Canvas(), 3, 2, 255, 1);
  TVXBitmap got;
  got.CopyFromTBitmap(&platform);
  EXPECT_EQ(Pixels(got), Pixels(ref));
  // RenderToTBitmapEx stretches into a 24-bit platform bitmap.
  TBitmap target;
  background->CopyToTBitmap(&target);
  src->RenderToTBitmapEx(&target, 3, 2, 6, 4, 0, 0, 6, 4, true, 255, rfNone, vxlNormal, 1);
  TVXBitmap got2;
  got2.CopyFromTBitmap(&target);
  EXPECT_EQ(Pixels(got2), Pixels(ref));
  TBitmap grey(4, 4, pf8bit);
  EXPECT_THROW(src->RenderToTBitmapEx(&grey, 0, 0, 4, 4, 0, 0, 6, 4, 255, rfNone, vxlNormal, 1), EVXException);
}

TEST(TDibBitmap, AllocationAndResizing) {
  TVXDibbitmap d;
  EXPECT_FALSE(d.Allocate(4, 4, vx8g));
  EXPECT_EQ(d.Bits(), nullptr);
  ASSERT_TRUE(d.AllocateBits(5, 3, 24));
  uint8_t* bits = d.Bits();
  HBITMAP section = d.DIB();
  EXPECT_EQ(d.Rowlen(), 16);
  EXPECT_EQ(d.PixelFormat(), vx24RGB);
  EXPECT_EQ(d.GetScanLine(0), bits + 2 * 16);  // bottom-up
  EXPECT_FALSE(d.AllocateBits(0, 5, 24));
  EXPECT_FALSE(d.AllocateBits(5, 0, 1));
  EXPECT_EQ(d.Bits(), bits);  // the previous section stays
  EXPECT_EQ(d.DIB(), section);
  EXPECT_EQ(d.Width(), 5);
  EXPECT_THROW(d.SetWidth(3), EVXException);
  try {
    d.SetHeight(3);
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Cannot resize TVXDibBitmap");
  }
  ASSERT_TRUE(d.Allocate(9, 2, vx1g));
  EXPECT_EQ(d.PixelFormat(), vx1g);
  EXPECT_EQ(d.Rowlen(), 4);
  // Its DC draws into the section.
  SetPixel(d.GetHDC(), 8, 0, RGB(255, 255, 255));
  EXPECT_EQ(static_cast<uint8_t*>(d.GetScanLine(0))[1], 0x80);
  TVXDibbitmap copy;
  copy.Assign(&d);
  EXPECT_EQ(copy.Width(), 9);
  EXPECT_EQ(static_cast<uint8_t*>(copy.GetScanLine(0))[1], 0x80);
  TBitmap platform;
  copy.CopyToTBitmap(&platform);
  EXPECT_EQ(platform.PixelFormat(), pf1bit);
  EXPECT_EQ(static_cast<uint8_t*>(platform.ScanLine(0))[1], 0x80);
}

TEST(TDibBitmap, CopiesBetweenBitmapsAndSections) {
  for (TVXPixelFormat pf : {vx1g, vx24RGB}) {
    SCOPED_TRACE(int(pf));
    auto src = Pattern(pf, 13, 6);
    TVXDibbitmap d;
    ASSERT_TRUE(d.Allocate(5, 4, pf));
    // A rectangle reaching past the bitmap is clipped to both sides.
    src->CopyToTDibBitmap(&d, 10, 3, 20, 20);
    TVXBitmap back;
    back.CopyFromTDibBitmap(&d);
    ASSERT_EQ(back.PixelFormat(), pf);
    ASSERT_EQ(back.Width(), 5);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(back.Pixels(x, y), src->Pixels(10 + x, 3 + y)) << x << "," << y;
    // Pasting at (-2, 4) of a copy: clipped on the left and at the bottom.
    TVXBitmap dest(src.get());
    dest.MergeFromTDibBitmap(&d, -2, 4);
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 13; ++x) {
        const bool in = x < 3 && y >= 4;
        const TRGB want = in ? back.Pixels(x + 2, y - 4) : src->Pixels(x, y);
        ASSERT_EQ(dest.Pixels(x, y), want) << x << "," << y;
      }
    // A mismatched format copies nothing.
    TVXBitmap other(4, 4, pf == vx1g ? vx24RGB : vx1g);
    other.Fill(0);
    const auto before = Pixels(other);
    other.MergeFromTDibBitmap(&d, 0, 0);
    other.CopyToTDibBitmap(&d, 0, 0, 4, 4);
    EXPECT_EQ(Pixels(other), before);
    TVXBitmap again;
    again.CopyFromTDibBitmap(&d);
    EXPECT_EQ(Pixels(again), Pixels(back));
  }
  TVXBitmap platformHeld;
  platformHeld.SetLocation(vxTBitmap);
  TVXDibbitmap d;
  ASSERT_TRUE(d.AllocateBits(3, 2, 24));
  std::memset(d.Bits(), 0x42, size_t(d.Rowlen()) * 2);
  platformHeld.CopyFromTDibBitmap(&d);
  EXPECT_EQ(platformHeld.Location(), vxTBitmap);
  EXPECT_EQ(platformHeld.VclBitmap()->PixelFormat(), pf24bit);
  EXPECT_EQ(platformHeld.Pixels(2, 1), (TRGB{0x42, 0x42, 0x42}));
}

TEST(TBitmapDIB, CreateDIBUsesTheDefaultResolutionAndCopyFromDIBReadsItBack) {
  auto* s = VXGetGlobalSettings();
  const int32_t dx = s->DefaultDPIX(), dy = s->DefaultDPIY();
  s->SetDefaultDPIX(150);
  s->SetDefaultDPIY(72);
  static std::vector<std::string> lines;
  lines.clear();
  const TVXPrintLogProc saved = VXPrintLogHook;
  VXPrintLogHook = [](const std::string& t) { lines.push_back(t); };
  for (TVXPixelFormat pf : {vx1g, vx8g, vx8p, vx24RGB, vx48RGB}) {
    SCOPED_TRACE(int(pf));
    auto src = Pattern(pf, 9, 5);
    if (pf == vx48RGB)
      for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 9; ++x)
          src->SetPixels_vx48RGB(x, y, TRGB48{uint16_t(x * 7000 + y), uint16_t(y * 9000 + 77), uint16_t(x * y * 900)});
    HGLOBAL h = src->CreateDIB();
    ASSERT_NE(h, nullptr);
    const auto* p = static_cast<const uint8_t*>(GlobalLock(h));
    auto u32 = [](const uint8_t* q) { return uint32_t(q[0]) | q[1] << 8 | q[2] << 16 | uint32_t(q[3]) << 24; };
    EXPECT_EQ(u32(p + 24), uint32_t(std::trunc(150 * 39.3700787)));
    EXPECT_EQ(u32(p + 28), uint32_t(std::trunc(72 * 39.3700787)));
    GlobalUnlock(h);
    TVXBitmap back;
    back.CopyFromDIB(h);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 9; ++x) ASSERT_EQ(back.Pixels(x, y), src->Pixels(x, y)) << x << "," << y;
    // The header and the pixels given apart.
    const auto* q = static_cast<const uint8_t*>(GlobalLock(h));
    const size_t table = pf == vx1g ? 8 : (pf == vx24RGB || pf == vx48RGB) ? 0 : 1024;
    TVXBitmap apart;
    apart.CopyFromDIB(q, q + 40 + table);
    GlobalUnlock(h);
    EXPECT_EQ(Pixels(apart), Pixels(back));
    // A part of it.
    HGLOBAL part = src->CreateDIB(2, 1, 6, 4);
    TVXBitmap cut;
    cut.CopyFromDIB(part);
    ASSERT_EQ(cut.Width(), 4);
    ASSERT_EQ(cut.Height(), 3);
    EXPECT_EQ(cut.Pixels(0, 0), src->Pixels(2, 1));
    GlobalFree(part);
    GlobalFree(h);
  }
  VXPrintLogHook = saved;
  s->SetDefaultDPIX(dx);
  s->SetDefaultDPIY(dy);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "_CopyBitmaptoDIBEx: begin");
}

TEST(TBitmapUtils, TextIsMeasuredAndShortenedOnACanvas) {
  TBitmap b(8, 8, pf24bit);
  TCanvas* c = b.Canvas();
  c->Font()->SetName("DejaVu Sans");
  c->Font()->SetHeight(-12);
  EXPECT_EQ(VXTextWidthW(c, "Hello World"), c->TextWidth("Hello World"));
  EXPECT_EQ(VXTextHeightW(c, "Hello World"), c->TextHeight("Hello World"));
  EXPECT_GT(VXTextWidthW(c, "Hello World"), VXTextWidthW(c, "Hello"));
  EXPECT_EQ(VXTextWidthW(nullptr, "x"), 0);
  struct Case {
    const char* s;
    int side;
    int maxWidth;  // -1: the width of want; -2: the width of s
    const char* want;
  } cases[] = {
      {"Hello World", 0, -2, "Hello World"},  // fits: unchanged
      {"Hello World", 1, -2, "Hello World"},
      {"Hello World", 0, -1, "Hello W..."},  // the first length - k - 1 characters
      {"Hello World", 1, -1, "...World"},    // from character k + 1 on
      {"Hello World", 0, 1, "H..."},         // nothing fits: the last shortening
      {"Hello World", 1, 1, "...d"},
      {"Hello World", 2, 1, "Hello World"},  // other sides leave the text alone
      {"W", 0, 1, "W"},                      // one character is never shortened
      {"", 1, 0, ""},
      {"Gr\xC3\xB6\xC3\x9F\xC3\xA9 \xC3\x84\xC3\x96\xC3\x9C", 0, -1, "Gr\xC3\xB6\xC3\x9F..."},
      {"Gr\xC3\xB6\xC3\x9F\xC3\xA9 \xC3\x84\xC3\x96\xC3\x9C", 1, -1, "...\xC3\x96\xC3\x9C"},
  };
  for (const Case& k : cases) {
    int max = k.maxWidth == -1 ? c->TextWidth(k.want) : k.maxWidth == -2 ? c->TextWidth(k.s) : k.maxWidth;
    std::string got = "stale";
    VXTruncateTextToWidth(k.s, k.side, c, got, max);
    EXPECT_EQ(got, k.want) << k.s << " side " << k.side << " within " << max;
  }
  std::string got;
  VXTruncateTextToWidth("Hello World", 0, nullptr, got, 1);
  EXPECT_EQ(got, "Hello World");
}
