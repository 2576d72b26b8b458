// Data access: what the engine asks of a warehouse database, and no more.
//
// A Connector picks a Provider by the name in the connection string and opens a Connection.
// A Connection runs statement text (yielding every result set in order) and calls procedures
// with parameters (yielding result sets and output values). Failures are thrown as DbError,
// carrying the error number and description the frame reports. A Connection is used by one
// request at a time; Providers and the Connector are shared by all threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"

namespace talwen::db {

class ClientWatch;
class Waiter;
struct PoolStats;

// Data type codes of result columns and parameters, as the frame's callers know them.
enum TypeCode : int32_t {
  kTypeEmpty = 0,
  kTypeSmallInt = 2,
  kTypeInteger = 3,
  kTypeSingle = 4,
  kTypeDouble = 5,
  kTypeCurrency = 6,
  kTypeDate = 7,
  kTypeBoolean = 11,
  kTypeUnsignedTinyInt = 17,
  kTypeBigInt = 20,
  kTypeGuid = 72,
  kTypeBinary = 128,
  kTypeNumeric = 131,
  kTypeChar = 129,
  kTypeWChar = 130,
  kTypeDbDate = 133,
  kTypeDbTime = 134,
  kTypeDbTimeStamp = 135,
  kTypeVarChar = 200,
  kTypeLongVarChar = 201,
  kTypeVarWChar = 202,
  kTypeLongVarWChar = 203,
  kTypeVarBinary = 204,
  kTypeLongVarBinary = 205,
};

// Error numbers the frame knows by value.
constexpr int32_t kErrorGeneric = -2147467259;       // unspecified failure (connections)
constexpr int32_t kErrorStatement = -2147217900;     // the statement failed
constexpr int32_t kErrorTimeout = -2147217871;       // the command time-out passed
constexpr int32_t kErrorNoProvider = -2146824582;    // no provider of that name
constexpr int32_t kErrorItemNotFound = -2146825023;  // no field or parameter of that name
constexpr int32_t kErrorCancelled = -2147217842;     // cancelled: the client went away
// No connection of the pool was free in time. Never shown in a reply: the call did not start,
// and the gateway answers 503.
constexpr int32_t kErrorBusy = -2147220992;

class DbError : public std::runtime_error {
 public:
  // code: the database's own code for the error where it gives one (a SQLSTATE such as
  // "23505", or a server's error number), short and free of the message's text.
  DbError(int32_t number, const std::string& description, std::string code = {})
      : std::runtime_error(description), number_(number), code_(std::move(code)) {}
  int32_t number() const { return number_; }
  const std::string& code() const { return code_; }

 private:
  int32_t number_;
  std::string code_;
};

struct Column {
  std::string name;
  int32_t type = kTypeVarWChar;
};

using Row = std::vector<Value>;

// One result of a statement: rows under columns, or, when columns is empty, the column-less
// result a data-changing statement leaves (a closed recordset).
struct ResultSet {
  std::vector<Column> columns;
  std::vector<Row> rows;

  bool is_open() const { return !columns.empty(); }
};

enum class Direction { kInput, kInputOutput, kOutput, kReturnValue };

struct Parameter {
  std::string name;  // "@RETURN_VALUE", "@sqlstatus", ...
  Direction direction = Direction::kInput;
  int32_t type = kTypeVarWChar;
};

struct CallResult {
  std::vector<ResultSet> result_sets;
  std::vector<Value> values;  // every parameter's value after the call, position 0 first
};

// How long a connection's waits may last, and how they are made.
struct Timeouts {
  std::chrono::seconds connect{30};
  std::chrono::seconds command{30};
  // The request's own way of waiting (db/client_watch.h); nullptr: the thread blocks.
  Waiter* waiter = nullptr;
};

class Connection {
 public:
  virtual ~Connection() = default;

  // Run statement text and return its result sets in order. Throws DbError.
  virtual std::vector<ResultSet> execute(std::string_view statement) = 0;

  // Describe a procedure's parameters: position 0 the return value, then the procedure's own
  // in declared order. Throws DbError for an unknown procedure.
  virtual std::vector<Parameter> parameters(std::string_view procedure) = 0;

  // Call a procedure with one value per position of parameters() (an Empty value leaves that
  // input to the procedure's default). Throws DbError.
  virtual CallResult call(std::string_view procedure, const std::vector<Value>& values) = 0;

  // Until the connection goes back, watch client while waiting for the database: once it has
  // gone, the statement running is cancelled and rolled back, and every call fails with
  // kErrorCancelled (db/client_watch.h). A provider that cannot watch ignores it.
  virtual void watch(ClientWatch* client) { (void)client; }
};

// The keyword=value pairs of a connection string, keywords case-insensitive; the first
// occurrence of a keyword wins. Blanks around keywords and values are dropped. A value in
// double or single quotes may hold ";" and blanks; its quote doubled stands for one, and the
// quotes are not part of the value (Password="a;b" is a;b).
class ConnectionString {
 public:
  explicit ConnectionString(std::string_view text);
  // The value of keyword, or "" when absent.
  std::string get(std::string_view keyword) const;
  bool has(std::string_view keyword) const;
  const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  std::vector<std::pair<std::string, std::string>> pairs_;
};

class Provider {
 public:
  virtual ~Provider() = default;
  // Open (or take from a pool) a connection. Throws DbError.
  virtual std::unique_ptr<Connection> open(const ConnectionString& target,
                                           const Timeouts& timeouts) = 0;
  // Add the state of each of its pools (db/pool.h).
  virtual void pool_stats(std::vector<PoolStats>& out) { (void)out; }
};

// Opens connections with the provider named by the connection string's first "Provider"
// keyword (compared case-insensitively).
class Connector {
 public:
  void add(std::string name, std::shared_ptr<Provider> provider);
  // Throws DbError; kErrorNoProvider when no provider of that name is installed.
  std::unique_ptr<Connection> open(std::string_view connection_string,
                                   const Timeouts& timeouts = {}) const;
  // The state of every provider's pools.
  std::vector<PoolStats> pool_stats() const;

 private:
  std::vector<std::pair<std::string, std::shared_ptr<Provider>>> providers_;
};

}  // namespace talwen::db
