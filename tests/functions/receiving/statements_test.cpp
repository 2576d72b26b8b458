// The receiving functions that send statement text (grid and recordset forms): the text sent,
// byte for byte, and the reply shaped from scripted rows.
#include <gtest/gtest.h>

#include <map>

#include "receiving_fixture.h"

namespace talwen::testing::receiving {
namespace {

// A received line with every kind of value: the item only under "item", the production date
// only under "mfg_date", some optional numbers empty.
const SessionValues kLine = {
    {"client", "C1"},
    {"receipt_no", "R1"},
    {"line_no", "2"},
    {"po_no", "PO1"},
    {"pallet", "P1"},
    {"item_no", ""},
    {"item", "IT1"},
    {"uom", "EA"},
    {"qty", "5"},
    {"grade", "A"},
    {"lot", "L1"},
    {"batch", "B1"},
    {"supplier", "S1"},
    {"customer", "CU1"},
    {"receipt_date", "2009-01-05"},
    {"expiry_date", "2010-01-01"},
    {"prod_date", ""},
    {"mfg_date", "2008-12-01"},
    {"size", "M"},
    {"color", "RED"},
    {"class", "X"},
    {"width", "1.5"},
    {"depth", ""},
    {"height", "3"},
    {"weight", ""},
    {"currency", "USD"},
    {"unit_price", "9.99"},
    {"ppq_packing", "BOX"},
    {"ppq_qty", "12"},
    {"user_defined", "U1"},
    {"status", "OK"},
    {"operator", "OP"},
};

// The line's arguments after the client, up to user_defined.
const std::string kLineArgs =
    "  N'R1', 2,  N'PO1',  N'P1',  N'IT1',  N'EA', 5,  N'A',  N'L1',  N'B1',  N'S1',  N'CU1',  "
    "N'2009-01-05',  N'2010-01-01',  N'2008-12-01',  N'M',  N'RED',  N'X', 1.5, Null, 3, Null,  "
    "N'USD', 9.99,  N'BOX', 12,  N'U1'";

DateTime Day(int y, int m, int d) {
  DateTime t;
  t.year = y, t.month = m, t.day = d;
  return t;
}

struct StatementCase {
  const char* behaviour;
  std::string function;
  SessionValues session;
  std::string statement;
  std::vector<db::ResultSet> answer;
  std::string reply;
};

void PrintTo(const StatementCase& c, std::ostream* os) {
  *os << c.behaviour;
}

class Statements : public ::testing::TestWithParam<StatementCase> {};

TEST_P(Statements, SendTheTemplateAndShapeTheReply) {
  const StatementCase& c = GetParam();
  ReceivingHarness h;
  h.db->answer(c.answer);
  EXPECT_EQ(h.run(c.function, c.session), c.reply) << h.last_failure();
  ASSERT_EQ(h.db->statements.size(), 1u);
  EXPECT_EQ(h.db->statements[0], c.statement);
}

const StatementCase kStatementCases[] = {
    {"stations are listed one tag per row, other columns left out",
     "rf_get_check_in_station",
     {{"warehouse", "W1"}},
     "rf_get_check_in_station  N'W1'",
     {Texts({"warehouse", " Station "}, {{"W1", "IN1"}, {"W1", "IN2"}, {"W1", "IN3"}})},
     "<station>IN1</station><station>IN2</station><station>IN3</station>"},
    {"a carton check answers with the first row",
     "rf_receipt_check_carton",
     {{"client", "C1"}, {"receipt_no", "R1"}, {"carton_no", "CT1"}, {"operator", "OP"}},
     "rf_receipt_check_carton  N'C1',  N'R1',  N'CT1',  N'OP'",
     {Closed(), Texts({"sqlstatus", "sqlmsg", "qty"}, {{"0", "ok", "4"}, {"1", "x", "9"}})},
     "<sqlstatus>0</sqlstatus><sqlmsg>ok</sqlmsg><qty>4</qty>"},
    {"the carton-list check-in ends with a bare Y",
     "rf_receipt_checkin_carton_list",
     {{"client", "C1"}, {"receipt_no", "R1"}, {"carton_list", "CT1,CT2"}, {"operator", "OP"}},
     "rf_receipt_checkin_carton_list  N'C1',  N'R1',  N'CT1,CT2',  N'OP', Y",
     {Texts({"sqlstatus", "sqlmsg"}, {{"0", "2 cartons"}})},
     "<sqlstatus>0</sqlstatus><sqlmsg>2 cartons</sqlmsg>"},
    {"the user-defined-field update follows its name without a blank and answers from the named "
     "fields",
     "rf_update_receipt_detail_udf",
     kLine,
     "rf_update_receipt_detail_udf N'C1'," + kLineArgs + ",  N'OK',  N'OP'",
     {Texts({"sqlmsg", "sqlstatus"}, {{"Line updated.", "0"}})},
     "<sqlstatus>0</sqlstatus><sqlmsg>Line updated.</sqlmsg>"},
    {"the user-defined fields of an item pass Null for the status, whatever the session holds",
     "rf_receipt_item_udf",
     kLine,
     "rf_receipt_item_udf  N'C1'," + kLineArgs + ", Null,  N'OP'",
     {Texts({"udf_name", "udf_value"}, {{"colour", "red"}, {"origin", "FR"}})},
     "<record><udf_name>colour</udf_name><udf_value>red</udf_value></record>"
     "<record><udf_name>origin</udf_name><udf_value>FR</udf_value></record>"},
    {"an unknown receipt header gives the empty reply",
     "rf_get_receipt_master",
     {{"client", "C1"}, {"receipt_no", "R1"}, {"receipt", "R9"}},
     "rf_get_receipt_master  N'C1',  N'R1'",
     {Texts({"receipt_no"}, {})},
     ""},
    {"open receipts of a client with none give the empty reply",
     "rf_get_open_receipts",
     {{"client", "C1"}, {"receipt_no", ""}},
     "rf_get_open_receipts  N'C1',Null",
     {Texts({"receipt_no"}, {})},
     ""},
    {"one purchase order is record-wrapped under the procedure without its prefix",
     "rf_get_po",
     {{"client", "C1"}, {"po_no", "PO1"}},
     "get_po2  N'C1',  N'PO1'",
     {Texts({"po_no", "line_no"}, {{"PO1", "1"}, {"PO1", "2"}})},
     "<record><po_no>PO1</po_no><line_no>1</line_no></record>"
     "<record><po_no>PO1</po_no><line_no>2</line_no></record>"},
};

INSTANTIATE_TEST_SUITE_P(Receiving, Statements, ::testing::ValuesIn(kStatementCases));

// The fixed-tag replies, on a row whose every column holds its own name but for the values
// given: the statement, then the tags that are not their column's name or that convert its
// value (dates as ISO dates; "1900-01-01" and Null as nothing).
struct FixedTagCase {
  std::string function;
  SessionValues session;
  std::string statement;
  std::map<std::string, Value> values;
  std::vector<std::string> parts;
};

TEST(ReceivingFixedTags, RenameTheirColumnsAndConvertTheirDates) {
  const FixedTagCase cases[] = {
      {"rf_get_receipt_master",
       {{"client", "C1"}, {"receipt_no", ""}, {"receipt", "R9"}},
       "rf_get_receipt_master  N'C1',  N'R9'",
       {{"receipt_date", Value::date(Day(2008, 3, 27))}},
       {"<receipt_no>receipt_no</receipt_no>", "<container>Container</container>",
        "<receipt_date>2008-03-27</receipt_date>", "<status>Status</status>",
        "<asn_flag>asn_flag</asn_flag>"}},
      {"rf_get_receipt_asn_item",
       {{"client", "C1"}, {"receipt_no", "R1"}},
       "rf_get_receipt_asn_item  N'C1',  N'R1', 1",
       {{"qty", Value::decimal("10.000")}},
       {"<record><line_no>line_no</line_no>", "<qty>10</qty>", "<grade>grade</grade></record>"}},
      {"rf_get_item_closed_receipts",
       {{"client", "C1"}, {"item_no", ""}, {"item", "IT1"}},
       "rf_get_item_closed_receipts  N'C1',  N'IT1'",
       {{"receipt_date", T("1900-01-01")}},
       {"<record><receipt_no>receipt_no</receipt_no><status>Status</status>",
        "<receipt_date></receipt_date>"}},
      {"rf_get_open_pos",
       {{"client", "C1"}},
       "rf_get_open_pos  N'C1'",
       {{"last_receipt", Value::null()}, {"create_date", Value::date(Day(2008, 3, 1))}},
       {"<po_no>order_no</po_no><po_type>order_type</po_type><po_ref_no>reference_no</po_ref_no>",
        "<last_receipt_date></last_receipt_date><last_received_by>received_by</last_received_by>"
        "<created_date>2008-03-01</created_date><created_by>maker</created_by>"}},
      {"rf_get_open_po_items",
       {{"client", "C1"}},
       "rf_get_open_po_items  N'C1'",
       {{"last_receipt_date", Value::date(Day(2008, 3, 27))}, {"created_date", T("2008-03-01")}},
       {"<last_receipt_date>2008-03-27</last_receipt_date>",
        "<created_date>2008-03-01</created_date>"}},
      {"rf_get_open_receipts",
       {{"client", "C1"}, {"receipt_no", "R1"}},
       "rf_get_open_receipts  N'C1', N'R1'",
       {{"receipt_date", Value::date(Day(2009, 1, 5))}},
       {"<receipt_date>2009-01-05</receipt_date>"}},
      {"rf_get_po_detail",
       {{"client", "C1"}, {"po_no", "PO1"}},
       "get_po_detail  N'C1',  N'PO1'",
       {{"expiry_date", Value::date(Day(2010, 1, 1))}, {"prod_date", T("1900-01-01")}},
       {"<item_description>Description</item_description>", "<lot_no>lot</lot_no>",
        "<batch_no>batch</batch_no><expiry_date>2010-01-01</expiry_date>"
        "<prod_date>1900-01-01</prod_date>",
        "<status>Status</status>"}},
  };
  for (const FixedTagCase& c : cases) {
    ReceivingHarness h;
    h.db->answer({EchoRow(ColumnsRead(c.function, c.session), c.values)});
    const std::string reply = h.run(c.function, c.session);
    EXPECT_EQ(h.db->statements.back(), c.statement);
    for (const std::string& part : c.parts) {
      EXPECT_NE(reply.find(part), std::string::npos) << c.function << ": " << part << "\n" << reply;
    }
  }
}

}  // namespace
}  // namespace talwen::testing::receiving
