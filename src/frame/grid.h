// ResultGrid: the rows of one result set as a handler reads them, and the small value helpers
// shared by handlers (lookups by column name, Null and date conversions).
//
// A grid is indexed (column, row) from 0. A grid that holds no rows is "unset": reading any
// cell of it throws NoRows, which ends the handler with the empty reply, just as a handler
// that reads past what the database returned must end.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"

namespace talwen {

// A handler read past what the database returned (no rows, no such cell): it ends with the
// empty reply, as a listing without rows does, but nothing has failed.
class NoRows : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

class ResultGrid {
 public:
  ResultGrid() = default;
  ResultGrid(std::vector<db::Column> columns, std::optional<std::vector<db::Row>> rows)
      : columns_(std::move(columns)), rows_(std::move(rows)) {}

  // The value of column c in row r. Throws NoRows when there is no such cell.
  const Value& operator()(int c, int r) const;
  bool has_rows() const { return rows_.has_value() && !rows_->empty(); }
  // The upper row index: row count - 1, or -1 when unset.
  int last_row() const { return has_rows() ? static_cast<int>(rows_->size()) - 1 : -1; }
  int column_count() const { return static_cast<int>(columns_.size()); }
  // The upper column index; -1 when there are no names.
  int last_column() const { return column_count() - 1; }
  const std::string& column_name(int c) const { return columns_.at(c).name; }
  int32_t column_type(int c) const { return columns_.at(c).type; }
  const std::vector<db::Column>& columns() const { return columns_; }

 private:
  std::vector<db::Column> columns_;
  std::optional<std::vector<db::Row>> rows_;
};

// The index of the first column whose name, trimmed of blanks and upper-cased, equals name
// treated the same way; -1 when none.
int FindColumnIndex(const ResultGrid& grid, std::string_view name);

// The value of the first column so named (FindColumnIndex) in row r; the empty text when no
// column matches. A grid without column names (the statement failed or gave no result with
// columns) has nothing to look a name up in: that throws NoRows, so a handler that reads
// named columns without testing last_sql_error ends with the empty reply.
Value GridValueByName(const ResultGrid& grid, std::string_view name, int r);

// A grid whose columns carry a third cell for the handler's own use (ExecuteToTypedGrid).
class TypedGrid : public ResultGrid {
 public:
  TypedGrid() = default;
  explicit TypedGrid(ResultGrid grid)
      : ResultGrid(std::move(grid)), marks_(static_cast<size_t>(column_count())) {}
  const Value& mark(int c) const { return marks_.at(c); }
  void set_mark(int c, Value v) { marks_.at(c) = std::move(v); }

 private:
  std::vector<Value> marks_;
};

// Store value in the third cell of the first column named key (trimmed, case-blind); return
// that column's index, or -1 when none matches.
int SetGridValueByKey(TypedGrid& grid, std::string_view key, Value value);

// default_text when value is Null, else the value's text.
std::string NullToText(const Value& value, std::string_view default_text = "");

// A value as "yyyy-mm-dd", or "": integers (16/32-bit), singles, doubles (as date serial
// numbers naming a day from 100-01-01 to 9999-12-31) and dates are formatted; a valid date
// text too, except 1 January 1900; everything else (Null, Booleans, decimals, currency, 64-bit
// integers, other text, serials outside those days) gives "".
std::string FormatIsoDate(const Value& value);

// Parse a date text: "yyyy-mm-dd", "yyyy/mm/dd" (with an optional time "hh:mm[:ss]" after a
// blank or "T"), "dd/mm/yyyy", "dd-mm-yyyy", "dd.mm.yyyy" (day first), and "dd Mon yyyy".
// Returns nullopt when the text names no real day.
std::optional<DateTime> ParseDateText(std::string_view text);

}  // namespace talwen
