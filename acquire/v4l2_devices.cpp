// The machine's video4linux2 cameras in the capture-device registry.
#include "acquire/v4l2_devices.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "acquire/dshow_filters.h"
#include "winui/ffmpeg.h"

namespace {

std::mutex gLock;
std::string gFolder = "/dev";
TVXV4L2Query gQuery;

// Bounds on what a driver may list, against one that never ends a list.
constexpr uint32_t kMaxFormats = 64, kMaxSizes = 256, kMaxIntervals = 64;

int Ioctl(int Fd, unsigned long Request, void* Arg) {
  int r;
  do r = ::ioctl(Fd, Request, Arg);
  while (r < 0 && errno == EINTR);
  return r;
}

double FastestRate(int Fd, uint32_t Format, int Width, int Height) {
  double best = 0;
  for (uint32_t i = 0; i < kMaxIntervals; ++i) {
    v4l2_frmivalenum iv{};
    iv.index = i;
    iv.pixel_format = Format;
    iv.width = uint32_t(Width);
    iv.height = uint32_t(Height);
    if (Ioctl(Fd, VIDIOC_ENUM_FRAMEINTERVALS, &iv) < 0) break;
    const v4l2_fract f = iv.type == V4L2_FRMIVAL_TYPE_DISCRETE ? iv.discrete : iv.stepwise.min;
    if (f.numerator > 0 && f.denominator > 0) best = std::max(best, double(f.denominator) / f.numerator);
    if (iv.type != V4L2_FRMIVAL_TYPE_DISCRETE) break;
  }
  return best;
}

bool QueryNode(const std::string& Path, TVXV4L2Device& Device) {
  const int fd = ::open(Path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  v4l2_capability cap{};
  bool ok = Ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
  if (ok) {
    const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    ok = (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
  }
  if (ok) {
    const char* card = reinterpret_cast<const char*>(cap.card);
    Device.Card.assign(card, strnlen(card, sizeof cap.card));
    for (uint32_t f = 0; f < kMaxFormats; ++f) {
      v4l2_fmtdesc desc{};
      desc.index = f;
      desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      if (Ioctl(fd, VIDIOC_ENUM_FMT, &desc) < 0) break;
      for (uint32_t s = 0; s < kMaxSizes; ++s) {
        v4l2_frmsizeenum size{};
        size.index = s;
        size.pixel_format = desc.pixelformat;
        if (Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0) break;
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
          const int w = int(size.discrete.width), h = int(size.discrete.height);
          Device.Sizes.push_back({desc.pixelformat, w, h, FastestRate(fd, desc.pixelformat, w, h)});
          continue;
        }
        // A range: its smallest and largest sizes.
        for (const auto& [w, h] : {std::pair{int(size.stepwise.min_width), int(size.stepwise.min_height)},
                                   std::pair{int(size.stepwise.max_width), int(size.stepwise.max_height)}})
          Device.Sizes.push_back({desc.pixelformat, w, h, FastestRate(fd, desc.pixelformat, w, h)});
        break;
      }
    }
  }
  ::close(fd);
  return ok;
}

// "video12" -> 12; -1 for other names.
int NodeNumber(const std::string& Name) {
  if (Name.size() <= 5 || Name.compare(0, 5, "video") != 0) return -1;
  int n = 0;
  for (size_t i = 5; i < Name.size(); ++i) {
    if (Name[i] < '0' || Name[i] > '9' || n > 100000) return -1;
    n = n * 10 + (Name[i] - '0');
  }
  return n;
}

}  // namespace

void VXSetVideoDeviceFolder(const std::string& Folder) {
  std::lock_guard<std::mutex> guard(gLock);
  gFolder = Folder;
}

std::string VXVideoDeviceFolder() {
  std::lock_guard<std::mutex> guard(gLock);
  return gFolder;
}

void VXSetV4L2Query(TVXV4L2Query Query) {
  std::lock_guard<std::mutex> guard(gLock);
  gQuery = std::move(Query);
}

std::vector<TVXV4L2Device> VXListV4L2Devices() {
  std::string folder;
  TVXV4L2Query query;
  {
    std::lock_guard<std::mutex> guard(gLock);
    folder = gFolder;
    query = gQuery;
  }
  std::vector<TVXV4L2Device> out;
  if (folder.empty()) return out;
  std::vector<std::pair<int, std::string>> nodes;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const int n = NodeNumber(it->path().filename().string());
    if (n >= 0) nodes.emplace_back(n, it->path().string());
  }
  std::sort(nodes.begin(), nodes.end());
  for (const auto& node : nodes) {
    TVXV4L2Device d;
    d.Path = node.second;
    if (query ? query(d.Path, d) : QueryNode(d.Path, d)) {
      d.Path = node.second;
      out.push_back(std::move(d));
    }
  }
  return out;
}

std::string VXV4L2FormatName(uint32_t FourCC) {
  switch (FourCC) {
    case V4L2_PIX_FMT_YUYV: return "yuyv422";
    case V4L2_PIX_FMT_UYVY: return "uyvy422";
    case V4L2_PIX_FMT_YVYU: return "yvyu422";
    case V4L2_PIX_FMT_YUV420: return "yuv420p";
    case V4L2_PIX_FMT_YVU420: return "yuv420p";
    case V4L2_PIX_FMT_NV12: return "nv12";
    case V4L2_PIX_FMT_GREY: return "gray";
    case V4L2_PIX_FMT_RGB24: return "rgb24";
    case V4L2_PIX_FMT_BGR24: return "bgr24";
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG: return "mjpeg";
    case V4L2_PIX_FMT_H264: return "h264";
    default: return "";
  }
}

std::vector<TVXCaptureDevice> VXMachineVideoInputs() {
  std::vector<TVXCaptureDevice> out;
  const std::vector<TVXV4L2Device> devices = VXListV4L2Devices();
  if (devices.empty() || !VXFFmpegAvailable()) return out;
  for (const TVXV4L2Device& d : devices) {
    TVXCaptureDevice c;
    c.Category = vxccVideoInput;
    c.FriendlyName = d.Card;
    c.Create = [d]() { return VXDSNewV4L2VideoInput(d); };
    c.MediaUrl = "video4linux2:" + d.Path;
    out.push_back(std::move(c));
  }
  return out;
}
