// The processing dialog's parameter stream, and data hidden in the pixels of
// the same bytes taken as a small vx24RGB image.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"
#include "core/vxdefs.h"
#include "proc/dialogparams.h"
#include "proc/proc.h"

namespace {

std::string Saved(TIPDialogParams& p) {
  TMemoryStream m;
  p.SaveToStream(&m);
  return std::string(static_cast<const char*>(m.Memory()), size_t(m.Size()));
}

void Parameters(const uint8_t* data, size_t size) {
  TIPDialogParams params;
  TVXMemStream stream(data, int64_t(size));
  try {
    params.LoadFromStream(&stream);
  } catch (const EReadError&) {
    // A stream cut short: what came before the cut stays loaded.
  }
  if (stream.Position() > int64_t(size)) __builtin_trap();
  // Whatever was loaded is saved and loaded back unchanged.
  const std::string first = Saved(params);
  TIPDialogParams again;
  TVXMemStream copy(first.data(), int64_t(first.size()));
  again.LoadFromStream(&copy);
  if (Saved(again) != first) __builtin_trap();
  for (const char* key : {"EQUALIZATION_EQUP", "USERFILTER_VALUES22", "FFT_GRAYSCALE"})
    again.SetProperty(key, params.GetProperty(key));
  if (Saved(again) != first) __builtin_trap();
}

void HiddenData(const uint8_t* data, size_t size) {
  if (size < 2) return;
  // Width from the first byte, as many rows as the rest fills (at most 64).
  const int32_t width = 1 + data[0] % 32;
  const size_t rowBytes = size_t(width) * 3;
  const size_t rest = size - 1;
  const int32_t height = int32_t(std::min<size_t>(64, (rest + rowBytes - 1) / rowBytes));
  TVXBitmap image(width, height, vx24RGB);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = static_cast<uint8_t*>(image.Scanline(y));
    for (size_t x = 0; x < rowBytes; ++x) {
      const size_t i = 1 + size_t(y) * rowBytes + x;
      row[x] = i < size ? data[i] : 0;
    }
  }
  auto proc = TVexlaneProc::CreateFromBitmap(&image);
  const int32_t space = proc->GetHiddenDataSpace();
  const int32_t count = proc->ReadHiddenData(nullptr, 0);
  if (count < 0 || count > std::max(space, 0)) __builtin_trap();
  std::vector<uint8_t> buffer(size_t(count) + 1, 0xA5);
  if (proc->ReadHiddenData(buffer.data(), count) != count || buffer[size_t(count)] != 0xA5) __builtin_trap();
  if (proc->ReadHiddenText().size() != size_t(count)) __builtin_trap();
  // What fits is hidden and read back.
  const int32_t stored = proc->WriteHiddenData(data, int32_t(std::min<size_t>(size, INT32_MAX)));
  std::vector<uint8_t> back(size_t(std::max(stored, 0)));
  if (proc->ReadHiddenData(back.data(), stored) != stored) __builtin_trap();
  if (!back.empty() && std::memcmp(back.data(), data, back.size()) != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Parameters(data, size);
  HiddenData(data, size);
  return 0;
}
