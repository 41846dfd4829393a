// RIFF AVI 1.0 files behind the AVIFile and AVIStream calls: the reader
// (headers, index or "movi" walk, frame decompressor) and the writer
// (headers, frames, palette changes, index, Motion-JPEG compressor).
#include "winui/avifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "platform/signal_cleanup.h"
#include "winui/gdi_internal.h"

namespace {

// ---------------------------------------------------------------------------
// Little-endian fields

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
void PutFourCC(std::vector<uint8_t>& v, DWORD f) { Put32(v, f); }

constexpr DWORD kRIFF = VXMakeFourCC('R', 'I', 'F', 'F');
constexpr DWORD kAVI = VXMakeFourCC('A', 'V', 'I', ' ');
constexpr DWORD kLIST = VXMakeFourCC('L', 'I', 'S', 'T');
constexpr DWORD kHdrl = VXMakeFourCC('h', 'd', 'r', 'l');
constexpr DWORD kStrl = VXMakeFourCC('s', 't', 'r', 'l');
constexpr DWORD kStrh = VXMakeFourCC('s', 't', 'r', 'h');
constexpr DWORD kStrf = VXMakeFourCC('s', 't', 'r', 'f');
constexpr DWORD kAvih = VXMakeFourCC('a', 'v', 'i', 'h');
constexpr DWORD kMovi = VXMakeFourCC('m', 'o', 'v', 'i');
constexpr DWORD kIdx1 = VXMakeFourCC('i', 'd', 'x', '1');
constexpr DWORD kJunk = VXMakeFourCC('J', 'U', 'N', 'K');
constexpr DWORD kMJPG = VXMakeFourCC('M', 'J', 'P', 'G');
constexpr DWORD kDIB = VXMakeFourCC('D', 'I', 'B', ' ');

constexpr int kMaxStreams = 64;              // streams a file may declare
constexpr size_t kMaxHeaderList = 16 << 20;  // bytes of "hdrl" read
constexpr int64_t kFileLimit = int64_t(1) << 31;  // a RIFF AVI 1.0 file stays below 2 GiB
// Written files: the headers take the first kHeaderArea bytes (padded with
// "JUNK"), the "movi" list begins there.
constexpr int64_t kHeaderArea = 4096;
constexpr int kMaxWriteStreams = 2;
constexpr uint32_t kMaxFormat = 40 + 256 * 4;

DWORD LowerFourCC(DWORD f) {
  DWORD r = 0;
  for (int i = 0; i < 4; ++i) {
    uint8_t c = uint8_t(f >> (8 * i));
    if (c >= 'A' && c <= 'Z') c = uint8_t(c - 'A' + 'a');
    r |= DWORD(c) << (8 * i);
  }
  return r;
}

bool IsMJPG(DWORD f) { return LowerFourCC(f) == LowerFourCC(kMJPG); }
bool IsFullFrames(DWORD f) {
  return f == 0 || f == BI_RGB || LowerFourCC(f) == LowerFourCC(kDIB) ||
         LowerFourCC(f) == VXMakeFourCC('r', 'g', 'b', ' ') || LowerFourCC(f) == VXMakeFourCC('r', 'a', 'w', ' ');
}

// A frame format read from a stream or given to one, checked.
struct FrameFormat {
  int32_t Width = 0, Height = 0;  // Height: the absolute value
  bool TopDown = false;
  int Bits = 0;
  bool MJPEG = false;
  int64_t Stride = 0;              // of the uncompressed rows
  std::array<RGBQUAD, 256> Palette{};
  int PaletteSize = 0;             // 2, 16 or 256 entries for 1, 4 and 8 bits
};

// False when the header does not describe frames this layer can handle.
bool ParseFormat(const uint8_t* p, size_t n, FrameFormat& f) {
  if (n < 40) return false;
  const uint32_t biSize = Get32(p);
  if (biSize < 40 || biSize > n) return false;
  const int32_t w = int32_t(Get32(p + 4)), h = int32_t(Get32(p + 8));
  const int bits = Get16(p + 14);
  const DWORD compression = Get32(p + 16);
  const uint32_t clrUsed = Get32(p + 32);
  if (w <= 0 || h == 0 || h == INT32_MIN) return false;
  f.Width = w;
  f.Height = h < 0 ? -h : h;
  f.TopDown = h < 0;
  const int64_t limit = vxgdi::PixelLimit();
  if (int64_t(f.Width) * f.Height > (limit > 0 ? limit : (int64_t(1) << 31))) return false;
  if (IsMJPG(compression)) {
    f.MJPEG = true;
    f.Bits = 24;
  } else if (IsFullFrames(compression)) {
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    f.Bits = bits;
  } else {
    return false;
  }
  f.Stride = ((int64_t(f.Width) * f.Bits + 31) / 32) * 4;
  if (f.Stride * f.Height > (int64_t(1) << 34)) return false;
  f.Palette.fill(RGBQUAD{0, 0, 0, 0});
  f.PaletteSize = 0;
  if (!f.MJPEG && f.Bits <= 8) {
    f.PaletteSize = 1 << f.Bits;
    size_t used = clrUsed != 0 && clrUsed < uint32_t(f.PaletteSize) ? clrUsed : size_t(f.PaletteSize);
    used = std::min(used, (n - biSize) / 4);
    for (size_t i = 0; i < used; ++i) {
      const uint8_t* q = p + biSize + 4 * i;
      f.Palette[i] = RGBQUAD{q[0], q[1], q[2], 0};
    }
  }
  return true;
}

// One row of a frame as B, G, R bytes.
void RowToBGR(const uint8_t* s, const FrameFormat& f, uint8_t* d) {
  for (int32_t x = 0; x < f.Width; ++x, d += 3) {
    switch (f.Bits) {
      case 1:
      case 4:
      case 8: {
        int index;
        if (f.Bits == 8)
          index = s[x];
        else if (f.Bits == 4)
          index = (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        else
          index = (s[x >> 3] >> (7 - (x & 7))) & 1;
        const RGBQUAD& q = f.Palette[size_t(index)];
        d[0] = q.rgbBlue;
        d[1] = q.rgbGreen;
        d[2] = q.rgbRed;
        break;
      }
      case 16: {
        const uint32_t v = Get16(s + 2 * x);
        d[0] = uint8_t(((v & 31) * 255 + 15) / 31);
        d[1] = uint8_t((((v >> 5) & 31) * 255 + 15) / 31);
        d[2] = uint8_t((((v >> 10) & 31) * 255 + 15) / 31);
        break;
      }
      case 24: std::memcpy(d, s + 3 * int64_t(x), 3); break;
      default: std::memcpy(d, s + 4 * int64_t(x), 3); break;
    }
  }
}

// ---------------------------------------------------------------------------
// Motion-JPEG through libjpeg

struct JpegError {
  jpeg_error_mgr pub;
  jmp_buf Jump;
};

void JpegErrorExit(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegError*>(cinfo->err)->Jump, 1); }
void JpegSilent(j_common_ptr, int) {}
void JpegNoOutput(j_common_ptr) {}

// Decodes a frame of exactly Width x Height into bottom-up BGR rows. Frames
// without Huffman tables take the standard ones (libjpeg does so itself).
bool DecodeJpegFrame(const uint8_t* data, size_t size, int32_t Width, int32_t Height, uint8_t* bits, int64_t stride) {
  if (size < 4 || size > (size_t(1) << 31)) return false;
  jpeg_decompress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = &JpegErrorExit;
  err.pub.emit_message = &JpegSilent;
  err.pub.output_message = &JpegNoOutput;
  if (setjmp(err.Jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || int32_t(cinfo.image_width) != Width ||
      int32_t(cinfo.image_height) != Height ||
      (cinfo.num_components != 1 && cinfo.num_components != 3)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = bits + int64_t(Height - 1 - int32_t(cinfo.output_scanline)) * stride;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// Encodes Rows (Height rows of Width BGR pixels, top row first).
bool EncodeJpegFrame(const std::vector<uint8_t>& Rows, int32_t Width, int32_t Height, int Quality,
                     std::vector<uint8_t>& Out) {
  jpeg_compress_struct cinfo;
  JpegError err;
  unsigned char* mem = nullptr;
  unsigned long memSize = 0;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = &JpegErrorExit;
  err.pub.emit_message = &JpegSilent;
  err.pub.output_message = &JpegNoOutput;
  if (setjmp(err.Jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(mem);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &mem, &memSize);
  cinfo.image_width = JDIMENSION(Width);
  cinfo.image_height = JDIMENSION(Height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, Quality, TRUE);
  // Motion-JPEG in AVI files is YCbCr 4:2:2.
  cinfo.comp_info[0].h_samp_factor = 2;
  cinfo.comp_info[0].v_samp_factor = 1;
  for (int c = 1; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(Rows.data()) + size_t(cinfo.next_scanline) * size_t(Width) * 3;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Out.assign(mem, mem + memSize);
  std::free(mem);
  return true;
}

// ---------------------------------------------------------------------------
// Reading

struct ReadFile {
  int Fd = -1;
  int64_t Size = 0;
  ~ReadFile() {
    if (Fd >= 0) close(Fd);
  }
  bool Read(int64_t Pos, void* Dst, size_t N) const {
    if (Pos < 0 || int64_t(N) > Size || Pos > Size - int64_t(N)) return false;
    auto* d = static_cast<uint8_t*>(Dst);
    while (N > 0) {
      const ssize_t r = pread(Fd, d, N, off_t(Pos));
      if (r <= 0) return false;
      d += r;
      Pos += r;
      N -= size_t(r);
    }
    return true;
  }
};

// A chunk of a stream in the "movi" list: a frame or a palette change.
struct Entry {
  int64_t Pos;    // of the chunk header
  uint32_t Size;  // of the data
  bool Palette;
};

struct StreamData {
  int Number = 0;
  AVISTREAMINFOW Info{};
  std::vector<uint8_t> Format;
  std::vector<Entry> Entries;
  std::vector<uint32_t> Frames;  // index into Entries of each frame
};

// Stream number and kind of a chunk id "NNxx"; false for other ids.
bool ChunkStream(DWORD id, int& Number, bool& Frame, bool& Palette) {
  const char a = char(id & 0xFF), b = char((id >> 8) & 0xFF), c = char((id >> 16) & 0xFF), d = char(id >> 24);
  if (a < '0' || a > '9' || b < '0' || b > '9') return false;
  Number = (a - '0') * 10 + (b - '0');
  Frame = (c == 'd' && (d == 'b' || d == 'c'));
  Palette = (c == 'p' && d == 'c');
  return Frame || Palette;
}

}  // namespace

// ---------------------------------------------------------------------------
// The objects behind the handles

struct WriteStream {
  AVISTREAMINFOW Info{};
  std::vector<uint8_t> Format;   // as written to "strf": the first one set
  std::vector<uint8_t> Current;  // the one in effect after the palette changes
  uint32_t Frames = 0;
  uint32_t MaxChunk = 0;
  uint32_t PaletteChanges = 0;
};

struct IndexRecord {
  DWORD Id, Flags;
  uint32_t Offset, Size;
};

struct VXAVIFile {
  int Refs = 1;
  bool Writing = false;
  // Reading.
  std::shared_ptr<ReadFile> Source;
  std::vector<std::shared_ptr<StreamData>> Streams;
  // Writing.
  std::string Target, Temp;
  FILE* Out = nullptr;
  bool Failed = false;
  int64_t End = kHeaderArea;
  std::vector<WriteStream> WStreams;
  std::vector<IndexRecord> Index;
};

struct VXAVIStream {
  int Refs = 1;
  VXAVIFile* File = nullptr;      // held (file streams)
  VXAVIStream* Source = nullptr;  // held (compressed streams)
  std::shared_ptr<StreamData> Data;  // read streams
  int WriteIndex = -1;            // written file streams
  // Compressed streams.
  DWORD Handler = 0;
  int Quality = 75;
  std::vector<uint8_t> InFormat;
};

struct VXAVIGetFrame {
  VXAVIStream* Stream = nullptr;  // held
  FrameFormat Format;
  std::vector<uint8_t> Frame;     // the packed DIB handed out
  std::vector<uint8_t> Chunk;
  // The palette reached after the entries before CachedEntry.
  std::array<RGBQUAD, 256> Palette{};
  uint32_t CachedEntry = 0;
};

namespace {

std::recursive_mutex& Lock() {
  static auto* m = new std::recursive_mutex();
  return *m;
}
std::atomic<int> gLive{0};
std::atomic<int> gInit{0};

struct DialogAnswer {
  bool OK = false;
  DWORD Handler = 0;
  DWORD Quality = DWORD(-1);
};
DialogAnswer gDialog;

// ---- reading ----

HRESULT ParseStreamList(const uint8_t* p, size_t n, int Number, std::shared_ptr<StreamData>& out) {
  auto s = std::make_shared<StreamData>();
  s->Number = Number;
  bool haveHeader = false;
  size_t pos = 0;
  while (pos + 8 <= n) {
    const DWORD id = Get32(p + pos);
    const uint32_t size = Get32(p + pos + 4);
    if (size > n - pos - 8) break;
    const uint8_t* d = p + pos + 8;
    if (id == kStrh && size >= 48 && !haveHeader) {
      AVISTREAMINFOW& i = s->Info;
      i.fccType = Get32(d);
      i.fccHandler = Get32(d + 4);
      i.dwFlags = Get32(d + 8);
      i.wPriority = Get16(d + 12);
      i.wLanguage = Get16(d + 14);
      i.dwInitialFrames = Get32(d + 16);
      i.dwScale = Get32(d + 20);
      i.dwRate = Get32(d + 24);
      i.dwSuggestedBufferSize = Get32(d + 36);
      i.dwQuality = Get32(d + 40);
      i.dwSampleSize = Get32(d + 44);
      if (size >= 56)
        i.rcFrame = RECT{int16_t(Get16(d + 48)), int16_t(Get16(d + 50)), int16_t(Get16(d + 52)),
                         int16_t(Get16(d + 54))};
      haveHeader = true;
    } else if (id == kStrf && s->Format.empty()) {
      s->Format.assign(d, d + size);
    }
    pos += 8 + size + (size & 1);
  }
  if (!haveHeader) return AVIERR_BADFORMAT;
  out = std::move(s);
  return AVIERR_OK;
}

HRESULT ParseHeaderList(const ReadFile& f, int64_t Start, int64_t End, std::vector<std::shared_ptr<StreamData>>& Streams) {
  if (End - Start > int64_t(kMaxHeaderList)) return AVIERR_BADFORMAT;
  std::vector<uint8_t> h(size_t(End - Start));
  if (!f.Read(Start, h.data(), h.size())) return AVIERR_FILEREAD;
  size_t pos = 0;
  while (pos + 8 <= h.size()) {
    const DWORD id = Get32(&h[pos]);
    const uint32_t size = Get32(&h[pos + 4]);
    if (size > h.size() - pos - 8) break;
    if (id == kLIST && size >= 4 && Get32(&h[pos + 8]) == kStrl) {
      if (int(Streams.size()) >= kMaxStreams) return AVIERR_BADFORMAT;
      std::shared_ptr<StreamData> s;
      const HRESULT r = ParseStreamList(&h[pos + 12], size - 4, int(Streams.size()), s);
      if (r != AVIERR_OK) return r;
      Streams.push_back(std::move(s));
    }
    pos += 8 + size + (size & 1);
  }
  return Streams.empty() ? AVIERR_BADFORMAT : AVIERR_OK;
}

void AddEntry(std::vector<std::shared_ptr<StreamData>>& Streams, DWORD Id, int64_t Pos, uint32_t Size) {
  int number;
  bool frame, palette;
  if (!ChunkStream(Id, number, frame, palette) || number >= int(Streams.size())) return;
  StreamData& s = *Streams[size_t(number)];
  if (frame) s.Frames.push_back(uint32_t(s.Entries.size()));
  s.Entries.push_back(Entry{Pos, Size, palette});
}

// The entries from "idx1"; false when the index does not fit the file (then
// the "movi" list is walked instead).
bool ReadIndex(const ReadFile& f, int64_t IdxStart, int64_t IdxSize, int64_t MoviFourCC, int64_t MoviEnd,
               std::vector<std::shared_ptr<StreamData>>& Streams) {
  const int64_t count = IdxSize / 16;
  if (count == 0) return false;
  int64_t base = -1;
  std::vector<uint8_t> block;
  constexpr int64_t kBlock = 4096;
  int64_t entries = 0;
  for (int64_t first = 0; first < count; first += kBlock) {
    const int64_t n = std::min(kBlock, count - first);
    block.resize(size_t(n) * 16);
    if (!f.Read(IdxStart + first * 16, block.data(), block.size())) return false;
    for (int64_t k = 0; k < n; ++k) {
      const uint8_t* e = &block[size_t(k) * 16];
      const DWORD id = Get32(e);
      const uint32_t offset = Get32(e + 8), size = Get32(e + 12);
      int number;
      bool frame, palette;
      if (!ChunkStream(id, number, frame, palette) || number >= int(Streams.size())) continue;
      if (base < 0) {
        // Offsets count from the "movi" four-character code or from the
        // start of the file: the first entry tells which.
        uint8_t probe[4];
        if (f.Read(MoviFourCC + offset, probe, 4) && Get32(probe) == id)
          base = MoviFourCC;
        else if (f.Read(offset, probe, 4) && Get32(probe) == id)
          base = 0;
        else
          return false;
      }
      const int64_t pos = base + offset;
      if (pos < MoviFourCC + 4 || pos + 8 + int64_t(size) > MoviEnd) return false;
      if (++entries > f.Size / 16) return false;
      AddEntry(Streams, id, pos, size);
    }
  }
  return base >= 0;
}

void WalkMovi(const ReadFile& f, int64_t MoviFourCC, int64_t MoviEnd, std::vector<std::shared_ptr<StreamData>>& Streams) {
  int64_t pos = MoviFourCC + 4;
  int64_t entries = 0;
  uint8_t h[12];
  while (pos + 8 <= MoviEnd && f.Read(pos, h, 8)) {
    const DWORD id = Get32(h);
    const uint32_t size = Get32(h + 4);
    if (id == kLIST) {
      // "rec " groups: their chunks follow the list's header.
      pos += 12;
      continue;
    }
    if (pos + 8 + int64_t(size) > MoviEnd) break;
    if (++entries > f.Size / 16) break;
    AddEntry(Streams, id, pos, size);
    pos += 8 + int64_t(size) + (size & 1);
  }
}

HRESULT OpenForReading(const char* Name, VXAVIFile& file) {
  auto f = std::make_shared<ReadFile>();
  f->Fd = open(Name, O_RDONLY | O_CLOEXEC);
  if (f->Fd < 0) return AVIERR_FILEOPEN;
  struct stat st;
  if (fstat(f->Fd, &st) != 0 || !S_ISREG(st.st_mode)) return AVIERR_FILEOPEN;
  f->Size = int64_t(st.st_size);
  uint8_t h[12];
  if (!f->Read(0, h, 12) || Get32(h) != kRIFF || Get32(h + 8) != kAVI) return AVIERR_BADFORMAT;
  const int64_t riffEnd = std::min<int64_t>(8 + int64_t(Get32(h + 4)), f->Size);
  std::vector<std::shared_ptr<StreamData>> streams;
  int64_t moviFourCC = -1, moviEnd = -1, idxStart = -1, idxSize = 0;
  bool header = false;
  int64_t pos = 12;
  while (pos + 8 <= riffEnd && f->Read(pos, h, 8)) {
    const DWORD id = Get32(h);
    const uint32_t size = Get32(h + 4);
    const int64_t data = pos + 8;
    const int64_t end = std::min<int64_t>(data + int64_t(size), riffEnd);
    if (id == kLIST && end - data >= 4 && f->Read(data, h + 8, 4)) {
      const DWORD type = Get32(h + 8);
      if (type == kHdrl && !header) {
        const HRESULT r = ParseHeaderList(*f, data + 4, end, streams);
        if (r != AVIERR_OK) return r;
        header = true;
      } else if (type == kMovi && moviFourCC < 0) {
        moviFourCC = data;
        moviEnd = end;
      }
    } else if (id == kIdx1 && idxStart < 0) {
      idxStart = data;
      idxSize = end - data;
    }
    pos = data + int64_t(size) + (size & 1);
  }
  if (!header || moviFourCC < 0) return AVIERR_BADFORMAT;
  if (idxStart < 0 || !ReadIndex(*f, idxStart, idxSize, moviFourCC, moviEnd, streams)) {
    for (auto& s : streams) {
      s->Entries.clear();
      s->Frames.clear();
    }
    WalkMovi(*f, moviFourCC, moviEnd, streams);
  }
  for (auto& s : streams) {
    AVISTREAMINFOW& i = s->Info;
    i.dwStart = 0;
    i.dwLength = DWORD(s->Frames.size());
    i.dwFormatChangeCount = DWORD(s->Entries.size() - s->Frames.size());
    i.dwEditCount = 0;
    std::memset(i.szName, 0, sizeof i.szName);
    FrameFormat ff;
    if (i.rcFrame.right <= i.rcFrame.left && ParseFormat(s->Format.data(), s->Format.size(), ff))
      i.rcFrame = RECT{0, 0, ff.Width, ff.Height};
  }
  file.Source = std::move(f);
  file.Streams = std::move(streams);
  return AVIERR_OK;
}

// ---- writing ----

bool WriteAt(VXAVIFile& f, int64_t Pos, const std::vector<uint8_t>& Bytes) {
  if (f.Failed || !f.Out) return false;
  if (fseeko(f.Out, off_t(Pos), SEEK_SET) != 0 || fwrite(Bytes.data(), 1, Bytes.size(), f.Out) != Bytes.size()) {
    f.Failed = true;
    return false;
  }
  return true;
}

DWORD ChunkId(int Number, char c, char d) { return VXMakeFourCC(char('0' + Number / 10), char('0' + Number % 10), c, d); }

HRESULT WriteChunk(VXAVIFile& f, DWORD Id, const uint8_t* Data, uint32_t Size, DWORD Flags) {
  if (f.Failed) return AVIERR_FILEWRITE;
  const int64_t pad = Size & 1;
  // The index entry and the "idx1" header count too.
  const int64_t after = f.End + 8 + int64_t(Size) + pad + 8 + 16 * (int64_t(f.Index.size()) + 1);
  if (after >= kFileLimit) return AVIERR_FILEWRITE;
  std::vector<uint8_t> bytes;
  bytes.reserve(size_t(Size) + 9);
  Put32(bytes, Id);
  Put32(bytes, Size);
  bytes.insert(bytes.end(), Data, Data + Size);
  if (pad) bytes.push_back(0);
  if (!WriteAt(f, f.End, bytes)) return AVIERR_FILEWRITE;
  // Offsets count from the "movi" four-character code.
  f.Index.push_back(IndexRecord{Id, Flags, uint32_t(f.End - (kHeaderArea - 4)), Size});
  f.End += int64_t(bytes.size());
  return AVIERR_OK;
}

std::vector<uint8_t> Headers(const VXAVIFile& f) {
  std::vector<uint8_t> strls;
  for (size_t n = 0; n < f.WStreams.size(); ++n) {
    const WriteStream& s = f.WStreams[n];
    const AVISTREAMINFOW& i = s.Info;
    std::vector<uint8_t> l;
    PutFourCC(l, kLIST);
    const uint32_t fmt = uint32_t(s.Format.size());
    Put32(l, 4 + 64 + 8 + fmt + (fmt & 1));
    PutFourCC(l, kStrl);
    PutFourCC(l, kStrh);
    Put32(l, 56);
    PutFourCC(l, i.fccType);
    PutFourCC(l, i.fccHandler);
    Put32(l, i.dwFlags);
    Put16(l, i.wPriority);
    Put16(l, i.wLanguage);
    Put32(l, i.dwInitialFrames);
    Put32(l, i.dwScale);
    Put32(l, i.dwRate);
    Put32(l, 0);
    Put32(l, s.Frames);
    Put32(l, std::max(i.dwSuggestedBufferSize, s.MaxChunk));
    Put32(l, i.dwQuality);
    Put32(l, i.dwSampleSize);
    Put16(l, uint32_t(uint16_t(i.rcFrame.left)));
    Put16(l, uint32_t(uint16_t(i.rcFrame.top)));
    Put16(l, uint32_t(uint16_t(i.rcFrame.right)));
    Put16(l, uint32_t(uint16_t(i.rcFrame.bottom)));
    PutFourCC(l, kStrf);
    Put32(l, fmt);
    l.insert(l.end(), s.Format.begin(), s.Format.end());
    if (fmt & 1) l.push_back(0);
    strls.insert(strls.end(), l.begin(), l.end());
  }
  const WriteStream* first = f.WStreams.empty() ? nullptr : &f.WStreams[0];
  FrameFormat ff;
  const bool known = first && ParseFormat(first->Format.data(), first->Format.size(), ff);
  uint32_t perFrame = 0;
  if (first && first->Info.dwRate != 0)
    perFrame = uint32_t(std::min<double>(4e9, 1e6 * double(first->Info.dwScale) / double(first->Info.dwRate) + 0.5));
  uint32_t maxChunk = 0;
  for (const WriteStream& s : f.WStreams) maxChunk = std::max(maxChunk, s.MaxChunk);
  std::vector<uint8_t> h;
  PutFourCC(h, kRIFF);
  Put32(h, uint32_t(f.End + 8 + 16 * int64_t(f.Index.size()) - 8));
  PutFourCC(h, kAVI);
  PutFourCC(h, kLIST);
  Put32(h, uint32_t(4 + 64 + strls.size()));
  PutFourCC(h, kHdrl);
  PutFourCC(h, kAvih);
  Put32(h, 56);
  Put32(h, perFrame);
  Put32(h, 0);                       // max bytes per second
  Put32(h, 0);                       // padding granularity
  Put32(h, 0x10);                    // has an index
  Put32(h, first ? first->Frames : 0);
  Put32(h, 0);                       // initial frames
  Put32(h, uint32_t(f.WStreams.size()));
  Put32(h, maxChunk);
  Put32(h, known ? uint32_t(ff.Width) : 0);
  Put32(h, known ? uint32_t(ff.Height) : 0);
  for (int k = 0; k < 4; ++k) Put32(h, 0);
  h.insert(h.end(), strls.begin(), strls.end());
  // JUNK up to the "movi" list, whose data begins at kHeaderArea.
  const int64_t junk = kHeaderArea - 12 - int64_t(h.size()) - 8;
  PutFourCC(h, kJunk);
  Put32(h, uint32_t(junk));
  h.resize(h.size() + size_t(junk), 0);
  PutFourCC(h, kLIST);
  Put32(h, uint32_t(f.End - (kHeaderArea - 4)));
  PutFourCC(h, kMovi);
  return h;
}

// Writes the index and the headers and puts the file in place; on any
// failure the temporary file goes and the target stays as it was.
void FinishWriting(VXAVIFile& f) {
  if (!f.Out) return;
  std::vector<uint8_t> idx;
  PutFourCC(idx, kIdx1);
  Put32(idx, uint32_t(16 * f.Index.size()));
  for (const IndexRecord& r : f.Index) {
    Put32(idx, r.Id);
    Put32(idx, r.Flags);
    Put32(idx, r.Offset);
    Put32(idx, r.Size);
  }
  WriteAt(f, f.End, idx);
  WriteAt(f, 0, Headers(f));
  if (fflush(f.Out) != 0) f.Failed = true;
  if (fclose(f.Out) != 0) f.Failed = true;
  f.Out = nullptr;
  if (!f.Failed && std::rename(f.Temp.c_str(), f.Target.c_str()) != 0) f.Failed = true;
  if (f.Failed) std::remove(f.Temp.c_str());
  RemoveSignalCleanup(f.Temp);
}

HRESULT OpenForWriting(const char* Name, VXAVIFile& f) {
  std::string target = Name;
  struct stat st;
  if (::stat(Name, &st) == 0 && (S_ISDIR(st.st_mode) || access(Name, W_OK) != 0)) return AVIERR_FILEOPEN;
  // A hidden sibling of the target, renamed over it when the file is done.
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  static std::atomic<uint32_t> serial{0};
  int fd = -1;
  std::string temp;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "%d-%u", int(getpid()), unsigned(serial++));
    temp = dir + "." + name + "-" + tag + ".tmp";
    TSignalCleanupStart guard;
    if (!guard.Allowed()) return AVIERR_FILEOPEN;
    fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) AddSignalCleanup(temp);
    else if (errno != EEXIST) return AVIERR_FILEOPEN;
  }
  if (fd < 0) return AVIERR_FILEOPEN;
  f.Out = fdopen(fd, "w+b");
  f.Temp = temp;
  if (!f.Out) {
    close(fd);
    std::remove(temp.c_str());
    RemoveSignalCleanup(temp);
    return AVIERR_FILEOPEN;
  }
  f.Target = std::move(target);
  f.Writing = true;
  return AVIERR_OK;
}

void FreeFile(VXAVIFile* f) {
  if (f->Writing) FinishWriting(*f);
  delete f;
  gLive--;
}

void FreeStream(VXAVIStream* s) {
  VXAVIFile* file = s->File;
  VXAVIStream* source = s->Source;
  delete s;
  gLive--;
  if (source) AVIStreamRelease(source);
  if (file) AVIFileRelease(file);
}

// The file stream under a stream (itself, or the source of a compressed one).
VXAVIStream* FileStream(VXAVIStream* s) {
  while (s && s->Source) s = s->Source;
  return s;
}

WriteStream* Written(VXAVIStream* s) {
  if (!s || !s->File || !s->File->Writing || s->WriteIndex < 0) return nullptr;
  return &s->File->WStreams[size_t(s->WriteIndex)];
}

// The format of a written file stream, or a palette change past the start.
HRESULT SetFileStreamFormat(VXAVIStream* s, const uint8_t* p, uint32_t n) {
  WriteStream* w = Written(s);
  if (!w) return AVIERR_READONLY;
  if (n < 40 || n > kMaxFormat) return AVIERR_BADSIZE;
  FrameFormat ff;
  if (!ParseFormat(p, n, ff)) return AVIERR_BADFORMAT;
  if (w->Format.empty()) {
    w->Format.assign(p, p + n);
    w->Current = w->Format;
    return AVIERR_OK;
  }
  FrameFormat old;
  ParseFormat(w->Current.data(), w->Current.size(), old);
  if (n != w->Current.size() || std::memcmp(p + 4, w->Current.data() + 4, 16) != 0 || ff.PaletteSize == 0)
    return std::memcmp(p, w->Current.data(), n) == 0 ? AVIERR_OK : AVIERR_UNSUPPORTED;
  int first = -1, last = -1;
  for (int i = 0; i < ff.PaletteSize; ++i)
    if (std::memcmp(&ff.Palette[size_t(i)], &old.Palette[size_t(i)], 3) != 0) {
      if (first < 0) first = i;
      last = i;
    }
  if (first < 0) return AVIERR_OK;
  std::vector<uint8_t> pc;
  const int count = last - first + 1;
  pc.push_back(uint8_t(first));
  pc.push_back(uint8_t(count == 256 ? 0 : count));
  Put16(pc, 0);
  for (int i = first; i <= last; ++i) {
    const RGBQUAD& q = ff.Palette[size_t(i)];
    pc.insert(pc.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
  }
  const HRESULT r = WriteChunk(*s->File, ChunkId(s->WriteIndex, 'p', 'c'), pc.data(), uint32_t(pc.size()), 0x100);
  if (r != AVIERR_OK) return r;
  w->Current.assign(p, p + n);
  w->PaletteChanges++;
  return AVIERR_OK;
}

HRESULT WriteFileStreamFrame(VXAVIStream* s, const uint8_t* Data, uint32_t Size, DWORD Flags) {
  WriteStream* w = Written(s);
  if (!w) return AVIERR_READONLY;
  if (w->Format.empty()) return AVIERR_BADFORMAT;
  const bool full = IsFullFrames(Get32(w->Format.data() + 16));
  const HRESULT r = WriteChunk(*s->File, ChunkId(s->WriteIndex, 'd', full ? 'b' : 'c'), Data, Size,
                               Flags & AVIIF_KEYFRAME);
  if (r != AVIERR_OK) return r;
  w->Frames++;
  w->MaxChunk = std::max(w->MaxChunk, Size);
  return AVIERR_OK;
}

// Applies the palette change of a chunk to Palette.
void ApplyPaletteChange(const std::vector<uint8_t>& c, size_t Size, int PaletteSize, std::array<RGBQUAD, 256>& Palette) {
  if (Size < 4) return;
  const int first = c[8];
  int count = c[9] == 0 ? 256 : c[9];
  count = int(std::min<size_t>(size_t(count), (Size - 4) / 4));
  for (int i = 0; i < count && first + i < PaletteSize; ++i) {
    const uint8_t* e = &c[8 + 4 + 4 * size_t(i)];
    Palette[size_t(first + i)] = RGBQUAD{e[2], e[1], e[0], 0};
  }
}

// Reads the chunk of an entry (header and data) into Chunk; false when its
// header does not match the entry.
bool ReadChunk(const ReadFile& f, const Entry& e, std::vector<uint8_t>& Chunk) {
  try {
    Chunk.resize(size_t(e.Size) + 8);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!f.Read(e.Pos, Chunk.data(), Chunk.size())) return false;
  int number;
  bool frame, palette;
  return ChunkStream(Get32(Chunk.data()), number, frame, palette) && palette == e.Palette && Get32(&Chunk[4]) >= e.Size;
}

}  // namespace

// ---------------------------------------------------------------------------
// The calls

void AVIFileInit() { gInit++; }

void AVIFileExit() {
  for (int n = gInit.load(); n > 0;)
    if (gInit.compare_exchange_weak(n, n - 1)) break;
}

HRESULT AVIFileOpenW(PAVIFILE* ppfile, LPCWSTR szFile, UINT uMode, const void* lpHandler) {
  if (!ppfile) return AVIERR_BADPARAM;
  *ppfile = nullptr;
  if (!szFile || lpHandler) return AVIERR_BADPARAM;
  auto f = std::make_unique<VXAVIFile>();
  HRESULT r;
  if (uMode == OF_READ)
    r = OpenForReading(szFile, *f);
  else if ((uMode & OF_CREATE) && (uMode & OF_WRITE))
    r = OpenForWriting(szFile, *f);
  else
    r = AVIERR_UNSUPPORTED;
  if (r != AVIERR_OK) return r;
  gLive++;
  *ppfile = f.release();
  return AVIERR_OK;
}

ULONG AVIFileAddRef(PAVIFILE pfile) {
  if (!pfile) return 0;
  std::lock_guard<std::recursive_mutex> l(Lock());
  return ULONG(++pfile->Refs);
}

ULONG AVIFileRelease(PAVIFILE pfile) {
  if (!pfile) return 0;
  std::lock_guard<std::recursive_mutex> l(Lock());
  const int left = --pfile->Refs;
  if (left == 0) FreeFile(pfile);
  return ULONG(left);
}

ULONG AVIStreamAddRef(PAVISTREAM pavi) {
  if (!pavi) return 0;
  std::lock_guard<std::recursive_mutex> l(Lock());
  return ULONG(++pavi->Refs);
}

ULONG AVIStreamRelease(PAVISTREAM pavi) {
  if (!pavi) return 0;
  std::lock_guard<std::recursive_mutex> l(Lock());
  const int left = --pavi->Refs;
  if (left == 0) FreeStream(pavi);
  return ULONG(left);
}

HRESULT AVIFileGetStream(PAVIFILE pfile, PAVISTREAM* ppavi, DWORD fccType, LONG lParam) {
  if (!ppavi) return AVIERR_BADPARAM;
  *ppavi = nullptr;
  if (!pfile || lParam < 0) return AVIERR_BADPARAM;
  std::lock_guard<std::recursive_mutex> l(Lock());
  if (pfile->Writing) return AVIERR_NODATA;
  LONG n = 0;
  for (const auto& s : pfile->Streams) {
    if (fccType != 0 && s->Info.fccType != fccType) continue;
    if (n++ != lParam) continue;
    auto* st = new VXAVIStream();
    gLive++;
    st->File = pfile;
    pfile->Refs++;
    st->Data = s;
    *ppavi = st;
    return AVIERR_OK;
  }
  return AVIERR_NODATA;
}

HRESULT AVIStreamInfoW(PAVISTREAM pavi, AVISTREAMINFOW* psi, LONG lSize) {
  if (!pavi || !psi || lSize < 0) return AVIERR_BADPARAM;
  std::lock_guard<std::recursive_mutex> l(Lock());
  AVISTREAMINFOW info{};
  VXAVIStream* fs = FileStream(pavi);
  if (fs->Data) {
    info = fs->Data->Info;
  } else if (WriteStream* w = Written(fs)) {
    info = w->Info;
    info.dwLength = w->Frames;
    info.dwFormatChangeCount = w->PaletteChanges;
  } else {
    return AVIERR_BADHANDLE;
  }
  if (pavi != fs) info.fccHandler = pavi->Handler;
  std::memcpy(psi, &info, std::min<size_t>(size_t(lSize), sizeof info));
  return AVIERR_OK;
}

LONG AVIStreamLength(PAVISTREAM pavi) {
  if (!pavi) return -1;
  std::lock_guard<std::recursive_mutex> l(Lock());
  VXAVIStream* fs = FileStream(pavi);
  if (fs->Data) return LONG(std::min<size_t>(fs->Data->Frames.size(), INT32_MAX));
  if (WriteStream* w = Written(fs)) return LONG(w->Frames);
  return -1;
}

PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM pavi, const BITMAPINFOHEADER* lpbiWanted) {
  if (!pavi || lpbiWanted) return nullptr;
  std::lock_guard<std::recursive_mutex> l(Lock());
  if (!pavi->Data || pavi->Data->Info.fccType != streamtypeVIDEO) return nullptr;
  auto g = std::make_unique<VXAVIGetFrame>();
  if (!ParseFormat(pavi->Data->Format.data(), pavi->Data->Format.size(), g->Format)) return nullptr;
  g->Palette = g->Format.Palette;
  g->Stream = pavi;
  pavi->Refs++;
  gLive++;
  return g.release();
}

LPVOID AVIStreamGetFrame(PGETFRAME pg, LONG lPos) {
  if (!pg || lPos < 0) return nullptr;
  const StreamData& s = *pg->Stream->Data;
  const ReadFile& file = *pg->Stream->File->Source;
  const FrameFormat& f = pg->Format;
  if (size_t(lPos) >= s.Frames.size()) return nullptr;
  // A dropped frame repeats the one before it.
  size_t k = size_t(lPos);
  while (k > 0 && s.Entries[s.Frames[k]].Size == 0) --k;
  const uint32_t entry = s.Frames[k];
  if (s.Entries[entry].Size == 0) return nullptr;
  if (f.PaletteSize > 0) {
    if (entry < pg->CachedEntry) {
      pg->Palette = f.Palette;
      pg->CachedEntry = 0;
    }
    for (uint32_t i = pg->CachedEntry; i < entry; ++i) {
      const Entry& e = s.Entries[i];
      if (e.Palette && ReadChunk(file, e, pg->Chunk)) ApplyPaletteChange(pg->Chunk, e.Size, f.PaletteSize, pg->Palette);
    }
    pg->CachedEntry = entry;
  }
  if (!ReadChunk(file, s.Entries[entry], pg->Chunk)) return nullptr;
  const uint8_t* data = pg->Chunk.data() + 8;
  const size_t size = s.Entries[entry].Size;
  const size_t table = size_t(f.PaletteSize) * 4;
  const size_t image = size_t(f.Stride) * size_t(f.Height);
  if (!f.MJPEG && size < image) return nullptr;
  try {
    pg->Frame.assign(40 + table + image, 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  uint8_t* h = pg->Frame.data();
  auto put32 = [](uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
  };
  put32(h, 40);
  put32(h + 4, uint32_t(f.Width));
  put32(h + 8, uint32_t(f.Height));
  h[12] = 1;
  h[14] = uint8_t(f.Bits);
  put32(h + 16, BI_RGB);
  put32(h + 20, uint32_t(image));
  put32(h + 32, uint32_t(f.PaletteSize));
  for (int i = 0; i < f.PaletteSize; ++i) std::memcpy(h + 40 + 4 * i, &pg->Palette[size_t(i)], 4);
  uint8_t* bits = h + 40 + table;
  if (f.MJPEG) {
    if (!DecodeJpegFrame(data, size, f.Width, f.Height, bits, f.Stride)) return nullptr;
  } else {
    for (int32_t y = 0; y < f.Height; ++y) {
      const int32_t from = f.TopDown ? f.Height - 1 - y : y;
      std::memcpy(bits + int64_t(y) * f.Stride, data + int64_t(from) * f.Stride, size_t(f.Stride));
    }
  }
  return h;
}

HRESULT AVIStreamGetFrameClose(PGETFRAME pg) {
  if (!pg) return AVIERR_BADHANDLE;
  VXAVIStream* s = pg->Stream;
  delete pg;
  gLive--;
  AVIStreamRelease(s);
  return AVIERR_OK;
}

HRESULT AVIFileCreateStreamW(PAVIFILE pfile, PAVISTREAM* ppavi, const AVISTREAMINFOW* psi) {
  if (!ppavi) return AVIERR_BADPARAM;
  *ppavi = nullptr;
  if (!pfile || !psi) return AVIERR_BADPARAM;
  std::lock_guard<std::recursive_mutex> l(Lock());
  if (!pfile->Writing) return AVIERR_READONLY;
  if (int(pfile->WStreams.size()) >= kMaxWriteStreams) return AVIERR_UNSUPPORTED;
  WriteStream w;
  w.Info = *psi;
  pfile->WStreams.push_back(w);
  auto* s = new VXAVIStream();
  gLive++;
  s->File = pfile;
  pfile->Refs++;
  s->WriteIndex = int(pfile->WStreams.size()) - 1;
  *ppavi = s;
  return AVIERR_OK;
}

HRESULT AVIMakeCompressedStream(PAVISTREAM* ppsCompressed, PAVISTREAM ppsSource, const AVICOMPRESSOPTIONS* lpOptions,
                                const void* pclsidHandler) {
  if (!ppsCompressed) return AVIERR_BADPARAM;
  *ppsCompressed = nullptr;
  if (!ppsSource || !lpOptions || pclsidHandler) return AVIERR_BADPARAM;
  std::lock_guard<std::recursive_mutex> l(Lock());
  if (!Written(FileStream(ppsSource))) return AVIERR_READONLY;
  const DWORD handler = lpOptions->fccHandler;
  if (!IsMJPG(handler) && handler != 0 && LowerFourCC(handler) != LowerFourCC(kDIB)) return AVIERR_NOCOMPRESSOR;
  auto* s = new VXAVIStream();
  gLive++;
  s->Source = ppsSource;
  ppsSource->Refs++;
  s->Handler = handler;
  const DWORD q = lpOptions->dwQuality;
  s->Quality = q == DWORD(-1) ? 75 : int(std::clamp<DWORD>((q + 50) / 100, 1, 100));
  *ppsCompressed = s;
  return AVIERR_OK;
}

HRESULT AVIStreamSetFormat(PAVISTREAM pavi, LONG lPos, const void* lpFormat, LONG cbFormat) {
  if (!pavi || !lpFormat || cbFormat <= 0 || lPos < 0) return AVIERR_BADPARAM;
  std::lock_guard<std::recursive_mutex> l(Lock());
  const auto* p = static_cast<const uint8_t*>(lpFormat);
  const uint32_t n = uint32_t(cbFormat);
  if (!pavi->Source) return SetFileStreamFormat(pavi, p, n);
  if (!IsMJPG(pavi->Handler)) return AVIStreamSetFormat(pavi->Source, lPos, lpFormat, cbFormat);
  // Motion-JPEG: the frames given are uncompressed; the file holds JPEG.
  FrameFormat ff;
  if (n < 40 || n > kMaxFormat) return AVIERR_BADSIZE;
  if (!ParseFormat(p, n, ff) || ff.MJPEG) return AVIERR_BADFORMAT;
  if (!pavi->InFormat.empty()) {
    if (pavi->InFormat.size() != n || std::memcmp(p + 4, pavi->InFormat.data() + 4, 16) != 0)
      return AVIERR_UNSUPPORTED;
    pavi->InFormat.assign(p, p + n);
    return AVIERR_OK;
  }
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, uint32_t(ff.Width));
  Put32(out, uint32_t(ff.Height));
  Put16(out, 1);
  Put16(out, 24);
  PutFourCC(out, kMJPG);
  Put32(out, uint32_t(std::min<int64_t>(int64_t(ff.Width) * ff.Height * 3, UINT32_MAX)));
  for (int k = 0; k < 4; ++k) Put32(out, 0);
  const HRESULT r = SetFileStreamFormat(pavi->Source, out.data(), uint32_t(out.size()));
  if (r != AVIERR_OK) return r;
  pavi->InFormat.assign(p, p + n);
  return AVIERR_OK;
}

HRESULT AVIStreamWrite(PAVISTREAM pavi, LONG lStart, LONG lSamples, const void* lpBuffer, LONG cbBuffer,
                       DWORD dwFlags, LONG* plSampWritten, LONG* plBytesWritten) {
  if (plSampWritten) *plSampWritten = 0;
  if (plBytesWritten) *plBytesWritten = 0;
  if (!pavi || !lpBuffer || cbBuffer < 0 || lSamples != 1) return AVIERR_BADPARAM;
  std::lock_guard<std::recursive_mutex> l(Lock());
  WriteStream* w = Written(FileStream(pavi));
  if (!w) return AVIERR_READONLY;
  if (lStart >= 0 && uint32_t(lStart) != w->Frames) return AVIERR_BADPARAM;
  const auto* p = static_cast<const uint8_t*>(lpBuffer);
  std::vector<uint8_t> jpeg;
  if (pavi->Source && IsMJPG(pavi->Handler)) {
    FrameFormat ff;
    if (pavi->InFormat.empty() || !ParseFormat(pavi->InFormat.data(), pavi->InFormat.size(), ff))
      return AVIERR_BADFORMAT;
    if (int64_t(cbBuffer) < ff.Stride * ff.Height) return AVIERR_BADSIZE;
    std::vector<uint8_t> rows;
    try {
      rows.resize(size_t(ff.Width) * size_t(ff.Height) * 3);
    } catch (const std::bad_alloc&) {
      return AVIERR_MEMORY;
    }
    for (int32_t y = 0; y < ff.Height; ++y) {
      const int32_t from = ff.TopDown ? y : ff.Height - 1 - y;
      RowToBGR(p + int64_t(from) * ff.Stride, ff, &rows[size_t(y) * size_t(ff.Width) * 3]);
    }
    if (!EncodeJpegFrame(rows, ff.Width, ff.Height, pavi->Quality, jpeg)) return AVIERR_COMPRESSOR;
    p = jpeg.data();
    cbBuffer = LONG(std::min<size_t>(jpeg.size(), INT32_MAX));
    dwFlags |= AVIIF_KEYFRAME;
  }
  const HRESULT r = WriteFileStreamFrame(FileStream(pavi), p, uint32_t(cbBuffer), dwFlags);
  if (r != AVIERR_OK) return r;
  if (plSampWritten) *plSampWritten = 1;
  if (plBytesWritten) *plBytesWritten = cbBuffer;
  return AVIERR_OK;
}

BOOL AVISaveOptions(HWND, UINT, int nStreams, PAVISTREAM*, AVICOMPRESSOPTIONS** plpOptions) {
  DialogAnswer a;
  {
    std::lock_guard<std::recursive_mutex> l(Lock());
    a = gDialog;
  }
  if (!a.OK || nStreams <= 0 || !plpOptions) return FALSE;
  for (int i = 0; i < nStreams; ++i) {
    AVICOMPRESSOPTIONS* o = plpOptions[i];
    if (!o) continue;
    o->fccType = streamtypeVIDEO;
    o->fccHandler = a.Handler;
    o->dwKeyFrameEvery = 0;
    o->dwQuality = a.Quality;
  }
  return TRUE;
}

HRESULT AVISaveOptionsFree(int nStreams, AVICOMPRESSOPTIONS** plpOptions) {
  if (!plpOptions) return AVIERR_OK;
  for (int i = 0; i < nStreams; ++i)
    if (AVICOMPRESSOPTIONS* o = plpOptions[i]) {
      // The dialog hands out no format or parameter blocks of its own.
      o->lpFormat = nullptr;
      o->cbFormat = 0;
      o->lpParms = nullptr;
      o->cbParms = 0;
    }
  return AVIERR_OK;
}

namespace vxavi {

void SetSaveOptionsAnswer(bool OK, DWORD Handler, DWORD Quality) {
  std::lock_guard<std::recursive_mutex> l(Lock());
  gDialog = DialogAnswer{OK, Handler, Quality};
}

int LiveObjects() { return gLive.load(); }

}  // namespace vxavi
