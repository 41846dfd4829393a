// The Xvfb server of the display tests and the helpers that speak Xlib.
#include "tests/x11/x11_fixture.h"

#include <signal.h>
#include <sys/wait.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

void XvfbTest::SetUpTestSuite() {
  // The display's threads share Xlib; it must know before any call.
  XInitThreads();
  if (access("/usr/bin/Xvfb", X_OK) != 0) {
    why = "Xvfb (Debian xvfb) is not installed";
    return;
  }
  // Xvfb picks a free display number itself and tells it through a pipe,
  // so that test programs running at once never share a server.
  int fds[2];
  if (pipe(fds) != 0) {
    why = "no pipe for Xvfb";
    return;
  }
  xvfb = fork();
  if (xvfb == 0) {
    close(fds[0]);
    const std::string fd = std::to_string(fds[1]);
    execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
          "-noreset", nullptr);
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  const std::string name = ":" + number;
  for (int i = 0; !number.empty() && i < 100; ++i) {
    if (Display* d = XOpenDisplay(name.c_str())) {
      XCloseDisplay(d);
      display = name;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  why = "Xvfb did not start on " + name;
}

void XvfbTest::TearDownTestSuite() {
  if (xvfb > 0) {
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    xvfb = 0;
  }
}

void XvfbTest::SendClose(unsigned long Xid) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = Window(Xid);
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
  XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
  XFlush(d);
  XCloseDisplay(d);
}

bool XvfbTest::ServerCursor(int& W, int& H, int& HotX, int& HotY, std::vector<uint32_t>& Pixels) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  XFixesCursorImage* c = XFixesGetCursorImage(d);
  if (c) {
    W = c->width;
    H = c->height;
    HotX = c->xhot;
    HotY = c->yhot;
    Pixels.assign(size_t(W) * size_t(H), 0);
    for (size_t i = 0; i < Pixels.size(); ++i) Pixels[i] = uint32_t(c->pixels[i]);
    XFree(c);
  }
  XCloseDisplay(d);
  return c != nullptr;
}
