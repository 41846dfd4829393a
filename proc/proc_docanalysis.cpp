// TVexlaneProc: edge map, skew, orientation and density profiles.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "core/colorreduce.h"
#include "core/rotate.h"
#include "core/settings.h"
#include "core/threshold.h"
#include "proc/docanalysis.h"
#include "proc/proc.h"
#include "resample/resample.h"

void TVexlaneProc::EdgeDetect_ShenCastan(double Ratio, double Smooth, int32_t WindowSize, int32_t ThinFactor,
                                         bool DoHysteresis) {
  if (!BeginWholeImage(TVXPixelFormatSet{vx24RGB}, "EdgeDetect")) return;
  TProgressRec progress;
  progress.fOnProgress = OnProgress;
  progress.Sender = this;
  TVXBitmap* bitmap = AttachedVXBitmap();
  VXShenCastan(bitmap, bitmap, WindowSize, progress, DoHysteresis, ThinFactor, Smooth, Ratio);
  EndWholeImage();
}

namespace {

// The edge map that the skew detection measures: WindowSize 7, hysteresis,
// no thinning, Smooth 0.9, Ratio 0.99.
void EdgeMapForSkew(TVXBitmap* Source, TVXBitmap* Target, TProgressRec& Progress) {
  VXShenCastan(Source, Target, 7, Progress, true, 0, 0.9, 0.99);
}

}  // namespace

double TVexlaneProc::SkewDetection(int32_t ResampleWidth, int32_t AngleRange, double Precision, bool EdgeDetect) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageAnalysis(TVXPixelFormatSet{vx1g, vx24RGB}, x1, y1, x2, y2, work, mask)) return 0;
  TProgressRec progress;
  progress.fOnProgress = OnProgress;
  progress.Sender = this;
  const TVXPixelFormat format = work->PixelFormat();
  const int32_t W = work->Width(), H = work->Height();
  TVXBitmap temp;
  TVXBitmap* picture = work;
  if (ResampleWidth < 1 || ResampleWidth == W) {
    if (format != vx1g) {
      EdgeMapForSkew(work, &temp, progress);
      picture = &temp;
    } else if (EdgeDetect) {
      TVXBitmap colour(W, H, vx24RGB);
      VXConvert1BitTo24(work, &colour, progress);
      EdgeMapForSkew(&colour, &temp, progress);
      picture = &temp;
    }
  } else {
    const int64_t th = int64_t(ResampleWidth) * H / W;
    const TResampleFilter filter = VXGetGlobalSettings()->DefaultResampleFilter();
    picture = &temp;
    if (th < 1 || th > INT32_MAX) {
      picture = nullptr;
    } else if (format != vx1g) {
      if (temp.Allocate(ResampleWidth, int32_t(th), format)) VXResample24(work, &temp, nullptr, filter);
    } else if (EdgeDetect) {
      if (temp.Allocate(ResampleWidth, int32_t(th), vx24RGB)) VXResample1Bit(work, &temp, filter);
    } else {
      if (temp.Allocate(ResampleWidth, int32_t(th), vx1g)) VXStretchNearest(work, &temp);
    }
    if (picture && temp.IsEmpty()) picture = nullptr;
    if (picture && EdgeDetect) {
      EdgeMapForSkew(&temp, &temp, progress);
    } else if (picture && temp.PixelFormat() != vx1g) {
      // A colour page resampled without an edge map is measured by its
      // dark pixels at the average threshold.
      TVXBitmap bw;
      VXConvertTo1BitThreshold(&temp, &bw, -1, progress);
      temp.Assign(&bw);
    }
  }
  const double angle = picture ? VXHoughSkew(picture, AngleRange, Precision, this, OnProgress) : 0;
  EndImageAnalysis(work);
  DoFinishWork();
  return angle;
}

double TVexlaneProc::SkewDetectionFine(double StartingAngle, double resolution, int32_t range, bool maxQuality) {
  if (!(resolution > 0)) return StartingAngle;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageAnalysis(TVXPixelFormatSet{vx1g, vx24RGB}, x1, y1, x2, y2, work, mask)) return StartingAngle;
  TVXBitmap page;
  if (maxQuality) {
    page.Assign(work);
  } else {
    const int32_t d = std::max(work->Width() / 8, 256);
    const int32_t h = int32_t(double(work->Height()) / work->Width() * d);
    const TResampleFilter filter = VXGetGlobalSettings()->DefaultResampleFilter();
    if (h >= 1 && page.Allocate(d, h, vx24RGB)) {
      if (work->PixelFormat() == vx1g)
        VXResample1Bit(work, &page, filter);
      else
        VXResample24(work, &page, nullptr, filter);
    }
  }
  double result = StartingAngle;
  if (!page.IsEmpty()) {
    const double half = range / 2.0;
    int64_t bestScore = 0;
    double bestOffset = 0;
    int32_t last = -1;
    auto report = [&](int32_t per) {
      if (OnProgress && per != last) {
        last = per;
        OnProgress(this, per);
      }
    };
    for (int32_t sign : {-1, 1}) {
      for (int64_t k = sign < 0 ? 0 : 1;; ++k) {
        const double offset = sign * double(k) * resolution;
        if (!(std::fabs(offset) < half)) break;
        // The corners the turn uncovers are filled with white paper: black
        // wedges along the top and bottom rows would dominate the row
        // profile at small angles.
        TVXBitmap turned(&page);
        VXRotateShear24(&turned, false, nullptr, nullptr, TRGB{255, 255, 255}, StartingAngle + offset);
        const int64_t score = VXRowProfileScore(&turned);
        if (score > bestScore) {
          bestScore = score;
          bestOffset = offset;
        }
        report(int32_t(sign < 0 ? std::fabs(offset) / range * 100 : (half + std::fabs(offset)) / range * 100));
      }
    }
    result = StartingAngle + bestOffset;
  }
  EndImageAnalysis(work);
  DoFinishWork();
  return result;
}

int32_t TVexlaneProc::CalcOrientation() {
  if (!CheckFormat(TVXPixelFormatSet{})) return 0;
  TVXBitmap* b = AttachedVXBitmap();
  if (!b || b->IsEmpty()) return 0;
  std::vector<int32_t> rows(size_t(b->Height()), 0), cols(size_t(b->Width()), 0);
  VXCalcDensityProfiles(b, 0, 0, 1000, 1000, cols.data(), rows.data(), this, OnProgress, b->Height(), b->Width());
  auto variation = [](const std::vector<int32_t>& v) {
    int64_t s = 0;
    for (size_t i = 0; i + 1 < v.size(); ++i) s += (int64_t(v[i + 1]) - v[i]) * (int64_t(v[i + 1]) - v[i]);
    return s;
  };
  return variation(cols) > variation(rows) ? 90 : 0;
}

void TVexlaneProc::CalcDensityHistogram(int32_t* VertHist, int32_t* HorizHist, int32_t norm_vert, int32_t norm_horiz) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageAnalysis(TVXPixelFormatSet{}, x1, y1, x2, y2, work, mask)) return;
  VXCalcDensityProfiles(work, x1, y1, norm_horiz, norm_vert, HorizHist, VertHist, this, OnProgress, y2, x2);
  EndImageAnalysis(work);
  DoFinishWork();
}
