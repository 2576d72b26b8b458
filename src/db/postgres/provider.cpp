#include "db/postgres/provider.h"

#include <algorithm>
#include <atomic>
#include <charconv>

#include "db/postgres/pg_connection.h"
#include "db/postgres/pool.h"

namespace talwen::db::postgres {
namespace {

constexpr std::string_view kGeneral = "GENERAL";

std::atomic<uint64_t> g_providers{0};

// The connection keywords and the libpq keywords they set.
constexpr std::pair<std::string_view, const char*> kKeywords[] = {
    {"Data Source", "host"}, {"Port", "port"},         {"Initial Catalog", "dbname"},
    {"User ID", "user"},     {"Password", "password"},
};

int read_count(const IniFile* ini, std::string_view key, int fallback) {
  if (!ini) return fallback;
  const std::string text = ini->read_string(kGeneral, key, "");
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0) {
    return fallback;
  }
  return value;
}

std::string key_of(const ConnectParams& params) {
  std::string key;
  for (const auto& [keyword, value] : params) {
    key += keyword;
    key += '\0';
    key += value;
    key += '\0';
  }
  return key;
}

}  // namespace

// ---- Pool ----

std::unique_ptr<Session> Pool::Checkout(const Timeouts& timeouts) {
  for (;;) {
    std::unique_ptr<Session> session;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (idle_.empty()) break;
      session = std::move(idle_.back());
      idle_.pop_back();
    }
    if (!session->Reusable()) continue;  // closed outside the lock
    try {
      session->SetCommandTimeout(timeouts.command);
      return session;
    } catch (const DbError&) {
      // Lost between the check and the first word: take the next one.
    }
  }
  return Session::Open(params_, timeouts);
}

void Pool::GiveBack(std::unique_ptr<Session> session, const PoolSettings& settings) {
  // The socket is looked at when the session is taken again.
  if (!session || settings.size <= 0 || !session->Reusable(false)) return;
  session->idle_since = std::chrono::steady_clock::now();
  std::unique_ptr<Session> surplus;
  std::lock_guard<std::mutex> lock(mutex_);
  idle_.push_back(std::move(session));
  if (idle_.size() > static_cast<size_t>(settings.size)) {
    surplus = std::move(idle_.front());  // the longest idle goes
    idle_.erase(idle_.begin());
  }
}

void Pool::ReleaseIdle(std::chrono::steady_clock::time_point now, const PoolSettings& settings) {
  std::vector<std::unique_ptr<Session>> expired;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t keep = settings.size > 0 ? static_cast<size_t>(settings.size) : 0;
    auto first_kept = idle_.begin();
    if (settings.idle_time.count() > 0) {
      while (first_kept != idle_.end() && now - (*first_kept)->idle_since >= settings.idle_time) {
        ++first_kept;
      }
    }
    if (static_cast<size_t>(idle_.end() - first_kept) > keep) first_kept = idle_.end() - keep;
    for (auto it = idle_.begin(); it != first_kept; ++it) expired.push_back(std::move(*it));
    idle_.erase(idle_.begin(), first_kept);
  }
  // The sessions close here, outside the lock.
}

size_t Pool::idle_count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return idle_.size();
}

// ---- Settings and keywords ----

PoolSettings ReadPoolSettings(const IniFile* ini) {
  PoolSettings settings;
  settings.size = read_count(ini, "POOL SIZE", settings.size);
  settings.idle_time = std::chrono::seconds(
      read_count(ini, "POOL IDLE SECONDS", static_cast<int>(settings.idle_time.count())));
  return settings;
}

ConnectParams ConnectParamsOf(const ConnectionString& target) {
  ConnectParams params;
  for (const auto& [keyword, libpq_keyword] : kKeywords) {
    std::string value = target.get(keyword);
    if (!value.empty()) params.emplace_back(libpq_keyword, std::move(value));
  }
  return params;
}

// ---- Provider ----

PostgresProvider::PostgresProvider(std::function<PoolSettings()> settings)
    : id_(++g_providers), settings_(std::move(settings)) {}

PostgresProvider::~PostgresProvider() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (reaper_.joinable()) reaper_.join();
}

PoolSettings PostgresProvider::settings() const {
  return settings_ ? settings_() : PoolSettings{};
}

std::shared_ptr<Pool> PostgresProvider::pool_for(const ConnectParams& params) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!reaper_.joinable()) reaper_ = std::thread([this] { reap(); });
  std::shared_ptr<Pool>& pool = pools_[key_of(params)];
  if (!pool) pool = std::make_shared<Pool>(params);
  return pool;
}

std::unique_ptr<Connection> PostgresProvider::open(const ConnectionString& target,
                                                   const Timeouts& timeouts) {
  // Each thread remembers the pool of its last target, so that a request takes no lock
  // shared by all to find it.
  thread_local struct {
    uint64_t provider = 0;
    std::string target;
    std::weak_ptr<Pool> pool;
  } last;
  std::shared_ptr<Pool> pool;
  if (last.provider == id_ && last.target == target.text()) pool = last.pool.lock();
  if (!pool) {
    pool = pool_for(ConnectParamsOf(target));
    last = {id_, target.text(), pool};
  }
  std::unique_ptr<Session> session = pool->Checkout(timeouts);
  return std::make_unique<PgConnection>(std::move(pool), std::move(session), timeouts, settings());
}

size_t PostgresProvider::idle_count(const ConnectionString& target) {
  return pool_for(ConnectParamsOf(target))->idle_count();
}

void PostgresProvider::ReleaseIdle() {
  std::vector<std::shared_ptr<Pool>> pools;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, pool] : pools_) pools.push_back(pool);
  }
  const PoolSettings now_settings = settings();
  const auto now = std::chrono::steady_clock::now();
  for (const auto& pool : pools) pool->ReleaseIdle(now, now_settings);
}

void PostgresProvider::reap() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    const std::chrono::seconds idle = settings().idle_time;
    lock.lock();
    const std::chrono::seconds period =
        idle.count() > 0 ? std::clamp(idle / 2, std::chrono::seconds(1), std::chrono::seconds(60))
                         : std::chrono::seconds(60);
    if (wake_.wait_for(lock, period, [this] { return stopping_; })) break;
    lock.unlock();
    ReleaseIdle();
    lock.lock();
  }
}

}  // namespace talwen::db::postgres
