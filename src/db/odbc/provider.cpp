#include "db/odbc/provider.h"

#include "base/text.h"

namespace talwen::db::odbc {
namespace {

// How long the list of installed drivers is trusted before the driver manager is asked again.
constexpr std::chrono::seconds kDriversLifetime{60};

// One request's connection: a link checked out of its target's pool.
class OdbcConnection : public Connection {
 public:
  OdbcConnection(std::shared_ptr<OdbcProvider::Pool> pool, std::unique_ptr<Link> link,
                 Environment& env, HangupWatcher& watcher, Target target, const Timeouts& timeouts,
                 PoolSettings settings)
      : pool_(std::move(pool)),
        link_(std::move(link)),
        env_(env),
        watcher_(watcher),
        target_(std::move(target)),
        timeouts_(timeouts),
        settings_(settings) {}
  ~OdbcConnection() override {
    if (link_) link_->Watch(nullptr, nullptr);
    pool_->links.Leave(std::move(link_), settings_);
  }
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  std::vector<ResultSet> execute(std::string_view statement) override {
    std::vector<ResultSet> result;
    aside([&] {
      Link& link = live();
      try {
        result = link.Execute(statement, timeouts_.command);
      } catch (const DbError&) {
        AfterFailure();
        throw;
      }
    });
    return result;
  }

  void watch(ClientWatch* client) override {
    client_ = client;
    if (link_) link_->Watch(client, &watcher_);
  }

  std::vector<Parameter> parameters(std::string_view procedure) override {
    const RoutineName name = ParseRoutineName(procedure);
    RoutinePtr routine;
    aside([&] {
      try {
        routine = pool_->routines.Get(name, LookUp(name));
      } catch (const DbError&) {
        AfterFailure();
        throw;
      }
    });
    described_[to_lower(name.text)] = routine;
    return routine->EngineParameters();
  }

  CallResult call(std::string_view procedure, const std::vector<Value>& values) override {
    CallResult result;
    aside([&] { result = call_here(procedure, values); });
    return result;
  }

 private:
  // The driver blocks its thread for every statement: with a host that serves many requests
  // on a thread, each call runs on a thread of its own meanwhile.
  void aside(const std::function<void()>& work) {
    AsideWith(client_ ? client_->waiter() : nullptr, work);
  }

  CallResult call_here(std::string_view procedure, const std::vector<Value>& values) {
    const RoutineName name = ParseRoutineName(procedure);
    RoutinePtr routine;
    if (const auto it = described_.find(to_lower(name.text)); it != described_.end()) {
      routine = it->second;
    }
    try {
      if (!routine) routine = pool_->routines.Get(name, LookUp(name));
      try {
        return live().Call(*routine, values, timeouts_.command);
      } catch (const OdbcError& e) {
        if (link_->broken() || !IsStaleCall(e.records(), target_.dialect)) throw;
        // The procedure changed since it was described: describe it again and, if that
        // shows something new, call it once more with the values moved to their names.
        const RoutinePtr fresh = pool_->routines.Refresh(name, LookUp(name));
        if (*fresh == *routine) throw;
        link_->Settle();
        CallResult result =
            live().Call(*fresh, ValuesFor(*routine, values, *fresh), timeouts_.command);
        result.values = ValuesFor(*fresh, result.values, *routine);
        return result;
      }
    } catch (const DbError&) {
      AfterFailure();
      throw;
    }
  }

  // The link for the next call: a new one when the last call lost the connection.
  Link& live() {
    if (!link_ || link_->broken()) {
      link_.reset();
      link_ = pool_->links.Take();
      if (!link_) link_ = Link::Open(env_, target_);
      link_->Watch(client_, &watcher_);
    }
    return *link_;
  }

  std::function<Routine()> LookUp(const RoutineName& name) {
    return
        [this, &name] { return RoutineOf(name, live().ProcedureColumns(name, timeouts_.command)); };
  }

  void AfterFailure() {
    if (!link_) return;
    if (link_->broken()) {
      pool_->links.Clear();
    } else {
      link_->Settle();
    }
  }

  std::shared_ptr<OdbcProvider::Pool> pool_;
  std::unique_ptr<Link> link_;
  Environment& env_;
  HangupWatcher& watcher_;
  ClientWatch* client_ = nullptr;
  Target target_;
  Timeouts timeouts_;
  PoolSettings settings_;
  // The routines parameters() described, by name: call() finds its values at their positions.
  std::map<std::string, RoutinePtr> described_;
};

}  // namespace

Settings ReadSettings(const IniFile* ini) {
  Settings settings;
  settings.pool = ReadPoolSettings(ini);
  if (ini) settings.driver = ini->read_string("GENERAL", "ODBC DRIVER", "");
  return settings;
}

OdbcProvider::OdbcProvider(std::function<Settings()> settings)
    : settings_(std::move(settings)),
      reaper_([this] { return this->settings().pool; }, [this] { ReleaseIdle(); }) {}

OdbcProvider::~OdbcProvider() = default;

Settings OdbcProvider::settings() const {
  return settings_ ? settings_() : Settings{};
}

Target OdbcProvider::TargetFor(const ConnectionString& source, const Timeouts& timeouts) {
  std::vector<InstalledDriver> drivers;
  if (IsSqlServerProvider(source.get("Provider"))) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (drivers_.empty() || now - drivers_listed_ >= kDriversLifetime) {
      drivers_ = env_.Drivers();
      drivers_listed_ = now;
    }
    drivers = drivers_;
  }
  return TargetOf(source, drivers, settings().driver, timeouts.connect);
}

std::shared_ptr<OdbcProvider::Pool> OdbcProvider::pool_for(const Target& target) {
  reaper_.Start();
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<Pool>& pool = pools_[target.connection_string];
  if (!pool) pool = std::make_shared<Pool>(target);
  return pool;
}

std::unique_ptr<Connection> OdbcProvider::open(const ConnectionString& source,
                                               const Timeouts& timeouts) {
  const Target target = TargetFor(source, timeouts);
  std::shared_ptr<Pool> pool = pool_for(target);
  const PoolSettings pool_settings = settings().pool;
  std::unique_ptr<Link> link = pool->links.Enter(pool_settings, timeouts.waiter);
  try {
    // Connecting blocks too: aside, as the calls are.
    if (!link) AsideWith(timeouts.waiter, [&] { link = Link::Open(env_, target); });
  } catch (...) {
    pool->links.Leave(nullptr, pool_settings);
    throw;
  }
  return std::make_unique<OdbcConnection>(std::move(pool), std::move(link), env_, watcher_, target,
                                          timeouts, pool_settings);
}

size_t OdbcProvider::idle_count(const ConnectionString& source) {
  return pool_for(TargetFor(source, {}))->links.idle_count();
}

void OdbcProvider::pool_stats(std::vector<PoolStats>& out) {
  std::vector<std::shared_ptr<Pool>> pools;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, pool] : pools_) pools.push_back(pool);
  }
  for (const auto& pool : pools) out.push_back(pool->links.Stats(pool->target.label));
}

void OdbcProvider::ReleaseIdle() {
  std::vector<std::shared_ptr<Pool>> pools;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, pool] : pools_) pools.push_back(pool);
  }
  const PoolSettings now_settings = settings().pool;
  const auto now = std::chrono::steady_clock::now();
  for (const auto& pool : pools) pool->links.ReleaseIdle(now, now_settings);
}

}  // namespace talwen::db::odbc
