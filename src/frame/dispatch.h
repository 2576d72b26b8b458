// The dispatch table: every RF function the engine serves, one row each.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace talwen {

class Call;

// A handler reads its session values, calls the database and returns the reply text. A
// handler that throws ends with the empty reply.
using Handler = std::string (*)(Call&);

enum FunctionFlags : unsigned {
  kTraced = 1,       // the frame writes the trace log's enter and exit entries around it
  kHtml = 2,         // the reply is an HTML page, not tagged text
  kDiagnostics = 4,  // shows server and configuration details (restricted by the gateway)
};

struct RfFunction {
  std::string_view name;  // lower case, as matched against the lower-cased "function"
  Handler handler;        // nullptr while the function is not served yet
  unsigned flags;
};

// The row of a lower-cased function name; nullptr when the name is unknown or not served.
const RfFunction* FindFunction(std::string_view lower_name);

// Every row, in table order.
std::span<const RfFunction> AllFunctions();

}  // namespace talwen
