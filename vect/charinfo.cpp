#include "vect/charinfo.h"

#include <algorithm>
#include <cstring>

#include "core/byteorder.h"
#include "core/textutils.h"

void VXCharInfoToBytes(const TVXCharInfo& Info, uint8_t* Bytes) {
  std::memset(Bytes, 0, VXCharInfoSize);
  VXPutLE32(Bytes, uint32_t(Info.refcount));
  const std::string ansi = VXUTF8ToAnsi(Info.name);
  const size_t n = std::min<size_t>(ansi.size(), 255);
  Bytes[4] = uint8_t(n);
  std::memcpy(Bytes + 5, ansi.data(), n);
  VXPutLE32(Bytes + 260, uint32_t(Info.height));
  Bytes[264] = uint8_t(Info.style & 0x0F);
  VXPutLE32(Bytes + 268, uint32_t(Info.color));
  VXPutLE32(Bytes + 272, uint32_t(Info.brushColor));
  Bytes[276] = Info.brushStyle;
  Bytes[277] = uint8_t(Info.align);
}

TVXCharInfo VXCharInfoFromBytes(const uint8_t* Bytes) {
  TVXCharInfo r;
  r.refcount = int32_t(VXGetLE32(Bytes));
  r.name = VXAnsiToUTF8(std::string(reinterpret_cast<const char*>(Bytes + 5), Bytes[4]));
  r.height = int32_t(VXGetLE32(Bytes + 260));
  r.style = TFontStyles(Bytes[264] & 0x0F);
  r.color = TColor(VXGetLE32(Bytes + 268));
  r.brushColor = TColor(VXGetLE32(Bytes + 272));
  r.brushStyle = Bytes[276];
  r.align = TVXAlignment(Bytes[277]);
  return r;
}
