// Contract tests of the stock movement and carton handlers: the statements and parameter
// values they send, and the replies they make of what the database answers.
#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "support/function_calls.h"
#include "support/harness.h"

namespace talwen {
namespace {

using testing::Answer;
using testing::Call;
using testing::Harness;
using testing::Outputs;
using testing::Rows;
using testing::SessionValues;
using testing::T;
using testing::Texts;

// ---- Statement texts of the grid call form ----
// Argument order is the function index's (docs/function_index.md); here, what a traced run
// with every key given does not show: conversions, missing keys, the item's two keys.

TEST(StockStatements, RenderEveryArgumentInTemplateOrder) {
  const struct {
    const char* function;
    SessionValues session;
    const char* statement;
  } cases[] = {
      {"rf_create_stock",
       {{"warehouse", "W1"},
        {"location", "A-01"},
        {"client", "C01"},
        {"item_no", ""},
        {"item", "SKU1"},
        {"grade", "A"},
        {"uom", "EA"},
        {"qty", "12 pcs"},
        {"ref_no", "ADJ1"},
        {"operator", "OP"}},
       "rf_create_stock  N'W1',  N'A-01',  N'C01',  N'SKU1',  N'A',  N'EA', 12,  N'ADJ1',  "
       "N'OP'"},
      {"rf_create_carton",  // "item_no" alone
       {{"warehouse", "W1"},
        {"location", "A-01"},
        {"client", "C01"},
        {"item", "SKU1"},
        {"batch_no", "B1"},
        {"qty", "6"},
        {"uom", "EA"},
        {"carton_no", "CTN1"},
        {"operator", "OP"}},
       "rf_create_carton  N'W1',  N'A-01',  N'C01', Null,  N'B1', 6,  N'EA',  N'CTN1',  N'OP'"},
      {"rf_adjust_carton_qty",
       {{"client", "C01"}, {"carton_no", "CTN9"}, {"qty", ""}, {"operator", "JOE"}},
       "rf_adjust_carton_qty  N'C01',  N'CTN9', Null,  N'JOE'"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({Texts({"sqlstatus", "sqlmsg", "carton_no"}, {{"0", "Done.", "CTN1"}})});
    EXPECT_EQ(Call(h, c.function, c.session),
              "<sqlstatus>0</sqlstatus><sqlmsg>Done.</sqlmsg><carton_no>CTN1</carton_no>")
        << c.function;
    ASSERT_EQ(h.db->statements.size(), 1u) << c.function;
    EXPECT_EQ(h.db->statements[0], c.statement) << c.function;
  }
}

// ---- Procedure call form ----

struct ProcedureCase {
  const char* function;
  std::vector<std::string> inputs;  // the procedure's input names, in declared order
  SessionValues session;
  std::vector<std::string> expected;  // the texts passed at positions 1, 2, ...
};

const ProcedureCase kStatusProcedures[] = {
    {"rf_item_relocation",
     {"@pallet", "@warehouse", "@location", "@destination", "@client", "@item", "@rec_num", "@qty",
      "@uom", "@operator"},
     {{"client", "C01"},
      {"operator", "OP"},
      {"item_no", ""},
      {"item", "SKU1"},
      {"uom", "EA"},
      {"qty", "3"},
      {"pallet", "P1"},
      {"warehouse", "W1"},
      {"location", "A-01"},
      {"rec_num", "1042"},
      {"destination", "B-02"}},
     {"P1", "W1", "A-01", "B-02", "C01", "SKU1", "1042", "3", "EA", "OP"}},
    {"rf_item_relocation2",
     {"@rec_num", "@warehouse", "@location", "@pallet", "@qty", "@grade", "@operator"},
     {{"rec_num", "1042"},
      {"warehouse", "W1"},
      {"location", "B-02"},
      {"pallet", "P2"},
      {"qty", "2"},
      {"grade", "B"},
      {"operator", "OP"}},
     {"1042", "W1", "B-02", "P2", "2", "B", "OP"}},
    {"rf_pallet_relocation",
     {"@pallet", "@warehouse", "@location", "@grade", "@operator"},
     {{"pallet", "P1"}, {"warehouse", "W1"}, {"location", "C-03"}, {"operator", "OP"}},
     {"P1", "W1", "C-03", "", "OP"}},
    {"rf_update_pallet_location_qty",
     {"@rec_num", "@new_uom", "@new_qty", "@docref", "@operator"},
     {{"rec_num", "1042"},
      {"new_uom", "CS"},
      {"new_qty", " 4 "},
      {"docref", "DOC1"},
      {"operator", "OP"}},
     {"1042", "CS", " 4 ", "DOC1", "OP"}},
    {"rf_update_serial_pallet",  // "item_no" alone
     {"@client", "@item_no", "@serial_no", "@pallet", "@operator"},
     {{"client", "C01"},
      {"item", "SKU1"},
      {"serial_no", "SN1"},
      {"pallet", "P1"},
      {"operator", "OP"}},
     {"C01", "", "SN1", "P1", "OP"}},
};

TEST(StockProcedures, PassTheirInputsAsTextsInProcedureOrder) {
  for (const ProcedureCase& c : kStatusProcedures) {
    Harness h;
    h.db->procedure(c.function, c.inputs, {"@sqlstatus", "@sqlmsg"});
    h.db->answer(Outputs({{"@sqlstatus", Value::int32(0)}, {"@sqlmsg", T("Moved.")}}));
    EXPECT_EQ(Call(h, c.function, c.session), "<sqlstatus>0</sqlstatus><sqlmsg>Moved.</sqlmsg>")
        << c.function;
    ASSERT_EQ(h.db->calls.size(), 1u) << c.function;
    const auto& values = h.db->calls[0].values;
    for (size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_EQ(values[i + 1], T(c.expected[i])) << c.function << " input " << i + 1;
    }
  }
}

TEST(StockProcedures, OnlyTheItemRelocationsFillInAnEmptyMessage) {
  const std::map<std::string, std::pair<std::string, std::string>> defaults = {
      {"rf_item_relocation", {"Item transferred.", "Failed to transfer item from pallet."}},
      {"rf_item_relocation2", {"Item relocated.", "Failed to relocate item from pallet."}},
  };
  const struct {
    Value status;
    Value message;
    bool success;  // which default applies when the message is empty
  } outcomes[] = {
      {T("0"), Value::null(), true},
      {T("1"), T(""), false},
      {T(" 0"), Value::null(), false},
      {T("1"), T("Pallet is locked."), false},
  };
  for (const ProcedureCase& c : std::span(kStatusProcedures).first(3)) {
    for (const auto& o : outcomes) {
      Harness h;
      h.db->procedure(c.function, c.inputs, {"@sqlstatus", "@sqlmsg"});
      h.db->answer(Outputs({{"@sqlstatus", o.status}, {"@sqlmsg", o.message}}));
      std::string message = o.message.to_text();
      const auto d = defaults.find(c.function);
      if (message.empty() && d != defaults.end()) {
        message = o.success ? d->second.first : d->second.second;
      }
      EXPECT_EQ(Call(h, c.function, c.session),
                "<sqlstatus>" + o.status.to_text() + "</sqlstatus><sqlmsg>" + message + "</sqlmsg>")
          << c.function << " status '" << o.status.to_text() << "'";
    }
  }
}

TEST(NextPalletNo, AnswersTheNumberAlone) {
  Harness h;
  h.db->procedure("rf_next_pallet_no", {"@client", "@customer"}, {"@pallet"});
  h.db->answer(Outputs({{"@pallet", T("P000123K")}}));
  EXPECT_EQ(Call(h, "rf_next_pallet_no", {{"customer", "CU1"}, {"client", "C01"}}),
            "<pallet_no>P000123K</pallet_no>");
}

// ---- Cartons and their stock lines ----

// The carton's place once, then a numbered record per stock line (renamed and converted tags
// shown; each other value is its column's name).
TEST(CartonItems, WritesTheLocationThenOneNumberedRecordPerStockLine) {
  const std::vector<std::string> columns =
      testing::ColumnsRead("rf_get_carton_items2", {}, "sqlstatus");
  db::ResultSet rows = testing::EchoRow(
      columns, {{"sqlstatus", Value::int32(0)}, {"expiry_date", Value::date({2009, 3, 27})}});
  rows.rows.push_back(testing::EchoRow(columns, {{"sqlstatus", Value::int32(0)},
                                                 {"expiry_date", Value::null()},
                                                 {"last_update", T("1900-01-01")}})
                          .rows[0]);
  Harness h;
  h.db->answer({rows});
  const std::string reply =
      Call(h, "rf_get_carton_items2", {{"client", "C01"}, {"carton_no", "CTN1"}});
  EXPECT_EQ(h.db->statements[0], "rf_get_carton_items  N'C01',  N'CTN1'");
  for (const char* part :
       {"<warehouse>warehouse</warehouse><location>location</location><record><rec_num>",
        "<description>Description</description>",
        "<expiry_date>2009-03-27</expiry_date><line_no>1</line_no><supplier>",
        "<expiry_date></expiry_date><line_no>2</line_no>", "<width>item_width</width>",
        "<status>Status</status>", "<last_update></last_update>",
        "<currency>Currency</currency>"}) {
    EXPECT_NE(reply.find(part), std::string::npos) << part << "\n" << reply;
  }
}

TEST(CartonItems, AnythingButAZeroStatusInTheFirstRowGivesTheEmptyReply) {
  const std::vector<std::string> columns =
      testing::ColumnsRead("rf_get_carton_items2", {}, "sqlstatus");
  const struct {
    Value status;
    bool listed;
  } cases[] = {
      {Value::int32(0), true}, {T(" 0.0 "), true}, {T("1"), false},
      {Value::null(), false},  {T("zero"), false},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer({testing::EchoRow(columns, {{"sqlstatus", c.status}})});
    const std::string reply = Call(h, "rf_get_carton_items2", {{"carton_no", "CTN1"}});
    EXPECT_EQ(!reply.empty(), c.listed) << "status '" << c.status.to_text() << "'";
  }
}

}  // namespace
}  // namespace talwen
