#include "support/function_calls.h"

namespace talwen::testing {

std::string CallWith(Harness& h, const SessionValues& values) {
  Session session("S1");
  for (const auto& [key, value] : values) session.set(key, value);
  return h.call(session);
}

std::string Call(Harness& h, std::string_view function, const SessionValues& values) {
  Session session("S1");
  session.set("function", function);
  for (const auto& [key, value] : values) session.set(key, value);
  return h.call(session);
}

Answer Outputs(std::map<std::string, Value> outputs) {
  return Answer{{}, std::move(outputs), std::nullopt};
}

Answer Outputs(std::vector<db::ResultSet> sets, std::map<std::string, Value> outputs) {
  return Answer{std::move(sets), std::move(outputs), std::nullopt};
}

}  // namespace talwen::testing
