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

// The trace and the warranty list: fixed tags, renamed where the field is not the tag.
TEST(Serials, TraceAndWarrantyLists) {
  const struct {
    const char* function;
    std::vector<const char*> parts;
  } cases[] = {
      {"rf_get_serial_no",
       {"<record><serial_no>serial_no</serial_no>", "<so_no>sales_order</so_no>",
        "<so_line>line_no</so_line><do_no>delivery_order</do_no>", "<wo_no>works_order</wo_no>",
        "<activity>activity</activity></record>"}},
      {"rf_get_serial_warranty_nos",
       {"<record><serial_no>serial_no</serial_no>", "<location>location</location></record>"}},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({testing::EchoRow(testing::ColumnsRead(c.function))});
    const std::string reply = Call(h, c.function, {});
    for (const char* part : c.parts) {
      EXPECT_NE(reply.find(part), std::string::npos) << c.function << ": " << part << "\n" << reply;
    }
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
