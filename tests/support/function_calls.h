// Calling one RF function through the harness, as the contract tests do: a fresh session
// holding the function's name and its values, and the answers of the procedure call form.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/harness.h"

namespace talwen::testing {

// Session values in the order they are set.
using SessionValues = std::vector<std::pair<std::string, std::string>>;

// Run Process on a fresh session "S1" holding values, in order ("function" among them).
std::string CallWith(Harness& h, const SessionValues& values);

// Run Process on a fresh session "S1" holding "function", then values, in order.
// (Named for the tests' reading; it hides the frame's Call type where it is in scope.)
std::string Call(Harness& h, std::string_view function, const SessionValues& values);

// The columns a function reads from the result of its first statement, in the order it asks
// for them: found by running it on a row of zeros that lacks them (a missing field ends the
// handler with a message that names it). `first` comes first whether read or not.
std::vector<std::string> ColumnsRead(std::string_view function, const SessionValues& values = {},
                                     std::string_view first = "");

// One row of the columns, each holding its own name as text, but for the values given.
db::ResultSet EchoRow(const std::vector<std::string>& columns,
                      const std::map<std::string, Value>& values = {});

// An answer of output parameters, with the result sets the procedure returns (if any).
Answer Outputs(std::map<std::string, Value> outputs);
Answer Outputs(std::vector<db::ResultSet> sets, std::map<std::string, Value> outputs);

}  // namespace talwen::testing
