// Read-only typed access to the tags of one page, or one sub-directory, of a
// TIFF file or stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/tiffifd.h"

class TStream;

class TVXTIFTagsReader {
public:
  // Opens the file for reading (others may read) and reads page ImageIndex.
  static std::unique_ptr<TVXTIFTagsReader> CreateFromFile(const std::string& FileName, int32_t ImageIndex);
  // Reads page ImageIndex of the TIFF at the stream's position (offsets are
  // stream positions); the stream is not owned.
  static std::unique_ptr<TVXTIFTagsReader> CreateFromStream(TStream* Stream, int32_t ImageIndex);
  // The directory at the offset held by tag IFDTag of tagReader (34665 EXIF,
  // 34853 GPS), in the same stream and byte order.
  static std::unique_ptr<TVXTIFTagsReader> CreateFromIFD(const TVXTIFTagsReader& tagReader, uint16_t IFDTag);

  ~TVXTIFTagsReader();
  TVXTIFTagsReader(const TVXTIFTagsReader&) = delete;
  TVXTIFTagsReader& operator=(const TVXTIFTagsReader&) = delete;

  // Pages found while locating the page.
  int32_t Numi() const { return fNumi; }
  const TVXTIFFIFDReader& IFD() const { return *fIFD; }

  std::string GetMiniString(uint16_t Tag) const;
  std::string GetString(uint16_t Tag) const;
  std::vector<uint8_t> GetRawData(uint16_t Tag) const;
  int32_t GetIntegerArray(uint16_t Tag, std::vector<int64_t>& ar) const;
  int32_t GetIntegerIndexed(uint16_t Tag, int32_t index) const;
  double GetRationalIndexed(uint16_t Tag, int32_t index, double defVal) const;
  double GetRational(uint16_t Tag, double defaultValue) const;
  int64_t GetInteger(uint16_t Tag) const;
  int32_t TagLength(uint16_t Tag) const;
  bool TagExists(uint16_t Tag) const;

private:
  TVXTIFTagsReader();

  std::unique_ptr<TStream> fFileStream;
  TStream* fStream = nullptr;
  std::unique_ptr<TVXTIFFIFDReader> fIFD;
  int32_t fNumi = 0;
};
