// The library's one binding of FFmpeg (libavformat, libavcodec, libswscale,
// libavutil, libavdevice), bound at run time: the libraries are opened by
// soname on first use and their functions looked up by name, so no program
// links FFmpeg. The function table is in winui/ffmpeg_api.h (which includes
// FFmpeg's headers; include it only where the calls are made).
#pragma once

#include <string>

struct TVXFFmpegApi;

// True when every library and every function of the table was found.
bool VXFFmpegAvailable();
// The table, or null when FFmpeg is not available.
const TVXFFmpegApi* VXFFmpeg();
// Points one library ("avformat", "avcodec", "swscale", "avutil",
// "avdevice") at another soname; only before the first use. False for an
// unknown library or once bound.
bool VXFFmpegSetSoname(const std::string& Library, const std::string& Name);
