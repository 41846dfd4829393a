#pragma once
// TIPDialogParams: the last values of the processing preview dialog, kept by
// every processing component so that the dialog reopens with them, stored in
// a little-endian parameter stream and readable one by one as text under
// fixed key names.
//
// The stream (version 10003), field after field: version; DialogWidth,
// DialogHeight, Resize_Percent; Shadow_Radius, Shadow_Offset; the contrast,
// HSV, HSL and RGB values; the user filter (nine values row by row, divisor);
// the four equalisation colours (blue, green, red); EqualizeButton; the bump
// map rectangle, colour, source and auto flag; the lens rectangle, Ref and
// auto flag; the wave values and reflect flag; the morphological filter and
// window size; ROTATE_Angle; the flip flags; GAMMACORRECTION_Value; the
// sharpen values; the FFT rectangle and grey-scale flag; the length of the
// FFT selection and its bytes. Integers are signed 32-bit, Booleans one byte,
// doubles eight. Older layouts (10000 .. 10002, and the first one without a
// version word) still load.

#include <cstdint>
#include <memory>
#include <string>

#include "core/pixels.h"
#include "core/vxdefs.h"
#include "proc/filters.h"

class TStream;
class TMemoryStream;

class TIPDialogParams {
 public:
  // The version SaveToStream writes.
  static constexpr int32_t CurrentVersion = 10003;

  TIPDialogParams();
  ~TIPDialogParams();
  TIPDialogParams(const TIPDialogParams&) = delete;
  TIPDialogParams& operator=(const TIPDialogParams&) = delete;

  // The defaults of every field except the crop rectangle; empties
  // FFT_Selection.
  void SetDefaultParams();

  void SaveToStream(TStream* Stream);
  // Reads the layout its version word names (a first value below 10000: no
  // version word, read again from where the stream stood as the contrast).
  // A stream that ends before the selection length raises the stream's
  // EReadError; the fields read before stay loaded, the others unchanged.
  // FFT_Selection receives at most what the stream still holds and at most
  // the settings' MaxMetadataSize.
  void LoadFromStream(TStream* Stream);
  // Whole or not at all (a temporary file renamed over FileName).
  void SaveToFile(const std::string& FileName);
  void LoadFromFile(const std::string& FileName);

  // A field as text by key (any case; control characters ignored);
  // "INVALID PROPERTY" for a key that names none.
  std::string GetProperty(const std::string& Prop);
  // Writes a field from text; an unparsable value takes the key's default,
  // an unknown key is ignored.
  void SetProperty(const std::string& Prop, const std::string& Value);

  // The FFT rectangle; every write empties FFT_Selection.
  int32_t FFT_Left() const { return fFFT_Left; }
  int32_t FFT_Top() const { return fFFT_Top; }
  int32_t FFT_Right() const { return fFFT_Right; }
  int32_t FFT_Bottom() const { return fFFT_Bottom; }
  void SetFFT_Left(int32_t Value);
  void SetFFT_Top(int32_t Value);
  void SetFFT_Right(int32_t Value);
  void SetFFT_Bottom(int32_t Value);

  int32_t DialogWidth = -1, DialogHeight = -1;
  int32_t CONTRAST_Contrast = 0, CONTRAST_Brightness = 0;
  int32_t HSV_H = 0, HSV_S = 0, HSV_V = 0;
  int32_t HSL_H = 0, HSL_S = 0, HSL_L = 0;
  int32_t RGB_R = 0, RGB_G = 0, RGB_B = 0;
  TGraphFilter USERFILTER_Values;
  TRGB EQUALIZATION_ThresholdDown{}, EQUALIZATION_ThresholdUp{}, EQUALIZATION_EqDown{}, EQUALIZATION_EqUp{};
  bool EQUALIZATION_EqualizeButton = false;
  int32_t BUMPMAP_Left = 0, BUMPMAP_Top = 0, BUMPMAP_Width = 0, BUMPMAP_Height = 0;
  TRGB BUMPMAP_Col{};
  int32_t BUMPMAP_Src = 0;
  bool BUMPMAP_Auto = false;
  int32_t LENS_Left = 0, LENS_Top = 0, LENS_Width = 0, LENS_Height = 0;
  double LENS_Ref = 0;
  bool LENS_Auto = false;
  int32_t WAVE_Amplitude = 0, WAVE_WaveLength = 0, WAVE_Phase = 0;
  bool WAVE_Reflect = false;
  int32_t MORPH_Filter = 0, MORPH_WinSize = 0;
  double ROTATE_Angle = 0;
  bool FLIP_Horz = false, FLIP_Vert = false;
  double GAMMACORRECTION_Value = 0;
  int32_t SHARPEN_Sharpen = 0, SHARPEN_Size = 0;
  bool FFT_GrayScale = false;
  // Owned; the dialog's FFT selection as it stored it.
  TMemoryStream* FFT_Selection() const { return fFFT_Selection.get(); }
  int32_t Resize_Percent = 0;
  int32_t Shadow_Radius = 0, Shadow_Offset = 0;
  int32_t AutoEnhance1_Slope = 0, AutoEnhance1_Range = 0;
  double AutoEnhance3_Gamma = 0;
  int32_t AutoEnhance3_Saturation = 0;
  // Not stored; the crop rectangle is not reset by the defaults either.
  int32_t Crop_Left = 0, Crop_Top = 0, Crop_Right = 0, Crop_Bottom = 0;
  TColor BackgroundColor = 0;

 private:
  int32_t fFFT_Left = -1, fFFT_Top = -1, fFFT_Right = -1, fFFT_Bottom = -1;
  std::unique_ptr<TMemoryStream> fFFT_Selection;
};
