// JPEG 2000 through OpenJPEG: the bridge between OpenJPEG's streams and the
// library's, the conversion between its components and bitmap rows, and the
// encoder's options.
#include "formats/jpeg2000.h"

#include <openjpeg.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "core/threadpool.h"
#include "io/params.h"
#include "io/probes.h"

namespace {

constexpr OPJ_SIZE_T kBufferSize = 8192;
// The most samples one byte of a code stream is taken to carry (times the
// sixteen of VXDeclaredDataPlausible): a flat 12-Mpixel grey page fits in
// 200 bytes.
constexpr int64_t kMaxSamplesPerByte = 4096;
constexpr OPJ_SIZE_T kStreamError = OPJ_SIZE_T(-1);

// YCbCr to RGB: the contributions of Cb and Cr (index i standing for i - 128).
struct TYCbCrTables {
  std::array<int32_t, 256> CrToR{}, CbToB{}, CrToG{}, CbToG{};
  TYCbCrTables() {
    const float kr = 0.299f, kg = 0.587f, kb = 0.114f;
    const float crr = 2 - 2 * kr, cbb = 2 - 2 * kb;
    const float crg = kr * (2 - 2 * kr) / kg, cbg = kb * (2 - 2 * kb) / kg;
    for (int i = 0; i < 256; ++i) {
      const float d = float(i - 128);
      CrToR[size_t(i)] = int32_t(std::nearbyint(crr * d));
      CbToB[size_t(i)] = int32_t(std::nearbyint(cbb * d));
      CrToG[size_t(i)] = -int32_t(std::nearbyint(crg * d));
      CbToG[size_t(i)] = -int32_t(std::nearbyint(cbg * d));
    }
  }
};

std::atomic<bool> gInitialized{false};

const TYCbCrTables& YCbCrTables() {
  static const TYCbCrTables tables;
  return tables;
}

// ---------------------------------------------------------------------------
// The stream bridge: OpenJPEG's positions count from where the library
// stream stood when the bridge was made.

struct TBridge {
  TStream* Stream = nullptr;
  int64_t Base = 0;
  bool ShortWrite = false;
};

OPJ_SIZE_T BridgeRead(void* Buffer, OPJ_SIZE_T Count, void* User) {
  auto* b = static_cast<TBridge*>(User);
  try {
    const int64_t got = b->Stream->Read(Buffer, int64_t(Count));
    return got > 0 ? OPJ_SIZE_T(got) : kStreamError;
  } catch (...) {
    return kStreamError;
  }
}

OPJ_SIZE_T BridgeWrite(void* Buffer, OPJ_SIZE_T Count, void* User) {
  auto* b = static_cast<TBridge*>(User);
  try {
    if (b->Stream->Write(Buffer, int64_t(Count)) == int64_t(Count)) return Count;
  } catch (...) {
  }
  b->ShortWrite = true;
  return kStreamError;
}

OPJ_OFF_T BridgeSkip(OPJ_OFF_T Count, void* User) {
  auto* b = static_cast<TBridge*>(User);
  try {
    const int64_t before = b->Stream->Position();
    return OPJ_OFF_T(b->Stream->Seek(Count, soCurrent) - before);
  } catch (...) {
    return -1;
  }
}

OPJ_BOOL BridgeSeek(OPJ_OFF_T Position, void* User) {
  auto* b = static_cast<TBridge*>(User);
  try {
    return b->Stream->Seek(b->Base + Position, soBeginning) == b->Base + Position ? OPJ_TRUE : OPJ_FALSE;
  } catch (...) {
    return OPJ_FALSE;
  }
}

// OpenJPEG's objects, freed together.
struct TOpjSession {
  opj_stream_t* Stream = nullptr;
  opj_codec_t* Codec = nullptr;
  opj_image_t* Image = nullptr;
  ~TOpjSession() {
    if (Image) opj_image_destroy(Image);
    if (Codec) opj_destroy_codec(Codec);
    if (Stream) opj_stream_destroy(Stream);
  }
};

opj_stream_t* MakeStream(TBridge& Bridge, bool Input) {
  opj_stream_t* s = opj_stream_create(kBufferSize, Input ? OPJ_TRUE : OPJ_FALSE);
  if (!s) return nullptr;
  opj_stream_set_user_data(s, &Bridge, nullptr);
  if (Input) {
    opj_stream_set_read_function(s, BridgeRead);
    opj_stream_set_user_data_length(s, OPJ_UINT64(std::max<int64_t>(0, Bridge.Stream->Size() - Bridge.Base)));
  } else {
    opj_stream_set_write_function(s, BridgeWrite);
  }
  opj_stream_set_skip_function(s, BridgeSkip);
  opj_stream_set_seek_function(s, BridgeSeek);
  return s;
}

void Quiet(const char*, void*) {}
void SetAborting(const char*, void* Aborting) { *static_cast<bool*>(Aborting) = true; }

// Nothing of OpenJPEG's goes to stderr; its errors set the abort flag.
void InstallHandlers(opj_codec_t* Codec, bool& Aborting) {
  opj_set_info_handler(Codec, Quiet, nullptr);
  opj_set_warning_handler(Codec, Quiet, nullptr);
  opj_set_error_handler(Codec, SetAborting, &Aborting);
}

// ---------------------------------------------------------------------------
// Reading

enum TFamily { fmGrey, fmRGB, fmYCC, fmOther };

TFamily Family(const opj_image_t* Image) {
  switch (Image->color_space) {
    case OPJ_CLRSPC_GRAY: return fmGrey;
    case OPJ_CLRSPC_SRGB: return fmRGB;
    case OPJ_CLRSPC_SYCC: return fmYCC;
    case OPJ_CLRSPC_UNKNOWN:
    case OPJ_CLRSPC_UNSPECIFIED: return Image->numcomps >= 3 ? fmRGB : fmGrey;
    default: return fmOther;
  }
}

// A component's sample for each column (or row) of the image, the nearest
// one for subsampled components; places outside the component take its
// first sample.
std::vector<int64_t> IndexMap(uint32_t ImageOrigin, int32_t Count, uint32_t Step, uint32_t CompOrigin,
                              uint32_t CompSize) {
  std::vector<int64_t> map(static_cast<size_t>(Count));
  for (int32_t i = 0; i < Count; ++i) {
    const int64_t v = (int64_t(ImageOrigin) + i) / Step - int64_t(CompOrigin);
    map[size_t(i)] = v < 0 || v >= int64_t(CompSize) ? 0 : v;
  }
  return map;
}

struct TComponentReader {
  const opj_image_comp_t* Comp = nullptr;
  std::vector<int64_t> Cols, Rows;
  uint32_t Shift = 0;  // 32 - precision
  const OPJ_INT32* Row(int32_t y) const { return Comp->data + Rows[size_t(y)] * int64_t(Comp->w); }
  // The sample's top 8 or 16 bits.
  uint8_t Top8(const OPJ_INT32* R, int32_t x) const {
    return uint8_t((uint32_t(R[Cols[size_t(x)]]) << Shift) >> 24);
  }
  uint16_t Top16(const OPJ_INT32* R, int32_t x) const {
    return uint16_t((uint32_t(R[Cols[size_t(x)]]) << Shift) >> 16);
  }
};

bool ComponentUsable(const opj_image_comp_t& C) {
  return C.prec >= 1 && C.prec <= 32 && C.dx >= 1 && C.dy >= 1 && C.w >= 1 && C.h >= 1;
}

uint8_t Clamp255(int32_t v) { return uint8_t(std::clamp(v, 0, 255)); }

// ---------------------------------------------------------------------------
// Writing

struct TEncodeOptions {
  double Rate = 0;
  bool ByResolution = false;
};

// Reads the option text back: "rate=r" and "prg=lrcp" or "prg=rlcp".
TEncodeOptions ParseOptions(const std::string& Text) {
  TEncodeOptions o;
  size_t p = 0;
  while (p < Text.size()) {
    size_t e = Text.find(' ', p);
    if (e == std::string::npos) e = Text.size();
    const std::string item = Text.substr(p, e - p);
    if (item.rfind("rate=", 0) == 0) {
      double r = 0;
      const char* first = item.data() + 5;
      if (std::from_chars(first, item.data() + item.size(), r).ec == std::errc()) o.Rate = r;
    } else if (item == "prg=rlcp") {
      o.ByResolution = true;
    } else if (item == "prg=lrcp") {
      o.ByResolution = false;
    }
    p = e + 1;
  }
  return o;
}

// Decomposition levels that the smaller side can take (the default is five).
int32_t Resolutions(int32_t Width, int32_t Height) {
  int32_t n = 1;
  while (n < 6 && (std::min(Width, Height) >> n) >= 1) ++n;
  return n;
}

bool AlphaNotOpaque(TVXBitmap* Bitmap) {
  TVXBitmap* a = Bitmap->AlphaChannelOpt();
  if (a == nullptr || a->IsEmpty() || a->Width() != Bitmap->Width() || a->Height() != Bitmap->Height()) return false;
  for (int32_t y = 0; y < a->Height(); ++y) {
    const uint8_t* r = static_cast<const uint8_t*>(a->Scanline(y));
    for (int32_t x = 0; x < a->Width(); ++x)
      if (r[x] != 255) return true;
  }
  return false;
}

}  // namespace

void VXJpeg2000Initialize() {
  if (gInitialized.load(std::memory_order_acquire)) return;
  YCbCrTables();
  gInitialized.store(true, std::memory_order_release);
}

void VXJpeg2000Finalize() { gInitialized.store(false, std::memory_order_release); }

bool VXJpeg2000Initialized() { return gInitialized.load(std::memory_order_acquire); }

std::string VXJpeg2000OptionText(const TIOParamsVals& IOParams) {
  return "rate=" + VXFloatToStrDot(IOParams.J2000_Rate()) +
         (IOParams.J2000_ScalableBy() == ioJ2000_Resolution ? " prg=rlcp" : " prg=lrcp");
}

void VXReadJpeg2000Stream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                          bool Preview) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  VXJpeg2000Initialize();
  if (Stream == nullptr) {
    aborting = true;
    return;
  }
  OPJ_CODEC_FORMAT format;
  if (VXIsJP2Stream(Stream))
    format = OPJ_CODEC_JP2;
  else if (VXIsJ2KCodestream(Stream))
    format = OPJ_CODEC_J2K;
  else {
    aborting = true;
    return;
  }

  TBridge bridge{Stream, Stream->Position()};
  TOpjSession opj;
  opj.Stream = MakeStream(bridge, true);
  opj.Codec = opj_create_decompress(format);
  if (!opj.Stream || !opj.Codec) {
    aborting = true;
    return;
  }
  InstallHandlers(opj.Codec, aborting);
  opj_dparameters_t dp;
  opj_set_default_decoder_parameters(&dp);
  if (!opj_setup_decoder(opj.Codec, &dp)) {
    aborting = true;
    return;
  }
  // The thread count is taken before the header is read, or not at all. On
  // one processor no pool: its one worker would only take turns with us.
  if (opj_has_thread_support() && VXProcessorCount() > 1) opj_codec_set_threads(opj.Codec, VXProcessorCount());
  if (!opj_read_header(opj.Stream, opj.Codec, &opj.Image) || !opj.Image) {
    aborting = true;
    return;
  }

  opj_image_t* image = opj.Image;
  if (image->x1 <= image->x0 || image->y1 <= image->y0 || image->x1 - image->x0 > uint32_t(INT32_MAX) ||
      image->y1 - image->y0 > uint32_t(INT32_MAX) || image->numcomps < 1) {
    aborting = true;
    return;
  }
  const int32_t W = int32_t(image->x1 - image->x0), H = int32_t(image->y1 - image->y0);

  // The parameters, from the header.
  auto fillParams = [&](const opj_image_t* img, TFamily family) {
    IOParams.SetImageCount(1);
    const TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
    IOParams.SetDpiX(settings->DefaultDPIX());
    IOParams.SetDpiY(settings->DefaultDPIY());
    IOParams.FreeColorMap();
    IOParams.SetWidth(W);
    IOParams.SetHeight(H);
    IOParams.SetOriginalWidth(W);
    IOParams.SetOriginalHeight(H);
    IOParams.SetBitsPerSample(int32_t(img->comps[0].prec));
    IOParams.SetSamplesPerPixel(family == fmGrey ? 1 : 3);
  };
  for (uint32_t c = 0; c < image->numcomps; ++c)
    if (image->comps[c].prec < 1 || image->comps[c].prec > 32 || image->comps[c].dx < 1 || image->comps[c].dy < 1) {
      aborting = true;
      return;
    }
  if (Family(image) == fmOther) {
    aborting = true;
    return;
  }
  fillParams(image, Family(image));
  if (Preview) return;

  // A first refusal from the header, before anything is decoded. The codec
  // holds every component whole as 32-bit samples beside the bitmap made
  // from them. Nothing in the code stream grows with the frame (a flat
  // picture codes in a few hundred bytes, whatever its size), so a frame of
  // far more samples than the stream could plausibly carry is refused as
  // damage too: decoding it would cost the declared size, not the input's.
  const int64_t comps = int64_t(image->numcomps);
  if (!VXImageSizeAllowed(W, H, 24 + 32 * comps) ||
      !VXDeclaredDataPlausible(Stream->Size() - bridge.Base, int64_t(W) * H * comps, kMaxSamplesPerByte)) {
    aborting = true;
    return;
  }
  if (!opj_decode(opj.Codec, opj.Stream, image) || !opj_end_decompress(opj.Codec, opj.Stream) || aborting) {
    aborting = true;
    return;
  }

  // Palettes and channel definitions are applied now: the components as they are.
  const TFamily family = Family(image);
  const uint32_t used = family == fmGrey ? 1 : 3;
  if (family == fmOther || image->numcomps < used) {
    aborting = true;
    return;
  }
  for (uint32_t c = 0; c < used; ++c)
    if (!ComponentUsable(image->comps[c]) || image->comps[c].data == nullptr) {
      aborting = true;
      return;
    }
  fillParams(image, family);
  const int32_t bps = IOParams.BitsPerSample();

  TVXPixelFormat pf = vx24RGB;
  if (Bitmap && Bitmap->Location() == vxTBitmap)
    pf = bps == 1 && family == fmGrey ? vx1g : vx24RGB;
  else if (family == fmGrey)
    pf = bps == 1 ? vx1g : bps == 8 ? vx8g : bps < 8 ? vx24RGB : vx16g;
  if (!Bitmap || !VXImageSizeAllowed(W, H, VXPixelFormatBitCount[pf]) || !Bitmap->Allocate(W, H, pf)) {
    aborting = true;
    return;
  }

  std::array<TComponentReader, 3> comp;
  for (uint32_t c = 0; c < used; ++c) {
    const opj_image_comp_t& k = image->comps[c];
    comp[c].Comp = &k;
    comp[c].Cols = IndexMap(image->x0, W, k.dx, k.x0, k.w);
    comp[c].Rows = IndexMap(image->y0, H, k.dy, k.y0, k.h);
    comp[c].Shift = 32 - k.prec;
  }
  const TYCbCrTables& t = YCbCrTables();
  int32_t lastPercent = -1;
  for (int32_t y = 0; y < H && !aborting; ++y) {
    uint8_t* row = static_cast<uint8_t*>(Bitmap->Scanline(y));
    if (family != fmGrey) {
      const OPJ_INT32* r0 = comp[0].Row(y);
      const OPJ_INT32* r1 = comp[1].Row(y);
      const OPJ_INT32* r2 = comp[2].Row(y);
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t a = comp[0].Top8(r0, x), b = comp[1].Top8(r1, x), c = comp[2].Top8(r2, x);
        uint8_t red = a, green = b, blue = c;
        if (family == fmYCC) {
          red = Clamp255(a + t.CrToR[c]);
          green = Clamp255(a + t.CbToG[b] + t.CrToG[c]);
          blue = Clamp255(a + t.CbToB[b]);
        }
        if (pf == vx1g) {
          if (x % 8 == 0) row[x / 8] = 0;
          if (red | green | blue) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        } else {
          row[3 * x] = blue;
          row[3 * x + 1] = green;
          row[3 * x + 2] = red;
        }
      }
    } else {
      const OPJ_INT32* r = comp[0].Row(y);
      for (int32_t x = 0; x < W; ++x) {
        switch (pf) {
          case vx1g:
            if (x % 8 == 0) row[x / 8] = 0;
            if (comp[0].Top8(r, x) != 0) row[x / 8] |= uint8_t(0x80 >> (x % 8));
            break;
          case vx8g: row[x] = comp[0].Top8(r, x); break;
          case vx16g: {
            const uint16_t v = comp[0].Top16(r, x);
            row[2 * x] = uint8_t(v);
            row[2 * x + 1] = uint8_t(v >> 8);
            break;
          }
          default: row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = comp[0].Top8(r, x); break;
        }
      }
    }
    VXReportProgress(Progress, int32_t(int64_t(y) * 100 / H), lastPercent);
  }
}

void VXWriteJpeg2000Stream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                           int32_t Format) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  VXJpeg2000Initialize();
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
    aborting = true;
    return;
  }
  const TVXPixelFormat pf = Bitmap->PixelFormat();
  switch (pf) {
    case vx1g: IOParams.SetBitsPerSample(1); break;
    case vx8g: IOParams.SetBitsPerSample(8); break;
    case vx16g: IOParams.SetBitsPerSample(16); break;
    case vx24RGB: break;
    default: aborting = true; return;
  }
  if (pf != vx24RGB) IOParams.SetJ2000_ColorSpace(ioJ2000_GRAYLEV);
  const int32_t bps = IOParams.BitsPerSample();
  if (bps < 1 || bps > 16) {  // more than the writer's samples hold
    aborting = true;
    return;
  }
  const uint32_t M = (1u << bps) - 1;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const bool grey = IOParams.J2000_ColorSpace() == ioJ2000_GRAYLEV;
  const uint32_t numComps = grey ? 1 : (AlphaNotOpaque(Bitmap) ? 4 : 3);

  std::array<opj_image_cmptparm_t, 4> parms{};
  for (uint32_t c = 0; c < numComps; ++c) {
    parms[c].dx = parms[c].dy = 1;
    parms[c].w = uint32_t(W);
    parms[c].h = uint32_t(H);
    parms[c].prec = uint32_t(bps);
    parms[c].sgnd = 0;
  }
  TOpjSession opj;
  opj.Image = opj_image_create(numComps, parms.data(), grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
  if (!opj.Image) {
    aborting = true;
    return;
  }
  opj_image_t* image = opj.Image;
  image->x0 = image->y0 = 0;
  image->x1 = uint32_t(W);
  image->y1 = uint32_t(H);
  if (numComps == 4) image->comps[3].alpha = 1;

  const TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const int64_t rc = settings->RedToGrayCoef(), gc = settings->GreenToGrayCoef(), bc = settings->BlueToGrayCoef();
  TVXBitmap* alpha = numComps == 4 ? Bitmap->AlphaChannelOpt() : nullptr;
  auto scale = [M](int64_t v) { return OPJ_INT32(v * M / 255); };
  int32_t lastPercent = -1;
  for (int32_t y = 0; y < H; ++y) {
    const size_t at = size_t(y) * size_t(W);
    if (aborting) {
      for (uint32_t c = 0; c < numComps; ++c) std::fill_n(image->comps[c].data + at, size_t(W), 0);
      continue;
    }
    const uint8_t* row = static_cast<const uint8_t*>(Bitmap->Scanline(y));
    OPJ_INT32* d0 = image->comps[0].data + at;
    for (int32_t x = 0; x < W; ++x) {
      switch (pf) {
        case vx1g: d0[x] = (row[x / 8] >> (7 - x % 8)) & 1; break;
        case vx8g: d0[x] = row[x]; break;
        case vx16g: d0[x] = OPJ_INT32(row[2 * x] | (row[2 * x + 1] << 8)); break;
        default: {
          const uint8_t b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
          if (grey) {
            d0[x] = scale((rc * r + gc * g + bc * b) / 100);
          } else {
            d0[x] = scale(r);
            image->comps[1].data[at + size_t(x)] = scale(g);
            image->comps[2].data[at + size_t(x)] = scale(b);
          }
        }
      }
    }
    if (alpha) {
      const uint8_t* a = static_cast<const uint8_t*>(alpha->Scanline(y));
      for (int32_t x = 0; x < W; ++x) image->comps[3].data[at + size_t(x)] = scale(a[x]);
    }
    VXReportProgress(Progress, int32_t(int64_t(y) * 100 / H), lastPercent);
  }

  const TEncodeOptions options = ParseOptions(VXJpeg2000OptionText(IOParams));
  opj_cparameters_t cp;
  opj_set_default_encoder_parameters(&cp);
  cp.tcp_numlayers = 1;
  cp.cp_disto_alloc = 1;
  if (options.Rate > 0 && options.Rate < 1) {
    cp.tcp_rates[0] = float(1 / options.Rate);
    cp.irreversible = 1;
  } else {
    cp.tcp_rates[0] = 0;  // lossless
    cp.irreversible = 0;
  }
  cp.prog_order = options.ByResolution ? OPJ_RLCP : OPJ_LRCP;
  cp.tcp_mct = numComps >= 3 ? 1 : 0;
  cp.numresolution = Resolutions(W, H);

  TBridge bridge{Stream, Stream->Position()};
  opj.Stream = MakeStream(bridge, false);
  opj.Codec = opj_create_compress(Format == 0 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  if (!opj.Stream || !opj.Codec) {
    aborting = true;
    return;
  }
  InstallHandlers(opj.Codec, aborting);
  const bool ok = opj_setup_encoder(opj.Codec, &cp, image) && opj_start_compress(opj.Codec, image, opj.Stream) &&
                  opj_encode(opj.Codec, opj.Stream) && opj_end_compress(opj.Codec, opj.Stream);
  if (!ok || bridge.ShortWrite) aborting = true;
}
