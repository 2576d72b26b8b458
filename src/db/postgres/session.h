// Session: one physical connection to the server, owned by a pool or by one request.
//
// It wraps libpq's connection and results in RAII types and sends every statement through one
// door, RoundTrip: a batch of statements sent together in libpq's pipeline mode and answered
// together, so a call costs as few network round trips as its statements allow. Statements
// that recur (a routine's call of one shape) are prepared once per connection under a key and
// then run by name. Failures become the engine's errors: a lost connection is kErrorGeneric
// (and marks the session broken), a cancelled statement (the command time-out) kErrorTimeout,
// anything else the server refuses kErrorStatement, each with the server's message and
// SQLSTATE. While a client watch is set, the wait for the server also watches the client:
// when it goes, the statement is cancelled and fails with kErrorCancelled, and so does every
// later round trip. A Session is used by one thread at a time.
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/client_watch.h"
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
      : DbError(number, description, std::move(sqlstate)) {}
  const std::string& sqlstate() const { return code(); }
};

struct Routine;

// Routines of one name as a lookup found them (catalog.h), and when.
struct KnownRoutines {
  std::vector<std::shared_ptr<const Routine>> routines;
  std::chrono::steady_clock::time_point looked_up;
};

// libpq's connection keywords and values, in order.
using ConnectParams = std::vector<std::pair<std::string, std::string>>;

// One statement of a round trip.
struct Statement {
  // The statement. For a prepared one it is needed only the first time the session meets the
  // key (see Session::Prepared); it may be empty after that.
  std::string text;
  // Not empty: prepare the statement once per session under this key and run it by name.
  std::string key;
  std::span<const char* const> values = {};  // $1, $2, ... as text; nullptr is Null
};

class Session {
 public:
  // Connect and prepare the session. Throws DbError (kErrorGeneric) with the server's message.
  static std::unique_ptr<Session> Open(const ConnectParams& params, const Timeouts& timeouts);

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Send the statements as one round trip and return one result per statement. Each runs in
  // the transaction the session is in, or on its own (a batch outside BEGIN is one implicit
  // transaction: a failure undoes the statements before it). When one fails the server skips
  // the rest; once every answer is in, the first failure is thrown as ServerError.
  std::vector<Result> RoundTrip(std::span<const Statement> statements);
  // Has this session prepared the statement of this key?
  bool Prepared(std::string_view key) const;

  // Run one statement with text parameters (nullptr is Null). Throws ServerError.
  Result Run(std::string_view sql, std::span<const char* const> params = {});
  // Run a statement of our own that must succeed (SET ...). Throws ServerError.
  void Command(std::string_view sql) { Run(sql); }
  // End a failed transaction, if the connection still stands.
  void Rollback();

  // Can this idle session serve another call? False when it is not Returnable, or when the
  // server sent something unasked (it does so before it closes a terminated or shut-down
  // backend's connection).
  bool Reusable();
  // May it go back to the pool: not lost, and no transaction open? (No I/O.)
  bool Returnable() const;
  bool broken() const { return broken_; }

  // Watch this client during the waits for the server (nullptr: none), until told otherwise.
  void Watch(ClientWatch* client) {
    client_ = client;
    waiter_ = client ? client->waiter() : nullptr;
  }

  // Apply the command time-out as the statement time-out (when it differs from the current).
  void SetCommandTimeout(std::chrono::seconds timeout);

  int money_digits() const { return money_digits_; }
  int backend_pid() const { return PQbackendPID(conn_.get()); }
  // Round trips made so far (each batch sent and answered, connecting not counted).
  uint64_t round_trips() const { return round_trips_; }

  std::chrono::steady_clock::time_point idle_since;  // when it was last given back
  // The routines this connection called, by name, as the pool's cache gave them.
  std::unordered_map<std::string, KnownRoutines> known_routines;

 private:
  struct ConnDeleter {
    void operator()(PGconn* conn) const { PQfinish(conn); }
  };

  explicit Session(PGconn* conn) : conn_(conn) {}
  // The next result of the batch in flight; null between statements.
  Result Next();
  [[noreturn]] void Fail(const PGresult* result);

  // The client has gone: ask the server to cancel the statement running.
  void Cancel();

  std::unique_ptr<PGconn, ConnDeleter> conn_;
  bool broken_ = false;
  ClientWatch* client_ = nullptr;
  Waiter* waiter_ = nullptr;  // how the waits for the server are made (nullptr: poll(2))
  bool cancelled_ = false;    // this round trip's statement was cancelled for the client
  int money_digits_ = 2;
  std::chrono::seconds command_timeout_{-1};
  uint64_t round_trips_ = 0;
  // The statements prepared on this connection: key -> statement name.
  std::unordered_map<std::string, std::string> prepared_;
  uint64_t statements_named_ = 0;
};

// Quote an identifier for statement text: "name", inner quotes doubled.
std::string QuoteIdentifier(std::string_view name);

}  // namespace talwen::db::postgres
