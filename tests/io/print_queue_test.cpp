// Printing through the print system to an IPP printer: ippeveprinter on a
// loopback port keeps what it receives in its spool folder. It announces
// itself through DNS-SD, so the test runs a private message bus and mDNS
// daemon for it; without them (or without root) the test is skipped.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/bitmap.h"
#include "gui/printers.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "winui/headless.h"
#include "winui/win_metrics.h"
#include "gui/graphics.h"

namespace fs = std::filesystem;

namespace {

pid_t Spawn(const std::vector<std::string>& Args, const std::string& BusAddress, const std::string& Log) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", BusAddress.c_str(), 1);
    if (FILE* f = std::freopen(Log.c_str(), "w", stdout)) (void)f;
    ::dup2(::fileno(stdout), 2);
    std::vector<char*> argv;
    for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

void Stop(pid_t& Pid) {
  if (Pid > 0) {
    ::kill(Pid, SIGTERM);
    ::waitpid(Pid, nullptr, 0);
  }
  Pid = -1;
}

bool Alive(pid_t Pid) { return Pid > 0 && ::waitpid(Pid, nullptr, WNOHANG) == 0; }

bool Accepts(int Port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(Port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(s);
  return ntohs(a.sin_port);
}

std::string Shell(const std::string& Cmd) {
  std::string out;
  if (FILE* f = ::popen(Cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    ::pclose(f);
  }
  return out;
}

class PrintQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"/usr/sbin/ippeveprinter", "/usr/bin/ipptool", "/usr/bin/dbus-daemon",
                             "/usr/sbin/avahi-daemon", "/usr/bin/pdfimages"})
      if (::access(tool, X_OK) != 0) GTEST_SKIP() << tool << " missing (bash scripts/setup --tests)";
    if (::geteuid() != 0) GTEST_SKIP() << "the private mDNS daemon needs root";
    Dir = fs::temp_directory_path() / ("vx_ipp_" + std::to_string(::getpid()));
    fs::create_directories(Dir / "spool");
    const std::string socket = (Dir / "bus").string();
    Bus = "unix:path=" + socket;
    std::ofstream((Dir / "bus.conf").string())
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
           "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>system</type><listen>" << Bus << "</listen><auth>EXTERNAL</auth>"
           "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
           "<allow receive_sender=\"*\"/><allow own=\"*\"/><allow user=\"*\"/>"
           "</policy></busconfig>\n";
    std::ofstream((Dir / "avahi.conf").string())
        << "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\nenable-dbus=yes\n"
           "[publish]\npublish-hinfo=no\npublish-workstation=no\n";
    DBus = Spawn({"/usr/bin/dbus-daemon", "--config-file=" + (Dir / "bus.conf").string(), "--nofork", "--nopidfile"},
                 Bus, (Dir / "dbus.log").string());
    for (int i = 0; i < 100 && !fs::exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Avahi = Spawn({"/usr/sbin/avahi-daemon", "-f", (Dir / "avahi.conf").string(), "--no-drop-root", "--no-chroot",
                   "--no-rlimits"},
                  Bus, (Dir / "avahi.log").string());
    Port = FreePort();
    // The printer gives up when the mDNS daemon is not up yet: try again.
    for (int attempt = 0; attempt < 20 && !Accepts(Port); ++attempt) {
      if (!Alive(Ipp)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Ipp = Spawn({"/usr/sbin/ippeveprinter", "-k", "-d", (Dir / "spool").string(), "-f", "application/pdf", "-p",
                     std::to_string(Port), "-n", "localhost", "VX Queue Test"},
                    Bus, (Dir / "ipp.log").string());
      }
      for (int i = 0; i < 10 && Alive(Ipp) && !Accepts(Port); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!Accepts(Port))
      GTEST_SKIP() << "ippeveprinter did not start (no mDNS daemon?): "
                   << Shell("cat '" + (Dir / "ipp.log").string() + "' '" + (Dir / "avahi.log").string() + "'");
  }
  void TearDown() override {
    Stop(Ipp);
    Stop(Avahi);
    Stop(DBus);
    SetPrinter(nullptr);
    VXHeadless::ResetPrinters();
    std::error_code ec;
    if (!Dir.empty() && !std::getenv("VX_KEEP_PRINT")) fs::remove_all(Dir, ec);
  }
  fs::path Dir;
  std::string Bus;
  int Port = 0;
  pid_t DBus = -1, Avahi = -1, Ipp = -1;
};

}  // namespace

TEST_F(PrintQueueTest, TwoCopiesReachTheSpoolFolderAsPDF) {
  VXHeadless::ClearPrinters();
  VXHeadless::UseCUPS(false);
  VXHeadless::AddIPPPrinter("Queue", "ipp://localhost:" + std::to_string(Port) + "/ipp/print");
  SetPrinter(new TPrinter);
  ASSERT_EQ(Printer()->Printers(), std::vector<std::string>{"Queue"});
  // The printer's default media: Letter with quarter-inch margins.
  const int dpi = GetDeviceCaps(Printer()->Canvas()->Handle(), LOGPIXELSX);
  ASSERT_GT(dpi, 0);
  EXPECT_EQ(Printer()->PageWidth(), int(8 * dpi));
  EXPECT_EQ(Printer()->PageHeight(), int(10.5 * dpi));
  TVXBitmap bmp;
  bmp.Allocate(120, 60, vx24RGB);
  for (int y = 0; y < 60; ++y) {
    auto* row = static_cast<uint8_t*>(bmp.ScanLine(y));
    for (int x = 0; x < 360; ++x) row[x] = uint8_t(x + y);
  }
  auto io = TVexlaneIO::CreateFromBitmap(&bmp);
  io->SetPrintingFilterOnSubsampling(rfNone);
  Printer()->SetCopies(2);
  Printer()->SetTitle("Queue test");
  Printer()->BeginDoc();
  io->PrintImage(nullptr, 1, 1, 1, 1, vxvpCenter, vxhpCenter, vxsNormal, 0, 0, 1);
  ASSERT_NO_THROW(Printer()->EndDoc());
  // The job's file, once the printer has taken it.
  fs::path pdf;
  for (int i = 0; i < 100 && pdf.empty(); ++i) {
    for (const auto& e : fs::recursive_directory_iterator(Dir / "spool"))
      if (e.path().extension() == ".pdf" && fs::file_size(e.path()) > 0) pdf = e.path();
    if (pdf.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_FALSE(pdf.empty()) << Shell("cat '" + (Dir / "ipp.log").string() + "'");
  const std::string list = Shell("/usr/bin/pdfimages -list '" + pdf.string() + "'");
  EXPECT_NE(list.find(" image     120    60  rgb "), std::string::npos) << list;
  // The job kept the copies asked for.
  const std::string query = (Dir / "job.test").string();
  std::ofstream(query) << "{\n OPERATION Get-Job-Attributes\n GROUP operation-attributes-tag\n"
                          " ATTR charset attributes-charset utf-8\n"
                          " ATTR naturalLanguage attributes-natural-language en\n"
                          " ATTR uri printer-uri $uri\n ATTR integer job-id 1\n"
                          " ATTR keyword requested-attributes copies\n DISPLAY copies\n}\n";
  const std::string job = Shell("/usr/bin/ipptool -t ipp://localhost:" + std::to_string(Port) + "/ipp/print '" +
                                query + "' 2>&1");
  EXPECT_NE(job.find("copies (integer) = 2"), std::string::npos) << job;
}
