// A SANE scanner's page as its frames arrive: any parameters (three-pass
// colours in any order, lines -1, strides past the pixels, depths the page
// refuses) and read chunks of any size, assembled into a page. The page never
// holds more rows than arrived whole, nor more than a frame announced, and
// its pixels are exactly its rows.
//
// Input: records. 'F' format, last frame, bytes per line (16-bit), pixels
// per line (16-bit), lines (signed 16-bit), depth: a frame begins. 'D'
// length (16-bit) and bytes: a chunk read. 'E': the frame ends.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "acquire/sane_frames.h"

namespace {

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXSanePageAssembler page;
  std::string error;
  int32_t minLines = -1;
  size_t at = 0;
  while (at < size) {
    const uint8_t kind = data[at++];
    if (kind == 'F' && size - at >= 9) {
      TVXSaneFrameParams p;
      p.Format = data[at] % 6;
      p.LastFrame = data[at + 1] & 1;
      p.BytesPerLine = U16(data + at + 2);
      p.PixelsPerLine = U16(data + at + 4);
      p.Lines = int16_t(U16(data + at + 6));
      p.Depth = data[at + 8] % 20;
      at += 9;
      if (page.BeginFrame(p, error) && p.Lines >= 0) minLines = minLines < 0 ? p.Lines : std::min(minLines, p.Lines);
    } else if (kind == 'D' && size - at >= 2) {
      const size_t n = std::min<size_t>(U16(data + at), size - at - 2);
      page.Feed(data + at + 2, n);
      at += 2 + n;
    } else if (kind == 'E') {
      page.EndFrame();
    } else {
      break;
    }
  }
  TVXScanFrame f;
  if (page.Finish(f, error)) {
    Check(f.Width > 0 && f.Height >= 0);
    Check(f.Pixels.size() == f.RowBytes() * size_t(f.Height));
    Check(f.BitsPerPixel == 1 || f.BitsPerPixel == 8 || f.BitsPerPixel == 16 || f.BitsPerPixel == 24 ||
          f.BitsPerPixel == 48);
    Check(minLines < 0 || f.Height <= minLines);
    Check(f.Pixels.size() <= size);
  }
  return 0;
}
