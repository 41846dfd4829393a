// The 3x3 integer filter (24-bit and grey) and the user filter file.
//
// Each output is clamp(|sum of weight x neighbour| div Divisor). The sums
// are exact integers, so they may be formed in any order: with small weights
// (every partial sum below 2^24) in single-precision vectors, otherwise in
// 64-bit integers.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "core/bitmap.h"
#include "core/simdvec.h"
#include "proc/filters.h"

namespace {

using v4f = float __attribute__((vector_size(16)));

inline v4f Load(const float* p) { return VXLoadVec<v4f>(p); }

// One output row of C-channel pixels x1 .. xLast from three padded float
// rows (one pixel of padding on each side: index C * (x + 1)).
void FilterRowFloat(const float* const rows[3], const int32_t w[9], int32_t D, int32_t C, int32_t x1, int32_t xLast,
                    uint8_t* out) {
  const int32_t first = C * x1, count = C * (xLast - x1 + 1);
  float wf[9];
  for (int i = 0; i < 9; ++i) wf[i] = float(w[i]);
  const double div = double(D);
  auto finish = [&](float s) {
    const double a = std::fabs(double(s));
    const double q = D == 1 ? a : std::trunc(a / div);
    return uint8_t(q > 255 ? 255 : q);
  };
  int32_t j = 0;
  for (; j + 4 <= count; j += 4) {
    const int32_t p = first + C + j;  // centre in the padded row
    v4f s = Load(rows[0] + p - C) * wf[0] + Load(rows[0] + p) * wf[1] + Load(rows[0] + p + C) * wf[2];
    s += Load(rows[1] + p - C) * wf[3] + Load(rows[1] + p) * wf[4] + Load(rows[1] + p + C) * wf[5];
    s += Load(rows[2] + p - C) * wf[6] + Load(rows[2] + p) * wf[7] + Load(rows[2] + p + C) * wf[8];
    for (int i = 0; i < 4; ++i) out[first + j + i] = finish(s[i]);
  }
  for (; j < count; ++j) {
    const int32_t p = first + C + j;
    float s = 0;
    for (int r = 0; r < 3; ++r)
      s += rows[r][p - C] * wf[3 * r] + rows[r][p] * wf[3 * r + 1] + rows[r][p + C] * wf[3 * r + 2];
    out[first + j] = finish(s);
  }
}

void FilterRowWide(const uint8_t* const rows[3], const int32_t w[9], int32_t D, int32_t C, int32_t W, int32_t x1,
                   int32_t xLast, uint8_t* out) {
  for (int32_t x = x1; x <= xLast; ++x) {
    const int32_t cols[3] = {std::max(x - 1, 0), x, std::min(x + 1, W - 1)};
    for (int32_t c = 0; c < C; ++c) {
      int64_t s = 0;
      for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) s += int64_t(w[3 * r + k]) * rows[r][C * cols[k] + c];
      const int64_t q = std::llabs(s) / D;
      out[C * x + c] = uint8_t(q > 255 ? 255 : q < 0 ? 0 : q);
    }
  }
}

void Filter3x3(TVXBitmap* Bitmap, const TGraphFilter& Filter, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
               int32_t C, TProgressRec* Progress) {
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  x2 = std::min(x2, W), y2 = std::min(y2, H);
  if (x2 <= x1 || y2 <= y1) return;
  const int32_t D = Filter.Divisor == 0 ? 1 : Filter.Divisor;
  int32_t w[9];
  int64_t absSum = 0;
  for (int i = 0; i < 9; ++i) {
    w[i] = Filter.Values[i / 3][i % 3];
    absSum += std::llabs(int64_t(w[i]));
  }
  const bool exactInFloat = absSum * 255 < (int64_t(1) << 24) && D > 0;

  TVXBitmap temp;
  if (!temp.Allocate(x2 - x1, y2 - y1, Bitmap->PixelFormat())) throw EVXException("Not enough memory for the filter");
  // The source rows around y, as bytes and (for the vector path) as padded
  // floats; a small ring keyed by the clamped row number.
  const size_t rowBytes = size_t(W) * size_t(C);
  std::vector<uint8_t> bytes(3 * rowBytes);
  std::vector<float> floats(exactInFloat ? 3 * (rowBytes + 2 * size_t(C)) : 0);
  int32_t loaded[3] = {-1, -1, -1};
  auto fetch = [&](int32_t row) -> int32_t {
    const int32_t s = row % 3;
    if (loaded[s] != row) {
      uint8_t* b = bytes.data() + size_t(s) * rowBytes;
      std::memcpy(b, Bitmap->GetRow(row), rowBytes);
      Bitmap->FreeRow(row);
      if (exactInFloat) {
        // Padded by the row's end pixels.
        float* f = floats.data() + size_t(s) * (rowBytes + 2 * size_t(C));
        for (int32_t c = 0; c < C; ++c) {
          f[c] = b[c];
          f[size_t(C) + rowBytes + size_t(c)] = b[rowBytes - size_t(C) + size_t(c)];
        }
        for (size_t i = 0; i < rowBytes; ++i) f[size_t(C) + i] = b[i];
      }
      loaded[s] = row;
    }
    return s;
  };
  std::vector<uint8_t> out(rowBytes);
  const int32_t rows = y2 - y1;
  const double step = 100.0 / (rows - 1 + 0.5);
  int32_t lastPer = -1;
  for (int32_t y = y1; y < y2; ++y) {
    const int32_t r[3] = {std::max(y - 1, 0), y, std::min(y + 1, H - 1)};
    int32_t s[3];
    for (int i = 0; i < 3; ++i) s[i] = fetch(r[i]);
    // The three rows may share ring slots only when they are the same row.
    if (exactInFloat) {
      const float* fr[3];
      for (int i = 0; i < 3; ++i) fr[i] = floats.data() + size_t(s[i]) * (rowBytes + 2 * size_t(C));
      FilterRowFloat(fr, w, D, C, x1, x2 - 1, out.data());
    } else {
      const uint8_t* br[3];
      for (int i = 0; i < 3; ++i) br[i] = bytes.data() + size_t(s[i]) * rowBytes;
      FilterRowWide(br, w, D, C, W, x1, x2 - 1, out.data());
    }
    std::memcpy(temp.ScanLine(y - y1), out.data() + size_t(x1) * size_t(C), size_t(x2 - x1) * size_t(C));
    if (Progress && Progress->fOnProgress) {
      const int32_t per = int32_t(double(y - y1 + 1) * step);
      if (per != lastPer) Progress->fOnProgress(Progress->Sender, per);
      lastPer = per;
    }
  }
  temp.CopyRectTo(Bitmap, 0, 0, x1, y1, x2 - x1, y2 - y1);
}

}  // namespace

void VXApplyFilter3x3(TVXBitmap* Bitmap, const TGraphFilter& Filter, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      TProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  Filter3x3(Bitmap, Filter, x1, y1, x2, y2, 3, &Progress);
}

void VXApplyFilter3x3Gray(TVXBitmap* Bitmap, const TGraphFilter& Filter, int32_t x1, int32_t y1, int32_t x2,
                          int32_t y2) {
  if (!Bitmap || Bitmap->PixelFormat() != vx8g || Bitmap->IsEmpty()) return;
  Filter3x3(Bitmap, Filter, x1, y1, x2, y2, 1, nullptr);
}

namespace {

void PutInt(uint8_t* p, int32_t v) {
  const uint32_t u = uint32_t(v);
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(u >> (8 * i));
}

int32_t GetInt(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}

}  // namespace

bool VXLoadGraphFilter(const std::string& FileName, TGraphFilter& Filter) {
  std::ifstream f(FileName, std::ios::binary);
  if (!f) return false;
  uint8_t data[43];
  f.read(reinterpret_cast<char*>(data), sizeof data);
  if (f.gcount() != std::streamsize(sizeof data)) return false;
  if (data[0] != 1 || data[1] != 3 || data[2] != 3) return false;
  for (int i = 0; i < 9; ++i) Filter.Values[i / 3][i % 3] = GetInt(data + 3 + 4 * i);
  Filter.Divisor = GetInt(data + 39);
  return true;
}

void VXSaveGraphFilter(const std::string& FileName, const TGraphFilter& Filter) {
  uint8_t data[43] = {1, 3, 3};
  for (int i = 0; i < 9; ++i) PutInt(data + 3 + 4 * i, Filter.Values[i / 3][i % 3]);
  PutInt(data + 39, Filter.Divisor);
  std::ofstream f(FileName, std::ios::binary | std::ios::trunc);
  if (!f) throw EVXException("Cannot create file \"" + FileName + "\"");
  f.write(reinterpret_cast<const char*>(data), sizeof data);
  if (!f) throw EVXException("Cannot write file \"" + FileName + "\"");
}

void VXGraphFilterToText(const TGraphFilter& Filter, std::string& Text) {
  Text.clear();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) Text += std::to_string(Filter.Values[r][c]) + "/" + std::to_string(Filter.Divisor);
}
