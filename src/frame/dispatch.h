// Dispatch: the row type of the function table and the lookup by name.
//
// The table itself, one row per RF function, lives with the handlers
// (functions/function_table.cpp); the program hands it to the frame in the Environment. A
// FunctionTable is immutable once built, so one serves all threads.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace talwen {

class Call;

// A handler reads its session values, calls the database and returns the reply text. A
// handler that throws ends with the empty reply.
using Handler = std::string (*)(Call&);

enum FunctionFlags : unsigned {
  kUntraced = 1,     // the frame writes no trace-log entries around it (all others are traced)
  kHtml = 2,         // the reply is an HTML page, not tagged text
  kDiagnostics = 4,  // shows server and configuration details (restricted by the gateway)
};

struct RfFunction {
  std::string_view name;  // lower case, as matched against the lower-cased "function"
  Handler handler;        // nullptr while the function is not served yet
  unsigned flags = 0;     // FunctionFlags
};

// The rows of a function table, found by name.
class FunctionTable {
 public:
  // rows must outlive the table (the tables are static arrays).
  explicit FunctionTable(std::span<const RfFunction> rows);

  // Return the row of a lower-cased function name; nullptr when the name is unknown or not
  // served.
  const RfFunction* find(std::string_view lower_name) const;
  // Return every row, in table order.
  std::span<const RfFunction> rows() const { return rows_; }

 private:
  std::span<const RfFunction> rows_;
  std::vector<const RfFunction*> by_name_;  // the rows sorted by name, for binary search
};

}  // namespace talwen
