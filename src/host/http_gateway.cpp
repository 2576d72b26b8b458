#include "host/http_gateway.h"

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include "base/text.h"
#include "frame/config.h"
#include "frame/main.h"
#include "functions/function_table.h"
#include "host/http_connection.h"
#include "host/http_fields.h"

namespace talwen::host {
namespace {

using httplib::Server;

constexpr const char* kTextPlain = "text/plain; charset=utf-8";
constexpr const char* kTextHtml = "text/html; charset=utf-8";
constexpr std::string_view kFormType = "application/x-www-form-urlencoded";
// Bytes after the headers the stream lets through beyond the body limit: chunk framing.
constexpr size_t kFramingAllowance = 16 * 1024;

const char* reason_of(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    case 415:
      return "Unsupported Media Type";
    case 416:
      return "Range Not Satisfiable";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

// Statuses after which the rest of the connection's input cannot be trusted.
bool ends_connection(int status) {
  return status == 400 || status == 408 || status == 413 || status == 414 || status == 431;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Write one line with a single write, so lines from different threads never mix.
void write_line(int fd, std::string_view line) {
  std::string text(line);
  text += '\n';
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Local time as 2009-01-05T10:15:01.123+0100.
std::string local_time_text(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
  char date[32], zone[8];
  std::strftime(date, sizeof(date), "%Y-%m-%dT%H:%M:%S", &tm);
  std::strftime(zone, sizeof(zone), "%z", &tm);
  char text[48];
  std::snprintf(text, sizeof(text), "%s.%03d%s", date, static_cast<int>(ms), zone);
  return text;
}

bool is_chunked(const httplib::Request& req) {
  return lower(req.get_header_value("Transfer-Encoding")).find("chunked") != std::string::npos;
}

// The declared body length: 0 without the header, nullopt when it is not a number.
std::optional<uint64_t> content_length(const httplib::Request& req) {
  if (!req.has_header("Content-Length")) return 0;
  const std::string text = req.get_header_value("Content-Length");
  uint64_t length = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), length);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return length;
}

// May the request carry a body that nobody read?
bool may_have_body(const httplib::Request& req) {
  const auto length = content_length(req);
  return is_chunked(req) || !length || *length > 0;
}

bool is_diagnostics_function(std::string_view lower_name) {
  for (const RfFunction& function : AllFunctions()) {
    if (function.name == lower_name) return (function.flags & kDiagnostics) != 0;
  }
  return false;
}

// The HTTP library hands each accepted socket to its task queue; the gateway's queue passes
// it straight on to the connection scheduler, on the accepting thread.
class InlineQueue : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> fn) override { fn(); }
  void shutdown() override {}
};

// The whole number of a [GENERAL] key: nullopt when the key is missing or empty, or when its
// value is not a number from min to max (error then says so).
std::optional<uint64_t> read_number(const IniFile& ini, std::string_view key, uint64_t min,
                                    uint64_t max, std::string& error) {
  const std::string text = ini.read_string("GENERAL", key, "");
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    error = std::string(key) + ": '" + text + "' is not a whole number from " +
            std::to_string(min) + " to " + std::to_string(max);
    return std::nullopt;
  }
  return value;
}

std::string read_networks(const IniFile& ini, std::string_view key, NetworkList& out) {
  const std::string text = ini.read_string("GENERAL", key, "");
  if (text.empty()) return {};
  // A profile value holds at most 254 bytes; a list that long was probably cut short.
  if (text.size() >= IniFile::kStringBufferSize - 1) {
    return std::string(key) + ": the list is too long for one INI value (254 bytes)";
  }
  std::string error;
  auto list = NetworkList::Parse(text, &error);
  if (!list) return std::string(key) + ": " + error;
  out = std::move(*list);
  return {};
}

}  // namespace

EngineReply RunProcess(const Environment& env, Session& session, const Request& request) {
  Main main(env);
  EngineReply reply;
  reply.body = main.Process(session, request);
  reply.html = main.reply_is_html();
  return reply;
}

std::string ApplyGeneralSettings(const IniFile* ini, GatewayOptions& options) {
  if (!ini) return {};
  using std::chrono::seconds;
  std::string error = read_networks(*ini, "HTTP ALLOW FROM", options.allowed);
  if (error.empty()) error = read_networks(*ini, "HTTP DIAGNOSTICS FROM", options.diagnostics);
  const auto number = [&](std::string_view key, uint64_t min, uint64_t max, auto apply) {
    if (!error.empty()) return;
    if (const auto value = read_number(*ini, key, min, max, error)) apply(*value);
  };
  const auto in_seconds = [](uint64_t v) { return seconds(static_cast<int64_t>(v)); };
  number("HTTP MAX BODY", 1, 64ull << 20, [&](uint64_t v) { options.max_body_bytes = v; });
  number("HTTP MAX HEADER", 1024, 1ull << 20, [&](uint64_t v) { options.max_header_bytes = v; });
  number("HTTP READ TIMEOUT", 1, 3600, [&](uint64_t v) { options.read_timeout = in_seconds(v); });
  number("HTTP WRITE TIMEOUT", 1, 3600, [&](uint64_t v) { options.write_timeout = in_seconds(v); });
  number("HTTP KEEPALIVE TIMEOUT", 0, 3600,
         [&](uint64_t v) { options.keep_alive_timeout = in_seconds(v); });
  number("HTTP KEEPALIVE REQUESTS", 1, 1'000'000,
         [&](uint64_t v) { options.keep_alive_requests = v; });
  number("HTTP MAX CONNECTIONS", 1, 100'000, [&](uint64_t v) { options.max_connections = v; });
  if (error.empty()) {
    const std::string images = ini->read_string("GENERAL", "IMAGE FOLDER", "");
    if (!images.empty()) options.image_dir = images;
  }
  return error;
}

// ---------------------------------------------------------------------------------------------

class HttpGateway::Impl {
 public:
  Impl(const Environment& env, GatewayOptions options);
  ~Impl() { stop(); }

  void start();
  void stop();
  int port() const { return port_; }
  bool failed() const { return failed_; }
  size_t open_connections() const { return scheduler_.open_connections(); }

 private:
  // What the gateway tracks of the request a worker is serving.
  struct Exchange {
    std::string peer;
    Clock::time_point start;
    std::string function;  // the session value "function", for the log
    bool close = false;    // close the connection after the answer
    bool logged = false;
  };

  // Makes an Exchange the current one of this thread while a request is served.
  class ExchangeScope {
   public:
    ExchangeScope(Impl& impl, Exchange& exchange) : impl_(impl) {
      std::lock_guard<std::mutex> lock(impl_.exchanges_mutex_);
      impl_.exchanges_[std::this_thread::get_id()] = &exchange;
    }
    ~ExchangeScope() {
      std::lock_guard<std::mutex> lock(impl_.exchanges_mutex_);
      impl_.exchanges_.erase(std::this_thread::get_id());
    }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;

   private:
    Impl& impl_;
  };

  // The HTTP library's server, parsing requests and writing responses on the gateway's own
  // connection streams.
  class Listener : public Server {
   public:
    explicit Listener(ConnectionScheduler& scheduler) : scheduler_(scheduler) {
      new_task_queue = [] { return new InlineQueue; };
    }
    // Read one request from the stream, route it and write the answer.
    bool serve(httplib::Stream& stream, bool close, bool& closed) {
      return process_request(stream, close, closed, [](httplib::Request& req) {
        // The engine's replies go out whole: a Range header applies to static files only.
        if (iequals(req.path, kGatewayPath) || req.path == "/live" || req.path == "/ready") {
          req.ranges.clear();
        }
      });
    }
    // The library listens with a short backlog; a burst of terminals needs a longer one.
    void widen_backlog() {
      const int fd = svr_sock_;
      if (fd >= 0) ::listen(fd, SOMAXCONN);
    }

   private:
    bool process_and_close_socket(socket_t sock) override {
      scheduler_.adopt(sock);
      return true;
    }

    ConnectionScheduler& scheduler_;
  };

  bool serve(Connection& connection, bool last);
  void refuse(int fd);
  Exchange& current_exchange();

  Server::HandlerResponse route(const httplib::Request& req, httplib::Response& res);
  void answer_gateway(const httplib::Request& req, httplib::Response& res,
                      const httplib::ContentReader* reader);
  void answer_ready(httplib::Response& res);
  void build_server_variables(const httplib::Request& req, std::string_view server_name,
                              std::string_view query, Values& variables) const;

  // A short text answer; `close` ends the connection after it.
  void plain(httplib::Response& res, int status, bool close);
  void log_access(const Exchange& exchange, std::string_view method, std::string_view path,
                  int status, size_t bytes) const;
  void message(std::string_view text) const;

  const Environment& env_;
  GatewayOptions options_;
  ConnectionScheduler scheduler_;
  Listener listener_;
  std::thread listen_thread_;
  int port_ = 0;
  bool started_ = false;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> failed_{false};
  std::atomic<int> ready_state_{-1};  // last /ready outcome: -1 none yet, 0 no, 1 yes

  std::mutex exchanges_mutex_;
  std::unordered_map<std::thread::id, Exchange*> exchanges_;  // by the serving thread
};

HttpGateway::Impl::Impl(const Environment& env, GatewayOptions options)
    : env_(env),
      options_(std::move(options)),
      scheduler_(
          SchedulerLimits{
              options_.threads, options_.max_connections, options_.read_timeout,
              options_.keep_alive_timeout,
              options_.keep_alive_timeout.count() == 0 ? 1 : options_.keep_alive_requests},
          StreamLimits{options_.max_header_bytes, options_.max_body_bytes + kFramingAllowance,
                       options_.read_timeout, options_.write_timeout},
          [this](Connection& connection, bool last) { return serve(connection, last); },
          [this](int fd) { refuse(fd); }),
      listener_(scheduler_) {
  if (!options_.access_log) options_.access_log = [](std::string_view l) { write_line(1, l); };
  if (!options_.server_log) {
    options_.server_log = [](std::string_view l) {
      write_line(2, local_time_text(std::chrono::system_clock::now()) + " " + std::string(l));
    };
  }
  if (!options_.run_engine) options_.run_engine = RunProcess;

  const auto seconds_of = [](std::chrono::milliseconds ms) {
    return static_cast<time_t>((ms.count() + 999) / 1000);
  };
  listener_.set_keep_alive_max_count(options_.keep_alive_requests);
  listener_.set_keep_alive_timeout(seconds_of(options_.keep_alive_timeout));
  listener_.set_read_timeout(seconds_of(options_.read_timeout));
  listener_.set_write_timeout(seconds_of(options_.write_timeout));
  listener_.set_payload_max_length(options_.max_body_bytes);
  // One listener per port: without this the library lets a second server share the port.
  listener_.set_socket_options([](socket_t sock) {
    const int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  });
  listener_.set_pre_routing_handler(
      [this](const httplib::Request& req, httplib::Response& res) { return route(req, res); });
  listener_.Post(
      ".*", [this](const httplib::Request& req, httplib::Response& res,
                   const httplib::ContentReader& reader) { answer_gateway(req, res, &reader); });
  // Before a client sends its body it may ask whether it is welcome: refuse at once what
  // would be refused after the upload.
  listener_.set_expect_100_continue_handler(
      [this](const httplib::Request& req, httplib::Response& res) {
        const auto length = content_length(req);
        if (!options_.allowed.contains(req.remote_addr)) {
          plain(res, 403, true);
        } else if (length && *length > options_.max_body_bytes) {
          plain(res, 413, true);
        } else {
          return 100;
        }
        return res.status;
      });
  listener_.set_error_handler(Server::HandlerWithResponse([this](const httplib::Request&,
                                                                 httplib::Response& res) {
    if (res.body.empty()) {
      res.set_content(std::to_string(res.status) + " " + reason_of(res.status) + "\n", kTextPlain);
    }
    if (ends_connection(res.status)) {
      current_exchange().close = true;
      res.set_header("Connection", "close");
    }
    return Server::HandlerResponse::Handled;
  }));
  listener_.set_exception_handler(
      [this](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown failure";
        try {
          if (ep) std::rethrow_exception(ep);
        } catch (const std::exception& e) {
          what = e.what();
        } catch (...) {
        }
        message("failure serving " + LogField(req.path) + ": " + what);
        plain(res, 500, true);
      });
  listener_.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    Exchange& exchange = current_exchange();
    if (exchange.logged) return;
    exchange.logged = true;
    log_access(exchange, req.method, req.path, res.status, res.body.size());
  });
}

void HttpGateway::Impl::start() {
  if (started_) return;
  if (!options_.image_dir.empty() && !listener_.set_mount_point("/image/", options_.image_dir)) {
    message("IMAGE FOLDER " + options_.image_dir + " is not a folder; /image/ serves nothing");
  }
  if (!options_.www_dir.empty() && !listener_.set_mount_point("/", options_.www_dir)) {
    throw std::runtime_error(options_.www_dir + " is not a folder");
  }
  int port = -1;
  if (options_.port == 0) {
    port = listener_.bind_to_any_port(options_.host);
  } else if (listener_.bind_to_port(options_.host, options_.port)) {
    port = options_.port;
  }
  if (port <= 0) {
    throw std::runtime_error("cannot listen on " + options_.host + " port " +
                             std::to_string(options_.port));
  }
  port_ = port;
  listener_.widen_backlog();
  scheduler_.start();
  started_ = true;
  listen_thread_ = std::thread([this] {
    listener_.listen_after_bind();
    if (!stopping_) {
      failed_ = true;
      message("the listening socket failed; no new connections are accepted");
    }
  });
  // Until the library's loop runs, its stop would be lost.
  const auto give_up = Clock::now() + std::chrono::seconds(10);
  while (!listener_.is_running() && !failed_ && Clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void HttpGateway::Impl::stop() {
  if (!started_ || stopping_.exchange(true)) return;
  listener_.stop();
  if (listen_thread_.joinable()) listen_thread_.join();
  scheduler_.stop();
}

HttpGateway::Impl::Exchange& HttpGateway::Impl::current_exchange() {
  std::lock_guard<std::mutex> lock(exchanges_mutex_);
  const auto it = exchanges_.find(std::this_thread::get_id());
  if (it == exchanges_.end()) throw std::logic_error("no request on this thread");
  return *it->second;
}

bool HttpGateway::Impl::serve(Connection& connection, bool last) {
  ConnectionStream& stream = connection.stream;
  stream.begin_request();
  Exchange exchange;
  exchange.peer = stream.peer();
  exchange.start =
      connection.ready_since == Clock::time_point() ? Clock::now() : connection.ready_since;
  ExchangeScope scope(*this, exchange);
  bool closed = false;
  const bool served = listener_.serve(stream, last || stopping_, closed);
  if (stream.answered_status() != 0 && !exchange.logged) {
    log_access(exchange, "", "", stream.answered_status(), stream.answered_body_bytes());
  }
  return served && !closed && !exchange.close;
}

void HttpGateway::Impl::refuse(int fd) {
  Exchange exchange;
  exchange.peer = PeerAddress(fd);
  exchange.start = Clock::now();
  const std::string body = "503 Service Unavailable\n";
  ConnectionStream::WriteSimpleResponse(fd, 503, reason_of(503), body,
                                        Clock::now() + std::chrono::milliseconds(200));
  log_access(exchange, "", "", 503, body.size());
}

Server::HandlerResponse HttpGateway::Impl::route(const httplib::Request& req,
                                                 httplib::Response& res) {
  Exchange& exchange = current_exchange();
  if (!options_.allowed.contains(req.remote_addr)) {
    plain(res, 403, may_have_body(req));
    return Server::HandlerResponse::Handled;
  }
  const bool get = req.method == "GET";
  const bool head = req.method == "HEAD";
  const bool post = req.method == "POST";
  if (!get && !head && !post) {
    res.set_header("Allow", "GET, HEAD, POST");
    plain(res, 405, true);
    return Server::HandlerResponse::Handled;
  }
  // Nobody reads a GET's body: what follows it cannot be trusted as the next request.
  if (!post && may_have_body(req)) {
    exchange.close = true;
    res.set_header("Connection", "close");
  }

  if (iequals(req.path, kGatewayPath)) {
    if (post) return Server::HandlerResponse::Unhandled;  // the form is read by the POST route
    if (head) {
      res.set_header("Allow", "GET, POST");
      plain(res, 405, false);
    } else {
      answer_gateway(req, res, nullptr);
    }
    return Server::HandlerResponse::Handled;
  }
  if (req.path == "/live" || req.path == "/ready") {
    if (post) {
      res.set_header("Allow", "GET, HEAD");
      plain(res, 405, true);
    } else if (req.path == "/live") {
      res.set_content("live\n", kTextPlain);
    } else {
      answer_ready(res);
    }
    return Server::HandlerResponse::Handled;
  }
  if (post) {
    plain(res, 404, true);
    return Server::HandlerResponse::Handled;
  }
  return Server::HandlerResponse::Unhandled;  // static files, or 404
}

void HttpGateway::Impl::answer_ready(httplib::Response& res) {
  std::string why;
  bool ready = false;
  try {
    const auto ini = env_.config ? env_.config->snapshot() : nullptr;
    const Config config = load_config(ini.get(), kDefaultInstance, local_today());
    if (!env_.connector) throw std::runtime_error("no database providers");
    const auto wait = std::chrono::ceil<std::chrono::seconds>(options_.ready_timeout);
    env_.connector->open(config.connection_string, db::Timeouts{wait, wait});
    ready = true;
  } catch (const std::exception& e) {
    why = e.what();
  }
  const int state = ready ? 1 : 0;
  const int previous = ready_state_.exchange(state);
  if (previous != state && (previous != -1 || !ready)) {
    message(ready ? "database connection for " + std::string(kDefaultInstance) + " available"
                  : "database connection for " + std::string(kDefaultInstance) +
                        " not available: " + why);
  }
  res.status = ready ? 200 : 503;
  res.set_content(ready ? "ready\n" : "not ready\n", kTextPlain);
}

void HttpGateway::Impl::answer_gateway(const httplib::Request& req, httplib::Response& res,
                                       const httplib::ContentReader* reader) {
  Exchange& exchange = current_exchange();

  std::string server_name;
  if (req.has_header("Host")) {
    const auto name = ServerNameOfHost(req.get_header_value("Host"));
    if (!name) return plain(res, 400, true);
    server_name = *name;
  } else {
    server_name =
        req.local_addr.find(':') == std::string::npos ? req.local_addr : "[" + req.local_addr + "]";
  }

  std::string form;
  if (reader && may_have_body(req)) {
    if (MediaType(req.get_header_value("Content-Type")) != kFormType) {
      return plain(res, 415, true);
    }
    const auto length = content_length(req);
    if (!length) return plain(res, 400, true);
    if (*length > options_.max_body_bytes) return plain(res, 413, true);
    bool too_large = false;
    const bool read = (*reader)([&](const char* data, size_t size) {
      if (form.size() + size > options_.max_body_bytes) {
        too_large = true;
        return false;
      }
      form.append(data, size);
      return true;
    });
    if (!read) return plain(res, too_large || res.status == 413 ? 413 : 400, true);
  }

  const size_t question = req.target.find('?');
  const std::string_view query = question == std::string::npos
                                     ? std::string_view()
                                     : std::string_view(req.target).substr(question + 1);
  const std::vector<Field> query_fields = ParseUrlEncoded(query);
  const std::vector<Field> form_fields = ParseUrlEncoded(form);

  std::string session_id = SessionIdOfCookie(req.get_header_value("Cookie"));
  const bool new_session = session_id.empty();
  if (new_session) session_id = NewSessionId();

  Session session(session_id);
  Request request;
  for (const auto& [name, value] : query_fields) {
    session.set(name, value);
    request.query_string.set(name, value);
  }
  for (const auto& [name, value] : form_fields) session.set(name, value);
  build_server_variables(req, server_name, query, request.server_variables);

  exchange.function = session.get("function");
  if (is_diagnostics_function(lower(exchange.function)) &&
      !options_.diagnostics.contains(req.remote_addr)) {
    return plain(res, 403, false);
  }

  const EngineReply reply = options_.run_engine(env_, session, request);
  res.status = 200;
  res.set_content(reply.body, reply.html ? kTextHtml : kTextPlain);
  res.set_header("Cache-Control", "no-store");
  if (new_session) {
    res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + session_id +
                                     "; Path=/; HttpOnly; SameSite=Lax");
  }
}

void HttpGateway::Impl::build_server_variables(const httplib::Request& req,
                                               std::string_view server_name, std::string_view query,
                                               Values& variables) const {
  const std::string& folder = options_.www_dir.empty() ? env_.component.path : options_.www_dir;
  std::string translated = folder;
  if (!translated.empty() && translated.back() == '/') translated.pop_back();
  translated += req.path;

  variables.set("SERVER_NAME", server_name);
  variables.set("SERVER_PORT", std::to_string(req.local_port));
  variables.set("SERVER_PROTOCOL", req.version);
  variables.set("SERVER_SOFTWARE", env_.component.exe_name + "/" + env_.component.version);
  variables.set("REQUEST_METHOD", req.method);
  variables.set("SCRIPT_NAME", req.path);
  variables.set("PATH_INFO", req.path);
  variables.set("PATH_TRANSLATED", translated);
  variables.set("QUERY_STRING", query);
  variables.set("REMOTE_ADDR", req.remote_addr);
  variables.set("REMOTE_HOST", req.remote_addr);
  variables.set("REMOTE_PORT", std::to_string(req.remote_port));
  variables.set("HTTPS", "off");
  if (req.has_header("Content-Type")) {
    variables.set("CONTENT_TYPE", req.get_header_value("Content-Type"));
  }
  if (req.has_header("Content-Length")) {
    variables.set("CONTENT_LENGTH", req.get_header_value("Content-Length"));
  }
  for (const auto& [header, value] : req.headers) {
    const std::string name = HeaderVariableName(header);
    if (name.empty() || name == "HTTP_CONTENT_TYPE" || name == "HTTP_CONTENT_LENGTH") continue;
    // A repeated header is one variable with the values joined, as HTTP reads it.
    variables.set(name, variables.contains(name) ? variables.get(name) + ", " + value : value);
  }
}

void HttpGateway::Impl::plain(httplib::Response& res, int status, bool close) {
  res.status = status;
  res.set_content(std::to_string(status) + " " + reason_of(status) + "\n", kTextPlain);
  if (close) {
    current_exchange().close = true;
    res.set_header("Connection", "close");
  }
}

void HttpGateway::Impl::log_access(const Exchange& exchange, std::string_view method,
                                   std::string_view path, int status, size_t bytes) const {
  const double ms =
      std::chrono::duration<double, std::milli>(Clock::now() - exchange.start).count();
  char duration[32];
  std::snprintf(duration, sizeof(duration), "%.3fms", ms);
  std::string line = LogField(exchange.peer);
  line += ' ';
  line += local_time_text(std::chrono::system_clock::now());
  line += ' ';
  line += LogField(method);
  line += ' ';
  line += LogField(path);
  line += ' ';
  line += LogField(exchange.function);
  line += ' ';
  line += std::to_string(status);
  line += ' ';
  line += std::to_string(bytes);
  line += ' ';
  line += duration;
  options_.access_log(line);
}

void HttpGateway::Impl::message(std::string_view text) const {
  options_.server_log(text);
}

// ---------------------------------------------------------------------------------------------

HttpGateway::HttpGateway(const Environment& env, GatewayOptions options)
    : impl_(std::make_unique<Impl>(env, std::move(options))) {}

HttpGateway::~HttpGateway() = default;

void HttpGateway::start() {
  impl_->start();
}

int HttpGateway::port() const {
  return impl_->port();
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
