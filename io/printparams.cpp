// The print-preview settings record and its access by name.
#include "io/printparams.h"

#include <cstring>

#include "core/filewriter.h"
#include "core/streams.h"
#include "core/textutils.h"

namespace {

void PutF64(uint8_t* p, double v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(u >> (8 * i));
}
void PutI32(uint8_t* p, int32_t v) {
  const uint32_t u = uint32_t(v);
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(u >> (8 * i));
}
double GetF64(const uint8_t* p) {
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= uint64_t(p[i]) << (8 * i);
  double v;
  std::memcpy(&v, &u, 8);
  return v;
}
int32_t GetI32(const uint8_t* p) {
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= uint32_t(p[i]) << (8 * i);
  return int32_t(u);
}

// Sets an enumerated field from an ordinal only when it names a member.
template <typename E>
void SetOrdinal(E& Field, int64_t Ordinal, int64_t Count) {
  if (Ordinal >= 0 && Ordinal < Count) Field = E(Ordinal);
}

bool BoolValue(const std::string& v) {
  const std::string u = VXUpperCaseAnsi(v);
  return u == "1" || u == "TRUE" || u == "T";
}
double NumberValue(const std::string& v, double Fallback) { return double(VXStrToFloatDef(v, Fallback)); }
int32_t IntValue(const std::string& v, int32_t Fallback) { return VXStrToIntDefAnsi(v, Fallback); }
std::string NumberText(double v) { return VXFloatToStrDot(v); }

}  // namespace

void TIOPrintPreviewParams::SaveToStream(TStream& Stream) const {
  uint8_t b[kStreamSize] = {};
  PutF64(b + 0, fMarginTop);
  PutF64(b + 8, fMarginLeft);
  PutF64(b + 16, fMarginRight);
  PutF64(b + 24, fMarginBottom);
  b[32] = uint8_t(fPosition);
  b[33] = uint8_t(fSize);
  PutF64(b + 34, fWidth);
  PutF64(b + 42, fHeight);
  PutF64(b + 50, fGamma);
  b[58] = fPrintThumbnails ? 1 : 0;
  PutI32(b + 59, fThumbnailColumns);
  PutI32(b + 63, fThumbnailRows);
  PutF64(b + 67, fThumbnailSpacing);
  b[75] = uint8_t(fThumbnailStyle);
  b[76] = fThumbnailShowText ? 1 : 0;
  PutI32(b + 77, fDlgWidth);
  PutI32(b + 81, fDlgHeight);
  Stream.WriteBuffer(b, kStreamSize);
}

void TIOPrintPreviewParams::LoadFromStream(TStream& Stream) {
  uint8_t b[kStreamSize] = {};
  // Read what there is; a short stream stops the field list at its end.
  int64_t got = 0;
  while (got < kStreamSize) {
    const int64_t n = Stream.Read(b + got, kStreamSize - got);
    if (n <= 0) break;
    got += n;
  }
  auto has = [got](int64_t Offset, int64_t Size) { return Offset + Size <= got; };
  if (!has(0, 8)) return;
  fMarginTop = GetF64(b + 0);
  if (!has(8, 8)) return;
  fMarginLeft = GetF64(b + 8);
  if (!has(16, 8)) return;
  fMarginRight = GetF64(b + 16);
  if (!has(24, 8)) return;
  fMarginBottom = GetF64(b + 24);
  if (!has(32, 1)) return;
  SetOrdinal(fPosition, b[32], ppBottomRight + 1);
  if (!has(33, 1)) return;
  SetOrdinal(fSize, b[33], psSpecifiedSize + 1);
  if (!has(34, 8)) return;
  fWidth = GetF64(b + 34);
  if (!has(42, 8)) return;
  fHeight = GetF64(b + 42);
  if (!has(50, 8)) return;
  fGamma = GetF64(b + 50);
  if (!has(58, 1)) return;
  fPrintThumbnails = b[58] != 0;
  if (!has(59, 4)) return;
  fThumbnailColumns = GetI32(b + 59);
  if (!has(63, 4)) return;
  fThumbnailRows = GetI32(b + 63);
  if (!has(67, 8)) return;
  fThumbnailSpacing = GetF64(b + 67);
  if (!has(75, 1)) return;
  SetOrdinal(fThumbnailStyle, b[75], ptBorder + 1);
  if (!has(76, 1)) return;
  fThumbnailShowText = b[76] != 0;
  if (!has(77, 4)) return;
  fDlgWidth = GetI32(b + 77);
  if (!has(81, 4)) return;
  fDlgHeight = GetI32(b + 81);
}

void TIOPrintPreviewParams::SaveToFile(const std::string& FileName) const {
  bool aborting = false;
  VXWriteFileSafely(FileName, aborting, [this](TStream* Stream) { SaveToStream(*Stream); });
}

void TIOPrintPreviewParams::LoadFromFile(const std::string& FileName) {
  TVXWideFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(fs);
}

std::string TIOPrintPreviewParams::GetProperty(const std::string& Prop) const {
  const std::string p = VXUpperCaseAnsi(VXStripControlChars(Prop));
  if (p == "MARGINTOP") return NumberText(fMarginTop);
  if (p == "MARGINLEFT") return NumberText(fMarginLeft);
  if (p == "MARGINRIGHT") return NumberText(fMarginRight);
  if (p == "MARGINBOTTOM") return NumberText(fMarginBottom);
  if (p == "POSITION") return std::to_string(int32_t(fPosition));
  if (p == "SIZE") return std::to_string(int32_t(fSize));
  if (p == "WIDTH") return NumberText(fWidth);
  if (p == "HEIGHT") return NumberText(fHeight);
  if (p == "GAMMA") return NumberText(fGamma);
  if (p == "PRINTTHUMBNAILS") return fPrintThumbnails ? "1" : "0";
  if (p == "THUMBNAILCOLUMNS") return std::to_string(fThumbnailColumns);
  if (p == "THUMBNAILROWS") return std::to_string(fThumbnailRows);
  if (p == "THUMBNAILSPACING") return NumberText(fThumbnailSpacing);
  if (p == "THUMBNAILSTYLE") return std::to_string(int32_t(fThumbnailStyle));
  if (p == "THUMBNAILSHOWTEXT") return fThumbnailShowText ? "1" : "0";
  if (p == "DLGWIDTH") return std::to_string(fDlgWidth);
  if (p == "DLGHEIGHT") return std::to_string(fDlgHeight);
  return "";
}

void TIOPrintPreviewParams::SetProperty(const std::string& Prop, const std::string& Value) {
  const std::string p = VXUpperCaseAnsi(VXStripControlChars(Prop));
  const std::string v = VXStripControlChars(Value);
  if (p == "MARGINTOP") fMarginTop = NumberValue(v, 0);
  else if (p == "MARGINLEFT") fMarginLeft = NumberValue(v, 0);
  else if (p == "MARGINRIGHT") fMarginRight = NumberValue(v, 0);
  else if (p == "MARGINBOTTOM") fMarginBottom = NumberValue(v, 0);
  else if (p == "POSITION") SetOrdinal(fPosition, IntValue(v, 0), ppBottomRight + 1);
  else if (p == "SIZE") SetOrdinal(fSize, IntValue(v, 0), psSpecifiedSize + 1);
  else if (p == "WIDTH") fWidth = NumberValue(v, 0);
  else if (p == "HEIGHT") fHeight = NumberValue(v, 0);
  else if (p == "GAMMA") fGamma = NumberValue(v, 0);
  else if (p == "PRINTTHUMBNAILS") fPrintThumbnails = BoolValue(v);
  else if (p == "THUMBNAILCOLUMNS") fThumbnailColumns = IntValue(v, 4);
  else if (p == "THUMBNAILROWS") fThumbnailRows = IntValue(v, 5);
  else if (p == "THUMBNAILSPACING") fThumbnailSpacing = NumberValue(v, 0);
  else if (p == "THUMBNAILSTYLE") SetOrdinal(fThumbnailStyle, IntValue(v, 0), ptBorder + 1);
  else if (p == "THUMBNAILSHOWTEXT") fThumbnailShowText = BoolValue(v);
  else if (p == "DLGWIDTH") fDlgWidth = IntValue(v, 0);
  else if (p == "DLGHEIGHT") fDlgHeight = IntValue(v, 0);
}
