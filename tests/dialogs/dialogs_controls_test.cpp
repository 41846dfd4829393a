// The drawn controls of the dialogs and the palette dialog: their pixels
// against references computed from their drawing rules, and their events
// under the forms driver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "../winui/pinned_fonts.h"
#include "core/settings.h"
#include "core/vxdefs.h"
#include "core/bitmap.h"
#include "dialogs/histogrambox.h"
#include "dialogs/hsvbox.h"
#include "dialogs/rulerbox.h"
#include "dialogs/palettedlg.h"
#include "gui/formdriver.h"
#include "gui/forms.h"
#include "proc/colors.h"
#include "winui/gdi_font.h"
#include "winui/gdi_text.h"
#include "winui/headless.h"
#include "winui/win_input.h"

namespace {

namespace D = VXFormDriver;

class DialogControls : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(0);
    D::Reset();
    fGDIPlus = VXGetGlobalSettings()->UseGDIPlus();
    VXGetGlobalSettings()->SetUseGDIPlus(false);
  }
  void TearDown() override {
    VXGetGlobalSettings()->SetUseGDIPlus(fGDIPlus);
    D::Reset();
    VXHeadless::Reset();
  }
  bool fGDIPlus = true;
};

// 0x00RRGGBB pixels of a 24-bit bitmap, top row first.
std::vector<uint32_t> PixelsOf(TBitmap* B) {
  std::vector<uint32_t> out;
  for (int y = 0; y < B->Height(); ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(B->ScanLine(y));
    for (int x = 0; x < B->Width(); ++x)
      out.push_back(uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x]);
  }
  return out;
}

uint32_t Packed(TRGB c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }

// The HSV box's picture from its drawing rules: bar and gap, square, and the
// two markers inverted (outlines of rectangles, right and bottom edges
// excluded).
std::vector<uint32_t> HSVReference(int W, int H, int Hue, int Sat, int Val, bool Markers) {
  std::vector<uint32_t> px(size_t(W) * size_t(H), 0);
  const int bd = 5, hb = 20, w = W - bd - hb;
  auto put = [&](int x, int y, uint32_t v) {
    if (x >= 0 && y >= 0 && x < W && y < H) px[size_t(y) * size_t(W) + size_t(x)] = v;
  };
  if (w >= 1 && H >= 1) {
    const float fh = float(360.0 / H), fv = float(100.0 / H), fs = float(100.0 / w);
    const uint32_t back = Packed(VXColorToTRGB(clBtnFace));
    for (int a = 0; a < H; ++a) {
      const int y = H - 1 - a;
      for (int x = w; x < w + bd; ++x) put(x, y, back);
      for (int x = w + bd; x < W; ++x) put(x, y, Packed(VXHSVToRGB(int(a * double(fh)), 99, 99)));
      for (int d = 0; d < w; ++d) put(d, y, Packed(VXHSVToRGB(Hue, int(d * double(fs)), int(a * double(fv)))));
    }
  }
  if (Markers && w >= 2 && H >= 2) {
    std::set<std::pair<int, int>> outline;
    auto rect = [&](int x1, int y1, int x2, int y2) {
      for (int x = x1; x < x2; ++x) outline.insert({x, y1}), outline.insert({x, y2 - 1});
      for (int y = y1; y < y2; ++y) outline.insert({x1, y}), outline.insert({x2 - 1, y});
    };
    const int y = int(std::nearbyint(double(H - 1) * (359 - Hue) / 360));
    rect(w + bd, y - 2, W, y + 2);
    const int sx = int(std::nearbyint(double(Sat) / 99 * (w - 1)));
    const int sy = H - 1 - int(std::nearbyint(double(H - 1) * Val / 99));
    rect(sx - 3, sy - 3, sx + 3, sy + 3);
    for (auto [x, yy] : outline)
      if (x >= 0 && yy >= 0 && x < W && yy < H) px[size_t(yy) * size_t(W) + size_t(x)] ^= 0xFFFFFF;
  }
  return px;
}

TEST_F(DialogControls, HSVBoxPixelsFollowItsDrawingRules) {
  struct Case {
    int W, H;
  } cases[] = {{105, 105}, {26, 105}, {300, 7}, {40, 1}, {105, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + " x " + std::to_string(c.H));
    THSVBox box(nullptr);
    box.SetBounds(0, 0, c.W, c.H);
    EXPECT_EQ(PixelsOf(box.Bitmap()), HSVReference(c.W, c.H, 0, 0, 0, true));
    box.SetHue(200);
    box.SetSat(60);
    box.SetVal(70);
    EXPECT_EQ(PixelsOf(box.Bitmap()), HSVReference(c.W, c.H, 200, 60, 70, true));
    box.XorMarkers();
    EXPECT_EQ(PixelsOf(box.Bitmap()), HSVReference(c.W, c.H, 200, 60, 70, false));
    box.XorMarkers();
    EXPECT_EQ(PixelsOf(box.Bitmap()), HSVReference(c.W, c.H, 200, 60, 70, true));
  }
}

TEST_F(DialogControls, HSVBoxSettersClampAndFireNothing) {
  TForm f(nullptr);
  auto* box = new THSVBox(&f);
  box->SetParent(&f);
  int changes = 0;
  box->OnChange = [&](void*) { ++changes; };
  box->SetHue(400);
  EXPECT_EQ(box->Hue(), 359);
  box->SetSat(-5);
  EXPECT_EQ(box->Sat(), 0);
  box->SetVal(120);
  EXPECT_EQ(box->Val(), 99);
  box->SetRGB(10, 20, 30);
  EXPECT_EQ(box->Color(), TColor(10 | 20 << 8 | 30 << 16));
  box->SetColor(clBtnFace);
  EXPECT_EQ(box->Color(), clBtnFace);
  const TRGB face = VXColorToTRGB(clBtnFace);
  EXPECT_EQ(box->Red(), face.r);
  EXPECT_EQ(box->Green(), face.g);
  EXPECT_EQ(box->Blue(), face.b);
  EXPECT_EQ(changes, 0);
  // At the default size the square is 80 pixels wide.
  EXPECT_EQ(box->Width(), 105);
  EXPECT_EQ(box->GetColorAt(80, 10), box->Color());
  EXPECT_NE(box->GetColorAt(79, 0), box->Color());
}

// A drag that starts in the square stays in it: across the gap onto the bar
// only saturation and value change.
TEST_F(DialogControls, HSVBoxPicksWithTheMouse) {
  TForm f(nullptr);
  f.SetBounds(0, 0, 200, 200);
  auto* box = new THSVBox(&f);
  box->SetParent(&f);
  box->SetHue(120);
  int changes = 0;
  box->OnChange = [&](void*) { ++changes; };
  f.Show();
  D::MouseDown(box, 10, 10);
  EXPECT_EQ(box->Sat(), int(std::nearbyint(10.0 / 79 * 99)));
  EXPECT_EQ(box->Val(), 99 - int(std::nearbyint(10.0 / 104 * 99)));
  D::MouseMove(box, 95, 52);
  D::MouseUp(box, 95, 52);
  EXPECT_EQ(box->Hue(), 120);
  EXPECT_EQ(box->Sat(), 99);
  EXPECT_EQ(box->Val(), 99 - int(std::nearbyint(52.0 / 104 * 99)));
  const TRGB c = VXHSVToRGB(120, box->Sat(), box->Val());
  EXPECT_EQ(box->Color(), VXTRGBToColor(c));
  EXPECT_GE(changes, 2);
  // A press on the bar picks the hue: the top is 359.
  D::ClickAt(box, 100, 0);
  EXPECT_EQ(box->Hue(), 359);
  // A press in the gap picks nothing.
  const int before = changes;
  D::ClickAt(box, 82, 50);
  EXPECT_EQ(changes, before);
}

TEST_F(DialogControls, ATinyHSVBoxDrawsAndPicksNothing) {
  TForm f(nullptr);
  auto* box = new THSVBox(&f);
  box->SetBounds(0, 0, 1, 1);
  box->SetParent(&f);
  // The pixel the 1 x 1 bitmap kept from the default size stays as it is.
  const std::vector<uint32_t> kept = PixelsOf(box->Bitmap());
  box->SetHue(100);
  box->SetColor(clRed);
  int changes = 0;
  box->OnChange = [&](void*) { ++changes; };
  f.Show();
  D::ClickAt(box, 0, 0);
  EXPECT_EQ(PixelsOf(box->Bitmap()), kept);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(box->GetColorAt(0, 0), clRed);
}

std::vector<TRGB> Ramp(int N) {
  std::vector<TRGB> p(static_cast<size_t>(N));
  for (int i = 0; i < N; ++i) p[size_t(i)] = TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
  return p;
}

uint32_t SurfaceAt(HWND h, int X, int Y) {
  int w = 0, hh = 0;
  const std::vector<uint32_t> s = VXHeadless::Surface(h, w, hh);
  return s[size_t(Y) * size_t(w) + size_t(X)];
}

TEST_F(DialogControls, PaletteDialogGridAndPicking) {
  const std::vector<TRGB> pal = Ramp(256);
  TVexlanePaletteDialog dlg(nullptr);
  EXPECT_THROW(dlg.Execute(), EVXException);
  dlg.SetPalette(pal, 256);
  // Hover on cell 33 (second row, second column), then a click picks it.
  D::OnModal([&](TCustomForm*) {
    const TRect last = TVexlanePaletteDialog::CellRect(255);
    EXPECT_EQ(last.Top, 7 * 16 + 1);
    EXPECT_EQ(last.Left, 31 * 16 + 1);
    EXPECT_EQ(SurfaceAt(dlg.Handle(), last.Left + 5, last.Top + 5), Packed(pal[255]));
    D::MouseMove(&dlg, 16 + 5, 16 + 5);
    EXPECT_EQ(dlg.NumCol(), 33);
    const TRect c33 = TVexlanePaletteDialog::CellRect(33), c0 = TVexlanePaletteDialog::CellRect(0);
    EXPECT_EQ(SurfaceAt(dlg.Handle(), c33.Left, c33.Top), 0u);
    EXPECT_EQ(SurfaceAt(dlg.Handle(), c33.Right - 1, c33.Bottom - 1), 0u);
    EXPECT_EQ(SurfaceAt(dlg.Handle(), c33.Left + 1, c33.Top + 1), Packed(pal[33]));
    EXPECT_EQ(SurfaceAt(dlg.Handle(), c0.Left, c0.Top), 0xFFFFFFu);
    D::ClickAt(&dlg, c33.Left + 3, c33.Top + 3);
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.SelCol, VXTRGBToColor(pal[33]));
  // Shown again: the picked colour is outlined in 555555h; Escape answers
  // false and keeps the pick.
  D::OnModal([&](TCustomForm*) {
    D::MouseMove(&dlg, 5, 5);
    const TRect c33 = TVexlanePaletteDialog::CellRect(33);
    EXPECT_EQ(SurfaceAt(dlg.Handle(), c33.Left, c33.Top), 0x555555u);
    D::Key(nullptr, VK_ESCAPE);
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(dlg.SelCol, VXTRGBToColor(pal[33]));
}

TEST_F(DialogControls, PaletteDialogWithFewColours) {
  const std::vector<TRGB> pal = Ramp(4);
  TVexlanePaletteDialog dlg(nullptr);
  // A count beyond the palette shows what the palette holds.
  dlg.SetPalette(pal, 40);
  D::OnModal([&](TCustomForm*) {
    const TRect c3 = TVexlanePaletteDialog::CellRect(3), c4 = TVexlanePaletteDialog::CellRect(4);
    EXPECT_EQ(SurfaceAt(dlg.Handle(), c3.Left + 5, c3.Top + 5), Packed(pal[3]));
    EXPECT_EQ(SurfaceAt(dlg.Handle(), c4.Left + 5, c4.Top + 5), Packed(VXColorToTRGB(clBtnFace)));
    // A click before the pointer was over any cell picks nothing.
    dlg.Perform(WM_LBUTTONDOWN, 0, MAKELPARAM(300, 150));
    dlg.Perform(WM_LBUTTONUP, 0, MAKELPARAM(300, 150));
    EXPECT_TRUE(dlg.ModalRunning());
    D::ClickAt(&dlg, c3.Left + 2, c3.Top + 2);
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.SelCol, VXTRGBToColor(pal[3]));
}

// The rows of column X (from the bottom row up) that hold Color.
int ColumnRun(TBitmap* B, int X, int FromRow, uint32_t Color) {
  int n = 0;
  for (int y = FromRow; y >= 0; --y) {
    const uint8_t* p = static_cast<const uint8_t*>(B->ScanLine(y)) + 3 * X;
    if ((uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]) != Color) break;
    ++n;
  }
  return n;
}

// Bar heights against ImageMagick's counts of the same grey image.
TEST_F(DialogControls, HistogramBarsFollowImageMagicksCounts) {
  if (std::system("convert -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const int w = 64, h = 40;
  TVXBitmap img(w, h, vx8g);
  std::vector<uint8_t> raw;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(img.Scanline(y));
    for (int x = 0; x < w; ++x) {
      row[x] = uint8_t((x * x + 7 * y + (x ^ y)) % 256 < 128 ? (x * 3 + y) % 256 : (x * y) % 61);
      raw.push_back(row[x]);
    }
  }
  const std::string path = ::testing::TempDir() + "histogram_sample.pgm";
  {
    std::ofstream f(path, std::ios::binary);
    f << "P5\n" << w << " " << h << "\n255\n";
    f.write(reinterpret_cast<const char*>(raw.data()), std::streamsize(raw.size()));
  }
  FILE* p = popen(("convert " + path + " -format %c histogram:info:-").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::map<int, uint32_t> counts;
  char line[512];
  while (std::fgets(line, sizeof line, p)) {
    unsigned count = 0;
    int v = 0;
    if (std::sscanf(line, " %u: (%d", &count, &v) == 2) counts[v] = count;
  }
  pclose(p);
  ASSERT_FALSE(counts.empty());
  uint32_t maxc = 0;
  for (auto [v, c] : counts) maxc = std::max(maxc, c);
  THistogramBox box(nullptr);
  box.SetLabels(0);
  box.SetCompBar(false);
  box.SetBounds(0, 0, 300, 120);
  box.UpdateFromBitmap(&img);
  ASSERT_EQ(box.HistogramAbsXPos(), 0);
  for (int c = 0; c < 300; ++c) {
    const int idx = int(double(c) / 300 * 256);
    const uint32_t n = counts.count(idx) ? counts[idx] : 0;
    int want = int(std::nearbyint(double(n) / maxc * 120));
    if (n > 0 && want == 0) want = 1;
    ASSERT_EQ(ColumnRun(box.Bitmap.get(), c, 119, 0), want) << "column " << c;
  }
}

// The level labels: the text of 0, len/4, ... and len - 1, each as TextOut
// draws it at its place under the plot.
TEST_F(DialogControls, HistogramLevelLabels) {
  struct Case {
    int Len;
    THistogramKind Kind;
    std::vector<std::string> Labels;
  } cases[] = {{360, VXHistogramKindBit(hkHue), {"0", "90", "180", "270", "359"}},
               {65536, VXHistogramKindBit(hkGray), {"0", "16384", "32768", "49152", "65535"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Len);
    THistogramBox box(nullptr);
    box.SetHistogramKind(c.Kind);
    box.SetLabels(VXHistogramLabelBit(hlHorizontal));
    TVXHistogram h(static_cast<size_t>(c.Len));
    for (int i = 0; i < c.Len; ++i) h[size_t(i)].Hue = h[size_t(i)].Gray = uint32_t(i % 97 + 1);
    box.UpdateFromHistogram(h);
    const int W = box.Width(), F = std::abs(box.Font()->Height());
    const int y = box.Height() - (int(F * 1.2) + 2) - F - 1;
    // All five, drawn in order (a long last label may cover part of the
    // one before it), over the band of the labels.
    TBitmap want(W, box.Height(), pf24bit);
    want.Canvas()->Brush()->SetColor(clWhite);
    want.Canvas()->FillRect(TRect{0, 0, W, box.Height()});
    want.Canvas()->Font()->Assign(box.Font());
    int th = 0;
    for (size_t i = 0; i < c.Labels.size(); ++i) {
      const TSize ext = want.Canvas()->TextExtent(c.Labels[i]);
      th = std::max(th, int(ext.cy));
      const int x = i < 4 ? int(std::nearbyint(double(i) * (c.Len / 4) / c.Len * W)) : W - ext.cx;
      want.Canvas()->TextOut(x, y, c.Labels[i]);
    }
    int differ = 0, ink = 0;
    for (int yy = y; yy < y + th; ++yy)
      for (int xx = 0; xx < W; ++xx) {
        const COLORREF v = VXColorToRGB(want.Canvas()->Pixels(xx, yy));
        differ += v != VXColorToRGB(box.Bitmap->Canvas()->Pixels(xx, yy));
        ink += v != 0xFFFFFF;
      }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(ink, 50);
  }
}

// A tiny count: a 1-pixel bar in hsBars, on the base line in hsLines.
TEST_F(DialogControls, HistogramTinyCounts) {
  THistogramBox box(nullptr);
  box.SetLabels(0);
  box.SetCompBar(false);
  box.SetBounds(0, 0, 256, 100);
  TVXHistogram h(256);
  h[10].Gray = 1;
  h[200].Gray = 100000;
  box.UpdateFromHistogram(h);
  EXPECT_EQ(ColumnRun(box.Bitmap.get(), 10, 99, 0), 1);
  EXPECT_EQ(ColumnRun(box.Bitmap.get(), 11, 99, 0), 0);
  EXPECT_EQ(ColumnRun(box.Bitmap.get(), 200, 99, 0), 100);
  box.SetHistogramStyle(hsLines);
  box.UpdateFromHistogram(h);
  // The line runs along row 99 (Hp - 0) clipped off: nothing of column 10
  // rises above the base.
  for (int y = 0; y < 99; ++y)
    EXPECT_EQ(VXColorToRGB(box.Bitmap->Canvas()->Pixels(10, y)), 0xFFFFFFu) << y;
}

TEST_F(DialogControls, HistogramRangeSelection) {
  TForm f(nullptr);
  f.SetBounds(0, 0, 400, 200);
  auto* box = new THistogramBox(&f);
  box->SetParent(&f);
  box->SetLabels(0);
  box->SetCompBar(false);
  box->SetMouseInteract(mhSelectRange);
  std::vector<std::string> log;
  box->OnSelectionChanging = [&](void*) { log.push_back("changing"); };
  box->OnSelectionChanged = [&](void*) { log.push_back("changed"); };
  f.Show();
  // Both marks start at pixel 0: the upper one is set first (a lower mark
  // right of the upper one swaps with it at the next paint).
  box->SetMaxSelected(100);
  box->SetMinSelected(50);
  EXPECT_EQ(box->MinSelected(), 50);
  EXPECT_EQ(box->MaxSelected(), 100);
  EXPECT_TRUE(log.empty());
  // Drag the lower mark past the upper one.
  const int from = MulDiv(box->Width() - 1, 50, 255);
  D::MouseDown(box, from, 50);
  D::MouseMove(box, from + 120, 50);
  EXPECT_EQ(log, std::vector<std::string>{"changing"});
  D::MouseMove(box, from + 121, 50);
  D::MouseUp(box, from + 121, 50);
  EXPECT_EQ(log, (std::vector<std::string>{"changing", "changing", "changing", "changed"}));
  // The marks were swapped at the paint: the upper one is the dragged one.
  EXPECT_EQ(box->MinSelected(), 100);
  EXPECT_EQ(box->MaxSelected(), MulDiv(255, from + 121, box->Width() - 1));
  // Levels round-trip through the mark positions; -1 clears both.
  box->SetMaxSelected(255);
  for (int v : {0, 1, 128, 254, 255}) {
    box->SetMinSelected(v);
    EXPECT_EQ(box->MinSelected(), v);
  }
  box->SetMinSelected(-1);
  EXPECT_EQ(box->MinSelected(), -1);
  EXPECT_EQ(box->MaxSelected(), -1);
}

TEST_F(DialogControls, RulerLabels) {
  TRulerBox r(nullptr);
  r.SetHexLabels(true);
  EXPECT_EQ(r.LabelText(255), "FF");
  EXPECT_EQ(r.LabelText(0), "0");
  EXPECT_EQ(r.LabelText(-16), "-10");
  r.SetHexLabels(false);
  EXPECT_EQ(r.LabelText(12.3456), "12.346");
  EXPECT_EQ(r.LabelText(40), "40");
  EXPECT_EQ(r.LabelText(-0.0001), "0");
}

// Ticks count from the multiple of Frequency next to ViewPos on the side of
// 0: for 15 the first is 10 (5 pixels before the window), for -15 it is -10
// (5 pixels in); either way ticks show at 5, 15, 25 ...
TEST_F(DialogControls, RulerTicks) {
  for (double vp : {15.0, -15.0}) {
    SCOPED_TRACE(vp);
    TRulerBox r(nullptr);
    r.SetLabelFreq(1000);
    r.SetViewPos(vp);
    EXPECT_EQ(r.ViewPos(), vp);
    const int R = r.GetRulerSize();
    TCanvas* c = r.Bitmap->Canvas();
    for (int x : {5, 15, 25, 295}) EXPECT_EQ(c->Pixels(x, R - 1), clBlack) << x;
    for (int x : {0, 4, 6, 10, 20}) EXPECT_NE(c->Pixels(x, R - 1), clBlack) << x;
  }
}

TEST_F(DialogControls, RulerFitsTheViewAndClampsGrips) {
  TRulerBox r(nullptr);
  r.SetBounds(0, 0, 289, 40);
  r.SetViewMax(255);
  r.SetFitInView(true);
  EXPECT_DOUBLE_EQ(r.DotPerUnit(), 289.0 / 255);
  // Values that would loop without end are ignored.
  r.SetFitInView(false);
  r.SetDotPerUnit(0);
  r.SetFrequency(-1);
  r.SetLabelFreq(std::nan(""));
  EXPECT_DOUBLE_EQ(r.DotPerUnit(), 289.0 / 255);
  EXPECT_EQ(r.Frequency(), 10);
  EXPECT_EQ(r.LabelFreq(), 40);
  // A position outside the grip's range stores the nearer bound, and the
  // event fires twice.
  std::vector<int> events;
  r.OnRulerPosChange = [&](void*, int g) { events.push_back(g); };
  r.SetGripsPos(0, 300);
  EXPECT_EQ(r.GetGripsPos(0), 255);
  EXPECT_EQ(events, (std::vector<int>{0, 0}));
  r.SetGripsCount(-3);
  EXPECT_EQ(r.GripsCount(), 0);
  r.SetGripsPos(-1, 5);
  EXPECT_EQ(r.GetGripsPos(-1), 0);
}

// Of two grips on one spot, the higher index is drawn on top and is hit.
TEST_F(DialogControls, RulerGripsOnOneSpot) {
  TRulerBox r(nullptr);
  r.SetGripsCount(2);
  r.SetGripsCol(0, clRed);
  r.SetGripsCol(1, clBlue);
  r.SetGripsPos(0, 100);
  r.SetGripsPos(1, 100);
  const TRect g = r.GetGripRect(1);
  EXPECT_EQ(r.GripAtPoint(100, g.Bottom - 3), 1);
  EXPECT_EQ(r.Bitmap->Canvas()->Pixels(100, g.Bottom - 4), clBlue);
  r.SetGripsPos(1, 200);
  EXPECT_EQ(r.GripAtPoint(100, g.Bottom - 3), 0);
  EXPECT_EQ(r.Bitmap->Canvas()->Pixels(100, g.Bottom - 4), clRed);
}

// A grip dragged past the end scrolls the view one step for every round of
// the loop: the move's own step, then one for each poll that sees the
// button held.
TEST_F(DialogControls, RulerDragPastTheEndScrollsUntilTheRelease) {
  TForm f(nullptr);
  f.SetBounds(0, 0, 400, 100);
  auto* r = new TRulerBox(&f);
  r->SetBounds(0, 0, 300, 40);
  r->SetParent(&f);
  r->SetGripsPos(0, 100);
  std::vector<int> events;
  r->OnRulerPosChange = [&](void*, int g) { events.push_back(g); };
  f.Show();
  const TRect g = r->GetGripRect(0);
  const int y = g.Bottom - 3;
  D::MouseDown(r, 100, y);
  D::MouseMove(r, 150, y);
  EXPECT_EQ(r->GetGripsPos(0), 150);
  events.clear();
  D::HoldButtonForPolls(3);
  D::MouseMove(r, 350, y);
  D::MouseUp(r, 350, y);
  EXPECT_EQ(events.size(), 4u);
  EXPECT_EQ(r->ViewPos(), 4);
  // Each step puts the grip at the end of the view: (L + P0 - U1 - 1) / DPU
  // + ViewPos + ScrollRate / DPU, the last with ViewPos 3.
  EXPECT_EQ(r->GetGripsPos(0), 300 + 100 - 100 - 1 + 3 + 1);
}

// On a form each control shows its bitmap; the design-time histogram draws
// its synthetic picture only under the design flag.
TEST_F(DialogControls, TheControlsShowTheirBitmaps) {
  TForm f(nullptr);
  f.SetClientSize(420, 260);
  auto* hsv = new THSVBox(&f);
  hsv->SetBounds(10, 10, 105, 105);
  hsv->SetParent(&f);
  hsv->SetHue(30);
  hsv->SetSat(70);
  hsv->SetVal(80);
  auto* hist = new THistogramBox(&f);
  hist->SetBounds(130, 10, 256, 105);
  hist->SetParent(&f);
  hist->SetHistogramKind(VXHistogramKindBit(hkRed) | VXHistogramKindBit(hkGreen) | VXHistogramKindBit(hkBlue));
  TVXHistogram h(256);
  for (int i = 0; i < 256; ++i) {
    h[size_t(i)].R = uint32_t(1000 + 900 * std::sin(i / 20.0));
    h[size_t(i)].G = uint32_t(i * 7);
    h[size_t(i)].B = uint32_t((255 - i) * 5);
  }
  hist->UpdateFromHistogram(h);
  auto* ruler = new TRulerBox(&f);
  ruler->SetBounds(130, 125, 256, 40);
  ruler->SetParent(&f);
  ruler->SetGripsCount(2);
  ruler->SetGripsCol(0, clBlack);
  ruler->SetGripsCol(1, clWhite);
  ruler->SetViewMax(255);
  ruler->SetFitInView(true);
  ruler->SetGripsPos(1, 255);
  ruler->SetGripsKind(1, gkArrow);
  f.Show();
  D::Settle();
  int w = 0, hh = 0;
  for (TCustomControl* c : std::vector<TCustomControl*>{hsv, hist, ruler}) {
    const std::vector<uint32_t> shown = VXHeadless::Surface(c->Handle(), w, hh);
    TBitmap* b = c == hsv ? hsv->Bitmap() : c == hist ? hist->Bitmap.get() : ruler->Bitmap.get();
    EXPECT_EQ(shown, PixelsOf(b));
  }
  if (const char* dir = std::getenv("VX_FORMS_SHOT_DIR")) {
    for (auto [c, name] : std::vector<std::pair<TCustomControl*, std::string>>{{hsv, "hsv"}, {hist, "hist"}, {ruler, "ruler"}}) {
      const std::vector<uint32_t> px = VXHeadless::Surface(c->Handle(), w, hh);
      std::ofstream out(std::string(dir) + "/" + name + ".ppm", std::ios::binary);
      out << "P6\n" << w << " " << hh << "\n255\n";
      for (uint32_t v : px) out.put(char(v >> 16)).put(char(v >> 8)).put(char(v));
    }
  }
  THistogramBox design(nullptr);
  const std::vector<uint32_t> blank = PixelsOf(design.Bitmap.get());
  design.SetDesigning(true);
  design.Update();
  EXPECT_NE(PixelsOf(design.Bitmap.get()), blank);
}

}  // namespace
