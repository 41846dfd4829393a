// Colour profiles built into the library: the files of core/profiles/ (their
// origins are in core/profiles/SOURCES), embedded when the library is built.
#include <cstddef>
#include <cstdint>

#define VX_ICC_STR2(x) #x
#define VX_ICC_STR(x) VX_ICC_STR2(x)

asm(".section .rodata\n"
    ".balign 16\n"
    ".globl VXICCAdobeRGB1998\n"
    ".globl VXICCAdobeRGB1998End\n"
    "VXICCAdobeRGB1998:\n"
    ".incbin \"" VX_ICC_STR(VX_PROFILES_DIR) "/AdobeRGB1998.icc\"\n"
    "VXICCAdobeRGB1998End:\n"
    ".balign 16\n"
    ".globl VXICCCMYKPressZ\n"
    ".globl VXICCCMYKPressZEnd\n"
    "VXICCCMYKPressZ:\n"
    ".incbin \"" VX_ICC_STR(VX_PROFILES_DIR) "/CMYKPress.icc.z\"\n"
    "VXICCCMYKPressZEnd:\n"
    ".previous\n");

extern "C" const uint8_t VXICCAdobeRGB1998End[];
extern "C" const uint8_t VXICCCMYKPressZEnd[];
extern const uint8_t VXICCAdobeRGB1998[];
extern const uint8_t VXICCCMYKPressZ[];

extern const size_t VXICCAdobeRGB1998Size;
extern const size_t VXICCCMYKPressZSize;
extern const size_t VXICCCMYKPressSize;

const size_t VXICCAdobeRGB1998Size = size_t(VXICCAdobeRGB1998End - VXICCAdobeRGB1998);
const size_t VXICCCMYKPressZSize = size_t(VXICCCMYKPressZEnd - VXICCCMYKPressZ);
// Length of the inflated CMYK profile.
const size_t VXICCCMYKPressSize = 120104;
