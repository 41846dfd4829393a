// Icon writing: one picture at several sizes and depths, or one entry per
// bitmap of a list. Every entry is a 40-byte bitmap info header, the palette
// for 1, 4 and 8 bits, the XOR rows and the AND mask, both bottom-up.
//
// An entry is always written from a bitmap in the entry's own format: a
// private copy is converted (or quantised) first, so no row is read as if it
// had another layout.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "codecs/ico.h"
#include "core/bitmap.h"
#include "core/colorreduce.h"
#include "core/quantizer.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "io/params.h"
#include "resample/resample.h"

namespace {

constexpr int32_t kHeaderSize = 6, kDirEntrySize = 16, kInfoHeaderSize = 40;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

int64_t XorRowLen(int32_t Width, int32_t Bits) { return ((int64_t(Width) * Bits + 31) / 32) * 4; }
int64_t AndRowLen(int32_t Width) { return ((int64_t(Width) + 31) / 32) * 4; }

// Pixels per metre of a resolution in dots per inch.
uint32_t PixelsPerMetre(int32_t Dpi) { return uint32_t(int64_t(std::nearbyint(Dpi / 2.54 * 100))); }

// What the directory entry of a finished image holds.
struct TWrittenEntry {
  int32_t Width = 0, Height = 0, Bits = 0;
  uint32_t Size = 0, Offset = 0;
};

// The depth of an entry from the parameters' samples: (3, 8) 24 bits,
// (4, 8) 32 bits, (1, 1) 1 bit, (1, 4) 4 bits, anything else 8 bits.
int32_t BitsFromParams(const TIOParamsVals& P) {
  const int32_t spp = P.SamplesPerPixel(), bps = P.BitsPerSample();
  if (spp == 3 && bps == 8) return 24;
  if (spp == 4 && bps == 8) return 32;
  if (spp == 1 && bps == 1) return 1;
  if (spp == 1 && bps == 4) return 4;
  return 8;
}

// True when every index of a vx8p bitmap fits in a nibble.
bool IndicesFitNibbles(TVXBitmap* Bitmap) {
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
    for (int32_t x = 0; x < Bitmap->Width(); ++x)
      if (row[x] > 15) return false;
  }
  return true;
}

class TIconWriter {
 public:
  TIconWriter(TStream* Stream, TProgressRec& Progress, bool& Aborting)
      : s(Stream), progress(Progress), aborting(Aborting), base(Stream->Position()) {}

  // Header and room for Count directory entries.
  void Begin(int32_t Count);
  // Writes one image of Bitmap (whose alpha channel gives the AND mask) at
  // depth Bits. Multi selects the list writer's palettes: every quantised
  // colour in the palette, none kept for transparency.
  void WriteImage(TVXBitmap* Bitmap, int32_t Bits, TIOParamsVals& P, bool Multi);
  // The directory of the finished images, then back to the end.
  void Finish();
  // Progress before entry Index of Count; true when the writer must stop.
  bool Report(int32_t Index, int32_t Count);

 private:
  TStream* s;
  TProgressRec& progress;
  bool& aborting;
  int64_t base;  // position of the directory header
  std::vector<TWrittenEntry> done;

  void Write(const void* Buffer, int64_t Count) { VXWriteChecked(s, aborting, Buffer, Count); }
  void WriteInfoHeader(int32_t Width, int32_t Height, int32_t Bits, uint32_t ImageSize, const TIOParamsVals& P);
  void WritePalette(const TRGB* Colors, int32_t Count, int32_t Entries);
  void WriteTrueColour(TVXBitmap* Bitmap, TVXBitmap* Alpha, int32_t Bits, uint32_t ImageSize, const TIOParamsVals& P);
  void WriteIndexed(const std::vector<uint8_t>& Indices, int32_t Width, int32_t Height, int32_t Bits,
                    const TRGB* Palette, int32_t PaletteCount, const TIOParamsVals& P);
  void WriteMask(TVXBitmap* Alpha, int32_t Width, int32_t Height);
};

void TIconWriter::Begin(int32_t Count) {
  uint8_t h[kHeaderSize] = {};
  Put16(h + 2, 1);
  Put16(h + 4, uint32_t(Count));
  Write(h, kHeaderSize);
  const std::vector<uint8_t> room(size_t(Count) * kDirEntrySize, 0);
  if (!room.empty()) Write(room.data(), int64_t(room.size()));
}

bool TIconWriter::Report(int32_t Index, int32_t Count) {
  if (progress.fOnProgress) progress.fOnProgress(progress.Sender, int32_t(Index * (100.0 / Count)));
  return aborting;
}

void TIconWriter::WriteInfoHeader(int32_t Width, int32_t Height, int32_t Bits, uint32_t ImageSize,
                                  const TIOParamsVals& P) {
  uint8_t h[kInfoHeaderSize] = {};
  Put32(h, kInfoHeaderSize);
  Put32(h + 4, uint32_t(Width));
  Put32(h + 8, uint32_t(Height) * 2);
  Put16(h + 12, 1);
  Put16(h + 14, uint32_t(Bits));
  Put32(h + 20, ImageSize);
  Put32(h + 24, PixelsPerMetre(P.DpiX()));
  Put32(h + 28, PixelsPerMetre(P.DpiY()));
  Write(h, kInfoHeaderSize);
}

void TIconWriter::WritePalette(const TRGB* Colors, int32_t Count, int32_t Entries) {
  std::vector<uint8_t> pal(size_t(Entries) * 4, 0);
  for (int32_t i = 0; i < std::min(Count, Entries); ++i) {
    pal[4 * i] = Colors[i].b;
    pal[4 * i + 1] = Colors[i].g;
    pal[4 * i + 2] = Colors[i].r;
  }
  Write(pal.data(), int64_t(pal.size()));
}

void TIconWriter::WriteMask(TVXBitmap* Alpha, int32_t Width, int32_t Height) {
  const int64_t len = AndRowLen(Width);
  std::vector<uint8_t> row(size_t(len), 0);
  for (int32_t k = 0; k < Height && !aborting; ++k) {
    if (Alpha) {
      std::fill(row.begin(), row.end(), 0);
      const uint8_t* a = static_cast<const uint8_t*>(Alpha->ScanLine(Height - 1 - k));
      for (int32_t x = 0; x < Width; ++x)
        if (a[x] != 255) row[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    }
    Write(row.data(), len);
  }
}

void TIconWriter::WriteTrueColour(TVXBitmap* Bitmap, TVXBitmap* Alpha, int32_t Bits, uint32_t ImageSize,
                                  const TIOParamsVals& P) {
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  WriteInfoHeader(w, h, Bits, ImageSize, P);
  const int64_t len = XorRowLen(w, Bits);
  std::vector<uint8_t> row(size_t(len), 0);
  for (int32_t k = 0; k < h && !aborting; ++k) {
    const int32_t y = h - 1 - k;
    const uint8_t* src = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
    if (Bits == 24) {
      std::memcpy(row.data(), src, size_t(w) * 3);
    } else {
      const uint8_t* a = Alpha ? static_cast<const uint8_t*>(Alpha->ScanLine(y)) : nullptr;
      for (int32_t x = 0; x < w; ++x) {
        std::memcpy(&row[size_t(x) * 4], src + size_t(x) * 3, 3);
        row[size_t(x) * 4 + 3] = a ? a[x] : 255;
      }
    }
    Write(row.data(), len);
  }
}

void TIconWriter::WriteIndexed(const std::vector<uint8_t>& Indices, int32_t Width, int32_t Height, int32_t Bits,
                               const TRGB* Palette, int32_t PaletteCount, const TIOParamsVals& P) {
  const int64_t len = XorRowLen(Width, Bits);
  WriteInfoHeader(Width, Height, Bits, uint32_t(int64_t(Width) * Height / 8 + Height * len), P);
  WritePalette(Palette, PaletteCount, 1 << Bits);
  std::vector<uint8_t> row(size_t(len), 0);
  for (int32_t k = 0; k < Height && !aborting; ++k) {
    std::fill(row.begin(), row.end(), 0);
    const uint8_t* src = &Indices[size_t(Height - 1 - k) * size_t(Width)];
    for (int32_t x = 0; x < Width; ++x) {
      const uint8_t v = src[x];
      if (Bits == 8)
        row[size_t(x)] = v;
      else if (Bits == 4)
        row[size_t(x >> 1)] |= uint8_t((x & 1) ? (v & 15) : (v & 15) << 4);
      else if (v)
        row[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    }
    Write(row.data(), len);
  }
}

void TIconWriter::WriteImage(TVXBitmap* Bitmap, int32_t Bits, TIOParamsVals& P, bool Multi) {
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  TVXBitmap* alpha = Bitmap->AlphaChannelOpt();
  const int64_t start = s->Position();
  TVXBitmap converted;  // the picture in the format the entry needs, when Bitmap is not
  const auto As = [&](TVXPixelFormat Format) -> TVXBitmap* {
    if (Bitmap->PixelFormat() == Format) return Bitmap;
    converted.Assign(Bitmap);
    converted.SetPixelFormat(Format);
    return &converted;
  };
  std::vector<uint8_t> indices;
  if (Bits == 24 || Bits == 32) {
    const uint32_t imageSize = (Multi && Bits == 24) ? uint32_t(h * XorRowLen(w, 24)) : 0;
    WriteTrueColour(As(vx24RGB), alpha, Bits, imageSize, P);
  } else if (Bits == 1) {
    // Two colours map exactly to black and white; more are thresholded.
    TVXBitmap* bw = Bitmap;
    std::unique_ptr<TVXBitmap> two;
    if (Bitmap->PixelFormat() != vx1g) {
      TRGB c1{}, c2{};
      two = VXTwoColorsTo1Bit(Bitmap, c1, c2);
      bw = two ? two.get() : As(vx1g);
    }
    indices.assign(size_t(w) * size_t(h), 0);
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(bw->ScanLine(y));
      for (int32_t x = 0; x < w; ++x) indices[size_t(y) * w + x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
    const TRGB blackWhite[2] = {{0, 0, 0}, {255, 255, 255}};
    WriteIndexed(indices, w, h, 1, blackWhite, 2, P);
  } else {
    const int32_t entries = 1 << Bits;  // 16 or 256
    indices.assign(size_t(w) * size_t(h), 0);
    if (Bitmap->PixelFormat() == vx8p && (Bits == 8 || IndicesFitNibbles(Bitmap))) {
      std::vector<TRGB> pal(static_cast<size_t>(entries));
      for (int32_t i = 0; i < entries; ++i) pal[size_t(i)] = Bitmap->Palette(i);
      for (int32_t y = 0; y < h; ++y)
        std::memcpy(&indices[size_t(y) * w], Bitmap->ScanLine(y), size_t(w));
      WriteIndexed(indices, w, h, Bits, pal.data(), entries, P);
    } else {
      // Quantised: the single-picture writer keeps palette entry 0 (black)
      // for transparent pixels; the list writer uses every entry.
      TVXBitmap* rgb = As(vx24RGB);
      P.FreeColorMap();
      P.fColorMap.assign(size_t(entries), TRGB{0, 0, 0});
      P.fColorMapCount = entries;
      const int32_t colours = Multi ? entries : entries - 1;
      TVXQuantizer q(rgb, P.fColorMap.data(), entries - 1, colours);
      std::vector<TRGB> pal(size_t(entries), TRGB{0, 0, 0});
      const int32_t shift = Multi ? 0 : 1;
      for (int32_t i = 0; i + shift < entries; ++i) pal[size_t(i + shift)] = P.fColorMap[size_t(i)];
      for (int32_t y = 0; y < h; ++y) {
        const TRGB* row = static_cast<const TRGB*>(rgb->ScanLine(y));
        const uint8_t* a = (!Multi && alpha) ? static_cast<const uint8_t*>(alpha->ScanLine(y)) : nullptr;
        for (int32_t x = 0; x < w; ++x)
          indices[size_t(y) * w + x] =
              (a && a[x] < 255) ? 0 : uint8_t(std::clamp(q.GetRGBIndex(row[x]) + shift, 0, entries - 1));
      }
      WriteIndexed(indices, w, h, Bits, pal.data(), entries, P);
    }
  }
  WriteMask(alpha, w, h);
  if (aborting) return;
  TWrittenEntry e;
  e.Width = w;
  e.Height = h;
  e.Bits = Bits;
  e.Size = uint32_t(s->Position() - start);
  e.Offset = uint32_t(start - base);
  done.push_back(e);
}

void TIconWriter::Finish() {
  const int64_t end = s->Position();
  s->SetPosition(base + 4);
  uint8_t count[2];
  Put16(count, uint32_t(done.size()));
  Write(count, 2);
  for (const TWrittenEntry& e : done) {
    uint8_t d[kDirEntrySize] = {};
    d[0] = uint8_t(e.Width);
    d[1] = uint8_t(e.Height);
    if (e.Bits >= 24) {
      Put16(d + 4, 1);
      Put16(d + 6, uint32_t(e.Bits));
    } else {
      d[2] = uint8_t(std::min(1 << e.Bits, 255));
    }
    Put32(d + 8, e.Size);
    Put32(d + 12, e.Offset);
    Write(d, kDirEntrySize);
  }
  s->SetPosition(end);
}

}  // namespace

void VXWriteICOStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                      std::span<const TIOIconSize> Sizes, std::span<const int32_t> BitCounts) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  // No picture, or a side below one pixel: nothing is written.
  if (!Bitmap || Bitmap->IsEmpty()) {
    aborting = true;
    return;
  }
  for (const TIOIconSize& size : Sizes)
    if (size.cx < 1 || size.cy < 1) {
      aborting = true;
      return;
    }
  const int32_t count = int32_t(Sizes.size());
  TIconWriter writer(Stream, Progress, aborting);
  writer.Begin(count);
  IOParams.FreeColorMap();
  if (Bitmap->PixelFormat() != vx24RGB) {
    IOParams.SetBitsPerSample(1);
    IOParams.SetSamplesPerPixel(1);
  }
  const TResampleFilter filter =
      Bitmap->PixelFormat() == vx1g ? rfNone : VXGetGlobalSettings()->DefaultResampleFilter();
  for (int32_t i = 0; i < count && !aborting; ++i) {
    if (writer.Report(i, count)) break;
    TVXBitmap picture;
    picture.Assign(Bitmap);
    if (picture.Width() != Sizes[i].cx || picture.Height() != Sizes[i].cy)
      VXResampleToSizeInPlace(&picture, Sizes[i].cx, Sizes[i].cy, filter, false);
    const int32_t requested = size_t(i) < BitCounts.size() ? BitCounts[i] : 0;
    int32_t bits = 24;
    switch (requested) {
      case 1: case 4: case 8: case 32: bits = requested; break;
      case 0: bits = BitsFromParams(IOParams); break;
      default: break;
    }
    writer.WriteImage(&picture, bits, IOParams, false);
  }
  writer.Finish();
}

void VXWriteMultiICOStream(TStream* Stream, std::span<const TVXICOEntry> Entries, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  for (const TVXICOEntry& e : Entries)
    if (!e.Bitmap || e.Bitmap->IsEmpty() || !e.Params) {
      aborting = true;
      return;
    }
  const int32_t count = int32_t(Entries.size());
  TIconWriter writer(Stream, Progress, aborting);
  writer.Begin(count);
  for (int32_t i = 0; i < count && !aborting; ++i) {
    if (writer.Report(i, count)) break;
    TVXBitmap* bmp = Entries[i].Bitmap;
    TIOParamsVals& params = *Entries[i].Params;
    if (bmp->PixelFormat() != vx24RGB && bmp->PixelFormat() != vx8p) {
      params.SetBitsPerSample(1);
      params.SetSamplesPerPixel(1);
      params.FreeColorMap();
    }
    writer.WriteImage(bmp, BitsFromParams(params), params, true);
  }
  writer.Finish();
}
