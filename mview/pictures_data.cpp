// The thumbnail viewer's built-in pictures (resources/, drawn by
// resources/make_pictures.py), embedded when the library is built.
#include "mview/pictures_data.h"

#define VX_MVIEW_STR2(x) #x
#define VX_MVIEW_STR(x) VX_MVIEW_STR2(x)
#define VX_MVIEW_PICTURE(name, file)        \
  ".balign 16\n"                            \
  ".globl " #name "\n"                      \
  ".globl " #name "End\n" #name ":\n"       \
  ".incbin \"" VX_MVIEW_STR(VX_MVIEW_RESOURCES_DIR) "/" file "\"\n" #name "End:\n"

asm(".section .rodata\n"                                       //
    VX_MVIEW_PICTURE(VXMViewFrame0, "frame0.png")              //
    VX_MVIEW_PICTURE(VXMViewFrame1, "frame1.png")              //
    VX_MVIEW_PICTURE(VXMViewFrame2, "frame2.png")              //
    VX_MVIEW_PICTURE(VXMViewFrame3, "frame3.png")              //
    VX_MVIEW_PICTURE(VXMViewFileIcon, "file.png")              //
    VX_MVIEW_PICTURE(VXMViewMissingIcon, "missing.png")        //
    ".previous\n");

extern "C" {
extern const uint8_t VXMViewFrame0[], VXMViewFrame0End[];
extern const uint8_t VXMViewFrame1[], VXMViewFrame1End[];
extern const uint8_t VXMViewFrame2[], VXMViewFrame2End[];
extern const uint8_t VXMViewFrame3[], VXMViewFrame3End[];
extern const uint8_t VXMViewFileIcon[], VXMViewFileIconEnd[];
extern const uint8_t VXMViewMissingIcon[], VXMViewMissingIconEnd[];
}

TVXMViewPicture VXMViewPicture(TVXMViewPictureId Id) {
  switch (Id) {
    case vxmpFrame0:
      return {VXMViewFrame0, int32_t(VXMViewFrame0End - VXMViewFrame0)};
    case vxmpFrame1:
      return {VXMViewFrame1, int32_t(VXMViewFrame1End - VXMViewFrame1)};
    case vxmpFrame2:
      return {VXMViewFrame2, int32_t(VXMViewFrame2End - VXMViewFrame2)};
    case vxmpFrame3:
      return {VXMViewFrame3, int32_t(VXMViewFrame3End - VXMViewFrame3)};
    case vxmpDefaultFileIcon:
      return {VXMViewFileIcon, int32_t(VXMViewFileIconEnd - VXMViewFileIcon)};
    case vxmpMissingFileIcon:
      return {VXMViewMissingIcon, int32_t(VXMViewMissingIconEnd - VXMViewMissingIcon)};
  }
  return {nullptr, 0};
}
