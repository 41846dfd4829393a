// The thumbnail viewer's records and stores: defaults, storing bitmaps with
// and without reduction, the locks, list operations, selection after inserts
// and deletes, texts and file details.
#include <filesystem>
#include <fstream>

#include "core/virtualimagelist.h"
#include "gui/graphics.h"
#include "io/vexlaneio.h"
#include "mview_fixture.h"
#include "proc/proc.h"
#include "winui/win_types.h"

namespace fs = std::filesystem;

TEST_F(MViewTest, NewRecordsAndTheControlStartWithTheirDefaults) {
  TVexlaneMView* v = NewMView();
  EXPECT_EQ(v->HostKind(), vxvhMView);
  EXPECT_EQ(v->ThumbWidth(), 100);
  EXPECT_EQ(v->ThumbHeight(), 100);
  EXPECT_EQ(v->HorizBorder(), 4);
  EXPECT_EQ(v->StoreType(), vxtNormal);
  EXPECT_EQ(v->Style(), vxmsACD);
  EXPECT_EQ(v->SelectedImage(), -1);
  EXPECT_EQ(v->SelectionColor(), TColor(RGB(160, 160, 255)));
  EXPECT_EQ(v->ThumbnailsBackground(), clBtnFace);
  EXPECT_EQ(v->ImageCacheSize(), 10);
  EXPECT_EQ(v->ImageList()->MaxImagesInMemory(), 10);
  EXPECT_TRUE(v->ImageCacheUseDisk());
  EXPECT_EQ(v->ThumbnailOptionsEx(), VXThumbOpt(vxtxShowIconForUnknownFormat) |
                                         VXThumbOpt(vxtxShowIconWhileLoading) |
                                         VXThumbOpt(vxtxEnableInternalIcons) | VXThumbOpt(vxtxStretchSmallImages));
  EXPECT_EQ(v->SoftShadow().OffsetX, 3);
  EXPECT_FALSE(v->SoftShadow().Enabled);
  EXPECT_EQ(v->MouseWheelParams().Action, vxmwVScroll);
  EXPECT_EQ(v->ThreadPoolSize(), 5);
  EXPECT_EQ(v->MaintainInvisibleImages(), 15);

  v->SetBackground(TColor(RGB(1, 2, 3)));
  const int i = v->AppendImage();
  const TVXImageInfo* r = v->ImageInfo(i);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->parent, v);
  EXPECT_EQ(r->ID, -1);
  EXPECT_EQ(r->FileSize, 0);
  EXPECT_EQ(r->CreateDate, 0);
  EXPECT_EQ(r->EditDate, 0);
  EXPECT_EQ(r->SourceType, vxstDefault);
  EXPECT_EQ(r->Background, TColor(RGB(1, 2, 3)));
  EXPECT_EQ(r->image, nullptr);
  EXPECT_EQ(v->ImageFileSize(i), 0);
  // Out of range: the getters' defaults.
  EXPECT_EQ(v->ImageTag(5), -1);
  EXPECT_EQ(v->ImageID(-1), -1);
  EXPECT_EQ(v->ImageFileSize(5), -1);
  EXPECT_EQ(v->ImageTopText(9), "");
  EXPECT_EQ(v->GetImageWidth(9), 0);
  EXPECT_EQ(v->GetImageKind(9), 0);
}

TEST_F(MViewTest, OutOfRangeBitmapAccessReturnsNothing) {
  TVexlaneMView* v = NewMView();
  Fill(v, 2);
  TVXBitmap b(3, 3, vx24RGB);
  v->CopyToVXBitmap(-1, &b);
  v->CopyToVXBitmap(2, &b);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(v->GetTVXBitmap(2), nullptr);
  EXPECT_EQ(v->GetTVXBitmap(-3), nullptr);
  EXPECT_EQ(v->GetBitmap(7), nullptr);
  v->ReleaseBitmap(7, true);
  v->ReleaseBitmap(-1, false);
  EXPECT_EQ(v->ImageCount(), 2);
}

TEST_F(MViewTest, ThumbStoreReducesOnlyWhatItMust) {
  struct Case {
    TVXStoreType Store;
    bool Minor;
    int W, H;
    int StoredW, StoredH;
  } cases[] = {
      {vxtThumb, false, 50, 40, 50, 40},     // small: stored as given
      {vxtThumb, true, 50, 40, 100, 80},     // enlarged to fit the cell
      {vxtThumb, false, 300, 150, 100, 50},  // reduced into the cell
      {vxtThumb, false, 100, 100, 100, 100},
      {vxtNormal, false, 300, 150, 300, 150},
      {vxtFastThumb, true, 300, 150, 300, 150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Store << " minor " << c.Minor << " " << c.W << "x" << c.H);
    TVexlaneMView* v = NewMView();
    v->SetStoreType(c.Store);
    v->SetEnableResamplingOnMinor(c.Minor);
    auto src = MViewSolid(c.W, c.H, TRGB{10, 200, 30});
    const int i = v->AppendImage(src.get());
    EXPECT_EQ(v->GetImageWidth(i), c.StoredW);
    EXPECT_EQ(v->GetImageHeight(i), c.StoredH);
    EXPECT_EQ(v->GetImageOriginalWidth(i), c.W);
    EXPECT_EQ(v->GetImageOriginalHeight(i), c.H);
    TVXBitmap out;
    v->CopyToVXBitmap(i, &out);
    ASSERT_EQ(out.Width(), c.StoredW);
    EXPECT_EQ(out.Pixels(c.StoredW / 2, c.StoredH / 2), (TRGB{10, 200, 30}));
    delete v;
  }
}

TEST_F(MViewTest, ReductionPaintsGreyUnderTransparentPixelsOfAWorkingCopy) {
  TVexlaneMView* v = NewMView();
  v->SetStoreType(vxtThumb);
  auto src = MViewSolid(200, 200, TRGB{255, 0, 0});
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) src->SetAlpha(x, y, x < 100 ? 0 : 255);
  const int i = v->AppendImage(src.get());
  // The caller's bitmap is as it was.
  EXPECT_EQ(src->Pixels(10, 10), (TRGB{255, 0, 0}));
  EXPECT_EQ(src->Alpha(10, 10), 0);
  TVXBitmap out;
  v->CopyToVXBitmap(i, &out);
  ASSERT_EQ(out.Width(), 100);
  ASSERT_EQ(out.Height(), 100);
  EXPECT_EQ(out.Pixels(10, 50), (TRGB{128, 128, 128}));
  EXPECT_EQ(out.Pixels(90, 50), (TRGB{255, 0, 0}));
  ASSERT_TRUE(out.HasAlphaChannel());
  EXPECT_EQ(out.Alpha(10, 50), 0);
  EXPECT_EQ(out.Alpha(90, 50), 255);
}

TEST_F(MViewTest, LayoutUpdatesWaitForThePaintAndUpdateLocks) {
  TVexlaneMView* v = NewMView();
  int calls = 0;
  void* h = v->RegisterBitmapChangeEvent([&](void*, bool) { ++calls; });
  const int before = v->UpdateCount();
  v->LockPaint();
  v->LockPaint();
  v->SetThumbnailSize(80, 60);
  v->UpdateEx(true, false);
  EXPECT_EQ(v->UpdateCount(), before);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(v->UnLockPaint(), 1);
  EXPECT_EQ(v->UpdateCount(), before);
  EXPECT_EQ(v->UnLockPaint(), 0);
  EXPECT_EQ(v->UpdateCount(), before + 1);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(v->UnLockPaint(), 0);  // never below 0

  v->LockUpdate();
  v->Update();
  EXPECT_EQ(v->UpdateCount(), before + 1);
  v->UnLockUpdate();
  EXPECT_EQ(v->UpdateCount(), before + 2);
  // NPUnLockPaint lowers the lock without an update.
  v->LockPaint();
  EXPECT_EQ(v->NPUnLockPaint(), 0);
  EXPECT_EQ(v->UpdateCount(), before + 2);

  // A viewer without a window never updates.
  TVexlaneMView loose(nullptr);
  loose.Update();
  EXPECT_EQ(loose.UpdateCount(), 0);
  v->RemoveBitmapChangeEvent(h);  // before the test's locals go
}

TEST_F(MViewTest, GetProcSelectsTheFirstImageAndWorksOnIt) {
  TVexlaneMView* v = NewMView();
  auto a = MViewSolid(8, 6, TRGB{1, 2, 3});
  v->AppendImage(a.get());
  v->AppendImage(a.get());
  v->DeSelect();
  ASSERT_EQ(v->SelectedImage(), -1);
  TVexlaneProc* p = v->GetProc();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(v->SelectedImage(), 0);
  EXPECT_EQ(p->MViewIndex(), 0);
  ASSERT_NE(v->VXBitmap(), nullptr);
  EXPECT_EQ(v->VXBitmap()->Width(), 8);
  EXPECT_EQ(v->GetProc(), p);
}

TEST_F(MViewTest, InsertSelectsTheNewImageAndInsertExKeepsTheIndex) {
  TVexlaneMView* v = NewMView();
  Fill(v, 5);
  v->SetSelectedImage(4);
  std::vector<int> created;
  v->OnCreateImage = [&](void*, int idx) { created.push_back(idx); };
  EXPECT_EQ(v->InsertImage(2), 2);
  EXPECT_EQ(v->SelectedImage(), 2);
  EXPECT_EQ(v->InsertImageEx(2), 2);
  EXPECT_EQ(v->SelectedImage(), 2);  // now another image
  EXPECT_EQ(v->ImageCount(), 7);
  // Beyond the end the record's own index is reported.
  EXPECT_EQ(v->InsertImageEx(50), 7);
  // Not selected, with image 0 selected: the selection stays.
  v->SetSelectedImage(0);
  const int i = v->InsertImage(3, "", true, vxdtNone, vxdtNone, vxdtNone, false);
  EXPECT_EQ(i, 3);
  EXPECT_EQ(v->SelectedImage(), 0);
  EXPECT_EQ(created, (std::vector<int>{2, 2, 7, 3}));
}

TEST_F(MViewTest, DeletingMovesTheSelectionAsTheListShrinks) {
  TVexlaneMView* v = NewMView();
  Fill(v, 5);
  v->SetSelectedImage(4);
  std::vector<int> destroyed;
  v->OnDestroyImage = [&](void*, int idx) { destroyed.push_back(idx); };
  ASSERT_TRUE(v->DeleteImage(4));  // the selected last image
  EXPECT_EQ(v->SelectedImage(), 3);
  EXPECT_EQ(v->ImageTag(v->SelectedImage()), 103);
  v->SetSelectedImage(2);
  ASSERT_TRUE(v->DeleteImage(0));  // before the selection: same image
  EXPECT_EQ(v->SelectedImage(), 1);
  EXPECT_EQ(v->ImageTag(1), 102);
  ASSERT_TRUE(v->DeleteImage(2));  // after it
  EXPECT_EQ(v->ImageTag(v->SelectedImage()), 102);
  EXPECT_FALSE(v->DeleteImage(2));
  EXPECT_FALSE(v->DeleteImage(-1));
  EXPECT_EQ(Tags(v), (std::vector<int>{101, 102}));
  v->DeleteImage(1);
  v->DeleteImage(0);
  EXPECT_EQ(v->SelectedImage(), -1);
  EXPECT_EQ(destroyed, (std::vector<int>{4, 0, 2, 1, 0}));
  EXPECT_EQ(v->ImageList()->ImageCount(), 0);
  v->OnDestroyImage = nullptr;  // before the test's locals go
}

TEST_F(MViewTest, DeletingTheSelectionRemovesEverySelectedImage) {
  TVexlaneMView* v = NewMView();
  Fill(v, 6);
  v->SetEnableMultiSelect(true);
  v->BeginSelectImages();
  v->SetSelectedImage(4);
  v->SetSelectedImage(1);
  v->SetSelectedImage(2);
  v->EndSelectImages();
  EXPECT_EQ(v->SelectedImage(), 2);
  EXPECT_EQ(v->MultiSelectedImagesCount(), 3);
  v->DeleteSelectedImages();
  EXPECT_EQ(Tags(v), (std::vector<int>{100, 103, 105}));
}

TEST_F(MViewTest, SelectionCalls) {
  TVexlaneMView* v = NewMView();
  Fill(v, 5);
  std::vector<std::string> ev;
  v->OnImageSelect = [&](void*, int i) { ev.push_back("+" + std::to_string(i)); };
  v->OnImageDeselect = [&](void*, int i) { ev.push_back("-" + std::to_string(i)); };
  // Without a user action no event fires.
  v->SetSelectedImage(1);
  EXPECT_TRUE(ev.empty());
  v->SetUserAction(true);
  v->SetSelectedImage(3);
  EXPECT_EQ(ev, (std::vector<std::string>{"+3"}));
  EXPECT_EQ(v->MultiSelectedImagesCount(), 1);
  EXPECT_EQ(v->GetMultiSelectedImages(0), 3);
  EXPECT_EQ(v->GetMultiSelectedImages(1), -1);
  ev.clear();

  v->SetEnableMultiSelect(true);
  v->DeSelect();
  v->SelectImage(4);
  v->SelectImage(0);
  v->SelectImage(2);
  EXPECT_EQ(v->SelectedImage(), 2);
  EXPECT_EQ(v->MultiSelectedImagesList(), (std::vector<int>{4, 0, 2}));
  v->UnSelectImage(0);
  EXPECT_EQ(v->MultiSelectedImagesList(), (std::vector<int>{4, 2}));
  v->ToggleSelectImage(2);  // the current one: nothing is current then
  EXPECT_EQ(v->SelectedImage(), -1);
  EXPECT_FALSE(v->IsSelected(2));
  EXPECT_TRUE(v->IsSelected(4));
  v->ToggleSelectImage(1);
  v->MultiSelectSortList();
  EXPECT_EQ(v->MultiSelectedImagesList(), (std::vector<int>{1, 4}));
  EXPECT_EQ(ev.back(), "-2");

  // Ctrl-selecting the only listed image with "leave one selected" keeps it.
  v->DeSelect();
  v->SetMultiSelectionOptions(VXMultiOpt(vxmoLeaveOneSelected));
  v->SetMultiSelecting(true);
  v->SetSelectedImage(3);
  v->SetSelectedImage(3);
  EXPECT_EQ(v->MultiSelectedImagesList(), (std::vector<int>{3}));
  v->SetMultiSelecting(false);

  v->SelectAll();
  EXPECT_EQ(v->MultiSelectedImagesCount(), 5);
  EXPECT_EQ(v->SelectedImage(), 4);
  TVexlaneMView* w = NewMView();
  Fill(w, 5);
  w->SetEnableMultiSelect(true);
  v->DeSelect();
  v->SelectImage(3);
  v->SelectImage(1);
  w->CopySelection(v);
  EXPECT_EQ(w->MultiSelectedImagesList(), (std::vector<int>{1, 3}));
  w->AppendImage();
  w->DeSelect();
  w->CopySelection(v);  // other sizes: nothing
  EXPECT_EQ(w->MultiSelectedImagesCount(), 0);
}

TEST_F(MViewTest, IdentifierAndFileNameExcludeEachOther) {
  TVexlaneMView* v = NewMView();
  Fill(v, 1);
  v->SetImageFileName(0, "/tmp/a.png");
  v->SetImageID(0, 7);
  EXPECT_EQ(v->ImageID(0), 7);
  EXPECT_EQ(v->ImageFileName(0), "");
  v->SetImageFileName(0, "/tmp/b.png");
  EXPECT_EQ(v->ImageID(0), -1);
  EXPECT_EQ(v->ImageFileName(0), "/tmp/b.png");
}

TEST_F(MViewTest, TextGapsOnlyGrow) {
  TVexlaneMView* v = NewMView();
  Fill(v, 1);
  EXPECT_EQ(v->UpperGap(), 0);
  v->TopTextFont()->SetSize(30);
  v->SetImageTopText(0, "Large");
  const int big = v->UpperGap();
  EXPECT_GT(big, 30);
  v->TopTextFont()->SetSize(8);
  v->SetImageTopText(0, "small");
  EXPECT_EQ(v->UpperGap(), big);
  EXPECT_EQ(v->ImageTopText(0), "small");
  // The bottom gap in the default style has 4 pixels beside the text.
  v->BottomTextFont()->SetSize(12);
  v->SetImageBottomText(0, "Bottom");
  TBitmap m(1, 1);
  m.Canvas()->Font()->Assign(v->BottomTextFont());
  EXPECT_EQ(v->BottomGap(), m.Canvas()->TextHeight("Bottom") + 4);
}

TEST_F(MViewTest, DisplayNames) {
  struct Case {
    const char* Text;
    bool StripLnk;
    const char* Name;
  } cases[] = {
      {"Photo.LNK", true, "Photo"},
      {"/home/u/Photo.lnk", true, "Photo"},
      {"/home/u/Photo.lnk", false, "Photo.lnk"},
      {"C:\\x\\Photo.LnK", true, "Photo"},
      {"/", true, "/"},
      {"D:\\", true, "D:\\"},
      {"/data/pics/", false, "/data/pics/"},
      {"vxf_drives_folder", true, "This PC"},
      {"a:b", false, "b"},
      {"", true, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(VXGetDisplayName(c.Text, c.StripLnk), c.Name) << c.Text;
}

TEST_F(MViewTest, DefaultTextsOfAnInsertionByName) {
  TVexlaneMView* v = NewMView();
  const int i = v->AppendImage("/data/pics/Holiday.LNK", true, vxdtFilename, vxdtImageDimAndSize, vxdtFileType, true);
  EXPECT_EQ(v->ImageTopText(i), "Holiday");
  EXPECT_EQ(v->ImageInfoText(i), "$VXM_IMAGE_DIM_AND_SIZE$");
  EXPECT_EQ(v->ImageBottomText(i), "$VXM_FILETYPE$");
  EXPECT_EQ(v->ImageFileName(i), "/data/pics/Holiday.LNK");
  EXPECT_EQ(v->GetImageKind(i), 1);
  EXPECT_EQ(v->ImageInfo(i)->image, nullptr);  // on demand: not loaded
}

TEST_F(MViewTest, AppendSplitCutsAGridIntoCells) {
  TVexlaneMView* v = NewMView();
  TVXBitmap grid(250, 100, vx24RGB);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 250; ++x) grid.SetPixels(x, y, TRGB{uint8_t(x / 100 * 80 + 10), uint8_t(y), 7});
  EXPECT_EQ(v->AppendSplit(&grid, 100, 100, 0), 3);
  ASSERT_EQ(v->ImageCount(), 3);
  TVXBitmap last;
  v->CopyToVXBitmap(2, &last);
  ASSERT_EQ(last.Width(), 100);  // columns 200..299
  EXPECT_EQ(last.Pixels(0, 5), (TRGB{170, 5, 7}));
  EXPECT_EQ(last.Pixels(49, 99), (TRGB{170, 99, 7}));
  TVXBitmap first;
  v->CopyToVXBitmap(0, &first);
  EXPECT_EQ(first.Pixels(99, 3), (TRGB{10, 3, 7}));

  EXPECT_EQ(v->AppendSplit(&grid, 50, 50, 4), 4);
  EXPECT_EQ(v->ImageCount(), 7);
  EXPECT_EQ(v->AppendSplit(&grid, 0, 50, 0), 0);
  EXPECT_EQ(v->AppendSplit(&grid, 50, -2, 0), 0);
  EXPECT_EQ(v->ImageCount(), 7);
}

TEST_F(MViewTest, FileDetailsAreLookedUpOnTheFirstDateQuery) {
  const std::string f = MViewTempPath("details.bin");
  std::ofstream(f, std::ios::binary) << std::string(1234, 'x');
  TVexlaneMView* v = NewMView();
  Fill(v, 2);
  v->SetImageFileName(0, f);
  EXPECT_EQ(v->ImageFileSize(0), 0);
  EXPECT_GT(v->ImageCreateDate(0), 30000.0);
  EXPECT_EQ(v->ImageFileSize(0), 1234);
  EXPECT_GT(v->ImageEditDate(0), 30000.0);
  // No file: the lookup fails once and is not repeated.
  v->SetImageFileName(1, MViewTempPath("missing.bin"));
  EXPECT_EQ(v->ImageCreateDate(1), 0);
  EXPECT_EQ(v->ImageFileSize(1), -1);
  std::ofstream(MViewTempPath("missing.bin")) << "now";
  EXPECT_EQ(v->ImageCreateDate(1), 0);
  std::remove(MViewTempPath("missing.bin").c_str());
  std::remove(f.c_str());
}

TEST_F(MViewTest, ImageRectsOfPlatformBitmapsAreClippedAndKeepTheWholeSize) {
  TVexlaneMView* v = NewMView();
  Fill(v, 1);
  TBitmap pic(30, 20, pf24bit);
  pic.Canvas()->Brush()->SetColor(TColor(RGB(0, 0, 255)));
  pic.Canvas()->FillRect(TRect{0, 0, 30, 20});
  v->SetImageRect(0, &pic, 10, 5, 99, 99);
  EXPECT_EQ(v->GetImageWidth(0), 20);
  EXPECT_EQ(v->GetImageHeight(0), 15);
  EXPECT_EQ(v->GetImageOriginalWidth(0), 30);
  EXPECT_EQ(v->GetImageOriginalHeight(0), 20);
  v->SetImageRect(5, &pic, 0, 0, 1, 1);  // beyond the list: nothing
  EXPECT_EQ(v->ImageCount(), 1);
}

TEST_F(MViewTest, ClearEmptiesTheListAndTheStores) {
  TVexlaneMView* v = NewMView();
  auto a = MViewSolid(4, 4, TRGB{9, 9, 9});
  for (int i = 0; i < 4; ++i) v->AppendImage(a.get());
  v->Clear();
  EXPECT_EQ(v->ImageCount(), 0);
  EXPECT_EQ(v->SelectedImage(), -1);
  EXPECT_EQ(v->ImageList()->ImageCount(), 0);
  v->SetImageCacheSize(3);
  EXPECT_EQ(v->ImageList()->MaxImagesInMemory(), 3);
  v->AppendImage(a.get());
  v->SetImageCacheUseDisk(false);
  EXPECT_EQ(v->ImageCount(), 0);
}
