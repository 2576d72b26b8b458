#include "db/odbc/target.h"

#include <charconv>

#include "base/text.h"

namespace talwen::db::odbc {
namespace {

constexpr std::string_view kSqlServerDrivers[] = {
    "ODBC Driver 18 for SQL Server",
    "ODBC Driver 17 for SQL Server",
    "FreeTDS",
};

// Keywords of a section that an ODBC connection string calls otherwise.
constexpr std::pair<std::string_view, std::string_view> kOdbcNames[] = {
    {"Data Source", "DSN"},
    {"User ID", "UID"},
    {"Password", "PWD"},
    {"Initial Catalog", "DATABASE"},
};

// Keywords that only the engine reads: never passed to a driver.
constexpr std::string_view kEngineKeywords[] = {"Provider", "Connect Timeout",
                                                "Persist Security Info"};

bool contains_blind(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (size_t i = 0; i + part.size() <= text.size(); ++i) {
    if (iequals(text.substr(i, part.size()), part)) return true;
  }
  return false;
}

bool is_one_of(std::string_view value, std::initializer_list<std::string_view> words) {
  for (const std::string_view w : words) {
    if (iequals(value, w)) return true;
  }
  return false;
}

[[noreturn]] void refuse(const std::string& why) {
  throw DbError(kErrorGeneric, why);
}

// A value already in braces, as an ODBC connection string writes it ("{a;b}", "}}" inside).
bool is_braced(std::string_view v) {
  if (v.size() < 2 || v.front() != '{' || v.back() != '}') return false;
  for (size_t i = 1; i + 1 < v.size(); ++i) {
    if (v[i] != '}') continue;
    if (i + 2 >= v.size() || v[i + 1] != '}') return false;
    ++i;
  }
  return true;
}

std::chrono::seconds login_timeout_of(const ConnectionString& source,
                                      std::chrono::seconds fallback) {
  const std::string text = source.get("Connect Timeout");
  int seconds = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || seconds < 0) {
    return fallback;
  }
  return std::chrono::seconds(seconds);
}

// A driver's connection string, and the same without the password for the metrics.
class Builder {
 public:
  void add(std::string_view keyword, std::string_view value) {
    if (!text_.empty()) text_ += ';';
    text_ += keyword;
    text_ += '=';
    text_ += value;
    if (iequals(keyword, "PWD") || iequals(keyword, "Password")) return;
    if (!label_.empty()) label_ += ';';
    label_ += keyword;
    label_ += '=';
    label_ += value;
  }
  Target take(Dialect dialect) { return {std::move(text_), {}, dialect, std::move(label_)}; }

 private:
  std::string text_;
  std::string label_;
};

struct Server {
  std::string host;
  std::string port;      // after ","
  std::string instance;  // after "\"
};

Server server_of(std::string_view data_source) {
  if (data_source.size() > 4 && iequals(data_source.substr(0, 4), "tcp:")) {
    data_source.remove_prefix(4);
  }
  Server s;
  const size_t comma = data_source.find(',');
  if (comma != std::string_view::npos) {
    s.port = data_source.substr(comma + 1);
    data_source = data_source.substr(0, comma);
  }
  const size_t slash = data_source.find('\\');
  if (slash != std::string_view::npos) {
    s.instance = data_source.substr(slash + 1);
    data_source = data_source.substr(0, slash);
  }
  // The local machine by the names a Windows client knows it.
  if (data_source == "." || iequals(data_source, "(local)")) data_source = "localhost";
  s.host = data_source;
  return s;
}

// "yes", "no" or "strict" for the yes/no keywords of a section; "" when not understood.
std::string yes_no(std::string_view value) {
  if (is_one_of(value, {"yes", "true", "mandatory", "1"})) return "yes";
  if (is_one_of(value, {"no", "false", "optional", "0"})) return "no";
  if (is_one_of(value, {"strict"})) return "strict";
  return "";
}

Target sql_server(const ConnectionString& source, const std::vector<InstalledDriver>& installed,
                  std::string_view configured_driver) {
  const std::string integrated = source.has("Integrated Security")
                                     ? source.get("Integrated Security")
                                     : source.get("Trusted_Connection");
  if (is_one_of(integrated, {"SSPI", "true", "yes"})) {
    refuse(
        "Windows authentication (Integrated Security=SSPI) is not available to the engine: "
        "give the User ID and Password of a SQL Server login in the instance's section.");
  }

  // The driver: the configured one, else the first installed of the known ones.
  std::string driver(configured_driver);
  if (driver.size() >= 2 && driver.front() == '{' && driver.back() == '}') {
    driver = driver.substr(1, driver.size() - 2);
  }
  if (driver.empty()) {
    for (const std::string_view known : kSqlServerDrivers) {
      for (const InstalledDriver& d : installed) {
        if (driver.empty() && iequals(d.name, known)) driver = d.name;
      }
    }
  }
  if (driver.empty()) {
    refuse(
        "No ODBC driver for SQL Server is installed: install ODBC Driver 18 for SQL Server or "
        "FreeTDS (tdsodbc), or name a driver with ODBC DRIVER in the INI file's [GENERAL] "
        "section.");
  }
  bool freetds = contains_blind(driver, "freetds");
  for (const InstalledDriver& d : installed) {
    if (iequals(d.name, driver) && contains_blind(d.file, "libtdsodbc")) freetds = true;
  }

  const std::string data_source =
      source.has("Data Source") ? source.get("Data Source") : source.get("Server");
  const Server server = server_of(data_source);
  Builder b;
  b.add("Driver", "{" + driver + "}");
  if (freetds) {
    // FreeTDS takes "host\instance" in Server, the port apart.
    b.add("Server",
          OdbcValue(server.instance.empty() ? server.host : server.host + "\\" + server.instance));
    if (!server.port.empty()) b.add("Port", OdbcValue(server.port));
  } else {
    std::string text = server.host;
    if (!server.instance.empty()) text += "\\" + server.instance;
    if (!server.port.empty()) text += "," + server.port;
    b.add("Server", OdbcValue(text));
  }
  const std::pair<std::string_view, std::string_view> plain[] = {
      {"Initial Catalog", "Database"}, {"User ID", "UID"},         {"Password", "PWD"},
      {"Application Name", "APP"},     {"Workstation ID", "WSID"},
  };
  for (const auto& [keyword, odbc] : plain) {
    if (source.has(keyword)) b.add(odbc, OdbcValue(source.get(keyword)));
  }
  if (!source.has("Application Name")) b.add("APP", "talwen");

  const std::string encrypt = yes_no(source.get("Encrypt"));
  const std::string trust = yes_no(source.get("TrustServerCertificate"));
  if (freetds) {
    if (encrypt == "yes" || encrypt == "strict") b.add("Encryption", "require");
    b.add("TDS_Version", "7.4");
    b.add("ClientCharset", "UTF-8");
  } else {
    if (!encrypt.empty()) b.add("Encrypt", encrypt);
    if (trust == "yes" || trust == "no") b.add("TrustServerCertificate", trust);
  }
  return b.take(Dialect::kSqlServer);
}

Target generic(const ConnectionString& source) {
  Builder b;
  bool names_source = false;
  for (const auto& [keyword, value] : source.pairs()) {
    bool engine_only = false;
    for (const std::string_view k : kEngineKeywords) engine_only |= iequals(keyword, k);
    if (engine_only) continue;
    std::string_view name = keyword;
    for (const auto& [ado, odbc] : kOdbcNames) {
      if (iequals(keyword, ado) && !source.has(odbc)) name = odbc;
    }
    names_source |= iequals(name, "DSN") || iequals(name, "Driver") || iequals(name, "FILEDSN");
    b.add(name, is_braced(value) ? value : OdbcValue(value));
  }
  if (!names_source) {
    refuse("Provider=MSDASQL needs DSN= or Driver= in the instance's section.");
  }
  return b.take(Dialect::kGeneric);
}

}  // namespace

const std::vector<std::string>& ProviderNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const char* base :
         {"SQLOLEDB", "SQLNCLI", "SQLNCLI10", "SQLNCLI11", "MSOLEDBSQL", "MSOLEDBSQL19"}) {
      out.emplace_back(base);
      out.emplace_back(std::string(base) + ".1");
    }
    out.emplace_back("MSDASQL");
    out.emplace_back("MSDASQL.1");
    return out;
  }();
  return names;
}

bool IsSqlServerProvider(std::string_view provider) {
  for (const std::string& name : ProviderNames()) {
    if (iequals(name, provider)) return !name.starts_with("MSDASQL");
  }
  return false;
}

Target TargetOf(const ConnectionString& source, const std::vector<InstalledDriver>& installed,
                std::string_view configured_driver, std::chrono::seconds login_timeout) {
  Target target = IsSqlServerProvider(source.get("Provider"))
                      ? sql_server(source, installed, configured_driver)
                      : generic(source);
  target.login_timeout = login_timeout_of(source, login_timeout);
  return target;
}

std::string OdbcValue(std::string_view value) {
  const bool plain = value.find_first_of(";{}") == std::string_view::npos &&
                     (value.empty() || (value.front() != ' ' && value.back() != ' '));
  if (plain) return std::string(value);
  std::string out = "{";
  for (const char c : value) {
    out.push_back(c);
    if (c == '}') out.push_back('}');
  }
  out.push_back('}');
  return out;
}

}  // namespace talwen::db::odbc
