// HD Photo coding over libjxr (see formats/jxr_codec.h).
#include "formats/jxr_codec.h"

// The standard headers come first: libjxr's defines min and max as macros.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstddef>
#include <mutex>

#include "core/limits.h"

#include <JXRGlue.h>

// libjxr's header defines these as macros; the standard library's own are wanted.
#undef min
#undef max

namespace {

// ---------------------------------------------------------------------------
// Pixel layouts

struct TLayout {
  TVXJxrPixelFormat Format;
  const GUID* Guid;
};

const TLayout kLayouts[] = {
    {jxfBlackWhite, &GUID_PKPixelFormatBlackWhite}, {jxf8Gray, &GUID_PKPixelFormat8bppGray},
    {jxf16Gray, &GUID_PKPixelFormat16bppGray},      {jxf24BGR, &GUID_PKPixelFormat24bppBGR},
    {jxf32BGRA, &GUID_PKPixelFormat32bppBGRA},      {jxf48RGB, &GUID_PKPixelFormat48bppRGB},
    {jxf32CMYK, &GUID_PKPixelFormat32bppCMYK},
};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

const GUID* GuidOf(TVXJxrPixelFormat f) {
  for (const TLayout& l : kLayouts)
    if (l.Format == f) return l.Guid;
  return nullptr;
}

TVXJxrPixelFormat LayoutOf(const GUID& g) {
  for (const TLayout& l : kLayouts)
    if (SameGuid(*l.Guid, g)) return l.Format;
  return jxfNone;
}

// The layout a file's pixel format is delivered in.
TVXJxrPixelFormat DeliveryOf(const GUID& g) {
  TVXJxrPixelFormat f = LayoutOf(g);
  if (f != jxfNone) return f;
  PKPixelInfo pi{};
  pi.pGUIDPixFmt = &g;
  if (Failed(PixelFormatLookup(&pi, LOOKUP_FORWARD))) return jxfNone;
  if (pi.cfColorFormat == Y_ONLY) return jxf8Gray;
  if (pi.cfColorFormat == CMYK) return pi.bdBitDepth == BD_8 ? jxf32CMYK : jxfNone;
  if (pi.cfColorFormat == CF_RGB) {
    if (pi.bdBitDepth == BD_8 || pi.bdBitDepth == BD_5 || pi.bdBitDepth == BD_565 || pi.bdBitDepth == BD_10)
      return (pi.grBit & PK_pixfmtHasAlpha) ? jxf32BGRA : jxf24BGR;
    if (pi.bdBitDepth == BD_16) return jxf48RGB;
  }
  return jxfNone;
}

// ---------------------------------------------------------------------------
// Streams over memory with checked bounds. fMem stays false: libjxr then
// reaches the data only through these functions.

struct TMemState {
  const uint8_t* Data = nullptr;  // reading
  std::vector<uint8_t>* Out = nullptr;  // writing
  size_t Size = 0;
  size_t Pos = 0;
};

TMemState* State(WMPStream* s) { return static_cast<TMemState*>(s->state.pvObj); }

ERR MemClose(WMPStream** ps) {
  if (ps && *ps) {
    delete State(*ps);
    delete *ps;
    *ps = nullptr;
  }
  return WMP_errSuccess;
}

Bool MemEOS(WMPStream* s) { return State(s)->Pos >= State(s)->Size; }

// The decoder reads its code stream in whole packets and may ask for bytes
// past the end of the data: it gets what is there and zeros after it, as
// from libjxr's own memory stream, never bytes from outside the data.
ERR MemRead(WMPStream* s, void* pv, size_t cb) {
  TMemState* st = State(s);
  const uint8_t* src = st->Data ? st->Data : st->Out->data();
  const size_t have = st->Pos < st->Size ? std::min(cb, st->Size - st->Pos) : 0;
  if (have) std::memcpy(pv, src + st->Pos, have);
  if (cb > have) std::memset(static_cast<uint8_t*>(pv) + have, 0, cb - have);
  st->Pos = cb > std::numeric_limits<size_t>::max() - st->Pos ? std::numeric_limits<size_t>::max() : st->Pos + cb;
  return WMP_errSuccess;
}

ERR MemWrite(WMPStream* s, const void* pv, size_t cb) {
  TMemState* st = State(s);
  if (!st->Out) return WMP_errFileIO;
  if (cb > std::numeric_limits<size_t>::max() - st->Pos) return WMP_errBufferOverflow;
  if (st->Pos + cb > st->Out->size()) st->Out->resize(st->Pos + cb);
  if (cb) std::memcpy(st->Out->data() + st->Pos, pv, cb);
  st->Pos += cb;
  st->Size = st->Out->size();
  return WMP_errSuccess;
}

ERR MemSetPos(WMPStream* s, size_t pos) {
  TMemState* st = State(s);
  st->Pos = pos;
  return WMP_errSuccess;
}

ERR MemGetPos(WMPStream* s, size_t* pos) {
  *pos = State(s)->Pos;
  return WMP_errSuccess;
}

WMPStream* NewStream(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
  WMPStream* s = new WMPStream{};
  TMemState* st = new TMemState;
  st->Data = data;
  st->Out = out;
  st->Size = size;
  s->state.pvObj = st;
  s->fMem = FALSE;
  s->Close = &MemClose;
  s->EOS = &MemEOS;
  s->Read = &MemRead;
  s->Write = &MemWrite;
  s->SetPos = &MemSetPos;
  s->GetPos = &MemGetPos;
  return s;
}

// ---------------------------------------------------------------------------
// The container check

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

int64_t TypeSize(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

struct TContainer {
  int32_t Width = 0, Height = 0;
  GUID PixelFormat{};
  bool HasPixelFormat = false;
  uint32_t ImageOffset = 0, ImageBytes = 0;
  uint32_t AlphaOffset = 0, AlphaBytes = 0;
  double DpiX = 96, DpiY = 96;
  bool HasAlphaOffset = false, HasAlphaBytes = false;
};

// Parses and checks the header and the first directory.
bool ParseContainer(const uint8_t* d, size_t size, TContainer& c) {
  if (size < 8 || d[0] != 'I' || d[1] != 'I' || d[2] != 0xBC || d[3] > 1) return false;
  const uint64_t ifd = Get32(d + 4);
  if (ifd < 8 || ifd + 2 > size) return false;
  const uint32_t n = Get16(d + ifd);
  if (n == 0 || ifd + 2 + uint64_t(n) * 12 + 4 > size) return false;
  bool width = false, height = false, offset = false, bytes = false;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* e = d + ifd + 2 + uint64_t(i) * 12;
    const uint16_t tag = Get16(e), type = Get16(e + 2);
    const uint32_t count = Get32(e + 4), value = Get32(e + 8);
    const int64_t unit = TypeSize(type);
    if (unit == 0) return false;
    const uint64_t total = uint64_t(unit) * count;
    if (total > 4 && (uint64_t(value) + total > size)) return false;
    auto number = [&](uint32_t& out) {
      if (count != 1 || (type != 3 && type != 4)) return false;
      out = type == 3 ? Get16(e + 8) : value;
      return true;
    };
    uint32_t v = 0;
    switch (tag) {
      case 0xBC01:  // pixel format
        if (type != 1 || count != 16) return false;
        c.PixelFormat.Data1 = Get32(d + value);
        c.PixelFormat.Data2 = Get16(d + value + 4);
        c.PixelFormat.Data3 = Get16(d + value + 6);
        std::memcpy(c.PixelFormat.Data4, d + value + 8, 8);
        c.HasPixelFormat = true;
        break;
      case 0xBC80:
        if (!number(v) || v < 1 || v > uint32_t(std::numeric_limits<int32_t>::max())) return false;
        c.Width = int32_t(v);
        width = true;
        break;
      case 0xBC81:
        if (!number(v) || v < 1 || v > uint32_t(std::numeric_limits<int32_t>::max())) return false;
        c.Height = int32_t(v);
        height = true;
        break;
      case 0xBCC0:
        if (!number(v)) return false;
        c.ImageOffset = v;
        offset = true;
        break;
      case 0xBCC1:
        if (!number(v)) return false;
        c.ImageBytes = v;
        bytes = true;
        break;
      case 0xBC82: case 0xBC83: {  // resolution, a 32-bit float
        if (type != 11 || count != 1) return false;
        float f;
        std::memcpy(&f, e + 8, 4);
        if (!(f > 0 && f < 1e7f)) return false;
        (tag == 0xBC82 ? c.DpiX : c.DpiY) = f;
        break;
      }
      case 0xBC02:  // orientation, which libjxr holds to its eight values
        if (!number(v) || v > 7) return false;
        break;
      case 0xBCC2:
        if (!number(c.AlphaOffset)) return false;
        c.HasAlphaOffset = true;
        break;
      case 0xBCC3:
        if (!number(c.AlphaBytes)) return false;
        c.HasAlphaBytes = true;
        break;
      default:
        break;
    }
  }
  if (!(width && height && offset && bytes && c.HasPixelFormat)) return false;
  if (c.ImageBytes == 0 || c.ImageOffset < 8 || uint64_t(c.ImageOffset) + c.ImageBytes > size) return false;
  // A planar alpha channel is a second code stream of its own. libjxr's
  // encoder records its byte count as the whole file's size, so only the
  // offset is held to the data.
  if (c.HasAlphaOffset != c.HasAlphaBytes) return false;
  if (c.HasAlphaOffset && (c.AlphaBytes == 0 || c.AlphaOffset < 8 || c.AlphaOffset >= size)) return false;
  return true;
}

COLORFORMAT ColorFormatOf(TVXJxrPixelFormat f, uint8_t subsampling) {
  switch (f) {
    case jxfBlackWhite: case jxf8Gray: case jxf16Gray: return Y_ONLY;
    case jxf32CMYK: return CMYK;
    default:
      switch (subsampling) {
        case 0: return Y_ONLY;
        case 1: return YUV_420;
        case 2: return YUV_422;
        default: return YUV_444;
      }
  }
}

}  // namespace

int32_t VXJxrBitsPerPixel(TVXJxrPixelFormat Format) {
  switch (Format) {
    case jxfBlackWhite: return 1;
    case jxf8Gray: return 8;
    case jxf16Gray: return 16;
    case jxf24BGR: return 24;
    case jxf32BGRA: return 32;
    case jxf48RGB: return 48;
    case jxf32CMYK: return 32;
    default: return 0;
  }
}

bool VXJxrCheckContainer(const uint8_t* Data, size_t Size, int32_t& Width, int32_t& Height) {
  TContainer c;
  if (!ParseContainer(Data, Size, c)) return false;
  Width = c.Width;
  Height = c.Height;
  return true;
}

// ---------------------------------------------------------------------------
// Decoder

TVXJxrDecoder::~TVXJxrDecoder() = default;

size_t TVXJxrDecoder::RowBytes() const {
  return (size_t(fWidth) * size_t(VXJxrBitsPerPixel(fFormat)) + 7) / 8;
}

bool TVXJxrDecoder::Open(std::vector<uint8_t> Data) {
  fData = std::move(Data);
  TContainer c;
  if (!ParseContainer(fData.data(), fData.size(), c)) {
    fError = "not a sound HD Photo file";
    return false;
  }
  const TVXJxrPixelFormat delivery = DeliveryOf(c.PixelFormat);
  if (delivery == jxfNone) {
    fError = "unsupported pixel format";
    return false;
  }
  // The decoded image and its copy in the bitmap must both fit.
  if (!VXImageSizeAllowed(c.Width, c.Height, int64_t(VXJxrBitsPerPixel(delivery)) * 2)) {
    fError = "image too large";
    return false;
  }
  // Every 16 x 16 macroblock takes at least a bit of code: a frame far
  // larger than the file could hold is damage, refused before the decoder
  // makes and fills a buffer of its size.
  if (!VXDeclaredDataPlausible(int64_t(fData.size()), int64_t(c.Width) * c.Height, 256 * 8)) {
    fError = "not a sound HD Photo file";
    return false;
  }
  static_assert(sizeof(fContainerFormat) == sizeof(GUID));
  std::memcpy(static_cast<void*>(&fContainerFormat), &c.PixelFormat, sizeof(GUID));
  fWidth = c.Width;
  fHeight = c.Height;
  fDpiX = c.DpiX;
  fDpiY = c.DpiY;
  fFormat = delivery;
  return true;
}

namespace {

// The decode proper, in a decoder process: Dest receives Height rows of
// Stride bytes (room for whole macroblock rows). True when libjxr decoded
// the image and its code stream agrees with the container. Everything
// libjxr was given is released again: the process decodes many images.
bool DecodeInto(const uint8_t* data, size_t size, const GUID& containerFormat, int32_t width, int32_t height,
                TVXJxrPixelFormat delivery, uint8_t* dest, size_t stride) {
  PKImageDecode* id = nullptr;
  if (Failed(PKImageDecode_Create_WMP(&id))) return false;
  WMPStream* stream = NewStream(data, size, nullptr);
  PKFormatConverter* fc = nullptr;
  bool ok = !Failed(id->Initialize(id, stream));
  I32 w = 0, h = 0;
  if (ok) {
    id->GetSize(id, &w, &h);
    ok = w == width && h == height && id->WMP.wmiI.cWidth == size_t(width) &&
         id->WMP.wmiI.cHeight == size_t(height) && SameGuid(id->guidPixFormat, containerFormat);
  }
  if (ok) {
    // Everything decoded whole, upright, as the file holds it.
    id->WMP.wmiI.cROILeftX = 0;
    id->WMP.wmiI.cROITopY = 0;
    id->WMP.wmiI.cROIWidth = size_t(w);
    id->WMP.wmiI.cROIHeight = size_t(h);
    id->WMP.wmiI.cThumbnailWidth = size_t(w);
    id->WMP.wmiI.cThumbnailHeight = size_t(h);
    id->WMP.wmiI.bSkipFlexbits = FALSE;
    id->WMP.wmiI.cPostProcStrength = 0;
    id->WMP.wmiI.oOrientation = O_NONE;
    id->WMP.wmiSCP.sbSubband = SB_ALL;
    id->WMP.wmiSCP.uAlphaMode = (delivery == jxf32BGRA && id->WMP.bHasAlpha) ? 2 : 0;
    ok = !Failed(PKCodecFactory_CreateFormatConverter(&fc));
  }
  if (ok) {
    // With the extension ".bmp" libjxr keeps the byte order of the BGR formats.
    char ext[] = ".bmp";
    ok = !Failed(fc->Initialize(fc, id, ext, *GuidOf(delivery)));
  }
  if (ok) {
    PKRect rect{0, 0, w, h};
    ok = !Failed(fc->Copy(fc, &rect, dest, U32(stride)));
  }
  if (fc) fc->Release(&fc);
  id->Release(&id);
  MemClose(&stream);
  return ok;
}

// A request to the decoder process lives in one shared memory file: this
// header, the file's bytes from kHeaderBytes on, the pixels from PixelOffset.
// The process sets Status: 1 decoded, 2 refused.
constexpr size_t kHeaderBytes = 64;
struct TRequestHeader {
  uint32_t Status;
  int32_t Width, Height, Format;
  uint64_t DataSize, PixelOffset, Stride;
  GUID ContainerFormat;
};
static_assert(sizeof(TRequestHeader) <= kHeaderBytes);

// A sanitizer's error report in a decoder process ends it without anything
// else of the caller running.
void ChildDeath() { _exit(3); }

}  // namespace

// Present in sanitizer builds only.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

// In a new decoder process: whatever stops it ends it quietly. Every signal
// takes its default action (no handler of the caller's, a sanitizer's or a
// fuzzer's runs: a fuzzer's would report the caller's input as a finding),
// and a sanitizer that finds an error just ends it.
void BecomeDecoderProcess() {
  for (int sig = 1; sig < NSIG; ++sig)
    if (sig != SIGKILL && sig != SIGSTOP) signal(sig, SIG_DFL);
  if (&__sanitizer_set_death_callback) __sanitizer_set_death_callback(&ChildDeath);
}

// Decodes the request in the shared memory file Fd.
void ServeRequest(int Fd) {
  struct stat st {};
  if (fstat(Fd, &st) != 0 || size_t(st.st_size) < kHeaderBytes) return;
  const size_t bytes = size_t(st.st_size);
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, Fd, 0);
  if (p == MAP_FAILED) return;
  uint8_t* base = static_cast<uint8_t*>(p);
  TRequestHeader h;
  std::memcpy(&h, base, sizeof h);
  const uint64_t rows = (uint64_t(std::max(h.Height, 0)) + 15) / 16 * 16;
  bool ok = h.DataSize <= bytes - kHeaderBytes && h.PixelOffset >= kHeaderBytes + h.DataSize &&
            h.PixelOffset <= bytes && h.Stride != 0 && rows <= (bytes - h.PixelOffset) / h.Stride;
  ok = ok && DecodeInto(base + kHeaderBytes, size_t(h.DataSize), h.ContainerFormat, h.Width, h.Height,
                        TVXJxrPixelFormat(h.Format), base + h.PixelOffset, size_t(h.Stride));
  const uint32_t status = ok ? 1 : 2;
  std::memcpy(base + offsetof(TRequestHeader, Status), &status, sizeof status);
  munmap(p, bytes);
}

// The decoder process's loop: a request is a memory file passed over the
// socket; one byte back says it is done. The caller's end closing ends it.
[[noreturn]] void ServeRequests(int Socket) {
  for (;;) {
    char byte = 0;
    char control[CMSG_SPACE(sizeof(int))] = {};
    iovec io{&byte, 1};
    msghdr m{};
    m.msg_iov = &io;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(Socket, &m, MSG_CMSG_CLOEXEC);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) _exit(0);
    int fd = -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c))
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
    if (fd >= 0) {
      ServeRequest(fd);
      close(fd);
    }
    if (send(Socket, &byte, 1, MSG_NOSIGNAL) != 1) _exit(0);
  }
}

// Waits up to LimitMs for Fd to be readable or closed; false on time-out.
bool WaitReadable(int Fd, int64_t LimitMs) {
  pollfd p{Fd, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, int(std::min<int64_t>(LimitMs, INT32_MAX)));
  } while (r < 0 && errno == EINTR);
  return r != 0;
}

void Reap(pid_t Pid) {
  int wstatus = 0;
  while (waitpid(Pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
}

// A decoder process for one request: it serves Fd and ends.
bool RunOnce(int Fd, int64_t LimitMs) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    BecomeDecoderProcess();
    ServeRequest(Fd);
    _exit(0);
  }
  int wstatus = 0;
  const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    if (!WaitReadable(pidfd, LimitMs)) kill(pid, SIGKILL);
    close(pidfd);
  }
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
}

// libjxr stops the process on what its own checks find in a damaged code
// stream (assertions) and trusts the stream elsewhere, so decoding runs in
// a process of its own that writes into shared memory: a damaged file costs
// that process, never the caller. One decoder process is made on first use
// and serves one decode after the other (a fork of a large process costs
// far more than a decode); a new one replaces it when it ended, when it
// did not answer in time, and after kRequestsPerProcess requests (libjxr's
// failure paths do not free all they took). A decode asked for while it is
// busy gets a process of its own.
class TDecoderProcess {
 public:
  static constexpr int kRequestsPerProcess = 500;

  ~TDecoderProcess() { Stop(); }

  // Runs the request in memory file Fd: true when the process answered in
  // time (the status is in the file), false when it ended or was stopped.
  bool Run(int Fd, int64_t LimitMs) {
    if (fPid < 0 && !Start()) return RunOnce(Fd, LimitMs);
    char byte = 0;
    char control[CMSG_SPACE(sizeof(int))] = {};
    iovec io{&byte, 1};
    msghdr m{};
    m.msg_iov = &io;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&m);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &Fd, sizeof Fd);
    bool sent = sendmsg(fSocket, &m, MSG_NOSIGNAL) == 1;
    if (!sent) {
      // The process ended between two requests (killed from outside): a new
      // one takes this request.
      Stop();
      sent = Start() && sendmsg(fSocket, &m, MSG_NOSIGNAL) == 1;
    }
    bool answered = false;
    if (sent) {
      if (WaitReadable(fSocket, LimitMs)) {
        ssize_t got;
        do {
          got = recv(fSocket, &byte, 1, 0);
        } while (got < 0 && errno == EINTR);
        answered = got == 1;
      }
    }
    if (!answered || ++fRequests >= kRequestsPerProcess) Stop();
    return answered;
  }

 private:
  bool Start() {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
    const pid_t pid = fork();
    if (pid < 0) {
      close(pair[0]);
      close(pair[1]);
      return false;
    }
    if (pid == 0) {
      BecomeDecoderProcess();
      // It holds none of the caller's files (a pipe whose reader waits for
      // its end must not wait for this process), and ends when the caller's
      // end of the socket closes, at the latest when the caller ends.
      const int socket = pair[1];
      for (int fd = 3; fd < socket; ++fd) close(fd);
      syscall(SYS_close_range, unsigned(socket) + 1, ~0u, 0u);
      ServeRequests(socket);
    }
    close(pair[1]);
    fSocket = pair[0];
    fPid = pid;
    fRequests = 0;
    return true;
  }

  void Stop() {
    if (fPid < 0) return;
    kill(fPid, SIGKILL);
    close(fSocket);
    Reap(fPid);
    fPid = -1;
    fSocket = -1;
  }

  pid_t fPid = -1;
  int fSocket = -1;
  int fRequests = 0;
};

std::mutex gDecoderLock;
TDecoderProcess* gDecoder = nullptr;  // made on first use, never freed

// Runs the request in Fd in the shared decoder process, or in one of its
// own when that one is busy with another thread's request.
bool RunRequest(int Fd, int64_t LimitMs) {
  std::unique_lock<std::mutex> lock(gDecoderLock, std::try_to_lock);
  if (!lock.owns_lock()) return RunOnce(Fd, LimitMs);
  if (!gDecoder) gDecoder = new TDecoderProcess;
  return gDecoder->Run(Fd, LimitMs);
}

}  // namespace

bool TVXJxrDecoder::Decode() {
  if (fDecoded) return true;
  if (fFailed || fFormat == jxfNone) return false;
  fFailed = true;
  const size_t row = RowBytes();
  const size_t mbWidth = (size_t(fWidth) + 15) / 16 * 16;
  const size_t stride = std::max(row, (mbWidth * size_t(VXJxrBitsPerPixel(fFormat)) + 7) / 8);
  const size_t rows = (size_t(fHeight) + 15) / 16 * 16;
  const size_t pixelOffset = (kHeaderBytes + fData.size() + 63) / 64 * 64;
  const size_t bytes = pixelOffset + stride * rows;
  const int fd = int(syscall(SYS_memfd_create, "vx-jxr-decode", unsigned(MFD_CLOEXEC)));
  if (fd < 0 || ftruncate(fd, off_t(bytes)) != 0) {
    if (fd >= 0) close(fd);
    fError = "out of memory";
    return false;
  }
  void* shared = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (shared == MAP_FAILED) {
    close(fd);
    fError = "out of memory";
    return false;
  }
  struct TRelease {
    void* p;
    size_t n;
    int fd;
    ~TRelease() {
      munmap(p, n);
      close(fd);
    }
  } release{shared, bytes, fd};
  uint8_t* base = static_cast<uint8_t*>(shared);
  TRequestHeader h{};
  h.Width = fWidth;
  h.Height = fHeight;
  h.Format = int32_t(fFormat);
  h.DataSize = fData.size();
  h.PixelOffset = pixelOffset;
  h.Stride = stride;
  std::memcpy(&h.ContainerFormat, &fContainerFormat, sizeof(GUID));
  std::memcpy(base, &h, sizeof h);
  if (!fData.empty()) std::memcpy(base + kHeaderBytes, fData.data(), fData.size());

  // 30 s, and 2 s more for every million pixels.
  const int64_t limitMs = 30000 + int64_t(fWidth) * fHeight / 500;
  uint32_t status = 0;
  if (RunRequest(fd, limitMs)) std::memcpy(&status, base + offsetof(TRequestHeader, Status), sizeof status);
  if (status != 1) {
    fError = "damaged image data";
    return false;
  }
  try {
    fPixels.resize(row * size_t(fHeight));
  } catch (const std::bad_alloc&) {
    fError = "out of memory";
    return false;
  }
  const uint8_t* pixels = base + pixelOffset;
  for (int32_t y = 0; y < fHeight; ++y) std::memcpy(fPixels.data() + size_t(y) * row, pixels + size_t(y) * stride, row);
  fDecoded = true;
  fFailed = false;
  return true;
}

bool TVXJxrDecoder::CopyRows(int32_t Y, int32_t Count, uint8_t* Dest, size_t Stride) {
  if (Y < 0 || Count < 0 || int64_t(Y) + Count > fHeight) return false;
  if (!Decode()) return false;
  const size_t row = RowBytes();
  for (int32_t i = 0; i < Count; ++i)
    std::memcpy(Dest + size_t(i) * Stride, fPixels.data() + size_t(Y + i) * row, row);
  return true;
}

// ---------------------------------------------------------------------------
// Encoder

bool VXJxrEncode(const TVXJxrEncodeOptions& o, const uint8_t* Pixels, size_t Stride, std::vector<uint8_t>& Out,
                 std::string& Error) {
  const GUID* guid = GuidOf(o.Format);
  if (!guid || o.Format == jxf32BGRA || o.Width < 1 || o.Height < 1) {
    Error = "unsupported pixel format";
    return false;
  }
  CWMIStrCodecParam scp;
  std::memset(&scp, 0, sizeof(scp));
  scp.bVerbose = FALSE;
  scp.cfColorFormat = ColorFormatOf(o.Format, o.Subsampling);
  scp.bdBitDepth = BD_LONG;
  scp.bfBitstreamFormat = o.FrequencyOrder ? FREQUENCY : SPATIAL;
  scp.bProgressiveMode = TRUE;
  scp.olOverlap = OVERLAP(std::min<uint8_t>(o.Overlap, 2));
  scp.sbSubband = SB_ALL;
  scp.uAlphaMode = 0;
  scp.uiDefaultQPIndex = std::max<uint8_t>(o.QP, 1);
  scp.uiDefaultQPIndexAlpha = 1;
  // Uniform tiles in whole macroblocks; no more slices than macroblocks.
  const uint32_t mbW = (uint32_t(o.Width) + 15) / 16, mbH = (uint32_t(o.Height) + 15) / 16;
  const uint32_t cutsV = std::min<uint32_t>({o.VerticalTileSlices, mbW - 1, MAX_TILES - 1});
  const uint32_t cutsH = std::min<uint32_t>({o.HorizontalTileSlices, mbH - 1, MAX_TILES - 1});
  scp.cNumOfSliceMinus1V = cutsV;
  scp.cNumOfSliceMinus1H = cutsH;
  for (uint32_t i = 0; i <= cutsV; ++i) scp.uiTileX[i] = mbW / (cutsV + 1) + (i < mbW % (cutsV + 1) ? 1 : 0);
  for (uint32_t i = 0; i <= cutsH; ++i) scp.uiTileY[i] = mbH / (cutsH + 1) + (i < mbH % (cutsH + 1) ? 1 : 0);

  Out.clear();
  WMPStream* stream = NewStream(nullptr, 0, &Out);
  PKImageEncode* ie = nullptr;
  if (Failed(PKImageEncode_Create_WMP(&ie))) {
    MemClose(&stream);
    Error = "encoder not created";
    return false;
  }
  bool ok = !Failed(ie->Initialize(ie, stream, &scp, sizeof(scp)));
  if (!ok) MemClose(&stream);
  ok = ok && !Failed(ie->SetPixelFormat(ie, *guid));
  if (ok) {
    // SetPixelFormat chooses the colour format from the pixels; keep the
    // caller's subsampling for colour and Y only for grey.
    ie->WMP.wmiSCP.cfColorFormat = ColorFormatOf(o.Format, o.Subsampling);
    if (o.Format == jxfBlackWhite) ie->WMP.wmiSCP.bBlackWhite = FALSE;
  }
  ok = ok && !Failed(ie->SetSize(ie, o.Width, o.Height));
  ok = ok && !Failed(ie->SetResolution(ie, o.DpiX, o.DpiY));
  if (ok) {
    // WritePixels takes a writable buffer; the rows are copied once.
    const size_t row = (size_t(o.Width) * size_t(VXJxrBitsPerPixel(o.Format)) + 7) / 8;
    std::vector<uint8_t> rows(row * size_t(o.Height));
    for (int32_t y = 0; y < o.Height; ++y) std::memcpy(rows.data() + size_t(y) * row, Pixels + size_t(y) * Stride, row);
    ok = !Failed(ie->WritePixels(ie, U32(o.Height), rows.data(), U32(row)));
  }
  // Release finishes the file and closes the stream.
  ie->Release(&ie);
  if (!ok) {
    Error = "encoding failed";
    Out.clear();
  }
  return ok;
}
