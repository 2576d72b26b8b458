// The ODBC provider end to end on a real driver: Debian's PostgreSQL ODBC driver (psqlODBC)
// against the test server, through Provider=MSDASQL. The routines these tests call live in
// the schema talwen_odbc_test, created here.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "db/client_watch.h"
#include "db/odbc/provider.h"
#include "host/event_loop.h"
#include "integration/pg_fixture.h"
#include "support/odbc_drivers.h"

namespace talwen::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kVersion = "talwen-odbc-test-routines-1";
constexpr const char* kRoutines = R"SQL(
DROP SCHEMA IF EXISTS talwen_odbc_test CASCADE;
CREATE SCHEMA talwen_odbc_test;
CREATE TABLE talwen_odbc_test.log (v text);

CREATE FUNCTION talwen_odbc_test.outputs(client text, qty numeric, INOUT note text,
                                         OUT sqlstatus int, OUT sqlmsg text)
LANGUAGE plpgsql AS $$
BEGIN
  sqlstatus := CASE WHEN client IS NULL THEN -1 ELSE 0 END;
  sqlmsg := coalesce(client, '<null>') || '/' || coalesce(qty::text, '<null>');
  note := 'was ' || coalesce(note, '<null>');
END $$;

CREATE FUNCTION talwen_odbc_test.echo(v text) RETURNS text LANGUAGE sql AS $$ SELECT v $$;

CREATE FUNCTION talwen_odbc_test.changing(a text) RETURNS text LANGUAGE sql AS $$ SELECT a $$;

CREATE FUNCTION talwen_odbc_test.types()
RETURNS TABLE (i2 int2, i4 int4, i8 int8, f4 float4, f8 float8, n numeric(10,2), b bool,
               t text, vc varchar(10), d date, tm time, ts timestamp, u uuid, by bytea)
LANGUAGE sql AS $$
  SELECT (-32768)::int2, 2147483647, (-9223372036854775808)::int8, 1.5::float4, 0.1::float8,
         -0.50, true, 'Zoë 倉庫', 'vc', date '2008-03-27', time '10:11:12',
         timestamp '2008-03-27 10:11:12.5', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid,
         '\x01ab'::bytea
  UNION ALL
  SELECT NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL
$$;
)SQL";

class OdbcPostgres : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto server = PgServerFromEnvironment();
    if (!server) GTEST_SKIP() << "TALWEN_PGHOST etc. are not set (scripts/db.sh env)";
    if (PostgresOdbcDriver().empty()) GTEST_SKIP() << "psqlODBC (odbc-postgresql) is missing";
    server_ = *server;
    UsePrivateOdbcDrivers();
    admin_ = std::make_unique<AdminConnection>(server_);
    admin_->run("BEGIN; SELECT pg_advisory_xact_lock(727275)");
    if (admin_->run("SELECT coalesce(obj_description(oid, 'pg_namespace'), '') FROM "
                    "pg_namespace WHERE nspname = 'talwen_odbc_test'") != kVersion) {
      admin_->run(kRoutines);
      admin_->run(std::string("COMMENT ON SCHEMA talwen_odbc_test IS '") + kVersion + "'");
    }
    admin_->run("COMMIT");
    provider_ = std::make_shared<db::odbc::OdbcProvider>();
  }

  std::string ConnectionString(std::string_view password = {}) const {
    const char* tcp = std::getenv("TALWEN_PGTCPHOST");
    return "Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=" +
           std::string(tcp && *tcp ? tcp : server_.host) + ";Port=" + server_.port +
           ";Database=" + server_.database + ";User ID=" + server_.user +
           ";Password=" + std::string(password.empty() ? server_.password : password) +
           ";BoolsAsChar=0";
  }

  std::unique_ptr<db::Connection> Open(db::Timeouts timeouts = {}) {
    return provider_->open(db::ConnectionString(ConnectionString()), timeouts);
  }

  static int BackendOf(db::Connection& c) {
    return static_cast<int>(c.execute("SELECT pg_backend_pid()").at(0).rows.at(0).at(0).as_int());
  }

  PgServer server_;
  std::unique_ptr<AdminConnection> admin_;
  std::shared_ptr<db::odbc::OdbcProvider> provider_;
};

TEST_F(OdbcPostgres, StatementsGiveEveryResultInOrder) {
  const struct {
    std::string statement;
    std::vector<int> rows;  // per result set; -1 for one without columns
  } cases[] = {
      {"SELECT 1 AS a; SELECT 'x' AS b UNION ALL SELECT 'y'", {1, 2}},
      {"INSERT INTO talwen_odbc_test.log VALUES ('r'); SELECT v FROM talwen_odbc_test.log LIMIT 1",
       {-1, 1}},
      {"DELETE FROM talwen_odbc_test.log WHERE false", {-1}},
      {"SELECT v FROM talwen_odbc_test.log WHERE false", {0}},
  };
  auto c = Open();
  for (const auto& test : cases) {
    const std::vector<db::ResultSet> sets = c->execute(test.statement);
    std::vector<int> rows;
    for (const db::ResultSet& s : sets) rows.push_back(s.is_open() ? int(s.rows.size()) : -1);
    EXPECT_EQ(rows, test.rows) << test.statement;
  }
}

TEST_F(OdbcPostgres, ValuesKeepTheirTypes) {
  const db::ResultSet set = Open()->execute("SELECT * FROM talwen_odbc_test.types()").at(0);
  const struct {
    int32_t code;
    Value value;
  } expected[] = {
      {db::kTypeSmallInt, Value::int16(-32768)},
      {db::kTypeInteger, Value::int32(2147483647)},
      {db::kTypeBigInt, Value::int64(INT64_MIN)},
      {db::kTypeSingle, Value::single(1.5f)},
      {db::kTypeDouble, Value::real(0.1)},
      {db::kTypeNumeric, Value::decimal("-0.50")},
      {db::kTypeBoolean, Value::boolean(true)},
      {db::kTypeLongVarWChar, Value::text("Zoë 倉庫")},
      {db::kTypeVarWChar, Value::text("vc")},
      {db::kTypeDbDate, Value::date({2008, 3, 27})},
      {db::kTypeDbTime, Value::date({1899, 12, 30, 10, 11, 12})},
      {db::kTypeDbTimeStamp, Value::date({2008, 3, 27, 10, 11, 12})},
      {db::kTypeGuid, Value::text("{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}")},
      {db::kTypeLongVarBinary, Value::text("0x01AB")},
  };
  ASSERT_EQ(set.columns.size(), std::size(expected));
  ASSERT_EQ(set.rows.size(), 2u);
  for (size_t c = 0; c < set.columns.size(); ++c) {
    EXPECT_EQ(set.columns[c].type, expected[c].code) << set.columns[c].name;
    EXPECT_EQ(set.rows[0][c], expected[c].value) << set.columns[c].name;
    EXPECT_TRUE(set.rows[1][c].is_null()) << set.columns[c].name;
  }
}

TEST_F(OdbcPostgres, ProcedureFormDescribesCallsAndReadsOutputs) {
  auto c = Open();
  const std::vector<db::Parameter> p = c->parameters("talwen_odbc_test.outputs");
  ASSERT_EQ(p.size(), 6u);
  const std::pair<std::string, db::Direction> described[] = {
      {"@RETURN_VALUE", db::Direction::kReturnValue},
      {"@client", db::Direction::kInput},
      {"@qty", db::Direction::kInput},
      {"@note", db::Direction::kInputOutput},
      {"@sqlstatus", db::Direction::kOutput},
      {"@sqlmsg", db::Direction::kOutput}};
  for (size_t i = 0; i < p.size(); ++i) {
    EXPECT_EQ(p[i].name, described[i].first);
    EXPECT_EQ(p[i].direction, described[i].second) << p[i].name;
  }

  const db::CallResult r = c->call("talwen_odbc_test.outputs",
                                   {Value(), Value::text("O'Brien 倉庫"), Value::text("12.50"),
                                    Value::text("n"), Value(), Value()});
  EXPECT_TRUE(r.values[0].is_null());
  EXPECT_EQ(r.values[3], Value::text("was n"));
  EXPECT_EQ(r.values[4], Value::int32(0));
  EXPECT_EQ(r.values[5], Value::text("O'Brien 倉庫/12.50"));

  const db::CallResult nulls = c->call("talwen_odbc_test.outputs",
                                       {Value(), Value::null(), Value::null(), Value(), Value()});
  EXPECT_EQ(nulls.values[4], Value::int32(-1));
  EXPECT_EQ(nulls.values[5], Value::text("<null>/<null>"));
  EXPECT_EQ(nulls.values[3], Value::text("was <null>"));

  // A return value, and text that no code page holds.
  c->parameters("talwen_odbc_test.echo");
  const std::string text = "Zoë 倉庫 \U0001F4E6 'quoted'";
  EXPECT_EQ(c->call("talwen_odbc_test.echo", {Value(), Value::text(text)}).values[0],
            Value::text(text));
}

TEST_F(OdbcPostgres, ARoutineChangedSinceItWasDescribedIsDescribedAgain) {
  admin_->run(
      "CREATE OR REPLACE FUNCTION talwen_odbc_test.changing(a text) RETURNS text "
      "LANGUAGE sql AS $$ SELECT a $$");
  auto c = Open();
  c->parameters("talwen_odbc_test.changing");
  admin_->run(
      "DROP FUNCTION talwen_odbc_test.changing(text);"
      "CREATE FUNCTION talwen_odbc_test.changing(b int, a text) RETURNS text "
      "LANGUAGE sql AS $$ SELECT a || b $$");
  // The caller's values stand where the old description had them; "a" moves by its name.
  const db::CallResult r = c->call("talwen_odbc_test.changing", {Value(), Value::text("x")});
  EXPECT_TRUE(r.values[0].is_null()) << "b was given nothing, so Null || ... is Null";
  admin_->run("DROP FUNCTION talwen_odbc_test.changing(int, text)");
  EXPECT_THROW(c->call("talwen_odbc_test.changing", {Value(), Value::text("x")}), db::DbError);
  admin_->run(
      "CREATE FUNCTION talwen_odbc_test.changing(a text) RETURNS text "
      "LANGUAGE sql AS $$ SELECT a $$");
}

TEST_F(OdbcPostgres, FailuresCarryTheErrorsTheFrameKnows) {
  auto c = Open();
  try {
    c->execute("SELECT 1/0");
    ADD_FAILURE() << "no error";
  } catch (const db::DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorStatement);
    EXPECT_NE(std::string(e.what()).find("division by zero"), std::string::npos) << e.what();
  }
  EXPECT_EQ(c->execute("SELECT 2").at(0).rows.at(0).at(0), Value::int32(2)) << "still usable";

  try {
    provider_->open(db::ConnectionString(ConnectionString("wrong")), {});
    ADD_FAILURE() << "connected with a wrong password";
  } catch (const db::DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorGeneric);
    EXPECT_NE(std::string(e.what()).find("password"), std::string::npos) << e.what();
  }
}

TEST_F(OdbcPostgres, TheCommandTimeoutOrAClientGoneCancelsAndTheConnectionServesOn) {
  auto c = Open({30s, 1s});
  const auto start = std::chrono::steady_clock::now();
  try {
    c->execute("SELECT pg_sleep(20)");
    ADD_FAILURE() << "not timed out";
  } catch (const db::DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorTimeout) << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  const int backend = BackendOf(*c);
  c.reset();
  EXPECT_EQ(BackendOf(*Open()), backend) << "given back and used again";

  // A client that goes away cancels the statement from the watcher's thread.
  int sockets[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  db::ClientWatch client(sockets[0]);
  c = Open();
  c->watch(&client);
  std::thread leaves([&] {
    std::this_thread::sleep_for(300ms);
    ::close(sockets[1]);
  });
  const auto asked = std::chrono::steady_clock::now();
  try {
    c->execute("SELECT pg_sleep(20)");
    ADD_FAILURE() << "not cancelled";
  } catch (const db::DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorCancelled) << e.what();
  }
  leaves.join();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 5s);
  EXPECT_THROW(c->execute("SELECT 1"), db::DbError) << "nothing more for a client gone";
  c.reset();
  ::close(sockets[0]);
  EXPECT_EQ(BackendOf(*Open()), backend) << "given back and used again";
}

TEST_F(OdbcPostgres, OnAGatewayWorkerEachCallRunsAsideWhileTheWorkerServesOthers) {
  // The driver blocks the thread that calls it: on a worker's event loop, the connect and the
  // call run on a helper thread while the loop goes on with its other fibers.
  host::EventLoop loop;
  std::string slept;
  bool done = false;
  int ticks = 0;
  loop.Spawn([&] {
    db::ClientWatch client(-1, &loop);
    auto c = Open({30s, 30s, &loop});
    c->watch(&client);
    slept = c->execute("SELECT 'slept' || pg_sleep(0.3)").at(0).rows.at(0).at(0).to_text();
    done = true;
  });
  loop.Spawn([&] {
    while (!done) {
      loop.Poll(nullptr, 0, 10);
      ++ticks;
    }
  });
  const auto give_up = std::chrono::steady_clock::now() + 10s;
  while (loop.fibers() > 0 && std::chrono::steady_clock::now() < give_up) {
    loop.Turn([](void*, void*, uint32_t) {}, nullptr, 50ms);
  }
  EXPECT_EQ(slept, "slept");
  EXPECT_GE(ticks, 10) << "the loop turned while the statement ran";
}

TEST_F(OdbcPostgres, AConnectionKilledInThePoolIsNeverHandedOutAgain) {
  auto c = Open();
  const int killed = BackendOf(*c);
  c.reset();
  ASSERT_EQ(provider_->idle_count(db::ConnectionString(ConnectionString())), 1u);
  admin_->run("SELECT pg_terminate_backend(" + std::to_string(killed) + ")");
  for (int i = 0; i < 100 && admin_->run("SELECT count(*) FROM pg_stat_activity WHERE pid = " +
                                         std::to_string(killed)) != "0";
       ++i) {
    std::this_thread::sleep_for(50ms);
  }

  // The request that meets the dead connection may fail, as a lost connection; the next
  // one is served by a new connection.
  c = Open();
  try {
    EXPECT_NE(BackendOf(*c), killed);
  } catch (const db::DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorGeneric) << e.what();
  }
  c.reset();
  c = Open();
  EXPECT_NE(BackendOf(*c), killed);

  // Killed during a call: that call fails, and the connection does not go back.
  c.reset();
  const size_t idle = provider_->idle_count(db::ConnectionString(ConnectionString()));
  c = Open();
  try {
    c->execute("SELECT pg_terminate_backend(pg_backend_pid())");
    ADD_FAILURE() << "survived its own end";
  } catch (const db::DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorGeneric) << e.what();
  }
  c.reset();
  EXPECT_LT(provider_->idle_count(db::ConnectionString(ConnectionString())), idle + 1);
  EXPECT_EQ(Open()->execute("SELECT 3").at(0).rows.at(0).at(0), Value::int32(3));
}

}  // namespace
}  // namespace talwen::testing
