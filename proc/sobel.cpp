// Sobel edges of the grey levels.

#include "proc/sobel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "proc/grey_plane.h"

void VXDoSobel(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const std::vector<uint8_t> grey = vxproc::GreyPlane(Bitmap);
  const bool rgb = Bitmap->Location() == vxTBitmap;
  if (!Bitmap->Allocate(W, H, rgb ? vx24RGB : vx8g)) return;
  Bitmap->Fill(0);
  auto G = [&](int32_t x, int32_t y) { return int32_t(grey[size_t(y) * size_t(W) + size_t(x)]); };
  for (int32_t y = 1; y < H - 1; ++y) {
    uint8_t* out = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    for (int32_t x = 1; x < W - 1; ++x) {
      const int32_t gx = G(x + 1, y - 1) + 2 * G(x + 1, y) + G(x + 1, y + 1) - G(x - 1, y - 1) - 2 * G(x - 1, y) -
                         G(x - 1, y + 1);
      const int32_t gy = G(x - 1, y + 1) + 2 * G(x, y + 1) + G(x + 1, y + 1) - G(x - 1, y - 1) - 2 * G(x, y - 1) -
                         G(x + 1, y - 1);
      const double m = std::trunc(std::sqrt(double(gx) * gx + double(gy) * gy) / 4);
      const uint8_t v = uint8_t(std::min(m, 255.0));
      if (rgb)
        out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = v;
      else
        out[x] = v;
    }
    if (OnProgress) OnProgress(Sender, int32_t(double(y) / H * 100));
  }
}
