// `talwen serve` on the reference PostgreSQL database: real replies over HTTP, the database
// stopped and started again under a running gateway, a locked row, a client that goes away
// mid-call, and the metrics read by a Prometheus parser. The settings come from
// scripts/db.sh env (TALWEN_PGHOST, TALWEN_PGPORT, ...); without them the tests are skipped.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
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

  // Carton CTN9's quantity (0 in the reference database).
  std::string CartonQty() {
    return live_->Query(
        "SELECT trim_scale(qty)::text FROM stock WHERE client = 'C01' AND carton_no = 'CTN9'");
  }
  // Calls of rf_adjust_carton_qty the database is running now.
  int Running() {
    return std::stoi(
        live_->Query("SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND "
                     "query LIKE '%rf_adjust_carton_qty%' AND pid <> pg_backend_pid()"));
  }
  // Wait up to seconds for Running() to be n.
  bool WaitRunning(int n, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (Running() != n) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  std::unique_ptr<testing::LiveWarehouse> live_;
};

// The carton's row locked, as another session of the warehouse would hold it.
class CartonLock {
 public:
  explicit CartonLock(const testing::PgServer& server) : admin_(server) {
    admin_.run(
        "BEGIN; SELECT 1 FROM carton WHERE client = 'C01' AND carton_no = 'CTN9' FOR UPDATE");
  }
  ~CartonLock() { admin_.run("ROLLBACK"); }

 private:
  testing::AdminConnection admin_;
};

TEST_F(GatewayOnPostgres, AnswersWithTheProceduresReply) {
  EXPECT_EQ(Ready(), 200);
  const std::string reply = Post(kCall);
  EXPECT_EQ(reply.rfind("<sqlstatus>", 0), 0u) << reply;
  EXPECT_EQ(reply.find("Cannot connect"), std::string::npos) << reply;
}

TEST_F(GatewayOnPostgres, ParallelClientsAllGetWholeReplies) {
  live_ = std::make_unique<testing::LiveWarehouse>("FUNCTION LIMIT=4");  // each worker
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

TEST_F(GatewayOnPostgres, ALockedRowHoldsUpOnlyItsOwnFunction) {
  // 4 workers: at most 2 calls of one function at once; the others are refused once those two
  // have been stuck for a second.
  std::atomic<int> refused{0}, answered{0};
  std::vector<std::thread> calls;
  {
    CartonLock lock(live_->server());
    for (int i = 0; i < 40; ++i) {
      calls.emplace_back([&] {
        const std::string reply = Post(kCall);
        ++(reply == "<status 503>" ? refused : answered);
      });
    }
    for (int i = 0; i < 1500 && refused < 38; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(refused, 38);
    EXPECT_TRUE(WaitRunning(2, 10));
    const std::string profile = Post({{"function", "rf_get_user_profile"}, {"operator", "JOE"}});
    EXPECT_EQ(profile.rfind("<record>", 0), 0u) << profile;
    EXPECT_EQ(answered, 0) << "the two calls wait for the lock meanwhile";
  }
  for (auto& c : calls) c.join();
  EXPECT_EQ(answered, 2);
}

// A connection to the gateway kept open, for requests sent by hand.
class RawClient {
 public:
  explicit RawClient(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const timeval limit{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  }
  ~RawClient() { ::close(fd_); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  // GET /live on it: true when the answer's first bytes came within a second.
  bool Live() {
    const std::string request = "GET /live HTTP/1.1\r\nHost: rf\r\n\r\n";
    if (!connected_ || ::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) !=
                           static_cast<ssize_t>(request.size())) {
      return false;
    }
    char head[12] = {};
    return ::recv(fd_, head, sizeof head, MSG_WAITALL) == sizeof head &&
           std::string(head, sizeof head) == "HTTP/1.1 200";
  }

 private:
  int fd_;
  bool connected_ = false;
};

TEST_F(GatewayOnPostgres, ACallWaitingForTheOnlyConnectionHoldsUpNoOtherRequest) {
  live_ = std::make_unique<testing::LiveWarehouse>("POOL SIZE=1");
  ASSERT_EQ(Ready(), 200);
  std::string held, waited;
  std::thread first, second;
  {
    CartonLock lock(live_->server());
    first = std::thread([&] { held = Post(kCall); });
    ASSERT_TRUE(WaitRunning(1, 10)) << "the call holds the pool's one connection";
    second = std::thread([&] {
      waited = Post({{"function", "rf_get_user_profile"}, {"operator", "JOE"}});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Connections opened now are shared out among all the workers, those of the two calls
    // included; each is answered at once.
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 6; ++i) clients.push_back(std::make_unique<RawClient>(live_->port()));
    for (auto& client : clients) EXPECT_TRUE(client->Live());
    EXPECT_TRUE(waited.empty()) << "still waiting for the connection: " << waited;
  }
  first.join();
  second.join();
  EXPECT_EQ(held.rfind("<sqlstatus>", 0), 0u) << held;
  EXPECT_EQ(waited.rfind("<record>", 0), 0u) << "served once the connection came free";
}

TEST_F(GatewayOnPostgres, AClientThatGoesAwayCancelsItsCall) {
  ASSERT_EQ(CartonQty(), "0");
  {
    CartonLock lock(live_->server());
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(live_->port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string body =
        "function=rf_adjust_carton_qty&client=C01&carton_no=CTN9&qty=1&operator=JOE";
    const std::string request =
        "POST /talwen/http_talwen.asp HTTP/1.1\r\nHost: rf\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\n"
        "Content-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body;
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    ASSERT_TRUE(WaitRunning(1, 10)) << "the call waits for the lock";
    ::close(fd);
    EXPECT_TRUE(WaitRunning(0, 1)) << "the statement is cancelled within a second";
  }
  EXPECT_EQ(CartonQty(), "0") << "the change was never applied";
  if (CartonQty() != "0") Post(kCall);  // put it back for the other tests
  const std::string metrics = live_->Get("/metrics");
  EXPECT_NE(metrics.find("{function=\"rf_adjust_carton_qty\",outcome=\"cancelled\"} 1\n"),
            std::string::npos)
      << metrics;
  EXPECT_EQ(Post(kCall).rfind("<sqlstatus>0</sqlstatus>", 0), 0u) << "the pool serves on";
}

// Sums of the samples of /metrics, read by the Prometheus client library's parser, by
// "name{label=value,...}" with the labels in the parser's order.
std::map<std::string, double> ParsedMetrics(const std::string& text) {
  testing::TempDir dir;
  dir.write("metrics.txt", text);
  const std::string script =
      "import sys\n"
      "from prometheus_client.parser import text_string_to_metric_families\n"
      "for family in text_string_to_metric_families(open(sys.argv[1]).read()):\n"
      "    for s in family.samples:\n"
      "        labels = ','.join(k + '=' + v for k, v in sorted(s.labels.items()))\n"
      "        print(repr(float(s.value)), s.name + '{' + labels + '}')\n";
  dir.write("parse.py", script);
  const std::string command = "/usr/bin/python3 " + dir.file("parse.py") + " " +
                              dir.file("metrics.txt") + " > " + dir.file("out.txt") + " 2>&1";
  std::map<std::string, double> samples;
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << "the parser refused the text: " << dir.read("out.txt");
    return samples;
  }
  std::ifstream out(dir.file("out.txt"));
  std::string name;
  double value = 0;
  while (out >> value && std::getline(out >> std::ws, name)) samples[name] = value;
  return samples;
}

TEST_F(GatewayOnPostgres, MetricsParseAndAgreeWithTheRequestsSent) {
  for (int i = 0; i < 3; ++i) Post(kCall);
  Post({{"function", "rf_adjust_carton_qty"},
        {"client", "C01"},
        {"carton_no", "NONE"},
        {"qty", "0"},
        {"operator", "JOE"}});
  Post({{"function", "rf_no_such_function"}});
  auto samples = ParsedMetrics(live_->Get("/metrics"));
  const std::string adjust = "function=rf_adjust_carton_qty";
  EXPECT_EQ(samples["talwen_requests_total{" + adjust + ",outcome=ok}"], 3);
  EXPECT_EQ(samples["talwen_requests_total{" + adjust + ",outcome=status_nonzero}"], 1);
  EXPECT_EQ(samples["talwen_requests_total{function=unknown,outcome=status_nonzero}"], 1);
  EXPECT_EQ(samples["talwen_request_duration_seconds_count{" + adjust + "}"], 4);
  EXPECT_EQ(samples["talwen_request_duration_seconds_bucket{" + adjust + ",le=+Inf}"], 4);
  bool pool = false, version = false;
  for (const auto& [name, value] : samples) {
    if (name.starts_with("talwen_build_info{version=")) version = value == 1;
    if (!name.starts_with("talwen_pool_size{")) continue;
    pool = true;
    EXPECT_EQ(name.find("password"), std::string::npos) << name;
    EXPECT_EQ(value, 16) << name;
  }
  EXPECT_TRUE(pool);
  EXPECT_TRUE(version);
}

}  // namespace
}  // namespace talwen
