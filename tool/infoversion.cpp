#include "tool/infoversion.h"

#include "platform/win_errors.h"
#include "platform/win_files.h"
#include "platform/win_version.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

bool TryStrToInt(const std::string& S, int32_t& Value) {
  size_t i = 0;
  while (i < S.size() && S[i] == ' ') ++i;
  if (i == S.size()) return false;
  const char* begin = S.c_str() + i;
  if (*begin != '+' && *begin != '-' && (*begin < '0' || *begin > '9')) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(begin, &end, 10);
  if (end == begin || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
  Value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(const std::string& S) {
  int32_t v = 0;
  if (!TryStrToInt(S, v)) throw EConvertError("'" + S + "' is not a valid integer value");
  return v;
}

std::vector<std::string> SplitAt(const std::string& S, const std::string& Seps) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : S) {
    if (Seps.find(c) != std::string::npos) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  return parts;
}

std::string Format(const char* Fmt, int32_t A, int32_t B, int32_t C = 0) {
  char buf[64];
  std::snprintf(buf, sizeof buf, Fmt, A, B, C);
  return buf;
}

uint32_t PackParts(int64_t P1, int64_t P2, int64_t P3, int64_t P4) {
  const uint64_t v = (static_cast<uint64_t>(P1) << 24) + (static_cast<uint64_t>(P2) << 16) +
                     (static_cast<uint64_t>(P3) << 8) + static_cast<uint64_t>(P4);
  return static_cast<uint32_t>(v);
}

int CompareUnsigned(uint32_t A, uint32_t B) { return A < B ? -1 : (A > B ? 1 : 0); }

}  // namespace

uint32_t TInfoVersion::PackVersion(const std::string& Text) {
  const auto parts = SplitAt(Text, ".,");
  int64_t p[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < 4 && i < parts.size(); ++i) {
    int32_t v = 0;
    p[i] = TryStrToInt(parts[i], v) ? v : 0;
  }
  return PackParts(p[0], p[1], p[2], p[3]);
}

std::string TInfoVersion::ShortVersionText(const std::string& Text) {
  const auto parts = SplitAt(Text, ".");
  if (parts.size() < 3) return Text;  // fewer than two dots
  return Format("%d.%.2d", StrToInt(parts[0]), StrToInt(parts[1]));
}

std::string TInfoVersion::MediumVersionText(const std::string& Text) {
  const auto parts = SplitAt(Text, ".");
  if (parts.size() < 4) return Text;  // fewer than three dots
  return Format("%d.%.2d.%.2d", StrToInt(parts[0]), StrToInt(parts[1]), StrToInt(parts[2]));
}

void TInfoVersion::Execute() {
  std::string file;
  if (!FProgramName.empty()) {
    if (!FileExists(FProgramName)) return;
    file = FProgramName;
  } else {
    file = GetModuleFileNameW();
  }
  uint32_t handle = 0;
  const uint32_t size = GetFileVersionInfoSizeW(file, &handle);
  if (size == 0) return;
  std::vector<uint8_t> block(size);
  if (!GetFileVersionInfoW(file, handle, size, block.data())) return;

  const void* value = nullptr;
  uint32_t len = 0;
  if (VerQueryValueW(block.data(), "\\", &value, &len) && len >= 52) {
    const uint32_t flags = ReadFixedFileInfo(value).dwFileFlags;
    FDebugversion = (flags & VS_FF_DEBUG) != 0;
    FPrerelease = (flags & VS_FF_PRERELEASE) != 0;
    FPrivateBuild = (flags & VS_FF_PRIVATEBUILD) != 0;
    FSpecialBuild = (flags & VS_FF_SPECIALBUILD) != 0;
  }
  if (!VerQueryValueW(block.data(), "\\VarFileInfo\\Translation", &value, &len) || len < 4) return;
  const uint8_t* t = static_cast<const uint8_t*>(value);
  const unsigned language = t[0] | (t[1] << 8), codePage = t[2] | (t[3] << 8);
  char table[16];
  std::snprintf(table, sizeof table, "%04X%04X", language, codePage);

  auto query = [&](const char* Key) -> std::string {
    const void* v = nullptr;
    uint32_t n = 0;
    if (!VerQueryValueW(block.data(), std::string("\\StringFileInfo\\") + table + "\\" + Key, &v, &n)) return {};
    return Utf16LeToUtf8(v, n);
  };
  FCompanyName = query("CompanyName");
  FFileDescription = query("FileDescription");
  FFileVersion = query("FileVersion");
  FMediumFileVersion = MediumVersionText(FFileVersion);
  FShortFileVersion = ShortVersionText(FFileVersion);
  FFileVersionNumber = PackVersion(FFileVersion);
  FInternalName = query("InternalName");
  FLegalCopyright = query("LegalCopyright");
  FLegalTrademarks = query("LegalTrademarks");
  FOriginalFilename = query("OriginalFilename");
  FProductName = query("ProductName");
  FProductVersion = query("ProductVersion");
  FMediumProductVersion = MediumVersionText(FProductVersion);
  FShortProductVersion = ShortVersionText(FProductVersion);
  FProductVersionNumber = PackVersion(FProductVersion);
  FComments = query("Comments");
  FMail = query("Mail");
  FInternet = query("Internet");
  FLicence = query("Licence");
  std::string endTime = query("EndTime");
  const auto b = endTime.find_first_not_of(' ');
  FEndTime = b == std::string::npos ? std::string() : endTime.substr(b, endTime.find_last_not_of(' ') - b + 1);
}

int TInfoVersion::CompareFileVersion(uint16_t Num1, uint16_t Num2, uint16_t Num3, uint16_t Num4) const {
  return CompareUnsigned(FFileVersionNumber, PackParts(Num1, Num2, Num3, Num4));
}

int TInfoVersion::CompareProductVersion(uint16_t Num1, uint16_t Num2, uint16_t Num3, uint16_t Num4) const {
  return CompareUnsigned(FProductVersionNumber, PackParts(Num1, Num2, Num3, Num4));
}
