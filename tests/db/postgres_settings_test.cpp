// The provider's configuration: connection keywords and the pool settings of [GENERAL].
#include <gtest/gtest.h>

#include "db/postgres/provider.h"

namespace talwen::db::postgres {
namespace {

TEST(ConnectParams, MapsTheFiveKeywordsInAnyCase) {
  const ConnectionString s(
      "provider=PostgreSQL;DATA SOURCE=/run/pg;port=5433;Initial catalog=wms;user id=rf;"
      "PASSWORD=p w;PROVIDER=SQLOLEDB");
  const ConnectParams expected = {{"host", "/run/pg"},
                                  {"port", "5433"},
                                  {"dbname", "wms"},
                                  {"user", "rf"},
                                  {"password", "p w"}};
  EXPECT_EQ(ConnectParamsOf(s), expected);
}

TEST(ConnectParams, IgnoresOtherKeywordsAndEmptyValues) {
  // A section written for another provider: its other keywords are ignored, never passed on.
  const ConnectionString s(
      "Provider=PostgreSQL;Data Source=db1;Integrated Security=SSPI;Persist Security "
      "Info=False;host=evil;options=-c x=y;sslmode=disable;Port=;Password=\"a;b\"");
  const ConnectParams expected = {{"host", "db1"}, {"password", "a;b"}};
  EXPECT_EQ(ConnectParamsOf(s), expected);
}

TEST(ConnectParams, ValuesTravelAsTheyAreWithoutQuotingRules) {
  // libpq receives keyword and value apart, so no value can add a keyword.
  const ConnectionString s("Password=x' host='evil;User ID=a b\\c");
  const ConnectParams params = ConnectParamsOf(s);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[0], (std::pair<std::string, std::string>{"user", "a b\\c"}));
  EXPECT_EQ(params[1], (std::pair<std::string, std::string>{"password", "x' host='evil"}));
}

TEST(PoolSettings, ReadFromGeneral) {
  const IniFile ini = IniFile::parse("[GENERAL]\nPOOL SIZE=3\npool idle seconds=45\n");
  const PoolSettings s = ReadPoolSettings(&ini);
  EXPECT_EQ(s.size, 3);
  EXPECT_EQ(s.idle_time, std::chrono::seconds(45));
}

TEST(PoolSettings, DefaultsForMissingOrMalformedValues) {
  const PoolSettings defaults;
  EXPECT_EQ(defaults.size, 8);
  EXPECT_EQ(defaults.idle_time, std::chrono::seconds(300));
  for (const char* text : {"", "[GENERAL]\n", "[GENERAL]\nPOOL SIZE=\nPOOL IDLE SECONDS=x\n",
                           "[GENERAL]\nPOOL SIZE=-1\nPOOL IDLE SECONDS=5s\n",
                           "[GENERAL]\nPOOL SIZE=99999999999\n", "[OTHER]\nPOOL SIZE=2\n"}) {
    const IniFile ini = IniFile::parse(text);
    const PoolSettings s = ReadPoolSettings(&ini);
    EXPECT_EQ(s.size, defaults.size) << text;
    EXPECT_EQ(s.idle_time, defaults.idle_time) << text;
  }
  EXPECT_EQ(ReadPoolSettings(nullptr).size, defaults.size);
}

TEST(PoolSettings, ZeroTurnsPoolingOrTheIdleLimitOff) {
  const IniFile ini = IniFile::parse("[GENERAL]\nPOOL SIZE=0\nPOOL IDLE SECONDS=0\n");
  const PoolSettings s = ReadPoolSettings(&ini);
  EXPECT_EQ(s.size, 0);
  EXPECT_EQ(s.idle_time, std::chrono::seconds(0));
}

}  // namespace
}  // namespace talwen::db::postgres
