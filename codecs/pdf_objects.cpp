// PDF objects, the file layout around them and the page counter.
#include "codecs/pdf_objects.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "core/streams.h"
#include "core/textutils.h"
#include "core/vxdefs.h"

namespace {

void Put(TStream* Stream, const std::string& S) { Stream->WriteBuffer(S.data(), int64_t(S.size())); }

std::string IntText(int64_t V) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, V);
  return std::string(buf, r.ptr);
}

// Frees the items of a container from the last to the first, leaving those
// marked DontFree.
template <class It, class Get>
void FreeReversed(It Begin, It End, Get Item) {
  while (End != Begin) {
    --End;
    TVXPDFObject* o = Item(*End);
    if (o && !o->DontFree) delete o;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Objects

void TVXPDFRefObject::Write(TStream* Stream) {
  Put(Stream, IntText(ObjectNumber) + " " + IntText(GenerationNumber) + " R");
}

void TVXPDFBooleanObject::Write(TStream* Stream) { Put(Stream, Value ? "true" : "false"); }

void TVXPDFNumericObject::Write(TStream* Stream) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::general, 15);
  Put(Stream, std::string(buf, r.ptr));
}

void TVXPDFStringObject::Write(TStream* Stream) {
  std::string s = "(";
  s.reserve(Value.size() + 8);
  for (const char c : Value) {
    switch (c) {
      case '\b': s += "\\b"; break;
      case '\t': s += "\\t"; break;
      case '\n': s += "\\n"; break;
      case '\f': s += "\\f"; break;
      case '\r': s += "\\r"; break;
      case '(': case ')': case '\\': s += '\\'; s += c; break;
      default: s += c;
    }
  }
  s += ')';
  Put(Stream, s);
}

void TVXPDFNameObject::Write(TStream* Stream) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s = "/";
  for (const char ch : Value) {
    const uint8_t c = uint8_t(ch);
    if (c < '!' || c > '~' || std::strchr("#%()/<>[]{}", c) != nullptr) {
      s += '#';
      s += kHex[c >> 4];
      s += kHex[c & 15];
    } else {
      s += char(c);
    }
  }
  Put(Stream, s);
}

TVXPDFArrayObject::~TVXPDFArrayObject() {
  FreeReversed(Items.begin(), Items.end(), [](TVXPDFObject* o) { return o; });
}

TVXPDFObject* TVXPDFArrayObject::Add(TVXPDFObject* Obj) {
  std::unique_ptr<TVXPDFObject> guard(Obj && !Obj->DontFree ? Obj : nullptr);
  Items.push_back(Obj);
  guard.release();
  return Obj;
}

void TVXPDFArrayObject::Write(TStream* Stream) {
  Put(Stream, "[");
  for (TVXPDFObject* o : Items) {
    o->Write(Stream);
    Put(Stream, " ");
  }
  Put(Stream, "]");
}

TVXPDFDictionaryObject::~TVXPDFDictionaryObject() {
  FreeReversed(items.begin(), items.end(), [](const std::pair<std::string, TVXPDFObject*>& e) { return e.second; });
}

TVXPDFObject* TVXPDFDictionaryObject::Add(const std::string& Key, TVXPDFObject* Obj) {
  return Insert(items.size(), Key, Obj);
}

TVXPDFObject* TVXPDFDictionaryObject::Insert(size_t Position, const std::string& Key, TVXPDFObject* Obj) {
  std::unique_ptr<TVXPDFObject> guard(Obj && !Obj->DontFree ? Obj : nullptr);
  items.insert(items.begin() + std::ptrdiff_t(std::min(Position, items.size())), {Key, Obj});
  guard.release();
  return Obj;
}

TVXPDFObject* TVXPDFDictionaryObject::Find(const std::string& Key) const {
  for (const auto& e : items)
    if (e.first == Key) return e.second;
  return nullptr;
}

void TVXPDFDictionaryObject::Write(TStream* Stream) {
  Put(Stream, "<< ");
  for (const auto& e : items) {
    Put(Stream, "/" + e.first + " ");
    e.second->Write(Stream);
    Put(Stream, "\n");
  }
  Put(Stream, ">>");
}

TVXPDFStreamObject::TVXPDFStreamObject() : dict(std::make_unique<TVXPDFDictionaryObject>()) {
  dict->Add("Length", new TVXPDFNumericObject(0));
}

TVXPDFStreamObject::~TVXPDFStreamObject() = default;

std::unique_ptr<TVXPDFStreamObject> TVXPDFStreamObject::CreateCopy(const void* Data, int64_t Length) {
  auto s = std::make_unique<TVXPDFStreamObject>();
  if (Length > 0) {
    s->data = std::make_unique<uint8_t[]>(size_t(Length));
    std::memcpy(s->data.get(), Data, size_t(Length));
    s->length = Length;
  }
  return s;
}

void TVXPDFStreamObject::FlushToCache() {
  if (cache) throw EVXException("The data of a PDF stream object are already in a temporary file");
  std::string name;
  VXGetDefaultTempFileName(name);
  auto file = std::make_unique<TVXTemporaryFileStream>(name);
  if (length > 0) file->WriteBuffer(data.get(), length);
  cache = std::move(file);
  data.reset();
}

void TVXPDFStreamObject::Write(TStream* Stream) {
  if (auto* len = dynamic_cast<TVXPDFNumericObject*>(dict->Find("Length")))
    len->Value = double(length);
  else
    dict->Add("Length", new TVXPDFNumericObject(double(length)));
  dict->Write(Stream);
  Put(Stream, "\nstream\n");
  if (cache) {
    cache->Seek(0, soBeginning);
    uint8_t buf[65536];
    int64_t left = length;
    while (left > 0) {
      const int64_t n = std::min<int64_t>(left, sizeof buf);
      cache->ReadBuffer(buf, n);
      Stream->WriteBuffer(buf, n);
      left -= n;
    }
  } else if (length > 0) {
    Stream->WriteBuffer(data.get(), length);
  }
  Put(Stream, "\nendstream");
}

// ---------------------------------------------------------------------------
// Document structure

TVXPDFObject* VXPDFAddObject(TVXPDFObjectList& Objects, TVXPDFObject* Obj) {
  std::unique_ptr<TVXPDFObject> owned(Obj);
  Objects.push_back(std::move(owned));
  Obj->Index = int32_t(Objects.size());
  return Obj;
}

TVXPDFDictionaryObject* VXPDFCreateCatalog(TVXPDFObjectList& Objects) {
  auto* catalog = new TVXPDFDictionaryObject();
  VXPDFAddObject(Objects, catalog);
  catalog->Add("Type", new TVXPDFNameObject("Catalog"));
  return catalog;
}

TVXPDFDictionaryObject* VXPDFAddPageDictionary(TVXPDFObjectList& Objects, std::vector<TVXPDFDictionaryObject*>& Pages,
                                               TVXPDFDictionaryObject* Resources, int32_t ContentsNumber,
                                               TVXPDFArrayObject* MediaBox) {
  std::unique_ptr<TVXPDFArrayObject> box(MediaBox);
  auto* page = new TVXPDFDictionaryObject();
  VXPDFAddObject(Objects, page);
  page->Add("Type", new TVXPDFNameObject("Page"));
  if (Resources) page->Add("Resources", new TVXPDFRefObject(Resources->Index, 0));
  page->Add("MediaBox", box.release());
  page->Add("Contents", new TVXPDFRefObject(ContentsNumber, 0));
  Pages.push_back(page);
  return page;
}

TVXPDFDictionaryObject* VXPDFCreatePagesTree(TVXPDFObjectList& Objects,
                                             const std::vector<TVXPDFDictionaryObject*>& Pages) {
  auto* root = new TVXPDFDictionaryObject();
  VXPDFAddObject(Objects, root);
  root->Add("Type", new TVXPDFNameObject("Pages"));
  auto* kids = new TVXPDFArrayObject();
  root->Add("Kids", kids);
  for (TVXPDFDictionaryObject* page : Pages) {
    kids->Add(new TVXPDFRefObject(page->Index, 0));
    page->Add("Parent", new TVXPDFRefObject(root->Index, 0));
  }
  root->Add("Count", new TVXPDFNumericObject(double(Pages.size())));
  if (auto* catalog = dynamic_cast<TVXPDFDictionaryObject*>(Objects.front().get()); catalog && catalog != root)
    catalog->Add("Pages", new TVXPDFRefObject(root->Index, 0));
  return root;
}

void VXPDFWriteHeader(TStream* Stream) {
  static const char kHeader[] = "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n";
  Stream->WriteBuffer(kHeader, int64_t(sizeof kHeader - 1));
}

void VXPDFWriteObjects(TStream* Stream, TVXPDFObjectList& Objects) {
  int32_t n = 0;
  for (const auto& o : Objects) {
    ++n;
    o->Position = Stream->Position();
    Put(Stream, IntText(n) + " 0 obj\n");
    o->Write(Stream);
    Put(Stream, "\nendobj\n");
  }
}

void VXPDFWriteXRefAndTrailer(TStream* Stream, const TVXPDFObjectList& Objects, const TVXPDFObject* Info) {
  const int64_t xref = Stream->Position();
  const std::string size = IntText(int64_t(Objects.size()) + 1);
  std::string s = "xref\n0 " + size + "\n0000000000 65535 f \n";
  for (const auto& o : Objects) {
    std::string offset = IntText(o->Position);
    if (offset.size() < 10) offset.insert(0, 10 - offset.size(), '0');
    s += offset + " 00000 n \n";
  }
  s += "trailer\n<< /Size " + size + "\n/Root 1 0 R\n";
  if (Info) s += "/Info " + IntText(Info->Index) + " 0 R\n";
  s += ">>\nstartxref\n" + IntText(xref) + "\n%%EOF\n";
  Put(Stream, s);
}

// ---------------------------------------------------------------------------
// Page counter

namespace {

// Matches one pattern over the bytes of a candidate dictionary.
struct TPatternMatch {
  const char* Pattern;
  size_t Length;
  std::string Window;  // the last bytes seen, at most Length
  bool Found = false;

  explicit TPatternMatch(const char* P) : Pattern(P), Length(std::strlen(P)) {}
  void Reset() {
    Window.clear();
    Found = false;
  }
  // True the first time the pattern ends at this byte.
  bool Feed(char c) {
    if (Found) return false;
    Window += c;
    if (Window.size() > Length) Window.erase(0, 1);
    if (Window.size() == Length && std::memcmp(Window.data(), Pattern, Length) == 0) {
      Found = true;
      return true;
    }
    return false;
  }
};

bool IsPDFWhiteSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }

// The count text as a page count: a decimal number of one or more digits,
// else 0.
int32_t CountValue(const std::string& Text) {
  int32_t v = 0;
  const char* end = Text.data() + Text.size();
  const auto r = std::from_chars(Text.data(), end, v);
  if (r.ec != std::errc() || r.ptr != end || v < 0) return 0;
  return v;
}

}  // namespace

int32_t VXGetPDFPageCount(TStream* InputStream) {
  const int64_t start = InputStream->Position();
  int32_t result = 0;
  {
    InputStream->Seek(0, soBeginning);
    TVXBufferedReadStream in(InputStream, 8192, false);
    TPatternMatch count("/Count "), parent("/Parent"), typePages("/Type /Pages");
    bool inside = false;   // between "<<" and its ">>"
    char prev = 0;         // the byte before, within the current search
    bool havePrev = false;
    bool collecting = false;  // reading the characters after "/Count "
    std::string countText;
    bool done = false;
    char buf[8192];
    while (!done) {
      const int64_t got = in.Read(buf, sizeof buf);
      if (got <= 0) break;
      for (int64_t i = 0; i < got && !done; ++i) {
        const char c = buf[i];
        if (!inside) {
          if (havePrev && prev == '<' && c == '<') {
            inside = true;
            havePrev = false;
            count.Reset();
            parent.Reset();
            typePages.Reset();
            collecting = false;
            countText.clear();
            continue;
          }
          prev = c;
          havePrev = true;
          continue;
        }
        if (collecting) {
          if (IsPDFWhiteSpace(c) || countText.size() > 32)
            collecting = false;
          else
            countText += c;
        }
        if (count.Feed(c)) collecting = true;
        parent.Feed(c);
        typePages.Feed(c);
        if (havePrev && prev == '>' && c == '>') {
          // The candidate ends here.
          if (count.Found && !parent.Found && typePages.Found) {
            result = CountValue(countText);
            done = true;
          }
          inside = false;
          havePrev = false;
          continue;
        }
        prev = c;
        havePrev = true;
      }
    }
  }
  InputStream->Seek(start, soBeginning);
  return result;
}

int32_t VXGetPDFFilePageCount(const std::string& FileName) {
  TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  return VXGetPDFPageCount(&file);
}
