#include "base/ini.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace talwen {
namespace {

struct LookupCase {
  const char* proves;
  std::string text;
  const char* section;
  const char* key;
  const char* default_value;
  std::string expected;
};

TEST(IniLookup, FollowsTheProfileRules) {
  const LookupCase cases[] = {
      {"section and key names ignore letter case", "[General]\nLogging File=a\n", "GENERAL",
       "logging file", "", "a"},
      {"the first matching key wins", "[g]\nk=1\nK=2\n", "g", "k", "", "1"},
      {"the first matching section wins, even without the key", "[g]\nx=1\n[G]\nk=2\n", "g", "k",
       "d", "d"},
      {"blanks around key and value are trimmed", "[g]\n \t k \t=\t v v \t\n", "g", "k", "", "v v"},
      {"double quotes are removed, inner blanks kept", "[g]\nk=\" v \"\n", "g", "k", "", " v "},
      {"single quotes are removed", "[g]\nk='v'\n", "g", "k", "", "v"},
      {"unmatched quotes stay", "[g]\nk='v\"\n", "g", "k", "", "'v\""},
      {"an empty value is a value, not the default", "[g]\nk=\n", "g", "k", "d", ""},
      {"a missing key gives the default", "[g]\nk=1\n", "g", "other", "d", "d"},
      {"a missing section gives the default", "[g]\nk=1\n", "h", "k", "d", "d"},
      {"the default loses its trailing blanks", "", "g", "k", "BRIEF  ", "BRIEF"},
      {"a commented-out key is no key", "[g]\n;k=old\n# k=older\nk=new\n", "g", "k", "", "new"},
      {"a line without = is no key", "[g]\nk\n", "g", "k", "d", "d"},
      {"lines above the first section belong to none", "k=1\n[g]\n", "g", "k", "d", "d"},
      {"CR LF line ends and a byte-order mark are read", "\xEF\xBB\xBF[g]\r\nk=v\r\n", "g", "k", "",
       "v"},
      {"a header without ] still opens a section", "[g]\nk=1\n[h\nk=2\n", "h", "k", "", "2"},
      {"text after ] is ignored, the name trimmed", "[ g ] x\nk=1\n", "g", "k", "", "1"},
  };
  for (const LookupCase& c : cases) {
    EXPECT_EQ(IniFile::parse(c.text).read_string(c.section, c.key, c.default_value), c.expected)
        << c.proves;
  }
}

struct SectionCase {
  const char* proves;
  std::string text;
  std::string expected;
};

TEST(IniSection, JoinsTheLinesOfOneSection) {
  const SectionCase cases[] = {
      {"lines are joined with ; in file order",
       "[db]\nData Source=srv\nInitial Catalog=wms\nUser ID=rf\n[x]\ny=1\n",
       "Data Source=srv;Initial Catalog=wms;User ID=rf"},
      {"blank lines and comments are skipped", "[db]\n\nA=1\n ; Password=old\n#B=2\n\t\nC=3\n",
       "A=1;C=3"},
      {"blanks around = go, quotes stay", "[db]\n  Password = \"a;b\"  \n", "Password=\"a;b\""},
      {"a line without = is taken as it stands", "[db]\nTrusted Connection \n",
       "Trusted Connection"},
      {"a missing section reads as empty", "[other]\nA=1\n", ""},
      {"a one-character line counts below 3", "[db]\nx\n", ""},
      {"a two-character line counts 3", "[db]\nxy\n", "xy"},
      {"two one-character lines count 4", "[db]\nx\ny\n", "x;y"},
      {"CR LF line ends are read", "[db]\r\nA=1\r\nB=2\r\n", "A=1;B=2"},
  };
  for (const SectionCase& c : cases) {
    EXPECT_EQ(IniFile::parse(c.text).read_section("DB"), c.expected) << c.proves;
  }
}

TEST(IniLimits, StringReadsStopAt254Bytes) {
  const std::string x254(254, 'x');
  const struct {
    const char* proves;
    std::string value;
    std::string expected;
  } cases[] = {
      {"a long value is cut", std::string(300, 'x'), x254},
      {"quotes go before the cut", "\"" + x254 + "\"", x254},
      {"a UTF-8 character is never split", std::string(253, 'x') + "\xC3\xA9",
       std::string(253, 'x')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IniFile::parse("[g]\nk=" + c.value + "\n").read_string("g", "k", ""), c.expected)
        << c.proves;
  }
  EXPECT_EQ(IniFile::parse("").read_string("g", "k", std::string(300, 'd')), std::string(254, 'd'));
}

TEST(IniLimits, SectionReadsKeepWholeLinesOnly) {
  // One line of n characters fills n + 1 of the buffer, the closing terminator one more.
  const std::size_t fits = IniFile::kSectionBufferSize - 2;
  EXPECT_EQ(IniFile::parse("[db]\n" + std::string(fits, 'a')).read_section("db").size(), fits);
  EXPECT_EQ(IniFile::parse("[db]\n" + std::string(fits + 1, 'a')).read_section("db"), "");

  std::string text = "[db]\n";
  std::string expected;
  for (int i = 0; i < 400; ++i) {
    const std::string line = "K" + std::to_string(1000 + i) + "=" + std::string(93, 'v');
    text += line + "\n";
    if (i < 327) expected += (i ? ";" : "") + line;  // 327 lines of 99 + 1 = 32700
  }
  EXPECT_EQ(IniFile::parse(text).read_section("db"), expected);
}

TEST(IniLoad, ReadsAFileOrNothing) {
  const std::string path = testing::TempDir() + "ini_load_test.INI";
  std::ofstream(path, std::ios::binary) << "[g]\r\nk=v\r\n";
  const std::optional<IniFile> ini = IniFile::load(path);
  ASSERT_TRUE(ini.has_value());
  EXPECT_EQ(ini->read_string("g", "k", ""), "v");
  std::remove(path.c_str());

  EXPECT_FALSE(IniFile::load(path).has_value());
  EXPECT_FALSE(IniFile::load(testing::TempDir()).has_value()) << "a folder is not a file";
}

}  // namespace
}  // namespace talwen
