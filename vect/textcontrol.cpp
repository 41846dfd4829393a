// The rich-text control: text and format model, keys, mouse, caret and
// selection. Layout, painting and the clipboard are in textcontrol_paint.cpp.
#include "vect/textcontrol.h"

#include <algorithm>
#include <cmath>

#include "core/settings.h"
#include "core/winchores.h"
#include "platform/utf.h"
#include "platform/win_sound.h"
#include "winui/win_caret.h"
#include "winui/win_fontdlg.h"

namespace {

// Buffers grow in 256-byte blocks: room for Units entries of Size bytes.
template <typename V>
void GrowByBlocks(V& Buffer, size_t Units) {
  const size_t b = Units * sizeof(typename V::value_type);
  const size_t a = Buffer.capacity() * sizeof(typename V::value_type);
  if (a == 0 || a / 256 < b / 256 + 1) Buffer.reserve(((b / 256 + 1) * 256) / sizeof(typename V::value_type));
}

bool SameFormat(const TVXCharInfo& A, const TVXCharInfo& B) {
  return A.name == B.name && A.height == B.height && A.style == B.style && A.color == B.color &&
         A.brushColor == B.brushColor && A.brushStyle == B.brushStyle && A.align == B.align;
}

}  // namespace

TVXTextControl::TVXTextControl(TComponent* Owner)
    : TCustomControl(Owner),
      fDefaultFont(std::make_unique<TFont>()),
      fDefaultFontBrush(std::make_unique<TBrush>()),
      fBorderPen(std::make_unique<TPen>()),
      fBrush(std::make_unique<TBrush>()) {
  fBackbuf = std::make_unique<TBitmap>();
  fBackbuf->SetPixelFormat(pf24bit);
  SetControlStyle(ControlStyle() | VXStyleBit(csDoubleClicks) | VXStyleBit(csCaptureMouse));
  SetTabStop(true);
  fcache_h.assign(1, 0);
  fcache_w.assign(1, 0);
  fcache_InternalLeading.assign(1, 0);
  fcache_Descent.assign(1, 0);
  fposxarray.assign(1, -1);
  fposyarray.assign(1, -1);
  DefaultCharInfo(fInsertingCharInfo);
}

TVXTextControl::~TVXTextControl() = default;

void TVXTextControl::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.ClassStyle &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TVXTextControl::DefaultCharInfo(TVXCharInfo& Info) const {
  Info.refcount = 0;
  Info.name = fDefaultFont->Name();
  Info.height = fDefaultFont->Height();
  Info.style = fDefaultFont->Style();
  Info.color = fDefaultFont->Color();
  Info.brushColor = fDefaultFontBrush->Color();
  Info.brushStyle = uint8_t(fDefaultFontBrush->Style());
  Info.align = fDefaultAlign;
}

void TVXTextControl::Init() {
  fInsertPos = 0;
  ClearSelection();
  fTextLength = fText ? int32_t(fText->size()) : 0;
  // A table or references that do not fit the text (from outside) are made
  // anew rather than indexed past their ends.
  bool refsFit = fCharRef && int32_t(fCharRef->size()) >= fTextLength;
  if (refsFit && !fCharInfo.empty())
    for (int32_t i = 0; i < fTextLength; ++i)
      if ((*fCharRef)[size_t(i)] < 0 || (*fCharRef)[size_t(i)] >= int32_t(fCharInfo.size())) refsFit = false;
  if (fCharInfo.empty() || !refsFit) {
    if (!fCharInfo.empty() && !refsFit) fCharInfo.clear();
    if (!fCharRef) fCharRef.emplace();
    fCharRef->assign(size_t(fTextLength), 0);
    if (fTextLength > 0) {
      TVXCharInfo info;
      DefaultCharInfo(info);
      info.refcount = fTextLength;
      fCharInfo.push_back(info);
    }
  }
  if (fCharRef->size() > size_t(fTextLength)) fCharRef->resize(size_t(fTextLength));
  const size_t n = size_t(fTextLength) + 1;
  fcache_h.assign(n, 0);
  fcache_w.assign(n, 0);
  fcache_InternalLeading.assign(n, 0);
  fcache_Descent.assign(n, 0);
  fposxarray.assign(n, -1);
  fposyarray.assign(n, -1);
  DefaultCharInfo(fInsertingCharInfo);
  PaintBackground();
}

void TVXTextControl::Update() {
  InvalidateLayout(0, fTextLength + 1);
  Invalidate();
}

void TVXTextControl::InvalidateLayout(int32_t Index, int32_t Count) {
  const int32_t end = std::min<int32_t>(int32_t(fcache_h.size()), Index + Count);
  for (int32_t i = std::max(0, Index); i < end; ++i) {
    fcache_h[size_t(i)] = fcache_w[size_t(i)] = 0;
    fcache_InternalLeading[size_t(i)] = fcache_Descent[size_t(i)] = 0;
    fposxarray[size_t(i)] = fposyarray[size_t(i)] = -1;
  }
}

void TVXTextControl::SetSelection(int32_t Start, int32_t Stop) {
  fSelStart = std::clamp(Start, 0, fTextLength);
  fSelStop = std::clamp(Stop, 0, fTextLength);
  if (fSelStop < fSelStart) std::swap(fSelStart, fSelStop);
}

// ---- format table ----

int32_t TVXTextControl::FindCharInfo(const TVXCharInfo& Info) const {
  for (size_t r = 0; r < fCharInfo.size(); ++r)
    if (SameFormat(fCharInfo[r], Info)) return int32_t(r);
  return -1;
}

void TVXTextControl::SetCharInfo(int32_t Index, const TVXCharInfo& Info) {
  int32_t r = FindCharInfo(Info);
  if (r < 0) {
    fCharInfo.push_back(Info);
    fCharInfo.back().refcount = 0;
    r = int32_t(fCharInfo.size()) - 1;
  }
  (*fCharRef)[size_t(Index)] = r;
  ++fCharInfo[size_t(r)].refcount;
}

void TVXTextControl::GetCharInfo(int32_t Index, TVXCharInfo& Info) const {
  if (fTextLength <= 0) return;
  Index = std::clamp(Index, 0, fTextLength - 1);
  Info = fCharInfo[size_t((*fCharRef)[size_t(Index)])];
}

void TVXTextControl::RemoveUnreferenced() {
  if (!fCharRef) return;
  for (int32_t r = int32_t(fCharInfo.size()) - 1; r >= 0; --r) {
    if (fCharInfo[size_t(r)].refcount != 0) continue;
    fCharInfo.erase(fCharInfo.begin() + r);
    for (int32_t& ref : *fCharRef)
      if (ref > r) --ref;
  }
}

// ---- insertion and deletion ----

void TVXTextControl::GrowCaches() {
  const size_t n = size_t(fTextLength) + 1;
  GrowByBlocks(fcache_h, n);
  GrowByBlocks(fcache_w, n);
  GrowByBlocks(fcache_InternalLeading, n);
  GrowByBlocks(fcache_Descent, n);
  GrowByBlocks(fposxarray, n);
  GrowByBlocks(fposyarray, n);
}

void TVXTextControl::AddChar(char16_t Key) {
  if (fMaxLength > 0 && fTextLength >= fMaxLength) {
    MessageBeep(0x40);  // MB_ICONASTERISK
    return;
  }
  if (!fText) {
    fText.emplace();
    fText->reserve(2);
  }
  if (!fCharRef) fCharRef.emplace();
  if (fCharRef->empty()) fCharRef->reserve(2);
  GrowByBlocks(*fText, size_t(fTextLength) + 2);
  GrowByBlocks(*fCharRef, size_t(fTextLength) + 1);
  const size_t at = size_t(fInsertPos);
  fText->insert(fText->begin() + ptrdiff_t(at), Key);
  fCharRef->insert(fCharRef->begin() + ptrdiff_t(at), 0);
  SetCharInfo(fInsertPos, fInsertingCharInfo);
  fcache_h.insert(fcache_h.begin() + ptrdiff_t(at), 0);
  fcache_w.insert(fcache_w.begin() + ptrdiff_t(at), 0);
  fcache_InternalLeading.insert(fcache_InternalLeading.begin() + ptrdiff_t(at), 0);
  fcache_Descent.insert(fcache_Descent.begin() + ptrdiff_t(at), 0);
  fposxarray.insert(fposxarray.begin() + ptrdiff_t(at), -1);
  fposyarray.insert(fposyarray.begin() + ptrdiff_t(at), -1);
  ++fTextLength;
  GrowCaches();
  InvalidateLayout(fInsertPos, fTextLength + 1 - fInsertPos);
  ++fInsertPos;
}

int32_t TVXTextControl::DeleteChar(int32_t Index) {
  if (Index < 0 || Index >= fTextLength) return Index;
  TVXCharInfo& info = fCharInfo[size_t((*fCharRef)[size_t(Index)])];
  if (info.refcount > 0) --info.refcount;
  const auto at = ptrdiff_t(Index);
  fText->erase(fText->begin() + at);
  fCharRef->erase(fCharRef->begin() + at);
  fcache_h.erase(fcache_h.begin() + at);
  fcache_w.erase(fcache_w.begin() + at);
  fcache_InternalLeading.erase(fcache_InternalLeading.begin() + at);
  fcache_Descent.erase(fcache_Descent.begin() + at);
  fposxarray.erase(fposxarray.begin() + at);
  fposyarray.erase(fposyarray.begin() + at);
  --fTextLength;
  InvalidateLayout(Index, fTextLength + 1 - Index);
  return Index;
}

void TVXTextControl::DeleteSelection() {
  if (fSelStart >= fSelStop) return;
  for (int32_t i = fSelStop - 1; i >= fSelStart; --i) DeleteChar(i);
  fInsertPos = std::min(fSelStart, fTextLength);
  ClearSelection();
}

// ---- caret movement ----

bool TVXTextControl::CharLeft() {
  if (fInsertPos <= 0) return false;
  --fInsertPos;
  return true;
}

bool TVXTextControl::CharRight() {
  if (fInsertPos >= fTextLength) return false;
  ++fInsertPos;
  return true;
}

void TVXTextControl::WordLeft() {
  int32_t p = fInsertPos;
  do {
    --p;
  } while (p >= 1 && Unit(p) < 33);
  while (p > 0 && Unit(p) > 32) --p;
  if (p < 0) p = 0;
  if (Unit(p) <= 32 && p < fTextLength) ++p;
  // An empty text keeps the caret at 0 (the clamp's upper end would be -1).
  fInsertPos = std::max(0, std::min(p, fTextLength - 1));
}

void TVXTextControl::WordRight() {
  int32_t p = fInsertPos;
  do {
    ++p;
  } while (Unit(p) < 33 && p < fTextLength);
  while (p < fTextLength && Unit(p) > 32) ++p;
  fInsertPos = std::max(0, std::min(p, fTextLength - 1));
}

void TVXTextControl::MoveLineStart() {
  while (fInsertPos > 0 && fposyarray[size_t(fInsertPos)] >= fCaretY) --fInsertPos;
  if (fInsertPos > 0) ++fInsertPos;
}

void TVXTextControl::MoveLineEnd() {
  while (fInsertPos < fTextLength && fposyarray[size_t(fInsertPos)] == fCaretY) ++fInsertPos;
  if (fInsertPos < fTextLength) --fInsertPos;
}

void TVXTextControl::MoveLineUp() {
  int32_t i = fInsertPos;
  while (i > 0 && fposyarray[size_t(i)] >= fCaretY) --i;
  if (fposyarray[size_t(fInsertPos)] == fposyarray[size_t(i)]) return;
  fInsertPos = i;
  while (fInsertPos > 0 && fposxarray[size_t(fInsertPos)] > fCaretX) --fInsertPos;
  const int32_t n = fInsertPos + 1;
  if (n <= fTextLength && fposyarray[size_t(n)] == fposyarray[size_t(fInsertPos)] &&
      std::abs(fposxarray[size_t(n)] - fCaretX) < std::abs(fposxarray[size_t(fInsertPos)] - fCaretX))
    fInsertPos = n;
  if (fposyarray[size_t(fInsertPos)] != fposyarray[size_t(i)]) fInsertPos = i;
}

void TVXTextControl::MoveLineDown() {
  int32_t i = fInsertPos;
  while (i < fTextLength && fposyarray[size_t(i)] == fCaretY) ++i;
  if (fposyarray[size_t(fInsertPos)] == fposyarray[size_t(i)]) return;
  fInsertPos = i;
  while (fInsertPos < fTextLength && fposxarray[size_t(fInsertPos)] < fCaretX) ++fInsertPos;
  const int32_t p = fInsertPos - 1;
  if (p >= 0 && fposyarray[size_t(p)] == fposyarray[size_t(fInsertPos)] &&
      std::abs(fposxarray[size_t(p)] - fCaretX) < std::abs(fposxarray[size_t(fInsertPos)] - fCaretX))
    fInsertPos = p;
  if (fposyarray[size_t(fInsertPos)] != fposyarray[size_t(i)]) fInsertPos = i;
}

void TVXTextControl::MoveToPoint(int32_t X, int32_t Y) {
  int32_t c = 0;
  while (c < fTextLength && fposyarray[size_t(c)] < Y) ++c;
  if (fposyarray[size_t(c)] >= Y) --c;
  while (c >= 0 && X < fposxarray[size_t(c)] - 1) --c;
  if (c < 0) c = 0;
  fInsertPos = c;
  GetCharInfo(fInsertPos - 1, fInsertingCharInfo);
}

void TVXTextControl::ExtendSelection(int32_t OldPos, bool Shifted) {
  if (!Shifted) {
    ClearSelection();
    return;
  }
  if (fSelStop == 0) {
    fSelStart = OldPos;
    fSelStop = fInsertPos;
  } else if (OldPos < fInsertPos) {
    if (fSelStop < fInsertPos)
      fSelStop = fInsertPos;
    else
      fSelStart = fInsertPos;
  } else {
    if (fInsertPos < fSelStart)
      fSelStart = fInsertPos;
    else
      fSelStop = fInsertPos;
  }
  if (fSelStop < fSelStart) std::swap(fSelStart, fSelStop);
}

// ---- formatting ----

template <typename F>
void TVXTextControl::ChangeSelection(F Change, bool ChangeInserting) {
  if (fSelStart < fSelStop) {
    for (int32_t i = fSelStart; i < fSelStop && i < fTextLength; ++i) {
      TVXCharInfo info;
      GetCharInfo(i, info);
      Change(info);
      SetCharInfo(i, info);
    }
    InvalidateLayout(fSelStart, fTextLength + 1 - fSelStart);
  }
  if (ChangeInserting) Change(fInsertingCharInfo);
}

void TVXTextControl::IncreaseFontSize() {
  ChangeSelection([](TVXCharInfo& i) {
    i.height += i.height < 0 ? -1 : 1;
    if (i.height == 0) i.height = 1;
  });
}

void TVXTextControl::DecreaseFontSize() {
  ChangeSelection([](TVXCharInfo& i) {
    if (i.height < 0)
      ++i.height;
    else if (i.height > 0)
      --i.height;
    if (i.height == 0) i.height = 1;
  });
}

void TVXTextControl::SetXFont(TFont* Fnt) {
  ChangeSelection([Fnt](TVXCharInfo& i) {
    i.name = Fnt->Name();
    i.height = Fnt->Height();
    i.style = Fnt->Style();
    i.color = Fnt->Color();
  });
}

void TVXTextControl::SetXBackColor(TColor Bk) {
  ChangeSelection([Bk](TVXCharInfo& i) { i.brushColor = Bk; });
}

void TVXTextControl::ToggleStyle(int Style) {
  const TFontStyles bit = TFontStyles(1u << unsigned(Style));
  if (fSelStart < fSelStop && fTextLength > 0) {
    TVXCharInfo first;
    GetCharInfo(fSelStart, first);
    const TFontStyles s = TFontStyles(first.style ^ bit);
    ChangeSelection([s](TVXCharInfo& i) { i.style = s; }, false);
  } else {
    fInsertingCharInfo.style = TFontStyles(fInsertingCharInfo.style ^ bit);
  }
}

void TVXTextControl::InsertAlign(TVXAlignment Align) {
  int32_t from = std::min(fInsertPos, fTextLength);
  while (from > 0 && Unit(from - 1) != 10) --from;
  int32_t to = std::min(fInsertPos, fTextLength);
  while (to < fTextLength && Unit(to) != 10) ++to;
  for (int32_t i = from; i < to; ++i) {
    TVXCharInfo info;
    GetCharInfo(i, info);
    info.align = Align;
    SetCharInfo(i, info);
  }
  if (from < to) InvalidateLayout(from, fTextLength + 1 - from);
  fInsertingCharInfo.align = Align;
}

// ---- keys ----

void TVXTextControl::KeyDown(WORD& Key, TShiftState Shift) {
  const int32_t old = fInsertPos;
  const bool ctrl = Shift & VXShiftBit(ssCtrl);
  const bool shifted = Shift & VXShiftBit(ssShift);
  bool moved = false;
  switch (Key) {
    case VK_BACK:
      if (fSelStart < fSelStop)
        DeleteSelection();
      else if (CharLeft())
        DeleteChar(fInsertPos);
      Update();
      break;
    case VK_RETURN:
      AddChar(u'\n');
      Update();
      break;
    case VK_END:
      if (ctrl)
        fInsertPos = fTextLength;
      else
        MoveLineEnd();
      moved = true;
      break;
    case VK_HOME:
      if (ctrl)
        fInsertPos = 0;
      else
        MoveLineStart();
      moved = true;
      break;
    case VK_LEFT:
      if (ctrl)
        WordLeft();
      else
        CharLeft();
      moved = true;
      break;
    case VK_RIGHT:
      if (ctrl)
        WordRight();
      else
        CharRight();
      moved = true;
      break;
    case VK_UP:
      MoveLineUp();
      moved = true;
      break;
    case VK_DOWN:
      MoveLineDown();
      moved = true;
      break;
    case VK_INSERT:
      fInsMode = !fInsMode;
      break;
    case VK_DELETE:
      if (fSelStart < fSelStop)
        DeleteSelection();
      else
        DeleteChar(fInsertPos);
      Update();
      break;
    case VK_F1:
      if (shifted) {
        DecreaseFontSize();
        Update();
      }
      break;
    case VK_F1 + 1:
      if (shifted) {
        IncreaseFontSize();
        Update();
      }
      break;
    default:
      break;
  }
  if (moved && fInsertPos != old) {
    GetCharInfo(fInsertPos - 1, fInsertingCharInfo);
    ExtendSelection(old, shifted);
    Update();
  }

  TShortCut sc = TShortCut(Key);
  if (shifted) sc |= scShift;
  if (ctrl) sc |= scCtrl;
  if (Shift & VXShiftBit(ssAlt)) sc |= scAlt;
  const auto& table = VXGetGlobalSettings()->MemoShortCuts;
  for (int k = 0; k < VXMemoShortCutCount; ++k) {
    if (table[size_t(k)] != sc) continue;
    switch (TVXMemoShortCut(k)) {
      case vxsLEFTALIGN:
      case vxsCENTERALIGN:
      case vxsRIGHTALIGN:
      case vxsJUSTIFIED: {
        static const TVXAlignment aligns[] = {vxjLeft, vxjCenter, vxjRight, vxjJustify};
        InsertAlign(aligns[k]);
        Update();
        break;
      }
      case vxsCOPY:
        CopyToClipboard();
        break;
      case vxsCUT:
        CopyToClipboard();
        DeleteSelection();
        Update();
        break;
      case vxsPASTE:
        DeleteSelection();
        PasteFromClipboard();
        Update();
        break;
      case vxsFONTSELECT:
        if (!fFontLocked) {
          LOGFONTW lf{};
          lf.lfHeight = fInsertingCharInfo.height;
          lf.lfWeight = (fInsertingCharInfo.style & VXFontStyleBit(fsBold)) ? 700 : 400;
          lf.lfItalic = (fInsertingCharInfo.style & VXFontStyleBit(fsItalic)) ? 1 : 0;
          lf.lfUnderline = (fInsertingCharInfo.style & VXFontStyleBit(fsUnderline)) ? 1 : 0;
          lf.lfStrikeOut = (fInsertingCharInfo.style & VXFontStyleBit(fsStrikeOut)) ? 1 : 0;
          const std::u16string face = VXUTF8ToUTF16(fInsertingCharInfo.name);
          std::copy_n(face.begin(), std::min<size_t>(face.size(), LF_FACESIZE - 1), lf.lfFaceName);
          CHOOSEFONTW cf;
          cf.hwndOwner = HandleAllocated() ? Handle() : nullptr;
          cf.lpLogFont = &lf;
          cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS;
          cf.rgbColors = VXColorToRGB(fInsertingCharInfo.color);
          if (ChooseFontW(&cf)) {
            TFont f;
            size_t n = 0;
            while (n < LF_FACESIZE && lf.lfFaceName[n]) ++n;
            f.SetName(VXUTF16ToUTF8(std::u16string(lf.lfFaceName, n)));
            f.SetHeight(lf.lfHeight);
            TFontStyles s = 0;
            if (lf.lfWeight >= 700) s |= VXFontStyleBit(fsBold);
            if (lf.lfItalic) s |= VXFontStyleBit(fsItalic);
            if (lf.lfUnderline) s |= VXFontStyleBit(fsUnderline);
            if (lf.lfStrikeOut) s |= VXFontStyleBit(fsStrikeOut);
            f.SetStyle(s);
            f.SetColor(TColor(cf.rgbColors));
            SetXFont(&f);
          }
          Update();
        }
        break;
      case vxsBOLD:
      case vxsITALIC:
      case vxsUNDERLINE:
        ToggleStyle(k - vxsBOLD);
        Update();
        break;
      case vxsBACKCOLORSELECT:
        if (!fFontLocked) {
          TColor c = fInsertingCharInfo.brushColor;
          if (VXColorDialog(c)) SetXBackColor(c);
          Update();
        }
        break;
    }
    break;
  }
  TCustomControl::KeyDown(Key, Shift);
}

void TVXTextControl::KeyPress(char16_t& Key) {
  if (Key >= 32 && Key != 127) {
    DeleteSelection();
    if (!fInsMode) DeleteChar(fInsertPos);
    AddChar(Key);
  }
  Paint();
}

void TVXTextControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETDLGCODE: {
      TCustomControl::WndProc(Message);
      const WORD key = WORD(Message.WParam);
      if (key == VK_TAB || (key >= VK_PRIOR && key <= VK_DOWN)) {
        Message.Result |= DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
        WORD k = key;
        TCustomControl::KeyUp(k, KeyDataToShiftState(Message.LParam));
      }
      return;
    }
    case WM_CHAR: {
      char16_t key = char16_t(Message.WParam);
      KeyPress(key);
      Message.Result = 0;
      return;
    }
    case WM_CUT:
    case WM_COPY:
    case WM_PASTE: {
      const auto& table = VXGetGlobalSettings()->MemoShortCuts;
      const TShortCut sc = table[Message.Msg == WM_CUT ? vxsCUT : Message.Msg == WM_COPY ? vxsCOPY : vxsPASTE];
      WORD key = WORD(sc & 0xFF);
      TShiftState s = 0;
      if (sc & scShift) s |= VXShiftBit(ssShift);
      if (sc & scCtrl) s |= VXShiftBit(ssCtrl);
      if (sc & scAlt) s |= VXShiftBit(ssAlt);
      KeyDown(key, s);
      return;
    }
    default:
      TCustomControl::WndProc(Message);
  }
}

void TVXTextControl::WMSize(TMessage& Message) {
  TCustomControl::WMSize(Message);
  Update();
}

void TVXTextControl::WMEraseBkgnd(TMessage& Message) { Message.Result = 0; }

void TVXTextControl::WMKillFocus(TMessage& Message) {
  HideCaret(HandleAllocated() ? Handle() : nullptr);
  DestroyCaret();
  TCustomControl::WMKillFocus(Message);
}

// ---- mouse ----

void TVXTextControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (!Focused() && CanFocus()) SetFocus();
  if (Shift & VXShiftBit(ssShift)) {
    MoveToPoint(fMouseDownX, fMouseDownY);
    const int32_t remembered = fInsertPos;
    MoveToPoint(X, Y);
    if (fInsertPos != remembered) {
      ExtendSelection(remembered, true);
      Update();
    }
    fMouseDownX = X;
    fMouseDownY = Y;
  } else {
    fMouseDownX = X;
    fMouseDownY = Y;
    ClearSelection();
    MoveToPoint(X, Y);
  }
  Update();
  DoCursorMoved();
}

void TVXTextControl::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!(Shift & VXShiftBit(ssLeft))) return;
  ClearSelection();
  MoveToPoint(fMouseDownX, fMouseDownY);
  const int32_t remembered = fInsertPos;
  MoveToPoint(X, Y);
  if (fInsertPos != remembered) {
    ExtendSelection(remembered, true);
    Update();
  }
  DoCursorMoved();
}

void TVXTextControl::WMLButtonDblClk(TMessage& Message) {
  TCustomControl::WMLButtonDblClk(Message);
  if (fTextLength <= 0) return;
  ClearSelection();
  WordLeft();
  const int32_t start = fInsertPos;
  WordRight();
  int32_t p = fInsertPos;
  while (p > start && Unit(p) < 33) --p;
  fInsertPos = std::min(p + 1, fTextLength);
  GetCharInfo(fInsertPos - 1, fInsertingCharInfo);
  ExtendSelection(start, true);
  Update();
}

void TVXTextControl::DoCursorMoved() {
  if (OnCursorMoved) OnCursorMoved(this);
}

// ---- TVXEdit ----

void TVXEdit::WndProc(TMessage& Message) {
  if (Message.Msg == WM_GETDLGCODE) {
    TEdit::WndProc(Message);
    const WORD key = WORD(Message.WParam);
    if (key == VK_TAB || (key >= VK_PRIOR && key <= VK_DOWN)) {
      Message.Result |= DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
      WORD k = key;
      TEdit::KeyUp(k, KeyDataToShiftState(Message.LParam));
    }
    return;
  }
  TEdit::WndProc(Message);
}

void TVXEdit::KeyPress(char16_t& Key) {
  if (Key == u'\t') Key = 0;
  TEdit::KeyPress(Key);
}
