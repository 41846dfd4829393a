// String lists of the GUI class library: TStrings holds UTF-8 texts, each
// with an attached object pointer, in the order they were put; the item
// lists of list and combo boxes are TStrings (and never sort). TStringList
// stands alone and can keep itself sorted.
#pragma once
#include <string>
#include <vector>

#include "gui/component.h"
#include "gui/graphics.h"  // TNotifyEvent

class TStrings : public TPersistent {
 public:
  TStrings() = default;
  ~TStrings() override = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;

  int Count() const { return int(fItems.size()); }
  // Raise EInvalidOperation "List index out of bounds (n)" outside 0..Count-1.
  const std::string& Strings(int Index) const;
  virtual void SetStrings(int Index, const std::string& S);
  void* Objects(int Index) const;
  void SetObjects(int Index, void* AObject);
  // Adds at the end (a sorted list: at its place); answers the index.
  virtual int Add(const std::string& S) { return AddObject(S, nullptr); }
  virtual int AddObject(const std::string& S, void* AObject);
  void AddStrings(const TStrings& Strings);
  // Index 0..Count (Count: at the end).
  virtual void Insert(int Index, const std::string& S);
  void InsertObject(int Index, const std::string& S, void* AObject);
  virtual void Delete(int Index);
  virtual void Clear();
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  // The first index of S (compared without case unless the list says
  // otherwise); -1 for none.
  virtual int IndexOf(const std::string& S) const;
  int IndexOfObject(void* AObject) const;
  // The texts joined by line breaks (each followed by "\n"); SetText splits
  // at "\r\n", "\n" or "\r".
  std::string Text() const;
  void SetText(const std::string& Value);
  // "a,b" with texts holding a comma, space or quote in double quotes.
  std::string CommaText() const;
  // Changes between BeginUpdate and the last EndUpdate tell OnChange once.
  void BeginUpdate() { ++fUpdateCount; }
  void EndUpdate();
  // Copies the texts and objects of another TStrings.
  void Assign(TPersistent* Source) override;
  bool Equals(const TStrings& Other) const;

  TNotifyEvent OnChange;

 protected:
  struct Item {
    std::string S;
    void* Object = nullptr;
  };
  // The list changed (OnChange unless updating).
  virtual void Changed();
  void CheckIndex(int Index, bool AllowCount = false) const;
  virtual bool SameText(const std::string& A, const std::string& B) const;
  std::vector<Item> fItems;

 private:
  int fUpdateCount = 0;
  bool fPending = false;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
 public:
  TStringList() = default;
  bool Sorted() const { return fSorted; }
  // Turning it on sorts the list.
  void SetSorted(bool v);
  // Texts compare without case unless set (also for IndexOf).
  bool CaseSensitive() const { return fCaseSensitive; }
  void SetCaseSensitive(bool v);
  TDuplicates Duplicates() const { return fDuplicates; }
  void SetDuplicates(TDuplicates v) { fDuplicates = v; }
  // Stable sort of the texts (compared as CaseSensitive says).
  virtual void Sort();
  // In a sorted list: true when S is found; Index is where it is or would go.
  bool Find(const std::string& S, int& Index) const;
  int AddObject(const std::string& S, void* AObject) override;
  // Raise EInvalidOperation "Operation not allowed on sorted list" while
  // sorted.
  void Insert(int Index, const std::string& S) override;
  void SetStrings(int Index, const std::string& S) override;
  int IndexOf(const std::string& S) const override;
  // Negative, zero or positive as A sorts before, with or after B.
  int CompareStrings(const std::string& A, const std::string& B) const;

 protected:
  bool SameText(const std::string& A, const std::string& B) const override;

 private:
  bool fSorted = false;
  bool fCaseSensitive = false;
  TDuplicates fDuplicates = dupIgnore;
};

// Compares two UTF-8 texts without case (letters of Latin, Greek and
// Cyrillic scripts folded), then by code points.
int VXCompareText(const std::string& A, const std::string& B);
