// The I/O component's JPEG operations: loading from files and streams (with
// the 12-byte stream header), the save core that brings the markers up to
// date before the encoder runs, and IPTC injection without re-encoding.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/byteorder.h"
#include "core/streams.h"
#include "io/annotations.h"
#include "io/codec_table.h"
#include "io/exif.h"
#include "core/filewriter.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "io/xmp.h"

namespace {

constexpr int32_t kJPEGFileType = 3;
constexpr uint8_t kAPP1 = 0xE1, kAPP13 = 0xED;
constexpr int64_t kStreamHeaderSize = 12;

// Writes the resolution into the "8BIM" resolution-information resource
// (0x03ED) of the first APP13 marker, when there is one.
void UpdateResolutionResource(TVXMarkerList& Markers, int32_t DpiX, int32_t DpiY) {
  const int32_t idx = Markers.IndexOf(kAPP13);
  if (idx < 0) return;
  const int64_t size = Markers.MarkerSize(idx);
  std::vector<uint8_t> d(reinterpret_cast<const uint8_t*>(Markers.MarkerData(idx)),
                         reinterpret_cast<const uint8_t*>(Markers.MarkerData(idx)) + size);
  static const uint8_t kTag[6] = {'8', 'B', 'I', 'M', 0x03, 0xED};
  for (size_t i = 0; i + 6 <= d.size(); ++i) {
    if (std::memcmp(&d[i], kTag, 6) != 0) continue;
    size_t p = i + 6;
    if (p + 2 > d.size()) return;
    const size_t nameLen = (size_t(d[p]) << 8) | d[p + 1];
    p += 2 + nameLen;
    if (p + 4 > d.size()) return;
    const uint32_t resSize = (uint32_t(d[p]) << 24) | (uint32_t(d[p + 1]) << 16) | (uint32_t(d[p + 2]) << 8) | d[p + 3];
    p += 4;
    if (resSize < 16 || p + 16 > d.size()) return;
    VXPutBE32(&d[p], uint32_t(DpiX) << 16);
    d[p + 4] = 0, d[p + 5] = 1, d[p + 6] = 0, d[p + 7] = 1;
    VXPutBE32(&d[p + 8], uint32_t(DpiY) << 16);
    d[p + 12] = 0, d[p + 13] = 1, d[p + 14] = 0, d[p + 15] = 1;
    Markers.SetMarker(idx, kAPP13, d.data(), uint16_t(d.size()));
    return;
  }
}

// The index of the first APP1 marker whose data satisfies Test, or -1.
template <class F>
int32_t FirstAPP1(TVXMarkerList& Markers, F&& Test) {
  for (int32_t i = 0; i < Markers.Count(); ++i)
    if (Markers.MarkerType(i) == kAPP1 && Test(Markers.MarkerData(i), Markers.MarkerSize(i))) return i;
  return -1;
}

void AddMarkerChecked(TVXMarkerList& Markers, uint8_t Type, const std::vector<uint8_t>& Data, const char* What) {
  if (Data.size() > 65533) throw EVXException(std::string(What) + " does not fit one JPEG marker");
  Markers.AddMarker(Type, Data.data(), uint16_t(Data.size()));
}

}  // namespace

bool TVexlaneIO::LoadFromFileJpeg(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileJpeg, FileName)) return true;
  return CodecLoadFile(FileName, kJPEGFileType, TLoadSteps{});
}

bool TVexlaneIO::LoadFromStreamJpeg(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamJpeg, Stream)) return true;
  return OperationPattern(false, [&] {
    // An optional stream header: "JFIF", a zero byte, padding, the length.
    const int64_t start = Stream->Position();
    uint8_t header[kStreamHeaderSize] = {};
    bool withHeader = false;
    int64_t length = 0;
    if (Stream->Read(header, kStreamHeaderSize) == kStreamHeaderSize && std::memcmp(header, "JFIF", 5) == 0) {
      withHeader = true;
      length = int32_t(VXGetLE32(header + 8));
    } else {
      Stream->SetPosition(start);
    }
    if (withHeader && (length < 0 || start + kStreamHeaderSize + length > Stream->Size())) {
      // A header that claims bytes the stream does not hold.
      fAborting = true;
    } else {
      CodecLoadCore(Stream, kJPEGFileType, TLoadSteps{});
      if (withHeader) Stream->SetPosition(start + kStreamHeaderSize + length);
      fParams->SetFileName("");
    }
    return !fAborting;
  });
}

void TVexlaneIO::SaveJpegCore(TStream* Stream, bool WithHeader) {
  const TVXCodecOps& jpeg = VXRequireCodecOps(kJPEGFileType, vxcoSave);
  if (fVXBitmap->PixelFormat() != vx24RGB && fVXBitmap->PixelFormat() != vx1g) fVXBitmap->SetPixelFormat(vx24RGB);
  const int64_t start = WithHeader ? Stream->Position() : 0;
  if (WithHeader) {
    const uint8_t placeholder[kStreamHeaderSize] = {};
    Stream->WriteBuffer(placeholder, kStreamHeaderSize);
  }
  TIOParamsVals& P = *fParams;
  TVXMarkerList& markers = P.JPEG_MarkerList();
  UpdateResolutionResource(markers, P.DpiX(), P.DpiY());

  // IPTC: the records replace the first APP13 when the user changed them, or
  // when there are records and no markers at all (an image not read from a JPEG).
  TVXIPTCInfoList& iptc = P.IPTC_Info();
  if (iptc.UserChanged() || (iptc.Count() > 0 && markers.Count() == 0)) {
    const std::vector<uint8_t> block = iptc.SaveToStandardBuffer(true);
    const int32_t idx = markers.IndexOf(kAPP13);
    if (!block.empty()) {
      if (block.size() > 65533) throw EVXException("The IPTC data does not fit one JPEG marker");
      if (idx >= 0)
        markers.SetMarker(idx, kAPP13, block.data(), uint16_t(block.size()));
      else
        markers.AddMarker(kAPP13, block.data(), uint16_t(block.size()));
    } else if (idx >= 0) {
      markers.DeleteMarker(idx);
    }
  }
  // EXIF: a block built from the parameters replaces the first "Exif" APP1;
  // its image size is the size saved.
  if (P.EXIF_HasEXIFData()) {
    if (P.EXIF_ExifImageWidth() != 0) P.SetEXIF_ExifImageWidth(fVXBitmap->Width());
    if (P.EXIF_ExifImageHeight() != 0) P.SetEXIF_ExifImageHeight(fVXBitmap->Height());
    const std::vector<uint8_t> block = VXSaveEXIFToBuffer(P, true);
    if (block.size() > 65533) throw EVXException("EXIF block does not fit one JPEG marker");
    const int32_t exifIdx =
        FirstAPP1(markers, [](const char* d, int64_t n) { return n >= 4 && std::memcmp(d, "Exif", 4) == 0; });
    if (exifIdx >= 0) markers.DeleteMarker(exifIdx);
    if (!block.empty()) markers.AddMarker(kAPP1, block.data(), uint16_t(block.size()));
  }
  // XMP: the packet of the parameters replaces the first XMP marker.
  const int32_t xmpIdx =
      FirstAPP1(markers, [](const char* d, int64_t n) { return VXFindXMPPacket(d, n) != nullptr; });
  if (xmpIdx >= 0) markers.DeleteMarker(xmpIdx);
  if (!P.XMP_Info().empty()) AddMarkerChecked(markers, kAPP1, VXSaveXMPToMarker(P), "The XMP packet");
  // The library's annotations likewise.
  const int32_t annotIdx = FirstAPP1(
      markers, [](const char* d, int64_t n) { return TVXVexlaneAnnot::BufferContainsVexlaneAnnot(d, n); });
  if (annotIdx >= 0) markers.DeleteMarker(annotIdx);
  if (!P.VexlaneAnnot().IsEmpty()) AddMarkerChecked(markers, kAPP1, P.VexlaneAnnot().SaveToBuffer(), "The annotations");

  TProgressRec progress = MakeProgress();
  TVXCodecWriteArgs args;
  args.Stream = Stream;
  args.Bitmap = fVXBitmap;
  args.Params = fParams.get();
  args.Progress = &progress;
  jpeg.Write(args);

  if (WithHeader) {
    const int64_t end = Stream->Position();
    uint8_t header[kStreamHeaderSize] = {'J', 'F', 'I', 'F', 0, 0, 0, 0};
    VXPutLE32(header + 8, uint32_t(end - start - kStreamHeaderSize));
    Stream->SetPosition(start);
    Stream->WriteBuffer(header, kStreamHeaderSize);
    Stream->SetPosition(end);
  }
}

void TVexlaneIO::SaveToFileJpeg(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileJpeg, FileName)) return;
  SaveFilePattern(FileName, kJPEGFileType, nullptr, [&](TStream* Stream) { SaveJpegCore(Stream, false); });
}

void TVexlaneIO::SaveToStreamJpeg(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamJpeg, Stream)) return;
  SaveStreamPattern([&] { SaveJpegCore(Stream, fStreamHeaders); });
}

bool TVexlaneIO::InjectIntoJpegFile(
    const std::string& FileName, TVXCodecOperation Op,
    const std::function<bool(const TVXCodecOps&, TStream*, TStream*, TProgressRec&)>& Inject) {
  fAborting = false;
  bool result = false;
  try {
    const TVXCodecOps& jpeg = VXRequireCodecOps(kJPEGFileType, Op);
    TProgressRec progress = MakeProgress();
    TMemoryStream in;
    in.LoadFromFile(FileName);
    in.SetPosition(0);
    TMemoryStream out;
    out.SetSize(in.Size());
    out.SetPosition(0);
    result = Inject(jpeg, &in, &out, progress);
    out.SetSize(out.Position());
    if (result) {
      bool aborting = false;
      result = VXWriteFileSafely(FileName, aborting, [&](TStream* Stream) {
        Stream->WriteBuffer(out.Memory(), out.Size());
      });
    }
  } catch (...) {
    DoFinishWork();
    throw;
  }
  DoFinishWork();
  return result;
}

bool TVexlaneIO::InjectJpegIPTC(const std::string& FileName) {
  return InjectIntoJpegFile(FileName, vxcoInjectIPTC, [&](const TVXCodecOps& Jpeg, TStream* In, TStream* Out,
                                                          TProgressRec& Progress) {
    return Jpeg.InjectIPTC(In, Out, fParams->IPTC_Info(), Progress);
  });
}

bool TVexlaneIO::InjectJpegEXIF(const std::string& FileName) {
  return InjectIntoJpegFile(FileName, vxcoInjectEXIF, [&](const TVXCodecOps& Jpeg, TStream* In, TStream* Out,
                                                          TProgressRec& Progress) {
    return Jpeg.InjectEXIF(In, Out, FileName, FileName, 0, *fParams, Progress);
  });
}

bool TVexlaneIO::InjectJpegEXIFStream(TStream* InputStream, TStream* OutputStream) {
  const TVXCodecOps& jpeg = VXRequireCodecOps(kJPEGFileType, vxcoInjectEXIF);
  TProgressRec silent;
  return jpeg.InjectEXIF(InputStream, OutputStream, "", "", 0, *fParams, silent);
}

namespace {

const TVXCodecOps& RequireTIFFInjectEXIF() {
  constexpr int32_t kTIFFFileType = 1;
  const TVXCodecOps* ops = VXFindCodecOps(kTIFFFileType);
  if (!ops || !ops->InjectEXIF) throw EVXException("Cannot inject EXIF into TIFF: no codec is registered for it");
  return *ops;
}

}  // namespace

bool TVexlaneIO::InjectTIFFEXIF(const std::string& FileName, int32_t pageIndex) {
  TProgressRec silent;
  return RequireTIFFInjectEXIF().InjectEXIF(nullptr, nullptr, FileName, FileName, pageIndex, *fParams, silent);
}

bool TVexlaneIO::InjectTIFFEXIF(const std::string& InputFileName, const std::string& OutputFileName,
                                int32_t pageIndex) {
  TProgressRec silent;
  return RequireTIFFInjectEXIF().InjectEXIF(nullptr, nullptr, InputFileName, OutputFileName, pageIndex, *fParams,
                                            silent);
}

bool TVexlaneIO::InjectTIFFEXIF(TStream* InputStream, TStream* OutputStream, int32_t pageIndex) {
  TProgressRec silent;
  return RequireTIFFInjectEXIF().InjectEXIF(InputStream, OutputStream, "", "", pageIndex, *fParams, silent);
}

bool TVexlaneIO::InjectJpegIPTCStream(TStream* InputStream, TStream* OutputStream) {
  const TVXCodecOps& jpeg = VXRequireCodecOps(kJPEGFileType, vxcoInjectIPTC);
  TProgressRec silent;
  return jpeg.InjectIPTC(InputStream, OutputStream, fParams->IPTC_Info(), silent);
}
