// The library's own imaging factory behind the platform's imaging interfaces
// (platform/win_imaging.h), installed by the formats module's start-up:
//
//   decoders   HD Photo over libjxr (formats/jxr_codec.h); TIFF, GIF, JPEG,
//              BMP, ICO and PNG through the library's codecs
//              (io/codec_table.h). The preferred decoder class names the
//              format tried first; the content decides.
//   encoders   HD Photo over libjxr. Options of its frames' bag:
//                "Lossless" true, or "ImageQuality" 1.0: lossless coding;
//                "ImageQuality" q below 1 (0.9 when not given): quantiser
//                  index by kQualityTable (a quality between two entries is
//                  interpolated linearly, then rounded): lower quality,
//                  larger quantiser; below 0.5 with two overlap levels and
//                  4:2:0 colour, else one level and 4:4:4;
//                "UseCodecOptions" true: "Quality" is the quantiser index
//                  itself (1 lossless .. 255), "Overlap" 0..2, "Subsampling"
//                  0 Y only, 1 4:2:0, 2 4:2:2, 3 4:4:4, "HorizontalTileSlices"
//                  and "VerticalTileSlices" (uniform tiles, at most one per
//                  macroblock), "FrequencyOrder" (false: spatial order);
//                "CompressionQuality" and "TiffCompressionMethod" are
//                  ignored by HD Photo.
//              Pixel formats: BlackWhite, 8bppGray, 16bppGray, 24bppBGR,
//              48bppRGB, 32bppCMYK. TIFF, GIF, JPEG, BMP and PNG through the
//              library's codecs.
//   converter  over the core's conversions. Into BlackWhite, 8bppIndexed and
//              8bppGray with a palette type other than Custom the colours are
//              mapped to the palette: median cut (the core's quantiser),
//              fixed black and white, the halftone cubes (8 = 2x2x2,
//              27 = 3x3x3, 64 = 4x4x4, 125 = 5x5x5, 216 = 6x6x6,
//              252 = 6 red x 7 green x 6 blue, 256 = 8 x 8 x 4), fixed greys
//              4, 16 and 256 evenly spaced (0 .. 255); BlackWhite always maps
//              to black and white. Dithers: solid (nearest entry), ordered
//              4x4, 8x8 (VXDitherToBWOrdered's matrix) and 16x16 Bayer
//              matrices, spiral 4x4 and 8x8 (ranks spiralling out from the
//              centre), dual spiral 4x4 and 8x8 (the four quadrants hold a
//              spiral of half size, ranks interleaved top-left, bottom-right,
//              top-right, bottom-left), and Floyd-Steinberg error diffusion.
//              A matrix of N x N ranks r moves each channel by
//              ((r + 0.5) / N^2 - 0.5) x the palette's step before the
//              nearest entry is taken; to black and white a pixel is white
//              when its rank is below grey x N^2 / 256 (all channels at
//              least 251: always). Other destinations are plain conversions.
//   scaler     keeps the source's pixel format (indexed and black-and-white
//              sources give 24bppBGR in modes 1 to 3). Mode 0: target pixel
//              x takes source pixel Trunc((x + 0.5) x SW / DW) (rows alike);
//              modes 1 and 2: the processing library's rfBilinear and
//              rfBicubic; mode 3 (Fant): the exact area average, rounded to
//              nearest (ties to even).
//   palettes   predefined, custom, or median cut of a bitmap.
#pragma once

#include "platform/win_imaging.h"

// A new factory with one reference.
IWICImagingFactory* VXCreateImagingFactory();

// The quantiser index the HD Photo encoder uses for an "ImageQuality" value
// (1 for 1.0 and above).
uint8_t VXHDPhotoQualityToQP(double Quality);
