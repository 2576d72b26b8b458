// The ODBC drivers the tests use, registered in a private odbcinst.ini so that a test run
// leaves the machine's own driver list alone.
#pragma once

#include <string>

namespace talwen::testing {

// Write odbcinst.ini (PostgreSQL Unicode, FreeTDS: those found at build time) into a folder
// of this process and point the driver manager at it (ODBCSYSINI, ODBCINI); child processes
// inherit it. Done once; returns the folder.
const std::string& UsePrivateOdbcDrivers();

// The libraries of Debian's PostgreSQL ODBC driver and of FreeTDS, "" when the build found
// none.
std::string PostgresOdbcDriver();
std::string FreeTdsOdbcDriver();

}  // namespace talwen::testing
