// Sales order enquiries, despatch and order serial numbers against the scripted database.
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

const Session kOrderKeys = {{"client", "C01"}, {"customer", "CUS1"}, {"so_no", "SO1"}};

// ---- statement texts ----

struct StatementCase {
  std::string name;
  std::string function;
  Session session;
  std::string statement;
};

class SalesStatements : public ::testing::TestWithParam<StatementCase> {};

TEST_P(SalesStatements, SendsTheTemplateWithItsArgumentsInOrder) {
  Harness h;
  Call(h, GetParam().function, GetParam().session);
  ASSERT_EQ(h.db->statements.size(), 1u);
  EXPECT_EQ(h.db->statements[0], GetParam().statement);
}

INSTANTIATE_TEST_SUITE_P(
    Templates, SalesStatements,
    ::testing::Values(
        StatementCase{"OrderHeader", "rf_query_sales_order", kOrderKeys,
                      "rf_query_sales_order  N'C01',  N'CUS1',  N'SO1'"},
        StatementCase{"OrderHeader2", "rf_query_sales_order2", kOrderKeys,
                      "rf_query_sales_order2  N'C01',  N'CUS1',  N'SO1'"},
        StatementCase{"OrderLines", "rf_query_sales_detail2", kOrderKeys,
                      "rf_query_sales_detail2  N'C01',  N'CUS1',  N'SO1'"},
        StatementCase{"OutstandingOrdersTakeTheDespatch",
                      "rf_rpt_outstanding_sales_order",
                      {{"client", "C01"}, {"customer", ""}, {"despatch", "D1"}, {"so_no", "x"}},
                      "rf_rpt_outstanding_sales_order  N'C01', Null,  N'D1'"},
        StatementCase{"DespatchListBeginsWithExec", "rf_extract_despatch_list", kOrderKeys,
                      "exec rf_extract_despatch_list  N'C01',  N'CUS1',  N'SO1'"},
        StatementCase{"DespatchPalletItems",
                      "rf_get_despatch_pallet_items",
                      {{"client", "C01"}, {"so_no", "SO1"}, {"pallet", "PAL1"}},
                      "exec rf_get_despatch_pallet_items  N'C01',  N'SO1',  N'PAL1'"},
        StatementCase{"ConfirmDespatchTakesTheTrip",
                      "rf_confirm_despatch",
                      {{"operator", "JOE"},
                       {"driver", "Bo"},
                       {"carrier", "FAST"},
                       {"route", "R2"},
                       {"vehicle", "TRK1"},
                       {"trip", "T9"},
                       {"pallet", "PAL1"},
                       {"despatch", "D1"},
                       {"so_no", "SO1"},
                       {"customer", "CUS1"},
                       {"client", "C01"}},
                      "exec rf_confirm_despatch  N'C01',  N'CUS1',  N'SO1',  N'D1',  N'PAL1',  "
                      "N'T9',  N'TRK1',  N'R2',  N'FAST',  N'Bo',  N'JOE'"}),
    [](const auto& info) { return info.param.name; });

// ---- sales order enquiries ----

const std::vector<std::string> kHeaderColumns = {
    "client",      "order_no",      "customer",  "customer_name", "dlvr_to",
    "dlvr_street", "dlvr_bldg",     "dlvr_town", "dlvr_country",  "dlvr_postcode",
    "despatch",    "delivery_date", "remarks",   "status2"};

db::ResultSet HeaderRows() {
  return Rows(kHeaderColumns, {{T("C01"), T("SO1"), T("CUS1"), T("Acme"), T("Dock 4"),
                                T("1 High St"), Value::null(), T("Leeds"), T("UK"), T("LS1"),
                                T("D1"), Value::date({2008, 3, 27}), T("Fragile"), T("PICKED")},
                               {T("C01"), T("SO2"), T("CUS1"), T("Acme"), T(""), T(""), T(""),
                                T(""), T(""), T(""), T(""), Value::null(), T(""), T("")}});
}

const std::string kHeaderTags =
    "<client>C01</client><so_no>SO1</so_no><customer>CUS1</customer>"
    "<customer_name>Acme</customer_name><dlvr_to>Dock 4</dlvr_to>"
    "<dlvr_street>1 High St</dlvr_street><dlvr_bldg></dlvr_bldg><dlvr_town>Leeds</dlvr_town>"
    "<dlvr_country>UK</dlvr_country><dlvr_postcode>LS1</dlvr_postcode>"
    "<despatch>D1</despatch><delivery_date>2008-03-27</delivery_date>"
    "<remarks>Fragile</remarks>";

TEST(SalesOrder, WritesTheFirstRowsHeaderWithoutStatus2) {
  Harness h;
  h.db->answer({HeaderRows()});
  EXPECT_EQ(Call(h, "rf_query_sales_order", kOrderKeys), kHeaderTags);
}

TEST(SalesOrder, TheSecondVariantAddsStatus2Last) {
  Harness h;
  h.db->answer({HeaderRows()});
  EXPECT_EQ(Call(h, "rf_query_sales_order2", kOrderKeys),
            kHeaderTags + "<status2>PICKED</status2>");
}

TEST(SalesOrder, NoRowGivesTheEmptyReply) {
  for (const std::string function : {"rf_query_sales_order", "rf_query_sales_order2"}) {
    Harness h;
    h.db->answer({Rows(kHeaderColumns, {})});
    EXPECT_EQ(Call(h, function, kOrderKeys), "") << function;
  }
}

TEST(SalesOrder, ADateOf1January1900IsWrittenEmpty) {
  Harness h;
  db::ResultSet set = HeaderRows();
  set.rows[0][11] = T("1900-01-01");
  h.db->answer({set});
  EXPECT_NE(Call(h, "rf_query_sales_order", kOrderKeys).find("<delivery_date></delivery_date>"),
            std::string::npos);
}

TEST(SalesOrderLines, WritesEveryLineWithOrderNoAsSoNoAndStatusInLowerCase) {
  Harness h;
  const std::vector<std::string> columns = {"client",
                                            "customer",
                                            "reference_no",
                                            "order_no",
                                            "line_no",
                                            "org_item",
                                            "item_no",
                                            "uom",
                                            "qty",
                                            "qty_picked",
                                            "qty_backorder",
                                            "qty_scanpack",
                                            "item_description",
                                            "serial_no_flag",
                                            "num_serial",
                                            "lowest_uom",
                                            "luom_equivalent",
                                            "Status"};
  auto line = [](int n, std::string status) {
    return std::vector<Value>{T("C01"),       T("CUS1"),       T("REF"),
                              T("SO1"),       Value::int32(n), T("ORG"),
                              T("ITEM1"),     T("EA"),         Value::real(10),
                              Value::real(4), Value::real(0),  Value::real(0),
                              T("Widget"),    T("Y"),          Value::int32(2),
                              T("EA"),        Value::int32(1), T(std::move(status))};
  };
  h.db->answer({Rows(columns, {line(1, "OPEN"), line(2, "PICKED")})});
  const std::string tags =
      "<client>C01</client><customer>CUS1</customer><reference_no>REF</reference_no>"
      "<so_no>SO1</so_no><line_no>%d</line_no><org_item>ORG</org_item><item_no>ITEM1</item_no>"
      "<uom>EA</uom><qty>10</qty><qty_picked>4</qty_picked><qty_backorder>0</qty_backorder>"
      "<qty_scanpack>0</qty_scanpack><item_description>Widget</item_description>"
      "<serial_no_flag>Y</serial_no_flag><num_serial>2</num_serial><lowest_uom>EA</lowest_uom>"
      "<luom_equivalent>1</luom_equivalent><status>%s</status>";
  auto record = [&tags](std::string n, std::string status) {
    std::string t = tags;
    t.replace(t.find("%d"), 2, n);
    t.replace(t.find("%s"), 2, status);
    return "<record>" + t + "</record>";
  };
  EXPECT_EQ(Call(h, "rf_query_sales_detail2", kOrderKeys),
            record("1", "OPEN") + record("2", "PICKED"));
}

TEST(OutstandingOrders, WriteDlvrToAsDeliverToAndTheDateInIsoForm) {
  Harness h;
  h.db->answer({Rows({"client", "order_no", "customer", "customer_name", "dlvr_to", "despatch",
                      "delivery_date", "priority"},
                     {{T("C01"), T("SO1"), T("CUS1"), T("Acme"), T("Dock 4"), T("D1"),
                       Value::date({2009, 1, 5, 14, 30, 0}), Value::int32(1)}})});
  EXPECT_EQ(Call(h, "rf_rpt_outstanding_sales_order", {}),
            "<record><client>C01</client><so_no>SO1</so_no><customer>CUS1</customer>"
            "<customer_name>Acme</customer_name><deliver_to>Dock 4</deliver_to>"
            "<despatch>D1</despatch><delivery_date>2009-01-05</delivery_date></record>");
}

TEST(OutstandingOrders, NoRowsGiveTheEmptyReply) {
  Harness h;
  h.db->answer({Rows({"client", "order_no"}, {})});
  EXPECT_EQ(Call(h, "rf_rpt_outstanding_sales_order", {}), "");
}

// ---- despatch ----

const std::vector<std::string> kDespatchColumns = {"warehouse", "customer", "sales_order", "pallet",
                                                   "despatch"};

TEST(DespatchList, SplitsThePalletLabelBeforeItsLastCharacter) {
  Harness h;
  h.db->answer({Texts(kDespatchColumns, {{"W1", "CUS1", "SO1", "PAL000027", "D1"},
                                         {"W1", "CUS1", "SO2", "P5", ""}})});
  EXPECT_EQ(Call(h, "rf_extract_despatch_list", kOrderKeys),
            "<record>W1\tCUS1\tSO1\tPAL00002\t7\tD1\t</record>"
            "<record>W1\tCUS1\tSO2\tP\t5\t\t</record>");
}

TEST(DespatchList, AnEmptyPalletLabelGivesTwoEmptyValues) {
  Harness h;
  h.db->answer({Rows(kDespatchColumns, {{T("W1"), T("CUS1"), T("SO1"), Value::null(), T("D1")},
                                        {T("W1"), T("CUS1"), T("SO1"), T(""), T("D1")}})});
  EXPECT_EQ(Call(h, "rf_extract_despatch_list", kOrderKeys),
            "<record>W1\tCUS1\tSO1\t\t\tD1\t</record><record>W1\tCUS1\tSO1\t\t\tD1\t</record>");
}

TEST(DespatchList, NoRowsGiveTheEmptyReply) {
  Harness h;
  h.db->answer({Rows(kDespatchColumns, {})});
  EXPECT_EQ(Call(h, "rf_extract_despatch_list", kOrderKeys), "");
}

TEST(DespatchPalletItems, WritesFiveTabbedValuesPerRow) {
  Harness h;
  h.db->answer(
      {Rows({"client", "item_no", "Description", "uom", "qty", "pallet"},
            {{T("C01"), T("ITEM1"), T("Widget"), T("EA"), Value::real(4), T("PAL1")},
             {T("C01"), T("ITEM2"), Value::null(), T("CS"), Value::real(0.5), T("PAL1")}})});
  EXPECT_EQ(Call(h, "rf_get_despatch_pallet_items", {}),
            "<record>C01\tITEM1\tWidget\tEA\t4\t</record>"
            "<record>C01\tITEM2\t\tCS\t0.5\t</record>");
}

TEST(ConfirmDespatch, RepliesZeroOnlyForAFirstRowStatusOfZero) {
  struct Case {
    std::string name;
    std::vector<db::ResultSet> sets;
    std::string reply;
  };
  const std::vector<Case> cases = {
      {"text 0", {Texts({"sqlstatus", "sqlmsg"}, {{"0", "Despatched."}})}, "0"},
      {"integer 0 after a row count", {Closed(), Rows({"SQLSTATUS"}, {{Value::int32(0)}})}, "0"},
      {"a refusal", {Texts({"sqlstatus", "sqlmsg"}, {{"-1", "Pallet not picked."}})}, ""},
      {"a padded zero", {Texts({"sqlstatus"}, {{" 0"}})}, ""},
      {"no row", {Texts({"sqlstatus", "sqlmsg"}, {})}, ""},
      {"no status column", {Texts({"result"}, {{"0"}})}, ""},
  };
  for (const Case& c : cases) {
    Harness h;
    h.db->answer(c.sets);
    EXPECT_EQ(Call(h, "rf_confirm_despatch", {}), c.reply) << c.name;
  }
}

// ---- order serial numbers ----

struct ProcedureCase {
  std::string name;
  std::string function;
  std::vector<std::string> inputs;  // declared input names, in order
  Session session;
  std::vector<Value> sent;  // the values at positions 1..n
};

class SerialProcedures : public ::testing::TestWithParam<ProcedureCase> {};

TEST_P(SerialProcedures, PassesTheInputsByPositionAndRepliesWithTheStatus) {
  const ProcedureCase& c = GetParam();
  Harness h;
  h.db->procedure(c.function, c.inputs, {"@sqlstatus", "@sqlmsg"});
  h.db->answer(Outputs({{"@sqlstatus", Value::int32(-2)}, {"@sqlmsg", T("Serial in use.")}}));
  EXPECT_EQ(Call(h, c.function, c.session),
            "<sqlstatus>-2</sqlstatus><sqlmsg>Serial in use.</sqlmsg>");
  ASSERT_EQ(h.db->calls.size(), 1u);
  const std::vector<Value>& values = h.db->calls[0].values;
  EXPECT_EQ(std::vector<Value>(values.begin() + 1, values.begin() + 1 + c.sent.size()), c.sent);
}

const std::vector<std::string> kWarrantyInputs = {
    "@client",      "@item_no", "@serial_no", "@so_no",    "@so_line",
    "@warranty_no", "@wo_no",   "@task_no",   "@activity", "@operator"};

const Session kWarrantyKeys = {{"client", "C01"},   {"item_no", "ITEM1"}, {"serial_no", "SN1"},
                               {"so_no", "SO1"},    {"so_line", "3"},     {"warranty_no", "WR9"},
                               {"wo_no", "WO7"},    {"task_no", "12"},    {"activity", "2"},
                               {"operator", "JOE"}, {"item", "IGNORED"}};

INSTANTIATE_TEST_SUITE_P(
    Inputs, SerialProcedures,
    ::testing::Values(
        ProcedureCase{
            "UpdateSoSerial",
            "rf_update_so_serial",
            {"@client", "@item_no", "@serial_no", "@customer", "@so_no", "@pallet", "@operator"},
            {{"operator", "JOE"},
             {"pallet", "PAL1"},
             {"so_no", "SO1"},
             {"customer", "CUS1"},
             {"serial_no", "SN1"},
             {"item", "IGNORED"},
             {"client", "C01"}},
            {T("C01"), T(""), T("SN1"), T("CUS1"), T("SO1"), T("PAL1"), T("JOE")}},
        ProcedureCase{"RemoveSoSerial",
                      "rf_remove_so_serial",
                      {"@client", "@item_no", "@serial_no", "@so_no", "@operator"},
                      {{"client", "C01"},
                       {"item_no", "ITEM1"},
                       {"serial_no", "SN1"},
                       {"so_no", "SO1"},
                       {"operator", "JOE"}},
                      {T("C01"), T("ITEM1"), T("SN1"), T("SO1"), T("JOE")}},
        ProcedureCase{"WarrantyPassesLineTaskAndActivityAsIntegers",
                      "rf_update_so_serial_warranty",
                      kWarrantyInputs,
                      kWarrantyKeys,
                      {T("C01"), T("ITEM1"), T("SN1"), T("SO1"), Value::int16(3), T("WR9"),
                       T("WO7"), Value::int16(12), Value::int16(2), T("JOE")}},
        ProcedureCase{"WarrantyPassesZeroForEmptyOrNonNumericIntegers",
                      "rf_update_so_serial_warranty",
                      kWarrantyInputs,
                      {{"client", "C01"}, {"so_line", ""}, {"task_no", "T12"}, {"activity", "1e3"}},
                      {T("C01"), T(""), T(""), T(""), Value::int16(0), T(""), T(""),
                       Value::int16(0), Value::int16(0), T("")}}),
    [](const auto& info) { return info.param.name; });

TEST(SerialWarranty, AnOutOfRangeIntegerEndsTheCallBeforeTheDatabaseIsAsked) {
  for (const auto& [key, value] :
       Session{{"so_line", "32768"}, {"task_no", "-32769"}, {"activity", "99999999999"}}) {
    Harness h;
    h.db->procedure("rf_update_so_serial_warranty", kWarrantyInputs, {"@sqlstatus", "@sqlmsg"});
    EXPECT_EQ(Call(h, "rf_update_so_serial_warranty", {{key, value}}), "") << key;
    EXPECT_TRUE(h.db->calls.empty()) << key;
    EXPECT_NE(h.last_failure().find(key), std::string::npos) << h.last_failure();
  }
}

}  // namespace
}  // namespace talwen::testing
