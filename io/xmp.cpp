// XMP packet in JPEG APP1 segments.
#include "io/xmp.h"

#include <cstring>

#include "core/settings.h"
#include "io/markers.h"
#include "io/params.h"

const char VXXMPNamespaceID[29] = "http://ns.adobe.com/xap/1.0/";

const uint8_t* VXFindXMPPacket(const void* data, int64_t length) {
  if (!data || length < 30) return nullptr;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (std::memcmp(p, VXXMPNamespaceID, 24) != 0) return nullptr;
  const void* nul = std::memchr(p, 0, size_t(length));
  if (!nul) return nullptr;
  const uint8_t* packet = static_cast<const uint8_t*>(nul) + 1;
  return packet;
}

bool VXLoadXMPFromMarker(const void* data, int64_t length, TIOParamsVals& params) {
  const uint8_t* packet = VXFindXMPPacket(data, length);
  if (!packet) return false;
  int64_t offset = packet - static_cast<const uint8_t*>(data);
  // A packet beyond the text kept per image is dropped whole.
  if (length - offset > VXGetGlobalSettings()->MaxTextSize()) return false;
  params.SetXMP_Info(std::string(reinterpret_cast<const char*>(packet), size_t(length - offset)));
  return true;
}

std::vector<uint8_t> VXSaveXMPToMarker(const TIOParamsVals& params) {
  const std::string& xmp = params.XMP_Info();
  std::vector<uint8_t> out(29 + xmp.size());
  std::memcpy(out.data(), VXXMPNamespaceID, 29);  // identifier and its NUL
  if (!xmp.empty()) std::memcpy(out.data() + 29, xmp.data(), xmp.size());
  return out;
}

bool VXReadXMPFromMarkers(TIOParamsVals& params) {
  TVXMarkerList& markers = params.JPEG_MarkerList();
  for (int32_t i = 0; i < markers.Count(); ++i) {
    if (markers.GetMarkerType(i) != 0xE1) continue;
    if (VXLoadXMPFromMarker(markers.GetMarkerData(i), markers.MarkerSize(i), params)) return true;
  }
  return false;
}

bool VXWriteXMPToMarkers(TIOParamsVals& params) {
  TVXMarkerList& markers = params.JPEG_MarkerList();
  for (int32_t i = 0; i < markers.Count(); ++i) {
    if (markers.GetMarkerType(i) != 0xE1) continue;
    if (VXFindXMPPacket(markers.GetMarkerData(i), markers.MarkerSize(i))) {
      markers.DeleteMarker(i);
      break;
    }
  }
  const std::string& xmp = params.XMP_Info();
  if (xmp.empty()) return true;
  if (int64_t(xmp.size()) > VXMaxXMPPacketInMarker) return false;
  std::vector<uint8_t> payload = VXSaveXMPToMarker(params);
  markers.AddMarker(0xE1, payload.data(), uint16_t(payload.size()));
  return true;
}
