#include "db/postgres/pg_connection.h"

#include <algorithm>

#include "base/text.h"
#include "db/postgres/call_statement.h"
#include "db/postgres/catalog.h"
#include "db/postgres/pg_values.h"

namespace talwen::db::postgres {
namespace {

constexpr uint32_t kOidVoid = 2278;

// SQLSTATEs of a call that no longer fits the routine it was built for: no routine of that
// signature, a procedure that became a function or back, an ambiguous call, a missing type
// or schema.
bool is_stale(std::string_view sqlstate) {
  return sqlstate == "42883" || sqlstate == "42809" || sqlstate == "42725" || sqlstate == "42704" ||
         sqlstate == "3F000";
}

// A routine handed back cursors that the cached description did not announce, outside a
// transaction, so they were closed before they could be read.
class RoutineChanged : public DbError {
 public:
  explicit RoutineChanged(const std::string& routine)
      : DbError(kErrorStatement, "The routine " + routine +
                                     " changed while it was called; its result sets could not "
                                     "be read.") {}
};

[[noreturn]] void unknown_routine(const RoutineName& name) {
  throw DbError(kErrorStatement, "Could not find stored procedure '" + name.text() + "'.");
}

// What one call passes for one parameter.
struct Pass {
  enum class Kind { kOmit, kNull, kValue };  // kOmit: the routine's default
  Kind kind = Kind::kOmit;
  BoundText value;
};

// A call made ready: its statement text and parameter values.
struct Plan {
  std::string routine;  // schema.name, for messages
  std::string sql;
  std::vector<std::string> values;  // $1, $2, ...
  bool is_procedure = false;
  bool in_transaction = false;
};

// What a call gave back: its result sets and its output values by name.
struct Outcome {
  std::vector<ResultSet> result_sets;
  std::vector<std::pair<std::string, Value>> outputs;

  const Value* output(std::string_view name) const {
    for (const auto& [n, v] : outputs) {
      if (iequals(n, name)) return &v;
    }
    return nullptr;
  }
};

// Every parameter's pass before any value is given: its default where it has one, else Null.
std::vector<Pass> default_passes(const Routine& r) {
  std::vector<Pass> passes(r.parameters.size());
  for (size_t i = 0; i < passes.size(); ++i) {
    if (!r.parameters[i].has_default) passes[i].kind = Pass::Kind::kNull;
  }
  return passes;
}

std::string target_of(std::string_view schema, std::string_view name) {
  return QuoteIdentifier(schema) + "." + QuoteIdentifier(name);
}

// The call of a routine whose parameters are known: every value cast to its parameter's
// type, by name when all the parameters passed have names (so any input may be skipped), by
// position otherwise (a skipped input before a given one is then Null).
Plan typed_plan(const Routine& r, const std::vector<Pass>& passes) {
  Plan plan;
  plan.routine = r.display_name();
  plan.is_procedure = r.is_procedure;
  plan.in_transaction = r.returns_cursors;

  std::vector<size_t> passable;  // a procedure takes all its parameters, a function its inputs
  bool named = true;
  for (size_t i = 0; i < r.parameters.size(); ++i) {
    if (!r.is_procedure && !r.parameters[i].is_input()) continue;
    passable.push_back(i);
    if (passes[i].kind != Pass::Kind::kOmit && r.parameters[i].name.empty()) named = false;
  }
  size_t end = passable.size();
  if (!named) {
    while (end > 0 && passes[passable[end - 1]].kind == Pass::Kind::kOmit) --end;
  }

  std::string args;
  for (size_t k = 0; k < end; ++k) {
    const RoutineParameter& p = r.parameters[passable[k]];
    const Pass& pass = passes[passable[k]];
    if (named && pass.kind == Pass::Kind::kOmit) continue;
    if (!args.empty()) args += ", ";
    if (p.mode == Mode::kVariadic) args += "VARIADIC ";
    if (named) args += QuoteIdentifier(p.name) + " => ";
    if (pass.kind == Pass::Kind::kValue) {
      plan.values.push_back(pass.value.text);
      args += "$" + std::to_string(plan.values.size());
      // Numbers go through numeric, so 12.5 reaches an integer parameter rounded, as a
      // number would, rather than refused as text.
      if (pass.value.is_number && (p.numeric_type || p.polymorphic)) args += "::numeric";
    } else {
      args += "NULL";
    }
    if (!p.polymorphic) args += "::" + p.type_name;
  }
  const std::string target = target_of(r.schema, r.name);
  plan.sql = (r.is_procedure ? "CALL " : "SELECT * FROM ") + target + "(" + args + ")";
  return plan;
}

// The call of an overloaded routine that the argument count does not settle: arguments by
// position without casts (numbers as numeric), the database choosing the overload.
Plan untyped_plan(const Routine& any, const std::vector<Argument>& arguments) {
  Plan plan;
  plan.routine = any.display_name();
  plan.is_procedure = any.is_procedure;
  plan.in_transaction = true;  // which overload answers, and whether it hands back cursors,
                               // is known only afterwards
  std::string args;
  for (const Argument& a : arguments) {
    if (!args.empty()) args += ", ";
    if (a.kind == Argument::Kind::kNull) {
      args += "NULL";
      continue;
    }
    plan.values.push_back(a.text);
    args += "$" + std::to_string(plan.values.size());
    if (a.kind == Argument::Kind::kNumber) args += "::numeric";
  }
  const std::string target = target_of(any.schema, any.name);
  plan.sql = (any.is_procedure ? "CALL " : "SELECT * FROM ") + target + "(" + args + ")";
  return plan;
}

ResultSet result_set_of(const PGresult* r, int money_digits) {
  ResultSet set;
  const int columns = PQnfields(r);
  std::vector<uint32_t> types(columns);
  for (int c = 0; c < columns; ++c) {
    types[c] = PQftype(r, c);
    set.columns.push_back({PQfname(r, c), TypeCodeOf(types[c])});
  }
  const int rows = PQntuples(r);
  set.rows.reserve(rows);
  for (int row = 0; row < rows; ++row) {
    Row values;
    values.reserve(columns);
    for (int c = 0; c < columns; ++c) {
      if (PQgetisnull(r, row, c)) {
        values.push_back(Value::null());
      } else {
        values.push_back(ValueOf(types[c],
                                 std::string_view(PQgetvalue(r, row, c), PQgetlength(r, row, c)),
                                 money_digits));
      }
    }
    set.rows.push_back(std::move(values));
  }
  return set;
}

bool all_cursors(const PGresult* r) {
  const int columns = PQnfields(r);
  for (int c = 0; c < columns; ++c) {
    if (PQftype(r, c) != kOidRefcursor) return false;
  }
  return columns > 0;
}

Outcome run(Session& session, const Plan& plan) {
  std::vector<const char*> params;
  for (const std::string& v : plan.values) params.push_back(v.c_str());
  if (plan.in_transaction) session.Command("BEGIN");
  try {
    const Result result = session.Run(plan.sql, params);
    const PGresult* r = result.get();
    Outcome out;
    std::vector<std::string> cursors;
    if (plan.is_procedure) {
      // One row: the output parameters, cursors among them.
      for (int c = 0; PQntuples(r) > 0 && c < PQnfields(r); ++c) {
        const bool null = PQgetisnull(r, 0, c);
        if (PQftype(r, c) == kOidRefcursor) {
          if (!null) cursors.emplace_back(PQgetvalue(r, 0, c));
        } else {
          out.outputs.emplace_back(
              PQfname(r, c),
              null ? Value::null()
                   : ValueOf(PQftype(r, c),
                             std::string_view(PQgetvalue(r, 0, c), PQgetlength(r, 0, c)),
                             session.money_digits()));
        }
      }
    } else if (PQnfields(r) == 1 && PQftype(r, 0) == kOidVoid) {
      // A function returning nothing.
    } else if (all_cursors(r)) {
      for (int row = 0; row < PQntuples(r); ++row) {
        for (int c = 0; c < PQnfields(r); ++c) {
          if (!PQgetisnull(r, row, c)) cursors.emplace_back(PQgetvalue(r, row, c));
        }
      }
    } else {
      ResultSet set = result_set_of(r, session.money_digits());
      if (!set.rows.empty()) {
        for (size_t c = 0; c < set.columns.size(); ++c) {
          out.outputs.emplace_back(set.columns[c].name, set.rows[0][c]);
        }
      }
      out.result_sets.push_back(std::move(set));
    }
    if (!cursors.empty() && !plan.in_transaction) throw RoutineChanged(plan.routine);
    for (const std::string& cursor : cursors) {
      const Result rows = session.Run("FETCH ALL FROM " + QuoteIdentifier(cursor));
      out.result_sets.push_back(result_set_of(rows.get(), session.money_digits()));
    }
    if (plan.in_transaction) session.Command("COMMIT");
    return out;
  } catch (...) {
    session.Rollback();
    throw;
  }
}

bool same_routines(const std::vector<RoutinePtr>& a, const std::vector<RoutinePtr>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const RoutinePtr& x, const RoutinePtr& y) { return x->SameAs(*y); });
}

// Make a call with the routines of name. When it fails because the routine changed since it
// was looked up (or appeared), look the name up again and, if that found something new, make
// the call once more: a failed call has done nothing, so nothing runs twice.
template <typename Attempt>
auto with_routines(Session& session, RoutineCache& cache, const RoutineName& name,
                   Attempt attempt) {
  const std::vector<RoutinePtr> routines = cache.Get(session, name);
  if (routines.empty()) unknown_routine(name);
  try {
    return attempt(routines);
  } catch (const RoutineChanged&) {
    cache.Refresh(session, name);
    throw;
  } catch (const ServerError& e) {
    if (session.broken() || !is_stale(e.sqlstate())) throw;
    const std::vector<RoutinePtr> fresh = cache.Refresh(session, name);
    if (fresh.empty() || same_routines(fresh, routines)) throw;
    return attempt(fresh);
  }
}

const Routine& only_one(const std::vector<RoutinePtr>& routines) {
  if (routines.size() != 1) {
    throw DbError(kErrorStatement, "The routine " + routines.front()->display_name() + " has " +
                                       std::to_string(routines.size()) +
                                       " overloads; a call by parameters needs exactly one.");
  }
  return *routines.front();
}

// The statement form: the arguments fill positions 1, 2, ... of the routine.
Plan statement_plan(const std::vector<RoutinePtr>& routines, const CallStatement& call) {
  const size_t n = call.arguments.size();
  const Routine* r = routines.front().get();
  if (routines.size() > 1) {
    std::vector<const Routine*> fitting;
    for (const RoutinePtr& candidate : routines) {
      if (candidate->Accepts(n)) fitting.push_back(candidate.get());
    }
    if (fitting.empty()) {
      throw DbError(kErrorStatement, "No overload of the routine " + r->display_name() + " takes " +
                                         std::to_string(n) + " arguments.");
    }
    if (fitting.size() > 1) {
      for (const Routine* candidate : fitting) {
        if (candidate->is_procedure != fitting.front()->is_procedure) {
          throw DbError(kErrorStatement, "The call of " + r->display_name() +
                                             " fits both a procedure and a function.");
        }
      }
      return untyped_plan(*fitting.front(), call.arguments);
    }
    r = fitting.front();
  }

  if (n > r->positions.size()) {
    const size_t most = r->positions.size();
    throw DbError(kErrorStatement,
                  "The routine " + r->display_name() + " takes at most " + std::to_string(most) +
                      (most == 1 ? " argument; " : " arguments; ") + std::to_string(n) +
                      (n == 1 ? " was given." : " were given."));
  }
  std::vector<Pass> passes = default_passes(*r);
  for (size_t k = 0; k < r->positions.size(); ++k) {
    const RoutineParameter& p = r->parameters[r->positions[k]];
    Pass& pass = passes[r->positions[k]];
    if (k >= n) {
      if (p.is_input() && !p.has_default) {
        throw DbError(kErrorStatement, "The routine " + r->display_name() +
                                           " needs a value for its parameter " + p.name + ".");
      }
      continue;
    }
    if (p.mode == Mode::kOut) continue;  // an output only: the value is not used
    const Argument& a = call.arguments[k];
    if (a.kind == Argument::Kind::kNull) {
      pass.kind = Pass::Kind::kNull;
      continue;
    }
    if (a.text.find('\0') != std::string::npos) {
      throw DbError(kErrorStatement,
                    "A text argument holds a NUL character, which the database cannot store.");
    }
    pass.kind = Pass::Kind::kValue;
    pass.value = {a.text, a.kind == Argument::Kind::kNumber};
  }
  return typed_plan(*r, passes);
}

int index_by_name(const Routine& r, std::string_view name) {
  for (size_t i = 0; i < r.parameters.size(); ++i) {
    if (iequals(r.parameters[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

PgConnection::~PgConnection() {
  pool_->GiveBack(std::move(session_), settings_);
}

Session& PgConnection::live() {
  // The call that met a lost connection has failed; the next ones get a new session.
  if (session_->broken()) session_ = pool_->Checkout(timeouts_);
  return *session_;
}

std::vector<ResultSet> PgConnection::execute(std::string_view statement) {
  const CallStatement call = ParseCallStatement(statement);
  Session& session = live();
  Outcome out = with_routines(session, pool_->routines(), call.routine,
                              [&](const std::vector<RoutinePtr>& routines) {
                                return run(session, statement_plan(routines, call));
                              });
  // A call without result sets leaves one closed result, as a data-changing statement does.
  if (out.result_sets.empty()) out.result_sets.emplace_back();
  return std::move(out.result_sets);
}

std::vector<Parameter> PgConnection::parameters(std::string_view procedure) {
  const RoutineName name = ParseRoutineName(procedure);
  Session& session = live();
  const std::vector<RoutinePtr> routines = pool_->routines().Get(session, name);
  if (routines.empty()) unknown_routine(name);
  only_one(routines);
  described_[name.text()] = routines.front();
  return routines.front()->EngineParameters();
}

CallResult PgConnection::call(std::string_view procedure, const std::vector<Value>& values) {
  const RoutineName name = ParseRoutineName(procedure);
  Session& session = live();
  // The values stand at the positions of the routine as the caller had it described.
  RoutinePtr described;
  if (const auto it = described_.find(name.text()); it != described_.end()) described = it->second;

  return with_routines(
      session, pool_->routines(), name, [&](const std::vector<RoutinePtr>& routines) {
        const Routine& r = only_one(routines);
        const Routine& shape = described ? *described : r;
        std::vector<Pass> passes = default_passes(r);
        for (size_t k = 1; k < values.size() && k - 1 < shape.positions.size(); ++k) {
          const RoutineParameter& p = shape.parameters[shape.positions[k - 1]];
          const int index =
              &shape == &r || p.name.empty() ? shape.positions[k - 1] : index_by_name(r, p.name);
          if (index >= static_cast<int>(r.parameters.size())) continue;
          if (index < 0 || values[k].is_empty() || r.parameters[index].mode == Mode::kOut) continue;
          const std::optional<BoundText> bound = BindValue(values[k]);
          passes[index].kind = bound ? Pass::Kind::kValue : Pass::Kind::kNull;
          if (bound) passes[index].value = *bound;
        }
        Outcome out = run(session, typed_plan(r, passes));

        CallResult result;
        result.result_sets = std::move(out.result_sets);
        result.values = values;
        result.values.resize(shape.positions.size() + 1);
        result.values[0] = Value::null();
        if (shape.return_value >= 0) {
          if (const Value* v = out.output(shape.parameters[shape.return_value].name)) {
            result.values[0] = *v;
          }
        }
        for (size_t k = 1; k < result.values.size(); ++k) {
          const RoutineParameter& p = shape.parameters[shape.positions[k - 1]];
          if (!p.is_output()) continue;
          const Value* v = out.output(p.name);
          result.values[k] = v ? *v : Value::null();
        }
        return result;
      });
}

}  // namespace talwen::db::postgres
