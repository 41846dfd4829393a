#pragma once
// The file readers the clipboard's paste needs live in a higher library
// (io/), whose start-up fills these slots; an empty slot pastes nothing from
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
