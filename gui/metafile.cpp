// Metafile pictures over the window layer's metafile handles.
#include "gui/metafile.h"

#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr int kScreenPPI = 96;

uint32_t Rd32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Rd16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

[[noreturn]] void Invalid() { throw EInvalidGraphicOperation("Invalid metafile"); }

// A Windows metafile header at Data: type 1 or 2, nine words.
bool WmfHeader(const uint8_t* Data, size_t Count) {
  return Count >= 18 && (Rd16(Data) == 1 || Rd16(Data) == 2) && Rd16(Data + 2) == 9;
}

// The first window extent of the records, 0 x 0 without one.
void FirstWindowExt(const uint8_t* Data, size_t Count, int& Cx, int& Cy) {
  Cx = Cy = 0;
  for (size_t o = 18; o + 6 <= Count;) {
    uint32_t words = Rd32(Data + o);
    uint16_t fn = Rd16(Data + o + 4);
    if (words < 3 || words > (Count - o) / 2 || fn == 0) return;
    if (fn == 0x020C && words >= 5) {
      Cy = std::abs(int(int16_t(Rd16(Data + o + 6))));
      Cx = std::abs(int(int16_t(Rd16(Data + o + 8))));
      return;
    }
    o += size_t(words) * 2;
  }
}

}  // namespace

TMetafile::~TMetafile() { Clear(); }

void TMetafile::Clear() {
  if (fHandle) DeleteEnhMetaFile(fHandle);
  fHandle = nullptr;
  fWidth = fHeight = fMMWidth = fMMHeight = fInch = 0;
  fEnhanced = true;
}

int64_t TMetafile::DeclaredSize(const uint8_t* Head, size_t Count, int64_t Available) {
  if (Count >= 52 && Rd32(Head) == 1 && Rd32(Head + 40) == ENHMETA_SIGNATURE) return Rd32(Head + 48);
  size_t start = 0;
  if (Count >= 4 && Rd32(Head) == kPlaceableKey) start = 22;
  if (Count < start + 18 || !WmfHeader(Head + start, Count - start)) return 0;
  const int64_t size = int64_t(start) + int64_t(Rd32(Head + start + 6)) * 2;
  if (start && size > Available && size - int64_t(start) <= Available) return size - int64_t(start);
  return size;
}

void TMetafile::LoadFromBuffer(const uint8_t* Data, size_t Count) {
  if (!Data || Count < 18 || Count > UINT32_MAX) Invalid();
  if (Count >= 52 && Rd32(Data) == 1 && Rd32(Data + 40) == ENHMETA_SIGNATURE) {
    HENHMETAFILE h = SetEnhMetaFileBits(UINT(Count), Data);
    if (!h) Invalid();
    ENHMETAHEADER hdr;
    GetEnhMetaFileHeader(h, sizeof hdr, &hdr);
    int64_t mw = int64_t(hdr.rclFrame.right) - hdr.rclFrame.left, mh = int64_t(hdr.rclFrame.bottom) - hdr.rclFrame.top;
    if (mw < 0 || mh < 0 || mw > INT32_MAX || mh > INT32_MAX) {
      DeleteEnhMetaFile(h);
      Invalid();
    }
    Clear();
    fHandle = h;
    fEnhanced = true;
    fMMWidth = int(mw);
    fMMHeight = int(mh);
    fWidth = MulDiv(fMMWidth, kScreenPPI, 2540);
    fHeight = MulDiv(fMMHeight, kScreenPPI, 2540);
    Changed();
    return;
  }
  METAFILEPICT pict;
  int inch = 0, mmw = 0, mmh = 0, w = 0, h = 0;
  const uint8_t* wmf = Data;
  size_t n = Count;
  if (Rd32(Data) == kPlaceableKey) {
    if (Count < 22 + 18) Invalid();
    int left = int16_t(Rd16(Data + 6)), top = int16_t(Rd16(Data + 8));
    int right = int16_t(Rd16(Data + 10)), bottom = int16_t(Rd16(Data + 12));
    inch = Rd16(Data + 14);
    if (inch == 0) Invalid();
    mmw = MulDiv(std::abs(right - left), 2540, inch);
    mmh = MulDiv(std::abs(bottom - top), 2540, inch);
    w = MulDiv(std::abs(right - left), kScreenPPI, inch);
    h = MulDiv(std::abs(bottom - top), kScreenPPI, inch);
    wmf = Data + 22;
    n = Count - 22;
  } else {
    // A plain Windows metafile takes its size from its first window extent.
    if (!WmfHeader(Data, Count)) Invalid();
    FirstWindowExt(Data, Count, w, h);
    if (w == 0 || h == 0) Invalid();
    mmw = MulDiv(w, 2540, kScreenPPI);
    mmh = MulDiv(h, 2540, kScreenPPI);
  }
  if (mmw <= 0 || mmh <= 0) Invalid();
  pict.mm = MM_ANISOTROPIC;
  pict.xExt = mmw;
  pict.yExt = mmh;
  HENHMETAFILE hh = SetWinMetaFileBits(UINT(n), wmf, nullptr, &pict);
  if (!hh) Invalid();
  Clear();
  fHandle = hh;
  fEnhanced = false;
  fInch = inch;
  fMMWidth = mmw;
  fMMHeight = mmh;
  fWidth = w;
  fHeight = h;
  Changed();
}

void TMetafile::LoadFromStream(std::istream& Stream) {
  uint8_t head[64] = {};
  std::streampos start = Stream.tellg();
  Stream.read(reinterpret_cast<char*>(head), sizeof head);
  size_t got = size_t(Stream.gcount());
  Stream.clear();
  // The declared size must be there before it is allocated.
  Stream.seekg(0, std::ios::end);
  std::streampos end = Stream.tellg();
  if (start == std::streampos(-1) || end == std::streampos(-1)) Invalid();
  int64_t size = DeclaredSize(head, got, int64_t(end - start));
  if (size < 18 || size > (int64_t(1) << 31) || int64_t(end - start) < size) Invalid();
  Stream.seekg(start);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  Stream.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size));
  if (Stream.gcount() != std::streamsize(size)) Invalid();
  LoadFromBuffer(bytes.data(), bytes.size());
}

void TMetafile::LoadFromFile(const std::string& FileName) {
  std::ifstream f(FileName, std::ios::binary);
  if (!f) Invalid();
  LoadFromStream(f);
}

void TMetafile::SetWidth(int v) {
  if (v == fWidth) return;
  fWidth = v;
  Changed();
}
void TMetafile::SetHeight(int v) {
  if (v == fHeight) return;
  fHeight = v;
  Changed();
}
void TMetafile::SetMMWidth(int v) {
  fMMWidth = v;
  fWidth = MulDiv(v, kScreenPPI, 2540);
  Changed();
}
void TMetafile::SetMMHeight(int v) {
  fMMHeight = v;
  fHeight = MulDiv(v, kScreenPPI, 2540);
  Changed();
}

void TMetafile::SetHandle(HENHMETAFILE Value) {
  if (Value == fHandle) return;
  Clear();
  if (Value) {
    ENHMETAHEADER hdr;
    if (GetEnhMetaFileHeader(Value, sizeof hdr, &hdr) == 0) return;
    fHandle = Value;
    fMMWidth = hdr.rclFrame.right - hdr.rclFrame.left;
    fMMHeight = hdr.rclFrame.bottom - hdr.rclFrame.top;
    fWidth = MulDiv(fMMWidth, kScreenPPI, 2540);
    fHeight = MulDiv(fMMHeight, kScreenPPI, 2540);
  }
  Changed();
}

void TMetafile::Draw(TCanvas* Canvas, const TRect& Rect) {
  if (!fHandle || !Canvas) return;
  RECT r{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  PlayEnhMetaFile(Canvas->Handle(), fHandle, &r);
}
