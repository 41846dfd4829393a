// The rich-text control: typing, formats, caret moves, selection, mouse,
// layout and the clipboard, driven as a user drives it (key and mouse
// messages through the headless driver).
#include <cstring>

#include "core/canvas.h"
#include "platform/win_sound.h"
#include "textcontrol_fixture.h"
#include "winui/win_caret.h"
#include "winui/win_clipboard.h"
#include "winui/win_fontdlg.h"

namespace {

TEST_F(TextControlTest, TwoTypedCharactersShareOneFormatAndBoldAddsASecond) {
  TVXTextControl* t = Control();
  Type(u"ab");
  ASSERT_EQ(t->TextLength(), 2);
  ASSERT_EQ(t->TextFormat().size(), 1u);
  EXPECT_EQ(t->TextFormat()[0].refcount, 2);
  EXPECT_EQ(*t->TextFormatRef(), (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(t->TextFormat()[0].name, "DejaVu Sans");

  Press(VK_LEFT, VK_SHIFT);  // selects the second character
  EXPECT_EQ(t->SelStart(), 1);
  EXPECT_EQ(t->SelStop(), 2);
  Press('B', VK_CONTROL);
  ASSERT_EQ(t->TextFormat().size(), 2u);
  EXPECT_EQ(t->TextFormat()[0].refcount, 2);  // until a character goes
  EXPECT_EQ(t->TextFormat()[1].refcount, 1);
  EXPECT_EQ(t->TextFormat()[1].style, VXFontStyleBit(fsBold));
  EXPECT_EQ(*t->TextFormatRef(), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(*t->Text(), u"ab");  // Ctrl+B types nothing
  t->RemoveUnreferenced();
  EXPECT_EQ(t->TextFormat().size(), 2u);

  // Deleting the bold one and dropping unreferenced records leaves one.
  Press(VK_DELETE);
  EXPECT_EQ(*t->Text(), u"a");
  EXPECT_EQ(t->TextFormat()[1].refcount, 0);
  t->RemoveUnreferenced();
  EXPECT_EQ(t->TextFormat().size(), 1u);
  EXPECT_EQ(*t->TextFormatRef(), (std::vector<int32_t>{0}));
}

TEST_F(TextControlTest, EditingKeys) {
  TVXTextControl* t = Control();
  // Backspace at 0 with nothing selected changes nothing.
  Type(u"xy");
  Press(VK_HOME, VK_CONTROL);
  Press(VK_BACK);
  EXPECT_EQ(*t->Text(), u"xy");
  EXPECT_EQ(t->InsertPos(), 0);
  EXPECT_EQ(t->TextFormat()[0].refcount, 2);
  // Return inserts a line feed; Tab nothing, and the focus stays.
  Press(VK_END, VK_CONTROL);
  Press(VK_RETURN);
  Press(VK_TAB);
  EXPECT_EQ(*t->Text(), u"xy\n");
  EXPECT_TRUE(t->Focused());
  // Overwrite mode replaces the character at the caret.
  Press(VK_HOME, VK_CONTROL);
  Press(VK_INSERT);
  Type(u"Z");
  EXPECT_EQ(*t->Text(), u"Zy\n");
  EXPECT_FALSE(t->InsertMode());
  // With MaxLength 3 a fourth character beeps and is not added.
  Press(VK_INSERT);
  t->SetMaxLength(3);
  VXClearMessageBeepLog();
  Type(u"q");
  EXPECT_EQ(*t->Text(), u"Zy\n");
  EXPECT_EQ(VXMessageBeepCount(), 1);
  EXPECT_EQ(VXMessageBeepLog().at(0), 0x40u);
}

TEST_F(TextControlTest, WordMoves) {
  struct Case {
    const char16_t* Text;
    int32_t From;
    bool Right;
    int32_t To;
  };
  const Case cases[] = {
      {u"one two", 0, true, 3},   // to the blank after the first word
      {u"one two", 5, true, 6},   // inside the last word: its last character
      {u"one two", 3, true, 6},   // over the blank, then the word
      {u"one two", 7, false, 4},  // the last word's start
      {u"one two", 4, false, 0},  // back over the blank to the first word
      {u"one  two", 5, false, 0},  // two blanks
  };
  for (const Case& c : cases) {
    TVXTextControl* t = Control(c.Text);
    t->SetInsertPos(c.From);
    Press(c.Right ? VK_RIGHT : VK_LEFT, VK_CONTROL);
    EXPECT_EQ(t->InsertPos(), c.To) << "from " << c.From << (c.Right ? " right" : " left");
    delete t;
  }
  // An empty text stays at 0 both ways.
  TVXTextControl* t = Control();
  Press(VK_LEFT, VK_CONTROL);
  EXPECT_EQ(t->InsertPos(), 0);
  Press(VK_RIGHT, VK_CONTROL);
  EXPECT_EQ(t->InsertPos(), 0);
}

TEST_F(TextControlTest, FontSizeKeysNeverStoreZero) {
  struct Case {
    int32_t Height;
    bool Increase;
    int32_t Want;
  };
  const Case cases[] = {{-1, false, 1}, {-13, false, -12}, {5, false, 4}, {1, false, 1},
                        {-13, true, -14}, {5, true, 6},    {-1, true, -2}};
  for (const Case& c : cases) {
    TVXTextControl* t = Control();
    t->DefaultFont()->SetHeight(c.Height);
    t->Init();
    Type(u"k");
    Press(VK_LEFT, VK_SHIFT);
    Press(c.Increase ? VK_F1 + 1 : VK_F1, VK_SHIFT);
    EXPECT_EQ(t->TextFormat().back().height, c.Want) << c.Height << (c.Increase ? " up" : " down");
    EXPECT_EQ(t->InsertingCharInfo().height, c.Want);
    delete t;
  }
}

TEST_F(TextControlTest, DoubleClickSelectsAWord) {
  struct Case {
    int32_t Caret;
    int32_t Start, Stop;
  };
  // "one two " : inside the second word, and on its first letter (the word
  // before, since the move left steps back over the blank first).
  const Case cases[] = {{5, 4, 7}, {4, 0, 3}};
  for (const Case& c : cases) {
    TVXTextControl* t = Control(u"one two ");
    Repaint(t);
    const int x = t->PosX(c.Caret) + 1, y = t->PosY(c.Caret) + 3;
    VXHeadless::MouseDown(t->Handle(), x, y, 0);
    VXHeadless::MouseUp(t->Handle(), x, y, 0);
    VXHeadless::RunUntilIdle();
    ASSERT_EQ(t->InsertPos(), c.Caret);
    t->Perform(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
    VXHeadless::RunUntilIdle();
    EXPECT_EQ(t->SelStart(), c.Start) << "caret " << c.Caret;
    EXPECT_EQ(t->SelStop(), c.Stop) << "caret " << c.Caret;
    delete t;
  }
}

TEST_F(TextControlTest, MouseDragAndShiftClickSelect) {
  TVXTextControl* t = Control(u"abcdef");
  Repaint(t);
  const int y = t->PosY(0) + 3;
  // Each step is handled (and painted) before the next, as a hand moves.
  const int x1 = t->PosX(1) + 1, x4 = t->PosX(4) + 1, x5 = t->PosX(5) + 1;
  VXHeadless::MouseDown(t->Handle(), x1, y, 0);
  VXHeadless::RunUntilIdle();
  VXHeadless::MouseMove(t->Handle(), x4, y);
  VXHeadless::RunUntilIdle();
  VXHeadless::MouseUp(t->Handle(), x4, y, 0);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(t->SelStart(), 1);
  EXPECT_EQ(t->SelStop(), 4);
  VXHeadless::KeyDown(VK_SHIFT);
  VXHeadless::MouseDown(t->Handle(), x5, y, 0);
  VXHeadless::RunUntilIdle();
  VXHeadless::MouseUp(t->Handle(), x5, y, 0);
  VXHeadless::KeyUp(VK_SHIFT);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(t->InsertPos(), 5);
  EXPECT_EQ(t->SelStop(), 5);
}

TEST_F(TextControlTest, AlignmentKeysChangeTheCaretsParagraph) {
  TVXTextControl* t = Control(u"ab\ncd\nef");
  t->SetInsertPos(4);
  Press('R', VK_CONTROL);
  std::vector<TVXAlignment> got;
  for (int32_t r : *t->TextFormatRef()) got.push_back(t->TextFormat()[size_t(r)].align);
  EXPECT_EQ(got, (std::vector<TVXAlignment>{vxjLeft, vxjLeft, vxjLeft, vxjRight, vxjRight, vxjLeft, vxjLeft, vxjLeft}));
  EXPECT_EQ(t->InsertingCharInfo().align, vxjRight);
}

TEST_F(TextControlTest, CaretIsMadeAtEachPaintAndGoesWithTheFocus) {
  TVXTextControl* t = Control(u"ab");
  t->SetInsertPos(1);
  Repaint(t);
  TVXCaretState s = VXCaretState();
  EXPECT_TRUE(s.Exists && s.Visible);
  EXPECT_EQ(s.Window, t->Handle());
  EXPECT_EQ(s.Pos.x, t->CaretX());
  EXPECT_EQ(s.Pos.x, t->PosX(1));
  EXPECT_EQ(s.Height, t->CaretH());
  EXPECT_GT(s.Height, 0);
  Form->SetFocus();
  VXHeadless::RunUntilIdle();
  EXPECT_FALSE(VXCaretState().Exists);
}

TEST_F(TextControlTest, FontDialogAndBackgroundDialog) {
  TVXTextControl* t = Control(u"ab");
  t->SetSelection(0, 1);
  // Cancelled (the headless answer): nothing changes.
  Press('F', VK_CONTROL);
  EXPECT_EQ(t->TextFormat().size(), 1u);
  SetChooseFontHandler([](CHOOSEFONTW& cf) {
    EXPECT_EQ(cf.lpLogFont->lfHeight, -13);
    const char16_t face[] = u"DejaVu Serif";
    std::memcpy(cf.lpLogFont->lfFaceName, face, sizeof(face));
    cf.lpLogFont->lfHeight = -20;
    cf.lpLogFont->lfWeight = 700;
    cf.rgbColors = 0x0000FF;
    return TRUE;
  });
  Press('F', VK_CONTROL);
  SetChooseFontHandler(nullptr);
  ASSERT_EQ(t->TextFormat().size(), 2u);
  const TVXCharInfo& f = t->TextFormat()[1];
  EXPECT_EQ(f.name, "DejaVu Serif");
  EXPECT_EQ(f.height, -20);
  EXPECT_EQ(f.style, VXFontStyleBit(fsBold));
  EXPECT_EQ(f.color, TColor(0x0000FF));
  EXPECT_EQ(t->InsertingCharInfo().height, -20);
  // A locked font opens no dialog.
  t->SetIsFontLocked(true);
  bool asked = false;
  SetChooseFontHandler([&](CHOOSEFONTW&) { return asked = true, TRUE; });
  Press('F', VK_CONTROL);
  SetChooseFontHandler(nullptr);
  EXPECT_FALSE(asked);
}

// ---- layout ----

TEST_F(TextControlTest, MarginsPlaceTheText) {
  TVXTextControl* t = Renderer(u"ab");
  t->SetMarginLeft(10);
  t->SetMarginTop(10);
  t->SetMarginRight(10);
  t->SetMarginBottom(10);
  Render(t, 200, 100);
  EXPECT_EQ(t->PosX(0), 21);
  EXPECT_EQ(t->PosY(0), 11);
  // A right-aligned line ends one pixel short of the text area's right
  // edge (left + textW = 21 + 158), whatever the margins.
  TVXTextControl* r = Renderer(u"ab", vxjRight);
  r->SetMarginLeft(10);
  r->SetMarginTop(10);
  r->SetMarginRight(10);
  r->SetMarginBottom(10);
  Render(r, 200, 100);
  EXPECT_EQ(r->PosX(1) + r->CharWidth(1), 21 + 158 - 1);
  delete t;
  delete r;
}

TEST_F(TextControlTest, LinesWrapAfterTheLastBlankOrBeforeTheCharacterThatWouldNotFit) {
  // One long word in a box 50 wide (textW 48): the break comes before the
  // character whose end + 2 reaches textW.
  TVXTextControl* t = Renderer(u"abcdefghijklmnopqrst");
  Render(t, 50, 200);
  const int32_t top = t->PosY(0);
  int32_t first = -1;
  for (int32_t i = 0; i < 20; ++i)
    if (t->PosY(i) != top) {
      first = i;
      break;
    }
  ASSERT_GT(first, 0);
  int32_t x = 0;
  for (int32_t i = 0; i < first; ++i) x += t->CharWidth(i);
  EXPECT_LT(x + 2, 48);
  EXPECT_GE(x + t->CharWidth(first) + 2, 48);
  EXPECT_EQ(t->PosX(first), 1);
  // With a blank the line breaks after it, and the formatted string has a
  // line feed at each line end.
  TVXTextControl* b = Renderer(u"aaa bbbbbbbbbbbb");
  b->SetWriteFormattedString(true);
  Render(b, 60, 200);
  EXPECT_GT(b->PosY(4), b->PosY(3));
  EXPECT_EQ(b->PosY(3), b->PosY(0));
  EXPECT_EQ(b->FormattedString().substr(0, 5), u"aaa \n");
  delete t;
  delete b;
}

TEST_F(TextControlTest, RightAlignedLineMovesByTheRoomLeft) {
  TVXTextControl* l = Renderer(u"some words");
  Render(l, 160, 60);  // textW 158
  const int32_t end = l->PosX(9) - 1 + l->CharWidth(9);
  TVXTextControl* r = Renderer(u"some words", vxjRight);
  Render(r, 160, 60);
  EXPECT_EQ(r->PosX(0) - l->PosX(0), 158 - end - 1);
  TVXTextControl* c = Renderer(u"some words", vxjCenter);
  Render(c, 160, 60);
  EXPECT_EQ(c->PosX(0) - l->PosX(0), (158 - end) / 2);
  delete l;
  delete r;
  delete c;
}

TEST_F(TextControlTest, JustifiedParagraphStretchesAllButItsLastLine) {
  const std::u16string text = u"aa bb cc dd ee ff gg hh ii";
  TVXTextControl* j = Renderer(text, vxjJustify);
  TVXTextControl* l = Renderer(text);
  Render(j, 60, 200);
  Render(l, 60, 200);
  // Lines by their tops.
  std::vector<int32_t> lineEnds;
  for (int32_t i = 0; i + 1 < int32_t(text.size()); ++i)
    if (l->PosY(i + 1) != l->PosY(i)) lineEnds.push_back(i);
  ASSERT_GE(lineEnds.size(), 2u);
  const int32_t textW = 58;
  for (size_t k = 0; k < lineEnds.size(); ++k) {
    // The last drawn character before the trailing blank.
    const int32_t a = lineEnds[k] - 1;
    const int32_t natural = l->PosX(a) - 1 + l->CharWidth(a);
    const double factor = double(textW) / (natural + 1);
    EXPECT_EQ(j->PosX(a) - 1, int32_t((l->PosX(a) - 1) * factor)) << "line " << k;
    EXPECT_GT(j->PosX(a), l->PosX(a));
  }
  // The last line is not stretched.
  const int32_t last = int32_t(text.size()) - 1;
  EXPECT_EQ(j->PosX(last), l->PosX(last));
  delete j;
  delete l;
}

TEST_F(TextControlTest, ZoomDoublesCaretAndPositions) {
  TVXTextControl* a = Renderer(u"ab cd\nef");
  TVXTextControl* b = Renderer(u"ab cd\nef");
  a->SetInsertPos(7);
  b->SetInsertPos(7);
  Render(a, 100, 50);
  b->SetZoom(2);
  Render(b, 100, 50, 200, 100);
  for (int32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(b->PosX(i), a->PosX(i) * 2) << i;
    EXPECT_EQ(b->PosY(i), a->PosY(i) * 2) << i;
  }
  EXPECT_EQ(b->CaretX(), a->CaretX() * 2);
  EXPECT_EQ(b->CaretY(), a->CaretY() * 2);
  EXPECT_EQ(b->CaretH(), a->CaretH() * 2);
  delete a;
  delete b;
}

TEST_F(TextControlTest, SelectedCharactersAreDrawnInverted) {
  TVXTextControl* t = Renderer(u"MM");
  t->Brush()->SetColor(clWhite);
  t->BorderPen()->SetStyle(psClear);
  t->SetSelection(1, 2);
  TBitmap bmp(100, 40);
  Render(t, 100, 40, 100, 40, &bmp);
  // The selected cell's background is black (the inverse of white), the
  // other's stays white around its letter.
  const int32_t y = t->PosY(0) + 1;
  EXPECT_EQ(bmp.Canvas()->Pixels(t->PosX(1) + 1, y) & 0xFFFFFF, 0x000000);
  EXPECT_EQ(bmp.Canvas()->Pixels(t->PosX(0) + 1, y) & 0xFFFFFF, 0xFFFFFF);
  delete t;
}

TEST_F(TextControlTest, AutoSizeGrowsTheControlToItsText) {
  TVXTextControl* t = Control();
  t->SetAutoSize(true);
  t->SetBounds(10, 10, 80, 30);
  VXHeadless::RunUntilIdle();
  for (int k = 0; k < 4; ++k) Press(VK_RETURN);
  Type(u"x");
  Repaint(t);
  Repaint(t);
  EXPECT_GT(t->Height(), 30);
  EXPECT_GE(t->Height(), t->CaretY() + t->CaretH());
}

// ---- clipboard ----

std::vector<uint8_t> ClipBlock(UINT Format) {
  std::vector<uint8_t> out;
  if (!OpenClipboard(nullptr)) return out;
  if (HGLOBAL h = static_cast<HGLOBAL>(GetClipboardData(Format))) {
    const auto* p = static_cast<const uint8_t*>(GlobalLock(h));
    out.assign(p, p + GlobalSize(h));
    GlobalUnlock(h);
  }
  CloseClipboard();
  return out;
}

void PutClip(const std::vector<std::pair<UINT, std::vector<uint8_t>>>& Blocks) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  for (const auto& [f, bytes] : Blocks) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!bytes.empty()) std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
    SetClipboardData(f, h);
  }
  CloseClipboard();
}

std::vector<uint8_t> Units(const std::u16string& S) {
  std::vector<uint8_t> b;
  for (char16_t c : S) b.push_back(uint8_t(c)), b.push_back(uint8_t(c >> 8));
  return b;
}

TEST_F(TextControlTest, CopyPutsUnicodeTextAndThePrivateBlock) {
  TVXTextControl* t = Control(u"A\nB");
  t->SetSelection(0, 2);
  Press('C', VK_CONTROL);
  EXPECT_EQ(ClipBlock(CF_UNICODETEXT), Units(std::u16string(u"A\r\n\0\0", 5)));
  const std::vector<uint8_t> priv = ClipBlock(VXTextMemoClipboardFormat());
  ASSERT_EQ(priv.size(), 566u);
  EXPECT_EQ(std::vector<uint8_t>(priv.begin(), priv.begin() + 6), Units(std::u16string(u"A\n\0", 3)));
  const TVXCharInfo lf = VXCharInfoFromBytes(priv.data() + 286);
  EXPECT_EQ(lf.name, "DejaVu Sans");
  EXPECT_EQ(lf.height, -13);
  // Cut takes the selection away; paste brings it back.
  Press('X', VK_CONTROL);
  EXPECT_EQ(*t->Text(), u"B");
  Press('V', VK_CONTROL);
  EXPECT_EQ(*t->Text(), u"A\nB");
  // The window messages act as the shortcuts.
  t->SetSelection(2, 3);
  t->Perform(WM_COPY, 0, 0);
  EXPECT_EQ(ClipBlock(CF_UNICODETEXT), Units(std::u16string(u"B\0\0", 3)));
}

TEST_F(TextControlTest, PasteKeepsFormatsOrFallsBackToTheText) {
  TVXCharInfo bold{0, "DejaVu Sans", -13, VXFontStyleBit(fsBold), 0, 0xFFFFFF, 0, vxjLeft};
  TVXCharInfo italic = bold;
  italic.style = VXFontStyleBit(fsItalic);
  std::vector<uint8_t> priv = Units(std::u16string(u"xy\0", 3));
  priv.resize(6 + 560);
  VXCharInfoToBytes(bold, priv.data() + 6);
  VXCharInfoToBytes(italic, priv.data() + 286);
  const UINT fmt = VXTextMemoClipboardFormat();
  {
    TVXTextControl* t = Control();
    PutClip({{CF_UNICODETEXT, Units(std::u16string(u"zz\0", 3))}, {fmt, priv}});
    Press('V', VK_CONTROL);
    ASSERT_EQ(*t->Text(), u"xy");
    EXPECT_EQ(t->TextFormat()[size_t((*t->TextFormatRef())[0])].style, VXFontStyleBit(fsBold));
    EXPECT_EQ(t->TextFormat()[size_t((*t->TextFormatRef())[1])].style, VXFontStyleBit(fsItalic));
    EXPECT_EQ(t->InsertingCharInfo().style, VXFontStyleBit(fsItalic));
    delete t;
  }
  struct Case {
    const char* Name;
    std::vector<uint8_t> Private;
    std::vector<uint8_t> Text;
    std::u16string Want;
  };
  std::vector<uint8_t> shortBlock(priv.begin(), priv.end() - 1);
  std::vector<uint8_t> odd = {uint8_t('x'), 0, uint8_t('y')};
  std::vector<uint8_t> noZero = Units(u"xyxyxyxy");
  const Case cases[] = {
      {"carriage returns dropped", {}, Units(std::u16string(u"a\r\nb\0", 5)), u"a\nb"},
      {"private block one byte short", shortBlock, Units(std::u16string(u"t\0", 2)), u"t"},
      {"odd private block", odd, Units(std::u16string(u"u\0", 2)), u"u"},
      {"private units without a zero", noZero, Units(std::u16string(u"v\0", 2)), u"v"},
      {"text without a zero stops at its block's end", {}, Units(u"wq"), u"wq"},
      {"odd text block", {}, {uint8_t('k'), 0, uint8_t('j')}, u"k"},
  };
  for (const Case& c : cases) {
    TVXTextControl* t = Control();
    std::vector<std::pair<UINT, std::vector<uint8_t>>> blocks;
    if (!c.Private.empty()) blocks.push_back({fmt, c.Private});
    blocks.push_back({CF_UNICODETEXT, c.Text});
    PutClip(blocks);
    Press('V', VK_CONTROL);
    EXPECT_EQ(t->Text().value_or(u""), c.Want) << c.Name;
    delete t;
  }
}

}  // namespace
