#pragma once
// The library's streams: the abstract stream TStream with its handle and
// memory descendants, the file stream every loader and saver opens, the
// self-deleting temporary-file stream, a read-only stream over a caller's
// block, a byte-counting stream, read-ahead and write-behind wrappers, a
// hash stream and a growable byte buffer.

#include <cstdint>
#include <memory>
#include <string>

#include "core/vxdefs.h"

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
// The same origins under their word-sized names.
constexpr TSeekOrigin soFromBeginning = soBeginning;
constexpr TSeekOrigin soFromCurrent = soCurrent;
constexpr TSeekOrigin soFromEnd = soEnd;

// File modes of TVXWideFileStream: fmCreate, or one access value combined
// with one sharing value.
constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;  // others may read
constexpr uint16_t fmShareDenyRead = 0x0030;   // others may write
constexpr uint16_t fmShareDenyNone = 0x0040;   // others may read and write

// ---------------------------------------------------------------------------

class TStream {
public:
  virtual ~TStream() = default;

  // Transfer up to Count bytes; the result is the number transferred.
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  // Does nothing unless the stream can change its size.
  virtual void SetSize(int64_t NewSize);
  // Computed by seeking to the end and back.
  virtual int64_t Size();

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }

  // Read or write exactly Count bytes; a short transfer raises EReadError
  // "Stream read error" / EWriteError "Stream write error".
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);

  // Copies Count bytes from Source's position (Count 0: the whole of Source
  // from its beginning); returns the count copied.
  int64_t CopyFrom(TStream* Source, int64_t Count);

  // False for streams whose size is not known before their data have gone
  // through (compression and hash streams): copies then trust the caller's count.
  virtual bool SizeKnown() const { return true; }
};

// A stream over an open file descriptor (not owned unless a descendant says so).
class THandleStream : public TStream {
public:
  explicit THandleStream(int Handle) : fHandle(Handle) {}
  int Handle() const { return fHandle; }
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;

protected:
  int fHandle = -1;
};

// File stream on a (UTF-8) file name. Mode fmCreate creates or truncates the
// file for reading and writing; otherwise the low two bits select the access
// (0 read, 1 write, 2 read and write) of an existing file and bits 4 to 7 the
// sharing (0..4). Failure raises EFCreateError "Cannot create file "..."."
// or EFOpenError "Cannot open file "..."." followed by the system's text.
class TVXWideFileStream : public THandleStream {
public:
  TVXWideFileStream(const std::string& FileName, uint16_t Mode);
  ~TVXWideFileStream() override;
  const std::string& FileName() const { return FFileName; }

private:
  std::string FFileName;
};

// A new file (an existing one is truncated) for reading and writing that
// vanishes when the stream is closed. Failure raises EInOutError
// "Unable to create " + FileName.
class TVXTemporaryFileStream : public THandleStream {
public:
  explicit TVXTemporaryFileStream(const std::string& FileName);
  ~TVXTemporaryFileStream() override;
};

// Memory streams: a block with a size and a position.
class TCustomMemoryStream : public TStream {
public:
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return fSize; }
  void* Memory() const { return fMemory; }
  void SaveToStream(TStream* Stream);
  void SaveToFile(const std::string& FileName);

protected:
  void SetPointer(void* Ptr, int64_t Size) {
    fMemory = Ptr;
    fSize = Size;
  }
  void* fMemory = nullptr;
  int64_t fSize = 0;
  int64_t fPosition = 0;
};

// Growable memory stream that owns its block. Writing past the end grows it
// (a gap left by a seek past the end reads as zeros).
class TMemoryStream : public TCustomMemoryStream {
public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  void SetSize(int64_t NewSize) override;
  void Clear();
  void LoadFromStream(TStream* Stream);  // the whole of Stream, from its beginning
  void LoadFromFile(const std::string& FileName);
  int64_t Capacity() const { return fCapacity; }

private:
  void Reserve(int64_t NewCapacity);
  int64_t fCapacity = 0;
};

// Read-only stream over a caller's block (not copied, not freed): SetSize
// does nothing, Write writes nothing and returns 0.
class TVXMemStream : public TCustomMemoryStream {
public:
  TVXMemStream(void* Ptr, int64_t Size) { SetPointer(Ptr, Size); }
  TVXMemStream(const void* Ptr, int64_t Size) { SetPointer(const_cast<void*>(Ptr), Size); }
  int64_t Write(const void* Buffer, int64_t Count) override;
  void SetSize(int64_t NewSize) override;
};

// Counts what a writer would produce: transfers nothing, moves the position,
// raises the size. Seeking from the end goes to size - Offset.
class TNulStream : public TStream {
public:
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

private:
  int64_t fposition = 0;
  int64_t fsize = 0;
};

// Read-ahead wrapper around a stream that it does not own. With
// UseRelativePosition the inner stream's position at creation becomes
// position 0 of this stream. Seeking from the end goes to size - Offset.
// Reading or seeking past the end never raises: it sets OverPosition().
// Freeing it leaves the inner stream just behind the last byte read.
class TVXBufferedReadStream : public TStream {
public:
  TVXBufferedReadStream(TStream* InputStream, int32_t BufferSize, bool UseRelativePosition);
  ~TVXBufferedReadStream() override;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;  // raises EVXException
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  bool OverPosition() const { return fOverPosition; }

private:
  void Fill();
  TStream* fStream;
  int32_t fBufferSize;
  std::unique_ptr<uint8_t[]> fMemory;
  int64_t fPosition = 0;      // absolute read position in the inner stream
  int32_t fPositionBuf = 0;   // read position inside the buffer
  int32_t fBufferLen = 0;     // bytes held by the buffer
  int64_t fSize = 0;          // the inner stream's size at creation
  int64_t fRelativePosition = 0;
  bool fOverPosition = false;
};

// Write-behind wrapper around a stream that it does not own; flushes on
// Seek, Flush and destruction.
class TVXBufferedWriteStream : public TStream {
public:
  TVXBufferedWriteStream(TStream* InputStream, int32_t BufferSize);
  ~TVXBufferedWriteStream() override;
  int64_t Read(void* Buffer, int64_t Count) override;  // raises EVXException
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void Flush();

private:
  TStream* fStream;
  std::unique_ptr<uint8_t[]> fMemory;
  int32_t fBufferSize;
  int32_t fBufferPos = 0;
};

// Hash algorithm identifiers.
constexpr uint32_t CALG_MD2 = 0x8001;
constexpr uint32_t CALG_MD4 = 0x8002;
constexpr uint32_t CALG_MD5 = 0x8003;
constexpr uint32_t CALG_SHA1 = 0x8004;
constexpr uint32_t CALG_SHA_256 = 0x800C;
constexpr uint32_t CALG_SHA_384 = 0x800D;
constexpr uint32_t CALG_SHA_512 = 0x800E;

// Feeds what is written into a cryptographic hash. A buffered hash stream
// keeps the data in memory (readable, seekable, saveable) and hashes them all
// when asked for the digest; an unbuffered one hashes at once.
class TVXHashStream : public TStream {
public:
  TVXHashStream(uint32_t AlgId, bool Buffered);
  ~TVXHashStream() override;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  bool SizeKnown() const override { return false; }

  // Digest as lower-case hexadecimal text.
  std::string GetHash();
  void SaveToFile(const std::string& FileName);
  void SaveToStream(TStream* Stream);
  void LoadFromFile(const std::string& FileName);
  void LoadFromStream(TStream* Stream);

private:
  struct THashState;
  std::unique_ptr<TMemoryStream> m_MemStream;
  std::unique_ptr<THashState> m_CryptHash;
};

// Growable byte buffer.
class TVXByteArray {
public:
  explicit TVXByteArray(int32_t InitBlockSize);
  void AddByte(uint8_t v);
  void Clear();
  int32_t Size() const { return fSize; }
  void SetSize(int32_t Value);
  // Appends up to Count bytes read from Stream; returns the bytes read.
  int32_t AppendFromStream(TStream* Stream, int32_t Count);
  uint8_t* Data() { return fData.get(); }
  const uint8_t* Data() const { return fData.get(); }

private:
  void Reallocate(int32_t NewReserved, int32_t KeepBytes);
  int32_t fSize = 0;
  int32_t fRSize = 0;
  int32_t fBlockSize = 1;
  std::unique_ptr<uint8_t[]> fData;
};
