#include "io/probes.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "core/streams.h"

namespace {

uint16_t LE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t LE32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint16_t BE16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t BE32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]); }

// Runs Test with the stream at its position and puts the position back; a
// stream that raises while being read or sought answers false.
template <class F>
bool Probe(TStream* Stream, F&& Test) {
  if (Stream == nullptr) return false;
  int64_t pos = 0;
  try {
    pos = Stream->Position();
  } catch (...) {
    return false;
  }
  bool result = false;
  try {
    result = Test(pos);
  } catch (...) {
    result = false;
  }
  try {
    Stream->SetPosition(pos);
  } catch (...) {
  }
  return result;
}

// Reads exactly Count bytes, or answers false.
bool ReadExact(TStream* Stream, void* Buffer, int64_t Count) { return Stream->Read(Buffer, Count) == Count; }

// Bytes of the stream from Pos to its end (0 when unknown or negative).
int64_t Remaining(TStream* Stream, int64_t Pos) {
  if (!Stream->SizeKnown()) return 0;
  const int64_t size = Stream->Size();
  return size > Pos ? size - Pos : 0;
}

bool IsIconDirectory(TStream* Stream, uint16_t Type) {
  return Probe(Stream, [&](int64_t pos) {
    const int64_t avail = Remaining(Stream, pos);
    if (avail <= 22) return false;
    uint8_t head[6];
    if (!ReadExact(Stream, head, 6)) return false;
    const uint16_t count = LE16(head + 4);
    if (LE16(head) != 0 || LE16(head + 2) != Type || count == 0) return false;
    if (6 + int64_t(count) * 16 > avail) return false;
    std::vector<uint8_t> dir(size_t(count) * 16);
    if (!ReadExact(Stream, dir.data(), int64_t(dir.size()))) return false;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = dir.data() + size_t(i) * 16;
      // Offsets count from the start of the icon file.
      const int64_t entryEnd = 6 + int64_t(i + 1) * 16;
      if (e[3] != 0 || LE32(e + 8) == 0 || int64_t(LE32(e + 12)) < entryEnd) return false;
    }
    return true;
  });
}

// Reads the stream byte by byte through a buffer (for the text probes), at
// most Limit bytes.
class TByteReader {
 public:
  TByteReader(TStream* Stream, int64_t Limit) : fStream(Stream), fLeft(Limit) {}
  // The next byte, or -1 at the end (or the limit).
  int Next() {
    if (fPos == fLen) {
      const int64_t want = std::min<int64_t>(int64_t(sizeof fBuf), fLeft);
      fLen = want > 0 ? size_t(std::max<int64_t>(0, fStream->Read(fBuf, want))) : 0;
      fLeft -= int64_t(fLen);
      fPos = 0;
      if (fLen == 0) return -1;
    }
    return fBuf[fPos++];
  }

 private:
  TStream* fStream;
  int64_t fLeft;
  uint8_t fBuf[512];
  size_t fPos = 0, fLen = 0;
};

bool IsTokenChar(int c) { return c >= 0 && c < 128 && std::isalnum(c); }

// What a header token of a portable bitmap is: a run of letters and digits
// (the byte that ends it is consumed), or a comment from "#" to the line end.
enum TPXMToken { pxmEnd, pxmComment, pxmWord, pxmTooLong };

// Reads the next token; a word longer than MaxWord is not stored.
TPXMToken NextPXMToken(TByteReader& In, std::string& Word, size_t MaxWord) {
  Word.clear();
  int c = In.Next();
  while (c >= 0 && !IsTokenChar(c) && c != '#') c = In.Next();
  if (c < 0) return pxmEnd;
  if (c == '#') {
    while ((c = In.Next()) >= 0 && c != '\n' && c != '\r') {
    }
    return pxmComment;
  }
  while (c >= 0 && IsTokenChar(c)) {
    if (Word.size() == MaxWord) return pxmTooLong;
    Word.push_back(char(c));
    c = In.Next();
  }
  return pxmWord;
}

// A decimal number above 0 that fits 32 bits, or -1.
int64_t PositiveNumber(const std::string& Token) {
  if (Token.empty() || Token.size() > 10) return -1;
  int64_t v = 0;
  for (char c : Token) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v > 0 && v <= 0x7FFFFFFF ? v : -1;
}

}  // namespace

bool VXIsICOStream(TStream* Stream) { return IsIconDirectory(Stream, 1); }

bool VXIsCURStream(TStream* Stream) { return IsIconDirectory(Stream, 2); }

bool VXIsPXMStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t) {
    // A header is short: the probe looks at most at the first MiB.
    TByteReader in(Stream, int64_t(1) << 20);
    std::string word;
    int field = 0;  // 0 magic, 1 width, 2 height, 3 maxval
    bool bitmapOnly = false;
    for (int read = 0; read < 501; ++read) {
      const TPXMToken kind = NextPXMToken(in, word, 16);
      if (kind == pxmEnd || kind == pxmTooLong) return false;
      if (kind == pxmComment) continue;
      switch (field) {
        case 0:
          if (word.size() != 2 || word[0] != 'P' || word[1] < '1' || word[1] > '6') return false;
          bitmapOnly = word[1] == '1' || word[1] == '4';
          break;
        case 1:
          if (PositiveNumber(word) < 0) return false;
          break;
        case 2:
          if (PositiveNumber(word) < 0) return false;
          if (bitmapOnly) return true;
          break;
        default:
          return true;
      }
      ++field;
    }
    return false;
  });
}

bool VXIsDCXStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t pos) {
    const int64_t avail = Remaining(Stream, pos);
    uint8_t magic[4];
    if (!ReadExact(Stream, magic, 4) || LE32(magic) != 0x3ADE68B1u) return false;
    // The table holds at most 1024 offsets and ends with 0.
    for (int i = 0; i < 1024; ++i) {
      uint8_t entry[4];
      if (!ReadExact(Stream, entry, 4)) return false;
      const uint32_t offset = LE32(entry);
      if (offset == 0) return true;
      if (int64_t(offset) >= avail) return false;
    }
    return true;
  });
}

bool VXIsTGAStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t) {
    uint8_t h[18];
    if (!ReadExact(Stream, h, 18)) return false;
    const uint8_t mapType = h[1], imageType = h[2], depth = h[16];
    const bool typeOk = (imageType >= 1 && imageType <= 3) || (imageType >= 9 && imageType <= 11);
    const bool depthOk = depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
    return typeOk && depthOk && mapType < 2 && LE16(h + 12) != 0 && LE16(h + 14) != 0;
  });
}

bool VXIsWMFStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t pos) {
    uint8_t head[20];
    if (!ReadExact(Stream, head, 20)) return false;
    const int64_t at = LE32(head) == 0x9AC6CDD7u ? 22 : 0;
    Stream->SetPosition(pos + at);
    uint8_t h[18];
    if (!ReadExact(Stream, h, 18)) return false;
    return LE16(h) == 1 && LE16(h + 2) == 9 && LE16(h + 16) == 0;
  });
}

bool VXIsEMFStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t) {
    uint8_t h[108];
    if (!ReadExact(Stream, h, 108)) return false;
    return LE32(h) == 1 && LE32(h + 40) == 0x464D4520u;
  });
}

bool VXIsDicomStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t pos) {
    Stream->SetPosition(pos + 128);
    char tag[4];
    return ReadExact(Stream, tag, 4) && std::memcmp(tag, "DICM", 4) == 0;
  });
}

bool VXIsJP2Stream(TStream* Stream) {
  return Probe(Stream, [&](int64_t) {
    uint8_t h[12];
    return ReadExact(Stream, h, 12) && BE32(h) == 12 && BE32(h + 4) == 0x6A502020u && BE32(h + 8) == 0x0D0A870Au;
  });
}

bool VXIsJ2KCodestream(TStream* Stream) {
  return Probe(Stream, [&](int64_t) {
    uint8_t h[4];
    return ReadExact(Stream, h, 4) && BE16(h) == 0xFF4F && BE16(h + 2) == 0xFF51;
  });
}

bool VXIsPSDStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t) {
    uint8_t h[26];
    if (!ReadExact(Stream, h, 26) || std::memcmp(h, "8BPS", 4) != 0) return false;
    const uint16_t version = BE16(h + 4), channels = BE16(h + 12), depth = BE16(h + 22), mode = BE16(h + 24);
    return (version == 1 || version == 2) && channels >= 1 && channels <= 24 && depth >= 1 && depth <= 16 &&
           mode < 10;
  });
}

bool VXIsAVIStream(TStream* Stream) {
  return Probe(Stream, [&](int64_t) {
    uint8_t h[12];
    return ReadExact(Stream, h, 12) && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "AVI ", 4) == 0;
  });
}

int64_t VXFindJpegSOI(TStream* Stream, bool Scan) {
  int64_t found = -1;
  Probe(Stream, [&](int64_t pos) {
    // Offsets 0 .. 149 need at most 152 bytes.
    uint8_t buf[152];
    const int64_t want = Scan ? 152 : 3;
    const int64_t got = Stream->Read(buf, want);
    for (int64_t k = 0; k + 3 <= got; ++k) {
      if (buf[k] == 0xFF && buf[k + 1] == 0xD8 && buf[k + 2] == 0xFF) {
        found = Scan ? pos + k : 0;
        return true;
      }
      if (!Scan) break;
    }
    return false;
  });
  return found;
}
