#include <gtest/gtest.h>

#include <stdexcept>

#include "tool/zolib.h"

TEST(ZoLibWildcard, ExtendedMasksIgnoringCase) {
  struct Case {
    const char *Mask, *Name;
    bool Matches;
  } cases[] = {
      {"*.png", "a.PNG", true},
      {"*.png", "x.9.png", true},
      {"icon?.png", "icon1.png", true},
      {"icon?.png", "icon.png", false},
      {"ic+.png", "icn.png", true},
      {"ic+.png", "ic.png", false},
      {"ic+.png", "icons.png", true},
      {"[a-c]*.png", "b1.png", true},
      {"[a-c]*.png", "d1.png", false},
      {"*?.png", "a.png", true},
      {"*?.png", "ab.png", true},  // a pending star backtracks over '?'
      {"*?.png", ".png", false},
      {"*[0-9].png", "a1.png", true},
      {"*[0-9].png", "12.png", true},  // ... and over sets
      {"*[0-9].png", "a1b.png", false},
      {"[~a]*", "abc", false},
      {"[~a]*", "bcd", true},
      {"*", "", true},
      {"?", "", false},
      {"*.*", "readme", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"\\*x", "*x", true},  // escaped star is a literal
      {"\\*x", "ax", false},
      {"[\\]]", "]", true},
      {"[a\\-z]", "-", true},
      {"[a\\-z]", "b", false},
      {"*ä*", "XÄY", true},  // case folding beyond ASCII
      {"?.png", "ä.png", true},  // '?' is one character, not one byte
  };
  for (const auto& c : cases)
    EXPECT_EQ(WildcardMatch(c.Name, c.Mask, true, false), c.Matches) << c.Mask << " vs " << c.Name;
}

TEST(ZoLibWildcard, CaseAndSimpleMode) {
  EXPECT_FALSE(WildcardMatch("a.PNG", "*.png", false, false));
  EXPECT_TRUE(WildcardMatch("a.png", "*.png", false, false));
  // simple masks know only '*' and '?'
  EXPECT_TRUE(WildcardMatch("a+b", "a+b", false, true));
  EXPECT_FALSE(WildcardMatch("aab", "a+b", false, true));
  EXPECT_TRUE(WildcardMatch("[x].png", "[x]*", false, true));
  EXPECT_TRUE(WildcardMatch("\\a", "\\?", false, true));
}

TEST(ZoLibWildcard, MalformedMasksRaise) {
  EXPECT_THROW(WildcardMatch("abc", "[ab", true, false), std::invalid_argument);
  EXPECT_THROW(WildcardMatch("abc", "*[~", true, false), std::invalid_argument);
  EXPECT_THROW(WildcardMatch("abc", "ab\\", true, false), std::invalid_argument);
  EXPECT_THROW(WildcardMatch("abc", "[a-\\", true, false), std::invalid_argument);
  // the same characters are ordinary in simple mode
  EXPECT_FALSE(WildcardMatch("abc", "[ab", true, true));
}

TEST(ZoLibWildcard, MaskCharSetMatch) {
  struct Case {
    const char* Set;
    char32_t Ch;
    bool Matches;
  } cases[] = {
      {"[abc]", U'b', true},   {"[abc]", U'd', false}, {"[a-c]", U'c', true},  {"[a-c]", U'd', false},
      {"[~a-c]", U'd', true},  {"[~a-c]", U'a', false}, {"[]", U'a', false},   {"[~]", U'a', true},
      {"[0-9x]", U'x', true},  {"[\\~]", U'~', true},  {"[a\\]]", U']', true}, {"[!-#]", U'"', true},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskCharSetMatch(c.Set, c.Ch), c.Matches) << c.Set;
  EXPECT_THROW(MaskCharSetMatch("[abc", U'a'), std::invalid_argument);
}
