// Image data shared by the PostScript and PDF writers: the rows they read,
// 1-bit rows as one block, CCITT fax coding of a whole page and the JPEG
// stream of a page.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// The bitmap a page is written from: Bitmap itself when it is vx1g or
// vx24RGB, else a vx24RGB copy held by Copy.
TVXBitmap* VXPageSource(TVXBitmap* Bitmap, std::unique_ptr<TVXBitmap>& Copy);

// Row progress of a page: Trunc(row * 100 / height) after each row.
class TVXPageProgress {
 public:
  TVXPageProgress(TProgressRec& Progress, int32_t Height);
  void Row(int32_t DoneRows);
  bool Aborting() const { return fProgress.Aborting != nullptr && *fProgress.Aborting; }

 private:
  TProgressRec& fProgress;
  double fPer1;
  int32_t fLast = -1;
};

// Every row of a vx1g bitmap, ceil(W / 8) bytes each, top to bottom.
std::vector<uint8_t> VXPage1BitRows(TVXBitmap* Src, TVXPageProgress& Progress);

// The rows of a vx1g bitmap coded with CCITT Group 4 (G4 true) or Group 3
// two-dimensional coding, fill order 1, the block ended, into Out. The
// library's white-is-1 rows go to the encoder as they are, so a decoder
// with BlackIs1 gives them back unchanged.
void VXPageFaxData(TVXBitmap* Src, bool G4, TStream* Out, TVXPageProgress& Progress, bool& Aborting);

// The bitmap written as a JPEG stream with the parameters' options; a CMYK
// or YCCK choice is written as YCbCr, since a page declares three or one
// components. The parameters are left as they were.
void VXPageJpegData(TVXBitmap* Src, TIOParamsVals& IOParams, TStream* Out, TProgressRec& Progress);
