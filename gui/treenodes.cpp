#include "gui/treenodes.h"

namespace {

// Node Index of the subtree of N in tree order, N itself being 0; Index is
// decreased by the nodes passed.
TTreeNode* Find(TTreeNode* N, int32_t& Index) {
  if (Index == 0) return N;
  --Index;
  for (int32_t i = 0; i < N->Count(); ++i)
    if (TTreeNode* f = Find(N->Item(i), Index)) return f;
  return nullptr;
}

int32_t CountNode(const TTreeNode* N) {
  int32_t c = 1;
  for (int32_t i = 0; i < N->Count(); ++i) c += CountNode(N->Item(i));
  return c;
}

int32_t CountBelow(const std::vector<std::unique_ptr<TTreeNode>>& Nodes) {
  int32_t c = 0;
  for (const auto& n : Nodes) c += CountNode(n.get());
  return c;
}

}  // namespace

int32_t TTreeNode::Level() const {
  int32_t l = 0;
  for (const TTreeNode* p = fParent; p; p = p->fParent) ++l;
  return l;
}

TTreeNode* TTreeNode::Item(int32_t Index) const {
  return Index >= 0 && Index < Count() ? fChildren[size_t(Index)].get() : nullptr;
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* Parent, const std::string& S, void* Ptr) {
  std::unique_ptr<TTreeNode> n(new TTreeNode(this, Parent));
  n->fText = S;
  n->fData = Ptr;
  TTreeNode* out = n.get();
  (Parent ? Parent->fChildren : fTop).push_back(std::move(n));
  return out;
}

int32_t TTreeNodes::Count() const { return CountBelow(fTop); }

TTreeNode* TTreeNodes::Item(int32_t Index) const {
  if (Index < 0) return nullptr;
  for (const auto& n : fTop)
    if (TTreeNode* f = Find(n.get(), Index)) return f;
  return nullptr;
}

TTreeNode* TTreeNodes::Top(int32_t Index) const {
  return Index >= 0 && Index < TopCount() ? fTop[size_t(Index)].get() : nullptr;
}
