// Texts and memos edited where they stand: the single-line editor over a
// text object, the rich-text control over a memo (working on the memo's own
// text and formats until the edit ends), their placing as the view scrolls
// and zooms, the layer's keys and focus, and the memo's formatted text.
#include <algorithm>
#include <cmath>

#include "core/canvas.h"
#include "platform/utf.h"
#include "vect/extended.h"
#include "vect/textcontrol.h"
#include "vect/vexlanevect.h"
#include "winui/gdi.h"
#include "winui/gdi_text.h"
#include "winui/win_paint.h"

namespace {

TFontStyles StylesOf(const LOGFONTW& lf) {
  TFontStyles s = 0;
  if (lf.lfWeight >= 700) s |= VXFontStyleBit(fsBold);
  if (lf.lfItalic) s |= VXFontStyleBit(fsItalic);
  if (lf.lfUnderline) s |= VXFontStyleBit(fsUnderline);
  if (lf.lfStrikeOut) s |= VXFontStyleBit(fsStrikeOut);
  return s;
}

std::string FaceOf(const LOGFONTW& lf) {
  size_t n = 0;
  while (n < LF_FACESIZE && lf.lfFaceName[n]) ++n;
  return VXUTF16ToUTF8(std::u16string(lf.lfFaceName, n));
}

}  // namespace

TVXMemoEditCharInfo::TVXMemoEditCharInfo() : Font(std::make_unique<TFont>()) {}
TVXMemoEditCharInfo::~TVXMemoEditCharInfo() = default;

void TVexlaneVect::CreateTextEditors() {
  fTextEdit = std::make_unique<TVXEdit>(nullptr);
  fTextEdit->SetVisible(false);
  fTextEdit->SetCtl3D(false);
  fMemoEdit = std::make_unique<TVXTextControl>(nullptr);
  fMemoEdit->SetVisible(false);
  fMemoEdit->OnCursorMoved = [this](void* Sender) {
    if (OnTextEditCursorMoved) OnTextEditCursorMoved(Sender);
  };
}

void TVexlaneVect::SetMaxTextLength(int32_t Value) {
  fMaxTextLength = Value;
  fTextEdit->SetMaxLength(Value);
  fMemoEdit->SetMaxLength(Value);
}

void TVexlaneVect::SetObjTextEditMode(int32_t Value) {
  if (Value == fTextEditing) return;
  CancelInteracts();
  UnSelAllObjects();
  // -1 ends the edit in progress and starts none (the template is never
  // edited).
  if (Value < 0) {
    fTextEditing = -1;
    Update();
    return;
  }
  AddSelObject(Value);
  if (OnSelectObject) OnSelectObject(this);
  fTextEditing = ResolveHandle(Value);
  StartTextEdit();
  Update();
}

void TVexlaneVect::StartTextEdit() {
  if (fTextEditing < 0) return;
  TVXVObject& o = *GetObjRecord(fTextEditing);
  if (!o.TextEditable || (o.Kind != vxkTEXT && o.Kind != vxkMEMO)) {
    fTextEditing = -1;
    return;
  }
  if (o.Kind == vxkTEXT) {
    TVXEdit* e = fTextEdit.get();
    e->SetParent(this);
    PlaceTextEditor();
    e->OnKeyDown = [this](void* Sender, WORD& Key, TShiftState Shift) { TextEditKeyDown(Sender, Key, Shift); };
    e->OnChange = [this](void*) { TextEditChange(); };
    fTextEditOld = o.Text.value_or(u"");
    fTextEditLoading = true;
    e->SetText(VXUTF16ToUTF8(fTextEditOld));
    fTextEditLoading = false;
    e->Show();
    if (e->CanFocus()) e->SetFocus();
    if (OnActivateTextEdit) OnActivateTextEdit(this);
    if (OnTextEdit) OnTextEdit(this, fTextEditing, e);
    return;
  }
  TVXTextControl* m = fMemoEdit.get();
  m->SetUnderBuffer(BackBuffer());
  m->SetParent(this);
  PlaceTextEditor();
  m->OnKeyDown = [this](void* Sender, WORD& Key, TShiftState Shift) { MemoEditKeyDown(Sender, Key, Shift); };
  m->SetText(std::move(o.Text));
  o.Text.reset();
  m->SetTextFormat(std::move(o.TextFormat));
  o.TextFormat.clear();
  m->SetTextFormatRef(std::move(o.TextFormatRef));
  o.TextFormatRef.reset();
  m->Init();
  m->Show();
  if (m->CanFocus()) m->SetFocus();
  if (OnActivateTextEdit) OnActivateTextEdit(this);
  if (OnTextEdit) OnTextEdit(this, fTextEditing, m);
}

void TVexlaneVect::EndTextEdit(bool Destroying) {
  if (fTextEditing < 0 || fTextEditing >= int32_t(fObjHeap.size()) || !fObjHeap[size_t(fTextEditing)]) return;
  TVXVObject& o = *fObjHeap[size_t(fTextEditing)];
  if (o.Kind == vxkTEXT && fTextEdit->Parent() == this && fTextEdit->Visible()) {
    o.Text = VXUTF8ToUTF16(fTextEdit->Text());
    if (!Destroying && o.TextAutoSize) o.x2 = o.x1 + int32_t(EditTextWidth() / (ZoomX() / 100));
    fTextEdit->OnChange = nullptr;
    fTextEdit->Hide();
    if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
  } else if (o.Kind == vxkMEMO && fMemoEdit->Parent() == this && fMemoEdit->Visible()) {
    fMemoEdit->RemoveUnreferenced();
    if (!Destroying && o.TextAutoSize) o.y2 = o.y1 + int32_t(fMemoEdit->ClientHeight() / (ZoomY() / 100));
    o.Text = fMemoEdit->TakeText();
    o.TextFormat = fMemoEdit->TakeTextFormat();
    o.TextFormatRef = fMemoEdit->TakeTextFormatRef();
    fMemoEdit->Hide();
    if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
  } else {
    return;
  }
  if (!Destroying) {
    if (CanFocus()) SetFocus();
    DoVectorialChanged();
  }
}

int32_t TVexlaneVect::EditTextWidth() {
  TCanvas* c = Canvas();
  if (!c) return 0;
  c->Font()->Assign(fTextEdit->Font());
  return c->TextWidth(fTextEdit->Text());
}

void TVexlaneVect::TextEditChange() {
  if (fTextEditLoading || fTextEditing < 0) return;
  TVXVObject& o = *GetObjRecord(fTextEditing);
  if (!o.TextAutoSize) return;
  const int32_t w = EditTextWidth();
  TCanvas* c = Canvas();
  const int32_t m = c ? c->TextWidth("M") : 0;
  fTextEdit->SetWidth(w);
  o.x2 = o.x1 + int32_t((w + m) / (ZoomX() / 100));
  Update();
}

void TVexlaneVect::TextEditKeyDown(void* Sender, WORD& Key, TShiftState Shift) {
  if (OnTextKeyDown) OnTextKeyDown(Sender, Key, Shift);
  if (Key == VK_RETURN) {
    Key = 0;
    CancelInteracts();
    DoVectorialChanged();
  } else if (Key == VK_ESCAPE) {
    Key = 0;
    // The edit's own changes undone: the text it started with.
    fTextEditLoading = true;
    fTextEdit->SetText(VXUTF16ToUTF8(fTextEditOld));
    fTextEditLoading = false;
    CancelInteracts();
  }
}

void TVexlaneVect::MemoEditKeyDown(void* Sender, WORD& Key, TShiftState Shift) {
  if (OnTextKeyDown) OnTextKeyDown(Sender, Key, Shift);
  if (Key == VK_ESCAPE) {
    Key = 0;
    CancelInteracts();
  }
}

void TVexlaneVect::PlaceTextEditor() {
  if (fTextEditing < 0 || fTextEditing >= int32_t(fObjHeap.size()) || !fObjHeap[size_t(fTextEditing)]) return;
  const TVXVObject& o = *fObjHeap[size_t(fTextEditing)];
  const TVXLayer* L = ObjLayer(o);
  auto mx = [&](int32_t x) { return L ? ConvXBmp2Scr(L, x) : XBmp2Scr(x); };
  auto my = [&](int32_t y) { return L ? ConvYBmp2Scr(L, y) : YBmp2Scr(y); };
  const int32_t left = mx(o.x1), top = my(o.y1);
  const int32_t width = mx(o.x2) - left, height = my(o.y2) - top;
  LOGFONTW lf{};
  if (o.LogFont) lf = *o.LogFont;
  if (o.Kind == vxkTEXT) {
    TVXEdit* e = fTextEdit.get();
    e->SetBounds(left, top, width, height);
    e->Font()->SetColor(o.PenColor);
    e->SetColor(o.BrushStyle != bsSolid ? Background() : o.BrushColor);
    e->Font()->SetHeight(lf.lfHeight != 0 ? int32_t(lf.lfHeight * ZoomY() / 100) : height);
    e->Font()->SetName(FaceOf(lf));
    e->Font()->SetStyle(StylesOf(lf));
  } else if (o.Kind == vxkMEMO) {
    TVXTextControl* m = fMemoEdit.get();
    m->SetBounds(left, top, width + 1, height + 1);
    m->SetMarginLeft(o.MemoMarginLeft);
    m->SetMarginTop(o.MemoMarginTop);
    m->SetMarginRight(o.MemoMarginRight);
    m->SetMarginBottom(o.MemoMarginBottom);
    SetupMemoControl(*m, o);
    m->SetZoom(ZoomY() / 100);
    m->Update();
  }
}

void TVexlaneVect::SetupMemoControl(TVXTextControl& m, const TVXVObject& o) {
  LOGFONTW lf{};
  if (o.LogFont) lf = *o.LogFont;
  m.DefaultFont()->SetName(FaceOf(lf));
  m.DefaultFont()->SetStyle(StylesOf(lf));
  m.DefaultFont()->SetColor(o.PenColor);
  m.DefaultFont()->SetHeight(lf.lfHeight);
  m.DefaultFontBrush()->SetColor(o.BrushColor);
  m.DefaultFontBrush()->SetStyle(o.MemoCharsBrushStyle);
  m.SetDefaultAlign(o.TextAlign);
  m.Brush()->SetColor(o.BrushColor);
  m.Brush()->SetStyle(o.BrushStyle);
  m.SetIsFontLocked(o.FontLocked);
  m.SetAutoSize(o.TextAutoSize);
  m.SetGlobalLineSpace(o.LineSpace);
  m.BorderPen()->SetColor(o.MemoBorderColor);
  m.BorderPen()->SetStyle(o.MemoBorderStyle);
  m.SetGlobalFixedHeight(o.MemoFixedHeight);
}

void TVexlaneVect::RenderMemo(TVXVObject& o, TVXCanvas& C, int32_t X1, int32_t Y1, double Zoom, bool MaskMode) {
  TVXTextControl m(nullptr);
  m.SetText(std::move(o.Text));
  m.SetTextFormat(std::move(o.TextFormat));
  m.SetTextFormatRef(std::move(o.TextFormatRef));
  m.SetZoom(Zoom);
  m.SetMarginLeft(o.MemoMarginLeft);
  m.SetMarginTop(o.MemoMarginTop);
  m.SetMarginRight(o.MemoMarginRight);
  m.SetMarginBottom(o.MemoMarginBottom);
  SetupMemoControl(m, o);
  m.SetForceDefaultColors(MaskMode);
  m.SetIsDrawingAlpha(MaskMode);
  m.SetWriteFormattedString(fMemoWriteFormattedString == &o);
  m.Init();
  m.PaintTo(&C, X1, Y1, std::abs(o.x2 - o.x1) + 1, std::abs(o.y2 - o.y1) + 1);
  o.Text = m.TakeText();
  o.TextFormat = m.TakeTextFormat();
  o.TextFormatRef = m.TakeTextFormatRef();
  if (fMemoWriteFormattedString == &o) fMemoFormattedString = m.FormattedString();
}

std::u16string TVexlaneVect::GetMemoFormattedString(int32_t hobj) {
  TVXVObject& o = *GetObjRecord(hobj);
  fMemoFormattedString.clear();
  if (o.Kind == vxkMEMO) {
    const int32_t w = std::abs(o.x2 - o.x1) + 1, h = std::abs(o.y2 - o.y1) + 1;
    TBitmap scratch(std::max(2, w + 1), std::max(2, h + 1));
    TVXCanvas c(scratch.Canvas(), false, false);
    fMemoWriteFormattedString = &o;
    RenderMemo(o, c, 0, 0, 1.0, false);
    fMemoWriteFormattedString = nullptr;
  }
  return fMemoFormattedString;
}

void TVexlaneVect::StretchTextRect(int32_t hobj) {
  TVXVObject& o = *GetObjRecord(hobj);
  if (o.Kind != vxkTEXT || o.CurvedLen() > 0 || !o.LogFont) return;
  HDC dc = GetDC(nullptr);
  LOGFONTW lf = *o.LogFont;
  static const uint8_t kQuality[] = {4, 5, 6, 0, 1, 3, 2};
  lf.lfQuality = o.FontQuality <= vxfqProof ? kQuality[o.FontQuality] : 0;
  HFONT f = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, f);
  const std::string s = VXUTF16ToUTF8(o.Text.value_or(u""));
  SIZE sz{};
  GetTextExtentPoint32W(dc, s.c_str(), int(s.size()), &sz);
  SelectObject(dc, old);
  DeleteObject(f);
  ReleaseDC(nullptr, dc);
  o.x2 = o.x1 + sz.cx;
  o.y2 = o.y1 + sz.cy;
  Changed(hobj);
}

TVXMemoEditCharInfo* TVexlaneVect::MemoEditingGetCharInfo() {
  auto* info = new TVXMemoEditCharInfo();
  if (IsEditMode() && fMemoEdit->Visible()) {
    const TVXCharInfo& c = fMemoEdit->InsertingCharInfo();
    info->Font->SetName(c.name);
    info->Font->SetHeight(c.height);
    info->Font->SetStyle(c.style);
    info->Font->SetColor(c.color);
    info->Align = c.align;
  }
  return info;
}

void TVexlaneVect::MemoEditingSetCharInfo(TVXMemoEditCharInfo* Info) {
  if (!Info || !IsEditMode() || !fMemoEdit->Visible()) return;
  fMemoEdit->SetXFont(Info->Font.get());
  if (Info->Align != fMemoEdit->InsertingCharInfo().align) fMemoEdit->InsertAlign(Info->Align);
  fMemoEdit->Update();
  if (fMemoEdit->CanFocus()) fMemoEdit->SetFocus();
}

void TVexlaneVect::KeyDown(WORD& Key, TShiftState Shift) {
  if (Key == VK_ESCAPE) {
    CancelInteracts();
  } else if (Key == VK_F1 + 1 && Shift == 0 && SelObjectsCount() > 0) {
    const int32_t h = GetSelObjects(0);
    const TVXVObjectKind k = GetObjRecord(h)->Kind;
    if (k == vxkTEXT || k == vxkMEMO) {
      CancelInteracts();
      fTextEditing = h;
      StartTextEdit();
      Update();
    }
  }
  TVexlaneView::KeyDown(Key, Shift);
  // A single selected extended object sees the key too.
  if (Key != 0 && SelObjectsCount() == 1) {
    TVXVObject& o = *GetObjRecord(GetSelObjects(0));
    if (o.Kind == vxkEXTENDED && o.extendedObject.Ptr) o.extendedObject.Ptr->KeyDown(Key, Shift);
  }
}

void TVexlaneVect::WndProc(TMessage& Message) {
  if (Message.Msg == WM_GETDLGCODE) {
    Message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    return;
  }
  TVexlaneView::WndProc(Message);
}

void TVexlaneVect::WMSetFocus(TMessage& Message) {
  TVexlaneView::WMSetFocus(Message);
  if (fTextEditing < 0 || fTextEditing >= int32_t(fObjHeap.size()) || !fObjHeap[size_t(fTextEditing)]) return;
  const TVXVObjectKind k = fObjHeap[size_t(fTextEditing)]->Kind;
  if (k == vxkMEMO && fMemoEdit->Visible() && fMemoEdit->CanFocus())
    fMemoEdit->SetFocus();
  else if (k == vxkTEXT && fTextEdit->Visible() && fTextEdit->CanFocus())
    fTextEdit->SetFocus();
}
