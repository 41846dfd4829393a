// A logical font resolved to a real face: fontconfig finds the file for the
// face name, weight and slant (names such as "Arial" or "Tahoma" through its
// substitutes), FreeType reads it, and cairo draws with it. One resolution
// serves GDI text and the GDI+ text entries alike.
//
//   VXFontFaceRef f = VXResolveFontFace(lf);        // or (HFONT), (HDC)
//   cairo_set_scaled_font(cr, f->ScaledFont());     // em of PixelSize()
//   int w = VXFontTextWidth(*f, "Text");              // UTF-8 text
//   auto g = VXFontLayout(*f, "Text", x, baseline);    // glyphs to show
//
// Sizes follow GDI: a negative height is the em height in pixels, a
// positive one the cell height (ascent + descent), 0 a default of 12 pixels
// em. Pixel sizes are whole; metrics are those GDI reports, in whole pixels
// (ascent and descent from the face's Windows metrics, rounded). Glyph
// shapes are hinted; the pen advances by the face's own widths at the pixel
// size, without kerning, each character set at the nearest whole pixel, and
// a text's width is its advance rounded to whole pixels.
#pragma once
#include <cairo.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "winui/gdi.h"

// Quality values of a logical font.
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE DRAFT_QUALITY = 1;
constexpr BYTE PROOF_QUALITY = 2;
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr BYTE ANTIALIASED_QUALITY = 4;
constexpr BYTE CLEARTYPE_QUALITY = 5;

// Whole-pixel metrics of a resolved font (the TEXTMETRICW figures).
struct VXFontMetrics {
  int Ascent = 0;           // above the baseline
  int Descent = 0;          // below it
  int Height = 0;           // Ascent + Descent
  int InternalLeading = 0;  // Height - em height
  int ExternalLeading = 0;
  int AveCharWidth = 0;
  int MaxCharWidth = 0;
  int Weight = 400;  // the weight asked for
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  bool FixedPitch = false;
  // Lines drawn for underline and strike-out: top row below (+) or above
  // (-) the baseline, and thickness, in pixels.
  int UnderlinePosition = 1;
  int UnderlineSize = 1;
  int StrikeOutPosition = -3;
  int StrikeOutSize = 1;
};

class VXFontFace {
 public:
  ~VXFontFace();
  VXFontFace(const VXFontFace&) = delete;
  VXFontFace& operator=(const VXFontFace&) = delete;

  // The cairo face (cairo's FreeType backend) and a scaled font of it with
  // an em of PixelSize() pixels, the identity device transform and
  // Options(). Both stay valid while this object lives; take a reference
  // (cairo_*_reference) to keep one longer.
  cairo_font_face_t* Face() const { return fFace; }
  cairo_scaled_font_t* ScaledFont() const { return fScaled; }
  // Em height in pixels (whole).
  double PixelSize() const { return fPixelSize; }
  // Anti-aliasing (none for NONANTIALIASED_QUALITY, grey otherwise), full
  // hinting, metrics hinted.
  const cairo_font_options_t* Options() const { return fOptions; }
  const VXFontMetrics& Metrics() const { return fMetrics; }
  // The file and family fontconfig chose.
  const std::string& File() const { return fFile; }
  const std::string& Family() const { return fFamily; }

 private:
  friend struct VXFontFaceMaker;
  VXFontFace() = default;
  cairo_font_face_t* fFace = nullptr;
  cairo_scaled_font_t* fScaled = nullptr;
  cairo_font_options_t* fOptions = nullptr;
  double fPixelSize = 0;
  VXFontMetrics fMetrics;
  std::string fFile, fFamily;
};
using VXFontFaceRef = std::shared_ptr<const VXFontFace>;

// The face of a logical font (resolutions are cached and shared; safe from
// any thread). Null only when fontconfig finds no font file at all.
VXFontFaceRef VXResolveFontFace(const LOGFONTW& Font);
// The face of a font handle; null for a handle that is not a font.
VXFontFaceRef VXResolveFontFace(HFONT Font);
// The face of the font selected into a device context; null for a bad DC.
VXFontFaceRef VXResolveDCFont(HDC hdc);

// Width in whole pixels of a UTF-8 text set in the face (malformed bytes
// count as U+FFFD).
int VXFontTextWidth(const VXFontFace& Face, std::string_view Text);
// Widths in whole pixels of every leading part of a UTF-8 text: entry i is
// what VXFontTextWidth gives for its first i + 1 characters alone, all of
// them from one layout of the text.
std::vector<int> VXFontPrefixWidths(const VXFontFace& Face, std::string_view Text);
// The glyphs of a UTF-8 text set from (X, Baseline) to the right, one per
// character (a character the face lacks gets the face's missing glyph);
// Advance, when given, receives the width.
std::vector<cairo_glyph_t> VXFontLayout(const VXFontFace& Face, std::string_view Text, double X, double Baseline,
                                        int* Advance = nullptr);
