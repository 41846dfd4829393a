#pragma once
// Helpers of the TIFF directory tests: a builder of small TIFF files in
// either byte order (classic or BigTIFF), a parser of tiffdump's listing and
// the tools of libtiff-tools and netpbm.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/core/runtime_test_util.h"

namespace tifftest {

// One entry of a directory to build: values as numbers (a rational is one
// number whose low 32 bits are the numerator and high 32 bits the
// denominator), or raw bytes when Raw is set. An explicit count overrides
// the number of values (for damaged entries).
struct TEntry {
  TEntry(uint16_t tag, uint16_t type, std::vector<uint64_t> values, std::string raw = std::string(),
         int64_t count = -1, int64_t offset = -1)
      : Tag(tag), Type(type), Values(std::move(values)), Raw(std::move(raw)), Count(count), Offset(offset) {}
  uint16_t Tag = 0;
  uint16_t Type = 0;
  std::vector<uint64_t> Values;
  std::string Raw;
  int64_t Count = -1;
  int64_t Offset = -1;  // forced offset field
};

inline uint64_t Rational(uint32_t num, uint32_t den) { return uint64_t(num) | (uint64_t(den) << 32); }

inline int TypeSize(uint16_t t) {
  static const int k[19] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 1, 1, 8, 8, 8};
  return t < 19 ? k[t] : 0;
}

class TBuilder {
public:
  TBuilder(bool littleEndian, bool bigTIFF = false) : le(littleEndian), big(bigTIFF) {
    Put(le ? "II" : "MM");
    PutN(big ? 43 : 42, 2);
    if (big) {
      PutN(8, 2);
      PutN(0, 2);
      firstLink = data.size();
      PutN(0, 8);
    } else {
      firstLink = data.size();
      PutN(0, 4);
    }
  }

  // Appends a directory and links it after the previous one; returns its offset.
  uint64_t AddIFD(const std::vector<TEntry>& entries) {
    // Out-of-line values first.
    const size_t inlineMax = big ? 8 : 4;
    std::vector<std::string> fields;
    std::vector<uint64_t> counts;
    for (const TEntry& e : entries) {
      std::string bytes = e.Raw.empty() ? Encode(e) : e.Raw;
      counts.push_back(e.Count >= 0 ? uint64_t(e.Count)
                                    : (e.Raw.empty() ? e.Values.size() : bytes.size() / size_t(TypeSize(e.Type))));
      std::string field;
      if (e.Offset >= 0) {
        field = Num(uint64_t(e.Offset), inlineMax);
      } else if (bytes.size() <= inlineMax) {
        field = bytes + std::string(inlineMax - bytes.size(), '\0');
      } else {
        if (data.size() & 1) data.push_back('\0');
        field = Num(data.size(), inlineMax);
        data += bytes;
      }
      fields.push_back(field);
    }
    if (data.size() & 1) data.push_back('\0');
    uint64_t at = data.size();
    Link(at);
    PutN(entries.size(), big ? 8 : 2);
    for (size_t i = 0; i < entries.size(); ++i) {
      PutN(entries[i].Tag, 2);
      PutN(entries[i].Type, 2);
      PutN(counts[i], big ? 8 : 4);
      fieldPos[entries[i].Tag] = data.size();
      data += fields[i];
    }
    lastLink = data.size();
    PutN(0, big ? 8 : 4);
    return at;
  }

  // Overwrites the value field of the last entry built with that tag.
  void PatchField(uint16_t tag, uint64_t v) { PatchN(fieldPos.at(tag), v, big ? 8 : 4); }
  // Writes the next-directory link of the last directory.
  void SetLastLink(uint64_t v) { PatchN(lastLink, v, big ? 8 : 4); }
  void SetFirstLink(uint64_t v) { PatchN(firstLink, v, big ? 8 : 4); }
  size_t LastLinkPos() const { return lastLink; }

  std::string data;
  bool le, big;

  std::string Num(uint64_t v, size_t n) const {
    std::string s(n, '\0');
    for (size_t k = 0; k < n; ++k) s[le ? k : n - 1 - k] = char(uint8_t(v >> (8 * k)));
    return s;
  }

private:
  std::string Encode(const TEntry& e) const {
    std::string s;
    int ts = TypeSize(e.Type);
    for (uint64_t v : e.Values) {
      if (e.Type == 5 || e.Type == 10) {
        s += Num(uint32_t(v), 4);
        s += Num(uint32_t(v >> 32), 4);
      } else {
        s += Num(v, size_t(ts));
      }
    }
    return s;
  }
  void Put(const std::string& s) { data += s; }
  void PutN(uint64_t v, size_t n) { data += Num(v, n); }
  void PatchN(size_t pos, uint64_t v, size_t n) { data.replace(pos, n, Num(v, n)); }
  void Link(uint64_t at) {
    PatchN(first ? firstLink : lastLink, at, big ? 8 : 4);
    first = false;
  }
  size_t firstLink = 4, lastLink = 0;
  std::map<uint16_t, size_t> fieldPos;
  bool first = true;
};

// One entry of tiffdump's listing.
struct TDumpEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  int64_t Count = 0;
  std::vector<std::string> Values;  // numbers as printed; for ASCII one unescaped text
};

// Directories of tiffdump's listing, in file order.
inline std::vector<std::vector<TDumpEntry>> ParseTiffDump(const std::string& text) {
  std::vector<std::vector<TDumpEntry>> dirs;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Directory ", 0) == 0) {
      dirs.emplace_back();
      continue;
    }
    if (dirs.empty()) continue;
    size_t p1 = line.find(" ("), q1 = line.find(')', p1 == std::string::npos ? 0 : p1);
    if (p1 == std::string::npos || q1 == std::string::npos) continue;
    size_t p2 = line.find(" (", q1), q2 = line.find(')', p2 == std::string::npos ? 0 : p2);
    size_t lt = line.find('<', q2 == std::string::npos ? 0 : q2);
    if (p2 == std::string::npos || q2 == std::string::npos || lt == std::string::npos) continue;
    TDumpEntry e;
    e.Tag = uint16_t(std::stoul(line.substr(p1 + 2, q1 - p1 - 2), nullptr, 0));
    e.Type = uint16_t(std::stoul(line.substr(p2 + 2, q2 - p2 - 2)));
    e.Count = std::stoll(line.substr(q2 + 1, lt - q2 - 1));
    std::string body = line.substr(lt + 1);
    if (!body.empty() && body.back() == '>') body.pop_back();
    if (e.Type == 2) {
      std::string s;
      for (size_t k = 0; k < body.size(); ++k) {
        if (body[k] == '\\' && k + 1 < body.size()) {
          char c = body[++k];
          s += c == '0' ? '\0' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
        } else {
          s += body[k];
        }
      }
      e.Values.push_back(s);
    } else {
      std::istringstream vs(body);
      std::string v;
      while (vs >> v) e.Values.push_back(v);
    }
    dirs.back().push_back(e);
  }
  return dirs;
}

inline std::string Shell(const std::string& cmd) { return RuntimeShell(cmd); }
inline bool HaveTool(const std::string& t) { return RuntimeHaveTool(t); }
inline std::string ReadFile(const std::string& n) { return RuntimeReadFile(n); }
inline void WriteFile(const std::string& n, const std::string& d) { RuntimeWriteFile(n, d); }

}  // namespace tifftest
