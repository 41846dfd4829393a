// Code-page conversion to UTF-16 as Windows' MultiByteToWideChar does it, for
// the code pages of the word tables: 1250 to 1254 and 1256 (own tables, where
// undefined bytes map as on Windows) and 932, 936, 949 and 950 (glibc's iconv).
// Code page 0 (CP_ACP) is the ANSI code page of the system, 1252.
#pragma once
#include <cstdint>

constexpr uint32_t CP_ACP = 0;
constexpr uint32_t MB_PRECOMPOSED = 0x01;
constexpr uint32_t MB_ERR_INVALID_CHARS = 0x08;

// Converts CbMultiByte bytes (-1: up to and including the terminating NUL) to
// UTF-16. With CchWideChar 0 answers the characters needed; otherwise writes
// at most CchWideChar characters and answers how many it wrote. Answers 0 for
// an unsupported code page, a buffer too small, a negative length other than
// -1, and, with MB_ERR_INVALID_CHARS, bytes that are not valid in a
// double-byte code page (without the flag each such byte becomes U+FFFD).
int MultiByteToWideChar(uint32_t CodePage, uint32_t Flags, const char* MultiByteStr, int CbMultiByte,
                        char16_t* WideCharStr, int CchWideChar);

constexpr int MAX_DEFAULTCHAR = 2;
constexpr int MAX_LEADBYTES = 12;

// What a code page is made of: MaxCharSize 1 for a single-byte page, 2 for a
// double-byte one, whose lead-byte ranges are LeadByte's pairs (first, last),
// ended by a pair of zeros.
struct CPINFO {
  uint32_t MaxCharSize;
  uint8_t DefaultChar[MAX_DEFAULTCHAR];
  uint8_t LeadByte[MAX_LEADBYTES];
};

// Fills Info for a code page MultiByteToWideChar converts (0: the system's);
// false, Info untouched, for any other.
bool GetCPInfo(uint32_t CodePage, CPINFO* Info);

// True for the code pages MultiByteToWideChar converts.
bool VXIsSupportedCodePage(uint32_t CodePage);
