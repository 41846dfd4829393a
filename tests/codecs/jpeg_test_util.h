// Helpers of the JPEG codec tests: a scratch folder, running the libjpeg
// command-line tools, reading their PNM output, and files as byte vectors.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace jpegtest {

inline bool HaveTool(const std::string& Path) { return access(Path.c_str(), X_OK) == 0; }

// A scratch folder removed with the object.
struct ScratchDir {
  std::string Path;
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vxjpeg-XXXXXX").string();
    if (char* p = mkdtemp(pattern.data())) Path = p;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
};

inline int Shell(const std::string& Command) { return std::system((Command + " 2>/dev/null").c_str()); }

inline std::vector<uint8_t> ReadFile(const std::string& Name) {
  std::ifstream f(Name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteFile(const std::string& Name, const std::vector<uint8_t>& Data) {
  std::ofstream f(Name, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
}

// A binary PNM (P5 or P6, maxval 255).
struct Pnm {
  int Width = 0, Height = 0, Channels = 0;
  std::vector<uint8_t> Samples;  // rows of Width x Channels samples, file order (R, G, B)
  uint8_t At(int x, int y, int c) const { return Samples[(size_t(y) * Width + x) * Channels + c]; }
};

inline bool ReadPnm(const std::string& Name, Pnm& Out) {
  const std::vector<uint8_t> d = ReadFile(Name);
  size_t pos = 0;
  auto token = [&]() {
    std::string t;
    while (pos < d.size()) {
      if (d[pos] == '#') {
        while (pos < d.size() && d[pos] != '\n') ++pos;
      } else if (isspace(d[pos])) {
        if (!t.empty()) break;
        ++pos;
      } else {
        t += char(d[pos++]);
      }
    }
    return t;
  };
  const std::string magic = token();
  if (magic != "P5" && magic != "P6") return false;
  Out.Channels = magic == "P5" ? 1 : 3;
  Out.Width = std::stoi(token());
  Out.Height = std::stoi(token());
  if (std::stoi(token()) != 255) return false;
  ++pos;
  const size_t n = size_t(Out.Width) * Out.Height * Out.Channels;
  if (pos + n > d.size()) return false;
  Out.Samples.assign(d.begin() + long(pos), d.begin() + long(pos + n));
  return true;
}

// A PPM with smooth gradients, edges and a little noise (compresses like a photo).
inline void WriteTestPpm(const std::string& Name, int Width, int Height, uint32_t Seed = 1) {
  std::string header = "P6\n" + std::to_string(Width) + " " + std::to_string(Height) + "\n255\n";
  std::vector<uint8_t> d(header.begin(), header.end());
  uint32_t s = Seed;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      s = s * 1664525u + 1013904223u;
      const int noise = int(s >> 28) - 8;
      const int edge = ((x / 16 + y / 16) & 1) ? 40 : 0;
      d.push_back(uint8_t(std::clamp(x * 255 / std::max(1, Width - 1) + noise, 0, 255)));
      d.push_back(uint8_t(std::clamp(y * 255 / std::max(1, Height - 1) + edge, 0, 255)));
      d.push_back(uint8_t(std::clamp(128 + noise * 4 - edge, 0, 255)));
    }
  WriteFile(Name, d);
}

}  // namespace jpegtest
