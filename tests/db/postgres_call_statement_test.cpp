// The call bridge's grammar: what a statement may hold, and what it is refused for.
#include <gtest/gtest.h>

#include "db/connection.h"
#include "db/postgres/call_statement.h"
#include "db/routine_builders.h"

namespace talwen::db::postgres {
namespace {

using testing::Null;
using testing::Number;
using testing::Text;

struct Accepted {
  std::string statement;
  RoutineName routine;
  std::vector<Argument> arguments;
};

void PrintTo(const Accepted& c, std::ostream* os) {
  for (const char ch : c.statement) *os << (ch >= ' ' && ch < 127 ? ch : '.');
}

class CallAccepted : public ::testing::TestWithParam<Accepted> {};

TEST_P(CallAccepted, ParsesToTheRoutineAndItsArguments) {
  const Accepted& c = GetParam();
  const CallStatement call = ParseCallStatement(c.statement);
  EXPECT_EQ(call.routine, c.routine);
  EXPECT_EQ(call.arguments, c.arguments);
}

INSTANTIATE_TEST_SUITE_P(
    Bridge, CallAccepted,
    ::testing::Values(
        // The frame's own rendering: a blank before each N'...'.
        Accepted{"rf_adjust_carton_qty  N'C01',  N'CTN9', 12,  N'JOE'",
                 {"", "rf_adjust_carton_qty"},
                 {Text("C01"), Text("CTN9"), Number("12"), Text("JOE")}},
        Accepted{"rf_adjust_carton_qty  N'C01',  N'CTN9', Null,  N'JOE'",
                 {"", "rf_adjust_carton_qty"},
                 {Text("C01"), Text("CTN9"), Null(), Text("JOE")}},
        Accepted{"p", {"", "p"}, {}}, Accepted{"  p  ", {"", "p"}, {}},
        Accepted{"exec p 1", {"", "p"}, {Number("1")}},
        Accepted{"EXECUTE\tp\n'a'", {"", "p"}, {Text("a")}},
        Accepted{"Exec RF_Get_PO 1", {"", "rf_get_po"}, {Number("1")}},
        Accepted{"execp", {"", "execp"}, {}}, Accepted{"exec exec", {"", "exec"}, {}},
        Accepted{"dbo.RF_X 'a'", {"dbo", "rf_x"}, {Text("a")}},
        Accepted{
            "p N'O''Brien', 'it''s', ''''", {"", "p"}, {Text("O'Brien"), Text("it's"), Text("'")}},
        Accepted{"p N'', ''", {"", "p"}, {Text(""), Text("")}},
        Accepted{"p -5, +3.25, .5, 7., 007",
                 {"", "p"},
                 {Number("-5"), Number("+3.25"), Number(".5"), Number("7."), Number("007")}},
        Accepted{"p null, NULL, nUlL", {"", "p"}, {Null(), Null(), Null()}},
        // The frame renders a text whose first character is NUL as a bare null.
        Accepted{"p null", {"", "p"}, {Null()}},
        Accepted{"get_supplier  N'C01', 'Y' ", {"", "get_supplier"}, {Text("C01"), Text("Y")}},
        Accepted{"p Y, abc_1, N, nulls",
                 {"", "p"},
                 {Text("Y"), Text("abc_1"), Text("N"), Text("nulls")}},
        Accepted{"p 1,2 ,3 , 4", {"", "p"}, {Number("1"), Number("2"), Number("3"), Number("4")}},
        Accepted{"p'a'", {"", "p"}, {Text("a")}},
        // Whatever sits inside quotes is text, never statement text.
        Accepted{"p N'x''; DROP TABLE stock; --', '/* */', N'a\nb'",
                 {"", "p"},
                 {Text("x'; DROP TABLE stock; --"), Text("/* */"), Text("a\nb")}},
        Accepted{"p N'\xC3\xA9t\xC3\xA9'", {"", "p"}, {Text("\xC3\xA9t\xC3\xA9")}}));

class CallRefused : public ::testing::TestWithParam<std::string> {};

TEST_P(CallRefused, IsAStatementError) {
  try {
    ParseCallStatement(GetParam());
    FAIL() << "accepted: " << GetParam();
  } catch (const DbError& e) {
    EXPECT_EQ(e.number(), kErrorStatement);
    EXPECT_NE(std::string(e.what()).find("Incorrect procedure call"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Bridge, CallRefused,
                         ::testing::Values("", "   ", "exec", "exec ", "1", "'p'",
                                           "p 1; drop table stock", "p 1; exec q", "p 1;",
                                           "p 'a' -- comment", "p --5", "p /* c */ 1", "p(1)",
                                           "select * from stock", "p 1 2", "p 'a' 'b'", "p 1,",
                                           "p ,1", "p 1,,2", "p 'unterminated", "p N'x''",
                                           "p 1.2.3", "p 12abc", "p -", "p +", "p .", "p 1-2",
                                           "p 1e5", "p @x", "p N 'a'", "a.b.c", "a..b", ".p", "p.",
                                           "p [x]", "p \"x\"", "p 1 'a'", "exec 'p'", "p 'a'x"));

TEST(RoutineName, AloneIsAnIdentifierOptionallyQualified) {
  EXPECT_EQ(ParseRoutineName("rf_system_logout"), (RoutineName{"", "rf_system_logout"}));
  EXPECT_EQ(ParseRoutineName(" WMS.RF_X "), (RoutineName{"wms", "rf_x"}));
  for (const char* bad : {"", "rf_x 1", "rf_x;", "a.b.c", "x'", "exec rf_x"}) {
    EXPECT_THROW(ParseRoutineName(bad), DbError) << bad;
  }
}

TEST(RoutineName, ErrorsSayWhereTheyStopped) {
  try {
    ParseCallStatement("rf_x N'a'; drop table t");
    FAIL();
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(),
                 "Incorrect procedure call: expected ',' or the end of the statement at "
                 "character 10, found '; drop table'.");
  }
}

}  // namespace
}  // namespace talwen::db::postgres
