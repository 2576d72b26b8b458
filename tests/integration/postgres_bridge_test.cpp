// The call bridge against a real server: each argument form, result sets, outputs and the
// return value, types and Null, errors and their numbers, transactions, injection attempts.
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "frame/call.h"
#include "frame/sql_arg.h"
#include "integration/pg_fixture.h"

namespace talwen::testing {
namespace {

using db::DbError;
using db::ResultSet;

// A token no other test run uses, for rows written to talwen_test.log.
std::string Token(std::string_view what) {
  return std::string(what) + "-" + std::to_string(::getpid()) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

class Bridge : public PgTest {
 protected:
  // What echo_text saw of its argument.
  struct Seen {
    bool is_null = false;
    std::string value;
  };

  Seen Echo(const std::string& statement) {
    auto c = Open();
    const std::vector<ResultSet> sets = c->execute(statement);
    const db::Row& row = Only(sets).rows.at(0);
    return {row.at(1).as_int() != 0, row.at(0).to_text()};
  }

  // The error a statement fails with; fails the test when it succeeds.
  DbError ErrorOf(std::string_view statement, db::Timeouts timeouts = {}) {
    auto c = Open(timeouts);
    try {
      c->execute(statement);
    } catch (const DbError& e) {
      return e;
    }
    ADD_FAILURE() << "succeeded: " << statement;
    return DbError(0, "");
  }

  int LogRows(const std::string& token) {
    AdminConnection admin(server_);
    return std::stoi(admin.run("SELECT count(*) FROM talwen_test.log WHERE v = '" + token + "'"));
  }
};

// ---- Argument forms ----

struct Form {
  std::string arguments;
  bool is_null;
  std::string value;
};

void PrintTo(const Form& f, std::ostream* os) {
  for (const char c : f.arguments) *os << (c >= ' ' && c < 127 ? c : '.');
}

class ArgumentForms : public Bridge, public ::testing::WithParamInterface<Form> {};

TEST_P(ArgumentForms, ReachTheProcedureAsTheirValue) {
  const Form& f = GetParam();
  const Seen seen = Echo("talwen_test.echo_text " + f.arguments);
  EXPECT_EQ(seen.is_null, f.is_null) << f.arguments;
  EXPECT_EQ(seen.value, f.value) << f.arguments;
}

INSTANTIATE_TEST_SUITE_P(
    Postgres, ArgumentForms,
    ::testing::Values(Form{" N'abc'", false, "abc"}, Form{"'abc'", false, "abc"},
                      Form{"N'O''Brien'", false, "O'Brien"}, Form{"''''''", false, "''"},
                      Form{"N''", false, ""}, Form{"Null", true, ""}, Form{"NULL", true, ""},
                      Form{"null", true, ""}, Form{"bare_Word", false, "bare_Word"},
                      Form{"Y", false, "Y"}, Form{"12", false, "12"}, Form{"-3.50", false, "-3.50"},
                      Form{"N'\xC3\xA9t\xC3\xA9 \xE2\x82\xAC'", false,
                           "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"},
                      Form{"\t\n N'x' \r\n", false, "x"}));

TEST_F(Bridge, ExecAndExecutePrefixesAndLetterCaseAreAccepted) {
  EXPECT_EQ(Echo("exec talwen_test.echo_text 'a'").value, "a");
  EXPECT_EQ(Echo("EXECUTE TALWEN_TEST.Echo_Text 'b'").value, "b");
}

TEST_F(Bridge, NumbersReachNumericParametersAsNumbers) {
  const std::pair<std::string, std::string> cases[] = {
      {"12", "12"}, {"-3.50", "-3.5"}, {"+7", "7"}, {".5", "0.5"}, {"'12.25'", "12.25"}};
  for (const auto& [argument, expected] : cases) {
    auto c = Open();
    const auto sets = c->execute("talwen_test.echo_number " + argument);
    const Value& v = Only(sets).rows.at(0).at(0);
    EXPECT_EQ(v.kind(), Value::Kind::kDecimal) << argument;
    EXPECT_EQ(v.to_text(), expected) << argument;
  }
  const DbError e = ErrorOf("talwen_test.echo_number 'abc'");
  EXPECT_EQ(e.number(), db::kErrorStatement);
  EXPECT_STREQ(e.what(), "invalid input syntax for type numeric: \"abc\"");
}

// ---- Injection attempts ----

TEST_F(Bridge, InjectionAttemptsArriveAsPlainText) {
  const std::string token = Token("pwned");
  const std::string attempts[] = {
      "'; DROP TABLE talwen_test.log; --",
      "x'); CALL talwen_test.no_set('" + token + "'); --",
      "' || (SELECT 'leak') || '",
      "/* comment */",
      "-- comment",
      "a;b",
      "$1",
      "\\'",
      "N'nested'",
      "\"quoted\"",
      "\x01\x02",
      "line\nbreak",
      "';CALL talwen_test.no_set('" + token + "')--",
  };
  for (const std::string& attempt : attempts) {
    // The frame's own rendering of a text argument.
    const Seen seen = Echo(Sql("talwen_test.echo_text ").text(attempt).str());
    EXPECT_FALSE(seen.is_null) << attempt;
    EXPECT_EQ(seen.value, attempt);
  }
  EXPECT_EQ(LogRows(token), 0);
  AdminConnection admin(server_);
  EXPECT_EQ(admin.run("SELECT to_regclass('talwen_test.log')::text"), "talwen_test.log");
}

TEST_F(Bridge, ANulAsFirstCharacterArrivesAsNull) {
  // The frame renders such a value as a bare null.
  const std::string statement = Sql("talwen_test.echo_text ").text(std::string("\0DROP", 5)).str();
  EXPECT_EQ(statement, "talwen_test.echo_text null");
  EXPECT_TRUE(Echo(statement).is_null);
}

TEST_F(Bridge, ANulInsideTextIsRefusedNotCut) {
  const DbError e = ErrorOf(Sql("talwen_test.echo_text ").text(std::string("ab\0cd", 5)).str());
  EXPECT_EQ(e.number(), db::kErrorStatement);
}

TEST_F(Bridge, NumberArgumentsCannotCarryStatements) {
  // FormatSqlArg keeps digits, "." and "-" of a number: what is left is refused or a number.
  EXPECT_EQ(ErrorOf(Sql("talwen_test.echo_number ").number("1--1").str()).number(),
            db::kErrorStatement);
  EXPECT_EQ(ErrorOf(Sql("talwen_test.echo_number ").number("--").str()).number(),
            db::kErrorStatement);
  auto c = Open();
  const auto sets = c->execute(Sql("talwen_test.echo_number ").number("1; DROP TABLE x").str());
  EXPECT_EQ(Only(sets).rows.at(0).at(0).to_text(), "1");
}

// ---- Statement errors: nothing but the one call reaches the database ----

TEST_F(Bridge, AnythingButOneCallIsAStatementErrorAndRunsNothing) {
  const std::string token = Token("syntax");
  const std::string call = "talwen_test.no_set '" + token + "'";
  for (const std::string& statement :
       {call + "; " + call, call + ";", call + " -- comment", call + " /* c */",
        "talwen_test.no_set('" + token + "')", call + " 'b'", call + ",", "exec " + call + " x y",
        "CALL " + call, "select 1; " + call}) {
    const DbError e = ErrorOf(statement);
    EXPECT_EQ(e.number(), db::kErrorStatement) << statement;
  }
  EXPECT_EQ(LogRows(token), 0);
}

TEST_F(Bridge, AnUnknownRoutineIsAStatementError) {
  for (const char* statement :
       {"talwen_test.nope 1", "no_such_routine_anywhere", "talwen_test.log", "no_schema_here.x"}) {
    const DbError e = ErrorOf(statement);
    EXPECT_EQ(e.number(), db::kErrorStatement) << statement;
    EXPECT_NE(std::string(e.what()).find("Could not find stored procedure"), std::string::npos)
        << e.what();
  }
}

TEST_F(Bridge, ArgumentCountsAreChecked) {
  EXPECT_STREQ(ErrorOf("talwen_test.echo_text 'a', 'b'").what(),
               "The routine talwen_test.echo_text takes at most 1 argument; 2 were given.");
  EXPECT_STREQ(ErrorOf("talwen_test.required 'a'").what(),
               "The routine talwen_test.required needs a value for its parameter b.");
  EXPECT_STREQ(ErrorOf("talwen_test.over 'a', 'b', 'c'").what(),
               "No overload of the routine talwen_test.over takes 3 arguments.");
}

// ---- Result sets ----

TEST_F(Bridge, CursorsComeBackAsResultSetsInDeclaredOrder) {
  auto c = Open();
  const std::vector<ResultSet> sets = c->execute("talwen_test.two_sets 3");
  ASSERT_EQ(sets.size(), 2u);  // the third cursor was left Null
  ASSERT_EQ(sets[0].columns.size(), 1u);
  EXPECT_EQ(sets[0].columns[0].name, "a");
  ASSERT_EQ(sets[0].rows.size(), 1u);
  EXPECT_EQ(sets[0].rows[0][0], Value::text("one"));
  EXPECT_EQ(sets[1].columns[0].name, "b");
  EXPECT_EQ(sets[1].columns[0].type, db::kTypeInteger);
  ASSERT_EQ(sets[1].rows.size(), 3u);
  EXPECT_EQ(sets[1].rows[2][0], Value::int32(3));
}

TEST_F(Bridge, TheGridHoldsTheLastResultSetWithRows) {
  auto c = Open();
  Session session;
  Request request;
  Environment env;
  Call call(env, session, request, *c);
  const ResultGrid grid = call.ExecuteToGrid("talwen_test.two_sets 2");
  EXPECT_EQ(call.last_sql_error, 0);
  EXPECT_EQ(call.last_row_index, 1);
  EXPECT_EQ(FindColumnIndex(grid, "B"), 0);
}

TEST_F(Bridge, ACallWithoutResultSetsLeavesOneClosedResult) {
  const std::string token = Token("noset");
  auto c = Open();
  for (const std::string& statement :
       {"talwen_test.no_set '" + token + "'", std::string("talwen_test.nothing 'x'")}) {
    const std::vector<ResultSet> sets = c->execute(statement);
    ASSERT_EQ(sets.size(), 1u) << statement;
    EXPECT_FALSE(sets[0].is_open()) << statement;
  }
  EXPECT_EQ(LogRows(token), 1);  // committed, seen from another session
}

TEST_F(Bridge, FunctionsAreSelectedFrom) {
  auto c = Open();
  auto sets = c->execute("talwen_test.plain 'x'");
  ASSERT_EQ(Only(sets).columns.size(), 2u);
  EXPECT_EQ(Only(sets).rows.at(0), (db::Row{Value::text("x"), Value::int32(3)}));
  sets = c->execute("talwen_test.plain 'x', 9");
  EXPECT_EQ(Only(sets).rows.at(0).at(1), Value::int32(9));
  sets = c->execute("talwen_test.scalar 21");
  EXPECT_EQ(Only(sets).columns.at(0).name, "scalar");
  EXPECT_EQ(Only(sets).rows.at(0).at(0), Value::int32(42));
  // A function handing back cursors gives their rows.
  sets = c->execute("talwen_test.cursors");
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].rows.at(0).at(0), Value::int32(1));
  EXPECT_EQ(sets[1].columns.at(0).name, "y");
}

TEST_F(Bridge, OverloadsAreChosenByArgumentCountThenByTheServer) {
  auto c = Open();
  const std::pair<std::string, std::string> cases[] = {
      {"talwen_test.over 'a'", "one:a"},
      {"talwen_test.over 'a', 'b'", "two:ab"},
      {"talwen_test.over2 'a'", "text:a"},
      {"talwen_test.over2 5", "numeric:5"},
      // Unqualified names follow the search path (the built-ins are on it).
      {"upper N'abc'", "ABC"},
      {"exec lower 'ABC'", "abc"},
  };
  for (const auto& [statement, expected] : cases) {
    const auto sets = c->execute(statement);
    EXPECT_EQ(Only(sets).rows.at(0).at(0).to_text(), expected) << statement;
  }
}

// ---- The procedure call form ----

TEST_F(Bridge, ParameterDiscoveryListsReturnValueThenDeclaredParameters) {
  auto c = Open();
  Command command(*c, "talwen_test.outputs");
  std::vector<std::string> names;
  for (const db::Parameter& p : command.parameters()) names.push_back(p.name);
  EXPECT_EQ(names, (std::vector<std::string>{"@RETURN_VALUE", "@client", "@qty", "@note",
                                             "@sqlstatus", "@sqlmsg"}));
  EXPECT_EQ(command.parameters()[0].direction, db::Direction::kReturnValue);
  EXPECT_EQ(command.parameters()[2].type, db::kTypeNumeric);
  EXPECT_EQ(command.parameters()[4].direction, db::Direction::kInputOutput);
}

TEST_F(Bridge, UnassignedInputsTakeTheirDefaultOrNull) {
  auto c = Open();
  {
    Command command(*c, "talwen_test.outputs");
    command.set("@CLIENT", "C01");
    command.Execute();
    EXPECT_EQ(command.output("@sqlmsg"), "C01/7/none");
    EXPECT_EQ(command["@sqlstatus"], Value::int32(0));
    EXPECT_EQ(command["@RETURN_VALUE"], Value::int32(42));
    ASSERT_EQ(command.result_sets().size(), 1u);
    EXPECT_EQ(command.result_sets()[0].rows.at(0),
              (db::Row{Value::text("C01"), Value::decimal("7")}));
  }
  {
    Command command(*c, "talwen_test.outputs");  // no default for client: Null
    command.Execute();
    EXPECT_EQ(command.status_reply(), "<sqlstatus>-1</sqlstatus><sqlmsg><null>/7/none</sqlmsg>");
  }
  {
    Command command(*c, "talwen_test.outputs");  // an explicit Null is not the default
    command.inputs({"C02"});
    command.set(2, Value::null());
    command.set("@note", "n");
    command.Execute();
    EXPECT_EQ(command.output("@sqlmsg"), "C02/<null>/n");
  }
  {
    Command command(*c, "talwen_test.outputs");  // typed values
    command.set(1, "C03").set(2, Value::real(2.5));
    command.Execute();
    EXPECT_EQ(command.output("@sqlmsg"), "C03/2.5/none");
  }
}

TEST_F(Bridge, OutputParametersWithoutDefaultsAndWithoutAReturnValue) {
  auto c = Open();
  Command command(*c, "talwen_test.status_only");
  command.inputs({"JOE"});
  command.Execute();
  EXPECT_EQ(command.status_reply(), "<sqlstatus>0</sqlstatus><sqlmsg>Hello JOE</sqlmsg>");
  EXPECT_TRUE(command["@RETURN_VALUE"].is_null());
  EXPECT_TRUE(command.result_sets().empty());
}

TEST_F(Bridge, FunctionsServeTheCallFormToo) {
  auto c = Open();
  Command command(*c, "talwen_test.plain");
  ASSERT_EQ(command.parameters().size(), 3u);
  command.set("@a", "z");
  command.Execute();
  ASSERT_EQ(command.result_sets().size(), 1u);
  EXPECT_EQ(command.result_sets()[0].rows.at(0), (db::Row{Value::text("z"), Value::int32(3)}));
}

TEST_F(Bridge, AnUnknownProcedureFailsItsDescription) {
  auto c = Open();
  try {
    Command command(*c, "talwen_test.nope");
    FAIL();
  } catch (const DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorStatement);
  }
  EXPECT_THROW(Command(*c, "talwen_test.nope; drop table x"), DbError);
}

// ---- Types and Null ----

TEST_F(Bridge, ColumnTypesAndValuesKeepTheirTypes) {
  auto c = Open();
  const auto sets = c->execute("talwen_test.types");
  const ResultSet& set = Only(sets);
  std::vector<int32_t> types;
  for (const db::Column& column : set.columns) types.push_back(column.type);
  EXPECT_EQ(types, (std::vector<int32_t>{2, 3, 20, 4, 5, 131, 6, 11, 202, 202, 130, 133, 134, 135,
                                         135, 202}));
  ASSERT_EQ(set.rows.size(), 2u);
  const db::Row& r = set.rows[0];
  EXPECT_EQ(r[0], Value::int16(-32768));
  EXPECT_EQ(r[1], Value::int32(2147483647));
  EXPECT_EQ(r[2], Value::int64(INT64_MIN));
  EXPECT_EQ(r[3], Value::single(1.5f));
  EXPECT_EQ(r[4], Value::real(0.1));
  EXPECT_EQ(r[5], Value::decimal("12.50"));
  EXPECT_EQ(r[6], Value::currency("1234.56"));
  EXPECT_EQ(r[7], Value::boolean(true));
  EXPECT_EQ(r[8], Value::text("O'Brien"));
  EXPECT_EQ(r[9], Value::text("vc"));
  EXPECT_EQ(r[10], Value::text("ab  "));
  EXPECT_EQ(r[11], Value::date({2008, 3, 27, 0, 0, 0}));
  EXPECT_EQ(r[12], Value::date({1899, 12, 30, 10, 11, 12}));
  EXPECT_EQ(r[13], Value::date({2008, 3, 27, 10, 11, 12}));
  EXPECT_EQ(r[14].kind(), Value::Kind::kDate);
  EXPECT_EQ(r[15], Value::text("a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"));
  for (const Value& v : set.rows[1]) EXPECT_TRUE(v.is_null());
}

TEST_F(Bridge, TypedValuesRoundTripThroughTheCallForm) {
  auto c = Open();
  const db::Row sent = {Value::int16(-7),
                        Value::int32(123456),
                        Value::int64(9000000000),
                        Value::real(0.1),
                        Value::decimal("12.50"),
                        Value::currency("3.50"),
                        Value::boolean(false),
                        Value::text("O'Brien; --"),
                        Value::date({2008, 3, 27, 0, 0, 0}),
                        Value::date({1899, 12, 30, 10, 11, 12}),
                        Value::date({2009, 1, 5, 10, 15, 1})};
  Command command(*c, "talwen_test.round_trip");
  for (size_t i = 0; i < sent.size(); ++i) command.set(static_cast<int>(i + 1), sent[i]);
  command.Execute();
  ASSERT_EQ(command.result_sets().size(), 1u);
  EXPECT_EQ(command.result_sets()[0].rows.at(0), sent);

  Command nulls(*c, "talwen_test.round_trip");
  for (size_t i = 1; i <= sent.size(); ++i) nulls.set(static_cast<int>(i), Value::null());
  nulls.Execute();
  for (const Value& v : nulls.result_sets()[0].rows.at(0)) EXPECT_TRUE(v.is_null());
}

TEST_F(Bridge, RenderedArgumentsReachTypedParameters) {
  auto c = Open();
  const auto sets = c->execute(
      "talwen_test.round_trip 1, 2.4, -3, 1.25, 12.50, 3.5, 'true', N'x', '27 Mar 2008', "
      "'10:11:12', N'2008-03-27 10:11:12'");
  EXPECT_EQ(
      Only(sets).rows.at(0),
      (db::Row{Value::int16(1), Value::int32(2), Value::int64(-3), Value::real(1.25),
               Value::decimal("12.50"), Value::currency("3.50"), Value::boolean(true),
               Value::text("x"), Value::date({2008, 3, 27, 0, 0, 0}),
               Value::date({1899, 12, 30, 10, 11, 12}), Value::date({2008, 3, 27, 10, 11, 12})}));
}

// ---- Errors ----

TEST_F(Bridge, ARaisedErrorIsAStatementErrorWithTheServersMessage) {
  const DbError e = ErrorOf("talwen_test.fail N'Carton CTN9 is locked.'");
  EXPECT_EQ(e.number(), db::kErrorStatement);
  EXPECT_STREQ(e.what(), "Carton CTN9 is locked.");

  auto c = Open();
  Session session;
  Request request;
  Environment env;
  Call call(env, session, request, *c);
  call.ExecuteToGrid("talwen_test.fail 'x'");
  EXPECT_EQ(call.last_sql_error, -2147217900);
  EXPECT_EQ(call.last_sql_message, "x");
  EXPECT_EQ(call.last_row_index, -1);
}

TEST_F(Bridge, TheCommandTimeOutCancelsTheStatement) {
  const auto start = std::chrono::steady_clock::now();
  auto c = Open({std::chrono::seconds(30), std::chrono::seconds(1)});
  try {
    c->execute("talwen_test.slow 5");
    FAIL() << "not cancelled";
  } catch (const DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorTimeout);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  // The connection stands; the grid stores the time-out as -32767.
  Session session;
  Request request;
  Environment env;
  Call call(env, session, request, *c);
  call.ExecuteToGrid("talwen_test.slow 5");
  EXPECT_EQ(call.last_sql_error, -32767);
  EXPECT_NO_THROW(c->execute("talwen_test.backend"));
}

TEST_F(Bridge, ABadPasswordIsAConnectionFailureWithTheServersMessage) {
  try {
    provider_->open(db::ConnectionString(server_.connection_string("wrong password")), {});
    FAIL();
  } catch (const DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorGeneric);
    EXPECT_NE(std::string(e.what()).find("password authentication failed"), std::string::npos)
        << e.what();
  }
}

// ---- Transactions ----

TEST_F(Bridge, AFailedCallLeavesNothingBehind) {
  const std::string raised = Token("raised"), unreadable = Token("unreadable");
  auto c = Open();
  const int backend = BackendOf(*c);
  EXPECT_THROW(c->execute("talwen_test.insert_then_fail '" + raised + "'"), DbError);
  // The cursor fails when read, in the round trip that also commits, after the insert: the
  // whole call is undone.
  try {
    c->execute("talwen_test.insert_then_bad_cursor '" + unreadable + "'");
    FAIL();
  } catch (const DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorStatement);
    EXPECT_STREQ(e.what(), "division by zero");
  }
  EXPECT_EQ(LogRows(raised), 0);
  EXPECT_EQ(LogRows(unreadable), 0);
  // The same connection is clean for the next call.
  const db::Row row = Only(c->execute("talwen_test.echo_text 'after'")).rows.at(0);
  EXPECT_EQ(row.at(0).to_text(), "after");
  EXPECT_EQ(BackendOf(*c), backend);
}

}  // namespace
}  // namespace talwen::testing
