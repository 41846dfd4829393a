// TIFF reading frame: the header, the choice of the directory, the tags that
// set up decoding, the fields of the I/O parameters, the alpha and pixel
// format decisions and the dispatch to the strip, tile and JPEG decoders.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "core/bitmap.h"
#include "core/icc.h"
#include "core/limits.h"
#include "core/mask.h"
#include "core/orientation.h"
#include "core/pixels.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/exif.h"
#include "formats/tiff.h"
#include "io/annotations.h"
#include "io/iptc.h"
#include "io/params.h"

namespace {

constexpr uint16_t kTagSubIFDs = 330;
constexpr uint16_t kTagExifIFD = 34665, kTagGpsIFD = 34853, kTagInteropIFD = 40965;
// Planar tables hold at most this many samples.
constexpr int32_t kMaxPlanes = 10;
// EXIF thumbnails larger than this either way are refused.
constexpr int32_t kMaxThumbnail = 400;

int32_t ToInt(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

TIOTIFFCompression CompressionField(int32_t c, int32_t T4Options) {
  switch (c) {
    case 1: return ioTIFF_UNCOMPRESSED;
    case 2: return ioTIFF_CCITT1D;
    case 3: return (T4Options & 1) ? ioTIFF_G3FAX2D : ioTIFF_G3FAX1D;
    case 4: return ioTIFF_G4FAX;
    case 5: return ioTIFF_LZW;
    case 6: return ioTIFF_OLDJPEG;
    case 7: return ioTIFF_JPEG;
    case 8: return ioTIFF_DEFLATE;
    case 32773: return ioTIFF_PACKBITS;
    case 32946: return ioTIFF_ZIP;
    default: return ioTIFF_UNKNOWN;
  }
}

// Decoded bytes one byte of data can give at most: PackBits 128 from 2,
// LZW up to 4096 from a 12-bit code, Deflate 1032, a fax row of a few bits
// for thousands of pixels.
int64_t MaxExpansion(int32_t c) {
  switch (c) {
    case 1: return 1;
    case 32773: return 64;
    case 5: return 4096;
    case 8:
    case 32946: return 1032;
    default: return int64_t(1) << 16;
  }
}

bool KnownCompression(int32_t c) {
  return (c >= 1 && c <= 8) || c == 32773 || c == 32946;
}

// Turns the mask the same way as the bitmap.
void OrientMask(TVXMask* Mask, int32_t Orientation) {
  const int32_t w = Mask->Width(), h = Mask->Height();
  if (w <= 0 || h <= 0) return;
  TVXBitmap m;
  if (!m.Allocate(w, h, vx8g)) return;
  for (int32_t y = 0; y < h; ++y) std::memcpy(m.ScanLine(y), Mask->GetScanLine(y), size_t(w));
  VXApplyEXIFOrientation(&m, Orientation);
  const bool full = Mask->Full();
  Mask->AllocateBits(m.Width(), m.Height(), 8);
  for (int32_t y = 0; y < m.Height(); ++y) std::memcpy(Mask->GetScanLine(y), m.ScanLine(y), size_t(m.Width()));
  Mask->SetFull(full);
}

}  // namespace

// ---------------------------------------------------------------------------
// Tag readers

bool VXReadTIFFBitsPerSample(const TVXTIFFIFDReader& Reader, int32_t& BitsPerSample) {
  const int32_t i = Reader.FindTAG(258);
  if (i < 0) {
    BitsPerSample = 1;
    return true;
  }
  const int64_t n = Reader.GetDataNum(i);
  if (n <= 0) {
    BitsPerSample = -1;
    return true;
  }
  std::vector<int64_t> values;
  Reader.ReadArrayIntegers(values, 258);
  if (values.empty()) {
    BitsPerSample = -1;
    return true;
  }
  BitsPerSample = ToInt(values.back());
  for (int64_t v : values)
    if (v != values.back()) return false;
  return true;
}

void VXReadTIFFColorMap(const TVXTIFFIFDReader& Reader, TTIFFReaderContext& c) {
  c.ColorMap.clear();
  if (Reader.FindTAG(320) < 0 || c.BitsPerSample < 1 || c.BitsPerSample > 16) return;
  std::vector<int64_t> v;
  Reader.ReadArrayIntegers(v, 320);
  const int64_t n = std::min<int64_t>(int64_t(1) << c.BitsPerSample, int64_t(v.size()) / 3);
  if (n <= 0) return;
  int64_t largest = 0;
  for (int64_t i = 0; i < 3 * n; ++i) largest = std::max(largest, v[size_t(i)]);
  const int32_t shift = largest < 256 ? 0 : 8;
  // Indexes beyond the map are black; the table always covers a byte index.
  c.ColorMap.assign(size_t(std::max<int64_t>(n, 256)), TRGB{0, 0, 0});
  for (int64_t i = 0; i < n; ++i) {
    TRGB& e = c.ColorMap[size_t(i)];
    e.r = uint8_t(v[size_t(i)] >> shift);
    e.g = uint8_t(v[size_t(n + i)] >> shift);
    e.b = uint8_t(v[size_t(2 * n + i)] >> shift);
  }
  c.ColorMap.resize(size_t(std::max<int64_t>(n, 256)));
  c.ColorMapEntries = int32_t(n);
}

void VXReadTIFFExtraSamples(const TVXTIFFIFDReader& Reader, TTIFFReaderContext& c) {
  std::vector<int64_t> v;
  Reader.ReadArrayIntegers(v, 338);
  c.ExtraSamplesCount = int32_t(std::min<size_t>(v.size(), 10));
  for (int32_t i = 0; i < c.ExtraSamplesCount; ++i) c.ExtraSamplesVal[i] = ToInt(v[size_t(i)]);
  c.ExtraSamples = c.ExtraSamplesCount > 0 ? c.ExtraSamplesVal[0] : 0;
}

void VXReadTIFFTransferFunction(const TVXTIFFIFDReader& Reader, TTIFFReaderContext& c) {
  c.TransferFunction.clear();
  if (Reader.FindTAG(301) < 0 || c.BitsPerSample < 1 || c.BitsPerSample > 16) return;
  std::vector<int64_t> v;
  Reader.ReadArrayIntegers(v, 301);
  const int64_t n = std::min<int64_t>(int64_t(1) << c.BitsPerSample, int64_t(v.size()) / 3);
  c.TransferFunction.assign(size_t(std::max<int64_t>(n, 0)), TTIFFColor{});
  for (int64_t i = 0; i < n; ++i) {
    c.TransferFunction[size_t(i)].R = uint16_t(v[size_t(3 * i)]);
    c.TransferFunction[size_t(i)].G = uint16_t(v[size_t(3 * i + 1)]);
    c.TransferFunction[size_t(i)].B = uint16_t(v[size_t(3 * i + 2)]);
  }
}

void VXReadTIFFIPTC(const TVXTIFFIFDReader& Reader, TIOParamsVals& Params) {
  Params.IPTC_Info().Clear();
  if (Reader.FindTAG(33723) < 0) return;
  const TVXArrayOfByte data = Reader.ReadRawDataAsArrayOfByte(33723);
  if (!data.empty() && VXMetadataSizeAllowed(int64_t(data.size())))
    Params.IPTC_Info().LoadFromStandardBuffer(data.data(), int64_t(data.size()));
}

void VXReadTIFFXMP(const TVXTIFFIFDReader& Reader, TIOParamsVals& Params) {
  Params.SetXMP_Info("");
  const int32_t i = Reader.FindTAG(700);
  if (i < 0) return;
  const uint16_t type = Reader.GetDataType(i);
  if (type != 1 && type != 7) return;
  const TVXArrayOfByte data = Reader.ReadRawDataAsArrayOfByte(700);
  if (VXMetadataSizeAllowed(int64_t(data.size())))
    Params.SetXMP_Info(std::string(reinterpret_cast<const char*>(data.data()), data.size()));
}

void VXReadTIFFICC(const TVXTIFFIFDReader& Reader, TIOParamsVals& Params) {
  if (Reader.FindTAG(34675) < 0) return;
  const TVXArrayOfByte data = Reader.ReadRawDataAsArrayOfByte(34675);
  if (!data.empty() && VXMetadataSizeAllowed(int64_t(data.size())))
    Params.InputICCProfile().LoadFromBuffer(data.data(), int32_t(data.size()));
}

void VXReadTIFFImagingAnnot(const TVXTIFFIFDReader& Reader, TIOParamsVals& Params) {
  if (Reader.FindTAG(32932) < 0) return;
  const TVXArrayOfByte data = Reader.ReadRawDataAsArrayOfByte(32932);
  if (!data.empty() && VXMetadataSizeAllowed(int64_t(data.size())))
    Params.ImagingAnnot().LoadFromStandardBuffer(data.data(), int64_t(data.size()));
}

void VXReadTIFFObjectsTag(const TVXTIFFIFDReader& Reader, TIOParamsVals& Params) {
  const int32_t tag = VXGetGlobalSettings()->ObjectsTIFFTag();
  if (tag < 0 || tag > 65535 || Reader.FindTAG(uint16_t(tag)) < 0) return;
  const TVXArrayOfByte data = Reader.ReadRawDataAsArrayOfByte(uint16_t(tag));
  if (!data.empty() && VXMetadataSizeAllowed(int64_t(data.size())))
    Params.VexlaneAnnot().LoadFromBuffer(data.data(), int64_t(data.size()));
}

// ---------------------------------------------------------------------------

void VXReadTIFFStream(TVXBitmap* Bitmap, TStream* Stream, int32_t& numi, TIOParamsVals& IOParams,
                      TProgressRec& Progress, bool Preview, std::unique_ptr<TVXMask>& AlphaChannel,
                      bool TranslateBase, bool IgnoreAlpha, const TTIFFHeader* ProvidedHeader, bool IsExifThumb,
                      bool IsEXIFData) {
  TTIFFReaderContext context;
  try {
    context.ReadStream(Bitmap, Stream, numi, IOParams, Progress, Preview, AlphaChannel, TranslateBase, IgnoreAlpha,
                       ProvidedHeader, IsExifThumb, IsEXIFData);
  } catch (const std::bad_alloc&) {
    // A page the memory cannot hold is refused like a damaged one.
    *Progress.Aborting = true;
  }
}

int32_t VXGetTIFFStreamPageCount(TStream* Stream) {
  if (!Stream) return 0;
  const int64_t pos = Stream->Position();
  TIOParamsVals params;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  std::unique_ptr<TVXMask> mask;
  int32_t numi = 0;
  try {
    VXReadTIFFStream(nullptr, Stream, numi, params, progress, true, mask, true, true, nullptr);
  } catch (const std::exception&) {
    numi = 0;
  }
  Stream->SetPosition(pos);
  return numi;
}

void TTIFFReaderContext::ReadStream(TVXBitmap* Bitmap, TStream* Stream, int32_t& numi, TIOParamsVals& IOParams,
                                    TProgressRec& Progress, bool Preview, std::unique_ptr<TVXMask>& Alpha,
                                    bool TranslateBase, bool IgnoreAlphaFlag, const TTIFFHeader* ProvidedHeader,
                                    bool IsExifThumb, bool IsEXIFData) {
  bool& aborting = *Progress.Aborting;
  TIOParamsVals& P = IOParams;
  numi = 0;
  RefParams = &P;
  TVXTIFFIFDReader& r = MainIFD;
  r.Stream = Stream;
  r.StreamBase = TranslateBase ? Stream->Position() : 0;

  // The colour profile: applied by the row converter, or handed to the bitmap.
  struct TProfileStep {
    TIOParamsVals& P;
    TVXBitmap* Bitmap;
    bool Preview;
    ~TProfileStep() {
      if (!P.HasInputICCProfile()) return;
      TVXICC& profile = P.InputICCProfile();
      if (profile.IsTransforming())
        profile.FreeTransform();
      else if (Bitmap && !Preview && Bitmap->ColorProfile() && profile.IsValid())
        Bitmap->ColorProfile()->Assign(&profile);
    }
  } profileStep{P, Bitmap, Preview};

  int64_t first = 0;
  bool le = true, big = false;
  int32_t posSize = 4;
  if (!VXReadTIFFHeader(Stream, ProvidedHeader, le, first, posSize, big)) {
    aborting = true;
    return;
  }
  r.LittleEndian = le;
  r.IsBigTIFF = big;
  r.DataPosSize = posSize;
  LittleEndian = le;
  if (!r.ReadIFD(P.TIFF_ImageIndex(), first, numi)) {
    aborting = true;
    return;
  }
  if (P.TIFF_SubIndex() >= 0) {
    const int64_t sub = r.ReadInteger(kTagSubIFDs, P.TIFF_SubIndex(), 0);
    if (sub > 0) {
      int32_t subCount = 0;
      if (!r.ReadIFD(0, sub, subCount)) {
        aborting = true;
        return;
      }
    }
  }

  // The EXIF, GPS and interoperability directories, at offsets relative to
  // the main base.
  auto loadSub = [&](TVXTIFFIFDReader& Sub, const TVXTIFFIFDReader& From, uint16_t Tag) {
    const int64_t off = From.ReadInteger(Tag, 0, 0);
    if (off <= 0) return false;
    Sub.Stream = Stream;
    Sub.LittleEndian = From.LittleEndian;
    Sub.StreamBase = r.StreamBase;
    Sub.IsBigTIFF = r.IsBigTIFF;
    Sub.DataPosSize = r.DataPosSize;
    int32_t count = 0;
    Sub.ReadIFD(0, off, count);
    return true;
  };
  if (loadSub(ExifIFD, r, kTagExifIFD))
    P.SetEXIF_HasEXIFData(true);
  else if (IsEXIFData)
    ExifIFD.Assign(r);
  loadSub(GpsIFD, r, kTagGpsIFD);
  loadSub(InteropIFD, ExifIFD, kTagInteropIFD);

  // Tags of the page.
  TileWidth = ToInt(r.ReadInteger(322, 0, -1));
  TileLength = ToInt(r.ReadInteger(323, 0, -1));
  ImageWidth = ToInt(r.ReadInteger(256, 0, 0));
  ImageHeight = ToInt(r.ReadInteger(257, 0, 0));
  if (P.TIFF_GetTile() != -1 && r.FindTAG(322) >= 0 && r.FindTAG(323) >= 0) {
    ImageWidth = TileWidth;
    ImageHeight = TileLength;
  }
  SamplesPerPixel = ToInt(r.ReadInteger(277, 0, 1));
  if (!VXReadTIFFBitsPerSample(r, BitsPerSample)) {
    aborting = true;
    return;
  }
  RowsPerStrip = ToInt(r.ReadInteger(278, 0, ImageHeight));
  RowsPerStrip = std::min(RowsPerStrip, ImageHeight);
  if (RowsPerStrip <= 0) RowsPerStrip = ImageHeight;
  SampleFormat = uint16_t(r.ReadInteger(339, 0, 1));
  PhotometricInterpretation = uint16_t(r.ReadInteger(262, 0, 2));
  PlanarConfiguration = uint16_t(r.ReadInteger(284, 0, 1));
  Orientation = uint16_t(r.ReadInteger(274, 0, 1));
  Compression = uint16_t(r.ReadInteger(259, 0, 1));
  Predictor = ToInt(r.ReadInteger(317, 0, 1));
  T4Options = ToInt(r.ReadInteger(292, 0, 0));
  T6Options = ToInt(r.ReadInteger(293, 0, 0));
  FillOrder = ToInt(r.ReadInteger(266, 0, 1));
  if (FillOrder != 1 && FillOrder != 2) FillOrder = 1;
  Software = r.ReadString(305, true);
  JPEGProc = ToInt(r.ReadInteger(512, 0, 0));
  JPEGInterchangeFormat = ToInt(r.ReadInteger(513, 0, 0));
  JPEGInterchangeFormatLength = ToInt(r.ReadInteger(514, 0, 0));
  JPEGRestartInterval = ToInt(r.ReadInteger(515, 0, 0));
  for (int32_t i = 0; i < std::min(SamplesPerPixel, 7); ++i) {
    JPEGLosslessPredictors[i] = ToInt(r.ReadInteger(517, i, 0));
    JPEGPointTransforms[i] = ToInt(r.ReadInteger(518, i, 0));
    JPEGQTables[i] = ToInt(r.ReadInteger(519, i, 0));
    JPEGDCTables[i] = ToInt(r.ReadInteger(520, i, 0));
    JPEGACTables[i] = ToInt(r.ReadInteger(521, i, 0));
  }
  VXReadTIFFExtraSamples(r, *this);
  YCbCrSubSampling[0] = ToInt(r.ReadInteger(530, 0, 0));
  YCbCrSubSampling[1] = ToInt(r.ReadInteger(530, 1, 0));
  for (int32_t& s : YCbCrSubSampling)
    if (s == 0) s = 2;
  r.ReadArrayIntegers(StripOffsets, 273);
  r.ReadArrayIntegers(StripByteCounts, 279);
  r.ReadArrayIntegers(TileOffsets, 324);
  r.ReadArrayIntegers(TileByteCounts, 325);
  {
    const TVXArrayOfByte tables = r.ReadRawDataAsArrayOfByte(347);
    if (VXMetadataSizeAllowed(int64_t(tables.size()))) JPEGTables.assign(tables.begin(), tables.end());
  }
  VXReadTIFFColorMap(r, *this);
  VXReadTIFFTransferFunction(r, *this);

  // A bilevel page labelled RGB is WhiteIsZero for the uncompressed and fax
  // compressions.
  if (SamplesPerPixel == 1 && BitsPerSample == 1 && Compression >= 1 && Compression <= 4 &&
      PhotometricInterpretation == 2)
    PhotometricInterpretation = 0;

  // Metadata.
  VXReadTIFFIPTC(r, P);
  VXReadTIFFXMP(r, P);
  {
    const TVXArrayOfByte res = r.ReadRawDataAsArrayOfByte(34377);
    if (VXMetadataSizeAllowed(int64_t(res.size()))) P.TIFF_PhotoshopImageResources().assign(res.begin(), res.end());
    const TVXArrayOfByte src = r.ReadRawDataAsArrayOfByte(37724);
    if (VXMetadataSizeAllowed(int64_t(src.size())))
      P.TIFF_PhotoshopImageSourceData().assign(src.begin(), src.end());
  }
  VXReadTIFFImagingAnnot(r, P);
  VXReadTIFFObjectsTag(r, P);
  VXReadTIFFICC(r, P);

  // Image fields.
  P.SetBitsPerSample(BitsPerSample);
  P.SetSamplesPerPixel(SamplesPerPixel);
  P.SetWidth(ImageWidth);
  P.SetOriginalWidth(ImageWidth);
  P.SetHeight(ImageHeight);
  P.SetOriginalHeight(ImageHeight);
  P.SetTIFF_BigTIFF(big);
  P.SetTIFF_ByteOrder(le ? ioLittleEndian : ioBigEndian);
  P.SetImageCount(numi);
  P.SetTIFF_Orientation(Orientation);
  P.SetTIFF_Compression(CompressionField(Compression, T4Options));
  if (PhotometricInterpretation <= 6)
    P.SetTIFF_PhotometInterpret(TIOTIFFPhotometInterpret(PhotometricInterpretation));
  else if (PhotometricInterpretation == 8)
    P.SetTIFF_PhotometInterpret(ioTIFF_CIELAB);
  P.SetTIFF_PlanarConf(PlanarConfiguration);
  P.SetTIFF_DocumentName(r.ReadString(269, true));
  P.SetTIFF_ImageDescription(r.ReadString(270, true));
  P.SetTIFF_PageName(r.ReadString(285, true));
  P.SetTIFF_PageNumber(ToInt(r.ReadInteger(297, 0, 0)));
  P.SetTIFF_PageCount(ToInt(r.ReadInteger(297, 1, 0)));
  P.SetTIFF_FillOrder(FillOrder);
  P.SetTIFF_NewSubfileType(ToInt(r.ReadInteger(254, 0, 0)));
  P.SetEXIF_ResolutionUnit(ToInt(r.ReadInteger(296, 0, 2)));
  VXReadEXIFTags(r, ExifIFD, GpsIFD, InteropIFD, P);
  P.FreeColorMap();
  if (!ColorMap.empty()) {
    P.fColorMap.assign(ColorMap.begin(), ColorMap.begin() + ColorMapEntries);
    P.fColorMapCount = ColorMapEntries;
  }

  // Resolution in dots per inch.
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const double factor = P.EXIF_ResolutionUnit() == 3 ? 2.54 : 1.0;
  const double xres = r.ReadRational(282, 0, settings->DefaultDPIX()) * factor;
  const double yres = r.ReadRational(283, 0, settings->DefaultDPIY()) * factor;
  auto dpi = [](double v, int32_t def) {
    const double rounded = std::nearbyint(v);
    if (!std::isfinite(rounded) || rounded == 0) return def;
    return ToInt(int64_t(std::clamp(rounded, -2147483648.0, 2147483647.0)));
  };
  P.fDpiX = dpi(xres, settings->DefaultDPIX());
  P.fDpiY = dpi(yres, settings->DefaultDPIY());
  P.fEXIF_XResolution = xres;
  P.fEXIF_YResolution = yres;
  auto pos = [&](uint16_t tag) {
    const double v = r.ReadRational(tag, 0, 0) * factor;
    return std::isfinite(v) ? ToInt(int64_t(std::clamp(v, -2147483648.0, 2147483647.0))) : 0;
  };
  P.SetTIFF_XPos(pos(286));
  P.SetTIFF_YPos(pos(287));

  if ((P.Width() == 0 || P.Height() == 0) && !IsExifThumb) {
    aborting = true;
    return;
  }
  LZWDecompFunc = P.TIFF_LZWDecompFunc() ? P.TIFF_LZWDecompFunc() : settings->DefTIFF_LZWDECOMPFUNC();
  if (Compression == 5 && !LZWDecompFunc) {
    aborting = true;
    return;
  }
  IgnoreAlpha = IgnoreAlphaFlag;
  if (Preview || !Bitmap) return;

  // Alpha.
  if (!IgnoreAlpha) {
    const bool wanted = (SamplesPerPixel == 4 && ExtraSamples == 2) ||
                        (SamplesPerPixel >= 4 && ExtraSamplesCount >= 1) ||
                        (SamplesPerPixel == 2 && BitsPerSample == 8) ||
                        (SamplesPerPixel >= 2 && ExtraSamplesCount >= 1 && ExtraSamples == 1) ||
                        (SamplesPerPixel == 4 && PhotometricInterpretation == 2);
    if (wanted && !Alpha) Alpha = std::make_unique<TVXMask>();
  }
  if (Alpha && !IgnoreAlpha && ImageWidth > 0 && ImageHeight > 0 &&
      VXImageSizeAllowed(ImageWidth, ImageHeight, 8)) {
    Alpha->AllocateBits(ImageWidth, ImageHeight, 8);
    Alpha->Fill(255);
    Alpha->SetFull(true);
    AlphaChannel = Alpha.get();
  } else {
    IgnoreAlpha = true;
  }

  if (IsExifThumb && (ImageWidth > kMaxThumbnail || ImageHeight > kMaxThumbnail)) {
    aborting = true;
    return;
  }
  struct TAccess {
    TVXBitmap* B;
    TVXDataAccess Old;
    ~TAccess() { B->SetAccess(Old); }
  } access{Bitmap, Bitmap->Access()};
  Bitmap->SetAccess(vxdWrite);

  if ((Compression == 6 || (JPEGInterchangeFormat != 0 && Compression != 5 && Compression != 7)) && JPEGProc < 2) {
    VXReadTIFFOldJpeg(r, *this, Bitmap, Progress);
    // A thumbnail without size tags shows its size only now.
    if (IsExifThumb && (Bitmap->Width() > kMaxThumbnail || Bitmap->Height() > kMaxThumbnail)) {
      Bitmap->FreeImage(true);
      aborting = true;
      return;
    }
  } else {
    if (ImageWidth <= 0 || ImageHeight <= 0) {
      aborting = true;
      return;
    }
    if (BitsPerSample == 1 && SamplesPerPixel == 1 && PhotometricInterpretation == 2) {
      PhotometricInterpretation = 1;
      P.SetTIFF_PhotometInterpret(ioTIFF_BLACKISZERO);
    }
    // With one sample the planar layout is the chunky one.
    if (SamplesPerPixel == 1) PlanarConfiguration = 1;
    // What no decoder or row rule handles is refused rather than loaded blank.
    const bool planarOK = PlanarConfiguration == 1 ||
                          (PlanarConfiguration == 2 && SamplesPerPixel <= kMaxPlanes &&
                           (BitsPerSample == 8 || BitsPerSample == 16));
    // Floating-point samples (SampleFormat 3) of any width have no row rule:
    // read as integers they would show a wrong picture.
    if (!KnownCompression(Compression) || SamplesPerPixel < 1 || BitsPerSample < 1 || BitsPerSample > 16 ||
        SampleFormat == 3 || !planarOK ||
        (Compression != 7 && !HasRowRule())) {
      aborting = true;
      return;
    }

    // The decoded samples must be plausible for the data the stream holds at
    // the compression's best ratio, so that a small file cannot claim
    // gigabytes of rows (JPEG data decode through the JPEG reader).
    if (Compression != 7) {
      const int64_t rowBytes = RowBytes(ImageWidth, false);
      // Tiles decode whole rows of their own width: tiles far wider than the
      // image do that much more work for the same rows.
      const int64_t tiled = TileWidth > 0 && TileLength > 0
                                ? (int64_t(ImageWidth) + TileWidth - 1) / TileWidth * RowBytes(TileWidth, false)
                                : 0;
      const int64_t pageBytes = int64_t(ImageHeight) * std::max(rowBytes, tiled);
      if (!VXStorageSizeAllowed(2 * rowBytes) ||
          !VXDeclaredDataPlausible(Stream->Size(), pageBytes, MaxExpansion(Compression))) {
        aborting = true;
        return;
      }
    }

    const int32_t P_ = PhotometricInterpretation, S = SamplesPerPixel, B = BitsPerSample;
    TVXPixelFormat pf = vx24RGB;
    if (B == 1 && S == 1 && P_ != 3)
      pf = vx1g;
    else if (!P.IsNativePixelFormat)
      pf = vx24RGB;
    else if (B == 8 && S == 1 && P_ == 3)
      pf = vx8p;
    else if (B == 8 && S == 1 && P_ <= 1)
      pf = vx8g;
    else if ((B == 16 || B == 12) && S == 1 && P_ <= 1)
      pf = vx16g;
    else if (B == 8 && S > 3 && P_ == 5)
      pf = vxCMYK;
    else if (B == 16 && S == 4 && P_ == 5)
      pf = vxCMYK;
    else if (B == 16 && S == 3 && P_ == 2)
      pf = vx48RGB;
    if (!VXImageSizeAllowed(ImageWidth, ImageHeight, VXPixelFormatBitCount[pf]) ||
        !Bitmap->Allocate(ImageWidth, ImageHeight, pf)) {
      aborting = true;
      return;
    }
    if (IsExifThumb) Bitmap->Fill(0);
    if (pf == vx8p) {
      const int32_t n = std::min(P.ColorMapCount(), 256);
      Bitmap->SetPaletteUsed(std::max(n, 1));
      for (int32_t i = 0; i < n; ++i) Bitmap->SetPalette(i, P.fColorMap[size_t(i)]);
    }
    if (ColorMap.empty() && P_ == 3) ColorMap.assign(256, TRGB{0, 0, 0});

    if (TileWidth <= 0 && TileLength <= 0) {
      if (StripOffsets.empty()) {
        aborting = true;
        return;
      }
      VXReadTIFFStrips(r, *this, Bitmap, Progress);
    } else if (!TileOffsets.empty()) {
      VXReadTIFFTiles(r, *this, Bitmap, Progress);
    } else if (!StripOffsets.empty()) {
      TileOffsets = StripOffsets;
      TileByteCounts = StripByteCounts;
      VXReadTIFFTiles(r, *this, Bitmap, Progress);
    } else {
      aborting = true;
      return;
    }
  }
  if (!aborting && P.TIFF_EnableAdjustOrientation() && Orientation >= 2 && Orientation <= 8) {
    VXApplyEXIFOrientation(Bitmap, Orientation);
    if (AlphaChannel) OrientMask(AlphaChannel, Orientation);
    Orientation = 1;
    P.SetTIFF_Orientation(1);
  }
}
