// The base control's bitmap-change callbacks, the viewer's life cycle, its
// cursors, image state, resolution and the module hooks.
#include <memory>
#include <string>
#include <vector>

#include "core/canvas_tools.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "gui/cursors.h"
#include "gui/extctrls.h"
#include "io/vexlaneio.h"
#include "proc/proc.h"
#include "tests/view/view_fixture.h"
#include "view/viewunit.h"

namespace {

class ViewLife : public ViewTest {};

TEST_F(ViewLife, CallbacksRunOverASnapshotAndEachIsToldOnceAtDestruction) {
  std::vector<std::string> log;
  auto* v = new TVexlaneView(nullptr);
  void* h1 = nullptr;
  void* h2 = nullptr;
  void* h3 = nullptr;
  int owner2 = 0;
  h1 = v->RegisterBitmapChangeEvent([&](void* s, bool d) {
    EXPECT_EQ(s, static_cast<void*>(static_cast<TVXView*>(v)));
    log.push_back(std::string("1 ") + (d ? "destroying" : "changed"));
    if (!d) v->RemoveBitmapChangeEvent(h2);  // removes a later one meanwhile
  });
  h2 = v->RegisterBitmapChangeEvent(
      [&](void* s, bool d) {
        EXPECT_EQ(s, &owner2);
        log.push_back(std::string("2 ") + (d ? "destroying" : "changed"));
      },
      &owner2);
  h3 = v->RegisterBitmapChangeEvent([&](void*, bool d) {
    log.push_back(std::string("3 ") + (d ? "destroying" : "changed"));
    if (d) v->RemoveBitmapChangeEvent(h3);  // its own entry, while destroying
  });
  ASSERT_NE(h1, nullptr);
  v->CallBitmapChangeEvents();
  EXPECT_EQ(log, (std::vector<std::string>{"1 changed", "3 changed"}));
  v->RemoveBitmapChangeEvent(nullptr);
  int unrelated;
  v->RemoveBitmapChangeEvent(&unrelated);
  EXPECT_EQ(v->BitmapChangeEventsCount(), 2);
  log.clear();
  delete v;
  EXPECT_EQ(log, (std::vector<std::string>{"1 destroying", "3 destroying"}));
}

TEST_F(ViewLife, DestroyingTellsTheAttachedComponentsOnce) {
  TVexlaneView* v = NewView(200, 150);
  SetImage(v, 30, 20);
  TVexlaneIO* io = v->IO();
  TVexlaneProc* proc = v->Proc();
  EXPECT_EQ(io, v->IO());
  EXPECT_EQ(io->AttachedVexlane(), v);
  EXPECT_EQ(proc->AttachedVexlane(), v);
  EXPECT_EQ(io->VXBitmap(), v->VXBitmap());
  // Components of others attached to the same viewer.
  TVexlaneIO outsideIO;
  TVexlaneProc outsideProc;
  outsideIO.SetAttachedVexlane(v);
  outsideProc.SetAttachedVexlane(v);
  EXPECT_EQ(v->BitmapChangeEventsCount(), 4);
  // The viewer's own components follow a new external bitmap.
  TVXBitmap external(12, 8, vx24RGB);
  v->SetExternalBitmap(&external);
  EXPECT_EQ(io->VXBitmap(), &external);
  EXPECT_EQ(outsideIO.VXBitmap(), &external);
  v->SetExternalBitmap(nullptr);
  EXPECT_NE(v->VXBitmap(), &external);
  EXPECT_EQ(outsideIO.VXBitmap(), v->VXBitmap());
  EXPECT_EQ(external.Width(), 12);  // not freed by the viewer
  delete v;
  EXPECT_EQ(outsideIO.AttachedVexlane(), nullptr);
  EXPECT_EQ(outsideProc.AttachedVexlane(), nullptr);
}

TEST_F(ViewLife, EventsSetOnTheViewerReachItsComponents) {
  TVexlaneView* v = NewView(200, 150);
  int progress = 0, finished = 0, undo = 0;
  v->SetOnProgress([&](void*, int32_t) { ++progress; });
  TVexlaneIO* io = v->IO();
  v->SetOnFinishWork([&](void*) { ++finished; });
  v->SetOnSaveUndo([&](void*, TVXUndoSource) { ++undo; });
  TVexlaneProc* proc = v->Proc();
  ASSERT_TRUE(io->OnProgress && io->OnFinishWork);
  ASSERT_TRUE(proc->OnProgress && proc->OnFinishWork && proc->OnSaveUndo);
  io->OnProgress(io, 5);
  proc->OnFinishWork(proc);
  proc->OnSaveUndo(proc, vxuImage);
  EXPECT_EQ(progress, 1);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(undo, 1);
}

TEST_F(ViewLife, CursorsAreRegisteredOnlyForAViewerWithAnOwner) {
  Screen->SetCursors(1785, nullptr);
  {
    TVexlaneView alone(nullptr);
    EXPECT_FALSE(alone.AutoCursors());
    EXPECT_EQ(Screen->Cursors(1785), Screen->Cursors(crDefault));
  }
  TVexlaneView* v = NewView(100, 100);
  EXPECT_TRUE(v->AutoCursors());
  EXPECT_EQ(Screen->Cursors(1785), LoadCursorW(HInstance, "CROCE3"));
  EXPECT_NE(Screen->Cursors(1785), Screen->Cursors(crDefault));
  EXPECT_EQ(Screen->Cursors(1778), LoadCursorW(HInstance, "ZOOMMENO"));
  EXPECT_EQ(Screen->Cursors(1796), LoadCursorW(HInstance, "CROCE2-"));
  EXPECT_EQ(Screen->Cursors(1806), LoadCursorW(HInstance, "1803"));
  EXPECT_EQ(Screen->Cursors(1814), LoadCursorW(HInstance, "ROT4"));
  EXPECT_EQ(v->Cursor(), 1785);
}

TEST_F(ViewLife, ANewViewerHasThePartsDefaults) {
  TVexlaneView* v = NewView(100, 100);
  EXPECT_EQ(v->HostKind(), vxvhImageView);
  EXPECT_EQ(v->ZoomX(), 100);
  EXPECT_EQ(v->ViewX(), 0);
  EXPECT_TRUE(v->Center());
  EXPECT_EQ(v->ScrollBars(), ssBoth);
  EXPECT_EQ(v->MouseWheelParams()->Action, vxmwZoom);
  EXPECT_EQ(v->MouseWheelParams()->Value, 8);
  EXPECT_EQ(v->HScrollBarParams()->LineStep(), -1);
  EXPECT_TRUE(v->LegacyBitmap());
  EXPECT_EQ(v->LayersCount(), 1);
  EXPECT_EQ(v->LayersCurrent(), 0);
  EXPECT_EQ(v->Layers(0)->Bitmap(), v->VXBitmap());
  EXPECT_THROW(v->Layers(1), EVXException);
  EXPECT_EQ(v->SelectionBase(), vxsbClientArea);
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(v->VexlaneVersion(), "6.0.0");
  EXPECT_EQ(v->DpiX(), VXGetGlobalSettings()->DefaultDPIX());
  TVexlaneView alone(nullptr);
  EXPECT_EQ(alone.Width(), 105);
  EXPECT_EQ(alone.Height(), 105);
  EXPECT_EQ(alone.ClientWidth(), 50);  // no parent window
  // Selection defaults.
  EXPECT_EQ(v->SelectionOptions(),
            VXSelOpt(vxsoAnimated) | VXSelOpt(vxsoSizeable) | VXSelOpt(vxsoMoveable) | VXSelOpt(vxsoCanScroll));
  EXPECT_EQ(v->SelectionMaskDepth(), 1);
  EXPECT_EQ(v->SelectionIntensity(), 1);
  EXPECT_EQ(v->SelectionAspectRatio(), -1);
  EXPECT_EQ(v->MagicWandTolerance(), 15);
  EXPECT_EQ(v->SelColor1(), TColor(0));
  EXPECT_EQ(v->SelColor2(), TColor(0xFFFFFF));
  EXPECT_EQ(v->DelayTimer(), -20);
  ASSERT_NE(v->SelectionPolygon(), nullptr);
  EXPECT_TRUE(v->SelectionPolygon()->Animated);
  EXPECT_TRUE(v->SelectionPolygon()->Sizeable);
  ASSERT_NE(v->AnimPolyTimer(), nullptr);  // the viewer has an owner
  EXPECT_EQ(v->AnimPolyTimer()->Interval(), 210u);
  EXPECT_EQ(alone.AnimPolyTimer(), nullptr);  // no owner, no parent
  v->SetNavigator(&alone, 0);
  EXPECT_TRUE(alone.IsNavigator());
  EXPECT_EQ(alone.SelectionBase(), vxsbBitmap);
  EXPECT_TRUE(alone.AutoFit());
  v->SetNavigator(nullptr, 0);
  EXPECT_FALSE(alone.IsNavigator());
}

TEST_F(ViewLife, IsEmptyAndIsEmpty2FollowTheImageState) {
  TVexlaneView alone(nullptr);
  EXPECT_TRUE(alone.IsEmpty());  // no pixels yet
  EXPECT_TRUE(alone.IsEmpty2());
  TVexlaneView* v = NewView(120, 90);
  v->SetBackground(0x00336699);
  // Cleared to the control's size with the background: empty until an
  // image is set.
  v->VXBitmap()->Allocate(v->Width(), v->Height(), vx24RGB);
  v->Clear();
  EXPECT_FALSE(v->IsEmpty());
  EXPECT_TRUE(v->IsEmpty2());
  TRGB p = v->VXBitmap()->Pixels(5, 5);
  EXPECT_EQ(p.r, 0x99);
  EXPECT_EQ(p.b, 0x33);
  v->VXBitmap()->SetPixels(0, 0, TRGB{1, 2, 3});
  EXPECT_FALSE(v->IsEmpty2());  // the top-left pixel differs
  v->Clear();
  v->VXBitmap()->Allocate(40, 30, vx24RGB);
  EXPECT_FALSE(v->IsEmpty2());  // not the control's size
  v->ImageChange();
  v->VXBitmap()->Allocate(v->Width(), v->Height(), vx24RGB);
  v->Clear();
  EXPECT_FALSE(v->IsEmpty2());  // an image was set
  v->Blank();
  EXPECT_EQ(v->VXBitmap()->Width(), 1);
  EXPECT_TRUE(v->IsEmpty());
  EXPECT_TRUE(v->IsEmpty2());
  // A change of the control's own stuff does not count as an image.
  v->SetBackground(0x00FFFFFF);
  EXPECT_TRUE(v->IsEmpty2());
}

TEST_F(ViewLife, ChangeResolutionResamplesAndSetsTheResolution) {
  TVexlaneView* v = NewView(120, 90);
  SetImage(v, 300, 300);
  v->SetDPI(300, 300);
  int changes = 0;
  void* counter = v->RegisterBitmapChangeEvent([&](void*, bool d) { changes += !d; });
  v->ChangeResolution(150, rfNone);
  EXPECT_EQ(v->VXBitmap()->Width(), 150);
  EXPECT_EQ(v->VXBitmap()->Height(), 150);
  EXPECT_EQ(v->DpiX(), 150);
  EXPECT_EQ(v->DpiY(), 150);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(v->MaxLayerWidth(), 150);
  // Unequal resolutions keep their ratio.
  v->SetDPI(200, 100);
  v->ChangeResolution(50, rfNone);
  EXPECT_EQ(v->VXBitmap()->Height(), 75);
  EXPECT_EQ(v->DpiY(), 50);
  EXPECT_EQ(v->DpiX(), 100);
  // Nothing for a resolution of 0 or below.
  v->ChangeResolution(0, rfNone);
  v->ChangeResolution(-10, rfNone);
  EXPECT_EQ(v->VXBitmap()->Height(), 75);
  EXPECT_EQ(v->DpiY(), 50);
  v->SetDPIX(0);
  EXPECT_EQ(v->DpiX(), 100);
  v->RemoveBitmapChangeEvent(counter);  // the counter goes with the test
}

TEST_F(ViewLife, AnExternalBitmapIsNeverFreedByTheViewer) {
  TVexlaneView* v = NewView(120, 90);
  SetImage(v, 20, 10);
  TVXBitmap* own = v->VXBitmap();
  // The bitmap the layer already holds: kept, no longer owned.
  v->SetExternalBitmap(own);
  EXPECT_EQ(v->VXBitmap(), own);
  EXPECT_EQ(own->Width(), 20);
  std::unique_ptr<TVXBitmap> keep(own);  // the caller owns it now
  auto ext = std::make_unique<TVXBitmap>(64, 48, vx24RGB);
  v->SetExternalBitmap(ext.get());
  EXPECT_EQ(v->MaxLayerWidth(), 64);
  EXPECT_EQ(v->GetBitmap(), nullptr);
  v->SetExternalBitmap(nullptr);
  EXPECT_NE(v->VXBitmap(), ext.get());
  EXPECT_TRUE(v->VXBitmap()->IsEmpty());
  EXPECT_EQ(ext->Width(), 64);
  delete v;  // frees only its own empty bitmap
  EXPECT_EQ(keep->Width(), 20);
}

TEST_F(ViewLife, BorderStyleRecreatesTheWindowOnlyWhenChanged) {
  TVexlaneView* v = NewView(120, 90);
  HWND first = v->Handle();
  EXPECT_NE(GetWindowLongW(first, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  v->SetBorderStyle(bsSingle);
  EXPECT_EQ(v->Handle(), first);
  v->SetBorderStyle(bsNone);
  EXPECT_NE(v->Handle(), first);
  EXPECT_EQ(GetWindowLongW(v->Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  EXPECT_EQ(v->ClientWidth(), 120);
  HWND second = v->Handle();
  v->SetCtl3D(false);
  v->SetBorderStyle(bsSingle);
  EXPECT_NE(v->Handle(), second);
  EXPECT_NE(GetWindowLongW(v->Handle(), GWL_STYLE) & WS_BORDER, 0);
}

TEST(ViewModule, TheHooksPrepareAndFreeTheGridPen) {
  EXPECT_EQ(VXLibraryHooks.ViewStartup, &StartUpViewUnit);
  EXPECT_EQ(VXLibraryHooks.ViewShutdown, &ShutDownViewUnit);
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  ASSERT_NE(s->GridPen(), nullptr);
  s->GridPen()->SetMode(pmCopy);
  s->GridPen()->SetStyle(psDot);
  s->GridPen()->SetWidth(4);
  StartUpViewUnit();
  EXPECT_EQ(s->GridPen()->Mode(), pmNot);
  EXPECT_EQ(s->GridPen()->Style(), psSolid);
  EXPECT_EQ(s->GridPen()->Width(), 1);
  ShutDownViewUnit();
  EXPECT_EQ(s->GridPen(), nullptr);
  ShutDownViewUnit();
  EXPECT_EQ(s->GridPen(), nullptr);
  StartUpViewUnit();  // as a later start-up finds it
  ASSERT_NE(s->GridPen(), nullptr);
  EXPECT_EQ(s->GridPen()->Mode(), pmNot);
}

}  // namespace

namespace {

TEST_F(ViewLife, LegacyBitmapMovesTheImageOutOfAndIntoAPlatformBitmap) {
  TVexlaneView* v = NewView(120, 90);
  SetImage(v, 30, 20);
  const TRGB p = v->VXBitmap()->Pixels(7, 5);
  int changes = 0;
  void* counter = v->RegisterBitmapChangeEvent([&](void*, bool d) { changes += !d; });
  v->SetLegacyBitmap(false);
  EXPECT_FALSE(v->LegacyBitmap());
  EXPECT_EQ(v->GetBitmap(), nullptr);
  EXPECT_NE(v->VXBitmap()->Location(), vxTBitmap);
  EXPECT_EQ(v->VXBitmap()->Pixels(7, 5), p);
  // An image a platform bitmap cannot hold now stays as it is.
  v->VXBitmap()->SetPixelFormat(vx48RGB);
  v->Update();
  EXPECT_EQ(v->VXBitmap()->PixelFormat(), vx48RGB);
  v->VXBitmap()->SetPixelFormat(vx24RGB);
  v->SetLegacyBitmap(true);
  ASSERT_NE(v->GetBitmap(), nullptr);
  EXPECT_EQ(v->GetBitmap()->Width(), 30);
  EXPECT_EQ(v->VXBitmap()->Pixels(7, 5), p);
  EXPECT_EQ(changes, 2);
  v->RemoveBitmapChangeEvent(counter);  // the counter goes with the test
}

}  // namespace
