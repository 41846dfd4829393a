// The LZW coder of TIFF compression 5: codes written most significant bit
// first, Clear 256, EndOfInformation 257, widths 9 to 12 bits with TIFF's
// early width change. Both directions work one row per call and keep their
// state behind the caller's Id pointer.
#pragma once

#include <cstdint>

class TStream;

// Id = nullptr: starts decoding the strip at CompBuf (CompSize bytes) and
// returns its first row. Id set and CompBuf set: the next row (the strip's
// data are read on from the first call). Id set and CompBuf = nullptr: frees
// the state and returns nullptr (the caller then clears Id). A row is
// LineSize bytes in the state's buffer, valid until the next call; nullptr
// on damaged data. Bits past CompSize read as EndOfInformation.
uint8_t* VXTIFFLZWDecode(uint8_t* CompBuf, int32_t LineSize, void*& Id, int32_t FillOrder, int64_t CompSize);

// id = nullptr: starts a strip (Clear first) and encodes the row; id set and
// indata set: encodes the next row of the same code stream; indata =
// nullptr: writes the pending code, EndOfInformation and the last byte, and
// frees the state (the caller then clears id).
void VXTIFFLZWEncode(uint8_t* indata, int32_t inputlen, TStream* outstream, void*& id);
