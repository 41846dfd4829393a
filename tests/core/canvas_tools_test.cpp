// The canvas's pen and brush over the platform pen and brush, with GDI+
// off and with a GDI+ library that lacks the drawing entries.

#include <gtest/gtest.h>

#include "core/canvas_tools.h"
#include "core/gdiplus.h"
#include "core/settings.h"
#include "core/vxdefs.h"
#include "winui/win_module.h"

namespace {

class CanvasTools : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = VXGetGlobalSettings()->UseGDIPlus();
    VXStartUpGDIPlusUnit();
  }
  void TearDown() override {
    while (VXGDIPlusLoaded()) VXFreeGDIPlusLibrary();
    VXStartUpGDIPlusUnit();
    VXGetGlobalSettings()->SetUseGDIPlus(saved_);
  }
  bool saved_ = true;
};

TEST_F(CanvasTools, GDIPlusColourPutsRedHighAndAlphaOnTop) {
  EXPECT_EQ(VXGDIPlusColor(0x00332211, 128), 0x80112233u);  // TColor is 0x00BBGGRR
  EXPECT_EQ(VXGDIPlusColor(clWhite, 0), 0x00FFFFFFu);
  EXPECT_EQ(VXGDIPlusColor(clBlack, 255), 0xFF000000u);
  EXPECT_EQ(VXGDIPlusColor(0x0000FF, 300), 0xFFFF0000u);  // alpha clamped, not wrapped
  EXPECT_EQ(VXGDIPlusColor(0x0000FF, -1), 0x00FF0000u);
}

TEST_F(CanvasTools, PenAndBrushMirrorThePlatformObjects) {
  VXGetGlobalSettings()->SetUseGDIPlus(false);
  TPen pen;
  pen.SetColor(0x123456);
  pen.SetWidth(3);
  pen.SetStyle(psDot);
  pen.SetMode(pmXor);
  TVXPen p(&pen);
  EXPECT_EQ(p.Color(), TColor(0x123456));
  EXPECT_EQ(p.Width(), 3.0f);
  EXPECT_EQ(p.Style(), psDot);
  EXPECT_EQ(p.Mode(), pmXor);
  EXPECT_EQ(p.Transparency(), 255);
  EXPECT_EQ(p.LineJoin(), vxljMiter);
  EXPECT_EQ(p.GHandle(), nullptr);
  EXPECT_EQ(p.Handle(), pen.Handle());
  p.SetWidth(2.7f);  // the platform pen takes it truncated
  EXPECT_EQ(pen.Width(), 2);
  EXPECT_EQ(p.Width(), 2.7f);
  p.SetColor(clRed);
  p.SetStyle(psClear);
  p.SetMode(pmCopy);
  EXPECT_EQ(pen.Color(), clRed);
  EXPECT_EQ(pen.Style(), psClear);
  EXPECT_EQ(pen.Mode(), pmCopy);
  p.SetTransparency(400);
  EXPECT_EQ(p.Transparency(), 255);

  TVXPen bare(nullptr);
  EXPECT_EQ(bare.Color(), clWhite);
  EXPECT_EQ(bare.Width(), 1.0f);
  EXPECT_EQ(bare.Style(), psSolid);
  EXPECT_EQ(bare.Mode(), pmCopy);
  EXPECT_EQ(bare.Handle(), nullptr);
  bare.SetWidth(5);  // no platform pen to update
  EXPECT_EQ(bare.Width(), 5.0f);

  TBrush brush;
  brush.SetColor(0x00FF00);
  brush.SetStyle(bsCross);
  TVXBrush b(&brush);
  EXPECT_EQ(b.Color(), TColor(0x00FF00));
  EXPECT_EQ(b.Style(), bsCross);
  EXPECT_EQ(b.BackColor(), TColor(0));
  EXPECT_EQ(b.BackTransparency(), 0);
  EXPECT_EQ(b.Transparency(), 255);
  b.SetStyle(bsClear);
  EXPECT_EQ(brush.Style(), bsClear);
  b.SetColor(clBlue);
  EXPECT_EQ(brush.Color(), clBlue);
  b.SetBackColor(clRed);  // the platform brush has no back colour
  EXPECT_EQ(brush.Color(), clBlue);
  EXPECT_EQ(b.GHandle(), nullptr);
  TVXBrush bareBrush(nullptr);
  EXPECT_EQ(bareBrush.Color(), clWhite);
  EXPECT_EQ(bareBrush.Style(), bsSolid);
}

TEST_F(CanvasTools, EnabledGDIPlusWithoutItsEntriesFailsWithTheMessages) {
  VXGetGlobalSettings()->SetUseGDIPlus(true);
  // A library that lacks the entries that make pens and brushes.
  for (const char* e : {"GdipCreatePen1", "GdipCreateSolidFill", "GdipCreateHatchBrush"})
    VXModules::RemoveEntry("gdiplus.dll", e);
  VXLoadGDIPlusLibrary();
  VXModules::RestoreAll();
  ASSERT_TRUE(VXGDIPlusEnabled());
  ASSERT_EQ(VXGDIPlusEntry("GdipCreatePen1"), nullptr);
  struct Case {
    TBrushStyle style;
    const char* message;
  } cases[] = {{bsSolid, "Cannot create TVXBrush. GdipCreateSolidFill failed."},
               {bsClear, "Cannot create TVXBrush. GdipCreateSolidFill failed."},
               {bsDiagCross, "Cannot create TVXBrush. GdipCreateHatchBrush failed."}};
  for (const Case& c : cases) {
    TBrush brush;
    brush.SetStyle(c.style);
    try {
      TVXBrush b(&brush);
      ADD_FAILURE() << "no exception for style " << c.style;
    } catch (const EVXException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  try {
    TVXPen p(nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Cannot create TVXPen. GdipCreatePen1 failed.");
  }
  // With the setting off the same objects mirror the platform only.
  VXGetGlobalSettings()->SetUseGDIPlus(false);
  TVXPen p(nullptr);
  p.SetStyle(psDash);
  EXPECT_EQ(p.GHandle(), nullptr);
}

}  // namespace
