// A database provider for tests: it records every statement, procedure call and parameter
// value it receives, and answers with scripted result sets, output values and errors.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"

namespace talwen::testing {

// Shorthands for building result sets in tests.
db::ResultSet Rows(std::vector<std::string> columns, std::vector<std::vector<Value>> rows);
// A result set of text columns: Texts({"a","b"}, {{"1","2"}, {"3","4"}}).
db::ResultSet Texts(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows);
// The column-less result of a data-changing statement.
db::ResultSet Closed();
Value T(std::string s);  // Value::text

// One procedure call as the database received it.
struct ReceivedCall {
  std::string procedure;
  std::vector<db::Parameter> parameters;
  std::vector<Value> values;  // one per parameter position, Empty where unassigned
};

// One scripted answer: result sets, or an error; for procedure calls, the values of the
// output parameters by name ("@sqlstatus" ...).
struct Answer {
  std::vector<db::ResultSet> result_sets;
  std::map<std::string, Value> outputs;
  std::optional<db::DbError> error;
};

class ScriptedDatabase {
 public:
  // The answers are taken in order, one per statement or procedure call; with none left the
  // statement yields no result set at all.
  ScriptedDatabase& answer(std::vector<db::ResultSet> sets);
  ScriptedDatabase& answer(Answer a);
  ScriptedDatabase& fail(int32_t number, std::string message);
  // Declare a procedure's parameters (after "@RETURN_VALUE", which is added), in order.
  ScriptedDatabase& procedure(std::string name, std::vector<db::Parameter> parameters);
  // Shorthand: inputs named in order, then the outputs (input-output).
  ScriptedDatabase& procedure(std::string name, std::vector<std::string> inputs,
                              std::vector<std::string> outputs);
  // Make opening a connection fail.
  ScriptedDatabase& refuse_connections(int32_t number, std::string message);

  std::vector<std::string> statements;  // every statement text executed, in order
  std::vector<ReceivedCall> calls;      // every procedure call, in order
  int connections_opened = 0;
  std::string last_connection_string;

  // Internal, for the provider.
  std::deque<Answer> answers;
  std::map<std::string, std::vector<db::Parameter>> procedures;
  std::optional<db::DbError> refusal;
};

// The provider named "Scripted", serving connections onto one ScriptedDatabase.
class ScriptedProvider : public db::Provider {
 public:
  explicit ScriptedProvider(std::shared_ptr<ScriptedDatabase> db) : db_(std::move(db)) {}
  std::unique_ptr<db::Connection> open(const db::ConnectionString& target,
                                       const db::Timeouts& timeouts) override;

 private:
  std::shared_ptr<ScriptedDatabase> db_;
};

}  // namespace talwen::testing
