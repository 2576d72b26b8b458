// `talwen serve` on the reference PostgreSQL database: real replies over HTTP, and the
// database stopped and started again under a running gateway. The settings come from
// scripts/db.sh env (TALWEN_PGHOST, TALWEN_PGPORT, ...); without them the tests are skipped.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/live_warehouse.h"

namespace talwen {
namespace {

// Run scripts/db.sh with one command; true when it succeeded.
bool Database(const std::string& command) {
  std::string line = TALWEN_SOURCE_DIR "/scripts/db.sh ";
  line.append(command).append(" >/dev/null 2>&1");
  return std::system(line.c_str()) == 0;
}

const testing::Fields kCall = {{"function", "rf_adjust_carton_qty"},
                               {"client", "C01"},
                               {"carton_no", "CTN9"},
                               {"qty", "0"},
                               {"operator", "JOE"}};

class GatewayOnPostgres : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::LiveWarehouse::Available()) {
      GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    }
    live_ = std::make_unique<testing::LiveWarehouse>();
  }

  std::string Post(const testing::Fields& fields) { return live_->Post(fields); }
  // The status of GET /ready.
  int Ready() {
    const std::string body = live_->Get("/ready");
    if (body.rfind("<status ", 0) == 0) return std::stoi(body.substr(8));
    return body == "<no answer>" ? 0 : 200;
  }

  std::unique_ptr<testing::LiveWarehouse> live_;
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
