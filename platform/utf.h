// UTF-8 and UTF-16 text, the one conversion every layer uses (file names,
// font names, version resources, the string helpers of the image core).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Appends the UTF-8 bytes of one code point (at most U+10FFFF).
void VXAppendUTF8(std::string& Out, uint32_t CodePoint);
// The code point at S[I], advancing I past it. A malformed or overlong
// sequence, an encoded surrogate or a value above U+10FFFF gives U+FFFD and
// consumes one byte. I must be below S.size().
uint32_t VXNextUTF8(const std::string& S, size_t& I);
// UTF-8 <-> UTF-16 (invalid sequences and unpaired surrogates become U+FFFD).
std::u16string VXUTF8ToUTF16(const std::string& S);
std::string VXUTF16ToUTF8(const std::u16string& S);
