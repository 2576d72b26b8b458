// The receiving functions that send statement text (grid and recordset forms): the text sent,
// byte for byte, and the reply shaped from scripted rows.
#include <gtest/gtest.h>

#include "frame/reply.h"
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
    {"a warehouse without stations gives the empty reply",
     "rf_get_check_in_station",
     {{"warehouse", "W9"}},
     "rf_get_check_in_station  N'W9'",
     {Texts({"station"}, {})},
     ""},
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
    {"the carton-list check-in without a receipt ends with a bare Y",
     "rf_receipt_checkin_carton_list2",
     {{"client", "C1"}, {"receipt_no", "R1"}, {"carton_list", "CT1"}, {"operator", "OP"}},
     "rf_receipt_checkin_carton_list2  N'C1',  N'CT1',  N'OP', Y",
     {Texts({"sqlstatus", "sqlmsg"}, {{"0", "1 carton"}})},
     "<sqlstatus>0</sqlstatus><sqlmsg>1 carton</sqlmsg>"},
    {"the check-in without closing ends with a bare Y",
     "rf_receipt_checkin_without_closing",
     {{"client", "C1"}, {"receipt_no", "R1"}, {"operator", "OP"}},
     "rf_receipt_checkin_without_closing  N'C1',  N'R1',  N'OP', Y",
     {Texts({"sqlstatus", "sqlmsg"}, {{"-5", "Receipt R1 is closed."}})},
     "<sqlstatus>-5</sqlstatus><sqlmsg>Receipt R1 is closed.</sqlmsg>"},
    {"the user-defined-field update follows its name without a blank and answers from the named "
     "fields",
     "rf_update_receipt_detail_udf",
     kLine,
     "rf_update_receipt_detail_udf N'C1'," + kLineArgs + ",  N'OK',  N'OP'",
     {Texts({"sqlmsg", "sqlstatus"}, {{"Line updated.", "0"}})},
     "<sqlstatus>0</sqlstatus><sqlmsg>Line updated.</sqlmsg>"},
    {"the user-defined-field update with no row gives the empty reply",
     "rf_update_receipt_detail_udf",
     {{"client", "C1"}},
     "rf_update_receipt_detail_udf N'C1', Null, Null, Null, Null, Null, Null, Null, Null, Null, "
     "Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, Null, "
     "Null, Null, Null, Null, Null",
     {Texts({"sqlstatus", "sqlmsg"}, {})},
     ""},
    {"the user-defined fields of an item pass Null for the status, whatever the session holds",
     "rf_receipt_item_udf",
     kLine,
     "rf_receipt_item_udf  N'C1'," + kLineArgs + ", Null,  N'OP'",
     {Texts({"udf_name", "udf_value"}, {{"colour", "red"}, {"origin", "FR"}})},
     "<record><udf_name>colour</udf_name><udf_value>red</udf_value></record>"
     "<record><udf_name>origin</udf_name><udf_value>FR</udf_value></record>"},
    {"receipt lines are record-wrapped, column names as the database gives them",
     "rf_get_receipt_detail3",
     {{"client", "C1"}, {"receipt_no", "R1"}},
     "rf_get_receipt_detail3  N'C1',  N'R1'",
     {Rows({"line_no", "Item_No", "qty"}, {{Value::int32(1), T("IT1"), Value::null()}})},
     "<record><line_no>1</line_no><Item_No>IT1</Item_No><qty></qty></record>"},
    {"a receipt without lines gives the empty reply",
     "rf_get_receipt_detail3",
     {{"client", "C1"}, {"receipt_no", "R9"}},
     "rf_get_receipt_detail3  N'C1',  N'R9'",
     {},
     ""},
    {"the receipt header is read under its second name and written as fixed tags",
     "rf_get_receipt_master",
     {{"client", "C1"}, {"receipt_no", ""}, {"receipt", "R9"}},
     "rf_get_receipt_master  N'C1',  N'R9'",
     {Rows({"asn_flag", "remarks", "status", "receipt_ref_no", "client_so_no", "client_po_no",
            "supplier", "customer", "client", "receipt_date", "container", "vehicle", "carrier",
            "zone", "warehouse", "receipt_type", "receipt_station", "receipt_no", "extra"},
           {{T("N"), Value::null(), T("O"), T("REF"), T(""), T("CPO"), T("S1"), T("CU1"), T("C1"),
             Value::date(Day(2008, 3, 27)), T("CN1"), T("V1"), T("CAR"), T("Z1"), T("W1"), T("PO"),
             T("IN1"), T("R9"), T("not written")},
            {T("Y"), T(""), T(""), T(""), T(""), T(""), T(""), T(""), T(""), Value::null(), T(""),
             T(""), T(""), T(""), T(""), T(""), T(""), T("R10"), T("")}})},
     "<receipt_no>R9</receipt_no><receipt_station>IN1</receipt_station>"
     "<receipt_type>PO</receipt_type><warehouse>W1</warehouse><zone>Z1</zone>"
     "<carrier>CAR</carrier><vehicle>V1</vehicle><container>CN1</container>"
     "<receipt_date>2008-03-27</receipt_date><client>C1</client><customer>CU1</customer>"
     "<supplier>S1</supplier><client_po_no>CPO</client_po_no><client_so_no></client_so_no>"
     "<receipt_ref_no>REF</receipt_ref_no><status>O</status><remarks></remarks>"
     "<asn_flag>N</asn_flag>"},
    {"an unknown receipt header gives the empty reply",
     "rf_get_receipt_master",
     {{"client", "C1"}, {"receipt_no", "R1"}, {"receipt", "R9"}},
     "rf_get_receipt_master  N'C1',  N'R1'",
     {Texts({"receipt_no"}, {})},
     ""},
    {"receipt types are one tag per row",
     "rf_get_receipt_type",
     {},
     "rf_get_receipt_type",
     {Texts({"receipt_type", "description"}, {{"PO", "Purchase"}, {"RT", "Return"}})},
     "<receipt_type>PO</receipt_type><receipt_type>RT</receipt_type>"},
    {"notice items always send 1 as the third argument",
     "rf_get_receipt_asn_item",
     {{"client", "C1"}, {"receipt_no", "R1"}},
     "rf_get_receipt_asn_item  N'C1',  N'R1', 1",
     {Rows({"grade", "qty_balanced", "qty_received", "qty", "uom", "item_description", "item_no",
            "line_no"},
           {{T("A"), Value::decimal("4"), Value::decimal("6"), Value::decimal("10.000"), T("EA"),
             T("Bolt"), T("IT1"), Value::int32(1)}})},
     "<record><line_no>1</line_no><item_no>IT1</item_no><item_description>Bolt"
     "</item_description><uom>EA</uom><qty>10</qty><qty_received>6</qty_received>"
     "<qty_balanced>4</qty_balanced><grade>A</grade></record>"},
    {"closed receipts of an item follow the product key fallback",
     "rf_get_item_closed_receipts",
     {{"client", "C1"}, {"item_no", ""}, {"item", "IT1"}},
     "rf_get_item_closed_receipts  N'C1',  N'IT1'",
     {Rows({"client_po_no", "receipt_ref_no", "supplier", "receipt_date", "receipt_station",
            "warehouse", "receipt_type", "Status", "receipt_no"},
           {{T("CPO"), T("REF"), T("S1"), T("2008-03-27 10:00:00"), T("IN1"), T("W1"), T("PO"),
             T("C"), T("R1")},
            {Value::null(), T(""), T(""), T("1900-01-01"), T(""), T(""), T(""), T("C"), T("R2")}})},
     "<record><receipt_no>R1</receipt_no><status>C</status><receipt_type>PO</receipt_type>"
     "<warehouse>W1</warehouse><receipt_station>IN1</receipt_station>"
     "<receipt_date>2008-03-27</receipt_date><supplier>S1</supplier>"
     "<receipt_ref_no>REF</receipt_ref_no><client_po_no>CPO</client_po_no></record>"
     "<record><receipt_no>R2</receipt_no><status>C</status><receipt_type></receipt_type>"
     "<warehouse></warehouse><receipt_station></receipt_station><receipt_date></receipt_date>"
     "<supplier></supplier><receipt_ref_no></receipt_ref_no><client_po_no></client_po_no>"
     "</record>"},
    {"carton contents are record-wrapped",
     "rf_get_carton_rd",
     {{"client", "C1"}, {"carton_no", "CT1"}, {"operator", "OP"}, {"limit", ""}},
     "rf_get_carton_rd  N'C1',  N'CT1',  N'OP'",
     {Texts({"item_no", "qty"}, {{"IT1", "4"}})},
     "<record><item_no>IT1</item_no><qty>4</qty></record>"},
    {"open orders rename the order fields",
     "rf_get_open_pos",
     {{"client", "C1"}},
     "rf_get_open_pos  N'C1'",
     {Rows({"client", "order_no", "order_type", "reference_no", "supplier", "supplier_name",
            "transport_mode", "carrier", "last_receipt_no", "last_receipt", "received_by",
            "create_date", "maker", "remarks"},
           {{T("C1"), T("PO1"), T("STD"), T("REF"), T("S1"), T("Supplies Ltd"), T("ROAD"), T("CAR"),
             Value::null(), Value::null(), Value::null(), Value::date(Day(2008, 3, 1)), T("ANN"),
             T("")}})},
     "<record><client>C1</client><po_no>PO1</po_no><po_type>STD</po_type>"
     "<po_ref_no>REF</po_ref_no><supplier>S1</supplier><supplier_name>Supplies Ltd"
     "</supplier_name><transport_mode>ROAD</transport_mode><carrier>CAR</carrier>"
     "<last_receipt_no></last_receipt_no><last_receipt_date></last_receipt_date>"
     "<last_received_by></last_received_by><created_date>2008-03-01</created_date>"
     "<created_by>ANN</created_by><remarks></remarks></record>"},
    {"open order lines write their dates as ISO dates",
     "rf_get_open_po_items",
     {{"client", "C1"}},
     "rf_get_open_po_items  N'C1'",
     {Rows({"client",
            "po_no",
            "line_no",
            "item_no",
            "item_description",
            "uom",
            "qty_requested",
            "qty_received",
            "qty_balanced",
            "po_type",
            "po_ref_no",
            "supplier",
            "supplier_name",
            "transport_mode",
            "carrier",
            "last_receipt_no",
            "last_receipt_date",
            "last_received_by",
            "created_date",
            "created_by",
            "remarks"},
           {{T("C1"),
             T("PO1"),
             Value::int32(1),
             T("IT1"),
             T("Bolt"),
             T("EA"),
             Value::decimal("10"),
             Value::decimal("4"),
             Value::decimal("6"),
             T("STD"),
             T("REF"),
             T("S1"),
             T("Supplies Ltd"),
             T("ROAD"),
             T("CAR"),
             T("R1"),
             Value::date(Day(2008, 3, 27)),
             T("JOE"),
             T("2008-03-01"),
             T("ANN"),
             T("rush")}})},
     "<record><client>C1</client><po_no>PO1</po_no><line_no>1</line_no><item_no>IT1</item_no>"
     "<item_description>Bolt</item_description><uom>EA</uom><qty_requested>10</qty_requested>"
     "<qty_received>4</qty_received><qty_balanced>6</qty_balanced><po_type>STD</po_type>"
     "<po_ref_no>REF</po_ref_no><supplier>S1</supplier><supplier_name>Supplies Ltd"
     "</supplier_name><transport_mode>ROAD</transport_mode><carrier>CAR</carrier>"
     "<last_receipt_no>R1</last_receipt_no><last_receipt_date>2008-03-27</last_receipt_date>"
     "<last_received_by>JOE</last_received_by><created_date>2008-03-01</created_date>"
     "<created_by>ANN</created_by><remarks>rush</remarks></record>"},
    {"open receipts join their two arguments with a comma alone",
     "rf_get_open_receipts",
     {{"client", "C1"}, {"receipt_no", "R1"}},
     "rf_get_open_receipts  N'C1', N'R1'",
     {Rows({"receipt_no", "status", "receipt_type", "warehouse", "receipt_station", "receipt_date",
            "supplier", "receipt_ref_no", "client_po_no"},
           {{T("R1"), T("O"), T("PO"), T("W1"), T("IN1"), Value::date(Day(2009, 1, 5)), T("S1"),
             T("REF"), T("CPO")}})},
     "<record><receipt_no>R1</receipt_no><status>O</status><receipt_type>PO</receipt_type>"
     "<warehouse>W1</warehouse><receipt_station>IN1</receipt_station>"
     "<receipt_date>2009-01-05</receipt_date><supplier>S1</supplier>"
     "<receipt_ref_no>REF</receipt_ref_no><client_po_no>CPO</client_po_no></record>"},
    {"open receipts of a client with none give the empty reply",
     "rf_get_open_receipts",
     {{"client", "C1"}, {"receipt_no", ""}},
     "rf_get_open_receipts  N'C1',Null",
     {Texts({"receipt_no"}, {})},
     ""},
    {"order lines rename lot and batch and keep their dates as the fields' text",
     "rf_get_po_detail",
     {{"client", "C1"}, {"po_no", "PO1"}},
     "get_po_detail  N'C1',  N'PO1'",
     {Rows({"line_no", "item_no", "description", "uom", "qty", "qty_received", "qty_putaway",
            "supplier", "grade", "lot", "batch", "expiry_date", "prod_date", "item_size",
            "item_color", "item_class", "status"},
           {{Value::int32(1), T("IT1"), T("Bolt"), T("EA"), Value::decimal("10"),
             Value::decimal("4"), Value::decimal("0"), T("S1"), T("A"), T("L1"), T("B1"),
             Value::date(Day(2010, 1, 1)), T("1900-01-01"), T("M"), T("RED"), T("X"), T("O")}})},
     "<record><line_no>1</line_no><item_no>IT1</item_no><item_description>Bolt"
     "</item_description><uom>EA</uom><qty>10</qty><qty_received>4</qty_received>"
     "<qty_putaway>0</qty_putaway><supplier>S1</supplier><grade>A</grade><lot_no>L1</lot_no>"
     "<batch_no>B1</batch_no><expiry_date>2010-01-01</expiry_date>"
     "<prod_date>1900-01-01</prod_date><item_size>M</item_size><item_color>RED</item_color>"
     "<item_class>X</item_class><status>O</status></record>"},
    {"one purchase order is record-wrapped under the procedure without its prefix",
     "rf_get_po",
     {{"client", "C1"}, {"po_no", "PO1"}},
     "get_po2  N'C1',  N'PO1'",
     {Texts({"po_no", "line_no"}, {{"PO1", "1"}, {"PO1", "2"}})},
     "<record><po_no>PO1</po_no><line_no>1</line_no></record>"
     "<record><po_no>PO1</po_no><line_no>2</line_no></record>"},
};

INSTANTIATE_TEST_SUITE_P(Receiving, Statements, ::testing::ValuesIn(kStatementCases));

// ---- Failures ----

TEST(ReceivingStatements, AStationListWithoutAStationColumnEndsWithTheEmptyReply) {
  ReceivingHarness h;
  h.db->answer({Texts({"name"}, {{"IN1"}})});
  EXPECT_EQ(h.run("rf_get_check_in_station", {{"warehouse", "W1"}}), "");
}

TEST(ReceivingStatements, AFirstRowReplyWithoutRowsEndsWithTheEmptyReply) {
  ReceivingHarness h;
  h.db->answer({Texts({"sqlstatus", "sqlmsg"}, {})});
  EXPECT_EQ(h.run("rf_receipt_checkin_without_closing", {{"client", "C1"}}), "");
}

TEST(ReceivingStatements, ARecordListOnAFailedStatementEndsWithTheEmptyReply) {
  ReceivingHarness h;
  h.db->fail(db::kErrorStatement, "no such procedure");
  EXPECT_EQ(h.run("rf_get_open_pos", {{"client", "C1"}}), "");
  EXPECT_NE(h.last_failure().find("no such procedure"), std::string::npos);
}

// ---- The cut-off ----

struct CutoffCase {
  std::string function;
  std::string key;  // the key column of the sentinel record
};

void PrintTo(const CutoffCase& c, std::ostream* os) {
  *os << c.function;
}

class Cutoffs : public ::testing::TestWithParam<CutoffCase> {};

// 400 rows of about 60 characters each: far more than 16,383 characters.
std::vector<std::vector<std::string>> ManyRows() {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < 400; ++i) rows.push_back({"KEY" + std::to_string(i), "some description"});
  return rows;
}

TEST_P(Cutoffs, ABlankLimitWritesEveryRow) {
  ReceivingHarness h;
  h.db->answer({Texts({GetParam().key, "description"}, ManyRows())});
  const std::string reply = h.run(GetParam().function, {{"client", "C1"}, {"limit", "   "}});
  EXPECT_NE(reply.find("KEY399"), std::string::npos);
  EXPECT_EQ(reply.find("Too many records"), std::string::npos);
}

TEST_P(Cutoffs, ALimitStopsAfterTheRecordThatPassesTheThresholdWithTheSentinel) {
  ReceivingHarness h;
  h.db->answer({Texts({GetParam().key, "description"}, ManyRows())});
  const std::string reply = h.run(GetParam().function, {{"client", "C1"}, {"limit", "Y"}});
  const std::string sentinel =
      "<record><" + GetParam().key + "><Too many records></" + GetParam().key + "></record>";
  ASSERT_GT(reply.size(), sentinel.size());
  EXPECT_EQ(reply.substr(reply.size() - sentinel.size()), sentinel);
  const std::string listed = reply.substr(0, reply.size() - sentinel.size());
  // The last record written took the reply past the threshold; the one before did not.
  EXPECT_GT(static_cast<long>(listed.size()), Cutoff::kThreshold - 1);
  const size_t last = listed.rfind("<record>");
  EXPECT_LE(static_cast<long>(last), Cutoff::kThreshold - 1);
}

INSTANTIATE_TEST_SUITE_P(Receiving, Cutoffs,
                         ::testing::Values(CutoffCase{"rf_get_carton_rd", "item_no"},
                                           CutoffCase{"rf_get_po", "po_no"}));

}  // namespace
}  // namespace talwen::testing::receiving
