// A shown headless form to put thumbnail viewers on, scratch files and a
// Python runner for the oracles.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "core/bitmap.h"
#include "core/startup.h"
#include "gui/forms.h"
#include "mview/vexlanemview.h"
#include "winui/headless.h"

// A scratch file of this test program, in TMPDIR (or /tmp).
inline std::string MViewTempPath(const std::string& Name) {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vxmview_" + std::to_string(::getpid()) + "_" + Name;
}

// A Python script run with one argument: what it printed, after "FAILED "
// when it did not end well.
inline std::string MViewRunPython(const std::string& Script, const std::string& Arg) {
  const std::string py = MViewTempPath("s.py"), out = MViewTempPath("s.txt");
  std::ofstream(py) << Script;
  const int rc = std::system(("/usr/bin/python3 " + py + " " + Arg + " > " + out + " 2>&1").c_str());
  std::ifstream f(out);
  std::stringstream ss;
  ss << f.rdbuf();
  std::remove(py.c_str());
  std::remove(out.c_str());
  return (rc == 0 ? "" : "FAILED ") + ss.str();
}

// A 24-bit W x H bitmap of one colour.
inline std::unique_ptr<TVXBitmap> MViewSolid(int W, int H, TRGB C) {
  auto b = std::make_unique<TVXBitmap>(W, H, vx24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) b->SetPixels(x, y, C);
  return b;
}

class MViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gLibrary = new TVXLibraryGuard; }
  static void TearDownTestSuite() {
    delete gLibrary;
    gLibrary = nullptr;
  }
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(100000);
    Form = std::make_unique<TForm>();
    Form->SetBounds(0, 0, 800, 600);
    Form->Show();
    VXHeadless::RunUntilIdle();
  }
  void TearDown() override {
    Form.reset();
    VXHeadless::Reset();
  }

  // A thumbnail viewer on the form, its window made.
  template <class T = TVexlaneMView>
  T* NewMView(int Width = 400, int Height = 300) {
    T* v = new T(Form.get());
    v->SetParent(Form.get());
    v->SetBounds(10, 10, Width, Height);
    v->Handle();
    VXHeadless::RunUntilIdle();
    return v;
  }

  // Appends Count images tagged 100, 101, ...
  static void Fill(TVexlaneMView* v, int Count) {
    for (int i = 0; i < Count; ++i) v->SetImageTag(v->AppendImage(), 100 + i);
  }

  static std::vector<int> Tags(TVexlaneMView* v) {
    std::vector<int> t;
    for (int i = 0; i < v->ImageCount(); ++i) t.push_back(v->ImageTag(i));
    return t;
  }

  std::unique_ptr<TForm> Form;
  static inline TVXLibraryGuard* gLibrary = nullptr;
};
