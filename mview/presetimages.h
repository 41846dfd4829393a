// The preset thumbnail frames: four PNG pictures embedded in the library,
// each with the rectangle of the picture where the thumbnail goes (right and
// bottom exclusive). The list is built by the module start-up and freed by
// the shut-down; between the two it is read-only and shared by all viewers.
#pragma once
#include <cstdint>

#include "platform/win_geometry.h"

struct TVXPresetImage {
  int32_t Size = 0;              // bytes of Data
  const void* Data = nullptr;    // the embedded PNG (not owned)
  int32_t FileFormat = 8;        // PNG
  TRect ThumbRect{0, 0, 0, 0};
};

void VXInitializePresetImages();
void VXFinalizePresetImages();
// Entries in the list (0 before the start-up and after the shut-down).
int32_t VXPresetImageCount();
// Entry Index; nullptr outside 0 .. VXPresetImageCount() - 1.
const TVXPresetImage* VXPresetImage(int32_t Index);
