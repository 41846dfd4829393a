#pragma once
// Similarity of the histograms of two images.

#include <cstdint>
#include <span>

class TVXBitmap;

enum TVXCmpMode { vxcmpRMSE, vxcmpHamming, vxcmpCovariance };

// Distance of two histograms of one channel over the shorter length n:
// vxcmpRMSE sqrt(sum of squared differences / n) / (largest - smallest
// counter of both), 0 when all counters are equal; vxcmpHamming the share of
// levels whose counters differ; vxcmpCovariance the covariance of the two
// counter series (as a running mean).
double VXHistogramDistance(std::span<const uint32_t> a, std::span<const uint32_t> b, TVXCmpMode Mode);
// 1 - the distance of the grey histograms (GrayScale), else 1 - the mean
// distance of the red, green and blue ones. Both histograms are taken over
// the rectangle (0, 0) .. (Bitmap's width, SecondImage's height), each cut to
// its own bitmap.
double VXCompareHistograms(TVXBitmap* Bitmap, TVXBitmap* SecondImage, TVXCmpMode Mode, bool GrayScale);
