// The program over hostile files: each ends quickly, within little memory,
// with the message of a failed or finished file and nothing left behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "tests/codecs/png_hostile.h"
#include "tool_test_util.h"

namespace {

const std::string kProgram = std::string(VX_BINARY_DIR) + "/tarvello";

struct Outcome {
  int ExitCode = -1;
  double Seconds = 0;
  long PeakKiB = 0;
  std::string Out;
};

// Runs the program in Cwd with TMPDIR=Tmp; its own peak memory comes from wait4.
Outcome RunMeasured(const std::vector<std::string>& Args, const std::string& Cwd, const std::string& Tmp) {
  Outcome o;
  const std::string outFile = Cwd + "/.stdout";
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(Cwd.c_str()) != 0) _exit(127);
    setenv("TMPDIR", Tmp.c_str(), 1);
    const int fd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
    for (const auto& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(kProgram.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  o.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  o.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.PeakKiB = ru.ru_maxrss;
  o.Out = tooltest::ReadFile(outFile);
  unlink(outFile.c_str());
  return o;
}

std::vector<std::string> FilesUnder(const std::string& Dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(Dir, ec))
    if (!e.is_directory()) out.push_back(e.path().string());
  return out;
}

}  // namespace

TEST(HostileInput, EndsQuicklyWithinLittleMemoryAndLeavesNothing) {
  using namespace pnghostile;
  struct Case {
    const char* name;
    std::string data;
    std::vector<std::string> args;
    int exitCode;
    const char* message;
    bool output;
  } cases[] = {
      {"declared.png", DeclaredSize(100000, 100000), {"/mdpi", "/dip:48"}, 1, "\nCannot load image file.\n", false},
      {"alpha.png", DeclaredSize(999999, 999999, 6), {"/mdpi", "/dip:48"}, 1, "\nCannot load image file.\n", false},
      {"chunk.png", Header(32, 32, 8, 0) + LongChunk("sPLT", 0x7F00001A), {"/mdpi", "/dip:48"}, 1,
       "\nCannot load image file.\n", false},
      {"bomb.png", TextBomb(300, 7900000), {"/mdpi", "/dip:48"}, 0, "4,4 -> 48,48\n", true},
      {"tall.png", Grey(1, 100000), {"/xxxhdpi", "/dip:500"}, 1, "\nError on image processing.\n\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tooltest::TempDir dir;
    const std::string tmp = dir / "tmp", out = dir / "out";
    mkdir(tmp.c_str(), 0700);
    tooltest::WriteFile(dir / c.name, c.data);
    std::vector<std::string> args{"/out:out"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back(c.name);
    const Outcome o = RunMeasured(args, dir.Path, tmp);
    EXPECT_EQ(o.ExitCode, c.exitCode) << o.Out;
    EXPECT_NE(o.Out.find(c.message), std::string::npos) << o.Out;
    // A bound far above the fair cost (well under a second), which only a
    // runaway input reaches, also on a loaded machine; bench/ measures speed.
    EXPECT_LT(o.Seconds, 30.0);
    EXPECT_LT(o.PeakKiB, 200 * 1024);
    EXPECT_TRUE(FilesUnder(tmp).empty());
    const auto outputs = FilesUnder(out);
    if (c.output) {
      ASSERT_EQ(outputs.size(), 1u);
      // The dropped texts are not written back.
      EXPECT_LT(std::filesystem::file_size(outputs[0]), 65536u);
    } else {
      EXPECT_TRUE(outputs.empty()) << outputs[0];
    }
  }
}
