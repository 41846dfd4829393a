// Read-only typed access to the tags of one page, or one sub-directory, of a
// TIFF file or stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/tiffifd.h"

class TStream;

class TVXTIFTagsReader : public TVXTIFFTagGetters {
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

  // The getters of TVXTIFFTagGetters, and:
  int64_t GetInteger(uint16_t Tag) const;  // 0 when absent

private:
  TVXTIFTagsReader();

  std::unique_ptr<TStream> fFileStream;
  TStream* fStream = nullptr;
  std::unique_ptr<TVXTIFFIFDReader> fIFD;
  int32_t fNumi = 0;
};
