// The database providers of this build: each provider folder under src/db/ is a library of its
// own, switched on or off when the build is configured (TALWEN_WITH_<NAME>).
#include <memory>

#include "programs/program.h"
#ifdef TALWEN_WITH_POSTGRES
#include "db/postgres/provider.h"
#endif
#ifdef TALWEN_WITH_ODBC
#include "db/odbc/provider.h"
#include "db/odbc/target.h"
#endif

namespace talwen::program {

void AddProviders([[maybe_unused]] db::Connector& connector,
                  [[maybe_unused]] const ConfigFile& config) {
#ifdef TALWEN_WITH_POSTGRES
  connector.add("PostgreSQL", std::make_shared<db::postgres::PostgresProvider>([&config] {
                  const auto ini = config.snapshot();
                  return db::postgres::ReadPoolSettings(ini.get());
                }));
#endif
#ifdef TALWEN_WITH_ODBC
  // One provider under every name it answers to, so all share its pools.
  const auto odbc = std::make_shared<db::odbc::OdbcProvider>([&config] {
    const auto ini = config.snapshot();
    return db::odbc::ReadSettings(ini.get());
  });
  for (const std::string& name : db::odbc::ProviderNames()) connector.add(name, odbc);
#endif
}

}  // namespace talwen::program
