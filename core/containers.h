#pragma once
// Small containers: the integer hash set THash1, the growable lists of
// fixed-size items TVXList (TVXDoubleList, TVXIntegerList, TVXRecordList)
// that record which of their parts changed, and the string list
// TVXWideStrings. Indexes outside the valid range raise EVXException
// "List index out of bounds (<index>)" unless an operation says otherwise.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// THash1: 32-bit keys with one 32-bit value each.

struct THash1Item {
  int32_t key = 0;
  THash1Item* nextitem = nullptr;
  int32_t value = 0;
};

class THash1 {
public:
  // 2^Hbits slots (Hbits 0 to 30); a key's slot is its low Hbits bits.
  explicit THash1(int32_t Hbits);
  ~THash1();
  THash1(const THash1&) = delete;
  THash1& operator=(const THash1&) = delete;

  // True when kk was new. slot and item name the key's place: item nullptr
  // when the key is held in its slot, else the chain item that holds it.
  bool Insert2(int32_t kk, int32_t& slot, THash1Item*& item);
  bool Insert(int32_t kk);
  bool KeyPresent(int32_t kk) const;
  void SetValue(int32_t slot, THash1Item* item, int32_t Value);
  int32_t GetValue(int32_t slot, THash1Item* item) const;

  // Visits the values in slot order, chains in insertion order.
  bool IterateBegin();
  bool IterateNext();
  int32_t IterateGetValue() const;

  int32_t nkeys() const { return fnkeys; }
  int32_t Hbits() const { return fHbits; }
  int32_t Hdim() const { return fHdim; }

private:
  void CheckSlot(int32_t slot) const;

  std::vector<int32_t> fMainKeys;         // state 1: the key
  std::vector<THash1Item*> fMainChains;   // state 2: the first item of the chain
  std::vector<uint8_t> fMainKeysUse;      // 0 empty, 1 key in slot, 2 chain
  std::vector<int32_t> fMainKeysValue;    // value of a state-1 slot's key
  int32_t fHbits = 0;
  int32_t fHdim = 0;
  int32_t fIteratePtr1 = -1;
  THash1Item* fIteratePtr2 = nullptr;
  int32_t fnkeys = 0;
};

// ---------------------------------------------------------------------------
// TVXList and its typed descendants

enum TVXListChange : uint8_t { vxlItems, vxlRange, vxlCurrentValue };

struct TVXListChanges {
  uint8_t Bits = 0;
  constexpr TVXListChanges() = default;
  constexpr TVXListChanges(std::initializer_list<TVXListChange> items) {
    for (TVXListChange c : items) Include(c);
  }
  constexpr bool Contains(TVXListChange c) const { return (Bits >> unsigned(c)) & 1u; }
  constexpr void Include(TVXListChange c) { Bits = uint8_t(Bits | (1u << unsigned(c))); }
  constexpr void Exclude(TVXListChange c) { Bits = uint8_t(Bits & ~(1u << unsigned(c))); }
  constexpr bool Empty() const { return Bits == 0; }
  constexpr bool operator==(const TVXListChanges&) const = default;
};

// Called with the list and the address of its current value.
using TVXListCurrentValueEvent = std::function<void(void* Sender, void* Value)>;

class TVXList {
public:
  TVXList(TVXListCurrentValueEvent OnGetCurrentValue, TVXListCurrentValueEvent OnSetCurrentValue);
  virtual ~TVXList() = default;
  TVXList(const TVXList&) = delete;
  TVXList& operator=(const TVXList&) = delete;

  int32_t Count() const { return fCount; }
  // Growing beyond the capacity doubles it (at least to Value); new items
  // are not initialised. A negative Value raises EVXException.
  virtual void SetCount(int32_t Value);
  // An index outside 0..Count-1 changes nothing.
  virtual void Delete(int32_t idx);
  virtual void Clear();
  // Copies count, item size, Changed and the items (capacity = Count).
  virtual void Assign(const TVXList* Source);

  int32_t Capacity() const { return fCapacity; }
  int32_t ItemSize() const { return fItemSize; }
  TVXListChanges Changed() const { return fChanged; }
  void SetChanged(TVXListChanges Value) { fChanged = Value; }

protected:
  int32_t AddItem(const void* p);
  void InsertItem(int32_t idx, const void* p);
  int32_t IndexOfItem(const void* p) const;
  void* ItemAddress(int32_t idx) const;
  // Copies the item when idx < Count; nothing for larger indexes.
  void SetItemData(int32_t idx, const void* p);
  void DoGetCurrentValue(void* p);
  void DoSetCurrentValue(void* p);
  void CheckIndex(int32_t idx) const;

  int32_t fCapacity = 0;
  int32_t fCount = 0;
  TVXListCurrentValueEvent fOnGetCurrentValue;
  TVXListCurrentValueEvent fOnSetCurrentValue;
  int32_t fItemSize = 0;
  std::unique_ptr<uint8_t[]> fData;
  TVXListChanges fChanged;

private:
  void ClearBase();
};

// Items of type T with a range (minimum, maximum, step) and a current value.
template <class T>
class TVXNumberList : public TVXList {
public:
  explicit TVXNumberList(TVXListCurrentValueEvent OnGetCurrentValue = {},
                         TVXListCurrentValueEvent OnSetCurrentValue = {});
  int32_t Add(T v) { return AddItem(&v); }
  void Insert(int32_t idx, T v) { InsertItem(idx, &v); }
  // Compares bit patterns (-0.0 is not 0.0).
  int32_t IndexOf(T v) const { return IndexOfItem(&v); }
  T GetItem(int32_t idx) const;
  void SetItem(int32_t idx, T v) { SetItemData(idx, &v); }
  T Items(int32_t idx) const { return GetItem(idx); }
  void SetItems(int32_t idx, T v) { SetItem(idx, v); }

  void Clear() override;
  // Source must be of the same class (else EVXException "Invalid class typecast").
  void Assign(const TVXList* Source) override;

  T RangeMin() const { return fRangeMin; }
  T RangeMax() const { return fRangeMax; }
  T RangeStep() const { return fRangeStep; }
  void SetRangeMin(T v);
  void SetRangeMax(T v);
  void SetRangeStep(T v);
  // The read lets the get-callback refresh the value first; the write calls
  // the set-callback after storing it.
  T CurrentValue();
  void SetCurrentValue(T v);

protected:
  T fRangeMin = 0;
  T fRangeMax = 0;
  T fRangeStep = 0;
  T fCurrentValue = 0;
};

class TVXDoubleList : public TVXNumberList<double> {
public:
  using TVXNumberList<double>::TVXNumberList;
};

class TVXIntegerList : public TVXNumberList<int32_t> {
public:
  using TVXNumberList<int32_t>::TVXNumberList;
};

// Records of a size fixed at creation.
class TVXRecordList : public TVXList {
public:
  // RecordSize must be at least 1 (else EVXException).
  explicit TVXRecordList(int32_t RecordSize);
  int32_t Add(const void* v) { return AddItem(v); }
  void Insert(int32_t idx, const void* v) { InsertItem(idx, v); }
  int32_t IndexOf(const void* v) const { return IndexOfItem(v); }
  void SetItem(int32_t idx, const void* v) { SetItemData(idx, v); }
  // The record inside the list, valid until the list grows or changes.
  void* GetItem(int32_t idx) const { return ItemAddress(idx); }
  void* Items(int32_t idx) const { return ItemAddress(idx); }
  // Keeps the record size.
  void Clear() override;
};

// ---------------------------------------------------------------------------
// TVXWideStrings: a list of strings, each kept as its own copy.

class TVXWideStrings {
public:
  TVXWideStrings() = default;
  int32_t Add(const std::string& S);
  std::string GetString(int32_t idx) const;
  void SetString(int32_t idx, const std::string& S);
  std::string Strings(int32_t idx) const { return GetString(idx); }
  void SetStrings(int32_t idx, const std::string& S) { SetString(idx, S); }
  void Clear() { fStrings.clear(); }
  int32_t Count() const { return int32_t(fStrings.size()); }

private:
  std::vector<std::string> fStrings;
};
