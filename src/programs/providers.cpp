#include <memory>

#include "db/postgres/provider.h"
#include "programs/program.h"

namespace talwen::program {

void AddProviders(db::Connector& connector, const ConfigFile& config) {
  connector.add("PostgreSQL", std::make_shared<db::postgres::PostgresProvider>([&config] {
                  const auto ini = config.snapshot();
                  return db::postgres::ReadPoolSettings(ini.get());
                }));
}

}  // namespace talwen::program
