// PNG reading over libpng.
//
// libpng reports errors through a callback that must not return. It leaves
// through png_longjmp back to the setjmp of DecodeRows/DecodeHeader; those two
// functions and the libpng callbacks therefore keep no automatic objects with
// destructors alive across a libpng call: every buffer lives in TPNGReader,
// which the calling C++ code owns and destroys normally.
#include "codecs/png.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/bitrows.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "io/codec_table.h"
#include "io/params.h"

namespace {

struct TPNGReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  TStream* stream = nullptr;
  bool* aborting = nullptr;

  // Header values.
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  int passes = 1;
  int channels = 0;
  bool native = false;
  bool rgb = false;  // rows stay R G B (libpng does not turn them)

  // Texts (tEXt, zTXt) before the image data, taken as they arrive against
  // the image's text budget; libpng keeps none of them.
  bool headerDone = false;
  TVXTextBudget textBudget;
  // Bytes that compressed texts may still inflate to, kept or dropped: a file
  // of many oversized compressed texts costs a bounded amount of work.
  int64_t inflateLeft = std::max<int64_t>(4 * VXGetGlobalSettings()->MaxTextSize(), 4194304);
  std::vector<std::string> textKeys, textValues;

  // Working buffers (freed with the reader).
  std::vector<uint8_t> rgba;     // RGBA rows (one row, or the whole image when interlaced)
  std::vector<uint8_t> colour;   // a BGR row and
  std::vector<uint8_t> alpha;    // its alpha, for a row sink
  std::vector<uint8_t> packed;   // 1-bit palette rows (one row, or the whole image when interlaced)
  std::vector<TRGB> palette;     // the PLTE entries for the 1-bit palette expansion

  ~TPNGReader() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  }
};

void PNGErrorFn(png_structp png, png_const_charp) {
  auto* r = static_cast<TPNGReader*>(png_get_error_ptr(png));
  if (r != nullptr && r->aborting != nullptr) *r->aborting = true;
  png_longjmp(png, 1);
}

void PNGWarningFn(png_structp, png_const_charp) {}

void PNGReadFn(png_structp png, png_bytep data, size_t length) {
  auto* r = static_cast<TPNGReader*>(png_get_io_ptr(png));
  bool ok = false;
  try {
    ok = r->stream->Read(data, int64_t(length)) == int64_t(length);
  } catch (...) {
    ok = false;
  }
  if (!ok) png_error(png, "read");  // never returns
}

// Inflates a zTXt value; false when the stream is damaged or its text would
// be longer than Limit (the inflating stops there, nothing more is had).
// Work counts down by the bytes inflated.
bool InflateText(const uint8_t* Data, size_t Size, int64_t Limit, int64_t& Work, std::string& Out) {
  Out.clear();
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(Data);
  z.avail_in = uInt(Size);
  uint8_t buf[16384];
  int ret = Z_OK;
  bool ok = true;
  while (ret != Z_STREAM_END) {
    z.next_out = buf;
    z.avail_out = sizeof buf;
    ret = inflate(&z, Z_NO_FLUSH);
    if (ret != Z_OK && ret != Z_STREAM_END) {
      ok = false;
      break;
    }
    const size_t got = sizeof buf - z.avail_out;
    Work -= int64_t(got);
    if (int64_t(Out.size() + got) > Limit) {
      ok = false;
      break;
    }
    Out.append(reinterpret_cast<const char*>(buf), got);
    if (ret == Z_OK && got == 0 && z.avail_in == 0) {
      ok = false;  // the stream ends before its end mark
      break;
    }
  }
  inflateEnd(&z);
  return ok;
}

// One tEXt or zTXt chunk: the keyword (1 to 79 bytes) and its text; a chunk
// that is damaged or does not fit the text budget is dropped whole. 8-bit
// text is Windows-1252.
void TakeTextChunk(TPNGReader& r, const uint8_t* Data, size_t Size, bool Compressed) {
  const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(Data, 0, Size));
  if (nul == nullptr) return;
  const size_t keyLen = size_t(nul - Data);
  if (keyLen == 0 || keyLen > 79) return;
  std::string value;
  const uint8_t* rest = nul + 1;
  const size_t restLen = Size - keyLen - 1;
  if (Compressed) {
    if (restLen < 1 || rest[0] != 0) return;  // compression method 0 only
    if (r.inflateLeft <= 0) return;
    if (!InflateText(rest + 1, restLen - 1, r.textBudget.Left(), r.inflateLeft, value)) return;
  } else {
    value.assign(reinterpret_cast<const char*>(rest), restLen);
  }
  std::string key = VXAnsiToUTF8(std::string(reinterpret_cast<const char*>(Data), keyLen));
  value = VXAnsiToUTF8(value);
  if (!r.textBudget.Take(int64_t(key.size() + value.size()))) return;
  r.textKeys.push_back(std::move(key));
  r.textValues.push_back(std::move(value));
}

// libpng hands over the chunks declared unknown and every chunk it does not
// know. Texts are taken; other ancillary chunks are dropped; an unknown
// critical chunk is left to libpng, which refuses the file.
int PNGUserChunkFn(png_structp png, png_unknown_chunkp chunk) {
  auto* r = static_cast<TPNGReader*>(png_get_user_chunk_ptr(png));
  if ((chunk->name[0] & 0x20) == 0) return 0;
  const bool tEXt = std::memcmp(chunk->name, "tEXt", 4) == 0;
  const bool zTXt = std::memcmp(chunk->name, "zTXt", 4) == 0;
  if ((tEXt || zTXt) && r != nullptr && !r->headerDone && chunk->data != nullptr) {
    try {
      TakeTextChunk(*r, chunk->data, chunk->size, zTXt);
    } catch (...) {
      // No exception may cross libpng: a text that cannot be had is dropped.
    }
  }
  return 1;
}

void CollectTexts(TPNGReader& r, TIOParamsVals& P) {
  P.PNG_TextKeys() = std::move(r.textKeys);
  P.PNG_TextValues() = std::move(r.textValues);
  r.textKeys.clear();
  r.textValues.clear();
}

uint8_t SampleTo8(uint32_t v, int depth) {
  if (depth >= 16) return uint8_t(std::min<uint32_t>(v, 65535) >> 8);
  if (depth == 8) return uint8_t(std::min<uint32_t>(v, 255));
  const uint32_t maxv = (1u << depth) - 1;
  return uint8_t(std::min(v, maxv) * 255 / maxv);
}

// bKGD at the file's sample depth (palette images: the entry's 8-bit colour).
void ReadBackground(TPNGReader& r, TIOParamsVals& P) {
  png_color_16p bg = nullptr;
  if (png_get_bKGD(r.png, r.info, &bg) == 0 || bg == nullptr) return;
  TRGB c{};
  if (r.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp pal = nullptr;
    int n = 0;
    if (png_get_PLTE(r.png, r.info, &pal, &n) != 0 && pal != nullptr && bg->index < n) {
      c.r = pal[bg->index].red;
      c.g = pal[bg->index].green;
      c.b = pal[bg->index].blue;
    } else {
      c.r = uint8_t(std::min<int>(bg->red, 255));
      c.g = uint8_t(std::min<int>(bg->green, 255));
      c.b = uint8_t(std::min<int>(bg->blue, 255));
    }
  } else if ((r.colorType & PNG_COLOR_MASK_COLOR) == 0) {
    c.r = c.g = c.b = SampleTo8(bg->gray, r.bitDepth);
  } else {
    c.r = SampleTo8(bg->red, r.bitDepth);
    c.g = SampleTo8(bg->green, r.bitDepth);
    c.b = SampleTo8(bg->blue, r.bitDepth);
  }
  P.fPNG_Background = c;
}

int32_t DpiFromPPM(png_uint_32 ppm, int32_t Default) {
  const long double v = static_cast<long double>(ppm) / 100.0L * 2.54L;
  const long long d = std::llrint(v);
  if (d == 0 || d > INT32_MAX) return Default;
  return int32_t(d);
}

void FillParams(TPNGReader& r, TIOParamsVals& P) {
  P.SetImageCount(1);
  P.SetWidth(int32_t(r.width));
  P.SetOriginalWidth(int32_t(r.width));
  P.SetHeight(int32_t(r.height));
  P.SetOriginalHeight(int32_t(r.height));
  P.SetBitsPerSample(r.bitDepth);
  switch (r.colorType) {
    case PNG_COLOR_TYPE_GRAY: P.SetSamplesPerPixel(1); break;
    case PNG_COLOR_TYPE_RGB: P.SetSamplesPerPixel(3); break;
    case PNG_COLOR_TYPE_PALETTE: P.SetSamplesPerPixel(1); break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: P.SetSamplesPerPixel(2); break;
    case PNG_COLOR_TYPE_RGB_ALPHA: P.SetSamplesPerPixel(4); break;
    default: break;
  }
  const TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  P.SetDpiX(DpiFromPPM(png_get_x_pixels_per_meter(r.png, r.info), st->DefaultDPIX()));
  P.SetDpiY(DpiFromPPM(png_get_y_pixels_per_meter(r.png, r.info), st->DefaultDPIY()));

  P.FreeColorMap();
  if (r.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp pal = nullptr;
    int n = 0;
    if (png_get_PLTE(r.png, r.info, &pal, &n) != 0 && pal != nullptr && n > 0) {
      P.fColorMap.resize(size_t(n));
      for (int i = 0; i < n; ++i) P.fColorMap[size_t(i)] = TRGB{pal[i].blue, pal[i].green, pal[i].red};
      P.fColorMapCount = n;
    }
  }
  P.SetPNG_Interlaced(png_get_interlace_type(r.png, r.info) != PNG_INTERLACE_NONE);
}

// Header and transformations. False when libpng raised an error.
bool DecodeHeader(TPNGReader& r, bool NativeWanted, bool RgbWanted) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_set_read_fn(r.png, &r, PNGReadFn);
  // libpng's own limits: the sides the pixel limit allows, a bounded chunk
  // cache and no chunk larger than a metadata block. Texts come through
  // PNGUserChunkFn, which keeps them within the text budget.
  const TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  const png_uint_32 maxSide = png_uint_32(std::min<int64_t>(st->MaxImagePixels(), PNG_UINT_31_MAX));
  png_set_user_limits(r.png, maxSide, maxSide);
  png_set_chunk_cache_max(r.png, 256);
  png_set_chunk_malloc_max(r.png, png_alloc_size_t(std::max<int64_t>(st->MaxMetadataSize(), 65536)));
  // The chunks that libpng would read whole into a buffer of their declared
  // size (texts, suggested palettes, calibrations, EXIF) come as unknown
  // chunks, which libpng reads only when they fit one metadata block.
  static const png_byte kWholeChunks[] = "tEXt\0zTXt\0iTXt\0sPLT\0pCAL\0sCAL\0eXIf";
  png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, kWholeChunks, 7);
  png_set_read_user_chunk_fn(r.png, &r, PNGUserChunkFn);
  png_read_info(r.png, r.info);
  r.headerDone = true;
  int compression = 0, filter = 0;
  png_get_IHDR(r.png, r.info, &r.width, &r.height, &r.bitDepth, &r.colorType, &r.interlace, &compression,
               &filter);
  const int d = r.bitDepth;
  const int ct = r.colorType;
  r.native = NativeWanted && (d == 8 || d == 16) && (ct == PNG_COLOR_TYPE_GRAY || ct == PNG_COLOR_TYPE_PALETTE);
  if (!r.native) {
    // A two-colour palette with a transparency table is expanded like the deeper
    // palettes, so that its transparent entries reach the alpha channel.
    const bool onePaletteAlpha =
        ct == PNG_COLOR_TYPE_PALETTE && d == 1 && png_get_valid(r.png, r.info, PNG_INFO_tRNS) != 0;
    const bool expanded = d > 1 || onePaletteAlpha;
    if ((ct == PNG_COLOR_TYPE_PALETTE && d >= 2 && d <= 8) || (ct == PNG_COLOR_TYPE_GRAY && d >= 2 && d <= 7) ||
        onePaletteAlpha)
      png_set_expand(r.png);
    if (d == 16) png_set_strip_16(r.png);
    if (d >= 2 && d <= 7) png_set_packing(r.png);
    if ((ct == PNG_COLOR_TYPE_GRAY || ct == PNG_COLOR_TYPE_GRAY_ALPHA) && d > 1) png_set_gray_to_rgb(r.png);
    // Rows that may go to a sink taking R G B come in that order; should the
    // sink not take them after all, DecodeRows turns them.
    r.rgb = expanded && RgbWanted && r.interlace == PNG_INTERLACE_NONE;
    if (expanded && !r.rgb) png_set_bgr(r.png);
    if (expanded) png_set_tRNS_to_alpha(r.png);
  } else if (d == 16) {
    png_set_swap(r.png);
  }
  r.passes = png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  r.channels = png_get_channels(r.png, r.info);
  return true;
}

void ReportRow(TProgressRec& Progress, int32_t& lastPer) {
  ++Progress.val;
  if (Progress.fOnProgress) {
    const int32_t per = int32_t(Progress.val * Progress.per1);
    if (per != lastPer) {
      Progress.fOnProgress(Progress.Sender, per);
      lastPer = per;
    }
  }
}

// A four-byte row as the colour row (three bytes a pixel, the first and
// third swapped when Swap) and its alpha row.
void SplitRGBA(const uint8_t* src, uint8_t* dst, uint8_t* a, int32_t w, bool Swap) {
  const int first = Swap ? 2 : 0;
  for (int32_t x = 0; x < w; ++x) {
    dst[0] = src[first];
    dst[1] = src[1];
    dst[2] = src[2 - first];
    a[x] = src[3];
    dst += 3;
    src += 4;
  }
}

// The image rows. False when libpng raised an error.
bool DecodeRows(TPNGReader& r, TVXBitmap* Bitmap, TProgressRec& Progress, bool onePalette) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  const int32_t h = int32_t(r.height);
  const int32_t w = int32_t(r.width);
  const size_t packedLen = size_t(w) / 8 + 1;
  TVXBitmap* alpha = r.channels == 4 ? Bitmap->AlphaChannel() : nullptr;
  for (int pass = 0; pass < r.passes; ++pass) {
    int32_t lastPer = -1;
    for (int32_t y = 0; y < h; ++y) {
      if (r.channels == 4) {
        uint8_t* src = r.rgba.data() + (r.passes > 1 ? size_t(y) * size_t(w) * 4 : 0);
        png_read_row(r.png, src, nullptr);
        auto* dst = static_cast<uint8_t*>(Bitmap->ScanLine(y));
        auto* a = static_cast<uint8_t*>(alpha->ScanLine(y));
        if (dst != nullptr && a != nullptr) SplitRGBA(src, dst, a, w, r.rgb);
      } else if (onePalette) {
        uint8_t* src = r.packed.data() + (r.passes > 1 ? size_t(y) * packedLen : 0);
        png_read_row(r.png, src, nullptr);
        auto* dst = static_cast<TRGB*>(Bitmap->ScanLine(y));
        if (dst != nullptr) {
          const TRGB c0 = r.palette[0], c1 = r.palette[1];
          for (int32_t x = 0; x < w; ++x) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? c1 : c0;
        }
      } else {
        auto* dst = static_cast<uint8_t*>(Bitmap->ScanLine(y));
        if (dst == nullptr) png_error(r.png, "row");
        png_read_row(r.png, dst, nullptr);
        if (r.rgb) VXSwapRBRow(dst, w);
      }
      ReportRow(Progress, lastPer);
      if (*Progress.Aborting) return true;
    }
  }
  return true;
}

// The image rows to a sink. False when libpng raised an error.
bool StreamRows(TPNGReader& r, const TVXRowSink& Sink, TProgressRec& Progress) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  const int32_t h = int32_t(r.height);
  const int32_t w = int32_t(r.width);
  int32_t lastPer = -1;
  for (int32_t y = 0; y < h; ++y) {
    if (r.channels == 4) {
      png_read_row(r.png, r.rgba.data(), nullptr);
      SplitRGBA(r.rgba.data(), r.colour.data(), r.alpha.data(), w, false);
      Sink.Row(y, r.colour.data(), r.alpha.data());
    } else {
      png_read_row(r.png, r.colour.data(), nullptr);
      Sink.Row(y, r.colour.data(), nullptr);
    }
    ReportRow(Progress, lastPer);
    if (*Progress.Aborting) return true;
  }
  return true;
}

bool FinishRead(TPNGReader& r) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_read_end(r.png, nullptr);
  return true;
}

// Native palette images take their alpha from the transparency table.
void ApplyPaletteTransparency(TPNGReader& r, TVXBitmap* Bitmap) {
  png_bytep trans = nullptr;
  int numTrans = 0;
  png_color_16p transColor = nullptr;
  if (png_get_tRNS(r.png, r.info, &trans, &numTrans, &transColor) == 0 || trans == nullptr || numTrans <= 0) return;
  TVXBitmap* alpha = Bitmap->AlphaChannel();
  alpha->SetFull(false);
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    const auto* idx = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
    auto* a = static_cast<uint8_t*>(alpha->ScanLine(y));
    if (idx == nullptr || a == nullptr) continue;
    for (int32_t x = 0; x < Bitmap->Width(); ++x) a[x] = idx[x] < numTrans ? trans[idx[x]] : 255;
  }
}

// A 1-bit grey image stays 1-bit; the grey value its transparency table names
// becomes transparent in the alpha channel.
void ApplyGreyTransparency(TPNGReader& r, TVXBitmap* Bitmap) {
  png_bytep trans = nullptr;
  int numTrans = 0;
  png_color_16p transColor = nullptr;
  if (png_get_tRNS(r.png, r.info, &trans, &numTrans, &transColor) == 0 || transColor == nullptr) return;
  const bool clear = (transColor->gray & 1) != 0;
  TVXBitmap* alpha = Bitmap->AlphaChannel();
  alpha->SetFull(false);
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    auto* a = static_cast<uint8_t*>(alpha->ScanLine(y));
    if (a == nullptr) continue;
    for (int32_t x = 0; x < Bitmap->Width(); ++x) a[x] = Bitmap->Pixels_vx1g(x, y) == clear ? 0 : 255;
  }
}

void ReadPNG(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& P, TProgressRec& Progress, bool Preview,
             const TVXRowSink* Rows) {
  TPNGReader r;
  r.stream = Stream;
  r.aborting = Progress.Aborting;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, PNGErrorFn, PNGWarningFn);
  if (r.png != nullptr) r.info = png_create_info_struct(r.png);
  if (r.png == nullptr || r.info == nullptr) {
    *Progress.Aborting = true;
    return;
  }
  if (!DecodeHeader(r, P.IsNativePixelFormat, Rows != nullptr && Rows->Rgb)) {
    *Progress.Aborting = true;
    return;
  }
  CollectTexts(r, P);
  ReadBackground(r, P);
  FillParams(r, P);
  if (Preview) return;
  if (Bitmap == nullptr) {
    *Progress.Aborting = true;
    return;
  }

  const int32_t w = int32_t(r.width), h = int32_t(r.height);
  TVXPixelFormat pf = vx24RGB;
  if (r.bitDepth == 1 && r.colorType != PNG_COLOR_TYPE_PALETTE)
    pf = vx1g;
  else if (r.native && r.colorType == PNG_COLOR_TYPE_PALETTE)
    pf = vx8p;
  else if (r.native && r.bitDepth == 8)
    pf = vx8g;
  else if (r.native && r.bitDepth == 16)
    pf = vx16g;
  // What the image will hold before anything is allocated for it: its pixels,
  // the alpha channel and, for interlaced files, the rows kept between passes.
  const bool onePalette =
      r.bitDepth == 1 && r.colorType == PNG_COLOR_TYPE_PALETTE && pf == vx24RGB && r.channels != 4;
  int64_t bits = VXPixelFormatBitCount[pf];
  if (r.channels == 4) bits += 8 + (r.passes > 1 ? 32 : 0);
  if ((pf == vx8p || pf == vx1g) && png_get_valid(r.png, r.info, PNG_INFO_tRNS) != 0) bits += 8;
  if (onePalette && r.passes > 1) bits += 1;
  // Images read in one pass as colour rows may go to the sink, row by row.
  if (Rows != nullptr && Rows->Start && Rows->Row && pf == vx24RGB && !onePalette && r.passes == 1 &&
      (r.channels == 3 || r.channels == 4) && r.rgb == Rows->Rgb) {
    if (!VXImageSizeAllowed(w, h, bits)) {
      *Progress.Aborting = true;
      return;
    }
    if (Rows->Start(w, h, r.channels == 4)) {
      r.colour.assign(size_t(w) * 3, 0);
      if (r.channels == 4) {
        r.rgba.assign(size_t(w) * 4, 0);
        r.alpha.assign(size_t(w), 0);
      }
      Progress.per1 = 100.0 / double(h);
      Progress.val = 0;
      bool ok = StreamRows(r, *Rows, Progress);
      if (ok && !*Progress.Aborting) ok = FinishRead(r);
      if (!ok) *Progress.Aborting = true;
      return;
    }
  }
  if (!VXImageSizeAllowed(w, h, bits) || !Bitmap->Allocate(w, h, pf)) {
    *Progress.Aborting = true;
    return;
  }
  if (pf == vx8p) {
    Bitmap->SetPaletteUsed(1 << P.BitsPerSample());
    for (int32_t i = 0; i < P.ColorMapCount() && i < Bitmap->PaletteLength(); ++i)
      Bitmap->SetPalette(i, P.fColorMap[size_t(i)]);
  }

  Progress.per1 = 100.0 / (double(h) * r.passes);
  Progress.val = 0;
  if (r.channels == 4) {
    const size_t rows = r.passes > 1 ? size_t(h) : 1;
    r.rgba.assign(size_t(w) * 4 * rows, 0);
    TVXBitmap* alpha = Bitmap->AlphaChannel();
    if (alpha == nullptr || alpha->Width() != w || alpha->Height() != h) {
      *Progress.Aborting = true;
      return;
    }
    alpha->SetFull(false);
  } else if (onePalette) {
    // Interlaced images keep every row so that later passes add to earlier ones.
    const size_t rows = r.passes > 1 ? size_t(h) : 1;
    r.packed.assign((size_t(w) / 8 + 1) * rows, 0);
    // An index that the palette does not have reads black.
    r.palette.assign(2, TRGB{0, 0, 0});
    for (int32_t i = 0; i < 2 && i < P.ColorMapCount(); ++i) r.palette[size_t(i)] = P.fColorMap[size_t(i)];
  }

  bool ok = DecodeRows(r, Bitmap, Progress, onePalette);
  if (ok && !*Progress.Aborting) ok = FinishRead(r);
  if (!ok) *Progress.Aborting = true;
  if (r.native && r.colorType == PNG_COLOR_TYPE_PALETTE) ApplyPaletteTransparency(r, Bitmap);
  if (pf == vx1g && ok) ApplyGreyTransparency(r, Bitmap);
}

}  // namespace

void VXReadPNGStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool Preview, const TVXRowSink* Rows) {
  bool localAbort = false;
  if (Progress.Aborting == nullptr) Progress.Aborting = &localAbort;
  try {
    if (Stream == nullptr) throw EVXException("No stream");
    ReadPNG(Stream, Bitmap, IOParams, Progress, Preview, Rows);
  } catch (const std::exception& e) {
    if (std::string(e.what()) ==
        "vxvision.dll, vxvision32.dll, vxvision64.dll, vxlib.dll, vxlib32.dll or vxlib64.dll not found")
      throw;
    *Progress.Aborting = true;
  }
  if (Progress.Aborting == &localAbort) Progress.Aborting = nullptr;
}

bool VXIsPNGStream(TStream* Stream) {
  if (Stream == nullptr) return false;
  const int64_t pos = Stream->Position();
  uint8_t sig[8] = {0};
  int64_t got = 0;
  try {
    got = Stream->Read(sig, 8);
  } catch (...) {
    got = 0;
  }
  Stream->SetPosition(pos);
  if (got < 4) return false;
  return png_sig_cmp(sig, 0, 4) == 0;
}
