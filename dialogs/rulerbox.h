// TRulerBox: a horizontal or vertical ruler in user units (ticks, decimal
// or hexadecimal labels, optionally inverted) with draggable grips, drawn
// into an off-screen 24-bit bitmap. Dragging a grip past an end scrolls the
// view for as long as the cursor stays there and the left button is held.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/controls.h"

enum TGripKind : uint8_t { gkTriangle, gkLeftTriangle, gkRightTriangle, gkArrow, gkArrow2 };
enum TGripsDir { gdUp, gdDown };
enum TRulerDir { rdHorizontal, rdVertical };
using TRulerPosChangeEvent = std::function<void(void* Sender, int Grip)>;
using TRulerGripClickEvent = std::function<void(void* Sender, int Grip)>;
using TRulerGripDblClickEvent = std::function<void(void* Sender, int Grip)>;
using TRulerClickEvent = std::function<void(void* Sender, double ps)>;

class TRulerBox : public TCustomControl {
 public:
  explicit TRulerBox(TComponent* AOwner = nullptr);
  ~TRulerBox() override;

  double ViewPos() const { return fViewPos; }
  void SetViewPos(double v);
  TColor Background() const { return fBackground; }
  void SetBackground(TColor v);
  int GripBaseDim() const { return fGripBaseDim; }
  void SetGripBaseDim(int v);
  TGripsDir GripsDir() const { return fGripsDir; }
  void SetGripsDir(TGripsDir v);
  bool Ruler() const { return fRuler; }
  void SetRuler(bool v);
  // Values that are not finite or not above 0 are ignored (also for
  // Frequency and LabelFreq).
  double DotPerUnit() const { return fDPU; }
  void SetDotPerUnit(double v);
  double Frequency() const { return fFrequency; }
  void SetFrequency(double v);
  double LabelFreq() const { return fLabelFreq; }
  void SetLabelFreq(double v);
  TColor RulerColor() const { return fRulerColor; }
  void SetRulerColor(TColor v);
  TRulerDir RulerDir() const { return fRulerDir; }
  void SetRulerDir(TRulerDir v);
  double ViewMin() const { return fViewMin; }
  // Also becomes every grip's min (ViewMax: max).
  void SetViewMin(double v);
  double ViewMax() const { return fViewMax; }
  void SetViewMax(double v);
  int MaxGripHeight() const { return fMaxGripHeight; }
  void SetMaxGripHeight(int v) { fMaxGripHeight = v; }
  bool Inverted() const { return fInverted; }
  void SetInverted(bool v);
  bool FitInView() const { return fFitInView; }
  void SetFitInView(bool v);
  bool HexLabels() const { return fHexLabels; }
  void SetHexLabels(bool v);
  double ScrollRate() const { return fScrollRate; }
  void SetScrollRate(double v) { fScrollRate = v; }
  int OffsetX() const { return fOffsetX; }
  void SetOffsetX(int v);
  int OffsetY() const { return fOffsetY; }
  void SetOffsetY(int v);

  int GripsCount() const { return int(fGrips.size()); }
  // A negative count counts as 0.
  void SetGripsCount(int n);
  // Indices outside 0..GripsCount-1 are ignored (the getters answer 0).
  double GetGripsPos(int i) const;
  void SetGripsPos(int i, double v);
  TColor GetGripsCol(int i) const;
  void SetGripsCol(int i, TColor c);
  TGripKind GetGripsKind(int i) const;
  void SetGripsKind(int i, TGripKind k);
  double GetGripsMin(int i) const;
  void SetGripsMin(int i, double v);
  double GetGripsMax(int i) const;
  void SetGripsMax(int i, double v);

  int GripToPixel(int i) const;
  int GetRulerSize() const;
  double GetViewSpan() const;
  void ClampViewPos();
  void ClampGripPos(int i);
  std::vector<TPoint> GetGripPolygon(int i) const;
  TRect GetGripRect(int i) const;
  int GripAtPoint(int X, int Y) const;
  // The text of a label value.
  std::string LabelText(double v) const;

  // Fits the view (FitInView), draws grips and scale into the bitmap.
  void Update() override;
  void DrawGrips();
  void DrawRuler();

  TRulerPosChangeEvent OnRulerPosChange;
  TRulerGripClickEvent OnRulerGripClick;
  TRulerGripDblClickEvent OnRulerGripDblClick;
  TRulerClickEvent OnRulerClick;
  // The picture (the control's size less the offsets).
  std::unique_ptr<TBitmap> Bitmap;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

 protected:
  void Paint() override;
  void Resize() override;
  void CMFontChanged(TMessage& Message) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  struct Grip {
    double Pos = 0;
    TColor Color = 0;
    TGripKind Kind = gkTriangle;
    double Min = 0, Max = 0;
  };
  int AxisLength() const;
  int CrossLength() const;
  void SyncBitmap();
  void PaintNow();
  // One auto-scroll step; answers the cursor's coordinate along the axis.
  int ScrollStep(bool Up);
  int CursorAlong();
  std::vector<Grip> fGrips;
  TColor fBackground = clBtnFace;
  int fGripBaseDim = 12;
  int fSelGrip = -1;
  int fSelGripSt = 0;
  int fMX1 = 0, fMY1 = 0;
  TGripsDir fGripsDir = gdUp;
  bool fRuler = true;
  double fViewPos = 0;
  double fDPU = 1;
  double fFrequency = 10;
  double fLabelFreq = 40;
  TColor fRulerColor = clBtnFace;
  TRulerDir fRulerDir = rdHorizontal;
  double fViewMin = 0, fViewMax = 0;
  bool fFitInView = false;
  bool fHexLabels = false;
  int fMaxGripHeight = 15;
  bool fInverted = false;
  double fScrollRate = 1;
  int fOffsetX = 0, fOffsetY = 0;
};
