// The thumbnail viewer's built-in PNG pictures: the four preset cell frames
// and the two substitute icons (180 x 240 with alpha: resource 1000, a
// generic file, and 1001, a missing file).
#pragma once
#include <cstdint>

enum TVXMViewPictureId {
  vxmpFrame0,
  vxmpFrame1,
  vxmpFrame2,
  vxmpFrame3,
  vxmpDefaultFileIcon,  // resource 1000
  vxmpMissingFileIcon   // resource 1001
};

struct TVXMViewPicture {
  const uint8_t* Data;
  int32_t Size;
};

TVXMViewPicture VXMViewPicture(TVXMViewPictureId Id);
