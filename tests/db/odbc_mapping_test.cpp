// The ODBC provider's pieces that need no driver: what a section becomes for the driver
// manager, the type codes and values of SQL types, parameter bindings, the order of reads,
// and what diagnostics mean.
#include <gtest/gtest.h>

#include <deque>

#include "db/odbc/results.h"
#include "db/odbc/routine.h"
#include "db/odbc/target.h"

namespace talwen::db::odbc {
namespace {

using std::chrono::seconds;
using namespace std::string_literals;

const std::vector<InstalledDriver> kAll = {{"PostgreSQL Unicode", "psqlodbcw.so"},
                                           {"FreeTDS", "libtdsodbc.so"},
                                           {"ODBC Driver 17 for SQL Server", "libmsodbcsql-17.so"},
                                           {"ODBC Driver 18 for SQL Server", "libmsodbcsql-18.so"}};
const std::vector<InstalledDriver> kFreeTds = {{"FreeTDS", "/usr/lib/odbc/libtdsodbc.so"}};

struct TargetCase {
  const char* proves;
  std::string section;
  std::vector<InstalledDriver> installed;
  std::string configured;
  std::string expected;  // the driver's connection string, or "!" + part of the refusal
};

TEST(OdbcTarget, MapsSectionsToTheDriversKeywords) {
  const TargetCase cases[] = {
      {"the newest Microsoft driver is preferred; APP names the engine",
       "Data Source=srv;Initial Catalog=wms;User ID=rf;Password=secret;PROVIDER=SQLOLEDB", kAll, "",
       "Driver={ODBC Driver 18 for SQL Server};Server=srv;Database=wms;UID=rf;PWD=secret;"
       "APP=talwen"},
      {"a port and an instance stay in Server for the Microsoft driver",
       "Provider=sqlncli11.1;Data Source=tcp:srv\\WMS,1500;User ID=rf", kAll, "",
       "Driver={ODBC Driver 18 for SQL Server};Server=srv\\WMS,1500;UID=rf;APP=talwen"},
      {"FreeTDS gets the port apart, TDS 7.4 and UTF-8",
       "Data Source=10.0.0.5,1433;Initial Catalog=wms;Provider=SQLOLEDB", kFreeTds, "",
       "Driver={FreeTDS};Server=10.0.0.5;Port=1433;Database=wms;APP=talwen;TDS_Version=7.4;"
       "ClientCharset=UTF-8"},
      {"FreeTDS takes an instance in Server; the local machine by its Windows name",
       "Provider=MSOLEDBSQL;Data Source=(local)\\SQLEXPRESS;Encrypt=yes", kFreeTds, "",
       "Driver={FreeTDS};Server=localhost\\SQLEXPRESS;APP=talwen;Encryption=require;"
       "TDS_Version=7.4;ClientCharset=UTF-8"},
      {"ODBC DRIVER names the driver, braces or not",
       "Provider=SQLOLEDB;Data Source=srv;Encrypt=False;TrustServerCertificate=True", kAll,
       "{ODBC Driver 17 for SQL Server}",
       "Driver={ODBC Driver 17 for SQL Server};Server=srv;APP=talwen;Encrypt=no;"
       "TrustServerCertificate=yes"},
      {"a driver known only by its library is FreeTDS",
       "Provider=SQLOLEDB;Data Source=srv,1444",
       {{"TDS", "/opt/libtdsodbc.so"}},
       "TDS",
       "Driver={TDS};Server=srv;Port=1444;APP=talwen;TDS_Version=7.4;ClientCharset=UTF-8"},
      {"values holding ; or braces cannot add a keyword",
       "Provider=SQLOLEDB;Data Source=srv;User ID=rf;Password=\"a;b}c\";Application Name=RF", kAll,
       "", "Driver={ODBC Driver 18 for SQL Server};Server=srv;UID=rf;PWD={a;b}}c};APP=RF"},
      {"Windows authentication is refused with what to do instead",
       "Provider=SQLOLEDB;Data Source=srv;Integrated Security=SSPI", kAll, "",
       "!give the User ID and Password of a SQL Server login"},
      {"no SQL Server driver installed",
       "Provider=SQLOLEDB;Data Source=srv",
       {{"PostgreSQL Unicode", "psqlodbcw.so"}},
       "",
       "!install ODBC Driver 18 for SQL Server or FreeTDS"},
      {"MSDASQL passes the keywords through, ADO names renamed, braces kept",
       "Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=h;User ID=u;Password=p;"
       "Connect Timeout=5;BoolsAsChar=0;PROVIDER=SQLOLEDB",
       {},
       "",
       "Driver={PostgreSQL Unicode};Server=h;UID=u;PWD=p;BoolsAsChar=0"},
      {"MSDASQL takes Data Source as the DSN",
       "Provider=MSDASQL;Data Source=wms;PWD=x;User ID=u",
       {},
       "",
       "DSN=wms;PWD=x;UID=u"},
      {"MSDASQL without a DSN or driver",
       "Provider=MSDASQL;Server=h",
       {},
       "",
       "!needs DSN= or Driver="},
  };
  for (const TargetCase& c : cases) {
    SCOPED_TRACE(c.proves);
    if (c.expected.starts_with("!")) {
      try {
        TargetOf(ConnectionString(c.section), c.installed, c.configured, seconds(30));
        ADD_FAILURE() << "not refused";
      } catch (const DbError& e) {
        EXPECT_EQ(e.number(), kErrorGeneric);
        EXPECT_NE(std::string(e.what()).find(c.expected.substr(1)), std::string::npos) << e.what();
      }
      continue;
    }
    const Target t = TargetOf(ConnectionString(c.section), c.installed, c.configured, seconds(30));
    EXPECT_EQ(t.connection_string, c.expected);
    EXPECT_EQ(t.dialect, c.section.find("MSDASQL") == std::string::npos ? Dialect::kSqlServer
                                                                        : Dialect::kGeneric);
  }
}

TEST(OdbcTarget, ConnectTimeoutSetsTheLoginTimeout) {
  const auto login = [](const std::string& value) {
    return TargetOf(ConnectionString("Provider=SQLOLEDB;Data Source=s;Connect Timeout=" + value),
                    kAll, "", seconds(30))
        .login_timeout;
  };
  EXPECT_EQ(login("5"), seconds(5));
  EXPECT_EQ(login(""), seconds(30));
  EXPECT_EQ(login("-1"), seconds(30));
  EXPECT_EQ(login("5s"), seconds(30));
}

TEST(OdbcTypes, TypeCodesFollowTheSqlType) {
  const std::pair<SqlType, int32_t> cases[] = {
      {{SQL_VARCHAR, "varchar", 20}, kTypeVarChar},
      {{SQL_VARCHAR, "varchar", 0}, kTypeLongVarChar},  // varchar(max)
      {{SQL_WVARCHAR, "nvarchar", 20}, kTypeVarWChar},
      {{SQL_WVARCHAR, "nvarchar", 0}, kTypeLongVarWChar},
      {{SQL_WCHAR, "nchar", 4}, kTypeWChar},
      {{SQL_CHAR, "char", 4}, kTypeChar},
      {{SQL_TINYINT, "tinyint", 3}, kTypeUnsignedTinyInt},
      {{SQL_BIT, "bit", 1}, kTypeBoolean},
      {{SQL_DECIMAL, "money", 19, 4}, kTypeCurrency},
      {{SQL_DECIMAL, "smallmoney", 10, 4}, kTypeCurrency},
      {{SQL_FLOAT, "money", 10}, kTypeCurrency},  // psqlODBC's money
      {{SQL_NUMERIC, "numeric", 10, 2}, kTypeNumeric},
      {{SQL_FLOAT, "float", 53}, kTypeDouble},
      {{SQL_REAL, "real", 24}, kTypeSingle},
      {{SQL_TYPE_TIMESTAMP, "smalldatetime", 16}, kTypeDbTimeStamp},
      {{SQL_TYPE_DATE, "date", 10}, kTypeDbDate},
      {{kSqlSsTime2, "time", 16, 7}, kTypeDbTime},
      {{kSqlSsTimestampOffset, "datetimeoffset", 34, 7}, kTypeVarWChar},
      {{SQL_GUID, "uniqueidentifier", 36}, kTypeGuid},
      {{SQL_VARBINARY, "varbinary", 0}, kTypeLongVarBinary},
      {{SQL_BINARY, "timestamp", 8}, kTypeBinary},
  };
  for (const auto& [type, code] : cases) EXPECT_EQ(TypeCodeOf(type), code) << type.name;
}

template <typename T>
std::string Bytes(const T& v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

TEST(OdbcTypes, BuffersBecomeTypedValues) {
  const std::u16string wide = u"Zoë 倉庫 \U0001F4E6";
  const std::string wide_bytes(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  SQLGUID guid{0xA0EEBC99, 0x9C0B, 0x4EF8, {0xBB, 0x6D, 0x6B, 0xB9, 0xBD, 0x38, 0x0A, 0x11}};
  const struct {
    Reading reading;
    std::string bytes;
    Value expected;
  } cases[] = {
      {Reading::kText, wide_bytes, Value::text("Zoë 倉庫 \U0001F4E6")},
      {Reading::kDecimal, "12.50", Value::decimal("12.50")},
      {Reading::kDecimal, "-.50", Value::decimal("-0.50")},  // no leading zero from the driver
      {Reading::kCurrency, "$1,234.50", Value::currency("1234.50")},
      {Reading::kDecimal, "NaN", Value::text("NaN")},
      {Reading::kInt16, Bytes<SQLBIGINT>(255), Value::int16(255)},
      {Reading::kInt64, Bytes<SQLBIGINT>(INT64_MIN), Value::int64(INT64_MIN)},
      {Reading::kBoolean, Bytes<unsigned char>(1), Value::boolean(true)},
      {Reading::kTimestamp, Bytes(SQL_TIMESTAMP_STRUCT{2008, 3, 27, 23, 59, 59, 997000000}),
       Value::date({2008, 3, 27, 23, 59, 59})},
      {Reading::kTime, Bytes(SQL_TIME_STRUCT{10, 11, 12}), Value::date({1899, 12, 30, 10, 11, 12})},
      {Reading::kGuid, Bytes(guid), Value::text("{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}")},
      {Reading::kBinary, std::string("\x01\xAB\x00", 3), Value::text("0x01AB00")},
  };
  for (const auto& c : cases) EXPECT_EQ(ValueOf(c.reading, c.bytes), c.expected) << c.bytes;
}

TEST(OdbcTypes, Utf16RoundTripsAndRepairsMalformedInput) {
  const std::string text = "a\0é€\U0001F600"s;
  EXPECT_EQ(Utf8Of(Utf16Of(text)), text);
  EXPECT_EQ(Utf16Of("\U0001F600").size(), 2u) << "a surrogate pair";
  EXPECT_EQ(Utf8Of(Utf16Of("a\xC3")), "a\xEF\xBF\xBD") << "a cut sequence";
  EXPECT_EQ(Utf8Of(Utf16Of("\xE0\x80\x80")), "\xEF\xBF\xBD") << "an overlong form";
  EXPECT_EQ(Utf8Of(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD") << "a lone surrogate";
}

TEST(OdbcBinding, ValuesMeetTheParametersType) {
  const SqlType integer{SQL_INTEGER, "int", 10};
  const SqlType text{SQL_WVARCHAR, "nvarchar", 5};
  const SqlType money{SQL_DECIMAL, "money", 19, 4};

  Binding b = BindingOf(Value::text("12.5"), integer, Direction::kInput);
  EXPECT_EQ(b.c_type, SQL_C_SBIGINT);
  EXPECT_EQ(b.buffer, Bytes<SQLBIGINT>(13)) << "rounded half away from zero";
  b = BindingOf(Value::text("-2.5"), integer, Direction::kInput);
  EXPECT_EQ(b.buffer, Bytes<SQLBIGINT>(-3));

  b = BindingOf(Value::text("twelve"), integer, Direction::kInput);
  EXPECT_EQ(b.c_type, SQL_C_WCHAR) << "left to the server to refuse";
  EXPECT_EQ(b.indicator, 12);

  b = BindingOf(Value::text("longer than five"), text, Direction::kInput);
  EXPECT_EQ(b.column_size, 16u) << "the server cuts it, as it cuts a literal";

  b = BindingOf(Value::text(" 1,234.50 "), money, Direction::kInput);
  EXPECT_EQ(b.c_type, SQL_C_CHAR);
  EXPECT_EQ(b.buffer, "1234.50");

  EXPECT_EQ(BindingOf(Value(), integer, Direction::kInput).indicator, SQL_DEFAULT_PARAM);
  EXPECT_EQ(BindingOf(Value(), integer, Direction::kInputOutput).indicator, SQL_NULL_DATA);
  EXPECT_EQ(BindingOf(Value::null(), integer, Direction::kInput).indicator, SQL_NULL_DATA);

  b = BindingOf(Value::text("ab"), text, Direction::kInputOutput);
  EXPECT_EQ(b.io, SQL_PARAM_INPUT_OUTPUT);
  EXPECT_EQ(b.indicator, 4);
  EXPECT_GE(b.buffer.size(), 42u) << "room for what comes back";
}

// A driver's results as a script: each result a column count and rows; outputs are there
// only once the last result has been passed, as with a real driver.
class ScriptedStream : public ResultStream {
 public:
  explicit ScriptedStream(std::deque<ResultSet> results) : results_(std::move(results)) {}
  int ColumnCount() override { return static_cast<int>(results_.front().columns.size()); }
  ColumnInfo Describe(int c) override {
    return {results_.front().columns[c - 1].name, {SQL_INTEGER, "int", 10}};
  }
  bool Fetch() override { return ++row_ < static_cast<int>(results_.front().rows.size()); }
  Value Get(int c, Reading) override { return results_.front().rows[row_][c - 1]; }
  bool NextResult() override {
    results_.pop_front();
    row_ = -1;
    done = results_.empty();
    return !done;
  }
  bool done = false;

 private:
  std::deque<ResultSet> results_;
  int row_ = -1;
};

TEST(OdbcResults, RowCountsAreSetsWithoutColumnsAndOutputsComeLast) {
  ScriptedStream stream({ResultSet{},  // an update's row count
                         ResultSet{{{"a", kTypeInteger}}, {{Value::int32(1)}, {Value::int32(2)}}},
                         ResultSet{}});
  const CallResult result = ReadCall(stream, [&] {
    EXPECT_TRUE(stream.done) << "outputs read before the last result was passed";
    return std::vector<Value>{Value::int32(0)};
  });
  ASSERT_EQ(result.result_sets.size(), 3u);
  EXPECT_FALSE(result.result_sets[0].is_open());
  EXPECT_EQ(result.result_sets[1].rows.size(), 2u);
  EXPECT_EQ(result.result_sets[1].columns[0].type, kTypeInteger);
  EXPECT_FALSE(result.result_sets[2].is_open());
  EXPECT_EQ(result.values, std::vector<Value>{Value::int32(0)});
}

TEST(OdbcDiagnostics, ServerMessagesFirstWithoutTheDriversPrefixes) {
  const std::vector<Diagnostic> records = {
      {"01000", 0, "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Changed context"},
      {"HY000", 0, "[Microsoft][ODBC Driver 18 for SQL Server]Driver note"},
      {"42000", 50000, "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Carton\n locked"},
      {"42000", 50000, "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Carton locked"},
  };
  EXPECT_EQ(DescriptionOf(records), "Carton locked. Driver note");
  EXPECT_EQ(DescriptionOf({records[0]}), "Changed context") << "only when nothing else";
  EXPECT_EQ(DescriptionOf({{"HY000", 0, "ERROR: a"}, {"HY000", 0, "b"}}), "ERROR: a. b");
}

TEST(OdbcDiagnostics, FailuresAreToldApart) {
  const struct {
    std::string state;
    int32_t number;
  } cases[] = {{"42000", kErrorStatement},
               {"HYT00", kErrorTimeout},
               {"57014", kErrorTimeout},
               {"08S01", kErrorGeneric},
               {"57P01", kErrorGeneric}};
  for (const auto& c : cases) EXPECT_EQ(ErrorOf({{c.state, 0, "x"}}).number(), c.number) << c.state;

  EXPECT_TRUE(IsStaleCall({{"42000", 201, "expects parameter"}}, Dialect::kSqlServer));
  EXPECT_TRUE(IsStaleCall({{"42000", 2812, "not found"}}, Dialect::kSqlServer));
  EXPECT_FALSE(IsStaleCall({{"42000", 50000, "raised"}}, Dialect::kSqlServer));
  EXPECT_TRUE(IsStaleCall({{"42883", 1, "no function"}}, Dialect::kGeneric));
  EXPECT_FALSE(IsStaleCall({{"22012", 1, "division by zero"}}, Dialect::kGeneric));
}

ProcedureColumn Column(std::string schema, std::string procedure, std::string name,
                       SQLSMALLINT column_type, SQLSMALLINT type = SQL_INTEGER) {
  return {std::move(schema), std::move(procedure), std::move(name), column_type,
          SqlType{type, "int", 10}};
}

TEST(OdbcRoutine, DescribesPositionsAndTheCall) {
  // As SQL Server reports them: "@" names, a ";1" group number, the return value first.
  const Routine server =
      RoutineOf(ParseRoutineName("rf_system_logout"),
                {Column("dbo", "rf_system_logout;1", "@RETURN_VALUE", SQL_RETURN_VALUE),
                 Column("dbo", "rf_system_logout;1", "@operator", SQL_PARAM_INPUT, SQL_WVARCHAR),
                 Column("dbo", "rf_system_logout;1", "@sqlstatus", SQL_PARAM_INPUT_OUTPUT),
                 Column("dbo", "rfXsystemXlogout;1", "@other", SQL_PARAM_INPUT),  // matched by "_"
                 Column("wms", "rf_system_logout;1", "@elsewhere", SQL_PARAM_INPUT)});
  ASSERT_EQ(server.parameters.size(), 3u);
  EXPECT_EQ(server.parameters[1].parameter.name, "@operator");
  EXPECT_EQ(server.parameters[1].parameter.type, kTypeVarWChar);
  EXPECT_EQ(server.parameters[2].parameter.direction, Direction::kInputOutput);
  EXPECT_EQ(server.CallText(), "{? = call rf_system_logout(?, ?)}");

  // As psqlODBC reports them: bare names, no return value, a returned table's columns.
  const Routine pg =
      RoutineOf(ParseRoutineName("wms.f"),
                {Column("wms", "f", "a", SQL_PARAM_INPUT), Column("wms", "f", "q", SQL_RESULT_COL),
                 Column("wms", "f", "st", SQL_PARAM_OUTPUT)});
  EXPECT_EQ(pg.EngineParameters()[0].name, "@RETURN_VALUE");
  EXPECT_EQ(pg.EngineParameters()[2].name, "@st");
  EXPECT_EQ(pg.CallText(), "{call wms.f(?, ?)}");

  // The values of a call moved to a changed description by name.
  const Routine changed = RoutineOf(
      ParseRoutineName("wms.f"),
      {Column("wms", "f", "new", SQL_PARAM_INPUT), Column("wms", "f", "a", SQL_PARAM_INPUT)});
  EXPECT_EQ(ValuesFor(pg, {Value(), Value::text("x"), Value()}, changed),
            (std::vector<Value>{Value(), Value(), Value::text("x")}));
  EXPECT_FALSE(changed == pg);
}

TEST(OdbcRoutine, NamesAreDottedIdentifiersOnly) {
  const RoutineName n = ParseRoutineName("wms.[dbo].rf_x");
  EXPECT_EQ(n.catalog, "wms");
  EXPECT_EQ(n.schema, "dbo");
  EXPECT_EQ(n.name, "rf_x");
  for (const char* bad : {"", "a b", "x;drop", "a..b", "p(1)", "a.b.c.d", "{call x}"}) {
    EXPECT_THROW(ParseRoutineName(bad), DbError) << bad;
  }
}

}  // namespace
}  // namespace talwen::db::odbc
