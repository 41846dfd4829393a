// TIFF strip encoding: the bitmap cut into strips, each row built from the
// bitmap's scan line for the page's photometric interpretation and
// compressed (uncompressed, CCITT, LZW, PackBits, Deflate), and the JPEG
// pages written whole by the JPEG writer.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/ccitt.h"
#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/quantizer.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "formats/tiff_write.h"
#include "io/cmyk.h"
#include "io/params.h"

namespace {

// Strips of about this many bytes of bitmap rows.
constexpr int64_t kStripBytes = 0x80000;

TVXConvertColorFunction Converter() {
  TVXConvertColorFunction f = VXGetGlobalSettings()->ConvertColorFunction();
  return f ? f : &VXDefaultConvertColor;
}

// Packs one value of Bits bits (most significant bit first) at bit BitPos.
void PutBits(uint8_t* Row, int64_t BitPos, int32_t Bits, uint32_t Value) {
  for (int32_t k = Bits - 1; k >= 0; --k, ++BitPos)
    if ((Value >> k) & 1) Row[BitPos >> 3] |= uint8_t(0x80 >> (BitPos & 7));
}

// Deflate of one strip straight into the output stream.
class TZipStrip {
 public:
  TZipStrip(TStream* Stream, int32_t Level, bool& Aborting) : fStream(Stream), fAborting(Aborting) {
    std::memset(&fZ, 0, sizeof fZ);
    fOpen = deflateInit2(&fZ, Level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    if (!fOpen) fAborting = true;
  }
  ~TZipStrip() { Finish(); }
  void Write(const uint8_t* Data, int64_t Length) {
    if (!fOpen) return;
    fZ.next_in = const_cast<Bytef*>(Data);
    fZ.avail_in = uInt(Length);
    Pump(Z_NO_FLUSH);
  }
  // Ends the stream and frees the state (idempotent).
  void Finish() {
    if (!fOpen) return;
    fZ.next_in = nullptr;
    fZ.avail_in = 0;
    Pump(Z_FINISH);
    deflateEnd(&fZ);
    fOpen = false;
  }

 private:
  void Pump(int Flush) {
    uint8_t out[16384];
    for (;;) {
      fZ.next_out = out;
      fZ.avail_out = sizeof out;
      const int rc = deflate(&fZ, Flush);
      const int64_t n = int64_t(sizeof out - fZ.avail_out);
      if (n > 0) VXWriteChecked(fStream, fAborting, out, n);
      if (rc == Z_STREAM_END || rc == Z_STREAM_ERROR) break;
      if (Flush == Z_NO_FLUSH && fZ.avail_in == 0 && fZ.avail_out != 0) break;
      if (rc == Z_BUF_ERROR && fZ.avail_in == 0 && Flush == Z_NO_FLUSH) break;
    }
  }
  TStream* fStream;
  bool& fAborting;
  z_stream fZ;
  bool fOpen = false;
};

int32_t ZipLevel(int32_t Param) {
  switch (std::clamp(Param, 0, 2)) {
    case 0: return Z_BEST_SPEED;
    case 2: return Z_BEST_COMPRESSION;
    default: return Z_DEFAULT_COMPRESSION;
  }
}

// Builds the TIFF rows of a bitmap for the context.
class TRowBuilder {
 public:
  TRowBuilder(TVXBitmap* Bitmap, TTIFFWriterContext& C) : fBitmap(Bitmap), fC(C) {
    const TVXPixelFormat pf = Bitmap->PixelFormat();
    fWidth = Bitmap->Width();
    fAlpha = C.hasalpha ? Bitmap->AlphaChannel() : nullptr;
    switch (C.Photomet) {
      case ioTIFF_WHITEISZERO:
      case ioTIFF_BLACKISZERO:
      case ioTIFF_RGBPALETTE:
      case ioTIFF_TRANSPMASK: fChannels = 1; break;
      case ioTIFF_CMYK: fChannels = 4; break;
      default: fChannels = 3; break;
    }
    if (pf == vx24RGB && fChannels < 3 && C.Photomet != ioTIFF_RGBPALETTE && C.Photomet != ioTIFF_BLACKISZERO)
      fChannels = 3;
    if (pf == vxCMYK) fChannels = 4;
    if (C.hasalpha) ++fChannels;
    int64_t len = 0;
    switch (pf) {
      case vx1g: len = (int64_t(fWidth) + 7) / 8; break;
      case vx8p:
      case vx8g:
      case vx16g: len = (int64_t(fWidth) * C.BitsPerSample + 7) / 8; break;
      case vx24RGB:
        len = (C.Photomet == ioTIFF_RGBPALETTE || C.Photomet == ioTIFF_BLACKISZERO)
                  ? (int64_t(fWidth) * C.BitsPerSample + 7) / 8
                  : int64_t(fWidth) * fChannels;
        break;
      case vxCMYK: len = int64_t(fWidth) * fChannels; break;
      case vx48RGB: len = int64_t(fWidth) * 6; break;
      default: break;
    }
    fRow.assign(size_t(len) + 8, 0);
    fLength = len;
  }
  int64_t Length() const { return fLength; }
  // Row y; nullptr when it cannot be read.
  uint8_t* Build(int32_t y) {
    const uint8_t* src = static_cast<const uint8_t*>(fBitmap->ScanLine(y));
    if (!src) return nullptr;
    uint8_t* d = fRow.data();
    const size_t W = size_t(fWidth);
    const int32_t B = fC.BitsPerSample;
    switch (fBitmap->PixelFormat()) {
      case vx1g:
        std::memcpy(d, src, size_t(fLength));
        break;
      case vx8p:
      case vx8g:
      case vx16g: {
        const bool wide = fBitmap->PixelFormat() == vx16g;
        if (B == 8 && !wide) {
          std::memcpy(d, src, W);
        } else if (B == 16 && wide) {
          std::memcpy(d, src, 2 * W);
        } else {
          std::memset(d, 0, size_t(fLength));
          for (size_t x = 0; x < W; ++x) {
            const uint32_t v = wide ? uint32_t(src[2 * x + 1]) : src[x];
            if (B == 16)
              VXTIFFPut16(d + 2 * x, uint16_t(v * 257), true);
            else if (B == 8)
              d[x] = uint8_t(v);
            else
              PutBits(d, int64_t(x) * B, B, v >> (8 - std::min(B, 8)));
          }
        }
        break;
      }
      case vx24RGB: BuildRGB(src, d, y); break;
      case vxCMYK: {
        const uint8_t* a = fAlpha ? static_cast<const uint8_t*>(fAlpha->ScanLine(y)) : nullptr;
        for (size_t x = 0; x < W; ++x) {
          uint8_t* p = d + x * size_t(fChannels);
          for (int k = 0; k < 4; ++k) p[k] = uint8_t(~src[4 * x + k]);
          if (a) p[4] = a[x];
        }
        break;
      }
      case vx48RGB:
        std::memcpy(d, src, 6 * W);
        break;
      default:
        return nullptr;
    }
    return d;
  }

 private:
  void BuildRGB(const uint8_t* src, uint8_t* d, int32_t y) {
    const size_t W = size_t(fWidth);
    const uint8_t* a = fAlpha ? static_cast<const uint8_t*>(fAlpha->ScanLine(y)) : nullptr;
    switch (fC.Photomet) {
      case ioTIFF_CMYK: {
        std::vector<uint8_t> cmyk(4 * W);
        Converter()(const_cast<uint8_t*>(src), vxcmsBGR, cmyk.data(), vxcmsCMYK, fWidth, fC.RefParams);
        for (size_t x = 0; x < W; ++x) {
          uint8_t* p = d + x * size_t(fChannels);
          for (int k = 0; k < 4; ++k) p[k] = uint8_t(~cmyk[4 * x + k]);
          if (a) p[4] = a[x];
        }
        return;
      }
      case ioTIFF_CIELAB:
        Converter()(const_cast<uint8_t*>(src), vxcmsBGR, d, vxcmsCIELab, fWidth, fC.RefParams);
        return;
      case ioTIFF_RGBPALETTE:
      case ioTIFF_BLACKISZERO: {
        const int32_t B = fC.BitsPerSample;
        std::memset(d, 0, size_t(fLength));
        const TRGB* p = reinterpret_cast<const TRGB*>(src);
        for (size_t x = 0; x < W; ++x) {
          const uint32_t i = fC.qt ? uint32_t(fC.qt->GetRGBIndex(p[x])) : 0;
          if (B == 8)
            d[x] = uint8_t(i);
          else if (B == 16)
            VXTIFFPut16(d + 2 * x, uint16_t(i * 257), true);
          else
            PutBits(d, int64_t(x) * B, B, i);
        }
        return;
      }
      default:
        break;
    }
    if (fC.Predictor == 2) {
      for (size_t x = 0; x < W; ++x) {
        d[3 * x] = src[3 * x + 2];
        d[3 * x + 1] = src[3 * x + 1];
        d[3 * x + 2] = src[3 * x];
      }
      for (size_t x = W; x-- > 1;)
        for (int k = 0; k < 3; ++k) d[3 * x + k] = uint8_t(d[3 * x + k] - d[3 * (x - 1) + k]);
    } else if (a) {
      for (size_t x = 0; x < W; ++x) {
        d[4 * x] = src[3 * x + 2];
        d[4 * x + 1] = src[3 * x + 1];
        d[4 * x + 2] = src[3 * x];
        d[4 * x + 3] = a[x];
      }
    } else {
      for (size_t x = 0; x < W; ++x) {
        d[3 * x] = src[3 * x + 2];
        d[3 * x + 1] = src[3 * x + 1];
        d[3 * x + 2] = src[3 * x];
      }
    }
  }
  TVXBitmap* fBitmap;
  TTIFFWriterContext& fC;
  TVXBitmap* fAlpha = nullptr;
  int32_t fWidth = 0, fChannels = 1;
  int64_t fLength = 0;
  std::vector<uint8_t> fRow;
};

}  // namespace

void VXPackBitsEncodeRow(const uint8_t* Row, int32_t Length, TStream* Stream, bool& Aborting) {
  int32_t pos = 0, lit = 0;
  auto flush = [&] {
    const int32_t n = pos - lit;
    if (n <= 0) return;
    const uint8_t h = uint8_t(n - 1);
    VXWriteChecked(Stream, Aborting, &h, 1);
    VXWriteChecked(Stream, Aborting, Row + lit, n);
  };
  while (pos < Length) {
    int32_t run = 1;
    while (pos + run < Length && run < 128 && Row[pos + run] == Row[pos]) ++run;
    if (run < 4) {
      if (pos - lit == 128) {
        flush();
        lit = pos;
      } else {
        ++pos;
      }
    } else {
      flush();
      const uint8_t h[2] = {uint8_t(int8_t(1 - run)), Row[pos]};
      VXWriteChecked(Stream, Aborting, h, 2);
      pos += run;
      lit = pos;
    }
  }
  flush();
}

void VXWriteTIFFStrips(TStream* Stream, TVXBitmap* Bitmap, TVXTIFFIFDWriter& Writer, TProgressRec& Progress,
                       TTIFFWriterContext& C) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  TIOParamsVals& P = *C.RefParams;
  const int32_t H = Bitmap->Height();
  std::vector<int32_t> offsets, counts;
  int32_t rowsPerStrip = H;

  // Alpha goes out as a fourth (fifth) sample of the rows that can carry it.
  C.hasalpha = false;
  if (Bitmap->HasAlphaChannel() && (C.Compression == 1 || C.Compression == 5 || C.Compression == 32773 ||
                                    C.Compression == 8 || C.Compression == 32946)) {
    const TVXPixelFormat pf = Bitmap->PixelFormat();
    TVXBitmap* alpha = Bitmap->AlphaChannel();
    alpha->SyncFull();
    if (!alpha->Full() &&
        ((pf == vx24RGB && (C.Photomet == ioTIFF_RGB || C.Photomet == ioTIFF_CMYK) && C.Predictor != 2) ||
         pf == vxCMYK))
      C.hasalpha = true;
  }

  if (C.Compression == 7) {
    const int64_t start = Stream->Position();
    VXWriteTIFFJpegStrip(Stream, Bitmap, C, Progress);
    offsets.push_back(int32_t(start));
    counts.push_back(int32_t(Stream->Position() - start));
  } else {
    const bool zip = C.Compression == 8 || C.Compression == 32946;
    int32_t strips = 1;
    if (!zip) {
      if (P.TIFF_StripCount() > 0)
        strips = P.TIFF_StripCount();
      else
        strips = int32_t(std::max<int64_t>(int64_t(H) * Bitmap->RowLen() / kStripBytes, 1));
      // A strip holds one row at least.
      strips = std::clamp(strips, 1, std::max(H, 1));
    }
    rowsPerStrip = std::max(H / strips, 1);

    TRowBuilder rows(Bitmap, C);
    const int32_t W = Bitmap->Width();
    int32_t pendingBits = 0;
    uint8_t pendingByte = 0;
    uint8_t* refRow = nullptr;
    void* lzw = nullptr;
    std::unique_ptr<TZipStrip> z;
    const int32_t zipLevel = ZipLevel(P.TIFF_ZIPCompression());
    int32_t lastPercent = -1;
    auto closeStrip = [&] {
      switch (C.Compression) {
        case 3:
          if (C.T4Options != 0)
            VXEncodeG3Fax2DRow(nullptr, W, Stream, C.FillOrder, aborting, refRow, pendingBits, pendingByte);
          else
            VXEncodeG3Fax1DRow(nullptr, 0, Stream, C.FillOrder, aborting, pendingBits, pendingByte);
          break;
        case 4: VXEncodeG4FaxRow(nullptr, W, Stream, C.FillOrder, aborting, refRow, pendingBits, pendingByte); break;
        case 5:
          if (lzw) C.LZWCompFunc(nullptr, 0, Stream, lzw);
          lzw = nullptr;
          break;
        case 8:
        case 32946: z.reset(); break;
        default: break;
      }
      pendingBits = 0;
      pendingByte = 0;
      delete[] refRow;
      refRow = nullptr;
      counts.push_back(int32_t(Stream->Position() - offsets.back()));
    };

    offsets.push_back(int32_t(Stream->Position()));
    int32_t inStrip = 0;
    for (int32_t y = 0; y < H; ++y) {
      if (Progress.fOnProgress) VXReportProgress(Progress, int32_t(int64_t(y) * 100 / H), lastPercent);
      uint8_t* row = rows.Build(y);
      if (!row) {
        aborting = true;
        break;
      }
      const int32_t len = int32_t(rows.Length());
      switch (C.Compression) {
        case 2: VXEncodeMHFaxRow(row, W, Stream, C.FillOrder, aborting); break;
        case 3:
          if (C.T4Options != 0)
            VXEncodeG3Fax2DRow(row, W, Stream, C.FillOrder, aborting, refRow, pendingBits, pendingByte);
          else
            VXEncodeG3Fax1DRow(row, W, Stream, C.FillOrder, aborting, pendingBits, pendingByte);
          break;
        case 4: VXEncodeG4FaxRow(row, W, Stream, C.FillOrder, aborting, refRow, pendingBits, pendingByte); break;
        case 5: C.LZWCompFunc(row, len, Stream, lzw); break;
        case 32773: VXPackBitsEncodeRow(row, len, Stream, aborting); break;
        case 8:
        case 32946:
          if (!z) z = std::make_unique<TZipStrip>(Stream, zipLevel, aborting);
          z->Write(row, len);
          break;
        default: VXWriteChecked(Stream, aborting, row, len); break;
      }
      if (++inStrip == rowsPerStrip || y == H - 1) {
        closeStrip();
        inStrip = 0;
        if (y < H - 1) offsets.push_back(int32_t(Stream->Position()));
      }
      if (aborting) break;
    }
    // A strip begun when the loop stopped is closed as it stands.
    if (counts.size() < offsets.size()) closeStrip();
  }

  Writer.WriteSingleLong(278, uint32_t(rowsPerStrip));
  Writer.WriteMultiLongEx(Stream, 273, aborting, int32_t(offsets.size()), offsets);
  Writer.WriteMultiLongEx(Stream, 279, aborting, int32_t(counts.size()), counts);
}

void VXWriteTIFFJpegStrip(TStream* Stream, TVXBitmap* Bitmap, TTIFFWriterContext& C, TProgressRec& Progress) {
  TIOParamsVals p;
  p.SetJPEG_Quality(C.jpegquality);
  p.SetJPEG_ColorSpace(C.jpegcolorspace);
  try {
    VXWriteJpegStream(Stream, Bitmap, p, Progress);
  } catch (const EVXException&) {
    if (Progress.Aborting) *Progress.Aborting = true;
  }
}

void VXWriteTIFFOldJpeg(TStream* Stream, TVXBitmap* Bitmap, TVXTIFFIFDWriter& Writer, TProgressRec& Progress,
                        TTIFFWriterContext& C) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  TMemoryStream jpeg;
  VXWriteTIFFJpegStrip(&jpeg, Bitmap, C, Progress);
  if (aborting) return;
  const int64_t size = jpeg.Size();
  const uint8_t* b = static_cast<const uint8_t*>(jpeg.Memory());
  // The entropy-coded data start at the first start-of-scan marker of the
  // JPEG just written.
  int64_t s = -1;
  for (int64_t i = 0; i + 1 < size; ++i)
    if (b[i] == 0xFF && b[i + 1] == 0xDA) {
      s = i;
      break;
    }
  if (s < 0) {
    aborting = true;
    return;
  }
  const int64_t pos = Stream->Position();
  VXWriteChecked(Stream, aborting, b, size);
  Writer.WriteSingleLong(514, uint32_t(size));
  Writer.WriteSingleLong(513, uint32_t(pos));
  Writer.WriteSingleLong(278, uint32_t(Bitmap->Height()));
  Writer.WriteSingleLong(279, uint32_t(size - s));
  Writer.WriteSingleLong(273, uint32_t(pos + s));
  Writer.WriteSingleShort(512, 1);
  const uint16_t sub[2] = {2, 2};
  Writer.WriteMultiShort(Stream, 530, aborting, sub);
}
