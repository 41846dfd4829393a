#include "core/printlog.h"

TVXPrintLogProc VXPrintLogHook = nullptr;

void VXPrintLogLine(const std::string& Text) {
  if (VXPrintLogHook != nullptr) VXPrintLogHook(Text);
}
