// `talwen call` run as a separate process.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/harness.h"
#include "support/odbc_drivers.h"

namespace talwen {
namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Run the program with these arguments, standard output and error going to files in dir.
Outcome Talwen(const testing::TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), {TALWEN_BINARY, "call"});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = dir.file("stdout"), err = dir.file("stderr");
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, dir.read("stdout"), dir.read("stderr")};
}

class CallCommand : public ::testing::Test {
 protected:
  void SetUp() override { dir.write("rf.ini", "[veldrawms]\nProvider=Nowhere\nUser ID=rf\n"); }
  testing::TempDir dir;
  const std::string refused =
      "<sqlstatus>-2146824582</sqlstatus><sqlmsg>Cannot connect to database server : Provider "
      "cannot be found. It may not be properly installed. (Nowhere)</sqlmsg>";
};

TEST_F(CallCommand, RepliesAndShowsTheSessionKept) {
  const Outcome o = Talwen(dir, {"--config", dir.file("rf.ini"), "function=rf_adjust_carton_qty",
                                 "--server", "REMOTE_ADDR=10.0.0.9", "--show-session", "qty=5"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, refused) << "nothing added, not even a newline";
  EXPECT_EQ(o.err, "function=rf_adjust_carton_qty\nqty=5\n");
}

TEST_F(CallCommand, BuildsTheSessionInOrder) {
  const Outcome o = Talwen(dir, {"--config", dir.file("rf.ini"), "--show-session", "b=2",
                                 "Client=1", "note=a=b", "empty=", "CLIENT=3"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, refused);
  EXPECT_EQ(o.err, "b=2\nClient=3\nnote=a=b\nempty=\n")
      << "a repeated key keeps its first place and takes the later value";

  EXPECT_EQ(Talwen(dir, {"--config", dir.file("rf.ini"), "a=1"}).err, "") << "no --show-session";
}

TEST_F(CallCommand, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"--config"},  {"a=1", "--server"}, {"--server", "REMOTE_ADDR"},    {"qty"}, {"=5"},
      {"--verbose"}, {"--server", "=x"},  {"--show-session", "a=1", "b"},
  };
  for (const auto& args : cases) {
    const Outcome o = Talwen(dir, args);
    EXPECT_EQ(o.status, 2) << args.back();
    EXPECT_EQ(o.out, "") << args.back();
    EXPECT_NE(o.err.find("usage: talwen call [--config FILE]"), std::string::npos) << args.back();
  }
}

#ifdef TALWEN_WITH_ODBC
TEST_F(CallCommand, AnUnreachableSqlServerIsAnsweredAtOnceInTheDriversWords) {
  testing::UsePrivateOdbcDrivers();  // inherited by the program
  if (testing::FreeTdsOdbcDriver().empty()) GTEST_SKIP() << "FreeTDS (tdsodbc) is missing";
  dir.write("sql.ini",
            "[veldrawms]\nData Source=127.0.0.1,1\nInitial Catalog=wms\nUser ID=rf\n"
            "Password=x\nConnect Timeout=5\n[GENERAL]\nODBC DRIVER=FreeTDS\n");
  const auto start = std::chrono::steady_clock::now();
  const Outcome o = Talwen(dir, {"--config", dir.file("sql.ini"), "function=rf_about2"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  const std::string head =
      "<sqlstatus>-2147467259</sqlstatus><sqlmsg>Cannot connect to database server : ";
  EXPECT_TRUE(o.out.starts_with(head)) << o.out;
  EXPECT_GT(o.out.size(), head.size() + std::string("</sqlmsg>").size() + 10) << o.out;
}
#endif

}  // namespace
}  // namespace talwen
