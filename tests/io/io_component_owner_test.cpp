// The I/O and processing components as components: freed by their owner,
// telling the components that asked of their removal.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "gui/component.h"
#include "io/vexlaneio.h"
#include "proc/proc.h"

namespace {

struct Listener : TComponent {
  std::vector<TComponent*> Removed;
  void Notification(TComponent* C, TOperation Op) override {
    TComponent::Notification(C, Op);
    if (Op == opRemove) Removed.push_back(C);
  }
};

TEST(IOComponent, OwnedIOAndProcessingComponentsDieWithTheirOwner) {
  Listener listener;
  auto owner = std::make_unique<TComponent>();
  auto* io = new TVexlaneIO(owner.get());
  auto* proc = new TVexlaneProc(owner.get());
  EXPECT_EQ(io->Owner(), owner.get());
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_TRUE(proc->AutoUndo());  // an owned component saves undo
  TVexlaneProc alone;
  EXPECT_FALSE(alone.AutoUndo());
  io->FreeNotification(&listener);
  proc->FreeNotification(&listener);
  owner.reset();
  EXPECT_EQ(listener.Removed, (std::vector<TComponent*>{proc, io}));

  // Freed by its creator, a component leaves its owner's list.
  TComponent keeper;
  {
    TVexlaneIO own(&keeper);
    EXPECT_EQ(keeper.ComponentCount(), 1);
  }
  EXPECT_EQ(keeper.ComponentCount(), 0);
}

}  // namespace
