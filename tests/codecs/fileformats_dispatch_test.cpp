// Detection over real files made by ImageMagick, and the component's load and
// save dispatch by type, extension and content, with the PNG codec registered.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "../winui/uemf_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct TempFolder {
  TempFolder() {
    char tmpl[] = "/tmp/vx-dispatch-XXXXXX";
    Path = mkdtemp(tmpl);
  }
  ~TempFolder() { (void)!std::system(("rm -rf '" + Path + "'").c_str()); }
  std::string operator/(const std::string& n) const { return Path + "/" + n; }
  size_t Count() const {
    size_t n = 0;
    if (DIR* d = opendir(Path.c_str())) {
      while (dirent* e = readdir(d)) n += e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.') ? 1 : 0;
      closedir(d);
    }
    return n;
  }
  std::string Path;
};

bool Exists(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0;
}

Bytes ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

void WriteAll(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::string Capture(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

const std::string kSample = std::string(VX_SOURCE_DIR) + "/samples/icon.png";

void Paint(TVXBitmap& bmp, int w, int h) {
  bmp.Allocate(w, h, vx24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bmp.SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 9), uint8_t(y * 5), 77});
}

// ---------------------------------------------------------------------------
// Detection over a corpus

struct TCorpusFile {
  std::string Name;  // also ImageMagick's format prefix and the extension
  int32_t Expected;
};

// The types each MIME type of `file` stands for.
const std::map<std::string, std::set<int32_t>> kMime = {
    {"image/bmp", {5}},
    {"image/x-ms-bmp", {5}},
    {"image/gif", {2}},
    {"image/x-pcx", {4}},
    {"image/x-dcx", {19}},
    {"image/vnd.microsoft.icon", {6, 7}},
    {"image/x-icon", {6, 7}},
    {"image/x-win-bitmap", {7}},
    {"image/x-tga", {11}},
    {"image/x-portable-bitmap", {12}},
    {"image/x-portable-greymap", {12}},
    {"image/x-portable-pixmap", {12}},
    {"image/vnd.adobe.photoshop", {24}},
    {"image/jp2", {13}},
    {"image/x-jp2-codestream", {14}},
    {"image/png", {8}},
    {"image/jpeg", {3}},
    {"application/dicom", {28}},
    {"video/x-msvideo", {15}},
    {"image/wmf", {9}},
    {"image/x-wmf", {9}},
    {"image/emf", {10}},
    {"image/x-emf", {10}},
};

void Put16(Bytes& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}

// Stream headers of formats ImageMagick does not write.
std::map<std::string, std::pair<Bytes, int32_t>> HandWritten() {
  std::map<std::string, std::pair<Bytes, int32_t>> out;
  Bytes dcm(132 + 64);
  dcm[128] = 'D', dcm[129] = 'I', dcm[130] = 'C', dcm[131] = 'M';
  out["dicom.dcm"] = {dcm, 28};
  Bytes avi = {'R', 'I', 'F', 'F', 0x40, 0, 0, 0, 'A', 'V', 'I', ' ', 'L', 'I', 'S', 'T'};
  avi.resize(72);
  out["movie.avi"] = {avi, 15};
  // Metafiles as libuemf writes them.
  for (bool placeable : {false, true}) {
    vxtest::TWmf w(placeable ? 1.0 : 0, placeable ? 0.5 : 0, placeable ? 96 : 0);
    w.Add(U_WMRSETWINDOWEXT_set(vxtest::Pt16(96, 48))).Add(U_WMRRECTANGLE_set(vxtest::Rect16(2, 2, 40, 30)));
    out[placeable ? "placeable.wmf" : "plain.wmf"] = {w.Finish(), 9};
  }
  vxtest::TEmf e(9, 7);
  e.Add(U_EMRRECTANGLE_set(vxtest::Rectl(1, 1, 8, 6)));
  out["draw.emf"] = {e.Finish(), 10};
  Bytes pcx(128 + 16);
  pcx[0] = 0x0A, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8;
  Put16(pcx, 8, 3), Put16(pcx, 10, 3), pcx[65] = 1, Put16(pcx, 66, 4);
  out["header.pcx"] = {pcx, 4};
  return out;
}

TEST(FormatDetection, CorpusMatchesTheExpectedTypesAndFile) {
  struct stat st;
  if (stat("/usr/bin/convert", &st) != 0) GTEST_SKIP() << "/usr/bin/convert is missing";
  const bool haveFile = stat("/usr/bin/file", &st) == 0;
  TempFolder dir;
  std::map<std::string, int32_t> corpus;
  const TCorpusFile made[] = {{"bmp", 5}, {"gif", 2},  {"pcx", 4},  {"dcx", 19}, {"ico", 6},
                              {"cur", 7}, {"tga", 11}, {"pbm", 12}, {"pgm", 12}, {"ppm", 12},
                              {"psd", 24}, {"jp2", 13}, {"j2k", 14}, {"png", 8},  {"jpg", 3}};
  for (const TCorpusFile& f : made) {
    const std::string path = dir / ("image." + f.Name);
    Capture("/usr/bin/convert -size 9x7 gradient:red-blue " + f.Name + ":'" + path + "'");
    if (!Exists(path)) {
      ADD_FAILURE() << "convert wrote no " << f.Name;
      continue;
    }
    if (f.Name == "cur") {
      // ImageMagick writes cursors with the icon type: make it a cursor directory.
      Bytes b = ReadAll(path);
      if (b.size() > 2) b[2] = 2;
      WriteAll(path, b);
    }
    corpus[path] = f.Expected;
  }
  for (const auto& [name, data] : HandWritten()) {
    WriteAll(dir / name, data.first);
    corpus[dir / name] = data.second;
  }
  for (const auto& [path, expected] : corpus) {
    SCOPED_TRACE(path);
    const Bytes data = ReadAll(path);
    // At the start of a stream, and behind other bytes at a later position.
    for (size_t lead : {size_t(0), size_t(7)}) {
      Bytes shifted(lead, 0x20);
      shifted.insert(shifted.end(), data.begin(), data.end());
      TVXMemStream s(shifted.data(), int64_t(shifted.size()));
      s.SetPosition(int64_t(lead));
      EXPECT_EQ(VXFindStreamFormat(&s), expected) << "lead " << lead;
      EXPECT_EQ(s.Position(), int64_t(lead));
    }
    EXPECT_EQ(VXFindFileFormat(path, false), expected);
    if (haveFile) {
      const std::string mime = Capture("/usr/bin/file -b --mime-type '" + path + "'");
      const auto it = kMime.find(mime);
      if (it != kMime.end()) {
        EXPECT_TRUE(it->second.count(expected)) << "file says " << mime;
      }
    }
  }
}

TEST(FormatDetection, FilesVerifiedAgainstTheirExtension) {
  TempFolder dir;
  const Bytes png = ReadAll(kSample);
  WriteAll(dir / "png.jpg", png);
  WriteAll(dir / "png.xyz", png);
  WriteAll(dir / "noext", png);
  // An icon directory with one entry whose data follows it.
  Bytes ico = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 40, 0, 0, 0, 22, 0, 0, 0};
  ico.resize(22 + 40);
  WriteAll(dir / "icon.cur", ico);
  WriteAll(dir / "icon.png", ico);
  struct {
    std::string Name;
    bool Verify;
    int32_t Expected;
  } cases[] = {
      {"png.jpg", true, 0},   {"png.jpg", false, 8},  {"png.xyz", true, 0},  {"png.xyz", false, 8},
      {"noext", true, 0},     {"icon.cur", true, 7},  {"icon.cur", false, 6},
      // An icon under another known extension takes the extension's type.
      {"icon.png", true, 8},  {"missing.png", true, 0}, {"", false, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(VXFindFileFormat(c.Name.empty() ? "" : dir / c.Name, c.Verify), c.Expected) << c.Name << " " << c.Verify;
}

// ---------------------------------------------------------------------------
// Dispatch

// Withdraws a codec's record for the life of the object, as if that codec had
// not registered; the record comes back afterwards.
class TCodecWithdrawn {
 public:
  explicit TCodecWithdrawn(int32_t FileType) : fFileType(FileType) {
    if (const TVXCodecOps* ops = VXFindCodecOps(FileType)) fSaved = *ops, fHad = true;
    VXSetCodecOps(FileType, TVXCodecOps{});
  }
  ~TCodecWithdrawn() { VXSetCodecOps(fFileType, fHad ? fSaved : TVXCodecOps{}); }

 private:
  int32_t fFileType;
  TVXCodecOps fSaved;
  bool fHad = false;
};

// The PngSuite files that are not damaged on purpose.
std::vector<std::string> SoundPngSuiteFiles() {
  std::vector<std::string> files;
  if (DIR* d = opendir(VX_PNGSUITE_DIR)) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.substr(n.size() - 4) == ".png" && n[0] != 'x') files.push_back(n);
    }
    closedir(d);
  }
  return files;
}

struct Events {
  explicit Events(TVexlaneIO& io) {
    io.OnFinishWork = [this](void*) { ++Finished; };
  }
  int Finished = 0;
};

TEST(Dispatch, SavesByExtensionBeforeType) {
  TempFolder dir;
  TVXBitmap bmp;
  Paint(bmp, 6, 5);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  // The PNG line comes before the BMP line: the extension decides.
  io.SaveToFile(dir / "x.png", 5);
  ASSERT_FALSE(io.Aborting());
  const Bytes written = ReadAll(dir / "x.png");
  ASSERT_GT(written.size(), 8u);
  EXPECT_EQ(written[1], 'P');
  EXPECT_EQ(io.Params().FileType(), 8);
  EXPECT_EQ(io.Params().FileName(), dir / "x.png");
  struct stat st;
  if (stat("/usr/bin/pngcheck", &st) == 0) {
    EXPECT_EQ(std::system(("/usr/bin/pngcheck -q '" + dir / "x.png" + "' >/dev/null").c_str()), 0);
  }
  // A type alone chooses the line when the extension has none.
  io.SaveToFile(dir / "typed.bin", 8);
  EXPECT_EQ(ReadAll(dir / "typed.bin"), written);
  // An earlier line's extension wins over an explicit PNG type (whose codec
  // is withdrawn here).
  TCodecWithdrawn withoutJ2000(13);
  try {
    io.SaveToFile(dir / "x.jp2", 8);
    ADD_FAILURE() << "saved without a JPEG 2000 codec";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Cannot save JPEG2000: no codec is registered for it");
  }
  EXPECT_FALSE(Exists(dir / "x.jp2"));
}

TEST(Dispatch, SavesThatFindNoWriterCreateNothing) {
  TempFolder dir;
  TVXBitmap bmp;
  Paint(bmp, 4, 4);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  Events ev(io);
  const Bytes old = {'o', 'l', 'd', 0, 1, 2};
  struct {
    std::string Name;
    int32_t Format;
  } cases[] = {
      {"unknown.xyz", -1}, {"noext", -1},       {"cursor.cur", -1}, {"meta.wmf", -1}, {"photo.nef", -1},
      {"raw.bin", 21},     {"objects.vxv", -1}, {"layers.lyr", -1}, {"all.all", 27},  {"avi.avi", 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    io.SetAborting(false);
    io.SaveToFile(dir / c.Name, c.Format);
    EXPECT_TRUE(io.Aborting());
    EXPECT_FALSE(Exists(dir / c.Name));
    // Over an existing file: left byte for byte.
    WriteAll(dir / c.Name, old);
    io.SaveToFile(dir / c.Name, c.Format);
    EXPECT_EQ(ReadAll(dir / c.Name), old);
    unlink((dir / c.Name).c_str());
  }
  EXPECT_EQ(dir.Count(), 0u);
  EXPECT_EQ(ev.Finished, 0);
  io.SaveToFile("", 8);  // nothing at all
  EXPECT_EQ(ev.Finished, 0);
}

TEST(Dispatch, LoadsByExtensionTypeAndContent) {
  TempFolder dir;
  const Bytes png = ReadAll(kSample);
  WriteAll(dir / "a.png", png);
  WriteAll(dir / "a.xyz", png);
  WriteAll(dir / "a.dcm", png);
  TCodecWithdrawn withoutDicom(28);
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  Events ev(io);

  EXPECT_TRUE(io.LoadFromFile(dir / "a.png", -1));
  EXPECT_EQ(bmp.Width(), 96);
  EXPECT_EQ(io.Params().FileName(), dir / "a.png");

  bmp.Allocate(1, 1, vx24RGB);
  const int before = ev.Finished;
  EXPECT_FALSE(io.LoadFromFile(dir / "a.xyz", -1));
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(ev.Finished, before + 1);
  EXPECT_EQ(bmp.Width(), 1);
  EXPECT_TRUE(io.LoadFromFile(dir / "a.xyz", -9));
  // Unknown content: the failed load stays failed.
  WriteAll(dir / "junk.xyz", Bytes(64, 7));
  WriteAll(dir / "junk.png", Bytes(64, 7));
  for (const char* junk : {"junk.xyz", "junk.png"}) {
    EXPECT_FALSE(io.LoadFromFile(dir / junk, -9)) << junk;
    EXPECT_TRUE(io.Aborting()) << junk;
  }
  EXPECT_EQ(bmp.Width(), 96);
  EXPECT_TRUE(io.LoadFromFile(dir / "a.xyz", true));
  EXPECT_TRUE(io.LoadFromFile(dir / "a.xyz", false));  // the flag changes nothing
  EXPECT_TRUE(io.LoadFromFile(dir / "a.xyz", 8));
  EXPECT_TRUE(io.LoadFromFileAuto(dir / "a.xyz"));
  EXPECT_TRUE(io.LoadFromFileFormat(dir / "a.xyz", 8));
  EXPECT_EQ(io.Params().FileType(), 8);
  EXPECT_FALSE(io.LoadFromFileFormat(dir / "a.xyz", 15));  // no entry

  // A known extension whose codec has not registered names format and
  // operation; the exception passes before any retry by content.
  try {
    io.LoadFromFile(dir / "a.dcm", -1);
    ADD_FAILURE() << "loaded without a DICOM codec";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Cannot load DICOM Bitmap: no codec is registered for it");
  }
  EXPECT_THROW(io.LoadFromFile(dir / "a.dcm", -9), EVXException);

  const int beforeEmpty = ev.Finished;
  EXPECT_FALSE(io.LoadFromFile("", -1));
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(ev.Finished, beforeEmpty + 1);

  // An address goes to loading by URL (nothing listens on that port).
  const int beforeURL = ev.Finished;
  EXPECT_FALSE(io.LoadFromFile("HTTP://127.0.0.1:1/a.png", -1));
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(ev.Finished, beforeURL + 1);
  // AVI and media files that cannot be opened: false with Aborting.
  for (const char* name : {"clip.avi", "clip.mpg"}) {
    EXPECT_FALSE(io.LoadFromFile(dir / name, -1)) << name;
    EXPECT_TRUE(io.Aborting()) << name;
  }

  TVexlaneIO detached;
  detached.SetAttachedVXBitmap(nullptr);
  EXPECT_FALSE(detached.LoadFromFile(dir / "a.png", -1));
}

TEST(Dispatch, StreamsAndBuffers) {
  const Bytes png = ReadAll(kSample);
  Bytes shifted(13, 0x41);
  shifted.insert(shifted.end(), png.begin(), png.end());
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);

  TVXMemStream s(shifted.data(), int64_t(shifted.size()));
  s.SetPosition(13);
  EXPECT_TRUE(io.LoadFromStream(&s));
  EXPECT_EQ(bmp.Width(), 96);
  EXPECT_EQ(io.Params().FileType(), 8);
  s.SetPosition(13);
  EXPECT_TRUE(io.LoadFromStreamFormat(&s, 8));
  s.SetPosition(13);
  EXPECT_TRUE(io.LoadFromStreamFormat(&s, 0));
  s.SetPosition(0);
  EXPECT_FALSE(io.LoadFromStream(&s));  // "AAAA..." is nothing known
  EXPECT_TRUE(io.Aborting());
  EXPECT_FALSE(io.LoadFromStreamFormat(&s, 15));

  bmp.Allocate(2, 2, vx24RGB);
  io.LoadFromBuffer(png.data(), int32_t(png.size()), 0);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(bmp.Width(), 96);
  for (auto [buffer, size] : {std::pair<const void*, int32_t>{nullptr, 100}, {png.data(), 0}, {png.data(), -5}}) {
    bmp.Allocate(2, 2, vx24RGB);
    io.SetAborting(false);
    io.LoadFromBuffer(buffer, size, 8);
    EXPECT_TRUE(io.Aborting()) << size;
    EXPECT_EQ(bmp.Width(), 2);
    io.SetAborting(false);
    io.ParamsFromBuffer(buffer, size, 0);
    EXPECT_TRUE(io.Aborting()) << size;
  }

  TMemoryStream out;
  out.Write("head", 4);
  io.SaveToStream(&out, 8);
  EXPECT_FALSE(io.Aborting());
  ASSERT_GT(out.Size(), 12);
  out.SetPosition(4);
  EXPECT_EQ(VXFindStreamFormat(&out), 8);
  const int64_t size = out.Size();
  for (int32_t type : {21, 25, 7, 9, 15, 0}) {
    io.SetAborting(false);
    io.SaveToStream(&out, type);
    EXPECT_TRUE(io.Aborting()) << type;
    EXPECT_EQ(out.Size(), size) << type;
  }
  TCodecWithdrawn withoutJ2000(13);
  EXPECT_THROW(io.SaveToStream(&out, 13), EVXException);
}

TEST(Dispatch, ParamsOnlyLeaveTheTargetAlone) {
  TempFolder dir;
  const Bytes png = ReadAll(kSample);
  WriteAll(dir / "a.png", png);
  WriteAll(dir / "cut.png", Bytes(png.begin(), png.begin() + 20));
  Bytes damaged = png;
  damaged[12] = 'X';  // the IHDR chunk's type
  WriteAll(dir / "damaged.png", damaged);
  TCodecWithdrawn withoutDicom(28);
  Bytes dicom(128, 0);  // a DICOM preamble: found by content, but no codec reads it here
  dicom.insert(dicom.end(), {'D', 'I', 'C', 'M', 2, 0, 0x10, 0, 'U', 'I', 2, 0, '1', 0});
  WriteAll(dir / "a.dcm", dicom);
  TVXBitmap bmp;
  Paint(bmp, 3, 2);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  Events ev(io);
  io.ParamsFromFile(dir / "a.png");
  EXPECT_EQ(io.Params().FileType(), 8);
  EXPECT_EQ(io.Params().Width(), 96);
  EXPECT_EQ(io.Params().FileName(), dir / "a.png");
  EXPECT_EQ(bmp.Width(), 3);
  EXPECT_EQ(bmp.Pixels_vx24RGB(2, 1).r, 77);
  for (const char* name : {"missing.png", "cut.png", "damaged.png", "a.dcm"}) {
    EXPECT_NO_THROW(io.ParamsFromFile(dir / name)) << name;
    EXPECT_EQ(io.Params().FileType(), 0) << name;
  }
  EXPECT_EQ(ev.Finished, 5);
  // From a stream: the position of the image, the file name unchanged.
  Bytes shifted(9, 0);
  shifted.insert(shifted.end(), png.begin(), png.end());
  TVXMemStream s(shifted.data(), int64_t(shifted.size()));
  s.SetPosition(9);
  io.ParamsFromStream(&s);
  EXPECT_EQ(io.Params().FileType(), 8);
  EXPECT_EQ(io.Params().Height(), 96);
  EXPECT_EQ(io.Params().FileName(), dir / "a.dcm");
  io.ParamsFromBuffer(png.data(), int32_t(png.size()), 8);
  EXPECT_EQ(io.Params().FileType(), 8);
  io.ParamsFromBuffer(png.data(), 30, 0);
  EXPECT_EQ(io.Params().FileType(), 0);
  EXPECT_EQ(bmp.Width(), 3);
}

TEST(Dispatch, ParamsFromFileMatchIdentifyOverPngSuite) {
  struct stat st;
  if (stat("/usr/bin/identify", &st) != 0) GTEST_SKIP() << "/usr/bin/identify is missing";
  const std::vector<std::string> files = SoundPngSuiteFiles();
  if (files.empty()) GTEST_SKIP() << "PngSuite not found at " VX_PNGSUITE_DIR;
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  for (const std::string& n : files) {
    const std::string path = std::string(VX_PNGSUITE_DIR) + "/" + n;
    const std::string expected =
        Capture("/usr/bin/identify -format '%w %h %[png:IHDR.bit-depth-orig]' '" + path + "[0]'");
    io.ParamsFromFile(path);
    EXPECT_EQ(io.Params().FileType(), 8) << n;
    EXPECT_EQ(std::to_string(io.Params().Width()) + " " + std::to_string(io.Params().Height()) + " " +
                  std::to_string(io.Params().BitsPerSample()),
              expected)
        << n;
  }
  EXPECT_EQ(bmp.Width(), 0);
}

TEST(Dispatch, FileTypeStrOfLoadedPngSuiteFiles) {
  struct stat st;
  if (stat("/usr/bin/pngcheck", &st) != 0) GTEST_SKIP() << "/usr/bin/pngcheck is missing";
  const std::vector<std::string> files = SoundPngSuiteFiles();
  if (files.empty()) GTEST_SKIP() << "PngSuite not found at " VX_PNGSUITE_DIR;
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  size_t interlaced = 0;
  for (const std::string& n : files) {
    const std::string path = std::string(VX_PNGSUITE_DIR) + "/" + n;
    const std::string report = Capture("/usr/bin/pngcheck '" + path + "'");
    const bool isInterlaced = report.find(", interlaced") != std::string::npos;
    interlaced += isInterlaced;
    ASSERT_TRUE(io.LoadFromFile(path, -1)) << n;
    EXPECT_EQ(io.Params().FileTypeStr(),
              std::string("Portable Network Graphics (PNG)") + (isInterlaced ? " Interlaced" : ""))
        << n << ": " << report;
  }
  EXPECT_GT(interlaced, 0u);
}

// A format that a plug-in registers goes through the entry's own functions.
int gReads = 0;
void ReadThree(TStream* s, TVXBitmap* b, TIOParamsVals& p, TProgressRec& progress, bool preview) {
  ++gReads;
  char m[4] = {};
  if (s->Read(m, 4) != 4 || std::string(m, 4) != "THRE") {
    *progress.Aborting = true;
    return;
  }
  p.SetWidth(3);
  if (!preview) b->Allocate(3, 1, vx24RGB);
}
void ReadRaises(TStream*, TVXBitmap*, TIOParamsVals&, TProgressRec&, bool) { throw EVXException("broken"); }
void WriteThree(TStream* s, TVXBitmap* b, TIOParamsVals&, TProgressRec& progress) {
  if (b->Width() == 0) {
    *progress.Aborting = true;
    return;
  }
  s->Write("THRE", 4);
}
bool TryThree(TStream* s, int32_t) {
  char m[4] = {};
  return s->Read(m, 4) == 4 && std::string(m, 4) == "THRE";
}

class PluginFormat : public ::testing::Test {
 protected:
  void SetUp() override {
    VXRegisterFileFormat(
        new TVXFileFormatInfo(8300, "Three", "THR", "", false, 0, &ReadThree, &WriteThree, &TryThree));
    VXRegisterFileFormat(new TVXFileFormatInfo(8301, "Raises", "RAI", "", false, 0, &ReadRaises, nullptr, nullptr));
  }
  void TearDown() override {
    VXUnregisterFileFormat(8300);
    VXUnregisterFileFormat(8301);
  }
};

TEST_F(PluginFormat, LoadsAndSavesThroughTheEntry) {
  TempFolder dir;
  TVXBitmap bmp;
  Paint(bmp, 5, 5);
  bmp.SetPixelFormat(vx8g);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  Events ev(io);
  io.SaveToFile(dir / "a.thr", -1);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(bmp.PixelFormat(), vx24RGB);  // converted for the writer
  EXPECT_EQ(ReadAll(dir / "a.thr"), (Bytes{'T', 'H', 'R', 'E'}));
  EXPECT_EQ(io.Params().FileType(), 8300);
  EXPECT_EQ(ev.Finished, 1);

  // A writer that fails leaves the old file and no temporary one.
  TVXBitmap empty;
  io.SetAttachedVXBitmap(&empty);
  io.SaveToFile(dir / "a.thr", 8300);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(ReadAll(dir / "a.thr"), (Bytes{'T', 'H', 'R', 'E'}));
  EXPECT_EQ(dir.Count(), 1u);

  io.SetAttachedVXBitmap(&bmp);
  EXPECT_TRUE(io.LoadFromFile(dir / "a.thr", -1));
  EXPECT_EQ(bmp.Width(), 3);
  EXPECT_EQ(io.Params().FileType(), 8300);
  EXPECT_EQ(io.Params().FileName(), dir / "a.thr");
  EXPECT_TRUE(io.LoadFromFileFormat(dir / "a.thr", 8300));
  EXPECT_EQ(VXFindFileFormat(dir / "a.thr", true), 8300);

  WriteAll(dir / "b.rai", {'x'});
  EXPECT_FALSE(io.LoadFromFile(dir / "b.rai", -1));  // the reader's exception becomes Aborting
  EXPECT_TRUE(io.Aborting());
  EXPECT_THROW(io.LoadFromFileFormat(dir / "b.rai", 8301), EVXException);

  Bytes data = {'z', 'T', 'H', 'R', 'E'};
  TVXMemStream s(data.data(), int64_t(data.size()));
  s.SetPosition(1);
  bmp.Allocate(1, 1, vx24RGB);
  EXPECT_TRUE(io.LoadFromStream(&s));
  EXPECT_EQ(bmp.Width(), 3);
  s.SetPosition(1);
  io.ParamsFromStream(&s);
  EXPECT_EQ(io.Params().FileType(), 8300);
  EXPECT_EQ(io.Params().Width(), 3);

  TMemoryStream out;
  io.SaveToStream(&out, 8300);
  EXPECT_EQ(out.Size(), 4);
  EXPECT_EQ(io.Params().FileType(), 8300);
}

}  // namespace
