// Diagnostics pages: the program's identity, the request's values and the configuration in
// use. They touch no table; the frame still opens the connection first, and the gateway
// restricts who may call them.
#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "base/text.h"
#include "frame/call.h"
#include "frame/reply.h"
#include "functions/session/session.h"

namespace talwen {
namespace {

// The heading of the about page, word for word as the sites' pages and scripts look for it.
constexpr std::string_view kAboutHeading = "About VELDRA WMS RF - ASP DLL";

// What a password in the connection string is shown as.
constexpr std::string_view kPasswordMask = "********";

// Does this connection-string keyword hold a password?
bool is_password_keyword(std::string_view key) {
  key = trim(key, " ");
  return iequals(key, "pwd") || iends_with(key, "password");
}

// The program's identity as (label, value) pairs, in the order the about page shows them.
std::array<std::pair<std::string_view, std::string_view>, 5> identity(const ComponentInfo& c) {
  return {{{"ProductName", c.product_name},
           {"CompanyName", c.company_name},
           {"EXEName", c.exe_name},
           {"Version", c.version},
           {"Path", c.path}}};
}

// Request server variables shown by rf_about2, each under its tag.
constexpr std::pair<std::string_view, std::string_view> kServerVariables[] = {
    {"server_http_referer", "HTTP_REFERER"}, {"server_http_user_agent", "HTTP_USER_AGENT"},
    {"server_remote_addr", "REMOTE_ADDR"},   {"server_query_string", "QUERY_STRING"},
    {"server_script_name", "SCRIPT_NAME"},   {"server_path_translated", "PATH_TRANSLATED"},
};

// Every value of a collection as a tag named by its key.
std::string tag_all(const Values& values) {
  OutputBuffer out;
  for (int i = 1; i <= values.count(); ++i) out.tag(values.key(i), values.item(i));
  return out.take();
}

}  // namespace

std::string MaskPasswords(std::string_view text) {
  constexpr auto npos = std::string_view::npos;
  std::string masked;
  masked.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t eq = text.find('=', pos);
    const size_t semicolon = text.find(';', pos);
    if (eq == npos || semicolon < eq) {  // a part without "=" stays as it is
      const size_t next = semicolon == npos ? text.size() : semicolon + 1;
      masked.append(text.substr(pos, next - pos));
      pos = next;
      continue;
    }
    // The value runs to the next ";", except that a quoted value may hold ";" (its quote
    // doubled stands for one), as the connection string is read.
    size_t i = eq + 1;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
      const char quote = text[i];
      for (++i; i < text.size(); ++i) {
        if (text[i] != quote) continue;
        if (i + 1 < text.size() && text[i + 1] == quote) {
          ++i;
        } else {
          break;
        }
      }
    }
    size_t end = text.find(';', std::min(i, text.size()));
    if (end == npos) end = text.size();

    const std::string_view value = text.substr(eq + 1, end - eq - 1);
    masked.append(text.substr(pos, eq + 1 - pos));
    if (is_password_keyword(text.substr(pos, eq - pos))) {
      // The same mask whatever the password: its length is no business of the page's.
      if (!value.empty()) masked.append(kPasswordMask);
    } else {
      masked.append(value);
    }
    if (end < text.size()) masked.push_back(';');
    pos = end + 1;
  }
  return masked;
}

std::string rf_about(Call& call) {
  const auto fields = identity(call.env.component);
  OutputBuffer out;
  for (const auto& [label, value] : fields) out.tag(label, value);

  std::string html = MakeTag("hr", "") + MakeTag("h1", kAboutHeading) +
                     "<table border=0 cellpadding=3 cellspacing=3 width=100%>";
  for (const auto& [label, value] : fields) {
    html += "<tr>" + MakeTag("td", std::string(label) + " : ") + MakeTag("td", value) + "</tr>";
  }
  html += "</table>" + MakeTag("hr", "");
  out.tag("p", html);
  return out.take();
}

std::string rf_about2(Call& call) {
  const ComponentInfo& c = call.env.component;
  OutputBuffer out;
  out.tag("app_productname", c.product_name);
  out.tag("app_companyname", c.company_name);
  out.tag("app_exename", c.exe_name);
  out.tag("app_version", c.version);
  out.tag("app_path", c.path);
  out.tag("session_sessionid", call.session.id());
  out.tag("server_server_name", call.server_name);
  for (const auto& [tag, variable] : kServerVariables) {
    out.tag(tag, call.request.server_variables.get(variable));
  }
  out.tag("dbinstance", call.db_instance);
  out.tag("function", call.function_name);
  out.tag("dbconnectionstring", MaskPasswords(call.connection_string));
  return out.take();
}

std::string rf_about3(Call& call) {
  OutputBuffer out;
  out.tag("QueryString", tag_all(call.request.query_string));
  out.tag("ServerVariables", tag_all(call.request.server_variables));
  return out.take();
}

}  // namespace talwen
