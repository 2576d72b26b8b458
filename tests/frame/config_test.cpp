#include "frame/config.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

namespace talwen {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr year_month_day k2008_03_27{year{2008}, month{3}, day{27}};

TEST(LoadConfig, TakesConnectionAndTraceSettings) {
  const struct {
    const char* proves;
    std::optional<std::string> text;  // none = no INI file
    const char* instance;
    Config expected;
  } cases[] = {
      {"three lines make three pairs before the provider",
       "[GENERAL]\nLOGGING FILE=/var/log/rf.txt\nLOGGING MODE=DETAIL\n"
       "[veldrawms]\nData Source=srv\nInitial Catalog=wms\nUser ID=rf\n",
       "VeldraWMS",
       {"Data Source=srv;Initial Catalog=wms;User ID=rf;PROVIDER=SQLOLEDB",
        "/var/log/rf_20080327.txt", "DETAIL"}},
      {"a commented-out password never reaches the connection",
       "[wms]\nUser ID=rf\n;Password=old\nPassword=new\n",
       "wms",
       {"User ID=rf;Password=new;PROVIDER=SQLOLEDB", "", "BRIEF"}},
      {"a missing section leaves the provider alone",
       "[GENERAL]\nLOGGING MODE=DETAILED\n",
       "wms",
       {";PROVIDER=SQLOLEDB", "", "DETAILED"}},
      {"a missing file gives the defaults",
       std::nullopt,
       "wms",
       {";PROVIDER=SQLOLEDB", "", "BRIEF"}},
  };
  for (const auto& c : cases) {
    const std::optional<IniFile> ini =
        c.text ? std::optional<IniFile>(IniFile::parse(*c.text)) : std::nullopt;
    const Config config = load_config(ini ? &*ini : nullptr, c.instance, k2008_03_27);
    EXPECT_EQ(config.connection_string, c.expected.connection_string) << c.proves;
    EXPECT_EQ(config.log_file_path, c.expected.log_file_path) << c.proves;
    EXPECT_EQ(config.log_mode, c.expected.log_mode) << c.proves;
  }
}

TEST(DateStampedPath, PutsTheDateAfterTheBaseName) {
  const year_month_day k2009_01_05{year{2009}, month{1}, day{5}};
  const struct {
    const char* path;
    year_month_day today;
    const char* expected;
  } cases[] = {
      {"/var/log/rf.txt", k2008_03_27, "/var/log/rf_20080327.txt"},
      {"/t/WMS.LOG", k2009_01_05, "/t/WMS_20090105.LOG"},
      {"/t/wms", k2009_01_05, "/t/wms_20090105."},
      {"/var/log.d/rf", k2009_01_05, "/var/log.d/rf_20090105."},
      {"/t/rf.old.txt", k2009_01_05, "/t/rf.old_20090105.txt"},
      {"rf.txt", k2009_01_05, "rf_20090105.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(date_stamped_path(c.path, c.today), c.expected) << c.path;
}

// Write text to path and give it the modification time seconds (since the epoch).
void write_file(const std::string& path, const std::string& text, long seconds) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::string value_of(const std::shared_ptr<const IniFile>& ini) {
  return ini ? ini->read_string("g", "k", "(none)") : "(no file)";
}

TEST(ConfigFile, ReReadsOnlyWhenTheFileChanges) {
  const std::string path = testing::TempDir() + "config_file_test.INI";
  std::remove(path.c_str());
  const ConfigFile file(path);
  EXPECT_EQ(file.snapshot(), nullptr) << "missing file";

  write_file(path, "[g]\nk=one\n", 1'000'000'000);
  const std::shared_ptr<const IniFile> first = file.snapshot();
  EXPECT_EQ(value_of(first), "one");
  EXPECT_EQ(file.snapshot(), first) << "an unchanged file is not parsed again";

  write_file(path, "[g]\nk=three\n", 1'000'000'000);
  EXPECT_EQ(value_of(file.snapshot()), "three") << "a new size";

  write_file(path, "[g]\nk=seven\n", 1'000'000'001);
  EXPECT_EQ(value_of(file.snapshot()), "seven") << "the same size, a new time";

  // A file modified just now may change again within the same timestamp tick.
  const long now = static_cast<long>(std::time(nullptr));
  write_file(path, "[g]\nk=eight\n", now);
  EXPECT_EQ(value_of(file.snapshot()), "eight");
  write_file(path, "[g]\nk=nine!\n", now);
  EXPECT_EQ(value_of(file.snapshot()), "nine!") << "the same size and time, recently written";

  std::remove(path.c_str());
  EXPECT_EQ(file.snapshot(), nullptr) << "a removed file";
}

TEST(DefaultIniPath, LiesBesideTheProgram) {
  const std::string path = default_ini_path();
  ASSERT_TRUE(path.ends_with(".INI")) << path;
  const std::string lower = path.substr(0, path.size() - 4) + ".ini";
  if (std::ifstream(path) || std::ifstream(lower)) GTEST_SKIP() << "an INI file is in place";

  std::ofstream(lower) << "[g]\n";
  EXPECT_EQ(default_ini_path(), lower) << "only the lower-case file exists";
  std::ofstream(path) << "[g]\n";
  EXPECT_EQ(default_ini_path(), path) << "both exist";
  std::remove(path.c_str());
  std::remove(lower.c_str());
}

}  // namespace
}  // namespace talwen
