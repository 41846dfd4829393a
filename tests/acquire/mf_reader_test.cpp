// The Media Foundation source reader over FFmpeg: files read synchronously
// against ffprobe's frames, raw and decoded frames against ffmpeg's bytes,
// media types, and capture on the platform's worker with its queue, its
// window notifications, pacing on the virtual clock, pause, seek and release.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "../proc/numpy_oracle.h"
#include "acquire/dshow_sim.h"
#include "acquire/mf_platform.h"
#include "acquire/mf_sim.h"
#include "acquire/vxmmf.h"
#include "core/bitmap.h"
#include "core/dictionary.h"
#include "core/startup.h"
#include "platform/win_clock.h"
#include "winui/ffmpeg.h"
#include "winui/headless.h"
#include "winui/win_window.h"

namespace {

bool HaveFFmpeg() { return RuntimeHaveTool("/usr/bin/ffmpeg") && RuntimeHaveTool("/usr/bin/ffprobe"); }

// ffprobe's frame time stamps of the clip's video stream, in 100 ns.
std::vector<int64_t> ProbeTimes(const std::string& File) {
  const std::string out = RuntimeShell("/usr/bin/ffprobe -v error -select_streams v:0 -show_entries "
                                       "frame=best_effort_timestamp_time -of csv=p=0 '" + File + "'");
  std::vector<int64_t> times;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) times.push_back(int64_t(std::llrint(std::stod(line) * 1e7)));
  return times;
}

// Frame K of the clip as ffmpeg decodes it, in the pixel format.
std::string FrameBytes(const TRuntimeScratchDir& Dir, const std::string& File, int K, const std::string& PixFmt) {
  const std::string out = Dir.File("frame" + std::to_string(K) + PixFmt + ".raw");
  RuntimeShell("/usr/bin/ffmpeg -v error -y -i '" + File + "' -vf 'select=eq(n\\," + std::to_string(K) +
               ")' -frames:v 1 -pix_fmt " + PixFmt + " -f rawvideo '" + out + "'");
  return RuntimeReadFile(out);
}

std::string SampleBytes(const TVXMFReceivedSample& S) {
  if (!S.Sample) return {};
  VX_IMFMediaBuffer* b = nullptr;
  if (FAILED(S.Sample->ConvertToContiguousBuffer(&b))) return {};
  BYTE* p = nullptr;
  DWORD len = 0;
  b->Lock(&p, nullptr, &len);
  std::string out(reinterpret_cast<const char*>(p), len);
  b->Unlock();
  b->Release();
  return out;
}

// The I420 formulas of the decoders, evaluated by numpy.
const char* kI420Ref =
    "raw = load(0, np.uint8, (-1,))\n"
    "Y = raw[:w*h].reshape(h, w); c = (w//2)*(h//2)\n"
    "U = raw[w*h:w*h+c].reshape(h//2, w//2); V = raw[w*h+c:w*h+2*c].reshape(h//2, w//2)\n"
    "U = np.repeat(np.repeat(U, 2, 0), 2, 1); V = np.repeat(np.repeat(V, 2, 0), 2, 1)\n"
    "C = Y.astype(np.float64) - 16; D = U.astype(np.float64) - 128; E = V.astype(np.float64) - 128\n"
    "q = lambda a: np.clip(np.rint(a), 0, 255)\n"
    "out = np.stack([q(1.164*C + 2.018*D), q(1.164*C - 0.813*E - 0.391*D), q(1.164*C + 1.596*E)], -1)\n"
    "save(out.astype(np.uint8))\n";

}  // namespace

class MediaFoundationReader : public ::testing::Test {
 protected:
  void SetUp() override {
    fLibrary = std::make_unique<TVXLibraryGuard>();
    if (!HaveFFmpeg()) GTEST_SKIP() << "ffmpeg and ffprobe (scripts/setup) are needed";
  }
  void TearDown() override {
    VXClockSetVirtual(false);
    fLibrary.reset();
  }
  // A testsrc2 clip of Frames frames at Rate.
  std::string Clip(const std::string& Name, const std::string& Codec, int Frames, int Rate = 25,
                   const std::string& Size = "64x48") {
    const std::string file = fDir.File(Name);
    RuntimeShell("/usr/bin/ffmpeg -v error -y -f lavfi -i testsrc2=size=" + Size + ":rate=" + std::to_string(Rate) +
                 " -frames:v " + std::to_string(Frames) + " " + Codec + " '" + file + "'");
    return file;
  }
  std::unique_ptr<TVXLibraryGuard> fLibrary;
  TRuntimeScratchDir fDir;
};

TEST_F(MediaFoundationReader, SynchronousFileGivesFFprobesFramesThenEndOfStream) {
  const std::string file = Clip("sync.mp4", "-c:v libx264 -pix_fmt yuv420p -bf 2", 12);
  const std::vector<int64_t> want = ProbeTimes(file);
  ASSERT_EQ(want.size(), 12u);
  TVXMediaFoundationSourceReader r;
  ASSERT_TRUE(r.IsAvailable());
  ASSERT_TRUE(r.SetFileInput(file));
  ASSERT_EQ(r.StreamCount(), 1);
  EXPECT_EQ(r.GetStreamType(0), "Video");
  EXPECT_EQ(r.GetMediaType(0, 0)->GetString("SubType", false), "H264");
  EXPECT_EQ(r.Duration(), 12 * 400000);
  ASSERT_TRUE(r.SetMediaTypeVideo("I420", 0, 0, 0, ""));
  std::vector<int64_t> got;
  for (int i = 0; i < 100; ++i) {
    std::unique_ptr<TVXMFReceivedSample> s = r.GetNextSample();
    if (s->StreamFlags & MF_SOURCE_READERF_ENDOFSTREAM) {
      EXPECT_EQ(s->Sample, nullptr);
      break;
    }
    ASSERT_NE(s->Sample, nullptr);
    EXPECT_EQ(s->StreamIndex, 0u);
    got.push_back(s->TimeStamp);
  }
  EXPECT_EQ(got, want);
  EXPECT_FALSE(r.Capturing());
}

TEST_F(MediaFoundationReader, RawAndDecodedFramesMatchFFmpeg) {
  // A raw bgr24 clip set to its native RGB24: the clip's own bytes.
  const std::string raw = Clip("raw.avi", "-c:v rawvideo -pix_fmt bgr24", 6, 25, "62x34");
  {
    TVXMediaFoundationSourceReader r;
    ASSERT_TRUE(r.SetFileInput(raw));
    EXPECT_EQ(r.GetMediaType(0, 0)->GetString("SubType", false), "RGB24");
    ASSERT_TRUE(r.SetMediaTypeVideo("RGB24", 62, 34, 0, ""));
    for (int k = 0; k < 4; ++k) {
      std::unique_ptr<TVXMFReceivedSample> s = r.GetNextSample();
      ASSERT_NE(s->Sample, nullptr);
      if (k != 3) continue;
      TVXBitmap bmp;
      ASSERT_TRUE(s->DecodeSample(&bmp));
      EXPECT_TRUE(numpy_oracle::Pixels(&bmp) == FrameBytes(fDir, raw, 3, "bgr24"));
    }
    // A size other than the stream's is refused.
    EXPECT_FALSE(r.SetMediaTypeVideo("RGB24", 64, 34, 0, ""));
  }
  // An H.264 clip converted to I420: the decoder's formulas over ffmpeg's
  // yuv420p frame.
  if (!numpy_oracle::Available()) GTEST_SKIP() << "numpy is needed";
  const std::string h264 = Clip("dec.mp4", "-c:v libx264 -pix_fmt yuv420p", 8);
  TVXMediaFoundationSourceReader r;
  ASSERT_TRUE(r.SetFileInput(h264));
  ASSERT_TRUE(r.SetMediaTypeVideo("I420", 0, 0, 0, ""));
  EXPECT_EQ(r.GetCurrentMediaType(0)->GetString("SubType", false), "I420");
  const int k = 5;
  std::unique_ptr<TVXMFReceivedSample> s;
  for (int i = 0; i <= k; ++i) s = r.GetNextSample();
  ASSERT_NE(s->Sample, nullptr);
  const std::string yuv = FrameBytes(fDir, h264, k, "yuv420p");
  EXPECT_TRUE(SampleBytes(*s) == yuv);
  TVXBitmap bmp;
  ASSERT_TRUE(s->DecodeSample(&bmp));
  const std::string ref = numpy_oracle::Run(std::string("w, h = 64, 48\n") + kI420Ref, {yuv});
  EXPECT_TRUE(numpy_oracle::Pixels(&bmp) == ref);
}

TEST_F(MediaFoundationReader, OpeningFailsCleanly) {
  TVXMediaFoundationSourceReader r;
  EXPECT_FALSE(r.SetFileInput(fDir.File("missing.mp4")));
  EXPECT_EQ(r.StreamCount(), 0);
  RuntimeShell("head -c 3000 /dev/urandom > '" + fDir.File("noise.mp4") + "'");
  EXPECT_FALSE(r.SetFileInput(fDir.File("noise.mp4")));
  EXPECT_EQ(r.StreamCount(), 0);
  // No source: an empty sample, the stream asked for.
  std::unique_ptr<TVXMFReceivedSample> s = r.GetNextSample();
  EXPECT_EQ(s->Sample, nullptr);
  EXPECT_EQ(s->StreamIndex, MF_SOURCE_READER_ANY_STREAM);
  EXPECT_FALSE(r.StartCapture());
  EXPECT_THROW(r.SetVideoInput("No such camera"), EVXException);
}

namespace {

constexpr UINT kNotify = 8030;

// Records what reaches it, with the platform clock at each notification
// and the queue's length then.
class TRecorder : public TVXComObject<IVXMediaFoundationReaderNotifyReceiver> {
 public:
  struct TEntry {
    TVXMediaFountationNotifyType Type;
    int64_t Clock, TimeStamp;
    size_t Queued;
  };
  void ReceiveNotify(void* sender, TVXMediaFountationNotifyType notifyType, uint32_t, uint32_t, int64_t llTimestamp,
                     VX_IMFSample*, VX_IMFMediaType*, VX_IMFMediaEvent*) override {
    auto* r = static_cast<TVXMediaFoundationSourceReader*>(sender);
    std::lock_guard g(fLock);
    Entries.push_back({notifyType, VXMFPlatGetSystemTime(), llTimestamp, r->QueuedSamples()});
  }
  std::vector<TEntry> Take() {
    std::lock_guard g(fLock);
    return Entries;
  }
  bool Ended() {
    std::lock_guard g(fLock);
    for (const TEntry& e : Entries)
      if (e.Type == vxmfnENDOFSTREAM) return true;
    return false;
  }
  // Waits (in real time) for the end of the stream.
  bool WaitEnd(int Ms = 20000) {
    for (int i = 0; i < Ms / 5; ++i) {
      if (Ended()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  size_t Count(TVXMediaFountationNotifyType T) {
    std::lock_guard g(fLock);
    size_t n = 0;
    for (const TEntry& e : Entries) n += e.Type == T;
    return n;
  }

 private:
  std::mutex fLock;
  std::vector<TEntry> Entries;
};

int64_t MsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

TEST_F(MediaFoundationReader, QueuedReadingPostsToTheWindow) {
  const std::string file = Clip("queued.mp4", "-c:v libx264 -pix_fmt yuv420p", 10);
  VXClockSetVirtual(true);
  HWND w = CreateWindowExW(0, "STATIC", "", 0, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  TVXMediaFoundationSourceReader r;
  auto* window = new TVXMediaFoundationReaderWindowNotifyReceiver(w, kNotify);
  auto* rec = new TRecorder;
  r.PushNotifyReceiver(window);
  r.PushNotifyReceiver(rec);
  r.PushNotifyReceiver(rec);  // once only
  window->Release();
  ASSERT_TRUE(r.SetFileInput(file));
  ASSERT_TRUE(r.SetMediaTypeVideo("I420", 0, 0, 0, ""));
  // Nothing delivered yet: an empty sample for any stream.
  std::unique_ptr<TVXMFReceivedSample> none = r.GetNextSample();
  EXPECT_EQ(none->Sample, nullptr);
  EXPECT_EQ(none->StreamIndex, 0xFFFFFFFEu);
  ASSERT_TRUE(r.StartCapture());
  ASSERT_TRUE(rec->WaitEnd());
  std::vector<WPARAM> posted;
  MSG m;
  while (PeekMessageW(&m, w, 0, 0, PM_REMOVE)) {
    if (m.message != kNotify) continue;
    posted.push_back(m.wParam);
    EXPECT_EQ(m.lParam, LPARAM(reinterpret_cast<intptr_t>(&r)));
  }
  std::vector<WPARAM> want{vxmfnSTARTINGCAPTURE};
  want.insert(want.end(), 10, vxmfnFRAME);
  want.push_back(vxmfnENDOFSTREAM);
  EXPECT_EQ(posted, want);
  // The samples in order; a 25 fps file is queued every 40 ms of the clock.
  std::vector<int64_t> queuedAt;
  for (const auto& e : rec->Take())
    if (e.Type == vxmfnFRAME) queuedAt.push_back(e.Clock);
  ASSERT_EQ(queuedAt.size(), 10u);
  for (size_t i = 1; i < queuedAt.size(); ++i) EXPECT_EQ(queuedAt[i] - queuedAt[0], int64_t(i) * 400000) << i;
  for (int i = 0; i < 10; ++i) {
    std::unique_ptr<TVXMFReceivedSample> s = r.GetNextSample();
    ASSERT_NE(s->Sample, nullptr);
    EXPECT_EQ(s->TimeStamp, int64_t(i) * 400000);
  }
  EXPECT_EQ(r.GetNextSample()->Sample, nullptr);

  // A resume paces from its own first sample, however long the pause.
  EXPECT_TRUE(r.PauseCapture());
  VXClockAdvance(60000);
  r.SetPosition(0);
  rec->Release();
  auto* again = new TRecorder;
  r.ClearNotifyReceivers();
  r.PushNotifyReceiver(again);
  again->Release();
  r.ResumeCapture();
  ASSERT_TRUE(again->WaitEnd());
  std::vector<int64_t> resumed;
  for (const auto& e : again->Take())
    if (e.Type == vxmfnFRAME) resumed.push_back(e.Clock);
  ASSERT_EQ(resumed.size(), 10u);
  for (size_t i = 1; i < resumed.size(); ++i) EXPECT_EQ(resumed[i] - resumed[0], int64_t(i) * 400000) << i;
  r.StopCapture();
  EXPECT_FALSE(r.Capturing());
  DestroyWindow(w);
}

TEST_F(MediaFoundationReader, AFullQueueDropsWhileRequestsGoOn) {
  const std::string file = Clip("bounded.mp4", "-c:v libx264 -pix_fmt yuv420p", 10);
  VXClockSetVirtual(true);
  TVXMediaFoundationSourceReader r;
  auto* rec = new TRecorder;
  r.PushNotifyReceiver(rec);
  ASSERT_TRUE(r.SetFileInput(file));
  ASSERT_TRUE(r.SetMediaTypeVideo("I420", 0, 0, 0, ""));
  r.SetSamplesBufferSize(2);
  ASSERT_TRUE(r.StartCapture());
  ASSERT_TRUE(rec->WaitEnd());
  EXPECT_EQ(rec->Count(vxmfnFRAME), 2u);
  for (const auto& e : rec->Take()) EXPECT_LE(e.Queued, 2u);
  EXPECT_EQ(r.QueuedSamples(), 2u);
  EXPECT_EQ(r.GetNextSample()->TimeStamp, 0);
  EXPECT_EQ(r.GetNextSample()->TimeStamp, 400000);
  r.StopCapture();
  rec->Release();
}

TEST_F(MediaFoundationReader, SeekDuringCaptureResumesAtTheNewTime) {
  const std::string file = Clip("seek.mp4", "-c:v libx264 -pix_fmt yuv420p -g 10", 50);
  VXClockSetVirtual(true);
  TVXMediaFoundationSourceReader r;
  auto* rec = new TRecorder;
  r.PushNotifyReceiver(rec);
  rec->Release();
  ASSERT_TRUE(r.SetFileInput(file));
  ASSERT_TRUE(r.SetMediaTypeVideo("I420", 0, 0, 0, ""));
  r.SetSamplesBufferSize(100);
  ASSERT_TRUE(r.StartCapture());
  r.SetPosition(12000000);  // 1.2 s: frame 30
  EXPECT_TRUE(r.Capturing());
  for (int i = 0; i < 4000 && r.QueuedSamples() < 20; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  r.PauseCapture();
  std::vector<int64_t> times;
  for (;;) {
    std::unique_ptr<TVXMFReceivedSample> s = r.GetNextSample();
    if (!s->Sample) break;
    times.push_back(s->TimeStamp);
  }
  ASSERT_EQ(times.size(), 20u);
  for (size_t i = 0; i < times.size(); ++i) EXPECT_EQ(times[i], 12000000 + int64_t(i) * 400000);
}

// On the system clock, paced samples keep a request outstanding most of
// the time: pausing waits only for its answer, a receiver list emptied and
// refilled keeps the count, and destroying the reader is clean.
TEST_F(MediaFoundationReader, PauseAndReleaseWithARequestOutstanding) {
  const std::string file = Clip("long.mp4", "-c:v libx264 -pix_fmt yuv420p", 100, 5);
  {
    TVXMediaFoundationSourceReader r;
    auto* rec = new TRecorder;
    r.PushNotifyReceiver(rec);
    ASSERT_TRUE(r.SetFileInput(file));
    ASSERT_TRUE(r.SetMediaTypeVideo("I420", 0, 0, 0, ""));
    ASSERT_TRUE(r.StartCapture());
    for (int i = 0; i < 2000 && rec->Count(vxmfnFRAME) < 2; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(rec->Count(vxmfnFRAME), 2u);
    // The receivers made again, as when the viewer's window is.
    r.ClearNotifyReceivers();
    r.PushNotifyReceiver(rec);
    auto t = std::chrono::steady_clock::now();
    EXPECT_TRUE(r.PauseCapture());
    EXPECT_LT(MsSince(t), 500);  // the pacing sleep ends with capture
    r.ResumeCapture();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    t = std::chrono::steady_clock::now();
    EXPECT_TRUE(r.PauseCapture());
    EXPECT_LT(MsSince(t), 500);
    t = std::chrono::steady_clock::now();
    EXPECT_FALSE(r.PauseCapture());
    EXPECT_LT(MsSince(t), 100);  // nothing outstanding: no wait at all
    r.ResumeCapture();
    rec->Release();
  }
  // Destroyed at once, with the first request outstanding.
  const auto t = std::chrono::steady_clock::now();
  {
    TVXMediaFoundationSourceReader r;
    auto* rec = new TRecorder;
    r.PushNotifyReceiver(rec);
    rec->Release();
    ASSERT_TRUE(r.SetFileInput(file));
    ASSERT_TRUE(r.SetMediaTypeVideo("I420", 0, 0, 0, ""));
    ASSERT_TRUE(r.StartCapture());
  }
  EXPECT_LT(MsSince(t), 1500);
}

// A lavfi camera: its YUY2 frames are ffmpeg's, it is not paced, and a stop
// opens it again, so the next start begins afresh.
TEST_F(MediaFoundationReader, LavfiCameraStartsStopsAndStartsAgain) {
  VXDShowSim::Reset();
  VXDShowSim::AddLavfiVideoInput("Test Camera", "testsrc2=size=64x48:rate=25,format=yuyv422");
  {
    TVXMediaFoundationSourceReader r;
    ASSERT_TRUE(r.SetVideoInput("test camera"));
    EXPECT_EQ(r.GetMediaType(0, 0)->GetString("SubType", false), "YUY2");
    EXPECT_THROW(r.SetVideoInput(1), EVXException);
    ASSERT_TRUE(r.SetVideoInput(0));
    std::unique_ptr<TVXMFReceivedSample> s = r.GetNextSample();
    ASSERT_NE(s->Sample, nullptr);
    const std::string raw = fDir.File("cam.yuyv");
    RuntimeShell("/usr/bin/ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 1 -pix_fmt yuyv422 "
                 "-f rawvideo '" + raw + "'");
    const std::string bytes = RuntimeReadFile(raw);
    EXPECT_TRUE(SampleBytes(*s) == bytes);
    if (numpy_oracle::Available()) {
      const std::string ref = numpy_oracle::Run(
          "w, h = 64, 48\nraw = load(0, np.uint8, (-1,))\np = raw.reshape(h, w // 2, 4)\n"
          "Y = np.stack([p[:, :, 0], p[:, :, 2]], -1).reshape(h, w)\n"
          "U = np.repeat(p[:, :, 1], 2, 1); V = np.repeat(p[:, :, 3], 2, 1)\n"
          "C = Y.astype(np.int64) - 16; D = U.astype(np.int64) - 128; E = V.astype(np.int64) - 128\n"
          "q = lambda a: np.clip(np.trunc(a / 256.0), 0, 255)\n"
          "out = np.stack([q(298*C + 516*D + 128), q(298*C - 100*D - 208*E + 128), q(298*C + 409*E + 128)], -1)\n"
          "save(out.astype(np.uint8))\n",
          {bytes});
      TVXBitmap bmp;
      ASSERT_TRUE(s->DecodeSample(&bmp));
      EXPECT_TRUE(numpy_oracle::Pixels(&bmp) == ref);
    }
  }
  VXClockSetVirtual(true);
  TVXMediaFoundationSourceReader r;
  auto* rec = new TRecorder;
  r.PushNotifyReceiver(rec);
  ASSERT_TRUE(r.SetVideoInput("Test Camera"));
  r.SetSamplesBufferSize(5);
  for (int round = 0; round < 2; ++round) {
    const uint64_t clock = GetTickCount64();
    ASSERT_TRUE(r.StartCapture()) << round;
    for (int i = 0; i < 2000 && r.QueuedSamples() < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    r.StopCapture();
    EXPECT_EQ(GetTickCount64(), clock) << "a device is not paced";
    EXPECT_EQ(r.QueuedSamples(), 0u);
    EXPECT_EQ(r.StreamCount(), 1) << "opened again";
  }
  EXPECT_GE(rec->Count(vxmfnFRAME), 10u);
  EXPECT_EQ(rec->Count(vxmfnSTARTINGCAPTURE), 2u);
  rec->Release();
  VXDShowSim::Reset();
}

// The clip served over loopback HTTP gives the file's frames and times.
TEST_F(MediaFoundationReader, URLDeliversTheFilesFrames) {
  const std::string file = Clip("served.mp4", "-c:v libx264 -pix_fmt yuv420p", 8);
  const std::string portFile = fDir.File("port");
  const std::string pid = RuntimeShell(
      "cd '" + fDir.File("") + "' && /usr/bin/python3 -c '"
      "import http.server, socketserver, sys\n"
      "class Q(http.server.SimpleHTTPRequestHandler):\n"
      "    def log_message(self, *a): pass\n"
      "s = socketserver.TCPServer((\"127.0.0.1\", 0), Q)\n"
      "open(sys.argv[1], \"w\").write(str(s.server_address[1]))\n"
      "s.serve_forever()' '" + portFile + "' > /dev/null 2>&1 & echo $!");
  std::string port;
  for (int i = 0; i < 400 && port.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    port = RuntimeReadFile(portFile);
  }
  ASSERT_FALSE(port.empty()) << "the loopback server did not start";
  auto read = [](TVXMediaFoundationSourceReader& r, std::vector<std::string>& frames) {
    std::vector<int64_t> times;
    EXPECT_TRUE(r.SetMediaTypeVideo("I420", 0, 0, 0, ""));
    for (int i = 0; i < 50; ++i) {
      std::unique_ptr<TVXMFReceivedSample> s = r.GetNextSample();
      if (!s->Sample) break;
      times.push_back(s->TimeStamp);
      frames.push_back(SampleBytes(*s));
    }
    return times;
  };
  TVXMediaFoundationSourceReader f, u;
  ASSERT_TRUE(f.SetFileInput(file));
  const bool opened = u.SetURLInput("http://127.0.0.1:" + port + "/served.mp4");
  std::vector<std::string> fileFrames, urlFrames;
  const std::vector<int64_t> fileTimes = read(f, fileFrames);
  const std::vector<int64_t> urlTimes = opened ? read(u, urlFrames) : std::vector<int64_t>{};
  RuntimeShell("kill " + pid);
  ASSERT_TRUE(opened);
  EXPECT_EQ(fileTimes.size(), 8u);
  EXPECT_EQ(urlTimes, fileTimes);
  EXPECT_TRUE(urlFrames == fileFrames);
}

// Without FFmpeg (avformat pointed at a missing soname, in a fresh process)
// files, URLs and FFmpeg cameras fail to open, cleanly, while the reader
// itself and the simulated sources still work.
TEST_F(MediaFoundationReader, WithoutFFmpegInputsFailToOpen) {
  const std::string file = Clip("plain.mp4", "-c:v libx264 -pix_fmt yuv420p", 4);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        VXFFmpegSetSoname("avformat", "libavformat-missing.so.0");
        VXDShowSim::Reset();
        VXDShowSim::AddLavfiVideoInput("Test Camera", "testsrc2=size=64x48:rate=25");
        VXMFSim::AddSource("clip", {{{"Video", {"YUY2"}, {}, 8, 4}}, {{0, 0, 0}}, 0});
        bool ok = !VXFFmpegAvailable();
        VX_IMFSourceReader* platform = reinterpret_cast<VX_IMFSourceReader*>(1);
        ok = ok && VXMFReadCreateSourceReaderFromURL(file.c_str(), nullptr, &platform) == E_FAIL && !platform;
        TVXMediaFoundationSourceReader r;
        ok = ok && r.IsAvailable() && !r.SetFileInput(file) && r.StreamCount() == 0;
        ok = ok && !r.SetURLInput("lavfi:testsrc2") && r.StreamCount() == 0;
        ok = ok && !r.SetVideoInput("Test Camera") && r.StreamCount() == 0;
        ok = ok && !r.StartCapture() && !r.GetNextSample()->Sample;
        ok = ok && r.SetURLInput("mfsim:clip") && r.GetNextSample()->Sample != nullptr;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// ---- the simulated back end: scripted types, time stamps and flags ----

namespace {

using VXMFSim::TSample;
constexpr uint32_t kEnd = MF_SOURCE_READERF_ENDOFSTREAM, kError = MF_SOURCE_READERF_ERROR;

std::vector<std::string> LogSince(size_t From) {
  const std::vector<std::string> log = VXMFSim::Log();
  return {log.begin() + std::ptrdiff_t(std::min(From, log.size())), log.end()};
}

std::string Line(int Stream, const std::string& Major, const std::string& Sub, bool Accepted) {
  return "SetCurrentMediaType(" + std::to_string(Stream) + ", " + Major + ", " + Sub +
         (Accepted ? "): accepted" : "): refused");
}

// The first byte of a sample: its place in the script.
int Place(const TVXMFReceivedSample& S) {
  const std::string bytes = SampleBytes(S);
  return bytes.empty() ? -1 : int(uint8_t(bytes[0]));
}

}  // namespace

class MediaFoundationSimReader : public ::testing::Test {
 protected:
  void SetUp() override {
    fLibrary = std::make_unique<TVXLibraryGuard>();
    VXMFSim::Reset();
  }
  void TearDown() override {
    VXClockSetVirtual(false);
    VXMFSim::Reset();
    fLibrary.reset();
  }
  std::unique_ptr<TVXLibraryGuard> fLibrary;
};

// SelectMediaType on a device: a native type with a decoder is set as it
// is; one without is offered as RGB24, YUY2, I420, NV12 and RGB32 in turn,
// and the first that the platform accepts is kept.
TEST_F(MediaFoundationSimReader, SelectMediaTypeTriesTheDecodersInOrder) {
  struct TCase {
    std::vector<std::string> Native, Accepts;
    int TypeIndex;
    bool Ok;
    std::vector<std::string> Offered;  // subtype and whether accepted
    std::string Current;
  };
  const TCase cases[] = {
      {{"MJPG"}, {"RGB32", "NV12"}, 0, true, {"RGB24-", "YUY2-", "I420-", "NV12+"}, "NV12"},
      {{"MJPG"}, {"RGB24", "YUY2"}, 0, true, {"RGB24+"}, "RGB24"},
      {{"MJPG"}, {}, 0, false, {"RGB24-", "YUY2-", "I420-", "NV12-", "RGB32-"}, "MJPG"},
      {{"H264", "YUY2"}, {"RGB24"}, 1, true, {"YUY2+"}, "YUY2"},
  };
  for (size_t c = 0; c < std::size(cases); ++c) {
    const TCase& t = cases[c];
    VXMFSim::Reset();
    VXMFSim::AddVideoInput("Camera", {{{"Video", t.Native, t.Accepts, 64, 48}}, {}, 0});
    TVXMediaFoundationSourceReader r;
    ASSERT_TRUE(r.SetVideoInput("camera")) << c;
    ASSERT_EQ(r.GetMediaTypesCount(0), int32_t(t.Native.size())) << c;
    const size_t from = VXMFSim::Log().size();
    EXPECT_EQ(r.SelectMediaType(0, t.TypeIndex), t.Ok) << c;
    std::vector<std::string> want;
    for (const std::string& o : t.Offered) want.push_back(Line(0, "Video", o.substr(0, o.size() - 1), o.back() == '+'));
    EXPECT_EQ(LogSince(from), want) << c;
    EXPECT_EQ(r.GetCurrentMediaType(0)->GetString("SubType", false), t.Current) << c;
  }
}

// Media types of a source with a video and an audio stream: by index and
// by type, the shortcuts, and a description whose major type is another
// stream's.
TEST_F(MediaFoundationSimReader, MediaTypesOfVideoAndAudioStreams) {
  VXMFSim::AddSource("av", {{{"Video", {"MJPG"}, {"YUY2"}, 64, 48}, {"Audio", {"PCM", "Float"}, {}, 0, 0}}, {}, 0});
  TVXMediaFoundationSourceReader r;
  ASSERT_TRUE(r.SetURLInput("mfsim:av"));
  ASSERT_EQ(r.StreamCount(), 2);
  EXPECT_EQ(r.GetStreamType(1), "Audio");
  EXPECT_EQ(r.IndexOfFirstStream("audio"), 1);
  EXPECT_EQ(r.GetMediaTypesCount("Audio"), 2);
  EXPECT_EQ(r.GetMediaType("Audio", 1)->GetString("SubType", false), "Float");
  EXPECT_EQ(r.GetMediaType("Audio", 1)->GetInteger("AudioBitsPerSample", false), 32);
  EXPECT_EQ(r.GetCurrentMediaType("Audio")->GetString("SubType", false), "PCM");
  // Named by a type the source lacks: the empty answers.
  EXPECT_EQ(r.IndexOfFirstStream("Script"), -1);
  EXPECT_EQ(r.GetMediaTypesCount("Script"), 0);
  EXPECT_EQ(r.GetMediaType("Script", 0), nullptr);
  EXPECT_EQ(r.GetCurrentMediaType("Script"), nullptr);
  EXPECT_FALSE(r.SelectMediaType("Script", 0));
  EXPECT_FALSE(r.SetMediaTypeCustom("Script", "{\"SubType\":\"PCM\"}"));

  size_t from = VXMFSim::Log().size();
  // "Audio" in the description of the video stream: still a video type.
  EXPECT_TRUE(r.SetMediaTypeCustom(0, "{\"MajorType\":\"Audio\",\"SubType\":\"YUY2\"}"));
  EXPECT_EQ(r.GetCurrentMediaType(0)->GetString("MajorType", false), "Video");
  EXPECT_EQ(r.GetCurrentMediaType(0)->GetString("SubType", false), "YUY2");
  // And the other way round on the audio stream.
  EXPECT_TRUE(r.SetMediaTypeCustom("Audio", "{\"MajorType\":\"Video\",\"SubType\":\"Float\"}"));
  EXPECT_EQ(r.GetCurrentMediaType(1)->GetString("MajorType", false), "Audio");
  EXPECT_EQ(r.GetCurrentMediaType(1)->GetString("SubType", false), "Float");
  EXPECT_EQ(LogSince(from), (std::vector<std::string>{Line(0, "Video", "YUY2", true), Line(1, "Audio", "Float", true)}));
  // The shortcuts go to the first stream of their kind.
  from = VXMFSim::Log().size();
  EXPECT_TRUE(r.SetMediaTypeAudio("PCM"));
  EXPECT_FALSE(r.SetMediaTypeVideo("RGB32", 0, 0, 0, ""));
  EXPECT_FALSE(r.SetMediaTypeVideo("YUY2", 32, 48, 0, ""));  // not the stream's size
  EXPECT_TRUE(r.SelectMediaType("Audio", 1));
  EXPECT_EQ(LogSince(from),
            (std::vector<std::string>{Line(1, "Audio", "PCM", true), Line(0, "Video", "RGB32", false),
                                      Line(0, "Video", "YUY2", false), Line(1, "Audio", "Float", true)}));
  EXPECT_EQ(r.GetCurrentMediaType(1)->GetString("SubType", false), "Float");
  EXPECT_EQ(r.GetCurrentMediaType(0)->GetString("SubType", false), "YUY2");
}

// Synchronous reading gives the script's samples of the selected streams
// in order; an error answers an empty sample and reading goes on; the end
// comes without a sample object.
TEST_F(MediaFoundationSimReader, SynchronousReadingFollowsTheScript) {
  VXMFSim::AddSource("av", {{{"Video", {"YUY2"}, {}, 8, 4}, {"Audio", {"PCM"}, {}, 0, 0}},
                            {{0, 0, 0}, {1, 0, 0}, {0, 400000, 0}, {1, 200000, 0}, {0, 800000, kError},
                             {0, 1200000, 0}, {1, 0, kEnd}, {0, 1600000, 0}},
                            2000000});
  struct TWant {
    uint32_t Stream, Flags;
    int64_t Time;
    int Place;  // -1: no sample object
  };
  const std::vector<TWant> all = {{0, 0, 0, 0},
                                  {1, 0, 0, 1},
                                  {0, 0, 400000, 2},
                                  {1, 0, 200000, 3},
                                  {0xFFFFFFFE, 0, 0, -1},  // the error
                                  {0, 0, 1200000, 5},
                                  {1, kEnd, 0, -1},
                                  {0, 0, 1600000, 7},
                                  {0, kEnd, 0, -1},
                                  {0, kEnd, 0, -1}};
  const std::vector<TWant> videoOnly = {{0, 0, 0, 0},           {0, 0, 400000, 2}, {0xFFFFFFFE, 0, 0, -1},
                                        {0, 0, 1200000, 5},     {0, 0, 1600000, 7}, {0, kEnd, 0, -1}};
  for (bool audio : {true, false}) {
    TVXMediaFoundationSourceReader r;
    ASSERT_TRUE(r.SetURLInput("mfsim:av"));
    EXPECT_EQ(r.Duration(), 2000000);
    if (!audio) r.SetSelectedStreams("Audio", false);
    const std::vector<TWant>& want = audio ? all : videoOnly;
    for (size_t i = 0; i < want.size(); ++i) {
      std::unique_ptr<TVXMFReceivedSample> s = r.GetNextSample();
      EXPECT_EQ(s->StreamIndex, want[i].Stream) << audio << i;
      EXPECT_EQ(s->StreamFlags, want[i].Flags) << audio << i;
      EXPECT_EQ(s->TimeStamp, want[i].Time) << audio << i;
      EXPECT_EQ(Place(*s), want[i].Place) << audio << i;
      if (want[i].Place >= 0) {
        EXPECT_EQ(s->StreamType, want[i].Stream == 0 ? "Video" : "Audio") << audio << i;
      }
    }
  }
  // A frame of a raw type is whole and decodes.
  TVXMediaFoundationSourceReader r;
  ASSERT_TRUE(r.SetURLInput("mfsim:av"));
  std::unique_ptr<TVXMFReceivedSample> s = r.GetNextSample();
  EXPECT_EQ(SampleBytes(*s).size(), 8u * 4 * 2);
  TVXBitmap bmp;
  EXPECT_TRUE(s->DecodeSample(&bmp));
  EXPECT_EQ(bmp.Width(), 8);
}

// Queued capture on the virtual clock: video samples of a source opened by
// URL are released at the pace of their time stamps, forward jumps
// included; a jump back does not wait; audio samples and a device's
// samples are not delayed.
TEST_F(MediaFoundationSimReader, PacingFollowsTimeStampJumps) {
  const VXMFSim::TSource source{{{"Video", {"YUY2"}, {}, 8, 4}, {"Audio", {"PCM"}, {}, 0, 0}},
                                {{0, 0, 0},
                                 {1, 200000, 0},
                                 {0, 400000, 0},
                                 {1, 600000, 0},
                                 {0, 800000, 0},
                                 {0, 50000000, 0},
                                 {0, 50400000, 0},
                                 {0, 10000000, 0},
                                 {0, 10400000, 0},
                                 {0, 0, kEnd}},
                                0};
  VXMFSim::AddVideoInput("Camera", source);
  // The platform clock at each queued sample, from the first one.
  const std::vector<int64_t> paced = {0, 0, 400000, 400000, 800000, 50000000, 50400000, 50400000, 50400000};
  const std::vector<int64_t> unpaced(paced.size(), 0);
  VXClockSetVirtual(true);
  for (bool device : {false, true}) {
    TVXMediaFoundationSourceReader r;
    auto* rec = new TRecorder;
    r.PushNotifyReceiver(rec);
    rec->Release();
    ASSERT_TRUE(device ? r.SetVideoInput("Camera") : r.SetURLInput("mfsim:Camera"));
    ASSERT_TRUE(r.StartCapture());
    ASSERT_TRUE(rec->WaitEnd()) << device;
    std::vector<int64_t> at, times;
    for (const auto& e : rec->Take()) {
      if (e.Type == vxmfnFRAME) {
        at.push_back(e.Clock);
        times.push_back(e.TimeStamp);
      }
    }
    ASSERT_EQ(at.size(), paced.size()) << device;
    const int64_t first = at.front();
    for (int64_t& t : at) t -= first;
    EXPECT_EQ(at, device ? unpaced : paced) << device;
    EXPECT_EQ(times[5], 50000000);
    r.StopCapture();
  }
}

// A sample with the error flag ends the request chain without notice;
// a resume goes on with the next sample and starts its capture again.
TEST_F(MediaFoundationSimReader, AnErrorEndsTheRequestChainUntilResumed) {
  VXMFSim::AddSource("clip", {{{"Video", {"YUY2"}, {}, 8, 4}},
                              {{0, 0, 0}, {0, 400000, 0}, {0, 800000, kError}, {0, 1200000, 0}, {0, 0, kEnd}},
                              0});
  VXClockSetVirtual(true);
  TVXMediaFoundationSourceReader r;
  auto* rec = new TRecorder;
  r.PushNotifyReceiver(rec);
  rec->Release();
  ASSERT_TRUE(r.SetURLInput("mfsim:clip"));
  ASSERT_TRUE(r.StartCapture());
  for (int i = 0; i < 2000 && rec->Count(vxmfnFRAME) < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(rec->Count(vxmfnFRAME), 2u);
  EXPECT_EQ(rec->Count(vxmfnENDOFSTREAM), 0u);
  EXPECT_TRUE(r.Capturing());
  const auto t = std::chrono::steady_clock::now();
  EXPECT_TRUE(r.PauseCapture());
  EXPECT_LT(MsSince(t), 500) << "no request is outstanding";
  r.ResumeCapture();
  ASSERT_TRUE(rec->WaitEnd());
  std::vector<TVXMediaFountationNotifyType> types;
  std::vector<int64_t> times;
  for (const auto& e : rec->Take()) {
    types.push_back(e.Type);
    if (e.Type == vxmfnFRAME) times.push_back(e.TimeStamp);
  }
  EXPECT_EQ(types, (std::vector<TVXMediaFountationNotifyType>{vxmfnSTARTINGCAPTURE, vxmfnFRAME, vxmfnFRAME,
                                                               vxmfnSTARTINGCAPTURE, vxmfnFRAME, vxmfnENDOFSTREAM}));
  EXPECT_EQ(times, (std::vector<int64_t>{0, 400000, 1200000}));
}

// A time stamp an hour ahead: the worker's pacing sleep ends with capture,
// so stopping and releasing the reader do not wait for it.
TEST_F(MediaFoundationSimReader, AFarAheadTimeStampIsCutShortByStopCapture) {
  VXMFSim::AddSource("clip", {{{"Video", {"YUY2"}, {}, 8, 4}},
                              {{0, 0, 0}, {0, 400000, 0}, {0, 36000000000LL, 0}, {0, 0, kEnd}},
                              0});
  const auto start = std::chrono::steady_clock::now();
  {
    TVXMediaFoundationSourceReader r;
    auto* rec = new TRecorder;
    r.PushNotifyReceiver(rec);
    rec->Release();
    ASSERT_TRUE(r.SetURLInput("mfsim:clip"));
    ASSERT_TRUE(r.StartCapture());
    for (int i = 0; i < 2000 && rec->Count(vxmfnFRAME) < 2; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(rec->Count(vxmfnFRAME), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the worker is asleep now
    const auto t = std::chrono::steady_clock::now();
    r.StopCapture();
    EXPECT_LT(MsSince(t), 500);
    EXPECT_FALSE(r.Capturing());
    EXPECT_EQ(rec->Count(vxmfnFRAME), 2u);
  }
  EXPECT_LT(MsSince(start), 5000) << "the reader's worker was joined";
}

// A file with sound: its audio stream is stream 1, decoded to interleaved
// samples that are ffmpeg's own, between the video samples in file order;
// deselected, only the video comes.
TEST_F(MediaFoundationReader, AudioStreamOfAFile) {
  struct TCase {
    std::string Name, Codecs, SubType, Raw;
    int Bits;
  };
  const TCase cases[] = {
      {"pcm.avi", "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le", "PCM", "s16le", 16},
      {"aac.mp4", "-c:v libx264 -pix_fmt yuv420p -c:a aac", "Float", "f32le", 32},
  };
  for (const TCase& c : cases) {
    const std::string file = fDir.File(c.Name);
    RuntimeShell("/usr/bin/ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=25 -f lavfi -i "
                 "sine=frequency=440:sample_rate=8000 -t 1 -ac 2 " + c.Codecs + " '" + file + "'");
    const std::string pcm = fDir.File(c.Name + ".raw");
    RuntimeShell("/usr/bin/ffmpeg -v error -y -i '" + file + "' -map 0:a -c:a pcm_" + c.Raw + " -f " + c.Raw +
                 " '" + pcm + "'");
    const std::string want = RuntimeReadFile(pcm);
    ASSERT_GT(want.size(), 8000u) << c.Name;
    const std::vector<int64_t> videoTimes = ProbeTimes(file);
    for (bool withAudio : {true, false}) {
      TVXMediaFoundationSourceReader r;
      ASSERT_TRUE(r.SetFileInput(file)) << c.Name;
      ASSERT_EQ(r.StreamCount(), 2) << c.Name;
      EXPECT_EQ(r.IndexOfFirstStream("Audio"), 1);
      TVXDictionary* t = r.GetMediaType("Audio", 0);
      EXPECT_EQ(t->GetString("SubType", false), c.SubType) << c.Name;
      EXPECT_EQ(t->GetInteger("AudioNumChannels", false), 2);
      EXPECT_EQ(t->GetInteger("AudioSamplesPerSecond", false), 8000);
      EXPECT_EQ(t->GetInteger("AudioBitsPerSample", false), c.Bits);
      EXPECT_EQ(t->GetInteger("AudioBlockAlignment", false), 2 * c.Bits / 8);
      // The audio keeps its own type.
      EXPECT_FALSE(r.SetMediaTypeAudio(c.SubType == "PCM" ? "Float" : "PCM"));
      EXPECT_TRUE(r.SetMediaTypeAudio(c.SubType));
      ASSERT_TRUE(r.SetMediaTypeVideo("RGB24", 0, 0, 0, ""));
      if (!withAudio) r.SetSelectedStreams("Audio", false);
      std::string sound;
      std::vector<int64_t> times, audioTimes;
      bool ended = false;
      for (int i = 0; i < 1000 && !ended; ++i) {
        std::unique_ptr<TVXMFReceivedSample> s = r.GetNextSample();
        ended = (s->StreamFlags & MF_SOURCE_READERF_ENDOFSTREAM) != 0;
        if (!s->Sample) continue;
        if (s->StreamIndex == 1) {
          EXPECT_EQ(s->StreamType, "Audio");
          sound += SampleBytes(*s);
          audioTimes.push_back(s->TimeStamp);
        } else {
          times.push_back(s->TimeStamp);
        }
      }
      EXPECT_TRUE(ended) << c.Name;
      EXPECT_EQ(times, videoTimes) << c.Name << withAudio;
      EXPECT_EQ(sound.size(), withAudio ? want.size() : 0u) << c.Name;
      EXPECT_TRUE(sound == (withAudio ? want : std::string())) << c.Name;
      EXPECT_TRUE(std::is_sorted(audioTimes.begin(), audioTimes.end())) << c.Name;
    }
  }
}
