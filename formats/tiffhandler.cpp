#include "formats/tiffhandler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>

#include "core/bitmap.h"
#include "core/filewriter.h"
#include "core/streams.h"
#include "core/vxdefs.h"
#include "io/params.h"
#include "io/tagshandler.h"
#include "io/tiffifd.h"
#include "io/vexlaneio.h"

namespace {

using TEntry = TVXTIFFHandler::TEntry;
using TTagList = TVXTIFFHandler::TTagList;

constexpr int32_t kMaxDepth = 8;
constexpr uint16_t kMakerNote = 37500;

bool IsSubDirectoryTag(uint16_t Code) { return Code == 34665 || Code == 34853 || Code == 40965 || Code == 330; }

// The byte-counts tag of a data-offset tag, or 0.
uint16_t CountsTagOf(uint16_t Code, uint16_t Version) {
  switch (Code) {
    case 273: return 279;
    case 324: return 325;
    case 513: return 514;
    case 48320: return Version == 444 ? 48321 : 0;
    case 48322: return Version == 444 ? 48323 : 0;
    default: return 0;
  }
}

int64_t TypeSize(uint16_t Type) { return Type == ttLongOffset ? 4 : VXTIFFTypeSize(Type); }

// Swaps the items of Count values of Type in place (text and bytes stay).
void SwapItems(uint8_t* p, uint16_t Type, int64_t Bytes) {
  int64_t item = TypeSize(Type);
  if (Type == ttRational || Type == ttSRational) item = 4;
  if (item < 2) return;
  for (int64_t i = 0; i + item <= Bytes; i += item) std::reverse(p + i, p + i + item);
}

void ConvertOrder(TTagList& List) {
  for (TEntry& e : List) {
    const int64_t bytes = int64_t(e.Count) * TypeSize(e.Type);
    if (e.Code != kMakerNote) {
      if (bytes <= 4) SwapItems(e.Field, e.Type, bytes);
      else SwapItems(e.Data.data(), e.Type, int64_t(e.Data.size()));
    }
    for (TTagList& s : e.Sub) ConvertOrder(s);
  }
}

void SortList(TTagList& List) {
  std::stable_sort(List.begin(), List.end(), [](const TEntry& a, const TEntry& b) { return a.Code < b.Code; });
}

// Reads directories of one TIFF stream into tag lists in the handler's order.
class TDirectoryReader {
public:
  TDirectoryReader(TStream* Stream, int64_t Base, bool SourceLE, bool TargetLE, uint16_t Version)
      : fS(Stream), fBase(Base), fLE(SourceLE), fSwap(SourceLE != TargetLE), fVersion(Version) {
    fSize = Stream->Size() - Base;
    fBudget = 4 * fSize + (int64_t(1) << 20);
  }

  bool ReadAt(int64_t Pos, void* Buffer, int64_t Count) {
    if (Pos < 0 || Count < 0 || Pos > fSize || Count > fSize - Pos) return false;
    fS->SetPosition(fBase + Pos);
    return fS->Read(Buffer, Count) == Count;
  }

  // The values of a SHORT or LONG entry as read (source order).
  std::vector<uint32_t> Numbers(uint16_t Type, uint32_t Count, const uint8_t* Field, const std::vector<uint8_t>& Data) {
    std::vector<uint32_t> v;
    const int64_t size = TypeSize(Type);
    if (size != 2 && size != 4) return v;
    const uint8_t* p = int64_t(Count) * size <= 4 ? Field : Data.data();
    const int64_t have = int64_t(Count) * size <= 4 ? 4 : int64_t(Data.size());
    for (int64_t i = 0; i < int64_t(Count) && (i + 1) * size <= have; ++i)
      v.push_back(size == 2 ? VXTIFFGet16(p + 2 * i, fLE) : VXTIFFGet32(p + 4 * i, fLE));
    return v;
  }

  // One directory at Pos; Next receives its link (0 when it has none).
  TTagList ReadDirectory(int64_t Pos, int32_t Depth, uint32_t& Next) {
    TTagList list;
    Next = 0;
    if (Depth == 0) fSubRead.clear();
    if (Depth > kMaxDepth || !fOpen.insert(Pos).second) return list;
    uint8_t c[2];
    if (!ReadAt(Pos, c, 2)) {
      fOpen.erase(Pos);
      return list;
    }
    const int32_t n = VXTIFFGet16(c, fLE);
    // The entries count against the same budget as the values, so that
    // directories overlapping one another can't multiply the work.
    if (12 * int64_t(n) > fBudget) {
      fOpen.erase(Pos);
      return list;
    }
    fBudget -= 12 * int64_t(n);
    bool complete = true;
    struct TRaw {
      TEntry E;
      bool Drop = false;
    };
    std::vector<TRaw> raws;
    for (int32_t i = 0; i < n; ++i) {
      uint8_t b[12];
      if (!ReadAt(Pos + 2 + 12 * int64_t(i), b, 12)) {
        complete = false;
        break;
      }
      TRaw r;
      r.E.Code = VXTIFFGet16(b, fLE);
      r.E.Type = VXTIFFGet16(b + 2, fLE);
      r.E.Count = VXTIFFGet32(b + 4, fLE);
      std::memcpy(r.E.Field, b + 8, 4);
      const int64_t L = int64_t(r.E.Count) * TypeSize(r.E.Type);
      if (L > 4) {
        if (L >= fSize || L > fBudget) {
          complete = false;
          break;
        }
        const int64_t off = VXTIFFGet32(b + 8, fLE);
        r.E.Data.resize(size_t(L));
        if (!ReadAt(off, r.E.Data.data(), L)) continue;  // a value outside the stream is dropped
        fBudget -= L;
        r.E.SourcePos = off;
      }
      raws.push_back(std::move(r));
    }
    // Sub-directories, one nested list per offset. Within a page a directory
    // is read once: further links to it are dropped, as each would copy it
    // and everything below it again (eight levels of shared links multiply
    // a few hundred bytes into gigabytes).
    for (TRaw& r : raws) {
      if (!IsSubDirectoryTag(r.E.Code)) continue;
      for (uint32_t off : Numbers(r.E.Type == 13 ? uint16_t(4) : r.E.Type, r.E.Count, r.E.Field, r.E.Data)) {
        if (!fSubRead.insert(off).second) continue;
        uint32_t ignored = 0;
        r.E.Sub.push_back(ReadDirectory(off, Depth + 1, ignored));
      }
      if (r.E.Sub.empty()) r.Drop = true;  // nothing to point at
    }
    // Strips, tiles and the JPEG interchange stream.
    for (TRaw& r : raws) {
      const uint16_t countsTag = CountsTagOf(r.E.Code, fVersion);
      if (!countsTag) continue;
      const TRaw* counts = nullptr;
      for (const TRaw& k : raws)
        if (k.E.Code == countsTag) counts = &k;
      const std::vector<uint32_t> offsets = Numbers(r.E.Type, r.E.Count, r.E.Field, r.E.Data);
      std::vector<uint32_t> lengths;
      if (counts) lengths = Numbers(counts->E.Type, counts->E.Count, counts->E.Field, counts->E.Data);
      if (offsets.empty() || offsets.size() != r.E.Count) {
        r.Drop = true;
        continue;
      }
      bool ok = true;
      for (size_t j = 0; j < offsets.size() && ok; ++j) {
        const int64_t len = j < lengths.size() ? lengths[j] : 0;
        std::vector<uint8_t> block;
        // Lengths are checked against the stream before anything is allocated.
        if (len > 0) {
          if (len > fSize || len > fBudget) ok = false;
          else {
            block.resize(size_t(len));
            if (!ReadAt(offsets[j], block.data(), len)) ok = false;
            fBudget -= len;
          }
        }
        r.E.Strips.push_back(std::move(block));
      }
      if (!ok) {
        r.Drop = true;
        continue;
      }
      r.E.Type = ttLong;
      r.E.Data.clear();
      r.E.SourcePos = -1;
    }
    for (TRaw& r : raws)
      if (!r.Drop) list.push_back(std::move(r.E));
    if (fSwap) ConvertOrder(list);
    // Old-style JPEG: the strips are replaced by the interchange stream.
    auto find = [&](uint16_t Code) {
      for (size_t i = 0; i < list.size(); ++i)
        if (list[i].Code == Code) return int64_t(i);
      return int64_t(-1);
    };
    const int64_t compression = find(259);
    if (compression >= 0 && list[size_t(compression)].Type == ttShort && find(273) >= 0 && find(513) >= 0 &&
        VXTIFFGet16(list[size_t(compression)].Field, !fSwap ? fLE : !fLE) == 6) {
      for (uint16_t code : {273, 519, 520, 521}) {
        const int64_t i = find(code);
        if (i >= 0) list.erase(list.begin() + i);
      }
    }
    SortList(list);
    if (complete) {
      uint8_t l[4];
      if (ReadAt(Pos + 2 + 12 * int64_t(n), l, 4)) Next = VXTIFFGet32(l, fLE);
    }
    fOpen.erase(Pos);
    return list;
  }

  std::set<int64_t> Pages;  // pages read, so that a chain leading back ends

private:
  TStream* fS;
  int64_t fBase;
  bool fLE, fSwap;
  uint16_t fVersion;
  int64_t fSize = 0, fBudget = 0;
  std::set<int64_t> fOpen;
  std::set<int64_t> fSubRead;  // sub-directories read so far for the page
};

// Writes tag lists into a memory stream whose position 0 is the header.
class TDirectoryWriter {
public:
  TDirectoryWriter(bool LE) : fLE(LE) {}
  TMemoryStream Out;

  int64_t Align() {
    if (Out.Size() & 1) {
      const uint8_t z = 0;
      Out.SetPosition(Out.Size());
      Out.WriteBuffer(&z, 1);
    }
    return Out.Size();
  }
  int64_t Append(const void* p, int64_t n) {
    const int64_t at = Out.Size();
    Out.SetPosition(at);
    if (n > 0) Out.WriteBuffer(p, n);
    return at;
  }
  void PutAt(int64_t Pos, const void* p, int64_t n) {
    Out.SetPosition(Pos);
    Out.WriteBuffer(p, n);
  }
  int64_t AppendNumbers(const std::vector<uint32_t>& v) {
    std::vector<uint8_t> b(v.size() * 4);
    for (size_t i = 0; i < v.size(); ++i) VXTIFFPut32(&b[i * 4], v[i], fLE);
    Align();
    return Append(b.data(), int64_t(b.size()));
  }

  // Writes a directory and its data; returns its position and the position of
  // its link field.
  int64_t WriteDirectory(const TTagList& List, int64_t& LinkField) {
    TTagList entries = List;
    SortList(entries);
    // An old-style JPEG page gets a 273 at the start of scan of its stream.
    bool has273 = false, has513 = false;
    for (const TEntry& e : entries) {
      has273 |= e.Code == 273;
      has513 |= e.Code == 513 && e.Strips.size() == 1;
    }
    if (has513 && !has273) {
      TEntry s;
      s.Code = 273;
      s.Type = ttLongOffset;
      s.Count = 1;
      entries.push_back(s);
      SortList(entries);
    }
    const int64_t D = Align();
    std::vector<uint8_t> slots(2 + 12 * entries.size() + 4, 0);
    VXTIFFPut16(slots.data(), uint16_t(entries.size()), fLE);
    Append(slots.data(), int64_t(slots.size()));
    LinkField = D + 2 + 12 * int64_t(entries.size());
    int64_t jpegStart = -1;
    int64_t synthetic = -1;
    for (size_t i = 0; i < entries.size(); ++i) {
      const TEntry& e = entries[i];
      uint16_t type = e.Type;
      uint8_t field[4];
      std::memcpy(field, e.Field, 4);
      if (!e.Strips.empty()) {
        std::vector<uint32_t> pos;
        for (const auto& s : e.Strips) pos.push_back(uint32_t(Append(s.data(), int64_t(s.size()))));
        if (e.Code == 513) {
          const auto& s = e.Strips[0];
          int64_t k = 0;
          while (k + 1 < int64_t(s.size()) && !(s[size_t(k)] == 0xFF && s[size_t(k + 1)] == 0xDA)) ++k;
          jpegStart = pos[0] + (k + 1 < int64_t(s.size()) ? k : int64_t(s.size()));
        }
        type = ttLong;
        if (pos.size() == 1) VXTIFFPut32(field, pos[0], fLE);
        else VXTIFFPut32(field, uint32_t(AppendNumbers(pos)), fLE);
      } else if (!e.Sub.empty()) {
        std::vector<uint32_t> pos;
        for (const TTagList& sub : e.Sub) {
          int64_t link = 0;
          pos.push_back(uint32_t(WriteDirectory(sub, link)));
        }
        if (pos.size() == 1) VXTIFFPut32(field, pos[0], fLE);
        else VXTIFFPut32(field, uint32_t(AppendNumbers(pos)), fLE);
      } else if (e.Code == 273 && e.Type == ttLongOffset && has513 && !has273) {
        synthetic = int64_t(i);
      } else if (int64_t(e.Count) * TypeSize(e.Type) > 4) {
        const int64_t at = Align();
        Append(e.Data.data(), int64_t(e.Data.size()));
        VXTIFFPut32(field, uint32_t(at), fLE);
        // A maker note's offsets count from the file's start: they move with it.
        if (e.Code == kMakerNote && e.SourcePos >= 0) {
          TVXTagsHandlerRelocator(&Out, at, at - e.SourcePos, fLE).Relocate();
        }
      }
      uint8_t b[12];
      VXTIFFPut16(b, e.Code, fLE);
      VXTIFFPut16(b + 2, type == ttLongOffset ? uint16_t(ttLong) : type, fLE);
      VXTIFFPut32(b + 4, uint32_t(e.Strips.empty() && e.Sub.empty() ? e.Count : uint32_t(std::max(e.Strips.size(), e.Sub.size()))), fLE);
      std::memcpy(b + 8, field, 4);
      PutAt(D + 2 + 12 * int64_t(i), b, 12);
    }
    if (synthetic >= 0) {
      uint8_t f[4];
      VXTIFFPut32(f, uint32_t(jpegStart < 0 ? 0 : jpegStart), fLE);
      PutAt(D + 2 + 12 * synthetic + 8, f, 4);
    }
    Out.SetPosition(Out.Size());
    return D;
  }

private:
  bool fLE;
};

const std::vector<std::pair<uint16_t, const char*>>& TagNames() {
  static const std::vector<std::pair<uint16_t, const char*>> names = {
      {254, "NewSubfileType"}, {255, "SubfileType"}, {256, "ImageWidth"}, {257, "ImageLength"},
      {258, "BitsPerSample"}, {259, "Compression"}, {262, "PhotometricInterpretation"}, {263, "Thresholding"},
      {264, "CellWidth"}, {265, "CellHeight"}, {266, "FillOrder"}, {269, "DocumentName"},
      {270, "ImageDescription"}, {271, "Manufacturer"}, {272, "Model"}, {273, "StripOffsets"},
      {274, "Orientation"}, {277, "SamplesPerPixel"}, {278, "RowsPerStrip"}, {279, "StripByteCounts"},
      {280, "MinSampleValue"}, {281, "MaxSampleValue"}, {282, "XResolution"}, {283, "YResolution"},
      {284, "PlanarConfiguration"}, {285, "PageName"}, {286, "XPosition"}, {287, "YPosition"},
      {288, "FreeOffsets"}, {289, "FreeByteCounts"}, {290, "GratResponseUnit"}, {291, "GrayResponseCurve"},
      {292, "T4Options"}, {293, "T6Options"}, {296, "ResolutionUnit"}, {297, "PageNumber"},
      {301, "TransferFunction"}, {305, "Software"}, {306, "DateTime"}, {315, "Artist"}, {316, "HostComputer"},
      {317, "Predictor"}, {318, "WhitePoint"}, {319, "PrimaryChromaticities"}, {320, "ColorMap"},
      {321, "HalftoneHints"}, {322, "TileWidth"}, {323, "TileLength"}, {324, "TileOffsets"},
      {325, "TileByteCounts"}, {326, "BadFaxLines"}, {327, "CleanFaxData"}, {328, "ConsecutiveBadFaxLines"},
      {330, "SubIFDs"}, {332, "InkSet"}, {333, "InkNames"}, {334, "NumberOfInks"}, {336, "DotRange"},
      {337, "TargetPrinter"}, {338, "ExtraSamples"}, {339, "SampleFormat"}, {340, "SMinSampleValue"},
      {341, "SMaxSampleValue"}, {342, "TransferRange"}, {347, "JPEGTables"}, {512, "JPEGProc"},
      {513, "JPEGInterchangeFormat"}, {514, "JPEGInterchangeFormatLength"}, {515, "JPEGRestartInterval"},
      {517, "JPEGLosslessPredictors"}, {518, "JPEGPointTransforms"}, {519, "JPEGQTables"},
      {520, "JPEGDCTables"}, {521, "JPEGACTables"}, {529, "YCbCrCoefficients"}, {530, "YCbCrSubSampling"},
      {531, "YCbCrPositioning"}, {532, "ReferenceBlackWhite"}, {700, "XMP"}, {32932, "Imaging Wang annot."},
      {33432, "Copyright"}, {33723, "IPTC info"}, {34377, "PhotoshopTags"}, {34665, "Sub EXIF"},
      {34675, "ICC Color Profile"}, {34853, "GPS IFD"}, {37398, "EP Standard"}, {40965, "Interoperability IFD"},
      {50706, "DNGVersion"}};
  return names;
}

}  // namespace

TVXTIFFHandler::TVXTIFFHandler(const std::string& FileName) { ReadFile(FileName); }
TVXTIFFHandler::TVXTIFFHandler(TStream* Stream) { ReadStream(Stream); }

bool TVXTIFFHandler::ReadFile(const std::string& FileName) {
  if (!std::filesystem::is_regular_file(FileName)) return false;
  TVXWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return ReadStream(&f);
}

bool TVXTIFFHandler::ReadStream(TStream* Stream) {
  FreeData();
  return InsertTIFFStream(Stream, 0);
}

bool TVXTIFFHandler::InsertTIFFStream(TStream* Stream, int32_t pageIndex) {
  const int64_t base = Stream->Position();
  uint8_t h[8];
  if (Stream->Read(h, 8) != 8) return false;
  bool le;
  if (h[0] == 'I' && h[1] == 'I') le = true;
  else if (h[0] == 'M' && h[1] == 'M') le = false;
  else return false;
  // An empty handler takes the stream's order and version; pages of the
  // other order are converted to the handler's.
  if (fPages.empty()) {
    fBigEndian = !le;
    fVersion = VXTIFFGet16(h + 2, le);
  }
  TDirectoryReader reader(Stream, base, le, !fBigEndian, VXTIFFGet16(h + 2, le));
  int64_t index = pageIndex < 0 || pageIndex > GetPagesCount() ? GetPagesCount() : pageIndex;
  uint32_t pos = VXTIFFGet32(h + 4, le);
  std::set<uint32_t> seen;
  while (pos != 0 && seen.insert(pos).second) {
    uint32_t next = 0;
    TTagList page = reader.ReadDirectory(pos, 0, next);
    fPages.insert(fPages.begin() + index, std::move(page));
    ++index;
    pos = next;
  }
  return true;
}

bool TVXTIFFHandler::InsertTIFFFile(const std::string& FileName, int32_t pageIndex) {
  if (!std::filesystem::is_regular_file(FileName)) return false;
  TVXWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return InsertTIFFStream(&f, pageIndex);
}

namespace {

constexpr int32_t kJPEGFileType = 3;

bool SaveAsTIFF(TVexlaneIO& IO, TMemoryStream& Out) {
  if (IO.Aborting() || !IO.AttachedVXBitmap() || IO.AttachedVXBitmap()->IsEmpty()) return false;
  IO.Params().SetTIFF_ImageIndex(0);
  const bool headers = IO.StreamHeaders();
  IO.SetStreamHeaders(false);
  IO.SaveToStreamTIFF(&Out);
  IO.SetStreamHeaders(headers);
  return !IO.Aborting();
}

}  // namespace

bool TVXTIFFHandler::InsertPageAsStream(TStream* Stream, int32_t pageIndex) {
  TVXBitmap bitmap;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bitmap);
  if (!io.LoadFromStream(Stream)) return false;
  if (io.Params().FileType() == kJPEGFileType) io.Params().SetTIFF_Compression(ioTIFF_JPEG);
  TMemoryStream tiff;
  if (!SaveAsTIFF(io, tiff)) return false;
  tiff.SetPosition(0);
  return InsertTIFFStream(&tiff, pageIndex);
}

bool TVXTIFFHandler::InsertPageAsFile(const std::string& FileName, int32_t pageIndex) {
  if (!std::filesystem::is_regular_file(FileName)) return false;
  TVXWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return InsertPageAsStream(&f, pageIndex);
}

bool TVXTIFFHandler::InsertPageAsImage(TVexlaneIO* IO, int32_t pageIndex) {
  if (!IO) return false;
  TMemoryStream tiff;
  if (!SaveAsTIFF(*IO, tiff)) return false;
  tiff.SetPosition(0);
  return InsertTIFFStream(&tiff, pageIndex);
}

void TVXTIFFHandler::WriteStream(TStream* Stream, int32_t page) {
  const bool le = !fBigEndian;
  TDirectoryWriter w(le);
  uint8_t h[8];
  h[0] = h[1] = le ? 'I' : 'M';
  VXTIFFPut16(h + 2, fVersion, le);
  VXTIFFPut32(h + 4, 8, le);
  w.Append(h, 8);
  int64_t prevLink = 4;
  bool first = true;
  for (int32_t p = 0; p < GetPagesCount(); ++p) {
    if (page >= 0 && page < GetPagesCount() && p != page) continue;
    int64_t link = 0;
    const int64_t D = w.WriteDirectory(fPages[size_t(p)], link);
    uint8_t f[4];
    VXTIFFPut32(f, uint32_t(D), le);
    w.PutAt(prevLink, f, 4);
    first = false;
    prevLink = link;
  }
  if (first) {
    const uint8_t zero[4] = {};
    w.PutAt(4, zero, 4);
  }
  Stream->WriteBuffer(w.Out.Memory(), w.Out.Size());
}

void TVXTIFFHandler::WriteFile(const std::string& FileName, int32_t page) {
  bool aborting = false;
  VXWriteFileSafely(FileName, aborting, [&](TStream* Out) { WriteStream(Out, page); });
}

void TVXTIFFHandler::FreeData() { fPages.clear(); }

TVXTIFFHandler::TTagList& TVXTIFFHandler::Page(int32_t pageIndex) {
  if (pageIndex < 0 || pageIndex >= GetPagesCount())
    throw EVXException("TIFF handler: page index " + std::to_string(pageIndex) + " out of range");
  return fPages[size_t(pageIndex)];
}

const TVXTIFFHandler::TTagList& TVXTIFFHandler::Page(int32_t pageIndex) const {
  return const_cast<TVXTIFFHandler*>(this)->Page(pageIndex);
}

const TVXTIFFHandler::TEntry& TVXTIFFHandler::Entry(int32_t pageIndex, int32_t tagIndex) const {
  const TTagList& p = Page(pageIndex);
  if (tagIndex < 0 || tagIndex >= int32_t(p.size()))
    throw EVXException("TIFF handler: tag index " + std::to_string(tagIndex) + " out of range");
  return p[size_t(tagIndex)];
}

void TVXTIFFHandler::DeletePage(int32_t pageIndex) {
  Page(pageIndex);
  fPages.erase(fPages.begin() + pageIndex);
}

void TVXTIFFHandler::ExchangePage(int32_t Index1, int32_t Index2) { std::swap(Page(Index1), Page(Index2)); }

void TVXTIFFHandler::MovePage(int32_t CurIndex, int32_t NewIndex) {
  TTagList p = std::move(Page(CurIndex));
  fPages.erase(fPages.begin() + CurIndex);
  if (NewIndex < 0 || NewIndex > GetPagesCount()) {
    fPages.insert(fPages.begin() + CurIndex, std::move(p));
    throw EVXException("TIFF handler: page index " + std::to_string(NewIndex) + " out of range");
  }
  fPages.insert(fPages.begin() + NewIndex, std::move(p));
}

int32_t TVXTIFFHandler::InsertPage(int32_t pageIndex) {
  if (pageIndex < 0 || pageIndex >= GetPagesCount()) {
    fPages.emplace_back();
    return GetPagesCount() - 1;
  }
  fPages.insert(fPages.begin() + pageIndex, TTagList());
  return pageIndex;
}

int32_t TVXTIFFHandler::InsertPage(int32_t pageIndex, const TVXTIFFHandler& sourceHandler, int32_t sourcePage) {
  TTagList copy = sourceHandler.Page(sourcePage);
  if (sourceHandler.fBigEndian != fBigEndian) ConvertOrder(copy);
  const int32_t at = InsertPage(pageIndex);
  fPages[size_t(at)] = std::move(copy);
  return at;
}

int32_t TVXTIFFHandler::GetTagsCount(int32_t pageIndex) const {
  return pageIndex >= 0 && pageIndex < GetPagesCount() ? int32_t(fPages[size_t(pageIndex)].size()) : 0;
}

int32_t TVXTIFFHandler::FindTag(int32_t pageIndex, uint16_t tagCode) const {
  if (pageIndex < 0 || pageIndex >= GetPagesCount()) return -1;
  const TTagList& p = fPages[size_t(pageIndex)];
  for (size_t i = 0; i < p.size(); ++i)
    if (p[i].Code == tagCode) return int32_t(i);
  return -1;
}

int32_t TVXTIFFHandler::GetTagCode(int32_t pageIndex, int32_t tagIndex) const {
  if (pageIndex < 0 || pageIndex >= GetPagesCount()) return -1;
  return Entry(pageIndex, tagIndex).Code;
}

int32_t TVXTIFFHandler::GetTagType(int32_t pageIndex, int32_t tagIndex) const {
  if (pageIndex < 0 || pageIndex >= GetPagesCount()) return 0;
  return Entry(pageIndex, tagIndex).Type;
}

int32_t TVXTIFFHandler::GetTagLength(int32_t pageIndex, int32_t tagIndex) const {
  if (pageIndex < 0 || pageIndex >= GetPagesCount()) return 0;
  return int32_t(Entry(pageIndex, tagIndex).Count);
}

int32_t TVXTIFFHandler::GetTagLengthInBytes(int32_t pageIndex, int32_t tagIndex) const {
  if (pageIndex < 0 || pageIndex >= GetPagesCount()) return 0;
  const TEntry& e = Entry(pageIndex, tagIndex);
  return int32_t(int64_t(e.Count) * TypeSize(e.Type));
}

const uint8_t* TVXTIFFHandler::ValueBytes(const TEntry& e) const {
  return int64_t(e.Count) * TypeSize(e.Type) <= 4 ? e.Field : e.Data.data();
}

const uint8_t* TVXTIFFHandler::GetValueRAW(int32_t pageIndex, int32_t tagIndex, int32_t arrayIndex) const {
  const TEntry& e = Entry(pageIndex, tagIndex);
  const int64_t size = TypeSize(e.Type);
  if (arrayIndex < 0 || arrayIndex >= int64_t(e.Count) || size == 0) return nullptr;
  return ValueBytes(e) + size * arrayIndex;
}

int32_t TVXTIFFHandler::GetInteger(int32_t pageIndex, int32_t tagIndex, int32_t arrayIndex) const {
  const TEntry& e = Entry(pageIndex, tagIndex);
  const uint8_t* p = GetValueRAW(pageIndex, tagIndex, arrayIndex);
  if (!p) return 0;
  const bool le = !fBigEndian;
  switch (e.Type) {
    case ttByte: case ttAscii: case ttUndefined: return p[0];
    case ttSByte: return int8_t(p[0]);
    case ttShort: case ttSShort: return VXTIFFGet16(p, le);
    case ttLong: case ttSLong: return int32_t(VXTIFFGet32(p, le));
    default: return 0;
  }
}

double TVXTIFFHandler::GetFloat(int32_t pageIndex, int32_t tagIndex, int32_t arrayIndex) const {
  const TEntry& e = Entry(pageIndex, tagIndex);
  const uint8_t* p = GetValueRAW(pageIndex, tagIndex, arrayIndex);
  if (!p) return 0;
  const bool le = !fBigEndian;
  switch (e.Type) {
    case ttRational: {
      const uint32_t n = VXTIFFGet32(p, le), d = VXTIFFGet32(p + 4, le);
      return double(n) / double(d == 0 ? 1 : d);
    }
    case ttSRational: {
      const int32_t n = int32_t(VXTIFFGet32(p, le)), d = int32_t(VXTIFFGet32(p + 4, le));
      return double(n) / double(d == 0 ? 1 : d);
    }
    case ttFloat: {
      const uint32_t v = VXTIFFGet32(p, le);
      float f;
      std::memcpy(&f, &v, 4);
      return f;
    }
    case ttDouble: {
      const uint64_t v = VXTIFFGet64(p, le);
      double d;
      std::memcpy(&d, &v, 8);
      return d;
    }
    default: return 0;
  }
}

std::string TVXTIFFHandler::GetString(int32_t pageIndex, int32_t tagIndex) const {
  if (tagIndex < 0) return std::string();
  const TEntry& e = Entry(pageIndex, tagIndex);
  const int64_t n = std::min<int64_t>(int64_t(e.Count) * std::max<int64_t>(TypeSize(e.Type), 1),
                                      int64_t(e.Count) * TypeSize(e.Type) <= 4 ? 4 : int64_t(e.Data.size()));
  std::string s(reinterpret_cast<const char*>(ValueBytes(e)), size_t(std::max<int64_t>(n, 0)));
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

TVXTagValue TVXTIFFHandler::GetValue(int32_t pageIndex, int32_t tagIndex, int32_t arrayIndex) const {
  const TEntry& e = Entry(pageIndex, tagIndex);
  switch (e.Type) {
    case ttAscii: return GetString(pageIndex, tagIndex);
    case ttRational: case ttSRational: case ttFloat: case ttDouble: return GetFloat(pageIndex, tagIndex, arrayIndex);
    case ttByte: case ttShort: case ttLong: case ttSByte: case ttUndefined: case ttSShort: case ttSLong:
      return GetInteger(pageIndex, tagIndex, arrayIndex);
    default: return std::monostate();
  }
}

void TVXTIFFHandler::SetValue(int32_t pageIndex, uint16_t tagCode, const TVXTagValue& value, TVXTagType tagType) {
  if (tagType == ttUnknown || tagType == ttUndefined || tagType > ttLongOffset)
    throw EVXException("TIFF handler: SetValue takes no undefined data; use SetValueRAW");
  const bool le = !fBigEndian;
  double number = 0;
  if (const int32_t* i = std::get_if<int32_t>(&value)) number = *i;
  else if (const double* d = std::get_if<double>(&value)) number = *d;
  else if (const std::string* s = std::get_if<std::string>(&value)) number = std::atof(s->c_str());
  const int64_t integer = int64_t(std::trunc(number));
  std::vector<uint8_t> b(8, 0);
  int32_t count = 1;
  switch (tagType) {
    case ttAscii: {
      std::string s;
      if (const std::string* t = std::get_if<std::string>(&value)) s = *t;
      else if (std::holds_alternative<int32_t>(value)) s = std::to_string(std::get<int32_t>(value));
      else if (std::holds_alternative<double>(value)) s = std::to_string(std::get<double>(value));
      b.assign(s.begin(), s.end());
      b.push_back(0);
      count = int32_t(b.size());
      break;
    }
    case ttByte: case ttSByte: b[0] = uint8_t(integer); break;
    case ttShort: case ttSShort: VXTIFFPut16(b.data(), uint16_t(integer), le); break;
    case ttLong: case ttSLong: case ttLongOffset: VXTIFFPut32(b.data(), uint32_t(integer), le); break;
    case ttRational: case ttSRational:
      VXTIFFPut32(b.data(), uint32_t(int64_t(std::trunc(number * 10000))), le);
      VXTIFFPut32(b.data() + 4, 10000, le);
      break;
    case ttFloat: {
      const float f = float(number);
      uint32_t v;
      std::memcpy(&v, &f, 4);
      VXTIFFPut32(b.data(), v, le);
      break;
    }
    case ttDouble: {
      uint64_t v;
      std::memcpy(&v, &number, 8);
      VXTIFFPut32(b.data() + (le ? 0 : 4), uint32_t(v), le);
      VXTIFFPut32(b.data() + (le ? 4 : 0), uint32_t(v >> 32), le);
      break;
    }
    default: break;
  }
  SetValueRAW(pageIndex, tagCode, b.data(), count, tagType);
}

void TVXTIFFHandler::SetValueRAW(int32_t pageIndex, uint16_t tagCode, const void* buffer, int32_t dataNum,
                                 TVXTagType tagType) {
  TTagList& p = Page(pageIndex);
  if (dataNum < 0) throw EVXException("TIFF handler: negative value count");
  const int32_t old = FindTag(pageIndex, tagCode);
  if (old >= 0) p.erase(p.begin() + old);
  TEntry e;
  e.Code = tagCode;
  e.Type = uint16_t(tagType);
  e.Count = uint32_t(dataNum);
  const int64_t bytes = int64_t(dataNum) * TypeSize(uint16_t(tagType));
  if (bytes <= 4) {
    if (buffer) std::memcpy(e.Field, buffer, size_t(bytes));
  } else {
    e.Data.assign(size_t(bytes), 0);
    if (buffer) std::memcpy(e.Data.data(), buffer, size_t(bytes));
  }
  p.push_back(std::move(e));
}

void TVXTIFFHandler::DeleteTag(int32_t pageIndex, int32_t tagIndex) {
  Entry(pageIndex, tagIndex);
  TTagList& p = Page(pageIndex);
  p.erase(p.begin() + tagIndex);
}

void TVXTIFFHandler::CopyTag(int32_t srcPageIndex, int32_t srcTagIndex, int32_t dstPageIndex,
                             const TVXTIFFHandler& source) {
  if (srcPageIndex < 0 || srcPageIndex >= source.GetPagesCount() || dstPageIndex < 0 ||
      dstPageIndex >= GetPagesCount() || srcTagIndex < 0)
    return;
  TEntry e = source.Entry(srcPageIndex, srcTagIndex);
  if (source.fBigEndian != fBigEndian) {
    TTagList one{std::move(e)};
    ConvertOrder(one);
    e = std::move(one[0]);
  }
  TTagList& p = fPages[size_t(dstPageIndex)];
  const int32_t old = FindTag(dstPageIndex, e.Code);
  if (old >= 0) p[size_t(old)] = std::move(e);
  else p.push_back(std::move(e));
}

void TVXTIFFHandler::ChangeTagCode(int32_t pageIndex, int32_t tagIndex, uint16_t newCode) {
  Entry(pageIndex, tagIndex);
  TEntry& e = Page(pageIndex)[size_t(tagIndex)];
  if (!e.Sub.empty() || IsSubDirectoryTag(e.Code) || !e.Strips.empty() || CountsTagOf(e.Code, 444)) return;
  e.Code = newCode;
}

void TVXTIFFHandler::SaveTagToFile(int32_t pageIndex, int32_t tagIndex, const std::string& fileName) const {
  std::vector<uint8_t> bytes;
  if (tagIndex >= 0) {
    const TEntry& e = Entry(pageIndex, tagIndex);
    if (!e.Strips.empty()) {
      for (const auto& s : e.Strips) bytes.insert(bytes.end(), s.begin(), s.end());
    } else if (!e.Sub.empty()) {
      TDirectoryWriter w(!fBigEndian);
      int64_t link = 0;
      w.WriteDirectory(e.Sub[0], link);
      const uint8_t* m = static_cast<const uint8_t*>(w.Out.Memory());
      bytes.assign(m, m + w.Out.Size());
    } else {
      const int64_t n = int64_t(e.Count) * TypeSize(e.Type);
      const uint8_t* v = ValueBytes(e);
      bytes.assign(v, v + (n <= 4 ? std::max<int64_t>(n, 0) : int64_t(e.Data.size())));
    }
  }
  bool aborting = false;
  VXWriteFileSafely(fileName, aborting, [&](TStream* Out) {
    if (!bytes.empty()) Out->WriteBuffer(bytes.data(), int64_t(bytes.size()));
  });
}

std::string TVXTIFFHandler::GetTagDescription(int32_t pageIndex, int32_t tagIndex) const {
  const uint16_t code = Entry(pageIndex, tagIndex).Code;
  for (const auto& [c, name] : TagNames())
    if (c == code) return name;
  return "Unknown";
}
