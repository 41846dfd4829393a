#pragma once
// The operation frame as one call, for the implementation files of the
// processing component.

#include "core/bitmap.h"
#include "proc/proc.h"

// Runs Work(work bitmap, x1, y1, x2, y2) through the operation frame.
template <typename Work>
bool TVexlaneProc::RunOperation(TVXPixelFormatSet Formats, const std::string& Caption, Work work) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* bitmap = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(Formats, x1, y1, x2, y2, Caption, bitmap, mask)) return false;
  work(bitmap, x1, y1, x2, y2);
  EndImageProcessing(bitmap, mask);
  DoFinishWork();
  return true;
}

