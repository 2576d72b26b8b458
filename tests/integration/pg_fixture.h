// The PostgreSQL server the integration tests and the benchmark run against, and the test
// routines they call.
//
// The server is named by TALWEN_PGHOST (a host or socket folder), TALWEN_PGPORT,
// TALWEN_PGDATABASE, TALWEN_PGUSER and TALWEN_PGPASSWORD; scripts/db.sh env prints them. A test
// finding them unset skips. The test routines live in the schema talwen_test, created once per
// version of the definitions below.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/postgres/pg_connection.h"
#include "db/postgres/provider.h"

namespace talwen::testing {

struct PgServer {
  std::string host, port, database, user, password;

  // "Provider=PostgreSQL;Data Source=...;...", with the fields given replaced.
  std::string connection_string(std::string_view password_override = {},
                                std::string_view port_override = {}) const {
    return "Provider=PostgreSQL;Data Source=" + host +
           ";Port=" + std::string(port_override.empty() ? port : port_override) +
           ";Initial Catalog=" + database + ";User ID=" + user + ";Password=\"" +
           std::string(password_override.empty() ? password : password_override) + "\"";
  }
};

inline std::optional<PgServer> PgServerFromEnvironment() {
  PgServer s;
  const std::pair<const char*, std::string*> vars[] = {{"TALWEN_PGHOST", &s.host},
                                                       {"TALWEN_PGPORT", &s.port},
                                                       {"TALWEN_PGDATABASE", &s.database},
                                                       {"TALWEN_PGUSER", &s.user},
                                                       {"TALWEN_PGPASSWORD", &s.password}};
  for (const auto& [name, field] : vars) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    *field = value;
  }
  return s;
}

// A plain libpq connection for setting up and inspecting, outside the engine.
class AdminConnection {
 public:
  explicit AdminConnection(const PgServer& s) {
    const char* keywords[] = {"host", "port", "dbname", "user", "password", nullptr};
    const char* values[] = {s.host.c_str(), s.port.c_str(),     s.database.c_str(),
                            s.user.c_str(), s.password.c_str(), nullptr};
    conn_.reset(PQconnectdbParams(keywords, values, 0));
    if (PQstatus(conn_.get()) != CONNECTION_OK) {
      throw std::runtime_error(std::string("admin connection: ") + PQerrorMessage(conn_.get()));
    }
    PQsetNoticeProcessor(
        conn_.get(), [](void*, const char*) {}, nullptr);
  }

  // Run SQL (several statements allowed); return the first field of the last result, "" when
  // none. Throws on failure.
  std::string run(const std::string& sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn_.get(), sql.c_str()), PQclear);
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      throw std::runtime_error("SQL failed: " + std::string(PQerrorMessage(conn_.get())) + "\n" +
                               sql);
    }
    if (status == PGRES_TUPLES_OK && PQntuples(r.get()) > 0 && PQnfields(r.get()) > 0) {
      return PQgetvalue(r.get(), 0, 0);
    }
    return "";
  }

  PGconn* get() { return conn_.get(); }

 private:
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn_{nullptr, PQfinish};
};

// The test routines. Raise kRoutinesVersion when changing them.
inline constexpr const char* kRoutinesVersion = "talwen-test-routines-8";
inline constexpr const char* kRoutines = R"SQL(
DROP SCHEMA IF EXISTS talwen_test CASCADE;
CREATE SCHEMA talwen_test;
CREATE TABLE talwen_test.log (v text, at timestamptz DEFAULT now());

-- One value back, with what the database saw of it.
CREATE PROCEDURE talwen_test.echo_text(v text, INOUT rs refcursor DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
  OPEN rs FOR SELECT v AS value, v IS NULL AS is_null, octet_length(v) AS bytes;
END $$;

CREATE PROCEDURE talwen_test.echo_number(v numeric, INOUT rs refcursor DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
  OPEN rs FOR SELECT v AS value;
END $$;

CREATE PROCEDURE talwen_test.two_sets(n int, INOUT first refcursor DEFAULT NULL,
                                      INOUT second refcursor DEFAULT NULL,
                                      INOUT unused refcursor DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
  OPEN first FOR SELECT 'one'::text AS a;
  OPEN second FOR SELECT g AS b FROM generate_series(1, n) g;
END $$;

CREATE PROCEDURE talwen_test.no_set(v text)
LANGUAGE sql AS $$ INSERT INTO talwen_test.log (v) VALUES (v) $$;

CREATE PROCEDURE talwen_test.insert_then_fail(v text)
LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO talwen_test.log (v) VALUES (v);
  RAISE EXCEPTION 'Refused: %', v;
END $$;

-- The cursor fails only when it is read, after the insert.
CREATE PROCEDURE talwen_test.insert_then_bad_cursor(v text, INOUT rs refcursor DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO talwen_test.log (v) VALUES (v);
  OPEN rs FOR SELECT 1 / (length(v) - length(v)) AS x;
END $$;

CREATE PROCEDURE talwen_test.outputs(client text, qty numeric DEFAULT 7,
                                     note text DEFAULT 'none',
                                     INOUT return_value int DEFAULT NULL,
                                     INOUT sqlstatus int DEFAULT NULL,
                                     INOUT sqlmsg text DEFAULT NULL,
                                     INOUT rs refcursor DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
  return_value := 42;
  sqlstatus := CASE WHEN client IS NULL THEN -1 ELSE 0 END;
  sqlmsg := coalesce(client, '<null>') || '/' || coalesce(qty::text, '<null>') || '/' ||
            coalesce(note, '<null>');
  OPEN rs FOR SELECT client AS c, qty AS q;
END $$;

CREATE PROCEDURE talwen_test.status_only(operator text, INOUT sqlstatus int,
                                         INOUT sqlmsg text)
LANGUAGE plpgsql AS $$
BEGIN
  sqlstatus := 0;
  sqlmsg := 'Hello ' || operator;
END $$;

CREATE PROCEDURE talwen_test.required(a text, b int)
LANGUAGE sql AS $$ SELECT 1 $$;

CREATE FUNCTION talwen_test.types()
RETURNS TABLE (i2 int2, i4 int4, i8 int8, f4 float4, f8 float8, n numeric, m money,
               b bool, t text, vc varchar(10), c char(4), d date, tm time, ts timestamp,
               tz timestamptz, u uuid)
LANGUAGE sql AS $$
  SELECT (-32768)::int2, 2147483647::int4, (-9223372036854775808)::int8, 1.5::float4,
         0.1::float8, 12.50::numeric, 1234.56::money, true, 'O''Brien'::text,
         'vc'::varchar(10), 'ab'::char(4), date '2008-03-27',
         time '10:11:12', timestamp '2008-03-27 10:11:12', timestamptz '2008-03-27 10:11:12+00',
         'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid
  UNION ALL
  SELECT NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         NULL, NULL
$$;

CREATE PROCEDURE talwen_test.round_trip(i2 int2, i4 int4, i8 int8, f8 float8, n numeric,
                                        m money, b bool, t text, d date, tm time,
                                        ts timestamp, INOUT rs refcursor DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
  OPEN rs FOR SELECT i2, i4, i8, f8, n, m, b, t, d, tm, ts;
END $$;

CREATE FUNCTION talwen_test.plain(a text, b int DEFAULT 3) RETURNS TABLE (a text, b int)
LANGUAGE sql AS $$ SELECT a, b $$;

CREATE FUNCTION talwen_test.scalar(a int) RETURNS int LANGUAGE sql AS $$ SELECT a * 2 $$;

CREATE FUNCTION talwen_test.nothing(a text) RETURNS void LANGUAGE sql AS $$ SELECT $$;

CREATE FUNCTION talwen_test.cursors() RETURNS SETOF refcursor
LANGUAGE plpgsql AS $$
DECLARE c1 refcursor; c2 refcursor;
BEGIN
  OPEN c1 FOR SELECT 1 AS x;
  OPEN c2 FOR SELECT 2 AS y;
  RETURN NEXT c1;
  RETURN NEXT c2;
END $$;

CREATE FUNCTION talwen_test.over(a text) RETURNS TABLE (which text)
LANGUAGE sql AS $$ SELECT 'one:' || a $$;
CREATE FUNCTION talwen_test.over(a text, b text) RETURNS TABLE (which text)
LANGUAGE sql AS $$ SELECT 'two:' || a || b $$;
CREATE FUNCTION talwen_test.over2(a text) RETURNS TABLE (which text)
LANGUAGE sql AS $$ SELECT 'text:' || a $$;
CREATE FUNCTION talwen_test.over2(a numeric) RETURNS TABLE (which text)
LANGUAGE sql AS $$ SELECT 'numeric:' || a $$;

CREATE FUNCTION talwen_test.fail(msg text) RETURNS int
LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION '%', msg; END $$;

CREATE PROCEDURE talwen_test.slow(seconds float8)
LANGUAGE plpgsql AS $$ BEGIN PERFORM pg_sleep(seconds); END $$;

CREATE FUNCTION talwen_test.backend() RETURNS TABLE (pid int)
LANGUAGE sql AS $$ SELECT pg_backend_pid() $$;

-- The statements this session has prepared, oldest first.
CREATE FUNCTION talwen_test.prepared() RETURNS TABLE (statement text)
LANGUAGE sql AS $$ SELECT statement FROM pg_prepared_statements ORDER BY prepare_time $$;

CREATE PROCEDURE talwen_test.suicide()
LANGUAGE plpgsql AS $$ BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); END $$;
)SQL";

// Create the test routines unless this version of them is there already.
inline void EnsureTestRoutines(const PgServer& server) {
  AdminConnection admin(server);
  admin.run("BEGIN; SELECT pg_advisory_xact_lock(727274)");
  const std::string version = admin.run(
      "SELECT coalesce(obj_description(oid, 'pg_namespace'), '') FROM pg_namespace "
      "WHERE nspname = 'talwen_test'");
  if (version != kRoutinesVersion) {
    admin.run(kRoutines);
    admin.run(std::string("COMMENT ON SCHEMA talwen_test IS '") + kRoutinesVersion + "'");
  }
  admin.run("COMMIT");
}

// A test against the server: skipped when the server is not named, else with the test
// routines in place and a provider of its own.
class PgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto server = PgServerFromEnvironment();
    if (!server) GTEST_SKIP() << "TALWEN_PGHOST etc. are not set (scripts/db.sh env)";
    server_ = *server;
    EnsureTestRoutines(server_);
    UseProvider({});
  }

  // A fresh provider (and so fresh pools) with these settings.
  void UseProvider(db::postgres::PoolSettings settings) {
    provider_ = std::make_shared<db::postgres::PostgresProvider>([settings] { return settings; });
  }

  std::unique_ptr<db::Connection> Open(db::Timeouts timeouts = {}) {
    return provider_->open(db::ConnectionString(server_.connection_string()), timeouts);
  }

  // The rows of the only result set a statement gave.
  static const db::ResultSet& Only(const std::vector<db::ResultSet>& sets) {
    if (sets.size() != 1) throw std::runtime_error("expected one result set");
    return sets.front();
  }

  // The network round trips a call makes on a connection.
  template <typename Call>
  static uint64_t RoundTrips(db::Connection& c, Call call) {
    auto& pg = static_cast<db::postgres::PgConnection&>(c);
    const uint64_t before = pg.round_trips();
    call();
    return pg.round_trips() - before;
  }

  // The backend process serving a connection.
  static int BackendOf(db::Connection& c) {
    return static_cast<int>(Only(c.execute("talwen_test.backend")).rows.at(0).at(0).as_int());
  }

  PgServer server_;
  std::shared_ptr<db::postgres::PostgresProvider> provider_;
};

}  // namespace talwen::testing
