// A routine's parameters as the engine sees them: positions, directions, defaults.
#include <gtest/gtest.h>

#include "db/postgres/catalog.h"
#include "db/postgres/pg_values.h"
#include "db/routine_builders.h"

namespace talwen::db::postgres {
namespace {

using testing::Make;
using testing::P;

std::vector<std::string> Names(const Routine& r) {
  std::vector<std::string> out;
  for (const Parameter& p : r.EngineParameters()) out.push_back(p.name);
  return out;
}

TEST(Routine, ProcedurePositionsLeaveOutCursorsAndTheReturnValue) {
  const Routine r =
      Make(true, {P("client", Mode::kIn), P("rs", Mode::kInOut, kOidRefcursor, true),
                  P("return_value", Mode::kInOut, kOidInt4, true), P("qty", Mode::kIn, kOidNumeric),
                  P("sqlstatus", Mode::kInOut, kOidInt4, true), P("sqlmsg", Mode::kOut),
                  P("rs2", Mode::kOut, kOidRefcursor)});
  EXPECT_TRUE(r.returns_cursors);
  EXPECT_EQ(r.return_value, 2);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"@RETURN_VALUE", "@client", "@qty", "@sqlstatus",
                                                "@sqlmsg"}));
  const std::vector<Parameter> params = r.EngineParameters();
  EXPECT_EQ(params[0].direction, Direction::kReturnValue);
  EXPECT_EQ(params[0].type, kTypeInteger);
  EXPECT_EQ(params[1].direction, Direction::kInput);
  EXPECT_EQ(params[2].type, kTypeNumeric);
  EXPECT_EQ(params[3].direction, Direction::kInputOutput);
  EXPECT_EQ(params[4].direction, Direction::kOutput);
}

TEST(Routine, FunctionTableColumnsAreNotParameters) {
  const Routine r =
      Make(false, {P("client", Mode::kIn), P("n", Mode::kIn, kOidInt4, true),
                   P("sqlstatus", Mode::kTable, kOidInt4), P("sqlmsg", Mode::kTable)});
  EXPECT_FALSE(r.returns_cursors);
  EXPECT_EQ(r.return_value, -1);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"@RETURN_VALUE", "@client", "@n"}));
}

TEST(Routine, FunctionsHandingBackOnlyCursorsReturnCursors) {
  EXPECT_TRUE(Make(false, {P("a", Mode::kIn)}, kOidRefcursor).returns_cursors);
  EXPECT_TRUE(Make(false, {P("a", Mode::kIn), P("c1", Mode::kOut, kOidRefcursor),
                           P("c2", Mode::kOut, kOidRefcursor)})
                  .returns_cursors);
  EXPECT_FALSE(Make(false, {P("c1", Mode::kOut, kOidRefcursor), P("n", Mode::kOut, kOidInt4)})
                   .returns_cursors);
  EXPECT_FALSE(Make(true, {P("a", Mode::kIn, kOidRefcursor)}).returns_cursors);
}

TEST(Routine, AcceptsAsManyArgumentsAsItHasWithoutMissingARequiredInput) {
  const Routine r = Make(
      true, {P("a", Mode::kIn), P("b", Mode::kIn, kOidText, true), P("st", Mode::kOut, kOidInt4)});
  EXPECT_FALSE(r.Accepts(0));  // a is required
  EXPECT_TRUE(r.Accepts(1));   // b has a default, st is an output
  EXPECT_TRUE(r.Accepts(2));
  EXPECT_TRUE(r.Accepts(3));
  EXPECT_FALSE(r.Accepts(4));
}

TEST(Routine, SameAsComparesTheWholeDefinition) {
  const Routine a = Make(true, {P("a", Mode::kIn)});
  Routine b = a;
  EXPECT_TRUE(a.SameAs(b));
  b.parameters[0].type = kOidInt4;
  EXPECT_FALSE(a.SameAs(b));
  b = a;
  b.parameters[0].has_default = true;
  EXPECT_FALSE(a.SameAs(b));
}

}  // namespace
}  // namespace talwen::db::postgres
