// From an HTTP request to what the engine is given (docs/gateway.md, "One request"):
//
//   session         the query string's fields, then the form's, in order; a repeated key
//                   keeps its first place and takes the later value; keys case-blind
//   query string    the query string's fields alone
//   server vars     SERVER_NAME (the Host header without its port), SERVER_PORT, ...,
//                   HTTP_* for every other header (repeated ones joined with ", ")
//   session id      the talwen_session cookie, or a new one when it is missing or malformed
//
// A function of the request's text alone (a new session identifier aside).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "frame/session.h"
#include "host/http_server.h"

namespace talwen::host {

// What the server variables say of the gateway itself.
struct GatewayIdentity {
  std::string software;  // SERVER_SOFTWARE: "talwen/1.0.0"
  std::string folder;    // the folder PATH_TRANSLATED starts with
};

struct EngineRequest {
  Session session;
  Request request;
  bool new_session = false;  // the identifier is new: the answer sets the cookie
};

// The engine's view of request; path is its decoded path. The form is the body of a POST.
// nullopt when the Host header is not a plausible host (the gateway answers 400).
std::optional<EngineRequest> MapRequest(const HttpRequest& request, std::string_view path,
                                        const GatewayIdentity& identity);

}  // namespace talwen::host
