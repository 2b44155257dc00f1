#include <gtest/gtest.h>

#include "support/routines_Strings.h"

namespace {

struct PathCase {
  const char* in;
  const char* with;
  const char* without;
};

TEST(BackslashHelpers, Table) {
  const PathCase cases[] = {
      {"", "", ""},
      {"\\", "\\", ""},
      {"C:\\", "C:\\", "C:"},
      {"C:\\Temp", "C:\\Temp\\", "C:\\Temp"},
      {"C:\\Temp\\", "C:\\Temp\\", "C:\\Temp"},
      {"C:\\Temp\\\\", "C:\\Temp\\\\", "C:\\Temp\\"},  // only one backslash goes
      {"Temp/", "Temp/\\", "Temp/"},                   // a slash is not a backslash
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(WithTrailingBackslash(c.in), c.with);
    EXPECT_EQ(WithoutTrailingBackslash(c.in), c.without);
  }
}

struct FieldCase {
  const char* text;
  int n;
  char delimiter;
  const char* expected;
};

TEST(GetField, Table) {
  const FieldCase cases[] = {
      {"a;b;c", 1, ';', "a"},  {"a;b;c", 2, ';', "b"},   {"a;b;c", 3, ';', "c"},
      {"a;b", 3, ';', ""},     {"", 1, ';', ""},         {"a;;c", 2, ';', ""},
      {"a;;c", 3, ';', "c"},   {"a;b;", 3, ';', ""},     {"abc", 1, ';', "abc"},
      {"1.2.3.4", 2, '.', "2"}, {"1.2.3.4", 4, '.', "4"}, {"1.2", 0, '.', "1"},  // N below 1 acts as 1
      {";x", 1, ';', ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " #" + std::to_string(c.n));
    EXPECT_EQ(GetField(c.text, c.n, c.delimiter), c.expected);
  }
}

TEST(AfterColon, KeepsFallbackWithoutColon) {
  std::string result = "fallback";
  AfterColon("no colon here", result);
  EXPECT_EQ(result, "fallback");
  AfterColon("key:value:more", result);
  EXPECT_EQ(result, "value:more");
  AfterColon("trailing:", result);
  EXPECT_EQ(result, "");
}

TEST(CleanFileName, Table) {
  const std::pair<std::string, std::string> cases[] = {
      {"a/b:c*d.txt", "a-bcd.txt"},
      {"\"*:;<>?\\|", ""},
      {"//", "--"},
      {"plain name.dct", "plain name.dct"},
      {std::string("tab\there\x01\xE9\xFF"), std::string("tab\there\x01\xE9\xFF")},  // control and high bytes stay
      {"", ""},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(in);
    EXPECT_EQ(CleanFileName(in), out);
  }
}

}  // namespace
