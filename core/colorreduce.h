// Colour reduction, dithering and depth conversion of whole bitmaps: grey and
// sepia toning, reduction to N colours (quantised or error-diffused into a
// palette), black and white by ordered dither or threshold, expansion of
// 1-bit images to 24 bits, and the two-colour test of the image writers.
//
// The processing component's depth-changing operations forward here:
//   ConvertToGray / ConvertToSepia  -> VXDoConvertToGray / VXDoConvertToSepia (work rectangle)
//   ConvertTo(NumColors, Dither)    -> VXConvertToColors
//   ConvertToPalette                -> VXConvertToPalette
//   ConvertToBWOrdered              -> VXDitherToBWOrdered
//   ConvertToBWThreshold            -> VXThresholdToBWInPlace
//   ConvertTo24Bit                  -> VXConvertTo24Bit
//   CalcImagePalette                -> VXCalcImagePalette
#pragma once

#include <cstdint>
#include <memory>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXBitmap;

// The 8x8 ordered-dither (Bayer) matrix, values 0..63; the entry for pixel
// (x, y) is VXOrderedDitherMatrix[x & 7][y & 7].
extern const uint8_t VXOrderedDitherMatrix[8][8];

// Expands Count packed 1-bit pixels (most significant bit first, 1 = white)
// into 24-bit pixels (255, 255, 255) or (0, 0, 0).
// Builds the table behind VXExpand1BitRow (the processing module's start-up;
// the first expansion builds it otherwise).
void VXInitExpand1BitTable();
void VXExpand1BitRow(const void* Input, void* Output, int32_t Count);

// Writes Dest as the vx24RGB expansion of the vx1g Source (same size);
// Dest's alpha channel is left as it is. Progress after each row:
// Trunc(100 / (Height + 0.5) * rows done).
void VXConvert1BitTo24(TVXBitmap* Source, TVXBitmap* Dest, TProgressRec& Progress);

// Turns a vx24RGB bitmap into vx1g in place by ordered dithering of the grey
// level div 4 (pixels with all channels >= 251 count as white); other formats
// are left alone. The alpha channel is kept.
void VXDitherToBWOrdered(TVXBitmap* Bitmap, TProgressRec& Progress);

// Turns a vx24RGB bitmap into vx1g in place with the threshold rule of
// VXConvertTo1BitThreshold (-2 maximum entropy, -1 grey of the mean colour,
// else the grey level); other formats are left alone. Alpha is kept.
void VXThresholdToBWInPlace(TVXBitmap* Bitmap, int32_t Threshold, TProgressRec& Progress);

// Reduces a vx24RGB bitmap to at most NumColors colours in place, each pixel
// replaced by its palette colour. Palette (NumColors entries) receives the
// palette when given. Other formats are left alone.
void VXQuantizeInPlace(TVXBitmap* Bitmap, int32_t NumColors, TRGB* Palette, void* Sender,
                       const TVXProgressEvent& OnProgress);

// Floyd-Steinberg error diffusion of the vx24RGB Source into Dest, allocated
// vx8p with a palette of NumColors (1..256) entries from the quantiser.
void VXDitherToPalette(TVXBitmap* Source, TVXBitmap* Dest, int32_t NumColors);

// For an image of exactly two colours: a new vx1g bitmap of its size where
// Color1 (the darker, by grey level) is 0 and Color2 is 1. nullptr for an
// image of one colour or more than two.
std::unique_ptr<TVXBitmap> VXTwoColorsTo1Bit(TVXBitmap* Bitmap, TRGB& Color1, TRGB& Color2);

// Grey (settings' weights) and sepia toning of the vx24RGB rectangle
// x1, y1 (inclusive) .. x2, y2 (exclusive, cut to the image).
void VXDoConvertToGray(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                       const TVXProgressEvent& OnProgress);
void VXDoConvertToSepia(TVXBitmap* Bitmap, int32_t Depth, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                        void* Sender, const TVXProgressEvent& OnProgress);

// Reduction to NumColors colours of a vx24RGB image: below 3 black and white
// (ordered with vxOrdered, else the mean-grey threshold); 3..1024 quantised,
// or error-diffused into a vx8p image with vxDithering and at most 256
// colours; above 1024 nothing.
void VXConvertToColors(TVXBitmap* Bitmap, int32_t NumColors, TVXDitherMethod DitherMethod, void* Sender,
                       const TVXProgressEvent& OnProgress);
// As VXConvertToColors without error diffusion, filling Palette: black and
// white for fewer than 3 colours, the NumColors quantiser colours for 3..1024.
// NumColors 0 and above 1024 do nothing.
void VXConvertToPalette(TVXBitmap* Bitmap, int32_t NumColors, TRGB* Palette, TVXDitherMethod DitherMethod,
                        void* Sender, const TVXProgressEvent& OnProgress);
// Expands a vx1g image to vx24RGB in place (other formats: nothing).
void VXConvertTo24Bit(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress);
// Fills Palette[0 .. PaletteHigh] with at most NumColors colours of a
// vx24RGB image (other formats: nothing).
void VXCalcImagePalette(TVXBitmap* Bitmap, TRGB* Palette, int32_t PaletteHigh, int32_t NumColors);
