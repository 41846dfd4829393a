// Video samples as a media file or camera hands them over: a media type
// written as a dictionary (JSON), a default stride, and a buffer of any
// length, decoded through DecodeSample. Layout: two bytes of JSON length,
// the JSON, four bytes of stride (0: none), then the buffer. A decoded frame
// must have the type's size; a refused one leaves the bitmap alone.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "acquire/mf_platform.h"
#include "acquire/vxmmf.h"
#include "core/bitmap.h"
#include "core/dictionary.h"
#include "fuzz_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  if (size < 6 || !VXMFBind()) return 0;
  const size_t jsonLen = size_t(data[0]) | size_t(data[1]) << 8;
  if (2 + jsonLen + 4 > size) return 0;
  TVXDictionary dict(103);
  dict.Parse(std::string(reinterpret_cast<const char*>(data + 2), jsonLen));
  int32_t stride = 0;
  std::memcpy(&stride, data + 2 + jsonLen, 4);
  const uint8_t* buffer = data + 2 + jsonLen + 4;
  const size_t bufferLen = size - (2 + jsonLen + 4);

  VX_IMFMediaType* type = nullptr;
  try {
    type = VXMFDictionaryToMediaType(&dict);
  } catch (...) {
    return 0;  // a value of the wrong kind for its key
  }
  if (!type) return 0;
  if (stride != 0) type->SetUINT32(MF_MT_DEFAULT_STRIDE, UINT(stride));
  VX_IMFSample* sample = nullptr;
  VX_IMFMediaBuffer* mb = nullptr;
  VXMFPlatCreateSample(&sample);
  VXMFPlatCreateMemoryBuffer(DWORD(bufferLen), &mb);
  BYTE* p = nullptr;
  mb->Lock(&p, nullptr, nullptr);
  if (bufferLen) std::memcpy(p, buffer, bufferLen);
  mb->Unlock();
  mb->SetCurrentLength(DWORD(bufferLen));
  sample->AddBuffer(mb);
  mb->Release();
  {
    TVXMFReceivedSample received(sample, 0, 0, 0, type);
    TVXBitmap bmp(1, 1, vx24RGB);
    uint32_t w = 0, h = 0;
    VXMFGetFrameSize(type, w, h);
    if (received.DecodeSample(&bmp)) {
      if (uint32_t(bmp.Width()) != w || uint32_t(bmp.Height()) != h) std::abort();
    } else if (bmp.Width() != 1 || bmp.Height() != 1) {
      std::abort();
    }
  }
  sample->Release();
  type->Release();
  return 0;
}
