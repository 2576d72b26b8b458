// How fast RF functions run against PostgreSQL: through Process with pooled connections,
// through Process with a new connection per call (how every call used to connect), and the
// same call straight through libpq on one connection (the floor). A last group times the
// bridge alone on a procedure handing back cursors.
//
//   eval "$(scripts/db.sh env)"; build/bench/postgres_bench [seconds per measurement]
//
// The Process groups need the reference database: rf_get_last_client_accessed for operator
// JOE (a read-only call), and rf_adjust_carton_qty for carton TALWEN_BENCH_CARTON (default
// CTN1) of client C01 with the carton's current quantity, so every call locks and checks the
// carton, commits, and changes nothing. Each mode is measured in three rounds, interleaved
// with the others so that drift in the machine's load hits all alike; the median is shown.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "db/postgres/provider.h"
#include "frame/config.h"
#include "frame/main.h"
#include "functions/function_table.h"
#include "integration/pg_fixture.h"
#include "support/harness.h"

namespace talwen {
namespace {

using Clock = std::chrono::steady_clock;
using testing::AdminConnection;

constexpr int kRounds = 3;

struct Mode {
  std::string name;
  std::function<void()> call;
  std::vector<double> rates;
};

// Calls per second of call, run for seconds after a short warm-up.
double Rate(double seconds, const std::function<void()>& call) {
  for (int i = 0; i < 3; ++i) call();
  long calls = 0;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  auto now = start;
  while (now < end) {
    call();
    ++calls;
    now = Clock::now();
  }
  return calls / std::chrono::duration<double>(now - start).count();
}

// Measure every mode in interleaved rounds; print and return the medians.
std::vector<double> MeasureAll(std::vector<Mode>& modes, double seconds) {
  for (int round = 0; round < kRounds; ++round) {
    for (Mode& mode : modes) mode.rates.push_back(Rate(seconds, mode.call));
  }
  std::vector<double> medians;
  for (Mode& mode : modes) {
    std::sort(mode.rates.begin(), mode.rates.end());
    const double rate = mode.rates[mode.rates.size() / 2];
    std::printf("  %-46s %8.0f calls/s %9.1f us/call  (rounds %.0f..%.0f)\n", mode.name.c_str(),
                rate, 1e6 / rate, mode.rates.front(), mode.rates.back());
    medians.push_back(rate);
  }
  return medians;
}

// Run one statement on a libpq connection, failing loudly.
void Exec(PGconn* conn, const std::string& sql, const std::vector<const char*>& values = {}) {
  PGresult* r = PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 0);
  const ExecStatusType status = PQresultStatus(r);
  PQclear(r);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    std::fprintf(stderr, "libpq: %s", PQerrorMessage(conn));
    std::exit(1);
  }
}

class ProcessBench {
 public:
  ProcessBench(const testing::PgServer& server, AdminConnection& admin)
      : config_(dir_.file("talwen.INI")), admin_(admin) {
    dir_.write("talwen.INI", "[veldrawms]\nProvider=PostgreSQL\nData Source=" + server.host +
                                 "\nPort=" + server.port + "\nInitial Catalog=" + server.database +
                                 "\nUser ID=" + server.user + "\nPassword=" + server.password +
                                 "\n");
    pooled_ = Environ(pooled_connector_, {8, std::chrono::seconds(300)});
    fresh_ = Environ(fresh_connector_, {0, std::chrono::seconds(0)});
  }

  // Time one RF function three ways; floor_sql is the same call for libpq.
  void Run(const std::vector<std::pair<std::string, std::string>>& values,
           const std::string& floor_sql, const std::vector<const char*>& floor_values,
           double seconds) {
    const auto process = [this, values](const Environment& env) {
      return [this, values, &env] {
        Session session;
        for (const auto& [key, value] : values) session.set(key, value);
        reply_ = Main(env).Process(session, request_);
      };
    };
    std::vector<Mode> modes = {
        {"Process, pooled connections", process(pooled_), {}},
        {"Process, a new connection per call", process(fresh_), {}},
        {"libpq, one connection (floor)", [&] { Exec(admin_.get(), floor_sql, floor_values); }, {}},
    };
    modes[0].call();
    std::printf("  reply: %s\n", reply_.c_str());
    const std::vector<double> r = MeasureAll(modes, seconds);
    std::printf(
        "  pooled / floor %.2f   new connection / floor %.3f   pooled / new connection "
        "%.0fx\n",
        r[0] / r[2], r[1] / r[2], r[0] / r[1]);
  }

 private:
  Environment Environ(db::Connector& connector, db::postgres::PoolSettings settings) {
    connector.add("PostgreSQL", std::make_shared<db::postgres::PostgresProvider>(
                                    [settings] { return settings; }));
    Environment env;
    env.config = &config_;
    env.connector = &connector;
    env.functions = &RfFunctions();
    return env;
  }

  testing::TempDir dir_;
  ConfigFile config_;
  AdminConnection& admin_;
  db::Connector pooled_connector_, fresh_connector_;
  Environment pooled_, fresh_;
  Request request_;
  std::string reply_;
};

int Run(double seconds) {
  const auto server = testing::PgServerFromEnvironment();
  if (!server) {
    std::printf(
        "postgres_bench: TALWEN_PGHOST etc. are not set; nothing measured.\n"
        "  eval \"$(scripts/db.sh env)\" first.\n");
    return 0;
  }
  testing::EnsureTestRoutines(*server);
  AdminConnection admin(*server);
  const char* carton_env = std::getenv("TALWEN_BENCH_CARTON");
  const std::string carton = carton_env && *carton_env ? carton_env : "CTN1";
  std::string qty;
  try {
    if (admin.run("SELECT count(*) FROM pg_proc WHERE proname IN ('rf_adjust_carton_qty', "
                  "'rf_get_last_client_accessed')") == "2") {
      qty = admin.run(
          "SELECT trim_scale(qty)::text FROM stock WHERE client = 'C01' AND carton_no = '" +
          carton + "' LIMIT 1");
    }
  } catch (const std::exception&) {
  }

  if (qty.empty()) {
    std::printf("Process: skipped (no reference database with carton %s of client C01)\n",
                carton.c_str());
  } else {
    ProcessBench bench(*server, admin);
    std::printf("rf_get_last_client_accessed JOE (recordset form, read-only)\n");
    bench.Run({{"function", "rf_get_last_client_accessed"}, {"operator", "JOE"}},
              "SELECT * FROM rf_get_last_client_accessed($1)", {"JOE"}, seconds);
    std::printf("rf_adjust_carton_qty C01 %s %s JOE (grid form, row locks, commit)\n",
                carton.c_str(), qty.c_str());
    bench.Run({{"function", "rf_adjust_carton_qty"},
               {"client", "C01"},
               {"carton_no", carton},
               {"qty", qty},
               {"operator", "JOE"}},
              "SELECT * FROM rf_adjust_carton_qty($1, $2, $3::numeric, $4)",
              {"C01", carton.c_str(), qty.c_str(), "JOE"}, seconds);
  }

  std::printf("talwen_test.two_sets 3 (the bridge alone: a procedure handing back two cursors)\n");
  db::postgres::PostgresProvider provider;
  auto connection = provider.open(db::ConnectionString(server->connection_string()), {});
  std::vector<Mode> modes = {
      {"bridge, execute on one connection",
       [&] { connection->execute("talwen_test.two_sets 3"); },
       {}},
      {"libpq BEGIN, CALL, 2 x FETCH ALL, COMMIT (floor)",
       [&] {
         Exec(admin.get(), "BEGIN");
         const char* n[] = {"3"};
         PGresult* r = PQexecParams(admin.get(), "CALL talwen_test.two_sets($1::int)", 1, nullptr,
                                    n, nullptr, nullptr, 0);
         const std::string first = PQgetvalue(r, 0, 0), second = PQgetvalue(r, 0, 1);
         PQclear(r);
         Exec(admin.get(), "FETCH ALL FROM \"" + first + "\"");
         Exec(admin.get(), "FETCH ALL FROM \"" + second + "\"");
         Exec(admin.get(), "COMMIT");
       },
       {}},
  };
  const std::vector<double> r = MeasureAll(modes, seconds);
  std::printf("  bridge / floor %.2f\n", r[0] / r[1]);
  return 0;
}

}  // namespace
}  // namespace talwen

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  return talwen::Run(seconds > 0 ? seconds : 2.0);
}
