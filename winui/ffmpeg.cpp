// FFmpeg bound at run time.
#include "winui/ffmpeg.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "winui/ffmpeg_api.h"

namespace {

std::mutex gLock;
bool gTried = false;
bool gAvailable = false;
TVXFFmpegApi gApi;
std::map<std::string, std::string> gSonames = {{"avformat", "libavformat.so.59"},
                                               {"avcodec", "libavcodec.so.59"},
                                               {"swscale", "libswscale.so.6"},
                                               {"avutil", "libavutil.so.57"},
                                               {"avdevice", "libavdevice.so.59"}};

// Opens the libraries (they stay loaded) and fills the table.
bool Bind() {
  std::map<std::string, void*> handles;
  for (const auto& [lib, soname] : gSonames) {
    void* h = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return false;
    handles[lib] = h;
  }
  TVXFFmpegApi api;
#define VX_FFMPEG_BIND(lib, name)                                               \
  api.name = reinterpret_cast<decltype(api.name)>(dlsym(handles[#lib], #name)); \
  if (!api.name) return false;
  VX_FFMPEG_FUNCTIONS(VX_FFMPEG_BIND)
#undef VX_FFMPEG_BIND
  gApi = api;
  gApi.av_log_set_level(AV_LOG_QUIET);
  gApi.avdevice_register_all();
  return true;
}

}  // namespace

const TVXFFmpegApi* VXFFmpeg() {
  std::lock_guard<std::mutex> guard(gLock);
  if (!gTried) {
    gTried = true;
    gAvailable = Bind();
  }
  return gAvailable ? &gApi : nullptr;
}

bool VXFFmpegAvailable() { return VXFFmpeg() != nullptr; }

bool VXFFmpegSetSoname(const std::string& Library, const std::string& Name) {
  std::lock_guard<std::mutex> guard(gLock);
  auto it = gSonames.find(Library);
  if (gTried || it == gSonames.end()) return false;
  it->second = Name;
  return true;
}
