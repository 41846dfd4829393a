// The object stream as this version writes it: the header, a round trip of
// every kind, the probe and the file wrappers, damaged and hostile blocks,
// object undo, the module hooks and extended objects.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/byteorder.h"
#include "core/rowops.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "platform/utf.h"
#include "platform/win_clipboard.h"
#include "proc/proc.h"
#include "stream_builder.h"
#include "vect/extended.h"
#include "vect_fixture.h"

namespace {

namespace fs = std::filesystem;

fs::path TempDir() {
  fs::path d = fs::temp_directory_path() / ("vect_test_" + std::to_string(::getpid()));
  fs::create_directories(d);
  return d;
}

std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& b) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

bool HaveTool(const std::string& Name) { return std::system(("command -v " + Name + " >/dev/null 2>&1").c_str()) == 0; }

// Fills a layer with one object of every kind through the accessors.
void MakeEveryKind(TVexlaneVect* v, TVXBitmap* AlphaPicture, TVXBitmap* Plain) {
  const int32_t line = v->AddNewObject(vxkLINE, TRect{90, 10, 5, 70}, 0x0000FF, true);
  v->SetObjBeginShape(line, vxsINARROW);
  v->SetObjEndShape(line, vxsOUTARROW);
  v->SetObjShapeWidth(line, 12);
  v->SetObjPenWidth(line, 4);
  v->SetObjName(line, "Linie \xC3\xBC");  // UTF-8 "ü", stored in Windows-1252
  const int32_t box = v->AddNewObject(vxkBOX, TRect{10, 10, 60, 40}, 0x00FF00, true);
  v->SetObjBrushStyle(box, bsSolid);
  v->SetObjBrushColor(box, 0x123456);
  v->SetObjTransparency(box, 100);
  v->SetObjBlendOperation(box, TVXRenderOperation(5));
  TVXVSoftShadow* ss = v->GetObjSoftShadow(box);
  ss->Enabled = true, ss->Radius = 4.25, ss->OffsetX = -3, ss->OffsetY = 6, ss->Intensity = 70;
  ss->ShadowColor = TRGB{1, 2, 3};
  const int32_t ellipse = v->AddNewObject(vxkELLIPSE, TRect{0, 0, 30, 20}, 0xFF0000, true);
  v->SetObjPenStyle(ellipse, psDashDot);
  v->SetObjStyle(ellipse, TVXVStyle(VXVDefaultStyle | VXVStyleOf(vxvsHideGrips)));
  const int32_t arc = v->AddNewObject(vxkARC, TRect{5, 5, 50, 50}, 0, true);
  v->SetObjArcStartingAngle(arc, 0.5);
  v->SetObjArcEndingAngle(arc, 2.75);
  const int32_t bmp = v->AddNewObject(vxkBITMAP, TRect{0, 0, 40, 30}, 0, true);
  v->SetObjBitmap(bmp, AlphaPicture);
  v->SetObjBitmapBorder(bmp, true);
  v->SetObjText(bmp, u"Bild \u00DC");
  const int32_t text = v->AddNewObject(vxkTEXT, TRect{10, 50, 200, 80}, 0x800080, true);
  v->SetObjText(text, u"Gr\u00FC\u00DFe \u4E16\u754C \U0001F600");
  v->SetObjFontName(text, "DejaVu Sans");
  v->SetObjFontHeight(text, -22);
  v->SetObjFontAngle(text, 30);
  v->SetObjFontStyles(text, TFontStyles((1u << fsItalic) | (1u << fsStrikeOut)));
  v->SetObjTextAlign(text, vxjRight);
  v->SetObjTextMaintainAlignmentOnRotate(text, true);
  v->GetObjRecord(text)->CurvedPos = {{0, 0.5}, {0.5, 0.1}, {1, 0.5}};
  v->SetObjTextCurveCharRot(text, 5);
  const int32_t ruler = v->AddNewObject(vxkRULER, TRect{0, 100, 300, 100}, 0, true);
  v->SetObjRulerUnit(ruler, vxuMILLIMETERS);
  v->SetObjRulerType(ruler, vxrtQUOTEEND);
  const int32_t poly = v->AddNewObject(vxkPOLYLINE, TRect{}, 0, true);
  v->SetObjPolylinePoints(poly, {{3, 4}, {100, 9}, {60, 80}, {-5, 30}});
  v->SetObjPolylineClosed(poly, true);
  const int32_t angle = v->AddNewObject(vxkANGLE, TRect{}, 0, true);
  v->SetObjAnglePoints(angle, {{10, 10}, {40, 40}, {90, 15}});
  v->SetObjFontHeight(angle, 15);
  const int32_t memo = v->AddNewObject(vxkMEMO, TRect{100, 100, 220, 180}, 0, true);
  v->SetObjText(memo, u"zw\u00F6lf\nLinien");
  TVXVObject* m = v->GetObjRecord(memo);
  TVXCharInfo f1{2, "DejaVu Serif", -13, TFontStyles(1u << fsBold), 0x0000FF, 0xFFFFFF, 1, vxjCenter};
  TVXCharInfo f2{1, "Caf\xC3\xA9", -20, 0, 0x00FF00, 0x000000, 0, vxjJustify};
  m->TextFormat = {f1, f2};
  m->TextFormatRef = std::vector<int32_t>{0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 0};
  v->SetObjMemoHasBitmap(memo, true);
  v->SetObjBitmap(memo, Plain);
  v->SetObjMemoMarginTop(memo, 2.5);
  v->SetObjMemoCharsBrushStyle(memo, bsClear);
  v->SetObjMemoLineSpace(memo, 3);
  const int32_t label = v->AddNewObject(vxkLINELABEL, TRect{200, 200, 260, 150}, 0, true);
  v->SetObjText(label, u"Ma\u00DF");
  v->SetObjLabelBorder(label, vxlRoundRect);
  v->SetObjLabelPos(label, vxlBegin);
  v->SetObjLabelBrushColor(label, 0x00FFFF);
  static uint8_t data[5] = {9, 8, 7, 6, 5};
  v->SetObjUserData(label, data);
  v->SetObjUserDataLength(label, 5);
  v->SetScaleFactor(1.75);
}

TEST_F(VectTest, HeaderOfAnEmptyLayer) {
  TVexlaneVect* v = NewVect();
  struct TCase {
    bool TemplatePicture;
    size_t Header;
  };
  for (const TCase& c : {TCase{true, 24}, TCase{false, 20}}) {
    if (!c.TemplatePicture) v->SetObjBitmap(-1, nullptr);
    const fs::path file = TempDir() / (c.TemplatePicture ? "empty1.vxv" : "empty2.vxv");
    v->SaveToFileVXV(file.string(), -3);
    const std::vector<uint8_t> b = ReadFile(file);
    ASSERT_GT(b.size(), c.Header);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "VXVU");
    EXPECT_EQ(VXGetLE32(&b[4]), b.size());
    EXPECT_EQ(VXGetLE32(&b[16]), c.TemplatePicture ? 1u : 0u);
    if (c.TemplatePicture) {
      EXPECT_EQ(VXGetLE32(&b[20]), 0u);  // the template's slot: no picture
    }
    // The object section is one zlib stream of a zero count.
    EXPECT_EQ(VXTestInflate(&b[c.Header], b.size() - c.Header, 16), std::vector<uint8_t>(4, 0));
    if (HaveTool("python3")) {
      const std::string cmd = "python3 -c \"import sys,zlib; d=open(sys.argv[1],'rb').read()[" +
                              std::to_string(c.Header) +
                              ":]; sys.exit(0 if zlib.decompress(d)==bytes(4) else 1)\" " + file.string();
      EXPECT_EQ(std::system(cmd.c_str()), 0) << "Python's zlib";
    }
  }
}

TEST_F(VectTest, EveryKindRoundTrips) {
  TVexlaneVect* v = NewVect();
  auto alpha = Picture(16, 12, 40, true);
  auto plain = Picture(9, 9, 80, false);
  MakeEveryKind(v, alpha.get(), plain.get());
  const fs::path file = TempDir() / "every.vxv";
  v->SaveToFileVXV(file.string(), -3);
  const std::vector<uint8_t> bytes = ReadFile(file);
  EXPECT_EQ(VXGetLE32(&bytes[4]), bytes.size());

  TVexlaneVect* w = NewVect();
  ASSERT_TRUE(w->LoadFromFileVXV(file.string(), false));
  ASSERT_EQ(w->ObjectsCount(), v->ObjectsCount());
  EXPECT_DOUBLE_EQ(w->ScaleFactor(), 1.75);
  for (int i = 0; i < v->ObjectsCount(); ++i) {
    const int32_t a = v->GetObjFromIndex(i), b = w->GetObjFromIndex(i);
    SCOPED_TRACE("object " + std::to_string(i));
    const TVXVObject& x = *v->GetObjRecord(a);
    const TVXVObject& y = *w->GetObjRecord(b);
    EXPECT_EQ(y.Kind, x.Kind);
    EXPECT_EQ((TRect{y.x1, y.y1, y.x2, y.y2}), (TRect{x.x1, x.y1, x.x2, x.y2}));
    EXPECT_EQ(w->GetObjName(b), v->GetObjName(a));
    EXPECT_EQ(w->GetObjText(b), v->GetObjText(a));
    EXPECT_EQ(y.LogFont.has_value(), x.LogFont.has_value());
    if (x.LogFont) {
      EXPECT_EQ(w->GetObjFontName(b), v->GetObjFontName(a));
      EXPECT_EQ(w->GetObjFontHeight(b), v->GetObjFontHeight(a));
      EXPECT_EQ(w->GetObjFontAngle(b), v->GetObjFontAngle(a));
      EXPECT_EQ(w->GetObjFontStyles(b), v->GetObjFontStyles(a));
    }
    EXPECT_EQ(y.PenColor, x.PenColor);
    EXPECT_EQ(y.PenStyle, x.PenStyle);
    EXPECT_EQ(y.PenWidth, x.PenWidth);
    EXPECT_EQ(y.BrushColor, x.BrushColor);
    EXPECT_EQ(y.BrushStyle, x.BrushStyle);
    EXPECT_EQ(y.Style, x.Style);
    EXPECT_EQ(y.Transparency, x.Transparency);
    EXPECT_EQ(y.BlendOperation, x.BlendOperation);
    EXPECT_EQ(y.softShadow, x.softShadow);
    EXPECT_EQ(y.BeginShape, x.BeginShape);
    EXPECT_EQ(y.EndShape, x.EndShape);
    EXPECT_EQ(y.ShapeWidth, x.ShapeWidth);
    EXPECT_EQ(y.a1, x.a1);
    EXPECT_EQ(y.a2, x.a2);
    EXPECT_EQ(y.TextAlign, x.TextAlign);
    EXPECT_EQ(y.CurvedPos, x.CurvedPos);
    EXPECT_EQ(y.CurvedCharRot, x.CurvedCharRot);
    EXPECT_EQ(y.MaintainTextAlignmentOnRotate, x.MaintainTextAlignmentOnRotate);
    EXPECT_EQ(y.RulerUnit, x.RulerUnit);
    EXPECT_EQ(y.RulerType, x.RulerType);
    EXPECT_EQ(y.PolyPoints, x.PolyPoints);
    EXPECT_EQ(y.PolyClosed, x.PolyClosed);
    for (int p = 0; p < x.PolyPointsCount(); ++p) EXPECT_EQ(w->GetObjPolylinePoints(b, p), v->GetObjPolylinePoints(a, p));
    for (int p = 0; p < 3; ++p) EXPECT_EQ(y.AnglePoints[p], x.AnglePoints[p]);
    EXPECT_EQ(y.TextFormat, x.TextFormat);
    if (x.Kind == vxkMEMO) {
      ASSERT_TRUE(y.TextFormatRef.has_value());
      for (size_t k = 0; k < x.Text->size(); ++k) EXPECT_EQ((*y.TextFormatRef)[k], (*x.TextFormatRef)[k]);
    }
    EXPECT_EQ(y.MemoMarginTop, x.MemoMarginTop);
    EXPECT_EQ(y.MemoCharsBrushStyle, x.MemoCharsBrushStyle);
    EXPECT_EQ(y.LineSpace, x.LineSpace);
    EXPECT_EQ(y.LabelBorder, x.LabelBorder);
    EXPECT_EQ(y.LabelPosition, x.LabelPosition);
    EXPECT_EQ(y.LabelBrushColor, x.LabelBrushColor);
    EXPECT_EQ(y.BitmapBorder, x.BitmapBorder);
    EXPECT_EQ(y.UserDataLength, x.UserDataLength);
    EXPECT_EQ(y.UserDataBlock, x.UserDataBlock);
    TVXBitmap* pa = v->GetObjBitmap(a);
    TVXBitmap* pb = w->GetObjBitmap(b);
    EXPECT_EQ(pa != nullptr, pb != nullptr);
    if (pa && pb) {
      EXPECT_EQ(pb->HasAlphaChannel(), pa->HasAlphaChannel());
      EXPECT_TRUE(VXBitmapsEqual(pa, pb));
    }
  }
  // The same bytes when saved again.
  EXPECT_EQ(Save(w), Save(v));
  // The pictures are PNG streams that pngcheck accepts.
  if (HaveTool("pngcheck")) {
    int found = 0;
    for (size_t i = 0; i + 8 < bytes.size(); ++i) {
      if (std::memcmp(&bytes[i], "\x89PNG\r\n\x1a\n", 8) != 0) continue;
      size_t end = i + 8;
      while (end + 12 <= bytes.size()) {
        const uint32_t len = VXGetBE32(&bytes[end]);
        const bool last = std::memcmp(&bytes[end + 4], "IEND", 4) == 0;
        end += 12 + len;
        if (last) break;
      }
      const fs::path png = TempDir() / ("slot" + std::to_string(found++) + ".png");
      WriteFile(png, std::vector<uint8_t>(bytes.begin() + long(i), bytes.begin() + long(end)));
      EXPECT_EQ(std::system(("pngcheck -q " + png.string() + " >/dev/null").c_str()), 0) << png;
    }
    EXPECT_EQ(found, 2);  // the alpha picture and the memo's; the template's is not written
  }
}

// A reader written from the stream's tables alone (tests/vect/vxv_reader.py)
// finds every field where the layer put it.
TEST_F(VectTest, AnIndependentReaderFindsEveryField) {
  if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
  TVexlaneVect* v = NewVect();
  auto alpha = Picture(16, 12, 40, true);
  auto plain = Picture(9, 9, 80, false);
  MakeEveryKind(v, alpha.get(), plain.get());
  const fs::path file = TempDir() / "independent.vxv", out = TempDir() / "independent.txt";
  v->SaveToFileVXV(file.string(), -3);
  const std::string cmd = "python3 " + std::string(VX_SOURCE_DIR) + "/tests/vect/vxv_reader.py " + file.string() +
                          " > " + out.string();
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream f(out);
  std::vector<std::string> lines;
  for (std::string l; std::getline(f, l);) lines.push_back(l);
  ASSERT_EQ(int(lines.size()), v->ObjectsCount() + 1);
  const std::string size = std::to_string(fs::file_size(file));
  EXPECT_NE(lines[0].find("\"length\": " + size), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("\"size\": " + size), std::string::npos);
  EXPECT_NE(lines[0].find("\"scale\": 1.75"), std::string::npos);
  auto has = [&](int i, const std::string& part) {
    EXPECT_NE(lines[size_t(i) + 1].find(part), std::string::npos) << "object " << i << " lacks " << part << "\n"
                                                                  << lines[size_t(i) + 1];
  };
  auto list = [](std::initializer_list<long long> v) {
    std::string r = "[";
    for (long long x : v) r += (r.size() > 1 ? ", " : "") + std::to_string(x);
    return r + "]";
  };
  for (int i = 0; i < v->ObjectsCount(); ++i) {
    const int32_t h = v->GetObjFromIndex(i);
    const TVXVObject& o = *v->GetObjRecord(h);
    has(i, "\"handle\": " + std::to_string(h));
    has(i, "\"kind\": " + std::to_string(int(o.Kind)));
    has(i, "\"rect\": " + list({o.x1, o.y1, o.x2, o.y2}));
    has(i, "\"name\": \"" + v->GetObjName(h) + "\"");
    has(i, "\"penwidth\": " + std::to_string(o.PenWidth));
    has(i, "\"pencolor\": " + std::to_string(o.PenColor));
    has(i, "\"brushcolor\": " + std::to_string(o.BrushColor));
    has(i, "\"transparency\": " + std::to_string(o.Transparency));
    has(i, "\"style\": " + std::to_string(o.Style));
    has(i, "\"blend\": " + std::to_string(int(o.BlendOperation)));
    has(i, "\"shadow\": [" + std::to_string(int(o.softShadow.Enabled)));
    has(i, "\"userdata\": " + [&] {
      std::string r = "[";
      for (uint8_t b : o.UserDataBlock) r += (r.size() > 1 ? ", " : "") + std::to_string(b);
      return r + "]";
    }());
    if (o.Text && !o.Text->empty()) {
      std::string t;  // as JSON writes it
      for (char c : VXUTF16ToUTF8(*o.Text)) t += c == '\n' ? std::string("\\n") : std::string(1, c);
      has(i, "\"text\": \"" + t + "\"");
    }
    if (o.LogFont && o.Kind != vxkBITMAP) {
      has(i, "\"face\": \"" + v->GetObjFontName(h) + "\"");
      has(i, "\"height\": " + std::to_string(o.LogFont->lfHeight));
      has(i, "\"escapement\": " + std::to_string(o.LogFont->lfEscapement));
    }
    switch (o.Kind) {
      case vxkLINE:
        has(i, "\"shapes\": " + list({o.BeginShape, o.EndShape, o.ShapeWidth, o.ShapeHeight}));
        break;
      case vxkBOX:
        has(i, "\"shadow\": [1, 4.25, -3, 6, 70, [1, 2, 3]]");
        break;
      case vxkARC:
        has(i, "\"angles\": [0.5, 2.75]");
        break;
      case vxkBITMAP:
        has(i, "\"bitmap\": " + list({o.BitmapIdx, 1}));
        break;
      case vxkTEXT:
        has(i, "\"curve\": [[0.0, 0.5], [0.5, 0.1], [1.0, 0.5]]");
        has(i, "\"charrot\": 50");
        has(i, "\"keepalign\": 1");
        has(i, "\"align\": 1");
        break;
      case vxkRULER:
        has(i, "\"ruler\": [5, 3]");
        break;
      case vxkPOLYLINE:
        has(i, "\"points\": [[3, 4], [100, 9], [60, 80], [-5, 30]]");
        has(i, "\"base\": [-5, 4, 100, 80]");
        has(i, "\"closed\": 1");
        break;
      case vxkANGLE:
        has(i, "\"anglepoints\": [[10, 10], [40, 40], [90, 15]]");
        break;
      case vxkMEMO:
        has(i, "\"refs\": [0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1]");
        has(i, "\"name\": \"DejaVu Serif\"");
        has(i, "\"name\": \"Caf\xC3\xA9\"");
        has(i, "\"margins\": [0.0, 2.5, 0.0, 0.0]");
        has(i, "\"bitmap\": [" + std::to_string(o.BitmapIdx));
        break;
      case vxkLINELABEL:
        has(i, "\"label\": " + list({0x00FFFF, bsSolid, vxlBegin, vxlRoundRect}));
        break;
      default:
        break;
    }
  }
}

TEST_F(VectTest, OneObjectOrNone) {
  TVexlaneVect* v = NewVect();
  for (int i = 0; i < 3; ++i) v->SetObjID(v->AddNewObject(vxkBOX, TRect{i, i, 9, 9}, 0, false), 10 + i);
  struct TCase {
    int32_t Handle;
    int32_t Count;
  };
  for (const TCase& c : {TCase{1, 1}, TCase{-3, 3}, TCase{-4, 3}, TCase{-1, 0}, TCase{-2, 0}}) {
    TVexlaneVect* w = NewVect();
    ASSERT_TRUE(Load(w, Save(v, c.Handle)));
    EXPECT_EQ(w->ObjectsCount(), c.Count) << c.Handle;
    if (c.Count == 1) {
      EXPECT_EQ(w->GetObjID(0), 11);
    }
  }
}

TEST_F(VectTest, AppendingKeepsWhatIsThereAndBlocksFollowOneAnother) {
  TVexlaneVect* v = NewVect();
  auto p1 = Picture(6, 6, 1, false), p2 = Picture(5, 7, 2, true);
  v->SetObjBitmap(v->AddNewObject(vxkBITMAP, TRect{0, 0, 9, 9}, 0, false), p1.get());
  TVexlaneVect* u = NewVect();
  u->SetObjBitmap(u->AddNewObject(vxkBITMAP, TRect{0, 0, 9, 9}, 0, false), p2.get());
  // Two blocks in one stream, read one after the other.
  TMemoryStream m;
  v->SaveToStreamVXV(&m, -3);
  u->SaveToStreamVXV(&m, -3);
  m.SetPosition(0);
  TVexlaneVect* w = NewVect();
  ASSERT_TRUE(w->LoadFromStreamVXV(&m, false));
  ASSERT_TRUE(w->LoadFromStreamVXV(&m, true));
  EXPECT_EQ(m.Position(), m.Size());
  ASSERT_EQ(w->ObjectsCount(), 2);
  EXPECT_TRUE(VXBitmapsEqual(w->GetObjBitmap(0), p1.get()));
  EXPECT_TRUE(VXBitmapsEqual(w->GetObjBitmap(1), p2.get()));
  EXPECT_TRUE(VXBitmapsEqual(w->GetObjBitmap(-1), v->GetObjBitmap(-1)));  // the template keeps its own
}

TEST_F(VectTest, ProbeAndFileType) {
  struct TCase {
    const char* Head;
    bool Is;
  };
  for (const TCase& c : {TCase{"VXVU", true}, TCase{"VXV1", true}, TCase{"VXVK", true}, TCase{"VXV0", false},
                         TCase{"VXVV", false}, TCase{"VXv1", false}, TCase{"VX", false}}) {
    std::string bytes = std::string("..") + c.Head + "rest";
    TVXMemStream s(bytes.data(), int64_t(bytes.size()));
    s.SetPosition(2);
    EXPECT_EQ(VXIsVxvStream(&s), c.Is) << c.Head;
    EXPECT_EQ(s.Position(), 2);
  }
  TVexlaneVect* v = NewVect();
  v->AddNewObject(vxkBOX, TRect{1, 2, 3, 4}, 0, false);
  for (const char* name : {"objects.dat", "objects", "objects.vxv"}) {
    const fs::path file = TempDir() / name;
    v->SaveToFileVXV(file.string(), -3);
    EXPECT_EQ(VXFindFileFormat(file.string(), false), 25) << name;
    TVXWideFileStream f(file.string(), fmOpenRead);
    EXPECT_EQ(VXFindStreamFormat(&f), 25) << name;
  }
  // A PNG is not a block: false, and the name and type are recorded.
  const fs::path png = TempDir() / "picture.png";
  auto p = Picture(4, 4, 0, false);
  TVexlaneIO::CreateFromBitmap(p.get())->SaveToFilePNG(png.string());
  EXPECT_FALSE(v->LoadFromFileVXV(png.string(), true));
  EXPECT_EQ(v->ObjectsCount(), 1);
  EXPECT_EQ(v->IO()->Params().FileName(), png.string());
  EXPECT_EQ(v->IO()->Params().FileType(), 25);
  EXPECT_FALSE(v->LoadFromFileVXV((TempDir() / "missing.vxv").string(), true));
  EXPECT_FALSE(v->LoadFromFileVXV("", true));
}

TEST_F(VectTest, SavingAFileWritesItWholeOrNotAtAll) {
  TVexlaneVect* v = NewVect();
  v->AddNewObject(vxkBOX, TRect{1, 2, 3, 4}, 0, false);
  // A target that cannot be written: the save raises and nothing is left.
  const fs::path dir = TempDir() / "a folder.vxv";
  fs::create_directories(dir);
  EXPECT_ANY_THROW(v->SaveToFileVXV(dir.string(), -3));
  EXPECT_TRUE(fs::is_directory(dir));
  for (const auto& e : fs::directory_iterator(TempDir())) EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos);
  // Over an old file: the new block, whole.
  const fs::path target = TempDir() / "replaced.vxv";
  WriteFile(target, {1, 2, 3});
  v->SaveToFileVXV(target.string(), -3);
  EXPECT_EQ(ReadFile(target), Save(v));
  v->SaveToFileVXV("", -3);  // nothing
}

// A kind-0 object is written as a group head without members: it makes no
// object when read, and the records after it are read as they were.
TEST_F(VectTest, AnObjectWithoutKindIsAnEmptyGroup) {
  TVexlaneVect* v = NewVect();
  v->AddNewObject(vxkBOX, TRect{1, 1, 5, 5}, 0, false);
  v->AddNewObject(vxkNONE, TRect{1, 1, 2, 2}, 0, false);
  v->SetObjName(v->AddNewObject(vxkLINE, TRect{7, 8, 9, 10}, 0, false), "after");
  TVexlaneVect* w = NewVect();
  EXPECT_TRUE(Load(w, Save(v)));
  ASSERT_EQ(w->ObjectsCount(), 2);
  EXPECT_EQ(w->GetObjName(1), "after");
  EXPECT_EQ(w->GetObjRecord(1)->x2, 9);
}

// Every prefix of a block loads the objects read whole before the cut.
TEST_F(VectTest, TruncatedBlocksLoadAPrefix) {
  TVexlaneVect* v = NewVect();
  v->SetObjBitmap(-1, nullptr);
  auto alpha = Picture(6, 5, 40, true);
  auto plain = Picture(4, 4, 80, false);
  MakeEveryKind(v, alpha.get(), plain.get());
  // Stored (not deflated) would make prefixes of records; the section is
  // one zlib stream, so a cut inside it ends the block at a record boundary
  // of what inflates.
  const std::vector<uint8_t> full = Save(v);
  const int n = v->ObjectsCount();
  TVexlaneVect* w = NewVect();
  int lastCount = 0;
  for (size_t cut = 0; cut < full.size(); ++cut) {
    const std::vector<uint8_t> part(full.begin(), full.begin() + long(cut));
    const bool ok = Load(w, part);
    ASSERT_FALSE(ok) << cut;
    ASSERT_LE(w->ObjectsCount(), n);
    ASSERT_GE(w->ObjectsCount(), lastCount) << cut;  // longer prefixes never give fewer
    lastCount = w->ObjectsCount();
    // The objects made are the first ones, in order.
    for (int i = 0; i < w->ObjectsCount(); ++i)
      ASSERT_EQ(w->GetObjKind(w->GetObjFromIndex(i)), v->GetObjKind(v->GetObjFromIndex(i))) << cut;
  }
  EXPECT_TRUE(Load(w, full));
  EXPECT_EQ(w->ObjectsCount(), n);
}

// Builds a version "U" block of the given section bytes and slot bytes.
std::vector<uint8_t> Block(const std::vector<uint8_t>& Slots, int32_t SlotCount, const std::vector<uint8_t>& Section) {
  TBlockWriter w;
  w.Raw("VXVU");
  w.I32(0);
  w.F64(1);
  w.I32(SlotCount);
  w.Raw(Slots);
  w.Raw(VXTestDeflate(Section));
  return w.B;
}

TEST_F(VectTest, HostileCountsAndNesting) {
  TBlockWriter box;  // one good box record
  box.Common(0, 1, 2, 3, 4, 2, "b", 5, 0);
  box.U8(1);
  auto withCount = [&](int32_t Count, const std::vector<uint8_t>& Rest) {
    TBlockWriter s;
    s.I32(Count);
    s.Raw(Rest);
    return s.B;
  };
  // A record whose text claims 2^31 - 1 characters, after one good box.
  TBlockWriter text;
  text.Common(1, 0, 0, 9, 9, 6, "t", 0, 0);
  text.U8(0), text.U8(0);
  text.I32(0x7FFFFFFF);
  TBlockWriter poly;
  poly.Common(1, 0, 0, 9, 9, 8, "p", 0, 0);
  poly.U8(1);
  poly.I32(0x7FFFFFFF);
  TBlockWriter name;
  name.I32(1), name.I32(0), name.I32(0), name.I32(1), name.I32(1);
  name.U8(2), name.U8(0), name.U8(0), name.I32(0);
  name.U8(0), name.F64(3), name.I32(0), name.I32(0), name.I32(100), name.U8(0), name.U8(0), name.U8(0);
  name.I32(0x7FFFFFFF);
  std::vector<uint8_t> boxThen = box.B;
  struct TCase {
    const char* What;
    std::vector<uint8_t> Bytes;
    int Objects;
  };
  std::vector<uint8_t> manySlots;
  {
    TBlockWriter w;
    w.Raw("VXVU");
    w.I32(0);
    w.F64(1);
    w.I32(0x7FFFFFFF);
    w.I32(0);
    manySlots = w.B;
  }
  const std::vector<TCase> cases = {
      {"2^31 - 1 slots", manySlots, 0},
      {"2^31 - 1 records", Block({}, 0, withCount(0x7FFFFFFF, box.B)), 1},
      {"a text of 2^31 - 1 characters", Block({}, 0, withCount(2, [&] {
                                                   auto b = box.B;
                                                   b.insert(b.end(), text.B.begin(), text.B.end());
                                                   return b;
                                                 }())),
       1},
      {"2^31 - 1 polyline points", Block({}, 0, withCount(2, [&] {
                                              auto b = box.B;
                                              b.insert(b.end(), poly.B.begin(), poly.B.end());
                                              return b;
                                            }())),
       1},
      {"a name of 2^31 - 1 bytes", Block({}, 0, withCount(1, name.B)), 0},
      {"a negative record count", Block({}, 0, withCount(-5, box.B)), 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TVexlaneVect* v = NewVect();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Load(v, c.Bytes));
    EXPECT_EQ(v->ObjectsCount(), c.Objects);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  }
  // 200,000 nested groups: the read stops at the depth limit.
  TBlockWriter nest;
  nest.I32(1);
  for (int i = 0; i < 200000; ++i) {
    nest.Common(0, 0, 0, 0, 0, 0, "", 0, 0, 0, 1);
    nest.U8(1);
  }
  TVexlaneVect* v = NewVect();
  EXPECT_FALSE(Load(v, Block({}, 0, nest.B)));
  EXPECT_EQ(v->ObjectsCount(), 0);
  // A picture slot that cannot be read stops the load before any object.
  TBlockWriter bad;
  bad.I32(1);
  bad.Raw(std::string("\x89PNG\r\n\x1a\nbroken"));
  TVexlaneVect* p = NewVect();
  EXPECT_FALSE(Load(p, Block(bad.B, 1, withCount(1, box.B))));
  EXPECT_EQ(p->ObjectsCount(), 0);
  ASSERT_NE(p->GetObjBitmap(-1), nullptr);  // the template keeps its picture
  // A bitmap index naming no slot becomes -1.
  TBlockWriter pic;
  pic.I32(1);
  pic.Common(0, 0, 0, 9, 9, 5, "", 0, 0);
  pic.I32(7), pic.U8(0), pic.I32(0), pic.U8(1);
  TVexlaneVect* q = NewVect();
  EXPECT_TRUE(Load(q, Block({}, 0, pic.B)));
  EXPECT_EQ(q->GetObjRecord(0)->BitmapIdx, -1);
  // An unregistered extended class stops the read at that record.
  TBlockWriter ext;
  ext.I32(2);
  ext.Raw(box.B);
  ext.Common(1, 0, 0, 9, 9, 12, "", 0, 0);
  ext.U8(0), ext.U8(0), ext.I32(0), ext.U8(0), ext.I32(0), ext.U8(0);
  ext.U8(1);
  ext.U8(1);
  ext.I32(7);
  ext.Raw(std::string("Unknown"));
  TVexlaneVect* e = NewVect();
  EXPECT_FALSE(Load(e, Block({}, 0, ext.B)));
  EXPECT_EQ(e->ObjectsCount(), 1);
}

TEST_F(VectTest, ChangedBytesLoadWithoutFault) {
  TVexlaneVect* v = NewVect();
  auto alpha = Picture(6, 5, 40, true);
  auto plain = Picture(4, 4, 80, false);
  MakeEveryKind(v, alpha.get(), plain.get());
  const std::vector<uint8_t> full = Save(v);
  // The section inflated, changed, and deflated again, so that the changes
  // reach the records.
  const size_t sectionAt = [&] {
    for (size_t i = full.size() - 2; i > 20; --i)
      if (full[i] == 0x78 && full[i + 1] == 0x9C) return i;
    return size_t(0);
  }();
  ASSERT_GT(sectionAt, 0u);
  const std::vector<uint8_t> section = VXTestInflate(&full[sectionAt], full.size() - sectionAt, 1 << 20);
  ASSERT_FALSE(section.empty());
  std::mt19937 rng(12345);
  TVexlaneVect* w = NewVect();
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> s = section;
    for (int k = 0; k < 1 + round % 4; ++k) s[rng() % s.size()] = uint8_t(rng());
    std::vector<uint8_t> bytes(full.begin(), full.begin() + long(sectionAt));
    const std::vector<uint8_t> z = VXTestDeflate(s);
    bytes.insert(bytes.end(), z.begin(), z.end());
    Load(w, bytes);
    ASSERT_LE(w->ObjectsCount(), v->ObjectsCount() + 64);
  }
  // And the raw bytes changed, header and pictures included.
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = full;
    bytes[rng() % bytes.size()] = uint8_t(rng());
    Load(w, bytes);
  }
}

TEST_F(VectTest, ObjectUndo) {
  TVexlaneVect* v = NewVect();
  const int32_t a = v->AddNewObject(vxkBOX, TRect{0, 0, 5, 5}, 0, false);
  v->ObjSaveUndo();
  v->AddNewObject(vxkBOX, TRect{0, 0, 6, 6}, 0, false);
  v->ObjSaveUndo();  // limit 1: only this one stays
  EXPECT_EQ(v->ObjUndoCount(), 1);
  v->RemoveAllObjects();
  v->ObjUndo();
  EXPECT_EQ(v->ObjectsCount(), 2);
  EXPECT_TRUE(v->ObjCanUndo());  // undoing keeps the snapshot

  v->SetObjUndoLimit(5);
  v->ObjClearAllUndo();
  v->RemoveObject(1);
  v->ObjSaveUndo();  // older: one object
  v->AddNewObject(vxkLINE, TRect{0, 0, 9, 9}, 0, false);
  v->AddNewObject(vxkLINE, TRect{0, 0, 9, 9}, 0, false);
  v->ObjSaveUndo();  // newer: three objects
  v->ObjUndoAt(2);   // nothing
  EXPECT_EQ(v->ObjectsCount(), 3);
  v->ObjUndoAt(1);
  EXPECT_EQ(v->ObjectsCount(), 1);
  EXPECT_EQ(v->GetObjKind(a), vxkBOX);
  EXPECT_EQ(v->ObjUndoCount(), 2);
  v->ObjClearUndo();
  EXPECT_EQ(v->ObjUndoCount(), 1);

  // Automatic steps before removals.
  v->ObjClearAllUndo();
  v->SetObjAutoUndo(true);
  v->RemoveObject(a);
  EXPECT_EQ(v->ObjUndoCount(), 1);
  v->ObjUndo();
  EXPECT_EQ(v->ObjectsCount(), 1);
  EXPECT_EQ(v->ObjUndoCount(), 1);  // the load itself records nothing

  // Shared: the processing component's undo brings removed objects back.
  v->SetObjUndoMode(vxumShared);
  v->ObjClearAllUndo();
  v->AddNewObject(vxkELLIPSE, TRect{0, 0, 9, 9}, 0, false);
  v->RemoveAllObjects();
  EXPECT_EQ(v->ObjUndoCount(), 0);
  EXPECT_EQ(v->ObjectsCount(), 0);
  v->Proc()->Undo();
  EXPECT_EQ(v->ObjectsCount(), 2);
}

class TCounterObject : public TVXExtendedObject {
 public:
  int32_t Value = 0;
  void SaveToStream(TStream* Stream) override { Stream->WriteBuffer(&Value, 4); }
  bool LoadFromStream(TStream* Stream) override { return Stream->Read(&Value, 4) == 4; }
};

TEST_F(VectTest, ModuleHooksAndExtendedObjects) {
  EXPECT_NE(VXVectClipboardFormat(), 0u);
  EXPECT_NE(VXTextMemoClipboardFormat(), 0u);
  EXPECT_EQ(RegisterClipboardFormatW("VEXLANE VECT"), VXVectClipboardFormat());
  EXPECT_EQ(RegisterClipboardFormatW("VEXLANE TEXTMEMO"), VXTextMemoClipboardFormat());
  EXPECT_EQ(VXCreateExtendedObject("TCounterObject"), nullptr);
  VXRegisterExtendedObjectClass<TCounterObject>("TCounterObject");
  ASSERT_NE(VXCreateExtendedObject("TCounterObject"), nullptr);

  TVexlaneVect* v = NewVect();
  v->SetExtendedObjectToPut("TCounterObject");
  v->SetObjKind(-1, vxkEXTENDED);
  const int32_t h = v->AddNewObject(false);
  auto* x = dynamic_cast<TCounterObject*>(v->GetObjExtendedObject(h));
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->fHOBJ, h);
  EXPECT_EQ(x->fParent, v);
  EXPECT_EQ(x->Value, 0);  // a clone carries no data
  x->Value = 4242;
  v->SetObjText(h, u"ext");
  TVexlaneVect* w = NewVect();
  ASSERT_TRUE(Load(w, Save(v)));
  auto* y = dynamic_cast<TCounterObject*>(w->GetObjExtendedObject(0));
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(y->Value, 4242);
  EXPECT_EQ(y->fParent, w);
  EXPECT_EQ(w->GetObjText(0), u"ext");

  // Shut-down frees the registry; start-up makes an empty one.
  const uint32_t format = VXVectClipboardFormat();
  VXLibraryHooks.VectShutdown();
  EXPECT_FALSE(VXExtendedObjectRegistryExists());
  EXPECT_EQ(VXVectClipboardFormat(), format);
  VXLibraryHooks.VectStartup();
  EXPECT_TRUE(VXExtendedObjectRegistryExists());
  EXPECT_EQ(VXCreateExtendedObject("TCounterObject"), nullptr);
}

}  // namespace
