// TVXFtImage: planes, tables, the radix-2 transform and the spectrum tools.

#include "proc/ftimage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <immintrin.h>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/mask.h"
#include "core/settings.h"

namespace {
namespace vxfft {

// Lanes of one group: that many rows (or columns) are transformed at once.
constexpr int32_t kLanes = 8;
typedef float VF __attribute__((vector_size(kLanes * sizeof(float))));

#define VX_SPLAT(v) VF{v, v, v, v, v, v, v, v}

// Blocks of at most this many elements finish their remaining stages one
// stage after another (they sit in the first-level cache); larger ones go
// depth first.
constexpr int32_t kSmallBlock = 64;

// The per-grid data of one transform direction.
struct TFFTPlan {
  int32_t N = 1;
  int32_t nn = 0;
  const int32_t* bittab = nullptr;
  const float* cosf = nullptr;  // the cosine of twiddle a, as a single
  const float* sinf = nullptr;  // the sine of twiddle a times the direction
  float scale = 1;               // float(1 / sqrt(N))
};

}  // namespace vxfft

// The loops for the baseline instruction set and for AVX2; the transform
// picks one when it runs.
namespace vxfft_base {
using namespace vxfft;
#include "proc/ftimage_kernel.h"
}  // namespace vxfft_base

#pragma GCC push_options
#pragma GCC target("avx2")
namespace vxfft_avx2 {
using namespace vxfft;
#include "proc/ftimage_kernel.h"
}  // namespace vxfft_avx2
#pragma GCC pop_options

bool gForceBaseline = false;

bool UseAVX2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 && !gForceBaseline;
}

}  // namespace

using vxfft::kLanes;
using vxfft::TFFTPlan;
using vxfft::VF;

void vxdetail::VXFtImageForceBaseline(bool Value) { gForceBaseline = Value; }

// ---------------------------------------------------------------------------
// Planes

TVXCOMPLEX_IMAGE::TVXCOMPLEX_IMAGE(int32_t Size) : N(Size) {
  block.reset(new float[size_t(N) * size_t(N) * 2]);
  rows.resize(size_t(N));
  for (int32_t y = 0; y < N; ++y) rows[size_t(y)] = block.get() + size_t(y) * size_t(N) * 2;
}

TVXFtImage::TVXFtImage() = default;
TVXFtImage::~TVXFtImage() = default;

void TVXFtImage::FreePlanes() {
  ffr.reset();
  ffg.reset();
  ffb.reset();
  ffgray.reset();
}

std::vector<TVXCOMPLEX_IMAGE*> TVXFtImage::Planes() const {
  std::vector<TVXCOMPLEX_IMAGE*> out;
  for (TVXCOMPLEX_IMAGE* p : {ffr.get(), ffg.get(), ffb.get(), ffgray.get()})
    if (p) out.push_back(p);
  return out;
}

void TVXFtImage::BuildTables(int32_t N) {
  numpts = N;
  nn = int32_t(std::log(double(N)) / std::log(2.0) + 0.5);
  scalef = 1.0 / std::sqrt(double(N));
  fPowers.assign(size_t(nn) + 1, 0);
  for (int32_t i = 0; i <= nn; ++i) fPowers[size_t(i)] = int32_t(std::pow(2.0, i) + 0.5);
  fSinTab.assign(size_t(N), 0);
  for (int32_t i = 0; i < N; ++i) fSinTab[size_t(i)] = std::sin(i * 6.283185307179587 / N);
  fBitTab.assign(size_t(N), 0);
  for (int32_t i = 0; i < N; ++i) {
    int32_t r = 0;
    for (int32_t b = 0; b < nn; ++b)
      if (i & (1 << b)) r |= 1 << (nn - 1 - b);
    fBitTab[size_t(i)] = r;
  }
}

void TVXFtImage::Assign(const TVXFtImage* Source) {
  if (!Source || Source == this) return;
  FreePlanes();
  fFFTN = Source->fFFTN;
  NORMALIZE = Source->NORMALIZE;
  if (fFFTN > 0) BuildTables(fFFTN);
  fOX = Source->fOX;
  fOY = Source->fOY;
  fOrigBitmapWidth = Source->fOrigBitmapWidth;
  fOrigBitmapHeight = Source->fOrigBitmapHeight;
  OnProgress = Source->OnProgress;
  fImageType = Source->fImageType;
  auto copy = [](const std::unique_ptr<TVXCOMPLEX_IMAGE>& from) -> std::unique_ptr<TVXCOMPLEX_IMAGE> {
    if (!from) return nullptr;
    auto p = std::make_unique<TVXCOMPLEX_IMAGE>(from->N);
    std::memcpy(p->block.get(), from->block.get(), size_t(from->N) * size_t(from->N) * 2 * sizeof(float));
    return p;
  };
  ffr = copy(Source->ffr);
  ffg = copy(Source->ffg);
  ffb = copy(Source->ffb);
  ffgray = copy(Source->ffgray);
}

void TVXFtImage::CalcFFTImageSize(int32_t ImageWidth, int32_t ImageHeight, int32_t& FFTImageWidthHeight) {
  const int32_t side = std::max(ImageWidth, ImageHeight);
  int32_t n = 1;
  while (n < side && n < (1 << 30)) n <<= 1;
  FFTImageWidthHeight = n;
}

void TVXFtImage::CalcSuitableSourceSize(int32_t OrigWidth, int32_t OrigHeight, int32_t& NewWidth, int32_t& NewHeight) {
  if (OrigHeight < OrigWidth) {
    NewWidth = std::max(OrigWidth / 3, 128);
    NewHeight = int32_t(int64_t(NewWidth) * OrigHeight / OrigWidth);
  } else {
    NewHeight = std::max(OrigHeight / 3, 128);
    NewWidth = OrigHeight == 0 ? 0 : int32_t(int64_t(NewHeight) * OrigWidth / OrigHeight);
  }
}

// ---------------------------------------------------------------------------
// The transform

void TVXFtImage::Transform2D(const TVXCOMPLEX_IMAGE& Source, TVXCOMPLEX_IMAGE& Dest, int32_t Direction,
                             int32_t PlaneIndex, int32_t PlaneCount) {
  const int32_t N = fFFTN;
  const float dir = Direction == 1 ? 1.0f : -1.0f;
  // Twiddle a: the cosine is the sine a quarter period further on; a grid
  // of 2 has no quarter period in its table and takes the true cosine.
  std::vector<float> cosv(static_cast<size_t>(N)), sinv(static_cast<size_t>(N));
  for (int32_t a = 0; a < N; ++a) {
    const double c = N >= 4 ? fSinTab[size_t((a + N / 4) % N)] : (a == 0 ? 1.0 : -1.0);
    cosv[size_t(a)] = float(c);
    sinv[size_t(a)] = float(double(dir) * fSinTab[size_t(a)]);
  }
  TFFTPlan plan;
  plan.N = N;
  plan.nn = nn;
  plan.bittab = fBitTab.data();
  plan.cosf = cosv.data();
  plan.sinf = sinv.data();
  plan.scale = float(scalef);
  const int32_t lanes = std::min(N, kLanes);

  std::unique_ptr<VF[]> re(new VF[size_t(N)]), im(new VF[size_t(N)]);
  const bool avx2 = UseAVX2();
  // Rows, a group of kLanes at a time.
  for (int32_t y0 = 0; y0 < N; y0 += lanes) {
    if (avx2)
      vxfft_avx2::RowGroup(plan, Source.rows.data() + y0, Dest.rows.data() + y0, lanes, re.get(), im.get());
    else
      vxfft_base::RowGroup(plan, Source.rows.data() + y0, Dest.rows.data() + y0, lanes, re.get(), im.get());
  }
  // Columns, a group of kLanes at a time.
  const double step = 100.0 / (double(N) * PlaneCount);
  for (int32_t x0 = 0; x0 < N; x0 += lanes) {
    if (avx2)
      vxfft_avx2::ColumnGroup(plan, Dest.rows.data(), x0, lanes, re.get(), im.get());
    else
      vxfft_base::ColumnGroup(plan, Dest.rows.data(), x0, lanes, re.get(), im.get());
    if (OnProgress)
      for (int32_t j = x0; j < x0 + lanes; ++j) OnProgress(this, int32_t(step * j + step * PlaneIndex * N));
  }
}

// ---------------------------------------------------------------------------
// Building and showing

void TVXFtImage::BuildFT(TVXBitmap* fOrigBitmap, TVXFtImageType ImageType) {
  if (!fOrigBitmap) return;
  std::unique_ptr<TVXBitmap> converted;
  TVXBitmap* src = fOrigBitmap;
  if (src->PixelFormat() != vx24RGB && !src->IsEmpty()) {
    converted = std::make_unique<TVXBitmap>(src);
    converted->SetPixelFormat(vx24RGB);
    src = converted.get();
  }
  const int32_t W = src->IsEmpty() ? 0 : src->Width(), H = src->IsEmpty() ? 0 : src->Height();
  int32_t N = 1;
  CalcFFTImageSize(W, H, N);
  const int32_t planeCount = ImageType == vxitRGB ? 3 : ImageType == vxitGrayscale ? 1 : 0;
  // The planes are allocated only for a grid within the library's limits.
  const std::string tooLarge = "Image too large: " + std::to_string(N) + " x " + std::to_string(N) + " pixels";
  if (N < W || N < H) throw EVXException(tooLarge);
  std::vector<std::unique_ptr<TVXCOMPLEX_IMAGE>> planes;
  if (planeCount > 0) {
    VXCheckImageSize(N, N, 64 * planeCount);
    try {
      for (int32_t p = 0; p < planeCount; ++p) planes.push_back(std::make_unique<TVXCOMPLEX_IMAGE>(N));
    } catch (const std::bad_alloc&) {
      throw EVXException(tooLarge);
    }
  }

  fImageType = ImageType;
  FreePlanes();
  fOrigBitmapWidth = W;
  fOrigBitmapHeight = H;
  fFFTN = N;
  BuildTables(N);
  fOX = (N - W) / 2;
  fOY = (N - H) / 2;
  if (planeCount == 0) return;

  NORMALIZE = true;
  const TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const int32_t rc = settings->RedToGrayCoef(), gc = settings->GreenToGrayCoef(), bc = settings->BlueToGrayCoef();
  for (int32_t p = 0; p < planeCount; ++p) {
    TVXCOMPLEX_IMAGE& plane = *planes[size_t(p)];
    std::memset(plane.block.get(), 0, size_t(N) * size_t(N) * 2 * sizeof(float));
    // Red, green and blue are bytes 2, 1 and 0 of a pixel.
    const int32_t byte = 2 - p;
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(src->ScanLine(y));
      float* dst = plane[fOY + y] + fOX;
      if (ImageType == vxitGrayscale) {
        for (int32_t x = 0; x < W; ++x)
          dst[x] = float((row[3 * x + 2] * rc + row[3 * x + 1] * gc + row[3 * x] * bc) / 100);
      } else {
        for (int32_t x = 0; x < W; ++x) dst[x] = float(row[3 * x + byte]);
      }
    }
    // Divided by the plane's maximum (when above 1), then the cells of odd
    // x + y negated, which moves the zero frequency to the grid's centre.
    float maxv = 1;
    for (int32_t y = 0; y < N; ++y)
      for (int32_t x = 0; x < N; ++x) maxv = std::max(maxv, plane[y][x]);
    for (int32_t y = 0; y < N; ++y) {
      float* row = plane[y];
      for (int32_t x = 0; x < N; ++x) {
        row[x] = row[x] / maxv;
        if ((x + y) & 1) {
          row[x] = -row[x];
          row[N + x] = -row[N + x];
        }
      }
    }
    Transform2D(plane, plane, -1, p, planeCount);
  }
  NORMALIZE = false;
  if (ImageType == vxitRGB) {
    ffr = std::move(planes[0]);
    ffg = std::move(planes[1]);
    ffb = std::move(planes[2]);
  } else {
    ffgray = std::move(planes[0]);
  }
}

namespace {

// The bytes of a vx24RGB pixel that a plane writes: red, green, blue, or all
// three for grey.
struct TPlaneBytes {
  TVXCOMPLEX_IMAGE* plane;
  int32_t first, last;
};

}  // namespace

void TVXFtImage::GetFTImage(TVXBitmap* Bitmap) {
  if (!Bitmap) return;
  const int32_t N = fFFTN;
  if (!Bitmap->Allocate(N, N, vx24RGB)) return;
  Bitmap->Fill(0);
  const std::vector<TPlaneBytes> planes = {{ffr.get(), 2, 2}, {ffg.get(), 1, 1}, {ffb.get(), 0, 0}, {ffgray.get(), 0, 2}};
  std::vector<float> L(size_t(N) * size_t(N));
  for (const TPlaneBytes& pb : planes) {
    if (!pb.plane) continue;
    const TVXCOMPLEX_IMAGE& plane = *pb.plane;
    // ln sqrt |z| of every cell (0 where |z| = 0) and its range.
    float mn = 1e20f, mx = -1e20f;
    for (int32_t y = 0; y < N; ++y) {
      const float* row = plane[y];
      float* l = L.data() + size_t(y) * size_t(N);
      for (int32_t x = 0; x < N; ++x) {
        const float re = row[x], im = row[N + x];
        const float m = std::sqrt(re * re + im * im);
        const float v = m == 0 ? 0.0f : std::log(std::sqrt(m));
        l[x] = v;
        mn = std::min(mn, v);
        mx = std::max(mx, v);
      }
    }
    if (mn > -1e-5f && mn < 1e-5f) mn = 0;
    const double scale = mx == mn ? 0.0 : 255.0 / (double(mx) - double(mn));
    for (int32_t y = 0; y < N; ++y) {
      uint8_t* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
      const float* l = L.data() + size_t(y) * size_t(N);
      for (int32_t x = 0; x < N; ++x) {
        const double v = (double(l[x]) - double(mn)) * scale;
        const uint8_t b = uint8_t(std::clamp<int64_t>(int64_t(v), 0, 255));
        for (int32_t c = pb.first; c <= pb.last; ++c) row[3 * x + c] = b;
      }
    }
  }
}

void TVXFtImage::BuildBitmap(TVXBitmap* Bitmap) {
  if (!Bitmap) return;
  const int32_t W = fOrigBitmapWidth, H = fOrigBitmapHeight, N = fFFTN;
  if (!Bitmap->Allocate(W, H, vx24RGB)) return;
  Bitmap->Fill(0);
  const std::vector<TPlaneBytes> planes = {{ffr.get(), 2, 2}, {ffg.get(), 1, 1}, {ffb.get(), 0, 0}, {ffgray.get(), 0, 2}};
  const int32_t count = int32_t(Planes().size());
  if (count == 0) return;
  TVXCOMPLEX_IMAGE work(N);
  int32_t index = 0;
  for (const TPlaneBytes& pb : planes) {
    if (!pb.plane) continue;
    Transform2D(*pb.plane, work, 1, index++, count);
    // Absolute values (which also undo the centring signs), then the real
    // parts stretched from their range over the grid to 0 .. 255.
    float mn = 0, mx = 0;
    for (int32_t y = 0; y < N; ++y) {
      float* row = work[y];
      for (int32_t x = 0; x < N; ++x) {
        const float v = std::fabs(row[x]);
        row[x] = v;
        if (y == 0 && x == 0) mn = mx = v;
        mn = std::min(mn, v);
        mx = std::max(mx, v);
      }
    }
    const double range = double(mx) - double(mn);
    for (int32_t y = 0; y < H; ++y) {
      const float* src = work[fOY + y] + fOX;
      uint8_t* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
      for (int32_t x = 0; x < W; ++x) {
        const float v = mx == mn ? 0.0f : float((double(src[x]) - double(mn)) * 255.0 / range);
        const uint8_t b = uint8_t(std::clamp<int64_t>(int64_t(v), 0, 255));
        for (int32_t c = pb.first; c <= pb.last; ++c) row[3 * x + c] = b;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Cells and filters

TVXComplexColor TVXFtImage::GetComplexImage(int32_t x, int32_t y) {
  TVXComplexColor c;
  const int32_t N = fFFTN;
  if (x < 0 || y < 0 || x >= N || y >= N) return c;
  if (ffr) c.real_Red = &(*ffr)[y][x], c.imag_Red = &(*ffr)[y][N + x];
  if (ffg) c.real_Green = &(*ffg)[y][x], c.imag_Green = &(*ffg)[y][N + x];
  if (ffb) c.real_Blue = &(*ffb)[y][x], c.imag_Blue = &(*ffb)[y][N + x];
  if (ffgray) c.real_gray = &(*ffgray)[y][x], c.imag_gray = &(*ffgray)[y][N + x];
  return c;
}

namespace {

void FilterByDistance(const std::vector<TVXCOMPLEX_IMAGE*>& Planes, int32_t N, int32_t radius, bool Inside) {
  const int32_t c = N / 2;
  for (int32_t y = 0; y < N; ++y)
    for (int32_t x = 0; x < N; ++x) {
      const int64_t d = int64_t(std::sqrt(double(y - c) * (y - c) + double(x - c) * (x - c)));
      if ((d <= radius) != Inside) continue;
      for (TVXCOMPLEX_IMAGE* p : Planes) {
        (*p)[y][x] = 0;
        (*p)[y][N + x] = 0;
      }
    }
}

}  // namespace

void TVXFtImage::HiPass(int32_t radius) { FilterByDistance(Planes(), fFFTN, radius, true); }

void TVXFtImage::LoPass(int32_t radius) { FilterByDistance(Planes(), fFFTN, radius, false); }

void TVXFtImage::ClearZone(int32_t x1, int32_t y1, int32_t x2, int32_t y2, float vreal, float vimag) {
  const int32_t N = fFFTN;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, N - 1);
  y2 = std::min(y2, N - 1);
  const std::vector<TVXCOMPLEX_IMAGE*> planes = Planes();
  for (int32_t y = y1; y <= y2; ++y)
    for (int32_t x = x1; x <= x2; ++x)
      for (TVXCOMPLEX_IMAGE* p : planes) {
        (*p)[y][x] = vreal;
        (*p)[y][N + x] = vimag;
      }
}

void TVXFtImage::ClearZone(TVXMask* mask, float vreal, float vimag) {
  if (!mask || mask->IsEmpty()) return;
  const int32_t N = fFFTN;
  const int32_t x1 = std::max(mask->X1(), 0), y1 = std::max(mask->Y1(), 0);
  const int32_t x2 = std::min({mask->X2(), N - 1, mask->Width() - 1});
  const int32_t y2 = std::min({mask->Y2(), N - 1, mask->Height() - 1});
  const std::vector<TVXCOMPLEX_IMAGE*> planes = Planes();
  for (int32_t y = y1; y <= y2; ++y)
    for (int32_t x = x1; x <= x2; ++x) {
      if (mask->GetPixel(x, y) <= 0) continue;
      for (TVXCOMPLEX_IMAGE* p : planes) {
        (*p)[y][x] = vreal;
        (*p)[y][N + x] = vimag;
      }
    }
}
