#include "io/tiftagsreader.h"

#include <algorithm>

#include "core/streams.h"
#include "io/tiffpages.h"

TVXTIFTagsReader::TVXTIFTagsReader() : fIFD(std::make_unique<TVXTIFFIFDReader>()) {}

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

std::string TVXTIFTagsReader::GetMiniString(uint16_t Tag) const { return fIFD->ReadString(Tag, true); }
std::string TVXTIFTagsReader::GetString(uint16_t Tag) const { return fIFD->ReadString(Tag, true); }
std::vector<uint8_t> TVXTIFTagsReader::GetRawData(uint16_t Tag) const { return fIFD->ReadRawDataAsArrayOfByte(Tag); }

int32_t TVXTIFTagsReader::GetIntegerArray(uint16_t Tag, std::vector<int64_t>& ar) const {
  return fIFD->ReadArrayIntegers(ar, Tag);
}

int32_t TVXTIFTagsReader::GetIntegerIndexed(uint16_t Tag, int32_t index) const {
  return int32_t(fIFD->ReadInteger(Tag, index, 0));
}

double TVXTIFTagsReader::GetRationalIndexed(uint16_t Tag, int32_t index, double defVal) const {
  return fIFD->ReadRational(Tag, index, defVal);
}

double TVXTIFTagsReader::GetRational(uint16_t Tag, double defaultValue) const {
  return fIFD->ReadRational(Tag, 0, defaultValue);
}

int64_t TVXTIFTagsReader::GetInteger(uint16_t Tag) const { return fIFD->ReadInteger(Tag, 0, 0); }

int32_t TVXTIFTagsReader::TagLength(uint16_t Tag) const {
  int32_t i = fIFD->FindTAG(Tag);
  return i < 0 ? 0 : int32_t(std::min<int64_t>(fIFD->GetDataLengthInBytes(i), INT32_MAX));
}

bool TVXTIFTagsReader::TagExists(uint16_t Tag) const { return fIFD->FindTAG(Tag) >= 0; }
