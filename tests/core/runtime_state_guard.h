#pragma once
// Fails a test that leaves process-wide state changed behind it: the library
// settings that tests change, the memory block limit, the current folder,
// TMPDIR and the number of open file descriptors. The tests of one executable run in one process, so such a leak
// would change the outcome of the tests that follow.
//
// Use: VX_GUARD_PROCESS_STATE(); once in one source file of a test program.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "core/bitmap.h"
#include "core/settings.h"
#include "tests/platform/process_state_guard.h"

namespace vxtest {

inline std::string ProcessStateText() {
  const TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  std::ostringstream o;
  o << "DefMinFileSize=" << s->DefMinFileSize() << " AutoLocateOnDisk=" << s->AutoLocateOnDisk()
    << " AutoFragmentBitmap=" << s->AutoFragmentBitmap() << " DefTempPath=" << s->DefTempPath()
    << " UseCMYKProfile=" << s->UseCMYKProfile() << " EnableCMS=" << s->EnableCMS()
    << " ColorReductionAlgorithm=" << s->ColorReductionAlgorithm()
    << " ColorReductionQuality=" << s->ColorReductionQuality() << " UseDefaultFileExists=" << s->UseDefaultFileExists()
    << " OpSys=" << int(s->OpSys()) << " MsgLanguage=" << int(s->MsgLanguage()) << " DefaultDPI=" << s->DefaultDPIX()
    << "x" << s->DefaultDPIY() << " GrayCoefs=" << s->RedToGrayCoef() << "," << s->GreenToGrayCoef() << ","
    << s->BlueToGrayCoef() << " ConvertColorFunction=" << reinterpret_cast<const void*>(s->ConvertColorFunction())
    << " MaxImagePixels=" << s->MaxImagePixels() << " MaxTextSize=" << s->MaxTextSize()
    << " MaxMetadataSize=" << s->MaxMetadataSize() << " MaxMemoryBlock=" << VXMaxMemoryBlock();
  o << BaseProcessStateText();
  return o.str();
}

}  // namespace vxtest

#define VX_GUARD_PROCESS_STATE() \
  [[maybe_unused]] static const bool vxProcessStateGuardRegistered = \
      ::vxtest::RegisterStateGuard<&::vxtest::ProcessStateText>()
