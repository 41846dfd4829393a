// Window classes, windows, geometry and subclassing.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <strings.h>
#include <functional>
#include <memory>

#include "platform/win_syscolors.h"
#include "winui/display.h"
#include "winui/win_gesture.h"
#include "winui/win_input.h"
#include "winui/win_metrics.h"
#include "winui/win_paint.h"
#include "winui/win_state.h"

namespace vxwin {

// The classes the system brings: "STATIC" (a plain window that draws
// nothing of its own).
static void AddSystemClasses(State& st) {
  auto rec = std::make_shared<WndClassRec>();
  rec->Name = "STATIC";
  rec->Info.lpfnWndProc = &DefWindowProcW;
  st.Classes["static"] = rec;
}

State& S() {
  static auto* s = [] {
    auto* st = new State();
    AddSystemClasses(*st);
    return st;
  }();
  return *s;
}

DWORD ThisThread() {
  static std::atomic<DWORD> next{1};
  thread_local DWORD id = next.fetch_add(1);
  return id;
}

Queue& QueueOf(DWORD Thread) {
  auto& q = S().Queues[Thread];
  if (!q) {
    q = std::make_shared<Queue>();
    q->Thread = Thread;
  }
  return *q;
}

Window* Find(HWND h) {
  auto it = S().Windows.find(reinterpret_cast<uintptr_t>(h));
  return it == S().Windows.end() ? nullptr : it->second.get();
}

std::shared_ptr<Window> FindShared(HWND h) {
  auto it = S().Windows.find(reinterpret_cast<uintptr_t>(h));
  return it == S().Windows.end() ? nullptr : it->second;
}

int FrameX(const Window& w) {
  if (w.Style & WS_THICKFRAME) return GetSystemMetrics(SM_CXFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
  return (w.Style & WS_BORDER) ? GetSystemMetrics(SM_CXBORDER) : 0;
}

int FrameY(const Window& w) {
  if (w.Style & WS_THICKFRAME) return GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
  return (w.Style & WS_BORDER) ? GetSystemMetrics(SM_CYBORDER) : 0;
}

RECT ClientInWindow(const Window& w) {
  int W = w.Rect.right - w.Rect.left, H = w.Rect.bottom - w.Rect.top;
  int bx = FrameX(w), by = FrameY(w), top = 0;
  if (w.ExStyle & WS_EX_CLIENTEDGE) {
    bx += GetSystemMetrics(SM_CXEDGE);
    by += GetSystemMetrics(SM_CYEDGE);
  }
  if ((w.Style & WS_CAPTION) == WS_CAPTION) top = GetSystemMetrics(SM_CYCAPTION);
  RECT r{bx, by + top, W - bx, H - by};
  if (w.Style & WS_VSCROLL) r.right -= GetSystemMetrics(SM_CXVSCROLL);
  if (w.Style & WS_HSCROLL) r.bottom -= GetSystemMetrics(SM_CYHSCROLL);
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

POINT ScreenOrigin(const Window& w) {
  POINT p{w.Rect.left, w.Rect.top};
  if (w.Parent) {
    if (Window* pw = Find(w.Parent)) {
      POINT c = ClientScreenOrigin(*pw);
      p.x += c.x;
      p.y += c.y;
    }
  }
  return p;
}

POINT ClientScreenOrigin(const Window& w) {
  POINT o = ScreenOrigin(w);
  RECT c = ClientInWindow(w);
  return POINT{o.x + c.left, o.y + c.top};
}

bool Visible(const Window& w) {
  const Window* p = &w;
  while (p) {
    if (!(p->Style & WS_VISIBLE)) return false;
    p = p->Parent ? Find(p->Parent) : nullptr;
  }
  return true;
}

LRESULT Call(HWND h, UINT Msg, WPARAM W, LPARAM L) {
  WNDPROC proc;
  {
    Lock l(S().M);
    Window* w = Find(h);
    if (!w) return 0;
    proc = w->Proc;
  }
  return proc ? proc(h, Msg, W, L) : DefWindowProcW(h, Msg, W, L);
}

static void ResizeSurface(Window& w) {
  RECT c = ClientInWindow(w);
  int cw = c.right - c.left, ch = c.bottom - c.top;
  if (w.Surface && w.Surface->Width == cw && w.Surface->Height == ch) return;
  auto nb = std::make_shared<vxgdi::Bitmap>();
  if (cw > 0 && ch > 0 && vxgdi::AllocBitmap(*nb, cw, ch, 32, true)) {
    if (w.Surface && w.Surface->Bits) {
      int mw = std::min(cw, w.Surface->Width), mh = std::min(ch, w.Surface->Height);
      for (int y = 0; y < mh; ++y) std::memcpy(nb->Row(y), w.Surface->Row(y), size_t(mw) * 4);
    }
  } else {
    nb->Width = nb->Height = 0;
  }
  w.Surface = nb;
}

void ClientChanged(HWND h, bool Moved) {
  int cw = 0, ch = 0;
  bool sizeChanged = false;
  std::shared_ptr<vxgdi::Bitmap> oldSurface, newSurface;
  {
    Lock l(S().M);
    Window* w = Find(h);
    if (!w) return;
    int ow = w->Surface ? w->Surface->Width : 0, oh = w->Surface ? w->Surface->Height : 0;
    RECT c = ClientInWindow(*w);
    cw = c.right - c.left;
    ch = c.bottom - c.top;
    sizeChanged = cw != ow || ch != oh;
    if (sizeChanged) {
      oldSurface = w->Surface;
      ResizeSurface(*w);
      newSurface = w->Surface;
      UINT cs = w->Class ? w->Class->Info.style : 0;
      bool all = ((cs & CS_HREDRAW) && cw != ow) || ((cs & CS_VREDRAW) && ch != oh);
      if (all) {
        w->Update.SetRect(0, 0, cw, ch);
      } else {
        // What the old client area did not cover.
        vxgdi::Region add;
        add.SetRect(0, 0, cw, ch);
        vxgdi::Region old;
        old.SetRect(0, 0, ow, oh);
        add.Subtract(old);
        w->Update.Union(add);
      }
      w->Update.IntersectRect(0, 0, cw, ch);
      w->Erase = true;
    }
  }
  if (sizeChanged) {
    // A DC handed out before (a canvas keeps one open) draws on the window
    // as it is now, as the window's own DCs do, not on the old picture.
    vxgdi::RebindWindowDCs(h, oldSurface, newSurface);
    NotifySurface(h);
    Call(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
  }
  if (Moved) {
    POINT o;
    {
      Lock l(S().M);
      Window* w = Find(h);
      if (!w) return;
      RECT c = ClientInWindow(*w);
      o = POINT{w->Rect.left + c.left, w->Rect.top + c.top};
    }
    Call(h, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
  }
}

void NotifySurface(HWND h) {
  if (IVXDisplay* d = VXCurrentDisplay()) d->SurfaceChanged(h);
}

}  // namespace vxwin

using namespace vxwin;

static std::string Lower(const char* s) {
  std::string r = s ? s : "";
  for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

static std::string ClassKey(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
  return Lower(name);
}

ATOM RegisterClassExW(const WNDCLASSEXW* c) {
  if (!c || c->cbSize != sizeof(WNDCLASSEXW) || !c->lpszClassName || !c->lpfnWndProc) return 0;
  Lock l(S().M);
  std::string key = ClassKey(c->lpszClassName);
  if (S().Classes.count(key)) return 0;
  auto rec = std::make_shared<WndClassRec>();
  rec->Name = IS_INTRESOURCE(c->lpszClassName) ? key : std::string(c->lpszClassName);
  rec->Info = *c;
  rec->Info.lpszClassName = nullptr;
  rec->Info.lpszMenuName = nullptr;
  S().Classes[key] = rec;
  static ATOM next = 0xC000;
  return next++;
}

BOOL UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
  Lock l(S().M);
  std::string key = ClassKey(lpClassName);
  auto it = S().Classes.find(key);
  if (it == S().Classes.end()) return FALSE;
  for (auto& [h, w] : S().Windows)
    if (w->Class == it->second) return FALSE;  // still in use
  S().Classes.erase(it);
  return TRUE;
}

BOOL GetClassInfoExW(HINSTANCE, LPCWSTR lpszClass, WNDCLASSEXW* lpwcx) {
  Lock l(S().M);
  auto it = S().Classes.find(ClassKey(lpszClass));
  if (it == S().Classes.end() || !lpwcx) return FALSE;
  *lpwcx = it->second->Info;
  lpwcx->lpszClassName = lpszClass;
  return TRUE;
}

static int CopyText(const std::string& s, LPWSTR out, int max) {
  if (!out || max <= 0) return 0;
  int n = std::min<int>(int(s.size()), max - 1);
  std::memcpy(out, s.data(), size_t(n));
  out[n] = 0;
  return n;
}

int GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w || !w->Class) return 0;
  return CopyText(w->Class->Name, lpClassName, nMaxCount);
}

HWND CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
  HWND h;
  CREATESTRUCTW cs;
  {
    Lock l(S().M);
    auto it = S().Classes.find(ClassKey(lpClassName));
    if (it == S().Classes.end()) return nullptr;
    if ((dwStyle & WS_CHILD) && !Find(hWndParent)) return nullptr;
    if (hWndParent && !Find(hWndParent)) return nullptr;
    auto w = std::make_shared<Window>();
    S().NextHwnd += 2;
    h = reinterpret_cast<HWND>(S().NextHwnd);
    w->H = h;
    w->Class = it->second;
    w->Proc = it->second->Info.lpfnWndProc;
    w->Style = dwStyle;
    w->ExStyle = dwExStyle;
    if (dwStyle & WS_CHILD) {
      w->Parent = hWndParent;
      w->Id = LONG_PTR(reinterpret_cast<uintptr_t>(hMenu));
    } else {
      w->Owner = hWndParent;
    }
    if (X == CW_USEDEFAULT) X = Y = 0;
    if (nWidth == CW_USEDEFAULT) {
      nWidth = 640;
      nHeight = 480;
    }
    w->Rect = RECT{X, Y, X + std::max(0, nWidth), Y + std::max(0, nHeight)};
    w->Text = lpWindowName && !IS_INTRESOURCE(lpWindowName) ? lpWindowName : "";
    w->Instance = hInstance;
    w->Extra.assign(size_t(std::max(0, it->second->Info.cbWndExtra)), 0);
    w->Thread = ThisThread();
    QueueOf(w->Thread);
    S().Windows[reinterpret_cast<uintptr_t>(h)] = w;
    if (w->Parent) Find(w->Parent)->Children.insert(Find(w->Parent)->Children.begin(), h);
    ResizeSurface(*w);
    RECT c = ClientInWindow(*w);
    if (w->Style & WS_VISIBLE) {
      w->Update.SetRect(0, 0, c.right - c.left, c.bottom - c.top);
      w->Erase = true;
    }
    cs.lpCreateParams = lpParam;
    cs.hInstance = hInstance;
    cs.hMenu = hMenu;
    cs.hwndParent = hWndParent;
    cs.x = w->Rect.left;
    cs.y = w->Rect.top;
    cs.cx = nWidth;
    cs.cy = nHeight;
    cs.style = LONG(dwStyle);
    cs.lpszName = lpWindowName;
    cs.lpszClass = lpClassName;
    cs.dwExStyle = dwExStyle;
  }
  if (!Call(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    DestroyWindow(h);
    return nullptr;
  }
  if (Call(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(h);
    return nullptr;
  }
  if (!IsWindow(h)) return nullptr;
  {
    Lock l(S().M);
    Window* w = Find(h);
    if (!w) return nullptr;
    RECT c = ClientInWindow(*w);
    LPARAM sz = MAKELPARAM(c.right - c.left, c.bottom - c.top);
    LPARAM pos = MAKELPARAM(w->Rect.left + c.left, w->Rect.top + c.top);
    bool vis = w->Style & WS_VISIBLE;
    l.unlock();
    Call(h, WM_SIZE, SIZE_RESTORED, sz);
    Call(h, WM_MOVE, 0, pos);
    if (vis) Call(h, WM_SHOWWINDOW, TRUE, 0);
  }
  NotifySurface(h);
  return IsWindow(h) ? h : nullptr;
}

static void CollectTree(HWND h, std::vector<HWND>& out) {
  out.push_back(h);
  Window* w = Find(h);
  if (!w) return;
  for (HWND c : w->Children) CollectTree(c, out);
}

BOOL DestroyWindow(HWND hWnd) {
  std::vector<HWND> tree;
  HWND lostFocus = nullptr, lostCapture = nullptr;
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w || w->Destroying) return FALSE;
    if (w->Thread != ThisThread()) return FALSE;
    CollectTree(hWnd, tree);
    for (HWND t : tree) {
      Find(t)->Destroying = true;
      if (S().Focus == t) lostFocus = t;
      if (S().Capture == t) lostCapture = t;
    }
    if (lostCapture) S().Capture = nullptr;
    if (lostFocus) S().Focus = nullptr;
  }
  if (lostCapture) Call(lostCapture, WM_CAPTURECHANGED, 0, 0);
  if (lostFocus) Call(lostFocus, WM_KILLFOCUS, 0, 0);
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    bool vis = w && (w->Style & WS_VISIBLE);
    l.unlock();
    if (vis) Call(hWnd, WM_SHOWWINDOW, FALSE, 0);
  }
  // WM_DESTROY from the window down, WM_NCDESTROY from the leaves up.
  for (HWND t : tree) Call(t, WM_DESTROY, 0, 0);
  for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
    Call(*it, WM_NCDESTROY, 0, 0);
    Lock l(S().M);
    Window* w = Find(*it);
    if (!w) continue;
    if (w->Parent)
      if (Window* p = Find(w->Parent)) p->Children.erase(std::remove(p->Children.begin(), p->Children.end(), *it), p->Children.end());
    auto& timers = S().Timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.Wnd == *it; }), timers.end());
    if (S().Active == *it) S().Active = nullptr;
    if (S().LastClickWnd == *it) S().LastClickWnd = nullptr;
    S().Windows.erase(reinterpret_cast<uintptr_t>(*it));
  }
  // Owned top-level windows go with their owner.
  std::vector<HWND> owned;
  {
    Lock l(S().M);
    for (auto& [k, w] : S().Windows)
      if (w->Owner == hWnd) owned.push_back(w->H);
  }
  for (HWND o : owned) DestroyWindow(o);
  if (IVXDisplay* d = VXCurrentDisplay()) d->WindowDestroyed(hWnd);
  S().Wake.notify_all();
  return TRUE;
}

BOOL IsWindow(HWND hWnd) {
  Lock l(S().M);
  return Find(hWnd) != nullptr;
}

BOOL IsChild(HWND hWndParent, HWND hWnd) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  while (w && w->Parent) {
    if (w->Parent == hWndParent) return TRUE;
    w = Find(w->Parent);
  }
  return FALSE;
}

HWND GetParent(HWND hWnd) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w) return nullptr;
  return w->Parent ? w->Parent : w->Owner;
}

HWND SetParent(HWND hWndChild, HWND hWndNewParent) {
  Lock l(S().M);
  Window* w = Find(hWndChild);
  if (!w) return nullptr;
  if (hWndNewParent && !Find(hWndNewParent)) return nullptr;
  for (HWND p = hWndNewParent; p; p = Find(p) ? Find(p)->Parent : nullptr)
    if (p == hWndChild) return nullptr;  // no cycles
  HWND old = w->Parent;
  if (old)
    if (Window* p = Find(old)) p->Children.erase(std::remove(p->Children.begin(), p->Children.end(), hWndChild), p->Children.end());
  w->Parent = hWndNewParent;
  if (hWndNewParent) {
    Find(hWndNewParent)->Children.insert(Find(hWndNewParent)->Children.begin(), hWndChild);
    w->Style |= WS_CHILD;
  } else {
    w->Style &= ~WS_CHILD;
  }
  return old ? old : GetDesktopWindow();
}

// Below the first handle the window table gives out, so never a window of its own.
HWND GetDesktopWindow() { return reinterpret_cast<HWND>(uintptr_t(0xFFFE)); }

BOOL EnumThreadWindows(DWORD dwThreadId, WNDENUMPROC lpfn, LPARAM lParam) {
  if (!lpfn) return FALSE;
  std::vector<HWND> found;
  {
    Lock l(S().M);
    for (auto& [k, w] : S().Windows)
      if (w->Thread == dwThreadId && !w->Parent && !w->Destroying) found.push_back(w->H);
  }
  if (found.empty()) return FALSE;
  for (HWND h : found) {
    if (!IsWindow(h)) continue;
    if (!lpfn(h, lParam)) break;
  }
  return TRUE;
}

DWORD GetWindowThreadProcessId(HWND hWnd, DWORD* lpdwProcessId) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w) return 0;
  if (lpdwProcessId) *lpdwProcessId = 1;
  return w->Thread;
}

HWND GetWindow(HWND hWnd, UINT uCmd) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w) return nullptr;
  if (uCmd == GW_CHILD) return w->Children.empty() ? nullptr : w->Children.front();
  if (uCmd == GW_OWNER) return w->Owner;
  std::vector<HWND> siblings;
  if (w->Parent) {
    siblings = Find(w->Parent)->Children;
  } else {
    for (auto& [k, x] : S().Windows)
      if (!x->Parent) siblings.push_back(x->H);
  }
  auto it = std::find(siblings.begin(), siblings.end(), hWnd);
  switch (uCmd) {
    case GW_HWNDFIRST:
      return siblings.front();
    case GW_HWNDLAST:
      return siblings.back();
    case GW_HWNDNEXT:
      return it + 1 < siblings.end() ? *(it + 1) : nullptr;
    case GW_HWNDPREV:
      return it > siblings.begin() ? *(it - 1) : nullptr;
  }
  return nullptr;
}

LONG_PTR GetWindowLongPtrW(HWND hWnd, int nIndex) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w) return 0;
  switch (nIndex) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->Proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(w->Instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(w->Parent ? w->Parent : w->Owner);
    case GWLP_ID:
      return w->Id;
    case GWL_STYLE:
      return LONG_PTR(LONG(w->Style));
    case GWL_EXSTYLE:
      return LONG_PTR(LONG(w->ExStyle));
    case GWLP_USERDATA:
      return w->UserData;
  }
  if (nIndex >= 0 && size_t(nIndex) + sizeof(LONG_PTR) <= w->Extra.size()) {
    LONG_PTR v;
    std::memcpy(&v, w->Extra.data() + nIndex, sizeof v);
    return v;
  }
  return 0;
}

LONG_PTR SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR v) {
  bool frame = false;
  LONG_PTR old = 0;
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w) return 0;
    switch (nIndex) {
      case GWLP_WNDPROC:
        old = reinterpret_cast<LONG_PTR>(w->Proc);
        w->Proc = reinterpret_cast<WNDPROC>(v);
        return old;
      case GWLP_HINSTANCE:
        old = reinterpret_cast<LONG_PTR>(w->Instance);
        w->Instance = reinterpret_cast<HINSTANCE>(v);
        return old;
      case GWLP_ID:
        old = w->Id;
        w->Id = v;
        return old;
      case GWLP_USERDATA:
        old = w->UserData;
        w->UserData = v;
        return old;
      case GWL_STYLE:
        old = LONG_PTR(LONG(w->Style));
        w->Style = DWORD(v);
        frame = true;
        break;
      case GWL_EXSTYLE:
        old = LONG_PTR(LONG(w->ExStyle));
        w->ExStyle = DWORD(v);
        frame = true;
        break;
      default:
        if (nIndex >= 0 && size_t(nIndex) + sizeof(LONG_PTR) <= w->Extra.size()) {
          std::memcpy(&old, w->Extra.data() + nIndex, sizeof old);
          std::memcpy(w->Extra.data() + nIndex, &v, sizeof v);
        }
        return old;
    }
  }
  // A changed style takes effect on the frame at the next SetWindowPos with
  // SWP_FRAMECHANGED, as on the platform.
  (void)frame;
  return old;
}

LONG GetWindowLongW(HWND hWnd, int nIndex) { return LONG(GetWindowLongPtrW(hWnd, nIndex)); }
LONG SetWindowLongW(HWND hWnd, int nIndex, LONG v) { return LONG(SetWindowLongPtrW(hWnd, nIndex, v)); }

LRESULT CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!lpPrevWndFunc) return 0;
  return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  {
    Lock l(S().M);
    if (!Find(hWnd)) return FALSE;
  }
  return BOOL(Call(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
  if (!lpString || nMaxCount <= 0) return 0;
  return int(Call(hWnd, WM_GETTEXT, WPARAM(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextLengthW(HWND hWnd) { return int(Call(hWnd, WM_GETTEXTLENGTH, 0, 0)); }

// Geometry.

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  WINDOWPOS wp;
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w) return FALSE;
    wp.hwnd = hWnd;
    wp.hwndInsertAfter = hWndInsertAfter;
    wp.x = (uFlags & SWP_NOMOVE) ? w->Rect.left : X;
    wp.y = (uFlags & SWP_NOMOVE) ? w->Rect.top : Y;
    wp.cx = (uFlags & SWP_NOSIZE) ? w->Rect.right - w->Rect.left : std::max(0, cx);
    wp.cy = (uFlags & SWP_NOSIZE) ? w->Rect.bottom - w->Rect.top : std::max(0, cy);
    wp.flags = uFlags;
  }
  Call(hWnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
  bool moved = false, sized = false, shown = false, hidden = false;
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w) return FALSE;
    RECT nr{wp.x, wp.y, wp.x + std::max(0, wp.cx), wp.y + std::max(0, wp.cy)};
    moved = nr.left != w->Rect.left || nr.top != w->Rect.top;
    sized = (nr.right - nr.left) != (w->Rect.right - w->Rect.left) || (nr.bottom - nr.top) != (w->Rect.bottom - w->Rect.top);
    w->Rect = nr;
    if (!(uFlags & SWP_NOZORDER) && w->Parent) {
      auto& ch = Find(w->Parent)->Children;
      ch.erase(std::remove(ch.begin(), ch.end(), hWnd), ch.end());
      if (hWndInsertAfter == HWND_BOTTOM) {
        ch.push_back(hWnd);
      } else if (hWndInsertAfter == HWND_TOP || hWndInsertAfter == HWND_TOPMOST ||
                 hWndInsertAfter == HWND_NOTOPMOST) {
        ch.insert(ch.begin(), hWnd);
      } else {
        auto it = std::find(ch.begin(), ch.end(), hWndInsertAfter);
        ch.insert(it == ch.end() ? ch.begin() : it + 1, hWnd);
      }
    }
    if ((uFlags & SWP_SHOWWINDOW) && !(w->Style & WS_VISIBLE)) {
      w->Style |= WS_VISIBLE;
      shown = true;
    }
    if ((uFlags & SWP_HIDEWINDOW) && (w->Style & WS_VISIBLE)) {
      w->Style &= ~WS_VISIBLE;
      hidden = true;
    }
    if (shown) {
      RECT c = ClientInWindow(*w);
      w->Update.SetRect(0, 0, c.right - c.left, c.bottom - c.top);
      w->Erase = true;
    }
  }
  if (shown) Call(hWnd, WM_SHOWWINDOW, TRUE, 0);
  if (hidden) Call(hWnd, WM_SHOWWINDOW, FALSE, 0);
  Call(hWnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  // A display shows top-level windows; a child's change reaches it through
  // its parent's picture.
  if (IVXDisplay* d = VXCurrentDisplay()) {
    bool top = false;
    {
      Lock l(S().M);
      Window* w = Find(hWnd);
      top = w && !w->Parent;
    }
    if (top) {
      if (moved || sized) d->WindowMoved(hWnd);
      if (shown || hidden) d->WindowShown(hWnd, shown);
    } else if (shown || hidden || moved || sized) {
      if (HWND t = VXTopLevelWindow(hWnd)) d->SurfaceChanged(t);
    }
  }
  S().Wake.notify_all();
  return TRUE;
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0 : SWP_NOREDRAW));
}

BOOL GetWindowRect(HWND hWnd, RECT* r) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w || !r) return FALSE;
  POINT o = ScreenOrigin(*w);
  *r = RECT{o.x, o.y, o.x + w->Rect.right - w->Rect.left, o.y + w->Rect.bottom - w->Rect.top};
  return TRUE;
}

BOOL GetClientRect(HWND hWnd, RECT* r) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w || !r) return FALSE;
  RECT c = ClientInWindow(*w);
  *r = RECT{0, 0, c.right - c.left, c.bottom - c.top};
  return TRUE;
}

BOOL ClientToScreen(HWND hWnd, POINT* p) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w || !p) return FALSE;
  POINT o = ClientScreenOrigin(*w);
  p->x += o.x;
  p->y += o.y;
  return TRUE;
}

BOOL ScreenToClient(HWND hWnd, POINT* p) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w || !p) return FALSE;
  POINT o = ClientScreenOrigin(*w);
  p->x -= o.x;
  p->y -= o.y;
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* pts, UINT n) {
  Lock l(S().M);
  POINT a{0, 0}, b{0, 0};
  if (from) {
    Window* w = Find(from);
    if (!w) return 0;
    a = ClientScreenOrigin(*w);
  }
  if (to) {
    Window* w = Find(to);
    if (!w) return 0;
    b = ClientScreenOrigin(*w);
  }
  int dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; i < n; ++i) {
    pts[i].x += dx;
    pts[i].y += dy;
  }
  return MAKELONG(WORD(dx), WORD(dy));
}

// The deepest visible child under a screen point, starting from w.
static HWND DeepestAt(HWND h, POINT screen) {
  Window* w = Find(h);
  if (!w) return nullptr;
  for (HWND c : w->Children) {
    Window* cw = Find(c);
    if (!cw || !(cw->Style & WS_VISIBLE)) continue;
    POINT o = ScreenOrigin(*cw);
    RECT r{o.x, o.y, o.x + cw->Rect.right - cw->Rect.left, o.y + cw->Rect.bottom - cw->Rect.top};
    if (PtInRect(&r, screen)) return DeepestAt(c, screen);
  }
  return h;
}

HWND WindowFromPoint(POINT Point) {
  Lock l(S().M);
  // Top-level windows: the one created last is on top.
  for (auto it = S().Windows.rbegin(); it != S().Windows.rend(); ++it) {
    Window* w = it->second.get();
    if (w->Parent || !(w->Style & WS_VISIBLE)) continue;
    RECT r = w->Rect;
    if (PtInRect(&r, Point)) return DeepestAt(w->H, Point);
  }
  return nullptr;
}

HWND ChildWindowFromPoint(HWND hWndParent, POINT pt) {
  Lock l(S().M);
  Window* w = Find(hWndParent);
  if (!w) return nullptr;
  RECT c = ClientInWindow(*w);
  RECT cr{0, 0, c.right - c.left, c.bottom - c.top};
  if (!PtInRect(&cr, pt)) return nullptr;
  for (HWND ch : w->Children) {
    Window* cw = Find(ch);
    if (cw && PtInRect(&cw->Rect, pt)) return ch;
  }
  return hWndParent;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
  bool was;
  bool place = false;
  RECT to{};
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w) return FALSE;
    was = w->Style & WS_VISIBLE;
    if (nCmdShow == SW_MAXIMIZE) {
      // The screen, or the parent's client area; the frame lies beyond it.
      RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
      if (Window* p = w->Parent ? Find(w->Parent) : nullptr) {
        RECT c = ClientInWindow(*p);
        area = RECT{0, 0, c.right - c.left, c.bottom - c.top};
      }
      if (!(w->Style & WS_MAXIMIZE)) w->Restore = w->Rect;
      w->Style |= WS_MAXIMIZE;
      const int fx = FrameX(*w), fy = FrameY(*w);
      to = RECT{area.left - fx, area.top - fy, area.right + fx, area.bottom + fy};
      place = true;
    } else if ((nCmdShow == SW_RESTORE || nCmdShow == SW_SHOWNORMAL) && (w->Style & WS_MAXIMIZE)) {
      w->Style &= ~WS_MAXIMIZE;
      to = w->Restore;
      place = true;
    }
  }
  if (place)
    SetWindowPos(hWnd, nullptr, to.left, to.top, to.right - to.left, to.bottom - to.top,
                 SWP_NOZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
  bool show = nCmdShow != SW_HIDE;
  if (show == was) return was;
  SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW) |
                   (nCmdShow == SW_SHOWNA || nCmdShow == SW_SHOWNOACTIVATE ? SWP_NOACTIVATE : 0));
  if (!show) {
    // A hidden window loses the focus and the capture.
    HWND focus = GetFocus();
    if (focus && (focus == hWnd || IsChild(hWnd, focus))) SetFocus(nullptr);
    if (GetCapture() == hWnd) ReleaseCapture();
  }
  return was;
}

BOOL IsZoomed(HWND hWnd) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  return w && (w->Style & WS_MAXIMIZE) ? TRUE : FALSE;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }

BOOL SetForegroundWindow(HWND hWnd) {
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w || w->Parent) return FALSE;
  }
  SetActiveWindow(hWnd);
  return GetActiveWindow() == hWnd;
}

BOOL IsWindowVisible(HWND hWnd) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  return w && Visible(*w);
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
  bool wasDisabled;
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w) return FALSE;
    wasDisabled = w->Style & WS_DISABLED;
    if (bEnable == !wasDisabled) return wasDisabled;
    if (bEnable)
      w->Style &= ~WS_DISABLED;
    else
      w->Style |= WS_DISABLED;
  }
  if (!bEnable) {
    HWND focus = GetFocus();
    if (focus == hWnd) SetFocus(nullptr);
    if (GetCapture() == hWnd) ReleaseCapture();
  }
  Call(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hWnd) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  return w && !(w->Style & WS_DISABLED);
}

LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_WINDOWPOSCHANGED:
      ClientChanged(hWnd, true);
      return 0;
    case WM_SETTEXT: {
      bool top;
      {
        Lock l(S().M);
        Window* w = Find(hWnd);
        if (!w) return FALSE;
        const char* s = reinterpret_cast<const char*>(lParam);
        w->Text = s ? s : "";
        top = !w->Parent;
      }
      if (IVXDisplay* d = VXCurrentDisplay(); d && top) d->WindowTextChanged(hWnd);
      return TRUE;
    }
    case WM_GETTEXT: {
      Lock l(S().M);
      Window* w = Find(hWnd);
      if (!w) return 0;
      return CopyText(w->Text, reinterpret_cast<char*>(lParam), int(wParam));
    }
    case WM_GETTEXTLENGTH: {
      Lock l(S().M);
      Window* w = Find(hWnd);
      return w ? LRESULT(w->Text.size()) : 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hWnd, &ps);
      EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH br;
      {
        Lock l(S().M);
        Window* w = Find(hWnd);
        br = w && w->Class ? w->Class->Info.hbrBackground : nullptr;
      }
      if (!br) return 0;
      RECT r;
      GetClientRect(hWnd, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, br);
      return 1;
    }
    case WM_SETCURSOR: {
      // The parent decides first; then the class cursor in the client area.
      HWND parent = nullptr;
      HCURSOR cur = nullptr;
      {
        Lock l(S().M);
        Window* w = Find(hWnd);
        if (!w) return FALSE;
        parent = w->Parent;
        cur = w->Class ? w->Class->Info.hCursor : nullptr;
      }
      if (parent && SendMessageW(parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
      if (LOWORD(uintptr_t(lParam)) == 1 /* HTCLIENT */) {
        SetCursor(cur);
        return TRUE;
      }
      return FALSE;
    }
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL: {
      // Unhandled wheel messages go up to the parent.
      HWND parent = GetParent(hWnd);
      if (parent && IsChild(parent, hWnd)) return SendMessageW(parent, Msg, wParam, lParam);
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(hWnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_GESTURE:
      // Unhandled gestures are closed here.
      CloseGestureInfoHandle(reinterpret_cast<HGESTUREINFO>(lParam));
      return 0;
    case WM_NCHITTEST:
    case WM_NCLBUTTONDOWN:
    case WM_NCMOUSEMOVE:
    case WM_NCLBUTTONUP: {
      LRESULT r = 0;
      DefBarMessage(hWnd, Msg, wParam, lParam, r);
      return r;
    }
    case WM_VXDISPLAYCALL: {
      if (std::function<void()> call = TakeDisplayCall(lParam)) call();
      return 0;
    }
    case WM_MOUSEACTIVATE:
      return 1;  // MA_ACTIVATE
  }
  return 0;
}

HWND FindWindowExW(HWND hWndParent, HWND hWndChildAfter, LPCWSTR lpszClass, LPCWSTR lpszWindow) {
  HWND c = hWndChildAfter ? GetWindow(hWndChildAfter, GW_HWNDNEXT) : GetWindow(hWndParent, GW_CHILD);
  for (; c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (lpszClass) {
      char name[256];
      GetClassNameW(c, name, sizeof name);
      if (strcasecmp(name, lpszClass) != 0) continue;
    }
    if (lpszWindow) {
      const int n = GetWindowTextLengthW(c);
      std::string text(size_t(n) + 1, '\0');
      GetWindowTextW(c, text.data(), n + 1);
      text.resize(size_t(n));
      if (text != lpszWindow) continue;
    }
    return c;
  }
  return nullptr;
}

UINT RegisterWindowMessageW(LPCWSTR lpString) {
  if (!lpString || !*lpString) return 0;
  static std::mutex m;
  static auto* names = new std::vector<std::string>();
  std::string key(lpString);
  for (char& ch : key) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  std::lock_guard<std::mutex> l(m);
  for (size_t i = 0; i < names->size(); ++i)
    if ((*names)[i] == key) return UINT(0xC000 + i);
  if (names->size() >= 0x4000) return 0;
  names->push_back(key);
  return UINT(0xC000 + names->size() - 1);
}
