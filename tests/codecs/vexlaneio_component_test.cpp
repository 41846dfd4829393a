// The I/O component: targets, end-of-work events, background, resolution, and
// PNG files saved without leaving half-written targets.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/gif.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

struct TempFolder {
  TempFolder() {
    char tmpl[] = "/tmp/vx-io-XXXXXX";
    Path = mkdtemp(tmpl);
  }
  ~TempFolder() { (void)!std::system(("rm -rf '" + Path + "'").c_str()); }
  std::string operator/(const std::string& n) const { return Path + "/" + n; }
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    if (DIR* d = opendir(Path.c_str())) {
      while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.push_back(e->d_name);
      closedir(d);
    }
    return out;
  }
  std::string Path;
};

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void Paint(TVXBitmap& bmp, int w, int h) {
  bmp.Allocate(w, h, vx24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bmp.SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 9), uint8_t(y * 5), 77});
}

const std::string kSample = std::string(VX_SOURCE_DIR) + "/samples/icon.png";

TEST(VexlaneIO, AttachedBitmapStaysWithTheCaller) {
  auto bmp = std::make_unique<TVXBitmap>();
  {
    auto io = TVexlaneIO::CreateFromBitmap(bmp.get());
    EXPECT_EQ(io->AttachedVXBitmap(), bmp.get());
    ASSERT_TRUE(io->LoadFromFilePNG(kSample));
  }
  EXPECT_EQ(bmp->Width(), 96);  // alive and filled
  TVexlaneIO own;
  EXPECT_EQ(own.AttachedVXBitmap(), nullptr);
  EXPECT_NE(own.VXBitmap(), nullptr);
  EXPECT_EQ(own.VexlaneVersion(), "6.0.0");
}

TEST(VexlaneIO, EveryOperationEndsWithProgress100ThenFinishWork) {
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  std::vector<std::string> events;
  io.OnProgress = [&](void* sender, int32_t per) {
    EXPECT_EQ(sender, &io);
    if (per == 100) events.push_back("100");
  };
  io.OnFinishWork = [&](void* sender) {
    EXPECT_EQ(sender, &io);
    events.push_back("finish");
  };
  ASSERT_TRUE(io.LoadFromFilePNG(kSample));
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2], "100");
  EXPECT_EQ(events.back(), "finish");

  // without a target: false, and the end of work still reported
  events.clear();
  io.SetAttachedVXBitmap(nullptr);
  EXPECT_FALSE(io.LoadFromFilePNG(kSample));
  EXPECT_EQ(events, (std::vector<std::string>{"100", "finish"}));
}

TEST(VexlaneIO, WithoutATargetEveryOperationFailsAndFinishesOnce) {
  // Loads and saves, with and without stream headers, on a component that
  // has no bitmap: each reports Aborting, writes nothing and ends its work
  // once.
  const std::string png = [] {
    std::ifstream in(kSample, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  struct TCase {
    const char* Name;
    std::function<void(TVexlaneIO&, TMemoryStream&)> Run;
  };
  const std::vector<TCase> cases = {
      {"PNG load", [&](TVexlaneIO& io, TMemoryStream&) { EXPECT_FALSE(io.LoadFromFilePNG(kSample)); }},
      {"PNG stream load", [&](TVexlaneIO& io, TMemoryStream& s) {
         s.WriteBuffer(png.data(), int64_t(png.size()));
         s.SetPosition(0);
         EXPECT_FALSE(io.LoadFromStreamPNG(&s));
       }},
      {"PNG save", [](TVexlaneIO& io, TMemoryStream& s) { io.SaveToStreamPNG(&s); }},
      {"JPEG save", [](TVexlaneIO& io, TMemoryStream& s) { io.SaveToStreamJpeg(&s); }},
      {"JPEG stream load", [](TVexlaneIO& io, TMemoryStream& s) { EXPECT_FALSE(io.LoadFromStreamJpeg(&s)); }},
      {"PCX save", [](TVexlaneIO& io, TMemoryStream& s) { io.SaveToStreamPCX(&s); }},
      {"PCX stream load", [](TVexlaneIO& io, TMemoryStream& s) { EXPECT_FALSE(io.LoadFromStreamPCX(&s)); }},
      {"GIF stream load", [](TVexlaneIO& io, TMemoryStream& s) { EXPECT_EQ(io.LoadFromStreamGIF(&s), -1); }},
      {"registry stream load", [&](TVexlaneIO& io, TMemoryStream& s) {
         s.WriteBuffer(png.data(), int64_t(png.size()));
         s.SetPosition(0);
         EXPECT_FALSE(io.LoadFromStream(&s));
       }},
  };
  for (bool headers : {false, true}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + (headers ? " with headers" : ""));
      TVexlaneIO io;
      io.SetStreamHeaders(headers);
      io.SetAttachedVXBitmap(nullptr);
      int finished = 0;
      io.OnFinishWork = [&](void*) { ++finished; };
      TMemoryStream s;
      const int64_t before = s.Size();
      c.Run(io, s);
      EXPECT_TRUE(io.Aborting());
      EXPECT_EQ(finished, 1);
      if (std::string(c.Name).find("save") != std::string::npos) {
        EXPECT_EQ(s.Size(), before);
      }
    }
  }
}

TEST(VexlaneIO, UnreadableFilesAndMissingFiles) {
  TempFolder d;
  std::ofstream(d / "bad.png") << "no PNG at all";
  TVexlaneIO io;
  EXPECT_FALSE(io.LoadFromFilePNG(d / "bad.png"));
  EXPECT_TRUE(io.Aborting());
  EXPECT_THROW(io.LoadFromFilePNG(d / "missing.png"), EStreamError);
}

TEST(VexlaneIO, BackgroundFromTheFileOrKept) {
  // The sample carries a bKGD chunk of white.
  TVexlaneIO io;
  ASSERT_TRUE(io.LoadFromFilePNG(kSample));
  EXPECT_EQ(io.Params().PNG_Background(), (TRGB{255, 255, 255}));
  EXPECT_EQ(io.Background(), 0xFFFFFF);

  // A file without one keeps the component's background.
  const std::string noBackground = std::string(VX_PNGSUITE_DIR) + "/basn2c08.png";
  TVexlaneIO reader;
  reader.SetBackground(0x123456);
  ASSERT_TRUE(reader.LoadFromFilePNG(noBackground));
  EXPECT_EQ(reader.Background(), 0x123456);
  TMemoryStream s;
  s.LoadFromFile(noBackground);

  // From a stream the previous PNG_Background of the parameters is taken.
  TVexlaneIO streamReader;
  streamReader.SetBackground(0x123456);
  streamReader.Params().SetPNG_Background(TRGB{3, 2, 1});
  s.SetPosition(0);
  ASSERT_TRUE(streamReader.LoadFromStreamPNG(&s));
  EXPECT_EQ(streamReader.Background(), 0x030201);  // red in the low byte
  EXPECT_EQ(streamReader.Params().FileName(), "");
  EXPECT_EQ(streamReader.Params().FileType(), 8);
}

// A component holding a painted w x h image of dx x dy DPI, after
// DoAutoAdjustDPI: the image's size and the parameters.
struct SquarePixels {
  int32_t Width, Height, ParamsWidth, ParamsHeight, DpiX, DpiY;
};
SquarePixels AfterAutoAdjustDPI(int w, int h, int dx, int dy) {
  TVexlaneIO a;
  Paint(*a.VXBitmap(), w, h);
  a.Params().SetWidth(w);
  a.Params().SetHeight(h);
  a.Params().SetDpiX(dx);
  a.Params().SetDpiY(dy);
  a.DoAutoAdjustDPI();
  return {a.VXBitmap()->Width(), a.VXBitmap()->Height(), a.Params().Width(), a.Params().Height(),
          a.Params().DpiX(), a.Params().DpiY()};
}

TEST(VexlaneIO, ResolutionChecksAndSquarePixels) {
  const int32_t defX = VXGetGlobalSettings()->DefaultDPIX();
  TVexlaneIO io;
  io.Params().SetDpiX(1);
  io.Params().SetDpiY(0);
  io.CheckDPI();
  EXPECT_EQ(io.Params().DpiX(), defX);

  struct Case {
    int w, h, dx, dy, nw, nh, ndpi;
  } cases[] = {{100, 50, 200, 100, 100, 100, 200}, {50, 100, 200, 100, 25, 100, 100}};
  for (const auto& c : cases) {
    const SquarePixels a = AfterAutoAdjustDPI(c.w, c.h, c.dx, c.dy);
    EXPECT_EQ(a.Width, c.nw);
    EXPECT_EQ(a.Height, c.nh);
    EXPECT_EQ(a.DpiX, c.ndpi);
    EXPECT_EQ(a.DpiY, c.ndpi);
  }
}

// A resolution ratio whose square-pixel size does not fit 32 bits (a file's
// pHYs can claim it), or would shrink a side to nothing, leaves the image and
// its parameters as they are.
TEST(VexlaneIO, SquarePixelsBeyondAnyBitmapSizeKeepTheImage) {
  struct Case {
    int w, h, dx, dy;
  } cases[] = {{4, 2, INT32_MAX, 1}, {2, 4, 1, INT32_MAX}, {5, 4, INT32_MAX, 3},
               // one pixel wide at 300 x 100 DPI: the width would become 0
               {1, 100, 300, 100}};
  for (const auto& c : cases) {
    const SquarePixels a = AfterAutoAdjustDPI(c.w, c.h, c.dx, c.dy);
    EXPECT_EQ(a.Width, c.w);
    EXPECT_EQ(a.Height, c.h);
    EXPECT_EQ(a.ParamsWidth, c.w);
    EXPECT_EQ(a.ParamsHeight, c.h);
    EXPECT_EQ(a.DpiX, c.dx);
    EXPECT_EQ(a.DpiY, c.dy);
  }
}

TEST(VexlaneIO, SaveReplacesTheTargetOnlyWhenComplete) {
  TempFolder d;
  const std::string target = d / "out.png";
  std::ofstream(target) << "old content";

  TVexlaneIO io;
  Paint(*io.VXBitmap(), 40, 30);

  // aborted by the caller half-way: the old target stays, no temporary is left
  io.OnProgress = [&](void*, int32_t per) {
    if (per >= 50 && per < 100) io.SetAborting(true);
  };
  io.SaveToFilePNG(target);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(ReadAll(target), "old content");
  EXPECT_EQ(d.Entries(), (std::vector<std::string>{"out.png"}));

  // refused by libpng: the exception passes, nothing is left behind
  io.OnProgress = nullptr;
  io.Params().SetPNG_Compression(99);
  EXPECT_THROW(io.SaveToFilePNG(target), EVXException);
  EXPECT_EQ(ReadAll(target), "old content");
  EXPECT_EQ(d.Entries(), (std::vector<std::string>{"out.png"}));

  // a good save replaces it
  io.Params().SetPNG_Compression(9);
  io.SaveToFilePNG(target);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(ReadAll(target).substr(1, 3), "PNG");
  EXPECT_EQ(d.Entries(), (std::vector<std::string>{"out.png"}));
  EXPECT_EQ(io.Params().FileName(), target);
  EXPECT_EQ(io.Params().FileType(), 8);

  TVXBitmap back;
  TVexlaneIO reader;
  reader.SetAttachedVXBitmap(&back);
  ASSERT_TRUE(reader.LoadFromFilePNG(target));
  EXPECT_EQ(back.Pixels_vx24RGB(7, 3), io.VXBitmap()->Pixels_vx24RGB(7, 3));
}

TEST(VexlaneIO, SaveThatCannotCreateTheTargetNamesIt) {
  TempFolder d;
  const std::string readOnly = d / "locked.png";
  std::ofstream(readOnly) << "old content";
  ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
  struct Case {
    std::string target, reason;
  } cases[] = {{readOnly, "Permission denied"},
               {d / "missing/out.png", "No such file or directory"},
               {d.Path, "Is a directory"}};
  TVexlaneIO io;
  Paint(*io.VXBitmap(), 6, 4);
  for (const auto& c : cases) {
    try {
      io.SaveToFilePNG(c.target);
      ADD_FAILURE() << c.target << " was written";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + c.target + "\". " + c.reason);
    }
  }
  EXPECT_EQ(ReadAll(readOnly), "old content");
  EXPECT_EQ(d.Entries(), (std::vector<std::string>{"locked.png"}));
}

TEST(VexlaneIO, AttachingServicesThatAreNotAvailable) {
  TVexlaneIO io;
  EXPECT_NO_THROW(io.SetAttachedVexlane(nullptr));
  EXPECT_NE(io.VXBitmap(), nullptr);
  EXPECT_EQ(io.ThreadsCount(), 0);
  EXPECT_FALSE(io.AsyncRunning());
}

}  // namespace

#include "core/startup.h"

namespace {

TEST(VexlaneIOModule, StartUpHooksAndOwnerServices) {
  EXPECT_EQ(VXLibraryHooks.IOStartup, &VXStartUpIOUnit);
  EXPECT_EQ(VXLibraryHooks.IOShutdown, &VXShutDownIOUnit);
  VXStartUpIOUnit();
  TVexlaneIO io;
  ASSERT_NE(VXIOParamsOwnerHooks().GetBitmap, nullptr);
  EXPECT_EQ(VXIOParamsOwnerHooks().GetBitmap(&io), io.VXBitmap());
  // The codec start-up (run after the I/O unit's) installs the GIF coder, and
  // the GIF entry can then read and write.
  EXPECT_EQ(VXGetGlobalSettings()->DefGIF_LZWDECOMPFUNC(), &VXGIFLZWDecode);
  EXPECT_EQ(VXGetGlobalSettings()->DefGIF_LZWCOMPFUNC(), &VXGIFLZWEncode);
  const TVXFileFormatInfo* gif = VXFindFileFormatInfo(2);
  ASSERT_NE(gif, nullptr);
  EXPECT_NE(gif->ReadFunction, nullptr);
  EXPECT_NE(gif->WriteFunction, nullptr);
}

}  // namespace
