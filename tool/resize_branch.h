// The resize path of ConvertImage: load Source, resample it (nine-patch images keep
// their marker border), report the sizes on the progress line and save it to
// Target, a file of this call's own that is written in place.
#pragma once
#include <cstdint>
#include <string>

// Size: pixels of the measured side (short side, or long side with LongSide).
// On failure it ends the progress line, prints its message and returns false.
bool ResizeImageFile(const std::string& Source, const std::string& Target, int32_t Size, bool LongSide);

// Frees the decoded source this thread keeps for the next bucket of the same file.
void ForgetDecodedSource();
