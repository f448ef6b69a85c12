#include <gtest/gtest.h>

#include <string>

#include "windows/wildcard.h"

namespace {

struct Case {
  const char* Name;
  const char* Mask;
  bool IgnoreCase;
  bool Expected;
};

class Wildcard : public ::testing::TestWithParam<Case> {};

TEST_P(Wildcard, Matches) {
  const Case& c = GetParam();
  EXPECT_EQ(MatchesWildcard(c.Name, c.Mask, c.IgnoreCase), c.Expected)
      << "name \"" << c.Name << "\" mask \"" << c.Mask << "\" ignoreCase " << c.IgnoreCase;
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, Wildcard,
    ::testing::Values(
        // Case and the star-dot-star rule.
        Case{"photo.JPG", "*.jpg", true, true}, Case{"photo.JPG", "*.jpg", false, false},
        Case{"readme", "*.*", true, false}, Case{"readme", "*", true, true}, Case{"readme", "**", true, true},
        Case{"read.me", "*.*", true, true}, Case{"", "*", true, true}, Case{"", "***", false, true},
        // '?' is exactly one character.
        Case{"abXcdY", "ab*cd?", true, true}, Case{"abc", "a?", true, false}, Case{"abc", "a??", true, true},
        Case{"abc", "abc?", true, false}, Case{"", "?", true, false}, Case{"abc", "abc", false, true},
        Case{"abc", "", true, false}, Case{"", "", true, true},
        // Middle segments are searched one after the other.
        Case{"xxxxabZ", "xxxx*ab*ab*", true, false}, Case{"xxxxabZab", "xxxx*ab*ab*", true, true},
        Case{"a.b.c.jpg", "*.*.jpg", true, true}, Case{"abcabd", "*ab?", true, true},
        // The tail is anchored in what the other segments left: no overlap,
        // no reading before the name.
        Case{"abc", "ab*bc", true, false}, Case{"abbc", "ab*bc", true, true}, Case{"g", "*.jpg", true, false},
        Case{"jpg", "*.jpg", true, false}, Case{".jpg", "*.jpg", true, true}, Case{"ab", "ab*cd*", true, false},
        Case{"abcd", "ab*cd*", true, true}, Case{"ab", "a*", true, true}, Case{"", "a*", true, false},
        Case{"aXb", "a*?b", true, true}, Case{"ab", "a*?b", true, false},
        // Characters, not bytes, and Unicode case.
        Case{"\xC3\xA4" "bc.png", "?bc.png", true, true}, Case{"\xC3\xA4" "bc.png", "\xC3\x84*", true, true},
        Case{"\xC3\xA4" "bc.png", "\xC3\x84*", false, false}, Case{"\xE5\x9B\xBE.gif", "?.GIF", true, true},
        // A broken UTF-8 byte still counts as one character.
        Case{"a\xFF" "b", "a?b", false, true}, Case{"a\xFF" "b", "a\xFF*", false, true}),
    [](const ::testing::TestParamInfo<Case>& info) { return "Case" + std::to_string(info.index); });

}  // namespace
