// Lossless JPEG decoding: streams of the test encoder with every predictor,
// point transform and restart layout, DCMTK's fragments with dcmdjpeg as the
// judge, hand-assembled streams for the table rules, and damaged input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../codecs/jpeg_test_util.h"
#include "core/streams.h"
#include "formats/ljpeg.h"
#include "ljpeg_test_util.h"

namespace {

using jpegtest::HaveTool;
using jpegtest::ReadFile;
using jpegtest::ScratchDir;
using jpegtest::WriteFile;
using ljpegtest::EncodeLossless;
using ljpegtest::TEncodeOptions;

const std::string kOracle = std::string(VX_SOURCE_DIR) + "/tests/formats/ljpeg_oracle.py";

bool HaveDcmtk() {
  return HaveTool("/usr/bin/dcmcjpeg") && HaveTool("/usr/bin/dcmdjpeg") && HaveTool("/usr/bin/python3") &&
         jpegtest::Shell("/usr/bin/python3 -c 'import pydicom'") == 0;
}

// Rows of a picture with smooth slopes, noise and sharp edges, so that
// every category of difference turns up, in Bits bits.
std::vector<uint16_t> Picture(int W, int H, int Nf, int Bits, uint32_t Seed) {
  std::vector<uint16_t> s(size_t(W) * size_t(H) * size_t(Nf));
  uint32_t r = Seed;
  const uint32_t max = (1u << Bits) - 1;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      for (int c = 0; c < Nf; ++c) {
        r = r * 1664525u + 1013904223u;
        uint32_t v = uint32_t(x * 37 + y * 11 + c * 50) * (max / 255 + 1) / 2 + (r >> 24) % 9;
        if ((x / 5 + y / 3 + c) % 4 == 0) v = max - v % (max + 1);  // edges
        if ((r >> 8) % 23 == 0) v = r >> (32 - Bits);                 // isolated jumps
        s[(size_t(y) * size_t(W) + size_t(x)) * size_t(Nf) + size_t(c)] = uint16_t(v & max);
      }
  return s;
}

struct TDecoded {
  bool Ok = false;
  std::vector<uint16_t> Samples;  // as 16-bit values, whichever block got them
  std::vector<int32_t> Percents;
};

// Decodes with a block of exactly Samples samples of the kind the precision asks for.
TDecoded Decode(const std::vector<uint8_t>& Data, int64_t Samples, bool Eight, int32_t Length = -1) {
  TDecoded d;
  TVXMemStream in(Data.data(), int64_t(Data.size()));
  TProgressRec progress;
  progress.fOnProgress = [&](void*, int32_t p) { d.Percents.push_back(p); };
  std::vector<uint16_t> out16(size_t(Samples), 0xABCD);
  std::vector<uint8_t> out8(size_t(Samples), 0xAB);
  d.Ok = DecodeLosslessJpeg(&in, Eight ? nullptr : out16.data(), Eight ? out8.data() : nullptr, Samples, progress,
                            Length < 0 ? int32_t(Data.size()) : Length);
  if (Eight)
    d.Samples.assign(out8.begin(), out8.end());
  else
    d.Samples = out16;
  return d;
}

std::vector<uint16_t> Quantized(std::vector<uint16_t> S, int Pt) {
  for (auto& v : S) v = uint16_t((v >> Pt) << Pt);
  return S;
}

// The oracle's raw samples (bytes or 16-bit little-endian words) as values.
std::vector<uint16_t> RawSamples(const std::vector<uint8_t>& Raw, size_t Count, bool Eight) {
  std::vector<uint16_t> v(Count);
  for (size_t i = 0; i < Count && (Eight ? i : 2 * i + 1) < Raw.size(); ++i)
    v[i] = Eight ? Raw[i] : uint16_t(Raw[2 * i] | (Raw[2 * i + 1] << 8));
  return v;
}

std::vector<uint8_t> RawBytes(const std::vector<uint16_t>& S, bool Eight) {
  std::vector<uint8_t> b;
  for (uint16_t v : S) {
    b.push_back(uint8_t(v));
    if (!Eight) b.push_back(uint8_t(v >> 8));
  }
  return b;
}

TEST(LosslessJpeg, EveryPredictorPointTransformAndRestartLayoutRoundTrips) {
  struct Case {
    int P, Nf, W, H, RiRows;
    bool TablePerComponent;
  };
  const Case cases[] = {
      {8, 1, 13, 10, 0, false}, {8, 1, 13, 10, 1, false}, {8, 1, 13, 10, 3, false},
      {8, 3, 9, 7, 0, true},    {8, 3, 9, 7, 2, false},   {12, 1, 11, 6, 0, false},
      {16, 1, 13, 10, 3, false}, {16, 1, 5, 4, 1, false}, {16, 3, 6, 5, 0, true},
      {16, 2, 6, 5, 4, false},  {2, 1, 7, 3, 0, false},
  };
  for (const Case& k : cases)
    for (int ss = 1; ss <= 7; ++ss)
      for (int pt = 0; pt <= 2; ++pt) {
        SCOPED_TRACE("P " + std::to_string(k.P) + " Nf " + std::to_string(k.Nf) + " Ri rows " +
                     std::to_string(k.RiRows) + " Ss " + std::to_string(ss) + " Pt " + std::to_string(pt));
        if (pt >= k.P - 1) continue;
        TEncodeOptions o;
        o.Precision = k.P;
        o.Width = k.W;
        o.Height = k.H;
        o.Components = k.Nf;
        o.Selection = ss;
        o.PointTransform = pt;
        o.RestartInterval = k.RiRows * k.W;
        o.TablePerComponent = k.TablePerComponent;
        const auto src = Picture(k.W, k.H, k.Nf, k.P, uint32_t(ss * 7 + pt));
        const auto jpg = EncodeLossless(src, o);
        const TDecoded d = Decode(jpg, int64_t(src.size()), k.P == 8);
        ASSERT_TRUE(d.Ok);
        EXPECT_EQ(d.Samples, Quantized(src, pt));
      }
}

// The decoder's reading of restarts agrees with DCMTK's: intervals of three
// rows (the last interval holds the tenth row alone) and of one row, where
// the first line of each interval is predicted from the left only.
TEST(LosslessJpeg, RestartIntervalsDecodeAsDcmdjpegDoes) {
  if (!HaveDcmtk()) GTEST_SKIP() << "dcmtk or python3-pydicom missing (bash scripts/setup --tests)";
  for (int bits : {8, 16}) {
    struct Frame {
      std::string Name;
      int Pt;
      std::vector<uint16_t> Source;
      std::vector<uint8_t> Jpeg;
    };
    std::vector<Frame> frames;
    ScratchDir dir;
    std::string names;
    for (int riRows : {3, 1})
      for (int pt : {0, 1}) {
        TEncodeOptions o;
        o.Precision = bits;
        o.Width = 12;
        o.Height = 10;
        o.Selection = 7;
        o.PointTransform = pt;
        o.RestartInterval = riRows * o.Width;
        Frame f{dir / ("ri" + std::to_string(riRows) + "-pt" + std::to_string(pt)), pt,
                Picture(o.Width, o.Height, 1, bits, 99), {}};
        f.Jpeg = EncodeLossless(f.Source, o);
        WriteFile(f.Name + ".jpg", f.Jpeg);
        names += " " + f.Name + ".jpg";
        frames.push_back(f);
      }
    ASSERT_EQ(jpegtest::Shell("/usr/bin/python3 " + kOracle + " decode 12 10 1 " + std::to_string(bits) + names), 0);
    for (const Frame& f : frames) {
      SCOPED_TRACE(f.Name + " bits " + std::to_string(bits));
      const auto judge = RawSamples(ReadFile(f.Name + ".raw"), f.Source.size(), bits == 8);
      EXPECT_EQ(judge, Quantized(f.Source, f.Pt));
      const TDecoded d = Decode(f.Jpeg, int64_t(f.Source.size()), bits == 8);
      ASSERT_TRUE(d.Ok);
      EXPECT_EQ(d.Samples, judge);
    }
  }
}

TEST(LosslessJpeg, DcmcjpegFragmentsDecodeToDcmdjpegSamples) {
  if (!HaveDcmtk()) GTEST_SKIP() << "dcmtk or python3-pydicom missing (bash scripts/setup --tests)";
  struct Case {
    int Nf, Bits;
  };
  for (const Case k : {Case{3, 8}, Case{1, 16}}) {
    const int w = 19, h = 11;
    const auto src = Picture(w, h, k.Nf, k.Bits, 5);
    ScratchDir dir;
    WriteFile(dir / "source.raw", RawBytes(src, k.Bits == 8));
    std::string pairs;
    for (int sv = 1; sv <= 7; ++sv)
      for (int pt = 0; pt <= 2; ++pt) pairs += " " + std::to_string(sv) + "," + std::to_string(pt);
    ASSERT_EQ(jpegtest::Shell("/usr/bin/python3 " + kOracle + " encode " + std::to_string(w) + " " +
                              std::to_string(h) + " " + std::to_string(k.Nf) + " " + std::to_string(k.Bits) + " " +
                              (dir / "source.raw") + " " + dir.Path + pairs),
              0);
    for (int sv = 1; sv <= 7; ++sv)
      for (int pt = 0; pt <= 2; ++pt) {
        SCOPED_TRACE("components " + std::to_string(k.Nf) + " sv " + std::to_string(sv) + " pt " +
                     std::to_string(pt));
        const std::string name = dir / (std::to_string(sv) + "-" + std::to_string(pt));
        const auto judge = RawSamples(ReadFile(name + ".raw"), src.size(), k.Bits == 8);
        EXPECT_EQ(judge, Quantized(src, pt));
        const TDecoded d = Decode(ReadFile(name + ".jpg"), int64_t(src.size()), k.Bits == 8);
        ASSERT_TRUE(d.Ok);
        EXPECT_EQ(d.Samples, judge);
      }
  }
}

// A hand-assembled 8-bit frame of one row of four samples with Pt = Pt and
// a table of two codes: '0' category 0 and '10' category 2; '11' is no code
// and takes the last category listed.
std::vector<uint8_t> TinyFrame(int Pt, const std::vector<uint8_t>& Data) {
  std::vector<uint8_t> s = {0xFF, 0xD8, 0xFF, 0xC3, 0x00, 0x0B, 0x08, 0x00, 0x01, 0x00, 0x04, 0x01, 0x01, 0x11, 0x00,
                            0xFF, 0xC4, 0x00, 0x15, 0x00, 0x01, 0x01};
  s.insert(s.end(), 14, 0x00);
  s.insert(s.end(), {0x00, 0x02, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x00, uint8_t(Pt)});
  s.insert(s.end(), Data.begin(), Data.end());
  s.insert(s.end(), {0xFF, 0xD9});
  return s;
}

TEST(LosslessJpeg, HandAssembledFramesGiveTheirKnownSamples) {
  struct Case {
    const char* Name;
    int Pt;
    std::vector<uint8_t> Data;
    std::vector<uint16_t> Expected;
  };
  const Case cases[] = {
      // 10 11 | 0 | 11 00 | 10 01, padded with 1 bits: +3 from 2^(8-1-1), 0,
      // no code (category 2) 00 = -3, -2; shifted left by Pt = 1.
      {"point transform and a missing code", 1, {0xB6, 0x4F}, {134, 134, 128, 124}},
      // 11 11 | 11 11 | 0 | 0: +3, +3, 0, 0 from 128; the byte FF is stuffed.
      {"stuffed FF", 0, {0xFF, 0x00, 0x3F}, {131, 134, 134, 134}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.Name);
    const auto frame = TinyFrame(k.Pt, k.Data);
    ASSERT_GE(frame.size(), 32u);
    const TDecoded d = Decode(frame, 4, true);
    ASSERT_TRUE(d.Ok);
    EXPECT_EQ(d.Samples, k.Expected);
    ASSERT_FALSE(d.Percents.empty());
    for (size_t i = 1; i < d.Percents.size(); ++i) EXPECT_GT(d.Percents[i], d.Percents[i - 1]);
    EXPECT_LE(d.Percents.back(), 100);
  }
}

// Tables are numbered in the order of the segment whatever their
// identifiers: three components coded with three tables still decode when
// every table says it is table 3.
TEST(LosslessJpeg, TablesAreTakenInTheOrderTheyCome) {
  TEncodeOptions o;
  o.Width = 6;
  o.Height = 4;
  o.Components = 3;
  o.TablePerComponent = true;
  const auto src = Picture(6, 4, 3, 8, 3);
  auto jpg = EncodeLossless(src, o);
  size_t dht = 0;
  while (!(jpg[dht] == 0xFF && jpg[dht + 1] == 0xC4)) ++dht;
  for (int t = 0; t < 3; ++t) {
    const size_t idByte = dht + 4 + size_t(t) * (17 + 17);
    ASSERT_EQ(jpg[idByte], t);
    jpg[idByte] = 0x03;
  }
  const TDecoded d = Decode(jpg, int64_t(src.size()), true);
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Samples, src);
}

TEST(LosslessJpeg, DamagedOrUnfittingFramesAreRefused) {
  TEncodeOptions o;
  o.Precision = 16;
  o.Width = 20;
  o.Height = 8;
  o.RestartInterval = 2 * 20;
  const auto src = Picture(20, 8, 1, 16, 11);
  const auto good = EncodeLossless(src, o);
  const int64_t n = int64_t(src.size());
  auto find = [&](const std::vector<uint8_t>& v, uint8_t Marker) {
    for (size_t i = 0; i + 1 < v.size(); ++i)
      if (v[i] == 0xFF && v[i + 1] == Marker) return i;
    return v.size();
  };
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    int64_t Samples;
    bool Eight;
  };
  std::vector<Case> cases;
  auto with = [&](const char* Name, auto Change) {
    std::vector<uint8_t> v = good;
    Change(v);
    cases.push_back({Name, v, n, false});
  };
  with("frame not lossless", [&](auto& v) { v[find(v, 0xC3) + 1] = 0xC1; });
  with("eighteen symbols", [&](auto& v) { v[find(v, 0xC4) + 5 + 15] = 2; });  // 16-bit count
  with("symbol 17", [&](auto& v) { v[find(v, 0xC4) + 5 + 16] = 17; });
  with("no table", [&](auto& v) { v[find(v, 0xC4) + 1] = 0xFE; });  // becomes a comment
  with("segment past the end", [&](auto& v) { v[find(v, 0xDD) + 2] = 0xF0; });
  with("no scan", [&](auto& v) { v.resize(find(v, 0xDA)); });
  with("truncated data", [&](auto& v) { v.resize(v.size() - 40); });
  with("restart marker lost", [&](auto& v) { v[find(v, 0xD2) + 1] = 0x12; });
  with("restarts inside a row", [&](auto& v) { v[find(v, 0xDD) + 5] = 30; });
  with("scan of other components", [&](auto& v) { v[find(v, 0xC3) + 9] = 2; });
  with("zero width", [&](auto& v) { v[find(v, 0xC3) + 7] = 0, v[find(v, 0xC3) + 8] = 0; });
  cases.push_back({"block one sample short", good, n - 1, false});
  cases.push_back({"16-bit frame into a byte block", good, n, true});
  cases.push_back({"under 32 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 31), n, false});
  for (const Case& k : cases) {
    SCOPED_TRACE(k.Name);
    EXPECT_FALSE(Decode(k.Data, k.Samples, k.Eight).Ok);
  }
  // The reference itself decodes, and a truncated frame keeps what it decoded.
  EXPECT_TRUE(Decode(good, n, false).Ok);
  const TDecoded cut = Decode(cases[6].Data, n, false);
  EXPECT_EQ(std::vector<uint16_t>(cut.Samples.begin(), cut.Samples.begin() + 20),
            std::vector<uint16_t>(src.begin(), src.begin() + 20));
}

}  // namespace
