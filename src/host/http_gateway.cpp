#include "host/http_gateway.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <stdexcept>

#include "base/dates.h"
#include "base/text.h"
#include "db/client_watch.h"
#include "frame/config.h"
#include "frame/main.h"
#include "host/access_log.h"
#include "host/http_fields.h"
#include "host/http_server.h"
#include "host/metrics.h"
#include "host/request_mapping.h"
#include "host/static_files.h"

namespace talwen::host {
namespace {

constexpr std::string_view kTextPlain = "text/plain; charset=utf-8";
constexpr std::string_view kTextHtml = "text/html; charset=utf-8";
constexpr std::string_view kFormType = "application/x-www-form-urlencoded";
constexpr std::string_view kImagePrefix = "/image/";
// The functions that sign an operator on and off, and the start of an accepted sign-on.
constexpr std::string_view kSignOnFunction = "rf_check_user_password";
constexpr std::string_view kSignOffFunction = "rf_system_logout";
constexpr std::string_view kSignedOn = "<sqlstatus>0</sqlstatus>";

// Write text whole, however many writes it takes.
void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

// The row of the table that a function name calls, letter case aside; nullptr when there is
// none. (A name longer than any function's is not looked for.)
const RfFunction* function_of(const FunctionTable* table, std::string_view name) {
  char lower[64];
  if (!table || name.size() > sizeof lower) return nullptr;
  for (size_t i = 0; i < name.size(); ++i) lower[i] = ascii_lower(name[i]);
  return table->find({lower, name.size()});
}

ServerLimits limits_of(const GatewayOptions& options) {
  ServerLimits limits;
  limits.threads = options.threads;
  limits.workers = options.workers;
  limits.max_connections = options.max_connections;
  limits.max_connections_per_peer = options.max_connections_per_peer;
  limits.trusted_proxies = options.trusted_proxies;
  limits.max_header_bytes = options.max_header_bytes;
  limits.max_body_bytes = options.max_body_bytes;
  limits.read_timeout = options.read_timeout;
  limits.write_timeout = options.write_timeout;
  limits.keep_alive_timeout = options.keep_alive_timeout;
  limits.keep_alive_requests = options.keep_alive_requests;
  return limits;
}

// The limit of calls at once of each function (0: none), then of the names not served.
std::vector<int> limits_of_functions(std::span<const RfFunction> functions,
                                     const GatewayOptions& options) {
  const size_t half = std::max<size_t>(1, options.threads / 2);
  const size_t general = options.function_limit > 0 ? options.function_limit : half;
  std::vector<int> limits;
  for (const RfFunction& function : functions) {
    const auto own = options.function_limits.find(function.name);
    limits.push_back(
        static_cast<int>(own != options.function_limits.end() ? own->second : general));
  }
  limits.push_back(static_cast<int>(general));
  return limits;
}

// Why a request failed, as the pages and the logs are told: "" when it did not fail, or when
// the reply tells the page itself.
std::string_view reason_of(const Failure& failure) {
  return failure.kind == Failure::kNone || failure.answered ? std::string_view() : failure.reason;
}

GatewayMetrics::Outcome outcome_of(const EngineReply& reply) {
  switch (reply.failure.kind) {
    case Failure::kBusy:
      return GatewayMetrics::kRefused;
    case Failure::kGone:
      return GatewayMetrics::kCancelled;
    case Failure::kDatabase:
      return GatewayMetrics::kDatabaseError;
    default:
      break;
  }
  if (reply.body.empty()) return GatewayMetrics::kEmpty;
  constexpr std::string_view kStatus = "<sqlstatus>";
  const std::string_view body = reply.body;
  if (body.starts_with(kStatus) && !body.substr(kStatus.size()).starts_with("0<")) {
    return GatewayMetrics::kStatusNonZero;
  }
  return GatewayMetrics::kOk;
}

// 503 with Retry-After: the call did not start; no RF reply exists.
void answer_busy(HttpResponse& response) {
  response.status = 503;
  response.body.clear();
  response.headers.emplace_back("Retry-After", "1");
  response.headers.emplace_back("Cache-Control", "no-store");
  response.headers.emplace_back("Talwen-Error", "busy");
  response.reason = "busy";
}

GatewayOptions with_defaults(GatewayOptions options) {
  if (!options.access_log) options.access_log = [](std::string_view lines) { write_all(1, lines); };
  if (!options.server_log) {
    options.server_log = [](std::string_view text) {
      std::string line = local_iso_stamp(std::chrono::system_clock::now(), true);
      line += ' ';
      line += text;
      line += '\n';
      write_all(2, line);
    };
  }
  if (!options.run_engine) options.run_engine = RunProcess;
  return options;
}

}  // namespace

EngineReply RunProcess(const Environment& env, Session& session, const Request& request) {
  Main main(env);
  EngineReply reply;
  reply.body = main.Process(session, request);
  reply.html = main.reply_is_html();
  reply.failure = std::move(main).failure();
  return reply;
}

class HttpGateway::Impl {
 public:
  Impl(const Environment& env, GatewayOptions options)
      : env_(env),
        options_(with_defaults(std::move(options))),
        identity_{env.component.exe_name + "/" + env.component.version,
                  options_.www_dir.empty() ? env.component.path : options_.www_dir},
        functions_(env.functions ? env.functions->rows() : std::span<const RfFunction>()),
        metrics_(functions_),
        limits_(limits_of_functions(functions_, options_)),
        // A buffer per worker, and one for the refusals of the accepting thread.
        access_log_(options_.threads + 1, options_.access_log),
        server_(
            limits_of(options_), [this](const HttpRequest& r, HttpResponse& a) { handle(r, a); },
            [this](const HttpRequest& r, HttpResponse& a) { return screen(r, a); }, access_log_,
            options_.server_log) {}

  void start() {
    if (!options_.image_dir.empty()) {
      images_ = StaticFolder::Open(options_.image_dir);
      if (!images_) {
        options_.server_log("IMAGE FOLDER " + options_.image_dir +
                            " is not a folder; /image/ serves nothing");
      }
    }
    if (!options_.www_dir.empty()) {
      www_ = StaticFolder::Open(options_.www_dir);
      if (!www_) throw std::runtime_error(options_.www_dir + " is not a folder");
    }
    server_.listen(options_.host, options_.port);
    server_.start();
  }
  void stop() { server_.stop(); }
  int port() const { return server_.port(); }
  size_t workers() const { return server_.workers(); }
  bool failed() const { return server_.failed(); }
  size_t open_connections() const { return server_.open_connections(); }

 private:
  // A request with a body, before the body is read: refuse now what would be refused after
  // the upload.
  bool screen(const HttpRequest& request, HttpResponse& response) {
    const std::string path = path_of(request);
    if (!options_.allowed.contains(request.peer_ip)) {
      PlainResponse(response, 403, true);
    } else if (!known_method(request, response)) {
    } else if (request.method == "POST" && iequals(path, kGatewayPath)) {
      const std::string_view* type = request.header("Content-Type");
      if (MediaType(type ? *type : std::string_view()) == kFormType) return true;
      PlainResponse(response, 415, true);
    } else if (request.method == "POST") {
      answer_post_elsewhere(path, response);
    } else {
      return true;  // nobody reads it, but it is read and dropped
    }
    return false;
  }

  void handle(const HttpRequest& request, HttpResponse& response) {
    if (!options_.allowed.contains(request.peer_ip)) return PlainResponse(response, 403, false);
    if (!known_method(request, response)) return;
    const std::string path = path_of(request);
    const bool post = request.method == "POST";
    if (iequals(path, kGatewayPath)) {
      if (request.method == "HEAD") {
        // A HEAD here would run a database procedure.
        response.headers.emplace_back("Allow", "GET, POST");
        return PlainResponse(response, 405, false);
      }
      return answer_gateway(request, path, response);
    }
    if (post) return answer_post_elsewhere(path, response);
    if (path == "/live") {
      response.body = "live\n";
    } else if (path == "/ready") {
      answer_ready(request, response);
    } else if (path == "/metrics") {
      answer_metrics(request, response);
    } else {
      const std::string_view relative = std::string_view(path).substr(1);
      const bool image =
          images_ && path.starts_with(kImagePrefix) &&
          images_->serve(std::string_view(path).substr(kImagePrefix.size()), response);
      if (!image && !(www_ && www_->serve(relative, response))) PlainResponse(response, 404, false);
    }
  }

  static std::string path_of(const HttpRequest& request) {
    return DecodePath(request.target.substr(0, request.target.find('?')));
  }

  // GET, HEAD and POST are served; anything else gets 405.
  static bool known_method(const HttpRequest& request, HttpResponse& response) {
    if (request.method == "GET" || request.method == "HEAD" || request.method == "POST") {
      return true;
    }
    response.headers.emplace_back("Allow", "GET, HEAD, POST");
    PlainResponse(response, 405, true);
    return false;
  }

  static void answer_post_elsewhere(std::string_view path, HttpResponse& response) {
    if (path == "/live" || path == "/ready") {
      response.headers.emplace_back("Allow", "GET, HEAD");
      return PlainResponse(response, 405, true);
    }
    PlainResponse(response, 404, true);
  }

  void answer_gateway(const HttpRequest& request, std::string_view path, HttpResponse& response) {
    std::optional<EngineRequest> mapped = MapRequest(request, path, identity_);
    if (!mapped) return PlainResponse(response, 400, true);
    response.function = mapped->session.get("function");
    const RfFunction* function = function_of(env_.functions, response.function);
    if (function && (function->flags & kDiagnostics) &&
        !options_.diagnostics.contains(request.peer_ip)) {
      return PlainResponse(response, 403, false);
    }
    const bool signing_on = iequals(response.function, kSignOnFunction);
    const int64_t now = signing_on || sign_on_.settings().required ? UnixNow() : 0;
    std::optional<SignOnTicket> ticket;
    std::string signing_operator;  // the session is the engine's once it runs
    if (signing_on) {
      signing_operator = mapped->session.get("operator");
      int64_t retry_after = 0;
      if (!sign_on_.attempt(request.peer_ip, now, retry_after)) {
        response.headers.emplace_back("Retry-After", std::to_string(retry_after));
        return PlainResponse(response, 429, false);
      }
    } else if (sign_on_.settings().required) {
      const std::string_view* cookie = request.header("Cookie");
      if (cookie) ticket = sign_on_.check(*cookie, now);
      if (!ticket) {
        response.headers.emplace_back("WWW-Authenticate",
                                      "Cookie name=\"" + std::string(kSignOnCookie) + "\"");
        return PlainResponse(response, 401, false);
      }
      // The operator is the one who signed on, whatever the form says.
      mapped->session.set("operator", ticket->operator_id);
    }

    mapped->request.function = function;
    const size_t slot = metrics_.slot(function);
    const auto started = metrics_.Start(slot, limits_[slot], request.waiter);
    if (!started) {
      metrics_.Refuse(slot);
      return answer_busy(response);
    }
    // While the engine runs, the client is watched: a client gone cancels the call.
    db::ClientWatch client(request.client_fd, request.waiter);
    mapped->request.client = &client;
    EngineReply reply;
    try {
      reply = options_.run_engine(env_, mapped->session, mapped->request);
    } catch (...) {
      metrics_.Finish(slot, GatewayMetrics::kEmpty, *started);
      throw;
    }
    metrics_.Finish(slot, outcome_of(reply), *started);
    const Failure& failure = reply.failure;
    if (!failure.code.empty() || failure.kind == Failure::kDatabase) {
      metrics_.CountDatabaseError(failure.code.empty() ? std::to_string(failure.number)
                                                       : failure.code);
    }
    if (failure.kind == Failure::kBusy) return answer_busy(response);
    if (failure.kind == Failure::kGone) {
      response.status = kClientClosedRequest;
      response.close = true;
      response.reason = failure.reason;
      return;
    }
    response.status = 200;
    response.body = std::move(reply.body);
    response.content_type = reply.html ? kTextHtml : kTextPlain;
    response.headers.emplace_back("Cache-Control", "no-store");
    if (const std::string_view reason = reason_of(failure); !reason.empty()) {
      response.headers.emplace_back("Talwen-Error", std::string(reason));
      response.reason = reason;
    }
    if (signing_on && sign_on_.settings().required && response.body.starts_with(kSignedOn)) {
      const SignOnTicket signed_on = sign_on_.begin(signing_operator, now);
      response.headers.emplace_back("Set-Cookie", sign_on_.cookie(signed_on, now));
    } else if (ticket && iequals(response.function, kSignOffFunction)) {
      sign_on_.end(*ticket, now);
      response.headers.emplace_back("Set-Cookie", SignOn::removal());
    } else if (ticket && sign_on_.stale(*ticket, now)) {
      sign_on_.touch(*ticket, now);
      response.headers.emplace_back("Set-Cookie", sign_on_.cookie(*ticket, now));
    }
    if (mapped->new_session) {
      response.headers.emplace_back("Set-Cookie", std::string(kSessionCookie) + "=" +
                                                      mapped->session.id() +
                                                      "; Path=/; HttpOnly; SameSite=Lax");
    }
  }

  // The counters, for the peers allowed the diagnostics: the pools name servers and users.
  void answer_metrics(const HttpRequest& request, HttpResponse& response) {
    if (!options_.diagnostics.contains(request.peer_ip)) return PlainResponse(response, 403, false);
    const auto pools = env_.connector ? env_.connector->pool_stats() : std::vector<db::PoolStats>();
    const auto uptime = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_);
    response.body = metrics_.Text(pools, uptime, env_.component.version);
    response.content_type = "text/plain; version=0.0.4; charset=utf-8";
    response.headers.emplace_back("Cache-Control", "no-store");
  }

  void answer_ready(const HttpRequest& request, HttpResponse& response) {
    std::string why;
    bool ready = false;
    try {
      const auto ini = env_.config ? env_.config->snapshot() : nullptr;
      const Config config = load_config(ini.get(), kDefaultInstance, local_today());
      if (!env_.connector) throw std::runtime_error("no database providers");
      const auto wait = std::chrono::ceil<std::chrono::seconds>(options_.ready_timeout);
      // Waiting as a request waits: a database that does not answer holds up no worker.
      env_.connector->open(config.connection_string, db::Timeouts{wait, wait, request.waiter});
      ready = true;
    } catch (const std::exception& e) {
      why = e.what();
    }
    const int state = ready ? 1 : 0;
    const int previous = ready_state_.exchange(state);
    if (previous != state && (previous != -1 || !ready)) {
      const std::string instance(kDefaultInstance);
      options_.server_log(ready ? "database connection for " + instance + " available"
                                : "database connection for " + instance + " not available: " + why);
    }
    response.status = ready ? 200 : 503;
    response.body = ready ? "ready\n" : "not ready\n";
  }

  const Environment& env_;
  GatewayOptions options_;
  const GatewayIdentity identity_;
  std::optional<StaticFolder> images_, www_;
  std::atomic<int> ready_state_{-1};  // -1 unknown, 0 not ready, 1 ready
  const Clock::time_point started_ = Clock::now();
  const std::span<const RfFunction> functions_;
  GatewayMetrics metrics_;
  const std::vector<int> limits_;  // calls at once, by the metrics' slot
  SignOn sign_on_{options_.sign_on};
  AccessLog access_log_;
  HttpServer server_;  // last: its workers stop before the rest goes
};

HttpGateway::HttpGateway(const Environment& env, GatewayOptions options)
    : impl_(std::make_unique<Impl>(env, std::move(options))) {}

HttpGateway::~HttpGateway() = default;

void HttpGateway::start() {
  impl_->start();
}

int HttpGateway::port() const {
  return impl_->port();
}

size_t HttpGateway::workers() const {
  return impl_->workers();
}

void HttpGateway::stop() {
  impl_->stop();
}

bool HttpGateway::failed() const {
  return impl_->failed();
}

size_t HttpGateway::open_connections() const {
  return impl_->open_connections();
}

}  // namespace talwen::host
