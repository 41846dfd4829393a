// TVexlaneProc: perspective drawing and 3D projection.

#include <algorithm>
#include <cstdint>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "proc/perspective.h"
#include "proc/proc.h"
#include "proc/run_operation.h"
#include "proc/saturate.h"

void TVexlaneProc::PerspectiveDraw(TVXBitmap* Source, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                                   int32_t y2, int32_t x3, int32_t y3, int32_t alphaMin, int32_t alphaMax,
                                   bool mergeAlpha) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "PerspectiveDraw", [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
    VXDrawToQuad(Source, w, x0, y0, x1, y1, x2, y2, x3, y3, alphaMin, alphaMax, mergeAlpha, 255);
  });
}

TVXQuadCoords TVexlaneProc::ProjectDraw(TVXBitmap* Source, int32_t centerDestX, int32_t centerDestY,
                                        int32_t destWidth, int32_t destHeight, double depth, int32_t translateX,
                                        int32_t translateY, double rotateX, double rotateY, int32_t specularAlphaMin,
                                        int32_t specularAlphaMax, bool mergeAlpha) {
  TVXQuadCoords quad;
  RunOperation(TVXPixelFormatSet{vx24RGB}, "ProjectDraw", [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
    int32_t width = 0, height = 0;
    if (Source) VXFitInBox(Source->Width(), Source->Height(), destWidth, destHeight, width, height);
    VXProjectDraw3D(Source, w, centerDestX, centerDestY, width, height, translateX, translateY, depth, rotateX,
                    rotateY, specularAlphaMin, specularAlphaMax, quad, 2, mergeAlpha, 255);
  });
  return quad;
}

TVXQuadCoords TVexlaneProc::ProjectDraw(TVXBitmap* Source, int32_t centerDestX, int32_t centerDestY, double scale,
                                        double depth, int32_t translateX, int32_t translateY, double rotateX,
                                        double rotateY, int32_t specularAlphaMin, int32_t specularAlphaMax,
                                        bool mergeAlpha) {
  TVXQuadCoords quad;
  RunOperation(TVXPixelFormatSet{vx24RGB}, "ProjectDraw", [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
    const auto size = [&](int32_t side) {
      return int32_t(std::clamp<int64_t>(vxproc::TruncSat(side * scale), INT32_MIN, INT32_MAX));
    };
    const int32_t width = Source ? size(Source->Width()) : 0, height = Source ? size(Source->Height()) : 0;
    VXProjectDraw3D(Source, w, centerDestX, centerDestY, width, height, translateX, translateY, depth, rotateX,
                    rotateY, specularAlphaMin, specularAlphaMax, quad, 2, mergeAlpha, 255);
  });
  return quad;
}
