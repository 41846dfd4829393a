// Global memory blocks: movable, shareable heap blocks that know their size, as
// the clipboard, printing and device-independent bitmaps exchange them. A
// loaded module resource (LoadResource) is a block of the same handle type
// that the program does not own: it can be locked and measured but not freed.
#pragma once
#include <cstddef>
#include <cstdint>

struct TGlobalBlock;
using HGLOBAL = TGlobalBlock*;

constexpr uint32_t GMEM_FIXED = 0x0000;
constexpr uint32_t GMEM_MOVEABLE = 0x0002;
constexpr uint32_t GMEM_ZEROINIT = 0x0040;
constexpr uint32_t GMEM_SHARE = 0x2000;
constexpr uint32_t GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// A new block of Bytes bytes, zero-filled whatever the flags; nullptr when the
// memory cannot be had.
HGLOBAL GlobalAlloc(uint32_t Flags, size_t Bytes);
// The block's address, counting one more lock; nullptr for a null handle or a
// block of 0 bytes.
void* GlobalLock(HGLOBAL Mem);
// Releases one lock: true while the block stays locked, false once it is
// unlocked (or was not locked).
bool GlobalUnlock(HGLOBAL Mem);
// Size in bytes given at allocation (0 for a null handle).
size_t GlobalSize(HGLOBAL Mem);
// Releases the block: nullptr on success, the handle itself when it cannot be
// freed (a resource). A null handle is ignored.
HGLOBAL GlobalFree(HGLOBAL Mem);

// The block record, also embedded in each registered resource.
struct TGlobalBlock {
  void* Data = nullptr;
  size_t Size = 0;
  int32_t LockCount = 0;
  uint32_t Flags = 0;
  bool Resource = false;  // owned by the resource table, never freed
};
