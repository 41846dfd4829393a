// The enumerator objects of the component object model (IEnumMoniker,
// IEnumPins, ...): a snapshot of items handed out one at a time by Next,
// with Skip, Reset and Clone.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/win_com.h"

// A copyable counted reference, for enumerations of interfaces.
template <class I>
class TVXComRef {
 public:
  TVXComRef() = default;
  // Adds a reference of its own to P.
  explicit TVXComRef(I* P) : fPtr(P) {
    if (fPtr) fPtr->AddRef();
  }
  TVXComRef(const TVXComRef& o) : TVXComRef(o.fPtr) {}
  TVXComRef& operator=(const TVXComRef& o) {
    if (o.fPtr) o.fPtr->AddRef();
    if (fPtr) fPtr->Release();
    fPtr = o.fPtr;
    return *this;
  }
  ~TVXComRef() {
    if (fPtr) fPtr->Release();
  }
  I* Get() const { return fPtr; }

 private:
  I* fPtr = nullptr;
};

// Derived (CRTP) implements interface I, whose Next hands out Elem values:
// it is constructible from std::vector<Item> and has a static
// `bool Hand(const Item&, Elem&)` that makes the caller's copy (false when
// memory runs out). Items are handed out in order.
template <class Derived, class I, class Item, class Elem>
class TVXComEnum : public TVXComObject<I> {
 public:
  explicit TVXComEnum(std::vector<Item> Items) : fItems(std::move(Items)) {}
  HRESULT Next(ULONG n, Elem* out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    if (n > 1 && !fetched) return E_INVALIDARG;
    ULONG got = 0;
    while (got < n && fPos < fItems.size()) {
      if (!Derived::Hand(fItems[fPos], out[got])) break;
      ++got;
      ++fPos;
    }
    if (fetched) *fetched = got;
    return got == n ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG n) override {
    const size_t left = fItems.size() - fPos;
    fPos += std::min<size_t>(n, left);
    return n <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    fPos = 0;
    return S_OK;
  }
  HRESULT Clone(I** out) override {
    if (!out) return E_POINTER;
    auto* c = new Derived(fItems);
    c->fPos = fPos;
    *out = c;
    return S_OK;
  }

 protected:
  std::vector<Item> fItems;
  size_t fPos = 0;
};

// Hands out an interface pointer with one reference for the caller.
template <class I>
bool VXHandComRef(const TVXComRef<I>& Item, I*& Out) {
  Out = Item.Get();
  if (Out) Out->AddRef();
  return true;
}
