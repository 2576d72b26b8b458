// An operator receives a delivery against an open purchase order over HTTP, through `talwen
// serve` on the reference database: a new receipt number, the header, scanned lines (a
// serial-controlled item with its serial numbers, one with user-defined fields, one corrected
// and one deleted), carton checks, the expected quantity of an item and the check-in. Stock,
// putaway tasks and the received quantities of the order are then checked in the database, and
// a second check-in is refused. The order is made for the test; what the test leaves behind is
// removed at the end and the receipt counter put back. Without the database settings
// (scripts/db.sh env) the test is skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "support/live_warehouse.h"

namespace talwen {
namespace {

using testing::Fields;
using testing::LiveWarehouse;
using testing::TagValue;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class ReceivingFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!LiveWarehouse::Available()) {
      GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    }
    wh_ = std::make_unique<LiveWarehouse>();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    tag_ = "T" + std::to_string(ms % 100000000);
    po_ = "PO-" + tag_;
    next_receipt_ = wh_->Query(
        "SELECT next_no FROM document_counter WHERE client = 'C01' AND doc_type = 'RECEIPT'");
    // An open order of C01 from supplier SUP004: a serial-controlled item and three others.
    wh_->Query(Fill(R"(
      INSERT INTO purchase_order (client, order_no, reference_no, supplier, warehouse, carrier,
                                  status, maker)
      VALUES ('C01', ':po', 'REF-:tag', 'SUP004', 'W1', 'BLUELINE', 'OPEN', 'JOE');
      INSERT INTO purchase_order_line (client, order_no, line_no, item_no, uom, qty, unit_price,
                                       currency)
      VALUES ('C01', ':po', 1, 'A1015', 'EA', 4, 19.50, 'USD'),
             ('C01', ':po', 2, 'A1016', 'EA', 20, 2.40, 'USD'),
             ('C01', ':po', 3, 'A1018', 'EA', 12, 6.80, 'USD'),
             ('C01', ':po', 4, 'A1001', 'EA', 6, 4.50, 'USD');)"));
  }

  void TearDown() override {
    if (!wh_) return;
    wh_->Query(Fill(R"(
      BEGIN;
      DELETE FROM works_order w WHERE w.client = 'C01' AND w.order_no = ':receipt';
      DELETE FROM serial_event e WHERE e.client = 'C01' AND e.serial_no LIKE 'SN:tag-%';
      DELETE FROM serial_number s WHERE s.client = 'C01' AND s.receipt_no = ':receipt';
      DELETE FROM stock_movement m USING stock s
      WHERE s.client = 'C01' AND s.receipt_no = ':receipt' AND m.rec_num = s.rec_num;
      DELETE FROM receipt_line l WHERE l.client = 'C01' AND l.receipt_no = ':receipt';
      DELETE FROM stock s WHERE s.client = 'C01' AND s.receipt_no = ':receipt';
      DELETE FROM receipt c WHERE c.client = 'C01' AND c.receipt_no = ':receipt';
      DELETE FROM carton c WHERE c.client = 'C01' AND c.carton_no = 'CT:tag';
      DELETE FROM pallet p WHERE p.pallet LIKE 'P:tag_';
      DELETE FROM purchase_order p WHERE p.client = 'C01' AND p.order_no = ':po';
      UPDATE document_counter d SET next_no = :next
      WHERE d.client = 'C01' AND d.doc_type = 'RECEIPT';
      COMMIT;)"));
    wh_.reset();
  }

  // The SQL text with :receipt, :tag, :po and :next replaced by this run's values.
  std::string Fill(std::string sql) const {
    const std::pair<std::string, std::string> values[] = {
        {":receipt", receipt_},
        {":tag", tag_},
        {":po", po_},
        {":next", next_receipt_.empty() ? "d.next_no" : next_receipt_}};
    for (const auto& [name, value] : values) {
      for (size_t at = sql.find(name); at != std::string::npos; at = sql.find(name, at)) {
        sql.replace(at, name.size(), value);
        at += value.size();
      }
    }
    return sql;
  }

  std::string Post(Fields fields) {
    fields.insert(fields.begin(), {"client", "C01"});
    fields.push_back({"operator", "JOE"});
    return wh_->Post(fields);
  }
  // A scanned line: the fields given, every other line field empty as the page sends it.
  Fields Line(const std::string& function, Fields given) {
    Fields fields = {{"function", function}, {"receipt_no", receipt_}};
    fields.insert(fields.end(), given.begin(), given.end());
    return fields;
  }
  std::string Status(const std::string& status, const std::string& message) {
    return "<sqlstatus>" + status + "</sqlstatus><sqlmsg>" + message + "</sqlmsg>";
  }

  std::unique_ptr<LiveWarehouse> wh_;
  std::string tag_, po_, receipt_;
  std::string next_receipt_;  // the client's receipt counter before the test, put back after
};

TEST_F(ReceivingFlow, AnOperatorReceivesADeliveryAgainstAnOpenPurchaseOrder) {
  const std::string pallet_a = "P" + tag_ + "A", pallet_b = "P" + tag_ + "B",
                    pallet_c = "P" + tag_ + "C", pallet_d = "P" + tag_ + "D";

  // What is expected, and where it is received.
  EXPECT_NE(Post({{"function", "rf_get_open_pos"}}).find("<po_no>" + po_ + "</po_no>"),
            std::string::npos);
  EXPECT_EQ(Count(Post({{"function", "rf_get_po"}, {"po_no", po_}, {"limit", ""}}), "<record>"),
            4u);
  EXPECT_EQ(wh_->Post({{"function", "rf_get_check_in_station"}, {"warehouse", "W1"}}),
            "<station>CHK1</station><station>CHK2</station>");

  // A new receipt number, then the header at check-in station CHK2.
  receipt_ = TagValue(Post({{"function", "rf_next_receipt_num"}}), "receipt_no");
  ASSERT_EQ(receipt_.rfind("R", 0), 0u) << receipt_;
  EXPECT_EQ(Post({{"function", "rf_check_in_header"},
                  {"receipt_no", receipt_},
                  {"warehouse", "W1"},
                  {"station", "CHK2"},
                  {"receipt_date", "06/12/2026"},
                  {"receipt_type", "PO"},
                  {"vehicle", "TRK-" + tag_},
                  {"client_po_no", po_},
                  {"receipt_ref_no", "DN-" + tag_},
                  {"remarks", ""}}),
            "<receipt_no>" + receipt_ + "</receipt_no>" +
                Status("0", "Receipt " + receipt_ + " created at station CHK2."));
  const std::string header =
      Post({{"function", "rf_get_receipt_master"}, {"receipt_no", ""}, {"receipt", receipt_}});
  EXPECT_EQ(TagValue(header, "supplier"), "SUP004") << header;
  EXPECT_EQ(TagValue(header, "receipt_date"), "2026-12-06") << header;
  EXPECT_EQ(TagValue(header, "remarks"), "Created through RF Terminal.") << header;

  // Line 1: two serial-controlled units, with their serial numbers (one scanned wrongly and
  // removed).
  EXPECT_EQ(Post(Line("rf_check_duplicate_receipt_detail", {{"line_no", "7"},
                                                            {"pallet", pallet_a},
                                                            {"item_no", ""},
                                                            {"item", "A1015"},
                                                            {"uom", "EA"},
                                                            {"qty", "2"}})),
            Status("0", "Line 1 stored: 2 EA of A1015 on pallet " + pallet_a + ".") +
                "<line_no>1</line_no>");
  const Fields serial = {
      {"function", "rf_update_receipt_serial"}, {"item_no", "A1015"}, {"receipt_no", receipt_},
      {"receipt_date", "2026-12-06"},           {"supplier", ""},     {"pallet", pallet_a}};
  auto with_serial = [&](Fields f, const std::string& sn) {
    f.push_back({"serial_no", sn});
    return f;
  };
  EXPECT_EQ(Post(with_serial(serial, "SN" + tag_ + "-1")),
            Status("0", "Serial number SN" + tag_ + "-1 recorded on receipt " + receipt_ +
                            " line 1 (1 of 2)."));
  EXPECT_EQ(Post({{"function", "rf_update_receipt_serial2"},
                  {"item_no", "A1015"},
                  {"serial_no", "SN" + tag_ + "-X"},
                  {"receipt_no", receipt_},
                  {"receipt_date", "06/12/2026"},
                  {"receipt_line", "1"}}),
            Status("0", "Serial number SN" + tag_ + "-X recorded on receipt " + receipt_ +
                            " line 1 (2 of 2)."));
  EXPECT_EQ(Post({{"function", "rf_remove_receipt_serial"},
                  {"item_no", "A1015"},
                  {"serial_no", "SN" + tag_ + "-X"},
                  {"receipt_no", receipt_}}),
            Status("0", "Serial number SN" + tag_ + "-X removed from receipt " + receipt_ + "."));
  EXPECT_EQ(Post(with_serial(serial, "SN" + tag_ + "-2")),
            Status("0", "Serial number SN" + tag_ + "-2 recorded on receipt " + receipt_ +
                            " line 1 (2 of 2)."));

  // Line 2 with user-defined fields, which are then added to; the same goods again are refused.
  const Fields line2 = {{"pallet", pallet_b},
                        {"item_no", "A1016"},
                        {"qty", "20"},
                        {"width", "12.5"},
                        {"user_defined", "colour=red;origin=FR"}};
  EXPECT_EQ(Post(Line("rf_check_duplicate_receipt_detail", line2)),
            Status("0", "Line 2 stored: 20 EA of A1016 on pallet " + pallet_b + ".") +
                "<line_no>2</line_no>");
  EXPECT_EQ(Post(Line("rf_check_duplicate_receipt_detail", line2)),
            Status("-30", "Duplicate line: pallet " + pallet_b +
                              " already holds 20 EA of A1016 on line 2; change that line "
                              "instead.") +
                "<line_no>2</line_no>");
  EXPECT_EQ(Post(Line("rf_update_receipt_detail_udf",
                      {{"line_no", "2"}, {"item_no", "A1016"}, {"user_defined", "inspected=yes"}})),
            Status("0", "User-defined fields of line 2 saved."));
  EXPECT_EQ(Post(Line("rf_receipt_item_udf", {{"item_no", "A1016"}})),
            "<record><line_no>2</line_no><item_no>A1016</item_no><pallet>" + pallet_b +
                "</pallet><qty>20</qty><uom>EA</uom><user_defined>inspected=yes</user_defined>"
                "<udf>colour=red;inspected=yes;origin=FR</udf></record>");

  // Line 3: more than the order expects is refused; then stored, then corrected.
  EXPECT_EQ(Post(Line("rf_check_duplicate_receipt_detail",
                      {{"pallet", pallet_c}, {"item_no", "A1018"}, {"qty", "15"}})),
            Status("-18", "Quantity 15 EA of A1018 is above the 12 EA that purchase order " + po_ +
                              " still expects.") +
                "<line_no></line_no>");
  EXPECT_EQ(Post(Line("rf_check_duplicate_receipt_detail",
                      {{"pallet", pallet_c}, {"item_no", "A1018"}, {"qty", "10"}})),
            Status("0", "Line 3 stored: 10 EA of A1018 on pallet " + pallet_c + ".") +
                "<line_no>3</line_no>");
  EXPECT_EQ(Post(Line("rf_update_receiptdetail", {{"line_no", "3"},
                                                  {"po_no", po_},
                                                  {"pallet", pallet_c},
                                                  {"item_no", "A1018"},
                                                  {"qty", "12"},
                                                  {"asn_line_no", ""}})),
            Status("0", "Line 3 updated: 12 EA of A1018 on pallet " + pallet_c + ".") +
                "<line_no>3</line_no>");

  // Line 4, scanned by mistake and deleted.
  EXPECT_EQ(Post(Line("rf_check_duplicate_receipt_detail",
                      {{"pallet", pallet_d}, {"item_no", "A1001"}, {"qty", "6"}})),
            Status("0", "Line 4 stored: 6 EA of A1001 on pallet " + pallet_d + ".") +
                "<line_no>4</line_no>");
  EXPECT_EQ(
      Post({{"function", "rf_delete_receipt_line"}, {"receipt_no", receipt_}, {"line_no", "4"}}),
      Status("0", "Line 4 (6 EA of A1001) deleted from receipt " + receipt_ + "."));

  // Cartons: one announced with the delivery passes the check, an unknown one does not.
  wh_->Query(
      "INSERT INTO receipt_line (client, receipt_no, line_no, carton_no, item_no, uom, qty, "
      "supplier, maker) VALUES ('C01', '" +
      receipt_ + "', 9, 'CT" + tag_ + "', 'A1002', 'EA', 6, 'SUP004', 'JOE')");
  EXPECT_EQ(
      Post({{"function", "rf_receipt_check_carton"},
            {"receipt_no", receipt_},
            {"carton_no", "CT" + tag_}}),
      Status("0", "Carton CT" + tag_ + " is expected on receipt " + receipt_ + ": 6 EA A1002."));
  EXPECT_EQ(Post({{"function", "rf_receipt_check_carton"},
                  {"receipt_no", receipt_},
                  {"carton_no", "CX" + tag_}}),
            Status("-14", "Carton CX" + tag_ + " is not expected on receipt " + receipt_ + "."));

  // What the receipt still expects of two items.
  EXPECT_EQ(Post({{"function", "rf_check_receipt_item_qty"},
                  {"receipt_no", receipt_},
                  {"item_no", "A1015"}}),
            "<qty>2</qty><uom>EA</uom><rm_status>OPEN</rm_status><serial_qty>0</serial_qty>");
  EXPECT_EQ(Post({{"function", "rf_check_receipt_item_qty"},
                  {"receipt_no", receipt_},
                  {"item_no", ""},
                  {"item", "A1018"}}),
            "<qty>0</qty><uom>EA</uom><rm_status>OPEN</rm_status><serial_qty>0</serial_qty>");
  EXPECT_EQ(
      Count(Post({{"function", "rf_get_receipt_detail3"}, {"receipt_no", receipt_}}), "<record>"),
      4u);

  // Check-in.
  const std::string checkin = Post({{"function", "rf_receipt_checkin"}, {"receipt_no", receipt_}});
  const std::string done = "<sqlstatus>0</sqlstatus><sqlmsg>Receipt " + receipt_ +
                           " checked in: 4 lines on 3 pallets at RCV-02, putaway works order ";
  ASSERT_EQ(checkin.rfind(done, 0), 0u) << checkin;
  const std::string closed = ". The receipt is closed.</sqlmsg>";
  EXPECT_EQ(checkin.substr(checkin.size() - closed.size()), closed) << checkin;
  const std::string wo = checkin.substr(done.size(), 8);

  // The stock, its serial numbers, the putaway tasks and the order's quantities.
  EXPECT_EQ(wh_->Rows("SELECT s.receipt_line::text, s.item_no, coalesce(s.pallet, '-'), "
                      "coalesce(s.carton_no, '-'), s.qty::text, s.location, s.status "
                      "FROM stock s WHERE s.client = 'C01' AND s.receipt_no = '" +
                      receipt_ + "' ORDER BY s.receipt_line"),
            (std::vector<std::vector<std::string>>{
                {"1", "A1015", pallet_a, "-", "2", "RCV-02", "RECEIVING"},
                {"2", "A1016", pallet_b, "-", "20", "RCV-02", "RECEIVING"},
                {"3", "A1018", pallet_c, "-", "12", "RCV-02", "RECEIVING"},
                {"9", "A1002", "-", "CT" + tag_, "6", "RCV-02", "RECEIVING"}}));
  EXPECT_EQ(
      wh_->Query("SELECT string_agg(n.serial_no || ' ' || n.status || ' ' || n.location, ', ' "
                 "ORDER BY n.serial_no) FROM serial_number n JOIN stock s ON s.rec_num = "
                 "n.rec_num WHERE s.receipt_no = '" +
                 receipt_ + "' AND s.client = 'C01'"),
      "SN" + tag_ + "-1 INSTOCK RCV-02, SN" + tag_ + "-2 INSTOCK RCV-02");
  EXPECT_EQ(wh_->Query("SELECT count(*) FROM works_order w JOIN task t ON t.wo_no = w.wo_no "
                       "JOIN activity a ON a.wo_no = t.wo_no AND a.task_no = t.task_no "
                       "JOIN stock s ON s.rec_num = a.rec_num "
                       "WHERE w.wo_no = '" +
                       wo + "' AND w.movement_type = 'PUTAWAY' AND w.order_no = '" + receipt_ +
                       "' AND a.status = 'OPEN' AND a.location_from = 'RCV-02'"),
            "4");
  EXPECT_EQ(wh_->Query("SELECT string_agg(pl.qty_received::text, ',' ORDER BY pl.line_no) "
                       "FROM purchase_order_line pl WHERE pl.client = 'C01' AND pl.order_no = '" +
                       po_ + "'"),
            "2,20,12,0");
  const std::string lines = Post({{"function", "rf_get_po_detail"}, {"po_no", po_}});
  EXPECT_NE(lines.find("<item_no>A1018</item_no><item_description>Utility Knife"
                       "</item_description><uom>EA</uom><qty>12</qty><qty_received>12"
                       "</qty_received>"),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find("<status>CLOSED</status>"), std::string::npos) << lines;

  // A second check-in is refused; the receipt is closed and no longer open.
  EXPECT_EQ(Post({{"function", "rf_receipt_checkin"}, {"receipt_no", receipt_}}),
            Status("-4", "Receipt " + receipt_ + " is already checked in and closed."));
  EXPECT_EQ(Post({{"function", "rf_receipt_checkin_without_closing"}, {"receipt_no", receipt_}}),
            Status("-4", "Receipt " + receipt_ + " is already checked in and closed."));
  EXPECT_EQ(Post({{"function", "rf_get_open_receipts"}, {"receipt_no", receipt_}}), "");
  EXPECT_NE(Post({{"function", "rf_get_item_closed_receipts"}, {"item_no", "A1018"}})
                .find("<receipt_no>" + receipt_ + "</receipt_no><status>CLOSED</status>"),
            std::string::npos);
}

}  // namespace
}  // namespace talwen
