#include "core/variant.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "core/vxdefs.h"
#include "platform/utf.h"

namespace {

const char* TypeName(TVXVarType T) {
  switch (T) {
    case vxvEmpty: return "Empty";
    case vxvSmallint: return "Smallint";
    case vxvInteger: return "Integer";
    case vxvDouble: return "Double";
    case vxvString: return "String";
    case vxvUString: return "UnicodeString";
    case vxvOleStr: return "OleStr";
    case vxvByteArray: return "Array Byte";
    case vxvWordArray: return "Array Smallint";
  }
  return "Unknown";
}

[[noreturn]] void CastError(TVXVarType From, const char* To) {
  throw EVXException(std::string("Could not convert variant of type (") + TypeName(From) + ") into type (" + To + ")");
}

}  // namespace

TVXVariant TVXVariant::OleStr(const std::u16string& V) {
  TVXVariant v(V);
  v.fType = vxvOleStr;
  return v;
}

TVXVariant TVXVariant::ByteArray(const std::vector<uint8_t>& V) {
  TVXVariant v;
  v.fType = vxvByteArray;
  v.fBytes = V;
  return v;
}

TVXVariant TVXVariant::WordArray(const std::vector<int16_t>& V) {
  TVXVariant v;
  v.fType = vxvWordArray;
  v.fWords = V;
  return v;
}

double TVXVariant::AsDouble() const {
  switch (fType) {
    case vxvEmpty: return 0;
    case vxvSmallint:
    case vxvInteger: return fInt;
    case vxvDouble: return fDouble;
    case vxvString:
    case vxvUString:
    case vxvOleStr: {
      const std::string s = AsString();
      const char* begin = s.c_str();
      while (*begin == ' ') ++begin;
      char* end = nullptr;
      errno = 0;
      const double d = std::strtod(begin, &end);
      while (end && *end == ' ') ++end;
      if (end == begin || !end || *end || errno == ERANGE) CastError(fType, "Double");
      return d;
    }
    default: CastError(fType, "Double");
  }
}

int32_t TVXVariant::AsInteger() const {
  switch (fType) {
    case vxvEmpty: return 0;
    case vxvSmallint:
    case vxvInteger: return fInt;
    case vxvDouble:
      if (!(std::fabs(fDouble) < 2147483648.0)) CastError(fType, "Integer");
      return int32_t(std::nearbyint(fDouble));
    case vxvString:
    case vxvUString:
    case vxvOleStr: {
      const std::string s = AsString();
      const char* begin = s.c_str();
      while (*begin == ' ') ++begin;
      char* end = nullptr;
      errno = 0;
      const long long n = std::strtoll(begin, &end, 10);
      while (end && *end == ' ') ++end;
      if (end == begin || !end || *end || errno == ERANGE || n < INT32_MIN || n > INT32_MAX) CastError(fType, "Integer");
      return int32_t(n);
    }
    default: CastError(fType, "Integer");
  }
}

std::string TVXVariant::AsString() const {
  switch (fType) {
    case vxvSmallint:
    case vxvInteger: return std::to_string(fInt);
    case vxvDouble: {
      char b[40];
      std::snprintf(b, sizeof b, "%.15g", fDouble);
      return b;
    }
    case vxvString: return fText;
    case vxvUString:
    case vxvOleStr: return VXUTF16ToUTF8(fWide);
    default: return "";
  }
}

std::u16string TVXVariant::AsUString() const {
  if (fType == vxvUString || fType == vxvOleStr) return fWide;
  return VXUTF8ToUTF16(AsString());
}

int32_t TVXVariant::ArrayCount() const {
  if (fType == vxvByteArray) return int32_t(fBytes.size());
  if (fType == vxvWordArray) return int32_t(fWords.size());
  return 0;
}

bool TVXVariant::operator==(const TVXVariant& O) const {
  return fType == O.fType && fInt == O.fInt && fDouble == O.fDouble && fText == O.fText && fWide == O.fWide &&
         fBytes == O.fBytes && fWords == O.fWords;
}
