// PNG writing over libpng.
//
// As in the reader, libpng's error callback leaves through png_longjmp to the
// setjmp of Encode; Encode keeps no automatic objects with destructors alive
// across libpng calls (everything lives in TPNGWriter) and the C++ exception is
// raised only after Encode has returned.
#include "codecs/png.h"

#include <png.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "io/params.h"
#include "core/colorreduce.h"
#include "core/pixels.h"
#include "core/quantizer.h"

namespace {

// How one output row is made.
enum TRowKind {
  rkRGB,              // vx24RGB row as it is
  rkRGBA,             // vx24RGB + mask
  rkPaletteQuant,     // vx24RGB, quantiser index
  rkPaletteAlpha,     // vx24RGB, 0 where transparent, else quantiser index + 1
  rkPaletteOwn,       // vx8p indexes
  rkGray8Direct,      // vx8g bytes
  rkGray8Red,         // vx24RGB grey image: the red byte
  rkGray16Direct,     // vx16g samples
  rkGray16Red,        // vx24RGB grey image: red byte x 257
  rkOneBit            // vx1g row as it is (grey or two-entry palette)
};

struct TPNGWriter {
  png_structp png = nullptr;
  png_infop info = nullptr;
  TStream* stream = nullptr;
  bool* aborting = nullptr;
  std::exception_ptr streamError;

  TVXBitmap* work = nullptr;  // the bitmap whose rows are written
  TVXMask* mask = nullptr;
  std::unique_ptr<TVXBitmap> ownWork;
  std::unique_ptr<TVXQuantizer> quant;
  // With few enough colours the palette holds them exactly (no quantiser).
  std::unordered_map<uint32_t, uint8_t> exact;
  bool useExact = false;

  // The quantiser's answers for one row.
  std::vector<int32_t> indices;
  std::vector<TRGB> opaque;

  // The palette indices of the W colours from P into indices.
  const int32_t* IndicesOf(const TRGB* P, int32_t W) {
    indices.resize(size_t(W));
    if (useExact) {
      for (int32_t x = 0; x < W; ++x) {
        const auto it = exact.find(Key(P[x]));
        indices[size_t(x)] = it != exact.end() ? it->second : 0;
      }
    } else {
      quant->GetRGBIndices(P, W, indices.data());
    }
    return indices.data();
  }
  static uint32_t Key(TRGB c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }
  TRowKind kind = rkRGB;
  int colorType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  int interlace = PNG_INTERLACE_NONE;
  std::vector<png_color> plte;
  std::vector<png_byte> trns;
  png_color_16 bkgd{};
  bool hasBkgd = false;
  png_uint_32 ppmX = 0, ppmY = 0;
  int filters = PNG_FILTER_NONE;
  int level = 5;
  std::vector<std::string> keys, values;
  std::vector<png_text> texts;
  std::vector<uint8_t> rowBuf;

  ~TPNGWriter() {
    if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  }

  // The bytes of output row y (C++ only; called between libpng calls).
  const uint8_t* MakeRow(int32_t y) {
    const int32_t w = work->Width();
    const auto* src = static_cast<const uint8_t*>(work->ScanLine(y));
    if (src == nullptr) throw EVXException("Cannot read image row");
    switch (kind) {
      case rkRGB:
      case rkOneBit:
        return src;
      case rkRGBA: {
        const uint8_t* m = mask->GetScanLine(y);
        uint8_t* d = rowBuf.data();
        for (int32_t x = 0; x < w; ++x, src += 3, d += 4) {
          d[0] = src[0];
          d[1] = src[1];
          d[2] = src[2];
          d[3] = m != nullptr ? m[x] : 255;
        }
        return rowBuf.data();
      }
      case rkPaletteQuant: {
        const int32_t* index = IndicesOf(reinterpret_cast<const TRGB*>(src), w);
        for (int32_t x = 0; x < w; ++x) rowBuf[size_t(x)] = uint8_t(index[x]);
        return rowBuf.data();
      }
      case rkPaletteAlpha: {
        const uint8_t* m = mask->GetScanLine(y);
        const auto* p = reinterpret_cast<const TRGB*>(src);
        if (m != nullptr) {
          // Transparent pixels take no index of their own: the colour before
          // them (a run, searched once).
          opaque.resize(size_t(w));
          for (int32_t x = 0; x < w; ++x) opaque[size_t(x)] = m[x] < 255 && x > 0 ? opaque[size_t(x - 1)] : p[x];
          p = opaque.data();
        }
        const int32_t* index = IndicesOf(p, w);
        for (int32_t x = 0; x < w; ++x)
          rowBuf[size_t(x)] = (m != nullptr && m[x] < 255) ? 0 : uint8_t(index[x] + 1);
        return rowBuf.data();
      }
      case rkPaletteOwn:
      case rkGray8Direct:
        return src;
      case rkGray8Red: {
        const auto* p = reinterpret_cast<const TRGB*>(src);
        for (int32_t x = 0; x < w; ++x) rowBuf[size_t(x)] = p[x].r;
        return rowBuf.data();
      }
      case rkGray16Direct: {
        // Samples are little-endian in the bitmap, big-endian in the file.
        const auto* p = src;
        for (int32_t x = 0; x < w; ++x) {
          rowBuf[size_t(x) * 2] = p[size_t(x) * 2 + 1];
          rowBuf[size_t(x) * 2 + 1] = p[size_t(x) * 2];
        }
        return rowBuf.data();
      }
      case rkGray16Red: {
        const auto* p = reinterpret_cast<const TRGB*>(src);
        for (int32_t x = 0; x < w; ++x) {
          rowBuf[size_t(x) * 2] = p[x].r;
          rowBuf[size_t(x) * 2 + 1] = p[x].r;
        }
        return rowBuf.data();
      }
    }
    return src;
  }
};

void PNGWriteErrorFn(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PNGWriteWarningFn(png_structp, png_const_charp) {}

void PNGWriteFn(png_structp png, png_bytep data, size_t length) {
  auto* w = static_cast<TPNGWriter*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    if (w->stream->Write(data, int64_t(length)) != int64_t(length)) *w->aborting = true;
  } catch (...) {
    w->streamError = std::current_exception();
    failed = true;
  }
  if (failed) png_error(png, "write");  // never returns
}

void PNGFlushFn(png_structp) {}

bool Encode(TPNGWriter& w, TProgressRec& Progress) {
  if (setjmp(png_jmpbuf(w.png))) return false;
  png_set_write_fn(w.png, &w, PNGWriteFn, PNGFlushFn);
  png_set_IHDR(w.png, w.info, png_uint_32(w.work->Width()), png_uint_32(w.work->Height()), w.bitDepth, w.colorType,
               w.interlace, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!w.plte.empty()) png_set_PLTE(w.png, w.info, w.plte.data(), int(w.plte.size()));
  if (!w.trns.empty()) png_set_tRNS(w.png, w.info, w.trns.data(), int(w.trns.size()), nullptr);
  if (w.hasBkgd) png_set_bKGD(w.png, w.info, &w.bkgd);
  png_set_pHYs(w.png, w.info, w.ppmX, w.ppmY, PNG_RESOLUTION_METER);
  png_set_filter(w.png, PNG_FILTER_TYPE_BASE, w.filters);
  png_set_compression_level(w.png, w.level);
  if (w.colorType == PNG_COLOR_TYPE_RGB || w.colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(w.png);
  if (!w.texts.empty()) png_set_text(w.png, w.info, w.texts.data(), int(w.texts.size()));
  png_write_info(w.png, w.info);

  const int passes = png_set_interlace_handling(w.png);
  const int32_t h = w.work->Height();
  Progress.per1 = 100.0 / (double(h) * passes);
  Progress.val = 0;
  for (int pass = 0; pass < passes && !*Progress.Aborting; ++pass) {
    for (int32_t y = 0; y < h; ++y) {
      png_write_row(w.png, w.MakeRow(y));
      ++Progress.val;
      if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, int32_t(Progress.val * Progress.per1));
      if (*Progress.Aborting) break;
    }
  }
  if (!*Progress.Aborting) png_write_end(w.png, nullptr);
  return true;
}

bool HasPartialAlpha(TVXMask* Mask) {
  for (int32_t y = 0; y < Mask->Height(); ++y) {
    const uint8_t* m = Mask->GetScanLine(y);
    if (m == nullptr) continue;
    for (int32_t x = 0; x < Mask->Width(); ++x)
      if (m[x] != 0 && m[x] != 255) return true;
  }
  return false;
}

int32_t GrayOf(TRGB c) { return VXRGBToGray(c); }

png_color ToPNG(TRGB c) { return png_color{c.r, c.g, c.b}; }

int32_t NearestEntry(const std::vector<png_color>& pal, TRGB c, size_t from) {
  int32_t best = int32_t(from);
  int64_t bestD = INT64_MAX;
  for (size_t i = from; i < pal.size(); ++i) {
    const int64_t dr = int64_t(pal[i].red) - c.r, dg = int64_t(pal[i].green) - c.g, db = int64_t(pal[i].blue) - c.b;
    const int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestD) {
      bestD = d;
      best = int32_t(i);
    }
  }
  return best;
}

// The distinct colours of a vx24RGB bitmap in order of appearance, when there are
// at most Limit of them.
bool CollectExactColours(TPNGWriter& w, TVXBitmap* Bitmap, int32_t Limit, std::vector<TRGB>& Colours) {
  w.exact.clear();
  Colours.clear();
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    const auto* p = static_cast<const TRGB*>(Bitmap->ScanLine(y));
    if (p == nullptr) return false;
    for (int32_t x = 0; x < Bitmap->Width(); ++x) {
      const uint32_t k = TPNGWriter::Key(p[x]);
      if (w.exact.find(k) != w.exact.end()) continue;
      if (int32_t(Colours.size()) >= Limit) {
        w.exact.clear();
        Colours.clear();
        return false;
      }
      w.exact.emplace(k, uint8_t(Colours.size()));
      Colours.push_back(p[x]);
    }
  }
  w.useExact = true;
  return true;
}

bool IsBlackAndWhite(TRGB a, TRGB b) {
  const TRGB black{0, 0, 0}, white{255, 255, 255};
  return (a == black && b == white) || (a == white && b == black);
}

bool SingleColour(TVXBitmap* Bitmap, TRGB& Colour) {
  for (int32_t y = 0; y < Bitmap->Height(); ++y)
    for (int32_t x = 0; x < Bitmap->Width(); ++x) {
      const TRGB c = Bitmap->Pixels(x, y);
      if (x == 0 && y == 0)
        Colour = c;
      else if (!(c == Colour))
        return false;
    }
  return true;
}

// A vx24RGB copy of Bitmap (kept by the writer).
TVXBitmap* As24(TPNGWriter& w, TVXBitmap* Bitmap) {
  if (Bitmap->PixelFormat() == vx24RGB) return Bitmap;
  auto copy = std::make_unique<TVXBitmap>();
  copy->Assign(Bitmap);
  copy->RemoveAlphaChannel(false, 0);
  copy->SetPixelFormat(vx24RGB);
  if (copy->PixelFormat() != vx24RGB) throw EInvalidGraphic("Error on creating PNG");
  w.ownWork = std::move(copy);
  return w.ownWork.get();
}

// Chooses colour type, bit depth, palette and row kind.
void ChooseLayout(TPNGWriter& w, TVXBitmap* Bitmap, TIOParamsVals& P, TVXMask* Mask) {
  const bool alpha = Mask != nullptr && !Mask->Full() && Mask->Width() == Bitmap->Width() &&
                     Mask->Height() == Bitmap->Height() && Mask->BitsPerPixel() == 8;
  w.mask = alpha ? Mask : nullptr;
  const int32_t spp = P.SamplesPerPixel();
  const int32_t bps = P.BitsPerSample();
  const TRGB bg = P.PNG_Background();
  // Partial transparency survives only in RGBA.
  const bool partial = alpha && spp == 1 && HasPartialAlpha(Mask);

  if (spp != 1 || partial) {
    w.work = As24(w, Bitmap);
    w.bitDepth = 8;
    if (alpha) {
      w.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
      w.kind = rkRGBA;
    } else {
      w.colorType = PNG_COLOR_TYPE_RGB;
      w.kind = rkRGB;
    }
    w.bkgd.red = bg.r;
    w.bkgd.green = bg.g;
    w.bkgd.blue = bg.b;
    w.hasBkgd = true;
    return;
  }

  // Transparency needs a palette entry of its own, so a 1-bit image with alpha is
  // written as a palette image with a transparency table below.
  if (bps == 1 && !alpha) {
    // 1 bit: grey, or a two-entry palette when the two colours are not black and white.
    w.bitDepth = 1;
    w.kind = rkOneBit;
    w.mask = nullptr;
    if (Bitmap->PixelFormat() == vx1g) {
      w.work = Bitmap;
    } else {
      TRGB c1{}, c2{};
      std::unique_ptr<TVXBitmap> two = VXTwoColorsTo1Bit(Bitmap, c1, c2);
      if (two) {
        w.ownWork = std::move(two);
        w.work = w.ownWork.get();
        if (!IsBlackAndWhite(c1, c2)) {
          w.colorType = PNG_COLOR_TYPE_PALETTE;
          w.plte = {ToPNG(c1), ToPNG(c2)};
          w.bkgd.index = png_byte(NearestEntry(w.plte, bg, 0));
          w.hasBkgd = true;
          return;
        }
      } else if (TRGB only{}; SingleColour(Bitmap, only)) {
        // One colour: all bits 0 over a one-entry palette (black and white stay grey).
        auto one = std::make_unique<TVXBitmap>();
        if (!one->Allocate(Bitmap->Width(), Bitmap->Height(), vx1g)) throw EInvalidGraphic("Error on creating PNG");
        const bool white = only == TRGB{255, 255, 255};
        one->Fill(white ? 1 : 0);
        w.ownWork = std::move(one);
        w.work = w.ownWork.get();
        if (!white && !(only == TRGB{0, 0, 0})) {
          w.colorType = PNG_COLOR_TYPE_PALETTE;
          w.plte = {ToPNG(only)};
          w.bkgd.index = 0;
          w.hasBkgd = true;
          return;
        }
      } else if (P.ColorMapCount() == 2 && !IsBlackAndWhite(P.ColorMap()[0], P.ColorMap()[1])) {
        // More colours (a resized two-colour palette image): each pixel takes the
        // nearer of the file's two palette colours.
        const TRGB c0 = P.ColorMap()[0], c1 = P.ColorMap()[1];
        w.plte = {ToPNG(c0), ToPNG(c1)};
        auto two2 = std::make_unique<TVXBitmap>();
        if (!two2->Allocate(Bitmap->Width(), Bitmap->Height(), vx1g)) throw EInvalidGraphic("Error on creating PNG");
        for (int32_t y = 0; y < Bitmap->Height(); ++y)
          for (int32_t x = 0; x < Bitmap->Width(); ++x)
            two2->SetPixels_vx1g(x, y, NearestEntry(w.plte, Bitmap->Pixels(x, y), 0) == 1);
        w.ownWork = std::move(two2);
        w.work = w.ownWork.get();
        w.colorType = PNG_COLOR_TYPE_PALETTE;
        w.bkgd.index = png_byte(NearestEntry(w.plte, bg, 0));
        w.hasBkgd = true;
        return;
      } else {
        auto copy = std::make_unique<TVXBitmap>();
        copy->Assign(Bitmap);
        copy->RemoveAlphaChannel(false, 0);
        copy->SetPixelFormat(vx1g);
        if (copy->PixelFormat() != vx1g) throw EInvalidGraphic("Error on creating PNG");
        w.ownWork = std::move(copy);
        w.work = w.ownWork.get();
      }
    }
    w.colorType = PNG_COLOR_TYPE_GRAY;
    w.bkgd.gray = png_uint_16(GrayOf(bg) >= 128 ? 1 : 0);
    w.hasBkgd = true;
    return;
  }

  // One sample of 8 or 16 bits: palette (always 8 bits deep) or grey.
  if (alpha) {
    w.work = As24(w, Bitmap);
    const int32_t n = bps >= 16 ? 255 : std::min<int32_t>(1 << bps, 255);
    std::vector<TRGB> table(256, TRGB{0, 0, 0});
    std::vector<TRGB> colours;
    int32_t entries = std::min(n + 1, 256);
    if (CollectExactColours(w, w.work, n, colours)) {
      std::copy(colours.begin(), colours.end(), table.begin());
      entries = int32_t(colours.size()) + 1;
    } else {
      w.quant = std::make_unique<TVXQuantizer>(w.work, table.data(), 255, n);
    }
    w.colorType = PNG_COLOR_TYPE_PALETTE;
    w.bitDepth = 8;
    w.kind = rkPaletteAlpha;
    w.plte.resize(size_t(entries));
    w.plte[0] = ToPNG(bg);
    for (int32_t i = 1; i < entries; ++i) w.plte[size_t(i)] = ToPNG(table[size_t(i - 1)]);
    w.trns = {0};
    w.bkgd.index = 0;
    w.hasBkgd = true;
    return;
  }

  if (Bitmap->PixelFormat() == vx8g && bps == 8) {
    w.work = Bitmap;
    w.colorType = PNG_COLOR_TYPE_GRAY;
    w.bitDepth = 8;
    w.kind = rkGray8Direct;
    w.bkgd.gray = png_uint_16(GrayOf(bg));
    w.hasBkgd = true;
    return;
  }
  if (Bitmap->PixelFormat() == vx16g && bps == 16) {
    w.work = Bitmap;
    w.colorType = PNG_COLOR_TYPE_GRAY;
    w.bitDepth = 16;
    w.kind = rkGray16Direct;
    w.bkgd.gray = png_uint_16(GrayOf(bg) * 257);
    w.hasBkgd = true;
    return;
  }
  if (Bitmap->PixelFormat() == vx8p) {
    bool grey = true;
    for (int32_t i = 0; i < Bitmap->PaletteLength(); ++i) {
      const TRGB c = Bitmap->Palette(i);
      if (c.r != c.g || c.g != c.b) grey = false;
    }
    if (!grey) {
      w.work = Bitmap;
      w.colorType = PNG_COLOR_TYPE_PALETTE;
      w.bitDepth = 8;
      w.kind = rkPaletteOwn;
      w.plte.resize(256);
      for (int32_t i = 0; i < 256; ++i)
        w.plte[size_t(i)] = i < Bitmap->PaletteLength() ? ToPNG(Bitmap->Palette(i)) : png_color{0, 0, 0};
      w.bkgd.index = png_byte(NearestEntry(w.plte, bg, 0));
      w.hasBkgd = true;
      return;
    }
  }
  w.work = As24(w, Bitmap);
  std::vector<TRGB> table(256, TRGB{0, 0, 0});
  w.quant = std::make_unique<TVXQuantizer>(w.work, table.data(), 255, 256);
  if (w.quant->GrayScale()) {
    w.colorType = PNG_COLOR_TYPE_GRAY;
    w.bitDepth = bps >= 16 ? 16 : 8;
    w.kind = bps >= 16 ? rkGray16Red : rkGray8Red;
    w.bkgd.gray = png_uint_16(bps >= 16 ? GrayOf(bg) * 257 : GrayOf(bg));
  } else {
    w.colorType = PNG_COLOR_TYPE_PALETTE;
    w.bitDepth = 8;
    w.kind = rkPaletteQuant;
    std::vector<TRGB> colours;
    if (CollectExactColours(w, w.work, 256, colours)) {
      w.plte.resize(colours.size());
      for (size_t i = 0; i < colours.size(); ++i) w.plte[i] = ToPNG(colours[i]);
      w.bkgd.index = png_byte(NearestEntry(w.plte, bg, 0));
    } else {
      w.plte.resize(256);
      for (size_t i = 0; i < 256; ++i) w.plte[i] = ToPNG(table[i]);
      w.bkgd.index = png_byte(std::clamp(w.quant->GetRGBIndex(bg), 0, 255));
    }
  }
  w.hasBkgd = true;
}

void PrepareTexts(TPNGWriter& w, TIOParamsVals& P) {
  const size_t n = std::min(P.PNG_TextKeys().size(), P.PNG_TextValues().size());
  for (size_t i = 0; i < n; ++i) {
    std::string key = VXUTF8ToAnsi(P.PNG_TextKeys()[i]);
    // libpng refuses a keyword that is empty once its blanks and the characters a
    // keyword may not hold are gone.
    if (std::none_of(key.begin(), key.end(), [](char ch) {
          const auto c = uint8_t(ch);
          return (c > 32 && c <= 126) || c >= 161;
        }))
      continue;
    w.keys.push_back(std::move(key));
    w.values.push_back(VXUTF8ToAnsi(P.PNG_TextValues()[i]));
  }
  w.texts.resize(w.keys.size());
  for (size_t i = 0; i < w.keys.size(); ++i) {
    png_text& t = w.texts[i];
    std::memset(&t, 0, sizeof t);
    t.compression = PNG_TEXT_COMPRESSION_NONE;
    t.key = w.keys[i].data();
    t.text = w.values[i].data();
    t.text_length = w.values[i].size();
  }
}

// Pixels per metre of a resolution, held within what a PNG field can store.
png_uint_32 PPM(int32_t dpi) {
  if (dpi <= 0) return 0;
  const long double v = static_cast<long double>(int64_t(dpi) * 100) / 2.54L;
  return png_uint_32(std::min<long long>(std::llrint(v), PNG_UINT_31_MAX));
}

int FilterSet(TIOPNGFilter f) {
  switch (f) {
    case ioPNG_FILTER_NONE: return PNG_FILTER_NONE;
    case ioPNG_FILTER_SUB: return PNG_FILTER_SUB;
    case ioPNG_FILTER_PAETH: return PNG_FILTER_PAETH;
    case ioPNG_FILTER_UP: return PNG_FILTER_UP;
    case ioPNG_FILTER_AVG: return PNG_FILTER_AVG;
    case ioPNG_FILTER_ALL: return PNG_ALL_FILTERS;
  }
  return PNG_FILTER_NONE;
}

}  // namespace

void VXWritePNGStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                      TVXMask* Mask) {
  if (Bitmap == nullptr || Bitmap->IsEmpty()) throw EInvalidGraphic("Error on creating PNG");
  bool localAbort = false;
  struct TRestore {
    TProgressRec& p;
    bool* local;
    ~TRestore() {
      if (p.Aborting == local) p.Aborting = nullptr;
    }
  } restore{Progress, &localAbort};
  if (Progress.Aborting == nullptr) Progress.Aborting = &localAbort;

  TPNGWriter w;
  w.stream = Stream;
  w.aborting = Progress.Aborting;
  w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w, PNGWriteErrorFn, PNGWriteWarningFn);
  if (w.png != nullptr) w.info = png_create_info_struct(w.png);
  if (w.png == nullptr || w.info == nullptr) throw EInvalidGraphic("Error on creating PNG");

  const int32_t bps = IOParams.BitsPerSample();
  if (IOParams.SamplesPerPixel() == 1 && bps != 1 && bps != 8 && bps != 16) IOParams.SetBitsPerSample(8);

  ChooseLayout(w, Bitmap, IOParams, Mask);
  w.interlace = IOParams.PNG_Interlaced() ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE;
  w.ppmX = PPM(IOParams.DpiX());
  w.ppmY = PPM(IOParams.DpiY());
  w.filters = FilterSet(IOParams.PNG_Filter());
  w.level = IOParams.PNG_Compression();
  PrepareTexts(w, IOParams);
  const int32_t width = w.work->Width();
  if (w.kind == rkRGBA)
    w.rowBuf.assign(size_t(width) * 4, 0);
  else if (w.kind == rkGray16Direct || w.kind == rkGray16Red)
    w.rowBuf.assign(size_t(width) * 2, 0);
  else
    w.rowBuf.assign(size_t(width), 0);

  const bool ok = Encode(w, Progress);
  if (w.streamError) std::rethrow_exception(w.streamError);
  if (!ok) throw EInvalidGraphic("Error on creating PNG");
}
