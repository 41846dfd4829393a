#include "winui/font_face.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/utf.h"
#include "winui/gdi_internal.h"

using namespace vxgdi;

struct VXFontFaceMaker {
  static std::shared_ptr<VXFontFace> Make(const LOGFONTW& lf);
};

namespace {

std::mutex gFaceLock;  // fontconfig's configuration and the cache

FcConfig* Config() {
  // Read once, when text is first measured or drawn: FONTCONFIG_FILE set
  // before then chooses the configuration.
  static FcConfig* cfg = FcInitLoadConfigAndFonts();
  return cfg;
}

// Cache key: every field of the logical font that changes the face.
std::string KeyOf(const LOGFONTW& lf) {
  std::string k;
  auto put = [&](int64_t v) { k.append(reinterpret_cast<const char*>(&v), sizeof v); };
  put(lf.lfHeight);
  put(lf.lfWeight);
  put(lf.lfItalic != 0);
  put(lf.lfUnderline != 0);
  put(lf.lfStrikeOut != 0);
  put(lf.lfQuality == NONANTIALIASED_QUALITY);
  put(lf.lfPitchAndFamily);
  for (int i = 0; i < LF_FACESIZE && lf.lfFaceName[i]; ++i) put(lf.lfFaceName[i]);
  return k;
}

std::map<std::string, std::shared_ptr<VXFontFace>>& Cache() {
  static std::map<std::string, std::shared_ptr<VXFontFace>> c;
  return c;
}

// The fontconfig family to ask for: the face name, or for none a generic
// family from the pitch and family bits.
std::string FamilyOf(const LOGFONTW& lf) {
  size_t n = 0;
  while (n < size_t(LF_FACESIZE) && lf.lfFaceName[n]) ++n;
  std::string name = VXUTF16ToUTF8(std::u16string(lf.lfFaceName, n));
  if (!name.empty()) return name;
  if ((lf.lfPitchAndFamily & 3) == 1 || (lf.lfPitchAndFamily & 0xF0) == 0x30) return "monospace";
  if ((lf.lfPitchAndFamily & 0xF0) == 0x10) return "serif";
  return "sans-serif";
}

// round(v * num / den) for non-negative values, halves up.
int ScaleRound(int64_t v, int64_t num, int64_t den) {
  if (den <= 0) return 0;
  bool neg = v < 0;
  int64_t a = (neg ? -v : v) * num;
  int64_t r = (2 * a + den) / (2 * den);
  return int(neg ? -r : r);
}

// Font-unit figures of a face that the metrics are made of.
struct FaceUnits {
  int64_t UnitsPerEm = 2048;
  int64_t WinAscent = 0, WinDescent = 0;
  int64_t HheaAscent = 0, HheaDescent = 0, LineGap = 0;
  int64_t AvgWidth = 0;
  int64_t BoxWidth = 0;
  int64_t UnderlinePos = 0, UnderlineSize = 0;
  int64_t StrikePos = 0, StrikeSize = 0;
  bool Fixed = false;
};

FaceUnits ReadUnits(FT_Face ft) {
  FaceUnits u;
  if (!ft) return u;
  u.UnitsPerEm = ft->units_per_EM > 0 ? ft->units_per_EM : 2048;
  u.HheaAscent = ft->ascender;
  u.HheaDescent = -int64_t(ft->descender);
  u.LineGap = std::max<int64_t>(0, int64_t(ft->height) - (ft->ascender - ft->descender));
  u.BoxWidth = int64_t(ft->bbox.xMax) - ft->bbox.xMin;
  u.UnderlinePos = -int64_t(ft->underline_position);
  u.UnderlineSize = ft->underline_thickness;
  u.Fixed = FT_IS_FIXED_WIDTH(ft);
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF) {
    u.WinAscent = os2->usWinAscent;
    u.WinDescent = os2->usWinDescent;
    u.AvgWidth = os2->xAvgCharWidth;
    u.StrikePos = os2->yStrikeoutPosition;
    u.StrikeSize = os2->yStrikeoutSize;
  }
  if (u.WinAscent + u.WinDescent <= 0) {
    u.WinAscent = u.HheaAscent;
    u.WinDescent = u.HheaDescent;
  }
  if (u.WinAscent + u.WinDescent <= 0) {
    u.WinAscent = u.UnitsPerEm * 4 / 5;
    u.WinDescent = u.UnitsPerEm / 5;
  }
  return u;
}

cairo_scaled_font_t* MakeScaled(cairo_font_face_t* face, double em, const cairo_font_options_t* opts) {
  cairo_matrix_t fm, ctm;
  cairo_matrix_init_scale(&fm, em, em);
  cairo_matrix_init_identity(&ctm);
  return cairo_scaled_font_create(face, &fm, &ctm, opts);
}

// Valid UTF-8 (malformed bytes become U+FFFD): cairo refuses anything else.
std::string Clean(std::string_view s) {
  std::string in(s), out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    uint32_t c = VXNextUTF8(in, i);
    if (c == 0) c = 0xFFFD;  // no terminator inside the text
    VXAppendUTF8(out, c);
  }
  return out;
}

}  // namespace

std::shared_ptr<VXFontFace> VXFontFaceMaker::Make(const LOGFONTW& lf) {
  FcConfig* cfg = Config();
  FcPattern* pat = FcPatternCreate();
  std::string family = FamilyOf(lf);
  int weight = lf.lfWeight > 0 ? std::min<int>(lf.lfWeight, 1000) : 400;
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pat, FC_SLANT, lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddInteger(pat, FC_WIDTH, FC_WIDTH_NORMAL);
  FcConfigSubstitute(cfg, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res = FcResultNoMatch;
  FcPattern* match = FcFontMatch(cfg, pat, &res);
  FcPatternDestroy(pat);
  if (!match) return nullptr;
  FcChar8* file = nullptr;
  FcChar8* fam = nullptr;
  int index = 0, gotWeight = FC_WEIGHT_REGULAR, gotSlant = FC_SLANT_ROMAN;
  if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch || !file) {
    FcPatternDestroy(match);
    return nullptr;
  }
  FcPatternGetString(match, FC_FAMILY, 0, &fam);
  FcPatternGetInteger(match, FC_INDEX, 0, &index);
  FcPatternGetInteger(match, FC_WEIGHT, 0, &gotWeight);
  FcPatternGetInteger(match, FC_SLANT, 0, &gotSlant);

  auto f = std::shared_ptr<VXFontFace>(new VXFontFace());
  f->fFile = reinterpret_cast<const char*>(file);
  f->fFamily = fam ? reinterpret_cast<const char*>(fam) : family;
  bool antialias = lf.lfQuality != NONANTIALIASED_QUALITY;

  // A pattern of our own for cairo, so that the rendering depends on the
  // logical font alone and not on the machine's fontconfig preferences.
  FcPattern* own = FcPatternCreate();
  FcPatternAddString(own, FC_FILE, file);
  FcPatternAddInteger(own, FC_INDEX, index);
  FcPatternAddBool(own, FC_ANTIALIAS, antialias ? FcTrue : FcFalse);
  FcPatternAddBool(own, FC_HINTING, FcTrue);
  FcPatternAddInteger(own, FC_HINT_STYLE, FC_HINT_FULL);
  FcPatternAddBool(own, FC_AUTOHINT, FcFalse);
  FcPatternAddInteger(own, FC_RGBA, FC_RGBA_NONE);
  FcPatternAddInteger(own, FC_LCD_FILTER, FC_LCD_NONE);
  FcPatternDestroy(match);
  f->fFace = cairo_ft_font_face_create_for_pattern(own);
  FcPatternDestroy(own);
  if (!f->fFace || cairo_font_face_status(f->fFace) != CAIRO_STATUS_SUCCESS) return nullptr;
  // Bold and italic the file lacks are made up, as GDI does.
  unsigned synth = 0;
  if (weight >= 600 && gotWeight < FC_WEIGHT_DEMIBOLD) synth |= CAIRO_FT_SYNTHESIZE_BOLD;
  if (lf.lfItalic && gotSlant == FC_SLANT_ROMAN) synth |= CAIRO_FT_SYNTHESIZE_OBLIQUE;
  if (synth) cairo_ft_font_face_set_synthesize(f->fFace, synth);

  f->fOptions = cairo_font_options_create();
  cairo_font_options_set_antialias(f->fOptions, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_subpixel_order(f->fOptions, CAIRO_SUBPIXEL_ORDER_DEFAULT);
  cairo_font_options_set_hint_style(f->fOptions, CAIRO_HINT_STYLE_FULL);
  cairo_font_options_set_hint_metrics(f->fOptions, CAIRO_HINT_METRICS_OFF);

  // The face's own figures, read at any size.
  FaceUnits u;
  {
    cairo_scaled_font_t* probe = MakeScaled(f->fFace, 16, f->fOptions);
    if (cairo_scaled_font_status(probe) == CAIRO_STATUS_SUCCESS) {
      FT_Face ft = cairo_ft_scaled_font_lock_face(probe);
      u = ReadUnits(ft);
      if (ft) cairo_ft_scaled_font_unlock_face(probe);
    }
    cairo_scaled_font_destroy(probe);
  }

  // Whole pixels per em: a negative height is the em, a positive one the
  // cell (the largest em whose ascent + descent fit in it).
  const int64_t kMaxPixels = 4096;
  int64_t h = lf.lfHeight;
  int64_t em;
  auto cell = [&](int64_t e) {
    return int64_t(ScaleRound(u.WinAscent, e, u.UnitsPerEm)) + ScaleRound(u.WinDescent, e, u.UnitsPerEm);
  };
  if (h < 0) {
    em = std::min(-h, kMaxPixels);
  } else if (h == 0) {
    em = 12;
  } else {
    h = std::min(h, kMaxPixels);
    em = std::max<int64_t>(1, (h * u.UnitsPerEm + (u.WinAscent + u.WinDescent) / 2) / (u.WinAscent + u.WinDescent));
    while (em > 1 && cell(em) > h) --em;
  }
  em = std::max<int64_t>(1, em);
  f->fPixelSize = double(em);
  f->fScaled = MakeScaled(f->fFace, f->fPixelSize, f->fOptions);
  if (cairo_scaled_font_status(f->fScaled) != CAIRO_STATUS_SUCCESS) return nullptr;

  VXFontMetrics& m = f->fMetrics;
  m.Ascent = ScaleRound(u.WinAscent, em, u.UnitsPerEm);
  m.Descent = ScaleRound(u.WinDescent, em, u.UnitsPerEm);
  m.Height = m.Ascent + m.Descent;
  m.InternalLeading = std::max<int>(0, m.Height - int(em));
  int64_t gap = u.LineGap - ((u.WinAscent + u.WinDescent) - (u.HheaAscent + u.HheaDescent));
  m.ExternalLeading = gap > 0 ? ScaleRound(gap, em, u.UnitsPerEm) : 0;
  m.AveCharWidth = ScaleRound(u.AvgWidth, em, u.UnitsPerEm);
  if (m.AveCharWidth <= 0) m.AveCharWidth = std::max(1, VXFontTextWidth(*f, "x"));
  m.MaxCharWidth = std::max(m.AveCharWidth, ScaleRound(u.BoxWidth, em, u.UnitsPerEm));
  m.Weight = weight;
  m.Italic = lf.lfItalic != 0;
  m.Underline = lf.lfUnderline != 0;
  m.StrikeOut = lf.lfStrikeOut != 0;
  m.FixedPitch = u.Fixed;
  m.UnderlineSize = std::max(1, ScaleRound(u.UnderlineSize, em, u.UnitsPerEm));
  m.UnderlinePosition = std::clamp(ScaleRound(u.UnderlinePos, em, u.UnitsPerEm) - m.UnderlineSize / 2, 1,
                                   std::max(1, m.Descent - m.UnderlineSize));
  m.StrikeOutSize = std::max(1, ScaleRound(u.StrikeSize > 0 ? u.StrikeSize : u.UnderlineSize, em, u.UnitsPerEm));
  int strike = u.StrikePos > 0 ? ScaleRound(u.StrikePos, em, u.UnitsPerEm) : m.Ascent / 3;
  m.StrikeOutPosition = -std::max(1, strike);
  return f;
}

VXFontFace::~VXFontFace() {
  if (fScaled) cairo_scaled_font_destroy(fScaled);
  if (fFace) cairo_font_face_destroy(fFace);
  if (fOptions) cairo_font_options_destroy(fOptions);
}

VXFontFaceRef VXResolveFontFace(const LOGFONTW& Font) {
  std::lock_guard<std::mutex> l(gFaceLock);
  std::string key = KeyOf(Font);
  auto& cache = Cache();
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  auto f = VXFontFaceMaker::Make(Font);
  if (!f) return nullptr;
  // Faces stay shared while someone holds them; the cache forgets them all
  // when it grows large.
  if (cache.size() >= 256) cache.clear();
  cache.emplace(key, f);
  return f;
}

VXFontFaceRef VXResolveFontFace(HFONT Font) {
  LOGFONTW lf;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    auto o = Find(Font, ObjKind::Font);
    if (!o || !o->F) return nullptr;
    lf = o->F->Log;
  }
  return VXResolveFontFace(lf);
}

VXFontFaceRef VXResolveDCFont(HDC hdc) {
  HGDIOBJ font;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    DC* dc = FindDC(hdc);
    if (!dc) return nullptr;
    font = dc->S.Font;
  }
  return VXResolveFontFace(reinterpret_cast<HFONT>(font));
}

std::vector<cairo_glyph_t> VXFontLayout(const VXFontFace& Face, std::string_view Text, double X, double Baseline,
                                        int* Advance) {
  std::vector<cairo_glyph_t> out;
  if (Advance) *Advance = 0;
  if (Text.empty()) return out;
  std::string s = Clean(Text);
  cairo_glyph_t* glyphs = nullptr;
  int n = 0;
  cairo_status_t st = cairo_scaled_font_text_to_glyphs(Face.ScaledFont(), X, Baseline, s.data(), int(s.size()),
                                                       &glyphs, &n, nullptr, nullptr, nullptr);
  if (st != CAIRO_STATUS_SUCCESS) return out;
  out.assign(glyphs, glyphs + n);
  cairo_glyph_free(glyphs);
  // The pen runs on the face's own widths; each character is set at the
  // whole pixel nearest to it.
  double end = X;
  if (n > 0) {
    cairo_text_extents_t e;
    cairo_scaled_font_glyph_extents(Face.ScaledFont(), &out.back(), 1, &e);
    end = out.back().x + e.x_advance;
  }
  for (cairo_glyph_t& g : out) g.x = std::nearbyint(g.x);
  if (Advance) *Advance = int(std::llrint(end - X));
  return out;
}

std::vector<int> VXFontPrefixWidths(const VXFontFace& Face, std::string_view Text) {
  // A leading part lays out as the whole text does up to its last glyph
  // (each glyph at the running sum of the advances before it), so its width
  // is that glyph's position and advance, as VXFontLayout takes them.
  std::vector<int> out;
  if (Text.empty()) return out;
  std::string s = Clean(Text);
  cairo_glyph_t* raw = nullptr;
  int n = 0;
  if (cairo_scaled_font_text_to_glyphs(Face.ScaledFont(), 0, 0, s.data(), int(s.size()), &raw, &n, nullptr, nullptr,
                                       nullptr) != CAIRO_STATUS_SUCCESS)
    return out;
  out.reserve(size_t(n));
  for (int i = 0; i < n; ++i) {
    cairo_text_extents_t e;
    cairo_scaled_font_glyph_extents(Face.ScaledFont(), &raw[i], 1, &e);
    out.push_back(int(std::llrint(raw[i].x + e.x_advance)));
  }
  cairo_glyph_free(raw);
  return out;
}

int VXFontTextWidth(const VXFontFace& Face, std::string_view Text) {
  int w = 0;
  VXFontLayout(Face, Text, 0, 0, &w);
  return w;
}
