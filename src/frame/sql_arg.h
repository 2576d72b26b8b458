// Statement text: FormatSqlArg renders one argument; Sql joins a template.
//
// The statement text is the wire format to the database, so its rendering is exact:
// FormatSqlArg("O'Brien", "C") is " N'O''Brien'" (note the leading blank), an empty or
// all-blank value is "Null", numbers keep only digits, "." and "-" (with a blank between two
// "-", which would otherwise start a comment).
#pragma once

#include <string>
#include <string_view>

namespace talwen {

// Render value as an SQL literal of the given type code ("C" text, "N" number, the fixed
// decimals "N(15,d)" and the date codes such as "YYYY-MM-DD"); any other code gives "Null".
std::string FormatSqlArg(std::string_view value, std::string_view type_code);

// A statement built from a template: the prefix as given (procedure name and its blank), then
// the arguments separated by ", ".
//
//   Sql("rf_adjust_carton_qty ").text(client).text(carton).number(qty).text(op)
//   -> rf_adjust_carton_qty  N'C01',  N'CTN9', 12,  N'JOE'
class Sql {
 public:
  explicit Sql(std::string_view prefix) : text_(prefix) {}

  Sql& text(std::string_view value) { return arg(FormatSqlArg(value, "C")); }    // C(value)
  Sql& number(std::string_view value) { return arg(FormatSqlArg(value, "N")); }  // N(value)
  // A constant of the template, written as it stands ("'Y' ", "Y", "1").
  Sql& literal(std::string_view constant) { return arg(constant); }
  // Text added as it stands; the next argument follows it with no separator (templates
  // that join arguments with "," alone).
  Sql& raw(std::string_view text) {
    text_.append(text);
    first_ = true;
    return *this;
  }

  const std::string& str() const { return text_; }
  operator std::string_view() const { return text_; }

 private:
  Sql& arg(std::string_view rendered) {
    if (!first_) text_.append(", ");
    first_ = false;
    text_.append(rendered);
    return *this;
  }

  std::string text_;
  bool first_ = true;
};

}  // namespace talwen
