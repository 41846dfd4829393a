// Inputs whose cost could far exceed their size: each is made here at two
// sizes (the second about twice the first) and read as its reader reads it.
// Prints, per input, both sizes in bytes and times in milliseconds and the
// growth of the time against the growth of the size (about 1 when the cost
// follows the input, far more when it multiplies; the crossing bars make a
// region of a quarter of their count squared rectangles, so there 2 follows
// the result's size); the last line reads
// "costly: worst <ms> ms for <n> KB (<input>)".
//
//   bench_costly [runs] [name]   best of runs (default 3) for each input,
//                                only those whose name holds name if given
//   bench_costly seeds DIR       writes the larger input of each as the fuzz
//                                seed DIR/<target>/<file> (fuzz/seeds holds
//                                them); the metafile's seed is smaller (60
//                                bars: the import tests flip its every bit),
//                                and so are the module's (64 icons), the
//                                old-style JPEG page's (400 strips), the
//                                tiled page's (2048 rows) and the region's
//                                (250 bars): a fuzzer grows its inputs to its
//                                largest seed's size
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench_util.h"
#include "core/bitmap.h"
#include "core/resextract.h"
#include "core/startup.h"
#include "core/streams.h"
#include "formats/dicom.h"
#include "formats/jpeg2000.h"
#include "formats/tiff_pages.h"
#include "formats/tiffhandler.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "winui/gdi.h"
#include "winui/metafile.h"

namespace {

using TBytes = std::vector<uint8_t>;

void Put16(TBytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(TBytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Set32(TBytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void Append(TBytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

// DICOM: sequences nested Depth deep, each of a defined length that covers
// only the header of its one item, an item of undefined length that never
// ends (explicit little-endian).
TBytes NestedDicom(int Depth) {
  const auto element = [](uint16_t g, uint16_t e, const char* vr, const TBytes& v) {
    TBytes b;
    Put16(b, g);
    Put16(b, e);
    Append(b, vr);
    if (std::strcmp(vr, "SQ") == 0) {
      Put16(b, 0);
      Put32(b, 8);
    } else {
      Put16(b, uint32_t(v.size()));
    }
    b.insert(b.end(), v.begin(), v.end());
    return b;
  };
  std::function<TBytes(int)> nest = [&](int d) -> TBytes {
    if (d == 0) return element(0x10, 0x10, "PN", {'A', 'B'});
    TBytes item;
    Put16(item, 0xFFFE);
    Put16(item, 0xE000);
    Put32(item, 0xFFFFFFFF);
    const TBytes inner = nest(d - 1);
    item.insert(item.end(), inner.begin(), inner.end());
    TBytes out = element(0x08, 0x1115, "SQ", item);
    const TBytes tail = element(0x10, 0x20, "LO", {'X', 'Y'});
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
  };
  TBytes f(128, 0);
  Append(f, "DICM");
  const std::string ts("1.2.840.10008.1.2.1\0", 20);
  const TBytes meta = element(2, 0x10, "UI", TBytes(ts.begin(), ts.end()));
  f.insert(f.end(), meta.begin(), meta.end());
  const TBytes body = nest(Depth);
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

// A little-endian TIFF directory of (code, type, count, value) entries at the
// end of B; the link to the next directory is 0. Returns its position.
struct TEntry {
  uint16_t Code, Type;
  uint32_t Count, Value;
};
uint32_t AddIFD(TBytes& B, std::vector<TEntry> E) {
  std::sort(E.begin(), E.end(), [](const TEntry& a, const TEntry& b) { return a.Code < b.Code; });
  if (B.size() & 1) B.push_back(0);
  const uint32_t at = uint32_t(B.size());
  Put16(B, uint32_t(E.size()));
  for (const TEntry& e : E) {
    Put16(B, e.Code);
    Put16(B, e.Type);
    Put32(B, e.Count);
    if (e.Type == 3 && e.Count == 1) {
      Put16(B, e.Value);
      Put16(B, 0);
    } else {
      Put32(B, e.Value);
    }
  }
  Put32(B, 0);
  return at;
}
TBytes TiffHeader() { return TBytes{'I', 'I', 42, 0, 8, 0, 0, 0}; }
uint32_t AddLongs(TBytes& B, const std::vector<uint32_t>& V) {
  if (B.size() & 1) B.push_back(0);
  const uint32_t at = uint32_t(B.size());
  for (uint32_t v : V) Put32(B, v);
  return at;
}

// TIFF: one page whose EXIF directory links four times (the EXIF, GPS,
// interoperability and SubIFDs tags) to the same sub-directory, which links
// four times to the next, Levels deep.
TBytes SharedSubDirectories(int Levels) {
  TBytes b = TiffHeader();
  const size_t page = b.size();
  b.resize(page + 2 + 4 * 12 + 4, 0);  // room for the page
  uint32_t below = AddIFD(b, {{0x0100, 3, 1, 1}});
  for (int level = 0; level < Levels; ++level)
    below = AddIFD(b, {{330, 4, 1, below}, {34665, 4, 1, below}, {34853, 4, 1, below}, {40965, 4, 1, below}});
  TBytes first;
  AddIFD(first, {{256, 3, 1, 1}, {257, 3, 1, 1}, {258, 3, 1, 8}, {34665, 4, 1, below}});
  std::copy(first.begin(), first.end(), b.begin() + long(page));
  return b;
}

// TIFF: old-style JPEG page of Strips strips of one row each, whose shared
// interchange stream is a whole 256 x 256 progressive picture.
TBytes OldJpegStrips(const TBytes& Jpeg, int Strips) {
  TBytes b = TiffHeader();
  b.resize(64, 0);
  const uint32_t jpeg = uint32_t(b.size());
  b.insert(b.end(), Jpeg.begin(), Jpeg.end());
  const uint32_t offsets = AddLongs(b, std::vector<uint32_t>(size_t(Strips), jpeg));
  const uint32_t counts = AddLongs(b, std::vector<uint32_t>(size_t(Strips), 1));
  const uint32_t bits = AddLongs(b, {0x00080008, 0x00000008});
  const uint32_t ifd = AddIFD(b, {{256, 4, 1, 256},
                                  {257, 4, 1, uint32_t(Strips)},
                                  {258, 3, 3, bits},
                                  {259, 3, 1, 6},
                                  {262, 3, 1, 6},
                                  {273, 4, uint32_t(Strips), offsets},
                                  {277, 3, 1, 3},
                                  {278, 4, 1, 1},
                                  {279, 4, uint32_t(Strips), counts},
                                  {513, 4, 1, jpeg},
                                  {514, 4, 1, uint32_t(Jpeg.size())}});
  Set32(b, 4, ifd);
  return b;
}

// TIFF: a 16-pixel-wide RGB page Rows high in LZW tiles of 16 rows and
// 65536 columns, every tile the same few bytes.
TBytes WideTiles(int Rows) {
  TBytes b = TiffHeader();
  const uint32_t data = uint32_t(b.size());
  const uint8_t lzw[] = {0x80, 0x00, 0x20, 0x20};  // clear, then end of information
  b.insert(b.end(), lzw, lzw + sizeof lzw);
  const uint32_t tiles = uint32_t((Rows + 15) / 16);
  const uint32_t offsets = AddLongs(b, std::vector<uint32_t>(tiles, data));
  const uint32_t counts = AddLongs(b, std::vector<uint32_t>(tiles, uint32_t(sizeof lzw)));
  const uint32_t bits = AddLongs(b, {0x00080008, 0x00000008});
  const uint32_t ifd = AddIFD(b, {{256, 4, 1, 16},
                                  {257, 4, 1, uint32_t(Rows)},
                                  {258, 3, 3, bits},
                                  {259, 3, 1, 5},
                                  {262, 3, 1, 2},
                                  {277, 3, 1, 3},
                                  {322, 4, 1, 65536},
                                  {323, 4, 1, 16},
                                  {324, 4, tiles, offsets},
                                  {325, 4, tiles, counts}});
  Set32(b, 4, ifd);
  return b;
}

// RGNDATA of Bars horizontal and Bars vertical bars crossing one another.
TBytes CrossingBars(int Bars) {
  TBytes b;
  const uint32_t n = uint32_t(2 * Bars);
  Put32(b, 32);
  Put32(b, 1);  // RDH_RECTANGLES
  Put32(b, n);
  Put32(b, n * 16);
  for (int i = 0; i < 4; ++i) Put32(b, 0);
  const int32_t extent = 4 * Bars;
  for (int i = 0; i < Bars; ++i) {
    for (int32_t v : {0, 4 * i, extent, 4 * i + 2}) Put32(b, uint32_t(v));
    for (int32_t v : {4 * i, 0, 4 * i + 2, extent}) Put32(b, uint32_t(v));
  }
  return b;
}

// An enhanced metafile selecting the crossing bars as its clip region.
TBytes ClipMetafile(int Bars) {
  const TBytes rgn = CrossingBars(Bars);
  TBytes b;
  // EMR_HEADER
  Put32(b, 1);
  Put32(b, 88);
  for (int32_t v : {0, 0, 4 * Bars, 4 * Bars}) Put32(b, uint32_t(v));        // bounds
  for (int32_t v : {0, 0, 100 * Bars, 100 * Bars}) Put32(b, uint32_t(v));    // frame (0.01 mm)
  Put32(b, 0x464D4520);
  Put32(b, 0x10000);
  Put32(b, 0);  // bytes, set below
  Put32(b, 3);
  Put16(b, 1);
  Put16(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  for (int32_t v : {4 * Bars, 4 * Bars, 40 * Bars, 40 * Bars}) Put32(b, uint32_t(v));  // device, mm
  // EMR_EXTSELECTCLIPRGN, RGN_COPY
  Put32(b, 75);
  Put32(b, uint32_t(16 + rgn.size()));
  Put32(b, uint32_t(rgn.size()));
  Put32(b, 5);
  b.insert(b.end(), rgn.begin(), rgn.end());
  // EMR_EOF
  for (uint32_t v : {14u, 20u, 0u, 16u, 20u}) Put32(b, v);
  Set32(b, 48, uint32_t(b.size()));
  return b;
}

// An enhanced metafile combining Bars bars, one clip record each, into its
// clip region by exclusive or: horizontal and vertical bars in turn, so the
// region becomes a chequerboard.
TBytes ClipRecordsMetafile(int Bars) {
  TBytes b;
  const int32_t extent = 4 * Bars;
  // EMR_HEADER
  Put32(b, 1);
  Put32(b, 88);
  // A frame of 64 reference pixels (4 a millimetre), whose bars reach far
  // beyond it.
  for (int32_t v : {0, 0, 64, 64}) Put32(b, uint32_t(v));      // bounds
  for (int32_t v : {0, 0, 1600, 1600}) Put32(b, uint32_t(v));  // frame (0.01 mm)
  Put32(b, 0x464D4520);
  Put32(b, 0x10000);
  Put32(b, 0);  // bytes, set below
  Put32(b, uint32_t(Bars + 2));
  Put16(b, 1);
  Put16(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  for (int32_t v : {1000, 1000, 250, 250}) Put32(b, uint32_t(v));  // device, mm
  for (int i = 0; i < Bars; ++i) {
    // EMR_EXTSELECTCLIPRGN, RGN_XOR, one rectangle
    Put32(b, 75);
    Put32(b, 16 + 48);
    Put32(b, 48);
    Put32(b, 3);
    for (uint32_t v : {32u, 1u, 1u, 16u, 0u, 0u, 0u, 0u}) Put32(b, v);
    const int32_t at = 4 * (i / 2);
    const bool across = i % 2 == 0;
    for (int32_t v : {across ? 0 : at, across ? at : 0, across ? extent : at + 2, across ? at + 2 : extent})
      Put32(b, uint32_t(v));
  }
  // EMR_EOF
  for (uint32_t v : {14u, 20u, 0u, 16u, 20u}) Put32(b, v);
  Set32(b, 48, uint32_t(b.size()));
  return b;
}

// A PE module (data only) holding Icons icon resources and groups of eight
// frames naming them, group i icons 8i + 1 to 8i + 8, behind as many types of
// no resource as there are groups.
TBytes IconModule(int Icons) {
  const int Groups = Icons / 8;
  TBytes f(0x200, 0);
  f[0] = 'M';
  f[1] = 'Z';
  Set32(f, 0x3C, 0x80);
  const size_t pe = 0x80;
  std::memcpy(&f[pe], "PE\0\0", 4);
  f[pe + 4] = 0x4C;  // i386
  f[pe + 5] = 0x01;
  f[pe + 6] = 1;     // one section
  f[pe + 20] = 224;  // optional header size
  const size_t opt = pe + 24;
  f[opt] = 0x0B;
  f[opt + 1] = 0x01;
  Set32(f, opt + 92, 16);  // data directories
  const uint32_t rva = 0x1000;
  Set32(f, opt + 96 + 16, rva);
  const size_t sec = opt + 224;
  std::memcpy(&f[sec], ".rsrc", 5);
  // The resource section: root, the two types' name directories, one
  // language directory and data entry per resource, then the data.
  TBytes r;
  const auto dir = [&](uint32_t Entries) {
    const uint32_t at = uint32_t(r.size());
    r.resize(r.size() + 16 + 8 * size_t(Entries), 0);
    r[at + 14] = uint8_t(Entries);
    r[at + 15] = uint8_t(Entries >> 8);
    return at;
  };
  const auto entry = [&](uint32_t Dir, uint32_t Index, uint32_t Id, uint32_t Target) {
    Set32(r, Dir + 16 + 8 * Index, Id);
    Set32(r, Dir + 16 + 8 * Index + 4, Target);
  };
  // Types of no resource stand before the icons and groups, as many as groups.
  const uint32_t root = dir(uint32_t(Groups + 2));
  const uint32_t none = dir(0);
  for (int i = 0; i < Groups; ++i) entry(root, uint32_t(i), uint32_t(1000 + i), none | 0x80000000u);
  const uint32_t icons = dir(uint32_t(Icons)), groups = dir(uint32_t(Groups));
  entry(root, uint32_t(Groups), 3, icons | 0x80000000u);
  entry(root, uint32_t(Groups + 1), 14, groups | 0x80000000u);
  std::vector<uint32_t> dataEntries;
  for (int k = 0; k < 2; ++k)
    for (int i = 0; i < (k == 0 ? Icons : Groups); ++i) {
      const uint32_t lang = dir(1);
      entry(k == 0 ? icons : groups, uint32_t(i), uint32_t(i + 1), lang | 0x80000000u);
      const uint32_t data = uint32_t(r.size());
      r.resize(r.size() + 16, 0);
      entry(lang, 0, 0x409, data);
      dataEntries.push_back(data);
    }
  for (int k = 0; k < 2; ++k)
    for (int i = 0; i < (k == 0 ? Icons : Groups); ++i) {
      const uint32_t at = uint32_t(r.size());
      if (k == 0) {
        r.resize(r.size() + 40, 0);  // a bitmap header
        Set32(r, at, 40);
      } else {
        r.resize(r.size() + 6 + 8 * 14, 0);
        r[at + 2] = 1;
        r[at + 4] = 8;
        for (int j = 0; j < 8; ++j) {
          const size_t e = at + 6 + 14 * size_t(j);
          const int id = 8 * i + j + 1;
          r[e] = r[e + 1] = 16;
          r[e + 12] = uint8_t(id);
          r[e + 13] = uint8_t(id >> 8);
        }
      }
      const uint32_t d = dataEntries[size_t(k == 0 ? i : Icons + i)];
      Set32(r, d, rva + at);
      Set32(r, d + 4, uint32_t(r.size()) - at);
    }
  while (r.size() % 0x200) r.push_back(0);
  Set32(f, opt + 96 + 20, uint32_t(r.size()));
  Set32(f, sec + 8, uint32_t(r.size()));
  Set32(f, sec + 12, rva);
  Set32(f, sec + 16, uint32_t(r.size()));
  Set32(f, sec + 20, 0x200);
  Set32(f, opt + 56, rva + uint32_t(r.size()));  // image size
  f.insert(f.end(), r.begin(), r.end());
  return f;
}

// A J2K code stream whose size marker declares Side x Side pixels over the
// data of a flat 64 x 64 picture.
TBytes LargeJ2K(uint32_t Side) {
  TVXBitmap bmp;
  bmp.Allocate(64, 64, vx24RGB);
  bmp.Fill(0x808080);
  TMemoryStream ms;
  TIOParamsVals params;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXWriteJpeg2000Stream(&ms, &bmp, params, progress, 1);
  TBytes b(static_cast<const uint8_t*>(ms.Memory()), static_cast<const uint8_t*>(ms.Memory()) + ms.Size());
  // SIZ: FF51, Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz.
  for (size_t i = 0; i + 24 < b.size(); ++i)
    if (b[i] == 0xFF && b[i + 1] == 0x51) {
      for (size_t at : {i + 6, i + 10, i + 22, i + 26})
        for (int k = 0; k < 4; ++k) b[at + size_t(k)] = uint8_t(Side >> (24 - 8 * k));
      break;
    }
  return b;
}

TBytes SmallJpeg() {
  TVXBitmap bmp;
  bmp.Allocate(256, 256, vx24RGB);
  vxbench::PaintPhoto(bmp);
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&bmp);
  io.Params().SetJPEG_Quality(90);
  io.Params().SetJPEG_Progressive(true);
  TMemoryStream ms;
  io.SaveToStreamJpeg(&ms);
  return TBytes(static_cast<const uint8_t*>(ms.Memory()), static_cast<const uint8_t*>(ms.Memory()) + ms.Size());
}

void LoadTIFF(const TBytes& f) {
  TVXBitmap bmp;
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&bmp);
  TVXMemStream in(f.data(), int64_t(f.size()));
  io.LoadFromStreamTIFF(&in);
}

struct TCase {
  const char* Name;
  const char* Seed;  // target/file under fuzz/seeds
  int SeedSize;      // the seed's argument of Make when not the larger input's
  std::function<TBytes(int)> Make;  // the input at step 1 and 2 (about twice as large)
  std::function<void(const TBytes&)> Read;
};

}  // namespace

void PlayMetafile(const TBytes& f) {
  HENHMETAFILE m = SetEnhMetaFileBits(UINT(f.size()), f.data());
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 64;
  bi.bmiHeader.biHeight = 64;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT rc{0, 0, 64, 64};
  if (m) PlayEnhMetaFile(dc, m, &rc);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
  if (m) DeleteEnhMetaFile(m);
}

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  TVXLibraryGuard library;
  const TBytes jpeg = SmallJpeg();
  const std::string scratch = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                              "/vx-bench-costly-" + std::to_string(getpid()) + ".dll";
  const TCase cases[] = {
      {"dicom nesting", "dicom/nested_short_sequences.dcm", 0,
       [](int s) { return NestedDicom(12 * s); },
       [](const TBytes& f) {
         TVXMemStream in(f.data(), int64_t(f.size()));
         TVXBitmap bmp;
         TIOParamsVals params(nullptr);
         bool aborting = false;
         TProgressRec progress;
         progress.Aborting = &aborting;
         VXReadDicomStream(&in, params, &bmp, false, progress);
       }},
      {"tiff shared sub-directories", "tiffhandler/shared_subdirectories.tif", 0,
       [](int s) { return SharedSubDirectories(4 * s); },
       [](const TBytes& f) {
         TVXMemStream in(f.data(), int64_t(f.size()));
         TMemoryStream out;
         TIOParamsVals params;
         params.SetEXIF_Artist("bench");
         VXInjectEXIFIntoTIFF(&in, &out, "", "", 0, params);
         if (out.Size() > int64_t(f.size()) * 64 + 65536)
           std::printf("  (EXIF injection wrote %lld bytes from %zu)\n", static_cast<long long>(out.Size()), f.size());
       }},
      {"tiff old-style jpeg strips", "tiff/oldjpeg_whole_stream.tif", 400,
       [&](int s) { return OldJpegStrips(jpeg, s > 2 ? s : 2000 * s); },
       LoadTIFF},
      {"tiff wide tiles", "tiff/tiles_wider_than_image.tif", 2048,
       [](int s) { return WideTiles(s > 2 ? s : 8192 * s); },
       LoadTIFF},
      {"region of rectangles", "gdi_inputs/region_crossing_bars.bin", 1,
       [](int s) { return CrossingBars(250 * s); },
       [](const TBytes& f) {
         HRGN r = ExtCreateRegion(nullptr, DWORD(f.size()), reinterpret_cast<const RGNDATA*>(f.data()));
         if (r) DeleteObject(r);
       }},
      {"metafile clip region", "metafile/clip_region_bars.emf", 60,
       [](int s) { return ClipMetafile(s > 2 ? s : 250 * s); },
       PlayMetafile},
      {"metafile clip records", "metafile/clip_records_xor.emf", 60,
       [](int s) { return ClipRecordsMetafile(s > 2 ? s : 250 * s); },
       PlayMetafile},
      {"module icon groups", "pe_resources/icon_groups.dll", 64,
       [](int s) { return IconModule(s > 2 ? s : 512 * s); },
       [&](const TBytes& f) {
         FILE* out = std::fopen(scratch.c_str(), "wb");
         if (!out) return;
         std::fwrite(f.data(), 1, f.size(), out);
         std::fclose(out);
         TVXResourceExtractor x(scratch);
         const int32_t icons = x.IndexOfType("Icon");
         int32_t gt = -1, gi = -1, gf = -1;
         for (int32_t n = x.NamesCount(icons) - 16; n < x.NamesCount(icons); ++n) x.GetGroupAndFrame(icons, n, gt, gi, gf);
         std::remove(scratch.c_str());
       }},
      {"jpeg 2000 declared size", "jpeg2000/declares_425_mpixels.j2k", 0,
       [](int s) { return LargeJ2K(s == 1 ? 14577 : 20616); },
       [](const TBytes& f) {
         TVXMemStream in(f.data(), int64_t(f.size()));
         TVXBitmap bmp;
         TIOParamsVals params;
         bool aborting = false;
         TProgressRec progress;
         progress.Aborting = &aborting;
         VXReadJpeg2000Stream(&in, &bmp, params, progress, false);
       }},
  };
  if (argc == 3 && std::string(argv[1]) == "seeds") {
    for (const TCase& c : cases) {
      const TBytes b = c.Make(c.SeedSize ? c.SeedSize : 2);  // 1 and 2: the bench's sizes
      const std::string path = std::string(argv[2]) + "/" + c.Seed;
      FILE* out = std::fopen(path.c_str(), "wb");
      if (!out || std::fwrite(b.data(), 1, b.size(), out) != b.size()) {
        std::fprintf(stderr, "bench_costly: cannot write %s\n", path.c_str());
        return 1;
      }
      std::fclose(out);
    }
    return 0;
  }
  double worst = 0, worstKB = 0;
  std::string worstName;
  for (const TCase& c : cases) {
    if (argc > 2 && std::strstr(c.Name, argv[2]) == nullptr) continue;
    const TBytes a = c.Make(1), b = c.Make(2);
    const double ta = 1000 * vxbench::BestTime(runs, [&] { c.Read(a); });
    const double tb = 1000 * vxbench::BestTime(runs, [&] { c.Read(b); });
    const double growth = (tb / std::max(ta, 1e-3)) / (double(b.size()) / double(a.size()));
    std::printf("%-28s %7zu B %9.2f ms, %7zu B %9.2f ms, time/size growth %.2f\n", c.Name, a.size(), ta, b.size(), tb,
                growth);
    std::fflush(stdout);
    if (tb > worst) {
      worst = tb;
      worstKB = double(b.size()) / 1024;
      worstName = c.Name;
    }
  }
  std::printf("costly: worst %.1f ms for %.1f KB (%s)\n", worst, worstKB, worstName.c_str());
  return 0;
}
