// Routine: a stored procedure as SQLProcedureColumns describes it, and how it is called.
//
// Position 0 is the return value ("@RETURN_VALUE", Null when the routine has none), positions
// 1..n the parameters in declared order under their "@" names (a driver that reports names
// without "@" gets one added). The call is ODBC's escape, `{? = call name(?, ...)}`, with
// every parameter bound, so the driver sends it the way the server runs procedures.
//
// RoutineCache keeps the routines of one connection target, shared by its connections and
// threads; entries are replaced whole, so a routine in use never changes under its caller.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/odbc/odbc_values.h"
#include "db/odbc/target.h"

namespace talwen::db::odbc {

// A procedure name as the caller wrote it, split at its dots: [[catalog.]schema.]name.
struct RoutineName {
  std::string catalog, schema, name;
  std::string text;  // as written, for the call and for messages
};

// Throws DbError (kErrorStatement) for a name that is not a dotted run of identifiers.
RoutineName ParseRoutineName(std::string_view text);

// One row of SQLProcedureColumns.
struct ProcedureColumn {
  std::string schema;
  std::string procedure;  // SQL Server adds ";1", the procedure's group number
  std::string name;
  SQLSMALLINT column_type = SQL_PARAM_INPUT;  // SQL_PARAM_INPUT, ..., SQL_RETURN_VALUE
  SqlType type;
};

struct RoutineParameter {
  Parameter parameter;  // name, direction, type code
  SqlType type;
};

struct Routine {
  std::string name;  // as the caller wrote it
  bool has_return_value = false;
  std::vector<RoutineParameter> parameters;  // position 0 the return value, then in order

  std::vector<Parameter> EngineParameters() const;
  // `{? = call name(?, ?)}`, or `{call name(?, ?)}` without a return value.
  std::string CallText() const;
  friend bool operator==(const Routine& a, const Routine& b);
};

using RoutinePtr = std::shared_ptr<const Routine>;

// The routine the rows describe. Rows of other procedures whose names the driver's pattern
// search also matched are left out; when an unqualified name is found in several schemas,
// "dbo" is taken, then "public", then the first the driver listed.
Routine RoutineOf(const RoutineName& name, const std::vector<ProcedureColumn>& rows);

// The values of a call made by one description, moved to the positions of another (by name,
// so a parameter inserted or moved keeps its value). Values without a place are dropped.
std::vector<Value> ValuesFor(const Routine& from, const std::vector<Value>& values,
                             const Routine& to);

class RoutineCache {
 public:
  // Entries older than lifetime are looked up again, so a change that fails no call (a new
  // optional parameter) is seen within that time.
  explicit RoutineCache(std::chrono::seconds lifetime = std::chrono::seconds(60))
      : lifetime_(lifetime) {}

  // The cached routine of name, or the one `look_up` finds (which is then remembered).
  RoutinePtr Get(const RoutineName& name, const std::function<Routine()>& look_up);
  // Look name up again and remember the answer.
  RoutinePtr Refresh(const RoutineName& name, const std::function<Routine()>& look_up);

 private:
  struct Entry {
    RoutinePtr routine;
    std::chrono::steady_clock::time_point looked_up;
  };

  const std::chrono::seconds lifetime_;
  std::mutex mutex_;
  std::map<std::string, Entry> entries_;  // by the name as written, lower case
};

}  // namespace talwen::db::odbc
