// PBM, PGM and PPM reading and writing.
#include "codecs/pnm.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/pixels.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"

namespace {

// Reads header tokens and text samples through a buffered view of the stream.
class TTokenReader {
 public:
  explicit TTokenReader(TStream* Stream) : fIn(Stream, 65536, false) {}

  // The next byte, or -1 at the end.
  int Get() {
    uint8_t b;
    return fIn.Read(&b, 1) == 1 ? b : -1;
  }
  // Reads exactly Count bytes (fewer at the end); returns the number read.
  int64_t Read(void* Buffer, int64_t Count) { return fIn.Read(Buffer, Count); }
  int64_t Left() { return fIn.Size() - fIn.Position(); }

  // The longest comment text Token keeps; CommentCut tells that the last
  // comment was longer.
  int64_t CommentCap = 1 << 20;
  bool CommentCut = false;

  // A token: a run of letters and digits (the byte that ends it is consumed),
  // or "#" + a comment's text trimmed of blanks. Empty at the end.
  std::string Token() {
    int c = Get();
    while (c >= 0 && !std::isalnum(c) && c != '#') c = Get();
    if (c < 0) return {};
    if (c == '#') {
      // Text past CommentCap is not kept (the comment is then dropped whole).
      std::string text;
      CommentCut = false;
      for (c = Get(); c >= 0 && c != '\n' && c != '\r'; c = Get()) {
        if (int64_t(text.size()) < CommentCap)
          text += char(c);
        else
          CommentCut = true;
      }
      const size_t a = text.find_first_not_of(" \t"), b = text.find_last_not_of(" \t");
      return "#" + (a == std::string::npos ? std::string() : text.substr(a, b - a + 1));
    }
    std::string t;
    while (c >= 0 && std::isalnum(c)) {
      if (t.size() < 64) t += char(c);
      c = Get();
    }
    // A comment that starts right after a token is read as the next token.
    if (c == '#') fIn.Seek(-1, soCurrent);
    return t;
  }

 private:
  TVXBufferedReadStream fIn;
};

// A decimal number, -1 for a token that is not one (or does not fit).
int64_t Number(const std::string& t) {
  if (t.empty() || t.size() > 12) return -1;
  int64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

// Trunc(v / maxval x Top), v clamped to maxval first (exact in integers).
inline uint32_t Scale(uint32_t v, uint32_t maxval, uint32_t Top) {
  if (v > maxval) v = maxval;
  return uint32_t(uint64_t(v) * Top / maxval);
}

}  // namespace

void VXReadPXMStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool Preview) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  TIOParamsVals& P = IOParams;
  TTokenReader in(Stream);

  // Header: magic, width, height and (but for P1 and P4) maxval; comments
  // wherever they stand.
  P.PXM_Comments().clear();
  // Comments count against the image's text budget, each with its line break
  // (so empty ones count too); one that does not fit is dropped whole.
  TVXTextBudget budget;
  std::string magic;
  int64_t width = -1, height = -1, maxval = -1;
  int field = 0;
  while (true) {
    in.CommentCap = budget.Left();
    const std::string t = in.Token();
    if (t.empty()) break;
    if (t[0] == '#') {
      if (!in.CommentCut && budget.Take(int64_t(t.size())))  // the text and its line break
        P.PXM_Comments().push_back(t.substr(1));
      continue;
    }
    if (field == 0) {
      magic = t;
      if (magic == "P1" || magic == "P4") maxval = 1;
    } else if (field == 1) {
      width = Number(t);
    } else if (field == 2) {
      height = Number(t);
    } else {
      maxval = Number(t);
    }
    ++field;
    if (field == 3 && (magic == "P1" || magic == "P4")) break;
    if (field == 4) break;
  }
  in.CommentCap = 0;  // comments inside a text raster are samples, not kept
  const int kind = (magic.size() == 2 && magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6') ? magic[1] - '0' : 0;
  if (kind == 0 || width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX || maxval < 1 ||
      maxval > 65535) {
    aborting = true;
    return;
  }
  const int32_t W = int32_t(width), H = int32_t(height);
  const bool wide = maxval > 255;
  const bool colour = kind == 3 || kind == 6;
  const bool bilevel = kind == 1 || kind == 4;
  P.SetWidth(W);
  P.SetHeight(H);
  P.SetOriginalWidth(W);
  P.SetOriginalHeight(H);
  P.SetBitsPerSample(bilevel ? 1 : ((kind == 5 || kind == 6) && wide ? 16 : 8));
  P.SetSamplesPerPixel(colour ? 3 : 1);
  const TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  P.SetDpiX(settings->DefaultDPIX());
  P.SetDpiY(settings->DefaultDPIY());
  P.FreeColorMap();
  if (Preview) return;

  TVXPixelFormat pf = vx24RGB;
  if (bilevel)
    pf = vx1g;
  else if (kind == 5 && wide && P.IsNativePixelFormat)
    pf = vx16g;
  else if (kind == 6 && wide && P.IsNativePixelFormat)
    pf = vx48RGB;
  // The raster as the file stores it: bytes for the binary types, at least
  // one character a sample for the text types.
  const int64_t sampleCount = int64_t(W) * H * (colour ? 3 : 1);
  const int64_t stored = kind == 4 ? (int64_t(W) + 7) / 8 * H : (kind >= 5 ? sampleCount * (wide ? 2 : 1) : sampleCount);
  if (!Bitmap || !VXDeclaredDataPlausible(in.Left(), stored, 1) || !VXImageSizeAllowed(W, H, VXPixelFormatBitCount[pf]) ||
      !Bitmap->Allocate(W, H, pf)) {
    aborting = true;
    return;
  }
  const uint32_t mv = uint32_t(maxval);
  const int channels = colour ? 3 : 1;
  const size_t bytesPerSample = wide ? 2 : 1;
  const size_t dataRow = kind == 4 ? (size_t(W) + 7) / 8 : size_t(W) * channels * bytesPerSample;
  std::vector<uint8_t> data(kind >= 4 ? dataRow : 0);
  std::vector<uint32_t> samples(size_t(W) * channels);
  const double per1 = 100.0 / H;
  int32_t lastPercent = -1;

  for (int32_t y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(Bitmap->GetScanLine(y));
    if (kind == 1) {
      // '0' white (bit set), '1' black; other characters are skipped.
      std::memset(row, 0, size_t(Bitmap->RowLen()));
      int32_t x = 0;
      while (x < W) {
        const int c = in.Get();
        if (c < 0) break;
        if (c == '0') row[x >> 3] |= uint8_t(0x80 >> (x & 7));
        if (c == '0' || c == '1') ++x;
      }
    } else if (kind == 4) {
      const int64_t got = in.Read(data.data(), int64_t(dataRow));
      if (got <= 0) break;
      for (size_t i = 0; i < size_t(got); ++i) row[i] = uint8_t(~data[i]);
    } else {
      // Samples of the row as numbers 0..maxval.
      if (kind == 2 || kind == 3) {
        for (uint32_t& s : samples) {
          const std::string t = in.Token();
          s = t.empty() || t[0] == '#' ? 0 : uint32_t(std::clamp<int64_t>(Number(t), 0, 65535));
        }
      } else {
        const int64_t got = in.Read(data.data(), int64_t(dataRow));
        if (got <= 0) break;
        if (size_t(got) < dataRow) std::memset(data.data() + got, 0, dataRow - size_t(got));
        for (size_t i = 0; i < samples.size(); ++i)
          samples[i] = wide ? (uint32_t(data[2 * i]) << 8) | data[2 * i + 1] : data[i];
      }
      if (pf == vx16g) {
        uint16_t* d = reinterpret_cast<uint16_t*>(row);
        for (int32_t x = 0; x < W; ++x) d[x] = uint16_t(Scale(samples[size_t(x)], mv, 65535));
      } else if (pf == vx48RGB) {
        uint16_t* d = reinterpret_cast<uint16_t*>(row);
        for (size_t i = 0; i < samples.size(); ++i) d[i] = uint16_t(Scale(samples[i], mv, 65535));
      } else if (colour) {
        for (int32_t x = 0; x < W; ++x)
          for (int c = 0; c < 3; ++c) row[3 * x + 2 - c] = uint8_t(Scale(samples[size_t(x) * 3 + c], mv, 255));
      } else {
        for (int32_t x = 0; x < W; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = uint8_t(Scale(samples[size_t(x)], mv, 255));
      }
    }
    VXReportProgress(Progress, int32_t((y + 1) * per1), lastPercent);
    if (aborting) break;
  }
}

void VXWritePXMStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
    aborting = true;
    return;
  }
  TIOParamsVals& P = IOParams;
  const int32_t bits = P.BitsPerSample(), spp = P.SamplesPerPixel();
  const TVXPixelFormat pf = Bitmap->PixelFormat();
  // The written type, and the pixel format its rows are taken from.
  enum { kP4, kP5, kP6x16from24, kP6x16, kP6x8, kNone } type = kNone;
  TVXPixelFormat need = vxnull;
  if ((bits == 1 && spp == 1) || pf == vx1g) {
    type = kP4, need = vx1g;
  } else if (bits == 8 && spp == 1) {
    type = kP5, need = vx24RGB;
  } else if (bits == 16 && spp == 3 && pf == vx24RGB) {
    type = kP6x16from24, need = vx24RGB;
  } else if (pf == vx48RGB) {
    type = kP6x16, need = vx48RGB;
  } else if ((bits == 8 && spp == 3) || pf == vx24RGB) {
    type = kP6x8, need = vx24RGB;
  }
  if (type == kNone) return;
  std::unique_ptr<TVXBitmap> copy;
  TVXBitmap* src = Bitmap;
  if (pf != need) {
    copy = std::make_unique<TVXBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(need);
    src = copy.get();
  }
  const int32_t W = src->Width(), H = src->Height();
  std::string header = type == kP4 ? "P4 " : (type == kP5 ? "P5 " : "P6 ");
  for (const std::string& c : P.PXM_Comments()) header += "\n# " + c + "\n";
  header += std::to_string(W) + " " + std::to_string(H);
  if (type == kP5 || type == kP6x8) header += " 255";
  if (type == kP6x16 || type == kP6x16from24) header += " 65535";
  header += "\n";
  TVXBufferedWriteStream out(Stream, 65536);
  auto put = [&](const void* d, int64_t n) {
    if (out.Write(d, n) != n) aborting = true;
  };
  put(header.data(), int64_t(header.size()));

  const TVXConvertColorFunction convert = VXGetGlobalSettings()->ConvertColorFunction();
  std::vector<uint8_t> line;
  const double per1 = 100.0 / H;
  int32_t lastPercent = -1;
  for (int32_t y = 0; y < H && !aborting; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(src->GetScanLine(y));
    switch (type) {
      case kP4: {
        line.resize((size_t(W) + 7) / 8);
        for (size_t i = 0; i < line.size(); ++i) line[i] = uint8_t(~row[i]);
        if (W & 7) line.back() &= uint8_t(0xFF00 >> (W & 7));
        break;
      }
      case kP5:
        line.resize(size_t(W));
        if (convert) {
          convert(const_cast<uint8_t*>(row), vxcmsBGR, line.data(), vxcmsGray8, W, nullptr);
        } else {
          for (int32_t x = 0; x < W; ++x) line[size_t(x)] = uint8_t(VXRGBToGray(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]}));
        }
        break;
      case kP6x16from24:
        line.resize(size_t(W) * 6);
        for (int32_t x = 0; x < W; ++x)
          for (int c = 0; c < 3; ++c) {
            const uint16_t v = uint16_t(row[3 * x + 2 - c] * 257);
            line[size_t(x) * 6 + 2 * c] = uint8_t(v >> 8);
            line[size_t(x) * 6 + 2 * c + 1] = uint8_t(v);
          }
        break;
      case kP6x16: {
        line.resize(size_t(W) * 6);
        const uint16_t* s = reinterpret_cast<const uint16_t*>(row);
        for (size_t i = 0; i < size_t(W) * 3; ++i) {
          line[2 * i] = uint8_t(s[i] >> 8);
          line[2 * i + 1] = uint8_t(s[i]);
        }
        break;
      }
      case kP6x8:
        line.resize(size_t(W) * 3);
        for (int32_t x = 0; x < W; ++x) {
          line[size_t(x) * 3] = row[3 * x + 2];
          line[size_t(x) * 3 + 1] = row[3 * x + 1];
          line[size_t(x) * 3 + 2] = row[3 * x];
        }
        break;
      default:
        break;
    }
    put(line.data(), int64_t(line.size()));
    VXReportProgress(Progress, int32_t((y + 1) * per1), lastPercent);
  }
  try {
    out.Flush();
  } catch (const EVXException&) {
    aborting = true;
  }
}
