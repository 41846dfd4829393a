// The multi-frame I/O component: attachment, the parameter list following
// the viewer's list operations, progress and aborting.
#include <map>
#include <random>

#include "core/settings.h"
#include "io/params.h"
#include "mview/vexlanemio.h"
#include "mview_fixture.h"
#include "view/vexlaneview.h"

namespace {

// A viewer that reports the moves, swaps and group moves of the sorting
// and moving operations, for the parameter list to follow.
class TReportingMView : public TVexlaneMView {
 public:
  using TVexlaneMView::TVexlaneMView;
  void Report(int32_t Op, int32_t Idx, int32_t P1, std::vector<int32_t> Group = {}) {
    ReportOp(Op, Idx, P1, std::move(Group));
  }
};

std::vector<int> Qualities(TVexlaneMIO* m) {
  std::vector<int> q;
  for (int i = 0; i < m->ParamsCount(); ++i) q.push_back(m->GetParams(i)->JPEG_Quality());
  return q;
}

}  // namespace

TEST_F(MViewTest, SeededListScriptsKeepTheParameterListInStep) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    TVexlaneMView* v = NewMView();
    TVexlaneMIO* mio = v->GetMIO();
    // The model: image tags, their JPEG qualities and the selected index.
    std::vector<int> tags, quality;
    int sel = -1, nextTag = 1;
    auto insertModel = [&](int idx, bool select) {
      const int n = int(tags.size());
      int q = 80;
      if (n > 0) q = quality[size_t(idx < n ? idx : n - 1)];
      if (idx >= n) idx = n;
      tags.insert(tags.begin() + idx, nextTag);
      quality.insert(quality.begin() + idx, q);
      if (select || sel < 0) sel = idx;
      return idx;
    };
    for (int step = 0; step < 60; ++step) {
      const int n = int(tags.size());
      const int op = int(rng() % 6);
      const int idx = int(rng() % uint32_t(n + 3));
      switch (op) {
        case 0: {  // insert
          const int got = v->InsertImage(idx);
          ASSERT_EQ(got, insertModel(idx, true));
          v->SetImageTag(got, nextTag++);
          break;
        }
        case 1: {  // append
          const int got = v->AppendImage();
          ASSERT_EQ(got, insertModel(n, true));
          v->SetImageTag(got, nextTag++);
          break;
        }
        case 2: {  // insert leaving the selection
          const int oldSel = sel;
          const int got = v->InsertImageEx(idx);
          ASSERT_EQ(got, insertModel(idx, false));
          if (oldSel < 0) sel = -1;
          v->SetImageTag(got, nextTag++);
          break;
        }
        case 3: {  // delete
          const bool done = v->DeleteImage(idx);
          ASSERT_EQ(done, idx < n);
          if (done) {
            int ns;
            if (idx == sel && idx == n - 1)
              ns = n - 2;
            else
              ns = idx < sel ? sel - 1 : sel;
            tags.erase(tags.begin() + idx);
            quality.erase(quality.begin() + idx);
            sel = ns;
          }
          break;
        }
        case 4:  // select
          v->SetSelectedImage(idx);
          if (idx < n) sel = idx;
          break;
        case 5:  // a quality change
          if (idx < n) {
            const int q = 1 + int(rng() % 100);
            mio->GetParams(idx)->SetJPEG_Quality(q);
            quality[size_t(idx)] = q;
          }
          break;
      }
      ASSERT_EQ(Tags(v), tags) << "step " << step;
      ASSERT_EQ(v->SelectedImage(), sel) << "step " << step;
      ASSERT_EQ(Qualities(mio), quality) << "step " << step;
    }
    delete v;
  }
}

TEST_F(MViewTest, AListenerSeesEachOperationOnceThenNothing) {
  auto* v = NewMView<TReportingMView>();
  Fill(v, 4);
  std::vector<int> seen;
  void* h = v->RegisterBitmapChangeEvent([&](void*, bool) { seen.push_back(v->GetLastOp()); });
  TVexlaneMIO* mio = v->GetMIO();
  for (int i = 0; i < 4; ++i) mio->GetParams(i)->SetJPEG_Quality(10 + i);  // A B C D
  v->InsertImage(1);
  v->DeleteImage(1);
  v->Report(3, 0, 2);             // A to 2: B C A D
  v->Report(4, 0, 3);             // swap: D C A B
  v->Report(5, 1, 1, {0, 2});     // D and A to 1: D A C B
  v->Report(3, 3, 10);            // B to the end: as it was
  v->Report(3, 7, 1);             // outside the list: nothing
  std::map<int, int> counts;
  for (int op : seen) ++counts[op];
  for (int op = 1; op <= 5; ++op) EXPECT_EQ(counts[op], op == 3 ? 3 : 1) << op;
  EXPECT_EQ(v->GetLastOp(), 0);
  EXPECT_EQ(Qualities(mio), (std::vector<int>{13, 10, 12, 11}));
  v->RemoveBitmapChangeEvent(h);  // before the test's locals go
}

TEST_F(MViewTest, GroupMovesReorderTheParameterObjects) {
  auto* v = NewMView<TReportingMView>();
  Fill(v, 4);
  TVexlaneMIO* mio = v->GetMIO();
  for (int i = 0; i < 4; ++i) mio->GetParams(i)->SetJPEG_Quality(10 + i);
  v->Report(5, 0, 1, {0, 2});
  EXPECT_EQ(Qualities(mio), (std::vector<int>{10, 12, 11, 13}));  // A C B D
}

TEST_F(MViewTest, AttachingAddsMissingParameterSetsAndKeepsSurplusOnes) {
  TVexlaneMView* five = NewMView();
  Fill(five, 5);
  TVexlaneMView* three = NewMView();
  Fill(three, 3);
  TVexlaneMIO mio;
  EXPECT_EQ(mio.GetParams(0), nullptr);
  mio.SetAttachedMView(five);
  EXPECT_EQ(mio.ParamsCount(), 5);
  mio.SetAttachedMView(three);
  EXPECT_EQ(mio.ParamsCount(), 5);
  EXPECT_EQ(mio.AttachedMView(), three);
  EXPECT_EQ(mio.GetParams(-1), nullptr);
  EXPECT_EQ(mio.GetParams(5), nullptr);
  // Only the new viewer is followed.
  five->AppendImage();
  EXPECT_EQ(mio.ParamsCount(), 5);
  three->DeleteImage(0);
  EXPECT_EQ(mio.ParamsCount(), 4);
  // Another class of viewer is refused; the component stays as it was.
  TVexlaneView* single = new TVexlaneView(Form.get());
  EXPECT_THROW(mio.SetAttachedMView(single), EVXException);
  EXPECT_EQ(mio.AttachedMView(), three);
  three->AppendImage();
  EXPECT_EQ(mio.ParamsCount(), 5);
  EXPECT_EQ(single->BitmapChangeEventsCount(), 0);
  // The viewer going away detaches it.
  delete three;
  EXPECT_EQ(mio.AttachedMView(), nullptr);
  mio.SetAttachedMView(nullptr);
  EXPECT_EQ(mio.ParamsCount(), 5);
}

TEST_F(MViewTest, NewParameterSetsTakeTheCompressionOptionsOfTheirNeighbour) {
  TVexlaneMView* v = NewMView();
  TVexlaneMIO* mio = v->GetMIO();
  v->AppendImage();
  EXPECT_EQ(mio->GetParams(0)->JPEG_Quality(), 80);  // into an empty viewer: defaults
  mio->GetParams(0)->SetJPEG_Quality(50);
  v->AppendImage();
  EXPECT_EQ(mio->GetParams(1)->JPEG_Quality(), 50);
  mio->GetParams(1)->SetJPEG_Quality(30);
  v->InsertImageEx(40);  // beyond the end: from the last entry
  EXPECT_EQ(mio->GetParams(2)->JPEG_Quality(), 30);
  v->InsertImage(0);  // before an entry: from that entry
  EXPECT_EQ(mio->GetParams(0)->JPEG_Quality(), 50);
  mio->DuplicateCompressionInfo();
  EXPECT_EQ(Qualities(mio), (std::vector<int>{50, 50, 50, 50}));
}

TEST_F(MViewTest, ProgressFinishAndTheFrameConventions) {
  TVexlaneMView* v = NewMView();
  std::vector<int> progress;
  int finished = 0;
  v->SetOnProgress([&](void*, int p) { progress.push_back(p); });
  v->SetOnFinishWork([&](void*) { ++finished; });
  TVexlaneMIO* mio = v->GetMIO();
  for (int i = 0; i < 3; ++i) mio->DoFrameProgress(i, 3);
  mio->DoFinishWork();
  EXPECT_EQ(progress, (std::vector<int>{0, 33, 66, 100}));
  EXPECT_EQ(finished, 1);
  // Events set later reach the component too.
  int later = 0;
  v->SetOnFinishWork([&](void*) { ++later; });
  mio->DoFinishWork();
  EXPECT_EQ(later, 1);

  mio->SetAborting(true);
  EXPECT_TRUE(mio->Aborting());
  // Frames go in at the selection, else at the end.
  Fill(v, 3);
  v->SetSelectedImage(1);
  EXPECT_EQ(mio->InsertionIndex(), 1);
  v->DeSelect();
  EXPECT_EQ(mio->InsertionIndex(), 3);

  mio->BeginFileLoad("/x/a.tif");
  EXPECT_EQ(mio->LoadingFileName(), "/x/a.tif");
  mio->EndFileLoad();
  EXPECT_EQ(mio->LoadingFileName(), "");
  EXPECT_EQ(mio->LastFilename(), "/x/a.tif");

  TIOParamsVals p;
  p.SetDpiX(1);
  p.SetDpiY(300);
  TVexlaneMIO::FixResolution(p);
  EXPECT_EQ(p.DpiX(), VXGetGlobalSettings()->DefaultDPIX());
  EXPECT_EQ(p.DpiY(), 300);
}

TEST_F(MViewTest, SquarePixelsFollowTheResolution) {
  TVexlaneMIO mio;
  TVXBitmap b(100, 50, vx24RGB);
  TIOParamsVals p;
  p.SetWidth(100);
  p.SetHeight(50);
  p.SetDpiX(100);
  p.SetDpiY(200);
  mio.AdjustSquarePixels(&b, p);  // off: nothing
  EXPECT_EQ(b.Height(), 50);
  mio.SetAutoAdjustDPI(true);
  mio.AdjustSquarePixels(&b, p);
  EXPECT_EQ(b.Width(), 100);
  EXPECT_EQ(b.Height(), 25);
  EXPECT_EQ(p.DpiY(), 100);
}
