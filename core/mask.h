// TVXMask: a selection mask of 1 or 8 bits per pixel with the bounding box of
// the pixels it selects.
//
// In an 8-bit mask a pixel value is a selection strength (0 not selected, 255
// fully selected); in a 1-bit mask a set bit means selected. Rows are stored
// bottom-up like a device-independent bitmap, each 32-bit aligned; a 1-bit row
// holds pixel x in bit 7 - (x & 7) of byte x >> 3. The pixel block is allocated
// zero-filled the first time an operation touches pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "gui/graphics_types.h"
#include "platform/win_geometry.h"

class TVXBitmap;
class TBitmap;
class TCanvas;

class TVXMask {
 public:
  // Marks the end of one polygon in a point list given to DrawPolygon.
  static constexpr int32_t PolygonSeparator = 0xFFFFF;
  // fX1 of an empty bounding box.
  static constexpr int32_t EmptyBox = 2147483647;

  TVXMask();
  ~TVXMask();
  TVXMask(const TVXMask&) = delete;
  TVXMask& operator=(const TVXMask&) = delete;

  // Frees the block and gives the mask a new size and depth; the block is
  // allocated on first use. Empties the box and clears Full.
  void AllocateBits(int32_t width, int32_t height, int32_t bitsperpixel);
  // Frees the block and sets size, depth and row length to 0.
  void FreeBits();
  // Copies size, depth, block, box and Full of Source (nullptr: nothing).
  void Assign(const TVXMask* Source);

  void SetPixel(int32_t x, int32_t y, int32_t Alpha);
  // 0 outside the mask; 8-bit: the value; 1-bit: the bit's weight in its byte
  // (128 >> (x & 7)) when set.
  int32_t GetPixel(int32_t x, int32_t y) const;
  bool IsPointInside(int32_t x, int32_t y) const;

  // Fills rows Top..Bottom from Left to Right, all included.
  void SetRectangle(const TRect& Rect, int32_t Alpha);
  void SetRectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Alpha);
  void SetEllipse(int32_t CenterX, int32_t CenterY, int32_t Width, int32_t Height, int32_t Alpha);
  // Fills one or more polygons (even-odd rule), separated in the point list by
  // points whose x is PolygonSeparator. SelPoly holds SelPolyCount points.
  void DrawPolygon(int32_t Alpha, const TPoint* SelPoly, int32_t SelPolyCount);

  // Sets every byte of the block (padding included) to Alpha.
  void Fill(int32_t Alpha);
  // Clears all pixels and empties the box.
  void Empty();
  bool IsEmpty() const { return fX1 == EmptyBox; }
  // Recomputes the bounding box exactly.
  void SyncRect();
  // Recomputes Full exactly.
  void SyncFull();

  // Changes the size keeping the top-left content.
  void Resize(int32_t NewWidth, int32_t NewHeight);
  // Nearest-neighbour copy of the mask at another size, same depth.
  std::unique_ptr<TVXMask> CreateResampledMask(int32_t NewWidth, int32_t NewHeight) const;
  // Inverts the selection: selected pixels become 0, others MaxVal.
  void Negative(int32_t MaxVal);
  // Deselects everything outside x1..x2, y1..y2 (both included).
  void Intersect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Moves the content of the bounding box by (ox, oy). With CutSel the box is
  // cut to what stays inside; without, the offsets are limited so that the box
  // stays inside the mask, and the caller sees the limited values.
  void TranslateBitmap(int32_t& ox, int32_t& oy, bool CutSel);
  // Limits the selection by an 8-bit (vx8g or vx8p) alpha bitmap placed at
  // (ox, oy). Other formats leave the mask unchanged.
  void CombineWithAlpha(TVXBitmap* SourceAlpha, int32_t ox, int32_t oy, bool SynchronizeBoundingRect);

  // Copies the selected pixels of Source into Dest (both of one pixel
  // format): a 1-bit mask copies them, an 8-bit mask blends each channel as
  // d + floor((s - d) * m / 256) (vx32f: d + (s - d) * m / 256; vx1g copies
  // the bit where m is not 0). dstonlymask / srconlymask: that bitmap holds
  // only the bounding box. The region is clipped to the mask and both
  // bitmaps. With UseAlphaChannel, and an alpha channel on either side,
  // CopyVXBitmapAlpha follows with the same flags.
  void CopyVXBitmap(TVXBitmap* Dest, TVXBitmap* Source, bool dstonlymask, bool srconlymask, bool UseAlphaChannel);
  // Writes Dest's alpha channel (created when missing) over the region:
  // Source's alpha (255 without one) where a 1-bit mask is set, min(alpha, m)
  // where an 8-bit mask is not 0, 0 elsewhere; then clears its Full mark.
  void CopyVXBitmapAlpha(TVXBitmap* Dest, TVXBitmap* Source, bool dstonlymask, bool srconlymask);

  // ---- screen drawing (mask_draw.cpp) ----
  // Each maps the mask rectangle (xMask, yMask, dxMask, dyMask) onto the
  // destination rectangle (xDst, yDst, dxDst, dyDst) and draws nothing when
  // either is empty or the zoom is beyond 16384:1.
  //
  // Inverts the selected area of a 1-bit mask on Dest (one stretched blit);
  // 8-bit masks draw nothing.
  void InvertCanvas(TCanvas* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xMask,
                    int32_t yMask, int32_t dxMask, int32_t dyMask);
  // The marching ants: the border pixels of the selection, in stripes of
  // four Color2 and four Color1 pixels along the diagonals, moved by one
  // pixel for each step of AniCounter. actualRect (when given) receives the
  // drawing range on Dest, one pixel inside.
  void DrawOutline(TCanvas* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xMask,
                   int32_t yMask, int32_t dxMask, int32_t dyMask, int32_t AniCounter, TColor Color1, TColor Color2,
                   TRect* actualRect);
  // Paints the unselected pixels of the mapped mask on a 24-bit Dest:
  // AlphaBlend -1 a (97, 97, 97) checkerboard, otherwise Color blended in
  // at AlphaBlend / 255. Partly selected pixels are left.
  void DrawOuter(TBitmap* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xMask,
                 int32_t yMask, int32_t dxMask, int32_t dyMask, int32_t AlphaBlend, TColor Color);
  // Copies the selected pixels of Source into Dest (both pf24bit or both
  // pf1bit); an 8-bit mask blends 24-bit pixels as d + floor((s - d) * m /
  // 256) and copies 1-bit pixels where m is not 0. The region is the box
  // clipped to the mask and both bitmaps; the flags as for CopyVXBitmap.
  void CopyBitmap(TBitmap* Dest, TBitmap* Source, bool dstonlymask, bool srconlymask);

  // Address of row Row (0 = top); nullptr when Row is outside the mask or the
  // block cannot be allocated.
  uint8_t* GetScanLine(int32_t Row);
  uint8_t* ScanLine(int32_t Row) { return GetScanLine(Row); }

  int32_t Width() const { return fWidth; }
  int32_t Height() const { return fHeight; }
  int32_t BitsPerPixel() const { return fBitsperpixel; }
  int64_t Rowlen() const { return fRowlen; }
  int32_t X1() const { return fX1; }
  int32_t Y1() const { return fY1; }
  int32_t X2() const { return fX2; }
  int32_t Y2() const { return fY2; }
  void SetX1(int32_t v) { fX1 = v; }
  void SetY1(int32_t v) { fY1 = v; }
  void SetX2(int32_t v) { fX2 = v; }
  void SetY2(int32_t v) { fY2 = v; }
  bool Full() const { return fFull; }
  void SetFull(bool v) { fFull = v; }
  // The pixel block, allocated on demand (nullptr for a size-0 mask or when
  // the allocation fails).
  uint8_t* Bits();
  // Whether the block has been allocated.
  bool HasBits() const { return fBits != nullptr; }

 private:
  bool EnsureBits();
  // The scratch bitmap of the screen drawings at dxDst x dyDst and the
  // mask's depth, filled with VXStretchMaskRegion; false when it cannot be
  // had.
  bool PrepareScratch(int32_t dxDst, int32_t dyDst, int32_t xMask, int32_t yMask, int32_t dxMask, int32_t dyMask);
  const uint8_t* ScratchRow(int32_t i) const {
    return fTmpBmp.get() + size_t(fTmpBmpHeight - i - 1) * size_t(fTmpBmpRowlen);
  }
  void FreeScratch();
  void EmptyBoxRect();
  void WidenBox(int64_t x, int64_t y);
  void ClampBox();
  void UpdateFull(bool fullValue);
  uint8_t* RowPtr(int32_t y) const { return fBits.get() + size_t(fHeight - 1 - y) * size_t(fRowlen); }
  void WritePixel(int32_t x, int32_t y, int32_t Alpha);
  int64_t FillSpan(int32_t Alpha, int64_t y, int64_t x1, int64_t x2);
  void FillPolygon(int32_t Alpha, const TPoint* Points, int32_t Count);
  size_t BlockSize() const;

  int32_t fWidth = 0;
  int32_t fHeight = 0;
  int32_t fBitsperpixel = 0;
  int64_t fRowlen = 0;
  std::unique_ptr<uint8_t[]> fBits;
  int32_t fX1 = EmptyBox;
  int32_t fY1 = EmptyBox;
  int32_t fX2 = 0;
  int32_t fY2 = 0;
  bool fFull = false;

  // Scratch bitmap of the screen drawings (kept while the size stays).
  std::unique_ptr<uint8_t[]> fTmpBmp;
  int32_t fTmpBmpWidth = 0;
  int32_t fTmpBmpHeight = 0;
  int32_t fTmpBmpDepth = 0;
  int64_t fTmpBmpRowlen = 0;
  // The 1 x 1 24-bit bitmap the outline is plotted with.
  std::unique_ptr<TBitmap> fDrawPixelBitmap;
};

// Fills the scratch rows (bottom-up, row i at Scratch + ScratchRowlen x
// (dyDst - i - 1), of the mask's depth) with the mask rectangle (xMask,
// yMask, dxMask, dyMask) stretched to dxDst x dyDst in 14-bit fixed point:
// the whole scratch is cleared, then the part the box X1..X2, Y1..Y2 maps to
// is copied. Mask columns or rows outside the mask read as unselected.
void VXStretchMaskRegion(int32_t Bitsperpixel, uint8_t* Scratch, int64_t ScratchRowlen, int32_t dxDst,
                         int32_t dyDst, int32_t xMask, int32_t yMask, int32_t dxMask, int32_t dyMask,
                         const uint8_t* MaskBits, int64_t MaskRowlen, int32_t MaskWidth, int32_t MaskHeight,
                         int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
