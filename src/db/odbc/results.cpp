#include "db/odbc/results.h"

#include <algorithm>

#include "base/text.h"

namespace talwen::db::odbc {
namespace {

bool is_warning(const Diagnostic& d) {
  return d.state.starts_with("01");
}

// The message without the driver's leading "[vendor][driver][SQL Server]" groups, on one
// line; `from_server` tells whether a "[SQL Server]" group was among them.
std::string clean_message(std::string_view message, bool& from_server) {
  from_server = false;
  while (!message.empty() && message.front() == '[') {
    const size_t end = message.find(']');
    if (end == std::string_view::npos) break;
    if (message.substr(0, end + 1) == "[SQL Server]") from_server = true;
    message.remove_prefix(end + 1);
  }
  return one_line(message);
}

}  // namespace

std::vector<ResultSet> ReadResults(ResultStream& stream) {
  std::vector<ResultSet> sets;
  do {
    ResultSet set;
    const int columns = stream.ColumnCount();
    std::vector<Reading> readings;
    readings.reserve(columns);
    for (int c = 1; c <= columns; ++c) {
      const ColumnInfo info = stream.Describe(c);
      set.columns.push_back({info.name, TypeCodeOf(info.type)});
      readings.push_back(ReadingOf(info.type));
    }
    while (columns > 0 && stream.Fetch()) {
      Row row;
      row.reserve(columns);
      for (int c = 1; c <= columns; ++c) row.push_back(stream.Get(c, readings[c - 1]));
      set.rows.push_back(std::move(row));
    }
    sets.push_back(std::move(set));
  } while (stream.NextResult());
  return sets;
}

CallResult ReadCall(ResultStream& stream, const std::function<std::vector<Value>()>& outputs) {
  CallResult result;
  result.result_sets = ReadResults(stream);
  result.values = outputs();
  return result;
}

Failure FailureOf(const std::vector<Diagnostic>& records) {
  for (const Diagnostic& d : records) {
    // Connection exceptions; a server ending the session (an administrator, a shutdown).
    if (d.state.starts_with("08") || d.state == "57P01" || d.state == "57P02" ||
        d.state == "57P03") {
      return Failure::kConnectionLost;
    }
  }
  for (const Diagnostic& d : records) {
    // The driver's time-out, a cancelled operation, a server-side statement time-out.
    if (d.state == "HYT00" || d.state == "HY008" || d.state == "57014") return Failure::kTimeout;
  }
  return Failure::kStatement;
}

std::string DescriptionOf(const std::vector<Diagnostic>& records) {
  struct Message {
    std::string text;
    int rank;  // 0 a server's error, 1 another error, 2 a warning or information
  };
  std::vector<Message> messages;
  for (const Diagnostic& d : records) {
    bool from_server = false;
    std::string text = clean_message(d.message, from_server);
    if (text.empty()) continue;
    const int rank = is_warning(d) ? 2 : from_server ? 0 : 1;
    messages.push_back({std::move(text), rank});
  }
  std::stable_sort(messages.begin(), messages.end(),
                   [](const Message& a, const Message& b) { return a.rank < b.rank; });
  const bool errors = !messages.empty() && messages.front().rank < 2;
  std::string out;
  std::vector<std::string_view> seen;
  for (const Message& m : messages) {
    if (errors && m.rank == 2) break;
    if (std::find(seen.begin(), seen.end(), m.text) != seen.end()) continue;
    seen.push_back(m.text);
    if (!out.empty())
      out += out.back() == '.' || out.back() == '!' || out.back() == '?' ? " " : ". ";
    out += m.text;
  }
  return out.empty() ? "The ODBC driver reported a failure without a message." : out;
}

std::string CodeOf(const std::vector<Diagnostic>& records) {
  for (const Diagnostic& d : records) {
    if (is_warning(d)) continue;
    // SQL Server's own number says more than the SQLSTATE ("2627" rather than "23000").
    bool from_server = false;
    clean_message(d.message, from_server);
    return from_server && d.native != 0 ? std::to_string(d.native) : d.state;
  }
  return {};
}

DbError ErrorOf(const std::vector<Diagnostic>& records, int32_t number) {
  switch (FailureOf(records)) {
    case Failure::kTimeout:
      return DbError(kErrorTimeout, DescriptionOf(records), CodeOf(records));
    case Failure::kConnectionLost:
      return DbError(kErrorGeneric, DescriptionOf(records), CodeOf(records));
    case Failure::kStatement:
      break;
  }
  return DbError(number, DescriptionOf(records), CodeOf(records));
}

bool IsStaleCall(const std::vector<Diagnostic>& records, Dialect dialect) {
  for (const Diagnostic& d : records) {
    if (dialect == Dialect::kSqlServer) {
      // No such procedure; a parameter not supplied; too many arguments; not a parameter of
      // the procedure; arguments for a procedure that takes none.
      if (d.native == 2812 || d.native == 201 || d.native == 8144 || d.native == 8145 ||
          d.native == 8146) {
        return true;
      }
    } else if (d.state == "42883" || d.state == "42809" || d.state == "42725" ||
               d.state == "3F000") {
      // No routine of that signature, a procedure where a function was called, an ambiguous
      // call, an unknown schema.
      return true;
    }
  }
  return false;
}

}  // namespace talwen::db::odbc
