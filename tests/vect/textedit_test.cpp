// Texts and memos edited in place on a vector layer, as a user edits them:
// F2 on the selection, typing, Escape and Enter, formatting keys in a memo;
// the memo's formats kept in the object, its stream and its drawing.
#include "core/canvas.h"
#include "platform/utf.h"
#include "textcontrol_fixture.h"
#include "vect/extended.h"

namespace {

class TextEditTest : public TextControlTest {
 protected:
  TVexlaneVect* Layer() {
    TVexlaneVect* v = NewVect();
    v->SetObjBitmap(-1, nullptr);
    v->SetObjAntialias(false);
    v->SetObjFontName(-1, "DejaVu Sans");
    v->SetObjFontHeight(-1, -16);
    v->VXBitmap()->Allocate(300, 200, vx24RGB);
    v->VXBitmap()->Fill(0xFFFFFF);
    v->Update();
    v->SetFocus();
    VXHeadless::RunUntilIdle();
    return v;
  }
  static int32_t TextWidth(const std::string& S, int Height) {
    TBitmap b(4, 4);
    b.Canvas()->Font()->SetName("DejaVu Sans");
    b.Canvas()->Font()->SetHeight(Height);
    return b.Canvas()->TextWidth(S);
  }
};

TEST_F(TextEditTest, F2EditsTheSelectedTextEscapeRestoresEnterCommits) {
  TVexlaneVect* v = Layer();
  const int32_t h = v->AddNewObject(vxkTEXT, TRect{20, 30, 120, 50}, clBlack, false);
  v->SetObjText(h, u"old");
  const int32_t box = v->AddNewObject(vxkBOX, TRect{150, 30, 200, 60}, clBlack, false);
  int activated = 0, deactivated = 0;
  v->OnActivateTextEdit = [&](void*) { ++activated; };
  v->OnDeactivateTextEdit = [&](void*) { ++deactivated; };

  // F2 with a box selected does nothing.
  v->AddSelObject(box);
  Press(VK_F1 + 1);
  EXPECT_EQ(v->ObjTextEditMode(), -1);
  v->UnSelAllObjects();

  v->AddSelObject(h);
  Press(VK_F1 + 1);
  ASSERT_EQ(v->ObjTextEditMode(), h);
  TVXEdit* e = v->TextEdit();
  EXPECT_TRUE(e->Visible());
  EXPECT_TRUE(e->Focused());
  EXPECT_EQ(e->Left(), v->XBmp2Scr(20));
  EXPECT_EQ(e->Top(), v->YBmp2Scr(30));
  EXPECT_EQ(e->Width(), v->XBmp2Scr(120) - v->XBmp2Scr(20));
  EXPECT_EQ(e->Text(), "old");
  EXPECT_EQ(activated, 1);

  Press(VK_END);
  Type(u"er");
  EXPECT_EQ(e->Text(), "older");
  Press(VK_ESCAPE);
  EXPECT_EQ(v->ObjTextEditMode(), -1);
  EXPECT_FALSE(e->Visible());
  EXPECT_EQ(v->GetObjRecord(h)->Text, u"old");
  EXPECT_EQ(deactivated, 1);
  EXPECT_TRUE(v->Focused());

  v->AddSelObject(h);
  Press(VK_F1 + 1);
  Press(VK_END);
  Type(u"er\t");  // a Tab types nothing
  Press(VK_RETURN);
  EXPECT_EQ(v->ObjTextEditMode(), -1);
  EXPECT_EQ(v->GetObjRecord(h)->Text, u"older");
}

TEST_F(TextEditTest, ObjectsWhoseTextIsNotEditableShowNoEditor) {
  TVexlaneVect* v = Layer();
  const int32_t t = v->AddNewObject(vxkTEXT, TRect{20, 30, 120, 50}, clBlack, false);
  const int32_t m = v->AddNewObject(vxkMEMO, TRect{20, 80, 120, 150}, clBlack, false);
  for (int32_t h : {t, m}) {
    v->SetObjTextEditable(h, false);
    v->SetObjTextEditMode(h);
    EXPECT_EQ(v->ObjTextEditMode(), -1);
    EXPECT_FALSE(v->TextEdit()->Visible());
    EXPECT_FALSE(v->MemoEdit()->Visible());
  }
  // Writing -1 ends an edit in progress and starts none.
  v->SetObjTextEditable(m, true);
  v->SetObjTextEditMode(m);
  ASSERT_EQ(v->ObjTextEditMode(), m);
  EXPECT_TRUE(v->MemoEdit()->Visible());
  v->SetObjTextEditMode(-1);
  EXPECT_EQ(v->ObjTextEditMode(), -1);
  EXPECT_FALSE(v->MemoEdit()->Visible());
}

TEST_F(TextEditTest, AutoSizedTextWidensAsItIsTyped) {
  TVexlaneVect* v = Layer();
  v->SetZoom(200);
  VXHeadless::RunUntilIdle();
  const int32_t h = v->AddNewObject(vxkTEXT, TRect{10, 10, 30, 25}, clBlack, false);
  v->SetObjTextAutoSize(h, true);
  v->SetObjTextEditMode(h);
  ASSERT_EQ(v->ObjTextEditMode(), h);
  Type(u"Wide text");
  const int32_t w = TextWidth("Wide text", -32), m = TextWidth("M", -32);
  EXPECT_EQ(v->GetObjRecord(h)->x2, 10 + int32_t((w + m) / 2.0));
  // The refresh puts the edit over the widened box again.
  EXPECT_EQ(v->TextEdit()->Width(), v->XBmp2Scr(v->GetObjRecord(h)->x2) - v->XBmp2Scr(10));
  Press(VK_RETURN);
  EXPECT_EQ(v->GetObjRecord(h)->x2, 10 + int32_t(w / 2.0));
}

TEST_F(TextEditTest, MemoFormatsComeBackIntoTheObjectAndSurviveTheStream) {
  TVexlaneVect* v = Layer();
  const int32_t h = v->AddNewObject(vxkMEMO, TRect{20, 20, 220, 120}, clBlack, false);
  v->SetObjFontLocked(h, false);
  v->SetObjBrushColor(h, clWhite);
  v->SetObjBrushStyle(h, bsSolid);
  v->SetObjMemoCharsBrushStyle(h, bsClear);
  v->SetObjTextEditMode(h);
  ASSERT_EQ(v->ObjTextEditMode(), h);
  TVXTextControl* m = v->MemoEdit();
  EXPECT_TRUE(m->Focused());
  EXPECT_EQ(m->Left(), v->XBmp2Scr(20));
  EXPECT_EQ(m->Width(), v->XBmp2Scr(220) - v->XBmp2Scr(20) + 1);

  // Outside the formats: the default font; inside: the typing format.
  std::unique_ptr<TVXMemoEditCharInfo> info(v->MemoEditingGetCharInfo());
  EXPECT_EQ(info->Font->Name(), "DejaVu Sans");
  EXPECT_EQ(info->Font->Height(), -16);

  Type(u"ab");
  Press(VK_LEFT, VK_SHIFT);
  Press('B', VK_CONTROL);
  Press(VK_END, VK_CONTROL);
  Press(VK_RETURN);  // Return belongs to the memo
  Type(u"c");
  EXPECT_EQ(v->ObjTextEditMode(), h);
  info.reset(v->MemoEditingGetCharInfo());
  EXPECT_EQ(info->Font->Style(), VXFontStyleBit(fsBold));  // the format of the character before the caret
  info->Font->SetStyle(VXFontStyleBit(fsItalic));
  info->Align = vxjCenter;
  v->MemoEditingSetCharInfo(info.get());
  Type(u"d");

  Press(VK_ESCAPE);
  ASSERT_EQ(v->ObjTextEditMode(), -1);
  EXPECT_FALSE(m->Visible());
  const TVXVObject& o = *v->GetObjRecord(h);
  EXPECT_EQ(o.Text, u"ab\ncd");
  ASSERT_TRUE(o.TextFormatRef.has_value());
  std::vector<TFontStyles> styles;
  std::vector<TVXAlignment> aligns;
  for (int32_t r : *o.TextFormatRef) {
    styles.push_back(o.TextFormat.at(size_t(r)).style);
    aligns.push_back(o.TextFormat.at(size_t(r)).align);
  }
  const TFontStyles b = VXFontStyleBit(fsBold), i = VXFontStyleBit(fsItalic);
  EXPECT_EQ(styles, (std::vector<TFontStyles>{0, b, b, b, i}));
  EXPECT_EQ(aligns, (std::vector<TVXAlignment>{vxjLeft, vxjLeft, vxjLeft, vxjCenter, vxjCenter}));
  for (const TVXCharInfo& f : o.TextFormat) EXPECT_GT(f.refcount, 0);  // unreferenced ones dropped

  // Through the object stream into another layer.
  TVexlaneVect* w = Layer();
  ASSERT_TRUE(Load(w, Save(v)));
  const TVXVObject& o2 = *w->GetObjRecord(w->GetObjFromIndex(0));
  EXPECT_EQ(o2.Text, o.Text);
  ASSERT_TRUE(o2.TextFormatRef.has_value());
  EXPECT_EQ(std::vector<int32_t>(o2.TextFormatRef->begin(), o2.TextFormatRef->begin() + 5), *o.TextFormatRef);
  EXPECT_EQ(o2.TextFormat, o.TextFormat);
  EXPECT_EQ(w->GetMemoFormattedString(w->GetObjFromIndex(0)), u"ab\ncd");
}

TEST_F(TextEditTest, MemoIsDrawnByTheRichTextControl) {
  TVexlaneVect* v = Layer();
  const int32_t h = v->AddNewObject(vxkMEMO, TRect{0, 0, 99, 49}, clBlack, false);
  v->SetObjBrushColor(h, clWhite);
  v->SetObjBrushStyle(h, bsSolid);
  v->SetObjMemoBorderStyle(h, psClear);
  v->SetObjMemoCharsBrushStyle(h, bsClear);
  v->SetObjText(h, u"MMM MMM MMM MMM");
  // The layer's drawing and a control laying the same text out in the same
  // box give the same picture.
  TVXBitmap drawn;
  v->DrawOneObjectToBitmap(h, &drawn, false, false);
  ASSERT_GE(drawn.Width(), 100);
  ASSERT_GE(drawn.Height(), 50);
  TVXTextControl* t = Renderer(u"");
  t->DefaultFont()->SetHeight(-16);
  t->SetText(u"MMM MMM MMM MMM");
  t->Brush()->SetColor(clWhite);
  t->BorderPen()->SetStyle(psClear);
  t->SetWriteFormattedString(true);
  t->Init();
  TBitmap ref(drawn.Width(), drawn.Height());
  Render(t, 100, 50, 0, 0, &ref);
  int ink = 0, differ = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) {
      const TRGB p = drawn.Pixels(x, y);
      const TColor c = ref.Canvas()->Pixels(x, y);
      const TRGB q{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
      ink += p.r < 128;
      differ += p.r != q.r || p.g != q.g || p.b != q.b;
    }
  EXPECT_GT(ink, 50);
  EXPECT_EQ(differ, 0);
  // The text wraps in the 100-pixel box: the formatted string says where.
  EXPECT_EQ(v->GetMemoFormattedString(h), t->FormattedString());
  EXPECT_NE(t->FormattedString().find(u'\n'), std::u16string::npos);
  delete t;
}

class TKeyObject : public TVXExtendedObject {
 public:
  std::vector<uint16_t>* Keys = nullptr;
  void KeyDown(uint16_t CharCode, TShiftState) override { Keys->push_back(CharCode); }
};

TEST_F(TextEditTest, KeysReachASingleSelectedExtendedObject) {
  TVexlaneVect* v = Layer();
  std::vector<uint16_t> keys;
  const int32_t h = v->AddNewObject(vxkEXTENDED, TRect{10, 10, 50, 50}, clBlack, false);
  auto x = std::make_unique<TKeyObject>();
  x->Keys = &keys;
  v->GetObjRecord(h)->extendedObject.Ptr = std::move(x);
  const int32_t other = v->AddNewObject(vxkBOX, TRect{60, 10, 90, 50}, clBlack, false);
  Press('A');  // nothing selected
  v->AddSelObject(h);
  Press('B');
  v->AddSelObject(other);
  Press('C');  // two selected
  EXPECT_EQ(keys, (std::vector<uint16_t>{'B'}));
}

}  // namespace
