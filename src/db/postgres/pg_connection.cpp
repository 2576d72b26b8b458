#include "db/postgres/pg_connection.h"

#include <algorithm>

#include "base/text.h"
#include "db/postgres/call_plan.h"
#include "db/postgres/call_statement.h"
#include "db/postgres/catalog.h"
#include "db/postgres/pg_values.h"

namespace talwen::db::postgres {
namespace {

constexpr uint32_t kOidVoid = 2278;

// SQLSTATEs of a call that no longer fits the routine it was built for: no routine of that
// signature, a procedure that became a function or back, an ambiguous call, a missing type
// or schema, and a prepared statement whose result columns changed with the routine.
bool is_stale(std::string_view sqlstate) {
  return sqlstate == "42883" || sqlstate == "42809" || sqlstate == "42725" || sqlstate == "42704" ||
         sqlstate == "3F000" || sqlstate == "0A000";
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

// Run a call in as few round trips as it allows: a routine without cursors in one, its
// statement alone (one implicit transaction); one handing back cursors in two, BEGIN with the
// call, then every FETCH ALL with the COMMIT. Statements are prepared once per connection.
Outcome run(Session& session, const CallPlan& plan) {
  std::vector<const char*> values;
  values.reserve(plan.values.size());
  for (const std::string& v : plan.values) values.push_back(v.c_str());
  Statement call{{}, plan.key(), values};
  if (!session.Prepared(call.key)) call.text = plan.text();
  try {
    std::vector<Result> results;
    if (plan.in_transaction) {
      const Statement first[] = {{"BEGIN", "BEGIN"}, std::move(call)};
      results = session.RoundTrip(first);
    } else {
      results = session.RoundTrip({&call, 1});
    }
    const PGresult* r = results.back().get();
    Outcome out;
    std::vector<std::string> cursors;
    if (plan.routine->is_procedure) {
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
    if (!cursors.empty() && !plan.in_transaction) {
      throw RoutineChanged(plan.routine->display_name());
    }
    if (plan.in_transaction) {
      std::vector<Statement> second;
      second.reserve(cursors.size() + 1);
      for (const std::string& cursor : cursors) {
        second.push_back({"FETCH ALL FROM " + QuoteIdentifier(cursor), {}});
      }
      second.push_back({"COMMIT", "COMMIT"});
      const std::vector<Result> fetched = session.RoundTrip(second);
      for (size_t i = 0; i < cursors.size(); ++i) {
        out.result_sets.push_back(result_set_of(fetched[i].get(), session.money_digits()));
      }
    }
    return out;
  } catch (...) {
    session.Rollback();
    throw;
  }
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
    if (fresh.empty() || SameRoutines(fresh, routines)) throw;
    return attempt(fresh);
  }
}

}  // namespace

PgConnection::~PgConnection() {
  pool_->GiveBack(std::move(session_), settings_);
}

Session& PgConnection::live() {
  // The call that met a lost connection has failed; the next ones get a new session.
  if (session_->broken()) {
    session_ = pool_->Checkout(timeouts_);
    session_->Watch(client_);
  }
  return *session_;
}

void PgConnection::watch(ClientWatch* client) {
  client_ = client;
  session_->Watch(client);
}

std::vector<ResultSet> PgConnection::execute(std::string_view statement) {
  const CallStatement call = ParseCallStatement(statement);
  Session& session = live();
  Outcome out = with_routines(session, pool_->routines(), call.routine,
                              [&](const std::vector<RoutinePtr>& routines) {
                                return run(session, StatementPlan(routines, call));
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
  OnlyOne(routines);
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
        const Routine& r = OnlyOne(routines);
        const Routine& shape = described ? *described : r;
        Outcome out = run(session, ParameterPlan(r, shape, values));

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

uint64_t PgConnection::round_trips() const {
  return session_->round_trips();
}

}  // namespace talwen::db::postgres
