// HttpGateway: the HTTP service the handheld pages post to.
//
// A GET or POST on "/talwen/http_talwen.asp" becomes one Process call on a Main of its own:
// the query-string fields and then the form fields are the session values, the HTTP request
// gives the server variables and the query-string values, and the reply is the response body
// byte for byte. Beside that the gateway answers health checks (/live, /ready), serves the
// item images at /image/ and, optionally, static pages at /. It applies an allow-list of
// client networks, a second list for the diagnostics functions, and limits on request size,
// time and open connections (docs/gateway.md).
//
// Requests are served by a fixed pool of worker threads; each request's session, request and
// Main belong to it alone. start and stop are called from one controlling thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/ini.h"
#include "frame/call.h"
#include "frame/session.h"
#include "host/networks.h"

namespace talwen::host {

// The address the pages post to.
inline constexpr std::string_view kGatewayPath = "/talwen/http_talwen.asp";

// What the engine gave for one request.
struct EngineReply {
  std::string body;
  bool html = false;  // an HTML page rather than tagged text
};

// How the gateway runs one request through the engine.
using RunEngine = std::function<EngineReply(const Environment&, Session&, const Request& request)>;

// Run Process on a new Main: the gateway's way unless told otherwise.
EngineReply RunProcess(const Environment& env, Session& session, const Request& request);

struct GatewayOptions {
  std::string host = "127.0.0.1";  // listen address ("::" for every address of both families)
  int port = 8080;                 // 0 = any free port
  size_t threads = 16;             // workers, each serving one request at a time
  std::string www_dir;             // static files at "/"; "" = none
  std::string image_dir;           // item images at "/image/"; "" = none

  NetworkList allowed = PrivateNetworks();       // who may use the gateway at all
  NetworkList diagnostics = LoopbackNetworks();  // who may call the diagnostics functions

  size_t max_body_bytes = 64 * 1024;    // a larger form is refused with 413
  size_t max_header_bytes = 16 * 1024;  // larger request line and headers get 431
  std::chrono::milliseconds read_timeout{10'000};
  std::chrono::milliseconds write_timeout{10'000};
  std::chrono::milliseconds keep_alive_timeout{5'000};  // 0 = one request per connection
  size_t keep_alive_requests = 1000;
  size_t max_connections = 512;
  std::chrono::milliseconds ready_timeout{5'000};  // /ready's wait for a database connection

  // Where the access log (one line per request) and the server's messages go; by default
  // standard output and standard error.
  std::function<void(std::string_view line)> access_log;
  std::function<void(std::string_view line)> server_log;

  RunEngine run_engine = RunProcess;
};

// Read the gateway's [GENERAL] keys (docs/gateway.md) over the values in options; a missing
// or empty key keeps the value. Returns "" or what is wrong with the first bad key.
std::string ApplyGeneralSettings(const IniFile* ini, GatewayOptions& options);

class HttpGateway {
 public:
  // env must outlive the gateway.
  HttpGateway(const Environment& env, GatewayOptions options);
  ~HttpGateway();
  HttpGateway(const HttpGateway&) = delete;
  HttpGateway& operator=(const HttpGateway&) = delete;

  // Bind the listen address and start serving. Throws std::runtime_error when the address
  // cannot be bound or the static folder does not exist.
  void start();
  // The port bound by start.
  int port() const;
  // Stop accepting, close idle connections, finish the requests in flight (each answered
  // with "Connection: close"), then return. Idempotent.
  void stop();
  // Did the listening socket fail on its own (the gateway then accepts nothing more)?
  bool failed() const;
  // Connections held open now: idle, waiting for a worker, or being served.
  size_t open_connections() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace talwen::host
