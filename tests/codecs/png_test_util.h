// Helpers of the PNG codec tests: PNG files written straight with libpng (fixtures
// the library's writer would not make), a chunk lister, and encoding through the
// library into memory.
#pragma once

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/png.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "io/params.h"

namespace pngtest {

struct Chunk {
  std::string Type;
  std::vector<uint8_t> Data;
};

inline uint32_t BE32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

inline std::vector<Chunk> Chunks(const std::vector<uint8_t>& png) {
  std::vector<Chunk> out;
  size_t pos = 8;
  while (pos + 12 <= png.size()) {
    const uint32_t len = BE32(&png[pos]);
    if (pos + 12 + len > png.size()) break;
    out.push_back({std::string(reinterpret_cast<const char*>(&png[pos + 4]), 4),
                   std::vector<uint8_t>(png.begin() + long(pos) + 8, png.begin() + long(pos) + 8 + long(len))});
    pos += 12 + len;
  }
  return out;
}

inline const Chunk* Find(const std::vector<Chunk>& cs, const std::string& type) {
  for (const auto& c : cs)
    if (c.Type == type) return &c;
  return nullptr;
}

// Colour type and bit depth from IHDR.
inline int ColorType(const std::vector<uint8_t>& png) { return png.size() > 25 ? png[25] : -1; }
inline int BitDepth(const std::vector<uint8_t>& png) { return png.size() > 24 ? png[24] : -1; }

// Raw PNG encoding with libpng of rows given as file samples.
struct RawImage {
  int Width = 0, Height = 0, BitDepth = 8, ColorType = PNG_COLOR_TYPE_RGB;
  bool Interlaced = false;
  std::vector<png_color> Palette;
  std::vector<png_byte> Trans;
  std::vector<std::vector<uint8_t>> Rows;
  std::vector<std::pair<std::string, std::string>> Texts;
  std::vector<std::pair<std::string, std::string>> InternationalTexts;  // iTXt
  bool HasPhys = false;
  png_uint_32 PpmX = 0, PpmY = 0;
  bool HasBackground = false;
  png_color_16 Background{};
};

inline void AppendBytes(png_structp png, png_bytep data, size_t len) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + len);
}
inline void NoFlush(png_structp) {}

inline std::vector<uint8_t> Encode(const RawImage& img) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_benign_errors(png, 1);
  png_set_check_for_invalid_index(png, 0);
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, png_uint_32(img.Width), png_uint_32(img.Height), img.BitDepth, img.ColorType,
               img.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!img.Palette.empty()) png_set_PLTE(png, info, img.Palette.data(), int(img.Palette.size()));
  if (!img.Trans.empty()) png_set_tRNS(png, info, img.Trans.data(), int(img.Trans.size()), nullptr);
  if (img.HasBackground) png_set_bKGD(png, info, &img.Background);
  if (img.HasPhys) png_set_pHYs(png, info, img.PpmX, img.PpmY, PNG_RESOLUTION_METER);
  std::vector<png_text> texts(img.Texts.size() + img.InternationalTexts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    const bool intl = i >= img.Texts.size();
    const auto& t = intl ? img.InternationalTexts[i - img.Texts.size()] : img.Texts[i];
    std::memset(&texts[i], 0, sizeof(png_text));
    texts[i].compression = intl ? PNG_ITXT_COMPRESSION_NONE : PNG_TEXT_COMPRESSION_NONE;
    texts[i].key = const_cast<char*>(t.first.c_str());
    texts[i].text = const_cast<char*>(t.second.c_str());
    if (intl)
      texts[i].itxt_length = t.second.size();
    else
      texts[i].text_length = t.second.size();
  }
  if (!texts.empty()) png_set_text(png, info, texts.data(), int(texts.size()));
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int p = 0; p < passes; ++p)
    for (int y = 0; y < img.Height; ++y) png_write_row(png, img.Rows[size_t(y)].data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Reads PNG bytes through the library's reader.
inline bool Decode(const std::vector<uint8_t>& data, TVXBitmap& bmp, TIOParamsVals& params) {
  TVXMemStream s(data.data(), int64_t(data.size()));
  bool aborting = false;
  TProgressRec pr;
  pr.Aborting = &aborting;
  bmp.RemoveAlphaChannel(false, 0);
  VXReadPNGStream(&s, &bmp, params, pr, false);
  return !aborting;
}

// Writes a bitmap through the library's writer (its alpha channel as the mask).
inline std::vector<uint8_t> EncodeBitmap(TVXBitmap& bmp, TIOParamsVals& params) {
  TMemoryStream s;
  bool aborting = false;
  TProgressRec pr;
  pr.Aborting = &aborting;
  TVXMask mask;
  TVXMask* m = nullptr;
  if (bmp.HasAlphaChannel()) {
    bmp.AlphaChannel()->CopyToTVXMask(&mask);
    m = &mask;
  }
  VXWritePNGStream(&s, &bmp, params, pr, m);
  const auto* p = static_cast<const uint8_t*>(s.Memory());
  return std::vector<uint8_t>(p, p + s.Size());
}

inline bool HavePngcheck() {
  struct stat st;
  return stat("/usr/bin/pngcheck", &st) == 0;
}

// pngcheck's verdict on the bytes (true when it accepts them).
inline bool PngcheckAccepts(const std::vector<uint8_t>& data, const std::string& name) {
  const std::string path = std::string(std::getenv("TMPDIR") && *std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                           "/vx-pngcheck-" + std::to_string(::getpid()) + "-" + name + ".png";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
  const int rc = std::system(("/usr/bin/pngcheck -q '" + path + "' >/dev/null 2>&1").c_str());
  std::remove(path.c_str());
  return rc == 0;
}

}  // namespace pngtest
