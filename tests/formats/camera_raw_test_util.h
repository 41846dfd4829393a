// Fixtures for the camera raw tests: a small uncompressed CFA DNG and CIFF
// heaps built byte by byte.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace rawtest {

struct TDngLayout {
  int Width = 40, Height = 30;
  uint32_t Seed = 1;
  std::array<uint8_t, 4> Pattern{0, 1, 1, 2};  // RGGB (0 red, 1 green, 2 blue)
  uint16_t Black = 64, White = 4000;
  std::array<double, 3> AsShotNeutral{0.5, 1.0, 0.7};
  std::array<double, 9> ColorMatrix1{0.9, -0.3, -0.1, -0.4, 1.2, 0.2, -0.1, 0.2, 0.6};
  std::string Make = "Vexcam", Model = "Test One";
  // The raw data in strips of this many rows (0: one strip).
  int RowsPerStrip = 0;
};

// Little-endian TIFF writer of one directory, values after it.
class TTiffBuilder {
 public:
  void Add(uint16_t Tag, uint16_t Type, uint32_t Count, std::vector<uint8_t> Value) {
    fEntries.push_back({Tag, Type, Count, std::move(Value)});
  }
  void Short(uint16_t Tag, std::vector<uint16_t> V) {
    std::vector<uint8_t> b;
    for (uint16_t x : V) Put(b, x, 2);
    Add(Tag, 3, uint32_t(V.size()), b);
  }
  void Long(uint16_t Tag, uint32_t V) {
    std::vector<uint8_t> b;
    Put(b, V, 4);
    Add(Tag, 4, 1, b);
  }
  void Longs(uint16_t Tag, const std::vector<uint32_t>& V) {
    std::vector<uint8_t> b;
    for (uint32_t x : V) Put(b, x, 4);
    Add(Tag, 4, uint32_t(V.size()), b);
  }
  void Bytes(uint16_t Tag, std::vector<uint8_t> V) { Add(Tag, 1, uint32_t(V.size()), V); }
  void Ascii(uint16_t Tag, const std::string& S) {
    std::vector<uint8_t> b(S.begin(), S.end());
    b.push_back(0);
    Add(Tag, 2, uint32_t(b.size()), b);
  }
  void Rational(uint16_t Tag, const std::vector<double>& V, bool Signed) {
    std::vector<uint8_t> b;
    for (double x : V) {
      Put(b, uint32_t(int32_t(x * 10000 + (x < 0 ? -0.5 : 0.5))), 4);
      Put(b, 10000, 4);
    }
    Add(Tag, Signed ? 10 : 5, uint32_t(V.size()), b);
  }
  // The file: header, directory, the values that do not fit the entries,
  // then Data; StripOffsets (273), given relative to Data, are patched to
  // point into it.
  std::vector<uint8_t> Build(const std::vector<uint8_t>& Data) {
    std::sort(fEntries.begin(), fEntries.end(), [](const TEntry& a, const TEntry& b) { return a.Tag < b.Tag; });
    std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const size_t dirSize = 2 + 12 * fEntries.size() + 4;
    size_t valuePos = 8 + dirSize;
    std::vector<uint8_t> values;
    size_t total = valuePos;
    for (auto& e : fEntries)
      if (e.Value.size() > 4) total += (e.Value.size() + 1) & ~size_t(1);
    Put(f, uint32_t(fEntries.size()), 2);
    for (auto& e : fEntries) {
      if (e.Tag == 273) {
        std::vector<uint8_t> patched;
        for (size_t i = 0; i + 4 <= e.Value.size(); i += 4) {
          uint32_t v = 0;
          for (int k = 0; k < 4; ++k) v |= uint32_t(e.Value[i + k]) << (8 * k);
          Put(patched, uint32_t(total + v), 4);
        }
        e.Value = patched;
      }
      Put(f, e.Tag, 2);
      Put(f, e.Type, 2);
      Put(f, e.Count, 4);
      if (e.Value.size() <= 4) {
        std::vector<uint8_t> v = e.Value;
        v.resize(4, 0);
        f.insert(f.end(), v.begin(), v.end());
      } else {
        Put(f, uint32_t(valuePos + values.size()), 4);
        values.insert(values.end(), e.Value.begin(), e.Value.end());
        if (values.size() % 2) values.push_back(0);
      }
    }
    Put(f, 0, 4);
    f.insert(f.end(), values.begin(), values.end());
    f.insert(f.end(), Data.begin(), Data.end());
    return f;
  }
  static void Put(std::vector<uint8_t>& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
  }

 private:
  struct TEntry {
    uint16_t Tag, Type;
    uint32_t Count;
    std::vector<uint8_t> Value;
  };
  std::vector<TEntry> fEntries;
};

// An uncompressed 16-bit CFA DNG: smooth slopes with seeded noise and a few
// bright spots, between the black and white levels.
inline std::vector<uint8_t> MakeDng(const TDngLayout& S) {
  std::vector<uint8_t> data;
  uint32_t r = S.Seed;
  const int range = S.White - S.Black;
  std::vector<uint16_t> image;
  for (int y = 0; y < S.Height; ++y)
    for (int x = 0; x < S.Width; ++x) {
      r = r * 1664525u + 1013904223u;
      int v = (x * 3 * range) / (4 * S.Width) + (y * range) / (5 * S.Height) + int((r >> 20) % 200);
      if ((r >> 8) % 37 == 0) v = range - int((r >> 16) % 50);
      v = std::clamp(v, 0, range);
      image.push_back(uint16_t(S.Black + v));
    }
  // Strips are runs of whole rows.
  std::vector<uint32_t> offsets, counts;
  const int rows = S.RowsPerStrip > 0 ? S.RowsPerStrip : S.Height;
  for (int y0 = 0; y0 < S.Height; y0 += rows) {
    offsets.push_back(uint32_t(data.size()));
    for (int y = y0; y < std::min(S.Height, y0 + rows); ++y)
      for (int x = 0; x < S.Width; ++x) TTiffBuilder::Put(data, image[size_t(y) * S.Width + x], 2);
    counts.push_back(uint32_t(data.size()) - offsets.back());
  }
  TTiffBuilder t;
  t.Long(254, 0);
  t.Long(256, uint32_t(S.Width));
  t.Long(257, uint32_t(S.Height));
  t.Short(258, {16});
  t.Short(259, {1});
  t.Short(262, {32803});
  t.Ascii(271, S.Make);
  t.Ascii(272, S.Model);
  t.Short(274, {1});
  t.Short(277, {1});
  t.Longs(273, offsets);
  t.Long(278, uint32_t(rows));
  t.Longs(279, counts);
  t.Short(284, {1});
  t.Short(33421, {2, 2});
  t.Bytes(33422, {S.Pattern[0], S.Pattern[1], S.Pattern[2], S.Pattern[3]});
  t.Bytes(50706, {1, 4, 0, 0});
  t.Bytes(50707, {1, 1, 0, 0});
  t.Ascii(50708, S.Make + " " + S.Model);
  t.Short(50714, {S.Black});
  t.Short(50717, {S.White});
  t.Rational(50721, std::vector<double>(S.ColorMatrix1.begin(), S.ColorMatrix1.end()), true);
  t.Rational(50728, std::vector<double>(S.AsShotNeutral.begin(), S.AsShotNeutral.end()), false);
  t.Short(50778, {21});
  return t.Build(data);
}

// ---- CIFF heaps --------------------------------------------------------------

// A record of a heap: tag, and either an inline value (8 bytes) or data.
struct TCiffRecord {
  uint16_t Tag = 0;
  std::vector<uint8_t> Data;
  bool Inline = false;
};

// A heap: records' data one after another, then the directory, then the
// 32-bit offset of the directory (from the heap's start).
inline std::vector<uint8_t> CiffHeap(const std::vector<TCiffRecord>& Records, bool LittleEndian = true) {
  auto put = [&](std::vector<uint8_t>& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(uint8_t(LittleEndian ? v >> (8 * i) : v >> (8 * (n - 1 - i))));
  };
  std::vector<uint8_t> heap, dir;
  put(dir, uint32_t(Records.size()), 2);
  for (const TCiffRecord& r : Records) {
    put(dir, r.Tag, 2);
    if (r.Inline) {
      std::vector<uint8_t> v = r.Data;
      v.resize(8, 0);
      dir.insert(dir.end(), v.begin(), v.end());
    } else {
      put(dir, uint32_t(r.Data.size()), 4);
      put(dir, uint32_t(heap.size()), 4);
      heap.insert(heap.end(), r.Data.begin(), r.Data.end());
      if (heap.size() % 2) heap.push_back(0);
    }
  }
  const uint32_t dirPos = uint32_t(heap.size());
  heap.insert(heap.end(), dir.begin(), dir.end());
  put(heap, dirPos, 4);
  return heap;
}

// A CRW file: the 14-byte header ("II", header length 26, "HEAPCCDR",
// version) and the top heap.
inline std::vector<uint8_t> CiffFile(const std::vector<TCiffRecord>& Records, bool LittleEndian = true) {
  std::vector<uint8_t> f = {uint8_t(LittleEndian ? 'I' : 'M'), uint8_t(LittleEndian ? 'I' : 'M')};
  const uint32_t len = 26;
  for (int i = 0; i < 4; ++i) f.push_back(uint8_t(LittleEndian ? len >> (8 * i) : len >> (8 * (3 - i))));
  const char* sig = "HEAPCCDR";
  f.insert(f.end(), sig, sig + 8);
  f.resize(26, 0);
  f[14] = LittleEndian ? 1 : 0;
  f[15] = LittleEndian ? 0 : 1;
  const std::vector<uint8_t> heap = CiffHeap(Records, LittleEndian);
  f.insert(f.end(), heap.begin(), heap.end());
  return f;
}

}  // namespace rawtest
