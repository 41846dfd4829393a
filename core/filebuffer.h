#pragma once
// TVXFileBuffer: the backing store of rows that do not live in memory. The
// store is a temporary file (deleted when closed) or a memory stream; callers
// map a byte range, which yields a heap copy, work on the copy and unmap it,
// which writes the copy back when it was mapped for writing.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/pixels.h"

class TStream;

class TVXFileBuffer {
 public:
  TVXFileBuffer();
  ~TVXFileBuffer();
  TVXFileBuffer(const TVXFileBuffer&) = delete;
  TVXFileBuffer& operator=(const TVXFileBuffer&) = delete;

  bool IsAllocated() const { return fSimFile != nullptr; }
  // Creates the store of InSize bytes (zeros): a temporary file named
  // Descriptor-XXXXXXXX.tmp in the settings' DefTempPath or the system's
  // temporary folder when UseDisk, else a memory stream. Never raises; false
  // when the store cannot be created or cannot hold InSize bytes.
  bool AllocateFile(int64_t InSize, const std::string& Descriptor, bool UseDisk);
  // Sets the size of the store (which must be allocated).
  void ReAllocateFile(int64_t NewSize);
  // Releases every mapping (writing back those mapped for writing), closes
  // the store and deletes its file.
  void DeAllocate();
  // A heap copy of InSize bytes at InPos. With vxdRead it is filled from the
  // store; bytes past the end of the store, and all bytes without vxdRead,
  // read as zeros. nullptr for a negative position or size or when the copy
  // cannot be allocated.
  void* Map(int64_t InPos, int64_t InSize, TVXDataAccess DataAccess);
  // Releases a mapping, writing it back when it was mapped with vxdWrite.
  // Raises EVXException for an address that is not mapped.
  void UnMap(void* ptr);
  // Releases all mappings, last to first.
  void UnMapAll();
  // Copies InSize bytes at InPos into Dest's store at the same position, in
  // 1 MiB chunks; nothing unless both are allocated.
  void CopyTo(TVXFileBuffer* Dest, int64_t InPos, int64_t InSize);
  // Copies InSize bytes at InPos to Dest at its position.
  void CopyTo(TStream* Dest, int64_t InPos, int64_t InSize);

  const std::string& FileName() const { return fFileName; }
  // Size of the store in bytes (0 when not allocated).
  int64_t Size() const;

 private:
  struct TMapping {
    int64_t Pos;
    int64_t Size;
    uint8_t* Data;
    TVXDataAccess Access;
  };
  void Release(size_t index);

  std::unique_ptr<TStream> fSimFile;
  std::string fFileName;
  std::vector<TMapping> fMapped;
};
