// An operator's shift start and end over HTTP, through `talwen serve` on the reference
// PostgreSQL database: sign-on, station, context, client choice, reference lists, a print
// request and sign-off, every reply checked. The settings come from scripts/db.sh env; without
// them the test is skipped. The operator's last client is put back at the end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/live_warehouse.h"

namespace talwen {
namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class SessionFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::LiveWarehouse::Available()) {
      GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
    }
    live_ = std::make_unique<testing::LiveWarehouse>();
  }
  void TearDown() override {
    if (live_) {
      Post(
          {{"function", "rf_update_last_client_accessed"}, {"client", "C01"}, {"operator", "JOE"}});
    }
  }

  // Post the fields as a handheld page does; the body, or a marker of what went wrong.
  std::string Post(const testing::Fields& fields) { return live_->Post(fields); }

  std::unique_ptr<testing::LiveWarehouse> live_;
};

TEST_F(SessionFlow, AnOperatorSignsOnWorksAndSignsOff) {
  // Sign-on: a wrong password is refused, the right one accepted.
  EXPECT_EQ(Post({{"function", "rf_check_user_password"}, {"operator", "JOE"}, {"password", "x"}}),
            "<sqlstatus>-3</sqlstatus><sqlmsg>Operator or password is not correct.</sqlmsg>");
  EXPECT_EQ(
      Post({{"function", "rf_check_user_password"}, {"operator", "joe"}, {"password", "joe123"}}),
      "<sqlstatus>0</sqlstatus><sqlmsg>Welcome, Joe Bloggs.</sqlmsg>");

  // The station: the right type passes, another type does not; never a message.
  EXPECT_EQ(Post({{"function", "rf_verify_user_station"},
                  {"warehouse", "W1"},
                  {"station", "RF01"},
                  {"station_type", "RF"},
                  {"operator", "JOE"}}),
            "<sqlstatus>0</sqlstatus>");
  EXPECT_EQ(Post({{"function", "rf_verify_user_station"},
                  {"warehouse", "W1"},
                  {"station", "CHK1"},
                  {"station_type", "RF"},
                  {"operator", "JOE"}}),
            "<sqlstatus>-8</sqlstatus>");

  // Profile, warehouses, clients, menu rights, task priorities.
  const std::string profile = Post({{"function", "rf_get_user_profile"}, {"operator", "JOE"}});
  EXPECT_EQ(
      profile.rfind("<record><operator>JOE</operator><operator_name>Joe Bloggs</operator_name>"
                    "<status>ACTIVE</status><default_warehouse>W1</default_warehouse>"
                    "<warehouse_name>Main Warehouse</warehouse_name><language>EN</language>"
                    "<signed_on>Y</signed_on><last_signon_at>",
                    0),
      0u)
      << profile;
  EXPECT_EQ(profile.find("password"), std::string::npos) << profile;
  EXPECT_EQ(Post({{"function", "rf_get_user_warehouse"}, {"operator", "JOE"}}),
            "<record><warehouse>W1</warehouse><warehouse_name>Main Warehouse</warehouse_name>"
            "<facility_type>WAREHOUSE</facility_type><default_flag>Y</default_flag></record>"
            "<record><warehouse>W2</warehouse><warehouse_name>Overflow Store</warehouse_name>"
            "<facility_type>STORE</facility_type><default_flag>N</default_flag></record>");
  EXPECT_EQ(Post({{"function", "rf_get_user_client"}, {"operator", "JOE"}}),
            "<record><client>C01</client><client_name>Acme Trading Ltd</client_name></record>"
            "<record><client>C02</client><client_name>Borealis Foods Pty</client_name></record>");
  EXPECT_EQ(
      Post({{"function", "rf_get_user_access"}, {"operator", "ANN"}}),
      "<CYCLECOUNT>1</CYCLECOUNT><ENQUIRY>1</ENQUIRY><PUTAWAY>1</PUTAWAY><RECEIPT>1</RECEIPT>");
  EXPECT_EQ(Post({{"function", "rf_get_user_tasks_priority"}, {"operator", "ANN"}}),
            "<PICK>1</PICK><REPLENISH>2</REPLENISH><PUTAWAY>3</PUTAWAY><COUNT>4</COUNT>"
            "<RELOCATE>5</RELOCATE>");

  // The client: chosen, remembered, read back; one the operator may not use is refused.
  EXPECT_EQ(Post({{"function", "rf_get_operator_clients2"}, {"operator", "JOE"}}),
            "<record><client>C01</client><client_name>Acme Trading Ltd</client_name></record>"
            "<record><client>C02</client><client_name>Borealis Foods Pty</client_name></record>");
  EXPECT_EQ(
      Post(
          {{"function", "rf_update_last_client_accessed"}, {"client", "C02"}, {"operator", "JOE"}}),
      "<sqlstatus>0</sqlstatus><sqlmsg>Client C02 remembered for JOE.</sqlmsg>");
  EXPECT_EQ(Post({{"function", "rf_get_last_client_accessed"}, {"operator", "JOE"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Client found.</sqlmsg><client>C02</client>");
  EXPECT_EQ(
      Post(
          {{"function", "rf_update_last_client_accessed"}, {"client", "C02"}, {"operator", "ANN"}}),
      "<sqlstatus>-4</sqlstatus><sqlmsg>Operator ANN may not work for client C02.</sqlmsg>");

  // Reference lists.
  EXPECT_EQ(
      Post({{"function", "rf_get_reason_codes"}}),
      "<reasoncode>DMG</reasoncode><reasoncode>EXP</reasoncode><reasoncode>CNT</reasoncode>"
      "<reasoncode>LOST</reasoncode><reasoncode>FOUND</reasoncode><reasoncode>RTN</reasoncode>"
      "<reasoncode>SHORT</reasoncode>");
  EXPECT_EQ(Post({{"function", "rf_get_uom_list"}}),
            "<record><uom>CTN</uom><description>Carton</description><uom_type>CARTON</uom_type>"
            "</record><record><uom>EA</uom><description>Each</description><uom_type>UNIT</uom_type>"
            "</record><record><uom>PLT</uom><description>Pallet</description>"
            "<uom_type>PALLET</uom_type></record>");

  // Suppliers: the whole list without a limit, cut off after 16383 characters with one.
  const std::string all = Post({{"function", "rf_get_supplier"}, {"client", "C01"}});
  EXPECT_EQ(Count(all, "<record>"), 320u);
  EXPECT_EQ(all.find("Too many records"), std::string::npos);
  const std::string limited =
      Post({{"function", "rf_get_supplier"}, {"client", "C01"}, {"limit", "Y"}});
  const std::string sentinel = "<record><supplier><Too many records></supplier></record>";
  ASSERT_GT(limited.size(), sentinel.size());
  const std::string listed = limited.substr(0, limited.size() - sentinel.size());
  EXPECT_EQ(limited.substr(listed.size()), sentinel);
  EXPECT_EQ(all.rfind(listed, 0), 0u) << "the cut list is the start of the whole list";
  EXPECT_GE(listed.size(), 16383u) << "the list runs up to the threshold";
  EXPECT_LT(listed.rfind("<record>"), 16383u) << "and stops after the record that crosses it";
  EXPECT_EQ(Post({{"function", "rf_get_supplier"},
                  {"client", "C01"},
                  {"supplier", "SUP00"},
                  {"limit", "Y"}})
                .rfind("<record><supplier>SUP001</supplier>", 0),
            0u);

  // A print request: queued with its copies; a copy count that is no number is refused.
  EXPECT_EQ(Post({{"function", "rf_print_queue"},
                  {"report_type", "PICKLIST"},
                  {"param1", "C01"},
                  {"param2", "SO1001"},
                  {"qty", "2"}}),
            "<sqlstatus>0</sqlstatus>");
  EXPECT_EQ(Post({{"function", "rf_print_queue"}, {"report_type", "PICKLIST"}, {"qty", "two"}}),
            "<sqlstatus>-1</sqlstatus>");

  // Sign-off.
  EXPECT_EQ(Post({{"function", "rf_system_logout"}, {"operator", "JOE"}}),
            "<sqlstatus>0</sqlstatus><sqlmsg>Operator JOE signed off.</sqlmsg>");
  const std::string after = Post({{"function", "rf_get_user_profile"}, {"operator", "JOE"}});
  EXPECT_NE(after.find("<signed_on>N</signed_on>"), std::string::npos) << after;
}

TEST_F(SessionFlow, DiagnosticsShowTheConnectionWithItsPasswordHidden) {
  const std::string reply = Post({{"function", "rf_about2"}});
  const std::string password = live_->server().password;
  EXPECT_NE(reply.find(";Password=********;"), std::string::npos) << reply;
  EXPECT_EQ(reply.find("Password=" + password), std::string::npos) << reply;
  EXPECT_NE(reply.find("<dbinstance>veldrawms</dbinstance><function>rf_about2</function>"),
            std::string::npos)
      << reply;
}

}  // namespace
}  // namespace talwen
