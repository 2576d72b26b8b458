#include "db/postgres/call_statement.h"

#include "base/text.h"
#include "db/connection.h"

namespace talwen::db::postgres {
namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
// Identifier characters as the database takes them unquoted: letters (any byte of a UTF-8
// sequence counts as one), "_", and after the first character digits and "$".
bool starts_word(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool continues_word(char c) {
  return starts_word(c) || is_digit(c) || c == '$';
}

// A cursor over the statement text that reports where it stopped making sense.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool at_end() const { return pos_ >= text_.size(); }
  char peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  void advance() { ++pos_; }
  bool skip_space() {
    const size_t start = pos_;
    while (!at_end() && is_space(text_[pos_])) ++pos_;
    return pos_ > start;
  }

  // An identifier at the cursor, or "" when none starts here.
  std::string_view word() {
    if (at_end() || !starts_word(text_[pos_])) return {};
    const size_t start = pos_;
    while (!at_end() && continues_word(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  RoutineName routine() {
    const std::string_view first = word();
    if (first.empty()) fail("a procedure name");
    if (peek() != '.') return {"", to_lower(first)};
    ++pos_;
    const std::string_view second = word();
    if (second.empty()) fail("a procedure name after the schema name");
    if (peek() == '.') fail("the end of the procedure name (a schema and a name at most)");
    return {to_lower(first), to_lower(second)};
  }

  Argument argument() {
    const char c = peek();
    if (c == '\'') return text(1);
    if ((c == 'N' || c == 'n') && peek(1) == '\'') return text(2);
    if (c == '+' || c == '-' || c == '.' || is_digit(c)) return number();
    const std::string_view bare = word();
    if (bare.empty()) fail("an argument");
    if (iequals(bare, "null")) return {Argument::Kind::kNull, ""};
    return {Argument::Kind::kText, std::string(bare)};
  }

  [[noreturn]] void fail(std::string_view expected) const {
    std::string message = "Incorrect procedure call: expected " + std::string(expected);
    if (at_end()) {
      message += " at the end of the statement.";
    } else {
      message += " at character " + std::to_string(pos_ + 1) + ", found '";
      message += text_.substr(pos_, 12);
      message += "'.";
    }
    throw DbError(kErrorStatement, message);
  }

 private:
  // A quoted text whose opening quote lies `skip` characters ahead ("'" or "N'").
  Argument text(size_t skip) {
    const size_t start = pos_;
    pos_ += skip;
    Argument arg{Argument::Kind::kText, ""};
    for (;;) {
      if (at_end()) {
        pos_ = start;
        fail("a closing quote for the text that starts here");
      }
      const char c = text_[pos_++];
      if (c == '\'') {
        if (peek() != '\'') break;
        ++pos_;
      }
      arg.text.push_back(c);
    }
    return arg;
  }

  Argument number() {
    const size_t start = pos_;
    if (peek() == '+' || peek() == '-') ++pos_;
    size_t digits = 0;
    while (is_digit(peek())) ++pos_, ++digits;
    if (peek() == '.') {
      ++pos_;
      while (is_digit(peek())) ++pos_, ++digits;
    }
    if (digits == 0 || continues_word(peek()) || peek() == '.' || peek() == '\'') {
      pos_ = start;
      fail("a number (an optional sign, digits and an optional fraction)");
    }
    return {Argument::Kind::kNumber, std::string(text_.substr(start, pos_ - start))};
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

CallStatement ParseCallStatement(std::string_view statement) {
  Scanner in(statement);
  in.skip_space();
  CallStatement call;
  // A leading "exec" or "execute" is the keyword, never the procedure's name.
  {
    Scanner probe = in;
    const std::string_view first = probe.word();
    if (iequals(first, "exec") || iequals(first, "execute")) {
      in = probe;
      in.skip_space();
    }
  }
  call.routine = in.routine();
  in.skip_space();
  if (in.at_end()) return call;
  for (;;) {
    call.arguments.push_back(in.argument());
    in.skip_space();
    if (in.at_end()) return call;
    if (in.peek() != ',') in.fail("',' or the end of the statement");
    in.advance();
    in.skip_space();
  }
}

RoutineName ParseRoutineName(std::string_view name) {
  Scanner in(name);
  in.skip_space();
  RoutineName routine = in.routine();
  in.skip_space();
  if (!in.at_end()) in.fail("the end of the procedure name");
  return routine;
}

}  // namespace talwen::db::postgres
