// TVexlaneProc: crop, automatic crop, tiling and rounded corners, with their
// worker routines.

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/mask.h"
#include "proc/edits.h"
#include "proc/caption.h"
#include "proc/proc.h"

using vxproc::FormatCaption;

// ---------------------------------------------------------------------------
// Workers

bool VXColorsWithinTolerance(int32_t Tolerance, TRGB a, TRGB b) {
  return std::abs(int32_t(a.r) - int32_t(b.r)) <= Tolerance && std::abs(int32_t(a.g) - int32_t(b.g)) <= Tolerance &&
         std::abs(int32_t(a.b) - int32_t(b.b)) <= Tolerance;
}

void VXAutoCrop2Rect(TVXBitmap* Bitmap, TRect& Rect, double BorderRate) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  std::vector<int64_t> rowSum(size_t(H), 0), colSum(size_t(W), 0);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const TRGB c = Bitmap->Pixels(x, y);
      const int64_t v = (int64_t(c.r) + c.g + c.b) / 3;
      rowSum[size_t(y)] += v;
      colSum[size_t(x)] += v;
    }
  double mr = 0, mc = 0;
  for (int64_t v : rowSum) mr += double(v);
  for (int64_t v : colSum) mc += double(v);
  mr /= H;
  mc /= W;
  auto near = [](const std::vector<int64_t>& sums, int32_t i, double mean, double rate) {
    return std::abs(double(sums[size_t(i)]) - mean) < mean / rate;
  };
  // The first pair of neighbouring lines from each side that lies near the
  // mean.
  auto first = [&](const std::vector<int64_t>& sums, int32_t n, double mean, int32_t& lo, int32_t& hi) {
    lo = n - 1;
    for (int32_t i = 0; i <= n - 2; ++i)
      if (near(sums, i, mean, BorderRate) && near(sums, i + 1, mean, BorderRate)) {
        lo = i;
        break;
      }
    hi = 0;
    for (int32_t i = n - 1; i >= 1; --i)
      if (near(sums, i, mean, BorderRate) && near(sums, i - 1, mean, BorderRate)) {
        hi = i;
        break;
      }
  };
  first(colSum, W, mc, Rect.Left, Rect.Right);
  first(rowSum, H, mr, Rect.Top, Rect.Bottom);
}

void VXDoRoundImage(TVXBitmap* Bitmap, int32_t RoundWidth, int32_t RoundHeight, void* Sender,
                    const TVXProgressEvent& OnProgress) {
  (void)Sender;
  (void)OnProgress;
  if (!Bitmap || Bitmap->IsEmpty() || RoundWidth == 0 || RoundHeight == 0) return;
  const int32_t a = RoundWidth, b = RoundHeight;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  TVXBitmap* alpha = Bitmap->AlphaChannel();
  if (!alpha || alpha->IsEmpty()) return;
  const int64_t n64 = int64_t(a) + b;
  if (n64 < 1 || n64 > 2147483647) return;
  const int32_t n = int32_t(n64);
  std::vector<TPoint> top, bottom;
  VXBezierPoints(TPoint{0, b}, TPoint{0, 0}, TPoint{a, 0}, TPoint{a, 0}, top, n);
  VXBezierPoints(TPoint{W, H - b}, TPoint{W, H}, TPoint{W - a, H}, TPoint{W - a, H}, bottom, n);
  // Each point clears a block from its corner; per row, the union of the
  // blocks is one run from the border: clear[j] columns 0 .. topRun[j] and
  // bottomFrom[j] .. W - 1 (and the mirrored columns).
  std::vector<int32_t> topRun(size_t(H), -1), bottomFrom(size_t(H), W);
  for (const TPoint& p : top) {
    if (p.X < 0 || p.Y < 0) continue;
    const int32_t lastRow = std::min(p.Y, H - 1), lastCol = std::min(p.X, W - 1);
    for (int32_t j = 0; j <= lastRow; ++j) topRun[size_t(j)] = std::max(topRun[size_t(j)], lastCol);
  }
  for (const TPoint& p : bottom) {
    const int32_t c = std::max(p.X, 1), d = std::max(p.Y, 1);
    if (c - 1 > W - 1 || d - 1 > H - 1) continue;
    for (int32_t j = H - 1; j >= d - 1; --j) bottomFrom[size_t(j)] = std::min(bottomFrom[size_t(j)], c - 1);
  }
  for (int32_t j = 0; j < H; ++j) {
    const int32_t run = topRun[size_t(j)], from = bottomFrom[size_t(j)];
    if (run < 0 && from >= W) continue;
    uint8_t* row = static_cast<uint8_t*>(alpha->GetRow(j));
    for (int32_t k = 0; k <= run; ++k) row[k] = row[W - 1 - k] = 0;
    for (int32_t k = std::max(from, 0); k < W; ++k) row[k] = row[W - 1 - k] = 0;
    alpha->FreeRow(j);
  }
  alpha->SyncFull();
}

// ---------------------------------------------------------------------------
// Operations

void TVexlaneProc::Crop(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!CheckFormat(TVXPixelFormatSet())) return;
  const int32_t W = fVXBitmap->Width(), H = fVXBitmap->Height();
  if (x1 == 0 && y1 == 0 && x2 == W - 1 && y2 == H - 1) return;
  if (x2 < x1 || y2 < y1) return;
  const int64_t w = int64_t(x2) - x1 + 1, h = int64_t(y2) - y1 + 1;
  if (w > 2147483647 || h > 2147483647) return;
  if (fAutoUndo)
    SaveUndoCaptioned(FormatCaption("Crop %d, %d, %d, %d", int(x1), int(y1), int(x2), int(y2)), vxuImage);
  {
    TVXBitmap cropped;
    cropped.SetMinFileSize(fVXBitmap->MinFileSize());
    if (!cropped.Allocate(int32_t(w), int32_t(h), fVXBitmap->PixelFormat()))
      throw EVXException("Not enough memory to crop the image");
    fVXBitmap->CopyRectTo(&cropped, x1, y1, 0, 0, int32_t(w), int32_t(h));
    if (fVXBitmap->PixelFormat() == vx8p) fVXBitmap->CopyPaletteTo(&cropped);
    std::unique_ptr<TVXBitmap> croppedAlpha;
    if (TVXBitmap* alpha = fVXBitmap->AlphaChannelOpt()) {
      croppedAlpha = std::make_unique<TVXBitmap>();
      croppedAlpha->SetMinFileSize(alpha->MinFileSize());
      if (!croppedAlpha->Allocate(int32_t(w), int32_t(h), vx8g))
        throw EVXException("Not enough memory to crop the image");
      alpha->CopyRectTo(croppedAlpha.get(), x1, y1, 0, 0, int32_t(w), int32_t(h));
    }
    fVXBitmap->AssignImage(&cropped);
    if (croppedAlpha) fVXBitmap->AlphaChannel()->AssignImage(croppedAlpha.get());
  }
  Update();
  DoFinishWork();
}

void TVexlaneProc::Crop(const TRect& Rect) { Crop(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }

TRect TVexlaneProc::AutoCrop(int32_t Tolerance, TRGB Background, bool DoCrop) {
  TRect result{0, 0, 0, 0};
  if (!CheckFormat(TVXPixelFormatSet())) return result;
  TVXBitmap* b = fVXBitmap;
  const int32_t W = b->Width(), H = b->Height();
  auto isBackground = [&](int32_t x, int32_t y) { return VXColorsWithinTolerance(Tolerance, Background, b->Pixels(x, y)); };
  int32_t top = 0, left = 0;
  bool found = false;
  for (int32_t y = 0; y < H && !found; ++y)
    for (int32_t x = 0; x < W; ++x)
      if (!isBackground(x, y)) {
        top = y;
        left = x;
        found = true;
        break;
      }
  for (int32_t y = top; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      if (!isBackground(x, y)) {
        left = std::min(left, x);
        break;
      }
  int32_t right = left;
  for (int32_t y = top; y < H; ++y)
    for (int32_t x = W - 1; x >= left; --x)
      if (!isBackground(x, y)) {
        right = std::max(right, x);
        break;
      }
  int32_t bottom = H - 1;
  found = false;
  for (int32_t y = H - 1; y >= 0 && !found; --y)
    for (int32_t x = 0; x < W; ++x)
      if (!isBackground(x, y)) {
        bottom = y;
        found = true;
        break;
      }
  result = TRect{left, top, right, bottom};
  if (DoCrop) Crop(left, top, right, bottom);
  return result;
}

TRect TVexlaneProc::AutoCrop(int32_t Tolerance, TColor Background, bool DoCrop) {
  return AutoCrop(Tolerance, VXColorToTRGB(Background), DoCrop);
}

TRect TVexlaneProc::AutoCrop2(double BorderRate, bool DoCrop) {
  TRect result{0, 0, 0, 0};
  if (!CheckFormat(TVXPixelFormatSet()) || !(BorderRate > 0)) return result;
  VXAutoCrop2Rect(fVXBitmap, result, BorderRate);
  if (DoCrop) Crop(result);
  return result;
}

void TVexlaneProc::MakeTile(int32_t columns, int32_t rows) {
  if (columns < 1 || rows < 1) return;
  if (!CheckFormat(TVXPixelFormatSet()) || fVXBitmap->IsEmpty()) return;
  const int32_t W = fVXBitmap->Width(), H = fVXBitmap->Height();
  const int64_t newW = int64_t(columns) * W, newH = int64_t(rows) * H;
  if (newW > 2147483647 || newH > 2147483647) return;
  if (fAutoUndo) SaveUndoCaptioned(FormatCaption("MakeTile %d, %d", int(columns), int(rows)), vxuImage);
  fVXBitmap->Resize(int32_t(newW), int32_t(newH), 0, 255, vxhLeft, vxvTop);
  TVXBitmap* alpha = fVXBitmap->AlphaChannelOpt();
  for (int32_t c = 0; c < columns; ++c)
    for (int32_t r = 0; r < rows; ++r) {
      if (c == 0 && r == 0) continue;
      fVXBitmap->CopyRectTo(fVXBitmap, 0, 0, c * W, r * H, W, H);
      if (alpha) alpha->CopyRectTo(alpha, 0, 0, c * W, r * H, W, H);
    }
  Update();
  DoFinishWork();
}

void TVexlaneProc::RoundImage(int32_t RoundWidth, int32_t RoundHeight) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet(), x1, y1, x2, y2,
                            FormatCaption("RoundImage %d, %d", int(RoundWidth), int(RoundHeight)), work, mask))
    return;
  VXDoRoundImage(work, RoundWidth, RoundHeight, this, OnProgress);
  EndImageProcessing(work, mask);
  DoFinishWork();
}
