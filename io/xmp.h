// XMP packet in a JPEG APP1 payload: the namespace identifier (28
// characters and a NUL) followed by the packet.
#pragma once

#include <cstdint>
#include <vector>

class TIOParamsVals;

// The namespace identifier of XMP in JPEG files (without its NUL).
extern const char VXXMPNamespaceID[29];

// The first packet byte of an XMP payload, or nullptr: the payload must hold
// at least 30 bytes, begin with the first 24 characters of the identifier
// and hold a NUL behind which the packet begins.
const uint8_t* VXFindXMPPacket(const void* data, int64_t length);
// Stores the packet of an XMP payload as XMP_Info of params; false (params
// untouched) when the payload is not one.
bool VXLoadXMPFromMarker(const void* data, int64_t length, TIOParamsVals& params);
// The APP1 payload for the XMP_Info of params: identifier, NUL, packet.
std::vector<uint8_t> VXSaveXMPToMarker(const TIOParamsVals& params);

// Largest packet that fits one APP1 segment (65,533 payload bytes less 29).
constexpr int64_t VXMaxXMPPacketInMarker = 65504;

// Reading side of the JPEG reader: the first APP1 marker of the parameters'
// marker list that holds an XMP packet becomes XMP_Info; false when none does.
bool VXReadXMPFromMarkers(TIOParamsVals& params);
// Writing side of the JPEG save wrapper: deletes the first XMP APP1 marker
// of the parameters' marker list and, when XMP_Info is not empty, appends
// one for it. A packet too long for one segment is left out (false).
bool VXWriteXMPToMarkers(TIOParamsVals& params);
