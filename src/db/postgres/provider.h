// The PostgreSQL provider: serves the engine's statements and procedure calls from a
// PostgreSQL database through libpq, with pooled connections.
//
// Selected by "Provider=PostgreSQL" in the instance's section. Connection keywords (letter
// case ignored): Data Source (a host name, or the absolute path of a socket folder), Port,
// Initial Catalog (the database), User ID, Password. Every other keyword is ignored, so a
// section written for another provider keeps working once it names this one.
//
// Connections are pooled per target (host, port, database, user, password): open() waits for
// a turn (at most POOL SIZE requests use a target at once) and checks one out, destroying the
// Connection gives it back. A connection that the server closed
// (a restart, a terminated backend) is noticed when it is checked out, or fails the one call
// that meets it, and is never handed out again. The provider is shared by all threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "base/ini.h"
#include "db/connection.h"
#include "db/pool.h"
#include "db/postgres/session.h"

namespace talwen::db::postgres {

class Pool;

// The pool settings every provider reads (db/pool.h).
using db::PoolSettings;
using db::ReadPoolSettings;

// libpq's connection keywords for a connection string, in a fixed order.
ConnectParams ConnectParamsOf(const ConnectionString& target);

class PostgresProvider : public Provider {
 public:
  // settings is asked on every open and give-back, so edits of the INI file take effect on
  // the next request; without it the defaults apply.
  explicit PostgresProvider(std::function<PoolSettings()> settings = {});
  ~PostgresProvider() override;
  PostgresProvider(const PostgresProvider&) = delete;
  PostgresProvider& operator=(const PostgresProvider&) = delete;

  std::unique_ptr<Connection> open(const ConnectionString& target,
                                   const Timeouts& timeouts) override;
  void pool_stats(std::vector<PoolStats>& out) override;

  // Idle connections held for a target (for tests and diagnostics).
  size_t idle_count(const ConnectionString& target);
  // Close the connections idle for longer than the idle time now; a background thread does
  // this on its own about every half idle time.
  void ReleaseIdle();

 private:
  std::shared_ptr<Pool> pool_for(const ConnectParams& params);
  PoolSettings settings() const;

  const uint64_t id_;  // tells this provider's pools apart in the threads' memories
  std::function<PoolSettings()> settings_;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Pool>> pools_;  // by the target's keywords and values
  PoolReaper reaper_;  // started with the first open; stopped first, being the last member
};

}  // namespace talwen::db::postgres
