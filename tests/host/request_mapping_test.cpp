// From an HTTP request to the engine's session, query-string values and server variables.
#include "host/request_mapping.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace talwen::host {
namespace {

using Items = std::vector<std::pair<std::string, std::string>>;

const GatewayIdentity kIdentity{"talwen/1.0.0", "/opt/talwen/"};

struct Sent {
  std::string method = "GET";
  std::string target = "/talwen/http_talwen.asp";
  std::vector<HeaderField> headers = {{"Host", "rf"}};
  std::string body;
};

std::optional<EngineRequest> Map(const Sent& sent) {
  HttpRequest request;
  request.method = sent.method;
  request.target = sent.target;
  request.protocol = "HTTP/1.1";
  request.headers = sent.headers;
  request.body = sent.body;
  request.peer_address = "10.1.1.7";
  request.peer_port = 40001;
  request.local_address = "::1";
  request.local_port = 8080;
  const std::string path(sent.target.substr(0, sent.target.find('?')));
  return MapRequest(request, path, kIdentity);
}

std::string Variable(const EngineRequest& mapped, std::string_view name) {
  const Values& variables = mapped.request.server_variables;
  return variables.contains(name) ? variables.get(name) : "<absent>";
}

TEST(MapRequest, QueryThenFormFieldsBecomeTheSession) {
  const struct {
    const char* proves;
    std::string query;
    std::optional<std::string> form;  // none = GET
    Items session;
  } cases[] = {
      {"query fields, then form fields, in order",
       "function=f&client=C01",
       "qty=5&operator=joe",
       {{"function", "f"}, {"client", "C01"}, {"qty", "5"}, {"operator", "joe"}}},
      {"a repeated key keeps its first place and takes the later value",
       "a=1&b=2",
       "a=3",
       {{"a", "3"}, {"b", "2"}}},
      {"keys meet without regard to letter case", "Client=x", "CLIENT=y", {{"Client", "y"}}},
      {"percent-encoding and plus", "client=C%2601+x%2By", std::nullopt, {{"client", "C&01 x+y"}}},
      {"empty values and bare keys",
       "a=&b&c=1",
       "d=",
       {{"a", ""}, {"b", ""}, {"c", "1"}, {"d", ""}}},
      {"UTF-8, escaped in the query and raw in the form",
       "item=%C3%A9t%C3%A9",
       "desc=caf\xc3\xa9",
       {{"item", "\xc3\xa9t\xc3\xa9"}, {"desc", "caf\xc3\xa9"}}},
      {"a form without a query", "", "function=rf_x", {{"function", "rf_x"}}},
  };
  for (const auto& c : cases) {
    Sent sent;
    sent.target += c.query.empty() ? "" : "?" + c.query;
    if (c.form) {
      sent.method = "POST";
      sent.body = *c.form;
    }
    const auto mapped = Map(sent);
    ASSERT_TRUE(mapped) << c.proves;
    EXPECT_EQ(mapped->session.items(), c.session) << c.proves;
  }
  // The query-string values are the query's alone; a GET's body is no form.
  Sent get;
  get.target += "?function=f&client=C01";
  get.body = "qty=5";
  const auto mapped = Map(get);
  EXPECT_EQ(mapped->request.query_string.items(), (Items{{"function", "f"}, {"client", "C01"}}));
  EXPECT_EQ(mapped->session.items(), mapped->request.query_string.items());
}

TEST(MapRequest, ServerVariablesComeFromTheHttpRequest) {
  Sent sent;
  sent.target += "?function=rf_x&a=%41+b";
  sent.headers = {{"Host", "rf.example:8080"},
                  {"User-Agent", "Handheld/2.0"},
                  {"Referer", "http://rf.example/menu.asp"},
                  {"X-Terminal", "T7"},
                  {"X_Terminal", "spoof"},
                  {"Accept", "text/html"},
                  {"Accept", "text/plain"},
                  {"Content-Type", "text/plain"}};
  const auto mapped = Map(sent);
  ASSERT_TRUE(mapped);
  const Items expected = {{"SERVER_NAME", "rf.example"},
                          {"SERVER_PORT", "8080"},
                          {"REMOTE_ADDR", "10.1.1.7"},
                          {"REMOTE_PORT", "40001"},
                          {"REQUEST_METHOD", "GET"},
                          {"QUERY_STRING", "function=rf_x&a=%41+b"},
                          {"SCRIPT_NAME", "/talwen/http_talwen.asp"},
                          {"PATH_TRANSLATED", "/opt/talwen/talwen/http_talwen.asp"},
                          {"SERVER_SOFTWARE", "talwen/1.0.0"},
                          {"HTTPS", "off"},
                          {"CONTENT_TYPE", "text/plain"},
                          {"CONTENT_LENGTH", "<absent>"},
                          {"HTTP_CONTENT_TYPE", "<absent>"},
                          {"HTTP_USER_AGENT", "Handheld/2.0"},
                          {"HTTP_REFERER", "http://rf.example/menu.asp"},
                          {"HTTP_X_TERMINAL", "T7"},  // the underscore header is dropped
                          {"HTTP_ACCEPT", "text/html, text/plain"}};
  for (const auto& [name, value] : expected) EXPECT_EQ(Variable(*mapped, name), value) << name;
  EXPECT_EQ(mapped->request.query_string.items(), (Items{{"function", "rf_x"}, {"a", "A b"}}));

  // Without a Host header the server name is the local address; a Host that is no host name
  // is refused.
  sent.headers = {};
  EXPECT_EQ(Variable(*Map(sent), "SERVER_NAME"), "[::1]");
  sent.headers = {{"Host", "evil\"><b>"}};
  EXPECT_FALSE(Map(sent));
}

TEST(MapRequest, TheSessionIdentifierComesFromTheCookieOrIsNew) {
  const std::string id = "0123456789abcdef0123456789abcdef";
  const std::string cookie = "a=1; talwen_session=" + id;
  Sent sent;
  sent.headers = {{"Host", "rf"}, {"Cookie", cookie}};
  auto mapped = Map(sent);
  EXPECT_FALSE(mapped->new_session);
  EXPECT_EQ(mapped->session.id(), id);

  for (const char* forged : {"talwen_session=<script>", "talwen_session=0123", ""}) {
    sent.headers[1].value = forged;
    mapped = Map(sent);
    EXPECT_TRUE(mapped->new_session) << forged;
    EXPECT_EQ(mapped->session.id().size(), 32u);
    EXPECT_NE(Map(sent)->session.id(), mapped->session.id()) << "a new one each time";
  }
}

}  // namespace
}  // namespace talwen::host
