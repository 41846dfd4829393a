// The codec floor of a resizer run: the time one core needs for nothing but
// the PNG work that the run cannot avoid. Every source is decoded once with
// libpng, and every output the run made from it is encoded again with the
// program's settings (zlib level 5, no row filter), from its own rows in its
// own colour type. Reading the files and decoding the outputs (to get their
// rows) are not timed.
//
//   bench_codec_floor SOURCE_FOLDER OUTPUT_FOLDER [REPEATS]
//
// SOURCE_FOLDER holds the PNG files the run read (not recursed), OUTPUT_FOLDER
// the bucket folders it wrote. Prints "codec floor: <seconds> s ..." with the
// best of REPEATS (default 3) passes, in processor time: what one core needs,
// whatever else the machine runs meanwhile.
#include <dirent.h>
#include <time.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_util.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<std::string> List(const std::string& Folder, bool Folders) {
  std::vector<std::string> names;
  DIR* d = opendir(Folder.c_str());
  if (d == nullptr) return names;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n[0] == '.') continue;
    const bool isDir = e->d_type == DT_DIR;
    if (Folders ? isDir : (!isDir && n.size() > 4 && n.compare(n.size() - 4, 4, ".png") == 0)) names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// A decoded PNG as stored: rows of its own colour type and depth.
struct TImage {
  png_uint_32 Width = 0, Height = 0;
  int Depth = 0, ColorType = 0;
  std::vector<png_color> Palette;
  std::vector<png_byte> Trans;
  bool HasTransColor = false;
  png_color_16 TransColor{};
  std::vector<uint8_t> Pixels;
  size_t RowBytes = 0;
};

struct TReader {
  const std::vector<uint8_t>* Data;
  size_t Pos = 0;
};

void ReadFn(png_structp png, png_bytep out, size_t n) {
  auto* r = static_cast<TReader*>(png_get_io_ptr(png));
  if (r->Pos + n > r->Data->size()) png_error(png, "truncated");
  std::memcpy(out, r->Data->data() + r->Pos, n);
  r->Pos += n;
}

bool Decode(const std::vector<uint8_t>& Data, TImage& Image) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  TReader reader{&Data};
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, ReadFn);
  png_read_info(png, info);
  Image.Width = png_get_image_width(png, info);
  Image.Height = png_get_image_height(png, info);
  Image.Depth = png_get_bit_depth(png, info);
  Image.ColorType = png_get_color_type(png, info);
  png_colorp pal = nullptr;
  int palCount = 0;
  if (png_get_PLTE(png, info, &pal, &palCount) != 0) Image.Palette.assign(pal, pal + palCount);
  png_bytep trans = nullptr;
  int transCount = 0;
  png_color_16p transColor = nullptr;
  if (png_get_tRNS(png, info, &trans, &transCount, &transColor) != 0) {
    if (trans != nullptr) Image.Trans.assign(trans, trans + transCount);
    if (transColor != nullptr && Image.ColorType != PNG_COLOR_TYPE_PALETTE) {
      Image.HasTransColor = true;
      Image.TransColor = *transColor;
    }
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  Image.RowBytes = png_get_rowbytes(png, info);
  Image.Pixels.resize(Image.RowBytes * Image.Height);
  rows.resize(Image.Height);
  for (png_uint_32 y = 0; y < Image.Height; ++y) rows[y] = Image.Pixels.data() + size_t(y) * Image.RowBytes;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

void WriteFn(png_structp png, png_bytep data, size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void FlushFn(png_structp) {}

// Encodes Image with the program's settings; the size of the file.
size_t Encode(const TImage& Image) {
  std::vector<uint8_t> out;
  out.reserve(Image.Pixels.size() / 2 + 1024);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return 0;
  }
  png_set_write_fn(png, &out, WriteFn, FlushFn);
  png_set_IHDR(png, info, Image.Width, Image.Height, Image.Depth, Image.ColorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!Image.Palette.empty())
    png_set_PLTE(png, info, const_cast<png_colorp>(Image.Palette.data()), int(Image.Palette.size()));
  if (!Image.Trans.empty() || Image.HasTransColor)
    png_set_tRNS(png, info, const_cast<png_bytep>(Image.Trans.data()), int(Image.Trans.size()),
                 Image.HasTransColor ? const_cast<png_color_16p>(&Image.TransColor) : nullptr);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(png, 5);
  png_write_info(png, info);
  for (png_uint_32 y = 0; y < Image.Height; ++y)
    png_write_row(png, const_cast<png_bytep>(Image.Pixels.data() + size_t(y) * Image.RowBytes));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out.size();
}

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SOURCE_FOLDER OUTPUT_FOLDER [REPEATS]\n", argv[0]);
    return 2;
  }
  const std::string src = argv[1], out = argv[2];
  const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;

  // Everything read and the outputs decoded before timing.
  struct TSource {
    std::vector<uint8_t> Data;
    std::vector<TImage> Outputs;
  };
  std::vector<TSource> sources;
  const std::vector<std::string> buckets = List(out, true);
  size_t outputs = 0;
  for (const std::string& name : List(src, false)) {
    TSource s;
    s.Data = ReadFile(src + "/" + name);
    for (const std::string& b : buckets) {
      const std::vector<uint8_t> bytes = ReadFile(out + "/" + b + "/" + name);
      TImage image;
      if (bytes.empty() || !Decode(bytes, image)) continue;
      s.Outputs.push_back(std::move(image));
      ++outputs;
    }
    sources.push_back(std::move(s));
  }
  if (sources.empty()) {
    std::fprintf(stderr, "codec floor: no PNG files in %s\n", src.c_str());
    return 1;
  }

  double best = 0, bestDecode = 0, bestEncode = 0, bestWall = 0;
  size_t bytes = 0;
  for (int r = 0; r < repeats; ++r) {
    double decode = 0, encode = 0;
    bytes = 0;
    const auto w0 = vxbench::Clock::now();
    for (const TSource& s : sources) {
      const double t0 = CpuSeconds();
      TImage image;
      if (!Decode(s.Data, image)) {
        std::fprintf(stderr, "codec floor: a source cannot be decoded\n");
        return 1;
      }
      const double t1 = CpuSeconds();
      for (const TImage& o : s.Outputs) bytes += Encode(o);
      const double t2 = CpuSeconds();
      decode += t1 - t0;
      encode += t2 - t1;
    }
    const double wall = vxbench::Seconds(w0, vxbench::Clock::now());
    if (r == 0 || decode + encode < best) {
      best = decode + encode;
      bestDecode = decode;
      bestEncode = encode;
      bestWall = wall;
    }
  }
  std::printf("codec floor: %.3f s (decode %.3f s, encode %.3f s; %.3f s wall; %zu sources, %zu outputs, %zu bytes,"
              " best of %d)\n",
              best, bestDecode, bestEncode, bestWall, sources.size(), outputs, bytes, repeats);
  return 0;
}
