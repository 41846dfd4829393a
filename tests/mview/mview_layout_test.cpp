// The thumbnail viewer's grid and view: cell coordinates, extent and scroll
// bars against a model of the layout, scroll-bar and wheel messages, zoom.
#include <random>

#include "mview_fixture.h"
#include "winui/win_scroll.h"
#include "winui/win_window.h"

namespace {

void SetClientSize(TVexlaneMView* v, int CW, int CH) {
  for (int i = 0; i < 8; ++i) {
    const int dw = CW - v->ClientWidth(), dh = CH - v->ClientHeight();
    if (dw == 0 && dh == 0) return;
    v->SetBounds(v->Left(), v->Top(), v->Width() + dw, v->Height() + dh);
    VXHeadless::RunUntilIdle();
  }
}

bool BarShown(TVexlaneMView* v, int Bar) {
  const LONG style = GetWindowLongW(v->Handle(), GWL_STYLE);
  return (style & (Bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL)) != 0;
}

// One wheel notch over the control (-120 towards the user).
void Wheel(TVexlaneMView* v, int Delta) {
  VXHeadless::Wheel(v->Handle(), 20, 20, Delta);
  VXHeadless::RunUntilIdle();
}

void Scroll(TVexlaneMView* v, UINT Msg, int Code, int Pos = 0) {
  SendMessageW(v->Handle(), Msg, WPARAM(uint32_t(Code) | (uint32_t(Pos) << 16)), 0);
}

}  // namespace

TEST_F(MViewTest, LayoutFollowsAModelOfTheGrid) {
  struct Setup {
    int TW, TH, HB, VB, Grid, Count, CW, CH;
    TVXMDisplayMode Mode;
    double Zoom;
  };
  std::vector<Setup> setups = {
      {100, 100, 4, 4, -1, 0, 300, 200, mdGrid, 100},    // the empty list
      {100, 80, 4, 4, 0, 7, 300, 200, mdGrid, 100},      // one row
      {60, 60, 2, 3, 3, 11, 250, 150, mdSingle, 100},    // one frame
      {50, 40, 0, 0, -1, 9, 120, 90, mdGrid, 100},
  };
  std::mt19937 rng(7);
  for (int k = 0; k < 24; ++k) {
    const int grids[] = {-1, 0, 1, 2, 5};
    const double zooms[] = {100, 100, 50, 150, 33};
    Setup s{20 + int(rng() % 130), 20 + int(rng() % 130), int(rng() % 11), int(rng() % 11),
            grids[rng() % 5],      int(rng() % 30),        60 + int(rng() % 400), 60 + int(rng() % 300),
            rng() % 6 == 0 ? mdSingle : mdGrid, zooms[rng() % 5]};
    if (s.Grid == -1) s.Zoom = 100;  // automatic columns are frozen by zooms and sizes
    setups.push_back(s);
  }
  for (const Setup& s : setups) {
    SCOPED_TRACE(testing::Message() << s.TW << "x" << s.TH << " borders " << s.HB << "," << s.VB << " grid "
                                    << s.Grid << " count " << s.Count << " client " << s.CW << "x" << s.CH
                                    << " mode " << s.Mode << " zoom " << s.Zoom);
    TVexlaneMView* v = NewMView();
    v->LockUpdate();
    v->SetThumbnailSize(s.TW, s.TH);
    v->SetHorizBorder(s.HB);
    v->SetVertBorder(s.VB);
    v->SetZoom(s.Zoom);
    v->SetGridWidth(s.Grid);
    v->SetDisplayMode(s.Mode);
    for (int i = 0; i < s.Count; ++i) v->AppendImage();
    v->UnLockUpdate();
    SetClientSize(v, s.CW, s.CH);
    v->SetViewXY(100000, 100000);
    v->Update();
    const int cw = v->ClientWidth(), ch = v->ClientHeight(), n = s.Count;
    const int w = int(s.TW * s.Zoom / 100), h = int(s.TH * s.Zoom / 100);
    int g = s.Grid;
    if (g == -1) {
      g = (cw - s.HB) / std::max(1, w + s.HB);
      if (g < 1 && n > 0) g = 1;
    } else if (g == 0) {
      g = n;
    }
    EXPECT_EQ(v->CalcGridWidth(), g);
    EXPECT_EQ(v->CalcGridHeight(), (n == 0 || g <= 0) ? 0 : (n + g - 1) / g);
    int vw = 0, vh = 0, row = 0, col = 0;
    const bool grid = s.Mode == mdGrid;
    for (int i = 0; i < n; ++i) {
      const int x = (w + s.HB) * col + (grid ? s.HB : 0), y = row * (h + s.VB) + (grid ? s.VB : 0);
      ASSERT_EQ(v->GetImageX(i), x) << i;
      ASSERT_EQ(v->GetImageY(i), y) << i;
      ASSERT_EQ(v->GetImageRow(i), row) << i;
      ASSERT_EQ(v->GetImageCol(i), col) << i;
      vw = std::max(vw, x);
      vh = std::max(vh, y);
      ++col;
      if (!grid) {
        col = 0;
      } else if (col >= g) {
        col = 0;
        ++row;
      }
    }
    vw += w + s.HB;
    vh += h + s.VB;
    const int mx = std::max(0, vw - cw), my = std::max(0, vh - ch);
    EXPECT_EQ(v->MaximumViewX(), mx);
    EXPECT_EQ(v->MaximumViewY(), my);
    EXPECT_EQ(v->ViewX(), mx);
    EXPECT_EQ(v->ViewY(), my);
    EXPECT_EQ(BarShown(v, SB_HORZ), mx > 0);
    EXPECT_EQ(BarShown(v, SB_VERT), my > 0);
    for (int bar : {SB_HORZ, SB_VERT}) {
      const int m = bar == SB_HORZ ? mx : my;
      if (m == 0) continue;
      const int client = bar == SB_HORZ ? cw : ch;
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_ALL;
      ASSERT_TRUE(GetScrollInfo(v->Handle(), bar, &si));
      const double ratio = (double(client) + m - 1) / 65536;
      EXPECT_EQ(si.nMax, 65535);
      EXPECT_EQ(int(si.nPage), int(client / ratio));
      // The platform keeps the position within the range less the page.
      EXPECT_EQ(si.nPos, std::min(int(m / ratio), 65536 - int(si.nPage)));
    }
    delete v;
  }
}

TEST_F(MViewTest, ScrollBarAndWheelMessagesMoveTheView) {
  TVexlaneMView* v = NewMView(200, 300);
  v->SetGridWidth(1);
  Fill(v, 10);
  SetClientSize(v, 180, 300);
  ASSERT_EQ(v->ClientHeight(), 300);
  const int maxY = 10 * 104 + 4 - 300;
  EXPECT_EQ(v->MaximumViewY(), maxY);
  std::vector<int> changes;
  v->OnViewChange = [&](void*, int c) { changes.push_back(c); };
  Scroll(v, WM_VSCROLL, SB_BOTTOM);
  EXPECT_EQ(v->ViewY(), maxY);
  Scroll(v, WM_VSCROLL, SB_TOP);
  EXPECT_EQ(v->ViewY(), 0);
  Scroll(v, WM_VSCROLL, SB_LINEDOWN);
  EXPECT_EQ(v->ViewY(), 104);
  Scroll(v, WM_VSCROLL, SB_PAGEDOWN);
  EXPECT_EQ(v->ViewY(), 404);
  Scroll(v, WM_VSCROLL, SB_LINEUP);
  EXPECT_EQ(v->ViewY(), 300);
  Scroll(v, WM_VSCROLL, SB_THUMBTRACK, 1000);
  EXPECT_EQ(v->ViewY(), int(1000 * v->RYScroll()));
  v->VScrollBarParams().SetTracking(false);
  const size_t before = changes.size();
  Scroll(v, WM_VSCROLL, SB_THUMBTRACK, 9000);
  EXPECT_EQ(v->ViewY(), int(1000 * v->RYScroll()));
  EXPECT_EQ(changes.size(), before);  // ignored entirely
  Scroll(v, WM_VSCROLL, SB_THUMBPOSITION, 2000);
  EXPECT_EQ(v->ViewY(), int(2000 * v->RYScroll()));
  v->VScrollBarParams().SetLineStep(7);
  v->VScrollBarParams().SetPageStep(50);
  const int y0 = v->ViewY();
  Scroll(v, WM_VSCROLL, SB_LINEDOWN);
  Scroll(v, WM_VSCROLL, SB_PAGEDOWN);
  EXPECT_EQ(v->ViewY(), y0 + 57);
  EXPECT_EQ(changes, std::vector<int>(changes.size(), 0));

  // One wheel notch towards the user scrolls one row.
  Scroll(v, WM_VSCROLL, SB_TOP);
  Wheel(v, -120);
  EXPECT_EQ(v->ViewY(), 104);
  Wheel(v, 120);
  EXPECT_EQ(v->ViewY(), 0);

  // Horizontally, with a line step of its own.
  SetClientSize(v, 60, 300);
  ASSERT_GT(v->MaximumViewX(), 20);
  v->HScrollBarParams().SetLineStep(10);
  Scroll(v, WM_HSCROLL, SB_LINEDOWN);
  EXPECT_EQ(v->ViewX(), 10);
  Scroll(v, WM_HSCROLL, SB_BOTTOM);
  EXPECT_EQ(v->ViewX(), v->MaximumViewX());
  v->OnViewChange = nullptr;
}

TEST_F(MViewTest, ZoomingScalesTheViewAndKeepsTheColumns) {
  TVexlaneMView* v = NewMView(400, 300);
  // No horizontal bar: its coming would be a size change, which fixes the
  // columns anew.
  v->SetScrollBars(ssVertical);
  v->SetGridWidth(-1);
  Fill(v, 40);
  const int cols = v->CalcGridWidth();
  ASSERT_GT(cols, 1);
  v->SetViewXY(0, 150);
  ASSERT_EQ(v->ViewY(), 150);
  v->SetZoom(200);
  EXPECT_EQ(v->ViewY(), 300);
  EXPECT_EQ(v->CalcGridWidth(), cols);
  EXPECT_EQ(v->ThumbWidth(), 200);
  EXPECT_EQ(v->GetImageX(1), 4 + 204);
  // Zooms that would break the next change are ignored.
  v->SetZoom(0);
  v->SetZoom(-5);
  v->SetZoom(std::nan(""));
  EXPECT_EQ(v->Zoom(), 200);

  // The wheel's zoom step at zoom 10 is at least 1.
  v->SetZoom(10);
  v->MouseWheelParams().Action = vxmwZoom;
  Wheel(v, 120);
  EXPECT_EQ(v->Zoom(), 9);
  Wheel(v, -120);
  EXPECT_EQ(v->Zoom(), 10);
}

TEST_F(MViewTest, ZeroSizedCellsDoNotDivideByZero) {
  TVexlaneMView* v = NewMView(300, 200);
  v->SetHorizBorder(0);
  v->SetVertBorder(0);
  v->SetGridWidth(-1);
  v->SetThumbnailSize(0, 0);
  Fill(v, 5);
  EXPECT_GE(v->CalcGridWidth(), 1);
  Wheel(v, -120);
  Scroll(v, WM_VSCROLL, SB_LINEDOWN);
  EXPECT_EQ(v->ViewY(), 0);
}

TEST_F(MViewTest, VisibilityAndCentring) {
  TVexlaneMView* v = NewMView(300, 200);
  v->SetGridWidth(1);
  Fill(v, 6);
  SetClientSize(v, 280, 200);
  EXPECT_EQ(v->GetImageVisibility(0), 2);
  EXPECT_EQ(v->GetImageVisibility(1), 1);
  EXPECT_EQ(v->GetImageVisibility(3), 0);
  EXPECT_EQ(v->GetImageVisibility(9), 0);
  EXPECT_TRUE(v->IsVisible(1));
  EXPECT_FALSE(v->IsVisible(4));
  v->SetSelectedImage(3);
  v->CenterSelected();
  EXPECT_EQ(v->ViewY(), v->GetImageY(3) - (200 - 100) / 2);
  v->DisplayImageAt(2, 0, 5);
  EXPECT_EQ(v->ViewY(), v->GetImageY(2) + 5);
  TVexlaneMView loose(nullptr);
  loose.SetViewXY(5, 5);
  EXPECT_EQ(loose.ViewX(), 0);
}
