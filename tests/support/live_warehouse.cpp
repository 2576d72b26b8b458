#include "support/live_warehouse.h"

#include <httplib.h>
#include <signal.h>

#include <stdexcept>

namespace talwen::testing {
namespace {

std::string FormEncode(const Fields& fields) {
  std::string body;
  for (const auto& [key, value] : fields) {
    if (!body.empty()) body += '&';
    body +=
        httplib::detail::encode_query_param(key) + '=' + httplib::detail::encode_query_param(value);
  }
  return body;
}

std::string BodyOf(const httplib::Result& res) {
  if (!res) return "<no answer>";
  if (res->status != 200) return "<status " + std::to_string(res->status) + ">";
  return res->body;
}

PgServer FromEnvironment() {
  const auto server = PgServerFromEnvironment();
  if (!server) throw std::runtime_error("no database settings (scripts/db.sh env)");
  return *server;
}

}  // namespace

bool LiveWarehouse::Available() {
  return PgServerFromEnvironment().has_value();
}

LiveWarehouse::LiveWarehouse(std::string general_section)
    : LiveWarehouse(FromEnvironment(), std::move(general_section)) {}

LiveWarehouse::LiveWarehouse(const PgServer& server, std::string general_section)
    : server_(server) {
  admin_ = std::make_unique<AdminConnection>(server_);
  dir_.write("talwen.INI", server_.ini_section() + "[GENERAL]\n" + general_section + "\n");
  serve_ = std::make_unique<ServeProcess>(
      TALWEN_BINARY, std::vector<std::string>{"--config", dir_.file("talwen.INI"), "--listen",
                                              "127.0.0.1:0", "--threads", "4"});
  port_ = serve_->port();
  if (port_ == 0) throw std::runtime_error("talwen serve did not start: " + serve_->error_text());
}

LiveWarehouse::~LiveWarehouse() {
  if (!serve_) return;
  serve_->signal(SIGTERM);
  const int status = serve_->wait_exit();
  EXPECT_EQ(status, 0) << serve_->error_text();
}

std::string LiveWarehouse::Post(const Fields& fields) {
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(60);
  return BodyOf(client.Post("/talwen/http_talwen.asp", FormEncode(fields),
                            "application/x-www-form-urlencoded"));
}

std::string LiveWarehouse::Get(const std::string& path) {
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(60);
  return BodyOf(client.Get(path));
}

std::vector<std::vector<std::string>> LiveWarehouse::Rows(const std::string& sql) {
  std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(admin_->get(), sql.c_str()), PQclear);
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
    throw std::runtime_error("SQL failed: " + std::string(PQerrorMessage(admin_->get())));
  }
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    std::vector<std::string> row;
    for (int j = 0; j < PQnfields(r.get()); ++j) row.emplace_back(PQgetvalue(r.get(), i, j));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string TagValue(const std::string& reply, const std::string& tag) {
  const std::string open = "<" + tag + ">", close = "</" + tag + ">";
  const auto start = reply.find(open);
  if (start == std::string::npos) return "";
  const auto from = start + open.size();
  const auto end = reply.find(close, from);
  return end == std::string::npos ? "" : reply.substr(from, end - from);
}

}  // namespace talwen::testing
