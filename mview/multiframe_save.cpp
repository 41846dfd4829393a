// Which file types the library saves with several frames in one file.
#include "mview/multiframe_save.h"

bool VXIsMultiFrameSaveFileType(int32_t FileType) {
  switch (FileType) {
    case 1:
    case 2:
    case 6:
    case 15:
    case 17:
    case 18:
    case 19:
    case 28:
      return true;
    default:
      return false;
  }
}
