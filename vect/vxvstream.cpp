// The object block ("VXV"): header, shared pictures, and one zlib stream of
// object records. The writer writes version "U"; the reader takes "1" to "U"
// with each version's defaults. Every count and length read is checked
// against the bytes that remain; the reader stops at the first record it
// cannot read whole and keeps the objects completed before it.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "core/bitmap.h"
#include "core/byteorder.h"
#include "core/filewriter.h"
#include "core/streams.h"
#include "core/sysutils.h"
#include "core/textutils.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "platform/utf.h"
#include "vect/extended.h"
#include "vect/vexlanevect.h"

namespace {

constexpr char kNewest = 'U';
constexpr int kMaxGroupDepth = 256;
// An object section inflating to more than this is refused (1 GiB).
constexpr size_t kMaxSection = size_t(1) << 30;

// ---------------------------------------------------------------------------
// Writing

class TRecordWriter : public TVXByteWriter {
 public:
  void Ansi(const std::string& Utf8) {
    const std::string a = VXUTF8ToAnsi(Utf8);
    I32(int32_t(a.size()));
    Bytes(a.data(), a.size());
  }
  void Text(const std::optional<std::u16string>& T) {
    if (!T) {
      I32(0);
      return;
    }
    I32(int32_t(T->size()));
    for (char16_t c : *T) {
      U8(uint8_t(c));
      U8(uint8_t(c >> 8));
    }
  }
  void Font(const std::optional<LOGFONTW>& F) {
    U8(F ? 1 : 0);
    if (!F) return;
    I32(F->lfHeight), I32(F->lfWidth), I32(F->lfEscapement), I32(F->lfOrientation), I32(F->lfWeight);
    U8(F->lfItalic), U8(F->lfUnderline), U8(F->lfStrikeOut), U8(F->lfCharSet), U8(F->lfOutPrecision);
    U8(F->lfClipPrecision), U8(F->lfQuality), U8(F->lfPitchAndFamily);
    for (char16_t c : F->lfFaceName) {
      U8(uint8_t(c));
      U8(uint8_t(c >> 8));
    }
  }
};

void WriteRecord(TRecordWriter& W, int32_t Handle, const TVXVObject& o) {
  W.I32(Handle);
  W.I32(o.x1), W.I32(o.y1), W.I32(o.x2), W.I32(o.y2);
  W.U8(o.Kind);
  W.U8(o.AspectRatio);
  W.U8(o.BlendOperation);
  W.I32(o.Layer);
  W.U8(o.softShadow.Enabled);
  W.F64(o.softShadow.Radius);
  W.I32(o.softShadow.OffsetX), W.I32(o.softShadow.OffsetY);
  W.I32(o.softShadow.Intensity);
  W.U8(o.softShadow.ShadowColor.b), W.U8(o.softShadow.ShadowColor.g), W.U8(o.softShadow.ShadowColor.r);
  W.Ansi(o.Name ? *o.Name : std::string());
  W.I32(o.ID);
  W.I32(o.PenColor);
  W.U8(uint8_t(o.PenStyle));
  W.I32(o.PenWidth);
  W.I32(o.BrushColor);
  W.U8(uint8_t(o.BrushStyle));
  W.U8(o.Style);
  W.I32(o.Transparency);
  W.U8(o.BoxHighlight);
  W.U8(o.FontQuality);
  if (o.UserDataLength > 0) {
    W.I32(o.UserDataLength);
    W.Bytes(o.UserDataBlock.data(), size_t(o.UserDataLength));
  } else {
    W.I32(0);
  }
  // A kind-0 record is a group head; a lone one stands for no members.
  if (o.Kind == vxkNONE) W.I32(0);
  const TVXVObjectKind k = o.Kind;
  if (k == vxkLINELABEL) {
    W.I32(o.LabelBrushColor);
    W.U8(uint8_t(o.LabelBrushStyle));
    W.U8(o.LabelPosition);
    W.U8(o.LabelBorder);
  }
  if (k == vxkLINE || k == vxkLINELABEL) {
    W.U8(o.BeginShape), W.U8(o.EndShape);
    W.I32(o.ShapeWidth), W.I32(o.ShapeHeight);
  }
  if (k == vxkARC) W.F64(o.a1), W.F64(o.a2);
  if (k == vxkBITMAP) {
    W.I32(o.BitmapIdx);
    W.U8(o.BitmapBorder);
    W.Text(o.Text);
  }
  if (k == vxkTEXT || k == vxkLINELABEL || k == vxkEXTENDED) {
    W.U8(o.TextAlign);
    W.U8(o.TextAutoSize);
    W.Text(o.Text);
    W.Font(o.LogFont);
    W.I32(o.CurvedLen());
    if (o.CurvedLen() > 0) {
      for (const TVXDPoint& p : o.CurvedPos) W.F64(p.X), W.F64(p.Y);
      W.I32(o.CurvedCharRot);
    }
    W.U8(o.MaintainTextAlignmentOnRotate);
  }
  if (k == vxkMEMO) {
    W.Text(o.Text);
    W.Font(o.LogFont);
    const size_t n = o.Text ? o.Text->size() : 0;
    W.U8(o.TextFormatRef ? 1 : 0);
    if (o.TextFormatRef)
      for (size_t i = 0; i < n; ++i) W.I32(i < o.TextFormatRef->size() ? (*o.TextFormatRef)[i] : 0);
    W.I32(int32_t(o.TextFormat.size()));
    for (const TVXCharInfo& ci : o.TextFormat) {
      uint8_t b[VXCharInfoSize];
      VXCharInfoToBytes(ci, b);
      W.Bytes(b, sizeof b);
    }
    W.U8(o.FontLocked), W.U8(o.TextAutoSize);
    W.I32(o.LineSpace);
    W.I32(o.MemoBorderColor);
    W.U8(uint8_t(o.MemoBorderStyle));
    W.U8(o.TextAlign);
    W.I32(o.MemoFixedHeight);
    W.U8(o.MemoHasBitmap);
    if (o.MemoHasBitmap) {
      W.I32(o.BitmapIdx);
      W.U8(o.BitmapBorder);
    }
    W.F64(o.MemoMarginLeft), W.F64(o.MemoMarginTop), W.F64(o.MemoMarginRight), W.F64(o.MemoMarginBottom);
    W.U8(uint8_t(o.MemoCharsBrushStyle));
  }
  W.U8(o.TextEditable);
  if (k == vxkRULER) {
    W.U8(uint8_t(o.RulerUnit)), W.U8(o.RulerType);
    W.Font(o.LogFont);
  }
  if (k == vxkPOLYLINE) {
    W.I32(o.PolyPointsCount());
    for (const TPoint& p : o.PolyPoints) W.I32(p.X), W.I32(p.Y);
    W.I32(o.PolyBaseX1), W.I32(o.PolyBaseY1), W.I32(o.PolyBaseX2), W.I32(o.PolyBaseY2);
    W.U8(o.PolyClosed);
  }
  if (k == vxkANGLE) {
    for (const TPoint& p : o.AnglePoints) W.I32(p.X), W.I32(p.Y);
    W.Font(o.LogFont);
  }
  if (k == vxkEXTENDED) {
    const std::string name = VXExtendedObjectClassName(o.extendedObject.Ptr.get());
    W.U8(name.empty() ? 0 : 1);
    if (!name.empty()) {
      W.Ansi(name);
      TMemoryStream s;
      o.extendedObject.Ptr->SaveToStream(&s);
      W.Bytes(s.Memory(), size_t(s.Size()));
    }
  }
}

// Deflates Data onto Stream as one zlib stream (default level, window 15).
void WriteDeflated(TStream* Stream, const std::vector<uint8_t>& Data) {
  uLongf n = compressBound(uLong(Data.size()));
  std::vector<uint8_t> out(n);
  if (compress2(out.data(), &n, Data.data(), uLong(Data.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
    throw EVXException("Object stream compression failed");
  Stream->WriteBuffer(out.data(), int64_t(n));
}

// ---------------------------------------------------------------------------
// Reading

// A bounded reader over the inflated object section.
class TSectionReader {
 public:
  TSectionReader(const std::vector<uint8_t>& Data) : fData(Data) {}
  size_t Remaining() const { return fData.size() - fPos; }
  size_t Pos() const { return fPos; }
  void SetPos(size_t p) { fPos = std::min(p, fData.size()); }
  const uint8_t* At() const { return fData.data() + fPos; }
  bool Need(uint64_t n) const { return n <= Remaining(); }
  bool U8(uint8_t& v) {
    if (!Need(1)) return false;
    v = fData[fPos++];
    return true;
  }
  // A byte enumeration: the library's own ones hold any byte as stored.
  template <class E>
  bool Enum(E& v) {
    uint8_t b;
    if (!U8(b)) return false;
    v = E(b);
    return true;
  }
  // Pen and brush styles and units have no byte form of their own: a byte
  // beyond their last value leaves the field at its default, and the record
  // loads on.
  bool Enum(TPenStyle& v) { return Ranged(v, psInsideFrame); }
  bool Enum(TBrushStyle& v) { return Ranged(v, bsDiagCross); }
  bool Enum(TVXUnits& v) { return Ranged(v, TVXUnits(VXUnitsCount - 1)); }
  template <class E>
  bool Ranged(E& v, E Last) {
    uint8_t b;
    if (!U8(b)) return false;
    if (b <= uint8_t(Last)) v = E(b);
    return true;
  }
  bool Bool(bool& v) {
    uint8_t b;
    if (!U8(b)) return false;
    v = b != 0;
    return true;
  }
  bool I32(int32_t& v) {
    if (!Need(4)) return false;
    v = int32_t(VXGetLE32(At()));
    fPos += 4;
    return true;
  }
  bool F64(double& v) {
    if (!Need(8)) return false;
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= uint64_t(fData[fPos + size_t(i)]) << (8 * i);
    std::memcpy(&v, &u, 8);
    fPos += 8;
    return true;
  }
  // A length-prefixed 8-bit string (Windows-1252), as UTF-8.
  bool Ansi(std::string& s) {
    int32_t n;
    if (!I32(n) || n < 0 || !Need(uint64_t(n))) return false;
    s = VXAnsiToUTF8(std::string(reinterpret_cast<const char*>(At()), size_t(n)));
    fPos += size_t(n);
    return true;
  }
  bool Text(std::optional<std::u16string>& T, bool Wide) {
    int32_t n;
    if (!I32(n) || n < 0) return false;
    if (n == 0) {
      T.reset();
      return true;
    }
    const uint64_t bytes = uint64_t(n) * (Wide ? 2 : 1);
    if (!Need(bytes)) return false;
    std::u16string s;
    if (Wide) {
      s.resize(size_t(n));
      for (size_t i = 0; i < size_t(n); ++i) s[i] = char16_t(VXGetLE16(At() + 2 * i));
    } else {
      s = VXUTF8ToUTF16(VXAnsiToUTF8(std::string(reinterpret_cast<const char*>(At()), size_t(n))));
    }
    fPos += size_t(bytes);
    T = std::move(s);
    return true;
  }
  bool Font(std::optional<LOGFONTW>& F, bool Wide) {
    uint8_t flag;
    if (!U8(flag)) return false;
    if (flag != 1) {
      F.reset();
      return true;
    }
    if (!Need(Wide ? 92 : 60)) return false;
    const uint8_t* p = At();
    auto fill = [&](auto& lf) {
      lf.lfHeight = int32_t(VXGetLE32(p)), lf.lfWidth = int32_t(VXGetLE32(p + 4));
      lf.lfEscapement = int32_t(VXGetLE32(p + 8)), lf.lfOrientation = int32_t(VXGetLE32(p + 12));
      lf.lfWeight = int32_t(VXGetLE32(p + 16));
      lf.lfItalic = p[20], lf.lfUnderline = p[21], lf.lfStrikeOut = p[22], lf.lfCharSet = p[23];
      lf.lfOutPrecision = p[24], lf.lfClipPrecision = p[25], lf.lfQuality = p[26], lf.lfPitchAndFamily = p[27];
    };
    LOGFONTW w{};
    if (Wide) {
      fill(w);
      for (int i = 0; i < LF_FACESIZE; ++i) w.lfFaceName[i] = char16_t(VXGetLE16(p + 28 + 2 * i));
      w.lfFaceName[LF_FACESIZE - 1] = 0;
    } else {
      LOGFONTA a{};
      fill(a);
      for (int i = 0; i < LF_FACESIZE; ++i) a.lfFaceName[i] = char(p[28 + i]);
      a.lfFaceName[LF_FACESIZE - 1] = 0;
      VXLogFontAToW(a, w);
    }
    fPos += Wide ? 92 : 60;
    F = w;
    return true;
  }

 private:
  const std::vector<uint8_t>& fData;
  size_t fPos = 0;
};

// Inflates the zlib stream at the stream's position. False when it is
// damaged or ends early; the stream is left somewhere after the data taken.
bool InflateSection(TStream* Stream, std::vector<uint8_t>& Out, int64_t& EndPos) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  std::vector<uint8_t> in(16384);
  uint8_t chunk[65536];
  int rc = Z_OK;
  int64_t consumedBase = Stream->Position();
  int64_t fed = 0;
  while (rc != Z_STREAM_END) {
    if (z.avail_in == 0) {
      const int64_t got = Stream->Read(in.data(), int64_t(in.size()));
      if (got <= 0) break;
      z.next_in = in.data();
      z.avail_in = uInt(got);
      fed += got;
    }
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    Out.insert(Out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    if (Out.size() > kMaxSection) break;
  }
  EndPos = consumedBase + fed - int64_t(z.avail_in);
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

// Reads an alpha plane (versions "7" to "<") into the bitmap's alpha channel.
bool ReadAlphaPlane(TStream* Stream, TVXBitmap* B) {
  uint8_t lb[4];
  if (Stream->Read(lb, 4) != 4) return false;
  const int32_t L = int32_t(VXGetLE32(lb));
  if (L < 0 || L > Stream->Size() - Stream->Position()) return false;
  std::vector<uint8_t> packed(static_cast<size_t>(L));
  if (Stream->Read(packed.data(), L) != L) return false;
  TVXBitmap* a = B->AlphaChannel();
  const int64_t rowLen = a->RowLen();
  const int64_t want = rowLen * B->Height();
  std::vector<uint8_t> rows(static_cast<size_t>(want));
  uLongf n = uLongf(want);
  if (uncompress(rows.data(), &n, packed.data(), uLong(L)) != Z_OK || int64_t(n) != want) return false;
  for (int32_t y = 0; y < B->Height(); ++y)
    std::memcpy(a->Scanline(B->Height() - 1 - y), rows.data() + size_t(y) * size_t(rowLen), size_t(rowLen));
  a->SyncFull();
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------

bool VXIsVxvStream(TStream* Stream) {
  const int64_t pos = Stream->Position();
  uint8_t b[4] = {};
  const bool ok = Stream->Read(b, 4) == 4 && std::memcmp(b, "VXV", 3) == 0 && b[3] >= '1' && b[3] <= kNewest;
  Stream->SetPosition(pos);
  return ok;
}

void TVexlaneVect::SaveToStreamVXV(TStream* Stream, int32_t hobj) {
  PackBitmaps();
  const int64_t start = Stream->Position();
  TRecordWriter h;
  h.Bytes("VXV", 3);
  h.U8(uint8_t(kNewest));
  h.I32(0);
  h.F64(fScale);
  h.I32(int32_t(fBitmaps.size()));
  Stream->WriteBuffer(h.b.data(), int64_t(h.b.size()));
  for (size_t i = 0; i < fBitmaps.size(); ++i) {
    int32_t count = fBitmaps[i].fRefCount;
    if (int32_t(i) == fNewObj.BitmapIdx) --count;
    uint8_t b[4];
    VXPutLE32(b, uint32_t(count));
    Stream->WriteBuffer(b, 4);
    if (count > 0) {
      std::unique_ptr<TVexlaneIO> io = TVexlaneIO::CreateFromBitmap(fBitmaps[i].fBitmap.get());
      io->SaveToStreamPNG(Stream);
      if (io->Aborting()) throw EVXException("Object stream: a picture could not be written");
    }
  }
  TRecordWriter r;
  std::vector<int32_t> handles;
  if (hobj == -3 || hobj == -4) handles = fObj;
  else if (hobj >= 0) handles.push_back(ResolveHandle(hobj));
  r.I32(int32_t(handles.size()));
  for (int32_t handle : handles) WriteRecord(r, handle, *fObjHeap[size_t(handle)]);
  WriteDeflated(Stream, r.b);
  const int64_t end = Stream->Position();
  uint8_t lb[4];
  VXPutLE32(lb, uint32_t(end - start));
  Stream->SetPosition(start + 4);
  Stream->WriteBuffer(lb, 4);
  Stream->SetPosition(end);
}

// Reads the records of one block into a layer.
class TVXVStreamReader {
 public:
  TVXVStreamReader(TVexlaneVect& Vect, TSectionReader& R, char Version, int32_t Base, int32_t Slots)
      : fVect(Vect), fR(R), fV(Version), fBase(Base), fSlots(Slots) {}

  // One record and, for a group, its members; false at the first one that
  // cannot be read whole.
  bool Record(int Depth) {
    if (Depth > kMaxGroupDepth) return false;
    TVXVObject o;  // the defaults of the template, for the fields a version lacks
    o.softShadow.OffsetX = o.softShadow.OffsetY = 2;
    const bool wide = fV >= 'U';
    int32_t handle;
    if (fV >= '<' && !fR.I32(handle)) return false;
    if (!(fR.I32(o.x1) && fR.I32(o.y1) && fR.I32(o.x2) && fR.I32(o.y2) && fR.Enum(o.Kind))) return false;
    if (fV >= 'M' && !fR.Bool(o.AspectRatio)) return false;
    if (fV >= 'R' && !fR.Enum(o.BlendOperation)) return false;
    if (fV >= 'S' && !fR.I32(o.Layer)) return false;
    if (fV >= '=') {
      if (!(fR.Bool(o.softShadow.Enabled) && fR.F64(o.softShadow.Radius) && fR.I32(o.softShadow.OffsetX) &&
            fR.I32(o.softShadow.OffsetY)))
        return false;
    }
    if (fV >= 'O') {
      if (!(fR.I32(o.softShadow.Intensity) && fR.U8(o.softShadow.ShadowColor.b) &&
            fR.U8(o.softShadow.ShadowColor.g) && fR.U8(o.softShadow.ShadowColor.r)))
        return false;
    }
    std::string name;
    if (!fR.Ansi(name)) return false;
    o.Name = name;
    if (!(fR.I32(o.ID) && fR.I32(o.PenColor) && fR.Enum(o.PenStyle) && fR.I32(o.PenWidth) &&
          fR.I32(o.BrushColor) && fR.Enum(o.BrushStyle) && fR.U8(o.Style)))
      return false;
    if (fV >= '=' && !fR.I32(o.Transparency)) return false;
    if (fV >= '@' && !fR.Bool(o.BoxHighlight)) return false;
    if (fV >= 'Q' && !fR.Enum(o.FontQuality)) return false;
    if (fV >= 'I') {
      int32_t L;
      if (!fR.I32(L) || L < 0 || !fR.Need(uint64_t(L))) return false;
      if (L > 0) {
        o.UserDataBlock.assign(fR.At(), fR.At() + L);
        o.UserDataLength = L;
        o.UserData = o.UserDataBlock.data();
        fR.SetPos(fR.Pos() + size_t(L));
      }
    }
    int32_t groupCount = 0;
    const TVXVObjectKind k = o.Kind;
    if (k == vxkNONE && !fR.I32(groupCount)) return false;
    if (k == vxkLINELABEL) {
      if (!(fR.I32(o.LabelBrushColor) && fR.Enum(o.LabelBrushStyle) && fR.Enum(o.LabelPosition))) return false;
      if (fV >= 'P' && !fR.Enum(o.LabelBorder)) return false;
    }
    if (k == vxkLINE || k == vxkLINELABEL) {
      if (!(fR.Enum(o.BeginShape) && fR.Enum(o.EndShape) && fR.I32(o.ShapeWidth) && fR.I32(o.ShapeHeight)))
        return false;
    }
    if (k == vxkARC && !(fR.F64(o.a1) && fR.F64(o.a2))) return false;
    if (k == vxkBITMAP) {
      if (!fR.I32(o.BitmapIdx)) return false;
      if (fV >= 'B' && !fR.Bool(o.BitmapBorder)) return false;
      if (fV >= 'F' && !fR.Text(o.Text, wide)) return false;
    }
    if (k == vxkTEXT || k == vxkLINELABEL || k == vxkEXTENDED) {
      if (fV >= '4' && !fR.Enum(o.TextAlign)) return false;
      if (fV >= '9' && !fR.Bool(o.TextAutoSize)) return false;
      if (!fR.Text(o.Text, wide) || !fR.Font(o.LogFont, wide)) return false;
      if (fV >= '?') {
        int32_t n;
        if (!fR.I32(n)) return false;
        if (n > 0) {
          if (!fR.Need(uint64_t(n) * 16 + 4)) return false;
          o.CurvedPos.resize(size_t(n));
          for (TVXDPoint& p : o.CurvedPos) fR.F64(p.X), fR.F64(p.Y);
          fR.I32(o.CurvedCharRot);
        }
      }
      if (fV >= 'T' && !fR.Bool(o.MaintainTextAlignmentOnRotate)) return false;
    }
    if (k == vxkMEMO && !Memo(o, wide)) return false;
    if (fV >= 'J' && !fR.Bool(o.TextEditable)) return false;
    if (k == vxkRULER && fV >= '5') {
      if (!(fR.Enum(o.RulerUnit) && fR.Enum(o.RulerType))) return false;
      if (fV >= 'A' && !fR.Font(o.LogFont, wide)) return false;
    }
    if (k == vxkRULER && !o.LogFont) o.LogFont = TemplateFont(12);
    if (k == vxkPOLYLINE && fV >= '8') {
      int32_t n;
      if (!fR.I32(n) || n < 0 || !fR.Need(uint64_t(n) * 8 + 16)) return false;
      o.PolyPoints.resize(size_t(n));
      for (TPoint& p : o.PolyPoints) fR.I32(p.X), fR.I32(p.Y);
      fR.I32(o.PolyBaseX1), fR.I32(o.PolyBaseY1), fR.I32(o.PolyBaseX2), fR.I32(o.PolyBaseY2);
      if (fV >= ';' && !fR.Bool(o.PolyClosed)) return false;
    }
    if (k == vxkANGLE) {
      if (fV >= ':')
        for (TPoint& p : o.AnglePoints)
          if (!(fR.I32(p.X) && fR.I32(p.Y))) return false;
      if (fV >= 'K' && !fR.Font(o.LogFont, wide)) return false;
      if (!o.LogFont) o.LogFont = TemplateFont(10);
    }
    if (k == vxkEXTENDED && fV >= 'N') {
      uint8_t present;
      if (!fR.U8(present)) return false;
      if (present == 1) {
        std::string cls;
        if (!fR.Ansi(cls)) return false;
        std::unique_ptr<TVXExtendedObject> x = VXCreateExtendedObject(cls);
        if (!x) return false;  // its data cannot be skipped
        x->fParent = &fVect;
        x->Initialize();
        TVXMemStream s(fR.At(), int64_t(fR.Remaining()));
        if (!x->LoadFromStream(&s)) return false;
        fR.SetPos(fR.Pos() + size_t(std::clamp<int64_t>(s.Position(), 0, int64_t(fR.Remaining()))));
        fExtended = std::move(x);
      }
    }
    if (k == vxkNONE) {
      // A group: its members follow; the head makes no object.
      for (int32_t i = 0; i < groupCount; ++i)
        if (!Record(Depth + 1)) return false;
      return true;
    }
    // The picture's slot in this block; one naming no loaded picture is none.
    if (o.BitmapIdx != -1) {
      const bool inBlock = o.BitmapIdx >= 0 && o.BitmapIdx < fSlots;
      const int32_t slot = inBlock ? o.BitmapIdx + fBase : -1;
      o.BitmapIdx = slot >= 0 && fVect.fBitmaps[size_t(slot)].fBitmap ? slot : -1;
    }
    if (k != vxkBITMAP && !(k == vxkMEMO && o.MemoHasBitmap)) o.BitmapIdx = -1;
    std::unique_ptr<TVXExtendedObject> x = std::move(fExtended);
    const int32_t h = fVect.AddRecord(o, true);
    if (x) {
      // The loaded instance itself, with its data (a clone would have none).
      TVXVObject& rec = *fVect.fObjHeap[size_t(h)];
      if (rec.extendedObject.Ptr) rec.extendedObject.Ptr->Finalize();
      rec.extendedObject.Ptr = std::move(x);
      rec.extendedObject.Ptr->fObject = &rec;
      rec.extendedObject.Ptr->Instance(h);
    }
    return true;
  }

 private:
  bool Memo(TVXVObject& o, bool Wide) {
    if (!fR.Text(o.Text, Wide) || !fR.Font(o.LogFont, Wide)) return false;
    const size_t n = o.Text ? o.Text->size() : 0;
    uint8_t hasRefs = 1;
    if (fV >= 'C' && !fR.U8(hasRefs)) return false;
    if (hasRefs == 1) {
      if (!fR.Need(uint64_t(n) * 4)) return false;
      std::vector<int32_t> refs(n + 1, 0);
      for (size_t i = 0; i < n; ++i) fR.I32(refs[i]);
      o.TextFormatRef = std::move(refs);
    }
    int32_t m;
    if (!fR.I32(m) || m < 0 || !fR.Need(uint64_t(m) * VXCharInfoSize)) return false;
    o.TextFormat.reserve(size_t(m));
    for (int32_t i = 0; i < m; ++i) {
      o.TextFormat.push_back(VXCharInfoFromBytes(fR.At()));
      fR.SetPos(fR.Pos() + VXCharInfoSize);
    }
    if (!(fR.Bool(o.FontLocked) && fR.Bool(o.TextAutoSize) && fR.I32(o.LineSpace) && fR.I32(o.MemoBorderColor) &&
          fR.Enum(o.MemoBorderStyle) && fR.Enum(o.TextAlign) && fR.I32(o.MemoFixedHeight)))
      return false;
    if (fV >= 'I') {
      if (!fR.Bool(o.MemoHasBitmap)) return false;
      if (o.MemoHasBitmap && !(fR.I32(o.BitmapIdx) && fR.Bool(o.BitmapBorder))) return false;
    }
    if (fV >= 'H' && !(fR.F64(o.MemoMarginLeft) && fR.F64(o.MemoMarginTop) && fR.F64(o.MemoMarginRight) &&
                       fR.F64(o.MemoMarginBottom)))
      return false;
    if (fV >= 'L' && !fR.Enum(o.MemoCharsBrushStyle)) return false;
    return true;
  }

  // The template's font at Height with the face "Arial".
  std::optional<LOGFONTW> TemplateFont(int32_t Height) {
    LOGFONTW f = fVect.fNewObj.LogFont ? *fVect.fNewObj.LogFont : LOGFONTW{};
    f.lfHeight = Height;
    std::fill(std::begin(f.lfFaceName), std::end(f.lfFaceName), u'\0');
    const char16_t arial[] = u"Arial";
    std::copy(arial, arial + 5, f.lfFaceName);
    return f;
  }

  TVexlaneVect& fVect;
  TSectionReader& fR;
  char fV;
  int32_t fBase, fSlots;
  std::unique_ptr<TVXExtendedObject> fExtended;
};

bool TVexlaneVect::LoadFromStreamVXV(TStream* Stream, bool AppendObjects) {
  const int64_t start = Stream->Position();
  uint8_t head[4] = {};
  if (Stream->Read(head, 4) != 4 || std::memcmp(head, "VXV", 3) != 0 || head[3] < '1' || head[3] > kNewest)
    return false;
  const char v = char(head[3]);
  const bool wasSharing = fShareBitmaps;
  fShareBitmaps = true;
  // The template's picture stays out of the list while the block's slots come in.
  std::unique_ptr<TVXBitmap> templatePicture;
  if (TVXBitmap* tb = GetObjBitmap(-1)) {
    templatePicture = std::make_unique<TVXBitmap>();
    templatePicture->Assign(tb);
    ReleaseBitmap(fNewObj);
  }
  bool complete = false;
  try {
    if (!AppendObjects) {
      const bool autoUndo = fObjAutoUndo;
      fObjAutoUndo = false;
      try {
        RemoveAllObjects();
      } catch (...) {
        fObjAutoUndo = autoUndo;
        throw;
      }
      fObjAutoUndo = autoUndo;
      ReleaseBitmap(fNewObj);  // RemoveAllObjects gave the template its slot back
      fBitmaps.clear();
    }
    complete = [&]() -> bool {
      uint8_t b[8];
      if (Stream->Read(b, 4) != 4) return false;  // total length, not used
      const int32_t storedLength = int32_t(VXGetLE32(b));
      (void)storedLength;
      if (v == '1') {
        if (Stream->Read(b, 4) != 4) return false;
        fScale = double(int32_t(VXGetLE32(b)));
      } else {
        if (Stream->Read(b, 8) != 8) return false;
        uint64_t u = 0;
        for (int i = 0; i < 8; ++i) u |= uint64_t(b[i]) << (8 * i);
        std::memcpy(&fScale, &u, 8);
      }
      CalcMeasureCoefs();
      if (Stream->Read(b, 4) != 4) return false;
      const int32_t N = int32_t(VXGetLE32(b));
      if (N < 0 || int64_t(N) * 4 > Stream->Size() - Stream->Position()) return false;
      const int32_t base = int32_t(fBitmaps.size());
      fBitmaps.resize(size_t(base) + size_t(N));
      for (int32_t i = 0; i < N; ++i) {
        if (Stream->Read(b, 4) != 4) return false;
        if (int32_t(VXGetLE32(b)) <= 0) continue;
        auto bmp = std::make_unique<TVXBitmap>();
        std::unique_ptr<TVexlaneIO> io = TVexlaneIO::CreateFromBitmap(bmp.get());
        const bool read = v <= '2' ? io->LoadFromStreamBMP(Stream) : io->LoadFromStreamPNG(Stream);
        if (!read || io->Aborting() || bmp->IsEmpty()) return false;
        if (v >= '7' && v <= '<' && !ReadAlphaPlane(Stream, bmp.get())) return false;
        fBitmaps[size_t(base + i)].fBitmap = std::move(bmp);
      }
      std::vector<uint8_t> section;
      int64_t sectionEnd = 0;
      const bool whole = InflateSection(Stream, section, sectionEnd);
      // After the block: at its stored end when that is where the data end.
      const int64_t storedEnd = start + int64_t(uint32_t(storedLength));
      Stream->SetPosition(storedLength > 0 && storedEnd >= sectionEnd && storedEnd <= Stream->Size() ? storedEnd
                                                                                                      : sectionEnd);
      TSectionReader r(section);
      int32_t count;
      bool ok = r.I32(count) && count >= 0;
      TVXVStreamReader reader(*this, r, v, base, N);
      for (int32_t i = 0; ok && i < count; ++i) ok = reader.Record(0);
      // Slots no record names are dropped (counts are rebuilt from the records).
      for (int32_t i = 0; i < N; ++i) {
        TVXVBitmap& s = fBitmaps[size_t(base + i)];
        if (s.fRefCount == 0) s.fBitmap.reset();
      }
      return ok && whole;
    }();
  } catch (const std::exception&) {
    complete = false;  // damaged data: what was read whole stays
  }
  // Slots of a failed picture read may hold pictures no record names.
  for (TVXVBitmap& s : fBitmaps)
    if (s.fRefCount == 0) s.fBitmap.reset();
  fShareBitmaps = wasSharing;
  if (templatePicture) AssignBitmap(fNewObj, templatePicture.get());
  Update();
  return complete;
}

void TVexlaneVect::LoadFromStreamVXV(TStream* Stream, int32_t ObjectIndex) {
  LoadFromStreamVXV(Stream, ObjectIndex != 0);
}

void TVexlaneVect::SaveToFileVXV(const std::string& FileName, int32_t hobj) {
  if (FileName.empty()) return;
  bool aborting = false;
  VXWriteFileSafely(FileName, aborting, [&](TStream* Stream) {
    // The block is made in memory: the writer seeks back to its length field.
    TMemoryStream m;
    SaveToStreamVXV(&m, hobj);
    Stream->WriteBuffer(m.Memory(), m.Size());
  });
}

bool TVexlaneVect::LoadFromFileVXV(const std::string& FileName, bool AppendObjects) {
  if (FileName.empty()) return false;
  bool r = false;
  try {
    TVXWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    r = LoadFromStreamVXV(&f, AppendObjects);
  } catch (const EVXException&) {
    r = false;
  } catch (const std::runtime_error&) {
    r = false;
  }
  IO()->Params().SetFileName(FileName);
  IO()->Params().SetFileType(25);
  return r;
}
