// Images as source text (a constant array, hexadecimal bytes, Base64) or as a
// picture of characters, Base64 text read back, images stored as resources of
// Windows modules, and stepping through the images of a multi-image file.
#include <algorithm>
#include <cstdio>
#include <string>

#include "core/bitmap.h"
#include "core/filewriter.h"
#include "core/resextract.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "core/textutils.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

// The inner load or save runs on the caller's thread: its stream is a local
// one that must not outlive the call.
class TSynchronousScope {
 public:
  explicit TSynchronousScope(bool& AsyncMode) : fAsyncMode(AsyncMode), fSaved(AsyncMode) { fAsyncMode = false; }
  ~TSynchronousScope() { fAsyncMode = fSaved; }

 private:
  bool& fAsyncMode;
  bool fSaved;
};

void WriteLine(TStream* Stream, const std::string& Line) {
  const std::string text = Line + "\r\n";
  Stream->WriteBuffer(text.data(), int64_t(text.size()));
}

std::string Hex2(uint8_t b) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", b);
  return buf;
}

// Dark to light.
const char kArtPalette[10] = {'W', '@', '#', '*', '+', ':', '.', ',', ' ', ' '};

}  // namespace

void TVexlaneIO::SaveToText(const std::string& FileName, int32_t ImageFormat, TVXTextFormat TextFormat) {
  fParams->SetFileName(FileName);
  fAborting = false;
  VXWriteFileSafely(FileName, fAborting, [&](TStream* Stream) { SaveToText(Stream, ImageFormat, TextFormat); });
}

void TVexlaneIO::SaveToText(TStream* Stream, int32_t ImageFormat, TVXTextFormat TextFormat) {
  if (TextFormat == vxtfASCIIArt) {
    if (!MakeConsistentBitmap(TVXPixelFormatSet{vx24RGB})) {
      fAborting = true;  // nothing to draw: no file is left either
      return;
    }
    TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
    const int64_t rc = settings->RedToGrayCoef(), gc = settings->GreenToGrayCoef(), bc = settings->BlueToGrayCoef();
    const int32_t w = fVXBitmap->Width(), h = fVXBitmap->Height();
    std::string line;
    for (int32_t y = 0; y < h; ++y) {
      const auto* px = static_cast<const uint8_t*>(fVXBitmap->ScanLine(y));
      line.clear();
      for (int32_t x = 0; x < w; ++x, px += 3) {
        const int64_t grey = (px[2] * rc + px[1] * gc + px[0] * bc) / 100;
        // Coefficients that do not sum to 100 may leave 0..255.
        const int64_t index = std::clamp<int64_t>(int64_t(double(grey) / 255.0 * 9.0), 0, 9);
        line += kArtPalette[index];
      }
      WriteLine(Stream, line);
    }
    return;
  }
  if (TextFormat != vxtfPascal && TextFormat != vxtfHex && TextFormat != vxtfBase64) return;

  // The identifier: the file's name without its folder, so that a compiler
  // takes it.
  std::string ident = VXExtractFileNameW(fParams->FileName());
  const auto dot = ident.find('.');
  if (dot != std::string::npos) ident[dot] = '_';
  const std::string sizeName = ident + "_Size";
  TMemoryStream encoded;
  {
    TSynchronousScope sync(fAsyncMode);
    SaveToStream(&encoded, ImageFormat);
  }
  encoded.SetPosition(0);
  const int64_t size = encoded.Size();
  const auto* bytes = static_cast<const uint8_t*>(encoded.Memory());

  if (TextFormat == vxtfBase64) {
    VXEncodeBase64(&encoded, Stream, 76);
    return;
  }
  if (TextFormat == vxtfPascal) {
    WriteLine(Stream, "const");
    WriteLine(Stream, "  " + sizeName + " = " + std::to_string(size) + ";");
    WriteLine(Stream, "  " + ident + " : array [0.." + sizeName + " - 1] of byte = (");
    std::string line;
    for (int64_t i = 0; i + 1 < size; ++i) {
      line += "$" + Hex2(bytes[i]) + ",";
      if (line.size() > 70) {
        WriteLine(Stream, "    " + line);
        line.clear();
      }
    }
    if (size > 0) line += "$" + Hex2(bytes[size - 1]);
    WriteLine(Stream, "    " + line + ");");
    return;
  }
  // vxtfHex
  WriteLine(Stream, "\\\\ Size=" + std::to_string(size));
  std::string line;
  for (int64_t i = 0; i + 1 < size; ++i) {
    line += "0x" + Hex2(bytes[i]) + ",";
    if (line.size() > 70) {
      WriteLine(Stream, line);
      line.clear();
    }
  }
  if (size > 0) WriteLine(Stream, line + "0x" + Hex2(bytes[size - 1]));
}

void TVexlaneIO::LoadFromText(const std::string& FileName, TVXTextFormat TextFormat) {
  TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromText(&file, TextFormat);
}

void TVexlaneIO::LoadFromText(TStream* Stream, TVXTextFormat TextFormat) {
  switch (TextFormat) {
    case vxtfBase64: {
      TMemoryStream decoded;
      VXDecodeBase64(Stream, &decoded);
      decoded.SetPosition(0);
      TSynchronousScope sync(fAsyncMode);
      LoadFromStream(&decoded);
      return;
    }
    case vxtfPascal:
    case vxtfHex:
    case vxtfASCIIArt:
      throw EVXException("Unsupported text format");
  }
}

void TVexlaneIO::LoadFromResource(const std::string& ModulePath, const std::string& ResourceType,
                                  const std::string& ResourceName, int32_t Format) {
  TVXResourceExtractor extractor(ModulePath);
  struct TResourceFlag {
    TIOParamsVals& P;
    ~TResourceFlag() { P.SetIsResource(false); }
  } flag{*fParams};
  uint32_t length = 0;
  const void* buffer = extractor.GetBuffer(ResourceType, ResourceName, length);
  fParams->SetIsResource(true);
  TSynchronousScope sync(fAsyncMode);
  // A resource too large for a buffer load counts as missing.
  LoadFromBuffer(length <= 0x7FFFFFFFu ? buffer : nullptr, int32_t(length & 0x7FFFFFFFu), Format);
}

int32_t TVexlaneIO::Seek(TVXIOSeekDestination Destination, const std::string& FileName) {
  const int32_t index = fParams->ImageIndex(), count = fParams->ImageCount();
  int32_t next = index;
  switch (Destination) {
    case vxioSeekFirst: next = 0; break;
    case vxioSeekPrior: next = std::max(0, index - 1); break;
    case vxioSeekNext: next = std::min(count - 1, index + 1); break;
    case vxioSeekLast: next = count - 1; break;
  }
  const std::string file = FileName.empty() ? fParams->FileName() : FileName;
  if (!FileName.empty() || next != index) {
    fParams->SetImageIndex(next);
    LoadFromFile(file, int32_t(-1));
  }
  return next;
}
