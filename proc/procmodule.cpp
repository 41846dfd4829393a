// Start-up and shut-down of the processing module.
#include <atomic>

#include "core/colorreduce.h"
#include "platform/win_clipboard.h"
#include "proc/proc.h"

namespace {
std::atomic<uint32_t> gRawClipboardFormat{0};
}  // namespace

void VXProcUnitInit() {
  VXInitExpand1BitTable();
  gRawClipboardFormat = RegisterClipboardFormatW("VEXLANE RAW FORMAT");
}

void VXProcUnitFinal() {}

uint32_t VXRawClipboardFormat() { return gRawClipboardFormat; }
