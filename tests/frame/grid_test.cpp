#include "frame/grid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/call.h"
#include "support/scripted_provider.h"

namespace talwen {
namespace {

using testing::Closed;
using testing::T;
using testing::Texts;

// A Call on a scripted connection, without Process around it.
class Statements : public ::testing::Test {
 protected:
  std::shared_ptr<testing::ScriptedDatabase> db = std::make_shared<testing::ScriptedDatabase>();
  std::unique_ptr<db::Connection> connection =
      testing::ScriptedProvider(db).open(db::ConnectionString("Provider=Scripted"), {});
  Environment env;
  Session session;
  Request request;
  Call call{env, session, request, *connection};
};

std::vector<std::string> Names(const ResultGrid& grid) {
  std::vector<std::string> names;
  for (const db::Column& c : grid.columns()) names.push_back(c.name);
  return names;
}

TEST_F(Statements, GridIsTheLastResultSetWithRows) {
  const struct {
    const char* proves;
    std::vector<db::ResultSet> sets;
    std::optional<db::DbError> failure;
    int32_t error;
    std::string message;
    int last_row;
    std::vector<std::string> names;
  } cases[] = {
      {"an update's closed result, then one row",
       {Closed(), Texts({"sqlstatus", "sqlmsg"}, {{"0", "done"}})},
       {},
       0,
       "",
       0,
       {"sqlstatus", "sqlmsg"}},
      {"a select without rows keeps its column names",
       {Texts({"a", "b"}, {}), Texts({"c"}, {})},
       {},
       0,
       "",
       -1,
       {"a", "b"}},
      {"of two sets with rows the second wins",
       {Texts({"a"}, {{"1"}}), Texts({"b", "c"}, {{"2", "3"}, {"4", "5"}})},
       {},
       0,
       "",
       1,
       {"b", "c"}},
      {"a later set without rows changes nothing",
       {Texts({"a"}, {{"1"}}), Texts({"z"}, {})},
       {},
       0,
       "",
       0,
       {"a"}},
      {"a statement with no result at all", {}, {}, 0, "", -1, {}},
      {"a failure is recorded, not thrown",
       {},
       db::DbError(db::kErrorStatement, "Incorrect syntax near ','."),
       db::kErrorStatement,
       "Incorrect syntax near ','.",
       -1,
       {}},
      {"the command time-out is stored as -32767",
       {},
       db::DbError(db::kErrorTimeout, "Query timeout expired"),
       -32767,
       "Query timeout expired",
       -1,
       {}},
  };
  for (const auto& c : cases) {
    call.last_sql_error = 99;  // left over from an earlier statement
    call.last_sql_message = "old";
    call.last_row_index = 7;
    db->answer({c.sets, {}, c.failure});
    const ResultGrid grid = call.ExecuteToGrid("proc  N'x'");
    EXPECT_EQ(call.sql_text, "proc  N'x'");
    EXPECT_EQ(call.last_sql_error, c.error) << c.proves;
    EXPECT_EQ(call.last_sql_message, c.message) << c.proves;
    EXPECT_EQ(call.last_row_index, c.last_row) << c.proves;
    EXPECT_EQ(grid.last_row(), c.last_row) << c.proves;
    EXPECT_EQ(Names(grid), c.names) << c.proves;
    if (c.last_row < 0) {
      EXPECT_THROW(grid(0, 0), std::out_of_range) << c.proves;
    }
  }
  EXPECT_EQ(db->statements.size(), std::size(cases));
  EXPECT_EQ(db::kErrorTimeout, -2147217871);
}

TEST_F(Statements, TypedGridCarriesTypesAndAFreeCell) {
  db::ResultSet set;
  set.columns = {{"ITEM_NO", db::kTypeVarWChar}, {"Qty", db::kTypeInteger}};
  set.rows = {{T("A1"), Value::int32(5)}};
  db->answer({set});
  call.last_row_index = 4;
  TypedGrid grid = call.ExecuteToTypedGrid("x");
  EXPECT_EQ(call.last_row_index, 4) << "the typed form leaves the row index alone";
  EXPECT_EQ(grid.column_type(1), db::kTypeInteger);
  EXPECT_EQ(grid(1, 0), Value::int32(5));
  EXPECT_EQ(SetGridValueByKey(grid, " qty ", T("seen")), 1);
  EXPECT_EQ(grid.mark(1), T("seen"));
  EXPECT_TRUE(grid.mark(0).is_empty());
  EXPECT_EQ(SetGridValueByKey(grid, "price", T("x")), -1);

  db->fail(db::kErrorTimeout, "timeout");
  const TypedGrid failed = call.ExecuteToTypedGrid("x");
  EXPECT_EQ(call.last_sql_error, -32767);
  EXPECT_EQ(failed.column_count(), 0);
  EXPECT_EQ(SetGridValueByKey(grid, "", T("x")), -1);
}

TEST_F(Statements, LastRecordsetRunsTheStatementOnce) {
  db->answer({Closed(), Texts({"a"}, {{"1"}}), Texts({"b"}, {{"2"}, {"3"}})});
  Recordset rs = call.OpenLastRecordset("rf_extract  N'P1'");
  EXPECT_EQ(db->statements, std::vector<std::string>{"rf_extract  N'P1'"})
      << "executing again would repeat what the procedure changes";
  EXPECT_EQ(rs.text("B"), "2");
  rs.move_next();
  EXPECT_EQ(rs.text("b"), "3");
  rs.move_next();
  EXPECT_TRUE(rs.eof());
  EXPECT_FALSE(rs.next_recordset());
  EXPECT_THROW(rs.eof(), db::DbError) << "past the last set the recordset is closed";

  db->fail(db::kErrorStatement, "no such procedure");
  EXPECT_THROW(call.OpenLastRecordset("y"), db::DbError);
}

TEST(GridLookups, NamesAreTrimmedAndCaseBlind) {
  const ResultGrid grid({{"ITEM_NO"}, {" QTY "}, {"qty"}},
                        std::vector<db::Row>{{T("A1"), Value::int16(4), T("second")}});
  EXPECT_EQ(FindColumnIndex(grid, "  Qty "), 1) << "the first match wins";
  EXPECT_EQ(FindColumnIndex(grid, "item_no"), 0);
  EXPECT_EQ(FindColumnIndex(grid, "item"), -1);
  EXPECT_EQ(GridValueByName(grid, " Qty ", 0), Value::int16(4));
  EXPECT_EQ(GridValueByName(grid, "price", 0), T("")) << "a missing column reads as empty text";
  EXPECT_THROW(GridValueByName(grid, "qty", 1), std::out_of_range) << "there is no row 1";
}

TEST(NullToText, OnlyNullTakesTheDefault) {
  EXPECT_EQ(NullToText(Value::null(), "n/a"), "n/a");
  EXPECT_EQ(NullToText(Value(), "n/a"), "");
  EXPECT_EQ(NullToText(Value::int32(0), "n/a"), "0");
  EXPECT_EQ(NullToText(T(""), "n/a"), "");
}

TEST(FormatIsoDate, FormatsDatesNumbersAndDateTexts) {
  const struct {
    const char* proves;
    Value value;
    const char* expected;
  } cases[] = {
      {"a date", Value::date({2008, 3, 27}), "2008-03-27"},
      {"the time is dropped", Value::date({2008, 3, 27, 23, 59, 59}), "2008-03-27"},
      {"1900-01-01 as a date is a date", Value::date({1900, 1, 1}), "1900-01-01"},
      {"a 16-bit serial", Value::int16(2), "1900-01-01"},
      {"a 32-bit serial", Value::int32(39534), "2008-03-27"},
      {"a double serial with a time", Value::real(39534.75), "2008-03-27"},
      {"a negative serial", Value::real(-1.5), "1899-12-29"},
      {"a single serial", Value::single(39534.0f), "2008-03-27"},
      {"the first serial", Value::int32(-657434), "0100-01-01"},
      {"the last serial", Value::real(2958465.5), "9999-12-31"},
      {"a serial after the last day", Value::int32(2958466), ""},
      {"a serial before the first day", Value::real(-657435), ""},
      {"a huge integer serial", Value::int32(2'000'000'000), ""},
      {"a huge negative serial", Value::real(-2'000'000), ""},
      {"a date text", T("2008-03-27"), "2008-03-27"},
      {"a day-first date text", T(" 27/03/2008 "), "2008-03-27"},
      {"a date text with a time", T("2008-03-27 10:15"), "2008-03-27"},
      {"the text 1900-01-01 is no date", T("1900-01-01"), ""},
      {"nor with a time", T("01 Jan 1900 00:00:00"), ""},
      {"no such day", T("2008-02-30"), ""},
      {"empty text", T(""), ""},
      {"Null", Value::null(), ""},
      {"Boolean", Value::boolean(true), ""},
      {"decimal", Value::decimal("39534"), ""},
      {"currency", Value::currency("39534"), ""},
      {"64-bit integer", Value::int64(39534), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatIsoDate(c.value), c.expected) << c.proves;
}

TEST(ParseDateText, ReadsTheUsualForms) {
  const struct {
    const char* text;
    std::optional<DateTime> expected;
  } cases[] = {
      {"2008-03-27", DateTime{2008, 3, 27}},
      {"2008/3/7", DateTime{2008, 3, 7}},
      {"2008-03-27T10:15:01.250", DateTime{2008, 3, 27, 10, 15, 1}},
      {"27/03/2008 23:59", DateTime{2008, 3, 27, 23, 59, 0}},
      {"27.03.2008", DateTime{2008, 3, 27}},
      {"5-1-2009", DateTime{2009, 1, 5}},
      {"27 MAR 2008", DateTime{2008, 3, 27}},
      {"2008-03-27 24:00", std::nullopt},
      {"2008-03-27 10:60", std::nullopt},
      {"2008-03-27x", std::nullopt},
      {"2008-03/27", std::nullopt},
      {"27/03/08", std::nullopt},
      {"29/02/2009", std::nullopt},
      {"0099-01-01", std::nullopt},
      {"27 Mar", std::nullopt},
      {"27 Marc 2008", std::nullopt},
      {"2008", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDateText(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace talwen
