// CallPlan: the statement one call of a routine runs, built from the routine's description and
// the call's values, apart from running it (no database needed).
//
// A call passes each parameter in one of four ways, written as one letter per parameter:
//
//   'd'  not passed: the routine's default        'n'  Null
//   't'  a text value                              'v'  a number value (cast through numeric)
//
// These letters, the call's shape, settle the statement text together with the routine alone;
// the values travel as parameters ($1, $2, ...). So one routine's calls of one shape share one
// statement, which a connection prepares once (key() names it). The text itself is built only
// when a connection meets the shape for the first time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/postgres/call_statement.h"
#include "db/postgres/catalog.h"
#include "db/value.h"

namespace talwen::db::postgres {

struct CallPlan {
  const Routine* routine = nullptr;  // the routine called; it outlives the plan
  // true: arguments cast to their parameters' types, by name when every parameter passed has
  // one; false: arguments by position without casts (numbers as numeric), the server choosing
  // among overloads with the same argument count. Then the shape has one letter per argument.
  bool typed = true;
  std::string shape;
  std::vector<std::string> values;  // $1, $2, ...
  // Run inside BEGIN ... COMMIT: the routine hands back cursors to read before the commit
  // (or, untyped, may do so).
  bool in_transaction = false;

  // "CALL s.r(...)" or "SELECT * FROM s.r(...)".
  std::string text() const;
  // What names the statement among every routine's calls: the routine's description (its
  // generation) and the shape.
  std::string key() const;
};

// The statement form: the statement's arguments fill positions 1, 2, ... of the one routine
// among `routines` (the overloads of one name) that takes that many. Throws DbError
// (kErrorStatement) for a count no overload takes, a missing required input, or a NUL in a
// text.
CallPlan StatementPlan(const std::vector<RoutinePtr>& routines, const CallStatement& call);

// The procedure call form: values[k] for position k of `described` (the routine as the caller
// had it described, matched to r's parameters by name when r has changed since); an Empty
// value leaves the input to its default. Throws DbError for text holding a NUL.
CallPlan ParameterPlan(const Routine& r, const Routine& described,
                       const std::vector<Value>& values);

// The one routine a call by parameters names. Throws DbError (kErrorStatement) when the name
// has overloads.
const Routine& OnlyOne(const std::vector<RoutinePtr>& routines);

}  // namespace talwen::db::postgres
