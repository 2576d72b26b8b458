// The receiving functions of the procedure call form: the procedure called, the value passed
// at each position (text, Null, double, 16-bit integer, date, or nothing), and the reply built
// from the output parameters in its fixed order.
#include <gtest/gtest.h>

#include <map>

#include "receiving_fixture.h"

namespace talwen::testing::receiving {
namespace {

using OutputValues = std::map<std::string, Value>;

const OutputValues kDone = {{"@sqlstatus", Value::int32(0)}, {"@sqlmsg", T("Done.")}};

struct ProcedureCase {
  const char* behaviour;
  std::string function;
  SessionValues session;
  std::string procedure;
  std::vector<std::string> passed;  // positions 1 onward, as Describe gives them
  OutputValues outputs;
  std::string reply;
};

void PrintTo(const ProcedureCase& c, std::ostream* os) {
  *os << c.behaviour;
}

class Procedures : public ::testing::TestWithParam<ProcedureCase> {};

TEST_P(Procedures, PassTheInputsByPositionAndReplyFromTheOutputs) {
  const ProcedureCase& c = GetParam();
  ReceivingHarness h;
  h.db->answer(Outputs(c.outputs));
  EXPECT_EQ(h.run(c.function, c.session), c.reply) << h.last_failure();
  ASSERT_EQ(h.db->calls.size(), 1u);
  EXPECT_EQ(h.db->calls[0].procedure, c.procedure);
  EXPECT_EQ(Passed(h.db->calls[0]), c.passed);
  EXPECT_TRUE(h.db->statements.empty());
}

// A full received line: the item only under "item", the production date only under
// "mfg_date", some optional numbers empty, a line number that must not be passed on.
const SessionValues kLine = {
    {"client", "C1"},
    {"receipt_no", "R1"},
    {"line_no", "7"},
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
    {"receipt_date", "05/01/2009"},
    {"expiry_date", "2010-01-01"},
    {"prod_date", ""},
    {"mfg_date", "2008-12-01"},
    {"size", "M"},
    {"color", "RED"},
    {"class", "X"},
    {"width", "12.5"},
    {"depth", ""},
    {"height", " 3 "},
    {"weight", "-0.25"},
    {"currency", "USD"},
    {"unit_price", ""},
    {"ppq_packing", "BOX"},
    {"ppq_qty", "12"},
    {"user_defined", "U1"},
    {"asn_line_no", "4"},
    {"status", "OK"},
    {"operator", "OP"},
};

// Positions 4 to 29 of the line procedures for kLine.
const std::vector<std::string> kLineTail = {
    "P1",  "IT1",       "EA",         "real:5",     "A",          "L1",  "B1",
    "S1",  "CU1",       "05/01/2009", "2010-01-01", "2008-12-01", "M",   "RED",
    "X",   "real:12.5", "null",       "real:3",     "real:-0.25", "USD", "null",
    "BOX", "real:12",   "U1",         "OK",         "OP"};

std::vector<std::string> Join(std::vector<std::string> head, const std::vector<std::string>& tail,
                              std::vector<std::string> after = {}) {
  head.insert(head.end(), tail.begin(), tail.end());
  head.insert(head.end(), after.begin(), after.end());
  return head;
}

SessionValues With(SessionValues values, const SessionValues& changes) {
  for (const auto& [key, value] : changes) {
    bool found = false;
    for (auto& [k, v] : values) {
      if (k == key) v = value, found = true;
    }
    if (!found) values.emplace_back(key, value);
  }
  return values;
}

const ProcedureCase kProcedureCases[] = {
    {"a new receipt number comes back under receipt_no",
     "rf_next_receipt_num",
     {{"client", "C1"}, {"operator", "OP"}},
     "rf_next_receipt_num",
     {"C1", "OP", "empty"},
     {{"@receipt", T("R000042")}},
     "<receipt_no>R000042</receipt_no>"},
    {"the header takes sixteen texts and answers with the receipt number first",
     "rf_check_in_header",
     {{"client", "C1"},
      {"receipt_no", ""},
      {"warehouse", "W1"},
      {"station", "IN1"},
      {"receipt_date", "5/1/09"},
      {"receipt_type", "PO"},
      {"carrier", "CAR"},
      {"vehicle", "V1"},
      {"container", "CN1"},
      {"customer", "CU1"},
      {"supplier", "S1"},
      {"client_po_no", "CPO"},
      {"client_so_no", "CSO"},
      {"receipt_ref_no", "REF"},
      {"operator", "OP"}},
     "rf_check_in_header",
     {"C1", "", "W1", "IN1", "5/1/09", "PO", "CAR", "V1", "CN1", "CU1", "S1", "CPO", "CSO", "REF",
      "Created through RF Terminal.", "OP", "empty", "empty"},
     {{"@receipt_no", T("R000043")},
      {"@sqlstatus", Value::int32(0)},
      {"@sqlmsg", T("Receipt created.")}},
     "<receipt_no>R000043</receipt_no><sqlstatus>0</sqlstatus>"
     "<sqlmsg>Receipt created.</sqlmsg>"},
    {"a scanned line passes Null for its line number and answers with the line number last",
     "rf_check_duplicate_receipt_detail",
     kLine,
     "rf_check_duplicate_receipt_detail",
     Join({"C1", "R1", "null"}, kLineTail, {"empty", "empty"}),
     {{"@line_no", Value::int32(3)},
      {"@sqlstatus", Value::int32(0)},
      {"@sqlmsg", T("Line 3 stored.")}},
     "<sqlstatus>0</sqlstatus><sqlmsg>Line 3 stored.</sqlmsg><line_no>3</line_no>"},
    {"the production date is read from prod_date first and the item from item_no first",
     "rf_check_duplicate_receipt_detail",
     With(kLine, {{"prod_date", "2008-11-30"}, {"item_no", "IT2"}}),
     "rf_check_duplicate_receipt_detail",
     [] {
       auto passed = Join({"C1", "R1", "null"}, kLineTail, {"empty", "empty"});
       passed[4] = "IT2";
       passed[14] = "2008-11-30";
       return passed;
     }(),
     {{"@sqlstatus", Value::int32(-1)}, {"@sqlmsg", T("Duplicate line.")}},
     "<sqlstatus>-1</sqlstatus><sqlmsg>Duplicate line.</sqlmsg><line_no></line_no>"},
    {"the expected quantity of an item is written as numbers",
     "rf_check_receipt_item_qty",
     {{"client", "C1"}, {"receipt_no", "R1"}, {"item_no", ""}, {"item", "IT1"}},
     "rf_check_receipt_item_qty",
     {"C1", "R1", "IT1", "empty", "empty", "empty", "empty"},
     {{"@qty", Value::decimal("12.500")},
      {"@uom", T("EA")},
      {"@rm_status", Value::null()},
      {"@serial_qty", Value::int32(3)}},
     "<qty>12.5</qty><uom>EA</uom><rm_status></rm_status><serial_qty>3</serial_qty>"},
    {"a Null message gives an empty sqlmsg",
     "rf_close_receipt2",
     {{"client", "C1"}, {"receipt_no", "R1"}, {"operator", "OP"}},
     "rf_close_receipt2",
     {"C1", "R1", "OP", "empty", "empty"},
     {{"@sqlstatus", Value::int32(0)}},
     "<sqlstatus>0</sqlstatus><sqlmsg></sqlmsg>"},
    {"a line update converts line numbers to 16-bit integers and leaves 30 and 31 alone",
     "rf_update_receipt_detail",
     kLine,
     "rf_update_receipt_detail",
     Join({"C1", "R1", "int16:7"}, kLineTail, {"empty", "empty", "int16:4", "PO1"}),
     {{"@line_no", Value::int32(7)},
      {"@sqlstatus", Value::int32(0)},
      {"@sqlmsg", T("Line 7 updated.")}},
     "<sqlstatus>0</sqlstatus><sqlmsg>Line 7 updated.</sqlmsg><line_no>7</line_no>"},
    {"a line update with empty line numbers passes Null at 3 and 32",
     "rf_update_receipt_detail",
     With(kLine, {{"line_no", ""}, {"asn_line_no", ""}}),
     "rf_update_receipt_detail",
     Join({"C1", "R1", "null"}, kLineTail, {"empty", "empty", "null", "PO1"}),
     {{"@sqlstatus", Value::int32(-2)}, {"@sqlmsg", T("Line not found.")}},
     "<sqlstatus>-2</sqlstatus><sqlmsg>Line not found.</sqlmsg><line_no></line_no>"},
    {"a serial number is recorded with its receipt date as a date (year first)",
     "rf_update_receipt_serial",
     {{"client", "C1"},
      {"item_no", "IT1"},
      {"item", "IGNORED"},
      {"serial_no", "SN1"},
      {"receipt_no", "R1"},
      {"receipt_date", "2009-01-05"},
      {"supplier", "S1"},
      {"pallet", "P1"},
      {"operator", "OP"}},
     "rf_update_receipt_serial",
     {"C1", "IT1", "SN1", "R1", "date:2009-01-05", "S1", "P1", "OP", "empty", "empty"},
     kDone,
     "<sqlstatus>0</sqlstatus><sqlmsg>Done.</sqlmsg>"},
    {"a serial number on a receipt line passes the line at 5 and the date at 6",
     "rf_update_receipt_serial2",
     {{"client", "C1"},
      {"item_no", "IT1"},
      {"serial_no", "SN1"},
      {"receipt_no", "R1"},
      {"receipt_date", "27/03/2008"},
      {"supplier", "S1"},
      {"pallet", "P1"},
      {"operator", "OP"},
      {"receipt_line", "3"}},
     "rf_update_receipt_serial2",
     {"C1", "IT1", "SN1", "R1", "int16:3", "date:2008-03-27", "S1", "P1", "OP", "empty", "empty"},
     kDone,
     "<sqlstatus>0</sqlstatus><sqlmsg>Done.</sqlmsg>"},
};

INSTANTIATE_TEST_SUITE_P(Receiving, Procedures, ::testing::ValuesIn(kProcedureCases));

// ---- Conversions that fail: the empty reply, and no procedure is called ----

struct RefusedCase {
  const char* behaviour;
  std::string function;
  SessionValues session;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
  *os << c.behaviour;
}

class RefusedInputs : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedInputs, EndTheHandlerBeforeTheDatabaseIsCalled) {
  ReceivingHarness h;
  h.db->answer(Outputs(kDone));
  EXPECT_EQ(h.run(GetParam().function, GetParam().session), "");
  EXPECT_TRUE(h.db->calls.empty());
  EXPECT_NE(h.last_failure().find("Type mismatch"), std::string::npos) << h.last_failure();
}

const SessionValues kSerial = {{"client", "C1"},
                               {"item_no", "IT1"},
                               {"serial_no", "SN1"},
                               {"receipt_no", "R1"},
                               {"receipt_date", "2009-01-05"},
                               {"receipt_line", "3"},
                               {"operator", "OP"}};

const RefusedCase kRefusedCases[] = {
    {"an empty quantity", "rf_check_duplicate_receipt_detail", With(kLine, {{"qty", ""}})},
    {"a quantity that is no number", "rf_check_duplicate_receipt_detail",
     With(kLine, {{"qty", "5 kg"}})},
    {"a blank unit price (only the empty text is Null)", "rf_check_duplicate_receipt_detail",
     With(kLine, {{"unit_price", " "}})},
    {"a fractional line number", "rf_update_receipt_detail", With(kLine, {{"line_no", "2.5"}})},
    {"a line number beyond 16 bits", "rf_update_receipt_detail",
     With(kLine, {{"line_no", "40000"}})},
    {"a receipt date that names no day", "rf_update_receipt_serial",
     With(kSerial, {{"receipt_date", "31/02/2009"}})},
    {"a month-first receipt date", "rf_update_receipt_serial",
     With(kSerial, {{"receipt_date", "01/13/2009"}})},
};

INSTANTIATE_TEST_SUITE_P(Receiving, RefusedInputs, ::testing::ValuesIn(kRefusedCases));

// ---- Outputs that cannot be converted ----

TEST(ReceivingOutputs, ANullExpectedQuantityEndsWithTheEmptyReply) {
  ReceivingHarness h;
  h.db->answer(Outputs({{"@serial_qty", Value::int32(0)}}));
  EXPECT_EQ(h.run("rf_check_receipt_item_qty", {{"client", "C1"}}), "");
}

TEST(ReceivingOutputs, ANumericQuantityTextIsWrittenAsItsNumber) {
  ReceivingHarness h;
  h.db->answer(
      Outputs({{"@qty", T(" 0012.0 ")}, {"@serial_qty", Value::real(2)}, {"@uom", T("EA")}}));
  EXPECT_EQ(h.run("rf_check_receipt_item_qty", {{"client", "C1"}}),
            "<qty>12</qty><uom>EA</uom><rm_status></rm_status><serial_qty>2</serial_qty>");
}

}  // namespace
}  // namespace talwen::testing::receiving
