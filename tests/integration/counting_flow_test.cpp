// A cycle count over HTTP, through `talwen serve` on the reference PostgreSQL database: an
// operator checks a location, lists its stock, starts the count, counts a pallet line short and
// a carton whole, finishes the count, and the difference is in the stock and its journal.
//
// The test brings its own stock: a pallet line and a carton put in an empty bulk slot before
// the flow, and everything the count wrote removed afterwards (the identity sequences wound
// back), so the tests that follow find the demo database as it was. The settings come from
// scripts/db.sh env; without them the test is skipped.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/live_warehouse.h"

namespace talwen {
namespace {

using testing::Fields;
using testing::LiveWarehouse;
using testing::TagValue;

constexpr const char* kLocation = "C-19-1";  // an empty BULK slot of W1, zone BC
constexpr const char* kPallet = "P9000018";  // a label of our own, far past the sequence
constexpr const char* kCarton = "CTNCF1";    // a carton of our own
constexpr const char* kSequences[] = {"stock_rec_num_seq", "stock_movement_movement_id_seq",
                                      "count_line_count_line_id_seq"};

class CountingFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!LiveWarehouse::Available()) {
      GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    }
    wh_ = std::make_unique<LiveWarehouse>();
    ASSERT_EQ(wh_->Query("SELECT count(*) FROM stock WHERE warehouse = 'W1' AND location = '" +
                         std::string(kLocation) + "'"),
              "0")
        << kLocation << " must be empty for this test";
    ASSERT_EQ(wh_->Query("SELECT status FROM location WHERE warehouse = 'W1' AND location = '" +
                         std::string(kLocation) + "'"),
              "ACTIVE");
    ASSERT_EQ(
        wh_->Query("SELECT count(*) FROM pallet WHERE pallet = '" + std::string(kPallet) + "'"),
        "0");
    ASSERT_EQ(wh_->Query("SELECT pallet_check_char('P900001')"), "8");

    // What the tear-down puts back.
    for (const char* seq : kSequences) {
      const auto row = wh_->Rows(std::string("SELECT last_value, is_called FROM ") + seq);
      restore_ += std::string("SELECT setval('") + seq + "', " + row[0][0] + ", " +
                  (row[0][1] == "t" ? "true" : "false") + ");";
    }
    movements_ = wh_->Query("SELECT coalesce(max(movement_id), 0) FROM stock_movement");
    headers_ = wh_->Query("SELECT string_agg(quote_literal(stocktake_ref), ',') FROM count_header");
    if (headers_.empty()) headers_ = "''";
    const std::string last_count = wh_->Query(
        "SELECT coalesce(quote_literal(last_count_date), 'NULL') FROM location "
        "WHERE warehouse = 'W1' AND location = '" +
        std::string(kLocation) + "'");
    restore_ += "UPDATE location SET status = 'ACTIVE', last_count_date = " + last_count +
                " WHERE warehouse = 'W1' AND location = '" + kLocation + "';";
    set_up_ = true;

    // 20 cartons of A1003 on a pallet, and a carton of 24 A1004.
    wh_->Query(
        std::string("SELECT ensure_pallet('") + kPallet + "', 'C01', 'JOE');" +
        "INSERT INTO carton (client, carton_no, warehouse, location, maker) VALUES ('C01', '" +
        kCarton + "', 'W1', '" + kLocation + "', 'JOE')");
    pallet_line_ = wh_->Query(
        std::string("INSERT INTO stock (client, item_no, warehouse, location, pallet, uom, qty, "
                    "qty_rcvd, grade, status, maker) VALUES ('C01', 'A1003', 'W1', '") +
        kLocation + "', '" + kPallet +
        "', 'CTN', 20, 20, 'A', 'AVAILABLE', 'JOE') RETURNING rec_num");
    carton_line_ = wh_->Query(
        std::string("INSERT INTO stock (client, item_no, warehouse, location, carton_no, uom, qty, "
                    "qty_rcvd, grade, status, maker) VALUES ('C01', 'A1004', 'W1', '") +
        kLocation + "', '" + kCarton +
        "', 'EA', 24, 24, 'A', 'AVAILABLE', 'JOE') RETURNING rec_num");
  }

  void TearDown() override {
    if (!set_up_) return;
    const std::string here = std::string("warehouse = 'W1' AND location = '") + kLocation + "'";
    wh_->Query("DELETE FROM count_location WHERE " + here + ";" +
               "DELETE FROM count_header WHERE stocktake_ref NOT IN (" + headers_ + ");" +
               "DELETE FROM stock_movement WHERE movement_id > " + movements_ + ";" +
               "DELETE FROM stock WHERE " + here + ";" +
               "DELETE FROM carton WHERE client = 'C01' AND carton_no = '" + kCarton + "';" +
               "DELETE FROM pallet WHERE pallet = '" + kPallet + "';" + restore_);
  }

  // A call of the count pages: the location's keys first, then the call's own.
  std::string Post(const std::string& function, const Fields& fields = {}) {
    Fields all = {{"function", function},
                  {"warehouse", "W1"},
                  {"location", kLocation},
                  {"client", "C01"},
                  {"operator", "JOE"}};
    all.insert(all.end(), fields.begin(), fields.end());
    return wh_->Post(all);
  }

  // The stock lines of the location, as listed, with what has been counted so far.
  std::string StockList(const std::string& pallet_count, const std::string& carton_count,
                        const std::string& ref) const {
    return "<record><rec_num>" + pallet_line_ +
           "</rec_num><client>C01</client><item_no>A1003</item_no>"
           "<description>Adjustable Spanner 250mm</description><pallet>" +
           kPallet +
           "</pallet><carton_no></carton_no><uom>CTN</uom><system_qty>20</system_qty>"
           "<count_qty>" +
           pallet_count +
           "</count_qty><grade>A</grade><lot_no></lot_no><batch_no></batch_no>"
           "<expiry_date></expiry_date><prod_date></prod_date><item_size></item_size>"
           "<item_color></item_color><item_class></item_class><owner></owner>"
           "<status>AVAILABLE</status><stocktake_ref>" +
           ref + "</stocktake_ref></record><record><rec_num>" + carton_line_ +
           "</rec_num><client>C01</client><item_no>A1004</item_no>"
           "<description>Tape Measure 8m</description><pallet></pallet><carton_no>" +
           kCarton + "</carton_no><uom>EA</uom><system_qty>24</system_qty><count_qty>" +
           carton_count +
           "</count_qty><grade>A</grade><lot_no></lot_no><batch_no></batch_no>"
           "<expiry_date></expiry_date><prod_date></prod_date><item_size></item_size>"
           "<item_color></item_color><item_class></item_class><owner></owner>"
           "<status>AVAILABLE</status><stocktake_ref>" +
           ref + "</stocktake_ref></record>";
  }

  std::string StockQty(const std::string& rec_num) {
    return wh_->Query("SELECT qty FROM stock WHERE rec_num = " + rec_num);
  }

  std::unique_ptr<LiveWarehouse> wh_;
  bool set_up_ = false;
  std::string restore_, movements_, headers_, pallet_line_, carton_line_;
};

TEST_F(CountingFlow, AnOperatorCountsALocationAndTheDifferenceIsBooked) {
  // The location may be counted, and holds a pallet line and a carton.
  EXPECT_EQ(Post("rf_check_location_status"),
            "<sqlstatus>0</sqlstatus><sqlmsg>Location C-19-1 in zone BC may be counted.</sqlmsg>"
            "<zone>BC</zone>");
  EXPECT_EQ(Post("rf_cc_get_location_stock"), StockList("", "", ""));

  // The count starts (the operator typed in lower case); the location is now taken.
  const std::string started = wh_->Post({{"function", "rf_initialise_rf_stkcount_location"},
                                         {"warehouse", "W1"},
                                         {"location", kLocation},
                                         {"client", "C01"},
                                         {"operator", "joe"}});
  const std::string ref = TagValue(started, "stocktake_ref");
  ASSERT_FALSE(ref.empty()) << started;
  EXPECT_EQ(started,
            "<record><sqlstatus>0</sqlstatus><sqlmsg>Count of C-19-1 started under "
            "stocktake " +
                ref + ". 2 stock lines to count.</sqlmsg><stocktake_ref>" + ref +
                "</stocktake_ref><zone>BC</zone><lines>2</lines></record>");
  EXPECT_EQ(wh_->Query("SELECT status FROM location WHERE warehouse = 'W1' AND location = '" +
                       std::string(kLocation) + "'"),
            "COUNTING");
  EXPECT_EQ(Post("rf_check_location_status"),
            "<sqlstatus>-5</sqlstatus><sqlmsg>Location C-19-1 is already being counted by JOE "
            "(stocktake " +
                ref + ").</sqlmsg><zone>BC</zone>");

  // The pallet line is two cartons short; the carton is counted whole.
  EXPECT_EQ(Post("rf_cc_update_cycle_count", {{"pallet", kPallet},
                                              {"item_no", "A1003"},
                                              {"uom", "CTN"},
                                              {"system_qty", "20"},
                                              {"count_qty", "18"},
                                              {"grade", "A"},
                                              {"stocktake_ref", ref},
                                              {"rec_num", pallet_line_}}),
            "<record><sqlstatus>0</sqlstatus><sqlmsg>Counted 18 CTN of A1003 on record " +
                pallet_line_ + ": the system holds 20 (difference -2).</sqlmsg><counted_rec_num>" +
                pallet_line_ +
                "</counted_rec_num><counted_uom>CTN</counted_uom><held_qty>20</held_qty>"
                "<counted_qty>18</counted_qty><difference>-2</difference></record>");
  EXPECT_EQ(Post("rf_update_rf_stkcount_carton", {{"carton_no", kCarton}}),
            std::string("<record><sqlstatus>0</sqlstatus><sqlmsg>Carton CTNCF1 counted: 1 line, "
                        "24 units, for stocktake ") +
                ref + ".</sqlmsg><carton>CTNCF1</carton><lines>1</lines><qty>24</qty></record>");
  EXPECT_EQ(Post("rf_cc_get_location_stock"), StockList("18", "24", ref));
  EXPECT_EQ(StockQty(pallet_line_), "20") << "the stock changes only when the count is finished";
  EXPECT_EQ(wh_->Query("SELECT count(*) FROM stock_movement WHERE rec_num IN (" + pallet_line_ +
                       ", " + carton_line_ + ")"),
            "0");

  // The count is finished: the shortage is booked, the carton stays as it was.
  EXPECT_EQ(Post("rf_update_rf_stkcount_location"),
            "<record><sqlstatus>0</sqlstatus><sqlmsg>Count of C-19-1 finished for stocktake " +
                ref + ": 2 lines counted, 1 adjusted.</sqlmsg><stocktake_ref>" + ref +
                "</stocktake_ref><lines_counted>2</lines_counted><lines_adjusted>1"
                "</lines_adjusted></record>");
  EXPECT_EQ(StockQty(pallet_line_), "18");
  EXPECT_EQ(StockQty(carton_line_), "24");
  EXPECT_EQ(wh_->Rows("SELECT movement_type, rec_num, item_no, uom, qty, qty_before, qty_after, "
                      "location_from, pallet_from, reason_code, reference, operator "
                      "FROM stock_movement WHERE rec_num IN (" +
                      pallet_line_ + ", " + carton_line_ + ") ORDER BY movement_id"),
            (std::vector<std::vector<std::string>>{{"COUNT", pallet_line_, "A1003", "CTN", "-2",
                                                    "20", "18", kLocation, kPallet, "CNT",
                                                    "CYCLECOUNT " + ref, "JOE"}}));
  EXPECT_EQ(wh_->Rows("SELECT status, client, started_by, finished_by FROM count_location "
                      "WHERE stocktake_ref = '" +
                      ref + "' AND warehouse = 'W1' AND location = '" + kLocation + "'"),
            (std::vector<std::vector<std::string>>{{"COUNTED", "C01", "JOE", "JOE"}}));
  EXPECT_EQ(wh_->Rows("SELECT rec_num, system_qty, count_qty, adjusted FROM count_line "
                      "WHERE stocktake_ref = '" +
                      ref + "' AND location = '" + kLocation + "' ORDER BY count_line_id"),
            (std::vector<std::vector<std::string>>{{pallet_line_, "20", "18", "t"},
                                                   {carton_line_, "24", "24", "f"}}));
  EXPECT_EQ(wh_->Query("SELECT status || ' ' || (last_count_date IS NOT NULL) FROM location "
                       "WHERE warehouse = 'W1' AND location = '" +
                       std::string(kLocation) + "'"),
            "ACTIVE true");

  // The location is free again, and a second finish finds no count.
  EXPECT_EQ(Post("rf_check_location_status"),
            "<sqlstatus>0</sqlstatus><sqlmsg>Location C-19-1 in zone BC may be counted.</sqlmsg>"
            "<zone>BC</zone>");
  EXPECT_EQ(Post("rf_update_rf_stkcount_location"),
            "<record><sqlstatus>-3</sqlstatus><sqlmsg>Location C-19-1 is not being counted."
            "</sqlmsg><stocktake_ref></stocktake_ref><lines_counted>0</lines_counted>"
            "<lines_adjusted>0</lines_adjusted></record>");

  // The next cycle counts the location again, under a stocktake of its own: the lines of the
  // first count stand, and a count that matches books nothing.
  const std::string again = Post("rf_initialise_rf_stkcount_location");
  const std::string next_ref = TagValue(again, "stocktake_ref");
  EXPECT_EQ(TagValue(again, "sqlstatus"), "0") << again;
  EXPECT_NE(next_ref, ref);
  EXPECT_EQ(wh_->Query("SELECT count(*) FROM count_line WHERE stocktake_ref = '" + ref +
                       "' AND location = '" + kLocation + "'"),
            "2");
  EXPECT_EQ(TagValue(Post("rf_cc_update_cycle_count", {{"item_no", "A1003"},
                                                       {"uom", "EA"},
                                                       {"system_qty", "18"},
                                                       {"count_qty", "216"},
                                                       {"stocktake_ref", next_ref},
                                                       {"rec_num", pallet_line_}}),
                     "difference"),
            "0")
      << "216 EA are the 18 cartons of 12";
  EXPECT_EQ(TagValue(Post("rf_update_rf_stkcount_carton", {{"carton_no", kCarton}}), "sqlstatus"),
            "0");
  EXPECT_EQ(TagValue(Post("rf_update_rf_stkcount_location"), "lines_adjusted"), "0");
  EXPECT_EQ(StockQty(pallet_line_), "18");
  EXPECT_EQ(wh_->Query("SELECT count(*) FROM stock_movement WHERE rec_num IN (" + pallet_line_ +
                       ", " + carton_line_ + ")"),
            "1");
}

}  // namespace
}  // namespace talwen
