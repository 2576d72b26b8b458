#include "support/odbc_drivers.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace talwen::testing {

std::string PostgresOdbcDriver() {
  return TALWEN_PSQLODBC_DRIVER;
}

std::string FreeTdsOdbcDriver() {
  return TALWEN_FREETDS_DRIVER;
}

const std::string& UsePrivateOdbcDrivers() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "talwen-odbc-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    std::ofstream ini(pattern + "/odbcinst.ini");
    const std::pair<const char*, std::string> drivers[] = {
        {"PostgreSQL Unicode", TALWEN_PSQLODBC_DRIVER}, {"FreeTDS", TALWEN_FREETDS_DRIVER}};
    for (const auto& [name, file] : drivers) {
      if (!file.empty()) ini << "[" << name << "]\nDriver=" << file << "\n\n";
    }
    std::ofstream(pattern + "/odbc.ini").flush();
    setenv("ODBCSYSINI", pattern.c_str(), 1);
    setenv("ODBCINI", (pattern + "/odbc.ini").c_str(), 1);
    return pattern;
  }();
  return folder;
}

}  // namespace talwen::testing
