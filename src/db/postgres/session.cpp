#include "db/postgres/session.h"

#include <poll.h>

#include <cstring>

#include "base/text.h"

namespace talwen::db::postgres {
namespace {

constexpr std::string_view kQueryCanceled = "57014";

void ignore_notice(void* /*arg*/, const char* /*message*/) {}

}  // namespace

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  out.push_back('"');
  return out;
}

std::unique_ptr<Session> Session::Open(const ConnectParams& params, const Timeouts& timeouts) {
  std::vector<const char*> keywords, values;
  for (const auto& [keyword, value] : params) {
    keywords.push_back(keyword.c_str());
    values.push_back(value.c_str());
  }
  const std::string connect_timeout = std::to_string(timeouts.connect.count());
  const std::string options =
      "-c DateStyle=ISO,YMD -c IntervalStyle=postgres -c statement_timeout=" +
      std::to_string(timeouts.command.count() * 1000);
  const std::pair<const char*, const char*> fixed[] = {
      {"connect_timeout", connect_timeout.c_str()},
      {"client_encoding", "UTF8"},
      {"application_name", "talwen"},
      {"options", options.c_str()},
      // Notice a peer that vanished without closing (a cut network) within a minute.
      {"keepalives", "1"},
      {"keepalives_idle", "30"},
      {"keepalives_interval", "10"},
      {"keepalives_count", "3"},
  };
  for (const auto& [keyword, value] : fixed) {
    keywords.push_back(keyword);
    values.push_back(value);
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);

  std::unique_ptr<Session> session(
      new Session(PQconnectdbParams(keywords.data(), values.data(), 0)));
  PGconn* conn = session->conn_.get();
  if (conn == nullptr) throw DbError(kErrorGeneric, "Out of memory opening a connection.");
  if (PQstatus(conn) != CONNECTION_OK) throw DbError(kErrorGeneric, one_line(PQerrorMessage(conn)));
  PQsetNoticeProcessor(conn, ignore_notice, nullptr);
  session->command_timeout_ = timeouts.command;

  // How many fraction digits the session's money format shows (2 for most locales).
  try {
    const Result sample = session->Run("SELECT 1::money::text");
    int digits = 0;
    for (const char* c = PQgetvalue(sample.get(), 0, 0); *c; ++c) digits += *c >= '0' && *c <= '9';
    session->money_digits_ = digits - 1;
  } catch (const DbError& e) {
    throw DbError(kErrorGeneric, e.what());
  }
  return session;
}

Result Session::Run(const std::string& sql, const std::vector<const char*>& params) {
  Result result(PQexecParams(conn_.get(), sql.c_str(), static_cast<int>(params.size()), nullptr,
                             params.data(), nullptr, nullptr, 0));
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(result.get());
  return result;
}

void Session::Fail(const PGresult* result) {
  const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  std::string message = one_line(primary ? primary : PQerrorMessage(conn_.get()));
  if (message.empty()) message = "The connection to the database failed.";
  std::string sqlstate = state ? state : "";
  // The connection is gone, or the server said it is ending it (connection exceptions, an
  // administrator's or a crash's shutdown).
  if (PQstatus(conn_.get()) != CONNECTION_OK || sqlstate.starts_with("08") || sqlstate == "57P01" ||
      sqlstate == "57P02" || sqlstate == "57P03") {
    broken_ = true;
  }
  if (broken_) throw ServerError(kErrorGeneric, message, std::move(sqlstate));
  if (sqlstate == kQueryCanceled) throw ServerError(kErrorTimeout, message, std::move(sqlstate));
  throw ServerError(kErrorStatement, message, std::move(sqlstate));
}

void Session::Rollback() {
  if (broken_ || PQtransactionStatus(conn_.get()) == PQTRANS_IDLE) return;
  const Result result(PQexec(conn_.get(), "ROLLBACK"));
  if (PQstatus(conn_.get()) != CONNECTION_OK) broken_ = true;
}

bool Session::Reusable() {
  PGconn* conn = conn_.get();
  if (broken_ || PQstatus(conn) != CONNECTION_OK || PQtransactionStatus(conn) != PQTRANS_IDLE) {
    return false;
  }
  // An idle connection has nothing to read; anything there is the server saying goodbye.
  pollfd fd{PQsocket(conn), POLLIN, 0};
  return ::poll(&fd, 1, 0) == 0;
}

void Session::SetCommandTimeout(std::chrono::seconds timeout) {
  if (timeout == command_timeout_) return;
  Command("SET statement_timeout = " + std::to_string(timeout.count() * 1000));
  command_timeout_ = timeout;
}

}  // namespace talwen::db::postgres
