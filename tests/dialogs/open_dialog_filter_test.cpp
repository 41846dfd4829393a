// The open dialog's filter list on the built-in file-format registry, the
// filter index of an extension, the stored properties, and the shell view
// commands of the file dialogs by system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/settings.h"
#include "core/startup.h"
#include "dialogs/opensavedlg.h"
#include "io/fileformats.h"
#include "mview/multiframe_save.h"

namespace {

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out(1);
  for (char c : s) {
    if (c == '|')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

bool Has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// The library started: the built-in registry and the word tables.
class OpenDialogFilter : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gLibrary = new TVXLibraryGuard; }
  static void TearDownTestSuite() {
    delete gLibrary;
    gLibrary = nullptr;
  }
  static inline TVXLibraryGuard* gLibrary = nullptr;
};

TEST_F(OpenDialogFilter, DefaultListStartsWithAllFormatsThenAllFilesThenJPEG) {
  TOpenVexlaneDialog d;
  const std::vector<std::string> parts = Split(d.Filter());
  ASSERT_EQ(parts.size() % 2, 0u) << d.Filter();
  ASSERT_GE(parts.size(), 8u);
  EXPECT_EQ(parts[0], "All Common Graphic Files");
  EXPECT_EQ(parts[2], "All Files (*.*)");
  EXPECT_EQ(parts[3], "*.*");
  EXPECT_EQ(parts[4], "JPEG Bitmap (*.jpg;*.jpeg;*.jpe;*.jif)") << parts[4];
  EXPECT_EQ(parts[5], "*.jpg;*.jpeg;*.jpe;*.jif");
  EXPECT_EQ(parts[1].rfind("*.jpg;", 0), std::string::npos);  // registry order, JPEG not moved there
  // Every readable registered format has its pair, the others none.
  for (const TVXFileFormatInfo* info : VXGetGlobalSettings()->FileFormats()) {
    if (info->Extensions.empty()) continue;
    const std::string pattern = VXGetFileFormatFilter(info->FileType);
    const bool listed = Has(d.Filter(), "|" + info->FullName + " (" + pattern + ")|" + pattern);
    EXPECT_EQ(listed, info->ReadFunction != nullptr) << info->FullName;
    EXPECT_EQ(Has(parts[1], pattern), info->ReadFunction != nullptr) << info->FullName;
  }
  // The videos end the list and the all-formats patterns.
  const size_t n = parts.size();
  EXPECT_EQ(parts[n - 1], "*.wmv");
  EXPECT_EQ(parts[n - 3], "*.mpeg;*.mpg");
  EXPECT_EQ(parts[n - 5], "*.avi");
  EXPECT_TRUE(Has(parts[1], ";*.avi;*.mpeg;*.mpg;*.wmv"));
  EXPECT_NE(parts[1].back(), ';');
}

TEST_F(OpenDialogFilter, ShowFormatsLimitToTypeAndExtendedFilters) {
  struct Case {
    TVXShowFormats show;
    int32_t limit;
    std::string extended;
    std::vector<std::string> firstParts;  // the list's first parts
    bool videos;
  };
  const std::string jpeg = "JPEG Bitmap (*.jpg;*.jpeg;*.jpe;*.jif)";
  const Case cases[] = {
      {vxsfAllOnly, -1, "", {"All Files (*.*)", "*.*", jpeg}, true},
      {vxsfImagesOnly, -1, "", {"All Common Graphic Files"}, false},
      {vxsfImagesAndVideos, 3, "", {jpeg, "*.jpg;*.jpeg;*.jpe;*.jif", "All Common Graphic Files"}, true},
      {vxsfImagesAndVideos, 22, "", {"Windows Media Video (*.wmv)", "*.wmv", "All Common Graphic Files"}, true},
      {vxsfVideosOnly, -1, "", {"All Common Graphic Files", "*.avi;*.mpeg;*.mpg;*.wmv", "All Files (*.*)", "*.*",
                                "Video for Windows (*.avi)"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.show) * 100 + c.limit);
    TOpenVexlaneDialog d;
    d.SetShowFormats(c.show);
    const std::string f = d.BuildStrFilter(c.limit, false);
    const std::vector<std::string> parts = Split(f);
    ASSERT_GE(parts.size(), c.firstParts.size());
    for (size_t i = 0; i < c.firstParts.size(); ++i) EXPECT_EQ(parts[i], c.firstParts[i]) << i;
    for (const char* v : {"avi", "mpg", "mpeg", "wmv"}) EXPECT_EQ(Has(f, v), c.videos) << v;
  }
  // A limited list holds three pairs.
  TOpenVexlaneDialog d;
  EXPECT_EQ(Split(d.BuildStrFilter(3, false)).size(), 6u);

  // An extended pair for .raw and .bin: appended as given, its patterns end
  // the all-formats list; a limited list takes it too.
  d.SetExtendedFilters("Raw data (*.raw;*.bin)|*.raw;*.bin");
  std::string f = d.BuildStrFilter(-1, false);
  EXPECT_TRUE(f.ends_with("|Raw data (*.raw;*.bin)|*.raw;*.bin")) << f;
  EXPECT_TRUE(Has(Split(f)[1], ";*.wmv;*.raw;*.bin")) << Split(f)[1];
  EXPECT_TRUE(Split(f)[1].ends_with(";*.raw;*.bin")) << Split(f)[1];
  f = d.BuildStrFilter(3, false);
  EXPECT_EQ(Split(f)[2], "Raw data (*.raw;*.bin)");
  // Two extended pairs: each pattern list is followed by ";" in the
  // all-formats list.
  d.SetExtendedFilters("A (*.aa)|*.aa|B (*.bb)|*.bb");
  f = d.BuildStrFilter(-1, false);
  EXPECT_TRUE(Has(Split(f)[1], ";*.aa;*.bb")) << Split(f)[1];
  EXPECT_TRUE(f.ends_with("|A (*.aa)|*.aa|B (*.bb)|*.bb")) << f;
}

TEST_F(OpenDialogFilter, FilterIndexOfAnExtensionOrAFileType) {
  TOpenVexlaneDialog d;
  struct Case {
    const char* ext;
    int32_t index;
  };
  for (const Case c : {Case{".JPG", 3}, Case{".jpg", 3}, Case{".xyz", 1}, Case{"", 1}, Case{".wmv", int32_t(Split(d.Filter()).size() / 2)}}) {
    SCOPED_TRACE(c.ext);
    EXPECT_EQ(d.FindFilterIndex(c.ext), c.index);
  }
  EXPECT_EQ(d.FilterIndexOfFileType(3), 3);
  EXPECT_EQ(d.FilterIndexOfFileType(0), 0);
  EXPECT_EQ(d.FilterIndexOfFileType(99999), 0);
  // Only one occurrence (a filter given by the caller): that one counts.
  d.SetFilter("Pictures|*.png|Text|*.txt");
  EXPECT_EQ(d.FindFilterIndex(".txt"), 2);
  EXPECT_EQ(d.FindFilterIndex(".png"), 1);
}

TEST_F(OpenDialogFilter, StoredPropertiesAndTheirRules) {
  TOpenVexlaneDialog d;
  EXPECT_EQ(d.Options(), VXOpenOptionBit(ofHideReadOnly));
  EXPECT_EQ(d.FilterIndex(), 1);
  EXPECT_EQ(d.FilterDefault(), -1);
  EXPECT_TRUE(d.AutoSetFilter());
  EXPECT_EQ(d.AutoSetFilterFileType(), -1);
  EXPECT_EQ(d.PreviewBorderStyle(), vxpsDefault);
  EXPECT_TRUE(d.ShowAllFrames());
  EXPECT_TRUE(d.Ctl3D());
  EXPECT_TRUE(d.ShowPlacesBar());
  EXPECT_TRUE(d.ExtendedDialog());
  EXPECT_EQ(d.FileView(), vxdvDefault);
  EXPECT_EQ(d.Handle(), nullptr);
  struct Dir {
    const char* in;
    const char* stored;
  };
  for (const Dir c : {Dir{"/pics/", "/pics"}, Dir{"/", "/"}, Dir{"/a//", "/a/"}, Dir{"rel", "rel"}, Dir{"", ""}}) {
    d.SetInitialDir(c.in);
    EXPECT_EQ(d.InitialDir(), c.stored) << c.in;
  }
  d.SetShowAllFrames(false);
  d.SetAlwaysAnimate(false);
  EXPECT_FALSE(d.ShowAllFrames());
  d.SetAlwaysAnimate(true);
  EXPECT_TRUE(d.ShowAllFrames());
  d.SetFileName("/x/y.png");
  EXPECT_EQ(d.FileNameW(), "/x/y.png");
}

TEST(FileDialogView, CommandsBySystemAndMode) {
  struct Case {
    TVXCommonDialogView view;
    TVXOpSys os;
    int32_t command;
  };
  const Case cases[] = {
      {vxdvDetails, vxosWin7, 0x704B},      {vxdvDetails, vxosWinXP, 0x702C},     {vxdvDetails, vxosWin98, -1},
      {vxdvDetails, vxosUnknown, 0x704B},   {vxdvSmallIcons, vxosWin2000, 0x7029}, {vxdvSmallIcons, vxosWin8, 0x7050},
      {vxdvLargeIcons, vxosWin2003, 0x702D}, {vxdvList, vxosWinVista, 0x7051},    {vxdvTiles, vxosWinXP, 0x702E},
      {vxdvExtraLargeIcons, vxosWin7, 0x704D}, {vxdvMediumIcons, vxosWinNT4, -1}, {vxdvList, vxosWinME, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(TVXCommonDialog::ViewCommand(c.view, c.os), c.command) << c.view << " " << c.os;
  for (TVXOpSys os : {vxosWin95, vxosWin98, vxosWinXP, vxosWin7, vxosUnknown})
    EXPECT_EQ(TVXCommonDialog::ViewCommand(vxdvDefault, os), -1);
}

// The filter builder of a dialog that saves.
class TSavingDialog : public TOpenVexlaneDialog {
 protected:
  bool IsSaveDialog() const override { return true; }
};

TEST_F(OpenDialogFilter, SaveListHoldsWritableFormatsThenAVI) {
  TSavingDialog d;
  for (bool multi : {false, true}) {
    SCOPED_TRACE(multi);
    const std::string f = d.BuildStrFilter(-1, multi);
    const std::vector<std::string> parts = Split(f);
    ASSERT_EQ(parts.size() % 2, 0u) << f;
    EXPECT_FALSE(Has(f, "All Files"));
    EXPECT_FALSE(Has(f, "All Common Graphic Files"));
    if (!multi) {
      EXPECT_EQ(parts[0], "JPEG Bitmap (*.jpg;*.jpeg;*.jpe;*.jif)");
    }
    int listedCount = 0;
    for (const TVXFileFormatInfo* info : VXGetGlobalSettings()->FileFormats()) {
      if (info->Extensions.empty()) continue;
      const std::string pattern = VXGetFileFormatFilter(info->FileType);
      const bool listed = Has(f, info->FullName + " (" + pattern + ")|" + pattern);
      const bool wanted = info->WriteFunction && (!multi || VXIsMultiFrameSaveFileType(info->FileType));
      EXPECT_EQ(listed, wanted) << info->FullName;
      listedCount += listed;
    }
    EXPECT_GT(listedCount, multi ? 1 : 10);
    EXPECT_EQ(parts.back(), "*.avi");
    EXPECT_FALSE(Has(f, "wmv"));
    EXPECT_FALSE(Has(f, "mpg"));
  }
  EXPECT_TRUE(Has(d.BuildStrFilter(-1, true), "*.tif"));
  EXPECT_FALSE(Has(d.BuildStrFilter(-1, true), "*.png"));
  // Images only: no AVI. A limited list: the type's pair and the extended ones.
  d.SetShowFormats(vxsfImagesOnly);
  EXPECT_FALSE(Has(d.BuildStrFilter(-1, false), "avi"));
  d.SetExtendedFilters("Raw data (*.raw;*.bin)|*.raw;*.bin");
  EXPECT_EQ(d.BuildStrFilter(3, false),
            "JPEG Bitmap (*.jpg;*.jpeg;*.jpe;*.jif)|*.jpg;*.jpeg;*.jpe;*.jif|Raw data (*.raw;*.bin)|*.raw;*.bin");
  EXPECT_TRUE(d.BuildStrFilter(-1, false).ends_with("|Raw data (*.raw;*.bin)|*.raw;*.bin"));
  // The save list's index is that of the first occurrence.
  d.SetFilter(d.BuildStrFilter(-1, false));
  const std::vector<std::string> parts = Split(d.Filter());
  EXPECT_EQ(d.FindFilterIndex(".JPG"), 1);
  int32_t png = 0;
  for (size_t i = 1; i < parts.size(); i += 2)
    if (Has(parts[i], "*.png") && !png) png = int32_t(i / 2 + 1);
  ASSERT_GT(png, 1);
  EXPECT_EQ(d.FindFilterIndex(".png"), png);
  EXPECT_EQ(d.FindFilterIndex(".xyz"), 1);
}

}  // namespace
