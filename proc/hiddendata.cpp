// A block of bytes hidden in the least significant bits of a vx24RGB image.
//
// The hidden stream is an 8-byte header (four zero bytes, then the count of
// data bytes, signed 32-bit little-endian) followed by the data. Its bits,
// least significant first, go into the low bits of the colour bytes taken row
// by row from the top, W x 3 bytes a row; a carrier byte changes by at most
// one (+1, or 255 -> 254).

#include <algorithm>
#include <climits>
#include <vector>

#include "core/bitmap.h"
#include "proc/proc.h"

namespace {

constexpr int64_t kHeaderBytes = 8;

// Walks the carrier bytes of a vx24RGB bitmap in order.
class TCarrier {
 public:
  explicit TCarrier(TVXBitmap* Bitmap)
      : fBitmap(Bitmap), fRowBytes(int64_t(Bitmap->Width()) * 3), fHeight(Bitmap->Height()) {}

  static int64_t Bytes(const TVXBitmap* Bitmap) { return int64_t(Bitmap->Width()) * Bitmap->Height() * 3; }

  // The next carrier byte; nullptr at the end of the image.
  uint8_t* Next() {
    if (fRow == nullptr || fColumn == fRowBytes) {
      if (fY >= fHeight) return nullptr;
      fRow = static_cast<uint8_t*>(fBitmap->Scanline(fY++));
      fColumn = 0;
      if (fRow == nullptr) return nullptr;
    }
    return fRow + fColumn++;
  }

  // Puts the eight bits of Value into the next eight carrier bytes.
  void WriteByte(uint8_t Value) {
    for (int bit = 0; bit < 8; ++bit) {
      uint8_t* v = Next();
      if (!v) return;
      if ((*v & 1) != ((Value >> bit) & 1)) *v = *v == 255 ? 254 : uint8_t(*v + 1);
    }
  }

  uint8_t ReadByte() {
    uint8_t value = 0;
    for (int bit = 0; bit < 8; ++bit) {
      const uint8_t* v = Next();
      if (!v) break;
      value |= uint8_t((*v & 1) << bit);
    }
    return value;
  }

 private:
  TVXBitmap* fBitmap;
  int64_t fRowBytes;
  int32_t fHeight;
  int32_t fY = 0;
  uint8_t* fRow = nullptr;
  int64_t fColumn = 0;
};

// Data bytes an image holds after the header (negative when not even the
// header fits).
int64_t DataSpace(const TVXBitmap* Bitmap) { return TCarrier::Bytes(Bitmap) / 8 - kHeaderBytes; }

}  // namespace

int32_t TVexlaneProc::GetHiddenDataSpace() {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB})) return 0;
  return int32_t(std::min<int64_t>(DataSpace(fVXBitmap), INT32_MAX));
}

int32_t TVexlaneProc::WriteHiddenData(const void* data, int32_t count) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB})) return 0;
  const int64_t space = DataSpace(fVXBitmap);
  // Count -1 invalidates what the image holds: seven bytes of 0xFF spoil the
  // header. Any other negative count, or an image too small for the header,
  // writes nothing.
  const bool invalidate = count == -1;
  int32_t stored = 0;
  if (!invalidate) stored = int32_t(std::clamp<int64_t>(count, 0, std::max<int64_t>(space, 0)));
  if (space < 0 || (count < 0 && !invalidate) || (data == nullptr && stored > 0)) {
    DoFinishWork();
    return 0;
  }
  if (fAutoUndo) SaveUndoCaptioned("WriteHiddenData", vxuImage);
  TCarrier carrier(fVXBitmap);
  if (invalidate) {
    for (int i = 0; i < 7; ++i) carrier.WriteByte(0xFF);
  } else {
    // The header counts the bytes that fit, so that reading returns exactly
    // what was stored.
    const uint8_t header[kHeaderBytes] = {0, 0, 0, 0, uint8_t(stored), uint8_t(stored >> 8), uint8_t(stored >> 16),
                                          uint8_t(uint32_t(stored) >> 24)};
    for (uint8_t b : header) carrier.WriteByte(b);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    for (int32_t i = 0; i < stored; ++i) carrier.WriteByte(bytes[i]);
  }
  Update();
  DoFinishWork();
  return invalidate ? -1 : stored;
}

int32_t TVexlaneProc::ReadHiddenData(void* data, int32_t maxlen) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB})) return 0;
  const int64_t space = DataSpace(fVXBitmap);
  int32_t result = 0;
  if (space >= 0) {
    TCarrier carrier(fVXBitmap);
    uint8_t header[kHeaderBytes];
    for (uint8_t& b : header) b = carrier.ReadByte();
    const int32_t count = int32_t(uint32_t(header[4]) | (uint32_t(header[5]) << 8) | (uint32_t(header[6]) << 16) |
                                  (uint32_t(header[7]) << 24));
    const bool valid = header[0] == 0 && header[1] == 0 && header[2] == 0 && header[3] == 0 && count >= 0 &&
                       int64_t(count) < TCarrier::Bytes(fVXBitmap);
    if (valid) {
      // Never more than the image holds after the header (an image written
      // with a count larger than its room holds only what fitted).
      result = int32_t(std::min<int64_t>(count, space));
      uint8_t* out = static_cast<uint8_t*>(data);
      const int32_t n = out ? std::clamp(maxlen, 0, result) : 0;
      for (int32_t i = 0; i < n; ++i) out[i] = carrier.ReadByte();
    }
  }
  DoFinishWork();
  return result;
}

int32_t TVexlaneProc::WriteHiddenText(const std::string& text) {
  if (text.size() > size_t(INT32_MAX)) return 0;
  return WriteHiddenData(text.data(), int32_t(text.size()));
}

std::string TVexlaneProc::ReadHiddenText() {
  const int32_t length = ReadHiddenData(nullptr, 0);
  if (length <= 0) return {};
  std::string text(size_t(length), '\0');
  const int32_t got = ReadHiddenData(text.data(), length);
  text.resize(size_t(std::clamp(got, 0, length)));
  return text;
}

void TVexlaneProc::ClearHiddenText() {
  const int32_t space = GetHiddenDataSpace();
  if (space > 0) {
    const std::vector<uint8_t> zeros(size_t(space), 0);
    WriteHiddenData(zeros.data(), space);
  }
  WriteHiddenData(nullptr, 0);
}
