// Helpers of the DIB, YUV and row tests: little-endian DIB assembly and the
// Python oracles (Pillow, numpy) run from a private folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace dibtest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
  Put16(b, v);
  Put16(b, v >> 16);
}
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A BITMAPINFOHEADER of HeaderSize bytes (40 or more, the rest zero).
inline Bytes Header(int32_t w, int32_t h, uint16_t bits, uint32_t compression, uint32_t clrUsed = 0,
                    uint32_t HeaderSize = 40) {
  Bytes b;
  Put32(b, HeaderSize);
  Put32(b, uint32_t(w));
  Put32(b, uint32_t(h));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, compression);
  for (int i = 0; i < 5; ++i) Put32(b, i == 3 ? clrUsed : 0);
  b.resize(HeaderSize, 0);
  return b;
}

inline void Append(Bytes& b, std::initializer_list<uint8_t> v) { b.insert(b.end(), v.begin(), v.end()); }
inline void Append(Bytes& b, const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); }

inline constexpr const char* kPython = "/usr/bin/python3";

// True when the system Python imports every module of Modules (e.g. "PIL").
inline bool HavePython(std::initializer_list<const char*> Modules) {
  if (access(kPython, X_OK) != 0) return false;
  std::string cmd = std::string(kPython) + " -c 'import sys";
  for (const char* m : Modules) cmd += std::string(", ") + m;
  cmd += "' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// A private folder, removed with its contents.
class TempFolder {
 public:
  TempFolder() {
    const char* t = std::getenv("TMPDIR");
    std::string tmpl = std::string(t && *t ? t : "/tmp") + "/vxdibtest-XXXXXX";
    if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline bool WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  return bool(f);
}
inline Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Runs Script with the system Python in Folder (its working directory);
// true on exit code 0.
inline bool RunPython(const TempFolder& Folder, const std::string& Script) {
  const std::string path = Folder / "oracle.py";
  std::ofstream(path) << Script;
  const std::string cmd = "cd '" + Folder.Path() + "' && " + kPython + " oracle.py";
  return std::system(cmd.c_str()) == 0;
}

// The pixels of a vx1g or vx24RGB bitmap as red, green, blue bytes, top row first.
inline Bytes RGBBytes(TVXBitmap& b) {
  Bytes out;
  out.reserve(size_t(b.Width()) * size_t(b.Height()) * 3);
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) {
      const TRGB c = b.Pixels(x, y);
      Append(out, {c.r, c.g, c.b});
    }
  return out;
}

}  // namespace dibtest
