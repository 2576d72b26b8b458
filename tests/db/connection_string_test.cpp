// Connection strings: keyword=value pairs, the first of a keyword winning, quoted values.
#include <gtest/gtest.h>

#include "db/connection.h"

namespace talwen::db {
namespace {

TEST(ConnectionString, SplitsPairsAndTrimsBlanks) {
  const ConnectionString s(" Data Source = srv ;Initial Catalog=db;;junk; User ID=rf ");
  EXPECT_EQ(s.get("data source"), "srv");
  EXPECT_EQ(s.get("INITIAL CATALOG"), "db");
  EXPECT_EQ(s.get("User ID"), "rf");
  EXPECT_FALSE(s.has("junk"));
  EXPECT_EQ(s.pairs().size(), 3u);
}

TEST(ConnectionString, TheFirstOccurrenceWins) {
  // The section's provider wins over the one the configuration appends.
  const ConnectionString s("Provider=PostgreSQL;Data Source=a;PROVIDER=SQLOLEDB");
  EXPECT_EQ(s.get("Provider"), "PostgreSQL");
}

TEST(ConnectionString, QuotedValuesKeepSemicolonsAndLoseTheirQuotes) {
  const ConnectionString s(
      "Password=\"a;b\";User ID='x''y';Initial Catalog=\"say \"\"hi\"\"\";Port= '5432' junk;"
      "Data Source=\" spaced \"");
  EXPECT_EQ(s.get("Password"), "a;b");
  EXPECT_EQ(s.get("User ID"), "x'y");
  EXPECT_EQ(s.get("Initial Catalog"), "say \"hi\"");
  EXPECT_EQ(s.get("Port"), "5432");
  EXPECT_EQ(s.get("Data Source"), " spaced ");
}

TEST(ConnectionString, AnUnclosedQuoteRunsToTheEnd) {
  const ConnectionString s("Password=\"a;b;User ID=x");
  EXPECT_EQ(s.get("Password"), "a;b;User ID=x");
  EXPECT_FALSE(s.has("User ID"));
}

TEST(ConnectionString, QuotesInsideAValueAreItsOwn) {
  const ConnectionString s("Password=it's;User ID=a\"b");
  EXPECT_EQ(s.get("Password"), "it's");
  EXPECT_EQ(s.get("User ID"), "a\"b");
}

}  // namespace
}  // namespace talwen::db
