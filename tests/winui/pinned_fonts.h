// Text tests measure with the tests' own fontconfig configuration
// (tests/data/fonts/pinned-fonts.conf: only fonts-dejavu-core's files, the
// platform's usual face names mapped to them). Including this header selects
// it before fontconfig starts, so that the metrics are the same everywhere.
#pragma once
#include <cstdlib>

namespace vxtest {
inline const bool kPinnedFonts = [] {
  setenv("FONTCONFIG_FILE", VX_TEST_DATA_DIR "/fonts/pinned-fonts.conf", 1);
  return true;
}();
}  // namespace vxtest
