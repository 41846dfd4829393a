// A program that printed through the application's printer object and
// returns from main ends cleanly: the printer's device context is freed at
// exit after the print jobs' table it consults would otherwise be gone.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

TEST(PrinterAtExit, AProgramThatPrintedReturnsFromMainWithCodeZero) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("vx-print-exit-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string pdf = (dir / "exit.pdf").string();
  std::string out;
  FILE* p = ::popen(("'" + std::string(VX_PRINT_AND_RETURN) + "' '" + pdf + "' 2>&1").c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = ::pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << ":\n" << out;
  EXPECT_EQ(out, "printed\n");
  EXPECT_TRUE(std::filesystem::exists(pdf));
  std::filesystem::remove_all(dir);
}

}  // namespace
