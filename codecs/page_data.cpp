// Image data shared by the PostScript and PDF writers.
#include "codecs/page_data.h"

#include <cstring>

#include "codecs/ccitt.h"
#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "io/params.h"

TVXBitmap* VXPageSource(TVXBitmap* Bitmap, std::unique_ptr<TVXBitmap>& Copy) {
  const TVXPixelFormat pf = Bitmap->PixelFormat();
  if (pf == vx1g || pf == vx24RGB) return Bitmap;
  Copy = std::make_unique<TVXBitmap>();
  Copy->Assign(Bitmap);
  Copy->SetPixelFormat(vx24RGB);
  return Copy.get();
}

TVXPageProgress::TVXPageProgress(TProgressRec& Progress, int32_t Height)
    : fProgress(Progress), fPer1(Height > 0 ? 100.0 / Height : 0) {}

void TVXPageProgress::Row(int32_t DoneRows) { VXReportProgress(fProgress, int32_t(DoneRows * fPer1), fLast); }

std::vector<uint8_t> VXPage1BitRows(TVXBitmap* Src, TVXPageProgress& Progress) {
  const size_t rowBytes = (size_t(Src->Width()) + 7) / 8;
  const int32_t H = Src->Height();
  std::vector<uint8_t> rows(rowBytes * size_t(H));
  for (int32_t y = 0; y < H; ++y) {
    std::memcpy(rows.data() + rowBytes * size_t(y), Src->GetScanLine(y), rowBytes);
    Progress.Row(y + 1);
    if (Progress.Aborting()) break;
  }
  return rows;
}

void VXPageFaxData(TVXBitmap* Src, bool G4, TStream* Out, TVXPageProgress& Progress, bool& Aborting) {
  const int32_t W = Src->Width(), H = Src->Height();
  uint8_t* refRow = nullptr;
  int32_t pendingBits = 0;
  uint8_t pendingByte = 0;
  const auto encode = [&](const uint8_t* row, int32_t width) {
    if (G4)
      VXEncodeG4FaxRow(row, width, Out, 1, Aborting, refRow, pendingBits, pendingByte);
    else
      VXEncodeG3Fax2DRow(row, width, Out, 1, Aborting, refRow, pendingBits, pendingByte);
  };
  try {
    for (int32_t y = 0; y < H; ++y) {
      encode(static_cast<const uint8_t*>(Src->GetScanLine(y)), W);
      Progress.Row(y + 1);
      if (Aborting) break;
    }
    encode(nullptr, W);
  } catch (...) {
    delete[] refRow;
    throw;
  }
}

void VXPageJpegData(TVXBitmap* Src, TIOParamsVals& IOParams, TStream* Out, TProgressRec& Progress) {
  const TIOJPEGColorspace kept = IOParams.JPEG_ColorSpace();
  if (kept == ioJPEG_CMYK || kept == ioJPEG_YCbCrK) IOParams.SetJPEG_ColorSpace(ioJPEG_YCbCr);
  try {
    VXWriteJpegStream(Out, Src, IOParams, Progress);
  } catch (...) {
    IOParams.SetJPEG_ColorSpace(kept);
    throw;
  }
  IOParams.SetJPEG_ColorSpace(kept);
}
