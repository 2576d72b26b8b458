#include "db/pool.h"

#include <charconv>

namespace talwen::db {
namespace {

int read_count(const IniFile* ini, std::string_view key, int fallback) {
  if (!ini) return fallback;
  const std::string text = ini->read_string("GENERAL", key, "");
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0) {
    return fallback;
  }
  return value;
}

}  // namespace

PoolSettings ReadPoolSettings(const IniFile* ini) {
  PoolSettings settings;
  settings.size = read_count(ini, "POOL SIZE", settings.size);
  settings.idle_time = std::chrono::seconds(
      read_count(ini, "POOL IDLE SECONDS", static_cast<int>(settings.idle_time.count())));
  settings.wait = std::chrono::seconds(
      read_count(ini, "POOL WAIT SECONDS", static_cast<int>(settings.wait.count())));
  return settings;
}

void ThrowBusy(std::chrono::seconds waited) {
  throw DbError(kErrorBusy, "No database connection was free within " +
                                std::to_string(waited.count()) + " seconds.");
}

PoolReaper::~PoolReaper() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PoolReaper::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!thread_.joinable() && !stopping_) thread_ = std::thread([this] { Run(); });
}

void PoolReaper::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    const std::chrono::seconds idle = settings_ ? settings_().idle_time : PoolSettings{}.idle_time;
    lock.lock();
    const std::chrono::seconds period =
        idle.count() > 0 ? std::clamp(idle / 2, std::chrono::seconds(1), std::chrono::seconds(60))
                         : std::chrono::seconds(60);
    if (wake_.wait_for(lock, period, [this] { return stopping_; })) break;
    lock.unlock();
    release_();
    lock.lock();
  }
}

}  // namespace talwen::db
