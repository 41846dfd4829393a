#pragma once
// Document analysis: the Shen-Castan edge map, the skew of a scanned page by
// a Hough transform and its refinement by the row profile, and the row and
// column brightness profiles behind them.
//
// Implementation files:
//   proc/shencastan.cpp  VXShenCastan
//   proc/skew.cpp        VXHoughSkew, VXRowProfileScore, VXCalcDensityProfiles

#include <cstdint>

#include "core/vxdefs.h"

class TVXBitmap;

// The Shen-Castan edge detector (infinite symmetric exponential filter of
// constant Smooth, band-limited Laplacian, adaptive gradient over a
// WindowSize window, thresholds at Ratio of the gradient histogram, with
// hysteresis when DoHysteresis, chains thinned every ThinFactor pixels when
// ThinFactor > 0). Source is vx24RGB; Target (which may be Source) becomes
// a vx1g map of the same size, edges black on white; its first column and
// last row are white. Other source formats leave Target alone.
void VXShenCastan(TVXBitmap* Source, TVXBitmap* Target, int32_t WindowSize, TProgressRec& Progress,
                  bool DoHysteresis, int32_t ThinFactor, double Smooth, double Ratio);

// Steps per degree of the Hough transform for Precision: Round(1 /
// Precision) when Trunc(Precision x 10) / 10 lies in 0.1 .. 1, else 0
// (refused).
int32_t VXHoughStepsPerDegree(double Precision);

// The skew in degrees of a vx1g page from a Hough transform over its black
// pixels at the angles within AngleRange (0 .. 180) degrees around the
// horizontal. 0 for another format or refused parameters, -90 for a page
// without black pixels. A page turned clockwise on screen gives a positive
// angle. Progress after each row: Trunc(y x 100 / Height).
double VXHoughSkew(TVXBitmap* Bitmap, int32_t AngleRange, double Precision, void* Sender,
                   const TVXProgressEvent& OnProgress);

// Row (VertHist, one entry a row) and column (HorizHist, one a column)
// profiles of the rectangle x1..x2-1, y1..y2-1 (cut to the bitmap): grey
// levels of vx24RGB pixels or the white bits of vx1g, normalised so that
// the largest entry becomes norm_vert or norm_horiz. Other formats leave
// the arrays as they are.
void VXCalcDensityProfiles(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t norm_horiz, int32_t norm_vert,
                           int32_t* HorizHist, int32_t* VertHist, void* Sender, const TVXProgressEvent& OnProgress,
                           int32_t y2, int32_t x2);

// The sum of the squared differences of adjacent entries of the row
// profile (normalised to 1000): large when rows of text lie level.
int64_t VXRowProfileScore(TVXBitmap* Bitmap);
