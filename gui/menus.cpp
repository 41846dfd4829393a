// Menu items and pop-up menus.
#include "gui/menus.h"

#include <algorithm>

#include "gui/formdriver.h"
#include "gui/imglist.h"

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  while (!fItems.empty()) delete fItems.back();
  if (fParent) fParent->Remove(this);
}

TMenuItem* TMenuItem::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EInvalidOperation("Menu index out of range");
  return fItems[size_t(Index)];
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem* Item) {
  if (!Item) return;
  for (TMenuItem* p = this; p; p = p->fParent)
    if (p == Item) throw EInvalidOperation("A menu item cannot hold itself");
  if (Item->fParent) Item->fParent->Remove(Item);
  Index = std::clamp(Index, 0, Count());
  fItems.insert(fItems.begin() + Index, Item);
  Item->fParent = this;
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto it = std::find(fItems.begin(), fItems.end(), Item);
  if (it == fItems.end()) return;
  fItems.erase(it);
  Item->fParent = nullptr;
}

void TMenuItem::Delete(int Index) { delete Items(Index); }

void TMenuItem::Clear() {
  while (!fItems.empty()) delete fItems.back();
}

int TMenuItem::IndexOf(const TMenuItem* Item) const {
  auto it = std::find(fItems.begin(), fItems.end(), Item);
  return it == fItems.end() ? -1 : int(it - fItems.begin());
}

void TMenuItem::SetChecked(bool v) {
  if (v == fChecked) return;
  fChecked = v;
  if (v && fRadioItem && fParent)
    for (TMenuItem* s : fParent->fItems)
      if (s != this && s->fRadioItem && s->fGroupIndex == fGroupIndex) s->fChecked = false;
}

void TMenuItem::Click() {
  if (!fEnabled) return;
  if (fAutoCheck) SetChecked(!fChecked);
  if (OnClick) OnClick(this);
}

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), fItems(std::make_unique<TMenuItem>(nullptr)) {}

TMenu::~TMenu() = default;

void TMenu::SetImages(TCustomImageList* v) {
  if (fImages) fImages->RemoveFreeNotification(this);
  fImages = v;
  if (v) v->FreeNotification(this);
}

void TMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == fImages) fImages = nullptr;
}

bool TMenu::Contains(const TMenuItem* Item) const {
  for (const TMenuItem* p = Item; p; p = p->Parent())
    if (p == fItems.get()) return true;
  return false;
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}

void TPopupMenu::Popup(int X, int Y) {
  fPopupPoint = TPoint{X, Y};
  if (OnPopup) OnPopup(this);
  TMenuItem* choice = VXFormDriver::TakeMenuChoice(this);
  if (OnClose) OnClose(this);
  if (!choice) return;
  // Only what the open menu shows can be chosen.
  for (TMenuItem* p = choice; p && p != Items(); p = p->Parent())
    if (!p->Visible() || !p->Enabled() || p->IsLine()) return;
  choice->Click();
}
