// Serial numbers and warranties: statement texts, procedure inputs and reply shapes.
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

TEST(Serials, StatementTexts) {
  const SessionValues values = {
      {"limit", "Y"},         {"operator", "JOE"},        {"status", "ACTIVE"},
      {"mode", "ALL"},        {"search_value", "SO1001"}, {"search_field", "sales_order"},
      {"serial_no", "SN1"},   {"item", "A1010"},          {"item_no", "A1005"},
      {"pallet", "P0000093"}, {"client", "C01"}};
  const struct {
    const char* proves;
    const char* function;
    SessionValues values;
    std::string sql;
  } cases[] = {
      {"the trace passes the search field and value", "rf_get_serial_no", values,
       "rf_get_serial_no  N'C01',  N'A1005',  N'SN1',  N'sales_order',  N'SO1001'"},
      {"serial numbers read item_no without the item fallback",
       "rf_get_serial_no",
       {{"item", "A1010"}, {"serial_no", "SN1"}},
       "rf_get_serial_no Null, Null,  N'SN1', Null, Null"},
      {"warranty list with its mode", "rf_get_serial_warranty_nos", values,
       "rf_get_serial_warranty_nos  N'C01',  N'A1005',  N'ALL'"},
      {"serialised products", "rf_get_serial_products", values,
       "rf_get_serial_products  N'C01',  N'ALL',  N'ACTIVE',  N'JOE'"},
      {"available serials of a pallet", "rf_get_available_serial_nos", values,
       "rf_get_available_serial_nos  N'C01',  N'A1005',  N'P0000093'"},
  };
  for (const auto& c : cases) {
    Harness h;
    Call(h, c.function, c.values);
    EXPECT_EQ(h.db->statements, std::vector<std::string>{c.sql}) << c.proves;
  }
}

TEST(Serials, TraceList) {
  Harness h;
  // The fields in an order of their own, with a column the list does not read.
  h.db->answer(
      {Rows({"activity", "task_no", "works_order", "pallet", "delivery_date", "delivery_order",
             "line_no", "sales_order", "customer", "supplier", "receipt_date", "receipt_line",
             "receipt_no", "warranty_no", "serial_no", "status"},
            {{Value::int32(1), Value::int32(2), T("WO000002"), T("P0000093"), Value::null(),
              Value::null(), Value::int32(3), T("SO1001"), T("CUST001"), T("SUP005"),
              Value::date({2024, 2, 29}), Value::int32(4), T("R000001"), T("W1"), T("SN1"),
              T("INSTOCK")}})});
  EXPECT_EQ(Call(h, "rf_get_serial_no", {}),
            "<record><serial_no>SN1</serial_no><warranty_no>W1</warranty_no>"
            "<receipt_no>R000001</receipt_no><receipt_line>4</receipt_line>"
            "<receipt_date>2024-02-29</receipt_date><supplier>SUP005</supplier>"
            "<customer>CUST001</customer><so_no>SO1001</so_no><so_line>3</so_line>"
            "<do_no></do_no><delivery_date></delivery_date><pallet>P0000093</pallet>"
            "<wo_no>WO000002</wo_no><task_no>2</task_no><activity>1</activity></record>");

  h.db->answer({Texts({"serial_no", "warranty_no"}, {{"SN1", "W1"}})});
  EXPECT_EQ(Call(h, "rf_get_serial_no", {}), "") << "a missing field ends the handler";
  h.db->answer({Texts({"serial_no"}, {})});
  EXPECT_EQ(Call(h, "rf_get_serial_no", {}), "") << "an unknown serial number answers nothing";
}

TEST(Serials, WarrantyList) {
  Harness h;
  h.db->answer({Rows(
      {"location", "warehouse", "pallet", "receipt_date", "receipt_no", "warranty_no", "serial_no"},
      {{T("A-03-1"), T("W1"), T("P0000093"), T("2008-03-27"), T("R1"), T(""), T("SN2")}})});
  EXPECT_EQ(Call(h, "rf_get_serial_warranty_nos", {}),
            "<record><serial_no>SN2</serial_no><warranty_no></warranty_no>"
            "<receipt_no>R1</receipt_no><receipt_date>2008-03-27</receipt_date>"
            "<pallet>P0000093</pallet><warehouse>W1</warehouse><location>A-03-1</location>"
            "</record>");
}

// n warranty rows of about 150 characters each.
db::ResultSet WarrantyRows(int n) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < n; ++i) {
    rows.push_back({"SN" + std::to_string(100000 + i), "W", "R", "", "P", "W1", "A-01-1"});
  }
  return Texts(
      {"serial_no", "warranty_no", "receipt_no", "receipt_date", "pallet", "warehouse", "location"},
      rows);
}

TEST(Serials, ListingLimits) {
  const struct {
    const char* proves;
    const char* function;
    const char* limit;
    const char* marker;  // "" when the listing is not cut
  } cases[] = {
      {"a blank limit writes every serial", "rf_get_serial_no", "  ", ""},
      {"any non-blank limit cuts the trace", "rf_get_serial_no", "1",
       "<record><serial_no><Too many records></serial_no></record>"},
      {"the warranty list cuts for a lower-case y", "rf_get_serial_warranty_nos", "y",
       "<record><serial_no><Too many records></serial_no></record>"},
      {"the warranty list without a limit", "rf_get_serial_warranty_nos", "", ""},
      {"serialised products cut with the item_no marker", "rf_get_serial_products", "N",
       "<record><item_no><Too many records></item_no></record>"},
      {"serialised products without a limit", "rf_get_serial_products", " ", ""},
  };
  for (const auto& c : cases) {
    Harness h;
    db::ResultSet rows = WarrantyRows(400);
    if (std::string(c.function) == "rf_get_serial_no") {
      for (const char* extra :
           {"receipt_line", "supplier", "customer", "sales_order", "line_no", "delivery_order",
            "delivery_date", "works_order", "task_no", "activity"}) {
        rows.columns.push_back({extra, db::kTypeVarWChar});
        for (auto& row : rows.rows) row.push_back(Value::null());
      }
    }
    h.db->answer({rows});
    const std::string reply = Call(h, c.function, {{"limit", c.limit}});
    const std::string marker = c.marker;
    if (marker.empty()) {
      EXPECT_EQ(reply.find("Too many"), std::string::npos) << c.proves;
      EXPECT_NE(reply.find("SN100399"), std::string::npos) << c.proves << ": the last row is there";
      continue;
    }
    ASSERT_TRUE(reply.ends_with("</record>" + marker)) << c.proves;
    const std::string kept = reply.substr(0, reply.size() - marker.size());
    EXPECT_GT(kept.size(), 16382u) << c.proves;
    EXPECT_LE(kept.rfind("<record>"), 16382u) << c.proves;
  }
}

TEST(Serials, AvailableSerialNumbers) {
  Harness h;
  db::ResultSet set;
  set.columns = {{"serial_no", db::kTypeVarWChar},
                 {"receipt_date", db::kTypeDbDate},
                 {"warranty_end", db::kTypeDbTimeStamp},
                 {"qty", db::kTypeInteger}};
  set.rows = {
      {T("SN1"), Value::date({2024, 2, 29}), Value::null(), Value::int32(1)},
      {T("SN2"), T("1900-01-01"), Value::date({2025, 2, 28, 12, 0, 0}), Value::int32(39534)}};
  h.db->answer({set});
  EXPECT_EQ(Call(h, "rf_get_available_serial_nos", {}),
            "<record><serial_no>SN1</serial_no><receipt_date>2024-02-29</receipt_date>"
            "<warranty_end></warranty_end><qty>1</qty></record>"
            "<record><serial_no>SN2</serial_no><receipt_date></receipt_date>"
            "<warranty_end>2025-02-28</warranty_end><qty>39534</qty></record>")
      << "no count; date columns as dates, a number column as its number";

  h.db->fail(db::kErrorStatement, "no such procedure");
  EXPECT_EQ(Call(h, "rf_get_available_serial_nos", {}), "") << "errors are ignored";
  h.db->answer({Texts({"serial_no"}, {})});
  EXPECT_EQ(Call(h, "rf_get_available_serial_nos", {}), "");
  EXPECT_TRUE(h.failures.empty());
}

TEST(Serials, ProcedureInputs) {
  const struct {
    const char* function;
    std::vector<std::string> inputs;
    std::vector<Value> values;
  } cases[] = {
      {"rf_update_serial_warranty",
       {"@client", "@item_no", "@serial_no", "@warranty_no", "@operator"},
       {T("C01"), T("A1005"), T("SN1"), T("WR9"), T("JOE")}},
      {"rf_delete_serial_no",
       {"@client", "@item_no", "@serial_no", "@pallet", "@operator"},
       {T("C01"), T("A1005"), T("SN1"), T("P0000093"), T("JOE")}},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->procedure(c.function, c.inputs, {"@sqlstatus", "@sqlmsg"});
    h.db->answer(Answer{{}, {{"@sqlstatus", Value::int32(-3)}, {"@sqlmsg", T("Refused.")}}, {}});
    EXPECT_EQ(Call(h, c.function,
                   {{"operator", "JOE"},
                    {"pallet", "P0000093"},
                    {"warranty_no", "WR9"},
                    {"serial_no", "SN1"},
                    {"item", "A1010"},
                    {"item_no", "A1005"},
                    {"client", "C01"}}),
              "<sqlstatus>-3</sqlstatus><sqlmsg>Refused.</sqlmsg>")
        << c.function;
    ASSERT_EQ(h.db->calls.size(), 1u) << c.function;
    const std::vector<Value>& sent = h.db->calls[0].values;
    ASSERT_EQ(sent.size(), 8u) << c.function;
    EXPECT_EQ(std::vector<Value>(sent.begin() + 1, sent.begin() + 6), c.values) << c.function;
  }
}

}  // namespace
}  // namespace talwen
