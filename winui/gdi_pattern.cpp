// Pattern brushes: brushes that tile a bitmap or a packed DIB over what they
// fill, and the reading of their tile while filling.
#include <algorithm>
#include <cstring>

#include "winui/gdi_internal.h"

namespace vxgdi {

namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// The tile of a DIB whose header and colour table take the first of Size
// bytes at p (SIZE_MAX: the caller vouches for the memory), followed there by
// the rows or with the rows in BitsSize bytes at Bits. Info: the bytes of
// header and table. Null when the header, the colour table or the rows do
// not fit or make no sense.
std::shared_ptr<Bitmap> TileOfDib(const uint8_t* p, size_t Size, const uint8_t* Bits, size_t BitsSize, UINT Usage,
                                  size_t& Info) {
  if (!p || Size < 40 || Usage > DIB_PAL_INDICES) return nullptr;
  const uint32_t hsize = Le32(p);
  const int32_t width = int32_t(Le32(p + 4)), height = int32_t(Le32(p + 8));
  const uint16_t planes = Le16(p + 12), bpp = Le16(p + 14);
  const uint32_t compression = Le32(p + 16), clrUsed = Le32(p + 32);
  if (hsize < 40 || hsize > 1024 || hsize > Size) return nullptr;
  if (width <= 0 || height == 0 || height == INT32_MIN || planes != 1) return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
  const bool fields = compression == BI_BITFIELDS;
  if (compression != BI_RGB && !(fields && (bpp == 16 || bpp == 32))) return nullptr;
  // The masks follow a plain header; later headers hold them.
  uint64_t off = hsize;
  DWORD masks[3] = {0, 0, 0};
  if (fields) {
    uint64_t at = hsize >= 52 ? 40 : hsize;
    if (at + 12 > Size) return nullptr;
    for (int i = 0; i < 3; ++i) masks[i] = Le32(p + at + 4 * uint64_t(i));
    if (hsize < 52) off += 12;
  }
  // The colour table: every entry of a palette format unless fewer are
  // said to be used; formats without a palette may carry one all the same.
  uint64_t entries = clrUsed;
  if (bpp <= 8) {
    if (entries > (1u << bpp)) return nullptr;
    if (entries == 0) entries = 1u << bpp;
  } else if (entries > 256) {
    return nullptr;
  }
  const uint64_t tableAt = off;
  if (Usage == DIB_PAL_INDICES) entries = 0;
  off += entries * (Usage == DIB_PAL_COLORS ? 2 : 4);
  const int rows = height < 0 ? -height : height;
  const uint64_t stride = (uint64_t(width) * bpp + 31) / 32 * 4;
  if (off > Size) return nullptr;
  Info = size_t(off);
  const uint8_t* rowsAt = Bits ? Bits : p + off;
  const uint64_t room = Bits ? BitsSize : Size - off;
  if (stride * uint64_t(rows) > room) return nullptr;
  auto b = std::make_shared<Bitmap>();
  if (!AllocBitmap(*b, width, rows, bpp, height < 0)) return nullptr;
  b->IsDib = true;
  for (int y = 0; y < rows; ++y) std::memcpy(b->Bits + size_t(y) * size_t(b->Stride), rowsAt + stride * y, stride);
  if (bpp <= 8) {
    b->Palette.assign(size_t(1) << bpp, RGBQUAD{});
    for (uint64_t i = 0; i < entries; ++i) {
      RGBQUAD& q = b->Palette[i];
      if (Usage == DIB_PAL_COLORS) {
        q = DefaultPaletteEntry(Le16(p + tableAt + 2 * i));
      } else {
        const uint8_t* e = p + tableAt + 4 * i;
        q = RGBQUAD{e[0], e[1], e[2], 0};
      }
    }
  } else if (fields) {
    std::memcpy(b->Masks, masks, sizeof masks);
    b->HasMasks = true;
  }
  return b;
}

HBRUSH AddPatternBrush(std::shared_ptr<Pattern> P, UINT Style) {
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::Brush;
  o->B = std::make_shared<Brush>();
  o->B->Style = Style;
  o->B->Pat = std::move(P);
  return reinterpret_cast<HBRUSH>(AddObject(o));
}

}  // namespace

HBRUSH NewDibPatternBrush(const uint8_t* Info, size_t InfoSize, const uint8_t* Bits, size_t BitsSize, UINT Usage,
                          bool DcColours) {
  if (Usage == DIB_PAL_INDICES && !DcColours) return nullptr;
  size_t info = 0;
  auto tile = TileOfDib(Info, InfoSize, Bits, BitsSize, Usage, info);
  if (!tile || (DcColours && tile->Bpp != 1)) return nullptr;
  auto pat = std::make_shared<Pattern>();
  pat->Mono = DcColours;
  pat->Usage = Usage;
  // The packed copy GetObject points at: header, table and rows, no more.
  const size_t rowBytes = size_t(tile->Stride) * size_t(tile->Height);
  pat->Packed.assign(Info, Info + info);
  const uint8_t* rows = Bits ? Bits : Info + info;
  pat->Packed.insert(pat->Packed.end(), rows, rows + rowBytes);
  pat->Bmp = std::move(tile);
  return AddPatternBrush(std::move(pat), BS_DIBPATTERNPT);
}

PatternSampler::PatternSampler(const DC& dc, const Pattern& P)
    : fTile(*P.Bmp), fDst(*dc.Surface), fMono(P.Mono), fOrg(dc.S.BrushOrg) {
  fZero = fDst.RawFromColor(dc.S.TextColor);
  fOne = fDst.RawFromColor(dc.S.BkColor);
}

uint32_t PatternSampler::At(int x, int y) {
  int64_t px = (int64_t(x) - fOrg.x) % fTile.Width, py = (int64_t(y) - fOrg.y) % fTile.Height;
  if (px < 0) px += fTile.Width;
  if (py < 0) py += fTile.Height;
  if (fMono) return fTile.GetRaw(int(px), int(py)) ? fOne : fZero;
  COLORREF c = fTile.Get(int(px), int(py));
  if (c != fLast) {
    fLast = c;
    fLastRaw = fDst.RawFromColor(c);
  }
  return fLastRaw;
}

}  // namespace vxgdi

using namespace vxgdi;

HBRUSH CreateDIBPatternBrushPt(const void* lpPackedDIB, UINT iUsage) {
  return NewDibPatternBrush(static_cast<const uint8_t*>(lpPackedDIB), SIZE_MAX, nullptr, 0, iUsage, false);
}

HBRUSH CreatePatternBrush(HBITMAP hbm) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto o = Find(hbm, ObjKind::Bitmap);
  if (!o || !o->Bmp || !o->Bmp->Bits) return nullptr;
  const Bitmap& src = *o->Bmp;
  auto tile = std::make_shared<Bitmap>();
  if (!AllocBitmap(*tile, src.Width, src.Height, src.Bpp, src.TopDown)) return nullptr;
  for (int y = 0; y < src.Height; ++y)
    std::memcpy(tile->Bits + size_t(y) * size_t(tile->Stride), src.Bits + size_t(y) * size_t(src.Stride),
                size_t(std::min(src.Stride, tile->Stride)));
  tile->IsDib = src.IsDib;
  tile->Palette = src.Palette;
  std::memcpy(tile->Masks, src.Masks, sizeof tile->Masks);
  tile->HasMasks = src.HasMasks;
  auto pat = std::make_shared<Pattern>();
  pat->Mono = src.Bpp == 1 && !src.IsDib;
  pat->Source = hbm;
  pat->Bmp = std::move(tile);
  return AddPatternBrush(std::move(pat), BS_PATTERN);
}
