// TVXCharInfo: the format of one character of a memo (the rich-text
// control's per-character record). The same 280-byte layout is what the
// object stream stores for memo objects and what the text clipboard carries.
#pragma once
#include <cstdint>
#include <string>

#include "core/vxdefs.h"
#include "gui/graphics.h"

enum TVXAlignment : uint8_t { vxjLeft, vxjRight, vxjCenter, vxjJustify };

struct TVXCharInfo {
  int32_t refcount = 0;
  std::string name;  // UTF-8 in memory, Windows-1252 on disk (at most 255 bytes there)
  int32_t height = 0;
  TFontStyles style = 0;
  TColor color = 0;
  TColor brushColor = 0;
  uint8_t brushStyle = 0;  // TBrushStyle
  TVXAlignment align = vxjLeft;
  bool operator==(const TVXCharInfo&) const = default;
};
using PVXCharInfo = TVXCharInfo*;

constexpr int VXCharInfoSize = 280;

// The record as its 280 bytes: name length and characters from byte 4, the
// unused bytes zero. A name longer than 255 code-page characters is cut.
void VXCharInfoToBytes(const TVXCharInfo& Info, uint8_t* Bytes);
// The record from 280 bytes; a stored name length is taken as it is (it
// cannot pass the 255 bytes the field holds).
TVXCharInfo VXCharInfoFromBytes(const uint8_t* Bytes);
