// Raw device strings: any text through the shape test, the decoding and the
// name search of a front end whose owner offers no interface. The decoding
// either raises "Invalid Raw Device String" or gives a source that is the
// empty one or names an interface; such a source written again decodes to
// itself when its name holds no "|"; the name search agrees with the
// decoding for texts of the raw shape and finds nothing for other texts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "acquire/acquire_params.h"
#include "core/vxdefs.h"
#include "fuzz/fuzz_library.h"

namespace {

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

bool Decode(const std::string& Text, TVXAcquireSource& Source) {
  try {
    Source = RawStringToAcquireSource(Text);
    return true;
  } catch (const EVXException& e) {
    Check(std::strcmp(e.what(), "Invalid Raw Device String") == 0);
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(false);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool raw = IsRawDeviceString(text);
  Check(!raw || text.size() >= 12);
  TVXAcquireSource s;
  if (Decode(text, s)) {
    if (s.Api == vxaNone) {
      Check(s == TVXAcquireSource());
    } else {
      Check(s.Api <= vxaDCIM && s.DeviceType <= vxadDevice);
      if (s.Name.find('|') == std::string::npos) {
        TVXAcquireSource again;
        Check(Decode(AcquireSourceToRawString(s), again) && again == s);
      }
    }
  }
  static TVXAcquireParams params(nullptr);
  TVXAcquireSource found;
  bool raised = false;
  try {
    found = params.FindSourceByName(text);
  } catch (const EVXException& e) {
    Check(std::strcmp(e.what(), "Invalid Raw Device String") == 0);
    raised = true;
  }
  if (raw) {
    TVXAcquireSource decoded;
    const bool ok = Decode(text, decoded);
    Check(ok != raised);
    if (ok) Check(found == decoded);
  } else {
    Check(!raised && found == TVXAcquireSource());
  }
  return 0;
}
