#include <cstdint>
#include "core/streams.h"
int64_t VXFindJpegSOI(TStream* Stream, bool Scan) {
  const int64_t p0 = Stream->Position();
  int64_t found = -1;
  for (int k = 0; k < (Scan ? 150 : 1); ++k) {
    uint8_t b[3];
    Stream->SetPosition(p0 + k);
    if (Stream->Read(b, 3) == 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) { found = p0 + k; break; }
  }
  Stream->SetPosition(p0);
  if (!Scan) return found == p0 ? 0 : -1;
  return found;
}
