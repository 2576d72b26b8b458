// The database providers of this build: each provider folder under src/db/ is a library of its
// own, switched on or off when the build is configured (TALWEN_WITH_<NAME>).
#include <memory>

#include "programs/program.h"
#ifdef TALWEN_WITH_POSTGRES
#include "db/postgres/provider.h"
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
}

int PooledConnections([[maybe_unused]] const IniFile* ini) {
  int connections = 0;
#ifdef TALWEN_WITH_POSTGRES
  connections += db::postgres::ReadPoolSettings(ini).size;
#endif
  return connections;
}

}  // namespace talwen::program
