// PDF objects that write themselves, the routines that lay out a whole PDF
// file (header, numbered objects, cross-reference table, trailer) and build
// its catalog, page tree and page dictionaries, and the page counter of an
// existing PDF file.
//
// Numbers are written without the locale: "." is always the decimal
// separator. Lines end with a line feed alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TStream;
class TVXTemporaryFileStream;

class TVXPDFObject {
 public:
  virtual ~TVXPDFObject() = default;
  virtual void Write(TStream* Stream) = 0;

  // The object number once the object is in a document's object list.
  int32_t Index = 0;
  // Where the object was last written as a numbered object.
  int64_t Position = 0;
  // Containers leave an item with DontFree set to its owner.
  bool DontFree = false;
};

// A document's numbered objects: object n is entry n - 1. The list owns them.
using TVXPDFObjectList = std::vector<std::unique_ptr<TVXPDFObject>>;

// "n g R"
class TVXPDFRefObject : public TVXPDFObject {
 public:
  TVXPDFRefObject(int32_t ObjectNumber, int32_t GenerationNumber)
      : ObjectNumber(ObjectNumber), GenerationNumber(GenerationNumber) {}
  void Write(TStream* Stream) override;
  int32_t ObjectNumber;
  int32_t GenerationNumber;
};

// "true" or "false"
class TVXPDFBooleanObject : public TVXPDFObject {
 public:
  explicit TVXPDFBooleanObject(bool Value) : Value(Value) {}
  void Write(TStream* Stream) override;
  bool Value;
};

// The shortest text of up to 15 significant digits, no trailing zeros.
class TVXPDFNumericObject : public TVXPDFObject {
 public:
  explicit TVXPDFNumericObject(double Value) : Value(Value) {}
  void Write(TStream* Stream) override;
  double Value;
};

// A literal string of 8-bit characters: "(" text ")", with the control
// characters \b \t \n \f \r and "(", ")", "\" escaped by a backslash.
class TVXPDFStringObject : public TVXPDFObject {
 public:
  explicit TVXPDFStringObject(std::string Value) : Value(std::move(Value)) {}
  void Write(TStream* Stream) override;
  std::string Value;
};

// "/" name, each byte outside "!".."~" (and the bytes that would end or
// change a name: "#", "%", "(", ")", "/", "<", ">", "[", "]", "{", "}")
// written as "#" and two upper-case hexadecimal digits.
class TVXPDFNameObject : public TVXPDFObject {
 public:
  explicit TVXPDFNameObject(std::string Value) : Value(std::move(Value)) {}
  void Write(TStream* Stream) override;
  std::string Value;
};

// "[" each item and a blank "]". Owns its items.
class TVXPDFArrayObject : public TVXPDFObject {
 public:
  TVXPDFArrayObject() = default;
  ~TVXPDFArrayObject() override;
  TVXPDFArrayObject(const TVXPDFArrayObject&) = delete;
  TVXPDFArrayObject& operator=(const TVXPDFArrayObject&) = delete;
  void Write(TStream* Stream) override;
  // Takes ownership of Obj (unless it is DontFree); returns it.
  TVXPDFObject* Add(TVXPDFObject* Obj);
  std::vector<TVXPDFObject*> Items;
};

// "<< " then "/key value" and a line feed for each entry, ">>". Entries stay
// in insertion order; the dictionary owns its values.
class TVXPDFDictionaryObject : public TVXPDFObject {
 public:
  TVXPDFDictionaryObject() = default;
  ~TVXPDFDictionaryObject() override;
  TVXPDFDictionaryObject(const TVXPDFDictionaryObject&) = delete;
  TVXPDFDictionaryObject& operator=(const TVXPDFDictionaryObject&) = delete;
  void Write(TStream* Stream) override;
  // Appends an entry (taking ownership of Obj); returns Obj.
  TVXPDFObject* Add(const std::string& Key, TVXPDFObject* Obj);
  // Inserts an entry before entry Position.
  TVXPDFObject* Insert(size_t Position, const std::string& Key, TVXPDFObject* Obj);
  // The value of Key, or nullptr.
  TVXPDFObject* Find(const std::string& Key) const;
  std::vector<std::pair<std::string, TVXPDFObject*>> items;
};

// A dictionary with "Length", then "stream", the bytes and "endstream". The
// bytes live in memory until FlushToCache moves them to a temporary file,
// which vanishes with the object.
class TVXPDFStreamObject : public TVXPDFObject {
 public:
  // An empty stream: a dictionary holding Length 0 and no data.
  TVXPDFStreamObject();
  ~TVXPDFStreamObject() override;
  TVXPDFStreamObject(const TVXPDFStreamObject&) = delete;
  TVXPDFStreamObject& operator=(const TVXPDFStreamObject&) = delete;
  // A stream holding a copy of Length bytes of Data.
  static std::unique_ptr<TVXPDFStreamObject> CreateCopy(const void* Data, int64_t Length);
  void Write(TStream* Stream) override;
  // Moves the data into a new temporary file and frees the memory block.
  // Only once per object.
  void FlushToCache();

  std::unique_ptr<uint8_t[]> data;
  int64_t length = 0;
  std::unique_ptr<TVXPDFDictionaryObject> dict;
  std::unique_ptr<TVXTemporaryFileStream> cache;
};

// Appends Obj (owned by the list from now on) and sets its Index to its
// object number. Returns Obj.
TVXPDFObject* VXPDFAddObject(TVXPDFObjectList& Objects, TVXPDFObject* Obj);
// {Type: /Catalog}, added to the list.
TVXPDFDictionaryObject* VXPDFCreateCatalog(TVXPDFObjectList& Objects);
// {Type: /Page, Resources: reference (when Resources is given), MediaBox,
// Contents: reference to ContentsNumber}, added to the list and to Pages.
// Takes ownership of MediaBox.
TVXPDFDictionaryObject* VXPDFAddPageDictionary(TVXPDFObjectList& Objects, std::vector<TVXPDFDictionaryObject*>& Pages,
                                               TVXPDFDictionaryObject* Resources, int32_t ContentsNumber,
                                               TVXPDFArrayObject* MediaBox);
// The page-tree root: added to the list, then {Type: /Pages, Kids, Count};
// every page gets Parent and the catalog (the first object) gets Pages.
TVXPDFDictionaryObject* VXPDFCreatePagesTree(TVXPDFObjectList& Objects,
                                             const std::vector<TVXPDFDictionaryObject*>& Pages);

// "%PDF-1.4" and the binary comment line.
void VXPDFWriteHeader(TStream* Stream);
// "n 0 obj", the object, "endobj" for each object; records their positions.
void VXPDFWriteObjects(TStream* Stream, TVXPDFObjectList& Objects);
// The cross-reference table (20 bytes an entry), the trailer with Info as
// the information dictionary, "startxref" and "%%EOF".
void VXPDFWriteXRefAndTrailer(TStream* Stream, const TVXPDFObjectList& Objects, const TVXPDFObject* Info);

// The Count of the first dictionary with "/Type /Pages" and "/Count " but
// no "/Parent" (the root of the page tree), reading from the stream's
// beginning; 0 when there is none or its count is not a number. The stream's
// position is restored.
int32_t VXGetPDFPageCount(TStream* InputStream);
// The same for a file (opened for reading). A file that cannot be opened
// raises.
int32_t VXGetPDFFilePageCount(const std::string& FileName);
