// Text on device contexts: glyphs of the DC's font (winui/font_face.h)
// rendered by cairo into a coverage mask and blended in the text colour
// onto the DC's surface inside its visible region.
#include "winui/gdi_text.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "platform/utf.h"
#include "winui/font_face.h"
#include "winui/gdi_internal.h"

using namespace vxgdi;

namespace {

std::string_view TextOf(LPCWSTR s, int c) {
  if (!s) return {};
  if (c < 0) return std::string_view(s);
  return std::string_view(s, size_t(c));
}

std::vector<uint32_t> CodePoints(std::string_view t) {
  std::vector<uint32_t> out;
  std::string s(t);
  for (size_t i = 0; i < s.size();) out.push_back(VXNextUTF8(s, i));
  return out;
}

// Direction classes of the reading order: strong left-to-right, strong
// right-to-left (Hebrew, Arabic and their presentation forms, and the
// other right-to-left scripts of the Basic plane and beyond), and neutral
// (spaces and punctuation).
enum class Dir { L, R, N };

Dir DirOf(uint32_t c) {
  if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
      (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF))
    return Dir::R;
  if (c < 0x30 || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0xBF) ||
      c == 0xD7 || c == 0xF7 || (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x3003))
    return Dir::N;
  return Dir::L;
}

uint32_t Mirror(uint32_t c) {
  switch (c) {
    case '(': return ')';
    case ')': return '(';
    case '[': return ']';
    case ']': return '[';
    case '{': return '}';
    case '}': return '{';
    case '<': return '>';
    case '>': return '<';
    case 0xAB: return 0xBB;
    case 0xBB: return 0xAB;
  }
  return c;
}

// The display order of a text (indexes into it) and its characters as
// shown: strong characters keep their direction, a run of neutrals takes
// the direction of the strong characters around it when both agree and the
// reading direction otherwise (the text's ends count as the reading
// direction); then runs are reversed from the deepest level up, as the
// bidirectional algorithm does for text without embeddings.
std::vector<size_t> VisualOrder(std::vector<uint32_t>& cps, bool rtl) {
  size_t n = cps.size();
  std::vector<Dir> d(n);
  for (size_t i = 0; i < n; ++i) d[i] = DirOf(cps[i]);
  Dir base = rtl ? Dir::R : Dir::L;
  for (size_t i = 0; i < n;) {
    if (d[i] != Dir::N) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < n && d[j] == Dir::N) ++j;
    Dir before = i == 0 ? base : d[i - 1];
    Dir after = j == n ? base : d[j];
    Dir r = before == after ? before : base;
    for (size_t k = i; k < j; ++k) d[k] = r;
    i = j;
  }
  std::vector<int> level(n);
  for (size_t i = 0; i < n; ++i) level[i] = rtl ? (d[i] == Dir::R ? 1 : 2) : (d[i] == Dir::R ? 1 : 0);
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t(0));
  int top = n ? *std::max_element(level.begin(), level.end()) : 0;
  for (int lv = top; lv >= 1; --lv) {
    for (size_t i = 0; i < n;) {
      if (level[order[i]] < lv) {
        ++i;
        continue;
      }
      size_t j = i;
      while (j < n && level[order[j]] >= lv) ++j;
      std::reverse(order.begin() + long(i), order.begin() + long(j));
      i = j;
    }
  }
  std::vector<uint32_t> shown(n);
  for (size_t i = 0; i < n; ++i) shown[i] = d[order[i]] == Dir::R ? Mirror(cps[order[i]]) : cps[order[i]];
  cps = std::move(shown);
  return order;
}

std::string Utf8Of(const std::vector<uint32_t>& cps) {
  std::string s;
  for (uint32_t c : cps) VXAppendUTF8(s, c == 0 ? 0xFFFD : c);
  return s;
}

uint8_t Mix(uint32_t d, uint32_t t, uint32_t a) { return uint8_t((d * (255 - a) + t * a + 127) / 255); }

// Text whose font has an escapement (tenths of a degree, counter-clockwise):
// the cell (offset by (dx, dy) from the reference point (x, y), the
// font's height high) and the glyphs turned about the reference point. An
// opaque background fills the turned cell.
BOOL TurnedText(DC& dc, const VXFontFace& f, Region& vis, std::vector<cairo_glyph_t>& glyphs, int x, int y, int dx,
                int dy, int width, int escapement, const Brush& bk) {
  const VXFontMetrics& m = f.Metrics();
  const double a = escapement * M_PI / 1800, c = std::cos(a), s = std::sin(a);
  const double rx = DevX(dc, x), ry = DevY(dc, y);
  // Device point of an offset along the baseline (u) and down the cell (v).
  auto turn = [&](double u, double v, double& px, double& py) {
    px = rx + u * c + v * s;
    py = ry - u * s + v * c;
  };
  const int em = int(f.PixelSize());
  double x0 = 1e18, y0 = 1e18, x1 = -1e18, y1 = -1e18;
  for (double u : {double(dx) - em, double(dx) + width + em})
    for (double v : {double(dy) - em, double(dy) + m.Height + em}) {
      double px, py;
      turn(u, v, px, py);
      x0 = std::min(x0, px), y0 = std::min(y0, py), x1 = std::max(x1, px), y1 = std::max(y1, py);
    }
  RECT box = vis.Box();
  const int mx0 = std::max<int>(int(std::max(std::floor(x0), -1e9)), box.left);
  const int mx1 = std::min<int>(int(std::min(std::ceil(x1), 1e9)), box.right);
  const int my0 = std::max<int>(int(std::max(std::floor(y0), -1e9)), box.top);
  const int my1 = std::min<int>(int(std::min(std::ceil(y1), 1e9)), box.bottom);
  if (mx1 <= mx0 || my1 <= my0) return TRUE;
  vis.IntersectRect(mx0, my0, mx1, my1);
  Bitmap& bm = *dc.Surface;

  // Coverage of a drawing in the box, in the turned cell's coordinates
  // (pixel centres at half coordinates, as for unturned text).
  auto cover = [&](bool antialias, auto draw) -> cairo_surface_t* {
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, mx1 - mx0, my1 - my0);
    if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(mask);
      return nullptr;
    }
    cairo_t* cr = cairo_create(mask);
    cairo_translate(cr, rx - mx0, ry - my0);
    cairo_rotate(cr, -a);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    if (!antialias) cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(mask);
    return mask;
  };
  auto blend = [&](cairo_surface_t* mask, COLORREF t, bool solid) {
    const uint8_t* cov = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    for (const RECT& r : vis.Rects())
      for (int yy = r.top; yy < r.bottom; ++yy) {
        const uint8_t* row = cov + size_t(yy - my0) * size_t(stride);
        for (int xx = r.left; xx < r.right; ++xx) {
          uint32_t cv = row[xx - mx0];
          if (!cv) continue;
          if (cv == 255 || solid) {
            bm.Set(xx, yy, t);
            continue;
          }
          COLORREF d = bm.Get(xx, yy);
          bm.Set(xx, yy, RGB(Mix(GetRValue(d), GetRValue(t), cv), Mix(GetGValue(d), GetGValue(t), cv),
                             Mix(GetBValue(d), GetBValue(t), cv)));
        }
      }
  };

  if (dc.S.BkMode == OPAQUE) {
    cairo_surface_t* cell = cover(false, [&](cairo_t* cr) {
      cairo_rectangle(cr, dx, dy, width, m.Height);
      cairo_fill(cr);
    });
    if (!cell) return FALSE;
    blend(cell, bk.Color, true);
    cairo_surface_destroy(cell);
  }
  const bool antialias = cairo_font_options_get_antialias(f.Options()) != CAIRO_ANTIALIAS_NONE;
  cairo_surface_t* ink = cover(antialias, [&](cairo_t* cr) {
    cairo_set_font_face(cr, f.Face());
    cairo_set_font_size(cr, f.PixelSize());
    cairo_set_font_options(cr, f.Options());
    const double baseline = dy + m.Ascent;
    for (cairo_glyph_t& g : glyphs) {
      g.x += dx;
      g.y = baseline;
    }
    cairo_show_glyphs(cr, glyphs.data(), int(glyphs.size()));
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    if (m.Underline) cairo_rectangle(cr, dx, baseline + m.UnderlinePosition, width, m.UnderlineSize);
    if (m.StrikeOut) cairo_rectangle(cr, dx, baseline + m.StrikeOutPosition, width, m.StrikeOutSize);
    cairo_fill(cr);
  });
  if (!ink) return FALSE;
  blend(ink, dc.S.TextColor, false);
  cairo_surface_destroy(ink);
  return TRUE;
}

}  // namespace

#define VX_DC(ret)                                      \
  std::lock_guard<std::recursive_mutex> lock(Lock()); \
  DC* dc = FindDC(hdc);                               \
  if (!dc) return ret

UINT SetTextAlign(HDC hdc, UINT align) {
  VX_DC(GDI_ERROR);
  UINT old = dc->S.TextAlign;
  dc->S.TextAlign = align & (TA_UPDATECP | TA_CENTER | TA_BASELINE | TA_RTLREADING);
  return old;
}

UINT GetTextAlign(HDC hdc) {
  VX_DC(GDI_ERROR);
  return dc->S.TextAlign;
}

BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* lptm) {
  if (!lptm) return FALSE;
  VXFontFaceRef f = VXResolveDCFont(hdc);
  if (!f) return FALSE;
  const VXFontMetrics& m = f->Metrics();
  BYTE charset = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    DC* dc = FindDC(hdc);
    if (!dc) return FALSE;
    if (auto o = Find(dc->S.Font, ObjKind::Font)) charset = o->F->Log.lfCharSet;
  }
  TEXTMETRICW tm;
  tm.tmHeight = m.Height;
  tm.tmAscent = m.Ascent;
  tm.tmDescent = m.Descent;
  tm.tmInternalLeading = m.InternalLeading;
  tm.tmExternalLeading = m.ExternalLeading;
  tm.tmAveCharWidth = m.AveCharWidth;
  tm.tmMaxCharWidth = m.MaxCharWidth;
  tm.tmWeight = m.Weight;
  tm.tmOverhang = 0;
  tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
  tm.tmFirstChar = 0x20;
  tm.tmLastChar = 0xFFFC;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmItalic = m.Italic;
  tm.tmUnderlined = m.Underline;
  tm.tmStruckOut = m.StrikeOut;
  tm.tmPitchAndFamily = BYTE((m.FixedPitch ? 0 : TMPF_FIXED_PITCH) | TMPF_VECTOR | TMPF_TRUETYPE |
                             (m.FixedPitch ? 0x30 : 0x20));
  tm.tmCharSet = charset == DEFAULT_CHARSET ? ANSI_CHARSET : charset;
  *lptm = tm;
  return TRUE;
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, SIZE* psizl) {
  if (!psizl || (!lpString && c != 0)) return FALSE;
  VXFontFaceRef f = VXResolveDCFont(hdc);
  if (!f) return FALSE;
  psizl->cx = VXFontTextWidth(*f, TextOf(lpString, c));
  psizl->cy = f->Metrics().Height;
  return TRUE;
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
  return ExtTextOutW(hdc, x, y, 0, nullptr, lpString, c, nullptr);
}

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprc, LPCWSTR lpString, int c,
                 const INT* lpDx) {
  if (!lpString && c != 0) return FALSE;
  VXFontFaceRef f = VXResolveDCFont(hdc);
  VX_DC(FALSE);
  if (!f) return FALSE;
  const VXFontMetrics& m = f->Metrics();

  // Characters in display order, with their distances.
  std::vector<uint32_t> cps = CodePoints(TextOf(lpString, c));
  bool rtl = (options & ETO_RTLREADING) || (dc->S.TextAlign & TA_RTLREADING);
  std::vector<size_t> order = VisualOrder(cps, rtl);
  std::string shown = Utf8Of(cps);
  int width = 0;
  std::vector<cairo_glyph_t> glyphs = VXFontLayout(*f, shown, 0, 0, &width);
  if (lpDx && !glyphs.empty()) {
    std::vector<int64_t> at(cps.size() + 1, 0);
    for (size_t i = 0; i < cps.size(); ++i) at[i + 1] = at[i] + lpDx[order[i]];
    for (size_t i = 0; i < glyphs.size() && i < cps.size(); ++i) glyphs[i].x = double(at[i]);
    width = int(std::clamp<int64_t>(at.back(), INT32_MIN / 2, INT32_MAX / 2));
  }

  // The reference point and the text's cell in logical coordinates.
  UINT align = dc->S.TextAlign;
  bool updateCP = align & TA_UPDATECP;
  if (updateCP) {
    x = dc->S.CurPos.x;
    y = dc->S.CurPos.y;
  }
  int left = x;
  if ((align & TA_CENTER) == TA_CENTER)
    left = x - width / 2;
  else if (align & TA_RIGHT)
    left = x - width;
  int top = y;
  if ((align & TA_BASELINE) == TA_BASELINE)
    top = y - m.Ascent;
  else if (align & TA_BOTTOM)
    top = y - m.Height;
  if (updateCP) {
    // The current position moves along the baseline, turned with the font.
    int esc = 0;
    if (auto o = Find(dc->S.Font, ObjKind::Font)) esc = o->F->Log.lfEscapement % 3600;
    int moved = 0;
    if ((align & TA_CENTER) == TA_CENTER) {
    } else if (align & TA_RIGHT) {
      moved = -width;
    } else {
      moved = width;
    }
    if (esc == 0) {
      dc->S.CurPos.x = x + moved;
    } else {
      const double a = esc * M_PI / 1800;
      dc->S.CurPos.x = x + int(std::lrint(moved * std::cos(a)));
      dc->S.CurPos.y = y - int(std::lrint(moved * std::sin(a)));
    }
  }

  Region vis;
  if (!VisibleRegion(*dc, vis)) return TRUE;
  Bitmap& bm = *dc->Surface;
  Brush bk;
  bk.Style = BS_SOLID;
  bk.Color = dc->S.BkColor;
  if (lprc && (options & ETO_OPAQUE)) {
    Region r;
    RECT d = DevRect(*dc, lprc->left, lprc->top, lprc->right, lprc->bottom);
    r.SetRect(d.left, d.top, d.right, d.bottom);
    FillRegion(*dc, r, bk, R2_COPYPEN);
  }
  if (lprc && (options & ETO_CLIPPED)) {
    RECT d = DevRect(*dc, lprc->left, lprc->top, lprc->right, lprc->bottom);
    vis.IntersectRect(d.left, d.top, d.right, d.bottom);
  }
  if (vis.Empty() || glyphs.empty()) return TRUE;
  int escapement = 0;
  if (auto o = Find(dc->S.Font, ObjKind::Font)) escapement = o->F->Log.lfEscapement % 3600;
  if (escapement != 0)
    return TurnedText(*dc, *f, vis, glyphs, x, y, left - x, top - y, width, escapement, bk);
  RECT cell = DevRect(*dc, left, top, left + width, top + m.Height);
  if (dc->S.BkMode == OPAQUE) {
    Region r;
    r.SetRect(cell.left, cell.top, cell.right, cell.bottom);
    r.Intersect(vis);
    FillRegion(*dc, r, bk, R2_COPYPEN);
  }

  // Coverage of the glyphs (and of underline and strike-out) in a mask
  // over the cell grown by an em each way for overhangs, cut to what can
  // be seen.
  int em = int(f->PixelSize());
  RECT box = vis.Box();
  int mx0 = std::max<int>(int(std::min<int64_t>(cell.left, cell.right)) - em, box.left);
  int mx1 = std::min<int>(int(std::max<int64_t>(cell.left, cell.right)) + em, box.right);
  int my0 = std::max<int>(cell.top - em, box.top);
  int my1 = std::min<int>(cell.bottom + em, box.bottom);
  if (mx1 <= mx0 || my1 <= my0) return TRUE;
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, mx1 - mx0, my1 - my0);
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(mask);
    return FALSE;
  }
  double ox = double(cell.left) - mx0, baseline = double(cell.top) + m.Ascent - my0;
  for (cairo_glyph_t& g : glyphs) {
    g.x += ox;
    g.y = baseline;
  }
  cairo_t* cr = cairo_create(mask);
  cairo_set_scaled_font(cr, f->ScaledFont());
  cairo_set_source_rgba(cr, 0, 0, 0, 1);
  cairo_show_glyphs(cr, glyphs.data(), int(glyphs.size()));
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  if (m.Underline) cairo_rectangle(cr, ox, baseline + m.UnderlinePosition, width, m.UnderlineSize);
  if (m.StrikeOut) cairo_rectangle(cr, ox, baseline + m.StrikeOutPosition, width, m.StrikeOutSize);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(mask);
  const uint8_t* cov = cairo_image_surface_get_data(mask);
  int stride = cairo_image_surface_get_stride(mask);
  COLORREF t = dc->S.TextColor;
  vis.IntersectRect(mx0, my0, mx1, my1);
  for (const RECT& r : vis.Rects())
    for (int yy = r.top; yy < r.bottom; ++yy) {
      const uint8_t* row = cov + size_t(yy - my0) * size_t(stride);
      for (int xx = r.left; xx < r.right; ++xx) {
        uint32_t a = row[xx - mx0];
        if (!a) continue;
        if (a == 255) {
          bm.Set(xx, yy, t);
          continue;
        }
        COLORREF d = bm.Get(xx, yy);
        COLORREF o = RGB(Mix(GetRValue(d), GetRValue(t), a), Mix(GetGValue(d), GetGValue(t), a),
                         Mix(GetBValue(d), GetBValue(t), a));
        bm.Set(xx, yy, o);
      }
    }
  cairo_surface_destroy(mask);
  return TRUE;
}
