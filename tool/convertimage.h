// The per-image worker of the program: one source PNG, one density bucket (or copy).
#pragma once
#include <cstdint>
#include <string>

// Mode 0 = copy into OutDir itself; 1..6 = drawable-ldpi .. drawable-xxxhdpi.
// Prints one progress line and its messages; true on success or skip.
bool ConvertImage(const std::string& Source, const std::string& OutDir, uint8_t Mode, int32_t Dip, bool Copy,
                  bool EightBit, bool NewerOnly, bool LongSide, const std::string& QuantPath);

// Folder name and target size of a bucket (an empty name and size 0 for mode 0 and
// modes above 6).
struct TDensityTarget {
  std::string Folder;
  int32_t Size = 0;
};
TDensityTarget DensityTarget(uint8_t Mode, int32_t Dip);
