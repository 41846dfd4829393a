// Fails a test that leaves the process changed: working folder, TMPDIR and the
// number of open files, plus whatever a library's tests add to the text.
// Use: VX_GUARD_BASE_PROCESS_STATE(); once in one source file of a test program
// (or the richer guard of tests/core/runtime_state_guard.h).
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <sstream>
#include <string>

namespace vxtest {

inline std::string BaseProcessStateText() {
  std::ostringstream o;
  char cwd[4096];
  o << " cwd=" << (getcwd(cwd, sizeof cwd) ? cwd : "?");
  const char* t = getenv("TMPDIR");
  o << " TMPDIR=" << (t ? t : "<unset>");
  int fds = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (const dirent* e = readdir(d)) fds += e->d_name[0] != '.';
    closedir(d);
  }
  o << " open files=" << fds;
  return o.str();
}

template <std::string (*StateText)()>
class TStateGuard : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { fBefore = StateText(); }
  void OnTestEnd(const ::testing::TestInfo& info) override {
    const std::string after = StateText();
    if (after != fBefore)
      ADD_FAILURE() << info.test_suite_name() << "." << info.name() << " left process state changed\n  before: "
                    << fBefore << "\n  after:  " << after;
  }
  std::string fBefore;
};

template <std::string (*StateText)()>
inline bool RegisterStateGuard() {
  ::testing::UnitTest::GetInstance()->listeners().Append(new TStateGuard<StateText>);
  return true;
}

}  // namespace vxtest

#define VX_GUARD_BASE_PROCESS_STATE()                           \
  [[maybe_unused]] static const bool vxBaseStateGuardRegistered = \
      ::vxtest::RegisterStateGuard<&::vxtest::BaseProcessStateText>()
