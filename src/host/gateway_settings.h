// The gateway's settings: what `talwen serve` is told on its command line and in the
// [GENERAL] section of the INI file (docs/gateway.md), and how it runs the engine.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "base/ini.h"
#include "frame/call.h"
#include "frame/failure.h"
#include "frame/session.h"
#include "host/networks.h"
#include "host/sign_on.h"
#include "webpages/webpages.h"

namespace talwen::host {

// The address the pages post to.
using talwen::kGatewayPath;

// What the engine gave for one request.
struct EngineReply {
  std::string body;
  bool html = false;  // an HTML page rather than tagged text
  Failure failure;    // why the request failed, when it did
};

// How the gateway runs one request through the engine.
using RunEngine = std::function<EngineReply(const Environment&, Session&, const Request& request)>;

// Run Process on a new Main: the gateway's way unless told otherwise.
EngineReply RunProcess(const Environment& env, Session& session, const Request& request);

struct GatewayOptions {
  std::string host = "127.0.0.1";  // listen address ("::" for every address of both families)
  int port = 8080;                 // 0 = any free port
  size_t threads = 16;             // requests served at once
  size_t workers = 0;              // event loops serving them; 0 = half the cores
  std::string www_dir;             // static files at "/"; "" = none
  std::string image_dir;           // item images at "/image/"; "" = none

  NetworkList allowed = PrivateNetworks();       // who may use the gateway at all
  NetworkList diagnostics = LoopbackNetworks();  // who may call the diagnostics functions
  // Proxies whose X-Forwarded-For names the client; none by default.
  NetworkList trusted_proxies;

  size_t max_body_bytes = 64 * 1024;    // a larger form is refused with 413
  size_t max_header_bytes = 16 * 1024;  // larger request line and headers get 431
  std::chrono::milliseconds read_timeout{10'000};
  std::chrono::milliseconds write_timeout{10'000};
  std::chrono::milliseconds keep_alive_timeout{5'000};  // 0 = one request per connection
  size_t keep_alive_requests = 1000;
  size_t max_connections = 512;
  size_t max_connections_per_peer = 64;  // a trusted proxy's are counted only in the total
  std::chrono::milliseconds ready_timeout{5'000};  // /ready's wait for a database connection
  // Calls of one RF function running at once; more wait while it makes progress, and get 503
  // once it is stuck. 0 = half the workers.
  size_t function_limit = 0;
  std::map<std::string, size_t, std::less<>> function_limits;  // by lower-case name; 0 = none
  SignOnSettings sign_on;                                      // off unless required

  // Where the access log and the server's messages go; by default standard output and
  // standard error. The access log is handed blocks of whole lines, each ending in "\n";
  // the server log one message at a time.
  std::function<void(std::string_view lines)> access_log;
  std::function<void(std::string_view line)> server_log;

  RunEngine run_engine = RunProcess;
};

// Read the gateway's [GENERAL] keys (docs/gateway.md) over the values in options; a missing
// or empty key keeps the value. Returns "" or what is wrong with the first bad key.
std::string ApplyGeneralSettings(const IniFile* ini, GatewayOptions& options);

}  // namespace talwen::host
