// LiveWarehouse: `talwen serve` running on the reference warehouse database, for end-to-end
// tests of the operators' flows over HTTP, with a direct SQL connection to check what the
// database holds after each step.
//
// The database is named by scripts/db.sh env (TALWEN_PGHOST, TALWEN_PGPORT, ...). Without
// those settings a test calls GTEST_SKIP through LiveWarehouse::SkipUnlessAvailable().
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "integration/pg_fixture.h"
#include "support/harness.h"
#include "support/serve_process.h"

namespace talwen::testing {

using Fields = std::vector<std::pair<std::string, std::string>>;

class LiveWarehouse {
 public:
  // Are the database settings there?
  static bool Available();

  // Start the gateway (its INI file in a temporary folder; extra [GENERAL] lines may be
  // given) on the database of scripts/db.sh env, or on the one given. Throws when it does
  // not start.
  explicit LiveWarehouse(std::string general_section = "");
  LiveWarehouse(const PgServer& server, std::string general_section = "");
  ~LiveWarehouse();  // SIGTERM, and the gateway must exit 0

  // POST the fields (form-encoded, in order) to the gateway address; the reply body, or
  // "<status N>" for any other HTTP status, "<no answer>" when there was none.
  std::string Post(const Fields& fields);
  // GET path (with its query string); the body, or "<status N>".
  std::string Get(const std::string& path);

  // The first field of the first row of a query, "" when there is no row.
  std::string Query(const std::string& sql) { return admin_->run(sql); }
  // Every row of a query, each field as text ("" for Null).
  std::vector<std::vector<std::string>> Rows(const std::string& sql);

  int port() const { return port_; }
  const PgServer& server() const { return server_; }

 private:
  PgServer server_;
  TempDir dir_;
  std::unique_ptr<AdminConnection> admin_;
  std::unique_ptr<ServeProcess> serve_;
  int port_ = 0;
};

// The text between <tag> and </tag> of the first such element of reply, "" when none.
std::string TagValue(const std::string& reply, const std::string& tag);

}  // namespace talwen::testing
