// Keeps the library started for a whole test program, as a program's entry
// does (TVXLibraryGuard around its main routine): the modules' start-ups run
// once, so the codecs are registered with the I/O component.
// Use: VX_START_LIBRARY_FOR_TESTS(); once in one source file of a test program.
#pragma once

#include <gtest/gtest.h>

#include "core/startup.h"

namespace vxtest {

class TLibraryEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { VXUtilsModuleInitialize(); }
  void TearDown() override { VXUtilsModuleFinalize(); }
};

}  // namespace vxtest

#define VX_START_LIBRARY_FOR_TESTS()                               \
  [[maybe_unused]] static ::testing::Environment* const vxLibraryEnvironment = \
      ::testing::AddGlobalTestEnvironment(new ::vxtest::TLibraryEnvironment)
