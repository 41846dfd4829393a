// TVXBitmap: the alpha channel, a vx8g bitmap of the same size (255 opaque).

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "platform/win_syscolors.h"

TVXBitmap* TVXBitmap::AlphaChannel() {
  if (fIsAlpha) return nullptr;
  if (!fAlphaChannel) fAlphaChannel = CreateAsAlphaChannel(fWidth, fHeight, fLocation);
  return fAlphaChannel.get();
}

std::unique_ptr<TVXBitmap> TVXBitmap::SetAlphaChannel(std::unique_ptr<TVXBitmap> Value) {
  if (Value) Value->fIsAlpha = true;
  std::swap(fAlphaChannel, Value);
  return Value;
}

void TVXBitmap::RemoveAlphaChannel(bool Merge, int32_t BackgroundColor) {
  if (fIsAlpha || !fAlphaChannel) return;
  if (Merge && fPixelFormat == vx24RGB && !IsEmpty() && !fAlphaChannel->IsEmpty()) {
    const uint32_t c = ColorToRGB(BackgroundColor);
    const int32_t bg[3] = {int32_t((c >> 16) & 0xFF), int32_t((c >> 8) & 0xFF), int32_t(c & 0xFF)};  // b, g, r
    TVXBitmap* alpha = fAlphaChannel.get();
    const int32_t rows = std::min(fHeight, alpha->fHeight);
    const int32_t cols = std::min(fWidth, alpha->fWidth);
    for (int32_t y = 0; y < rows; ++y) {
      const uint8_t* a = static_cast<const uint8_t*>(alpha->GetScanLine(y));
      uint8_t* p = static_cast<uint8_t*>(GetScanLine(y));
      for (int32_t x = 0; x < cols; ++x, p += 3) {
        const int64_t w = int64_t(a[x]) * 1024;
        for (int k = 0; k < 3; ++k) {
          // b + floor((c - b) * a / 256), kept to one byte.
          const int64_t d = (int64_t(p[k]) - bg[k]) * w;
          p[k] = uint8_t(bg[k] + (d >> 18));
        }
      }
    }
    UnMapRows();
    alpha->UnMapRows();
  }
  fAlphaChannel.reset();
}

void TVXBitmap::SyncFull() {
  const int64_t bytes = (int64_t(fWidth) * fBitCount + 7) / 8;
  bool full = true;
  for (int32_t y = 0; y < fHeight && full && bytes > 0; ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(GetScanLine(y));
    if (!p) break;
    for (int64_t i = 0; i < bytes; ++i) {
      if (p[i] != 255) {
        full = false;
        break;
      }
    }
  }
  UnMapRows();
  fFull = full;
}

void TVXBitmap::FeatherAlphaEdges(int32_t iFeatherDepth) {
  if (fIsAlpha || !fAlphaChannel) return;
  TVXBitmap* A = fAlphaChannel.get();
  if (A->IsEmpty() || A->fPixelFormat != vx8g) return;
  const int32_t W = A->fWidth;
  const int32_t H = A->fHeight;
  auto ramp = [](int32_t& acc, uint8_t& v, int32_t step) {
    if (v > acc) {
      acc = std::min(acc + step, 255);
      v = uint8_t(acc);
    } else {
      acc = v;
    }
  };
  if (iFeatherDepth > 0) {
    const int32_t step = 256 / iFeatherDepth;
    // Along every row, left to right and then right to left.
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* p = static_cast<uint8_t*>(A->GetScanLine(y));
      int32_t acc = 0;
      for (int32_t x = 0; x < W; ++x) ramp(acc, p[x], step);
      acc = 0;
      for (int32_t x = W - 1; x >= 0; --x) ramp(acc, p[x], step);
    }
    // Along every column, top to bottom and then bottom to top (all columns
    // at once, one row at a time).
    std::vector<int32_t> acc(size_t(W), 0);
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* p = static_cast<uint8_t*>(A->GetScanLine(y));
      for (int32_t x = 0; x < W; ++x) ramp(acc[size_t(x)], p[x], step);
    }
    std::fill(acc.begin(), acc.end(), 0);
    for (int32_t y = H - 1; y >= 0; --y) {
      uint8_t* p = static_cast<uint8_t*>(A->GetScanLine(y));
      for (int32_t x = 0; x < W; ++x) ramp(acc[size_t(x)], p[x], step);
    }
  }
  // One smoothing pass in place, top to bottom, left to right: left and up
  // are already smoothed when read, right and down are not.
  std::vector<uint8_t> prev(static_cast<size_t>(W)), cur(static_cast<size_t>(W)), next(static_cast<size_t>(W));
  std::memcpy(cur.data(), A->GetScanLine(0), size_t(W));
  for (int32_t y = 0; y < H; ++y) {
    const bool last = y == H - 1;
    if (!last) std::memcpy(next.data(), A->GetScanLine(y + 1), size_t(W));
    for (int32_t x = 0; x < W; ++x) {
      if (cur[size_t(x)] == 0) continue;
      const int32_t left = x > 0 ? cur[size_t(x - 1)] : 0;
      const int32_t right = x < W - 1 ? cur[size_t(x + 1)] : 0;
      const int32_t up = y > 0 ? prev[size_t(x)] : cur[size_t(x)];
      const int32_t down = last ? cur[size_t(x)] : next[size_t(x)];
      cur[size_t(x)] = uint8_t((left + right + up + down) / 4);
    }
    std::memcpy(A->GetScanLine(y), cur.data(), size_t(W));
    std::swap(prev, cur);
    std::swap(cur, next);
  }
  A->UnMapRows();
  A->fFull = false;
}

void TVXBitmap::SynchronizeRGBA(bool RGBAtoAlpha) {
  if (fPixelFormat != vx32RGB || fIsAlpha || IsEmpty()) return;
  TVXBitmap* alpha = AlphaChannel();
  if (!alpha || alpha->IsEmpty()) return;
  const int32_t rows = std::min(fHeight, alpha->fHeight);
  const int32_t cols = std::min(fWidth, alpha->fWidth);
  for (int32_t y = 0; y < rows; ++y) {
    uint8_t* a = static_cast<uint8_t*>(alpha->GetScanLine(y));
    uint8_t* p = static_cast<uint8_t*>(GetScanLine(y));
    if (RGBAtoAlpha) {
      for (int32_t x = 0; x < cols; ++x) a[x] = p[x * 4 + 3];
    } else {
      for (int32_t x = 0; x < cols; ++x) p[x * 4 + 3] = a[x];
    }
  }
  UnMapRows();
  alpha->UnMapRows();
  if (RGBAtoAlpha) alpha->SyncFull();
}
