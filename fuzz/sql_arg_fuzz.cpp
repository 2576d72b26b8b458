// Argument rendering against the PostgreSQL call bridge: whatever bytes a session value holds,
// the statement a handler builds with it either parses back to that value, in its place among
// the other arguments, and is bound as that value to the routine's call, or is refused. It
// never reaches the database as another value or as other arguments.
//
// Input: the first byte picks the type code, the rest is the value.
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "base/text.h"
#include "db/connection.h"
#include "db/postgres/call_plan.h"
#include "db/postgres/call_statement.h"
#include "db/routine_builders.h"
#include "frame/sql_arg.h"
#include "fuzz/fuzz_input.h"

namespace talwen::fuzz {
namespace {

using db::postgres::Argument;
using db::postgres::CallStatement;

constexpr std::array<std::string_view, 18> kCodes = {
    "C",        "N",       "c",           "n",          "D",        "N(15,2)",
    "N(15,4)",  "n(15,6)", "YY-MM-DD",    "YYYY-MM-DD", "DD/MM/YY", "MM/DD/YYYY",
    "YYYYMMDD", "YYMMDD",  "DD MMM YYYY", "Q",          "N(15,7)",  ""};

TALWEN_CHECK_ONLY std::string Kind(const Argument& a) {
  switch (a.kind) {
    case Argument::Kind::kText:
      return "text " + a.text;
    case Argument::Kind::kNumber:
      return "number " + a.text;
    case Argument::Kind::kNull:
      return "Null";
  }
  return {};
}

TALWEN_CHECK_ONLY bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "dd Mon yyyy", the form every date code renders.
TALWEN_CHECK_ONLY bool IsDateText(std::string_view t) {
  return t.size() == 11 && IsDigit(t[0]) && IsDigit(t[1]) && t[2] == ' ' && t[6] == ' ' &&
         t[3] >= 'A' && t[3] <= 'Z' && t[4] >= 'a' && t[4] <= 'z' && t[5] >= 'a' && t[5] <= 'z' &&
         IsDigit(t[7]) && IsDigit(t[8]) && IsDigit(t[9]) && IsDigit(t[10]);
}

// The digits of a number's text, without sign, point and leading zeros.
TALWEN_CHECK_ONLY std::string Digits(std::string_view t) {
  std::string out;
  for (const char c : t) {
    if (IsDigit(c) && (c != '0' || !out.empty())) out += c;
  }
  return out;
}

// Does the parsed argument stand for value rendered with code?
TALWEN_CHECK_ONLY void CheckArgument(const Argument& a, std::string_view value,
                                     std::string_view code) {
  const std::string_view trimmed = trim(value, " ");
  const std::string upper = to_upper(code);
  if (trimmed.empty()) {
    return Check(a.kind == Argument::Kind::kNull, "a blank value is not Null", Kind(a));
  }
  if (upper == "C") {
    if (trimmed.front() == '\0') {
      return Check(a.kind == Argument::Kind::kNull, "a value starting with NUL is not Null",
                   Kind(a));
    }
    return Check(a.kind == Argument::Kind::kText && a.text == trimmed,
                 "a text did not come back as itself", Kind(a), trimmed);
  }
  if (upper == "N" || upper == "D") {
    // The number the value's digits, points and minus signs spell.
    std::string kept;
    for (const char c : trimmed) {
      if (IsDigit(c) || c == '.' || c == '-') kept += c;
    }
    return Check(a.kind == Argument::Kind::kNumber && a.text == kept,
                 "a number is not the one the value spells", Kind(a), kept);
  }
  if (upper.starts_with("N(15,") && upper.size() == 7 && upper[5] >= '2' && upper[5] <= '6') {
    if (a.kind == Argument::Kind::kNull) return;  // not numeric
    const size_t decimals = static_cast<size_t>(upper[5] - '0');
    const size_t point = a.text.find('.');
    Check(a.kind == Argument::Kind::kNumber && point != std::string::npos &&
              a.text.size() - point - 1 == decimals && Digits(a.text) == Digits(trimmed) &&
              (a.text.front() == '-') == (trimmed.front() == '-'),
          "a fixed-decimal number is not the value's digits with its decimals", Kind(a), trimmed);
    return;
  }
  if (upper.size() >= 6 &&
      (upper.starts_with("YY") || upper.starts_with("DD") || upper.starts_with("MM"))) {
    if (a.kind == Argument::Kind::kNull) return;  // no date
    return Check(a.kind == Argument::Kind::kText && IsDateText(a.text),
                 "a date is not rendered as a date", Kind(a));
  }
  Check(a.kind == Argument::Kind::kNull, "an unknown code gives no Null", Kind(a));
}

// The routines a statement may call: one with three text parameters (typed, each argument cast
// to its parameter), or two overloads of three parameters with defaults, between which the
// server chooses (untyped).
using Routines = std::vector<db::postgres::RoutinePtr>;

const Routines& TypedRoutine() {
  using namespace db::postgres;
  using testing::P;
  static const Routines routines = {std::make_shared<Routine>(
      testing::Make(false, {P("a", Mode::kIn, kOidText, true), P("b", Mode::kIn, kOidText, true),
                            P("c", Mode::kIn, kOidText, true)}))};
  return routines;
}

const Routines& Overloads() {
  using namespace db::postgres;
  using testing::P;
  static const Routines routines = {
      std::make_shared<Routine>(testing::Make(
          false, {P("a", Mode::kIn, kOidText, true), P("b", Mode::kIn, kOidText, true),
                  P("c", Mode::kIn, kOidText, true)})),
      std::make_shared<Routine>(testing::Make(
          false, {P("a", Mode::kIn, kOidNumeric, true), P("b", Mode::kIn, kOidNumeric, true),
                  P("c", Mode::kIn, kOidNumeric, true)}))};
  return routines;
}

// What the call binds is the arguments' values, in order, Nulls left to the statement text; or
// the call is refused.
TALWEN_CHECK_ONLY void CheckBound(const CallStatement& call, const Routines& routines) {
  std::vector<std::string> values;
  for (const Argument& a : call.arguments) {
    if (a.kind != Argument::Kind::kNull) values.push_back(a.text);
  }
  try {
    const db::postgres::CallPlan plan = db::postgres::StatementPlan(routines, call);
    Check(plan.values == values, "the call binds other values than the statement's");
    for (const std::string& v : plan.values) {
      Check(v.find('\0') == std::string::npos, "a NUL bound (the server would cut the text)", v);
    }
  } catch (const db::DbError& e) {
    Check(e.number() == db::kErrorStatement, "a refusal that is no statement error", e.what());
  }
}

std::optional<CallStatement> Parse(const std::string& statement) {
  try {
    return db::postgres::ParseCallStatement(statement);
  } catch (const db::DbError& e) {
    Check(e.number() == db::kErrorStatement, "a refusal that is no statement error", e.what());
    return std::nullopt;
  }
}

}  // namespace
}  // namespace talwen::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace talwen;
  using namespace talwen::fuzz;
  if (size == 0) return 0;
  const std::string_view code = kCodes[data[0] % kCodes.size()];
  const std::string_view value = AsText(data + 1, size - 1);
  const std::string rendered = FormatSqlArg(value, code);
  const auto add = [&](Sql& sql) -> Sql& {
    if (code == "C") return sql.text(value);
    if (code == "N") return sql.number(value);
    return sql.literal(rendered);
  };

  // Between two other arguments, as most templates place it.
  Sql between("rf_fuzz ");
  between.text("before");
  add(between).text("after");
  if (const auto call = Parse(between.str())) {
    Check(call->routine.name == "rf_fuzz" && call->arguments.size() == 3,
          "the statement parsed to another call", between.str());
    const db::postgres::Argument before{db::postgres::Argument::Kind::kText, "before"};
    const db::postgres::Argument after{db::postgres::Argument::Kind::kText, "after"};
    Check(call->arguments[0] == before && call->arguments[2] == after,
          "a neighbouring argument changed", between.str());
    CheckArgument(call->arguments[1], value, code);
    CheckBound(*call, TypedRoutine());
    CheckBound(*call, Overloads());
  }

  // Alone, as the last argument of a template. A number without digits renders as nothing,
  // which leaves the routine's own default.
  Sql alone("rf_fuzz ");
  add(alone);
  if (const auto call = Parse(alone.str())) {
    Check(call->routine.name == "rf_fuzz", "the statement parsed to another routine", alone.str());
    if (call->arguments.empty()) {
      Check(rendered.empty(), "an argument vanished", rendered);
    } else {
      Check(call->arguments.size() == 1, "one argument became several", alone.str());
      CheckArgument(call->arguments[0], value, code);
    }
    CheckBound(*call, TypedRoutine());
    CheckBound(*call, Overloads());
  }
  return 0;
}
