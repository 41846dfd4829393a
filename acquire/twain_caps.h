// Capabilities: reading one TWAIN capability into a value or one of the
// library's value lists, writing one back, the FIX32 conversion, the fixed
// order in which the whole parameter set goes to a source, and the operation
// that fills the capability cache of TVXTwainParams. The exchange routines run
// inside an operation with the source open (state 4).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "acquire/twain_engine.h"

class TVXDoubleList;
class TVXIntegerList;
struct TVXDRect;
struct TVXTWSourceCaps;

// Whole and fraction of x (rounded half away from zero); a value that does
// not fit 32 bits after scaling gives 0, 0.
TW_FIX32 FloatToFIX32(double x);
double FIX32ToFloat(const TW_FIX32& f);

// Readers of one container (ConType and Size bytes at Data), as the
// capability readers below use them on a source's answer. Nothing outside
// the block is read: a count or text running past it fails the read.
bool VXTWReadFix32List(uint16_t Cap, uint16_t ConType, const uint8_t* Data, size_t Size, TVXDoubleList* List);
bool VXTWReadUINT16List(uint16_t ConType, const uint8_t* Data, size_t Size, TVXIntegerList* List);
// The one value's item: 4 bytes (ItemBytes 4) or the low 2 bytes (2).
bool VXTWReadOneValue(uint16_t ConType, const uint8_t* Data, size_t Size, size_t ItemBytes, uint32_t& Item);
bool VXTWReadString(const uint8_t* Data, size_t Size, std::string& Text);

bool GetCapability(tgrec& r, uint16_t Cap, TW_CAPABILITY& Answer);
bool GetFix32asDouble(tgrec& r, uint16_t Cap, TVXDoubleList* List);
bool GetOneFIX32asDouble(tgrec& r, uint16_t Cap, double& Value);
bool GetUINT16asInteger(tgrec& r, uint16_t Cap, TVXIntegerList* List);
bool GetOneBOOL(tgrec& r, uint16_t Cap, bool& Value);
bool GetOneUINT16(tgrec& r, uint16_t Cap, int32_t& Value);
bool GetOneINT16(tgrec& r, uint16_t Cap, int32_t& Value);
bool GetOneINT32(tgrec& r, uint16_t Cap, int32_t& Value);
bool VXTW_GetCapString(tgrec& r, uint16_t Cap, std::string& Value);

bool SetOnBoolCapability(tgrec& r, uint16_t Cap, bool Value);
bool SetOneUINT16Capability(tgrec& r, uint16_t Cap, int32_t Value);
bool SetOneINT16Capability(tgrec& r, uint16_t Cap, int32_t Value);
bool SetOneINT32Capability(tgrec& r, uint16_t Cap, int32_t Value);
bool SetOneDoubleAsFIX32Capability(tgrec& r, uint16_t Cap, double Value);
bool SetIntegerAsUINT16Capability(tgrec& r, uint16_t Cap, TVXIntegerList* List);
bool SetDoubleAsFIX32Capability(tgrec& r, uint16_t Cap, TVXDoubleList* List);

void GetAcquireFrame(tgrec& r, TVXDRect& Rect);
void SetAcquireFrame(tgrec& r, double Left, double Top, double Right, double Bottom);

// Sends every parameter of r.TWParams in the fixed order; always true.
bool VXTW_SetCapabilities(tgrec& r);
// A whole operation: opens the selected source, sends the parameters first
// when Send, and reads the capabilities into Caps. True when the source
// could be opened.
bool VXTW_ReadCapabilities(TVXTwainParams* Params, TVXTWSourceCaps* Caps, bool Send, HWND Window,
                           PVXTwainShared Shared);
