#include "core/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <type_traits>
#include <vector>

#include "platform/win_errors.h"

// ---------------------------------------------------------------------------
// TStream

void TStream::SetSize(int64_t /*NewSize*/) {}

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t result = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return result;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
  if (Count <= 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  const int64_t kMaxBuf = 0xF000;
  std::vector<uint8_t> buf(size_t(std::max<int64_t>(1, std::min(Count, kMaxBuf))));
  int64_t left = Count;
  while (left > 0) {
    int64_t n = std::min<int64_t>(left, int64_t(buf.size()));
    Source->ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return Count;
}

// ---------------------------------------------------------------------------
// THandleStream

namespace {

// Calls Transfer (::read or ::write) on pieces of at most 1 GiB until Count
// bytes are done, the data end or an error stops it (an interrupted call is
// made again); the bytes done.
template <typename TByte>
int64_t TransferAll(int Handle, TByte* Buffer, int64_t Count, ssize_t (*Transfer)(int, TByte*, size_t)) {
  if (Count <= 0 || Handle < 0) return 0;
  auto* p = static_cast<std::conditional_t<std::is_const_v<TByte>, const uint8_t, uint8_t>*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    ssize_t r = Transfer(Handle, p + done, size_t(std::min<int64_t>(Count - done, 1 << 30)));
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (r == 0) break;
    done += r;
  }
  return done;
}

}  // namespace

int64_t THandleStream::Read(void* Buffer, int64_t Count) { return TransferAll<void>(fHandle, Buffer, Count, ::read); }

int64_t THandleStream::Write(const void* Buffer, int64_t Count) {
  return TransferAll<const void>(fHandle, Buffer, Count, ::write);
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int whence = Origin == soCurrent ? SEEK_CUR : Origin == soEnd ? SEEK_END : SEEK_SET;
  off_t r = ::lseek(fHandle, off_t(Offset), whence);
  return r < 0 ? -1 : int64_t(r);
}

void THandleStream::SetSize(int64_t NewSize) {
  Seek(NewSize, soBeginning);
  if (NewSize < 0 || ::ftruncate(fHandle, off_t(NewSize)) != 0)
    throw EStreamError(std::string("Unable to set the stream size. ") + std::strerror(errno ? errno : EINVAL));
}

// ---------------------------------------------------------------------------
// TVXWideFileStream

namespace {
std::string FullPath(const std::string& FileName) {
  try {
    return std::filesystem::absolute(std::filesystem::path(FileName)).lexically_normal().string();
  } catch (...) {
    return FileName;
  }
}

// A file that nobody may write cannot be opened for writing, whoever asks.
bool IsReadOnlyFile(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }
}  // namespace

TVXWideFileStream::TVXWideFileStream(const std::string& FileName, uint16_t Mode)
    : THandleStream(-1), FFileName(FileName) {
  if (Mode == fmCreate) {
    int err = 0;
    struct stat st {};
    if (::stat(FileName.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode))
        err = EISDIR;
      else if (IsReadOnlyFile(st))
        err = EACCES;
    }
    if (!err) {
      fHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      if (fHandle < 0) err = errno;
    }
    if (err)
      throw EFCreateError("Cannot create file \"" + FullPath(FileName) + "\". " + std::strerror(err));
    return;
  }
  int access = Mode & 3;
  int share = (Mode >> 4) & 0xF;
  int err = 0;
  if (access == 3 || share > 4) {
    err = EINVAL;
  } else {
    int flags = (access == 0 ? O_RDONLY : access == 1 ? O_WRONLY : O_RDWR) | O_CLOEXEC;
    struct stat st {};
    if (::stat(FileName.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode))
        err = EISDIR;
      else if (access != 0 && IsReadOnlyFile(st))
        err = EACCES;
    }
    if (!err) {
      fHandle = ::open(FileName.c_str(), flags);
      if (fHandle < 0) err = errno;
    }
  }
  if (err) throw EFOpenError("Cannot open file \"" + FullPath(FileName) + "\". " + std::strerror(err));
}

TVXWideFileStream::~TVXWideFileStream() {
  if (fHandle >= 0) ::close(fHandle);
}

// ---------------------------------------------------------------------------
// TVXTemporaryFileStream

TVXTemporaryFileStream::TVXTemporaryFileStream(const std::string& FileName) : THandleStream(-1) {
  fHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fHandle < 0) throw EInOutError("Unable to create " + FileName);
  // The name goes at once; the data live until the handle is closed.
  ::unlink(FileName.c_str());
}

TVXTemporaryFileStream::~TVXTemporaryFileStream() {
  if (fHandle >= 0) ::close(fHandle);
}

// ---------------------------------------------------------------------------
// Memory streams

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count) {
  if (fPosition >= 0 && Count > 0) {
    int64_t avail = fSize - fPosition;
    if (avail > 0) {
      int64_t n = std::min(avail, Count);
      std::memcpy(Buffer, static_cast<uint8_t*>(fMemory) + fPosition, size_t(n));
      fPosition += n;
      return n;
    }
  }
  return 0;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning:
      fPosition = Offset;
      break;
    case soCurrent:
      fPosition += Offset;
      break;
    case soEnd:
      fPosition = fSize + Offset;
      break;
  }
  return fPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* Stream) {
  if (fSize != 0) Stream->WriteBuffer(fMemory, fSize);
}

void TCustomMemoryStream::SaveToFile(const std::string& FileName) {
  TVXWideFileStream f(FileName, fmCreate);
  SaveToStream(&f);
}

TMemoryStream::~TMemoryStream() { std::free(fMemory); }

void TMemoryStream::Reserve(int64_t NewCapacity) {
  if (NewCapacity <= fCapacity) return;
  // Grow in 8 KB steps, at least by half of the present capacity.
  int64_t cap = std::max(NewCapacity, fCapacity + fCapacity / 2);
  cap = (cap + 8191) & ~int64_t(8191);
  void* p = (cap > 0 && uint64_t(cap) <= SIZE_MAX / 2) ? std::realloc(fMemory, size_t(cap)) : nullptr;
  if (!p) throw EStreamError("Out of memory while expanding memory stream");
  fMemory = p;
  fCapacity = cap;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (fPosition < 0 || Count <= 0) return 0;
  int64_t end = fPosition + Count;
  if (end > fSize) {
    Reserve(end);
    if (fPosition > fSize) std::memset(static_cast<uint8_t*>(fMemory) + fSize, 0, size_t(fPosition - fSize));
    fSize = end;
  }
  std::memcpy(static_cast<uint8_t*>(fMemory) + fPosition, Buffer, size_t(Count));
  fPosition = end;
  return Count;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  if (NewSize > fSize) {
    Reserve(NewSize);
    std::memset(static_cast<uint8_t*>(fMemory) + fSize, 0, size_t(NewSize - fSize));
  }
  fSize = NewSize;
  if (fPosition > NewSize) fPosition = NewSize;
}

void TMemoryStream::Clear() {
  std::free(fMemory);
  fMemory = nullptr;
  fCapacity = 0;
  fSize = 0;
  fPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  int64_t count = Stream->Size();
  SetSize(count);
  if (count != 0) Stream->ReadBuffer(fMemory, count);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TVXWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

int64_t TVXMemStream::Write(const void* /*Buffer*/, int64_t /*Count*/) { return 0; }
void TVXMemStream::SetSize(int64_t /*NewSize*/) {}

// ---------------------------------------------------------------------------
// TNulStream

int64_t TNulStream::Read(void* /*Buffer*/, int64_t Count) {
  if (Count <= 0) return 0;
  fposition += Count;
  if (fposition > fsize) fsize = fposition;
  return Count;
}

int64_t TNulStream::Write(const void* /*Buffer*/, int64_t Count) {
  if (Count <= 0) return 0;
  fposition += Count;
  if (fposition > fsize) fsize = fposition;
  return Count;
}

int64_t TNulStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning:
      fposition = Offset;
      if (fposition >= fsize) fsize = fposition;
      break;
    case soCurrent:
      fposition += Offset;
      if (fposition >= fsize) fsize = fposition;
      break;
    case soEnd:
      fposition = fsize - Offset;
      break;
  }
  return fposition;
}

// ---------------------------------------------------------------------------
// TVXBufferedReadStream

TVXBufferedReadStream::TVXBufferedReadStream(TStream* InputStream, int32_t BufferSize, bool UseRelativePosition)
    : fStream(InputStream), fBufferSize(std::max<int32_t>(1, BufferSize)) {
  int64_t pos = fStream->Position();
  fRelativePosition = UseRelativePosition ? pos : 0;
  fSize = fStream->Size();
  fPosition = pos;
  // No larger than what there is to read: a small file takes a small buffer.
  fBufferSize = int32_t(std::clamp<int64_t>(fSize - pos, 1, fBufferSize));
  fMemory = std::make_unique_for_overwrite<uint8_t[]>(size_t(fBufferSize));
  Fill();
}

TVXBufferedReadStream::~TVXBufferedReadStream() {
  try {
    fStream->Seek(fPosition, soBeginning);
  } catch (...) {
  }
}

void TVXBufferedReadStream::Fill() {
  fPositionBuf = 0;
  fBufferLen = 0;
  fStream->Seek(fPosition, soBeginning);
  int64_t n = std::min<int64_t>(fSize - fPosition, fBufferSize);
  if (n <= 0) return;
  int64_t r = fStream->Read(fMemory.get(), n);
  fBufferLen = int32_t(std::clamp<int64_t>(r, 0, n));
}

int64_t TVXBufferedReadStream::Read(void* Buffer, int64_t Count) {
  fOverPosition = false;
  if (Count < 1) return 0;
  int64_t remain = fSize - fPosition;
  if (remain < Count) {
    fOverPosition = true;
    Count = std::max<int64_t>(0, remain);
  }
  auto* dst = static_cast<uint8_t*>(Buffer);
  int64_t copied = 0;
  while (copied < Count) {
    if (fPositionBuf >= fBufferLen) {
      Fill();
      if (fBufferLen == 0) {  // the inner stream ended early
        fOverPosition = true;
        break;
      }
    }
    int64_t n = std::min<int64_t>(Count - copied, fBufferLen - fPositionBuf);
    std::memcpy(dst + copied, fMemory.get() + fPositionBuf, size_t(n));
    fPositionBuf += int32_t(n);
    fPosition += n;
    copied += n;
  }
  return copied;
}

int64_t TVXBufferedReadStream::Write(const void* /*Buffer*/, int64_t /*Count*/) {
  throw EVXException("TVXBufferedReadStream cannot write!");
}

int64_t TVXBufferedReadStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  fOverPosition = false;
  int64_t target;
  switch (Origin) {
    case soBeginning:
      target = fRelativePosition + Offset;
      break;
    case soCurrent:
      target = fPosition + Offset;
      break;
    case soEnd:
      target = fSize - Offset;
      break;
    default:
      target = fPosition;
      break;
  }
  if (target < 0) target = 0;
  if (target >= fSize) {
    target = fSize;
    fOverPosition = true;
  }
  int64_t bufStart = fPosition - fPositionBuf;
  if (target >= bufStart && target < bufStart + fBufferLen) {
    fPositionBuf = int32_t(target - bufStart);
    fPosition = target;
  } else {
    fPosition = target;
    Fill();
  }
  return fPosition - fRelativePosition;
}

// ---------------------------------------------------------------------------
// TVXBufferedWriteStream

TVXBufferedWriteStream::TVXBufferedWriteStream(TStream* InputStream, int32_t BufferSize)
    : fStream(InputStream), fBufferSize(std::max<int32_t>(1, BufferSize)) {
  // Pages of the buffer that a short output never reaches are never touched.
  fMemory = std::make_unique_for_overwrite<uint8_t[]>(size_t(fBufferSize));
}

TVXBufferedWriteStream::~TVXBufferedWriteStream() {
  try {
    Flush();
  } catch (...) {
  }
}

int64_t TVXBufferedWriteStream::Read(void* /*Buffer*/, int64_t /*Count*/) {
  throw EVXException("TVXBufferedWriteStream cannot read!");
}

int64_t TVXBufferedWriteStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const auto* src = static_cast<const uint8_t*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    int64_t n = std::min<int64_t>(Count - done, fBufferSize - fBufferPos);
    std::memcpy(fMemory.get() + fBufferPos, src + done, size_t(n));
    fBufferPos += int32_t(n);
    done += n;
    if (fBufferPos == fBufferSize) Flush();
  }
  return Count;
}

void TVXBufferedWriteStream::Flush() {
  if (fBufferPos > 0) {
    int32_t n = fBufferPos;
    fBufferPos = 0;
    fStream->WriteBuffer(fMemory.get(), n);
  }
}

int64_t TVXBufferedWriteStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  Flush();
  return fStream->Seek(Offset, Origin);
}

// ---------------------------------------------------------------------------
// TVXByteArray

TVXByteArray::TVXByteArray(int32_t InitBlockSize) : fBlockSize(std::max<int32_t>(1, InitBlockSize)) { Clear(); }

void TVXByteArray::Reallocate(int32_t NewReserved, int32_t KeepBytes) {
  auto p = std::make_unique<uint8_t[]>(size_t(NewReserved));
  if (KeepBytes > 0 && fData) std::memcpy(p.get(), fData.get(), size_t(KeepBytes));
  fData = std::move(p);
  fRSize = NewReserved;
}

void TVXByteArray::SetSize(int32_t Value) {
  if (Value < 0) Value = 0;
  int64_t reserve = int64_t(Value) + fBlockSize;
  if (reserve > INT32_MAX) throw EVXException("TVXByteArray: size too large");
  if (Value > fRSize) {
    Reallocate(int32_t(reserve), fSize);
  } else if (Value < fRSize - fBlockSize) {
    Reallocate(int32_t(reserve), std::min(Value, fSize));
  }
  fSize = Value;
}

void TVXByteArray::Clear() {
  fData.reset();
  fSize = 0;
  Reallocate(fBlockSize, 0);
}

void TVXByteArray::AddByte(uint8_t v) {
  SetSize(fSize + 1);
  fData[size_t(fSize - 1)] = v;
}

int32_t TVXByteArray::AppendFromStream(TStream* Stream, int32_t Count) {
  if (Count <= 0) return 0;
  int32_t old = fSize;
  if (int64_t(old) + Count + fBlockSize > INT32_MAX) throw EVXException("TVXByteArray: size too large");
  SetSize(old + Count);
  int64_t r = Stream->Read(fData.get() + old, Count);
  int32_t got = int32_t(std::clamp<int64_t>(r, 0, Count));
  SetSize(old + got);
  return got;
}
