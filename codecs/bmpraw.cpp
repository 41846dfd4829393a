// Raw pixel data reading and writing.
#include "codecs/bmpraw.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/pixels.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "io/params.h"

namespace {

// How one pixel format is laid out as samples.
struct TLayout {
  int Channels = 0;     // samples per pixel (0: the format is not handled)
  int SampleBytes = 1;  // 1, 2 or 4 (float)
  bool Float = false;
  bool Planar = false;  // planes are possible (vx24RGB, vx48RGB, vxCMYK)
};

TLayout LayoutOf(TVXPixelFormat pf) {
  switch (pf) {
    case vx1g: return {1, 1, false, false};
    case vx8p:
    case vx8g: return {1, 1, false, false};
    case vx16g: return {1, 2, false, false};
    case vx32f: return {1, 4, true, false};
    case vx24RGB: return {3, 1, false, true};
    case vx48RGB: return {3, 2, false, true};
    case vxCMYK: return {4, 1, false, true};
    default: return {};
  }
}

// Red and blue exchanged in a row: for vx24RGB (blue first) the data in
// red-first order needs it, for vx48RGB (red first) the data in blue-first
// order does.
bool NeedsExchange(TVXPixelFormat pf, TIOBMPRAWChannelOrder order) {
  return (pf == vx24RGB && order == coRGB) || (pf == vx48RGB && order == coBGR);
}

void ExchangeRedBlue(uint8_t* Row, int32_t Width, TVXPixelFormat pf) {
  if (pf == vx24RGB) {
    for (int32_t x = 0; x < Width; ++x) std::swap(Row[3 * x], Row[3 * x + 2]);
  } else {
    uint16_t* w = reinterpret_cast<uint16_t*>(Row);
    for (int32_t x = 0; x < Width; ++x) std::swap(w[3 * x], w[3 * x + 2]);
  }
}

// Reads text samples: decimal digit runs (with a sign, one "." and an
// exponent when Float), or runs of 0-9 and A-F; anything else separates.
class TTextSamples {
 public:
  TTextSamples(TStream* In, TIOBMPRAWDataFormat Format, bool Float) : fIn(In), fHex(Format == dfTextHex), fFloat(Float) {}

  // The next sample as text; empty at the end of the stream.
  std::string Next() {
    std::string t;
    int c;
    while ((c = Get()) >= 0 && !Starts(c)) {
    }
    while (c >= 0 && Continues(c, t)) {
      if (t.size() < 34) t += char(c);
      c = Get();
    }
    return t;
  }

 private:
  int Get() {
    uint8_t b;
    return fIn->Read(&b, 1) == 1 ? b : -1;
  }
  bool Starts(int c) const {
    if (fHex) return std::isdigit(c) || (c >= 'A' && c <= 'F');
    return std::isdigit(c) || (fFloat && (c == '-' || c == '+' || c == '.'));
  }
  bool Continues(int c, const std::string& t) const {
    if (fHex) return std::isdigit(c) || (c >= 'A' && c <= 'F');
    if (std::isdigit(c)) return true;
    if (!fFloat) return false;
    if (t.empty()) return c == '-' || c == '+' || c == '.';
    if (c == '.') return t.find_first_of(".eE") == std::string::npos;
    if (c == 'e' || c == 'E') return t.find_first_of("eE") == std::string::npos;
    if (c == '-' || c == '+') return t.back() == 'e' || t.back() == 'E';
    return false;
  }
  TStream* fIn;
  bool fHex, fFloat;
};

uint32_t IntegerOf(const std::string& t, bool Hex) {
  if (t.empty()) return 0;
  const unsigned long long v = std::strtoull(t.c_str(), nullptr, Hex ? 16 : 10);
  return uint32_t(std::min<unsigned long long>(v, 0xFFFFFFFFull));
}

// Stores one text sample into a row at sample index i.
void StoreSample(uint8_t* Row, size_t i, const std::string& t, const TLayout& L, bool Hex) {
  if (L.Float) {
    const float f = t.empty() ? 0.0f : float(std::strtod(t.c_str(), nullptr));
    std::memcpy(Row + 4 * i, &f, 4);
  } else if (L.SampleBytes == 2) {
    const uint16_t v = uint16_t(IntegerOf(t, Hex));
    std::memcpy(Row + 2 * i, &v, 2);
  } else {
    Row[i] = uint8_t(IntegerOf(t, Hex));
  }
}

std::string SampleText(const uint8_t* Row, size_t i, const TLayout& L, bool Hex) {
  char buf[64];
  if (L.Float) {
    float f;
    std::memcpy(&f, Row + 4 * i, 4);
    std::snprintf(buf, sizeof buf, "%.9g", double(f));
    return buf;
  }
  uint32_t v;
  if (L.SampleBytes == 2) {
    uint16_t w;
    std::memcpy(&w, Row + 2 * i, 2);
    v = w;
  } else {
    v = Row[i];
  }
  std::snprintf(buf, sizeof buf, Hex ? "%04X" : "%u", v);
  return buf;
}

inline bool BitOf(const uint8_t* Row, int32_t x) { return (Row[x >> 3] & (0x80 >> (x & 7))) != 0; }

}  // namespace

void VXReadBMPRAWStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) return;
  const TIOParamsVals& P = IOParams;
  const TVXPixelFormat pf = Bitmap->PixelFormat();
  const TLayout L = LayoutOf(pf);
  if (L.Channels == 0) return;
  const bool text = P.BMPRAW_DataFormat() != dfBinary;
  const bool hex = P.BMPRAW_DataFormat() == dfTextHex;
  if (text && hex && L.Float) throw EVXException("Format unsupported");
  TVXBufferedReadStream in(Stream, 8192, false);
  if (P.BMPRAW_HeaderSize() > 0) in.Seek(P.BMPRAW_HeaderSize(), soCurrent);
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const int32_t align = P.BMPRAW_RowAlign() > 0 ? P.BMPRAW_RowAlign() : 8;
  const bool planar = L.Planar && P.BMPRAW_Planes() == plPlanar;
  TTextSamples samples(&in, P.BMPRAW_DataFormat(), L.Float);
  int32_t last = -1;

  if (!planar) {
    const int64_t bitmapRow = Bitmap->RowLen();
    const int64_t dataRow = VXBitmapRowLen(W, VXPixelFormatBitCount[pf], align);
    const int64_t take = std::min(bitmapRow, dataRow);
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* row = static_cast<uint8_t*>(Bitmap->GetScanLine(y));
      if (!text) {
        if (in.Read(row, take) < take) break;
        if (dataRow > take) in.Seek(dataRow - take, soCurrent);
      } else if (pf == vx1g) {
        // A sample per pixel: 0 black, anything else white.
        for (int32_t x = 0; x < W; ++x) {
          const std::string t = samples.Next();
          if (IntegerOf(t, hex) != 0)
            row[x >> 3] |= uint8_t(0x80 >> (x & 7));
          else
            row[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
        }
      } else {
        const size_t n = size_t(W) * L.Channels;
        for (size_t i = 0; i < n; ++i) StoreSample(row, i, samples.Next(), L, hex);
      }
      if (NeedsExchange(pf, P.BMPRAW_ChannelOrder())) ExchangeRedBlue(row, W, pf);
      VXReportProgress(Progress, int32_t((y + 1) * 100.0 / H), last);
      if (aborting) break;
    }
    return;
  }

  // Planes: whole images of one channel, in the order of the bitmap's bytes.
  const int sampleBits = L.SampleBytes * 8;
  const int64_t planeRow = VXBitmapRowLen(W, sampleBits, align);
  std::vector<uint8_t> line(size_t(std::max<int64_t>(planeRow, int64_t(W) * L.SampleBytes)));
  const size_t stride = size_t(L.Channels) * L.SampleBytes;
  for (int c = 0; c < L.Channels && !aborting; ++c) {
    VXReportProgress(Progress, int32_t(c * 100 / L.Channels), last);
    for (int32_t y = 0; y < H; ++y) {
      if (!text) {
        if (in.Read(line.data(), planeRow) < planeRow) break;
      } else {
        TLayout one = L;
        for (int32_t x = 0; x < W; ++x) StoreSample(line.data(), size_t(x), samples.Next(), one, hex);
      }
      uint8_t* row = static_cast<uint8_t*>(Bitmap->GetScanLine(y));
      for (int32_t x = 0; x < W; ++x)
        std::memcpy(row + size_t(x) * stride + size_t(c) * L.SampleBytes, line.data() + size_t(x) * L.SampleBytes,
                    size_t(L.SampleBytes));
    }
  }
  if (pf != vxCMYK && NeedsExchange(pf, P.BMPRAW_ChannelOrder()))
    for (int32_t y = 0; y < H; ++y) ExchangeRedBlue(static_cast<uint8_t*>(Bitmap->GetScanLine(y)), W, pf);
  VXReportProgress(Progress, 100, last);
}

void VXWriteBMPRAWStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
    aborting = true;
    return;
  }
  const TIOParamsVals& P = IOParams;
  const TVXPixelFormat pf = Bitmap->PixelFormat();
  const TLayout L = LayoutOf(pf);
  if (L.Channels == 0) return;
  const bool text = P.BMPRAW_DataFormat() != dfBinary;
  const bool hex = P.BMPRAW_DataFormat() == dfTextHex;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const int32_t align = P.BMPRAW_RowAlign() > 0 ? P.BMPRAW_RowAlign() : 8;
  const bool planar = L.Planar && P.BMPRAW_Planes() == plPlanar;
  const bool exchange = NeedsExchange(pf, P.BMPRAW_ChannelOrder());
  TVXBufferedWriteStream out(Stream, 8192);
  auto put = [&](const void* d, int64_t n) {
    if (n > 0 && out.Write(d, n) != n) aborting = true;
  };
  auto putText = [&](const std::string& s) {
    const std::string line = s + "\n";
    put(line.data(), int64_t(line.size()));
  };
  int32_t last = -1;
  std::vector<uint8_t> work(size_t(Bitmap->RowLen()));

  if (!planar) {
    const int64_t dataRow = VXBitmapRowLen(W, VXPixelFormatBitCount[pf], align);
    const int64_t take = std::min<int64_t>(Bitmap->RowLen(), dataRow);
    const std::vector<uint8_t> gap(size_t(std::max<int64_t>(0, dataRow - take)), 0);
    for (int32_t y = 0; y < H && !aborting; ++y) {
      // A row buffer: the caller's bitmap is never changed.
      std::memcpy(work.data(), Bitmap->GetScanLine(y), work.size());
      if (exchange) ExchangeRedBlue(work.data(), W, pf);
      if (!text) {
        put(work.data(), take);
        put(gap.data(), int64_t(gap.size()));
      } else if (pf == vx1g) {
        for (int32_t x = 0; x < W; ++x) putText(hex ? (BitOf(work.data(), x) ? "0001" : "0000") : (BitOf(work.data(), x) ? "1" : "0"));
      } else {
        const size_t n = size_t(W) * L.Channels;
        for (size_t i = 0; i < n; ++i) putText(SampleText(work.data(), i, L, hex));
      }
      VXReportProgress(Progress, int32_t((y + 1) * 100.0 / H), last);
    }
  } else {
    // Planes red, green, blue for red-first data and blue, green, red for
    // blue-first data; CMYK in byte order.
    int order[4] = {0, 1, 2, 3};
    if (pf == vx24RGB && P.BMPRAW_ChannelOrder() == coRGB) order[0] = 2, order[2] = 0;
    if (pf == vx48RGB && P.BMPRAW_ChannelOrder() == coBGR) order[0] = 2, order[2] = 0;
    const int64_t planeRow = VXBitmapRowLen(W, L.SampleBytes * 8, align);
    std::vector<uint8_t> line(size_t(std::max<int64_t>(planeRow, int64_t(W) * L.SampleBytes)), 0);
    const size_t stride = size_t(L.Channels) * L.SampleBytes;
    TLayout one = L;
    for (int k = 0; k < L.Channels && !aborting; ++k) {
      const int c = order[k];
      VXReportProgress(Progress, int32_t(k * 100 / L.Channels), last);
      for (int32_t y = 0; y < H && !aborting; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(Bitmap->GetScanLine(y));
        std::fill(line.begin(), line.end(), 0);
        for (int32_t x = 0; x < W; ++x)
          std::memcpy(line.data() + size_t(x) * L.SampleBytes, row + size_t(x) * stride + size_t(c) * L.SampleBytes,
                      size_t(L.SampleBytes));
        if (!text) {
          put(line.data(), planeRow);
        } else {
          for (int32_t x = 0; x < W; ++x) putText(SampleText(line.data(), size_t(x), one, hex));
        }
      }
    }
    VXReportProgress(Progress, 100, last);
  }
  try {
    out.Flush();
  } catch (const EVXException&) {
    aborting = true;
  }
}
