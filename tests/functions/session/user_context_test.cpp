#include <gtest/gtest.h>

#include "functions/session/session_cases.h"

namespace talwen::testing {
namespace {

TEST(SignOnStatements, SendTheTemplateAndShapeTheReply) {
  ExpectStatementCases({
      {"the password check sends both values as quoted text after exec",
       {{"function", "rf_check_user_password"}, {"operator", "JOE"}, {"password", "it's"}},
       "exec rf_check_user_password  N'JOE',  N'it''s'",
       {Texts({"sqlstatus", "sqlmsg"}, {{"0", "Password accepted."}})},
       "<sqlstatus>0</sqlstatus><sqlmsg>Password accepted.</sqlmsg>"},
      {"the user's clients keep two fixed tags in fixed order and drop other columns",
       {{"function", "rf_get_user_client"}, {"operator", "JOE"}},
       "get_user_client  N'JOE'",
       {Texts({"client_name", "active", "CLIENT"}, {{"Acme", "Y", "C01"}, {"Bolt", "Y", "C02"}})},
       "<record><client>C01</client><client_name>Acme</client_name></record>"
       "<record><client>C02</client><client_name>Bolt</client_name></record>"},
      {"task priorities are elements named by the movement type",
       {{"function", "rf_get_user_tasks_priority"}, {"operator", "JOE"}},
       "get_tasks_priorities  N'JOE'",
       {Rows({"operator", "Movement", "priority"},
             {{T("JOE"), T("PUTAWAY"), Value::int32(1)}, {T("JOE"), T("PICK"), Value::int32(2)}})},
       "<PUTAWAY>1</PUTAWAY><PICK>2</PICK>"},
      {"menu rights are elements named by the menu, each holding 1",
       {{"function", "rf_get_user_access"}, {"operator", "JOE"}},
       "get_user_access  N'JOE'",
       {Texts({"menu_name"}, {{"RECEIPT"}, {"PICKING"}})},
       "<RECEIPT>1</RECEIPT><PICKING>1</PICKING>"},
      {"the last client is found",
       {{"function", "rf_get_last_client_accessed"}, {"operator", "JOE"}},
       "rf_get_last_client_accessed  N'JOE'",
       {Texts({"client"}, {{"C01"}})},
       "<sqlstatus>0</sqlstatus><sqlmsg>Client found.</sqlmsg><client>C01</client>"},
      {"an operator without history has no last client",
       {{"function", "rf_get_last_client_accessed"}, {"operator", "NEW"}},
       "rf_get_last_client_accessed  N'NEW'",
       {Texts({"client"}, {})},
       "<sqlstatus>-1</sqlstatus><sqlmsg>No client found.</sqlmsg>"},
      {"operator clients skip rows with an empty or Null client",
       {{"function", "rf_get_operator_clients"}, {"operator", "JOE"}},
       "rf_get_operator_clients  N'JOE'",
       {Rows({"client", "client_name"}, {{T("C01"), T("Acme")},
                                         {T(""), T("Blank")},
                                         {Value::null(), T("None")},
                                         {T("C02"), T("Bolt")}})},
       "<client>C01</client><client>C02</client>"},
      {"operator clients as records nest the client tags inside the record element",
       {{"function", "rf_get_operator_clients2"}, {"operator", "JOE"}},
       "rf_get_operator_clients  N'JOE'",
       {Rows({"client", "client_name"},
             {{T("C01"), T("Acme")}, {T(""), T("Blank")}, {T("C02"), Value::null()}})},
       "<record><client>C01</client><client_name>Acme</client_name></record>"
       "<record><client>C02</client><client_name></client_name></record>"},
  });
}

TEST(SignOnProcedures, PassInputsByPositionAndReplyFromOutputs) {
  const struct {
    const char* proves;
    SessionValues session;
    const char* procedure;
    std::vector<std::string> inputs;  // the declared inputs, in order
    std::map<std::string, Value> outputs;
    std::vector<Value> sent;  // the values at positions 1..
    std::string reply;
  } cases[] = {
      {"a station check replies its status only, never a message",
       {{"function", "rf_verify_user_station"},
        {"operator", "JOE"},
        {"station", "R1"},
        {"warehouse", "W1"},
        {"station_type", "RCV"}},
       "rf_verify_user_station",
       {"@warehouse", "@station", "@station_type", "@operator"},
       {{"@sqlstatus", Value::int32(-2)}, {"@sqlmsg", T("Station R1 is not in W1.")}},
       {T("W1"), T("R1"), T("RCV"), T("JOE")},
       "<sqlstatus>-2</sqlstatus>"},
      {"a sign-off leaving its message Null replies an empty message",
       {{"function", "rf_system_logout"}, {"operator", "JOE"}},
       "rf_system_logout",
       {"@operator"},
       {{"@sqlstatus", Value::int32(0)}},
       {T("JOE")},
       "<sqlstatus>0</sqlstatus><sqlmsg></sqlmsg>"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->procedure(c.procedure, c.inputs, {"@sqlstatus", "@sqlmsg"});
    h.db->answer(Outputs(c.outputs));
    EXPECT_EQ(CallWith(h, c.session), c.reply) << c.proves;
    ASSERT_EQ(h.db->calls.size(), 1u) << c.proves;
    const std::vector<Value>& values = h.db->calls[0].values;
    for (size_t i = 0; i < c.sent.size(); ++i) EXPECT_EQ(values.at(i + 1), c.sent[i]) << c.proves;
  }
}

}  // namespace
}  // namespace talwen::testing
