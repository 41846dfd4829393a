// Start-up and shut-down of the processing module.
#include <atomic>

#include "core/colorreduce.h"
#include "platform/win_clipboard.h"
#include "proc/filters.h"
#include "proc/proc.h"

namespace {
std::atomic<uint32_t> gRawClipboardFormat{0};
}  // namespace

void VXProcUnitInit() {
  VXInitExpand1BitTable();
  VXCreateFilterPresets();
  gRawClipboardFormat = RegisterClipboardFormatW("VEXLANE RAW FORMAT");
}

void VXProcUnitFinal() { VXFreeFilterPresets(); }

uint32_t VXRawClipboardFormat() { return gRawClipboardFormat; }
