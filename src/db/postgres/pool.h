// Pool: the sessions of one connection target, and the routines of its database.
//
// Thread-safe. A request enters (waiting for a turn while POOL SIZE requests hold one), checks
// a session out, and gives it back as it leaves (db/pool.h). Sessions are handed out
// most-recently-used first, so a quiet period leaves the least used ones to age out.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "db/pool.h"
#include "db/postgres/catalog.h"
#include "db/postgres/provider.h"
#include "db/postgres/session.h"

namespace talwen::db::postgres {

class Pool {
 public:
  explicit Pool(ConnectParams params) : params_(std::move(params)) {}

  // Wait for a turn, and take an idle session that still stands (nullptr: none). Throws
  // DbError (kErrorBusy) when no turn came in time.
  std::unique_ptr<Session> Enter(const PoolSettings& settings, Waiter* waiter) {
    return sessions_.Enter(settings, waiter);
  }
  // A session ready for a call, during a turn: idle (the one given, else one taken) and still
  // standing, or a new one. Throws DbError (kErrorGeneric) when the server cannot be reached
  // or refuses.
  std::unique_ptr<Session> Checkout(const Timeouts& timeouts,
                                    std::unique_ptr<Session> idle = nullptr);
  // End the turn, keeping the session for the next call or closing it (none, broken, in a
  // transaction, pool full).
  void GiveBack(std::unique_ptr<Session> session, const PoolSettings& settings);
  // Close the sessions idle for longer than the settings allow.
  void ReleaseIdle(std::chrono::steady_clock::time_point now, const PoolSettings& settings);
  size_t idle_count();
  PoolStats Stats();

  RoutineCache& routines() { return routines_; }

 private:
  const ConnectParams params_;
  LinkPool<Session> sessions_;
  RoutineCache routines_;
};

}  // namespace talwen::db::postgres
