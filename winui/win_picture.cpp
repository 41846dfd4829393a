// What a display shows of a top-level window: its frame, client surface,
// scroll bars and child windows composed into one picture; and the registry
// of displays a program can open by name.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "platform/win_syscolors.h"
#include "winui/display.h"
#include "winui/win_metrics.h"
#include "winui/win_scroll.h"
#include "winui/win_state.h"

using namespace vxwin;

namespace {

uint32_t Packed(uint32_t colorref) {
  return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

uint32_t Sys(int index) { return Packed(GetSysColor(index)); }

RECT Intersect(const RECT& a, const RECT& b) {
  return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

struct Picture {
  int W = 0, H = 0;
  std::vector<uint32_t>& Px;
  void Fill(RECT r, const RECT& clip, uint32_t c) {
    r = Intersect(Intersect(r, clip), RECT{0, 0, W, H});
    if (r.left >= r.right) return;
    for (int y = r.top; y < r.bottom; ++y)
      std::fill(Px.begin() + ptrdiff_t(y) * W + r.left, Px.begin() + ptrdiff_t(y) * W + r.right, c);
  }
  // A frame of one pixel: light on the top and left, dark on the bottom and
  // right.
  void Frame(const RECT& r, const RECT& clip, uint32_t topLeft, uint32_t bottomRight) {
    Fill(RECT{r.left, r.top, r.right, r.top + 1}, clip, topLeft);
    Fill(RECT{r.left, r.top, r.left + 1, r.bottom}, clip, topLeft);
    Fill(RECT{r.left, r.bottom - 1, r.right, r.bottom}, clip, bottomRight);
    Fill(RECT{r.right - 1, r.top, r.right, r.bottom}, clip, bottomRight);
  }
  // A small triangle pointing Dir (0 left, 1 up, 2 right, 3 down) centred in r.
  void Arrow(const RECT& r, const RECT& clip, int dir, uint32_t c) {
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    const int n = std::max(1, std::min(r.right - r.left, r.bottom - r.top) / 4);
    for (int i = 0; i < n; ++i) {
      // Row i of the triangle, from its tip.
      const int half = i;
      RECT line{};
      switch (dir) {
        case 0: line = RECT{cx - n / 2 + i, cy - half, cx - n / 2 + i + 1, cy + half + 1}; break;
        case 2: line = RECT{cx + n / 2 - i, cy - half, cx + n / 2 - i + 1, cy + half + 1}; break;
        case 1: line = RECT{cx - half, cy - n / 2 + i, cx + half + 1, cy - n / 2 + i + 1}; break;
        default: line = RECT{cx - half, cy + n / 2 - i, cx + half + 1, cy + n / 2 - i + 1}; break;
      }
      Fill(line, clip, c);
    }
  }
};

void DrawBar(Picture& p, const RECT& clip, const RECT& r, bool horizontal, const ScrollBar& b) {
  const VXScrollBarParts parts = VXScrollBarLayout(r, horizontal, b);
  p.Fill(r, clip, Sys(COLOR_SCROLLBAR));
  for (int i = 0; i < 2; ++i) {
    const RECT& a = i == 0 ? parts.Arrow1 : parts.Arrow2;
    p.Fill(a, clip, Sys(COLOR_BTNFACE));
    p.Frame(a, clip, Sys(COLOR_BTNHIGHLIGHT), Sys(COLOR_BTNSHADOW));
    p.Arrow(a, clip, horizontal ? (i == 0 ? 0 : 2) : (i == 0 ? 1 : 3), Sys(COLOR_BTNTEXT));
  }
  if (parts.Thumb.right > parts.Thumb.left && parts.Thumb.bottom > parts.Thumb.top) {
    p.Fill(parts.Thumb, clip, Sys(COLOR_BTNFACE));
    p.Frame(parts.Thumb, clip, Sys(COLOR_BTNHIGHLIGHT), Sys(COLOR_BTNSHADOW));
  }
}

// Draws window w with its top-left corner at (ox, oy) of the picture,
// inside clip (lock held).
void Compose(Picture& p, const Window& w, int ox, int oy, const RECT& clip) {
  const int W = w.Rect.right - w.Rect.left, H = w.Rect.bottom - w.Rect.top;
  const RECT whole{ox, oy, ox + W, oy + H};
  const RECT visible = Intersect(whole, clip);
  if (visible.left >= visible.right || visible.top >= visible.bottom) return;
  p.Fill(whole, clip, Sys(COLOR_BTNFACE));
  RECT inner = whole;
  if (w.Style & WS_THICKFRAME) {
    // The sizing frame, flat, with the platform's thin line at its outer edge.
    const bool active = S().Active == w.H;
    p.Fill(whole, clip, Sys(active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER));
    p.Frame(inner, clip, Sys(COLOR_WINDOWFRAME), Sys(COLOR_WINDOWFRAME));
    inner = RECT{inner.left + FrameX(w), inner.top + FrameY(w), inner.right - FrameX(w), inner.bottom - FrameY(w)};
  } else if (w.Style & WS_BORDER) {
    p.Frame(inner, clip, Sys(COLOR_WINDOWFRAME), Sys(COLOR_WINDOWFRAME));
    inner = RECT{inner.left + GetSystemMetrics(SM_CXBORDER), inner.top + GetSystemMetrics(SM_CYBORDER),
                 inner.right - GetSystemMetrics(SM_CXBORDER), inner.bottom - GetSystemMetrics(SM_CYBORDER)};
  }
  const RECT c = ClientInWindow(w);
  if ((w.Style & WS_CAPTION) == WS_CAPTION)
    p.Fill(RECT{inner.left, inner.top, inner.right, oy + c.top - (w.ExStyle & WS_EX_CLIENTEDGE ? 2 : 0)}, clip,
           Sys(COLOR_ACTIVECAPTION));
  if (w.ExStyle & WS_EX_CLIENTEDGE) {
    const int edgeTop = oy + c.top - GetSystemMetrics(SM_CYEDGE);
    RECT e{inner.left, edgeTop, inner.right, inner.bottom};
    p.Frame(e, clip, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT));
    p.Frame(RECT{e.left + 1, e.top + 1, e.right - 1, e.bottom - 1}, clip, Sys(COLOR_3DDKSHADOW),
            Sys(COLOR_3DLIGHT));
  }
  const RECT client{ox + c.left, oy + c.top, ox + c.right, oy + c.bottom};
  const RECT shown = Intersect(client, clip);
  if (w.Surface && shown.left < shown.right && shown.top < shown.bottom) {
    const vxgdi::Bitmap& s = *w.Surface;
    for (int y = std::max(shown.top, 0); y < std::min(shown.bottom, p.H); ++y) {
      const int sy = y - client.top;
      if (sy < 0 || sy >= s.Height) continue;
      const uint8_t* row = s.Row(sy);
      for (int x = std::max(shown.left, 0); x < std::min(shown.right, p.W); ++x) {
        const int sx = x - client.left;
        if (sx < 0 || sx >= s.Width) continue;
        const uint8_t* px = row + size_t(sx) * 4;
        p.Px[size_t(y) * size_t(p.W) + size_t(x)] = uint32_t(px[0]) | (uint32_t(px[1]) << 8) | (uint32_t(px[2]) << 16);
      }
    }
  }
  const int cxv = GetSystemMetrics(SM_CXVSCROLL), cyh = GetSystemMetrics(SM_CYHSCROLL);
  if (w.Style & WS_HSCROLL) DrawBar(p, clip, RECT{client.left, client.bottom, client.right, client.bottom + cyh}, true, w.HBar);
  if (w.Style & WS_VSCROLL) DrawBar(p, clip, RECT{client.right, client.top, client.right + cxv, client.bottom}, false, w.VBar);
  if ((w.Style & WS_HSCROLL) && (w.Style & WS_VSCROLL))
    p.Fill(RECT{client.right, client.bottom, client.right + cxv, client.bottom + cyh}, clip, Sys(COLOR_BTNFACE));
  // Children bottom first, so that the top of the z-order is drawn last.
  const RECT inside = Intersect(clip, client);
  for (auto it = w.Children.rbegin(); it != w.Children.rend(); ++it) {
    const Window* cw = Find(*it);
    if (!cw || !(cw->Style & WS_VISIBLE)) continue;
    Compose(p, *cw, client.left + cw->Rect.left, client.top + cw->Rect.top, inside);
  }
}

std::mutex gRegistryLock;
std::map<std::string, TVXDisplayFactory>& Registry() {
  static std::map<std::string, TVXDisplayFactory> r;
  return r;
}

}  // namespace

HWND VXTopLevelWindow(HWND Wnd) {
  Lock l(S().M);
  Window* w = Find(Wnd);
  while (w && w->Parent) {
    Window* p = Find(w->Parent);
    if (!p) break;
    w = p;
  }
  return w ? w->H : nullptr;
}

bool VXReadWindowPicture(HWND Wnd, int& Width, int& Height, std::vector<uint32_t>& Pixels) {
  Lock l(S().M);
  std::lock_guard<std::recursive_mutex> g(vxgdi::Lock());
  const Window* w = Find(Wnd);
  if (!w) return false;
  Width = std::max(0, int(w->Rect.right - w->Rect.left));
  Height = std::max(0, int(w->Rect.bottom - w->Rect.top));
  Pixels.assign(size_t(Width) * size_t(Height), Sys(COLOR_BTNFACE));
  Picture p{Width, Height, Pixels};
  Compose(p, *w, 0, 0, RECT{0, 0, Width, Height});
  return true;
}

void VXReadDesktopPicture(int& Width, int& Height, std::vector<uint32_t>& Pixels) {
  Lock l(S().M);
  std::lock_guard<std::recursive_mutex> g(vxgdi::Lock());
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  Width = std::max(0, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  Height = std::max(0, GetSystemMetrics(SM_CYVIRTUALSCREEN));
  Pixels.assign(size_t(Width) * size_t(Height), Sys(COLOR_DESKTOP));
  Picture p{Width, Height, Pixels};
  const RECT all{0, 0, Width, Height};
  const Window* front = nullptr;
  for (const auto& [h, w] : S().Windows) {
    if (w->Parent || !(w->Style & WS_VISIBLE)) continue;
    if (w->H == S().Active) {
      front = w.get();
      continue;
    }
    Compose(p, *w, w->Rect.left - left, w->Rect.top - top, all);
  }
  if (front) Compose(p, *front, front->Rect.left - left, front->Rect.top - top, all);
}

namespace {

// Calls handed to windows' threads and not yet run, by number: a call whose
// message is never dispatched (its window went first) stays owned here.
std::mutex gCallsLock;
std::map<uint64_t, std::function<void()>>& PendingCalls() {
  static auto* calls = new std::map<uint64_t, std::function<void()>>();
  return *calls;
}
uint64_t gNextCall = 1;

}  // namespace

std::function<void()> vxwin::TakeDisplayCall(LPARAM Id) {
  std::lock_guard<std::mutex> g(gCallsLock);
  auto it = PendingCalls().find(uint64_t(Id));
  if (it == PendingCalls().end()) return {};
  std::function<void()> call = std::move(it->second);
  PendingCalls().erase(it);
  return call;
}

void VXCallOnWindowThread(HWND Wnd, std::function<void()> Call) {
  uint64_t id;
  {
    std::lock_guard<std::mutex> g(gCallsLock);
    id = gNextCall++;
    PendingCalls()[id] = std::move(Call);
  }
  if (!PostMessageW(Wnd, vxwin::WM_VXDISPLAYCALL, 0, LPARAM(id))) (void)vxwin::TakeDisplayCall(LPARAM(id));
}

void VXRegisterDisplay(const char* Name, TVXDisplayFactory Factory) {
  if (!Name) return;
  std::lock_guard<std::mutex> g(gRegistryLock);
  if (Factory)
    Registry()[Name] = Factory;
  else
    Registry().erase(Name);
}

bool VXOpenDisplayFromEnvironment() {
  const char* name = std::getenv("VEXLANE_DISPLAY");
  if (!name || !*name) return false;
  TVXDisplayFactory factory = nullptr;
  {
    std::lock_guard<std::mutex> g(gRegistryLock);
    auto it = Registry().find(name);
    if (it != Registry().end()) factory = it->second;
  }
  if (!factory) {
    std::fprintf(stderr, "VEXLANE_DISPLAY=%s: no such display in this program; running headless\n", name);
    return false;
  }
  IVXDisplay* d = factory();
  if (!d) {
    std::fprintf(stderr, "VEXLANE_DISPLAY=%s: the display could not be opened; running headless\n", name);
    return false;
  }
  VXSetDisplay(d);
  return true;
}
