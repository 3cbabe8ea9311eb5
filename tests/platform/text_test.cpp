// The shared text helpers: trimming, ASCII letter case, UTF-8 counting.

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

TEST(Text, TrimTakesOnlyTheGivenBlanksFromTheEnds) {
  const struct {
    std::string in, blanks, both, left, right;
  } cases[] = {
      {"  a b \t", " \t", "a b", "a b \t", "  a b"},
      {" \t ", " \t", "", "", ""},
      {"", " ", "", "", ""},
      {"\r\nx\r\n", " \t", "\r\nx\r\n", "\r\nx\r\n", "\r\nx\r\n"},
      {"\r\nx\r\n", " \t\r\n", "x", "x\r\n", "\r\nx"},
      {std::string("\0x\0", 3), std::string(" \0", 2), "x", std::string("x\0", 2), std::string("\0x", 2)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Trim(c.in, c.blanks), c.both) << c.in;
    EXPECT_EQ(TrimLeft(c.in, c.blanks), c.left) << c.in;
    EXPECT_EQ(TrimRight(c.in, c.blanks), c.right) << c.in;
  }
  EXPECT_EQ(Trim(" \tx\t "), "x");
}

TEST(Text, ControlBytesCountAsBlankWhereAsked) {
  EXPECT_EQ(TrimControls("\x01 \x1Fuser_name\x7F \x10"), "user_name\x7F");
  EXPECT_EQ(TrimControls("\xD0\x96 "), "\xD0\x96");
  EXPECT_TRUE(IsBlankText(""));
  EXPECT_TRUE(IsBlankText(std::string(" \t\r\n\0", 5)));
  EXPECT_FALSE(IsBlankText(" \xA0 "));
  EXPECT_FALSE(IsBlankText(" x"));
}

TEST(Text, OnlyAsciiLettersChangeCase) {
  EXPECT_EQ(AsciiLower("SYSDBA Ж@[`{"), "sysdba Ж@[`{");
  EXPECT_EQ(AsciiUpper("sysdba ж@[`{"), "SYSDBA ж@[`{");
  EXPECT_TRUE(SameTextAscii("IsC_SpB_User", "isc_spb_USER"));
  EXPECT_FALSE(SameTextAscii("Ж", "ж"));
  EXPECT_FALSE(SameTextAscii("abc", "abcd"));
  EXPECT_FALSE(SameTextAscii("@", "`"));  // one apart from 'A' and 'a', but no letters
  EXPECT_TRUE(StartsWith("gbak: ERROR", "gbak:"));
  EXPECT_TRUE(StartsWith("x", ""));
  EXPECT_FALSE(StartsWith("gba", "gbak"));
}

// One rule for broken text: a well-formed sequence is one character, every
// other byte one of its own.
TEST(Text, Utf8CountingAndCutting) {
  const struct {
    std::string text;
    std::size_t length;
    std::size_t prefixOf2;
  } cases[] = {
      {"", 0, 0},
      {"a\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80", 4, 3},  // 1 + 2 + 3 + 4 bytes
      {"\x80\x80x", 3, 2},                              // stray continuation bytes
      {"\xC3"
       "a",
       2, 2},                          // a lead byte without its continuation
      {"\xE2\x82", 2, 2},              // a sequence cut short at the end
      {"\xE2\x82\xAC\x80\x80", 3, 4},  // more continuation bytes than announced
      {"\xC0\xAF\xF5\x80", 4, 2},      // bytes that lead no sequence
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8Length(c.text), c.length) << c.text;
    EXPECT_EQ(Utf8PrefixBytes(c.text, 2), c.prefixOf2) << c.text;
    EXPECT_EQ(Utf8Cut(c.text, 2), c.text.substr(0, c.prefixOf2)) << c.text;
    EXPECT_EQ(Utf8PrefixBytes(c.text, 100), c.text.size()) << c.text;
  }
}

}  // namespace
