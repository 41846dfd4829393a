#include "winui/win_fontdlg.h"

#include <mutex>
#include <utility>

namespace {

std::mutex gLock;
TChooseFontHandler gHandler;

}  // namespace

BOOL ChooseFontW(CHOOSEFONTW* lpcf) {
  if (!lpcf || lpcf->lStructSize < sizeof(CHOOSEFONTW) || !lpcf->lpLogFont) return FALSE;
  TChooseFontHandler h;
  {
    std::lock_guard g(gLock);
    h = gHandler;
  }
  if (!h) return FALSE;
  CHOOSEFONTW work = *lpcf;
  LOGFONTW lf = *lpcf->lpLogFont;
  work.lpLogFont = &lf;
  if (!h(work)) return FALSE;
  *lpcf->lpLogFont = lf;
  lpcf->iPointSize = work.iPointSize;
  if (lpcf->Flags & CF_EFFECTS) lpcf->rgbColors = work.rgbColors & 0x00FFFFFFu;
  return TRUE;
}

TChooseFontHandler SetChooseFontHandler(TChooseFontHandler Handler) {
  std::lock_guard g(gLock);
  return std::exchange(gHandler, std::move(Handler));
}
