// The preset thumbnail frames list.
#include "mview/presetimages.h"

#include <memory>
#include <vector>

#include "mview/pictures_data.h"

namespace {

std::unique_ptr<std::vector<TVXPresetImage>> gPresetImages;

void AddPreset(TVXMViewPictureId Id, const TRect& Rect) {
  const TVXMViewPicture p = VXMViewPicture(Id);
  TVXPresetImage e;
  e.Size = p.Size;
  e.Data = p.Data;
  e.FileFormat = 8;
  e.ThumbRect = Rect;
  gPresetImages->push_back(e);
}

}  // namespace

void VXInitializePresetImages() {
  gPresetImages = std::make_unique<std::vector<TVXPresetImage>>();
  AddPreset(vxmpFrame0, TRect{18, 29, 140, 119});
  AddPreset(vxmpFrame1, TRect{13, 1, 95, 98});
  AddPreset(vxmpFrame2, TRect{30, 14, 147, 92});
  AddPreset(vxmpFrame3, TRect{17, 17, 131, 131});
}

void VXFinalizePresetImages() { gPresetImages.reset(); }

int32_t VXPresetImageCount() { return gPresetImages ? int32_t(gPresetImages->size()) : 0; }

const TVXPresetImage* VXPresetImage(int32_t Index) {
  if (!gPresetImages || Index < 0 || Index >= int32_t(gPresetImages->size())) return nullptr;
  return &(*gPresetImages)[size_t(Index)];
}
