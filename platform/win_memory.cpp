#include "platform/win_memory.h"

#include <cstdlib>
#include <new>

HGLOBAL GlobalAlloc(uint32_t Flags, size_t Bytes) {
  auto* block = new (std::nothrow) TGlobalBlock;
  if (block == nullptr) return nullptr;
  if (Bytes > 0) {
    block->Data = std::calloc(Bytes, 1);
    if (block->Data == nullptr) {
      delete block;
      return nullptr;
    }
  }
  block->Size = Bytes;
  block->Flags = Flags;
  return block;
}

void* GlobalLock(HGLOBAL Mem) {
  if (Mem == nullptr || Mem->Data == nullptr) return nullptr;
  if (!Mem->Resource) ++Mem->LockCount;
  return Mem->Data;
}

bool GlobalUnlock(HGLOBAL Mem) {
  if (Mem == nullptr || Mem->Resource || Mem->LockCount <= 0) return false;
  return --Mem->LockCount > 0;
}

size_t GlobalSize(HGLOBAL Mem) { return Mem ? Mem->Size : 0; }

HGLOBAL GlobalFree(HGLOBAL Mem) {
  if (Mem == nullptr) return nullptr;
  if (Mem->Resource) return Mem;
  std::free(Mem->Data);
  delete Mem;
  return nullptr;
}
