// The layer over the platform imaging component (see formats/wic.h).
#include "formats/wic.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/exif.h"
#include "formats/tiff_pages.h"
#include "io/params.h"

namespace {

// ---------------------------------------------------------------------------
// Availability

bool gAvailableKnown = false;
bool gAvailable = false;
uint32_t gAvailableGeneration = 0;

IWICImagingFactory* CreateFactory() {
  void* p = nullptr;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory, &p)))
    return nullptr;
  return static_cast<IWICImagingFactory*>(p);
}

void ReleaseAndNull(auto*& p) {
  if (p) p->Release();
  p = nullptr;
}

// ---------------------------------------------------------------------------
// Pixel formats

struct TFormatRow {
  const GUID* Wic;
  TVXPixelFormat ReadAs;
};

const TFormatRow kFormats[] = {
    {&GUID_WICPixelFormat1bppIndexed, vx1g}, {&GUID_WICPixelFormat8bppIndexed, vx8p},
    {&GUID_WICPixelFormatBlackWhite, vx1g},  {&GUID_WICPixelFormat8bppGray, vx8g},
    {&GUID_WICPixelFormat16bppGray, vx16g},  {&GUID_WICPixelFormat24bppBGR, vx24RGB},
    {&GUID_WICPixelFormat32bppBGRA, vx24RGB}, {&GUID_WICPixelFormat48bppRGB, vx48RGB},
    {&GUID_WICPixelFormat32bppCMYK, vxCMYK},
};

bool KnownFormat(const GUID& g) {
  for (const TFormatRow& r : kFormats)
    if (IsEqualGUID(*r.Wic, g)) return true;
  return false;
}

UINT BitsOf(const GUID& g) {
  if (IsEqualGUID(g, GUID_WICPixelFormat1bppIndexed) || IsEqualGUID(g, GUID_WICPixelFormatBlackWhite)) return 1;
  if (IsEqualGUID(g, GUID_WICPixelFormat8bppIndexed) || IsEqualGUID(g, GUID_WICPixelFormat8bppGray)) return 8;
  if (IsEqualGUID(g, GUID_WICPixelFormat16bppGray)) return 16;
  if (IsEqualGUID(g, GUID_WICPixelFormat24bppBGR)) return 24;
  if (IsEqualGUID(g, GUID_WICPixelFormat32bppBGRA) || IsEqualGUID(g, GUID_WICPixelFormat32bppCMYK)) return 32;
  if (IsEqualGUID(g, GUID_WICPixelFormat48bppRGB)) return 48;
  return 0;
}

UINT ChannelsOf(const GUID& g) {
  if (IsEqualGUID(g, GUID_WICPixelFormat24bppBGR) || IsEqualGUID(g, GUID_WICPixelFormat48bppRGB)) return 3;
  if (IsEqualGUID(g, GUID_WICPixelFormat32bppBGRA) || IsEqualGUID(g, GUID_WICPixelFormat32bppCMYK)) return 4;
  return 1;
}

void InvertBytes(uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) p[i] = uint8_t(~p[i]);
}

// The palette of a source into a vx8p bitmap; false when it has none.
bool CopyPaletteFrom(IWICImagingFactory* factory, IWICBitmapSource* source, TVXBaseBitmap* bitmap) {
  TVXComPtr<IWICPalette> palette;
  if (FAILED(factory->CreatePalette(&palette)) || FAILED(source->CopyPalette(palette.Get()))) return false;
  UINT count = 0;
  if (FAILED(palette->GetColorCount(&count)) || count == 0) return false;
  count = std::min<UINT>(count, 256);
  std::vector<WICColor> colors(count);
  UINT actual = 0;
  if (FAILED(palette->GetColors(count, colors.data(), &actual))) return false;
  for (UINT i = 0; i < actual; ++i) {
    TRGB c;
    c.b = uint8_t(colors[i]);
    c.g = uint8_t(colors[i] >> 8);
    c.r = uint8_t(colors[i] >> 16);
    bitmap->SetPalette(int32_t(i), c);
  }
  bitmap->SetPaletteUsed(int32_t(actual));
  return true;
}

// Reports Trunc(row / rows * 100) when it changes.
class TRowProgress {
 public:
  TRowProgress(const TVXProgressEvent& e, void* s, int32_t rows) : fEvent(e), fSender(s), fRows(rows) {}
  void Row(int32_t done) {
    if (!fEvent || fRows <= 0) return;
    const int32_t per = int32_t(int64_t(done) * 100 / fRows);
    if (per != fLast) {
      fLast = per;
      fEvent(fSender, per);
    }
  }

 private:
  const TVXProgressEvent& fEvent;
  void* fSender;
  int32_t fRows;
  int32_t fLast = -1;
};

// The converter's and scaler's copy: Dest gets the source's own format; a
// 32bppBGRA source gives its colour to Dest and its fourth byte to
// DestAlpha (when given). False when a step fails.
bool CopySourceToBitmap(IWICImagingFactory* factory, IWICBitmapSource* source, TVXBitmap* dest, TVXBitmap* destAlpha,
                        const TVXProgressEvent& progress, void* sender) {
  UINT w = 0, h = 0;
  WICPixelFormatGUID fmt{};
  if (FAILED(source->GetSize(&w, &h)) || FAILED(source->GetPixelFormat(&fmt))) return false;
  const TVXPixelFormat pf = VXPixelFormatOfWIC(fmt);
  if (pf == vxnull || w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
  if (!dest->Allocate(int32_t(w), int32_t(h), pf)) return false;
  const bool bgra = IsEqualGUID(fmt, GUID_WICPixelFormat32bppBGRA);
  if (bgra && destAlpha) {
    if (destAlpha == dest->AlphaChannelOpt() || destAlpha == dest->AlphaChannel()) {
      destAlpha = dest->AlphaChannel();  // made with the bitmap's size
    } else if (!destAlpha->Allocate(int32_t(w), int32_t(h), vx8g)) {
      return false;
    }
  }
  if (pf == vx8p && !CopyPaletteFrom(factory, source, dest)) return false;
  TRowProgress rp(progress, sender, int32_t(h));
  std::vector<uint8_t> row;
  if (bgra) row.resize(size_t(w) * 4);
  const UINT stride = UINT(dest->RowLen());
  for (UINT y = 0; y < h; ++y) {
    WICRect rc{0, INT(y), INT(w), 1};
    if (bgra) {
      if (FAILED(source->CopyPixels(&rc, UINT(row.size()), UINT(row.size()), row.data()))) return false;
      uint8_t* d = static_cast<uint8_t*>(dest->ScanLine(int32_t(y)));
      uint8_t* a = destAlpha ? static_cast<uint8_t*>(destAlpha->ScanLine(int32_t(y))) : nullptr;
      for (UINT x = 0; x < w; ++x) {
        d[3 * x] = row[4 * x];
        d[3 * x + 1] = row[4 * x + 1];
        d[3 * x + 2] = row[4 * x + 2];
        if (a) a[x] = row[4 * x + 3];
      }
    } else {
      uint8_t* d = static_cast<uint8_t*>(dest->ScanLine(int32_t(y)));
      if (FAILED(source->CopyPixels(&rc, stride, stride, d))) return false;
      if (pf == vxCMYK) InvertBytes(d, size_t(w) * 4);
    }
    rp.Row(int32_t(y + 1));
  }
  if (destAlpha && bgra) {
    destAlpha->SetFull(false);
    if (destAlpha == dest->AlphaChannelOpt()) dest->SetFull(false);
  }
  return true;
}

// An IStream over a library stream from a base position on.
class TStreamAdapter : public TVXStreamBase<IStream> {
 public:
  TStreamAdapter(TStream* s, int64_t base) : fStream(s), fBase(base) {}
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    try {
      const int64_t n = fStream->Read(pv, cb);
      if (pcbRead) *pcbRead = ULONG(std::max<int64_t>(n, 0));
      return n == int64_t(cb) ? S_OK : S_FALSE;
    } catch (...) {
      if (pcbRead) *pcbRead = 0;
      return E_FAIL;
    }
  }
  HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    try {
      const int64_t n = fStream->Write(pv, cb);
      if (pcbWritten) *pcbWritten = ULONG(std::max<int64_t>(n, 0));
      return n == int64_t(cb) ? S_OK : E_FAIL;
    } catch (...) {
      if (pcbWritten) *pcbWritten = 0;
      return E_FAIL;
    }
  }
  HRESULT Seek(int64_t move, DWORD origin, uint64_t* newPos) override {
    try {
      int64_t p = 0;
      switch (origin) {
        case STREAM_SEEK_SET: p = fStream->Seek(fBase + move, soBeginning); break;
        case STREAM_SEEK_CUR: p = fStream->Seek(move, soCurrent); break;
        case STREAM_SEEK_END: p = fStream->Seek(move, soEnd); break;
        default: return E_INVALIDARG;
      }
      if (newPos) *newPos = uint64_t(std::max<int64_t>(p - fBase, 0));
      return S_OK;
    } catch (...) {
      return E_FAIL;
    }
  }
  HRESULT SetSize(uint64_t) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Stat(STATSTG* s, DWORD) override {
    if (!s) return STG_E_INVALIDPOINTER;
    try {
      *s = STATSTG{};
      s->type = STGTY_STREAM;
      s->cbSize = uint64_t(std::max<int64_t>(fStream->Size() - fBase, 0));
      return S_OK;
    } catch (...) {
      return E_FAIL;
    }
  }

 private:
  TStream* fStream;
  int64_t fBase;
};

bool DecoderClassOf(int32_t fileType, GUID& g) {
  switch (fileType) {
    case 1: g = CLSID_WICTiffDecoder; return true;
    case 2: g = CLSID_WICGifDecoder; return true;
    case 3: g = CLSID_WICJpegDecoder; return true;
    case 5: g = CLSID_WICBmpDecoder; return true;
    case 6: g = CLSID_WICIcoDecoder; return true;
    case 8: g = CLSID_WICPngDecoder; return true;
    case 29: g = CLSID_WICWmpDecoder; return true;
    default: return false;
  }
}

bool ContainerOf(int32_t fileType, GUID& g) {
  switch (fileType) {
    case 1: g = GUID_ContainerFormatTiff; return true;
    case 2: g = GUID_ContainerFormatGif; return true;
    case 3: g = GUID_ContainerFormatJpeg; return true;
    case 5: g = GUID_ContainerFormatBmp; return true;
    case 8: g = GUID_ContainerFormatPng; return true;
    case 29: g = GUID_ContainerFormatWmp; return true;
    default: return false;
  }
}

double DefaultDpiX() { return VXGetGlobalSettings()->DefaultDPIX(); }
double DefaultDpiY() { return VXGetGlobalSettings()->DefaultDPIY(); }

constexpr int32_t kHDPhotoFileType = 29;

}  // namespace

// ---------------------------------------------------------------------------

bool VXIsWICAvailable() {
  const uint32_t generation = VXImagingComponentGeneration();
  if (gAvailableKnown && generation == gAvailableGeneration) return gAvailable;
  const bool ole = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  IWICImagingFactory* factory = CreateFactory();
  gAvailable = factory != nullptr;
  ReleaseAndNull(factory);
  if (ole) CoUninitialize();
  gAvailableGeneration = generation;
  gAvailableKnown = true;
  return gAvailable;
}

bool VXWICPixelFormatOf(TVXPixelFormat Format, bool WithAlpha, GUID& Result) {
  switch (Format) {
    case vx1g: Result = GUID_WICPixelFormatBlackWhite; return true;
    case vx8p: Result = GUID_WICPixelFormat8bppIndexed; return true;
    case vx8g: Result = GUID_WICPixelFormat8bppGray; return true;
    case vx16g: Result = GUID_WICPixelFormat16bppGray; return true;
    case vx24RGB: Result = WithAlpha ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR; return true;
    case vx48RGB: Result = GUID_WICPixelFormat48bppRGB; return true;
    case vxCMYK: Result = GUID_WICPixelFormat32bppCMYK; return true;
    default: return false;
  }
}

TVXPixelFormat VXPixelFormatOfWIC(const GUID& Format) {
  for (const TFormatRow& r : kFormats)
    if (IsEqualGUID(*r.Wic, Format)) return r.ReadAs;
  return vxnull;
}

// ---------------------------------------------------------------------------
// Reader

TVXWICReader::TVXWICReader() : fDPIX(DefaultDpiX()), fDPIY(DefaultDpiY()) {
  fOLEInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  fWICImagingFactory = CreateFactory();
}

TVXWICReader::~TVXWICReader() {
  Close();
  ReleaseAndNull(fWICImagingFactory);
  if (fOLEInitialized) CoUninitialize();
}

bool TVXWICReader::IsAvailable() const { return fWICImagingFactory != nullptr && VXIsWICAvailable(); }

bool TVXWICReader::Open(TStream* Stream, int32_t fileType) {
  ReleaseAndNull(fFrame);
  ReleaseAndNull(fQueryReader);
  ReleaseAndNull(fDecoder);
  fStream = nullptr;
  if (fFileStream && fFileStream.get() != Stream) fFileStream.reset();
  GUID vendor;
  if (!IsAvailable() || !Stream || !DecoderClassOf(fileType, vendor)) return false;
  fStream = Stream;
  fStreamBase = Stream->Position();
  TStreamAdapter* adapter = new TStreamAdapter(Stream, fStreamBase);
  const HRESULT hr =
      fWICImagingFactory->CreateDecoderFromStream(adapter, &vendor, WICDecodeMetadataCacheOnLoad, &fDecoder);
  adapter->Release();
  try {
    Stream->SetPosition(fStreamBase);
  } catch (...) {
  }
  if (FAILED(hr) || !fDecoder) {
    fDecoder = nullptr;
    return false;
  }
  return true;
}

bool TVXWICReader::Open(const std::string& FileName, int32_t fileType) {
  Close();
  GUID vendor;
  if (!IsAvailable() || !DecoderClassOf(fileType, vendor)) return false;
  try {
    fFileStream = std::make_unique<TVXWideFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  } catch (...) {
    return false;
  }
  const bool ok = Open(fFileStream.get(), fileType);
  if (!ok) fFileStream.reset();
  return ok;
}

int32_t TVXWICReader::FrameCount() {
  UINT n = 0;
  if (!fDecoder || FAILED(fDecoder->GetFrameCount(&n))) return 0;
  return int32_t(std::min<UINT>(n, 0x7FFFFFFF));
}

namespace {

int32_t FrameSize(IWICBitmapDecoder* decoder, int32_t index, bool width) {
  if (!decoder || index < 0) return 0;
  TVXComPtr<IWICBitmapFrameDecode> frame;
  UINT w = 0, h = 0;
  if (FAILED(decoder->GetFrame(UINT(index), &frame)) || FAILED(frame->GetSize(&w, &h))) return 0;
  return int32_t(std::min<UINT>(width ? w : h, 0x7FFFFFFF));
}

}  // namespace

int32_t TVXWICReader::FrameWidth(int32_t frameIndex) { return FrameSize(fDecoder, frameIndex, true); }
int32_t TVXWICReader::FrameHeight(int32_t frameIndex) { return FrameSize(fDecoder, frameIndex, false); }

void TVXWICReader::GetFrame(int32_t frameIndex, TVXBitmap* destBitmap, TIOParamsVals* IOParams, bool* Aborting) {
  auto fail = [&] {
    if (Aborting) *Aborting = true;
  };
  if (!IsAvailable() || !fDecoder || frameIndex < 0) return fail();
  ReleaseAndNull(fQueryReader);
  ReleaseAndNull(fFrame);
  if (FAILED(fDecoder->GetFrame(UINT(frameIndex), &fFrame)) || !fFrame) {
    fFrame = nullptr;
    return fail();
  }
  double dx = 0, dy = 0;
  if (SUCCEEDED(fFrame->GetResolution(&dx, &dy))) {
    fDPIX = dx;
    fDPIY = dy;
  }
  if (FAILED(fFrame->GetMetadataQueryReader(&fQueryReader))) fQueryReader = nullptr;

  TVXComPtr<IWICBitmapSource> thumbnail;
  IWICBitmapSource* source = fFrame;
  if (IOParams && IOParams->GetThumbnail() && SUCCEEDED(fFrame->GetThumbnail(&thumbnail)) && thumbnail)
    source = thumbnail.Get();

  UINT w = 0, h = 0;
  WICPixelFormatGUID sf{};
  if (FAILED(source->GetSize(&w, &h)) || FAILED(source->GetPixelFormat(&sf)) || w == 0 || h == 0 ||
      w > 0x7FFFFFFF || h > 0x7FFFFFFF)
    return fail();

  // The format delivered.
  const bool native = !IOParams || IOParams->IsNativePixelFormat;
  GUID target = GUID_WICPixelFormat24bppBGR;
  bool bgraAsBGR = false;
  if (native) {
    if (IsEqualGUID(sf, GUID_WICPixelFormat1bppIndexed))
      target = GUID_WICPixelFormat8bppIndexed;
    else if (IsEqualGUID(sf, GUID_WICPixelFormat8bppIndexed))
      target = GUID_WICPixelFormat24bppBGR;
    else if (IsEqualGUID(sf, GUID_WICPixelFormat32bppBGRA)) {
      target = sf;
      bgraAsBGR = true;
    } else if (KnownFormat(sf))
      target = sf;
  } else if (IsEqualGUID(sf, GUID_WICPixelFormatBlackWhite)) {
    target = GUID_WICPixelFormatBlackWhite;
  }

  TVXComPtr<IWICFormatConverter> converter;
  if (FAILED(fWICImagingFactory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(source, target, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return fail();

  const bool paramsOnly = destBitmap == nullptr;
  const TVXPixelFormat pf = bgraAsBGR ? vx24RGB : VXPixelFormatOfWIC(target);
  if (!paramsOnly) {
    if (!destBitmap->Allocate(int32_t(w), int32_t(h), pf)) return fail();
    if (pf == vx8p) {
      // The frame's own palette (a 1bppIndexed frame's two entries).
      if (!CopyPaletteFrom(fWICImagingFactory, converter.Get(), destBitmap) &&
          !CopyPaletteFrom(fWICImagingFactory, source, destBitmap))
        return fail();
    }
    const UINT stride = UINT(destBitmap->RowLen());
    std::vector<uint8_t> row;
    if (bgraAsBGR) row.resize(size_t(w) * 4);
    for (UINT y = 0; y < h; ++y) {
      WICRect rc{0, INT(y), INT(w), 1};
      uint8_t* d = static_cast<uint8_t*>(destBitmap->ScanLine(int32_t(y)));
      if (bgraAsBGR) {
        if (FAILED(converter->CopyPixels(&rc, UINT(row.size()), UINT(row.size()), row.data()))) return fail();
        for (UINT x = 0; x < w; ++x) std::memcpy(d + 3 * size_t(x), row.data() + 4 * size_t(x), 3);
      } else {
        if (FAILED(converter->CopyPixels(&rc, stride, stride, d))) return fail();
        if (pf == vxCMYK) InvertBytes(d, size_t(w) * 4);
      }
    }
  }

  if (IOParams) {
    if (fStream) {
      try {
        const int64_t pos = fStream->Position();
        fStream->SetPosition(fStreamBase);
        VXLoadEXIFFromTIFFStream(fStream, *IOParams, false);
        fStream->SetPosition(pos);
      } catch (...) {
      }
    }
    const GUID delivered = bgraAsBGR ? GUID_WICPixelFormat24bppBGR : target;
    const UINT channels = ChannelsOf(delivered);
    IOParams->SetBitsPerSample(int32_t(BitsOf(delivered) / channels));
    IOParams->SetSamplesPerPixel(int32_t(channels));
    UINT fw = 0, fh = 0;
    fFrame->GetSize(&fw, &fh);
    IOParams->SetOriginalWidth(int32_t(std::min<UINT>(fw, 0x7FFFFFFF)));
    IOParams->SetOriginalHeight(int32_t(std::min<UINT>(fh, 0x7FFFFFFF)));
    IOParams->SetWidth(paramsOnly ? int32_t(w) : destBitmap->Width());
    IOParams->SetHeight(paramsOnly ? int32_t(h) : destBitmap->Height());
    IOParams->SetDpiX(int32_t(std::clamp(fDPIX, 0.0, 2147483647.0)));
    IOParams->SetDpiY(int32_t(std::clamp(fDPIY, 0.0, 2147483647.0)));
  }
}

PROPVARIANT TVXWICReader::QueryMetadata(const std::string& query) {
  PROPVARIANT v;
  PropVariantInit(&v);
  if (fQueryReader && FAILED(fQueryReader->GetMetadataByName(query.c_str(), &v))) PropVariantInit(&v);
  return v;
}

void TVXWICReader::Close() {
  ReleaseAndNull(fFrame);
  ReleaseAndNull(fQueryReader);
  ReleaseAndNull(fDecoder);
  fStream = nullptr;
  fFileStream.reset();
}

// ---------------------------------------------------------------------------
// Writer

TVXWICWriter::TVXWICWriter() : fDPIX(DefaultDpiX()), fDPIY(DefaultDpiY()) {
  fOLEInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  fWICImagingFactory = CreateFactory();
}

TVXWICWriter::~TVXWICWriter() {
  Close();
  ReleaseAndNull(fWICImagingFactory);
  if (fOLEInitialized) CoUninitialize();
}

bool TVXWICWriter::IsAvailable() const { return fWICImagingFactory != nullptr; }

bool TVXWICWriter::Open(TStream* Stream, int32_t fileType) {
  ReleaseAndNull(fEncoder);
  ReleaseAndNull(fStreamAdapter);
  fStream = nullptr;
  if (fFileStream && fFileStream.get() != Stream) fFileStream.reset();
  GUID container;
  if (!IsAvailable() || !Stream || !ContainerOf(fileType, container)) return false;
  if (FAILED(fWICImagingFactory->CreateEncoder(container, &GUID_VendorMicrosoft, &fEncoder)) || !fEncoder) {
    fEncoder = nullptr;
    return false;
  }
  fStream = Stream;
  fStreamBase = Stream->Position();
  fStreamAdapter = new TStreamAdapter(Stream, fStreamBase);
  if (FAILED(fEncoder->Initialize(fStreamAdapter, WICBitmapEncoderNoCache))) {
    ReleaseAndNull(fEncoder);
    ReleaseAndNull(fStreamAdapter);
    fStream = nullptr;
    return false;
  }
  return true;
}

bool TVXWICWriter::Open(const std::string& FileName, int32_t fileType) {
  Close();
  GUID container;
  if (!IsAvailable() || !ContainerOf(fileType, container)) return false;  // no file made
  fFileStream = std::make_unique<TVXWideFileStream>(FileName, fmCreate);
  const bool ok = Open(fFileStream.get(), fileType);
  if (!ok) fFileStream.reset();
  return ok;
}

namespace {

HRESULT WriteOption(IPropertyBag2* bag, const char* name, const PROPVARIANT& value) {
  switch (value.vt) {
    case VT_R4: case VT_BOOL: case VT_UI1: case VT_UI2: break;
    default: throw EVXException("Unsupported pixel format");  // an option of no known type
  }
  PROPBAG2 option;
  option.vt = value.vt;
  option.pstrName = name;
  PROPVARIANT v = value;
  return bag->Write(1, &option, &v);
}

PROPVARIANT Float(double d) {
  PROPVARIANT v;
  v.vt = VT_R4;
  v.fltVal = float(d);
  return v;
}
PROPVARIANT Boolean(bool b) {
  PROPVARIANT v;
  v.vt = VT_BOOL;
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
PROPVARIANT Byte(uint8_t b) {
  PROPVARIANT v;
  v.vt = VT_UI1;
  v.bVal = b;
  return v;
}
PROPVARIANT Word(uint16_t w) {
  PROPVARIANT v;
  v.vt = VT_UI2;
  v.uiVal = w;
  return v;
}

}  // namespace

bool TVXWICWriter::PutFrame(TVXBaseBitmap* srcBitmap, TIOParamsVals* IOParams) {
  if (!fEncoder || !srcBitmap) return false;
  GUID format;
  const TVXPixelFormat pf = srcBitmap->PixelFormat();
  if (pf == vx8p || !VXWICPixelFormatOf(pf, false, format)) throw EVXException("Unsupported pixel format");

  TVXComPtr<IWICBitmapFrameEncode> frame;
  TVXComPtr<IPropertyBag2> bag;
  if (FAILED(fEncoder->CreateNewFrame(&frame, &bag)) || !frame) return false;
  if (IOParams) {
    fDPIX = IOParams->DpiX();
    fDPIY = IOParams->DpiY();
    fImageQuality = IOParams->HDP_ImageQuality();
    fLossless = IOParams->HDP_Lossless();
  }
  if (bag) {
    if (fImageQuality >= 0) WriteOption(bag.Get(), "ImageQuality", Float(fImageQuality));
    if (fCompressionQuality >= 0) WriteOption(bag.Get(), "CompressionQuality", Float(fCompressionQuality));
    WriteOption(bag.Get(), "Lossless", Boolean(fLossless));
    if (fUseCodecOptions) {
      WriteOption(bag.Get(), "UseCodecOptions", Boolean(true));
      WriteOption(bag.Get(), "Quality", Byte(fQuality));
      WriteOption(bag.Get(), "Overlap", Byte(fOverlap));
      WriteOption(bag.Get(), "Subsampling", Byte(fSubsampling));
      WriteOption(bag.Get(), "HorizontalTileSlices", Word(fHorizontalTileSlices));
      WriteOption(bag.Get(), "VerticalTileSlices", Word(fVerticalTileSlices));
      WriteOption(bag.Get(), "FrequencyOrder", Boolean(fFrequencyOrder));
    }
    WriteOption(bag.Get(), "TiffCompressionMethod", Byte(uint8_t(fTIFFCompressionMethod)));
  }
  const int32_t w = srcBitmap->Width(), h = srcBitmap->Height();
  if (w <= 0 || h <= 0) return false;
  if (FAILED(frame->Initialize(bag.Get())) || FAILED(frame->SetSize(UINT(w), UINT(h))) ||
      FAILED(frame->SetResolution(fDPIX, fDPIY)))
    return false;
  GUID wanted = format;
  if (FAILED(frame->SetPixelFormat(&wanted)) || !IsEqualGUID(wanted, format)) return false;
  const size_t rowBytes = (size_t(w) * BitsOf(format) + 7) / 8;
  std::vector<uint8_t> row(rowBytes);
  for (int32_t y = 0; y < h; ++y) {
    std::memcpy(row.data(), srcBitmap->Scanline(y), rowBytes);
    if (pf == vxCMYK) InvertBytes(row.data(), rowBytes);
    if (FAILED(frame->WritePixels(1, UINT(rowBytes), UINT(rowBytes), row.data()))) return false;
  }
  return SUCCEEDED(frame->Commit());
}

bool TVXWICWriter::Close() {
  bool ok = true;
  if (fEncoder) ok = SUCCEEDED(fEncoder->Commit());
  ReleaseAndNull(fEncoder);
  ReleaseAndNull(fStreamAdapter);
  fStream = nullptr;
  fFileStream.reset();
  return ok;
}

// ---------------------------------------------------------------------------
// Bitmap source

TVXWICBitmapWrapper::TVXWICBitmapWrapper(TVXBaseBitmap* bitmap, TVXBaseBitmap* alpha)
    : m_bitmap(bitmap), m_alpha(alpha) {}

HRESULT TVXWICBitmapWrapper::GetSize(UINT* puiWidth, UINT* puiHeight) {
  if (!puiWidth || !puiHeight) return E_INVALIDARG;
  *puiWidth = UINT(std::max(m_bitmap->Width(), 0));
  *puiHeight = UINT(std::max(m_bitmap->Height(), 0));
  return S_OK;
}

HRESULT TVXWICBitmapWrapper::GetPixelFormat(WICPixelFormatGUID* pPixelFormat) {
  if (!pPixelFormat) return E_INVALIDARG;
  if (!VXWICPixelFormatOf(m_bitmap->PixelFormat(), m_alpha != nullptr, *pPixelFormat)) return E_NOTIMPL;
  return S_OK;
}

HRESULT TVXWICBitmapWrapper::GetResolution(double* pDpiX, double* pDpiY) {
  if (!pDpiX || !pDpiY) return E_INVALIDARG;
  *pDpiX = DefaultDpiX();
  *pDpiY = DefaultDpiY();
  return S_OK;
}

HRESULT TVXWICBitmapWrapper::CopyPalette(IWICPalette* pIPalette) {
  if (m_bitmap->PixelFormat() != vx8p) return WINCODEC_ERR_PALETTEUNAVAILABLE;
  if (!pIPalette) return E_INVALIDARG;
  const int32_t n = std::clamp(m_bitmap->PaletteUsed(), 0, 256);
  std::vector<WICColor> colors(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    const TRGB c = m_bitmap->Palette(i);
    colors[size_t(i)] = WICColor(c.b) | (WICColor(c.g) << 8) | (WICColor(c.r) << 16);
  }
  return pIPalette->InitializeCustom(colors.data(), UINT(n));
}

HRESULT TVXWICBitmapWrapper::CopyPixels(const WICRect* prc, UINT cbStride, UINT cbBufferSize, BYTE* pbBuffer) {
  GUID format;
  const TVXPixelFormat pf = m_bitmap->PixelFormat();
  if (!VXWICPixelFormatOf(pf, m_alpha != nullptr, format)) return E_NOTIMPL;
  const int32_t W = m_bitmap->Width(), H = m_bitmap->Height();
  WICRect rc{0, 0, W, H};
  if (prc) rc = *prc;
  if (rc.X < 0 || rc.Y < 0 || rc.Width < 0 || rc.Height < 0 || int64_t(rc.X) + rc.Width > W ||
      int64_t(rc.Y) + rc.Height > H || !pbBuffer)
    return E_INVALIDARG;
  const UINT bpp = BitsOf(format);
  const uint64_t rowBytes = (uint64_t(rc.Width) * bpp + 7) / 8;
  if (rc.Height > 0 && (cbStride < rowBytes || uint64_t(cbStride) * (rc.Height - 1) + rowBytes > cbBufferSize))
    return E_INVALIDARG;
  const bool alpha = m_alpha != nullptr && pf == vx24RGB;
  if (alpha && (m_alpha->Width() < W || m_alpha->Height() < H || m_alpha->PixelFormat() != vx8g)) return E_FAIL;
  for (int32_t i = 0; i < rc.Height; ++i) {
    const uint8_t* s = static_cast<const uint8_t*>(m_bitmap->Scanline(rc.Y + i));
    uint8_t* d = pbBuffer + size_t(i) * cbStride;
    if (pf == vx1g) {
      // Bit-exact from the rectangle's left edge.
      std::memset(d, 0, size_t(rowBytes));
      for (int32_t x = 0; x < rc.Width; ++x) {
        const int32_t sx = rc.X + x;
        if (s[sx >> 3] & (0x80 >> (sx & 7))) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      }
    } else if (alpha) {
      const uint8_t* a = static_cast<const uint8_t*>(m_alpha->Scanline(rc.Y + i));
      for (int32_t x = 0; x < rc.Width; ++x) {
        const uint8_t* p = s + 3 * size_t(rc.X + x);
        d[4 * size_t(x)] = p[0];
        d[4 * size_t(x) + 1] = p[1];
        d[4 * size_t(x) + 2] = p[2];
        d[4 * size_t(x) + 3] = a[rc.X + x];
      }
    } else {
      std::memcpy(d, s + size_t(bpp) * size_t(rc.X) / 8, size_t(rowBytes));
      if (pf == vxCMYK) InvertBytes(d, size_t(rowBytes));
    }
  }
  return S_OK;
}

// ---------------------------------------------------------------------------
// Converter and scaler

TVXWICBaseFunctionality::TVXWICBaseFunctionality() {
  m_OLEInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  m_WICImagingFactory = CreateFactory();
}

TVXWICBaseFunctionality::~TVXWICBaseFunctionality() {
  ReleaseAndNull(m_WICImagingFactory);
  if (m_OLEInitialized) CoUninitialize();
}

bool TVXWICFormatConverter::Convert(TVXBitmap* Source, TVXBitmap* Dest, TVXPixelFormat DestPixelFormat,
                                    bool CheckParametersOnly, const TVXProgressEvent& OnProgressFunction,
                                    void* OnProgressSender) {
  GUID target;
  if (!VXWICPixelFormatOf(DestPixelFormat, false, target)) throw EVXException("Unsupported pixel format");
  if (!m_WICImagingFactory || !Source || Source->IsEmpty()) return false;
  TVXComPtr<IWICFormatConverter> converter;
  if (FAILED(m_WICImagingFactory->CreateFormatConverter(&converter))) return false;
  TVXWICBitmapWrapper* wrapper = new TVXWICBitmapWrapper(Source, Source->AlphaChannelOpt());
  const HRESULT hr = converter->Initialize(wrapper, target, WICBitmapDitherType(m_ditherType), nullptr, 0.0,
                                           WICBitmapPaletteType(m_paletteType));
  wrapper->Release();
  if (FAILED(hr)) return false;
  if (CheckParametersOnly) return true;
  if (!Dest) return false;
  return CopySourceToBitmap(m_WICImagingFactory, converter.Get(), Dest, nullptr, OnProgressFunction,
                            OnProgressSender);
}

bool TVXWICBitmapScaler::Resample(TVXBaseBitmap* Source, TVXBaseBitmap* SourceAlpha, TVXBitmap* Dest,
                                  TVXBitmap* DestAlpha, int32_t Width, int32_t Height, int32_t Mode,
                                  const TVXProgressEvent& OnProgressFunction, void* OnProgressSender) {
  if (!m_WICImagingFactory || !Source || !Dest || Width <= 0 || Height <= 0) return false;
  TVXComPtr<IWICBitmapScaler> scaler;
  if (FAILED(m_WICImagingFactory->CreateBitmapScaler(&scaler))) return false;
  TVXWICBitmapWrapper* wrapper = new TVXWICBitmapWrapper(Source, SourceAlpha);
  const HRESULT hr = scaler->Initialize(wrapper, UINT(Width), UINT(Height), WICBitmapInterpolationMode(Mode));
  wrapper->Release();
  if (FAILED(hr)) return false;
  return CopySourceToBitmap(m_WICImagingFactory, scaler.Get(), Dest, DestAlpha, OnProgressFunction,
                            OnProgressSender);
}

bool VXWICResampleBitmap(TVXBaseBitmap* Source, TVXBitmap* Dest, TVXBaseBitmap* SourceAlpha, TResampleFilter filter,
                         const TVXProgressEvent& OnProgress, void* Sender) {
  int32_t mode = 0;
  switch (filter) {
    case rfWICLinear: mode = 1; break;
    case rfWICCubic: mode = 2; break;
    case rfWICFant: mode = 3; break;
    default: mode = 0; break;
  }
  TVXWICBitmapScaler scaler;
  return scaler.Resample(Source, SourceAlpha, Dest, nullptr, Dest->Width(), Dest->Height(), mode, OnProgress,
                         Sender);
}

// ---------------------------------------------------------------------------
// HD Photo

void VXReadHDPhotoStream(TStream* Stream, TVXBitmap* destBitmap, TIOParamsVals& params, bool ParamsOnly,
                         TProgressRec& progress) {
  bool localAbort = false;
  bool& aborting = progress.Aborting ? *progress.Aborting : localAbort;
  if (progress.fOnProgress) progress.fOnProgress(progress.Sender, 0);
  TVXWICReader reader;
  if (!reader.Open(Stream, kHDPhotoFileType)) {
    aborting = true;
    return;
  }
  reader.GetFrame(params.ImageIndex(), ParamsOnly ? nullptr : destBitmap, &params, &aborting);
  reader.Close();
  if (progress.fOnProgress) progress.fOnProgress(progress.Sender, 0);
}

void VXWriteHDPhotoStream(TStream* stream, TVXBitmap* srcBitmap, TIOParamsVals& params, TProgressRec& progress) {
  bool localAbort = false;
  bool& aborting = progress.Aborting ? *progress.Aborting : localAbort;
  if (!VXIsWICAvailable()) {
    aborting = true;
    return;
  }
  if (progress.fOnProgress) progress.fOnProgress(progress.Sender, 0);
  // The file is made in memory: the EXIF data goes into it there (the
  // target stream need not be readable), then it is written whole.
  TMemoryStream file;
  {
    TVXWICWriter writer;
    if (!writer.Open(&file, kHDPhotoFileType) || !writer.PutFrame(srcBitmap, &params) || !writer.Close()) {
      aborting = true;
      return;
    }
  }
  TMemoryStream withExif;
  TStream* result = &file;
  if (params.EXIF_HasEXIFData()) {
    file.SetPosition(0);
    if (!VXInjectEXIFIntoTIFF(&file, &withExif, "", "", 0, params)) {
      aborting = true;
      return;
    }
    result = &withExif;
  }
  const int64_t size = result->Size();
  result->SetPosition(0);
  if (stream->CopyFrom(result, size) != size) aborting = true;
  if (progress.fOnProgress) progress.fOnProgress(progress.Sender, 0);
}

int32_t VXGetHDPhotoStreamFrameCount(TStream* Stream) {
  if (!VXIsWICAvailable()) return 0;
  TVXWICReader reader;
  if (!reader.Open(Stream, kHDPhotoFileType)) return 0;
  return reader.FrameCount();
}

int32_t VXGetHDPhotoFileFrameCount(const std::string& FileName) {
  if (!VXIsWICAvailable()) return 0;
  TVXWICReader reader;
  if (!reader.Open(FileName, kHDPhotoFileType)) return 0;
  return reader.FrameCount();
}
