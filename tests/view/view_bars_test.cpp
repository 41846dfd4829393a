// Presses on the viewer's own scroll bars, at screen points as a person
// gives them: the arrows, the track and the thumb move the view origin by
// the viewer's line, page and thumb codes; the form's picture holds the
// viewer with its bars beside another child.
#include <cmath>
#include <vector>

#include "gui/extctrls.h"
#include "winui/display.h"
#include "winui/win_input.h"
#include "winui/win_metrics.h"
#include "winui/win_state.h"
#include "tests/view/view_fixture.h"

namespace {

class ViewBars : public ViewTest {};

TEST_F(ViewBars, PressesOnTheBarsMoveTheOrigin) {
  TVexlaneView* v = NewView(300, 220);
  v->SetBorderStyle(bsNone);
  SetImage(v, 160, 120);
  v->SetZoom(250);  // 400 x 300: both bars
  VXHeadless::RunUntilIdle();
  ASSERT_TRUE(BarShown(v, SB_HORZ));
  RECT wr;
  GetWindowRect(v->Handle(), &wr);
  const int cxv = GetSystemMetrics(SM_CXVSCROLL), cyh = GetSystemMetrics(SM_CYHSCROLL);
  const RECT hbar{wr.left, wr.bottom - cyh, wr.right - cxv, wr.bottom};
  auto layout = [&] {
    SCROLLINFO si{};
    si.fMask = SIF_ALL;
    GetScrollInfo(v->Handle(), SB_HORZ, &si);
    vxwin::ScrollBar sb;
    sb.Min = si.nMin;
    sb.Max = si.nMax;
    sb.Page = si.nPage;
    sb.Pos = si.nPos;
    return VXScrollBarLayout(hbar, true, sb);
  };
  const int y = hbar.top + cyh / 2;
  auto press = [&](int x, bool down) {
    VXInputMouseButton(0, down, POINT{x, y});
    VXHeadless::RunUntilIdle();
  };
  auto click = [&](int x) {
    press(x, true);
    press(x, false);
  };
  int32_t mx = 0, my = 0;
  v->GetMaxViewXY(mx, my);
  const int32_t line = 2;  // trunc(zoom / 100) client pixels
  // Arrows: a line each way.
  const int32_t start = v->ViewX();
  click(layout().Arrow2.left + cxv / 2);
  EXPECT_EQ(v->ViewX(), start + line);
  click(layout().Arrow1.left + cxv / 2);
  EXPECT_EQ(v->ViewX(), start);
  // The track: a page (the client width), held at the ends.
  click(layout().Thumb.right + 2);
  EXPECT_EQ(v->ViewX(), std::min(start + v->ClientWidth(), mx));
  click(layout().Arrow1.right + 1);
  EXPECT_EQ(v->ViewX(), std::max(std::min(start + v->ClientWidth(), mx) - v->ClientWidth(), 0));
  // The thumb dragged 30 pixels: the origin follows the final position.
  const VXScrollBarParts parts = layout();
  SCROLLINFO si{};
  si.fMask = SIF_ALL;
  GetScrollInfo(v->Handle(), SB_HORZ, &si);
  const int grab = parts.Thumb.left + 3;
  press(grab, true);
  VXInputMouseMove(POINT{grab + 30, y});
  VXHeadless::RunUntilIdle();
  press(grab + 30, false);
  const int track = parts.Track.right - parts.Track.left, thumb = parts.Thumb.right - parts.Thumb.left;
  const int pos = (parts.Thumb.left - parts.Track.left + 30) * (si.nMax - si.nMin - int(si.nPage) + 1) / (track - thumb);
  const double ratio = double(v->ClientWidth() + mx) / 65536;
  EXPECT_EQ(v->ViewX(), int32_t(std::nearbyint(pos * ratio)));
  EXPECT_GT(v->ViewX(), 0);
}

TEST_F(ViewBars, TheFormsPictureHoldsTheViewerWithItsBarsBesideAnotherChild) {
  TVexlaneView* v = NewView(200, 150);
  v->SetBorderStyle(bsNone);
  SetImage(v, 120, 100);
  v->SetZoom(300);
  auto* other = new TPanel(Form.get());
  other->SetParent(Form.get());
  other->SetBounds(260, 20, 80, 60);
  other->SetColor(0x0000FF);
  VXHeadless::RunUntilIdle();
  int W = 0, H = 0, sw = 0, sh = 0;
  std::vector<uint32_t> pic;
  ASSERT_TRUE(VXReadWindowPicture(Form->Handle(), W, H, pic));
  const std::vector<uint32_t> surface = VXHeadless::Surface(v->Handle(), sw, sh);
  // The viewer's client surface at its place in the picture.
  POINT o{0, 0};
  ClientToScreen(v->Handle(), &o);
  RECT fr;
  GetWindowRect(Form->Handle(), &fr);
  const int ox = o.x - fr.left, oy = o.y - fr.top;
  ASSERT_EQ(sw, v->ClientWidth());
  for (int yy = 0; yy < sh; ++yy)
    for (int xx = 0; xx < sw; ++xx)
      ASSERT_EQ(pic[size_t(oy + yy) * W + size_t(ox + xx)], surface[size_t(yy) * sw + size_t(xx)]) << xx << "," << yy;
  // Its bars right of and below the client area, in the bars' own colours
  // (not the client's pixels).
  const uint32_t below = pic[size_t(oy + sh + 2) * W + size_t(ox + sw / 2)];
  const uint32_t beside = pic[size_t(oy + sh / 2) * W + size_t(ox + sw + 2)];
  EXPECT_NE(below, surface[size_t(sh - 1) * sw + size_t(sw / 2)]);
  EXPECT_NE(beside, surface[size_t(sh / 2) * sw + size_t(sw - 1)]);
  // The other child in its colour at its place.
  POINT po{0, 0};
  ClientToScreen(other->Handle(), &po);
  EXPECT_EQ(pic[size_t(po.y - fr.top + 30) * W + size_t(po.x - fr.left + 40)], 0xFF0000u);
}

}  // namespace
