// TVexlaneProc: the Fourier image of the attached bitmap and back.

#include <algorithm>
#include <cstdint>
#include <memory>

#include "core/bitmap.h"
#include "core/limits.h"
#include "proc/ftimage.h"
#include "proc/proc.h"
#include "resample/resample.h"

std::unique_ptr<TVXFtImage> TVexlaneProc::FTCreateImage(TVXFtImageType ImageType, int32_t NewWidth,
                                                        int32_t NewHeight) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB})) return nullptr;
  TVXBitmap* image = AttachedVXBitmap();
  auto ft = std::make_unique<TVXFtImage>();
  ft->OnProgress = OnProgress;
  try {
    if (NewWidth < 0 && NewHeight < 0) {
      ft->BuildFT(image, ImageType);
    } else {
      const int64_t W = std::max(image->Width(), 1), H = std::max(image->Height(), 1);
      if (NewWidth < 0) NewWidth = int32_t(std::min<int64_t>(int64_t(NewHeight) * W / H, INT32_MAX));
      else if (NewHeight < 0) NewHeight = int32_t(std::min<int64_t>(int64_t(NewWidth) * H / W, INT32_MAX));
      NewWidth = std::max(NewWidth, 1);
      NewHeight = std::max(NewHeight, 1);
      VXCheckImageSize(NewWidth, NewHeight, 24);
      TVXBitmap scaled(NewWidth, NewHeight, image->PixelFormat());
      if (scaled.IsEmpty()) return nullptr;
      VXStretchNearest(image, &scaled);
      ft->BuildFT(&scaled, ImageType);
    }
  } catch (const EVXException&) {
    return nullptr;
  }
  DoFinishWork();
  return ft;
}

void TVexlaneProc::FTReplaceImage(TVXFtImage* ft, void (TVXFtImage::*Make)(TVXBitmap*)) {
  if (!ft || !CheckFormat(TVXPixelFormatSet{})) return;
  TVXBitmap picture;
  try {
    (ft->*Make)(&picture);
  } catch (const EVXException&) {
    return;
  }
  if (picture.IsEmpty()) return;
  AttachedVXBitmap()->Assign(&picture);
  Update();
  DoFinishWork();
}

void TVexlaneProc::FTDisplayFrom(TVXFtImage* ft) { FTReplaceImage(ft, &TVXFtImage::GetFTImage); }

void TVexlaneProc::FTConvertFrom(TVXFtImage* ft) { FTReplaceImage(ft, &TVXFtImage::BuildBitmap); }
