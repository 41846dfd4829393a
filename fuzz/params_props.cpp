// Parameters by property name: the input is a name, a zero byte and a value.
// Whatever they hold, writing and reading stay inside the parameters (a
// colour map of three entries, the owning component's flag).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "io/params.h"
#include "io/vexlaneio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\0');
  const std::string name = input.substr(0, cut);
  const std::string value = cut == std::string::npos ? std::string() : input.substr(cut + 1);

  TIOParamsVals alone;
  alone.fColorMap.assign(3, TRGB{1, 2, 3});
  alone.fColorMapCount = 3;
  alone.SetProperty(name, value);
  (void)alone.GetProperty(name);
  (void)alone.GetProperty(value);
  if (alone.fColorMap.size() != 3) std::abort();

  TVexlaneIO io;
  io.Params().SetProperty(name, value);
  (void)io.Params().GetProperty(name);
  (void)io.Params().FileTypeStr();
  return 0;
}
