// RenderToTVXBitmap: clipping, the filtered path through temporaries, the
// lookup tables and weights, and dispatch to the row renderers.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/render_internal.h"
#include "core/resample_hook.h"

namespace {

constexpr int32_t kOne = 16384;

// Sets the source's access mode to read for the call and restores it.
class ReadAccessScope {
 public:
  explicit ReadAccessScope(TVXBitmap* b) : b_(b), saved_(b->Access()) { b->SetAccess(vxdRead); }
  ~ReadAccessScope() { b_->SetAccess(saved_); }
  ReadAccessScope(const ReadAccessScope&) = delete;
  ReadAccessScope& operator=(const ReadAccessScope&) = delete;

 private:
  TVXBitmap* b_;
  TVXDataAccess saved_;
};

inline int64_t Clamp64(int64_t v, int64_t lo, int64_t hi) { return std::max(std::min(v, hi), lo); }

// Round to nearest (halves to even) of a product that may be huge.
inline int64_t RoundProduct(int64_t k, double r) {
  const double v = std::nearbyint(double(k) * r);
  return std::fabs(v) < 9e18 ? int64_t(v) : 0;
}
inline int64_t TruncProduct(int64_t k, double r) {
  const double v = double(k) * r;
  return std::fabs(v) < 9e18 ? int64_t(v) : 0;
}

// Runs of consecutive indexes first..last whose table entry lies in 0..limit-1
// (the whole range when there is no table).
std::vector<std::pair<int32_t, int32_t>> ValidRuns(const int32_t* table, int32_t first, int32_t last, int32_t limit) {
  std::vector<std::pair<int32_t, int32_t>> runs;
  if (!table) {
    if (first <= last) runs.emplace_back(first, last);
    return runs;
  }
  int32_t start = -1;
  for (int32_t i = first; i <= last; ++i) {
    const bool ok = table[i - first] >= 0 && table[i - first] < limit;
    if (ok && start < 0) start = i;
    if (!ok && start >= 0) {
      runs.emplace_back(start, i - 1);
      start = -1;
    }
  }
  if (start >= 0) runs.emplace_back(start, last);
  return runs;
}

void CopyLevels(TVXBitmap* From, TVXBitmap* To) {
  for (int32_t i = 0; i < 4; ++i) To->SetChannelOffset(i, From->ChannelOffset(i));
  To->SetEnableChannelOffset(From->EnableChannelOffset());
  To->SetContrast(From->Contrast());
  To->SetWhiteValue(From->WhiteValue());
  To->SetBlackValue(From->BlackValue());
}

void AllocateOrThrow(TVXBitmap& b, int32_t w, int32_t h, TVXPixelFormat f) {
  if (!b.Allocate(w, h, f)) throw EVXException("Not enough memory to render the image");
}

}  // namespace

bool vxrender::UsableDestination(const char* Caller, TVXBitmap* Dest) {
  if (!Dest) throw EVXException(std::string(Caller) + ": no destination bitmap");
  if (Dest->IsEmpty()) return false;
  if (Dest->PixelFormat() != vx24RGB)
    throw EVXException(std::string(Caller) + ": the destination must be a 24-bit RGB bitmap");
  if (Dest->Location() == vxFile)
    throw EVXException(std::string(Caller) + ": the destination keeps its rows in a file; it must be held in memory");
  return true;
}

void vxrender::ResampleRect(TVXBitmap* Source, int32_t x, int32_t y, int32_t w, int32_t h, bool WithAlpha,
                            TResampleFilter Filter, int32_t dw, int32_t dh, TVXPixelFormat Format, TVXBitmap& Sized) {
  const TVXPixelFormat sf = Source->PixelFormat();
  TVXBitmap part;
  AllocateOrThrow(part, w, h, sf);
  Source->CopyRectTo(&part, x, y, 0, 0, w, h);
  if (sf == vx8p) Source->CopyPaletteTo(&part);
  TVXBitmap* alpha = WithAlpha ? Source->AlphaChannelOpt() : nullptr;
  if (alpha) {
    alpha->CopyRectTo(part.AlphaChannel(), x, y, 0, 0, w, h);
    part.AlphaChannel()->SetFull(alpha->Full());
  }
  if (sf == vx1g) {
    AllocateOrThrow(Sized, dw, dh, Filter == rfProjectBW || Filter == rfProjectWB ? vx1g : vx24RGB);
    VXHookResample1Bit(&part, &Sized, Filter);
    if (alpha) {
      VXHookResampleGray8(part.AlphaChannel(), Sized.AlphaChannel(), Filter);
      Sized.AlphaChannel()->SetFull(part.AlphaChannel()->Full());
    }
  } else {
    AllocateOrThrow(Sized, dw, dh, Format == vxnull ? sf : Format);
    VXHookResampleBitmap(&part, &Sized, Filter);
  }
}

void TVXBitmap::RenderToTVXBitmap(TVXBitmap* ABitmap, uint8_t**& ABitmapScanline, int32_t*& XLUT, int32_t*& YLUT,
                                  const TRect* UpdRect, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                                  int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc, bool EnableAlpha,
                                  bool SolidBackground, int32_t Transparency, TResampleFilter Filter, bool FreeTables,
                                  TVXRenderOperation RenderOperation, double Opacity) {
  ReadAccessScope access(this);
  if (!vxrender::UsableDestination("RenderToTVXBitmap", ABitmap)) return;

  const int64_t DW = ABitmap->Width(), DH = ABitmap->Height();
  const int64_t SW = Width(), SH = Height();
  // Step 2: degenerate rectangles and origins beyond the destination.
  if (dxDst == 0 || dyDst == 0 || dxSrc == 0 || dySrc == 0 || yDst > DH - 1 || xDst > DW - 1) return;
  const double ry = double(dySrc) / double(dyDst);
  const double rx = double(dxSrc) / double(dxDst);
  vxrender::TClipRects clip{xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc};
  auto& [xd, yd, dxd, dyd, xs, ys, dxs, dys] = clip;
  // Top and left: Round; bottom and right: Trunc.
  if (yd < 0) {
    const int64_t k = -yd, r = RoundProduct(k, ry);
    dyd -= k;
    ys += r;
    dys -= r;
    yd = 0;
  }
  if (xd < 0) {
    const int64_t k = -xd, r = RoundProduct(k, rx);
    dxd -= k;
    xs += r;
    dxs -= r;
    xd = 0;
  }
  if (yd + dyd > DH) {
    dys -= TruncProduct(yd + dyd - DH, ry);
    dyd = DH - yd;
  }
  if (xd + dxd > DW) {
    dxs -= TruncProduct(xd + dxd - DW, rx);
    dxd = DW - xd;
  }
  xd = Clamp64(xd, 0, DW - 1);
  yd = Clamp64(yd, 0, DH - 1);
  dxd = Clamp64(dxd, 0, DW);
  dyd = Clamp64(dyd, 0, DH);
  xs = Clamp64(xs, 0, SW - 1);
  ys = Clamp64(ys, 0, SH - 1);
  dxs = Clamp64(dxs, 0, SW);
  dys = Clamp64(dys, 0, SH);
  if (dxd == 0 || dyd == 0 || dxs == 0 || dys == 0) return;
  clip.Narrow(xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc);

  const bool srcAlpha = EnableAlpha && HasAlphaChannel();

  // Step 7: resampling through temporaries.
  if (Filter != rfNone && (dxDst != dxSrc || dyDst != dySrc)) {
    const bool project = Filter == rfProjectBW || Filter == rfProjectWB;
    int32_t* noX = nullptr;
    int32_t* noY = nullptr;
    if (dxDst <= dxSrc && PixelFormat() == vx1g && !srcAlpha && !project) {
      TVXBitmap grey;
      AllocateOrThrow(grey, dxDst, dyDst, vx24RGB);
      VXHookStretch1BitAveraged(this, xSrc, ySrc, xSrc + dxSrc - 1, ySrc + dySrc - 1, &grey);
      grey.RenderToTVXBitmap(ABitmap, ABitmapScanline, noX, noY, UpdRect, xDst, yDst, dxDst, dyDst, 0, 0, dxDst,
                             dyDst, EnableAlpha, SolidBackground, Transparency, rfNone, true, RenderOperation,
                             Opacity);
      return;
    }
    TVXBitmap sized;
    vxrender::ResampleRect(this, xSrc, ySrc, dxSrc, dySrc, srcAlpha, Filter, dxDst, dyDst, vxnull, sized);
    CopyLevels(this, &sized);
    sized.RenderToTVXBitmap(ABitmap, ABitmapScanline, noX, noY, UpdRect, xDst, yDst, dxDst, dyDst, 0, 0, dxDst,
                            dyDst, EnableAlpha, SolidBackground, Transparency, rfNone, true, RenderOperation, Opacity);
    return;
  }

  // Step 8: destination row addresses.
  std::unique_ptr<uint8_t*[]> ownRows;
  uint8_t** rows = ABitmapScanline;
  if (!rows) {
    ownRows.reset(new uint8_t*[size_t(DH)]);
    for (int32_t i = 0; i < int32_t(DH); ++i) ownRows[size_t(i)] = static_cast<uint8_t*>(ABitmap->ScanLine(i));
    rows = ownRows.get();
  }
  std::unique_ptr<int32_t[]> ownX, ownY;

  // Whatever happens below, the tables this call built are freed or handed back.
  struct HandBack {
    std::unique_ptr<uint8_t*[]>& rows;
    std::unique_ptr<int32_t[]>& x;
    std::unique_ptr<int32_t[]>& y;
    uint8_t**& outRows;
    int32_t*& outX;
    int32_t*& outY;
    bool keep;
    ~HandBack() {
      if (!keep) return;
      if (rows) outRows = rows.release();
      if (x) outX = x.release();
      if (y) outY = y.release();
    }
  } handBack{ownRows, ownX, ownY, ABitmapScanline, XLUT, YLUT, !FreeTables};

  // Step 9: ratios with 14 fractional bits.
  const int32_t yRatio = int32_t(double(dySrc) / double(dyDst) * kOne);
  const int32_t xRatio = int32_t(double(dxSrc) / double(dxDst) * kOne);

  // Step 10: the clipped area.
  const int64_t bottom = std::min<int64_t>(int64_t(yDst) + dyDst - 1, DH - 1);
  const int64_t right = std::min<int64_t>(int64_t(xDst) + dxDst - 1, DW - 1);
  int64_t x1 = xDst, x2 = right, y1 = yDst, y2 = bottom;
  if (UpdRect) {
    x1 = std::max<int64_t>(UpdRect->Left, xDst);
    x2 = std::min<int64_t>(UpdRect->Right, right);
    y1 = std::max<int64_t>(UpdRect->Top, yDst);
    y2 = std::min<int64_t>(UpdRect->Bottom, bottom);
  }
  x1 = Clamp64(x1, 0, DW - 1);
  x2 = Clamp64(x2, 0, DW - 1);
  y1 = Clamp64(y1, 0, DH - 1);
  y2 = Clamp64(y2, 0, DH - 1);
  if (x2 < x1 || y2 < y1) return;

  // Steps 12 and 13: source alpha and the weight row.
  const bool useAlpha = srcAlpha && !AlphaChannelOpt()->Full();
  const bool weighted = Transparency < 255 || Opacity < 1 || useAlpha;
  std::vector<uint8_t> alphaRow;
  if (Transparency < 255 || Opacity < 1) alphaRow.assign(size_t(SW), 255);

  // Step 14: the tables.
  const bool virt = IsVirtual();
  const int32_t* xl = nullptr;
  const int32_t* yl = nullptr;
  const bool tableFree = xRatio == kOne && yRatio == kOne && PixelFormat() == vx24RGB && !virt &&
                         Transparency >= 255 && Opacity >= 1 && !useAlpha && !EnableChannelOffset() &&
                         Contrast() == 0 && RenderOperation == vxlNormal && BlackValue() == 0 && WhiteValue() == 0;
  if (tableFree) {
    // Row segments are copied at 1:1: keep them inside the source.
    x1 = std::max<int64_t>(x1, int64_t(xDst) - xSrc);
    x2 = std::min<int64_t>(x2, int64_t(xDst) - xSrc + SW - 1);
    y1 = std::max<int64_t>(y1, int64_t(yDst) - ySrc);
    y2 = std::min<int64_t>(y2, int64_t(yDst) - ySrc + SH - 1);
    if (x2 < x1 || y2 < y1) return;
  } else {
    if (XLUT) {
      xl = XLUT + (x1 - xDst);
    } else {
      ownX.reset(new int32_t[size_t(x2 - x1 + 1)]);
      for (int64_t x = x1; x <= x2; ++x)
        ownX[size_t(x - x1)] = int32_t(Clamp64(TruncProduct(x - xDst, rx) + xSrc, 0, SW - 1));
      xl = ownX.get();
    }
    if (YLUT) {
      yl = YLUT + (y1 - yDst);
    } else {
      ownY.reset(new int32_t[size_t(y2 - y1 + 1)]);
      for (int64_t y = y1; y <= y2; ++y)
        ownY[size_t(y - y1)] = int32_t(Clamp64(TruncProduct(y - yDst, ry) + ySrc, 0, SH - 1));
      yl = ownY.get();
    }
  }

  // Step 15: dispatch, one call per run of usable table entries.
  const auto xRuns = ValidRuns(XLUT && !tableFree ? xl : nullptr, int32_t(x1), int32_t(x2), int32_t(SW));
  const auto yRuns = ValidRuns(YLUT && !tableFree ? yl : nullptr, int32_t(y1), int32_t(y2), int32_t(SH));
  const uint8_t* aRow = alphaRow.empty() ? nullptr : alphaRow.data();
  const TVXPixelFormat fmt = virt ? vx24RGB : PixelFormat();
  try {
    for (const auto& [ry1, ry2] : yRuns) {
      for (const auto& [rx1, rx2] : xRuns) {
        const int32_t* cx = xl ? xl + (rx1 - x1) : nullptr;
        const int32_t* cy = yl ? yl + (ry1 - y1) : nullptr;
#define VX_PLAIN_ARGS                                                                                       \
  rows, ABitmap, cx, cy, xSrc, ySrc, xDst, yDst, rx1, ry1, rx2, ry2, xRatio, yRatio, SolidBackground
#define VX_BLEND_ARGS                                                                                       \
  rows, ABitmap, Transparency, useAlpha, aRow, cx, cy, xSrc, ySrc, xDst, yDst, rx1, ry1, rx2, ry2, xRatio, yRatio, \
      SolidBackground
        switch (fmt) {
          case vx24RGB:
            if (weighted) BlendRowsRGB24(VX_BLEND_ARGS, RenderOperation, Opacity);
            else RenderRowsRGB24(VX_PLAIN_ARGS, RenderOperation);
            break;
          case vx32RGB:
            if (weighted) BlendRowsRGB32(VX_BLEND_ARGS, RenderOperation, Opacity);
            else RenderRowsRGB32(VX_PLAIN_ARGS, RenderOperation);
            break;
          case vx48RGB:
            if (weighted) BlendRowsRGB48(VX_BLEND_ARGS, RenderOperation, Opacity);
            else RenderRowsRGB48(VX_PLAIN_ARGS, RenderOperation);
            break;
          case vx1g:
            if (weighted) BlendRowsGray1(VX_BLEND_ARGS, Opacity);
            else RenderRowsGray1(VX_PLAIN_ARGS);
            break;
          case vx8g:
            if (weighted) BlendRowsGray8(VX_BLEND_ARGS, Opacity);
            else RenderRowsGray8(VX_PLAIN_ARGS);
            break;
          case vx8p:
            if (weighted) BlendRowsPalette8(VX_BLEND_ARGS, Opacity);
            else RenderRowsPalette8(VX_PLAIN_ARGS);
            break;
          case vx16g:
            if (weighted) BlendRowsGray16(VX_BLEND_ARGS, Opacity);
            else RenderRowsGray16(VX_PLAIN_ARGS);
            break;
          case vx32f:
            if (weighted) BlendRowsFloat32(VX_BLEND_ARGS, Opacity);
            else RenderRowsFloat32(VX_PLAIN_ARGS);
            break;
          case vxCMYK:
            if (weighted) BlendRowsCMYK(VX_BLEND_ARGS, Opacity);
            else RenderRowsCMYK(VX_PLAIN_ARGS);
            break;
          case vxCIELab:
            if (weighted) BlendRowsCIELab(VX_BLEND_ARGS, Opacity);
            else RenderRowsCIELab(VX_PLAIN_ARGS);
            break;
          default: break;
        }
#undef VX_PLAIN_ARGS
#undef VX_BLEND_ARGS
      }
    }
  } catch (...) {
    // Step 16: a failing renderer leaves what it drew.
  }
}

void TVXBitmap::RenderToTVXBitmapEx(TVXBitmap* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                                    int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc, bool bEnableAlpha,
                                    int32_t Transparency, TResampleFilter Filter, TVXRenderOperation RenderOperation,
                                    double Opacity) {
  uint8_t** rows = nullptr;
  int32_t* xl = nullptr;
  int32_t* yl = nullptr;
  RenderToTVXBitmap(Dest, rows, xl, yl, nullptr, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, bEnableAlpha,
                    false, Transparency, Filter, true, RenderOperation, Opacity);
}

void TVXBitmap::DrawToTVXBitmap(TVXBitmap* Dest, int32_t XDest, int32_t YDest) {
  RenderToTVXBitmapEx(Dest, XDest, YDest, Width(), Height(), 0, 0, Width(), Height(), true, 255, rfNone, vxlNormal, 1);
}

void TVXBitmap::DrawToTVXBitmap(TVXBitmap* Dest, int32_t XDest, int32_t YDest, const TVXRectangle& SrcRect) {
  if (SrcRect.width == 0 || SrcRect.height == 0) return;
  const int32_t w = std::min(Width(), SrcRect.width), h = std::min(Height(), SrcRect.height);
  RenderToTVXBitmapEx(Dest, XDest, YDest, w, h, SrcRect.x, SrcRect.y, w, h, true, 255, rfNone, vxlNormal, 1);
}

void TVXBitmap::DrawToTVXBitmap(TVXBitmap* Dest, const TVXRectangle& DestRect, const TVXRectangle& SrcRect,
                                TResampleFilter Filter) {
  if (DestRect.width == 0 || DestRect.height == 0 || SrcRect.width == 0 || SrcRect.height == 0) return;
  const int32_t w = std::min(SrcRect.width, Width() - SrcRect.x);
  const int32_t h = std::min(SrcRect.height, Height() - SrcRect.y);
  RenderToTVXBitmapEx(Dest, DestRect.x, DestRect.y, DestRect.width, DestRect.height, SrcRect.x, SrcRect.y, w, h,
                      true, 255, Filter, vxlNormal, 1);
}
