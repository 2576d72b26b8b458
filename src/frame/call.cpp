#include "frame/call.h"

#include "base/text.h"
#include "frame/reply.h"

namespace talwen {
namespace {

constexpr int32_t kStoredTimeout = -32767;

[[noreturn]] void not_found(std::string_view what) {
  throw db::DbError(db::kErrorItemNotFound,
                    "Item cannot be found in the collection corresponding to the requested name "
                    "or ordinal. (" +
                        std::string(what) + ")");
}

[[noreturn]] void closed() {
  throw NoRecord(db::kErrorGeneric, "Operation is not allowed when the object is closed.");
}

[[noreturn]] void no_record() {
  throw NoRecord(db::kErrorGeneric, "Either BOF or EOF is True.");
}

}  // namespace

// ---- Recordset ----

Recordset::Recordset(std::vector<db::ResultSet> sets) : sets_(std::move(sets)) {}

bool Recordset::is_open() const {
  return set_ < sets_.size() && sets_[set_].is_open();
}

void Recordset::require_open() const {
  if (!is_open()) closed();
}

const db::ResultSet& Recordset::current() const {
  require_open();
  return sets_[set_];
}

bool Recordset::bof() const {
  return current().rows.empty();
}

bool Recordset::eof() const {
  return row_ >= current().rows.size();
}

void Recordset::move_next() {
  if (eof()) no_record();
  ++row_;
}

const Value& Recordset::field(std::string_view name) const {
  const db::ResultSet& set = current();
  for (size_t c = 0; c < set.columns.size(); ++c) {
    if (!iequals(set.columns[c].name, name)) continue;
    if (row_ >= set.rows.size()) no_record();
    return set.rows[row_][c];
  }
  not_found(name);
}

bool Recordset::next_recordset() {
  if (set_ < sets_.size()) ++set_;
  row_ = 0;
  return set_ < sets_.size();
}

// ---- Command ----

Command::Command(db::Connection& connection, std::string procedure)
    : connection_(connection),
      procedure_(std::move(procedure)),
      parameters_(connection_.parameters(procedure_)),
      values_(parameters_.size()) {}

Command& Command::set(int position, Value value) {
  if (position < 0 || position >= static_cast<int>(values_.size())) {
    not_found(std::to_string(position));
  }
  values_[position] = std::move(value);
  return *this;
}

Command& Command::set(std::string_view name, Value value) {
  return set(index_of(name), std::move(value));
}

Command& Command::inputs(std::initializer_list<std::string_view> texts) {
  int position = 1;
  for (const std::string_view text : texts) set(position++, text);
  return *this;
}

int Command::index_of(std::string_view name) const {
  for (size_t i = 0; i < parameters_.size(); ++i) {
    if (iequals(parameters_[i].name, name)) return static_cast<int>(i);
  }
  not_found(name);
}

void Command::Execute() {
  db::CallResult result = connection_.call(procedure_, values_);
  result.values.resize(values_.size());
  values_ = std::move(result.values);
  result_sets_ = std::move(result.result_sets);
}

const Value& Command::operator[](std::string_view name) const {
  return values_[index_of(name)];
}

std::string Command::status_reply() const {
  return StatusReply(output("@sqlstatus"), output("@sqlmsg"));
}

// ---- Call ----

void Call::NoteFailure(const std::exception& e) {
  if (failure.kind == Failure::kNone) failure = FailureOf(e, session);
}

const std::string& Call::item_no() const {
  const std::string& item_no = (*this)["item_no"];
  return item_no.empty() ? (*this)["item"] : item_no;
}

void Call::note_key(std::string_view key) const {
  for (const std::string& k : record->keys) {
    if (k == key) return;
  }
  record->keys.emplace_back(key);
}

std::vector<db::ResultSet> Call::run(std::string_view sql, std::string_view form) {
  sql_text.assign(sql);
  if (record) record->statements.push_back(std::string(form) + " " + sql_text);
  return connection.execute(sql);
}

ResultGrid Call::grid_of(std::vector<db::ResultSet> sets) {
  std::vector<db::Column> columns;
  if (!sets.empty() && sets.front().is_open()) columns = sets.front().columns;
  std::optional<std::vector<db::Row>> rows;
  for (db::ResultSet& set : sets) {
    if (set.rows.empty()) continue;
    rows = std::move(set.rows);
    if (set.is_open()) columns = std::move(set.columns);
  }
  return ResultGrid(std::move(columns), std::move(rows));
}

ResultGrid Call::ExecuteToGrid(std::string_view sql) {
  last_sql_error = 0;
  last_sql_message.clear();
  last_row_index = -1;
  try {
    ResultGrid grid = grid_of(run(sql, "grid"));
    last_row_index = grid.last_row();
    return grid;
  } catch (const db::DbError& e) {
    last_sql_error = e.number() == db::kErrorTimeout ? kStoredTimeout : e.number();
    last_sql_message = e.what();
    NoteFailure(e);
    return ResultGrid();
  }
}

TypedGrid Call::ExecuteToTypedGrid(std::string_view sql) {
  const int row_index = last_row_index;
  TypedGrid grid(ExecuteToGrid(sql));
  last_row_index = row_index;
  return grid;
}

Recordset Call::OpenRecordset(std::string_view sql) {
  return Recordset(run(sql, "recordset"));
}

Recordset Call::OpenLastRecordset(std::string_view sql) {
  // One execution; the procedure's effects happen once. Step to the last result set.
  Recordset recordset(run(sql, "recordset"));
  for (size_t n = recordset.result_set_count(); n > 1; --n) recordset.next_recordset();
  return recordset;
}

Command Call::OpenCommand(std::string_view procedure) {
  sql_text.assign(procedure);
  if (record) record->statements.push_back("procedure " + sql_text);
  return Command(connection, std::string(procedure));
}

}  // namespace talwen
