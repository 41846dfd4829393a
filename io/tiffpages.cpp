#include "io/tiffpages.h"

#include "core/settings.h"
#include "core/streams.h"
#include "io/tiffifd.h"

namespace {

// Puts the stream back where it was on every way out.
class TPositionKeeper {
public:
  explicit TPositionKeeper(TStream* s) : fStream(s), fPos(s->Position()) {}
  ~TPositionKeeper() { fStream->Seek(fPos, soBeginning); }

private:
  TStream* fStream;
  int64_t fPos;
};

// Reads the classic header at the stream's position and loads the first
// directory into reader (base 0). Byte order from "II" or "MM" only.
bool LoadFirstClassicIFD(TStream* s, TVXTIFFIFDReader& reader, bool littleEndianOnly) {
  uint8_t h[8] = {};
  if (s->Read(h, 8) != 8) return false;
  bool le;
  if (h[0] == 'I' && h[1] == 'I')
    le = true;
  else if (h[0] == 'M' && h[1] == 'M' && !littleEndianOnly)
    le = false;
  else
    return false;
  reader.Clear();
  reader.Stream = s;
  reader.StreamBase = 0;
  reader.LittleEndian = le;
  reader.IsBigTIFF = false;
  reader.DataPosSize = 4;
  uint32_t first = VXTIFFGet32(h + 4, le);
  int32_t numi = 0;
  return first != 0 && reader.ReadIFD(0, first, numi);
}

}  // namespace

bool VXReadClassicTIFFIFD(TStream* Stream, int32_t& numi, int32_t ImageIndex, TVXTIFFIFDReader& reader) {
  reader.Clear();
  reader.Stream = Stream;
  reader.StreamBase = 0;
  numi = 0;
  uint8_t h[8] = {};
  if (Stream->Read(h, 8) != 8) return false;
  if (h[0] == 'I' && h[1] == 'I')
    reader.LittleEndian = true;
  else if (h[0] == 'M' && h[1] == 'M')
    reader.LittleEndian = false;
  else
    return false;
  reader.IsBigTIFF = false;
  reader.DataPosSize = 4;
  uint32_t first = VXTIFFGet32(h + 4, reader.LittleEndian);
  return first != 0 && reader.ReadIFD(ImageIndex, first, numi);
}

bool VXIsTIFFStream(TStream* Stream) {
  try {
    TPositionKeeper keep(Stream);
    if (Stream->Size() - Stream->Position() <= 20) return false;
    TVXBufferedReadStream s(Stream, 1024, VXGetGlobalSettings()->UseRelativeStreams());
    bool le = true, big = false;
    int64_t first = 0;
    int32_t posSize = 4;
    if (!VXReadTIFFHeader(&s, nullptr, le, first, posSize, big)) return false;
    TVXTIFFIFDReader reader;
    reader.Stream = &s;
    reader.StreamBase = 0;
    reader.LittleEndian = le;
    reader.IsBigTIFF = big;
    reader.DataPosSize = posSize;
    int32_t numi = 0;
    if (!reader.ReadIFD(0, first, numi)) return false;
    return reader.FindTAG(256) >= 0 && reader.FindTAG(257) >= 0;
  } catch (...) {
    return false;
  }
}

bool VXIsRawTIFFStream(TStream* Stream) {
  try {
    TPositionKeeper keep(Stream);
    TVXTIFFIFDReader r;
    if (!LoadFirstClassicIFD(Stream, r, false)) return false;
    int32_t i = r.FindTAG(50706);  // DNGVersion
    if (i >= 0 && r.GetDataType(i) == 1 && r.GetDataNum(i) == 4) return true;
    i = r.FindTAG(262);  // PhotometricInterpretation
    if (i >= 0 && r.GetDataType(i) == 3 && r.GetDataNum(i) == 1) {
      int64_t v = r.GetItem(i, 0);
      if (v == 32803 || v == 34892) return true;
    }
    if (r.FindTAG(330) >= 0 && r.FindTAG(37398) >= 0)  // SubIFDs, TIFF/EP StandardID
      return r.ReadInteger(256, 0, 0) < 200 && r.ReadInteger(257, 0, 0) < 200;
    return false;
  } catch (...) {
    return false;
  }
}

bool VXIsHDPhotoStream(TStream* Stream) {
  try {
    TPositionKeeper keep(Stream);
    if (Stream->Size() - Stream->Position() <= 8) return false;
    TVXBufferedReadStream s(Stream, 1024, VXGetGlobalSettings()->UseRelativeStreams());
    TVXTIFFIFDReader r;
    if (!LoadFirstClassicIFD(&s, r, true)) return false;
    for (uint16_t tag : {48256, 48257, 48129, 48320, 48321})
      if (r.FindTAG(tag) < 0) return false;
    return true;
  } catch (...) {
    return false;
  }
}
