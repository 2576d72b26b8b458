// The PostgreSQL call bridge's parser: any text is one procedure call or a statement error.
// A call it accepts, written again in the parser's own form, parses to the same call; its
// names hold identifier characters only and its numbers are plain decimals.
#include <optional>
#include <string>

#include "db/connection.h"
#include "db/postgres/call_statement.h"
#include "fuzz/fuzz_input.h"

namespace talwen::fuzz {
namespace {

using db::postgres::Argument;
using db::postgres::CallStatement;
using db::postgres::RoutineName;

template <typename Parse>
auto Refusable(Parse parse) -> std::optional<decltype(parse())> {
  try {
    return parse();
  } catch (const db::DbError& e) {
    Check(e.number() == db::kErrorStatement, "a refusal that is no statement error", e.what());
    return std::nullopt;
  }
}

TALWEN_CHECK_ONLY bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

TALWEN_CHECK_ONLY void CheckIdentifier(std::string_view name, std::string_view statement) {
  Check(!name.empty() && !IsDigit(name.front()) && name.front() != '$',
        "a name that starts with no letter", name, statement);
  for (const char c : name) {
    const bool word = (c >= 'a' && c <= 'z') || IsDigit(c) || c == '_' || c == '$' ||
                      static_cast<unsigned char>(c) >= 0x80;
    Check(word, "a name with a character outside identifiers (or not in lower case)", name,
          statement);
  }
}

TALWEN_CHECK_ONLY void CheckNumber(std::string_view n) {
  size_t i = n.starts_with('+') || n.starts_with('-') ? 1 : 0;
  size_t digits = 0, points = 0;
  for (; i < n.size(); ++i) {
    if (IsDigit(n[i])) {
      ++digits;
    } else {
      Check(n[i] == '.' && ++points == 1, "a number that is no plain decimal", n);
    }
  }
  Check(digits > 0, "a number without digits", n);
}

// The call in the form the parser reads: keyword, name, quoted texts with doubled quotes.
TALWEN_CHECK_ONLY std::string Written(const CallStatement& call) {
  std::string out = "exec " + call.routine.text();
  for (size_t i = 0; i < call.arguments.size(); ++i) {
    const Argument& a = call.arguments[i];
    out += i == 0 ? " " : ", ";
    switch (a.kind) {
      case Argument::Kind::kNull:
        out += "Null";
        break;
      case Argument::Kind::kNumber:
        out += a.text;
        break;
      case Argument::Kind::kText:
        out += "N'";
        for (const char c : a.text) out += c == '\'' ? std::string("''") : std::string(1, c);
        out += "'";
        break;
    }
  }
  return out;
}

}  // namespace
}  // namespace talwen::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace talwen::fuzz;
  const std::string_view statement = AsText(data, size);

  if (const auto call =
          Refusable([&] { return talwen::db::postgres::ParseCallStatement(statement); })) {
    if (!call->routine.schema.empty()) CheckIdentifier(call->routine.schema, statement);
    CheckIdentifier(call->routine.name, statement);
    for (const Argument& a : call->arguments) {
      if (a.kind == Argument::Kind::kNumber) CheckNumber(a.text);
      if (a.kind == Argument::Kind::kNull) Check(a.text.empty(), "a Null with a text", a.text);
    }
    const std::string again = Written(*call);
    const auto reread = Refusable([&] { return talwen::db::postgres::ParseCallStatement(again); });
    Check(reread.has_value(), "the call written again is refused", again, statement);
    Check(reread->routine == call->routine && reread->arguments == call->arguments,
          "the call written again parses to another call", again, statement);
  }

  if (const auto name =
          Refusable([&] { return talwen::db::postgres::ParseRoutineName(statement); })) {
    if (!name->schema.empty()) CheckIdentifier(name->schema, statement);
    CheckIdentifier(name->name, statement);
  }
  return 0;
}
