// Turning a decoded image upright by its EXIF orientation tag.

#include "core/orientation.h"

#include <memory>

#include "core/bitmap.h"
#include "core/rotate.h"

namespace {

// Quarter turn (positive: counter-clockwise) through the shear engine,
// without antialiasing and with a black background; the engine turns
// quarter turns exactly. The alpha channel is turned with it so that both
// keep the same size.
void TurnQuarter(TVXBitmap* Bitmap, double Angle) {
  std::unique_ptr<TVXBitmap> alpha;
  if (Bitmap->HasAlphaChannel()) {
    alpha = std::make_unique<TVXBitmap>(Bitmap->AlphaChannel());
    VXRotateShear8(alpha.get(), false, 0, nullptr, nullptr, Angle);
  }
  VXRotateShear24(Bitmap, false, nullptr, nullptr, TRGB{0, 0, 0}, Angle);
  if (alpha) (void)Bitmap->SetAlphaChannel(std::move(alpha));
}

}  // namespace

void VXApplyEXIFOrientation(TVXBitmap* Bitmap, int32_t Orientation) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  switch (Orientation) {
    case 2:
      VXFlipBitmap(Bitmap, fdHorizontal);
      break;
    case 3:
      VXFlipBitmap(Bitmap, fdVertical);
      VXFlipBitmap(Bitmap, fdHorizontal);
      break;
    case 4:
      VXFlipBitmap(Bitmap, fdVertical);
      break;
    case 5:  // transpose: a clockwise turn, then mirrored
      TurnQuarter(Bitmap, -90);
      VXFlipBitmap(Bitmap, fdHorizontal);
      break;
    case 6:
      TurnQuarter(Bitmap, -90);
      break;
    case 7:  // transverse
      TurnQuarter(Bitmap, 90);
      VXFlipBitmap(Bitmap, fdHorizontal);
      break;
    case 8:
      TurnQuarter(Bitmap, 90);
      break;
    default:
      break;
  }
}
