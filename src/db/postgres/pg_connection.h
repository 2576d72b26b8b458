// PgConnection: one request's connection. It turns the engine's statements and procedure
// calls into calls of the database's routines, on a session checked out of a pool.
//
//   statement text   parsed as one procedure call (call_statement.h); its arguments fill
//                    positions 1, 2, ... of the routine and are bound as parameters
//   parameters()     the routine's positions: "@RETURN_VALUE", then "@name" in declared order
//   call()           one value per position; an Empty input takes the routine's default
//
// A procedure is run as CALL, with named arguments where the parameters have names (so a
// skipped input takes its default); a function as SELECT * FROM f(...) (call_plan.h builds
// the statement). Each call is a transaction of its own: its statement alone, in one round
// trip; or, when the routine hands back cursors, BEGIN with the call in one round trip and
// the cursors' FETCH ALL (in declared order) with the COMMIT in a second; the cursors become
// its result sets. Each routine's statement is prepared once per pooled connection. Routines
// are looked up once per target; a call that fails because the routine changed since is
// looked up again and made once more.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "db/connection.h"
#include "db/postgres/pool.h"
#include "db/postgres/session.h"

namespace talwen::db::postgres {

class PgConnection : public Connection {
 public:
  PgConnection(std::shared_ptr<Pool> pool, std::unique_ptr<Session> session,
               const Timeouts& timeouts, PoolSettings settings)
      : pool_(std::move(pool)),
        session_(std::move(session)),
        timeouts_(timeouts),
        settings_(settings) {}
  ~PgConnection() override;
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  std::vector<ResultSet> execute(std::string_view statement) override;
  std::vector<Parameter> parameters(std::string_view procedure) override;
  CallResult call(std::string_view procedure, const std::vector<Value>& values) override;
  void watch(ClientWatch* client) override;

  int backend_pid() const { return session_->backend_pid(); }
  // Round trips the connection made so far (the connection now under the request).
  uint64_t round_trips() const;

 private:
  // The session for the next call: a new one when the last call lost the connection.
  Session& live();

  std::shared_ptr<Pool> pool_;
  std::unique_ptr<Session> session_;
  Timeouts timeouts_;
  PoolSettings settings_;
  ClientWatch* client_ = nullptr;
  // The routines parameters() described, by name: call() finds its values at their positions.
  std::map<std::string, RoutinePtr> described_;
};

}  // namespace talwen::db::postgres
