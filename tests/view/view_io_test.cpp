// The I/O component with a real viewer: layered PSD documents in and out of
// the viewer's layers, loads on request threads reaching the viewer on its
// own thread, the viewer going away during a load, resolution and
// background.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "core/bitmap.h"
#include "core/layer.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/io_test_support.h"
#include "tests/core/runtime_test_util.h"
#include "tests/view/view_fixture.h"

using namespace std::chrono_literals;

namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

bool HavePython(const std::string& Module) {
  return std::system(("/usr/bin/python3 -c 'import " + Module + "' 2>/dev/null").c_str()) == 0;
}

std::vector<uint8_t> HexBytes(const std::string& Hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < Hex.size(); i += 2) out.push_back(uint8_t(std::stoi(Hex.substr(i, 2), nullptr, 16)));
  return out;
}

// A layer as an outside reader sees it: place, size and RGBA bytes.
struct TLayerSeen {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  std::vector<uint8_t> RGBA;
};

// psd-tools' layers of File.
std::vector<TLayerSeen> PsdToolsLayers(const std::string& File) {
  const std::string out = RuntimeShell(
      "/usr/bin/python3 -c \"import sys;from psd_tools import PSDImage;p=PSDImage.open(sys.argv[1])\n"
      "for l in p:\n"
      "  print(l.left, l.top, l.width, l.height);print(l.topil().convert('RGBA').tobytes().hex())\" " +
      Quote(File) + " 2>/dev/null");
  std::istringstream lines(out);
  std::vector<TLayerSeen> layers;
  std::string line, hex;
  while (std::getline(lines, line) && std::getline(lines, hex)) {
    TLayerSeen l;
    std::istringstream(line) >> l.Left >> l.Top >> l.Width >> l.Height;
    l.RGBA = HexBytes(hex);
    layers.push_back(std::move(l));
  }
  return layers;
}

// The largest difference between a layer's pixels and an outside reader's;
// colours count only where the pixel is not fully transparent.
int LayerDifference(const TVXLayer& L, const TLayerSeen& Seen) {
  const TVXBitmap* b = L.Bitmap();
  if (Seen.RGBA.size() != size_t(b->Width()) * b->Height() * 4) return 1000;
  int worst = 0;
  for (int32_t y = 0; y < b->Height(); ++y)
    for (int32_t x = 0; x < b->Width(); ++x) {
      const TRGB c = const_cast<TVXBitmap*>(b)->Pixels_vx24RGB(x, y);
      const uint8_t a = b->HasAlphaChannel() ? const_cast<TVXBitmap*>(b)->Alpha(x, y) : uint8_t(255);
      const uint8_t* t = &Seen.RGBA[(size_t(y) * b->Width() + x) * 4];
      worst = std::max(worst, std::abs(int(a) - t[3]));
      if (a == 0 && t[3] == 0) continue;
      const uint8_t ours[3] = {c.r, c.g, c.b};
      for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(int(ours[k]) - t[k]));
    }
  return worst;
}

// A viewer that counts how its file layers arrive (exchanged images move)
// and records its renders, image changes and update locks.
class TRecordingView : public TVexlaneView {
 public:
  using TVexlaneView::TVexlaneView;
  void LayerImageMoved(TVXLayer* From, TVXLayer* To) override {
    ++moved;
    TVexlaneView::LayerImageMoved(From, To);
  }
  void PaintToEx(TVXBitmap* B, uint8_t** Rows, const TRect* R, bool Background, bool Gadgets) override {
    ++renders;
    TVexlaneView::PaintToEx(B, Rows, R, Background, Gadgets);
  }
  void LockUpdate() override {
    ++lockDepth;
    TVexlaneView::LockUpdate();
  }
  void UnLockUpdateEx() override {
    --lockDepth;
    TVexlaneView::UnLockUpdateEx();
  }
  void SetDPIX(int32_t v) override {
    dpiLockDepth.push_back(lockDepth);
    TVexlaneView::SetDPIX(v);
  }
  std::atomic<int> moved{0}, renders{0};
  int lockDepth = 0;
  std::vector<int> dpiLockDepth;
};

class ViewIOTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    if (!RuntimeHaveTool("/usr/bin/convert") || !RuntimeHaveTool("/usr/bin/identify"))
      GTEST_SKIP() << "ImageMagick's convert and identify are missing";
  }

  // Three layers, the first at (7, 5), the second half transparent.
  std::string MakeLayeredPSD() {
    const std::string f = dir.File("layered.psd");
    const int rc = std::system(
        ("/usr/bin/convert -seed 3 \\( -size 40x30 xc:'rgb(200,100,50)' \\) "
         "\\( -size 10x8 gradient:red-blue -repage +7+5 \\) "
         "\\( -size 12x6 gradient:green-yellow -alpha set -channel A -evaluate set 60% +channel -repage +20+10 \\) "
         "\\( -size 9x11 plasma: -repage +3+15 \\) " +
         Quote(f) + " 2>/dev/null")
            .c_str());
    EXPECT_EQ(rc, 0);
    // ImageMagick writes some blend keys byte-reversed, which psd-tools refuses.
    std::string s = RuntimeReadFile(f);
    for (size_t at = s.find("8BIMmron"); at != std::string::npos; at = s.find("8BIMmron", at)) s.replace(at, 8, "8BIMnorm");
    RuntimeWriteFile(f, s);
    return f;
  }

  // identify's size and offset of every layer (the merged image first).
  static std::vector<std::array<int, 4>> IdentifyLayers(const std::string& File) {
    std::istringstream lines(RuntimeShell("/usr/bin/identify -format '%w %h %X %Y\\n' " + Quote(File) + " 2>/dev/null"));
    std::vector<std::array<int, 4>> out;
    std::string line;
    while (std::getline(lines, line)) {
      std::array<int, 4> v{};
      std::istringstream(line) >> v[0] >> v[1] >> v[2] >> v[3];
      out.push_back(v);
    }
    return out;
  }

  TRuntimeScratchDir dir;
};

TEST_F(ViewIOTest, APSDsLayersGoIntoTheViewer) {
  if (!HavePython("psd_tools")) GTEST_SKIP() << "python3-psd-tools is missing";
  const std::string f = MakeLayeredPSD();
  const auto identified = IdentifyLayers(f);
  ASSERT_EQ(identified.size(), 4u);
  const auto seen = PsdToolsLayers(f);
  ASSERT_EQ(seen.size(), 3u);
  struct Case {
    bool replace, legacy;
  } cases[] = {{true, false}, {true, true}, {false, false}, {false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.replace ? "replace" : "add") + (c.legacy ? " legacy" : ""));
    auto* v = NewView<TRecordingView>(200, 150);
    v->SetLegacyBitmap(c.legacy);
    SetImage(v, 16, 12);
    v->LayersAdd(5, 4, vx24RGB, 2, 3);
    v->SetLayersCurrent(0);
    TVexlaneIO* io = v->IO();
    io->Params().SetPSD_LoadLayers(true);
    io->Params().SetPSD_ReplaceLayers(c.replace);
    ASSERT_TRUE(io->LoadFromFilePSD(f));
    const int first = c.replace ? 0 : 2;
    ASSERT_EQ(v->LayersCount(), first + 4);
    if (!c.replace) {
      // The viewer's own layers stay as they were.
      TVXBitmap* own = v->Layers(0)->Bitmap();
      ASSERT_EQ(own->Width(), 16);
      EXPECT_EQ(own->Pixels_vx24RGB(5, 3), (TRGB{5, 3, 5 ^ 3}));
      EXPECT_EQ(v->Layers(1)->PosX(), 2);
    }
    // The background below a first layer at an offset.
    TVXLayer* bg = v->Layers(first);
    EXPECT_TRUE(bg->Locked());
    EXPECT_EQ(bg->PosX(), 0);
    EXPECT_EQ(bg->PosY(), 0);
    ASSERT_EQ(bg->Bitmap()->Width(), 40);
    ASSERT_EQ(bg->Bitmap()->Height(), 30);
    ASSERT_TRUE(bg->Bitmap()->HasAlphaChannel());
    int opaque = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) opaque += bg->Bitmap()->Alpha(x, y) != 0;
    EXPECT_EQ(opaque, 0);
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      TVXLayer* l = v->Layers(first + 1 + i);
      EXPECT_EQ(l->Width(), identified[size_t(i) + 1][0]);
      EXPECT_EQ(l->Height(), identified[size_t(i) + 1][1]);
      EXPECT_EQ(l->PosX(), identified[size_t(i) + 1][2]);
      EXPECT_EQ(l->PosY(), identified[size_t(i) + 1][3]);
      EXPECT_EQ(LayerDifference(*l, seen[size_t(i)]), 0);
    }
    // A viewer keeping a platform bitmap gets copies; any other takes the
    // file's images over.
    EXPECT_EQ(v->moved.load(), c.legacy ? 0 : 3);
    // The component follows the viewer's current image.
    EXPECT_EQ(io->VXBitmap(), v->VXBitmap());
    delete v;
  }
}

TEST_F(ViewIOTest, SavingAViewersLayersWritesThemWithTheirMergedPicture) {
  if (!HavePython("psd_tools")) GTEST_SKIP() << "python3-psd-tools is missing";
  if (!HavePython("PIL")) GTEST_SKIP() << "python3-pil is missing";
  const std::string f = MakeLayeredPSD();
  auto* v = NewView<TRecordingView>(200, 150);
  v->SetLegacyBitmap(false);
  TVexlaneIO* io = v->IO();
  io->Params().SetPSD_LoadLayers(true);
  ASSERT_TRUE(io->LoadFromFilePSD(f));
  ASSERT_EQ(v->LayersCount(), 4);
  const std::string out = dir.File("saved.psd");
  io->SaveToFilePSD(out);
  ASSERT_FALSE(io->Aborting());
  EXPECT_EQ(io->Params().FileType(), 24);

  const auto seen = PsdToolsLayers(out);
  ASSERT_EQ(seen.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    TVXLayer* l = v->Layers(i);
    EXPECT_EQ(seen[size_t(i)].Left, l->PosX());
    EXPECT_EQ(seen[size_t(i)].Top, l->PosY());
    EXPECT_EQ(seen[size_t(i)].Width, l->Width());
    EXPECT_EQ(seen[size_t(i)].Height, l->Height());
    EXPECT_EQ(LayerDifference(*l, seen[size_t(i)]), 0);
  }
  // The document's merged image is the viewer's drawing of its layers.
  TVXBitmap drawn;
  v->LayersDrawTo(&drawn);
  ASSERT_EQ(drawn.Width(), 40);
  ASSERT_EQ(drawn.Height(), 30);
  const auto merged = HexBytes(RuntimeShell(
      "/usr/bin/python3 -c \"import sys;from PIL import Image;im=Image.open(sys.argv[1]);"
      "print(im.size[0], im.size[1]);print(im.convert('RGB').tobytes().hex())\" " +
      Quote(out) + " 2>/dev/null | tail -n 1"));
  ASSERT_EQ(merged.size(), size_t(40 * 30 * 3));
  int worst = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const TRGB c = drawn.Pixels_vx24RGB(x, y);
      const uint8_t* t = &merged[(size_t(y) * 40 + x) * 3];
      worst = std::max({worst, std::abs(c.r - t[0]), std::abs(c.g - t[1]), std::abs(c.b - t[2])});
    }
  EXPECT_EQ(worst, 0);
  // A layer of the second file's where the first layer lies: the drawing
  // holds the file's own pixels there (the top left of layer 1).
  const TRGB corner = drawn.Pixels_vx24RGB(7, 5);
  const TRGB layer1 = v->Layers(1)->Bitmap()->Pixels_vx24RGB(0, 0);
  EXPECT_EQ(corner.r, layer1.r);
  EXPECT_EQ(corner.b, layer1.b);
  // Saving changed none of the viewer's layers.
  EXPECT_EQ(v->Layers(1)->Bitmap()->PixelFormat(), vx24RGB);
  EXPECT_EQ(v->Layers(1)->Bitmap()->Width(), 10);
  delete v;
}

// Pumps the main thread's messages until Done or the limit.
template <class F>
bool PumpUntil(F Done, std::chrono::milliseconds Limit = 10s) {
  const auto end = std::chrono::steady_clock::now() + Limit;
  while (!Done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    VXHeadless::RunUntilIdle();
    std::this_thread::sleep_for(1ms);
  }
  VXHeadless::RunUntilIdle();
  return true;
}

TEST_F(ViewIOTest, AnAsynchronousLoadReachesTheViewerOnItsOwnThread) {
  const std::thread::id main = std::this_thread::get_id();
  auto* v = NewView<TRecordingView>(200, 150);
  SetImage(v, 8, 8);
  VXHeadless::RunUntilIdle();
  std::vector<std::thread::id> progressThreads, finishThreads, changeThreads;
  v->SetOnProgress([&](void*, int32_t) { progressThreads.push_back(std::this_thread::get_id()); });
  v->SetOnFinishWork([&](void*) { finishThreads.push_back(std::this_thread::get_id()); });
  v->OnImageChange = [&](void*) { changeThreads.push_back(std::this_thread::get_id()); };
  TVexlaneIO* io = v->IO();
  io->SetAsyncMode(true);
  iotest::THeldStream slow(iotest::MakePNG(6, 90), 100);
  slow.Open();
  slow.DelayPerRead = 1ms;
  v->renders = 0;
  ASSERT_TRUE(io->LoadFromStreamPNG(&slow));
  ASSERT_TRUE(PumpUntil([&] { return io->ThreadsCount() == 0 && !finishThreads.empty(); }));
  EXPECT_EQ(v->VXBitmap()->Height(), 90);
  ASSERT_FALSE(progressThreads.empty());
  for (auto t : progressThreads) EXPECT_EQ(t, main);
  ASSERT_EQ(finishThreads.size(), 1u);
  EXPECT_EQ(finishThreads[0], main);
  ASSERT_EQ(changeThreads.size(), 1u);
  EXPECT_EQ(changeThreads[0], main);
  EXPECT_EQ(v->renders.load(), 1);
  delete v;
}

TEST_F(ViewIOTest, ChangingTheTargetOrDestroyingTheViewerWaitsForTheLoad) {
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroy" : "attach");
    auto* v = NewView<TRecordingView>(200, 150);
    // A component of its own, attached to the viewer.
    TVexlaneIO io;
    io.SetAttachedVexlane(v);
    io.SetAsyncMode(true);
    io.OnProgress = [](void*, int32_t) {};
    iotest::THeldStream slow(iotest::MakePNG(6, 120), 100);
    slow.DelayPerRead = 2ms;
    ASSERT_TRUE(io.LoadFromStreamPNG(&slow));
    ASSERT_TRUE(slow.WaitForReader(5s));
    std::thread opener([&] {
      std::this_thread::sleep_for(30ms);
      slow.Open();
    });
    TVXBitmap other;
    if (destroy) {
      delete v;
      EXPECT_EQ(io.ThreadsCount(), 0);
      EXPECT_EQ(io.AttachedVexlane(), nullptr);
      ASSERT_NE(io.VXBitmap(), nullptr);
      EXPECT_EQ(io.AttachedVXBitmap(), nullptr);  // a target of its own
    } else {
      io.SetAttachedVXBitmap(&other);
      EXPECT_EQ(io.ThreadsCount(), 0);
      EXPECT_EQ(v->VXBitmap()->Height(), 120);
      EXPECT_EQ(io.VXBitmap(), &other);
      delete v;
    }
    opener.join();
    EXPECT_TRUE(other.IsEmpty());
    VXHeadless::RunUntilIdle();
  }
}

TEST_F(ViewIOTest, ResolutionAndBackgroundReachTheViewer) {
  auto* v = NewView<TRecordingView>(200, 150);
  SetImage(v, 8, 8);
  TVexlaneIO* io = v->IO();
  // A resolution written into the parameters, inside one update lock.
  v->dpiLockDepth.clear();
  io->Params().SetDpiX(150);
  EXPECT_EQ(v->DpiX(), 150);
  EXPECT_EQ(v->dpiLockDepth, std::vector<int>{1});
  EXPECT_EQ(v->lockDepth, 0);

  // A load brings the file's resolution and, only when allowed, its
  // background.
  TVXBitmap b;
  b.Allocate(3, 2, vx24RGB);
  b.Fill(0);
  auto writer = TVexlaneIO::CreateFromBitmap(&b);
  writer->Params().SetDpiX(200);
  writer->Params().SetDpiY(200);
  writer->Params().SetPNG_Background(TRGB{0x10, 0x20, 0x30});
  const std::string png = dir.File("bk.png");
  writer->SaveToFilePNG(png);
  const std::string chunks = RuntimeReadFile(png);
  ASSERT_NE(chunks.find("bKGD"), std::string::npos);
  for (bool change : {false, true}) {
    SCOPED_TRACE(change);
    v->SetBackground(0x445566);
    io->SetChangeBackground(change);
    ASSERT_TRUE(io->LoadFromFilePNG(png));
    EXPECT_EQ(v->DpiX(), 200);
    EXPECT_EQ(v->DpiY(), 200);
    // The colour in the file is red 0x30, green 0x20, blue 0x10.
    EXPECT_EQ(v->Background(), change ? TColor(0x102030) : TColor(0x445566));
  }
  delete v;
}

}  // namespace
