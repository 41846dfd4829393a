#pragma once
// The file readers that the processing component's clipboard paste needs live
// in the I/O library (io/), which is not below the processing library: the
// I/O module's start-up fills these slots. An empty slot pastes nothing from
// that format.

#include <cstdint>

class TVXBitmap;
class TMetafile;

struct TVXClipboardHooks {
  // Loads the PNG file of Size bytes at Data into Target; false (Target in
  // any state) when nothing could be loaded.
  bool (*LoadPNG)(const void* Data, int32_t Size, TVXBitmap* Target) = nullptr;
  // Renders the metafile at its own size into Target, with alpha; false when
  // nothing was drawn.
  bool (*ImportMetaFile)(TMetafile* Meta, TVXBitmap* Target) = nullptr;
};

extern constinit TVXClipboardHooks VXClipboardHooks;
