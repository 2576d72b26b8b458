// A delivery's way through the warehouse over HTTP, through `talwen serve` on a copy of the
// reference database: the operator signs on, receives a pallet against an open purchase order
// (a duplicate line and more than the order expects are refused), checks it in, puts it away,
// picks a sales order from the pick list the database allocates, despatches it, counts the
// location the pallet went to and signs off. After each step the stock in the database is
// checked, and at the end the stock of the item balances against its journal.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "integration/pg_fixture.h"
#include "support/live_warehouse.h"

namespace talwen {
namespace {

using testing::Fields;
using testing::LiveWarehouse;
using testing::TagValue;

std::string Status(const std::string& status, const std::string& message) {
  return "<sqlstatus>" + status + "</sqlstatus><sqlmsg>" + message + "</sqlmsg>";
}

// The tab-separated values of each "<record>" of a reply.
std::vector<std::vector<std::string>> Records(const std::string& reply) {
  std::vector<std::vector<std::string>> records;
  const std::string open = "<record>", close = "</record>";
  for (size_t at = reply.find(open); at != std::string::npos; at = reply.find(open, at)) {
    at += open.size();
    std::stringstream line(reply.substr(at, reply.find(close, at) - at));
    std::vector<std::string> values;
    for (std::string value; std::getline(line, value, '\t');) values.push_back(value);
    records.push_back(values);
  }
  return records;
}

class WarehouseFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto server = testing::PgServerFromEnvironment();
    if (!server) GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    copy_ = std::make_unique<testing::DatabaseCopy>(*server, "flow");
    wh_ = std::make_unique<LiveWarehouse>(copy_->server());
  }

  // A page's request: the client and the operator, then the fields given.
  std::string Post(Fields fields) {
    fields.insert(fields.begin(), {{"client", "C01"}, {"operator", "JOE"}});
    return wh_->Post(fields);
  }
  std::string Db(const std::string& sql) { return wh_->Query(sql); }

  // The item's stock lines: location, pallet, quantity and status, in record order.
  std::string Stock(const std::string& where) {
    return Db(
        "SELECT string_agg(location || ':' || coalesce(pallet, '-') || ':' || qty || ':' || "
        "status, ' ' ORDER BY rec_num) FROM stock WHERE client = 'C01' AND item_no = "
        "'A1016' AND " +
        where);
  }

  std::unique_ptr<testing::DatabaseCopy> copy_;
  std::unique_ptr<LiveWarehouse> wh_;
};

TEST_F(WarehouseFlow, ADeliveryIsReceivedPutAwayPickedDespatchedAndCounted) {
  const std::string held_before =
      Db("SELECT sum(qty) FROM stock WHERE client = 'C01' AND item_no = 'A1016'");
  const std::string journal_before = Db("SELECT coalesce(max(movement_id), 0) FROM stock_movement");

  // Sign-on: a wrong password is refused, the right one welcomed.
  EXPECT_EQ(Post({{"function", "rf_check_user_password"}, {"password", "x"}}),
            Status("-3", "Operator or password is not correct."));
  EXPECT_EQ(Post({{"function", "rf_check_user_password"}, {"password", "joe123"}}),
            Status("0", "Welcome, Joe Bloggs."));

  // Receiving against purchase order PO1004: a receipt, its header at check-in station CHK2,
  // one pallet of 24 A1016. The same line again and more A1018 than the order expects are
  // refused; then the receipt is checked in.
  const std::string receipt = TagValue(Post({{"function", "rf_next_receipt_num"}}), "receipt_no");
  ASSERT_FALSE(receipt.empty());
  EXPECT_EQ(Post({{"function", "rf_check_in_header"},
                  {"receipt_no", receipt},
                  {"warehouse", "W1"},
                  {"station", "CHK2"},
                  {"receipt_date", "06/12/2026"},
                  {"receipt_type", "PO"},
                  {"client_po_no", "PO1004"},
                  {"remarks", ""}}),
            "<receipt_no>" + receipt + "</receipt_no>" +
                Status("0", "Receipt " + receipt + " created at station CHK2."));
  const Fields line = {{"function", "rf_check_duplicate_receipt_detail"},
                       {"receipt_no", receipt},
                       {"pallet", "PFLOW1"},
                       {"item_no", "A1016"},
                       {"qty", "24"}};
  EXPECT_EQ(Post(line), Status("0", "Line 1 stored: 24 EA of A1016 on pallet PFLOW1.") +
                            "<line_no>1</line_no>");
  EXPECT_EQ(Post(line), Status("-30",
                               "Duplicate line: pallet PFLOW1 already holds 24 EA of A1016 on "
                               "line 1; change that line instead.") +
                            "<line_no>1</line_no>");
  EXPECT_EQ(Post({{"function", "rf_check_duplicate_receipt_detail"},
                  {"receipt_no", receipt},
                  {"pallet", "PFLOW2"},
                  {"item_no", "A1018"},
                  {"qty", "49"}}),
            Status("-18",
                   "Quantity 49 EA of A1018 is above the 48 EA that purchase order PO1004 still "
                   "expects.") +
                "<line_no></line_no>");
  const std::string checkin = Post({{"function", "rf_receipt_checkin"}, {"receipt_no", receipt}});
  EXPECT_EQ(TagValue(checkin, "sqlstatus"), "0") << checkin;
  EXPECT_EQ(Stock("receipt_no = '" + receipt + "'"), "RCV-02:PFLOW1:24:RECEIVING");
  EXPECT_EQ(Db("SELECT qty_received FROM purchase_order_line WHERE client = 'C01' AND "
               "order_no = 'PO1004' AND item_no = 'A1016'"),
            "24");

  // Putaway: the pallet's location by the putaway rules, the pallet moved there, its task
  // closed.
  const std::string found =
      Post({{"function", "rf_get_putaway_pallet_location"}, {"pallet", "PFLOW1"}});
  const std::string to = TagValue(found, "location_to");
  ASSERT_FALSE(to.empty()) << found;
  EXPECT_EQ(Post({{"function", "rf_putaway_stock_movements_pallet"},
                  {"pallet", "PFLOW1"},
                  {"warehouse_to", "W1"},
                  {"location_to", to}}),
            Status("0", "Pallet PFLOW1 put away to W1/" + to + "."));
  const std::string wo = Db("SELECT wo_no FROM works_order WHERE client = 'C01' AND order_no = '" +
                            receipt + "' AND movement_type = 'PUTAWAY'");
  EXPECT_EQ(TagValue(Post({{"function", "rf_close_putaway_task"},
                           {"wo_no", wo},
                           {"task_no", "1"},
                           {"pallet", "PFLOW1"},
                           {"warehouse", "W1"},
                           {"location", to},
                           {"qty", "24"}}),
                     "sqlstatus"),
            "0");
  EXPECT_EQ(Stock("receipt_no = '" + receipt + "'"), to + ":PFLOW1:24:AVAILABLE");
  EXPECT_EQ(Db("SELECT status FROM works_order WHERE wo_no = '" + wo + "'"), "COMPLETED");

  // Picking: an order of 30 A1016, its pick list as the database allocates it, each record
  // picked in full onto an outbound pallet, the task closed.
  Db("INSERT INTO sales_order (client, order_no, customer, warehouse, delivery_date, maker) "
     "VALUES ('C01', 'SOFLOW', 'CUST003', 'W1', current_date + 1, 'JOE');"
     "INSERT INTO sales_order_line (client, order_no, line_no, org_item, item_no, uom, qty) "
     "VALUES ('C01', 'SOFLOW', 1, 'A1016', 'A1016', 'EA', 30)");
  const std::string out = Db("SELECT issue_pallet('C01', 'CUST003', 'JOE')");
  const auto picks = Records(Post({{"function", "rf_extract_order_picklist"},
                                   {"customer", "CUST003"},
                                   {"so_no", "SOFLOW"},
                                   {"despatch", "DSPF01"}}));
  ASSERT_FALSE(picks.empty());
  int picked = 0;
  for (const auto& p : picks) {
    ASSERT_GE(p.size(), 15u);
    // wo, task, activity, line, type, item, description, warehouse, location, location type,
    // pallet, its check character, record, quantity, unit.
    EXPECT_EQ(TagValue(Post({{"function", "rf_confirm_item_picked"},
                             {"customer", "CUST003"},
                             {"so_no", "SOFLOW"},
                             {"wo_no", p[0]},
                             {"task", p[1]},
                             {"activity", p[2]},
                             {"line_no", p[3]},
                             {"item_no", p[5]},
                             {"uom", p[14]},
                             {"qty", p[13]},
                             {"source", p[10].empty() ? "" : p[10] + p[11]},
                             {"warehouse", p[7]},
                             {"location", p[8]},
                             {"rec_num", p[12]},
                             {"despatch", "DSPF01"},
                             {"destination", out}}),
                       "sqlstatus"),
              "0")
        << p[12];
    picked += std::stoi(p[13]);
  }
  EXPECT_EQ(picked, 30);
  EXPECT_EQ(Db("SELECT sum(qty) || ' ' || min(status) FROM stock WHERE pallet = '" + out + "'"),
            "30 PICKED");
  EXPECT_EQ(Db("SELECT status FROM sales_order WHERE client = 'C01' AND order_no = 'SOFLOW'"),
            "PICKED");

  // Despatch: the outbound pallet leaves on a trip; its stock is gone and journalled.
  EXPECT_EQ(Post({{"function", "rf_confirm_despatch"},
                  {"customer", "CUST003"},
                  {"so_no", "SOFLOW"},
                  {"despatch", "DSPF01"},
                  {"pallet", out},
                  {"trip", "TRIP-1"}}),
            "0");
  EXPECT_EQ(Db("SELECT sum(qty) || ' ' || min(status) FROM stock WHERE pallet = '" + out + "'"),
            "0 DESPATCHED");
  EXPECT_EQ(Db("SELECT sum(qty) FROM stock_movement WHERE movement_type = 'DESPATCH' AND "
               "pallet_from = '" +
               out + "'"),
            "30");

  // Counting the location the pallet went to: one unit is missing, which becomes a COUNT
  // movement when the count is finished.
  const Fields here = {{"warehouse", "W1"}, {"location", to}};
  const auto count = [&](Fields fields) {
    fields.insert(fields.begin(), here.begin(), here.end());
    return Post(fields);
  };
  const std::string rec_num =
      Db("SELECT rec_num FROM stock WHERE pallet = 'PFLOW1' AND client = 'C01'");
  const std::string started = count({{"function", "rf_initialise_rf_stkcount_location"}});
  const std::string ref = TagValue(started, "stocktake_ref");
  ASSERT_EQ(TagValue(started, "sqlstatus"), "0") << started;
  EXPECT_EQ(TagValue(count({{"function", "rf_cc_update_cycle_count"},
                            {"pallet", "PFLOW1"},
                            {"item_no", "A1016"},
                            {"uom", "EA"},
                            {"system_qty", "24"},
                            {"count_qty", "23"},
                            {"grade", "A"},
                            {"stocktake_ref", ref},
                            {"rec_num", rec_num}}),
                     "sqlstatus"),
            "0");
  EXPECT_EQ(TagValue(count({{"function", "rf_update_rf_stkcount_location"}}), "sqlstatus"), "0");
  EXPECT_EQ(Stock("pallet = 'PFLOW1'"), to + ":PFLOW1:23:AVAILABLE");
  EXPECT_EQ(
      Db("SELECT qty FROM stock_movement WHERE movement_type = 'COUNT' AND rec_num = " + rec_num),
      "-1");

  // What the item holds changed by the delivery, less the despatch and the count's
  // difference, and the journal booked just that.
  EXPECT_EQ(Db("SELECT sum(qty) - " + held_before +
               " FROM stock WHERE client = 'C01' AND item_no = 'A1016'"),
            "-7");
  EXPECT_EQ(Db("SELECT sum(CASE WHEN movement_type IN ('RECEIPT', 'CREATE', 'ADJUST', 'COUNT') "
               "THEN qty WHEN movement_type = 'DESPATCH' THEN -qty ELSE 0 END) FROM "
               "stock_movement WHERE client = 'C01' AND item_no = 'A1016' AND movement_id > " +
               journal_before),
            "-7");

  // Sign-off.
  EXPECT_EQ(TagValue(Post({{"function", "rf_system_logout"}}), "sqlstatus"), "0");
}

}  // namespace
}  // namespace talwen
