// talwen serve as a program: its arguments, its start-up, and its stop on a signal.
#include <httplib.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/harness.h"
#include "support/serve_process.h"

namespace talwen {
namespace {

using testing::ServeProcess;

TEST(ServeCommand, UsageErrorsExitWithTwo) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"--threads", "0"},
           {"--threads", "many"},
           {"--listen", "8080"},
           {"--listen", "::1:8080"},
           {"--listen", "127.0.0.1:70000"},
           {"--bogus"},
           {"--config"},
           {"stray"},
       }) {
    ServeProcess serve(TALWEN_BINARY, args);
    EXPECT_EQ(serve.wait_exit(), 2) << args[0];
    EXPECT_NE(serve.error_text().find("usage: talwen serve"), std::string::npos);
  }
}

TEST(ServeCommand, BadGeneralKeysStopTheStart) {
  testing::TempDir dir;
  dir.write("t.INI", "[GENERAL]\nHTTP ALLOW FROM=10.0.0.0/99\n");
  ServeProcess serve(TALWEN_BINARY, {"--config", dir.file("t.INI"), "--listen", "127.0.0.1:0"});
  EXPECT_EQ(serve.wait_exit(), 1);
  EXPECT_NE(serve.error_text().find("HTTP ALLOW FROM"), std::string::npos);
}

TEST(ServeCommand, ServesUntilSigtermThenExitsWithZero) {
  testing::TempDir dir;
  dir.write("t.INI", "[veldrawms]\nProvider=None\n[GENERAL]\nHTTP WORKERS=5\n");
  ServeProcess serve(TALWEN_BINARY,
                     {"--config", dir.file("t.INI"), "--listen", "127.0.0.1:0", "--threads", "2"});
  // Never more workers than requests at once.
  ASSERT_TRUE(serve.wait_for(" with 2 requests at once on 2 workers")) << serve.error_text();
  const int port = serve.port();

  httplib::Client client("127.0.0.1", port);
  const auto res = client.Get("/talwen/http_talwen.asp?function=rf_get_po");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_NE(res->body.find("Cannot connect to database server"), std::string::npos);

  serve.signal(SIGTERM);
  EXPECT_EQ(serve.wait_exit(), 0);
  EXPECT_NE(serve.error_text().find("stopped"), std::string::npos);
}

}  // namespace
}  // namespace talwen
