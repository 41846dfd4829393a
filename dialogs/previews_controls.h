// Controls of the preview dialog's pages, made in code: each one named,
// placed on its parent and owned by the form, as the page files build them.
#pragma once

#include <optional>

#include "gui/comctrls.h"
#include "gui/extctrls.h"
#include "gui/stdctrls.h"

template <class T>
T* VXPreviewControl(TComponent* Owner, TWinControl* Parent, const char* Name, int X, int Y, int W, int H) {
  T* c = new T(Owner);
  c->SetName(Name);
  c->SetParent(Parent);
  c->SetBounds(X, Y, W, H);
  return c;
}

// A page of the form's page control.
inline TTabSheet* VXPreviewPage(TComponent* Owner, TPageControl* Pages, const char* Name, const char* Caption) {
  TTabSheet* t = new TTabSheet(Owner);
  t->SetName(Name);
  t->SetPageControl(Pages);
  t->SetCaption(Caption);
  return t;
}

inline TTrackBar* VXPreviewSlider(TComponent* Owner, TWinControl* Parent, const char* Name, int X, int Y, int Min,
                                  int Max, int Frequency) {
  TTrackBar* t = VXPreviewControl<TTrackBar>(Owner, Parent, Name, X, Y, 200, 25);
  t->SetMax(Max);
  t->SetMin(Min);
  t->SetFrequency(Frequency);
  return t;
}

inline TLabel* VXPreviewLabel(TComponent* Owner, TWinControl* Parent, const char* Name, int X, int Y, int W = 110) {
  return VXPreviewControl<TLabel>(Owner, Parent, Name, X, Y, W, 13);
}

inline TEdit* VXPreviewBox(TComponent* Owner, TWinControl* Parent, const char* Name, int X, int Y, int W,
                           const char* Text) {
  TEdit* e = VXPreviewControl<TEdit>(Owner, Parent, Name, X, Y, W, 21);
  e->SetText(Text);
  return e;
}

inline TGroupBox* VXPreviewGroup(TComponent* Owner, TWinControl* Parent, const char* Name, int X, int Y, int W,
                                 int H) {
  return VXPreviewControl<TGroupBox>(Owner, Parent, Name, X, Y, W, H);
}

// An up-down beside its box. With a position, it writes that position into
// the box; without one, the box keeps its text.
inline TUpDown* VXPreviewUpDown(TComponent* Owner, TEdit* Box, const char* Name, int Min, int Max,
                                std::optional<int> Position, int Increment = 1) {
  TUpDown* u = new TUpDown(Owner);
  u->SetName(Name);
  u->SetParent(Box->Parent());
  u->SetMin(Min);
  u->SetMax(Max);
  u->SetIncrement(Increment);
  u->SetAssociate(Box);
  if (Position) u->SetPosition(*Position);
  return u;
}
