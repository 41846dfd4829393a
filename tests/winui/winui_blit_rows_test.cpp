// Block transfers take a row path for common formats (packed RGB of 24 and
// 32 bits, plain copies of 8 and 16 bits); it must leave exactly the bytes
// the general per-pixel path leaves, for every format pair, operation, clip
// and placement.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "winui/gdi.h"
#include "winui/headless.h"

namespace {

// A memory DC on a DIB section of random bytes (the fourth byte of 32-bit
// pixels too), with a colour table of random entries at 8 bits.
struct Surface {
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old = nullptr;
  uint8_t* bits = nullptr;
  size_t size = 0;
  Surface(int W, int H, int Bpp, bool TopDown, uint32_t Seed) {
    std::mt19937 rng(Seed);
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4, 0);
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi->bmiHeader.biWidth = W;
    bi->bmiHeader.biHeight = TopDown ? -H : H;
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biBitCount = WORD(Bpp);
    // One colour table for every 8-bit surface (its own seed), so that
    // 8-bit pairs are the same format.
    std::mt19937 pal(7);
    for (size_t i = 0; i < 256 * 4; ++i) info[sizeof(BITMAPINFOHEADER) + i] = uint8_t(pal());
    void* p = nullptr;
    bm = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint8_t*>(p);
    size = size_t((W * Bpp + 31) / 32 * 4) * size_t(H);
    for (size_t i = 0; i < size; ++i) bits[i] = uint8_t(rng());
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
  }
  ~Surface() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(bits, bits + size); }
};

enum class Call { Blit, BlitSelf, StretchSame, StretchMirror, StretchEnlarge, DIBitsToDevice };

struct Case {
  const char* name;
  int srcBpp, dstBpp;
  bool srcTopDown;
  Call call;
  DWORD rop;
  bool clip;  // an elliptic clip region: rectangles of every width
};

// Draws the case into a fresh destination and gives its bytes.
std::vector<uint8_t> Draw(const Case& c, bool RowPaths, int W = 29, int H = 13) {
  VXHeadless::UseBlitRowPaths(RowPaths);
  Surface src(W, H, c.srcBpp, c.srcTopDown, 11);
  Surface dst(W, H, c.dstBpp, true, 23);
  HBRUSH brush = CreateSolidBrush(RGB(0x66, 0x99, 0xCC));
  HGDIOBJ oldBrush = SelectObject(dst.dc, brush);
  if (c.clip) {
    HRGN r = CreateEllipticRgn(1, 0, W - 2, H);
    SelectClipRgn(dst.dc, r);
    DeleteObject(r);
  }
  switch (c.call) {
    case Call::Blit:  // partly outside the source and the destination
      BitBlt(dst.dc, 2, -1, W, H - 2, src.dc, -3, 1, c.rop);
      break;
    case Call::BlitSelf:  // overlapping, read from a copy
      BitBlt(src.dc, 3, 2, W - 5, H - 3, src.dc, 0, 0, c.rop);
      break;
    case Call::StretchSame:
      StretchBlt(dst.dc, 1, 1, W - 4, H - 3, src.dc, 2, 0, W - 4, H - 3, c.rop);
      break;
    case Call::StretchMirror:
      StretchBlt(dst.dc, W - 1, 0, -(W - 3), H, src.dc, 0, 1, W - 3, H - 1, c.rop);
      break;
    case Call::StretchEnlarge:
      StretchBlt(dst.dc, 0, 0, W, H, src.dc, 3, 2, 11, 5, c.rop);
      break;
    case Call::DIBitsToDevice: {
      BITMAPINFO bi{};
      bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      bi.bmiHeader.biWidth = W;
      bi.bmiHeader.biHeight = c.srcTopDown ? -H : H;
      bi.bmiHeader.biPlanes = 1;
      bi.bmiHeader.biBitCount = WORD(c.srcBpp);
      SetDIBitsToDevice(dst.dc, 1, 2, W - 2, H - 3, 0, 1, 0, H, src.bits, &bi, DIB_RGB_COLORS);
      break;
    }
  }
  SelectObject(dst.dc, oldBrush);
  DeleteObject(brush);
  VXHeadless::UseBlitRowPaths(true);
  return c.call == Call::BlitSelf ? src.Bytes() : dst.Bytes();
}

TEST(WinUIBlitRows, RowPathsLeaveTheBytesOfThePerPixelPath) {
  const Case cases[] = {
      {"24 to 32 copy", 24, 32, false, Call::Blit, SRCCOPY, false},
      {"24 to 32 copy, clipped", 24, 32, true, Call::Blit, SRCCOPY, true},
      {"32 to 32 copy clears the fourth byte", 32, 32, true, Call::Blit, SRCCOPY, false},
      {"32 to 24 copy", 32, 24, false, Call::Blit, SRCCOPY, true},
      {"24 to 24 copy", 24, 24, false, Call::Blit, SRCCOPY, false},
      {"8 to 8 copy, same colour table", 8, 8, true, Call::Blit, SRCCOPY, true},
      {"16 to 16 copy", 16, 16, false, Call::Blit, SRCCOPY, false},
      {"16 to 32 (general path both times)", 16, 32, false, Call::Blit, SRCCOPY, false},
      {"24 to 32 xor", 24, 32, false, Call::Blit, SRCINVERT, true},
      {"32 to 24 and", 32, 24, true, Call::Blit, SRCAND, false},
      {"24 to 24 inverted source", 24, 24, false, Call::Blit, NOTSRCCOPY, false},
      {"32 to 32 erase", 32, 32, false, Call::Blit, SRCERASE, true},
      {"24 to 32 with the pattern", 24, 32, false, Call::Blit, MERGECOPY, false},
      {"8 to 8 xor (general path both times)", 8, 8, false, Call::Blit, SRCINVERT, false},
      {"24 onto itself, overlapping", 24, 24, false, Call::BlitSelf, SRCCOPY, false},
      {"32 onto itself, or", 32, 32, true, Call::BlitSelf, SRCPAINT, false},
      {"24 to 32 unscaled stretch", 24, 32, false, Call::StretchSame, SRCCOPY, true},
      {"24 to 32 mirrored stretch", 24, 32, true, Call::StretchMirror, SRCCOPY, false},
      {"32 to 24 mirrored stretch, xor", 32, 24, false, Call::StretchMirror, SRCINVERT, false},
      {"24 to 32 enlarged", 24, 32, false, Call::StretchEnlarge, SRCCOPY, true},
      {"16 to 16 enlarged", 16, 16, true, Call::StretchEnlarge, SRCCOPY, false},
      {"24-bit DIB bits to 32", 24, 32, false, Call::DIBitsToDevice, SRCCOPY, false},
      {"32-bit top-down DIB bits to 24, clipped", 32, 24, true, Call::DIBitsToDevice, SRCCOPY, true},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> rows = Draw(c, true), pixels = Draw(c, false);
    EXPECT_EQ(rows, pixels) << c.name;
    // The transfer drew: the result is not the untouched destination.
    Surface untouched(29, 13, c.call == Call::BlitSelf ? c.srcBpp : c.dstBpp, c.call == Call::BlitSelf ? c.srcTopDown : true,
                      c.call == Call::BlitSelf ? 11 : 23);
    EXPECT_NE(rows, untouched.Bytes()) << c.name;
  }
}

TEST(WinUIBlitRows, LargeTransfersLeaveTheBytesOfThePerPixelPath) {
  // Past two megabytes of destination the 24 to 32-bit rows are written
  // around the caches: rows start at every alignment (odd width, offset
  // placement, an elliptic clip) and must still hold the same bytes.
  const Case cases[] = {
      {"24 to 32 copy", 24, 32, false, Call::Blit, SRCCOPY, false},
      {"24 to 32 copy, clipped", 24, 32, true, Call::Blit, SRCCOPY, true},
      {"24 to 32 unscaled stretch", 24, 32, false, Call::StretchSame, SRCCOPY, false},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> rows = Draw(c, true, 1031, 541), pixels = Draw(c, false, 1031, 541);
    EXPECT_TRUE(rows == pixels) << c.name;
  }
}

TEST(WinUIBlitRows, TheRowCopyPutsEachPixelWhereItBelongs) {
  // A 24-bit source of distinct pixels copied to 32 bits at an offset: every
  // pixel lands at its place, with a zero fourth byte, at widths around the
  // row path's four-pixel steps.
  for (int w : {1, 3, 4, 5, 6, 7, 9, 17}) {
    Surface src(w, 2, 24, true, 1), dst(w + 3, 2, 32, true, 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = src.bits + size_t(y) * size_t((w * 24 + 31) / 32 * 4) + size_t(x) * 3;
        p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(0x80 + x);
      }
    ASSERT_TRUE(BitBlt(dst.dc, 2, 0, w, 2, src.dc, 0, 0, SRCCOPY));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < w; ++x) {
        const uint8_t* q = dst.bits + size_t(y) * size_t(w + 3) * 4 + size_t(x + 2) * 4;
        EXPECT_EQ(q[0], x) << w;
        EXPECT_EQ(q[1], y) << w;
        EXPECT_EQ(q[2], 0x80 + x) << w;
        EXPECT_EQ(q[3], 0) << w;
      }
  }
}

}  // namespace
