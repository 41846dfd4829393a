// The camera raw glue: metadata, the decoder's stages, and the output stage
// of our own (luminance histogram, white point, tone table, 24- or 48-bit
// output with the pixel aspect), the 45-degree rotation and the probe.
#include "formats/camera_raw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/pixels.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/exif.h"
#include "io/params.h"
#include "proc/whitebalance.h"

namespace {

constexpr int32_t kHistogramBins = 8192;
// A pixel aspect is applied by repeating pixels at most this often.
constexpr int32_t kMaxMagnification = 64;

// The bytes of the stream from its position to its end, or empty when they
// are none or more than the machine can hold.
std::vector<uint8_t> ReadWhole(TStream* Stream) {
  std::vector<uint8_t> data;
  const int64_t size = Stream->Size() - Stream->Position();
  if (size <= 0 || !VXStorageSizeAllowed(size)) return data;
  data.resize(size_t(size));
  const int64_t got = Stream->Read(data.data(), size);
  data.resize(size_t(std::max<int64_t>(0, got)));
  return data;
}

// xmag, ymag of the decoder's pixel aspect.
void Magnification(double Aspect, int32_t& XMag, int32_t& YMag) {
  XMag = YMag = 1;
  if (!std::isfinite(Aspect) || Aspect <= 0) return;
  auto mag = [](double v) {
    return int32_t(std::clamp<double>(std::nearbyint(v), 1, kMaxMagnification));
  };
  if (Aspect > 1)
    XMag = mag(Aspect);
  else if (Aspect < 1)
    YMag = mag(1 / Aspect);
}

// Output value of one channel: Trunc(Value x Factor), clipped to Limit.
inline int32_t ToneValue(uint16_t Value, double Factor, int32_t Limit) {
  const double x = double(Value) * Factor;
  if (x >= double(Limit)) return Limit;
  return x > 0 ? int32_t(x) : 0;
}

// Luminance of the converted values into the fourth value of each pixel,
// and the histogram of luminance shr 3.
void Luminance(uint16_t* Image, int64_t Pixels, std::vector<int64_t>& Histogram) {
  Histogram.assign(kHistogramBins, 0);
  for (int64_t i = 0; i < Pixels; ++i) {
    uint16_t* p = Image + 4 * i;
    const uint32_t l = (299u * p[0] + 587u * p[1] + 114u * p[2]) / 1000u;
    p[3] = uint16_t(l);
    ++Histogram[size_t(l >> 3)];
  }
}

// The white point: summing the histogram from the top, the first bin whose
// sum exceeds the share of the pixels gives bin x 16; never 0.
int32_t WhitePoint(const std::vector<int64_t>& Histogram, int64_t Width, int64_t Height, const std::string& Make) {
  const double share = Make == "FUJIFILM" ? 0.005 : 0.01;
  const int64_t p = int64_t(double(Width) * double(Height) * share);
  int64_t total = 0;
  int32_t max = 0;
  for (int32_t bin = kHistogramBins - 1; bin >= 1; --bin) {
    total += Histogram[size_t(bin)];
    if (total > p) {
      max = bin * 16;
      break;
    }
  }
  return max == 0 ? 1 : max;
}

// The tone table: T[i] = (2 i / max)^(gamma - 1) x brightness x 442 / max,
// times Scale.
std::vector<double> ToneTable(int32_t Max, double Gamma, double Bright, double Scale) {
  std::vector<double> t(65536, 0.0);
  for (int32_t i = 1; i < 65536; ++i)
    t[size_t(i)] = std::pow(2.0 * i / Max, Gamma - 1) * Bright * 442.0 / Max * Scale;
  return t;
}

template <typename Pixel>
bool IsBlack(const Pixel& p) {
  return p.r == 0 && p.g == 0 && p.b == 0;
}

template <typename Pixel>
Pixel Average4(const Pixel& a, const Pixel& b, const Pixel& c, const Pixel& d) {
  Pixel r = a;
  r.r = decltype(r.r)((uint32_t(a.r) + b.r + c.r + d.r) >> 2);
  r.g = decltype(r.g)((uint32_t(a.g) + b.g + c.g + d.g) >> 2);
  r.b = decltype(r.b)((uint32_t(a.b) + b.b + c.b + d.b) >> 2);
  return r;
}

template <typename Pixel>
void RotateFuji45(TVXBitmap* Bitmap, TVXPixelFormat Format) {
  const int32_t width = Bitmap->Width(), height = Bitmap->Height();
  const Pixel* row0 = static_cast<const Pixel*>(Bitmap->Scanline(0));
  int32_t a = 0;
  while (a < width && IsBlack(row0[a])) ++a;
  int32_t n = 0;
  for (int32_t k = width - 1; k >= 0; --k)
    if (!IsBlack(row0[k])) {
      n = k;
      break;
    }
  const int64_t ho = 2 * int64_t(width) - 2 * int64_t(a) - 4;
  // Nothing to turn: no picture in the first row, or no rows would remain.
  if (n <= 0 || ho <= 0 || !VXImageSizeAllowed(2 * int64_t(n), ho, 8 * int64_t(sizeof(Pixel)))) return;
  const int32_t Ho = int32_t(ho), N = n;

  std::vector<Pixel> m(size_t(Ho) * size_t(N), Pixel{});
  for (int32_t r = 0; r < height; ++r) {
    const Pixel* src = static_cast<const Pixel*>(Bitmap->Scanline(r));
    for (int32_t k = 0; k < width; ++k) {
      const int64_t d = int64_t(r) + k - N + 5;
      const int64_t e = (int64_t(k) + N - r - 1) / 2;  // truncating
      if (d >= 0 && d < Ho && e >= 0 && e < N) m[size_t(d) * size_t(N) + size_t(e)] = src[k];
    }
  }
  auto M = [&](int32_t y, int32_t x) -> const Pixel& { return m[size_t(y) * size_t(N) + size_t(x)]; };

  TVXBitmap result;
  if (!result.Allocate(2 * N, Ho, Format)) return;
  const size_t rowBytes = size_t(2 * N) * sizeof(Pixel);
  for (int32_t y = 0; y < Ho; ++y) std::memset(result.Scanline(y), 0, rowBytes);
  std::vector<Pixel> buffer(size_t(2 * N), Pixel{});
  for (int32_t y = 1; y < Ho; ++y) {
    for (int32_t x = 1; x < 2 * N; ++x) {
      if ((y + x) % 2 == 0) {
        buffer[size_t(x)] = M(y, x / 2);
      } else if (y <= Ho - 2 && x <= 2 * N - 2) {
        const int32_t j = (y % 2 == 1) ? x / 2 - 1 : x / 2;
        buffer[size_t(x)] = Average4(M(y - 1, x / 2), M(y, j), M(y + 1, x / 2), M(y, j + 1));
      }
    }
    buffer[0] = Pixel{};
    std::memcpy(result.Scanline(y - 1), buffer.data(), rowBytes);
  }
  Bitmap->Assign(&result);
}

}  // namespace

void VXRotateFuji45(TVXBitmap* Bitmap) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  if (Bitmap->PixelFormat() == vx48RGB)
    RotateFuji45<TRGB48>(Bitmap, vx48RGB);
  else if (Bitmap->PixelFormat() == vx24RGB)
    RotateFuji45<TRGB>(Bitmap, vx24RGB);
}

void VXReadRawStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                     TProgressRec& Progress) {
  std::unique_ptr<TVXRawDecoder> decoder = VXCreateLibRawDecoder();
  VXReadRawStream(Stream, Bitmap, Params, ParamsOnly, Progress, *decoder);
}

void VXReadRawStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                     TProgressRec& Progress, TVXRawDecoder& Decoder) {
  bool localAbort = false;
  TProgressRec progress = Progress;
  if (!progress.Aborting) progress.Aborting = &localAbort;
  bool& aborting = *progress.Aborting;
  int32_t lastPercent = -1;
  const int64_t start = Stream->Position();

  // The embedded thumbnail instead of the image, when there is one.
  if (Params.RAW_GetExifThumbnail() && !ParamsOnly) {
    if (Params.EXIF_Bitmap()) Params.EXIF_Bitmap()->FreeImage(true);
    Params.SetRAW_GetExifThumbnail(false);
    bool innerAbort = false;
    TProgressRec quiet;
    quiet.Aborting = &innerAbort;
    try {
      VXReadRawStream(Stream, Bitmap, Params, true, quiet, Decoder);
    } catch (...) {
      Params.SetRAW_GetExifThumbnail(true);
      throw;
    }
    Params.SetRAW_GetExifThumbnail(true);
    TVXBitmap* thumbnail = Params.EXIF_Bitmap();
    if (thumbnail && !thumbnail->IsEmpty()) {
      Bitmap->Assign(thumbnail);
      VXReportProgress(progress, 100, lastPercent);
      return;
    }
    Stream->SetPosition(start);
  }

  // EXIF: an embedded TIFF structure, else a CIFF heap.
  {
    TVXBufferedReadStream buffered(Stream, 65536, VXGetGlobalSettings()->UseRelativeStreams());
    const int64_t base = buffered.Position();
    try {
      const int64_t offset = VXFindTIFFHeader(&buffered);
      if (offset >= 0) {
        buffered.SetPosition(base + offset);
        VXLoadEXIFFromTIFFStream(&buffered, Params, false);
      } else {
        buffered.SetPosition(base);
        ReadRawExifAndJpeg(&buffered, Params);
      }
    } catch (const std::exception&) {
      // Damaged metadata leaves what was read; the image may still decode.
    }
  }
  Stream->SetPosition(start);

  const bool autoAdjust = Params.RAW_AutoAdjustColors() && Params.EXIF_Bitmap() && !Params.EXIF_Bitmap()->IsEmpty();
  const double gamma = Params.RAW_Gamma();
  const double bright = autoAdjust ? 0.5 : Params.RAW_Bright();

  // Identification.
  const std::vector<uint8_t> data = ReadWhole(Stream);
  Stream->SetPosition(start);
  if (data.empty() || !Decoder.Identify(data.data(), data.size())) {
    Decoder.Recycle();
    aborting = true;
    return;
  }
  const TVXRawIdentity id = Decoder.Identity();
  if (id.Width < 3 || id.Height < 3) {
    Decoder.Recycle();
    aborting = true;
    return;
  }
  Params.SetRAW_Camera(id.Make + " " + id.Model + " " + id.Model2);
  Params.SetDpiX(VXGetGlobalSettings()->DefaultDPIX());
  Params.SetDpiY(VXGetGlobalSettings()->DefaultDPIY());
  Params.FreeColorMap();
  Params.SetWidth(id.Width - 2);
  Params.SetOriginalWidth(id.Width - 2);
  Params.SetHeight(id.Height - 2);
  Params.SetOriginalHeight(id.Height - 2);
  if (ParamsOnly) {
    Decoder.Recycle();
    VXReportProgress(progress, 100, lastPercent);
    return;
  }

  // Decoding.
  TVXRawOptions options;
  options.HalfSize = Params.RAW_HalfSize() && id.Filters != 0;
  options.FourColorRGB = Params.RAW_FourColorRGB();
  options.QuickInterpolate = Params.RAW_QuickInterpolate();
  options.UseAutoWB = Params.RAW_UseAutoWB();
  options.UseCameraWB = Params.RAW_UseCameraWB();
  options.RedScale = Params.RAW_RedScale();
  options.BlueScale = Params.RAW_BlueScale();
  const int32_t border = (id.Filters != 0 && !options.HalfSize) ? 1 : 0;
  int32_t xmag = 1, ymag = 1;
  Magnification(id.PixelAspect, xmag, ymag);
  const bool native = Params.IsNativePixelFormat;
  const int64_t bitsPerPixel = native ? 48 : 24;

  // Everything that will be allocated fits the limits before the decoder
  // allocates any of it.
  auto outputAllowed = [&](int64_t W, int64_t H) {
    return W > 2 * border && H > 2 * border &&
           VXImageSizeAllowed((W - 2 * border) * xmag, (H - 2 * border) * ymag, bitsPerPixel);
  };
  {
    const int64_t w = options.HalfSize ? (int64_t(id.Width) + 1) >> 1 : id.Width;
    const int64_t h = options.HalfSize ? (int64_t(id.Height) + 1) >> 1 : id.Height;
    const bool rawAllowed = id.RawWidth <= 0 || id.RawHeight <= 0 || VXImageSizeAllowed(id.RawWidth, id.RawHeight, 16);
    if (!rawAllowed || !VXImageSizeAllowed(w, h, 64) || !outputAllowed(w, h)) {
      Decoder.Recycle();
      aborting = true;
      return;
    }
  }

  const bool decoded = Decoder.Process(options, [&](TVXRawStage Stage) {
    VXReportProgress(progress, Stage == vxrsWhiteBalance ? 70 : 85, lastPercent);
    return aborting;
  });
  const int32_t W = Decoder.ImageWidth(), H = Decoder.ImageHeight();
  uint16_t* image = Decoder.Image();
  if (!decoded || aborting || !image || !VXImageSizeAllowed(W, H, 64) || !outputAllowed(W, H)) {
    Decoder.Recycle();
    aborting = true;
    return;
  }
  Params.SetImageCount(1);

  // White point and tone table.
  std::vector<int64_t> histogram;
  Luminance(image, int64_t(W) * H, histogram);
  const int32_t max = WhitePoint(histogram, W, H, id.Make);
  const std::vector<double> tone = ToneTable(max, gamma, bright, native ? 65535.0 / 255.0 : 1.0);

  // Output without the border, each pixel xmag times along its row and each
  // row ymag times.
  const int32_t outW = (W - 2 * border) * xmag, outH = (H - 2 * border) * ymag;
  Params.SetBitsPerSample(native ? 16 : 8);
  Params.SetSamplesPerPixel(3);
  if (!Bitmap->Allocate(outW, outH, native ? vx48RGB : vx24RGB)) {
    Decoder.Recycle();
    aborting = true;
    return;
  }
  const int32_t limit = native ? 65535 : 255;
  for (int32_t y = border; y < H - border; ++y) {
    const uint16_t* src = image + size_t(y) * size_t(W) * 4;
    const int32_t first = (y - border) * ymag;
    void* row = Bitmap->Scanline(first);
    for (int32_t x = border; x < W - border; ++x) {
      const uint16_t* p = src + size_t(x) * 4;
      const double f = tone[p[3]];
      const int32_t r = ToneValue(p[0], f, limit), g = ToneValue(p[1], f, limit), b = ToneValue(p[2], f, limit);
      const size_t o = size_t(x - border) * size_t(xmag);
      for (int32_t k = 0; k < xmag; ++k) {
        if (native) {
          static_cast<TRGB48*>(row)[o + size_t(k)] = TRGB48{uint16_t(r), uint16_t(g), uint16_t(b)};
        } else {
          static_cast<TRGB*>(row)[o + size_t(k)] = TRGB{uint8_t(b), uint8_t(g), uint8_t(r)};
        }
      }
    }
    const size_t rowBytes = size_t(outW) * (native ? sizeof(TRGB48) : sizeof(TRGB));
    for (int32_t k = 1; k < ymag; ++k) std::memcpy(Bitmap->Scanline(first + k), row, rowBytes);
  }
  Decoder.Recycle();
  VXReportProgress(progress, 90, lastPercent);
  if (id.Diagonal) VXRotateFuji45(Bitmap);

  if (autoAdjust) VXMatchHistogram(Params.EXIF_Bitmap(), Bitmap);
  VXReportProgress(progress, 100, lastPercent);
}

bool VXIsRawStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  bool result = false;
  try {
    const std::vector<uint8_t> data = ReadWhole(Stream);
    if (!data.empty()) {
      std::unique_ptr<TVXRawDecoder> decoder = VXCreateLibRawDecoder();
      result = decoder->Identify(data.data(), data.size());
      decoder->Recycle();
    }
  } catch (const std::exception&) {
    result = false;
  }
  Stream->SetPosition(start);
  return result;
}
