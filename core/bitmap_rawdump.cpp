// TVXBitmap: the raw dump "TVXBITMAPRAW", the library's lossless
// serialisation of a bitmap with its palette, levels and alpha channel.
//
// Layout (little-endian): magic (12 bytes), version (int32, 0), palette
// length (int32) and palette (3 bytes an entry), width, height (int32),
// format (byte), full (byte), palette used (int32), black and white values
// (double), four channel offsets (int32), offsets enabled (byte), contrast
// (int32), bit alignment (int32), the rows (row length bytes each, row 0
// first), has-alpha (byte), then, when 1, the alpha rows and the alpha
// channel's full flag (byte).

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"

namespace {

constexpr char kMagic[12] = {'T', 'V', 'X', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};
constexpr int32_t kMaxPaletteLength = 256;
constexpr int32_t kMaxBitAlignment = 4096;

// Writes to consecutive addresses of a caller's block or to a stream.
class TRawWriter {
 public:
  TRawWriter(uint8_t* Buffer, TStream* Stream) : fBuffer(Buffer), fStream(Stream) {}

  void Bytes(const void* p, int64_t n) {
    if (n <= 0) return;
    if (fBuffer) {
      std::memcpy(fBuffer, p, size_t(n));
      fBuffer += n;
    } else {
      fStream->WriteBuffer(p, n);
    }
  }
  void U8(uint8_t v) { Bytes(&v, 1); }
  void I32(int32_t v) {
    uint8_t b[4];
    const uint32_t u = uint32_t(v);
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(u >> (8 * i));
    Bytes(b, 4);
  }
  void F64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(u >> (8 * i));
    Bytes(b, 8);
  }
  // With a stream that keeps its size, reserves Count more bytes at once.
  void Reserve(int64_t Count, bool StreamHasSize) {
    if (fBuffer || !StreamHasSize || Count <= 0) return;
    try {
      const int64_t end = fStream->Position() + Count;
      if (end > fStream->Size()) {
        fStream->SetSize(end);
        // SetSize may move the position of some streams: keep ours.
        fStream->SetPosition(end - Count);
      }
    } catch (...) {
      // Reservation only: the writes that follow report real failures.
    }
  }

 private:
  uint8_t* fBuffer;
  TStream* fStream;
};

// Reads from a caller's block (bounded when its size is known) or a stream;
// every read reports whether all bytes were there.
class TRawReader {
 public:
  TRawReader(const uint8_t* Buffer, int64_t BufferSize, TStream* Stream)
      : fBuffer(Buffer), fLeft(BufferSize), fStream(Stream) {}

  bool Bytes(void* p, int64_t n) {
    if (n <= 0) return n == 0;
    if (fBuffer) {
      if (fLeft >= 0) {
        if (n > fLeft) return false;
        fLeft -= n;
      }
      std::memcpy(p, fBuffer, size_t(n));
      fBuffer += n;
      return true;
    }
    int64_t done = 0;
    while (done < n) {
      const int64_t got = fStream->Read(static_cast<uint8_t*>(p) + done, n - done);
      if (got <= 0) return false;
      done += got;
    }
    return true;
  }
  bool U8(uint8_t& v) { return Bytes(&v, 1); }
  bool I32(int32_t& v) {
    uint8_t b[4];
    if (!Bytes(b, 4)) return false;
    v = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    return true;
  }
  bool F64(double& v) {
    uint8_t b[8];
    if (!Bytes(b, 8)) return false;
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= uint64_t(b[i]) << (8 * i);
    std::memcpy(&v, &u, 8);
    return true;
  }
  // Bytes that can still be read, or -1 when that is not known.
  int64_t Remaining() const {
    if (fBuffer) return fLeft;
    try {
      if (!fStream->SizeKnown()) return -1;
      const int64_t left = fStream->Size() - fStream->Position();
      return left < 0 ? 0 : left;
    } catch (...) {
      return -1;
    }
  }

 private:
  const uint8_t* fBuffer;
  int64_t fLeft;
  TStream* fStream;
};

// rows × row length, or -1 when it overflows.
int64_t RowsSize(int64_t RowLen, int64_t Height) {
  int64_t r;
  if (RowLen < 0 || Height < 0 || __builtin_mul_overflow(RowLen, Height, &r)) return -1;
  return r;
}

}  // namespace

int64_t TVXBitmap::CalcRAWSize() const {
  int64_t size = int64_t(fRGBPaletteLen) * 3 + fRowLen * int64_t(fHeight) + 76;
  if (fAlphaChannel) size += fAlphaChannel->fRowLen * int64_t(fAlphaChannel->fHeight) + 1;
  return size;
}

void TVXBitmap::SaveRAWToBufferOrStream(void* Buffer, TStream* Stream, bool StreamHasSize) {
  if (!Buffer && !Stream) return;
  TRawWriter w(static_cast<uint8_t*>(Buffer), Stream);
  w.Bytes(kMagic, 12);
  w.I32(0);
  const int32_t palLen = fRGBPalette ? fRGBPaletteLen : 0;
  w.I32(palLen);
  for (int32_t i = 0; i < palLen; ++i) {
    const TRGB& e = fRGBPalette[size_t(i)];
    const uint8_t b[3] = {e.b, e.g, e.r};
    w.Bytes(b, 3);
  }
  w.I32(fWidth);
  w.I32(fHeight);
  w.U8(uint8_t(fPixelFormat));
  w.U8(fFull ? 1 : 0);
  w.I32(fPaletteUsed);
  w.F64(fBlackValue);
  w.F64(fWhiteValue);
  for (int i = 0; i < 4; ++i) w.I32(fChannelOffset[i]);
  w.U8(fEnableChannelOffset ? 1 : 0);
  w.I32(fContrast);
  w.I32(fBitAlignment);

  auto writeRows = [&](const TVXBitmap* bmp) {
    w.Reserve(bmp->fRowLen * int64_t(bmp->fHeight), StreamHasSize);
    const TVXDataAccess access = bmp->fAccess;
    const_cast<TVXBitmap*>(bmp)->fAccess = vxdRead;
    try {
      for (int32_t i = 0; i < bmp->fHeight && bmp->fRowLen > 0; ++i) w.Bytes(bmp->GetScanLine(i), bmp->fRowLen);
    } catch (...) {
      bmp->UnMapRows();
      const_cast<TVXBitmap*>(bmp)->fAccess = access;
      throw;
    }
    bmp->UnMapRows();
    const_cast<TVXBitmap*>(bmp)->fAccess = access;
  };
  writeRows(this);
  if (fAlphaChannel) {
    w.U8(1);
    writeRows(fAlphaChannel.get());
    w.U8(fAlphaChannel->fFull ? 1 : 0);
  } else {
    w.U8(0);
  }
}

bool TVXBitmap::LoadRAWFromBufferOrStream(const void* Buffer, TStream* Stream, int64_t BufferSize) {
  if (!Buffer && !Stream) return false;
  TRawReader r(static_cast<const uint8_t*>(Buffer), Buffer ? BufferSize : -1, Stream);

  // Magic and version: refused with the bitmap unchanged.
  char magic[12];
  int32_t version = 0;
  if (!r.Bytes(magic, 12) || std::memcmp(magic, kMagic, 12) != 0) return false;
  if (!r.I32(version) || version < 0) return false;

  // From here on a damaged dump leaves the bitmap empty.
  auto fail = [this]() {
    FreeImage(true);
    fFullReallocate = true;
    return false;
  };

  int32_t palLen = 0;
  if (!r.I32(palLen) || palLen < 0 || palLen > kMaxPaletteLength) return fail();
  std::vector<TRGB> palette(static_cast<size_t>(palLen));
  for (int32_t i = 0; i < palLen; ++i) {
    uint8_t b[3];
    if (!r.Bytes(b, 3)) return fail();
    palette[size_t(i)] = TRGB{b[0], b[1], b[2]};
  }
  int32_t width = 0, height = 0, paletteUsed = 0, contrast = 0, alignment = 0;
  uint8_t format = 0, full = 0, enableOffsets = 0;
  double black = 0, white = 0;
  int32_t offsets[4] = {0, 0, 0, 0};
  bool ok = r.I32(width) && r.I32(height) && r.U8(format) && r.U8(full) && r.I32(paletteUsed) && r.F64(black) &&
            r.F64(white);
  for (int i = 0; i < 4 && ok; ++i) ok = r.I32(offsets[i]);
  ok = ok && r.U8(enableOffsets) && r.I32(contrast) && r.I32(alignment);
  if (!ok) return fail();
  if (width < 0 || height < 0 || format >= VXPixelFormatCount || alignment < 8 || alignment % 8 != 0 ||
      alignment > kMaxBitAlignment)
    return fail();
  const bool hasImage = width > 0 && height > 0 && format != vxnull;
  const int64_t rowLen = hasImage ? VXBitmapRowLen(width, VXPixelFormatBitCount[format], alignment) : 0;
  const int64_t rowsSize = RowsSize(rowLen, height);
  if (rowsSize < 0) return fail();
  // The rows must be there before anything is allocated for them.
  const int64_t remaining = r.Remaining();
  if (remaining >= 0 && rowsSize + 1 > remaining) return fail();

  FreeImage(true);
  fBitAlignment = alignment;
  fFullReallocate = true;
  if (hasImage) {
    if (!Allocate(width, height, TVXPixelFormat(format))) return fail();
  } else {
    fPixelFormat = TVXPixelFormat(format);
  }
  fFull = full != 0;
  fPaletteUsed = paletteUsed;
  fBlackValue = black;
  fWhiteValue = white;
  std::memcpy(fChannelOffset, offsets, sizeof(offsets));
  fEnableChannelOffset = enableOffsets != 0;
  fContrast = contrast;
  if (palLen > 0) {
    if (!fRGBPalette || fRGBPaletteLen < palLen) {
      const int32_t n = std::max(palLen, fRGBPaletteLen);
      std::unique_ptr<TRGB[]> p(new TRGB[size_t(n)]());
      if (fRGBPalette) std::memcpy(p.get(), fRGBPalette.get(), size_t(fRGBPaletteLen) * sizeof(TRGB));
      fRGBPalette = std::move(p);
      fRGBPaletteLen = n;
    }
    std::memcpy(fRGBPalette.get(), palette.data(), size_t(palLen) * sizeof(TRGB));
  }

  auto readRows = [&](TVXBitmap* bmp) {
    const TVXDataAccess access = bmp->fAccess;
    bmp->fAccess = vxdWrite;
    bool good = true;
    for (int32_t i = 0; i < bmp->fHeight && good; ++i) good = r.Bytes(bmp->GetScanLine(i), bmp->fRowLen);
    bmp->UnMapRows();
    bmp->fAccess = access;
    return good;
  };
  if (hasImage && !readRows(this)) return fail();

  uint8_t hasAlpha = 0;
  if (!r.U8(hasAlpha)) return fail();
  if (hasAlpha != 0 && !fIsAlpha) {
    auto alpha = std::make_unique<TVXBitmap>();
    alpha->fIsAlpha = true;
    alpha->fLocation = fLocation;
    if (hasImage) {
      const int64_t alphaSize = RowsSize(VXBitmapRowLen(width, 8, 32), height);
      const int64_t left = r.Remaining();
      if (alphaSize < 0 || (left >= 0 && alphaSize + 1 > left)) return fail();
      if (!alpha->Allocate(width, height, vx8g)) return fail();
      if (!readRows(alpha.get())) return fail();
    }
    uint8_t alphaFull = 0;
    if (!r.U8(alphaFull)) return fail();
    alpha->fFull = alphaFull != 0;
    fAlphaChannel = std::move(alpha);
  } else if (hasAlpha != 0) {
    return fail();  // an alpha channel has no alpha channel of its own
  } else {
    fAlphaChannel.reset();
  }
  return true;
}
