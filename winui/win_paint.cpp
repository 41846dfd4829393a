// Update regions, WM_PAINT and the window device contexts.
#include <algorithm>

#include "winui/display.h"
#include "winui/gdi.h"
#include "winui/win_metrics.h"
#include "winui/win_paint.h"
#include "winui/win_state.h"

using namespace vxwin;

static vxgdi::Region ClientRegion(const Window& w) {
  RECT c = ClientInWindow(w);
  vxgdi::Region r;
  r.SetRect(0, 0, c.right - c.left, c.bottom - c.top);
  return r;
}

static BOOL Invalidate(HWND hWnd, const vxgdi::Region* area, bool erase) {
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w) return FALSE;
    vxgdi::Region add = ClientRegion(*w);
    if (area) add.Intersect(*area);
    if (add.Empty()) return TRUE;
    w->Update.Union(add);
    if (erase) w->Erase = true;
  }
  S().Wake.notify_all();
  return TRUE;
}

static BOOL Validate(HWND hWnd, const vxgdi::Region* area) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w) return FALSE;
  if (area)
    w->Update.Subtract(*area);
  else
    w->Update.Clear();
  if (w->Update.Empty()) w->Erase = false;
  return TRUE;
}

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
  if (!lpRect) return Invalidate(hWnd, nullptr, bErase);
  vxgdi::Region r;
  r.SetRect(lpRect->left, lpRect->top, lpRect->right, lpRect->bottom);
  if (lpRect->left >= lpRect->right || lpRect->top >= lpRect->bottom) return IsWindow(hWnd);
  return Invalidate(hWnd, &r, bErase);
}

BOOL InvalidateRgn(HWND hWnd, HRGN hRgn, BOOL bErase) {
  if (!hRgn) return Invalidate(hWnd, nullptr, bErase);
  vxgdi::Region copy;
  {
    std::lock_guard<std::recursive_mutex> g(vxgdi::Lock());
    vxgdi::Region* r = vxgdi::FindRgn(hRgn);
    if (!r) return FALSE;
    copy = *r;
  }
  return Invalidate(hWnd, &copy, bErase);
}

BOOL ValidateRect(HWND hWnd, const RECT* lpRect) {
  if (!lpRect) return Validate(hWnd, nullptr);
  vxgdi::Region r;
  r.SetRect(lpRect->left, lpRect->top, lpRect->right, lpRect->bottom);
  return Validate(hWnd, &r);
}

BOOL ValidateRgn(HWND hWnd, HRGN hRgn) {
  if (!hRgn) return Validate(hWnd, nullptr);
  vxgdi::Region copy;
  {
    std::lock_guard<std::recursive_mutex> g(vxgdi::Lock());
    vxgdi::Region* r = vxgdi::FindRgn(hRgn);
    if (!r) return FALSE;
    copy = *r;
  }
  return Validate(hWnd, &copy);
}

BOOL GetUpdateRect(HWND hWnd, RECT* lpRect, BOOL /*bErase*/) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w) return FALSE;
  RECT b = w->Update.Box();
  if (lpRect) *lpRect = b;
  return !w->Update.Empty();
}

int GetUpdateRgn(HWND hWnd, HRGN hRgn, BOOL /*bErase*/) {
  vxgdi::Region copy;
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w) return ERROR;
    copy = w->Update;
  }
  std::lock_guard<std::recursive_mutex> g(vxgdi::Lock());
  vxgdi::Region* r = vxgdi::FindRgn(hRgn);
  if (!r) return ERROR;
  *r = copy;
  return r->Kind();
}

BOOL UpdateWindow(HWND hWnd) {
  bool paint;
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w) return FALSE;
    paint = Visible(*w) && (!w->Update.Empty() || w->InternalPaint);
  }
  if (paint) {
    SendMessageW(hWnd, WM_PAINT, 0, 0);
    Lock l(S().M);
    if (Window* w = Find(hWnd)) w->InternalPaint = false;
  }
  return TRUE;
}

BOOL RedrawWindow(HWND hWnd, const RECT* lprcUpdate, HRGN hrgnUpdate, UINT flags) {
  if (!IsWindow(hWnd)) return FALSE;
  if (flags & RDW_INVALIDATE) {
    if (hrgnUpdate)
      InvalidateRgn(hWnd, hrgnUpdate, (flags & RDW_ERASE) != 0);
    else
      InvalidateRect(hWnd, lprcUpdate, (flags & RDW_ERASE) != 0);
  }
  if (flags & RDW_INTERNALPAINT) {
    Lock l(S().M);
    if (Window* w = Find(hWnd)) w->InternalPaint = true;
  }
  if (flags & RDW_VALIDATE) {
    if (hrgnUpdate)
      ValidateRgn(hWnd, hrgnUpdate);
    else
      ValidateRect(hWnd, lprcUpdate);
  }
  if (flags & RDW_ALLCHILDREN) {
    std::vector<HWND> children;
    {
      Lock l(S().M);
      children = Find(hWnd)->Children;
    }
    for (HWND c : children) RedrawWindow(c, nullptr, nullptr, flags);
  }
  if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) UpdateWindow(hWnd);
  return TRUE;
}

HDC BeginPaint(HWND hWnd, PAINTSTRUCT* ps) {
  if (!ps) return nullptr;
  vxgdi::Region area;
  std::shared_ptr<vxgdi::Bitmap> surface;
  bool erase;
  {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w) return nullptr;
    area = w->Update;
    area.Intersect(ClientRegion(*w));
    erase = w->Erase;
    w->Update.Clear();
    w->Erase = false;
    w->InternalPaint = false;
    surface = w->Surface;
  }
  HDC dc = vxgdi::NewWindowDC(hWnd, surface, &area);
  *ps = PAINTSTRUCT{};
  ps->hdc = dc;
  ps->rcPaint = area.Box();
  ps->fErase = TRUE;
  if (erase) ps->fErase = SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
  return dc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* ps) {
  if (!ps) return FALSE;
  vxgdi::FreeWindowDC(ps->hdc);
  NotifySurface(hWnd);
  return TRUE;
}

namespace {

// A DC on a picture of its own (the window with its frame, or the desktop):
// what is drawn on it stays in that picture. Null when the picture's memory
// is refused.
HDC PictureDC(HWND Wnd, int Width, int Height, const std::vector<uint32_t>& Pixels) {
  auto b = std::make_shared<vxgdi::Bitmap>();
  if (Width > 0 && Height > 0) {
    if (!vxgdi::AllocBitmap(*b, Width, Height, 32, true)) return nullptr;
    for (int y = 0; y < Height; ++y) {
      uint8_t* row = b->Row(y);
      const uint32_t* src = Pixels.data() + size_t(y) * size_t(Width);
      for (int x = 0; x < Width; ++x) {
        row[4 * x] = uint8_t(src[x]);
        row[4 * x + 1] = uint8_t(src[x] >> 8);
        row[4 * x + 2] = uint8_t(src[x] >> 16);
      }
    }
  } else {
    b->Width = b->Height = 0;
  }
  return vxgdi::NewWindowDC(Wnd, b, nullptr);
}

HDC DesktopDC() {
  int w = 0, h = 0;
  std::vector<uint32_t> px;
  VXReadDesktopPicture(w, h, px);
  HDC dc = PictureDC(GetDesktopWindow(), w, h, px);
  // Screen coordinates: the virtual screen's corner is the picture's first pixel.
  SetViewportOrgEx(dc, -GetSystemMetrics(SM_XVIRTUALSCREEN), -GetSystemMetrics(SM_YVIRTUALSCREEN), nullptr);
  return dc;
}

}  // namespace

HDC GetDC(HWND hWnd) {
  if (hWnd && hWnd == GetDesktopWindow()) return DesktopDC();
  std::shared_ptr<vxgdi::Bitmap> surface;
  if (hWnd) {
    Lock l(S().M);
    Window* w = Find(hWnd);
    if (!w) return nullptr;
    surface = w->Surface;
  }
  return vxgdi::NewWindowDC(hWnd, surface, nullptr);
}

HDC GetWindowDC(HWND hWnd) {
  if (!hWnd || hWnd == GetDesktopWindow()) return DesktopDC();
  int w = 0, h = 0;
  std::vector<uint32_t> px;
  if (!VXReadWindowPicture(hWnd, w, h, px)) return nullptr;
  return PictureDC(hWnd, w, h, px);
}

int ReleaseDC(HWND hWnd, HDC hDC) {
  std::shared_ptr<vxgdi::Bitmap> surface;
  {
    std::lock_guard<std::recursive_mutex> g(vxgdi::Lock());
    vxgdi::DC* dc = vxgdi::FindDC(hDC);
    if (!dc || dc->Memory || dc->Window != hWnd) return 0;
    surface = dc->Surface;
  }
  vxgdi::FreeWindowDC(hDC);
  // A DC on a picture of its own changed nothing the display shows.
  bool own = false;
  if (hWnd) {
    Lock l(S().M);
    Window* w = Find(hWnd);
    own = w && w->Surface == surface;
  }
  if (own) NotifySurface(hWnd);
  return 1;
}

HWND WindowFromDC(HDC hDC) {
  std::lock_guard<std::recursive_mutex> g(vxgdi::Lock());
  vxgdi::DC* dc = vxgdi::FindDC(hDC);
  return dc ? dc->Window : nullptr;
}

bool VXReadSurface(HWND Wnd, int& Width, int& Height, std::vector<uint32_t>& Pixels) {
  std::shared_ptr<vxgdi::Bitmap> s;
  {
    Lock l(S().M);
    Window* w = Find(Wnd);
    if (!w) return false;
    s = w->Surface;
  }
  std::lock_guard<std::recursive_mutex> g(vxgdi::Lock());
  Width = s ? s->Width : 0;
  Height = s ? s->Height : 0;
  Pixels.assign(size_t(Width) * size_t(Height), 0);
  for (int y = 0; y < Height; ++y) {
    const uint8_t* row = s->Row(y);
    for (int x = 0; x < Width; ++x)
      Pixels[size_t(y) * size_t(Width) + size_t(x)] =
          uint32_t(row[x * 4]) | (uint32_t(row[x * 4 + 1]) << 8) | (uint32_t(row[x * 4 + 2]) << 16);
  }
  return true;
}
