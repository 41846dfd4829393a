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
