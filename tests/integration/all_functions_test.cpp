// Every RF function called once through Process on a copy of the reference database, with
// demo data under every key it reads: none may send a statement the database refuses (an
// unknown procedure, the wrong number or kinds of arguments) or meet an error in a routine
// instead of its status answer. This is what the contract tests cannot see, as they script the
// database: a handler's arguments against the procedure's real signature. The keys each
// function reads, and whether it reaches the database at all, come from the function index
// (docs/function_index.md, which its own test keeps in step with the code).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "db/postgres/provider.h"
#include "frame/main.h"
#include "functions/function_table.h"
#include "integration/pg_fixture.h"
#include "support/harness.h"

namespace talwen::testing {
namespace {

// Demo data by key: what the pages would send for the demo warehouse. A key not listed here
// takes a value by the kind its name suggests (DemoValue).
const std::map<std::string, std::string> kDemo = {
    {"client", "C01"},
    {"warehouse", "W1"},
    {"warehouse_to", "W1"},
    {"operator", "JOE"},
    {"userid", "JOE"},
    {"password", "joe123"},
    {"item_no", "A1001"},
    {"item", "A1001"},
    {"uom", "EA"},
    {"item_uom", "EA"},
    {"new_uom", "EA"},
    {"location", "A-01-1"},
    {"location_to", "A-01-2"},
    {"pallet", "P0000017"},
    {"pallet_no", "P0000017"},
    {"pallet_from", "P0000017"},
    {"pallet_to", "P0000025"},
    {"receipt_no", "R000002"},
    {"receipt", "R000002"},
    {"po_no", "PO1002"},
    {"so_no", "SO1002"},
    {"order_no", "SO1002"},
    {"customer", "CUST002"},
    {"supplier", "SUP002"},
    {"carrier", "FASTFWD"},
    {"wo_no", "WO000002"},
    {"carton_no", "CTN1"},
    {"parent_carton_no", "CTN1"},
    {"child_carton_no", "CTN1X"},
    {"carton_list", "CTN1"},
    {"serial_no", "SNA1005-15301"},
    {"station", "RF01"},
    {"station_type", "RF"},
    {"receipt_type", "PO"},
    {"movement_type", "PICK"},
    {"reason_code", "SHORT"},
    {"grade", "A"},
    {"stocktake_ref", "CC000001"},
    {"despatch", "DSP0001"},
    {"destination", "DSP-02"},
    {"source", "A-01-1"},
    {"trip", "T1"},
    {"barcode", "9310000000019"},
    {"barcode_no", "9310000000019"},
    {"cfg_code", "RF_TIMEOUT"},
    {"status", "AVAILABLE"},
    {"currency", "USD"},
    {"remarks", "demo"},
    {"limit", "1"},
    {"search_field", "item_no"},
    {"search_value", "A10"},
};

// The value a page would send under key.
std::string DemoValue(const std::string& key) {
  if (const auto it = kDemo.find(key); it != kDemo.end()) return it->second;
  if (key.find("date") != std::string::npos) return "2026-01-15";
  return "1";  // quantities, numbers of lines, tasks, records; flags and parameters
}

struct IndexRow {
  std::vector<std::string> keys;
  bool reaches_database = false;
};

// The function index's rows by function name.
std::map<std::string, IndexRow> ReadIndex() {
  std::ifstream in(std::string(TALWEN_SOURCE_DIR) + "/docs/function_index.md");
  std::map<std::string, IndexRow> rows;
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("| rf_") && !line.starts_with("| web")) continue;
    std::vector<std::string> cells;
    std::stringstream fields(line.substr(2));
    for (std::string cell; std::getline(fields, cell, '|');) cells.push_back(cell);
    if (cells.size() < 5) continue;
    IndexRow row;
    std::stringstream keys(cells[3]);
    for (std::string key; keys >> key;) {
      if (key.ends_with(',')) key.pop_back();
      row.keys.push_back(key);
    }
    row.reaches_database = cells[4].find_first_not_of(' ') != std::string::npos;
    rows[cells[0].substr(0, cells[0].find(' '))] = row;
  }
  return rows;
}

// What the database answered with an error, and how often it was asked.
struct Watch {
  std::vector<std::string> errors;
  int requests = 0;
};

// The PostgreSQL provider's connection, watched.
class WatchedConnection : public db::Connection {
 public:
  WatchedConnection(std::unique_ptr<db::Connection> inner, Watch& watch)
      : inner_(std::move(inner)), watch_(watch) {}

  // What f answers; its error is noted first.
  template <typename F>
  auto Watched(F f, std::string_view what) {
    ++watch_.requests;
    try {
      return f();
    } catch (const db::DbError& e) {
      watch_.errors.push_back(std::string(what) + ": " + e.what());
      throw;
    }
  }

  std::vector<db::ResultSet> execute(std::string_view statement) override {
    return Watched([&] { return inner_->execute(statement); }, statement);
  }
  std::vector<db::Parameter> parameters(std::string_view procedure) override {
    return Watched([&] { return inner_->parameters(procedure); }, procedure);
  }
  db::CallResult call(std::string_view procedure, const std::vector<Value>& values) override {
    return Watched([&] { return inner_->call(procedure, values); }, procedure);
  }

 private:
  std::unique_ptr<db::Connection> inner_;
  Watch& watch_;
};

class WatchingProvider : public db::Provider {
 public:
  WatchingProvider(std::shared_ptr<db::Provider> inner, Watch& watch)
      : inner_(std::move(inner)), watch_(watch) {}
  std::unique_ptr<db::Connection> open(const db::ConnectionString& target,
                                       const db::Timeouts& timeouts) override {
    return std::make_unique<WatchedConnection>(inner_->open(target, timeouts), watch_);
  }

 private:
  std::shared_ptr<db::Provider> inner_;
  Watch& watch_;
};

TEST(AllFunctions, EveryFunctionMeetsItsProcedureOnTheReferenceDatabase) {
  const auto server = PgServerFromEnvironment();
  if (!server) GTEST_SKIP() << "no database settings; run eval \"$(scripts/db.sh env)\" first";
  const DatabaseCopy copy(*server, "calls");
  TempDir dir;
  dir.write("talwen.INI", copy.server().ini_section());
  ConfigFile config(dir.file("talwen.INI"));
  Watch watch;
  db::Connector connector;
  connector.add("PostgreSQL",
                std::make_shared<WatchingProvider>(
                    std::make_shared<db::postgres::PostgresProvider>(nullptr), watch));
  Environment env;
  env.config = &config;
  env.connector = &connector;
  env.functions = &RfFunctions();
  Request request;
  request.server_variables.set("SERVER_NAME", "127.0.0.1");
  request.server_variables.set("REMOTE_ADDR", "127.0.0.1");

  const auto index = ReadIndex();
  ASSERT_EQ(index.size(), AllFunctions().size()) << "docs/function_index.md is out of date";
  for (const RfFunction& function : AllFunctions()) {
    const IndexRow& row = index.at(std::string(function.name));
    Session session("S1");
    session.set("function", function.name);
    for (const std::string& key : row.keys) session.set(key, DemoValue(key));
    watch = {};
    Main(env).Process(session, request);
    EXPECT_TRUE(watch.errors.empty()) << function.name << ": " << watch.errors.front();
    if (row.reaches_database) {
      EXPECT_GT(watch.requests, 0) << function.name << " ended before asking the database";
    }
  }
}

}  // namespace
}  // namespace talwen::testing
