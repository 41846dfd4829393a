// The library's variant: its kinds and their conversions.
#include <gtest/gtest.h>

#include "core/variant.h"
#include "core/vxdefs.h"

namespace {

TEST(Variant, KindsAndConversions) {
  struct {
    const char* Name;
    TVXVariant V;
    TVXVarType Type;
    bool Numeric;
    int32_t Int;
    std::string Text;
  } cases[] = {
      {"empty", TVXVariant(), vxvEmpty, true, 0, ""},
      {"smallint", TVXVariant(int16_t(-7)), vxvSmallint, true, -7, "-7"},
      {"integer", TVXVariant(int32_t(123456)), vxvInteger, true, 123456, "123456"},
      {"double", TVXVariant(2.5), vxvDouble, true, 2, "2.5"},  // halves to even
      {"string", TVXVariant(" 42 "), vxvString, true, 42, " 42 "},
      {"utf-16", TVXVariant(std::u16string(u"\u00e9t\u00e9")), vxvUString, false, 0, "\xc3\xa9t\xc3\xa9"},
      {"ole", TVXVariant::OleStr(u"17"), vxvOleStr, true, 17, "17"},
      {"not a number", TVXVariant("12a"), vxvString, false, 0, "12a"},
      {"too large", TVXVariant("99999999999"), vxvString, false, 0, "99999999999"},
      {"bytes", TVXVariant::ByteArray({1, 2, 3}), vxvByteArray, false, 0, ""},
      {"words", TVXVariant::WordArray({-1, 300}), vxvWordArray, false, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(c.V.VarType(), c.Type);
    if (c.Numeric)
      EXPECT_EQ(c.V.AsInteger(), c.Int);
    else
      EXPECT_THROW(c.V.AsInteger(), EVXException);
    EXPECT_EQ(c.V.AsString(), c.Text);
  }
  const TVXVariant w = TVXVariant::WordArray({-1, 300});
  ASSERT_EQ(w.ArrayCount(), 2);
  EXPECT_EQ(w.Words()[1], 300);
  EXPECT_TRUE(w.IsArray());
  EXPECT_EQ(TVXVariant("x").AsUString(), u"x");
  EXPECT_EQ(TVXVariant(1e10).VarType(), vxvDouble);
  EXPECT_THROW(TVXVariant(1e10).AsInteger(), EVXException);
  EXPECT_EQ(TVXVariant("-3.25").AsDouble(), -3.25);
  EXPECT_EQ(TVXVariant(int32_t(3)), TVXVariant(int32_t(3)));
  EXPECT_FALSE(TVXVariant(int32_t(3)) == TVXVariant(int16_t(3)));
}

}  // namespace
