// The node collection of a tree view: nodes with a text, a data pointer
// (not owned) and children, added under a parent or at the top level.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TTreeNodes;

class TTreeNode {
 public:
  const std::string& Text() const { return fText; }
  void SetText(const std::string& V) { fText = V; }
  void* Data() const { return fData; }
  void SetData(void* V) { fData = V; }
  TTreeNode* Parent() const { return fParent; }
  // The node's depth: 0 at the top level.
  int32_t Level() const;
  int32_t Count() const { return int32_t(fChildren.size()); }
  bool HasChildren() const { return !fChildren.empty(); }
  // Child Index; nullptr outside 0 .. Count - 1.
  TTreeNode* Item(int32_t Index) const;
  TTreeNodes* Owner() const { return fOwner; }

 private:
  friend class TTreeNodes;
  TTreeNode(TTreeNodes* Owner, TTreeNode* Parent) : fOwner(Owner), fParent(Parent) {}
  TTreeNodes* fOwner;
  TTreeNode* fParent;
  std::string fText;
  void* fData = nullptr;
  std::vector<std::unique_ptr<TTreeNode>> fChildren;
};

class TTreeNodes {
 public:
  TTreeNodes() = default;
  TTreeNodes(const TTreeNodes&) = delete;
  TTreeNodes& operator=(const TTreeNodes&) = delete;

  // A new last child of Parent (a new last top-level node when Parent is
  // nullptr) with that text and data.
  TTreeNode* AddChildObject(TTreeNode* Parent, const std::string& S, void* Ptr);
  TTreeNode* AddChild(TTreeNode* Parent, const std::string& S) { return AddChildObject(Parent, S, nullptr); }
  // Every node, in tree order (a node, then its subtree).
  int32_t Count() const;
  // Node Index in tree order; nullptr outside the collection.
  TTreeNode* Item(int32_t Index) const;
  // The first top-level node, or nullptr.
  TTreeNode* GetFirstNode() const { return fTop.empty() ? nullptr : fTop.front().get(); }
  int32_t TopCount() const { return int32_t(fTop.size()); }
  TTreeNode* Top(int32_t Index) const;
  void Clear() { fTop.clear(); }

 private:
  std::vector<std::unique_ptr<TTreeNode>> fTop;
};
