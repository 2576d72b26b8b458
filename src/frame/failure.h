// Failure: why a request failed, told without changing its reply.
//
// Beside the reply the pages parse, a failed request carries a short reason that is safe to
// show anyone, because it holds no value the request sent and no text of a server ("timeout",
// "database error 23505", "bad number in qty"): the gateway sends it in the Talwen-Error
// header and writes it in the access log. The full description goes to the server's log and,
// in the DETAIL modes, to the trace log. The first failure of a request is the one told: a
// time-out that leaves a grid without rows is a time-out, not a missing row.
#pragma once

#include <exception>
#include <string>

#include "db/connection.h"
#include "frame/session.h"

namespace talwen {

struct Failure {
  enum Kind {
    kNone,      // nothing failed
    kDatabase,  // the database refused, timed out, or could not be reached
    kEngine,    // the request or the handler: a bad input, an unknown function, a bug
    kBusy,      // no database connection was free in time: the call did not start
    kGone,      // the client went away during the call, which was cancelled
  };
  Kind kind = kNone;
  std::string reason;  // short and safe; "" when nothing failed
  std::string detail;  // the full description
  int32_t number = 0;  // a database failure's error number (db/connection.h)
  std::string code;    // a database failure's own code (SQLSTATE, server error number)
  // The handler answered anyway with a reply of its own (a status reply, say): the reply
  // tells the page, and no reason goes with it.
  bool answered = false;

  static Failure Of(Kind kind, std::string reason, std::string detail) {
    Failure f;
    f.kind = kind;
    f.reason = std::move(reason);
    f.detail = std::move(detail);
    return f;
  }
};

// What an exception that ended (or, in the grid form, interrupted) a handler says about the
// request. A handler that read past the rows the database returned has not failed: kind
// kNone, with the description as detail. The session finds the key of a bad input.
Failure FailureOf(const std::exception& e, const Session& session);

// The failure of a database error.
Failure FailureOf(const db::DbError& e);

}  // namespace talwen
