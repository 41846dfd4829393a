// Printing the I/O component's image on the virtual PDF printer (and on an
// IPP print queue), checked with poppler's tools, and the page preview.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/sysutils.h"
#include "core/vxdefs.h"
#include "gui/graphics.h"
#include "gui/printers.h"
#include "io/params.h"
#include "io/printlog.h"
#include "io/vexlaneio.h"
#include "winui/gdi_print.h"
#include "winui/headless.h"
#include "winui/win_metrics.h"

namespace fs = std::filesystem;

namespace {

bool Have(const char* Tool) { return ::access(Tool, X_OK) == 0; }

std::string Shell(const std::string& Cmd) {
  std::string out;
  if (FILE* f = ::popen(Cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    ::pclose(f);
  }
  return out;
}

struct TImage24 {
  int W = 0, H = 0;
  std::vector<uint8_t> RGB;
  const uint8_t* At(int x, int y) const { return &RGB[(size_t(y) * W + x) * 3]; }
};

// A binary PPM (P6, maxval 255) as pdftoppm writes it.
TImage24 ReadPPM(const std::string& Name) {
  TImage24 img;
  std::ifstream f(Name, std::ios::binary);
  std::string magic;
  int maxval = 0;
  f >> magic >> img.W >> img.H >> maxval;
  f.get();
  if (magic != "P6" || maxval != 255) return TImage24{};
  img.RGB.resize(size_t(img.W) * img.H * 3);
  f.read(reinterpret_cast<char*>(img.RGB.data()), std::streamsize(img.RGB.size()));
  return img;
}

// The lines of `pdfimages -list` after its two heading lines, as fields.
std::vector<std::vector<std::string>> ImageList(const std::string& Pdf) {
  std::istringstream in(Shell("/usr/bin/pdfimages -list '" + Pdf + "' 2>/dev/null"));
  std::vector<std::vector<std::string>> rows;
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    if (n++ < 2) continue;
    std::istringstream l(line);
    std::vector<std::string> f;
    std::string s;
    while (l >> s) f.push_back(s);
    if (!f.empty()) rows.push_back(f);
  }
  return rows;
}

// Seeded noise, or a smooth ramp.
void Fill(TVXBitmap& b, int W, int H, bool Smooth) {
  b.Allocate(W, H, vx24RGB);
  std::mt19937 rng(40);
  for (int y = 0; y < H; ++y) {
    auto* row = static_cast<uint8_t*>(b.ScanLine(y));
    for (int x = 0; x < W; ++x) {
      if (Smooth) {
        row[3 * x] = uint8_t(x * 255 / (W - 1));
        row[3 * x + 1] = uint8_t(y * 255 / (H - 1));
        row[3 * x + 2] = uint8_t(128 + 100 * std::sin(x / 60.0) * std::cos(y / 45.0));
      } else {
        for (int c = 0; c < 3; ++c) row[3 * x + c] = uint8_t(rng());
      }
    }
  }
}

class PrintImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("vx_print_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir);
    VXHeadless::ClearPrinters();
    VXHeadless::UseCUPS(false);
  }
  void TearDown() override {
    VXSetPrintLogFile("");
    SetPrinter(nullptr);
    VXHeadless::ResetPrinters();
    std::error_code ec;
    if (!std::getenv("VX_KEEP_PRINT")) fs::remove_all(Dir, ec);
  }
  // A PDF printer as the only one, and a fresh printer object for it.
  std::string UsePDFPrinter(double W, double H, int Dpi) {
    const std::string pdf = (Dir / "out.pdf").string();
    VXHeadless::AddPDFPrinter("Test PDF", pdf, W, H, Dpi);
    SetPrinter(new TPrinter);
    return pdf;
  }
  fs::path Dir;
};

bool Tools() { return Have("/usr/bin/pdfinfo") && Have("/usr/bin/pdfimages") && Have("/usr/bin/pdftoppm"); }

}  // namespace

TEST_F(PrintImageTest, PrinterDeviceReportsPaperResolutionAndOrientation) {
  VXHeadless::AddPDFPrinter("First", "", 8.5, 11, 600);
  VXHeadless::AddPDFPrinter("Second", "", 210 / 25.4, 297 / 25.4, 300);
  char name[64];
  DWORD n = sizeof name;
  ASSERT_TRUE(GetDefaultPrinterW(name, &n));
  EXPECT_STREQ(name, "First");
  DWORD small = 3;
  EXPECT_FALSE(GetDefaultPrinterW(name, &small));
  EXPECT_EQ(small, 6u);
  TPrinter p;
  ASSERT_EQ(p.Printers(), (std::vector<std::string>{"First", "Second"}));
  struct Case {
    int Index;
    TPrinterOrientation Orientation;
    int HorzRes, VertRes, Dpi;
  };
  for (const Case& c : {Case{0, poPortrait, 5100, 6600, 600}, Case{0, poLandscape, 6600, 5100, 600},
                        Case{1, poPortrait, 2480, 3508, 300}}) {
    p.SetPrinterIndex(c.Index);
    p.SetOrientation(c.Orientation);
    HDC dc = p.Canvas()->Handle();
    EXPECT_EQ(p.PageWidth(), c.HorzRes);
    EXPECT_EQ(p.PageHeight(), c.VertRes);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), c.HorzRes);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), 0);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), c.Dpi);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), c.Dpi);
  }
  // The device mode travels with the printer.
  p.SetCopies(3);
  std::string device, driver, port;
  HGLOBAL mode = nullptr;
  p.GetPrinter(device, driver, port, mode);
  EXPECT_EQ(device, "Second");
  TPrinter q;
  q.SetPrinter(device, driver, port, mode);
  GlobalFree(mode);
  EXPECT_EQ(q.PrinterIndex(), 1);
  EXPECT_EQ(q.Copies(), 3);
  EXPECT_EQ(q.Orientation(), poPortrait);
  EXPECT_THROW(q.EndDoc(), EPrinter);
}

TEST_F(PrintImageTest, NormalSizeCentredOnLetterAt600Dpi) {
  if (!Tools()) GTEST_SKIP() << "poppler-utils missing (bash scripts/setup --tests)";
  const std::string pdf = UsePDFPrinter(8.5, 11, 600);
  TVXBitmap bmp;
  Fill(bmp, 600, 300, false);
  auto io = TVexlaneIO::CreateFromBitmap(&bmp);
  io->Params().SetDpiX(300);
  io->Params().SetDpiY(300);
  Printer()->SetTitle("Noise");
  Printer()->BeginDoc();
  io->PrintImage(nullptr, 1, 1, 1, 1, vxvpCenter, vxhpCenter, vxsNormal, 0, 0, 1);
  Printer()->EndDoc();
  ASSERT_TRUE(fs::exists(pdf));
  const std::string info = Shell("/usr/bin/pdfinfo '" + pdf + "'");
  EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Page size:       612 x 792 pts"), std::string::npos) << info;
  const auto images = ImageList(pdf);
  ASSERT_EQ(images.size(), 1u);
  // page num type width height color comp bpc enc interp object ID x-ppi y-ppi
  EXPECT_EQ(images[0][3], "600");
  EXPECT_EQ(images[0][4], "300");
  EXPECT_EQ(images[0][12], "300");
  EXPECT_EQ(images[0][13], "300");
  // The embedded image is the bitmap itself.
  Shell("/usr/bin/pdfimages '" + pdf + "' '" + (Dir / "img").string() + "'");
  const TImage24 embedded = ReadPPM((Dir / "img-000.ppm").string());
  ASSERT_EQ(embedded.W, 600);
  ASSERT_EQ(embedded.H, 300);
  int wrong = 0;
  for (int y = 0; y < 300; ++y) {
    const auto* s = static_cast<const uint8_t*>(bmp.ScanLine(y));
    for (int x = 0; x < 600; ++x)
      wrong += embedded.At(x, y)[0] != s[3 * x + 2] || embedded.At(x, y)[1] != s[3 * x + 1] ||
               embedded.At(x, y)[2] != s[3 * x];
  }
  EXPECT_EQ(wrong, 0);
  // Rendered at 600 dpi it covers (1950, 3000)-(3150, 3600); poppler smooths
  // enlargements below 4x, which may reach one pixel further.
  Shell("/usr/bin/pdftoppm -r 600 '" + pdf + "' '" + (Dir / "page").string() + "'");
  const TImage24 page = ReadPPM((Dir / "page-1.ppm").string());
  ASSERT_EQ(page.W, 5100);
  ASSERT_EQ(page.H, 6600);
  int l = page.W, t = page.H, r = 0, b = 0;
  for (int y = 0; y < page.H; ++y)
    for (int x = 0; x < page.W; ++x) {
      const uint8_t* p = page.At(x, y);
      if ((p[0] & p[1] & p[2]) != 255) {
        l = std::min(l, x);
        t = std::min(t, y);
        r = std::max(r, x + 1);
        b = std::max(b, y + 1);
      }
    }
  EXPECT_EQ(l, 1950);
  EXPECT_EQ(t, 3000);
  EXPECT_GE(r, 3150);
  EXPECT_LE(r, 3151);
  EXPECT_GE(b, 3600);
  EXPECT_LE(b, 3601);
}

TEST_F(PrintImageTest, SizeModesAndAlignmentsLandWhereTheLayoutPutsThem) {
  if (!Tools()) GTEST_SKIP() << "poppler-utils missing (bash scripts/setup --tests)";
  // A 4 x 6 inch page at 100 dpi: margins of 0.5 leave 3 x 5 inches.
  struct Case {
    TVXSize Size;
    TVXHorizontalPos H;
    TVXVerticalPos V;
    int DpiOfImage;  // 1: the printer's
    int Left, Top, Right, Bottom;  // the image's pixels on the page at 100 dpi
  };
  const Case cases[] = {
      {vxsNormal, vxhpLeft, vxvpTop, 1, 50, 50, 100, 75},             // 50 x 25 at the printer's 100 dpi
      {vxsNormal, vxhpRight, vxvpBottom, 200, 325, 537, 350, 549},    // 0.25 x 0.125 in
      {vxsFitToPage, vxhpCenter, vxvpCenter, 300, 50, 225, 350, 375}, // enlarged to 3 x 1.5 in
      {vxsFitToPageStretch, vxhpCenter, vxvpCenter, 300, 50, 50, 350, 550},
      {vxsFillPage, vxhpLeft, vxvpTop, 300, 50, 50, 1050, 550},       // 10 x 5 in, cut by the page
      {vxsSpecifiedSize, vxhpCenter, vxvpBottom, 300, 150, 450, 250, 550},
  };
  for (const Case& c : cases) {
    const std::string pdf = (Dir / "layout.pdf").string();
    VXHeadless::ClearPrinters();
    VXHeadless::AddPDFPrinter("Layout", pdf, 4, 6, 100);
    SetPrinter(new TPrinter);
    TVXBitmap bmp;
    bmp.Allocate(50, 25, vx24RGB);
    for (int y = 0; y < 25; ++y) std::memset(bmp.ScanLine(y), 0, 150);
    auto io = TVexlaneIO::CreateFromBitmap(&bmp);
    io->SetPrintingFilterOnSubsampling(rfNone);
    io->Params().SetDpiX(c.DpiOfImage);
    io->Params().SetDpiY(c.DpiOfImage);
    Printer()->BeginDoc();
    io->PrintImage(nullptr, 0.5, 0.5, 0.5, 0.5, c.V, c.H, c.Size, 1, 1, 1);
    Printer()->EndDoc();
    Shell("/usr/bin/pdftoppm -r 100 '" + pdf + "' '" + (Dir / "l").string() + "'");
    const TImage24 page = ReadPPM((Dir / "l-1.ppm").string());
    ASSERT_EQ(page.W, 400);
    int l = page.W, t = page.H, r = 0, b = 0;
    for (int y = 0; y < page.H; ++y)
      for (int x = 0; x < page.W; ++x)
        if (page.At(x, y)[0] < 128) {
          l = std::min(l, x);
          t = std::min(t, y);
          r = std::max(r, x + 1);
          b = std::max(b, y + 1);
        }
    EXPECT_EQ(l, c.Left) << int(c.Size);
    EXPECT_EQ(t, c.Top) << int(c.Size);
    EXPECT_EQ(r, std::min(c.Right, 400)) << int(c.Size);
    EXPECT_EQ(b, std::min(c.Bottom, 600)) << int(c.Size);
  }
}

TEST_F(PrintImageTest, FilteredReductionPrintsInStripsCloseToBilinear) {
  if (!Tools() || !Have("/usr/bin/python3")) GTEST_SKIP() << "poppler-utils or python3 missing";
  const std::string pdf = UsePDFPrinter(8.5, 11, 150);
  TVXBitmap bmp;
  Fill(bmp, 1200, 600, true);
  const int64_t L = VXBitmapRowLen(600, 24, bmp.BitAlignment());
  bmp.SetMinFileSize(4 * L * 128);
  auto io = TVexlaneIO::CreateFromBitmap(&bmp);
  io->SetPrintingFilterOnSubsampling(rfBilinear);
  Printer()->BeginDoc();
  io->PrintImagePos(Printer()->Canvas(), 1, 1, 4, 2, 1);
  Printer()->EndDoc();
  const auto images = ImageList(pdf);
  ASSERT_EQ(images.size(), 3u);
  const int heights[] = {128, 128, 44};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(images[size_t(i)][3], "600");
    EXPECT_EQ(images[size_t(i)][4], std::to_string(heights[i]));
  }
  // The source as a PPM for Pillow, the page at the printer's resolution.
  const std::string src = (Dir / "src.ppm").string();
  {
    std::ofstream f(src, std::ios::binary);
    f << "P6\n1200 600\n255\n";
    for (int y = 0; y < 600; ++y) {
      const auto* row = static_cast<const uint8_t*>(bmp.ScanLine(y));
      for (int x = 0; x < 1200; ++x) {
        const char px[3] = {char(row[3 * x + 2]), char(row[3 * x + 1]), char(row[3 * x])};
        f.write(px, 3);
      }
    }
  }
  Shell("/usr/bin/pdftoppm -r 150 '" + pdf + "' '" + (Dir / "s").string() + "'");
  const std::string script =
      "import sys; from PIL import Image; import numpy as np\n"
      "a = np.asarray(Image.open(sys.argv[1]).resize((600, 300), Image.BILINEAR), dtype=float)\n"
      "p = np.asarray(Image.open(sys.argv[2]), dtype=float)[150:450, 150:750]\n"
      "print('%.3f' % np.abs(a - p).mean())\n";
  const std::string py = (Dir / "cmp.py").string();
  std::ofstream(py) << script;
  const std::string out = Shell("/usr/bin/python3 '" + py + "' '" + src + "' '" + (Dir / "s-1.ppm").string() + "'");
  ASSERT_FALSE(out.empty());
  EXPECT_LT(std::stod(out), 3.0) << out;
}

TEST_F(PrintImageTest, GammaOfTheUnfilteredPath) {
  if (!Tools()) GTEST_SKIP() << "poppler-utils missing (bash scripts/setup --tests)";
  // A gamma of 0 or below is none, as on the filtered path.
  const struct {
    double Gamma;
    int Printed;
  } cases[] = {{2.2, 186}, {1, 128}, {0, 128}, {-1, 128}};
  for (const auto& c : cases) {
    VXHeadless::ClearPrinters();
    const std::string pdf = UsePDFPrinter(2, 2, 72);
    TVXBitmap bmp;
    bmp.Allocate(8, 8, vx24RGB);
    for (int y = 0; y < 8; ++y) std::memset(bmp.ScanLine(y), 128, 24);
    auto io = TVexlaneIO::CreateFromBitmap(&bmp);
    io->SetPrintingFilterOnSubsampling(rfNone);
    Printer()->BeginDoc();
    io->PrintImagePosEx(Printer()->Canvas(), 72, 72, 0.5, 0.5, 0.5, 0.5, c.Gamma);
    Printer()->EndDoc();
    Shell("/usr/bin/pdftoppm -r 72 '" + pdf + "' '" + (Dir / "g").string() + "'");
    const TImage24 page = ReadPPM((Dir / "g-1.ppm").string());
    ASSERT_EQ(page.W, 144);
    EXPECT_EQ(page.At(54, 54)[1], c.Printed) << c.Gamma;
    EXPECT_EQ(page.At(10, 10)[1], 255) << c.Gamma;
  }
}

TEST_F(PrintImageTest, PreviewPlacesTheImageAndTheDottedMargins) {
  UsePDFPrinter(8.5, 11, 600);
  TVXBitmap bmp;
  bmp.Allocate(600, 300, vx24RGB);
  for (int y = 0; y < 300; ++y) std::memset(bmp.ScanLine(y), 0, 1800);
  auto io = TVexlaneIO::CreateFromBitmap(&bmp);
  io->Params().SetDpiX(300);
  io->Params().SetDpiY(300);
  TBitmap preview;
  io->PreviewPrintImage(&preview, 300, 400, nullptr, 1, 1, 1, 1, vxvpCenter, vxhpCenter, vxsNormal, 0, 0, 1);
  // Zoom min(295 / 51, 395 / 66) %: a page of 295 x 381 pixels at 34 dpi.
  ASSERT_EQ(preview.Width(), 295);
  ASSERT_EQ(preview.Height(), 381);
  auto px = [&](int x, int y) {
    const auto* row = static_cast<const uint8_t*>(preview.ScanLine(y));
    return uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
  };
  // The image: 2 x 1 inches = 68 x 34 pixels centred in the margins.
  const double pw = 295.0 / 34, ph = 381.0 / 34;
  const int left = int(34 * (1 + (pw - 2 - 2) / 2)), top = int(34 * (1 + (ph - 2 - 1) / 2));
  EXPECT_EQ(px(left, top), 0u);
  EXPECT_EQ(px(left + 67, top + 33), 0u);
  EXPECT_EQ(px(left - 1, top + 10), 0xFFFFFFu);
  EXPECT_EQ(px(left + 68, top + 10), 0xFFFFFFu);
  // The margins: a dotted silver frame from (34, 34) to (261, 347), right and
  // bottom exclusive; nothing of it outside.
  auto line = [&](int x0, int y0, int dx, int dy, int n, int& silver, int& white) {
    silver = white = 0;
    for (int i = 0; i < n; ++i) {
      const uint32_t c = px(x0 + i * dx, y0 + i * dy);
      silver += c == 0xC0C0C0;
      white += c == 0xFFFFFF;
    }
  };
  struct Edge {
    int x0, y0, dx, dy, n;
    bool Frame;
  };
  for (const Edge& e : {Edge{34, 40, 0, 1, 300, true}, Edge{260, 40, 0, 1, 300, true}, Edge{40, 34, 1, 0, 200, true},
                        Edge{40, 346, 1, 0, 200, true}, Edge{33, 40, 0, 1, 300, false}, Edge{261, 40, 0, 1, 300, false},
                        Edge{40, 33, 1, 0, 200, false}, Edge{40, 347, 1, 0, 200, false}}) {
    int silver, white;
    line(e.x0, e.y0, e.dx, e.dy, e.n, silver, white);
    if (e.Frame) {
      EXPECT_GT(silver, e.n / 3) << e.x0 << "," << e.y0;
      EXPECT_GT(white, e.n / 3) << e.x0 << "," << e.y0;  // dotted
      EXPECT_EQ(silver + white, e.n);
    } else {
      EXPECT_EQ(white, e.n) << e.x0 << "," << e.y0;
    }
  }
  EXPECT_EQ(px(5, 5), 0xFFFFFFu);

  // A scaled resolution below 1 leaves a white page.
  TBitmap tiny;
  io->PreviewPrintImage(&tiny, 8, 8, nullptr, 1, 1, 1, 1, vxvpCenter, vxhpCenter, vxsNormal, 0, 0, 1);
  ASSERT_EQ(tiny.Width(), 2);
  ASSERT_EQ(tiny.Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 2; ++x) {
      const auto* row = static_cast<const uint8_t*>(tiny.ScanLine(y));
      EXPECT_EQ(row[3 * x] & row[3 * x + 1] & row[3 * x + 2], 255);
    }
  // No room for a page: the bitmap stays as it was.
  TBitmap kept(7, 9);
  io->PreviewPrintImage(&kept, 5, 400, nullptr, 1, 1, 1, 1, vxvpCenter, vxhpCenter, vxsNormal, 0, 0, 1);
  EXPECT_EQ(kept.Width(), 7);
  EXPECT_EQ(kept.Height(), 9);
}

TEST_F(PrintImageTest, PrintLogHasEveryStepInOrder) {
  UsePDFPrinter(8.5, 11, 600);
  const std::string log = (Dir / "print.log").string();
  VXSetPrintLogFile(log);
  TVXBitmap bmp;
  Fill(bmp, 40, 20, false);
  auto io = TVexlaneIO::CreateFromBitmap(&bmp);
  Printer()->BeginDoc();
  io->PrintImage(nullptr, 1, 1, 1, 1, vxvpCenter, vxhpCenter, vxsNormal, 0, 0, 1);
  Printer()->Abort();
  VXSetPrintLogFile("");
  std::ifstream f(log);
  std::vector<std::string> texts;
  std::string line;
  while (std::getline(f, line)) {
    const size_t at = line.find(" : ");
    ASSERT_NE(at, std::string::npos) << line;
    texts.push_back(line.substr(at + 3));
  }
  const std::vector<std::string> steps = {
      "TVexlaneIO.PrintImage: begin",
      "TVexlaneIO.PrintImageEx: begin",
      "TVexlaneIO.PrintImageEx: setting page sizes",
      "TVexlaneIO.PrintImagePosEx: begin",
      "TVexlaneIO.PrintImagePosEx: calling RenderToCanvas without subsampling filter",
      "TVXBitmap.RenderToCanvas: begin",
      "TVXBitmap.RenderToCanvas: filter=none, gamma=1, gamma=0",
      "_CopyBitmaptoDIBEx: begin",
      "TVXBitmap.RenderToCanvas: calling _DIBDrawTo",
      "TVXBitmap.RenderToCanvas: end",
      "TVexlaneIO.PrintImagePosEx: end",
      "TVexlaneIO.PrintImageEx: end",
      "TVexlaneIO.PrintImage: end",
  };
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), steps.front());
  EXPECT_EQ(texts.back(), steps.back());
  size_t next = 0;
  for (const std::string& t : texts)
    if (next < steps.size() && t == steps[next]) ++next;
  EXPECT_EQ(next, steps.size()) << "missing or out of order: " << (next < steps.size() ? steps[next] : "");
}

TEST_F(PrintImageTest, NoPrinterIsConfigured) {
  SetPrinter(new TPrinter);
  TVXBitmap bmp;
  Fill(bmp, 4, 4, false);
  auto io = TVexlaneIO::CreateFromBitmap(&bmp);
  try {
    io->PrintImage(nullptr, 1, 1, 1, 1, vxvpCenter, vxhpCenter, vxsNormal, 0, 0, 1);
    FAIL() << "no exception";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "No printer is configured");
  }
  EXPECT_THROW(Printer()->Canvas(), EPrinter);
  EXPECT_EQ(CreateDCW(nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(PrintImageTest, VirtualPDFPrinterWritesTheTitleIntoTheCurrentFolder) {
  if (!Tools()) GTEST_SKIP() << "poppler-utils missing (bash scripts/setup --tests)";
  VXHeadless::ResetPrinters();
  VXHeadless::UseCUPS(false);
  SetPrinter(new TPrinter);
  ASSERT_EQ(Printer()->Printers(), std::vector<std::string>{"PDF"});
  const fs::path before = fs::current_path();
  fs::current_path(Dir);
  TVXBitmap bmp;
  Fill(bmp, 30, 20, false);
  auto io = TVexlaneIO::CreateFromBitmap(&bmp);
  Printer()->SetTitle("My picture");
  Printer()->BeginDoc();
  io->PrintImage(nullptr, 1, 1, 1, 1, vxvpTop, vxhpLeft, vxsNormal, 0, 0, 1);
  Printer()->NewPage();
  io->PrintImage(nullptr, 1, 1, 1, 1, vxvpTop, vxhpLeft, vxsNormal, 0, 0, 1);
  Printer()->EndDoc();
  fs::current_path(before);
  const std::string pdf = (Dir / "My picture.pdf").string();
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_NE(Shell("/usr/bin/pdfinfo '" + pdf + "'").find("Pages:           2\n"), std::string::npos);
  EXPECT_EQ(ImageList(pdf).size(), 2u);
  // Abort leaves no file.
  fs::remove(pdf);
  fs::current_path(Dir);
  Printer()->BeginDoc();
  io->PrintImage(nullptr, 1, 1, 1, 1, vxvpTop, vxhpLeft, vxsNormal, 0, 0, 1);
  Printer()->Abort();
  fs::current_path(before);
  EXPECT_FALSE(fs::exists(pdf));
  EXPECT_TRUE(Printer()->Aborted());
}

TEST_F(PrintImageTest, RefreshPrinterKeepsCopiesOrientationAndTitle) {
  UsePDFPrinter(8.5, 11, 600);
  VXHeadless::AddPDFPrinter("Other", "", 4, 6, 300);
  SetPrinter(new TPrinter);
  Printer()->SetPrinterIndex(1);
  Printer()->SetCopies(4);
  Printer()->SetOrientation(poLandscape);
  Printer()->SetTitle("Kept");
  VXRefreshPrinter();
  EXPECT_EQ(Printer()->PrinterIndex(), 1);
  EXPECT_EQ(Printer()->Copies(), 4);
  EXPECT_EQ(Printer()->Orientation(), poLandscape);
  EXPECT_EQ(Printer()->Title(), "Kept");
  EXPECT_EQ(Printer()->PageWidth(), 1800);
  EXPECT_EQ(Printer()->PageHeight(), 1200);
}
