// The bitmap's reading and writing through the I/O component's hooks, and
// loading from a module's resources.
#include "core/bitmap_io.h"

#include "core/bitmap.h"
#include "core/streams.h"
#include "core/vxdefs.h"

constinit TVXBitmapIOHooks VXBitmapIOHooks;

namespace {

template <class F>
F Need(F Hook, const char* Operation) {
  if (Hook == nullptr) throw EVXException(std::string("TVXBitmap.") + Operation + ": the I/O library is not linked");
  return Hook;
}

}  // namespace

TVXBitmap::TVXBitmap(const std::string& FileName, TIOParamsVals* IOParams) : TVXBitmap() { Read(FileName, IOParams); }

TVXBitmap::TVXBitmap(const void* Buffer, int32_t BufferSize, int32_t Format) : TVXBitmap() {
  Read(Buffer, BufferSize, Format, nullptr);
}

bool TVXBitmap::Read(const std::string& FileName, TIOParamsVals* IOParams) {
  return Need(VXBitmapIOHooks.ReadFile, "Read")(this, FileName, IOParams);
}

bool TVXBitmap::Read(TStream* Stream, int32_t FileType, TIOParamsVals* IOParams) {
  return Need(VXBitmapIOHooks.ReadStream, "Read")(this, Stream, FileType, IOParams);
}

bool TVXBitmap::Read(const void* Buffer, int32_t BufferSize, int32_t FileType, TIOParamsVals* IOParams) {
  return Need(VXBitmapIOHooks.ReadBuffer, "Read")(this, Buffer, BufferSize, FileType, IOParams);
}

bool TVXBitmap::Write(const std::string& FileName, TIOParamsVals* IOParams) {
  return Need(VXBitmapIOHooks.WriteFile, "Write")(this, FileName, IOParams);
}

bool TVXBitmap::Write(TStream* Stream, int32_t FileType, TIOParamsVals* IOParams) {
  return Need(VXBitmapIOHooks.WriteStream, "Write")(this, Stream, FileType, IOParams);
}

void TVXBitmap::LoadFromResource(HMODULE Instance, const std::string& ResName, const TResName& ResType,
                                 int32_t Format) {
  const HRSRC res = FindResourceW(Instance, ResName, ResType);
  const void* data = res ? LockResource(LoadResource(Instance, res)) : nullptr;
  if (data == nullptr) throw EVXException("Resource " + ResName + " not found");
  TVXMemStream stream(data, int64_t(SizeofResource(Instance, res)));
  Read(&stream, Format, nullptr);
}

void TVXBitmap::LoadFromResource(HMODULE Instance, int32_t ResID, const TResName& ResType, int32_t Format) {
  LoadFromResource(Instance, "#" + std::to_string(ResID), ResType, Format);
}
