// Configuration: what one request takes from the INI file beside the program.
//
// The section named after the database instance gives the connection keywords, "GENERAL" the
// trace-log settings. load_config is a pure function of the parsed file and the date;
// ConfigFile caches the parsed file between requests and re-reads it when it changes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "base/ini.h"

namespace talwen {

// What LoadConfig yields for one call.
struct Config {
  std::string connection_string;  // section lines joined by ";", then ";PROVIDER=SQLOLEDB"
  std::string log_file_path;      // date-stamped; "" = tracing off
  std::string log_mode;           // "BRIEF" when absent
};

// Build the configuration of one call. ini may be null (missing file); today is the local date
// used for the log file stamp.
Config load_config(const IniFile* ini, std::string_view db_instance,
                   std::chrono::year_month_day today);

// Return path with "_yyyymmdd" after the file's base name: /var/log/rf.txt on 2008-03-27 gives
// /var/log/rf_20080327.txt; a name without extension gives "base_stamp.".
std::string date_stamped_path(std::string_view path, std::chrono::year_month_day today);

// Return today's date on the local clock.
std::chrono::year_month_day local_today();

// Return the INI path beside the running program: its folder + its base name + ".INI", or
// + ".ini" when only that file exists. "" when the program's own path cannot be read.
std::string default_ini_path();

// A config file shared by all requests. snapshot() re-parses the file only when its
// modification time, size or inode changed since the last read, so an edit takes effect on the
// next call. Thread-safe: each thread remembers the snapshot it was given and the file's stamp
// then, so an unchanged file costs one stat and no lock; one mutex guards the shared snapshot.
class ConfigFile {
 public:
  explicit ConfigFile(std::string path);

  const std::string& path() const { return path_; }
  // Return the current contents, or nullptr when the file is missing or unreadable.
  std::shared_ptr<const IniFile> snapshot() const;

 private:
  // What identifies one version of the file.
  struct Stamp {
    std::timespec mtime{};
    off_t size = 0;
    ino_t inode = 0;
    dev_t device = 0;
    bool operator==(const Stamp& other) const;
  };

  std::string path_;
  const uint64_t id_;  // tells this file's snapshots apart in the threads' memories
  mutable std::mutex mutex_;
  mutable std::shared_ptr<const IniFile> cached_;  // null until the file was read
  mutable Stamp cached_stamp_;
  // The file was modified so shortly before it was read that a later edit may leave the same
  // timestamp; such a snapshot is read again on the next call instead of trusted.
  mutable bool cached_recent_ = false;
};

}  // namespace talwen
