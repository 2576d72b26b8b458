#include <memory>

#include "db/postgres/provider.h"
#include "programs/program.h"

namespace talwen::program {

void AddProviders(db::Connector& connector, const ConfigFile& config) {
  connector.add("PostgreSQL", std::make_shared<db::postgres::PostgresProvider>([&config] {
                  // Read again only when the file changed.
                  thread_local std::shared_ptr<const IniFile> seen;
                  thread_local db::postgres::PoolSettings settings;
                  auto ini = config.snapshot();
                  if (ini != seen || !ini) {
                    settings = db::postgres::ReadPoolSettings(ini.get());
                    seen = std::move(ini);
                  }
                  return settings;
                }));
}

}  // namespace talwen::program
