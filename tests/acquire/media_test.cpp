// Real media files through TVXDirectShow's file graph, the media back end
// and the run-time FFmpeg binding: frames equal those the ffmpeg program
// decodes, durations and frame counts agree with ffprobe, and without
// FFmpeg a clip fails to open cleanly.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "acquire/capture_devices.h"
#include "acquire/dshow_sim.h"
#include "acquire/media_source.h"
#include "acquire/v4l2_devices.h"
#include "acquire/vxds.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/startup.h"
#include "winui/ffmpeg.h"

namespace {

bool HaveFFmpeg() { return std::system("ffmpeg -version > /dev/null 2>&1 && ffprobe -version > /dev/null 2>&1") == 0; }

std::string Output(const std::string& Command) {
  std::string out;
  FILE* p = popen(Command.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

constexpr int kW = 321, kH = 241, kFrames = 80;

struct TClip {
  const char* Name;
  const char* Codec;
};
const TClip kClips[] = {{"mjpeg.avi", "-c:v mjpeg"},
                        {"ffv1.mkv", "-c:v ffv1"},
                        {"raw.avi", "-c:v rawvideo -pix_fmt bgr24"},
                        {"h264.mp4", "-c:v libx264 -pix_fmt yuv444p"}};

// The clips, made once by the ffmpeg program.
std::string ClipPath(const TClip& Clip) {
  const std::string path = ::testing::TempDir() + "/vxmedia-" + Clip.Name;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fclose(f);
    return path;
  }
  // Test programs run side by side: each makes its own copy under a name of
  // its own and moves it into place whole, so that no program opens a clip
  // another one is still writing.
  const std::string part = path + "." + std::to_string(getpid()) + ".part" + std::strrchr(Clip.Name, '.');
  const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=25 -vf scale=321:241 -frames:v " +
                          std::to_string(kFrames) + " " + Clip.Codec + " '" + part + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  EXPECT_EQ(std::rename(part.c_str(), path.c_str()), 0) << part;
  return path;
}

// ffmpeg's frame n, top-down in the pixel format named.
std::string Reference(const std::string& Path, int64_t n, const std::string& Format = "bgr24") {
  return Output("ffmpeg -v error -i '" + Path + "' -vf 'select=eq(n\\," + std::to_string(n) +
                ")' -vframes 1 -f rawvideo -pix_fmt " + Format + " -");
}

// Rows differing from the reference (the bitmap's rows are upright).
int DifferentRows(const TVXBitmap& b, const std::string& ref) {
  if (b.Width() != kW || b.Height() != kH || ref.size() != size_t(kW) * kH * 3) return -1;
  int bad = 0;
  for (int y = 0; y < kH; ++y) bad += std::memcmp(b.Scanline(y), ref.data() + size_t(y) * kW * 3, kW * 3) != 0;
  return bad;
}

}  // namespace

TEST(VXDSMedia, FramesEqualTheFFmpegProgramsAndDurationsItsProbe) {
  TVXLibraryGuard library;
  if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  ASSERT_TRUE(VXFFmpegAvailable());
  for (const TClip& clip : kClips) {
    SCOPED_TRACE(clip.Name);
    const std::string path = ClipPath(clip);
    TVXDirectShow ds;
    ds.SetFileInput(path);
    ds.SetEnableSampleGrabber(true);
    ds.Connect();
    ds.Pause();
    ASSERT_EQ(ds.TimeFormat(), tfTime);
    const int64_t duration = ds.Duration();
    ds.SetTimeFormat(tfFrame);
    ASSERT_EQ(ds.TimeFormat(), tfFrame);
    const std::string probe = Output(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames -show_entries format=duration -of "
        "default=noprint_wrappers=1:nokey=1 '" +
        path + "'");
    long long frames = 0;
    double seconds = 0;
    ASSERT_EQ(std::sscanf(probe.c_str(), "%lld %lf", &frames, &seconds), 2) << probe;
    EXPECT_EQ(ds.Duration(), frames);
    EXPECT_NEAR(double(duration), seconds * 1e7, 400000.0);
    EXPECT_EQ(ds.GetAverageTimePerFrame(), 400000);
    TVXBitmap b;
    for (const int64_t n : {37, 0, 1, 74, 53, 2}) {
      ds.SetPosition(n);
      EXPECT_EQ(ds.Position(), n);
      ds.GetSample(&b, true);
      EXPECT_EQ(DifferentRows(b, Reference(path, n)), 0) << "frame " << n;
    }
    ds.Disconnect();
  }
}

// Frames in the decoder's own pixel format, and converted to one asked for,
// equal the ffmpeg program's frames in that format; a name FFmpeg does not
// know leaves the layout as it was.
TEST(VXDSMedia, FramesInTheirOwnOrAnAskedPixelFormat) {
  TVXLibraryGuard library;
  if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  ASSERT_TRUE(VXFFmpegAvailable());
  const struct {
    int Clip;
    const char* Ask;
  } cases[] = {{2, "native"}, {3, "native"}, {0, "native"}, {1, "native"},
               {0, "gray"},   {1, "rgba"},   {3, "yuyv422"}, {2, "nv12"}};
  for (const auto& c : cases) {
    const std::string path = ClipPath(kClips[c.Clip]);
    SCOPED_TRACE(std::string(kClips[c.Clip].Name) + " " + c.Ask);
    auto src = VXOpenMediaSource(path);
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(src->PixelFormat(), "bgr24");
    ASSERT_TRUE(src->SetPixelFormat(c.Ask));
    const std::string format = src->PixelFormat();
    if (std::string(c.Ask) != "native") {
      EXPECT_EQ(format, c.Ask);
    }
    EXPECT_FALSE(src->SetPixelFormat("nosuchformat"));
    EXPECT_EQ(src->PixelFormat(), format);
    std::vector<uint8_t> bits;
    int64_t index = -1;
    for (const int64_t n : {37, 0, 1}) {
      ASSERT_TRUE(src->Seek(n));
      ASSERT_TRUE(src->ReadFrame(bits, index));
      EXPECT_EQ(index, n);
      const std::string ref = Reference(path, n, format);
      ASSERT_EQ(bits.size(), ref.size()) << format;
      EXPECT_EQ(std::memcmp(bits.data(), ref.data(), ref.size()), 0) << format << " frame " << n;
    }
    // Back to DIB rows.
    ASSERT_TRUE(src->SetPixelFormat(""));
    ASSERT_TRUE(src->ReadFrame(bits, index));
    EXPECT_EQ(bits.size(), size_t((kW * 3 + 3) / 4 * 4) * kH);
  }
  // Generated frames are DIB rows whichever way they are asked for.
  auto sim = VXNewSimMediaSource(3, 5, 4, 25);
  EXPECT_TRUE(sim->SetPixelFormat("native"));
  EXPECT_FALSE(sim->SetPixelFormat("gray"));
  EXPECT_EQ(sim->PixelFormat(), "bgr24");
}

// Damaged clips (cut, headers zeroed, sizes beyond the pixel limit) open or
// refuse cleanly and read to an end.
TEST(VXDSMedia, DamagedClips) {
  TVXLibraryGuard library;
  if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  for (const TClip& clip : kClips) {
    SCOPED_TRACE(clip.Name);
    const std::string path = ClipPath(clip);
    std::string bytes = Output("cat '" + path + "'");
    ASSERT_FALSE(bytes.empty());
    const std::string cut = bytes.substr(0, bytes.size() / 3);
    std::string zeroed = bytes;
    std::memset(zeroed.data(), 0, std::min<size_t>(zeroed.size(), 256));
    // Frames of a million by a million pixels in the stream's header.
    std::string huge = bytes;
    if (const size_t strf = huge.find("strf"); strf != std::string::npos && strf + 20 <= huge.size()) {
      const uint32_t big = 1u << 20;
      std::memcpy(&huge[strf + 12], &big, 4);
      std::memcpy(&huge[strf + 16], &big, 4);
    }
    for (const std::string* data : std::vector<const std::string*>{&cut, &zeroed, &huge}) {
      auto src = VXOpenMediaMemory(reinterpret_cast<const uint8_t*>(data->data()), data->size());
      if (!src) continue;
      std::vector<uint8_t> bits;
      int64_t index = 0;
      int read = 0;
      while (read < 1000 && src->ReadFrame(bits, index)) {
        EXPECT_EQ(bits.size(), size_t(((src->Width() * 3 + 3) / 4) * 4) * size_t(src->Height()));
        ++read;
      }
      EXPECT_LT(read, 1000);
      src->Seek(5);
    }
  }
  // A stream beyond the library's pixel limit is refused.
  const std::string raw = ClipPath(kClips[2]);
  const int64_t limit = VXGetGlobalSettings()->MaxImagePixels();
  VXGetGlobalSettings()->SetMaxImagePixels(int64_t(kW) * kH - 1);
  EXPECT_EQ(VXOpenMediaSource(raw), nullptr);
  VXGetGlobalSettings()->SetMaxImagePixels(limit);
  EXPECT_NE(VXOpenMediaSource(raw), nullptr);
  EXPECT_EQ(VXOpenMediaMemory(nullptr, 0), nullptr);
  EXPECT_EQ(VXOpenMediaSource("/nonexistent/clip.avi"), nullptr);
}

// Without FFmpeg (avformat pointed at a missing soname, in a fresh process)
// a real clip does not connect its source, no camera is listed and nothing
// raises.
TEST(VXDSMedia, WithoutFFmpeg) {
  if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string path = ClipPath(kClips[0]);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        TVXLibraryGuard library;
        VXFFmpegSetSoname("avformat", "libavformat-missing.so.0");
        bool ok = !VXFFmpegAvailable() && !VXFFmpegSetSoname("avcodec", "x");
        // No camera is listed, even one its driver answers for.
        VXSetVideoDeviceFolder(::testing::TempDir());
        std::ofstream(::testing::TempDir() + "/video0") << "x";
        VXSetV4L2Query([](const std::string&, TVXV4L2Device& d) {
          d.Card = "Camera";
          return true;
        });
        ok = ok && VXListV4L2Devices().size() == 1 && VXCaptureDevices(vxccVideoInput).empty();
        TVXDirectShow ds;
        ds.SetFileInput(path);
        ds.SetEnableSampleGrabber(true);
        ds.Connect();
        // The clip cannot be opened: no graph is built, and running fails.
        ok = ok && !ds.Connected() && ds.Duration() == 0 && ds.Run() == vxdsError;
        TVXBitmap b;
        ds.GetSample(&b, false);
        std::exit(ok && b.IsEmpty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A lavfi camera previews and captures through the simulated compressor
// into an AVI file of its size and rate; one that cannot be opened fails
// to run.
TEST(VXDSMedia, LavfiCamera) {
  TVXLibraryGuard library;
  if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  VXDShowSim::Reset();
  VXDShowSim::AddLavfiVideoInput("Test Camera", "testsrc2=size=320x240:rate=25");
  VXDShowSim::AddLavfiVideoInput("Broken Camera", "nosuchsource");
  VXDShowSim::AddVideoCodec("Codec");
  const auto waitFrames = [](int n) {
    for (int i = 0; i < 500 && VXDShowSim::RenderedFrames() < n; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return VXDShowSim::RenderedFrames() >= n;
  };
  {
    TVXDirectShow ds;
    ASSERT_EQ(ds.VideoInputs().size(), 2u);
    ds.SetVideoInput(0);
    ds.SetRenderVideo(true);
    ds.SetCaptureMode(vxdscPreview);
    ds.Connect();
    ASSERT_EQ(ds.VideoFormatsCount(), 1);
    EXPECT_EQ(ds.GetVideoFormats(0).MinWidth, 320);
    EXPECT_EQ(ds.GetAverageTimePerFrame(), 400000);
    ASSERT_EQ(ds.Run(), vxdsSuccess);
    EXPECT_TRUE(waitFrames(3));
    TVXBitmap b;
    ds.GetSample(&b, false);
    EXPECT_EQ(b.Width(), 320);
    ds.Disconnect();
  }
  const std::string file = ::testing::TempDir() + "/vxmedia-camera.avi";
  std::remove(file.c_str());
  {
    VXDShowSim::Reset();
    VXDShowSim::AddLavfiVideoInput("Test Camera", "testsrc2=size=320x240:rate=25");
    VXDShowSim::AddVideoCodec("Codec");
    TVXDirectShow ds;
    ds.SetVideoInput(0);
    ds.SetVideoCodec(0);
    ds.SetFileOutput(file);
    ds.Connect();
    ASSERT_EQ(ds.Run(), vxdsSuccess);
    EXPECT_TRUE(waitFrames(10));
    ds.Stop();
    ds.Disconnect();
  }
  EXPECT_EQ(Output("ffprobe -v error -select_streams v:0 -show_entries stream=width,height,r_frame_rate -of csv=p=0 '" +
                   file + "'"),
            "320,240,25/1\n");
  {
    VXDShowSim::Reset();
    VXDShowSim::AddLavfiVideoInput("Broken Camera", "nosuchsource");
    TVXDirectShow ds;
    ds.SetVideoInput(0);
    ds.Connect();
    const TVXDSRunResult r = ds.Run();
    EXPECT_TRUE(r == vxdsError || r == vxdsBusy);
  }
}

// The machine's cameras: the "video<N>" nodes of the device folder, in node
// order, named by their card and with a capability per format and size;
// nodes that are no capture device and other names are left out. The nodes
// here are plain files behind a stand-in driver query, so a camera's graph
// connects with its formats but cannot run.
TEST(VXDSMedia, MachineCamerasInTheDeviceRegistry) {
  TVXLibraryGuard library;
  if (!VXFFmpegAvailable()) GTEST_SKIP() << "FFmpeg's libraries are not installed";
  const std::string folder = ::testing::TempDir() + "/vxmedia-dev-" + std::to_string(getpid());
  std::filesystem::create_directories(folder);
  for (const char* n : {"video10", "video2", "video0", "videoX", "radio0", "video"}) std::ofstream(folder + "/" + n) << "x";
  const uint32_t yuyv = 0x56595559, mjpg = 0x47504A4D, odd = 0x32315559;  // 'YUYV', 'MJPG', 'YU12'
  VXSetV4L2Query([&](const std::string& Path, TVXV4L2Device& d) {
    const std::string name = std::filesystem::path(Path).filename().string();
    if (name == "video0") {
      d.Card = "Front Camera";
      d.Sizes = {{yuyv, 640, 480, 30}, {yuyv, 320, 240, 30}, {mjpg, 1280, 720, 15}};
      return true;
    }
    if (name == "video10") {
      d.Card = "Grabber";
      d.Sizes = {{odd, 352, 288, 0}};
      return true;
    }
    return false;  // video2: a metadata node
  });
  struct TReset {
    ~TReset() {
      VXSetV4L2Query(nullptr);
      VXDShowSim::Reset();
    }
  } reset;
  VXDShowSim::Reset();
  VXSetVideoDeviceFolder(folder);
  VXDShowSim::AddVideoInput(R"({"Name": "Sim", "Caps": [{"SubType": "RGB24", "Width": 8, "Height": 8}]})");

  const std::vector<TVXV4L2Device> nodes = VXListV4L2Devices();
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].Path, folder + "/video0");
  EXPECT_EQ(nodes[1].Path, folder + "/video10");
  std::vector<std::string> names;
  for (const TVXCaptureDevice& d : VXCaptureDevices(vxccVideoInput)) names.push_back(d.FriendlyName);
  EXPECT_EQ(names, (std::vector<std::string>{"Sim", "Front Camera", "Grabber"}));
  EXPECT_TRUE(VXCaptureDevices(vxccAudioInput).empty());

  struct TCase {
    int Input;
    std::vector<std::string> Formats;  // subtype and size of each capability
  };
  const TCase cases[] = {{1, {"YUY2 640x480", "YUY2 320x240", "MJPG 1280x720"}},
                         {2, {"RGB24 352x288"}}};  // a format the subtype table lacks
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Input);
    TVXDirectShow ds;
    ASSERT_EQ(ds.VideoInputs().size(), 3u);
    ds.SetVideoInput(c.Input);
    ds.Connect();
    ASSERT_TRUE(ds.Connected());
    std::vector<std::string> formats;
    for (int i = 0; i < ds.VideoFormatsCount(); ++i) {
      const TVXVideoFormat& f = ds.GetVideoFormats(i);
      formats.push_back(f.Format + " " + std::to_string(f.MinWidth) + "x" + std::to_string(f.MinHeight));
    }
    EXPECT_EQ(formats, c.Formats);
    if (c.Input == 1) {
      // The frames come as RGB24 at the chosen size and rate.
      ds.SetCurrentVideoFormat(1280, 720, "MJPG");
      int w = 0, h = 0;
      std::string format;
      ds.GetCurrentVideoFormat(w, h, format);
      EXPECT_EQ(w, 1280);
      EXPECT_EQ(h, 720);
      EXPECT_EQ(format, "RGB24");
      EXPECT_EQ(ds.GetAverageTimePerFrame(), 666667);
    }
    // A node that is not a camera after all cannot be opened: an error,
    // not a hang.
    const TVXDSRunResult r = ds.Run();
    EXPECT_TRUE(r == vxdsError || r == vxdsBusy);
    ds.Disconnect();
  }

  // Without a folder, or through the real driver query on plain files,
  // there are no cameras.
  VXSetV4L2Query(nullptr);
  EXPECT_TRUE(VXListV4L2Devices().empty());
  VXSetVideoDeviceFolder(folder + "/missing");
  EXPECT_TRUE(VXListV4L2Devices().empty());
  VXSetVideoDeviceFolder("");
  EXPECT_EQ(VXCaptureDevices(vxccVideoInput).size(), 1u);
  std::filesystem::remove_all(folder);
}

// The machine's own cameras, when it has any, are listed by their card
// names with at least one capability each.
TEST(VXDSMedia, RealVideo4Linux2Cameras) {
  TVXLibraryGuard library;
  bool any = false;
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/dev", ec), end; !ec && it != end; it.increment(ec))
    any = any || it->path().filename().string().rfind("video", 0) == 0;
  if (!any) GTEST_SKIP() << "this machine has no /dev/video* nodes";
  VXSetVideoDeviceFolder("/dev");
  for (const TVXV4L2Device& d : VXListV4L2Devices()) {
    SCOPED_TRACE(d.Path);
    EXPECT_FALSE(d.Card.empty());
    for (const TVXV4L2Size& s : d.Sizes) {
      EXPECT_GT(s.Width, 0);
      EXPECT_GT(s.Height, 0);
    }
  }
  VXSetVideoDeviceFolder("");
}

// FFmpeg is bound at run time: a program linking the library needs none of
// its libraries.
TEST(VXDSMedia, ProgramsDoNotLinkFFmpeg) {
  if (std::system("readelf --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "readelf is not installed";
  const std::string needed = Output("readelf -d /proc/self/exe");
  ASSERT_NE(needed.find("NEEDED"), std::string::npos);
  for (const char* lib : {"libavformat", "libavcodec", "libswscale", "libavutil", "libavdevice"})
    EXPECT_EQ(needed.find(lib), std::string::npos) << lib;
}
