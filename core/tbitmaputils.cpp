// Grey colour tables, copies and conversions of platform bitmaps.

#include "core/tbitmaputils.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/colorreduce.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "platform/utf.h"

void VXSetGrayPalette(TBitmap* Bitmap) {
  if (!Bitmap) return;
  std::vector<RGBQUAD> grey(256);
  for (int i = 0; i < 256; ++i) grey[size_t(i)] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  Bitmap->SetPalette(grey);
  if (!Bitmap->Empty()) SetStretchBltMode(Bitmap->Canvas()->Handle(), COLORONCOLOR);
}

bool VXHasGrayPalette(TBitmap* Bitmap) {
  if (!Bitmap) return false;
  const std::vector<RGBQUAD> pal = Bitmap->Palette();
  if (pal.empty()) return false;
  for (size_t i = 0; i < pal.size(); ++i)
    if (pal[i].rgbRed != i || pal[i].rgbGreen != i || pal[i].rgbBlue != i) return false;
  return true;
}

void VXCopyDIBColorTable(TBitmap* Bitmap, TVXBitmap* VXBitmap) {
  if (!Bitmap || !VXBitmap || Bitmap->BitsPerPixel() != 8 || VXBitmap->PixelFormat() != vx8p) return;
  TRGB* dst = VXBitmap->PaletteBuffer();
  if (!dst) return;
  const std::vector<RGBQUAD> pal = Bitmap->Palette();
  const size_t n = std::min(pal.size(), size_t(VXBitmap->PaletteLength()));
  // Written into the buffer directly: the entries come from the platform
  // bitmap and need not be pushed back into it.
  for (size_t i = 0; i < n; ++i) dst[i] = TRGB{pal[i].rgbBlue, pal[i].rgbGreen, pal[i].rgbRed};
}

// The lowest address of a platform bitmap's pixel block (its rows are
// bottom-up: the last row).
static uint8_t* PixelBlock(TBitmap* B) {
  auto* first = static_cast<uint8_t*>(B->ScanLine(0));
  auto* last = static_cast<uint8_t*>(B->ScanLine(B->Height() - 1));
  return std::min(first, last);
}

void VXCopyTBitmap(TBitmap* Source, TBitmap* Dest) {
  if (!Source || !Dest || Source == Dest) return;
  const TPixelFormat f = Source->PixelFormat() == pfCustom ? pf24bit : Source->PixelFormat();
  if (Source->Empty()) {
    Dest->SetSize(1, 1);
    Dest->SetPixelFormat(f);
    return;
  }
  if (Dest->Width() != Source->Width() || Dest->Height() != Source->Height() || Dest->PixelFormat() != f) {
    // Through 1 x 1, so that no old content is converted.
    Dest->SetSize(1, 1);
    Dest->SetPixelFormat(f);
    Dest->SetSize(Source->Width(), Source->Height());
  }
  const std::vector<RGBQUAD> pal = Source->Palette();
  if (!pal.empty()) Dest->SetPalette(pal);
  const size_t bytes = std::min(Source->RowBytes(), Dest->RowBytes()) * size_t(Source->Height());
  std::memcpy(PixelBlock(Dest), PixelBlock(Source), bytes);
  Dest->SetModified(true);
}

std::unique_ptr<TBitmap> VXCloneTBitmap(TBitmap* Source) {
  auto result = std::make_unique<TBitmap>();
  VXCopyTBitmap(Source, result.get());
  return result;
}

void VXConvertTBitmap1To24(TBitmap* Source, TBitmap* Dest, TProgressRec& Progress) {
  if (!Source || !Dest || Source == Dest || Source->PixelFormat() != pf1bit) return;
  Dest->SetSize(1, 1);
  Dest->SetPixelFormat(pf24bit);
  Dest->SetSize(Source->Width(), Source->Height());
  const int32_t w = Source->Width(), h = Source->Height();
  int32_t last = -1;
  for (int32_t y = 0; y < h; ++y) {
    VXExpand1BitRow(Source->ScanLine(y), Dest->ScanLine(y), w);
    VXReportProgress(Progress, int32_t(int64_t(y + 1) * 100 / h), last);
  }
  Dest->SetModified(true);
}

void VXTBitmapToGray8(TBitmap* Source, TBitmap* Dest) {
  if (!Source || !Dest || Source == Dest || Source->PixelFormat() != pf24bit) return;
  Dest->SetSize(1, 1);
  Dest->SetPixelFormat(pf8bit);
  Dest->SetSize(Source->Width(), Source->Height());
  VXSetGrayPalette(Dest);
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  const int32_t kr = s->RedToGrayCoef(), kg = s->GreenToGrayCoef(), kb = s->BlueToGrayCoef();
  const int32_t w = Source->Width();
  for (int32_t y = 0; y < Source->Height(); ++y) {
    const auto* src = static_cast<const uint8_t*>(Source->ScanLine(y));
    auto* dst = static_cast<uint8_t*>(Dest->ScanLine(y));
    for (int32_t x = 0; x < w; ++x, src += 3)
      dst[x] = uint8_t(std::clamp((src[2] * kr + src[1] * kg + src[0] * kb) / 100, 0, 255));
  }
  Dest->SetModified(true);
}

int32_t VXTextWidthW(TCanvas* Canvas, const std::string& S) { return Canvas ? Canvas->TextWidth(S) : 0; }

int32_t VXTextHeightW(TCanvas* Canvas, const std::string& S) { return Canvas ? Canvas->TextHeight(S) : 0; }

void VXTruncateTextToWidth(const std::string& S, int32_t Side, TCanvas* Canvas, std::string& Result,
                           int32_t MaxWidth) {
  Result = S;
  if ((Side != 0 && Side != 1) || !Canvas) return;
  // Byte offsets of the characters of S (and its end).
  std::vector<size_t> at;
  for (size_t i = 0; i < S.size();) {
    at.push_back(i);
    VXNextUTF8(S, i);
  }
  const size_t n = at.size();
  at.push_back(S.size());
  size_t shown = n;  // characters of Result
  for (size_t k = 1; shown >= 2 && VXTextWidthW(Canvas, Result) > MaxWidth; ++k) {
    if (Side == 0) {
      if (n < k + 2) break;  // no character of S would be left
      Result = S.substr(0, at[n - k - 1]) + "...";
      shown = n - k - 1 + 3;
    } else {
      if (k >= n) break;
      Result = "..." + S.substr(at[k]);
      shown = 3 + n - k;
    }
  }
}
