// IStream over memory (SHCreateMemStream) and over files
// (SHCreateStreamOnFileEx).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/win_com.h"

HRESULT VXHResultFromErrno(int Errno) {
  switch (Errno) {
    case ENOENT: return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case ENOTDIR: return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS: return E_ACCESSDENIED;
    case EEXIST: return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
    case ENOSPC: return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case ENOTEMPTY: return HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY);
    case ENOMEM: return E_OUTOFMEMORY;
    case EISDIR:
    case EINVAL: return E_INVALIDARG;
    case EIO: return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
    default: return E_FAIL;
  }
}

namespace {

TVXFileTime FileTimeOf(const struct timespec& t) {
  TVXFileTime f;
  if (t.tv_sec < -11644473600LL) return f;
  const uint64_t v = uint64_t(t.tv_sec + 11644473600LL) * 10000000ull + uint64_t(t.tv_nsec) / 100;
  f.dwLowDateTime = uint32_t(v);
  f.dwHighDateTime = uint32_t(v >> 32);
  return f;
}

// Position arithmetic shared by both streams: the new position, or false
// when it would lie before the start.
bool NewPosition(int64_t Move, DWORD Origin, uint64_t Current, uint64_t Size, uint64_t& Out, HRESULT& Error) {
  int64_t from;
  switch (Origin) {
    case STREAM_SEEK_SET: from = 0; break;
    case STREAM_SEEK_CUR: from = int64_t(Current); break;
    case STREAM_SEEK_END: from = int64_t(Size); break;
    default: Error = STG_E_INVALIDFUNCTION; return false;
  }
  if ((Move < 0 && from + Move < 0) || (Move > 0 && from > INT64_MAX - Move)) {
    Error = STG_E_INVALIDFUNCTION;
    return false;
  }
  Out = uint64_t(from + Move);
  return true;
}

// Streams larger than this many bytes are refused by the memory stream.
constexpr uint64_t kMaxMemoryStream = uint64_t(1) << 40;

class TMemStream : public TVXStreamBase<IStream> {
 public:
  explicit TMemStream(std::shared_ptr<std::vector<uint8_t>> Bytes) : fBytes(std::move(Bytes)) {}
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    const uint64_t size = fBytes->size();
    const uint64_t n = fPos >= size ? 0 : std::min<uint64_t>(cb, size - fPos);
    if (n) std::memcpy(pv, fBytes->data() + fPos, size_t(n));
    fPos += n;
    if (pcbRead) *pcbRead = ULONG(n);
    return n == cb ? S_OK : S_FALSE;
  }
  HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if (fPos + cb > kMaxMemoryStream) return STG_E_MEDIUMFULL;
    try {
      if (fBytes->size() < fPos + cb) fBytes->resize(size_t(fPos + cb));
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    if (cb) std::memcpy(fBytes->data() + fPos, pv, cb);
    fPos += cb;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
  }
  HRESULT Seek(int64_t dlibMove, DWORD dwOrigin, uint64_t* plibNewPosition) override {
    uint64_t p;
    HRESULT err;
    if (!NewPosition(dlibMove, dwOrigin, fPos, fBytes->size(), p, err)) return err;
    fPos = p;
    if (plibNewPosition) *plibNewPosition = p;
    return S_OK;
  }
  HRESULT SetSize(uint64_t libNewSize) override {
    if (libNewSize > kMaxMemoryStream) return STG_E_MEDIUMFULL;
    try {
      fBytes->resize(size_t(libNewSize));
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  HRESULT Stat(STATSTG* s, DWORD) override {
    if (!s) return STG_E_INVALIDPOINTER;
    *s = STATSTG{};
    s->type = STGTY_STREAM;
    s->cbSize = fBytes->size();
    s->grfMode = STGM_READWRITE;
    return S_OK;
  }
  HRESULT Clone(IStream** ppstm) override {
    if (!ppstm) return STG_E_INVALIDPOINTER;
    auto* c = new TMemStream(fBytes);
    c->fPos = fPos;
    *ppstm = c;
    return S_OK;
  }

 private:
  std::shared_ptr<std::vector<uint8_t>> fBytes;
  uint64_t fPos = 0;
};

class TFileStream : public TVXStreamBase<IStream> {
 public:
  TFileStream(int Fd, DWORD Mode, std::string Name) : fFd(Fd), fMode(Mode), fName(std::move(Name)) {}
  ~TFileStream() override { ::close(fFd); }
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if ((fMode & 3) == STGM_WRITE) return STG_E_ACCESSDENIED;
    ULONG done = 0;
    while (done < cb) {
      const ssize_t n = ::read(fFd, static_cast<uint8_t*>(pv) + done, cb - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (pcbRead) *pcbRead = done;
        return STG_E_READFAULT;
      }
      if (n == 0) break;
      done += ULONG(n);
    }
    if (pcbRead) *pcbRead = done;
    return done == cb ? S_OK : S_FALSE;
  }
  HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if ((fMode & 3) == STGM_READ) return STG_E_ACCESSDENIED;
    ULONG done = 0;
    while (done < cb) {
      const ssize_t n = ::write(fFd, static_cast<const uint8_t*>(pv) + done, cb - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (pcbWritten) *pcbWritten = done;
        return errno == ENOSPC ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT;
      }
      done += ULONG(n);
    }
    if (pcbWritten) *pcbWritten = done;
    return S_OK;
  }
  HRESULT Seek(int64_t dlibMove, DWORD dwOrigin, uint64_t* plibNewPosition) override {
    struct stat st {};
    if (::fstat(fFd, &st) != 0) return STG_E_INVALIDFUNCTION;
    const off_t cur = ::lseek(fFd, 0, SEEK_CUR);
    uint64_t p;
    HRESULT err;
    if (cur < 0 || !NewPosition(dlibMove, dwOrigin, uint64_t(cur), uint64_t(st.st_size), p, err))
      return STG_E_INVALIDFUNCTION;
    if (::lseek(fFd, off_t(p), SEEK_SET) < 0) return STG_E_INVALIDFUNCTION;
    if (plibNewPosition) *plibNewPosition = p;
    return S_OK;
  }
  HRESULT SetSize(uint64_t libNewSize) override {
    if ((fMode & 3) == STGM_READ) return STG_E_ACCESSDENIED;
    return ::ftruncate(fFd, off_t(libNewSize)) == 0 ? S_OK : STG_E_MEDIUMFULL;
  }
  HRESULT Commit(DWORD) override { return ::fsync(fFd) == 0 || errno == EINVAL ? S_OK : STG_E_WRITEFAULT; }
  HRESULT Stat(STATSTG* s, DWORD grfStatFlag) override {
    if (!s) return STG_E_INVALIDPOINTER;
    struct stat st {};
    if (::fstat(fFd, &st) != 0) return STG_E_ACCESSDENIED;
    *s = STATSTG{};
    s->type = STGTY_STREAM;
    s->cbSize = uint64_t(st.st_size);
    s->mtime = FileTimeOf(st.st_mtim);
    s->ctime = FileTimeOf(st.st_ctim);
    s->atime = FileTimeOf(st.st_atim);
    s->grfMode = fMode;
    if (!(grfStatFlag & STATFLAG_NONAME)) s->pwcsName = VXCoTaskStrDup(fName);
    return S_OK;
  }

 private:
  int fFd;
  DWORD fMode;
  std::string fName;
};

}  // namespace

IStream* SHCreateMemStream(const BYTE* pInit, UINT cbInit) {
  auto bytes = std::make_shared<std::vector<uint8_t>>();
  if (pInit && cbInit) bytes->assign(pInit, pInit + cbInit);
  return new TMemStream(std::move(bytes));
}

HRESULT VXCreateStreamOnFile(const std::string& FileName, DWORD grfMode, bool Create, IStream** ppstm) {
  if (!ppstm) return E_POINTER;
  *ppstm = nullptr;
  if (FileName.empty()) return E_INVALIDARG;
  const DWORD access = grfMode & 3;
  if (access > STGM_READWRITE) return E_INVALIDARG;
  int flags = access == STGM_READ ? O_RDONLY : access == STGM_WRITE ? O_WRONLY : O_RDWR;
  if (Create || (grfMode & STGM_CREATE)) {
    if (access == STGM_READ) return E_INVALIDARG;
    flags |= O_CREAT | O_TRUNC;
  }
  const int fd = ::open(FileName.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) return VXHResultFromErrno(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return E_ACCESSDENIED;
  }
  *ppstm = new TFileStream(fd, access, FileName);
  return S_OK;
}

HRESULT SHCreateStreamOnFileEx(LPCWSTR pszFile, DWORD grfMode, DWORD, BOOL fCreate, IStream* pstmTemplate,
                               IStream** ppstm) {
  if (!ppstm) return E_POINTER;
  *ppstm = nullptr;
  if (!pszFile || pstmTemplate) return E_INVALIDARG;
  return VXCreateStreamOnFile(pszFile, grfMode, fCreate != 0, ppstm);
}
