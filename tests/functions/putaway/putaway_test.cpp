// Contract tests of the putaway and replenishment handlers: the statements and parameter
// values they send, and the replies they make of what the database answers.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/function_calls.h"
#include "support/harness.h"

namespace talwen {
namespace {

using testing::Answer;
using testing::Call;
using testing::Closed;
using testing::Harness;
using testing::Outputs;
using testing::Rows;
using testing::SessionValues;
using testing::T;
using testing::Texts;

// ---- Statement texts of the grid call form ----
// Argument order is the function index's (docs/function_index.md).

TEST(PutawayStatements, AnEmptyFirstValueGluedToTheNameMakesAnUnknownProcedure) {
  Harness h;
  h.db->fail(-2147217900,
             "Could not find stored procedure 'rf_putaway_stock_movements_palletNull'.");
  EXPECT_EQ(Call(h, "rf_putaway_stock_movements_pallet", {{"warehouse_to", "W1"}}), "");
  EXPECT_EQ(h.db->statements[0], "rf_putaway_stock_movements_palletNull,  N'W1', Null, Null");
}

// ---- The pallets waiting for putaway ----

TEST(PutawayPalletList, WritesOneRecordPerPalletWithoutTheLabelsLastCharacter) {
  Harness h;
  // Columns in another order than the reply's, plus one the reply does not show.
  h.db->answer({Rows(
      {"receipt_no", "pallet_no", "assigned_to", "wo_no", "location_to", "warehouse_to", "client"},
      {{T("R1"), T("P0001X"), T("JOE"), T("WO1"), T("A-01"), T("W1"), T("C01")},
       {T("R4"), T("PÄL9é"), Value::null(), T(""), T(""), T(""), T("C01")}})});
  EXPECT_EQ(Call(h, "rf_get_putaway_pallet", {{"client", "C01"}}),
            "<record><pallet_no>P0001</pallet_no><warehouse_to>W1</warehouse_to>"
            "<location_to>A-01</location_to><wo_no>WO1</wo_no><receipt_no>R1</receipt_no>"
            "<assigned_to>JOE</assigned_to></record>"
            "<record><pallet_no>PÄL9</pallet_no><warehouse_to></warehouse_to>"
            "<location_to></location_to><wo_no></wo_no><receipt_no>R4</receipt_no>"
            "<assigned_to></assigned_to></record>");
  EXPECT_EQ(h.db->statements[0], "rf_get_putaway_pallet ");
}

// ---- The destination of one pallet ----

TEST(PutawayPalletLocation, WritesTheFourFieldsOfTheFirstRowOnly) {
  Harness h;
  h.db->answer({Texts({"location_to", "warehouse_to", "sqlmsg", "sqlstatus"},
                      {{"A-01", "W1", "Location found.", "0"}, {"B-02", "W2", "other", "0"}})});
  EXPECT_EQ(Call(h, "rf_get_putaway_pallet_location", {{"operator", "OP"}, {"pallet", "P1"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Location found.</sqlmsg>"
            "<warehouse_to>W1</warehouse_to><location_to>A-01</location_to>");
  EXPECT_EQ(h.db->statements[0], "rf_get_putaway_pallet_location  N'P1',  N'OP'");
}

TEST(PutawayPalletLocation, NoRowGivesTheFixedNoRecordsetReply) {
  Harness h;
  h.db->answer({Texts({"sqlstatus", "sqlmsg", "warehouse_to", "location_to"}, {})});
  EXPECT_EQ(Call(h, "rf_get_putaway_pallet_location", {{"pallet", "P1"}}),
            "<sqlstatus>-100</sqlstatus><sqlmsg>No recordset returned to TALWEN.DLL</sqlmsg>"
            "<warehouse_to></warehouse_to><location_to></location_to>");
}

// ---- Closing putaway and replenishment tasks ----

struct TaskClosing {
  const char* function;
  SessionValues session;
  const char* statement;
};

const TaskClosing kTaskClosings[] = {
    {"rf_close_putaway_task",
     {{"wo_no", "WO1"},
      {"task_no", "3"},
      {"activity_no", "2"},
      {"qty", "1 200.5"},
      {"reason_code", "OK"},
      {"pallet", "P1"},
      {"warehouse", "W1"},
      {"location", "A-01"},
      {"operator", "OP"}},
     "exec rf_close_putaway_task  N'WO1', 3, 2, 1200.5,  N'OK',  N'P1',  N'W1',  N'A-01',  "
     "N'OP'"},
    {"rf_close_replenish_task",
     {{"wo_no", "WO1"}, {"task_no", "3"}, {"qty", "4"}, {"operator", "OP"}},
     "exec rf_close_replenish_task  N'WO1', 3, Null, 4, Null,  N'OP'"},
};

TEST(TaskClosing, AnswersTheStatusColumnsOfTheFirstRow) {
  for (const TaskClosing& c : kTaskClosings) {
    Harness h;
    h.db->answer({Closed(), Texts({"task", " SQLMSG ", "SqlStatus"},
                                  {{"T1", "Closed.", "0"}, {"T2", "ignored", "9"}})});
    EXPECT_EQ(Call(h, c.function, c.session), "<sqlstatus>0</sqlstatus><sqlmsg>Closed.</sqlmsg>")
        << c.function;
    EXPECT_EQ(h.db->statements[0], c.statement) << c.function;
  }
}

// ---- Putaway from a receipt (procedure call form) ----

TEST(ReceiptPutaway, FindLocationAnswersTheLocationFirst) {
  Harness h;
  h.db->procedure("rf_receipt_find_putaway_location",
                  {"@client", "@receipt_no", "@pallet_no", "@operator"},
                  {"@warehouse", "@location", "@sqlstatus", "@sqlmsg"});
  h.db->answer(Outputs({{"@sqlstatus", Value::int32(0)},
                        {"@sqlmsg", Value::null()},
                        {"@warehouse", T("W1")},
                        {"@location", T("A-01")}}));
  EXPECT_EQ(
      Call(h, "rf_receipt_find_putaway_location",
           {{"operator", "OP"}, {"pallet_no", "P1"}, {"receipt_no", "R1"}, {"client", "C01"}}),
      "<warehouse>W1</warehouse><location>A-01</location>"
      "<sqlstatus>0</sqlstatus><sqlmsg></sqlmsg>");
}

// ---- Top-up putaway ----

// The procedure's parameters: 31 inputs, the third of them returning the line number used.
void DeclareTopup(Harness& h) {
  std::vector<db::Parameter> params;
  for (int i = 1; i <= 31; ++i) params.push_back({"@in" + std::to_string(i)});
  params[2] = {"@line_no", db::Direction::kInputOutput, db::kTypeSmallInt};
  params.push_back({"@sqlstatus", db::Direction::kInputOutput, db::kTypeInteger});
  params.push_back({"@sqlmsg", db::Direction::kInputOutput});
  h.db->procedure("rf_receipt_topup_putaway", std::move(params));
}

TEST(TopupPutaway, EmptyNumbersAreNullButEmptyTextsStayText) {
  Harness h;
  DeclareTopup(h);
  h.db->answer(Outputs({{"@sqlstatus", T("0")}, {"@sqlmsg", T("")}}));
  EXPECT_EQ(Call(h, "rf_receipt_topup_putaway",
                 {{"qty", "5"}, {"item", "SKU2"}, {"mfg_date", "2007-12-31"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg></sqlmsg><line_no></line_no>");
  const auto& values = h.db->calls[0].values;
  for (int position : {3, 19, 20, 21, 22, 24, 26}) {
    EXPECT_TRUE(values[position].is_null()) << "input " << position;
  }
  EXPECT_EQ(values[5], T("SKU2"));         // the product from "item"
  EXPECT_EQ(values[15], T("2007-12-31"));  // the production date from "mfg_date"
  EXPECT_EQ(values[7], Value::real(5));
  for (int position : {1, 2, 4, 6, 8, 13, 23, 31}) {
    EXPECT_EQ(values[position], T("")) << "input " << position;
  }
}

TEST(TopupPutaway, AValueThatIsNoNumberEndsTheHandlerBeforeTheCall) {
  const SessionValues cases[] = {
      {},  // the quantity is always converted
      {{"qty", "1,5"}},
      {{"qty", "5"}, {"line_no", "12.5"}},  // not a whole number
      {{"qty", "5"}, {"width", "wide"}},
      {{"qty", "5"}, {"unit_price", " "}},  // a blank is not empty
  };
  for (const SessionValues& session : cases) {
    Harness h;
    DeclareTopup(h);
    h.db->answer(Outputs({{"@sqlstatus", T("0")}}));
    EXPECT_EQ(Call(h, "rf_receipt_topup_putaway", session), "");
    EXPECT_TRUE(h.db->calls.empty());
  }
}

// ---- Pick faces and top-up locations ----

TEST(ItemLocations, ListWarehouseAndLocationOfEveryRowInOrder) {
  for (const char* function : {"rf_get_item_pickface", "rf_get_item_topup_location"}) {
    Harness h;
    h.db->answer(
        {Texts({"location", "warehouse", "qty"}, {{"PF-02", "W1", "3"}, {"PF-01", "W1", "0"}})});
    EXPECT_EQ(Call(h, function, {{"warehouse", "W1"}, {"client", "C01"}, {"item", "SKU1"}}),
              "<record><warehouse>W1</warehouse><location>PF-02</location></record>"
              "<record><warehouse>W1</warehouse><location>PF-01</location></record>")
        << function;
    EXPECT_EQ(h.db->statements[0], std::string(function) + "  N'W1',  N'C01',  N'SKU1'");
  }
}

}  // namespace
}  // namespace talwen
