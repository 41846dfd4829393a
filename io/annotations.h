// Image annotations: TVXImagingAnnot (Wang imaging marks, the published
// format of TIFF tag 32932) and TVXVexlaneAnnot (the library's own block,
// "VEXLANEANNOT" followed by a vector-object stream).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;
class TMemoryStream;
class TVXBitmap;
class TIOParamsVals;

// 60-byte 8-bit LOGFONT of the mark attributes.
struct TVXAnnotLogFont {
  int32_t lfHeight = 0, lfWidth = 0, lfEscapement = 0, lfOrientation = 0, lfWeight = 0;
  uint8_t lfItalic = 0, lfUnderline = 0, lfStrikeOut = 0, lfCharSet = 0, lfOutPrecision = 0,
          lfClipPrecision = 0, lfQuality = 0, lfPitchAndFamily = 0;
  char lfFaceName[32] = {};
};

// Colour of a mark: blue, green, red, reserved.
struct TVXAnnotRGBQuad {
  uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
};

// Attributes of one mark: 164 bytes, little-endian.
struct OIAN_MARK_ATTRIBUTES {
  static constexpr int32_t StoredSize = 164;
  int32_t uType = 0;
  int32_t lrBounds[4] = {};  // left, top, right, bottom
  TVXAnnotRGBQuad rgbColor1, rgbColor2;
  int32_t bHighlighting = 0;
  int32_t bTransparent = 0;
  uint32_t uLineSize = 0;
  uint32_t uReserved1 = 0, uReserved2 = 0;
  TVXAnnotLogFont lfFont;
  uint32_t bReserved3 = 0;
  int32_t Time = 0;
  int32_t bVisible = 0;
  uint32_t dwReserved4 = 0;
  int32_t lReserved[10] = {};

  void Read(const uint8_t* p);    // p: StoredSize bytes
  void Write(uint8_t* p) const;   // p: StoredSize bytes
  bool operator==(const OIAN_MARK_ATTRIBUTES& o) const;
};

struct TVXAnnotPoint {
  int32_t x = 0, y = 0;
  bool operator==(const TVXAnnotPoint&) const = default;
};

// One mark: attributes, points relative to the top-left of lrBounds, text
// (UTF-8) and an embedded image.
class TVXImagingObject {
 public:
  TVXImagingObject();
  ~TVXImagingObject();
  OIAN_MARK_ATTRIBUTES attrib;
  std::vector<TVXAnnotPoint> points;
  int32_t pointsLen() const { return int32_t(points.size()); }
  std::string text;
  std::unique_ptr<TVXBitmap> image;
};

class TVXImagingAnnot {
 public:
  explicit TVXImagingAnnot(TIOParamsVals* Parent = nullptr);
  ~TVXImagingAnnot();
  TVXImagingAnnot(const TVXImagingAnnot&) = delete;
  TVXImagingAnnot& operator=(const TVXImagingAnnot&) = delete;

  void Clear();
  void Assign(const TVXImagingAnnot* Source);
  TVXImagingObject* Objects(int32_t idx) const;
  int32_t ObjectsCount() const { return int32_t(fObjects.size()); }
  // Appends a mark (the list takes it).
  void AddObject(std::unique_ptr<TVXImagingObject> Obj) { fObjects.push_back(std::move(Obj)); }
  bool UserChanged() const { return fUserChanged; }
  void SetUserChanged(bool v) { fUserChanged = v; }
  TIOParamsVals* Parent() const { return fParent; }
  void SetParent(TIOParamsVals* p) { fParent = p; }

  // Appends the marks of a Wang block; entries and blocks whose sizes run
  // past the buffer end the reading (the marks read before stay).
  void LoadFromStandardBuffer(const void* buffer, int64_t buflen);
  // The Wang block of the marks; empty when there are none.
  std::vector<uint8_t> SaveToStandardBuffer() const;

  // The Wang marks are not part of the parameter stream: both do nothing.
  void SaveToStream(TStream&) const {}
  void LoadFromStream(TStream&) {}

 private:
  TIOParamsVals* fParent = nullptr;
  bool fUserChanged = false;
  std::vector<std::unique_ptr<TVXImagingObject>> fObjects;
};

class TVXVexlaneAnnot {
 public:
  explicit TVXVexlaneAnnot(TIOParamsVals* Parent = nullptr);
  ~TVXVexlaneAnnot();
  TVXVexlaneAnnot(const TVXVexlaneAnnot&) = delete;
  TVXVexlaneAnnot& operator=(const TVXVexlaneAnnot&) = delete;

  void Clear();
  bool IsEmpty() const;
  void Assign(const TVXVexlaneAnnot* Source);
  TMemoryStream& Data() const { return *fData; }
  TIOParamsVals* Parent() const { return fParent; }

  // True when the buffer holds at least 12 bytes beginning with "VEXLANEANNOT".
  static bool BufferContainsVexlaneAnnot(const void* buffer, int64_t buflen);
  // True when page ImageIndex of the TIFF at the stream's position holds the
  // annotation block in the settings' objects tag; the position is restored.
  static bool TIFFContainsVexlaneAnnot(TStream* Stream, int32_t ImageIndex);
  // The same for a file, opened for reading.
  static bool TIFFContainsVexlaneAnnot(const std::string& FileName, int32_t ImageIndex);
  void LoadFromBuffer(const void* buffer, int64_t buflen);
  // "VEXLANEANNOT" + data; empty when there are no data.
  std::vector<uint8_t> SaveToBuffer() const;
  // int32 size, then the data.
  void SaveToStream(TStream& Stream) const;
  // Reads the size and the data after clearing; a size beyond the bytes that
  // remain leaves the block empty and returns false.
  bool LoadFromStream(TStream& Stream);

 private:
  TIOParamsVals* fParent = nullptr;
  std::unique_ptr<TMemoryStream> fData;
};
