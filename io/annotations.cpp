// Image annotations: the Wang imaging marks of TIFF tag 32932 and the
// library's own annotation block.
#include "io/annotations.h"

#include <cmath>
#include <cstring>
#include <map>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/metastream.h"

namespace {

int32_t GetI32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

uint32_t GetU32(const uint8_t* p) { return uint32_t(GetI32(p)); }

void PutI32(uint8_t* p, int32_t v) {
  uint32_t u = uint32_t(v);
  p[0] = uint8_t(u);
  p[1] = uint8_t(u >> 8);
  p[2] = uint8_t(u >> 16);
  p[3] = uint8_t(u >> 24);
}

void AppendI32(std::vector<uint8_t>& out, int32_t v) {
  uint8_t b[4];
  PutI32(b, v);
  out.insert(out.end(), b, b + 4);
}

// Named blocks of the whole file or of one mark, by name.
using TNamedBlocks = std::map<std::string, std::vector<uint8_t>>;

}  // namespace

// ---------------------------------------------------------------------------
// Mark attributes

void OIAN_MARK_ATTRIBUTES::Read(const uint8_t* p) {
  uType = GetI32(p + 0);
  for (int i = 0; i < 4; ++i) lrBounds[i] = GetI32(p + 4 + 4 * i);
  rgbColor1 = {p[20], p[21], p[22], p[23]};
  rgbColor2 = {p[24], p[25], p[26], p[27]};
  bHighlighting = GetI32(p + 28);
  bTransparent = GetI32(p + 32);
  uLineSize = GetU32(p + 36);
  uReserved1 = GetU32(p + 40);
  uReserved2 = GetU32(p + 44);
  const uint8_t* f = p + 48;
  lfFont.lfHeight = GetI32(f + 0);
  lfFont.lfWidth = GetI32(f + 4);
  lfFont.lfEscapement = GetI32(f + 8);
  lfFont.lfOrientation = GetI32(f + 12);
  lfFont.lfWeight = GetI32(f + 16);
  lfFont.lfItalic = f[20];
  lfFont.lfUnderline = f[21];
  lfFont.lfStrikeOut = f[22];
  lfFont.lfCharSet = f[23];
  lfFont.lfOutPrecision = f[24];
  lfFont.lfClipPrecision = f[25];
  lfFont.lfQuality = f[26];
  lfFont.lfPitchAndFamily = f[27];
  std::memcpy(lfFont.lfFaceName, f + 28, 32);
  bReserved3 = GetU32(p + 108);
  Time = GetI32(p + 112);
  bVisible = GetI32(p + 116);
  dwReserved4 = GetU32(p + 120);
  for (int i = 0; i < 10; ++i) lReserved[i] = GetI32(p + 124 + 4 * i);
}

void OIAN_MARK_ATTRIBUTES::Write(uint8_t* p) const {
  PutI32(p + 0, uType);
  for (int i = 0; i < 4; ++i) PutI32(p + 4 + 4 * i, lrBounds[i]);
  p[20] = rgbColor1.rgbBlue;
  p[21] = rgbColor1.rgbGreen;
  p[22] = rgbColor1.rgbRed;
  p[23] = rgbColor1.rgbReserved;
  p[24] = rgbColor2.rgbBlue;
  p[25] = rgbColor2.rgbGreen;
  p[26] = rgbColor2.rgbRed;
  p[27] = rgbColor2.rgbReserved;
  PutI32(p + 28, bHighlighting);
  PutI32(p + 32, bTransparent);
  PutI32(p + 36, int32_t(uLineSize));
  PutI32(p + 40, int32_t(uReserved1));
  PutI32(p + 44, int32_t(uReserved2));
  uint8_t* f = p + 48;
  PutI32(f + 0, lfFont.lfHeight);
  PutI32(f + 4, lfFont.lfWidth);
  PutI32(f + 8, lfFont.lfEscapement);
  PutI32(f + 12, lfFont.lfOrientation);
  PutI32(f + 16, lfFont.lfWeight);
  f[20] = lfFont.lfItalic;
  f[21] = lfFont.lfUnderline;
  f[22] = lfFont.lfStrikeOut;
  f[23] = lfFont.lfCharSet;
  f[24] = lfFont.lfOutPrecision;
  f[25] = lfFont.lfClipPrecision;
  f[26] = lfFont.lfQuality;
  f[27] = lfFont.lfPitchAndFamily;
  std::memcpy(f + 28, lfFont.lfFaceName, 32);
  PutI32(p + 108, int32_t(bReserved3));
  PutI32(p + 112, Time);
  PutI32(p + 116, bVisible);
  PutI32(p + 120, int32_t(dwReserved4));
  for (int i = 0; i < 10; ++i) PutI32(p + 124 + 4 * i, lReserved[i]);
}

bool OIAN_MARK_ATTRIBUTES::operator==(const OIAN_MARK_ATTRIBUTES& o) const {
  uint8_t a[StoredSize], b[StoredSize];
  Write(a);
  o.Write(b);
  return std::memcmp(a, b, StoredSize) == 0;
}

// ---------------------------------------------------------------------------
// TVXImagingObject / TVXImagingAnnot

TVXImagingObject::TVXImagingObject() = default;
TVXImagingObject::~TVXImagingObject() = default;

TVXImagingAnnot::TVXImagingAnnot(TIOParamsVals* Parent) : fParent(Parent) {}
TVXImagingAnnot::~TVXImagingAnnot() = default;

void TVXImagingAnnot::Clear() { fObjects.clear(); }

TVXImagingObject* TVXImagingAnnot::Objects(int32_t idx) const {
  if (idx < 0 || size_t(idx) >= fObjects.size())
    throw std::out_of_range("List index out of bounds (" + std::to_string(idx) + ")");
  return fObjects[size_t(idx)].get();
}

void TVXImagingAnnot::Assign(const TVXImagingAnnot* Source) {
  if (!Source || Source == this) return;
  Clear();
  for (const auto& s : Source->fObjects) {
    auto o = std::make_unique<TVXImagingObject>();
    o->attrib = s->attrib;
    o->points = s->points;
    o->text = s->text;
    if (s->image) o->image = std::make_unique<TVXBitmap>(s->image.get());
    fObjects.push_back(std::move(o));
  }
  fUserChanged = Source->fUserChanged;
}

namespace {

// Turns the attributes and named blocks collected for one mark into a mark.
std::unique_ptr<TVXImagingObject> FinishMark(const OIAN_MARK_ATTRIBUTES& attrib, const TNamedBlocks& blocks) {
  if (attrib.uType <= 0) return nullptr;
  auto o = std::make_unique<TVXImagingObject>();
  o->attrib = attrib;
  const int32_t t = attrib.uType;
  if (t == 3 || t == 4) {
    auto it = blocks.find("OiAnoDat");
    if (it != blocks.end() && it->second.size() >= 8) {
      const std::vector<uint8_t>& d = it->second;
      int64_t count = GetI32(d.data() + 4);
      int64_t fits = int64_t(d.size() - 8) / 8;  // a stored count larger than its block is cut to the block
      if (count > fits) count = fits;
      for (int64_t i = 0; i < count; ++i)
        o->points.push_back({GetI32(d.data() + 8 + 8 * i), GetI32(d.data() + 12 + 8 * i)});
    }
  } else if (t >= 7 && t <= 10) {
    auto it = blocks.find("OiAnText");
    if (it != blocks.end() && it->second.size() >= 16) {
      const std::vector<uint8_t>& d = it->second;
      uint32_t scale = GetU32(d.data() + 8);
      if (scale == 0) scale = 7500;
      const char* text = reinterpret_cast<const char*>(d.data() + 16);
      o->text.assign(text, strnlen(text, d.size() - 16));
      double h = std::trunc((1000.0 / double(scale)) * double(o->attrib.lfFont.lfHeight));
      o->attrib.lfFont.lfHeight = -int32_t(std::trunc(-h * 7.5));
    }
  }
  return o;
}

}  // namespace

void TVXImagingAnnot::LoadFromStandardBuffer(const void* buffer, int64_t buflen) {
  if (!buffer || buflen <= 0) return;
  const uint8_t* b = static_cast<const uint8_t*>(buffer);
  if (buflen < 8) return;
  const int32_t format = GetI32(b + 4);
  int64_t pos = 8;
  TNamedBlocks defaults, markBlocks;
  OIAN_MARK_ATTRIBUTES attrib;

  // Reads a named block at pos into Target; false when it does not fit.
  auto readNamed = [&](TNamedBlocks& target) -> bool {
    int64_t head = 12 + (format == 0 ? 4 : 0);
    if (pos + head > buflen) return false;
    const char* name = reinterpret_cast<const char*>(b + pos);
    std::string n(name, strnlen(name, 8));
    int32_t size = GetI32(b + pos + 8);
    if (size < 0 || pos + head + size > buflen) return false;
    target[n].assign(b + pos + head, b + pos + head + size);
    pos += head + size;
    return true;
  };

  while (pos < buflen) {
    if (pos + 8 > buflen) break;
    int32_t type = GetI32(b + pos);
    pos += 8;
    bool ok = true;
    if (type == 2) {
      ok = readNamed(defaults);
    } else if (type == 6) {
      ok = readNamed(markBlocks);
    } else if (type == 5) {
      if (auto o = FinishMark(attrib, markBlocks)) fObjects.push_back(std::move(o));
      markBlocks.clear();
      if (pos + OIAN_MARK_ATTRIBUTES::StoredSize > buflen) {
        attrib = OIAN_MARK_ATTRIBUTES();
        break;
      }
      attrib.Read(b + pos);
      pos += OIAN_MARK_ATTRIBUTES::StoredSize;
    }
    if (!ok) break;
  }
  if (auto o = FinishMark(attrib, markBlocks)) fObjects.push_back(std::move(o));
  fUserChanged = false;
}

std::vector<uint8_t> TVXImagingAnnot::SaveToStandardBuffer() const {
  std::vector<uint8_t> out;
  if (fObjects.empty()) return out;
  AppendI32(out, 0);
  AppendI32(out, 1);
  auto named = [&out](int32_t entryType, const char* name, const void* data, size_t len) {
    AppendI32(out, entryType);
    AppendI32(out, 12);
    char n[8] = {};
    std::memcpy(n, name, strnlen(name, 8));
    out.insert(out.end(), n, n + 8);
    AppendI32(out, int32_t(len));
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + len);
  };
  named(2, "OiGroup", "0", 2);
  named(2, "OiIndex", "1", 2);
  for (size_t i = 0; i < fObjects.size(); ++i) {
    const TVXImagingObject& o = *fObjects[i];
    AppendI32(out, 5);
    AppendI32(out, OIAN_MARK_ATTRIBUTES::StoredSize);
    uint8_t a[OIAN_MARK_ATTRIBUTES::StoredSize];
    o.attrib.Write(a);
    out.insert(out.end(), a, a + sizeof a);
    const int32_t t = o.attrib.uType;
    if (t == 3 || t == 4) {
      std::vector<uint8_t> d;
      AppendI32(d, o.pointsLen());
      AppendI32(d, o.pointsLen());
      for (const TVXAnnotPoint& p : o.points) {
        AppendI32(d, p.x);
        AppendI32(d, p.y);
      }
      named(6, "OiAnoDat", d.data(), d.size());
    } else if (t >= 7 && t <= 10) {
      std::vector<uint8_t> d;
      AppendI32(d, 0);
      AppendI32(d, 1000);
      AppendI32(d, 7500);
      AppendI32(d, int32_t(o.text.size()));
      d.insert(d.end(), o.text.begin(), o.text.end());
      d.push_back(0);
      named(6, "OiAnText", d.data(), d.size());
    }
    named(6, "OiGroup", "0", 2);
    std::string idx = std::to_string(i);
    named(6, "OiIndex", idx.c_str(), idx.size() + 1);
  }
  return out;
}

// ---------------------------------------------------------------------------
// TVXVexlaneAnnot

namespace {
const char kVexlaneAnnotMarker[12] = {'V', 'E', 'X', 'L', 'A', 'N', 'E', 'A', 'N', 'N', 'O', 'T'};
}

TVXVexlaneAnnot::TVXVexlaneAnnot(TIOParamsVals* Parent)
    : fParent(Parent), fData(std::make_unique<TMemoryStream>()) {}

TVXVexlaneAnnot::~TVXVexlaneAnnot() = default;

void TVXVexlaneAnnot::Clear() { fData->Clear(); }

bool TVXVexlaneAnnot::IsEmpty() const { return fData->Size() == 0; }

void TVXVexlaneAnnot::Assign(const TVXVexlaneAnnot* Source) {
  if (!Source || Source == this) return;
  Clear();
  int64_t n = Source->fData->Size();
  if (n > 0) fData->WriteBuffer(Source->fData->Memory(), n);
  fData->SetPosition(0);
}

bool TVXVexlaneAnnot::BufferContainsVexlaneAnnot(const void* buffer, int64_t buflen) {
  return buffer && buflen >= 12 && std::memcmp(buffer, kVexlaneAnnotMarker, 12) == 0;
}

void TVXVexlaneAnnot::LoadFromBuffer(const void* buffer, int64_t buflen) {
  Clear();
  if (!BufferContainsVexlaneAnnot(buffer, buflen)) return;
  if (buflen > 12) fData->WriteBuffer(static_cast<const uint8_t*>(buffer) + 12, buflen - 12);
  fData->SetPosition(0);
}

std::vector<uint8_t> TVXVexlaneAnnot::SaveToBuffer() const {
  std::vector<uint8_t> out;
  int64_t n = fData->Size();
  if (n == 0) return out;
  out.assign(kVexlaneAnnotMarker, kVexlaneAnnotMarker + 12);
  const uint8_t* p = static_cast<const uint8_t*>(fData->Memory());
  out.insert(out.end(), p, p + n);
  return out;
}

void TVXVexlaneAnnot::SaveToStream(TStream& Stream) const {
  int64_t n = fData->Size();
  VXMetaWriteInt32(Stream, int32_t(n));
  VXMetaWriteBytes(Stream, fData->Memory(), size_t(n));
}

bool TVXVexlaneAnnot::LoadFromStream(TStream& Stream) {
  Clear();
  int32_t n = 0;
  if (!VXMetaReadInt32(Stream, n)) return false;
  if (n < 0 || int64_t(n) > VXMetaRemaining(Stream)) return false;
  if (n > 0) {
    fData->SetSize(n);
    if (!VXMetaReadBytes(Stream, fData->Memory(), size_t(n))) {
      Clear();
      return false;
    }
  }
  fData->SetPosition(0);
  return true;
}
