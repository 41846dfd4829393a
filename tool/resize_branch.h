// The resize path of ConvertImage: load Source, resample it (nine-patch images keep
// their marker border), report the sizes on the progress line and save Target.
#pragma once
#include <cstdint>
#include <string>

// Size: pixels of the measured side (short side, or long side with LongSide).
// On failure it ends the progress line, prints its message and returns false.
bool ResizeImageFile(const std::string& Source, const std::string& Target, int32_t Size, bool LongSide);
