// Helpers of the selection mask tests: the bounding box as one value and the
// selected pixels as rows of '#' and '.'.
#pragma once

#include <string>
#include <vector>

#include "core/mask.h"

namespace maskpic {

struct Box {
  int32_t x1, y1, x2, y2;
  bool operator==(const Box&) const = default;
};

inline Box BoxOf(const TVXMask& m) { return Box{m.X1(), m.Y1(), m.X2(), m.Y2()}; }

// The selected pixels as rows of '#' and '.'.
inline std::vector<std::string> Picture(const TVXMask& m) {
  std::vector<std::string> rows;
  for (int32_t y = 0; y < m.Height(); ++y) {
    std::string row;
    for (int32_t x = 0; x < m.Width(); ++x) row += m.GetPixel(x, y) ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

}  // namespace maskpic
