#pragma once
// Stream, encoding and sorting helpers: length-prefixed strings, checked
// writes, Base64, ASCII85, RunLength, byte-order reads, padding, byte-string
// search, chunked copies and the index quicksort.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TStream;
class TMemoryStream;

// ---------------------------------------------------------------------------
// Length-prefixed strings (32-bit little-endian length first). A stored
// length that is negative or larger than what remains in the stream raises
// EReadError, as does a short read.

// Length, then the bytes of Text as they are.
void VXWriteAnsiString(TStream* Stream, const std::string& Text);
void VXReadAnsiString(TStream* Stream, std::string& Text);
// UTF-16 character count, then the UTF-16 (little-endian) form of the UTF-8 Text.
void VXWriteWideString(TStream* Stream, const std::string& Text);
void VXReadWideString(TStream* Stream, std::string& Text);
// Count, then each string in Windows-1252 with VXWriteAnsiString; reading
// clears List first and converts back to UTF-8.
void VXWriteStringList(TStream* Stream, const std::vector<std::string>& List);
void VXReadStringList(TStream* Stream, std::vector<std::string>& List);

// 2^(BitsPerSample * SamplesPerPixel) by repeated multiplication.
int32_t VXNumColorsFromBits(int32_t BitsPerSample, int32_t SamplesPerPixel);

// Writes Count bytes; sets Aborting when fewer were written (never clears it).
void VXWriteChecked(TStream* Stream, bool& Aborting, const void* Buffer, int64_t Count);

// ---------------------------------------------------------------------------
// Encodings

// 1..3 bytes (Len) -> 4 Base64 characters, '=' for each missing byte.
void VXEncodeBase64Group(const uint8_t* Src, char* Dst, int32_t Len);
// Encodes Source from its position to its size, in lines of
// ceil(LineLength / 4) groups, each line ending with CR LF.
void VXEncodeBase64(TStream* Source, TStream* Dest, int32_t LineLength);
// Decodes Source from its position into Dest, skipping blanks.
void VXDecodeBase64(TStream* Source, TMemoryStream* Dest);

// ASCII85 of Count bytes from Src into Dst (both advanced); lines broken
// after 74 characters; ends with "~>" CR LF. Dst needs room for
// Count / 4 * 5 + 5 + 2 * (Count / 14 + 1) + 4 characters. Returns the
// characters written.
int32_t VXAscii85Encode(const uint8_t*& Src, int32_t Count, char*& Dst, int32_t& Counter);
// PackBits-style RunLength with the end-of-data byte 128; Dst needs room for
// 2 * Len + 1 bytes (a one-byte literal between two repeats costs two bytes).
// Returns the bytes written.
int32_t VXRunLengthEncode(const uint8_t* Src, int32_t Len, uint8_t* Dst);

// S followed by CR LF.
void VXWriteLn(TStream* Stream, const std::string& S);
void VXStreamWriteLine(TStream* Stream, const std::string& S);

// ---------------------------------------------------------------------------
// Byte order, padding, search, copy

uint16_t VXSwapWordIf(uint16_t V, bool BigEndian);
uint32_t VXSwapDWordIf(uint32_t V, bool BigEndian);
uint64_t VXSwapInt64If(uint64_t V, bool BigEndian);
// Reads at the current position; bytes missing at the end read as 0.
uint16_t VXStreamReadWord(TStream* Stream, bool BigEndian);
uint32_t VXStreamReadDWord(TStream* Stream, bool BigEndian);
uint64_t VXStreamReadInt64(TStream* Stream, bool BigEndian);

// At an odd position writes one zero byte (Error set when it could not be
// written); returns the position.
int64_t VXStreamPadToWord(TStream* Stream, bool& Error);

// Position of the first match of S that begins before Limit, searching from
// the current position (overlapping candidates included); the stream then
// stands just behind the match. -1 when there is none (or S is empty).
int64_t VXStreamFind(TStream* Stream, const std::string& S, int64_t Limit);

// Copies Count bytes from Source's position to Dest (Count 0: the whole of
// Source from its beginning); limited to what remains in Source when its size
// is known. Returns the count copied.
int64_t VXCopyStreamRange(TStream* Dest, TStream* Source, int64_t Count);

// ---------------------------------------------------------------------------
// Sorting

using TVXQuickSortExchange = std::function<void(int32_t A, int32_t B)>;
using TVXQuickSortCompare = std::function<int32_t(int32_t A, int32_t B)>;
// Sorts the indexes 0..Count-1 of the caller's collection through the callbacks.
void VXQuickSort(int32_t Count, const TVXQuickSortExchange& Exchange, const TVXQuickSortCompare& Compare);
