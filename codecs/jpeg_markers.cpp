// Marker-level work on JPEG byte streams: the length of an embedded JPEG,
// IPTC injection and the ICC profile chunks.
#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "codecs/jpeg.h"
#include "core/icc.h"
#include "core/limits.h"
#include "core/streams.h"
#include "io/exif.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/params.h"

namespace {

constexpr uint8_t kAPP2 = 0xE2;
constexpr int32_t kICCChunkBytes = 32000;
constexpr char kICCTag[] = "ICC_PROFILE";  // followed by a zero byte

// Reads a stream byte by byte through a 64 KB buffer, knowing its position.
class TByteReader {
 public:
  explicit TByteReader(TStream* Stream) : fStream(Stream), fPos(Stream->Position()) {}
  // The next byte, or -1 at the end of the stream.
  int Get() {
    if (fAt == fLen && !Fill()) return -1;
    ++fPos;
    return fBuf[fAt++];
  }
  // The byte after the next one without consuming either; -1 past the end.
  int Peek(int Ahead) {
    while (fLen - fAt <= size_t(Ahead)) {
      // Keep what is left, read more behind it.
      std::memmove(fBuf.data(), fBuf.data() + fAt, fLen - fAt);
      fLen -= fAt;
      fAt = 0;
      const int64_t got = fStream->Read(fBuf.data() + fLen, int64_t(fBuf.size() - fLen));
      if (got <= 0) return -1;
      fLen += size_t(got);
    }
    return fBuf[fAt + size_t(Ahead)];
  }
  // Reads Count bytes into Out; false when the stream ends first.
  bool Read(uint8_t* Out, size_t Count) {
    while (Count > 0) {
      if (fAt == fLen && !Fill()) return false;
      const size_t n = std::min(Count, fLen - fAt);
      if (Out) {
        std::memcpy(Out, fBuf.data() + fAt, n);
        Out += n;
      }
      fAt += n;
      fPos += int64_t(n);
      Count -= n;
    }
    return true;
  }
  int64_t Position() const { return fPos; }

 private:
  bool Fill() {
    fAt = fLen = 0;
    const int64_t got = fStream->Read(fBuf.data(), int64_t(fBuf.size()));
    if (got <= 0) return false;
    fLen = size_t(got);
    return true;
  }
  TStream* fStream;
  std::vector<uint8_t> fBuf = std::vector<uint8_t>(65536);
  size_t fAt = 0, fLen = 0;
  int64_t fPos;
};

// Markers that stand alone (no length).
bool StandsAlone(int m) { return m == 0x00 || m == 0x01 || (m >= 0xD0 && m <= 0xD8); }

// Writes into a stream through a 64 KB buffer; remembers a short write.
class TByteWriter {
 public:
  explicit TByteWriter(TStream* Stream) : fStream(Stream) { fBuf.reserve(65536); }
  ~TByteWriter() {
    try {
      Flush();
    } catch (...) {
    }
  }
  void Put(uint8_t b) {
    fBuf.push_back(b);
    if (fBuf.size() >= 65536) Flush();
  }
  void Put(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) Put(p[i]);
  }
  void Flush() {
    if (fBuf.empty()) return;
    if (fStream->Write(fBuf.data(), int64_t(fBuf.size())) != int64_t(fBuf.size())) fShort = true;
    fBuf.clear();
  }
  bool Short() const { return fShort; }

 private:
  TStream* fStream;
  std::vector<uint8_t> fBuf;
  bool fShort = false;
};

// Copies a JPEG stream from one stream to another segment by segment: bytes
// between segments and the markers that stand alone pass through, and
// everything from the end-of-image marker on is copied as it is. What becomes
// of each marker segment is up to the caller (PutSegment copies it).
class TJpegSegmentCopy {
 public:
  TJpegSegmentCopy(TStream* In, TStream* Out, TProgressRec& Progress)
      : fIn(In), fOut(Out), fProgress(Progress), fPer1(100.0 / std::max<int64_t>(1, In->Size() - In->Position())) {}

  // Walks the stream, calling Segment(marker, data) for each segment. False
  // when the stream holds an invalid marker, ends inside a segment, or the
  // output comes out short (which also sets Progress.Aborting).
  template <class OnSegment>
  bool Run(OnSegment&& Segment) {
    int32_t lastPercent = -1;
    bool stop = false;
    std::vector<uint8_t> data;
    while (!stop) {
      const int b = fIn.Get();
      if (b < 0) break;
      if (b != 0xFF) {
        fOut.Put(uint8_t(b));
        continue;
      }
      const int m = fIn.Get();
      if (m < 0) break;
      if (StandsAlone(m)) {
        fOut.Put(0xFF);
        fOut.Put(uint8_t(m));
      } else if ((m >= 0x02 && m <= 0xBF) || m == 0xFF) {
        stop = true;
      } else if (m == 0xD9) {
        fOut.Put(0xFF);
        fOut.Put(0xD9);
        for (int c; (c = fIn.Get()) >= 0;) fOut.Put(uint8_t(c));
        break;
      } else if (!ReadSegment(data)) {
        stop = true;
      } else {
        Segment(m, data);
      }
      VXReportProgress(fProgress, int32_t(double(fIn.Position()) * fPer1), lastPercent);
    }
    fOut.Flush();
    if (fOut.Short() && fProgress.Aborting) *fProgress.Aborting = true;
    return !stop && !fOut.Short();
  }

  // Writes a segment of marker m holding Data (at most 65,533 bytes).
  void PutSegment(int m, const std::vector<uint8_t>& Data) {
    const size_t len = Data.size() + 2;
    fOut.Put(0xFF);
    fOut.Put(uint8_t(m));
    fOut.Put(uint8_t(len >> 8));
    fOut.Put(uint8_t(len & 0xFF));
    fOut.Put(Data.data(), Data.size());
  }
  // A byte of the input ahead of the current one, not consumed; -1 past the end.
  int Peek(int Ahead) { return fIn.Peek(Ahead); }

 private:
  // The length and data of the current segment; false at a length below 2 or
  // when the input ends inside it.
  bool ReadSegment(std::vector<uint8_t>& Data) {
    const int hi = fIn.Get(), lo = fIn.Get();
    if (hi < 0 || lo < 0) return false;
    const int len = (hi << 8) | lo;
    if (len < 2) return false;
    Data.resize(size_t(len - 2));
    return fIn.Read(Data.data(), Data.size());
  }

  TByteReader fIn;
  TByteWriter fOut;
  TProgressRec& fProgress;
  double fPer1;
};

}  // namespace

int64_t VXGetJpegStreamLength(TStream* Stream) {
  if (!Stream) return 0;
  const int64_t start = Stream->Position();
  TByteReader in(Stream);
  for (;;) {
    int b = in.Get();
    if (b < 0) break;
    if (b != 0xFF) continue;
    const int m = in.Get();
    if (m < 0 || m == 0xD9) break;
    if ((m >= 0xC0 && m <= 0xCF) || (m >= 0xDA && m <= 0xFE)) {
      const int hi = in.Get(), lo = in.Get();
      if (hi < 0 || lo < 0) break;
      const int len = (hi << 8) | lo;
      if (len < 2) break;
      if (!in.Read(nullptr, size_t(len - 2))) break;
    }
  }
  const int64_t result = in.Position() - start;
  Stream->SetPosition(start);
  return result;
}

bool VXInjectJpegIPTC(TStream* InputStream, TStream* OutputStream, const TVXIPTCInfoList& IPTC,
                      TProgressRec& Progress) {
  if (!InputStream || !OutputStream) return false;
  const std::vector<uint8_t> block = IPTC.SaveToStandardBuffer(true);
  // One segment holds at most 65,533 data bytes.
  if (block.size() > 65533) return false;
  TJpegSegmentCopy copy(InputStream, OutputStream, Progress);
  bool written = false;
  auto writeIPTC = [&]() {
    if (written) return;
    written = true;
    if (!block.empty()) copy.PutSegment(0xED, block);
  };
  // The block goes after the last of the leading APP0..APP12 segments, in
  // place of an old APP13, or before the first quantisation table.
  const bool ok = copy.Run([&](int m, const std::vector<uint8_t>& data) {
    if (m >= 0xE0 && m <= 0xEC) {
      copy.PutSegment(m, data);
      const int n0 = copy.Peek(0), n1 = copy.Peek(1);
      if (!(n0 == 0xFF && n1 >= 0xE0 && n1 <= 0xED)) writeIPTC();
    } else if (m == 0xED) {
      writeIPTC();
    } else if (m == 0xDB) {
      writeIPTC();
      copy.PutSegment(m, data);
    } else {
      copy.PutSegment(m, data);
    }
  });
  return ok && written;
}

bool VXInjectJpegEXIF(TStream* InputStream, TStream* OutputStream, TIOParamsVals& IOParams, TProgressRec& Progress) {
  if (!InputStream || !OutputStream) return false;
  std::vector<uint8_t> block;
  if (IOParams.EXIF_HasEXIFData()) block = VXSaveEXIFToBuffer(IOParams, true);
  // One segment holds at most 65,533 data bytes.
  if (block.size() > 65533) return false;
  TJpegSegmentCopy copy(InputStream, OutputStream, Progress);
  bool written = false;
  // An old "Exif" APP1 is dropped; the block follows the first APP0 or APP1.
  const bool ok = copy.Run([&](int m, const std::vector<uint8_t>& data) {
    const bool oldExif = m == 0xE1 && data.size() >= 4 && std::memcmp(data.data(), "Exif", 4) == 0;
    if (!oldExif) copy.PutSegment(m, data);
    if ((m == 0xE0 || m == 0xE1) && !written) {
      written = true;
      if (!block.empty()) copy.PutSegment(0xE1, block);
    }
  });
  return ok && written;
}

void VXReadJpegICCProfile(TStream* Stream, TIOParamsVals& IOParams) {
  if (!Stream) return;
  const int64_t start = Stream->Position();
  TByteReader in(Stream);
  // Chunks by sequence number (1..255); a repeated sequence keeps the last.
  std::map<int, std::vector<uint8_t>> chunks;
  int64_t total = 0;
  for (;;) {
    const int b = in.Get();
    if (b < 0) break;
    if (b != 0xFF) continue;
    const int m = in.Get();
    if (m < 0) break;
    if (m <= 0xBF || (m >= 0xD0 && m <= 0xD8) || m == 0xFF) continue;
    if (m == kAPP2) {
      const int hi = in.Get(), lo = in.Get();
      if (hi < 0 || lo < 0) break;
      const int len = (hi << 8) | lo;
      if (len < 2) break;
      std::vector<uint8_t> data(size_t(len - 2));
      if (!in.Read(data.data(), data.size())) break;
      if (data.size() < 14 || std::memcmp(data.data(), kICCTag, sizeof kICCTag) != 0) continue;
      const int seq = data[12], count = data[13];
      if (seq < 1 || len < 16) continue;
      auto it = chunks.find(seq);
      if (it != chunks.end()) total -= int64_t(it->second.size());
      std::vector<uint8_t>& slot = chunks[seq];
      slot.assign(data.begin() + 14, data.end());
      total += int64_t(slot.size());
      if (int(chunks.size()) >= count) break;
      continue;
    }
    if (m == 0xC4 || m == 0xC8 || m == 0xCC || (m >= 0xDA && m <= 0xE1) || (m >= 0xE3 && m <= 0xFE)) {
      const int hi = in.Get(), lo = in.Get();
      if (hi < 0 || lo < 0) break;
      const int len = (hi << 8) | lo;
      if (len < 2 || !in.Read(nullptr, size_t(len - 2))) break;
      continue;
    }
    break;  // start of frame or end of image
  }
  Stream->SetPosition(start);
  if (total <= 0 || !VXMetadataSizeAllowed(total)) return;
  std::vector<uint8_t> joined;
  joined.reserve(size_t(total));
  for (const auto& [seq, payload] : chunks) joined.insert(joined.end(), payload.begin(), payload.end());
  IOParams.InputICCProfile().LoadFromBuffer(joined.data(), int32_t(joined.size()));
}

void VXBuildJpegICCMarkers(TIOParamsVals& IOParams) {
  TVXMarkerList& markers = IOParams.JPEG_MarkerList();
  markers.DeleteMarkerInstances(kAPP2);
  if (!IOParams.HasInputICCProfile()) return;
  const TVXICC& profile = IOParams.InputICCProfile();
  const uint8_t* raw = profile.Raw();
  const int64_t length = profile.RawLength();
  if (!raw || length <= 0) return;
  const int64_t count = (length + kICCChunkBytes - 1) / kICCChunkBytes;
  if (count > 255) throw EVXJpegException("The colour profile does not fit 255 JPEG markers");
  std::vector<uint8_t> data;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t from = i * kICCChunkBytes;
    const int64_t n = std::min<int64_t>(kICCChunkBytes, length - from);
    data.assign(kICCTag, kICCTag + sizeof kICCTag);
    data.push_back(uint8_t(i + 1));
    data.push_back(uint8_t(count));
    data.insert(data.end(), raw + from, raw + from + n);
    markers.AddMarker(kAPP2, data.data(), uint16_t(data.size()));
  }
}
