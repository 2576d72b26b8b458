#include "host/request_mapping.h"

#include "host/http_fields.h"

namespace talwen::host {
namespace {

void set_server_variables(const HttpRequest& request, std::string_view path,
                          std::string_view server_name, std::string_view query,
                          const GatewayIdentity& identity, Values& variables) {
  // The fixed variables and the content headers, each once into the new collection (add),
  // then the other headers.
  variables.reserve(16 + request.headers.size());
  std::string translated = identity.folder;
  if (!translated.empty() && translated.back() == '/') translated.pop_back();
  translated += path;

  variables.add("SERVER_NAME", server_name);
  variables.add("SERVER_PORT", std::to_string(request.local_port));
  variables.add("SERVER_PROTOCOL", request.protocol);
  variables.add("SERVER_SOFTWARE", identity.software);
  variables.add("REQUEST_METHOD", request.method);
  variables.add("SCRIPT_NAME", path);
  variables.add("PATH_INFO", path);
  variables.add("PATH_TRANSLATED", translated);
  variables.add("QUERY_STRING", query);
  variables.add("REMOTE_ADDR", request.peer_address);
  variables.add("REMOTE_HOST", request.peer_address);
  variables.add("REMOTE_PORT", std::to_string(request.peer_port));
  variables.add("HTTPS", "off");
  if (const std::string_view* type = request.header("Content-Type")) {
    variables.add("CONTENT_TYPE", *type);
  }
  if (const std::string_view* length = request.header("Content-Length")) {
    variables.add("CONTENT_LENGTH", *length);
  }
  for (const HeaderField& field : request.headers) {
    const std::string name = HeaderVariableName(field.name);
    if (name.empty() || name == "HTTP_CONTENT_TYPE" || name == "HTTP_CONTENT_LENGTH") continue;
    // A repeated header is one variable with the values joined, as HTTP reads it.
    if (variables.contains(name)) {
      variables.set(name, variables.get(name) + ", " + std::string(field.value));
    } else {
      variables.set(name, field.value);
    }
  }
}

}  // namespace

std::optional<EngineRequest> MapRequest(const HttpRequest& request, std::string_view path,
                                        const GatewayIdentity& identity) {
  std::string server_name;
  if (const std::string_view* host = request.header("Host")) {
    auto name = ServerNameOfHost(*host);
    if (!name) return std::nullopt;
    server_name = std::move(*name);
  } else if (request.local_address.find(':') == std::string_view::npos) {
    server_name = request.local_address;
  } else {
    server_name = "[" + std::string(request.local_address) + "]";
  }

  const size_t question = request.target.find('?');
  const std::string_view query =
      question == std::string_view::npos ? std::string_view() : request.target.substr(question + 1);
  const std::string_view* cookie = request.header("Cookie");
  std::string id = cookie ? SessionIdOfCookie(*cookie) : std::string();
  const bool new_session = id.empty();
  if (new_session) id = NewSessionId();

  EngineRequest out{Session(std::move(id)), Request(), new_session};
  for (auto& [name, value] : ParseUrlEncoded(query)) {
    out.session.set(name, value);
    out.request.query_string.set(name, value);
  }
  if (request.method == "POST") {
    for (auto& [name, value] : ParseUrlEncoded(request.body)) out.session.set(name, value);
  }
  set_server_variables(request, path, server_name, query, identity, out.request.server_variables);
  return out;
}

}  // namespace talwen::host
