#include "db/postgres/session.h"

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/text.h"

namespace talwen::db::postgres {
namespace {

constexpr std::string_view kQueryCanceled = "57014";
constexpr const char* kClientGone = "The client went away; the statement was cancelled.";
// Statements one connection keeps prepared before it starts afresh.
constexpr size_t kMostPrepared = 1000;

void ignore_notice(void* /*arg*/, const char* /*message*/) {}

// Connect without blocking the thread: each wait for the server is the waiter's. The connect
// time-out bounds the whole attempt, as the blocking connect bounds each address it tries.
PGconn* Connect(const char* const* keywords, const char* const* values, const Timeouts& timeouts) {
  PGconn* conn = PQconnectStartParams(keywords, values, 0);
  if (conn == nullptr || PQstatus(conn) == CONNECTION_BAD) return conn;
  const auto deadline = std::chrono::steady_clock::now() + timeouts.connect;
  PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
  while (polling != PGRES_POLLING_OK && polling != PGRES_POLLING_FAILED) {
    int wait = -1;
    if (timeouts.connect.count() > 0) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        PQfinish(conn);
        throw DbError(kErrorGeneric, "timeout expired");
      }
      wait = static_cast<int>(left.count());
    }
    const short events = polling == PGRES_POLLING_READING ? POLLIN : POLLOUT;
    pollfd socket{PQsocket(conn), events, 0};
    if (PollWith(timeouts.waiter, &socket, 1, wait) < 0 && errno != EINTR) break;
    if (socket.revents != 0) polling = PQconnectPoll(conn);
  }
  return conn;
}

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
      new Session(timeouts.waiter ? Connect(keywords.data(), values.data(), timeouts)
                                  : PQconnectdbParams(keywords.data(), values.data(), 0)));
  PGconn* conn = session->conn_.get();
  if (conn == nullptr) throw DbError(kErrorGeneric, "Out of memory opening a connection.");
  if (PQstatus(conn) != CONNECTION_OK) throw DbError(kErrorGeneric, one_line(PQerrorMessage(conn)));
  PQsetNoticeProcessor(conn, ignore_notice, nullptr);
  session->command_timeout_ = timeouts.command;
  // The request's waiter, for the first statement only: the session may serve others later.
  session->waiter_ = timeouts.waiter;

  // How many fraction digits the session's money format shows (2 for most locales).
  try {
    const Result sample = session->Run("SELECT 1::money::text");
    int digits = 0;
    for (const char* c = PQgetvalue(sample.get(), 0, 0); *c; ++c) digits += *c >= '0' && *c <= '9';
    session->money_digits_ = digits - 1;
  } catch (const DbError& e) {
    throw DbError(kErrorGeneric, e.what());
  }
  session->waiter_ = nullptr;
  return session;
}

bool Session::Prepared(std::string_view key) const {
  return prepared_.find(std::string(key)) != prepared_.end();
}

std::vector<Result> Session::RoundTrip(std::span<const Statement> statements) {
  PGconn* conn = conn_.get();
  if (client_ && client_->gone()) throw ServerError(kErrorCancelled, kClientGone, {});
  cancelled_ = false;
  // Statements left behind by routines that changed are never run again; rather than track
  // them one by one, start afresh now and then.
  if (prepared_.size() >= kMostPrepared && PQtransactionStatus(conn) == PQTRANS_IDLE) {
    for (const Statement& s : statements) {
      if (s.key.empty() || Prepared(s.key)) continue;
      prepared_.clear();
      Command("DEALLOCATE ALL");
      break;
    }
  }

  if (PQenterPipelineMode(conn) != 1) Fail(nullptr);
  ++round_trips_;
  // What was queued, in order: each statement's execution, after its preparation when new.
  struct Queued {
    size_t statement;
    std::string prepared_name;  // not empty: the preparation of this name
  };
  std::vector<Queued> queued;
  queued.reserve(statements.size() + 1);
  bool sent = true;
  for (size_t i = 0; i < statements.size() && sent; ++i) {
    const Statement& s = statements[i];
    const int count = static_cast<int>(s.values.size());
    if (s.key.empty()) {
      sent = PQsendQueryParams(conn, s.text.c_str(), count, nullptr, s.values.data(), nullptr,
                               nullptr, 0) == 1;
      queued.push_back({i, {}});
      continue;
    }
    std::string name;
    if (const auto it = prepared_.find(s.key); it != prepared_.end()) {
      name = it->second;
    } else {
      name = "s" + std::to_string(++statements_named_);
      sent = PQsendPrepare(conn, name.c_str(), s.text.c_str(), count, nullptr) == 1;
      queued.push_back({i, name});
    }
    sent = sent && PQsendQueryPrepared(conn, name.c_str(), count, s.values.data(), nullptr, nullptr,
                                       0) == 1;
    queued.push_back({i, {}});
  }
  if (!sent || PQpipelineSync(conn) != 1) {
    broken_ = true;  // what reached the server is unknown
    Fail(nullptr);
  }

  std::vector<Result> results(statements.size());
  Result failure;
  bool lost = false;
  for (const Queued& q : queued) {
    // One statement's results end with a null.
    for (Result r = Next(); r; r = Next()) {
      const ExecStatusType status = PQresultStatus(r.get());
      if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        if (q.prepared_name.empty()) {
          results[q.statement] = std::move(r);
        } else {
          prepared_.emplace(statements[q.statement].key, q.prepared_name);
        }
      } else if (status != PGRES_PIPELINE_ABORTED) {  // aborted: skipped after a failure
        if (!failure) failure = std::move(r);
        if (PQstatus(conn) != CONNECTION_OK) break;
      }
    }
    lost = PQstatus(conn) != CONNECTION_OK;
    if (lost) break;
  }
  if (!lost) {
    const Result sync = Next();
    if (!sync || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC) broken_ = true;
  }
  if (lost || PQexitPipelineMode(conn) != 1) broken_ = true;
  if (failure || broken_) Fail(failure.get());
  return results;
}

Result Session::Next() {
  PGconn* conn = conn_.get();
  // Wait here rather than inside libpq, so that the wait is one place of our own, where the
  // client can be watched beside the server.
  while (PQisBusy(conn)) {
    pollfd fds[2] = {{PQsocket(conn), POLLIN, 0},
                     {client_ ? client_->fd() : -1, ClientWatch::kEvents, 0}};
    if (fds[0].fd < 0) break;
    if (PollWith(waiter_, fds, fds[1].fd < 0 ? 1 : 2, -1) < 0 && errno != EINTR) break;
    if (fds[1].revents != 0 && client_->Judge(fds[1].revents)) Cancel();
    if (PQconsumeInput(conn) != 1) break;  // lost: PQgetResult says so
  }
  return Result(PQgetResult(conn));
}

void Session::Cancel() {
  cancelled_ = true;
  // The server ends the statement and answers it with an error; the round trip then fails,
  // and the caller rolls back. A cancel that cannot be sent leaves the statement to finish.
  PGcancel* cancel = PQgetCancel(conn_.get());
  if (cancel == nullptr) return;
  // Sending it connects to the server anew and blocks: aside, when the waiter can.
  AsideWith(waiter_, [cancel] {
    char error[256];
    PQcancel(cancel, error, sizeof error);
  });
  PQfreeCancel(cancel);
}

Result Session::Run(std::string_view sql, std::span<const char* const> params) {
  const Statement statement{std::string(sql), {}, params};
  return std::move(RoundTrip({&statement, 1}).front());
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
  if (sqlstate == kQueryCanceled && cancelled_) {
    throw ServerError(kErrorCancelled, kClientGone, std::move(sqlstate));
  }
  if (sqlstate == kQueryCanceled) throw ServerError(kErrorTimeout, message, std::move(sqlstate));
  throw ServerError(kErrorStatement, message, std::move(sqlstate));
}

void Session::Rollback() {
  if (broken_ || PQtransactionStatus(conn_.get()) == PQTRANS_IDLE) return;
  // Also, and above all, for a client that has gone.
  ClientWatch* const client = std::exchange(client_, nullptr);
  try {
    Command("ROLLBACK");
  } catch (const DbError&) {
    // Not reusable now: the pool closes it.
  }
  client_ = client;
}

bool Session::Returnable() const {
  PGconn* conn = conn_.get();
  return !broken_ && PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) == PQTRANS_IDLE;
}

bool Session::Reusable() {
  PGconn* conn = conn_.get();
  if (!Returnable()) return false;
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
