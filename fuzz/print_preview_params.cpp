// The print-preview settings record read from arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/streams.h"
#include "io/printparams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TIOPrintPreviewParams params;
  TVXMemStream stream(data, int64_t(size));
  params.LoadFromStream(stream);
  if (stream.Position() > int64_t(size)) __builtin_trap();
  // Whatever was loaded saves as a full record and reads back the same.
  TMemoryStream saved;
  params.SaveToStream(saved);
  if (saved.Size() != TIOPrintPreviewParams::kStreamSize) __builtin_trap();
  saved.SetPosition(0);
  TIOPrintPreviewParams again;
  again.LoadFromStream(saved);
  TMemoryStream twice;
  again.SaveToStream(twice);
  if (std::string(static_cast<const char*>(saved.Memory()), 85) !=
      std::string(static_cast<const char*>(twice.Memory()), 85))
    __builtin_trap();
  for (const char* key : {"MARGINTOP", "POSITION", "THUMBNAILROWS", "DLGHEIGHT"})
    params.SetProperty(key, params.GetProperty(key));
  return 0;
}
