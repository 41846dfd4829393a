// Shared libraries bound by name at run time over the dynamic loader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "platform/win_library.h"

namespace {

using namespace VXSharedLibrary;

TEST(PlatformLibrary, LoadsAndBindsASharedObjectByNameAndRefusesWhatIsMissing) {
  HMODULE z = LoadLibraryW("libz.so.1");
  ASSERT_NE(z, nullptr);
  using TZlibVersion = const char* (*)();
  auto version = reinterpret_cast<TZlibVersion>(GetProcAddress(z, "zlibVersion"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(std::strncmp(version(), "1.", 2), 0);
  EXPECT_EQ(GetProcAddress(z, "NoSuchEntryPoint"), nullptr);
  EXPECT_EQ(GetProcAddress(z, nullptr), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "zlibVersion"), nullptr);
  EXPECT_TRUE(FreeLibrary(z));

  EXPECT_EQ(LoadLibraryW("libvx-no-such-library.so.1"), nullptr);
  EXPECT_EQ(LoadLibraryW(""), nullptr);
  EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(PlatformLibrary, TheOwnModuleIsTheProgramFileWhenLinkedIntoIt) {
  char exe[PATH_MAX];
  char real[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  ASSERT_GT(n, 0);
  exe[n] = '\0';
  ASSERT_NE(realpath(exe, real), nullptr);
  const std::string program = real;
  EXPECT_EQ(GetOwnModuleFileName(), program);
  EXPECT_EQ(GetOwnModuleFolder(), program.substr(0, program.rfind('/') + 1));
  EXPECT_FALSE(IsLibrary());
}

}  // namespace
