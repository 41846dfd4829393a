// Camera maker notes: TVXTagsHandler keeps one note (the value of EXIF tag
// 37500) as a self-contained tag block that the directory reader's getters
// read, and writes it back into a new EXIF block; TVXTagsHandlerRelocator
// moves the offsets of a note that lies in a stream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/tiffifd.h"

class TStream;
class TMemoryStream;

enum TVXMakerNoteBase { vxmnAbsolute, vxmnTIFFHeader, vxmnEXIFSegment };
enum TVXMakerNoteHeaderType { vxmnNONE, vxmnTIFF, vxmnIFDOFFSET };
enum TVXMakerNoteByteOrder { vxboFromEXIF, vxboFromTIFFHeader, vxboLittleEndian, vxboBigEndian };

// How one maker lays out its notes.
struct TVXEXIFMakerNoteDeviceInfo {
  std::string signature;  // opening bytes (may hold NULs)
  TVXMakerNoteBase base = vxmnAbsolute;
  TVXMakerNoteHeaderType headerType = vxmnNONE;
  TTIFFHeader TIFFHeader;  // the note's own header (vxmnTIFF), bytes as stored
  TVXMakerNoteByteOrder byteOrder = vxboFromEXIF;
};

// Called for each entry of a note before it is converted: the stream position
// of the 12-byte entry, the note's byte order and the entry as stored (its
// fields read as little-endian numbers).
using TVXTagsHandlerAddTagFunc = std::function<void(int32_t tagPosition, bool littleEndian, TTIFFTAG& tag)>;

class TVXTagsHandler : public TVXTIFFTagGetters {
public:
  TVXTagsHandler();
  ~TVXTagsHandler();
  TVXTagsHandler(const TVXTagsHandler&) = delete;
  TVXTagsHandler& operator=(const TVXTagsHandler&) = delete;

  void Clear();
  void Assign(const TVXTagsHandler& source);

  // Parses a note of size bytes at the stream's position (only the bytes the
  // stream holds are taken). A note that cannot be parsed leaves the handler empty.
  void ReadFromStream(TStream* stream, int32_t size, bool littleEndian, int64_t exifSegmentPos,
                      const TVXTagsHandlerAddTagFunc& addTagFunc = nullptr);
  // Writes the note at the stream's position; its length, or 0 (stream put
  // back as it was) when it would exceed 65,000 bytes.
  int32_t WriteToStream(TStream* stream, int64_t exifSegmentPos);

  // Takes over a raw note (nullptr sets the length to 0).
  void SetUnparsedData(std::unique_ptr<uint8_t[]> data, int32_t length);
  const uint8_t* UnparsedData() const { return fUnparsedData.get(); }
  int32_t UnparsedDataLength() const { return fUnparsedDataLength; }
  const TVXEXIFMakerNoteDeviceInfo& EXIFMakerInfo() const { return fEXIFMakerInfo; }
  // The normalised block and its reader.
  TMemoryStream& Data() const { return *fData; }
  const TVXTIFFIFDReader& IFD() const { return *fIFD; }
  // Reloads the reader's entries from the block.
  void Update();

  // The getters of TVXTIFFTagGetters, and:
  int32_t GetInteger(uint16_t Tag) const;  // 0 when absent

private:
  bool Parse(TStream* stream, int32_t size, bool littleEndian, int64_t exifSegmentPos,
             const TVXTagsHandlerAddTagFunc& addTagFunc);

  std::unique_ptr<uint8_t[]> fUnparsedData;
  int32_t fUnparsedDataLength = 0;
  TVXEXIFMakerNoteDeviceInfo fEXIFMakerInfo;
  std::unique_ptr<TMemoryStream> fData;
  std::unique_ptr<TVXTIFFIFDReader> fIFD;
};

// Adds Offset to every out-of-line offset of the note at Position of Stream,
// in place. Notes whose offsets count from the note itself or from its own
// TIFF header (Nikon, FUJIFILM, LEICA) are left as they are.
class TVXTagsHandlerRelocator {
public:
  TVXTagsHandlerRelocator(TStream* Stream_, int64_t Position_, int64_t Offset_, bool LittleEndian_);
  ~TVXTagsHandlerRelocator();
  void Relocate();

  TStream* Stream;
  int64_t Position;
  int64_t Offset;
  bool LittleEndian;

private:
  std::unique_ptr<TVXTagsHandler> TagsHandler;
};
