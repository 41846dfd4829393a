// Start-up and shut-down of the processing module.
#include <atomic>

#include "core/colorreduce.h"
#include "platform/win_clipboard.h"
#include "proc/filters.h"
#include "proc/proc.h"
#include "proc/resample.h"

namespace {
std::atomic<uint32_t> gRawClipboardFormat{0};
}  // namespace

void VXProcUnitInit() {
  VXInitExpand1BitTable();
  VXCreateFilterPresets();
  gRawClipboardFormat = RegisterClipboardFormatW("VEXLANE RAW FORMAT");
  VXProcRegisterResampleHooks();
}

void VXProcUnitFinal() {
  VXFreeFilterPresets();
  VXProcUnregisterResampleHooks();
}

uint32_t VXRawClipboardFormat() { return gRawClipboardFormat; }
