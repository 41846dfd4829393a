// URL loading's response handling: the bytes are a server's whole answer
// (status line, headers, body) to the I/O component's request for an image
// over HTTP, served from a socket on the loopback address for every request
// the load makes. The load goes through that socket as its proxy, so that
// whatever the answer says (a redirection to another host, an https
// address) no request leaves this machine's loopback address.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "core/bitmap.h"
#include "core/settings.h"
#include "fuzz_library.h"
#include "io/vexlaneio.h"

namespace {

// A listening socket on 127.0.0.1 at a port of the system's choice, made once.
int Listener(uint16_t& Port) {
  static uint16_t port = 0;
  static const int fd = [] {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) != 0) {
      close(s);
      return -1;
    }
    port = ntohs(a.sin_port);
    return s;
  }();
  Port = port;
  return fd;
}

// The server's answer, shared with its thread: the server holds the lock
// while it answers one connection, so the answer changes only between two.
struct TAnswer {
  std::mutex Lock;
  std::string Bytes;
};

// Answers every connection with the current answer, reading the request
// first (up to its blank line, a second at most). One thread for the life of
// the process: a thread made and ended for every input cost most of an input's
// time under the sanitizers.
[[noreturn]] void Serve(int Listen, TAnswer* Answer) {
  for (;;) {
    const int c = accept4(Listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) continue;
    std::lock_guard<std::mutex> guard(Answer->Lock);
    std::string request;
    char buf[1024];
    for (int waited = 0; request.find("\r\n\r\n") == std::string::npos && waited < 50;) {
      pollfd q{c, POLLIN, 0};
      if (poll(&q, 1, 20) <= 0) {
        ++waited;
        continue;
      }
      const ssize_t got = recv(c, buf, sizeof buf, 0);
      if (got <= 0) break;
      request.append(buf, size_t(got));
    }
    const std::string& data = Answer->Bytes;
    for (size_t sent = 0; sent < data.size();) {
      const ssize_t n = send(c, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += size_t(n);
    }
    shutdown(c, SHUT_RDWR);
    close(c);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  VXGetGlobalSettings()->SetURLTimeout(2);
  uint16_t port = 0;
  const int listen = Listener(port);
  if (listen < 0) return 0;
  static TAnswer* answer = [listen] {
    auto* a = new TAnswer;
    std::thread(Serve, listen, a).detach();
    return a;
  }();
  {
    std::lock_guard<std::mutex> guard(answer->Lock);
    answer->Bytes.assign(reinterpret_cast<const char*>(data), size);
  }
  TVXBitmap bmp;
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&bmp);
  io.SetProxyAddress("http://127.0.0.1:" + std::to_string(port));
  io.LoadFromURL("http://vexlane.invalid/image");
  return 0;
}
