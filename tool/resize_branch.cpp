#include "tool/resize_branch.h"

#include "platform/win_console.h"

// The image library's PNG reader is not linked into the program yet: every image
// counts as not loadable.
bool ResizeImageFile(const std::string& /*Source*/, const std::string& /*Target*/, int32_t /*Size*/,
                     bool /*LongSide*/) {
  ConsoleWriteLn();
  ConsoleWriteLn("Cannot load image file.");
  return false;
}
