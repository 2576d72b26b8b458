// Routines described by hand, as the catalog would describe them, and statement arguments as
// the call bridge's parser gives them, for tests without a server.
#pragma once

#include <string>
#include <vector>

#include "db/postgres/call_statement.h"
#include "db/postgres/catalog.h"
#include "db/postgres/pg_values.h"

namespace talwen::db::postgres::testing {

inline RoutineParameter P(std::string name, Mode mode, uint32_t type = kOidText,
                          bool dflt = false) {
  RoutineParameter p;
  p.name = std::move(name);
  p.mode = mode;
  p.type = type;
  p.has_default = dflt;
  p.type_name = type == kOidInt4        ? "integer"
                : type == kOidNumeric   ? "numeric"
                : type == kOidRefcursor ? "refcursor"
                                        : "text";
  p.numeric_type = type == kOidInt4 || type == kOidNumeric;
  return p;
}

inline Routine Make(bool procedure, std::vector<RoutineParameter> params, uint32_t returns = 0,
                    uint64_t generation = 1) {
  Routine r;
  r.generation = generation;
  r.is_procedure = procedure;
  r.schema = "s";
  r.name = "r";
  r.return_type = returns;
  r.parameters = std::move(params);
  r.Finish();
  return r;
}

inline Argument Text(std::string s) {
  return {Argument::Kind::kText, std::move(s)};
}
inline Argument Number(std::string s) {
  return {Argument::Kind::kNumber, std::move(s)};
}
inline Argument Null() {
  return {Argument::Kind::kNull, ""};
}

}  // namespace talwen::db::postgres::testing
