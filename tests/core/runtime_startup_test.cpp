// Settings object and library start-up / shut-down.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/cielab.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/sysutils.h"
#include "core/threadpool.h"
#include "tests/core/runtime_state_guard.h"

// Every test of this program must leave the settings and the rest of the
// process state as it found them.
VX_GUARD_PROCESS_STATE();

namespace {

TEST(RuntimeSettings, DefaultsOfANewObject) {
  TVXVexlaneGlobalSettings s;
  EXPECT_EQ(s.MsgLanguage(), msSystem);
  EXPECT_EQ(s.DefaultCoresCount(), -1);
  EXPECT_EQ(s.OpSys(), vxosUnknown);  // this system reports a version the enumeration does not list
  EXPECT_TRUE(s.UnicodeOS());
  EXPECT_EQ(s.DefaultPreviewsZoomFilter(), rfFastLinear);
  EXPECT_EQ(s.DefaultResampleFilter(), rfFastLinear);
  EXPECT_EQ(s.DefaultRotateAntiAlias(), vxrFast);
  EXPECT_EQ(s.DefDialogCenter(), nullptr);
  EXPECT_EQ(s.DefaultDialogFont(), nullptr);
  EXPECT_EQ(s.DefMinFileSize(), -1);
  EXPECT_TRUE(s.AutoLocateOnDisk());
  EXPECT_TRUE(s.AutoFragmentBitmap());
  EXPECT_TRUE(s.UseGDIPlus());
  EXPECT_FALSE(s.UseButtonGlyphsInDialogs());
  EXPECT_EQ(s.PreviewImageBackgroundStyle(), vxbsSolid);
  EXPECT_EQ(uint32_t(s.PreviewImageBackgroundColor()), 0xFF00000Fu);
  EXPECT_EQ(s.PreviewAdditionalMultipageExts(), "mpg,mpeg,wmv,avi");
  EXPECT_EQ(s.SystemColors(), 32);
  EXPECT_FALSE(s.IsRemoteSession());
  EXPECT_EQ(s.SystemDPIX(), 96);
  EXPECT_EQ(s.SystemDPIY(), 96);
  EXPECT_EQ(s.DefaultDPIX(), 300);
  EXPECT_EQ(s.DefaultDPIY(), 300);
  EXPECT_EQ(s.MMX(), VXMMXSupported());
  EXPECT_EQ(s.EdgeX(), 2);
  EXPECT_EQ(s.BorderY(), 1);
  EXPECT_EQ(s.VScrollWidth(), 17);
  EXPECT_EQ(s.MinZoomDisplayGrid(), 400);
  EXPECT_EQ(s.SelectionGridColor(), 10526880);
  EXPECT_EQ(s.MViewExplorerThumbnailExts(),
            "*.AVI;*.MPG;*.MPE;*.MPEG;*.WMV;*.ASF;*.IVF;*.WM;*.MP4;*.MOV;*.QT;*.RM;*.M2TS;*.MTS;*.MOD;");
  EXPECT_EQ(s.DefGIF_LZWDECOMPFUNC(), nullptr);
  EXPECT_EQ(s.DefTIFF_LZWCOMPFUNC(), nullptr);
  EXPECT_TRUE(s.FileFormats().empty());
  EXPECT_TRUE(s.UseCMYKProfile());
  EXPECT_FALSE(s.UseDefaultFileExists());
  EXPECT_EQ(s.MaxImageEMFSize(), 8000);
  EXPECT_EQ(s.DefTempPath(), "");
  EXPECT_FALSE(s.EnableCMS());
  EXPECT_EQ(s.ColorReductionAlgorithm(), -1);
  EXPECT_EQ(s.ColorReductionQuality(), -1);
  EXPECT_EQ(s.ObjectsTIFFTag(), 40101);
  EXPECT_FALSE(s.UseRelativeStreams());
  EXPECT_EQ(s.PanZoomQualityFilter(), rfNone);
  EXPECT_EQ(s.RedToGrayCoef() + s.GreenToGrayCoef() + s.BlueToGrayCoef(), 100);
  EXPECT_EQ(s.GreenToGrayCoef(), 71);
  EXPECT_EQ(s.EXIFInteroperabilityIndexUsage(), vxiiApplyAndReset);
  EXPECT_DOUBLE_EQ(s.PrintDialogMarginsIncrement(), 0.01);
  EXPECT_DOUBLE_EQ(s.PrintDialogMarginsMinValue(), 0);
  ASSERT_NE(s.WordTransitionParams(), nullptr);
  EXPECT_EQ(s.WordTransitionParams()->Word, "A");
  EXPECT_EQ(s.WordTransitionParams()->FontName, "Arial");
  EXPECT_EQ(s.WordTransitionParams()->Style, VXFontStyleBit(fsBold));
  EXPECT_EQ(s.WordTransitionParams()->Quality, 200);
  EXPECT_TRUE(s.ApplyColorProfileOnRendering());
  EXPECT_FALSE(s.IsInsideTwain());
  EXPECT_EQ(s.IOPreviewsDialogWidth(), 0);
  EXPECT_EQ(s.ColorDialogCustomColors, "");
  EXPECT_EQ(s.MemoShortCuts[vxsLEFTALIGN], scCtrl | 'L');
  EXPECT_EQ(s.MemoShortCuts[vxsBACKCOLORSELECT], scCtrl | 'G');
  EXPECT_EQ(s.MeasureUnits[vxuPIXELS], "pixels");
  EXPECT_EQ(s.MeasureUnits[vxuMETERS], "mt");
  EXPECT_EQ(s.MeasureUnits[vxuMILES], "miles");
}

TEST(RuntimeSettings, EveryShortcutUnitAndRemainingDefault) {
  TVXVexlaneGlobalSettings s;
  const char keys[VXMemoShortCutCount + 1] = "LERJCXVFBIUG";
  for (int i = 0; i < VXMemoShortCutCount; ++i)
    EXPECT_EQ(s.MemoShortCuts[size_t(i)], TShortCut(scCtrl | keys[i])) << "shortcut " << i;
  const char* const units[VXUnitsCount] = {"pixels", "inches", "km",   "mt",    "cm",   "mm",
                                           "microns", "nanometers", "feet", "yards", "miles"};
  for (int i = 0; i < VXUnitsCount; ++i) EXPECT_EQ(s.MeasureUnits[size_t(i)], units[i]) << "unit " << i;
  EXPECT_EQ(s.RedToGrayCoef(), 21);
  EXPECT_EQ(s.BlueToGrayCoef(), 8);
  EXPECT_EQ(s.DefGIF_LZWCOMPFUNC(), nullptr);
  EXPECT_EQ(s.DefTIFF_LZWDECOMPFUNC(), nullptr);
  EXPECT_EQ(s.GridPen(), nullptr);
  EXPECT_FALSE(s.TransitionsDrawAlternative());
  EXPECT_FALSE(s.ReleaseTwainResources());
  EXPECT_FALSE(s.ModelessSelectTwainSource());
  EXPECT_EQ(s.IOPreviewsDialogHeight(), 0);
  EXPECT_EQ(s.EdgeY(), 2);
  EXPECT_EQ(s.BorderX(), 1);
  EXPECT_EQ(s.HScrollHeight(), 17);
}

TEST(RuntimeSettings, EnumerationOrdinals) {
  EXPECT_EQ(rfMitchell, 6);
  EXPECT_EQ(rfWICFant, 17);
  EXPECT_EQ(msUser, 26);
  EXPECT_EQ(msNorwegian, 25);
  EXPECT_EQ(vxcmsYCBCR, 8);
  EXPECT_EQ(vxbsPhotoLike, 13);
  EXPECT_EQ(vxosUnknown, 10);
}

TEST(RuntimeSettings, GetterKeepsOneObjectUntilDestroyed) {
  TVXVexlaneGlobalSettings* a = VXGetGlobalSettings();
  EXPECT_EQ(a, VXGetGlobalSettings());
  a->SetDefaultDPIX(123);
  TVXVexlaneGlobalSettings::DestroySingletonInstance();
  TVXVexlaneGlobalSettings* b = VXGetGlobalSettings();
  EXPECT_EQ(b->DefaultDPIX(), 300);
  EXPECT_EQ(b->DefaultCoresCount(), -1);
  // Asking for the processor count fills the field.
  int32_t n = VXProcessorCount();
  EXPECT_GE(n, 1);
  EXPECT_EQ(b->DefaultCoresCount(), n);
}

void FakeConverter(void*, TVXColorSpace, void*, TVXColorSpace, int32_t, TIOParamsVals*) {}
void OtherConverter(void*, TVXColorSpace, void*, TVXColorSpace, int32_t, TIOParamsVals*) {}

TEST(RuntimeSettings, DefaultColourConverterComesFromItsModule) {
  TVXConvertColorFunction saved = VXDefaultConvertColorHook;
  VXDefaultConvertColorHook = nullptr;
  TVXVexlaneGlobalSettings early;  // created before the module registered its converter
  VXDefaultConvertColorHook = &FakeConverter;
  TVXVexlaneGlobalSettings late;
  EXPECT_EQ(late.ConvertColorFunction(), &FakeConverter);
  EXPECT_EQ(early.ConvertColorFunction(), &FakeConverter);
  late.SetConvertColorFunction(&OtherConverter);
  EXPECT_EQ(late.ConvertColorFunction(), &OtherConverter);
  late.SetConvertColorFunction(nullptr);  // an explicit "none" stays none
  EXPECT_EQ(late.ConvertColorFunction(), nullptr);
  VXDefaultConvertColorHook = saved;
}

int gLanguageNotes = 0;
TEST(RuntimeSettings, LanguageChangeNotifiesUserInterface) {
  auto saved = VXNotifyLanguageChangeHook;
  gLanguageNotes = 0;
  VXNotifyLanguageChangeHook = [] { ++gLanguageNotes; };
  TVXVexlaneGlobalSettings s;
  s.SetMsgLanguage(msItalian);
  EXPECT_EQ(s.MsgLanguage(), msItalian);
  EXPECT_EQ(gLanguageNotes, 1);
  VXNotifyLanguageChangeHook = saved;
}

TEST(RuntimeSettings, VistaOrLaterFollowsOpSys) {
  struct Case {
    TVXOpSys os;
    bool later;
  } cases[] = {{vxosWinXP, false}, {vxosWin2003, false}, {vxosWinVista, true},
               {vxosWin7, true},   {vxosWin8, true},     {vxosUnknown, true}};
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  TVXOpSys saved = s->OpSys();
  for (const Case& c : cases) {
    s->SetOpSys(c.os);
    EXPECT_EQ(VXIsVistaOrLater(), c.later) << int(c.os);
  }
  s->SetOpSys(saved);
}

// --- start-up and shut-down ------------------------------------------------

std::vector<std::string> gLog;
bool gSettingsAliveInEveryShutdownHook = true;

void Note(const char* name, bool shutdown) {
  gLog.push_back(name);
  if (shutdown && VXGetGlobalSettings()->DefaultDPIX() != 123) gSettingsAliveInEveryShutdownHook = false;
}

// The start-up hooks as the fixture names them, in the order they must run.
const std::vector<std::string> kStartOrder = {"gdiplus",  "words", "cms",  "cosine", "vect",        "io",
                                              "resample", "proc",  "view", "ccitt",  "textcontrol", "thumbframes"};

#define START_HOOK(n) [] { Note(n, false); }
#define STOP_HOOK(n) [] { Note(n, true); }

class RuntimeStartup : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = VXLibraryHooks;
    baseCount_ = VXStaticUseCount();
    gLog.clear();
    gSettingsAliveInEveryShutdownHook = true;
    TVXLibraryHooks h;
    h.GDIPlusStartup = START_HOOK("gdiplus");
    h.RegisterAllWordTables = START_HOOK("words");
    h.ColorManagementStartup = START_HOOK("cms");
    h.BlendCosineTable = START_HOOK("cosine");
    h.VectStartup = START_HOOK("vect");
    h.IOStartup = START_HOOK("io");
    h.ResampleStartup = START_HOOK("resample");
    h.ProcStartup = START_HOOK("proc");
    h.ViewStartup = START_HOOK("view");
    h.CCITTStartup = START_HOOK("ccitt");
    h.TextControlStartup = START_HOOK("textcontrol");
    h.ThumbFramesStartup = START_HOOK("thumbframes");
    h.ThumbFramesShutdown = STOP_HOOK("~thumbframes");
    h.TextControlShutdown = STOP_HOOK("~textcontrol");
    h.CCITTShutdown = STOP_HOOK("~ccitt");
    h.ViewShutdown = STOP_HOOK("~view");
    h.ProcShutdown = STOP_HOOK("~proc");
    h.ResampleShutdown = STOP_HOOK("~resample");
    h.IOShutdown = STOP_HOOK("~io");
    h.VectShutdown = STOP_HOOK("~vect");
    h.J2000Cleanup = STOP_HOOK("~j2000");
    h.FreeDefaultDialogFont = STOP_HOOK("~font");
    h.ColorManagementShutdown = STOP_HOOK("~cms");
    h.GDIPlusShutdown = STOP_HOOK("~gdiplus");
    h.VisionSecondSlotRelease = STOP_HOOK("~vision2");
    h.VisionUnload = STOP_HOOK("~vision");
    h.ImageMagickFinalize = STOP_HOOK("~imagemagick");
    VXLibraryHooks = h;
  }
  void TearDown() override { VXLibraryHooks = saved_; }

  TVXLibraryHooks saved_;
  int32_t baseCount_ = 0;
};

TEST_F(RuntimeStartup, HooksRunOnceInOrderAndSettingsGoLast) {
  if (baseCount_ != 0) GTEST_SKIP() << "the library is held started by another test";
  VXDialogBackgroundKind = 2;
  VXUtilsModuleInitialize();
  EXPECT_EQ(VXStaticUseCount(), 1);
  EXPECT_EQ(VXDialogBackgroundKind, 0);
  EXPECT_EQ(gLog, kStartOrder);
  EXPECT_TRUE(VXGesturesAvailable());  // bound from the built-in User32.dll

  // Nested start-up and shut-down only count.
  gLog.clear();
  VXStaticInitialize();
  EXPECT_EQ(VXStaticUseCount(), 2);
  VXStaticFinalize();
  EXPECT_EQ(VXStaticUseCount(), 1);
  EXPECT_TRUE(gLog.empty());

  static int fontStandIn;
  VXGetGlobalSettings()->SetDefaultDialogFont(reinterpret_cast<TFont*>(&fontStandIn));
  VXGetGlobalSettings()->SetDefaultDPIX(123);
  VXUtilsModuleFinalize();
  EXPECT_EQ(VXStaticUseCount(), 0);
  const std::vector<std::string> stopOrder = {"~thumbframes", "~textcontrol", "~ccitt",  "~view",   "~proc",
                                              "~resample",    "~io",          "~vect",   "~j2000",  "~font",
                                              "~cms",         "~gdiplus",     "~vision2", "~vision", "~imagemagick"};
  EXPECT_EQ(gLog, stopOrder);
  EXPECT_TRUE(gSettingsAliveInEveryShutdownHook);
  // The settings object went after the last hook: a fresh one has defaults.
  EXPECT_EQ(VXGetGlobalSettings()->DefaultDPIX(), 300);
  EXPECT_EQ(VXGetGlobalSettings()->DefaultDialogFont(), nullptr);
}

TEST_F(RuntimeStartup, FinalizeBeforeStartDoesNothingAndRestartWorks) {
  if (baseCount_ != 0) GTEST_SKIP() << "the library is held started by another test";
  VXStaticFinalize();
  EXPECT_TRUE(gLog.empty());
  EXPECT_EQ(VXStaticUseCount(), 0);
  for (int round = 0; round < 2; ++round) {
    gLog.clear();
    TVXLibraryGuard guard;
    EXPECT_EQ(gLog, kStartOrder) << "round " << round;
    EXPECT_EQ(VXStaticUseCount(), 1);
  }
  EXPECT_EQ(VXStaticUseCount(), 0);
  // No dialog font was made, so the font hook was not called.
  EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "~font"), 0);
  EXPECT_EQ(gLog.back(), "~imagemagick");
}

TEST_F(RuntimeStartup, FailingHookLeavesTheCountUntouched) {
  if (baseCount_ != 0) GTEST_SKIP() << "the library is held started by another test";
  VXLibraryHooks.IOStartup = [] { throw EVXException("io start-up failed"); };
  EXPECT_THROW(VXStaticInitialize(), EVXException);
  EXPECT_EQ(VXStaticUseCount(), 0);
  VXLibraryHooks.IOStartup = nullptr;
  VXStaticInitialize();  // the lock was released: a retry works
  EXPECT_EQ(VXStaticUseCount(), 1);
  VXStaticFinalize();
  EXPECT_EQ(VXStaticUseCount(), 0);
}

}  // namespace
