// Deleting pages of a classic TIFF without decoding them. The kept pages are
// copied one after another into a new layout: their strips and tiles, the
// old-style JPEG interchange stream, every out-of-line value and the EXIF,
// GPS and interoperability directories (with the camera maker note moved
// along), each pointer set to where its data now lies.
#include "formats/tiff_pages.h"

#include <cstring>
#include <exception>
#include <set>
#include <vector>

#include "core/filewriter.h"
#include "core/streams.h"
#include "formats/tiffhandler.h"
#include "io/exif.h"
#include "io/tagshandler.h"
#include "io/tiffifd.h"

namespace {

// Raised inside the copier for anything that would not give a whole file.
struct TCopyFailure {};

constexpr uint16_t kStripOffsets = 273, kStripByteCounts = 279, kTileOffsets = 324, kTileByteCounts = 325,
                   kSubIFDs = 330, kJPEGInterchange = 513, kJPEGInterchangeLength = 514, kMakerNote = 37500;
constexpr int32_t kMaxSubDirectoryDepth = 8;

bool IsSubDirectoryTag(uint16_t Tag) { return Tag == 34665 || Tag == 34853 || Tag == 40965; }

class TPageCopier {
public:
  TPageCopier(const std::vector<uint8_t>& Source, bool LittleEndian) : fSrc(Source), fLE(LittleEndian) {}

  TMemoryStream Out;

  int64_t SourceSize() const { return int64_t(fSrc.size()); }

  void Need(int64_t Pos, int64_t Count) const {
    if (Pos < 0 || Count < 0 || Pos > SourceSize() || Count > SourceSize() - Pos) throw TCopyFailure{};
  }
  uint16_t Get16(int64_t Pos) const {
    Need(Pos, 2);
    return VXTIFFGet16(&fSrc[size_t(Pos)], fLE);
  }
  uint32_t Get32(int64_t Pos) const {
    Need(Pos, 4);
    return VXTIFFGet32(&fSrc[size_t(Pos)], fLE);
  }

  // Writes a 32-bit number at Pos of the output (which must already hold it).
  void Put32At(int64_t Pos, uint32_t Value) {
    uint8_t b[4];
    VXTIFFPut32(b, Value, fLE);
    const int64_t keep = Out.Position();
    Out.SetPosition(Pos);
    Out.WriteBuffer(b, 4);
    Out.SetPosition(keep);
  }

  // Kept pages take no more room than the stream had, apart from padding and
  // widened offsets; blocks that many entries share are copied once per
  // entry, and a stream whose copies would grow far beyond its size (strips
  // named over and over) is not rebuilt.
  void Room(int64_t Count) {
    const int64_t limit = 2 * SourceSize() + 65536;
    if (Count > limit - Out.Position()) throw TCopyFailure{};
  }

  int64_t AlignOut() {
    if (Out.Position() & 1) {
      const uint8_t zero = 0;
      Out.WriteBuffer(&zero, 1);
    }
    return Out.Position();
  }

  // Copies Count source bytes from Pos to the output's end; the bytes past
  // the source's end are left as zeros. Returns where they start.
  int64_t CopyBytes(int64_t Pos, int64_t Count) {
    const int64_t at = Out.Position();
    if (Count <= 0) return at;
    Room(Count);
    const int64_t have = Pos >= 0 && Pos < SourceSize() ? std::min(Count, SourceSize() - Pos) : 0;
    if (have > 0) Out.WriteBuffer(&fSrc[size_t(Pos)], have);
    if (have < Count) {
      const std::vector<uint8_t> zeros(size_t(Count - have), 0);
      Out.WriteBuffer(zeros.data(), int64_t(zeros.size()));
    }
    return at;
  }

  // The values of a SHORT or LONG entry, inline or out of line.
  std::vector<uint32_t> Values(const uint8_t* Entry) const {
    const uint16_t type = VXTIFFGet16(Entry + 2, fLE);
    const int64_t count = VXTIFFGet32(Entry + 4, fLE);
    if (type != 3 && type != 4) throw TCopyFailure{};
    const int64_t size = type == 3 ? 2 : 4;
    if (count > SourceSize() / size + 1) throw TCopyFailure{};
    const uint8_t* p = Entry + 8;
    if (count * size > 4) {
      const int64_t off = VXTIFFGet32(Entry + 8, fLE);
      Need(off, count * size);
      p = &fSrc[size_t(off)];
    }
    std::vector<uint32_t> v(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) v[size_t(i)] = size == 2 ? VXTIFFGet16(p + 2 * i, fLE) : VXTIFFGet32(p + 4 * i, fLE);
    return v;
  }

  // Copies the directory at At (with the data it points to) to the output's
  // end; returns the new directory's position and the position of its link
  // field (which holds 0).
  int64_t CopyDirectory(int64_t At, int64_t& LinkField, int32_t Depth) {
    if (Depth > kMaxSubDirectoryDepth || !fOpen.insert(At).second) throw TCopyFailure{};
    const int64_t n = Get16(At);
    Need(At + 2, n * 12);
    const uint8_t* first = &fSrc[size_t(At + 2)];

    auto find = [&](uint16_t Tag) -> const uint8_t* {
      for (int64_t i = 0; i < n; ++i)
        if (VXTIFFGet16(first + 12 * i, fLE) == Tag) return first + 12 * i;
      return nullptr;
    };

    std::vector<std::vector<uint8_t>> entries;
    for (int64_t i = 0; i < n; ++i) {
      std::vector<uint8_t> e(first + 12 * i, first + 12 * i + 12);
      const uint16_t tag = VXTIFFGet16(&e[0], fLE);
      uint16_t type = VXTIFFGet16(&e[2], fLE);
      const int64_t count = VXTIFFGet32(&e[4], fLE);
      const int64_t off = VXTIFFGet32(&e[8], fLE);
      const int64_t bytes = count * VXTIFFTypeSize(type);

      if (tag == kSubIFDs) continue;  // their directories are not carried over
      if (tag == kStripOffsets || tag == kTileOffsets) {
        const uint8_t* countsEntry = find(tag == kStripOffsets ? kStripByteCounts : kTileByteCounts);
        if (!countsEntry) throw TCopyFailure{};
        const std::vector<uint32_t> offsets = Values(&e[0]);
        const std::vector<uint32_t> counts = Values(countsEntry);
        if (counts.size() < offsets.size()) throw TCopyFailure{};
        std::vector<uint32_t> moved(offsets.size());
        uint32_t largest = 0;
        for (size_t j = 0; j < offsets.size(); ++j) {
          Need(offsets[j], counts[j]);
          const int64_t at = CopyBytes(offsets[j], counts[j]);
          if (at > int64_t(UINT32_MAX)) throw TCopyFailure{};
          moved[j] = uint32_t(at);
          largest = std::max(largest, moved[j]);
        }
        // Offsets that no longer fit in 16 bits are stored as LONG.
        if (type == 3 && largest > 0xFFFF) {
          type = 4;
          VXTIFFPut16(&e[2], type, fLE);
        }
        const int64_t itemSize = type == 3 ? 2 : 4;
        Room(int64_t(moved.size()) * itemSize);
        std::vector<uint8_t> raw(moved.size() * size_t(itemSize));
        for (size_t j = 0; j < moved.size(); ++j) {
          if (itemSize == 2) VXTIFFPut16(&raw[j * 2], uint16_t(moved[j]), fLE);
          else VXTIFFPut32(&raw[j * 4], moved[j], fLE);
        }
        if (int64_t(raw.size()) <= 4) {
          std::memset(&e[8], 0, 4);
          if (!raw.empty()) std::memcpy(&e[8], raw.data(), raw.size());
        } else {
          const int64_t at = AlignOut();
          Out.WriteBuffer(raw.data(), int64_t(raw.size()));
          VXTIFFPut32(&e[8], uint32_t(at), fLE);
        }
      } else if (tag == kJPEGInterchange) {
        const uint8_t* lengthEntry = find(kJPEGInterchangeLength);
        if (!lengthEntry) continue;  // a stream of unknown length cannot be moved
        const std::vector<uint32_t> length = Values(lengthEntry);
        if (length.empty()) throw TCopyFailure{};
        Need(off, length[0]);
        VXTIFFPut32(&e[8], uint32_t(CopyBytes(off, length[0])), fLE);
      } else if (IsSubDirectoryTag(tag) && count == 1 && (type == 4 || type == 13)) {
        int64_t link = 0;
        const int64_t at = CopyDirectory(off, link, Depth + 1);
        VXTIFFPut32(&e[8], uint32_t(at), fLE);
      } else if (bytes > 4) {
        if (bytes > SourceSize()) throw TCopyFailure{};
        const int64_t at = AlignOut();
        CopyBytes(off, bytes);
        VXTIFFPut32(&e[8], uint32_t(at), fLE);
        // The note's own offsets count from the file's start: they move with it.
        if (tag == kMakerNote && Depth > 0) TVXTagsHandlerRelocator(&Out, at, at - off, fLE).Relocate();
      }
      entries.push_back(std::move(e));
    }

    Room(int64_t(entries.size()) * 12 + 8);
    const int64_t D = AlignOut();
    if (D > int64_t(UINT32_MAX)) throw TCopyFailure{};
    uint8_t count16[2];
    VXTIFFPut16(count16, uint16_t(entries.size()), fLE);
    Out.WriteBuffer(count16, 2);
    for (const auto& e : entries) Out.WriteBuffer(e.data(), 12);
    LinkField = Out.Position();
    const uint8_t zero[4] = {};
    Out.WriteBuffer(zero, 4);
    fOpen.erase(At);
    return D;
  }

private:
  const std::vector<uint8_t>& fSrc;
  bool fLE;
  std::set<int64_t> fOpen;  // directories being copied (a sub-directory naming its parent)
};

// The rebuilt stream, or -1 (Stream untouched) when it cannot be rebuilt.
int32_t DeletePages(TStream* Stream, std::span<const int32_t> Pages) {
  try {
    const int64_t size = Stream->Size();
    if (size < 8) return -1;
    std::vector<uint8_t> src(static_cast<size_t>(size));
    Stream->SetPosition(0);
    Stream->ReadBuffer(src.data(), size);
    bool le;
    if (src[0] == 'I' && src[1] == 'I') le = true;
    else if (src[0] == 'M' && src[1] == 'M') le = false;
    else return -1;
    // BigTIFF directories have another entry layout.
    if (VXTIFFGet16(&src[2], le) == 43) return -1;

    TPageCopier c(src, le);
    c.Out.WriteBuffer(src.data(), 4);
    const uint8_t zero[4] = {};
    c.Out.WriteBuffer(zero, 4);

    int64_t prevLink = 4;
    int64_t link = c.Get32(4);
    std::set<int64_t> seen;
    size_t next = 0;
    int32_t page = 0, kept = 0;
    while (link != 0) {
      if (!seen.insert(link).second) return -1;
      const int64_t n = c.Get16(link);
      const int64_t nextLinkPos = link + 2 + 12 * n;
      c.Need(nextLinkPos, 4);
      while (next < Pages.size() && Pages[next] < page) ++next;
      if (next < Pages.size() && Pages[next] == page) {
        ++next;
      } else {
        int64_t field = 0;
        const int64_t D = c.CopyDirectory(link, field, 0);
        c.Put32At(prevLink, uint32_t(D));
        prevLink = field;
        ++kept;
      }
      link = c.Get32(nextLinkPos);
      ++page;
    }

    Stream->SetPosition(0);
    Stream->WriteBuffer(c.Out.Memory(), c.Out.Size());
    Stream->SetSize(c.Out.Size());
    Stream->SetPosition(0);
    return kept;
  } catch (const TCopyFailure&) {
    return -1;
  } catch (const std::exception&) {
    return -1;
  }
}

}  // namespace

int32_t VXDeleteTIFFStreamPages(TStream* Stream, std::span<const int32_t> Pages) {
  const int32_t kept = DeletePages(Stream, Pages);
  return kept < 0 ? 0 : kept;
}

int32_t VXDeleteTIFFStreamPage(TStream* Stream, int32_t Index) {
  const int32_t pages[1] = {Index};
  return VXDeleteTIFFStreamPages(Stream, pages);
}

int32_t VXTryDeleteTIFFStreamPage(TStream* Stream, int32_t Index) {
  const int32_t pages[1] = {Index};
  return DeletePages(Stream, pages);
}

int32_t VXDeleteTIFFFilePageInPlace(const std::string& FileName, int32_t Index) {
  TMemoryStream file;
  file.LoadFromFile(FileName);
  const int32_t pages[1] = {Index};
  const int32_t kept = DeletePages(&file, pages);
  if (kept < 0) return 0;
  bool aborting = false;
  VXWriteFileSafely(FileName, aborting, [&](TStream* Out) { Out->WriteBuffer(file.Memory(), file.Size()); });
  return kept;
}

bool VXInjectEXIFIntoTIFF(TStream* InputStream, TStream* OutputStream, const std::string& InputFileName,
                          const std::string& OutputFileName, int32_t PageIndex, TIOParamsVals& IOParams) {
  const std::vector<uint8_t> block = VXSaveEXIFToBuffer(IOParams, false);
  TVXMemStream blockStream(block.data(), int64_t(block.size()));
  TVXTIFFHandler exif;
  exif.ReadStream(&blockStream);

  TVXTIFFHandler target;
  int64_t inputPos = 0;
  bool read = false;
  if (InputStream) {
    inputPos = InputStream->Position();
    read = target.ReadStream(InputStream);
  } else {
    read = target.ReadFile(InputFileName);
  }
  if (!read || PageIndex < 0 || PageIndex >= target.GetPagesCount()) return false;

  static const uint16_t kTags[] = {271,   272,   306,   274,   282,   283,   296,   305,
                                   315,   318,   531,   319,   529,   532,   33432, 18246,
                                   40091, 40092, 40093, 40094, 40095, 34665, 34853};
  for (const uint16_t tag : kTags) {
    const int32_t index = exif.FindTag(0, tag);
    if (index >= 0) target.CopyTag(0, index, PageIndex, exif);
  }

  if (OutputStream) {
    if (OutputStream == InputStream) OutputStream->SetPosition(inputPos);
    target.WriteStream(OutputStream);
    // A shorter result leaves nothing of the old file behind it.
    if (OutputStream == InputStream) OutputStream->SetSize(OutputStream->Position());
  } else {
    target.WriteFile(OutputFileName);
  }
  return true;
}
