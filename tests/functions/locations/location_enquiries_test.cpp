// Contract tests of the location and item-location enquiries.
#include <gtest/gtest.h>

#include <map>
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

// Argument order is the function index's (docs/function_index.md); here, what a traced run
// with every key given does not show: missing keys, the item's two keys, trimming.
TEST(LocationEnquiries, StatementTexts) {
  const struct {
    const char* function;
    SessionValues session;
    const char* sql;
  } cases[] = {
      {"rf_get_location_serial_nos",
       {{"item", "A1005"}, {"item_no", "A1010"}},
       "rf_get_location_serial_nos Null, Null, Null,  N'A1010'"},
      {"rf_get_matching_location",
       {{"warehouse", "W1"}, {"location", " A-0 "}, {"limit", "Y"}},
       "get_matching_location  N'W1',  N'A-0'"},
      {"rf_get_item_locations_grade",
       {{"warehouse", ""}, {"client", "C01"}, {"item_no", "A1003"}},
       "rf_get_item_locations_grade Null,  N'C01',  N'A1003'"},
  };
  for (const auto& c : cases) {
    Harness h;
    EXPECT_EQ(Call(h, c.function, c.session), "") << c.function << ": no result set, no reply";
    EXPECT_EQ(h.db->statements, std::vector<std::string>{c.sql}) << c.function;
  }
}

// The fixed-tag listings, on a row whose every column holds its own name but for the values
// given: the tags not named as their column, dates through the ISO form, Null written empty.
TEST(LocationEnquiries, FixedTagListings) {
  const struct {
    const char* function;
    std::map<std::string, Value> values;
    std::vector<const char*> parts;
  } cases[] = {
      {"rf_get_location_items",
       {{"expiry_date", Date(2025, 3, 27)}, {"owner", Value::null()}},
       {"<record><rec_num>rec_num</rec_num>", "<pallet>pallet</pallet>",
        "<owner></owner><expiry_date>2025-03-27</expiry_date>",
        "<item_weight>item_weight</item_weight></record>"}},
      {"rf_get_location_cartons",
       {{"expiry_date", Value::null()}},
       {"<pallet_no>pallet_no</pallet_no>", "<expiry_date></expiry_date>",
        "<carton_no>carton_no</carton_no></record>"}},
      {"rf_get_item_recnums",
       {{"expiry_date", T("1900-01-01")}, {"receipt_date", T("2024-02-29")}},
       {"<status>Status</status>", "<expiry_date></expiry_date>",
        "<receipt_date>2024-02-29</receipt_date>"}},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({testing::EchoRow(testing::ColumnsRead(c.function), c.values)});
    const std::string reply = Call(h, c.function, {});
    for (const char* part : c.parts) {
      EXPECT_NE(reply.find(part), std::string::npos) << c.function << ": " << part << "\n" << reply;
    }
  }
}

TEST(LocationEnquiries, ListingsWriteEveryRowAndNothingForNone) {
  Harness h;
  h.db->answer(
      {Texts({"location", "zone", "area"}, {{"A-01-1", "BA", "BULK"}, {"A-01-2", "BA", ""}})});
  EXPECT_EQ(Call(h, "rf_get_matching_location", {}),
            "<record><location>A-01-1</location><zone>BA</zone></record>"
            "<record><location>A-01-2</location><zone>BA</zone></record>");
  h.db->answer({Texts({"Serial_No", "pallet"}, {{"SN1", "P1"}, {"SN2", ""}})});
  EXPECT_EQ(Call(h, "rf_get_location_serial_nos", {}),
            "<record><Serial_No>SN1</Serial_No><pallet>P1</pallet></record>"
            "<record><Serial_No>SN2</Serial_No><pallet></pallet></record>")
      << "records of all columns, names as the result gives them";
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
}

}  // namespace
}  // namespace talwen
