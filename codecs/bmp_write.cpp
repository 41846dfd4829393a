// BMP writing: the OS/2 1.x, Windows 3 and OS/2 2.x headers, 1-bit images
// with their two colours, quantised 4- and 8-bit palettes with optional RLE,
// 24-bit rows and 32-bit rows with alpha.
#include "codecs/bmp.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/colorreduce.h"
#include "core/quantizer.h"
#include "core/rowops.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "io/params.h"

namespace {

void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void PutLE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// Round(Dpi / 2.54 x 100), kept within the 32-bit field.
int32_t PixelsPerMetre(int32_t Dpi) {
  const double v = std::nearbyint(Dpi / 2.54 * 100);
  return int32_t(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
}

// RLE4 / RLE8 encoding of one row of indices; returns the bytes written to
// Out (room for 2 x Count + 4 bytes), the end-of-line escape included.
class TRLERowEncoder {
 public:
  TRLERowEncoder(bool Rle4, uint8_t* Out) : rle4(Rle4), out(Out) {}

  int32_t Encode(const uint8_t* Idx, int32_t Count) {
    int32_t pending = 0;  // start of the literal stretch
    int32_t i = 0;
    while (i < Count) {
      if (i + 1 < Count && Idx[i] == Idx[i + 1]) {
        Flush(Idx + pending, i - pending);
        int32_t run = 1;
        while (i + run < Count && run < 255 && Idx[i + run] == Idx[i]) ++run;
        out[n++] = uint8_t(run);
        out[n++] = rle4 ? uint8_t((Idx[i] << 4) | (Idx[i] & 0x0F)) : Idx[i];
        i += run;
        pending = i;
      } else {
        ++i;
      }
    }
    Flush(Idx + pending, Count - pending);
    out[n++] = 0;
    out[n++] = 0;
    return n;
  }

 private:
  bool rle4;
  uint8_t* out;
  int32_t n = 0;

  // A literal stretch in pieces of at most 255 pixels.
  void Flush(const uint8_t* p, int32_t Count) {
    while (Count > 0) {
      const int32_t piece = std::min(Count, 255);
      if (piece == 1) {
        out[n++] = 1;
        out[n++] = rle4 ? uint8_t(p[0] << 4) : p[0];
      } else if (piece == 2) {
        if (rle4) {
          out[n++] = 2;
          out[n++] = uint8_t((p[0] << 4) | (p[1] & 0x0F));
        } else {
          out[n++] = 1, out[n++] = p[0];
          out[n++] = 1, out[n++] = p[1];
        }
      } else {
        out[n++] = 0;
        out[n++] = uint8_t(piece);
        int32_t bytes = 0;
        if (rle4) {
          for (int32_t k = 0; k < piece; k += 2, ++bytes)
            out[n++] = uint8_t((p[k] << 4) | (k + 1 < piece ? (p[k + 1] & 0x0F) : 0));
        } else {
          for (int32_t k = 0; k < piece; ++k, ++bytes) out[n++] = p[k];
        }
        if (bytes & 1) out[n++] = 0;
      }
      p += piece;
      Count -= piece;
    }
  }
};

class TBMPWriter {
 public:
  TBMPWriter(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool& Aborting)
      : s(Stream), bmp(Bitmap), P(Params), progress(Progress), aborting(Aborting) {}
  void Run(bool WriteAlpha);

 private:
  TStream* s;
  TVXBitmap* bmp;
  TIOParamsVals& P;
  TProgressRec& progress;
  bool& aborting;
  int32_t width = 0, height = 0, bits = 0;
  int64_t rowLen = 0;
  int32_t lastPercent = -1;

  void Put(const void* Buffer, int64_t Count) { VXWriteChecked(s, aborting, Buffer, Count); }
  // Progress after row number Done (from 1); true to stop.
  bool RowDone(int32_t Done, bool OnlyWhenChanged);
  void WritePalette(const TRGB* Palette, int32_t Count);
  void Write1Bit();
  void Write24Or32(bool WriteAlpha);
  void WritePaletted();
};

bool TBMPWriter::RowDone(int32_t Done, bool OnlyWhenChanged) {
  if (progress.fOnProgress) {
    const int32_t percent = int32_t(Done * progress.per1);
    if (!OnlyWhenChanged || percent != lastPercent) progress.fOnProgress(progress.Sender, percent);
    lastPercent = percent;
  }
  return aborting;
}

void TBMPWriter::WritePalette(const TRGB* Palette, int32_t Count) {
  const bool os2 = P.BMP_Version() == ioBMP_BMOS2V1;
  const int32_t entry = os2 ? 3 : 4;
  std::vector<uint8_t> raw(size_t(Count) * entry, 0);
  for (int32_t i = 0; i < Count; ++i) {
    raw[size_t(i) * entry] = Palette[i].b;
    raw[size_t(i) * entry + 1] = Palette[i].g;
    raw[size_t(i) * entry + 2] = Palette[i].r;
  }
  Put(raw.data(), int64_t(raw.size()));
}

void TBMPWriter::Write1Bit() {
  TRGB pal[2] = {{0, 0, 0}, {255, 255, 255}};
  TVXBitmap* src = bmp;
  std::unique_ptr<TVXBitmap> work;
  if (bmp->PixelFormat() != vx1g) {
    TRGB c1{}, c2{};
    work = VXTwoColorsTo1Bit(bmp, c1, c2);
    if (work) {
      pal[0] = c1, pal[1] = c2;
    } else {
      // One colour or more than two: a black and white copy, whose set bits are white.
      work = std::make_unique<TVXBitmap>(bmp);
      work->RemoveAlphaChannel(false, 0);
      work->SetPixelFormat(vx1g);
    }
    src = work.get();
  }
  P.FreeColorMap();
  P.fColorMap.assign(pal, pal + 2);
  P.fColorMapCount = 2;
  WritePalette(pal, 2);
  std::vector<uint8_t> row(size_t(rowLen), 0);
  const size_t bytes = size_t(std::min<int64_t>(rowLen, src->RowLen()));
  for (int32_t y = height - 1, done = 1; y >= 0; --y, ++done) {
    std::memcpy(row.data(), src->GetScanLine(y), bytes);
    // Bits past the width are written as 0.
    if (width & 7) row[size_t(width >> 3)] &= uint8_t(0xFF00 >> (width & 7));
    std::fill(row.begin() + (width + 7) / 8, row.end(), 0);
    Put(row.data(), rowLen);
    if (RowDone(done, true)) return;
  }
}

void TBMPWriter::Write24Or32(bool WriteAlpha) {
  std::vector<uint8_t> row(size_t(rowLen), 0);
  std::vector<TRGB> rgb(static_cast<size_t>(width));
  TVXBitmap* alpha = bits == 32 && WriteAlpha ? bmp->AlphaChannelOpt() : nullptr;
  for (int32_t y = height - 1, done = 1; y >= 0; --y, ++done) {
    // Rows of other formats as 24-bit pixels (the bitmap stays as it is).
    VXRowToRGB(bmp, y, rgb.data());
    if (bits == 24) {
      std::memcpy(row.data(), rgb.data(), size_t(width) * 3);
    } else {
      const uint8_t* a = alpha ? static_cast<const uint8_t*>(alpha->GetScanLine(y)) : nullptr;
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* d = &row[size_t(x) * 4];
        d[0] = rgb[x].b, d[1] = rgb[x].g, d[2] = rgb[x].r;
        d[3] = a ? a[x] : 255;
      }
    }
    Put(row.data(), rowLen);
    if (RowDone(done, false)) return;
  }
}

void TBMPWriter::WritePaletted() {
  const int32_t colors = 1 << bits;
  // The quantiser reads 24-bit, palette and grey images; other formats go
  // through a 24-bit copy.
  TVXBitmap* src = bmp;
  std::unique_ptr<TVXBitmap> work;
  const TVXPixelFormat pf = bmp->PixelFormat();
  if (pf != vx24RGB && pf != vx8p && pf != vx8g) {
    work = std::make_unique<TVXBitmap>();
    if (!work->Allocate(width, height, vx24RGB)) throw EVXException("Not enough memory");
    for (int32_t y = 0; y < height; ++y) VXRowToRGB(bmp, y, static_cast<TRGB*>(work->GetScanLine(y)));
    src = work.get();
  }
  std::vector<TRGB> pal(size_t(colors), TRGB{0, 0, 0});
  TVXQuantizer quantizer(src, pal.data(), colors - 1, colors);
  P.FreeColorMap();
  P.fColorMap = pal;
  P.fColorMapCount = colors;
  WritePalette(pal.data(), colors);

  const bool rle = P.BMP_Compression() == ioBMP_RLE && P.BMP_Version() != ioBMP_BMOS2V1;
  const TVXPixelFormat spf = src->PixelFormat();
  // Rows of indices: the bytes of palette and grey rows (4 bits: of palette
  // rows only), the quantiser's choice for the others.
  const bool rawIndices = spf == vx8p || (spf == vx8g && bits == 8);
  std::vector<uint8_t> idx(static_cast<size_t>(width));
  std::vector<TRGB> rgb(static_cast<size_t>(width));
  std::vector<uint8_t> out(rle ? size_t(width) * 2 + 8 : size_t(rowLen), 0);
  for (int32_t y = height - 1, done = 1; y >= 0; --y, ++done) {
    if (rawIndices) {
      const uint8_t* p = static_cast<const uint8_t*>(src->GetScanLine(y));
      for (int32_t x = 0; x < width; ++x) idx[x] = bits == 4 ? uint8_t(p[x] & 0x0F) : p[x];
    } else {
      VXRowToRGB(src, y, rgb.data());
      for (int32_t x = 0; x < width; ++x) idx[x] = uint8_t(quantizer.GetRGBIndex(rgb[x]));
    }
    if (rle) {
      TRLERowEncoder encoder(bits == 4, out.data());
      Put(out.data(), encoder.Encode(idx.data(), width));
    } else if (bits == 8) {
      std::memcpy(out.data(), idx.data(), size_t(width));
      Put(out.data(), rowLen);
    } else {
      std::fill(out.begin(), out.end(), 0);
      for (int32_t x = 0; x < width; ++x)
        out[size_t(x >> 1)] |= (x & 1) ? uint8_t(idx[x] & 0x0F) : uint8_t(idx[x] << 4);
      Put(out.data(), rowLen);
    }
    if (RowDone(done, true)) return;
  }
  if (rle) {
    const uint8_t end[2] = {0, 1};
    Put(end, 2);
  }
}

void TBMPWriter::Run(bool WriteAlpha) {
  width = bmp->Width();
  height = bmp->Height();
  const bool os2v1 = P.BMP_Version() == ioBMP_BMOS2V1;
  // An empty image, or one the 16-bit sizes of the OS/2 1.x header cannot hold.
  if (bmp->IsEmpty() || width <= 0 || height <= 0 || (os2v1 && (width > 65535 || height > 65535))) {
    aborting = true;
    return;
  }
  if (P.BitsPerSample() == 1 || P.BitsPerSample() == 4)
    bits = P.BitsPerSample();
  else if (P.SamplesPerPixel() == 1)
    bits = 8;
  else
    bits = bmp->HasAlphaChannel() ? 32 : 24;
  rowLen = ((int64_t(width) * bits + 31) / 32) * 4;
  const bool rle = !os2v1 && P.BMP_Compression() == ioBMP_RLE && (bits == 4 || bits == 8);

  const int64_t start = s->Position();
  uint8_t fileHeader[14] = {'B', 'M'};
  Put(fileHeader, 14);

  uint8_t header[64] = {};
  int32_t headerSize = 12;
  if (os2v1) {
    PutLE32(header, 12);
    PutLE16(header + 4, uint32_t(width));
    PutLE16(header + 6, uint32_t(height));
    PutLE16(header + 8, 1);
  } else {
    headerSize = P.BMP_Version() == ioBMP_BMOS2V2 ? 64 : 40;
    PutLE32(header, uint32_t(headerSize));
    PutLE32(header + 4, uint32_t(width));
    PutLE32(header + 8, uint32_t(height));
    PutLE16(header + 12, 1);
    PutLE32(header + 16, rle ? (bits == 4 ? 2u : 1u) : 0u);
    PutLE32(header + 24, uint32_t(PixelsPerMetre(P.DpiX())));
    PutLE32(header + 28, uint32_t(PixelsPerMetre(P.DpiY())));
    if (bits <= 8) PutLE32(header + 32, 1u << bits);
    PutLE32(header + 36, bits <= 24 ? 1u << bits : 1u);
  }
  Put(header, headerSize);
  if (aborting) return;

  progress.per1 = 100.0 / height;
  progress.val = 0;
  // The pixels follow the palette (2^bits entries for up to 8 bits).
  const int64_t pixelsStart = s->Position() + (bits <= 8 ? int64_t(1 << bits) * (os2v1 ? 3 : 4) : 0);
  if (bits == 1)
    Write1Bit();
  else if (bits == 24 || bits == 32)
    Write24Or32(WriteAlpha);
  else
    WritePaletted();
  if (aborting) return;

  const int64_t end = s->Position();
  PutLE32(fileHeader + 2, uint32_t(end - start));
  PutLE32(fileHeader + 10, uint32_t(pixelsStart - start));
  s->SetPosition(start);
  Put(fileHeader, 14);
  if (os2v1) {
    PutLE16(header + 10, uint32_t(bits));
  } else {
    PutLE16(header + 14, uint32_t(bits));
    PutLE32(header + 20, uint32_t(end - pixelsStart));
  }
  Put(header, headerSize);
  s->SetPosition(end);
}

}  // namespace

void VXWriteBMPStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                      bool WriteAlpha) {
  bool localAborting = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAborting;
  TBMPWriter writer(Stream, Bitmap, IOParams, Progress, aborting);
  writer.Run(WriteAlpha);
}
