// CCITT fax coding of bilevel rows: Modified Huffman, T.4 one- and
// two-dimensional (Group 3) and T.6 (Group 4), one row per call. The caller
// keeps the reference row, the bit position and the pending partial byte
// between rows.
//
// Decoded rows: ceil(Width / 8) bytes, white = 1, the first pixel in the most
// significant bit. Rows given to the encoders: white = 0, black = 1.
// FillOrder 1 takes the bits of a byte from the most significant one; any
// other value (2) from the least significant one.
#pragma once

#include <cstdint>
#include <vector>

class TStream;

// One entry of the code table: its length in bits, the code (its low
// `length` bits, sent most significant first) and its run length or marker
// (-1 no run, -3 end of line).
struct TVXCCITTCode {
  int32_t length;
  uint16_t code;
  int32_t run;
};

// The 13 mode codes (fill, pass, horizontal, the seven vertical codes
// V-3..V+3, the two uncompressed-mode extensions, EOL) and 128 run-length
// entries for white (colour 0) and for black (colour 1).
extern const TVXCCITTCode VXCCITTModeCodes[13];
extern const TVXCCITTCode VXCCITTRunCodes[2][128];

// Builds the white and black decode trees (start-up); frees them (shut-down).
void VXCreateCCITTDecodeTrees();
void VXFreeCCITTDecodeTrees();

// One row of TIFF compression 2 from bit 0 of Source; the bytes used (the bit
// position after the row rounded up).
int32_t VXCCITTDecodeMHRow(uint8_t* Dest, const uint8_t* Source, int64_t SourceSize, int32_t Width,
                           int32_t FillOrder);
// One T.4 one-dimensional row from bit BitPos; the bit position after it.
int64_t VXCCITTDecode1DRow(uint8_t* Dest, const uint8_t* Source, int64_t SourceSize, int32_t Width, int64_t BitPos,
                           int32_t FillOrder);
// One T.4 two-dimensional or T.6 row against RefRow (ceil(Width / 8) bytes,
// all 0xFF before a strip's first row), which then receives the row; the
// bit position after it.
// RefRuns, when given, keeps the reference row's runs from row to row (empty
// before a strip's first row): a row may code a zero-length run, which its
// pixels cannot show but which the next row's codes count on.
int64_t VXCCITTDecode2DRow(uint8_t* Dest, const uint8_t* Source, int64_t SourceSize, int32_t Width, uint8_t* RefRow,
                           int64_t BitPos, int32_t FillOrder, bool FillBeforeEOL,
                           std::vector<int32_t>* RefRuns = nullptr);

// Encoders. Aborting is set when the stream takes fewer bytes than written.
// A row of TIFF compression 2: byte-aligned, no EOL.
void VXEncodeMHFaxRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, bool& Aborting);
// EOL and the row coded one-dimensionally, bits running on between rows;
// Row = nullptr with Width 0 writes the pending byte.
void VXEncodeG3Fax1DRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, bool& Aborting,
                        int32_t& PendingBits, uint8_t& PendingByte);
// Group 3 two-dimensional: the first row (RefRow nullptr) with tag bit 1 and
// one-dimensional codes, later ones with tag bit 0 against RefRow, which the
// encoder allocates and keeps. Row = nullptr ends the block (EOL, padding)
// and frees RefRow.
void VXEncodeG3Fax2DRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, bool& Aborting,
                        uint8_t*& RefRow, int32_t& PendingBits, uint8_t& PendingByte);
// Group 4: every row two-dimensional against RefRow (all white at first).
// Row = nullptr ends the block with EOFB and padding and frees RefRow.
void VXEncodeG4FaxRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, bool& Aborting,
                      uint8_t*& RefRow, int32_t& PendingBits, uint8_t& PendingByte);
