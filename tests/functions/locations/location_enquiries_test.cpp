// Contract tests of the location and item-location enquiries.
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

Value Date(int y, int m, int d) {
  return Value::date({y, m, d});
}

TEST(LocationEnquiries, StatementTexts) {
  const struct {
    const char* function;
    SessionValues session;
    const char* sql;
  } cases[] = {
      {"rf_get_location_items",
       {{"location", "A-01-1"}, {"warehouse", "W1"}},
       "rf_get_location_items  N'W1',  N'A-01-1'"},
      {"rf_get_location_cartons",
       {{"warehouse", "W1"}, {"location", "O'Hara"}},
       "rf_get_location_cartons  N'W1',  N'O''Hara'"},
      {"rf_get_location_serial_nos",
       {{"warehouse", "W1"}, {"location", "P-05"}, {"client", "C01"}, {"item", "A1005"}},
       "rf_get_location_serial_nos  N'W1',  N'P-05',  N'C01',  N'A1005'"},
      {"rf_get_location_serial_nos",
       {{"item", "A1005"}, {"item_no", "A1010"}},
       "rf_get_location_serial_nos Null, Null, Null,  N'A1010'"},
      {"rf_get_matching_location",
       {{"warehouse", "W1"}, {"location", " A-0 "}, {"limit", "Y"}},
       "get_matching_location  N'W1',  N'A-0'"},
      {"rf_get_matching_location_pallet",
       {{"warehouse", "W1"}, {"location", "C"}},
       "get_matching_location_pallet  N'W1',  N'C'"},
      {"rf_get_warehouse_location_pallet",
       {{"pallet", "P00"}, {"location", "A-01-1"}, {"warehouse", "W1"}},
       "rf_get_warehouse_location_pallet  N'W1',  N'A-01-1',  N'P00'"},
      {"rf_get_item_locations",
       {{"warehouse", "W1"}, {"client", "C01"}, {"item", "A1001"}},
       "rf_get_item_locations  N'W1',  N'C01',  N'A1001'"},
      {"rf_get_item_locations2",
       {{"warehouse", "W1"}, {"client", "C01"}, {"item_no", "A1001"}},
       "rf_get_item_locations  N'W1',  N'C01',  N'A1001'"},
      {"rf_get_item_locations_grade",
       {{"warehouse", ""}, {"client", "C01"}, {"item_no", "A1003"}},
       "rf_get_item_locations_grade Null,  N'C01',  N'A1003'"},
      {"rf_get_item_recnums",
       {{"warehouse", "W1"}, {"client", "C01"}, {"item_no", "A1001"}},
       "rf_get_item_recnums  N'C01',  N'A1001',  N'W1'"},
  };
  for (const auto& c : cases) {
    Harness h;
    EXPECT_EQ(Call(h, c.function, c.session), "") << c.function << ": no result set, no reply";
    EXPECT_EQ(h.db->statements, std::vector<std::string>{c.sql}) << c.function;
  }
}

// The fixed-tag listings: the tags follow their own order whatever the result's column order,
// dates go through the ISO form, Null is written empty.
TEST(LocationEnquiries, FixedTagListings) {
  // Columns in an order unlike the reply's, with a column the reply does not write.
  const auto stock_line = [](Value expiry) {
    return Rows({"item_weight",   "item_height",      "item_depth", "item_width",  "item_class",
                 "item_color",    "item_size",        "prod_date",  "expiry_date", "owner",
                 "supplier",      "batch_no",         "lot_no",     "grade",       "qty_booked",
                 "qty_avail",     "qty_rcvd",         "uom",        "pallet",      "pallet_no",
                 "carton_no",     "item_description", "item_no",    "client",      "rec_num",
                 "extra",         "Status",           "location",   "customer",    "receipt_date",
                 "origin_country"},
                {{Value::decimal("1.5"),
                  Value::decimal("30"),
                  Value::decimal("20"),
                  Value::decimal("10"),
                  T("M"),
                  T("RED"),
                  T("L"),
                  Date(2024, 1, 2),
                  expiry,
                  Value::null(),
                  T("SUP001"),
                  T("BT1"),
                  T("L1"),
                  T("A"),
                  Value::decimal("6"),
                  Value::decimal("114"),
                  Value::decimal("120"),
                  T("EA"),
                  T("P0000017"),
                  T("P0000025"),
                  T("CTN1"),
                  T("Claw Hammer"),
                  T("A1001"),
                  T("C01"),
                  Value::int64(101),
                  T("x"),
                  T("AVAILABLE"),
                  T("P-01"),
                  T("CUST001"),
                  T("2024-02-29"),
                  T("CN")}});
  };
  const struct {
    const char* function;
    Value expiry;
    const char* reply;
  } cases[] = {
      {"rf_get_location_items", Date(2025, 3, 27),
       "<record><rec_num>101</rec_num><client>C01</client><item_no>A1001</item_no>"
       "<item_description>Claw Hammer</item_description><pallet>P0000017</pallet><uom>EA</uom>"
       "<qty_rcvd>120</qty_rcvd><qty_avail>114</qty_avail><qty_booked>6</qty_booked>"
       "<grade>A</grade><lot_no>L1</lot_no><batch_no>BT1</batch_no><supplier>SUP001</supplier>"
       "<owner></owner><expiry_date>2025-03-27</expiry_date><prod_date>2024-01-02</prod_date>"
       "<item_size>L</item_size><item_color>RED</item_color><item_class>M</item_class>"
       "<item_width>10</item_width><item_depth>20</item_depth><item_height>30</item_height>"
       "<item_weight>1.5</item_weight></record>"},
      {"rf_get_location_cartons", Value::null(),
       "<record><rec_num>101</rec_num><client>C01</client><item_no>A1001</item_no>"
       "<item_description>Claw Hammer</item_description><pallet_no>P0000025</pallet_no>"
       "<uom>EA</uom><qty_rcvd>120</qty_rcvd><qty_avail>114</qty_avail>"
       "<qty_booked>6</qty_booked><grade>A</grade><lot_no>L1</lot_no><batch_no>BT1</batch_no>"
       "<supplier>SUP001</supplier><owner></owner><expiry_date></expiry_date>"
       "<prod_date>2024-01-02</prod_date><carton_no>CTN1</carton_no></record>"},
      {"rf_get_item_recnums", T("1900-01-01"),
       "<record><rec_num>101</rec_num><pallet>P0000017</pallet><location>P-01</location>"
       "<status>AVAILABLE</status><qty_avail>114</qty_avail><qty_booked>6</qty_booked>"
       "<uom>EA</uom><grade>A</grade><lot_no>L1</lot_no><batch_no>BT1</batch_no>"
       "<supplier>SUP001</supplier><customer>CUST001</customer><item_size>L</item_size>"
       "<item_color>RED</item_color><item_class>M</item_class><prod_date>2024-01-02</prod_date>"
       "<expiry_date></expiry_date><receipt_date>2024-02-29</receipt_date>"
       "<origin_country>CN</origin_country></record>"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({stock_line(c.expiry)});
    EXPECT_EQ(Call(h, c.function, {}), c.reply) << c.function;
  }
}

TEST(LocationEnquiries, ListingsWriteEveryRowAndNothingForNone) {
  Harness h;
  h.db->answer(
      {Texts({"location", "zone", "area"}, {{"A-01-1", "BA", "BULK"}, {"A-01-2", "BA", ""}})});
  EXPECT_EQ(Call(h, "rf_get_matching_location", {}),
            "<record><location>A-01-1</location><zone>BA</zone></record>"
            "<record><location>A-01-2</location><zone>BA</zone></record>");
  h.db->answer({Texts({"location", "zone"}, {})});
  EXPECT_EQ(Call(h, "rf_get_matching_location", {{"limit", "Y"}}), "");
  h.db->answer(
      {Texts({"pallet", "warehouse", "location", "zone"}, {{"P0000017", "W1", "A-01-1", "BA"}})});
  EXPECT_EQ(Call(h, "rf_get_matching_location_pallet", {}),
            "<record><pallet>P0000017</pallet><warehouse>W1</warehouse>"
            "<location>A-01-1</location><zone>BA</zone></record>");
  h.db->answer({Texts({"Serial_No", "pallet"}, {{"SN1", "P1"}, {"SN2", ""}})});
  EXPECT_EQ(Call(h, "rf_get_location_serial_nos", {}),
            "<record><Serial_No>SN1</Serial_No><pallet>P1</pallet></record>"
            "<record><Serial_No>SN2</Serial_No><pallet></pallet></record>")
      << "records of all columns, names as the result gives them";
}

TEST(LocationEnquiries, MissingFieldEndsTheHandler) {
  Harness h;
  h.db->answer({Texts({"location"}, {{"A-01-1"}})});
  EXPECT_EQ(Call(h, "rf_get_matching_location", {}), "");
  ASSERT_EQ(h.failures.size(), 1u);
  EXPECT_NE(h.last_failure().find("zone"), std::string::npos) << h.last_failure();
}

// Rows of about 60 characters each, enough to pass the limit.
db::ResultSet ManyRows(std::vector<std::string> columns, int count) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < count; ++i) {
    std::vector<std::string> row;
    for (size_t c = 0; c < columns.size(); ++c) row.push_back("V" + std::to_string(10000 + i));
    rows.push_back(std::move(row));
  }
  return Texts(std::move(columns), std::move(rows));
}

int Count(const std::string& text, const std::string& piece) {
  int n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

TEST(LocationEnquiries, ReplyLimit) {
  const struct {
    const char* function;
    std::vector<std::string> columns;
    const char* sentinel;
  } cases[] = {
      {"rf_get_matching_location",
       {"location", "zone"},
       "<record><location><Too many records></location></record>"},
      {"rf_get_matching_location_pallet",
       {"pallet", "warehouse", "location", "zone"},
       "<record><pallet><Too many records></pallet></record>"},
      {"rf_get_warehouse_location_pallet",
       {"pallet", "location", "qty"},
       "<record><pallet><Too many records></pallet></record>"},
  };
  for (const auto& c : cases) {
    for (const char* limit : {"", "   "}) {
      Harness h;
      h.db->answer({ManyRows(c.columns, 1000)});
      EXPECT_EQ(Count(Call(h, c.function, {{"limit", limit}}), "<record>"), 1000)
          << c.function << ": a blank limit writes every row";
    }
    Harness h;
    h.db->answer({ManyRows(c.columns, 1000)});
    const std::string reply = Call(h, c.function, {{"limit", "Y"}});
    ASSERT_TRUE(reply.ends_with(c.sentinel)) << c.function;
    const std::string records = reply.substr(0, reply.size() - std::string(c.sentinel).size());
    const size_t last_record = records.rfind("<record>");
    EXPECT_GT(records.size() + 1, 16383u) << c.function << ": the record that passes is kept";
    EXPECT_LE(last_record + 1, 16383u) << c.function << ": no record after the one that passes";
    EXPECT_EQ(Count(reply, "<Too many records>"), 1) << c.function;

    h.db->answer({ManyRows(c.columns, 10)});
    EXPECT_EQ(Count(Call(h, c.function, {{"limit", "Y"}}), "Too many"), 0)
        << c.function << ": a short reply carries no limit record";
  }
}

TEST(LocationEnquiries, ItemLocationsSplitThePalletLabel) {
  Harness h;
  h.db->answer(
      {Rows({"Status", "qty", "uom", "pallet", "location", "warehouse"},
            {{T("AVAILABLE"), Value::decimal("120"), T("EA"), T("P0000017"), T("A-01-1"), T("W1")},
             {T("AVAILABLE"), Value::decimal("12"), T("EA"), Value::null(), T("P-01"), T("W1")},
             {T("HOLD"), Value::decimal("2.5"), T("EA"), T("X"), T("D-20-3"), T("W1")}})});
  EXPECT_EQ(Call(h, "rf_get_item_locations", {}),
            "<record>W1\tA-01-1\tP000001\t7\tEA\t120\tAVAILABLE\t</record>"
            "<record>W1\tP-01\t\t\tEA\t12\tAVAILABLE\t</record>"
            "<record>W1\tD-20-3\t\tX\tEA\t2.5\tHOLD\t</record>")
      << "loose stock has two empty pallet parts; a one-character label is all check character";
}

TEST(LocationEnquiries, ItemLocations2SameProcedureOwnReply) {
  Harness h;
  h.db->answer({Rows({"warehouse", "location", "pallet", "uom", "qty", "Status", "grade"},
                     {{T("W1"), T("A-01-1"), T("P0000017"), T("EA"), Value::decimal("120"),
                       T("AVAILABLE"), T("A")}})});
  EXPECT_EQ(Call(h, "rf_get_item_locations2", {{"item_no", "A1001"}}),
            "<record><warehouse>W1</warehouse><location>A-01-1</location>"
            "<pallet>P0000017</pallet><uom>EA</uom><qty>120</qty><status>AVAILABLE</status>"
            "</record>");
  EXPECT_EQ(h.db->statements.back(), "rf_get_item_locations Null, Null,  N'A1001'");
}

TEST(LocationEnquiries, ItemLocationsGradeWritesMarkedColumnsInResultOrder) {
  Harness h;
  h.db->answer({Rows(
      {"item_no", "Location", " WAREHOUSE ", "Grade", "qty", "lines", "uom", "status", "pallet"},
      {{T("A1003"), T("D-20-3"), T("W1"), T("B"), Value::decimal("12"), Value::int64(1), T("EA"),
        T("HOLD"), T("P0001037")},
       {T("A1003"), T("A-03-1"), T("W1"), T("A"), Value::decimal("120"), Value::int64(2), T("EA"),
        T("AVAILABLE"), Value::null()}})});
  EXPECT_EQ(Call(h, "rf_get_item_locations_grade", {}),
            "<record><Location>D-20-3</Location>< WAREHOUSE >W1</ WAREHOUSE ><Grade>B</Grade>"
            "<qty>12</qty><uom>EA</uom><status>HOLD</status><pallet>P0001037</pallet></record>"
            "<record><Location>A-03-1</Location>< WAREHOUSE >W1</ WAREHOUSE ><Grade>A</Grade>"
            "<qty>120</qty><uom>EA</uom><status>AVAILABLE</status><pallet></pallet></record>")
      << "names matched trimmed and case-blind, written as the result gives them";

  h.db->answer({Texts({"warehouse", "qty"}, {})});
  EXPECT_EQ(Call(h, "rf_get_item_locations_grade", {}), "") << "no rows";
  h.db->fail(-2147217900, "Could not find stored procedure.");
  EXPECT_EQ(Call(h, "rf_get_item_locations_grade", {}), "") << "a failed statement";
  EXPECT_TRUE(h.failures.empty()) << "neither ends the handler with a failure";
}

}  // namespace
}  // namespace talwen
