// Product and serial-number enquiries over HTTP, through `talwen serve` on the reference
// PostgreSQL database: a product found by barcode and by a partial key (cut off on a long
// list), its units and packing quantity read; a new barcode recorded and then finding its
// product; a received serial number traced back to its receipt and forward to its order.
//
// The tests bring their own data (a long run of products, a receipt and its serial numbers)
// and remove it, with what the flows wrote, afterwards. The settings come from
// scripts/db.sh env; without them the tests are skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/live_warehouse.h"

namespace talwen {
namespace {

using testing::Fields;
using testing::LiveWarehouse;
using testing::TagValue;

using Rows = std::vector<std::vector<std::string>>;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A cut-off listing: the start of the whole listing, up to and including the record that takes
// it past 16383 characters, then the marker record with the key tag.
void ExpectCutOff(const std::string& all, const std::string& limited, const std::string& key) {
  const std::string marker = "<record><" + key + "><Too many records></" + key + "></record>";
  ASSERT_GT(limited.size(), marker.size()) << limited;
  const std::string listed = limited.substr(0, limited.size() - marker.size());
  EXPECT_EQ(limited.substr(listed.size()), marker);
  EXPECT_EQ(all.rfind(listed, 0), 0u) << "the cut list is the start of the whole list";
  EXPECT_LT(listed.size(), all.size());
  EXPECT_GE(listed.size(), 16383u) << "the list runs up to the threshold";
  EXPECT_LT(listed.rfind("<record>"), 16383u) << "and stops after the record that crosses it";
}

class ProductFlow : public ::testing::Test {
 protected:
  static constexpr int kExtra = 200;  // products XQ001.. of client C01, for a long list

  void SetUp() override {
    if (!LiveWarehouse::Available()) {
      GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    }
    wh_ = std::make_unique<LiveWarehouse>();
    ASSERT_EQ(wh_->Query("SELECT count(*) FROM product WHERE client = 'C01' AND (item_no ILIKE "
                         "'%XQ%' OR description ILIKE '%XQ%' OR alternate_code ILIKE '%XQ%')"),
              "0");
    ASSERT_EQ(wh_->Query("SELECT count(*) FROM barcode WHERE client = 'C01' AND "
                         "(item_no = 'A1029' OR barcode = '9399000000293')"),
              "0")
        << "A1029 has no barcode in the demo data";
    set_up_ = true;
    wh_->Query(
        "INSERT INTO product (client, item_no, description, lowest_uom, maker) "
        "SELECT 'C01', 'XQ' || lpad(g::text, 3, '0'), 'Flow listing product ' || "
        "lpad(g::text, 3, '0'), 'EA', 'JOE' FROM generate_series(1, " +
        std::to_string(kExtra) +
        ") AS g;"
        "INSERT INTO product_uom (client, item_no, uom, uom_sequence, luom_equivalent) "
        "SELECT p.client, p.item_no, 'EA', 1, 1 FROM product p "
        "WHERE p.client = 'C01' AND p.item_no LIKE 'XQ%'");
  }

  void TearDown() override {
    if (!set_up_) return;
    wh_->Query(
        "DELETE FROM barcode WHERE client = 'C01' AND barcode = '9399000000293';"
        "DELETE FROM product WHERE client = 'C01' AND item_no LIKE 'XQ%'");
  }

  std::string Post(const Fields& fields) { return wh_->Post(fields); }

  std::unique_ptr<LiveWarehouse> wh_;
  bool set_up_ = false;
};

TEST_F(ProductFlow, AProductIsFoundByBarcodeAndByPartialKeyAndItsUnitsRead) {
  // By barcode: the unit's own barcode resolves to the product in that unit.
  const std::string stamp = wh_->Query(
      "SELECT to_char(last_update, 'YYYY-MM-DD') FROM barcode "
      "WHERE client = 'C01' AND barcode = '19310000000015'");
  EXPECT_EQ(Post({{"function", "rf_get_barcode_item_no"},
                  {"client", "C01"},
                  {"barcode_no", "19310000000015"}}),
            "<count>1</count><record><client>C01</client><item_no>A1001</item_no>"
            "<Description>Claw Hammer 16oz</Description><barcode>19310000000015</barcode>"
            "<uom>CTN</uom><lowest_uom>EA</lowest_uom><luom_equivalent>12</luom_equivalent>"
            "<Status>ACTIVE</Status><last_update>" +
                stamp + "</last_update></record>");
  EXPECT_EQ(Post({{"function", "rf_get_barcode_item_no"},
                  {"client", "C01"},
                  {"barcode_no", "0000000000000"}}),
            "<count>0</count>");
  // The product page, asked with the scanned code under "item".
  const std::string described = Post(
      {{"function", "rf_get_product_description"}, {"client", "C01"}, {"item", "9310000000018"}});
  EXPECT_EQ(described.rfind("<item_no>A1001</item_no><description>Claw Hammer 16oz</description>"
                            "<pallet_config>40 CTN per PLT</pallet_config>",
                            0),
            0u)
      << described;
  EXPECT_EQ(Count(described, "</"), 50u) << described;

  // By partial key: the whole list, and the list cut off when the page asks for it.
  std::string expected, expected_grid;
  for (int i = 1; i <= kExtra; ++i) {
    char n[8];
    std::snprintf(n, sizeof n, "%03d", i);
    expected += std::string("<record><item_no>XQ") + n +
                "</item_no><description>Flow listing product " + n +
                "</description><alternate_code></alternate_code><substitute></substitute>"
                "</record>";
    expected_grid += std::string("<record><item_no>XQ") + n +
                     "</item_no><Description>Flow listing product " + n +
                     "</Description><alternate_code></alternate_code><substitute></substitute>"
                     "<lowest_uom>EA</lowest_uom><Category></Category><product_group>"
                     "</product_group><Status>ACTIVE</Status></record>";
  }
  const Fields search = {{"client", "C01"}, {"item_no", "xq"}, {"operator", "JOE"}};
  auto with = [&](const std::string& function, const std::string& limit) {
    Fields fields = search;
    fields.emplace(fields.begin(), "function", function);
    if (!limit.empty()) fields.emplace_back("limit", limit);
    return Post(fields);
  };
  const std::string all = with("rf_get_matching_product", "");
  EXPECT_EQ(all, expected);
  EXPECT_EQ(with("rf_get_matching_product", "y"), expected) << "only \"Y\" cuts this list";
  ExpectCutOff(all, with("rf_get_matching_product", "Y"), "item_no");

  const std::string grid = with("rf_get_matching_product2", "");
  EXPECT_EQ(grid, expected_grid);
  EXPECT_EQ(with("rf_get_matching_product2", "  "), expected_grid);
  ExpectCutOff(grid, with("rf_get_matching_product2", "N"), "item_no");

  // A short search is never cut.
  EXPECT_EQ(Post({{"function", "rf_get_matching_product"},
                  {"client", "C01"},
                  {"item_no", "spanner"},
                  {"limit", "Y"}}),
            "<record><item_no>A1003</item_no><description>Adjustable Spanner 250mm</description>"
            "<alternate_code>ALT-A1003</alternate_code><substitute></substitute></record>");

  // Its units, lowest first, and one unit alone.
  const std::string ea =
      "<record><uom>EA</uom><item_height>12</item_height><item_depth>6</item_depth>"
      "<item_width>12</item_width><item_volume>0.0009</item_volume><item_weight>0.65"
      "</item_weight><uom_sequence>1</uom_sequence><lowest_uom>EA</lowest_uom>"
      "<luom_equivalent>1</luom_equivalent><child_uom></child_uom><child_uom_qty>"
      "</child_uom_qty></record>";
  const std::string ctn =
      "<record><uom>CTN</uom><item_height>30</item_height><item_depth>30</item_depth>"
      "<item_width>40</item_width><item_volume>0.036</item_volume><item_weight>31.5"
      "</item_weight><uom_sequence>2</uom_sequence><lowest_uom>EA</lowest_uom>"
      "<luom_equivalent>48</luom_equivalent><child_uom>EA</child_uom><child_uom_qty>48"
      "</child_uom_qty></record>";
  const std::string plt =
      "<record><uom>PLT</uom><item_height>150</item_height><item_depth>100</item_depth>"
      "<item_width>120</item_width><item_volume>1.8</item_volume><item_weight>1280"
      "</item_weight><uom_sequence>3</uom_sequence><lowest_uom>EA</lowest_uom>"
      "<luom_equivalent>1920</luom_equivalent><child_uom>CTN</child_uom><child_uom_qty>40"
      "</child_uom_qty></record>";
  EXPECT_EQ(Post({{"function", "rf_get_product_uom"}, {"client", "C01"}, {"item_no", "A1009"}}),
            ea + ctn + plt);
  EXPECT_EQ(Post({{"function", "rf_get_product_uom"},
                  {"client", "C01"},
                  {"item", "A1009"},
                  {"uom", "CTN"}}),
            ctn);
  EXPECT_EQ(
      Post({{"function", "rf_get_product_uom_2_level"}, {"client", "C01"}, {"item_no", "A1009"}}),
      "<sqlstatus>0</sqlstatus><item_uom>CTN</item_uom><item_height>30</item_height>"
      "<item_width>40</item_width><item_depth>30</item_depth><item_weight>31.5</item_weight>"
      "<pallet_width>120</pallet_width><pallet_depth>100</pallet_depth><pallet_qty>40"
      "</pallet_qty>");

  // Packing quantities: two cartons, and a pallet and a half.
  EXPECT_EQ(Post({{"function", "rf_get_packing_qty"},
                  {"client", "C01"},
                  {"item_no", "A1009"},
                  {"uom", "CTN"},
                  {"qty", "2"}}),
            "<lowest_uom>EA</lowest_uom><luom_equivalent>48</luom_equivalent>"
            "<query_pallet_qty>0.05</query_pallet_qty><query_luom_qty>96</query_luom_qty>");
  EXPECT_EQ(Post({{"function", "rf_get_packing_qty"},
                  {"client", "C01"},
                  {"item_no", "A1009"},
                  {"uom", "PLT"},
                  {"qty", "1.5"}}),
            "<lowest_uom>EA</lowest_uom><luom_equivalent>1920</luom_equivalent>"
            "<query_pallet_qty>1.5</query_pallet_qty><query_luom_qty>2880</query_luom_qty>");
  EXPECT_EQ(Post({{"function", "rf_get_packing_qty"},
                  {"client", "C01"},
                  {"item_no", "A1009"},
                  {"uom", "BOX"},
                  {"qty", "1"}}),
            "");
}

TEST_F(ProductFlow, ANewBarcodeIsRecordedAndThenFindsItsProduct) {
  const Fields lookup = {
      {"function", "rf_get_barcode_item_no"}, {"client", "C01"}, {"barcode_no", "9399000000293"}};
  EXPECT_EQ(Post(lookup), "<count>0</count>");

  EXPECT_EQ(Post({{"function", "rf_update_product_barcode"},
                  {"client", "C01"},
                  {"item", "A1029"},
                  {"barcode", "9399000000293"},
                  {"operator", "joe"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Barcode 9399000000293 recorded for item A1029."
            "</sqlmsg>");
  EXPECT_EQ(wh_->Rows("SELECT item_no, remarks, maker, to_char(last_update, 'YYYY-MM-DD') = "
                      "to_char(localtimestamp, 'YYYY-MM-DD') FROM barcode "
                      "WHERE client = 'C01' AND barcode = '9399000000293'"),
            (Rows{{"A1029", "Created through RF Terminal.", "JOE", "t"}}));

  const std::string today = wh_->Query("SELECT to_char(localtimestamp, 'YYYY-MM-DD')");
  EXPECT_EQ(Post(lookup),
            "<count>1</count><record><client>C01</client><item_no>A1029</item_no>"
            "<Description>Wheelbarrow 90L</Description><barcode>9399000000293</barcode>"
            "<uom>EA</uom><lowest_uom>EA</lowest_uom><luom_equivalent>1</luom_equivalent>"
            "<Status>ACTIVE</Status><last_update>" +
                today + "</last_update></record>");
  // The product search and the product page know the new barcode too.
  EXPECT_EQ(Post({{"function", "rf_get_matching_product"},
                  {"client", "C01"},
                  {"item_no", "9399000000293"},
                  {"operator", "JOE"}}),
            "<record><item_no>A1029</item_no><description>Wheelbarrow 90L</description>"
            "<alternate_code>ALT-A1029</alternate_code><substitute></substitute></record>");
  EXPECT_EQ(TagValue(Post({{"function", "rf_get_product_description"},
                           {"client", "C01"},
                           {"item_no", "9399000000293"}}),
                     "item_no"),
            "A1029");

  // Recorded again for the same product it stands; for another it is refused.
  EXPECT_EQ(Post({{"function", "rf_update_product_barcode"},
                  {"client", "C01"},
                  {"item_no", "A1029"},
                  {"barcode", "9399000000293"},
                  {"operator", "JOE"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Barcode 9399000000293 is already recorded for item "
            "A1029.</sqlmsg>");
  EXPECT_EQ(Post({{"function", "rf_update_product_barcode"},
                  {"client", "C01"},
                  {"item_no", "A1028"},
                  {"barcode", "9399000000293"},
                  {"operator", "JOE"}}),
            "<sqlstatus>-7</sqlstatus><sqlmsg>Barcode 9399000000293 already belongs to item "
            "A1029.</sqlmsg>");
  EXPECT_EQ(wh_->Query("SELECT count(*) FROM barcode WHERE client = 'C01' AND item_no = 'A1028' "
                       "AND barcode = '9399000000293'"),
            "0");
}

// A serial-controlled product received on a receipt of its own and picked for an order: the
// receipt, its line and the serial numbers' links are set up here, as the receiving and
// picking pages would have left them.
class SerialFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!LiveWarehouse::Available()) {
      GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    }
    wh_ = std::make_unique<LiveWarehouse>();
    ASSERT_EQ(wh_->Query("SELECT count(*) FROM receipt WHERE client = 'C01' AND "
                         "receipt_no = 'R900001'"),
              "0");
    ASSERT_EQ(wh_->Query("SELECT count(*) FROM serial_number WHERE serial_no LIKE 'SNCF-%' OR "
                         "warranty_no = 'WCF0001'"),
              "0");
    ASSERT_EQ(wh_->Rows("SELECT l.item_no, l.qty, o.customer FROM sales_order o "
                        "JOIN sales_order_line l USING (client, order_no) "
                        "WHERE o.client = 'C01' AND o.order_no = 'SO1002' AND l.line_no = 1"),
              (Rows{{"A1005", "2", "CUST002"}}))
        << "SO1002 line 1 orders two A1005 for CUST002";
    const auto seq = wh_->Rows("SELECT last_value, is_called FROM serial_event_event_id_seq");
    restore_ = "SELECT setval('serial_event_event_id_seq', " + seq[0][0] + ", " +
               (seq[0][1] == "t" ? "true" : "false") + ")";
    set_up_ = true;
    wh_->Query(
        "INSERT INTO receipt (client, receipt_no, warehouse, receipt_type, receipt_date, "
        "supplier, status, maker) VALUES ('C01', 'R900001', 'W1', 'PO', '2026-11-20', 'SUP005', "
        "'CLOSED', 'JOE');"
        "INSERT INTO receipt_line (client, receipt_no, line_no, item_no, uom, qty, supplier, "
        "maker) VALUES ('C01', 'R900001', 1, 'A1005', 'EA', 2, 'SUP005', 'JOE');"
        "INSERT INTO serial_number (client, item_no, serial_no, status, warehouse, location, "
        "receipt_no, receipt_line, receipt_date, supplier, customer, sales_order, line_no, maker) "
        "SELECT 'C01', 'A1005', s, 'PICKED', 'W1', 'DSP-02', 'R900001', 1, '2026-11-20', "
        "'SUP005', 'CUST002', 'SO1002', 1, 'JOE' FROM unnest(ARRAY['SNCF-0001', 'SNCF-0002']) "
        "AS s");
  }

  void TearDown() override {
    if (!set_up_) return;
    wh_->Query(
        "DELETE FROM serial_event WHERE client = 'C01' AND serial_no LIKE 'SNCF-%';"
        "DELETE FROM serial_number WHERE client = 'C01' AND serial_no LIKE 'SNCF-%';"
        "DELETE FROM receipt WHERE client = 'C01' AND receipt_no = 'R900001';" +
        restore_);
  }

  // The trace of serial numbers: client C01, any item, then the given keys.
  std::string Trace(const Fields& fields) {
    Fields all = {{"function", "rf_get_serial_no"}, {"client", "C01"}};
    all.insert(all.end(), fields.begin(), fields.end());
    return wh_->Post(all);
  }

  static std::string TraceRecord(const std::string& serial, const std::string& warranty = "") {
    return "<record><serial_no>" + serial + "</serial_no><warranty_no>" + warranty +
           "</warranty_no><receipt_no>R900001</receipt_no><receipt_line>1</receipt_line>"
           "<receipt_date>2026-11-20</receipt_date><supplier>SUP005</supplier>"
           "<customer>CUST002</customer><so_no>SO1002</so_no><so_line>1</so_line><do_no>"
           "</do_no><delivery_date></delivery_date><pallet></pallet><wo_no></wo_no><task_no>"
           "</task_no><activity></activity></record>";
  }

  std::unique_ptr<LiveWarehouse> wh_;
  bool set_up_ = false;
  std::string restore_;
};

TEST_F(SerialFlow, AReceivedSerialNumberIsTracedToItsReceiptAndItsOrder) {
  // The serial number scanned alone.
  const std::string traced = Trace({{"serial_no", "SNCF-0001"}});
  EXPECT_EQ(traced, TraceRecord("SNCF-0001"));

  // Back to the receipt it came on: its line holds the product, from that supplier.
  EXPECT_EQ(wh_->Rows("SELECT r.supplier, l.item_no, l.qty FROM receipt r "
                      "JOIN receipt_line l USING (client, receipt_no) WHERE r.client = 'C01' "
                      "AND r.receipt_no = '" +
                      TagValue(traced, "receipt_no") +
                      "' AND l.line_no = " + TagValue(traced, "receipt_line")),
            (Rows{{"SUP005", "A1005", "2"}}));
  EXPECT_EQ(Trace({{"search_field", "receipt_no"}, {"search_value", "R900001"}}),
            TraceRecord("SNCF-0001") + TraceRecord("SNCF-0002"));

  // Forward to the order it was picked for: the order line asks for that product.
  EXPECT_EQ(
      wh_->Rows("SELECT o.customer, l.item_no FROM sales_order o "
                "JOIN sales_order_line l USING (client, order_no) WHERE o.client = 'C01' "
                "AND o.order_no = '" +
                TagValue(traced, "so_no") + "' AND l.line_no = " + TagValue(traced, "so_line")),
      (Rows{{"CUST002", "A1005"}}));
  EXPECT_EQ(Trace({{"item_no", "A1005"}, {"search_field", "so_no"}, {"search_value", "SO1002"}}),
            TraceRecord("SNCF-0001") + TraceRecord("SNCF-0002"));
  EXPECT_EQ(Trace({{"search_field", "so_no"}, {"search_value", "SO1003"}}), "");

  // A warranty recorded against it: the trace shows it, and finds the unit by it.
  EXPECT_EQ(wh_->Post({{"function", "rf_update_serial_warranty"},
                       {"client", "C01"},
                       {"item_no", "A1005"},
                       {"serial_no", "SNCF-0001"},
                       {"warranty_no", "WCF0001"},
                       {"operator", "JOE"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Warranty WCF0001 recorded for serial number "
            "SNCF-0001.</sqlmsg>");
  EXPECT_EQ(Trace({{"search_value", "WCF0001"}, {"limit", " "}}),
            TraceRecord("SNCF-0001", "WCF0001"));
}

}  // namespace
}  // namespace talwen
