// What the viewer draws over its layers (the highlighted pixel of the grid,
// the layer box hooks) and a layer swap that moves the viewer's image.
#include <vector>

#include "core/settings.h"
#include "winui/win_paint.h"
#include "tests/view/view_fixture.h"

namespace {

std::vector<uint32_t> Pixels(TVexlaneView* v, int& W, int& H) {
  InvalidateRect(v->Handle(), nullptr, FALSE);
  VXHeadless::RunUntilIdle();
  return VXHeadless::Surface(v->Handle(), W, H);
}

class ViewGadgets : public ViewTest {};

TEST_F(ViewGadgets, TheHighlightedPixelIsRingedInItsColourWhileTheGridShows) {
  TVexlaneView* v = NewView(200, 160);
  SetImage(v, 12, 10);
  VXGetGlobalSettings()->SetMinZoomDisplayGrid(400);
  v->SetImageHorizAlignment(vxhLeft);
  v->SetImageVertAlignment(vxvTop);
  v->SetZoom(1000);  // each pixel 10 x 10 client pixels
  int W = 0, H = 0;
  const std::vector<uint32_t> plain = Pixels(v, W, H);
  // Without the grid a highlighted pixel shows nothing.
  v->SetHighlightedPixel(TPoint{3, 2});
  EXPECT_EQ(Pixels(v, W, H), plain);
  v->SetDisplayGrid(true);
  v->SetHighlightedPixel(TPoint{-1, -1});
  const std::vector<uint32_t> grid = Pixels(v, W, H);
  ASSERT_NE(grid, plain);

  // The first highlight shows at once (no other change re-renders).
  v->SetHighlightedPixelColor(0x0000FF);  // red
  v->SetHighlightedPixel(TPoint{3, 2});
  const std::vector<uint32_t> marked = VXHeadless::Surface(v->Handle(), W, H);
  const TVXLayer* L = v->Layers(0);
  const int x1 = v->ConvXBmp2Scr(L, 3), y1 = v->ConvYBmp2Scr(L, 2);
  const int x2 = v->ConvXBmp2Scr(L, 4), y2 = v->ConvYBmp2Scr(L, 3);
  ASSERT_EQ(x2 - x1, 10);
  auto reddish = [](uint32_t p) { return ((p >> 16) & 255) > 150 && ((p >> 8) & 255) < 100 && (p & 255) < 100; };
  // The ring's straight sides, halfway along each edge of the pixel.
  const int mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
  const std::pair<int, int> sides[] = {{mx, y1}, {mx, y2 - 1}, {x1, my}, {x2 - 1, my}};
  for (auto [x, y] : sides) {
    bool ring = false;
    for (int d = -1; d <= 1; ++d) {
      ring = ring || reddish(marked[size_t(y) * W + x + (y == my ? d : 0)]) ||
             reddish(marked[size_t(y + (x == mx ? d : 0)) * W + x]);
    }
    EXPECT_TRUE(ring) << "no ring near (" << x << ", " << y << ")";
  }
  // Only around the pixel: far away the picture is the grid's.
  size_t changedFar = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if ((x < x1 - 6 || x > x2 + 6 || y < y1 - 6 || y > y2 + 6) && marked[size_t(y) * W + x] != grid[size_t(y) * W + x])
        ++changedFar;
  EXPECT_EQ(changedFar, 0u);

  // Moving the highlight takes the old ring away.
  v->SetHighlightedPixel(TPoint{8, 6});
  const std::vector<uint32_t> moved = VXHeadless::Surface(v->Handle(), W, H);
  for (int y = y1 - 5; y < y2 + 5; ++y)
    for (int x = x1 - 5; x < x2 + 5; ++x) ASSERT_EQ(moved[size_t(y) * W + x], grid[size_t(y) * W + x]) << x << "," << y;
  v->SetHighlightedPixel(TPoint{-1, -1});
  EXPECT_EQ(VXHeadless::Surface(v->Handle(), W, H), grid);
}

// Records the box hooks' calls.
class BoxView : public TVexlaneView {
 public:
  using TVexlaneView::TVexlaneView;
  std::vector<int> boxes, outers;

 protected:
  void DrawLayerBox(TVXBitmap*, int32_t Index) override { boxes.push_back(Index); }
  void DrawLayerOuter(TVXBitmap*, int32_t Index) override { outers.push_back(Index); }
};

TEST_F(ViewGadgets, BoxHooksAreCalledForTheLayersThatShowTheirBox) {
  BoxView* v = NewView<BoxView>(120, 100);
  SetImage(v, 40, 30);
  for (int i = 0; i < 3; ++i) v->LayersAdd(10, 10, vx24RGB, 5 * i, 5 * i);
  v->Layers(2)->SetVisibleBox(false);
  v->Layers(3)->SetDrawOuter(true);
  v->SetLayersCurrent(1);
  struct Case {
    bool drawBox;
    int current;
    std::vector<int> boxes, outers;
  } cases[] = {
      {false, 1, {}, {}},  // no boxes without LayersDrawBox
      // Not the current layer, nor a layer without a visible box (layer 0
      // has none).
      {true, 1, {3}, {}},
      {true, 3, {1}, {3}},  // the current layer's outer area when it asks for it
      {false, 3, {}, {3}},
  };
  for (const Case& c : cases) {
    v->SetLayersDrawBox(c.drawBox);
    v->SetLayersCurrent(c.current);
    v->boxes.clear();
    v->outers.clear();
    v->UpdateRect(TRect{0, 0, 120, 100});
    VXHeadless::RunUntilIdle();
    EXPECT_EQ(v->boxes, c.boxes) << c.drawBox << " " << c.current;
    EXPECT_EQ(v->outers, c.outers) << c.drawBox << " " << c.current;
  }
  // Rendering into another bitmap without gadgets calls none.
  v->boxes.clear();
  v->outers.clear();
  TVXBitmap other(v->ClientWidth(), v->ClientHeight(), vx24RGB);
  v->PaintToEx(&other, nullptr, nullptr, true, false);
  EXPECT_TRUE(v->boxes.empty());
  EXPECT_TRUE(v->outers.empty());
}

TEST_F(ViewGadgets, SwappingTheShownLayerMovesTheViewerToTheLayerHoldingTheImage) {
  TVexlaneView* v = NewView(120, 100);
  SetImage(v, 30, 20);
  const int32_t i = v->LayersAdd(8, 6, vx24RGB, 0, 0);
  v->Layers(i)->Bitmap()->Fill(77);
  const TRGB filled = v->Layers(i)->Bitmap()->Pixels(0, 0);
  TVXLayer* shown = v->Layers(i);
  ASSERT_EQ(v->LayersCurrent(), i);
  ASSERT_EQ(v->VXBitmap(), shown->Bitmap());
  // The image of the shown layer moves into layer 0: the viewer follows it.
  v->Layers(0)->Swap(*shown);
  EXPECT_EQ(v->LayersCurrent(), 0);
  EXPECT_EQ(v->VXBitmap(), v->Layers(0)->Bitmap());
  EXPECT_EQ(v->VXBitmap()->Width(), 8);
  EXPECT_EQ(v->Layers(i)->Bitmap()->Width(), 0);
  // A swap between layers the viewer does not show leaves it alone.
  const int32_t j = v->LayersAdd(5, 5, vx24RGB, 1, 1);
  v->SetLayersCurrent(0);
  v->Layers(i)->Swap(*v->Layers(j));
  EXPECT_EQ(v->LayersCurrent(), 0);
  EXPECT_EQ(v->VXBitmap(), v->Layers(0)->Bitmap());
  EXPECT_EQ(v->Layers(i)->Bitmap()->Width(), 5);
  // Painting after the swaps draws what the layers now hold.
  int W = 0, H = 0;
  const std::vector<uint32_t> px = Pixels(v, W, H);
  const TRGB c = v->Layers(0)->Bitmap()->Pixels(0, 0);
  EXPECT_EQ(px[size_t(v->OffsetY()) * W + v->OffsetX()], (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b);
  EXPECT_TRUE(c.r == filled.r && c.g == filled.g && c.b == filled.b);
  EXPECT_NE(c.r + c.g + c.b, 0);
}

TEST_F(ViewGadgets, APaletteChangeRedrawsTheViewer) {
  TVexlaneView* v = NewView(80, 60);
  SetImage(v, 20, 10);
  VXHeadless::RunUntilIdle();
  RECT r{};
  ASSERT_FALSE(GetUpdateRect(v->Handle(), &r, FALSE));
  ASSERT_EQ(Application->MainForm(), nullptr);
  // Another window realised its palette: the viewer (without a main form)
  // is drawn again; the form's own change is not answered.
  SendMessageW(Form->Handle(), WM_PALETTECHANGED, reinterpret_cast<WPARAM>(Form->Handle()), 0);
  EXPECT_FALSE(GetUpdateRect(v->Handle(), &r, FALSE));
  SendMessageW(Form->Handle(), WM_PALETTECHANGED, 0, 0);
  EXPECT_TRUE(GetUpdateRect(v->Handle(), &r, FALSE));
  VXHeadless::RunUntilIdle();
  // Asked to realise a palette, the form answers that a control did.
  EXPECT_EQ(SendMessageW(Form->Handle(), WM_QUERYNEWPALETTE, 0, 0), 1);
  EXPECT_TRUE(GetUpdateRect(v->Handle(), &r, FALSE));
}

}  // namespace
