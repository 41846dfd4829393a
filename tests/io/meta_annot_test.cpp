// Image annotations: Wang marks and the library's own block.
#include <gtest/gtest.h>

#include <cstring>

#include "core/bitmap.h"
#include "core/streams.h"
#include "io/annotations.h"

namespace {

void I32(std::vector<uint8_t>& b, int32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}

void Named(std::vector<uint8_t>& b, int32_t entry, const char* name, const std::vector<uint8_t>& data,
           bool extra = false) {
  I32(b, entry);
  I32(b, 12);
  char n[8] = {};
  std::memcpy(n, name, strnlen(name, 8));
  b.insert(b.end(), n, n + 8);
  I32(b, int32_t(data.size()));
  if (extra) I32(b, 0);
  b.insert(b.end(), data.begin(), data.end());
}

void Mark(std::vector<uint8_t>& b, const OIAN_MARK_ATTRIBUTES& a) {
  I32(b, 5);
  I32(b, 164);
  uint8_t raw[164];
  a.Write(raw);
  b.insert(b.end(), raw, raw + 164);
}

std::vector<uint8_t> TextBlock(const std::string& text, uint32_t scale) {
  std::vector<uint8_t> d;
  I32(d, 0);
  I32(d, 1000);
  I32(d, int32_t(scale));
  I32(d, int32_t(text.size()));
  d.insert(d.end(), text.begin(), text.end());
  d.push_back(0);
  return d;
}

OIAN_MARK_ATTRIBUTES Attr(int32_t type) {
  OIAN_MARK_ATTRIBUTES a;
  a.uType = type;
  a.lrBounds[0] = 10;
  a.lrBounds[1] = 20;
  a.lrBounds[2] = 110;
  a.lrBounds[3] = 70;
  a.rgbColor1 = {1, 2, 3, 0};
  a.uLineSize = 3;
  a.bVisible = 1;
  a.lfFont.lfHeight = -20;
  a.lfFont.lfWeight = 700;
  std::memcpy(a.lfFont.lfFaceName, "Arial", 5);
  return a;
}

// A block with a hollow rectangle and a typed text, format value Format.
std::vector<uint8_t> TwoMarks(int32_t format, uint32_t scale) {
  std::vector<uint8_t> b;
  I32(b, 0);
  I32(b, format);
  Named(b, 2, "OiGroup", {'0', 0}, format == 0);
  Mark(b, Attr(5));
  Named(b, 6, "OiGroup", {'0', 0}, format == 0);
  Mark(b, Attr(7));
  Named(b, 6, "OiAnText", TextBlock("Hello", scale), format == 0);
  return b;
}

}  // namespace

TEST(MetaAnnot, AttributesHave164BytesInTheirOrder) {
  OIAN_MARK_ATTRIBUTES a = Attr(9);
  a.lReserved[9] = 0x01020304;
  a.dwReserved4 = 1046591;
  uint8_t raw[164];
  a.Write(raw);
  EXPECT_EQ(raw[0], 9);
  EXPECT_EQ(raw[4], 10);
  EXPECT_EQ(raw[20], 1);  // blue of colour 1
  EXPECT_EQ(raw[48], uint8_t(-20));
  EXPECT_EQ(std::memcmp(raw + 76, "Arial", 5), 0);
  EXPECT_EQ(raw[160], 4);
  EXPECT_EQ(raw[163], 1);
  OIAN_MARK_ATTRIBUTES b;
  b.Read(raw);
  EXPECT_TRUE(a == b);
}

TEST(MetaAnnot, WangBlockRoundTrip) {
  for (int32_t format : {0, 1}) {
    std::vector<uint8_t> block = TwoMarks(format, 7500);
    TVXImagingAnnot annot;
    annot.SetUserChanged(true);
    annot.LoadFromStandardBuffer(block.data(), int64_t(block.size()));
    EXPECT_FALSE(annot.UserChanged());
    ASSERT_EQ(annot.ObjectsCount(), 2) << format;
    EXPECT_TRUE(annot.Objects(0)->attrib == Attr(5));
    EXPECT_EQ(annot.Objects(1)->text, "Hello");
    EXPECT_EQ(annot.Objects(1)->attrib.lfFont.lfHeight, -15);

    std::vector<uint8_t> saved = annot.SaveToStandardBuffer();
    TVXImagingAnnot again;
    again.LoadFromStandardBuffer(saved.data(), int64_t(saved.size()));
    ASSERT_EQ(again.ObjectsCount(), 2);
    EXPECT_TRUE(again.Objects(0)->attrib == annot.Objects(0)->attrib);
    EXPECT_TRUE(again.Objects(1)->attrib == annot.Objects(1)->attrib);  // -15 stays -15
    EXPECT_EQ(again.Objects(1)->text, "Hello");

    // Loading appends to the marks present.
    again.LoadFromStandardBuffer(saved.data(), int64_t(saved.size()));
    EXPECT_EQ(again.ObjectsCount(), 4);
  }
}

TEST(MetaAnnot, TextWithoutCreationScaleAndLines) {
  std::vector<uint8_t> b;
  I32(b, 0);
  I32(b, 1);
  Mark(b, Attr(7));
  Named(b, 6, "OiAnText", TextBlock("x", 0));
  OIAN_MARK_ATTRIBUTES line = Attr(4);
  Mark(b, line);
  std::vector<uint8_t> pts;
  I32(pts, 3);
  I32(pts, 3);
  for (int v : {1, 2, 3, 4, 5, 6}) I32(pts, v);
  Named(b, 6, "OiAnoDat", pts);
  OIAN_MARK_ATTRIBUTES lying = Attr(3);
  Mark(b, lying);
  std::vector<uint8_t> short_pts;
  I32(short_pts, 100);
  I32(short_pts, 100);  // claims 100 points, holds one
  I32(short_pts, 7);
  I32(short_pts, 8);
  Named(b, 6, "OiAnoDat", short_pts);
  Mark(b, OIAN_MARK_ATTRIBUTES());  // type 0: no mark

  TVXImagingAnnot a;
  a.LoadFromStandardBuffer(b.data(), int64_t(b.size()));
  ASSERT_EQ(a.ObjectsCount(), 3);
  EXPECT_EQ(a.Objects(0)->attrib.lfFont.lfHeight, -15);
  ASSERT_EQ(a.Objects(1)->pointsLen(), 3);
  EXPECT_EQ(a.Objects(1)->points[2], (TVXAnnotPoint{5, 6}));
  ASSERT_EQ(a.Objects(2)->pointsLen(), 1);
  EXPECT_EQ(a.Objects(2)->points[0], (TVXAnnotPoint{7, 8}));

  std::vector<uint8_t> saved = a.SaveToStandardBuffer();
  TVXImagingAnnot r;
  r.LoadFromStandardBuffer(saved.data(), int64_t(saved.size()));
  ASSERT_EQ(r.ObjectsCount(), 3);
  EXPECT_EQ(r.Objects(1)->points, a.Objects(1)->points);

  TVXImagingAnnot copy;
  copy.Assign(&a);
  EXPECT_EQ(copy.ObjectsCount(), 3);
  EXPECT_EQ(copy.Objects(0)->text, "x");
  EXPECT_TRUE(TVXImagingAnnot().SaveToStandardBuffer().empty());
}

TEST(MetaAnnot, TextHeightRescaledByCreationScale) {
  // lfHeight := -Trunc(-Trunc(1000 / scale * lfHeight) * 7.5); quotients that
  // are whole numbers stay whole (-780 * 1000 / 96 is exactly -8125).
  struct Case {
    uint32_t scale;
    int32_t height, expected;
  } cases[] = {{7500, -20, -15}, {7500, -15, -15}, {0, -20, -15}, {96, -780, -60937},
               {96, -1572, -122812}, {1000, 12, 90}, {3000, -100, -247}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.scale << " " << c.height);
    OIAN_MARK_ATTRIBUTES a = Attr(7);
    a.lfFont.lfHeight = c.height;
    std::vector<uint8_t> b;
    I32(b, 0);
    I32(b, 1);
    Mark(b, a);
    Named(b, 6, "OiAnText", TextBlock("t", c.scale));
    TVXImagingAnnot annot;
    annot.LoadFromStandardBuffer(b.data(), int64_t(b.size()));
    ASSERT_EQ(annot.ObjectsCount(), 1);
    EXPECT_EQ(annot.Objects(0)->attrib.lfFont.lfHeight, c.expected);
  }
}

TEST(MetaAnnot, TruncatedWangBlocksStayInside) {
  std::vector<uint8_t> block = TwoMarks(0, 7500);
  for (size_t cut = 0; cut < block.size(); ++cut) {
    std::vector<uint8_t> part(block.begin(), block.begin() + cut);  // exact size: overreads are caught by tools
    TVXImagingAnnot a;
    a.LoadFromStandardBuffer(part.data(), int64_t(part.size()));
    EXPECT_LE(a.ObjectsCount(), 2) << cut;
  }
  // A named block whose size runs far past the end, and a negative size.
  for (int32_t size : {0x7FFFFFF0, -8}) {
    std::vector<uint8_t> b;
    I32(b, 0);
    I32(b, 1);
    Mark(b, Attr(7));
    I32(b, 6);
    I32(b, 12);
    b.insert(b.end(), {'O', 'i', 'A', 'n', 'T', 'e', 'x', 't'});
    I32(b, size);
    b.insert(b.end(), 20, 'z');
    TVXImagingAnnot a;
    a.LoadFromStandardBuffer(b.data(), int64_t(b.size()));
    ASSERT_EQ(a.ObjectsCount(), 1);
    EXPECT_EQ(a.Objects(0)->text, "");
  }
}

TEST(MetaAnnot, VexlaneAnnotBlock) {
  EXPECT_FALSE(TVXVexlaneAnnot::BufferContainsVexlaneAnnot("VEXLANEANNO", 11));
  EXPECT_TRUE(TVXVexlaneAnnot::BufferContainsVexlaneAnnot("VEXLANEANNOT", 12));
  TVXVexlaneAnnot a;
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_TRUE(a.SaveToBuffer().empty());
  a.LoadFromBuffer("NOTANNOTATIONDATA", 17);
  EXPECT_TRUE(a.IsEmpty());
  a.LoadFromBuffer("VEXLANEANNOTpayload", 19);
  EXPECT_EQ(a.Data().Size(), 7);
  std::vector<uint8_t> buf = a.SaveToBuffer();
  EXPECT_EQ(std::string(buf.begin(), buf.end()), "VEXLANEANNOTpayload");

  TMemoryStream s;
  a.SaveToStream(s);
  EXPECT_EQ(s.Size(), 11);
  s.SetPosition(0);
  TVXVexlaneAnnot b;
  ASSERT_TRUE(b.LoadFromStream(s));
  EXPECT_EQ(std::string(static_cast<const char*>(b.Data().Memory()), 7), "payload");

  TVXVexlaneAnnot c;
  c.Assign(&b);
  b.Clear();
  EXPECT_EQ(c.Data().Size(), 7);

  const uint8_t tooLong[] = {50, 0, 0, 0, 'a', 'b'};
  TVXMemStream ts(tooLong, sizeof tooLong);
  EXPECT_FALSE(c.LoadFromStream(ts));
  EXPECT_TRUE(c.IsEmpty());
}

TEST(MetaAnnot, EmbeddedImageMarks) {
  TVXImagingAnnot a;
  for (TVXPixelFormat pf : {vx24RGB, vx1g}) {
    auto o = std::make_unique<TVXImagingObject>();
    o->attrib = Attr(1);
    o->image = std::make_unique<TVXBitmap>(3, 2, pf);
    for (int32_t y = 0; y < 2; ++y) {
      uint8_t* row = static_cast<uint8_t*>(o->image->GetScanLine(y));
      if (pf == vx24RGB)
        for (int32_t i = 0; i < 9; ++i) row[i] = uint8_t(10 * y + i);
      else
        row[0] = y ? 0xA0 : 0x40;
    }
    a.AddObject(std::move(o));
  }
  std::vector<uint8_t> saved = a.SaveToStandardBuffer();
  TVXImagingAnnot r;
  r.LoadFromStandardBuffer(saved.data(), int64_t(saved.size()));
  ASSERT_EQ(r.ObjectsCount(), 2);
  for (int i = 0; i < 2; ++i) {
    TVXBitmap* src = a.Objects(i)->image.get();
    TVXBitmap* img = r.Objects(i)->image.get();
    ASSERT_NE(img, nullptr);
    ASSERT_EQ(img->PixelFormat(), src->PixelFormat());
    ASSERT_EQ(img->Width(), 3);
    ASSERT_EQ(img->Height(), 2);
    size_t n = src->PixelFormat() == vx24RGB ? 9 : 1;
    for (int32_t y = 0; y < 2; ++y)
      EXPECT_EQ(std::memcmp(img->GetScanLine(y), src->GetScanLine(y), n), 0) << i << " row " << y;
  }
  // A damaged picture block leaves the mark without image.
  std::vector<uint8_t> b;
  I32(b, 0);
  I32(b, 1);
  Mark(b, Attr(1));
  std::vector<uint8_t> dib(40, 0);
  dib[0] = 40;
  dib[4] = 200;  // 200 x 200 x 24 bits claimed, no rows present
  dib[8] = 200;
  dib[12] = 1;
  dib[14] = 24;
  Named(b, 6, "OiDIB", dib);
  TVXImagingAnnot d;
  d.LoadFromStandardBuffer(b.data(), int64_t(b.size()));
  ASSERT_EQ(d.ObjectsCount(), 1);
  EXPECT_EQ(d.Objects(0)->image, nullptr);
}
