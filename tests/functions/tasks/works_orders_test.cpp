// Contract tests of the works-order and task-report functions.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/function_calls.h"
#include "support/harness.h"

namespace talwen {
namespace {

using testing::Call;
using testing::Harness;
using testing::Rows;
using testing::SessionValues;
using testing::T;
using testing::Texts;

TEST(WorksOrders, StatementTexts) {
  const SessionValues all = {
      {"operator", "JOE"},       {"client", "C01"},      {"warehouse", "W1"},  {"area", "PICK"},
      {"movement_type", "PICK"}, {"order_no", "SO1001"}, {"wo_no", "WO000002"}};
  const struct {
    const char* function;
    SessionValues session;
    const char* sql;
  } cases[] = {
      {"rf_assign_whse_task_manual", all,
       "assign_whse_task_manual  N'JOE',  N'PICK',  N'C01',  N'SO1001',  N'JOE'"},
      {"rf_assign_works_order", all, "assign_works_order  N'JOE',  N'PICK',  N'PICK',  N'JOE'"},
      {"rf_assign_works_order", {}, "assign_works_order Null, Null, Null, Null"},
      {"rf_get_wo", all, "rf_get_wo  N'WO000002'"},
      {"rf_get_unfinished_works_order", all, "get_unfinished_works_order  N'JOE', 1,  N'PICK'"},
      {"rf_get_unfinished_works_order",
       {{"operator", "JOE"}},
       "get_unfinished_works_order  N'JOE', 1, Null"},
      {"rf_get_stock_movements_task_info", all,
       "rf_get_stock_movements_task_info  N'C01',  N'SO1001',  N'PICK'"},
      {"rf_query_stock_movements", all, "rf_query_stock_movements  N'C01',  N'W1',  N'PICK'"},
      {"rf_rpt_os_tasks", all, "rpt_os_tasks  N'WO000002'"},
  };
  for (const auto& c : cases) {
    Harness h;
    Call(h, c.function, c.session);
    EXPECT_EQ(h.db->statements, std::vector<std::string>{c.sql}) << c.function;
  }
}

TEST(WorksOrders, ManualAssignmentSucceedsOnlyWithAWorksOrder) {
  const struct {
    const char* proves;
    db::ResultSet answer;
    const char* reply;
  } cases[] = {
      {"a works order number is success",
       Rows({"sqlstatus", "SQLMSG ", "Wo_Number"}, {{Value::int32(0), T("Assigned."), T("WO7")}}),
       "<wo_no>WO7</wo_no><sqlstatus>0</sqlstatus><sqlmsg>Assigned.</sqlmsg>"},
      {"an empty number is failure, whatever status came back",
       Rows({"sqlstatus", "sqlmsg", "wo_number"}, {{Value::int32(0), T("Nothing open."), T("")}}),
       "<wo_no></wo_no><sqlstatus>-1</sqlstatus><sqlmsg>Nothing open.</sqlmsg>"},
      {"a Null number is failure too",
       Rows({"sqlstatus", "sqlmsg", "wo_number"},
            {{Value::int32(0), T("No works order."), Value::null()}}),
       "<wo_no></wo_no><sqlstatus>-1</sqlstatus><sqlmsg>No works order.</sqlmsg>"},
      {"a result without the columns is failure", Rows({"sqlstatus"}, {{Value::int32(0)}}),
       "<wo_no></wo_no><sqlstatus>-1</sqlstatus><sqlmsg></sqlmsg>"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({c.answer});
    EXPECT_EQ(Call(h, "rf_assign_whse_task_manual", {}), c.reply) << c.proves;
  }
}

TEST(WorksOrders, ErrorsComeBackAsTheStatusPair) {
  for (const char* function :
       {"rf_assign_works_order", "rf_get_wo", "rf_get_unfinished_works_order", "rf_rpt_os_tasks"}) {
    Harness h;
    h.db->fail(-2147217900, "Works order locked.");
    EXPECT_EQ(Call(h, function, {{"limit", "Y"}}),
              "<sqlstatus>-2147217900</sqlstatus><sqlmsg>Works order locked.</sqlmsg>")
        << function;
  }
  for (const char* function : {"rf_query_stock_movements"}) {
    Harness h;
    h.db->fail(-2147217900, "Works order locked.");
    EXPECT_EQ(Call(h, function, {}), "") << function << ": no error report";
  }
}

TEST(WorksOrders, AssignWorksOrderReadsTheColumnNamedExactly) {
  const struct {
    const char* proves;
    db::ResultSet answer;
    const char* reply;
  } cases[] = {
      {"the works order of row 0",
       Texts({"sqlstatus", "works_order"}, {{"0", "WO000002"}, {"0", "WO000009"}}),
       "<wo_no>WO000002</wo_no>"},
      {"none to take: a Null works order", Rows({"works_order"}, {{Value::null()}}),
       "<wo_no></wo_no>"},
      {"no row, no reply", Texts({"works_order"}, {}), ""},
      {"the name must match exactly", Texts({"Works_Order"}, {{"WO000002"}}), ""},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({c.answer});
    EXPECT_EQ(Call(h, "rf_assign_works_order", {}), c.reply) << c.proves;
    EXPECT_TRUE(h.failures.empty()) << c.proves;
  }
}

TEST(WorksOrders, GetWoRenamesItsColumns) {
  Harness h;
  h.db->answer({Texts({"client", "Assigned_To", "Movement", "STATUS", "works_order", "area"},
                      {{"C01", "JOE", "PICK", "ASSIGNED", "WO000002", "PICK"}})});
  EXPECT_EQ(Call(h, "rf_get_wo", {{"wo_no", "WO000002"}}),
            "<assigned_to>JOE</assigned_to><movement_type>PICK</movement_type>"
            "<status>ASSIGNED</status><wo_no>WO000002</wo_no>")
      << "names lower-cased; result order kept; others left out";
  h.db->answer({Texts({"works_order"}, {})});
  EXPECT_EQ(Call(h, "rf_get_wo", {}), "");
}

TEST(WorksOrders, UnfinishedWorksOrdersFilteredByMovement) {
  const auto answer = [] {
    return Rows({"priority", "Assigned_To", "MOVEMENT", "status", "works_order", "movement"},
                {{Value::int32(1), T("JOE"), T("PUTAWAY"), T("ASSIGNED"), T("WO1"), T("x")},
                 {Value::int32(3), T("JOE"), T("PICK"), T("INPROGRESS"), T("WO2"), T("y")},
                 {Value::int32(3), Value::null(), T("pick"), T("OPEN"), T("WO3"), T("z")}});
  };
  const std::string wo1 =
      "<record><wo_no>WO1</wo_no><status>ASSIGNED</status><movement_type>PUTAWAY</movement_type>"
      "<assigned_to>JOE</assigned_to></record>";
  const std::string wo2 =
      "<record><wo_no>WO2</wo_no><status>INPROGRESS</status><movement_type>PICK</movement_type>"
      "<assigned_to>JOE</assigned_to></record>";
  const std::string wo3 =
      "<record><wo_no>WO3</wo_no><status>OPEN</status><movement_type>pick</movement_type>"
      "<assigned_to></assigned_to></record>";
  Harness h;
  h.db->answer({answer()});
  EXPECT_EQ(Call(h, "rf_get_unfinished_works_order", {}), wo1 + wo2 + wo3)
      << "no movement asked for: every row; the first column of each name wins";
  h.db->answer({answer()});
  EXPECT_EQ(Call(h, "rf_get_unfinished_works_order", {{"movement_type", "PICK"}}), wo2)
      << "exact comparison";
  h.db->answer({answer()});
  EXPECT_EQ(Call(h, "rf_get_unfinished_works_order", {{"movement_type", " PICK"}}), "");

  h.db->answer({Texts({"works_order", "movement"}, {{"WO4", "COUNT"}})});
  EXPECT_EQ(Call(h, "rf_get_unfinished_works_order", {}),
            "<record><wo_no>WO4</wo_no><status></status><movement_type>COUNT</movement_type>"
            "<assigned_to></assigned_to></record>")
      << "a column the result lacks is written empty";
}

TEST(TaskReports, TaskInformationOfAnOrder) {
  Harness h;
  h.db->answer({Texts({"order_status", "wo_assigned_to", "wo_status", "wo_no", "task_count"},
                      {{"ALLOCATED", "", "OPEN", "WO000002", "3"}})});
  EXPECT_EQ(Call(h, "rf_get_stock_movements_task_info", {}),
            "<wo_no>WO000002</wo_no><wo_status>OPEN</wo_status><wo_assigned_to></wo_assigned_to>"
            "<order_status>ALLOCATED</order_status>");
  h.db->answer({Texts({"wo_no"}, {})});
  EXPECT_EQ(Call(h, "rf_get_stock_movements_task_info", {}), "");
  h.db->fail(-1, "gone");
  EXPECT_EQ(Call(h, "rf_get_stock_movements_task_info", {}), "");
  EXPECT_EQ(h.failures.size(), 1u) << "a database error ends the handler";
}

TEST(TaskReports, StockMovementsWithSizeLimit) {
  std::vector<std::vector<std::string>> rows(400, {"A1001", "WO000002", "P-01", "6"});
  Harness h;
  h.db->answer({Texts({"item_no", "wo_no", "location_from", "qty"}, rows)});
  const std::string all = Call(h, "rf_query_stock_movements", {{"limit", " "}});
  EXPECT_EQ(all.find("Too many"), std::string::npos) << "a blank limit writes every row";
  EXPECT_GT(all.size(), 16383u);
  h.db->answer({Texts({"item_no", "wo_no", "location_from", "qty"}, rows)});
  const std::string cut = Call(h, "rf_query_stock_movements", {{"limit", "Y"}});
  EXPECT_TRUE(cut.ends_with("<record><item_no><Too many records></item_no></record>"));
  EXPECT_LT(cut.size(), all.size());
}

TEST(TaskReports, OutstandingTasksFiveRecordRule) {
  const auto tasks = [](int n) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= n; ++i) rows.push_back({std::to_string(i), "SO1001", "A1001"});
    return Texts({"task_no", "sales_order", "item_no"}, rows);
  };
  const auto record = [](int i) {
    return "<record><task_no>" + std::to_string(i) +
           "</task_no><so_no>SO1001</so_no><item_no>A1001</item_no></record>";
  };
  const std::string sentinel = "<record><item_no><Too many records></item_no></record>";
  const auto records = [&](int n) {
    std::string out;
    for (int i = 1; i <= n; ++i) out += record(i);
    return out;
  };
  const struct {
    const char* proves;
    int rows;
    const char* limit;
    std::string reply;
  } cases[] = {
      {"five rows under a limit: five records, nothing more", 5, "Y", records(5)},
      {"six rows under a limit: five records and the too-many record", 6, "Y",
       records(5) + sentinel},
      {"four rows under a limit", 4, "Y", records(4)},
      {"without a limit every row", 9, "", records(9)},
      {"no rows", 0, "Y", ""},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({tasks(c.rows)});
    EXPECT_EQ(Call(h, "rf_rpt_os_tasks", {{"wo_no", "WO000002"}, {"limit", c.limit}}), c.reply)
        << c.proves;
  }
  Harness h;
  h.db->answer({Texts({"Sales_Order"}, {{"SO1"}})});
  EXPECT_EQ(Call(h, "rf_rpt_os_tasks", {}), "<record><Sales_Order>SO1</Sales_Order></record>")
      << "only the column named exactly sales_order is renamed";
}

}  // namespace
}  // namespace talwen
