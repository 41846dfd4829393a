// THistogramBox: the histogram of an image drawn into an off-screen 24-bit
// bitmap: channels as bars or lines, count and level labels, a compact
// colour bar, and a selection of one level or a range with the mouse. The
// data come from an attached processing component, a bitmap or a histogram
// handed in.
#pragma once
#include <memory>

#include "gui/controls.h"
#include "proc/tone.h"

class TVexlaneProc;
class TVXBitmap;

// Channels shown (bit n stands for ordinal n; the same bits as
// TVXHistogramContent).
enum THistogramKindItem { hkRed, hkGreen, hkBlue, hkGray, hkHue };
using THistogramKind = uint8_t;
constexpr THistogramKind VXHistogramKindBit(THistogramKindItem k) { return THistogramKind(1u << unsigned(k)); }
enum THistogramLabel { hlVertical, hlHorizontal };
using THistogramLabels = uint8_t;
constexpr THistogramLabels VXHistogramLabelBit(THistogramLabel l) { return THistogramLabels(1u << unsigned(l)); }
enum THistogramStyle { hsBars, hsLines };
enum THistogramMouseInteract { mhNone, mhSelectValue, mhSelectRange };

class THistogramBox : public TCustomControl {
 public:
  explicit THistogramBox(TComponent* AOwner = nullptr);
  ~THistogramBox() override;

  TVexlaneProc* AttachedVexlaneProc() const { return fAIEP; }
  void SetAttachedVexlaneProc(TVexlaneProc* v);
  TColor Background() const { return fBackground; }
  void SetBackground(TColor v);
  THistogramKind HistogramKind() const { return fHistKind; }
  void SetHistogramKind(THistogramKind v);
  THistogramLabels Labels() const { return fLabels; }
  void SetLabels(THistogramLabels v);
  bool CompBar() const { return fCompBar; }
  void SetCompBar(bool v);
  THistogramStyle HistogramStyle() const { return fHistogramStyle; }
  void SetHistogramStyle(THistogramStyle v);
  TColor GrayColor() const { return fGrayColor; }
  void SetGrayColor(TColor v) { fGrayColor = v; }
  THistogramMouseInteract MouseInteract() const { return fMouseInteract; }
  void SetMouseInteract(THistogramMouseInteract v);
  TColor SelectionColor() const { return fSelectionColor; }
  void SetSelectionColor(TColor v);
  // The x of the plot's first column (the width of the count labels).
  int HistogramAbsXPos() const { return fHistogramAbsXPos; }
  // The selected levels (-1: none); writing -1 clears both marks.
  int MinSelected() const;
  void SetMinSelected(int v);
  int MaxSelected() const;
  void SetMaxSelected(int v);

  // Draws the attached component's histogram (nothing without one or
  // without its bitmap); a design-time picture while designing.
  void Update() override;
  void UpdateFromBitmap(TVXBitmap* Bitmap);
  void UpdateFromHistogram(const TVXHistogram& Histogram);

  TNotifyEvent OnSelectionChanged;
  TNotifyEvent OnSelectionChanging;
  // The picture.
  std::unique_ptr<TBitmap> Bitmap;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  void Paint() override;
  void Resize() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  void SyncBitmap();
  // Paints the window at once (without drawing the histogram again).
  void PaintNow();
  int Scale() const;
  TColor fBackground = clWhite;
  TVexlaneProc* fAIEP = nullptr;
  THistogramKind fHistKind = VXHistogramKindBit(hkGray);
  THistogramLabels fLabels = VXHistogramLabelBit(hlVertical) | VXHistogramLabelBit(hlHorizontal);
  bool fCompBar = true;
  THistogramStyle fHistogramStyle = hsBars;
  int fHistogramAbsXPos = 0;
  TColor fGrayColor = clBlack;
  int fMouseMinX = 0, fMouseMaxX = 0;
  bool fMouseMinDown = false, fMouseMaxDown = false;
  THistogramMouseInteract fMouseInteract = mhNone;
  TColor fSelectionColor = clRed;
};
