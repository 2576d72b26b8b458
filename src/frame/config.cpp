#include "frame/config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <utility>

#include "base/dates.h"

namespace talwen {

namespace {

// Appended to every instance's connection keywords. The INI files in use name no provider for
// their SQL Server databases, so this keyword, which the ODBC provider answers to, stays as it
// is; a section that names its own Provider (PostgreSQL, ODBC) comes first and wins, the first
// occurrence of a keyword being the one read.
constexpr std::string_view kProvider = ";PROVIDER=SQLOLEDB";
constexpr std::string_view kGeneralSection = "GENERAL";
constexpr std::string_view kLogFileKey = "LOGGING FILE";
constexpr std::string_view kLogModeKey = "LOGGING MODE";
constexpr std::string_view kDefaultLogMode = "BRIEF";

std::atomic<uint64_t> g_config_files{0};

// A file modified less than this before it was read may change again within the same timestamp
// tick (coarse file-system clocks tick in milliseconds, some in whole seconds).
constexpr std::time_t kRecentSeconds = 2;

// Join folder and name with one "/" between them, adding none when folder is "" or already
// ends in "/".
std::string build_path(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

bool file_exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

Config load_config(const IniFile* ini, std::string_view db_instance,
                   std::chrono::year_month_day today) {
  Config config;
  config.connection_string =
      (ini ? ini->read_section(db_instance) : std::string()) + std::string(kProvider);
  config.log_file_path = ini ? ini->read_string(kGeneralSection, kLogFileKey, "") : "";
  config.log_mode = ini ? ini->read_string(kGeneralSection, kLogModeKey, kDefaultLogMode)
                        : std::string(kDefaultLogMode);
  if (!config.log_file_path.empty()) {
    config.log_file_path = date_stamped_path(config.log_file_path, today);
  }
  return config;
}

std::string date_stamped_path(std::string_view path, std::chrono::year_month_day today) {
  const std::size_t slash = path.rfind('/');
  const std::string_view folder =
      slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  const std::string_view base = name.substr(0, dot);
  const std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);

  std::string stamped(base);
  stamped += '_';
  stamped += compact_date(today);
  stamped += '.';
  stamped += extension;
  return build_path(folder, stamped);
}

std::chrono::year_month_day local_today() {
  return local_date(std::chrono::system_clock::now());
}

std::string default_ini_path() {
  std::array<char, 4096> buffer{};
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  std::string_view program(buffer.data(), static_cast<std::size_t>(n));
  // A program whose file was replaced while it runs reads as "<path> (deleted)".
  constexpr std::string_view kDeleted = " (deleted)";
  if (program.ends_with(kDeleted)) program.remove_suffix(kDeleted.size());

  const std::size_t slash = program.rfind('/');
  const std::string_view folder = program.substr(0, slash + 1);
  std::string_view base = program.substr(slash + 1);
  base = base.substr(0, base.rfind('.'));

  const std::string upper = build_path(folder, std::string(base) + ".INI");
  if (file_exists(upper)) return upper;
  std::string lower = build_path(folder, std::string(base) + ".ini");
  return file_exists(lower) ? lower : upper;
}

bool ConfigFile::Stamp::operator==(const Stamp& other) const {
  return mtime.tv_sec == other.mtime.tv_sec && mtime.tv_nsec == other.mtime.tv_nsec &&
         size == other.size && inode == other.inode && device == other.device;
}

ConfigFile::ConfigFile(std::string path) : path_(std::move(path)), id_(++g_config_files) {}

std::shared_ptr<const IniFile> ConfigFile::snapshot() const {
  // Stat before reading: an edit landing between the two leaves the old stamp with the new
  // text, which only costs one more read next time; the other order could keep stale text.
  struct stat info {};
  const bool exists = ::stat(path_.c_str(), &info) == 0;
  const Stamp stamp{info.st_mtim, info.st_size, info.st_ino, info.st_dev};
  // What this thread was given last, and for which file and stamp.
  thread_local struct {
    uint64_t file = 0;
    Stamp stamp;
    std::shared_ptr<const IniFile> ini;
  } seen;
  if (exists && seen.file == id_ && seen.stamp == stamp && seen.ini) return seen.ini;

  std::lock_guard<std::mutex> lock(mutex_);
  if (!exists) {
    cached_.reset();
    return nullptr;
  }
  if (cached_ && !cached_recent_ && stamp == cached_stamp_) {
    seen = {id_, stamp, cached_};
    return cached_;
  }

  std::optional<IniFile> ini = IniFile::load(path_);
  if (!ini) {
    cached_.reset();
    return nullptr;
  }
  cached_ = std::make_shared<const IniFile>(std::move(*ini));
  cached_stamp_ = stamp;
  cached_recent_ = std::time(nullptr) - stamp.mtime.tv_sec < kRecentSeconds;
  if (!cached_recent_) seen = {id_, stamp, cached_};
  return cached_;
}

}  // namespace talwen
