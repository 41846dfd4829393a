// String lists.
#include "gui/classes.h"

#include <algorithm>

#include "platform/utf.h"

namespace {

uint32_t Fold(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0x80) return c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    // Latin Extended-A: pairs of capital and small letter, capital first,
    // even from U+0100 and odd from U+0139 and U+0179.
    const bool oddCapitals = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    if (oddCapitals ? (c & 1) : !(c & 1)) return c + 1;
  }
  return c;
}

std::string Quoted(const std::string& s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

}  // namespace

int VXCompareText(const std::string& A, const std::string& B) {
  size_t i = 0, j = 0;
  while (i < A.size() && j < B.size()) {
    const uint32_t a = Fold(VXNextUTF8(A, i)), b = Fold(VXNextUTF8(B, j));
    if (a != b) return a < b ? -1 : 1;
  }
  if (i < A.size()) return 1;
  if (j < B.size()) return -1;
  return 0;
}

// ---------------------------------------------------------------------------
// TStrings

void TStrings::CheckIndex(int Index, bool AllowCount) const {
  if (Index < 0 || Index > Count() || (Index == Count() && !AllowCount))
    throw EInvalidOperation("List index out of bounds (" + std::to_string(Index) + ")");
}

const std::string& TStrings::Strings(int Index) const {
  CheckIndex(Index);
  return fItems[size_t(Index)].S;
}

void TStrings::SetStrings(int Index, const std::string& S) {
  CheckIndex(Index);
  if (fItems[size_t(Index)].S == S) return;
  fItems[size_t(Index)].S = S;
  Changed();
}

void* TStrings::Objects(int Index) const {
  CheckIndex(Index);
  return fItems[size_t(Index)].Object;
}

void TStrings::SetObjects(int Index, void* AObject) {
  CheckIndex(Index);
  fItems[size_t(Index)].Object = AObject;
  Changed();
}

int TStrings::AddObject(const std::string& S, void* AObject) {
  fItems.push_back(Item{S, AObject});
  Changed();
  return Count() - 1;
}

void TStrings::AddStrings(const TStrings& Strings) {
  BeginUpdate();
  try {
    for (const Item& it : std::vector<Item>(Strings.fItems)) AddObject(it.S, it.Object);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStrings::InsertObject(int Index, const std::string& S, void* AObject) {
  CheckIndex(Index, true);
  fItems.insert(fItems.begin() + Index, Item{S, AObject});
  Changed();
}

void TStrings::Delete(int Index) {
  CheckIndex(Index);
  fItems.erase(fItems.begin() + Index);
  Changed();
}

void TStrings::Clear() {
  if (fItems.empty()) return;
  fItems.clear();
  Changed();
}

void TStrings::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(fItems[size_t(Index1)], fItems[size_t(Index2)]);
  Changed();
}

void TStrings::Move(int CurIndex, int NewIndex) {
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  if (CurIndex == NewIndex) return;
  Item it = fItems[size_t(CurIndex)];
  fItems.erase(fItems.begin() + CurIndex);
  fItems.insert(fItems.begin() + NewIndex, it);
  Changed();
}

bool TStrings::SameText(const std::string& A, const std::string& B) const { return VXCompareText(A, B) == 0; }

int TStrings::IndexOf(const std::string& S) const {
  for (size_t i = 0; i < fItems.size(); ++i)
    if (SameText(fItems[i].S, S)) return int(i);
  return -1;
}

int TStrings::IndexOfObject(void* AObject) const {
  for (size_t i = 0; i < fItems.size(); ++i)
    if (fItems[i].Object == AObject) return int(i);
  return -1;
}

std::string TStrings::Text() const {
  std::string r;
  for (const Item& it : fItems) r += it.S + "\n";
  return r;
}

void TStrings::SetText(const std::string& Value) {
  BeginUpdate();
  try {
    Clear();
    std::string line;
    size_t i = 0;
    while (i < Value.size()) {
      char c = Value[i++];
      if (c == '\r' || c == '\n') {
        if (c == '\r' && i < Value.size() && Value[i] == '\n') ++i;
        Add(line);
        line.clear();
      } else {
        line += c;
      }
    }
    if (!line.empty()) Add(line);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::CommaText() const {
  std::string r;
  for (size_t i = 0; i < fItems.size(); ++i) {
    const std::string& s = fItems[i].S;
    if (i) r += ',';
    bool quote = s.empty() ? false : s.find_first_of(", \"") != std::string::npos;
    r += quote ? Quoted(s) : s;
  }
  return r;
}

void TStrings::EndUpdate() {
  if (fUpdateCount > 0 && --fUpdateCount == 0 && fPending) {
    fPending = false;
    Changed();
  }
}

void TStrings::Changed() {
  if (fUpdateCount > 0) {
    fPending = true;
    return;
  }
  if (OnChange) OnChange(this);
}

void TStrings::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TStrings*>(Source);
  if (!src) return TPersistent::Assign(Source);
  if (src == this) return;
  BeginUpdate();
  try {
    Clear();
    AddStrings(*src);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

bool TStrings::Equals(const TStrings& Other) const {
  if (Count() != Other.Count()) return false;
  for (size_t i = 0; i < fItems.size(); ++i)
    if (fItems[i].S != Other.fItems[i].S) return false;
  return true;
}

// ---------------------------------------------------------------------------
// TStringList

int TStringList::CompareStrings(const std::string& A, const std::string& B) const {
  if (fCaseSensitive) {
    // Letters still sort alphabetically; case only breaks ties (lower first).
    int c = VXCompareText(A, B);
    if (c) return c;
    return A == B ? 0 : (A > B ? -1 : 1);
  }
  return VXCompareText(A, B);
}

bool TStringList::SameText(const std::string& A, const std::string& B) const {
  return fCaseSensitive ? A == B : VXCompareText(A, B) == 0;
}

void TStringList::Sort() {
  std::stable_sort(fItems.begin(), fItems.end(),
                   [this](const Item& a, const Item& b) { return CompareStrings(a.S, b.S) < 0; });
  Changed();
}

void TStringList::SetSorted(bool v) {
  if (v == fSorted) return;
  if (v) Sort();
  fSorted = v;
}

void TStringList::SetCaseSensitive(bool v) {
  if (v == fCaseSensitive) return;
  fCaseSensitive = v;
  if (fSorted) Sort();
}

bool TStringList::Find(const std::string& S, int& Index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(fItems[size_t(mid)].S, S);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (fDuplicates != dupAccept) lo = mid;
      }
    }
  }
  Index = lo;
  return found;
}

int TStringList::AddObject(const std::string& S, void* AObject) {
  if (!fSorted) return TStrings::AddObject(S, AObject);
  int index;
  if (Find(S, index)) {
    if (fDuplicates == dupIgnore) return index;
    if (fDuplicates == dupError) throw EInvalidOperation("String list does not allow duplicates");
  }
  // After equal texts, so that equal ones keep the order they were added in.
  while (index < Count() && CompareStrings(fItems[size_t(index)].S, S) == 0) ++index;
  fItems.insert(fItems.begin() + index, Item{S, AObject});
  Changed();
  return index;
}

void TStringList::Insert(int Index, const std::string& S) {
  if (fSorted) throw EInvalidOperation("Operation not allowed on sorted list");
  TStrings::Insert(Index, S);
}

void TStringList::SetStrings(int Index, const std::string& S) {
  if (fSorted) throw EInvalidOperation("Operation not allowed on sorted list");
  TStrings::SetStrings(Index, S);
}

int TStringList::IndexOf(const std::string& S) const {
  if (!fSorted) return TStrings::IndexOf(S);
  int index;
  if (!Find(S, index)) return -1;
  // Find with case-insensitive order may land on a text equal only without case.
  for (int i = index; i < Count() && CompareStrings(fItems[size_t(i)].S, S) == 0; ++i)
    if (SameText(fItems[size_t(i)].S, S)) return i;
  return -1;
}
