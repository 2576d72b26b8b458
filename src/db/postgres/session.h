// Session: one physical connection to the server, owned by a pool or by one request.
//
// It wraps libpq's connection and results in RAII types, runs statements with text
// parameters, and turns failures into the engine's errors: a lost connection is
// kErrorGeneric (and marks the session broken), a cancelled statement (the command time-out)
// kErrorTimeout, anything else the server refuses kErrorStatement, each with the server's
// message. A Session is used by one thread at a time.
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/connection.h"

namespace talwen::db::postgres {

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// A statement error with the server's SQLSTATE code, for callers that tell errors apart.
class ServerError : public DbError {
 public:
  ServerError(int32_t number, const std::string& description, std::string sqlstate)
      : DbError(number, description), sqlstate_(std::move(sqlstate)) {}
  const std::string& sqlstate() const { return sqlstate_; }

 private:
  std::string sqlstate_;
};

// libpq's connection keywords and values, in order.
using ConnectParams = std::vector<std::pair<std::string, std::string>>;

class Session {
 public:
  // Connect and prepare the session. Throws DbError (kErrorGeneric) with the server's message.
  static std::unique_ptr<Session> Open(const ConnectParams& params, const Timeouts& timeouts);

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Run sql with text parameters (nullptr is Null). Throws ServerError.
  Result Run(const std::string& sql, const std::vector<const char*>& params = {});
  // Run a statement of our own that must succeed (BEGIN, COMMIT, SET ...). Throws ServerError.
  void Command(const std::string& sql) { Run(sql); }
  // End a failed transaction, if the connection still stands.
  void Rollback();

  // Can this idle session serve another call? False when the connection was lost, a
  // transaction is open, or the server sent something unasked (it does so before it closes
  // a terminated or shut-down backend's connection).
  bool Reusable();
  bool broken() const { return broken_; }

  // Apply the command time-out as the statement time-out (when it differs from the current).
  void SetCommandTimeout(std::chrono::seconds timeout);

  int money_digits() const { return money_digits_; }
  int backend_pid() const { return PQbackendPID(conn_.get()); }

  std::chrono::steady_clock::time_point idle_since;  // when it was last given back

 private:
  struct ConnDeleter {
    void operator()(PGconn* conn) const { PQfinish(conn); }
  };

  explicit Session(PGconn* conn) : conn_(conn) {}
  [[noreturn]] void Fail(const PGresult* result);

  std::unique_ptr<PGconn, ConnDeleter> conn_;
  bool broken_ = false;
  int money_digits_ = 2;
  std::chrono::seconds command_timeout_{-1};
};

// Quote an identifier for statement text: "name", inner quotes doubled.
std::string QuoteIdentifier(std::string_view name);

}  // namespace talwen::db::postgres
