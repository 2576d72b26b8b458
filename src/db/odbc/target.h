// Target: what the instance's connection string becomes for the ODBC driver manager.
//
// Two kinds of section are understood:
//   SQL Server   Provider=SQLOLEDB (or SQLNCLI, SQLNCLI10, SQLNCLI11, MSOLEDBSQL, MSOLEDBSQL19,
//                each also with a ".1" version suffix). Data Source ("host", "host,port",
//                "host\instance", "tcp:" allowed), Initial Catalog, User ID, Password,
//                Encrypt, TrustServerCertificate, Application Name and Workstation ID become the
//                driver's keywords. The driver is the one named by ODBC DRIVER in [GENERAL], else
//                the first installed of "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL
//                Server" and "FreeTDS"; FreeTDS is told TDS 7.4 and UTF-8 here, not left to its
//                own files.
//   any ODBC     Provider=MSDASQL with DSN= or Driver=: the keywords pass through (Data Source,
//                User ID, Password and Initial Catalog under their ODBC names).
// Connect Timeout (seconds) sets the login time-out in both. Nothing here calls the driver.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"

namespace talwen::db::odbc {

enum class Dialect { kSqlServer, kGeneric };

// A driver the driver manager knows (its odbcinst.ini section).
struct InstalledDriver {
  std::string name;  // "ODBC Driver 18 for SQL Server", "FreeTDS"
  std::string file;  // its library, "libtdsodbc.so"
};

struct Target {
  std::string connection_string;  // for SQLDriverConnect
  std::chrono::seconds login_timeout{30};
  Dialect dialect = Dialect::kGeneric;
  std::string label;  // the connection string without its password
};

// The provider names served, SQL Server's first; "MSDASQL" last.
const std::vector<std::string>& ProviderNames();
bool IsSqlServerProvider(std::string_view provider);

// The target of a connection string. `configured_driver` is [GENERAL] ODBC DRIVER ("" when
// not set); `login_timeout` applies when the string has no valid Connect Timeout. Throws
// DbError (kErrorGeneric) when the string cannot be served: Windows authentication, no
// SQL Server driver installed, MSDASQL without DSN or Driver.
Target TargetOf(const ConnectionString& source, const std::vector<InstalledDriver>& installed,
                std::string_view configured_driver, std::chrono::seconds login_timeout);

// A value as an ODBC connection string writes it: in braces, "}" doubled, when it holds
// ";", a brace or outer blanks; as it is otherwise.
std::string OdbcValue(std::string_view value);

}  // namespace talwen::db::odbc
