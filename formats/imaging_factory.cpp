// The library's imaging factory (see formats/imaging_factory.h).
#include "formats/imaging_factory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/colorreduce.h"
#include "core/limits.h"
#include "core/quantizer.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/jxr_codec.h"
#include "formats/wic.h"
#include "io/codec_table.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "resample/resample.h"

namespace {

// ---------------------------------------------------------------------------
// Pixel formats in the component's byte layout

struct TWicFormat {
  const GUID* Guid;
  UINT Bits;
  UINT Channels;  // samples per pixel
  UINT SampleBytes;
};

const TWicFormat kWicFormats[] = {
    {&GUID_WICPixelFormat1bppIndexed, 1, 1, 0}, {&GUID_WICPixelFormat8bppIndexed, 8, 1, 1},
    {&GUID_WICPixelFormatBlackWhite, 1, 1, 0},  {&GUID_WICPixelFormat8bppGray, 8, 1, 1},
    {&GUID_WICPixelFormat16bppGray, 16, 1, 2},  {&GUID_WICPixelFormat24bppBGR, 24, 3, 1},
    {&GUID_WICPixelFormat32bppBGRA, 32, 4, 1},  {&GUID_WICPixelFormat48bppRGB, 48, 3, 2},
    {&GUID_WICPixelFormat32bppCMYK, 32, 4, 1},
};

const TWicFormat* FindFormat(const GUID& g) {
  for (const TWicFormat& f : kWicFormats)
    if (IsEqualGUID(*f.Guid, g)) return &f;
  return nullptr;
}

size_t RowBytesOf(const TWicFormat& f, UINT width) { return (size_t(width) * f.Bits + 7) / 8; }

// A getter's answer: Value into *Out, E_INVALIDARG without Out.
template <class T, class V>
HRESULT Give(T* Out, const V& Value) {
  if (!Out) return E_INVALIDARG;
  *Out = Value;
  return S_OK;
}

TVXJxrPixelFormat JxrOf(const GUID& g) {
  if (IsEqualGUID(g, GUID_WICPixelFormatBlackWhite)) return jxfBlackWhite;
  if (IsEqualGUID(g, GUID_WICPixelFormat8bppGray)) return jxf8Gray;
  if (IsEqualGUID(g, GUID_WICPixelFormat16bppGray)) return jxf16Gray;
  if (IsEqualGUID(g, GUID_WICPixelFormat24bppBGR)) return jxf24BGR;
  if (IsEqualGUID(g, GUID_WICPixelFormat32bppBGRA)) return jxf32BGRA;
  if (IsEqualGUID(g, GUID_WICPixelFormat48bppRGB)) return jxf48RGB;
  if (IsEqualGUID(g, GUID_WICPixelFormat32bppCMYK)) return jxf32CMYK;
  return jxfNone;
}

GUID GuidOfJxr(TVXJxrPixelFormat f) {
  switch (f) {
    case jxfBlackWhite: return GUID_WICPixelFormatBlackWhite;
    case jxf8Gray: return GUID_WICPixelFormat8bppGray;
    case jxf16Gray: return GUID_WICPixelFormat16bppGray;
    case jxf24BGR: return GUID_WICPixelFormat24bppBGR;
    case jxf32BGRA: return GUID_WICPixelFormat32bppBGRA;
    case jxf48RGB: return GUID_WICPixelFormat48bppRGB;
    case jxf32CMYK: return GUID_WICPixelFormat32bppCMYK;
    default: return GUID_WICPixelFormatDontCare;
  }
}

// An image held in the component's layout: rows RowBytes apart.
struct TRawImage {
  GUID Format{};
  UINT Width = 0, Height = 0;
  size_t RowBytes = 0;
  std::vector<uint8_t> Pixels;
  std::vector<WICColor> Palette;  // indexed formats
  double DpiX = 96, DpiY = 96;
};

// Copies the rectangle of a raw image into the caller's buffer.
HRESULT CopyRaw(const TRawImage& img, const WICRect* prc, UINT cbStride, UINT cbBufferSize, BYTE* pbBuffer) {
  const TWicFormat* f = FindFormat(img.Format);
  if (!f || !pbBuffer) return E_INVALIDARG;
  WICRect rc{0, 0, INT(img.Width), INT(img.Height)};
  if (prc) rc = *prc;
  if (rc.X < 0 || rc.Y < 0 || rc.Width < 0 || rc.Height < 0 || int64_t(rc.X) + rc.Width > int64_t(img.Width) ||
      int64_t(rc.Y) + rc.Height > int64_t(img.Height))
    return E_INVALIDARG;
  const size_t rowBytes = RowBytesOf(*f, UINT(rc.Width));
  if (rc.Height > 0 && (cbStride < rowBytes || uint64_t(cbStride) * (rc.Height - 1) + rowBytes > cbBufferSize))
    return E_INVALIDARG;
  for (INT i = 0; i < rc.Height; ++i) {
    const uint8_t* s = img.Pixels.data() + size_t(rc.Y + i) * img.RowBytes;
    uint8_t* d = pbBuffer + size_t(i) * cbStride;
    if (f->Bits == 1) {
      std::memset(d, 0, rowBytes);
      for (INT x = 0; x < rc.Width; ++x) {
        const INT sx = rc.X + x;
        if (s[sx >> 3] & (0x80 >> (sx & 7))) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      }
    } else {
      std::memcpy(d, s + size_t(rc.X) * (f->Bits / 8), rowBytes);
    }
  }
  return S_OK;
}

// Reads a whole bitmap source into a raw image in its own format.
HRESULT ReadSource(IWICBitmapSource* source, TRawImage& img, IWICImagingFactory* factory) {
  if (!source) return E_INVALIDARG;
  HRESULT hr = source->GetSize(&img.Width, &img.Height);
  if (SUCCEEDED(hr)) hr = source->GetPixelFormat(&img.Format);
  if (FAILED(hr)) return hr;
  const TWicFormat* f = FindFormat(img.Format);
  if (!f) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
  if (img.Width == 0 || img.Height == 0 || img.Width > 0x7FFFFFFF || img.Height > 0x7FFFFFFF) return E_INVALIDARG;
  if (!VXImageSizeAllowed(img.Width, img.Height, f->Bits)) return E_OUTOFMEMORY;
  source->GetResolution(&img.DpiX, &img.DpiY);
  img.RowBytes = RowBytesOf(*f, img.Width);
  if (img.RowBytes > 0xFFFFFFFFu) return E_OUTOFMEMORY;
  try {
    img.Pixels.assign(img.RowBytes * img.Height, 0);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  for (UINT y = 0; y < img.Height; ++y) {
    WICRect rc{0, INT(y), INT(img.Width), 1};
    hr = source->CopyPixels(&rc, UINT(img.RowBytes), UINT(img.RowBytes), img.Pixels.data() + size_t(y) * img.RowBytes);
    if (FAILED(hr)) return hr;
  }
  if (IsEqualGUID(img.Format, GUID_WICPixelFormat1bppIndexed) ||
      IsEqualGUID(img.Format, GUID_WICPixelFormat8bppIndexed)) {
    IWICPalette* palette = nullptr;
    if (FAILED(factory->CreatePalette(&palette))) return E_FAIL;
    UINT n = 0;
    hr = source->CopyPalette(palette);
    if (SUCCEEDED(hr)) hr = palette->GetColorCount(&n);
    if (SUCCEEDED(hr)) {
      img.Palette.resize(n);
      UINT actual = 0;
      hr = palette->GetColors(n, img.Palette.data(), &actual);
      img.Palette.resize(actual);
    }
    palette->Release();
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// ---- raw images and library bitmaps ----

TRGB ColorOf(WICColor c) {
  TRGB t;
  t.b = uint8_t(c);
  t.g = uint8_t(c >> 8);
  t.r = uint8_t(c >> 16);
  return t;
}

WICColor WicColorOf(TRGB c) { return 0xFF000000u | (WICColor(c.r) << 16) | (WICColor(c.g) << 8) | c.b; }

// A library bitmap of a raw image: 1bppIndexed becomes vx8p, 32bppBGRA
// vx24RGB with an alpha channel, CMYK takes the library's convention.
bool RawToBitmap(const TRawImage& img, TVXBitmap& bmp) {
  const bool indexed1 = IsEqualGUID(img.Format, GUID_WICPixelFormat1bppIndexed);
  const TVXPixelFormat pf = indexed1 ? vx8p : VXPixelFormatOfWIC(img.Format);
  if (pf == vxnull || !bmp.Allocate(int32_t(img.Width), int32_t(img.Height), pf)) return false;
  const bool bgra = IsEqualGUID(img.Format, GUID_WICPixelFormat32bppBGRA);
  TVXBitmap* alpha = bgra ? bmp.AlphaChannel() : nullptr;
  for (UINT y = 0; y < img.Height; ++y) {
    const uint8_t* s = img.Pixels.data() + size_t(y) * img.RowBytes;
    uint8_t* d = static_cast<uint8_t*>(bmp.ScanLine(int32_t(y)));
    if (indexed1) {
      for (UINT x = 0; x < img.Width; ++x) d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
    } else if (bgra) {
      uint8_t* a = static_cast<uint8_t*>(alpha->ScanLine(int32_t(y)));
      for (UINT x = 0; x < img.Width; ++x) {
        std::memcpy(d + 3 * size_t(x), s + 4 * size_t(x), 3);
        a[x] = s[4 * size_t(x) + 3];
      }
    } else {
      std::memcpy(d, s, img.RowBytes);
      if (pf == vxCMYK)
        for (size_t i = 0; i < img.RowBytes; ++i) d[i] = uint8_t(~d[i]);
    }
  }
  if (bgra) {
    alpha->SetFull(false);
    bmp.SetFull(false);
  }
  if (pf == vx8p) {
    const size_t n = std::min<size_t>(img.Palette.size(), 256);
    for (size_t i = 0; i < n; ++i) bmp.SetPalette(int32_t(i), ColorOf(img.Palette[i]));
    bmp.SetPaletteUsed(int32_t(n));
  }
  return true;
}

// The raw image of a library bitmap in Format (one of the component formats
// whose library format is the bitmap's; 32bppBGRA takes the alpha channel or
// 255).
bool BitmapToRaw(TVXBitmap& bmp, const GUID& format, TRawImage& img) {
  const TWicFormat* f = FindFormat(format);
  if (!f) return false;
  img.Format = format;
  img.Width = UINT(bmp.Width());
  img.Height = UINT(bmp.Height());
  img.RowBytes = RowBytesOf(*f, img.Width);
  try {
    img.Pixels.assign(img.RowBytes * img.Height, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const bool bgra = IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA);
  TVXBitmap* alpha = bgra ? bmp.AlphaChannelOpt() : nullptr;
  for (UINT y = 0; y < img.Height; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(bmp.ScanLine(int32_t(y)));
    uint8_t* d = img.Pixels.data() + size_t(y) * img.RowBytes;
    if (bgra) {
      const uint8_t* a = alpha ? static_cast<const uint8_t*>(alpha->ScanLine(int32_t(y))) : nullptr;
      for (UINT x = 0; x < img.Width; ++x) {
        std::memcpy(d + 4 * size_t(x), s + 3 * size_t(x), 3);
        d[4 * size_t(x) + 3] = a ? a[x] : 255;
      }
    } else {
      std::memcpy(d, s, img.RowBytes);
      if (bmp.PixelFormat() == vxCMYK)
        for (size_t i = 0; i < img.RowBytes; ++i) d[i] = uint8_t(~d[i]);
    }
  }
  if (bmp.PixelFormat() == vx8p) {
    img.Palette.clear();
    for (int32_t i = 0; i < std::clamp(bmp.PaletteUsed(), 0, 256); ++i) img.Palette.push_back(WicColorOf(bmp.Palette(i)));
  }
  return true;
}

// Copies Source into Dest of another or the same format.
bool ConvertBitmap(TVXBitmap& source, TVXBitmap& dest, TVXPixelFormat pf) {
  if (!dest.Allocate(source.Width(), source.Height(), pf)) return false;
  if (source.PixelFormat() == pf) {
    for (int32_t y = 0; y < source.Height(); ++y)
      std::memcpy(dest.ScanLine(y), source.ScanLine(y), size_t(source.RowLen()));
    if (pf == vx8p) source.CopyPaletteTo(&dest);
  } else {
    dest.CopyAndConvertFormat(&source);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Palettes

struct TPaletteInfo {
  std::vector<TRGB> Colors;
  double Step = 0;  // a channel's distance between neighbouring levels
};

std::vector<TRGB> Cube(int r, int g, int b) {
  std::vector<TRGB> out;
  for (int ri = 0; ri < r; ++ri)
    for (int gi = 0; gi < g; ++gi)
      for (int bi = 0; bi < b; ++bi) {
        TRGB c;
        c.r = uint8_t(std::lrint(ri * 255.0 / (r - 1)));
        c.g = uint8_t(std::lrint(gi * 255.0 / (g - 1)));
        c.b = uint8_t(std::lrint(bi * 255.0 / (b - 1)));
        out.push_back(c);
      }
  return out;
}

std::vector<TRGB> Greys(int n) {
  std::vector<TRGB> out;
  for (int i = 0; i < n; ++i) {
    const uint8_t v = uint8_t(std::lrint(i * 255.0 / (n - 1)));
    out.push_back(TRGB{v, v, v});
  }
  return out;
}

// The predefined palettes; false for Custom and median cut.
bool PredefinedPalette(WICBitmapPaletteType type, TPaletteInfo& p) {
  switch (type) {
    case WICBitmapPaletteTypeFixedBW: p.Colors = Greys(2); p.Step = 255; return true;
    case WICBitmapPaletteTypeFixedHalftone8: p.Colors = Cube(2, 2, 2); p.Step = 255; return true;
    case WICBitmapPaletteTypeFixedHalftone27: p.Colors = Cube(3, 3, 3); p.Step = 127.5; return true;
    case WICBitmapPaletteTypeFixedHalftone64: p.Colors = Cube(4, 4, 4); p.Step = 85; return true;
    case WICBitmapPaletteTypeFixedHalftone125: p.Colors = Cube(5, 5, 5); p.Step = 63.75; return true;
    case WICBitmapPaletteTypeFixedHalftone216: p.Colors = Cube(6, 6, 6); p.Step = 51; return true;
    case WICBitmapPaletteTypeFixedHalftone252: p.Colors = Cube(6, 7, 6); p.Step = 51; return true;
    case WICBitmapPaletteTypeFixedHalftone256: p.Colors = Cube(8, 8, 4); p.Step = 255.0 / 7; return true;
    case WICBitmapPaletteTypeFixedGray4: p.Colors = Greys(4); p.Step = 85; return true;
    case WICBitmapPaletteTypeFixedGray16: p.Colors = Greys(16); p.Step = 17; return true;
    case WICBitmapPaletteTypeFixedGray256: p.Colors = Greys(256); p.Step = 1; return true;
    default: return false;
  }
}

// Median cut of a vx24RGB bitmap into at most Count colours.
void MedianCutPalette(TVXBitmap& rgb, int32_t count, TPaletteInfo& p) {
  count = std::clamp(count, 2, 256);
  std::vector<TRGB> map(size_t(count), TRGB{0, 0, 0});
  TVXQuantizer q(&rgb, map.data(), count - 1, count);
  const int32_t used = q.HasExactPalette() ? std::min(q.ExactColorCount(), count) : count;
  p.Colors.assign(map.begin(), map.begin() + used);
  p.Step = 255.0 / std::max(1.0, std::cbrt(double(used)) - 1);
}

class TPalette : public TVXComObject<IWICPalette> {
 public:
  HRESULT InitializePredefined(WICBitmapPaletteType type, BOOL addTransparent) override {
    TPaletteInfo p;
    if (!PredefinedPalette(type, p)) return E_INVALIDARG;
    fType = type;
    fColors.clear();
    for (const TRGB& c : p.Colors) fColors.push_back(WicColorOf(c));
    if (addTransparent && fColors.size() < 256) fColors.push_back(0);
    return S_OK;
  }
  HRESULT InitializeCustom(const WICColor* colors, UINT count) override {
    if (count > 256 || (count && !colors)) return E_INVALIDARG;
    fType = WICBitmapPaletteTypeCustom;
    fColors.assign(colors, colors + count);
    return S_OK;
  }
  HRESULT InitializeFromBitmap(IWICBitmapSource* surface, UINT count, BOOL addTransparent) override;
  HRESULT GetType(WICBitmapPaletteType* type) override { return Give(type, fType); }
  HRESULT GetColorCount(UINT* count) override { return Give(count, UINT(fColors.size())); }
  HRESULT GetColors(UINT count, WICColor* colors, UINT* actual) override {
    if (!actual || (count && !colors)) return E_INVALIDARG;
    const UINT n = std::min<UINT>(count, UINT(fColors.size()));
    std::copy(fColors.begin(), fColors.begin() + n, colors);
    *actual = n;
    return S_OK;
  }
  IWICImagingFactory* fFactory = nullptr;  // not held

 private:
  WICBitmapPaletteType fType = WICBitmapPaletteTypeCustom;
  std::vector<WICColor> fColors;
};

// ---------------------------------------------------------------------------
// Dithering

// Ranks 0 .. n*n-1 of an n x n Bayer matrix.
std::vector<int32_t> Bayer(int n) {
  std::vector<int32_t> m(size_t(n * n), 0);
  for (int size = 1; size < n; size *= 2) {
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        const int v = m[size_t(y * n + x)] * 4;
        m[size_t(y * n + x)] = v;
        m[size_t(y * n + x + size)] = v + 2;
        m[size_t((y + size) * n + x)] = v + 3;
        m[size_t((y + size) * n + x + size)] = v + 1;
      }
  }
  return m;
}

// Ranks of an n x n spiral from the centre outward.
std::vector<int32_t> Spiral(int n) {
  std::vector<int32_t> m(size_t(n * n), -1);
  int x = (n - 1) / 2, y = (n - 1) / 2, rank = 0;
  const int dx[4] = {1, 0, -1, 0}, dy[4] = {0, 1, 0, -1};
  int dir = 0, run = 1;
  auto put = [&] {
    if (x >= 0 && y >= 0 && x < n && y < n && m[size_t(y * n + x)] < 0) m[size_t(y * n + x)] = rank++;
  };
  put();
  while (rank < n * n) {
    for (int k = 0; k < 2 && rank < n * n; ++k) {
      for (int i = 0; i < run; ++i) {
        x += dx[dir];
        y += dy[dir];
        put();
      }
      dir = (dir + 1) % 4;
    }
    ++run;
  }
  return m;
}

std::vector<int32_t> DualSpiral(int n) {
  const int h = n / 2;
  const std::vector<int32_t> s = Spiral(h);
  std::vector<int32_t> m(size_t(n * n));
  const int order[4][2] = {{0, 0}, {1, 1}, {1, 0}, {0, 1}};  // top-left, bottom-right, top-right, bottom-left
  for (int q = 0; q < 4; ++q)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < h; ++x)
        m[size_t((order[q][1] * h + y) * n + order[q][0] * h + x)] = s[size_t(y * h + x)] * 4 + q;
  return m;
}

// The matrix of a dither type (empty for solid and error diffusion).
std::vector<int32_t> MatrixOf(WICBitmapDitherType type, int& n) {
  switch (type) {
    case WICBitmapDitherTypeOrdered4x4: n = 4; return Bayer(4);
    case WICBitmapDitherTypeOrdered8x8: {
      n = 8;
      std::vector<int32_t> m(64);
      // The library's matrix, indexed [x][y].
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) m[size_t(y * 8 + x)] = VXOrderedDitherMatrix[x][y];
      return m;
    }
    case WICBitmapDitherTypeOrdered16x16: n = 16; return Bayer(16);
    case WICBitmapDitherTypeSpiral4x4: n = 4; return Spiral(4);
    case WICBitmapDitherTypeSpiral8x8: n = 8; return Spiral(8);
    case WICBitmapDitherTypeDualSpiral4x4: n = 4; return DualSpiral(4);
    case WICBitmapDitherTypeDualSpiral8x8: n = 8; return DualSpiral(8);
    default: n = 0; return {};
  }
}

int32_t Nearest(const std::vector<TRGB>& pal, int r, int g, int b) {
  int32_t best = 0;
  int64_t bestD = INT64_MAX;
  for (size_t i = 0; i < pal.size(); ++i) {
    const int64_t dr = r - pal[i].r, dg = g - pal[i].g, db = b - pal[i].b;
    const int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestD) {
      bestD = d;
      best = int32_t(i);
    }
  }
  return best;
}

uint8_t Clamp8(int v) { return uint8_t(std::clamp(v, 0, 255)); }

// Maps the vx24RGB image to palette indices (one byte a pixel).
std::vector<uint8_t> MapToPalette(TVXBitmap& rgb, const TPaletteInfo& p, WICBitmapDitherType dither, bool blackWhite) {
  const int32_t w = rgb.Width(), h = rgb.Height();
  std::vector<uint8_t> idx(size_t(w) * size_t(h));
  const TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  const int kr = st->RedToGrayCoef(), kg = st->GreenToGrayCoef(), kb = st->BlueToGrayCoef();
  int n = 0;
  const std::vector<int32_t> m = MatrixOf(dither, n);
  if (dither == WICBitmapDitherTypeErrorDiffusion) {
    std::vector<int> cur(size_t(w) * 3), next(size_t(w) * 3);
    auto load = [&](int32_t y, std::vector<int>& buf) {
      const uint8_t* s = static_cast<const uint8_t*>(rgb.ScanLine(y));
      for (int32_t x = 0; x < w; ++x) {
        buf[size_t(x) * 3] = s[3 * x + 2];
        buf[size_t(x) * 3 + 1] = s[3 * x + 1];
        buf[size_t(x) * 3 + 2] = s[3 * x];
      }
    };
    load(0, cur);
    for (int32_t y = 0; y < h; ++y) {
      const bool hasNext = y + 1 < h;
      if (hasNext) load(y + 1, next);
      for (int32_t x = 0; x < w; ++x) {
        int* c = &cur[size_t(x) * 3];
        int32_t i;
        if (blackWhite) {
          const int g = (c[0] * kr + c[1] * kg + c[2] * kb) / 100;
          i = g >= 128 ? 1 : 0;
        } else {
          i = Nearest(p.Colors, Clamp8(c[0]), Clamp8(c[1]), Clamp8(c[2]));
        }
        idx[size_t(y) * w + x] = uint8_t(i);
        const int pc[3] = {p.Colors[size_t(i)].r, p.Colors[size_t(i)].g, p.Colors[size_t(i)].b};
        for (int k = 0; k < 3; ++k) {
          const int e = std::clamp(c[k], 0, 255) - pc[k];
          if (x + 1 < w) cur[size_t(x + 1) * 3 + k] += e * 7 / 16;
          if (hasNext) {
            if (x >= 1) next[size_t(x - 1) * 3 + k] += e * 3 / 16;
            next[size_t(x) * 3 + k] += e * 5 / 16;
            if (x + 1 < w) next[size_t(x + 1) * 3 + k] += e / 16;
          }
        }
      }
      std::swap(cur, next);
    }
    return idx;
  }
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(rgb.ScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const int r = s[3 * x + 2], g = s[3 * x + 1], b = s[3 * x];
      int32_t i;
      if (blackWhite) {
        const int grey = (r * kr + g * kg + b * kb) / 100;
        if (n == 0) {
          i = grey >= 128 ? 1 : 0;
        } else {
          const int64_t c = (r >= 251 && g >= 251 && b >= 251) ? int64_t(n) * n : int64_t(grey) * n * n / 256;
          i = m[size_t((y % n) * n + x % n)] < c ? 1 : 0;
        }
      } else if (n == 0) {
        i = Nearest(p.Colors, r, g, b);
      } else {
        const double t = ((m[size_t((y % n) * n + x % n)] + 0.5) / (n * n) - 0.5) * p.Step;
        const int off = int(std::lrint(t));
        i = Nearest(p.Colors, Clamp8(r + off), Clamp8(g + off), Clamp8(b + off));
      }
      idx[size_t(y) * w + x] = uint8_t(i);
    }
  }
  return idx;
}

// ---------------------------------------------------------------------------
// Converter

// The answers of a bitmap source over a raw image: Image() gives it, or null
// while the source has none yet.
template <class Interface>
class TRawSource : public TVXComObject<Interface> {
 public:
  HRESULT GetSize(UINT* w, UINT* h) override {
    return Answer(w && h, [&](const TRawImage& img) {
      *w = img.Width;
      *h = img.Height;
    });
  }
  HRESULT GetPixelFormat(WICPixelFormatGUID* f) override {
    return Answer(f != nullptr, [&](const TRawImage& img) { *f = img.Format; });
  }
  HRESULT GetResolution(double* x, double* y) override {
    return Answer(x && y, [&](const TRawImage& img) {
      *x = img.DpiX;
      *y = img.DpiY;
    });
  }
  HRESULT CopyPalette(IWICPalette* p) override {
    const TRawImage* img = Image();
    if (!img) return WINCODEC_ERR_NOTINITIALIZED;
    if (img->Palette.empty()) return WINCODEC_ERR_PALETTEUNAVAILABLE;
    return p ? p->InitializeCustom(img->Palette.data(), UINT(img->Palette.size())) : E_INVALIDARG;
  }
  HRESULT CopyPixels(const WICRect* rc, UINT stride, UINT size, BYTE* buffer) override {
    const TRawImage* img = Image();
    if (!img) return WINCODEC_ERR_NOTINITIALIZED;
    return CopyRaw(*img, rc, stride, size, buffer);
  }

 protected:
  virtual const TRawImage* Image() const = 0;

 private:
  // A getter's answer: Fill gives the out arguments their values when the
  // image is there and they are all given.
  template <class F>
  HRESULT Answer(bool argumentsGiven, F&& Fill) {
    const TRawImage* img = Image();
    if (!img) return WINCODEC_ERR_NOTINITIALIZED;
    if (!argumentsGiven) return E_INVALIDARG;
    Fill(*img);
    return S_OK;
  }
};

// A bitmap source whose picture an Initialize call produces in full: the
// converter's and the scaler's answers once they are ready.
template <class Interface>
class TProducedSource : public TRawSource<Interface> {
 protected:
  const TRawImage* Image() const override { return fReady ? &fOut : nullptr; }
  TRawImage fOut;
  bool fReady = false;
};

class TConverter : public TProducedSource<IWICFormatConverter> {
 public:
  explicit TConverter(IWICImagingFactory* f) : fFactory(f) {}
  HRESULT Initialize(IWICBitmapSource* source, REFGUID dstFormat, WICBitmapDitherType dither, IWICPalette* palette,
                     double, WICBitmapPaletteType paletteType) override;
  HRESULT CanConvert(REFGUID src, REFGUID dst, BOOL* can) override {
    if (!can) return E_INVALIDARG;
    *can = FindFormat(src) && FindFormat(dst) && !IsEqualGUID(dst, GUID_WICPixelFormat1bppIndexed);
    return S_OK;
  }

 private:
  IWICImagingFactory* fFactory;  // the creator, which outlives the call
};

HRESULT TConverter::Initialize(IWICBitmapSource* source, REFGUID dstFormat, WICBitmapDitherType dither,
                               IWICPalette* palette, double, WICBitmapPaletteType paletteType) {
  if (fReady) return WINCODEC_ERR_WRONGSTATE;
  const TWicFormat* df = FindFormat(dstFormat);
  if (!df || IsEqualGUID(dstFormat, GUID_WICPixelFormat1bppIndexed)) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
  if (int(dither) < 0 || int(dither) > 8 || int(paletteType) < 0 || int(paletteType) > 12) return E_INVALIDARG;
  TRawImage in;
  HRESULT hr = ReadSource(source, in, fFactory);
  if (FAILED(hr)) return hr;
  TVXBitmap src;
  if (!RawToBitmap(in, src)) return E_OUTOFMEMORY;
  in.Pixels.clear();
  in.Pixels.shrink_to_fit();

  const TVXPixelFormat target = VXPixelFormatOfWIC(dstFormat);
  const bool paletted = target == vx1g || target == vx8p || target == vx8g;
  const bool custom = palette != nullptr;
  TVXBitmap dst;
  if (paletted && (paletteType != WICBitmapPaletteTypeCustom || custom)) {
    TVXBitmap rgb;
    if (!ConvertBitmap(src, rgb, vx24RGB)) return E_OUTOFMEMORY;
    TPaletteInfo p;
    if (target == vx1g) {
      PredefinedPalette(WICBitmapPaletteTypeFixedBW, p);
    } else if (custom) {
      UINT n = 0;
      palette->GetColorCount(&n);
      std::vector<WICColor> colors(std::min<UINT>(n, 256));
      UINT actual = 0;
      palette->GetColors(UINT(colors.size()), colors.data(), &actual);
      for (UINT i = 0; i < actual; ++i) p.Colors.push_back(ColorOf(colors[i]));
      if (p.Colors.empty()) return E_INVALIDARG;
      p.Step = 255.0 / std::max(1.0, std::cbrt(double(p.Colors.size())) - 1);
    } else if (paletteType == WICBitmapPaletteTypeMedianCut) {
      MedianCutPalette(rgb, 256, p);
    } else {
      PredefinedPalette(paletteType, p);
    }
    const std::vector<uint8_t> idx = MapToPalette(rgb, p, dither, target == vx1g);
    if (!dst.Allocate(rgb.Width(), rgb.Height(), target)) return E_OUTOFMEMORY;
    const int32_t w = rgb.Width();
    const TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
    for (int32_t y = 0; y < rgb.Height(); ++y) {
      uint8_t* d = static_cast<uint8_t*>(dst.ScanLine(y));
      const uint8_t* ix = idx.data() + size_t(y) * w;
      if (target == vx1g) {
        std::memset(d, 0, size_t(dst.RowLen()));
        for (int32_t x = 0; x < w; ++x)
          if (ix[x]) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      } else if (target == vx8p) {
        std::memcpy(d, ix, size_t(w));
      } else {
        for (int32_t x = 0; x < w; ++x) {
          const TRGB c = p.Colors[ix[x]];
          d[x] = uint8_t((c.r * st->RedToGrayCoef() + c.g * st->GreenToGrayCoef() + c.b * st->BlueToGrayCoef()) / 100);
        }
      }
    }
    if (target == vx8p) {
      for (size_t i = 0; i < p.Colors.size(); ++i) dst.SetPalette(int32_t(i), p.Colors[i]);
      dst.SetPaletteUsed(int32_t(p.Colors.size()));
    }
  } else {
    if (!ConvertBitmap(src, dst, target)) return E_OUTOFMEMORY;
    if (IsEqualGUID(dstFormat, GUID_WICPixelFormat32bppBGRA) && src.HasAlphaChannel() && !dst.HasAlphaChannel())
      dst.AlphaChannel()->Assign(src.AlphaChannelOpt());
  }
  if (!BitmapToRaw(dst, dstFormat, fOut)) return E_OUTOFMEMORY;
  fOut.DpiX = in.DpiX;
  fOut.DpiY = in.DpiY;
  fReady = true;
  return S_OK;
}

HRESULT TPalette::InitializeFromBitmap(IWICBitmapSource* surface, UINT count, BOOL addTransparent) {
  if (!fFactory || count < 2 || count > 256) return E_INVALIDARG;
  TConverter* c = new TConverter(fFactory);
  HRESULT hr = c->Initialize(surface, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                             WICBitmapPaletteTypeCustom);
  TRawImage img;
  if (SUCCEEDED(hr)) hr = ReadSource(c, img, fFactory);
  c->Release();
  if (FAILED(hr)) return hr;
  TVXBitmap rgb;
  if (!RawToBitmap(img, rgb)) return E_OUTOFMEMORY;
  TPaletteInfo p;
  MedianCutPalette(rgb, int32_t(count - (addTransparent ? 1 : 0)), p);
  fType = WICBitmapPaletteTypeMedianCut;
  fColors.clear();
  for (const TRGB& col : p.Colors) fColors.push_back(WicColorOf(col));
  if (addTransparent) fColors.push_back(0);
  return S_OK;
}

// ---------------------------------------------------------------------------
// Scaler

// The exact area average of Count-channel samples (8 or 16 bits) from
// SW x SH to DW x DH, rounded to nearest with ties to even.
template <class T>
void AreaAverage(const uint8_t* src, size_t srcRow, uint8_t* dst, size_t dstRow, uint64_t SW, uint64_t SH, uint64_t DW,
                 uint64_t DH, int channels) {
  std::vector<uint64_t> acc(size_t(DW) * channels);
  const uint64_t denom = SW * SH;
  for (uint64_t j = 0; j < DH; ++j) {
    std::fill(acc.begin(), acc.end(), 0);
    // Target row j covers [j * SH, (j + 1) * SH) in units where a source row is DH.
    const uint64_t y0 = j * SH, y1 = (j + 1) * SH;
    for (uint64_t i = y0 / DH; i < SH && i * DH < y1; ++i) {
      const uint64_t oy = std::min(y1, (i + 1) * DH) - std::max(y0, i * DH);
      const T* s = reinterpret_cast<const T*>(src + i * srcRow);
      for (uint64_t x = 0; x < DW; ++x) {
        const uint64_t x0 = x * SW, x1 = (x + 1) * SW;
        for (uint64_t k = x0 / DW; k < SW && k * DW < x1; ++k) {
          const uint64_t ox = std::min(x1, (k + 1) * DW) - std::max(x0, k * DW);
          for (int c = 0; c < channels; ++c) acc[size_t(x) * channels + c] += uint64_t(s[k * channels + c]) * ox * oy;
        }
      }
    }
    T* d = reinterpret_cast<T*>(dst + j * dstRow);
    for (size_t n = 0; n < acc.size(); ++n) {
      uint64_t q = acc[n] / denom;
      const uint64_t r = acc[n] % denom;
      if (2 * r > denom || (2 * r == denom && (q & 1))) ++q;
      d[n] = T(q);
    }
  }
}

class TScaler : public TProducedSource<IWICBitmapScaler> {
 public:
  explicit TScaler(IWICImagingFactory* f) : fFactory(f) {}
  HRESULT Initialize(IWICBitmapSource* source, UINT width, UINT height, WICBitmapInterpolationMode mode) override;

 private:
  IWICImagingFactory* fFactory;
};

HRESULT TScaler::Initialize(IWICBitmapSource* source, UINT width, UINT height, WICBitmapInterpolationMode mode) {
  if (fReady) return WINCODEC_ERR_WRONGSTATE;
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF || int(mode) < 0 || int(mode) > 3)
    return E_INVALIDARG;
  TRawImage in;
  HRESULT hr = ReadSource(source, in, fFactory);
  if (FAILED(hr)) return hr;
  const TWicFormat* f = FindFormat(in.Format);
  if (!VXImageSizeAllowed(width, height, f->Bits)) return E_OUTOFMEMORY;
  if (mode == WICBitmapInterpolationModeNearestNeighbor) {
    fOut.Format = in.Format;
    fOut.Width = width;
    fOut.Height = height;
    fOut.RowBytes = RowBytesOf(*f, width);
    fOut.Palette = in.Palette;
    try {
      fOut.Pixels.assign(fOut.RowBytes * height, 0);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    std::vector<UINT> xs(width);
    for (UINT x = 0; x < width; ++x) xs[x] = UINT((uint64_t(x) * 2 + 1) * in.Width / (uint64_t(width) * 2));
    for (UINT y = 0; y < height; ++y) {
      const UINT sy = UINT((uint64_t(y) * 2 + 1) * in.Height / (uint64_t(height) * 2));
      const uint8_t* s = in.Pixels.data() + size_t(sy) * in.RowBytes;
      uint8_t* d = fOut.Pixels.data() + size_t(y) * fOut.RowBytes;
      if (f->Bits == 1) {
        for (UINT x = 0; x < width; ++x)
          if (s[xs[x] >> 3] & (0x80 >> (xs[x] & 7))) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      } else {
        const size_t bpp = f->Bits / 8;
        for (UINT x = 0; x < width; ++x) std::memcpy(d + x * bpp, s + xs[x] * bpp, bpp);
      }
    }
  } else {
    // Indexed and 1-bit sources are scaled as 24-bit colour.
    GUID format = in.Format;
    if (f->Bits == 1 || IsEqualGUID(format, GUID_WICPixelFormat8bppIndexed)) {
      TVXBitmap b, rgb;
      if (!RawToBitmap(in, b) || !ConvertBitmap(b, rgb, vx24RGB) || !BitmapToRaw(rgb, GUID_WICPixelFormat24bppBGR, in))
        return E_OUTOFMEMORY;
      format = GUID_WICPixelFormat24bppBGR;
    }
    const TWicFormat* g = FindFormat(format);
    if (mode == WICBitmapInterpolationModeFant) {
      fOut.Format = format;
      fOut.Width = width;
      fOut.Height = height;
      fOut.RowBytes = RowBytesOf(*g, width);
      try {
        fOut.Pixels.assign(fOut.RowBytes * height, 0);
      } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
      }
      if (g->SampleBytes == 2)
        AreaAverage<uint16_t>(in.Pixels.data(), in.RowBytes, fOut.Pixels.data(), fOut.RowBytes, in.Width, in.Height,
                              width, height, int(g->Channels));
      else
        AreaAverage<uint8_t>(in.Pixels.data(), in.RowBytes, fOut.Pixels.data(), fOut.RowBytes, in.Width, in.Height,
                             width, height, int(g->Channels));
    } else {
      TVXBitmap b, out;
      if (!RawToBitmap(in, b)) return E_OUTOFMEMORY;
      if (!out.Allocate(int32_t(width), int32_t(height), b.PixelFormat())) return E_OUTOFMEMORY;
      try {
        VXResampleBitmap(&b, &out, mode == WICBitmapInterpolationModeLinear ? rfBilinear : rfBicubic);
      } catch (...) {
        return E_FAIL;
      }
      // The resampler may change a format it cannot scale.
      GUID outFormat;
      if (!VXWICPixelFormatOf(out.PixelFormat(), IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA), outFormat) ||
          !BitmapToRaw(out, outFormat, fOut))
        return E_FAIL;
    }
  }
  fOut.DpiX = in.DpiX;
  fOut.DpiY = in.DpiY;
  fReady = true;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Decoders

class TEmptyQueryReader : public TVXComObject<IWICMetadataQueryReader> {
 public:
  HRESULT GetMetadataByName(const char*, PROPVARIANT* v) override {
    if (v) PropVariantInit(v);
    return WINCODEC_ERR_PROPERTYNOTFOUND;
  }
};

// A decoded frame: no metadata, no thumbnail.
class TFrameDecode : public TRawSource<IWICBitmapFrameDecode> {
 public:
  HRESULT GetMetadataQueryReader(IWICMetadataQueryReader** r) override {
    if (!r) return E_INVALIDARG;
    *r = new TEmptyQueryReader;
    return S_OK;
  }
  HRESULT GetThumbnail(IWICBitmapSource** t) override {
    if (t) *t = nullptr;
    return WINCODEC_ERR_CODECNOTHUMBNAIL;
  }
};

// A frame over a raw image.
class TRawFrame : public TFrameDecode {
 public:
  explicit TRawFrame(std::shared_ptr<const TRawImage> img) : fImg(std::move(img)) {}

 protected:
  const TRawImage* Image() const override { return fImg.get(); }

 private:
  std::shared_ptr<const TRawImage> fImg;
};

// The bytes of a stream from its position to its end.
HRESULT ReadWholeStream(IStream* s, std::vector<uint8_t>& out) {
  uint64_t pos = 0, end = 0;
  if (FAILED(s->Seek(0, STREAM_SEEK_CUR, &pos)) || FAILED(s->Seek(0, STREAM_SEEK_END, &end)) ||
      FAILED(s->Seek(int64_t(pos), STREAM_SEEK_SET, nullptr)))
    return E_FAIL;
  if (end < pos) return E_FAIL;
  const uint64_t size = end - pos;
  if (size > 0xFFFFFFFFu || !VXStorageSizeAllowed(int64_t(size))) return E_OUTOFMEMORY;
  try {
    out.resize(size_t(size));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  ULONG got = 0;
  if (size && (FAILED(s->Read(out.data(), ULONG(size), &got)) || got != size)) return E_FAIL;
  return S_OK;
}

// HD Photo: one frame decoded on first use. Its size, format and resolution
// are the header's; it has no palette.
class THDPhotoFrame : public TFrameDecode {
 public:
  explicit THDPhotoFrame(std::shared_ptr<TVXJxrDecoder> d) : fDec(std::move(d)) {
    fHeader.Format = GuidOfJxr(fDec->Format());
    fHeader.Width = UINT(fDec->Width());
    fHeader.Height = UINT(fDec->Height());
    fHeader.DpiX = fDec->DpiX();
    fHeader.DpiY = fDec->DpiY();
  }
  HRESULT CopyPixels(const WICRect* prc, UINT stride, UINT size, BYTE* buffer) override {
    const int32_t W = fDec->Width(), H = fDec->Height();
    WICRect rc{0, 0, W, H};
    if (prc) rc = *prc;
    if (!buffer || rc.X < 0 || rc.Y < 0 || rc.Width < 0 || rc.Height < 0 || int64_t(rc.X) + rc.Width > W ||
        int64_t(rc.Y) + rc.Height > H)
      return E_INVALIDARG;
    const int32_t bits = VXJxrBitsPerPixel(fDec->Format());
    const size_t rowBytes = (size_t(rc.Width) * size_t(bits) + 7) / 8;
    if (rc.Height > 0 && (stride < rowBytes || uint64_t(stride) * (rc.Height - 1) + rowBytes > size))
      return E_INVALIDARG;
    std::vector<uint8_t> row(fDec->RowBytes());
    for (INT i = 0; i < rc.Height; ++i) {
      if (!fDec->CopyRows(rc.Y + i, 1, row.data(), row.size())) return WINCODEC_ERR_BADIMAGE;
      uint8_t* d = buffer + size_t(i) * stride;
      if (bits == 1) {
        std::memset(d, 0, rowBytes);
        for (INT x = 0; x < rc.Width; ++x) {
          const INT sx = rc.X + x;
          if (row[size_t(sx >> 3)] & (0x80 >> (sx & 7))) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
        }
      } else {
        std::memcpy(d, row.data() + size_t(rc.X) * size_t(bits / 8), rowBytes);
      }
    }
    return S_OK;
  }

 protected:
  const TRawImage* Image() const override { return &fHeader; }

 private:
  std::shared_ptr<TVXJxrDecoder> fDec;
  TRawImage fHeader;  // no pixels: the decoder holds them
};

// A decoder of a file of Frames frames in a container; NewFrame makes frame
// Index (below Frames) when it is asked for.
class TDecoder : public TVXComObject<IWICBitmapDecoder> {
 public:
  TDecoder(const GUID& container, UINT frames) : fContainer(container), fFrames(frames) {}
  HRESULT GetContainerFormat(GUID* g) override { return Give(g, fContainer); }
  HRESULT GetFrameCount(UINT* n) override { return Give(n, fFrames); }
  HRESULT GetFrame(UINT index, IWICBitmapFrameDecode** frame) override {
    if (!frame) return E_INVALIDARG;
    *frame = nullptr;
    if (index >= fFrames) return WINCODEC_ERR_FRAMEMISSING;
    return NewFrame(index, frame);
  }

 protected:
  virtual HRESULT NewFrame(UINT index, IWICBitmapFrameDecode** frame) = 0;

 private:
  GUID fContainer;
  UINT fFrames;
};

class THDPhotoDecoder : public TDecoder {
 public:
  explicit THDPhotoDecoder(std::shared_ptr<TVXJxrDecoder> d)
      : TDecoder(GUID_ContainerFormatWmp, d->FrameCount()), fDec(std::move(d)) {}

 protected:
  HRESULT NewFrame(UINT, IWICBitmapFrameDecode** frame) override {
    *frame = new THDPhotoFrame(fDec);
    return S_OK;
  }

 private:
  std::shared_ptr<TVXJxrDecoder> fDec;
};

// ---------------------------------------------------------------------------
// Encoders

class TPropertyBag : public TVXComObject<IPropertyBag2> {
 public:
  struct TOption {
    std::string Name;
    PROPVARIANT Value;
  };
  HRESULT Write(ULONG count, PROPBAG2* bag, VARIANT* values) override {
    if (count && (!bag || !values)) return E_INVALIDARG;
    for (ULONG i = 0; i < count; ++i) {
      if (!bag[i].pstrName) return E_INVALIDARG;
      const std::string name = bag[i].pstrName;
      auto it = std::find_if(fOptions.begin(), fOptions.end(), [&](const TOption& o) { return o.Name == name; });
      if (it == fOptions.end())
        fOptions.push_back({name, values[i]});
      else
        it->Value = values[i];
    }
    return S_OK;
  }
  HRESULT Read(ULONG count, PROPBAG2* bag, void*, VARIANT* values, HRESULT* errors) override {
    if (count && (!bag || !values)) return E_INVALIDARG;
    HRESULT result = S_OK;
    for (ULONG i = 0; i < count; ++i) {
      const TOption* o = Find(bag[i].pstrName ? bag[i].pstrName : "");
      PropVariantInit(&values[i]);
      if (o) values[i] = o->Value;
      if (errors) errors[i] = o ? S_OK : E_INVALIDARG;
      if (!o) result = E_FAIL;
    }
    return result;
  }
  const TOption* Find(const std::string& name) const {
    for (const TOption& o : fOptions)
      if (o.Name == name) return &o;
    return nullptr;
  }

 private:
  std::vector<TOption> fOptions;
};

// A frame being encoded: it takes its options, size, resolution and pixel
// format, keeps the rows in the component's layout and encodes them on
// Commit into the bytes of a file.
class TFrameEncode : public TVXComObject<IWICBitmapFrameEncode> {
 public:
  HRESULT Initialize(IPropertyBag2* options) override {
    if (fInitialized) return WINCODEC_ERR_WRONGSTATE;
    fInitialized = true;
    ReadOptions(options);
    return S_OK;
  }
  HRESULT SetSize(UINT w, UINT h) override {
    if (!fInitialized || w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return E_INVALIDARG;
    if (fRows > 0) return WINCODEC_ERR_WRONGSTATE;  // the rows are laid out for the size they came in
    fImg.Width = w;
    fImg.Height = h;
    return S_OK;
  }
  HRESULT SetResolution(double x, double y) override {
    if (!fInitialized) return WINCODEC_ERR_WRONGSTATE;
    fImg.DpiX = x;
    fImg.DpiY = y;
    return S_OK;
  }
  HRESULT SetPixelFormat(WICPixelFormatGUID* f) override {
    if (!fInitialized || !f) return E_INVALIDARG;
    if (fRows > 0) return WINCODEC_ERR_WRONGSTATE;  // and for their format
    *f = TakenFormat(*f);
    fImg.Format = *f;
    fFormatSet = true;
    return S_OK;
  }
  HRESULT WritePixels(UINT lines, UINT stride, UINT size, BYTE* pixels) override {
    if (!fFormatSet || fImg.Width == 0 || !pixels) return WINCODEC_ERR_WRONGSTATE;
    const TWicFormat* f = FindFormat(fImg.Format);
    const size_t row = RowBytesOf(*f, fImg.Width);
    if (lines == 0) return S_OK;
    if (stride < row || uint64_t(stride) * (lines - 1) + row > size) return E_INVALIDARG;
    if (fRows + lines > fImg.Height) return WINCODEC_ERR_WRONGSTATE;
    if (fImg.Pixels.empty()) {
      if (!VXImageSizeAllowed(fImg.Width, fImg.Height, f->Bits)) return E_OUTOFMEMORY;
      fImg.RowBytes = row;
      try {
        fImg.Pixels.resize(row * fImg.Height);
      } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
      }
    }
    for (UINT i = 0; i < lines; ++i)
      std::memcpy(fImg.Pixels.data() + (fRows + i) * row, pixels + size_t(i) * stride, row);
    fRows += lines;
    return S_OK;
  }
  HRESULT Commit() override {
    if (fCommitted || fImg.Height == 0 || fRows != fImg.Height) return WINCODEC_ERR_WRONGSTATE;
    const HRESULT hr = Encode();
    if (FAILED(hr)) return hr;
    fCommitted = true;
    return S_OK;
  }
  bool Committed() const { return fCommitted; }
  // The bytes of the file, once committed.
  virtual std::span<const uint8_t> Output() = 0;

 protected:
  // Takes what the options say (they may be null).
  virtual void ReadOptions(IPropertyBag2* options) = 0;
  // The format the frame takes for the one wanted.
  virtual GUID TakenFormat(const GUID& wanted) const = 0;
  // Encodes fImg, all rows written.
  virtual HRESULT Encode() = 0;
  TRawImage fImg;

 private:
  bool fInitialized = false, fFormatSet = false, fCommitted = false;
  UINT fRows = 0;
};

// An encoder of one frame into the stream it is initialised with; NewFrame
// makes the frame.
class TEncoder : public TVXComObject<IWICBitmapEncoder> {
 public:
  TEncoder(const GUID& container, std::function<TFrameEncode*()> newFrame)
      : fContainer(container), fNewFrame(std::move(newFrame)) {}
  ~TEncoder() override {
    if (fFrame) fFrame->Release();
    if (fStream) fStream->Release();
  }
  HRESULT Initialize(IStream* stream, WICBitmapEncoderCacheOption) override {
    if (fStream || !stream) return WINCODEC_ERR_WRONGSTATE;
    fStream = stream;
    fStream->AddRef();
    return S_OK;
  }
  HRESULT GetContainerFormat(GUID* g) override { return Give(g, fContainer); }
  HRESULT CreateNewFrame(IWICBitmapFrameEncode** frame, IPropertyBag2** options) override {
    if (!frame || !fStream) return E_INVALIDARG;
    if (fFrame) return WINCODEC_ERR_UNSUPPORTEDOPERATION;  // one frame a file
    fFrame = fNewFrame();
    fFrame->AddRef();
    *frame = fFrame;
    if (options) *options = new TPropertyBag;
    return S_OK;
  }
  HRESULT Commit() override {
    if (fCommitted || !fFrame || !fFrame->Committed()) return WINCODEC_ERR_WRONGSTATE;
    const std::span<const uint8_t> out = fFrame->Output();
    ULONG written = 0;
    if (out.size() > 0xFFFFFFFFu || FAILED(fStream->Write(out.data(), ULONG(out.size()), &written)) ||
        written != out.size())
      return E_FAIL;
    fCommitted = true;
    return S_OK;
  }

 private:
  GUID fContainer;
  std::function<TFrameEncode*()> fNewFrame;
  IStream* fStream = nullptr;
  TFrameEncode* fFrame = nullptr;
  bool fCommitted = false;
};

// ---------------------------------------------------------------------------
// HD Photo encoder

// The quantiser index at quality 0.0, 0.1, ..., 0.9 and 1.0.
const double kQualityTable[11] = {160, 120, 92, 70, 52, 38, 28, 20, 13, 7, 1};

class THDPhotoFrameEncode : public TFrameEncode {
 public:
  std::span<const uint8_t> Output() override { return fOut; }

 protected:
  void ReadOptions(IPropertyBag2* options) override {
    double quality = 0.9;
    bool lossless = false;
    // The options through the bag's interface: any bag will do.
    std::vector<TPropertyBag::TOption> read;
    auto opt = [&](const char* name) -> const TPropertyBag::TOption* {
      if (!options) return nullptr;
      PROPBAG2 key;
      key.pstrName = name;
      PROPVARIANT v;
      HRESULT err = S_OK;
      if (FAILED(options->Read(1, &key, nullptr, &v, &err)) || FAILED(err)) return nullptr;
      read.push_back({name, v});
      return &read.back();
    };
    read.reserve(16);
    if (auto* o = opt("ImageQuality"); o && o->Value.vt == VT_R4) quality = std::clamp<double>(o->Value.fltVal, 0, 1);
    if (auto* o = opt("Lossless"); o && o->Value.vt == VT_BOOL) lossless = o->Value.boolVal != VARIANT_FALSE;
    if (lossless || quality >= 1.0) {
      fOptions.QP = 1;
      fOptions.Overlap = 1;
      fOptions.Subsampling = 3;
    } else {
      fOptions.QP = VXHDPhotoQualityToQP(quality);
      fOptions.Overlap = quality < 0.5 ? 2 : 1;
      fOptions.Subsampling = quality < 0.5 ? 1 : 3;
    }
    if (auto* o = opt("UseCodecOptions"); o && o->Value.vt == VT_BOOL && o->Value.boolVal != VARIANT_FALSE) {
      if (auto* q = opt("Quality"); q && q->Value.vt == VT_UI1) fOptions.QP = std::max<uint8_t>(q->Value.bVal, 1);
      if (auto* q = opt("Overlap"); q && q->Value.vt == VT_UI1) fOptions.Overlap = std::min<uint8_t>(q->Value.bVal, 2);
      if (auto* q = opt("Subsampling"); q && q->Value.vt == VT_UI1)
        fOptions.Subsampling = std::min<uint8_t>(q->Value.bVal, 3);
      if (auto* q = opt("HorizontalTileSlices"); q && q->Value.vt == VT_UI2)
        fOptions.HorizontalTileSlices = q->Value.uiVal;
      if (auto* q = opt("VerticalTileSlices"); q && q->Value.vt == VT_UI2) fOptions.VerticalTileSlices = q->Value.uiVal;
      if (auto* q = opt("FrequencyOrder"); q && q->Value.vt == VT_BOOL)
        fOptions.FrequencyOrder = q->Value.boolVal != VARIANT_FALSE;
    }
  }
  GUID TakenFormat(const GUID& wanted) const override {
    const TVXJxrPixelFormat j = JxrOf(wanted);
    return GuidOfJxr((j == jxfNone || j == jxf32BGRA) ? jxf24BGR : j);
  }
  HRESULT Encode() override {
    fOptions.Format = JxrOf(fImg.Format);
    fOptions.Width = int32_t(fImg.Width);
    fOptions.Height = int32_t(fImg.Height);
    fOptions.DpiX = float(fImg.DpiX);
    fOptions.DpiY = float(fImg.DpiY);
    std::string error;
    return VXJxrEncode(fOptions, fImg.Pixels.data(), fImg.RowBytes, fOut, error) ? S_OK : E_FAIL;
  }

 private:
  TVXJxrEncodeOptions fOptions;
  std::vector<uint8_t> fOut;
};

// ---------------------------------------------------------------------------
// The library's codecs behind the component

struct TCodecType {
  const GUID* DecoderClass;
  const GUID* Container;
  int32_t FileType;
};

const TCodecType kCodecTypes[] = {
    {&CLSID_WICTiffDecoder, &GUID_ContainerFormatTiff, 1}, {&CLSID_WICGifDecoder, &GUID_ContainerFormatGif, 2},
    {&CLSID_WICJpegDecoder, &GUID_ContainerFormatJpeg, 3}, {&CLSID_WICBmpDecoder, &GUID_ContainerFormatBmp, 5},
    {&CLSID_WICIcoDecoder, &GUID_ContainerFormatIco, 6},   {&CLSID_WICPngDecoder, &GUID_ContainerFormatPng, 8},
};

// Image Index of a file read by the library's codec of FileType, natively,
// in the component's layout: an alpha channel gives 32bppBGRA, formats
// without a component format are taken as 24-bit colour.
HRESULT ReadCodecFrame(const std::vector<uint8_t>& data, int32_t fileType, int32_t index, TRawImage& img) {
  const TVXCodecOps* ops = VXFindCodecOps(fileType);
  if (!ops || !ops->Read) return WINCODEC_ERR_COMPONENTNOTFOUND;
  TVXMemStream s(data.data(), int64_t(data.size()));
  TVXBitmap bmp;
  TIOParamsVals params;
  params.IsNativePixelFormat = true;
  params.SetImageIndex(index);
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  TVXCodecReadArgs a;
  a.Stream = &s;
  a.Bitmap = &bmp;
  a.Params = &params;
  a.Progress = &progress;
  try {
    ops->Read(a);
    if (aborting || bmp.IsEmpty()) return WINCODEC_ERR_BADIMAGE;
    if (a.AlphaMask) bmp.AlphaChannel()->CopyFromTVXMask(a.AlphaMask.get());
    GUID format;
    if (!VXWICPixelFormatOf(bmp.PixelFormat(), false, format)) bmp.SetPixelFormat(vx24RGB);
    const bool alpha = bmp.HasAlphaChannel() && bmp.PixelFormat() == vx24RGB;
    VXWICPixelFormatOf(bmp.PixelFormat(), alpha, format);
    if (!BitmapToRaw(bmp, format, img)) return E_OUTOFMEMORY;
  } catch (...) {
    return WINCODEC_ERR_BADIMAGE;
  }
  img.DpiX = params.DpiX();
  img.DpiY = params.DpiY();
  return S_OK;
}

class TCodecDecoder : public TDecoder {
 public:
  TCodecDecoder(std::vector<uint8_t> data, const TCodecType& type, UINT frames)
      : TDecoder(*type.Container, frames), fData(std::move(data)), fFileType(type.FileType) {}

 protected:
  HRESULT NewFrame(UINT index, IWICBitmapFrameDecode** frame) override {
    auto img = std::make_shared<TRawImage>();
    const HRESULT hr = ReadCodecFrame(fData, fFileType, int32_t(index), *img);
    if (FAILED(hr)) return hr;
    *frame = new TRawFrame(std::move(img));
    return S_OK;
  }

 private:
  std::vector<uint8_t> fData;
  int32_t fFileType;
};

// One frame written by the library's codec of a type: the rows are handed to
// the codec's writer on Commit.
class TCodecFrameEncode : public TFrameEncode {
 public:
  explicit TCodecFrameEncode(int32_t fileType) : fFileType(fileType) {}
  std::span<const uint8_t> Output() override {
    return {static_cast<const uint8_t*>(fOut.Memory()), size_t(fOut.Size())};
  }

 protected:
  void ReadOptions(IPropertyBag2* options) override {
    if (options) {
      PROPBAG2 key;
      key.pstrName = "ImageQuality";
      PROPVARIANT v;
      HRESULT err = S_OK;
      if (SUCCEEDED(options->Read(1, &key, nullptr, &v, &err)) && SUCCEEDED(err) && v.vt == VT_R4)
        fQuality = std::clamp<double>(v.fltVal, 0, 1);
    }
  }
  GUID TakenFormat(const GUID& wanted) const override {
    const bool indexed = IsEqualGUID(wanted, GUID_WICPixelFormat1bppIndexed) ||
                         IsEqualGUID(wanted, GUID_WICPixelFormat8bppIndexed);
    return !FindFormat(wanted) || indexed ? GUID_WICPixelFormat24bppBGR : wanted;
  }
  HRESULT Encode() override {
    const TVXCodecOps* ops = VXFindCodecOps(fFileType);
    if (!ops || !ops->Write) return WINCODEC_ERR_COMPONENTNOTFOUND;
    try {
      TVXBitmap bmp;
      if (!RawToBitmap(fImg, bmp)) return E_OUTOFMEMORY;
      TIOParamsVals params;
      params.SetDpiX(int32_t(std::lrint(std::clamp(fImg.DpiX, 1.0, 1e6))));
      params.SetDpiY(int32_t(std::lrint(std::clamp(fImg.DpiY, 1.0, 1e6))));
      if (fQuality >= 0) params.SetJPEG_Quality(std::clamp(int32_t(std::lrint(fQuality * 100)), 1, 100));
      bool aborting = false;
      TProgressRec progress;
      progress.Aborting = &aborting;
      TVXCodecWriteArgs a;
      a.Stream = &fOut;
      a.Bitmap = &bmp;
      a.Params = &params;
      a.Progress = &progress;
      ops->Write(a);
      if (aborting) return E_FAIL;
    } catch (...) {
      return E_FAIL;
    }
    return S_OK;
  }

 private:
  int32_t fFileType;
  double fQuality = -1;
  TMemoryStream fOut;
};

// ---------------------------------------------------------------------------
// The factory

class TImagingFactory : public TVXComObject<IWICImagingFactory> {
 public:
  HRESULT CreateDecoderFromStream(IStream* stream, const GUID* vendor, WICDecodeOptions,
                                  IWICBitmapDecoder** decoder) override;
  HRESULT CreateEncoder(REFGUID container, const GUID*, IWICBitmapEncoder** encoder) override {
    if (!encoder) return E_INVALIDARG;
    *encoder = nullptr;
    if (IsEqualGUID(container, GUID_ContainerFormatWmp)) {
      *encoder = new TEncoder(GUID_ContainerFormatWmp, []() -> TFrameEncode* { return new THDPhotoFrameEncode; });
      return S_OK;
    }
    for (const TCodecType& t : kCodecTypes) {
      // Icons are read only.
      if (t.FileType != 6 && IsEqualGUID(container, *t.Container)) {
        const int32_t type = t.FileType;
        *encoder = new TEncoder(*t.Container, [type]() -> TFrameEncode* { return new TCodecFrameEncode(type); });
        return S_OK;
      }
    }
    return WINCODEC_ERR_COMPONENTNOTFOUND;
  }
  HRESULT CreatePalette(IWICPalette** palette) override {
    if (!palette) return E_INVALIDARG;
    TPalette* p = new TPalette;
    p->fFactory = this;
    *palette = p;
    return S_OK;
  }
  HRESULT CreateFormatConverter(IWICFormatConverter** c) override {
    if (!c) return E_INVALIDARG;
    *c = new TConverter(this);
    return S_OK;
  }
  HRESULT CreateBitmapScaler(IWICBitmapScaler** s) override {
    if (!s) return E_INVALIDARG;
    *s = new TScaler(this);
    return S_OK;
  }
};

HRESULT TImagingFactory::CreateDecoderFromStream(IStream* stream, const GUID*, WICDecodeOptions,
                                                 IWICBitmapDecoder** decoder) {
  if (!decoder || !stream) return E_INVALIDARG;
  *decoder = nullptr;
  std::vector<uint8_t> data;
  const HRESULT hr = ReadWholeStream(stream, data);
  if (FAILED(hr)) return hr;
  int32_t w = 0, h = 0;
  if (VXJxrCheckContainer(data.data(), data.size(), w, h)) {
    auto dec = std::make_shared<TVXJxrDecoder>();
    if (!dec->Open(std::move(data))) return WINCODEC_ERR_BADHEADER;
    *decoder = new THDPhotoDecoder(std::move(dec));
    return S_OK;
  }
  // The library's detection names the type, whatever decoder class the
  // caller prefers.
  TVXMemStream s(data.data(), int64_t(data.size()));
  const int32_t type = VXFindStreamFormat(&s);
  for (const TCodecType& t : kCodecTypes) {
    if (t.FileType != type) continue;
    const TVXCodecOps* ops = VXFindCodecOps(type);
    if (!ops || !ops->Read) return WINCODEC_ERR_COMPONENTNOTFOUND;
    UINT frames = 1;
    if (ops->ImageCount) {
      s.SetPosition(0);
      try {
        frames = UINT(std::max<int32_t>(ops->ImageCount(&s), 1));
      } catch (...) {
        frames = 1;
      }
    }
    *decoder = new TCodecDecoder(std::move(data), t, frames);
    return S_OK;
  }
  return WINCODEC_ERR_COMPONENTNOTFOUND;
}

}  // namespace

uint8_t VXHDPhotoQualityToQP(double Quality) {
  if (!(Quality < 1.0)) return 1;
  if (Quality < 0) Quality = 0;
  const double t = Quality * 10;
  const int i = std::min(int(t), 9);
  const double f = t - i;
  return uint8_t(std::clamp<long>(std::lrint(kQualityTable[i] * (1 - f) + kQualityTable[i + 1] * f), 2, 255));
}

IWICImagingFactory* VXCreateImagingFactory() { return new TImagingFactory; }
