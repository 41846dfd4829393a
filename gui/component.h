// Components of the GUI class library: persistent objects that can copy
// each other, and components that own other components, free them with
// themselves and tell interested components of their removal.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win_errors.h"  // EConvertError, raised by Assign between classes that cannot copy each other

// Raised where an operation does not fit the object's state.
class EInvalidOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  // Copies Source into this object; the base raises EConvertError.
  virtual void Assign(TPersistent* Source);
};

enum TOperation { opInsert, opRemove };

// Component state flags (bit n stands for ordinal n).
enum TComponentStateItem {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification
};
using TComponentState = uint16_t;
constexpr TComponentState VXStateBit(TComponentStateItem i) { return TComponentState(1u << unsigned(i)); }

class TComponent : public TPersistent {
 public:
  // With an owner the component is freed by it and is one of its
  // Components; without one its creator frees it.
  explicit TComponent(TComponent* AOwner = nullptr);
  // Tells every free-notified component (opRemove), frees the owned
  // components and leaves the owner.
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return fOwner; }
  int ComponentCount() const { return int(fComponents.size()); }
  TComponent* Components(int Index) const { return fComponents.at(size_t(Index)); }
  // Moves AComponent into this component's list (out of its owner's).
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component, last first (BeforeDestruction first).
  void DestroyComponents();
  // The owned component of that name (compared without case); null for none.
  TComponent* FindComponent(const std::string& AName) const;
  // Runs while the object is still whole, before it is deleted by its owner
  // or by a form's Release; a derived class's destructor that needs it run
  // for its own members calls it itself (it then runs once).
  virtual void BeforeDestruction() {}

  // Called for components inserted into or removed from this one, and
  // for removed components that asked to be told (FreeNotification). The
  // base passes the call on to every owned component.
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  // AComponent is told (Notification with opRemove) when this one is freed;
  // the link is both ways.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  TComponentState ComponentState() const { return fComponentState; }
  bool InState(TComponentStateItem i) const { return (fComponentState & VXStateBit(i)) != 0; }
  // Design state is a flag that the owner's design state passes on.
  void SetDesigning(bool Value, bool SetChildren = true);
  // Marks the component (and what it owns) as being destroyed.
  void Destroying();

  const std::string& Name() const { return fName; }
  // Raises EInvalidOperation for a name that is no identifier or that a
  // sibling of the same owner already has (compared without case).
  void SetName(const std::string& NewName);
  intptr_t Tag() const { return fTag; }
  void SetTag(intptr_t v) { fTag = v; }

 private:
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void RemoveNotification(TComponent* AComponent);
  TComponent* fOwner = nullptr;
  std::vector<TComponent*> fComponents;
  std::vector<TComponent*> fFreeNotifies;
  TComponentState fComponentState = 0;
  std::string fName;
  intptr_t fTag = 0;
};
