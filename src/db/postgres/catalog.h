// Catalog: what the bridge knows of the database's routines, looked up in pg_proc.
//
// A routine is a procedure (CALLed) or a function (selected from). Its parameters, in
// declared order, carry name, mode, type and whether a default covers them. From them follow
// the positions the engine sees: position 0 the return value (an INOUT or OUT parameter named
// return_value), positions 1..n the other parameters in declared order, cursors left out (a
// procedure's refcursor outputs are its result sets, not values).
//
// RoutineCache keeps the routines of one database (one connection target), shared by all of
// its sessions and threads; entries are replaced whole, so a routine in use never changes.
// Each session remembers what it was given, so a call finds its routine without the shared
// lock. A description keeps its identity (and generation) for as long as the routine stays
// the same, and the statements a session prepared for it stay valid that long.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/postgres/call_statement.h"
#include "db/postgres/session.h"

namespace talwen::db::postgres {

enum class Mode { kIn, kOut, kInOut, kVariadic, kTable };

struct RoutineParameter {
  std::string name;  // as declared; "" for an unnamed parameter
  Mode mode = Mode::kIn;
  uint32_t type = 0;
  std::string type_name;      // the type as statement text ("integer", "character varying")
  bool numeric_type = false;  // of the numeric category (integers, numeric, floats, money)
  bool polymorphic = false;   // a pseudo-type (anyelement ...): values are passed uncast
  bool has_default = false;

  bool is_input() const {
    return mode == Mode::kIn || mode == Mode::kInOut || mode == Mode::kVariadic;
  }
  bool is_output() const { return mode == Mode::kOut || mode == Mode::kInOut; }
  bool is_cursor_output() const;  // a refcursor the routine hands back
  friend bool operator==(const RoutineParameter&, const RoutineParameter&) = default;
};

struct Routine {
  // Tells descriptions apart: a new one for every lookup that found the routine changed, so
  // statements prepared for an older description are never run for this one.
  uint64_t generation = 0;
  uint32_t oid = 0;
  bool is_procedure = false;
  std::string schema;
  std::string name;
  uint32_t return_type = 0;  // functions
  bool returns_set = false;
  std::vector<RoutineParameter> parameters;  // all, in declared order

  // Derived by Finish().
  int return_value = -1;         // index in parameters of return_value, or -1
  std::vector<int> positions;    // index in parameters of positions 1..n
  bool returns_cursors = false;  // has cursors to fetch (needs a transaction)

  // Work out the derived members from the parameters.
  void Finish();
  // The engine's view: "@RETURN_VALUE" then "@name" for each position.
  std::vector<Parameter> EngineParameters() const;
  // Does the statement form's argument count fit (not too many, no required input missing)?
  bool Accepts(size_t argument_count) const;
  // Same definition (the object id alone does not tell a replaced routine).
  bool SameAs(const Routine& other) const;
  std::string display_name() const { return schema + "." + name; }
};

using RoutinePtr = std::shared_ptr<const Routine>;

// Do both lists describe the same routines, in the same order?
bool SameRoutines(const std::vector<RoutinePtr>& a, const std::vector<RoutinePtr>& b);

// The routines of one name: every overload in the first schema of the search path that has
// one (or in the named schema). Empty when there is none.
std::vector<RoutinePtr> LookUpRoutines(Session& session, const RoutineName& name);

class RoutineCache {
 public:
  // Entries older than lifetime are looked up again, so a change that makes no call fail (a
  // new optional parameter, a renamed output) is seen within that time.
  explicit RoutineCache(std::chrono::seconds lifetime = std::chrono::seconds(60))
      : lifetime_(lifetime) {}

  // The cached routines of name, looking them up on first use or when the entry is old. An
  // unknown name is not remembered, so a routine created later is found on the next call.
  std::vector<RoutinePtr> Get(Session& session, const RoutineName& name);
  // Look name up again and remember the answer. Routines found unchanged keep the
  // descriptions the cache had.
  std::vector<RoutinePtr> Refresh(Session& session, const RoutineName& name);

 private:
  const std::chrono::seconds lifetime_;
  std::mutex mutex_;
  std::map<std::string, KnownRoutines, std::less<>> entries_;  // by RoutineName::text()
};

}  // namespace talwen::db::postgres
