#include "io/fileformats.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/settings.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "io/codec_table.h"
#include "io/probes.h"

namespace {

std::vector<TVXFileFormatInfo*>& Registry() { return VXGetGlobalSettings()->FileFormats(); }

// The ";"-separated parts of a list.
std::vector<std::string> SplitExtensions(const std::string& List) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= List.size()) {
    const size_t end = List.find(';', start);
    const std::string part = List.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!part.empty()) out.push_back(part);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

constexpr const char* kVideoExtensions = "*.avi;*.mpe;*.mpg;*.mpeg;*.wmv;";

}  // namespace

void VXReadPlaceholder(TStream*, TVXBitmap*, TIOParamsVals&, TProgressRec&, bool) {}

void VXWritePlaceholder(TStream*, TVXBitmap*, TIOParamsVals&, TProgressRec&) {}

bool VXTryPlaceholder(TStream*, int32_t) { return false; }

// ---------------------------------------------------------------------------
// Lookups

TVXFileFormatInfo* VXFindFileFormatInfo(int32_t FileType) {
  if (FileType == 0) return nullptr;
  for (TVXFileFormatInfo* info : Registry())
    if (info->FileType == FileType) return info;
  return nullptr;
}

TVXFileFormatInfo* VXFindFileFormatInfoByExtension(const std::string& Ext) {
  std::string ext = VXLowerCaseAnsi(Ext);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  if (ext.empty()) return nullptr;
  // Every lookup walks every format's list: it compares in place, making no
  // copies.
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
  for (TVXFileFormatInfo* info : Registry()) {
    const std::string& list = info->Extensions;
    for (size_t start = 0; start <= list.size();) {
      size_t end = list.find(';', start);
      if (end == std::string::npos) end = list.size();
      if (end - start == ext.size() &&
          std::equal(ext.begin(), ext.end(), list.begin() + std::ptrdiff_t(start),
                     [&](char a, char b) { return a == lower(b); }))
        return info;
      start = end + 1;
    }
  }
  return nullptr;
}

int32_t VXGetFileFormatExtensionCount(int32_t FileType) {
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(FileType);
  return info ? int32_t(SplitExtensions(info->Extensions).size()) : 0;
}

std::string VXGetFileFormatExtension(int32_t FileType, int32_t Index) {
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(FileType);
  if (!info || Index < 0) return "";
  const std::vector<std::string> exts = SplitExtensions(info->Extensions);
  return size_t(Index) < exts.size() ? exts[size_t(Index)] : "";
}

std::string VXGetFileFormatFilter(int32_t FileType) {
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(FileType);
  if (!info) return "";
  std::string out;
  for (const std::string& e : SplitExtensions(info->Extensions)) out += "*." + VXLowerCaseAnsi(e) + ";";
  if (!out.empty()) out.pop_back();
  return out;
}

std::string VXGetAllFileFormatsFilter(bool ForReading, bool ForWriting, bool IncludeVideo) {
  std::string out;
  for (const TVXFileFormatInfo* info : Registry()) {
    if (SplitExtensions(info->Extensions).empty()) continue;
    if ((ForReading && info->ReadFunction) || (ForWriting && info->WriteFunction))
      out += VXGetFileFormatFilter(info->FileType) + ";";
  }
  if (IncludeVideo) out += ForReading ? kVideoExtensions : "*.avi;";
  if (!out.empty()) out.pop_back();
  return out;
}

bool VXIsReadableExtension(const std::string& FileName, bool AllowVideo) {
  const std::string ext = VXLowerFileExt(FileName, false);
  if (!ext.empty() && std::string(kVideoExtensions).find("*." + ext + ";") != std::string::npos) return AllowVideo;
  const TVXFileFormatInfo* info = VXFindFileFormatInfoByExtension(ext);
  return info != nullptr && info->ReadFunction != nullptr;
}

// ---------------------------------------------------------------------------
// Registration

void VXRegisterFileFormat(TVXFileFormatInfo* Info) {
  if (Info == nullptr) return;
  if (Info->SuitableExtension.empty()) Info->SuitableExtension = Info->Extensions.substr(0, Info->Extensions.find(';'));
  Registry().push_back(Info);
}

void VXUnregisterFileFormat(int32_t FileType) {
  auto& list = Registry();
  for (auto it = list.begin(); it != list.end(); ++it)
    if ((*it)->FileType == FileType) {
      delete *it;
      list.erase(it);
      return;
    }
}

void VXUpdateGIFFileFormat() {
  TVXFileFormatInfo* gif = VXFindFileFormatInfo(2);
  if (gif == nullptr) return;
  const TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  gif->ReadFunction = st->DefGIF_LZWDECOMPFUNC() ? &VXReadPlaceholder : nullptr;
  gif->WriteFunction = st->DefGIF_LZWCOMPFUNC() ? &VXWritePlaceholder : nullptr;
}

void VXRegisterBuiltInFileFormats() {
  struct TBuiltIn {
    int32_t FileType;
    const char* FullName;
    const char* Extensions;
    const char* Suitable;
    bool Read, Write;
    TPreviewParams Page;
  };
  static const TBuiltIn kBuiltIn[] = {
      {1, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", "tiff", true, true, ppTIFF},
      {2, "CompuServe Bitmap", "GIF", "gif", true, true, ppGIF},
      {3, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", "jpeg", true, true, ppJPEG},
      {4, "PaintBrush", "PCX", "pcx", true, true, ppPCX},
      {5, "Windows Bitmap", "BMP;DIB;RLE", "bmp", true, true, ppBMP},
      {21, "Raw Bitmap", "", "", true, true, 0},
      {6, "Windows Icon", "ICO", "ico", true, true, 0},
      {7, "Windows Cursor", "CUR", "cur", true, false, 0},
      {8, "Portable Network Graphics", "PNG", "png", true, true, ppPNG},
      {28, "DICOM Bitmap", "DCM;DIC;DICOM;V2", "dicom", true, true, 0},
      {9, "Windows Metafile", "WMF", "wmf", true, false, 0},
      {10, "Enhanced Windows Metafile", "EMF", "emf", true, false, 0},
      {11, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", "targa", true, true, ppTGA},
      {12, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", "pxm", true, true, 0},
      {16, "Wireless Bitmap", "WBMP", "wbmp", true, true, 0},
      {13, "JPEG2000", "JP2", "jp2", true, true, ppJ2000},
      {14, "JPEG2000 Code Stream", "J2K;JPC;J2C", "j2k", true, true, ppJ2000},
      {17, "PostScript Level 2", "PS;EPS", "eps", false, true, 0},
      {18, "Adobe PDF", "PDF", "pdf", false, true, 0},
      {19, "Multipage PCX", "DCX", "dcx", true, true, 0},
      {20, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", "raw", true, false, 0},
      {24, "Photoshop PSD", "PSD;PSB", "psd", true, true, 0},
      {25, "Vectorial objects", "VXV", "vxv", true, true, 0},
      {26, "Layers", "LYR", "lyr", true, true, 0},
      {27, "Layers and objects", "ALL", "all", true, true, 0},
  };
  VXFreeFileFormats();
  for (const TBuiltIn& b : kBuiltIn)
    VXRegisterFileFormat(new TVXFileFormatInfo(b.FileType, b.FullName, b.Extensions, b.Suitable, true, b.Page,
                                               b.Read ? &VXReadPlaceholder : nullptr,
                                               b.Write ? &VXWritePlaceholder : nullptr, &VXTryPlaceholder));
}

void VXFreeFileFormats() {
  auto& list = Registry();
  for (TVXFileFormatInfo* info : list) delete info;
  list.clear();
}

// ---------------------------------------------------------------------------
// Detection

namespace {

// Reads Count bytes from Pos; false when the stream holds fewer.
bool ReadHead(TStream* Stream, int64_t Pos, uint8_t* Buffer, int64_t Count) {
  Stream->SetPosition(Pos);
  std::memset(Buffer, 0, size_t(Count));
  return Stream->Read(Buffer, Count) == Count;
}

// The first Length bytes as text up to the first zero byte.
std::string HeadText(const uint8_t* Buffer, size_t Length) {
  const size_t n = std::find(Buffer, Buffer + Length, uint8_t(0)) - Buffer;
  return std::string(reinterpret_cast<const char*>(Buffer), n);
}

// A probe of a codec record (false while the codec has not registered).
bool RecordProbe(int32_t FileType, TStream* Stream) {
  const TVXCodecOps* ops = VXFindCodecOps(FileType);
  return ops && ops->IsStream && ops->IsStream(Stream);
}

bool RawTIFFProbe(TStream* Stream) {
  const TVXCodecOps* ops = VXFindCodecOps(20);
  return ops && ops->IsTIFFVariant && ops->IsTIFFVariant(Stream);
}

int32_t DetectFrom(TStream* Stream, int64_t P) {
  const int64_t S = Stream->Size();
  uint8_t buf[128];
  if (S > 12 && ReadHead(Stream, P, buf, 12) && HeadText(buf, 5) == "JFIF") return 3;
  if (S > 13 && ReadHead(Stream, P, buf, 13) && std::memcmp(buf, "GIF", 3) == 0) return 2;
  if (S > 12 && ReadHead(Stream, P, buf, 12) && HeadText(buf, 5) == "PCX2") return 4;
  if (S > 4 && ReadHead(Stream, P, buf, 4) && HeadText(buf, 4) == "PCX") return 4;
  if (S > 14 && ReadHead(Stream, P, buf, 14) && buf[0] == 0x42 && buf[1] == 0x4D) return 5;
  if (S > 128 && ReadHead(Stream, P, buf, 128) && buf[0] == 0x0A && buf[1] <= 5) return 4;
  if (S > 12 && ReadHead(Stream, P, buf, 12) && HeadText(buf, 5) == "TIFF") return 1;

  struct TProbe {
    int32_t FileType;
    bool (*Test)(TStream*);
  };
  static const TProbe kProbes[] = {
      {29, [](TStream* s) { return RecordProbe(29, s); }},
      {1, [](TStream* s) { return RecordProbe(1, s) && !RawTIFFProbe(s); }},
      {8, nullptr},  // the PNG signature, only when S > 8
      {28, &VXIsDicomStream},
      {6, &VXIsICOStream},
      {7, &VXIsCURStream},
      {11, &VXIsTGAStream},
      {12, &VXIsPXMStream},
      {13, &VXIsJP2Stream},
      {14, &VXIsJ2KCodestream},
      {15, &VXIsAVIStream},
      {19, &VXIsDCXStream},
      {9, &VXIsWMFStream},
      {10, &VXIsEMFStream},
      {24, &VXIsPSDStream},
      {25, [](TStream* s) { return RecordProbe(25, s); }},
      {26, [](TStream* s) { return RecordProbe(26, s); }},
      {27, [](TStream* s) { return RecordProbe(27, s); }},
  };
  for (const TProbe& p : kProbes) {
    Stream->SetPosition(P);
    const bool hit = p.Test ? p.Test(Stream) : (S > 8 && RecordProbe(8, Stream));
    if (hit) return p.FileType;
  }

  Stream->SetPosition(P);
  if (VXFindJpegSOI(Stream, true) >= 0) return 3;

  // Copy the list: a try function may not change it under the loop.
  const std::vector<TVXFileFormatInfo*> entries = Registry();
  for (const TVXFileFormatInfo* info : entries) {
    if (!info->TryFunction) continue;
    Stream->SetPosition(P);
    if (info->TryFunction(Stream, info->FileType)) return info->FileType;
  }

  Stream->SetPosition(P);
  if (RecordProbe(20, Stream)) return 20;
  return 0;
}

}  // namespace

int32_t VXFindStreamFormat(TStream* Stream) {
  if (Stream == nullptr) return 0;
  int64_t P = 0;
  try {
    P = Stream->Position();
  } catch (...) {
    return 0;
  }
  int32_t result = 0;
  try {
    result = DetectFrom(Stream, P);
  } catch (...) {
    result = 0;
  }
  try {
    Stream->SetPosition(P);
  } catch (...) {
  }
  return result;
}

int32_t VXFindFileFormat(const std::string& FileName, bool Verify) {
  if (FileName.empty() || !VXFileExists(FileName)) return 0;
  int32_t content = 0;
  try {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    content = VXFindStreamFormat(&file);
  } catch (...) {
    content = 0;
  }
  const TVXFileFormatInfo* info = VXFindFileFormatInfoByExtension(VXLowerFileExt(FileName, false));
  if (info && info->FileType == 20 && content == 1) return 20;
  if (info && !info->InternalFormat) return info->FileType;
  if (Verify && content != 0) {
    if (!info) return 0;
    if (content == 6 || content == 7) return info->FileType;
    if (info->FileType != content) return 0;
  }
  return content;
}
