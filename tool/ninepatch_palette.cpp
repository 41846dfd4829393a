#include "tool/ninepatch_palette.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <limits>
#include <memory>

namespace {

// Colours are packed as bytes R, G, B, A from the low end.
uint32_t Pack(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16 | uint32_t(a) << 24;
}
uint8_t Channel(uint32_t c, int i) { return uint8_t(c >> (8 * i)); }
uint8_t Alpha(uint32_t c) { return Channel(c, 3); }

// Every fully transparent colour serves a transparent border pixel.
bool SameColour(uint32_t a, uint32_t b) { return a == b || (Alpha(a) == 0 && Alpha(b) == 0); }

template <class F>
void ForEachBorderPixel(int32_t W, int32_t H, F Fn) {
  size_t i = 0;
  for (int32_t y = 0; y < H; ++y) {
    if (y == 0 || y == H - 1) {
      for (int32_t x = 0; x < W; ++x) Fn(x, y, i++);
    } else {
      Fn(0, y, i++);
      if (W > 1) Fn(W - 1, y, i++);
    }
  }
}

struct TFile {
  FILE* f = nullptr;
  ~TFile() {
    if (f) std::fclose(f);
  }
};

struct TReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~TReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
};

struct TWriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~TWriteStructs() { png_destroy_write_struct(&png, &info); }
};

// A palette image read as one index byte per pixel, with its other chunks kept in
// the read structures so that they are written back unchanged.
struct TIndexed {
  TReadStructs r;
  png_uint_32 w = 0, h = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  int newDepth = 8;  // of the written file
  std::vector<uint32_t> palette;
  std::vector<uint8_t> pixels;
  std::vector<png_bytep> rows;
};

bool ReadIndexed(FILE* f, TIndexed& I) {
  I.r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (I.r.png == nullptr) return false;
  I.r.info = png_create_info_struct(I.r.png);
  if (I.r.info == nullptr) return false;
  if (setjmp(png_jmpbuf(I.r.png))) return false;
  png_init_io(I.r.png, f);
  png_set_keep_unknown_chunks(I.r.png, PNG_HANDLE_CHUNK_ALWAYS, nullptr, 0);
  png_read_info(I.r.png, I.r.info);
  png_get_IHDR(I.r.png, I.r.info, &I.w, &I.h, &I.bitDepth, &I.colorType, &I.interlace, nullptr, nullptr);
  if (I.colorType != PNG_COLOR_TYPE_PALETTE) return true;
  png_colorp plte = nullptr;
  int n = 0;
  if (png_get_PLTE(I.r.png, I.r.info, &plte, &n) == 0 || n <= 0 || n > 256) return false;
  png_bytep trans = nullptr;
  int nTrans = 0;
  if (png_get_tRNS(I.r.png, I.r.info, &trans, &nTrans, nullptr) == 0 || trans == nullptr) nTrans = 0;
  for (int i = 0; i < n; ++i)
    I.palette.push_back(Pack(plte[i].red, plte[i].green, plte[i].blue, i < nTrans ? trans[i] : 255));
  if (I.bitDepth < 8) png_set_packing(I.r.png);
  png_set_interlace_handling(I.r.png);
  png_read_update_info(I.r.png, I.r.info);
  I.pixels.assign(size_t(I.w) * size_t(I.h), 0);
  I.rows.resize(I.h);
  for (png_uint_32 y = 0; y < I.h; ++y) I.rows[y] = I.pixels.data() + size_t(y) * I.w;
  png_read_image(I.r.png, I.rows.data());
  png_read_end(I.r.png, I.r.info);
  return true;
}

// Index of an entry holding Colour (any transparent one for a transparent colour),
// or -1.
int FindEntry(const std::vector<uint32_t>& Palette, uint32_t Colour) {
  for (size_t i = 0; i < Palette.size(); ++i)
    if (SameColour(Palette[i], Colour)) return int(i);
  return -1;
}

int64_t Distance(uint32_t a, uint32_t b) {
  int64_t d = 0;
  for (int i = 0; i < 4; ++i) {
    const int64_t c = int64_t(Channel(a, i)) - int64_t(Channel(b, i));
    d += c * c;
  }
  return d;
}

// Gives every border colour an entry and writes the border indices.
void MendPalette(TIndexed& I, const TNinePatchBorder& B) {
  const int32_t w = int32_t(I.w), h = int32_t(I.h);
  std::vector<int64_t> uses(256, 0);
  for (int32_t y = 1; y < h - 1; ++y)
    for (int32_t x = 1; x < w - 1; ++x) ++uses[I.pixels[size_t(y) * I.w + size_t(x)]];
  std::vector<bool> reserved(256, false);

  auto entryFor = [&](uint32_t colour) -> int {
    const int found = FindEntry(I.palette, colour);
    if (found >= 0) {
      reserved[size_t(found)] = true;
      return found;
    }
    int slot = -1;
    if (I.palette.size() < 256) {
      slot = int(I.palette.size());
      I.palette.push_back(colour);
    } else {
      for (size_t i = 0; i < I.palette.size() && slot < 0; ++i)
        if (uses[i] == 0 && !reserved[i]) slot = int(i);
      if (slot < 0) {
        // A full palette: the inner image gives up its two closest colours' difference.
        int64_t best = std::numeric_limits<int64_t>::max();
        int keep = -1, drop = -1;
        for (size_t i = 0; i < I.palette.size(); ++i)
          for (size_t j = 0; j < I.palette.size(); ++j) {
            if (i == j || reserved[j]) continue;
            const int64_t d = Distance(I.palette[i], I.palette[j]);
            if (d < best || (d == best && drop >= 0 && uses[j] < uses[size_t(drop)])) {
              best = d;
              keep = int(i);
              drop = int(j);
            }
          }
        for (int32_t y = 1; y < h - 1; ++y)
          for (int32_t x = 1; x < w - 1; ++x) {
            uint8_t& p = I.pixels[size_t(y) * I.w + size_t(x)];
            if (p == drop) p = uint8_t(keep);
          }
        uses[size_t(keep)] += uses[size_t(drop)];
        uses[size_t(drop)] = 0;
        slot = drop;
      }
      I.palette[size_t(slot)] = colour;
    }
    reserved[size_t(slot)] = true;
    return slot;
  };

  // Entries for the distinct border colours first, then the indices.
  std::vector<std::pair<uint32_t, int>> known;
  auto indexOf = [&](uint32_t colour) {
    for (const auto& k : known)
      if (SameColour(k.first, colour)) return k.second;
    const int e = entryFor(colour);
    known.emplace_back(colour, e);
    return e;
  };
  for (uint32_t c : B.Pixels) indexOf(c);
  ForEachBorderPixel(w, h, [&](int32_t x, int32_t y, size_t i) {
    I.pixels[size_t(y) * I.w + size_t(x)] = uint8_t(indexOf(B.Pixels[i]));
  });
}

bool WriteIndexed(FILE* f, TIndexed& I) {
  const size_t n = I.palette.size();
  I.newDepth = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
  std::vector<png_color> plte(n);
  std::vector<png_byte> trans;
  for (size_t i = 0; i < n; ++i) {
    plte[i] = png_color{Channel(I.palette[i], 0), Channel(I.palette[i], 1), Channel(I.palette[i], 2)};
    if (Alpha(I.palette[i]) != 255) trans.resize(i + 1, 255);
    if (i < trans.size()) trans[i] = Alpha(I.palette[i]);
  }
  TWriteStructs wr;
  wr.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (wr.png == nullptr) return false;
  if (setjmp(png_jmpbuf(wr.png))) return false;
  png_init_io(wr.png, f);
  png_set_IHDR(I.r.png, I.r.info, I.w, I.h, I.newDepth, PNG_COLOR_TYPE_PALETTE, I.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(I.r.png, I.r.info, plte.data(), int(n));
  // A histogram describes the old palette.
  png_free_data(I.r.png, I.r.info, PNG_FREE_HIST, -1);
  if (trans.empty())
    png_free_data(I.r.png, I.r.info, PNG_FREE_TRNS, -1);
  else
    png_set_tRNS(I.r.png, I.r.info, trans.data(), int(trans.size()), nullptr);
  png_set_rows(I.r.png, I.r.info, I.rows.data());
  png_write_png(wr.png, I.r.info, I.newDepth < 8 ? PNG_TRANSFORM_PACKING : PNG_TRANSFORM_IDENTITY, nullptr);
  return std::fflush(f) == 0 && !std::ferror(f);
}

}  // namespace

bool ReadNinePatchBorder(const std::string& File, TNinePatchBorder& Border) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, File.c_str())) return false;
  image.format = PNG_FORMAT_RGBA;
  if (image.width == 0 || image.height == 0 || uint64_t(image.width) * image.height > (uint64_t(1) << 30)) {
    png_image_free(&image);
    return false;
  }
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return false;
  Border.Width = int32_t(image.width);
  Border.Height = int32_t(image.height);
  Border.Pixels.clear();
  ForEachBorderPixel(Border.Width, Border.Height, [&](int32_t x, int32_t y, size_t) {
    const uint8_t* p = rgba.data() + (size_t(y) * image.width + size_t(x)) * 4;
    Border.Pixels.push_back(Pack(p[0], p[1], p[2], p[3]));
  });
  return true;
}

bool RestoreNinePatchBorder(const std::string& File, const TNinePatchBorder& Border) {
  auto indexed = std::make_unique<TIndexed>();
  {
    TFile in;
    in.f = std::fopen(File.c_str(), "rb");
    if (in.f == nullptr || !ReadIndexed(in.f, *indexed)) return false;
  }
  TIndexed& I = *indexed;
  if (I.colorType != PNG_COLOR_TYPE_PALETTE) return true;
  if (int32_t(I.w) != Border.Width || int32_t(I.h) != Border.Height) return false;
  MendPalette(I, Border);
  // Opened, never created: a file that a signal removed meanwhile stays away.
  TFile out;
  const int fd = open(File.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  out.f = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (out.f == nullptr && fd >= 0) close(fd);
  if (out.f == nullptr || !WriteIndexed(out.f, I)) return false;
  const bool closed = std::fclose(out.f) == 0;
  out.f = nullptr;
  return closed;
}
