// Results: reading what a statement hands back, and what its diagnostics mean.
//
// A statement's results come one after the other until the driver says there are no more
// (SQLMoreResults): a result with columns is a row set; one without is the count of rows a
// data-changing statement touched and becomes a result set without columns, as the caller
// expects of such statements. Output parameters are filled by the driver only once the last
// result has been passed, so a call reads them after everything else.
//
// ResultStream is the one seam between this logic and the driver, so that the order of reads
// can be checked without one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/odbc/odbc_values.h"
#include "db/odbc/target.h"

namespace talwen::db::odbc {

struct ColumnInfo {
  std::string name;
  SqlType type;
};

class ResultStream {
 public:
  virtual ~ResultStream() = default;
  // The columns of the current result; 0 for a row count. Throws DbError.
  virtual int ColumnCount() = 0;
  // Column 1..ColumnCount() of the current result.
  virtual ColumnInfo Describe(int column) = 0;
  // Move to the next row of the current result; false after the last. Throws DbError.
  virtual bool Fetch() = 0;
  // A column of the current row, read as the Reading says. Throws DbError.
  virtual Value Get(int column, Reading reading) = 0;
  // Move to the next result; false when there is none. Throws DbError.
  virtual bool NextResult() = 0;
};

// Every result of a statement, in order; at least one (a statement that reports nothing
// still leaves one result without columns).
std::vector<ResultSet> ReadResults(ResultStream& stream);

// The results of a procedure call, then its parameter values (read by `outputs` once the
// last result has been passed).
CallResult ReadCall(ResultStream& stream, const std::function<std::vector<Value>()>& outputs);

// One diagnostic record of a failed ODBC function.
struct Diagnostic {
  std::string state;  // SQLSTATE, "42000"
  int32_t native = 0;
  std::string message;  // as the driver wrote it, "[vendor][driver][SQL Server]text"
};

// What a failure means for the connection it happened on.
enum class Failure {
  kStatement,       // the statement failed; the connection is fine
  kTimeout,         // the command time-out passed
  kConnectionLost,  // the connection is gone
};

Failure FailureOf(const std::vector<Diagnostic>& records);

// The description of a failure: every error's message without the driver's "[...]"
// prefixes, the server's messages first, joined as sentences; warnings and informational
// messages only when there is nothing else.
std::string DescriptionOf(const std::vector<Diagnostic>& records);

// The code of a failure for the metrics and the gateway's reason: SQL Server's error number
// when the server raised it, else the SQLSTATE of the first error; "" when there is none.
std::string CodeOf(const std::vector<Diagnostic>& records);

// The error the frame sees: kErrorTimeout, kErrorGeneric for a lost connection, else `number`;
// with CodeOf the records.
DbError ErrorOf(const std::vector<Diagnostic>& records, int32_t number = kErrorStatement);

// Does a failed call say that the routine is no longer the one described (gone, or with other
// parameters), so that a fresh description may make it work? Such failures happen before the
// routine runs.
bool IsStaleCall(const std::vector<Diagnostic>& records, Dialect dialect);

}  // namespace talwen::db::odbc
