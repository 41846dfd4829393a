// The bitmap's Read and Write (core/bitmap_io.h): an I/O component on the
// bitmap does the work.
#include "core/bitmap.h"
#include "core/bitmap_io.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

// The component's parameters from IOParams, the load, IOParams from the
// parameters; not aborted.
template <class Load>
bool ReadWith(TVXBitmap* Bitmap, TIOParamsVals* IOParams, Load&& DoLoad) {
  std::unique_ptr<TVexlaneIO> io = TVexlaneIO::CreateFromBitmap(Bitmap);
  if (IOParams != nullptr) io->AssignParams(IOParams);
  DoLoad(*io);
  if (IOParams != nullptr) IOParams->Assign(io->Params());
  return !io->Aborting();
}

bool ReadFile(TVXBitmap* Bitmap, const std::string& FileName, TIOParamsVals* IOParams) {
  return ReadWith(Bitmap, IOParams, [&](TVexlaneIO& io) { io.LoadFromFile(FileName, int32_t(-1)); });
}

bool ReadStream(TVXBitmap* Bitmap, TStream* Stream, int32_t FileType, TIOParamsVals* IOParams) {
  return ReadWith(Bitmap, IOParams, [&](TVexlaneIO& io) { io.LoadFromStreamFormat(Stream, FileType); });
}

bool ReadBuffer(TVXBitmap* Bitmap, const void* Buffer, int32_t BufferSize, int32_t FileType,
                TIOParamsVals* IOParams) {
  return ReadWith(Bitmap, IOParams, [&](TVexlaneIO& io) { io.LoadFromBuffer(Buffer, BufferSize, FileType); });
}

bool WriteFile(TVXBitmap* Bitmap, const std::string& FileName, TIOParamsVals* IOParams) {
  std::unique_ptr<TVexlaneIO> io = TVexlaneIO::CreateFromBitmap(Bitmap);
  if (IOParams != nullptr) {
    io->AssignParams(IOParams);
  } else {
    TIOParamsVals& p = io->Params();
    switch (Bitmap->PixelFormat()) {
      case vx1g: p.SetBitsPerSample(1), p.SetSamplesPerPixel(1); break;
      case vx8p: p.SetBitsPerSample(8), p.SetSamplesPerPixel(1); break;
      case vx8g:
        p.SetBitsPerSample(8), p.SetSamplesPerPixel(1);
        p.SetJPEG_ColorSpace(ioJPEG_GRAYLEV);
        break;
      case vx16g: p.SetBitsPerSample(16), p.SetSamplesPerPixel(1); break;
      case vx24RGB: p.SetBitsPerSample(8), p.SetSamplesPerPixel(3); break;
      default: break;
    }
  }
  io->SaveToFile(FileName, -1);
  return !io->Aborting();
}

bool WriteStream(TVXBitmap* Bitmap, TStream* Stream, int32_t FileType, TIOParamsVals* IOParams) {
  std::unique_ptr<TVexlaneIO> io = TVexlaneIO::CreateFromBitmap(Bitmap);
  if (IOParams != nullptr) io->AssignParams(IOParams);
  io->SaveToStream(Stream, FileType);
  return !io->Aborting();
}

}  // namespace

void VXRegisterBitmapIOHooks() {
  VXBitmapIOHooks.ReadFile = &ReadFile;
  VXBitmapIOHooks.ReadStream = &ReadStream;
  VXBitmapIOHooks.ReadBuffer = &ReadBuffer;
  VXBitmapIOHooks.WriteFile = &WriteFile;
  VXBitmapIOHooks.WriteStream = &WriteStream;
}
