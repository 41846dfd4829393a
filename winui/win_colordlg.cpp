#include "winui/win_colordlg.h"

#include <mutex>
#include <utility>

namespace {

std::mutex gLock;
TChooseColorHandler gHandler;

}  // namespace

BOOL ChooseColorW(CHOOSECOLORW* lpcc) {
  if (!lpcc || lpcc->lStructSize < sizeof(CHOOSECOLORW) || !lpcc->lpCustColors) return FALSE;
  TChooseColorHandler h;
  {
    std::lock_guard g(gLock);
    h = gHandler;
  }
  if (!h) return FALSE;
  CHOOSECOLORW work = *lpcc;
  if (!h(work)) {
    // Custom colours edited in a cancelled dialog are kept, as the system does.
    return FALSE;
  }
  lpcc->rgbResult = work.rgbResult & 0x00FFFFFFu;
  return TRUE;
}

TChooseColorHandler SetChooseColorHandler(TChooseColorHandler Handler) {
  std::lock_guard g(gLock);
  return std::exchange(gHandler, std::move(Handler));
}
