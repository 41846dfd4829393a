// Metafile pictures: own sizes of enhanced, placeable and plain Windows
// metafiles, loading from streams and files, refusal of damaged ones, and
// drawing on a canvas at a point and stretched.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../winui/uemf_writer.h"
#include "gui/graphics.h"
#include "gui/metafile.h"

namespace {

using vxtest::Pt16;
using vxtest::Rect16;
using vxtest::TEmf;
using vxtest::TWmf;

constexpr TColor kRedColour = 0x0000FF;

// A red box without outline over the whole 40 x 20 picture's left half.
std::vector<uint8_t> Emf() {
  TEmf e(40, 20);
  e.SolidBrush(0x0000FF);
  e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN)).Add(U_EMRRECTANGLE_set(vxtest::Rectl(0, 0, 20, 20)));
  return e.Finish();
}

// A red half of 1 x 0.5 inch in twips; placeable when Dpi is not 0, with a
// box of that size.
std::vector<uint8_t> Wmf(unsigned Dpi = 0) {
  TWmf w(1.0, 0.5, Dpi);
  w.Add(U_WMRSETWINDOWORG_set(Pt16(0, 0))).Add(U_WMRSETWINDOWEXT_set(Pt16(1440, 720)));
  w.Select(w.SolidBrush(0x0000FF)).Select(w.Pen(U_PS_NULL, 0, 0)).Add(U_WMRRECTANGLE_set(Rect16(0, 0, 720, 720)));
  return w.Finish();
}

void Load(TMetafile& m, const std::vector<uint8_t>& bytes) {
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  m.LoadFromStream(in);
}

TEST(GuiMetafile, OwnSizes) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool enhanced;
    int w, h, inch;
  } cases[] = {
      {"emf", Emf(), true, 40, 20, 0},
      // libuemf counts the placeable header in the Windows header's size
      // too: the file ends 22 bytes before that size.
      {"placeable", Wmf(1440), false, 96, 48, 1440},
      {"plain", Wmf(), false, 1440, 720, 0},
  };
  for (const Case& c : cases) {
    TMetafile m;
    Load(m, c.bytes);
    EXPECT_EQ(m.Enhanced(), c.enhanced) << c.name;
    EXPECT_EQ(m.Width(), c.w) << c.name;
    EXPECT_EQ(m.Height(), c.h) << c.name;
    EXPECT_EQ(m.Inch(), c.inch) << c.name;
    EXPECT_TRUE(m.Transparent());
    EXPECT_FALSE(m.Empty());
  }
  TMetafile m;
  Load(m, cases[1].bytes);
  EXPECT_EQ(m.MMWidth(), 2540);
  EXPECT_EQ(m.MMHeight(), 1270);
}

TEST(GuiMetafile, RefusesWhatIsNoMetafile) {
  std::vector<uint8_t> cut = Emf(), cutPlaceable = Wmf(1440);
  cut.resize(cut.size() - 30);
  cutPlaceable.resize(cutPlaceable.size() - 4);  // into the end record
  // A plain Windows metafile without window extent has no size.
  TWmf noExt;
  noExt.Add(U_WMRRECTANGLE_set(Rect16(0, 0, 10, 10)));
  std::vector<std::vector<uint8_t>> bad = {cut, cutPlaceable, noExt.Finish(), std::vector<uint8_t>(200, 0), {}};
  for (const auto& b : bad) {
    TMetafile m;
    Load(m, Emf());
    EXPECT_THROW(Load(m, b), EInvalidGraphicOperation);
    EXPECT_EQ(m.Width(), 40) << "the picture held stays";
  }
  TMetafile m;
  EXPECT_THROW(m.LoadFromFile("/nonexistent/x.emf"), EInvalidGraphicOperation);
}

TEST(GuiMetafile, LoadsFromAFileAndTheStreamsPosition) {
  std::string path = ::testing::TempDir() + "gui_metafile_test.wmf";
  std::vector<uint8_t> bytes = Wmf(1440);
  {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  TMetafile m;
  m.LoadFromFile(path);
  EXPECT_EQ(m.Width(), 96);
  std::remove(path.c_str());
  std::vector<uint8_t> emf = Emf();
  std::string s = "junk" + std::string(emf.begin(), emf.end()) + "tail";
  std::istringstream in(s);
  in.seekg(4);
  m.LoadFromStream(in);
  EXPECT_TRUE(m.Enhanced());
  EXPECT_EQ(m.Width(), 40);
}

TEST(GuiMetafile, CanvasDrawsItAtItsSizeAndStretched) {
  TMetafile m;
  Load(m, Emf());
  TBitmap b(100, 50);
  b.Canvas()->Brush()->SetColor(clWhite);
  b.Canvas()->FillRect(TRect{0, 0, 100, 50});
  b.Canvas()->Draw(10, 5, &m);
  EXPECT_EQ(b.Canvas()->Pixels(10, 5), kRedColour);
  EXPECT_EQ(b.Canvas()->Pixels(28, 23), kRedColour);
  EXPECT_EQ(b.Canvas()->Pixels(30, 10), clWhite);
  EXPECT_EQ(b.Canvas()->Pixels(9, 5), clWhite);
  b.Canvas()->StretchDraw(TRect{50, 0, 100, 50}, &m);
  EXPECT_EQ(b.Canvas()->Pixels(70, 45), kRedColour);
  EXPECT_EQ(b.Canvas()->Pixels(80, 45), clWhite);
}

}  // namespace
