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

// Argument order is the function index's (docs/function_index.md); here, what a traced run
// with every key given does not show.
TEST(PalletEnquiries, StatementTexts) {
  const struct {
    const char* function;
    SessionValues session;
    const char* sql;
  } cases[] = {
      {"rf_get_pallet_items3", {{"pallet", ""}}, "rf_get_pallet_items3 Null"},
      {"rf_get_pallet_carton_items3",
       {{"pallet", "P1"}, {"pallet_no", "P0000017"}, {"client", "C01"}},
       "rf_get_pallet_carton_items3  N'C01',  N'P0000017'"},
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

// The pallet's place, then its numbered stock lines, only when the first row's status is
// zero (the shape the carton items share, tested in full there).
TEST(PalletEnquiries, SecondGenerationHeaderAndNumberedLines) {
  const std::vector<std::string> columns =
      testing::ColumnsRead("rf_get_pallet_items2", {}, "sqlstatus");
  const struct {
    Value status;
    bool written;
  } statuses[] = {
      {T("0"), true},
      {Value::decimal("0.00"), true},
      {Value::int32(-1), false},
      {Value::null(), false},
      {T("OK"), false},
  };
  for (const auto& c : statuses) {
    Harness h;
    db::ResultSet rows = testing::EchoRow(columns, {{"sqlstatus", c.status}});
    const db::Row row = rows.rows[0];
    rows.rows.push_back(row);
    h.db->answer({rows});
    const std::string reply = Call(h, "rf_get_pallet_items2", {});
    EXPECT_EQ(reply.empty(), !c.written) << c.status.to_text();
    if (c.written) {
      EXPECT_TRUE(
          reply.starts_with("<warehouse>warehouse</warehouse><location>location</location>"
                            "<record><rec_num>"))
          << reply;
      EXPECT_NE(reply.find("<line_no>2</line_no>"), std::string::npos) << reply;
    }
  }
}

// The contents of a pallet, and of its cartons with the carton last.
TEST(PalletEnquiries, ContentsTags) {
  for (const char* function : {"rf_get_pallet_items3", "rf_get_pallet_carton_items3"}) {
    Harness h;
    h.db->answer({testing::EchoRow(
        testing::ColumnsRead(function),
        {{"receipt_date", Value::date({2024, 12, 1})}, {"prod_date", Value::null()}})});
    const std::string reply = Call(h, function, {});
    for (const char* part : {"<record><rec_num>rec_num</rec_num>",
                             "<receipt_date>2024-12-01</receipt_date>", "<prod_date></prod_date>",
                             "<currency>Currency</currency><unit_cost>unit_cost</unit_cost>"}) {
      EXPECT_NE(reply.find(part), std::string::npos) << function << ": " << part << "\n" << reply;
    }
    EXPECT_EQ(reply.ends_with("<carton_no>carton_no</carton_no></record>"),
              std::string(function) == "rf_get_pallet_carton_items3")
        << reply;
  }
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
}

TEST(PalletEnquiries, SerialNumbersAreRecordsOfAllColumns) {
  Harness h;
  h.db->answer({Texts({"serial_no", "item_no"}, {{"SNA1005-00901", "A1005"}})});
  EXPECT_EQ(Call(h, "rf_get_pallet_serial_nos", {{"item_no", "A1005"}, {"item", "X"}}),
            "<record><serial_no>SNA1005-00901</serial_no><item_no>A1005</item_no></record>");
  EXPECT_EQ(h.db->statements.back(), "rf_get_pallet_serial_nos Null, Null,  N'A1005', Null");
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
