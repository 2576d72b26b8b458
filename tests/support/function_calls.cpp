#include "support/function_calls.h"

#include <regex>

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

std::vector<std::string> ColumnsRead(std::string_view function, const SessionValues& values,
                                     std::string_view first) {
  std::vector<std::string> columns;
  if (!first.empty()) columns.emplace_back(first);
  const std::regex missing(R"(requested name or ordinal\. \((.+)\))");
  for (int attempt = 0; attempt < 60; ++attempt) {
    Harness h;
    h.db->answer({Texts(columns.empty() ? std::vector<std::string>{"?"} : columns,
                        {std::vector<std::string>(std::max<size_t>(columns.size(), 1), "0")})});
    Call(h, function, values);
    std::smatch m;
    const std::string failure = h.last_failure();
    if (!std::regex_search(failure, m, missing)) break;
    columns.push_back(m[1]);
  }
  return columns;
}

db::ResultSet EchoRow(const std::vector<std::string>& columns,
                      const std::map<std::string, Value>& values) {
  std::vector<Value> row;
  for (const std::string& c : columns) {
    const auto given = values.find(c);
    row.push_back(given == values.end() ? T(c) : given->second);
  }
  return Rows(columns, {row});
}

Answer Outputs(std::map<std::string, Value> outputs) {
  return Answer{{}, std::move(outputs), std::nullopt};
}

Answer Outputs(std::vector<db::ResultSet> sets, std::map<std::string, Value> outputs) {
  return Answer{std::move(sets), std::move(outputs), std::nullopt};
}

}  // namespace talwen::testing
