// TVXVariant: the library's variant value, for device properties and source
// names. It holds nothing (empty), a 16- or 32-bit integer, a double, an
// 8-bit or UTF-16 string, an OLE string, or an array of bytes or of 16-bit
// integers. Text is kept as given: 8-bit strings as UTF-8, UTF-16 and OLE
// strings as UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum TVXVarType {
  vxvEmpty,
  vxvSmallint,   // 16-bit integer
  vxvInteger,    // 32-bit integer
  vxvDouble,
  vxvString,     // 8-bit string
  vxvUString,    // UTF-16 string
  vxvOleStr,     // OLE string (UTF-16)
  vxvByteArray,  // array of bytes
  vxvWordArray   // array of 16-bit integers
};

class TVXVariant {
 public:
  TVXVariant() = default;
  TVXVariant(int16_t V) : fType(vxvSmallint), fInt(V) {}
  TVXVariant(int32_t V) : fType(vxvInteger), fInt(V) {}
  TVXVariant(double V) : fType(vxvDouble), fDouble(V) {}
  TVXVariant(const std::string& V) : fType(vxvString), fText(V) {}
  TVXVariant(const char* V) : fType(vxvString), fText(V ? V : "") {}
  TVXVariant(const std::u16string& V) : fType(vxvUString), fWide(V) {}
  static TVXVariant OleStr(const std::u16string& V);
  static TVXVariant ByteArray(const std::vector<uint8_t>& V);
  static TVXVariant WordArray(const std::vector<int16_t>& V);

  TVXVarType VarType() const { return fType; }
  bool IsEmpty() const { return fType == vxvEmpty; }
  bool IsArray() const { return fType == vxvByteArray || fType == vxvWordArray; }
  bool IsString() const { return fType == vxvString || fType == vxvUString || fType == vxvOleStr; }
  void Clear() { *this = TVXVariant(); }

  // Conversions. Empty converts to 0 and ""; a string converts to a number
  // when it is one (raises EVXException "Could not convert variant of type
  // (String) into type (Integer)" otherwise); an array converts to no
  // number (the same exception) and to no text ("").
  int32_t AsInteger() const;
  double AsDouble() const;
  std::string AsString() const;       // UTF-8
  std::u16string AsUString() const;

  // Arrays: their element count and elements (0 and nothing for other kinds).
  int32_t ArrayCount() const;
  const std::vector<uint8_t>& Bytes() const { return fBytes; }
  const std::vector<int16_t>& Words() const { return fWords; }

  bool operator==(const TVXVariant& O) const;

 private:
  TVXVarType fType = vxvEmpty;
  int32_t fInt = 0;
  double fDouble = 0;
  std::string fText;
  std::u16string fWide;
  std::vector<uint8_t> fBytes;
  std::vector<int16_t> fWords;
};
