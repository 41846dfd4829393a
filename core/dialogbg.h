#pragma once
// The grey backgrounds of the dialogs (stripes in dialog style 1, brushed
// metal in style 2) and the Gaussian curve they are shaded with.

#include <cstdint>
#include <vector>

class TBitmap;

// N values of a Gaussian over -1 .. 1 scaled so that its peak is MaxValue
// and 0 would be MinValue; N < 1 gives no values.
void VXGaussianCurve(int32_t N, int32_t MinValue, int32_t MaxValue, double Sigma, std::vector<double>& Values);
// Bitmap becomes Width x Height, 24 bits, in grey stripes of four rows.
void VXFillStripesBitmap(TBitmap* Bitmap, int32_t Width, int32_t Height);
// Bitmap becomes Width x Height, 24 bits, of brushed metal: a grey profile
// across the columns with random streaks (the shared generator,
// core/random.h).
void VXFillBrushedMetalBitmap(TBitmap* Bitmap, int32_t Width, int32_t Height);
