#pragma once
// Morphing warp by feature lines: the intermediate frames of one image whose
// lines move toward the corresponding lines of another image (field
// morphing with line pairs). The multi-image viewer's morphing sequence
// calls it once in each direction and blends the two frame lists.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class TVXBitmap;

// A directed segment from (x1, y1) to (x2, y2), in pixel coordinates.
struct TVXMorphLine {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// Appends FramesCount - 1 new vx24RGB frames of Bitmap's size to Frames
// (the caller owns them): frame f, f = 1 .. FramesCount - 1, is Bitmap
// warped so that each of its SourceLines lies where the line interpolated at
// t = f / FramesCount between it and its DestLines partner lies; sources
// outside the image repeat the border. The first LineCount pairs are used
// (at most as many as either array holds). A pair in which either line, or
// the interpolated line of a frame, has no length is skipped; a frame left
// without pairs is a copy of Bitmap. Nothing for FramesCount below 2 or a
// Bitmap that is not a non-empty vx24RGB image.
void VXMorphWarpFrames(TVXBitmap* Bitmap, std::span<const TVXMorphLine> SourceLines,
                       std::span<const TVXMorphLine> DestLines, std::vector<std::unique_ptr<TVXBitmap>>& Frames,
                       int32_t FramesCount, int32_t LineCount);
