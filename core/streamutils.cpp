#include "core/streamutils.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/streams.h"
#include "core/textutils.h"
#include "core/vxdefs.h"

// ---------------------------------------------------------------------------
// Length-prefixed strings

namespace {
void WriteI32(TStream* Stream, int32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  Stream->WriteBuffer(b, 4);
}

int32_t ReadI32(TStream* Stream) {
  uint8_t b[4];
  Stream->ReadBuffer(b, 4);
  return int32_t(uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24));
}

// A stored length must fit in what remains of the stream.
void CheckStoredLength(TStream* Stream, int64_t Bytes) {
  if (Bytes < 0) throw EReadError("Stream read error");
  if (Stream->SizeKnown() && Bytes > Stream->Size() - Stream->Position()) throw EReadError("Stream read error");
}
}  // namespace

void VXWriteAnsiString(TStream* Stream, const std::string& Text) {
  WriteI32(Stream, int32_t(Text.size()));
  Stream->WriteBuffer(Text.data(), int64_t(Text.size()));
}

void VXReadAnsiString(TStream* Stream, std::string& Text) {
  int32_t len = ReadI32(Stream);
  CheckStoredLength(Stream, len);
  std::string s(size_t(len), '\0');
  Stream->ReadBuffer(s.data(), len);
  Text = std::move(s);
}

void VXWriteWideString(TStream* Stream, const std::string& Text) {
  std::u16string w = VXUTF8ToUTF16(Text);
  WriteI32(Stream, int32_t(w.size()));
  std::vector<uint8_t> b(w.size() * 2);
  for (size_t i = 0; i < w.size(); ++i) {
    b[2 * i] = uint8_t(w[i]);
    b[2 * i + 1] = uint8_t(w[i] >> 8);
  }
  Stream->WriteBuffer(b.data(), int64_t(b.size()));
}

void VXReadWideString(TStream* Stream, std::string& Text) {
  int32_t count = ReadI32(Stream);
  CheckStoredLength(Stream, int64_t(count) * 2);
  std::vector<uint8_t> b(size_t(count) * 2);
  Stream->ReadBuffer(b.data(), int64_t(b.size()));
  std::u16string w(size_t(count), u'\0');
  for (size_t i = 0; i < w.size(); ++i) w[i] = char16_t(b[2 * i] | (b[2 * i + 1] << 8));
  Text = VXUTF16ToUTF8(w);
}

void VXWriteStringList(TStream* Stream, const std::vector<std::string>& List) {
  WriteI32(Stream, int32_t(List.size()));
  for (const std::string& s : List) VXWriteAnsiString(Stream, VXUTF8ToAnsi(s));
}

void VXReadStringList(TStream* Stream, std::vector<std::string>& List) {
  List.clear();
  int32_t count = ReadI32(Stream);
  // Every string takes at least its 4-byte length.
  CheckStoredLength(Stream, int64_t(count) * 4);
  for (int32_t i = 0; i < count; ++i) {
    std::string s;
    VXReadAnsiString(Stream, s);
    List.push_back(VXAnsiToUTF8(s));
  }
}

int32_t VXNumColorsFromBits(int32_t BitsPerSample, int32_t SamplesPerPixel) {
  int32_t r = 1;
  int64_t n = int64_t(BitsPerSample) * SamplesPerPixel;
  for (int64_t i = 0; i < n && i < 32; ++i) r = int32_t(uint32_t(r) * 2u);
  return r;
}

void VXWriteChecked(TStream* Stream, bool& Aborting, const void* Buffer, int64_t Count) {
  if (Stream->Write(Buffer, Count) < Count) Aborting = true;
}

// ---------------------------------------------------------------------------
// Base64

namespace {
const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

void VXEncodeBase64Group(const uint8_t* Src, char* Dst, int32_t Len) {
  uint32_t v = uint32_t(Src[0]) << 16;
  if (Len > 1) v |= uint32_t(Src[1]) << 8;
  if (Len > 2) v |= Src[2];
  Dst[0] = kBase64Alphabet[(v >> 18) & 63];
  Dst[1] = kBase64Alphabet[(v >> 12) & 63];
  Dst[2] = Len > 1 ? kBase64Alphabet[(v >> 6) & 63] : '=';
  Dst[3] = Len > 2 ? kBase64Alphabet[v & 63] : '=';
}

void VXEncodeBase64(TStream* Source, TStream* Dest, int32_t LineLength) {
  const int64_t size = Source->Size();
  // Read ahead through a buffer; freeing it leaves Source just behind the
  // last byte encoded.
  TVXBufferedReadStream in(Source, 65536, false);
  const double groupsPerLine = LineLength / 4.0;
  std::string line;
  int32_t groups = 0;
  uint8_t group[3];
  char out[4];
  int64_t pos = in.Position();
  while (pos < size) {
    int64_t n = in.Read(group, std::min<int64_t>(3, size - pos));
    if (n <= 0) break;
    pos += n;
    VXEncodeBase64Group(group, out, int32_t(n));
    line.append(out, 4);
    ++groups;
    if (groups >= groupsPerLine) {
      line += "\r\n";
      Dest->WriteBuffer(line.data(), int64_t(line.size()));
      line.clear();
      groups = 0;
    }
  }
  if (groups > 0) {
    line += "\r\n";
    Dest->WriteBuffer(line.data(), int64_t(line.size()));
  }
}

void VXDecodeBase64(TStream* Source, TMemoryStream* Dest) {
  uint8_t table[256];
  std::memset(table, 0, sizeof table);
  for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kBase64Alphabet[i])] = uint8_t(i);
  TVXBufferedReadStream in(Source, 8192, false);
  const int64_t size = in.Size();
  while (in.Position() < size) {
    uint8_t c[4] = {0, 0, 0, 0};
    int32_t got = 0, pads = 0;
    while (got < 4) {
      uint8_t ch;
      do {
        if (in.Read(&ch, 1) != 1) goto groupEnd;
      } while (VXIsBlankChar(ch));
      if (ch == '=') ++pads;
      c[got++] = table[ch];
    }
  groupEnd:
    if (got == 0) break;
    {
      // A group cut short by the end of the text yields only its whole bytes.
      int32_t bytes = 3 - pads - (4 - got);
      uint32_t v = (uint32_t(c[0]) << 18) | (uint32_t(c[1]) << 12) | (uint32_t(c[2]) << 6) | c[3];
      uint8_t b[3] = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
      if (bytes > 0) Dest->WriteBuffer(b, bytes);
    }
    if (got < 4) break;
  }
}

// ---------------------------------------------------------------------------
// ASCII85 and RunLength

int32_t VXAscii85Encode(const uint8_t*& Src, int32_t Count, char*& Dst, int32_t& Counter) {
  int32_t written = 0;
  int32_t lineLen = 0;
  int32_t left = Count;
  while (left > 0) {
    int32_t n = std::min<int32_t>(4, left);
    uint32_t v = 0;
    for (int32_t k = 0; k < 4; ++k) v = (v << 8) | (k < n ? Src[k] : 0);
    Src += n;
    left -= n;
    int32_t chars;
    if (n == 4 && v == 0) {
      *Dst++ = 'z';
      chars = 1;
    } else {
      char d[5];
      uint32_t r = v;
      d[0] = char(r / 52200625u + 33);
      r %= 52200625u;
      d[1] = char(r / 614125u + 33);
      r %= 614125u;
      d[2] = char(r / 7225u + 33);
      r %= 7225u;
      d[3] = char(r / 85u + 33);
      d[4] = char(r % 85u + 33);
      chars = n + 1;
      std::memcpy(Dst, d, size_t(chars));
      Dst += chars;
    }
    Counter += chars;
    written += chars;
    lineLen += chars;
    if (lineLen > 74) {
      *Dst++ = '\r';
      *Dst++ = '\n';
      written += 2;
      lineLen = 0;
    }
  }
  std::memcpy(Dst, "~>\r\n", 4);
  Dst += 4;
  written += 4;
  return written;
}

int32_t VXRunLengthEncode(const uint8_t* Src, int32_t Len, uint8_t* Dst) {
  int32_t out = 0;
  int32_t j = 0;
  while (j < Len) {
    int32_t n = 1;
    while (j + n < Len && n < 128 && Src[j + n] == Src[j]) ++n;
    if (n >= 2) {
      Dst[out++] = uint8_t(257 - n);
      Dst[out++] = Src[j];
      j += n;
      continue;
    }
    n = 1;
    while (j + n < Len && n < 128 && Src[j + n] != Src[j + n - 1]) ++n;
    Dst[out++] = uint8_t(n - 1);
    std::memcpy(Dst + out, Src + j, size_t(n));
    out += n;
    j += n;
  }
  Dst[out++] = 128;
  return out;
}

void VXWriteLn(TStream* Stream, const std::string& S) {
  std::string line = S + "\r\n";
  Stream->WriteBuffer(line.data(), int64_t(line.size()));
}

void VXStreamWriteLine(TStream* Stream, const std::string& S) {
  Stream->WriteBuffer(S.data(), int64_t(S.size()));
  Stream->WriteBuffer("\r\n", 2);
}

// ---------------------------------------------------------------------------
// Byte order

uint16_t VXSwapWordIf(uint16_t V, bool BigEndian) { return BigEndian ? uint16_t((V >> 8) | (V << 8)) : V; }

uint32_t VXSwapDWordIf(uint32_t V, bool BigEndian) { return BigEndian ? __builtin_bswap32(V) : V; }

uint64_t VXSwapInt64If(uint64_t V, bool BigEndian) { return BigEndian ? __builtin_bswap64(V) : V; }

namespace {
// Little-endian value of up to 8 bytes; missing bytes are 0.
uint64_t ReadLE(TStream* Stream, int n) {
  uint8_t b[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  Stream->Read(b, n);
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[i];
  return v;
}
}  // namespace

uint16_t VXStreamReadWord(TStream* Stream, bool BigEndian) {
  return VXSwapWordIf(uint16_t(ReadLE(Stream, 2)), BigEndian);
}
uint32_t VXStreamReadDWord(TStream* Stream, bool BigEndian) {
  return VXSwapDWordIf(uint32_t(ReadLE(Stream, 4)), BigEndian);
}
uint64_t VXStreamReadInt64(TStream* Stream, bool BigEndian) { return VXSwapInt64If(ReadLE(Stream, 8), BigEndian); }

int64_t VXStreamPadToWord(TStream* Stream, bool& Error) {
  int64_t pos = Stream->Position();
  if (pos & 1) {
    uint8_t zero = 0;
    if (Stream->Write(&zero, 1) != 1) Error = true;
    pos = Stream->Position();
  }
  return pos;
}

// ---------------------------------------------------------------------------
// Search and copy

int64_t VXStreamFind(TStream* Stream, const std::string& S, int64_t Limit) {
  const int64_t m = int64_t(S.size());
  if (m == 0) return -1;
  // Prefix function of S, so that a failed partial match falls back to the
  // longest candidate that may still match.
  std::vector<int64_t> fail(size_t(m), 0);
  for (int64_t i = 1, k = 0; i < m; ++i) {
    while (k > 0 && S[size_t(i)] != S[size_t(k)]) k = fail[size_t(k - 1)];
    if (S[size_t(i)] == S[size_t(k)]) ++k;
    fail[size_t(i)] = k;
  }
  int64_t pos = Stream->Position();  // absolute position of the next byte
  int64_t q = 0;                      // bytes of S matched just before pos
  std::vector<uint8_t> buf(65536);
  while (pos - q < Limit) {
    int64_t n = Stream->Read(buf.data(), int64_t(buf.size()));
    if (n <= 0) break;
    for (int64_t i = 0; i < n; ++i) {
      if (q == 0 && pos >= Limit) {
        Stream->Seek(pos, soBeginning);
        return -1;
      }
      const char c = char(buf[size_t(i)]);
      while (q > 0 && S[size_t(q)] != c) q = fail[size_t(q - 1)];
      if (S[size_t(q)] == c) ++q;
      ++pos;
      if (q == m) {
        int64_t start = pos - m;
        if (start < Limit) {
          Stream->Seek(pos, soBeginning);
          return start;
        }
        q = fail[size_t(q - 1)];
      }
      if (pos - q >= Limit) {
        Stream->Seek(pos, soBeginning);
        return -1;
      }
    }
  }
  Stream->Seek(pos, soBeginning);
  return -1;
}

int64_t VXCopyStreamRange(TStream* Dest, TStream* Source, int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  if (Source->SizeKnown()) Count = std::max<int64_t>(0, std::min(Count, Source->Size() - Source->Position()));
  if (Count <= 0) return 0;
  std::vector<uint8_t> buf(size_t(std::min<int64_t>(Count, 0x2FFFF)));
  int64_t left = Count;
  while (left > 0) {
    int64_t n = std::min<int64_t>(left, int64_t(buf.size()));
    Source->ReadBuffer(buf.data(), n);
    Dest->WriteBuffer(buf.data(), n);
    left -= n;
  }
  return Count;
}

// ---------------------------------------------------------------------------
// Quicksort

namespace {
void QuickSortRange(int32_t L, int32_t R, const TVXQuickSortExchange& Exchange, const TVXQuickSortCompare& Compare) {
  int32_t i;
  do {
    int32_t P = L + (R - L) / 2;
    i = L;
    int32_t j = R;
    do {
      while (Compare(i, P) < 0) ++i;
      while (Compare(j, P) > 0) --j;
      if (i <= j) {
        if (i == P)
          P = j;
        else if (j == P)
          P = i;
        Exchange(i, j);
        ++i;
        --j;
      }
    } while (i <= j);
    if (L < j) QuickSortRange(L, j, Exchange, Compare);
    L = i;
  } while (i < R);
}
}  // namespace

void VXQuickSort(int32_t Count, const TVXQuickSortExchange& Exchange, const TVXQuickSortCompare& Compare) {
  if (Count <= 0) return;
  QuickSortRange(0, Count - 1, Exchange, Compare);
}
