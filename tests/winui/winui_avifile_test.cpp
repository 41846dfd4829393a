// The AVIFile layer: files written through it read back frame by frame,
// checked by ffprobe and ffmpeg where installed; palette changes,
// compressors, the options dialog, and damaged files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "winui/avifile.h"
#include "winui/headless.h"

namespace {

std::string TempName(const std::string& Name) {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vxavi-" + std::to_string(getpid()) + "-" + Name;
}

std::vector<uint8_t> ReadAll(const std::string& Name) {
  std::ifstream f(Name, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  std::ofstream f(Name, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
}

bool HaveTool(const char* Path) { return access(Path, X_OK) == 0; }

std::string RunCommand(const std::string& Command) {
  std::string out;
  if (FILE* p = popen(Command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// A BITMAPINFOHEADER of W x H (bottom-up) at Bits and a colour table.
std::vector<uint8_t> Format(int W, int H, int Bits, const std::vector<RGBQUAD>& Table = {}) {
  std::vector<uint8_t> f(40 + 4 * Table.size(), 0);
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = W;
  h.biHeight = H;
  h.biPlanes = 1;
  h.biBitCount = WORD(Bits);
  h.biCompression = BI_RGB;
  h.biSizeImage = DWORD(((W * Bits + 31) / 32) * 4 * H);
  h.biClrUsed = DWORD(Table.size());
  std::memcpy(f.data(), &h, 40);
  if (!Table.empty()) std::memcpy(f.data() + 40, Table.data(), 4 * Table.size());
  return f;
}

std::vector<RGBQUAD> Greys(int Offset) {
  std::vector<RGBQUAD> t(256);
  for (int i = 0; i < 256; ++i) {
    const uint8_t g = uint8_t((i * 3 + Offset) & 255);
    t[size_t(i)] = RGBQUAD{g, g, g, 0};
  }
  return t;
}

struct Writer {
  PAVIFILE file = nullptr;
  PAVISTREAM raw = nullptr, compressed = nullptr;
  HRESULT Open(const std::string& Name, int W, int H, DWORD Handler, DWORD Quality = DWORD(-1)) {
    AVIFileInit();
    HRESULT r = AVIFileOpenW(&file, Name.c_str(), OF_WRITE | OF_CREATE, nullptr);
    if (r != AVIERR_OK) return r;
    AVISTREAMINFOW si{};
    si.fccType = streamtypeVIDEO;
    si.dwScale = 100;
    si.dwRate = 2997;
    si.dwQuality = DWORD(-1);
    si.rcFrame = RECT{0, 0, W, H};
    r = AVIFileCreateStreamW(file, &raw, &si);
    if (r != AVIERR_OK) return r;
    AVICOMPRESSOPTIONS o{};
    o.fccType = streamtypeVIDEO;
    o.fccHandler = Handler;
    o.dwQuality = Quality;
    return AVIMakeCompressedStream(&compressed, raw, &o, nullptr);
  }
  void Close() {
    if (compressed) AVIStreamRelease(compressed);
    if (raw) AVIStreamRelease(raw);
    if (file) AVIFileRelease(file);
    compressed = raw = nullptr;
    file = nullptr;
    AVIFileExit();
  }
  ~Writer() { Close(); }
};

struct Reader {
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  PGETFRAME frames = nullptr;
  HRESULT Open(const std::string& Name) {
    HRESULT r = AVIFileOpenW(&file, Name.c_str(), OF_READ, nullptr);
    if (r != AVIERR_OK) return r;
    r = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0);
    if (r != AVIERR_OK) return r;
    frames = AVIStreamGetFrameOpen(stream, nullptr);
    return frames ? AVIERR_OK : AVIERR_BADFORMAT;
  }
  // Frame Pos as B, G, R bytes, top row first (empty when not delivered).
  std::vector<uint8_t> BGR(LONG Pos, int* Bits = nullptr) {
    const auto* p = static_cast<const uint8_t*>(AVIStreamGetFrame(frames, Pos));
    if (!p) return {};
    BITMAPINFOHEADER h;
    std::memcpy(&h, p, 40);
    if (Bits) *Bits = h.biBitCount;
    const RGBQUAD* table = reinterpret_cast<const RGBQUAD*>(p + 40);
    const uint8_t* bits = p + 40 + 4 * h.biClrUsed;
    const int64_t stride = ((int64_t(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    std::vector<uint8_t> out;
    for (int y = h.biHeight - 1; y >= 0; --y) {
      const uint8_t* row = bits + stride * y;
      for (int x = 0; x < h.biWidth; ++x) {
        if (h.biBitCount == 8) {
          const RGBQUAD q = table[row[x]];
          out.insert(out.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed});
        } else {
          const int b = h.biBitCount / 8;
          out.insert(out.end(), row + b * x, row + b * x + 3);
        }
      }
    }
    return out;
  }
  ~Reader() {
    if (frames) AVIStreamGetFrameClose(frames);
    if (stream) AVIStreamRelease(stream);
    if (file) AVIFileRelease(file);
  }
};

double PSNR(const std::vector<uint8_t>& A, const std::vector<uint8_t>& B) {
  if (A.size() != B.size() || A.empty()) return 0;
  double e = 0;
  for (size_t i = 0; i < A.size(); ++i) e += (double(A[i]) - B[i]) * (double(A[i]) - B[i]);
  if (e == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 / (e / double(A.size())));
}

}  // namespace

// Three 8-bit frames, each with its own greys: the first sets the format, the
// others write palette changes; an unchanged palette writes none.
TEST(AVIFileLayer, PaletteFramesWriteAndReadBack) {
  const std::string name = TempName("pal.avi");
  const int W = 5, H = 3;  // rows padded to 8 bytes
  std::vector<std::vector<uint8_t>> expected;
  {
    Writer w;
    ASSERT_EQ(w.Open(name, W, H, 0), AVIERR_OK);
    for (int k = 0; k < 4; ++k) {
      const auto fmt = Format(W, H, 8, Greys(k == 3 ? 2 * 40 : k * 40));
      ASSERT_EQ(AVIStreamSetFormat(w.compressed, k, fmt.data(), LONG(fmt.size())), AVIERR_OK);
      std::vector<uint8_t> bits(8 * H, 0);
      std::vector<uint8_t> bgr(size_t(W * H * 3));
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const uint8_t index = uint8_t(x * 50 + y * 7 + k);
          bits[size_t((H - 1 - y) * 8 + x)] = index;
          const uint8_t g = uint8_t((index * 3 + (k == 3 ? 80 : k * 40)) & 255);
          for (int c = 0; c < 3; ++c) bgr[size_t((y * W + x) * 3 + c)] = g;
        }
      expected.push_back(bgr);
      LONG samples = 0, bytes = 0;
      ASSERT_EQ(AVIStreamWrite(w.compressed, k, 1, bits.data(), LONG(bits.size()), AVIIF_KEYFRAME, &samples, &bytes),
                AVIERR_OK);
      EXPECT_EQ(samples, 1);
      EXPECT_EQ(bytes, LONG(bits.size()));
    }
    // A different frame size is refused.
    const auto other = Format(W + 1, H, 8, Greys(0));
    EXPECT_EQ(AVIStreamSetFormat(w.compressed, 4, other.data(), LONG(other.size())), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIStreamLength(w.compressed), 4);
  }
  EXPECT_EQ(vxavi::LiveObjects(), 0);
  {
    Reader r;
    ASSERT_EQ(r.Open(name), AVIERR_OK);
    ASSERT_EQ(AVIStreamLength(r.stream), 4);
    AVISTREAMINFOW si{};
    ASSERT_EQ(AVIStreamInfoW(r.stream, &si, sizeof si), AVIERR_OK);
    EXPECT_EQ(si.dwRate, 2997u);
    EXPECT_EQ(si.dwScale, 100u);
    EXPECT_EQ(si.dwFormatChangeCount, 2u);  // frames 1 and 2; frame 3 repeats frame 2's greys
    EXPECT_EQ(si.rcFrame.right, W);
    // Out of order too: the palette follows the position.
    for (int k : {2, 0, 3, 1}) {
      int bits = 0;
      EXPECT_EQ(r.BGR(k, &bits), expected[size_t(k)]) << "frame " << k;
      EXPECT_EQ(bits, 8);
    }
    EXPECT_TRUE(r.BGR(4).empty());
    EXPECT_TRUE(r.BGR(-1).empty());
  }
  if (HaveTool("/usr/bin/ffmpeg")) {
    const std::string raw =
        RunCommand("/usr/bin/ffmpeg -v error -i '" + name + "' -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
    std::string want;
    for (auto& e : expected) want.append(e.begin(), e.end());
    EXPECT_EQ(raw, want) << "ffmpeg decodes the palette changes";
  }
  std::remove(name.c_str());
}

// Motion-JPEG: written at the options' quality, read back within 30 dB, and
// the compressors the layer does not have are refused.
TEST(AVIFileLayer, MotionJpegAndCompressors) {
  const std::string name = TempName("mjpg.avi");
  const int W = 24, H = 16;
  std::vector<uint8_t> bgr(size_t(W * H * 3));
  std::vector<uint8_t> bits(size_t(W * 4 * H));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const uint8_t px[4] = {uint8_t(x * 10), uint8_t(y * 15), uint8_t(128 + x * 2 - y * 3), 77};
      std::memcpy(&bgr[size_t((y * W + x) * 3)], px, 3);
      std::memcpy(&bits[size_t(((H - 1 - y) * W + x) * 4)], px, 4);
    }
  {
    Writer w;
    ASSERT_EQ(w.Open(name, W, H, VXMakeFourCC('M', 'J', 'P', 'G'), 9000), AVIERR_OK);
    const auto fmt = Format(W, H, 32);
    ASSERT_EQ(AVIStreamSetFormat(w.compressed, 0, fmt.data(), LONG(fmt.size())), AVIERR_OK);
    EXPECT_EQ(AVIStreamWrite(w.compressed, 0, 1, bits.data(), LONG(bits.size()) - 1, 0, nullptr, nullptr),
              AVIERR_BADSIZE);
    for (int k = 0; k < 2; ++k)
      ASSERT_EQ(AVIStreamWrite(w.compressed, -1, 1, bits.data(), LONG(bits.size()), 0, nullptr, nullptr), AVIERR_OK);
  }
  {
    Reader r;
    ASSERT_EQ(r.Open(name), AVIERR_OK);
    ASSERT_EQ(AVIStreamLength(r.stream), 2);
    AVISTREAMINFOW si{};
    AVIStreamInfoW(r.stream, &si, sizeof si);
    EXPECT_EQ(si.fccHandler, 0u);
    int depth = 0;
    const auto got = r.BGR(1, &depth);
    EXPECT_EQ(depth, 24);
    EXPECT_GT(PSNR(got, bgr), 30.0);
  }
  // Motion-JPEG frames often leave out their Huffman tables: the standard
  // ones are taken. The first frame is written again without its tables.
  {
    const auto bytes = ReadAll(name);
    std::vector<uint8_t> frame;
    for (size_t at = 0; at + 8 < bytes.size() && frame.empty(); ++at)
      if (std::memcmp(&bytes[at], "00dc", 4) == 0) {
        uint32_t n;
        std::memcpy(&n, &bytes[at + 4], 4);
        frame.assign(bytes.begin() + std::ptrdiff_t(at + 8), bytes.begin() + std::ptrdiff_t(at + 8 + n));
      }
    ASSERT_GT(frame.size(), 4u);
    std::vector<uint8_t> bare(frame.begin(), frame.begin() + 2);
    size_t at = 2, tables = 0;
    while (at + 4 <= frame.size() && frame[at] == 0xFF && frame[at + 1] != 0xDA) {
      const size_t len = size_t(frame[at + 2]) << 8 | frame[at + 3];
      if (frame[at + 1] == 0xC4)
        ++tables;
      else
        bare.insert(bare.end(), frame.begin() + std::ptrdiff_t(at), frame.begin() + std::ptrdiff_t(at + 2 + len));
      at += 2 + len;
    }
    ASSERT_GT(tables, 0u);
    bare.insert(bare.end(), frame.begin() + std::ptrdiff_t(at), frame.end());
    const std::string bareName = TempName("bare.avi");
    PAVIFILE f = nullptr;
    PAVISTREAM s = nullptr;
    ASSERT_EQ(AVIFileOpenW(&f, bareName.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    AVISTREAMINFOW si{};
    si.fccType = streamtypeVIDEO;
    si.dwScale = 1;
    si.dwRate = 25;
    ASSERT_EQ(AVIFileCreateStreamW(f, &s, &si), AVIERR_OK);
    auto fmt = Format(W, H, 24);
    const DWORD mjpg = VXMakeFourCC('M', 'J', 'P', 'G');
    std::memcpy(&fmt[16], &mjpg, 4);
    ASSERT_EQ(AVIStreamSetFormat(s, 0, fmt.data(), LONG(fmt.size())), AVIERR_OK);
    ASSERT_EQ(AVIStreamWrite(s, 0, 1, bare.data(), LONG(bare.size()), AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_OK);
    AVIStreamRelease(s);
    AVIFileRelease(f);
    Reader r;
    ASSERT_EQ(r.Open(bareName), AVIERR_OK);
    EXPECT_GT(PSNR(r.BGR(0), bgr), 30.0);
    std::remove(bareName.c_str());
  }
  if (HaveTool("/usr/bin/ffprobe")) {
    const std::string probe = RunCommand("/usr/bin/ffprobe -v error -count_frames -show_streams '" + name + "'");
    EXPECT_NE(probe.find("codec_name=mjpeg"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_read_frames=2"), std::string::npos) << probe;
  }
  std::remove(name.c_str());

  // Other compressors are not here; the file is finished empty.
  PAVIFILE f = nullptr;
  ASSERT_EQ(AVIFileOpenW(&f, name.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
  AVISTREAMINFOW si{};
  si.fccType = streamtypeVIDEO;
  PAVISTREAM raw = nullptr, c = nullptr;
  ASSERT_EQ(AVIFileCreateStreamW(f, &raw, &si), AVIERR_OK);
  AVICOMPRESSOPTIONS o{};
  o.fccHandler = VXMakeFourCC('Z', 'Z', 'Z', 'Z');
  EXPECT_EQ(AVIMakeCompressedStream(&c, raw, &o, nullptr), AVIERR_NOCOMPRESSOR);
  EXPECT_EQ(c, nullptr);
  // The dialog: cancel until an answer is scripted.
  AVICOMPRESSOPTIONS chosen{};
  AVICOMPRESSOPTIONS* list[1] = {&chosen};
  EXPECT_FALSE(AVISaveOptions(nullptr, 0, 1, &raw, list));
  VXHeadless::SetAVISaveOptionsAnswer(true, VXMakeFourCC('M', 'J', 'P', 'G'), 5000);
  EXPECT_TRUE(AVISaveOptions(nullptr, 0, 1, &raw, list));
  EXPECT_EQ(chosen.fccHandler, VXMakeFourCC('M', 'J', 'P', 'G'));
  EXPECT_EQ(chosen.dwQuality, 5000u);
  VXHeadless::Reset();
  EXPECT_FALSE(AVISaveOptions(nullptr, 0, 1, &raw, list));
  AVIStreamRelease(raw);
  AVIFileRelease(f);
  EXPECT_EQ(vxavi::LiveObjects(), 0);
  std::remove(name.c_str());
}

// Damaged files: every truncation and a run of bit flips of a small file are
// either refused at opening or give frames that are whole or missing.
TEST(AVIFileLayer, DamagedFilesAreRefusedCleanly) {
  const std::string name = TempName("good.avi"), bad = TempName("bad.avi");
  {
    Writer w;
    ASSERT_EQ(w.Open(name, 3, 2, 0), AVIERR_OK);
    const auto fmt = Format(3, 2, 24);
    ASSERT_EQ(AVIStreamSetFormat(w.compressed, 0, fmt.data(), LONG(fmt.size())), AVIERR_OK);
    std::vector<uint8_t> bits(24, 0x5A);
    for (int k = 0; k < 3; ++k)
      ASSERT_EQ(AVIStreamWrite(w.compressed, k, 1, bits.data(), 24, AVIIF_KEYFRAME, nullptr, nullptr), AVIERR_OK);
    // A frame that would take the file past 2 GiB is refused before any byte
    // of it is read or written.
    EXPECT_EQ(AVIStreamWrite(w.compressed, 3, 1, bits.data(), LONG(INT32_MAX - 64), AVIIF_KEYFRAME, nullptr, nullptr),
              AVIERR_FILEWRITE);
    EXPECT_EQ(AVIStreamLength(w.compressed), 3);
  }
  const auto good = ReadAll(name);
  ASSERT_GT(good.size(), 4096u);
  auto check = [&](const std::vector<uint8_t>& bytes) {
    WriteAll(bad, bytes);
    Reader r;
    if (r.Open(bad) != AVIERR_OK) return;
    const LONG n = AVIStreamLength(r.stream);
    for (LONG k = -1; k <= n; ++k) {
      const auto px = r.BGR(k);
      if (!px.empty()) {
        EXPECT_LE(px.size(), 24 * bytes.size());  // a frame cannot hold more than the file
      }
    }
  };
  for (size_t cut = 0; cut < good.size(); cut += (cut < 64 || cut > good.size() - 200) ? 1 : 97)
    check(std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(cut)));
  uint32_t seed = 12345;
  for (int round = 0; round < 300; ++round) {
    auto bytes = good;
    for (int k = 0; k < 4; ++k) {
      seed = seed * 1103515245u + 12345u;
      const size_t at = (seed >> 8) % bytes.size();
      // Most flips land in the headers, the frames and the index.
      const size_t pos = at < 4096 && (seed & 1) ? at % 300 : at;
      bytes[pos] ^= uint8_t(1u << ((seed >> 3) & 7));
    }
    check(bytes);
  }
  // Without "idx1" the "movi" list is walked.
  auto noIndex = good;
  noIndex.resize(noIndex.size() - (8 + 3 * 16));
  WriteAll(bad, noIndex);
  {
    Reader r;
    ASSERT_EQ(r.Open(bad), AVIERR_OK);
    EXPECT_EQ(AVIStreamLength(r.stream), 3);
    EXPECT_EQ(r.BGR(2), std::vector<uint8_t>(18, 0x5A));
  }
  EXPECT_EQ(vxavi::LiveObjects(), 0);
  std::remove(name.c_str());
  std::remove(bad.c_str());
}
