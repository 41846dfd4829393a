#pragma once
// Contours of selection masks as 8-direction chain codes, and the separation
// of the objects of an image by their outlines.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/pixels.h"
#include "platform/win_geometry.h"

class TVXBitmap;
class TVXMask;

// A chain code: the characters '0' .. '7' of the moves (1, 0), (1, -1),
// (0, -1), (-1, -1), (-1, 0), (-1, 1), (0, 1), (1, 1) (y downward) traced on
// a grid SCALE times the mask's size. code holds length bytes, alength of
// them used and a zero byte after them; it starts at 512 bytes and doubles.
class TVXChainCode {
 public:
  explicit TVXChainCode(int32_t aSCALE);
  void add(char c);
  // The moves of whole mask pixels: a run of SCALE equal moves is one move,
  // SCALE - 1 equal moves (along the inside of a pixel's edge) count for
  // nothing, any other move stays.
  std::unique_ptr<TVXChainCode> postProcess() const;

  int32_t SCALE;
  std::vector<char> code;
  int32_t alength = 0;
  int32_t length = 0;
};

// The point of a polygon list that precedes every polygon and ends the list.
constexpr int32_t VXPolygonSeparator = 2147483647;

// Traces the set pixels of Mask within X1..X2, Y1..Y2 (inclusive, cut to the
// mask) on a grid Scale times larger (below 1: 1). Every closed outline
// (outer edges and holes) is a separator point (X = Y = VXPolygonSeparator)
// followed by its vertices, which run through the centres of its boundary
// pixels; one more separator ends the list. An empty part gives the final
// separator alone.
std::vector<TPoint> VXMaskToPolygons(TVXMask* Mask, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Scale);

// The bounding rectangles (inclusive corners) of the objects of Bitmap: the
// areas that differ from the background, which is set pixels for vx1g; for
// vx24RGB with UseColorRange the colours whose channels all lie between
// BackgroundColorBegin's and BackgroundColorEnd's, without it the pixels at
// least as light as the image's mean colour (grey by the settings'
// coefficients); for other formats grey 200 and above. Quality is the scale
// of the tracing. With MergeCommonAreas rectangles that meet are merged;
// without it, one that holds another takes it in.
std::vector<TRect> VXDoSeparateObjects(TVXBitmap* Bitmap, bool MergeCommonAreas, int32_t Quality, bool UseColorRange,
                                       TRGB BackgroundColorBegin, TRGB BackgroundColorEnd);
