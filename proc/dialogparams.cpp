// The stored settings of the processing preview dialog: defaults, the
// parameter stream with its older layouts, files, and access by key.

#include "proc/dialogparams.h"

#include <algorithm>
#include <cstring>
#include <variant>

#include "core/filewriter.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "core/textutils.h"

namespace {

// The layouts of the stream: the first one has no version word; 10000 added
// EqualizeButton, 10001 the dialog size and resize percentage, 10002 the
// shadow, 10003 the flip flags.
constexpr int32_t kVersionFirst = 10000;

// ---- little-endian fields; reads raise the stream's EReadError when short ----

void WriteI32(TStream* S, int32_t V) {
  const uint32_t u = uint32_t(V);
  const uint8_t b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
  S->WriteBuffer(b, 4);
}

void WriteBool(TStream* S, bool V) {
  const uint8_t b = V ? 1 : 0;
  S->WriteBuffer(&b, 1);
}

void WriteDouble(TStream* S, double V) {
  uint64_t u;
  std::memcpy(&u, &V, 8);
  uint8_t b[8];
  for (int i = 0; i < 8; ++i) b[i] = uint8_t(u >> (8 * i));
  S->WriteBuffer(b, 8);
}

void WriteRGB(TStream* S, TRGB V) {
  const uint8_t b[3] = {V.b, V.g, V.r};
  S->WriteBuffer(b, 3);
}

void Read(TStream* S, int32_t& V) {
  uint8_t b[4];
  S->ReadBuffer(b, 4);
  V = int32_t(uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24));
}

void Read(TStream* S, bool& V) {
  uint8_t b;
  S->ReadBuffer(&b, 1);
  V = b != 0;
}

void Read(TStream* S, double& V) {
  uint8_t b[8];
  S->ReadBuffer(b, 8);
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= uint64_t(b[i]) << (8 * i);
  std::memcpy(&V, &u, 8);
}

void Read(TStream* S, TRGB& V) {
  uint8_t b[3];
  S->ReadBuffer(b, 3);
  V = TRGB{b[0], b[1], b[2]};
}

int32_t PackRGB(TRGB c) { return (int32_t(c.r) << 16) | (int32_t(c.g) << 8) | int32_t(c.b); }
TRGB UnpackRGB(int32_t v) { return TRGB{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)}; }

constexpr TRGB kBlack{0, 0, 0};
constexpr TRGB kWhite{255, 255, 255};

}  // namespace

TIPDialogParams::TIPDialogParams() : fFFT_Selection(std::make_unique<TMemoryStream>()) { SetDefaultParams(); }

TIPDialogParams::~TIPDialogParams() = default;

void TIPDialogParams::SetFFT_Left(int32_t Value) {
  fFFT_Left = Value;
  fFFT_Selection->Clear();
}

void TIPDialogParams::SetFFT_Top(int32_t Value) {
  fFFT_Top = Value;
  fFFT_Selection->Clear();
}

void TIPDialogParams::SetFFT_Right(int32_t Value) {
  fFFT_Right = Value;
  fFFT_Selection->Clear();
}

void TIPDialogParams::SetFFT_Bottom(int32_t Value) {
  fFFT_Bottom = Value;
  fFFT_Selection->Clear();
}

void TIPDialogParams::SetDefaultParams() {
  fFFT_Left = fFFT_Top = fFFT_Right = fFFT_Bottom = -1;
  DialogWidth = DialogHeight = -1;
  CONTRAST_Contrast = CONTRAST_Brightness = 0;
  HSV_H = HSV_S = HSV_V = 0;
  HSL_H = HSL_S = HSL_L = 0;
  RGB_R = RGB_G = RGB_B = 0;
  USERFILTER_Values = TGraphFilter();
  USERFILTER_Values.Values[1][1] = 1;
  EQUALIZATION_ThresholdDown = kBlack;
  EQUALIZATION_ThresholdUp = kWhite;
  EQUALIZATION_EqDown = kBlack;
  EQUALIZATION_EqUp = kWhite;
  EQUALIZATION_EqualizeButton = false;
  BUMPMAP_Left = BUMPMAP_Top = 0;
  BUMPMAP_Width = BUMPMAP_Height = 150;
  BUMPMAP_Col = kWhite;
  BUMPMAP_Src = 0;
  BUMPMAP_Auto = true;
  LENS_Left = LENS_Top = 0;
  LENS_Width = LENS_Height = 150;
  LENS_Ref = 1.7;
  LENS_Auto = true;
  WAVE_Amplitude = 10;
  WAVE_WaveLength = 10;
  WAVE_Phase = 0;
  WAVE_Reflect = false;
  MORPH_Filter = 0;
  MORPH_WinSize = 1;
  ROTATE_Angle = 0;
  FLIP_Horz = FLIP_Vert = false;
  GAMMACORRECTION_Value = 1.0;
  SHARPEN_Sharpen = 1;
  SHARPEN_Size = 4;
  FFT_GrayScale = true;
  fFFT_Selection->Clear();
  Resize_Percent = 50;
  Shadow_Radius = Shadow_Offset = 3;
  AutoEnhance1_Slope = 20;
  AutoEnhance1_Range = 25;
  AutoEnhance3_Gamma = 0;
  AutoEnhance3_Saturation = 0;
  BackgroundColor = 0;
}

// ---------------------------------------------------------------------------
// The stream

void TIPDialogParams::SaveToStream(TStream* Stream) {
  WriteI32(Stream, CurrentVersion);
  WriteI32(Stream, DialogWidth);
  WriteI32(Stream, DialogHeight);
  WriteI32(Stream, Resize_Percent);
  WriteI32(Stream, Shadow_Radius);
  WriteI32(Stream, Shadow_Offset);
  for (int32_t v : {CONTRAST_Contrast, CONTRAST_Brightness, HSV_H, HSV_S, HSV_V, HSL_H, HSL_S, HSL_L, RGB_R, RGB_G,
                    RGB_B})
    WriteI32(Stream, v);
  for (const auto& row : USERFILTER_Values.Values)
    for (int32_t v : row) WriteI32(Stream, v);
  WriteI32(Stream, USERFILTER_Values.Divisor);
  for (TRGB c : {EQUALIZATION_ThresholdDown, EQUALIZATION_ThresholdUp, EQUALIZATION_EqDown, EQUALIZATION_EqUp})
    WriteRGB(Stream, c);
  WriteBool(Stream, EQUALIZATION_EqualizeButton);
  for (int32_t v : {BUMPMAP_Left, BUMPMAP_Top, BUMPMAP_Width, BUMPMAP_Height}) WriteI32(Stream, v);
  WriteRGB(Stream, BUMPMAP_Col);
  WriteI32(Stream, BUMPMAP_Src);
  WriteBool(Stream, BUMPMAP_Auto);
  for (int32_t v : {LENS_Left, LENS_Top, LENS_Width, LENS_Height}) WriteI32(Stream, v);
  WriteDouble(Stream, LENS_Ref);
  WriteBool(Stream, LENS_Auto);
  for (int32_t v : {WAVE_Amplitude, WAVE_WaveLength, WAVE_Phase}) WriteI32(Stream, v);
  WriteBool(Stream, WAVE_Reflect);
  WriteI32(Stream, MORPH_Filter);
  WriteI32(Stream, MORPH_WinSize);
  WriteDouble(Stream, ROTATE_Angle);
  WriteBool(Stream, FLIP_Horz);
  WriteBool(Stream, FLIP_Vert);
  WriteDouble(Stream, GAMMACORRECTION_Value);
  WriteI32(Stream, SHARPEN_Sharpen);
  WriteI32(Stream, SHARPEN_Size);
  for (int32_t v : {fFFT_Left, fFFT_Top, fFFT_Right, fFFT_Bottom}) WriteI32(Stream, v);
  WriteBool(Stream, FFT_GrayScale);
  const int64_t n = std::min<int64_t>(fFFT_Selection->Size(), INT32_MAX);
  WriteI32(Stream, int32_t(n));
  if (n > 0) Stream->WriteBuffer(fFFT_Selection->Memory(), n);
}

void TIPDialogParams::LoadFromStream(TStream* Stream) {
  // Every field is stored as soon as it is read, so that a stream cut short
  // leaves the fields before the cut loaded and the others as they were.
  const int64_t start = Stream->Position();
  int32_t version = 0;
  Read(Stream, version);
  if (version < kVersionFirst) {
    // The first layout has no version word: its first value is the contrast.
    Stream->SetPosition(start);
  }
  if (version > 10000) {
    Read(Stream, DialogWidth);
    Read(Stream, DialogHeight);
    Read(Stream, Resize_Percent);
  }
  if (version > 10001) {
    Read(Stream, Shadow_Radius);
    Read(Stream, Shadow_Offset);
  }
  for (int32_t* v : {&CONTRAST_Contrast, &CONTRAST_Brightness, &HSV_H, &HSV_S, &HSV_V, &HSL_H, &HSL_S, &HSL_L, &RGB_R,
                     &RGB_G, &RGB_B})
    Read(Stream, *v);
  for (auto& row : USERFILTER_Values.Values)
    for (int32_t& v : row) Read(Stream, v);
  Read(Stream, USERFILTER_Values.Divisor);
  for (TRGB* c : {&EQUALIZATION_ThresholdDown, &EQUALIZATION_ThresholdUp, &EQUALIZATION_EqDown, &EQUALIZATION_EqUp})
    Read(Stream, *c);
  if (version >= kVersionFirst) Read(Stream, EQUALIZATION_EqualizeButton);
  for (int32_t* v : {&BUMPMAP_Left, &BUMPMAP_Top, &BUMPMAP_Width, &BUMPMAP_Height}) Read(Stream, *v);
  Read(Stream, BUMPMAP_Col);
  Read(Stream, BUMPMAP_Src);
  Read(Stream, BUMPMAP_Auto);
  for (int32_t* v : {&LENS_Left, &LENS_Top, &LENS_Width, &LENS_Height}) Read(Stream, *v);
  Read(Stream, LENS_Ref);
  Read(Stream, LENS_Auto);
  for (int32_t* v : {&WAVE_Amplitude, &WAVE_WaveLength, &WAVE_Phase}) Read(Stream, *v);
  Read(Stream, WAVE_Reflect);
  Read(Stream, MORPH_Filter);
  Read(Stream, MORPH_WinSize);
  Read(Stream, ROTATE_Angle);
  if (version > 10002) {
    Read(Stream, FLIP_Horz);
    Read(Stream, FLIP_Vert);
  }
  Read(Stream, GAMMACORRECTION_Value);
  Read(Stream, SHARPEN_Sharpen);
  Read(Stream, SHARPEN_Size);
  // The rectangle goes straight into the fields: the selection read below
  // belongs to it.
  for (int32_t* v : {&fFFT_Left, &fFFT_Top, &fFFT_Right, &fFFT_Bottom}) Read(Stream, *v);
  Read(Stream, FFT_GrayScale);
  fFFT_Selection->Clear();
  int64_t remaining = Stream->Size() - Stream->Position();
  if (remaining < 4) return;
  int32_t n = 0;
  Read(Stream, n);
  remaining -= 4;
  // Never more than is there, nor more than one metadata block may hold.
  const int64_t take = std::min<int64_t>({int64_t(n), remaining, VXGetGlobalSettings()->MaxMetadataSize()});
  if (take > 0) VXCopyStreamRange(fFFT_Selection.get(), Stream, take);
  fFFT_Selection->SetPosition(0);
}

void TIPDialogParams::SaveToFile(const std::string& FileName) {
  bool aborting = false;
  VXWriteFileSafely(FileName, aborting, [this](TStream* Stream) { SaveToStream(Stream); });
}

void TIPDialogParams::LoadFromFile(const std::string& FileName) {
  TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&file);
}

// ---------------------------------------------------------------------------
// Access by key

namespace {

// What a key names: an integer with the default of an unparsable value, a
// colour, a flag, a double with its default, or one side of the FFT
// rectangle (written through its setter).
struct TIntField {
  int32_t* Field;
  int32_t Default;
};
struct TFloatField {
  double* Field;
  double Default;
};
struct TFFTField {
  int32_t (TIPDialogParams::*Get)() const;
  void (TIPDialogParams::*Set)(int32_t);
};
using TParamField = std::variant<std::monostate, TIntField, TRGB*, bool*, TFloatField, TFFTField>;

TParamField FindField(TIPDialogParams& P, const std::string& Prop) {
  const std::string key = VXUpperCaseAnsi(VXStripControlChars(Prop));
  struct TEntry {
    const char* Key;
    TParamField Field;
  };
  const TEntry entries[] = {
      {"DIALOGWIDTH", TIntField{&P.DialogWidth, -1}},
      {"DIALOGHEIGHT", TIntField{&P.DialogHeight, -1}},
      {"CONTRAST_CONTRAST", TIntField{&P.CONTRAST_Contrast, 0}},
      {"CONTRAST_BRIGHTNESS", TIntField{&P.CONTRAST_Brightness, 0}},
      {"HSV_H", TIntField{&P.HSV_H, 0}},
      {"HSV_S", TIntField{&P.HSV_S, 0}},
      {"HSV_V", TIntField{&P.HSV_V, 0}},
      {"HSL_H", TIntField{&P.HSL_H, 0}},
      {"HSL_S", TIntField{&P.HSL_S, 0}},
      {"HSL_L", TIntField{&P.HSL_L, 0}},
      {"RGB_R", TIntField{&P.RGB_R, 0}},
      {"RGB_G", TIntField{&P.RGB_G, 0}},
      {"RGB_B", TIntField{&P.RGB_B, 0}},
  };
  for (const TEntry& e : entries)
    if (key == e.Key) return e.Field;
  static const std::string kUserFilter = "USERFILTER_VALUES";
  if (key.compare(0, kUserFilter.size(), kUserFilter) == 0) {
    // Row and column from the two characters after the prefix (0 when
    // missing or not a digit); digits beyond 2 name no value.
    auto index = [&](size_t pos) {
      return pos < key.size() && key[pos] >= '0' && key[pos] <= '9' ? key[pos] - '0' : 0;
    };
    const int i = index(kUserFilter.size()), j = index(kUserFilter.size() + 1);
    if (i > 2 || j > 2) return std::monostate();
    return TIntField{&P.USERFILTER_Values.Values[i][j], 0};
  }
  const TEntry rest[] = {
      {"USERFILTER_DIVISOR", TIntField{&P.USERFILTER_Values.Divisor, 0}},
      {"EQUALIZATION_THRESHOLDDOWN", &P.EQUALIZATION_ThresholdDown},
      {"EQUALIZATION_THRESHOLDUP", &P.EQUALIZATION_ThresholdUp},
      {"EQUALIZATION_EQDOWN", &P.EQUALIZATION_EqDown},
      {"EQUALIZATION_EQUP", &P.EQUALIZATION_EqUp},
      {"EQUALIZATION_EQUALIZEBUTTON", &P.EQUALIZATION_EqualizeButton},
      {"BUMPMAP_LEFT", TIntField{&P.BUMPMAP_Left, 0}},
      {"BUMPMAP_TOP", TIntField{&P.BUMPMAP_Top, 0}},
      {"BUMPMAP_WIDTH", TIntField{&P.BUMPMAP_Width, 0}},
      {"BUMPMAP_HEIGHT", TIntField{&P.BUMPMAP_Height, 0}},
      {"BUMPMAP_COL", &P.BUMPMAP_Col},
      {"BUMPMAP_SRC", TIntField{&P.BUMPMAP_Src, 0}},
      {"BUMPMAP_AUTO", &P.BUMPMAP_Auto},
      {"LENS_LEFT", TIntField{&P.LENS_Left, 0}},
      {"LENS_TOP", TIntField{&P.LENS_Top, 0}},
      {"LENS_WIDTH", TIntField{&P.LENS_Width, 0}},
      {"LENS_HEIGHT", TIntField{&P.LENS_Height, 0}},
      {"LENS_REF", TFloatField{&P.LENS_Ref, 1.7}},
      {"LENS_AUTO", &P.LENS_Auto},
      {"WAVE_AMPLITUDE", TIntField{&P.WAVE_Amplitude, 0}},
      {"WAVE_WAVELENGTH", TIntField{&P.WAVE_WaveLength, 0}},
      {"WAVE_PHASE", TIntField{&P.WAVE_Phase, 0}},
      {"WAVE_REFLECT", &P.WAVE_Reflect},
      {"MORPH_FILTER", TIntField{&P.MORPH_Filter, 0}},
      {"MORPH_WINSIZE", TIntField{&P.MORPH_WinSize, 0}},
      {"ROTATE_ANGLE", TFloatField{&P.ROTATE_Angle, 0}},
      {"FLIP_HORZ", &P.FLIP_Horz},
      {"FLIP_VERT", &P.FLIP_Vert},
      {"GAMMACORRECTION_VALUE", TFloatField{&P.GAMMACORRECTION_Value, 0}},
      {"SHARPEN_SHARPEN", TIntField{&P.SHARPEN_Sharpen, 0}},
      {"SHARPEN_SIZE", TIntField{&P.SHARPEN_Size, 0}},
      {"FFT_LEFT", TFFTField{&TIPDialogParams::FFT_Left, &TIPDialogParams::SetFFT_Left}},
      {"FFT_TOP", TFFTField{&TIPDialogParams::FFT_Top, &TIPDialogParams::SetFFT_Top}},
      {"FFT_RIGHT", TFFTField{&TIPDialogParams::FFT_Right, &TIPDialogParams::SetFFT_Right}},
      {"FFT_BOTTOM", TFFTField{&TIPDialogParams::FFT_Bottom, &TIPDialogParams::SetFFT_Bottom}},
      {"FFT_GRAYSCALE", &P.FFT_GrayScale},
      {"RESIZE_PERCENT", TIntField{&P.Resize_Percent, 100}},
      {"SHADOW_RADIUS", TIntField{&P.Shadow_Radius, 3}},
      {"SHADOW_OFFSET", TIntField{&P.Shadow_Offset, 3}},
  };
  for (const TEntry& e : rest)
    if (key == e.Key) return e.Field;
  return std::monostate();
}

template <class... Ts>
struct TOverloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
TOverloaded(Ts...) -> TOverloaded<Ts...>;

}  // namespace

std::string TIPDialogParams::GetProperty(const std::string& Prop) {
  return std::visit(TOverloaded{
                        [](std::monostate) -> std::string { return "INVALID PROPERTY"; },
                        [](const TIntField& f) { return std::to_string(*f.Field); },
                        [](TRGB* c) { return VXRGBToStr(PackRGB(*c)); },
                        [](bool* b) -> std::string { return *b ? "1" : "0"; },
                        [](const TFloatField& f) { return VXFloatToStrDot(*f.Field); },
                        [this](const TFFTField& f) { return std::to_string((this->*f.Get)()); },
                    },
                    FindField(*this, Prop));
}

void TIPDialogParams::SetProperty(const std::string& Prop, const std::string& Value) {
  const std::string value = VXStripControlChars(Value);
  std::visit(TOverloaded{
                 [](std::monostate) {},
                 [&](const TIntField& f) { *f.Field = VXStrToIntDefAnsi(value, f.Default); },
                 [&](TRGB* c) { *c = UnpackRGB(VXStrToRGB(value)); },
                 [&](bool* b) { *b = VXStrToBool(value); },
                 [&](const TFloatField& f) { *f.Field = double(VXStrToFloatDef(value, f.Default)); },
                 [&](const TFFTField& f) { (this->*f.Set)(VXStrToIntDefAnsi(value, 0)); },
             },
             FindField(*this, Prop));
}
