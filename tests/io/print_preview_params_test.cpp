// The print-preview settings: the 85-byte record, its file form and the
// access by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/streams.h"
#include "io/printparams.h"
#include "io/vexlaneio.h"

namespace {

TIOPrintPreviewParams Unusual() {
  TIOPrintPreviewParams p;
  p.SetMarginTop(0.25);
  p.SetMarginLeft(0.5);
  p.SetMarginRight(0.75);
  p.SetMarginBottom(1.5);
  p.SetPosition(ppBottomRight);
  p.SetSize(psSpecifiedSize);
  p.SetWidth(3.5);
  p.SetHeight(-2);
  p.SetGamma(2.2);
  p.SetPrintThumbnails(true);
  p.SetThumbnailColumns(-7);
  p.SetThumbnailRows(123456);
  p.SetThumbnailSpacing(0.3);
  p.SetThumbnailStyle(ptBorder);
  p.SetThumbnailShowText(false);
  p.SetDlgWidth(640);
  p.SetDlgHeight(-1);
  return p;
}

std::string Bytes(const TIOPrintPreviewParams& p) {
  TMemoryStream m;
  p.SaveToStream(m);
  return std::string(static_cast<const char*>(m.Memory()), size_t(m.Size()));
}

std::string TempName(const char* Name) {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vx_pp_" + std::to_string(::getpid()) + "_" + Name;
}

}  // namespace

TEST(PrintPreviewParams, DefaultsAreThoseOfTheDialog) {
  const TIOPrintPreviewParams p;
  EXPECT_EQ(p.MarginTop(), 1);
  EXPECT_EQ(p.MarginBottom(), 1);
  EXPECT_EQ(p.Position(), ppCenter);
  EXPECT_EQ(p.Size(), psFitToPage);
  EXPECT_EQ(p.Width(), -1);
  EXPECT_EQ(p.Gamma(), 1);
  EXPECT_EQ(p.ThumbnailColumns(), 4);
  EXPECT_EQ(p.ThumbnailRows(), 5);
  EXPECT_EQ(p.ThumbnailSpacing(), 0.1);
  EXPECT_EQ(p.ThumbnailStyle(), ptSoftShadow);
  EXPECT_TRUE(p.ThumbnailShowText());
  EXPECT_EQ(p.DlgWidth(), 0);
  TVexlaneIO io;
  EXPECT_TRUE(io.PrintPreviewParams() == p);
}

TEST(PrintPreviewParams, StreamIs85BytesAndReadsBackEqual) {
  const TIOPrintPreviewParams p = Unusual();
  const std::string b = Bytes(p);
  ASSERT_EQ(b.size(), 85u);
  // Read at the stream's position, after something else.
  TMemoryStream m;
  m.WriteBuffer("xyz", 3);
  m.WriteBuffer(b.data(), 85);
  m.SetPosition(3);
  TIOPrintPreviewParams q;
  q.LoadFromStream(m);
  EXPECT_TRUE(q == p);
  EXPECT_EQ(m.Position(), 88);
}

TEST(PrintPreviewParams, ShortStreamKeepsTheCutFieldAndThoseAfter) {
  const std::string b = Bytes(Unusual());
  // Cut inside Height (offset 42..49): Width is read, Height and later stay.
  TVXMemStream cut(b.data(), 45);
  TIOPrintPreviewParams q;
  q.LoadFromStream(cut);
  EXPECT_EQ(q.MarginBottom(), 1.5);
  EXPECT_EQ(q.Size(), psSpecifiedSize);
  EXPECT_EQ(q.Width(), 3.5);
  EXPECT_EQ(q.Height(), -1);
  EXPECT_EQ(q.Gamma(), 1);
  EXPECT_EQ(q.ThumbnailRows(), 5);
  EXPECT_EQ(q.DlgHeight(), 0);
  // Cut in the last field only.
  TVXMemStream almost(b.data(), 84);
  TIOPrintPreviewParams r;
  r.LoadFromStream(almost);
  EXPECT_EQ(r.DlgWidth(), 640);
  EXPECT_EQ(r.DlgHeight(), 0);
}

TEST(PrintPreviewParams, OrdinalsOutsideTheirEnumerationAreIgnored) {
  std::string b = Bytes(Unusual());
  b[32] = char(9);   // Position: one past ppBottomRight
  b[33] = char(200); // Size
  b[75] = char(3);   // ThumbnailStyle
  TVXMemStream s(b.data(), 85);
  TIOPrintPreviewParams q;
  q.LoadFromStream(s);
  EXPECT_EQ(q.Position(), ppCenter);
  EXPECT_EQ(q.Size(), psFitToPage);
  EXPECT_EQ(q.ThumbnailStyle(), ptSoftShadow);
  EXPECT_EQ(q.Gamma(), 2.2);
  q.SetProperty("position", "9");
  q.SetProperty("size", "-1");
  q.SetProperty("thumbnailstyle", "7");
  EXPECT_EQ(q.Position(), ppCenter);
  EXPECT_EQ(q.Size(), psFitToPage);
  EXPECT_EQ(q.ThumbnailStyle(), ptSoftShadow);
}

TEST(PrintPreviewParams, FileFormRoundTripsAndMissingFileRaises) {
  const std::string name = TempName("params.bin");
  const TIOPrintPreviewParams p = Unusual();
  p.SaveToFile(name);
  TIOPrintPreviewParams q;
  q.LoadFromFile(name);
  EXPECT_TRUE(q == p);
  std::remove(name.c_str());
  EXPECT_THROW(q.LoadFromFile(name), EFOpenError);
}

TEST(PrintPreviewParams, PropertiesByName) {
  struct Case {
    const char* Name;
    const char* Value;
    const char* Read;  // GetProperty afterwards
  };
  const Case cases[] = {
      {"MarginTop", "0,5", "0.5"},        {"margin\tleft", "2.25", "2.25"}, {"MARGINRIGHT", "abc", "0"},
      {"MarginBottom", "1.75", "1.75"},   {"Position", "2", "2"},          {"Size", "x", "0"},
      {"Width", "4.5", "4.5"},            {"Height", "3", "3"},            {"Gamma", "1.8", "1.8"},
      {"PrintThumbnails", "t", "1"},      {"ThumbnailColumns", "zz", "4"}, {"thumbnailrows", "many", "5"},
      {"ThumbnailRows", "7", "7"},        {"ThumbnailSpacing", "0.2", "0.2"}, {"ThumbnailStyle", "2", "2"},
      {"ThumbnailShowText", "no", "0"},   {"ThumbnailShowText", "TRUE", "1"}, {"DlgWidth", "800", "800"},
      {"DlgHeight", "6\n00", "600"},
  };
  TIOPrintPreviewParams p;
  for (const Case& c : cases) {
    p.SetProperty(c.Name, c.Value);
    EXPECT_EQ(p.GetProperty(c.Name), c.Read) << c.Name << " = " << c.Value;
  }
  EXPECT_EQ(p.GetProperty("NoSuchName"), "");
  const std::string before = Bytes(p);
  p.SetProperty("NoSuchName", "1");
  EXPECT_EQ(Bytes(p), before);
}

TEST(PrintPreviewParams, PythonUnpacksTheFieldsSetByName) {
  if (std::system("/usr/bin/python3 -c 'import struct' >/dev/null 2>&1") != 0) GTEST_SKIP() << "/usr/bin/python3 missing";
  TIOPrintPreviewParams p;
  p.SetProperty("MARGINTOP", "0.5");
  p.SetProperty("MARGINLEFT", "0.25");
  p.SetProperty("MARGINRIGHT", "0.125");
  p.SetProperty("MARGINBOTTOM", "2");
  p.SetProperty("POSITION", "8");
  p.SetProperty("SIZE", "4");
  p.SetProperty("WIDTH", "3.5");
  p.SetProperty("HEIGHT", "1.5");
  p.SetProperty("GAMMA", "2.2");
  p.SetProperty("PRINTTHUMBNAILS", "1");
  p.SetProperty("THUMBNAILCOLUMNS", "-3");
  p.SetProperty("THUMBNAILROWS", "9");
  p.SetProperty("THUMBNAILSPACING", "0.75");
  p.SetProperty("THUMBNAILSTYLE", "2");
  p.SetProperty("THUMBNAILSHOWTEXT", "0");
  p.SetProperty("DLGWIDTH", "1024");
  p.SetProperty("DLGHEIGHT", "768");
  const std::string name = TempName("unpack.bin");
  p.SaveToFile(name);
  const std::string cmd = "/usr/bin/python3 -c \"import struct,sys; d=open(sys.argv[1],'rb').read(); "
                          "print(len(d), struct.unpack('<4d2B3dB2idBB2i', d))\" " + name;
  FILE* f = ::popen(cmd.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char buf[512] = {};
  const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  ::pclose(f);
  std::remove(name.c_str());
  EXPECT_EQ(std::string(buf, n),
            "85 (0.5, 0.25, 0.125, 2.0, 8, 4, 3.5, 1.5, 2.2, 1, -3, 9, 0.75, 2, 0, 1024, 768)\n");
}
