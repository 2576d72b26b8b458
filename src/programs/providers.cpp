// The database providers of this build: each provider folder under src/db/ is a library of its
// own, switched on or off when the build is configured (TALWEN_WITH_<NAME>).
#include <chrono>
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
                  // Asked on every request: each thread looks at the file at most once a
                  // second, and reads the keys again only when it changed.
                  thread_local const ConfigFile* file = nullptr;
                  thread_local std::chrono::steady_clock::time_point looked;
                  thread_local std::shared_ptr<const IniFile> seen;
                  thread_local db::postgres::PoolSettings settings;
                  const auto now = std::chrono::steady_clock::now();
                  if (file == &config && now - looked < std::chrono::seconds(1)) return settings;
                  auto ini = config.snapshot();
                  if (file != &config || ini != seen || !ini) {
                    settings = db::postgres::ReadPoolSettings(ini.get());
                    seen = std::move(ini);
                  }
                  file = &config;
                  looked = now;
                  return settings;
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
