// The save-parameters dialog's format pages, driven like a person: the
// controls each page shows for the parameters of sample images, the TIFF
// pages' photometric, colour and compression coupling, the lenient number
// boxes, what OK writes, the colour panels, and every page's preview and
// compressed size against the file the same save writes (and the outside
// tools that read it).

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "dialogs/iopreviews.h"
#include "dialogs/palettedlg.h"
#include "gui/formdriver.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "view/vexlaneview.h"
#include "winui/headless.h"

namespace {

namespace D = VXFormDriver;

const std::string kPhoto = std::string(VX_TEST_DATA_DIR) + "/photo_48x30.jpg";

bool HaveTool(const std::string& Path) { return ::access(Path.c_str(), X_OK) == 0; }

std::string Scratch(const std::string& Name) {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vx_iopages_" + std::to_string(::getpid()) + "_" + Name;
}

std::string Shell(const std::string& Command) {
  std::string out;
  FILE* p = ::popen((Command + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

int64_t FileSize(const std::string& Name) {
  std::ifstream f(Name, std::ios::binary | std::ios::ate);
  return f ? int64_t(f.tellg()) : -1;
}

std::vector<uint8_t> ParamBytes(TIOParamsVals& P) {
  TMemoryStream s;
  P.SaveToStream(s);
  std::vector<uint8_t> out(size_t(s.Size()));
  s.SetPosition(0);
  s.Read(out.data(), int64_t(out.size()));
  return out;
}

std::vector<uint8_t> RGBBytes(TVXBitmap* b) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < b->Height(); ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(b->ScanLine(y));
    for (int32_t x = 0; x < b->Width(); ++x) {
      out.push_back(row[3 * x + 2]);
      out.push_back(row[3 * x + 1]);
      out.push_back(row[3 * x]);
    }
  }
  return out;
}

class IOPreviewPages : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(0);
    D::Reset();
    image_ = std::make_unique<TVXBitmap>();
    io_ = std::make_unique<TVexlaneIO>(nullptr);
    io_->SetAttachedVXBitmap(image_.get());
    ASSERT_TRUE(io_->LoadFromFile(kPhoto, -9));
    io_->SetSimplifiedParamsDialogs(false);
  }
  void TearDown() override {
    for (const std::string& f : files_) std::remove(f.c_str());
    io_.reset();
    D::Reset();
    VXHeadless::Reset();
  }
  bool Open(TPreviewParams pp, std::function<void(TfIOPreviews*)> Script) {
    D::OnModal<TfIOPreviews>(Script);
    return io_->DoPreviews(pp);
  }
  // Saves the component's image with its parameters as their file type.
  std::string Save(const std::string& Name) {
    const std::string f = Scratch(Name);
    files_.push_back(f);
    io_->SaveToFile(f, P().FileType());
    return f;
  }
  TIOParamsVals& P() { return io_->Params(); }

  TVXLibraryGuard library_;
  std::unique_ptr<TVXBitmap> image_;
  std::unique_ptr<TVexlaneIO> io_;
  std::vector<std::string> files_;
};

// ---- controls from the parameters of sample images ----

TEST_F(IOPreviewPages, ControlsLoadFromTheParametersOfSamples) {
  struct Case {
    const char* name;
    int32_t bits, samples;
    TIOTIFFPhotometInterpret photometric;
    int tiffColours, gif, bmp, pcx, png;
  };
  const Case cases[] = {
      {"1-bit", 1, 1, ioTIFF_BLACKISZERO, 0, 0, 0, 0, 0},
      {"grey", 8, 1, ioTIFF_BLACKISZERO, 2, 7, 2, 2, 1},
      {"palette", 8, 1, ioTIFF_RGBPALETTE, 2, 7, 2, 2, 1},
      {"16 colours", 4, 1, ioTIFF_RGBPALETTE, 1, 3, 1, 1, 1},
      {"RGB", 8, 3, ioTIFF_RGB, 4, 7, 3, 3, 2},
      {"CMYK TIFF", 8, 4, ioTIFF_CMYK, 4, 7, 3, 3, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    P().SetFileType(1);
    P().SetBitsPerSample(c.bits);
    P().SetSamplesPerPixel(c.samples);
    P().SetTIFF_PhotometInterpret(c.photometric);
    P().SetTIFF_Compression(ioTIFF_ZIP);
    P().SetTIFF_DocumentName("scan");
    P().SetTIFF_PageNumber(2);
    P().SetTIFF_PageCount(5);
    Open(ppALL, [&](TfIOPreviews* F) {
      EXPECT_EQ(F->PageControl1->ActivePage(), F->TabSheetTIFF1);
      EXPECT_EQ(F->ComboBox4->ItemIndex(), c.tiffColours);
      EXPECT_EQ(F->ComboBox3->ItemIndex(), int(c.photometric));
      EXPECT_EQ(F->ComboBox2->Items()->Strings(F->ComboBox2->ItemIndex()), "ZIP");
      EXPECT_EQ(F->Edit4->Text(), "scan");
      EXPECT_EQ(F->Edit7->Text(), "2");
      EXPECT_EQ(F->Edit8->Text(), "5");
      EXPECT_NE(F->SizeLines[iopTIFF1].OriginalValue->Caption(), "---");
      D::TabTo(F->PageControl1, F->TabSheetGIF1);
      EXPECT_EQ(F->ComboBox5->ItemIndex(), c.gif);
      D::TabTo(F->PageControl1, F->TabSheetBMP1);
      EXPECT_EQ(F->ComboBox7->ItemIndex(), c.bmp);
      D::TabTo(F->PageControl1, F->TabSheetPCX1);
      EXPECT_EQ(F->ComboBox9->ItemIndex(), c.pcx);
      D::TabTo(F->PageControl1, F->TabSheetPNG1);
      EXPECT_EQ(F->ComboBox10->ItemIndex(), c.png);
      D::TabTo(F->PageControl1, F->TabSheetTGA1);
      EXPECT_EQ(F->ComboBox14->ItemIndex(), c.png);
      D::Click(F->btnCancel);
    });
  }
}

TEST_F(IOPreviewPages, SimplifiedTiffCompressionAndColoursCouple) {
  io_->SetSimplifiedParamsDialogs(true);
  P().SetFileType(1);
  P().SetBitsPerSample(8);
  P().SetSamplesPerPixel(3);
  P().SetTIFF_Compression(ioTIFF_UNCOMPRESSED);
  Open(ppTIFF, [](TfIOPreviews* F) {
    auto shown = [F] { return F->ComboBox16->Items()->Strings(F->ComboBox16->ItemIndex()); };
    const int g4 = F->ComboBox16->Items()->IndexOf("G4Fax"), jpeg = F->ComboBox16->Items()->IndexOf("JPEG");
    D::Select(F->ComboBox16, g4);
    EXPECT_EQ(F->ComboBox17->ItemIndex(), 0);  // "2"
    EXPECT_EQ(F->TIFF_BitsPerSample, 1);
    EXPECT_EQ(F->TIFF_PhotometInterpret, ioTIFF_BLACKISZERO);
    D::Select(F->ComboBox17, 2);  // "256"
    EXPECT_EQ(shown(), "Uncompressed");
    EXPECT_EQ(F->TIFF_Compression, ioTIFF_UNCOMPRESSED);

    D::Select(F->ComboBox16, jpeg);
    EXPECT_EQ(F->ComboBox17->ItemIndex(), 3);  // "16M"
    EXPECT_EQ(F->TIFF_PhotometInterpret, ioTIFF_YCBCR);
    D::Select(F->ComboBox17, 2);  // "256" keeps JPEG
    EXPECT_EQ(shown(), "JPEG");
    D::Select(F->ComboBox17, 1);  // "16" does not
    EXPECT_EQ(shown(), "Uncompressed");
    EXPECT_EQ(F->TIFF_BitsPerSample, 4);
    D::Click(F->btnCancel);
  });
}

TEST_F(IOPreviewPages, FullTiffPhotometricAndColoursCouple) {
  P().SetFileType(1);
  P().SetBitsPerSample(8);
  P().SetSamplesPerPixel(3);
  P().SetTIFF_PhotometInterpret(ioTIFF_RGB);
  Open(ppTIFF, [](TfIOPreviews* F) {
    struct Step {
      TCustomComboBox* list;
      int index;
      int colours, photometric, bits, samples;
    };
    const Step steps[] = {
        {F->ComboBox3, ioTIFF_BLACKISZERO, 2, ioTIFF_BLACKISZERO, 8, 1},  // grey: "256"
        {F->ComboBox4, 0, 0, ioTIFF_BLACKISZERO, 1, 1},                   // "B/W"
        {F->ComboBox3, ioTIFF_WHITEISZERO, 0, ioTIFF_WHITEISZERO, 1, 1},  // B/W stays
        {F->ComboBox3, ioTIFF_CMYK, 4, ioTIFF_CMYK, 8, 4},                // "16M", 8 x 4
        {F->ComboBox4, 2, 2, ioTIFF_RGBPALETTE, 8, 1},                    // "256" after CMYK
        {F->ComboBox4, 4, 4, ioTIFF_RGBPALETTE, 8, 3},                    // "16M" changes nothing else
        {F->ComboBox3, ioTIFF_RGB, 4, ioTIFF_RGB, 8, 3},
        {F->ComboBox4, 2, 2, ioTIFF_RGBPALETTE, 8, 1},                    // "256" turns RGB into a palette
        {F->ComboBox4, 1, 1, ioTIFF_RGBPALETTE, 4, 1},                    // "16"
        {F->ComboBox4, 0, 0, ioTIFF_BLACKISZERO, 1, 1},
        {F->ComboBox3, ioTIFF_TRANSPMASK, 0, ioTIFF_TRANSPMASK, 1, 1},    // changes no colour
        {F->ComboBox3, ioTIFF_RGBPALETTE, 2, ioTIFF_RGBPALETTE, 8, 1},
    };
    int n = 0;
    for (const Step& s : steps) {
      SCOPED_TRACE(n++);
      D::Select(s.list, s.index);
      EXPECT_EQ(F->ComboBox4->ItemIndex(), s.colours);
      EXPECT_EQ(F->ComboBox3->ItemIndex(), s.photometric);
      EXPECT_EQ(F->TIFF_PhotometInterpret, s.photometric);
      EXPECT_EQ(F->TIFF_BitsPerSample, s.bits);
      EXPECT_EQ(F->TIFF_SamplesPerPixel, s.samples);
    }
    D::Click(F->btnCancel);
  });
  // A layout no entry shows: the colour list shows nothing, and a change
  // of another control keeps the layout.
  P().SetBitsPerSample(12);
  P().SetSamplesPerPixel(3);
  P().SetTIFF_Compression(ioTIFF_UNCOMPRESSED);
  EXPECT_TRUE(Open(ppTIFF, [](TfIOPreviews* F) {
    EXPECT_EQ(F->ComboBox4->ItemIndex(), -1);
    D::Select(F->ComboBox2, F->ComboBox2->Items()->IndexOf("ZIP"));
    EXPECT_EQ(F->TIFF_Compression, ioTIFF_ZIP);
    EXPECT_EQ(F->TIFF_BitsPerSample, 12);
    EXPECT_EQ(F->TIFF_SamplesPerPixel, 3);
    D::Click(F->btnOK);
  }));
  EXPECT_EQ(P().BitsPerSample(), 12);
  EXPECT_EQ(P().TIFF_Compression(), ioTIFF_ZIP);
}

TEST_F(IOPreviewPages, WithoutTheLzwEncoderTheListHasEightEntries) {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  const TTIFFLZWCompFunc saved = s->DefTIFF_LZWCOMPFUNC();
  s->SetDefTIFF_LZWCOMPFUNC(nullptr);
  P().SetFileType(1);
  P().SetTIFF_Compression(ioTIFF_LZW);
  Open(ppTIFF, [](TfIOPreviews* F) {
    EXPECT_EQ(F->ComboBox2->Items()->Count(), 8);
    EXPECT_EQ(F->ComboBox2->Items()->IndexOf("LZW"), -1);
    EXPECT_EQ(F->ComboBox2->Items()->Strings(F->ComboBox2->ItemIndex()), "Packbits");
    D::Click(F->btnCancel);
  });
  s->SetDefTIFF_LZWCOMPFUNC(saved);
  Open(ppTIFF, [](TfIOPreviews* F) {
    EXPECT_EQ(F->ComboBox2->Items()->Count(), 9);
    EXPECT_EQ(F->ComboBox2->Items()->Strings(F->ComboBox2->ItemIndex()), "LZW");
    D::Click(F->btnCancel);
  });
}

TEST_F(IOPreviewPages, NumberBoxesAreLenient) {
  P().SetFileType(3);
  P().SetJPEG_Quality(70);
  Open(ppJPEG, [](TfIOPreviews* F) {
    D::Type(F->Edit22, "abc");
    EXPECT_EQ(F->JPEG_Quality, 50);
    EXPECT_EQ(F->TrackBar13->Position(), 50);
    D::Type(F->Edit22, "150");
    EXPECT_EQ(F->JPEG_Quality, 100);
    EXPECT_EQ(F->TrackBar13->Position(), 100);
    EXPECT_EQ(F->Edit22->Text(), "100");
    D::Type(F->Edit23, "7");
    EXPECT_EQ(F->JPEG_Smooth, 7);
    D::Click(F->btnCancel);
  });
  io_->SetSimplifiedParamsDialogs(true);
  Open(ppJPEG, [](TfIOPreviews* F) {
    D::Type(F->Edit16, "x");
    EXPECT_EQ(F->JPEG_Quality, 50);
    D::Type(F->Edit16, "150");
    EXPECT_EQ(F->TrackBar2->Position(), 100);
    D::Click(F->btnCancel);
  });
  P().SetFileType(14);
  P().SetJ2000_Rate(0.07);
  EXPECT_TRUE(Open(ppJ2000, [](TfIOPreviews* F) {
    EXPECT_EQ(F->Edit15->Text(), "70");
    EXPECT_EQ(F->TrackBar1->Position(), 70);
    D::Type(F->Edit15, "250");
    EXPECT_DOUBLE_EQ(F->J2000_Rate, 0.25);
    EXPECT_EQ(F->TrackBar1->Position(), 250);
    D::Click(F->btnOK);
  }));
  EXPECT_DOUBLE_EQ(P().J2000_Rate(), 0.25);
}

// ---- what OK writes ----

TEST_F(IOPreviewPages, OkWritesTheActivePageOnly) {
  struct Case {
    const char* name;
    TPreviewParams page;
    std::function<void(TfIOPreviews*)> act;
    std::function<void(TIOParamsVals&)> expect;
  };
  const Case cases[] = {
      {"JPEG", ppJPEG,
       [](TfIOPreviews* F) {
         D::Slide(F->TrackBar13, 42);
         D::Select(F->ComboBox1, 2);
         D::Select(F->ComboBox13, 1);
         D::Click(F->CheckBox2);
         D::Click(F->CheckBox3);
         D::Type(F->Edit23, "12");
       },
       [](TIOParamsVals& R) {
         R.SetJPEG_Quality(42);
         R.SetJPEG_DCTMethod(ioJPEG_FLOAT);
         R.SetJPEG_ColorSpace(ioJPEG_GRAYLEV);
         R.SetJPEG_OptimalHuffman(!R.JPEG_OptimalHuffman());
         R.SetJPEG_Progressive(!R.JPEG_Progressive());
         R.SetJPEG_Smooth(12);
         R.SetFileType(3);
       }},
      {"TIFF", ppTIFF,
       [](TfIOPreviews* F) {
         D::Select(F->ComboBox2, F->ComboBox2->Items()->IndexOf("Packbits"));
         D::Select(F->ComboBox4, 2);
         D::Type(F->Edit1, "3");
         D::Type(F->Edit4, "doc");
         D::Type(F->Edit5, "desc");
         D::Type(F->Edit6, "p1");
         D::Type(F->Edit7, "1");
         D::Type(F->Edit8, "9");
         D::Type(F->Edit2, "4");
         D::Type(F->Edit3, "x");
       },
       [](TIOParamsVals& R) {
         R.SetTIFF_Compression(ioTIFF_PACKBITS);
         R.SetTIFF_PhotometInterpret(ioTIFF_RGBPALETTE);
         R.SetBitsPerSample(8);
         R.SetSamplesPerPixel(1);
         R.SetImageIndex(3);
         R.SetTIFF_DocumentName("doc");
         R.SetTIFF_ImageDescription("desc");
         R.SetTIFF_PageName("p1");
         R.SetTIFF_PageNumber(1);
         R.SetTIFF_PageCount(9);
         R.SetTIFF_XPos(4);
         R.SetTIFF_YPos(0);
         R.SetFileType(1);
       }},
      {"GIF", ppGIF,
       [](TfIOPreviews* F) {
         D::Select(F->ComboBox5, 5);
         D::Click(F->CheckBox4);
         D::Click(F->CheckBox5);
         D::Type(F->Edit9, "2");
         D::Type(F->Edit10, "5");
         D::Type(F->Edit11, "6");
         D::Type(F->Edit12, "25");
       },
       [](TIOParamsVals& R) {
         R.SetBitsPerSample(6);
         R.SetGIF_FlagTranspColor(true);
         R.SetGIF_Interlaced(true);
         R.SetImageIndex(2);
         R.SetGIF_XPos(5);
         R.SetGIF_YPos(6);
         R.SetGIF_DelayTime(25);
         R.SetFileType(2);
       }},
      {"BMP", ppBMP,
       [](TfIOPreviews* F) {
         D::Select(F->ComboBox6, 1);
         D::Select(F->ComboBox7, 4);
       },
       [](TIOParamsVals& R) {
         R.SetBMP_Compression(ioBMP_RLE);
         R.SetBitsPerSample(8);
         R.SetSamplesPerPixel(3);
         R.SetFileType(5);
       }},
      {"PCX", ppPCX,
       [](TfIOPreviews* F) {
         D::Select(F->ComboBox8, 0);
         D::Select(F->ComboBox9, 1);
       },
       [](TIOParamsVals& R) {
         R.SetPCX_Compression(ioPCX_UNCOMPRESSED);
         R.SetBitsPerSample(4);
         R.SetSamplesPerPixel(1);
         R.SetFileType(4);
       }},
      {"PNG", ppPNG,
       [](TfIOPreviews* F) {
         D::Select(F->ComboBox10, 0);
         D::Select(F->ComboBox11, 2);
         D::Click(F->CheckBox6);
         D::Select(F->ComboBox12, 9);
       },
       [](TIOParamsVals& R) {
         R.SetBitsPerSample(1);
         R.SetSamplesPerPixel(1);
         R.SetPNG_Filter(ioPNG_FILTER_PAETH);
         R.SetPNG_Interlaced(true);
         R.SetPNG_Compression(9);
         R.SetFileType(8);
       }},
      {"TGA", ppTGA,
       [](TfIOPreviews* F) {
         D::Select(F->ComboBox14, 1);
         D::Click(F->CheckBox1);
         D::Type(F->Edit13, "name");
         D::Type(F->Edit14, "text");
       },
       [](TIOParamsVals& R) {
         R.SetBitsPerSample(8);
         R.SetSamplesPerPixel(1);
         R.SetTGA_Compressed(!R.TGA_Compressed());
         R.SetTGA_ImageName("name");
         R.SetTGA_Descriptor("text");
         R.SetFileType(11);
       }},
      {"JPEG 2000", ppJ2000,
       [](TfIOPreviews* F) {
         D::Select(F->ComboBox15, 0);
         D::Slide(F->TrackBar1, 300);
       },
       [](TIOParamsVals& R) {
         R.SetBitsPerSample(8);
         R.SetSamplesPerPixel(1);
         R.SetJ2000_ColorSpace(ioJ2000_GRAYLEV);
         R.SetJ2000_Rate(0.3);
         R.SetFileType(14);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    P().SetFileType(6);  // no page of its own: only c.page shows
    TIOParamsVals expected;
    expected.Assign(P());
    EXPECT_TRUE(Open(c.page, [&](TfIOPreviews* F) {
      c.act(F);
      D::Click(F->btnOK);
    }));
    c.expect(expected);
    // Both sides are copies, so that only the values count.
    TIOParamsVals now;
    now.Assign(P());
    EXPECT_TRUE(ParamBytes(now) == ParamBytes(expected));
    // The next case starts from what this one wrote.
  }
}

// ---- colour panels ----

TEST_F(IOPreviewPages, GifPanelComputesThePreviewFirstAndOffersItsPalette) {
  P().SetFileType(3);
  P().SetBitsPerSample(8);
  P().SetSamplesPerPixel(3);
  Open(ppJPEG | ppGIF, [&](TfIOPreviews* F) {
    // Unlocked: the GIF page shows no preview of its own yet.
    D::TabTo(F->PageControl1, F->TabSheetGIF1);
    D::Select(F->ComboBox5, 3);  // 16 colours
    EXPECT_EQ(F->vxnPreview->IO()->Params().ColorMap(), nullptr);
    const int before = F->PreviewCount;
    D::Click(F->CheckBox4);
    TRGB offered{};
    int count = 0;
    D::OnModal<TVexlanePaletteDialog>([&](TVexlanePaletteDialog* Dlg) {
      const TIOParamsVals& pp = F->vxnPreview->IO()->Params();
      count = pp.ColorMapCount();
      offered = pp.ColorMap()[5];
      EXPECT_EQ(Dlg->ButtonCancel->Caption(), "&Cancel");
      const TRect cell = TVexlanePaletteDialog::CellRect(5);
      D::MouseMove(Dlg, cell.Left + 3, cell.Top + 3);
      D::ClickAt(Dlg, cell.Left + 3, cell.Top + 3);
    });
    D::Click(F->Panel3);
    EXPECT_EQ(F->PreviewCount, before + 1);
    EXPECT_EQ(count, 16);
    EXPECT_EQ(F->Panel3->Color(), TColor(VXTRGBToColor(offered)));
    EXPECT_EQ(VXTRGBToColor(F->GIF_TranspColor), VXTRGBToColor(offered));
    D::Click(F->btnOK);
  });
  EXPECT_EQ(P().FileType(), 2);
  EXPECT_TRUE(P().GIF_FlagTranspColor());
}

TEST_F(IOPreviewPages, TgaPanelWithoutAColourMapUsesTheColourDialog) {
  P().SetFileType(11);
  P().SetBitsPerSample(8);
  P().SetSamplesPerPixel(3);
  P().SetTGA_Background(TRGB{.b = 0x10, .g = 0x20, .r = 0x30});
  EXPECT_TRUE(Open(ppTGA, [&](TfIOPreviews* F) {
    EXPECT_EQ(F->vxnPreview->IO()->Params().ColorMap(), nullptr);
    EXPECT_EQ(F->Panel5->Color(), TColor(0x102030));
    D::AnswerColorDialog(false);
    D::Click(F->Panel5);
    ASSERT_EQ(D::SystemDialogLog().size(), 1u);
    EXPECT_EQ(D::SystemDialogLog().back().Kind, "Color");
    EXPECT_EQ(F->Panel5->Color(), TColor(0x102030));
    EXPECT_EQ(F->TGA_Background, (TRGB{.b = 0x10, .g = 0x20, .r = 0x30}));
    D::AnswerColorDialog(true, TColor(0x0000FF));
    D::Advance(1000);  // a second click, not a double click
    D::Click(F->Panel5);
    EXPECT_EQ(D::SystemDialogLog().size(), 2u);
    EXPECT_EQ(F->Panel5->Color(), TColor(0x0000FF));
    D::Click(F->btnOK);
  }));
  EXPECT_EQ(P().TGA_Background().r, 0xFF);
  EXPECT_EQ(P().TGA_Background().g, 0);
  EXPECT_EQ(P().TGA_Background().b, 0);
}

// ---- previews and sizes against the files the same save writes ----

TEST_F(IOPreviewPages, CompressedSizeIsTheSizeOfTheSavedFile) {
  struct Case {
    const char* name;
    int32_t fileType;
    TPreviewParams page;
    int kind;
    const char* ext;
  };
  const Case cases[] = {
      {"JPEG", 3, ppJPEG, iopJPEG1, "jpg"}, {"TIFF", 1, ppTIFF, iopTIFF1, "tif"},
      {"GIF", 2, ppGIF, iopGIF1, "gif"},    {"BMP", 5, ppBMP, iopBMP, "bmp"},
      {"PCX", 4, ppPCX, iopPCX, "pcx"},     {"PNG", 8, ppPNG, iopPNG, "png"},
      {"TGA", 11, ppTGA, iopTGA, "tga"},    {"JPEG 2000", 14, ppJ2000, iopJ2000, "j2k"},
  };
  // What the caller's parameters carry beyond the page's options is part
  // of the file and of the count.
  P().PNG_TextKeys().push_back("Title");
  P().PNG_TextValues().push_back("A photo with a title of some length");
  P().GIF_Comments().push_back("A comment that the GIF file carries along");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    P().SetFileType(c.fileType);
    P().SetBitsPerSample(8);
    P().SetSamplesPerPixel(3);
    P().SetTIFF_PhotometInterpret(ioTIFF_RGB);
    std::string size;
    EXPECT_TRUE(Open(c.page, [&](TfIOPreviews* F) {
      size = F->SizeLines[size_t(c.kind)].CompressedValue->Caption();
      D::Click(F->btnOK);
    }));
    const std::string f = Save(std::string("size.") + c.ext);
    EXPECT_EQ(size, VXFormatBytesKB(FileSize(f), 102400));
  }
}

TEST_F(IOPreviewPages, Jpeg2000PreviewIsWhatTheDecoderMakesOfTheSave) {
  if (!HaveTool("/usr/bin/opj_decompress")) GTEST_SKIP() << "opj_decompress (libopenjp2-tools) missing";
  P().SetFileType(14);
  P().SetJ2000_Rate(0.1);
  std::vector<uint8_t> shown;
  EXPECT_TRUE(Open(ppJ2000, [&](TfIOPreviews* F) {
    shown = RGBBytes(F->vxnPreview->GetVXBitmap());
    D::Click(F->btnOK);
  }));
  ASSERT_EQ(shown.size(), size_t(image_->Width()) * size_t(image_->Height()) * 3);
  const std::string j2k = Save("rate.j2k");
  const std::string ppm = Scratch("rate.ppm");
  files_.push_back(ppm);
  Shell("/usr/bin/opj_decompress -i " + j2k + " -o " + ppm);
  TVXBitmap decoded;
  TVexlaneIO reader(nullptr);
  reader.SetAttachedVXBitmap(&decoded);
  ASSERT_TRUE(reader.LoadFromFile(ppm, -9));
  EXPECT_TRUE(RGBBytes(&decoded) == shown);
}

TEST_F(IOPreviewPages, PngChosenInTheDialogIsAnInterlacedPalettePng) {
  P().SetFileType(3);
  EXPECT_TRUE(Open(ppALL, [](TfIOPreviews* F) {
    D::TabTo(F->PageControl1, F->TabSheetPNG1);
    D::Select(F->ComboBox10, 1);  // 256
    D::Click(F->CheckBox6);       // interlaced
    D::Select(F->ComboBox12, 9);  // Max
    D::Click(F->btnPreview);
    // The preview is the image reduced to 256 colours with its palette.
    EXPECT_EQ(F->vxnPreview->IO()->Params().ColorMapCount(), 256);
    EXPECT_EQ(F->SizeLines[iopPNG].OriginalValue->Caption(),
              VXFormatBytesKB(F->vxnSource->GetVXBitmap()->RowLen() * F->vxnSource->GetVXBitmap()->Height(), 102400));
    D::Click(F->btnOK);
  }));
  EXPECT_EQ(P().FileType(), 8);
  const std::string f = Save("photo.png");
  if (HaveTool("/usr/bin/identify")) {
    const std::string out = Shell("/usr/bin/identify -format '%[png:IHDR.color-type-orig] %[interlace]' " + f);
    EXPECT_EQ(out, "3 PNG") << out;
  }
  if (HaveTool("/usr/bin/pngcheck")) {
    const std::string out = Shell("/usr/bin/pngcheck " + f);
    EXPECT_NE(out.find("OK:"), std::string::npos) << out;
    EXPECT_NE(out.find("palette"), std::string::npos) << out;
    EXPECT_NE(out.find("interlaced"), std::string::npos) << out;
  }
}

TEST_F(IOPreviewPages, TiffWithG4FaxIsAOneBitGroup4File) {
  P().SetFileType(1);
  P().SetBitsPerSample(8);
  P().SetSamplesPerPixel(3);
  io_->SetSimplifiedParamsDialogs(true);
  EXPECT_TRUE(Open(ppTIFF, [](TfIOPreviews* F) {
    D::Select(F->ComboBox16, F->ComboBox16->Items()->IndexOf("G4Fax"));
    D::Click(F->btnPreview);
    // Two colours in the preview's map.
    EXPECT_EQ(F->vxnPreview->IO()->Params().ColorMapCount(), 2);
    D::Click(F->btnOK);
  }));
  EXPECT_EQ(P().TIFF_Compression(), ioTIFF_G4FAX);
  const std::string f = Save("fax.tif");
  if (!HaveTool("/usr/bin/tiffinfo")) GTEST_SKIP() << "tiffinfo (libtiff-tools) missing";
  const std::string out = Shell("/usr/bin/tiffinfo " + f);
  EXPECT_NE(out.find("CCITT Group 4"), std::string::npos) << out;
  EXPECT_NE(out.find("Bits/Sample: 1"), std::string::npos) << out;
}

// 16 x 3 on the TIFF page counts as far above 256 colours: the preview
// keeps its colours and gets no colour map.
TEST_F(IOPreviewPages, WideLayoutsBuildNoWrappedPalette) {
  P().SetFileType(1);
  P().SetBitsPerSample(16);
  P().SetSamplesPerPixel(3);
  P().SetTIFF_PhotometInterpret(ioTIFF_RGB);
  P().SetTIFF_Compression(ioTIFF_UNCOMPRESSED);
  Open(ppTIFF, [](TfIOPreviews* F) {
    EXPECT_EQ(F->vxnPreview->IO()->Params().ColorMap(), nullptr);
    EXPECT_EQ(F->vxnPreview->IO()->Params().ColorMapCount(), 0);
    EXPECT_TRUE(RGBBytes(F->vxnPreview->GetVXBitmap()) == RGBBytes(F->vxnSource->GetVXBitmap()));
    D::Click(F->btnCancel);
  });
}

}  // namespace
