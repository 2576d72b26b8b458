// A sales order from pick list to truck over HTTP, through `talwen serve` on the reference
// PostgreSQL database: the pick list extracted (twice, allocating once), two lines picked and
// confirmed, one of them short and closed with a reason, the serial numbers of the serialised
// line recorded, the outbound pallet on the despatch list with its contents, and the pallet
// despatched onto a trip; the stock, the order lines and the tasks are read back from the
// database after every step. The settings come from scripts/db.sh env; without them the test is
// skipped.
//
// The order is the test's own (a new number each run) and so is its outbound pallet; the demo
// stock it takes (items A1005 and A1007 of client C01: the pick-face cartons CTN5 and CTN7 and
// the pallets P0000093 and P0000130) and the serial numbers it ships are put back as they were
// at the end.
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

// What the test takes from the demo warehouse, saved before and put back after: each table
// with the rows to save and the columns that name a row (separated by commas).
struct Saved {
  const char* table;
  const char* rows;
  const char* key;
};
constexpr Saved kSaved[] = {
    {"stock", "client = 'C01' AND item_no IN ('A1005', 'A1007')", "rec_num"},
    {"carton", "client = 'C01' AND carton_no IN ('CTN5', 'CTN7')", "client,carton_no"},
    {"pallet",
     "pallet IN (SELECT pallet FROM stock WHERE client = 'C01' AND item_no IN ('A1005', 'A1007'))",
     "pallet"},
    {"serial_number", "client = 'C01' AND item_no = 'A1005'", "client,item_no,serial_no"},
};

class PickingFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!LiveWarehouse::Available()) {
      GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    }
    wh_ = std::make_unique<LiveWarehouse>();
    for (const Saved& s : kSaved) {
      wh_->Query(std::string("CREATE TEMP TABLE saved_") + s.table + " AS SELECT * FROM " +
                 s.table + " WHERE " + s.rows);
    }
    so_ = wh_->Query(
        "SELECT 'SOF' || lpad((count(*) + 1)::text, 4, '0') FROM sales_order "
        "WHERE client = 'C01' AND order_no LIKE 'SOF%'");
    wh_->Query(
        "INSERT INTO sales_order (client, order_no, customer, reference_no, warehouse, "
        "delivery_date, dlvr_to, carrier, maker) VALUES ('C01', '" +
        so_ +
        "', 'CUST003', 'FLOW-PICK', 'W1', current_date + 1, 'Goods in', 'FASTFWD', 'JOE');"
        "INSERT INTO sales_order_line (client, order_no, line_no, org_item, item_no, uom, "
        "qty) VALUES ('C01', '" +
        so_ + "', 1, 'A1007', 'A1007', 'EA', 10), ('C01', '" + so_ +
        "', 2, 'A1005', 'A1005', 'EA', 6)");
    // The label printed for the outbound pallet.
    out_ = wh_->Query("SELECT issue_pallet('C01', 'CUST003', 'JOE')");
  }

  // Put back what the flow took; an order left half-way is cancelled with its tasks, and the
  // stock it had picked goes.
  void TearDown() override {
    if (!wh_) return;
    std::string sql = R"sql(
      UPDATE activity SET status = 'CANCELLED'
      WHERE client = 'C01' AND so_no = '{so}' AND status NOT IN ('COMPLETED', 'CANCELLED');
      UPDATE task SET status = 'CANCELLED'
      WHERE client = 'C01' AND order_no = '{so}' AND status NOT IN ('COMPLETED', 'CANCELLED');
      UPDATE works_order SET status = 'CANCELLED'
      WHERE client = 'C01' AND order_no = '{so}' AND status NOT IN ('COMPLETED', 'CANCELLED');
      UPDATE sales_order_line SET status = 'CANCELLED'
      WHERE client = 'C01' AND order_no = '{so}' AND status <> 'DESPATCHED';
      UPDATE sales_order SET status = 'CANCELLED'
      WHERE client = 'C01' AND order_no = '{so}' AND status <> 'DESPATCHED';
      DELETE FROM stock s
      WHERE s.client = 'C01' AND s.so_no = '{so}' AND s.qty > 0
        AND NOT EXISTS (SELECT 1 FROM saved_stock k WHERE k.rec_num = s.rec_num);
      DELETE FROM despatch_pallet WHERE client = 'C01' AND order_no = '{so}' AND status = 'PENDING';
      UPDATE pallet SET status = 'EMPTY' WHERE pallet = '{out}' AND status = 'ACTIVE';
    )sql";
    for (const auto& [name, value] : {std::pair{"{so}", so_}, std::pair{"{out}", out_}}) {
      for (size_t at = sql.find(name); at != std::string::npos; at = sql.find(name, at)) {
        sql.replace(at, std::string(name).size(), value);
      }
    }
    wh_->Query(sql);
    for (const Saved& s : kSaved) Restore(s);
    wh_.reset();
  }

  // Every saved row of a table written back as it was (generated columns are left to the
  // table).
  void Restore(const Saved& s) {
    const std::string table = s.table;
    const std::string key = std::string(",") + s.key + ",";
    std::string set, match;
    for (const auto& row : wh_->Rows("SELECT column_name FROM information_schema.columns "
                                     "WHERE table_schema = 'public' AND table_name = '" +
                                     table + "' AND is_generated = 'NEVER'")) {
      const std::string& c = row[0];
      if (key.find("," + c + ",") != std::string::npos) {
        match += (match.empty() ? "t." : " AND t.") + c + " = k." + c;
      } else {
        set += (set.empty() ? "" : ", ") + c + " = k." + c;
      }
    }
    wh_->Query("UPDATE " + table + " t SET " + set + " FROM saved_" + table + " k WHERE " + match);
  }

  std::string Post(const Fields& fields) { return wh_->Post(fields); }

  // The rows of a query, fields joined by '|' and rows by ';'.
  std::string Db(const std::string& sql) {
    std::string out;
    for (const auto& row : wh_->Rows(sql)) {
      if (!out.empty()) out += ';';
      for (size_t i = 0; i < row.size(); ++i) out += (i ? "|" : "") + row[i];
    }
    return out;
  }

  // The order's lines: line:status:allocated/picked/back-ordered/despatched.
  std::string Lines() {
    return Db(
        "SELECT string_agg(line_no || ':' || status || ':' || qty_allocated || '/' || "
        "qty_picked || '/' || qty_backorder || '/' || qty_despatched, ' ' ORDER BY line_no) "
        "FROM sales_order_line WHERE client = 'C01' AND order_no = '" +
        so_ + "'");
  }
  // The pick activities: task/activity:status:qty/done[:reason].
  std::string Activities() {
    return Db(
        "SELECT string_agg(task_no || '/' || activity_no || ':' || status || ':' || qty || '/' "
        "|| qty_done || coalesce(':' || nullif(reason_code, ''), ''), ' ' ORDER BY task_no, "
        "activity_no) FROM activity WHERE client = 'C01' AND so_no = '" +
        so_ + "'");
  }
  // The tasks and the works order: task:status ... then the works order's status.
  std::string Tasks() {
    return Db(
        "SELECT string_agg(t.task_no || ':' || t.status, ' ' ORDER BY t.task_no) || ' ' || "
        "min(w.status) FROM task t JOIN works_order w ON w.wo_no = t.wo_no "
        "WHERE w.client = 'C01' AND w.order_no = '" +
        so_ + "'");
  }
  // A stock line: location|pallet|carton|qty|booked|status|order line.
  std::string Stock(const std::string& rec_num) {
    return Db(
        "SELECT location, coalesce(pallet, ''), coalesce(carton_no, ''), qty, qty_booked, "
        "status, coalesce(so_line_no::text, '') FROM stock WHERE rec_num = " +
        rec_num);
  }
  // The stock on the outbound pallet: item:qty:status:order line, by item.
  std::string OnPallet() {
    return Db(
        "SELECT string_agg(item_no || ':' || qty || ':' || status || ':' || so_no || '/' || "
        "so_line_no || ':' || location, ' ' ORDER BY item_no, rec_num) FROM stock "
        "WHERE pallet = '" +
        out_ + "'");
  }
  std::string OrderStatus() {
    return wh_->Query("SELECT status FROM sales_order WHERE client = 'C01' AND order_no = '" + so_ +
                      "'");
  }

  Fields PickList() {
    return {{"function", "rf_extract_order_picklist"},
            {"client", "C01"},
            {"customer", "CUST003"},
            {"so_no", so_},
            {"despatch", "DSPF01"},
            {"operator", "JOE"}};
  }
  Fields Confirm(const std::string& task, const std::string& activity, const std::string& line,
                 const std::string& item, const std::string& qty, const std::string& source,
                 const std::string& location, const std::string& rec_num) {
    return {{"function", "rf_confirm_item_picked"},
            {"client", "C01"},
            {"customer", "CUST003"},
            {"so_no", so_},
            {"operator", "JOE"},
            {"wo_no", wo_},
            {"task", task},
            {"activity", activity},
            {"line_no", line},
            {"item_no", item},
            {"uom", "EA"},
            {"qty", qty},
            {"source", source},
            {"warehouse", "W1"},
            {"location", location},
            {"rec_num", rec_num},
            {"despatch", "DSPF01"},
            {"destination", out_}};
  }
  Fields CloseTask(const std::string& task, const std::string& pick_qty,
                   const std::string& reason) {
    return {{"function", "rf_close_pick_task"},
            {"wo_no", wo_},
            {"task_no", task},
            {"activity_no", "0"},
            {"pick_qty", pick_qty},
            {"reason_code", reason},
            {"operator", "JOE"}};
  }
  Fields Despatch(const std::string& trip) {
    return {{"function", "rf_confirm_despatch"},
            {"client", "C01"},
            {"customer", "CUST003"},
            {"so_no", so_},
            {"despatch", "DSPF01"},
            {"pallet", out_},
            {"trip", trip},
            {"vehicle", "TRK-07"},
            {"route", "NORTH"},
            {"carrier", "REDVAN"},
            {"driver", "Sam Carter"},
            {"operator", "JOE"}};
  }

  std::unique_ptr<LiveWarehouse> wh_;
  std::string so_;   // the test's sales order
  std::string out_;  // its outbound pallet
  std::string wo_;   // the pick works order made for it
};

TEST_F(PickingFlow, AnOrderIsPickedShortClosedSerialisedAndDespatched) {
  const std::string ok = "<sqlstatus>0</sqlstatus><sqlmsg>";

  // The pick list: every open line allocated, first from the pick face (the carton CTN7 for
  // line 1, all of CTN5 and then two from the pallet P0000093 for line 2), the stock booked.
  // Pick-face stock has no pallet: its label is written as two empty values.
  const std::string list = Post(PickList());
  wo_ = wh_->Query("SELECT wo_no FROM works_order WHERE client = 'C01' AND order_no = '" + so_ +
                   "' AND movement_type = 'PICK'");
  ASSERT_FALSE(wo_.empty()) << list;
  const std::string expected_list =
      "<record>" + wo_ +
      "\t2\t2\t1\tPICK\tA1005\tCordless Drill 18V\tW1\tP-05\tPICK\t\t\t105\t4\tEA\t" +
      "</record><record>" + wo_ +
      "\t1\t1\t1\tPICK\tA1007\tExtension Lead 4-way\tW1\tP-07\tPICK\t\t\t107\t10\tEA\t</record>"
      "<record>" +
      wo_ +
      "\t2\t2\t2\tPICK\tA1005\tCordless Drill 18V\tW1\tA-03-3\tBULK\tP000009\t3\t9\t2\tEA\t"
      "</record>";
  EXPECT_EQ(list, expected_list);
  EXPECT_EQ(Activities(), "1/1:ASSIGNED:10/0 2/1:ASSIGNED:4/0 2/2:ASSIGNED:2/0");
  EXPECT_EQ(Stock("107"), "P-07||CTN7|12|10|AVAILABLE|");
  EXPECT_EQ(Stock("105"), "P-05||CTN5|4|4|AVAILABLE|");
  EXPECT_EQ(Stock("9"), "A-03-3|P0000093||8|2|AVAILABLE|");
  EXPECT_EQ(Lines(), "1:ALLOCATED:10/0/0/0 2:ALLOCATED:6/0/0/0");
  EXPECT_EQ(OrderStatus(), "ALLOCATED");
  EXPECT_EQ(Tasks(), "1:ASSIGNED 2:ASSIGNED ASSIGNED");
  EXPECT_EQ(wh_->Query("SELECT despatch FROM sales_order WHERE client = 'C01' AND order_no = '" +
                       so_ + "'"),
            "DSPF01")
      << "the despatch given is recorded on the order";

  // Asked again, the list is the same and nothing more is allocated.
  EXPECT_EQ(Post(PickList()), expected_list);
  EXPECT_EQ(Activities(), "1/1:ASSIGNED:10/0 2/1:ASSIGNED:4/0 2/2:ASSIGNED:2/0");
  EXPECT_EQ(Db("SELECT string_agg(qty_booked::text, ',' ORDER BY rec_num) FROM stock "
               "WHERE rec_num IN (9, 105, 107)"),
            "2,4,10");
  EXPECT_EQ(Lines(), "1:ALLOCATED:10/0/0/0 2:ALLOCATED:6/0/0/0");

  // The order waits among those with pick tasks, under its reference.
  const std::string pending =
      "<record><order_no>" + so_ + "</order_no><order_ref_no>FLOW-PICK</order_ref_no></record>";
  EXPECT_NE(
      Post(
          {{"function", "rf_get_pending_task_order"}, {"client", "C01"}, {"movement_type", "PICK"}})
          .find(pending),
      std::string::npos);

  // More than the pick holds is refused and changes nothing; so is a task number that is not
  // whole (the statement carries it as a number, and it must not be rounded onto task 1).
  EXPECT_EQ(Post(Confirm("1", "1", "1", "A1007", "11", "", "P-07", "107")),
            "<sqlstatus>-20</sqlstatus><sqlmsg>Quantity 11 EA refused: only 10 EA is left to pick "
            "on " +
                wo_ + "/1/1.</sqlmsg>");
  EXPECT_EQ(Post(Confirm("1.4", "1", "1", "A1007", "10", "", "P-07", "107")),
            "<sqlstatus>-39</sqlstatus><sqlmsg>Task 1.4 is not a whole number.</sqlmsg>");
  EXPECT_EQ(Stock("107"), "P-07||CTN7|12|10|AVAILABLE|");
  EXPECT_EQ(Activities(), "1/1:ASSIGNED:10/0 2/1:ASSIGNED:4/0 2/2:ASSIGNED:2/0");

  // Line 1 picked whole: ten of the twelve in CTN7 go onto the outbound pallet in the despatch
  // lane as a new stock line; the carton keeps the other two.
  EXPECT_EQ(Post(Confirm("1", "1", "1", "A1007", "10", "", "P-07", "107")),
            ok + "Picked 10 EA of A1007 from stock record 107 onto pallet " + out_ +
                " in DSP-01.</sqlmsg>");
  EXPECT_EQ(Stock("107"), "P-07||CTN7|2|0|AVAILABLE|");
  EXPECT_EQ(OnPallet(), "A1007:10:PICKED:" + so_ + "/1:DSP-01");
  EXPECT_EQ(Activities(), "1/1:COMPLETED:10/10 2/1:ASSIGNED:4/0 2/2:ASSIGNED:2/0");
  EXPECT_EQ(Lines(), "1:PICKED:10/10/0/0 2:ALLOCATED:6/0/0/0");
  EXPECT_EQ(Tasks(), "1:COMPLETED 2:ASSIGNED INPROGRESS");
  EXPECT_EQ(OrderStatus(), "PICKING");

  // Line 2: the whole carton CTN5 travels onto the pallet; from P0000093 only one of the two
  // allocated is found (the product given under "item" this time).
  EXPECT_EQ(Post(Confirm("2", "1", "2", "A1005", "4", "", "P-05", "105")),
            ok + "Picked 4 EA of A1005 from stock record 105 onto pallet " + out_ +
                " in DSP-01.</sqlmsg>");
  Fields second = Confirm("2", "2", "2", "", "1", "P0000093", "A-03-3", "9");
  second.emplace_back("item", "A1005");
  EXPECT_EQ(Post(second), ok + "Picked 1 EA of A1005 from stock record 9 onto pallet " + out_ +
                              " in DSP-01.</sqlmsg>");
  EXPECT_EQ(Stock("105"), "DSP-01|" + out_ + "|CTN5|4|0|PICKED|2");
  EXPECT_EQ(Stock("9"), "A-03-3|P0000093||7|1|AVAILABLE|");
  EXPECT_EQ(OnPallet(), "A1005:4:PICKED:" + so_ + "/2:DSP-01 A1005:1:PICKED:" + so_ +
                            "/2:DSP-01 A1007:10:PICKED:" + so_ + "/1:DSP-01");
  EXPECT_EQ(Activities(), "1/1:COMPLETED:10/10 2/1:COMPLETED:4/4 2/2:INPROGRESS:2/1");
  EXPECT_EQ(Lines(), "1:PICKED:10/10/0/0 2:PICKING:6/5/0/0");

  // Closing task 2 short: without a reason it is refused; with one, the missing unit is
  // released on P0000093 and back-ordered, and the picking is done.
  EXPECT_EQ(Post(CloseTask("2", "5", "")),
            "<sqlstatus>-28</sqlstatus><sqlmsg>1 EA short: a reason code is required.</sqlmsg>");
  EXPECT_EQ(Activities(), "1/1:COMPLETED:10/10 2/1:COMPLETED:4/4 2/2:INPROGRESS:2/1");
  EXPECT_EQ(Post(CloseTask("2", "5", "SHORT")),
            ok + "Pick task " + wo_ + "/2 closed: 5 EA picked, 1 EA short (SHORT).</sqlmsg>");
  EXPECT_EQ(Stock("9"), "A-03-3|P0000093||7|0|AVAILABLE|");
  EXPECT_EQ(Activities(), "1/1:COMPLETED:10/10 2/1:COMPLETED:4/4 2/2:COMPLETED:2/1:SHORT");
  EXPECT_EQ(Lines(), "1:PICKED:10/10/0/0 2:PICKED:5/5/1/0");
  EXPECT_EQ(Tasks(), "1:COMPLETED 2:COMPLETED COMPLETED");
  EXPECT_EQ(OrderStatus(), "PICKED");
  EXPECT_EQ(Post(CloseTask("2", "5", "SHORT")),
            ok + "Pick task " + wo_ + "/2 is already closed.</sqlmsg>");

  // Nothing is left to pick: the list is empty, nothing is allocated again, no task pending.
  EXPECT_EQ(Post(PickList()), "");
  EXPECT_EQ(Activities(), "1/1:COMPLETED:10/10 2/1:COMPLETED:4/4 2/2:COMPLETED:2/1:SHORT");
  EXPECT_EQ(Db("SELECT string_agg(qty_booked::text, ',' ORDER BY rec_num) FROM stock "
               "WHERE rec_num IN (9, 105, 107)"),
            "0,0,0");
  EXPECT_EQ(
      Post(
          {{"function", "rf_get_pending_task_order"}, {"client", "C01"}, {"movement_type", "PICK"}})
          .find(pending),
      std::string::npos);

  // The order's lines as the handheld reads them.
  EXPECT_EQ(
      Post({{"function", "rf_query_sales_detail2"}, {"client", "C01"}, {"so_no", so_}}),
      "<record><client>C01</client><customer>CUST003</customer><reference_no>FLOW-PICK"
      "</reference_no><so_no>" +
          so_ +
          "</so_no><line_no>1</line_no><org_item>A1007</org_item><item_no>A1007</item_no>"
          "<uom>EA</uom><qty>10</qty><qty_picked>10</qty_picked><qty_backorder>0</qty_backorder>"
          "<qty_scanpack>0</qty_scanpack><item_description>Extension Lead 4-way"
          "</item_description><serial_no_flag>N</serial_no_flag><num_serial>0</num_serial>"
          "<lowest_uom>EA</lowest_uom><luom_equivalent>1</luom_equivalent><status>PICKED"
          "</status></record><record><client>C01</client><customer>CUST003</customer>"
          "<reference_no>FLOW-PICK</reference_no><so_no>" +
          so_ +
          "</so_no><line_no>2</line_no><org_item>A1005</org_item><item_no>A1005</item_no>"
          "<uom>EA</uom><qty>6</qty><qty_picked>5</qty_picked><qty_backorder>1</qty_backorder>"
          "<qty_scanpack>0</qty_scanpack><item_description>Cordless Drill 18V"
          "</item_description><serial_no_flag>Y</serial_no_flag><num_serial>1</num_serial>"
          "<lowest_uom>EA</lowest_uom><luom_equivalent>1</luom_equivalent><status>PICKED"
          "</status></record>");

  // The serial numbers of line 2: four on the pallet, one with its warranty and the task it
  // was picked under; a sixth is one more than the five picked units carry.
  for (const char* serial : {"SNA1005-10501", "SNA1005-10502", "SNA1005-10503", "SNA1005-10504"}) {
    EXPECT_EQ(
        Post({{"function", "rf_update_so_serial"},
              {"client", "C01"},
              {"item_no", "A1005"},
              {"serial_no", serial},
              {"customer", "CUST003"},
              {"so_no", so_},
              {"pallet", out_},
              {"operator", "JOE"}}),
        ok + "Serial number " + serial + " recorded on sales order " + so_ + " line 2.</sqlmsg>");
  }
  Fields warranty = {{"function", "rf_update_so_serial_warranty"},
                     {"client", "C01"},
                     {"item_no", "A1005"},
                     {"serial_no", "SNA1005-00901"},
                     {"so_no", so_},
                     {"so_line", "2"},
                     {"warranty_no", "WTY-0901"},
                     {"wo_no", wo_},
                     {"task_no", "2"},
                     {"activity", "2"},
                     {"operator", "JOE"}};
  EXPECT_EQ(Post(warranty), ok + "Serial number SNA1005-00901 recorded on sales order " + so_ +
                                " line 2.</sqlmsg>");
  warranty[3].second = "SNA1005-00902";
  EXPECT_EQ(Post(warranty),
            "<sqlstatus>-61</sqlstatus><sqlmsg>All 5 serial numbers of item "
            "A1005 picked on sales order " +
                so_ + " are recorded.</sqlmsg>");
  EXPECT_EQ(Db("SELECT string_agg(serial_no || ':' || status || ':' || line_no || ':' || pallet "
               "|| ':' || coalesce(wo_no || '/' || task_no || '/' || activity || ':' || "
               "warranty_no, '-'), ' ' ORDER BY serial_no) FROM serial_number "
               "WHERE client = 'C01' AND sales_order = '" +
               so_ + "'"),
            "SNA1005-00901:PICKED:2:" + out_ + ":" + wo_ + "/2/2:WTY-0901 SNA1005-10501:PICKED:2:" +
                out_ + ":- SNA1005-10502:PICKED:2:" + out_ + ":- SNA1005-10503:PICKED:2:" + out_ +
                ":- SNA1005-10504:PICKED:2:" + out_ + ":-");
  EXPECT_EQ(wh_->Query("SELECT status FROM serial_number WHERE serial_no = 'SNA1005-00902'"),
            "INSTOCK");

  // The outbound pallet waits on the despatch list with its contents.
  const std::string label = out_.substr(0, out_.size() - 1);
  const std::string check = out_.substr(out_.size() - 1);
  EXPECT_EQ(Post({{"function", "rf_extract_despatch_list"},
                  {"client", "C01"},
                  {"customer", "CUST003"},
                  {"so_no", so_}}),
            "<record>W1\tCUST003\t" + so_ + "\t" + label + "\t" + check + "\tDSPF01\t</record>");
  EXPECT_EQ(Post({{"function", "rf_get_despatch_pallet_items"},
                  {"client", "C01"},
                  {"so_no", so_},
                  {"pallet", out_}}),
            "<record>C01\tA1005\tCordless Drill 18V\tEA\t5\t</record>"
            "<record>C01\tA1007\tExtension Lead 4-way\tEA\t10\t</record>");
  EXPECT_EQ(TagValue(Post({{"function", "rf_query_sales_order2"},
                           {"client", "C01"},
                           {"customer", "CUST003"},
                           {"so_no", so_}}),
                     "status2"),
            "PICKED");

  // Despatch: without a trip it is refused (the empty reply) and nothing leaves; with one the
  // pallet leaves, once.
  EXPECT_EQ(Post(Despatch("")), "");
  EXPECT_EQ(
      Db("SELECT status FROM despatch_pallet WHERE client = 'C01' AND order_no = '" + so_ + "'"),
      "PENDING");
  EXPECT_EQ(Post(Despatch("TRIP-0042")), "0");
  EXPECT_EQ(Post(Despatch("TRIP-0042")), "");

  EXPECT_EQ(OnPallet(), "A1005:0:DESPATCHED:" + so_ + "/2:DSP-01 A1005:0:DESPATCHED:" + so_ +
                            "/2:DSP-01 A1007:0:DESPATCHED:" + so_ + "/1:DSP-01");
  EXPECT_EQ(Db("SELECT string_agg(item_no || ':' || qty, ' ' ORDER BY item_no, rec_num) "
               "FROM stock_movement WHERE movement_type = 'DESPATCH' AND pallet_from = '" +
               out_ + "'"),
            "A1005:4 A1005:1 A1007:10");
  EXPECT_EQ(Lines(), "1:DESPATCHED:10/10/0/10 2:DESPATCHED:5/5/1/5");
  EXPECT_EQ(OrderStatus(), "DESPATCHED");
  EXPECT_EQ(Db("SELECT status, trip, vehicle, route, carrier, driver, despatched_by "
               "FROM despatch_pallet WHERE client = 'C01' AND order_no = '" +
               so_ + "'"),
            "DESPATCHED|TRIP-0042|TRK-07|NORTH|REDVAN|Sam Carter|JOE");
  EXPECT_EQ(wh_->Query("SELECT status FROM pallet WHERE pallet = '" + out_ + "'"), "DESPATCHED");
  EXPECT_EQ(Db("SELECT status, location, pallet FROM carton WHERE client = 'C01' AND carton_no = "
               "'CTN5'"),
            "DESPATCHED|DSP-01|" + out_)
      << "the carton that went whole onto the pallet left with it";
  EXPECT_EQ(Db("SELECT count(*), min(status), max(status), min(delivery_order) FROM serial_number "
               "WHERE client = 'C01' AND sales_order = '" +
               so_ + "'"),
            "5|DESPATCHED|DESPATCHED|TRIP-0042");
  // What was not picked stays in store.
  EXPECT_EQ(Stock("107"), "P-07||CTN7|2|0|AVAILABLE|");
  EXPECT_EQ(Stock("9"), "A-03-3|P0000093||7|0|AVAILABLE|");
  EXPECT_EQ(Post({{"function", "rf_extract_despatch_list"},
                  {"client", "C01"},
                  {"customer", "CUST003"},
                  {"so_no", so_}}),
            "");
}

// Without a pick list: the pallets that can serve a line, and the line picked straight from one
// of them onto the outbound pallet.
TEST_F(PickingFlow, AnOrderLineIsPickedStraightFromAMatchingPallet) {
  // Pallets in store holding A1007 (the pick-face carton, on no pallet, is not among them).
  EXPECT_EQ(Post({{"function", "rf_pick_find_matching_pallet"},
                  {"client", "C01"},
                  {"so_no", so_},
                  {"line_no", "1"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>2 pallets can serve line 1 (A1007).</sqlmsg>"
            "<record><pallet>P0000130</pallet><location>A-05-1</location>"
            "<qty_free_luom>120</qty_free_luom><uom>EA</uom></record>"
            "<record><pallet>P0000147</pallet><location>A-05-2</location>"
            "<qty_free_luom>240</qty_free_luom><uom>EA</uom></record>");

  Fields pick = {{"function", "rf_pick_sales_detail2"},
                 {"client", "C01"},
                 {"so_no", so_},
                 {"line_no", "1"},
                 {"pick_qty", "11"},
                 {"pallet_from", "P0000130"},
                 {"pallet_to", out_},
                 {"despatch", "DSPF02"},
                 {"operator", "JOE"}};
  EXPECT_EQ(Post(pick),
            "<sqlstatus>-20</sqlstatus><sqlmsg>Quantity 11 EA refused: line 1 of sales "
            "order " +
                so_ + " needs only 10 EA more.</sqlmsg>");
  pick[4].second = "10";
  EXPECT_EQ(Post(pick),
            "<sqlstatus>0</sqlstatus><sqlmsg>Picked 10 EA of A1007 for line 1 from "
            "pallet P0000130 onto pallet " +
                out_ + " in DSP-01.</sqlmsg>");
  EXPECT_EQ(Stock("13"), "A-05-1|P0000130||110|0|AVAILABLE|");
  EXPECT_EQ(OnPallet(), "A1007:10:PICKED:" + so_ + "/1:DSP-01");
  EXPECT_EQ(Lines(), "1:PICKED:10/10/0/0 2:OPEN:0/0/0/0");
  EXPECT_EQ(OrderStatus(), "PICKING");
  EXPECT_EQ(Activities(), "") << "no pick list, no tasks";
  EXPECT_EQ(Post(pick),
            "<sqlstatus>-20</sqlstatus><sqlmsg>Quantity 10 EA refused: line 1 of sales "
            "order " +
                so_ + " needs only 0 EA more.</sqlmsg>");

  // The order is still outstanding, now with its despatch, and its pallet waits on the list.
  EXPECT_NE(Post({{"function", "rf_rpt_outstanding_sales_order"},
                  {"client", "C01"},
                  {"customer", "CUST003"},
                  {"despatch", "DSPF02"}})
                .find("<record><client>C01</client><so_no>" + so_ +
                      "</so_no><customer>CUST003</customer>"),
            std::string::npos);
  EXPECT_EQ(Post({{"function", "rf_get_despatch_pallet_items"},
                  {"client", "C01"},
                  {"so_no", so_},
                  {"pallet", out_}}),
            "<record>C01\tA1007\tExtension Lead 4-way\tEA\t10\t</record>");
}

}  // namespace
}  // namespace talwen
