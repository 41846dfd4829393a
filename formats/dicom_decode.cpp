// DICOM image decoding: one frame by transfer syntax (native, RLE, JPEG,
// lossless JPEG, JPEG 2000), then the rescale and window step that
// DICOM_Range chooses and the inversion of MONOCHROME1 images. Also the
// reading entry points and the frame counters.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/bitrows.h"
#include "core/colorspace.h"
#include "core/limits.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "formats/dicom.h"
#include "formats/jpeg2000.h"
#include "formats/ljpeg.h"
#include "io/dicomtags.h"
#include "io/params.h"

using namespace vxdicom;

class TDicomFrameDecoder {
 public:
  TDicomFrameDecoder(TDicomReadContext& Context, TVXBitmap* Bitmap, TIOParamsVals& Params)
      : c(Context), bmp(Bitmap), P(Params), s(*Context.Stream) {}
  void Run();

 private:
  TDicomReadContext& c;
  TVXBitmap* bmp;
  TIOParamsVals& P;
  TStream& s;
  int32_t lastPercent = -1;

  bool& Aborting() { return *c.Progress.Aborting; }
  void Fail() { Aborting() = true; }
  void RowDone(int64_t Row, int64_t Rows) {
    VXReportProgress(c.Progress, int32_t(double(Row) / double(Rows) * 100.0), lastPercent);
  }
  bool Allocate(TVXPixelFormat Format);
  bool Fits(int64_t Bytes) { return Bytes >= 0 && s.Position() + Bytes <= c.StreamSize; }
  uint16_t Sample16(const uint8_t* p) const { return c.LittleEndian ? uint16_t(p[0] | (p[1] << 8)) : uint16_t((p[0] << 8) | p[1]); }
  TRGB FromMaps(uint32_t Index) const;

  bool FindFrame(bool Encapsulated, int64_t& FragmentLength);
  void Native();
  void RLE(int64_t FragmentLength);
  void Jpeg();
  void Jpeg2000();
  void Lossless(int64_t FragmentLength);
  void Range8();
  void Range16();
  void Monochrome1_8();
  void Monochrome1_16();
  // The range step on samples read as signed or unsigned, T the top value.
  template <typename Sample>
  void Range(int32_t Top, int64_t PerRow);
};

bool TDicomFrameDecoder::Allocate(TVXPixelFormat Format) {
  const int64_t bits = Format == vx8g ? 8 : Format == vx16g ? 16 : Format == vx48RGB ? 48 : 24;
  if (c.Width < 1 || c.Height < 1 || !VXImageSizeAllowed(c.Width, c.Height, bits) ||
      !bmp->Allocate(c.Width, c.Height, Format)) {
    Fail();
    return false;
  }
  return true;
}

TRGB TDicomFrameDecoder::FromMaps(uint32_t Index) const {
  const auto at = [&](const std::vector<uint16_t>& Map) { return Index < Map.size() ? uint8_t(Map[Index] / 257) : uint8_t(0); };
  return TRGB{at(c.BMap), at(c.GMap), at(c.RMap)};
}

// Positions the stream at the frame ImageIndex; for encapsulated data gives
// the length of its item. False (with Aborting) when the frame is not there.
bool TDicomFrameDecoder::FindFrame(bool Encapsulated, int64_t& FragmentLength) {
  const int32_t index = P.ImageIndex();
  FragmentLength = 0;
  uint8_t b[8];
  const auto readItem = [&](uint32_t& Length) -> bool {
    if (s.Read(b, 8) != 8) return false;
    const bool little = c.LittleEndian;
    const uint16_t g = little ? uint16_t(b[0] | (b[1] << 8)) : uint16_t((b[0] << 8) | b[1]);
    const uint16_t e = little ? uint16_t(b[2] | (b[3] << 8)) : uint16_t((b[2] << 8) | b[3]);
    Length = little ? uint32_t(b[4]) | (uint32_t(b[5]) << 8) | (uint32_t(b[6]) << 16) | (uint32_t(b[7]) << 24)
                    : (uint32_t(b[4]) << 24) | (uint32_t(b[5]) << 16) | (uint32_t(b[6]) << 8) | uint32_t(b[7]);
    return g == 0xFFFE && e == 0xE000;
  };
  if (!Encapsulated) {
    const std::string& ts = c.TransferSyntax;
    if (ts == kImplicitLittleEndian || ts == kExplicitLittleEndian || ts == kExplicitBigEndian)
      s.Seek(int64_t(index) * c.Width * c.Height * c.SamplesPerPixel * c.BytesPerChannel, soCurrent);
    return true;
  }
  uint32_t tableLength = 0;
  if (!readItem(tableLength)) return false;
  const int64_t afterTable = s.Position() + int64_t(tableLength);
  bool located = false;
  if (tableLength > 0 && tableLength != 0xFFFFFFFF) {
    // The offsets, at most one per frame; a frame the table does not cover
    // is found by walking the items.
    const int64_t entries = std::min<int64_t>(tableLength / 4, c.FrameCount);
    if (index < entries) {
      s.Seek(int64_t(index) * 4, soCurrent);
      uint8_t o[4];
      if (s.Read(o, 4) != 4) return false;
      const uint32_t offset = c.LittleEndian ? uint32_t(o[0]) | (uint32_t(o[1]) << 8) | (uint32_t(o[2]) << 16) | (uint32_t(o[3]) << 24)
                                             : (uint32_t(o[0]) << 24) | (uint32_t(o[1]) << 16) | (uint32_t(o[2]) << 8) | uint32_t(o[3]);
      s.SetPosition(afterTable + int64_t(offset));
      located = true;
    }
  }
  if (!located) {
    s.SetPosition(afterTable);
    for (int32_t i = 0; i < index; ++i) {
      uint32_t length = 0;
      if (!readItem(length) || length == 0xFFFFFFFF) return false;
      s.Seek(int64_t(length), soCurrent);
      if (s.Position() > c.StreamSize) return false;
    }
  }
  uint32_t length = 0;
  if (!readItem(length) || length == 0xFFFFFFFF) return false;
  FragmentLength = int64_t(length);
  return true;
}

void TDicomFrameDecoder::Run() {
  const std::string& ts = c.TransferSyntax;
  const int64_t start = c.ImagePos >= 0 ? c.ImagePos : c.ThumbPos;
  s.SetPosition(start);
  uint8_t head[4] = {};
  const bool got = s.Read(head, 4) == 4;
  s.SetPosition(start);
  const bool encapsulated =
      got && (c.LittleEndian ? (head[0] == 0xFE && head[1] == 0xFF && head[2] == 0x00 && head[3] == 0xE0)
                             : (head[0] == 0xFF && head[1] == 0xFE && head[2] == 0xE0 && head[3] == 0x00));
  int64_t fragment = 0;
  if (!FindFrame(encapsulated, fragment)) {
    Fail();
    return;
  }
  if (s.Position() + fragment > c.StreamSize) {
    Fail();
    return;
  }
  // A window given in an item of the softcopy VOI sequence wins, the first
  // item that gives both.
  if (TVXDicomTagChildren* items = P.DICOM_Tags().GetTagChildren(0x0028, 0x3110)) {
    for (auto& item : *items) {
      const int32_t ci = item->IndexOf(0x0028, 0x1050), wi = item->IndexOf(0x0028, 0x1051);
      if (ci < 0 || wi < 0) continue;
      c.WindowCenter = DecimalValue(item->GetTagString(ci), kNotGiven);
      c.WindowWidth = DecimalValue(item->GetTagString(wi), kNotGiven);
      break;
    }
  }

  if (ts == kJpegBaseline || ts == kJpegExtended) {
    Jpeg();
  } else if (ts == kJpeg2000 || ts == kJpeg2000LosslessOnly) {
    Jpeg2000();
  } else if (ts == kJpegLossless || ts == kJpegLosslessSV1) {
    Lossless(fragment);
  } else if (ts == kMpeg2Main || ts == kMpeg2High || ts == kMpeg4 || ts == kMpeg4BD) {
    Fail();
  } else if (ts == kRLE) {
    if (!encapsulated) Fail();
    else RLE(fragment);
  } else if (encapsulated) {
    Fail();  // JPEG-LS and other encodings this reader does not decode
  } else {
    Native();
  }
}

void TDicomFrameDecoder::Native() {
  const int64_t W = c.Width, H = c.Height;
  const bool palette = c.PhotometricInterpretation == "PALETTE COLOR";
  if (c.SamplesPerPixel == 1 && c.BitsStored <= 8 && c.BytesPerChannel <= 2) {
    const int64_t step = c.BitsAllocated == 16 ? 2 : 1;
    if (!Fits(W * H * step) || !Allocate(palette ? vx24RGB : vx8g)) return Fail();
    const int shift = std::clamp(8 - c.BitsStored, 0, 7);
    std::vector<uint8_t> row(size_t(W * step));
    for (int64_t y = 0; y < H && !Aborting(); ++y) {
      s.Read(row.data(), int64_t(row.size()));
      if (palette) {
        TRGB* d = static_cast<TRGB*>(bmp->ScanLine(int32_t(y)));
        for (int64_t x = 0; x < W; ++x) d[x] = FromMaps(uint8_t(row[size_t(x * step)] << shift));
      } else {
        uint8_t* d = static_cast<uint8_t*>(bmp->ScanLine(int32_t(y)));
        for (int64_t x = 0; x < W; ++x) d[x] = uint8_t(row[size_t(x * step)] << shift);
      }
      RowDone(y + 1, H);
    }
    if (!palette) {
      Range8();
      Monochrome1_8();
    }
    return;
  }
  if (c.SamplesPerPixel == 1 && c.BitsStored == 12 && c.BitsAllocated == 12 && !palette) {
    // Packed: two samples in three bytes, the frame one run of samples.
    const int64_t samples = W * H;
    const int64_t bytes = (samples + 1) / 2 * 3;
    if (!Fits(samples * 3 / 2) || !Allocate(vx16g)) return Fail();
    std::vector<uint8_t> packed(size_t(bytes), 0);
    s.Read(packed.data(), bytes);
    for (int64_t y = 0; y < H; ++y) {
      uint16_t* d = static_cast<uint16_t*>(bmp->ScanLine(int32_t(y)));
      for (int64_t x = 0; x < W; ++x) {
        const int64_t i = y * W + x;
        const uint8_t* t = &packed[size_t(i / 2 * 3)];
        d[x] = (i & 1) ? uint16_t((t[1] >> 4) + t[2] * 16) : uint16_t((t[1] & 15) * 256 + t[0]);
      }
      RowDone(y + 1, H);
    }
    Range16();
    Monochrome1_16();
    return;
  }
  if (c.SamplesPerPixel == 1 && c.BitsStored <= 16 && c.BitsAllocated == 16) {
    if (!Fits(W * H * 2) || !Allocate(palette ? vx48RGB : vx16g)) return Fail();
    std::vector<uint8_t> row(size_t(W * 2));
    for (int64_t y = 0; y < H && !Aborting(); ++y) {
      s.Read(row.data(), int64_t(row.size()));
      if (palette) {
        TRGB48* d = static_cast<TRGB48*>(bmp->ScanLine(int32_t(y)));
        for (int64_t x = 0; x < W; ++x) {
          const uint16_t v = Sample16(&row[size_t(2 * x)]);
          const auto at = [&](const std::vector<uint16_t>& Map) { return v < Map.size() ? Map[v] : uint16_t(0); };
          d[x] = TRGB48{at(c.RMap), at(c.GMap), at(c.BMap)};
        }
      } else {
        uint16_t* d = static_cast<uint16_t*>(bmp->ScanLine(int32_t(y)));
        for (int64_t x = 0; x < W; ++x) d[x] = Sample16(&row[size_t(2 * x)]);
      }
      RowDone(y + 1, H);
    }
    if (!palette) {
      Range16();
      Monochrome1_16();
    }
    return;
  }
  if (c.SamplesPerPixel == 3 && c.BitsStored <= 8 && c.BytesPerChannel == 1) {
    if (!Fits(W * H * 3) || !Allocate(vx24RGB)) return Fail();
    const int shift = std::clamp(8 - c.BitsStored, 0, 7);
    if (c.PlanarConfiguration == 1) {
      std::vector<uint8_t> row(static_cast<size_t>(W));
      for (int plane = 0; plane < 3 && !Aborting(); ++plane)
        for (int64_t y = 0; y < H; ++y) {
          s.Read(row.data(), W);
          uint8_t* d = static_cast<uint8_t*>(bmp->ScanLine(int32_t(y)));
          for (int64_t x = 0; x < W; ++x) d[x * 3 + (2 - plane)] = uint8_t(row[size_t(x)] << shift);
          RowDone(plane * H + y + 1, 3 * H);
        }
    } else {
      std::vector<uint8_t> row(size_t(W * 3));
      for (int64_t y = 0; y < H && !Aborting(); ++y) {
        s.Read(row.data(), W * 3);
        uint8_t* d = static_cast<uint8_t*>(bmp->ScanLine(int32_t(y)));
        for (int64_t x = 0; x < W; ++x) {
          d[x * 3 + 2] = uint8_t(row[size_t(x * 3)] << shift);
          d[x * 3 + 1] = uint8_t(row[size_t(x * 3 + 1)] << shift);
          d[x * 3] = uint8_t(row[size_t(x * 3 + 2)] << shift);
        }
        RowDone(y + 1, H);
      }
    }
    Range8();
    return;
  }
  Fail();  // a sample layout no rule covers
}

void TDicomFrameDecoder::RLE(int64_t FragmentLength) {
  const int64_t W = c.Width, H = c.Height, plane = W * H;
  const int64_t headerStart = s.Position();
  uint8_t header[64];
  if (FragmentLength < 64 || s.Read(header, 64) != 64) return Fail();
  const auto le32 = [&](int i) {
    return uint32_t(header[i]) | (uint32_t(header[i + 1]) << 8) | (uint32_t(header[i + 2]) << 16) |
           (uint32_t(header[i + 3]) << 24);
  };
  const uint32_t segments = le32(0);
  // A PackBits byte pair stands for at most 128 samples: a frame far larger
  // than its fragment can hold is damage, refused before a plane is made.
  if (!VXDeclaredDataPlausible(FragmentLength, plane, 64)) return Fail();
  // Decodes segment Index (PackBits) into Out, at most one plane, never
  // reading past the segment's end.
  const auto segment = [&](uint32_t Index, std::vector<uint8_t>& Out) -> bool {
    if (Index >= segments || Index >= 15) return false;
    const int64_t offset = le32(4 + 4 * int(Index));
    const int64_t next = Index + 1 < segments && Index + 1 < 15 ? int64_t(le32(8 + 4 * int(Index))) : FragmentLength;
    const int64_t end = std::min(std::max(next, offset), FragmentLength);
    if (offset < 64 || offset >= FragmentLength) return false;
    std::vector<uint8_t> in(size_t(end - offset));
    s.SetPosition(headerStart + offset);
    const int64_t got = s.Read(in.data(), int64_t(in.size()));
    Out.assign(size_t(plane), 0);
    int64_t o = 0, i = 0;
    while (o < plane && i < got) {
      const int8_t n = int8_t(in[size_t(i++)]);
      if (n >= 0) {
        for (int k = 0; k <= n && i < got && o < plane; ++k) Out[size_t(o++)] = in[size_t(i++)];
      } else if (n != -128) {
        if (i >= got) break;
        const uint8_t v = in[size_t(i++)];
        for (int k = 0; k < 1 - n && o < plane; ++k) Out[size_t(o++)] = v;
      }
    }
    return true;
  };
  const bool palette = c.PhotometricInterpretation == "PALETTE COLOR";
  std::vector<uint8_t> a, b, d;
  if (c.SamplesPerPixel == 1 && c.BitsStored <= 8) {
    if (!segment(0, a) || !Allocate(palette ? vx24RGB : vx8g)) return Fail();
    for (int64_t y = 0; y < H; ++y) {
      if (palette) {
        TRGB* row = static_cast<TRGB*>(bmp->ScanLine(int32_t(y)));
        for (int64_t x = 0; x < W; ++x) row[x] = FromMaps(a[size_t(y * W + x)]);
      } else {
        std::memcpy(bmp->ScanLine(int32_t(y)), &a[size_t(y * W)], size_t(W));
      }
      RowDone(y + 1, H);
    }
    if (!palette) {
      Range8();
      Monochrome1_8();
    }
    return;
  }
  if (c.SamplesPerPixel == 1 && c.BitsStored <= 16) {
    if (!segment(0, a) || !segment(1, b) || !Allocate(vx16g)) return Fail();
    for (int64_t y = 0; y < H; ++y) {
      uint16_t* row = static_cast<uint16_t*>(bmp->ScanLine(int32_t(y)));
      for (int64_t x = 0; x < W; ++x) row[x] = uint16_t((a[size_t(y * W + x)] << 8) | b[size_t(y * W + x)]);
      RowDone(y + 1, H);
    }
    Range16();
    Monochrome1_16();
    return;
  }
  if (c.SamplesPerPixel == 3 && c.BitsStored <= 8) {
    if (!segment(0, a) || !segment(1, b) || !segment(2, d) || !Allocate(vx24RGB)) return Fail();
    const bool ybr = c.PhotometricInterpretation == "YBR_FULL";
    for (int64_t y = 0; y < H; ++y) {
      TRGB* row = static_cast<TRGB*>(bmp->ScanLine(int32_t(y)));
      for (int64_t x = 0; x < W; ++x) {
        const size_t i = size_t(y * W + x);
        row[x] = ybr ? VXYCbCrToRGB(a[i], b[i], d[i]) : TRGB{d[i], b[i], a[i]};
      }
      RowDone(y + 1, H);
    }
    Range8();
    Monochrome1_8();
    return;
  }
  Fail();
}

void TDicomFrameDecoder::Jpeg() {
  if (c.BitsStored > 8) return Fail();  // the JPEG library decodes 8-bit samples only
  TIOParamsVals params(nullptr);
  Aborting() = false;
  // Colour stored as RGB is taken as it stands, whatever the JPEG markers
  // say (without a JFIF or Adobe marker the codec would take it for YCbCr).
  const bool rgb = c.SamplesPerPixel == 3 && c.PhotometricInterpretation == "RGB";
  VXReadJpegStream(&s, nullptr, bmp, params, c.Progress, false, rgb, false, false, false, false, -1, true);
  if (Aborting()) return;
  if (rgb && bmp->PixelFormat() == vx24RGB)
    for (int32_t y = 0; y < bmp->Height(); ++y) VXSwapRBRow(bmp->ScanLine(y), bmp->Width());
  Range8();
  if (c.SamplesPerPixel == 1) Monochrome1_8();
}

void TDicomFrameDecoder::Jpeg2000() {
  TIOParamsVals params(nullptr);
  params.IsNativePixelFormat = true;
  VXReadJpeg2000Stream(&s, bmp, params, c.Progress, false);
  if (Aborting()) return;
  // The codec widens samples of 9 to 15 bits to the full 16; the range steps
  // work on stored values, as the other syntaxes give them.
  const int32_t precision = params.BitsPerSample();
  if (bmp->PixelFormat() == vx16g && precision > 8 && precision < 16)
    for (int32_t y = 0; y < bmp->Height(); ++y) {
      uint16_t* row = static_cast<uint16_t*>(bmp->ScanLine(y));
      for (int32_t x = 0; x < bmp->Width(); ++x) row[x] = uint16_t(row[x] >> (16 - precision));
    }
  if (c.BitsStored <= 8) Range8();
  if (c.SamplesPerPixel == 1) {
    if (c.BitsStored <= 8) {
      Monochrome1_8();
    } else if (c.BitsStored <= 16 && bmp->PixelFormat() == vx16g) {
      Range16();
      Monochrome1_16();
    }
  }
}

void TDicomFrameDecoder::Lossless(int64_t FragmentLength) {
  const int64_t W = c.Width, H = c.Height;
  TVXPixelFormat format;
  if (c.SamplesPerPixel == 1 && c.BitsStored <= 8) format = vx8g;
  else if (c.SamplesPerPixel == 1 && c.BitsStored <= 16) format = vx16g;
  else if (c.SamplesPerPixel == 3 && c.BitsStored <= 8) format = vx24RGB;
  else return Fail();
  const int64_t length = FragmentLength > 0 ? FragmentLength : c.StreamSize - s.Position();
  if (length <= 0 || length > INT32_MAX) return Fail();
  // Every sample takes at least one bit of Huffman code: a frame far larger
  // than its data can hold is damage, refused before anything is allocated.
  if (!VXDeclaredDataPlausible(length, W * H * c.SamplesPerPixel, 8)) return Fail();
  if (!Allocate(format)) return;
  // The decoder fills one block, first decoded row first; the rows then go
  // to the bitmap top-down (the components of a pixel in stream order: red,
  // green, blue).
  const int64_t samples = W * H * c.SamplesPerPixel;
  std::vector<uint8_t> out8;
  std::vector<uint16_t> out16;
  if (format == vx16g) out16.assign(size_t(samples), 0);
  else out8.assign(size_t(samples), 0);
  if (!DecodeLosslessJpeg(&s, out16.empty() ? nullptr : out16.data(), out8.empty() ? nullptr : out8.data(), samples,
                          c.Progress, int32_t(length)))
    Fail();
  for (int64_t y = 0; y < H; ++y) {
    if (format == vx16g) {
      std::memcpy(bmp->ScanLine(int32_t(y)), &out16[size_t(y * W)], size_t(W) * 2);
    } else if (format == vx8g) {
      std::memcpy(bmp->ScanLine(int32_t(y)), &out8[size_t(y * W)], size_t(W));
    } else {
      TRGB* row = static_cast<TRGB*>(bmp->ScanLine(int32_t(y)));
      const uint8_t* p = &out8[size_t(y * W * 3)];
      for (int64_t x = 0; x < W; ++x) row[x] = TRGB{p[3 * x + 2], p[3 * x + 1], p[3 * x]};
    }
  }
  if (Aborting()) return;
  if (format == vx16g) {
    Range16();
    Monochrome1_16();
  } else {
    Range8();
    if (format == vx8g) Monochrome1_8();
  }
}

// ---------------------------------------------------------------------------
// Range and MONOCHROME1 steps

// A worked-out value as a sample of 0 .. Top. Slopes and intercepts near the
// ends of the double range can make a value infinite or not a number (taken
// as 0).
template <typename Sample>
static Sample ToSample(double Value, int32_t Top) {
  if (Value >= Top) return Sample(Top);
  return Value > 0 ? Sample(Value) : Sample(0);
}

template <typename Sample>
void TDicomFrameDecoder::Range(int32_t Top, int64_t PerRow) {
  const int64_t H = bmp->Height();
  const double m = c.RescaleSlope, b = c.RescaleIntercept, wc = c.WindowCenter, ww = c.WindowWidth;
  const bool window = wc != kNotGiven && ww != kNotGiven;
  const bool isSigned = c.PixelRepresentation == 1;
  using Signed = std::conditional_t<sizeof(Sample) == 1, int8_t, int16_t>;
  const auto read = [&](Sample v) -> double { return isSigned ? double(Signed(v)) : double(v); };
  if (P.DICOM_Range() == vxdrAdjust) {
    const double lo = std::trunc(wc - 0.5 - (ww - 1) / 2), hi = std::trunc(wc - 0.5 + (ww - 1) / 2);
    const auto value = [&](Sample raw) {
      double v = read(raw) * m + b;
      if (window) {
        if (v <= lo) v = 0;
        else if (v >= hi) v = Top;
        else v = ((v - (wc - 0.5)) / (ww - 1) + 0.5) * Top;
      }
      return v;
    };
    // First pass: the extremes of the values; the offset that lifts the
    // lowest to 0 is added afterwards.
    double vmin = 0, vmax = 0;
    bool any = false;
    for (int64_t y = 0; y < H; ++y) {
      const Sample* row = static_cast<const Sample*>(bmp->ScanLine(int32_t(y)));
      for (int64_t x = 0; x < PerRow; ++x) {
        const double v = value(row[x]);
        if (!any || v < vmin) vmin = v;
        if (!any || v > vmax) vmax = v;
        any = true;
      }
    }
    if (!any) return;
    const double offset = vmin < 0 ? -vmin : 0;
    const double smallest = std::trunc(vmin + offset), largest = std::trunc(vmax + offset);
    if (largest - smallest == 0) return;
    for (int64_t y = 0; y < H; ++y) {
      Sample* row = static_cast<Sample*>(bmp->ScanLine(int32_t(y)));
      for (int64_t x = 0; x < PerRow; ++x) {
        const double t = std::trunc(value(row[x]) + offset);
        const double r = std::trunc((t - smallest) / (largest - smallest) * Top);
        row[x] = ToSample<Sample>(r, Top);
      }
    }
    return;
  }
  if (P.DICOM_Range() != vxdrSetBlackWhite) return;
  const int64_t half = int64_t(1) << std::clamp(c.BitsStored - 1, 0, 30);
  for (int64_t y = 0; y < H; ++y) {
    Sample* row = static_cast<Sample*>(bmp->ScanLine(int32_t(y)));
    for (int64_t x = 0; x < PerRow; ++x) {
      double v = read(row[x]);
      if (isSigned) v = v < half ? v + half : v - half;
      row[x] = ToSample<Sample>(std::trunc(v * m), Top);
    }
  }
  const double centreOffset = isSigned ? double(half) - b : -b;
  P.SetDICOM_WindowCenterOffset(centreOffset);
  if (window) {
    const double centre = wc + centreOffset;
    bmp->SetBlackValue(centre - std::nearbyint(ww * 0.5));
    bmp->SetWhiteValue(centre + std::trunc(ww * 0.5));
  } else if (sizeof(Sample) == 2) {
    bmp->AutoCalcBWValues();
  } else {
    const double centre = double(half) * m;
    const double span = std::ldexp(1.0, std::clamp(P.BitsPerSample(), 0, 62));
    bmp->SetBlackValue(centre - std::nearbyint(m * span * 0.5));
    bmp->SetWhiteValue(centre + std::trunc(span * 0.5 * m));
  }
}

void TDicomFrameDecoder::Range8() {
  if (bmp->PixelFormat() != vx8g && bmp->PixelFormat() != vx24RGB) return;
  Range<uint8_t>(255, int64_t(bmp->Width()) * (bmp->PixelFormat() == vx24RGB ? 3 : 1));
}

void TDicomFrameDecoder::Range16() {
  if (bmp->PixelFormat() != vx16g) return;
  Range<uint16_t>(65535, bmp->Width());
}

void TDicomFrameDecoder::Monochrome1_8() {
  if (c.PhotometricInterpretation != "MONOCHROME1" || bmp->PixelFormat() != vx8g) return;
  for (int32_t y = 0; y < bmp->Height(); ++y) {
    uint8_t* row = static_cast<uint8_t*>(bmp->ScanLine(y));
    for (int32_t x = 0; x < bmp->Width(); ++x) row[x] = uint8_t(~row[x]);
  }
}

void TDicomFrameDecoder::Monochrome1_16() {
  if (c.PhotometricInterpretation != "MONOCHROME1" || bmp->PixelFormat() != vx16g) return;
  const bool adjust = P.DICOM_Range() == vxdrAdjust;
  const int32_t top = (1 << std::clamp(c.BitsStored, 1, 16)) - 1;
  for (int32_t y = 0; y < bmp->Height(); ++y) {
    uint16_t* row = static_cast<uint16_t*>(bmp->ScanLine(y));
    for (int32_t x = 0; x < bmp->Width(); ++x)
      row[x] = adjust ? uint16_t(~row[x]) : uint16_t(std::clamp(top - int32_t(row[x]), 0, 65535));
  }
}

// ---------------------------------------------------------------------------
// Entry points

void TDicomReadContext::GetImage(TVXBitmap* DstBitmap, TIOParamsVals& Params, bool Preview) {
  IOParams = &Params;
  Bitmap = DstBitmap;
  Params.SetBitsPerSample(BitsStored);
  Params.SetSamplesPerPixel(SamplesPerPixel);
  Params.SetWidth(Width);
  Params.SetHeight(Height);
  Params.SetOriginalWidth(Width);
  Params.SetOriginalHeight(Height);
  Params.SetImageCount(FrameCount);
  Params.SetDICOM_RescaleIntercept(RescaleIntercept);
  Params.SetDICOM_RescaleSlope(RescaleSlope);
  if (Preview || !DstBitmap) return;
  // A data set without pixel data holds no image to load.
  if (ImagePos < 0 && ThumbPos < 0) {
    Aborting() = true;
    return;
  }
  Params.SetImageIndex(std::clamp(Params.ImageIndex(), 0, std::max(FrameCount, 1) - 1));
  Params.SetDICOM_WindowCenterOffset(0);
  TDicomFrameDecoder(*this, DstBitmap, Params).Run();
}

void VXReadDicomStream(TStream* Stream, TIOParamsVals& Params, TVXBitmap* DstBitmap, bool Preview,
                       TProgressRec& Progress) {
  TDicomReadContext context(Stream, Progress);
  context.ReadHeader();
  context.ReadTags(Params);
  context.GetImage(DstBitmap, Params, Preview);
}

// A file without pixel data holds no image.
int32_t VXGetDicomStreamImageCount(TStream* Stream) {
  const int64_t position = Stream->Position();
  TIOParamsVals params(nullptr);
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  bool image = false;
  {
    TDicomReadContext context(Stream, progress);
    context.ReadHeader();
    context.ReadTags(params);
    context.GetImage(nullptr, params, true);
    image = context.ImagePos >= 0 || context.ThumbPos >= 0;
  }
  Stream->SetPosition(position);
  return aborting || !image ? 0 : params.ImageCount();
}

int32_t VXGetDicomFileImageCount(const std::string& FileName) {
  try {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    return VXGetDicomStreamImageCount(&file);
  } catch (const std::exception&) {
    return 0;
  }
}
