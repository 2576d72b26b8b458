// The call bridge's grammar: the one procedure call a statement text may hold.
//
// The engine's statements are procedure calls in the text form a handler renders:
//
//   [exec | execute] name[.name] [argument [, argument]...]
//
// where an argument is N'text' or 'text' (a doubled quote stands for one quote), a number
// (optional sign, digits, optional fraction), Null in any letter case, or a bare word (taken
// as text). Whitespace between tokens is free. Anything else, a second statement, a comment, a
// parenthesis or trailing text, is refused with a statement error, so nothing but the one call
// ever reaches the database, and its values travel as parameters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talwen::db::postgres {

// A routine's name as the database folds it: unquoted identifiers in lower case.
struct RoutineName {
  std::string schema;  // "" when the name is unqualified (found on the search path)
  std::string name;

  std::string text() const { return schema.empty() ? name : schema + "." + name; }
  friend bool operator==(const RoutineName&, const RoutineName&) = default;
};

struct Argument {
  enum class Kind { kText, kNumber, kNull };
  Kind kind = Kind::kNull;
  std::string text;  // the text's characters, or the number as written; "" for Null

  friend bool operator==(const Argument&, const Argument&) = default;
};

struct CallStatement {
  RoutineName routine;
  std::vector<Argument> arguments;
};

// Parse statement as one procedure call. Throws DbError (kErrorStatement) for anything else.
CallStatement ParseCallStatement(std::string_view statement);

// Parse a routine name given alone (the procedure call form's procedure). Throws DbError
// (kErrorStatement) when it is not an identifier, optionally schema-qualified.
RoutineName ParseRoutineName(std::string_view name);

}  // namespace talwen::db::postgres
