// Text on a device context: drawing, measuring and the font's metrics, with
// the font selected into the DC (winui/font_face.h resolves it), the DC's
// text colour, background colour and mode, and its text alignment.
//
// Strings are UTF-8 here (LPCWSTR); a count is of bytes, -1 for a string
// that ends at its terminator. Per-character tables (lpDx) have one entry
// per character (code point).
#pragma once
#include "winui/gdi.h"
#include "winui/gdi_font.h"

// Text alignment (SetTextAlign): horizontal, vertical and reading order.
constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
constexpr UINT TA_RTLREADING = 256;

// Options of ExtTextOutW.
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;
constexpr UINT ETO_RTLREADING = 0x0080;

// Pitch and family bits of TEXTMETRICW (TMPF_FIXED_PITCH set means a
// variable pitch).
constexpr BYTE TMPF_FIXED_PITCH = 0x01;
constexpr BYTE TMPF_VECTOR = 0x02;
constexpr BYTE TMPF_TRUETYPE = 0x04;

UINT SetTextAlign(HDC hdc, UINT align);
// GDI_ERROR for a bad DC.
UINT GetTextAlign(HDC hdc);

// The text at (x, y) in the DC's alignment. Characters are set at their
// advances, or at the distances of lpDx when given. ETO_OPAQUE fills lprc
// with the background colour first; ETO_CLIPPED keeps the text inside
// lprc; ETO_RTLREADING (or TA_RTLREADING) orders the characters for
// right-to-left reading (runs of right-to-left script reversed, neutral
// characters between runs of different direction taking the reading
// direction). In OPAQUE background mode the text's cell (its width by the
// font's height) is filled with the background colour too. Glyphs are
// blended in the text colour by their coverage (anti-aliased unless the
// font asks for NONANTIALIASED_QUALITY). A font with an escapement
// (lfEscapement, tenths of a degree, counter-clockwise; lfOrientation is
// taken to equal it) turns the text, its cell and its glyphs about the
// reference point; the current position then moves along the turned
// baseline.
BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprc, LPCWSTR lpString, int c, const INT* lpDx);
BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c);
// Width of the text and the font's height (ascent + descent), measured
// along the baseline whatever the font's escapement.
BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, SIZE* psizl);
BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* lptm);
