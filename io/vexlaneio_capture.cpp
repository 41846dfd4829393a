// TVexlaneIO: copies of the screen or a window (CaptureFromScreen) and the
// shell's thumbnail of a file (LoadThumbnailFromExplorer).

#include <algorithm>
#include <cstring>
#include <string>

#include "core/bitmap.h"
#include "core/dibbitmap.h"
#include "core/explorer_thumbnail.h"
#include "core/settings.h"
#include "core/textutils.h"
#include "gui/graphics.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "winui/gdi.h"
#include "winui/win_icon.h"
#include "winui/win_input.h"
#include "winui/win_metrics.h"
#include "winui/win_paint.h"
#include "winui/win_window.h"

namespace {

constexpr TCursor kNoCursor = -1;  // crNone

// What a capture copies: the window whose device context is read, the
// rectangle in that context, and the rectangle's corner on the screen.
struct TCaptureArea {
  HWND Wnd = nullptr;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  POINT ScreenCorner{0, 0};
};

TCaptureArea CaptureArea(TVXCSSource Source) {
  const TVXOpSys os = VXGetGlobalSettings()->OpSys();
  const bool multiMonitor = os != vxosWin95 && os != vxosWinNT4;
  TCaptureArea a;
  switch (Source) {
    case vxcsScreen:
      a.Wnd = GetDesktopWindow();
      if (multiMonitor) {
        a.Left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        a.Top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        a.Width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        a.Height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
      } else {
        a.Width = GetSystemMetrics(SM_CXSCREEN);
        a.Height = GetSystemMetrics(SM_CYSCREEN);
      }
      a.ScreenCorner = POINT{a.Left, a.Top};
      break;
    case vxcsPrimary: {
      a.Wnd = GetDesktopWindow();
      a.Width = GetSystemMetrics(SM_CXSCREEN);
      a.Height = GetSystemMetrics(SM_CYSCREEN);
      MONITORINFO mi;
      if (multiMonitor && GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi)) {
        a.Width = mi.rcMonitor.right - mi.rcMonitor.left;
        a.Height = mi.rcMonitor.bottom - mi.rcMonitor.top;
      }
      break;
    }
    case vxcsForegroundWindow: {
      HWND fg = GetForegroundWindow();
      RECT r;
      if (!fg || !GetWindowRect(fg, &r)) break;
      a.Wnd = fg;
      if (IsZoomed(fg)) {
        // The frame beyond the screen's left and top edges is left out.
        a.Left = r.left < 0 ? -r.left : 0;
        a.Top = r.top < 0 ? -r.top : 0;
        a.Width = r.right - a.Left;
        a.Height = r.bottom - a.Top;
      } else {
        a.Width = r.right - r.left;
        a.Height = r.bottom - r.top;
      }
      a.ScreenCorner = POINT{r.left + a.Left, r.top + a.Top};
      break;
    }
    case vxcsForegroundWindowClient: {
      HWND fg = GetForegroundWindow();
      RECT c;
      POINT o{0, 0};
      if (!fg || !GetClientRect(fg, &c) || !ClientToScreen(fg, &o)) break;
      a.Wnd = GetDesktopWindow();
      a.Left = o.x;
      a.Top = o.y;
      a.Width = c.right - c.left;
      a.Height = c.bottom - c.top;
      a.ScreenCorner = o;
      break;
    }
  }
  return a;
}

}  // namespace

void TVexlaneIO::CaptureFromScreen(TVXCSSource Source, TCursor MouseCursor) {
  if (AsyncStartWanted()) {
    TVXIOThread::CreateCaptureFromScreen(
        this, [this](TVXCSSource s, TCursor c) { CaptureFromScreen(s, c); }, Source, MouseCursor);
    return;
  }
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) return;
  POINT cursor{0, 0};
  GetCursorPos(&cursor);
  // Whatever MouseCursor names, the arrow is what is drawn.
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  POINT hot{0, 0};
  ICONINFO ii;
  if (arrow && GetIconInfo(arrow, &ii)) {
    hot = POINT{LONG(ii.xHotspot), LONG(ii.yHotspot)};
    DeleteObject(ii.hbmMask);
    DeleteObject(ii.hbmColor);
  }
  const TCaptureArea a = CaptureArea(Source);
  if (a.Wnd && a.Width > 0 && a.Height > 0) {
    const POINT p{cursor.x - a.ScreenCorner.x - hot.x, cursor.y - a.ScreenCorner.y - hot.y};
    TVXDibbitmap shot;
    HDC dc = nullptr;
    if (shot.AllocateBits(uint32_t(a.Width), uint32_t(a.Height), 24) && (dc = GetWindowDC(a.Wnd))) {
      BitBlt(shot.GetHDC(), 0, 0, a.Width, a.Height, dc, a.Left, a.Top, SRCCOPY);
      if (MouseCursor != kNoCursor)
        DrawIconEx(shot.GetHDC(), p.x, p.y, arrow, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
      if (fVXBitmap->Allocate(a.Width, a.Height, vx24RGB)) {
        const size_t row = size_t(std::min<int64_t>(fVXBitmap->RowLen(), shot.Rowlen()));
        for (int32_t y = 0; y < a.Height; ++y) std::memcpy(fVXBitmap->Scanline(y), shot.Scanline(y), row);
      }
      shot.FreeBits();
      ReleaseDC(a.Wnd, dc);
      TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
      fParams->SetDpiX(settings->SystemDPIX());
      fParams->SetDpiY(settings->SystemDPIY());
      Update();
    }
    // Without the window's device context the section is freed (by its
    // destructor) and the work still ends.
  }
  DoFinishWork();
}

bool TVexlaneIO::LoadThumbnailFromExplorer(const std::string& FileName, int32_t iDesiredWidth,
                                           int32_t iDesiredHeight) {
  if (!fVXBitmap) return false;
  bool result = false;
  TBitmap thumb;
  bool loaded = false;
  if (!FileName.empty()) {
    SetAborting(false);
    if (VXGetExplorerThumbnail(FileName, &thumb, iDesiredWidth, iDesiredHeight) && thumb.Width() >= 10) {
      fVXBitmap->CopyFromTBitmap(&thumb);
      fParams->ResetInfo();
      fParams->SetFileName(FileName);
      int32_t type = VXFindFileFormat(FileName, false);
      if (type == 0) {
        if (VXFileExtInList(FileName, "*.wmv;"))
          type = 22;
        else if (VXFileExtInList(FileName, "*.mpe;*.mpg;*.mpeg;"))
          type = 23;
      }
      fParams->SetFileType(type);
      result = !Aborting();
      loaded = true;
    }
  }
  if (!loaded) SetAborting(true);
  DoFinishWork();
  return result;
}
