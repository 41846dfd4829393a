// Small containers: THash1, TVXList and its descendants, TVXWideStrings.

#include "core/containers.h"

#include <algorithm>
#include <cstring>

#include "core/vxdefs.h"

namespace {

[[noreturn]] void IndexError(int64_t idx) {
  throw EVXException("List index out of bounds (" + std::to_string(idx) + ")");
}

}  // namespace

// ---------------------------------------------------------------------------
// THash1

THash1::THash1(int32_t Hbits) {
  if (Hbits < 0 || Hbits > 30) throw EVXException("Invalid hash size (" + std::to_string(Hbits) + " bits)");
  fHbits = Hbits;
  fHdim = int32_t(1) << Hbits;
  fMainKeys.assign(size_t(fHdim), 0);
  fMainChains.assign(size_t(fHdim), nullptr);
  fMainKeysUse.assign(size_t(fHdim), 0);
  fMainKeysValue.assign(size_t(fHdim), 0);
}

THash1::~THash1() {
  for (THash1Item* head : fMainChains) {
    while (head) {
      THash1Item* n = head->nextitem;
      delete head;
      head = n;
    }
  }
}

void THash1::CheckSlot(int32_t slot) const {
  if (slot < 0 || slot >= fHdim) IndexError(slot);
}

bool THash1::Insert2(int32_t kk, int32_t& slot, THash1Item*& item) {
  slot = int32_t(uint32_t(kk) & uint32_t(fHdim - 1));
  const size_t s = size_t(slot);
  switch (fMainKeysUse[s]) {
    case 0:
      fMainKeysUse[s] = 1;
      fMainKeys[s] = kk;
      fMainKeysValue[s] = 0;
      item = nullptr;
      ++fnkeys;
      return true;
    case 1: {
      if (fMainKeys[s] == kk) {
        item = nullptr;
        return false;
      }
      auto* first = new THash1Item;
      first->key = fMainKeys[s];
      first->value = fMainKeysValue[s];
      auto* second = new THash1Item;
      second->key = kk;
      first->nextitem = second;
      fMainChains[s] = first;
      fMainKeysUse[s] = 2;
      item = second;
      ++fnkeys;
      return true;
    }
    default: {
      THash1Item* last = nullptr;
      for (THash1Item* it = fMainChains[s]; it; it = it->nextitem) {
        if (it->key == kk) {
          item = it;
          return false;
        }
        last = it;
      }
      auto* n = new THash1Item;
      n->key = kk;
      if (last)
        last->nextitem = n;
      else
        fMainChains[s] = n;
      item = n;
      ++fnkeys;
      return true;
    }
  }
}

bool THash1::Insert(int32_t kk) {
  int32_t slot;
  THash1Item* item;
  return Insert2(kk, slot, item);
}

bool THash1::KeyPresent(int32_t kk) const {
  const size_t s = size_t(uint32_t(kk) & uint32_t(fHdim - 1));
  switch (fMainKeysUse[s]) {
    case 0: return false;
    case 1: return fMainKeys[s] == kk;
    default:
      for (THash1Item* it = fMainChains[s]; it; it = it->nextitem)
        if (it->key == kk) return true;
      return false;
  }
}

void THash1::SetValue(int32_t slot, THash1Item* item, int32_t Value) {
  if (item) {
    item->value = Value;
    return;
  }
  CheckSlot(slot);
  fMainKeysValue[size_t(slot)] = Value;
}

int32_t THash1::GetValue(int32_t slot, THash1Item* item) const {
  if (item) return item->value;
  CheckSlot(slot);
  return fMainKeysValue[size_t(slot)];
}

bool THash1::IterateBegin() {
  fIteratePtr1 = -1;
  fIteratePtr2 = nullptr;
  return IterateNext();
}

bool THash1::IterateNext() {
  if (fIteratePtr2) {
    fIteratePtr2 = fIteratePtr2->nextitem;
    if (fIteratePtr2) return true;
  }
  for (int32_t s = fIteratePtr1 + 1; s < fHdim; ++s) {
    uint8_t use = fMainKeysUse[size_t(s)];
    if (use == 1) {
      fIteratePtr1 = s;
      fIteratePtr2 = nullptr;
      return true;
    }
    if (use == 2) {
      fIteratePtr1 = s;
      fIteratePtr2 = fMainChains[size_t(s)];
      return true;
    }
  }
  fIteratePtr1 = fHdim;
  fIteratePtr2 = nullptr;
  return false;
}

int32_t THash1::IterateGetValue() const {
  if (fIteratePtr2) return fIteratePtr2->value;
  CheckSlot(fIteratePtr1);
  return fMainKeysValue[size_t(fIteratePtr1)];
}

// ---------------------------------------------------------------------------
// TVXList

TVXList::TVXList(TVXListCurrentValueEvent OnGetCurrentValue, TVXListCurrentValueEvent OnSetCurrentValue)
    : fOnGetCurrentValue(std::move(OnGetCurrentValue)), fOnSetCurrentValue(std::move(OnSetCurrentValue)) {
  ClearBase();
}

void TVXList::ClearBase() {
  fCapacity = 0;
  fCount = 0;
  fData.reset();
  fChanged = TVXListChanges();
}

void TVXList::Clear() { ClearBase(); }

void TVXList::CheckIndex(int32_t idx) const {
  if (idx < 0 || idx >= fCount) IndexError(idx);
}

void TVXList::SetCount(int32_t Value) {
  if (Value < 0) IndexError(Value);
  if (Value > fCapacity) {
    int64_t cap = std::max<int64_t>(int64_t(fCapacity) * 2, Value);
    if (cap > INT32_MAX) cap = Value;
    std::unique_ptr<uint8_t[]> block(new uint8_t[size_t(cap) * size_t(fItemSize)]);
    int32_t keep = std::min(fCount, Value);
    if (keep > 0 && fData) std::memcpy(block.get(), fData.get(), size_t(keep) * size_t(fItemSize));
    fData = std::move(block);
    fCapacity = int32_t(cap);
  }
  fCount = Value;
  fChanged.Include(vxlItems);
}

int32_t TVXList::AddItem(const void* p) {
  SetCount(fCount + 1);
  std::memcpy(fData.get() + size_t(fCount - 1) * size_t(fItemSize), p, size_t(fItemSize));
  fChanged.Include(vxlItems);
  return fCount - 1;
}

void TVXList::InsertItem(int32_t idx, const void* p) {
  if (idx < 0) IndexError(idx);
  if (idx >= fCount) {
    AddItem(p);
    return;
  }
  const size_t sz = size_t(fItemSize);
  std::unique_ptr<uint8_t[]> block(new uint8_t[(size_t(fCount) + 1) * sz]);
  std::memcpy(block.get(), fData.get(), size_t(idx) * sz);
  std::memcpy(block.get() + size_t(idx) * sz, p, sz);
  std::memcpy(block.get() + (size_t(idx) + 1) * sz, fData.get() + size_t(idx) * sz, size_t(fCount - idx) * sz);
  fData = std::move(block);
  ++fCount;
  fCapacity = fCount;
  fChanged.Include(vxlItems);
}

int32_t TVXList::IndexOfItem(const void* p) const {
  for (int32_t i = 0; i < fCount; ++i)
    if (std::memcmp(fData.get() + size_t(i) * size_t(fItemSize), p, size_t(fItemSize)) == 0) return i;
  return -1;
}

void* TVXList::ItemAddress(int32_t idx) const {
  CheckIndex(idx);
  return fData.get() + size_t(idx) * size_t(fItemSize);
}

void TVXList::SetItemData(int32_t idx, const void* p) {
  if (idx < 0) IndexError(idx);
  if (idx < fCount) {
    std::memcpy(fData.get() + size_t(idx) * size_t(fItemSize), p, size_t(fItemSize));
    fChanged.Include(vxlItems);
  }
}

void TVXList::Delete(int32_t idx) {
  if (idx < 0 || idx >= fCount) return;
  const size_t sz = size_t(fItemSize);
  const int32_t n = fCount - 1;
  std::unique_ptr<uint8_t[]> block;
  if (n > 0) {
    block.reset(new uint8_t[size_t(n) * sz]);
    std::memcpy(block.get(), fData.get(), size_t(idx) * sz);
    std::memcpy(block.get() + size_t(idx) * sz, fData.get() + (size_t(idx) + 1) * sz, size_t(n - idx) * sz);
  }
  fData = std::move(block);
  fCount = n;
  fCapacity = n;
  fChanged.Include(vxlItems);
}

void TVXList::Assign(const TVXList* Source) {
  if (!Source || Source == this) return;
  std::unique_ptr<uint8_t[]> block;
  const size_t bytes = size_t(Source->fCount) * size_t(Source->fItemSize);
  if (bytes > 0) {
    block.reset(new uint8_t[bytes]);
    std::memcpy(block.get(), Source->fData.get(), bytes);
  }
  fCount = Source->fCount;
  fItemSize = Source->fItemSize;
  fChanged = Source->fChanged;
  fData = std::move(block);
  fCapacity = fCount;
}

void TVXList::DoGetCurrentValue(void* p) {
  if (fOnGetCurrentValue) fOnGetCurrentValue(this, p);
}

void TVXList::DoSetCurrentValue(void* p) {
  if (fOnSetCurrentValue) fOnSetCurrentValue(this, p);
}

// ---------------------------------------------------------------------------
// TVXNumberList

template <class T>
TVXNumberList<T>::TVXNumberList(TVXListCurrentValueEvent OnGetCurrentValue, TVXListCurrentValueEvent OnSetCurrentValue)
    : TVXList(std::move(OnGetCurrentValue), std::move(OnSetCurrentValue)) {
  fItemSize = int32_t(sizeof(T));
}

template <class T>
T TVXNumberList<T>::GetItem(int32_t idx) const {
  T v;
  std::memcpy(&v, ItemAddress(idx), sizeof(T));
  return v;
}

template <class T>
void TVXNumberList<T>::Clear() {
  TVXList::Clear();
  fItemSize = int32_t(sizeof(T));
  fRangeMin = 0;
  fRangeMax = 0;
  fRangeStep = 0;
  fCurrentValue = 0;
}

template <class T>
void TVXNumberList<T>::Assign(const TVXList* Source) {
  if (!Source) return;
  auto* src = dynamic_cast<const TVXNumberList<T>*>(Source);
  if (!src) throw EVXException("Invalid class typecast");
  TVXList::Assign(Source);
  fRangeMin = src->fRangeMin;
  fRangeMax = src->fRangeMax;
  fRangeStep = src->fRangeStep;
  fCurrentValue = src->fCurrentValue;
}

template <class T>
void TVXNumberList<T>::SetRangeMin(T v) {
  fRangeMin = v;
  fChanged.Include(vxlRange);
}

template <class T>
void TVXNumberList<T>::SetRangeMax(T v) {
  fRangeMax = v;
  fChanged.Include(vxlRange);
}

template <class T>
void TVXNumberList<T>::SetRangeStep(T v) {
  fRangeStep = v;
  fChanged.Include(vxlRange);
}

template <class T>
T TVXNumberList<T>::CurrentValue() {
  DoGetCurrentValue(&fCurrentValue);
  return fCurrentValue;
}

template <class T>
void TVXNumberList<T>::SetCurrentValue(T v) {
  fCurrentValue = v;
  fChanged.Include(vxlCurrentValue);
  DoSetCurrentValue(&fCurrentValue);
}

template class TVXNumberList<double>;
template class TVXNumberList<int32_t>;

// ---------------------------------------------------------------------------
// TVXRecordList

TVXRecordList::TVXRecordList(int32_t RecordSize) : TVXList({}, {}) {
  if (RecordSize < 1) throw EVXException("Invalid record size (" + std::to_string(RecordSize) + ")");
  fItemSize = RecordSize;
}

void TVXRecordList::Clear() {
  int32_t size = fItemSize;
  TVXList::Clear();
  fItemSize = size;
}

// ---------------------------------------------------------------------------
// TVXWideStrings

int32_t TVXWideStrings::Add(const std::string& S) {
  fStrings.push_back(S);
  return Count() - 1;
}

std::string TVXWideStrings::GetString(int32_t idx) const {
  if (idx < 0 || idx >= Count()) IndexError(idx);
  return fStrings[size_t(idx)];
}

void TVXWideStrings::SetString(int32_t idx, const std::string& S) {
  if (idx < 0 || idx >= Count()) IndexError(idx);
  fStrings[size_t(idx)] = S;
}
