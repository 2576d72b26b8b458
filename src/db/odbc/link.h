// Link: one physical ODBC connection, owned by a pool or by one request, and the ODBC
// environment it lives in.
//
// Every statement gets a handle of its own, freed when the statement is done, so a link
// given back holds no open statement. Failures are thrown as OdbcError, carrying the driver's
// diagnostics; a failure that shows the connection gone marks the link broken, and a broken
// link is never used again. A Link is used by one thread at a time; the Environment by all.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/hangup_watcher.h"
#include "db/odbc/results.h"
#include "db/odbc/routine.h"
#include "db/odbc/target.h"

namespace talwen::db::odbc {

class OdbcError : public DbError {
 public:
  OdbcError(const std::vector<Diagnostic>& records, int32_t number)
      : DbError(ErrorOf(records, number)), records_(records) {}
  const std::vector<Diagnostic>& records() const { return records_; }

 private:
  std::vector<Diagnostic> records_;
};

// The diagnostics an ODBC handle holds after a failure.
std::vector<Diagnostic> DiagnosticsOf(SQLSMALLINT handle_type, SQLHANDLE handle);

class Environment {
 public:
  Environment();  // throws DbError
  ~Environment();
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  SQLHENV get() const { return env_; }
  // The drivers the driver manager knows.
  std::vector<InstalledDriver> Drivers();

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  std::mutex mutex_;  // SQLDrivers walks a list kept in the handle
};

class Link {
 public:
  // Connect. Throws DbError (kErrorGeneric) with the driver's description.
  static std::unique_ptr<Link> Open(Environment& env, const Target& target);
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Run statement text as it is; every result in order. Throws OdbcError.
  std::vector<ResultSet> Execute(std::string_view sql, std::chrono::seconds timeout);
  // The SQLProcedureColumns rows of a procedure name. Throws OdbcError.
  std::vector<ProcedureColumn> ProcedureColumns(const RoutineName& name,
                                                std::chrono::seconds timeout);
  // Call a routine with one value per position (position 0 is ignored). Throws OdbcError.
  CallResult Call(const Routine& routine, const std::vector<Value>& values,
                  std::chrono::seconds timeout);

  // After a failed call: roll back a transaction that a procedure left open, so the link goes
  // back as clean as it came (SQL Server keeps a cancelled batch's transaction open).
  void Settle();

  // Can this idle link serve another request? Not when broken or when the driver knows the
  // connection dead.
  bool Reusable();
  // May it go back to the pool? Not when broken. (No call into the driver.)
  bool Returnable() const { return !broken_; }
  bool broken() const { return broken_; }

  // While each statement runs, have watcher watch client (nullptr: none), until told
  // otherwise: when the client goes, the statement is cancelled and fails with
  // kErrorCancelled, and so does every later statement.
  void Watch(ClientWatch* client, HangupWatcher* watcher) {
    client_ = client;
    watcher_ = watcher;
  }

  std::chrono::steady_clock::time_point idle_since;  // when it was last given back

 private:
  friend class Statement;
  Link(SQLHDBC dbc, Dialect dialect) : dbc_(dbc), dialect_(dialect) {}
  // Throw the failure of an ODBC function on a handle of this link, marking it broken when
  // the connection is gone.
  [[noreturn]] void Fail(SQLSMALLINT handle_type, SQLHANDLE handle);

  SQLHDBC dbc_;
  Dialect dialect_;
  bool connected_ = false;
  bool broken_ = false;
  ClientWatch* client_ = nullptr;
  HangupWatcher* watcher_ = nullptr;
  std::string pattern_escape_;  // the driver's escape for "_" and "%" in catalog searches
  bool escape_known_ = false;
};

}  // namespace talwen::db::odbc
