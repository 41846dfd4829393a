// Raw pixel data reader: the first four bytes choose the bitmap (width,
// height, pixel format) and the layout (planes, order, format, alignment);
// the rest is the data.
#include <cstddef>
#include <cstdint>

#include "codecs/bmpraw.h"
#include "core/bitmap.h"
#include "core/streams.h"
#include "io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  static const TVXPixelFormat kFormats[] = {vx1g, vx8p, vx8g, vx16g, vx24RGB, vx32f, vxCMYK, vx48RGB};
  const int32_t w = 1 + data[0] % 64, h = 1 + data[1] % 64;
  const TVXPixelFormat pf = kFormats[data[2] % 8];
  TIOParamsVals params;
  params.SetBMPRAW_Planes(data[3] & 1 ? plPlanar : plInterleaved);
  params.SetBMPRAW_ChannelOrder(data[3] & 2 ? coBGR : coRGB);
  params.SetBMPRAW_DataFormat(TIOBMPRAWDataFormat((data[3] >> 2) % 3));
  params.SetBMPRAW_RowAlign(8 << ((data[3] >> 4) & 3));
  params.SetBMPRAW_HeaderSize((data[3] >> 6) * 3);
  TVXBitmap bmp;
  if (!bmp.Allocate(w, h, pf)) return 0;
  TVXMemStream in(data + 4, int64_t(size - 4));
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  try {
    VXReadBMPRAWStream(&in, &bmp, params, progress);
  } catch (const EVXException&) {
    // Hexadecimal floats are refused.
  }
  TMemoryStream out;
  VXWriteBMPRAWStream(&out, &bmp, params, progress);
  return 0;
}
