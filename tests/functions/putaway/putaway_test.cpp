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

TEST(PutawayStatements, RenderEveryArgumentInTemplateOrder) {
  const struct {
    const char* function;
    SessionValues session;
    const char* statement;
  } cases[] = {
      {"rf_get_putaway_pallet_location2",
       {{"operator", "OP"}, {"pallet_no", "P1"}, {"client", "C01"}},
       "rf_get_putaway_pallet_location2  N'C01',  N'P1',  N'OP'"},
      {"rf_receipt_allocate_putaway_location",
       {{"client", "C01"}, {"receipt_no", "R'7"}, {"operator", "OP"}},
       "rf_receipt_allocate_putaway_location  N'C01',  N'R''7',  N'OP'"},
      // No blank after the name: the rendered first argument brings its own.
      {"rf_putaway_stock_movements_pallet",
       {{"pallet", "P1"}, {"warehouse_to", "W1"}, {"location_to", "A-01"}, {"operator", "OP"}},
       "rf_putaway_stock_movements_pallet N'P1',  N'W1',  N'A-01',  N'OP'"},
      {"rf_putaway_stock_movements_pallet2",
       {{"client", "C01"},
        {"pallet_no", "P1"},
        {"warehouse_to", "W1"},
        {"location_to", "A-01"},
        {"operator", "OP"}},
       "rf_putaway_stock_movements_pallet2 N'C01',  N'P1',  N'W1',  N'A-01',  N'OP'"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({Texts({"sqlstatus", "sqlmsg", "extra"}, {{"0", "Done.", "x"}})});
    EXPECT_EQ(Call(h, c.function, c.session),
              "<sqlstatus>0</sqlstatus><sqlmsg>Done.</sqlmsg><extra>x</extra>")
        << c.function;
    ASSERT_EQ(h.db->statements.size(), 1u) << c.function;
    EXPECT_EQ(h.db->statements[0], c.statement) << c.function;
  }
}

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

TEST(ReceiptPutaway, FindLocationPassesItsInputsAndAnswersTheLocationFirst) {
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
  ASSERT_EQ(h.db->calls.size(), 1u);
  const auto& values = h.db->calls[0].values;
  EXPECT_EQ(values[1], T("C01"));
  EXPECT_EQ(values[2], T("R1"));
  EXPECT_EQ(values[3], T("P1"));
  EXPECT_EQ(values[4], T("OP"));
}

TEST(ReceiptPutaway, PalletPutawayPassesSixTextsAndAnswersTheStatus) {
  Harness h;
  h.db->procedure("rf_receipt_pallet_putaway",
                  {"@client", "@receipt_no", "@pallet_no", "@warehouse", "@location", "@operator"},
                  {"@sqlstatus", "@sqlmsg"});
  h.db->answer(Outputs({{"@sqlstatus", T("-3")}, {"@sqlmsg", T("Location is full.")}}));
  EXPECT_EQ(Call(h, "rf_receipt_pallet_putaway",
                 {{"client", "C01"},
                  {"receipt_no", "R1"},
                  {"pallet_no", "P1"},
                  {"warehouse", "W1"},
                  {"location", ""},
                  {"operator", "OP"}}),
            "<sqlstatus>-3</sqlstatus><sqlmsg>Location is full.</sqlmsg>");
  const auto& values = h.db->calls[0].values;
  const std::vector<Value> expected = {T("C01"), T("R1"), T("P1"), T("W1"), T(""), T("OP")};
  EXPECT_EQ(std::vector<Value>(values.begin() + 1, values.begin() + 7), expected);
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

TEST(TopupPutaway, PassesThirtyOneTypedInputsByPosition) {
  Harness h;
  DeclareTopup(h);
  h.db->answer(Outputs(
      {{"@sqlstatus", T("0")}, {"@sqlmsg", T("Topped up.")}, {"@line_no", Value::int32(7)}}));
  const SessionValues session = {{"client", "C01"},
                                 {"receipt_no", "R1"},
                                 {"line_no", "12"},
                                 {"pallet", "P1"},
                                 {"item_no", "SKU1"},
                                 {"item", "OTHER"},
                                 {"uom", "EA"},
                                 {"qty", " 2.5 "},
                                 {"grade", "A"},
                                 {"lot", "L1"},
                                 {"batch", "B1"},
                                 {"supplier", "S1"},
                                 {"customer", "CU1"},
                                 {"receipt_date", "2008-03-27"},
                                 {"expiry_date", "2009-01-31"},
                                 {"prod_date", "2008-01-02"},
                                 {"mfg_date", "2007-12-31"},
                                 {"size", "XL"},
                                 {"color", "RED"},
                                 {"class", "K"},
                                 {"width", "1.5"},
                                 {"depth", "-2"},
                                 {"height", "3e1"},
                                 {"weight", "0.25"},
                                 {"currency", "EUR"},
                                 {"unit_price", "9.99"},
                                 {"ppq_packing", "BOX"},
                                 {"ppq_qty", "24"},
                                 {"user_defined", "u"},
                                 {"status", "OK"},
                                 {"warehouse", "W1"},
                                 {"location", "PF-01"},
                                 {"operator", "OP"}};
  EXPECT_EQ(Call(h, "rf_receipt_topup_putaway", session),
            "<sqlstatus>0</sqlstatus><sqlmsg>Topped up.</sqlmsg><line_no>7</line_no>");
  ASSERT_EQ(h.db->calls.size(), 1u);
  const std::vector<Value> expected = {T("C01"),         T("R1"),
                                       Value::int16(12), T("P1"),
                                       T("SKU1"),        T("EA"),
                                       Value::real(2.5), T("A"),
                                       T("L1"),          T("B1"),
                                       T("S1"),          T("CU1"),
                                       T("2008-03-27"),  T("2009-01-31"),
                                       T("2008-01-02"),  T("XL"),
                                       T("RED"),         T("K"),
                                       Value::real(1.5), Value::real(-2),
                                       Value::real(30),  Value::real(0.25),
                                       T("EUR"),         Value::real(9.99),
                                       T("BOX"),         Value::real(24),
                                       T("u"),           T("OK"),
                                       T("W1"),          T("PF-01"),
                                       T("OP")};
  const auto& values = h.db->calls[0].values;
  ASSERT_EQ(values.size(), 34u);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(values[i + 1], expected[i]) << "input " << i + 1;
    EXPECT_EQ(values[i + 1].kind(), expected[i].kind()) << "input " << i + 1;
  }
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
