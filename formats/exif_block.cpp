// EXIF blocks: the APP1 payload of a JPEG ("Exif", 0, 0 and a little TIFF
// file whose page 0 holds the tags and page 1 the thumbnail) built from and
// loaded into the I/O parameters, and the TIFF structures that camera files
// carry inside them.
#include <algorithm>
#include <cstring>
#include <memory>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/orientation.h"
#include "core/streams.h"
#include "formats/exif.h"
#include "formats/tiff.h"
#include "formats/tiff_write.h"
#include "io/exif.h"
#include "io/params.h"

namespace {

constexpr int64_t kHeaderSize = 6;  // "Exif", 0, 0
// The header and the smallest TIFF header.
constexpr int64_t kMinBlock = kHeaderSize + 8;
constexpr int64_t kHeaderScan = 0x20000;

// One page of the TIFF at the stream's position (offsets relative to it).
void ReadPage(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& Params, bool Preview, bool Thumb, bool ExifData,
              bool& Aborting) {
  TProgressRec progress;
  progress.Aborting = &Aborting;
  std::unique_ptr<TVXMask> mask;
  int32_t pages = 0;
  VXReadTIFFStream(Bitmap, Stream, pages, Params, progress, Preview, mask, true, true, nullptr, Thumb, ExifData);
}

// The thumbnail bitmap of the parameters, empty.
TVXBitmap* EmptyThumbnail(TIOParamsVals& Params) {
  if (!Params.EXIF_Bitmap()) Params.SetEXIF_Bitmap(new TVXBitmap());
  Params.EXIF_Bitmap()->FreeImage(true);
  return Params.EXIF_Bitmap();
}

}  // namespace

std::vector<uint8_t> VXSaveEXIFBlock(TIOParamsVals& Params, bool WithHeader) {
  TMemoryStream ms;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  // The block is EXIF data whatever the flag says.
  const bool had = Params.EXIF_HasEXIFData();
  Params.SetEXIF_HasEXIFData(true);
  try {
    VXWriteTIFFStream(&ms, false, nullptr, progress, Params);
  } catch (...) {
    Params.SetEXIF_HasEXIFData(had);
    throw;
  }
  Params.SetEXIF_HasEXIFData(had);
  TVXBitmap* thumb = Params.EXIF_Bitmap();
  if (!aborting && thumb && !thumb->IsEmpty()) {
    TIOParamsVals tp;
    tp.SetTIFF_ImageIndex(1);
    tp.SetTIFF_Compression(ioTIFF_OLDJPEG);
    bool thumbAbort = false;
    TProgressRec tprog;
    tprog.Aborting = &thumbAbort;
    const int64_t size = ms.Size();
    ms.SetPosition(0);
    VXWriteTIFFStream(&ms, true, thumb, tprog, tp);
    // A thumbnail that could not be written leaves the tags alone.
    if (thumbAbort) ms.SetSize(size);
  }
  std::vector<uint8_t> out;
  if (aborting) return out;
  out.reserve(size_t(ms.Size() + kHeaderSize));
  if (WithHeader) out.insert(out.end(), {'E', 'x', 'i', 'f', 0, 0});
  const uint8_t* m = static_cast<const uint8_t*>(ms.Memory());
  out.insert(out.end(), m, m + ms.Size());
  return out;
}

bool VXLoadEXIFBlock(const void* Data, int64_t Length, TIOParamsVals& Params) {
  if (!Data || Length < kMinBlock || !VXIsEXIFBlock(Data, Length)) return false;
  TVXMemStream ms(static_cast<const uint8_t*>(Data) + kHeaderSize, Length - kHeaderSize);
  TIOParamsVals temp;
  TVXBitmap* thumb = EmptyThumbnail(Params);
  bool aborting = false;
  ms.SetPosition(0);
  ReadPage(&ms, nullptr, temp, true, false, true, aborting);
  VXCopyEXIFParams(temp, Params, false);
  Params.SetEXIF_HasEXIFData(true);
  temp.SetTIFF_ImageIndex(1);
  aborting = false;
  ms.SetPosition(0);
  ReadPage(&ms, thumb, temp, false, true, false, aborting);
  if (aborting) thumb->FreeImage(true);
  VXApplyEXIFOrientation(thumb, Params.TIFF_Orientation());
  return true;
}

bool VXLoadEXIFFromTIFFStream(TStream* Stream, TIOParamsVals& Params, bool WithXMP) {
  const int64_t P = Stream->Position();
  struct TRestore {
    TStream* S;
    int64_t P;
    ~TRestore() { S->SetPosition(P); }
  } restore{Stream, P};
  EmptyThumbnail(Params);
  TIOParamsVals temp;
  bool aborting = false;
  ReadPage(Stream, nullptr, temp, true, false, true, aborting);
  VXCopyEXIFParams(temp, Params, false);
  Params.SetEXIF_HasEXIFData(true);
  if (WithXMP) Params.SetXMP_Info(temp.XMP_Info());
  auto A = std::make_unique<TVXBitmap>(), B = std::make_unique<TVXBitmap>();
  for (int32_t page = 0; page < 2; ++page) {
    TIOParamsVals tp;
    tp.SetTIFF_ImageIndex(page);
    Stream->SetPosition(P);
    aborting = false;
    TVXBitmap* target = page == 0 ? A.get() : B.get();
    ReadPage(Stream, target, tp, false, true, false, aborting);
    if (aborting) target->FreeImage(true);
  }
  const int32_t wa = A->IsEmpty() ? 0 : A->Width(), wb = B->IsEmpty() ? 0 : B->Width();
  if (wa > 0 && (wb == 0 || wa < wb) && !A->IsAllBlack())
    Params.SetEXIF_Bitmap(A.release());
  else if (wb > 0 && (wa == 0 || wb < wa) && !B->IsAllBlack())
    Params.SetEXIF_Bitmap(B.release());
  return true;
}

bool VXLoadTIFFParamsFromStream(TStream* Stream, TIOParamsVals& Params) {
  const int64_t P = Stream->Position();
  EmptyThumbnail(Params);
  bool aborting = false;
  ReadPage(Stream, nullptr, Params, true, false, false, aborting);
  Stream->SetPosition(P);
  return true;
}

bool VXWriteTIFFTagsPage(TStream* Stream, TIOParamsVals& Params) {
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXWriteTIFFStream(Stream, false, nullptr, progress, Params);
  return !aborting;
}

bool VXIsPlausibleIFDCount(TStream* Stream, int64_t Position, bool BigEndian) {
  Stream->SetPosition(Position);
  uint8_t b[2];
  if (Stream->Read(b, 2) != 2) return false;
  const uint16_t n = VXTIFFGet16(b, !BigEndian);
  return n != 0 && n < 0x8000;
}

int64_t VXFindTIFFHeader(TStream* Stream) {
  const int64_t P = Stream->Position();
  const int64_t size = Stream->Size();
  // The bytes there are (at most the scan) and room for a header's eight.
  const int64_t want = std::clamp<int64_t>(size - P, 0, kHeaderScan);
  std::vector<uint8_t> buf(size_t(want) + 8, 0);
  const int64_t got = std::max<int64_t>(0, Stream->Read(buf.data(), want));
  int64_t found = -1;
  // A header starts within the bytes read (what follows them reads as zeros).
  const int64_t last = std::min(kHeaderScan - 8, got - 2);
  for (int64_t i = 0; i <= last && found < 0; ++i) {
    const uint8_t* p = &buf[size_t(i)];
    bool le;
    if (p[0] == 'I' && p[1] == 'I')
      le = true;
    else if (p[0] == 'M' && p[1] == 'M')
      le = false;
    else
      continue;
    const uint16_t ver = VXTIFFGet16(p + 2, le);
    if (ver != 42 && ver != 0x4F52 && ver != 0x5352) continue;
    const int64_t first = VXTIFFGet32(p + 4, le);
    // The directory offset is taken as a stream position, as the camera
    // formats that hold such headers store it.
    if (first < size && VXIsPlausibleIFDCount(Stream, first, !le)) found = i;
  }
  Stream->SetPosition(P);
  return found;
}
