// PCX and DCX reading and writing.
#include "codecs/pcx.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/byteorder.h"
#include "core/colorreduce.h"
#include "core/limits.h"
#include "core/quantizer.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/probes.h"

namespace {

constexpr int64_t kHeaderSize = 128;
constexpr uint32_t kDCXMagic = 0x3ADE68B1u;
constexpr int32_t kDCXMaxPages = 1023;  // the table holds 1024 entries with its closing 0


// The image data as bytes, plain or run-length encoded; a run may carry over
// from one plane line into the next. Bytes past the data read as 0.
class TLineSource {
 public:
  TLineSource(const std::vector<uint8_t>& Data, bool Rle) : fData(Data), fRle(Rle) {}
  void Fill(uint8_t* Line, size_t Count) {
    size_t i = 0;
    if (!fRle) {
      const size_t n = std::min(Count, fData.size() - std::min(fPos, fData.size()));
      std::memcpy(Line, fData.data() + fPos, n);
      fPos += n;
      i = n;
    }
    for (; i < Count; ++i) {
      if (fRun == 0 && fPos >= fData.size()) {
        std::memset(Line + i, 0, Count - i);  // past the data
        return;
      }
      Line[i] = Next();
    }
  }

 private:
  uint8_t Byte() { return fPos < fData.size() ? fData[fPos++] : 0; }
  uint8_t Next() {
    if (!fRle) return Byte();
    if (fRun > 0) {
      --fRun;
      return fValue;
    }
    if (fPos >= fData.size()) return 0;
    const uint8_t b = Byte();
    if (b < 0xC0) return b;
    fRun = b & 0x3F;
    fValue = Byte();
    if (fRun == 0) return Next();  // an empty run
    --fRun;
    return fValue;
  }
  const std::vector<uint8_t>& fData;
  bool fRle;
  size_t fPos = 0;
  int fRun = 0;
  uint8_t fValue = 0;
};

// The header palette entry i (red, green, blue in the file) as a TRGB.
TRGB HeaderColour(const uint8_t* h, int i) { return TRGB{h[16 + 3 * i + 2], h[16 + 3 * i + 1], h[16 + 3 * i]}; }

}  // namespace

void VXReadPCXStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool Preview, int64_t Size) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  TIOParamsVals& P = IOParams;
  try {
    const int64_t start = Stream->Position();
    const int64_t held = std::max<int64_t>(0, Stream->Size() - start);
    if (Size < 0 || Size > held) Size = held;
    uint8_t h[kHeaderSize];
    if (Size < kHeaderSize || Stream->Read(h, kHeaderSize) != kHeaderSize) {
      aborting = true;
      return;
    }
    const int bits = h[3], planes = h[65], encoding = h[2];
    const uint16_t xmin = VXGetLE16(h + 4), ymin = VXGetLE16(h + 6), xmax = VXGetLE16(h + 8), ymax = VXGetLE16(h + 10);
    if (h[0] != 10 || bits > 8 || encoding > 1 || xmax < xmin || ymax < ymin) {
      aborting = true;
      return;
    }
    const int32_t W = int32_t(xmax) - xmin + 1, H = int32_t(ymax) - ymin + 1;
    const int32_t bytesPerLine = VXGetLE16(h + 66);
    P.SetImageCount(1);
    int32_t dpiX = VXGetLE16(h + 12), dpiY = VXGetLE16(h + 14);
    if (dpiX == 0 || dpiY == 0) {
      dpiX = VXGetGlobalSettings()->DefaultDPIX();
      dpiY = VXGetGlobalSettings()->DefaultDPIY();
    }
    P.SetDpiX(dpiX);
    P.SetDpiY(dpiY);

    // The 256-colour palette at the end, only when the image holds one.
    std::vector<TRGB> palette(256, TRGB{0, 0, 0});
    if (planes == 1 && bits > 4 && Size >= kHeaderSize + 769) {
      uint8_t pal[768];
      Stream->SetPosition(start + Size - 768);
      if (Stream->Read(pal, 768) == 768)
        for (int i = 0; i < 256; ++i) palette[size_t(i)] = TRGB{pal[3 * i + 2], pal[3 * i + 1], pal[3 * i]};
      Stream->SetPosition(start + kHeaderSize);
    }
    P.SetBitsPerSample(bits);
    P.SetSamplesPerPixel(planes);
    P.SetWidth(W);
    P.SetHeight(H);
    P.SetOriginalWidth(W);
    P.SetOriginalHeight(H);
    P.SetPCX_Version(h[1]);
    P.SetPCX_Compression(encoding == 1 ? ioPCX_RLE : ioPCX_UNCOMPRESSED);
    // The colour map the file gives.
    std::vector<TRGB> map;
    if (planes == 1 && bits == 8) {
      map = palette;
    } else if (planes >= 2 && planes <= 4 && bits == 1) {
      // Bit planes (CGA and EGA layouts): one index of `planes` bits into the
      // header palette.
      for (int i = 0; i < (1 << planes); ++i) map.push_back(HeaderColour(h, i));
      P.SetBitsPerSample(planes);
      P.SetSamplesPerPixel(1);
    } else if (bits < 8) {
      for (int i = 0; i < (1 << bits) && i < 16; ++i) map.push_back(HeaderColour(h, i));
    }
    P.FreeColorMap();
    P.fColorMap = map;
    P.fColorMapCount = int32_t(map.size());
    if (Preview) return;

    const TVXPixelFormat pf = (bits == 1 && planes == 1) ? vx1g : vx24RGB;
    // Only these layouts are decoded; other planes leave the rows as allocated.
    const bool decodable = (planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) ||
                           (planes == 3 && bits == 8) || (planes >= 2 && planes <= 4 && bits == 1);
    // The data the header declares: the plane lines, never shorter than the
    // width needs (for a layout that is not decoded, a bit a pixel); run-length
    // data decodes to at most 63 bytes for every 2 it holds.
    const int64_t lineNeeded = (int64_t(W) * bits + 7) / 8;
    const int64_t coded =
        decodable ? std::max<int64_t>(bytesPerLine, lineNeeded) * planes * H : (int64_t(W) + 7) / 8 * H;
    if (!Bitmap || !VXDeclaredDataPlausible(Size - kHeaderSize, coded, encoding == 1 ? 32 : 1) ||
        !VXImageSizeAllowed(W, H, VXPixelFormatBitCount[pf]) || !Bitmap->Allocate(W, H, pf)) {
      aborting = true;
      return;
    }
    if (!decodable) return;
    // The data: what the image's size says, but never more than the stream holds.
    std::vector<uint8_t> data(size_t(Size - kHeaderSize));
    data.resize(size_t(std::max<int64_t>(0, Stream->Read(data.data(), int64_t(data.size())))));
    TLineSource src(data, encoding == 1);
    const size_t lineBytes = size_t(std::max(bytesPerLine, 0));
    const size_t needed = (size_t(W) * size_t(bits) + 7) / 8;
    const int rowPlanes = std::max(planes, 1);
    std::vector<uint8_t> lines(std::max(lineBytes, needed) * size_t(rowPlanes), 0);
    const size_t stride = std::max(lineBytes, needed);
    int32_t last = -1;
    for (int32_t y = 0; y < H && !aborting; ++y) {
      std::fill(lines.begin(), lines.end(), 0);
      for (int p = 0; p < planes; ++p) src.Fill(lines.data() + size_t(p) * stride, lineBytes);
      uint8_t* row = static_cast<uint8_t*>(Bitmap->GetScanLine(y));
      if (planes == 1 && bits == 8) {
        for (int32_t x = 0; x < W; ++x) std::memcpy(row + 3 * x, &palette[lines[size_t(x)]], 3);
      } else if (planes == 1 && bits == 4) {
        for (int32_t x = 0; x < W; ++x) {
          const uint8_t b = lines[size_t(x) / 2];
          const int i = (x & 1) ? (b & 0x0F) : (b >> 4);
          const TRGB c = i < int(map.size()) ? map[size_t(i)] : TRGB{0, 0, 0};
          std::memcpy(row + 3 * x, &c, 3);
        }
      } else if (planes == 1 && bits == 2) {
        for (int32_t x = 0; x < W; ++x) {
          const int i = (lines[size_t(x) / 4] >> (6 - 2 * (x & 3))) & 3;
          std::memcpy(row + 3 * x, &map[size_t(i)], 3);
        }
      } else if (planes == 1 && bits == 1) {
        std::memcpy(row, lines.data(), (size_t(W) + 7) / 8);
      } else if (planes == 3 && bits == 8) {
        for (int32_t x = 0; x < W; ++x) {
          row[3 * x + 2] = lines[size_t(x)];
          row[3 * x + 1] = lines[stride + size_t(x)];
          row[3 * x] = lines[2 * stride + size_t(x)];
        }
      } else if (bits == 1) {
        // Bit k of the index comes from plane k.
        for (int32_t x = 0; x < W; ++x) {
          int i = 0;
          for (int k = 0; k < planes; ++k)
            if (lines[size_t(k) * stride + size_t(x) / 8] & (0x80 >> (x & 7))) i |= 1 << k;
          std::memcpy(row + 3 * x, &map[size_t(i)], 3);
        }
      }
      VXReportProgress(Progress, int32_t((y + 1) * 100.0 / H), last);
    }
  } catch (const EVXException&) {
    aborting = true;
  }
}

int32_t EncodePCXLine(uint8_t* Dest, const uint8_t* Source, int32_t Count, int32_t Stride, int32_t Start) {
  int32_t out = 0;
  auto at = [&](int32_t i) { return Source[size_t(Start) + size_t(Stride) * size_t(i)]; };
  int32_t i = 0;
  while (i < Count) {
    const uint8_t b = at(i);
    int32_t run = 1;
    while (i + run < Count && run < 63 && at(i + run) == b) ++run;
    if (run >= 2 || b >= 0xC0) {
      Dest[out++] = uint8_t(0xC0 + run);
      Dest[out++] = b;
    } else {
      Dest[out++] = b;
    }
    i += run;
  }
  if (Count & 1) Dest[out++] = 0;
  return out;
}

void VXWritePCXStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
    aborting = true;
    return;
  }
  TIOParamsVals& P = IOParams;
  const int32_t bitsPerSample = P.BitsPerSample();
  const int32_t spp = std::min(P.SamplesPerPixel(), 3);
  // The depth written: 1, 4, 8 or 24.
  int depth;
  if (bitsPerSample == 1)
    depth = 1;
  else if (spp <= 1)
    depth = bitsPerSample == 4 ? 4 : 8;
  else
    depth = 24;

  std::unique_ptr<TVXBitmap> owned;
  TVXBitmap* src = Bitmap;
  TRGB two[2] = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
  if (depth == 1) {
    if (Bitmap->PixelFormat() != vx1g) {
      TRGB c1{}, c2{};
      owned = Bitmap->PixelFormat() == vx24RGB ? VXTwoColorsTo1Bit(Bitmap, c1, c2) : nullptr;
      if (owned) {
        two[0] = c1;
        two[1] = c2;
      } else {
        owned = std::make_unique<TVXBitmap>();
        owned->Assign(Bitmap);
        owned->SetPixelFormat(vx1g);
      }
      src = owned.get();
    }
  } else if (Bitmap->PixelFormat() != vx24RGB) {
    owned = std::make_unique<TVXBitmap>();
    owned->Assign(Bitmap);
    owned->SetPixelFormat(vx24RGB);
    src = owned.get();
  }
  const int32_t W = src->Width(), H = src->Height();
  if (W > 65536 || H > 65536) {
    aborting = true;
    return;
  }

  uint8_t h[kHeaderSize] = {};
  h[0] = 10;
  h[1] = uint8_t(P.PCX_Version());
  const bool rle = P.PCX_Compression() == ioPCX_RLE;
  h[2] = rle ? 1 : 0;
  VXPutLE16(h + 8, uint32_t(W - 1));
  VXPutLE16(h + 10, uint32_t(H - 1));
  VXPutLE16(h + 12, uint32_t(P.DpiX()));
  VXPutLE16(h + 14, uint32_t(P.DpiY()));
  VXPutLE16(h + 68, 1);  // palette info: colour
  int32_t bytesPerLine = 0, planes = 1;
  std::vector<TRGB> palette;
  std::unique_ptr<TVXQuantizer> quantizer;
  switch (depth) {
    case 1:
      h[3] = 1;
      bytesPerLine = (W + 7) / 8;
      for (int i = 0; i < 2; ++i) {
        h[16 + 3 * i] = two[i].r;
        h[16 + 3 * i + 1] = two[i].g;
        h[16 + 3 * i + 2] = two[i].b;
      }
      break;
    case 4:
      h[3] = 4;
      bytesPerLine = (W + 1) / 2;
      palette.assign(16, TRGB{0, 0, 0});
      quantizer = std::make_unique<TVXQuantizer>(src, palette.data(), 15, 16);
      for (int i = 0; i < 16; ++i) {
        h[16 + 3 * i] = palette[size_t(i)].r;
        h[16 + 3 * i + 1] = palette[size_t(i)].g;
        h[16 + 3 * i + 2] = palette[size_t(i)].b;
      }
      break;
    case 8:
      h[3] = 8;
      bytesPerLine = W;
      palette.assign(256, TRGB{0, 0, 0});
      quantizer = std::make_unique<TVXQuantizer>(src, palette.data(), 255, 256);
      break;
    default:
      h[3] = 8;
      planes = 3;
      bytesPerLine = W;
      VXPutLE16(h + 68, 0);
      break;
  }
  const int32_t rawBytes = bytesPerLine;
  bytesPerLine += bytesPerLine & 1;
  h[65] = uint8_t(planes);
  VXPutLE16(h + 66, uint32_t(bytesPerLine));

  TVXBufferedWriteStream out(Stream, 65536);
  auto put = [&](const void* d, int64_t n) {
    if (out.Write(d, n) != n) aborting = true;
  };
  put(h, kHeaderSize);
  std::vector<uint8_t> line(size_t(bytesPerLine) * 3 + 2, 0);
  std::vector<uint8_t> enc(size_t(bytesPerLine) * 2 + 2);
  int32_t last = -1;
  for (int32_t y = 0; y < H && !aborting; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(src->GetScanLine(y));
    std::fill(line.begin(), line.end(), 0);
    switch (depth) {
      case 1:
        std::memcpy(line.data(), row, size_t(rawBytes));
        if (W & 7) line[size_t(rawBytes) - 1] &= uint8_t(0xFF00 >> (W & 7));
        break;
      case 4:
        for (int32_t x = 0; x < W; ++x) {
          const int i = quantizer->GetRGBIndex(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]}) & 15;
          line[size_t(x) / 2] |= uint8_t((x & 1) ? i : i << 4);
        }
        break;
      case 8:
        for (int32_t x = 0; x < W; ++x)
          line[size_t(x)] = uint8_t(quantizer->GetRGBIndex(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]}));
        break;
      default:
        for (int32_t x = 0; x < W; ++x) {
          line[size_t(x)] = row[3 * x + 2];
          line[size_t(bytesPerLine) + size_t(x)] = row[3 * x + 1];
          line[2 * size_t(bytesPerLine) + size_t(x)] = row[3 * x];
        }
        break;
    }
    for (int p = 0; p < planes; ++p) {
      const uint8_t* plane = line.data() + size_t(p) * bytesPerLine;
      if (rle) {
        const int32_t n = EncodePCXLine(enc.data(), plane, rawBytes, 1, 0);
        put(enc.data(), n);
      } else {
        put(plane, bytesPerLine);
      }
    }
    VXReportProgress(Progress, int32_t((y + 1) * 100.0 / H), last);
  }
  if (depth == 8 && !aborting) {
    uint8_t pal[769];
    pal[0] = 12;
    for (int i = 0; i < 256; ++i) {
      pal[1 + 3 * i] = palette[size_t(i)].r;
      pal[2 + 3 * i] = palette[size_t(i)].g;
      pal[3 + 3 * i] = palette[size_t(i)].b;
    }
    put(pal, sizeof pal);
  }
  try {
    out.Flush();
  } catch (const EVXException&) {
    aborting = true;
  }
}

// ---- DCX ----

namespace {

// The page offsets of a DCX stream (position restored); false when the table
// cannot be read.
bool ReadDCXTable(TStream* Stream, std::vector<uint32_t>& Offsets) {
  Offsets.clear();
  const int64_t pos = Stream->Position();
  uint8_t magic[4];
  bool ok = Stream->Read(magic, 4) == 4;
  for (int i = 0; ok && i < 1024; ++i) {
    uint8_t e[4];
    if (Stream->Read(e, 4) != 4) {
      ok = false;
      break;
    }
    const uint32_t off = VXGetLE32(e);
    if (off == 0) break;
    Offsets.push_back(off);
  }
  Stream->SetPosition(pos);
  return ok;
}

// The length of page i: up to the nearest greater offset of another page, or
// to the end of the stream.
int64_t PageLength(const std::vector<uint32_t>& Offsets, size_t i, int64_t StreamSize) {
  int64_t end = StreamSize;
  for (uint32_t o : Offsets)
    if (o > Offsets[i] && int64_t(o) < end) end = o;
  return std::max<int64_t>(0, end - int64_t(Offsets[i]));
}

}  // namespace

int32_t VXGetDCXStreamImageCount(TStream* Stream) {
  std::vector<uint32_t> offsets;
  ReadDCXTable(Stream, offsets);
  return int32_t(offsets.size());
}

void VXReadDCXStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool Preview) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  std::vector<uint32_t> offsets;
  if (!VXIsDCXStream(Stream) || !ReadDCXTable(Stream, offsets) || offsets.empty()) {
    aborting = true;
    return;
  }
  const int64_t base = Stream->Position();
  const int32_t count = int32_t(offsets.size());
  const int32_t index = std::clamp(IOParams.DCX_ImageIndex(), 0, count - 1);
  IOParams.SetDCX_ImageIndex(index);
  const int64_t size = Stream->Size() - base;
  const int64_t length = PageLength(offsets, size_t(index), size);
  Stream->SetPosition(base + offsets[size_t(index)]);
  VXReadPCXStream(Stream, Bitmap, IOParams, Progress, Preview, length);
  IOParams.SetImageCount(count);
  IOParams.SetDCX_ImageIndex(index);
}

void VXWriteDCXStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  std::vector<uint32_t> offsets;
  std::vector<uint8_t> old;
  const int64_t size = Stream->Size();
  if (size > 0) {
    Stream->SetPosition(0);
    if (!VXIsDCXStream(Stream) || !ReadDCXTable(Stream, offsets)) {
      aborting = true;
      return;
    }
    old.resize(size_t(size));
    Stream->SetPosition(0);
    old.resize(size_t(std::max<int64_t>(0, Stream->Read(old.data(), size))));
  }
  const int32_t count = int32_t(offsets.size());
  const int32_t index = IOParams.DCX_ImageIndex();
  if (index < 0 || index > count || count + 1 > kDCXMaxPages) {
    aborting = true;
    return;
  }
  // The new file in memory: magic, a table of count + 2 entries, the pages.
  TMemoryStream file;
  std::vector<uint8_t> head(size_t(4 * (count + 3)), 0);
  VXPutLE32(head.data(), kDCXMagic);
  file.WriteBuffer(head.data(), int64_t(head.size()));
  std::vector<uint32_t> table;
  auto writeNew = [&]() {
    table.push_back(uint32_t(file.Position()));
    VXWritePCXStream(&file, Bitmap, IOParams, Progress);
  };
  for (int32_t i = 0; i < count && !aborting; ++i) {
    if (i == index) writeNew();
    table.push_back(uint32_t(file.Position()));
    const int64_t len = PageLength(offsets, size_t(i), int64_t(old.size()));
    if (int64_t(offsets[size_t(i)]) + len <= int64_t(old.size()))
      file.WriteBuffer(old.data() + offsets[size_t(i)], len);
  }
  if (index == count && !aborting) writeNew();
  if (aborting) return;
  for (size_t i = 0; i < table.size(); ++i) VXPutLE32(head.data() + 4 + 4 * i, table[i]);
  file.SetPosition(0);
  file.WriteBuffer(head.data(), int64_t(head.size()));
  Stream->SetSize(0);
  Stream->SetPosition(0);
  if (Stream->Write(file.Memory(), file.Size()) != file.Size()) aborting = true;
  IOParams.SetImageCount(count + 1);
}
