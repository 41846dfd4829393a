#pragma once
// Helpers shared by the rotation and flip files of the core.

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/bitmap.h"

namespace vxrotate {

// True: the renderers leave their vector paths unused (tests hold both
// paths to the same bytes).
extern bool gRenderScalarOnly;

// Round: to the nearest integer, halves to even.
inline int64_t RoundEven(double v) { return int64_t(std::nearbyint(v)); }

// A work bitmap that lives where Like lives (location, file threshold,
// origin, alignment), so that it can take Like's place without a copy.
void PrepareLike(TVXBitmap& Temp, TVXBitmap* Like);

// Image becomes Bitmap's image as TVXBitmap::AssignImage would make it
// (pixels and palette; the alpha channel, origin, levels and colour profile
// stay), moving the storage when the layouts agree. Image is left empty.
void ReplaceImage(TVXBitmap* Bitmap, TVXBitmap& Image);

// Allocates Bitmap or raises EVXException.
void AllocateOrRaise(TVXBitmap* Bitmap, int64_t Width, int64_t Height, TVXPixelFormat Format);

// The addresses of every row, kept mapped (GetRow) until Release.
class TRows {
 public:
  explicit TRows(TVXBitmap* Bitmap);
  ~TRows();
  TRows(const TRows&) = delete;
  TRows& operator=(const TRows&) = delete;
  uint8_t* operator[](int32_t Row) const { return fRows[size_t(Row)]; }
  const std::vector<uint8_t*>& All() const { return fRows; }

 private:
  TVXBitmap* fBitmap;
  std::vector<uint8_t*> fRows;
};

// Exact turns of any pixel format into Dest, which is allocated (quarter
// turns: H x W) with Source's format and palette. Turn: 1 a quarter turn
// counter-clockwise, 2 a half turn, 3 a quarter turn clockwise.
void TurnExact(TVXBitmap* Source, TVXBitmap* Dest, int Turn);

}  // namespace vxrotate
