#include "frame/main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/trace_log.h"
#include "functions/function_table.h"
#include "support/harness.h"

namespace talwen {
namespace {

using testing::Closed;
using testing::Harness;
using testing::T;
using testing::Texts;

// The session as "key=value" lines, in order.
std::string Lines(const Values& values) {
  std::string out;
  for (const auto& [key, value] : values.items()) out += key + "=" + value + "\n";
  return out;
}

TEST(Process, ConnectionFailureKeepsTheSession) {
  Harness h;
  h.db->refuse_connections(-2147217843, "Login failed for user 'rf'.");
  EXPECT_EQ(h.call({{"function", "rf_adjust_carton_qty"}, {"client", "C01"}}),
            "<sqlstatus>-2147217843</sqlstatus><sqlmsg>Cannot connect to database server : "
            "Login failed for user 'rf'.</sqlmsg>");
  EXPECT_EQ(Lines(h.session), "function=rf_adjust_carton_qty\nclient=C01\n");
  EXPECT_TRUE(h.db->statements.empty());
}

TEST(Process, InstanceChoosesTheSection) {
  Harness h;
  h.write_ini("[Other]\nProvider=Nowhere\n[VELDRAWMS]\nProvider=Scripted\nData Source=srv\n");
  h.call({{"function", "rf_system_logout"}, {"dbinstance", ""}});
  EXPECT_EQ(h.db->last_connection_string, "Provider=Scripted;Data Source=srv;PROVIDER=SQLOLEDB")
      << "an empty instance is veldrawms";
  EXPECT_EQ(h.call({{"function", "rf_system_logout"}, {"dbinstance", "other"}}),
            "<sqlstatus>-2146824582</sqlstatus><sqlmsg>Cannot connect to database server : "
            "Provider cannot be found. It may not be properly installed. (Nowhere)</sqlmsg>");
  EXPECT_EQ(h.call({{"function", "rf_system_logout"}, {"dbinstance", "absent"}}),
            "<sqlstatus>-2146824582</sqlstatus><sqlmsg>Cannot connect to database server : "
            "Provider cannot be found. It may not be properly installed. (SQLOLEDB)</sqlmsg>")
      << "a missing section leaves only the default provider";
}

TEST(Process, DispatchesOnTheLowerCasedName) {
  const struct {
    const char* proves;
    const char* function;
    const char* expected;
  } cases[] = {
      {"an unknown name is answered as given", "Rf_No_Such",
       "<sqlstatus>-1</sqlstatus><sqlmsg>Rf_No_Such is not a defined function.</sqlmsg>"},
      {"an empty name is unknown", "",
       "<sqlstatus>-1</sqlstatus><sqlmsg> is not a defined function.</sqlmsg>"},
      {"upper case dispatches", "RF_ADJUST_CARTON_QTY", "<sqlstatus>0</sqlstatus>"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({Texts({"sqlstatus"}, {{"0"}})});
    EXPECT_EQ(h.call({{"function", c.function}, {"client", "C01"}}), c.expected) << c.proves;
    EXPECT_EQ(h.session.count(), 0) << c.proves << ": the session is cleared";
  }
}

TEST(Process, ANameNotServedYetIsUnknown) {
  const auto rows = AllFunctions();
  const auto unserved =
      std::find_if(rows.begin(), rows.end(), [](const RfFunction& f) { return !f.handler; });
  if (unserved == rows.end()) GTEST_SKIP() << "every function is served";
  const std::string name(unserved->name);
  Harness h;
  EXPECT_EQ(h.call({{"function", name}}),
            "<sqlstatus>-1</sqlstatus><sqlmsg>" + name + " is not a defined function.</sqlmsg>");
}

TEST(Process, FailingHandlerRepliesEmptyAndIsReported) {
  const struct {
    const char* proves;
    const char* function;
    std::vector<db::ResultSet> sets;
    std::optional<db::DbError> error;
    const char* failure;  // what the server log is told
    const char* reason;   // what the client is told; "" for no failure
  } cases[] = {
      {"no row for a first-row reply is no failure",
       "rf_adjust_carton_qty",
       {Texts({"sqlstatus"}, {})},
       {},
       "rf_adjust_carton_qty: no rows in the result",
       ""},
      {"a failed statement in the grid form, told rather than the missing row",
       "rf_adjust_carton_qty",
       {},
       db::DbError(db::kErrorStatement, "x"),
       "rf_adjust_carton_qty: (database error) x",
       "database error"},
      {"a time-out is a time-out",
       "rf_adjust_carton_qty",
       {},
       db::DbError(db::kErrorTimeout, "canceling statement due to statement timeout", "57014"),
       "rf_adjust_carton_qty: (timeout) canceling",
       "timeout"},
      {"a database error in the recordset form, with its code",
       "rf_get_last_client_accessed",
       {},
       db::DbError(db::kErrorStatement, "duplicate key", "23505"),
       "rf_get_last_client_accessed: (database error 23505) duplicate key",
       "database error 23505"},
      {"a code that is not plain is left out",
       "rf_get_last_client_accessed",
       {},
       db::DbError(db::kErrorStatement, "x", "a b<"),
       "rf_get_last_client_accessed: (database",
       "database error"},
      {"a reply over 1,000,000 characters",
       "rf_adjust_carton_qty",
       {Texts({"a"}, {{std::string(999'994, 'x')}})},
       {},
       "rf_adjust_carton_qty: (reply too long) reply exceeds 1,000,000 characters",
       "reply too long"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({c.sets, {}, c.error});
    EXPECT_EQ(h.call({{"function", c.function}, {"operator", "JOE"}}), "") << c.proves;
    EXPECT_EQ(h.session.count(), 0) << c.proves;
    ASSERT_EQ(h.failures.size(), 1u) << c.proves;
    EXPECT_TRUE(h.last_failure().starts_with(c.failure)) << c.proves << ": " << h.last_failure();
    EXPECT_EQ(h.failure.reason, c.reason) << c.proves;
  }
  // A bad number names its key (never its text), an unknown function says so; an answered
  // status reply is told by the reply itself.
  Harness bad;
  EXPECT_EQ(bad.call({{"function", "rf_receipt_topup_putaway"}, {"qty", "12<b>"}}), "");
  EXPECT_EQ(bad.failure.reason, "bad number in qty");
  Harness unknown;
  unknown.call({{"function", "rf_no_such"}});
  EXPECT_EQ(unknown.failure.reason, "unknown function");
  Harness answered;
  answered.db->answer({{}, {}, db::DbError(-2147217900, "Invalid object name.")});
  EXPECT_NE(answered.call({{"function", "rf_close_pick_task"}}), "");
  EXPECT_TRUE(answered.failure.answered);
  Harness fits;
  fits.db->answer({Texts({"a"}, {{std::string(999'993, 'x')}})});
  EXPECT_EQ(fits.call({{"function", "rf_adjust_carton_qty"}}).size(), 1'000'000u)
      << "a reply of exactly 1,000,000 characters is whole";
}

TEST(Process, ConfigurationEditsTakeEffectOnTheNextCall) {
  Harness h;
  h.call({{"function", "rf_system_logout"}});
  EXPECT_EQ(h.log_text(), "");
  h.write_ini("[veldrawms]\nProvider=Scripted\n[GENERAL]\nLOGGING FILE=" + h.dir.file("trace.log"));
  h.db->procedure("rf_system_logout", {"@operator"}, {"@sqlstatus", "@sqlmsg"});
  h.call({{"function", "rf_system_logout"}});
  EXPECT_NE(h.log_text(), "");
}

TEST(Handlers, AdjustCartonQty) {
  const struct {
    const char* proves;
    const char* qty;
    db::ResultSet answer;
    const char* sql;
    const char* reply;
  } cases[] = {
      {"the columns of the first row, in their order", "12",
       Texts({"sqlstatus", "sqlmsg", "Carton"}, {{"0", "Adjusted.", "CTN9"}, {"9", "x", "y"}}),
       "rf_adjust_carton_qty  N'C01',  N'CTN9', 12,  N'JOE'",
       "<sqlstatus>0</sqlstatus><sqlmsg>Adjusted.</sqlmsg><Carton>CTN9</Carton>"},
      {"an empty quantity is Null", "",
       testing::Rows({"sqlstatus", "sqlmsg"}, {{Value::int32(-3), Value::null()}}),
       "rf_adjust_carton_qty  N'C01',  N'CTN9', Null,  N'JOE'",
       "<sqlstatus>-3</sqlstatus><sqlmsg></sqlmsg>"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({Closed(), c.answer});
    EXPECT_EQ(h.call({{"function", "rf_adjust_carton_qty"},
                      {"operator", "JOE"},
                      {"qty", c.qty},
                      {"carton_no", "CTN9"},
                      {"client", "C01"}}),
              c.reply)
        << c.proves;
    EXPECT_EQ(h.db->statements, std::vector<std::string>{c.sql}) << c.proves;
  }
}

TEST(Handlers, GetLastClientAccessed) {
  Harness h;
  h.db->answer({Texts({"Client", "name"}, {{"C07", "Acme"}, {"C08", "B"}})});
  EXPECT_EQ(h.call({{"function", "rf_get_last_client_accessed"}, {"operator", "O'Neil"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Client found.</sqlmsg><client>C07</client>");
  EXPECT_EQ(h.db->statements.back(), "rf_get_last_client_accessed  N'O''Neil'");

  h.db->answer({Texts({"client"}, {})});
  EXPECT_EQ(h.call({{"function", "rf_get_last_client_accessed"}}),
            "<sqlstatus>-1</sqlstatus><sqlmsg>No client found.</sqlmsg>");
  EXPECT_EQ(h.db->statements.back(), "rf_get_last_client_accessed Null");
}

TEST(Handlers, SystemLogout) {
  Harness h;
  h.db->procedure("rf_system_logout", {"@operator"}, {"@sqlstatus", "@sqlmsg"});
  h.db->answer(testing::Answer{{}, {{"@SQLSTATUS", Value::int32(0)}}, std::nullopt});
  EXPECT_EQ(h.call({{"function", "rf_system_logout"}, {"operator", " JOE "}}),
            "<sqlstatus>0</sqlstatus><sqlmsg></sqlmsg>")
      << "a Null @sqlmsg is written empty";
  ASSERT_EQ(h.db->calls.size(), 1u);
  const testing::ReceivedCall& call = h.db->calls[0];
  EXPECT_EQ(call.procedure, "rf_system_logout");
  ASSERT_EQ(call.values.size(), 4u);
  EXPECT_TRUE(call.values[0].is_empty()) << "the return value is not assigned";
  EXPECT_EQ(call.values[1], T(" JOE ")) << "a parameter value is passed untrimmed";
  EXPECT_TRUE(call.values[2].is_empty());
  EXPECT_TRUE(h.db->statements.empty());

  h.db->answer(
      testing::Answer{{}, {{"@sqlstatus", T("-5")}, {"@sqlmsg", T("Not signed on.")}}, {}});
  EXPECT_EQ(h.call({{"function", "rf_system_logout"}}),
            "<sqlstatus>-5</sqlstatus><sqlmsg>Not signed on.</sqlmsg>");
}

class Trace : public ::testing::Test {
 protected:
  // Run rf_adjust_carton_qty with a Password and a user_password in the session.
  std::string Traced(const std::string& general) {
    h.write_ini("[veldrawms]\nProvider=Scripted\n[GENERAL]\n" + general);
    h.db->answer({Texts({"sqlstatus"}, {{"0"}})});
    h.call({{"function", "RF_Adjust_Carton_Qty"},
            {"Password", "héllo"},
            {"user_password", "open"},
            {"client", "C01"}});
    return h.log_text();
  }
  // The files in the harness's folder besides the INI file.
  int OtherFiles() const {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(h.dir.path())) {
      n += entry.path().filename() != "talwen.INI";
    }
    return n;
  }

  Harness h;
};

TEST_F(Trace, ModesDecideWhatIsWritten) {
  const std::string enter = "2009-01-05 10:15:01 - 10.1.1.7 entering RF_Adjust_Carton_Qty";
  const std::string session =
      "\r\n1 > function : RF_Adjust_Carton_Qty\r\n2 > Password : *****\r\n"
      "3 > user_password : open\r\n4 > client : C01";
  const std::string exit = "2009-01-05 10:15:01 - 10.1.1.7 exiting RF_Adjust_Carton_Qty\r\n";
  const struct {
    const char* mode;
    std::string expected;
  } cases[] = {
      {"", enter + "\r\n" + exit + "\r\n"},
      {"LOGGING MODE=BRIEF", enter + "\r\n" + exit + "\r\n"},
      {"LOGGING MODE=detail", enter + "\r\n" + exit + "\r\n"},
      {"LOGGING MODE=DETAIL", enter + session + "\r\n" + exit + "\r\n"},
      {"LOGGING MODE=DETAILED",
       enter + session + "\r\n" + exit + "<sqlstatus>0</sqlstatus>\r\n\r\n"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(h.log_path());
    EXPECT_EQ(Traced("LOGGING FILE=" + h.dir.file("trace.log") + "\n" + c.mode), c.expected)
        << c.mode;
  }
}

TEST_F(Trace, DetailedExitWithoutReply) {
  Environment env;
  env.now = Harness::fixed_now;
  Session session;
  const auto connection = h.connector.open("Provider=Scripted");
  Call call(env, session, h.request, *connection);
  call.remote_addr = "10.1.1.7";
  call.function_name = "rf_x";
  call.trace = {h.dir.file("t.log"), "DETAILED"};
  LogExit(call, "");
  EXPECT_EQ(h.dir.read("t.log"), "2009-01-05 10:15:01 - 10.1.1.7 exiting rf_x\r\n\r\n");
}

TEST_F(Trace, OffWritesNothing) {
  EXPECT_EQ(Traced("LOGGING MODE=DETAILED"), "");
  EXPECT_EQ(OtherFiles(), 0);

  // A line without a path of its own goes nowhere while tracing is off.
  Environment env;
  Session session;
  const auto connection = h.connector.open("Provider=Scripted");
  Call call(env, session, h.request, *connection);
  WriteLogLine(call, "item A1");
  EXPECT_EQ(OtherFiles(), 0);
  WriteLogLine(call, "item A1", h.dir.file("direct.log"));
  EXPECT_TRUE(h.dir.read("direct.log").ends_with(" - item A1\r\n"));
}

}  // namespace
}  // namespace talwen
