// The Media Foundation source reader over FFmpeg: files read synchronously
// against ffprobe's frames, raw and decoded frames against ffmpeg's bytes,
// media types, and capture on the platform's worker with its queue, its
// window notifications, pacing on the virtual clock, pause, seek and release.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "../proc/numpy_oracle.h"
#include "acquire/mf_platform.h"
#include "acquire/vxmmf.h"
#include "core/bitmap.h"
#include "core/dictionary.h"
#include "core/startup.h"
#include "platform/win_clock.h"
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
