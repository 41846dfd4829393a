// The window of a modeless TWAIN acquisition: it receives the source's
// notifications through the application's message loop and hands them to the
// engine's message hook. Freeing it closes the acquisition.
#pragma once
#include "acquire/twain_engine.h"
#include "gui/controls.h"

class TVXProxyWin : public TWinControl {
public:
  TVXProxyWin(TComponent* AOwner, tgrec* xgrec);
  ~TVXProxyWin() override;
  void WndProc(TMessage& Message) override;
  tgrec* grec = nullptr;
};
