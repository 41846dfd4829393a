// The PDF writer: documents of image pages built from PDF objects.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "codecs/page_data.h"
#include "codecs/pdf.h"
#include "codecs/pdf_objects.h"
#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "core/textutils.h"
#include "io/params.h"

struct TVXPDFDocument {
  TVXPDFObjectList Objects;                    // owns every numbered object
  std::vector<TVXPDFDictionaryObject*> Pages;  // in page order
  std::vector<TVXPDFStreamObject*> Images;
  std::vector<TVXPDFStreamObject*> Contents;
  TVXPDFDictionaryObject* Resources = nullptr;  // shared by every page
  TVXPDFDictionaryObject* XObjects = nullptr;   // the resources' XObject entry
  TVXPDFDictionaryObject* Catalog = nullptr;
};

namespace {

std::string IntText(int64_t V) { return std::to_string(V); }

TVXPDFNameObject* Name(const char* N) { return new TVXPDFNameObject(N); }
TVXPDFNumericObject* Number(double V) { return new TVXPDFNumericObject(V); }

// << /K k /BlackIs1 true /Columns W /Rows H /EndOfLine false /Uncompressed
// true /EncodedByteAlign false /EndOfBlock false >>
TVXPDFDictionaryObject* FaxParms(int32_t K, int32_t W, int32_t H) {
  auto* d = new TVXPDFDictionaryObject();
  d->Add("K", Number(K));
  d->Add("BlackIs1", new TVXPDFBooleanObject(true));
  d->Add("Columns", Number(W));
  d->Add("Rows", Number(H));
  d->Add("EndOfLine", new TVXPDFBooleanObject(false));
  d->Add("Uncompressed", new TVXPDFBooleanObject(true));
  d->Add("EncodedByteAlign", new TVXPDFBooleanObject(false));
  d->Add("EndOfBlock", new TVXPDFBooleanObject(false));
  return d;
}

// The LZW coder of the parameters, else the library's default.
TTIFFLZWCompFunc LZWCoder(TIOParamsVals& P) {
  TTIFFLZWCompFunc f = P.TIFF_LZWCompFunc();
  if (!f) f = VXGetGlobalSettings()->DefTIFF_LZWCOMPFUNC();
  if (!f) throw EVXException("LZW compression is not available");
  return f;
}

// Rows through the LZW coder; Row(y, buffer) fills one row.
template <class RowFn>
void LZWData(TTIFFLZWCompFunc Coder, int32_t H, int32_t RowBytes, TStream* Out, TVXPageProgress& Progress, RowFn Row) {
  std::vector<uint8_t> line(size_t(RowBytes) + 1);
  void* id = nullptr;
  try {
    for (int32_t y = 0; y < H; ++y) {
      Row(y, line.data());
      Coder(line.data(), RowBytes, Out, id);
      Progress.Row(y + 1);
      if (Progress.Aborting()) break;
    }
    Coder(nullptr, 0, Out, id);
  } catch (...) {
    if (id) Coder(nullptr, 0, Out, id);
    throw;
  }
}

// One vx24RGB row (blue, green, red) as red, green, blue.
void RGBRow(TVXBitmap* Src, int32_t y, uint8_t* Dst) {
  const uint8_t* p = static_cast<const uint8_t*>(Src->GetScanLine(y));
  const int32_t W = Src->Width();
  for (int32_t x = 0; x < W; ++x, p += 3, Dst += 3) {
    Dst[0] = p[2];
    Dst[1] = p[1];
    Dst[2] = p[0];
  }
}

// The image XObject of a page, its data already in a temporary file.
std::unique_ptr<TVXPDFStreamObject> BuildImage(TVXBitmap* Src, TIOParamsVals& P, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  const int32_t W = Src->Width(), H = Src->Height();
  TVXPageProgress rows(Progress, H);
  TMemoryStream data;
  // Entries between Length and Width: Filter, DecodeParms, ColorSpace, BitsPerComponent.
  std::vector<std::pair<std::string, std::unique_ptr<TVXPDFObject>>> entries;
  const auto entry = [&](const char* key, TVXPDFObject* o) { entries.emplace_back(key, std::unique_ptr<TVXPDFObject>(o)); };
  if (Src->PixelFormat() == vx1g) {
    if (P.PDF_Compression() == ioPDF_JPEG) P.SetPDF_Compression(ioPDF_G3FAX2D);
    switch (P.PDF_Compression()) {
      case ioPDF_RLE: {
        const std::vector<uint8_t> all = VXPage1BitRows(Src, rows);
        std::vector<uint8_t> rle(2 * all.size() + 1);
        const int32_t n = VXRunLengthEncode(all.data(), int32_t(all.size()), rle.data());
        data.WriteBuffer(rle.data(), n);
        auto* f = new TVXPDFArrayObject();
        f->Add(Name("RunLengthDecode"));
        entry("Filter", f);
        break;
      }
      case ioPDF_G4FAX:
      case ioPDF_G3FAX2D: {
        const bool g4 = P.PDF_Compression() == ioPDF_G4FAX;
        VXPageFaxData(Src, g4, &data, rows, aborting);
        entry("Filter", Name("CCITTFaxDecode"));
        entry("DecodeParms", FaxParms(g4 ? -1 : 1, W, H));
        break;
      }
      case ioPDF_LZW: {
        const int32_t rowBytes = (W + 7) / 8;
        LZWData(LZWCoder(P), H, rowBytes, &data, rows,
                [&](int32_t y, uint8_t* d) { std::memcpy(d, Src->GetScanLine(y), size_t(rowBytes)); });
        entry("Filter", Name("LZWDecode"));
        break;
      }
      default: {
        const std::vector<uint8_t> all = VXPage1BitRows(Src, rows);
        data.WriteBuffer(all.data(), int64_t(all.size()));
        break;
      }
    }
    entry("ColorSpace", Name("DeviceGray"));
    entry("BitsPerComponent", Number(1));
  } else {
    const char* space = "DeviceRGB";
    switch (P.PDF_Compression()) {
      case ioPDF_LZW:
        LZWData(LZWCoder(P), H, W * 3, &data, rows, [&](int32_t y, uint8_t* d) { RGBRow(Src, y, d); });
        entry("Filter", Name("LZWDecode"));
        break;
      case ioPDF_JPEG:
        VXPageJpegData(Src, P, &data, Progress);
        entry("Filter", Name("DCTDecode"));
        if (P.JPEG_ColorSpace() == ioJPEG_GRAYLEV) space = "DeviceGray";
        break;
      default: {
        std::vector<uint8_t> line(size_t(W) * 3);
        for (int32_t y = 0; y < H; ++y) {
          RGBRow(Src, y, line.data());
          data.WriteBuffer(line.data(), int64_t(line.size()));
          rows.Row(y + 1);
          if (aborting) break;
        }
        break;
      }
    }
    entry("ColorSpace", Name(space));
    entry("BitsPerComponent", Number(8));
  }
  std::unique_ptr<TVXPDFStreamObject> image = TVXPDFStreamObject::CreateCopy(data.Memory(), data.Size());
  data.Clear();
  for (auto& e : entries) image->dict->Add(e.first, e.second.release());
  image->dict->Insert(0, "Type", Name("XObject"));
  image->dict->Insert(1, "Subtype", Name("Image"));
  image->dict->Add("Width", Number(W));
  image->dict->Add("Height", Number(H));
  image->FlushToCache();
  return image;
}

// Writes through a buffer to a stream, its positions counted from where
// the document begins, so that a document written into the middle of a
// stream still has offsets from its own start.
class TDocumentWriter : public TStream {
 public:
  explicit TDocumentWriter(TStream* Out) : fOut(Out) { fBuffer.reserve(kSize); }
  int64_t Read(void*, int64_t) override { throw EVXException("The PDF document stream cannot be read"); }
  int64_t Write(const void* Buffer, int64_t Count) override {
    const uint8_t* p = static_cast<const uint8_t*>(Buffer);
    if (fBuffer.size() + size_t(Count) > kSize) Flush();
    if (size_t(Count) >= kSize) {
      fOut->WriteBuffer(p, Count);
    } else {
      fBuffer.insert(fBuffer.end(), p, p + Count);
    }
    fWritten += Count;
    return Count;
  }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    if (Offset != 0 || Origin == soBeginning) throw EVXException("The PDF document stream cannot seek");
    return fWritten;
  }
  int64_t Size() override { return fWritten; }
  void Flush() {
    if (!fBuffer.empty()) fOut->WriteBuffer(fBuffer.data(), int64_t(fBuffer.size()));
    fBuffer.clear();
  }

 private:
  static constexpr size_t kSize = 65536;
  TStream* fOut;
  std::vector<uint8_t> fBuffer;
  int64_t fWritten = 0;
};

// "D:" and the local date and time as yyyymmddhhmmss.
std::string CreationDate() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "D:%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                t.tm_min, t.tm_sec);
  return buf;
}

}  // namespace

TVXPDFDocument* VXPDFCreate(TIOParamsVals&) {
  auto doc = std::make_unique<TVXPDFDocument>();
  doc->Catalog = VXPDFCreateCatalog(doc->Objects);
  auto* resources = new TVXPDFDictionaryObject();
  VXPDFAddObject(doc->Objects, resources);
  resources->DontFree = true;
  auto* procSet = new TVXPDFArrayObject();
  procSet->Add(Name("PDF"));
  procSet->Add(Name("ImageB"));
  resources->Add("ProcSet", procSet);
  doc->XObjects = static_cast<TVXPDFDictionaryObject*>(resources->Add("XObject", new TVXPDFDictionaryObject()));
  doc->Resources = resources;
  return doc.release();
}

void VXPDFAddPage(TVXPDFDocument* Handle, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress) {
  if (!Handle) throw EVXException("No PDF document is open");
  if (!Bitmap || Bitmap->IsEmpty()) {
    if (Progress.Aborting) *Progress.Aborting = true;
    return;
  }
  std::unique_ptr<TVXBitmap> copy;
  TVXBitmap* src = VXPageSource(Bitmap, copy);
  const bool oneBit = src->PixelFormat() == vx1g;
  IOParams.SetBitsPerSample(oneBit ? 1 : 8);
  IOParams.SetSamplesPerPixel(oneBit ? 1 : 3);
  const int32_t W = src->Width(), H = src->Height();

  // Everything that can fail is built before the document changes.
  std::unique_ptr<TVXPDFStreamObject> image = BuildImage(src, IOParams, Progress);
  copy.reset();
  if (Progress.Aborting && *Progress.Aborting) return;  // stopped: no page of partial data

  int32_t PW = IOParams.PDF_PaperWidth(), PH = IOParams.PDF_PaperHeight();
  if (PW < 1 || PH < 1) {
    PW = W;
    PH = H;
  }
  int32_t SW = W, SH = H;
  VXFitInBox(W, H, PW, PH, SW, SH);
  const int32_t k = int32_t(Handle->Images.size()) + 1;
  const std::string text = "q\n" + IntText(SW) + " 0 0 " + IntText(SH) + " 0 " + IntText(int64_t(PH) - SH) +
                           " cm\n/lm" + IntText(k) + " Do\nQ";
  std::unique_ptr<TVXPDFStreamObject> content = TVXPDFStreamObject::CreateCopy(text.data(), int64_t(text.size()));
  auto box = std::make_unique<TVXPDFArrayObject>();
  box->Add(Number(0));
  box->Add(Number(0));
  box->Add(Number(PW));
  box->Add(Number(PH));

  Handle->Objects.reserve(Handle->Objects.size() + 3);
  Handle->Images.reserve(Handle->Images.size() + 1);
  Handle->Contents.reserve(Handle->Contents.size() + 1);
  Handle->Pages.reserve(Handle->Pages.size() + 1);
  TVXPDFStreamObject* img = image.release();
  VXPDFAddObject(Handle->Objects, img);
  Handle->Images.push_back(img);
  TVXPDFStreamObject* cnt = content.release();
  VXPDFAddObject(Handle->Objects, cnt);
  Handle->Contents.push_back(cnt);
  Handle->XObjects->Add("lm" + IntText(k), new TVXPDFRefObject(img->Index, 0));
  VXPDFAddPageDictionary(Handle->Objects, Handle->Pages, Handle->Resources, cnt->Index, box.release());
}

void VXPDFClose(TVXPDFDocument* Handle, TStream* Stream, TIOParamsVals& IOParams) {
  if (!Handle) return;
  std::unique_ptr<TVXPDFDocument> doc(Handle);
  VXPDFCreatePagesTree(doc->Objects, doc->Pages);
  auto* info = new TVXPDFDictionaryObject();
  VXPDFAddObject(doc->Objects, info);
  const std::pair<const char*, std::string> texts[] = {
      {"Title", IOParams.PDF_Title()},       {"Author", IOParams.PDF_Author()},
      {"Subject", IOParams.PDF_Subject()},   {"Keywords", IOParams.PDF_Keywords()},
      {"Creator", IOParams.PDF_Creator()},   {"Producer", IOParams.PDF_Producer()},
  };
  for (const auto& t : texts)
    if (!t.second.empty()) info->Add(t.first, new TVXPDFStringObject(VXUTF8ToAnsi(t.second)));
  info->Add("CreationDate", new TVXPDFStringObject(CreationDate()));

  TDocumentWriter out(Stream);
  VXPDFWriteHeader(&out);
  VXPDFWriteObjects(&out, doc->Objects);
  VXPDFWriteXRefAndTrailer(&out, doc->Objects, info);
  out.Flush();
}

void VXWritePDFStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress) {
  std::unique_ptr<TVXPDFDocument> doc(VXPDFCreate(IOParams));
  VXPDFAddPage(doc.get(), Bitmap, IOParams, Progress);
  VXPDFClose(doc.release(), Stream, IOParams);
}
