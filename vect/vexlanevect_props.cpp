// The object accessors: a getter reads the record of the handle, a setter
// writes it and repaints (never for the template, -1).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/sysutils.h"
#include "io/vexlaneio.h"
#include "platform/utf.h"
#include "vect/vexlanevect.h"
#include "winui/gdi.h"

#define VX_PLAIN_PROP(Type, Name, Field)                     \
  Type TVexlaneVect::GetObj##Name(int32_t hobj) {            \
    return GetObjRecord(hobj)->Field;                        \
  }                                                          \
  void TVexlaneVect::SetObj##Name(int32_t hobj, Type Value) { \
    GetObjRecord(hobj)->Field = Value;                       \
    Changed(hobj);                                           \
  }

VX_PLAIN_PROP(TColor, PenColor, PenColor)
VX_PLAIN_PROP(TPenStyle, PenStyle, PenStyle)
VX_PLAIN_PROP(int32_t, PenWidth, PenWidth)
VX_PLAIN_PROP(TColor, BrushColor, BrushColor)
VX_PLAIN_PROP(TBrushStyle, BrushStyle, BrushStyle)
VX_PLAIN_PROP(bool, BoxHighLight, BoxHighlight)
VX_PLAIN_PROP(TColor, LabelBrushColor, LabelBrushColor)
VX_PLAIN_PROP(TBrushStyle, LabelBrushStyle, LabelBrushStyle)
VX_PLAIN_PROP(TVXLabelPos, LabelPos, LabelPosition)
VX_PLAIN_PROP(TVXLabelBorder, LabelBorder, LabelBorder)
VX_PLAIN_PROP(TVXShape, BeginShape, BeginShape)
VX_PLAIN_PROP(TVXShape, EndShape, EndShape)
VX_PLAIN_PROP(int32_t, ShapeWidth, ShapeWidth)
VX_PLAIN_PROP(int32_t, ShapeHeight, ShapeHeight)
VX_PLAIN_PROP(bool, AspectRatio, AspectRatio)
VX_PLAIN_PROP(TVXRenderOperation, BlendOperation, BlendOperation)
VX_PLAIN_PROP(int32_t, Layer, Layer)
VX_PLAIN_PROP(int32_t, Transparency, Transparency)
VX_PLAIN_PROP(int32_t, ID, ID)
VX_PLAIN_PROP(TVXUnits, RulerUnit, RulerUnit)
VX_PLAIN_PROP(TVXVRulerType, RulerType, RulerType)
VX_PLAIN_PROP(bool, PolylineClosed, PolyClosed)
VX_PLAIN_PROP(bool, FontLocked, FontLocked)
VX_PLAIN_PROP(TVXFontQuality, FontQuality, FontQuality)
VX_PLAIN_PROP(TVXAlignment, TextAlign, TextAlign)
VX_PLAIN_PROP(bool, TextAutoSize, TextAutoSize)
VX_PLAIN_PROP(bool, TextEditable, TextEditable)
VX_PLAIN_PROP(bool, TextMaintainAlignmentOnRotate, MaintainTextAlignmentOnRotate)
VX_PLAIN_PROP(int32_t, MemoLineSpace, LineSpace)
VX_PLAIN_PROP(TColor, MemoBorderColor, MemoBorderColor)
VX_PLAIN_PROP(TPenStyle, MemoBorderStyle, MemoBorderStyle)
VX_PLAIN_PROP(bool, MemoHasBitmap, MemoHasBitmap)
VX_PLAIN_PROP(TBrushStyle, MemoCharsBrushStyle, MemoCharsBrushStyle)
VX_PLAIN_PROP(double, MemoMarginLeft, MemoMarginLeft)
VX_PLAIN_PROP(double, MemoMarginTop, MemoMarginTop)
VX_PLAIN_PROP(double, MemoMarginRight, MemoMarginRight)
VX_PLAIN_PROP(double, MemoMarginBottom, MemoMarginBottom)
VX_PLAIN_PROP(bool, BitmapBorder, BitmapBorder)
VX_PLAIN_PROP(double, ArcStartingAngle, a1)
VX_PLAIN_PROP(double, ArcEndingAngle, a2)
#undef VX_PLAIN_PROP

int32_t TVexlaneVect::GetObjMemoFixedHeight(int32_t hobj) { return GetObjRecord(hobj)->MemoFixedHeight; }
void TVexlaneVect::SetObjMemoFixedHeight(int32_t hobj, int32_t Value) { GetObjRecord(hobj)->MemoFixedHeight = Value; }

void* TVexlaneVect::GetObjUserData(int32_t hobj) { return GetObjRecord(hobj)->UserData; }

void TVexlaneVect::SetObjUserData(int32_t hobj, void* Value) {
  TVXVObject* o = GetObjRecord(hobj);
  // A new pointer is the application's again: any owned block is let go.
  if (o->UserDataLength > 0 && Value != o->UserDataBlock.data()) {
    o->UserDataBlock.clear();
    o->UserDataLength = 0;
  }
  o->UserData = Value;
  Changed(hobj);
}

int32_t TVexlaneVect::GetObjUserDataLength(int32_t hobj) { return GetObjRecord(hobj)->UserDataLength; }

void TVexlaneVect::SetObjUserDataLength(int32_t hobj, int32_t Value) {
  TVXVObject* o = GetObjRecord(hobj);
  if (Value > 0 && o->UserData) {
    // The object takes the block: it keeps its own copy of Value bytes.
    if (o->UserData != o->UserDataBlock.data()) {
      const uint8_t* p = static_cast<const uint8_t*>(o->UserData);
      o->UserDataBlock.assign(p, p + Value);
    } else {
      o->UserDataBlock.resize(size_t(Value));
    }
    o->UserData = o->UserDataBlock.data();
    o->UserDataLength = Value;
  } else {
    o->UserDataBlock.clear();
    o->UserDataLength = 0;
  }
  Changed(hobj);
}

TVXVObjectKind TVexlaneVect::GetObjKind(int32_t hobj) { return GetObjRecord(hobj)->Kind; }

void TVexlaneVect::SetObjKind(int32_t hobj, TVXVObjectKind Value) {
  TVXVObject* o = GetObjRecord(hobj);
  o->Kind = Value;
  const bool texts = Value == vxkTEXT || Value == vxkLINELABEL || Value == vxkEXTENDED;
  if ((texts || Value == vxkRULER || Value == vxkANGLE || Value == vxkMEMO) && !o->LogFont && fNewObj.LogFont)
    o->LogFont = fNewObj.LogFont;
  if (texts && !o->Text) o->Text = std::u16string();
  Changed(hobj);
}

TVXVStyle TVexlaneVect::GetObjStyle(int32_t hobj) { return GetObjRecord(hobj)->Style; }

void TVexlaneVect::SetObjStyle(int32_t hobj, TVXVStyle Value) {
  TVXVObject* o = GetObjRecord(hobj);
  if (!(Value & VXVStyleOf(vxvsSelectable)) && hobj != -1) UnSelObject(hobj == -2 ? ObjHeapCount() - 1 : hobj);
  o->Style = Value;
  Changed(hobj);
}

void TVexlaneVect::GetObjRect(int32_t hobj, TRect& Rect) {
  const TVXVObject* o = GetObjRecord(hobj);
  Rect = TRect{o->x1, o->y1, o->x2, o->y2};
}

void TVexlaneVect::SetObjRect(int32_t hobj, const TRect& Rect, bool bMaintainAspectRatio) {
  TVXVObject* o = GetObjRecord(hobj);
  TRect r = Rect;
  TVXBitmap* b = o->Kind == vxkBITMAP ? GetObjBitmap(hobj) : nullptr;
  if (bMaintainAspectRatio && b && b->Width() > 0 && b->Height() > 0)
    VXFitImageRectInRect(b->Width(), b->Height(), Rect, true, true, true, true, 0, false, r);
  o->x1 = r.Left, o->y1 = r.Top, o->x2 = r.Right, o->y2 = r.Bottom;
  Changed(hobj);
}

int32_t TVexlaneVect::GetObjLeft(int32_t hobj) { return GetObjRecord(hobj)->x1; }
int32_t TVexlaneVect::GetObjTop(int32_t hobj) { return GetObjRecord(hobj)->y1; }

void TVexlaneVect::SetObjLeft(int32_t hobj, int32_t Value) {
  TVXVObject* o = GetObjRecord(hobj);
  o->x2 += Value - o->x1;
  o->x1 = Value;
  Changed(hobj);
}

void TVexlaneVect::SetObjTop(int32_t hobj, int32_t Value) {
  TVXVObject* o = GetObjRecord(hobj);
  o->y2 += Value - o->y1;
  o->y1 = Value;
  Changed(hobj);
}

int32_t TVexlaneVect::GetObjWidth(int32_t hobj) {
  const TVXVObject* o = GetObjRecord(hobj);
  return std::abs(o->x2 - o->x1) + 1;
}

int32_t TVexlaneVect::GetObjHeight(int32_t hobj) {
  const TVXVObject* o = GetObjRecord(hobj);
  return std::abs(o->y2 - o->y1) + 1;
}

void TVexlaneVect::SetObjWidth(int32_t hobj, int32_t Value) {
  TVXVObject* o = GetObjRecord(hobj);
  o->x2 = o->x1 + Value - 1;
  Changed(hobj);
}

void TVexlaneVect::SetObjHeight(int32_t hobj, int32_t Value) {
  TVXVObject* o = GetObjRecord(hobj);
  o->y2 = o->y1 + Value - 1;
  Changed(hobj);
}

std::string TVexlaneVect::GetObjName(int32_t hobj) {
  const TVXVObject* o = GetObjRecord(hobj);
  return o->Name ? *o->Name : std::string();
}

void TVexlaneVect::SetObjName(int32_t hobj, std::string Value) {
  GetObjRecord(hobj)->Name = std::move(Value);
  Changed(hobj);
}

std::u16string TVexlaneVect::GetObjText(int32_t hobj) {
  const TVXVObject* o = GetObjRecord(hobj);
  return o->Text ? *o->Text : std::u16string();
}

void TVexlaneVect::SetObjText(int32_t hobj, std::u16string Value) {
  TVXVObject* o = GetObjRecord(hobj);
  o->TextFormatRef.reset();
  o->TextFormat.clear();
  Value.erase(std::remove(Value.begin(), Value.end(), u'\r'), Value.end());
  o->Text = std::move(Value);
  if (o->TextAutoSize) StretchTextRect(hobj);
  Changed(hobj);
}

void TVexlaneVect::SetObjFont(int32_t hobj, TFont* Font) {
  TVXVObject* o = GetObjRecord(hobj);
  LOGFONTW lf{};
  if (!Font || GetObjectW(Font->Handle(), int(sizeof lf), &lf) < int(sizeof lf)) return;
  o->LogFont = lf;
  o->PenColor = Font->Color();
  Changed(hobj);
}

const LOGFONTW* TVexlaneVect::GetObjLogFont(int32_t hobj) {
  const TVXVObject* o = GetObjRecord(hobj);
  return o->LogFont ? &*o->LogFont : nullptr;
}

void TVexlaneVect::SetObjLogFont(int32_t hobj, const LOGFONTW* LogFont) {
  TVXVObject* o = GetObjRecord(hobj);
  if (LogFont) o->LogFont = *LogFont;
  else o->LogFont.reset();
  Changed(hobj);
}

int32_t TVexlaneVect::GetObjFontHeight(int32_t hobj) {
  const TVXVObject* o = GetObjRecord(hobj);
  return o->LogFont ? o->LogFont->lfHeight : 0;
}

void TVexlaneVect::SetObjFontHeight(int32_t hobj, int32_t Value) {
  TVXVObject* o = GetObjRecord(hobj);
  if (!o->LogFont) return;
  o->LogFont->lfHeight = Value;
  Changed(hobj);
}

std::string TVexlaneVect::GetObjFontName(int32_t hobj) {
  const TVXVObject* o = GetObjRecord(hobj);
  if (!o->LogFont) return std::string();
  const char16_t* f = o->LogFont->lfFaceName;
  size_t n = 0;
  while (n < LF_FACESIZE && f[n]) ++n;
  return VXUTF16ToUTF8(std::u16string(f, n));
}

void TVexlaneVect::SetObjFontName(int32_t hobj, std::string Value) {
  TVXVObject* o = GetObjRecord(hobj);
  if (!o->LogFont) return;
  std::u16string w = VXUTF8ToUTF16(Value);
  if (w.size() > LF_FACESIZE - 1) w.resize(LF_FACESIZE - 1);
  std::fill(std::begin(o->LogFont->lfFaceName), std::end(o->LogFont->lfFaceName), u'\0');
  std::copy(w.begin(), w.end(), o->LogFont->lfFaceName);
  Changed(hobj);
}

double TVexlaneVect::GetObjFontAngle(int32_t hobj) {
  const TVXVObject* o = GetObjRecord(hobj);
  return o->LogFont ? o->LogFont->lfEscapement / 10.0 : 0;
}

void TVexlaneVect::SetObjFontAngle(int32_t hobj, double Value) {
  TVXVObject* o = GetObjRecord(hobj);
  if (!o->LogFont) return;
  o->LogFont->lfEscapement = int32_t(std::clamp(Value * 10, -2147483648.0, 2147483647.0));
  Changed(hobj);
}

TFontStyles TVexlaneVect::GetObjFontStyles(int32_t hobj) {
  const TVXVObject* o = GetObjRecord(hobj);
  return o->LogFont ? VXLogFontWStyles(&*o->LogFont) : TFontStyles(0);
}

void TVexlaneVect::SetObjFontStyles(int32_t hobj, TFontStyles Value) {
  TVXVObject* o = GetObjRecord(hobj);
  if (!o->LogFont) return;
  o->LogFont->lfWeight = (Value & (1u << fsBold)) ? 700 : 400;
  o->LogFont->lfItalic = (Value & (1u << fsItalic)) ? 1 : 0;
  o->LogFont->lfUnderline = (Value & (1u << fsUnderline)) ? 1 : 0;
  o->LogFont->lfStrikeOut = (Value & (1u << fsStrikeOut)) ? 1 : 0;
  Changed(hobj);
}

double TVexlaneVect::GetObjTextCurveCharRot(int32_t hobj) { return GetObjRecord(hobj)->CurvedCharRot / 10.0; }

void TVexlaneVect::SetObjTextCurveCharRot(int32_t hobj, double Value) {
  GetObjRecord(hobj)->CurvedCharRot = int32_t(std::clamp(Value * 10, -2147483648.0, 2147483647.0));
  Changed(hobj);
}

TVXVSoftShadow* TVexlaneVect::GetObjSoftShadow(int32_t hobj) { return &GetObjRecord(hobj)->softShadow; }
TVXExtendedObject* TVexlaneVect::GetObjExtendedObject(int32_t hobj) {
  return GetObjRecord(hobj)->extendedObject.Ptr.get();
}
int32_t TVexlaneVect::GetObjPolylinePointsCount(int32_t hobj) { return GetObjRecord(hobj)->PolyPointsCount(); }

TPoint TVexlaneVect::GetObjPolylinePoints(int32_t hobj, int32_t index) {
  const TVXVObject* o = GetObjRecord(hobj);
  if (index < 0 || index >= o->PolyPointsCount()) return TPoint{-1, -1};
  const TPoint p = o->PolyPoints[size_t(index)];
  const double bw = double(o->PolyBaseX2) - o->PolyBaseX1, bh = double(o->PolyBaseY2) - o->PolyBaseY1;
  const double sx = bw != 0 ? (double(o->x2) - o->x1) / bw : 1;
  const double sy = bh != 0 ? (double(o->y2) - o->y1) / bh : 1;
  auto sat = [](double v) { return v == v ? int32_t(std::clamp(v, -2147483648.0, 2147483647.0)) : 0; };
  return TPoint{sat(std::nearbyint((double(p.X) - o->PolyBaseX1) * sx) + o->x1),
                sat(std::nearbyint((double(p.Y) - o->PolyBaseY1) * sy) + o->y1)};
}

void TVexlaneVect::SetObjPolylinePoints(int32_t hobj, const std::vector<TPoint>& Points) {
  TVXVObject* o = GetObjRecord(hobj);
  o->PolyPoints.clear();
  o->PolyPointsAllocated = 0;
  int32_t l = 1000000, t = 1000000, r = -1000000, b = -1000000;
  for (const TPoint& p : Points) {
    if (!o->PolyPoints.empty() && o->PolyPoints.back() == p) continue;
    if (int32_t(o->PolyPoints.size()) >= o->PolyPointsAllocated)
      o->PolyPointsAllocated = (int32_t(o->PolyPoints.size()) + 1) * 2;
    o->PolyPoints.push_back(p);
    l = std::min(l, p.X), t = std::min(t, p.Y), r = std::max(r, p.X), b = std::max(b, p.Y);
  }
  o->x1 = l, o->y1 = t, o->x2 = r, o->y2 = b;
  o->PolyBaseX1 = l, o->PolyBaseY1 = t, o->PolyBaseX2 = r, o->PolyBaseY2 = b;
  Update();
}

TPoint TVexlaneVect::GetObjAnglePoints(int32_t hobj, int32_t index) {
  const TVXVObject* o = GetObjRecord(hobj);
  if (index < 0 || index > 2) throw EVXException("Invalid object index");
  return o->AnglePoints[index];
}

void TVexlaneVect::SetObjAnglePoints(int32_t hobj, const std::vector<TPoint>& Points) {
  TVXVObject* o = GetObjRecord(hobj);
  if (Points.size() != 3) throw EVXException("Invalid Points array size");
  for (int i = 0; i < 3; ++i) o->AnglePoints[i] = Points[size_t(i)];
  const TPoint m = Points[1];
  const int64_t hw = std::abs(int64_t(m.X) - std::max(Points[0].X, Points[2].X));
  const int64_t hh = std::abs(int64_t(m.Y) - std::max(Points[0].Y, Points[2].Y));
  auto clamp32 = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  o->x1 = clamp32(m.X - hw), o->y1 = clamp32(m.Y - hh), o->x2 = clamp32(m.X + hw), o->y2 = clamp32(m.Y + hh);
  Update();
}

// ---------------------------------------------------------------------------
// Pictures

TVXBitmap* TVexlaneVect::GetObjBitmap(int32_t hobj) {
  const TVXVObject* o = GetObjRecord(hobj);
  if (o->BitmapIdx < 0 || o->BitmapIdx >= int32_t(fBitmaps.size())) return nullptr;
  return fBitmaps[size_t(o->BitmapIdx)].fBitmap.get();
}

void TVexlaneVect::SetObjBitmap(int32_t hobj, TVXBitmap* Value) {
  AssignBitmap(*GetObjRecord(hobj), Value);
  Changed(hobj);
}

void TVexlaneVect::ObjSetTBitmap(int32_t hobj, TBitmap* bmp) {
  if (!bmp) {
    SetObjBitmap(hobj, nullptr);
    return;
  }
  TVXBitmap wrap;
  wrap.CopyFromTBitmap(bmp);
  SetObjBitmap(hobj, &wrap);
}

TVXBitmap* TVexlaneVect::GetObjBitmapAlpha(int32_t hobj) {
  TVXBitmap* b = GetObjBitmap(hobj);
  return b ? b->AlphaChannel() : nullptr;
}

void TVexlaneVect::SetObjBitmapAlpha(int32_t hobj, TVXBitmap* Value) {
  TVXBitmap* b = GetObjBitmap(hobj);
  if (!b || !Value) return;
  b->AlphaChannel()->Assign(Value);
  Changed(hobj);
}

void TVexlaneVect::SetObjBitmapICO(int32_t hobj, int32_t ico, int32_t iwidth, int32_t iheight) {
  GetObjRecord(hobj);
  if (iwidth <= 0 || iheight <= 0 || iwidth > 256 || iheight > 256) return;
  TVXBitmap b;
  SystemIconPicture(b, ico, iwidth, iheight);
  SetObjBitmap(hobj, &b);
}

bool TVexlaneVect::SetObjBitmapFromFile(int32_t hobj, const std::string& FileName) {
  GetObjRecord(hobj);
  TVXBitmap b;
  std::unique_ptr<TVexlaneIO> io = TVexlaneIO::CreateFromBitmap(&b);
  try {
    io->LoadFromFile(FileName, int32_t(-1));
  } catch (const std::exception&) {
    return false;
  }
  if (io->Aborting() || b.IsEmpty()) return false;
  AssignBitmap(*GetObjRecord(hobj), &b);
  return true;
}

bool TVexlaneVect::SetObjBitmapFromStream(int32_t hobj, TStream* Stream, int32_t FileFormat) {
  GetObjRecord(hobj);
  TVXBitmap b;
  std::unique_ptr<TVexlaneIO> io = TVexlaneIO::CreateFromBitmap(&b);
  try {
    io->LoadFromStreamFormat(Stream, FileFormat);
  } catch (const std::exception&) {
    return false;
  }
  if (io->Aborting() || b.IsEmpty()) return false;
  AssignBitmap(*GetObjRecord(hobj), &b);
  return true;
}
