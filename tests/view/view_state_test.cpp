// The view-state stream: a viewer's selection, zoom, origin, options and
// layers written and read into a fresh viewer; version 1 streams, foreign
// streams and damaged ones.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"
#include "tests/view/view_fixture.h"

namespace {

std::vector<uint8_t> Bytes(TMemoryStream& s) {
  const auto* p = static_cast<const uint8_t*>(s.Memory());
  return std::vector<uint8_t>(p, p + s.Size());
}

// Reads Data into v from the start; the stream's position afterwards.
int64_t Load(TVexlaneView* v, const std::vector<uint8_t>& Data, bool& Read) {
  TMemoryStream s;
  if (!Data.empty()) s.Write(Data.data(), int64_t(Data.size()));
  s.SetPosition(0);
  Read = v->LoadState(&s);
  return s.Position();
}

}  // namespace

class ViewState : public ViewTest {
 protected:
  // Two layers, a rectangle selection on the upper one (current, as after
  // reading layers), zoom 250, origin (100, 40) and the chessboard
  // background.
  TVexlaneView* Source() {
    TVexlaneView* v = NewView(200, 150);
    SetImage(v, 120, 90);
    const int32_t n = v->LayersAdd(30, 20, vx24RGB, 10, 5);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) v->Layers(n)->Bitmap()->SetPixels(x, y, TRGB{uint8_t(7 * x), 40, uint8_t(9 * y)});
    v->SetSelectionOptions(VXSelOpt(vxsoSizeable) | VXSelOpt(vxsoMoveable));
    v->SetSelectionBase(vxsbBitmap);
    v->Select(4, 3, 24, 15);
    v->SetZoom(250);
    v->SetViewXY(100, 40);
    v->SetBackgroundStyle(vxbsChessboard);
    VXHeadless::RunUntilIdle();
    return v;
  }
  // Prefix (magic, version, selection, fields) followed by v's layers
  // stream written where it lands.
  static std::vector<uint8_t> WithLayers(TVexlaneView* v, const std::vector<uint8_t>& Prefix) {
    TMemoryStream s;
    s.Write(Prefix.data(), int64_t(Prefix.size()));
    v->LayersSaveToStream(&s, -1);
    return Bytes(s);
  }
  // The size of v's selection stream.
  static size_t SelectionSize(TVexlaneView* v) {
    TMemoryStream s;
    v->SaveSelectionToStream(&s);
    return size_t(s.Size());
  }
};

TEST_F(ViewState, RestoresSelectionZoomOriginOptionsAndLayers) {
  TVexlaneView* a = Source();
  ASSERT_EQ(a->ViewX(), 100);
  ASSERT_EQ(a->ViewY(), 40);
  TMemoryStream s;
  a->SaveState(&s);
  EXPECT_EQ(a->SavedSelectionsCount(), 0);
  EXPECT_TRUE(a->Selected());
  // A fresh viewer of another client size.
  TVexlaneView* b = NewView(260, 190);
  s.SetPosition(0);
  ASSERT_TRUE(b->LoadState(&s));
  EXPECT_EQ(b->Zoom(), 250);
  EXPECT_EQ(b->ZoomY(), 250);
  EXPECT_EQ(b->BackgroundStyle(), vxbsChessboard);
  EXPECT_EQ(b->SavedSelectionsCount(), 0);
  int32_t mx = 0, my = 0;
  b->GetMaxViewXY(mx, my);
  EXPECT_EQ(b->ViewX(), std::min(100, mx));
  EXPECT_EQ(b->ViewY(), std::min(40, my));
  ASSERT_EQ(b->LayersCount(), 2);
  for (int i = 0; i < 2; ++i) {
    TVXBitmap* p = a->Layers(i)->Bitmap();
    TVXBitmap* q = b->Layers(i)->Bitmap();
    ASSERT_EQ(p->Width(), q->Width());
    ASSERT_EQ(p->Height(), q->Height());
    EXPECT_EQ(a->Layers(i)->PosX(), b->Layers(i)->PosX());
    for (int y = 0; y < p->Height(); ++y)
      for (int x = 0; x < p->Width(); ++x) ASSERT_EQ(p->Pixels(x, y), q->Pixels(x, y));
  }
  // The selection lies on the same pixels.
  ASSERT_TRUE(b->Selected());
  EXPECT_EQ(b->SelX1(), a->SelX1());
  EXPECT_EQ(b->SelY1(), a->SelY1());
  EXPECT_EQ(b->SelX2(), a->SelX2());
  EXPECT_EQ(b->SelY2(), a->SelY2());
  EXPECT_EQ(b->LayersCurrent(), 1);
  b->SetSelectionBase(vxsbBitmap);
  int inside = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      ASSERT_EQ(b->IsPointInsideSelection(x, y), a->IsPointInsideSelection(x, y)) << x << "," << y;
      inside += a->IsPointInsideSelection(x, y);
    }
  EXPECT_EQ(inside, 20 * 12);
  // At the same size and origin the two viewers show the same picture.
  SetClientSize(b, a->ClientWidth(), a->ClientHeight());
  b->SetViewXY(a->ViewX(), a->ViewY());
  a->UpdateRect(TRect{0, 0, a->ClientWidth(), a->ClientHeight()});
  b->UpdateRect(TRect{0, 0, b->ClientWidth(), b->ClientHeight()});
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(b->ViewX(), 100);
  int aw = 0, ah = 0, bw = 0, bh = 0;
  const std::vector<uint32_t> sa = VXHeadless::Surface(a->Handle(), aw, ah);
  const std::vector<uint32_t> sb = VXHeadless::Surface(b->Handle(), bw, bh);
  EXPECT_EQ(aw, bw);
  EXPECT_EQ(ah, bh);
  EXPECT_TRUE(sa == sb);
}

TEST_F(ViewState, VersionOneHoldsOneCentredByte) {
  TVexlaneView* a = Source();
  TMemoryStream s;
  a->SaveState(&s);
  const std::vector<uint8_t> v2 = Bytes(s);
  const size_t S = SelectionSize(a);
  // Version 1: the two alignment bytes (at +25 of the fields) are one.
  struct Case {
    uint8_t centred;
    TVXHAlign startH, expectH;
    TVXVAlign startV, expectV;
  } cases[] = {{0, vxhCenter, vxhLeft, vxvCenter, vxvTop}, {1, vxhRight, vxhCenter, vxvBottom, vxvCenter}};
  for (const Case& c : cases) {
    std::vector<uint8_t> head(v2.begin(), v2.begin() + std::ptrdiff_t(20 + S + 25));
    head[16] = 1;
    head.push_back(c.centred);
    head.insert(head.end(), v2.begin() + std::ptrdiff_t(20 + S + 27), v2.begin() + std::ptrdiff_t(20 + S + 56));
    const std::vector<uint8_t> v1 = WithLayers(a, head);
    TVexlaneView* b = NewView(200, 150);
    b->SetImageHorizAlignment(c.startH);
    b->SetImageVertAlignment(c.startV);
    bool read = false;
    Load(b, v1, read);
    EXPECT_TRUE(read);
    EXPECT_EQ(b->ImageHorizAlignment(), c.expectH);
    EXPECT_EQ(b->ImageVertAlignment(), c.expectV);
    EXPECT_EQ(b->Zoom(), 250);
    EXPECT_EQ(b->LayersCount(), 2);
  }
}

TEST_F(ViewState, ForeignAndDamagedStreamsLeaveTheViewAlone) {
  TVexlaneView* a = Source();
  TMemoryStream s;
  a->SaveState(&s);
  const std::vector<uint8_t> good = Bytes(s);
  const size_t S = SelectionSize(a);
  TVexlaneView* b = NewView(200, 150);
  SetImage(b, 50, 40);
  b->SetZoom(150);
  VXHeadless::RunUntilIdle();
  auto unchanged = [&](const char* what) {
    EXPECT_EQ(b->Zoom(), 150) << what;
    EXPECT_EQ(b->BackgroundStyle(), vxbsSolid) << what;
    EXPECT_EQ(b->SavedSelectionsCount(), 0) << what;
  };
  // Another magic, or version 0: 20 bytes read, nothing else.
  for (int k = 0; k < 2; ++k) {
    std::vector<uint8_t> d = good;
    if (k == 0)
      d[15] = 'X';
    else
      d[16] = 0;
    bool read = true;
    EXPECT_EQ(Load(b, d, read), 20);
    EXPECT_FALSE(read);
    unchanged("foreign");
    EXPECT_EQ(b->LayersCount(), 1);
    EXPECT_EQ(b->VXBitmap()->Width(), 50);
  }
  // Cut anywhere before the options are applied: an exception, the options
  // as they were and no saved selection left behind.
  std::mt19937 g(5);
  std::vector<size_t> cuts = {0, 10, 19, 20, 21, 20 + S - 1, 20 + S, 20 + S + 30, 20 + S + 55, 20 + S + 56,
                              20 + S + 70, good.size() - 1};
  for (int i = 0; i < 20; ++i) cuts.push_back(20 + S + 56 + g() % (good.size() - 20 - S - 57));
  for (size_t cut : cuts) {
    std::vector<uint8_t> d(good.begin(), good.begin() + std::ptrdiff_t(cut));
    bool read = false;
    EXPECT_THROW(Load(b, d, read), EVXException) << cut;
    unchanged("cut");
  }
  // Ordinals out of range keep the viewer's values.
  std::vector<uint8_t> d = good;
  const size_t f = 20 + S;
  d[f + 25] = 7;   // horizontal alignment
  d[f + 27] = 99;  // zoom filter
  d[f + 28] = 40;  // background style
  d[f + 39] = 9;   // scroll bars
  b->SetImageHorizAlignment(vxhRight);
  b->SetScrollBars(ssVertical);
  bool read = false;
  Load(b, d, read);
  EXPECT_TRUE(read);
  EXPECT_EQ(b->ImageHorizAlignment(), vxhRight);
  EXPECT_EQ(b->ZoomFilter(), rfNone);
  EXPECT_EQ(b->BackgroundStyle(), vxbsSolid);
  EXPECT_EQ(b->ScrollBars(), ssVertical);
  EXPECT_EQ(b->Zoom(), 250);
}

TEST_F(ViewState, FileFormsAndReset) {
  TVexlaneView* a = Source();
  const char* t = std::getenv("TMPDIR");
  const std::string path = std::string(t && *t ? t : "/tmp") + "/vxstate_" + std::to_string(::getpid()) + ".vst";
  a->SaveState(path);
  TVexlaneView* b = NewView(200, 150);
  EXPECT_TRUE(b->LoadState(path));
  EXPECT_EQ(b->LayersCount(), 2);
  std::remove(path.c_str());
  b->ResetState();
  EXPECT_EQ(b->LayersCount(), 1);
  EXPECT_FALSE(b->Selected());
  EXPECT_EQ(b->Zoom(), 100);
  EXPECT_EQ(b->ViewX(), 0);
  EXPECT_TRUE(b->Center());
}
