#include "support/scripted_provider.h"

#include "base/text.h"

namespace talwen::testing {
namespace {

class ScriptedConnection : public db::Connection {
 public:
  explicit ScriptedConnection(std::shared_ptr<ScriptedDatabase> db) : db_(std::move(db)) {}

  std::vector<db::ResultSet> execute(std::string_view statement) override {
    db_->statements.emplace_back(statement);
    Answer a = next();
    if (a.error) throw *a.error;
    return std::move(a.result_sets);
  }

  std::vector<db::Parameter> parameters(std::string_view procedure) override {
    for (const auto& [name, params] : db_->procedures) {
      if (iequals(name, procedure)) return params;
    }
    throw db::DbError(db::kErrorStatement,
                      "Could not find stored procedure '" + std::string(procedure) + "'.");
  }

  db::CallResult call(std::string_view procedure, const std::vector<Value>& values) override {
    const auto params = parameters(procedure);
    db_->calls.push_back({std::string(procedure), params, values});
    Answer a = next();
    if (a.error) throw *a.error;
    db::CallResult result;
    result.result_sets = std::move(a.result_sets);
    result.values = values;
    for (size_t i = 0; i < params.size(); ++i) {
      for (const auto& [name, value] : a.outputs) {
        if (iequals(name, params[i].name)) result.values[i] = value;
      }
      if (params[i].direction != db::Direction::kInput && result.values[i].is_empty()) {
        result.values[i] = Value::null();
      }
    }
    return result;
  }

 private:
  Answer next() {
    if (db_->answers.empty()) return {};
    Answer a = std::move(db_->answers.front());
    db_->answers.pop_front();
    return a;
  }

  std::shared_ptr<ScriptedDatabase> db_;
};

}  // namespace

db::ResultSet Rows(std::vector<std::string> columns, std::vector<std::vector<Value>> rows) {
  db::ResultSet set;
  for (auto& name : columns) set.columns.push_back({std::move(name), db::kTypeVarWChar});
  set.rows = std::move(rows);
  return set;
}

db::ResultSet Texts(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows) {
  std::vector<std::vector<Value>> values;
  for (auto& row : rows) {
    std::vector<Value> r;
    for (auto& cell : row) r.push_back(Value::text(std::move(cell)));
    values.push_back(std::move(r));
  }
  return Rows(std::move(columns), std::move(values));
}

db::ResultSet Closed() {
  return {};
}

Value T(std::string s) {
  return Value::text(std::move(s));
}

ScriptedDatabase& ScriptedDatabase::answer(std::vector<db::ResultSet> sets) {
  answers.push_back({std::move(sets), {}, std::nullopt});
  return *this;
}

ScriptedDatabase& ScriptedDatabase::answer(Answer a) {
  answers.push_back(std::move(a));
  return *this;
}

ScriptedDatabase& ScriptedDatabase::fail(int32_t number, std::string message) {
  answers.push_back({{}, {}, db::DbError(number, message)});
  return *this;
}

ScriptedDatabase& ScriptedDatabase::procedure(std::string name,
                                              std::vector<db::Parameter> parameters) {
  parameters.insert(parameters.begin(),
                    {"@RETURN_VALUE", db::Direction::kReturnValue, db::kTypeInteger});
  procedures[std::move(name)] = std::move(parameters);
  return *this;
}

ScriptedDatabase& ScriptedDatabase::procedure(std::string name, std::vector<std::string> inputs,
                                              std::vector<std::string> outputs) {
  std::vector<db::Parameter> params;
  for (auto& n : inputs) params.push_back({std::move(n), db::Direction::kInput, db::kTypeVarWChar});
  for (auto& n : outputs) {
    params.push_back({std::move(n), db::Direction::kInputOutput, db::kTypeVarWChar});
  }
  return procedure(std::move(name), std::move(params));
}

ScriptedDatabase& ScriptedDatabase::refuse_connections(int32_t number, std::string message) {
  refusal = db::DbError(number, std::move(message));
  return *this;
}

std::unique_ptr<db::Connection> ScriptedProvider::open(const db::ConnectionString& target,
                                                       const db::Timeouts&) {
  db_->last_connection_string = target.text();
  if (db_->refusal) throw *db_->refusal;
  ++db_->connections_opened;
  return std::make_unique<ScriptedConnection>(db_);
}

}  // namespace talwen::testing
