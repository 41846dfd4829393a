// Block transfers with ternary raster operations, stretching, and the
// transfers of device-independent bits.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "winui/gdi_internal.h"
#include "winui/gdi_print.h"

namespace vxgdi {
uint32_t RawMask(const Bitmap& b);
bool HatchBit(int Hatch, int x, int y);
}  // namespace vxgdi

using namespace vxgdi;

namespace {

// The ternary operation on raw values: bit i of Table is the result for
// pattern, source and destination bits P*4 + S*2 + D.
inline uint32_t Rop3(uint8_t t, uint32_t P, uint32_t Sv, uint32_t D) {
  uint32_t r = 0;
  if (t & 0x01) r |= ~P & ~Sv & ~D;
  if (t & 0x02) r |= ~P & ~Sv & D;
  if (t & 0x04) r |= ~P & Sv & ~D;
  if (t & 0x08) r |= ~P & Sv & D;
  if (t & 0x10) r |= P & ~Sv & ~D;
  if (t & 0x20) r |= P & ~Sv & D;
  if (t & 0x40) r |= P & Sv & ~D;
  if (t & 0x80) r |= P & Sv & D;
  return r;
}

bool UsesSource(uint8_t t) { return ((t >> 2) & 0x33) != (t & 0x33); }
bool UsesPattern(uint8_t t) { return ((t >> 4) & 0x0F) != (t & 0x0F); }

// A source pixel as a raw value of the destination's format.
struct SourceReader {
  const Bitmap* src = nullptr;
  const Bitmap* dst = nullptr;
  uint32_t monoZero = 0, monoOne = 0;  // mono source into colour
  COLORREF srcBk = 0;                  // colour source into mono
  bool monoToColor = false, colorToMono = false, same = false;

  void Init(const DC& sdc, const DC& ddc) {
    src = sdc.Surface.get();
    dst = ddc.Surface.get();
    // Monochrome device bitmaps take the DC colours; a DIB section has a
    // colour table of its own, through which its pixels convert.
    monoToColor = src->Bpp == 1 && !src->IsDib && dst->Bpp != 1;
    colorToMono = src->Bpp != 1 && dst->Bpp == 1 && !dst->IsDib;
    same = src->Bpp == dst->Bpp && src->Palette.size() == dst->Palette.size() && !src->HasMasks && !dst->HasMasks &&
           std::equal(src->Palette.begin(), src->Palette.end(), dst->Palette.begin(),
                      [](const RGBQUAD& a, const RGBQUAD& b) { return std::memcmp(&a, &b, 4) == 0; });
    monoZero = dst->RawFromColor(ddc.S.TextColor);
    monoOne = dst->RawFromColor(ddc.S.BkColor);
    srcBk = sdc.S.BkColor;
  }
  uint32_t Read(int x, int y) const {
    if (same) return src->GetRaw(x, y);
    if (monoToColor) return src->GetRaw(x, y) ? monoOne : monoZero;
    if (colorToMono) return src->Get(x, y) == srcBk ? 1 : 0;
    return dst->RawFromColor(src->Get(x, y));
  }
};

struct PatternReader {
  Brush b;
  bool ok = false;
  uint32_t fg = 0, bg = 0;
  POINT org;
  std::unique_ptr<PatternSampler> tile;
  void Init(const DC& dc) {
    ok = ResolveBrush(dc, dc.S.Brush, b) && b.Style != BS_NULL;
    if (!ok) return;
    fg = dc.Surface->RawFromColor(b.Color);
    bg = dc.Surface->RawFromColor(dc.S.BkColor);
    org = dc.S.BrushOrg;
    transparentHatch = b.Style == BS_HATCHED && !b.Pat && dc.S.BkMode == TRANSPARENT;
    if (b.Pat) tile = std::make_unique<PatternSampler>(dc, *b.Pat);
  }
  // False where a hatched brush in TRANSPARENT mode has its background:
  // a pattern-only operation leaves the destination there.
  bool Shows(int x, int y) const {
    return !transparentHatch ||
           HatchBit(b.Hatch, int((int64_t(x) - org.x) & 7), int((int64_t(y) - org.y) & 7));
  }
  bool transparentHatch = false;
  uint32_t Read(int x, int y) const {
    if (!ok) return 0;
    if (tile) return tile->At(x, y);
    if (b.Style == BS_HATCHED)
      return HatchBit(b.Hatch, int((int64_t(x) - org.x) & 7), int((int64_t(y) - org.y) & 7)) ? fg : bg;
    return fg;
  }
};

std::atomic<bool> gRowPaths{true};

// A format whose raw value is 0x00RRGGBB read from its first three bytes.
bool PackedRGB(const Bitmap& b) { return (b.Bpp == 24 || b.Bpp == 32) && !b.HasMasks; }

// Whether the row path can do what the per-pixel path of Transfer does:
// a source operation without pattern between packed RGB formats, or a
// plain copy between bitmaps of one 8- or 16-bit format.
bool RowPathFits(uint8_t table, const SourceReader& sr, bool halftone) {
  if (!gRowPaths.load(std::memory_order_relaxed) || halftone || !sr.src || !UsesSource(table) || UsesPattern(table))
    return false;
  if (PackedRGB(*sr.src) && PackedRGB(*sr.dst)) return true;
  return table == 0xCC && sr.same && (sr.dst->Bpp == 8 || sr.dst->Bpp == 16);
}

inline uint32_t LoadRGB(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16); }
inline void StoreRGB(uint8_t* p, uint32_t v, int bytes) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  if (bytes == 4) p[3] = 0;
}

#if defined(__x86_64__)
// 24 to 32 bits with byte shuffles, where the processor has them: four
// pixels a step while sixteen bytes can be read. Gives how many it did.
__attribute__((target("ssse3"))) int Rgb24To32Shuffled(const uint8_t* s, uint8_t* d, int n) {
  const __m128i order = _mm_setr_epi8(0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128);
  int i = 0;
  for (; i + 6 <= n; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + size_t(i) * 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + size_t(i) * 4), _mm_shuffle_epi8(v, order));
  }
  return i;
}
const bool gHasShuffles = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") != 0;
}();

// The same, eight pixels a step, the 32-byte results written past the
// caches (a transfer larger than they are would only push out what the
// program uses next). The first pixels go one by one up to a 32-byte
// aligned destination; the caller ends the row's pixels and fences.
__attribute__((target("avx2"))) int Rgb24To32Streamed(const uint8_t* s, uint8_t* d, int n) {
  int i = 0;
  while (i < n && (reinterpret_cast<uintptr_t>(d + size_t(i) * 4) & 31) != 0) {
    d[size_t(i) * 4] = s[size_t(i) * 3];
    d[size_t(i) * 4 + 1] = s[size_t(i) * 3 + 1];
    d[size_t(i) * 4 + 2] = s[size_t(i) * 3 + 2];
    d[size_t(i) * 4 + 3] = 0;
    ++i;
  }
  // Each half of the register takes twelve bytes (four pixels) of the
  // 32 read, which the shuffle spreads to four 4-byte pixels.
  const __m256i halves = _mm256_setr_epi32(0, 1, 2, 0, 3, 4, 5, 0);
  const __m256i order = _mm256_setr_epi8(0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128, 0, 1, 2, -128,
                                         3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128);
  for (; i + 11 <= n; i += 8) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + size_t(i) * 3));
    _mm256_stream_si256(reinterpret_cast<__m256i*>(d + size_t(i) * 4),
                        _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(v, halves), order));
  }
  return i;
}
const bool gHasStreamedShuffles = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();
#endif

// Destination bytes from which a 24 to 32-bit transfer bypasses the caches.
constexpr size_t kStreamedTransferBytes = size_t(2) << 20;

// Copies n pixels of a row from s to d (no operation): the raw values
// unchanged, a 32-bit destination's fourth byte 0. Streamed: a 24 to 32-bit
// row may be written past the caches (the caller fences).
void CopyRow(const uint8_t* s, int sBytes, uint8_t* d, int dBytes, int n, bool Streamed = false) {
  if (sBytes == dBytes && dBytes != 4) {
    std::memcpy(d, s, size_t(n) * size_t(dBytes));
  } else if (sBytes == 4 && dBytes == 4 && std::endian::native == std::endian::little) {
    for (int i = 0; i < n; ++i) {
      uint32_t v;
      std::memcpy(&v, s + size_t(i) * 4, 4);
      v &= 0x00FFFFFFu;
      std::memcpy(d + size_t(i) * 4, &v, 4);
    }
  } else if (sBytes == 3 && dBytes == 4 && std::endian::native == std::endian::little) {
    // Four pixels from three words at a time, the rest one by one.
    int i = 0;
#if defined(__x86_64__)
    if (Streamed && gHasStreamedShuffles)
      i = Rgb24To32Streamed(s, d, n);
    else if (gHasShuffles)
      i = Rgb24To32Shuffled(s, d, n);
#else
    (void)Streamed;
#endif
    for (; i + 4 <= n; i += 4) {
      uint32_t w[3], p[4];
      std::memcpy(w, s + size_t(i) * 3, 12);
      p[0] = w[0] & 0x00FFFFFFu;
      p[1] = (w[0] >> 24) | ((w[1] & 0xFFFFu) << 8);
      p[2] = (w[1] >> 16) | ((w[2] & 0xFFu) << 16);
      p[3] = w[2] >> 8;
      std::memcpy(d + size_t(i) * 4, p, 16);
    }
    for (; i < n; ++i) StoreRGB(d + size_t(i) * 4, LoadRGB(s + size_t(i) * 3), 4);
  } else {
    for (int i = 0; i < n; ++i) StoreRGB(d + size_t(i) * size_t(dBytes), LoadRGB(s + size_t(i) * size_t(sBytes)), dBytes);
  }
}

// The row path of Transfer (RowPathFits): the same pixels, read and written
// a row at a time.
void TransferRows(Bitmap& d, const Bitmap& src, uint8_t table, const Region& vis, const std::vector<int>& SrcX,
                  const std::vector<int>& SrcY, POINT Origin) {
  const int sBytes = src.Bpp / 8, dBytes = d.Bpp / 8;
  const bool copy = table == 0xCC;
  size_t area = 0;
  for (const RECT& r : vis.Rects()) area += size_t(r.right - r.left) * size_t(r.bottom - r.top);
  const bool streamed = copy && sBytes == 3 && dBytes == 4 && area * 4 >= kStreamedTransferBytes;
  for (const RECT& r : vis.Rects()) {
    // The stretch of the rectangle's columns [first, first + run) that
    // reads consecutive source pixels from its first column inside the
    // source on is copied whole; the other columns go pixel by pixel.
    const size_t c0 = size_t(r.left - Origin.x);
    const int n = r.right - r.left;
    int first = 0, run = 0;
    while (first < n && SrcX[c0 + size_t(first)] < 0) ++first;
    if (copy && first < n)
      while (first + run < n && SrcX[c0 + size_t(first + run)] == SrcX[c0 + size_t(first)] + run) ++run;
    for (int y = r.top; y < r.bottom; ++y) {
      const int sy = SrcY[size_t(y - Origin.y)];
      if (sy < 0) continue;
      const uint8_t* sRow = src.Row(sy);
      uint8_t* dRow = d.Row(y);
      if (run > 0)
        CopyRow(sRow + size_t(SrcX[c0 + size_t(first)]) * size_t(sBytes), sBytes,
                dRow + size_t(r.left + first) * size_t(dBytes), dBytes, run, streamed);
      for (int i = first; i < n; ++i) {
        if (i == first && run > 0) i += run;
        if (i >= n) break;
        const int sx = SrcX[c0 + size_t(i)];
        if (sx < 0) continue;
        uint8_t* dp = dRow + size_t(r.left + i) * size_t(dBytes);
        const uint8_t* sp = sRow + size_t(sx) * size_t(sBytes);
        if (copy && sBytes == dBytes && dBytes != 4) {
          std::memcpy(dp, sp, size_t(dBytes));
        } else if (copy) {
          StoreRGB(dp, LoadRGB(sp), dBytes);
        } else {
          StoreRGB(dp, Rop3(table, 0, LoadRGB(sp), LoadRGB(dp)) & 0xFFFFFFu, dBytes);
        }
      }
    }
  }
#if defined(__x86_64__)
  if (streamed) _mm_sfence();
#endif
}

// Copies the source pixels one destination pixel maps to, with the
// operation; SrcX/SrcY map destination columns and rows to source ones (or
// -1 outside the source).
// SrcX and SrcY (and the halftone rows) hold the destination's columns and
// rows from Origin on, at least those of the visible part of dst.
void Transfer(DC& ddc, const DC* sdc, uint8_t table, const RECT& dst, const std::vector<int>& SrcX,
              const std::vector<int>& SrcY, const std::vector<std::vector<uint32_t>>* Halftone, POINT Origin) {
  Region vis;
  if (!VisibleRegion(ddc, vis)) return;
  vis.IntersectRect(dst.left, dst.top, dst.right, dst.bottom);
  Bitmap& d = *ddc.Surface;
  uint32_t mask = RawMask(d);
  SourceReader sr;
  // A source that is also the destination is read from a copy.
  std::shared_ptr<Bitmap> copy;
  if (sdc && sdc->Surface) {
    if (sdc->Surface.get() == ddc.Surface.get()) {
      copy = std::make_shared<Bitmap>(*sdc->Surface);
      copy->Own = sdc->Surface->Own;
      if (!copy->Own.empty()) copy->Bits = copy->Own.data();
      else {
        copy->Own.assign(sdc->Surface->Bits, sdc->Surface->Bits + size_t(sdc->Surface->Stride) * size_t(sdc->Surface->Height));
        copy->Bits = copy->Own.data();
      }
      DC tmp = *sdc;
      tmp.Surface = copy;
      sr.Init(tmp, ddc);
    } else {
      sr.Init(*sdc, ddc);
    }
  }
  if (RowPathFits(table, sr, Halftone != nullptr)) {
    TransferRows(d, *sr.src, table, vis, SrcX, SrcY, Origin);
    return;
  }
  PatternReader pr;
  if (UsesPattern(table)) pr.Init(ddc);
  bool needSrc = UsesSource(table);
  for (const RECT& r : vis.Rects()) {
    for (int y = r.top; y < r.bottom; ++y) {
      int sy = SrcY[size_t(y - Origin.y)];
      if (needSrc && sy < 0) continue;
      for (int x = r.left; x < r.right; ++x) {
        if (!needSrc && !pr.Shows(x, y)) continue;
        uint32_t S = 0;
        if (needSrc) {
          int sx = SrcX[size_t(x - Origin.x)];
          if (sx < 0) continue;
          S = Halftone ? (*Halftone)[size_t(y - Origin.y)][size_t(x - Origin.x)] : sr.Read(sx, sy);
        }
        uint32_t P = pr.Read(x, y);
        uint32_t D = d.GetRaw(x, y);
        d.SetRaw(x, y, Rop3(table, P, S, D) & mask);
      }
    }
  }
}

// The source pixel of destination pixel j when n destination pixels show
// s source pixels. Enlarging takes the source pixel under the destination
// pixel's centre (a centre on a boundary takes the pixel before it);
// shrinking steps through the source from half a step's surplus on.
int64_t StretchIndex(int64_t j, int64_t s, int64_t n) {
  const __int128 J = j, S = s, N = n;
  if (s <= n) return int64_t(((2 * J + 1) * S - 1) / (2 * N));
  return int64_t(((2 * J + 2) * S - N - 1) / (2 * N));
}

// Destination columns (or rows) mapped to source ones: n destination pixels
// from source start s over sw pixels (negative counts mirror); -1 outside
// [0, limit). Only the destination pixels [first, first + count) are made.
std::vector<int> MapAxis(int n, int64_t s, int sw, bool mirror, int limit, int first, int count) {
  std::vector<int> out(static_cast<size_t>(std::max(count, 0)));
  int64_t asw = std::abs(int64_t(sw));
  for (int c = 0; c < count; ++c) {
    int64_t i = int64_t(first) + c;
    int64_t j = mirror ? n - 1 - i : i;
    int64_t k = StretchIndex(j, asw, n);
    int64_t v = sw < 0 ? s - 1 - k : s + k;
    out[size_t(c)] = (v >= 0 && v < limit) ? int(v) : -1;
  }
  return out;
}

// The part of a destination rectangle that can show: its overlap with the
// visible region's bounds; false when there is none.
bool ShownPart(const DC& dc, const RECT& dst, RECT& out) {
  Region vis;
  if (!VisibleRegion(dc, vis)) return false;
  RECT b = vis.Box();
  out = RECT{std::max(b.left, dst.left), std::max(b.top, dst.top), std::min(b.right, dst.right),
             std::min(b.bottom, dst.bottom)};
  return out.left < out.right && out.top < out.bottom;
}

// Normalises a destination rectangle given with a signed size.
// A negative extent covers x down to x + w + 1.
RECT DestRect(int x, int y, int w, int h) {
  RECT r{x, y, x + w, y + h};
  if (w < 0) r = RECT{x + w + 1, r.top, x + 1, r.bottom};
  if (h < 0) r = RECT{r.left, y + h + 1, r.right, y + 1};
  return r;
}

}  // namespace

namespace vxgdi {
void SetBlitRowPaths(bool On) { gRowPaths.store(On); }
}  // namespace vxgdi

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* dc = FindDC(hdc);
  if (!dc) return FALSE;
  uint8_t t = uint8_t(rop >> 16);
  if (UsesSource(t)) return FALSE;
  if (!dc->Surface) return TRUE;
  // The null brush paints nothing where the operation takes the pattern.
  if (UsesPattern(t)) {
    Brush b;
    if (!ResolveBrush(*dc, dc->S.Brush, b) || b.Style == BS_NULL) return TRUE;
  }
  if (FlipsY(*dc)) h = -h;  // rows y .. y + h - 1 run upwards on the device
  RECT r = DestRect(DevX(*dc, x), DevY(*dc, y), w, h);
  RECT v;
  if (!ShownPart(*dc, r, v)) return TRUE;
  std::vector<int> mx(size_t(v.right - v.left), 0), my(size_t(v.bottom - v.top), 0);
  Transfer(*dc, nullptr, t, r, mx, my, nullptr, POINT{v.left, v.top});
  return TRUE;
}

BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc, int wSrc,
                int hSrc, DWORD rop) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* d = FindDC(hdcDest);
  if (!d) return FALSE;
  uint8_t t = uint8_t(rop >> 16);
  if (!UsesSource(t)) return PatBlt(hdcDest, xDest, yDest, wDest, hDest, rop);
  DC* s = FindDC(hdcSrc);
  if (!s) return FALSE;
  if (!d->Surface || !s->Surface || wDest == 0 || hDest == 0 || wSrc == 0 || hSrc == 0) return TRUE;
  // Sizes whose far edge lies beyond the coordinates draw nothing.
  auto fits = [](int64_t v) { return v > INT32_MIN && v < INT32_MAX; };
  if (!fits(int64_t(xDest) + wDest) || !fits(int64_t(yDest) + hDest) || !fits(int64_t(xSrc) + wSrc) ||
      !fits(int64_t(ySrc) + hSrc) || !fits(wDest) || !fits(hDest) || !fits(wSrc) || !fits(hSrc))
    return TRUE;
  int dx = DevX(*d, xDest), dy = DevY(*d, yDest);
  int sx = DevX(*s, xSrc), sy = DevY(*s, ySrc);
  // Mirroring: a destination and a source size of different signs.
  bool mirrorX = (wDest < 0) != (wSrc < 0), mirrorY = (hDest < 0) != (hSrc < 0);
  // A turned-over world transform runs the rows upwards on the device: the
  // destination's rows are taken in reverse, the source's read upwards.
  if (FlipsY(*d)) {
    hDest = -hDest;
    mirrorY = !mirrorY;
  }
  if (FlipsY(*s)) hSrc = -hSrc;
  RECT r = DestRect(dx, dy, wDest, hDest);
  const int64_t sxStart = wSrc < 0 ? int64_t(sx) + 1 : sx, syStart = hSrc < 0 ? int64_t(sy) + 1 : sy;
  int n = r.right - r.left, m = r.bottom - r.top;
  // Only the columns and rows that can show are mapped.
  RECT v;
  if (!ShownPart(*d, r, v)) return TRUE;
  const int x0 = v.left - r.left, nx = v.right - v.left, y0 = v.top - r.top, ny = v.bottom - v.top;
  std::vector<int> mx = MapAxis(n, wSrc < 0 ? sxStart : sx, wSrc, mirrorX, s->Surface->Width, x0, nx);
  std::vector<int> my = MapAxis(m, hSrc < 0 ? syStart : sy, hSrc, mirrorY, s->Surface->Height, y0, ny);
  bool scaled = std::abs(wSrc) != n || std::abs(hSrc) != m;
  if (d->S.StretchMode == HALFTONE && scaled && s->Surface->Bpp != 1 && d->Surface->Bpp >= 16) {
    // Halftone: each destination pixel interpolates the source linearly at
    // its position (i * source / destination), clamped at the last pixel.
    int asw = std::abs(wSrc), ash = std::abs(hSrc);
    auto srcAt = [&](int k, int c, COLORREF& out) {
      int64_t yy = hSrc < 0 ? syStart - 1 - k : int64_t(sy) + k;
      int64_t xx = wSrc < 0 ? sxStart - 1 - c : int64_t(sx) + c;
      if (yy < 0 || yy >= s->Surface->Height || xx < 0 || xx >= s->Surface->Width) return false;
      out = s->Surface->Get(int(xx), int(yy));
      return true;
    };
    std::vector<std::vector<uint32_t>> avg(static_cast<size_t>(ny), std::vector<uint32_t>(static_cast<size_t>(nx)));
    for (int j = y0; j < y0 + ny; ++j) {
      int jj = mirrorY ? m - 1 - j : j;
      int64_t fy = int64_t(jj) * ash * 256 / m;
      int k0 = int(fy >> 8), k1 = std::min(k0 + 1, ash - 1);
      int ty = int(fy & 255);
      for (int i = x0; i < x0 + nx; ++i) {
        int ii = mirrorX ? n - 1 - i : i;
        int64_t fx = int64_t(ii) * asw * 256 / n;
        int c0 = int(fx >> 8), c1 = std::min(c0 + 1, asw - 1);
        int tx = int(fx & 255);
        COLORREF p00, p01, p10, p11;
        if (!srcAt(k0, c0, p00) || !srcAt(k0, c1, p01) || !srcAt(k1, c0, p10) || !srcAt(k1, c1, p11)) continue;
        auto mix = [&](int sh) {
          int a = (p00 >> sh) & 255, b = (p01 >> sh) & 255, c = (p10 >> sh) & 255, e = (p11 >> sh) & 255;
          int top = a * (256 - tx) + b * tx, bottom = c * (256 - tx) + e * tx;
          return (top * (256 - ty) + bottom * ty + (1 << 15)) >> 16;
        };
        avg[size_t(j - y0)][size_t(i - x0)] = d->Surface->RawFromColor(RGB(mix(0), mix(8), mix(16)));
      }
    }
    Transfer(*d, s, t, r, mx, my, &avg, POINT{v.left, v.top});
    return TRUE;
  }
  Transfer(*d, s, t, r, mx, my, nullptr, POINT{v.left, v.top});
  return TRUE;
}

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  uint8_t t = uint8_t(rop >> 16);
  if (!UsesSource(t)) return PatBlt(hdc, x, y, cx, cy, rop);
  if (cx < 0 || cy < 0) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* d = FindDC(hdc);
  DC* s = FindDC(hdcSrc);
  if (!d || !s) return FALSE;
  if (!d->Surface || !s->Surface || cx == 0 || cy == 0) return TRUE;
  if (FlipsY(*d) || FlipsY(*s)) return StretchBlt(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop);
  int dx = DevX(*d, x), dy = DevY(*d, y), sx = DevX(*s, x1), sy = DevY(*s, y1);
  RECT r{dx, dy, dx + cx, dy + cy};
  RECT v;
  if (!ShownPart(*d, r, v)) return TRUE;
  std::vector<int> mx(static_cast<size_t>(v.right - v.left)), my(static_cast<size_t>(v.bottom - v.top));
  for (int x = v.left; x < v.right; ++x) {
    int64_t i = int64_t(sx) + (x - dx);
    mx[size_t(x - v.left)] = (i >= 0 && i < s->Surface->Width) ? int(i) : -1;
  }
  for (int y = v.top; y < v.bottom; ++y) {
    int64_t j = int64_t(sy) + (y - dy);
    my[size_t(y - v.top)] = (j >= 0 && j < s->Surface->Height) ? int(j) : -1;
  }
  Transfer(*d, s, t, r, mx, my, nullptr, POINT{v.left, v.top});
  return TRUE;
}

// Device-independent bits.

namespace {

// A bitmap over the caller's bits, checked against its header; false when
// the header does not add up.
bool WrapDIB(const BITMAPINFO* bmi, const void* bits, UINT usage, Bitmap& out) {
  if (!bmi || !bits) return false;
  const BITMAPINFOHEADER& h = bmi->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN ||
      h.biPlanes != 1)
    return false;
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) return false;
  int H = std::abs(h.biHeight);
  int64_t limit = PixelLimit();
  if (int64_t(h.biWidth) * H > (limit > 0 ? limit : (int64_t(1) << 31))) return false;
  int64_t stride = ((int64_t(h.biWidth) * bpp + 31) / 32) * 4;
  int64_t need = stride * H;
  if (h.biSizeImage != 0 && int64_t(h.biSizeImage) < need) return false;
  if (h.biClrUsed > 256 && bpp <= 8) return false;
  out.Width = h.biWidth;
  out.Height = H;
  out.Bpp = bpp;
  out.Stride = int(stride);
  out.TopDown = h.biHeight < 0;
  out.IsDib = true;
  out.Bits = const_cast<uint8_t*>(static_cast<const uint8_t*>(bits));
  const uint8_t* after = reinterpret_cast<const uint8_t*>(bmi) + h.biSize;
  if (bpp <= 8) {
    size_t n = size_t(1) << bpp;
    size_t used = h.biClrUsed && h.biClrUsed < n ? h.biClrUsed : n;
    out.Palette.assign(n, RGBQUAD{});
    if (usage == DIB_RGB_COLORS)
      for (size_t i = 0; i < used; ++i) std::memcpy(&out.Palette[i], after + i * 4, 4);
    else if (usage == DIB_PAL_COLORS)
      for (size_t i = 0; i < used; ++i) out.Palette[i] = DefaultPaletteEntry(unsigned(after[i * 2] | after[i * 2 + 1] << 8));
  } else if (h.biCompression == BI_BITFIELDS) {
    std::memcpy(out.Masks, after, 12);
    out.HasMasks = true;
  }
  return true;
}

}  // namespace

int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc, int SrcWidth,
                  int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop) {
  auto src = std::make_shared<Bitmap>();
  if (!WrapDIB(lpbmi, lpBits, iUsage, *src)) return 0;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  if (!FindDC(hdc)) return 0;
  // The source rectangle counts rows from the bottom of a bottom-up DIB; one
  // whose first row lies beyond the coordinates has nothing to give.
  const int64_t sy64 = src->TopDown ? ySrc : int64_t(src->Height) - ySrc - SrcHeight;
  if (sy64 < INT32_MIN || sy64 > INT32_MAX) return 0;
  int sy = int(sy64);
  BOOL printed = FALSE;
  if (vxgdi::PrinterStretchDIBits(hdc, xDest, yDest, DestWidth, DestHeight, xSrc, sy, SrcWidth, SrcHeight, *src, printed))
    return printed ? src->Height : 0;
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::DC;
  o->D = std::make_shared<DC>();
  o->D->Memory = true;
  o->D->Surface = src;
  HDC tmp = reinterpret_cast<HDC>(AddObject(o));
  BOOL ok = StretchBlt(hdc, xDest, yDest, DestWidth, DestHeight, tmp, xSrc, sy, SrcWidth, SrcHeight, rop);
  RemoveObject(tmp);
  return ok ? src->Height : 0;
}

int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT StartScan,
                      UINT cLines, const void* lpvBits, const BITMAPINFO* lpbmi, UINT ColorUse) {
  if (!lpbmi || w > INT32_MAX || h > INT32_MAX) return 0;
  BITMAPINFOHEADER hdr = lpbmi->bmiHeader;
  int H = std::abs(hdr.biHeight);
  if (cLines == 0 || StartScan >= UINT(H)) return 0;
  cLines = std::min<UINT>(cLines, UINT(H) - StartScan);
  auto src = std::make_shared<Bitmap>();
  if (!WrapDIB(lpbmi, lpvBits, ColorUse, *src)) return 0;
  // The bits hold rows StartScan .. StartScan + cLines - 1 only.
  int64_t need = int64_t(src->Stride) * cLines;
  if (hdr.biSizeImage && int64_t(hdr.biSizeImage) < need) return 0;
  src->Height = int(cLines);
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DC* d = FindDC(hdc);
  if (!d) return 0;
  // Source rows are counted from the bottom of the whole image.
  int topRow = src->TopDown ? ySrc - int(StartScan) : (int(StartScan) + int(cLines)) - (ySrc + int(h));
  auto o = std::make_shared<Object>();
  o->Kind = ObjKind::DC;
  o->D = std::make_shared<DC>();
  o->D->Memory = true;
  o->D->Surface = src;
  HDC tmp = reinterpret_cast<HDC>(AddObject(o));
  BitBlt(hdc, xDest, yDest, int(w), int(h), tmp, xSrc, topRow, SRCCOPY);
  RemoveObject(tmp);
  return int(cLines);
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, BITMAPINFO* lpbmi, UINT usage) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto o = Find(hbm, ObjKind::Bitmap);
  if (!o || !lpbmi || !FindDC(hdc)) return 0;
  const Bitmap& b = *o->Bmp;
  BITMAPINFOHEADER& h = lpbmi->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER)) return 0;
  if (!lpvBits && h.biBitCount == 0) {
    h.biWidth = b.Width;
    h.biHeight = b.Height;
    h.biPlanes = 1;
    h.biBitCount = WORD(b.Bpp);
    h.biCompression = BI_RGB;
    h.biSizeImage = DWORD(StrideOf(b.Width, b.Bpp) * b.Height);
    h.biClrUsed = 0;
    return b.Height;
  }
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return 0;
  if (h.biWidth != b.Width || h.biHeight == 0 || std::abs(h.biHeight) != b.Height) {
    if (h.biWidth <= 0) return 0;
  }
  Bitmap out;
  out.Width = h.biWidth;
  out.Height = std::abs(h.biHeight);
  out.Bpp = bpp;
  out.Stride = StrideOf(out.Width, bpp);
  out.TopDown = h.biHeight < 0;
  RGBQUAD* pal = reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(lpbmi) + h.biSize);
  if (bpp <= 8) {
    size_t n = size_t(1) << bpp;
    // The source's own colours when it has as many, else a grey ramp.
    if (b.Bpp == bpp && b.Palette.size() == n) {
      out.Palette = b.Palette;
    } else {
      out.Palette.resize(n);
      for (size_t i = 0; i < n; ++i) {
        BYTE v = BYTE(i * 255 / (n - 1));
        out.Palette[i] = RGBQUAD{v, v, v, 0};
      }
    }
    if (usage == DIB_RGB_COLORS) std::memcpy(pal, out.Palette.data(), n * 4);
  }
  h.biSizeImage = DWORD(out.Stride * out.Height);
  if (!lpvBits) return out.Height;
  out.Bits = static_cast<uint8_t*>(lpvBits);
  // Rows start .. start + cLines - 1, counted from the bottom; the buffer
  // holds those rows only.
  if (start >= UINT(out.Height)) return 0;
  cLines = std::min<UINT>(cLines, UINT(out.Height) - start);
  int copied = 0;
  for (UINT i = 0; i < cLines; ++i) {
    int fromBottom = int(start + i);
    int srcRow = b.Height - 1 - fromBottom;
    if (srcRow < 0 || srcRow >= b.Height) continue;
    uint8_t* row = out.Bits + size_t(out.TopDown ? (cLines - 1 - i) : i) * size_t(out.Stride);
    std::memset(row, 0, size_t(out.Stride));
    Bitmap tmp = out;
    tmp.Bits = row;
    tmp.Height = 1;
    tmp.TopDown = true;
    for (int x = 0; x < out.Width; ++x) {
      if (x >= b.Width) {
        tmp.SetRaw(x, 0, 0);
        continue;
      }
      if (bpp == 32 && b.Bpp == 32 && !b.HasMasks)  // the fourth byte (an icon's alpha) comes along
        std::memcpy(row + size_t(x) * 4, b.Row(srcRow) + size_t(x) * 4, 4);
      else if (b.Bpp == bpp && b.Palette.size() == tmp.Palette.size() && !b.HasMasks)
        tmp.SetRaw(x, 0, b.GetRaw(x, srcRow));
      else
        tmp.Set(x, 0, b.Get(x, srcRow));
    }
    ++copied;
  }
  return copied;
}

int SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits, const BITMAPINFO* lpbmi,
              UINT ColorUse) {
  auto src = std::make_shared<Bitmap>();
  if (!WrapDIB(lpbmi, lpBits, ColorUse, *src)) return 0;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto o = Find(hbm, ObjKind::Bitmap);
  if (!o) return 0;
  (void)hdc;
  Bitmap& b = *o->Bmp;
  if (start >= UINT(src->Height)) return 0;
  cLines = std::min<UINT>(cLines, UINT(src->Height) - start);
  int n = 0;
  for (UINT i = 0; i < cLines; ++i) {
    int fromBottom = int(start + i);
    int dstRow = b.Height - 1 - fromBottom;
    int srcRow = src->Height - 1 - fromBottom;
    if (dstRow < 0 || dstRow >= b.Height) continue;
    for (int x = 0; x < std::min(b.Width, src->Width); ++x) b.Set(x, dstRow, src->Get(x, srcRow));
    ++n;
  }
  return n;
}
