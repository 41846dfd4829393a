// Camera maker notes: makers recognised by their signature, byte orders,
// offsets counted from the right base, refused notes, the length limit,
// notes written back in the order their reader applies, and relocation.
#include <gtest/gtest.h>

#include <functional>

#include "core/streams.h"
#include "io/params.h"
#include "io/tagshandler.h"

namespace {

struct TNoteEntry {
  uint16_t tag, type;
  std::vector<uint64_t> values;  // rationals: numerator low, denominator high
};

std::string Num(uint64_t v, size_t n, bool le) {
  std::string s(n, '\0');
  for (size_t k = 0; k < n; ++k) s[le ? k : n - 1 - k] = char(uint8_t(v >> (8 * k)));
  return s;
}

int Size(uint16_t t) { return t == 3 ? 2 : t == 4 ? 4 : t == 5 ? 8 : 1; }

// prefix, then the directory (count, entries, zero link), then the values;
// offsetOf maps a value's position in the note to the number stored.
std::string MakeNote(const std::string& prefix, bool le, const std::vector<TNoteEntry>& entries,
                     const std::function<int64_t(int64_t)>& offsetOf) {
  std::string dir = Num(entries.size(), 2, le), values;
  const int64_t valuesAt = int64_t(prefix.size()) + 2 + 12 * int64_t(entries.size()) + 4;
  for (const TNoteEntry& e : entries) {
    std::string v;
    for (uint64_t x : e.values)
      v += e.type == 5 ? Num(uint32_t(x), 4, le) + Num(x >> 32, 4, le) : Num(x, size_t(Size(e.type)), le);
    dir += Num(e.tag, 2, le) + Num(e.type, 2, le) + Num(e.values.size(), 4, le);
    if (v.size() <= 4) {
      dir += v + std::string(4 - v.size(), '\0');
    } else {
      dir += Num(uint64_t(offsetOf(valuesAt + int64_t(values.size()))), 4, le);
      values += v;
    }
  }
  return prefix + dir + std::string(4, '\0') + values;
}

const std::vector<TNoteEntry> kEntries = {
    {1, 3, {0x1234}},                          // SHORT inline
    {2, 3, {7, 8}},                            // two SHORTs inline
    {3, 4, {0x01020304}},                      // LONG inline
    {4, 4, {10, 0x80000000u, 30}},             // LONGs out of line
    {5, 5, {uint64_t(3) | (uint64_t(4) << 32)}},  // RATIONAL out of line
    {6, 3, {1, 2, 3}},                         // SHORTs out of line
};

void ExpectValues(const TVXTagsHandler& h) {
  EXPECT_EQ(h.GetInteger(1), 0x1234);
  EXPECT_EQ(h.GetIntegerIndexed(2, 0), 7);
  EXPECT_EQ(h.GetIntegerIndexed(2, 1), 8);
  EXPECT_EQ(h.GetInteger(3), 0x01020304);
  std::vector<int64_t> ar;
  EXPECT_EQ(h.GetIntegerArray(4, ar), 3);
  EXPECT_EQ(ar, (std::vector<int64_t>{10, int64_t(1) << 31, 30}));
  EXPECT_DOUBLE_EQ(h.GetRational(5, 0), 0.75);
  EXPECT_EQ(h.GetIntegerIndexed(6, 2), 3);
  EXPECT_EQ(h.TagLength(4), 12);
}

// Reads note at position `at` of a stream that holds `lead` bytes before it.
void ReadNote(TVXTagsHandler& h, const std::string& note, bool exifLE, int64_t at = 0) {
  std::string bytes = std::string(size_t(at), 'x') + note;
  TVXMemStream s(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(at);
  h.ReadFromStream(&s, int32_t(note.size()), exifLE, 0);
}

std::string WriteNote(TVXTagsHandler& h, int64_t at, int32_t* length = nullptr) {
  TMemoryStream out;
  out.SetSize(at);
  out.SetPosition(at);
  int32_t n = h.WriteToStream(&out, 0);
  if (length) *length = n;
  return std::string(static_cast<const char*>(out.Memory()) + at, size_t(out.Size() - at));
}

}  // namespace

TEST(TVXTagsHandler, MakersByteOrdersAndOffsetBases) {
  const std::string fuji = "FUJIFILM";
  const std::string nikonMM = std::string("Nikon\0\x02\x10\0\0", 10) + std::string("MM\0\x2A\0\0\0\x08", 8);
  const std::string nikonII = std::string("Nikon\0\x02\x10\0\0", 10) + std::string("II\x2A\0\x08\0\0\0", 8);
  const std::string leica = std::string("LEICA\0\0\0", 8);
  const std::string qvc = std::string("QVC\0\0\0", 6);
  struct TCase {
    const char* name;
    std::string note;
    bool exifLE;
    bool noteLE;     // the order the note is read in
    int64_t at;      // stream position of the note
  };
  const int64_t at = 100;
  std::vector<TCase> cases = {
      // FUJIFILM: directory at the offset after the signature, little-endian
      // whatever the EXIF order, offsets from the start of the note.
      {"FUJIFILM", fuji + Num(12, 4, true) + MakeNote("", true, kEntries, [](int64_t p) { return p + 12; }).substr(0),
       false, true, at},
      {"Nikon MM", MakeNote(nikonMM, false, kEntries, [](int64_t p) { return p - 10; }), true, false, at},
      {"Nikon II", MakeNote(nikonII, true, kEntries, [](int64_t p) { return p - 10; }), false, true, at},
      {"unknown, EXIF LE", MakeNote("", true, kEntries, [](int64_t p) { return p + at; }), true, true, at},
      {"unknown, EXIF BE", MakeNote("", false, kEntries, [](int64_t p) { return p + at; }), false, false, at},
      {"LEICA", MakeNote(leica, false, kEntries, [](int64_t p) { return p; }), false, false, at},
      {"QVC", MakeNote(qvc, false, kEntries, [](int64_t p) { return p + at; }), true, false, at},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TVXTagsHandler h;
    ReadNote(h, c.note, c.exifLE, c.at);
    ASSERT_EQ(h.IFD().NumTags(), int32_t(kEntries.size()));
    EXPECT_EQ(h.IFD().LittleEndian, c.noteLE);
    EXPECT_EQ(h.UnparsedDataLength(), int32_t(c.note.size()));
    ExpectValues(h);

    // Written into a little-endian EXIF block at another position, the note
    // reads back with the same values.
    int32_t length = 0;
    std::string written = WriteNote(h, 40, &length);
    ASSERT_GT(length, 0);
    TVXTagsHandler back;
    ReadNote(back, written.substr(0, size_t(length)), true, 40);
    ASSERT_EQ(back.IFD().NumTags(), int32_t(kEntries.size()));
    ExpectValues(back);
    if (std::string(c.name) == "FUJIFILM") {
      EXPECT_EQ(written.substr(8, 4), Num(12, 4, true));
    }
    if (std::string(c.name) == "Nikon MM") {
      EXPECT_EQ(written.substr(10, 8), std::string("MM\0\x2A\0\0\0\x08", 8));
      EXPECT_FALSE(back.IFD().LittleEndian);
    }
  }
}

TEST(TVXTagsHandler, RefusedNotesLeaveAnEmptyHandler) {
  std::vector<TNoteEntry> many(257, TNoteEntry{1, 3, {1}});
  std::string n257 = MakeNote("", true, many, [](int64_t p) { return p; });
  std::string fujiFar = "FUJIFILM" + Num(5000, 4, true) + std::string(40, '\0');
  struct TCase {
    const char* name;
    std::string note;
  } cases[] = {
      {"257 entries", n257},
      {"one byte", "A"},
      {"directory outside the note", fujiFar},
      {"signature only", "FUJIFILM"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TVXTagsHandler h;
    ReadNote(h, c.note, true);
    EXPECT_EQ(h.IFD().NumTags(), 0);
    EXPECT_FALSE(h.TagExists(1));
    EXPECT_EQ(h.TagLength(1), 0);
    EXPECT_EQ(h.GetInteger(1), 0);
    EXPECT_EQ(h.UnparsedDataLength(), 0);
  }
}

TEST(TVXTagsHandler, ValuesOutsideTheNoteAreDroppedOneByOne) {
  // The second entry's value ends one byte past the note.
  std::vector<TNoteEntry> e = {{1, 3, {5}}, {2, 4, {1, 2}}, {3, 3, {6}}};
  std::string note = MakeNote("", true, e, [](int64_t p) { return p + 1; });
  TVXTagsHandler h;
  ReadNote(h, note, true);
  ASSERT_EQ(h.IFD().NumTags(), 3);
  EXPECT_TRUE(h.TagExists(2));
  EXPECT_EQ(h.IFD().GetDataNum(h.IFD().FindTAG(2)), 0);
  EXPECT_EQ(h.TagLength(2), 0);
  EXPECT_EQ(h.GetInteger(1), 5);
  EXPECT_EQ(h.GetInteger(3), 6);
}

TEST(TVXTagsHandler, WrittenLengthIsLimited) {
  struct TCase {
    int64_t valueBytes;
    bool kept;
  } cases[] = {{64982, true}, {64984, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.valueBytes);
    std::string note = MakeNote("", true, {{7, 7, std::vector<uint64_t>(size_t(c.valueBytes), 0x41)}},
                                [](int64_t p) { return p; });
    TVXTagsHandler h;
    ReadNote(h, note, true);
    ASSERT_EQ(h.TagLength(7), c.valueBytes);
    TMemoryStream out;
    out.Write("0123456789", 10);
    int32_t n = h.WriteToStream(&out, 0);
    if (c.kept) {
      EXPECT_EQ(n, 65000);
      EXPECT_EQ(out.Position(), 10 + 65000);
    } else {
      EXPECT_EQ(n, 0);
      EXPECT_EQ(out.Position(), 10);
      EXPECT_EQ(out.Size(), 10);
    }
  }
}

TEST(TVXTagsHandler, AssignCopiesAndTheParametersOwnOne) {
  std::string note = MakeNote("", true, kEntries, [](int64_t p) { return p; });
  TIOParamsVals a(nullptr), b(nullptr);
  ReadNote(a.EXIF_MakerNote(), note, true);
  ASSERT_TRUE(a.EXIF_MakerNote().TagExists(4));
  b.Assign(a);
  ExpectValues(b.EXIF_MakerNote());
  EXPECT_EQ(b.EXIF_MakerNote().UnparsedDataLength(), int32_t(note.size()));
  a.ResetEXIF();
  EXPECT_FALSE(a.EXIF_MakerNote().TagExists(4));
  ExpectValues(b.EXIF_MakerNote());
}

TEST(TVXTagsHandlerRelocator, MovesOutOfLineOffsetsOnly) {
  const int64_t at = 30;
  const std::string nikonMM = std::string("Nikon\0\x02\x10\0\0", 10) + std::string("MM\0\x2A\0\0\0\x08", 8);
  struct TCase {
    const char* name;
    bool le;
    std::string note;
  } cases[] = {
      {"absolute, little-endian", true, MakeNote("", true, kEntries, [](int64_t p) { return p + at; })},
      {"absolute, big-endian", false, MakeNote("", false, kEntries, [](int64_t p) { return p + at; })},
      // Counted from the note's own header: nothing to move.
      {"Nikon", true, MakeNote(nikonMM, false, kEntries, [](int64_t p) { return p - 10; })},
      {"LEICA", false, MakeNote(std::string("LEICA\0\0\0", 8), false, kEntries, [](int64_t p) { return p; })},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const bool le = c.le;
    const std::string& note = c.note;
    std::string bytes = std::string(size_t(at), 'x') + note;
    TMemoryStream s;
    s.Write(bytes.data(), int64_t(bytes.size()));
    TVXTagsHandlerRelocator r(&s, at, 100, le);
    r.Relocate();
    // The note now lies 100 bytes further on.
    std::string moved = std::string(size_t(at + 100), 'x') +
                        std::string(static_cast<const char*>(s.Memory()) + at, size_t(s.Size() - at));
    TVXTagsHandler h;
    ReadNote(h, moved.substr(size_t(at + 100)), le, at + 100);
    ExpectValues(h);
  }
}
