// Metadata accessors of the I/O parameters: IPTC fields, XMP, colour
// profiles, imaging annotations, frame delay, paper sizes, DICOM transfer
// syntax and the EXIF thumbnail.
#include <cmath>

#include "core/bitmap.h"
#include "core/dictionary.h"
#include "core/icc.h"
#include "core/textutils.h"
#include "io/annotations.h"
#include "io/dicomtags.h"
#include "io/iptc.h"
#include "io/params.h"
#include "resample/resample.h"

namespace {

// File-type ids used here.
constexpr int32_t kFileTypeGIF = 2;
constexpr int32_t kFileTypeAVI = 15;
constexpr int32_t kFileTypeMedia1 = 22;
constexpr int32_t kFileTypeMedia2 = 23;
constexpr int32_t kFileTypeDICOM = 28;

std::string CleanIPTCText(std::string s) {
  while (!s.empty() && s.back() == '\0') s.pop_back();
  for (char& c : s)
    if (c == '\r') c = ' ';
  return s;
}

std::string TrimBlank(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && uint8_t(s[b]) <= ' ') ++b;
  while (e > b && uint8_t(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace

// ---------------------------------------------------------------------------
// IPTC fields

std::string TIOParamsVals::ReadIPTCField(int32_t iRecNo, int32_t iFieldIndex) const {
  const TVXIPTCInfoList& l = *fIPTC_Info;
  int32_t first = l.IndexOf(iRecNo, iFieldIndex);
  if (first < 0) return std::string();
  if (iRecNo == 2 && iFieldIndex == 25) {
    std::string r;
    for (int32_t i = first; i < l.Count(); ++i)
      if (l.GetRecordNumber(i) == iRecNo && l.GetDataSet(i) == iFieldIndex) r += CleanIPTCText(l.GetStrings(i)) + ", ";
    r.resize(r.size() - 2);
    return r;
  }
  return CleanIPTCText(l.GetStrings(first));
}

void TIOParamsVals::ReadIPTCField(int32_t iRecNo, int32_t iFieldIndex, std::vector<std::string>& Dest) const {
  Dest.clear();
  const TVXIPTCInfoList& l = *fIPTC_Info;
  int32_t first = l.IndexOf(iRecNo, iFieldIndex);
  if (first < 0) return;
  for (int32_t i = first; i < l.Count(); ++i)
    if (l.GetRecordNumber(i) == iRecNo && l.GetDataSet(i) == iFieldIndex) Dest.push_back(CleanIPTCText(l.GetStrings(i)));
}

void TIOParamsVals::WriteIPTCField(int32_t iRecNo, int32_t iFieldIndex, const std::string& Value) {
  if (iRecNo == 2 && iFieldIndex == 25) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
      size_t p = Value.find(',', start);
      parts.push_back(TrimBlank(Value.substr(start, p == std::string::npos ? std::string::npos : p - start)));
      if (p == std::string::npos) break;
      start = p + 1;
    }
    WriteIPTCField(iRecNo, iFieldIndex, parts);
    return;
  }
  TVXIPTCInfoList& l = *fIPTC_Info;
  int32_t i = l.IndexOf(iRecNo, iFieldIndex);
  if (i >= 0) {
    if (Value.empty())
      l.DeleteItem(i);
    else if (l.GetStrings(i) != Value)
      l.SetStrings(i, Value);
  } else if (!Value.empty()) {
    l.AddStringItem(iRecNo, iFieldIndex, Value);
  }
}

void TIOParamsVals::WriteIPTCField(int32_t iRecNo, int32_t iFieldIndex, const std::vector<std::string>& ssValues) {
  ClearIPTCField(iRecNo, iFieldIndex);
  for (const std::string& v : ssValues)
    if (!v.empty()) fIPTC_Info->AddStringItem(iRecNo, iFieldIndex, v);
}

void TIOParamsVals::ClearIPTCField(int32_t iRecNo, int32_t iFieldIndex) {
  TVXIPTCInfoList& l = *fIPTC_Info;
  int32_t first = l.IndexOf(iRecNo, iFieldIndex);
  if (first < 0) return;
  for (int32_t i = l.Count() - 1; i >= first; --i)
    if (l.GetRecordNumber(i) == iRecNo && l.GetDataSet(i) == iFieldIndex) l.DeleteItem(i);
}

// ---------------------------------------------------------------------------
// XMP, profiles, annotations

void TIOParamsVals::SetXMP_Info(const std::string& v) {
  fXMP_Info = v;
  auto parsed = std::make_unique<TVXDictionary>(103);
  parsed->Parse(v);
  if (!parsed->IsEmpty()) fDict->Insert("XMP", std::move(parsed));
}

TVXICC& TIOParamsVals::InputICCProfile() {
  if (!fInputICC) fInputICC = std::make_unique<TVXICC>();
  return *fInputICC;
}

TVXICC& TIOParamsVals::OutputICCProfile() {
  if (!fOutputICC) {
    fOutputICC = std::make_unique<TVXICC>();
    fOutputICC->Assign_sRGBProfile();
  }
  return *fOutputICC;
}

TVXICC& TIOParamsVals::DefaultICCProfile() {
  if (!fDefaultICC) fDefaultICC = std::make_unique<TVXICC>();
  return *fDefaultICC;
}

TVXImagingAnnot& TIOParamsVals::ImagingAnnot() {
  if (!fImagingAnnot) fImagingAnnot = std::make_unique<TVXImagingAnnot>(this);
  return *fImagingAnnot;
}

// ---------------------------------------------------------------------------
// Frame delay

int32_t TIOParamsVals::ImageDelayTime() const {
  switch (fFileType) {
    case kFileTypeGIF:
      return fGIF_DelayTime * 10;
    case kFileTypeAVI:
      return int32_t(std::llrint(fAVI_FrameDelayTime));
    case kFileTypeMedia1:
    case kFileTypeMedia2:
      return int32_t(std::llrint(fMEDIAFILE_FrameDelayTime));
    case kFileTypeDICOM: {
      int32_t result = 0;
      auto fromRate = [this](uint16_t g, uint16_t e) -> int32_t {
        int32_t r = VXStrToIntDefAnsi(TrimBlank(fDICOM_Tags->GetTagString(g, e)), 0);
        return r > 0 ? int32_t(std::llrint(1000.0 / r)) : 0;
      };
      result = fromRate(0x0018, 0x0040);
      if (result == 0) result = fromRate(0x0008, 0x2144);
      if (result == 0) {
        long double t = VXStrToFloatDefAnsi(TrimBlank(fDICOM_Tags->GetTagString(0x0018, 0x1063)), 0);
        if (std::isfinite(double(t)) && std::fabs(double(t)) < 2147483647.0) result = int32_t(t);
      }
      return result;
    }
    default:
      return 0;
  }
}

// ---------------------------------------------------------------------------
// Paper sizes

TIOPDFPaperSize TIOParamsVals::PS_PaperSize() const {
  for (const TIOPDFPaperSizeRec& r : VXPaperSizes)
    if (r.Size != vxpAuto && r.Width == fPS_PaperWidth && r.Height == fPS_PaperHeight) return r.Size;
  return vxpUnknown;
}

void TIOParamsVals::SetPS_PaperSize(TIOPDFPaperSize v) {
  if (v == vxpAuto) return;
  for (const TIOPDFPaperSizeRec& r : VXPaperSizes)
    if (r.Size == v) {
      fPS_PaperWidth = r.Width;
      fPS_PaperHeight = r.Height;
      return;
    }
}

TIOPDFPaperSize TIOParamsVals::PDF_PaperSize() const {
  for (const TIOPDFPaperSizeRec& r : VXPaperSizes)
    if (r.Width == fPDF_PaperWidth && r.Height == fPDF_PaperHeight) return r.Size;
  return vxpUnknown;
}

void TIOParamsVals::SetPDF_PaperSize(TIOPDFPaperSize v) {
  for (const TIOPDFPaperSizeRec& r : VXPaperSizes)
    if (r.Size == v) {
      fPDF_PaperWidth = r.Width;
      fPDF_PaperHeight = r.Height;
      return;
    }
}

// ---------------------------------------------------------------------------
// DICOM transfer syntax

TVXDicomCompression TIOParamsVals::DICOM_Compression() const {
  std::string uid = fDICOM_Tags->GetTagString(0x0002, 0x0010);
  uid = TrimBlank(uid);
  for (int v = 0; v < 10; ++v)
    if (uid == VXDicomTransferSyntaxUID(TVXDicomCompression(v))) return TVXDicomCompression(v);
  return vxdcUncompressed;
}

void TIOParamsVals::SetDICOM_Compression(TVXDicomCompression v) {
  const char* uid = VXDicomTransferSyntaxUID(v);
  fDICOM_Tags->SetTagString(0x0002, 0x0010, uid ? uid : "");
}

// ---------------------------------------------------------------------------
// EXIF thumbnail

void TIOParamsVals::UpdateEXIFThumbnail(int32_t Width, int32_t Height, TResampleFilter ResampleFilter) {
  // Defined only for parameters whose owner has a current image: otherwise
  // the thumbnail stays as it is.
  TIOParamsOwnerHooks& hooks = VXIOParamsOwnerHooks();
  if (!fVexlaneIO || !hooks.GetBitmap) return;
  TVXBitmap* source = hooks.GetBitmap(fVexlaneIO);
  if (!source || source->IsEmpty()) return;
  if (!fEXIF_Bitmap) fEXIF_Bitmap = std::make_unique<TVXBitmap>();
  VXResampleToSize(source, fEXIF_Bitmap.get(), Width, Height, ResampleFilter, false);
}
