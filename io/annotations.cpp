// Image annotations: the Wang imaging marks of TIFF tag 32932 and the
// library's own annotation block.
#include "io/annotations.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/metastream.h"
#include "io/tiftagsreader.h"

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

void I32Append(std::vector<uint8_t>& out, int32_t v) { AppendI32(out, v); }

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

// ---------------------------------------------------------------------------
// Packed device-independent bitmaps of embedded-image marks

namespace {

uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Decodes an uncompressed packed DIB of 1, 4, 8, 24 or 32 bits (40-byte or
// larger header, colour table, rows bottom-up unless the height is
// negative). 1-bit images with a black and white table become vx1g, others
// vx24RGB. nullptr when the block is damaged or not of these kinds.
std::unique_ptr<TVXBitmap> DIBToBitmap(const std::vector<uint8_t>& d) {
  if (d.size() < 40) return nullptr;
  const uint8_t* p = d.data();
  const uint32_t headerSize = GetU32(p);
  const int32_t width = GetI32(p + 4);
  int32_t height = GetI32(p + 8);
  const uint16_t bits = GetU16(p + 14);
  const uint32_t compression = GetU32(p + 16);
  uint32_t colorsUsed = GetU32(p + 32);
  if (headerSize < 40 || headerSize > d.size() || compression != 0) return nullptr;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;
  const bool topDown = height < 0;
  if (height == INT32_MIN) return nullptr;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return nullptr;
  if (bits <= 8 && (colorsUsed == 0 || colorsUsed > (1u << bits))) colorsUsed = 1u << bits;
  if (bits > 8) colorsUsed = 0;
  const uint64_t tableEnd = uint64_t(headerSize) + uint64_t(colorsUsed) * 4;
  const uint64_t rowLen = ((uint64_t(width) * bits + 31) / 32) * 4;
  if (tableEnd + rowLen * uint64_t(height) > d.size()) return nullptr;
  const uint8_t* table = p + headerSize;
  const uint8_t* rows = p + tableEnd;

  auto entry = [&](uint32_t i) -> TRGB {
    if (i >= colorsUsed) return TRGB{0, 0, 0};
    return TRGB{table[4 * i], table[4 * i + 1], table[4 * i + 2]};
  };
  const bool blackWhite = bits == 1 && entry(0) == TRGB{0, 0, 0} && entry(1) == TRGB{255, 255, 255};
  auto bmp = std::make_unique<TVXBitmap>();
  if (!bmp->Allocate(width, height, blackWhite ? vx1g : vx24RGB)) return nullptr;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src = rows + rowLen * uint64_t(topDown ? y : height - 1 - y);
    uint8_t* dst = static_cast<uint8_t*>(bmp->GetScanLine(y));
    if (blackWhite) {
      std::memcpy(dst, src, size_t((width + 7) / 8));
      continue;
    }
    TRGB* out = reinterpret_cast<TRGB*>(dst);
    for (int32_t x = 0; x < width; ++x) {
      switch (bits) {
        case 1: out[x] = entry((src[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: out[x] = entry((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15); break;
        case 8: out[x] = entry(src[x]); break;
        case 24: out[x] = TRGB{src[3 * x], src[3 * x + 1], src[3 * x + 2]}; break;
        default: out[x] = TRGB{src[4 * x], src[4 * x + 1], src[4 * x + 2]}; break;
      }
    }
  }
  return bmp;
}

// Packed DIB of a bitmap: 40-byte header, a colour table for 1 and 8 bits,
// rows bottom-up and 32-bit aligned, at Dpi dots per inch.
std::vector<uint8_t> BitmapToDIB(TVXBitmap* source, int32_t Dpi) {
  std::unique_ptr<TVXBitmap> converted;
  TVXBitmap* bmp = source;
  TVXPixelFormat pf = bmp->PixelFormat();
  if (pf != vx1g && pf != vx8p && pf != vx8g && pf != vx24RGB) {
    converted = std::make_unique<TVXBitmap>(source);
    converted->SetPixelFormat(vx24RGB);
    bmp = converted.get();
    pf = vx24RGB;
  }
  const int32_t width = bmp->Width(), height = bmp->Height();
  const int32_t bits = pf == vx1g ? 1 : pf == vx24RGB ? 24 : 8;
  const uint32_t colors = bits == 1 ? 2 : bits == 8 ? 256 : 0;
  const uint64_t rowLen = ((uint64_t(width) * uint64_t(bits) + 31) / 32) * 4;
  std::vector<uint8_t> out;
  I32Append(out, 40);
  I32Append(out, width);
  I32Append(out, height);
  out.push_back(1);
  out.push_back(0);
  out.push_back(uint8_t(bits));
  out.push_back(0);
  I32Append(out, 0);
  I32Append(out, int32_t(rowLen * uint64_t(height)));
  const int32_t ppm = int32_t(std::llrint(Dpi / 0.0254));
  I32Append(out, ppm);
  I32Append(out, ppm);
  I32Append(out, int32_t(colors));
  I32Append(out, 0);
  for (uint32_t i = 0; i < colors; ++i) {
    TRGB c;
    if (pf == vx1g)
      c = i ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
    else if (pf == vx8g)
      c = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
    else
      c = bmp->GetPalette(int32_t(i));
    out.insert(out.end(), {c.b, c.g, c.r, 0});
  }
  const size_t start = out.size();
  out.resize(start + size_t(rowLen) * size_t(height), 0);
  const size_t copyLen = size_t(std::min<uint64_t>(rowLen, uint64_t(bmp->RowLen())));
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(out.data() + start + size_t(rowLen) * size_t(height - 1 - y), bmp->GetScanLine(y), copyLen);
  return out;
}

}  // namespace

namespace {

// Turns the attributes and named blocks collected for one mark into a mark.
std::unique_ptr<TVXImagingObject> FinishMark(const OIAN_MARK_ATTRIBUTES& attrib, const TNamedBlocks& blocks) {
  if (attrib.uType <= 0) return nullptr;
  auto o = std::make_unique<TVXImagingObject>();
  o->attrib = attrib;
  const int32_t t = attrib.uType;
  if (t == 1) {
    auto it = blocks.find("OiDIB");
    if (it != blocks.end()) o->image = DIBToBitmap(it->second);
  } else if (t == 3 || t == 4) {
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
      // Extended precision, so that exact quotients stay whole numbers.
      const long double h = std::trunc((1000.0L / (long double)scale) * (long double)o->attrib.lfFont.lfHeight);
      const long double rescaled = std::trunc(-h * 7.5L);
      o->attrib.lfFont.lfHeight =
          rescaled >= 2147483647.0L ? INT32_MIN + 1 : (rescaled <= -2147483647.0L ? INT32_MAX : -int32_t(rescaled));
    }
  }
  return o;
}

}  // namespace

void TVXImagingAnnot::LoadFromStandardBuffer(const void* buffer, int64_t buflen) {
  if (!buffer || buflen <= 0) return;
  const uint8_t* b = static_cast<const uint8_t*>(buffer);
  // Not even a header, or a block beyond the library's metadata limit: no marks.
  if (buflen < 8 || !VXMetadataSizeAllowed(buflen)) {
    fUserChanged = false;
    return;
  }
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

  // The texts of the marks share the text kept per image; a text beyond it
  // is dropped, the mark stays.
  TVXTextBudget budget;
  auto keep = [&](std::unique_ptr<TVXImagingObject> o) {
    if (!o) return;
    if (!budget.Take(int64_t(o->text.size()))) o->text.clear();
    fObjects.push_back(std::move(o));
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
      keep(FinishMark(attrib, markBlocks));
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
  keep(FinishMark(attrib, markBlocks));
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
    if (t == 1) {
      TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
      std::vector<uint8_t> rot;
      AppendI32(rot, 1);
      AppendI32(rot, 1000);
      AppendI32(rot, settings->SystemDPIX());
      AppendI32(rot, settings->SystemDPIY());
      AppendI32(rot, settings->SystemDPIX());
      AppendI32(rot, settings->SystemDPIY());
      rot.resize(56, 0);
      named(6, "OiAnoDat", rot.data(), rot.size());
      if (o.image && !o.image->IsEmpty()) {
        std::vector<uint8_t> dib = BitmapToDIB(o.image.get(), 200);
        named(6, "OiDIB", dib.data(), dib.size());
      }
    } else if (t == 3 || t == 4) {
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

bool TVXVexlaneAnnot::TIFFContainsVexlaneAnnot(TStream* Stream, int32_t ImageIndex) {
  const int64_t pos = Stream->Position();
  bool found = false;
  try {
    auto tags = TVXTIFTagsReader::CreateFromStream(Stream, ImageIndex);
    const uint16_t tag = uint16_t(VXGetGlobalSettings()->ObjectsTIFFTag());
    if (tags->TagExists(tag)) {
      std::vector<uint8_t> data = tags->GetRawData(tag);
      found = BufferContainsVexlaneAnnot(data.data(), int64_t(data.size()));
    }
  } catch (...) {
    Stream->Seek(pos, soBeginning);
    throw;
  }
  Stream->Seek(pos, soBeginning);
  return found;
}

bool TVXVexlaneAnnot::TIFFContainsVexlaneAnnot(const std::string& FileName, int32_t ImageIndex) {
  TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  return TIFFContainsVexlaneAnnot(&file, ImageIndex);
}

void TVXVexlaneAnnot::LoadFromBuffer(const void* buffer, int64_t buflen) {
  Clear();
  if (!BufferContainsVexlaneAnnot(buffer, buflen) || !VXMetadataSizeAllowed(buflen - 12)) return;
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
  if (!VXMetadataSizeAllowed(n)) {
    // Beyond the library's metadata limit: skipped, the block stays empty.
    Stream.Seek(n, soCurrent);
    return false;
  }
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
