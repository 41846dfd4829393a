// The X11 display: top-level windows as X windows, their pictures put with
// XPutImage, the server's input handed to the window system.
// The window system's headers first: Xlib's macros (None, True, Bool, ...)
// must not meet them.
#include "winui/display.h"
#include "winui/win_input.h"
#include "winui/win_window.h"
#include "x11/x11display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrender.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// The virtual key of an X key symbol (unshifted); 0 for keys without one.
int VirtualKeyOf(KeySym k) {
  if (k >= XK_a && k <= XK_z) return int('A' + (k - XK_a));
  if (k >= XK_A && k <= XK_Z) return int('A' + (k - XK_A));
  if (k >= XK_0 && k <= XK_9) return int('0' + (k - XK_0));
  if (k >= XK_F1 && k <= XK_F12) return VK_F1 + int(k - XK_F1);
  switch (k) {
    case XK_Left: return VK_LEFT;
    case XK_Up: return VK_UP;
    case XK_Right: return VK_RIGHT;
    case XK_Down: return VK_DOWN;
    case XK_Home: return VK_HOME;
    case XK_End: return VK_END;
    case XK_Prior: return VK_PRIOR;
    case XK_Next: return VK_NEXT;
    case XK_Insert: return VK_INSERT;
    case XK_Delete: return VK_DELETE;
    case XK_Return: return VK_RETURN;
    case XK_Escape: return VK_ESCAPE;
    case XK_Tab: return VK_TAB;
    case XK_BackSpace: return VK_BACK;
    case XK_space: return VK_SPACE;
    case XK_Shift_L:
    case XK_Shift_R: return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R: return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R: return VK_MENU;
    case XK_plus:
    case XK_equal: return VK_OEM_PLUS;  // the main keyboard's + (= unshifted)
    case XK_minus: return VK_OEM_MINUS;
    case XK_KP_Add: return VK_ADD;
    case XK_KP_Subtract: return VK_SUBTRACT;
    case XK_KP_Multiply: return 0x6A;  // VK_MULTIPLY
    case XK_KP_Divide: return 0x6F;    // VK_DIVIDE
  }
  return 0;
}

// Xlib's error handler before ours.
int (*gPreviousErrorHandler)(Display*, XErrorEvent*) = nullptr;

// A window is destroyed on the event connection while a picture for it may
// still be on its way over the drawing connection: the server's refusal of
// that picture (the window or drawable is gone) is no fault. Every other
// error goes to the handler that was there before.
int IgnoreGoneWindows(Display* D, XErrorEvent* E) {
  if (E->error_code == BadWindow || E->error_code == BadDrawable) return 0;
  return gPreviousErrorHandler ? gPreviousErrorHandler(D, E) : 0;
}

class TVXX11Display : public IVXDisplay {
 public:
  ~TVXX11Display() override { Close(); }

  bool Open(const std::string& Name) {
    XInitThreads();
    static std::once_flag handler;
    std::call_once(handler, [] { gPreviousErrorHandler = XSetErrorHandler(IgnoreGoneWindows); });
    const char* name = Name.empty() ? nullptr : Name.c_str();
    fEvents = XOpenDisplay(name);
    if (!fEvents) return false;
    fDraw = XOpenDisplay(name);
    if (!fDraw) {
      XCloseDisplay(fEvents);
      fEvents = nullptr;
      return false;
    }
    fDeleteWindow = XInternAtom(fEvents, "WM_DELETE_WINDOW", False);
    fProtocols = XInternAtom(fEvents, "WM_PROTOCOLS", False);
    fStop = false;
    fThread = std::thread([this] { EventLoop(); });
    return true;
  }

  void Close() {
    if (fThread.joinable()) {
      fStop = true;
      fThread.join();
    }
    {
      std::lock_guard<std::mutex> g(fLock);
      if (fEvents) {
        for (auto& [h, w] : fWindows) XDestroyWindow(fEvents, w);
        fWindows.clear();
        for (auto& [h, c] : fCursors) XFreeCursor(fEvents, c);
        fCursors.clear();
        XCloseDisplay(fEvents);
        fEvents = nullptr;
      }
    }
    if (fDraw) {
      XCloseDisplay(fDraw);
      fDraw = nullptr;
    }
  }

  Window XWindowOf(HWND h) {
    std::lock_guard<std::mutex> g(fLock);
    auto it = fWindows.find(h);
    return it == fWindows.end() ? 0 : it->second;
  }

  // ---- IVXDisplay (the windows' thread) ----
  void SurfaceChanged(HWND Wnd) override {
    HWND top = VXTopLevelWindow(Wnd);
    if (top && XWindowOf(top)) Paint(top);
  }
  void WindowDestroyed(HWND Wnd) override {
    std::lock_guard<std::mutex> g(fLock);
    auto it = fWindows.find(Wnd);
    if (it == fWindows.end()) return;
    XDestroyWindow(fEvents, it->second);
    XFlush(fEvents);
    fHandles.erase(it->second);
    fWindows.erase(it);
    fLastPut.erase(Wnd);
  }
  void WindowShown(HWND Wnd, bool Visible) override {
    if (Visible) {
      Window w = XWindowOf(Wnd);
      if (!w) w = Create(Wnd);
      if (!w) return;
      {
        std::lock_guard<std::mutex> g(fLock);
        XMapWindow(fEvents, w);
        XFlush(fEvents);
      }
      Paint(Wnd);
    } else if (Window w = XWindowOf(Wnd)) {
      std::lock_guard<std::mutex> g(fLock);
      XUnmapWindow(fEvents, w);
      XFlush(fEvents);
    }
  }
  void WindowMoved(HWND Wnd) override {
    Window w = XWindowOf(Wnd);
    if (!w) return;
    RECT r;
    if (!GetWindowRect(Wnd, &r)) return;
    {
      std::lock_guard<std::mutex> g(fLock);
      // The server's own move or resize comes back here: nothing to ask.
      XWindowAttributes a;
      if (XGetWindowAttributes(fEvents, w, &a) && a.width == r.right - r.left && a.height == r.bottom - r.top &&
          a.x == r.left && a.y == r.top)
        return;
      XMoveResizeWindow(fEvents, w, r.left, r.top, unsigned(std::max<LONG>(1, r.right - r.left)),
                        unsigned(std::max<LONG>(1, r.bottom - r.top)));
      XFlush(fEvents);
    }
    Paint(Wnd);
  }
  // The cursor over every window: a two-colour X cursor of the picture,
  // each shown pixel black or white, whichever is nearer.
  void CursorChanged(HCURSOR Shape) override {
    std::lock_guard<std::mutex> g(fLock);
    if (!fEvents) return;
    Cursor c = None;
    if (Shape) {
      auto it = fCursors.find(Shape);
      if (it != fCursors.end()) {
        c = it->second;
      } else if ((c = MakeCursor(Shape))) {
        fCursors[Shape] = c;
      }
    }
    for (auto& [h, w] : fWindows) {
      if (c)
        XDefineCursor(fEvents, w, c);
      else
        XUndefineCursor(fEvents, w);
    }
    fCursor = c;
    XFlush(fEvents);
  }
  void WindowTextChanged(HWND Wnd) override {
    Window w = XWindowOf(Wnd);
    if (!w) return;
    SetTitle(Wnd, w);
  }

 private:
  Window Create(HWND Wnd) {
    RECT r;
    if (!GetWindowRect(Wnd, &r)) return 0;
    std::lock_guard<std::mutex> g(fLock);
    const int screen = DefaultScreen(fEvents);
    XSetWindowAttributes a{};
    a.background_pixel = BlackPixel(fEvents, screen);
    a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                   KeyReleaseMask | StructureNotifyMask | FocusChangeMask;
    Window w = XCreateWindow(fEvents, RootWindow(fEvents, screen), r.left, r.top,
                             unsigned(std::max<LONG>(1, r.right - r.left)), unsigned(std::max<LONG>(1, r.bottom - r.top)),
                             0, CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &a);
    if (!w) return 0;
    XSetWMProtocols(fEvents, w, &fDeleteWindow, 1);
    // Placed where the window system has it, not where a manager likes.
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = r.left;
    hints.y = r.top;
    hints.width = r.right - r.left;
    hints.height = r.bottom - r.top;
    XSetWMNormalHints(fEvents, w, &hints);
    fWindows[Wnd] = w;
    fHandles[w] = Wnd;
    if (fCursor) XDefineCursor(fEvents, w, fCursor);
    SetTitleLocked(Wnd, w);
    XFlush(fEvents);
    return w;
  }

  // (fLock held.)
  Cursor MakeCursor(HCURSOR Shape) {
    int W = 0, H = 0;
    POINT hot{0, 0};
    std::vector<uint32_t> px;
    if (!VXReadCursorPicture(Shape, W, H, hot, px) || W <= 0 || H <= 0) return None;
    const unsigned hx = unsigned(std::clamp<LONG>(hot.x, 0, W - 1)), hy = unsigned(std::clamp<LONG>(hot.y, 0, H - 1));
    if (Cursor c = MakeColourCursor(W, H, px, hx, hy)) return c;
    const int stride = (W + 7) / 8;
    std::vector<char> bits(size_t(stride) * size_t(H), 0), mask(bits.size(), 0);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const uint32_t v = px[size_t(y) * size_t(W) + size_t(x)];
        if ((v >> 24) < 128) continue;
        const int grey = (((v >> 16) & 255) * 30 + ((v >> 8) & 255) * 59 + (v & 255) * 11) / 100;
        const size_t i = size_t(y) * size_t(stride) + size_t(x / 8);
        mask[i] = char(mask[i] | (1 << (x % 8)));
        if (grey < 128) bits[i] = char(bits[i] | (1 << (x % 8)));  // the foreground: black
      }
    const Window root = DefaultRootWindow(fEvents);
    Pixmap source = XCreateBitmapFromData(fEvents, root, bits.data(), unsigned(W), unsigned(H));
    Pixmap shape = XCreateBitmapFromData(fEvents, root, mask.data(), unsigned(W), unsigned(H));
    XColor black{}, white{};
    white.red = white.green = white.blue = 0xFFFF;
    white.flags = black.flags = DoRed | DoGreen | DoBlue;
    Cursor c = XCreatePixmapCursor(fEvents, source, shape, &black, &white, hx, hy);
    XFreePixmap(fEvents, source);
    XFreePixmap(fEvents, shape);
    return c;
  }

  // The picture as it is, through the render extension's cursors (alpha
  // premultiplied, as the extension takes it); None when the server has no
  // such cursors, and the two-colour cursor above stands in.
  Cursor MakeColourCursor(int W, int H, const std::vector<uint32_t>& px, unsigned hx, unsigned hy) {
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRenderQueryExtension(fEvents, &event, &error) || !XRenderQueryVersion(fEvents, &major, &minor) ||
        (major == 0 && minor < 5))
      return None;
    XRenderPictFormat* argb = XRenderFindStandardFormat(fEvents, PictStandardARGB32);
    if (!argb) return None;
    std::vector<uint32_t> data(px.size());
    for (size_t i = 0; i < px.size(); ++i) {
      const uint32_t v = px[i], a = v >> 24;
      auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
      data[i] = (a << 24) | (pre((v >> 16) & 255) << 16) | (pre((v >> 8) & 255) << 8) | pre(v & 255);
    }
    const Window root = DefaultRootWindow(fEvents);
    Pixmap pm = XCreatePixmap(fEvents, root, unsigned(W), unsigned(H), 32);
    XImage* img = XCreateImage(fEvents, nullptr, 32, ZPixmap, 0, reinterpret_cast<char*>(data.data()), unsigned(W),
                               unsigned(H), 32, W * 4);
    if (!img) {
      XFreePixmap(fEvents, pm);
      return None;
    }
    img->byte_order = LSBFirst;  // the words as this machine holds them
    img->bitmap_bit_order = LSBFirst;
    if constexpr (std::endian::native == std::endian::big) img->byte_order = img->bitmap_bit_order = MSBFirst;
    GC gc = XCreateGC(fEvents, pm, 0, nullptr);
    XPutImage(fEvents, pm, gc, img, 0, 0, 0, 0, unsigned(W), unsigned(H));
    XFreeGC(fEvents, gc);
    img->data = nullptr;  // the vector's, not Xlib's to free
    XDestroyImage(img);
    Picture pic = XRenderCreatePicture(fEvents, pm, argb, 0, nullptr);
    Cursor c = XRenderCreateCursor(fEvents, pic, hx, hy);
    XRenderFreePicture(fEvents, pic);
    XFreePixmap(fEvents, pm);
    return c;
  }

  void SetTitle(HWND Wnd, Window w) {
    std::lock_guard<std::mutex> g(fLock);
    SetTitleLocked(Wnd, w);
    XFlush(fEvents);
  }
  void SetTitleLocked(HWND Wnd, Window w) {
    char text[1024] = {};
    GetWindowTextW(Wnd, text, int(sizeof text));
    XStoreName(fEvents, w, text);
    Atom utf8 = XInternAtom(fEvents, "UTF8_STRING", False), netName = XInternAtom(fEvents, "_NET_WM_NAME", False);
    XChangeProperty(fEvents, w, netName, utf8, 8, PropModeReplace, reinterpret_cast<const unsigned char*>(text),
                    int(std::strlen(text)));
  }

  // The window's whole picture onto its X window (drawing connection);
  // with OnlyChanged, only when it differs from the picture put last.
  void Paint(HWND Wnd, bool OnlyChanged = false) {
    const Window w = XWindowOf(Wnd);
    if (!w || !fDraw) return;
    int W = 0, H = 0;
    std::vector<uint32_t> px;
    if (!VXReadWindowPicture(Wnd, W, H, px) || W <= 0 || H <= 0) return;
    std::vector<uint32_t>& last = fLastPut[Wnd];
    if (OnlyChanged && last == px) return;
    last = px;
    const int screen = DefaultScreen(fDraw);
    Visual* visual = DefaultVisual(fDraw, screen);
    const int depth = DefaultDepth(fDraw, screen);
    if (depth < 24) return;  // packed 0x00RRGGBB needs a true-colour screen
    XImage* img = XCreateImage(fDraw, visual, unsigned(depth), ZPixmap, 0, reinterpret_cast<char*>(px.data()),
                               unsigned(W), unsigned(H), 32, W * 4);
    if (!img) return;
    img->byte_order = LSBFirst;
    GC gc = DefaultGC(fDraw, screen);
    XPutImage(fDraw, w, gc, img, 0, 0, 0, 0, unsigned(W), unsigned(H));
    XFlush(fDraw);
    img->data = nullptr;  // the vector keeps the pixels
    XDestroyImage(img);
  }

  // ---- the event thread ----
  void EventLoop() {
    const int fd = ConnectionNumber(fEvents);
    for (unsigned round = 1; !fStop; ++round) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 20);
      std::vector<XEvent> events;
      {
        std::lock_guard<std::mutex> g(fLock);
        if (!fEvents) return;
        // Drawing through a device context that stays open (a control's
        // canvas) tells nobody: every 100 ms each window's thread compares
        // its picture with what the server shows.
        if (round % 5 == 0)
          for (auto& [h, w] : fWindows) {
            HWND wnd = h;
            VXCallOnWindowThread(wnd, [this, wnd] { Paint(wnd, true); });
          }
        while (XPending(fEvents)) {
          XEvent e;
          XNextEvent(fEvents, &e);
          events.push_back(e);
        }
      }
      for (XEvent& e : events) Handle(e);
    }
  }

  HWND HandleOf(Window w) {
    std::lock_guard<std::mutex> g(fLock);
    auto it = fHandles.find(w);
    return it == fHandles.end() ? nullptr : it->second;
  }

  // A point of the X window in the window system's screen coordinates.
  static POINT ScreenPoint(HWND h, int x, int y) {
    RECT r{};
    GetWindowRect(h, &r);
    return POINT{r.left + x, r.top + y};
  }

  void Handle(XEvent& e) {
    HWND h = HandleOf(e.xany.window);
    if (!h) return;
    switch (e.type) {
      case Expose:
        if (e.xexpose.count == 0) VXCallOnWindowThread(h, [this, h] { Paint(h); });
        break;
      case ButtonPress:
      case ButtonRelease: {
        const POINT pt = ScreenPoint(h, e.xbutton.x, e.xbutton.y);
        const bool down = e.type == ButtonPress;
        switch (e.xbutton.button) {
          case Button1: VXInputMouseButton(0, down, pt); break;
          case Button2: VXInputMouseButton(2, down, pt); break;
          case Button3: VXInputMouseButton(1, down, pt); break;
          case 4:
          case 5:
            if (down) VXInputWheel(e.xbutton.button == 4 ? 120 : -120, pt, false);
            break;
          case 6:
          case 7:
            if (down) VXInputWheel(e.xbutton.button == 7 ? 120 : -120, pt, true);
            break;
        }
        break;
      }
      case MotionNotify:
        VXInputMouseMove(ScreenPoint(h, e.xmotion.x, e.xmotion.y));
        break;
      case KeyPress:
      case KeyRelease: {
        const int vk = VirtualKeyOf(XLookupKeysym(&e.xkey, 0));
        if (vk) VXInputKey(vk, e.type == KeyPress);
        break;
      }
      case FocusIn:
        VXCallOnWindowThread(h, [h] { SetActiveWindow(h); });
        break;
      case ConfigureNotify: {
        // A move or resize by the server (a window manager, xdotool).
        const int x = e.xconfigure.x, y = e.xconfigure.y, w = e.xconfigure.width, hh = e.xconfigure.height;
        const bool synthetic = e.xconfigure.send_event;
        VXCallOnWindowThread(h, [h, x, y, w, hh, synthetic] {
          RECT r{};
          GetWindowRect(h, &r);
          const bool sized = r.right - r.left != w || r.bottom - r.top != hh;
          // Without a manager the coordinates are the parent's, the root's.
          const bool moved = synthetic && (r.left != x || r.top != y);
          if (sized || moved)
            SetWindowPos(h, nullptr, moved ? x : r.left, moved ? y : r.top, w, hh, SWP_NOZORDER | SWP_NOACTIVATE);
        });
        break;
      }
      case ClientMessage:
        if (Atom(e.xclient.message_type) == fProtocols && Atom(e.xclient.data.l[0]) == fDeleteWindow)
          VXCallOnWindowThread(h, [h] { SendMessageW(h, WM_CLOSE, 0, 0); });
        break;
    }
  }

  Display* fEvents = nullptr;  // windows and events, under fLock
  Display* fDraw = nullptr;    // pictures, on the windows' thread
  std::mutex fLock;
  std::map<HWND, Window> fWindows;
  std::map<Window, HWND> fHandles;
  std::map<HCURSOR, Cursor> fCursors;
  // What was put last on each window (windows' thread only).
  std::map<HWND, std::vector<uint32_t>> fLastPut;
  Cursor fCursor = None;
  Atom fDeleteWindow = 0, fProtocols = 0;
  std::thread fThread;
  std::atomic<bool> fStop{false};
};

std::unique_ptr<TVXX11Display> gDisplay;

}  // namespace

bool VXOpenX11Display(const std::string& Name) {
  VXCloseX11Display();
  auto d = std::make_unique<TVXX11Display>();
  if (!d->Open(Name)) return false;
  gDisplay = std::move(d);
  VXSetDisplay(gDisplay.get());
  return true;
}

void VXCloseX11Display() {
  if (!gDisplay) return;
  if (VXCurrentDisplay() == gDisplay.get()) VXSetDisplay(nullptr);
  gDisplay.reset();
}

unsigned long VXX11WindowOf(void* Wnd) { return gDisplay ? gDisplay->XWindowOf(static_cast<HWND>(Wnd)) : 0; }

IVXDisplay* VXOpenX11DisplayByName() { return VXOpenX11Display("") ? gDisplay.get() : nullptr; }
