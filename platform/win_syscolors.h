// System colours of the window system, as a fixed table.
//
// A colour value (TColor) holds red in bits 0-7, green in bits 8-15 and blue in
// bits 16-23. A negative colour value names a system colour by its low byte.
#pragma once

#include <cstdint>

// Indexes of the system colours.
constexpr int32_t COLOR_SCROLLBAR = 0;
constexpr int32_t COLOR_BACKGROUND = 1;
constexpr int32_t COLOR_DESKTOP = COLOR_BACKGROUND;
constexpr int32_t COLOR_ACTIVECAPTION = 2;
constexpr int32_t COLOR_INACTIVECAPTION = 3;
constexpr int32_t COLOR_MENU = 4;
constexpr int32_t COLOR_WINDOW = 5;
constexpr int32_t COLOR_WINDOWFRAME = 6;
constexpr int32_t COLOR_MENUTEXT = 7;
constexpr int32_t COLOR_WINDOWTEXT = 8;
constexpr int32_t COLOR_CAPTIONTEXT = 9;
constexpr int32_t COLOR_ACTIVEBORDER = 10;
constexpr int32_t COLOR_INACTIVEBORDER = 11;
constexpr int32_t COLOR_APPWORKSPACE = 12;
constexpr int32_t COLOR_HIGHLIGHT = 13;
constexpr int32_t COLOR_HIGHLIGHTTEXT = 14;
constexpr int32_t COLOR_BTNFACE = 15;
constexpr int32_t COLOR_BTNSHADOW = 16;
constexpr int32_t COLOR_GRAYTEXT = 17;
constexpr int32_t COLOR_BTNTEXT = 18;
constexpr int32_t COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int32_t COLOR_BTNHIGHLIGHT = 20;
constexpr int32_t COLOR_3DDKSHADOW = 21;
constexpr int32_t COLOR_3DLIGHT = 22;
constexpr int32_t COLOR_INFOTEXT = 23;
constexpr int32_t COLOR_INFOBK = 24;
constexpr int32_t COLOR_HOTLIGHT = 26;
constexpr int32_t COLOR_GRADIENTACTIVECAPTION = 27;
constexpr int32_t COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr int32_t COLOR_MENUHILIGHT = 29;
constexpr int32_t COLOR_MENUBAR = 30;

// Colour value (0x00BBGGRR) of system colour nIndex; 0 (black) for an index
// outside the table.
uint32_t GetSysColor(int32_t nIndex);

// Resolves a colour value: a negative value is replaced by the system colour
// named by its low byte, any other value is returned unchanged.
uint32_t ColorToRGB(int32_t Color);
