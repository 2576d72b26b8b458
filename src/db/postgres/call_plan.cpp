#include "db/postgres/call_plan.h"

#include <optional>

#include "base/text.h"
#include "db/connection.h"
#include "db/postgres/pg_values.h"
#include "db/postgres/session.h"

namespace talwen::db::postgres {
namespace {

constexpr char kDefault = 'd';
constexpr char kNull = 'n';
constexpr char kText = 't';
constexpr char kNumber = 'v';

bool passes_value(char letter) {
  return letter == kText || letter == kNumber;
}

// The arguments a typed call writes, in order: a procedure takes all its parameters, a
// function its inputs; by name when every parameter passed has one (so any input may be
// left to its default), by position otherwise (a default before a passed argument is then
// Null). Calls visit(parameter index, named) for each.
template <typename Visit>
void for_each_argument(const Routine& r, std::string_view shape, Visit visit) {
  std::vector<size_t> passable;
  bool named = true;
  for (size_t i = 0; i < r.parameters.size(); ++i) {
    if (!r.is_procedure && !r.parameters[i].is_input()) continue;
    passable.push_back(i);
    if (shape[i] != kDefault && r.parameters[i].name.empty()) named = false;
  }
  size_t end = passable.size();
  if (!named) {
    while (end > 0 && shape[passable[end - 1]] == kDefault) --end;
  }
  for (size_t k = 0; k < end; ++k) {
    if (named && shape[passable[k]] == kDefault) continue;
    visit(passable[k], named);
  }
}

// A typed call under construction: every parameter starts at its default where it has one,
// else Null.
class TypedCall {
 public:
  explicit TypedCall(const Routine& r) : r_(r), texts_(r.parameters.size()) {
    plan_.routine = &r;
    plan_.in_transaction = r.returns_cursors;
    plan_.shape.reserve(r.parameters.size());
    for (const RoutineParameter& p : r.parameters) {
      plan_.shape.push_back(p.has_default ? kDefault : kNull);
    }
  }

  void null(size_t index) { plan_.shape[index] = kNull; }
  void set(size_t index, BoundText value) {
    plan_.shape[index] = value.is_number ? kNumber : kText;
    texts_[index] = std::move(value.text);
  }

  CallPlan finish() && {
    for_each_argument(r_, plan_.shape, [&](size_t index, bool) {
      if (passes_value(plan_.shape[index])) plan_.values.push_back(std::move(texts_[index]));
    });
    return std::move(plan_);
  }

 private:
  const Routine& r_;
  CallPlan plan_;
  std::vector<std::string> texts_;  // by parameter
};

void refuse_nul(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) {
    throw DbError(kErrorStatement,
                  "A text argument holds a NUL character, which the database cannot store.");
  }
}

// An overloaded routine whose argument count does not settle the choice: arguments by
// position, the server choosing. Whether the chosen one hands back cursors is known only
// afterwards, so the call runs in a transaction.
CallPlan untyped_plan(const Routine& any, const std::vector<Argument>& arguments) {
  CallPlan plan;
  plan.routine = &any;
  plan.typed = false;
  plan.in_transaction = true;
  for (const Argument& a : arguments) {
    if (a.kind == Argument::Kind::kNull) {
      plan.shape.push_back(kNull);
      continue;
    }
    refuse_nul(a.text);
    plan.shape.push_back(a.kind == Argument::Kind::kNumber ? kNumber : kText);
    plan.values.push_back(a.text);
  }
  return plan;
}

int index_by_name(const Routine& r, std::string_view name) {
  for (size_t i = 0; i < r.parameters.size(); ++i) {
    if (iequals(r.parameters[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::string CallPlan::text() const {
  const Routine& r = *routine;
  std::string args;
  int bound = 0;
  const auto argument = [&](char letter) {
    if (passes_value(letter)) {
      args += "$" + std::to_string(++bound);
    } else {
      args += "NULL";
    }
  };
  if (!typed) {
    for (const char letter : shape) {
      if (!args.empty()) args += ", ";
      argument(letter);
      if (letter == kNumber) args += "::numeric";
    }
  } else {
    for_each_argument(r, shape, [&](size_t index, bool named) {
      const RoutineParameter& p = r.parameters[index];
      if (!args.empty()) args += ", ";
      if (p.mode == Mode::kVariadic) args += "VARIADIC ";
      if (named) args += QuoteIdentifier(p.name) + " => ";
      argument(shape[index]);
      // Numbers go through numeric, so 12.5 reaches an integer parameter rounded, as a
      // number would, rather than refused as text.
      if (shape[index] == kNumber && (p.numeric_type || p.polymorphic)) args += "::numeric";
      if (!p.polymorphic) args += "::" + p.type_name;
    });
  }
  return (r.is_procedure ? "CALL " : "SELECT * FROM ") + QuoteIdentifier(r.schema) + "." +
         QuoteIdentifier(r.name) + "(" + args + ")";
}

std::string CallPlan::key() const {
  std::string key = std::to_string(routine->generation);
  key += typed ? ':' : '?';
  key += shape;
  return key;
}

const Routine& OnlyOne(const std::vector<RoutinePtr>& routines) {
  if (routines.size() != 1) {
    throw DbError(kErrorStatement, "The routine " + routines.front()->display_name() + " has " +
                                       std::to_string(routines.size()) +
                                       " overloads; a call by parameters needs exactly one.");
  }
  return *routines.front();
}

CallPlan StatementPlan(const std::vector<RoutinePtr>& routines, const CallStatement& call) {
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
  TypedCall plan(*r);
  for (size_t k = 0; k < r->positions.size(); ++k) {
    const size_t index = static_cast<size_t>(r->positions[k]);
    const RoutineParameter& p = r->parameters[index];
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
      plan.null(index);
      continue;
    }
    refuse_nul(a.text);
    plan.set(index, {a.text, a.kind == Argument::Kind::kNumber});
  }
  return std::move(plan).finish();
}

CallPlan ParameterPlan(const Routine& r, const Routine& described,
                       const std::vector<Value>& values) {
  TypedCall plan(r);
  for (size_t k = 1; k < values.size() && k - 1 < described.positions.size(); ++k) {
    const RoutineParameter& p = described.parameters[described.positions[k - 1]];
    const int index =
        &described == &r || p.name.empty() ? described.positions[k - 1] : index_by_name(r, p.name);
    if (index < 0 || index >= static_cast<int>(r.parameters.size())) continue;
    if (values[k].is_empty() || r.parameters[index].mode == Mode::kOut) continue;
    if (const std::optional<BoundText> bound = BindValue(values[k])) {
      plan.set(static_cast<size_t>(index), *bound);
    } else {
      plan.null(static_cast<size_t>(index));
    }
  }
  return std::move(plan).finish();
}

}  // namespace talwen::db::postgres
