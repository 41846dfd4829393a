// Media files through the source reader's byte-stream path: the bytes as a
// file's byte stream, every sample read in the native type, then again from
// the start with the frames converted to RGB32 (video processing on).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "acquire/mf_platform.h"
#include "fuzz_library.h"

namespace {

void ReadAll(VX_IMFSourceReader* Reader, int Most) {
  for (int i = 0; i < Most; ++i) {
    DWORD index = 0, flags = 0;
    LONGLONG time = 0;
    VX_IMFSample* sample = nullptr;
    const HRESULT hr = Reader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, &index, &flags, &time, &sample);
    if (sample) sample->Release();
    if (FAILED(hr) || (flags & (MF_SOURCE_READERF_ENDOFSTREAM | MF_SOURCE_READERF_ERROR))) return;
  }
}

VX_IMFSourceReader* Open(const std::string& Path, bool Processing) {
  VX_IMFByteStream* stream = nullptr;
  if (FAILED(VXMFPlatCreateFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_NONE, Path.c_str(),
                                &stream)))
    return nullptr;
  VX_IMFAttributes* attributes = nullptr;
  if (Processing && SUCCEEDED(VXMFPlatCreateAttributes(&attributes, 1)))
    attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, 1);
  VX_IMFSourceReader* reader = nullptr;
  VXMFReadCreateSourceReaderFromByteStream(stream, attributes, &reader);
  if (attributes) attributes->Release();
  stream->Release();
  return reader;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  const int fd = memfd_create("vx-mf-reader", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (size == 0 || write(fd, data, size) == ssize_t(size)) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (VX_IMFSourceReader* r = Open(path, false)) {
      ReadAll(r, 32);
      r->Release();
    }
    if (VX_IMFSourceReader* r = Open(path, true)) {
      VX_IMFMediaType* type = nullptr;
      if (SUCCEEDED(VXMFPlatCreateMediaType(&type))) {
        type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        type->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32);
        r->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, nullptr, type);
        type->Release();
      }
      ReadAll(r, 8);
      r->Release();
    }
  }
  close(fd);
  return 0;
}
