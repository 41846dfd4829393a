// TVexlaneProc: morphology.

#include <cstdint>

#include "core/bitmap.h"
#include "proc/caption.h"
#include "proc/morph.h"
#include "proc/proc.h"
#include "proc/run_operation.h"

using vxproc::FormatCaption;

void TVexlaneProc::Maximum(int32_t WindowSize) {
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, FormatCaption("Maximum %d", int(WindowSize)),
               [&](TVXBitmap* work, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoMorphFilter(work, WindowSize, VXMorphMaximum, this, OnProgress, x1, y1, x2, y2);
               });
}

void TVexlaneProc::Minimum(int32_t WindowSize) {
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, FormatCaption("Minimum %d", int(WindowSize)),
               [&](TVXBitmap* work, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoMorphFilter(work, WindowSize, VXMorphMinimum, this, OnProgress, x1, y1, x2, y2);
               });
}

void TVexlaneProc::Opening(int32_t WindowSize) {
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, FormatCaption("Opening %d", int(WindowSize)),
               [&](TVXBitmap* work, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoMorphFilter(work, WindowSize, VXMorphOpening, this, OnProgress, x1, y1, x2, y2);
               });
}

void TVexlaneProc::Closing(int32_t WindowSize) {
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, FormatCaption("Closing %d", int(WindowSize)),
               [&](TVXBitmap* work, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoMorphFilter(work, WindowSize, VXMorphClosing, this, OnProgress, x1, y1, x2, y2);
               });
}
