// The vector-object record TVXVObject and its enumerations: one record per
// object of the vector layer (TVexlaneVect), kept in the layer's heap and
// addressed by handle. The record owns its text, name, font, formats, curve,
// points, user data, soft shadow and extended object; its picture lives in
// the layer's shared-bitmap list and is named by BitmapIdx.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/blend.h"
#include "core/softshadow.h"
#include "core/vxdefs.h"
#include "gui/graphics.h"
#include "platform/win_geometry.h"
#include "platform/win_logfont.h"
#include "vect/charinfo.h"

class TVXBitmap;
class TVXExtendedObject;

enum TVXVObjectKind : uint8_t {
  vxkNONE,
  vxkLINE,
  vxkBOX,
  vxkELLIPSE,
  vxkARC,
  vxkBITMAP,
  vxkTEXT,
  vxkRULER,
  vxkPOLYLINE,
  vxkANGLE,
  vxkMEMO,
  vxkLINELABEL,
  vxkEXTENDED
};
enum TVXShape : uint8_t { vxsNONE, vxsINARROW, vxsOUTARROW };
enum TVXLabelPos : uint8_t { vxlBegin, vxlEnd };
enum TVXLabelBorder : uint8_t { vxlNone, vxlRectangle, vxlRoundRect, vxlEllipse };
enum TVXFontQuality : uint8_t {
  vxfqAntialiased,
  vxfqClearType,
  vxfqClearTypeNatural,
  vxfqDefault,
  vxfqDraft,
  vxfqNonAntialiased,
  vxfqProof
};
enum TVXVRulerType : uint8_t { vxrtRULER, vxrtQUOTEBEGIN, vxrtQUOTECENTER, vxrtQUOTEEND };

// TVXVStyle: a set of these bits.
enum TVXVStyleBit : uint8_t { vxvsSelectable, vxvsMoveable, vxvsSizeable, vxvsVisible, vxvsHideGrips };
using TVXVStyle = uint8_t;
constexpr TVXVStyle VXVStyleOf(TVXVStyleBit b) { return TVXVStyle(1u << b); }
constexpr TVXVStyle VXVDefaultStyle = 0x0F;  // selectable, moveable, sizeable, visible

// A point of a curved text, as fractions of the object's box.
struct TVXDPoint {
  double X = 0, Y = 0;
  bool operator==(const TVXDPoint&) const = default;
};

// Holds a record's extended object; copying a record never copies it (the
// store clones it explicitly).
struct TVXExtendedHolder {
  std::unique_ptr<TVXExtendedObject> Ptr;
  TVXExtendedHolder();
  ~TVXExtendedHolder();
  TVXExtendedHolder(const TVXExtendedHolder&);
  TVXExtendedHolder& operator=(const TVXExtendedHolder&);
  TVXExtendedHolder(TVXExtendedHolder&&) noexcept;
  TVXExtendedHolder& operator=(TVXExtendedHolder&&) noexcept;
};

struct TVXVObject {
  int32_t x1 = 0, y1 = 0, x2 = 63, y2 = 63;
  TVXVObjectKind Kind = vxkNONE;
  int32_t Transparency = 255;
  // Application data: the block below when UserDataLength > 0 (owned), else
  // the application's own pointer.
  void* UserData = nullptr;
  int32_t UserDataLength = 0;
  std::vector<uint8_t> UserDataBlock;
  bool AspectRatio = false;
  TVXRenderOperation BlendOperation = vxlNormal;
  int32_t Layer = 0;
  TVXShape BeginShape = vxsNONE, EndShape = vxsNONE;
  int32_t ShapeWidth = 10, ShapeHeight = 20;
  TColor LabelBrushColor = 0xFFFFFF;
  TBrushStyle LabelBrushStyle = bsSolid;
  TVXLabelPos LabelPosition = vxlEnd;
  TVXLabelBorder LabelBorder = vxlRectangle;
  TRect DrawnLabelBox;
  TColor PenColor = 0xFFFFFF;
  TPenStyle PenStyle = psSolid;
  int32_t PenWidth = 1;
  TColor BrushColor = 0xFFFFFF;
  TBrushStyle BrushStyle = bsClear;
  bool BoxHighlight = false;
  double a1 = 0, a2 = 6.283185307179586;
  int32_t BitmapIdx = -1;
  bool BitmapBorder = false;
  std::optional<std::u16string> Text;
  std::optional<LOGFONTW> LogFont;
  TVXFontQuality FontQuality = vxfqAntialiased;
  TVXAlignment TextAlign = vxjLeft;
  bool TextAutoSize = false;
  bool FontLocked = true;
  std::vector<TVXDPoint> CurvedPos;  // CurvedLen = its size
  int32_t CurvedCharRot = -10;
  bool TextEditable = true;
  bool MaintainTextAlignmentOnRotate = false;
  std::optional<std::vector<int32_t>> TextFormatRef;
  std::vector<TVXCharInfo> TextFormat;
  int32_t LineSpace = 0;
  TColor MemoBorderColor = 0xFFFFFF;
  TPenStyle MemoBorderStyle = psSolid;
  int32_t MemoFixedHeight = 0;
  bool MemoHasBitmap = false;
  double MemoMarginLeft = 0, MemoMarginTop = 0, MemoMarginRight = 0, MemoMarginBottom = 0;
  TBrushStyle MemoCharsBrushStyle = bsSolid;
  std::optional<std::string> Name;  // 8-bit name, kept as UTF-8
  int32_t ID = 0;
  TVXVStyle Style = VXVDefaultStyle;
  TVXUnits RulerUnit = vxuPIXELS;
  TVXVRulerType RulerType = vxrtQUOTECENTER;
  std::vector<TPoint> PolyPoints;  // PolyPointsCount = its size
  int32_t PolyPointsAllocated = 0;
  int32_t PolyBaseX1 = 0, PolyBaseY1 = 0, PolyBaseX2 = 0, PolyBaseY2 = 0;
  bool PolyClosed = false;
  std::vector<TPoint> DrawnPoints;
  int32_t DrawnPointsAllocated = 0;
  TPoint AnglePoints[3] = {{0, 0}, {50, 0}, {50, 50}};
  int32_t lx1 = 0, ly1 = 0, lx2 = 0, ly2 = 0;
  TRect plim;
  int32_t pwidth = 0;
  TVXVSoftShadow softShadow;
  TVXExtendedHolder extendedObject;

  int32_t CurvedLen() const { return int32_t(CurvedPos.size()); }
  int32_t PolyPointsCount() const { return int32_t(PolyPoints.size()); }
  int32_t DrawnPointsCount() const { return int32_t(DrawnPoints.size()); }
};

// One entry of the layer's shared-bitmap list; no bitmap = a free slot.
struct TVXVBitmap {
  std::unique_ptr<TVXBitmap> fBitmap;
  int32_t fRefCount = 0;
};
