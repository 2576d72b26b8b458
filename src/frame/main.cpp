#include "frame/main.h"

#include <exception>
#include <stdexcept>

#include "base/dates.h"
#include "base/text.h"
#include "db/client_watch.h"
#include "frame/config.h"
#include "frame/dispatch.h"
#include "frame/reply.h"
#include "frame/trace_log.h"

namespace talwen {
namespace {

// load_config for this request: the same file, instance and day give what the thread's
// last request got.
const Config& config_of(std::shared_ptr<const IniFile> ini, std::string_view instance,
                        std::chrono::year_month_day today) {
  thread_local struct {
    std::shared_ptr<const IniFile> ini;
    bool known = false;
    std::string instance;
    std::chrono::year_month_day today;
    Config config;
  } last;
  if (!last.known || last.ini != ini || last.instance != instance || last.today != today) {
    last.config = load_config(ini.get(), instance, today);
    last.ini = std::move(ini);
    last.instance.assign(instance);
    last.today = today;
    last.known = true;
  }
  return last.config;
}

std::string connection_failure(int32_t number, std::string_view description) {
  return MakeTag("sqlstatus", std::to_string(number)) +
         MakeTag("sqlmsg", "Cannot connect to database server : " + std::string(description));
}

// Tell the environment that a handler failed; the report itself must not fail the call. The
// first failure is told, with its reason: what it led to comes after.
void report(const Call& call) noexcept {
  try {
    if (!call.env.report_failure) return;
    const Failure& f = call.failure;
    call.env.report_failure(call.function_name,
                            f.reason.empty() ? f.detail : "(" + f.reason + ") " + f.detail);
  } catch (...) {
  }
}

// Run one handler: trace around it, and turn any failure into the empty reply.
std::string run_handler(const RfFunction& function, Call& call) {
  const bool traced = !(function.flags & kUntraced);
  std::string reply;
  try {
    if (traced) LogEnter(call);
    reply = function.handler(call);
    if (traced) LogExit(call, reply);
  } catch (const std::exception& e) {
    call.NoteFailure(e);
    report(call);
  } catch (...) {
    call.NoteFailure(std::runtime_error("unknown failure"));
    report(call);
  }
  if (traced && call.failure.kind != Failure::kNone) LogFailure(call);
  return reply;
}

}  // namespace

std::string Main::Process(Session& session, const Request& request) {
  html_ = false;
  function_name_.clear();
  failure_ = {};
  std::string server_name, remote_addr, db_instance;
  Config config;
  std::unique_ptr<db::Connection> connection;
  try {
    server_name = request.server_variables.get("SERVER_NAME");
    db_instance = session.get("dbinstance");
    remote_addr = request.server_variables.get("REMOTE_ADDR");
    if (db_instance.empty()) db_instance = kDefaultInstance;
    config = config_of(env_.config ? env_.config->snapshot() : nullptr, db_instance,
                       local_date(env_.now()));
    if (!env_.connector) throw db::DbError(db::kErrorNoProvider, "No database providers.");
    db::Timeouts timeouts;
    timeouts.waiter = request.client ? request.client->waiter() : nullptr;
    connection = env_.connector->open(config.connection_string, timeouts);
  } catch (const db::DbError& e) {
    failure_ = FailureOf(e);
    if (failure_.kind == Failure::kBusy) return {};
    if (failure_.kind == Failure::kDatabase) failure_.reason = "connection failure";
    return connection_failure(e.number(), e.what());
  } catch (const std::exception& e) {
    failure_ = Failure::Of(Failure::kDatabase, "connection failure", e.what());
    failure_.number = db::kErrorGeneric;
    return connection_failure(db::kErrorGeneric, e.what());
  }
  if (request.client) connection->watch(request.client);

  Call call(env_, session, request, *connection);
  call.server_name = std::move(server_name);
  call.remote_addr = std::move(remote_addr);
  call.db_instance = std::move(db_instance);
  call.connection_string = std::move(config.connection_string);
  call.trace = {std::move(config.log_file_path), std::move(config.log_mode)};
  call.function_name = session.get("function");
  function_name_ = call.function_name;

  std::string reply;
  const RfFunction* function = request.function;
  if (!function && env_.functions) function = env_.functions->find(to_lower(call.function_name));
  if (function) {
    html_ = (function->flags & kHtml) != 0;
    reply = run_handler(*function, call);
    failure_ = std::move(call.failure);
    failure_.answered = failure_.kind != Failure::kNone && !reply.empty();
  } else {
    reply = "<sqlstatus>-1</sqlstatus><sqlmsg>" + call.function_name +
            " is not a defined function.</sqlmsg>";
    failure_ =
        Failure::Of(Failure::kEngine, "unknown function", call.function_name + " is not defined");
  }
  session.remove_all();
  return reply;
}

}  // namespace talwen
