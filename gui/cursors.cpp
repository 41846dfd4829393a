// Registration of the program's cursor resources.
#include "gui/cursors.h"

#include "platform/win_resource.h"
#include "winui/win_input.h"

namespace {
const char kProgram = 0;
}
const HINSTANCE HInstance = const_cast<char*>(&kProgram);

void VXRegisterCursorResources() {
  for (size_t i = 0; i < VXCursorPictureCount; ++i) {
    const TVXCursorPicture& p = VXCursorPictures[i];
    RegisterResource(RT_CURSOR, "#" + std::to_string(p.Id), p.Cursor, p.CursorSize);
    RegisterResource(RT_GROUP_CURSOR, p.Name, p.Group, p.GroupSize);
  }
}

std::vector<std::string> VXCursorResourceNames() {
  std::vector<std::string> names;
  for (size_t i = 0; i < VXCursorPictureCount; ++i) names.push_back(VXCursorPictures[i].Name);
  return names;
}
