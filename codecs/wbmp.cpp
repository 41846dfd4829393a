// WBMP reading and writing.
#include "codecs/wbmp.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"

int32_t VXReadWBMPMultiByteInt(TStream* Stream) {
  int32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    uint8_t b;
    if (Stream->Read(&b, 1) != 1) return -1;
    value = (value << 7) | (b & 0x7F);
    if ((b & 0x80) == 0) return value;
  }
  return -1;
}

void VXReadWBMPStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                      bool Preview) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  TVXBufferedReadStream in(Stream, 65536, false);
  const int32_t type = VXReadWBMPMultiByteInt(&in);
  const int32_t fixed = VXReadWBMPMultiByteInt(&in);
  const int32_t W = VXReadWBMPMultiByteInt(&in);
  const int32_t H = VXReadWBMPMultiByteInt(&in);
  if (type != 0 || fixed != 0 || W <= 0 || H <= 0) {
    aborting = true;
    return;
  }
  TIOParamsVals& P = IOParams;
  P.SetBitsPerSample(1);
  P.SetSamplesPerPixel(1);
  P.SetWidth(W);
  P.SetHeight(H);
  P.SetOriginalWidth(W);
  P.SetOriginalHeight(H);
  const TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  P.SetDpiX(settings->DefaultDPIX());
  P.SetDpiY(settings->DefaultDPIY());
  P.FreeColorMap();
  if (Preview) return;
  if (!Bitmap || !VXDeclaredDataPlausible(in.Size() - in.Position(), (int64_t(W) + 7) / 8 * H, 1) ||
      !VXImageSizeAllowed(W, H, 1) || !Bitmap->Allocate(W, H, vx1g)) {
    aborting = true;
    return;
  }
  const int64_t rowBytes = (int64_t(W) + 7) / 8;
  const double per1 = 100.0 / H;
  int32_t lastPercent = -1;
  for (int32_t y = 0; y < H; ++y) {
    if (in.Read(Bitmap->GetScanLine(y), rowBytes) < rowBytes) break;
    VXReportProgress(Progress, int32_t((y + 1) * per1), lastPercent);
    if (aborting) break;
  }
}

namespace {

void PutMultiByteInt(std::vector<uint8_t>& Out, uint32_t Value) {
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = uint8_t(Value & 0x7F);
    Value >>= 7;
  } while (Value != 0);
  while (n > 1) Out.push_back(uint8_t(groups[--n] | 0x80));
  Out.push_back(groups[0]);
}

}  // namespace

void VXWriteWBMPStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& /*IOParams*/, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
    aborting = true;
    return;
  }
  TVXBitmap copy;
  copy.Assign(Bitmap);
  if (copy.PixelFormat() != vx1g) copy.SetPixelFormat(vx1g);
  // Sizes are multi-byte integers, so the whole image is written whatever its size.
  const int32_t W = copy.Width(), H = copy.Height();
  std::vector<uint8_t> out;
  PutMultiByteInt(out, 0);
  PutMultiByteInt(out, 0);
  PutMultiByteInt(out, uint32_t(W));
  PutMultiByteInt(out, uint32_t(H));
  const size_t rowBytes = (size_t(W) + 7) / 8;
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(copy.GetScanLine(y));
    const size_t at = out.size();
    out.insert(out.end(), row, row + rowBytes);
    if (W & 7) out[at + rowBytes - 1] &= uint8_t(0xFF00 >> (W & 7));
  }
  if (Stream->Write(out.data(), int64_t(out.size())) != int64_t(out.size())) aborting = true;
  if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, 100);
}
