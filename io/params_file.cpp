// The binary parameter file: TIOParamsVals written to a stream as a version
// number, the dictionary, the EXIF block (a tags-only TIFF page) and every
// stored field in a fixed order, and read back from any version 0 to 52.
//
// The reader takes its input as untrusted: every count and length is checked
// against the bytes that remain before anything is allocated for it, and a
// stream that cannot hold what it declares raises "Damaged parameter stream".
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/dictionary.h"
#include "core/filewriter.h"
#include "core/icc.h"
#include "core/limits.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "io/annotations.h"
#include "io/dicomtags.h"
#include "io/exif.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/metastream.h"
#include "io/params.h"
#include "platform/utf.h"

namespace {

// The layout written, and the newest one read.
constexpr int32_t kParamsFileVersion = 52;

[[noreturn]] void Damaged() { throw EVXException("Damaged parameter stream"); }

// ---------------------------------------------------------------------------
// Writing

class TParamsWriter {
 public:
  explicit TParamsWriter(TStream& Stream) : S(Stream) {}
  void I32(int32_t v) { VXMetaWriteInt32(S, v); }
  void Byte(uint8_t v) { VXMetaWriteByte(S, v); }
  void Bool(bool v) { VXMetaWriteByte(S, v ? 1 : 0); }
  void F64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(u >> (8 * i));
    VXMetaWriteBytes(S, b, 8);
  }
  void RGB(const TRGB& c) {
    const uint8_t b[3] = {c.b, c.g, c.r};
    VXMetaWriteBytes(S, b, 3);
  }
  void Bytes(const void* p, size_t n) { VXMetaWriteBytes(S, p, n); }
  void Blob(const void* p, size_t n) {
    I32(int32_t(n));
    Bytes(p, n);
  }
  // 8-bit text in Windows-1252.
  void AStr(const std::string& utf8) {
    const std::string a = VXUTF8ToAnsi(utf8);
    Blob(a.data(), a.size());
  }
  void WStr(const std::string& utf8) {
    const std::u16string w = VXUTF8ToUTF16(utf8);
    I32(int32_t(w.size()));
    std::vector<uint8_t> b(w.size() * 2);
    for (size_t i = 0; i < w.size(); ++i) {
      b[2 * i] = uint8_t(w[i]);
      b[2 * i + 1] = uint8_t(w[i] >> 8);
    }
    Bytes(b.data(), b.size());
  }
  void SList(const std::vector<std::string>& l) {
    I32(int32_t(l.size()));
    for (const std::string& s : l) AStr(s);
  }

 private:
  TStream& S;
};

// ---------------------------------------------------------------------------
// Reading

class TParamsReader {
 public:
  explicit TParamsReader(TStream& Stream) : S(Stream) {}
  TStream& Stream() { return S; }
  int64_t Remaining() { return VXMetaRemaining(S); }

  void Bytes(void* p, int64_t n) {
    if (n < 0 || n > Remaining()) Damaged();
    if (n > 0 && S.Read(p, n) != n) Damaged();
  }
  void Skip(int64_t n) {
    if (n < 0 || n > Remaining()) Damaged();
    S.Seek(n, soCurrent);
  }
  int32_t I32() {
    int32_t v = 0;
    if (!VXMetaReadInt32(S, v)) Damaged();
    return v;
  }
  uint8_t Byte() {
    uint8_t v = 0;
    if (!VXMetaReadByte(S, v)) Damaged();
    return v;
  }
  bool Bool() { return Byte() != 0; }
  double F64() {
    uint8_t b[8];
    Bytes(b, 8);
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= uint64_t(b[i]) << (8 * i);
    double v;
    std::memcpy(&v, &u, 8);
    return v;
  }
  TRGB RGB() {
    uint8_t b[3];
    Bytes(b, 3);
    return TRGB{b[0], b[1], b[2]};
  }
  // A count of items of at least Unit bytes each that the rest of the
  // stream can hold.
  int32_t Count(int64_t Unit) {
    const int32_t n = I32();
    if (n < 0 || int64_t(n) * Unit > Remaining()) Damaged();
    return n;
  }
  // The bytes of a blob; a blob beyond the library's metadata limit is
  // skipped and reads as empty.
  std::vector<uint8_t> Blob() {
    const int32_t n = Count(1);
    if (!VXMetadataSizeAllowed(n)) {
      Skip(n);
      return {};
    }
    std::vector<uint8_t> v(static_cast<size_t>(n));
    Bytes(v.data(), n);
    return v;
  }
  // 8-bit text in Windows-1252; a text beyond the text kept per image is
  // skipped and reads as empty.
  std::string AStr() {
    const int32_t n = Count(1);
    if (!TVXTextBudget().Take(n)) {
      Skip(n);
      return {};
    }
    std::string a(static_cast<size_t>(n), '\0');
    Bytes(a.data(), n);
    return VXAnsiToUTF8(a);
  }
  std::string WStr() {
    const int32_t n = Count(2);
    if (!VXMetadataSizeAllowed(int64_t(n) * 2)) {
      Skip(int64_t(n) * 2);
      return {};
    }
    std::vector<uint8_t> b(size_t(n) * 2);
    Bytes(b.data(), int64_t(b.size()));
    std::u16string w(static_cast<size_t>(n), u'\0');
    for (size_t i = 0; i < w.size(); ++i) w[i] = char16_t(b[2 * i] | b[2 * i + 1] << 8);
    return VXUTF16ToUTF8(w);
  }
  std::vector<std::string> SList() {
    const int32_t n = Count(4);  // every string holds at least its length
    std::vector<std::string> l;
    l.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i) l.push_back(AStr());
    return l;
  }

 private:
  TStream& S;
};

// Reads a profile (int32 length and the raw bytes) into Profile, created when
// absent and cleared first.
void ReadProfile(TParamsReader& R, std::unique_ptr<TVXICC>& Profile) {
  if (!Profile) Profile = std::make_unique<TVXICC>();
  Profile->Clear();
  const std::vector<uint8_t> raw = R.Blob();
  Profile->LoadFromBuffer(raw.empty() ? nullptr : raw.data(), int32_t(raw.size()));
}

void WriteProfile(TParamsWriter& W, const TVXICC& Profile) {
  W.Blob(Profile.Raw(), Profile.Raw() ? size_t(Profile.RawLength()) : 0);
}

}  // namespace

// ---------------------------------------------------------------------------

void TIOParamsVals::SaveToStream(TStream& Stream) {
  TParamsWriter W(Stream);
  W.I32(kParamsFileVersion);
  W.WStr(fDict->Dump());

  // The EXIF block: a tags-only TIFF page of this object.
  {
    const TVXTIFFParamsHooks& hooks = VXTIFFParamsHooks();
    if (!hooks.WriteTagsPage) {
      if (fEXIF_HasEXIFData) throw EVXException("EXIF blocks need the TIFF module");
      W.I32(0);
    } else {
      TMemoryStream page;
      if (!hooks.WriteTagsPage(&page, *this)) throw EVXException("The EXIF block could not be written");
      W.Blob(page.Memory(), size_t(page.Size()));
    }
  }

  W.AStr(fFileName);
  W.I32(fFileType);
  W.I32(fBitsPerSample);
  W.I32(fSamplesPerPixel);
  W.I32(fWidth);
  W.I32(fHeight);
  W.I32(fDpiX);
  W.I32(fDpiY);
  const int32_t mapCount = int32_t(std::min<int64_t>(std::max(fColorMapCount, 0), int64_t(fColorMap.size())));
  W.I32(mapCount);
  for (int32_t i = 0; i < mapCount; ++i) W.RGB(fColorMap[size_t(i)]);
  W.I32(fImageIndex);
  W.I32(fImageCount);
  W.Bool(fGetThumbnail);
  W.Bool(fEnableAdjustOrientation);
  W.Bool(fIsResource);

  // TIFF
  W.Byte(fTIFF_Compression);
  W.I32(fTIFF_ImageIndex);
  W.Byte(fTIFF_PhotometInterpret);
  W.I32(fTIFF_PlanarConf);
  W.I32(fTIFF_NewSubfileType);
  W.I32(fTIFF_XPos);
  W.I32(fTIFF_YPos);
  W.AStr(fTIFF_DocumentName);
  W.AStr(fTIFF_ImageDescription);
  W.AStr(fTIFF_PageName);
  W.I32(fTIFF_PageNumber);
  W.I32(fTIFF_PageCount);
  W.I32(fTIFF_ImageCount);
  W.I32(fTIFF_Orientation);
  W.I32(fTIFF_JPEGQuality);
  W.Byte(fTIFF_JPEGColorSpace);
  W.I32(fTIFF_FillOrder);
  W.I32(fTIFF_ZIPCompression);
  W.I32(fTIFF_SubIndex);
  W.Byte(fTIFF_ByteOrder);
  W.I32(fTIFF_GetTile);
  W.I32(fTIFF_StripCount);
  W.Blob(fTIFF_PhotoshopImageResources.data(), fTIFF_PhotoshopImageResources.size());
  W.Blob(fTIFF_PhotoshopImageSourceData.data(), fTIFF_PhotoshopImageSourceData.size());
  W.Bool(fTIFF_BigTIFF);

  // GIF
  W.AStr(fGIF_Version);
  W.I32(fGIF_ImageIndex);
  W.I32(fGIF_XPos);
  W.I32(fGIF_YPos);
  W.I32(fGIF_DelayTime);
  W.Bool(fGIF_FlagTranspColor);
  W.RGB(fGIF_TranspColor);
  W.Bool(fGIF_Interlaced);
  W.I32(fGIF_WinWidth);
  W.I32(fGIF_WinHeight);
  W.RGB(fGIF_Background);
  W.I32(fGIF_Ratio);
  W.I32(fGIF_ImageCount);
  W.SList(fGIF_Comments);
  W.Byte(fGIF_Action);
  W.Bool(fGIF_RAWLoad);

  // JPEG and JPEG 2000
  W.Byte(fJPEG_ColorSpace);
  W.I32(fJPEG_Quality);
  W.Byte(fJPEG_DCTMethod);
  W.Bool(fJPEG_OptimalHuffman);
  W.I32(fJPEG_Smooth);
  W.Bool(fJPEG_Progressive);
  W.Byte(fJPEG_Scale);
  fJPEG_MarkerList->SaveToStream(Stream);
  W.I32(fOriginalWidth);
  W.I32(fOriginalHeight);
  W.Bool(fJPEG_EnableAdjustOrientation);
  W.Bool(fJPEG_GetExifThumbnail);
  W.Byte(fJPEG_CromaSubsampling);
  W.Byte(fJ2000_ColorSpace);
  W.F64(fJ2000_Rate);
  W.Byte(fJ2000_ScalableBy);

  // PCX, BMP, ICO, CUR
  W.I32(fPCX_Version);
  W.Byte(fPCX_Compression);
  W.Byte(fBMP_Version);
  W.Byte(fBMP_Compression);
  W.Bool(fBMP_HandleTransparency);
  W.I32(fICO_ImageIndex);
  W.RGB(fICO_Background);
  for (const TIOIconSize& s : ICO_Sizes) {
    W.I32(s.cx);
    W.I32(s.cy);
  }
  for (int32_t b : ICO_BitCount) W.I32(b);
  W.I32(fCUR_ImageIndex);
  W.I32(fCUR_XHotSpot);
  W.I32(fCUR_YHotSpot);
  W.RGB(fCUR_Background);

  // PNG
  W.Bool(fPNG_Interlaced);
  W.RGB(fPNG_Background);
  W.Byte(fPNG_Filter);
  W.I32(fPNG_Compression);
  W.SList(fPNG_TextKeys);
  W.SList(fPNG_TextValues);

  // DICOM
  fDICOM_Tags->SaveToStream(Stream);
  W.F64(fDICOM_WindowCenterOffset);
  W.Byte(fDICOM_Range);
  W.Byte(DICOM_Compression());
  W.I32(fDICOM_JPEGQuality);
  W.F64(fDICOM_J2000Rate);
  W.F64(fDICOM_RescaleIntercept);
  W.F64(fDICOM_RescaleSlope);

  // PSD, HD Photo
  W.Bool(fPSD_LoadLayers);
  W.Bool(fPSD_ReplaceLayers);
  W.Bool(fPSD_HasPremultipliedAlpha);
  W.Bool(fPSD_LargeDocumentFormat);
  W.AStr(fPSD_SelectLayer);
  W.F64(fHDP_ImageQuality);
  W.Bool(fHDP_Lossless);

  // Targa
  W.I32(fTGA_XPos);
  W.I32(fTGA_YPos);
  W.Bool(fTGA_Compressed);
  W.AStr(fTGA_Descriptor);
  W.AStr(fTGA_Author);
  W.F64(fTGA_Date);
  W.AStr(fTGA_ImageName);
  W.RGB(fTGA_Background);
  W.F64(fTGA_AspectRatio);
  W.F64(fTGA_Gamma);
  W.Bool(fTGA_GrayLevel);

  fIPTC_Info->SaveToStream(Stream);
  W.SList(fPXM_Comments);
  W.I32(fAVI_FrameCount);
  W.F64(fAVI_FrameDelayTime);

  // PostScript, PDF, DCX
  W.I32(fPS_PaperWidth);
  W.I32(fPS_PaperHeight);
  W.Byte(fPS_Compression);
  W.AStr(fPS_Title);
  W.I32(fPDF_PaperWidth);
  W.I32(fPDF_PaperHeight);
  W.Byte(fPDF_Compression);
  W.AStr(fPDF_Title);
  W.AStr(fPDF_Author);
  W.AStr(fPDF_Subject);
  W.AStr(fPDF_Keywords);
  W.AStr(fPDF_Creator);
  W.AStr(fPDF_Producer);
  W.I32(fDCX_ImageIndex);

  // Annotations and profiles. The imaging annotations write nothing, but
  // their object exists from now on, as do the three profiles.
  ImagingAnnot();
  fVexlaneAnnot->SaveToStream(Stream);
  WriteProfile(W, InputICCProfile());
  WriteProfile(W, OutputICCProfile());
  WriteProfile(W, DefaultICCProfile());

  // Camera raw, media files, raw bitmaps
  W.Bool(fRAW_HalfSize);
  W.F64(fRAW_Gamma);
  W.F64(fRAW_Bright);
  W.F64(fRAW_RedScale);
  W.F64(fRAW_BlueScale);
  W.Bool(fRAW_QuickInterpolate);
  W.Bool(fRAW_UseAutoWB);
  W.Bool(fRAW_UseCameraWB);
  W.Bool(fRAW_FourColorRGB);
  W.AStr(fRAW_Camera);
  W.Bool(fRAW_GetExifThumbnail);
  W.Bool(fRAW_AutoAdjustColors);
  W.AStr(fRAW_ExtraParams);
  W.I32(fMEDIAFILE_FrameCount);
  W.F64(fMEDIAFILE_FrameDelayTime);
  W.Byte(fBMPRAW_ChannelOrder);
  W.Byte(fBMPRAW_Planes);
  W.I32(fBMPRAW_RowAlign);
  W.I32(fBMPRAW_HeaderSize);
  W.Byte(fBMPRAW_DataFormat);
}

// ---------------------------------------------------------------------------

void TIOParamsVals::LoadFromStream(TStream& Stream) {
  TParamsReader R(Stream);
  const int32_t v = R.I32();
  if (v < 0 || v > kParamsFileVersion) throw EVXException("Unsupported parameter file version");

  fDict->Clear();
  if (v >= 51) fDict->Parse(R.WStr());

  // The EXIF block, read by the TIFF reader from page 0.
  if (v >= 43) {
    const std::vector<uint8_t> block = R.Blob();
    if (!block.empty()) {
      const TVXTIFFParamsHooks& hooks = VXTIFFParamsHooks();
      if (!hooks.ReadTIFFParams) throw EVXException("EXIF blocks need the TIFF module");
      // Every field that chooses the page is read again below.
      fTIFF_ImageIndex = 0;
      fTIFF_SubIndex = -1;
      fTIFF_GetTile = -1;
      TVXMemStream ms(block.data(), int64_t(block.size()));
      hooks.ReadTIFFParams(&ms, *this);
    }
  }

  fFileName = R.AStr();
  fFileType = v < 2 ? R.Byte() : R.I32();
  fBitsPerSample = R.I32();
  fSamplesPerPixel = R.I32();
  fWidth = R.I32();
  fHeight = R.I32();
  fDpiX = R.I32();
  fDpiY = R.I32();
  FreeColorMap();
  {
    const int32_t n = R.I32();
    if (n > 0) {
      if (int64_t(n) * 3 > R.Remaining()) Damaged();
      std::vector<TRGB> map(static_cast<size_t>(n));
      for (TRGB& c : map) c = R.RGB();
      fColorMap = std::move(map);
      fColorMapCount = n;
    }
  }
  if (v >= 25) {
    fImageIndex = R.I32();
    fImageCount = R.I32();
    fGetThumbnail = R.Bool();
  }
  if (v >= 38) fEnableAdjustOrientation = R.Bool();
  if (v >= 44) fIsResource = R.Bool();

  // TIFF
  fTIFF_Compression = TIOTIFFCompression(R.Byte());
  fTIFF_ImageIndex = R.I32();
  fTIFF_PhotometInterpret = TIOTIFFPhotometInterpret(R.Byte());
  fTIFF_PlanarConf = R.I32();
  if (v >= 47) fTIFF_NewSubfileType = R.I32();
  fTIFF_XPos = R.I32();
  fTIFF_YPos = R.I32();
  fTIFF_DocumentName = R.AStr();
  fTIFF_ImageDescription = R.AStr();
  fTIFF_PageName = R.AStr();
  fTIFF_PageNumber = R.I32();
  fTIFF_PageCount = R.I32();
  if (v >= 4) fTIFF_ImageCount = R.I32();
  if (v >= 6) fTIFF_Orientation = R.I32();
  if (v >= 10) fTIFF_JPEGQuality = R.I32();
  if (v >= 16) fTIFF_JPEGColorSpace = TIOJPEGColorspace(R.Byte());
  if (v >= 26) fTIFF_FillOrder = R.I32();
  if (v >= 30) fTIFF_ZIPCompression = R.I32();
  if (v >= 31) fTIFF_SubIndex = R.I32();
  if (v >= 32) fTIFF_ByteOrder = TIOByteOrder(R.Byte());
  if (v >= 40) fTIFF_GetTile = R.I32();
  if (v >= 46) fTIFF_StripCount = R.I32();
  if (v >= 50) {
    fTIFF_PhotoshopImageResources = R.Blob();
    fTIFF_PhotoshopImageSourceData = R.Blob();
  }
  if (v >= 51) fTIFF_BigTIFF = R.Bool();

  // GIF
  fGIF_Version = R.AStr();
  fGIF_ImageIndex = R.I32();
  fGIF_XPos = R.I32();
  fGIF_YPos = R.I32();
  fGIF_DelayTime = R.I32();
  fGIF_FlagTranspColor = R.Bool();
  fGIF_TranspColor = R.RGB();
  fGIF_Interlaced = R.Bool();
  fGIF_WinWidth = R.I32();
  fGIF_WinHeight = R.I32();
  fGIF_Background = R.RGB();
  fGIF_Ratio = R.I32();
  if (v >= 4) fGIF_ImageCount = R.I32();
  if (v >= 9) fGIF_Comments = R.SList();
  if (v >= 12) fGIF_Action = TVXGIFAction(R.Byte());
  if (v >= 49) fGIF_RAWLoad = R.Bool();

  // JPEG and JPEG 2000
  fJPEG_ColorSpace = TIOJPEGColorspace(R.Byte());
  fJPEG_Quality = R.I32();
  fJPEG_DCTMethod = TIOJPEGDctMethod(R.Byte());
  fJPEG_OptimalHuffman = R.Bool();
  fJPEG_Smooth = R.I32();
  fJPEG_Progressive = R.Bool();
  if (v >= 1) fJPEG_Scale = TIOJPEGScale(R.Byte());
  if (v >= 4 && !fJPEG_MarkerList->LoadFromStream(Stream)) Damaged();
  if (v >= 7) {
    fOriginalWidth = R.I32();
    fOriginalHeight = R.I32();
  }
  if (v >= 20) {
    fJPEG_EnableAdjustOrientation = R.Bool();
    fJPEG_GetExifThumbnail = R.Bool();
  }
  if (v >= 39) fJPEG_CromaSubsampling = TIOJPEGCromaSubsampling(R.Byte());
  if (v >= 8) {
    fJ2000_ColorSpace = TIOJ2000ColorSpace(R.Byte());
    fJ2000_Rate = R.F64();
    fJ2000_ScalableBy = TIOJ2000ScalableBy(R.Byte());
  }

  // PCX, BMP, ICO, CUR
  fPCX_Version = R.I32();
  fPCX_Compression = TIOPCXCompression(R.Byte());
  fBMP_Version = TIOBMPVersion(R.Byte());
  fBMP_Compression = TIOBMPCompression(R.Byte());
  if (v >= 28) fBMP_HandleTransparency = R.Bool();
  if (v >= 1) {
    fICO_ImageIndex = R.I32();
  } else {
    // The first layout held two values here that no version kept.
    R.I32();
    R.I32();
    fICO_ImageIndex = 0;
  }
  if (v >= 3) fICO_Background = R.RGB();
  if (v >= 11) {
    for (TIOIconSize& s : ICO_Sizes) {
      s.cx = R.I32();
      s.cy = R.I32();
    }
    for (int32_t& b : ICO_BitCount) b = R.I32();
  }
  if (v >= 1) {
    fCUR_ImageIndex = R.I32();
    fCUR_XHotSpot = R.I32();
    fCUR_YHotSpot = R.I32();
  } else {
    R.I32();
    R.I32();
    fCUR_ImageIndex = 0;
    fCUR_XHotSpot = 0;
    fCUR_YHotSpot = 0;
  }
  if (v >= 3) fCUR_Background = R.RGB();

  // PNG
  fPNG_Interlaced = R.Bool();
  fPNG_Background = R.RGB();
  fPNG_Filter = TIOPNGFilter(R.Byte());
  fPNG_Compression = R.I32();
  if (v >= 23) {
    fPNG_TextKeys = R.SList();
    fPNG_TextValues = R.SList();
  }

  // DICOM. The stored data set replaces the one present (the stream form
  // appends), so that no tag is doubled.
  if (v >= 37) {
    fDICOM_Tags->Clear();
    if (!fDICOM_Tags->LoadFromStream(Stream)) Damaged();
  }
  if (v >= 48) {
    fDICOM_WindowCenterOffset = R.F64();
    fDICOM_Range = TVXDicomRange(R.Byte());
  }
  if (v >= 50) {
    SetDICOM_Compression(TVXDicomCompression(R.Byte()));
    fDICOM_JPEGQuality = R.I32();
    fDICOM_J2000Rate = R.F64();
  }
  if (v >= 52) {
    fDICOM_RescaleIntercept = R.F64();
    fDICOM_RescaleSlope = R.F64();
  }

  // PSD, HD Photo
  if (v >= 27) fPSD_LoadLayers = R.Bool();
  if (v >= 34) fPSD_ReplaceLayers = R.Bool();
  if (v >= 36) fPSD_HasPremultipliedAlpha = R.Bool();
  if (v >= 51) {
    fPSD_LargeDocumentFormat = R.Bool();
    fPSD_SelectLayer = R.AStr();
  }
  if (v >= 41) {
    fHDP_ImageQuality = R.F64();
    fHDP_Lossless = R.Bool();
  }

  // Targa
  if (v >= 3) {
    fTGA_XPos = R.I32();
    fTGA_YPos = R.I32();
    fTGA_Compressed = R.Bool();
    fTGA_Descriptor = R.AStr();
    fTGA_Author = R.AStr();
    fTGA_Date = R.F64();
    fTGA_ImageName = R.AStr();
    fTGA_Background = R.RGB();
    fTGA_AspectRatio = R.F64();
    fTGA_Gamma = R.F64();
    fTGA_GrayLevel = R.Bool();
  }

  if (v >= 4 && !fIPTC_Info->LoadFromStream(Stream)) Damaged();
  if (v >= 5) fPXM_Comments = R.SList();
  if (v >= 6) {
    fAVI_FrameCount = R.I32();
    // Whole milliseconds before version 45.
    fAVI_FrameDelayTime = v < 45 ? double(R.I32()) : R.F64();
  }

  // PostScript, PDF, DCX
  if (v >= 14) {
    fPS_PaperWidth = R.I32();
    fPS_PaperHeight = R.I32();
    fPS_Compression = TIOPSCompression(R.Byte());
    fPS_Title = R.AStr();
    fPDF_PaperWidth = R.I32();
    fPDF_PaperHeight = R.I32();
    fPDF_Compression = TIOPDFCompression(R.Byte());
  }
  if (v >= 15) {
    fPDF_Title = R.AStr();
    fPDF_Author = R.AStr();
    fPDF_Subject = R.AStr();
    fPDF_Keywords = R.AStr();
    fPDF_Creator = R.AStr();
    fPDF_Producer = R.AStr();
  }
  if (v >= 18) fDCX_ImageIndex = R.I32();

  // Annotations and profiles
  if (v >= 13) ImagingAnnot();
  if (v >= 51) {
    // The block's own reader skips a block beyond the metadata limit; only a
    // size the stream cannot hold is damage.
    const int64_t at = Stream.Position();
    const int32_t n = R.I32();
    if (n < 0 || n > R.Remaining()) Damaged();
    Stream.SetPosition(at);
    fVexlaneAnnot->LoadFromStream(Stream);
  }
  if (v >= 17) {
    ReadProfile(R, fInputICC);
    ReadProfile(R, fOutputICC);
  }
  if (v >= 33) ReadProfile(R, fDefaultICC);

  // Camera raw, media files, raw bitmaps
  if (v >= 18) {
    fRAW_HalfSize = R.Bool();
    fRAW_Gamma = R.F64();
    fRAW_Bright = R.F64();
    fRAW_RedScale = R.F64();
    fRAW_BlueScale = R.F64();
    fRAW_QuickInterpolate = R.Bool();
    fRAW_UseAutoWB = R.Bool();
    fRAW_UseCameraWB = R.Bool();
    fRAW_FourColorRGB = R.Bool();
    fRAW_Camera = R.AStr();
    fRAW_GetExifThumbnail = R.Bool();
  }
  if (v >= 22) fRAW_AutoAdjustColors = R.Bool();
  if (v >= 35) fRAW_ExtraParams = R.AStr();
  if (v >= 21) {
    fMEDIAFILE_FrameCount = R.I32();
    fMEDIAFILE_FrameDelayTime = v < 45 ? double(R.I32()) : R.F64();
  }
  if (v >= 23) {
    fBMPRAW_ChannelOrder = TIOBMPRAWChannelOrder(R.Byte());
    fBMPRAW_Planes = TIOBMPRAWPlanes(R.Byte());
    fBMPRAW_RowAlign = R.I32();
    fBMPRAW_HeaderSize = R.I32();
  }
  if (v >= 42) fBMPRAW_DataFormat = TIOBMPRAWDataFormat(R.Byte());
}

// ---------------------------------------------------------------------------

void TIOParamsVals::SaveToFile(const std::string& FileName) {
  bool aborting = false;
  VXWriteFileSafely(FileName, aborting, [this](TStream* Stream) { SaveToStream(*Stream); });
}

void TIOParamsVals::LoadFromFile(const std::string& FileName) {
  TVXWideFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(fs);
}
