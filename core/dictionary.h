#pragma once
// The keyed value tree TVXDictionary: a hash table from text keys to owned
// values (text, integer, double, Boolean, nested dictionary, list). It
// writes itself as compact JSON (Dump) and reads JSON or a simple XML into
// itself (Parse). Beside it: the xorshift generator TVXRandomGenerator and
// the prime tests that size the hash table.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Base of every value a dictionary holds. Values of classes other than the
// ones below are written by Dump as their class name.
class TVXDictionaryItem {
public:
  virtual ~TVXDictionaryItem() = default;
  virtual std::string ClassName() const = 0;
};

class TVXDictionaryValueWideString : public TVXDictionaryItem {
public:
  explicit TVXDictionaryValueWideString(std::string v = {}) : value(std::move(v)) {}
  std::string ClassName() const override { return "TVXDictionaryValueWideString"; }
  std::string value;
};

class TVXDictionaryValueInteger : public TVXDictionaryItem {
public:
  explicit TVXDictionaryValueInteger(int32_t v = 0) : value(v) {}
  std::string ClassName() const override { return "TVXDictionaryValueInteger"; }
  int32_t value;
};

class TVXDictionaryValueDouble : public TVXDictionaryItem {
public:
  explicit TVXDictionaryValueDouble(double v = 0) : value(v) {}
  std::string ClassName() const override { return "TVXDictionaryValueDouble"; }
  double value;
};

class TVXDictionaryValueBoolean : public TVXDictionaryItem {
public:
  explicit TVXDictionaryValueBoolean(bool v = false) : value(v) {}
  std::string ClassName() const override { return "TVXDictionaryValueBoolean"; }
  bool value;
};

// A list of values that owns its items.
class TVXDictionaryList : public TVXDictionaryItem {
public:
  std::string ClassName() const override { return "TObjectList"; }
  int32_t Count() const { return int32_t(fItems.size()); }
  // Raises EVXException for an index outside 0..Count-1.
  TVXDictionaryItem* Items(int32_t idx) const;
  // Takes the item; returns its index.
  int32_t Add(std::unique_ptr<TVXDictionaryItem> item);

private:
  std::vector<std::unique_ptr<TVXDictionaryItem>> fItems;
};

// Key and bucket count to a bucket index.
using TVXStrHashFunction = uint32_t (*)(const std::string& key, uint32_t bucketCount);

// ELF hash over the key's UTF-16 code units, modulo the bucket count.
uint32_t VXDictionaryHash(const std::string& key, uint32_t bucketCount);
// Tests the odd divisors 3, 5, 7, ... (not 2).
bool VXIsPrime(uint32_t n);
// 2 for n <= 1, else the smallest odd number above n that VXIsPrime accepts.
uint32_t VXNextPrime(uint32_t n);

struct TVXDictionaryBucket {
  std::string key;
  std::unique_ptr<TVXDictionaryItem> value;
  TVXDictionaryBucket* next = nullptr;
};

// Position of an enumeration over a dictionary (GetNext).
struct TVXStrStrEnumerator {
  uint32_t bucket = 0;
  TVXDictionaryBucket* item = nullptr;  // the current entry, none at first
};

class TVXDictionary : public TVXDictionaryItem {
public:
  // A bucket count below 1 counts as 1; a count that VXIsPrime rejects
  // becomes VXNextPrime of it when the table is set up (on first use).
  explicit TVXDictionary(uint32_t buckets);
  TVXDictionary(uint32_t buckets, TVXStrHashFunction hashFunction);
  ~TVXDictionary() override;
  TVXDictionary(const TVXDictionary&) = delete;
  TVXDictionary& operator=(const TVXDictionary&) = delete;
  std::string ClassName() const override { return "TVXDictionary"; }

  void Clear();

  // An existing key gets the new value (the old one is freed); a new key is
  // appended to its bucket's chain. The dictionary owns the value.
  void Insert(const std::string& key, std::unique_ptr<TVXDictionaryItem> value);
  void Insert(const std::string& key, const std::string& value);
  void Insert(const std::string& key, const char* value);
  void Insert(const std::string& key, int32_t value);
  void Insert(const std::string& key, double value);
  void Insert(const std::string& key, bool value);

  // The value of key; when absent and recursive, the first hit in the nested
  // dictionaries (enumeration order). Absent: nullptr when silent, else
  // EVXException "Key "<key>" not found".
  TVXDictionaryItem* Get(const std::string& key, bool silent, bool recursive) const;
  bool HasKey(const std::string& key, bool recursive) const;

  // Converted by the stored kind; a nested dictionary answers with its
  // "#text" entry. Unsuitable kinds raise EVXException "Invalid class typecast".
  std::string GetString(const std::string& key, bool recursive) const;
  int32_t GetInteger(const std::string& key, bool recursive) const;
  double GetDouble(const std::string& key, bool recursive) const;
  bool GetBoolean(const std::string& key, bool recursive) const;
  TVXDictionary* GetDictionary(const std::string& key, bool recursive) const;
  TVXDictionaryList* GetList(const std::string& key, bool recursive) const;

  // Unlinks the key. The value is freed only with freeValue; otherwise it
  // belongs to whoever holds it (taken with Get before). True when the key
  // existed.
  bool Erase(const std::string& key, bool freeValue);

  // Next entry in table order; false at the end, with the enumerator reset.
  bool GetNext(TVXStrStrEnumerator& current) const;
  bool IsEmpty() const;

  // Compact JSON text.
  std::string Dump() const;
  // Reads JSON (first non-blank "{") or XML (first non-blank "<") into this
  // dictionary, merging with what is there. False when the parser aborted.
  bool Parse(const std::string& text);
  // Clear, then Parse of Source's Dump.
  void Assign(const TVXDictionary* Source);

  uint32_t BucketCount() const;

private:
  void InitTable() const;
  TVXDictionaryBucket* Find(const std::string& key) const;

  mutable bool m_initDone = false;
  mutable uint32_t m_bucketCount;
  mutable std::vector<TVXDictionaryBucket*> m_buckets;
  TVXStrHashFunction m_hashFunction;
};

enum TVXDictionaryParserLang { vxplJSON, vxplXML };

// Reads JSON or XML text into a dictionary. Bad input never raises: the
// parser stops, keeps what it has read and reports the abort.
class TVXDictionaryParser {
public:
  explicit TVXDictionaryParser(const std::string& text);
  // Parses into dict; false when aborted.
  bool Parse(TVXDictionary* dict);
  TVXDictionaryParserLang Lang() const { return m_lang; }

private:
  char PeekNonBlank();
  char NextNonBlank();
  bool IsDelimiter(char c) const;
  std::string ReadWord();
  std::string ReadQuoted();
  std::unique_ptr<TVXDictionary> ReadJSONObject(TVXDictionary* into);
  std::unique_ptr<TVXDictionaryItem> ReadJSONValue();
  std::unique_ptr<TVXDictionaryList> ReadJSONList();
  std::unique_ptr<TVXDictionary> ReadXMLContent(TVXDictionary* into);
  std::unique_ptr<TVXDictionary> ReadXMLAttributes();
  static void Merge(TVXDictionary* dict, const std::string& key, std::unique_ptr<TVXDictionaryItem> value);

  std::string m_text;
  size_t m_textLen = 0;
  size_t m_textPos = 0;  // 0-based
  bool m_abort = false;
  TVXDictionaryParserLang m_lang = vxplJSON;
  int m_depth = 0;
};

// xorshift128 generator.
class TVXRandomGenerator {
public:
  explicit TVXRandomGenerator(uint32_t Seed);
  explicit TVXRandomGenerator(const std::string& Seed);
  TVXRandomGenerator(uint32_t Seed1, uint32_t Seed2, uint32_t Seed3, uint32_t Seed4);
  uint32_t NextDWORD();
  // First value the low half, second the high half.
  uint64_t NextINT64();

private:
  uint32_t x, y, z, w;
};
