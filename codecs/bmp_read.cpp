// BMP reading: file header, the OS/2 1.x core header and the info headers,
// palettes, bit fields, uncompressed rows of 1 to 32 bits and the RLE4/RLE8
// walk.
//
// Every size the file declares is checked against what the stream holds
// before anything is allocated for it; only the bitmap (and the alpha mask of
// its size) is allocated from the image size, under the library's limits.
#include "codecs/bmp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"

namespace {

uint16_t LE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Resolution in dots per inch from pixels per metre; 0 gives the default.
int32_t DpiFromPixelsPerMetre(int32_t PixelsPerMetre, int32_t Default) {
  if (PixelsPerMetre == 0) return Default;
  return int32_t(std::nearbyint(double(PixelsPerMetre) / 100.0 * 2.54));
}

// A channel from a bit-field mask: shifted down by the mask's lowest set bit
// and scaled to 8 bits keeping its top bits.
struct TBitField {
  uint32_t Mask = 0;
  int32_t Shift = 0;
  int32_t Width = 0;
  explicit TBitField(uint32_t m) : Mask(m) {
    if (m == 0) return;
    Shift = __builtin_ctz(m);
    Width = VXBitFieldWidth(m);
  }
  uint8_t Get(uint32_t v) const {
    const uint32_t c = (v & Mask) >> Shift;
    if (Width >= 8) return uint8_t(c >> (Width - 8));
    return uint8_t(c << (8 - Width));
  }
  // The same channel spread over the whole 0..255 range: a narrow field's
  // largest value gives 255 (a 2-bit alpha of 3 is opaque).
  uint8_t GetScaled(uint32_t v) const {
    if (Width >= 8 || Width == 0) return Get(v);
    const uint32_t c = (v & Mask) >> Shift;
    const uint32_t top = (1u << Width) - 1;
    return uint8_t((c * 255 + top / 2) / top);
  }
};

class TBMPReader {
 public:
  TBMPReader(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool& Aborting)
      : s(Stream), bmp(Bitmap), P(Params), progress(Progress), aborting(Aborting) {}

  void Run(int32_t DataSize, bool Preview, bool NoFileHeader, std::unique_ptr<TVXMask>& AlphaMask,
           bool IgnoreAlpha);

 private:
  TStream* s;
  TVXBitmap* bmp;
  TIOParamsVals& P;
  TProgressRec& progress;
  bool& aborting;

  int64_t start = 0, streamSize = 0;
  int32_t width = 0, height = 0, bits = 0;
  uint32_t compression = 0;
  bool topDown = false;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  uint32_t alphaMask = 0;        // bit-field alpha (headers of 56 bytes and more)
  bool fields32 = false;         // 32-bit pixels laid out by the bit-field masks
  bool colour1 = false;          // a 1-bit file whose palette is not black and white
  TRGB lut[256] = {};  // the palette, black beyond ColorMapCount
  int32_t lastPercent = -1;

  int64_t Remaining() { return streamSize - s->Position(); }
  bool ReadExact(void* Buffer, int64_t Count) { return Count <= 0 || s->Read(Buffer, Count) == Count; }
  void ReadPalette(int32_t Count, int32_t EntrySize);
  int32_t BitmapRow(int32_t FileRow) const { return topDown ? height - 1 - FileRow : FileRow; }
  // Reports the progress of file row r when it changed; true to stop.
  bool RowProgress(int32_t FileRow);
  uint8_t* Row(int32_t FileRow) { return static_cast<uint8_t*>(bmp->GetScanLine(BitmapRow(FileRow))); }

  void DecodeRows(TVXMask* Mask, bool& AlphaSeen0, bool& AlphaSeen255, bool& AlphaOther);
  void DecodeRLE(const std::vector<uint8_t>& Data, bool Truncated);
};

void TBMPReader::ReadPalette(int32_t Count, int32_t EntrySize) {
  std::vector<uint8_t> raw(size_t(Count) * EntrySize);
  const int64_t got = s->Read(raw.data(), int64_t(raw.size()));
  if (got < int64_t(raw.size())) {
    aborting = true;
    std::fill(raw.begin() + got, raw.end(), 0);
  }
  P.fColorMap.resize(size_t(Count));
  for (int32_t i = 0; i < Count; ++i) {
    const uint8_t* e = &raw[size_t(i) * EntrySize];
    P.fColorMap[i] = TRGB{e[0], e[1], e[2]};
  }
  P.fColorMapCount = Count;
}

bool TBMPReader::RowProgress(int32_t FileRow) {
  if (progress.fOnProgress) {
    const int32_t percent = int32_t((height - 1 - FileRow) * progress.per1);
    if (percent != lastPercent) {
      lastPercent = percent;
      progress.fOnProgress(progress.Sender, percent);
    }
  }
  return aborting;
}

void TBMPReader::Run(int32_t DataSize, bool Preview, bool NoFileHeader, std::unique_ptr<TVXMask>& AlphaMask,
                     bool IgnoreAlpha) {
  start = s->Position();
  streamSize = s->Size();
  const TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();

  // File header.
  uint32_t bfOffBits = 0;
  int32_t bfSize = 0;
  if (P.IsResource() || NoFileHeader) {
    bfSize = int32_t(std::min<int64_t>(streamSize, INT32_MAX));
  } else {
    uint8_t fh[14];
    if (!ReadExact(fh, 14) || fh[0] != 'B' || fh[1] != 'M') {
      aborting = true;
      return;
    }
    bfSize = int32_t(LE32(fh + 2));
    bfOffBits = LE32(fh + 10);
  }
  if (bfSize > 0 && DataSize <= 0) DataSize = bfSize;

  // Info header.
  uint8_t sizeField[4];
  if (!ReadExact(sizeField, 4)) {
    aborting = true;
    return;
  }
  s->Seek(-4, soCurrent);
  const uint32_t headerSize = LE32(sizeField);
  P.FreeColorMap();
  uint32_t imageSize = 0;
  if (headerSize == 12) {
    uint8_t h[12];
    if (!ReadExact(h, 12)) {
      aborting = true;
      return;
    }
    P.SetBMP_Version(ioBMP_BMOS2V1);
    width = LE16(h + 4);
    height = LE16(h + 6);
    bits = LE16(h + 10);
    P.SetDpiX(settings->DefaultDPIX());
    P.SetDpiY(settings->DefaultDPIY());
    if (bits <= 8) ReadPalette(1 << bits, 3);
  } else {
    // The fields up to the colour counts must be there; a header that runs
    // past the end of the stream is damage.
    if (headerSize < 16 || int64_t(headerSize) > Remaining()) {
      aborting = true;
      return;
    }
    uint8_t h[64] = {};
    const uint32_t take = std::min<uint32_t>(headerSize, 64);
    if (!ReadExact(h, take)) {
      aborting = true;
      return;
    }
    if (headerSize > 64) s->Seek(int64_t(headerSize) - 64, soCurrent);
    P.SetBMP_Version(headerSize == 64 ? ioBMP_BMOS2V2 : headerSize == 40 ? ioBMP_BM3 : ioBMP_BM);
    width = int32_t(LE32(h + 4));
    int32_t rawHeight = int32_t(LE32(h + 8));
    if (width < 0 || rawHeight == INT32_MIN) {
      aborting = true;
      return;
    }
    topDown = rawHeight < 0;
    height = topDown ? -rawHeight : rawHeight;
    bits = LE16(h + 14);
    compression = LE32(h + 16);
    imageSize = LE32(h + 20);
    // Compression 3 is bit fields only in the Windows headers and only for 16
    // and 32 bits; in an OS/2 2.x header it is Huffman 1D, which is not decoded
    // (nor is 24-bit RLE, compression 4).
    const bool windowsHeader =
        headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124;
    if (compression == 3 && (!windowsHeader || (bits != 16 && bits != 32))) {
      aborting = true;
      return;
    }
    P.SetDpiX(DpiFromPixelsPerMetre(int32_t(LE32(h + 24)), settings->DefaultDPIX()));
    P.SetDpiY(DpiFromPixelsPerMetre(int32_t(LE32(h + 28)), settings->DefaultDPIY()));
    uint32_t colors = LE32(h + 32);
    if (colors > 256) colors = 0;
    if (colors == 0 && bits <= 8) colors = 1u << bits;
    if (colors != 0 && bits <= 8) ReadPalette(int32_t(colors), 4);
    if (compression == 3) {
      // Windows V2 to V5 headers hold the masks themselves; after a 40-byte
      // (or the OS/2 64-byte) header they follow it.
      if (headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
        masks[0] = LE32(h + 40), masks[1] = LE32(h + 44), masks[2] = LE32(h + 48);
        if (headerSize >= 56) alphaMask = LE32(h + 52);
      } else if (windowsHeader) {
        uint8_t m[12];
        if (!ReadExact(m, 12)) {
          aborting = true;
          return;
        }
        masks[0] = LE32(m), masks[1] = LE32(m + 4), masks[2] = LE32(m + 8);
      }
    }
  }
  P.SetWidth(width);
  P.SetHeight(height);
  P.SetOriginalWidth(width);
  P.SetOriginalHeight(height);
  P.SetImageCount(1);
  const bool rle = compression == 1 || compression == 2;
  P.SetBMP_Compression(rle ? ioBMP_RLE : ioBMP_UNCOMPRESSED);
  switch (bits) {
    case 1: case 4: case 8:
      P.SetBitsPerSample(bits), P.SetSamplesPerPixel(1);
      break;
    case 16:
      P.SetBitsPerSample(5), P.SetSamplesPerPixel(3);
      break;
    case 24:
      P.SetBitsPerSample(8), P.SetSamplesPerPixel(3);
      break;
    case 32:
      P.SetBitsPerSample(8), P.SetSamplesPerPixel(4);
      break;
    default:
      break;
  }
  if (Preview || width == 0 || height == 0) return;
  if (aborting) return;

  // What can be decoded: 4 and 8 bits also RLE-compressed, the others only
  // plain rows (or bit fields).
  const bool depthKnown = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
  if (!depthKnown || compression > 3 || (rle && bits != 4 && bits != 8)) {
    aborting = true;
    return;
  }

  if (bits == 32 && compression == 3) {
    // Masks that are all zero or share bits describe no pixel layout.
    const uint32_t all[4] = {masks[0], masks[1], masks[2], alphaMask};
    bool overlap = false;
    for (int i = 0; i < 4; ++i)
      for (int j = i + 1; j < 4; ++j) overlap = overlap || (all[i] & all[j]) != 0;
    if (overlap || (masks[0] | masks[1] | masks[2]) == 0) {
      aborting = true;
      return;
    }
    // The usual blue, green, red, x layout reads its fourth byte as alpha as
    // plain 32-bit rows do; any other layout takes alpha only from an alpha mask.
    const bool plain = masks[0] == 0x00FF0000u && masks[1] == 0x0000FF00u && masks[2] == 0x000000FFu &&
                       (alphaMask == 0 || alphaMask == 0xFF000000u);
    fields32 = !plain;
  }

  // The pixels.
  if (bfOffBits != 0) {
    if (int64_t(bfOffBits) > streamSize - start) {
      aborting = true;
      return;
    }
    s->SetPosition(start + bfOffBits);
  }
  const int64_t rowLen = ((int64_t(width) * bits + 31) / 32) * 4;
  std::vector<uint8_t> rleData;
  bool rleTruncated = false;
  if (rle) {
    int64_t size = DataSize > 0 ? int64_t(DataSize) - (s->Position() - start) : int64_t(imageSize);
    if (size > Remaining()) rleTruncated = true;
    if (size <= 0 || size > Remaining()) size = std::max<int64_t>(Remaining(), 0);
    // A run codes at most 255 pixels in 2 bytes: data far too short for the
    // declared size is damage, refused before the bitmap is allocated.
    if (!VXDeclaredDataPlausible(size, int64_t(width) * height, 128)) {
      aborting = true;
      return;
    }
    rleData.resize(size_t(size));
    if (!ReadExact(rleData.data(), size)) {
      aborting = true;
      return;
    }
  } else {
    // Every row but the last whole, the last at least up to its last pixel.
    const int64_t left = Remaining() - (int64_t(width) * bits + 7) / 8;
    if (left < 0 || int64_t(height - 1) > left / rowLen) {
      aborting = true;
      return;
    }
  }

  const bool native = P.IsNativePixelFormat;
  const bool greyMasks = bits == 16 && (masks[0] == 0xFFFFFFFFu || masks[1] == 0xFFFFFFFFu || masks[2] == 0xFFFFFFFFu);
  for (int32_t i = 0; i < P.fColorMapCount && i < 256; ++i) lut[i] = P.fColorMap[i];
  // A 1-bit palette other than black and white (in either order) keeps its
  // colours; a missing second entry reads as black.
  const TRGB black{0, 0, 0}, white{255, 255, 255};
  colour1 = bits == 1 && !((lut[0] == black && lut[1] == white) || (lut[0] == white && lut[1] == black));
  TVXPixelFormat format = vx24RGB;
  if (bits == 1 && !colour1)
    format = vx1g;
  else if (bits == 1 && native)
    format = vx8p;
  else if ((bits == 4 || bits == 8) && native)
    format = vx8p;
  else if (bits == 16 && native && greyMasks)
    format = vx16g;
  if (!bmp->Allocate(width, height, format)) {
    aborting = true;
    return;
  }
  progress.per1 = 100.0 / height;
  progress.val = 0;

  if (format == vx8p) {
    for (int32_t i = 0; i < 256; ++i) bmp->SetPalette(i, lut[i]);
    bmp->SetPaletteUsed(bits == 1 ? 2 : bits == 4 ? 16 : 256);
  }

  if (rle) {
    DecodeRLE(rleData, rleTruncated);
    return;
  }

  TVXMask* mask = nullptr;
  if (bits == 32 && !IgnoreAlpha && (!fields32 || alphaMask != 0)) {
    if (!AlphaMask) AlphaMask = std::make_unique<TVXMask>();
    AlphaMask->AllocateBits(width, height, 8);
    AlphaMask->Fill(255);
    mask = AlphaMask.get();
  }
  bool seen0 = false, seen255 = false, other = false;
  DecodeRows(mask, seen0, seen255, other);

  if (bits == 1 && !colour1 && lut[0] == white && lut[1] == black) {
    // vx1g holds white as 1: a (white, black) palette is stored the other way round.
    const int64_t n = bmp->RowLen();
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* row = static_cast<uint8_t*>(bmp->GetScanLine(y));
      for (int64_t i = 0; i < n; ++i) row[i] = uint8_t(~row[i]);
    }
  }
  if (mask != nullptr) {
    if (!other && !(seen0 && seen255)) {
      // Every fourth byte 0 or every one 255: no transparency.
      AlphaMask.reset();
    } else {
      mask->SyncFull();
      mask->SyncRect();
    }
  }
}

void TBMPReader::DecodeRows(TVXMask* Mask, bool& AlphaSeen0, bool& AlphaSeen255, bool& AlphaOther) {
  const int64_t rowLen = ((int64_t(width) * bits + 31) / 32) * 4;
  std::vector<uint8_t> buf(size_t(rowLen) + 32);
  const TBitField fields[3] = {TBitField(masks[0]), TBitField(masks[1]), TBitField(masks[2])};
  const TBitField alphaField(alphaMask);
  const bool grey16 = bits == 16 && (fields[0].Width == 32 || fields[1].Width == 32 || fields[2].Width == 32);
  const TVXPixelFormat format = bmp->PixelFormat();
  for (int32_t r = height - 1; r >= 0; --r) {
    const bool after = bits == 8;
    if (!after && RowProgress(r)) return;
    // The last row may lack its padding.
    const int64_t got = s->Read(buf.data(), rowLen);
    if (got < (int64_t(width) * bits + 7) / 8) {
      aborting = true;
      return;
    }
    uint8_t* row = Row(r);
    const uint8_t* src = buf.data();
    switch (bits) {
      case 1:
        if (format == vx1g) {
          std::memcpy(row, src, size_t(std::min<int64_t>(rowLen, bmp->RowLen())));
          break;
        }
        for (int32_t x = 0; x < width; ++x) {
          const uint8_t idx = (src[x >> 3] >> (7 - (x & 7))) & 1;
          if (format == vx8p)
            row[x] = idx;
          else
            std::memcpy(row + 3 * x, &lut[idx], 3);
        }
        break;
      case 4:
        for (int32_t x = 0; x < width; ++x) {
          const uint8_t idx = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
          if (format == vx8p)
            row[x] = idx;
          else
            std::memcpy(row + 3 * x, &lut[idx], 3);
        }
        break;
      case 8:
        if (format == vx8p)
          std::memcpy(row, src, size_t(width));
        else
          for (int32_t x = 0; x < width; ++x) std::memcpy(row + 3 * x, &lut[src[x]], 3);
        break;
      case 16:
        for (int32_t x = 0; x < width; ++x) {
          const uint16_t v = LE16(src + 2 * x);
          if (format == vx16g) {
            std::memcpy(row + 2 * x, &v, 2);
          } else if (grey16) {
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = uint8_t(v >> 8);
          } else {
            row[3 * x] = fields[2].Get(v);
            row[3 * x + 1] = fields[1].Get(v);
            row[3 * x + 2] = fields[0].Get(v);
          }
        }
        break;
      case 24:
        std::memcpy(row, src, size_t(width) * 3);
        break;
      case 32: {
        uint8_t* m = Mask ? Mask->GetScanLine(BitmapRow(r)) : nullptr;
        for (int32_t x = 0; x < width; ++x) {
          uint8_t a;
          if (fields32) {
            const uint32_t v = LE32(src + 4 * x);
            row[3 * x] = fields[2].GetScaled(v);
            row[3 * x + 1] = fields[1].GetScaled(v);
            row[3 * x + 2] = fields[0].GetScaled(v);
            a = alphaField.GetScaled(v);
          } else {
            std::memcpy(row + 3 * x, src + 4 * x, 3);
            a = src[4 * x + 3];
          }
          if (a == 0)
            AlphaSeen0 = true;
          else if (a == 255)
            AlphaSeen255 = true;
          else
            AlphaOther = true;
          if (m) m[x] = a;
        }
        break;
      }
    }
    if (after && RowProgress(r)) return;
  }
}

// The RLE walk: from column 0 of the last file row; runs and literals are cut
// at the width; end of line, end of bitmap, delta, and the end of the data.
void TBMPReader::DecodeRLE(const std::vector<uint8_t>& Data, bool Truncated) {
  const bool rle4 = bits == 4;
  const bool toIndex = bmp->PixelFormat() == vx8p;
  // Pixels that no escape reaches read as index 0.
  for (int32_t y = 0; y < height; ++y) std::memset(bmp->GetScanLine(y), 0, size_t(bmp->RowLen()));
  int32_t r = height - 1;
  int64_t x = 0;
  uint8_t* row = Row(r);
  auto put = [&](uint8_t idx) {
    if (x < width) {
      if (toIndex)
        row[x] = idx;
      else
        std::memcpy(row + 3 * x, &lut[idx], 3);
    }
    ++x;
  };
  const size_t n = Data.size();
  size_t i = 0;
  bool finished = false;
  while (i + 1 < n) {
    const uint8_t a = Data[i], b = Data[i + 1];
    i += 2;
    if (a > 0) {
      for (int32_t k = 0; k < a && x < width; ++k) put(rle4 ? ((k & 1) ? (b & 0x0F) : (b >> 4)) : b);
    } else if (b == 0) {
      --r;
      x = 0;
      if (r < 0) {
        finished = true;
        break;
      }
      if (RowProgress(r)) return;
      row = Row(r);
    } else if (b == 1) {
      finished = true;
      break;
    } else if (b == 2) {
      if (i + 1 >= n) break;
      x += Data[i];
      const int32_t dy = Data[i + 1];
      i += 2;
      if (dy > 0) {
        r -= dy;
        if (r < 0) {
          finished = true;
          break;
        }
        row = Row(r);
      }
    } else {
      const size_t bytes = rle4 ? (size_t(b) + 1) / 2 : size_t(b);
      for (int32_t k = 0; k < b; ++k) {
        const size_t at = i + (rle4 ? size_t(k) / 2 : size_t(k));
        if (at >= n) break;
        put(rle4 ? ((k & 1) ? (Data[at] & 0x0F) : (Data[at] >> 4)) : Data[at]);
      }
      i += bytes + (bytes & 1);
    }
  }
  // Data cut short by the end of the stream: the image is incomplete.
  if (!finished && Truncated) aborting = true;
}

}  // namespace

void VXReadBMPStream(TStream* Stream, TVXBitmap* Bitmap, int32_t DataSize, TIOParamsVals& IOParams,
                     TProgressRec& Progress, bool Preview, bool NoFileHeader, std::unique_ptr<TVXMask>& AlphaMask,
                     bool IgnoreAlpha) {
  bool localAborting = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAborting;
  TBMPReader reader(Stream, Bitmap, IOParams, Progress, aborting);
  reader.Run(DataSize, Preview, NoFileHeader, AlphaMask, IgnoreAlpha);
}
