// Loading GDI+ on demand: the use count, the setting UseGDIPlus and a
// library that fails to start.

#include <gtest/gtest.h>

#include "core/gdiplus.h"
#include "core/settings.h"
#include "winui/gdiplus.h"
#include "winui/win_module.h"

namespace {

class GDIPlusLoader : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = VXGetGlobalSettings()->UseGDIPlus();
    VXStartUpGDIPlusUnit();
    sessions_ = VXGdiPlus::OpenSessions();
  }
  void TearDown() override {
    while (VXGDIPlusLoaded()) VXFreeGDIPlusLibrary();
    VXStartUpGDIPlusUnit();
    VXGdiPlus::SetStartupFails(false);
    VXModules::RestoreAll();
    VXGetGlobalSettings()->SetUseGDIPlus(saved_);
  }
  bool saved_ = true;
  int32_t sessions_ = 0;
};

TEST_F(GDIPlusLoader, FirstUseLoadsAndStartsLastUseShutsDown) {
  VXGetGlobalSettings()->SetUseGDIPlus(true);
  ASSERT_FALSE(VXGDIPlusLoaded());
  EXPECT_EQ(VXGDIPlusEntry("GdiplusStartup"), nullptr);
  VXLoadGDIPlusLibrary();
  ASSERT_TRUE(VXGDIPlusLoaded());
  EXPECT_TRUE(VXGDIPlusEnabled());
  EXPECT_NE(GetModuleHandleW("gdiplus.dll"), nullptr);
  EXPECT_EQ(VXGdiPlus::OpenSessions(), sessions_ + 1);
  EXPECT_NE(VXGDIPlusEntry("GdiplusShutdown"), nullptr);
  EXPECT_EQ(VXGDIPlusEntry("NoSuchEntry"), nullptr);

  VXLoadGDIPlusLibrary();  // a second user: no second session
  EXPECT_EQ(VXGdiPlus::OpenSessions(), sessions_ + 1);
  VXFreeGDIPlusLibrary();
  EXPECT_TRUE(VXGDIPlusLoaded());
  // Turning the setting off leaves the library loaded but not enabled.
  VXGetGlobalSettings()->SetUseGDIPlus(false);
  EXPECT_FALSE(VXGDIPlusEnabled());
  VXGetGlobalSettings()->SetUseGDIPlus(true);

  VXFreeGDIPlusLibrary();
  EXPECT_FALSE(VXGDIPlusLoaded());
  EXPECT_EQ(VXGdiPlus::OpenSessions(), sessions_);
  EXPECT_EQ(GetModuleHandleW("gdiplus.dll"), nullptr);
  EXPECT_EQ(VXGDIPlusEntry("GdiplusStartup"), nullptr);
  VXFreeGDIPlusLibrary();  // one free too many changes nothing
  VXLoadGDIPlusLibrary();
  EXPECT_TRUE(VXGDIPlusLoaded());
}

TEST_F(GDIPlusLoader, WithTheSettingOffUsesAreOnlyCounted) {
  VXGetGlobalSettings()->SetUseGDIPlus(false);
  VXLoadGDIPlusLibrary();
  VXLoadGDIPlusLibrary();
  EXPECT_FALSE(VXGDIPlusLoaded());
  EXPECT_FALSE(VXGDIPlusEnabled());
  EXPECT_EQ(VXGdiPlus::OpenSessions(), sessions_);
  EXPECT_EQ(GetModuleHandleW("gdiplus.dll"), nullptr);
  // Switched on while used, the next use loads it; it stays until all
  // three uses are gone.
  VXGetGlobalSettings()->SetUseGDIPlus(true);
  VXLoadGDIPlusLibrary();
  EXPECT_TRUE(VXGDIPlusEnabled());
  VXFreeGDIPlusLibrary();
  VXFreeGDIPlusLibrary();
  EXPECT_TRUE(VXGDIPlusLoaded());
  VXFreeGDIPlusLibrary();
  EXPECT_FALSE(VXGDIPlusLoaded());
  EXPECT_EQ(VXGdiPlus::OpenSessions(), sessions_);
}

TEST_F(GDIPlusLoader, MissingOrFailingLibraryLeavesGDI) {
  VXGetGlobalSettings()->SetUseGDIPlus(true);
  VXModules::Remove("gdiplus.dll");
  VXLoadGDIPlusLibrary();
  EXPECT_FALSE(VXGDIPlusLoaded());
  VXFreeGDIPlusLibrary();
  VXModules::RestoreAll();

  // A library that fails to start is unloaded without a shut-down, and
  // the failed user's own free keeps the count balanced: the next user
  // loads it and the last free unloads it.
  VXGdiPlus::SetStartupFails(true);
  VXLoadGDIPlusLibrary();
  EXPECT_FALSE(VXGDIPlusLoaded());
  EXPECT_EQ(GetModuleHandleW("gdiplus.dll"), nullptr);
  VXFreeGDIPlusLibrary();
  VXGdiPlus::SetStartupFails(false);
  VXLoadGDIPlusLibrary();
  EXPECT_TRUE(VXGDIPlusLoaded());
  EXPECT_EQ(VXGdiPlus::OpenSessions(), sessions_ + 1);
  VXFreeGDIPlusLibrary();
  EXPECT_FALSE(VXGDIPlusLoaded());
  EXPECT_EQ(VXGdiPlus::OpenSessions(), sessions_);

  // Without its start-up entry the library counts as not started.
  VXModules::RemoveEntry("gdiplus.dll", "GdiplusStartup");
  VXLoadGDIPlusLibrary();
  EXPECT_FALSE(VXGDIPlusLoaded());
  VXFreeGDIPlusLibrary();
}

}  // namespace
