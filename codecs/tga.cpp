// Targa reading and writing.
#include "codecs/tga.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/byteorder.h"
#include "core/colorreduce.h"
#include "core/limits.h"
#include "core/mask.h"
#include "core/pixels.h"
#include "core/quantizer.h"
#include "core/rowdepth.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"

namespace {

constexpr int kHeaderSize = 18, kExtensionSize = 495, kFooterSize = 26;
constexpr char kSignature[] = "TRUEVISION-XFILE.";  // and its zero byte: 18 bytes


// Days since 1899-12-30 of a civil date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;  // 1970-01-01 is day 25569
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z -= 25569;
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yoe + era * 400 + (m <= 2));
}

double Today() {
  const std::time_t t = std::time(nullptr);
  std::tm lt{};
  localtime_r(&t, &lt);
  return double(DaysFromCivil(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday));
}

bool ValidDate(int y, int m, int d) {
  static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return !(m == 2 && d == 29 && !leap);
}

// A 15- or 16-bit pixel: blue bits 0..4, green 5..9, red 10..14, each x 8.
TRGB From16(uint16_t v) { return TRGB{uint8_t((v & 0x1F) << 3), uint8_t(((v >> 5) & 0x1F) << 3), uint8_t(((v >> 10) & 0x1F) << 3)}; }

std::string CString(const uint8_t* p, size_t Max) {
  size_t n = 0;
  while (n < Max && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

void VXReadTGAStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, bool IgnoreAlpha,
                     std::unique_ptr<TVXMask>& AlphaMask, bool Preview, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  TIOParamsVals& P = IOParams;
  AlphaMask.reset();
  const int64_t start = Stream->Position();
  const int64_t size = Stream->Size();

  // The extension area, when the file ends with the 2.0 footer.
  P.SetTGA_Author("");
  P.SetTGA_ImageName("");
  P.SetTGA_Date(Today());
  P.SetTGA_Background(TRGB{0, 0, 0});
  P.SetTGA_AspectRatio(1.0);
  P.SetTGA_Gamma(2.2);
  if (size - start >= kHeaderSize + kFooterSize) {
    uint8_t footer[kFooterSize];
    Stream->SetPosition(size - kFooterSize);
    if (Stream->Read(footer, kFooterSize) == kFooterSize && std::memcmp(footer + 8, kSignature, 18) == 0) {
      const int64_t ext = start + VXGetLE32(footer);
      uint8_t e[kExtensionSize];
      if (VXGetLE32(footer) != 0 && ext + kExtensionSize <= size) {
        Stream->SetPosition(ext);
        if (Stream->Read(e, kExtensionSize) == kExtensionSize) {
          P.SetTGA_Author(CString(e + 2, 41));
          P.SetTGA_ImageName(CString(e + 379, 41));
          P.SetTGA_Background(TRGB{e[473], e[472], e[471]});
          if (VXGetLE16(e + 474) != 0 && VXGetLE16(e + 476) != 0) P.SetTGA_AspectRatio(double(VXGetLE16(e + 474)) / VXGetLE16(e + 476));
          if (VXGetLE16(e + 478) != 0 && VXGetLE16(e + 480) != 0) P.SetTGA_Gamma(double(VXGetLE16(e + 478)) / VXGetLE16(e + 480));
          const int mo = VXGetLE16(e + 367), d = VXGetLE16(e + 369), y = VXGetLE16(e + 371);
          const int hh = VXGetLE16(e + 373), mi = VXGetLE16(e + 375), ss = VXGetLE16(e + 377);
          if (y >= 1 && y <= 2499 && hh < 24 && mi < 60 && ss < 60 && ValidDate(y, mo, d))
            P.SetTGA_Date(double(DaysFromCivil(y, mo, d)) + (hh * 3600 + mi * 60 + ss) / 86400.0);
        }
      }
    }
  }

  Stream->SetPosition(start);
  TVXBufferedReadStream in(Stream, 8192, false);
  uint8_t h[kHeaderSize];
  if (in.Read(h, kHeaderSize) != kHeaderSize) {
    aborting = true;
    return;
  }
  const int idLength = h[0], mapType = h[1], imageType = h[2];
  const int mapFirst = VXGetLE16(h + 3), mapLength = VXGetLE16(h + 5), mapEntry = h[7];
  const int32_t W = VXGetLE16(h + 12), H = VXGetLE16(h + 14);
  const int depth = h[16], descriptor = h[17];
  const bool typeOk = (imageType >= 1 && imageType <= 3) || (imageType >= 9 && imageType <= 11);
  const bool depthOk = depth == 1 || depth == 4 || depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
  const bool rle = imageType >= 9;
  // Depth 4 is never decoded, nor run-length 1-bit data.
  if (!typeOk || !depthOk || mapType > 1 || W == 0 || H == 0 || depth == 4 || (depth == 1 && rle)) {
    aborting = true;
    return;
  }
  std::vector<uint8_t> id(static_cast<size_t>(idLength));
  if (in.Read(id.data(), idLength) != idLength) {
    aborting = true;
    return;
  }
  P.SetTGA_Descriptor(std::string(id.begin(), id.end()));

  // The palette: the colour map (entries past 255 are skipped), a grey ramp,
  // black and white, or the 3-3-2 cube.
  std::vector<TRGB> palette(256);
  std::vector<uint8_t> paletteAlpha(256, 255);
  bool mapAlpha = false;
  const bool grey = imageType == 3 || imageType == 11;
  // Grey with alpha: 16 bits a pixel, a grey byte then an 8-bit alpha byte.
  const bool greyAlpha = grey && depth == 16 && (descriptor & 0x0F) == 8;
  std::vector<TRGB> map;
  if (mapType == 1 && mapLength > 0) {
    const int entryBytes = (mapEntry + 7) / 8;
    if (entryBytes < 2 || entryBytes > 4) {
      aborting = true;
      return;
    }
    std::vector<uint8_t> raw(size_t(mapLength) * entryBytes);
    if (in.Read(raw.data(), int64_t(raw.size())) != int64_t(raw.size())) {
      aborting = true;
      return;
    }
    mapAlpha = entryBytes == 4;
    for (int i = 0; i < mapLength; ++i) {
      const uint8_t* e = raw.data() + size_t(i) * entryBytes;
      TRGB c;
      if (entryBytes == 2)
        c = From16(VXGetLE16(e));
      else
        c = TRGB{e[0], e[1], e[2]};
      map.push_back(c);
      const int index = mapFirst + i;
      if (index > 255) continue;
      palette[size_t(index)] = c;
      if (mapAlpha) paletteAlpha[size_t(index)] = e[3];
    }
  } else if (depth == 8 && grey) {
    for (int i = 0; i < 256; ++i) palette[size_t(i)] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
  } else if (depth == 1) {
    palette[0] = TRGB{0, 0, 0};
    palette[1] = TRGB{255, 255, 255};
  } else {
    for (int i = 0; i < 256; ++i)
      palette[size_t(i)] = TRGB{uint8_t(60 + 64 * (i & 3)), uint8_t(28 + 32 * ((i >> 2) & 7)), uint8_t(28 + 32 * (i >> 5))};
  }
  // Indices beyond a colour map read black.
  if (mapType == 1)
    for (int i = 0; i < 256; ++i)
      if (i < mapFirst || i >= mapFirst + mapLength) palette[size_t(i)] = TRGB{0, 0, 0};

  P.SetWidth(W);
  P.SetHeight(H);
  P.SetOriginalWidth(W);
  P.SetOriginalHeight(H);
  P.SetDpiX(VXGetGlobalSettings()->DefaultDPIX());
  P.SetDpiY(VXGetGlobalSettings()->DefaultDPIY());
  P.SetImageCount(1);
  switch (depth) {
    case 1: P.SetBitsPerSample(1), P.SetSamplesPerPixel(1); break;
    case 8: P.SetBitsPerSample(8), P.SetSamplesPerPixel(1); break;
    case 15:
    case 16:
      if (greyAlpha)
        P.SetBitsPerSample(8), P.SetSamplesPerPixel(2);
      else
        P.SetBitsPerSample(5), P.SetSamplesPerPixel(3);
      break;
    case 24: P.SetBitsPerSample(8), P.SetSamplesPerPixel(3); break;
    default: P.SetBitsPerSample(8), P.SetSamplesPerPixel(4); break;
  }
  P.SetTGA_XPos(VXGetLE16(h + 8));
  P.SetTGA_YPos(VXGetLE16(h + 10));
  P.SetTGA_Compressed(rle);
  P.SetTGA_GrayLevel(grey);
  P.FreeColorMap();
  P.fColorMap = map;
  P.fColorMapCount = int32_t(map.size());
  if (Preview) return;

  const TVXPixelFormat pf = depth == 1 ? vx1g : vx24RGB;
  const bool withMask = !IgnoreAlpha && (depth == 32 || greyAlpha || (mapAlpha && depth == 8));
  // The pixel data the header declares; a run-length packet of one pixel
  // value stands for at most 128 pixels.
  const int64_t stored = depth == 1 ? (int64_t(W) + 7) / 8 * H : int64_t(W) * H * ((depth + 7) / 8);
  if (!Bitmap || !VXDeclaredDataPlausible(in.Size() - in.Position(), stored, rle ? 128 : 1) ||
      !VXImageSizeAllowed(W, H, VXPixelFormatBitCount[pf] + (withMask ? 8 : 0)) || !Bitmap->Allocate(W, H, pf)) {
    aborting = true;
    return;
  }
  std::unique_ptr<TVXMask> mask;
  if (withMask) {
    mask = std::make_unique<TVXMask>();
    mask->AllocateBits(W, H, 8);
    mask->Fill(255);
  }
  const int pixelBytes = depth == 1 ? 0 : (depth + 7) / 8;
  const size_t packed = depth == 1 ? (size_t(W) + 7) / 8 : size_t(W) * pixelBytes;
  std::vector<uint8_t> line(packed), rgb(size_t(W) * 3), alpha(size_t(W), 255);
  // Run-length state carried from one row to the next.
  int runLeft = 0, rawLeft = 0;
  uint8_t runPixel[4] = {};
  auto readPixels = [&](uint8_t* dst, int32_t count) {
    if (!rle) return in.Read(dst, int64_t(count) * pixelBytes) == int64_t(count) * pixelBytes;
    for (int32_t i = 0; i < count; ++i) {
      if (runLeft == 0 && rawLeft == 0) {
        uint8_t header;
        if (in.Read(&header, 1) != 1) return false;
        if (header & 0x80) {
          runLeft = (header & 0x7F) + 1;
          if (in.Read(runPixel, pixelBytes) != pixelBytes) return false;
        } else {
          rawLeft = (header & 0x7F) + 1;
        }
      }
      if (runLeft > 0) {
        std::memcpy(dst + size_t(i) * pixelBytes, runPixel, size_t(pixelBytes));
        --runLeft;
      } else {
        if (in.Read(dst + size_t(i) * pixelBytes, pixelBytes) != pixelBytes) return false;
        --rawLeft;
      }
    }
    return true;
  };
  const bool topDown = (descriptor & 0x20) != 0, mirrored = (descriptor & 0x10) != 0;
  int32_t last = -1;
  for (int32_t r = 0; r < H && !aborting; ++r) {
    const int32_t y = topDown ? r : H - 1 - r;
    std::fill(line.begin(), line.end(), 0);
    const bool complete = depth == 1 ? in.Read(line.data(), int64_t(packed)) == int64_t(packed) : readPixels(line.data(), W);
    uint8_t* row = static_cast<uint8_t*>(Bitmap->GetScanLine(y));
    if (depth == 1) {
      if (mirrored) {
        std::vector<uint8_t> flipped(packed, 0);
        for (int32_t x = 0; x < W; ++x)
          if (line[size_t(x) >> 3] & (0x80 >> (x & 7))) flipped[size_t(W - 1 - x) >> 3] |= uint8_t(0x80 >> ((W - 1 - x) & 7));
        line.swap(flipped);
      }
      std::memcpy(row, line.data(), packed);
    } else {
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t* p = line.data() + size_t(x) * pixelBytes;
        TRGB c{0, 0, 0};
        uint8_t a = 255;
        switch (depth) {
          case 8:
            c = palette[p[0]];
            a = paletteAlpha[p[0]];
            break;
          case 15:
          case 16:
            if (greyAlpha) {
              c = TRGB{p[0], p[0], p[0]};
              a = p[1];
            } else {
              c = From16(VXGetLE16(p));
            }
            break;
          case 24: c = TRGB{p[0], p[1], p[2]}; break;
          default:
            c = TRGB{p[0], p[1], p[2]};
            a = p[3];
            break;
        }
        const int32_t dx = mirrored ? W - 1 - x : x;
        std::memcpy(row + 3 * size_t(dx), &c, 3);
        alpha[size_t(dx)] = a;
      }
      if (mask) std::memcpy(mask->GetScanLine(y), alpha.data(), size_t(W));
    }
    VXReportProgress(Progress, int32_t((r + 1) * 100.0 / H), last);
    if (!complete) break;  // rows missing at the end stay as allocated
  }
  if (mask) {
    mask->SyncRect();
    mask->SyncFull();
    if (mask->IsEmpty()) mask.reset();  // an all-zero alpha channel: opaque
  }
  AlphaMask = std::move(mask);
}

void VXWriteTGAStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TVXMask* AlphaMask,
                      TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  if (!Stream || !Bitmap || Bitmap->IsEmpty() ||
      (Bitmap->PixelFormat() != vx24RGB && Bitmap->PixelFormat() != vx1g)) {
    aborting = true;
    return;
  }
  TIOParamsVals& P = IOParams;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  if (W > 65535 || H > 65535) {
    aborting = true;
    return;
  }
  // The depth written, and the source its rows come from.
  int depth = 24;
  if (P.SamplesPerPixel() == 1 && P.BitsPerSample() == 1)
    depth = 1;
  else if (P.SamplesPerPixel() == 1 && P.BitsPerSample() == 4)
    depth = 4;
  else if (P.SamplesPerPixel() == 1 && P.BitsPerSample() == 8)
    depth = 8;
  else if (AlphaMask)
    depth = 32;
  std::unique_ptr<TVXBitmap> owned;
  TVXBitmap* src = Bitmap;
  std::vector<TRGB> palette;
  std::unique_ptr<TVXQuantizer> quantizer;
  if (depth == 1) {
    if (Bitmap->PixelFormat() == vx24RGB) {
      TRGB c1{}, c2{};
      owned = VXTwoColorsTo1Bit(Bitmap, c1, c2);
      if (!owned) {
        owned = std::make_unique<TVXBitmap>();
        owned->Assign(Bitmap);
        owned->SetPixelFormat(vx1g);
      }
      src = owned.get();
    }
    P.SetTGA_Compressed(false);
  } else if (Bitmap->PixelFormat() != vx24RGB) {
    // 4-, 8- and 24-bit output from a 1-bit image: through a 24-bit copy.
    owned = std::make_unique<TVXBitmap>();
    owned->Assign(Bitmap);
    owned->SetPixelFormat(vx24RGB);
    src = owned.get();
  }
  if (depth == 4 || depth == 8) {
    palette.assign(size_t(1) << depth, TRGB{0, 0, 0});
    quantizer = std::make_unique<TVXQuantizer>(src, palette.data(), int32_t(palette.size()) - 1, int32_t(palette.size()));
    P.FreeColorMap();
    P.fColorMap = palette;
    P.fColorMapCount = int32_t(palette.size());
  }
  if (depth == 4 || depth == 32) P.SetTGA_Compressed(false);
  const bool greyOut = depth == 8 && P.TGA_GrayLevel();
  const bool rle = P.TGA_Compressed() && (depth == 8 || depth == 24);

  std::string descriptor = P.TGA_Descriptor();
  if (descriptor.size() > 254) descriptor.resize(254);
  uint8_t h[kHeaderSize] = {};
  h[0] = uint8_t(descriptor.size() + 1);
  const bool withMap = (depth == 4 || depth == 8) && !greyOut;
  if (depth == 1 || greyOut) {
    h[2] = 3;
  } else if (withMap) {
    h[1] = 1;
    h[2] = 1;
    VXPutLE16(h + 5, uint32_t(1) << depth);
    h[7] = 24;
  } else {
    h[2] = 2;
  }
  if (rle) h[2] += 8;
  VXPutLE16(h + 8, uint32_t(P.TGA_XPos()));
  VXPutLE16(h + 10, uint32_t(P.TGA_YPos()));
  VXPutLE16(h + 12, uint32_t(W));
  VXPutLE16(h + 14, uint32_t(H));
  h[16] = uint8_t(depth);
  h[17] = depth == 32 ? 0x28 : 0x20;

  const int64_t start = Stream->Position();
  TVXBufferedWriteStream out(Stream, 65536);
  int64_t written = 0;
  auto put = [&](const void* d, int64_t n) {
    if (n <= 0) return;
    if (out.Write(d, n) != n) aborting = true;
    written += n;
  };
  put(h, kHeaderSize);
  put(descriptor.data(), int64_t(descriptor.size()));
  const uint8_t zero = 0;
  put(&zero, 1);
  if (withMap) {
    std::vector<uint8_t> pal(palette.size() * 3);
    for (size_t i = 0; i < palette.size(); ++i) {
      pal[3 * i] = palette[i].b;
      pal[3 * i + 1] = palette[i].g;
      pal[3 * i + 2] = palette[i].r;
    }
    put(pal.data(), int64_t(pal.size()));
  }

  const int srcBits = src->PixelFormat() == vx1g ? 1 : 24;
  const int pixelBytes = depth == 32 ? 4 : depth == 24 ? 3 : 1;
  std::vector<uint8_t> line(size_t(W) * 4 + 8), enc;
  int32_t last = -1;
  for (int32_t y = 0; y < H && !aborting; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(src->GetScanLine(y));
    std::fill(line.begin(), line.end(), 0);
    int64_t n;
    if (depth == 32) {
      const uint8_t* a = AlphaMask->GetScanLine(y);
      for (int32_t x = 0; x < W; ++x) {
        std::memcpy(line.data() + 4 * size_t(x), row + 3 * size_t(x), 3);
        line[4 * size_t(x) + 3] = (a && x < AlphaMask->Width() && y < AlphaMask->Height()) ? a[x] : 255;
      }
      n = int64_t(W) * 4;
    } else {
      n = VXConvertRowBitDepth(row, line.data(), srcBits, quantizer.get(), nullptr, 0, W, depth);
      if (greyOut)
        for (int32_t x = 0; x < W; ++x) line[size_t(x)] = uint8_t(VXRGBToGray(palette[line[size_t(x)]]));
    }
    if (!rle) {
      put(line.data(), n);
    } else {
      // Packets of this row: runs of 2..128 equal pixels, raw stretches up to
      // two equal neighbours (127 pixels, 128 at the row's end).
      enc.clear();
      auto same = [&](int32_t a, int32_t b) {
        return std::memcmp(line.data() + size_t(a) * pixelBytes, line.data() + size_t(b) * pixelBytes, size_t(pixelBytes)) == 0;
      };
      int32_t x = 0;
      while (x < W) {
        int32_t run = 1;
        while (x + run < W && run < 128 && same(x, x + run)) ++run;
        if (run >= 2) {
          enc.push_back(uint8_t(0x80 | (run - 1)));
          enc.insert(enc.end(), line.begin() + long(x) * pixelBytes, line.begin() + long(x + 1) * pixelBytes);
          x += run;
          continue;
        }
        int32_t count = 1;
        while (x + count < W && count < 128 && !(x + count + 1 < W && same(x + count, x + count + 1))) ++count;
        if (count == 128 && x + count < W) count = 127;
        enc.push_back(uint8_t(count - 1));
        enc.insert(enc.end(), line.begin() + long(x) * pixelBytes, line.begin() + long(x + count) * pixelBytes);
        x += count;
      }
      put(enc.data(), int64_t(enc.size()));
    }
    VXReportProgress(Progress, int32_t((y + 1) * 100.0 / H), last);
  }

  // Extension area and footer.
  uint8_t e[kExtensionSize] = {};
  VXPutLE16(e, kExtensionSize);
  const std::string author = P.TGA_Author().substr(0, 40), name = P.TGA_ImageName().substr(0, 40);
  std::memcpy(e + 2, author.data(), author.size());
  std::memcpy(e + 379, name.data(), name.size());
  const double date = P.TGA_Date();
  if (std::isfinite(date) && date > -693593 && date < 1e7) {
    const int64_t days = int64_t(std::floor(date));
    int y, m, d;
    CivilFromDays(days, y, m, d);
    const int64_t secs = std::clamp<int64_t>(int64_t(std::llround((date - double(days)) * 86400.0)), 0, 86399);
    VXPutLE16(e + 367, uint32_t(m));
    VXPutLE16(e + 369, uint32_t(d));
    VXPutLE16(e + 371, uint32_t(std::clamp(y, 0, 65535)));
    VXPutLE16(e + 373, uint32_t(secs / 3600));
    VXPutLE16(e + 375, uint32_t(secs / 60 % 60));
    VXPutLE16(e + 377, uint32_t(secs % 60));
  }
  const TRGB key = P.TGA_Background();
  e[470] = 0;
  e[471] = key.r;
  e[472] = key.g;
  e[473] = key.b;
  auto ratio = [](double v) { return uint32_t(std::clamp<double>(std::trunc(v * 10000.0), 0.0, 65535.0)); };
  VXPutLE16(e + 474, ratio(P.TGA_AspectRatio()));
  VXPutLE16(e + 476, 10000);
  VXPutLE16(e + 478, ratio(P.TGA_Gamma()));
  VXPutLE16(e + 480, 10000);
  const int64_t extOffset = written;
  put(e, kExtensionSize);
  uint8_t footer[kFooterSize] = {};
  VXPutLE32(footer, uint32_t(extOffset));
  std::memcpy(footer + 8, kSignature, 18);
  put(footer, kFooterSize);
  (void)start;
  try {
    out.Flush();
  } catch (const EVXException&) {
    aborting = true;
  }
}
