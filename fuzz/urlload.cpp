// URL loading's response handling: the bytes are a server's whole answer
// (status line, headers, body) to the I/O component's request for an image
// over HTTP, served from a socket on the loopback address for every request
// the load makes. The load goes through that socket as its proxy, so that
// whatever the answer says (a redirection to another host, an https
// address) no request leaves this machine's loopback address.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
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

// Answers every connection with the bytes until Done is signalled, reading
// the request first (up to its blank line, a second at most).
void Serve(int Listen, const uint8_t* Data, size_t Size, int Done) {
  for (;;) {
    pollfd p[2] = {{Listen, POLLIN, 0}, {Done, POLLIN, 0}};
    if (poll(p, 2, 1000) <= 0) continue;
    if (p[1].revents) return;
    const int c = accept4(Listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) continue;
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
    for (size_t sent = 0; sent < Size;) {
      const ssize_t n = send(c, Data + sent, Size - sent, MSG_NOSIGNAL);
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
  const int done = eventfd(0, EFD_CLOEXEC);
  if (done < 0) return 0;
  std::thread server(Serve, listen, data, size, done);
  {
    TVXBitmap bmp;
    TVexlaneIO io(nullptr);
    io.SetAttachedVXBitmap(&bmp);
    io.SetProxyAddress("http://127.0.0.1:" + std::to_string(port));
    io.LoadFromURL("http://vexlane.invalid/image");
  }
  const uint64_t one = 1;
  if (write(done, &one, sizeof one) != ssize_t(sizeof one)) std::abort();
  server.join();
  close(done);
  return 0;
}
