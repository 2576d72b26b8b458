// Received stock on its way into storage and moved about there, over HTTP through `talwen
// serve` on the reference PostgreSQL database: a checked-in receipt's pallets are listed for
// putaway, get a location and are put away with their tasks closed; one line is topped up into
// its pick face first; then an item is relocated by its record number, a quantity corrected,
// pallets relocated, a carton made, split, adjusted, listed and moved. After every step the
// stock lines and the stock journal in the database are checked; refused moves change nothing.
//
// The receipt (R900701 of client C01, purchase order PO9007, pallets P900701 and P900702,
// putaway works order WO900701) is written by SQL as check-in leaves a receipt: stock in status
// RECEIVING at the check-in station's receiving location, one putaway task per line, and each
// pallet's destination chosen by the putaway rules. Everything the test made is removed at the
// end and the stock numbering put back, so later tests find the database as it was.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/live_warehouse.h"

namespace talwen {
namespace {

using testing::Fields;
using testing::LiveWarehouse;

constexpr const char* kSetUp = R"SQL(
INSERT INTO purchase_order (client, order_no, supplier, warehouse, status, last_receipt_no, last_receipt,
                            received_by, maker)
VALUES ('C01', 'PO9007', 'SUP001', 'W1', 'CLOSED', 'R900701', current_date, 'JOE', 'JOE');
INSERT INTO purchase_order_line (client, order_no, line_no, item_no, uom, qty, qty_received, status, maker)
VALUES ('C01', 'PO9007', 1, 'A1007', 'EA', 96, 96, 'CLOSED', 'JOE'),
       ('C01', 'PO9007', 2, 'A1008', 'EA', 96, 96, 'CLOSED', 'JOE');
INSERT INTO receipt (client, receipt_no, warehouse, receipt_station, zone, receipt_type, receipt_date,
                     supplier, client_po_no, status, checked_in_by, checked_in_at, maker)
VALUES ('C01', 'R900701', 'W1', 'CHK1', 'RCV', 'PO', current_date, 'SUP001', 'PO9007', 'CHECKEDIN', 'JOE',
        localtimestamp(0), 'JOE');
SELECT ensure_pallet('P900701' || pallet_check_char('P900701'), 'C01', 'JOE'),
       ensure_pallet('P900702' || pallet_check_char('P900702'), 'C01', 'JOE');
INSERT INTO receipt_line (client, receipt_no, line_no, po_no, po_line_no, pallet, item_no, uom, qty, grade,
                          supplier, status, maker)
VALUES ('C01', 'R900701', 1, 'PO9007', 1, 'P900701' || pallet_check_char('P900701'), 'A1007', 'EA', 96, 'A',
        'SUP001', 'AVAILABLE', 'JOE'),
       ('C01', 'R900701', 2, 'PO9007', 2, 'P900702' || pallet_check_char('P900702'), 'A1008', 'EA', 96, 'A',
        'SUP001', 'AVAILABLE', 'JOE');
-- Check-in: each line becomes a RECEIVING stock line at RCV-01, journalled as a RECEIPT.
WITH made AS (
    INSERT INTO stock (client, item_no, warehouse, location, pallet, uom, qty, qty_rcvd, grade, supplier,
                       receipt_no, receipt_line, receipt_date, status, maker)
    SELECT rl.client, rl.item_no, 'W1', 'RCV-01', rl.pallet, rl.uom, rl.qty, rl.qty, rl.grade, rl.supplier,
           rl.receipt_no, rl.line_no, current_date, 'RECEIVING', 'JOE'
    FROM receipt_line rl
    WHERE rl.client = 'C01' AND rl.receipt_no = 'R900701'
    ORDER BY rl.line_no
    RETURNING rec_num, client, receipt_no, receipt_line)
UPDATE receipt_line rl SET rec_num = m.rec_num
FROM made m
WHERE rl.client = m.client AND rl.receipt_no = m.receipt_no AND rl.line_no = m.receipt_line;
INSERT INTO stock_movement (movement_type, client, item_no, rec_num, uom, qty, qty_before, qty_after,
                            warehouse_to, location_to, pallet_to, grade, reference, operator)
SELECT 'RECEIPT', s.client, s.item_no, s.rec_num, s.uom, s.qty, 0, s.qty, s.warehouse, s.location, s.pallet,
       s.grade, format('Receipt %s line %s', s.receipt_no, s.receipt_line), 'JOE'
FROM stock s
WHERE s.client = 'C01' AND s.receipt_no = 'R900701'
ORDER BY s.rec_num;
-- One putaway task per line.
INSERT INTO works_order (wo_no, movement_type, client, warehouse, area, order_no, priority, status, maker)
VALUES ('WO900701', 'PUTAWAY', 'C01', 'W1', 'RCV', 'R900701', 1, 'OPEN', 'JOE');
INSERT INTO task (wo_no, task_no, client, order_no, line_no, item_no, uom, qty, status)
SELECT 'WO900701', s.receipt_line, s.client, s.receipt_no, s.receipt_line, s.item_no, s.uom, s.qty, 'OPEN'
FROM stock s
WHERE s.client = 'C01' AND s.receipt_no = 'R900701';
INSERT INTO activity (wo_no, task_no, activity_no, movement_type, client, item_no, uom, qty, rec_num,
                      warehouse_from, location_from, area_from, pallet_from, warehouse_to, location_to,
                      receipt_no, receipt_line, status)
SELECT 'WO900701', s.receipt_line, 1, 'PUTAWAY', s.client, s.item_no, s.uom, s.qty, s.rec_num, 'W1', 'RCV-01',
       'RCV', s.pallet, 'W1', NULL, s.receipt_no, s.receipt_line, 'OPEN'
FROM stock s
WHERE s.client = 'C01' AND s.receipt_no = 'R900701';
-- Each pallet's destination by the putaway rules, one pallet after the other.
UPDATE activity a SET location_to = (pa_choose_location(a.pallet_from)).location
WHERE a.wo_no = 'WO900701' AND a.task_no = 1;
UPDATE activity a SET location_to = (pa_choose_location(a.pallet_from)).location
WHERE a.wo_no = 'WO900701' AND a.task_no = 2;
)SQL";

// Everything the test may have made, children first.
constexpr const char* kCleanUp = R"SQL(
DELETE FROM stock_movement m
WHERE m.rec_num IN (SELECT s.rec_num FROM stock s WHERE s.client = 'C01' AND s.receipt_no = 'R900701')
   OR m.rec_num_to IN (SELECT s.rec_num FROM stock s WHERE s.client = 'C01' AND s.receipt_no = 'R900701');
DELETE FROM works_order w WHERE w.wo_no = 'WO900701' OR (w.client = 'C01' AND w.order_no = 'R900701');
DELETE FROM stock s WHERE s.client = 'C01' AND s.receipt_no = 'R900701';
DELETE FROM carton c WHERE c.client = 'C01' AND c.carton_no LIKE 'CPA9007%';
DELETE FROM receipt r WHERE r.client = 'C01' AND r.receipt_no = 'R900701';
DELETE FROM purchase_order p WHERE p.client = 'C01' AND p.order_no = 'PO9007';
DELETE FROM pallet p WHERE p.pallet LIKE 'P90070%';
)SQL";

// The identity sequences whose numbers the replies show; put back after the test.
constexpr const char* kSequences[][2] = {{"stock", "rec_num"}, {"stock_movement", "movement_id"}};

std::string Status(const std::string& status, const std::string& message) {
  return "<sqlstatus>" + status + "</sqlstatus><sqlmsg>" + message + "</sqlmsg>";
}

class PutawayFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!LiveWarehouse::Available()) {
      GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    }
    wh_ = std::make_unique<LiveWarehouse>();
    wh_->Query(kCleanUp);  // what an interrupted run may have left
    for (const auto& [table, column] : kSequences) {
      saved_.push_back(
          wh_->Query("SELECT coalesce(last_value, 0) FROM pg_sequences WHERE "
                     "schemaname || '.' || sequencename = pg_get_serial_sequence('" +
                     std::string(table) + "', '" + column + "')"));
    }
    wh_->Query(kSetUp);
    pallet_a_ = wh_->Query("SELECT 'P900701' || pallet_check_char('P900701')");
    pallet_b_ = wh_->Query("SELECT 'P900702' || pallet_check_char('P900702')");
    line_a_ = RecNum("receipt_line = 1");
    line_b_ = RecNum("receipt_line = 2");
  }

  void TearDown() override {
    if (!wh_) return;
    wh_->Query(kCleanUp);
    for (size_t i = 0; i < std::size(kSequences); ++i) {
      const std::string table = kSequences[i][0], column = kSequences[i][1];
      const std::string last =
          "greatest(" + saved_[i] + ", (SELECT max(" + column + ") FROM " + table + "))";
      wh_->Query("SELECT setval(pg_get_serial_sequence('" + table + "', '" + column +
                 "'), greatest(" + last + ", 1), " + last + " > 0)");
    }
    EXPECT_EQ(wh_->Query("SELECT count(*) FROM stock WHERE receipt_no = 'R900701'"), "0");
    EXPECT_EQ(wh_->Query("SELECT count(*) FROM carton WHERE carton_no LIKE 'CPA9007%'"), "0");
  }

  std::string Post(Fields fields) {
    fields.emplace_back("operator", "JOE");
    return wh_->Post(fields);
  }

  // The rec_num of a stock line of the receipt.
  std::string RecNum(const std::string& condition) {
    return wh_->Query(
        "SELECT rec_num FROM stock WHERE client = 'C01' AND receipt_no = 'R900701' AND " +
        condition + " ORDER BY rec_num LIMIT 1");
  }

  // The receipt's stock lines that hold something, oldest first: item, place, pallet, carton,
  // quantity (booked), status.
  std::vector<std::string> Stock() {
    std::vector<std::string> lines;
    for (const auto& r : wh_->Rows(
             "SELECT item_no, warehouse || '/' || location, coalesce(pallet, '-'), "
             "coalesce(carton_no, '-'), qty || CASE WHEN qty_booked > 0 THEN '(' || qty_booked || "
             "')' ELSE '' END, status FROM stock WHERE client = 'C01' AND receipt_no = 'R900701' "
             "AND qty > 0 ORDER BY rec_num")) {
      lines.push_back(r[0] + " " + r[1] + " " + r[2] + " " + r[3] + " " + r[4] + " " + r[5]);
    }
    return lines;
  }

  // The stock journal of the receipt's lines, in order: type, quantity, from, to, reference.
  std::vector<std::string> Journal() {
    std::vector<std::string> lines;
    for (const auto& r :
         wh_->Rows("SELECT m.movement_type, m.qty, coalesce(m.location_from, '-'), "
                   "coalesce(m.location_to, '-'), m.reference FROM stock_movement m "
                   "WHERE m.rec_num IN (SELECT s.rec_num FROM stock s WHERE s.client = 'C01' AND "
                   "s.receipt_no = 'R900701') ORDER BY m.movement_id")) {
      lines.push_back(r[0] + " " + r[1] + " " + r[2] + ">" + r[3] + " " + r[4]);
    }
    return lines;
  }

  // Status of a putaway task, its quantity done, and its works order's status.
  std::string Task(int task_no) {
    const auto rows = wh_->Rows(
        "SELECT t.status, t.qty_done, w.status FROM task t JOIN works_order w USING (wo_no) "
        "WHERE t.wo_no = 'WO900701' AND t.task_no = " +
        std::to_string(task_no));
    return rows.empty() ? "none" : rows[0][0] + " " + rows[0][1] + " / " + rows[0][2];
  }

  // A bulk location of W1 that is empty and that no open work is headed to, other than those
  // given: the last such one by name.
  std::string FreeBulkLocation(const std::string& except) {
    return wh_->Query(
        "SELECT l.location FROM location l WHERE l.warehouse = 'W1' AND l.location_type = "
        "'BULK' AND l.status = 'ACTIVE' AND l.location NOT IN (" +
        except +
        ") AND NOT EXISTS (SELECT 1 FROM stock s WHERE s.warehouse = l.warehouse AND "
        "s.location = l.location AND s.qty > 0) AND NOT EXISTS (SELECT 1 FROM activity a WHERE "
        "a.warehouse_to = l.warehouse AND a.location_to = l.location AND a.status IN ('OPEN', "
        "'ASSIGNED', 'INPROGRESS')) ORDER BY l.location DESC LIMIT 1");
  }

  std::unique_ptr<LiveWarehouse> wh_;
  std::vector<std::string> saved_;
  std::string pallet_a_, pallet_b_;  // stored labels, with their check character
  std::string line_a_, line_b_;      // rec_num of the received lines
};

TEST_F(PutawayFlow, ReceivedStockIsPutAwayToppedUpAndMovedAbout) {
  // After check-in: both pallets wait at the dock, each with a destination reserved by the
  // putaway rules: an empty bulk slot in the zone where the product is already stored.
  ASSERT_EQ(Stock(), (std::vector<std::string>{
                         "A1007 W1/RCV-01 " + pallet_a_ + " - 96 RECEIVING",
                         "A1008 W1/RCV-01 " + pallet_b_ + " - 96 RECEIVING",
                     }));
  const std::string to_a =
      wh_->Query("SELECT location_to FROM activity WHERE wo_no = 'WO900701' AND task_no = 1");
  const std::string to_b =
      wh_->Query("SELECT location_to FROM activity WHERE wo_no = 'WO900701' AND task_no = 2");
  ASSERT_FALSE(to_a.empty());
  ASSERT_FALSE(to_b.empty());
  EXPECT_NE(to_a, to_b);
  for (const std::string& to : {to_a, to_b}) {
    EXPECT_EQ(wh_->Query("SELECT location_type || ' ' || zone || ' ' || (SELECT count(*) FROM "
                         "stock s WHERE s.warehouse = 'W1' AND s.location = l.location AND "
                         "s.qty > 0) FROM location l WHERE warehouse = 'W1' AND location = '" +
                         to + "'"),
              "BULK BA 0")
        << to;
  }

  // The putaway list shows each pallet without its check character.
  const auto listed = [&](const std::string& pallet, const std::string& to) {
    return "<record><pallet_no>" + pallet + "</pallet_no><warehouse_to>W1</warehouse_to>" +
           "<location_to>" + to + "</location_to><wo_no>WO900701</wo_no>" +
           "<receipt_no>R900701</receipt_no><assigned_to></assigned_to></record>";
  };
  std::string list = Post({{"function", "rf_get_putaway_pallet"}});
  EXPECT_NE(list.find(listed("P900701", to_a) + listed("P900702", to_b)), std::string::npos)
      << list;

  // Pallet A straight from the receipt: locations allocated for its pallets (the reserved
  // ones stay), the pallet's found, a full slot refused, then the pallet put away into its
  // slot, which closes its task.
  EXPECT_EQ(Post({{"function", "rf_receipt_allocate_putaway_location"},
                  {"client", "C01"},
                  {"receipt_no", "R900701"}}),
            Status("0", "2 pallets of receipt R900701 have a putaway location.") +
                "<pallets>2</pallets><allocated>2</allocated>");
  EXPECT_EQ(Post({{"function", "rf_receipt_find_putaway_location"},
                  {"client", "C01"},
                  {"receipt_no", "R900701"},
                  {"pallet_no", "P900701"}}),
            "<warehouse>W1</warehouse><location>" + to_a + "</location>" +
                Status("0", "Put pallet " + pallet_a_ + " away to W1/" + to_a + "."));
  const Fields putaway_a = {{"function", "rf_receipt_pallet_putaway"},
                            {"client", "C01"},
                            {"receipt_no", "R900701"},
                            {"pallet_no", "P900701"},
                            {"warehouse", "W1"}};
  Fields into_full = putaway_a, into_slot = putaway_a;
  into_full.emplace_back("location", "A-01-1");
  into_slot.emplace_back("location", to_a);
  EXPECT_EQ(Post(into_full),
            Status("-5", "Location W1/A-01-1 is full: it holds or expects 1 of its 1 pallets."));
  EXPECT_EQ(Stock()[0], "A1007 W1/RCV-01 " + pallet_a_ + " - 96 RECEIVING");
  EXPECT_EQ(Post(into_slot), Status("0", "Pallet " + pallet_a_ + " put away to W1/" + to_a + "."));
  EXPECT_EQ(Stock(), (std::vector<std::string>{
                         "A1007 W1/" + to_a + " " + pallet_a_ + " - 96 AVAILABLE",
                         "A1008 W1/RCV-01 " + pallet_b_ + " - 96 RECEIVING",
                     }));
  EXPECT_EQ(Task(1), "COMPLETED 96 / OPEN");
  list = Post({{"function", "rf_get_putaway_pallet"}});
  EXPECT_EQ(list.find("P900701"), std::string::npos) << list;
  EXPECT_NE(list.find(listed("P900702", to_b)), std::string::npos) << list;

  // Line 2 (pallet B): its item's pick face, topped up with 60 of the 96; 40 more than the
  // 36 left is refused.
  const std::string face = "<record><warehouse>W1</warehouse><location>P-08</location></record>";
  EXPECT_EQ(Post({{"function", "rf_get_item_pickface"},
                  {"warehouse", "W1"},
                  {"client", "C01"},
                  {"item_no", "A1008"}}),
            face);
  EXPECT_EQ(Post({{"function", "rf_get_item_topup_location"},
                  {"warehouse", "W1"},
                  {"client", "C01"},
                  {"item", "A1008"}}),
            face);
  const Fields topup = {{"function", "rf_receipt_topup_putaway"},
                        {"client", "C01"},
                        {"receipt_no", "R900701"},
                        {"line_no", "2"},
                        {"item_no", "A1008"},
                        {"warehouse", "W1"},
                        {"location", "P-08"}};
  Fields sixty = topup, forty = topup;
  sixty.emplace_back("qty", "60");
  forty.emplace_back("qty", "40");
  EXPECT_EQ(Post(sixty), Status("0", "60 EA of A1008 from receipt line 2 topped up into P-08.") +
                             "<line_no>2</line_no>");
  EXPECT_EQ(Post(forty), Status("-4", "Cannot move 40 EA of A1008: stock line " + line_b_ +
                                          " has only 36 EA available.") +
                             "<line_no></line_no>");
  EXPECT_EQ(Stock(), (std::vector<std::string>{
                         "A1007 W1/" + to_a + " " + pallet_a_ + " - 96 AVAILABLE",
                         "A1008 W1/RCV-01 " + pallet_b_ + " - 36 RECEIVING",
                         "A1008 W1/P-08 - - 60 AVAILABLE",
                     }));
  EXPECT_EQ(wh_->Query("SELECT pa_face_qty('W1', 'P-08', 'C01', 'A1008', 'EA')"), "108");
  EXPECT_EQ(Task(2), "OPEN 0 / OPEN");

  // The rest of pallet B: still listed, its location (the reserved one, asked twice: it
  // stays), pallet A's slot refused, then put away into its own; the task stays open until it
  // is closed for the 36 the pallet brought (not for the 40 it did not).
  list = Post({{"function", "rf_get_putaway_pallet"}});
  EXPECT_NE(list.find(listed("P900702", to_b)), std::string::npos) << list;
  const std::string where_b =
      "<warehouse_to>W1</warehouse_to><location_to>" + to_b + "</location_to>";
  EXPECT_EQ(Post({{"function", "rf_get_putaway_pallet_location"}, {"pallet", "P900702"}}),
            Status("0", "Put pallet " + pallet_b_ + " away to W1/" + to_b + ".") + where_b);
  EXPECT_EQ(Post({{"function", "rf_get_putaway_pallet_location2"},
                  {"client", "C01"},
                  {"pallet_no", "P900702"}}),
            Status("0", "Put pallet " + pallet_b_ + " away to W1/" + to_b + ".") + where_b);
  EXPECT_EQ(
      Post({{"function", "rf_putaway_stock_movements_pallet"},
            {"pallet", "P900702"},
            {"warehouse_to", "W1"},
            {"location_to", to_a}}),
      Status("-5", "Location W1/" + to_a + " is full: it holds or expects 1 of its 1 pallets."));
  EXPECT_EQ(Post({{"function", "rf_putaway_stock_movements_pallet2"},
                  {"client", "C01"},
                  {"pallet_no", "P900702"},
                  {"warehouse_to", "W1"},
                  {"location_to", to_b}}),
            Status("0", "Pallet " + pallet_b_ + " put away to W1/" + to_b + "."));
  EXPECT_EQ(Stock(), (std::vector<std::string>{
                         "A1007 W1/" + to_a + " " + pallet_a_ + " - 96 AVAILABLE",
                         "A1008 W1/" + to_b + " " + pallet_b_ + " - 36 AVAILABLE",
                         "A1008 W1/P-08 - - 60 AVAILABLE",
                     }));
  EXPECT_EQ(Task(2), "OPEN 0 / OPEN");
  list = Post({{"function", "rf_get_putaway_pallet"}});
  EXPECT_EQ(list.find("R900701"), std::string::npos) << list;

  const Fields close = {{"function", "rf_close_putaway_task"},
                        {"wo_no", "WO900701"},
                        {"task_no", "2"},
                        {"pallet", "P900702"},
                        {"warehouse", "W1"},
                        {"location", to_b}};
  Fields close40 = close, close36 = close;
  close40.emplace_back("qty", "40");
  close36.emplace_back("qty", "36");
  EXPECT_EQ(Post(close40), Status("-4",
                                  "Cannot close putaway task WO900701/2 for 40 EA: the task "
                                  "has 36 EA to put away."));
  EXPECT_EQ(Post(close36),
            Status("0", "Putaway task WO900701/2 closed: 36 EA of A1008 in W1/" + to_b + "."));
  EXPECT_EQ(Task(1), "COMPLETED 96 / COMPLETED");
  EXPECT_EQ(Task(2), "COMPLETED 96 / COMPLETED") << "the top-up and the pallet both count";
  EXPECT_EQ(Post(close36), Status("-3", "Putaway task WO900701/2 is already closed."));
  EXPECT_EQ(wh_->Rows("SELECT line_no, qty_received, qty_putaway FROM purchase_order_line "
                      "WHERE client = 'C01' AND order_no = 'PO9007' ORDER BY line_no"),
            (std::vector<std::vector<std::string>>{{"1", "96", "96"}, {"2", "96", "96"}}));

  // An item relocated by its record number: 24 of pallet A's 96 into the pick face, loose.
  // Then 100 of the 72 left is refused and changes nothing.
  const Fields relocate = {{"function", "rf_item_relocation"},
                           {"pallet", "P900701"},
                           {"warehouse", "W1"},
                           {"location", to_a},
                           {"destination", "P-07"},
                           {"client", "C01"},
                           {"item_no", "A1007"},
                           {"rec_num", line_a_},
                           {"uom", "EA"}};
  Fields move24 = relocate, move100 = relocate;
  move24.emplace_back("qty", "24");
  move100.emplace_back("qty", "100");
  EXPECT_EQ(Post(move24), Status("0", "24 EA of A1007 moved from " + to_a + " to P-07."));
  const std::vector<std::string> after_move = {
      "A1007 W1/" + to_a + " " + pallet_a_ + " - 72 AVAILABLE",
      "A1008 W1/" + to_b + " " + pallet_b_ + " - 36 AVAILABLE",
      "A1008 W1/P-08 - - 60 AVAILABLE",
      "A1007 W1/P-07 - - 24 AVAILABLE",
  };
  EXPECT_EQ(Stock(), after_move);
  const size_t journalled = Journal().size();
  EXPECT_EQ(Post(move100), Status("-4", "Cannot move 100 EA of A1007: stock line " + line_a_ +
                                            " has only 72 EA available."));
  EXPECT_EQ(Stock(), after_move);
  EXPECT_EQ(Journal().size(), journalled);

  // A quantity corrected with its document reference: 72 found to be 70.
  EXPECT_EQ(Post({{"function", "rf_update_pallet_location_qty"},
                  {"rec_num", line_a_},
                  {"new_qty", "70"},
                  {"docref", "ADJ-9007"}}),
            Status("0", "Stock line " + line_a_ + " corrected from 72 EA to 70 EA (ADJ-9007)."));
  EXPECT_EQ(Stock()[0], "A1007 W1/" + to_a + " " + pallet_a_ + " - 70 AVAILABLE");

  // Pallets relocated: A to a free slot; B into A's new slot is refused (one pallet per
  // slot), then B to another free slot.
  const std::string slot_a = FreeBulkLocation("'" + to_a + "', '" + to_b + "'");
  const std::string slot_b = FreeBulkLocation("'" + to_a + "', '" + to_b + "', '" + slot_a + "'");
  ASSERT_FALSE(slot_a.empty());
  ASSERT_FALSE(slot_b.empty());
  EXPECT_EQ(Post({{"function", "rf_pallet_relocation"},
                  {"pallet", "P900701"},
                  {"warehouse", "W1"},
                  {"location", slot_a}}),
            Status("0", "Pallet " + pallet_a_ + " moved to W1/" + slot_a + " (1 stock line)."));
  EXPECT_EQ(
      Post({{"function", "rf_location_transfer"},
            {"pallet", "P900702"},
            {"warehouse", "W1"},
            {"destination", slot_a}}),
      Status("-5", "Location W1/" + slot_a + " is full: it holds or expects 1 of its 1 pallets."));
  EXPECT_EQ(Post({{"function", "rf_location_transfer"},
                  {"pallet", "P900702"},
                  {"warehouse", "W1"},
                  {"destination", slot_b}}),
            Status("0", "Pallet " + pallet_b_ + " moved from " + to_b + " to " + slot_b +
                            " (1 stock line)."));
  EXPECT_EQ(Stock(), (std::vector<std::string>{
                         "A1007 W1/" + slot_a + " " + pallet_a_ + " - 70 AVAILABLE",
                         "A1008 W1/" + slot_b + " " + pallet_b_ + " - 36 AVAILABLE",
                         "A1008 W1/P-08 - - 60 AVAILABLE",
                         "A1007 W1/P-07 - - 24 AVAILABLE",
                     }));

  // A carton packed from the loose stock in the pick face, split, the child adjusted; more
  // than the parent holds does not split.
  EXPECT_EQ(Post({{"function", "rf_create_carton"},
                  {"warehouse", "W1"},
                  {"location", "P-07"},
                  {"client", "C01"},
                  {"item_no", "A1007"},
                  {"qty", "20"},
                  {"uom", "EA"},
                  {"carton_no", "CPA9007"}}),
            Status("0", "Carton CPA9007 created with 20 EA of A1007.") +
                "<carton_no>CPA9007</carton_no>");
  EXPECT_EQ(Post({{"function", "rf_split_carton"},
                  {"client", "C01"},
                  {"parent_carton_no", "CPA9007"},
                  {"child_carton_no", "CPA9007A"},
                  {"child_qty", "8"}}),
            Status("0", "8 EA of A1007 moved from carton CPA9007 to carton CPA9007A; 12 EA left."));
  const std::string carton_line = RecNum("carton_no = 'CPA9007'");
  EXPECT_EQ(Post({{"function", "rf_split_carton"},
                  {"client", "C01"},
                  {"parent_carton_no", "CPA9007"},
                  {"child_carton_no", "CPA9007B"},
                  {"child_qty", "13"}}),
            Status("-4", "Cannot move 13 EA of A1007: stock line " + carton_line +
                             " has only 12 EA available."));
  EXPECT_EQ(wh_->Query("SELECT count(*) FROM carton WHERE client = 'C01' AND carton_no = "
                       "'CPA9007B'"),
            "0");
  EXPECT_EQ(Post({{"function", "rf_adjust_carton_qty"},
                  {"client", "C01"},
                  {"carton_no", "CPA9007A"},
                  {"qty", "6"}}),
            Status("0", "Carton CPA9007A adjusted from 8 to 6 EA."));
  EXPECT_EQ(Stock(), (std::vector<std::string>{
                         "A1007 W1/" + slot_a + " " + pallet_a_ + " - 70 AVAILABLE",
                         "A1008 W1/" + slot_b + " " + pallet_b_ + " - 36 AVAILABLE",
                         "A1008 W1/P-08 - - 60 AVAILABLE",
                         "A1007 W1/P-07 - - 4 AVAILABLE",
                         "A1007 W1/P-07 - CPA9007 12 AVAILABLE",
                         "A1007 W1/P-07 - CPA9007A 6 AVAILABLE",
                     }));

  // The contents of the cartons: the full item list of the parent, the enquiry of the child.
  const std::string items =
      Post({{"function", "rf_get_carton_items2"}, {"client", "C01"}, {"carton_no", "CPA9007"}});
  const std::string head =
      "<warehouse>W1</warehouse><location>P-07</location><record><rec_num>" + carton_line +
      "</rec_num><client>C01</client><item_no>A1007</item_no>"
      "<description>Extension Lead 4-way</description><uom>EA</uom><qty_avail>12</qty_avail>"
      "<grade>A</grade><lot_no></lot_no><batch_no></batch_no><expiry_date></expiry_date>"
      "<line_no>1</line_no><supplier>SUP001</supplier><owner></owner><prod_date></prod_date>";
  EXPECT_EQ(items.substr(0, head.size()), head) << items;
  EXPECT_NE(items.find("<status>AVAILABLE</status><maker>JOE</maker><last_update>"),
            std::string::npos)
      << items;
  const std::string tail = "<serial_no_flag>N</serial_no_flag><num_serial>0</num_serial></record>";
  ASSERT_GE(items.size(), tail.size());
  EXPECT_EQ(items.substr(items.size() - tail.size()), tail) << items;
  EXPECT_EQ(items.find("<record>", 1), items.find("<record>")) << "one stock line: " << items;

  const std::string child_line = RecNum("carton_no = 'CPA9007A'");
  const auto child = [&](const std::string& location) {
    return "<record><item_no>A1007</item_no><description>Extension Lead 4-way</description>"
           "<carton_no>CPA9007A</carton_no><parent_carton_no>CPA9007</parent_carton_no>"
           "<warehouse>W1</warehouse><location>" +
           location + "</location><pallet></pallet><rec_num>" + child_line +
           "</rec_num><uom>EA</uom><qty>6</qty><qty_avail>6</qty_avail><grade>A</grade>"
           "<lot_no></lot_no><batch_no></batch_no><expiry_date></expiry_date>"
           "<status>AVAILABLE</status></record>";
  };
  EXPECT_EQ(Post({{"function", "rf_query_carton"}, {"client", "C01"}, {"carton_no", "CPA9007A"}}),
            child("P-07"));

  // The child carton moved next to pallet A.
  EXPECT_EQ(Post({{"function", "rf_relocate_carton"},
                  {"client", "C01"},
                  {"carton_no", "CPA9007A"},
                  {"warehouse", "W1"},
                  {"location", slot_a}}),
            Status("0", "Carton CPA9007A moved to W1/" + slot_a + " (1 stock line)."));
  EXPECT_EQ(Post({{"function", "rf_query_carton"}, {"client", "C01"}, {"carton_no", "CPA9007A"}}),
            child(slot_a));

  // Nothing was lost or made on the way: what was received, less the two corrections.
  EXPECT_EQ(wh_->Rows("SELECT item_no, sum(qty) FROM stock WHERE client = 'C01' AND "
                      "receipt_no = 'R900701' GROUP BY item_no ORDER BY item_no"),
            (std::vector<std::vector<std::string>>{{"A1007", "92"}, {"A1008", "96"}}));
  // And every step is in the journal.
  EXPECT_EQ(Journal(), (std::vector<std::string>{
                           "RECEIPT 96 ->RCV-01 Receipt R900701 line 1",
                           "RECEIPT 96 ->RCV-01 Receipt R900701 line 2",
                           "PUTAWAY 96 RCV-01>" + to_a + " Putaway of receipt R900701",
                           "PUTAWAY 60 RCV-01>P-08 Top-up putaway of receipt R900701 line 2",
                           "PUTAWAY 36 RCV-01>" + to_b + " Putaway of receipt R900701",
                           "RELOCATE 24 " + to_a + ">P-07 Item relocation",
                           "ADJUST -2 " + to_a + ">- ADJ-9007",
                           "RELOCATE 70 " + to_a + ">" + slot_a + " Pallet relocation",
                           "RELOCATE 36 " + to_b + ">" + slot_b + " Location transfer",
                           "SPLIT 20 P-07>P-07 Carton created",
                           "SPLIT 8 P-07>P-07 Carton split from CPA9007",
                           "ADJUST -2 P-07>- Carton quantity adjusted on the handheld",
                           "RELOCATE 6 P-07>" + slot_a + " Carton relocation",
                       }));
}

}  // namespace
}  // namespace talwen
