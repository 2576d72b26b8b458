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

TEST(Products, StatementTexts) {
  const SessionValues product = {{"item", "A1002"}, {"client", "C01"}, {"item_no", "A1001"},
                                 {"uom", "CTN"},    {"qty", "3"},      {"operator", "JOE"}};
  const SessionValues fallback = {{"item", "A 1"}, {"client", "C01"}, {"uom", ""}};
  const struct {
    const char* proves;
    const char* function;
    SessionValues values;
    std::string sql;
  } cases[] = {
      {"product info reads item_no first", "rf_get_product_info", product,
       "rf_get_product_info  N'C01',  N'A1001'"},
      {"product info falls back to item", "rf_get_product_info", fallback,
       "rf_get_product_info  N'C01',  N'A 1'"},
      {"description", "rf_get_product_description", fallback,
       "rf_get_product_description  N'C01',  N'A 1'"},
      {"owners", "rf_get_product_owner", product, "rf_get_product_owner  N'C01',  N'A1001'"},
      {"units with the unit filter", "rf_get_product_uom", fallback,
       "rf_get_product_uom  N'C01',  N'A 1', Null"},
      {"two-level units", "rf_get_product_uom_2_level", product,
       "rf_get_product_uom_2_level  N'C01',  N'A1001'"},
      {"packing quantity calls the procedure without the rf_ prefix", "rf_get_packing_qty", product,
       "get_packing_qty  N'C01',  N'A1001',  N'CTN', 3"},
      {"both matching searches call get_matching_product2",
       "rf_get_matching_product",
       {{"operator", "JOE"}, {"status", "ACTIVE"}, {"item", "HAM"}, {"client", "C01"}},
       "get_matching_product2  N'C01',  N'HAM',  N'ACTIVE',  N'JOE'"},
      {"the grid search too",
       "rf_get_matching_product2",
       {{"item_no", "HAM"}},
       "get_matching_product2 Null,  N'HAM', Null, Null"},
      {"a barcode is resolved with barcode_no",
       "rf_get_barcode_item_no",
       {{"barcode", "x"}, {"barcode_no", "9310000000018"}, {"client", "C01"}},
       "rf_get_barcode_item_no  N'C01',  N'9310000000018'"},
      {"two-level dimensions: no blank after the name, numbers as numbers",
       "rf_update_product_uom_2_level",
       {{"pallet_qty", "40"},
        {"pallet_depth", "100"},
        {"pallet_width", "120"},
        {"item_weight", "2.5"},
        {"item_depth", "30"},
        {"item_width", "40"},
        {"item_height", "30"},
        {"item_uom", "CTN"},
        {"operator", "JOE"},
        {"item", "A1001"},
        {"client", "C01"}},
       "rf_update_product_uom_2_level N'C01',  N'A1001',  N'CTN', 30, 40, 30, 2.5, 120, 100, 40, "
       " N'JOE'"},
      {"an empty client joins the name to Null",
       "rf_update_product_uom_2_level",
       {{"item_no", "A1001"}},
       "rf_update_product_uom_2_levelNull,  N'A1001', Null, Null, Null, Null, Null, Null, Null, "
       "Null, Null"},
  };
  for (const auto& c : cases) {
    Harness h;
    Call(h, c.function, c.values);
    EXPECT_EQ(h.db->statements, std::vector<std::string>{c.sql}) << c.proves;
  }
}

// The product row as the database answers it: field name, value, and the tag and text the
// reply must show, in reply order.
struct ProductField {
  const char* field;
  Value value;
  const char* tag;
  const char* text;
};

std::vector<ProductField> ProductRow() {
  return {
      {"Description", T("Claw Hammer"), "description", "Claw Hammer"},
      {"pallet_config", T("40 CTN"), "pallet_config", "40 CTN"},
      {"expiry_prealert", Value::int32(30), "expiry_prealert", "30"},
      {"reorder_level", Value::decimal("60"), "reorder_level", "60"},
      {"product_group", T("FAST"), "product_group", "FAST"},
      {"Category", T("TOOLS"), "category", "TOOLS"},
      {"sub_category", T("s"), "sub_category", "s"},
      {"sub_category_1", T("s1"), "sub_category_1", "s1"},
      {"sub_category_2", T("s2"), "sub_category_2", "s2"},
      {"sub_category_3", T("s3"), "sub_category_3", "s3"},
      {"sub_category_4", T("s4"), "sub_category_4", "s4"},
      {"sub_category_5", Value::null(), "sub_category_5", ""},
      {"alternate_code", T("ALT"), "alternate_code", "ALT"},
      {"substitute", T("A1017"), "substitute", "A1017"},
      {"bonded_flag", T("N"), "bonded_flag", "N"},
      {"lot_no", T("L"), "lot_no_flag", "L"},
      {"expiry_dt", T("E"), "expiry_date_flag", "E"},
      {"item_size", T("S"), "item_size_flag", "S"},
      {"item_color", T("C"), "item_color_flag", "C"},
      {"item_class", T("K"), "item_class_flag", "K"},
      {"production_dt", T("P"), "production_date_flag", "P"},
      {"weight_required", T("W"), "weight_required", "W"},
      {"auto_zoning", T("Z"), "auto_zoning", "Z"},
      {"dual_uom", T("D"), "dual_uom", "D"},
      {"batch_no", T("B"), "batch_no_flag", "B"},
      {"dimensions", T("M"), "dimensions_flag", "M"},
      {"serial_no", T("Y"), "serial_no_flag", "Y"},
      {"num_serial", Value::int32(1), "num_serial", "1"},
      {"supplier", T("U"), "supplier_flag", "U"},
      {"owner", T("O"), "owner_flag", "O"},
      {"pick_seq", Value::int32(5), "pick_seq", "5"},
      {"billing_group", T("BG"), "billing_group", "BG"},
      {"billing_uom", T("PLT"), "billing_uom", "PLT"},
      {"storage_group", T("SG"), "storage_group", "SG"},
      {"storage_uom", T("PLT"), "storage_uom", "PLT"},
      {"fob_price", Value::decimal("2.49"), "fob_price", "2.49"},
      {"landed_price", Value::decimal("2.79"), "landed_price", "2.79"},
      {"ex_work_price", Value::decimal("1.89"), "ex_work_price", "1.89"},
      {"dealer_price", Value::decimal("3.19"), "dealer_price", "3.19"},
      {"export_price", Value::decimal("2.49"), "export_price", "2.49"},
      {"sample_size", Value::decimal("0"), "sample_size", "0"},
      {"tolerance", Value::decimal("2"), "tolerance", "2"},
      {"default_grade", T("A"), "default_grade", "A"},
      {"Status", T("ACTIVE"), "status", "ACTIVE"},
      {"remarks", T("r<1>"), "remarks", "r<1>"},
      {"maker", T("JOE"), "maker", "JOE"},
      {"last_update", Value::date({2008, 3, 27, 10, 15, 1}), "last_update", "2008-03-27"},
      {"image_filename", T("a1001.jpg"), "image_filename", "a1001.jpg"},
      {"nonstandard_pack", T("N"), "nonstandard_pack", "N"},
  };
}

// The row with item_no and client first and the fields in reverse order: the reply's order
// is its own, not the result's.
db::ResultSet ProductResult(const std::vector<ProductField>& fields) {
  std::vector<std::string> names = {"client", "item_no"};
  std::vector<Value> row = {T("C01"), T("A1001")};
  for (auto f = fields.rbegin(); f != fields.rend(); ++f) {
    names.push_back(f->field);
    row.push_back(f->value);
  }
  return Rows(names, {row, row});
}

std::string ProductReply(const std::vector<ProductField>& fields) {
  std::string reply;
  for (const ProductField& f : fields) {
    reply += std::string("<") + f.tag + ">" + f.text + "</" + f.tag + ">";
  }
  return reply;
}

TEST(Products, ProductFieldList) {
  std::vector<ProductField> fields = ProductRow();
  ASSERT_EQ(fields.size(), 49u);
  Harness h;
  h.db->answer({ProductResult(fields)});
  const std::string info = Call(h, "rf_get_product_info", {});
  EXPECT_EQ(info, ProductReply(fields)) << "49 tags, renamed, in the list's order, first row only";
  EXPECT_TRUE(info.starts_with("<description>Claw Hammer</description><pallet_config>"));

  h.db->answer({ProductResult(fields)});
  EXPECT_EQ(Call(h, "rf_get_product_description", {}),
            "<item_no>A1001</item_no>" + ProductReply(fields))
      << "the description starts with item_no";

  const struct {
    const char* proves;
    Value last_update;
    const char* text;
  } dates[] = {
      {"1 January 1900 as text is no date", T("1900-01-01"), ""},
      {"a date text is formatted", T("27 Mar 2008"), "2008-03-27"},
      {"Null is empty", Value::null(), ""},
  };
  for (const auto& d : dates) {
    fields[46].value = d.last_update;
    fields[46].text = d.text;
    h.db->answer({ProductResult(fields)});
    EXPECT_EQ(Call(h, "rf_get_product_info", {}), ProductReply(fields)) << d.proves;
  }

  for (const char* function : {"rf_get_product_info", "rf_get_product_description"}) {
    h.db->answer({Texts({"item_no", "Description"}, {})});
    EXPECT_EQ(Call(h, function, {}), "") << function << ": an unknown product answers nothing";
    h.db->answer({Texts({"item_no", "Description"}, {{"A1001", "x"}})});
    EXPECT_EQ(Call(h, function, {}), "") << function << ": a missing field ends the handler";
  }
}

TEST(Products, OwnersUnitsAndPacking) {
  Harness h;
  h.db->answer({Texts({"customer", "name"}, {{"CUST001", "a"}, {"CUST002", "b"}})});
  EXPECT_EQ(Call(h, "rf_get_product_owner", {}),
            "<customer>CUST001</customer><customer>CUST002</customer>")
      << "owners are not wrapped in records";
  h.db->answer({Texts({"customer"}, {})});
  EXPECT_EQ(Call(h, "rf_get_product_owner", {}), "");

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

  for (const char* function :
       {"rf_get_product_uom_2_level", "rf_get_packing_qty", "rf_get_product_uom"}) {
    h.db->answer({Texts({"sqlstatus"}, {})});
    EXPECT_EQ(Call(h, function, {}), "") << function << ": no row, no reply";
  }
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

  for (const char* function : {"rf_get_matching_product", "rf_get_matching_product2"}) {
    h.db->answer({Texts({"item_no", "Description"}, {})});
    EXPECT_EQ(Call(h, function, {}), "") << function;
  }
}

TEST(Products, MatchingSearchLimits) {
  const std::string marker = "<record><item_no><Too many records></item_no></record>";
  const struct {
    const char* proves;
    const char* function;
    const char* limit;
    bool cut;
  } cases[] = {
      {"the recordset search cuts for exactly Y", "rf_get_matching_product", "Y", true},
      {"the recordset search ignores a lower-case y", "rf_get_matching_product", "y", false},
      {"the recordset search ignores N", "rf_get_matching_product", "N", false},
      {"the recordset search ignores a padded Y", "rf_get_matching_product", " Y", false},
      {"the grid search cuts for any non-blank limit", "rf_get_matching_product2", "N", true},
      {"the grid search cuts for a padded limit", "rf_get_matching_product2", " y ", true},
      {"the grid search ignores a blank limit", "rf_get_matching_product2", "   ", false},
      {"the grid search ignores an empty limit", "rf_get_matching_product2", "", false},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({MatchRows(1000)});
    const std::string reply = Call(h, c.function, {{"limit", c.limit}});
    const size_t records = [&] {
      size_t n = 0;
      for (size_t at = reply.find("<record>"); at != std::string::npos;
           at = reply.find("<record>", at + 1)) {
        ++n;
      }
      return n;
    }();
    if (!c.cut) {
      EXPECT_EQ(records, 1000u) << c.proves;
      EXPECT_EQ(reply.find("Too many"), std::string::npos) << c.proves;
      continue;
    }
    ASSERT_TRUE(reply.ends_with(marker)) << c.proves;
    const std::string kept = reply.substr(0, reply.size() - marker.size());
    EXPECT_TRUE(kept.ends_with("</record>")) << c.proves << ": the last record is whole";
    const size_t last = kept.rfind("<record>");
    EXPECT_GT(kept.size(), 16382u) << c.proves << ": cut only past the threshold";
    EXPECT_LE(last, 16382u) << c.proves << ": the record before the last was below it";
    EXPECT_LT(records, 1000u) << c.proves;
  }
}

TEST(Products, MatchingSearchMarkerFollowsTheLastRow) {
  // One row long enough to pass the threshold on its own: the marker follows it.
  const std::string long_text(16400, 'x');
  for (const char* function : {"rf_get_matching_product", "rf_get_matching_product2"}) {
    Harness h;
    h.db->answer({Texts({"item_no", "Description", "alternate_code", "substitute"},
                        {{"A1", long_text, "", ""}})});
    const std::string reply = Call(h, function, {{"limit", "Y"}});
    EXPECT_TRUE(reply.ends_with("</record><record><item_no><Too many records></item_no></record>"))
        << function;
    EXPECT_NE(reply.find(long_text), std::string::npos) << function;
  }
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
