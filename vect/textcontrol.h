// TVXTextControl: a small rich-text control. Every character of its UTF-16
// text carries a format (font, height, style, colour, background, paragraph
// alignment) kept in a shared format table; the control edits the text with
// caret, selection, keys, mouse and the clipboard, and lays it out with
// word wrap at any zoom into its own window or any canvas (PaintTo). The
// vector layer lends it a memo's text and formats, either as the in-place
// editor or as a throw-away renderer, and takes them back afterwards.
//
// TVXEdit: the single-line in-place editor of text objects.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/canvas.h"
#include "gui/stdctrls.h"
#include "vect/charinfo.h"

class TVXTextControl : public TCustomControl {
 public:
  explicit TVXTextControl(TComponent* Owner = nullptr);
  ~TVXTextControl() override;

  // Caret and selection to 0, the text's length taken, missing reference
  // array and format table made (one record from the default font for a
  // text), the caches made anew, the inserting format from the defaults.
  void Init();
  // Every measure and position forgotten, the window invalidated.
  void Update() override;
  // Lays out and draws the box and the text with the box's top-left
  // corner at (DestX, DestY); the box is given in unzoomed pixels. Writes
  // the caret, the positions and, when asked, FormattedString.
  void PaintTo(TVXCanvas* DestCanvas, int32_t DestX, int32_t DestY, int32_t NonZoomDestWidth,
               int32_t NonZoomDestHeight);
  void KeyPress(char16_t& Key) override;
  void AddChar(char16_t Key);
  void InsertAlign(TVXAlignment Align);
  // The selection (and the inserting format) take the font's name, height,
  // style and colour; or the background colour.
  void SetXFont(TFont* Fnt);
  void SetXBackColor(TColor Bk);
  // Drops the format records no character refers to.
  void RemoveUnreferenced();

  // ---- the lent buffers ----
  const std::optional<std::u16string>& Text() const { return fText; }
  void SetText(std::optional<std::u16string> v) { fText = std::move(v); }
  std::optional<std::u16string> TakeText() { return std::exchange(fText, std::nullopt); }
  const std::optional<std::vector<int32_t>>& TextFormatRef() const { return fCharRef; }
  void SetTextFormatRef(std::optional<std::vector<int32_t>> v) { fCharRef = std::move(v); }
  std::optional<std::vector<int32_t>> TakeTextFormatRef() { return std::exchange(fCharRef, std::nullopt); }
  // An empty table counts as none.
  const std::vector<TVXCharInfo>& TextFormat() const { return fCharInfo; }
  void SetTextFormat(std::vector<TVXCharInfo> v) { fCharInfo = std::move(v); }
  std::vector<TVXCharInfo> TakeTextFormat() { return std::exchange(fCharInfo, {}); }
  int32_t TextLength() const { return fTextLength; }

  TFont* DefaultFont() { return fDefaultFont.get(); }
  TBrush* DefaultFontBrush() { return fDefaultFontBrush.get(); }
  TVXAlignment DefaultAlign() const { return fDefaultAlign; }
  void SetDefaultAlign(TVXAlignment v) { fDefaultAlign = v; }
  TPen* BorderPen() { return fBorderPen.get(); }
  TBrush* Brush() { return fBrush.get(); }
  double Zoom() const { return fZoom; }
  void SetZoom(double v) { fZoom = v; }
  bool ForceDefaultColors() const { return fForceDefaultColors; }
  void SetForceDefaultColors(bool v) { fForceDefaultColors = v; }
  bool IsDrawingAlpha() const { return fIsDrawingAlpha; }
  void SetIsDrawingAlpha(bool v) { fIsDrawingAlpha = v; }
  bool IsFontLocked() const { return fFontLocked; }
  void SetIsFontLocked(bool v) {
    fFontLocked = v;
    Update();
  }
  bool AutoSize() const { return fAutoSize; }
  void SetAutoSize(bool v) { fAutoSize = v; }
  int32_t GlobalLineSpace() const { return fLineSpace; }
  void SetGlobalLineSpace(int32_t v) { fLineSpace = v; }
  int32_t GlobalFixedHeight() const { return fFixedHeight; }
  void SetGlobalFixedHeight(int32_t v) { fFixedHeight = v; }
  bool WriteFormattedString() const { return fWriteFormattedString; }
  void SetWriteFormattedString(bool v) { fWriteFormattedString = v; }
  const std::u16string& FormattedString() const { return fFormattedString; }
  const TVXCharInfo& InsertingCharInfo() const { return fInsertingCharInfo; }
  TNotifyEvent OnCursorMoved;
  // The picture under the control (not owned), shown through a box brush
  // that is not solid.
  TBitmap* UnderBuffer() const { return fUnderBuffer; }
  void SetUnderBuffer(TBitmap* v) { fUnderBuffer = v; }
  double MarginLeft() const { return fMarginLeft; }
  void SetMarginLeft(double v) { fMarginLeft = v; }
  double MarginTop() const { return fMarginTop; }
  void SetMarginTop(double v) { fMarginTop = v; }
  double MarginRight() const { return fMarginRight; }
  void SetMarginRight(double v) { fMarginRight = v; }
  double MarginBottom() const { return fMarginBottom; }
  void SetMarginBottom(double v) { fMarginBottom = v; }
  int32_t MaxLength() const { return fMaxLength; }
  void SetMaxLength(int32_t v) { fMaxLength = v; }

  // ---- state readable by programs and tests ----
  int32_t InsertPos() const { return fInsertPos; }
  void SetInsertPos(int32_t v) { fInsertPos = std::clamp(v, 0, fTextLength); }
  int32_t SelStart() const { return fSelStart; }
  int32_t SelStop() const { return fSelStop; }
  // [Start, Stop) selected (both 0: none).
  void SetSelection(int32_t Start, int32_t Stop);
  bool InsertMode() const { return fInsMode; }
  int32_t CaretX() const { return fCaretX; }
  int32_t CaretY() const { return fCaretY; }
  int32_t CaretH() const { return fCaretH; }
  // Laid-out left x and line top of character i (0 .. TextLength); -1 when
  // not laid out.
  int32_t PosX(int32_t i) const { return fposxarray.at(size_t(i)); }
  int32_t PosY(int32_t i) const { return fposyarray.at(size_t(i)); }
  // Measured width of character i (0: not measured).
  int32_t CharWidth(int32_t i) const { return fcache_w.at(size_t(i)); }

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;
  void Paint() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void WMLButtonDblClk(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;

 private:
  struct TGlyph {
    int32_t x, y;
    char16_t ch;
    int32_t index;
  };
  void InvalidateLayout(int32_t Index, int32_t Count);
  int32_t DeleteChar(int32_t Index);
  void DeleteSelection();
  void ClearSelection() { fSelStart = fSelStop = 0; }
  void ExtendSelection(int32_t OldPos, bool Shifted);
  bool CharLeft();
  bool CharRight();
  void WordLeft();
  void WordRight();
  void MoveLineStart();
  void MoveLineEnd();
  void MoveLineUp();
  void MoveLineDown();
  void MoveToPoint(int32_t X, int32_t Y);
  int32_t FindCharInfo(const TVXCharInfo& Info) const;
  void SetCharInfo(int32_t Index, const TVXCharInfo& Info);
  void GetCharInfo(int32_t Index, TVXCharInfo& Info) const;
  void IncreaseFontSize();
  void DecreaseFontSize();
  void ToggleStyle(int Style);
  // Applies Change to a copy of every selected character's format and then
  // to the inserting format.
  template <typename F>
  void ChangeSelection(F Change, bool ChangeInserting = true);
  void CopyToClipboard();
  void PasteFromClipboard();
  void PaintBackground();
  void DoCursorMoved();
  void DefaultCharInfo(TVXCharInfo& Info) const;
  void GrowCaches();
  char16_t Unit(int32_t i) const { return fText && i >= 0 && i <= fTextLength ? (*fText)[size_t(i)] : u'\0'; }
  // The laying out of PaintTo.
  void ApplyFormat(TVXCanvas* C, int32_t i);
  void MeasureChar(TVXCanvas* C, int32_t i, int32_t& W, int32_t& H, int32_t& IL, int32_t& D);
  void DrawGlyph(TVXCanvas* C, int32_t X, int32_t Y, char16_t Ch, int32_t Index, const TRect& Clip);

  std::optional<std::u16string> fText;
  int32_t fTextLength = 0;
  int32_t fInsertPos = 0;
  int32_t fMaxLength = 0;
  std::unique_ptr<TBitmap> fBackbuf;
  int32_t fCaretX = 0, fCaretY = 0, fCaretH = 0;
  std::unique_ptr<TFont> fDefaultFont;
  std::unique_ptr<TBrush> fDefaultFontBrush;
  std::unique_ptr<TPen> fBorderPen;
  std::unique_ptr<TBrush> fBrush;
  bool fInsMode = true;
  TVXAlignment fDefaultAlign = vxjLeft;
  double fZoom = 1.0;
  int32_t fSelStart = 0, fSelStop = 0;
  int32_t fMouseDownX = 0, fMouseDownY = 0;
  TVXCharInfo fInsertingCharInfo;
  bool fForceDefaultColors = false;
  bool fIsDrawingAlpha = false;
  bool fFontLocked = false;
  bool fAutoSize = false;
  int32_t fLineSpace = 0;
  int32_t fFixedHeight = 0;
  std::vector<uint16_t> fcache_h, fcache_w;
  // Wider than a byte: the leading and descent of a very tall font.
  std::vector<int32_t> fcache_InternalLeading, fcache_Descent;
  std::vector<int32_t> fposxarray, fposyarray;
  std::vector<TVXCharInfo> fCharInfo;
  std::optional<std::vector<int32_t>> fCharRef;
  bool fWriteFormattedString = false;
  std::u16string fFormattedString;
  TBitmap* fUnderBuffer = nullptr;
  double fMarginLeft = 0, fMarginTop = 0, fMarginRight = 0, fMarginBottom = 0;
  std::vector<TGlyph> fGlyphs;
  // The character background of the format last applied while painting.
  TColor fCurBrushColor = 0;
  TBrushStyle fCurBrushStyle = bsSolid;
  bool fPainting = false;
};

// The single-line in-place editor of text objects: claims Tab and the
// navigation keys and never types a Tab.
class TVXEdit : public TEdit {
 public:
  using TEdit::TEdit;

 protected:
  void WndProc(TMessage& Message) override;
  void KeyPress(char16_t& Key) override;
};

// The identifier of the "VEXLANE TEXTMEMO" clipboard format (0 before the
// module's start-up).
uint32_t VXTextMemoClipboardFormat();
