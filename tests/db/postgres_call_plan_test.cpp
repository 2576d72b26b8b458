// The statement a call runs, built without a server: its text, its values, and the key its
// prepared statement is kept under.
#include <gtest/gtest.h>

#include <memory>

#include "db/connection.h"
#include "db/postgres/call_plan.h"
#include "db/routine_builders.h"

namespace talwen::db::postgres {
namespace {

using testing::Make;
using testing::P;

// client, qty and note inputs (the last two with defaults), a cursor and a status output.
Routine Procedure(uint64_t generation = 1) {
  return Make(true,
              {P("client", Mode::kIn), P("qty", Mode::kIn, kOidNumeric, true),
               P("note", Mode::kIn, kOidText, true), P("rs", Mode::kInOut, kOidRefcursor, true),
               P("sqlmsg", Mode::kOut)},
              0, generation);
}

// A function whose first parameter has no name: its arguments go by position.
Routine Positional() {
  return Make(false, {P("", Mode::kIn), P("b", Mode::kIn, kOidInt4, true),
                      P("c", Mode::kIn, kOidText, true), P("out", Mode::kTable)});
}

using testing::Null;
using testing::Number;
using testing::Text;

// A plan refers to its routine, which must outlive it.
CallPlan Plan(const Routine& r, std::vector<Argument> arguments) {
  static std::vector<RoutinePtr> kept;
  kept.push_back(std::make_shared<Routine>(r));
  return StatementPlan({kept.back()}, {{"s", "r"}, std::move(arguments)});
}

TEST(CallPlan, TextAndValuesOfTheStatementForm) {
  const struct {
    const char* proves;
    Routine routine;
    std::vector<Argument> arguments;
    std::string text;
    std::vector<std::string> values;
  } cases[] = {
      {"named arguments; defaults and cursors left out, an output without default Null",
       Procedure(),
       {Text("C01"), Number("5")},
       R"(CALL "s"."r"("client" => $1::text, "qty" => $2::numeric::numeric, "sqlmsg" => NULL::text))",
       {"C01", "5"}},
      {"Null is passed as Null, a text for a number parameter uncast",
       Procedure(),
       {Null(), Text("7"), Text("O'Brien")},
       R"(CALL "s"."r"("client" => NULL::text, "qty" => $1::numeric, "note" => $2::text, "sqlmsg" => NULL::text))",
       {"7", "O'Brien"}},
      {"an unnamed parameter: by position, trailing defaults left out",
       Positional(),
       {Text("a")},
       R"(SELECT * FROM "s"."r"($1::text))",
       {"a"}},
      {"by position, a number for an integer goes through numeric",
       Positional(),
       {Text("a"), Number("2.5")},
       R"(SELECT * FROM "s"."r"($1::text, $2::numeric::integer))",
       {"a", "2.5"}},
  };
  for (const auto& c : cases) {
    const CallPlan plan = Plan(c.routine, c.arguments);
    EXPECT_EQ(plan.text(), c.text) << c.proves;
    EXPECT_EQ(plan.values, c.values) << c.proves;
    EXPECT_EQ(plan.in_transaction, c.routine.returns_cursors) << c.proves;
  }
}

TEST(CallPlan, OverloadsTheCountDoesNotSettleGoUntypedInATransaction) {
  auto text = std::make_shared<Routine>(Make(false, {P("a", Mode::kIn)}));
  auto number = std::make_shared<Routine>(Make(false, {P("a", Mode::kIn, kOidNumeric)}));
  auto two = std::make_shared<Routine>(Make(false, {P("a", Mode::kIn), P("b", Mode::kIn)}));
  const CallPlan plan = StatementPlan({text, number, two}, {{"s", "r"}, {Number("5")}});
  EXPECT_EQ(plan.text(), R"(SELECT * FROM "s"."r"($1::numeric))");
  EXPECT_TRUE(plan.in_transaction);
  const CallPlan settled = StatementPlan({text, two}, {{"s", "r"}, {Text("x"), Null()}});
  EXPECT_EQ(settled.text(), R"(SELECT * FROM "s"."r"("a" => $1::text, "b" => NULL::text))");

  auto procedure = std::make_shared<Routine>(Make(true, {P("a", Mode::kIn)}));
  EXPECT_THROW(StatementPlan({text, procedure}, {{"s", "r"}, {Text("x")}}), DbError);
  EXPECT_THROW(StatementPlan({text, number}, {{"s", "r"}, {}}), DbError);
}

TEST(CallPlan, RefusedCalls) {
  const struct {
    std::vector<Argument> arguments;
    std::string message;
  } cases[] = {
      {{Text("a"), Text("b"), Text("c"), Text("d"), Text("e")},
       "The routine s.r takes at most 4 arguments; 5 were given."},
      {{}, "The routine s.r needs a value for its parameter client."},
      {{Text(std::string("a\0b", 3))},
       "A text argument holds a NUL character, which the database cannot store."},
  };
  for (const auto& c : cases) {
    try {
      Plan(Procedure(), c.arguments);
      ADD_FAILURE() << c.message;
    } catch (const DbError& e) {
      EXPECT_EQ(e.number(), kErrorStatement);
      EXPECT_EQ(e.what(), c.message);
    }
  }
}

TEST(CallPlan, TheKeyFollowsTheShapeAndTheDescriptionNotTheValues) {
  const std::string key = Plan(Procedure(), {Text("C01"), Number("5")}).key();
  EXPECT_EQ(Plan(Procedure(), {Text("C02"), Number("9")}).key(), key);
  EXPECT_NE(Plan(Procedure(), {Text("C01"), Text("5")}).key(), key) << "a text, not a number";
  EXPECT_NE(Plan(Procedure(), {Text("C01"), Null()}).key(), key) << "Null, not a value";
  EXPECT_NE(Plan(Procedure(), {Text("C01")}).key(), key) << "the default";
  EXPECT_NE(Plan(Procedure(2), {Text("C01"), Number("5")}).key(), key) << "a new description";
}

TEST(CallPlan, TheCallFormFindsItsValuesByNameWhenTheRoutineChanged) {
  // Described as (a text, sqlmsg); now (z int default, a int default, sqlmsg).
  const Routine described = Make(true, {P("a", Mode::kIn), P("sqlmsg", Mode::kInOut, kOidText)});
  const Routine now =
      Make(true, {P("z", Mode::kIn, kOidInt4, true), P("a", Mode::kIn, kOidInt4, true),
                  P("sqlmsg", Mode::kInOut, kOidText, true)});
  const CallPlan plan = ParameterPlan(now, described, {Value(), Value::text("5"), Value()});
  EXPECT_EQ(plan.text(), R"(CALL "s"."r"("a" => $1::integer))");
  EXPECT_EQ(plan.values, std::vector<std::string>{"5"});

  // By position, a skipped input before a given one is Null.
  const Routine positional = Positional();
  const CallPlan skipped =
      ParameterPlan(positional, positional, {Value(), Value::text("a"), Value(), Value::null()});
  EXPECT_EQ(skipped.text(), R"(SELECT * FROM "s"."r"($1::text, NULL::integer, NULL::text))");
}

}  // namespace
}  // namespace talwen::db::postgres
