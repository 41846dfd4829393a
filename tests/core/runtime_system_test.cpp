// CIELab conversions, the MMX test and the system helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/cielab.h"
#include "core/sysutils.h"
#include "platform/win_syscolors.h"
#include "winui/headless.h"

namespace {

TEST(RuntimeCIELab, ReferenceColours) {
  struct Case {
    TRGB rgb;
    int l, a, b;
  } cases[] = {
      {{0, 0, 0}, 0, 0, 0},             // black
      {{255, 255, 255}, 255, 0, 0},     // white (L 100 -> 255)
      {{0, 0, 255}, 135, 80, 67},       // red: L 53.2 a 80.1 b 67.2
      {{0, 255, 0}, 223, -86, 83},      // green: L 87.7 a -86.2 b 83.2
      {{255, 0, 0}, 82, 79, -107},      // blue: L 32.3 a 79.2 b -107.9
      {{128, 128, 128}, 136, 0, 0},     // mid grey: L 53.6
  };
  for (const Case& c : cases) {
    TCIELab lab = VXRGB2CIELab(c.rgb);
    EXPECT_NEAR(lab.l, c.l, 1) << int(c.rgb.r) << "," << int(c.rgb.g) << "," << int(c.rgb.b);
    EXPECT_NEAR(lab.a, c.a, 1);
    EXPECT_NEAR(lab.b, c.b, 1);
  }
}

TEST(RuntimeCIELab, TransferCurveBranches) {
  // Grey 10 lies on the linear part of the sRGB curve, 11 on the power part;
  // both must give the luminance of the curve they lie on.
  TCIELab l10 = VXRGB2CIELab({10, 10, 10});
  TCIELab l11 = VXRGB2CIELab({11, 11, 11});
  double y10 = (10 / 255.0) / 12.92;
  double y11 = std::pow((11 / 255.0 + 0.055) / 1.055, 2.4);
  auto lstar = [](double y) { return y > 0.008856 ? 116 * std::cbrt(y) - 16 : 903.3 * y; };
  EXPECT_EQ(l10.l, int(lstar(y10) * 2.55));
  EXPECT_EQ(l11.l, int(lstar(y11) * 2.55));
}

TEST(RuntimeCIELab, BackToRGB) {
  EXPECT_EQ(VXCIELab2RGB({0, 0, 0}), (TRGB{0, 0, 0}));
  TRGB white = VXCIELab2RGB({255, 0, 0});
  EXPECT_GE(white.r, 254);
  EXPECT_GE(white.g, 254);
  EXPECT_GE(white.b, 254);
  // Out-of-gamut Lab values clamp every channel.
  TRGB out = VXCIELab2RGB({255, 127, -128});
  EXPECT_EQ(out.r, 255);
  EXPECT_EQ(out.b, 255);
  TRGB dark = VXCIELab2RGB({0, -128, 127});
  EXPECT_EQ(dark.r, 0);
  EXPECT_EQ(dark.b, 0);
  // Greys keep a = b = 0 and come back within the L quantisation.
  for (int v = 0; v < 256; ++v) {
    TCIELab lab = VXRGB2CIELab({uint8_t(v), uint8_t(v), uint8_t(v)});
    EXPECT_EQ(lab.a, 0) << v;
    EXPECT_EQ(lab.b, 0) << v;
    TRGB back = VXCIELab2RGB(lab);
    EXPECT_NEAR(back.g, v, 2) << v;
  }
}

TEST(RuntimeSystem, ProcessorFeatureTest) {
#if defined(__x86_64__)
  EXPECT_TRUE(VXMMXSupported());  // every x86-64 processor has MMX
#else
  SUCCEED();
#endif
}

TEST(RuntimeSystem, WindowsVersionMapping) {
  struct Case {
    uint32_t platform, major, minor;
    TVXOpSys os;
  } cases[] = {
      {1, 4, 0, vxosWin95},   {1, 4, 10, vxosWin98},  {1, 4, 90, vxosWinME},    {2, 4, 0, vxosWinNT4},
      {2, 5, 0, vxosWin2000}, {2, 5, 1, vxosWinXP},   {2, 5, 2, vxosWin2003},   {2, 6, 0, vxosWinVista},
      {2, 6, 1, vxosWin7},    {2, 6, 2, vxosWin8},    {2, 6, 3, vxosUnknown},   {2, 10, 0, vxosUnknown},
      {1, 5, 0, vxosUnknown}, {0, 4, 0, vxosUnknown},
  };
  for (const Case& c : cases)
    EXPECT_EQ(VXOpSysFromVersion(c.platform, c.major, c.minor), c.os)
        << c.platform << " " << c.major << "." << c.minor;
  EXPECT_EQ(VXGetOpSys(), vxosUnknown);
}

TEST(RuntimeSystem, MemoryAndScreen) {
  int64_t total = VXPhysicalMemory(false);
  int64_t avail = VXPhysicalMemory(true);
  EXPECT_GT(total, int64_t(64) << 20);
  EXPECT_GT(avail, 0);
  EXPECT_LE(avail, total);
  EXPECT_EQ(VXDisplayRotation(), 0);
  EXPECT_FALSE(VXIsRemoteSession());
}

TEST(RuntimeSystem, GUIDText) {
  GUID nil;
  EXPECT_EQ(VXGUIDToStr(nil), "{00000000-0000-0000-0000-000000000000}");
  GUID g;
  g.Data1 = 0x6B29FC40;
  g.Data2 = 0xCA47;
  g.Data3 = 0x1067;
  const uint8_t d4[8] = {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA};
  std::memcpy(g.Data4, d4, 8);
  const std::string text = VXGUIDToStr(g);
  EXPECT_EQ(text, "{6b29fc40-ca47-1067-b31d-00dd010662da}");
  GUID back;
  VXStrToGUID("{6B29FC40-CA47-1067-B31D-00DD010662DA}", back);
  EXPECT_TRUE(VXGUIDEqual(g, back));
  VXStrToGUID(text, back);
  EXPECT_TRUE(VXGUIDEqual(g, back));
  VXStrToGUID("{00000000-0000-0000-0000-000000000000}", back);
  EXPECT_TRUE(VXGUIDEqual(back, nil));
  EXPECT_FALSE(VXGUIDEqual(g, nil));
  // Non-hex characters count as 0; a short text reads zeros past its end.
  VXStrToGUID("{zz000001-", back);
  EXPECT_EQ(back.Data1, 1u);
  EXPECT_EQ(back.Data2, 0);
}

TEST(RuntimeSystem, SmallHelpersAndOptionalLibraries) {
  EXPECT_EQ(VXIfThen(true, 1, 2), 1);
  EXPECT_EQ(VXIfThen(false, 1, 2), 2);
  EXPECT_EQ(VXIfThenFloat(false, 1.5, 2.5), 2.5);
  LOGFONTA a;
  a.lfWeight = 700;
  a.lfUnderline = 1;
  EXPECT_EQ(VXLogFontAStyles(&a), VXFontStyleBit(fsBold) | VXFontStyleBit(fsUnderline));
  a.lfWeight = 699;
  a.lfItalic = 1;
  a.lfStrikeOut = 1;
  a.lfUnderline = 0;
  EXPECT_EQ(VXLogFontAStyles(&a), VXFontStyleBit(fsItalic) | VXFontStyleBit(fsStrikeOut));
  EXPECT_EQ(VXLogFontAStyles(nullptr), 0);
  EXPECT_EQ(VXLogFontWStyles(nullptr), 0);
  a.lfHeight = -11;
  a.lfCharSet = 1;
  std::memcpy(a.lfFaceName, "Caf\xe9 Sans", 10);
  LOGFONTW w;
  VXLogFontAToW(a, w);
  EXPECT_EQ(w.lfHeight, -11);
  EXPECT_EQ(w.lfWeight, 699);
  EXPECT_EQ(w.lfCharSet, 1);
  EXPECT_EQ(std::u16string(w.lfFaceName), u"Caf\u00e9 Sans");
  EXPECT_EQ(VXLogFontWStyles(&w), VXLogFontAStyles(&a));
  std::memset(a.lfFaceName, 'x', sizeof a.lfFaceName);  // no terminator: at most 31 characters
  VXLogFontAToW(a, w);
  EXPECT_EQ(std::u16string(w.lfFaceName).size(), 31u);
}

TEST(RuntimeSystem, OptionalSystemLibrariesBindThroughTheModuleTable) {
  VXFreeGestureAPI();
  VXFreeGradientFill();
  EXPECT_TRUE(VXLoadGradientFill());
  VXLoadGestureAPI();
  EXPECT_TRUE(VXGesturesAvailable());
  TVXGestureEntries e = VXGestureEntries();
  EXPECT_NE(e.GetGestureInfo, nullptr);
  EXPECT_NE(e.UnregisterTouchWindow, nullptr);
  VXFreeGestureAPI();
  VXFreeGradientFill();

  // A removed library, or one without its first entry, counts as missing.
  VXHeadless::RemoveModule("User32.dll");
  VXHeadless::RemoveModule("MSIMG32.DLL");
  VXLoadGestureAPI();
  EXPECT_FALSE(VXGesturesAvailable());
  EXPECT_FALSE(VXLoadGradientFill());
  RECT r{0, 0, 4, 4};
  EXPECT_FALSE(VXGradientFillRect(r, nullptr, 0, false, 0xFFFFFF));
  VXHeadless::RestoreModules();
  VXHeadless::RemoveModuleEntry("User32.dll", "GetGestureInfo");
  VXHeadless::RemoveModuleEntry("MSIMG32.DLL", "GradientFill");
  VXLoadGestureAPI();
  EXPECT_FALSE(VXGesturesAvailable());
  EXPECT_TRUE(VXLoadGradientFill());
  EXPECT_FALSE(VXGradientFillRect(r, nullptr, 0, false, 0xFFFFFF));
  VXFreeGradientFill();
  VXHeadless::RestoreModules();
}

TEST(RuntimeSystem, GradientFillRectPutsColoursInTheHighBytes) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 5;
  bi.bmiHeader.biHeight = -3;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT r{0, 0, 5, 3};
  // Red to blue across; clBtnFace (a system colour) resolves.
  ASSERT_TRUE(VXGradientFillRect(r, dc, 0x0000FF, false, 0xFF0000));
  auto* px = static_cast<uint32_t*>(bits);
  EXPECT_EQ(px[0] & 0xFFFFFF, 0xFF0000u);                  // 0x00RRGGBB: red
  EXPECT_EQ(px[4] & 0xFFFFFF, 0x3300CCu);                  // 4/5 of the way to blue
  EXPECT_EQ(px[5] & 0xFFFFFF, px[0] & 0xFFFFFF);           // rows alike
  ASSERT_TRUE(VXGradientFillRect(r, dc, int32_t(0x8000000F), true, int32_t(0x8000000F)));
  uint32_t face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(px[7] & 0xFFFFFF, ((face & 0xFF) << 16) | (face & 0xFF00) | ((face >> 16) & 0xFF));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
  VXFreeGradientFill();
}

}  // namespace
