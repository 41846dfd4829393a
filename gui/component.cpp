// Components: ownership, free notification, state, names.
#include "gui/component.h"

#include <algorithm>
#include <cctype>

void TPersistent::Assign(TPersistent* Source) {
  throw EConvertError(Source ? "Cannot assign this object to another class" : "Cannot assign nil to this object");
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Each interested component is unlinked before it is told, so that a
  // handler that does not pass the call on keeps no pointer to this one.
  while (!fFreeNotifies.empty()) {
    TComponent* c = fFreeNotifies.back();
    fFreeNotifies.pop_back();
    c->RemoveNotification(this);
    c->Notification(this, opRemove);
  }
  DestroyComponents();
  if (fOwner) fOwner->RemoveComponent(this);
}

void TComponent::Insert(TComponent* AComponent) {
  fComponents.push_back(AComponent);
  AComponent->fOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
  auto it = std::find(fComponents.begin(), fComponents.end(), AComponent);
  if (it != fComponents.end()) fComponents.erase(it);
  AComponent->fOwner = nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (AComponent->fOwner == this) return;
  if (!AComponent->fName.empty())
    for (TComponent* c : fComponents)
      if (c->fName.size() == AComponent->fName.size() &&
          std::equal(c->fName.begin(), c->fName.end(), AComponent->fName.begin(),
                     [](char a, char b) { return std::tolower((unsigned char)a) == std::tolower((unsigned char)b); }))
        throw EInvalidOperation("A component named " + AComponent->fName + " already exists");
  if (AComponent->fOwner) AComponent->fOwner->RemoveComponent(AComponent);
  Insert(AComponent);
  if (InState(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->fOwner != this) return;
  Notification(AComponent, opRemove);
  Remove(AComponent);
}

void TComponent::DestroyComponents() {
  while (!fComponents.empty()) {
    TComponent* c = fComponents.back();
    c->BeforeDestruction();
    // BeforeDestruction may have freed or moved it already.
    if (fComponents.empty() || fComponents.back() != c) continue;
    Remove(c);
    delete c;
  }
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // A copy: a handler may free or move owned components.
  std::vector<TComponent*> owned = fComponents;
  for (TComponent* c : owned)
    if (std::find(fComponents.begin(), fComponents.end(), c) != fComponents.end()) c->Notification(AComponent, Operation);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(fFreeNotifies.begin(), fFreeNotifies.end(), AComponent) == fFreeNotifies.end())
    fFreeNotifies.push_back(AComponent);
  if (std::find(AComponent->fFreeNotifies.begin(), AComponent->fFreeNotifies.end(), this) ==
      AComponent->fFreeNotifies.end())
    AComponent->fFreeNotifies.push_back(this);
  fComponentState |= VXStateBit(csFreeNotification);
}

void TComponent::RemoveNotification(TComponent* AComponent) {
  auto it = std::find(fFreeNotifies.begin(), fFreeNotifies.end(), AComponent);
  if (it != fFreeNotifies.end()) fFreeNotifies.erase(it);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  RemoveNotification(AComponent);
  AComponent->RemoveNotification(this);
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value)
    fComponentState |= VXStateBit(csDesigning);
  else
    fComponentState &= TComponentState(~VXStateBit(csDesigning));
  if (SetChildren)
    for (TComponent* c : fComponents) c->SetDesigning(Value, true);
}

void TComponent::Destroying() {
  if (InState(csDestroying)) return;
  fComponentState |= VXStateBit(csDestroying);
  for (TComponent* c : fComponents) c->Destroying();
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : fComponents)
    if (c->fName.size() == AName.size() &&
        std::equal(c->fName.begin(), c->fName.end(), AName.begin(),
                   [](char a, char b) { return std::tolower((unsigned char)a) == std::tolower((unsigned char)b); }))
      return c;
  return nullptr;
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == fName) return;
  if (!NewName.empty()) {
    bool ok = std::isalpha((unsigned char)NewName[0]) || NewName[0] == '_';
    for (char ch : NewName) ok = ok && (std::isalnum((unsigned char)ch) || ch == '_');
    if (!ok) throw EInvalidOperation("'" + NewName + "' is not a valid component name");
    if (fOwner)
      for (TComponent* c : fOwner->fComponents)
        if (c != this && c->fName.size() == NewName.size() &&
            std::equal(c->fName.begin(), c->fName.end(), NewName.begin(), [](char a, char b) {
              return std::tolower((unsigned char)a) == std::tolower((unsigned char)b);
            }))
          throw EInvalidOperation("A component named " + NewName + " already exists");
  }
  fName = NewName;
}
