// Nine-patch borders through palette reduction: the quantiser treats the one-pixel
// border like any other pixels, which turns markers into near-black or partly
// transparent colours that the Android tools refuse. The border is read before
// the quantiser runs and put back exactly afterwards, with palette entries made
// for it where the quantiser left none.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct TNinePatchBorder {
  int32_t Width = 0, Height = 0;
  // RGBA of the border pixels, row 0 first, then the left and right pixels of the
  // rows between, then the last row (the order of ForEachBorderPixel).
  std::vector<uint32_t> Pixels;
};

// Reads the border of the PNG file File. False when the file cannot be read.
bool ReadNinePatchBorder(const std::string& File, TNinePatchBorder& Border);

// Writes Border back into the palette PNG file File, which must have Border's
// size. Missing colours get palette entries: unused ones first, then, in a full
// palette, entries freed by merging the two closest colours of the inner image.
// A file that is not a palette image is left as it is. False when the file
// cannot be read or written.
bool RestoreNinePatchBorder(const std::string& File, const TNinePatchBorder& Border);
