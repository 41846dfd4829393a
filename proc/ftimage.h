#pragma once
// TVXFtImage: the two-dimensional Fourier transform of an image, one complex
// plane per colour channel (or one for grey), on a square power-of-two grid
// with the zero frequency in the centre. It shows the spectrum as a picture,
// cuts frequencies and transforms back into a bitmap.
//
// The transform is a single-precision radix-2 FFT: butterflies whose
// twiddles come from a sine table (the cosine read a quarter period further
// on), the bit-reversal exchanges, then every value times 1 / sqrt(N) in
// both directions, so the forward and inverse transforms form a unitary
// pair. Rows are transformed first, then columns. Several rows or columns
// are worked on at once, each value seeing exactly the operations of the
// one-row transform, so results do not depend on how many are grouped.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/vxdefs.h"

class TVXBitmap;
class TVXMask;

enum TVXFtImageType { vxitUnknown, vxitRGB, vxitGrayscale };

// A complex plane of N x N cells: row y holds the N real parts (index x)
// followed by the N imaginary parts (index N + x). One block of N x 2N
// singles backs all rows.
struct TVXCOMPLEX_IMAGE {
  TVXCOMPLEX_IMAGE(int32_t N);
  float* operator[](int32_t y) const { return rows[size_t(y)]; }
  int32_t Size() const { return N; }

  int32_t N;
  std::unique_ptr<float[]> block;
  std::vector<float*> rows;
};
using PVXCOMPLEX_IMAGE = TVXCOMPLEX_IMAGE*;

// The values of one grid cell in every plane; nullptr where a plane does
// not exist (or the cell lies outside the grid).
struct TVXComplexColor {
  float* real_Red = nullptr;
  float* imag_Red = nullptr;
  float* real_Blue = nullptr;
  float* imag_Blue = nullptr;
  float* real_Green = nullptr;
  float* imag_Green = nullptr;
  float* imag_gray = nullptr;
  float* real_gray = nullptr;
};

class TVXFtImage {
 public:
  // An empty object: type vxitUnknown, no tables, no planes.
  TVXFtImage();
  ~TVXFtImage();
  TVXFtImage(const TVXFtImage&) = delete;
  TVXFtImage& operator=(const TVXFtImage&) = delete;

  // Frees the own planes, then copies grid size, position and size of the
  // source, type and progress event, and a copy of every plane Source has.
  void Assign(const TVXFtImage* Source);

  // The smallest power of two (1, 2, 4, ...) not below the larger side.
  static void CalcFFTImageSize(int32_t ImageWidth, int32_t ImageHeight, int32_t& FFTImageWidthHeight);
  // A third of the long side (at least 128), the short side in proportion
  // (div); the size the preview dialog transforms.
  static void CalcSuitableSourceSize(int32_t OrigWidth, int32_t OrigHeight, int32_t& NewWidth, int32_t& NewHeight);

  // Transforms the vx24RGB bitmap: planes red, green and blue (vxitRGB), or
  // one of the grey level (vxitGrayscale), or none (another type). The
  // source is centred on a black N x N grid and each plane divided by its
  // maximum (when above 1) before the forward transform. Raises
  // EVXException "Image too large: N x N pixels" when the planes of the grid
  // are beyond the library's limits; the object then holds no planes.
  void BuildFT(TVXBitmap* fOrigBitmap, TVXFtImageType ImageType);
  // The spectrum picture, N x N vx24RGB: ln sqrt |z| of each cell, stretched
  // to 0 .. 255 per plane (grey into all three bytes). Black when there are
  // no planes.
  void GetFTImage(TVXBitmap* Bitmap);
  // The inverse transform at the source's size, vx24RGB: the absolute real
  // parts of each plane stretched from their minimum and maximum over the
  // grid to 0 .. 255. Black when there are no planes.
  void BuildBitmap(TVXBitmap* Bitmap);
  // Pointers to the values of cell (x, y); all nullptr outside the grid.
  TVXComplexColor GetComplexImage(int32_t x, int32_t y);
  // Clears (real and imaginary 0) every cell whose distance
  // Trunc(sqrt(dx^2 + dy^2)) from the centre (N div 2, N div 2) is at most
  // radius (HiPass) or beyond it (LoPass).
  void HiPass(int32_t radius);
  void LoPass(int32_t radius);
  // Sets every cell of x1..x2, y1..y2 (inclusive, cut to the grid) to
  // vreal + i vimag.
  void ClearZone(int32_t x1, int32_t y1, int32_t x2, int32_t y2, float vreal, float vimag);
  // The same for every cell of the mask's bounding box whose mask value is
  // above 0 (where mask and grid overlap).
  void ClearZone(TVXMask* mask, float vreal, float vimag);

  // (Sender = this object, percent) during the transforms.
  TVXProgressEvent OnProgress;

  TVXFtImageType ImageType() const { return fImageType; }
  // The grid size N (0 before the first transform).
  int32_t FFTN() const { return fFFTN; }
  // Where the source lies in the grid, and its size.
  int32_t OX() const { return fOX; }
  int32_t OY() const { return fOY; }
  int32_t OrigBitmapWidth() const { return fOrigBitmapWidth; }
  int32_t OrigBitmapHeight() const { return fOrigBitmapHeight; }
  bool Normalize() const { return NORMALIZE; }
  // The planes (nullptr when absent).
  PVXCOMPLEX_IMAGE fftr() const { return ffr.get(); }
  PVXCOMPLEX_IMAGE fftg() const { return ffg.get(); }
  PVXCOMPLEX_IMAGE fftb() const { return ffb.get(); }
  PVXCOMPLEX_IMAGE fftgray() const { return ffgray.get(); }

  // The tables of the current grid: sin(2 pi i / N), the bit reversal of i
  // over log2 N bits, and 2^i for i = 0 .. log2 N.
  const std::vector<double>& sintabpt() const { return fSinTab; }
  const std::vector<int32_t>& bittabpt() const { return fBitTab; }
  const std::vector<int32_t>& powers() const { return fPowers; }

 private:
  void FreePlanes();
  // Rebuilds the tables for a grid of N.
  void BuildTables(int32_t N);
  // The planes in their fixed order (red, green, blue or grey).
  std::vector<TVXCOMPLEX_IMAGE*> Planes() const;
  // Every row, then every column of Source into Dest (which may be Source);
  // Direction -1 forward, +1 inverse. PlaneIndex and PlaneCount place the
  // progress of this plane.
  void Transform2D(const TVXCOMPLEX_IMAGE& Source, TVXCOMPLEX_IMAGE& Dest, int32_t Direction, int32_t PlaneIndex,
                   int32_t PlaneCount);

  std::vector<double> fSinTab;
  std::vector<int32_t> fBitTab;
  std::vector<int32_t> fPowers;
  int32_t numpts = 0;
  int32_t nn = 0;
  double scalef = 1;
  int32_t fFFTN = 0;
  bool NORMALIZE = false;
  std::unique_ptr<TVXCOMPLEX_IMAGE> ffr, ffg, ffb, ffgray;
  int32_t fOX = 0, fOY = 0;
  int32_t fOrigBitmapWidth = 0, fOrigBitmapHeight = 0;
  TVXFtImageType fImageType = vxitUnknown;
};

namespace vxdetail {
// Runs the transform's loops for the baseline instruction set even where
// AVX2 is available (the tests compare both).
void VXFtImageForceBaseline(bool Value);
}  // namespace vxdetail
