// TVXFileBuffer: the temporary-file (or memory) store of rows.

#include "core/filebuffer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/settings.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "core/textutils.h"
#include "core/vxdefs.h"

namespace {
constexpr int64_t kCopyChunk = 1048576;

void RemoveFile(const std::string& name) {
  if (!name.empty()) std::remove(name.c_str());
}
}  // namespace

TVXFileBuffer::TVXFileBuffer() = default;

TVXFileBuffer::~TVXFileBuffer() {
  try {
    DeAllocate();
  } catch (...) {
    // A failing write-back while destroying cannot be reported.
  }
}

int64_t TVXFileBuffer::Size() const { return fSimFile ? fSimFile->Size() : 0; }

bool TVXFileBuffer::AllocateFile(int64_t InSize, const std::string& Descriptor, bool UseDisk) {
  if (IsAllocated()) DeAllocate();
  if (InSize < 0) return false;
  try {
    std::string path = VXGetGlobalSettings()->DefTempPath();
    if (path.empty())
      path = VXGetSystemTempPath();
    else if (path.back() != '/')
      path += '/';
    VXGetTempFileName(Descriptor, path, fFileName);
    if (UseDisk) {
      fSimFile = std::make_unique<TVXTemporaryFileStream>(fFileName);
    } else {
      RemoveFile(fFileName);  // the name is kept, the file is not used
      fSimFile = std::make_unique<TMemoryStream>();
    }
    fSimFile->SetSize(InSize);
    if (fSimFile->Size() != InSize) {
      DeAllocate();
      return false;
    }
    return true;
  } catch (...) {
    // The store cannot be had: no file is left behind.
    fMapped.clear();
    fSimFile.reset();
    RemoveFile(fFileName);
    return false;
  }
}

void TVXFileBuffer::ReAllocateFile(int64_t NewSize) {
  if (!fSimFile) throw EVXException("The file buffer is not allocated");
  fSimFile->SetSize(NewSize);
}

void TVXFileBuffer::DeAllocate() {
  if (!IsAllocated()) return;
  try {
    UnMapAll();
  } catch (...) {
    for (TMapping& m : fMapped) std::free(m.Data);
    fMapped.clear();
    fSimFile.reset();
    RemoveFile(fFileName);
    throw;
  }
  fSimFile.reset();
  RemoveFile(fFileName);
}

void* TVXFileBuffer::Map(int64_t InPos, int64_t InSize, TVXDataAccess DataAccess) {
  if (InPos < 0 || InSize < 0 || uint64_t(InSize) > SIZE_MAX) return nullptr;
  uint8_t* data = static_cast<uint8_t*>(std::calloc(InSize == 0 ? 1 : size_t(InSize), 1));
  if (!data) return nullptr;
  if (fSimFile && (DataAccess & vxdRead) && InSize > 0) {
    // Bytes beyond the end of the store stay zero.
    const int64_t size = fSimFile->Size();
    const int64_t avail = InPos < size ? std::min(InSize, size - InPos) : 0;
    if (avail > 0) {
      fSimFile->SetPosition(InPos);
      int64_t done = 0;
      while (done < avail) {
        const int64_t n = fSimFile->Read(data + done, avail - done);
        if (n <= 0) break;
        done += n;
      }
    }
  }
  fMapped.push_back(TMapping{InPos, InSize, data, DataAccess});
  return data;
}

void TVXFileBuffer::Release(size_t index) {
  TMapping m = fMapped[index];
  fMapped.erase(fMapped.begin() + std::ptrdiff_t(index));
  struct Freer {
    uint8_t* p;
    ~Freer() { std::free(p); }
  } freer{m.Data};
  if ((m.Access & vxdWrite) && fSimFile && m.Size > 0) {
    fSimFile->SetPosition(m.Pos);
    fSimFile->WriteBuffer(m.Data, m.Size);
  }
}

void TVXFileBuffer::UnMap(void* ptr) {
  for (size_t i = 0; i < fMapped.size(); ++i) {
    if (fMapped[i].Data == ptr) {
      Release(i);
      return;
    }
  }
  throw EVXException("List index out of bounds: the address is not mapped");
}

void TVXFileBuffer::UnMapAll() {
  if (!IsAllocated()) return;
  while (!fMapped.empty()) Release(fMapped.size() - 1);
}

void TVXFileBuffer::CopyTo(TVXFileBuffer* Dest, int64_t InPos, int64_t InSize) {
  if (!Dest || !IsAllocated() || !Dest->IsAllocated() || InPos < 0 || InSize <= 0) return;
  UnMapAll();
  Dest->UnMapAll();
  std::vector<uint8_t> buf(size_t(std::min(InSize, kCopyChunk)));
  fSimFile->SetPosition(InPos);
  Dest->fSimFile->SetPosition(InPos);
  int64_t left = InSize;
  while (left > 0) {
    const int64_t n = std::min(left, kCopyChunk);
    const int64_t got = fSimFile->Read(buf.data(), n);
    if (got < n) std::memset(buf.data() + std::max<int64_t>(got, 0), 0, size_t(n - std::max<int64_t>(got, 0)));
    Dest->fSimFile->WriteBuffer(buf.data(), n);
    left -= n;
  }
}

void TVXFileBuffer::CopyTo(TStream* Dest, int64_t InPos, int64_t InSize) {
  if (!Dest || !IsAllocated()) return;
  UnMapAll();
  fSimFile->SetPosition(InPos);
  VXCopyStreamRange(Dest, fSimFile.get(), InSize);
}
