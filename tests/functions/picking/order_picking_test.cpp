// Order picking handlers against the scripted database: statement texts, parameter values and
// replies exactly.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/function_calls.h"
#include "support/harness.h"

namespace talwen::testing {
namespace {

using Session = SessionValues;

// ---- statement texts ----

struct StatementCase {
  std::string name;
  std::string function;
  Session session;
  std::string statement;
};

class PickingStatements : public ::testing::TestWithParam<StatementCase> {};

TEST_P(PickingStatements, SendsTheTemplateWithItsArgumentsInOrder) {
  Harness h;
  Call(h, GetParam().function, GetParam().session);
  ASSERT_EQ(h.db->statements.size(), 1u);
  EXPECT_EQ(h.db->statements[0], GetParam().statement);
}

const Session kConfirmKeys = {{"client", "C01"},   {"customer", "CUS1"}, {"so_no", "SO1"},
                              {"operator", "JOE"}, {"wo_no", "WO7"},     {"task", "3"},
                              {"activity", "2"},   {"line_no", "4"},     {"item_no", "ITEM1"},
                              {"item", "OTHER"},   {"uom", "EA"},        {"qty", "12"},
                              {"source", "PAL1"},  {"warehouse", "W1"},  {"location", "A-01"},
                              {"rec_num", "881"},  {"despatch", "D1"},   {"destination", "STG"}};

Session Without(Session s, std::string_view key, std::string value = "") {
  for (auto& [k, v] : s) {
    if (k == key) v = std::move(value);
  }
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Templates, PickingStatements,
    ::testing::Values(
        StatementCase{"PickListPassesTheOperatorTwiceAndANullQuantity",
                      "rf_extract_order_picklist",
                      {{"client", "C01"},
                       {"customer", "O'Neil"},
                       {"so_no", "SO1"},
                       {"despatch", "D1"},
                       {"operator", "JOE"}},
                      "rf_extract_order_picklist  N'C01',  N'O''Neil',  N'SO1', Null,  N'D1',  "
                      "N'JOE',  N'JOE'"},
        StatementCase{"ConfirmPassesItemNoWhenBothProductKeysAreSet", "rf_confirm_item_picked",
                      kConfirmKeys,
                      "rf_confirm_item_picked  N'WO7', 3, 2,  N'CUS1', 4,  N'SO1',  N'C01',  "
                      "N'ITEM1',  N'EA', 12,  N'PAL1',  N'W1',  N'A-01', 881,  N'D1',  N'STG',  "
                      "N'JOE'"},
        StatementCase{"ConfirmFallsBackToItemWhenItemNoIsEmpty", "rf_confirm_item_picked",
                      Without(kConfirmKeys, "item_no"),
                      "rf_confirm_item_picked  N'WO7', 3, 2,  N'CUS1', 4,  N'SO1',  N'C01',  "
                      "N'OTHER',  N'EA', 12,  N'PAL1',  N'W1',  N'A-01', 881,  N'D1',  N'STG',  "
                      "N'JOE'"},
        StatementCase{"ConfirmSendsNullForAnEmptyQuantity", "rf_confirm_item_picked",
                      Without(kConfirmKeys, "qty"),
                      "rf_confirm_item_picked  N'WO7', 3, 2,  N'CUS1', 4,  N'SO1',  N'C01',  "
                      "N'ITEM1',  N'EA', Null,  N'PAL1',  N'W1',  N'A-01', 881,  N'D1',  N'STG',  "
                      "N'JOE'"},
        StatementCase{"ClosePickTaskBeginsWithExec",
                      "rf_close_pick_task",
                      {{"wo_no", "WO7"},
                       {"task_no", "3"},
                       {"activity_no", "2"},
                       {"pick_qty", "4.5"},
                       {"reason_code", "SHORT"},
                       {"operator", "JOE"}},
                      "exec rf_close_pick_task  N'WO7', 3, 2, 4.5,  N'SHORT',  N'JOE'"},
        StatementCase{"CloseCartonPickTaskPassesTheRecordNumbersAsText",
                      "rf_close_carton_pick_task",
                      {{"wo_no", "WO7"},
                       {"task_no", "3"},
                       {"activity_no", "2"},
                       {"picked_rec_num", "881,882"},
                       {"operator", "JOE"}},
                      "exec rf_close_carton_pick_task  N'WO7', 3, 2,  N'881,882',  N'JOE'"},
        StatementCase{"PendingTaskOrders",
                      "rf_get_pending_task_order",
                      {{"client", "C01"}, {"movement_type", "PICK"}},
                      "rf_get_pending_task_order  N'C01',  N'PICK'"}),
    [](const auto& info) { return info.param.name; });

// ---- the pick list ----

const std::vector<std::string> kPickColumns = {
    "sqlstatus",   "sqlmsg",         "works_order",   "line_no",
    "task_no",     "activity",       "movement_type", "item_no",
    "Description", "warehouse_from", "location_from", "area_from",
    "pallet_from", "rec_num",        "qty",           "uom"};

std::vector<Value> PickRow(Value status, Value pallet) {
  return {std::move(status), T("ok"),           T("WO7"),         Value::int32(1),
          Value::int32(1),   Value::int32(1),   T("PICK"),        T("ITEM1"),
          T("Widget"),       T("W1"),           T("A-01"),        T("BULK"),
          std::move(pallet), Value::int32(881), Value::real(2.5), T("EA")};
}

const Session kPickListKeys = {{"client", "C01"}, {"so_no", "SO1"}, {"operator", "JOE"}};

TEST(PickList, WritesEveryRowFromTheFirstAsATabSeparatedLine) {
  Harness h;
  auto second = PickRow(Value::int32(0), T("PAL000027"));
  second[3] = Value::int32(2);
  second[14] = Value::null();
  h.db->answer({Rows(kPickColumns, {PickRow(Value::int32(0), T("PAL1")), second})});
  EXPECT_EQ(Call(h, "rf_extract_order_picklist", kPickListKeys),
            "<record>WO7\t1\t1\t1\tPICK\tITEM1\tWidget\tW1\tA-01\tBULK\tPAL\t1\t881\t2.5\tEA\t"
            "</record>"
            "<record>WO7\t2\t1\t1\tPICK\tITEM1\tWidget\tW1\tA-01\tBULK\tPAL00002\t7\t881\t\tEA\t"
            "</record>");
}

TEST(PickList, ReadsTheLastResultSetOfOneExecution) {
  Harness h;
  h.db->answer(
      {Closed(), Texts({"allocated"}, {{"3"}}), Rows(kPickColumns, {PickRow(T("0"), T("P9"))})});
  EXPECT_EQ(Call(h, "rf_extract_order_picklist", kPickListKeys),
            "<record>WO7\t1\t1\t1\tPICK\tITEM1\tWidget\tW1\tA-01\tBULK\tP\t9\t881\t2.5\tEA\t"
            "</record>");
  EXPECT_EQ(h.db->statements.size(), 1u) << "the extraction allocates stock: it runs once";
}

TEST(PickList, AnEmptyPalletLabelGivesTwoEmptyValues) {
  for (Value pallet : {T(""), Value::null()}) {
    Harness h;
    h.db->answer({Rows(kPickColumns, {PickRow(Value::int32(0), pallet)})});
    EXPECT_EQ(Call(h, "rf_extract_order_picklist", kPickListKeys),
              "<record>WO7\t1\t1\t1\tPICK\tITEM1\tWidget\tW1\tA-01\tBULK\t\t\t881\t2.5\tEA\t"
              "</record>");
  }
}

TEST(PickList, SplitsOffTheLastCharacterNotItsLastByte) {
  Harness h;
  h.db->answer({Rows(kPickColumns, {PickRow(Value::int32(0), T("PALÉ"))})});
  EXPECT_EQ(Call(h, "rf_extract_order_picklist", kPickListKeys),
            "<record>WO7\t1\t1\t1\tPICK\tITEM1\tWidget\tW1\tA-01\tBULK\tPAL\tÉ\t881\t2.5\tEA\t"
            "</record>");
}

TEST(PickList, IsEmptyUnlessTheFirstRowSaysZero) {
  struct Case {
    std::string name;
    std::vector<db::ResultSet> sets;
  };
  const std::vector<Case> cases = {
      {"no rows", {Rows(kPickColumns, {})}},
      {"a refusal", {Rows(kPickColumns, {PickRow(Value::int32(-1), T("PAL1"))})}},
      {"a text status", {Rows(kPickColumns, {PickRow(T("-3"), T("PAL1"))})}},
      {"a Null status", {Rows(kPickColumns, {PickRow(Value::null(), T("PAL1"))})}},
      {"a closed last set", {Rows(kPickColumns, {PickRow(Value::int32(0), T("PAL1"))}), Closed()}},
      {"no result at all", {}},
  };
  for (const Case& c : cases) {
    Harness h;
    h.db->answer(c.sets);
    EXPECT_EQ(Call(h, "rf_extract_order_picklist", kPickListKeys), "") << c.name;
  }
}

TEST(PickList, ADatabaseErrorGivesTheEmptyReply) {
  Harness h;
  h.db->fail(db::kErrorStatement, "deadlock");
  EXPECT_EQ(Call(h, "rf_extract_order_picklist", kPickListKeys), "");
}

// ---- pick confirmation and closing tasks ----

TEST(ConfirmItemPicked, RepliesWithTheFirstRowsStatus) {
  Harness h;
  h.db->answer({Texts({"sqlmsg", "sqlstatus", "extra"}, {{"Picked.", "0", "x"}})});
  EXPECT_EQ(Call(h, "rf_confirm_item_picked", kConfirmKeys),
            "<sqlstatus>0</sqlstatus><sqlmsg>Picked.</sqlmsg>");
}

TEST(CloseTasks, ReportTheExecutionErrorOrTheFirstRowsStatus) {
  const Session keys = {{"wo_no", "WO7"}, {"task_no", "3"}, {"activity_no", "2"}};
  for (const std::string function : {"rf_close_pick_task", "rf_close_carton_pick_task"}) {
    Harness failed;
    failed.db->fail(db::kErrorStatement, "Procedure expects parameter '@pick_qty'.");
    EXPECT_EQ(Call(failed, function, keys),
              "<sqlstatus>-2147217900</sqlstatus>"
              "<sqlmsg>Procedure expects parameter '@pick_qty'.</sqlmsg>")
        << function;

    Harness timed_out;
    timed_out.db->fail(db::kErrorTimeout, "Query timeout expired");
    EXPECT_EQ(Call(timed_out, function, keys),
              "<sqlstatus>-32767</sqlstatus><sqlmsg>Query timeout expired</sqlmsg>")
        << function;

    Harness closed;
    closed.db->answer({Closed(), Rows({"SQLSTATUS", "sqlmsg"},
                                      {{Value::int32(-5), T("Short pick needs a reason.")}})});
    EXPECT_EQ(Call(closed, function, keys),
              "<sqlstatus>-5</sqlstatus><sqlmsg>Short pick needs a reason.</sqlmsg>")
        << function;
  }
}

// ---- matching pallets ----

TEST(MatchingPallet, PassesClientOrderAndLineAsText) {
  Harness h;
  h.db->procedure("rf_pick_find_matching_pallet", {"@client", "@so_no", "@line_no"},
                  {"@sqlstatus", "@sqlmsg"});
  Call(h, "rf_pick_find_matching_pallet", {{"client", "C01"}, {"so_no", "SO1"}, {"line_no", "2"}});
  ASSERT_EQ(h.db->calls.size(), 1u);
  const std::vector<Value> expected = {Value(), T("C01"), T("SO1"), T("2"), Value(), Value()};
  EXPECT_EQ(h.db->calls[0].values, expected);
}

TEST(MatchingPallet, StatusFirstThenThePalletsOfEveryOpenResultSet) {
  Harness h;
  h.db->procedure("rf_pick_find_matching_pallet", {"@client", "@so_no", "@line_no"},
                  {"@sqlstatus", "@sqlmsg"});
  const std::vector<std::string> columns = {"pallet", "location", "qty_free_luom", "uom", "grade"};
  h.db->answer(Outputs({Closed(),
                        Rows(columns, {{T("PAL1"), T("A-01"), Value::int32(10), T("EA"), T("A")},
                                       {T("PAL2"), T("A-02"), Value::null(), T("EA"), T("A")}}),
                        Rows(columns, {}), Closed(),
                        Rows(columns, {{T("PAL3"), T("B-01"), Value::real(1.5), T("CS"), T("B")}})},
                       {{"@sqlstatus", Value::int32(0)}, {"@sqlmsg", T("3 pallets")}}));
  EXPECT_EQ(Call(h, "rf_pick_find_matching_pallet", {}),
            "<sqlstatus>0</sqlstatus><sqlmsg>3 pallets</sqlmsg>"
            "<record><pallet>PAL1</pallet><location>A-01</location>"
            "<qty_free_luom>10</qty_free_luom><uom>EA</uom></record>"
            "<record><pallet>PAL2</pallet><location>A-02</location>"
            "<qty_free_luom></qty_free_luom><uom>EA</uom></record>"
            "<record><pallet>PAL3</pallet><location>B-01</location>"
            "<qty_free_luom>1.5</qty_free_luom><uom>CS</uom></record>");
}

TEST(MatchingPallet, NoPalletsGiveTheStatusAlone) {
  Harness h;
  h.db->procedure("rf_pick_find_matching_pallet", {"@client", "@so_no", "@line_no"},
                  {"@sqlstatus", "@sqlmsg"});
  h.db->answer(Outputs({}, {{"@sqlstatus", Value::int32(-1)}}));
  EXPECT_EQ(Call(h, "rf_pick_find_matching_pallet", {}),
            "<sqlstatus>-1</sqlstatus><sqlmsg></sqlmsg>");
}

TEST(PickSalesDetail2, PassesItsEightInputsInOrder) {
  Harness h;
  h.db->procedure("rf_pick_sales_detail2",
                  {"@client", "@so_no", "@line_no", "@pick_qty", "@pallet_from", "@pallet_to",
                   "@despatch", "@operator"},
                  {"@sqlstatus", "@sqlmsg"});
  h.db->answer(Outputs({}, {{"@sqlstatus", Value::int32(0)}, {"@sqlmsg", T("Picked.")}}));
  EXPECT_EQ(Call(h, "rf_pick_sales_detail2",
                 {{"operator", "JOE"},
                  {"client", "C01"},
                  {"so_no", "SO1"},
                  {"line_no", "2"},
                  {"pick_qty", "5"},
                  {"pallet_from", "PAL1"},
                  {"pallet_to", "PAL9"},
                  {"despatch", "D1"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Picked.</sqlmsg>");
  const std::vector<Value> inputs = {T("C01"),  T("SO1"),  T("2"),  T("5"),
                                     T("PAL1"), T("PAL9"), T("D1"), T("JOE")};
  const std::vector<Value>& sent = h.db->calls.at(0).values;
  EXPECT_EQ(std::vector<Value>(sent.begin() + 1, sent.begin() + 9), inputs);
}

// ---- pending task orders ----

TEST(PendingTaskOrders, WritesOrderRefAndClientRefUnderTheirTags) {
  Harness h;
  h.db->answer({Texts({"client", "client_ref", "order_ref"},
                      {{"C01", "PO-77", "SO1"}, {"C01", "", "SO2"}})});
  EXPECT_EQ(Call(h, "rf_get_pending_task_order", {{"client", "C01"}}),
            "<record><order_no>SO1</order_no><order_ref_no>PO-77</order_ref_no></record>"
            "<record><order_no>SO2</order_no><order_ref_no></order_ref_no></record>");
}

TEST(PendingTaskOrders, ColumnNamesMatchExactlyAndAMissingOneGivesEmptyValues) {
  Harness h;
  h.db->answer({Texts({"Order_Ref", "order_ref", "CLIENT_REF"}, {{"X", "SO1", "PO-77"}})});
  EXPECT_EQ(Call(h, "rf_get_pending_task_order", {}),
            "<record><order_no>SO1</order_no><order_ref_no></order_ref_no></record>");
}

TEST(PendingTaskOrders, NoRowsOrAFailureGiveTheEmptyReply) {
  Harness none;
  none.db->answer({Texts({"order_ref", "client_ref"}, {})});
  EXPECT_EQ(Call(none, "rf_get_pending_task_order", {}), "");
  Harness failed;
  failed.db->fail(db::kErrorStatement, "no such procedure");
  EXPECT_EQ(Call(failed, "rf_get_pending_task_order", {}), "");
}

}  // namespace
}  // namespace talwen::testing
