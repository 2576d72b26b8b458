// `talwen serve` on the reference PostgreSQL database: real replies over HTTP, and the
// database stopped and started again under a running gateway. The settings come from
// scripts/db.sh env (TALWEN_PGHOST, TALWEN_PGPORT, ...); without them the tests are skipped.
#include <httplib.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/harness.h"
#include "support/serve_process.h"

namespace talwen {
namespace {

using testing::ServeProcess;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Run scripts/db.sh with one command; true when it succeeded.
bool Database(const std::string& command) {
  const std::string script = std::string(TALWEN_SOURCE_DIR) + "/scripts/db.sh";
  return std::system((script + " " + command + " >/dev/null 2>&1").c_str()) == 0;
}

constexpr const char* kCall =
    "function=rf_adjust_carton_qty&client=C01&carton_no=CTN9&qty=0&operator=JOE";

class GatewayOnPostgres : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Env("TALWEN_PGHOST").empty()) {
      GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    }
    dir_.write("talwen.INI", "[veldrawms]\nProvider=PostgreSQL\nData Source=" +
                                 Env("TALWEN_PGHOST") + "\nPort=" + Env("TALWEN_PGPORT") +
                                 "\nInitial Catalog=" + Env("TALWEN_PGDATABASE") +
                                 "\nUser ID=" + Env("TALWEN_PGUSER") +
                                 "\nPassword=" + Env("TALWEN_PGPASSWORD") + "\n[GENERAL]\n");
    serve_ = std::make_unique<ServeProcess>(
        TALWEN_BINARY, std::vector<std::string>{"--config", dir_.file("talwen.INI"), "--listen",
                                                "127.0.0.1:0", "--threads", "4"});
    port_ = serve_->port();
    ASSERT_NE(port_, 0) << serve_->error_text();
  }
  void TearDown() override {
    if (!serve_) return;
    serve_->signal(SIGTERM);
    EXPECT_EQ(serve_->wait_exit(), 0) << serve_->error_text();
  }

  httplib::Client Client() {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(60);
    return client;
  }
  std::string Post(const std::string& form) {
    auto client = Client();
    const auto res =
        client.Post("/talwen/http_talwen.asp", form, "application/x-www-form-urlencoded");
    if (!res) return "<no answer>";
    if (res->status != 200) return "<status " + std::to_string(res->status) + ">";
    return res->body;
  }
  int Ready() {
    auto client = Client();
    const auto res = client.Get("/ready");
    return res ? res->status : 0;
  }

  testing::TempDir dir_;
  std::unique_ptr<ServeProcess> serve_;
  int port_ = 0;
};

TEST_F(GatewayOnPostgres, AnswersWithTheProceduresReply) {
  EXPECT_EQ(Ready(), 200);
  const std::string reply = Post(kCall);
  EXPECT_EQ(reply.rfind("<sqlstatus>", 0), 0u) << reply;
  EXPECT_EQ(reply.find("Cannot connect"), std::string::npos) << reply;
}

TEST_F(GatewayOnPostgres, ParallelClientsAllGetWholeReplies) {
  const std::string expected = Post(kCall);
  std::atomic<int> different{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 8; ++t) {
    clients.emplace_back([&] {
      for (int i = 0; i < 20; ++i) {
        if (Post(kCall) != expected) ++different;
      }
    });
  }
  for (auto& c : clients) c.join();
  EXPECT_EQ(different, 0) << "a quantity change of 0 answers the same every time";
}

TEST_F(GatewayOnPostgres, RecoversWhenTheDatabaseComesBack) {
  ASSERT_EQ(Ready(), 200);
  ASSERT_TRUE(Database("stop"));
  const std::string down = Post(kCall);
  EXPECT_NE(down.find("Cannot connect to database server : "), std::string::npos) << down;
  EXPECT_EQ(Ready(), 503);

  ASSERT_TRUE(Database("start"));
  int ready = 0;
  for (int i = 0; i < 300 && ready != 200; ++i) {
    ready = Ready();
    if (ready != 200) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(ready, 200) << "ready again without a restart of the gateway";
  const std::string up = Post(kCall);
  EXPECT_EQ(up.find("Cannot connect"), std::string::npos) << up;
}

}  // namespace
}  // namespace talwen
