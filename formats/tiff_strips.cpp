// TIFF strip and tile decoding: the compressed bytes of each strip or tile are
// fetched, decompressed one row at a time and handed to the row converter;
// JPEG strips and old-style JPEG pages go through the JPEG reader whole.
//
// Every block buffer holds at least the rows x row bytes its rows need,
// zero-filled: data cut short at the end of the stream, a missing byte count
// or a short inflate decode as zeros instead of reading past the buffer.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/ccitt.h"
#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/bitrows.h"
#include "core/limits.h"
#include "core/pixels.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "io/params.h"

TTIFFStripState::~TTIFFStripState() {
  if (LZWId && LZW) LZW(nullptr, 0, LZWId, 1, 0);
}

void VXTIFFUnpackBits(const uint8_t* Src, int64_t SrcSize, int64_t& Consumed, uint8_t* Row, int64_t RowBytes) {
  int64_t out = 0;
  while (out < RowBytes && Consumed < SrcSize) {
    const int8_t n = int8_t(Src[Consumed++]);
    if (n >= 0) {
      // n + 1 literal bytes (as many as there are); what passes the row is dropped.
      const int64_t run = std::min<int64_t>(int64_t(n) + 1, SrcSize - Consumed);
      const int64_t k = std::min(run, RowBytes - out);
      std::memcpy(Row + out, Src + Consumed, size_t(k));
      out += k;
      Consumed += run;
    } else if (n != -128) {
      if (Consumed >= SrcSize) break;
      const uint8_t b = Src[Consumed++];
      const int64_t k = std::min<int64_t>(1 - int64_t(n), RowBytes - out);
      std::memset(Row + out, b, size_t(k));
      out += k;
    }
  }
  if (out < RowBytes) std::memset(Row + out, 0, size_t(RowBytes - out));
}

namespace {

// The whole strip inflated into ZBuffer (its size fixed by the caller);
// output beyond it is dropped, damage keeps what came out before it.
void Inflate(TTIFFStripState& st) {
  st.Inflated = true;
  int64_t outLeft = st.ZSize;
  // What the data do not fill stays zero.
  struct TZeroTail {
    TTIFFStripState& st;
    int64_t& left;
    ~TZeroTail() {
      if (left > 0) std::memset(st.ZBuffer + (st.ZSize - left), 0, size_t(left));
    }
  } tail{st, outLeft};
  if (!st.ZBuffer || st.SrcSize <= 0) return;
  z_stream z{};
  // A zlib stream without a preset dictionary is inflated raw after its
  // two-byte header: the trailing checksum only costs time here.
  const uint8_t* src = st.Src;
  int64_t inLeft = st.SrcSize;
  const bool plainHeader = inLeft >= 2 && (src[0] & 0x0F) == 8 && (src[0] >> 4) <= 7 &&
                           ((src[0] << 8) | src[1]) % 31 == 0 && !(src[1] & 0x20);
  if (plainHeader) {
    src += 2;
    inLeft -= 2;
  }
  if (inflateInit2(&z, plainHeader ? -15 : 15) != Z_OK) return;
  z.next_in = const_cast<Bytef*>(src);
  z.next_out = st.ZBuffer;
  for (;;) {
    const uInt inChunk = uInt(std::min<int64_t>(inLeft, 1 << 30));
    const uInt outChunk = uInt(std::min<int64_t>(outLeft, 1 << 30));
    z.avail_in = inChunk;
    z.avail_out = outChunk;
    const int rc = inflate(&z, Z_NO_FLUSH);
    inLeft -= inChunk - z.avail_in;
    outLeft -= outChunk - z.avail_out;
    if (rc != Z_OK || outLeft == 0 || (inLeft == 0 && z.avail_in == 0 && z.avail_out != 0)) break;
  }
  inflateEnd(&z);
}

}  // namespace

bool DecompressTIFFStrip(int32_t RowIndex, uint8_t* Row, TTIFFStripState& st, int64_t RowBytes, int32_t Width,
                         const TTIFFReaderContext& c, int64_t UnpackBytes) {
  const int32_t B = c.BitsPerSample;
  st.Out = Row;
  switch (c.Compression) {
    case 1: {
      const int64_t n = std::clamp<int64_t>(st.SrcSize - st.Consumed, 0, RowBytes);
      if (n > 0) std::memcpy(Row, st.Src + st.Consumed, size_t(n));
      if (n < RowBytes) std::memset(Row + n, 0, size_t(RowBytes - n));
      st.Consumed += RowBytes;
      break;
    }
    case 2:
      std::memset(Row, 0, size_t(RowBytes));
      if (st.Consumed < st.SrcSize)
        st.Consumed += VXCCITTDecodeMHRow(Row, st.Src + st.Consumed, st.SrcSize - st.Consumed, Width, c.FillOrder);
      break;
    case 3:
    case 4:
      std::memset(Row, 0, size_t(RowBytes));
      if (st.RefRow.empty()) st.RefRow.assign(size_t((int64_t(Width) + 7) / 8), 0xFF);
      if (c.Compression == 3 && !(c.T4Options & 1))
        st.BitPos = VXCCITTDecode1DRow(Row, st.Src, st.SrcSize, Width, st.BitPos, c.FillOrder);
      else
        st.BitPos = VXCCITTDecode2DRow(Row, st.Src, st.SrcSize, Width, st.RefRow.data(), st.BitPos, c.FillOrder,
                                       c.Compression == 3 ? true : (c.T4Options & 4) != 0, &st.RefRuns);
      break;
    case 5: {
      if (!st.LZW) return false;
      uint8_t* p = st.LZW(const_cast<uint8_t*>(st.Src), int32_t(RowBytes), st.LZWId, c.FillOrder, st.SrcSize);
      if (!p) return false;
      std::memcpy(Row, p, size_t(RowBytes));
      break;
    }
    case 8:
    case 32946: {
      if (!st.Inflated) Inflate(st);
      const int64_t from = int64_t(RowIndex) * RowBytes;
      if (from + RowBytes <= st.ZSize && st.Direct && B >= 8)
        st.Out = st.ZBuffer + from;
      else if (from + RowBytes <= st.ZSize)
        std::memcpy(Row, st.ZBuffer + from, size_t(RowBytes));
      else
        std::memset(Row, 0, size_t(RowBytes));
      break;
    }
    case 32773:
      VXTIFFUnpackBits(st.Src, st.SrcSize, st.Consumed, Row, RowBytes);
      break;
    default:
      std::memset(Row, 0, size_t(RowBytes));
      break;
  }
  const bool grey = c.PhotometricInterpretation <= 1;
  const int64_t unpack = std::clamp<int64_t>(UnpackBytes, 0, RowBytes);
  if (B == 4) {
    for (int64_t i = unpack - 1; i >= 0; --i) {
      const uint8_t b = Row[i];
      Row[2 * i] = uint8_t(b >> 4);
      Row[2 * i + 1] = uint8_t(b & 15);
    }
    if (grey)
      for (int64_t i = 0; i < 2 * unpack; ++i) Row[i] = uint8_t(Row[i] * 17);
  } else if (B >= 2 && B <= 7 && c.Compression != 2 && c.Compression != 3 && c.Compression != 4) {
    const int64_t samples = unpack * 8 / B;
    std::vector<uint8_t> packed(Row, Row + unpack);
    for (int64_t i = 0; i < samples; ++i) {
      uint32_t v = 0;
      for (int32_t k = 0; k < B; ++k) {
        const int64_t bit = i * B + k;
        v = (v << 1) | ((packed[size_t(bit >> 3)] >> (7 - (bit & 7))) & 1);
      }
      Row[i] = uint8_t(v);
    }
    if (grey && (B == 2 || B == 7))
      for (int64_t i = 0; i < samples; ++i) Row[i] = uint8_t(Row[i] * (B == 2 ? 85 : 2));
  }
  return true;
}

namespace {

// Compressions whose data libtiff-style writers store bit-reversed under
// FillOrder 2 as a whole; the CCITT and LZW decoders take the fill order
// themselves.
bool ReverseWholeBlock(const TTIFFReaderContext& c) {
  return c.FillOrder == 2 &&
         (c.Compression == 1 || c.Compression == 8 || c.Compression == 32946 || c.Compression == 32773);
}

// Reads up to Count bytes at Pos (cut at the stream's end) into Buffer, which
// ends up zero-filled to at least Need bytes. Returns the bytes read.
int64_t ReadBlock(TStream* Stream, int64_t Pos, int64_t Count, int64_t Need, std::vector<uint8_t>& Buffer,
                  const TTIFFReaderContext& c) {
  const int64_t size = Stream->Size();
  int64_t n = (Pos < 0 || Pos >= size) ? 0 : std::min(Count, size - Pos);
  if (n < 0) n = 0;
  const size_t total = size_t(std::max(n, Need) + 16);
  if (Buffer.size() < total) Buffer.resize(total);
  if (n > 0) {
    Stream->SetPosition(Pos);
    n = std::max<int64_t>(0, Stream->Read(Buffer.data(), n));
  }
  std::memset(Buffer.data() + n, 0, total - size_t(n));
  if (ReverseWholeBlock(c))
    for (int64_t i = 0; i < n; ++i) Buffer[size_t(i)] = VXReverseBitsTable[Buffer[size_t(i)]];
  return n;
}

// The byte count of block i: 0 (the table is short or says 0) means up to
// the end of the stream.
int64_t BlockCount(const std::vector<int64_t>& Counts, size_t i, int64_t Pos, int64_t StreamSize) {
  int64_t count = i < Counts.size() ? Counts[i] : 0;
  if (count <= 0) count = StreamSize - Pos;
  return count;
}

// Whether a block of Count bytes at Pos has any of them in the stream: one
// that lies wholly outside it, or has no bytes, would load as a blank
// block reported as read.
bool HasData(int64_t Pos, int64_t Count, int64_t StreamSize) {
  return Pos >= 0 && Pos < StreamSize && Count >= 1;
}

}  // namespace

void VXReadTIFFStrips(TVXTIFFIFDReader& Reader, TTIFFReaderContext& c, TVXBitmap* Bitmap, TProgressRec& Progress) {
  bool& aborting = *Progress.Aborting;
  TStream* stream = Reader.Stream;
  const int64_t base = Reader.StreamBase;
  const int64_t size = stream->Size();
  const size_t strips = c.StripOffsets.size();
  const int32_t H = c.ImageHeight, W = c.ImageWidth;
  const int32_t rps = std::max(1, c.RowsPerStrip);
  c.per1 = 100.0 / H;
  c.per2 = strips ? 100.0 / double(strips) : 0;
  c.val = 0;
  c.Blocks = int64_t(strips);
  std::vector<uint8_t> buf;
  if (c.PlanarConfiguration == 1) {
    const int64_t rowBytes = c.RowBytes(W, false);
    int32_t done = 0;
    for (size_t s = 0; s < strips && done < H && !aborting; ++s) {
      const int32_t rows = std::min(rps, H - done);
      const int64_t pos = base + c.StripOffsets[s];
      const int64_t need = c.Compression == 7 ? 0 : int64_t(rows) * rowBytes;
      if (!VXStorageSizeAllowed(need)) {
        aborting = true;
        break;
      }
      int64_t count = BlockCount(c.StripByteCounts, s, pos, size);
      if (c.Compression == 1) count = std::max(count, need);
      if (!HasData(pos, count, size)) {
        aborting = true;
        break;
      }
      if (c.Compression == 1) {
        // Uncompressed rows are read a band at a time.
        const int32_t band = int32_t(std::clamp<int64_t>((int64_t(1) << 20) / std::max<int64_t>(rowBytes, 1), 1, rows));
        for (int32_t r = 0; r < rows && !aborting; r += band) {
          const int32_t n = std::min(band, rows - r);
          const int64_t got = ReadBlock(stream, pos + int64_t(r) * rowBytes, int64_t(n) * rowBytes,
                                        int64_t(n) * rowBytes, buf, c);
          c.DecodeRows(Bitmap, done + r, 0, buf.data(), got, W, n, Progress);
        }
      } else {
        const int64_t got = ReadBlock(stream, pos, count, need, buf, c);
        c.DecodeRows(Bitmap, done, 0, buf.data(), got, W, rows, Progress);
      }
      done += rows;
    }
  } else if (c.PlanarConfiguration == 2) {
    const int32_t S = c.SamplesPerPixel;
    const size_t perPlane = strips / size_t(S);
    const int64_t planeBytes = c.RowBytes(W, true);
    std::vector<std::vector<uint8_t>> planes(static_cast<size_t>(S));
    std::vector<uint8_t*> ptrs(static_cast<size_t>(S));
    std::vector<int64_t> sizes(static_cast<size_t>(S));
    int32_t done = 0;
    for (size_t s = 0; s < perPlane && done < H && !aborting; ++s) {
      const int32_t rows = std::min(rps, H - done);
      const int64_t need = int64_t(rows) * planeBytes;
      if (!VXStorageSizeAllowed(need * S)) {
        aborting = true;
        break;
      }
      for (int32_t p = 0; p < S; ++p) {
        const size_t i = size_t(p) * perPlane + s;
        const int64_t pos = base + c.StripOffsets[i];
        int64_t count = BlockCount(c.StripByteCounts, i, pos, size);
        if (c.Compression == 1) count = std::max(count, need);
        if (!HasData(pos, count, size)) {
          aborting = true;
          return;
        }
        sizes[p] = ReadBlock(stream, pos, count, need, planes[p], c);
        ptrs[p] = planes[p].data();
      }
      c.DecodePlanarRows(Progress, rows, W, sizes.data(), ptrs.data(), Bitmap, done);
      done += rows;
    }
  }
}

void VXReadTIFFTiles(TVXTIFFIFDReader& Reader, TTIFFReaderContext& c, TVXBitmap* Bitmap, TProgressRec& Progress) {
  bool& aborting = *Progress.Aborting;
  const TVXPixelFormat pf = Bitmap->PixelFormat();
  if (c.PlanarConfiguration != 1 || c.TileWidth <= 0 || c.TileLength <= 0 ||
      !(pf == vx24RGB || pf == vx1g || pf == vx8g || pf == vx8p || pf == vx16g)) {
    aborting = true;
    return;
  }
  TStream* stream = Reader.Stream;
  const int64_t base = Reader.StreamBase;
  const int64_t size = stream->Size();
  const int32_t TW = c.TileWidth, TL = c.TileLength;
  if (!VXImageSizeAllowed(TW, TL, Bitmap->BitCount())) {
    aborting = true;
    return;
  }
  // Rows of a tile below the image are never decoded: the buffer holds the
  // rows that can fall inside it.
  const int64_t need = c.Compression == 7 ? 0 : std::min<int64_t>(TL, c.ImageHeight) * c.RowBytes(TW, false);
  if (!VXStorageSizeAllowed(need)) {
    aborting = true;
    return;
  }
  const int32_t getTile = c.RefParams->TIFF_GetTile();
  const size_t tiles = c.TileOffsets.size();
  const int64_t across = (int64_t(c.ImageWidth) + TW - 1) / TW;
  c.per1 = 100.0 / (double(c.ImageHeight) * double(std::max<int64_t>(across, 1)));
  c.per2 = tiles ? 100.0 / double(tiles) : 0;
  c.val = 0;
  c.Blocks = getTile >= 0 ? 1 : int64_t(tiles);
  std::vector<uint8_t> buf;
  int32_t x = 0, y = 0;
  for (size_t t = getTile < 0 ? 0 : size_t(getTile); t < tiles && !aborting && y < c.ImageHeight; ++t) {
    const int64_t pos = base + c.TileOffsets[t];
    int64_t count = BlockCount(c.TileByteCounts, t, pos, size);
    if (!HasData(pos, count, size)) {
      aborting = true;
      break;
    }
    const int64_t got = ReadBlock(stream, pos, count, need, buf, c);
    c.DecodeRows(Bitmap, y, x, buf.data(), got, TW, TL, Progress);
    if (getTile >= 0) break;
    x += TW;
    if (x >= c.ImageWidth) {
      x = 0;
      y += TL;
    }
  }
}

bool VXDecodeTIFFJpegBlock(TTIFFReaderContext& c, TVXBitmap* Bitmap, int32_t StartRow, int32_t XPixel,
                           const uint8_t* Buffer, int64_t Length, TProgressRec& Progress, bool WholePage) {
  bool& aborting = *Progress.Aborting;
  TIOParamsVals& P = *c.RefParams;
  TVXMemStream data(Buffer, Length);
  TVXMemStream tables(c.JPEGTables.data(), int64_t(c.JPEGTables.size()));
  const bool rgb = !c.JPEGTables.empty() && c.PhotometricInterpretation == 2;
  TProgressRec silent;
  silent.Aborting = Progress.Aborting;
  TVXBitmap tmp;
  const int32_t w = P.Width(), h = P.Height(), ow = P.OriginalWidth(), oh = P.OriginalHeight();
  const int32_t count = P.ImageCount(), bits = P.BitsPerSample(), spp = P.SamplesPerPixel();
  const int32_t dx = P.fDpiX, dy = P.fDpiY;
  const double ex = P.fEXIF_XResolution, ey = P.fEXIF_YResolution;
  VXReadJpegStream(&data, c.JPEGTables.empty() ? nullptr : &tables, &tmp, P, WholePage ? Progress : silent, false,
                   rgb, false, true, false, true, -1, P.IsNativePixelFormat);
  P.SetWidth(w);
  P.SetHeight(h);
  P.SetOriginalWidth(ow);
  P.SetOriginalHeight(oh);
  P.SetImageCount(count);
  P.SetBitsPerSample(bits);
  P.SetSamplesPerPixel(spp);
  P.fDpiX = dx;
  P.fDpiY = dy;
  P.fEXIF_XResolution = ex;
  P.fEXIF_YResolution = ey;
  if (aborting || tmp.IsEmpty()) return false;
  if (rgb && tmp.PixelFormat() == vx24RGB)
    for (int32_t r = 0; r < tmp.Height(); ++r) VXSwapRBRow(tmp.ScanLine(r), tmp.Width());
  if (tmp.PixelFormat() != Bitmap->PixelFormat()) tmp.SetPixelFormat(Bitmap->PixelFormat());
  const int32_t bpp = Bitmap->BitCount();
  const int32_t cols = std::min(tmp.Width(), Bitmap->Width() - XPixel);
  if (cols <= 0 || bpp < 8) return true;
  for (int32_t r = 0; r < tmp.Height() && StartRow + r < Bitmap->Height(); ++r)
    std::memcpy(static_cast<uint8_t*>(Bitmap->ScanLine(StartRow + r)) + size_t(XPixel) * (bpp / 8), tmp.ScanLine(r),
                size_t(cols) * (bpp / 8));
  return true;
}

namespace {

// Up to Count bytes at Pos, cut at the stream's end.
std::vector<uint8_t> ReadBytes(TStream* Stream, int64_t Pos, int64_t Count) {
  const int64_t size = Stream->Size();
  std::vector<uint8_t> out;
  if (Pos < 0 || Pos >= size || Count <= 0) return out;
  out.resize(size_t(std::min(Count, size - Pos)));
  Stream->SetPosition(Pos);
  out.resize(size_t(std::max<int64_t>(0, Stream->Read(out.data(), int64_t(out.size())))));
  return out;
}

// True when the JPEG stream goes on past the header of its first scan: it
// carries entropy-coded data of its own, not only the tables.
bool HoldsScanData(const std::vector<uint8_t>& J) {
  size_t p = 2;
  if (J.size() < 4 || J[0] != 0xFF || J[1] != 0xD8) return false;
  while (p + 4 <= J.size()) {
    if (J[p] != 0xFF) return false;
    const uint8_t m = J[p + 1];
    if (m == 0xFF) {  // fill byte
      ++p;
      continue;
    }
    if (m == 0xD9) return false;
    const size_t end = p + 2 + ((size_t(J[p + 2]) << 8) | J[p + 3]);
    if (m == 0xDA) return end + 2 < J.size();
    p = end;
  }
  return false;
}

}  // namespace

void VXReadTIFFOldJpeg(TVXTIFFIFDReader& Reader, TTIFFReaderContext& c, TVXBitmap* Bitmap, TProgressRec& Progress) {
  bool& aborting = *Progress.Aborting;
  TStream* stream = Reader.Stream;
  const int64_t base = Reader.StreamBase;
  if (!c.StripByteCounts.empty() && !c.StripOffsets.empty()) {
    if (!VXImageSizeAllowed(c.ImageWidth, c.ImageHeight, 24) ||
        !Bitmap->Allocate(c.ImageWidth, c.ImageHeight, vx24RGB)) {
      aborting = true;
      return;
    }
    const size_t strips = c.StripOffsets.size();
    const int32_t rps = std::max(1, c.RowsPerStrip);
    // The shared header and the first marker segment of strip 0, which every
    // later strip needs in front of its own data.
    const std::vector<uint8_t> header =
        ReadBytes(stream, base + c.JPEGInterchangeFormat, c.JPEGInterchangeFormatLength);
    // A shared stream that carries its own scan data is a whole picture: it
    // is the page, decoded once (each strip behind it would decode it all
    // again and show its top rows).
    if (HoldsScanData(header)) {
      TVXMemStream ms(header.data(), int64_t(header.size()));
      TIOParamsVals scratch;
      TVXBitmap tmp;
      VXReadJpegStream(&ms, nullptr, &tmp, scratch, Progress, false, false, false, false, true, false, -1,
                       scratch.IsNativePixelFormat);
      if (tmp.IsEmpty()) return;
      if (tmp.PixelFormat() != vx24RGB) tmp.SetPixelFormat(vx24RGB);
      const int32_t cols = std::min(tmp.Width(), Bitmap->Width());
      for (int32_t y = 0; y < tmp.Height() && y < Bitmap->Height(); ++y)
        std::memcpy(Bitmap->ScanLine(y), tmp.ScanLine(y), size_t(cols) * 3);
      return;
    }
    std::vector<uint8_t> segment = ReadBytes(stream, base + c.StripOffsets[0], 4);
    if (segment.size() == 4) segment = ReadBytes(stream, base + c.StripOffsets[0], ((segment[2] << 8) | segment[3]) + 2);
    int32_t last = -1;
    for (size_t i = 0; i < strips && !aborting && int64_t(i) * rps < c.ImageHeight; ++i) {
      std::vector<uint8_t> data = header;
      if (i > 0) data.insert(data.end(), segment.begin(), segment.end());
      const int64_t count = i < c.StripByteCounts.size() ? c.StripByteCounts[i] : 0;
      const std::vector<uint8_t> strip = ReadBytes(stream, base + c.StripOffsets[i], count);
      data.insert(data.end(), strip.begin(), strip.end());
      TVXMemStream ms(data.data(), int64_t(data.size()));
      TIOParamsVals scratch;
      TVXBitmap tmp;
      TProgressRec silent;
      silent.Aborting = Progress.Aborting;
      const bool before = aborting;
      const int32_t rows = VXReadJpegStream(&ms, nullptr, &tmp, scratch, strips == 1 ? Progress : silent, false,
                                            false, false, false, true, false, rps, scratch.IsNativePixelFormat);
      if (aborting && !before && rows > rps / 2) aborting = false;
      if (tmp.IsEmpty()) continue;
      if (tmp.PixelFormat() != vx24RGB) tmp.SetPixelFormat(vx24RGB);
      const int32_t cols = std::min(tmp.Width(), Bitmap->Width());
      for (int32_t y = 0; y < tmp.Height() && y < rows; ++y) {
        const int64_t dy = int64_t(rps) * int64_t(i) + y;
        if (dy >= Bitmap->Height()) break;
        std::memcpy(Bitmap->ScanLine(int32_t(dy)), tmp.ScanLine(y), size_t(cols) * 3);
      }
      VXReportProgress(Progress, int32_t(double(i) / double(strips) * 100), last);
    }
    return;
  }
  int64_t start = c.JPEGInterchangeFormat;
  if (start == 0 && !c.StripOffsets.empty()) start = c.StripOffsets[0];
  const int64_t pos = base + start;
  if (pos < 0 || pos >= stream->Size()) {
    aborting = true;
    return;
  }
  stream->SetPosition(pos);
  const int64_t length = VXGetJpegStreamLength(stream);
  if (length <= 0 || pos + length > stream->Size()) {
    aborting = true;
    return;
  }
  const std::vector<uint8_t> data = ReadBytes(stream, pos, length);
  TVXMemStream ms(data.data(), int64_t(data.size()));
  TIOParamsVals scratch;
  VXReadJpegStream(&ms, nullptr, Bitmap, scratch, Progress, false, false, false, false, true, true, -1,
                   scratch.IsNativePixelFormat);
}
