// Gaussian blur of whole images, sharpening and the unsharp mask.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/gaussblur.h"
#include "proc/filters.h"

namespace {

struct WholePlane {
  TVXBitmap* b;
  void* Sender;
  const TVXProgressEvent* OnProgress;
  double step;
};

uint8_t* PlaneRow(void* c, int32_t i) { return static_cast<uint8_t*>(static_cast<WholePlane*>(c)->b->GetRow(i)); }
void PlaneRelease(void* c, int32_t i) { static_cast<WholePlane*>(c)->b->FreeRow(i); }

// Progress: the horizontal pass counts its rows, the vertical pass the
// image's width spread over its rows, out of width + height.
void PlaneProgress(void* c, int32_t Pass, int32_t Row) {
  auto* p = static_cast<WholePlane*>(c);
  if (!*p->OnProgress) return;
  const double W = p->b->Width(), H = p->b->Height();
  const double done = Pass == 0 ? Row : H + (Row + 1) * W / H - 1;
  (*p->OnProgress)(p->Sender, int32_t(done * p->step));
}

}  // namespace

void VXDoGaussianBlur(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress, double Sigma) {
  if (!Bitmap || Bitmap->IsEmpty() || !(Sigma > 0)) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx8g && fmt != vx24RGB) return;
  TGaussKernel k;
  VXMakeGaussKernel(k, Sigma);
  const int32_t C = fmt == vx8g ? 1 : 3;
  WholePlane plane{Bitmap, Sender, &OnProgress, 100.0 / (double(Bitmap->Width()) + Bitmap->Height())};
  vxdetail::VXGaussBlurPlane(k, C, C * Bitmap->Width(), Bitmap->Height(), PlaneRow, PlaneRelease, &plane,
                             PlaneProgress);
}

void VXDoSharpen(TVXBitmap* Bitmap, int32_t x1, int32_t y1, void* Sender, const TVXProgressEvent& OnProgress,
                 int32_t Neighbourhood, int32_t Intensity, int32_t y2, int32_t x2) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  const int32_t lastX = std::min(x2, W) - 1, lastY = std::min(y2, H) - 1;
  if (lastX < x1 || lastY < y1) return;
  const int32_t h = std::clamp(Neighbourhood / 2, 0, std::max(W, H));
  const double factor = Intensity / 10.0;
  // The source, read once; the temporary starts as a copy, so pixels outside
  // the rectangle keep their values.
  const size_t rowBytes = size_t(W) * 3;
  std::vector<uint8_t> src(rowBytes * size_t(H));
  for (int32_t y = 0; y < H; ++y) {
    std::memcpy(src.data() + rowBytes * size_t(y), Bitmap->GetRow(y), rowBytes);
    Bitmap->FreeRow(y);
  }
  TVXBitmap temp(Bitmap);
  auto at = [&](int32_t x, int32_t y, int c) { return int64_t(src[rowBytes * size_t(y) + 3 * size_t(x) + size_t(c)]); };
  std::vector<int64_t> colSum(size_t(W) * 3), prefix((size_t(W) + 1) * 3), rowPrefix((size_t(W) + 1) * 3);
  for (int32_t y = y1; y <= lastY; ++y) {
    const int32_t e = std::max(0, y - h), f = std::min(H - 1, y + h);
    // Column sums over the window's rows, and prefix sums along the row.
    for (int32_t x = 0; x < W; ++x)
      for (int c = 0; c < 3; ++c) {
        int64_t sum = 0;
        for (int32_t r = e; r <= f; ++r) sum += at(x, r, c);
        colSum[3 * size_t(x) + size_t(c)] = sum;
      }
    for (int32_t x = 0; x < W; ++x)
      for (int c = 0; c < 3; ++c) {
        prefix[3 * size_t(x + 1) + size_t(c)] = prefix[3 * size_t(x) + size_t(c)] + colSum[3 * size_t(x) + size_t(c)];
        rowPrefix[3 * size_t(x + 1) + size_t(c)] = rowPrefix[3 * size_t(x) + size_t(c)] + at(x, y, c);
      }
    uint8_t* out = static_cast<uint8_t*>(temp.GetRow(y));
    for (int32_t x = x1; x <= lastX; ++x) {
      const int32_t a = std::max(0, x - h), d = std::min(W - 1, x + h);
      const int64_t count = int64_t(d - a) * (f - e);
      for (int c = 0; c < 3; ++c) {
        const int64_t window = prefix[3 * size_t(d + 1) + size_t(c)] - prefix[3 * size_t(a) + size_t(c)];
        const int64_t row = rowPrefix[3 * size_t(d + 1) + size_t(c)] - rowPrefix[3 * size_t(a) + size_t(c)];
        const int64_t v = at(x, y, c);
        const int64_t mean = count == 0 ? 0 : (window - row - colSum[3 * size_t(x) + size_t(c)] + v) / count;
        const double r = std::trunc(double(v - mean) * factor + double(v));
        out[3 * x + c] = r < 0 ? 0 : r > 255 ? 255 : uint8_t(r);
      }
    }
    temp.FreeRow(y);
    if (OnProgress) OnProgress(Sender, int32_t(double(y - y1 + 1) * 100 / (lastY - y1 + 0.5)));
  }
  Bitmap->AssignImage(&temp);
}

void VXDoUnsharpMask(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                     const TVXProgressEvent& OnProgress, double Threshold, double Amount, double Radius) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width()), y2 = std::min(y2, Bitmap->Height());
  if (x2 <= x1 || y2 <= y1) return;
  TVXBitmap blurred(Bitmap);
  VXDoGaussianBlur(&blurred, Sender, OnProgress, Radius);
  const double T = Threshold * 255;
  for (int32_t y = y1; y < y2; ++y) {
    uint8_t* p = static_cast<uint8_t*>(Bitmap->GetRow(y));
    const uint8_t* q = static_cast<const uint8_t*>(blurred.GetRow(y));
    for (int32_t i = 3 * x1; i < 3 * x2; ++i) {
      const double v = p[i];
      const double diff = v - q[i];
      if (std::fabs(2 * diff) >= T) {
        const double r = std::nearbyint(diff * Amount + v);
        p[i] = r < 0 ? 0 : r > 255 ? 255 : uint8_t(r);
      }
    }
    blurred.FreeRow(y);
    Bitmap->FreeRow(y);
  }
}
