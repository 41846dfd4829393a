#pragma once
// One entry of the processing component's undo or redo history (private to
// the component's implementation files).

#include <memory>
#include <string>

#include "core/bitmap.h"
#include "core/streams.h"
#include "proc/proc.h"

struct TVexlaneProc::TVXUndoEntry {
  std::unique_ptr<TVXBitmap> Image;
  std::unique_ptr<TMemoryStream> Stream;
  TVXUndoSource Source = vxuUnknown;
  std::string Caption;
  int32_t MViewIndex = 0;

  void* Object() const { return Image ? static_cast<void*>(Image.get()) : static_cast<void*>(Stream.get()); }
};
