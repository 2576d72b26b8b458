#include "base/text.h"

#include <gtest/gtest.h>

namespace talwen {
namespace {

TEST(Text, AsciiOnlyCaseAndChosenBlanks) {
  EXPECT_TRUE(iequals("Rf_Get_PO", "rf_get_po"));
  EXPECT_FALSE(iequals("\xC3\x89", "\xC3\xA9")) << "only ASCII letters fold";
  EXPECT_EQ(to_upper("caf\xC3\xA9 x1"), "CAF\xC3\xA9 X1");
  EXPECT_TRUE(iends_with("DB_Password", "PASSWORD"));
  EXPECT_FALSE(iends_with("pwd", "password"));
  EXPECT_EQ(trim(" \tA B\t "), "A B");
  EXPECT_EQ(trim("\tA ", " "), "\tA") << "only the blanks asked for";
  EXPECT_EQ(trim_right("  "), "");
  EXPECT_EQ(one_line("\n ERROR:  a\r\n\tb  "), "ERROR: a b");
}

}  // namespace
}  // namespace talwen
