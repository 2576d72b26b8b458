// Cycle counting: statement texts, procedure inputs and reply shapes.
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
using testing::Closed;
using testing::Harness;
using testing::Rows;
using testing::SessionValues;
using testing::T;
using testing::Texts;

// The session of one counted line, every key set.
SessionValues CountedLine() {
  return {{"operator", "JOE"},
          {"warehouse", "W1"},
          {"location", "A-01-1"},
          {"pallet", "P0000017"},
          {"client", "C01"},
          {"item_no", "A1001"},
          {"uom", "EA"},
          {"system_qty", "120"},
          {"count_qty", "118"},
          {"grade", "A"},
          {"stocktake_ref", "CC1"},
          {"rec_num", "1"},
          {"lot_no", "L1"},
          {"batch_no", "B1"},
          {"expiry_date", "2026-03-01"},
          {"prod_date", "2025-01-02"},
          {"mfg_date", "2024-12-31"},
          {"item_size", "S"},
          {"item_color", "RED"},
          {"item_class", "X"},
          {"owner", "O'Hara"}};
}

SessionValues With(SessionValues values, const std::string& key, const std::string& value) {
  for (auto& [k, v] : values) {
    if (k == key) v = value;
  }
  return values;
}

// Argument order is the function index's (docs/function_index.md); here, what a traced run
// with every key given does not show.
TEST(CycleCount, StatementTexts) {
  const struct {
    const char* proves;
    const char* function;
    SessionValues values;
    std::string sql;
  } cases[] = {
      {"an empty client is Null",
       "rf_update_rf_stkcount_location",
       {{"warehouse", "W1"}, {"location", "A-01-1"}, {"client", ""}, {"operator", "JOE"}},
       "rf_update_rf_stkcount_location  N'W1',  N'A-01-1', Null,  N'JOE'"},
      {"the production date falls back to mfg_date only when prod_date is empty",
       "rf_cc_update_cycle_count", With(CountedLine(), "prod_date", ""),
       "rf_cc_update_cycle_count  N'JOE', 'Y',  N'W1',  N'A-01-1',  N'P0000017',  N'C01',  "
       "N'A1001',  N'EA', 120, 118,  N'A',  N'CC1', 'CYCLECOUNT', 1,  N'L1',  N'B1',  "
       "N'2026-03-01',  N'2024-12-31',  N'S',  N'RED',  N'X',  N'O''Hara'"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({Texts({"sqlstatus", "sqlmsg"}, {{"0", "ok"}})});
    Call(h, c.function, c.values);
    EXPECT_EQ(h.db->statements, std::vector<std::string>{c.sql}) << c.proves;
  }
}

TEST(CycleCount, RecordsOfAllColumns) {
  for (const char* function : {"rf_cc_get_location_stock", "rf_update_rf_stkcount_location"}) {
    Harness h;
    h.db->answer(
        {Closed(), Rows({"rec_num", "Qty", "note"}, {{Value::int32(1), T("12"), Value::null()},
                                                     {Value::int32(2), T("0"), T("a<b")}})});
    EXPECT_EQ(Call(h, function, {}),
              "<record><rec_num>1</rec_num><Qty>12</Qty><note></note></record>"
              "<record><rec_num>2</rec_num><Qty>0</Qty><note>a<b</note></record>")
        << function << ": every row of the last result set with rows, names as given";

    h.db->answer({Texts({"sqlstatus", "sqlmsg"}, {})});
    EXPECT_EQ(Call(h, function, {}), "") << function << ": no rows, no reply";

    h.db->fail(db::kErrorStatement, "deadlock");
    EXPECT_EQ(Call(h, function, {}), "") << function << ": a failed statement is not reported";
    EXPECT_TRUE(h.failures.empty()) << function << ": " << h.last_failure();
  }
}

TEST(CycleCount, CheckLocationStatus) {
  Harness h;
  h.db->procedure("rf_check_location_status", {"@warehouse", "@location"},
                  {"@zone", "@sqlstatus", "@sqlmsg"});
  h.db->answer(Answer{{},
                      {{"@sqlstatus", Value::int32(0)},
                       {"@sqlmsg", T("Location may be counted.")},
                       {"@zone", T("BA")}},
                      {}});
  EXPECT_EQ(Call(h, "rf_check_location_status", {{"location", "A-01-1"}, {"warehouse", "W1"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Location may be counted.</sqlmsg><zone>BA</zone>");
  ASSERT_EQ(h.db->calls.size(), 1u);
  const std::vector<Value>& in = h.db->calls[0].values;
  ASSERT_EQ(in.size(), 6u);
  EXPECT_EQ(in[1], T("W1"));
  EXPECT_EQ(in[2], T("A-01-1"));
  EXPECT_EQ(in[3], T("")) << "the third input is the empty text";
  EXPECT_TRUE(h.db->statements.empty());

  h.db->answer(Answer{{}, {{"@sqlstatus", T("-2")}, {"@sqlmsg", T("Being counted.")}}, {}});
  EXPECT_EQ(Call(h, "rf_check_location_status", {}),
            "<sqlstatus>-2</sqlstatus><sqlmsg>Being counted.</sqlmsg><zone></zone>")
      << "a Null zone is written empty";
}

}  // namespace
}  // namespace talwen
