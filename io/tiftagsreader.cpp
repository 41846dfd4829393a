#include "io/tiftagsreader.h"

#include <algorithm>

#include "core/streams.h"
#include "io/tiffpages.h"

TVXTIFTagsReader::TVXTIFTagsReader() : TVXTIFFTagGetters(nullptr), fIFD(std::make_unique<TVXTIFFIFDReader>()) {
  fTagReader = fIFD.get();
}

TVXTIFTagsReader::~TVXTIFTagsReader() = default;

std::unique_ptr<TVXTIFTagsReader> TVXTIFTagsReader::CreateFromFile(const std::string& FileName, int32_t ImageIndex) {
  auto file = std::make_unique<TVXWideFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  auto r = CreateFromStream(file.get(), ImageIndex);
  r->fFileStream = std::move(file);
  return r;
}

std::unique_ptr<TVXTIFTagsReader> TVXTIFTagsReader::CreateFromStream(TStream* Stream, int32_t ImageIndex) {
  std::unique_ptr<TVXTIFTagsReader> r(new TVXTIFTagsReader());
  r->fStream = Stream;
  if (!VXReadClassicTIFFIFD(Stream, r->fNumi, ImageIndex, *r->fIFD)) r->fIFD->Clear();
  return r;
}

std::unique_ptr<TVXTIFTagsReader> TVXTIFTagsReader::CreateFromIFD(const TVXTIFTagsReader& tagReader, uint16_t IFDTag) {
  std::unique_ptr<TVXTIFTagsReader> r(new TVXTIFTagsReader());
  r->fStream = tagReader.fStream;
  TVXTIFFIFDReader& ifd = *r->fIFD;
  ifd.Stream = tagReader.fStream;
  ifd.LittleEndian = tagReader.fIFD->LittleEndian;
  ifd.StreamBase = 0;
  int64_t offset = tagReader.GetInteger(IFDTag);
  int32_t count = 0;
  if (offset > 0 && ifd.Stream) ifd.ReadIFD(0, offset, count);
  return r;
}

int64_t TVXTIFTagsReader::GetInteger(uint16_t Tag) const { return fIFD->ReadInteger(Tag, 0, 0); }
