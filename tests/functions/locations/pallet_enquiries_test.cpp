// Contract tests of the pallet enquiries.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "frame/shapes.h"
#include "functions/locations/listing.h"
#include "support/function_calls.h"
#include "support/harness.h"

namespace talwen {
namespace {

using testing::Call;
using testing::Harness;
using testing::Rows;
using testing::SessionValues;
using testing::T;
using testing::Texts;

TEST(PalletEnquiries, StatementTexts) {
  const struct {
    const char* function;
    SessionValues session;
    const char* sql;
  } cases[] = {
      {"rf_get_pallet_items2", {{"pallet", "P0000017"}}, "rf_get_pallet_items  N'P0000017'"},
      {"rf_get_pallet_items3", {{"pallet", ""}}, "rf_get_pallet_items3 Null"},
      {"rf_get_pallet_carton_items3",
       {{"pallet", "P1"}, {"pallet_no", "P0000017"}, {"client", "C01"}},
       "rf_get_pallet_carton_items3  N'C01',  N'P0000017'"},
      {"rf_get_pallet_location", {{"pallet", "P0000017"}}, "rf_get_pallet_location  N'P0000017'"},
      {"rf_get_pallet_serial_nos",
       {{"pallet", "P0000017"}, {"client", "C01"}, {"item", "A1005"}, {"location_mode", "Y"}},
       "rf_get_pallet_serial_nos  N'P0000017',  N'C01',  N'A1005',  N'Y'"},
      {"rf_get_matching_pallet",
       {{"pallet", "P00001"}, {"limit", "Y"}},
       "rf_get_matching_pallet  N'P00001'"},
      {"rf_get_matching_pallet2",
       {{"warehouse", "W2"}, {"pallet", "P"}},
       "rf_get_matching_pallet2  N'P',  N'W2'"},
  };
  for (const auto& c : cases) {
    Harness h;
    EXPECT_EQ(Call(h, c.function, c.session), "") << c.function;
    EXPECT_EQ(h.db->statements, std::vector<std::string>{c.sql}) << c.function;
  }
}

TEST(PalletEnquiries, FirstGenerationAnswersNothingUntraced) {
  Harness h;
  h.write_ini("[veldrawms]\nProvider=Scripted\n[GENERAL]\nLOGGING FILE=" + h.dir.file("trace.log") +
              "\nLOGGING MODE=DETAILED\n");
  h.db->answer({Texts({"sqlstatus"}, {{"0"}})});
  EXPECT_EQ(Call(h, "rf_get_pallet_items", {{"pallet", "P0000017"}, {"limit", "Y"}}), "");
  EXPECT_TRUE(h.db->statements.empty());
  EXPECT_EQ(h.log_text(), "") << "no trace line";
  EXPECT_EQ(h.session.count(), 0) << "the session is still cleared";
}

// A row of the procedure behind "rf_get_pallet_items2".
std::vector<Value> PalletLine(Value status, int rec_num, const char* item) {
  return {status,
          T("Pallet found."),
          T("W1"),
          T("A-01-1"),
          Value::int64(rec_num),
          T("C01"),
          T(item),
          T("Claw Hammer"),
          T("EA"),
          Value::decimal("114"),
          T("A"),
          T(""),
          T("BT1"),
          Value::date({2025, 3, 27}),
          T("SUP001"),
          Value::null(),
          Value::null(),
          T(""),
          T(""),
          T(""),
          Value::decimal("10"),
          Value::decimal("20"),
          Value::decimal("30"),
          Value::decimal("1.5"),
          T("AVAILABLE"),
          T("JOE"),
          Value::date({2024, 5, 6, 10, 30, 0}),
          T("USD"),
          Value::decimal("1.95"),
          T(""),
          Value::null(),
          T("N"),
          Value::int32(0)};
}

const std::vector<std::string> kPalletColumns = {
    "sqlstatus",  "sqlmsg",         "warehouse",   "location",   "rec_num",     "client",
    "item_no",    "Description",    "uom",         "qty_avail",  "grade",       "lot_no",
    "batch_no",   "expiry_date",    "supplier",    "owner",      "prod_date",   "item_size",
    "item_color", "item_class",     "item_width",  "item_depth", "item_height", "item_weight",
    "Status",     "maker",          "last_update", "Currency",   "unit_cost",   "ppq_packing",
    "ppq_qty",    "serial_no_flag", "num_serial"};

std::string NumberedLine(int rec_num, const char* item, int n) {
  return "<record><rec_num>" + std::to_string(rec_num) + "</rec_num><client>C01</client><item_no>" +
         item +
         "</item_no><description>Claw Hammer</description><uom>EA</uom>"
         "<qty_avail>114</qty_avail><grade>A</grade><lot_no></lot_no><batch_no>BT1</batch_no>"
         "<expiry_date>2025-03-27</expiry_date><line_no>" +
         std::to_string(n) +
         "</line_no><supplier>SUP001</supplier><owner></owner><prod_date></prod_date>"
         "<item_size></item_size><item_color></item_color><item_class></item_class>"
         "<width>10</width><depth>20</depth><height>30</height><weight>1.5</weight>"
         "<status>AVAILABLE</status><maker>JOE</maker><last_update>2024-05-06</last_update>"
         "<currency>USD</currency><unit_cost>1.95</unit_cost><ppq_packing></ppq_packing>"
         "<ppq_qty></ppq_qty><serial_no_flag>N</serial_no_flag><num_serial>0</num_serial>"
         "</record>";
}

TEST(PalletEnquiries, SecondGenerationHeaderAndNumberedLines) {
  Harness h;
  h.db->answer({Rows(kPalletColumns, {PalletLine(Value::int32(0), 1, "A1001"),
                                      PalletLine(Value::int32(0), 2, "A1002"),
                                      PalletLine(Value::int32(0), 3, "A1003")})});
  EXPECT_EQ(Call(h, "rf_get_pallet_items2", {{"pallet", "P0000017"}}),
            "<warehouse>W1</warehouse><location>A-01-1</location>" + NumberedLine(1, "A1001", 1) +
                NumberedLine(2, "A1002", 2) + NumberedLine(3, "A1003", 3));

  const struct {
    const char* proves;
    Value status;
    bool written;
  } statuses[] = {
      {"a text zero is zero", T("0"), true},
      {"a decimal zero is zero", Value::decimal("0.00"), true},
      {"a negative status writes nothing", Value::int32(-1), false},
      {"a positive status writes nothing", Value::int32(2), false},
      {"a Null status writes nothing", Value::null(), false},
      {"a text that is no number writes nothing", T("OK"), false},
  };
  for (const auto& c : statuses) {
    h.db->answer({Rows(kPalletColumns, {PalletLine(c.status, 1, "A1001")})});
    EXPECT_EQ(Call(h, "rf_get_pallet_items2", {}).empty(), !c.written) << c.proves;
  }
  h.db->answer({Rows(kPalletColumns, {})});
  EXPECT_EQ(Call(h, "rf_get_pallet_items2", {}), "") << "no rows";
}

TEST(PalletEnquiries, ContentsTags) {
  const std::vector<std::string> columns = {
      "carton_no",        "unit_cost",   "Currency",     "ppq_qty",    "ppq_packing", "item_weight",
      "item_height",      "item_depth",  "item_width",   "item_class", "item_color",  "item_size",
      "prod_date",        "expiry_date", "receipt_date", "owner",      "supplier",    "batch_no",
      "lot_no",           "grade",       "qty_booked",   "qty_avail",  "qty_rcvd",    "uom",
      "item_description", "item_no",     "client",       "rec_num"};
  const std::vector<Value> row = {T("CTN7"),
                                  Value::decimal("2.5"),
                                  T("USD"),
                                  Value::decimal("6"),
                                  T("6 per box"),
                                  Value::decimal("1"),
                                  Value::decimal("2"),
                                  Value::decimal("3"),
                                  Value::decimal("4"),
                                  T("C"),
                                  T("B"),
                                  T("S"),
                                  Value::null(),
                                  Value::date({2026, 1, 31}),
                                  Value::date({2024, 12, 1}),
                                  T("CUST001"),
                                  T("SUP002"),
                                  T("BT"),
                                  T("LOT"),
                                  T("A"),
                                  Value::decimal("0"),
                                  Value::decimal("24"),
                                  Value::decimal("24"),
                                  T("EA"),
                                  T("Oats"),
                                  T("B2001"),
                                  T("C02"),
                                  Value::int64(61)};
  const std::string contents =
      "<rec_num>61</rec_num><client>C02</client><item_no>B2001</item_no>"
      "<item_description>Oats</item_description><uom>EA</uom><qty_rcvd>24</qty_rcvd>"
      "<qty_avail>24</qty_avail><qty_booked>0</qty_booked><grade>A</grade><lot_no>LOT</lot_no>"
      "<batch_no>BT</batch_no><supplier>SUP002</supplier><owner>CUST001</owner>"
      "<receipt_date>2024-12-01</receipt_date><expiry_date>2026-01-31</expiry_date>"
      "<prod_date></prod_date><item_size>S</item_size><item_color>B</item_color>"
      "<item_class>C</item_class><item_width>4</item_width><item_depth>3</item_depth>"
      "<item_height>2</item_height><item_weight>1</item_weight><ppq_packing>6 per box"
      "</ppq_packing><ppq_qty>6</ppq_qty><currency>USD</currency><unit_cost>2.5</unit_cost>";
  Harness h;
  h.db->answer({Rows(columns, {row})});
  EXPECT_EQ(Call(h, "rf_get_pallet_items3", {}), "<record>" + contents + "</record>");
  h.db->answer({Rows(columns, {row, row})});
  EXPECT_EQ(Call(h, "rf_get_pallet_carton_items3", {}),
            "<record>" + contents + "<carton_no>CTN7</carton_no></record><record>" + contents +
                "<carton_no>CTN7</carton_no></record>");
}

TEST(PalletEnquiries, PalletLocationShowsThePlaceUnlessTheStatusIsNegative) {
  const struct {
    const char* proves;
    Value status;
    const char* reply;
  } cases[] = {
      {"status 0", Value::int32(0),
       "<sqlstatus>0</sqlstatus><sqlmsg>m</sqlmsg><warehouse>W1</warehouse>"
       "<location>A-01-1</location>"},
      {"a positive status is not negative", Value::int32(1),
       "<sqlstatus>1</sqlstatus><sqlmsg>m</sqlmsg><warehouse>W1</warehouse>"
       "<location>A-01-1</location>"},
      {"a negative status", Value::int32(-2), "<sqlstatus>-2</sqlstatus><sqlmsg>m</sqlmsg>"},
      {"the leading number of a text", T(" -3 not found"),
       "<sqlstatus> -3 not found</sqlstatus><sqlmsg>m</sqlmsg>"},
      {"a text without a number counts as 0", T("n/a"),
       "<sqlstatus>n/a</sqlstatus><sqlmsg>m</sqlmsg><warehouse>W1</warehouse>"
       "<location>A-01-1</location>"},
      {"Null counts as 0", Value::null(),
       "<sqlstatus></sqlstatus><sqlmsg>m</sqlmsg><warehouse>W1</warehouse>"
       "<location>A-01-1</location>"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer(
        {Rows({"location", "warehouse", "sqlmsg", "sqlstatus"},
              {{T("A-01-1"), T("W1"), T("m"), c.status}, {T("X"), T("Y"), T("Z"), T("0")}})});
    EXPECT_EQ(Call(h, "rf_get_pallet_location", {{"pallet", "P0000017"}}), c.reply) << c.proves;
  }
  Harness h;
  h.db->answer({Texts({"sqlstatus", "sqlmsg"}, {})});
  EXPECT_EQ(Call(h, "rf_get_pallet_location", {}), "");
}

TEST(PalletEnquiries, AllColumnListingsAndTheirLimit) {
  Harness h;
  h.db->answer({Texts({"serial_no", "item_no"}, {{"SNA1005-00901", "A1005"}})});
  EXPECT_EQ(Call(h, "rf_get_pallet_serial_nos", {{"item_no", "A1005"}, {"item", "X"}}),
            "<record><serial_no>SNA1005-00901</serial_no><item_no>A1005</item_no></record>");
  EXPECT_EQ(h.db->statements.back(), "rf_get_pallet_serial_nos Null, Null,  N'A1005', Null");

  for (const char* function : {"rf_get_matching_pallet", "rf_get_matching_pallet2"}) {
    std::vector<std::vector<std::string>> rows(600, {"P0000017", "W1", "A-01-1", "C01"});
    h.db->answer({Texts({"pallet", "warehouse", "location", "client"}, rows)});
    const std::string limited = Call(h, function, {{"limit", "1"}});
    EXPECT_TRUE(limited.ends_with("<record><pallet><Too many records></pallet></record>"))
        << function;
    EXPECT_LT(limited.size(), 16383u + 200) << function;
    h.db->answer({Texts({"pallet", "warehouse", "location", "client"}, rows)});
    EXPECT_EQ(Call(h, function, {}).find("Too many"), std::string::npos) << function;
  }
}

TEST(PalletEnquiries, StatusNumberTests) {
  using locations::LeadingNumber;
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber("-1"), -1);
  EXPECT_EQ(LeadingNumber(" - 2 rows"), -2);
  EXPECT_EQ(LeadingNumber("12.5e1x"), 125);
  EXPECT_EQ(LeadingNumber("-"), 0);
  EXPECT_EQ(LeadingNumber("3-4"), 3);
  EXPECT_EQ(LeadingNumber("1e999"), 0) << "an overflow is no number";

  EXPECT_EQ(SplitPalletLabel("P0000017"),
            std::make_pair(std::string_view("P000001"), std::string_view("7")));
  EXPECT_EQ(SplitPalletLabel("PÄ"), std::make_pair(std::string_view("P"), std::string_view("Ä")))
      << "a character is a whole UTF-8 sequence";
  EXPECT_EQ(SplitPalletLabel(""), std::make_pair(std::string_view(), std::string_view()));
}

}  // namespace
}  // namespace talwen
