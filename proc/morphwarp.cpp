// Field morphing with line pairs.

#include "proc/morphwarp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/bitmap.h"
#include "proc/saturate.h"

using vxproc::TruncSat;

namespace {

// Weight of a line: (length^p / (a + distance))^b.
constexpr double kA = 0.001, kB = 2.0, kP = 0.75;

struct TLine {
  double px, py, qx, qy;  // end points P and Q
  double dx, dy;          // D = Q - P
  double len2, len;       // |D|^2, |D|
  double lenP;            // |D|^p
};

TLine MakeLine(double px, double py, double qx, double qy) {
  TLine l{px, py, qx, qy, qx - px, qy - py, 0, 0, 0};
  l.len2 = l.dx * l.dx + l.dy * l.dy;
  l.len = std::sqrt(l.len2);
  l.lenP = std::pow(l.len, kP);
  return l;
}

bool HasLength(const TVXMorphLine& l) { return l.x1 != l.x2 || l.y1 != l.y2; }

}  // namespace

void VXMorphWarpFrames(TVXBitmap* Bitmap, std::span<const TVXMorphLine> SourceLines,
                       std::span<const TVXMorphLine> DestLines, std::vector<std::unique_ptr<TVXBitmap>>& Frames,
                       int32_t FramesCount, int32_t LineCount) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty() || FramesCount < 2) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const size_t pairs = std::min({size_t(std::max(LineCount, 0)), SourceLines.size(), DestLines.size()});
  std::vector<size_t> usable;
  for (size_t i = 0; i < pairs; ++i)
    if (HasLength(SourceLines[i]) && HasLength(DestLines[i])) usable.push_back(i);

  std::vector<TLine> source, current;
  for (int32_t f = 1; f < FramesCount; ++f) {
    auto frame = std::make_unique<TVXBitmap>(W, H, vx24RGB);
    const double t = double(f) / FramesCount;
    source.clear();
    current.clear();
    for (size_t i : usable) {
      const TVXMorphLine& a = SourceLines[i];
      const TVXMorphLine& b = DestLines[i];
      const TLine l = MakeLine(a.x1 + (b.x1 - double(a.x1)) * t, a.y1 + (b.y1 - double(a.y1)) * t,
                               a.x2 + (b.x2 - double(a.x2)) * t, a.y2 + (b.y2 - double(a.y2)) * t);
      if (l.len2 == 0) continue;  // the line passes through a point at this time
      current.push_back(l);
      source.push_back(MakeLine(a.x1, a.y1, a.x2, a.y2));
    }
    if (current.empty()) {
      for (int32_t y = 0; y < H; ++y) std::memcpy(frame->ScanLine(y), Bitmap->ScanLine(y), size_t(W) * 3);
      Frames.push_back(std::move(frame));
      continue;
    }
    for (int32_t y = 0; y < H; ++y) {
      TRGB* out = static_cast<TRGB*>(frame->ScanLine(y));
      for (int32_t x = 0; x < W; ++x) {
        double sx = 0, sy = 0, sw = 0;
        for (size_t i = 0; i < current.size(); ++i) {
          const TLine& L = current[i];
          const TLine& A = source[i];
          const double u = ((x - L.px) * L.dx + (y - L.py) * L.dy) / L.len2;
          const double v = ((y - L.py) * L.dx - (x - L.px) * L.dy) / L.len;
          double dist;
          if (u <= 0)
            dist = std::hypot(x - L.px, y - L.py);
          else if (u >= 1)
            dist = std::hypot(x - L.qx, y - L.qy);
          else
            dist = std::fabs(v);
          const double srcX = A.px + u * A.dx + v * -A.dy / A.len;
          const double srcY = A.py + u * A.dy + v * A.dx / A.len;
          const double weight = std::pow(L.lenP / (kA + dist), kB);
          sx += (srcX - x) * weight;
          sy += (srcY - y) * weight;
          sw += weight;
        }
        const int64_t col = std::clamp<int64_t>(TruncSat(sx / sw + x + 0.5), 0, W - 1);
        const int64_t row = std::clamp<int64_t>(TruncSat(sy / sw + y + 0.5), 0, H - 1);
        out[x] = Bitmap->Pixels_vx24RGB(int32_t(col), int32_t(row));
      }
    }
    Frames.push_back(std::move(frame));
  }
}
