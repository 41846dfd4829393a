// TVexlaneProc: edge map, skew, orientation and density profiles.

#include <cstdint>

#include "core/bitmap.h"
#include "proc/docanalysis.h"
#include "proc/proc.h"

void TVexlaneProc::EdgeDetect_ShenCastan(double Ratio, double Smooth, int32_t WindowSize, int32_t ThinFactor,
                                         bool DoHysteresis) {
  if (!BeginWholeImage(TVXPixelFormatSet{vx24RGB}, "EdgeDetect")) return;
  TProgressRec progress;
  progress.fOnProgress = OnProgress;
  progress.Sender = this;
  TVXBitmap* bitmap = AttachedVXBitmap();
  VXShenCastan(bitmap, bitmap, WindowSize, progress, DoHysteresis, ThinFactor, Smooth, Ratio);
  EndWholeImage();
}
