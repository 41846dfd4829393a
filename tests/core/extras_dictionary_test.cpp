// TVXDictionary: JSON and XML parsing, the JSON writer, typed getters, and
// the small generator and prime helpers beside it.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "core/dictionary.h"
#include "core/vxdefs.h"

namespace {

// Kind and value of an entry, as text: "i:5", "d:2.5", "s:x", "b:1", "D", "L2".
std::string Describe(const TVXDictionaryItem* v) {
  if (auto s = dynamic_cast<const TVXDictionaryValueWideString*>(v)) return "s:" + s->value;
  if (auto i = dynamic_cast<const TVXDictionaryValueInteger*>(v)) return "i:" + std::to_string(i->value);
  if (auto d = dynamic_cast<const TVXDictionaryValueDouble*>(v)) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "d:%.17g", d->value);
    return buf;
  }
  if (auto b = dynamic_cast<const TVXDictionaryValueBoolean*>(v)) return std::string("b:") + (b->value ? "1" : "0");
  if (dynamic_cast<const TVXDictionary*>(v)) return "D";
  if (auto l = dynamic_cast<const TVXDictionaryList*>(v)) return "L" + std::to_string(l->Count());
  return v ? "?" : "none";
}

bool HaveTool(const char* name) {
  std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// Runs a shell command; its standard output, and the exit status in status.
std::string RunCommand(const std::string& cmd, int& status) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) {
    status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  status = pclose(p);
  return out;
}

std::string WriteTemp(const std::string& content) {
  char name[] = "/tmp/vx_extras_dictXXXXXX";
  int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  if (fd >= 0) {
    EXPECT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
    close(fd);
  }
  return name;
}

// jq's sorted rendering of a JSON text; fails the test when jq rejects it.
std::string JqSorted(const std::string& json) {
  std::string file = WriteTemp(json);
  int status = 0;
  std::string out = RunCommand("jq -S . " + file + " 2>&1", status);
  std::remove(file.c_str());
  EXPECT_EQ(status, 0) << "jq rejected: " << json << "\n" << out;
  return out;
}

}  // namespace

TEST(ExtrasDictionary, DumpOfSmallDictionaries) {
  TVXDictionary empty(103);
  EXPECT_EQ(empty.Dump(), "{}");
  EXPECT_TRUE(empty.IsEmpty());

  TVXDictionary d(103);
  d.Insert("a", 5);
  EXPECT_EQ(d.Dump(), "{\"a\":5}");
  EXPECT_FALSE(d.IsEmpty());

  // Quotes and backslashes in keys and texts are escaped, nothing else.
  TVXDictionary e(1);
  e.Insert("k\"1", std::string("C:\\dir\\\"x\"\n"));
  EXPECT_EQ(e.Dump(), "{\"k\\\"1\":\"C:\\\\dir\\\\\\\"x\\\"\n\"}");
  TVXDictionary back(1);
  ASSERT_TRUE(back.Parse(e.Dump()));
  EXPECT_EQ(back.GetString("k\"1", false), "C:\\dir\\\"x\"\n");

  TVXDictionary f(7);
  f.Insert("t", true);
  f.Insert("x", 2.5);
  auto list = std::make_unique<TVXDictionaryList>();
  list->Add(std::make_unique<TVXDictionaryValueInteger>(1));
  list->Add(std::make_unique<TVXDictionary>(3));
  f.Insert("l", std::move(list));
  TVXDictionary g(7);
  ASSERT_TRUE(g.Parse(f.Dump()));
  EXPECT_EQ(g.Dump(), f.Dump());
}

TEST(ExtrasDictionary, ParsesJsonValuesByKind) {
  struct Case {
    const char* json;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {R"({"n":1e5})", "n", "d:100000"},
      {R"({"n":2.5})", "n", "d:2.5"},
      {R"({"n":-3E-2})", "n", "d:-0.029999999999999999"},
      {R"({"n":null})", "n", "i:0"},
      {R"({"n":none})", "n", "i:0"},  // a word with an 'e' that is no number
      {R"({"n":1e})", "n", "i:0"},
      {R"({"n":-17})", "n", "i:-17"},
      {R"({"n":12345678901})", "n", "d:12345678901"},
      {R"({"n":true})", "n", "b:1"},
      {R"({"n":false})", "n", "b:0"},
      {R"({"n":"a\\b"})", "n", "s:a\\b"},
      {R"({"n":"say \"hi\""})", "n", "s:say \"hi\""},
      {R"({"n":"keep \n and \u00e9"})", "n", "s:keep \\n and \\u00e9"},
      {R"({"n":{}})", "n", "D"},
      {R"({"n":[1,[2,3],{"a":1}]})", "n", "L3"},
      {R"({"n":[]})", "n", "L0"},
      {R"({"k":1,"k":2})", "k", "L2"},
      {R"({"k":1,"k":2,"k":"three"})", "k", "L3"},
      {"{\t\"n\" :\t7 ,\r\n \"m\":1}", "n", "i:7"},
  };
  for (const Case& c : cases) {
    TVXDictionary d(103);
    EXPECT_TRUE(d.Parse(c.json)) << c.json;
    EXPECT_EQ(Describe(d.Get(c.key, true, false)), c.expected) << c.json;
  }

  TVXDictionary dup(103);
  ASSERT_TRUE(dup.Parse(R"({"k":1,"k":2})"));
  EXPECT_EQ(dup.Dump(), R"({"k":[1,2]})");
}

TEST(ExtrasDictionary, BadInputAbortsWithoutRaising) {
  const std::string cases[] = {
      "",
      "   ",
      "[1,2]",
      "{\"a\":1",
      "{\"a\" 1}",
      "{\"a\":1;\"b\":2}",
      "{\"a\":\"unterminated}",
      "{a:1}",
      "{\"a\":[1,2}",
      "{\"a\":{\"b\":1}",
      std::string(200000, '{'),
      "{\"a\":" + std::string(200000, '['),
      std::string(200000, '<') + "a>",
      "<a x=1>",
      "<a x=\"1\"",
      [] {
        std::string s;
        for (int i = 0; i < 200000; ++i) s += "<a>";
        return s;
      }(),
  };
  for (const std::string& text : cases) {
    TVXDictionary d(103);
    bool ok = true;
    EXPECT_NO_THROW(ok = d.Parse(text)) << text.substr(0, 40);
    EXPECT_FALSE(ok) << text.substr(0, 40);
  }
  // What was read before the damage is kept.
  TVXDictionary d(103);
  EXPECT_FALSE(d.Parse(R"({"a":1,"b":[2,3)"));
  EXPECT_EQ(d.GetInteger("a", false), 1);
}

TEST(ExtrasDictionary, ParsesXmlElementsAttributesAndText) {
  TVXDictionary d(103);
  ASSERT_TRUE(d.Parse("<a x=\"1\">hello</a>"));
  TVXDictionary* a = d.GetDictionary("a", false);
  EXPECT_EQ(a->GetString("x", false), "1");
  TVXDictionary* content = a->GetDictionary("#content", false);
  EXPECT_EQ(content->GetString("#text", false), "hello");
  // A key holding an element answers with its text, found recursively.
  EXPECT_EQ(d.GetString("a", false), "hello");

  TVXDictionary e(103);
  ASSERT_TRUE(e.Parse("<?xml version='1.0'?>\n<r>\n\t<i n=\"1\"/>\n\t<i n='2'> two </i>\n\t<e/>\n</r>"));
  EXPECT_EQ(e.GetDictionary("xml", false)->GetString("version", false), "1.0");
  TVXDictionary* r = e.GetDictionary("r", false)->GetDictionary("#content", false);
  TVXDictionaryList* items = r->GetList("i", false);
  ASSERT_EQ(items->Count(), 2);
  EXPECT_EQ(dynamic_cast<TVXDictionary*>(items->Items(0))->GetString("n", false), "1");
  EXPECT_EQ(dynamic_cast<TVXDictionary*>(items->Items(1))->GetString("#content", false), "two");
  EXPECT_TRUE(r->GetDictionary("e", false)->IsEmpty());
  EXPECT_FALSE(r->HasKey("#text", false));
}

TEST(ExtrasDictionary, TypedGettersConvertByStoredKind) {
  TVXDictionary d(103);
  d.Insert("s42", "42");
  d.Insert("shex", "$1F");
  d.Insert("sx", "x1");
  d.Insert("scomma", "2,5");
  d.Insert("strue", "true");
  d.Insert("sTrue", "True");
  d.Insert("i", 7);
  d.Insert("f", -2.9);
  d.Insert("b", true);
  d.Insert("big", 1e12);

  EXPECT_EQ(d.GetInteger("s42", false), 42);
  EXPECT_EQ(d.GetInteger("shex", false), 31);
  EXPECT_THROW(d.GetInteger("sx", false), EVXException);
  EXPECT_DOUBLE_EQ(d.GetDouble("scomma", false), 2.5);
  EXPECT_DOUBLE_EQ(d.GetDouble("sx", false), 0.0);
  EXPECT_TRUE(d.GetBoolean("strue", false));
  EXPECT_FALSE(d.GetBoolean("sTrue", false));

  EXPECT_EQ(d.GetString("i", false), "7");
  EXPECT_DOUBLE_EQ(d.GetDouble("i", false), 7.0);
  EXPECT_TRUE(d.GetBoolean("i", false));

  EXPECT_EQ(d.GetString("f", false), "-2.9");
  EXPECT_EQ(d.GetInteger("f", false), -2);
  EXPECT_TRUE(d.GetBoolean("f", false));
  EXPECT_EQ(d.GetInteger("big", false), int32_t(uint32_t(uint64_t(1000000000000))));

  EXPECT_TRUE(d.GetBoolean("b", false));
  EXPECT_THROW(d.GetString("b", false), EVXException);
  EXPECT_THROW(d.GetInteger("b", false), EVXException);
  EXPECT_THROW(d.GetDictionary("i", false), EVXException);
  EXPECT_THROW(d.GetList("i", false), EVXException);

  try {
    d.GetString("zz", false);
    FAIL() << "no exception";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Key \"zz\" not found");
  }
  EXPECT_EQ(d.Get("zz", true, true), nullptr);
}

TEST(ExtrasDictionary, RecursiveLookupEraseAndEnumeration) {
  // One bucket: enumeration follows insertion order.
  TVXDictionary d(1);
  auto inner1 = std::make_unique<TVXDictionary>(1);
  inner1->Insert("deep", 1);
  auto inner2 = std::make_unique<TVXDictionary>(1);
  inner2->Insert("deep", 2);
  d.Insert("first", std::move(inner1));
  d.Insert("second", std::move(inner2));
  d.Insert("x", 3);
  EXPECT_FALSE(d.HasKey("deep", false));
  EXPECT_TRUE(d.HasKey("deep", true));
  EXPECT_EQ(d.GetInteger("deep", true), 1);

  std::string order;
  TVXStrStrEnumerator e;
  while (d.GetNext(e)) order += e.item->key + ",";
  EXPECT_EQ(order, "first,second,x,");
  EXPECT_EQ(e.item, nullptr);  // reset at the end

  // Replacing keeps the place; Erase unlinks.
  d.Insert("first", 9);
  EXPECT_EQ(d.Dump(), R"({"first":9,"second":{"deep":2},"x":3})");
  TVXDictionaryItem* kept = d.Get("x", false, false);
  EXPECT_TRUE(d.Erase("x", false));
  delete kept;  // not freed by Erase
  EXPECT_FALSE(d.Erase("x", true));
  EXPECT_TRUE(d.Erase("second", true));
  EXPECT_EQ(d.Dump(), R"({"first":9})");
  d.Clear();
  EXPECT_TRUE(d.IsEmpty());

  TVXDictionary copy(5);
  copy.Insert("old", 1);
  TVXDictionary src(11);
  ASSERT_TRUE(src.Parse(R"({"a":[1,2.5,"t"],"b":{"c":false}})"));
  copy.Assign(&src);
  EXPECT_FALSE(copy.HasKey("old", false));
  ASSERT_EQ(copy.GetList("a", false)->Count(), 3);
  EXPECT_EQ(Describe(copy.GetList("a", false)->Items(1)), "d:2.5");
  EXPECT_FALSE(copy.GetDictionary("b", false)->GetBoolean("c", false));
  copy.Assign(&copy);
  EXPECT_EQ(copy.GetList("a", false)->Count(), 3);
}

TEST(ExtrasDictionary, BucketCountsAndPrimes) {
  struct Case {
    uint32_t asked, used;
  };
  for (Case c : {Case{100, 101}, Case{103, 103}, Case{9, 11}, Case{4, 4}, Case{1, 1}, Case{0, 1}, Case{25, 29}}) {
    TVXDictionary d(c.asked);
    EXPECT_EQ(d.BucketCount(), c.used) << c.asked;
  }
  EXPECT_EQ(VXNextPrime(0), 2u);
  EXPECT_EQ(VXNextPrime(1), 2u);
  EXPECT_EQ(VXNextPrime(2), 3u);
  EXPECT_EQ(VXNextPrime(13), 17u);
  EXPECT_FALSE(VXIsPrime(49));
  EXPECT_TRUE(VXIsPrime(53));

  // ELF hash over UTF-16 units: "é" is one unit 0xE9.
  EXPECT_EQ(VXDictionaryHash("A", 1000), 65u);
  EXPECT_EQ(VXDictionaryHash("AB", 100000), (65u << 4) + 66u);
  EXPECT_EQ(VXDictionaryHash("\xC3\xA9", 1000), 0xE9u);
  // A dictionary with a bucket count of 0 still works.
  TVXDictionary z(0);
  z.Insert("k", 1);
  EXPECT_EQ(z.GetInteger("k", false), 1);
}

TEST(ExtrasDictionary, XorshiftSequence) {
  // Marsaglia's xor128 with its standard seeds.
  TVXRandomGenerator g(123456789u, 362436069u, 521288629u, 88675123u);
  const uint32_t expected[] = {3701687786u, 458299110u, 2500872618u, 3633119408u, 516391518u};
  for (uint32_t v : expected) EXPECT_EQ(g.NextDWORD(), v);

  TVXRandomGenerator a(0u), b{std::string()};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a.NextDWORD(), b.NextDWORD());
  TVXRandomGenerator c(123456789u, 362436069u, 521288629u, 88675123u);
  EXPECT_EQ(c.NextINT64(), uint64_t(3701687786u) | (uint64_t(458299110u) << 32));
}

TEST(ExtrasDictionary, JsonDocumentRoundTripsThroughJq) {
  if (!HaveTool("jq")) GTEST_SKIP() << "jq is not installed";
  const std::string doc =
      "{\n"
      "\t\"name\": \"Tarvello \\\"test\\\"\",\n"
      "\t\"path\": \"C:\\\\images\\\\a.png\",\n"
      "\t\"count\": 42,\n"
      "\t\"neg\": -7,\n"
      "\t\"ratio\": 0.75,\n"
      "\t\"big\": 1e5,\n"
      "\t\"small\": 2.5E-3,\n"
      "\t\"flags\": [true, false, 1, 2.5, \"x\", {\"k\": \"v\"}, []],\n"
      "\t\"nested\": {\"empty\": {}, \"deeper\": {\"list\": [[1, 2], [3]]}},\n"
      "\t\"unicode\": \"h\xC3\xA9llo \xE2\x9C\x93\"\n"
      "}\n";
  TVXDictionary d(103);
  ASSERT_TRUE(d.Parse(doc));
  EXPECT_EQ(d.GetString("path", false), "C:\\images\\a.png");
  EXPECT_EQ(d.GetString("name", false), "Tarvello \"test\"");
  std::string dumped = d.Dump();
  EXPECT_EQ(JqSorted(dumped), JqSorted(doc));

  TVXDictionary again(103);
  ASSERT_TRUE(again.Parse(dumped));
  EXPECT_EQ(JqSorted(again.Dump()), JqSorted(doc));
}

TEST(ExtrasDictionary, XmpPacketRoundTripsThroughJq) {
  if (!HaveTool("jq")) GTEST_SKIP() << "jq is not installed";
  const std::string xmp =
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" x:xmptk=\"Vexlane\">\n"
      "\t<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
      "\t\t<rdf:Description rdf:about=\"\"\n"
      "\t\t\t\txmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
      "\t\t\t\txmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n"
      "\t\t\t<xmp:CreatorTool>Tarvello 1.4</xmp:CreatorTool>\n"
      "\t\t\t<xmp:Rating>3</xmp:Rating>\n"
      "\t\t\t<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">A \"quoted\" title</rdf:li></rdf:Alt></dc:title>\n"
      "\t\t\t<dc:subject>\n"
      "\t\t\t\t<rdf:Bag>\n"
      "\t\t\t\t\t<rdf:li>one</rdf:li>\n"
      "\t\t\t\t\t<rdf:li>two</rdf:li>\n"
      "\t\t\t\t</rdf:Bag>\n"
      "\t\t\t</dc:subject>\n"
      "\t\t</rdf:Description>\n"
      "\t</rdf:RDF>\n"
      "</x:xmpmeta>\n"
      "<?xpacket end=\"w\"?>";
  TVXDictionary d(103);
  ASSERT_TRUE(d.Parse(xmp));
  EXPECT_EQ(d.GetString("xmp:CreatorTool", true), "Tarvello 1.4");
  EXPECT_EQ(d.GetInteger("xmp:Rating", true), 3);
  EXPECT_EQ(d.GetString("rdf:Alt", true), "A \"quoted\" title");
  EXPECT_EQ(d.GetList("xpacket", false)->Count(), 2);
  TVXDictionary* bag = d.GetDictionary("rdf:Bag", true)->GetDictionary("#content", false);
  TVXDictionaryList* li = bag->GetList("rdf:li", false);
  ASSERT_EQ(li->Count(), 2);
  EXPECT_EQ(dynamic_cast<TVXDictionary*>(li->Items(1))->GetString("#content", false), "two");

  std::string dumped = d.Dump();
  std::string sorted = JqSorted(dumped);
  TVXDictionary again(103);
  ASSERT_TRUE(again.Parse(dumped));
  EXPECT_EQ(JqSorted(again.Dump()), sorted);

  int status = 0;
  std::string file = WriteTemp(dumped);
  std::string tool = RunCommand("jq -r '.\"x:xmpmeta\".\"#content\".\"rdf:RDF\".\"#content\".\"rdf:Description\".\"#content\""
                         ".\"xmp:CreatorTool\".\"#content\".\"#text\"' " + file, status);
  std::remove(file.c_str());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(tool, "Tarvello 1.4\n");
}
