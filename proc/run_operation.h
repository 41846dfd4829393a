#pragma once
// The operation frame as one call, for the implementation files of the
// processing component.

#include "core/bitmap.h"
#include "proc/proc.h"

// A progress record reporting to the component's OnProgress, the component
// as sender.
inline TProgressRec ProgressOf(TVexlaneProc* proc) {
  TProgressRec p;
  p.fOnProgress = proc->OnProgress;
  p.Sender = proc;
  return p;
}

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

