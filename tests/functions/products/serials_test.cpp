// Serial numbers and warranties: statement texts, procedure inputs and reply shapes.
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
using testing::T;

// Argument order is the function index's (docs/function_index.md); here, that the serial
// number trace reads item_no alone.
TEST(Serials, TheTraceReadsItemNoWithoutTheItemFallback) {
  Harness h;
  Call(h, "rf_get_serial_no", {{"item", "A1010"}, {"serial_no", "SN1"}});
  EXPECT_EQ(h.db->statements,
            std::vector<std::string>{"rf_get_serial_no Null, Null,  N'SN1', Null, Null"});
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

}  // namespace
}  // namespace talwen
