#include "db/postgres/provider.h"

#include <atomic>

#include "db/postgres/pg_connection.h"
#include "db/postgres/pool.h"

namespace talwen::db::postgres {
namespace {

std::atomic<uint64_t> g_providers{0};

// The connection keywords and the libpq keywords they set.
constexpr std::pair<std::string_view, const char*> kKeywords[] = {
    {"Data Source", "host"}, {"Port", "port"},         {"Initial Catalog", "dbname"},
    {"User ID", "user"},     {"Password", "password"},
};

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

std::unique_ptr<Session> Pool::Checkout(const Timeouts& timeouts, std::unique_ptr<Session> idle) {
  if (!idle) idle = sessions_.Take();
  for (; idle; idle = sessions_.Take()) {
    try {
      idle->SetCommandTimeout(timeouts.command);
      return idle;
    } catch (const DbError&) {
      // Lost between the check and the first word: take the next one.
    }
  }
  return Session::Open(params_, timeouts);
}

void Pool::GiveBack(std::unique_ptr<Session> session, const PoolSettings& settings) {
  if (session) session->Watch(nullptr);
  sessions_.Leave(std::move(session), settings);
}

void Pool::ReleaseIdle(std::chrono::steady_clock::time_point now, const PoolSettings& settings) {
  sessions_.ReleaseIdle(now, settings);
}

size_t Pool::idle_count() {
  return sessions_.idle_count();
}

PoolStats Pool::Stats() {
  // The target without its password: host, port, database and user.
  std::string target;
  for (const auto& [keyword, value] : params_) {
    if (keyword == "password") continue;
    if (!target.empty()) target += ' ';
    target += keyword + "=" + value;
  }
  return sessions_.Stats(std::move(target));
}

// ---- Settings and keywords ----

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
    : id_(++g_providers),
      settings_(std::move(settings)),
      reaper_([this] { return this->settings(); }, [this] { ReleaseIdle(); }) {}

PostgresProvider::~PostgresProvider() = default;

PoolSettings PostgresProvider::settings() const {
  return settings_ ? settings_() : PoolSettings{};
}

std::shared_ptr<Pool> PostgresProvider::pool_for(const ConnectParams& params) {
  reaper_.Start();
  std::lock_guard<std::mutex> lock(mutex_);
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
  const PoolSettings pool_settings = settings();
  std::unique_ptr<Session> session = pool->Enter(pool_settings, timeouts.waiter);
  try {
    session = pool->Checkout(timeouts, std::move(session));
  } catch (...) {
    pool->GiveBack(nullptr, pool_settings);
    throw;
  }
  return std::make_unique<PgConnection>(std::move(pool), std::move(session), timeouts,
                                        pool_settings);
}

void PostgresProvider::pool_stats(std::vector<PoolStats>& out) {
  std::vector<std::shared_ptr<Pool>> pools;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, pool] : pools_) pools.push_back(pool);
  }
  for (const auto& pool : pools) out.push_back(pool->Stats());
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

}  // namespace talwen::db::postgres
