// Blocks of every version from "1" to "U", written from the stream's tables:
// each loads with its version's defaults and saves again to the same objects
// and pictures.
#include <string>

#include "core/rowops.h"
#include "io/vexlaneio.h"
#include "stream_builder.h"
#include "vect_fixture.h"

namespace {

// The picture stored in slot 0 and its alpha plane (versions "7" to "<").
std::unique_ptr<TVXBitmap> SlotPicture() {
  auto b = std::make_unique<TVXBitmap>();
  b->Allocate(7, 5, vx24RGB);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) b->SetPixels(x, y, TRGB{uint8_t(30 * x), uint8_t(40 * y), 200});
  return b;
}
uint8_t PlaneAlpha(int x, int y) { return uint8_t(10 + 20 * x + y); }

std::vector<uint8_t> PictureBytes(TVXBitmap* B, bool Bmp) {
  TMemoryStream m;
  auto io = TVexlaneIO::CreateFromBitmap(B);
  if (Bmp) io->SaveToStreamBMP(&m);
  else io->SaveToStreamPNG(&m);
  const uint8_t* p = static_cast<const uint8_t*>(m.Memory());
  return std::vector<uint8_t>(p, p + m.Size());
}

const std::string kAnsiText = "caf\xE9";  // Windows-1252
const std::u16string kWideText = u"caf\u00E9";

std::vector<uint8_t> OldBlock(char V) {
  TBlockWriter w;
  w.V = V;
  w.Raw("VXV");
  w.U8(uint8_t(V));
  w.I32(0);  // total length, patched below
  if (V == '1') w.I32(3);
  else w.F64(2.5);
  w.I32(2);  // slots
  auto pic = SlotPicture();
  w.I32(1);
  w.Raw(PictureBytes(pic.get(), V <= '2'));
  if (V >= '7' && V <= '<') {
    const int32_t rowLen = 8;  // 7 alpha bytes padded to four
    std::vector<uint8_t> rows;
    for (int y = 4; y >= 0; --y)
      for (int x = 0; x < rowLen; ++x) rows.push_back(x < 7 ? PlaneAlpha(x, y) : 0);
    const std::vector<uint8_t> z = VXTestDeflate(rows);
    w.I32(int32_t(z.size()));
    w.Raw(z);
  }
  w.I32(0);  // an empty slot

  TBlockWriter r;
  r.V = V;
  r.I32(5);  // top-level records
  // A group of a text and a memo.
  r.Common(0, 0, 0, 0, 0, 0, "group", 1, 0, 0, 2);
  if (r.Since('J')) r.U8(0);
  r.Common(1, 10, 20, 110, 40, 6, "text", 2, 0x0000FF, 3);  // vxkTEXT
  if (r.Since('4')) r.U8(2);  // centre
  if (r.Since('9')) r.U8(1);
  r.Text(kAnsiText, kWideText);
  r.Font(-18, 700, "Times");
  if (r.Since('?')) {
    r.I32(2);
    r.F64(0.25), r.F64(0.5), r.F64(0.75), r.F64(1.0);
    r.I32(-30);
  }
  if (r.Since('T')) r.U8(1);
  if (r.Since('J')) r.U8(0);
  r.Common(2, 5, 5, 60, 60, 10, "memo", 3, 0x00FF00);  // vxkMEMO
  r.Text("ab", u"ab");
  r.Font(-12, 400, "Courier");
  if (r.Since('C')) r.U8(1);
  r.I32(0), r.I32(1);
  r.I32(2);
  for (int k = 0; k < 2; ++k) {
    std::vector<uint8_t> rec(280, 0);
    rec[0] = 1;
    rec[4] = 5;
    std::memcpy(&rec[5], k ? "Arial" : "Times", 5);
    rec[260] = uint8_t(-14 - k), rec[261] = rec[262] = rec[263] = 0xFF;
    rec[264] = uint8_t(1 + k);
    rec[268] = 0x40;
    rec[276] = 1;
    rec[277] = uint8_t(k);
    r.Raw(rec);
  }
  r.U8(0), r.U8(1);     // FontLocked, TextAutoSize
  r.I32(4);             // LineSpace
  r.I32(0x0000AA);      // MemoBorderColor
  r.U8(1);              // MemoBorderStyle
  r.U8(3);              // TextAlign
  r.I32(50);            // MemoFixedHeight
  if (r.Since('I')) r.U8(0);
  if (r.Since('H')) r.F64(1), r.F64(2), r.F64(3), r.F64(4);
  if (r.Since('L')) r.U8(1);
  if (r.Since('J')) r.U8(0);
  // A bitmap object on slot 0.
  r.Common(3, 0, 0, 69, 49, 5, "picture", 4, 0);
  r.I32(0);
  if (r.Since('B')) r.U8(1);
  if (r.Since('F')) r.Text("pic", u"pic");
  if (r.Since('J')) r.U8(0);
  // A polyline, a ruler, an angle.
  r.Common(4, 0, 0, 30, 30, 8, "poly", 5, 0);
  if (r.Since('J')) r.U8(0);
  if (r.Since('8')) {
    r.I32(3);
    r.I32(0), r.I32(0), r.I32(30), r.I32(0), r.I32(30), r.I32(30);
    r.I32(0), r.I32(0), r.I32(30), r.I32(30);
    if (r.Since(';')) r.U8(1);
  }
  r.Common(5, 1, 2, 300, 2, 7, "ruler", 6, 0);
  if (r.Since('J')) r.U8(0);
  if (r.Since('5')) {
    r.U8(4), r.U8(0);  // centimetres, vxrtRULER
    if (r.Since('A')) r.Font(20, 400, "Verdana");
  }
  r.Common(6, 0, 0, 40, 40, 9, "angle", 7, 0);
  if (r.Since('J')) r.U8(0);
  if (r.Since(':')) r.I32(1), r.I32(2), r.I32(3), r.I32(4), r.I32(5), r.I32(6);
  if (r.Since('K')) r.Font(16, 400, "Tahoma");
  const std::vector<uint8_t> z = VXTestDeflate(r.B);
  w.Raw(z);
  const uint32_t len = uint32_t(w.B.size());
  for (int i = 0; i < 4; ++i) w.B[4 + size_t(i)] = uint8_t(len >> (8 * i));
  return w.B;
}

std::vector<char> AllVersions() {
  std::vector<char> v;
  for (char c = '1'; c <= 'U'; ++c) v.push_back(c);
  return v;
}

class VectVersions : public VectTest, public ::testing::WithParamInterface<char> {};

TEST_P(VectVersions, LoadWithTheVersionsDefaultsAndSaveAgain) {
  const char V = GetParam();
  TVexlaneVect* v = NewVect();
  const std::vector<uint8_t> block = OldBlock(V);
  ASSERT_TRUE(Load(v, block));
  ASSERT_EQ(v->ObjectsCount(), 6);  // the group head makes none
  EXPECT_DOUBLE_EQ(v->ScaleFactor(), V == '1' ? 3.0 : 2.5);
  const int32_t text = v->GetObjFromName("text"), memo = v->GetObjFromName("memo"),
                pic = v->GetObjFromName("picture"), poly = v->GetObjFromName("poly"),
                ruler = v->GetObjFromName("ruler"), angle = v->GetObjFromName("angle");
  EXPECT_EQ(v->GetObjFromName("group"), -1);
  ASSERT_GE(std::min({text, memo, pic, poly, ruler, angle}), 0);

  // The common part.
  const TVXVObject* t = v->GetObjRecord(text);
  EXPECT_EQ(t->AspectRatio, V >= 'M');
  EXPECT_EQ(t->BlendOperation, V >= 'R' ? 3 : 0);
  EXPECT_EQ(t->Layer, V >= 'S' ? 2 : 0);
  const TVXVSoftShadow shadowOld{false, 3.0, 2, 2, 100, TRGB{0, 0, 0}};
  TVXVSoftShadow expected = shadowOld;
  if (V >= '=') expected.Enabled = true, expected.Radius = 5.5, expected.OffsetX = 7, expected.OffsetY = -3;
  if (V >= 'O') expected.Intensity = 60, expected.ShadowColor = TRGB{10, 20, 30};
  EXPECT_EQ(t->softShadow, expected);
  EXPECT_EQ(t->Transparency, V >= '=' ? 128 : 255);
  EXPECT_EQ(t->BoxHighlight, V >= '@');
  EXPECT_EQ(t->FontQuality, V >= 'Q' ? vxfqDraft : vxfqAntialiased);
  EXPECT_EQ(t->UserDataLength, V >= 'I' ? 3 : 0);
  if (V >= 'I') EXPECT_EQ(t->UserDataBlock, (std::vector<uint8_t>{0xA0, 0xA1, 0xA2}));
  EXPECT_EQ(t->PenStyle, psDot);
  EXPECT_EQ(t->Style, 0x0B);
  EXPECT_EQ(t->TextEditable, V < 'J');

  // Texts and fonts: 8-bit before "U".
  EXPECT_EQ(v->GetObjText(text), kWideText);
  EXPECT_EQ(v->GetObjFontName(text), "Times");
  EXPECT_EQ(v->GetObjFontHeight(text), -18);
  EXPECT_EQ(v->GetObjFontStyles(text), TFontStyles(1u << fsBold));
  EXPECT_EQ(t->TextAlign, V >= '4' ? vxjCenter : vxjLeft);
  EXPECT_EQ(t->TextAutoSize, V >= '9');
  EXPECT_EQ(t->CurvedLen(), V >= '?' ? 2 : 0);
  EXPECT_EQ(t->CurvedCharRot, V >= '?' ? -30 : -10);
  EXPECT_EQ(t->MaintainTextAlignmentOnRotate, V >= 'T');

  const TVXVObject* m = v->GetObjRecord(memo);
  EXPECT_EQ(v->GetObjText(memo), u"ab");
  ASSERT_TRUE(m->TextFormatRef.has_value());
  EXPECT_EQ((*m->TextFormatRef)[1], 1);
  ASSERT_EQ(m->TextFormat.size(), 2u);
  EXPECT_EQ(m->TextFormat[1].name, "Arial");
  EXPECT_EQ(m->TextFormat[1].height, -15);
  EXPECT_EQ(m->TextFormat[1].style, 2);
  EXPECT_EQ(m->TextFormat[1].brushStyle, 1);
  EXPECT_EQ(m->LineSpace, 4);
  EXPECT_EQ(m->MemoFixedHeight, 50);
  EXPECT_EQ(m->TextAlign, vxjJustify);
  EXPECT_EQ(m->MemoMarginBottom, V >= 'H' ? 4 : 0);
  EXPECT_EQ(m->MemoCharsBrushStyle, V >= 'L' ? bsClear : bsSolid);

  // The picture, and its alpha plane where the version has one.
  TVXBitmap* b = v->GetObjBitmap(pic);
  ASSERT_NE(b, nullptr);
  auto source = SlotPicture();
  ASSERT_EQ(b->Width(), 7);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(b->Pixels_vx24RGB(x, y), source->Pixels_vx24RGB(x, y)) << x << "," << y;
  EXPECT_EQ(b->HasAlphaChannel(), V >= '7' && V <= '<');
  if (b->HasAlphaChannel()) EXPECT_EQ(static_cast<uint8_t*>(b->AlphaChannel()->Scanline(3))[4], PlaneAlpha(4, 3));
  EXPECT_EQ(v->GetObjBitmapBorder(pic), V >= 'B');
  EXPECT_EQ(v->GetObjText(pic), V >= 'F' ? u"pic" : u"");

  // Kind parts that came late.
  EXPECT_EQ(v->GetObjPolylinePointsCount(poly), V >= '8' ? 3 : 0);
  EXPECT_EQ(v->GetObjPolylineClosed(poly), V >= ';');
  EXPECT_EQ(v->GetObjRulerUnit(ruler), V >= '5' ? vxuCENTIMETERS : vxuPIXELS);
  EXPECT_EQ(v->GetObjRulerType(ruler), V >= '5' ? vxrtRULER : vxrtQUOTECENTER);
  EXPECT_EQ(v->GetObjFontName(ruler), V >= 'A' ? "Verdana" : "Arial");
  EXPECT_EQ(v->GetObjFontHeight(ruler), V >= 'A' ? 20 : 12);
  EXPECT_EQ(v->GetObjAnglePoints(angle, 2), V >= ':' ? (TPoint{5, 6}) : (TPoint{50, 50}));
  EXPECT_EQ(v->GetObjFontName(angle), V >= 'K' ? "Tahoma" : "Arial");
  EXPECT_EQ(v->GetObjFontHeight(angle), V >= 'K' ? 16 : 10);

  // Saved again (as "U") and loaded: the same objects and pictures.
  const std::vector<uint8_t> again = Save(v);
  TVexlaneVect* w = NewVect();
  ASSERT_TRUE(Load(w, again));
  EXPECT_EQ(Save(w), again);
  TVXBitmap* wb = w->GetObjBitmap(w->GetObjFromName("picture"));
  ASSERT_NE(wb, nullptr);
  EXPECT_EQ(wb->HasAlphaChannel(), b->HasAlphaChannel());
  EXPECT_EQ(wb->PixelFormat(), b->PixelFormat());
  EXPECT_TRUE(VXBitmapsEqual(wb, b));
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, VectVersions, ::testing::ValuesIn(AllVersions()),
                         [](const ::testing::TestParamInfo<char>& i) { return "v" + std::to_string(int(i.param)); });

}  // namespace
