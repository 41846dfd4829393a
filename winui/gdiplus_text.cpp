// The drawing library's text: fonts made from a device context's font,
// string formats, and strings laid out in a rectangle, their glyphs filled
// with a brush through the same path as every figure.
#include <cmath>
#include <cstring>
#include <string_view>

#include "winui/font_face.h"
#include "winui/gdi_internal.h"
#include "winui/gdiplus_draw.h"
#include "winui/gdiplus_internal.h"

using namespace vxgdiplus;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

void Rec(const std::string& Line) {
  if (Recording()) Log(Line);
}

// Bytes of the UTF-8 sequence that starts at s[i] (1 for a stray byte).
size_t CharLen(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  for (size_t k = 1; k < n; ++k)
    if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  return n;
}

// The lines of a text: broken at line feeds (a carriage return before one
// is dropped) and, when Width > 0, wrapped at spaces to fit it (a word
// wider than the line is broken between characters; spaces at a wrap are
// dropped).
std::vector<std::string> Lines(const VXFontFace& face, std::string_view text, double Width) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    size_t end = text.find('\n', start);
    std::string_view para = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!para.empty() && para.back() == '\r') para.remove_suffix(1);
    if (Width <= 0) {
      out.emplace_back(para);
    } else {
      std::string line;
      size_t i = 0;
      const auto fits = [&](const std::string& s) { return VXFontTextWidth(face, s) <= Width; };
      while (i < para.size()) {
        // The next word with the spaces before it.
        size_t j = i;
        while (j < para.size() && para[j] == ' ') ++j;
        while (j < para.size() && para[j] != ' ') ++j;
        std::string candidate = line + std::string(para.substr(i, j - i));
        if (fits(candidate)) {
          line = std::move(candidate);
          i = j;
          continue;
        }
        if (!line.empty()) {
          out.push_back(line);
          line.clear();
          while (i < para.size() && para[i] == ' ') ++i;
          continue;
        }
        // A word alone too wide: as many characters as fit, at least one.
        while (i < para.size() && para[i] == ' ') ++i;
        std::string part;
        while (i < para.size() && para[i] != ' ') {
          const size_t n = CharLen(para, i);
          std::string more = part + std::string(para.substr(i, n));
          if (!part.empty() && !fits(more)) break;
          part = std::move(more);
          i += n;
        }
        out.push_back(part);
      }
      if (!line.empty() || para.empty()) out.push_back(line);
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return out;
}

}  // namespace

GpStatus GdipCreateFontFromDC(HDC hdc, GpFont** font) {
  Guard l(Lock());
  if (Recording()) Rec("GdipCreateFontFromDC()");
  if (!font) return InvalidParameter;
  *font = nullptr;
  if (!Started()) return GdiplusNotInitialized;
  {
    std::lock_guard<std::recursive_mutex> gdi(vxgdi::Lock());
    if (!vxgdi::FindDC(hdc)) return InvalidParameter;
  }
  VXFontFaceRef face = VXResolveDCFont(hdc);
  if (!face) return FontFamilyNotFound;
  auto f = std::make_unique<GpFont>();
  f->Face = std::move(face);
  Add(f.get(), Kind::Font);
  *font = f.release();
  return Ok;
}

GpStatus GdipDeleteFont(GpFont* font) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDeleteFont()");
  if (!Live(font, Kind::Font)) return InvalidParameter;
  Remove(font);
  delete font;
  return Ok;
}

GpStatus GdipCreateStringFormat(INT formatAttributes, LANGID language, GpStringFormat** format) {
  Guard l(Lock());
  if (Recording()) Rec("GdipCreateStringFormat(" + std::to_string(formatAttributes) + "," + std::to_string(language) + ")");
  if (!format) return InvalidParameter;
  *format = nullptr;
  if (!Started()) return GdiplusNotInitialized;
  auto f = std::make_unique<GpStringFormat>();
  f->Attributes = formatAttributes;
  f->Language = language;
  Add(f.get(), Kind::StringFormat);
  *format = f.release();
  return Ok;
}

GpStatus GdipDeleteStringFormat(GpStringFormat* format) {
  Guard l(Lock());
  if (Recording()) Rec("GdipDeleteStringFormat()");
  if (!Live(format, Kind::StringFormat)) return InvalidParameter;
  Remove(format);
  delete format;
  return Ok;
}

GpStatus GdipDrawString(GpGraphics* graphics, LPCWSTR string, INT length, const GpFont* font,
                        const GpRectF* layoutRect, const GpStringFormat* stringFormat, const GpBrush* brush) {
  Guard l(Lock());
  const size_t n = !string || length < -1 ? 0 : length == -1 ? std::strlen(string) : size_t(length);
  if (Recording()) {
    std::string line = "GdipDrawString(\"" + std::string(string ? string : "", n) + "\"," + std::to_string(length);
    if (layoutRect)
      for (REAL v : {layoutRect->X, layoutRect->Y, layoutRect->Width, layoutRect->Height}) line += "," + Num(v);
    Log(line + ")");
  }
  if (!Live(graphics, Kind::Graphics) || !Live(font, Kind::Font) || !Live(brush, Kind::Brush) || !string ||
      length < -1 || !layoutRect || (stringFormat && !Live(stringFormat, Kind::StringFormat)))
    return InvalidParameter;
  const GpRectF r = *layoutRect;
  if (!std::isfinite(r.X) || !std::isfinite(r.Y) || !std::isfinite(r.Width) || !std::isfinite(r.Height))
    return InvalidParameter;
  const INT attributes = stringFormat ? stringFormat->Attributes : 0;
  const VXFontFace& face = *font->Face;
  const VXFontMetrics& m = face.Metrics();

  // A margin of a sixth of the em on either side; a rectangle without
  // width or height does not limit the text.
  const double pad = face.PixelSize() / 6;
  const bool bounded = r.Width > 0 && r.Height > 0;
  const double wrapWidth = bounded && !(attributes & StringFormatFlagsNoWrap) ? r.Width - 2 * pad : 0;
  const std::vector<std::string> lines = Lines(face, std::string_view(string, n), wrapWidth > 0 ? wrapWidth : 0);
  const double lineHeight = m.Height + m.ExternalLeading;

  double widest = 0;
  for (const std::string& s : lines) widest = std::max<double>(widest, VXFontTextWidth(face, s));
  Figure f;
  f.Brush = brush;
  f.Mode = FillModeWinding;
  f.Bounds[0] = r.X;
  f.Bounds[1] = r.Y;
  f.Bounds[2] = r.X + std::max<double>(bounded ? r.Width : 0, widest + 2 * pad);
  f.Bounds[3] = r.Y + std::max<double>(bounded ? r.Height : 0, lineHeight * double(lines.size()));
  switch (graphics->TextHint) {
    case TextRenderingHintSingleBitPerPixelGridFit:
    case TextRenderingHintSingleBitPerPixel: f.AntiAlias = 0; break;
    case TextRenderingHintSystemDefault:
      f.AntiAlias = cairo_font_options_get_antialias(face.Options()) == CAIRO_ANTIALIAS_NONE ? 0 : 1;
      break;
    default: f.AntiAlias = 1; break;
  }
  if (bounded && !(attributes & StringFormatFlagsNoClip)) f.Clip = &r;
  f.Build = [&](cairo_t* cr) {
    cairo_set_font_face(cr, face.Face());
    cairo_set_font_size(cr, face.PixelSize());
    cairo_set_font_options(cr, face.Options());
    // Glyphs are set at whole pixels of the device (the half pixel takes
    // away the shift that puts pixel centres on whole coordinates).
    const double x = r.X + pad;
    double top = r.Y;
    for (const std::string& s : lines) {
      int advance = 0;
      const double baseline = std::nearbyint(top + m.Ascent);
      std::vector<cairo_glyph_t> glyphs = VXFontLayout(face, s, x, baseline, &advance);
      for (cairo_glyph_t& g : glyphs) {
        g.x -= 0.5;
        g.y -= 0.5;
      }
      if (!glyphs.empty()) cairo_glyph_path(cr, glyphs.data(), int(glyphs.size()));
      const double left = std::nearbyint(x) - 0.5;
      if (m.Underline && advance > 0)
        cairo_rectangle(cr, left, baseline - 0.5 + m.UnderlinePosition, advance, m.UnderlineSize);
      if (m.StrikeOut && advance > 0)
        cairo_rectangle(cr, left, baseline - 0.5 + m.StrikeOutPosition, advance, m.StrikeOutSize);
      top += lineHeight;
    }
  };
  return Render(graphics, f);
}
