// Location and pallet enquiries, the works-order flow and the item image pages over HTTP:
// `talwen serve` on the reference database. The settings come from scripts/db.sh env
// (TALWEN_PGHOST, TALWEN_PGPORT, ...); without them the tests are skipped.
#include <httplib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "support/live_warehouse.h"

namespace talwen {
namespace {

int Count(const std::string& text, const std::string& piece) {
  int n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// A works order of its own, in an area of its own, so that the flow does not meet the demo's
// works orders: six relocations of order SO1004.
constexpr const char* kCleanUp =
    "DELETE FROM works_order WHERE wo_no LIKE 'WOIT%';"
    "DELETE FROM area WHERE warehouse = 'W1' AND area = 'ITEST';";
constexpr const char* kWorksOrder =
    "INSERT INTO area (warehouse, area, description) VALUES ('W1', 'ITEST', 'Test area');"
    "INSERT INTO works_order (wo_no, movement_type, client, warehouse, area, order_no, priority,"
    "                         status, maker)"
    "VALUES ('WOIT0001', 'RELOCATE', 'C01', 'W1', 'ITEST', 'SO1004', 1, 'OPEN', 'JOE');"
    "INSERT INTO task (wo_no, task_no, client, order_no, item_no, uom, qty, status)"
    "SELECT 'WOIT0001', g, 'C01', 'SO1004', 'A10' || lpad(g::text, 2, '0'), 'EA', 1, 'OPEN'"
    "FROM generate_series(1, 6) AS g;"
    "INSERT INTO activity (wo_no, task_no, activity_no, movement_type, client, item_no, uom, qty,"
    "                      rec_num, warehouse_from, location_from, pallet_from, warehouse_to,"
    "                      location_to, status)"
    "SELECT 'WOIT0001', t.task_no, 1, 'RELOCATE', s.client, s.item_no, s.uom, 1, s.rec_num,"
    "       s.warehouse, s.location, s.pallet, 'W1', 'D-19-1', 'OPEN'"
    "FROM task t JOIN stock s ON s.rec_num = 2 * t.task_no - 1 WHERE t.wo_no = 'WOIT0001';";

class LocationsFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::LiveWarehouse::Available()) {
      GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    }
    live_ = std::make_unique<testing::LiveWarehouse>(std::string("IMAGE FOLDER=") +
                                                     TALWEN_SOURCE_DIR + "/db/postgres/images\n");
    live_->Query(kCleanUp);
  }
  void TearDown() override {
    if (live_) live_->Query(kCleanUp);
  }

  // Post a form written as the handheld pages send it ("a=1&b=2").
  std::string Post(const std::string& form) {
    testing::Fields fields;
    size_t at = 0;
    while (at <= form.size()) {
      const size_t end = std::min(form.find('&', at), form.size());
      const std::string field = form.substr(at, end - at);
      const size_t eq = field.find('=');
      fields.emplace_back(field.substr(0, eq), eq == std::string::npos ? "" : field.substr(eq + 1));
      at = end + 1;
    }
    return live_->Post(fields);
  }
  httplib::Result Get(const std::string& path) {
    httplib::Client client("127.0.0.1", live_->port());
    client.set_read_timeout(60);
    return client.Get(path);
  }

  std::unique_ptr<testing::LiveWarehouse> live_;
};

TEST_F(LocationsFlow, Enquiries) {
  EXPECT_EQ(Post("function=rf_get_item_locations&warehouse=W1&client=C01&item=A1001"),
            "<record>W1\tA-01-1\tP000001\t7\tEA\t120\tAVAILABLE\t</record>"
            "<record>W1\tA-01-2\tP000002\t4\tEA\t240\tAVAILABLE\t</record>"
            "<record>W1\tP-01\t\t\tEA\t12\tAVAILABLE\t</record>"
            "<record>W1\tP-55\t\t\tEA\t6\tAVAILABLE\t</record>"
            "<record>W1\tRCV-01\tP000101\t4\tEA\t120\tRECEIVING\t</record>");
  EXPECT_EQ(Post("function=rf_get_item_locations_grade&warehouse=W1&client=C01&item_no=A1003"),
            "<record><warehouse>W1</warehouse><location>A-02-2</location>"
            "<pallet>P0000055</pallet><grade>A</grade><uom>EA</uom><qty>120</qty>"
            "<status>AVAILABLE</status></record><record><warehouse>W1</warehouse>"
            "<location>A-02-3</location><pallet>P0000062</pallet><grade>A</grade><uom>EA</uom>"
            "<qty>240</qty><status>AVAILABLE</status></record><record><warehouse>W1</warehouse>"
            "<location>P-03</location><pallet></pallet><grade>A</grade><uom>EA</uom>"
            "<qty>12</qty><status>AVAILABLE</status></record><record><warehouse>W1</warehouse>"
            "<location>D-20-3</location><pallet>P0001038</pallet><grade>B</grade><uom>EA</uom>"
            "<qty>12</qty><status>HOLD</status></record>");
  EXPECT_EQ(Post("function=rf_get_pallet_location&pallet=P0000017"),
            "<sqlstatus>0</sqlstatus><sqlmsg>Pallet P0000017 is in W1 A-01-1.</sqlmsg>"
            "<warehouse>W1</warehouse><location>A-01-1</location>");
  EXPECT_EQ(Post("function=rf_get_pallet_location&pallet=P9"),
            "<sqlstatus>-2</sqlstatus><sqlmsg>Pallet P9 not found.</sqlmsg>");

  const std::string items = Post("function=rf_get_pallet_items2&pallet=P0000017");
  EXPECT_TRUE(
      items.starts_with("<warehouse>W1</warehouse><location>A-01-1</location><record>"
                        "<rec_num>1</rec_num><client>C01</client><item_no>A1001</item_no>"
                        "<description>Claw Hammer 16oz</description>"))
      << items;
  EXPECT_NE(items.find("<line_no>1</line_no>"), std::string::npos) << items;
  EXPECT_EQ(Post("function=rf_get_pallet_items2&pallet=P9"), "") << "a negative status";
  EXPECT_EQ(Post("function=rf_get_pallet_items&pallet=P0000017"), "");

  const std::string locations = Post("function=rf_get_matching_location&warehouse=W1&limit=Y");
  EXPECT_TRUE(locations.ends_with("<record><location><Too many records></location></record>"))
      << "308 locations pass the limit";
  EXPECT_EQ(Count(Post("function=rf_get_matching_location&warehouse=W1"), "<record>"), 308);
  EXPECT_EQ(Post("function=rf_get_matching_location&warehouse=W1&location=a-01"),
            "<record><location>A-01-1</location><zone>BA</zone></record>"
            "<record><location>A-01-2</location><zone>BA</zone></record>"
            "<record><location>A-01-3</location><zone>BA</zone></record>");
  EXPECT_EQ(Count(Post("function=rf_get_pallet_serial_nos&pallet=P0000093&client=C01"),
                  "<serial_no>SNA1005-"),
            8);
  const std::string recnums = Post("function=rf_get_item_recnums&client=C02&item_no=B2002");
  EXPECT_EQ(Count(recnums, "<record>"), 3) << recnums;
  EXPECT_NE(recnums.find("<lot_no>L032</lot_no>"), std::string::npos) << recnums;
}

TEST_F(LocationsFlow, WorksOrders) {
  live_->Query(kWorksOrder);
  const std::string take = "function=rf_assign_works_order&area=ITEST&movement_type=RELOCATE";
  EXPECT_EQ(Post(take + "&operator=JOE"), "<wo_no>WOIT0001</wo_no>");
  EXPECT_EQ(Post(take + "&operator=JOE"), "<wo_no>WOIT0001</wo_no>") << "JOE keeps his own";
  EXPECT_EQ(Post(take + "&operator=ANN"), "<wo_no></wo_no>") << "nothing left for ANN";

  EXPECT_EQ(
      Post("function=rf_get_wo&wo_no=WOIT0001"),
      "<wo_no>WOIT0001</wo_no><status>ASSIGNED</status><movement_type>RELOCATE</movement_type>"
      "<assigned_to>JOE</assigned_to>");
  EXPECT_EQ(Post("function=rf_get_unfinished_works_order&operator=JOE&movement_type=RELOCATE"),
            "<record><wo_no>WOIT0001</wo_no><status>ASSIGNED</status>"
            "<movement_type>RELOCATE</movement_type><assigned_to>JOE</assigned_to></record>");

  const std::string manual =
      "function=rf_assign_whse_task_manual&client=C01&movement_type=RELOCATE"
      "&order_no=SO1004";
  EXPECT_EQ(Post(manual + "&operator=ANN"),
            "<wo_no></wo_no><sqlstatus>-1</sqlstatus>"
            "<sqlmsg>Works order WOIT0001 is assigned to JOE.</sqlmsg>");
  EXPECT_EQ(Post(manual + "&operator=JOE"),
            "<wo_no>WOIT0001</wo_no><sqlstatus>0</sqlstatus>"
            "<sqlmsg>Works order WOIT0001 is already assigned to JOE.</sqlmsg>");

  EXPECT_EQ(Post("function=rf_get_stock_movements_task_info&client=C01&order_no=SO1004"
                 "&movement_type=RELOCATE"),
            "<wo_no>WOIT0001</wo_no><wo_status>ASSIGNED</wo_status>"
            "<wo_assigned_to>JOE</wo_assigned_to><order_status>OPEN</order_status>");
  const std::string waiting =
      Post("function=rf_query_stock_movements&client=C01&warehouse=W1&movement_type=RELOCATE");
  EXPECT_EQ(Count(waiting, "<wo_no>WOIT0001</wo_no>"), 6) << waiting;

  const std::string report = Post("function=rf_rpt_os_tasks&wo_no=WOIT0001&limit=Y");
  EXPECT_EQ(Count(report, "<record>"), 6) << report;
  EXPECT_TRUE(report.ends_with("<record><item_no><Too many records></item_no></record>"));
  EXPECT_NE(report.find("<so_no></so_no>"), std::string::npos) << "sales_order written as so_no";
  EXPECT_EQ(Count(Post("function=rf_rpt_os_tasks&wo_no=WOIT0001"), "<record>"), 6);
}

TEST_F(LocationsFlow, ItemImagePagesAndTheirImages) {
  const auto page = Get("/talwen/http_talwen.asp?function=webrpt_get_item_image2&client=C01");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  const std::string host = "127.0.0.1:" + std::to_string(live_->port());
  EXPECT_NE(page->body.find("action=\"http://" + host + "/talwen/http_talwen.asp\""),
            std::string::npos);
  EXPECT_EQ(Count(page->body, "id=AutoNumber3>"), 30) << "every C01 product";
  EXPECT_NE(page->body.find("<img border=0 src=\"http://" + host +
                            "/image/a1001.jpg\" width=266 height=200>"),
            std::string::npos);
  const auto image = Get("/image/a1001.jpg");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->status, 200);
  EXPECT_TRUE(image->body.starts_with("\xFF\xD8\xFF")) << "a JPEG";

  const std::string qty =
      Post("function=webrpt_get_item_image2_qty&item_start=A1001&item_end=A1001");
  EXPECT_NE(qty.find("<b>EA</b></td>"), std::string::npos) << qty;
  EXPECT_NE(qty.find(">498</td>"), std::string::npos) << "on hand" << qty;
}

}  // namespace
}  // namespace talwen
