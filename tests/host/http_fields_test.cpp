#include "host/http_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ini.h"
#include "host/access_log.h"
#include "host/http_gateway.h"
#include "host/networks.h"

namespace talwen::host {
namespace {

TEST(UrlEncodedFields, DecodeAsFormsAreEncoded) {
  const struct {
    const char* proves;
    const char* text;
    std::vector<Field> expected;
  } cases[] = {
      {"fields keep their order", "b=2&a=1", {{"b", "2"}, {"a", "1"}}},
      {"plus is a blank, %XX a byte", "c=C%2601+x%2By", {{"c", "C&01 x+y"}}},
      {"names are decoded too", "item%5Fno=1", {{"item_no", "1"}}},
      {"an empty value and a bare name are empty", "a=&b", {{"a", ""}, {"b", ""}}},
      {"a value may hold '='", "a=x=y", {{"a", "x=y"}}},
      {"empty fields and empty names are skipped", "&&=v&a=1&", {{"a", "1"}}},
      {"bad escapes stay as written", "a=%zz%4&b=%", {{"a", "%zz%4"}, {"b", "%"}}},
      {"UTF-8 escapes and raw UTF-8 pass through",
       "a=%C3%A9t%C3%A9&b=\xc3\xa9",
       {{"a", "\xc3\xa9t\xc3\xa9"}, {"b", "\xc3\xa9"}}},
      {"a NUL byte is kept", "a=x%00y", {{"a", std::string("x\0y", 3)}}},
      {"repeated names are all returned", "a=1&a=2", {{"a", "1"}, {"a", "2"}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseUrlEncoded(c.text), c.expected) << c.proves;
  }
}

TEST(UrlEncodedFields, HostHeaderGivesTheServerName) {
  const struct {
    const char* host;
    std::optional<std::string> expected;
  } cases[] = {
      {"rf.example", "rf.example"}, {"rf.example:8080", "rf.example"},
      {"10.1.1.7:80", "10.1.1.7"},  {"[fe80::1]:8080", "[fe80::1]"},
      {"[::1]", "[::1]"},           {"", std::nullopt},
      {":80", std::nullopt},        {"rf.example:80x", std::nullopt},
      {"a b", std::nullopt},        {"evil\"><script>", std::nullopt},
      {"[::1", std::nullopt},       {"[zz]", std::nullopt},
      {"host/path", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ServerNameOfHost(c.host), c.expected) << c.host;
  }
}

TEST(UrlEncodedFields, HeaderNamesBecomeServerVariables) {
  EXPECT_EQ(HeaderVariableName("User-Agent"), "HTTP_USER_AGENT");
  EXPECT_EQ(HeaderVariableName("referer"), "HTTP_REFERER");
  EXPECT_EQ(HeaderVariableName("User_Agent"), "") << "could pose as User-Agent";
  EXPECT_EQ(HeaderVariableName("REMOTE_ADDR"), "") << "the library's own entries stay out";
  EXPECT_EQ(HeaderVariableName("Bad Name"), "");
  EXPECT_EQ(HeaderVariableName(""), "");
}

TEST(UrlEncodedFields, MediaTypeAndSessionCookie) {
  EXPECT_EQ(MediaType("Application/X-WWW-Form-Urlencoded; charset=UTF-8"),
            "application/x-www-form-urlencoded");
  EXPECT_EQ(MediaType(""), "");

  const std::string id = NewSessionId();
  ASSERT_EQ(id.size(), 32u);
  EXPECT_NE(id, NewSessionId());
  EXPECT_EQ(SessionIdOfCookie("a=b; talwen_session=" + id + "; c=d"), id);
  EXPECT_EQ(SessionIdOfCookie("talwen_session=" + id.substr(1)), "") << "too short";
  EXPECT_EQ(SessionIdOfCookie("talwen_session=" + std::string(32, 'Z')), "") << "not hex";
  EXPECT_EQ(SessionIdOfCookie("other=" + id), "");
}

TEST(UrlEncodedFields, LogFieldsCannotSplitALine) {
  EXPECT_EQ(LogField("rf_get_po"), "rf_get_po");
  EXPECT_EQ(LogField(""), "-");
  EXPECT_EQ(LogField("a b\n%"), "a%20b%0A%25");
}

TEST(UrlEncodedFields, AccessLinesAreWholeAndExact) {
  using std::chrono::microseconds;
  // 2026-12-07 02:19:02.047 UTC; the stamp is local time, its milliseconds are not.
  const std::chrono::system_clock::time_point when{std::chrono::milliseconds(1796523542047)};
  const struct {
    AccessEntry entry;
    const char* tail;  // the line after the stamp
  } cases[] = {
      {{"127.0.0.1", "POST", "/talwen/http_talwen.asp", "rf_get_po", 200, 43, microseconds(332),
        ""},
       " POST /talwen/http_talwen.asp rf_get_po 200 43 0.332ms\n"},
      {{"::1", "GET", "/x y", "", 404, 0, microseconds(12345678), "unknown function"},
       " GET /x%20y - 404 0 12345.678ms \"unknown function\"\n"},
      {{"10.0.0.1", "", "", "", 400, 11, microseconds(-5), "bad \"x\"\n"},
       " - - - 400 11 0.000ms \"bad ?x??\"\n"},
  };
  for (const auto& c : cases) {
    std::string line = "kept|";
    AppendAccessLine(line, c.entry, when);
    ASSERT_TRUE(line.starts_with("kept|")) << "appends";
    line.erase(0, 5);
    const size_t stamp = line.find(' ', line.find(' ') + 1);
    ASSERT_NE(stamp, std::string::npos) << line;
    EXPECT_EQ(line.substr(stamp), c.tail);
    EXPECT_EQ(line.substr(line.find(' ') + 1, 28).substr(19, 4), ".047") << line;
  }
}

TEST(Networks, MatchPeersOfBothFamilies) {
  const auto list = NetworkList::Parse("10.0.0.0/8, 192.168.1.7 fc00::/7", nullptr);
  ASSERT_TRUE(list);
  const struct {
    const char* address;
    bool inside;
  } cases[] = {
      {"10.200.3.4", true},      {"11.0.0.1", false}, {"192.168.1.7", true}, {"192.168.1.8", false},
      {"::ffff:10.1.2.3", true}, {"fd12::1", true},   {"fe80::1", false},    {"127.0.0.1", false},
      {"not an address", false}, {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(list->contains(c.address), c.inside) << c.address;

  EXPECT_TRUE(LoopbackNetworks().contains("127.0.0.1"));
  EXPECT_TRUE(LoopbackNetworks().contains("::1"));
  EXPECT_FALSE(LoopbackNetworks().contains("10.0.0.1"));
  EXPECT_TRUE(PrivateNetworks().contains("172.31.255.255"));
  EXPECT_FALSE(PrivateNetworks().contains("172.32.0.0"));
  const auto all = NetworkList::Parse("*", nullptr);
  ASSERT_TRUE(all);
  EXPECT_TRUE(all->contains("8.8.8.8"));
  EXPECT_TRUE(all->contains("2001:db8::1"));
}

TEST(Networks, RefuseMalformedEntries) {
  for (const char* text : {"", " , ", "10.0.0.0/33", "10.0.0.0/", "10.0.0.0/8x", "10.1.0.0/8",
                           "300.1.1.1", "fc00::/129", "host.example"}) {
    std::string error;
    EXPECT_FALSE(NetworkList::Parse(text, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  EXPECT_EQ(NormalizeAddress("::ffff:10.1.2.3"), "10.1.2.3");
  EXPECT_EQ(NormalizeAddress("0:0:0:0:0:0:0:1"), "::1");
}

TEST(GatewaySettings, GeneralKeysOverrideTheDefaults) {
  const IniFile ini = IniFile::parse(
      "[GENERAL]\nHTTP ALLOW FROM=10.20.0.0/16\nHTTP DIAGNOSTICS FROM=10.20.0.5\n"
      "HTTP MAX BODY=2048\nHTTP MAX HEADER=4096\nHTTP READ TIMEOUT=3\nHTTP WRITE TIMEOUT=4\n"
      "HTTP KEEPALIVE TIMEOUT=0\nHTTP KEEPALIVE REQUESTS=7\nHTTP MAX CONNECTIONS=9\n"
      "IMAGE FOLDER=/srv/images\nHTTP MAX CONNECTIONS PER PEER=3\nHTTP TRUSTED PROXIES=10.20.0.1\n"
      "HTTP WORKERS=3\n"
      "REQUIRE SIGN-ON=y\nSIGN-ON KEY=0123456789abcdef0123456789abcdef\n"
      "SIGN-ON IDLE MINUTES=15\nSIGN-ON HOURS=9\nSIGN-ON ATTEMPTS PER MINUTE=0\n");
  GatewayOptions options;
  EXPECT_EQ(ApplyGeneralSettings(&ini, options), "");
  EXPECT_TRUE(options.allowed.contains("10.20.1.1"));
  EXPECT_FALSE(options.allowed.contains("127.0.0.1"));
  EXPECT_TRUE(options.diagnostics.contains("10.20.0.5"));
  EXPECT_EQ(options.max_body_bytes, 2048u);
  EXPECT_EQ(options.max_header_bytes, 4096u);
  EXPECT_EQ(options.read_timeout, std::chrono::seconds(3));
  EXPECT_EQ(options.write_timeout, std::chrono::seconds(4));
  EXPECT_EQ(options.keep_alive_timeout, std::chrono::seconds(0));
  EXPECT_EQ(options.keep_alive_requests, 7u);
  EXPECT_EQ(options.max_connections, 9u);
  EXPECT_EQ(options.image_dir, "/srv/images");
  EXPECT_EQ(options.max_connections_per_peer, 3u);
  EXPECT_TRUE(options.trusted_proxies.contains("10.20.0.1"));
  EXPECT_EQ(options.workers, 3u);
  EXPECT_TRUE(options.sign_on.required);
  EXPECT_EQ(options.sign_on.idle, std::chrono::minutes(15));
  EXPECT_EQ(options.sign_on.longest, std::chrono::hours(9));
  EXPECT_EQ(options.sign_on.attempts_per_minute, 0u);

  GatewayOptions defaults;
  EXPECT_EQ(ApplyGeneralSettings(nullptr, defaults), "");
  EXPECT_TRUE(defaults.allowed.contains("192.168.5.5"));
  EXPECT_FALSE(defaults.diagnostics.contains("192.168.5.5"));
  EXPECT_FALSE(defaults.trusted_proxies.contains("127.0.0.1")) << "no proxy is trusted unless told";
  EXPECT_FALSE(defaults.sign_on.required);
  EXPECT_EQ(defaults.sign_on.attempts_per_minute, 0u) << "sign-on as it always was";
  EXPECT_EQ(defaults.max_connections_per_peer, 64u);
  EXPECT_EQ(defaults.workers, 0u) << "half the cores";

  // Sign-on required: its attempts are limited unless the INI says otherwise.
  const IniFile required = IniFile::parse(
      "[GENERAL]\nREQUIRE SIGN-ON=Y\nSIGN-ON KEY=0123456789abcdef0123456789abcdef\n");
  GatewayOptions signing;
  EXPECT_EQ(ApplyGeneralSettings(&required, signing), "");
  EXPECT_EQ(signing.sign_on.attempts_per_minute, 10u);
}

TEST(GatewaySettings, BadValuesAreReported) {
  const struct {
    const char* line;
    const char* mentions;
  } cases[] = {
      {"HTTP MAX BODY=lots", "HTTP MAX BODY"},
      {"HTTP MAX BODY=0", "HTTP MAX BODY"},
      {"HTTP READ TIMEOUT=-1", "HTTP READ TIMEOUT"},
      {"HTTP WORKERS=0", "HTTP WORKERS"},
      {"HTTP ALLOW FROM=10.0.0.1/40", "HTTP ALLOW FROM"},
      {"HTTP DIAGNOSTICS FROM=everyone", "HTTP DIAGNOSTICS FROM"},
      {"HTTP TRUSTED PROXIES=nginx", "HTTP TRUSTED PROXIES"},
      {"REQUIRE SIGN-ON=yes please", "REQUIRE SIGN-ON"},
      {"REQUIRE SIGN-ON=Y", "SIGN-ON KEY"},  // no key
      {"REQUIRE SIGN-ON=Y\nSIGN-ON KEY=short", "SIGN-ON KEY"},
  };
  for (const auto& c : cases) {
    const IniFile ini = IniFile::parse(std::string("[GENERAL]\n") + c.line + "\n");
    GatewayOptions options;
    EXPECT_NE(ApplyGeneralSettings(&ini, options).find(c.mentions), std::string::npos) << c.line;
  }
  // A list cut short by the INI value limit must not quietly lose networks.
  std::string long_list;
  while (long_list.size() < 260) long_list += "10.0.0.0/8 ";
  const IniFile ini = IniFile::parse("[GENERAL]\nHTTP ALLOW FROM=" + long_list + "\n");
  GatewayOptions options;
  EXPECT_NE(ApplyGeneralSettings(&ini, options).find("too long"), std::string::npos);
}

}  // namespace
}  // namespace talwen::host
