// Call: everything one request's handler works with, and the three ways it calls the database.
//
// Process builds one Call per request. It holds the session and request, the open connection,
// the settings read for this call, and the state of the last grid-form statement
// (last_sql_error, last_sql_message, last_row_index) that handlers test. A Call is used by one
// thread; nothing in it outlives the request.
//
// The call forms:
//   grid form       ExecuteToGrid(sql): the rows of the last result set that had rows; errors
//                   are recorded in last_sql_error / last_sql_message, never thrown.
//   recordset form  OpenRecordset(sql): a cursor over the result sets; errors throw.
//   procedure form  OpenCommand(name): parameters by position or name, Execute, outputs by
//                   name; errors throw.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "frame/failure.h"
#include "frame/grid.h"
#include "frame/session.h"

namespace talwen {

class ConfigFile;
class FunctionTable;

// The program's identity, shown by the diagnostics pages.
struct ComponentInfo {
  std::string product_name;
  std::string company_name;
  std::string exe_name;  // the program's base name
  std::string version;   // major.minor.revision
  std::string path;      // the program's folder
};

// What every request shares: configuration, database providers, identity. Read-only during
// requests, so one Environment serves all threads.
struct Environment {
  const ConfigFile* config = nullptr;  // the INI file; null when there is none
  const db::Connector* connector = nullptr;
  const FunctionTable* functions = nullptr;  // the RF functions served; none when null
  ComponentInfo component;
  // The clock of the trace log and its file names.
  std::function<std::chrono::system_clock::time_point()> now = std::chrono::system_clock::now;
  // Where a handler's failure is told (the reply itself is then ""); may be empty.
  std::function<void(std::string_view function, std::string_view what)> report_failure;
};

// A recordset read where it has no row (at EOF, or closed): the handler ends with the empty
// reply, but nothing has failed.
class NoRecord : public db::DbError {
 public:
  using db::DbError::DbError;
};

// A cursor over the result sets of one statement: the recordset call form.
class Recordset {
 public:
  explicit Recordset(std::vector<db::ResultSet> sets);

  // Is the current result set one with columns? A column-less (or missing) set is closed.
  bool is_open() const;
  bool bof() const;  // throws on a closed set
  bool eof() const;  // throws on a closed set
  void move_next();
  // The current row's value of the field so named (case-blind). Throws DbError when the set
  // is closed, at EOF, or has no such field.
  const Value& field(std::string_view name) const;
  std::string text(std::string_view name) const { return field(name).to_text(); }
  // Move to the next result set; false when there is none (the recordset is then closed).
  bool next_recordset();
  const db::ResultSet& current() const;
  size_t result_set_count() const { return sets_.size(); }

 private:
  void require_open() const;

  std::vector<db::ResultSet> sets_;
  size_t set_ = 0;
  size_t row_ = 0;
};

// A procedure call with parameters: the procedure call form.
class Command {
 public:
  // Describe the procedure's parameters (the database's own list). Throws DbError.
  Command(db::Connection& connection, std::string procedure);

  // Assign an input by position (1 onward; 0 is the return value) or by "@name".
  Command& set(int position, Value value);
  Command& set(int position, std::string_view text) {
    return set(position, Value::text(std::string(text)));
  }
  Command& set(std::string_view name, Value value);
  Command& set(std::string_view name, std::string_view text) {
    return set(name, Value::text(std::string(text)));
  }
  // Assign texts to positions 1, 2, ... in order.
  Command& inputs(std::initializer_list<std::string_view> texts);

  // Run the procedure. Throws DbError.
  void Execute();

  // A parameter's value after Execute, by "@name" (case-blind). Throws DbError when the
  // procedure has no such parameter.
  const Value& operator[](std::string_view name) const;
  // NullToText of an output parameter with "" as default.
  std::string output(std::string_view name) const { return NullToText((*this)[name], ""); }
  // "<sqlstatus>@sqlstatus</sqlstatus><sqlmsg>@sqlmsg</sqlmsg>".
  std::string status_reply() const;

  const std::vector<db::Parameter>& parameters() const { return parameters_; }
  std::vector<db::ResultSet>& result_sets() { return result_sets_; }

 private:
  int index_of(std::string_view name) const;

  db::Connection& connection_;
  std::string procedure_;
  std::vector<db::Parameter> parameters_;
  std::vector<Value> values_;
  std::vector<db::ResultSet> result_sets_;
};

// What one call of a handler did, as the function index takes it down
// (docs/function_index.md): every session key read and every statement run.
struct CallRecord {
  std::vector<std::string> keys;        // each key once, in the order first read
  std::vector<std::string> statements;  // "grid ", "recordset " or "procedure ", then the text
};

struct TraceSettings {
  std::string path;  // date-stamped; "" = tracing off
  std::string mode;  // "BRIEF", "DETAIL" or "DETAILED"
};

class Call {
 public:
  Call(const Environment& env, Session& session, const Request& request, db::Connection& connection)
      : env(env), session(session), request(request), connection(connection) {}

  // The session value of key as text; "" when absent. Nothing is trimmed.
  const std::string& operator[](std::string_view key) const {
    if (record) note_key(key);
    return session.get(key);
  }
  // The product key: "item_no", or "item" when that is empty.
  const std::string& item_no() const;

  // Run sql and return the rows of its last result set that had rows; failures are recorded
  // in last_sql_error and last_sql_message. Sets last_row_index.
  ResultGrid ExecuteToGrid(std::string_view sql);
  // As ExecuteToGrid, with column types and a free cell per column; last_row_index is left
  // as it was.
  TypedGrid ExecuteToTypedGrid(std::string_view sql);
  // Run sql as a recordset positioned on its first result set. Throws DbError.
  Recordset OpenRecordset(std::string_view sql);
  // Run sql once and position the recordset on its last result set. Throws DbError.
  Recordset OpenLastRecordset(std::string_view sql);
  // A command on a procedure (sql_text becomes its name). Throws DbError.
  Command OpenCommand(std::string_view procedure);

  const Environment& env;
  Session& session;
  const Request& request;
  db::Connection& connection;

  std::string server_name;        // server variable SERVER_NAME
  std::string remote_addr;        // server variable REMOTE_ADDR
  std::string db_instance;        // session value "dbinstance", or kDefaultInstance
  std::string connection_string;  // what the configuration gave for db_instance
  std::string function_name;      // session value "function" as given
  TraceSettings trace;

  std::string sql_text;  // the statement most recently built
  int32_t last_sql_error = 0;
  std::string last_sql_message;
  int last_row_index = -1;

  CallRecord* record = nullptr;  // takes down what the handler does; null in service

  // The first failure met (frame/failure.h): a grid-form statement's error, or what ended the
  // handler.
  Failure failure;
  // Take down what e says, unless a failure was taken down before.
  void NoteFailure(const std::exception& e);

 private:
  void note_key(std::string_view key) const;
  std::vector<db::ResultSet> run(std::string_view sql, std::string_view form);
  ResultGrid grid_of(std::vector<db::ResultSet> sets);
};

}  // namespace talwen
