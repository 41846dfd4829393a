// CIFF heaps, the container of CRW files: the metadata records, the maker
// note and the JPEG previews they embed.
//
// A heap of L bytes at S keeps at S + L - 4 the offset (from S) of its
// directory: a 16-bit count, then 10-byte entries of tag, size and offset.
// A tag whose top two bits are 01 holds its value in the 8 bytes after it;
// the low 14 bits name the record. Some records are heaps themselves.
#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/camera_raw.h"
#include "io/params.h"
#include "io/tagshandler.h"
#include "io/tiffifd.h"

namespace {

constexpr int32_t kMaxEntriesPerDirectory = 256;
constexpr int32_t kMaxNesting = 16;
// Entries visited over a whole walk: heaps that share their directories
// can't make the walk run for ever.
constexpr int64_t kMaxEntriesPerWalk = 1 << 16;
constexpr int64_t kMaxTextLength = 65536;

bool IsSubHeap(uint16_t Record) {
  switch (Record) {
    case 0x2800: case 0x2807: case 0x3000: case 0x3002: case 0x3003: case 0x3004: case 0x300A: case 0x300B:
      return true;
    default:
      return false;
  }
}

// One entry of a directory, as the walk hands it on.
struct TCiffEntry {
  uint16_t Record = 0;
  int64_t Position = 0;  // of the value, from the start of the stream's data
  int64_t Size = 0;      // as stored; the value may run past the end of the data
};

// The file's bytes from the stream's position, and the walk over them.
class TCiffReader {
 public:
  explicit TCiffReader(TStream* Stream) {
    const int64_t size = Stream->Size() - Stream->Position();
    if (size > 0 && VXStorageSizeAllowed(size)) {
      fData.resize(size_t(size));
      fData.resize(size_t(std::max<int64_t>(0, Stream->Read(fData.data(), size))));
    }
  }

  // The header rule: "II" or "MM", or "HEAPCCDR" at byte 6.
  bool Open() {
    if (fData.size() < 14) return false;
    const bool ii = fData[0] == 'I' && fData[1] == 'I', mm = fData[0] == 'M' && fData[1] == 'M';
    if (!ii && !mm && std::memcmp(&fData[6], "HEAPCCDR", 8) != 0) return false;
    fLittleEndian = !mm;
    return true;
  }

  bool LittleEndian() const { return fLittleEndian; }
  int64_t Size() const { return int64_t(fData.size()); }
  const uint8_t* Data() const { return fData.data(); }
  bool Inside(int64_t Position) const { return Position >= 0 && Position < Size(); }
  // Bytes available at Position for a value of Size bytes.
  int64_t Available(int64_t Position, int64_t Size) const {
    return Inside(Position) ? std::clamp<int64_t>(Size, 0, this->Size() - Position) : 0;
  }
  uint16_t Get16(int64_t Position) const {
    return Position >= 0 && Position + 2 <= Size() ? VXTIFFGet16(&fData[size_t(Position)], fLittleEndian) : 0;
  }
  uint32_t Get32(int64_t Position) const {
    return Position >= 0 && Position + 4 <= Size() ? VXTIFFGet32(&fData[size_t(Position)], fLittleEndian) : 0;
  }

  // Walks the heap after the header. With Strict (the metadata reader) a
  // directory takes at most 256 entries and an entry whose value lies
  // outside the data ends it; otherwise every entry is visited and such
  // entries are skipped.
  void Walk(bool Strict, const std::function<void(const TCiffEntry&)>& Visit) {
    const int64_t headerLength = Get32(2);
    fBudget = kMaxEntriesPerWalk;
    fActive.clear();
    WalkHeap(headerLength, Size() - headerLength, Strict, Visit);
  }

 private:
  void WalkHeap(int64_t Start, int64_t Length, bool Strict, const std::function<void(const TCiffEntry&)>& Visit) {
    if (Length < 4 || Start < 0 || int32_t(fActive.size()) >= kMaxNesting) return;
    for (const auto& heap : fActive)
      if (heap.first == Start && heap.second == Length) return;  // leads back to a heap being walked
    const int64_t directory = Start + int64_t(Get32(Start + Length - 4));
    if (!Inside(Start + Length - 4) || !Inside(directory)) return;
    int64_t count = Get16(directory);
    if (Strict) count = std::min<int64_t>(count, kMaxEntriesPerDirectory);
    fActive.emplace_back(Start, Length);
    for (int64_t i = 0; i < count && fBudget > 0; ++i) {
      --fBudget;
      const int64_t entry = directory + 2 + 10 * i;
      if (entry + 10 > Size()) break;
      const uint16_t tag = Get16(entry);
      TCiffEntry e;
      e.Record = tag & 0x3FFF;
      if ((tag & 0xC000) == 0x4000) {
        e.Position = entry + 2;
        e.Size = 8;
      } else {
        e.Size = Get32(entry + 2);
        e.Position = Start + int64_t(Get32(entry + 6));
      }
      if (!Inside(e.Position)) {
        if (Strict) break;
        continue;
      }
      if (IsSubHeap(e.Record))
        WalkHeap(e.Position, e.Size, Strict, Visit);
      else
        Visit(e);
    }
    fActive.pop_back();
  }

  std::vector<uint8_t> fData;
  bool fLittleEndian = true;
  int64_t fBudget = 0;
  std::vector<std::pair<int64_t, int64_t>> fActive;
};

// Text of up to Size characters ending at a zero byte, from Position; Next
// receives the position after the zero (or the end).
std::string Text(const TCiffReader& Reader, int64_t Position, int64_t Size, int64_t* Next = nullptr) {
  const int64_t n = std::min(Reader.Available(Position, Size), kMaxTextLength);
  const char* p = reinterpret_cast<const char*>(Reader.Data() + (n > 0 ? Position : 0));
  const size_t len = n > 0 ? strnlen(p, size_t(n)) : 0;
  if (Next) *Next = Position + int64_t(len) + 1;
  return std::string(p, len);
}

// A JPEG candidate's size, read from its header; false when it is none.
bool JpegSize(const TCiffReader& Reader, const TCiffEntry& Entry, int32_t& Width, int32_t& Height) {
  const int64_t n = Reader.Available(Entry.Position, Entry.Size);
  if (n <= 0) return false;
  TVXMemStream stream(Reader.Data() + Entry.Position, n);
  TIOParamsVals params(nullptr);
  TVXBitmap bitmap;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadJpegStream(&stream, nullptr, &bitmap, params, progress, true, false, false, false, false, false, -1, false);
  Width = params.Width();
  Height = params.Height();
  return !aborting && Width > 0 && Height > 0;
}

// Decodes a candidate into Bitmap; false when it does not decode.
bool DecodeJpeg(const TCiffReader& Reader, const TCiffEntry& Entry, TVXBitmap* Bitmap) {
  const int64_t n = Reader.Available(Entry.Position, Entry.Size);
  if (n <= 0) return false;
  TVXMemStream stream(Reader.Data() + Entry.Position, n);
  TIOParamsVals params(nullptr);
  TVXBitmap decoded;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadJpegStream(&stream, nullptr, &decoded, params, progress, false, false, false, false, true, true, -1, false);
  if (aborting || decoded.IsEmpty()) return false;
  Bitmap->Assign(&decoded);
  return true;
}

// The maker note: the record count, one 12-byte entry per record (identifier,
// SHORT, value count, values inline when they take 4 bytes or fewer, else
// their position in the block), then the longer values, all little-endian.
void BuildMakerNote(TVXTagsHandler& Note, const std::vector<std::pair<uint16_t, std::vector<uint16_t>>>& Records) {
  Note.Clear();
  if (Records.empty()) return;
  const size_t count = std::min<size_t>(Records.size(), 0xFFFF);
  std::vector<uint8_t> block(2 + 12 * count, 0);
  VXTIFFPut16(block.data(), uint16_t(count), true);
  std::vector<uint8_t> values;
  for (size_t i = 0; i < count; ++i) {
    const auto& [id, data] = Records[i];
    uint8_t* e = &block[2 + 12 * i];
    VXTIFFPut16(e, id, true);
    VXTIFFPut16(e + 2, 3, true);  // SHORT
    VXTIFFPut32(e + 4, uint32_t(data.size()), true);
    if (data.size() <= 2) {
      for (size_t k = 0; k < data.size(); ++k) VXTIFFPut16(e + 8 + 2 * k, data[k], true);
    } else {
      VXTIFFPut32(e + 8, uint32_t(block.size() + values.size()), true);
      for (uint16_t v : data) {
        uint8_t b[2];
        VXTIFFPut16(b, v, true);
        values.insert(values.end(), b, b + 2);
      }
    }
  }
  block.insert(block.end(), values.begin(), values.end());
  if (!VXMetadataSizeAllowed(int64_t(block.size()))) return;
  Note.Data().Write(block.data(), int64_t(block.size()));
  Note.Data().SetPosition(0);
  Note.Update();
}

}  // namespace

void ReadRawExifAndJpeg(TStream* Stream, TIOParamsVals& Params) {
  TCiffReader reader(Stream);
  if (!reader.Open()) return;

  std::vector<std::pair<uint16_t, std::vector<uint16_t>>> makerNote;
  // The note's values so far. The note is one metadata block: past the
  // limit it is refused whole, and so it is when its records hold more bytes
  // than the file (they share their values: a damaged heap, whose entries
  // would otherwise copy one value thousands of times).
  const int64_t noteLimit = std::min(VXGetGlobalSettings()->MaxMetadataSize(), reader.Size());
  int64_t noteBytes = 0;
  bool noteTooLarge = false;
  TCiffEntry best;
  bool found = false;
  int32_t bestWidth = INT32_MAX - 1, bestHeight = INT32_MAX - 1;
  // Text records of a sound heap lie apart, so together they hold no more
  // bytes than the file. Past that they repeat one another (entries sharing
  // their values: a damaged heap) and are not read again.
  int64_t textLeft = reader.Size();
  auto takeText = [&](const TCiffEntry& e) {
    const int64_t n = reader.Available(e.Position, e.Size);
    if (n > textLeft) return false;
    textLeft -= n;
    return true;
  };
  reader.Walk(true, [&](const TCiffEntry& e) {
    switch (e.Record) {
      case 0x0805:
        if (takeText(e)) Params.SetEXIF_ImageDescription(Text(reader, e.Position, e.Size));
        break;
      case 0x080A: {
        if (!takeText(e)) break;
        int64_t next = 0;
        Params.SetEXIF_Make(Text(reader, e.Position, e.Size, &next));
        Params.SetEXIF_Model(Text(reader, next, e.Position + e.Size - next));
        break;
      }
      case 0x080B:
        if (takeText(e)) Params.SetEXIF_Software(Text(reader, e.Position, e.Size));
        break;
      case 0x102A:
      case 0x102D: {
        if (noteTooLarge) break;
        const int64_t n = reader.Available(e.Position, e.Size) / 2;
        noteBytes += 2 * n;
        if (noteBytes > noteLimit) {
          noteTooLarge = true;
          makerNote.clear();
          break;
        }
        std::vector<uint16_t> values(static_cast<size_t>(n));
        for (int64_t k = 0; k < n; ++k) values[size_t(k)] = reader.Get16(e.Position + 2 * k);
        makerNote.emplace_back(uint16_t(e.Record == 0x102A ? 4 : 1), std::move(values));
        break;
      }
      case 0x1810:
        if (reader.Available(e.Position, 8) == 8) {
          Params.SetEXIF_ExifImageWidth(int32_t(reader.Get32(e.Position)));
          Params.SetEXIF_ExifImageHeight(int32_t(reader.Get32(e.Position + 4)));
        }
        break;
      case 0x2007:
      case 0x2008: {
        int32_t w = 0, h = 0;
        if (JpegSize(reader, e, w, h) && w < bestWidth && h < bestHeight) {
          bestWidth = w;
          bestHeight = h;
          best = e;
          found = true;
        }
        break;
      }
      default:
        break;
    }
  });

  if (!Params.EXIF_Bitmap()) Params.SetEXIF_Bitmap(new TVXBitmap());
  Params.EXIF_Bitmap()->FreeImage(true);
  if (found) DecodeJpeg(reader, best, Params.EXIF_Bitmap());

  BuildMakerNote(Params.EXIF_MakerNote(), makerNote);
}

bool VXLoadJpegFromCRWStream(TVXBitmap* Bitmap, TStream* Stream) {
  TCiffReader reader(Stream);
  if (!reader.Open()) return false;
  TCiffEntry best;
  bool found = false;
  int32_t bestWidth = 0, bestHeight = 0;
  reader.Walk(false, [&](const TCiffEntry& e) {
    if (e.Record != 0x2007 && e.Record != 0x2008) return;
    int32_t w = 0, h = 0;
    if (JpegSize(reader, e, w, h) && w > bestWidth && h > bestHeight) {
      bestWidth = w;
      bestHeight = h;
      best = e;
      found = true;
    }
  });
  return found && DecodeJpeg(reader, best, Bitmap);
}
