// TIFF row conversion: decoded rows of every supported combination of
// photometric interpretation, samples per pixel and bits per sample become
// pixels of the page bitmap and values of its alpha mask.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/pixels.h"
#include "core/settings.h"
#include "formats/tiff.h"
#include "io/cmyk.h"
#include "io/params.h"

namespace {

TVXConvertColorFunction Converter() {
  TVXConvertColorFunction f = VXGetGlobalSettings()->ConvertColorFunction();
  return f ? f : &VXDefaultConvertColor;
}

inline uint16_t Word(const uint8_t* p, bool le) { return le ? uint16_t(p[0] | (p[1] << 8)) : uint16_t((p[0] << 8) | p[1]); }

// The rule that converts a chunky row of the page, 0 for none.
int32_t RowRule(const TTIFFReaderContext& c) {
  const int32_t P = c.PhotometricInterpretation, S = c.SamplesPerPixel, B = c.BitsPerSample;
  if (P == 2 && (S == 3 || S == 4) && B == 8) return 1;
  if (P == 2 && S >= 5 && c.ExtraSamplesCount >= 1 && B == 8) return 2;
  if (P == 2 && S == 3 && B == 16) return 3;
  if (P == 2 && S == 4 && B == 16) return 4;
  if (P == 2 && S == 1 && B == 16) return 5;
  if (P == 3 && S == 1 && B == 1) return 6;
  if (P == 3 && S == 2 && B == 8) return 7;
  if (P == 3 && S == 1 && B >= 2 && B <= 8) return 8;
  if (P <= 1 && S == 1 && (B == 8 || B == 4 || B == 2 || B == 7)) return 9;
  if (P <= 1 && S >= 2 && B == 8) return 10;
  if (P <= 1 && S == 1 && B == 16) return 11;
  if (P == 1 && S == 1 && B == 12) return 12;
  if (P <= 1 && S == 1 && B == 1) return 13;
  if (P == 5 && S == 4 && B == 8) return 14;
  if (P == 5 && S >= 5 && B == 8) return 15;
  if (P == 5 && S == 4 && B == 16) return 16;
  if (P == 8 && S == 3 && B == 8) return 17;
  if (P == 6 && S == 3 && B == 8 && c.YCbCrSubSampling[0] == 2 && c.YCbCrSubSampling[1] == 1) return 18;
  return 0;
}

}  // namespace

int64_t TTIFFReaderContext::RowBytes(int32_t Width, bool Planar) const {
  if (!Planar && PhotometricInterpretation == 6 && SamplesPerPixel == 3 && YCbCrSubSampling[0] == 2 &&
      YCbCrSubSampling[1] == 1 && Compression != 7)
    return (int64_t(Width) + 1) / 2 * 4;
  const int64_t samples = Planar ? int64_t(Width) : int64_t(Width) * SamplesPerPixel;
  return (samples * BitsPerSample + 7) / 8;
}

uint8_t* TTIFFReaderContext::BlockBuffer(int32_t Plane, int64_t Bytes) {
  if (int32_t(fBlockBuffers.size()) <= Plane) {
    fBlockBuffers.resize(size_t(Plane) + 1);
    fBlockSizes.resize(size_t(Plane) + 1, 0);
  }
  if (fBlockSizes[Plane] < Bytes) {
    fBlockBuffers[Plane] = std::make_unique_for_overwrite<uint8_t[]>(size_t(Bytes));
    fBlockSizes[Plane] = Bytes;
  }
  return fBlockBuffers[Plane].get();
}

bool TTIFFReaderContext::HasRowRule() const { return RowRule(*this) != 0; }

void TTIFFReaderContext::AdvanceProgress(TProgressRec& Progress) {
  ++val;
  if (Progress.fOnProgress) VXReportProgress(Progress, int32_t(double(val) * per1), lastReported);
}

void TTIFFReaderContext::SetAlpha(int32_t x, int32_t y, uint8_t a) {
  if (!AlphaChannel || x < 0 || y < 0 || x >= ImageWidth || y >= ImageHeight || x >= AlphaChannel->Width() ||
      y >= AlphaChannel->Height())
    return;
  if (AlphaChannel->Full()) AlphaChannel->SetFull(false);
  AlphaChannel->GetScanLine(y)[x] = a;
}

void TTIFFReaderContext::UndoPredictor(uint8_t* Row, int32_t Width, bool SingleSample) const {
  if (Predictor != 2 || !(Compression == 5 || Compression == 8 || Compression == 32946) || Width < 2) return;
  const int32_t stride = SingleSample ? 1 : SamplesPerPixel;
  const int64_t n = int64_t(Width) * stride;
  if (BitsPerSample == 8) {
    // The running sums of the usual layouts stay in registers; through
    // memory each byte would wait for the store of the one before.
    if (stride == 3 || stride == 4) {
      uint8_t a = Row[0], b = Row[1], c = Row[2], e = stride == 4 ? Row[3] : 0;
      for (int64_t i = stride; i < n; i += stride) {
        Row[i] = a = uint8_t(a + Row[i]);
        Row[i + 1] = b = uint8_t(b + Row[i + 1]);
        Row[i + 2] = c = uint8_t(c + Row[i + 2]);
        if (stride == 4) Row[i + 3] = e = uint8_t(e + Row[i + 3]);
      }
    } else if (stride == 1) {
      uint8_t a = Row[0];
      for (int64_t i = 1; i < n; ++i) Row[i] = a = uint8_t(a + Row[i]);
    } else {
      for (int64_t i = stride; i < n; ++i) Row[i] = uint8_t(Row[i] + Row[i - stride]);
    }
  } else if (BitsPerSample == 16) {
    // Sums in the file's byte order.
    for (int64_t i = stride; i < n; ++i) {
      uint8_t* p = Row + 2 * i;
      const uint16_t v = uint16_t(Word(p, LittleEndian) + Word(p - 2 * stride, LittleEndian));
      VXTIFFPut16(p, v, LittleEndian);
    }
  }
}

void TTIFFReaderContext::ConvertRow(uint8_t* Src, uint8_t* Dest, int32_t Width, int32_t ImageRow, int32_t ImageCol,
                                    TVXBitmap* Bitmap) {
  const TVXPixelFormat pf = Bitmap->PixelFormat();
  const int32_t P = PhotometricInterpretation, S = SamplesPerPixel;
  const bool alpha = AlphaChannel && !IgnoreAlpha;
  const TVXConvertColorFunction convert = Converter();
  uint8_t* d = Dest;
  const size_t W = size_t(Width);
  auto grey24 = [&](size_t x, uint8_t v) { d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = v; };
  auto palette = [&](size_t x, uint8_t idx) {
    const TRGB c = ColorMap[idx];
    d[3 * x] = c.b;
    d[3 * x + 1] = c.g;
    d[3 * x + 2] = c.r;
  };
  switch (RowRule(*this)) {
    case 1:
      if (S == 4 && alpha) {
        for (size_t x = 0; x < W; ++x) {
          d[3 * x] = Src[4 * x + 2];
          d[3 * x + 1] = Src[4 * x + 1];
          d[3 * x + 2] = Src[4 * x];
          SetAlpha(ImageCol + int32_t(x), ImageRow, Src[4 * x + 3]);
        }
      } else {
        if (S == 4)
          for (size_t x = 0; x < W; ++x) std::memmove(Src + 3 * x, Src + 4 * x, 3);
        convert(Src, vxcmsRGB, d, vxcmsBGR, Width, RefParams);
      }
      break;
    case 2: {
      const int32_t extras = std::min(ExtraSamplesCount, S - 3);
      bool useAlpha = false;
      for (int32_t e = 0; e < extras; ++e)
        if (ExtraSamplesVal[e] == 1 || ExtraSamplesVal[e] == 2) useAlpha = alpha;
      for (size_t x = 0; x < W; ++x) {
        const uint8_t* s = Src + size_t(S) * x;
        d[3 * x] = s[2];
        d[3 * x + 1] = s[1];
        d[3 * x + 2] = s[0];
        if (!useAlpha) continue;
        for (int32_t e = 0; e < extras; ++e) {
          const uint8_t a = s[3 + e];
          if (ExtraSamplesVal[e] == 1) {
            // Associated alpha: the colour is divided back, clamped to 255.
            SetAlpha(ImageCol + int32_t(x), ImageRow, a);
            const double f = std::max(a / 255.0, 1.0 / 255.0);
            for (int k = 0; k < 3; ++k) d[3 * x + k] = uint8_t(std::min(255.0, double(int32_t(d[3 * x + k] / f))));
          } else if (ExtraSamplesVal[e] == 2) {
            SetAlpha(ImageCol + int32_t(x), ImageRow, a);
          }
        }
      }
      break;
    }
    case 3:
    case 4: {
      const size_t words = size_t(S);
      // The fourth sample is alpha, as on 8-bit RGBA pages: its high byte.
      if (words == 4 && alpha)
        for (size_t x = 0; x < W; ++x)
          SetAlpha(ImageCol + int32_t(x), ImageRow, uint8_t(Word(Src + 2 * (4 * x + 3), LittleEndian) >> 8));
      if (pf == vx48RGB) {
        uint16_t* o = reinterpret_cast<uint16_t*>(d);
        for (size_t x = 0; x < W; ++x)
          for (int k = 0; k < 3; ++k) o[3 * x + k] = Word(Src + 2 * (words * x + k), LittleEndian);
      } else {
        if (words == 4)
          for (size_t x = 0; x < W; ++x) std::memmove(Src + 6 * x, Src + 8 * x, 6);
        convert(Src, LittleEndian ? vxcmsRGB48 : vxcmsRGB48_SE, d, vxcmsBGR, Width, RefParams);
      }
      break;
    }
    case 5:
      for (size_t x = 0; x < W; ++x) {
        const uint16_t v = Word(Src + 2 * x, true);
        d[3 * x + 2] = uint8_t(((v >> 10) & 31) * 8);
        d[3 * x + 1] = uint8_t(((v >> 5) & 31) * 8);
        d[3 * x] = uint8_t((v & 31) * 8);
      }
      break;
    case 6:
      for (size_t x = 0; x < W; ++x) {
        const uint8_t idx = (Src[x >> 3] >> (7 - (x & 7))) & 1;
        if (pf == vx8p)
          d[x] = idx;
        else
          palette(x, idx);
      }
      break;
    case 7:
      for (size_t x = 0; x < W; ++x) {
        palette(x, Src[2 * x]);
        if (alpha) SetAlpha(ImageCol + int32_t(x), ImageRow, uint8_t(255 - Src[2 * x + 1]));
      }
      break;
    case 8:
      for (size_t x = 0; x < W; ++x) {
        if (pf == vx8p)
          d[x] = Src[x];
        else
          palette(x, Src[x]);
      }
      break;
    case 9:
      for (size_t x = 0; x < W; ++x) {
        const uint8_t v = P == 0 ? uint8_t(255 - Src[x]) : Src[x];
        if (pf == vx8g)
          d[x] = v;
        else
          grey24(x, v);
      }
      break;
    case 10:
      for (size_t x = 0; x < W; ++x) {
        if (alpha) SetAlpha(ImageCol + int32_t(x), ImageRow, Src[size_t(S) * x + 1]);
        if (P == 0)
          grey24(x, uint8_t(255 - Src[size_t(S) * x]));
        else
          Src[x] = Src[size_t(S) * x];
      }
      if (P == 1) convert(Src, vxcmsGray8, d, vxcmsBGR, Width, RefParams);
      break;
    case 11: {
      const int32_t shift = Software.compare(0, 15, "Look@Molli v1.1") == 0 ? 4 : 8;
      for (size_t x = 0; x < W; ++x) {
        uint16_t v = Word(Src + 2 * x, LittleEndian);
        if (P == 0)
          v = uint16_t(65535 - v);
        else if (SampleFormat == 2)
          v = uint16_t(v + 0x8000);
        if (pf == vx16g)
          reinterpret_cast<uint16_t*>(d)[x] = v;
        else
          grey24(x, uint8_t(v >> shift));
      }
      break;
    }
    case 12:
      for (size_t x = 0; x < W; ++x) {
        const uint8_t* b = Src + (x / 2) * 3;
        const uint16_t p = (x & 1) ? uint16_t((b[1] & 15) * 256 + b[2]) : uint16_t(b[0] * 16 + (b[1] >> 4));
        if (pf == vx16g)
          reinterpret_cast<uint16_t*>(d)[x] = uint16_t(p << 4);
        else
          grey24(x, uint8_t(p >> 4));
      }
      break;
    case 13: {
      const size_t bytes = (W + 7) / 8;
      const bool invert = (P == 0 && (Compression == 1 || Compression >= 5)) ||
                          (P == 1 && (Compression == 3 || Compression == 4));
      for (size_t i = 0; i < bytes; ++i) d[i] = invert ? uint8_t(~Src[i]) : Src[i];
      break;
    }
    case 14:
    case 15: {
      if (S >= 5) {
        if (alpha && ExtraSamplesCount >= 1)
          for (size_t x = 0; x < W; ++x) SetAlpha(ImageCol + int32_t(x), ImageRow, Src[size_t(S) * x + 4]);
        for (size_t x = 0; x < W; ++x) std::memmove(Src + 4 * x, Src + size_t(S) * x, 4);
      }
      for (size_t i = 0; i < 4 * W; ++i) Src[i] = uint8_t(255 - Src[i]);
      if (pf == vxCMYK)
        std::memcpy(d, Src, 4 * W);
      else
        convert(Src, vxcmsCMYK, d, vxcmsBGR, Width, RefParams);
      break;
    }
    case 16:
      for (size_t i = 0; i < 4 * W; ++i) Src[i] = uint8_t(255 - (Word(Src + 2 * i, LittleEndian) >> 8));
      if (pf == vxCMYK)
        std::memcpy(d, Src, 4 * W);
      else
        convert(Src, vxcmsCMYK, d, vxcmsBGR, Width, RefParams);
      break;
    case 17:
      convert(Src, vxcmsCIELab, d, vxcmsBGR, Width, RefParams);
      break;
    case 18: {
      // Y0 Y1 Cb Cr groups spread to Y Cb Cr pixels, from the end so the
      // row can be widened in place.
      std::vector<uint8_t> ycc(3 * W);
      for (size_t x = 0; x < W; ++x) {
        const uint8_t* g = Src + (x / 2) * 4;
        ycc[3 * x] = g[x & 1];
        ycc[3 * x + 1] = g[2];
        ycc[3 * x + 2] = g[3];
      }
      convert(ycc.data(), vxcmsYCBCR, d, vxcmsBGR, Width, RefParams);
      break;
    }
    default:
      break;
  }
}

void TTIFFReaderContext::DecodeRows(TVXBitmap* Bitmap, int32_t StartRow, int32_t XPixel, uint8_t* Buffer,
                                    int64_t Length, int32_t Width, int32_t Rows, TProgressRec& Progress) {
  bool& aborting = *Progress.Aborting;
  if (Compression == 7) {
    const bool whole = Blocks == 1;
    VXDecodeTIFFJpegBlock(*this, Bitmap, StartRow, XPixel, Buffer, Length, Progress, whole);
    if (!whole) {
      ++val;
      VXReportProgress(Progress, int32_t(double(val) * per2), lastReported);
    }
    return;
  }
  const int64_t rowBytes = RowBytes(Width, false);
  const int32_t bpp = Bitmap->BitCount();
  const int64_t destBytes = (int64_t(Width) * bpp + 7) / 8;
  // Strips of the whole width write straight into the bitmap; tiles go
  // through a row of their own, cut at the image's edge.
  const bool direct = XPixel == 0 && Width == Bitmap->Width();
  std::vector<uint8_t> scratch(direct ? 0 : size_t(destBytes) + 8);
  const int64_t unpacked = std::max<int64_t>(rowBytes, int64_t(Width) * SamplesPerPixel);
  std::vector<uint8_t> row(size_t(2 * unpacked + 64));
  TTIFFStripState st;
  st.Src = Buffer;
  st.SrcSize = Length;
  st.LZW = LZWDecompFunc;
  // Only the rows and columns that fall inside the image are worked out: a
  // tile may reach far past the image's edges (a damaged file can give a
  // nine-pixel-wide image tiles of thousands of columns, each one of
  // thousands down the page), and the rows below the image are never needed.
  const int32_t cols = direct ? Width : std::min(Width, Bitmap->Width() - XPixel);
  const int32_t lastRow = std::min(ImageHeight, Bitmap->Height());
  if (cols <= 0 || StartRow >= lastRow) return;
  if (Compression == 8 || Compression == 32946) {
    st.ZSize = rowBytes * std::min(Rows, lastRow - StartRow);
    // The slack lets a row taken in place be read as the row buffer is.
    st.ZBuffer = BlockBuffer(0, st.ZSize + 64);
    st.Direct = BitsPerSample >= 8;
  }
  const int64_t usedBytes = direct ? INT64_MAX : (int64_t(cols) * SamplesPerPixel * BitsPerSample + 7) / 8;
  for (int32_t r = 0; r < Rows && !aborting && StartRow + r < lastRow; ++r) {
    const int32_t y = StartRow + r;
    if (!DecompressTIFFStrip(r, row.data(), st, rowBytes, Width, *this, usedBytes)) {
      aborting = true;
      break;
    }
    uint8_t* src = st.Out ? st.Out : row.data();
    UndoPredictor(src, cols, false);
    uint8_t* dest = direct ? static_cast<uint8_t*>(Bitmap->ScanLine(y)) : scratch.data();
    ConvertRow(src, dest, cols, y, XPixel, Bitmap);
    if (!direct) {
      const int64_t from = (int64_t(XPixel) * bpp) / 8;
      const int64_t bytes = (int64_t(cols) * bpp + 7) / 8;
      std::memcpy(static_cast<uint8_t*>(Bitmap->ScanLine(y)) + from, scratch.data(), size_t(bytes));
    }
    AdvanceProgress(Progress);
  }
}

void TTIFFReaderContext::DecodePlanarRows(TProgressRec& Progress, int32_t Rows, int32_t Width,
                                          const int64_t* PlaneSizes, uint8_t* const* Planes, TVXBitmap* Bitmap,
                                          int32_t StartRow) {
  bool& aborting = *Progress.Aborting;
  const int32_t S = SamplesPerPixel;
  const int32_t bytesPerSample = BitsPerSample / 8;
  const int64_t planeBytes = RowBytes(Width, true);
  std::vector<TTIFFStripState> st(static_cast<size_t>(S));
  std::vector<std::vector<uint8_t>> planeRows(static_cast<size_t>(S), std::vector<uint8_t>(size_t(planeBytes) + 16));
  for (int32_t p = 0; p < S; ++p) {
    st[p].Src = Planes[p];
    st[p].SrcSize = PlaneSizes[p];
    st[p].LZW = LZWDecompFunc;
    if (Compression == 8 || Compression == 32946) {
      st[p].ZSize = planeBytes * Rows;
      st[p].ZBuffer = BlockBuffer(p, st[p].ZSize);
    }
  }
  std::vector<uint8_t> chunky(size_t(2 * RowBytes(Width, false) + 64));
  for (int32_t r = 0; r < Rows && !aborting; ++r) {
    const int32_t y = StartRow + r;
    for (int32_t p = 0; p < S; ++p) {
      if (!DecompressTIFFStrip(r, planeRows[p].data(), st[p], planeBytes, Width, *this)) {
        aborting = true;
        return;
      }
      UndoPredictor(planeRows[p].data(), Width, true);
    }
    if (y >= ImageHeight || y >= Bitmap->Height()) continue;
    for (int32_t x = 0; x < Width; ++x)
      for (int32_t p = 0; p < S; ++p)
        std::memcpy(&chunky[(size_t(x) * S + p) * bytesPerSample], &planeRows[p][size_t(x) * bytesPerSample],
                    size_t(bytesPerSample));
    ConvertRow(chunky.data(), static_cast<uint8_t*>(Bitmap->ScanLine(y)), Width, y, 0, Bitmap);
    AdvanceProgress(Progress);
  }
}
