// Pooled connections against a real server: reuse, pool size and idle release, recovery after
// a terminated backend and a server restart, refusals, and routines that change under the
// cache.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "frame/call.h"
#include "frame/main.h"
#include "functions/function_table.h"
#include "integration/pg_fixture.h"
#include "support/harness.h"

namespace talwen::testing {
namespace {

using db::DbError;
using db::postgres::PoolSettings;
using std::chrono::seconds;

class Pool : public PgTest {
 protected:
  db::ConnectionString Target() const { return db::ConnectionString(server_.connection_string()); }

  // A unique routine name in the test schema, dropped after the test.
  std::string Scratch(std::string_view stem) {
    std::string name = "talwen_test." + std::string(stem) + "_" + std::to_string(::getpid());
    scratch_.push_back(name);
    return name;
  }

  void TearDown() override {
    if (scratch_.empty()) return;
    AdminConnection admin(server_);
    for (const std::string& name : scratch_) {
      admin.run("DROP ROUTINE IF EXISTS " + name);
    }
  }

  std::vector<std::string> scratch_;
};

// A TCP port on the loopback that nothing listens on.
std::string ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return std::to_string(ntohs(addr.sin_port));
}

TEST_F(Pool, AConnectionIsReusedAfterTheRequestEnds) {
  const int first = BackendOf(*Open());
  EXPECT_EQ(provider_->idle_count(Target()), 1u);
  EXPECT_EQ(BackendOf(*Open()), first);
  {
    // Two at once: the second is a new one; both are kept afterwards.
    auto a = Open();
    auto b = Open();
    EXPECT_NE(BackendOf(*a), BackendOf(*b));
  }
  EXPECT_EQ(provider_->idle_count(Target()), 2u);
}

TEST_F(Pool, PoolSizeBoundsTheCallsAtOnceAndZeroTurnsPoolingOff) {
  UseProvider({1, seconds(300), seconds(1)});
  {
    auto a = Open();
    try {
      Open();
      ADD_FAILURE() << "a second call at once waits for a turn, and is refused in the end";
    } catch (const DbError& e) {
      EXPECT_EQ(e.number(), db::kErrorBusy);
    }
    std::vector<db::PoolStats> stats;
    provider_->pool_stats(stats);
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_EQ(stats[0].in_use, 1u);
    EXPECT_EQ(stats[0].wait_timeouts, 1u);
    EXPECT_EQ(stats[0].target.find("password"), std::string::npos) << stats[0].target;
    // A turn that ends lets the waiting call in.
    std::thread later([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      a.reset();
    });
    EXPECT_NO_THROW(Open());
    later.join();
  }
  EXPECT_EQ(provider_->idle_count(Target()), 1u);

  UseProvider({0, seconds(300)});
  const int first = BackendOf(*Open());
  EXPECT_NE(BackendOf(*Open()), first);
  EXPECT_EQ(provider_->idle_count(Target()), 0u);
}

TEST_F(Pool, IdleConnectionsAreReleasedAfterTheIdleTime) {
  UseProvider({8, seconds(1)});
  Open();
  EXPECT_EQ(provider_->idle_count(Target()), 1u);
  // The provider's own thread releases it within about one and a half idle times.
  const auto deadline = std::chrono::steady_clock::now() + seconds(5);
  while (provider_->idle_count(Target()) > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(provider_->idle_count(Target()), 0u);
}

TEST_F(Pool, ATerminatedIdleBackendIsReplacedUnseen) {
  const int first = BackendOf(*Open());
  AdminConnection admin(server_);
  ASSERT_EQ(admin.run("SELECT pg_terminate_backend(" + std::to_string(first) + ", 5000)"), "t");
  auto c = Open();
  int second = 0;
  ASSERT_NO_THROW(second = BackendOf(*c));
  EXPECT_NE(second, first);
}

TEST_F(Pool, ABackendLostDuringACallFailsThatCallOnly) {
  auto c = Open();
  const int first = BackendOf(*c);
  try {
    c->execute("talwen_test.suicide");
    FAIL() << "the call survived its backend";
  } catch (const DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorGeneric);
  }
  // The same request's next call gets a new session; the lost one never returns to the pool.
  EXPECT_NE(BackendOf(*c), first);
  c.reset();
  EXPECT_EQ(provider_->idle_count(Target()), 1u);
  EXPECT_NO_THROW(BackendOf(*Open()));
}

TEST_F(Pool, ConnectionsSurviveAServerRestart) {
  const char* restart = std::getenv("TALWEN_PG_RESTART");
  if (restart == nullptr || *restart == '\0') GTEST_SKIP() << "TALWEN_PG_RESTART is not set";
  {
    auto a = Open();
    auto b = Open();
    BackendOf(*a);
    BackendOf(*b);
  }
  ASSERT_EQ(provider_->idle_count(Target()), 2u);
  const std::string command = std::string("cd '") + TALWEN_SOURCE_DIR + "' && " + restart;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  // Every pooled connection is stale; no caller sees that.
  for (int i = 0; i < 3; ++i) {
    auto c = Open();
    EXPECT_NO_THROW(BackendOf(*c)) << "call " << i;
  }
}

TEST_F(Pool, ARefusingServerFailsAtOnce) {
  const char* tcp = std::getenv("TALWEN_PGTCPHOST");
  PgServer refused = server_;
  refused.host = tcp && *tcp ? tcp : "127.0.0.1";
  const auto start = std::chrono::steady_clock::now();
  try {
    provider_->open(db::ConnectionString(refused.connection_string({}, ClosedPort())), {});
    FAIL();
  } catch (const DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorGeneric);
    EXPECT_NE(std::string(e.what()).find("refused"), std::string::npos) << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(2));
}

TEST_F(Pool, AServerThatNeverAnswersFailsWithinTheConnectionTimeOut) {
  // The kernel completes the handshake on a listening socket; nothing ever answers.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  PgServer silent = server_;
  silent.host = "127.0.0.1";
  const auto start = std::chrono::steady_clock::now();
  try {
    provider_->open(
        db::ConnectionString(silent.connection_string({}, std::to_string(ntohs(addr.sin_port)))),
        {seconds(2), seconds(30)});
    ADD_FAILURE() << "connected to nothing";
  } catch (const DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorGeneric);
    EXPECT_NE(std::string(e.what()).find("timeout"), std::string::npos) << e.what();
  }
  ::close(fd);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(1500));
  EXPECT_LT(took, seconds(6));
}

TEST_F(Pool, ProcessAnswersAConnectionFailureWithTheStatusPair) {
  TempDir dir;
  dir.write("talwen.INI", "[veldrawms]\n" + std::string("Provider=PostgreSQL\nData Source=") +
                              server_.host + "\nPort=" + server_.port +
                              "\nInitial Catalog=" + server_.database +
                              "\nUser ID=" + server_.user + "\nPassword=not-the-password\n");
  ConfigFile config(dir.file("talwen.INI"));
  db::Connector connector;
  connector.add("PostgreSQL", provider_);
  Environment env;
  env.config = &config;
  env.connector = &connector;
  env.functions = &RfFunctions();
  Session session;
  session.set("function", "rf_system_logout");
  session.set("operator", "JOE");
  const std::string reply = Main(env).Process(session, Request());
  EXPECT_TRUE(
      reply.starts_with("<sqlstatus>-2147467259</sqlstatus><sqlmsg>Cannot connect to "
                        "database server : "))
      << reply;
  EXPECT_NE(reply.find("password authentication failed"), std::string::npos) << reply;
  EXPECT_EQ(session.count(), 2);  // kept after a connection failure
}

TEST_F(Pool, EachCallTakesAsFewRoundTripsAsItAllows) {
  auto c = Open();
  const auto command = [&](std::string procedure, std::string input) {
    return [&c, procedure, input] {
      Command command(*c, procedure);
      command.set(1, input);
      command.Execute();
    };
  };
  const struct {
    const char* what;
    std::function<void()> call;
    uint64_t round_trips;
  } cases[] = {
      {"a procedure handing back cursors", [&] { c->execute("talwen_test.two_sets 2"); }, 2},
      {"a procedure whose cursors are all Null", [&] { c->execute("talwen_test.no_set 'x'"); }, 1},
      {"a function", [&] { c->execute("talwen_test.plain 'x'"); }, 1},
      {"a function returning cursors", [&] { c->execute("talwen_test.cursors"); }, 2},
      {"the call form, with a cursor", command("talwen_test.outputs", "C01"), 2},
      {"the call form, outputs only", command("talwen_test.status_only", "JOE"), 1},
  };
  for (const auto& k : cases) {
    k.call();  // the first call looks the routine up and prepares its statement
    EXPECT_EQ(RoundTrips(*c, k.call), k.round_trips) << k.what;
  }
}

// ---- Routines that change under the cache ----

TEST_F(Pool, ARoutineCreatedAfterAFailedCallIsFound) {
  const std::string name = Scratch("late");
  auto c = Open();
  EXPECT_THROW(c->execute(name + " 'a'"), DbError);
  AdminConnection admin(server_);
  admin.run("CREATE FUNCTION " + name +
            "(a text) RETURNS TABLE (v text) LANGUAGE sql AS $$ SELECT 'late:' || a $$");
  EXPECT_EQ(Only(c->execute(name + " 'a'")).rows.at(0).at(0), Value::text("late:a"));
}

TEST_F(Pool, ACallThatNoLongerFitsIsMadeAgainWithTheNewDefinition) {
  const std::string name = Scratch("changing");
  AdminConnection admin(server_);
  admin.run("CREATE FUNCTION " + name +
            "(a text) RETURNS TABLE (v text) LANGUAGE sql AS $$ SELECT 'v1:' || a $$");
  auto c = Open();
  // The statements this connection prepared for the routine.
  const auto prepared = [&] {
    std::vector<std::string> out;
    const std::vector<db::ResultSet> sets = c->execute("talwen_test.prepared");
    for (const db::Row& row : Only(sets).rows) {
      const std::string text = row.at(0).to_text();
      if (text.find(name.substr(name.find('.') + 1)) != std::string::npos) out.push_back(text);
    }
    return out;
  };
  EXPECT_EQ(Only(c->execute(name + " 5")).rows.at(0).at(0), Value::text("v1:5"));
  EXPECT_EQ(RoundTrips(*c, [&] { c->execute(name + " 6"); }), 1u) << "prepared once, then run";
  ASSERT_EQ(prepared().size(), 1u);
  EXPECT_NE(prepared()[0].find("$1::text)"), std::string::npos) << prepared()[0];

  // A new body under the same signature keeps the prepared statement.
  admin.run("CREATE OR REPLACE FUNCTION " + name +
            "(a text) RETURNS TABLE (v text) LANGUAGE sql AS $$ SELECT 'v1b:' || a $$");
  EXPECT_EQ(Only(c->execute(name + " 5")).rows.at(0).at(0), Value::text("v1b:5"));
  EXPECT_EQ(prepared().size(), 1u);

  // The parameter's type changes: the prepared call (a text) no longer fits and is prepared
  // again for the new definition.
  admin.run("DROP FUNCTION " + name + "; CREATE FUNCTION " + name +
            "(a int) RETURNS TABLE (v text) LANGUAGE sql AS $$ SELECT 'v2:' || (a + 1) $$");
  EXPECT_EQ(Only(c->execute(name + " 5")).rows.at(0).at(0), Value::text("v2:6"));
  ASSERT_EQ(prepared().size(), 2u);
  EXPECT_NE(prepared()[1].find("$1::numeric::integer)"), std::string::npos) << prepared()[1];

  // Other result columns under the same signature: the server refuses the prepared
  // statement's new result shape, and the call is prepared again.
  admin.run("DROP FUNCTION " + name + "; CREATE FUNCTION " + name +
            "(a int) RETURNS TABLE (w int, v text) LANGUAGE sql AS $$ SELECT a, 'v2b' $$");
  EXPECT_EQ(Only(c->execute(name + " 5")).rows.at(0).at(1), Value::text("v2b"));
  EXPECT_EQ(prepared().size(), 3u);

  // The function becomes a procedure handing back a cursor.
  admin.run("DROP FUNCTION " + name + "; CREATE PROCEDURE " + name +
            "(a int, INOUT rs refcursor DEFAULT NULL) LANGUAGE plpgsql AS "
            "$$ BEGIN OPEN rs FOR SELECT 'v3:' || a AS v; END $$");
  EXPECT_EQ(Only(c->execute(name + " 5")).rows.at(0).at(0), Value::text("v3:5"));
}

TEST_F(Pool, TheCallFormFindsItsValuesByNameAfterAChange) {
  const std::string name = Scratch("reshaped");
  AdminConnection admin(server_);
  admin.run("CREATE PROCEDURE " + name +
            "(a text, INOUT sqlmsg text DEFAULT NULL) LANGUAGE plpgsql AS "
            "$$ BEGIN sqlmsg := 'old:' || a; END $$");
  auto c = Open();
  Command command(*c, name);  // described as (@a, @sqlmsg)
  admin.run("DROP PROCEDURE " + name + "; CREATE PROCEDURE " + name +
            "(z int DEFAULT 10, a int DEFAULT 0, INOUT sqlmsg text DEFAULT NULL) "
            "LANGUAGE plpgsql AS $$ BEGIN sqlmsg := 'new:' || (z + a); END $$");
  command.set("@a", "5");
  command.Execute();
  EXPECT_EQ(command.output("@sqlmsg"), "new:15");
}

}  // namespace
}  // namespace talwen::testing
