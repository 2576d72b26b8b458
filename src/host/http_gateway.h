// HttpGateway: the HTTP service the handheld pages post to.
//
// A GET or POST on "/talwen/http_talwen.asp" becomes one Process call on a Main of its own:
// the query-string fields and then the form fields are the session values, the HTTP request
// gives the server variables and the query-string values (request_mapping.h), and the reply
// is the response body byte for byte. Beside that the gateway answers health checks (/live,
// /ready), serves the item images at /image/ and, optionally, static pages at /. It applies
// an allow-list of client networks, a second list for the diagnostics functions, and limits
// on request size, time and open connections (gateway_settings.h, docs/gateway.md).
//
// Connections are served by HttpServer's workers; each request's session, request and Main
// belong to it alone. start and stop are called from one controlling thread.
#pragma once

#include <cstddef>
#include <memory>

#include "base/ini.h"
#include "frame/call.h"
#include "host/gateway_settings.h"

namespace talwen::host {

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
  // The workers started (HTTP WORKERS, or half the cores; never more than the threads).
  size_t workers() const;
  // Stop accepting, close idle connections, finish the requests in flight (each answered
  // with "Connection: close"), then return. Idempotent.
  void stop();
  // Did the listening socket fail on its own (the gateway then accepts nothing more)?
  bool failed() const;
  // Connections held open now: idle, waiting for a request to arrive, or being served.
  size_t open_connections() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace talwen::host
