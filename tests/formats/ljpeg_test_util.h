// A lossless JPEG encoder for the decoder's tests, written from the coding
// rules of the lossless process: differences modulo 2^16 against the
// predictor, Huffman categories with their extra bits, byte stuffing and
// restart markers at interval ends. Its tables are fixed (they hold every
// category, codes up to 12 bits long).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ljpegtest {

struct TEncodeOptions {
  int32_t Precision = 8;
  int32_t Width = 1, Height = 1, Components = 1;
  int32_t Selection = 1;       // predictor 1..7
  int32_t PointTransform = 0;
  int32_t RestartInterval = 0;  // in pixels (MCUs), 0 none
  bool TablePerComponent = false;
};

// The fixed code: categories 0..16 in order, lengths 3 (six of them), 4
// (three), then 5 to 12. Shift gives a second table with the categories
// rotated, so that decoding with the wrong table shows.
inline void TableCodes(int Shift, std::vector<uint8_t>& Counts, std::vector<uint8_t>& Symbols,
                       std::vector<uint32_t>& Code, std::vector<int>& Length) {
  Counts.assign(16, 0);
  Counts[2] = 6;
  Counts[3] = 3;
  for (int len = 5; len <= 12; ++len) Counts[size_t(len - 1)] = 1;
  Symbols.clear();
  for (int i = 0; i < 17; ++i) Symbols.push_back(uint8_t((i + Shift) % 17));
  Code.assign(17, 0);
  Length.assign(17, 0);
  uint32_t code = 0;
  size_t k = 0;
  for (int len = 1; len <= 16; ++len) {
    for (int i = 0; i < Counts[size_t(len - 1)]; ++i, ++k) {
      Code[Symbols[k]] = code++;
      Length[Symbols[k]] = len;
    }
    code <<= 1;
  }
}

class TBitWriter {
 public:
  explicit TBitWriter(std::vector<uint8_t>& Out) : fOut(Out) {}
  void Put(uint32_t Value, int Count) {
    for (int i = Count - 1; i >= 0; --i) {
      fAcc = uint8_t((fAcc << 1) | ((Value >> i) & 1));
      if (++fBits == 8) Emit();
    }
  }
  // Pads the last byte with 1 bits.
  void Flush() {
    while (fBits != 0) Put(1, 1);
  }

 private:
  void Emit() {
    fOut.push_back(fAcc);
    if (fAcc == 0xFF) fOut.push_back(0x00);
    fAcc = 0;
    fBits = 0;
  }
  std::vector<uint8_t>& fOut;
  uint8_t fAcc = 0;
  int fBits = 0;
};

inline void Put16(std::vector<uint8_t>& V, uint32_t X) {
  V.push_back(uint8_t(X >> 8));
  V.push_back(uint8_t(X));
}

// Samples hold Height rows of Width x Components interleaved values.
inline std::vector<uint8_t> EncodeLossless(const std::vector<uint16_t>& Samples, const TEncodeOptions& O) {
  const int nf = O.Components;
  std::vector<uint8_t> out = {0xFF, 0xD8};
  // Frame header.
  out.insert(out.end(), {0xFF, 0xC3});
  Put16(out, uint32_t(8 + 3 * nf));
  out.push_back(uint8_t(O.Precision));
  Put16(out, uint32_t(O.Height));
  Put16(out, uint32_t(O.Width));
  out.push_back(uint8_t(nf));
  for (int c = 0; c < nf; ++c) out.insert(out.end(), {uint8_t(c + 1), 0x11, 0x00});
  // Tables: one, or one per component in one segment.
  const int tables = O.TablePerComponent ? nf : 1;
  std::vector<std::vector<uint32_t>> codes{size_t(tables)};
  std::vector<std::vector<int>> lengths{size_t(tables)};
  std::vector<uint8_t> dht;
  for (int t = 0; t < tables; ++t) {
    std::vector<uint8_t> counts, symbols;
    TableCodes(t * 5, counts, symbols, codes[size_t(t)], lengths[size_t(t)]);
    dht.push_back(uint8_t(t));
    dht.insert(dht.end(), counts.begin(), counts.end());
    dht.insert(dht.end(), symbols.begin(), symbols.end());
  }
  out.insert(out.end(), {0xFF, 0xC4});
  Put16(out, uint32_t(2 + dht.size()));
  out.insert(out.end(), dht.begin(), dht.end());
  if (O.RestartInterval > 0) {
    out.insert(out.end(), {0xFF, 0xDD, 0x00, 0x04});
    Put16(out, uint32_t(O.RestartInterval));
  }
  // Scan header.
  out.insert(out.end(), {0xFF, 0xDA});
  Put16(out, uint32_t(6 + 2 * nf));
  out.push_back(uint8_t(nf));
  for (int c = 0; c < nf; ++c) out.insert(out.end(), {uint8_t(c + 1), uint8_t(O.TablePerComponent ? c << 4 : 0)});
  out.insert(out.end(), {uint8_t(O.Selection), 0x00, uint8_t(O.PointTransform)});

  TBitWriter bits(out);
  const int w = O.Width;
  auto at = [&](int x, int y, int c) -> int32_t {
    return int32_t(Samples[(size_t(y) * size_t(w) + size_t(x)) * size_t(nf) + size_t(c)] >> O.PointTransform);
  };
  int64_t mcu = 0;
  int restarts = 0;
  int32_t intervalStartRow = 0;
  for (int y = 0; y < O.Height; ++y) {
    for (int x = 0; x < w; ++x, ++mcu) {
      if (O.RestartInterval > 0 && mcu > 0 && mcu % O.RestartInterval == 0) {
        bits.Flush();
        out.push_back(0xFF);
        out.push_back(uint8_t(0xD0 + restarts++ % 8));
        intervalStartRow = y;  // intervals are whole rows
      }
      for (int c = 0; c < nf; ++c) {
        int32_t pred;
        if (y == intervalStartRow) {
          pred = x == 0 ? (1 << (O.Precision - O.PointTransform - 1)) : at(x - 1, y, c);
        } else if (x == 0) {
          pred = at(x, y - 1, c);
        } else {
          const int32_t a = at(x - 1, y, c), b = at(x, y - 1, c), cc = at(x - 1, y - 1, c);
          switch (O.Selection) {
            case 1: pred = a; break;
            case 2: pred = b; break;
            case 3: pred = cc; break;
            case 4: pred = a + b - cc; break;
            case 5: pred = a + ((b - cc) >> 1); break;
            case 6: pred = b + ((a - cc) >> 1); break;
            default: pred = (a + b) >> 1; break;
          }
        }
        int32_t diff = (at(x, y, c) - pred) & 0xFFFF;
        if (diff > 32768) diff -= 65536;
        int ssss = 0;
        for (int32_t m = diff < 0 ? -diff : diff; m != 0; m >>= 1) ++ssss;
        const size_t t = O.TablePerComponent ? size_t(c) : 0;
        bits.Put(codes[t][size_t(ssss)], lengths[t][size_t(ssss)]);
        if (ssss > 0 && ssss < 16) bits.Put(uint32_t(diff > 0 ? diff : diff - 1) & ((1u << ssss) - 1), ssss);
      }
    }
  }
  bits.Flush();
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

}  // namespace ljpegtest
