// The object store: handles, the template, lookups and their errors, the
// z-order, shared pictures, and the accessors' edge cases.
#include <string>

#include "core/rowops.h"
#include "vect_fixture.h"

namespace {

std::string ErrorOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const EVXException& e) {
    return e.what();
  }
  return "";
}

TEST_F(VectTest, HandlesFollowTheHeapAndOnlyTheLastSlotIsReused) {
  TVexlaneVect* v = NewVect();
  for (int i = 0; i < 512; ++i) ASSERT_EQ(v->AddNewObject(false), i);
  EXPECT_EQ(v->ObjectsCount(), 512);
  EXPECT_EQ(v->GetObjFromIndex(511), 511);
  // The last one removed: its slot comes back.
  v->RemoveObject(511);
  EXPECT_EQ(v->AddNewObject(false), 511);
  // Any other: a hole that stays one.
  v->RemoveObject(100);
  EXPECT_EQ(v->AddNewObject(false), 512);
  EXPECT_EQ(v->GetIndexFromObj(100), -1);
  EXPECT_EQ(ErrorOf([&] { v->GetObjKind(100); }), "Invalid object index");
  EXPECT_EQ(v->ObjectsCount(), 512);
}

TEST_F(VectTest, LookupErrors) {
  TVexlaneVect* v = NewVect();
  struct TCase {
    const char* When;
    int32_t Handle;
    const char* Error;
  };
  // A new layer: no heap yet, except for the template.
  for (const TCase& c : {TCase{"new layer", 0, "Invalid Object Heap"}, TCase{"new layer", -2, "Invalid Object Heap"},
                         TCase{"new layer", -1, ""}}) {
    SCOPED_TRACE(std::string(c.When) + " " + std::to_string(c.Handle));
    EXPECT_EQ(ErrorOf([&] { v->GetObjPenWidth(c.Handle); }), c.Error);
  }
  v->AddNewObject(false);
  v->AddNewObject(false);
  for (const TCase& c : {TCase{"two objects", 2, "Invalid object index"}, TCase{"two objects", -3, "Invalid object index"},
                         TCase{"two objects", -4, "Invalid object index"}, TCase{"two objects", -5, "Invalid object index"},
                         TCase{"two objects", 1, ""}, TCase{"two objects", -2, ""}}) {
    SCOPED_TRACE(std::string(c.When) + " " + std::to_string(c.Handle));
    EXPECT_EQ(ErrorOf([&] { v->SetObjPenWidth(c.Handle, 3); }), c.Error);
  }
  v->RemoveAllObjects();
  EXPECT_EQ(ErrorOf([&] { v->GetObjPenWidth(0); }), "Invalid Object Heap");
  // Removing the only object keeps the heap: -2 then names no object.
  v->AddNewObject(false);
  v->RemoveObject(0);
  EXPECT_EQ(ErrorOf([&] { v->GetObjPenWidth(-2); }), "Invalid object index");
}

TEST_F(VectTest, AddingCopiesTheTemplateAndResetsItOnlyWhenAsked) {
  TVexlaneVect* v = NewVect();
  v->SetObjPenWidth(-1, 7);
  v->SetObjBrushStyle(-1, bsSolid);
  v->SetObjID(-1, 42);  // not among the reset fields
  const int32_t kept = v->AddNewObject(false);
  EXPECT_EQ(v->GetObjPenWidth(kept), 7);
  EXPECT_EQ(v->GetObjPenWidth(-1), 7);
  const int32_t reset = v->AddNewObject(true);
  EXPECT_EQ(v->GetObjPenWidth(reset), 7);
  EXPECT_EQ(v->GetObjBrushStyle(reset), bsSolid);
  EXPECT_EQ(v->GetObjPenWidth(-1), 1);
  EXPECT_EQ(v->GetObjBrushStyle(-1), bsClear);
  EXPECT_EQ(v->GetObjID(-1), 42);
}

TEST_F(VectTest, CornersAreOrderedExceptForLineKinds) {
  TVexlaneVect* v = NewVect();
  struct TCase {
    TVXVObjectKind Kind;
    TRect Stored;
  };
  const TRect given{50, 50, 10, 10};
  for (const TCase& c : {TCase{vxkBOX, {10, 10, 50, 50}}, TCase{vxkELLIPSE, {10, 10, 50, 50}},
                         TCase{vxkLINE, given}, TCase{vxkRULER, given}, TCase{vxkLINELABEL, given},
                         TCase{vxkPOLYLINE, given}}) {
    SCOPED_TRACE(int(c.Kind));
    // The store orders corners when it adds the record, from the template.
    v->SetObjKind(-1, c.Kind);
    v->SetObjRect(-1, given, false);
    const int32_t h = v->AddNewObject(false);
    TRect r;
    v->GetObjRect(h, r);
    EXPECT_EQ(r, c.Stored);
  }
}

TEST_F(VectTest, LookupsByNameAndIdTakeTheUpperObject) {
  TVexlaneVect* v = NewVect();
  const int32_t a = v->AddNewObject(false), b = v->AddNewObject(false), c = v->AddNewObject(false);
  v->SetObjName(a, "twin");
  v->SetObjName(c, "twin");
  v->SetObjID(b, 9);
  EXPECT_EQ(v->GetObjFromName("twin"), c);
  EXPECT_EQ(v->GetObjFromName("Twin"), -1);
  EXPECT_EQ(v->GetObjFromID(9), b);
  v->SetObjBackTo(c, -1);  // c to the bottom: a is now the upper twin
  EXPECT_EQ(v->GetObjFromName("twin"), a);
}

TEST_F(VectTest, ZOrderMoves) {
  TVexlaneVect* v = NewVect();
  for (int i = 0; i < 4; ++i) v->AddNewObject(false);
  auto order = [&] {
    std::vector<int32_t> r;
    for (int i = 0; i < v->ObjectsCount(); ++i) r.push_back(v->GetObjFromIndex(i));
    return r;
  };
  struct TCase {
    bool Front;
    int32_t Handle, Ref;
    std::vector<int32_t> After;
  };
  for (const TCase& c : {TCase{true, 3, -2, {0, 1, 2, 3}},  // -2 at the top: unchanged
                         TCase{false, 0, -2, {0, 1, 2, 3}},  // -2 at the bottom: unchanged
                         TCase{true, 1, -2, {0, 2, 1, 3}},   // one step up
                         TCase{false, 1, -2, {0, 1, 2, 3}},  // and one step down again
                         TCase{true, 0, 2, {1, 2, 0, 3}},    // just above 2
                         TCase{false, 3, 1, {3, 1, 2, 0}},   // just below 1
                         TCase{true, 3, -1, {1, 2, 0, 3}}}) {  // other negatives: the top
    if (c.Front) v->SetObjFrontOf(c.Handle, c.Ref);
    else v->SetObjBackTo(c.Handle, c.Ref);
    EXPECT_EQ(order(), c.After) << (c.Front ? "front of " : "back to ") << c.Handle << " " << c.Ref;
  }
}

TEST_F(VectTest, IdenticalPicturesShareOneSlot) {
  TVexlaneVect* v = NewVect();
  auto pic = Picture(8, 6, 3, true);
  const int32_t a = v->AddNewObject(vxkBITMAP, TRect{0, 0, 10, 10}, 0, false);
  const int32_t b = v->AddNewObject(vxkBITMAP, TRect{0, 0, 10, 10}, 0, false);
  // Two objects given byte-identical pictures.
  v->SetObjBitmap(a, pic.get());
  v->SetObjBitmap(b, pic.get());
  const auto& slots = v->SharedBitmaps();
  auto slotOf = [&](int32_t h) {
    for (size_t i = 0; i < slots.size(); ++i)
      if (slots[i].fBitmap.get() == v->GetObjBitmap(h)) return int(i);
    return -1;
  };
  ASSERT_EQ(slotOf(a), slotOf(b));
  const int s = slotOf(a);
  EXPECT_EQ(slots[size_t(s)].fRefCount, 2);
  EXPECT_TRUE(VXBitmapsEqual(v->GetObjBitmap(a), pic.get()));
  v->RemoveObject(a);
  EXPECT_EQ(slots[size_t(s)].fRefCount, 1);
  v->RemoveObject(b);
  EXPECT_EQ(slots[size_t(s)].fBitmap, nullptr);
  // The free slot is the first the next new picture takes.
  const int32_t c = v->AddNewObject(vxkBITMAP, TRect{0, 0, 10, 10}, 0, false);
  auto other = Picture(5, 5, 9, false);
  v->SetObjBitmap(c, other.get());
  EXPECT_EQ(slotOf(c), s);
  // Without sharing, the same picture takes a slot of its own.
  v->SetShareBitmaps(false);
  const int32_t d = v->AddNewObject(vxkBITMAP, TRect{0, 0, 10, 10}, 0, false);
  v->SetObjBitmap(d, other.get());
  EXPECT_NE(slotOf(d), slotOf(c));
}

TEST_F(VectTest, RemovingAllKeepsOnlyTheTemplatePicture) {
  TVexlaneVect* v = NewVect();
  ASSERT_NE(v->GetObjBitmap(-1), nullptr);
  EXPECT_EQ(v->GetObjBitmap(-1)->Width(), 64);
  TVXBitmap icon;
  icon.Assign(v->GetObjBitmap(-1));
  for (int i = 0; i < 3; ++i) {
    const int32_t h = v->AddNewObject(vxkBITMAP, TRect{0, 0, 9, 9}, 0, false);
    auto p = Picture(4, 4, i, false);
    v->SetObjBitmap(h, p.get());
  }
  v->RemoveAllObjects();
  ASSERT_EQ(v->SharedBitmaps().size(), 1u);
  EXPECT_EQ(v->SharedBitmaps()[0].fRefCount, 1);
  EXPECT_TRUE(VXBitmapsEqual(v->GetObjBitmap(-1), &icon));
  EXPECT_EQ(v->ObjectsCount(), 0);
}

TEST_F(VectTest, TheTemplatePictureIsTheErrorIcon) {
  TVexlaneVect* v = NewVect();
  TVXBitmap* b = v->GetObjBitmap(-1);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->PixelFormat(), vx24RGB);
  // A red disc with a white cross over black corners.
  const TRGB corner = b->Pixels_vx24RGB(0, 0), centre = b->Pixels_vx24RGB(32, 32), ring = b->Pixels_vx24RGB(32, 6);
  EXPECT_EQ(corner, (TRGB{0, 0, 0}));
  EXPECT_GT(centre.r, 240);
  EXPECT_GT(centre.g, 240);
  EXPECT_GT(ring.r, 150);
  EXPECT_LT(ring.g, 60);
}

TEST_F(VectTest, AccessorExamples) {
  TVexlaneVect* v = NewVect();
  const int32_t h = v->AddNewObject(vxkTEXT, TRect{5, 0, 9, 9}, 0, false);
  v->SetObjWidth(h, 10);
  EXPECT_EQ(v->GetObjRecord(h)->x2, 14);
  EXPECT_EQ(v->GetObjWidth(h), 10);
  v->SetObjRect(h, TRect{20, 0, 5, 0}, false);
  EXPECT_EQ(v->GetObjWidth(h), 16);
  v->SetObjLeft(h, 30);
  EXPECT_EQ(v->GetObjRecord(h)->x2, 15);

  v->SetObjText(h, u"a\r\nb");
  EXPECT_EQ(v->GetObjText(h), u"a\nb");

  v->SetObjFontAngle(h, 12.37);
  EXPECT_EQ(v->GetObjLogFont(h)->lfEscapement, 123);
  EXPECT_DOUBLE_EQ(v->GetObjFontAngle(h), 12.3);

  v->SetObjFontName(h, std::string(40, 'x'));
  EXPECT_EQ(v->GetObjFontName(h), std::string(31, 'x'));

  v->SetObjFontStyles(h, TFontStyles((1u << fsBold) | (1u << fsUnderline)));
  EXPECT_EQ(v->GetObjLogFont(h)->lfWeight, 700);
  EXPECT_EQ(v->GetObjFontStyles(h), TFontStyles((1u << fsBold) | (1u << fsUnderline)));

  v->SetObjTextCurveCharRot(h, -4.56);
  EXPECT_EQ(v->GetObjRecord(h)->CurvedCharRot, -45);

  const int32_t p = v->AddNewObject(vxkPOLYLINE, TRect{}, 0, false);
  v->SetObjPolylinePoints(p, {{0, 0}, {0, 0}, {10, 5}});
  EXPECT_EQ(v->GetObjPolylinePointsCount(p), 2);
  const TVXVObject* r = v->GetObjRecord(p);
  EXPECT_EQ((TRect{r->x1, r->y1, r->x2, r->y2}), (TRect{0, 0, 10, 5}));
  EXPECT_EQ((TRect{r->PolyBaseX1, r->PolyBaseY1, r->PolyBaseX2, r->PolyBaseY2}), (TRect{0, 0, 10, 5}));
  v->SetObjRect(p, TRect{0, 0, 20, 10}, false);
  EXPECT_EQ(v->GetObjPolylinePoints(p, 1), (TPoint{20, 10}));
  EXPECT_EQ(v->GetObjPolylinePoints(p, 2), (TPoint{-1, -1}));

  // Without a font the font accessors do nothing.
  const int32_t box = v->AddNewObject(vxkBOX, TRect{0, 0, 5, 5}, 0, false);
  v->SetObjFontHeight(box, 30);
  EXPECT_EQ(v->GetObjFontHeight(box), 0);
  EXPECT_EQ(v->GetObjFontName(box), "");
}

TEST_F(VectTest, KindsThatTakeAFontAndATextGetThemFromTheTemplate) {
  TVexlaneVect* v = NewVect();
  ASSERT_NE(v->GetObjLogFont(-1), nullptr);
  EXPECT_EQ(v->GetObjFontName(-1), "Arial");
  struct TCase {
    TVXVObjectKind Kind;
    bool Font, Text;
  };
  for (const TCase& c : {TCase{vxkTEXT, true, true}, TCase{vxkLINELABEL, true, true}, TCase{vxkRULER, true, false},
                         TCase{vxkANGLE, true, false}, TCase{vxkMEMO, true, false}, TCase{vxkBOX, false, false}}) {
    SCOPED_TRACE(int(c.Kind));
    const int32_t h = v->AddNewObject(vxkNONE, TRect{}, 0, false);
    v->GetObjRecord(h)->LogFont.reset();
    v->SetObjKind(h, c.Kind);
    EXPECT_EQ(v->GetObjLogFont(h) != nullptr, c.Font);
    EXPECT_EQ(v->GetObjRecord(h)->Text.has_value(), c.Text);
  }
}

TEST_F(VectTest, SelectionList) {
  TVexlaneVect* v = NewVect();
  int events = 0;
  v->OnSelectObject = [&](void*) { ++events; };
  const int32_t a = v->AddNewObject(vxkBOX, TRect{0, 0, 10, 10}, 0, false);
  const int32_t b = v->AddNewObject(vxkBOX, TRect{-10, 0, 20, 20}, 0, false);
  const int32_t c = v->AddNewObject(vxkLINE, TRect{30, 30, 20, 20}, 0, false);
  v->SetObjStyle(c, TVXVStyle(VXVDefaultStyle & ~VXVStyleOf(vxvsSelectable)));
  v->AddSelObject(c);  // not selectable
  EXPECT_EQ(v->SelObjectsCount(), 0);
  v->AddSelObject(b);
  v->AddSelObject(a);
  v->AddSelObject(a);
  EXPECT_EQ(events, 2);
  EXPECT_EQ(v->GetSelObjects(0), b);
  EXPECT_EQ(v->GetSelObjects(1), a);
  EXPECT_EQ(v->GetSelObjects(2), -1);
  v->UnSelObject(c);  // not selected: no event
  EXPECT_EQ(events, 2);
  v->SelAllObjects();  // b lies partly at negative x; c is not selectable
  EXPECT_EQ(v->SelObjectsCount(), 1);
  EXPECT_TRUE(v->IsSelObject(a));
  v->UnSelAllObjects();
  v->SelectObjectsInRect(-3, 0, 0, 40, 40);
  EXPECT_EQ(v->SelObjectsCount(), 1);
  // Removing the selection with -9.
  v->SetObjStyle(c, VXVDefaultStyle);
  v->SelectObjectsInRect(-3, 0, 0, 40, 40);  // the line's corners are ordered for the test
  EXPECT_TRUE(v->IsSelObject(c));
  v->RemoveObject(-9);
  EXPECT_EQ(v->ObjectsCount(), 1);
  EXPECT_EQ(v->GetObjFromIndex(0), b);
  EXPECT_EQ(v->SelObjectsCount(), 0);
}

TEST_F(VectTest, AnglePointsAndExtents) {
  TVexlaneVect* v = NewVect();
  const int32_t h = v->AddNewObject(vxkANGLE, TRect{}, 0, false);
  EXPECT_EQ(v->GetObjAnglePoints(h, 2), (TPoint{50, 50}));
  v->SetObjAnglePoints(h, {{10, 40}, {30, 30}, {45, 10}});
  EXPECT_EQ(v->GetObjAnglePoints(h, 1), (TPoint{30, 30}));
  const TVXVObject* r = v->GetObjRecord(h);
  // Half sizes from the middle point to the larger x and y of the others.
  EXPECT_EQ((TRect{r->x1, r->y1, r->x2, r->y2}), (TRect{15, 20, 45, 40}));
  EXPECT_EQ(ErrorOf([&] { v->SetObjAnglePoints(h, {{0, 0}, {1, 1}}); }), "Invalid Points array size");
  EXPECT_EQ(ErrorOf([&] { v->GetObjAnglePoints(h, 3); }), "Invalid object index");
  v->AddNewObject(vxkLINE, TRect{70, 5, 2, 90}, 0, false);
  EXPECT_EQ(v->ObjectsExtents(), (TRect{0, 0, 71, 91}));
}

TEST_F(VectTest, MeasuringCoefficients) {
  TVexlaneVect* v = NewVect();
  v->SetDPI(100, 200);
  struct TCase {
    TVXUnits Unit;
    double PerInch;
  };
  for (const TCase& c : {TCase{vxuINCHES, 1}, TCase{vxuCENTIMETERS, 2.54}, TCase{vxuMILLIMETERS, 25.4},
                         TCase{vxuFEET, 1.0 / 12}, TCase{vxuMILES, 1.0 / 63360}}) {
    v->SetMUnit(c.Unit);
    EXPECT_DOUBLE_EQ(v->MeasureCoefX(), c.PerInch / 100);
    EXPECT_DOUBLE_EQ(v->MeasureCoefY(), c.PerInch / 200);
    EXPECT_EQ(v->GetObjRulerUnit(-1), c.Unit);
  }
  v->SetScaleFactor(4);
  EXPECT_DOUBLE_EQ(v->MeasureCoefX(), 4 / 63360.0 / 100);
  v->SetMUnit(vxuPIXELS);
  EXPECT_DOUBLE_EQ(v->MeasureCoefX(), 4);
}

}  // namespace
