// The program's own cursors: pictures drawn for the viewers (32 by 32, hot
// spot in the centre), kept as text in gui/cursors/ and turned into cursor
// resources by the build. The start-up registers them as RT_GROUP_CURSOR
// resources by name ("CROCE3", "MANO", ...) over RT_CURSOR resources, so
// that LoadCursorW(instance, name) gives them.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "winui/win_types.h"

// The program's module instance, for loading its resources
// (LoadCursorW(HInstance, "CROCE3")).
extern const HINSTANCE HInstance;

struct TVXCursorPicture {
  const char* Name;
  int Id;  // number of the RT_CURSOR resource
  const unsigned char* Cursor;
  size_t CursorSize;
  const unsigned char* Group;
  size_t GroupSize;
};
extern const TVXCursorPicture VXCursorPictures[];
extern const size_t VXCursorPictureCount;

// Registers every cursor picture (done at start-up; again is harmless).
void VXRegisterCursorResources();
// The names of the cursor resources.
std::vector<std::string> VXCursorResourceNames();
