// Media Foundation: the binding and its start and stop, the name tables,
// media types as dictionaries and JSON, the device list, received samples
// decoded against numpy references of ffmpeg's test frames, and the video
// processor.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../proc/numpy_oracle.h"
#include "acquire/capture_devices.h"
#include "acquire/mf_platform.h"
#include "acquire/vxmmf.h"
#include "core/bitmap.h"
#include "core/dictionary.h"
#include "core/startup.h"
#include "core/textutils.h"
#include "winui/headless.h"

namespace {

// A media type of the given subtype and size, with a default stride when
// Stride is not 0.
VX_IMFMediaType* VideoType(const GUID& Sub, uint32_t W, uint32_t H, int32_t Stride = 0) {
  VX_IMFMediaType* t = nullptr;
  EXPECT_EQ(VXMFPlatCreateMediaType(&t), S_OK);
  t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
  t->SetGUID(MF_MT_SUBTYPE, Sub);
  t->SetUINT64(MF_MT_FRAME_SIZE, uint64_t(W) << 32 | H);
  if (Stride != 0) t->SetUINT32(MF_MT_DEFAULT_STRIDE, UINT(Stride));
  return t;
}

// A sample holding a copy of the bytes.
VX_IMFSample* SampleOf(const std::string& Bytes) {
  VX_IMFSample* s = nullptr;
  VX_IMFMediaBuffer* b = nullptr;
  VXMFPlatCreateSample(&s);
  VXMFPlatCreateMemoryBuffer(DWORD(Bytes.size()), &b);
  BYTE* p = nullptr;
  b->Lock(&p, nullptr, nullptr);
  if (!Bytes.empty()) std::memcpy(p, Bytes.data(), Bytes.size());
  b->Unlock();
  b->SetCurrentLength(DWORD(Bytes.size()));
  s->AddBuffer(b);
  b->Release();
  return s;
}

std::string BitmapBytes(TVXBitmap& b) { return numpy_oracle::Pixels(&b); }

// Lays out planes of rows (each Rows[i] bytes of RowLen rows) with a row
// step, bottom row first when Negative; padding bytes are 0xEE.
std::string Layout(const std::string& Planes, const std::vector<std::pair<int, int>>& RowsAndLens,
                   const std::vector<int>& Steps, bool Negative) {
  std::string out;
  size_t at = 0;
  for (size_t p = 0; p < RowsAndLens.size(); ++p) {
    const auto [rows, len] = RowsAndLens[p];
    for (int r = 0; r < rows; ++r) {
      const int src = Negative ? rows - 1 - r : r;
      std::string row = Planes.substr(at + size_t(src) * size_t(len), size_t(len));
      row.resize(size_t(Steps[p]), '\xEE');
      out += row;
    }
    at += size_t(rows) * size_t(len);
  }
  return out;
}

}  // namespace

class MediaFoundation : public ::testing::Test {
 protected:
  void SetUp() override { fLibrary = std::make_unique<TVXLibraryGuard>(); }
  void TearDown() override {
    VXHeadless::RestoreModules();
    fLibrary.reset();
  }
  std::unique_ptr<TVXLibraryGuard> fLibrary;
};

TEST_F(MediaFoundation, BindingWithoutTheReaderLibraryStartsNothingAndBalancesCOM) {
  VXMFUnbind();
  VXHeadless::RemoveModule("Mfreadwrite.dll");
  const int com = VXComInitCount(), mf = VXMFPlatStartupCount();
  EXPECT_FALSE(VXMFBind());
  EXPECT_FALSE(VXMFStartup());
  EXPECT_EQ(VXMFPlatStartupCount(), mf) << "MFStartup called without the reader library";
  EXPECT_EQ(VXComInitCount(), com + 1) << "COM stays initialised until the shut-down";
  {
    TVXMediaFoundationVideoProcessor p;
    EXPECT_FALSE(p.IsAvailable());
    p.SetMirror(mfpmHorizontal);  // ignored
  }
  VXMFShutdown();
  EXPECT_EQ(VXComInitCount(), com);
  EXPECT_EQ(VXMFPlatStartupCount(), mf);

  // Back with all three: MFStartup and MFShutdown pair.
  VXHeadless::RestoreModules();
  VXMFUnbind();
  EXPECT_TRUE(VXMFBind());
  EXPECT_EQ(VXMFDecoders().size(), 5u);
  EXPECT_TRUE(VXMFStartup());
  EXPECT_EQ(VXMFPlatStartupCount(), mf + 1);
  VXMFShutdown();
  EXPECT_EQ(VXMFPlatStartupCount(), mf);
  EXPECT_EQ(VXComInitCount(), com);
}

// A thread whose COM is multi-threaded keeps it: the start's apartment
// request fails there, so the stop must not uninitialise.
TEST_F(MediaFoundation, ShutdownLeavesAnotherUsersCOM) {
  std::thread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_TRUE(VXMFStartup());
    VXMFShutdown();
    EXPECT_EQ(VXComInitCount(), 1);
    CoUninitialize();
  }).join();
}

TEST_F(MediaFoundation, Names) {
  EXPECT_EQ(VXMFSubTypeName(MFVideoFormat_NV12), "NV12");
  EXPECT_EQ(VXMFSubTypeName(MFVideoFormat_RGB32), "RGB32");
  EXPECT_EQ(VXMFSubTypeName(VXMFSubTypeOf(0x1610)), "AAC");
  GUID foreign = MFVideoFormat_NV12;
  foreign.Data4[7] ^= 1;
  EXPECT_EQ(VXMFSubTypeName(foreign), "");
  EXPECT_TRUE(IsEqualGUID(VXMFSubTypeFromName("YV"), VXMFSubTypeOf(VXMFFourCC('Y', 'V', 0, 0))));
  EXPECT_TRUE(IsEqualGUID(VXMFSubTypeFromName("MJPGX"), MFVideoFormat_MJPG));
  EXPECT_TRUE(IsEqualGUID(VXMFSubTypeFromName("RGB24"), MFVideoFormat_RGB24));
  EXPECT_EQ(VXMFSubTypeName(VXMFSubTypeFromName("YV")), "YV");
  EXPECT_EQ(VXMFMajorTypeName(MFMediaType_Video), "Video");
  EXPECT_EQ(VXMFMajorTypeName(MFMediaType_Default), "Unknown");
  EXPECT_TRUE(IsEqualGUID(VXMFMajorTypeFromName("FileTransfer"), MFMediaType_FileTransfer));
  EXPECT_TRUE(IsEqualGUID(VXMFMajorTypeFromName("video"), MFMediaType_Default)) << "names are case-sensitive";
  EXPECT_EQ(VXMFVideoLightingName(3), "Dim");
  EXPECT_EQ(VXMFVideoLightingName(9), "Unknown");
  EXPECT_EQ(VXMFVideoLightingFromName("Dark"), 4u);
  EXPECT_EQ(VXMFInterlaceModeName(2), "Progressive");
  EXPECT_EQ(VXMFInterlaceModeFromName("Nope"), 0u);
  EXPECT_EQ(VXMFMediaTypeKeys.size(), 21u);
}

TEST_F(MediaFoundation, StridesOfThePlatform) {
  struct Case {
    uint32_t Code;
    DWORD Width;
    LONG Stride;
  } cases[] = {{VXMFFourCC('Y', 'U', 'Y', '2'), 641, 1282}, {VXMFFourCC('I', '4', '2', '0'), 641, 641},
               {VXMFFourCC('N', 'V', '1', '2'), 638, 640},  {20, 641, 1924},
               {22, 641, 2564},                             {20, 640, 1920}};
  for (const Case& c : cases) {
    LONG s = 0;
    ASSERT_EQ(VXMFPlatGetStrideForBitmapInfoHeader(c.Code, c.Width, &s), S_OK);
    EXPECT_EQ(s, c.Stride) << std::hex << c.Code;
  }
  LONG s = 0;
  EXPECT_EQ(VXMFPlatGetStrideForBitmapInfoHeader(VXMFFourCC('M', 'J', 'P', 'G'), 8, &s), MF_E_INVALIDMEDIATYPE);
}

TEST_F(MediaFoundation, MediaTypesAsDictionaries) {
  ASSERT_TRUE(VXMFBind());
  TVXComPtr<VX_IMFMediaType> t(VideoType(MFVideoFormat_RGB32, 640, 480));
  t->SetUINT64(MF_MT_FRAME_RATE, uint64_t(30000) << 32 | 1001);
  t->SetUINT64(MF_MT_FRAME_RATE_RANGE_MAX, uint64_t(30) << 32 | 0);  // no denominator: left out
  t->SetUINT32(MF_MT_INTERLACE_MODE, 2);
  t->SetUINT32(MF_MT_VIDEO_ROTATION, 90);
  auto d = VXMFMediaTypeToDictionary(t.Get());
  EXPECT_EQ(d->GetString("MajorType", false), "Video");
  EXPECT_EQ(d->GetString("SubType", false), "RGB32");
  ASSERT_NE(dynamic_cast<TVXDictionaryValueDouble*>(d->Get("FrameWidth", true, false)), nullptr);
  EXPECT_EQ(d->GetDouble("FrameWidth", false), 640.0);
  EXPECT_EQ(d->GetDouble("FrameHeight", false), 480.0);
  EXPECT_EQ(d->GetInteger("DefaultStride", false), 2560);
  EXPECT_DOUBLE_EQ(d->GetDouble("FrameRate", false), 30000.0 / 1001.0);
  EXPECT_FALSE(d->HasKey("FrameRateMax", false));
  EXPECT_EQ(d->GetString("InterlaceMode", false), "Progressive");
  EXPECT_EQ(d->GetDouble("VideoRotation", false), 90.0);

  // Written back: 29.97 as the fraction found within 5e-9; a width alone
  // sets no size.
  TVXDictionary w(103);
  w.Insert("MajorType", "Video");
  w.Insert("FrameRate", 29.97);
  w.Insert("FrameWidth", 320);
  TVXComPtr<VX_IMFMediaType> back(VXMFDictionaryToMediaType(&w));
  ASSERT_TRUE(back);
  uint64_t rate = 0, size = 0;
  ASSERT_EQ(back->GetUINT64(MF_MT_FRAME_RATE, &rate), S_OK);
  int32_t num = 0, den = 0;
  VXFloatToFraction(29.97, 5e-9, num, den);
  EXPECT_EQ(rate, uint64_t(uint32_t(num)) << 32 | uint32_t(den));
  EXPECT_EQ(back->GetUINT64(MF_MT_FRAME_SIZE, &size), MF_E_ATTRIBUTENOTFOUND);

  TVXDictionary odd(103);
  odd.Insert("MajorType", "Telepathy");
  TVXComPtr<VX_IMFMediaType> def(VXMFDictionaryToMediaType(&odd));
  GUID major{};
  def->GetGUID(MF_MT_MAJOR_TYPE, &major);
  EXPECT_TRUE(IsEqualGUID(major, MFMediaType_Default));

  // A type without a major type gives an empty dictionary.
  VX_IMFMediaType* bare = nullptr;
  VXMFPlatCreateMediaType(&bare);
  EXPECT_TRUE(VXMFMediaTypeToDictionary(bare)->IsEmpty());
  bare->Release();
}

// Every key the way back sets survives the JSON text.
TEST_F(MediaFoundation, JSONOfATypeParsesBackToTheSameType) {
  ASSERT_TRUE(VXMFBind());
  struct Case {
    const char* Name;
    void (*Fill)(VX_IMFMediaType*);
  } cases[] = {
      {"video",
       [](VX_IMFMediaType* t) {
         t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
         t->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
         t->SetUINT32(MF_MT_COMPRESSED, 0);
         t->SetUINT64(MF_MT_FRAME_RATE, uint64_t(25) << 32 | 1);
         t->SetUINT64(MF_MT_FRAME_SIZE, uint64_t(1920) << 32 | 1080);
         t->SetUINT32(MF_MT_INTERLACE_MODE, 7);
         t->SetUINT32(MF_MT_VIDEO_LIGHTING, 2);
         t->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
         t->SetUINT32(MF_MT_VIDEO_ROTATION, 270);
       }},
      {"audio",
       [](VX_IMFMediaType* t) {
         t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
         t->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
         t->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, 44100);
         t->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
         t->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
         t->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, 4);
         t->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 176400);
         t->SetUINT32(MF_MT_AUDIO_PREFER_WAVEFORMATEX, 1);
       }},
  };
  for (const Case& c : cases) {
    VX_IMFMediaType* t = nullptr;
    VXMFPlatCreateMediaType(&t);
    c.Fill(t);
    const std::string json = VXMFMediaTypeToDictionary(t)->Dump();
    TVXDictionary parsed(103);
    ASSERT_TRUE(parsed.Parse(json)) << json;
    VX_IMFMediaType* back = VXMFDictionaryToMediaType(&parsed);
    ASSERT_NE(back, nullptr);
    BOOL same = FALSE;
    EXPECT_EQ(t->Compare(back, MF_ATTRIBUTES_MATCH_ALL_ITEMS, &same), S_OK);
    EXPECT_TRUE(same) << c.Name << ": " << json << " came back as " << VXMFMediaTypeToDictionary(back)->Dump();
    back->Release();
    t->Release();
  }
}

TEST_F(MediaFoundation, DeviceListOverTheCaptureRegistry) {
  std::vector<TVXCaptureDevice> kept;
  for (auto c : {vxccVideoInput, vxccAudioInput, vxccVideoCompressor, vxccAudioCompressor})
    for (auto& d : VXCaptureDevices(c)) kept.push_back(d);
  VXClearCaptureDevices();
  TVXMFDeviceList list;
  list.Populate();
  EXPECT_TRUE(list.Populated());
  EXPECT_EQ(list.GetCount(), 0u);

  for (const char* name : {"Front camera", "Microscope"}) {
    TVXCaptureDevice d;
    d.Category = vxccVideoInput;
    d.FriendlyName = name;
    d.Create = [] { return static_cast<IUnknown*>(nullptr); };
    VXAddCaptureDevice(d);
  }
  TVXCaptureDevice mic;
  mic.Category = vxccAudioInput;
  mic.FriendlyName = "Microphone";
  VXAddCaptureDevice(mic);
  list.Populate();
  ASSERT_EQ(list.GetCount(), 2u);
  EXPECT_EQ(list.GetNames(), (std::vector<std::string>{"Front camera", "Microscope"}));
  VX_IMFActivate* a = list.GetDevice(1);
  EXPECT_EQ(VXMFGetAllocatedString(a, MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME), "Microscope");
  a->Release();
  list.Clear();
  EXPECT_EQ(list.GetCount(), 0u);
  EXPECT_TRUE(list.GetNames().empty());

  VXClearCaptureDevices();
  for (auto& d : kept) VXAddCaptureDevice(d);
}

// ffmpeg's test picture in five layouts, with the default, a negative and a
// padded stride, decoded through DecodeSample against numpy's evaluation of
// the same formulas.
TEST_F(MediaFoundation, DecodedSamplesMatchTheFormulas) {
  if (!numpy_oracle::Available() || !RuntimeHaveTool("/usr/bin/ffmpeg"))
    GTEST_SKIP() << "ffmpeg and numpy (scripts/setup --tests) are needed";
  ASSERT_TRUE(VXMFBind());
  TRuntimeScratchDir dir;
  const char* kRef =
      "w, h, fmt = int(W), int(H), FMT\n"
      "raw = load(0, np.uint8, (-1,))\n"
      "def intc(Y, U, V):\n"
      "    C = Y.astype(np.int64) - 16; D = U.astype(np.int64) - 128; E = V.astype(np.int64) - 128\n"
      "    q = lambda a: np.clip(np.trunc(a / 256.0), 0, 255)\n"
      "    return np.stack([q(298*C + 516*D + 128), q(298*C - 100*D - 208*E + 128), q(298*C + 409*E + 128)], -1)\n"
      "def flt(Y, U, V):\n"
      "    C = Y.astype(np.float64) - 16; D = U.astype(np.float64) - 128; E = V.astype(np.float64) - 128\n"
      "    q = lambda a: np.clip(np.rint(a), 0, 255)\n"
      "    return np.stack([q(1.164*C + 2.018*D), q(1.164*C - 0.813*E - 0.391*D), q(1.164*C + 1.596*E)], -1)\n"
      "if fmt == 'yuyv422':\n"
      "    p = raw.reshape(h, w // 2, 4)\n"
      "    Y = np.stack([p[:, :, 0], p[:, :, 2]], -1).reshape(h, w)\n"
      "    out = intc(Y, np.repeat(p[:, :, 1], 2, 1), np.repeat(p[:, :, 3], 2, 1))\n"
      "elif fmt == 'yuv420p':\n"
      "    Y = raw[:w*h].reshape(h, w); c = (w//2)*(h//2)\n"
      "    U = raw[w*h:w*h+c].reshape(h//2, w//2); V = raw[w*h+c:w*h+2*c].reshape(h//2, w//2)\n"
      "    out = flt(Y, np.repeat(np.repeat(U, 2, 0), 2, 1), np.repeat(np.repeat(V, 2, 0), 2, 1))\n"
      "elif fmt == 'nv12':\n"
      "    Y = raw[:w*h].reshape(h, w); uv = raw[w*h:].reshape(h//2, w//2, 2)\n"
      "    U = np.repeat(np.repeat(uv[:, :, 0], 2, 0), 2, 1); V = np.repeat(np.repeat(uv[:, :, 1], 2, 0), 2, 1)\n"
      "    out = intc(Y, U, V)\n"
      "elif fmt == 'bgr24':\n"
      "    out = raw.reshape(h, w, 3)\n"
      "else:\n"
      "    out = raw.reshape(h, w, 4)[:, :, :3]\n"
      "save(out.astype(np.uint8))\n";
  struct Format {
    const char* PixFmt;
    GUID Sub;
    int W, H;
  } formats[] = {{"yuyv422", MFVideoFormat_YUY2, 64, 48}, {"yuv420p", MFVideoFormat_I420, 64, 48},
                 {"nv12", MFVideoFormat_NV12, 64, 48},    {"bgr24", MFVideoFormat_RGB24, 64, 48},
                 {"bgra", MFVideoFormat_RGB32, 64, 48},   {"nv12", MFVideoFormat_NV12, 638, 8}};
  for (const Format& f : formats) {
    const std::string size = std::to_string(f.W) + "x" + std::to_string(f.H);
    const std::string file = dir.File(std::string(f.PixFmt) + size);
    RuntimeShell("/usr/bin/ffmpeg -v error -y -f lavfi -i testsrc2=size=" + size + ":rate=1 -frames:v 1 -pix_fmt " +
                 f.PixFmt + " -f rawvideo '" + file + "'");
    const std::string raw = RuntimeReadFile(file);
    ASSERT_FALSE(raw.empty()) << f.PixFmt;
    const std::string ref = numpy_oracle::Run("W, H, FMT = " + std::to_string(f.W) + ", " + std::to_string(f.H) +
                                                  ", '" + f.PixFmt + "'\n" + kRef,
                                              {raw});
    ASSERT_EQ(ref.size(), size_t(f.W) * f.H * 3) << f.PixFmt;

    // The planes: rows and row lengths as ffmpeg wrote them.
    const std::string pf = f.PixFmt;
    std::vector<std::pair<int, int>> planes;
    int assumed = 0;  // the row length the layout assumes
    if (pf == "yuyv422") planes = {{f.H, f.W * 2}}, assumed = f.W * 2;
    else if (pf == "yuv420p") planes = {{f.H, f.W}, {f.H / 2, f.W / 2}, {f.H / 2, f.W / 2}}, assumed = f.W;
    else if (pf == "nv12") planes = {{f.H, f.W}, {f.H / 2, f.W}}, assumed = (f.W + 3) & ~3;
    else if (pf == "bgr24") planes = {{f.H, f.W * 3}}, assumed = (f.W * 3 + 3) & ~3;
    else planes = {{f.H, f.W * 4}}, assumed = f.W * 4;
    auto steps = [&](int luma) {
      std::vector<int> s(planes.size(), luma);
      if (pf == "yuv420p") s[1] = s[2] = luma == assumed ? f.W / 2 : luma / 2;
      if (pf == "nv12" && luma == assumed) s[1] = (((f.W / 2) * 2 + 3) & ~3);
      return s;
    };
    struct Mode {
      const char* Name;
      int32_t Attribute;  // 0: none, the platform's stride
      int Luma;
      bool Negative;
    } modes[] = {{"default", 0, assumed, false},
                 {"negative", -assumed, assumed, true},
                 {"padded", assumed + 16, assumed + 16, false},
                 {"padded negative", -(assumed + 16), assumed + 16, true}};
    for (const Mode& m : modes) {
      const std::string bytes = Layout(raw, planes, steps(m.Luma), m.Negative);
      TVXComPtr<VX_IMFMediaType> t(VideoType(f.Sub, uint32_t(f.W), uint32_t(f.H), m.Attribute));
      TVXComPtr<VX_IMFSample> s(SampleOf(bytes));
      TVXMFReceivedSample rs(s.Get(), 0, 0, 0, t.Get());
      EXPECT_EQ(rs.StreamType, "Video");
      TVXBitmap bmp;
      ASSERT_TRUE(rs.DecodeSample(&bmp)) << f.PixFmt << " " << size << " " << m.Name;
      ASSERT_EQ(bmp.Width(), f.W);
      ASSERT_EQ(bmp.Height(), f.H);
      EXPECT_EQ(bmp.PixelFormat(), vx24RGB);
      EXPECT_TRUE(BitmapBytes(bmp) == ref) << f.PixFmt << " " << size << " " << m.Name << " (upright)";

      // A buffer one byte short decodes nothing.
      const size_t lastPad = size_t(steps(m.Luma).back() - planes.back().second);
      TVXComPtr<VX_IMFSample> cut(SampleOf(bytes.substr(0, bytes.size() - lastPad - 1)));
      TVXMFReceivedSample rc(cut.Get(), 0, 0, 0, t.Get());
      TVXBitmap untouched(3, 2, vx24RGB);
      EXPECT_FALSE(rc.DecodeSample(&untouched)) << f.PixFmt << " " << m.Name;
      EXPECT_EQ(untouched.Width(), 3);
    }
  }
}

TEST_F(MediaFoundation, SamplesThatAreNotDecoded) {
  ASSERT_TRUE(VXMFBind());
  struct Case {
    const char* Name;
    GUID Major, Sub;
    bool WithSample;
  } cases[] = {{"audio", MFMediaType_Audio, MFAudioFormat_PCM, true},
               {"MJPG", MFMediaType_Video, MFVideoFormat_MJPG, true},
               {"no sample", MFMediaType_Video, MFVideoFormat_RGB32, false}};
  for (const Case& c : cases) {
    TVXComPtr<VX_IMFMediaType> t(VideoType(c.Sub, 4, 2));
    t->SetGUID(MF_MT_MAJOR_TYPE, c.Major);
    t->SetUINT32(MF_MT_DEFAULT_STRIDE, 16);
    TVXComPtr<VX_IMFSample> s(SampleOf(std::string(64, '\x40')));
    TVXMFReceivedSample rs(c.WithSample ? s.Get() : nullptr, 0xFFFFFFFE, 2, 7, t.Get());
    TVXBitmap bmp(5, 5, vx24RGB);
    EXPECT_FALSE(rs.DecodeSample(&bmp)) << c.Name;
    EXPECT_EQ(bmp.Width(), 5) << c.Name;
  }
}

namespace {

// A 4 x 2 RGB32 frame whose pixel (x, y) has blue 10 x + 1, green y + 1.
std::string Frame4x2(uint8_t Red) {
  std::string f;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) f += {char(10 * x + 1), char(y + 1), char(Red), char(0)};
  return f;
}

// The output frame as (blue, green) pairs by rows, and its red of pixel 0.
std::vector<std::vector<std::pair<int, int>>> Pixels(VX_IMFSample* s, int W, int H, int* Red = nullptr) {
  std::vector<std::vector<std::pair<int, int>>> rows;
  VX_IMFMediaBuffer* b = nullptr;
  EXPECT_EQ(s->ConvertToContiguousBuffer(&b), S_OK);
  BYTE* p = nullptr;
  DWORD len = 0;
  b->Lock(&p, nullptr, &len);
  EXPECT_EQ(len, DWORD(W * H * 4));
  for (int y = 0; y < H; ++y) {
    rows.emplace_back();
    for (int x = 0; x < W; ++x) rows.back().emplace_back(p[(y * W + x) * 4], p[(y * W + x) * 4 + 1]);
  }
  if (Red) *Red = p[2];
  b->Unlock();
  b->Release();
  return rows;
}

}  // namespace

TEST_F(MediaFoundation, VideoProcessorMirrorsTurnsAndKeepsEveryOutput) {
  using Rows = std::vector<std::vector<std::pair<int, int>>>;
  struct Case {
    const char* Name;
    TVXMediaFoundationVideoProcessorMirror Mirror;
    UINT Rotation;  // of the input type; turned back with mfprNormal
    int W, H;
    Rows Expected;
  } cases[] = {
      {"as is", mfpmNone, 0, 4, 2, {{{1, 1}, {11, 1}, {21, 1}, {31, 1}}, {{1, 2}, {11, 2}, {21, 2}, {31, 2}}}},
      {"mirror", mfpmHorizontal, 0, 4, 2, {{{31, 1}, {21, 1}, {11, 1}, {1, 1}}, {{31, 2}, {21, 2}, {11, 2}, {1, 2}}}},
      {"flip", mfpmVertical, 0, 4, 2, {{{1, 2}, {11, 2}, {21, 2}, {31, 2}}, {{1, 1}, {11, 1}, {21, 1}, {31, 1}}}},
      // Turned clockwise: the bottom-left pixel comes to the top left.
      {"90", mfpmNone, 90, 2, 4, {{{1, 2}, {1, 1}}, {{11, 2}, {11, 1}}, {{21, 2}, {21, 1}}, {{31, 2}, {31, 1}}}},
      {"270", mfpmNone, 270, 2, 4, {{{31, 1}, {31, 2}}, {{21, 1}, {21, 2}}, {{11, 1}, {11, 2}}, {{1, 1}, {1, 2}}}},
  };
  for (const Case& c : cases) {
    TVXMediaFoundationVideoProcessor p;
    ASSERT_TRUE(p.IsAvailable());
    TVXComPtr<VX_IMFMediaType> in(VideoType(MFVideoFormat_RGB32, 4, 2));
    if (c.Rotation) in->SetUINT32(MF_MT_VIDEO_ROTATION, c.Rotation);
    TVXComPtr<VX_IMFMediaType> out(VideoType(MFVideoFormat_RGB32, uint32_t(c.W), uint32_t(c.H)));
    p.SetMirror(c.Mirror);
    p.SetRotation(mfprNormal);
    ASSERT_TRUE(p.SetInputType(in.Get()));
    ASSERT_TRUE(p.SetOutputType(out.Get()));
    p.StartStreaming();
    VX_IMFSample* none = reinterpret_cast<VX_IMFSample*>(1);
    p.ProcessOutput(none);
    EXPECT_EQ(none, nullptr) << "no input, no output";

    TVXComPtr<VX_IMFSample> a(SampleOf(Frame4x2(100))), b(SampleOf(Frame4x2(200)));
    VX_IMFSample *first = nullptr, *second = nullptr;
    ASSERT_TRUE(p.ProcessInput(a.Get()));
    p.ProcessOutput(first);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(p.ProcessInput(b.Get()));
    p.ProcessOutput(second);
    ASSERT_NE(second, nullptr);
    int red1 = 0, red2 = 0;
    EXPECT_EQ(Pixels(first, c.W, c.H, &red1), c.Expected) << c.Name;
    EXPECT_EQ(Pixels(second, c.W, c.H, &red2), c.Expected) << c.Name;
    EXPECT_EQ(red1, 100) << "a queued output keeps its own frame";
    EXPECT_EQ(red2, 200);
    first->Release();
    second->Release();
    p.StopStreaming();
    EXPECT_FALSE(p.Started());
  }
}

// A crop of the two middle columns, scaled into the left half of a 4 x 2
// frame; the right half is the border colour (black).
TEST_F(MediaFoundation, VideoProcessorCropsAndScales) {
  TVXMediaFoundationVideoProcessor p;
  ASSERT_TRUE(p.IsAvailable());
  TVXComPtr<VX_IMFMediaType> in(VideoType(MFVideoFormat_RGB32, 4, 2)), out(VideoType(MFVideoFormat_RGB32, 4, 2));
  ASSERT_TRUE(p.SetInputType(in.Get()));
  ASSERT_TRUE(p.SetOutputType(out.Get()));
  p.SetSourceRectangle(TRect{1, 0, 3, 1});
  p.SetDestinationRectangle(TRect{0, 0, 2, 2});
  p.StartStreaming();
  TVXComPtr<VX_IMFSample> a(SampleOf(Frame4x2(7)));
  ASSERT_TRUE(p.ProcessInput(a.Get()));
  VX_IMFSample* o = nullptr;
  p.ProcessOutput(o);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(Pixels(o, 4, 2), (std::vector<std::vector<std::pair<int, int>>>{{{11, 1}, {21, 1}, {0, 0}, {0, 0}},
                                                                          {{11, 1}, {21, 1}, {0, 0}, {0, 0}}}));
  o->Release();
}

TEST_F(MediaFoundation, FileByteStreams) {
  TRuntimeScratchDir dir;
  const std::string name = dir.File("clip.bin");
  VX_IMFByteStream* s = nullptr;
  EXPECT_EQ(VXMFPlatCreateFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_NONE, name.c_str(), &s),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(VXMFPlatCreateFile(MF_ACCESSMODE_WRITE, MF_OPENMODE_RESET_IF_EXIST, MF_FILEFLAGS_NONE, name.c_str(), &s),
            S_OK);
  ULONG n = 0;
  EXPECT_EQ(s->Write(reinterpret_cast<const BYTE*>("abcdef"), 6, &n), S_OK);
  EXPECT_EQ(s->Read(reinterpret_cast<BYTE*>(&n), 1, &n), E_ACCESSDENIED);
  s->Release();
  ASSERT_EQ(VXMFPlatCreateFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_NONE, name.c_str(), &s),
            S_OK);
  QWORD len = 0, pos = 0;
  s->GetLength(&len);
  EXPECT_EQ(len, 6u);
  s->Seek(msoBegin, 2, 0, &pos);
  char buf[8] = {};
  EXPECT_EQ(s->Read(reinterpret_cast<BYTE*>(buf), 8, &n), S_OK);
  EXPECT_EQ(std::string(buf, n), "cdef");
  BOOL end = FALSE;
  s->IsEndOfStream(&end);
  EXPECT_TRUE(end);
  s->Release();
  EXPECT_EQ(VXMFPlatCreateFile(MF_ACCESSMODE_WRITE, MF_OPENMODE_FAIL_IF_EXIST, MF_FILEFLAGS_NONE, name.c_str(), &s),
            HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
}
