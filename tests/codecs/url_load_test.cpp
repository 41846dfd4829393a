// Loading by URL against servers the tests start on the loopback address:
// an in-test HTTP server (also playing a forward proxy), an HTTPS server with
// a throw-away authority made by openssl, and an FTP server.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/urlload.h"
#include "io/vexlaneio.h"
#include "tests/codecs/io_test_support.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// An HTTP server on 127.0.0.1 that answers each connection through Handler
// (with the request head already read) and then closes it.
class TLoopbackServer {
 public:
  using THandler = std::function<void(TLoopbackServer& S, int Fd, const std::string& Request)>;
  explicit TLoopbackServer(THandler Handler) : handler(std::move(Handler)) {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 8);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    worker = std::thread([this] { Run(); });
  }
  ~TLoopbackServer() {
    {
      std::lock_guard<std::mutex> l(m);
      stop = true;
      cv.notify_all();
    }
    worker.join();
    close(listener);
  }
  int Port() const { return port; }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port); }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> l(m);
    return requests;
  }
  // Waits up to Time, less when the server stops.
  void Pause(std::chrono::milliseconds Time) {
    std::unique_lock<std::mutex> l(m);
    cv.wait_for(l, Time, [&] { return stop; });
  }
  static void Send(int Fd, const std::string& Data) {
    size_t done = 0;
    while (done < Data.size()) {
      const ssize_t n = ::send(Fd, Data.data() + done, Data.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return;
      done += size_t(n);
    }
  }
  static std::string Head(int Status, const std::string& Type, long Length, const std::string& Extra = "") {
    std::string h = "HTTP/1.1 " + std::to_string(Status) + (Status < 300 ? " OK" : " Other") + "\r\n";
    if (!Type.empty()) h += "Content-Type: " + Type + "\r\n";
    if (Length >= 0) h += "Content-Length: " + std::to_string(Length) + "\r\n";
    return h + Extra + "Connection: close\r\n\r\n";
  }

 private:
  void Run() {
    for (;;) {
      {
        std::lock_guard<std::mutex> l(m);
        if (stop) return;
      }
      pollfd p{listener, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const int fd = accept(listener, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request;
      char buf[4096];
      while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd q{fd, POLLIN, 0};
        if (poll(&q, 1, 2000) <= 0) break;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, size_t(n));
      }
      {
        std::lock_guard<std::mutex> l(m);
        requests.push_back(request);
      }
      handler(*this, fd, request);
      shutdown(fd, SHUT_WR);
      close(fd);
    }
  }
  THandler handler;
  int listener = -1;
  int port = 0;
  std::thread worker;
  std::mutex m;
  std::condition_variable cv;
  bool stop = false;
  std::vector<std::string> requests;
};

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::string StreamText(TMemoryStream& S) { return std::string(static_cast<const char*>(S.Memory()), size_t(S.Size())); }

// The settings the downloads read, restored after each test.
class URLLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
    saved = {st->URLCheckCertificates(), st->URLCAFile(), st->URLTimeout()};
    st->SetURLTimeout(5);
  }
  void TearDown() override {
    TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
    st->SetURLCheckCertificates(std::get<0>(saved));
    st->SetURLCAFile(std::get<1>(saved));
    st->SetURLTimeout(std::get<2>(saved));
  }
  struct TResult {
    bool ok;
    std::string data, kind;
    std::vector<int32_t> progress;
  };
  static TResult Download(const std::string& URL, const std::string& Prefix = "", bool* Abort = nullptr,
                          const std::string& Proxy = "", const std::string& PUser = "",
                          const std::string& PPass = "") {
    TMemoryStream ms;
    ms.WriteBuffer(Prefix.data(), int64_t(Prefix.size()));
    TResult r;
    TVXProgressEvent progress = [&](void*, int32_t per) {
      r.progress.push_back(per);
      if (Abort) *Abort = true;
    };
    bool noAbort = false;
    r.ok = VXDownloadURL(URL, &ms, Proxy, PUser, PPass, progress, nullptr, Abort ? Abort : &noAbort, r.kind);
    r.data = StreamText(ms);
    return r;
  }
  std::tuple<bool, std::string, int32_t> saved;
};

TEST_F(URLLoad, LoadFromFileTakesAnHTTPAddressWithRisingProgress) {
  const auto png = iotest::MakePNG(300, 200);
  TLoopbackServer server([&](TLoopbackServer& s, int fd, const std::string&) {
    const std::string body = Bytes(png);
    TLoopbackServer::Send(fd, TLoopbackServer::Head(200, "image/png", long(body.size())));
    TLoopbackServer::Send(fd, body.substr(0, body.size() / 2));
    s.Pause(40ms);
    TLoopbackServer::Send(fd, body.substr(body.size() / 2));
  });
  TVexlaneIO io;
  std::vector<int32_t> progress;
  io.OnProgress = [&](void*, int32_t per) { progress.push_back(per); };
  ASSERT_TRUE(io.LoadFromFile(server.Base() + "/a.png", int32_t(-1)));
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(io.VXBitmap()->Width(), 300);
  EXPECT_EQ(io.VXBitmap()->Height(), 200);
  ASSERT_GE(progress.size(), 2u);
  EXPECT_GT(progress[0], 0);
  EXPECT_LT(progress[0], 100);
  EXPECT_EQ(progress.back(), 100);
  const auto req = server.Requests().at(0);
  EXPECT_EQ(req.rfind("GET /a.png HTTP/1.1\r\n", 0), 0u) << req;
  EXPECT_NE(req.find("User-Agent: Mozilla/4.*\r\n"), std::string::npos);
  EXPECT_NE(req.find("Host: 127.0.0.1:" + std::to_string(server.Port())), std::string::npos);
}

TEST_F(URLLoad, AnswersOfTheServer) {
  const std::string body(3000, 'x');
  TLoopbackServer server([&](TLoopbackServer& s, int fd, const std::string& req) {
    const std::string path = req.substr(4, req.find(' ', 4) - 4);
    if (path == "/length") {
      TLoopbackServer::Send(fd, TLoopbackServer::Head(200, "image/jpeg", long(body.size())) + body);
    } else if (path == "/nolength") {
      TLoopbackServer::Send(fd, TLoopbackServer::Head(200, "image/png", -1));
      TLoopbackServer::Send(fd, body.substr(0, 1000));
      s.Pause(20ms);
      TLoopbackServer::Send(fd, body.substr(1000));
    } else if (path == "/missing") {
      TLoopbackServer::Send(fd, TLoopbackServer::Head(404, "text/html", 9) + "not here!");
    } else if (path == "/cut") {
      TLoopbackServer::Send(fd, TLoopbackServer::Head(200, "image/png", 1000) + body.substr(0, 10));
    } else if (path == "/to-http") {
      TLoopbackServer::Send(fd, TLoopbackServer::Head(302, "", 0, "Location: " + s.Base() + "/length\r\n"));
    } else if (path == "/to-ftp") {
      TLoopbackServer::Send(
          fd, TLoopbackServer::Head(302, "", 0, "Location: ftp://127.0.0.1:" + std::to_string(s.Port()) + "/x\r\n"));
    }
  });
  struct Case {
    const char* path;
    bool ok;
    const char* kind;
    bool progress;
  } cases[] = {
      {"/length", true, "jpeg", true},   {"/nolength", true, "png", false}, {"/missing", false, "", false},
      {"/cut", false, "", false},        {"/to-http", true, "jpeg", true},  {"/to-ftp", false, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    // A stream that already holds bytes still gets the whole resource.
    const auto r = Download(server.Base() + c.path, "prefix");
    EXPECT_EQ(r.ok, c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(r.data, "prefix" + body);
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(!r.progress.empty(), c.progress);
    if (c.progress) EXPECT_EQ(r.progress.back(), 100);
  }
}

TEST_F(URLLoad, AbortStallAndAddressesThatNeverConnect) {
  TLoopbackServer server([&](TLoopbackServer& s, int fd, const std::string&) {
    TLoopbackServer::Send(fd, TLoopbackServer::Head(200, "image/png", 200000) + std::string(1000, 'a'));
    s.Pause(3000ms);
  });
  bool abort = false;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Download(server.Base() + "/slow", "", &abort).ok);
  EXPECT_TRUE(abort);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);

  VXGetGlobalSettings()->SetURLTimeout(1);
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Download(server.Base() + "/stall").ok);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2900ms);

  const size_t seen = server.Requests().size();
  for (const std::string& url : std::vector<std::string>{server.Base(), "gopher://127.0.0.1/x", "http://user@127.0.0.1/x"})
    EXPECT_FALSE(Download(url).ok) << url;
  EXPECT_EQ(server.Requests().size(), seen);
}

TEST_F(URLLoad, AProxyGetsTheProxyCredentialsAndTheServerNone) {
  const auto png = iotest::MakePNG(5, 4);
  TLoopbackServer origin([](TLoopbackServer&, int, const std::string&) {});
  TLoopbackServer proxy([&](TLoopbackServer&, int fd, const std::string&) {
    TLoopbackServer::Send(fd, TLoopbackServer::Head(200, "image/png", long(png.size())) + Bytes(png));
  });
  TVexlaneIO io;
  io.SetProxyAddress("127.0.0.1:" + std::to_string(proxy.Port()));
  io.SetProxyUser("pu");
  io.SetProxyPassword("pp");
  const std::string target = "127.0.0.1:" + std::to_string(origin.Port()) + "/a.png";
  ASSERT_TRUE(io.LoadFromURL("http://urluser:urlpw@" + target));
  EXPECT_EQ(io.VXBitmap()->Width(), 5);
  ASSERT_EQ(proxy.Requests().size(), 1u);
  const std::string req = proxy.Requests()[0];
  EXPECT_EQ(req.rfind("GET http://" + target + " HTTP/1.1\r\n", 0), 0u) << req;
  EXPECT_NE(req.find("Proxy-Authorization: Basic cHU6cHA=\r\n"), std::string::npos) << req;  // pu:pp
  EXPECT_EQ(req.find("\r\nAuthorization:"), std::string::npos) << req;
  EXPECT_TRUE(origin.Requests().empty());
}

TEST_F(URLLoad, AfterTheInternetLibraryIsReleasedLoadsFail) {
  TLoopbackServer server([](TLoopbackServer&, int fd, const std::string&) {
    TLoopbackServer::Send(fd, TLoopbackServer::Head(404, "", 0));
  });
  VXFreeWinINet();
  TVexlaneIO io;
  int finished = 0;
  io.OnFinishWork = [&](void*) { ++finished; };
  const bool ok = io.LoadFromURL(server.Base() + "/a.png");
  VXLoadWinINet();
  EXPECT_FALSE(ok);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(URLLoad, AnAsyncLoadByURLRunsOnARequestThread) {
  const auto png = iotest::MakePNG(8, 3);
  TLoopbackServer server([&](TLoopbackServer&, int fd, const std::string&) {
    TLoopbackServer::Send(fd, TLoopbackServer::Head(200, "image/png", long(png.size())) + Bytes(png));
  });
  TVXBitmap target;
  auto io = TVexlaneIO::CreateFromBitmap(&target);
  io->SetAsyncMode(true);
  EXPECT_TRUE(io->LoadFromFile(server.Base() + "/a.png", int32_t(-1)));
  io->WaitThreads(false);
  EXPECT_FALSE(io->Aborting());
  EXPECT_EQ(target.Width(), 8);
}

// ---- servers outside the test program ----

// A child process started with Args; its first output line is read back.
class TChild {
 public:
  explicit TChild(const std::vector<std::string>& Args) {
    int out[2];
    if (pipe(out) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv;
      for (const auto& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    pollfd p{out[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
  }
  ~TChild() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  std::string line;

 private:
  pid_t pid = -1;
};

bool RunQuiet(const std::string& Command) { return std::system((Command + " >/dev/null 2>&1").c_str()) == 0; }

fs::path TempFolder(const char* Name) {
  fs::path d = fs::temp_directory_path() / (std::string(Name) + "-" + std::to_string(getpid()));
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

TEST_F(URLLoad, HTTPSChecksTheCertificateAndItsName) {
  if (!fs::exists("/usr/bin/openssl")) GTEST_SKIP() << "openssl is not installed (scripts/setup installs it)";
  const fs::path d = TempFolder("vx-https");
  const std::string q = "cd '" + d.string() + "' && /usr/bin/openssl ";
  ASSERT_TRUE(RunQuiet(q + "req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ca.key -out ca.pem "
                      "-days 2 -subj /CN=VexlaneTestCA -addext basicConstraints=critical,CA:TRUE "
                      "-addext keyUsage=critical,keyCertSign"));
  ASSERT_TRUE(RunQuiet(q + "req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout srv.key -out srv.csr "
                      "-subj /CN=localhost"));
  std::ofstream(d / "ext.cnf") << "subjectAltName=DNS:localhost\n";
  ASSERT_TRUE(RunQuiet(q + "x509 -req -in srv.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out srv.pem -days 2 "
                      "-extfile ext.cnf"));
  const auto png = iotest::MakePNG(4, 4);
  std::ofstream(d / "body.png", std::ios::binary) << Bytes(png);
  TChild server({"/usr/bin/python3", std::string(VX_SOURCE_DIR) + "/tests/codecs/servers/https_server.py",
                 (d / "srv.pem").string(), (d / "srv.key").string(), (d / "body.png").string()});
  ASSERT_FALSE(server.line.empty()) << "the HTTPS server did not start";
  struct Case {
    const char* host;
    bool check;
    bool ca;
    bool ok;
  } cases[] = {
      {"localhost", true, false, false},  // an unknown authority
      {"localhost", true, true, true},    // the authority named
      {"127.0.0.1", true, true, false},   // a name the certificate does not hold
      {"127.0.0.1", false, false, true},  // checks off
  };
  TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host) + (c.check ? " checked" : "") + (c.ca ? " with CA" : ""));
    st->SetURLCheckCertificates(c.check);
    st->SetURLCAFile(c.ca ? (d / "ca.pem").string() : "");
    const auto r = Download(std::string("https://") + c.host + ":" + server.line + "/img.png");
    EXPECT_EQ(r.ok, c.ok);
    if (c.ok) EXPECT_EQ(r.data, Bytes(png));
  }
  fs::remove_all(d);
}

TEST_F(URLLoad, FTPLogsInWithTheAddressCredentials) {
  if (!RunQuiet("/usr/bin/python3 -c 'import pyftpdlib'"))
    GTEST_SKIP() << "python3-pyftpdlib is not installed (scripts/setup installs it)";
  const fs::path d = TempFolder("vx-ftp");
  const std::string jpeg = "\xFF\xD8\xFF\xE0 stands for a JPEG file";
  std::ofstream(d / "pic.jpg", std::ios::binary) << jpeg;
  TChild server({"/usr/bin/python3", std::string(VX_SOURCE_DIR) + "/tests/codecs/servers/ftp_server.py", d.string(),
                 "joe", "secret"});
  ASSERT_FALSE(server.line.empty()) << "the FTP server did not start";
  const std::string host = "127.0.0.1:" + server.line;
  auto r = Download("ftp://joe:secret@" + host + "/pic.jpg");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.data, jpeg);
  EXPECT_EQ(r.kind, "jpg");
  EXPECT_TRUE(r.progress.empty());
  EXPECT_FALSE(Download("ftp://joe:wrong@" + host + "/pic.jpg").ok);
  EXPECT_FALSE(Download("ftp://joe:secret@" + host + "/none.jpg").ok);
  fs::remove_all(d);
}

}  // namespace
