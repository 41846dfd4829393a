#pragma once
// Text, number and file-name helpers: locale-independent number text for
// parameter files and dictionaries, colour and Boolean text, C-string
// primitives, UTF-8 / UTF-16 / Windows-1252 conversion, file names,
// extensions, file details and temporary file names.
//
// Text is UTF-8 in std::string. The "Ansi", "Wide" and "W" variants of a
// routine exist for the callers that name them and behave the same.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/utf.h"

// ---------------------------------------------------------------------------
// Run-time format settings used by the number conversions.

struct TVXFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  std::string CurrencyString = "$";
  uint8_t CurrencyFormat = 0;  // 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"
  uint8_t CurrencyDecimals = 2;
  // Dates: "y", "m" and "d" runs are the year, month and day ("yyyy"/"yy",
  // "mm"/"m", "dd"/"d"); "/" stands for DateSeparator; anything else is literal.
  std::string ShortDateFormat = "yyyy-mm-dd";
  char DateSeparator = '-';
  // Times: "h", "n" and "s" runs are the hour (0-23), minute and second
  // ("hh" two digits, "h" as needed); ":" stands for TimeSeparator.
  std::string LongTimeFormat = "hh:nn:ss";
  char TimeSeparator = ':';
  // The system's primary language (LANG_ENGLISH 9, LANG_GREEK 8, ...), for
  // fonts that take the language's character set.
  uint16_t PrimaryLanguage = 9;
};
// Process-wide settings (not guarded: change them on one thread only).
TVXFormatSettings& VXFormatSettings();

char VXGetDecimalSeparator();
void VXSetDecimalSeparator(char c);

// ---------------------------------------------------------------------------
// Numbers and text

// Shortest float text (15 significant digits, "1E20" beyond), '.' as decimal
// separator whatever the settings say.
std::string VXFloatToAnsiStrDot(long double Value);
std::string VXFloatToStrDot(long double Value);
std::string VXFloatToWideStrDot(long double Value);

// Parses S with the current decimal separator, then with ',' and '.'
// exchanged once; Default when both fail.
long double VXStrToFloatDefAnsi(const std::string& S, long double Default);
long double VXStrToFloatDefWide(const std::string& S, long double Default);
long double VXStrToFloatDef(const std::string& S, long double Default);

// Run-time float text conversion: ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency.
enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
std::string VXFloatToStrF(long double Value, TFloatFormat Format, int32_t Precision, int32_t Digits);

// "%.<Decimals>f"; with TrimZeros trailing zeros and then a trailing '.' go
// (only from text that contains '.').
std::string VXFormatFloatAnsi(int32_t Decimals, bool TrimZeros, double Value);
std::string VXFormatFloat(int32_t Decimals, bool TrimZeros, double Value);

std::string VXFormatThousands(int64_t N);
std::string VXFormatBytesKB(int64_t N, int64_t Threshold);
std::string VXFormatFileSize(int64_t Size);

// Continued-fraction approximation of Value.
void VXFloatToFraction(double Value, double Accuracy, int32_t& Numerator, int32_t& Denominator);

std::string VXIntToAnsiStr(int64_t Value);
// Decimal, or hexadecimal after "$" or "0x"; Default when S is not a 32-bit integer.
int32_t VXStrToIntDefAnsi(const std::string& S, int32_t Default);
// Upper-case hexadecimal, at least Digits digits.
std::string VXIntToHexAnsi(int64_t Value, int32_t Digits);

// Packed RGB (red in bits 16-23, green 8-15, blue 0-7) <-> "r, g, b".
std::string VXRGBToStr(int32_t RGB);
std::string VXRGBToWideStr(int32_t RGB);
std::string VXRGBToAnsiStr(int32_t RGB);
int32_t VXStrToRGB(const std::string& S);
int32_t VXWideStrToRGB(const std::string& S);

std::string VXBoolToStr(bool B);
std::string VXBoolToWideStr(bool B);
// True for "1", "TRUE" or "T" (any case).
bool VXStrToBool(const std::string& S);
bool VXWideStrToBool(const std::string& S);

bool VXColorsWithinTolerance(int32_t Tolerance, int32_t A, int32_t B);

// Backspace, tab, line feed, carriage return and space.
bool VXIsBlankChar(uint8_t C);

// Removes characters below 32 and 127.
std::string VXStripControlChars(const std::string& S);
std::u16string VXStripControlCharsW(const std::u16string& S);

// ---------------------------------------------------------------------------
// String kinds

// UTF-8 <-> UTF-16 and VXAppendUTF8: platform/utf.h.
// UTF-8 <-> Windows-1252 (characters outside the code page become '?').
std::string VXUTF8ToAnsi(const std::string& S);
std::string VXAnsiToUTF8(const std::string& S);

// ---------------------------------------------------------------------------
// NUL-terminated string primitives

size_t VXStrLenA(const char* S);
size_t VXStrLenW(const char16_t* S);
char* VXStrCopyA(char* Dest, const char* Source);
char16_t* VXStrCopyW(char16_t* Dest, const char16_t* Source);
// Copies the whole string and a terminator: Dest needs S.size() + 1 places.
char* VXStrPCopyA(char* Dest, const std::string& Source);
char16_t* VXWStrPCopy(char16_t* Dest, const std::u16string& Source);
char* VXStrMoveA(char* Dest, const char* Source, size_t Count);
// First occurrence of C (nullptr when absent).
const char* VXStrScanA(const char* S, char C);
const char* VXStrScanByteA(const char* S, char C);
// Last occurrence of C (nullptr when absent).
const char* VXStrRScanA(const char* S, char C);
// Heap copies (free with delete[]); nullptr for nullptr.
char* VXStrNewA(const char* S);
char16_t* VXStrNewW(const char16_t* S);

// Blanks and control characters trimmed at both ends.
std::string VXTrimAnsi(const std::string& S);
std::string VXUpperCaseAnsi(const std::string& S);
std::string VXLowerCaseAnsi(const std::string& S);
// Count characters from position From (1-based), clipped to the string.
std::string VXCopyAnsi(const std::string& S, int64_t From, int64_t Count);
// 1-based position of Sub in S; 0 when absent.
int64_t VXPosAnsi(const std::string& Sub, const std::string& S);

void VXCopyByteArray(const std::vector<uint8_t>& Source, std::vector<uint8_t>& Dest);
template <class TList>
void VXCopyList(const TList& Source, TList& Dest) {
  Dest.clear();
  Dest.reserve(Source.size());
  for (const auto& Item : Source) Dest.push_back(Item);
}

// ---------------------------------------------------------------------------
// File names and files

// Extension of the lower-cased name (from the last '.' after the last '/'),
// with or without the dot.
std::string VXLowerFileExt(const std::string& Name, bool IncludeDot = true);
std::string VXLowerFileExtAnsi(const std::string& Name, bool IncludeDot = true);
std::string VXLowerFileExtW(const std::string& Name, bool IncludeDot = true);
// Ext in the ';'-separated List (case-insensitive, '.' added in front).
bool VXExtInList(const std::string& Ext, const std::string& List);
bool VXFileExtInList(const std::string& FileName, const std::string& List);
// 1 "http://", 2 "https://", 3 "ftp://", otherwise 0.
int32_t VXGetURLScheme(const std::string& Name);
int32_t VXGetURLSchemeW(const std::string& Name);
// The part up to and including the last '/', and the part after it.
std::string VXExtractFilePathW(const std::string& FileName);
std::string VXExtractFileNameW(const std::string& FileName);

// An entry of that name exists and is not a folder.
bool VXFileExists(const std::string& FileName);
bool VXFileExistsW(const std::string& FileName);

// Size, creation and last-write time (TDateTime: days since 1899-12-30,
// local time) of a file; false when it is not found.
bool VXGetFileDetails(const std::string& FileName, int64_t& Size, double& CreateDate, double& EditDate);
// File time (100 ns units since 1601, UTC) -> local TDateTime with 2-second
// resolution; 0 for a zero time or one outside 1980..2107.
double VXFileTimeToDateTime(uint64_t FileTime);
// Days from 1970-01-01 to a date of the proleptic Gregorian calendar
// (negative before 1970).
int64_t VXDaysFromCivil(int64_t Year, unsigned Month, unsigned Day);
// The inverse: the date of a day count from 1970-01-01.
void VXCivilFromDays(int64_t Days, int64_t& Year, unsigned& Month, unsigned& Day);
// The date part of a TDateTime (days since 1899-12-30) in the settings'
// short date format.
std::string VXDateToStr(double Value);
// The time part of a TDateTime in the settings' long time format.
std::string VXTimeToStr(double Value);
// The local date and time as a TDateTime; the fixed value while a test has
// fixed it.
double VXNow();
// Tests: VXNow answers Value until VXUnfixNow.
void VXFixNow(double Value);
void VXUnfixNow();
// Reads a date written in the settings' short date format (its fields in its
// order, separated by the date separator or the format's own separators);
// false, and Value unchanged, for a text that is not such a valid date.
bool VXTryStrToDate(const std::string& Text, double& Value);
int64_t VXMakeInt64(uint32_t High, uint32_t Low);

// FileName = Path + Descriptor + "-" + 8 upper-case hex digits + ".tmp",
// a name that did not exist; the file is created empty (exclusively) so that
// no one else gets the same name.
void VXGetTempFileName(const std::string& Descriptor, const std::string& Path, std::string& FileName);
// Descriptor "vxtemp" in the settings' DefTempPath, else in the system's
// temporary folder ($TMPDIR or /tmp).
void VXGetDefaultTempFileName(std::string& FileName);
// The system's temporary folder with a trailing '/'.
std::string VXGetSystemTempPath();
