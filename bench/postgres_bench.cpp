// The PostgreSQL provider alone against the local cluster: one pooled call (check out a
// connection, call, give it back) of a procedure handing back a cursor and of a function,
// beside bare libpq doing the same pipelined work on one connection with prepared statements
// (the floor). Each reports microseconds per call and round trips per call.
//
//   eval "$(scripts/db.sh env)"; build/bench/postgres_bench
//
// Without TALWEN_PGHOST etc. every benchmark is skipped. The calls are the test routines'
// talwen_test.echo_text (a procedure opening one cursor) and talwen_test.plain (a function
// returning one row), read-only.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "db/postgres/pg_connection.h"
#include "db/postgres/provider.h"
#include "integration/pg_fixture.h"

namespace talwen {
namespace {

const std::optional<testing::PgServer>& Server() {
  static const std::optional<testing::PgServer> server = [] {
    auto s = testing::PgServerFromEnvironment();
    if (s) testing::EnsureTestRoutines(*s);
    return s;
  }();
  return server;
}

// One pooled call of statement per iteration, through the provider.
void Provider(benchmark::State& state, const char* statement) {
  if (!Server()) return state.SkipWithError("TALWEN_PGHOST etc. are not set");
  db::postgres::PostgresProvider provider;
  const db::ConnectionString target(Server()->connection_string());
  uint64_t round_trips = 0;
  provider.open(target, {})->execute(statement);  // look up and prepare
  for (auto _ : state) {
    auto connection = provider.open(target, {});
    auto& pg = static_cast<db::postgres::PgConnection&>(*connection);
    const uint64_t before = pg.round_trips();
    benchmark::DoNotOptimize(connection->execute(statement));
    round_trips += pg.round_trips() - before;
  }
  state.counters["round_trips"] =
      benchmark::Counter(static_cast<double>(round_trips), benchmark::Counter::kAvgIterations);
}

// libpq on one connection, statements prepared once.
class Libpq {
 public:
  Libpq() {
    const testing::PgServer& s = *Server();
    const std::string info = "host=" + s.host + " port=" + s.port + " dbname=" + s.database +
                             " user=" + s.user + " password=" + s.password;
    conn_.reset(PQconnectdb(info.c_str()));
    if (PQstatus(conn_.get()) != CONNECTION_OK) Die();
    Prepare("call", "CALL talwen_test.echo_text($1::text, NULL)");
    Prepare("select", "SELECT * FROM talwen_test.plain($1::text)");
    Prepare("begin", "BEGIN");
    Prepare("commit", "COMMIT");
    PQenterPipelineMode(conn_.get());
  }

  // BEGIN and CALL; then FETCH ALL and COMMIT: two round trips.
  void Procedure() {
    const char* value[] = {"x"};
    PQsendQueryPrepared(conn_.get(), "begin", 0, nullptr, nullptr, nullptr, 0);
    PQsendQueryPrepared(conn_.get(), "call", 1, value, nullptr, nullptr, 0);
    PQpipelineSync(conn_.get());
    Take();
    const std::string cursor = Take();
    Sync();
    const std::string fetch = "FETCH ALL FROM \"" + cursor + "\"";
    PQsendQueryParams(conn_.get(), fetch.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
    PQsendQueryPrepared(conn_.get(), "commit", 0, nullptr, nullptr, nullptr, 0);
    PQpipelineSync(conn_.get());
    Take();
    Take();
    Sync();
  }

  // The SELECT alone: one round trip.
  void Function() {
    const char* value[] = {"x"};
    PQsendQueryPrepared(conn_.get(), "select", 1, value, nullptr, nullptr, 0);
    PQpipelineSync(conn_.get());
    Take();
    Sync();
  }

 private:
  [[noreturn]] void Die() {
    std::fprintf(stderr, "libpq: %s", PQerrorMessage(conn_.get()));
    std::exit(1);
  }
  void Prepare(const char* name, const char* sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQprepare(conn_.get(), name, sql, 0, nullptr),
                                                    PQclear);
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) Die();
  }
  // One statement's result (its first field, "" when none), and the null after it.
  std::string Take() {
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQgetResult(conn_.get()), PQclear);
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Die();
    std::string first = PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
    if (PGresult* end = PQgetResult(conn_.get())) PQclear(end);
    return first;
  }
  void Sync() {
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQgetResult(conn_.get()), PQclear);
    if (PQresultStatus(r.get()) != PGRES_PIPELINE_SYNC) Die();
  }

  std::unique_ptr<PGconn, decltype(&PQfinish)> conn_{nullptr, PQfinish};
};

void BM_ProviderProcedureWithCursor(benchmark::State& state) {
  Provider(state, "talwen_test.echo_text 'x'");
}
void BM_ProviderFunction(benchmark::State& state) {
  Provider(state, "talwen_test.plain 'x'");
}

void BM_LibpqProcedureWithCursor(benchmark::State& state) {
  if (!Server()) return state.SkipWithError("TALWEN_PGHOST etc. are not set");
  Libpq libpq;
  for (auto _ : state) libpq.Procedure();
  state.counters["round_trips"] = 2;
}
void BM_LibpqFunction(benchmark::State& state) {
  if (!Server()) return state.SkipWithError("TALWEN_PGHOST etc. are not set");
  Libpq libpq;
  for (auto _ : state) libpq.Function();
  state.counters["round_trips"] = 1;
}

BENCHMARK(BM_ProviderProcedureWithCursor)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibpqProcedureWithCursor)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProviderFunction)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibpqFunction)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace talwen

BENCHMARK_MAIN();
