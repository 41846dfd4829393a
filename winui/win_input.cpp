// Keyboard and mouse input, capture, focus and cursors.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/win_clock.h"
#include "platform/win_resource.h"
#include "winui/display.h"
#include "winui/gdi.h"
#include "winui/win_input.h"
#include "winui/win_metrics.h"
#include "winui/win_scroll.h"
#include "winui/win_state.h"

using namespace vxwin;

namespace {

// Scripted polls of the left button: while scripted, the next gHeldPolls
// polls see it held and later ones released, until the next button input.
bool gScriptedPolls = false;
int gHeldPolls = 0;

IVXDisplay* gDisplay = nullptr;

struct CursorRec {
  int Width = 32;
  int Height = 32;
  int HotX = 0;
  int HotY = 0;
  bool Icon = false;
  bool Shared = false;  // system cursors and loaded resources are never destroyed
  bool OwnAlpha = false;  // the colour data had an alpha channel of its own
  std::vector<uint32_t> Pixels;  // 0xAARRGGBB, top-down
  std::vector<uint8_t> AndMask;  // 1 where the screen shows through (or is inverted)
};

std::map<uintptr_t, CursorRec>& Cursors() {
  static auto* m = new std::map<uintptr_t, CursorRec>();
  return *m;
}
std::map<std::string, HCURSOR>& LoadedCursors() {
  static auto* m = new std::map<std::string, HCURSOR>();
  return *m;
}
uintptr_t gNextCursor = 0x30000;

HCURSOR AddCursor(CursorRec r) {
  gNextCursor += 4;
  Cursors()[gNextCursor] = std::move(r);
  return reinterpret_cast<HCURSOR>(gNextCursor);
}

bool Down(const BYTE* k, int vk) { return k[vk] & 0x80; }

// Logical button (0 left, 1 right, 2 middle) of a physical one.
int Logical(int physical) {
  if (physical < 2 && GetSystemMetrics(SM_SWAPBUTTON)) return 1 - physical;
  return physical;
}

int PhysicalVk(int physical) { return physical == 0 ? VK_LBUTTON : physical == 1 ? VK_RBUTTON : VK_MBUTTON; }

WPARAM MouseKeys() {
  const BYTE* a = S().Async;
  WPARAM k = 0;
  bool l = Down(a, VK_LBUTTON), r = Down(a, VK_RBUTTON);
  if (GetSystemMetrics(SM_SWAPBUTTON)) std::swap(l, r);
  if (l) k |= MK_LBUTTON;
  if (r) k |= MK_RBUTTON;
  if (Down(a, VK_MBUTTON)) k |= MK_MBUTTON;
  if (Down(a, VK_SHIFT)) k |= MK_SHIFT;
  if (Down(a, VK_CONTROL)) k |= MK_CONTROL;
  return k;
}

// The window that gets a mouse message at a screen point: the capture, or
// the window under the point when it and its parents are enabled (the
// children of a disabled window take no input).
HWND MouseTarget(POINT pt) {
  {
    Lock l(S().M);
    if (S().Capture) return S().Capture;
  }
  HWND h = WindowFromPoint(pt);
  for (HWND p = h; p; p = GetParent(p))
    if (!IsWindowEnabled(p)) return nullptr;
  return h;
}

// Where a mouse message at a screen point goes within h: HTCLIENT for a
// client message; the bar's code while one of h's bars is held; a captured
// window gets client messages; otherwise the window's own hit test.
LRESULT NonClientHit(HWND h, POINT pt) {
  Lock l(S().M);
  Window* w = Find(h);
  if (!w) return HTCLIENT;
  if (S().BarWnd == h) return S().BarKind == SB_HORZ ? HTHSCROLL : HTVSCROLL;
  if (S().Capture == h) return HTCLIENT;
  const LRESULT hit = HitTest(*w, pt);
  return hit == HTNOWHERE ? HTCLIENT : hit;
}

}  // namespace

namespace vxwin {

void PostInput(HWND h, UINT Msg, WPARAM W, LPARAM L, POINT ScreenPt) {
  Lock l(S().M);
  Window* w = Find(h);
  if (!w) return;
  Queue& q = QueueOf(w->Thread);
  MSG m;
  m.hwnd = h;
  m.message = Msg;
  m.wParam = W;
  m.lParam = L;
  m.time = GetTickCount();
  m.pt = ScreenPt;
  // Consecutive moves to one window become the last of them.
  if (Msg == WM_MOUSEMOVE && !q.Input.empty() && q.Input.back().message == WM_MOUSEMOVE && q.Input.back().hwnd == h)
    q.Input.back() = m;
  else
    q.Input.push_back(m);
  S().Wake.notify_all();
}

}  // namespace vxwin

IVXDisplay* VXCurrentDisplay() { return gDisplay; }
void VXSetDisplay(IVXDisplay* Display) { gDisplay = Display; }

void VXInputMouseButton(int Button, bool IsDown, POINT pt) {
  if (Button < 0 || Button > 2) return;
  {
    Lock l(S().M);
    gScriptedPolls = false;
    gHeldPolls = 0;
    S().Cursor = pt;
    BYTE& a = S().Async[PhysicalVk(Button)];
    a = IsDown ? BYTE(a | 0x80) : BYTE(a & ~0x80);
  }
  HWND h = MouseTarget(pt);
  if (!h) return;
  int logical = Logical(Button);
  // Over the frame or a bar (or while a bar is held), the non-client
  // messages, with the hit-test code and the screen point.
  static const UINT ncDown[3] = {WM_NCLBUTTONDOWN, WM_NCRBUTTONDOWN, WM_NCMBUTTONDOWN};
  static const UINT ncUp[3] = {WM_NCLBUTTONUP, WM_NCRBUTTONUP, WM_NCMBUTTONUP};
  if (LRESULT hit = NonClientHit(h, pt); hit != HTCLIENT) {
    PostInput(h, IsDown ? ncDown[logical] : ncUp[logical], WPARAM(hit), MAKELPARAM(pt.x, pt.y), pt);
    return;
  }
  static const UINT downMsg[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  static const UINT upMsg[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
  static const UINT dblMsg[3] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
  UINT msg = IsDown ? downMsg[logical] : upMsg[logical];
  POINT client = pt;
  {
    Lock l(S().M);
    Window* w = Find(h);
    if (!w) return;
    POINT o = ClientScreenOrigin(*w);
    client.x -= o.x;
    client.y -= o.y;
    if (IsDown) {
      DWORD now = GetTickCount();
      State& s = S();
      int bx = GetSystemMetrics(SM_CXDOUBLECLK) / 2, by = GetSystemMetrics(SM_CYDOUBLECLK) / 2;
      bool dbl = !s.LastWasDouble && s.LastClickWnd == h && s.LastClickButton == logical &&
                 now - s.LastClickTime <= s.DoubleClickTime && std::abs(pt.x - s.LastClickPt.x) <= bx &&
                 std::abs(pt.y - s.LastClickPt.y) <= by;
      bool classTakes = w->Class && (w->Class->Info.style & CS_DBLCLKS);
      if (dbl && classTakes) {
        msg = dblMsg[logical];
        s.LastWasDouble = true;
      } else {
        s.LastWasDouble = false;
      }
      s.LastClickWnd = h;
      s.LastClickButton = logical;
      s.LastClickTime = now;
      s.LastClickPt = pt;
    }
  }
  PostInput(h, msg, MouseKeys(), MAKELPARAM(client.x, client.y), pt);
}

void VXInputMouseMove(POINT pt) {
  {
    Lock l(S().M);
    S().Cursor = pt;
  }
  HWND h = MouseTarget(pt);
  if (!h) return;
  if (LRESULT hit = NonClientHit(h, pt); hit != HTCLIENT) {
    PostInput(h, WM_NCMOUSEMOVE, WPARAM(hit), MAKELPARAM(pt.x, pt.y), pt);
    return;
  }
  POINT client = pt;
  ScreenToClient(h, &client);
  PostInput(h, WM_MOUSEMOVE, MouseKeys(), MAKELPARAM(client.x, client.y), pt);
}

void VXInputWheel(int Delta, POINT pt, bool Horizontal) {
  {
    Lock l(S().M);
    S().Cursor = pt;
  }
  HWND h = MouseTarget(pt);
  if (!h) return;
  PostInput(h, Horizontal ? WM_MOUSEHWHEEL : WM_MOUSEWHEEL, MAKEWPARAM(int(MouseKeys()), Delta),
            MAKELPARAM(pt.x, pt.y), pt);
}

void VXInputKey(int vk, bool IsDown) {
  vk &= 0xFF;
  HWND h;
  bool was, alt;
  POINT pt;
  {
    Lock l(S().M);
    BYTE* a = S().Async;
    was = Down(a, vk);
    auto set = [&](int k) { a[k] = IsDown ? BYTE(a[k] | 0x80) : BYTE(a[k] & ~0x80); };
    set(vk);
    if (vk == VK_LSHIFT || vk == VK_RSHIFT) set(VK_SHIFT);
    if (vk == VK_LCONTROL || vk == VK_RCONTROL) set(VK_CONTROL);
    if (vk == VK_LMENU || vk == VK_RMENU) set(VK_MENU);
    if (vk == VK_SHIFT) set(VK_LSHIFT);
    if (vk == VK_CONTROL) set(VK_LCONTROL);
    if (vk == VK_MENU) set(VK_LMENU);
    alt = Down(a, VK_MENU);
    h = S().Focus ? S().Focus : S().Active;
    pt = S().Cursor;
  }
  if (!h) return;
  bool sys = (alt || vk == VK_MENU || vk == VK_F10) && !(GetAsyncKeyState(VK_CONTROL) & 0x8000);
  UINT msg = IsDown ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  uint32_t lp = 1;
  if (alt) lp |= 1u << 29;
  if (!IsDown || was) lp |= 1u << 30;
  if (!IsDown) lp |= 1u << 31;
  PostInput(h, msg, WPARAM(vk), LPARAM(int32_t(lp)), pt);
}

SHORT GetKeyState(int nVirtKey) {
  Lock l(S().M);
  BYTE k = S().Keys[nVirtKey & 0xFF];
  return SHORT(((k & 0x80) ? 0x8000 : 0) | (k & 1));
}

void VXInputChar(char16_t Ch) {
  HWND h;
  POINT pt;
  {
    Lock l(S().M);
    h = S().Focus ? S().Focus : S().Active;
    pt = S().Cursor;
  }
  if (h) PostInput(h, WM_CHAR, WPARAM(Ch), 1, pt);
}

void VXInputHoldButtonForPolls(int Count) {
  Lock l(S().M);
  gHeldPolls = Count > 0 ? Count : 0;
  gScriptedPolls = Count >= 0;
}

SHORT GetAsyncKeyState(int vKey) {
  Lock l(S().M);
  if ((vKey & 0xFF) == VK_LBUTTON && gScriptedPolls) {
    if (gHeldPolls == 0) return 0;
    --gHeldPolls;
    return SHORT(0x8000);
  }
  return (S().Async[vKey & 0xFF] & 0x80) ? SHORT(0x8000) : SHORT(0);
}

BOOL GetKeyboardState(BYTE* lpKeyState) {
  if (!lpKeyState) return FALSE;
  Lock l(S().M);
  std::memcpy(lpKeyState, S().Keys, 256);
  return TRUE;
}

BOOL SwapMouseButton(BOOL fSwap) {
  BOOL was = GetSystemMetrics(SM_SWAPBUTTON) ? TRUE : FALSE;
  VXScreen::SetMetric(SM_SWAPBUTTON, fSwap ? 1 : 0);
  return was;
}

UINT GetDoubleClickTime() {
  Lock l(S().M);
  return S().DoubleClickTime;
}

BOOL SetDoubleClickTime(UINT uInterval) {
  Lock l(S().M);
  S().DoubleClickTime = uInterval ? uInterval : 500;
  return TRUE;
}

HWND SetCapture(HWND hWnd) {
  HWND old;
  {
    Lock l(S().M);
    if (!Find(hWnd)) return nullptr;
    old = S().Capture;
    S().Capture = hWnd;
  }
  if (old && old != hWnd) SendMessageW(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
  return old;
}

BOOL ReleaseCapture() {
  HWND old;
  {
    Lock l(S().M);
    old = S().Capture;
    S().Capture = nullptr;
  }
  if (old) SendMessageW(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() {
  Lock l(S().M);
  return S().Capture;
}

HWND SetFocus(HWND hWnd) {
  HWND old;
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (hWnd && (!w || (w->Style & WS_DISABLED))) return nullptr;
    old = S().Focus;
    if (old == hWnd) return old;
    S().Focus = hWnd;
    if (w) {
      Window* top = w;
      while (top->Parent && Find(top->Parent)) top = Find(top->Parent);
      S().Active = top->H;
    }
  }
  if (old) SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
  if (hWnd) SendMessageW(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus() {
  Lock l(S().M);
  return S().Focus;
}

HWND GetActiveWindow() {
  Lock l(S().M);
  return S().Active;
}

HWND SetActiveWindow(HWND hWnd) {
  HWND old;
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w || w->Parent) return nullptr;
    old = S().Active;
    S().Active = hWnd;
  }
  if (old != hWnd) {
    if (old) SendMessageW(old, WM_ACTIVATE, 0 /* WA_INACTIVE */, reinterpret_cast<LPARAM>(hWnd));
    SendMessageW(hWnd, WM_ACTIVATE, 1 /* WA_ACTIVE */, reinterpret_cast<LPARAM>(old));
  }
  return old;
}

BOOL GetCursorPos(POINT* p) {
  if (!p) return FALSE;
  Lock l(S().M);
  *p = S().Cursor;
  return TRUE;
}

BOOL SetCursorPos(int X, int Y) {
  Lock l(S().M);
  S().Cursor = POINT{X, Y};
  return TRUE;
}

// Cursors.

// The arrow's picture, our own: black outline, white inside, its tip at the
// top-left pixel (the hot spot); the rest of the 32 x 32 cell shows the screen.
static void ArrowPicture(CursorRec& r) {
  static const char* const kArrow[] = {
      "B",          "BB",         "BWB",         "BWWB",         "BWWWB",        "BWWWWB",     "BWWWWWB",
      "BWWWWWWB",   "BWWWWWWWB",  "BWWWWWWWWB",  "BWWWWWWWWWB",  "BWWWWWWBBBBB", "BWWWBWWB",   "BWWB.BWWB",
      "BWB..BWWB",  "BB....BWWB", "B.....BWWB",  ".......BWWB",  ".......BWWB",  "........BB",
  };
  r.Width = r.Height = 32;
  r.Pixels.assign(32 * 32, 0);
  r.AndMask.assign(32 * 32, 1);
  for (size_t y = 0; y < std::size(kArrow); ++y)
    for (size_t x = 0; kArrow[y][x]; ++x) {
      const char c = kArrow[y][x];
      if (c == '.') continue;
      r.AndMask[y * 32 + x] = 0;
      r.Pixels[y * 32 + x] = c == 'W' ? 0xFFFFFFFFu : 0xFF000000u;
    }
}

static HCURSOR SystemCursor(uintptr_t id) {
  static const uintptr_t known[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                    32644, 32645, 32646, 32648, 32649, 32650, 32651};
  if (std::find(std::begin(known), std::end(known), id) == std::end(known)) return nullptr;
  std::string key = "sys#" + std::to_string(id);
  auto it = LoadedCursors().find(key);
  if (it != LoadedCursors().end()) return it->second;
  CursorRec r;
  r.Shared = true;
  // Hotspots of the standard shapes: the arrow's tip, the centre of the others.
  if (id == 32512 || id == 32650 || id == 32651 || id == 32649) {
    r.HotX = 0;
    r.HotY = 0;
  } else {
    r.HotX = 16;
    r.HotY = 16;
  }
  if (id == 32512) ArrowPicture(r);
  HCURSOR h = AddCursor(std::move(r));
  LoadedCursors()[key] = h;
  return h;
}

namespace {

uint16_t Rd16(const BYTE* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Rd32(const BYTE* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

// The best entry of an icon or cursor group of Size bytes; 0 for none.
int BestEntry(const BYTE* p, size_t Size, bool Icon, int cx, int cy) {
  if (!p || Size < 6 || Rd16(p) != 0) return 0;
  int type = Rd16(p + 2);
  if (type != (Icon ? 1 : 2)) return 0;
  size_t n = Rd16(p + 4);
  if (n == 0 || 6 + n * 14 > Size) return 0;
  if (cx <= 0) cx = GetSystemMetrics(Icon ? SM_CXICON : SM_CXCURSOR);
  if (cy <= 0) cy = GetSystemMetrics(Icon ? SM_CYICON : SM_CYCURSOR);
  int best = 0, bestScore = INT32_MAX, bestBits = -1;
  for (size_t i = 0; i < n; ++i) {
    const BYTE* e = p + 6 + i * 14;
    int w, h, bits;
    if (Icon) {
      w = e[0] ? e[0] : 256;
      h = e[1] ? e[1] : 256;
      bits = Rd16(e + 6);
    } else {
      w = Rd16(e);
      h = Rd16(e + 2) / 2;
      bits = Rd16(e + 6);
    }
    int id = Rd16(e + 12);
    int score = std::abs(w - cx) + std::abs(h - cy);
    if (score < bestScore || (score == bestScore && bits > bestBits)) {
      best = id;
      bestScore = score;
      bestBits = bits;
    }
  }
  return best;
}

}  // namespace

int LookupIconIdFromDirectoryEx(const BYTE* presbits, BOOL fIcon, int cxDesired, int cyDesired, UINT) {
  if (!presbits) return 0;
  size_t n = Rd16(presbits + 4);
  return BestEntry(presbits, 6 + n * 14, fIcon, cxDesired, cyDesired);
}

HICON CreateIconFromResourceEx(const BYTE* p, DWORD size, BOOL fIcon, DWORD dwVer, int, int, UINT) {
  if (!p || (dwVer != 0x00030000 && dwVer != 0x00020000)) return nullptr;
  CursorRec r;
  r.Icon = fIcon;
  size_t off = 0;
  if (!fIcon) {
    if (size < 4) return nullptr;
    r.HotX = Rd16(p);
    r.HotY = Rd16(p + 2);
    off = 4;
  }
  if (size - off < 40) return nullptr;
  const BYTE* h = p + off;
  uint32_t hsize = Rd32(h);
  int32_t w = int32_t(Rd32(h + 4)), hh = int32_t(Rd32(h + 8));
  uint16_t planes = Rd16(h + 12), bits = Rd16(h + 14);
  uint32_t comp = Rd32(h + 16), used = Rd32(h + 32);
  if (hsize < 40 || hsize > size - off || planes != 1 || comp != BI_RGB) return nullptr;
  // The height counts the colour image and the mask.
  if (w < 1 || w > 256 || hh < 2 || hh > 512 || (hh & 1)) return nullptr;
  int H = hh / 2;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;
  size_t colors = bits <= 8 ? (used && used < (1u << bits) ? used : (1u << bits)) : 0;
  size_t xorStride = size_t(((w * bits + 31) / 32) * 4), andStride = size_t(((w + 31) / 32) * 4);
  size_t need = off + hsize + colors * 4 + xorStride * size_t(H) + andStride * size_t(H);
  if (need > size) return nullptr;
  const BYTE* pal = h + hsize;
  const BYTE* xorBits = pal + colors * 4;
  const BYTE* andBits = xorBits + xorStride * size_t(H);
  r.Width = w;
  r.Height = H;
  r.Pixels.assign(size_t(w) * size_t(H), 0);
  r.AndMask.assign(size_t(w) * size_t(H), 0);
  bool anyAlpha = false;
  for (int y = 0; y < H; ++y) {
    const BYTE* xr = xorBits + xorStride * size_t(H - 1 - y);  // bottom-up
    const BYTE* ar = andBits + andStride * size_t(H - 1 - y);
    for (int x = 0; x < w; ++x) {
      uint32_t argb = 0;
      if (bits <= 8) {
        uint32_t idx = bits == 8 ? xr[x] : bits == 4 ? ((x & 1) ? xr[x >> 1] & 15 : xr[x >> 1] >> 4)
                                                     : (xr[x >> 3] >> (7 - (x & 7))) & 1;
        if (idx < colors) {
          const BYTE* q = pal + idx * 4;
          argb = (uint32_t(q[2]) << 16) | (uint32_t(q[1]) << 8) | q[0];
        }
      } else if (bits == 24) {
        argb = (uint32_t(xr[x * 3 + 2]) << 16) | (uint32_t(xr[x * 3 + 1]) << 8) | xr[x * 3];
      } else {
        argb = Rd32(xr + x * 4);
        if (argb >> 24) anyAlpha = true;
      }
      bool transparent = (ar[x >> 3] >> (7 - (x & 7))) & 1;
      r.AndMask[size_t(y) * size_t(w) + size_t(x)] = transparent ? 1 : 0;
      r.Pixels[size_t(y) * size_t(w) + size_t(x)] = argb;
    }
  }
  r.OwnAlpha = anyAlpha;
  // Without an alpha channel of its own the mask decides what is opaque.
  if (!anyAlpha)
    for (size_t i = 0; i < r.Pixels.size(); ++i)
      r.Pixels[i] = (r.Pixels[i] & 0xFFFFFF) | (r.AndMask[i] ? 0 : 0xFF000000u);
  Lock l(S().M);
  return AddCursor(std::move(r));
}

HCURSOR LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
  if (!lpCursorName) return nullptr;
  Lock l(S().M);
  if (!hInstance) {
    if (!IS_INTRESOURCE(lpCursorName)) return nullptr;
    return SystemCursor(reinterpret_cast<uintptr_t>(lpCursorName));
  }
  std::string name = IS_INTRESOURCE(lpCursorName) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(lpCursorName))
                                                   : std::string(lpCursorName);
  std::string key = "res:" + name;
  for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
  auto it = LoadedCursors().find(key);
  if (it != LoadedCursors().end()) return it->second;
  HRSRC grp = FindResourceW(nullptr, name, RT_GROUP_CURSOR);
  if (!grp) return nullptr;
  const BYTE* gp = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, grp)));
  int id = BestEntry(gp, SizeofResource(nullptr, grp), false, 0, 0);
  if (!id) return nullptr;
  HRSRC cur = FindResourceW(nullptr, "#" + std::to_string(id), RT_CURSOR);
  if (!cur) return nullptr;
  const BYTE* cp = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, cur)));
  HCURSOR h = CreateIconFromResourceEx(cp, SizeofResource(nullptr, cur), FALSE, 0x00030000, 0, 0, LR_DEFAULTSIZE);
  if (!h) return nullptr;
  Cursors()[reinterpret_cast<uintptr_t>(h)].Shared = true;
  LoadedCursors()[key] = h;
  return h;
}

HCURSOR SetCursor(HCURSOR hCursor) {
  HCURSOR old;
  {
    Lock l(S().M);
    if (hCursor && !Cursors().count(reinterpret_cast<uintptr_t>(hCursor))) return S().CursorShape;
    old = S().CursorShape;
    S().CursorShape = hCursor;
  }
  if (old != hCursor)
    if (IVXDisplay* d = VXCurrentDisplay()) d->CursorChanged(hCursor);
  return old;
}

HCURSOR GetCursor() {
  Lock l(S().M);
  return S().CursorShape;
}

BOOL DestroyCursor(HCURSOR hCursor) {
  Lock l(S().M);
  auto it = Cursors().find(reinterpret_cast<uintptr_t>(hCursor));
  if (it == Cursors().end()) return FALSE;
  if (it->second.Shared) return TRUE;
  if (S().CursorShape == hCursor) S().CursorShape = nullptr;
  Cursors().erase(it);
  return TRUE;
}

int ShowCursor(BOOL bShow) {
  Lock l(S().M);
  S().CursorCount += bShow ? 1 : -1;
  return S().CursorCount;
}

namespace vxwin {

bool IconImageOf(HICON Icon, IconImage& Out) {
  Lock l(S().M);
  auto it = Cursors().find(reinterpret_cast<uintptr_t>(Icon));
  if (it == Cursors().end()) return false;
  const CursorRec& r = it->second;
  Out.Width = r.Width;
  Out.Height = r.Height;
  Out.HotX = r.HotX;
  Out.HotY = r.HotY;
  Out.Icon = r.Icon;
  Out.OwnAlpha = r.OwnAlpha;
  Out.Pixels = r.Pixels;
  Out.AndMask = r.AndMask;
  return true;
}

HICON AddIconImage(IconImage Image) {
  CursorRec r;
  r.Width = Image.Width;
  r.Height = Image.Height;
  r.HotX = Image.HotX;
  r.HotY = Image.HotY;
  r.Icon = Image.Icon;
  r.OwnAlpha = Image.OwnAlpha;
  r.Pixels = std::move(Image.Pixels);
  r.AndMask = std::move(Image.AndMask);
  Lock l(S().M);
  return AddCursor(std::move(r));
}

}  // namespace vxwin

bool VXReadCursorPicture(HCURSOR Cursor, int& Width, int& Height, POINT& HotSpot, std::vector<uint32_t>& Pixels) {
  IconImage im;
  if (!Cursor || !IconImageOf(reinterpret_cast<HICON>(Cursor), im)) return false;
  Width = im.Width;
  Height = im.Height;
  HotSpot = POINT{im.HotX, im.HotY};
  Pixels = im.Pixels;
  Pixels.resize(size_t(std::max(0, Width)) * size_t(std::max(0, Height)), 0);
  // Without an alpha channel of its own the mask says what shows.
  if (!im.OwnAlpha && im.AndMask.size() >= Pixels.size())
    for (size_t i = 0; i < Pixels.size(); ++i) Pixels[i] = (Pixels[i] & 0xFFFFFF) | (im.AndMask[i] ? 0 : 0xFF000000u);
  return true;
}

bool VXCursorSize(HICON hIcon, int& Width, int& Height) {
  Lock l(S().M);
  auto it = Cursors().find(reinterpret_cast<uintptr_t>(hIcon));
  if (it == Cursors().end()) return false;
  Width = it->second.Width;
  Height = it->second.Height;
  return true;
}
