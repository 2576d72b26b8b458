// The ODBC provider against a real SQL Server, when one is named: TALWEN_SQLSERVER holds the
// instance's connection string ("Data Source=host,1433;Initial Catalog=scratch;User ID=...;
// Password=...", as an INI section would give it). TALWEN_SQLSERVER_DRIVER may name the ODBC
// driver. The tests load db/sqlserver/fixture.sql and run the three call forms through
// Process. Without TALWEN_SQLSERVER they are skipped.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "db/odbc/provider.h"
#include "db/odbc/target.h"
#include "support/harness.h"

namespace talwen::testing {
namespace {

using namespace std::chrono_literals;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The fixture's batches: the text between lines holding only GO.
std::vector<std::string> FixtureBatches() {
  std::ifstream in(std::string(TALWEN_SOURCE_DIR) + "/db/sqlserver/fixture.sql");
  std::vector<std::string> batches(1);
  for (std::string line; std::getline(in, line);) {
    std::string word;
    std::istringstream(line) >> word;
    if (word == "GO" && line.find_first_not_of(" \tGO\r") == std::string::npos) {
      batches.emplace_back();
    } else {
      batches.back() += line + "\n";
    }
  }
  return batches;
}

class SqlServer : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_string_ = Environment("TALWEN_SQLSERVER");
    if (connection_string_.empty()) {
      GTEST_SKIP() << "TALWEN_SQLSERVER is not set: these tests need a SQL Server "
                      "(docs/sqlserver.md says how to run them)";
    }
    const std::string driver = Environment("TALWEN_SQLSERVER_DRIVER");
    provider_ = std::make_shared<db::odbc::OdbcProvider>([driver] {
      db::odbc::Settings s;
      s.driver = driver;
      return s;
    });
    static bool loaded = false;
    if (!loaded) {
      auto c = Open();
      for (const std::string& batch : FixtureBatches()) {
        if (batch.find_first_not_of(" \t\r\n") != std::string::npos) c->execute(batch);
      }
      loaded = true;
    }
  }

  std::unique_ptr<db::Connection> Open(db::Timeouts timeouts = {}) {
    return provider_->open(db::ConnectionString(connection_string_ + ";Provider=SQLOLEDB"),
                           timeouts);
  }

  std::string connection_string_;
  std::shared_ptr<db::odbc::OdbcProvider> provider_;
};

TEST_F(SqlServer, TheThreeCallFormsThroughProcess) {
  Harness h;
  for (const std::string& name : db::odbc::ProviderNames()) h.connector.add(name, provider_);
  const db::ConnectionString source(connection_string_);
  std::string section;
  for (const auto& [keyword, value] : source.pairs()) {
    std::string quoted;
    for (const char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    section += keyword + "=\"" + quoted + "\"\n";
  }
  h.write_ini("[veldrawms]\n" + section + "[GENERAL]\n");

  const struct {
    std::initializer_list<std::pair<std::string, std::string>> session;
    std::string reply;
  } cases[] = {
      {{{"function", "rf_adjust_carton_qty"},
        {"client", "C01"},
        {"carton_no", "CTN9"},
        {"qty", "12"},
        {"operator", "JOE"}},
       "<sqlstatus>0</sqlstatus><sqlmsg>Carton CTN9 of C01 holds 12</sqlmsg><operator>JOE"
       "</operator>"},
      {{{"function", "rf_get_uom_list"}},
       "<record><uom>CTN</uom><description>Carton</description></record>"
       "<record><uom>EA</uom><description>Each</description></record>"
       "<record><uom>PLT</uom><description>Pallet</description></record>"},
      {{{"function", "rf_get_last_client_accessed"}, {"operator", "JOE"}},
       "<sqlstatus>0</sqlstatus><sqlmsg>Client found.</sqlmsg><client>C01</client>"},
      {{{"function", "rf_system_logout"}, {"operator", "Zoë"}},
       "<sqlstatus>0</sqlstatus><sqlmsg>Goodbye Zoë</sqlmsg>"},
      {{{"function", "rf_check_user_password"}, {"operator", "JOE"}, {"password", "joe123"}},
       "<sqlstatus>0</sqlstatus><sqlmsg>Checked JOE</sqlmsg>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(h.call(c.session), c.reply) << c.session.begin()->second << " " << h.last_failure();
  }
}

TEST_F(SqlServer, ValuesKeepTheirTypes) {
  const db::ResultSet set = Open()->execute("exec talwen_types").at(0);
  const struct {
    int32_t code;
    Value value;
  } expected[] = {
      {db::kTypeVarWChar, Value::text("Zoë 倉庫")},
      {db::kTypeVarChar, Value::text("abc")},
      {db::kTypeChar, Value::text("ab  ")},
      {db::kTypeLongVarWChar, Value::text("long")},
      {db::kTypeInteger, Value::int32(2147483647)},
      {db::kTypeSmallInt, Value::int16(-32768)},
      {db::kTypeUnsignedTinyInt, Value::int16(255)},
      {db::kTypeBigInt, Value::int64(-9223372036854775807)},
      {db::kTypeBoolean, Value::boolean(true)},
      {db::kTypeNumeric, Value::decimal("-0.50")},
      {db::kTypeNumeric, Value::decimal("12.5")},
      {db::kTypeCurrency, Value::currency("1234.5678")},
      {db::kTypeCurrency, Value::currency("1.2500")},
      {db::kTypeDouble, Value::real(0.1)},
      {db::kTypeSingle, Value::single(1.5f)},
      {db::kTypeDbDate, Value::date({2008, 3, 27})},
      {db::kTypeDbTimeStamp, Value::date({2008, 3, 27, 10, 11, 12})},
      {db::kTypeDbTimeStamp, Value::date({2008, 3, 27, 10, 11, 12})},
      {db::kTypeDbTimeStamp, Value::date({2008, 3, 27, 10, 11, 0})},
      {db::kTypeDbTime, Value::date({1899, 12, 30, 10, 11, 12})},
      {db::kTypeGuid, Value::text("{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}")},
      {db::kTypeVarBinary, Value::text("0x01AB")},
  };
  ASSERT_EQ(set.columns.size(), std::size(expected));
  ASSERT_EQ(set.rows.size(), 2u);
  for (size_t c = 0; c < set.columns.size(); ++c) {
    EXPECT_EQ(set.columns[c].type, expected[c].code) << set.columns[c].name;
    EXPECT_EQ(set.rows[0][c].to_text(), expected[c].value.to_text()) << set.columns[c].name;
    EXPECT_TRUE(set.rows[1][c].is_null()) << set.columns[c].name;
  }
}

TEST_F(SqlServer, ProcedureFormAndFailures) {
  auto c = Open({30s, 2s});
  const std::vector<db::Parameter> p = c->parameters("rf_system_logout");
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0].name, "@RETURN_VALUE");
  EXPECT_EQ(p[3].name, "@sqlmsg");
  const db::CallResult r =
      c->call("rf_system_logout", {Value(), Value::text("JOE"), Value(), Value()});
  EXPECT_EQ(r.values[0], Value::int32(7));
  EXPECT_EQ(r.values[2], Value::int32(0));
  EXPECT_EQ(r.values[3], Value::text("Goodbye JOE"));
  EXPECT_EQ(r.result_sets.at(0).rows.size(), 1u);

  try {
    c->execute("exec rf_check_user_password N'BROKEN', N'x'");
    ADD_FAILURE() << "no error";
  } catch (const db::DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorStatement);
    EXPECT_EQ(std::string(e.what()), "Operator BROKEN is locked.");
  }
  // Cancelled inside its own transaction: the connection must not keep that transaction.
  try {
    c->execute("exec talwen_slow 10, 1");
    ADD_FAILURE() << "not timed out";
  } catch (const db::DbError& e) {
    EXPECT_EQ(e.number(), db::kErrorTimeout) << e.what();
  }
  EXPECT_EQ(c->execute("select @@TRANCOUNT as n").at(0).rows.at(0).at(0), Value::int32(0));
  EXPECT_EQ(c->execute("select 1 as one").at(0).rows.at(0).at(0), Value::int32(1));
}

}  // namespace
}  // namespace talwen::testing
