#include "db/odbc/link.h"

#include <cstring>
#include <utility>

namespace talwen::db::odbc {
namespace {

constexpr size_t kChunk = 8192;  // bytes fetched per SQLGetData call for long values
constexpr const char* kClientGone = "The client went away; the statement was cancelled.";

SQLWCHAR* wide_ptr(std::u16string& s) {
  return reinterpret_cast<SQLWCHAR*>(s.data());
}

std::string utf8_of(const SQLWCHAR* text, size_t chars) {
  return Utf8Of(std::u16string_view(reinterpret_cast<const char16_t*>(text), chars));
}

// The bytes a terminated buffer of this C type spends on its terminator.
size_t terminator_of(SQLSMALLINT c_type) {
  return c_type == SQL_C_WCHAR ? sizeof(SQLWCHAR) : c_type == SQL_C_CHAR ? 1 : 0;
}

}  // namespace

std::vector<Diagnostic> DiagnosticsOf(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::vector<Diagnostic> records;
  for (SQLSMALLINT i = 1; i <= 20; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::u16string message(1024, u'\0');
    SQLRETURN r = SQLGetDiagRecW(handle_type, handle, i, state, &native, wide_ptr(message),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (r == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.assign(static_cast<size_t>(length) + 1, u'\0');
      r = SQLGetDiagRecW(handle_type, handle, i, state, &native, wide_ptr(message),
                         static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(r)) break;
    const size_t chars = std::min<size_t>(std::max<SQLSMALLINT>(length, 0), message.size());
    records.push_back({utf8_of(state, 5), native, utf8_of(wide_ptr(message), chars)});
  }
  return records;
}

// ---- Environment ----

Environment::Environment() {
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
    throw DbError(kErrorGeneric, "The ODBC driver manager could not be started.");
  }
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3_80), 0);
}

Environment::~Environment() {
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::vector<InstalledDriver> Environment::Drivers() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<InstalledDriver> drivers;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLCHAR name[256], attributes[2048];
    SQLSMALLINT name_length = 0, attributes_length = 0;
    const SQLRETURN r = SQLDrivers(env_, direction, name, sizeof name, &name_length, attributes,
                                   sizeof attributes, &attributes_length);
    if (!SQL_SUCCEEDED(r)) break;
    direction = SQL_FETCH_NEXT;
    InstalledDriver driver{reinterpret_cast<char*>(name), {}};
    // The attributes: "key=value" strings, each ended by a NUL, the list by another.
    for (const char* a = reinterpret_cast<char*>(attributes); *a; a += std::strlen(a) + 1) {
      const std::string_view pair(a);
      if (pair.starts_with("Driver=")) driver.file = pair.substr(7);
    }
    drivers.push_back(std::move(driver));
  }
  return drivers;
}

// ---- Statement ----

// One statement handle, freed (its results discarded) when it goes. While it lives, the
// link's client is watched, and its going cancels the statement.
class Statement : public ResultStream {
 public:
  Statement(Link& link, std::chrono::seconds timeout) : link_(link) {
    if (link.client_ && link.client_->gone()) throw DbError(kErrorCancelled, kClientGone);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, link.dbc_, &stmt_))) {
      link.Fail(SQL_HANDLE_DBC, link.dbc_);
    }
    SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout.count())), 0);
    if (link.client_ && link.watcher_) {
      watching_ = link.watcher_->Watch(*link.client_, [this] { SQLCancel(stmt_); });
    }
  }
  ~Statement() override {
    if (watching_ != 0) link_.watcher_->Unwatch(watching_);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLHSTMT get() const { return stmt_; }

  // Check the return of an ODBC function on this statement; SQL_NO_DATA passes.
  SQLRETURN Check(SQLRETURN r) {
    if (SQL_SUCCEEDED(r) || r == SQL_NO_DATA) return r;
    if (link_.client_ && link_.client_->gone()) throw DbError(kErrorCancelled, kClientGone);
    link_.Fail(SQL_HANDLE_STMT, stmt_);
  }

  void ExecDirect(std::string_view sql) {
    std::u16string text = Utf16Of(sql);
    Check(SQLExecDirectW(stmt_, wide_ptr(text), static_cast<SQLINTEGER>(text.size())));
  }

  int ColumnCount() override {
    SQLSMALLINT n = 0;
    Check(SQLNumResultCols(stmt_, &n));
    return n;
  }

  ColumnInfo Describe(int column) override {
    ColumnInfo info;
    SQLWCHAR name[256];
    SQLSMALLINT name_length = 0, nullable = 0;
    Check(SQLDescribeColW(stmt_, static_cast<SQLUSMALLINT>(column), name, 256, &name_length,
                          &info.type.code, &info.type.size, &info.type.digits, &nullable));
    info.name = utf8_of(name, std::clamp<SQLSMALLINT>(name_length, 0, 255));
    SQLWCHAR type_name[128];
    SQLSMALLINT type_length = 0;
    if (SQL_SUCCEEDED(SQLColAttributeW(stmt_, static_cast<SQLUSMALLINT>(column), SQL_DESC_TYPE_NAME,
                                       type_name, sizeof type_name, &type_length, nullptr))) {
      info.type.name = utf8_of(type_name, std::clamp<SQLSMALLINT>(type_length, 0, 254) / 2);
    }
    return info;
  }

  bool Fetch() override { return Check(SQLFetch(stmt_)) != SQL_NO_DATA; }

  Value Get(int column, Reading reading) override {
    const SQLSMALLINT c_type = CTypeOf(reading);
    const size_t terminator = terminator_of(c_type);
    const bool chunked = c_type == SQL_C_WCHAR || c_type == SQL_C_CHAR || c_type == SQL_C_BINARY;
    std::string bytes;
    char buffer[kChunk];
    for (;;) {
      SQLLEN indicator = 0;
      const SQLRETURN r = Check(SQLGetData(stmt_, static_cast<SQLUSMALLINT>(column), c_type, buffer,
                                           chunked ? sizeof buffer : 64, &indicator));
      if (r == SQL_NO_DATA) break;  // the last chunk was read
      if (indicator == SQL_NULL_DATA) return Value::null();
      if (!chunked) {
        bytes.assign(buffer, 64);
        break;
      }
      const size_t room = sizeof buffer - terminator;
      if (indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(room)) {
        bytes.append(buffer, room);  // more follows
        continue;
      }
      bytes.append(buffer, static_cast<size_t>(indicator));
      break;
    }
    return ValueOf(reading, bytes);
  }

  bool NextResult() override { return Check(SQLMoreResults(stmt_)) != SQL_NO_DATA; }

 private:
  Link& link_;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  uint64_t watching_ = 0;  // the registration with the link's watcher
};

// ---- Link ----

std::unique_ptr<Link> Link::Open(Environment& env, const Target& target) {
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env.get(), &dbc))) {
    throw OdbcError(DiagnosticsOf(SQL_HANDLE_ENV, env.get()), kErrorGeneric);
  }
  std::unique_ptr<Link> link(new Link(dbc, target.dialect));
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(
                        static_cast<SQLULEN>(std::max<int64_t>(target.login_timeout.count(), 0))),
                    0);
  std::u16string text = Utf16Of(target.connection_string);
  SQLWCHAR completed[1024];
  SQLSMALLINT completed_length = 0;
  const SQLRETURN r =
      SQLDriverConnectW(dbc, nullptr, wide_ptr(text), static_cast<SQLSMALLINT>(text.size()),
                        completed, 1024, &completed_length, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(r)) {
    const std::vector<Diagnostic> records = DiagnosticsOf(SQL_HANDLE_DBC, dbc);
    throw DbError(kErrorGeneric, DescriptionOf(records));
  }
  link->connected_ = true;
  return link;
}

Link::~Link() {
  if (connected_) SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
}

void Link::Fail(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::vector<Diagnostic> records = DiagnosticsOf(handle_type, handle);
  if (FailureOf(records) == Failure::kConnectionLost) broken_ = true;
  SQLULEN dead = SQL_CD_FALSE;
  if (!broken_ &&
      SQL_SUCCEEDED(SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
      dead == SQL_CD_TRUE) {
    broken_ = true;
  }
  if (broken_ && FailureOf(records) != Failure::kConnectionLost) {
    records.insert(records.begin(), {"08S01", 0, "The connection to the database was lost."});
  }
  throw OdbcError(records, kErrorStatement);
}

bool Link::Reusable() {
  if (broken_) return false;
  SQLULEN dead = SQL_CD_FALSE;
  if (SQL_SUCCEEDED(SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
      dead == SQL_CD_TRUE) {
    broken_ = true;
  }
  return !broken_;
}

void Link::Settle() {
  if (broken_ || dialect_ != Dialect::kSqlServer) return;
  // Also, and above all, for a client that has gone.
  ClientWatch* const client = std::exchange(client_, nullptr);
  try {
    Statement statement(*this, std::chrono::seconds(30));
    statement.ExecDirect("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION");
  } catch (const DbError&) {
    broken_ = true;  // its state is unknown: not given to another request
  }
  client_ = client;
}

std::vector<ResultSet> Link::Execute(std::string_view sql, std::chrono::seconds timeout) {
  Statement statement(*this, timeout);
  statement.ExecDirect(sql);
  return ReadResults(statement);
}

std::vector<ProcedureColumn> Link::ProcedureColumns(const RoutineName& name,
                                                    std::chrono::seconds timeout) {
  if (!escape_known_) {
    SQLCHAR escape[8] = {};
    SQLSMALLINT length = 0;
    if (SQL_SUCCEEDED(
            SQLGetInfo(dbc_, SQL_SEARCH_PATTERN_ESCAPE, escape, sizeof escape, &length))) {
      pattern_escape_ = reinterpret_cast<char*>(escape);
    }
    escape_known_ = true;
  }
  // The schema and name are search patterns: their "_" and "%" must match only themselves.
  const auto pattern = [this](std::string_view text) {
    std::string out;
    for (const char c : text) {
      if ((c == '_' || c == '%') && !pattern_escape_.empty()) out += pattern_escape_;
      out.push_back(c);
    }
    return Utf16Of(out);
  };
  std::u16string catalog = Utf16Of(name.catalog);
  std::u16string schema = pattern(name.schema);
  std::u16string procedure = pattern(name.name);

  Statement statement(*this, timeout);
  statement.Check(SQLProcedureColumnsW(
      statement.get(), name.catalog.empty() ? nullptr : wide_ptr(catalog),
      static_cast<SQLSMALLINT>(catalog.size()), name.schema.empty() ? nullptr : wide_ptr(schema),
      static_cast<SQLSMALLINT>(schema.size()), wide_ptr(procedure),
      static_cast<SQLSMALLINT>(procedure.size()), nullptr, 0));
  const std::vector<ResultSet> sets = ReadResults(statement);
  std::vector<ProcedureColumn> rows;
  for (const Row& row : sets.front().rows) {
    // PROCEDURE_SCHEM 2, PROCEDURE_NAME 3, COLUMN_NAME 4, COLUMN_TYPE 5, DATA_TYPE 6,
    // TYPE_NAME 7, COLUMN_SIZE 8, DECIMAL_DIGITS 10.
    if (row.size() < 10) break;
    ProcedureColumn c;
    c.schema = row[1].to_text();
    c.procedure = row[2].to_text();
    c.name = row[3].to_text();
    c.column_type = static_cast<SQLSMALLINT>(row[4].as_int());
    c.type.code = static_cast<SQLSMALLINT>(row[5].as_int());
    c.type.name = row[6].to_text();
    c.type.size =
        row[7].is_integer() ? static_cast<SQLULEN>(std::max<int64_t>(row[7].as_int(), 0)) : 0;
    c.type.digits = static_cast<SQLSMALLINT>(row[9].as_int());
    rows.push_back(std::move(c));
  }
  return rows;
}

CallResult Link::Call(const Routine& routine, const std::vector<Value>& values,
                      std::chrono::seconds timeout) {
  Statement statement(*this, timeout);
  // Position 0 is bound only when the call text has its "? =".
  const size_t first = routine.has_return_value ? 0 : 1;
  std::vector<Binding> bindings;
  bindings.reserve(routine.parameters.size());
  for (size_t i = first; i < routine.parameters.size(); ++i) {
    const RoutineParameter& p = routine.parameters[i];
    const Value none;
    bindings.push_back(BindingOf(i < values.size() && i > 0 ? values[i] : none, p.type,
                                 p.parameter.direction == Direction::kReturnValue
                                     ? Direction::kOutput
                                     : p.parameter.direction));
    Binding& b = bindings.back();
    statement.Check(SQLBindParameter(statement.get(), static_cast<SQLUSMALLINT>(i - first + 1),
                                     b.io, b.c_type, b.sql_type, b.column_size, b.digits,
                                     b.buffer.data(), static_cast<SQLLEN>(b.buffer.size()),
                                     &b.indicator));
  }
  statement.ExecDirect(routine.CallText());
  return ReadCall(statement, [&] {
    std::vector<Value> out(routine.parameters.size(), Value::null());
    for (size_t i = first; i < routine.parameters.size(); ++i) {
      const Binding& b = bindings[i - first];
      if (b.io == SQL_PARAM_INPUT) {
        out[i] = i < values.size() ? values[i] : Value();
      } else if (b.indicator != SQL_NULL_DATA) {
        const size_t room = b.buffer.size() - terminator_of(b.c_type);
        const size_t length =
            b.indicator < 0 ? room : std::min(room, static_cast<size_t>(b.indicator));
        out[i] = ValueOf(b.reading, std::string_view(b.buffer.data(), length));
      }
    }
    return out;
  });
}

}  // namespace talwen::db::odbc
