// PostScript and PDF output: the PDF objects and file layout, the page
// counter, both writers page by page, and the I/O component's documents.
// Pages are checked by rendering them with Ghostscript (and pdftoppm) and by
// qpdf, pdfinfo and pdfimages when they are installed.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <locale>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/pdf.h"
#include "codecs/pdf_objects.h"
#include "codecs/ps.h"
#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/jpeg_test_util.h"

namespace {

using jpegtest::HaveTool;
using jpegtest::Pnm;
using jpegtest::ReadFile;
using jpegtest::ReadPnm;
using jpegtest::ScratchDir;
using jpegtest::Shell;
using jpegtest::WriteFile;

std::string Text(TMemoryStream& S) { return std::string(static_cast<const char*>(S.Memory()), size_t(S.Size())); }

std::string FileText(const std::string& Name) {
  const std::vector<uint8_t> d = ReadFile(Name);
  return std::string(d.begin(), d.end());
}

void SaveStream(TMemoryStream& S, const std::string& Name) {
  const auto* p = static_cast<const uint8_t*>(S.Memory());
  WriteFile(Name, std::vector<uint8_t>(p, p + S.Size()));
}

// Output of a command, or "" when it failed.
std::string Capture(const std::string& Command, int* Status = nullptr) {
  std::string out;
  FILE* f = popen((Command + " 2>&1").c_str(), "r");
  if (!f) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  const int st = pclose(f);
  if (Status) *Status = st;
  return out;
}

int Count(const std::string& Hay, const std::string& Needle) {
  int n = 0;
  for (size_t p = Hay.find(Needle); p != std::string::npos; p = Hay.find(Needle, p + 1)) ++n;
  return n;
}

// Test images: colour with gradients and noise, 1-bit with edges and noise,
// 8-bit grey.
std::unique_ptr<TVXBitmap> ColourImage(int32_t W, int32_t H, uint32_t Seed = 7) {
  auto b = std::make_unique<TVXBitmap>(W, H, vx24RGB);
  uint32_t s = Seed;
  for (int32_t y = 0; y < H; ++y) {
    auto* p = static_cast<uint8_t*>(b->ScanLine(y));
    for (int32_t x = 0; x < W; ++x) {
      s = s * 1664525u + 1013904223u;
      p[x * 3 + 0] = uint8_t(x * 255 / std::max(1, W - 1));          // blue
      p[x * 3 + 1] = uint8_t((s >> 24) & (((x / 4 + y / 4) & 1) ? 0xFF : 0x1F));  // green
      p[x * 3 + 2] = uint8_t(y * 255 / std::max(1, H - 1));          // red
    }
  }
  return b;
}

std::unique_ptr<TVXBitmap> OneBitImage(int32_t W, int32_t H, uint32_t Seed = 3) {
  auto b = std::make_unique<TVXBitmap>(W, H, vx1g);
  uint32_t s = Seed;
  for (int32_t y = 0; y < H; ++y) {
    auto* p = static_cast<uint8_t*>(b->ScanLine(y));
    std::memset(p, 0xFF, size_t((W + 7) / 8));
    for (int32_t x = 0; x < W; ++x) {
      s = s * 1664525u + 1013904223u;
      const bool black = ((x / 5 + y / 3) % 4 == 0) || x == y || (s >> 29) == 0;
      if (black) p[x / 8] &= uint8_t(~(0x80 >> (x & 7)));
    }
  }
  return b;
}

std::unique_ptr<TVXBitmap> GreyImage(int32_t W, int32_t H) {
  auto b = std::make_unique<TVXBitmap>(W, H, vx8g);
  for (int32_t y = 0; y < H; ++y) {
    auto* p = static_cast<uint8_t*>(b->ScanLine(y));
    for (int32_t x = 0; x < W; ++x) p[x] = uint8_t((x * 13 + y * 29) & 0xFF);
  }
  return b;
}

// The source pixel as red, green, blue.
void SourceRGB(TVXBitmap& B, int32_t x, int32_t y, uint8_t* rgb) {
  const auto* p = static_cast<const uint8_t*>(B.ScanLine(y));
  switch (B.PixelFormat()) {
    case vx1g: rgb[0] = rgb[1] = rgb[2] = (p[x / 8] & (0x80 >> (x & 7))) ? 255 : 0; break;
    case vx8g: rgb[0] = rgb[1] = rgb[2] = p[x]; break;
    default: rgb[0] = p[x * 3 + 2], rgb[1] = p[x * 3 + 1], rgb[2] = p[x * 3]; break;
  }
}

// The count of samples that differ, and a description of the first.
int Differences(TVXBitmap& B, const Pnm& Page, std::string& First) {
  if (Page.Width != B.Width() || Page.Height != B.Height()) {
    First = "size " + std::to_string(Page.Width) + "x" + std::to_string(Page.Height);
    return -1;
  }
  int n = 0;
  for (int32_t y = 0; y < B.Height(); ++y)
    for (int32_t x = 0; x < B.Width(); ++x) {
      uint8_t rgb[3];
      SourceRGB(B, x, y, rgb);
      for (int c = 0; c < 3; ++c) {
        const uint8_t got = Page.At(x, y, Page.Channels == 1 ? 0 : c);
        if (got != rgb[c] && n++ == 0)
          First = "(" + std::to_string(x) + "," + std::to_string(y) + ") channel " + std::to_string(c) + ": " +
                  std::to_string(got) + " instead of " + std::to_string(rgb[c]);
      }
    }
  return n;
}

bool HaveGS() { return HaveTool("/usr/bin/gs"); }

// Every page of a document rendered by Ghostscript at 72 dpi; a PostScript
// document on a page of Width x Height points.
std::vector<Pnm> RenderGS(const ScratchDir& Dir, const std::string& Document, int Width = 0, int Height = 0) {
  const std::string prefix = Dir / "gs";
  std::string media;
  if (Width > 0) media = " -g" + std::to_string(Width) + "x" + std::to_string(Height) + " -dFIXEDMEDIA";
  Shell("/usr/bin/gs -q -dSAFER -dBATCH -dNOPAUSE -dNOINTERPOLATE -sDEVICE=ppmraw -r72" + media +
        " -dGraphicsAlphaBits=1 -dTextAlphaBits=1 -sOutputFile=" + prefix + "-%d.ppm '" + Document + "'");
  std::vector<Pnm> pages;
  for (int i = 1;; ++i) {
    const std::string name = prefix + "-" + std::to_string(i) + ".ppm";
    Pnm p;
    if (!ReadPnm(name, p)) break;
    pages.push_back(std::move(p));
    std::filesystem::remove(name);
  }
  return pages;
}

// Every page rendered by pdftoppm. It smooths images drawn at less than four
// times their size, so pages are rendered at 288 dpi and read at the centre
// of each 4 x 4 block: one sample per point, as at 72 dpi.
std::vector<Pnm> RenderPoppler(const ScratchDir& Dir, const std::string& Document) {
  const std::string prefix = Dir / "pp";
  Shell("/usr/bin/pdftoppm -r 288 '" + Document + "' '" + prefix + "'");
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(Dir.Path))
    if (e.path().filename().string().rfind("pp-", 0) == 0) names.push_back(e.path().string());
  std::sort(names.begin(), names.end());
  std::vector<Pnm> pages;
  for (const std::string& name : names) {
    Pnm big, p;
    if (!ReadPnm(name, big)) continue;
    std::filesystem::remove(name);
    p.Width = big.Width / 4, p.Height = big.Height / 4, p.Channels = big.Channels;
    for (int y = 0; y < p.Height; ++y)
      for (int x = 0; x < p.Width; ++x)
        for (int c = 0; c < p.Channels; ++c) p.Samples.push_back(big.At(x * 4 + 2, y * 4 + 2, c));
    pages.push_back(std::move(p));
  }
  return pages;
}

// The ASCII85 text of a piece decoded (up to "~>").
std::vector<uint8_t> Ascii85Decode(const std::string& S, size_t& Pos) {
  std::vector<uint8_t> out;
  uint32_t v = 0;
  int k = 0;
  for (; Pos < S.size(); ++Pos) {
    const char c = S[Pos];
    if (c == '~') {
      Pos += 2;
      break;
    }
    if (c == '\r' || c == '\n') continue;
    if (c == 'z' && k == 0) {
      out.insert(out.end(), 4, 0);
      continue;
    }
    v = v * 85 + uint32_t(c - '!');
    if (++k == 5) {
      for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (i * 8)));
      v = 0, k = 0;
    }
  }
  if (k > 0) {
    for (int i = k; i < 5; ++i) v = v * 85 + 84;
    for (int i = 0; i < k - 1; ++i) out.push_back(uint8_t(v >> ((3 - i) * 8)));
  }
  return out;
}

struct CommaLocale {
  std::locale kept;
  struct Punct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  CommaLocale() : kept(std::locale::global(std::locale(std::locale::classic(), new Punct))) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"})
      if (std::setlocale(LC_NUMERIC, name)) break;
  }
  ~CommaLocale() {
    std::locale::global(kept);
    std::setlocale(LC_NUMERIC, "C");
  }
};

std::string Written(TVXPDFObject& O) {
  TMemoryStream s;
  O.Write(&s);
  return Text(s);
}

// ---------------------------------------------------------------------------
// Fitting a page's image into its paper

TEST(PageFitting, ScaleByTheSmallerRatioTruncatedAndNeverBelowOne) {
  const struct {
    int32_t w, h, maxW, maxH, newW, newH;
  } cases[] = {{100, 50, 595, 842, 595, 297}, {1000, 1, 10, 10, 10, 1}, {30, 20, 595, 842, 595, 396},
               {7, 7, 7, 7, 7, 7},           {3, 1000, 10, 10, 1, 10}, {10, 10, 0, 5, 1, 1}};
  for (const auto& c : cases) {
    int32_t w = -1, h = -1;
    VXFitInBox(c.w, c.h, c.maxW, c.maxH, w, h);
    EXPECT_EQ(w, c.newW) << c.w << "x" << c.h;
    EXPECT_EQ(h, c.newH) << c.w << "x" << c.h;
  }
  int32_t w = 5, h = 6;
  VXFitInBox(0, 10, 100, 100, w, h);
  EXPECT_EQ(w, 5);
  EXPECT_EQ(h, 6);
}

// ---------------------------------------------------------------------------
// PDF objects

TEST(PDFObjects, EachKindWritesItsText) {
  CommaLocale comma;
  std::ostringstream check;
  check << 0.5;  // the global locale really uses a comma
  ASSERT_EQ(check.str(), "0,5");
  auto dict = std::make_unique<TVXPDFDictionaryObject>();
  dict->Add("A", new TVXPDFNumericObject(1));
  dict->Add("B", new TVXPDFNameObject("N"));
  auto arr = std::make_unique<TVXPDFArrayObject>();
  arr->Add(new TVXPDFNumericObject(0));
  arr->Add(new TVXPDFRefObject(2, 0));
  struct Case {
    std::unique_ptr<TVXPDFObject> Object;
    std::string Expected;
  };
  Case cases[] = {
      {std::make_unique<TVXPDFNumericObject>(0.5), "0.5"},
      {std::make_unique<TVXPDFNumericObject>(595), "595"},
      {std::make_unique<TVXPDFNumericObject>(-1), "-1"},
      {std::make_unique<TVXPDFNumericObject>(1.0 / 3), "0.333333333333333"},
      {std::make_unique<TVXPDFNumericObject>(2.25e9), "2250000000"},
      {std::make_unique<TVXPDFNameObject>("a b"), "/a#20b"},
      {std::make_unique<TVXPDFNameObject>("x/y#\x7f\xe9"), "/x#2Fy#23#7F#E9"},
      {std::make_unique<TVXPDFStringObject>("a(b)"), "(a\\(b\\))"},
      {std::make_unique<TVXPDFStringObject>("\\\b\t\n\f\r\xe9"), "(\\\\\\b\\t\\n\\f\\r\xe9)"},
      {std::make_unique<TVXPDFRefObject>(12, 0), "12 0 R"},
      {std::make_unique<TVXPDFBooleanObject>(true), "true"},
      {std::make_unique<TVXPDFBooleanObject>(false), "false"},
      {std::move(arr), "[0 2 0 R ]"},
      {std::move(dict), "<< /A 1\n/B /N\n>>"},
  };
  for (Case& c : cases) EXPECT_EQ(Written(*c.Object), c.Expected);
}

TEST(PDFObjects, ContainersLeaveDontFreeItemsToTheirOwner) {
  TVXPDFNameObject shared("Shared");
  shared.DontFree = true;
  {
    TVXPDFArrayObject a;
    a.Add(&shared);
    TVXPDFDictionaryObject d;
    d.Add("S", &shared);
    d.Insert(0, "First", new TVXPDFNumericObject(1));
    EXPECT_EQ(Written(d), "<< /First 1\n/S /Shared\n>>");
  }
  EXPECT_EQ(Written(shared), "/Shared");  // still alive
}

TEST(PDFObjects, StreamWritesItsBytesFromMemoryAndFromItsTemporaryFile) {
  auto s = TVXPDFStreamObject::CreateCopy("abc", 3);
  const std::string expected = "<< /Length 3\n>>\nstream\nabc\nendstream";
  EXPECT_EQ(Written(*s), expected);
  s->FlushToCache();
  EXPECT_EQ(s->data, nullptr);
  EXPECT_EQ(Written(*s), expected);
  EXPECT_EQ(Written(*s), expected);  // the file is read from its start each time
  EXPECT_THROW(s->FlushToCache(), EVXException);
  EXPECT_EQ(Written(*TVXPDFStreamObject::CreateCopy(nullptr, 0)), "<< /Length 0\n>>\nstream\n\nendstream");
}

TEST(PDFObjects, LayoutNumbersObjectsAndWritesTwentyByteXRefEntries) {
  TVXPDFObjectList objects;
  std::vector<TVXPDFDictionaryObject*> pages;
  TVXPDFDictionaryObject* catalog = VXPDFCreateCatalog(objects);
  EXPECT_EQ(catalog->Index, 1);
  auto* content = static_cast<TVXPDFStreamObject*>(VXPDFAddObject(objects, new TVXPDFStreamObject()));
  auto* box = new TVXPDFArrayObject();
  for (int v : {0, 0, 10, 20}) box->Add(new TVXPDFNumericObject(v));
  TVXPDFDictionaryObject* page = VXPDFAddPageDictionary(objects, pages, nullptr, content->Index, box);
  TVXPDFDictionaryObject* root = VXPDFCreatePagesTree(objects, pages);
  EXPECT_EQ(root->Index, 4);
  EXPECT_EQ(Written(*page), "<< /Type /Page\n/MediaBox [0 0 10 20 ]\n/Contents 2 0 R\n/Parent 4 0 R\n>>");
  EXPECT_EQ(Written(*root), "<< /Type /Pages\n/Kids [3 0 R ]\n/Count 1\n>>");
  EXPECT_EQ(Written(*catalog), "<< /Type /Catalog\n/Pages 4 0 R\n>>");

  TMemoryStream out;
  out.WriteBuffer("0123456789", 10);  // the header is written where the stream stands
  VXPDFWriteHeader(&out);
  EXPECT_EQ(out.Size(), 10 + 15);
  VXPDFWriteObjects(&out, objects);
  EXPECT_EQ(objects[0]->Position, 25);
  VXPDFWriteXRefAndTrailer(&out, objects, root);
  const std::string t = Text(out);
  EXPECT_EQ(t.substr(10, 15), "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n");
  EXPECT_EQ(t.substr(25, 8), "1 0 obj\n");
  const size_t xref = t.find("xref\n");
  EXPECT_EQ(t.substr(xref, 49), "xref\n0 5\n0000000000 65535 f \n0000000025 00000 n \n");
  EXPECT_NE(t.find("trailer\n<< /Size 5\n/Root 1 0 R\n/Info 4 0 R\n>>\nstartxref\n" + std::to_string(xref) +
                   "\n%%EOF\n"),
            std::string::npos);
}

TEST(PDFObjects, PageCounterFindsTheRootOfThePageTree) {
  const struct {
    const char* Name;
    std::string Data;
    int32_t Pages;
  } cases[] = {
      {"root", "<< /Type /Pages\n/Kids [3 0 R ]\n/Count 17\n>>", 17},
      {"child first", "<< /Type /Pages /Parent 2 0 R /Count 4 >> << /Type /Pages /Count 9 >>", 9},
      {"no blank after the count", "<< /Type /Pages /Count 3/Kids [3 0 R] >>", 0},
      {"nested dictionary ends the range", "<< /Count 3 /R << /A 1 >> /Type /Pages >>", 0},
      {"catalog only", "<< /Type /Catalog /Pages 2 0 R >>", 0},
      {"not a number", "<< /Type /Pages /Count x1 >>", 0},
      {"negative", "<< /Type /Pages /Count -4 >>", 0},
      {"too large", "<< /Type /Pages /Count 99999999999 >>", 0},
      {"unterminated", "<< /Type /Pages /Count 5 ", 0},
      {"empty", "", 0},
      {"marks apart", "<<>> < < /Type /Pages /Count 5 > > << /Type /Pages /Count 6\r>>", 6},
  };
  for (const auto& c : cases) {
    TVXMemStream s(c.Data.data(), int64_t(c.Data.size()));
    s.Seek(int64_t(c.Data.size() / 2), soBeginning);
    EXPECT_EQ(VXGetPDFPageCount(&s), c.Pages) << c.Name;
    EXPECT_EQ(s.Position(), int64_t(c.Data.size() / 2)) << c.Name;
  }
  // Across the read buffer's boundaries.
  std::string big(8190, ' ');
  big += "<< /Type /Pa";
  big += std::string(1, 'g') + "es /Cou";
  big.append(9000, ' ');
  big += "nt 2 >> << /Type /Pages /Count 21 >>";
  TVXMemStream s(big.data(), int64_t(big.size()));
  EXPECT_EQ(VXGetPDFPageCount(&s), 21);
  // Files of this writer and of pdftocairo (cairo's page tree spreads over lines).
  const std::string seeds = std::string(VX_SOURCE_DIR) + "/fuzz/seeds/pdf_pagecount/";
  EXPECT_EQ(VXGetPDFFilePageCount(seeds + "writer-one.pdf"), 1);
  EXPECT_EQ(VXGetPDFFilePageCount(seeds + "writer-three.pdf"), 3);
  EXPECT_EQ(VXGetPDFFilePageCount(seeds + "pdftocairo-three.pdf"), 3);
}

// ---------------------------------------------------------------------------
// PDF writer

std::string WritePDF(std::vector<TVXBitmap*> Pages, TIOParamsVals& P) {
  TVXPDFDocument* doc = VXPDFCreate(P);
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  for (TVXBitmap* b : Pages) VXPDFAddPage(doc, b, P, progress);
  TMemoryStream out;
  VXPDFClose(doc, &out, P);
  EXPECT_FALSE(aborting);
  return Text(out);
}

TEST(PDFWriter, ThreePagesGiveThirteenObjectsInOrderWithAValidXRef) {
  auto a = ColourImage(30, 20), b = OneBitImage(17, 9), c = ColourImage(5, 40);
  TIOParamsVals p;
  p.SetPDF_Compression(ioPDF_UNCOMPRESSED);
  const std::string t = WritePDF({a.get(), b.get(), c.get()}, p);
  // Catalog, resources, three times image, content and page, page tree, information.
  const std::vector<std::string> starts = {
      "<< /Type /Catalog\n/Pages 12 0 R\n>>",
      "<< /ProcSet [/PDF /ImageB ]\n/XObject << /lm1 3 0 R\n/lm2 6 0 R\n/lm3 9 0 R\n>>\n>>",
      "<< /Type /XObject\n/Subtype /Image\n/Length 1800\n/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n/Width 30\n"
      "/Height 20\n>>",
      "<< /Length ",
      "<< /Type /Page\n/Resources 2 0 R\n/MediaBox [0 0 595 842 ]\n/Contents 4 0 R\n/Parent 12 0 R\n>>",
      "<< /Type /XObject\n/Subtype /Image\n/Length 27\n/ColorSpace /DeviceGray\n/BitsPerComponent 1\n",
      "<< /Length ",
      "<< /Type /Page\n/Resources 2 0 R\n/MediaBox [0 0 595 842 ]\n/Contents 7 0 R\n/Parent 12 0 R\n>>",
      "<< /Type /XObject\n",
      "<< /Length ",
      "<< /Type /Page\n",
      "<< /Type /Pages\n/Kids [5 0 R 8 0 R 11 0 R ]\n/Count 3\n>>",
      "<< /CreationDate (D:",
  };
  std::vector<size_t> offsets;
  for (size_t i = 0; i < starts.size(); ++i) {
    const std::string head = std::to_string(i + 1) + " 0 obj\n";
    const size_t at = t.find("\n" + head);
    ASSERT_NE(at, std::string::npos) << head;
    offsets.push_back(at + 1);
    EXPECT_EQ(t.compare(at + 1 + head.size(), starts[i].size(), starts[i]), 0) << "object " << i + 1;
  }
  EXPECT_EQ(t.find("\n14 0 obj\n"), std::string::npos);
  // Content of page 1: 30 x 20 fitted into 595 x 842 at the top.
  EXPECT_NE(t.find("stream\nq\n595 0 0 396 0 446 cm\n/lm1 Do\nQ\nendstream"), std::string::npos);
  const size_t xref = t.rfind("xref\n0 14\n");
  ASSERT_NE(xref, std::string::npos);
  size_t pos = xref + 10;
  EXPECT_EQ(t.substr(pos, 20), "0000000000 65535 f \n");
  for (size_t i = 0; i < offsets.size(); ++i) {
    pos += 20;
    char entry[21];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offsets[i]);
    EXPECT_EQ(t.substr(pos, 20), entry);
  }
  EXPECT_EQ(t.substr(pos + 20), "trailer\n<< /Size 14\n/Root 1 0 R\n/Info 13 0 R\n>>\nstartxref\n" +
                                    std::to_string(xref) + "\n%%EOF\n");
  TVXMemStream in(t.data(), int64_t(t.size()));
  EXPECT_EQ(VXGetPDFPageCount(&in), 3);
}

TEST(PDFWriter, InformationHoldsTheTextsGivenAndAlwaysTheDate) {
  auto a = OneBitImage(8, 8);
  TIOParamsVals p;
  std::string t = WritePDF({a.get()}, p);
  EXPECT_EQ(t.find("/Title"), std::string::npos);
  EXPECT_TRUE(std::regex_search(t, std::regex("<< /CreationDate \\(D:20[0-9]{12}\\)\n>>")));
  p.SetPDF_Title("T (1) \\ x");
  p.SetPDF_Producer("Pr\xc3\xa9");  // UTF-8 in, Windows-1252 in the file
  t = WritePDF({a.get()}, p);
  EXPECT_NE(t.find("<< /Title (T \\(1\\) \\\\ x)\n/Producer (Pr\xe9)\n/CreationDate (D:"), std::string::npos);
}

// pdfimages -list of a one-image document: width, height, color, comp, bpc
// and enc of the image.
std::string ImageList(const std::string& File) {
  const std::string list = Capture("/usr/bin/pdfimages -list '" + File + "'");
  std::istringstream lines(list);
  std::string line;
  for (int i = 0; i < 3; ++i) std::getline(lines, line);
  std::istringstream words(line);
  std::vector<std::string> w;
  for (std::string x; words >> x;) w.push_back(x);
  if (w.size() < 9) return list;
  return w[3] + " " + w[4] + " " + w[5] + " " + w[6] + " " + w[7] + " " + w[8];
}

// The image XObject of a one-page document: encoding and dictionary.
struct ImageRow {
  const char* Name;
  TVXPixelFormat Format;
  TIOPDFCompression Compression;
  const char* Dictionary;    // the entries between Length and Width
  const char* Encoding;      // pdfimages -list: color, comp, bpc, enc
  TIOPDFCompression After;   // PDF_Compression after the write
  bool Lossless;
};

const ImageRow kPDFRows[] = {
    {"1-bit uncompressed", vx1g, ioPDF_UNCOMPRESSED, "/ColorSpace /DeviceGray\n/BitsPerComponent 1\n",
     "gray 1 1 image", ioPDF_UNCOMPRESSED, true},
    {"1-bit RLE", vx1g, ioPDF_RLE, "/Filter [/RunLengthDecode ]\n/ColorSpace /DeviceGray\n/BitsPerComponent 1\n",
     "gray 1 1 image", ioPDF_RLE, true},
    {"1-bit G4", vx1g, ioPDF_G4FAX,
     "/Filter /CCITTFaxDecode\n/DecodeParms << /K -1\n/BlackIs1 true\n/Columns 45\n/Rows 19\n/EndOfLine false\n"
     "/Uncompressed true\n/EncodedByteAlign false\n/EndOfBlock false\n>>\n/ColorSpace /DeviceGray\n"
     "/BitsPerComponent 1\n",
     "gray 1 1 ccitt", ioPDF_G4FAX, true},
    {"1-bit G3 2-D", vx1g, ioPDF_G3FAX2D, "/Filter /CCITTFaxDecode\n/DecodeParms << /K 1\n", "gray 1 1 ccitt",
     ioPDF_G3FAX2D, true},
    {"1-bit JPEG becomes G3 2-D", vx1g, ioPDF_JPEG, "/Filter /CCITTFaxDecode\n/DecodeParms << /K 1\n",
     "gray 1 1 ccitt", ioPDF_G3FAX2D, true},
    {"1-bit LZW", vx1g, ioPDF_LZW, "/Filter /LZWDecode\n/ColorSpace /DeviceGray\n/BitsPerComponent 1\n",
     "gray 1 1 image", ioPDF_LZW, true},
    {"colour LZW", vx24RGB, ioPDF_LZW, "/Filter /LZWDecode\n/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n",
     "rgb 3 8 image", ioPDF_LZW, true},
    {"colour uncompressed", vx24RGB, ioPDF_UNCOMPRESSED, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n",
     "rgb 3 8 image", ioPDF_UNCOMPRESSED, true},
    {"colour RLE is uncompressed", vx24RGB, ioPDF_RLE, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n",
     "rgb 3 8 image", ioPDF_RLE, true},
    {"colour G4 is uncompressed", vx24RGB, ioPDF_G4FAX, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n",
     "rgb 3 8 image", ioPDF_G4FAX, true},
    {"colour G3 is uncompressed", vx24RGB, ioPDF_G3FAX2D, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n",
     "rgb 3 8 image", ioPDF_G3FAX2D, true},
    {"grey is written as colour", vx8g, ioPDF_UNCOMPRESSED, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n",
     "rgb 3 8 image", ioPDF_UNCOMPRESSED, true},
    {"colour JPEG", vx24RGB, ioPDF_JPEG, "/Filter /DCTDecode\n/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n",
     "rgb 3 8 jpeg", ioPDF_JPEG, false},
};

std::unique_ptr<TVXBitmap> RowImage(TVXPixelFormat F) {
  if (F == vx1g) return OneBitImage(45, 19);
  if (F == vx8g) return GreyImage(40, 21);
  return ColourImage(43, 27);
}

TEST(PDFWriter, EachCompressionRowWritesItsDictionaryAndRendersToTheSource) {
  const bool gs = HaveGS(), poppler = HaveTool("/usr/bin/pdftoppm") && HaveTool("/usr/bin/pdfimages");
  if (!gs || !poppler) std::cout << "Ghostscript or poppler-utils missing: rendering checks skipped\n";
  for (const ImageRow& row : kPDFRows) {
    SCOPED_TRACE(row.Name);
    ScratchDir dir;
    auto img = RowImage(row.Format);
    TIOParamsVals p;
    p.SetPDF_Compression(row.Compression);
    p.SetPDF_PaperWidth(0);  // the bitmap's own size
    p.SetJPEG_Quality(95);
    TMemoryStream out;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXWritePDFStream(&out, img.get(), p, progress);
    EXPECT_FALSE(aborting);
    EXPECT_EQ(p.PDF_Compression(), row.After);
    const bool oneBit = row.Format == vx1g;
    EXPECT_EQ(p.BitsPerSample(), oneBit ? 1 : 8);
    EXPECT_EQ(p.SamplesPerPixel(), oneBit ? 1 : 3);
    const std::string t = Text(out);
    const size_t dictAt = t.find("3 0 obj\n<< /Type /XObject\n/Subtype /Image\n/Length ");
    ASSERT_NE(dictAt, std::string::npos);
    const size_t afterLength = t.find('\n', dictAt + 45) + 1;
    EXPECT_EQ(t.compare(afterLength, std::strlen(row.Dictionary), row.Dictionary), 0)
        << t.substr(afterLength, 200);
    const std::string size = std::to_string(img->Width()) + " 0 0 " + std::to_string(img->Height()) + " 0 0 cm";
    EXPECT_NE(t.find("q\n" + size + "\n/lm1 Do\nQ"), std::string::npos);
    EXPECT_NE(t.find("/MediaBox [0 0 " + std::to_string(img->Width()) + " " + std::to_string(img->Height())),
              std::string::npos);
    const std::string file = dir / "page.pdf";
    SaveStream(out, file);
    if (!gs || !poppler) continue;
    EXPECT_EQ(ImageList(file), std::to_string(img->Width()) + " " + std::to_string(img->Height()) + " " +
                                  row.Encoding);
    std::vector<Pnm> byGS = RenderGS(dir, file);
    ASSERT_EQ(byGS.size(), 1u);
    std::vector<Pnm> byPoppler = RenderPoppler(dir, file);
    ASSERT_EQ(byPoppler.size(), 1u);
    if (row.Lossless) {
      std::string first;
      EXPECT_EQ(Differences(*img, byGS[0], first), 0) << "Ghostscript: " << first;
      EXPECT_EQ(Differences(*img, byPoppler[0], first), 0) << "pdftoppm: " << first;
    } else {
      // Within a mean of one level of djpeg's decode of the embedded data.
      Shell("/usr/bin/pdfimages -j '" + file + "' '" + (dir / "emb") + "'");
      ASSERT_EQ(Shell("/usr/bin/djpeg -pnm -outfile '" + (dir / "emb.ppm") + "' '" + (dir / "emb-000.jpg") + "'"), 0);
      Pnm ref;
      ASSERT_TRUE(ReadPnm(dir / "emb.ppm", ref));
      for (const Pnm* page : {&byGS[0], &byPoppler[0]}) {
        ASSERT_EQ(page->Samples.size(), ref.Samples.size());
        double sum = 0;
        for (size_t i = 0; i < ref.Samples.size(); ++i) sum += std::abs(int(page->Samples[i]) - int(ref.Samples[i]));
        EXPECT_LE(sum / double(ref.Samples.size()), 1.0);
      }
    }
  }
}

TEST(PDFWriter, GreyJpegIsDeclaredGreyAndCMYKChoiceStillGivesThreeComponents) {
  auto img = ColourImage(16, 16);
  for (const auto& [space, declared] : {std::pair{ioJPEG_GRAYLEV, "/DeviceGray"}, std::pair{ioJPEG_CMYK, "/DeviceRGB"}}) {
    TIOParamsVals p;
    p.SetPDF_Compression(ioPDF_JPEG);
    p.SetJPEG_ColorSpace(space);
    const std::string t = WritePDF({img.get()}, p);
    EXPECT_NE(t.find(std::string("/Filter /DCTDecode\n/ColorSpace ") + declared), std::string::npos);
    EXPECT_EQ(p.JPEG_ColorSpace(), space);
    if (!HaveTool("/usr/bin/pdfimages")) continue;
    ScratchDir dir;
    WriteFile(dir / "j.pdf", std::vector<uint8_t>(t.begin(), t.end()));
    EXPECT_EQ(ImageList(dir / "j.pdf"), space == ioJPEG_GRAYLEV ? "16 16 gray 1 8 jpeg" : "16 16 rgb 3 8 jpeg");
  }
}

TEST(PDFWriter, OuterToolsAcceptOneAndThreePageDocumentsWithTheirInformation) {
  if (!HaveTool("/usr/bin/qpdf") || !HaveTool("/usr/bin/pdfinfo")) GTEST_SKIP() << "qpdf or poppler-utils missing";
  auto a = ColourImage(100, 50), b = OneBitImage(60, 80), c = GreyImage(20, 20);
  TIOParamsVals p;
  p.SetPDF_Title("Title (with) \\ backslash");
  p.SetPDF_Author("An Author");
  p.SetPDF_Subject("A Subject");
  p.SetPDF_Keywords("k1 k2");
  p.SetPDF_Creator("A Creator");
  p.SetPDF_Producer("A Producer");
  ScratchDir dir;
  for (int pages : {1, 3}) {
    SCOPED_TRACE(pages);
    std::vector<TVXBitmap*> list = {a.get()};
    if (pages == 3) list = {a.get(), b.get(), c.get()};
    const std::string t = WritePDF(list, p);
    const std::string file = dir / "doc.pdf";
    WriteFile(file, std::vector<uint8_t>(t.begin(), t.end()));
    int status = -1;
    const std::string check = Capture("/usr/bin/qpdf --check '" + file + "'", &status);
    EXPECT_EQ(status, 0) << check;
    EXPECT_NE(check.find("No syntax or stream encoding errors found"), std::string::npos) << check;
    const std::string info = Capture("/usr/bin/pdfinfo '" + file + "'");
    EXPECT_NE(info.find("Pages:           " + std::to_string(pages) + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Page size:       595 x 842 pts (A4)"), std::string::npos) << info;
    for (const char* line : {"Title:           Title (with) \\ backslash\n", "Author:          An Author\n",
                             "Subject:         A Subject\n", "Keywords:        k1 k2\n",
                             "Creator:         A Creator\n", "Producer:        A Producer\n", "CreationDate:    "})
      EXPECT_NE(info.find(line), std::string::npos) << line << info;
  }
}

// Descriptors of deleted files (the writers' temporary files) held open.
int DeletedFilesOpen() {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
    if (!ec && target.find("(deleted)") != std::string::npos) ++n;
  }
  return n;
}

TEST(PDFWriter, AFailingPageLeavesTheDocumentAsItWas) {
  static bool fail = false;
  struct Coder {
    static void Encode(uint8_t* in, int32_t len, TStream* out, void*& id) {
      if (fail && in) throw EVXException("coder failed");
      VXGetGlobalSettings()->DefTIFF_LZWCOMPFUNC()(in, len, out, id);
    }
  };
  auto a = ColourImage(20, 10);
  TIOParamsVals p;
  p.SetPDF_Compression(ioPDF_LZW);
  p.SetTIFF_LZWCompFunc(&Coder::Encode);
  const int filesBefore = DeletedFilesOpen();
  TVXPDFDocument* doc = VXPDFCreate(p);
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXPDFAddPage(doc, a.get(), p, progress);
  fail = true;
  EXPECT_THROW(VXPDFAddPage(doc, a.get(), p, progress), EVXException);
  fail = false;
  VXPDFAddPage(doc, a.get(), p, progress);
  TMemoryStream out;
  VXPDFClose(doc, &out, p);
  const std::string t = Text(out);
  EXPECT_EQ(VXGetPDFPageCount(&out), 2);
  EXPECT_NE(t.find("/Kids [5 0 R 8 0 R ]"), std::string::npos);
  EXPECT_NE(t.find("/lm2 6 0 R"), std::string::npos);
  VXPDFClose(nullptr, &out, p);  // nothing
  EXPECT_EQ(int64_t(t.size()), out.Size());
  EXPECT_EQ(DeletedFilesOpen(), filesBefore);  // no temporary file left behind
}

TEST(PDFWriter, APageStoppedByTheProgressHandlerIsNotAdded) {
  auto a = ColourImage(20, 40);
  for (bool pdf : {true, false}) {
    SCOPED_TRACE(pdf ? "PDF" : "PostScript");
    TIOParamsVals p;
    TMemoryStream out;
    bool aborting = false;
    int reports = 0;
    TProgressRec progress;
    progress.Aborting = &aborting;
    void* doc = pdf ? static_cast<void*>(VXPDFCreate(p)) : static_cast<void*>(VXPSCreate(&out, p));
    const auto add = [&] {
      if (pdf)
        VXPDFAddPage(static_cast<TVXPDFDocument*>(doc), a.get(), p, progress);
      else
        VXPSAddPage(static_cast<TVXPSDocument*>(doc), &out, a.get(), progress, p);
    };
    add();
    progress.fOnProgress = [&](void*, int32_t percent) {
      ++reports;
      if (percent >= 50) aborting = true;
    };
    add();
    EXPECT_TRUE(aborting);
    EXPECT_GE(reports, 10);
    EXPECT_LT(reports, 40);  // the rows stop soon after
    if (pdf) {
      VXPDFClose(static_cast<TVXPDFDocument*>(doc), &out, p);
      EXPECT_EQ(VXGetPDFPageCount(&out), 1);
      EXPECT_EQ(Count(Text(out), " 0 obj\n"), 7);
    } else {
      VXPSClose(static_cast<TVXPSDocument*>(doc), &out);
      EXPECT_NE(Text(out).find("%%Pages: 1     "), std::string::npos);
      EXPECT_EQ(Count(Text(out), "%%Page: "), 1);
    }
  }
}

// Counts what is written without keeping it.
class TCountingStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t Count) override {
    size += Count;
    return Count;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return size; }
  int64_t size = 0;
};

TEST(PDFWriter, AHundredLargePagesKeepMemoryLowAndLeaveNoTemporaryFile) {
  const int before = DeletedFilesOpen();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    long result[3] = {0, 0, 0};
    {
      auto img = ColourImage(1500, 1500);
      TIOParamsVals p;
      p.SetPDF_Compression(ioPDF_UNCOMPRESSED);
      TVXPDFDocument* doc = VXPDFCreate(p);
      bool aborting = false;
      TProgressRec progress;
      progress.Aborting = &aborting;
      for (int i = 0; i < 100; ++i) VXPDFAddPage(doc, img.get(), p, progress);
      result[1] = DeletedFilesOpen();
      TCountingStream out;
      VXPDFClose(doc, &out, p);
      result[2] = long(out.size / (1500 * 1500 * 3));
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    result[0] = u.ru_maxrss;  // KiB
    (void)!write(fds[1], result, sizeof result);
    _exit(0);
  }
  close(fds[1]);
  long result[3] = {0, 0, 0};
  const ssize_t got = read(fds[0], result, sizeof result);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(got, ssize_t(sizeof result));
  RecordProperty("PeakResidentKiB", std::to_string(result[0]));
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow and quarantine are not the writer's
  EXPECT_LT(result[0], 150 * 1024) << "peak resident KiB";
#endif
  EXPECT_EQ(result[1], before + 100);  // one temporary file per page while open
  EXPECT_EQ(result[2], 100);            // every page's data in the output
  EXPECT_EQ(DeletedFilesOpen(), before);
}

// ---------------------------------------------------------------------------
// PostScript writer

std::string WritePS(std::vector<TVXBitmap*> Pages, TIOParamsVals& P) {
  TMemoryStream out;
  TVXPSDocument* doc = VXPSCreate(&out, P);
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  for (TVXBitmap* b : Pages) VXPSAddPage(doc, &out, b, progress, P);
  VXPSClose(doc, &out);
  EXPECT_FALSE(aborting);
  return Text(out);
}

TEST(PSWriter, HeaderPagesAndTrailer) {
  CommaLocale comma;
  auto a = ColourImage(100, 50);
  TIOParamsVals p;
  p.SetPS_Title("A title\r\nshowpage");
  p.SetPS_Compression(ioPS_RLE);
  const std::string one = WritePS({a.get()}, p);
  const std::regex header(
      "%!PS-Adobe-3\\.0\r\n%%Creator: Vexlane\r\n%%Title: A title  showpage\r\n"
      "%%CreationDate: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
      "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\r\n"
      "%%DocumentData: Clean7Bit\r\n%%LanguageLevel: 2\r\n%%Pages: 1     \r\n%%BoundingBox: 0 0 594 841\r\n"
      "%%EndComments\r\n%%Page: 1 1\r\n0 842 translate\r\n595 -297 scale\r\n100 50 8\r\n\\[ 100 0 0 50 0 0 \\]\r\n"
      "/rstr 100 string def\r\n/gstr 100 string def\r\n/bstr 100 string def\r\n"
      "\\{currentfile /ASCII85Decode filter /RunLengthDecode filter rstr readstring pop\\}\r\n"
      "\\{currentfile /ASCII85Decode filter /RunLengthDecode filter gstr readstring pop\\}\r\n"
      "\\{currentfile /ASCII85Decode filter /RunLengthDecode filter bstr readstring pop\\}\r\n"
      "true 3\r\n%%BeginData:      [0-9]+ ASCII Bytes\r\ncolorimage\r\n");
  EXPECT_TRUE(std::regex_search(one, header, std::regex_constants::match_continuous)) << one.substr(0, 900);
  EXPECT_EQ(one.substr(one.size() - 43), "~>\r\n%%EndData\r\nshowpage\r\n%%Trailer\r\n%%EOF\r\n");

  const std::string two = WritePS({a.get(), a.get()}, p);
  EXPECT_NE(two.find("\r\n%%Pages: 2     \r\n"), std::string::npos);
  EXPECT_NE(two.find("\r\n%%Page: 2 2\r\n0 842 translate\r\n"), std::string::npos);
  EXPECT_EQ(Count(two, "%%Trailer"), 1);
  EXPECT_EQ(Count(two, "\r\nshowpage\r\n"), 2);
}

TEST(PSWriter, DataCountsAndEncodings) {
  // The BeginData count is the count of ASCII85 characters alone.
  auto check = [](const std::string& t, const std::string& op) {
    const size_t begin = t.find("%%BeginData:      ");
    const size_t dataAt = t.find(op + "\r\n", begin) + op.size() + 2;
    const size_t end = t.find("%%EndData", dataAt);
    int chars = 0;
    for (size_t i = dataAt; i < end; ++i)
      if (t[i] != '\r' && t[i] != '\n') ++chars;
    chars -= 2 * Count(t.substr(dataAt, end - dataAt), "~>");
    EXPECT_EQ(t.substr(begin + 18, t.find(' ', begin + 18) - begin - 18), std::to_string(chars));
    return t.substr(dataAt, end - dataAt);
  };
  TIOParamsVals p;
  p.SetPS_Compression(ioPS_G4FAX);
  // An all-zero colour row: each plane is RunLength 245 0 128, one piece each.
  TVXBitmap black(12, 1, vx24RGB);
  std::memset(black.ScanLine(0), 0, 36);
  std::string data = check(WritePS({&black}, p), "colorimage");
  EXPECT_EQ(data, "o`0L~>\r\no`0L~>\r\no`0L~>\r\n");
  // A 1-bit bitmap whose parameters said 8 bits still writes 1 bit.
  auto one = OneBitImage(45, 19);
  p.SetBitsPerSample(8);
  std::string t = WritePS({one.get()}, p);
  EXPECT_NE(t.find("\r\n45 19 1\r\n[ 45 0 0 19 0 0 ]\r\ncurrentfile /ASCII85Decode filter << /K -1 /BlackIs1 true "
                   "/Columns 45 /Rows 19 /EndOfLine false /Uncompressed true /EncodedByteAlign false "
                   "/EndOfBlock false >> /CCITTFaxDecode filter\r\n%%BeginData:"),
            std::string::npos);
  check(t, "image");
  // JPEG is not for 1-bit pages: they are coded with Group 3 2-D instead.
  p.SetPS_Compression(ioPS_JPEG);
  t = WritePS({one.get()}, p);
  EXPECT_EQ(p.PS_Compression(), ioPS_G3FAX2D);
  EXPECT_NE(t.find("filter << /K 1 /BlackIs1 true"), std::string::npos);
  EXPECT_FALSE(check(t, "image").empty());
  // Colour JPEG: a DCT filter and a JPEG in the data.
  auto c = ColourImage(40, 30);
  p.SetPS_Compression(ioPS_JPEG);
  t = WritePS({c.get()}, p);
  EXPECT_NE(t.find("\r\ncurrentfile /ASCII85Decode filter << >> /DCTDecode filter\r\nfalse 3\r\n%%BeginData:"),
            std::string::npos);
  data = check(t, "colorimage");
  size_t pos = 0;
  const std::vector<uint8_t> jpeg = Ascii85Decode(data, pos);
  ASSERT_GT(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);
}

TEST(PSWriter, ClosingWithoutADocumentWritesNothingAndLargeCountsAreReadWhole) {
  TMemoryStream out;
  VXPSClose(nullptr, &out);
  EXPECT_EQ(out.Size(), 0);
  TIOParamsVals p;
  TVXPSDocument* doc = VXPSCreate(&out, p);
  std::string t = Text(out);
  const size_t field = t.find("%%Pages: ") + 9;
  out.Seek(int64_t(field), soBeginning);
  out.WriteBuffer("123456", 6);
  auto one = OneBitImage(8, 8);
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXPSAddPage(doc, &out, one.get(), progress, p);
  VXPSClose(doc, &out);
  t = Text(out);
  EXPECT_EQ(t.substr(field - 9, 17), "%%Pages: 123457\r\n");
  EXPECT_NE(t.find("%%Page: 123457 123457\r\n"), std::string::npos);
}

struct PSRow {
  const char* Name;
  TVXPixelFormat Format;
  TIOPSCompression Compression;
};

TEST(PSWriter, LosslessPagesRenderToTheSourceAndJpegNearItsDecode) {
  if (!HaveGS()) GTEST_SKIP() << "Ghostscript missing";
  const PSRow rows[] = {{"colour RLE", vx24RGB, ioPS_RLE},      {"colour with G4 is RLE", vx24RGB, ioPS_G4FAX},
                        {"1-bit RLE", vx1g, ioPS_RLE},          {"1-bit G4", vx1g, ioPS_G4FAX},
                        {"1-bit G3 2-D", vx1g, ioPS_G3FAX2D},   {"1-bit JPEG as G3 2-D", vx1g, ioPS_JPEG},
                        {"grey as colour", vx8g, ioPS_RLE},     {"colour JPEG", vx24RGB, ioPS_JPEG}};
  for (const PSRow& row : rows) {
    SCOPED_TRACE(row.Name);
    ScratchDir dir;
    auto img = RowImage(row.Format);
    TIOParamsVals p;
    p.SetPS_Compression(row.Compression);
    p.SetPS_PaperWidth(img->Width());
    p.SetPS_PaperHeight(img->Height());
    p.SetJPEG_Quality(95);
    TMemoryStream out;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXWritePSStream(&out, img.get(), p, progress);
    const std::string file = dir / "page.ps";
    SaveStream(out, file);
    std::vector<Pnm> pages = RenderGS(dir, file, img->Width(), img->Height());
    ASSERT_EQ(pages.size(), 1u);
    if (row.Format == vx24RGB && row.Compression == ioPS_JPEG) {
      const std::string t = Text(out);
      size_t pos = t.find("colorimage\r\n") + 12;
      WriteFile(dir / "emb.jpg", Ascii85Decode(t, pos));
      ASSERT_EQ(Shell("/usr/bin/djpeg -pnm -outfile '" + (dir / "emb.ppm") + "' '" + (dir / "emb.jpg") + "'"), 0);
      Pnm ref;
      ASSERT_TRUE(ReadPnm(dir / "emb.ppm", ref));
      ASSERT_EQ(pages[0].Samples.size(), ref.Samples.size());
      double sum = 0;
      for (size_t i = 0; i < ref.Samples.size(); ++i) sum += std::abs(int(pages[0].Samples[i]) - int(ref.Samples[i]));
      EXPECT_LE(sum / double(ref.Samples.size()), 1.0);
      continue;
    }
    std::string first;
    EXPECT_EQ(Differences(*img, pages[0], first), 0) << first;
  }
}

// ---------------------------------------------------------------------------
// The I/O component

TEST(PSPDFComponent, ThreePostScriptPagesAcrossCalls) {
  ScratchDir dir;
  const std::string file = dir / "doc.ps";
  auto colour = ColourImage(40, 30), one = OneBitImage(40, 30), grey = GreyImage(40, 30);
  TVXBitmap target;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&target);
  io.Params().SetPS_PaperWidth(40);
  io.Params().SetPS_PaperHeight(30);
  io.Params().SetPS_Compression(ioPS_G4FAX);
  io.CreatePSFile(file);
  for (TVXBitmap* b : {colour.get(), one.get(), grey.get()}) {
    target.Assign(b);
    io.SaveToPS();
    EXPECT_FALSE(io.Aborting());
  }
  EXPECT_EQ(target.PixelFormat(), vx24RGB);  // the grey target was made RGB
  EXPECT_NE(FileText(file).find("%%Pages: 3     \r\n"), std::string::npos);
  EXPECT_EQ(FileText(file).find("%%Trailer"), std::string::npos);
  io.ClosePSFile();
  const std::string t = FileText(file);
  EXPECT_NE(t.find("%%Page: 2 2\r\n0 30 translate\r\n40 -30 scale\r\n40 30 1\r\n"), std::string::npos);
  EXPECT_NE(t.find("%%Page: 3 3\r\n0 30 translate\r\n40 -30 scale\r\n40 30 8\r\n"), std::string::npos);
  EXPECT_EQ(t.substr(t.size() - 18), "%%Trailer\r\n%%EOF\r\n");
  io.ClosePSFile();  // nothing open: nothing happens
  EXPECT_EQ(FileText(file), t);
  if (!HaveGS()) GTEST_SKIP() << "Ghostscript missing";
  std::vector<Pnm> pages = RenderGS(dir, file, 40, 30);
  ASSERT_EQ(pages.size(), 3u);
  std::string first;
  EXPECT_EQ(Differences(*colour, pages[0], first), 0) << first;
  EXPECT_EQ(Differences(*one, pages[1], first), 0) << first;
  EXPECT_EQ(Differences(*grey, pages[2], first), 0) << first;
}

TEST(PSPDFComponent, ThreePDFPagesAcrossCallsAndTheFileStaysEmptyUntilClosed) {
  ScratchDir dir;
  const std::string file = dir / "doc.pdf";
  auto colour = ColourImage(40, 30), one = OneBitImage(40, 30), grey = GreyImage(40, 30);
  TVXBitmap target;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&target);
  io.Params().SetPDF_PaperWidth(0);
  io.Params().SetPDF_Compression(ioPDF_LZW);
  io.CreatePDFFile(file);
  for (TVXBitmap* b : {colour.get(), one.get(), grey.get()}) {
    target.Assign(b);
    io.SaveToPDF();
    EXPECT_FALSE(io.Aborting());
  }
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
  io.ClosePDFFile();
  EXPECT_EQ(VXGetPDFFilePageCount(file), 3);
  const TVXCodecOps* ops = VXFindCodecOps(18);
  ASSERT_TRUE(ops && ops->ImageCount);
  TVXWideFileStream in(file, fmOpenRead);
  EXPECT_EQ(ops->ImageCount(&in), 3);
  io.ClosePDFFile();
  EXPECT_EQ(VXGetPDFFilePageCount(file), 3);
  if (!HaveGS()) GTEST_SKIP() << "Ghostscript missing";
  std::vector<Pnm> pages = RenderGS(dir, file);
  ASSERT_EQ(pages.size(), 3u);
  std::string first;
  EXPECT_EQ(Differences(*colour, pages[0], first), 0) << first;
  EXPECT_EQ(Differences(*one, pages[1], first), 0) << first;
  EXPECT_EQ(Differences(*grey, pages[2], first), 0) << first;
}

TEST(PSPDFComponent, OpenDocumentsAreFinishedByANewDocumentAndByTheDestructor) {
  ScratchDir dir;
  auto img = OneBitImage(16, 16);
  {
    TVexlaneIO io;
    io.SetAttachedVXBitmap(img.get());
    io.CreatePDFFile(dir / "first.pdf");
    io.SaveToPDF();
    io.CreatePDFFile(dir / "second.pdf");  // the first is closed whole
    EXPECT_EQ(VXGetPDFFilePageCount(dir / "first.pdf"), 1);
    io.SaveToPDF();
    io.SaveToPDF();
    io.CreatePSFile(dir / "first.ps");
    io.SaveToPS();
    io.CreatePSFile(dir / "second.ps");
    EXPECT_NE(FileText(dir / "first.ps").find("%%Trailer\r\n%%EOF\r\n"), std::string::npos);
    io.SaveToPS();
  }
  EXPECT_EQ(VXGetPDFFilePageCount(dir / "second.pdf"), 2);
  const std::string ps = FileText(dir / "second.ps");
  EXPECT_NE(ps.find("%%Pages: 1     "), std::string::npos);
  EXPECT_EQ(ps.substr(ps.size() - 18), "%%Trailer\r\n%%EOF\r\n");
  if (HaveTool("/usr/bin/qpdf")) {
    for (const char* f : {"first.pdf", "second.pdf"})
      EXPECT_EQ(Shell("/usr/bin/qpdf --check '" + (dir / f) + "' >/dev/null"), 0);
  }
}

TEST(PSPDFComponent, AddingWithoutADocumentSetsAbortingAndClosingDoesNothing) {
  auto img = ColourImage(8, 8);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(img.get());
  io.ClosePSFile();
  io.ClosePDFFile();
  EXPECT_FALSE(io.Aborting());
  io.SaveToPDF();
  EXPECT_TRUE(io.Aborting());
  io.SetAborting(false);
  io.SaveToPS();
  EXPECT_TRUE(io.Aborting());
}

TEST(PSPDFComponent, OnePageDocumentsThroughTheSaveDispatch) {
  ScratchDir dir;
  auto img = GreyImage(30, 20);
  TVXBitmap target;
  target.Assign(img.get());
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&target);
  io.SaveToFile(dir / "a.pdf", -1);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().FileType(), 18);
  EXPECT_EQ(VXGetPDFFilePageCount(dir / "a.pdf"), 1);
  io.SaveToFile(dir / "b.eps", -1);
  EXPECT_EQ(io.Params().FileType(), 17);
  EXPECT_EQ(FileText(dir / "b.eps").rfind("%!PS-Adobe-3.0\r\n", 0), 0u);
  TMemoryStream ps, pdf;
  io.SaveToStream(&ps, 17);
  io.SaveToStream(&pdf, 18);
  EXPECT_NE(Text(ps).find("%%Pages: 1     "), std::string::npos);
  EXPECT_EQ(VXGetPDFPageCount(&pdf), 1);
  EXPECT_EQ(target.PixelFormat(), vx24RGB);
}

}  // namespace
