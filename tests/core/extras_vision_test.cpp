// The vision library loader: the search by name, the factory entry point,
// reloads, and the pixel-format mapping.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/vision.h"

namespace {

// Builds a small library with the factory entry point; empty when no
// compiler is at hand.
std::string BuildFakeVisionLibrary(const std::string& dir, const std::string& name) {
  const std::string src = dir + "/fake_vision.cpp";
  std::ofstream(src) << R"(
#include <cstdint>
class TVXVisionBase {
 public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
 protected:
  ~TVXVisionBase() = default;
};
static int refs = 0, created = 0;
struct Impl : TVXVisionBase {
  uint32_t AddRef() override { return uint32_t(++refs); }
  uint32_t Release() override { return uint32_t(--refs); }
};
static Impl impl;
extern "C" void vxv_Library_create(TVXVisionBase** out) { ++created; refs = 1; *out = &impl; }
extern "C" int vx_test_refs() { return refs; }
extern "C" int vx_test_created() { return created; }
)";
  const std::string lib = dir + "/" + name;
  std::string cmd = "c++ -shared -fPIC -o " + lib + " " + src + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return {};
  return lib;
}

struct FakeProbe {
  void* handle = nullptr;
  int (*refs)() = nullptr;
  int (*created)() = nullptr;
  explicit FakeProbe(const std::string& path) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) {
      refs = reinterpret_cast<int (*)()>(dlsym(handle, "vx_test_refs"));
      created = reinterpret_cast<int (*)()>(dlsym(handle, "vx_test_created"));
    }
  }
  ~FakeProbe() {
    if (handle) dlclose(handle);
  }
};

}  // namespace

TEST(ExtrasVision, NoLibraryLeavesTheInterfaceEmpty) {
  VXUnloadVisionLibrary();
  EXPECT_EQ(VXGetVisionLibrary(), nullptr);
  EXPECT_EQ(VXGetVisionLibrary(), nullptr);
  // A library without the factory entry point is freed again.
  VXLoadVisionLibrary("libz.so.1", false);
  EXPECT_EQ(VXGetVisionLibrary(), nullptr);
  VXLoadVisionLibrary("/nonexistent/vxvision.dll", true);
  EXPECT_EQ(VXGetVisionLibrary(), nullptr);
  VXReleaseSecondVisionLibrary();
  VXUnloadVisionLibrary();
}

TEST(ExtrasVision, LoadsTheFactoryAndReloads) {
  char tmpl[] = "/tmp/vx_extras_visionXXXXXX";
  const char* dir = mkdtemp(tmpl);
  ASSERT_NE(dir, nullptr);
  const std::string first = BuildFakeVisionLibrary(dir, "first.so");
  if (first.empty()) {
    std::remove((std::string(dir) + "/fake_vision.cpp").c_str());
    rmdir(dir);
    GTEST_SKIP() << "no C++ compiler to build a stand-in vision library";
  }
  const std::string second = std::string(dir) + "/second.so";
  ASSERT_EQ(std::system(("cp " + first + " " + second).c_str()), 0);
  FakeProbe p1(first), p2(second);
  ASSERT_TRUE(p1.refs && p2.refs);

  VXUnloadVisionLibrary();
  VXLoadVisionLibrary(first, false);
  EXPECT_EQ(p1.created(), 1);
  TVXVisionBase* intf = VXGetVisionLibrary();
  ASSERT_NE(intf, nullptr);
  EXPECT_EQ(p1.refs(), 2);  // the loader's and ours
  intf->Release();

  // Without Reload a loaded library stays.
  VXLoadVisionLibrary(second, false);
  EXPECT_EQ(p2.created(), 0);

  // A reload with a file name unloads the current library first.
  VXLoadVisionLibrary(second, true);
  EXPECT_EQ(p1.refs(), 0);
  EXPECT_EQ(p2.created(), 1);
  EXPECT_EQ(p2.refs(), 1);
  VXUnloadVisionLibrary();
  EXPECT_EQ(p2.refs(), 0);
  EXPECT_EQ(VXGetVisionLibrary(), nullptr);

  std::remove(first.c_str());
  std::remove(second.c_str());
  std::remove((std::string(dir) + "/fake_vision.cpp").c_str());
  rmdir(dir);
}

TEST(ExtrasVision, PixelFormatMapping) {
  struct Case {
    TVXPixelFormat format;
    uint32_t depth;
    int32_t channels;
    TVXPixelFormat back;
  };
  const Case cases[] = {
      {vxnull, 0, 0, vxnull},      {vx1g, 0xA0000001u, 1, vx1g}, {vx8p, 0, 1, vx8g},
      {vx8g, 0, 1, vx8g},          {vx16g, 2, 1, vx16g},         {vx24RGB, 0, 3, vx24RGB},
      {vxCIELab, 0, 3, vx24RGB},   {vx32f, 5, 1, vx32f},         {vxCMYK, 0, 4, vx32RGB},
      {vx32RGB, 0, 4, vx32RGB},    {vx48RGB, 2, 3, vx48RGB},
  };
  for (const Case& c : cases) {
    uint32_t depth = 99;
    int32_t channels = 99;
    VXPixelFormatToVisionType(c.format, depth, channels);
    EXPECT_EQ(depth, c.depth) << int(c.format);
    EXPECT_EQ(channels, c.channels) << int(c.format);
    if (c.channels) {
      EXPECT_EQ(VXVisionTypeToPixelFormat(depth, channels), c.back) << int(c.format);
    }
  }
  EXPECT_EQ(VXVisionTypeToPixelFormat(2, 4), vxnull);
  EXPECT_EQ(VXVisionTypeToPixelFormat(5, 3), vxnull);
  EXPECT_EQ(VXVisionTypeToPixelFormat(0xA0000001u, 3), vxnull);
}
