// PBM/PGM/PPM, WBMP and raw pixel data: against netpbm's tools where they
// exist, and the formats' worked values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codecs/bmpraw.h"
#include "codecs/pnm.h"
#include "codecs/wbmp.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/jpeg_test_util.h"

using namespace jpegtest;

namespace {

const std::string kNetpbm = "/usr/bin/pamdepth";
#define REQUIRE_NETPBM() \
  if (!HaveTool(kNetpbm)) GTEST_SKIP() << "netpbm missing"

struct Read {
  TVXBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  bool Aborting = false;
};

void ReadPXM(const std::vector<uint8_t>& Bytes, Read& R, bool Native = false, bool Preview = false) {
  TVXMemStream s(Bytes.data(), int64_t(Bytes.size()));
  TProgressRec p;
  p.Aborting = &R.Aborting;
  R.Params.IsNativePixelFormat = Native;
  VXReadPXMStream(&s, &R.Bitmap, R.Params, p, Preview);
}

std::vector<uint8_t> Bytes(const std::string& S) { return std::vector<uint8_t>(S.begin(), S.end()); }

std::vector<uint8_t> operator+(std::vector<uint8_t> A, const std::vector<uint8_t>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

std::vector<uint8_t> MemoryOf(TMemoryStream& M) {
  const uint8_t* p = static_cast<const uint8_t*>(M.Memory());
  return std::vector<uint8_t>(p, p + M.Size());
}

// Samples of a plain (text) PNM as numbers, with its maxval.
struct Plain {
  std::string Magic;
  int W = 0, H = 0, Max = 1;
  std::vector<int> S;
};

Plain ReadPlain(const std::string& File) {
  Plain p;
  std::vector<std::string> t;
  std::string cur;
  for (uint8_t c : ReadFile(File)) {
    if (c == '#') cur.clear();
    if (std::isalnum(c)) {
      cur += char(c);
    } else if (!cur.empty()) {
      t.push_back(cur);
      cur.clear();
    }
  }
  if (!cur.empty()) t.push_back(cur);
  size_t i = 0;
  p.Magic = t[i++];
  p.W = std::stoi(t[i++]);
  p.H = std::stoi(t[i++]);
  if (p.Magic != "P1") p.Max = std::stoi(t[i++]);
  for (; i < t.size(); ++i) {
    if (p.Magic == "P1")
      for (char c : t[i]) p.S.push_back(c - '0');
    else
      p.S.push_back(std::stoi(t[i]));
  }
  return p;
}

}  // namespace

TEST(PnmRead, NetpbmFilesAtEveryMaxval) {
  REQUIRE_NETPBM();
  ScratchDir dir;
  ASSERT_EQ(Shell("/usr/bin/pgmramp -diagonal 23 17 > " + (dir / "g.pgm")), 0);
  ASSERT_EQ(Shell("/usr/bin/ppmpat -g2 -color=rgb:ff/00/00,rgb:00/80/ff 21 13 > " + (dir / "c.ppm")), 0);
  for (const char* src : {"g.pgm", "c.ppm"}) {
    for (int maxval : {1, 15, 255, 4095, 65535}) {
      SCOPED_TRACE(std::string(src) + " maxval " + std::to_string(maxval));
      const std::string bin = dir / "bin.pnm", plain = dir / "plain.pnm";
      ASSERT_EQ(Shell("/usr/bin/pamdepth " + std::to_string(maxval) + " " + (dir / src) + " > " + bin), 0);
      ASSERT_EQ(Shell("/usr/bin/pnmtoplainpnm " + bin + " > " + plain), 0);
      Plain ref = ReadPlain(plain);
      const int ch = ref.Magic == "P3" ? 3 : 1;
      std::vector<std::string> files = {bin, plain};
      if (ref.Magic == "P1") {
        // netpbm writes a two-level grey image as plain PBM (1 black).
        for (int& v : ref.S) v = 1 - v;
        files = {bin};
      }
      for (const std::string& file : files) {
        Read r;
        ReadPXM(ReadFile(file), r);
        ASSERT_FALSE(r.Aborting);
        ASSERT_EQ(r.Bitmap.PixelFormat(), vx24RGB);
        ASSERT_EQ(r.Bitmap.Width(), ref.W);
        int bad = 0;
        for (int y = 0; y < ref.H; ++y) {
          const uint8_t* row = static_cast<const uint8_t*>(r.Bitmap.GetScanLine(y));
          for (int x = 0; x < ref.W; ++x)
            for (int c = 0; c < 3; ++c) {
              const int v = ref.S[size_t((y * ref.W + x) * ch + (ch == 3 ? c : 0))];
              bad += row[3 * x + 2 - c] != uint8_t(int64_t(v) * 255 / ref.Max);
            }
        }
        EXPECT_EQ(bad, 0) << file;
      }
      if (maxval == 65535) {
        // Native: the samples as they are.
        Read n;
        ReadPXM(ReadFile(bin), n, true);
        EXPECT_EQ(n.Bitmap.PixelFormat(), ch == 3 ? vx48RGB : vx16g);
        const uint16_t* row = static_cast<const uint16_t*>(n.Bitmap.GetScanLine(1));
        for (int i = 0; i < ref.W * ch; ++i) EXPECT_EQ(row[i], ref.S[size_t(ref.W * ch + i)]) << i;
        EXPECT_EQ(n.Params.BitsPerSample(), 16);
      }
    }
  }
  // P1 and P4 from pbmmake, text and binary.
  ASSERT_EQ(Shell("/usr/bin/pbmmake -gray 13 5 > " + (dir / "b.pbm")), 0);
  ASSERT_EQ(Shell("/usr/bin/pnmtoplainpnm " + (dir / "b.pbm") + " > " + (dir / "p.pbm")), 0);
  const Plain ref = ReadPlain(dir / "p.pbm");
  for (const char* f : {"b.pbm", "p.pbm"}) {
    Read r;
    ReadPXM(ReadFile(dir / f), r);
    ASSERT_EQ(r.Bitmap.PixelFormat(), vx1g) << f;
    for (int y = 0; y < 5; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(r.Bitmap.GetScanLine(y));
      for (int x = 0; x < 13; ++x)
        EXPECT_EQ((row[x >> 3] >> (7 - (x & 7))) & 1, 1 - ref.S[size_t(y * 13 + x)]) << f << " " << x << "," << y;
    }
  }
}

TEST(PnmRead, WorkedValuesAndDamage) {
  // P5 with maxval 15 spreads 0..15 over 0..255; P6 with maxval 15 too.
  {
    Read r;
    ReadPXM(Bytes("P5 3 1 15\n") + std::vector<uint8_t>{0, 7, 15}, r);
    const uint8_t* row = static_cast<const uint8_t*>(r.Bitmap.GetScanLine(0));
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(row[3], 119);
    EXPECT_EQ(row[6], 255);
    Read c;
    ReadPXM(Bytes("P6 1 1 15\n") + std::vector<uint8_t>{15, 7, 20}, c);  // 20 is clamped to 15
    const uint8_t* p = static_cast<const uint8_t*>(c.Bitmap.GetScanLine(0));
    EXPECT_EQ(p[2], 255);
    EXPECT_EQ(p[1], 119);
    EXPECT_EQ(p[0], 255);
  }
  // P4 of width 10: two bytes a row, inverted.
  {
    Read r;
    ReadPXM(Bytes("P4\n10 2\n") + std::vector<uint8_t>{0xF0, 0x00, 0x0F, 0xC0}, r);
    ASSERT_EQ(r.Bitmap.PixelFormat(), vx1g);
    const uint8_t* r0 = static_cast<const uint8_t*>(r.Bitmap.GetScanLine(0));
    const uint8_t* r1 = static_cast<const uint8_t*>(r.Bitmap.GetScanLine(1));
    EXPECT_EQ(r0[0], 0x0F);
    EXPECT_EQ(r1[0], 0xF0);
    EXPECT_EQ(r1[1] & 0xC0, 0x00);
  }
  // Comments anywhere in the header, trimmed, without "#".
  {
    Read r;
    ReadPXM(Bytes("P2\n#   first comment  \n2 1\n# second\n255\n10 20\n"), r, false, true);
    ASSERT_EQ(r.Params.PXM_Comments().size(), 2u);
    EXPECT_EQ(r.Params.PXM_Comments()[0], "first comment");
    EXPECT_EQ(r.Params.PXM_Comments()[1], "second");
    EXPECT_TRUE(r.Bitmap.IsEmpty());
    EXPECT_EQ(r.Params.Width(), 2);
  }
  // Comments count against the image's text budget, each with its line
  // break, so that empty ones count too; one that does not fit is dropped
  // whole and the image still reads.
  {
    const int64_t saved = VXGetGlobalSettings()->MaxTextSize();
    VXGetGlobalSettings()->SetMaxTextSize(20);
    std::string text = "P5\n# 123456789\n# this one is far too long to fit\n";
    for (int i = 0; i < 100000; ++i) text += "#\n";
    text += "2 1 255\n";
    std::vector<uint8_t> file = Bytes(text);
    file.insert(file.end(), {7, 9});
    Read r;
    ReadPXM(file, r);
    VXGetGlobalSettings()->SetMaxTextSize(saved);
    EXPECT_FALSE(r.Aborting);
    // "123456789" takes 10 of the 20, the long one is dropped, 10 empty ones fit.
    ASSERT_EQ(r.Params.PXM_Comments().size(), 11u);
    EXPECT_EQ(r.Params.PXM_Comments()[0], "123456789");
    EXPECT_EQ(r.Params.PXM_Comments()[1], "");
    EXPECT_EQ(r.Bitmap.Width(), 2);
  }
  // Refused headers.
  for (const char* bad : {"P7 1 1 255\n", "P5 0 1 255\n", "P5 1 1 0\n", "P5 1 1 70000\n", "P5 x 1 255\n", "", "P"}) {
    Read r;
    ReadPXM(Bytes(bad), r);
    EXPECT_TRUE(r.Aborting) << bad;
  }
  // Short data: what is there is read; a file holding far less than its
  // header declares is refused before anything is allocated.
  {
    Read r;
    ReadPXM(Bytes("P6 100 100 255\n") + std::vector<uint8_t>(5000, 9), r);
    EXPECT_FALSE(r.Aborting);
    EXPECT_EQ(r.Bitmap.Width(), 100);
    EXPECT_EQ(r.Bitmap.Pixels_vx24RGB(10, 10).r, 9);
    Read s;
    ReadPXM(Bytes("P6 100 100 255\n") + std::vector<uint8_t>(10, 9), s);
    EXPECT_TRUE(s.Aborting);
    EXPECT_TRUE(s.Bitmap.IsEmpty());
    Read t;
    ReadPXM(Bytes("P2 2 501015550 9\n"), t);  // a text raster with no samples at all
    EXPECT_TRUE(t.Aborting);
  }
  // A tiny file claiming an enormous image is refused before allocating.
  {
    Read r;
    ReadPXM(Bytes("P5 2000000000 2000000000 255\n"), r);
    EXPECT_TRUE(r.Aborting);
  }
}

TEST(PnmWrite, TypesRoundTripAndPamfileAccepts) {
  ScratchDir dir;
  const bool netpbm = HaveTool("/usr/bin/pamfile");
  TVXBitmap rgb;
  ASSERT_TRUE(rgb.Allocate(7, 3, vx24RGB));
  for (int y = 0; y < 3; ++y) {
    uint8_t* row = static_cast<uint8_t*>(rgb.GetScanLine(y));
    for (int i = 0; i < 21; ++i) row[i] = uint8_t(y * 60 + i * 11);
  }
  const struct {
    int Bits, Spp;
    TVXPixelFormat Format;
    const char* Magic;
  } cases[] = {{1, 1, vx24RGB, "P4"}, {8, 1, vx24RGB, "P5"}, {8, 3, vx24RGB, "P6"}, {16, 3, vx24RGB, "P6"},
               {8, 3, vx1g, "P4"},    {8, 3, vx48RGB, "P6"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Bits) + "x" + std::to_string(c.Spp) + " " + c.Magic);
    TVXBitmap src;
    src.Assign(&rgb);
    src.SetPixelFormat(c.Format);
    TIOParamsVals p(nullptr);
    p.SetBitsPerSample(c.Bits);
    p.SetSamplesPerPixel(c.Spp);
    p.PXM_Comments() = {"made by a test", "second line"};
    TMemoryStream out;
    bool aborting = false;
    TProgressRec prog;
    prog.Aborting = &aborting;
    VXWritePXMStream(&out, &src, p, prog);
    ASSERT_FALSE(aborting);
    const std::vector<uint8_t> bytes = MemoryOf(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 2), c.Magic);
    EXPECT_EQ(src.PixelFormat(), c.Format);  // the caller's bitmap is left alone
    Read r;
    ReadPXM(bytes, r, true);
    ASSERT_FALSE(r.Aborting);
    EXPECT_EQ(r.Params.PXM_Comments(), p.PXM_Comments());
    if (netpbm) {
      WriteFile(dir / "w.pnm", bytes);
      EXPECT_EQ(Shell("/usr/bin/pamfile " + (dir / "w.pnm") + " >/dev/null"), 0);
    }
    if (std::string(c.Magic) == "P6" && c.Bits == 8 && c.Format == vx24RGB) {
      for (int y = 0; y < 3; ++y)
        EXPECT_EQ(std::memcmp(r.Bitmap.GetScanLine(y), rgb.GetScanLine(y), 21), 0);
    }
    if (c.Format == vx48RGB || c.Bits == 16) {
      EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("65535"), std::string::npos);
      EXPECT_EQ(r.Bitmap.PixelFormat(), vx48RGB);
    }
  }
}

TEST(PnmComponent, FileAndStreamSaversAndDispatch) {
  ScratchDir dir;
  TVXBitmap b;
  ASSERT_TRUE(b.Allocate(5, 4, vx48RGB));
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&b);
  io.SaveToFilePXM(dir / "a.ppm");
  ASSERT_FALSE(io.Aborting());
  const std::vector<uint8_t> fileBytes = ReadFile(dir / "a.ppm");
  EXPECT_NE(std::string(fileBytes.begin(), fileBytes.begin() + 20).find("65535"), std::string::npos);
  EXPECT_EQ(io.Params().FileType(), 12);
  TMemoryStream s;
  io.SaveToStreamPXM(&s);
  const std::vector<uint8_t> sb = MemoryOf(s);
  EXPECT_NE(std::string(sb.begin(), sb.begin() + 16).find(" 255"), std::string::npos);
  EXPECT_EQ(b.PixelFormat(), vx24RGB);  // the stream saver converted the target

  // A PPM named .wbmp: by content; parameters only leave the target alone.
  WriteFile(dir / "x.wbmp", ReadFile(dir / "a.ppm"));
  TVXBitmap r;
  TVexlaneIO reader(nullptr);
  reader.SetAttachedVXBitmap(&r);
  EXPECT_TRUE(reader.LoadFromFile(dir / "x.wbmp", -9));
  EXPECT_EQ(reader.Params().FileType(), 12);
  EXPECT_EQ(r.Width(), 5);
  TVXBitmap keep;
  ASSERT_TRUE(keep.Allocate(2, 2, vx8g));
  TVexlaneIO params(nullptr);
  params.SetAttachedVXBitmap(&keep);
  params.ParamsFromFile(dir / "a.ppm");
  EXPECT_EQ(params.Params().FileType(), 12);
  EXPECT_EQ(params.Params().Width(), 5);
  EXPECT_EQ(params.Params().BitsPerSample(), 16);
  EXPECT_EQ(keep.Width(), 2);
}

TEST(Wbmp, WorkedValuesAndNetpbm) {
  ScratchDir dir;
  auto write = [](TVXBitmap& B) {
    TMemoryStream out;
    TIOParamsVals p(nullptr);
    TProgressRec prog;
    VXWriteWBMPStream(&out, &B, p, prog);
    return MemoryOf(out);
  };
  TVXBitmap b;
  ASSERT_TRUE(b.Allocate(200, 3, vx1g));
  std::vector<uint8_t> w = write(b);
  ASSERT_GE(w.size(), 5u);
  EXPECT_EQ(w[0], 0);
  EXPECT_EQ(w[1], 0);
  EXPECT_EQ(w[2], 0x81);
  EXPECT_EQ(w[3], 0x48);
  EXPECT_EQ(w[4], 3);
  EXPECT_EQ(w.size(), 5u + 3 * 25);
  TVXMemStream s(w.data(), int64_t(w.size()));
  s.SetPosition(2);
  EXPECT_EQ(VXReadWBMPMultiByteInt(&s), 200);

  // Width 9: two bytes a row, both ways.
  TVXBitmap nine;
  ASSERT_TRUE(nine.Allocate(9, 2, vx1g));
  w = write(nine);
  EXPECT_EQ(w.size(), 4u + 2 * 2);
  TVXBitmap back;
  TIOParamsVals p(nullptr);
  bool aborting = false;
  TProgressRec prog;
  prog.Aborting = &aborting;
  TVXMemStream in(w.data(), int64_t(w.size()));
  VXReadWBMPStream(&in, &back, p, prog, false);
  EXPECT_FALSE(aborting);
  EXPECT_EQ(back.Width(), 9);

  // 1000 x 500 is written whole (sizes above 127 take the multi-byte form):
  // the far corner comes back.
  TVXBitmap big;
  ASSERT_TRUE(big.Allocate(1000, 500, vx1g));
  big.SetPixels_vx1g(999, 499, true);
  big.SetPixels_vx1g(300, 200, true);
  w = write(big);
  EXPECT_EQ(w.size(), 2u + 2 + 2 + size_t(125) * 500);
  TVXMemStream bs(w.data(), int64_t(w.size()));
  TVXBitmap whole;
  VXReadWBMPStream(&bs, &whole, p, prog, false);
  ASSERT_EQ(whole.Width(), 1000);
  ASSERT_EQ(whole.Height(), 500);
  EXPECT_TRUE(whole.Pixels_vx1g(999, 499));
  EXPECT_TRUE(whole.Pixels_vx1g(300, 200));
  EXPECT_FALSE(whole.Pixels_vx1g(998, 499));

  // Type 1 and zero sizes are refused.
  for (const std::vector<uint8_t>& bad : {std::vector<uint8_t>{1, 0, 2, 2, 0, 0}, std::vector<uint8_t>{0, 0, 0, 2},
                                          std::vector<uint8_t>{0, 0, 0x81}}) {
    aborting = false;
    TVXMemStream t(bad.data(), int64_t(bad.size()));
    TVXBitmap x;
    VXReadWBMPStream(&t, &x, p, prog, false);
    EXPECT_TRUE(aborting);
  }

  // netpbm agrees both ways.
  if (!HaveTool("/usr/bin/wbmptopbm")) GTEST_SKIP() << "netpbm missing";
  TVXBitmap pat;
  ASSERT_TRUE(pat.Allocate(19, 7, vx1g));
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 19; ++x) pat.SetPixels_vx1g(x, y, ((x * y) % 3) != 0);
  WriteFile(dir / "t.wbmp", write(pat));
  ASSERT_EQ(Shell("/usr/bin/wbmptopbm " + (dir / "t.wbmp") + " > " + (dir / "t.pbm")), 0);
  Read r;
  ReadPXM(ReadFile(dir / "t.pbm"), r);
  for (int y = 0; y < 7; ++y) EXPECT_EQ(std::memcmp(r.Bitmap.GetScanLine(y), pat.GetScanLine(y), 2), 0) << y;
  ASSERT_EQ(Shell("/usr/bin/pbmtowbmp " + (dir / "t.pbm") + " > " + (dir / "u.wbmp")), 0);
  std::vector<uint8_t> u = ReadFile(dir / "u.wbmp");
  TVXMemStream us(u.data(), int64_t(u.size()));
  TVXBitmap fromNetpbm;
  aborting = false;
  VXReadWBMPStream(&us, &fromNetpbm, p, prog, false);
  EXPECT_FALSE(aborting);
  for (int y = 0; y < 7; ++y) EXPECT_EQ(std::memcmp(fromNetpbm.GetScanLine(y), pat.GetScanLine(y), 2), 0) << y;
}

TEST(RawData, LayoutsAndOrders) {
  auto write = [](TVXBitmap& B, TIOParamsVals& P) {
    TMemoryStream out;
    TProgressRec prog;
    VXWriteBMPRAWStream(&out, &B, P, prog);
    return MemoryOf(out);
  };
  auto read = [](const std::vector<uint8_t>& D, TVXBitmap& B, TIOParamsVals& P) {
    TVXMemStream s(D.data(), int64_t(D.size()));
    TProgressRec prog;
    VXReadBMPRAWStream(&s, &B, P, prog);
  };
  TVXBitmap b;
  ASSERT_TRUE(b.Allocate(3, 2, vx24RGB));
  for (int y = 0; y < 2; ++y) {
    uint8_t* row = static_cast<uint8_t*>(b.GetScanLine(y));
    for (int i = 0; i < 9; ++i) row[i] = uint8_t(10 * y + i + 1);
  }
  TIOParamsVals p(nullptr);
  p.SetBMPRAW_RowAlign(8);
  const std::vector<uint8_t> rgb = write(b, p);
  EXPECT_EQ(rgb.size(), 18u);
  EXPECT_EQ(rgb[0], 3);  // red first
  EXPECT_EQ(static_cast<const uint8_t*>(b.GetScanLine(0))[0], 1);  // the bitmap is unchanged
  // The same data read as red-first and as blue-first: red and blue exchanged.
  TVXBitmap a, c;
  ASSERT_TRUE(a.Allocate(3, 2, vx24RGB));
  ASSERT_TRUE(c.Allocate(3, 2, vx24RGB));
  read(rgb, a, p);
  TIOParamsVals q(nullptr);
  q.SetBMPRAW_ChannelOrder(coBGR);
  read(rgb, c, q);
  EXPECT_EQ(std::memcmp(a.GetScanLine(1), b.GetScanLine(1), 9), 0);
  EXPECT_EQ(static_cast<const uint8_t*>(c.GetScanLine(0))[0], 3);

  // Row alignment 32: rows padded to 12 bytes, the gap zero.
  p.SetBMPRAW_RowAlign(32);
  const std::vector<uint8_t> padded = write(b, p);
  ASSERT_EQ(padded.size(), 24u);
  EXPECT_EQ(padded[9], 0);
  TVXBitmap d;
  ASSERT_TRUE(d.Allocate(3, 2, vx24RGB));
  read(padded, d, p);
  EXPECT_EQ(std::memcmp(d.GetScanLine(1), b.GetScanLine(1), 9), 0);

  // Text: decimal 255 0 0 is red; lower-case hexadecimal is not read.
  TIOParamsVals t(nullptr);
  t.SetBMPRAW_DataFormat(dfTextDecimal);
  TVXBitmap one;
  ASSERT_TRUE(one.Allocate(1, 1, vx24RGB));
  read(Bytes("255 0 0"), one, t);
  EXPECT_EQ(static_cast<const uint8_t*>(one.GetScanLine(0))[2], 255);
  EXPECT_EQ(static_cast<const uint8_t*>(one.GetScanLine(0))[0], 0);
  t.SetBMPRAW_DataFormat(dfTextHex);
  read(Bytes("00FF 0010 0001"), one, t);
  EXPECT_EQ(static_cast<const uint8_t*>(one.GetScanLine(0))[2], 255);
  read(Bytes("ff 10 1"), one, t);  // "ff" separates: the samples are 10, 1 and 0
  EXPECT_EQ(static_cast<const uint8_t*>(one.GetScanLine(0))[2], 0x10);
  // Text round trips, floats included.
  TVXBitmap f;
  ASSERT_TRUE(f.Allocate(2, 1, vx32f));
  static_cast<float*>(f.GetScanLine(0))[0] = -1.25e-3f;
  static_cast<float*>(f.GetScanLine(0))[1] = 0.5f;
  TIOParamsVals dec(nullptr);
  dec.SetBMPRAW_DataFormat(dfTextDecimal);
  TVXBitmap g;
  ASSERT_TRUE(g.Allocate(2, 1, vx32f));
  read(write(f, dec), g, dec);
  EXPECT_EQ(std::memcmp(f.GetScanLine(0), g.GetScanLine(0), 8), 0);
  EXPECT_THROW(read(Bytes("0"), g, t), EVXException);  // hexadecimal floats

  // 48-bit planar: three planes of 16-bit samples, red first.
  TVXBitmap w48;
  ASSERT_TRUE(w48.Allocate(2, 1, vx48RGB));
  const uint16_t px[6] = {0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666};
  std::memcpy(w48.GetScanLine(0), px, 12);
  TIOParamsVals pl(nullptr);
  pl.SetBMPRAW_Planes(plPlanar);
  const std::vector<uint8_t> planes = write(w48, pl);
  ASSERT_EQ(planes.size(), 12u);
  EXPECT_EQ(planes[0], 0x11);  // red plane first (little-endian words)
  EXPECT_EQ(planes[2], 0x44);
  EXPECT_EQ(planes[4], 0x22);
  TVXBitmap r48;
  ASSERT_TRUE(r48.Allocate(2, 1, vx48RGB));
  read(planes, r48, pl);
  EXPECT_EQ(std::memcmp(r48.GetScanLine(0), px, 12), 0);
  // Header bytes are skipped.
  std::vector<uint8_t> withHeader(5, 0xEE);
  withHeader.insert(withHeader.end(), rgb.begin(), rgb.end());
  TIOParamsVals h(nullptr);
  h.SetBMPRAW_HeaderSize(5);
  TVXBitmap e;
  ASSERT_TRUE(e.Allocate(3, 2, vx24RGB));
  read(withHeader, e, h);
  EXPECT_EQ(std::memcmp(e.GetScanLine(0), b.GetScanLine(0), 9), 0);
}

TEST(RawData, AgreesWithRawtoppm) {
  if (!HaveTool("/usr/bin/rawtoppm")) GTEST_SKIP() << "netpbm missing";
  ScratchDir dir;
  std::vector<uint8_t> data(7);  // a header of 7 bytes, then 4 x 3 pixels with 2 bytes of row padding
  for (int y = 0; y < 3; ++y) {
    for (int i = 0; i < 12; ++i) data.push_back(uint8_t(y * 40 + i * 17));
    data.push_back(0xAA);
    data.push_back(0xBB);
  }
  WriteFile(dir / "d.raw", data);
  ASSERT_EQ(Shell("/usr/bin/rawtoppm -headerskip 7 -rowskip 2 -bgr 4 3 " + (dir / "d.raw") + " > " + (dir / "d.ppm")),
            0);
  Pnm ref;
  ASSERT_TRUE(ReadPnm(dir / "d.ppm", ref));
  TVXBitmap b;
  ASSERT_TRUE(b.Allocate(4, 3, vx24RGB));
  TIOParamsVals p(nullptr);
  p.SetBMPRAW_HeaderSize(7);
  p.SetBMPRAW_ChannelOrder(coBGR);
  p.SetBMPRAW_RowAlign(16 * 8 / 4 * 0 + 112);  // 14 bytes a row: 12 of pixels, 2 of padding
  TVXMemStream s(data.data(), int64_t(data.size()));
  TProgressRec prog;
  VXReadBMPRAWStream(&s, &b, p, prog);
  for (int y = 0; y < 3; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(b.GetScanLine(y));
    for (int x = 0; x < 4; ++x)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(row[3 * x + 2 - c], ref.At(x, y, c)) << x << "," << y;
  }
}

TEST(PnmWbmpRaw, DamagedInputNeverCrashes) {
  const std::vector<std::vector<uint8_t>> seeds = {Bytes("P6 4 4 255\n") + std::vector<uint8_t>(48, 7),
                                                   Bytes("P3 2 2 65535\n1 2 3 4 5 6 7 8 9 10 11 12\n"),
                                                   Bytes("P1 3 3\n0 1 0 1 0 1 0 1 0\n"),
                                                   std::vector<uint8_t>{0, 0, 9, 3, 0xFF, 0x00, 0xAA}};
  for (const auto& seed : seeds) {
    for (size_t cut = 0; cut <= seed.size(); ++cut) {
      std::vector<uint8_t> b(seed.begin(), seed.begin() + long(cut));
      Read r;
      ReadPXM(b, r);
      TVXMemStream s(b.data(), int64_t(b.size()));
      TVXBitmap w;
      TIOParamsVals p(nullptr);
      bool a = false;
      TProgressRec prog;
      prog.Aborting = &a;
      VXReadWBMPStream(&s, &w, p, prog, false);
    }
    for (size_t i = 0; i < seed.size(); ++i) {
      std::vector<uint8_t> b = seed;
      b[i] ^= 0x41;
      Read r;
      ReadPXM(b, r);
    }
  }
}
