// Modal forms, the standard controls and the forms driver: a dialog built
// from a table of controls run modally by a queued handler, the events the
// controls fire for the program's changes and for a person's actions, what
// the controls paint, and the scripted system dialogs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "../winui/pinned_fonts.h"
#include "gui/buttons.h"
#include "gui/classes.h"
#include "gui/comctrls.h"
#include "gui/dialogs.h"
#include "gui/extctrls.h"
#include "gui/formdriver.h"
#include "gui/forms.h"
#include "gui/imglist.h"
#include "gui/menus.h"
#include "gui/stdctrls.h"
#include "winui/gdi_print.h"
#include "winui/headless.h"
#include "winui/win_colordlg.h"
#include "winui/win_input.h"
#include "winui/win_msgbox.h"
#include "winui/win_window.h"

namespace {

namespace D = VXFormDriver;

class Forms : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(0);
    D::Reset();
  }
  void TearDown() override {
    D::Reset();
    VXHeadless::Reset();
  }
};

// A window's pixels with its visible child windows drawn in, 0x00RRGGBB.
struct Picture {
  int W = 0, H = 0;
  std::vector<uint32_t> Px;
  uint32_t At(int X, int Y) const { return Px[size_t(Y) * size_t(W) + size_t(X)]; }
};

Picture Compose(HWND Wnd) {
  Picture p;
  p.Px = VXHeadless::Surface(Wnd, p.W, p.H);
  std::vector<HWND> children;
  for (HWND c = GetWindow(Wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (!IsWindowVisible(*it)) continue;
    RECT r;
    GetWindowRect(*it, &r);
    POINT o{r.left, r.top};
    ScreenToClient(Wnd, &o);
    const Picture c = Compose(*it);
    for (int y = 0; y < c.H; ++y)
      for (int x = 0; x < c.W; ++x)
        if (o.x + x >= 0 && o.y + y >= 0 && o.x + x < p.W && o.y + y < p.H)
          p.Px[size_t(o.y + y) * size_t(p.W) + size_t(o.x + x)] = c.At(x, y);
  }
  return p;
}

// Writes the picture as a PPM file into $VX_FORMS_SHOT_DIR (for a person
// to look at); nothing without the variable.
void Shoot(const Picture& P, const std::string& Name) {
  const char* dir = std::getenv("VX_FORMS_SHOT_DIR");
  if (!dir) return;
  FILE* f = std::fopen((std::string(dir) + "/" + Name + ".ppm").c_str(), "wb");
  if (!f) return;
  std::fprintf(f, "P6\n%d %d\n255\n", P.W, P.H);
  for (uint32_t v : P.Px) {
    const unsigned char rgb[3] = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    std::fwrite(rgb, 1, 3, f);
  }
  std::fclose(f);
}

uint32_t RGBOf(TColor C) {
  const COLORREF c = VXColorToRGB(C);
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

// A dialog built as the save-parameters preview is: a table of controls,
// the OK and Cancel buttons, the lock box, a quality edit tied to an
// up-down and a track bar, and the 750 ms apply timer; change handlers are
// guarded by fDoChange and write down what reaches them.
class TPreviewForm : public TForm {
 public:
  TLabel* lblSource;
  TLabel* lblPreview;
  TBitBtn* btnOK;
  TBitBtn* btnCancel;
  TBitBtn* btnPreview;
  TBitBtn* btnApply;
  TPageControl* PageControl1;
  TTabSheet* tabJPEG;
  TTabSheet* tabTIFF;
  TCheckBox* chkLockPreview;
  TEdit* edtQuality;
  TUpDown* updQuality;
  TTrackBar* trkQuality;
  TProgressBar* pbrPreview;
  TTimer* tmrApplyAct;

  bool fDoChange = false;
  int Quality = 75;
  int Activations = 0;
  std::vector<std::string> Log;

  explicit TPreviewForm(TComponent* Owner = nullptr) : TForm(Owner) {
    SetName("fIOPreviews");
    SetCaption("Parameters Preview");
    SetBorderStyle(bsDialog);
    SetBorderIcons(VXBorderIconBit(biSystemMenu));
    SetPosition(poScreenCenter);
    SetClientSize(540, 433);
    PageControl1 = Add<TPageControl>("PageControl1", this, 10, 180, 423, 217);
    tabJPEG = new TTabSheet(this);
    tabJPEG->SetName("tabJPEG");
    tabJPEG->SetCaption("JPEG");
    tabJPEG->SetPageControl(PageControl1);
    tabTIFF = new TTabSheet(this);
    tabTIFF->SetName("tabTIFF");
    tabTIFF->SetCaption("TIFF");
    tabTIFF->SetPageControl(PageControl1);
    edtQuality = Add<TEdit>("edtQuality", tabJPEG, 80, 20, 41, 21);
    updQuality = Add<TUpDown>("updQuality", tabJPEG, 121, 20, 16, 21);
    updQuality->SetMin(1);
    updQuality->SetMax(100);
    updQuality->SetAssociate(edtQuality);
    trkQuality = Add<TTrackBar>("trkQuality", tabJPEG, 150, 14, 150, 33);
    trkQuality->SetMin(1);
    trkQuality->SetMax(100);
    trkQuality->SetFrequency(10);
    lblSource = Add<TLabel>("lblSource", this, 10, 7, 0, 0);
    lblSource->SetCaption("Source:");
    lblSource->SetTransparent(true);
    lblPreview = Add<TLabel>("lblPreview", this, 227, 7, 0, 0);
    lblPreview->SetCaption("Result:");
    btnOK = Add<TBitBtn>("btnOK", this, 442, 23, 87, 25);
    btnOK->SetCaption("OK");
    btnOK->SetDefault(true);
    btnOK->SetModalResult(mrOk);
    btnCancel = Add<TBitBtn>("btnCancel", this, 442, 54, 87, 25);
    btnCancel->SetCaption("Cancel");
    btnCancel->SetCancel(true);
    btnCancel->SetModalResult(mrCancel);
    btnPreview = Add<TBitBtn>("btnPreview", this, 442, 108, 87, 25);
    btnPreview->SetCaption("Preview");
    btnApply = Add<TBitBtn>("btnApply", this, 442, 138, 87, 25);
    btnApply->SetCaption("Apply");
    btnApply->SetEnabled(false);
    chkLockPreview = Add<TCheckBox>("chkLockPreview", this, 10, 405, 251, 17);
    chkLockPreview->SetCaption("Lock Preview");
    pbrPreview = Add<TProgressBar>("pbrPreview", this, 10, 167, 423, 10);
    pbrPreview->SetPosition(40);
    tmrApplyAct = new TTimer(this);
    tmrApplyAct->SetName("tmrApplyAct");
    tmrApplyAct->SetEnabled(false);
    tmrApplyAct->SetInterval(750);

    OnActivate = [this](void*) {
      ++Activations;
      Log.push_back("activate");
      fDoChange = false;
      updQuality->SetPosition(Quality);
      trkQuality->SetPosition(Quality);
      chkLockPreview->SetChecked(true);
      fDoChange = true;
    };
    OnCloseQuery = [this](void*, bool&) { Log.push_back("query"); };
    OnClose = [this](void*, TCloseAction&) { Log.push_back("close"); };
    edtQuality->OnChange = [this](void*) {
      Log.push_back("edit " + edtQuality->Text());
      if (!fDoChange) return;
      fDoChange = false;
      trkQuality->SetPosition(std::atoi(edtQuality->Text().c_str()));
      fDoChange = true;
      Restart();
    };
    trkQuality->OnChange = [this](void*) {
      Log.push_back("track " + std::to_string(trkQuality->Position()));
      if (!fDoChange) return;
      fDoChange = false;
      updQuality->SetPosition(trkQuality->Position());
      fDoChange = true;
      Restart();
    };
    updQuality->OnClick = [this](void*, TUDBtnType B) { Log.push_back(B == btNext ? "step next" : "step prev"); };
    chkLockPreview->OnClick = [this](void*) { Log.push_back(std::string("lock ") + (chkLockPreview->Checked() ? "1" : "0")); };
    tmrApplyAct->OnTimer = [this](void*) {
      tmrApplyAct->SetEnabled(false);
      Log.push_back("preview");
    };
  }

 private:
  template <class T>
  T* Add(const char* Name, TWinControl* Parent, int L, int T0, int W, int H) {
    T* c = new T(this);
    c->SetName(Name);
    if (W || H) c->SetBounds(L, T0, W, H);
    else c->SetBounds(L, T0, c->Width(), c->Height());
    c->SetParent(Parent);
    return c;
  }
  void Restart() {
    if (!chkLockPreview->Checked()) return;
    tmrApplyAct->SetEnabled(false);
    tmrApplyAct->SetEnabled(true);
  }
};

// The dialog's handler types into the edit, steps the up-down, drags the
// slider, waits out the restarted timer and presses OK: the caller sees
// OK, the values, and exactly the events the controls' rules give.
TEST_F(Forms, ModalDialogRunByItsHandler) {
  TPreviewForm f;
  std::vector<std::string> seenAt749;
  D::OnModal([&](TCustomForm* Form) {
    ASSERT_EQ(Form, &f);
    EXPECT_TRUE(f.Showing());
    D::Type(f.edtQuality, "42");
    D::Step(f.updQuality, 2);
    D::Slide(f.trkQuality, 50);
    D::Advance(749);
    seenAt749 = f.Log;
    D::Advance(1);
    D::Click(f.btnOK);
    EXPECT_FALSE(f.Visible());
  });
  EXPECT_EQ(f.ShowModal(), mrOk);
  EXPECT_EQ(f.edtQuality->Text(), "50");
  EXPECT_EQ(f.trkQuality->Position(), 50);
  EXPECT_EQ(f.updQuality->Position(), 50);
  const std::vector<std::string> want = {
      "activate", "edit 75",   "track 75",  "lock 1",    "edit 4",    "track 4", "edit 42", "track 42",
      "edit 43",  "track 43",  "step next", "edit 44",   "track 44",  "step next", "track 50", "edit 50",
      "preview",  "query",     "close"};
  EXPECT_EQ(f.Log, want);
  EXPECT_EQ(std::count(seenAt749.begin(), seenAt749.end(), "preview"), 0);
  EXPECT_FALSE(f.Visible());
  EXPECT_FALSE(f.Modal());
  EXPECT_EQ(D::PendingModalHandlers(), 0);
}

// Enter presses the default button (from an edit, whose own key it is
// not); Escape the cancel button; the close box and Cancel give 2.
TEST_F(Forms, EnterEscapeAndTheCloseBox) {
  struct Case {
    const char* Name;
    std::function<void(TPreviewForm*)> Act;
    TModalResult Want;
  } cases[] = {
      {"enter", [](TPreviewForm* d) { D::Key(d->edtQuality, VK_RETURN); }, mrOk},
      {"enter at the cancel button", [](TPreviewForm* d) { D::Key(d->btnCancel, VK_RETURN); }, mrCancel},
      {"escape", [](TPreviewForm* d) { D::Key(d->edtQuality, VK_ESCAPE); }, mrCancel},
      {"close box", [](TPreviewForm* d) { D::CloseBox(d); }, mrCancel},
      {"cancel button", [](TPreviewForm* d) { D::Click(d->btnCancel); }, mrCancel},
      {"space on OK", [](TPreviewForm* d) { D::Key(d->btnOK, VK_SPACE); }, mrOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TPreviewForm f;
    D::OnModal([&](TCustomForm*) { c.Act(&f); });
    EXPECT_EQ(f.ShowModal(), c.Want);
    EXPECT_EQ(f.Log.back(), "close");
  }
}

// OnCloseQuery can refuse and OnClose can keep the form (caNone); the form
// then stays open until a later result closes it.
TEST_F(Forms, CloseQueryAndCloseActionKeepAModalFormOpen) {
  TPreviewForm f;
  int refuse = 1;
  f.OnCloseQuery = [&](void*, bool& CanClose) { CanClose = refuse-- <= 0; };
  int keep = 1;
  f.OnClose = [&](void*, TCloseAction& A) {
    if (keep-- > 0) A = caNone;
  };
  D::OnModal([&](TCustomForm*) {
    D::Click(f.btnOK);
    EXPECT_TRUE(f.Visible());
    EXPECT_EQ(f.ModalResult(), mrNone);
    D::Click(f.btnOK);
    EXPECT_TRUE(f.Visible());
    D::Click(f.btnCancel);
    EXPECT_FALSE(f.Visible());
  });
  EXPECT_EQ(f.ShowModal(), mrCancel);
}

// A button of the dialog opens a second modal form that the next handler
// answers: meanwhile the first is disabled; afterwards it is enabled and
// active again and its OnActivate has run twice.
TEST_F(Forms, NestedModalFormsAndReactivation) {
  TPreviewForm outer;
  TForm inner(nullptr);
  inner.SetName("fPalette");
  auto* ok = new TButton(&inner);
  ok->SetParent(&inner);
  ok->SetModalResult(mrOk);
  TModalResult innerResult = -1;
  bool outerEnabledMeanwhile = true;
  outer.btnPreview->OnClick = [&](void*) { innerResult = inner.ShowModal(); };
  D::OnModal([&](TCustomForm*) {
    D::Click(outer.btnPreview);
    EXPECT_TRUE(IsWindowEnabled(outer.Handle()));
    EXPECT_EQ(GetActiveWindow(), outer.Handle());
    D::Click(outer.btnOK);
  });
  D::OnModal([&](TCustomForm* F) {
    EXPECT_EQ(F, &inner);
    outerEnabledMeanwhile = IsWindowEnabled(outer.Handle());
    // The disabled form takes no clicks.
    D::Click(outer.btnCancel);
    EXPECT_TRUE(outer.ModalRunning());
    D::Click(ok);
  });
  EXPECT_EQ(outer.ShowModal(), mrOk);
  EXPECT_EQ(innerResult, mrOk);
  EXPECT_FALSE(outerEnabledMeanwhile);
  EXPECT_EQ(outer.Activations, 2);
}

TEST_F(Forms, AModalFormLeftOpenOrWithoutAHandlerRaisesNamingIt) {
  TPreviewForm f;
  D::OnModal([](TCustomForm*) {});
  try {
    f.ShowModal();
    FAIL() << "no exception";
  } catch (const EInvalidOperation& e) {
    EXPECT_NE(std::string(e.what()).find("fIOPreviews"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("left open"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(f.Visible());
  EXPECT_FALSE(f.Modal());
  try {
    f.ShowModal();
    FAIL() << "no exception";
  } catch (const EInvalidOperation& e) {
    EXPECT_NE(std::string(e.what()).find("fIOPreviews"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("no handler"), std::string::npos) << e.what();
  }
  // A visible form cannot be made modal.
  f.Show();
  EXPECT_THROW(f.ShowModal(), EInvalidOperation);
}

// A handler's own failure leaves ShowModal with the form hidden and the
// other forms enabled again.
TEST_F(Forms, AHandlersExceptionLeavesThroughShowModal) {
  TForm other(nullptr);
  other.Show();
  TPreviewForm f;
  D::OnModal([](TCustomForm*) { throw std::runtime_error("handler failed"); });
  EXPECT_THROW(f.ShowModal(), std::runtime_error);
  EXPECT_FALSE(f.Visible());
  EXPECT_TRUE(IsWindowEnabled(other.Handle()));
}

// Labels draw their caption with TextOut at the top-left on the parent's
// colour; a disabled button's caption is clGrayText.
TEST_F(Forms, WhatTheControlsPaint) {
  TPreviewForm f;
  auto* panel = new TPanel(&f);
  panel->SetBounds(230, 300, 120, 40);
  panel->SetColor(clWhite);
  panel->SetBevelOuter(bvNone);
  panel->SetParent(&f);
  auto* onPanel = new TLabel(&f);
  onPanel->SetCaption("Quality:");
  onPanel->SetBounds(5, 5, 0, 0);
  onPanel->SetParent(panel);
  f.btnPreview->SetEnabled(false);
  f.Show();
  D::Settle();
  const Picture p = Compose(f.Handle());
  Shoot(p, "preview-form");
  for (TLabel* l : {f.lblPreview, onPanel}) {
    SCOPED_TRACE(l->Caption());
    TBitmap want(l->Width(), l->Height(), pf32bit);
    ASSERT_GT(l->Width(), 10);
    want.Canvas()->Brush()->SetColor(l->Parent()->Color());
    want.Canvas()->FillRect(TRect{0, 0, l->Width(), l->Height()});
    want.Canvas()->Font()->Assign(l->Font());
    want.Canvas()->Brush()->SetStyle(bsClear);
    want.Canvas()->TextOut(0, 0, l->Caption());
    const TPoint o = l->Parent() == &f ? TPoint{l->Left(), l->Top()} : TPoint{panel->Left() + l->Left(), panel->Top() + l->Top()};
    int differ = 0, ink = 0;
    for (int y = 0; y < l->Height(); ++y)
      for (int x = 0; x < l->Width(); ++x) {
        const uint32_t w = RGBOf(want.Canvas()->Pixels(x, y));
        differ += p.At(o.X + x, o.Y + y) != w;
        ink += w != RGBOf(l->Parent()->Color());
      }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(ink, 20);
  }
  // The darkest pixel of a caption: black text, or clGrayText when disabled.
  auto darkest = [&](TControl* b) {
    uint32_t best = 0xFFFFFF;
    int bestSum = 3 * 255;
    for (int y = b->Top() + 4; y < b->Top() + b->Height() - 4; ++y)
      for (int x = b->Left() + 4; x < b->Left() + b->Width() - 4; ++x) {
        const uint32_t v = p.At(x, y);
        const int sum = int(v >> 16 & 0xFF) + int(v >> 8 & 0xFF) + int(v & 0xFF);
        if (sum < bestSum) bestSum = sum, best = v;
      }
    return best;
  };
  EXPECT_EQ(darkest(f.btnPreview), RGBOf(clGrayText));
  EXPECT_EQ(darkest(f.btnCancel), RGBOf(clBtnText));
}

TEST_F(Forms, AFormBuiltAt96ppiIsScaledForTheScreenWhenFirstShown) {
  VXHeadless::SetPixelsPerInch(144);
  TPreviewForm f;
  const int fontHeight = f.Font()->Height();
  D::OnModal([&](TCustomForm*) {
    EXPECT_EQ(f.ClientWidth(), 810);
    EXPECT_EQ(f.ClientHeight(), 650);
    EXPECT_EQ(f.btnOK->BoundsRect().Left, 663);
    EXPECT_EQ(f.btnOK->BoundsRect().Top, 35);
    EXPECT_EQ(f.btnOK->Width(), 131);
    EXPECT_EQ(f.btnOK->Height(), 38);
    EXPECT_EQ(f.btnOK->Font()->Height(), MulDiv(fontHeight, 3, 2));
    EXPECT_EQ(f.PixelsPerInch(), 144);
    D::Click(f.btnOK);
  });
  EXPECT_EQ(f.ShowModal(), mrOk);
  // Shown again, it is not scaled twice.
  D::OnModal([&](TCustomForm*) { D::Click(f.btnCancel); });
  EXPECT_EQ(f.ShowModal(), mrCancel);
  EXPECT_EQ(f.ClientWidth(), 810);
  const Picture p = Compose(f.Handle());
  EXPECT_EQ(p.W, 810);
}

// What a program's changes fire: an edit's OnChange when its text
// changes, a check box's OnClick, a track bar's OnChange after clamping;
// an up-down rewrites its associate without OnClick; item indexes, active
// pages and Down fire nothing.
TEST_F(Forms, ProgrammaticChangesFireAsTheDialogsExpect) {
  TForm f(nullptr);
  std::vector<std::string> log;
  auto* edit = new TEdit(&f);
  edit->SetParent(&f);
  edit->OnChange = [&](void*) { log.push_back("edit " + edit->Text()); };
  auto* ud = new TUpDown(&f);
  ud->SetParent(&f);
  ud->SetMax(20000);
  ud->OnClick = [&](void*, TUDBtnType) { log.push_back("ud click"); };
  auto* chk = new TCheckBox(&f);
  chk->SetParent(&f);
  chk->OnClick = [&](void*) { log.push_back(std::string("chk ") + (chk->Checked() ? "1" : "0")); };
  auto* trk = new TTrackBar(&f);
  trk->SetParent(&f);
  trk->SetMax(10);
  trk->OnChange = [&](void*) { log.push_back("trk " + std::to_string(trk->Position())); };
  auto* combo = new TComboBox(&f);
  combo->SetParent(&f);
  combo->Items()->SetText("a\nb\nc\n");
  combo->OnChange = [&](void*) { log.push_back("combo change"); };
  combo->OnClick = [&](void*) { log.push_back("combo click"); };
  auto* list = new TListBox(&f);
  list->SetParent(&f);
  list->Items()->Add("x");
  list->OnClick = [&](void*) { log.push_back("list click"); };
  auto* pc = new TPageControl(&f);
  pc->SetParent(&f);
  auto* p1 = new TTabSheet(&f);
  p1->SetPageControl(pc);
  auto* p2 = new TTabSheet(&f);
  p2->SetPageControl(pc);
  pc->OnChange = [&](void*) { log.push_back("page change"); };
  pc->OnChanging = [&](void*, bool&) { log.push_back("page changing"); };
  auto* sb = new TSpeedButton(&f);
  sb->SetParent(&f);
  sb->SetGroupIndex(1);
  sb->OnClick = [&](void*) { log.push_back("speed click"); };

  edit->SetText("7");
  edit->SetText("7");
  ud->SetAssociate(edit);
  ud->SetPosition(12345);
  ud->SetPosition(-5);
  chk->SetChecked(true);
  chk->SetChecked(true);
  chk->SetChecked(false);
  trk->SetPosition(30);
  trk->SetPosition(12);
  trk->SetPosition(-1);
  combo->SetItemIndex(1);
  list->SetItemIndex(0);
  pc->SetActivePage(p2);
  sb->SetDown(true);
  const std::vector<std::string> want = {"edit 7",  "edit 0",  "edit 12,345", "edit 0", "chk 1",
                                         "chk 0",   "trk 10", "trk 0"};
  EXPECT_EQ(log, want);
  EXPECT_EQ(combo->Text(), "b");
  EXPECT_EQ(pc->ActivePage(), p2);
  EXPECT_FALSE(p1->Visible());
  EXPECT_TRUE(sb->Down());
  EXPECT_EQ(ud->Position(), 0);
  // A text the up-down can read becomes its position (clamped).
  edit->SetText("20,500");
  EXPECT_EQ(ud->Position(), 20000);
}

// What a person's actions fire: a drop-down choice OnClick then OnChange,
// also for the entry already chosen; a tab click OnChanging (which may
// refuse), then OnChange; an up-down arrow OnClick also at a limit, or a
// wrap; list and check-list clicks.
TEST_F(Forms, PersonsActionsFireAsTheDialogsExpect) {
  TForm f(nullptr);
  f.SetBounds(100, 100, 400, 300);
  std::vector<std::string> log;
  auto* combo = new TComboBox(&f);
  combo->SetName("cmbFormat");
  combo->SetBounds(10, 10, 120, 21);
  combo->SetParent(&f);
  combo->SetStyle(csDropDownList);
  for (int i = 0; i < 12; ++i) combo->Items()->Add("item " + std::to_string(i));
  combo->OnClick = [&](void*) { log.push_back("click " + std::to_string(combo->ItemIndex())); };
  combo->OnChange = [&](void*) { log.push_back("change " + std::to_string(combo->ItemIndex())); };
  auto* edit = new TEdit(&f);
  edit->SetBounds(10, 40, 50, 21);
  edit->SetParent(&f);
  auto* ud = new TUpDown(&f);
  ud->SetParent(&f);
  ud->SetMin(0);
  ud->SetMax(10);
  ud->SetIncrement(3);
  ud->SetAssociate(edit);
  ud->OnClick = [&](void*, TUDBtnType B) { log.push_back(std::string(B == btNext ? "up " : "down ") + edit->Text()); };
  auto* pc = new TPageControl(&f);
  pc->SetBounds(150, 10, 200, 150);
  pc->SetParent(&f);
  TTabSheet* pages[3];
  for (int i = 0; i < 3; ++i) {
    pages[i] = new TTabSheet(&f);
    pages[i]->SetCaption("Page " + std::to_string(i));
    pages[i]->SetPageControl(pc);
  }
  bool allow = true;
  pc->OnChanging = [&](void*, bool& Allow) {
    log.push_back("changing " + std::to_string(pc->ActivePageIndex()));
    Allow = allow;
  };
  pc->OnChange = [&](void*) { log.push_back("changed " + std::to_string(pc->ActivePageIndex())); };
  auto* clb = new TCheckListBox(&f);
  clb->SetBounds(10, 170, 120, 60);
  clb->SetParent(&f);
  for (const char* s : {"red", "green", "blue", "alpha", "grey"}) clb->Items()->Add(s);
  clb->OnClick = [&](void*) { log.push_back("list " + std::to_string(clb->ItemIndex())); };
  clb->OnClickCheck = [&](void*) { log.push_back("check " + std::to_string(clb->ItemIndex())); };
  f.Show();
  D::Settle();

  D::Select(combo, 10);
  D::Select(combo, 10);
  D::Select(combo, 0);
  EXPECT_FALSE(combo->DroppedDown());
  edit->SetText("9");
  D::Step(ud, 1);
  D::Step(ud, 1);
  ud->SetWrap(true);
  D::Step(ud, 1);
  D::Step(ud, -1);
  edit->SetText("junk");
  D::Step(ud, -1);
  D::TabTo(pc, pages[2]);
  allow = false;
  D::TabTo(pc, pages[0]);
  D::TabTo(pc, pages[2]);
  D::CheckItem(clb, 4, true);
  D::CheckItem(clb, 4, true);
  D::Select(clb, 1);
  const std::vector<std::string> want = {
      "click 10", "change 10", "click 10", "change 10", "click 0",  "change 0", "up 10",   "up 10",
      "up 0",     "down 10",   "down 7",   "changing 0", "changed 2", "changing 2", "list 4", "check 4",
      "list 1"};
  EXPECT_EQ(log, want);
  EXPECT_EQ(pc->ActivePage(), pages[2]);
  Shoot(Compose(f.Handle()), "controls");
  EXPECT_TRUE(clb->Checked(4));
  EXPECT_FALSE(clb->Checked(1));
  pages[1]->SetTabVisible(false);
  EXPECT_THROW(D::TabTo(pc, pages[1]), EInvalidOperation);
  EXPECT_THROW(D::Select(combo, 12), EInvalidOperation);
}

TEST_F(Forms, SpeedButtonGroupsAndChecks) {
  TForm f(nullptr);
  std::vector<std::string> log;
  TSpeedButton* b[3];
  for (int i = 0; i < 3; ++i) {
    b[i] = new TSpeedButton(&f);
    b[i]->SetBounds(10 + 30 * i, 10, 23, 22);
    b[i]->SetGroupIndex(i < 2 ? 1 : 0);
    b[i]->SetParent(&f);
    b[i]->OnClick = [&, i](void*) { log.push_back(std::to_string(i) + (b[i]->Down() ? " down" : " up")); };
  }
  f.Show();
  D::Click(b[0]);
  D::Click(b[1]);
  D::Click(b[1]);
  b[0]->SetAllowAllUp(true);
  D::Click(b[1]);
  D::Click(b[2]);
  auto* group = new TGroupBox(&f);
  group->SetCaption("Placement");
  group->SetBounds(10, 50, 150, 80);
  group->SetParent(&f);
  auto* lb = new TListBox(&f);
  lb->SetBounds(8, 18, 100, 50);
  lb->Items()->SetText("one\ntwo\nthree\nfour\n");
  lb->SetItemIndex(1);
  lb->SetParent(group);
  auto* combo = new TComboBox(&f);
  combo->SetBounds(170, 50, 100, 21);
  combo->Items()->SetText("Cubic\nLinear\n");
  combo->SetItemIndex(0);
  combo->SetParent(&f);
  auto* off = new TCheckBox(&f);
  off->SetBounds(170, 80, 100, 17);
  off->SetCaption("Disabled");
  off->SetChecked(true);
  off->SetEnabled(false);
  off->SetParent(&f);
  D::Settle();
  Shoot(Compose(f.Handle()), "speed-buttons");
  const std::vector<std::string> want = {"0 down", "1 down", "1 down", "1 up", "2 up"};
  EXPECT_EQ(log, want);
  EXPECT_FALSE(b[0]->Down());
}

TEST_F(Forms, StringListsSortWithoutCaseUnlessAsked) {
  TStringList l;
  for (const char* s : {"b", "A", "c"}) l.Add(s);
  l.SetSorted(true);
  EXPECT_EQ(l.Text(), "A\nb\nc\n");
  EXPECT_EQ(l.IndexOf("B"), 1);
  l.Add("a");
  EXPECT_EQ(l.Count(), 3);  // a duplicate (without case) is ignored by default
  l.SetDuplicates(dupAccept);
  l.Add("a");
  EXPECT_EQ(l.Text(), "A\na\nb\nc\n");
  // Case-sensitive, small letters sort before capitals.
  l.SetCaseSensitive(true);
  EXPECT_EQ(l.Text(), "a\nA\nb\nc\n");
  EXPECT_EQ(l.IndexOf("B"), -1);
  EXPECT_EQ(l.IndexOf("A"), 1);
  EXPECT_THROW(l.Insert(0, "z"), EInvalidOperation);
  TStringList u;
  u.SetText("b\r\nA\nc\rÄ");
  u.Sort();
  EXPECT_EQ(u.CommaText(), "A,b,c,Ä");
  EXPECT_THROW(u.Strings(4), EInvalidOperation);
  // A list box's items never sort.
  TListBox lb(nullptr);
  lb.Items()->SetText("b\nA\nc\n");
  EXPECT_EQ(lb.Items()->Strings(0), "b");
  EXPECT_EQ(lb.Items()->IndexOf("a"), 1);
}

TEST_F(Forms, ScriptedSystemDialogsAnswerAndAreLogged) {
  D::AnswerMessageBox(IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, "Delete the file?", "Camera", MB_YESNO | MB_ICONQUESTION), IDNO);
  // Unanswered: the default button.
  EXPECT_EQ(MessageBoxW(nullptr, "Done", "Camera", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  D::AnswerColorDialog(true, clRed);
  COLORREF custom[16] = {};
  CHOOSECOLORW cc;
  cc.lpCustColors = custom;
  EXPECT_TRUE(ChooseColorW(&cc));
  EXPECT_EQ(cc.rgbResult, 0x0000FFu);
  TSaveDialog save(nullptr);
  save.SetTitle("Save filter");
  save.SetDefaultExt("flt");
  save.SetFilter("Filter (*.flt)|*.flt");
  D::AnswerFileDialog(true, "/tmp/mine", 1);
  EXPECT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName(), "/tmp/mine.flt");
  D::AnswerFileDialog(false);
  EXPECT_FALSE(save.Execute());
  EXPECT_EQ(save.FileName(), "/tmp/mine.flt");
  TOpenDialog open(nullptr);
  open.SetOptions(open.Options() | VXOpenOptionBit(ofAllowMultiSelect));
  D::AnswerFileDialog(true, std::vector<std::string>{"/a/1.jpg", "/a/2.jpg"});
  EXPECT_TRUE(open.Execute());
  EXPECT_EQ(open.Files()->Count(), 2);
  EXPECT_EQ(open.FileName(), "/a/1.jpg");
  EXPECT_FALSE(open.Execute());  // nothing queued: cancelled

  const auto& log = D::SystemDialogLog();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[0].Kind, "MessageBox");
  EXPECT_EQ(log[0].Text, "Delete the file?");
  EXPECT_EQ(log[0].Title, "Camera");
  EXPECT_EQ(log[0].Button, IDNO);
  EXPECT_EQ(log[1].Button, IDCANCEL);
  EXPECT_EQ(log[2].Kind, "Color");
  EXPECT_EQ(log[2].Value, "0000FF");
  EXPECT_EQ(log[3].Kind, "Save");
  EXPECT_EQ(log[3].Title, "Save filter");
  EXPECT_TRUE(log[3].OK);
  EXPECT_FALSE(log[4].OK);
  EXPECT_EQ(log[5].Kind, "Open");
  EXPECT_FALSE(log[6].OK);
}

TEST_F(Forms, PrinterSetupChoosesThePrinterAndOrientation) {
  VXHeadless::UseCUPS(false);
  VXHeadless::ClearPrinters();
  VXHeadless::AddPDFPrinter("First", "", 8.5, 11, 300);
  VXHeadless::AddPDFPrinter("Second", "", 8.5, 11, 300);
  Printer()->Refresh();
  Printer()->SetPrinterIndex(0);
  TPrinterSetupDialog dlg(nullptr);
  D::AnswerPrinterSetup(true, "Second", poLandscape);
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(Printer()->Printers()[size_t(Printer()->PrinterIndex())], "Second");
  EXPECT_EQ(Printer()->Orientation(), poLandscape);
  D::AnswerPrinterSetup(false);
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(Printer()->Orientation(), poLandscape);
  EXPECT_EQ(D::SystemDialogLog().back().Kind, "PrinterSetup");
  Printer()->SetOrientation(poPortrait);
  VXHeadless::ResetPrinters();
  Printer()->Refresh();
}

TEST_F(Forms, PopupMenusOpenOnARightClickAndRunTheChosenItem) {
  TForm f(nullptr);
  auto* menu = new TPopupMenu(&f);
  std::vector<std::string> log;
  menu->OnPopup = [&](void*) { log.push_back("popup"); };
  for (const char* c : {"Zoom In", "Zoom Out"}) {
    auto* item = new TMenuItem(&f);
    item->SetCaption(c);
    item->OnClick = [&log, item](void*) { log.push_back(item->Caption()); };
    menu->Items()->Add(item);
  }
  auto* panel = new TPanel(&f);
  panel->SetParent(&f);
  panel->SetPopupMenu(menu);
  f.Show();
  D::ChooseMenuItem(menu, menu->Items()->Items(1), panel);
  EXPECT_EQ(menu->PopupComponent(), panel);
  D::ChooseMenuItem(menu, menu->Items()->Items(0));
  menu->Items()->Items(0)->SetEnabled(false);
  EXPECT_THROW(D::ChooseMenuItem(menu, menu->Items()->Items(0)), EInvalidOperation);
  // Opened with no choice, nothing runs.
  menu->Popup(5, 5);
  const std::vector<std::string> want = {"popup", "Zoom Out", "popup", "Zoom In", "popup"};
  EXPECT_EQ(log, want);
}

TEST_F(Forms, TheSplitterSharesTheSpaceBetweenItsNeighbours) {
  TForm f(nullptr);
  f.SetClientSize(400, 200);
  auto* left = new TPanel(&f);
  left->SetBounds(0, 0, 100, 200);
  left->SetParent(&f);
  auto* sp = new TSplitter(&f);
  sp->SetBounds(100, 0, 3, 200);
  sp->SetMinSize(120);
  sp->SetParent(&f);
  auto* right = new TPanel(&f);
  right->SetBounds(103, 0, 297, 200);
  right->SetParent(&f);
  int moved = 0;
  sp->OnMoved = [&](void*) { ++moved; };
  f.Show();
  D::MouseDown(sp, 1, 50);
  D::MouseMove(sp, 51, 50);
  D::MouseUp(sp, 1, 50);
  EXPECT_EQ(left->Width(), 150);
  EXPECT_EQ(sp->Left(), 150);
  EXPECT_EQ(right->Left(), 153);
  EXPECT_EQ(right->Width(), 247);
  EXPECT_EQ(moved, 1);
  // The right neighbour keeps MinSize.
  D::MouseDown(sp, 1, 50);
  D::MouseMove(sp, 300, 50);
  D::MouseUp(sp, 1, 50);
  EXPECT_EQ(right->Width(), 120);
  EXPECT_EQ(left->Width(), 277);
}

class TSizingForm : public TForm {
 public:
  using TForm::TForm;
  int Exits = 0;

 protected:
  void WMExitSizeMove(TMessage& Message) override {
    ++Exits;
    TForm::WMExitSizeMove(Message);
  }
};

TEST_F(Forms, FormPropertiesAndTheApplication) {
  TSizingForm f(nullptr);
  f.SetName("Main");
  auto* edit = new TEdit(&f);
  edit->SetName("edtName");
  edit->SetParent(&f);
  EXPECT_EQ(f.FindComponent("EDTNAME"), edit);
  EXPECT_EQ(f.FindComponent("nothing"), nullptr);
  // Constraints hold for every size.
  f.SetConstraints(TSizeConstraints{200, 150, 0, 0});
  f.SetBounds(0, 0, 100, 100);
  EXPECT_EQ(f.Width(), 200);
  EXPECT_EQ(f.Height(), 150);
  f.Show();
  D::ResizeForm(&f, 300, 120);
  EXPECT_EQ(f.Height(), 150);
  EXPECT_EQ(f.Exits, 1);
  // KeyPreview: the form sees the key first and can take it.
  std::vector<std::string> keys;
  f.SetKeyPreview(true);
  f.OnKeyDown = [&](void*, WORD& Key, TShiftState) {
    keys.push_back("form");
    if (Key == VK_F1) Key = 0;
  };
  edit->OnKeyDown = [&](void*, WORD&, TShiftState) { keys.push_back("edit"); };
  D::Key(edit, VK_F1 + 1);
  D::Key(edit, VK_F1);
  EXPECT_EQ(keys, (std::vector<std::string>{"form", "edit", "form"}));
  // Exceptions: OnException, else a message box.
  std::string seen;
  Application->OnException = [&](void*, const std::exception& E) { seen = E.what(); };
  try {
    throw std::runtime_error("Bad value");
  } catch (...) {
    Application->HandleException(&f);
  }
  EXPECT_EQ(seen, "Bad value");
  Application->OnException = nullptr;
  try {
    throw std::runtime_error("Bad value");
  } catch (...) {
    Application->HandleException(&f);
  }
  ASSERT_FALSE(D::SystemDialogLog().empty());
  EXPECT_EQ(D::SystemDialogLog().back().Text, "Bad value.");
  // Hooks of the application window.
  int hooked = 0;
  const int key = Application->HookMainWindow([&](TMessage& M) {
    if (M.Msg != WM_USER + 7) return false;
    ++hooked;
    M.Result = 42;
    return true;
  });
  EXPECT_EQ(SendMessageW(Application->Handle(), WM_USER + 7, 0, 0), 42);
  Application->UnhookMainWindow(key);
  EXPECT_EQ(SendMessageW(Application->Handle(), WM_USER + 7, 0, 0), 0);
  EXPECT_EQ(hooked, 1);
  EXPECT_FALSE(Application->HelpContext(10));
  // The button held for three polls.
  D::HoldButtonForPolls(3);
  int held = 0;
  for (int i = 0; i < 5; ++i) held += GetAsyncKeyState(VK_LBUTTON) < 0;
  EXPECT_EQ(held, 3);
}

TEST_F(Forms, ReleaseFreesTheFormAfterItsMessagesAndRunsOnDestroy) {
  auto* f = new TForm(nullptr);
  std::vector<std::string> log;
  f->OnDestroy = [&](void*) { log.push_back("destroy"); };
  f->OnClose = [&](void*, TCloseAction& A) { A = caFree; };
  f->Show();
  const HWND h = f->Handle();
  f->Close();
  EXPECT_TRUE(log.empty());
  D::Settle();
  EXPECT_EQ(log, std::vector<std::string>{"destroy"});
  EXPECT_FALSE(IsWindow(h));
  // Owned forms run OnDestroy when their owner frees them, once.
  TComponent owner(nullptr);
  auto* g = new TForm(&owner);
  int n = 0;
  g->OnDestroy = [&](void*) { ++n; };
  owner.DestroyComponents();
  EXPECT_EQ(n, 1);
}

// Owner-drawn combo boxes draw the chosen item in their field and every
// row of the dropped list through OnDrawItem.
TEST_F(Forms, OwnerDrawnComboBoxesDrawThroughOnDrawItem) {
  TForm f(nullptr);
  auto* combo = new TComboBox(&f);
  combo->SetParent(&f);
  combo->SetStyle(csOwnerDrawFixed);
  combo->SetItemHeight(20);
  combo->Items()->SetText("Scanner\nCamera\nDrive\n");
  combo->SetItemIndex(1);
  std::vector<std::string> drawn;
  combo->OnDrawItem = [&](void*, int Index, const TRect& R, TOwnerDrawState State) {
    drawn.push_back(std::to_string(Index) + ((State & VXOwnerDrawBit(odComboBoxEdit)) ? " field" : " row") +
                    ((State & VXOwnerDrawBit(odSelected)) ? " selected" : ""));
    combo->Canvas()->FillRect(R);
  };
  f.Show();
  D::Settle();
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(drawn.back().substr(0, 7), "1 field");
  drawn.clear();
  D::Click(combo);
  ASSERT_TRUE(combo->DroppedDown());
  D::Settle();
  std::sort(drawn.begin(), drawn.end());
  const std::vector<std::string> rows = {"0 row", "1 row selected", "2 row"};
  EXPECT_TRUE(std::includes(drawn.begin(), drawn.end(), rows.begin(), rows.end()));
  D::Key(combo, VK_ESCAPE);
  EXPECT_FALSE(combo->DroppedDown());
}

// With every tab hidden the page control shows only the active page, over
// all of its area in the flat-button style.
TEST_F(Forms, PageControlsWithoutVisibleTabs) {
  TForm f(nullptr);
  auto* pc = new TPageControl(&f);
  pc->SetBounds(0, 0, 200, 100);
  pc->SetParent(&f);
  auto* a = new TTabSheet(&f);
  a->SetPageControl(pc);
  auto* b = new TTabSheet(&f);
  b->SetPageControl(pc);
  pc->SetActivePage(b);
  a->SetTabVisible(false);
  b->SetTabVisible(false);
  pc->SetStyle(tsFlatButtons);
  EXPECT_EQ(pc->ActivePage(), b);
  EXPECT_EQ(b->BoundsRect().Top, 0);
  EXPECT_EQ(b->Height(), 100);
  EXPECT_EQ(b->TabIndex(), -1);
  EXPECT_TRUE(b->Visible());
  EXPECT_FALSE(a->Visible());
  EXPECT_EQ(pc->IndexOfTabAt(10, 5), -1);
}

// The hint follows the mouse to a control that shows hints; CancelHint
// hides it until the mouse reaches another control.
TEST_F(Forms, HintsFollowTheMouseUntilCancelled) {
  TForm f(nullptr);
  f.SetBounds(0, 0, 300, 200);
  auto* b = new TButton(&f);
  b->SetBounds(10, 10, 75, 25);
  b->SetHint("Copy Result to Source");
  b->SetShowHint(true);
  b->SetParent(&f);
  auto* plain = new TButton(&f);
  plain->SetBounds(100, 10, 75, 25);
  plain->SetParent(&f);
  f.Show();
  D::MouseMove(b, 5, 5);
  EXPECT_TRUE(Application->HintShowing());
  EXPECT_EQ(Application->Hint(), "Copy Result to Source");
  Application->CancelHint();
  EXPECT_FALSE(Application->HintShowing());
  D::MouseMove(b, 6, 6);
  EXPECT_FALSE(Application->HintShowing());
  D::MouseMove(plain, 5, 5);
  EXPECT_FALSE(Application->HintShowing());
  D::MouseMove(b, 5, 5);
  EXPECT_TRUE(Application->HintShowing());
}

TEST_F(Forms, ImageListsCutPicturesAndDrawThemMasked) {
  TImageList il(nullptr);
  TBitmap strip(32, 16, pf24bit);
  strip.Canvas()->Brush()->SetColor(clLime);
  strip.Canvas()->FillRect(TRect{0, 0, 32, 16});
  strip.Canvas()->Brush()->SetColor(clBlue);
  strip.Canvas()->FillRect(TRect{4, 4, 12, 12});
  strip.Canvas()->FillRect(TRect{20, 4, 28, 12});
  EXPECT_EQ(il.AddMasked(&strip, clLime), 0);
  EXPECT_EQ(il.Count(), 2);
  TBitmap dst(20, 20, pf24bit);
  dst.Canvas()->Brush()->SetColor(clWhite);
  dst.Canvas()->FillRect(TRect{0, 0, 20, 20});
  il.Draw(dst.Canvas(), 2, 2, 1);
  EXPECT_EQ(dst.Canvas()->Pixels(2, 2), clWhite);
  EXPECT_EQ(dst.Canvas()->Pixels(6, 6), clBlue);
  il.Draw(dst.Canvas(), 2, 2, 5);  // outside the list: nothing
  il.Draw(dst.Canvas(), 2, 2, 0, false);
  EXPECT_NE(dst.Canvas()->Pixels(6, 6), clBlue);
  EXPECT_EQ(dst.Canvas()->Pixels(2, 2), clWhite);
}

}  // namespace
