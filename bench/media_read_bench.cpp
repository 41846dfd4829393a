// Reads every frame of a 300-frame MJPEG clip and an H.264 clip through
// TVXDirectShow (Position, then GetSample) and times the ffmpeg program
// decoding the same clips to raw BGR24 in the same run. The last line reads
// "media-read: <ratio>x ffmpeg".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "acquire/vxds.h"
#include "core/bitmap.h"
#include "core/startup.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point Start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

}  // namespace

int main() {
  TVXLibraryGuard library;
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp");
  const struct {
    const char* Name;
    const char* Codec;
  } clips[] = {{"vx-media-read.avi", "-c:v mjpeg"}, {"vx-media-read.mp4", "-c:v libx264 -pix_fmt yuv420p"}};
  double ours = 0, theirs = 0;
  for (const auto& c : clips) {
    const std::string path = dir + "/" + c.Name;
    const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc2=size=640x480:rate=25 -frames:v 300 " +
                             std::string(c.Codec) + " '" + path + "'";
    if (std::system(make.c_str()) != 0) {
      std::fprintf(stderr, "media-read: ffmpeg could not make %s\n", c.Name);
      return 1;
    }
    auto start = std::chrono::steady_clock::now();
    TVXDirectShow ds;
    ds.SetFileInput(path);
    ds.SetEnableSampleGrabber(true);
    ds.Connect();
    ds.Pause();
    ds.SetTimeFormat(tfFrame);
    const int64_t frames = ds.Duration();
    TVXBitmap b;
    for (int64_t i = 0; i < frames; ++i) {
      ds.SetPosition(i);
      ds.GetSample(&b, true);
    }
    ds.Disconnect();
    const double t = Seconds(start);
    start = std::chrono::steady_clock::now();
    const std::string decode = "ffmpeg -v error -threads 1 -i '" + path + "' -f rawvideo -pix_fmt bgr24 -y /dev/null";
    if (std::system(decode.c_str()) != 0) return 1;
    const double f = Seconds(start);
    std::printf("%s: %lld frames, %.3f s here, %.3f s ffmpeg\n", c.Name, static_cast<long long>(frames), t, f);
    ours += t;
    theirs += f;
  }
  std::printf("media-read: %.2fx ffmpeg\n", ours / theirs);
  return 0;
}
