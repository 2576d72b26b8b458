#include "db/odbc/routine.h"

#include <algorithm>

#include "base/text.h"

namespace talwen::db::odbc {
namespace {

constexpr std::string_view kReturnValue = "@RETURN_VALUE";

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '@' || c == '#' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// The procedure's name without SQL Server's ";1" group number.
std::string_view bare(std::string_view procedure) {
  return procedure.substr(0, procedure.find(';'));
}

Direction direction_of(SQLSMALLINT column_type) {
  switch (column_type) {
    case SQL_PARAM_INPUT_OUTPUT:
      return Direction::kInputOutput;
    case SQL_PARAM_OUTPUT:
      return Direction::kOutput;
    case SQL_RETURN_VALUE:
      return Direction::kReturnValue;
    default:
      return Direction::kInput;
  }
}

bool same_type(const SqlType& a, const SqlType& b) {
  return a.code == b.code && a.size == b.size && a.digits == b.digits && a.name == b.name;
}

}  // namespace

RoutineName ParseRoutineName(std::string_view text) {
  RoutineName name;
  name.text = text;
  std::vector<std::string> parts;
  size_t i = 0;
  const auto bad = [&] {
    throw DbError(kErrorStatement, "'" + std::string(text) + "' is not a procedure name.");
  };
  while (true) {
    std::string part;
    if (i < text.size() && (text[i] == '[' || text[i] == '"')) {
      const char close = text[i] == '[' ? ']' : '"';
      const size_t end = text.find(close, i + 1);
      if (end == std::string_view::npos || end == i + 1) bad();
      part = text.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < text.size() && is_name_char(text[i])) part.push_back(text[i++]);
      if (part.empty()) bad();
    }
    parts.push_back(std::move(part));
    if (i == text.size()) break;
    if (text[i] != '.' || parts.size() == 3) bad();
    ++i;
  }
  name.name = parts.back();
  if (parts.size() >= 2) name.schema = parts[parts.size() - 2];
  if (parts.size() == 3) name.catalog = parts[0];
  return name;
}

std::vector<Parameter> Routine::EngineParameters() const {
  std::vector<Parameter> out;
  out.reserve(parameters.size());
  for (const RoutineParameter& p : parameters) out.push_back(p.parameter);
  return out;
}

std::string Routine::CallText() const {
  std::string args;
  for (size_t i = 1; i < parameters.size(); ++i) args += i == 1 ? "?" : ", ?";
  std::string text = has_return_value ? "{? = call " : "{call ";
  text += name;
  if (!args.empty()) text += "(" + args + ")";
  text += "}";
  return text;
}

bool operator==(const Routine& a, const Routine& b) {
  if (a.name != b.name || a.has_return_value != b.has_return_value ||
      a.parameters.size() != b.parameters.size()) {
    return false;
  }
  for (size_t i = 0; i < a.parameters.size(); ++i) {
    const RoutineParameter& x = a.parameters[i];
    const RoutineParameter& y = b.parameters[i];
    if (x.parameter.name != y.parameter.name || x.parameter.direction != y.parameter.direction ||
        !same_type(x.type, y.type)) {
      return false;
    }
  }
  return true;
}

Routine RoutineOf(const RoutineName& name, const std::vector<ProcedureColumn>& rows) {
  // The schema whose rows are taken.
  std::vector<std::string_view> schemas;
  for (const ProcedureColumn& row : rows) {
    if (!iequals(bare(row.procedure), name.name)) continue;
    if (!name.schema.empty() && !iequals(row.schema, name.schema)) continue;
    if (std::find(schemas.begin(), schemas.end(), row.schema) == schemas.end()) {
      schemas.push_back(row.schema);
    }
  }
  std::string_view schema = schemas.empty() ? std::string_view() : schemas.front();
  for (const std::string_view preferred : {"public", "dbo"}) {
    for (const std::string_view s : schemas) {
      if (iequals(s, preferred)) schema = s;
    }
  }

  Routine routine;
  routine.name = name.text;
  routine.parameters.push_back({{std::string(kReturnValue), Direction::kReturnValue, kTypeInteger},
                                SqlType{SQL_INTEGER, "int", 10, 0}});
  for (const ProcedureColumn& row : rows) {
    if (schemas.empty() || row.schema != schema || !iequals(bare(row.procedure), name.name)) {
      continue;
    }
    if (row.column_type == SQL_RESULT_COL) continue;  // a column of a returned table
    const Direction direction = direction_of(row.column_type);
    const Parameter parameter{direction == Direction::kReturnValue ? std::string(kReturnValue)
                              : row.name.starts_with('@')          ? row.name
                                                                   : "@" + row.name,
                              direction, TypeCodeOf(row.type)};
    if (direction == Direction::kReturnValue) {
      routine.has_return_value = true;
      routine.parameters[0] = {parameter, row.type};
    } else {
      routine.parameters.push_back({parameter, row.type});
    }
  }
  return routine;
}

std::vector<Value> ValuesFor(const Routine& from, const std::vector<Value>& values,
                             const Routine& to) {
  std::vector<Value> out(to.parameters.size());
  for (size_t i = 0; i < values.size() && i < from.parameters.size(); ++i) {
    for (size_t k = 0; k < to.parameters.size(); ++k) {
      if (iequals(from.parameters[i].parameter.name, to.parameters[k].parameter.name)) {
        out[k] = values[i];
        break;
      }
    }
  }
  return out;
}

RoutinePtr RoutineCache::Get(const RoutineName& name, const std::function<Routine()>& look_up) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(to_lower(name.text));
    if (it != entries_.end() &&
        std::chrono::steady_clock::now() - it->second.looked_up < lifetime_) {
      return it->second.routine;
    }
  }
  return Refresh(name, look_up);
}

RoutinePtr RoutineCache::Refresh(const RoutineName& name, const std::function<Routine()>& look_up) {
  auto routine = std::make_shared<const Routine>(look_up());
  std::lock_guard<std::mutex> lock(mutex_);
  if (routine->parameters.size() > 1 || routine->has_return_value) {
    entries_[to_lower(name.text)] = {routine, std::chrono::steady_clock::now()};
  } else {
    // Nothing described it: perhaps it does not exist yet. Not remembered, so a routine
    // created later is found on the next call.
    entries_.erase(to_lower(name.text));
  }
  return routine;
}

}  // namespace talwen::db::odbc
