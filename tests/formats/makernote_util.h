#pragma once
// Camera maker notes laid out as the cameras lay them out, inside small TIFF
// files built byte by byte, and exiftool's reading of them: a Canon note (a
// bare directory whose offsets count from the TIFF header, so they must move
// with the note) and a Nikon note (its own big-endian TIFF header, offsets
// counted from there).
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/core/runtime_test_util.h"
#include "tests/io/tiff_test_util.h"

namespace makernote {

// One entry of a note: its type, count and value bytes in the note's order.
struct TNoteEntry {
  uint16_t Tag, Type;
  uint32_t Count;
  std::string Bytes;
};

inline std::string Num(uint64_t v, size_t n, bool le) {
  std::string s(n, '\0');
  for (size_t k = 0; k < n; ++k) s[le ? k : n - 1 - k] = char(uint8_t(v >> (8 * k)));
  return s;
}

inline TNoteEntry Ascii(uint16_t Tag, const std::string& Text) {
  return {Tag, 2, uint32_t(Text.size() + 1), Text + std::string(1, '\0')};
}
inline TNoteEntry Shorts(uint16_t Tag, const std::vector<uint16_t>& V, bool le) {
  std::string b;
  for (uint16_t v : V) b += Num(v, 2, le);
  return {Tag, 3, uint32_t(V.size()), b};
}
inline TNoteEntry Long(uint16_t Tag, uint32_t V, bool le) { return {Tag, 4, 1, Num(V, 4, le)}; }
inline TNoteEntry Rational(uint16_t Tag, uint32_t N, uint32_t D, bool le) {
  return {Tag, 5, 1, Num(N, 4, le) + Num(D, 4, le)};
}

// A makers's note and the values exiftool prints for it ("Group:Tag" of
// `exiftool -s -s -n -u -G1`).
struct TMaker {
  const char* Name;
  std::string Make;
  bool LittleEndian;  // the order of the file around the note
  std::map<std::string, std::string> Expected;
  // The note, given where it starts in the file.
  std::string Note(uint64_t NoteAt) const {
    const bool canon = Make == "Canon";
    const bool le = canon ? LittleEndian : false;
    const std::string prefix =
        canon ? std::string() : std::string("Nikon\0\x02\x10\0\0", 10) + std::string("MM\0\x2A\0\0\0\x08", 8);
    std::vector<TNoteEntry> entries;
    if (canon) {
      entries = {Ascii(0x0006, "IMG:VX TEST JPEG"), Ascii(0x0007, "Firmware 1.0.2"),
                 Ascii(0x0009, "Vexlane Tester"),   Long(0x000c, 123456789, le),
                 Long(0x0010, 0x80000001u, le),     Shorts(0x7777, {11, 22, 33}, le),
                 Rational(0x7778, 7, 4, le)};
    } else {
      entries = {{0x0001, 7, 4, "0210"}, Shorts(0x0002, {0, 400}, le), Ascii(0x0004, "FINE"), Ascii(0x0005, "SUNNY"),
                 Rational(0x0085, 3, 2, le), Shorts(0x7777, {11, 22, 33}, le)};
    }
    // Directory, zero link, then the values; a Canon offset counts from the
    // file's TIFF header, a Nikon one from the note's own header.
    const uint64_t valuesAt = prefix.size() + 2 + 12 * entries.size() + 4;
    std::string dir = Num(entries.size(), 2, le), values;
    for (const TNoteEntry& e : entries) {
      dir += Num(e.Tag, 2, le) + Num(e.Type, 2, le) + Num(e.Count, 4, le);
      if (e.Bytes.size() <= 4) {
        dir += e.Bytes + std::string(4 - e.Bytes.size(), '\0');
      } else {
        const uint64_t inNote = valuesAt + values.size();
        dir += Num(canon ? NoteAt + inNote : inNote - 10, 4, le);
        values += e.Bytes;
        if (values.size() & 1) values += '\0';
      }
    }
    return prefix + dir + std::string(4, '\0') + values;
  }
};

inline const std::vector<TMaker>& Makers() {
  static const std::vector<TMaker> makers = {
      {"Canon, little-endian",
       "Canon",
       true,
       {{"Canon:CanonImageType", "IMG:VX TEST JPEG"},
        {"Canon:CanonFirmwareVersion", "Firmware 1.0.2"},
        {"Canon:OwnerName", "Vexlane Tester"},
        {"Canon:SerialNumber", "123456789"},
        {"Canon:CanonModelID", "2147483649"},
        {"Canon:Canon_0x7777", "11 22 33"},
        {"Canon:Canon_0x7778", "1.75"}}},
      {"Nikon, big-endian",
       "NIKON CORPORATION",
       false,
       {{"Nikon:MakerNoteVersion", "0210"},
        {"Nikon:ISO", "0 400"},
        {"Nikon:Quality", "FINE"},
        {"Nikon:WhiteBalance", "SUNNY"},
        {"Nikon:ManualFocusDistance", "1.5"},
        {"Nikon:Nikon_0x7777", "11 22 33"}}},
  };
  return makers;
}

// A TIFF of Pages 8 x 8 RGB pages (pixels differ by page); page NotePage
// carries an EXIF directory (ExposureTime 1/250, ExifVersion, the note).
inline std::string MakerNoteTIFF(const TMaker& M, int Pages, int NotePage) {
  tifftest::TBuilder b(M.LittleEndian);
  const bool le = M.LittleEndian;
  for (int p = 0; p < Pages; ++p) {
    if (b.data.size() & 1) b.data += '\0';
    const uint64_t pixelsAt = b.data.size();
    for (int i = 0; i < 8 * 8 * 3; ++i) b.data += char(uint8_t(i * 7 + p * 40));
    std::vector<tifftest::TEntry> e = {
        {256, 3, {8}}, {257, 3, {8}}, {258, 3, {8, 8, 8}}, {259, 3, {1}}, {262, 3, {2}},
        {271, 2, {}, M.Make + std::string(1, '\0')},      {273, 4, {pixelsAt}},
        {277, 3, {3}}, {278, 3, {8}}, {279, 4, {8 * 8 * 3}}};
    if (p == NotePage) {
      const uint64_t exifAt = b.data.size();
      const uint64_t noteAt = exifAt + 2 + 3 * 12 + 4 + 8;
      const std::string note = M.Note(noteAt);
      b.data += Num(3, 2, le);
      b.data += Num(33434, 2, le) + Num(5, 2, le) + Num(1, 4, le) + Num(exifAt + 42, 4, le);
      b.data += Num(36864, 2, le) + Num(7, 2, le) + Num(4, 4, le) + "0230";
      b.data += Num(37500, 2, le) + Num(7, 2, le) + Num(note.size(), 4, le) + Num(noteAt, 4, le);
      b.data += Num(0, 4, le) + Num(1, 4, le) + Num(250, 4, le) + note;
      e.push_back({34665, 4, {exifAt}});
    }
    b.AddIFD(e);
  }
  return b.data;
}

// exiftool's maker-note values of File, "Group:Tag" -> value.
inline std::map<std::string, std::string> MakerNoteValues(const std::string& File) {
  std::istringstream in(
      RuntimeShell("/usr/bin/exiftool -s -s -n -u -G1 -a -MakerNotes:all '" + File + "' 2>/dev/null"));
  std::map<std::string, std::string> m;
  std::string line;
  while (std::getline(in, line)) {
    const size_t close = line.find(']'), colon = line.find(": ", close);
    if (line.empty() || line[0] != '[' || close == std::string::npos || colon == std::string::npos) continue;
    std::string tag = line.substr(close + 1, colon - close - 1);
    tag.erase(0, tag.find_first_not_of(' '));
    m[line.substr(1, close - 1) + ":" + tag] = line.substr(colon + 2);
  }
  return m;
}

// The expected values that exiftool prints differently for File, and its
// warnings about the notes (misplaced offsets, unreadable entries), as text;
// empty when the note reads back whole.
inline std::string MakerNoteProblems(const TMaker& M, const std::string& File) {
  const std::map<std::string, std::string> got = MakerNoteValues(File);
  std::string problems;
  for (const auto& [tag, value] : M.Expected) {
    const auto it = got.find(tag);
    if (it == got.end() || it->second != value)
      problems += tag + ": " + (it == got.end() ? std::string("missing") : it->second) + ", expected " + value + "\n";
  }
  std::istringstream w(RuntimeShell("/usr/bin/exiftool -a -s -s -Warning '" + File + "' 2>&1"));
  std::string line;
  while (std::getline(w, line))
    if (line.find("aker") != std::string::npos) problems += line + "\n";
  return problems;
}

}  // namespace makernote
