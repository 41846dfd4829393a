// TIFF directories: the header, every directory of the chain with typed reads
// of every entry, the typed tag reader with its EXIF and GPS directories, the
// probes, and the data read as a camera maker note in
// both byte orders and written back.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/streams.h"
#include "io/tagshandler.h"
#include "io/tiffifd.h"
#include "io/tiffpages.h"
#include "io/tiftagsreader.h"

namespace {

void ReadEntries(const TVXTIFFIFDReader& r) {
  for (int32_t i = 0; i < r.NumTags(); ++i) {
    uint16_t tag = r.Entries()[size_t(i)].IdTag;
    (void)r.ReadInteger(tag, 0, 0);
    (void)r.ReadInteger(tag, r.GetDataNum(i) - 1, 0);
    (void)r.ReadRational(tag, 0, 0);
    (void)r.ReadString(tag, true);
    (void)r.ReadWideString(tag);
    std::vector<int64_t> ar;
    (void)r.ReadArrayIntegers(ar, tag);
    int32_t size = 0;
    (void)r.ReadRawData(tag, size);
  }
}

void ReadNote(const uint8_t* data, size_t size, bool le) {
  TVXMemStream in(data, int64_t(size));
  TVXTagsHandler h;
  h.ReadFromStream(&in, int32_t(size), le, 0);
  ReadEntries(h.IFD());
  TMemoryStream out;
  h.WriteToStream(&out, 0);
  TVXTagsHandler back;
  out.SetPosition(0);
  back.ReadFromStream(&out, int32_t(out.Size()), true, 0);
}

// The typed tag reader over the same bytes: the first pages, and the EXIF
// and GPS sub-directories their offsets point at.
void ReadTags(const uint8_t* data, size_t size) {
  for (int32_t page = 0; page < 2; ++page) {
    TVXMemStream in(data, int64_t(size));
    auto tags = TVXTIFTagsReader::CreateFromStream(&in, page);
    if (!tags) continue;
    (void)tags->GetInteger(256);
    (void)tags->GetString(270);
    for (uint16_t sub : {uint16_t(34665), uint16_t(34853)}) {
      auto dir = TVXTIFTagsReader::CreateFromIFD(*tags, sub);
      if (!dir) continue;
      for (int32_t i = 0; i < dir->IFD().NumTags(); ++i) {
        const uint16_t tag = dir->IFD().Entries()[size_t(i)].IdTag;
        (void)dir->GetInteger(tag);
        (void)dir->GetString(tag);
        (void)dir->GetRawData(tag);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXMemStream in(data, int64_t(size));
  bool le = true, big = false;
  int64_t first = 0;
  int32_t posSize = 4;
  if (VXReadTIFFHeader(&in, nullptr, le, first, posSize, big)) {
    TVXTIFFIFDReader r;
    r.Stream = &in;
    r.LittleEndian = le;
    r.IsBigTIFF = big;
    r.DataPosSize = posSize;
    int32_t count = 0;
    for (int32_t page = 0; page < 4; ++page) {
      if (!r.ReadIFD(page, first, count)) break;
      ReadEntries(r);
    }
  }
  in.SetPosition(0);
  (void)VXIsTIFFStream(&in);
  (void)VXIsRawTIFFStream(&in);
  (void)VXIsHDPhotoStream(&in);
  ReadTags(data, size);
  ReadNote(data, size, true);
  ReadNote(data, size, false);
  return 0;
}
