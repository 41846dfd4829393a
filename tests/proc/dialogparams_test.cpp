// TIPDialogParams: defaults, the parameter stream in all its layouts, files,
// and access by key.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/streams.h"
#include "core/vxdefs.h"
#include "proc/dialogparams.h"
#include "proc/proc.h"

namespace {

// The stored fields in stream order, by key, with their stored form and the
// first version whose layout holds them (0: every layout, the first one
// without version word included).
enum TKind { kInt, kRGB, kBool, kDouble };
struct TStoredField {
  std::string Key;
  TKind Kind;
  int32_t Since;
};

std::vector<TStoredField> StoredFields() {
  std::vector<TStoredField> f;
  auto add = [&](std::initializer_list<const char*> keys, TKind kind, int32_t since) {
    for (const char* k : keys) f.push_back({k, kind, since});
  };
  add({"DIALOGWIDTH", "DIALOGHEIGHT", "RESIZE_PERCENT"}, kInt, 10001);
  add({"SHADOW_RADIUS", "SHADOW_OFFSET"}, kInt, 10002);
  add({"CONTRAST_CONTRAST", "CONTRAST_BRIGHTNESS", "HSV_H", "HSV_S", "HSV_V", "HSL_H", "HSL_S", "HSL_L", "RGB_R",
       "RGB_G", "RGB_B"},
      kInt, 0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) f.push_back({"USERFILTER_VALUES" + std::to_string(i) + std::to_string(j), kInt, 0});
  add({"USERFILTER_DIVISOR"}, kInt, 0);
  add({"EQUALIZATION_THRESHOLDDOWN", "EQUALIZATION_THRESHOLDUP", "EQUALIZATION_EQDOWN", "EQUALIZATION_EQUP"}, kRGB, 0);
  add({"EQUALIZATION_EQUALIZEBUTTON"}, kBool, 10000);
  add({"BUMPMAP_LEFT", "BUMPMAP_TOP", "BUMPMAP_WIDTH", "BUMPMAP_HEIGHT"}, kInt, 0);
  add({"BUMPMAP_COL"}, kRGB, 0);
  add({"BUMPMAP_SRC"}, kInt, 0);
  add({"BUMPMAP_AUTO"}, kBool, 0);
  add({"LENS_LEFT", "LENS_TOP", "LENS_WIDTH", "LENS_HEIGHT"}, kInt, 0);
  add({"LENS_REF"}, kDouble, 0);
  add({"LENS_AUTO"}, kBool, 0);
  add({"WAVE_AMPLITUDE", "WAVE_WAVELENGTH", "WAVE_PHASE"}, kInt, 0);
  add({"WAVE_REFLECT"}, kBool, 0);
  add({"MORPH_FILTER", "MORPH_WINSIZE"}, kInt, 0);
  add({"ROTATE_ANGLE"}, kDouble, 0);
  add({"FLIP_HORZ", "FLIP_VERT"}, kBool, 10003);
  add({"GAMMACORRECTION_VALUE"}, kDouble, 0);
  add({"SHARPEN_SHARPEN", "SHARPEN_SIZE"}, kInt, 0);
  add({"FFT_LEFT", "FFT_TOP", "FFT_RIGHT", "FFT_BOTTOM"}, kInt, 0);
  add({"FFT_GRAYSCALE"}, kBool, 0);
  return f;
}

bool InLayout(const TStoredField& f, int32_t Version) { return f.Since == 0 || Version >= f.Since; }

// Every stored field takes a value unlike its default (doubles exact in
// decimal), then the selection takes Selection.
void FillDistinct(TIPDialogParams& p, const std::string& Selection) {
  int n = 0;
  for (const TStoredField& f : StoredFields()) {
    ++n;
    switch (f.Kind) {
      case kInt:
        p.SetProperty(f.Key, std::to_string(n % 2 ? 1000 + 7 * n : -70000 * n));
        break;
      case kRGB:
        p.SetProperty(f.Key, std::to_string(n) + ", " + std::to_string(n + 100) + ", " + std::to_string(n + 150));
        break;
      case kBool:
        p.SetProperty(f.Key, p.GetProperty(f.Key) == "1" ? "0" : "1");
        break;
      case kDouble:
        p.SetProperty(f.Key, std::to_string(n) + ".25");
        break;
    }
  }
  p.FFT_Selection()->WriteBuffer(Selection.data(), int64_t(Selection.size()));
}

std::vector<std::string> Values(TIPDialogParams& p) {
  std::vector<std::string> out;
  for (const TStoredField& f : StoredFields()) out.push_back(p.GetProperty(f.Key));
  return out;
}

std::string Selection(TIPDialogParams& p) {
  TMemoryStream* s = p.FFT_Selection();
  return std::string(static_cast<const char*>(s->Memory()), size_t(s->Size()));
}

// The stream of the given layout (Version 0: no version word) built from the
// fields' text forms, item by item: signed 32-bit little-endian integers,
// colours as blue, green, red, Booleans as one byte, doubles as eight. Ends
// records where each field's bytes end.
std::string BuildStream(TIPDialogParams& p, int32_t Version, const std::string& Sel,
                        std::vector<size_t>* Ends = nullptr) {
  std::string out;
  auto i32 = [&](int64_t v) {
    for (int s = 0; s < 32; s += 8) out += char(uint32_t(v) >> s);
  };
  if (Version != 0) i32(Version);
  for (const TStoredField& f : StoredFields()) {
    if (InLayout(f, Version)) {
      const std::string text = p.GetProperty(f.Key);
      switch (f.Kind) {
        case kInt:
          i32(std::stoll(text));
          break;
        case kRGB: {
          int r = 0, g = 0, b = 0;
          EXPECT_EQ(std::sscanf(text.c_str(), "%d, %d, %d", &r, &g, &b), 3);
          out += char(b);
          out += char(g);
          out += char(r);
          break;
        }
        case kBool:
          out += text == "1" ? '\1' : '\0';
          break;
        case kDouble: {
          const double d = std::strtod(text.c_str(), nullptr);
          uint64_t u;
          std::memcpy(&u, &d, 8);
          for (int s = 0; s < 64; s += 8) out += char(u >> s);
          break;
        }
      }
    }
    if (Ends) Ends->push_back(out.size());
  }
  i32(int64_t(Sel.size()));
  out += Sel;
  return out;
}

std::string Saved(TIPDialogParams& p) {
  TMemoryStream m;
  p.SaveToStream(&m);
  return std::string(static_cast<const char*>(m.Memory()), size_t(m.Size()));
}

void Load(TIPDialogParams& p, const std::string& bytes, int64_t At = 0) {
  TVXMemStream s(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(At);
  p.LoadFromStream(&s);
}

const std::string kSel("\x01\x00\xFFsel", 6);

TEST(DialogParams, DefaultsAndTheirTextForms) {
  TIPDialogParams p;
  p.Crop_Left = 5;
  p.SetDefaultParams();  // the crop rectangle is left alone
  EXPECT_EQ(p.Crop_Left, 5);
  const std::pair<const char*, const char*> cases[] = {
      {"lens_ref", "1.7"},
      {"\tLens_Ref\r\n", "1.7"},
      {"unknown", "INVALID PROPERTY"},
      {"DIALOGWIDTH", "-1"},
      {"FFT_BOTTOM", "-1"},
      {"USERFILTER_VALUES11", "1"},
      {"USERFILTER_VALUES12", "0"},
      {"USERFILTER_VALUES", "0"},
      {"USERFILTER_VALUES30", "INVALID PROPERTY"},
      {"USERFILTER_VALUES09", "INVALID PROPERTY"},
      {"EQUALIZATION_THRESHOLDUP", "255, 255, 255"},
      {"EQUALIZATION_EQDOWN", "0, 0, 0"},
      {"BUMPMAP_WIDTH", "150"},
      {"BUMPMAP_AUTO", "1"},
      {"WAVE_REFLECT", "0"},
      {"MORPH_WINSIZE", "1"},
      {"GAMMACORRECTION_VALUE", "1"},
      {"SHARPEN_SIZE", "4"},
      {"FFT_GRAYSCALE", "1"},
      {"RESIZE_PERCENT", "50"},
      {"SHADOW_OFFSET", "3"},
  };
  for (const auto& [key, want] : cases) EXPECT_EQ(p.GetProperty(key), want) << key;
  EXPECT_EQ(p.FFT_Selection()->Size(), 0);
  EXPECT_EQ(p.USERFILTER_Values.Divisor, 0);
  EXPECT_EQ(p.AutoEnhance1_Range, 25);
  // Every processing component owns one.
  TVexlaneProc proc;
  ASSERT_NE(proc.IPDialogParams(), nullptr);
  EXPECT_EQ(proc.IPDialogParams()->LENS_Ref, 1.7);
}

TEST(DialogParams, SetPropertyParsesOrTakesTheKeysDefault) {
  struct Case {
    const char* key;
    const char* value;
    std::function<bool(const TIPDialogParams&)> holds;
  };
  const Case cases[] = {
      {"USERFILTER_VALUES12", "5", [](const TIPDialogParams& p) { return p.USERFILTER_Values.Values[1][2] == 5; }},
      {"userfilter_values2", "-3", [](const TIPDialogParams& p) { return p.USERFILTER_Values.Values[2][0] == -3; }},
      {"DIALOGWIDTH", "abc", [](const TIPDialogParams& p) { return p.DialogWidth == -1; }},
      {"HSV_S", "0x10", [](const TIPDialogParams& p) { return p.HSV_S == 16; }},
      {"HSV_S", "", [](const TIPDialogParams& p) { return p.HSV_S == 0; }},
      {"RESIZE_PERCENT", "x", [](const TIPDialogParams& p) { return p.Resize_Percent == 100; }},
      {"SHADOW_RADIUS", "7\r\n", [](const TIPDialogParams& p) { return p.Shadow_Radius == 7; }},
      {"SHADOW_OFFSET", "-", [](const TIPDialogParams& p) { return p.Shadow_Offset == 3; }},
      {"LENS_REF", "2,5", [](const TIPDialogParams& p) { return p.LENS_Ref == 2.5; }},
      {"LENS_REF", "none", [](const TIPDialogParams& p) { return p.LENS_Ref == 1.7; }},
      {"ROTATE_ANGLE", "none", [](const TIPDialogParams& p) { return p.ROTATE_Angle == 0; }},
      {"GAMMACORRECTION_VALUE", "none", [](const TIPDialogParams& p) { return p.GAMMACORRECTION_Value == 0; }},
      {"BUMPMAP_COL", "10, 20, 30",
       [](const TIPDialogParams& p) { return p.BUMPMAP_Col == TRGB{30, 20, 10}; }},
      {"FLIP_HORZ", "true", [](const TIPDialogParams& p) { return p.FLIP_Horz; }},
      {"BUMPMAP_AUTO", "yes", [](const TIPDialogParams& p) { return !p.BUMPMAP_Auto; }},
      {"FFT_TOP", "9", [](const TIPDialogParams& p) { return p.FFT_Top() == 9; }},
  };
  for (const Case& c : cases) {
    TIPDialogParams p;
    p.SetProperty(c.key, c.value);
    EXPECT_TRUE(c.holds(p)) << c.key << " = " << c.value;
  }
  // Unknown keys, user-filter digits beyond 2 included, change nothing.
  TIPDialogParams p;
  const std::string before = Saved(p);
  for (const char* key : {"USERFILTER_VALUES13", "USERFILTER_VALUES90", "CROP_LEFT", "", "LENS_REFX"})
    p.SetProperty(key, "77");
  EXPECT_EQ(Saved(p), before);
}

TEST(DialogParams, WritingTheFFTRectangleEmptiesTheSelection) {
  const std::function<void(TIPDialogParams&)> writes[] = {
      [](TIPDialogParams& p) { p.SetFFT_Left(1); },   [](TIPDialogParams& p) { p.SetFFT_Top(1); },
      [](TIPDialogParams& p) { p.SetFFT_Right(1); },  [](TIPDialogParams& p) { p.SetFFT_Bottom(1); },
      [](TIPDialogParams& p) { p.SetProperty("fft_left", "4"); },
  };
  for (const auto& write : writes) {
    TIPDialogParams p;
    p.FFT_Selection()->WriteBuffer("abc", 3);
    write(p);
    EXPECT_EQ(p.FFT_Selection()->Size(), 0);
  }
  // Loading sets the rectangle and keeps the selection that follows it.
  TIPDialogParams src, dst;
  FillDistinct(src, kSel);
  Load(dst, Saved(src));
  EXPECT_EQ(dst.FFT_Left(), src.FFT_Left());
  EXPECT_EQ(Selection(dst), kSel);
}

TEST(DialogParams, StreamHoldsThePartsItemsInOrderAndRoundTrips) {
  TIPDialogParams src;
  FillDistinct(src, kSel);
  src.Crop_Top = 3;
  src.AutoEnhance3_Gamma = 2;
  const std::string bytes = Saved(src);
  EXPECT_EQ(bytes, BuildStream(src, 10003, kSel));
  EXPECT_EQ(bytes.size(), 4 + 12 + 8 + 44 + 40 + 12 + 1 + 16 + 3 + 4 + 1 + 16 + 8 + 1 + 12 + 1 + 8 + 8 + 2 + 8 + 8 +
                              16 + 1 + 4 + kSel.size());
  TIPDialogParams dst;
  Load(dst, bytes);
  EXPECT_EQ(Values(dst), Values(src));
  EXPECT_EQ(Selection(dst), kSel);
  EXPECT_EQ(dst.Crop_Top, 0);  // not stored
  EXPECT_EQ(dst.AutoEnhance3_Gamma, 0);

  // The same through a file, which is replaced whole.
  const char* t = std::getenv("TMPDIR");
  const std::string dir = std::string(t && *t ? t : "/tmp") + "/vx-dlgparams-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/params.dat";
  {
    TIPDialogParams longer;
    longer.FFT_Selection()->WriteBuffer(std::string(1000, 'x').data(), 1000);
    longer.SaveToFile(file);
  }
  src.SaveToFile(file);
  EXPECT_EQ(std::filesystem::file_size(file), bytes.size());
  TIPDialogParams fromFile;
  fromFile.LoadFromFile(file);
  EXPECT_EQ(Values(fromFile), Values(src));
  EXPECT_EQ(Selection(fromFile), kSel);
  EXPECT_THROW(src.SaveToFile(dir + "/missing/params.dat"), EFCreateError);
  EXPECT_THROW(fromFile.LoadFromFile(dir + "/none.dat"), EFOpenError);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
  std::filesystem::remove_all(dir);
}

TEST(DialogParams, OlderLayoutsLoadTheirItemsOnly) {
  TIPDialogParams src;
  FillDistinct(src, kSel);
  for (int32_t version : {0, 10000, 10001, 10002, 10003}) {
    SCOPED_TRACE(version);
    // A stream inside a larger one: seven bytes before it, some after.
    const std::string embedded = "prefix!" + BuildStream(src, version, kSel) + "tail";
    TIPDialogParams dst;
    const std::vector<std::string> before = Values(dst), loaded = Values(src);
    TVXMemStream s(embedded.data(), int64_t(embedded.size()));
    s.SetPosition(7);
    // The selection runs to the declared length, the tail stays.
    dst.LoadFromStream(&s);
    EXPECT_EQ(s.Position(), int64_t(embedded.size()) - 4);
    const std::vector<TStoredField> fields = StoredFields();
    const std::vector<std::string> got = Values(dst);
    for (size_t i = 0; i < fields.size(); ++i)
      EXPECT_EQ(got[i], InLayout(fields[i], version) ? loaded[i] : before[i]) << fields[i].Key;
    EXPECT_EQ(Selection(dst), kSel);
  }
}

TEST(DialogParams, CutStreamsLoadTheItemsBeforeTheCut) {
  TIPDialogParams src;
  FillDistinct(src, kSel);
  std::vector<size_t> ends;
  const std::string full = BuildStream(src, 10003, kSel, &ends);
  const std::vector<TStoredField> fields = StoredFields();
  const std::vector<std::string> loaded = Values(src);
  const size_t lengthAt = ends.back();
  for (size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    TIPDialogParams dst;
    dst.FFT_Selection()->WriteBuffer("old", 3);
    const std::vector<std::string> before = Values(dst);
    if (cut < lengthAt) {
      EXPECT_THROW(Load(dst, full.substr(0, cut)), EReadError);
    } else {
      EXPECT_NO_THROW(Load(dst, full.substr(0, cut)));
    }
    const std::vector<std::string> got = Values(dst);
    for (size_t i = 0; i < fields.size(); ++i)
      ASSERT_EQ(got[i], ends[i] <= cut ? loaded[i] : before[i]) << fields[i].Key;
    // The selection is emptied once the fields are read; it keeps what came.
    if (cut < lengthAt)
      EXPECT_EQ(Selection(dst), "old");
    else
      EXPECT_EQ(Selection(dst), cut < lengthAt + 4 ? "" : kSel.substr(0, cut - lengthAt - 4));
  }
}

TEST(DialogParams, SelectionLengthIsCheckedAgainstTheStreamAndTheLimit) {
  TIPDialogParams src;
  std::string head = BuildStream(src, 10003, "");
  head.resize(head.size() - 4);
  auto withLength = [&](int32_t n, const std::string& data) {
    std::string s = head;
    for (int b = 0; b < 32; b += 8) s += char(uint32_t(n) >> b);
    return s + data;
  };
  struct Case {
    int32_t declared;
    std::string present;
    std::string want;
  };
  const Case cases[] = {
      {0x7FFFFFFF, "abcde", "abcde"},  // a huge claim takes only what is there
      {-5, "abcde", ""},
      {3, "abcde", "abc"},
      {40, std::string(40, 'z'), std::string(16, 'z')},  // the metadata limit
  };
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const int64_t limit = settings->MaxMetadataSize();
  settings->SetMaxMetadataSize(16);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.declared);
    TIPDialogParams dst;
    Load(dst, withLength(c.declared, c.present));
    EXPECT_EQ(Selection(dst), c.want);
  }
  settings->SetMaxMetadataSize(limit);
}

}  // namespace
