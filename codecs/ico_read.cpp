// Icon and cursor reading: the directory, then one entry, either a PNG image
// (icons) or a bitmap info header with palette, XOR rows and AND mask.
//
// The directory, the entry's offset and size and the rows an entry needs are
// checked against what the stream holds before anything is allocated.
#include "codecs/ico.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "codecs/bmp.h"
#include "codecs/png.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"

namespace {

uint16_t LE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

constexpr uint8_t kPNGSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr int32_t kDirEntrySize = 16;

// The fields of the directory entry that is read.
struct TEntry {
  int32_t Width = 0, Height = 0;  // as stored (0 means 256)
  int32_t ColorCount = 0;
  int32_t Field1 = 0, Field2 = 0;  // icons: planes, bits per pixel; cursors: hotspot
  uint32_t DataSize = 0, Offset = 0;
};

class TIconReader {
 public:
  TIconReader(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, bool& Aborting,
              bool Cursor)
      : s(Stream), bmp(Bitmap), P(Params), progress(Progress), aborting(Aborting), cursor(Cursor) {}

  void Run(bool Preview, std::unique_ptr<TVXMask>& AlphaMask, bool IgnoreAlpha, bool Check256);

 private:
  TStream* s;
  TVXBitmap* bmp;
  TIOParamsVals& P;
  TProgressRec& progress;
  bool& aborting;
  bool cursor;
  int64_t start = 0, streamSize = 0;

  bool ReadExact(void* Buffer, int64_t Count) { return Count <= 0 || s->Read(Buffer, Count) == Count; }
  int64_t Remaining() { return streamSize - s->Position(); }
  // True (after reporting) when the reader must stop.
  bool RowDone(int32_t Done) {
    if (progress.fOnProgress) progress.fOnProgress(progress.Sender, int32_t(Done * progress.per1));
    return aborting;
  }
  // Reads the directory; false when the reader is done (index outside it, or damage).
  bool ReadDirectory(TEntry& Entry, bool& AllWidthsZero);
};

bool TIconReader::ReadDirectory(TEntry& Entry, bool& AllWidthsZero) {
  uint8_t h[6];
  if (!ReadExact(h, 6)) {
    aborting = true;
    return false;
  }
  const int32_t count = LE16(h + 4);
  const int32_t index = cursor ? P.CUR_ImageIndex() : P.ICO_ImageIndex();
  // A directory without entries holds no image: that is no icon at all.
  if (count == 0) {
    aborting = true;
    return false;
  }
  if (index < 0 || index >= count) return false;
  if (int64_t(count) * kDirEntrySize > Remaining()) {
    aborting = true;
    return false;
  }
  P.SetImageCount(count);
  std::vector<uint8_t> dir(size_t(count) * kDirEntrySize);
  if (!ReadExact(dir.data(), int64_t(dir.size()))) {
    aborting = true;
    return false;
  }
  for (auto& size : P.ICO_Sizes) size = TIOIconSize{};
  for (auto& bitCount : P.ICO_BitCount) bitCount = 0;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* e = &dir[size_t(i) * kDirEntrySize];
    if (e[0] != 0) AllWidthsZero = false;
    if (i >= 16) continue;
    P.ICO_Sizes[i] = TIOIconSize{e[0] ? e[0] : 256, e[1] ? e[1] : 256};
    const int32_t entryBits = LE16(e + 6);
    P.ICO_BitCount[i] = entryBits != 0 ? entryBits : e[2] != 0 ? VXBitsForColorCount(e[2]) : 24;
  }
  const uint8_t* e = &dir[size_t(index) * kDirEntrySize];
  Entry.Width = e[0];
  Entry.Height = e[1];
  Entry.ColorCount = e[2];
  Entry.Field1 = LE16(e + 4);
  Entry.Field2 = LE16(e + 6);
  Entry.DataSize = LE32(e + 8);
  Entry.Offset = LE32(e + 12);
  // The entry's data must lie in the stream: room for an info header from the
  // offset, and its stated size.
  const int64_t avail = streamSize - start;
  if (int64_t(Entry.Offset) + 40 >= avail || int64_t(Entry.Offset) + Entry.DataSize > avail) {
    aborting = true;
    return false;
  }
  s->SetPosition(start + Entry.Offset);
  return true;
}

void TIconReader::Run(bool Preview, std::unique_ptr<TVXMask>& AlphaMask, bool IgnoreAlpha, bool Check256) {
  start = s->Position();
  streamSize = s->Size();
  const TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  TEntry entry;
  bool allWidthsZero = true;
  const bool resource = P.IsResource();
  if (resource) {
    if (cursor) {
      uint8_t hot[4];
      if (!ReadExact(hot, 4)) {
        aborting = true;
        return;
      }
      P.SetCUR_XHotSpot(LE16(hot));
      P.SetCUR_YHotSpot(LE16(hot + 2));
    }
  } else {
    if (!cursor) {
      uint8_t magic[2];
      const bool bm = s->Read(magic, 2) == 2 && magic[0] == 'B' && magic[1] == 'M';
      s->SetPosition(start);
      if (bm) {
        VXReadBMPStream(s, bmp, int32_t(std::min<int64_t>(streamSize, INT32_MAX)), P, progress, Preview, false,
                        AlphaMask, IgnoreAlpha);
        return;
      }
    }
    if (!ReadDirectory(entry, allWidthsZero)) return;
    if (cursor) {
      P.SetCUR_XHotSpot(entry.Field1);
      P.SetCUR_YHotSpot(entry.Field2);
    }
  }

  uint8_t h[40];
  if (!ReadExact(h, 40)) {
    aborting = true;
    return;
  }
  if (!cursor && !resource && std::memcmp(h, kPNGSignature, 8) == 0) {
    const int32_t count = P.ImageCount();
    s->Seek(-40, soCurrent);
    VXReadPNGStream(s, bmp, P, progress, Preview);
    P.SetImageCount(count);
    return;
  }
  const int32_t headerWidth = int32_t(LE32(h + 4));
  const int32_t headerHeight = int32_t(LE32(h + 8)) / 2;
  const int32_t headerBits = LE16(h + 14);
  if (resource) {
    P.SetImageIndex(0);
    P.ICO_Sizes[0] = TIOIconSize{headerWidth, headerHeight};
    entry.Width = headerWidth;
    entry.Height = headerHeight;
  }
  const int32_t ppmX = int32_t(LE32(h + 24)), ppmY = int32_t(LE32(h + 28));
  P.SetDpiX(ppmX >= 1 ? int32_t(std::nearbyint(double(ppmX) / 100.0 * 2.54)) : settings->DefaultDPIX());
  P.SetDpiY(ppmY >= 1 ? int32_t(std::nearbyint(double(ppmY) / 100.0 * 2.54)) : settings->DefaultDPIY());

  const int32_t entryBits = cursor ? 0 : entry.Field2;
  int32_t bits = headerBits;
  if (bits == 0) bits = entryBits;
  if (bits == 0 && entry.ColorCount != 0) bits = VXBitsForColorCount(entry.ColorCount);
  if (bits <= 0) {
    aborting = true;
    return;
  }
  // Colours of the palette: 2^bits; a cursor's own count when it states one.
  int64_t colors = bits < 31 ? int64_t(1) << bits : INT64_MAX;
  if (cursor && entry.ColorCount != 0) colors = entry.ColorCount == 255 ? 256 : entry.ColorCount;
  if (cursor) {
    P.SetBitsPerSample(bits);
    P.SetSamplesPerPixel(1);
  } else if (bits <= 8) {
    P.SetBitsPerSample(bits);
    P.SetSamplesPerPixel(1);
  } else {
    P.SetBitsPerSample(8);
    P.SetSamplesPerPixel(bits == 32 ? 4 : 3);
  }

  int32_t width, height;
  if (cursor && !resource) {
    width = entry.Width ? entry.Width : 256;
    height = entry.Height ? entry.Height : 256;
  } else {
    width = entry.Width ? entry.Width : headerWidth;
    height = entry.Height ? entry.Height : headerHeight;
  }
  if (entry.Width != headerWidth && entry.Width != 0 && headerWidth != 0 && headerWidth < 2048 &&
      headerHeight * 2 < 2048) {
    width = headerWidth;
    height = headerHeight;
  }
  if (width <= 0 || height <= 0) {
    aborting = true;
    return;
  }
  const int64_t xorRow = ((int64_t(width) * bits + 31) / 32) * 4;
  const int64_t andRow = ((int64_t(width) + 31) / 32) * 4;

  P.FreeColorMap();
  const bool withPalette = cursor ? colors <= 256 : bits <= 8;
  if (withPalette) {
    const int32_t n = int32_t(colors);
    std::vector<uint8_t> raw(size_t(n) * 4);
    if (!ReadExact(raw.data(), int64_t(raw.size()))) {
      aborting = true;
      return;
    }
    P.fColorMap.resize(size_t(n));
    for (int32_t i = 0; i < n; ++i) P.fColorMap[i] = TRGB{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2]};
    P.fColorMapCount = n;
  }
  P.SetWidth(width);
  P.SetHeight(height);
  P.SetOriginalWidth(width);
  P.SetOriginalHeight(height);
  if (Preview) return;

  // Pixel format.
  TVXPixelFormat format = vx24RGB;
  if (cursor) {
    format = bits == 1 ? vx1g : vx24RGB;
  } else if (P.IsNativePixelFormat) {
    if (bits == 1)
      format = vx1g;
    else if (bits == 4 || bits == 8)
      format = vx8p;
    else if (bits != 24 && bits != 32)
      throw EVXException("Unsupported pixel format");
  } else if (bits == 1) {
    format = vx1g;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
    // No rule decodes this depth.
    aborting = true;
    return;
  }
  // The rows the entry needs (palette images always carry their AND mask).
  const int64_t left = Remaining();
  const bool needsAnd = bits <= 8;
  if (int64_t(height) > left / (xorRow + (needsAnd ? andRow : 0))) {
    aborting = true;
    return;
  }
  if (!bmp->Allocate(width, height, format)) {
    aborting = true;
    return;
  }
  TRGB lut[256] = {};
  for (int32_t i = 0; i < P.fColorMapCount && i < 256; ++i) lut[i] = P.fColorMap[i];
  if (format == vx8p) {
    for (int32_t i = 0; i < 256; ++i) bmp->SetPalette(i, lut[i]);
    bmp->SetPaletteUsed(1 << bits);
  }
  TVXMask* mask = nullptr;
  if (!IgnoreAlpha) {
    if (!AlphaMask) AlphaMask = std::make_unique<TVXMask>();
    AlphaMask->AllocateBits(width, height, 8);
    AlphaMask->Fill(255);
    AlphaMask->SetFull(false);
    mask = AlphaMask.get();
  }
  const TRGB background = cursor ? P.CUR_Background() : P.ICO_Background();
  progress.per1 = 100.0 / height;
  progress.val = 0;
  auto maskRow = [&](int32_t y) { return mask ? mask->GetScanLine(y) : nullptr; };
  auto andBit = [](const uint8_t* andRowData, int32_t x) { return (andRowData[x >> 3] & (0x80 >> (x & 7))) != 0; };
  // Reads the AND mask (rows bottom-up) when the stream holds all of it.
  std::vector<uint8_t> andData;
  auto readAnd = [&]() {
    if (int64_t(height) > Remaining() / andRow) return false;
    andData.resize(size_t(andRow) * height);
    return ReadExact(andData.data(), int64_t(andData.size()));
  };
  auto andRowOf = [&](int32_t y) { return &andData[size_t(height - 1 - y) * andRow]; };
  // Marks masked pixels transparent in the mask and, where they are set,
  // opaque the others (the rule for 24 and 32 bits).
  auto applyAnd = [&](bool OpaqueElsewhere) {
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* a = andRowOf(y);
      uint8_t* m = maskRow(y);
      if (!m) continue;
      for (int32_t x = 0; x < width; ++x)
        if (andBit(a, x))
          m[x] = 0;
        else if (OpaqueElsewhere)
          m[x] = 255;
    }
  };

  if (bits == 1) {
    std::vector<uint8_t> buf(static_cast<size_t>(xorRow));
    for (int32_t k = 0; k < height; ++k) {
      if (!ReadExact(buf.data(), xorRow)) {
        aborting = true;
        return;
      }
      std::memcpy(bmp->GetScanLine(height - 1 - k), buf.data(), size_t(std::min<int64_t>(xorRow, bmp->RowLen())));
      if (RowDone(k + 1)) return;
    }
    if (!readAnd()) {
      aborting = true;
      return;
    }
    if (mask) applyAnd(false);
    const bool whiteBackground = background == TRGB{255, 255, 255};
    if (whiteBackground) {
      for (int32_t y = 0; y < height; ++y) {
        const uint8_t* a = andRowOf(y);
        uint8_t* row = static_cast<uint8_t*>(bmp->GetScanLine(y));
        for (int64_t i = 0; i < std::min<int64_t>(andRow, bmp->RowLen()); ++i) row[i] ^= a[i];
      }
    }
  } else if (bits == 4 || bits == 8) {
    std::vector<uint8_t> xorData(size_t(xorRow) * height);
    if (!ReadExact(xorData.data(), int64_t(xorData.size())) || !readAnd()) {
      aborting = true;
      return;
    }
    for (int32_t k = 0; k < height; ++k) {
      const int32_t y = height - 1 - k;
      const uint8_t* src = &xorData[size_t(k) * xorRow];
      const uint8_t* a = andRowOf(y);
      uint8_t* m = maskRow(y);
      uint8_t* row = static_cast<uint8_t*>(bmp->GetScanLine(y));
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t idx = bits == 8 ? src[x] : (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
        const bool masked = andBit(a, x);
        if (masked && m) m[x] = 0;
        if (format == vx8p)
          row[x] = idx;
        else
          std::memcpy(row + 3 * x, masked ? &background : &lut[idx], 3);
      }
      if (RowDone(k + 1)) return;
    }
  } else {
    std::vector<uint8_t> buf(static_cast<size_t>(xorRow));
    bool alphaSeen = false;
    for (int32_t k = 0; k < height; ++k) {
      if (!ReadExact(buf.data(), xorRow)) {
        aborting = true;
        return;
      }
      const int32_t y = height - 1 - k;
      uint8_t* row = static_cast<uint8_t*>(bmp->GetScanLine(y));
      if (bits == 24) {
        std::memcpy(row, buf.data(), size_t(width) * 3);
      } else {
        uint8_t* m = maskRow(y);
        for (int32_t x = 0; x < width; ++x) {
          std::memcpy(row + 3 * x, &buf[size_t(x) * 4], 3);
          const uint8_t a = buf[size_t(x) * 4 + 3];
          if (m) m[x] = a;
          if (a != 0 && !alphaSeen) {
            alphaSeen = true;
            if (Check256 && allWidthsZero && height == 256 && y < 66)
              throw EVXException("Not valid 256x256 Icon");
          }
        }
      }
      if (RowDone(k + 1)) return;
    }
    if ((bits == 24 || !alphaSeen) && readAnd() && mask) applyAnd(true);
  }

  if (mask) {
    mask->SyncFull();
    mask->SyncRect();
    if (!cursor && mask->Full()) AlphaMask.reset();
  }
}

}  // namespace

int32_t VXGetICOStreamImageCount(TStream* Stream) {
  const int64_t pos = Stream->Position();
  uint8_t h[6];
  const bool ok = Stream->Read(h, 6) == 6;
  Stream->SetPosition(pos);
  return ok ? LE16(h + 4) : 0;
}

void VXReadICOStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, bool Preview,
                     TProgressRec& Progress, std::unique_ptr<TVXMask>& AlphaMask, bool IgnoreAlpha, bool Check256) {
  bool localAborting = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAborting;
  TIconReader(Stream, Bitmap, IOParams, Progress, aborting, false).Run(Preview, AlphaMask, IgnoreAlpha, Check256);
}

void VXReadCURStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, bool Preview,
                     TProgressRec& Progress, std::unique_ptr<TVXMask>& AlphaMask, bool IgnoreAlpha) {
  bool localAborting = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAborting;
  TIconReader(Stream, Bitmap, IOParams, Progress, aborting, true).Run(Preview, AlphaMask, IgnoreAlpha, false);
}
