// Media clips from memory through the media back end (FFmpeg): open, read
// every frame, seek back and read again, also in the decoder's own pixel
// format and a converted one.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "acquire/media_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<TVXMediaSource> source = VXOpenMediaMemory(data, size);
  if (!source) return 0;
  (void)source->Streams();
  std::vector<uint8_t> bits;
  int64_t index = 0;
  for (int i = 0; i < 64 && source->ReadFrame(bits, index); ++i) {
  }
  if (source->Seek(1)) source->ReadFrame(bits, index);
  // The decoder's own frames and a converted layout.
  for (const char* format : {"native", "yuyv422"})
    if (source->SetPixelFormat(format) && source->Seek(0)) source->ReadFrame(bits, index);
  return 0;
}
