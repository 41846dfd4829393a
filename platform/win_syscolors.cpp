#include "platform/win_syscolors.h"

namespace {

constexpr uint32_t RGBValue(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

// The default colours of the window system's standard theme.
constexpr uint32_t kSysColors[] = {
    RGBValue(200, 200, 200),  // COLOR_SCROLLBAR
    RGBValue(0, 0, 0),        // COLOR_BACKGROUND
    RGBValue(153, 180, 209),  // COLOR_ACTIVECAPTION
    RGBValue(191, 205, 219),  // COLOR_INACTIVECAPTION
    RGBValue(240, 240, 240),  // COLOR_MENU
    RGBValue(255, 255, 255),  // COLOR_WINDOW
    RGBValue(100, 100, 100),  // COLOR_WINDOWFRAME
    RGBValue(0, 0, 0),        // COLOR_MENUTEXT
    RGBValue(0, 0, 0),        // COLOR_WINDOWTEXT
    RGBValue(0, 0, 0),        // COLOR_CAPTIONTEXT
    RGBValue(180, 180, 180),  // COLOR_ACTIVEBORDER
    RGBValue(244, 247, 252),  // COLOR_INACTIVEBORDER
    RGBValue(171, 171, 171),  // COLOR_APPWORKSPACE
    RGBValue(0, 120, 215),    // COLOR_HIGHLIGHT
    RGBValue(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGBValue(240, 240, 240),  // COLOR_BTNFACE
    RGBValue(160, 160, 160),  // COLOR_BTNSHADOW
    RGBValue(109, 109, 109),  // COLOR_GRAYTEXT
    RGBValue(0, 0, 0),        // COLOR_BTNTEXT
    RGBValue(0, 0, 0),        // COLOR_INACTIVECAPTIONTEXT
    RGBValue(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGBValue(105, 105, 105),  // COLOR_3DDKSHADOW
    RGBValue(227, 227, 227),  // COLOR_3DLIGHT
    RGBValue(0, 0, 0),        // COLOR_INFOTEXT
    RGBValue(255, 255, 225),  // COLOR_INFOBK
    RGBValue(0, 0, 0),        // 25: not used
    RGBValue(0, 102, 204),    // COLOR_HOTLIGHT
    RGBValue(185, 209, 234),  // COLOR_GRADIENTACTIVECAPTION
    RGBValue(215, 228, 242),  // COLOR_GRADIENTINACTIVECAPTION
    RGBValue(0, 120, 215),    // COLOR_MENUHILIGHT
    RGBValue(240, 240, 240),  // COLOR_MENUBAR
};

constexpr int32_t kSysColorCount = int32_t(sizeof(kSysColors) / sizeof(kSysColors[0]));

}  // namespace

uint32_t GetSysColor(int32_t nIndex) {
  if (nIndex < 0 || nIndex >= kSysColorCount) return 0;
  return kSysColors[nIndex];
}

uint32_t ColorToRGB(int32_t Color) {
  if (Color < 0) return GetSysColor(Color & 0xFF);
  return uint32_t(Color);
}
