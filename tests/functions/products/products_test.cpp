// Product enquiries and updates: statement texts, procedure inputs and reply shapes.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/function_calls.h"
#include "support/harness.h"

namespace talwen {
namespace {

using testing::Answer;
using testing::Call;
using testing::Harness;
using testing::Rows;
using testing::SessionValues;
using testing::T;
using testing::Texts;

// Argument order is the function index's (docs/function_index.md); here, what a traced run
// with every key given does not show: the item's two keys, missing keys.
TEST(Products, StatementTexts) {
  const SessionValues fallback = {{"item", "A 1"}, {"client", "C01"}, {"uom", ""}};
  const struct {
    const char* proves;
    const char* function;
    SessionValues values;
    std::string sql;
  } cases[] = {
      {"product info falls back to item", "rf_get_product_info", fallback,
       "rf_get_product_info  N'C01',  N'A 1'"},
      {"units with the unit filter", "rf_get_product_uom", fallback,
       "rf_get_product_uom  N'C01',  N'A 1', Null"},
      {"the grid search too",
       "rf_get_matching_product2",
       {{"item_no", "HAM"}},
       "get_matching_product2 Null,  N'HAM', Null, Null"},
  };
  for (const auto& c : cases) {
    Harness h;
    Call(h, c.function, c.values);
    EXPECT_EQ(h.db->statements, std::vector<std::string>{c.sql}) << c.proves;
  }
}

// The product's fixed tags, on a row whose every field holds its own name: the fields
// renamed, the date converted, the first row only; the description starts with item_no.
TEST(Products, ProductFieldList) {
  for (const char* function : {"rf_get_product_info", "rf_get_product_description"}) {
    const std::vector<std::string> columns = testing::ColumnsRead(function);
    db::ResultSet rows = testing::EchoRow(columns, {{"last_update", T("27 Mar 2008")}});
    rows.rows.push_back(testing::EchoRow(columns).rows[0]);
    Harness h;
    h.db->answer({rows});
    const std::string reply = Call(h, function, {});
    for (const char* part :
         {"<description>Description</description><pallet_config>", "<category>Category</category>",
          "<lot_no_flag>lot_no</lot_no_flag>", "<expiry_date_flag>expiry_dt</expiry_date_flag>",
          "<production_date_flag>production_dt</production_date_flag>",
          "<serial_no_flag>serial_no</serial_no_flag>", "<status>Status</status>",
          "<last_update>2008-03-27</last_update>",
          "<nonstandard_pack>nonstandard_pack</nonstandard_pack>"}) {
      EXPECT_NE(reply.find(part), std::string::npos) << function << ": " << part;
    }
    EXPECT_EQ(reply.find("<last_update></last_update>"), std::string::npos) << "one row only";
    EXPECT_EQ(reply.starts_with("<item_no>item_no</item_no><description>"),
              std::string(function) == "rf_get_product_description");
  }
}

TEST(Products, OwnersUnitsAndPacking) {
  Harness h;
  h.db->answer({Texts({"customer", "name"}, {{"CUST001", "a"}, {"CUST002", "b"}})});
  EXPECT_EQ(Call(h, "rf_get_product_owner", {}),
            "<customer>CUST001</customer><customer>CUST002</customer>")
      << "owners are not wrapped in records";

  const std::vector<std::string> units = {
      "child_uom_qty", "child_uom",   "luom_equivalent", "lowest_uom", "uom_sequence", "extra",
      "item_weight",   "item_volume", "item_width",      "item_depth", "item_height",  "uom"};
  h.db->answer(
      {Rows(units, {{T("12"), T("EA"), T("12"), T("EA"), T("2"), T("x"), T("1.5"), T("0.036"),
                     T("40"), T("30"), T("31"), T("CTN")},
                    {Value::null(), Value::null(), Value::int32(1), T("EA"), Value::int32(1),
                     T("x"), T("0.25"), T("0"), T("8"), T("5"), T("10"), T("EA")}})});
  EXPECT_EQ(Call(h, "rf_get_product_uom", {}),
            "<record><uom>CTN</uom><item_height>31</item_height><item_depth>30</item_depth>"
            "<item_width>40</item_width><item_volume>0.036</item_volume>"
            "<item_weight>1.5</item_weight><uom_sequence>2</uom_sequence>"
            "<lowest_uom>EA</lowest_uom><luom_equivalent>12</luom_equivalent>"
            "<child_uom>EA</child_uom><child_uom_qty>12</child_uom_qty></record>"
            "<record><uom>EA</uom><item_height>10</item_height><item_depth>5</item_depth>"
            "<item_width>8</item_width><item_volume>0</item_volume>"
            "<item_weight>0.25</item_weight><uom_sequence>1</uom_sequence>"
            "<lowest_uom>EA</lowest_uom><luom_equivalent>1</luom_equivalent>"
            "<child_uom></child_uom><child_uom_qty></child_uom_qty></record>")
      << "eleven unit tags per row: height, depth, width";

  h.db->answer({Texts({"pallet_qty", "pallet_depth", "pallet_width", "item_weight", "item_depth",
                       "item_width", "item_height", "item_uom", "sqlstatus"},
                      {{"40", "100", "120", "2.5", "30", "40", "31", "CTN", "0"},
                       {"9", "9", "9", "9", "9", "9", "9", "9", "9"}})});
  EXPECT_EQ(Call(h, "rf_get_product_uom_2_level", {}),
            "<sqlstatus>0</sqlstatus><item_uom>CTN</item_uom><item_height>31</item_height>"
            "<item_width>40</item_width><item_depth>30</item_depth><item_weight>2.5</item_weight>"
            "<pallet_width>120</pallet_width><pallet_depth>100</pallet_depth>"
            "<pallet_qty>40</pallet_qty>")
      << "two levels: height, width, depth; first row only";

  h.db->answer(
      {Rows({"query_luom_qty", "query_pallet_qty", "luom_equivalent", "lowest_uom"},
            {{Value::decimal("36"), Value::decimal("0.075"), Value::decimal("12"), T("EA")}})});
  EXPECT_EQ(Call(h, "rf_get_packing_qty", {}),
            "<lowest_uom>EA</lowest_uom><luom_equivalent>12</luom_equivalent>"
            "<query_pallet_qty>0.075</query_pallet_qty><query_luom_qty>36</query_luom_qty>");
}

TEST(Products, Updates) {
  Harness h;
  h.db->answer({Texts({"sqlstatus", "sqlmsg"}, {{"0", "Dimensions updated."}})});
  EXPECT_EQ(Call(h, "rf_update_product_uom_2_level", {{"client", "C01"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Dimensions updated.</sqlmsg>");
  h.db->fail(db::kErrorStatement, "Could not find stored procedure");
  EXPECT_EQ(Call(h, "rf_update_product_uom_2_level", {}), "")
      << "an empty client names no procedure: the statement fails and the reply is empty";

  h.db->procedure("rf_update_product_barcode",
                  {"@client", "@barcode", "@item_no", "@remarks", "@operator"},
                  {"@sqlstatus", "@sqlmsg"});
  h.db->answer(Answer{{}, {{"@sqlstatus", Value::int32(0)}, {"@sqlmsg", T("Recorded.")}}, {}});
  EXPECT_EQ(Call(h, "rf_update_product_barcode",
                 {{"operator", "JOE"},
                  {"item", "A1029"},
                  {"barcode", "9310000000299"},
                  {"client", "C01"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Recorded.</sqlmsg>");
  ASSERT_EQ(h.db->calls.size(), 1u);
  const std::vector<Value>& sent = h.db->calls[0].values;
  ASSERT_EQ(sent.size(), 8u);
  EXPECT_EQ(std::vector<Value>(sent.begin() + 1, sent.begin() + 6),
            (std::vector<Value>{T("C01"), T("9310000000299"), T("A1029"),
                                T("Created through RF Terminal."), T("JOE")}))
      << "client, barcode, item (after the fallback), the fixed remark, operator";
}

// Rows of about 100 characters each for the matching searches.
db::ResultSet MatchRows(int n) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < n; ++i) {
    rows.push_back({"ITEM" + std::to_string(1000 + i), std::string(40, 'd'), "ALT", "SUB", "x"});
  }
  return Texts({"item_no", "Description", "alternate_code", "substitute", "other"}, rows);
}

TEST(Products, MatchingSearchRecords) {
  Harness h;
  h.db->answer({MatchRows(2)});
  EXPECT_EQ(Call(h, "rf_get_matching_product", {}),
            "<record><item_no>ITEM1000</item_no><description>" + std::string(40, 'd') +
                "</description><alternate_code>ALT</alternate_code><substitute>SUB</substitute>"
                "</record><record><item_no>ITEM1001</item_no><description>" +
                std::string(40, 'd') +
                "</description><alternate_code>ALT</alternate_code><substitute>SUB</substitute>"
                "</record>")
      << "four tags, renamed description";

  h.db->answer({MatchRows(1)});
  EXPECT_EQ(Call(h, "rf_get_matching_product2", {}),
            "<record><item_no>ITEM1000</item_no><Description>" + std::string(40, 'd') +
                "</Description><alternate_code>ALT</alternate_code><substitute>SUB</substitute>"
                "<other>x</other></record>")
      << "the grid search writes every column under its own name";
}

TEST(Products, MatchingSearchTracesEachRow) {
  Harness h;
  h.db->answer({Texts({"item_no", "Description", "alternate_code", "substitute"},
                      {{"A1001", "Claw Hammer", "", ""}, {"A1002", "Screwdriver", "", ""}})});
  Call(h, "rf_get_matching_product", {});
  EXPECT_EQ(h.log_text(), "") << "tracing off: nothing written";

  h.write_ini("[veldrawms]\nProvider=Scripted\n[GENERAL]\nLOGGING FILE=" + h.dir.file("trace.log"));
  h.db->answer({Texts({"item_no", "Description", "alternate_code", "substitute"},
                      {{"A1001", "Claw Hammer", "", ""}, {"A1002", "Screwdriver", "", ""}})});
  Call(h, "rf_get_matching_product", {});
  const std::string stamp = "2009-01-05 10:15:01 - ";
  EXPECT_EQ(h.log_text(), stamp + "10.1.1.7 entering rf_get_matching_product\r\n" + stamp +
                              "A1001\r\n" + stamp + "Claw Hammer\r\n" + stamp + "A1002\r\n" +
                              stamp + "Screwdriver\r\n" + stamp +
                              "10.1.1.7 exiting rf_get_matching_product\r\n\r\n");
}

// A result set whose columns carry their data types.
db::ResultSet Typed(std::vector<std::pair<std::string, int32_t>> columns,
                    std::vector<std::vector<Value>> rows) {
  db::ResultSet set;
  for (auto& [name, type] : columns) set.columns.push_back({name, type});
  set.rows = std::move(rows);
  return set;
}

TEST(Products, BarcodeItemNo) {
  Harness h;
  h.db->answer({Typed({{"item_no", db::kTypeVarWChar},
                       {"uom", db::kTypeVarWChar},
                       {"last_update", db::kTypeDbTimeStamp},
                       {"created", db::kTypeDate},
                       {"note", db::kTypeVarWChar}},
                      {{T("A1001"), T("EA"), Value::date({2008, 3, 27, 10, 0, 0}),
                        Value::real(39534), T("2008-03-27")},
                       {T("A1002"), T("CTN"), Value::null(), T("1900-01-01"), Value::null()}})});
  EXPECT_EQ(Call(h, "rf_get_barcode_item_no", {}),
            "<count>2</count>"
            "<record><item_no>A1001</item_no><uom>EA</uom><last_update>2008-03-27</last_update>"
            "<created>2008-03-27</created><note>2008-03-27</note></record>"
            "<record><item_no>A1002</item_no><uom>CTN</uom><last_update></last_update>"
            "<created></created><note></note></record>")
      << "date columns through the ISO date form, other columns as text";

  h.db->answer({Texts({"item_no"}, {})});
  EXPECT_EQ(Call(h, "rf_get_barcode_item_no", {}), "<count>0</count>");
  h.db->fail(db::kErrorStatement, "no such procedure");
  EXPECT_EQ(Call(h, "rf_get_barcode_item_no", {}), "<count>0</count>") << "errors are ignored";
  EXPECT_TRUE(h.failures.empty());
}

}  // namespace
}  // namespace talwen
