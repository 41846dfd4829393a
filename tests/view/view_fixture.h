// A shown headless form to put viewers on, with helpers to give a viewer an
// image and a client area of a chosen size.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "gui/forms.h"
#include "view/vexlaneview.h"
#include "winui/headless.h"
#include "winui/win_scroll.h"
#include "winui/win_window.h"

// A scratch file of this test program, in TMPDIR (or /tmp).
inline std::string ViewTempPath(const std::string& Name) {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vxview_" + std::to_string(::getpid()) + "_" + Name;
}

// A Python script run with one argument: what it printed, after "FAILED "
// when it did not end well.
inline std::string ViewRunPython(const std::string& Script, const std::string& Arg) {
  const std::string py = ViewTempPath("s.py"), out = ViewTempPath("s.txt");
  std::ofstream(py) << Script;
  const int rc = std::system(("/usr/bin/python3 " + py + " " + Arg + " > " + out + " 2>&1").c_str());
  std::ifstream f(out);
  std::stringstream ss;
  ss << f.rdbuf();
  std::remove(py.c_str());
  std::remove(out.c_str());
  return (rc == 0 ? "" : "FAILED ") + ss.str();
}

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(100000);
    Form = std::make_unique<TForm>();
    Form->SetBounds(0, 0, 1200, 900);
    Form->Show();
    VXHeadless::RunUntilIdle();
  }
  void TearDown() override {
    Form.reset();
    VXHeadless::Reset();
  }

  // A viewer on the form, Width x Height, its window made.
  template <class T = TVexlaneView>
  T* NewView(int Width, int Height) {
    T* v = new T(Form.get());
    v->SetParent(Form.get());
    v->SetBounds(10, 10, Width, Height);
    v->Handle();
    VXHeadless::RunUntilIdle();
    return v;
  }

  // Gives the viewer a 24-bit image of W x H (a pattern of the coordinates).
  static void SetImage(TVexlaneView* v, int W, int H) {
    TVXBitmap* b = v->VXBitmap();
    b->Allocate(W, H, vx24RGB);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) b->SetPixels(x, y, TRGB{uint8_t(x), uint8_t(y), uint8_t(x ^ y)});
    v->Update();
  }

  // Resizes the control until its client area is CW x CH (scroll bars
  // coming and going included).
  static void SetClientSize(TVexlaneView* v, int CW, int CH) {
    for (int i = 0; i < 6; ++i) {
      const int dw = CW - v->ClientWidth(), dh = CH - v->ClientHeight();
      if (dw == 0 && dh == 0) return;
      v->SetBounds(v->Left(), v->Top(), v->Width() + dw, v->Height() + dh);
      VXHeadless::RunUntilIdle();
    }
  }

  static bool BarShown(TVexlaneView* v, int Bar) {
    const LONG style = GetWindowLongW(v->Handle(), GWL_STYLE);
    return (style & (Bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL)) != 0;
  }

  std::unique_ptr<TForm> Form;
};
