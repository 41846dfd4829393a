// Colour and font-style types of the graphics unit (gui/graphics.h), apart
// from it so that the library's shared definitions (core/vxdefs.h) carry
// them without the window layer's declarations.
#pragma once
#include <cstdint>

// Font styles and the set of them (bit n stands for ordinal n).
enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = uint8_t;
constexpr TFontStyles VXFontStyleBit(TFontStyle s) { return TFontStyles(1u << unsigned(s)); }

// Colour value: red in bits 0-7, green 8-15, blue 16-23; a negative value
// names a system colour by its low byte.
using TColor = int32_t;
