// The PostScript writer.
#include "codecs/ps.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "codecs/page_data.h"
#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "core/textutils.h"
#include "io/params.h"

namespace {

constexpr size_t kCountField = 6;  // characters of the page count in "%%Pages: "
const std::string kPagesTag = "%%Pages: ";

std::string IntText(int64_t V) { return std::to_string(V); }

void Put(TStream* Stream, const std::string& S) { Stream->WriteBuffer(S.data(), int64_t(S.size())); }

std::string Line(const std::string& S) { return S + "\r\n"; }

// The count right-padded with blanks to its field.
std::string CountField(int64_t Count) {
  std::string s = IntText(Count);
  if (s.size() > kCountField) throw EVXException("Too many pages for a PostScript document");
  s.append(kCountField - s.size(), ' ');
  return s;
}

// The local date and time as "ddd mmm dd hh:nn:ss yyyy" in English.
std::string CreationDate() {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %04d", kDays[t.tm_wday % 7], kMonths[t.tm_mon % 12],
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
  return buf;
}

// A title on one comment line: line breaks become blanks.
std::string CommentText(const std::string& S) {
  std::string r = VXUTF8ToAnsi(S);
  for (char& c : r)
    if (c == '\r' || c == '\n') c = ' ';
  return r;
}

// Appends Count bytes as one ASCII85 piece (with its end marker) to Out and
// adds its data characters to Counter.
void A85(const uint8_t* Data, int64_t Count, std::string& Out, int32_t& Counter) {
  if (Count > INT32_MAX / 2) throw EVXException("The page is too large for PostScript");
  const int32_t n = int32_t(Count);
  std::vector<char> buf(size_t(n) / 4 * 5 + 5 + 2 * (size_t(n) / 14 + 1) + 4);
  char* dst = buf.data();
  const uint8_t* src = Data;
  const int32_t written = VXAscii85Encode(src, n, dst, Counter);
  Out.append(buf.data(), size_t(written));
}

}  // namespace

TVXPSDocument* VXPSCreate(TStream* Stream, TIOParamsVals& IOParams) {
  auto doc = std::make_unique<TVXPSDocument>();
  const int64_t start = Stream->Position();
  std::string head = Line("%!PS-Adobe-3.0") + Line("%%Creator: Vexlane") +
                     Line("%%Title: " + CommentText(IOParams.PS_Title())) +
                     Line("%%CreationDate: " + CreationDate()) + Line("%%DocumentData: Clean7Bit") +
                     Line("%%LanguageLevel: 2");
  doc->PagesPos = start + int64_t(head.size());
  head += Line(kPagesTag + CountField(0));
  head += Line("%%BoundingBox: 0 0 " + IntText(int64_t(IOParams.PS_PaperWidth()) - 1) + " " +
               IntText(int64_t(IOParams.PS_PaperHeight()) - 1));
  head += Line("%%EndComments");
  Put(Stream, head);
  doc->EndPos = start + int64_t(head.size());
  return doc.release();
}

void VXPSAddPage(TVXPSDocument* Handle, TStream* Stream, TVXBitmap* Bitmap, TProgressRec& Progress,
                 TIOParamsVals& IOParams) {
  if (!Handle) throw EVXException("No PostScript document is open");
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  if (!Bitmap || Bitmap->IsEmpty()) {
    aborting = true;
    return;
  }
  std::unique_ptr<TVXBitmap> copy;
  TVXBitmap* src = VXPageSource(Bitmap, copy);
  const bool oneBit = src->PixelFormat() == vx1g;
  IOParams.SetBitsPerSample(oneBit ? 1 : 8);
  IOParams.SetSamplesPerPixel(oneBit ? 1 : 3);
  if (oneBit && IOParams.PS_Compression() == ioPS_JPEG) IOParams.SetPS_Compression(ioPS_G3FAX2D);
  const TIOPSCompression compression = IOParams.PS_Compression();
  const int32_t W = src->Width(), H = src->Height();
  const int32_t PW = IOParams.PS_PaperWidth(), PH = IOParams.PS_PaperHeight();
  int32_t SW = W, SH = H;
  VXFitInBox(W, H, PW, PH, SW, SH);

  // The data source lines and the ASCII85 data.
  std::string source, data;
  int32_t counter = 0;
  TVXPageProgress rows(Progress, H);
  const std::string w = IntText(W), h = IntText(H);
  if (oneBit) {
    if (compression == ioPS_RLE) {
      source = Line("currentfile /ASCII85Decode filter /RunLengthDecode filter");
      const std::vector<uint8_t> all = VXPage1BitRows(src, rows);
      std::vector<uint8_t> rle(2 * all.size() + 1);
      const int32_t n = VXRunLengthEncode(all.data(), int32_t(all.size()), rle.data());
      A85(rle.data(), n, data, counter);
    } else {
      const bool g4 = compression == ioPS_G4FAX;
      source = Line("currentfile /ASCII85Decode filter << /K " + std::string(g4 ? "-1" : "1") +
                    " /BlackIs1 true /Columns " + w + " /Rows " + h +
                    " /EndOfLine false /Uncompressed true /EncodedByteAlign false /EndOfBlock false >>"
                    " /CCITTFaxDecode filter");
      TMemoryStream coded;
      VXPageFaxData(src, g4, &coded, rows, aborting);
      A85(static_cast<const uint8_t*>(coded.Memory()), coded.Size(), data, counter);
    }
  } else if (compression == ioPS_JPEG) {
    source = Line("currentfile /ASCII85Decode filter << >> /DCTDecode filter") + Line("false 3");
    TMemoryStream jpeg;
    VXPageJpegData(src, IOParams, &jpeg, Progress);
    A85(static_cast<const uint8_t*>(jpeg.Memory()), jpeg.Size(), data, counter);
  } else {
    for (const char* s : {"/rstr ", "/gstr ", "/bstr "}) source += Line(s + w + " string def");
    for (const char* s : {"rstr", "gstr", "bstr"})
      source += Line(std::string("{currentfile /ASCII85Decode filter /RunLengthDecode filter ") + s +
                     " readstring pop}");
    source += Line("true 3");
    std::vector<uint8_t> plane(static_cast<size_t>(W)), rle(2 * size_t(W) + 1);
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* p = static_cast<const uint8_t*>(src->GetScanLine(y));
      for (int32_t c = 2; c >= 0; --c) {  // red, green, blue of blue-green-red pixels
        for (int32_t x = 0; x < W; ++x) plane[size_t(x)] = p[size_t(x) * 3 + size_t(c)];
        const int32_t n = VXRunLengthEncode(plane.data(), W, rle.data());
        A85(rle.data(), n, data, counter);
      }
      rows.Row(y + 1);
      if (aborting) break;
    }
  }
  copy.reset();
  if (aborting) return;

  // The new page count, read back from the header.
  char field[15] = {};
  Stream->Seek(Handle->PagesPos, soBeginning);
  Stream->ReadBuffer(field, sizeof field);
  int64_t pages = 1;
  {
    std::string text(field + kPagesTag.size(), kCountField);
    const size_t a = text.find_first_not_of(' '), b = text.find_last_not_of(' ');
    text = a == std::string::npos ? std::string() : text.substr(a, b - a + 1);
    int32_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec == std::errc() && r.ptr == text.data() + text.size() && !text.empty() && v >= 0) pages = v;
  }
  const std::string pagesLine = kPagesTag + CountField(pages + 1);

  const std::string n = IntText(pages + 1);
  std::string page = Line("%%Page: " + n + " " + n) + Line("0 " + IntText(PH) + " translate") +
                     Line(IntText(SW) + " -" + IntText(SH) + " scale") +
                     Line(w + " " + h + " " + (oneBit ? "1" : "8")) + Line("[ " + w + " 0 0 " + h + " 0 0 ]") +
                     source + Line("%%BeginData:      " + IntText(counter) + " ASCII Bytes") +
                     Line(oneBit ? "image" : "colorimage");
  Stream->Seek(Handle->EndPos, soBeginning);
  Put(Stream, page);
  Put(Stream, data);
  Put(Stream, Line("%%EndData") + Line("showpage"));
  const int64_t end = Stream->Position();
  Stream->Seek(Handle->PagesPos, soBeginning);
  Put(Stream, pagesLine);
  Handle->EndPos = end;
  Stream->Seek(end, soBeginning);
}

void VXPSClose(TVXPSDocument* Handle, TStream* Stream) {
  if (!Handle) return;
  std::unique_ptr<TVXPSDocument> doc(Handle);
  Stream->Seek(doc->EndPos, soBeginning);
  Put(Stream, Line("%%Trailer") + Line("%%EOF"));
}

// The document is made in memory (a page is built there anyway) and then
// copied, so that the stream need not be readable nor seekable.
void VXWritePSStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress) {
  TMemoryStream doc;
  std::unique_ptr<TVXPSDocument> handle(VXPSCreate(&doc, IOParams));
  VXPSAddPage(handle.get(), &doc, Bitmap, Progress, IOParams);
  VXPSClose(handle.release(), &doc);
  const int64_t n = Stream->Write(doc.Memory(), doc.Size());
  if (n != doc.Size() && Progress.Aborting) *Progress.Aborting = true;
}
