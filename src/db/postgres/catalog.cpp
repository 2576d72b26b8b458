#include "db/postgres/catalog.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "base/text.h"
#include "db/postgres/pg_values.h"

namespace talwen::db::postgres {
namespace {

// One row per parameter (one row of Nulls for a routine without any), routines of the first
// matching schema first.
constexpr const char* kLookUp = R"(
SELECT p.oid, p.prokind, n.nspname, p.proname, p.prorettype, p.proretset, p.pronargdefaults,
       array_position(current_schemas(true), n.nspname),
       a.name, a.mode, a.type, pg_catalog.format_type(a.type, NULL), t.typcategory
FROM pg_catalog.pg_proc p
JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace
LEFT JOIN LATERAL unnest(coalesce(p.proallargtypes, p.proargtypes::pg_catalog.oid[]),
                         p.proargmodes, p.proargnames)
     WITH ORDINALITY AS a(type, mode, name, ord) ON true
LEFT JOIN pg_catalog.pg_type t ON t.oid = a.type
WHERE p.proname = $1 AND p.prokind IN ('f', 'p')
  AND CASE WHEN $2 = '' THEN n.nspname = ANY (current_schemas(true)) ELSE n.nspname = $2 END
ORDER BY 8, p.oid, a.ord)";

Mode mode_of(std::string_view code) {
  if (code == "o") return Mode::kOut;
  if (code == "b") return Mode::kInOut;
  if (code == "v") return Mode::kVariadic;
  if (code == "t") return Mode::kTable;
  return Mode::kIn;
}

std::atomic<uint64_t> g_generations{0};

uint32_t oid_of(const char* text) {
  return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}

}  // namespace

bool RoutineParameter::is_cursor_output() const {
  return type == kOidRefcursor &&
         (mode == Mode::kOut || mode == Mode::kInOut || mode == Mode::kTable);
}

void Routine::Finish() {
  return_value = -1;
  positions.clear();
  returns_cursors = false;
  bool all_outputs_cursors = true, any_output = false;
  for (const RoutineParameter& p : parameters) {
    if (p.mode == Mode::kOut || p.mode == Mode::kInOut || p.mode == Mode::kTable) {
      any_output = true;
      all_outputs_cursors = all_outputs_cursors && p.type == kOidRefcursor;
    }
  }
  if (is_procedure) {
    for (const RoutineParameter& p : parameters) returns_cursors |= p.is_cursor_output();
  } else {
    returns_cursors = return_type == kOidRefcursor || (any_output && all_outputs_cursors);
  }
  for (size_t i = 0; i < parameters.size(); ++i) {
    const RoutineParameter& p = parameters[i];
    if (p.mode == Mode::kTable) continue;
    if (p.is_cursor_output() && (is_procedure || returns_cursors)) continue;
    if (p.is_output() && return_value < 0 && iequals(p.name, "return_value")) {
      return_value = static_cast<int>(i);
      continue;
    }
    positions.push_back(static_cast<int>(i));
  }
}

std::vector<Parameter> Routine::EngineParameters() const {
  std::vector<Parameter> out;
  Parameter ret{"@RETURN_VALUE", Direction::kReturnValue, kTypeInteger};
  if (return_value >= 0) ret.type = TypeCodeOf(parameters[return_value].type);
  out.push_back(ret);
  for (const int index : positions) {
    const RoutineParameter& p = parameters[index];
    Parameter param{"@" + p.name, Direction::kInput, TypeCodeOf(p.type)};
    if (p.mode == Mode::kOut) param.direction = Direction::kOutput;
    if (p.mode == Mode::kInOut) param.direction = Direction::kInputOutput;
    out.push_back(std::move(param));
  }
  return out;
}

bool Routine::Accepts(size_t argument_count) const {
  if (argument_count > positions.size()) return false;
  for (size_t i = argument_count; i < positions.size(); ++i) {
    const RoutineParameter& p = parameters[positions[i]];
    if (p.is_input() && !p.has_default) return false;
  }
  return true;
}

bool Routine::SameAs(const Routine& other) const {
  return oid == other.oid && is_procedure == other.is_procedure && schema == other.schema &&
         return_type == other.return_type && returns_set == other.returns_set &&
         parameters == other.parameters;
}

std::vector<RoutinePtr> LookUpRoutines(Session& session, const RoutineName& name) {
  const char* const values[] = {name.name.c_str(), name.schema.c_str()};
  const Result rows = session.Run(kLookUp, values);
  PGresult* r = rows.get();
  std::vector<std::shared_ptr<Routine>> found;
  std::vector<int> defaults;  // pronargdefaults of each routine found
  std::string first_rank;
  for (int row = 0; row < PQntuples(r); ++row) {
    const std::string rank = PQgetvalue(r, row, 7);
    if (row == 0) first_rank = rank;
    if (rank != first_rank) break;  // a schema later on the search path
    const uint32_t oid = oid_of(PQgetvalue(r, row, 0));
    if (found.empty() || found.back()->oid != oid) {
      auto routine = std::make_shared<Routine>();
      routine->generation = ++g_generations;
      routine->oid = oid;
      routine->is_procedure = std::string_view(PQgetvalue(r, row, 1)) == "p";
      routine->schema = PQgetvalue(r, row, 2);
      routine->name = PQgetvalue(r, row, 3);
      routine->return_type = oid_of(PQgetvalue(r, row, 4));
      routine->returns_set = std::string_view(PQgetvalue(r, row, 5)) == "t";
      found.push_back(std::move(routine));
      defaults.push_back(std::atoi(PQgetvalue(r, row, 6)));
    }
    if (PQgetisnull(r, row, 10)) continue;  // no parameters at all
    RoutineParameter p;
    p.name = PQgetvalue(r, row, 8);
    p.mode = mode_of(PQgetvalue(r, row, 9));
    p.type = oid_of(PQgetvalue(r, row, 10));
    p.type_name = PQgetvalue(r, row, 11);
    const std::string_view category = PQgetvalue(r, row, 12);
    p.numeric_type = category == "N";
    p.polymorphic = category == "P";
    found.back()->parameters.push_back(std::move(p));
  }

  std::vector<RoutinePtr> routines;
  for (size_t i = 0; i < found.size(); ++i) {
    // The defaults cover the last inputs.
    int remaining = defaults[i];
    auto& params = found[i]->parameters;
    for (auto p = params.rbegin(); p != params.rend() && remaining > 0; ++p) {
      if (!p->is_input()) continue;
      p->has_default = true;
      --remaining;
    }
    found[i]->Finish();
    routines.push_back(std::move(found[i]));
  }
  return routines;
}

bool SameRoutines(const std::vector<RoutinePtr>& a, const std::vector<RoutinePtr>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const RoutinePtr& x, const RoutinePtr& y) { return x->SameAs(*y); });
}

std::vector<RoutinePtr> RoutineCache::Get(Session& session, const RoutineName& name) {
  const std::string key = name.text();
  const auto now = std::chrono::steady_clock::now();
  const auto known = session.known_routines.find(key);
  if (known != session.known_routines.end() && now - known->second.looked_up < lifetime_) {
    return known->second.routines;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(key);
    if (it != entries_.end() && now - it->second.looked_up < lifetime_) {
      session.known_routines[key] = it->second;
      return it->second.routines;
    }
  }
  return Refresh(session, name);
}

std::vector<RoutinePtr> RoutineCache::Refresh(Session& session, const RoutineName& name) {
  const std::string key = name.text();
  KnownRoutines found{LookUpRoutines(session, name), std::chrono::steady_clock::now()};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(key);
    if (found.routines.empty()) {
      if (it != entries_.end()) entries_.erase(it);
    } else if (it == entries_.end()) {
      entries_.emplace(key, found);
    } else {
      if (SameRoutines(it->second.routines, found.routines)) found.routines = it->second.routines;
      it->second = found;
    }
  }
  if (found.routines.empty()) {
    session.known_routines.erase(key);
  } else {
    session.known_routines[key] = found;
  }
  return found.routines;
}

}  // namespace talwen::db::postgres
