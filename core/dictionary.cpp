// TVXDictionary, its JSON writer and its JSON/XML parser.

#include "core/dictionary.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "core/textutils.h"
#include "core/vxdefs.h"

namespace {

constexpr uint32_t kParserBuckets = 103;
// Deeper nesting than this is treated as damaged input (the parser recurses).
constexpr int kMaxDepth = 1000;

[[noreturn]] void InvalidCast() { throw EVXException("Invalid class typecast"); }

// Text with every backslash and double quote preceded by a backslash.
void AppendEscaped(std::string& out, const std::string& s) {
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
}

void DumpValue(std::string& out, const TVXDictionaryItem* v);

void DumpList(std::string& out, const TVXDictionaryList* list) {
  out += '[';
  for (int32_t i = 0; i < list->Count(); ++i) {
    if (i) out += ',';
    DumpValue(out, list->Items(i));
  }
  out += ']';
}

void DumpValue(std::string& out, const TVXDictionaryItem* v) {
  if (auto s = dynamic_cast<const TVXDictionaryValueWideString*>(v)) {
    out += '"';
    AppendEscaped(out, s->value);
    out += '"';
  } else if (auto i = dynamic_cast<const TVXDictionaryValueInteger*>(v)) {
    out += std::to_string(i->value);
  } else if (auto d = dynamic_cast<const TVXDictionaryValueDouble*>(v)) {
    out += VXFloatToStrDot(d->value);
  } else if (auto b = dynamic_cast<const TVXDictionaryValueBoolean*>(v)) {
    out += b->value ? "true" : "false";
  } else if (auto dict = dynamic_cast<const TVXDictionary*>(v)) {
    out += dict->Dump();
  } else if (auto list = dynamic_cast<const TVXDictionaryList*>(v)) {
    DumpList(out, list);
  } else if (v) {
    out += v->ClassName();
  }
}

// Integer text in the 32-bit range (decimal, or hexadecimal after "$" or "0x").
bool TryStrToInt(const std::string& s, int32_t& v) {
  int32_t a = VXStrToIntDefAnsi(s, 0);
  int32_t b = VXStrToIntDefAnsi(s, 1);
  if (a != b) return false;
  v = a;
  return true;
}

// Trunc into 32 bits: the low 32 bits of the 64-bit truncation.
int32_t TruncToInt32(double d) {
  if (!std::isfinite(d)) return 0;
  if (d >= 9.2233720368547758e18 || d <= -9.2233720368547758e18) return 0;
  return int32_t(uint32_t(uint64_t(int64_t(d))));
}

std::string TrimText(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && uint8_t(s[b]) <= ' ') ++b;
  while (e > b && uint8_t(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace

// ---------------------------------------------------------------------------
// Free routines

uint32_t VXDictionaryHash(const std::string& key, uint32_t bucketCount) {
  uint32_t h = 0;
  auto step = [&h](uint32_t unit) {
    h = (h << 4) + unit;
    uint32_t g = h & 0xF0000000u;
    if (g != 0) h = (h ^ (g >> 24)) & ~g;
  };
  bool ascii = true;
  for (char c : key)
    if (uint8_t(c) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) {
    for (char c : key) step(uint8_t(c));
  } else {
    for (char16_t u : VXUTF8ToUTF16(key)) step(u);
  }
  return bucketCount ? h % bucketCount : 0;
}

bool VXIsPrime(uint32_t n) {
  for (uint32_t i = 3; n / i >= i; i += 2)
    if (n % i == 0) return false;
  return true;
}

uint32_t VXNextPrime(uint32_t n) {
  if (n <= 1) return 2;
  uint64_t c = (n % 2 == 0) ? uint64_t(n) + 1 : uint64_t(n) + 2;
  while (c <= 0xFFFFFFFFu && !VXIsPrime(uint32_t(c))) c += 2;
  return c <= 0xFFFFFFFFu ? uint32_t(c) : n;
}

// ---------------------------------------------------------------------------
// TVXDictionaryList

TVXDictionaryItem* TVXDictionaryList::Items(int32_t idx) const {
  if (idx < 0 || idx >= Count()) throw EVXException("List index out of bounds (" + std::to_string(idx) + ")");
  return fItems[size_t(idx)].get();
}

int32_t TVXDictionaryList::Add(std::unique_ptr<TVXDictionaryItem> item) {
  fItems.push_back(std::move(item));
  return Count() - 1;
}

// ---------------------------------------------------------------------------
// TVXDictionary

TVXDictionary::TVXDictionary(uint32_t buckets) : TVXDictionary(buckets, VXDictionaryHash) {}

TVXDictionary::TVXDictionary(uint32_t buckets, TVXStrHashFunction hashFunction)
    : m_bucketCount(buckets < 1 ? 1 : buckets), m_hashFunction(hashFunction ? hashFunction : VXDictionaryHash) {}

TVXDictionary::~TVXDictionary() { Clear(); }

void TVXDictionary::InitTable() const {
  if (m_initDone) return;
  if (m_bucketCount < 1) m_bucketCount = 1;
  if (!VXIsPrime(m_bucketCount)) m_bucketCount = VXNextPrime(m_bucketCount);
  m_buckets.assign(m_bucketCount, nullptr);
  m_initDone = true;
}

uint32_t TVXDictionary::BucketCount() const {
  InitTable();
  return m_bucketCount;
}

void TVXDictionary::Clear() {
  for (auto& head : m_buckets) {
    TVXDictionaryBucket* b = head;
    while (b) {
      TVXDictionaryBucket* n = b->next;
      delete b;
      b = n;
    }
    head = nullptr;
  }
}

TVXDictionaryBucket* TVXDictionary::Find(const std::string& key) const {
  if (!m_initDone) return nullptr;
  uint32_t idx = m_hashFunction(key, m_bucketCount) % m_bucketCount;
  for (TVXDictionaryBucket* b = m_buckets[idx]; b; b = b->next)
    if (b->key == key) return b;
  return nullptr;
}

void TVXDictionary::Insert(const std::string& key, std::unique_ptr<TVXDictionaryItem> value) {
  InitTable();
  uint32_t idx = m_hashFunction(key, m_bucketCount) % m_bucketCount;
  TVXDictionaryBucket** link = &m_buckets[idx];
  while (*link) {
    if ((*link)->key == key) {
      (*link)->value = std::move(value);
      return;
    }
    link = &(*link)->next;
  }
  auto* b = new TVXDictionaryBucket;
  b->key = key;
  b->value = std::move(value);
  *link = b;
}

void TVXDictionary::Insert(const std::string& key, const std::string& value) {
  Insert(key, std::make_unique<TVXDictionaryValueWideString>(value));
}
void TVXDictionary::Insert(const std::string& key, const char* value) {
  Insert(key, std::make_unique<TVXDictionaryValueWideString>(value ? value : ""));
}
void TVXDictionary::Insert(const std::string& key, int32_t value) {
  Insert(key, std::make_unique<TVXDictionaryValueInteger>(value));
}
void TVXDictionary::Insert(const std::string& key, double value) {
  Insert(key, std::make_unique<TVXDictionaryValueDouble>(value));
}
void TVXDictionary::Insert(const std::string& key, bool value) {
  Insert(key, std::make_unique<TVXDictionaryValueBoolean>(value));
}

TVXDictionaryItem* TVXDictionary::Get(const std::string& key, bool silent, bool recursive) const {
  if (TVXDictionaryBucket* b = Find(key)) return b->value.get();
  if (recursive) {
    TVXStrStrEnumerator e;
    while (GetNext(e)) {
      if (auto sub = dynamic_cast<const TVXDictionary*>(e.item->value.get()))
        if (TVXDictionaryItem* r = sub->Get(key, true, true)) return r;
    }
  }
  if (silent) return nullptr;
  throw EVXException("Key \"" + key + "\" not found");
}

bool TVXDictionary::HasKey(const std::string& key, bool recursive) const {
  return Get(key, true, recursive) != nullptr;
}

std::string TVXDictionary::GetString(const std::string& key, bool recursive) const {
  TVXDictionaryItem* v = Get(key, false, recursive);
  if (auto s = dynamic_cast<TVXDictionaryValueWideString*>(v)) return s->value;
  if (auto i = dynamic_cast<TVXDictionaryValueInteger*>(v)) return std::to_string(i->value);
  if (auto d = dynamic_cast<TVXDictionaryValueDouble*>(v)) return VXFloatToStrDot(d->value);
  if (auto dict = dynamic_cast<TVXDictionary*>(v)) return dict->GetString("#text", true);
  InvalidCast();
}

int32_t TVXDictionary::GetInteger(const std::string& key, bool recursive) const {
  TVXDictionaryItem* v = Get(key, false, recursive);
  if (auto s = dynamic_cast<TVXDictionaryValueWideString*>(v)) {
    int32_t r;
    if (!TryStrToInt(s->value, r)) throw EVXException("'" + s->value + "' is not a valid integer value");
    return r;
  }
  if (auto i = dynamic_cast<TVXDictionaryValueInteger*>(v)) return i->value;
  if (auto d = dynamic_cast<TVXDictionaryValueDouble*>(v)) return TruncToInt32(d->value);
  if (auto dict = dynamic_cast<TVXDictionary*>(v)) return dict->GetInteger("#text", true);
  InvalidCast();
}

double TVXDictionary::GetDouble(const std::string& key, bool recursive) const {
  TVXDictionaryItem* v = Get(key, false, recursive);
  if (auto s = dynamic_cast<TVXDictionaryValueWideString*>(v)) return double(VXStrToFloatDef(s->value, 0));
  if (auto i = dynamic_cast<TVXDictionaryValueInteger*>(v)) return i->value;
  if (auto d = dynamic_cast<TVXDictionaryValueDouble*>(v)) return d->value;
  if (auto dict = dynamic_cast<TVXDictionary*>(v)) return dict->GetDouble("#text", true);
  InvalidCast();
}

bool TVXDictionary::GetBoolean(const std::string& key, bool recursive) const {
  TVXDictionaryItem* v = Get(key, false, recursive);
  if (auto s = dynamic_cast<TVXDictionaryValueWideString*>(v)) return s->value == "true";
  if (auto i = dynamic_cast<TVXDictionaryValueInteger*>(v)) return i->value != 0;
  if (auto d = dynamic_cast<TVXDictionaryValueDouble*>(v)) return d->value != 0;
  if (auto b = dynamic_cast<TVXDictionaryValueBoolean*>(v)) return b->value;
  if (auto dict = dynamic_cast<TVXDictionary*>(v)) return dict->GetBoolean("#text", true);
  InvalidCast();
}

TVXDictionary* TVXDictionary::GetDictionary(const std::string& key, bool recursive) const {
  if (auto dict = dynamic_cast<TVXDictionary*>(Get(key, false, recursive))) return dict;
  InvalidCast();
}

TVXDictionaryList* TVXDictionary::GetList(const std::string& key, bool recursive) const {
  if (auto list = dynamic_cast<TVXDictionaryList*>(Get(key, false, recursive))) return list;
  InvalidCast();
}

bool TVXDictionary::Erase(const std::string& key, bool freeValue) {
  if (!m_initDone) return false;
  uint32_t idx = m_hashFunction(key, m_bucketCount) % m_bucketCount;
  TVXDictionaryBucket** link = &m_buckets[idx];
  while (*link) {
    TVXDictionaryBucket* b = *link;
    if (b->key == key) {
      *link = b->next;
      if (!freeValue) (void)b->value.release();
      delete b;
      return true;
    }
    link = &b->next;
  }
  return false;
}

bool TVXDictionary::GetNext(TVXStrStrEnumerator& current) const {
  if (m_initDone) {
    if (current.item && current.item->next) {
      current.item = current.item->next;
      return true;
    }
    uint32_t b = current.item ? current.bucket + 1 : current.bucket;
    for (; b < m_bucketCount; ++b) {
      if (m_buckets[b]) {
        current.bucket = b;
        current.item = m_buckets[b];
        return true;
      }
    }
  }
  current.bucket = 0;
  current.item = nullptr;
  return false;
}

bool TVXDictionary::IsEmpty() const {
  if (!m_initDone) return true;
  for (auto* b : m_buckets)
    if (b) return false;
  return true;
}

std::string TVXDictionary::Dump() const {
  std::string out = "{";
  TVXStrStrEnumerator e;
  bool first = true;
  while (GetNext(e)) {
    if (!first) out += ',';
    first = false;
    out += '"';
    AppendEscaped(out, e.item->key);
    out += "\":";
    DumpValue(out, e.item->value.get());
  }
  out += '}';
  return out;
}

bool TVXDictionary::Parse(const std::string& text) {
  TVXDictionaryParser parser(text);
  return parser.Parse(this);
}

void TVXDictionary::Assign(const TVXDictionary* Source) {
  std::string text = Source ? Source->Dump() : std::string("{}");
  Clear();
  Parse(text);
}

// ---------------------------------------------------------------------------
// TVXDictionaryParser

TVXDictionaryParser::TVXDictionaryParser(const std::string& text) : m_text(text), m_textLen(text.size()) {}

char TVXDictionaryParser::PeekNonBlank() {
  while (m_textPos < m_textLen && VXIsBlankChar(uint8_t(m_text[m_textPos]))) ++m_textPos;
  return m_textPos < m_textLen ? m_text[m_textPos] : '\0';
}

char TVXDictionaryParser::NextNonBlank() {
  char c = PeekNonBlank();
  if (m_textPos < m_textLen) ++m_textPos;
  return c;
}

bool TVXDictionaryParser::IsDelimiter(char c) const {
  static const char kJSON[] = "{}[]\":,";
  static const char kXML[] = "<>/'\"=?";
  return std::memchr(m_lang == vxplJSON ? kJSON : kXML, c, 7) != nullptr;
}

std::string TVXDictionaryParser::ReadWord() {
  PeekNonBlank();
  size_t start = m_textPos;
  while (m_textPos < m_textLen && !VXIsBlankChar(uint8_t(m_text[m_textPos])) && !IsDelimiter(m_text[m_textPos]))
    ++m_textPos;
  return m_text.substr(start, m_textPos - start);
}

std::string TVXDictionaryParser::ReadQuoted() {
  char q = NextNonBlank();
  if (q != '"' && q != '\'') {
    m_abort = true;
    return {};
  }
  std::string s;
  while (m_textPos < m_textLen) {
    char c = m_text[m_textPos];
    if (c == q) {
      ++m_textPos;
      return s;
    }
    if (c == '\\' && m_textPos + 1 < m_textLen) {
      char n = m_text[m_textPos + 1];
      if (n == '\\' || n == '"') {
        s += n;
        m_textPos += 2;
        continue;
      }
      if (n == q) {  // an escaped single quote ends nothing and stays as written
        s += c;
        s += n;
        m_textPos += 2;
        continue;
      }
    }
    s += c;
    ++m_textPos;
  }
  m_abort = true;  // no closing quote
  return s;
}

void TVXDictionaryParser::Merge(TVXDictionary* dict, const std::string& key, std::unique_ptr<TVXDictionaryItem> value) {
  TVXDictionaryItem* old = dict->Get(key, true, false);
  if (!old) {
    dict->Insert(key, std::move(value));
  } else if (auto list = dynamic_cast<TVXDictionaryList*>(old)) {
    list->Add(std::move(value));
  } else {
    dict->Erase(key, false);
    std::unique_ptr<TVXDictionaryItem> kept(old);
    auto list2 = std::make_unique<TVXDictionaryList>();
    list2->Add(std::move(kept));
    list2->Add(std::move(value));
    dict->Insert(key, std::move(list2));
  }
}

bool TVXDictionaryParser::Parse(TVXDictionary* dict) {
  m_textPos = 0;
  m_abort = false;
  m_depth = 0;
  char c = PeekNonBlank();
  if (c == '{') {
    m_lang = vxplJSON;
    ReadJSONObject(dict);
  } else if (c == '<') {
    m_lang = vxplXML;
    ReadXMLContent(dict);
  } else {
    m_abort = true;
  }
  return !m_abort;
}

std::unique_ptr<TVXDictionary> TVXDictionaryParser::ReadJSONObject(TVXDictionary* into) {
  std::unique_ptr<TVXDictionary> made;
  if (!into) {
    made = std::make_unique<TVXDictionary>(kParserBuckets);
    into = made.get();
  }
  if (NextNonBlank() != '{' || ++m_depth > kMaxDepth) {
    m_abort = true;
    return made;
  }
  while (m_textPos < m_textLen && !m_abort && PeekNonBlank() != '}') {
    std::string key = ReadQuoted();
    if (m_abort) break;
    if (NextNonBlank() != ':') {
      m_abort = true;
      break;
    }
    std::unique_ptr<TVXDictionaryItem> v = ReadJSONValue();
    if (v) Merge(into, key, std::move(v));
    if (m_abort) break;
    char c = PeekNonBlank();
    if (c == '}') break;
    if (c == ',')
      ++m_textPos;
    else
      m_abort = true;
  }
  if (NextNonBlank() != '}') m_abort = true;
  --m_depth;
  return made;
}

std::unique_ptr<TVXDictionaryItem> TVXDictionaryParser::ReadJSONValue() {
  char c = PeekNonBlank();
  if (c == '"') return std::make_unique<TVXDictionaryValueWideString>(ReadQuoted());
  if (c == '[') return ReadJSONList();
  if (c == '{') return ReadJSONObject(nullptr);
  std::string w = ReadWord();
  if (w == "false") return std::make_unique<TVXDictionaryValueBoolean>(false);
  if (w == "true") return std::make_unique<TVXDictionaryValueBoolean>(true);
  if (w.find('.') != std::string::npos)
    return std::make_unique<TVXDictionaryValueDouble>(double(VXStrToFloatDef(w, 0)));
  // An exponent form is a double when it is a number; any other word
  // ("null", "none") is the integer 0 below.
  if (w.find_first_of("eE") != std::string::npos) {
    const long double e = VXStrToFloatDef(w, std::numeric_limits<long double>::quiet_NaN());
    if (!std::isnan(e)) return std::make_unique<TVXDictionaryValueDouble>(double(e));
  }
  int32_t i;
  if (TryStrToInt(w, i)) return std::make_unique<TVXDictionaryValueInteger>(i);
  // A whole number beyond 32 bits keeps its value as a double.
  bool digits = !w.empty();
  for (size_t k = (w[0] == '-' || w[0] == '+') ? 1 : 0; k < w.size(); ++k)
    if (w[k] < '0' || w[k] > '9') digits = false;
  if (digits && w.size() > 1) return std::make_unique<TVXDictionaryValueDouble>(double(VXStrToFloatDef(w, 0)));
  return std::make_unique<TVXDictionaryValueInteger>(0);
}

std::unique_ptr<TVXDictionaryList> TVXDictionaryParser::ReadJSONList() {
  auto list = std::make_unique<TVXDictionaryList>();
  if (NextNonBlank() != '[' || ++m_depth > kMaxDepth) {
    m_abort = true;
    return list;
  }
  while (m_textPos < m_textLen && !m_abort && PeekNonBlank() != ']') {
    std::unique_ptr<TVXDictionaryItem> v = ReadJSONValue();
    if (m_abort) break;
    list->Add(std::move(v));
    char c = PeekNonBlank();
    if (c == ']') break;
    if (c == ',')
      ++m_textPos;
    else
      m_abort = true;
  }
  if (NextNonBlank() != ']') m_abort = true;
  --m_depth;
  return list;
}

std::unique_ptr<TVXDictionary> TVXDictionaryParser::ReadXMLAttributes() {
  auto attrs = std::make_unique<TVXDictionary>(kParserBuckets);
  for (;;) {
    char c = PeekNonBlank();
    if (c == '/' || c == '>' || c == '?') break;
    std::string name = ReadWord();
    if (NextNonBlank() != '=') {
      m_abort = true;
      break;
    }
    std::string value = ReadQuoted();
    if (m_abort) break;
    attrs->Insert(name, value);
  }
  return attrs;
}

std::unique_ptr<TVXDictionary> TVXDictionaryParser::ReadXMLContent(TVXDictionary* into) {
  std::unique_ptr<TVXDictionary> made;
  if (!into) {
    made = std::make_unique<TVXDictionary>(kParserBuckets);
    into = made.get();
  }
  if (++m_depth > kMaxDepth) {
    m_abort = true;
    return made;
  }
  std::string pending;
  while (m_textPos < m_textLen && !m_abort) {
    size_t p0 = m_textPos;
    char c = PeekNonBlank();
    if (c != '<') {
      // Blanks up to and including the next other character are text.
      size_t end = m_textPos < m_textLen ? m_textPos + 1 : m_textLen;
      pending.append(m_text, p0, end - p0);
      m_textPos = end;
      continue;
    }
    size_t lt = m_textPos;
    ++m_textPos;  // '<'
    c = PeekNonBlank();
    if (c == '/') {
      m_textPos = lt;  // the caller reads the end tag
      break;
    }
    if (c == '?') {
      ++m_textPos;
      std::string name = ReadWord();
      std::unique_ptr<TVXDictionary> attrs = ReadXMLAttributes();
      Merge(into, name, std::move(attrs));
      if (m_abort) break;
      if (NextNonBlank() != '?' || NextNonBlank() != '>') m_abort = true;
      continue;
    }
    std::string name = ReadWord();
    std::unique_ptr<TVXDictionary> attrsOwned = ReadXMLAttributes();
    TVXDictionary* attrs = attrsOwned.get();
    Merge(into, name, std::move(attrsOwned));
    if (m_abort) break;
    c = NextNonBlank();
    if (c == '/') {
      if (m_textPos < m_textLen && m_text[m_textPos] == '>') ++m_textPos;
      continue;
    }
    if (c != '>') continue;
    std::unique_ptr<TVXDictionary> content = ReadXMLContent(nullptr);
    attrs->Insert("#content", std::move(content));
    size_t back = m_textPos;
    if (!m_abort && NextNonBlank() == '<' && NextNonBlank() == '/') {
      std::string endName = ReadWord();
      if (endName == name) NextNonBlank();
    } else {
      m_textPos = back;
    }
  }
  pending = TrimText(pending);
  if (!pending.empty()) into->Insert("#text", pending);
  --m_depth;
  return made;
}

// ---------------------------------------------------------------------------
// TVXRandomGenerator

TVXRandomGenerator::TVXRandomGenerator(uint32_t Seed)
    : x(Seed ^ 123456789u), y((Seed << 8) ^ 362436069u), z((Seed << 16) ^ 521288629u), w((Seed << 24) ^ 88675123u) {}

TVXRandomGenerator::TVXRandomGenerator(const std::string& Seed)
    : x(123456789u), y(362436069u), z(521288629u), w(88675123u) {
  for (char ch : Seed) {
    uint32_t b = uint8_t(ch);
    x ^= b;
    y ^= b << 8;
    z ^= b << 16;
    w ^= b << 24;
  }
}

TVXRandomGenerator::TVXRandomGenerator(uint32_t Seed1, uint32_t Seed2, uint32_t Seed3, uint32_t Seed4)
    : x(Seed1), y(Seed2), z(Seed3), w(Seed4) {}

uint32_t TVXRandomGenerator::NextDWORD() {
  uint32_t t = x ^ (x << 11);
  x = y;
  y = z;
  z = w;
  w = w ^ (w >> 19) ^ t ^ (t >> 8);
  return w;
}

uint64_t TVXRandomGenerator::NextINT64() {
  uint64_t lo = NextDWORD();
  uint64_t hi = NextDWORD();
  return lo | (hi << 32);
}
