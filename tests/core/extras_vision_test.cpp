// The vision library loader (the search by name, the factory entry point,
// reloads, the pixel-format mapping) and the bitmaps' exchange of images with
// the library, over a stand-in library built beside the tests.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/bitmap.h"
#include "core/vision.h"
#include "tests/core/bitmap_fixture.h"

namespace {

// Copies the stand-in library to Dir/Name (a copy is a library of its own for
// the loader); empty when the copy fails.
std::string CopyFakeVisionLibrary(const std::string& dir, const std::string& name) {
  const std::string lib = dir + "/" + name;
  std::ifstream in(VX_FAKE_VISION_LIBRARY, std::ios::binary);
  std::ofstream out(lib, std::ios::binary);
  if (!in || !out) return {};
  out << in.rdbuf();
  return out ? lib : std::string();
}

struct FakeProbe {
  void* handle = nullptr;
  int (*refs)() = nullptr;
  int (*created)() = nullptr;
  int (*liveImages)() = nullptr;
  void (*failCall)(const char*) = nullptr;
  TVXVisionImage* (*makeHollow)(int32_t, int32_t, uint32_t, int32_t, int64_t) = nullptr;
  explicit FakeProbe(const std::string& path) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) {
      refs = reinterpret_cast<int (*)()>(dlsym(handle, "vx_test_refs"));
      created = reinterpret_cast<int (*)()>(dlsym(handle, "vx_test_created"));
      liveImages = reinterpret_cast<int (*)()>(dlsym(handle, "vx_test_live_images"));
      failCall = reinterpret_cast<void (*)(const char*)>(dlsym(handle, "vx_test_fail_call"));
      makeHollow = reinterpret_cast<TVXVisionImage* (*)(int32_t, int32_t, uint32_t, int32_t, int64_t)>(
          dlsym(handle, "vx_test_make_hollow_image"));
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
  const std::string first = CopyFakeVisionLibrary(dir, "first.so");
  const std::string second = CopyFakeVisionLibrary(dir, "second.so");
  ASSERT_FALSE(first.empty() || second.empty());
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

// ---------------------------------------------------------------------------
// The bitmaps' exchange of images with the library.

namespace {

using namespace bitmap_test;

class VisionExchange : public BitmapEnv {
 protected:
  void SetUp() override {
    BitmapEnv::SetUp();
    VXUnloadVisionLibrary();
    probe_ = std::make_unique<FakeProbe>(VX_FAKE_VISION_LIBRARY);
    ASSERT_TRUE(probe_->handle && probe_->liveImages && probe_->failCall && probe_->makeHollow);
    VXLoadVisionLibrary(VX_FAKE_VISION_LIBRARY, true);
    TVXVisionBase* lib = VXGetVisionLibrary();
    ASSERT_NE(lib, nullptr);
    lib->Release();
    probe_->failCall("");
    liveAtStart_ = probe_->liveImages();
  }
  void TearDown() override {
    if (probe_ && probe_->failCall) probe_->failCall("");
    // Every image handed out was given back.
    if (probe_ && probe_->liveImages) {
      EXPECT_EQ(probe_->liveImages(), liveAtStart_);
    }
    VXUnloadVisionLibrary();
    probe_.reset();
    BitmapEnv::TearDown();
  }

  // A bitmap of the format with patterned pixels and, when asked, an alpha
  // channel of another pattern.
  std::unique_ptr<TVXBitmap> Patterned(int32_t w, int32_t h, TVXPixelFormat f, bool alpha) {
    auto b = Make(w, h, f, Store::Memory);
    FillPattern(*b, 1);
    if (alpha) FillPattern(*b->AlphaChannel(), 2);
    return b;
  }

  std::unique_ptr<FakeProbe> probe_;
  int liveAtStart_ = 0;
};

struct ImageRef {
  TVXVisionImage* p;
  explicit ImageRef(TVXVisionImage* v) : p(v) {}
  ~ImageRef() {
    if (p) p->Release();
  }
};

}  // namespace

TEST_F(VisionExchange, EveryMappedFormatRoundTripsWithItsAlpha) {
  struct Case {
    TVXPixelFormat format;
    TVXPixelFormat back;
  };
  const Case cases[] = {{vx1g, vx1g},       {vx8g, vx8g},         {vx16g, vx16g},     {vx24RGB, vx24RGB},
                        {vxCIELab, vx24RGB}, {vx32f, vx32f},      {vxCMYK, vx32RGB},  {vx32RGB, vx32RGB},
                        {vx48RGB, vx48RGB}};
  for (const Case& c : cases) {
    for (bool withAlpha : {false, true}) {
      SCOPED_TRACE(std::to_string(int(c.format)) + (withAlpha ? " with alpha" : ""));
      auto src = Patterned(13, 7, c.format, withAlpha);
      const std::vector<uint8_t> pixels = PixelBytes(*src);
      ImageRef img(src->GetVXVisionImage());
      ASSERT_NE(img.p, nullptr);
      EXPECT_EQ(src->Origin(), vxboTOPLEFT);
      EXPECT_EQ(PixelBytes(*src), pixels);  // turning the rows keeps the image
      bool hasAlpha = !withAlpha;
      ASSERT_EQ(img.p->HasAlpha(&hasAlpha), vxvOK);
      EXPECT_EQ(hasAlpha, withAlpha);

      // Into a bitmap that held something else, alpha channel included.
      auto dst = Patterned(3, 2, vx24RGB, true);
      dst->AssignVXVisionImage(img.p);
      ASSERT_EQ(dst->PixelFormat(), c.back);
      ASSERT_EQ(dst->Width(), 13);
      ASSERT_EQ(dst->Height(), 7);
      EXPECT_EQ(dst->BitAlignment(), 32);
      EXPECT_FALSE(dst->Full());
      EXPECT_EQ(PixelBytes(*dst), pixels);
      ASSERT_EQ(dst->HasAlphaChannel(), withAlpha);
      if (withAlpha) {
        EXPECT_TRUE(dst->AlphaChannelOpt()->IsAlpha());
        EXPECT_EQ(PixelBytes(*dst->AlphaChannelOpt()), PixelBytes(*src->AlphaChannelOpt()));
      }
    }
  }
}

TEST_F(VisionExchange, PaletteImagesGoAsTheirColours) {
  auto src = Make(4, 3, vx8p, Store::Memory);
  for (int i = 0; i < 256; ++i) src->SetPalette(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
  FillPattern(*src);
  TVXBitmap colours(src.get());
  colours.SetPixelFormat(vx24RGB);
  ImageRef img(src->GetVXVisionImage());
  ASSERT_NE(img.p, nullptr);
  EXPECT_EQ(src->PixelFormat(), vx24RGB);
  TVXBitmap back;
  back.AssignVXVisionImage(img.p);
  EXPECT_EQ(back.PixelFormat(), vx24RGB);
  EXPECT_EQ(PixelBytes(back), PixelBytes(colours));
}

TEST_F(VisionExchange, AnAlphaChannelTakesOnlyTheImage) {
  auto src = Patterned(5, 4, vx8g, true);
  ImageRef img(src->GetVXVisionImage());
  ASSERT_NE(img.p, nullptr);
  auto owner = Patterned(5, 4, vx24RGB, true);
  TVXBitmap* alpha = owner->AlphaChannel();
  alpha->AssignVXVisionImage(img.p);
  EXPECT_TRUE(alpha->IsAlpha());
  EXPECT_FALSE(alpha->HasAlphaChannel());
  EXPECT_EQ(PixelBytes(*alpha), PixelBytes(*src));
}

TEST_F(VisionExchange, NoLibraryOrNoMappingGivesNoImage) {
  auto empty = std::make_unique<TVXBitmap>();
  EXPECT_EQ(empty->GetVXVisionImage(), nullptr);  // vxnull has no channels
  VXUnloadVisionLibrary();
  VXLoadVisionLibrary("/nonexistent/vxvision.dll", true);
  auto pal = Make(4, 3, vx8p, Store::Memory);
  EXPECT_EQ(pal->GetVXVisionImage(), nullptr);
  EXPECT_EQ(pal->PixelFormat(), vx8p);  // nothing changed for nothing
}

TEST_F(VisionExchange, RowsOutsideOneMemoryBlockAreRefused) {
  for (Store s : {Store::Fragments, Store::File}) {
    SCOPED_TRACE(StoreName(s));
    auto b = Make(16, 16, vx8g, s);
    EXPECT_THROW(ImageRef(b->GetVXVisionImage()), EVXException);
  }
}

TEST_F(VisionExchange, AFailingCallRaisesNamingItAndChangesNothing) {
  auto src = Patterned(6, 5, vx24RGB, true);
  const char* const assignCalls[] = {"GetSize", "GetChannels", "GetDataType", "GetRowLen",
                                     "GetRow",  "HasAlpha",    "GetAlpha"};
  ImageRef img(src->GetVXVisionImage());
  ASSERT_NE(img.p, nullptr);
  for (const char* call : assignCalls) {
    SCOPED_TRACE(call);
    auto dst = Patterned(3, 2, vx8g, true);
    const std::vector<uint8_t> before = PixelBytes(*dst), alphaBefore = PixelBytes(*dst->AlphaChannelOpt());
    probe_->failCall(call);
    try {
      dst->AssignVXVisionImage(img.p);
      ADD_FAILURE() << "no exception";
    } catch (const EVXException& e) {
      EXPECT_NE(std::string(e.what()).find(call), std::string::npos) << e.what();
    }
    probe_->failCall("");
    EXPECT_EQ(dst->PixelFormat(), vx8g);
    EXPECT_EQ(PixelBytes(*dst), before);
    ASSERT_TRUE(dst->HasAlphaChannel());
    EXPECT_EQ(PixelBytes(*dst->AlphaChannelOpt()), alphaBefore);
  }
  for (const char* call : {"CreateImage", "SetAlpha"}) {
    SCOPED_TRACE(call);
    probe_->failCall(call);
    try {
      ImageRef(src->GetVXVisionImage());
      ADD_FAILURE() << "no exception";
    } catch (const EVXException& e) {
      EXPECT_NE(std::string(e.what()).find(call), std::string::npos) << e.what();
    }
    probe_->failCall("");
  }
}

TEST_F(VisionExchange, DeclaredShapesAreCheckedBeforeAllocating) {
  struct Case {
    const char* name;
    int32_t w, h;
    uint32_t type;
    int32_t channels;
    int64_t rowLen;
    bool raises;
  };
  const Case cases[] = {
      {"far beyond the pixel limit", 200000, 200000, 0, 3, 600000, true},
      {"row length beyond the limit", 2, 2, 0, 1, int64_t(1) << 60, true},
      {"negative row length", 4, 4, 0, 1, -4, true},
      {"negative height", 4, -1, 0, 1, 4, true},
      {"type without a format", 4, 4, 0, 2, 8, true},
      {"rows without addresses", 5, 3, 0, 3, 16, false},
      {"no rows", 5, 0, 2, 1, 12, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageRef img(probe_->makeHollow(c.w, c.h, c.type, c.channels, c.rowLen));
    auto dst = Patterned(3, 2, vx8g, false);
    if (c.raises) {
      EXPECT_THROW(dst->AssignVXVisionImage(img.p), EVXException);
      EXPECT_EQ(dst->Width(), 3);
      continue;
    }
    dst->AssignVXVisionImage(img.p);
    EXPECT_EQ(dst->PixelFormat(), VXVisionTypeToPixelFormat(c.type, c.channels));
    EXPECT_EQ(dst->Height(), c.h);
    // A null row copies nothing: the new rows stay zero.
    for (uint8_t v : PixelBytes(*dst)) ASSERT_EQ(v, 0);
  }
  auto dst = Patterned(3, 2, vx8g, false);
  EXPECT_THROW(dst->AssignVXVisionImage(nullptr), EVXException);
}

TEST_F(VisionExchange, AShortSourceRowCopiesOnlyItsBytes) {
  // The library's rows are 3 bytes long, the bitmap's 4: the fourth byte,
  // a pixel here, stays 0.
  const uint8_t data[] = {1, 2, 3, 4, 5, 6};
  TVXVisionBase* lib = VXGetVisionLibrary();
  ASSERT_NE(lib, nullptr);
  TVXVisionImage* raw = nullptr;
  ASSERT_EQ(lib->CreateImage(4, 2, 0, 1, 3, data, &raw), vxvOK);
  lib->Release();
  ImageRef img(raw);
  TVXBitmap b;
  b.AssignVXVisionImage(img.p);
  ASSERT_EQ(b.RowLen(), 4);
  EXPECT_EQ(PixelBytes(b), (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
}

namespace {

// The language table is the ISO 639-2 terminology codes of the languages the
// vision library reads, named as Debian's iso-codes names them (up to the
// first ";" or ","), ordered by that name.
TEST(ExtrasVision, LanguageTableFollowsIsoCodes) {
  const char* json = "/usr/share/iso-codes/json/iso_639-2.json";
  if (access(json, R_OK) != 0 || access("/usr/bin/python3", X_OK) != 0)
    GTEST_SKIP() << "iso-codes or python3 missing";
  const std::string script =
      "import json,re\n"
      "d={e['alpha_3']:e for e in json.load(open('" + std::string(json) + "'))['639-2']}\n"
      "codes='afr sqi ara hye aze eus bel ben bos bul cat zho hrv ces dan nld eng est fin fra glg kat deu ell guj "
      "heb hin hun isl ind gle ita jpn kan kaz kor lav lit mkd msa mal mlt mar nep nor pan fas pol por ron rus srp "
      "slk slv spa swa swe tam tel tha tur ukr urd vie cym'.split()\n"
      "for n,c in sorted((re.split('[;,]',d[c]['name'])[0],c) for c in codes): print(c+'\\t'+n)\n";
  FILE* p = popen(("/usr/bin/python3 -c \"" + script + "\"").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string want;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) want.append(buf, n);
  pclose(p);
  std::string got;
  for (const TVXVisionLanguages& l : VXVisionLanguages) got += std::string(l.Code) + "\t" + l.DisplayName + "\n";
  EXPECT_EQ(got, want);
}

}  // namespace
