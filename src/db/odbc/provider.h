// The ODBC provider: serves the engine's statements and procedure calls through the ODBC
// driver manager, for SQL Server (Provider=SQLOLEDB and its kin) and for any database with an
// ODBC driver (Provider=MSDASQL). target.h says how a section becomes a driver's connection
// string.
//
//   statement text   sent exactly as built (T-SQL on SQL Server); every result in order, a
//                    row count as a result set without columns
//   parameters()     SQLProcedureColumns: "@RETURN_VALUE", then the "@" parameters in order
//   call()           `{? = call name(?, ...)}` with every parameter bound; all results are
//                    read before the outputs, which the driver fills only at the end
//
// Procedure descriptions are cached per target for a minute; a call that fails because the
// procedure changed (gone, a parameter added or removed) is described again and made once
// more. Failed statements are kErrorStatement with the server's messages, the command
// time-out kErrorTimeout, a failed connect or a lost connection kErrorGeneric.
//
// Connections are pooled per target (the driver's connection string) with the engine's pool
// settings: open() waits for a turn (at most POOL SIZE requests use a target at once) and
// checks one out, destroying the Connection gives it back with no statement open and, on SQL
// Server, no transaction open. A connection found dead (the driver says so,
// or a call failed with a connection error) is never handed out again, and the idle ones of
// its target are closed with it, since a server that dropped one has likely dropped them all.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "db/connection.h"
#include "db/hangup_watcher.h"
#include "db/odbc/link.h"
#include "db/pool.h"

namespace talwen::db::odbc {

struct Settings {
  PoolSettings pool;
  std::string driver;  // [GENERAL] ODBC DRIVER: the SQL Server driver to use; "" = the first found
};

// The settings of the INI file's [GENERAL] section.
Settings ReadSettings(const IniFile* ini);

class OdbcProvider : public Provider {
 public:
  // settings is asked on every open and give-back, so edits of the INI file take effect on
  // the next request; without it the defaults apply.
  explicit OdbcProvider(std::function<Settings()> settings = {});
  ~OdbcProvider() override;
  OdbcProvider(const OdbcProvider&) = delete;
  OdbcProvider& operator=(const OdbcProvider&) = delete;

  std::unique_ptr<Connection> open(const ConnectionString& target,
                                   const Timeouts& timeouts) override;
  void pool_stats(std::vector<PoolStats>& out) override;

  // Idle connections held for a target (for tests and diagnostics).
  size_t idle_count(const ConnectionString& target);
  // Close the connections idle for longer than the idle time now; a background thread does
  // this on its own.
  void ReleaseIdle();

  // The pool of one target: its idle links and its procedures.
  struct Pool {
    explicit Pool(Target t) : target(std::move(t)) {}
    const Target target;
    LinkPool<Link> links;
    RoutineCache routines;
  };

 private:
  Settings settings() const;
  Target TargetFor(const ConnectionString& source, const Timeouts& timeouts);
  std::shared_ptr<Pool> pool_for(const Target& target);

  std::function<Settings()> settings_;
  Environment env_;        // outlives every link: declared before the pools
  HangupWatcher watcher_;  // the clients of the statements running
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Pool>> pools_;  // by the driver's connection string
  std::vector<InstalledDriver> drivers_;                // as last asked of the driver manager
  std::chrono::steady_clock::time_point drivers_listed_;
  PoolReaper reaper_;  // stopped first
};

}  // namespace talwen::db::odbc
