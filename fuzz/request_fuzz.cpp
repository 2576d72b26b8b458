// From an HTTP request to the engine's view of it: the URL-encoded fields of the query string
// and the form, the Host header, header names as server variables, the session cookie, the
// path, and the fields of the access log. The session holds the request's fields and nothing
// else; no header can set or change a server variable other than its own HTTP_ one.
//
// Input: fields separated by 0x1E: method, target, body, header lines ("name: value", one a
// line) and the local address.
#include <string>
#include <vector>

#include "base/text.h"

#include "fuzz/fuzz_input.h"
#include "host/http_fields.h"
#include "host/request_mapping.h"

namespace talwen::fuzz {
namespace {

TALWEN_CHECK_ONLY bool unreserved(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// The form encoding of any bytes: every byte but the unreserved ones as %XX.
TALWEN_CHECK_ONLY std::string Encoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    if (unreserved(c)) {
      out += c;
    } else {
      out += '%';
      out += kHex[static_cast<unsigned char>(c) >> 4];
      out += kHex[static_cast<unsigned char>(c) & 15];
    }
  }
  return out;
}

TALWEN_CHECK_ONLY int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

TALWEN_CHECK_ONLY void CheckFields(std::string_view text) {
  const std::vector<host::Field> fields = host::ParseUrlEncoded(text);
  size_t separators = 0;
  for (const char c : text) separators += c == '&';
  Check(fields.size() <= separators + 1, "more fields than '&' allow");

  // Encoding the fields again and reading them back gives the same fields.
  std::string again;
  for (const auto& [name, value] : fields) {
    Check(!name.empty(), "a field with an empty name");
    if (!again.empty()) again += '&';
    again += Encoded(name) + "=" + Encoded(value);
  }
  const std::vector<host::Field> reread = host::ParseUrlEncoded(again);
  Check(reread == fields, "fields re-encoded read back differently", again, text);
  Check(host::DecodeUrlComponent(Encoded(text)) == text, "a component's encoding does not decode",
        host::DecodeUrlComponent(Encoded(text)), text);
}

TALWEN_CHECK_ONLY void CheckHost(std::string_view header) {
  const auto name = host::ServerNameOfHost(header);
  if (!name) return;
  Check(header.starts_with(*name) && !name->empty(), "the server name is not the host's start",
        *name, header);
  // The name goes into pages and addresses: a plain name or a bracketed address, nothing else.
  if (name->front() == '[') {
    Check(name->size() >= 3 && name->back() == ']', "a bracketed address not closed", *name);
    for (const char c : name->substr(1, name->size() - 2)) {
      Check(HexValue(static_cast<char>(c >= 'a' ? c - 32 : c)) >= 0 || c == ':' || c == '.',
            "an address character outside hex digits, ':' and '.'", *name);
    }
  } else {
    for (const char c : *name) {
      Check(unreserved(c), "a server name character outside the allowed set", *name);
    }
  }
}

TALWEN_CHECK_ONLY void CheckHeaderName(std::string_view header) {
  const std::string variable = host::HeaderVariableName(header);
  if (variable.empty()) return;
  Check(variable.starts_with("HTTP_") && variable.size() == header.size() + 5,
        "a header variable not named after its header", variable, header);
  for (const char c : variable) {
    Check(!(c >= 'a' && c <= 'z') && static_cast<unsigned char>(c) > 0x20 &&
              static_cast<unsigned char>(c) < 0x7f,
          "a header variable with a lower-case, blank or control character", variable);
  }
  Check(variable.find('_', 5) == std::string::npos || header.find('-') != std::string_view::npos,
        "an underscore that did not come from a hyphen", variable, header);
}

TALWEN_CHECK_ONLY void CheckCookie(std::string_view cookie) {
  const std::string id = host::SessionIdOfCookie(cookie);
  if (id.empty()) return;
  Check(id.size() == 32, "a session identifier not 32 characters long", id);
  for (const char c : id) {
    Check((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'), "a session identifier not in hex", id);
  }
  Check(cookie.find(id) != std::string_view::npos, "a session identifier not in the cookie", id);
}

// A log field is one printable word that decodes to the text it stands for.
TALWEN_CHECK_ONLY void CheckLogField(std::string_view text) {
  const std::string field = host::LogField(text);
  if (text.empty()) return Check(field == "-", "the empty text is not logged as -", field);
  std::string decoded;
  for (size_t i = 0; i < field.size(); ++i) {
    const auto b = static_cast<unsigned char>(field[i]);
    Check(b > 0x20 && b < 0x7f, "a log field with a blank or control byte", field);
    if (field[i] == '%') {
      Check(i + 2 < field.size() && HexValue(field[i + 1]) >= 0 && HexValue(field[i + 2]) >= 0,
            "a % in a log field without two hex digits", field);
      decoded += static_cast<char>(HexValue(field[i + 1]) * 16 + HexValue(field[i + 2]));
      i += 2;
    } else {
      decoded += field[i];
    }
  }
  Check(decoded == text, "a log field does not decode to its text", decoded, text);
}

// The path's encoding: every byte but the unreserved ones and "/" as %XX.
TALWEN_CHECK_ONLY void CheckPath(std::string_view target) {
  const std::string_view path = target.substr(0, target.find('?'));
  std::string encoded;
  for (const char c : path) {
    encoded += c == '/' ? std::string(1, c) : Encoded(std::string_view(&c, 1));
  }
  Check(host::DecodePath(encoded) == path, "a path's encoding does not decode",
        host::DecodePath(encoded), path);
}

TALWEN_CHECK_ONLY std::vector<host::HeaderField> HeaderLines(std::string_view block) {
  std::vector<host::HeaderField> headers;
  while (!block.empty()) {
    const size_t end = block.find('\n');
    const std::string_view line = block.substr(0, end);
    block.remove_prefix(end == std::string_view::npos ? block.size() : end + 1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    headers.push_back({line.substr(0, colon), trim(line.substr(colon + 1), " ")});
  }
  return headers;
}

// The value a session holds for key: the last field so named (letter case ignored), or none.
TALWEN_CHECK_ONLY const std::string* LastField(const std::vector<host::Field>& fields,
                                               std::string_view key) {
  const std::string* found = nullptr;
  for (const auto& [name, value] : fields) {
    if (iequals(name, key)) found = &value;
  }
  return found;
}

TALWEN_CHECK_ONLY void CheckFieldsKept(const Values& values, const std::vector<host::Field>& fields,
                                       std::string_view what) {
  size_t distinct = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    bool seen = false;
    for (size_t k = 0; k < i && !seen; ++k) seen = iequals(fields[k].first, fields[i].first);
    distinct += !seen;
  }
  const std::string where(what);
  Check(static_cast<size_t>(values.count()) == distinct, where + ": keys other than those sent");
  for (const auto& [key, value] : values.items()) {
    const std::string* sent = LastField(fields, key);
    Check(sent != nullptr, where + ": a key that was not sent", key);
    Check(*sent == value, where + ": not the last value sent", value, *sent);
  }
}

// The header values that make up a server variable, joined as HTTP joins repeated headers.
TALWEN_CHECK_ONLY std::optional<std::string> Joined(const std::vector<host::HeaderField>& headers,
                                                    std::string_view variable) {
  std::optional<std::string> joined;
  for (const auto& [name, value] : headers) {
    if (host::HeaderVariableName(name) != variable) continue;
    joined = joined ? *joined + ", " + std::string(value) : std::string(value);
  }
  return joined;
}

TALWEN_CHECK_ONLY const std::string_view* FirstHeader(const std::vector<host::HeaderField>& headers,
                                                      std::string_view name) {
  for (const host::HeaderField& field : headers) {
    if (iequals(field.name, name)) return &field.value;
  }
  return nullptr;
}

TALWEN_CHECK_ONLY void CheckMapping(const host::HttpRequest& request,
                                    const std::vector<host::HeaderField>& headers) {
  const std::string path = host::DecodePath(request.target.substr(0, request.target.find('?')));
  const host::GatewayIdentity identity{"talwen/1.0.0", "/opt/talwen/"};
  const std::optional<host::EngineRequest> mapped = host::MapRequest(request, path, identity);

  const std::string_view* host_header = FirstHeader(headers, "Host");
  std::string server_name;
  if (host_header) {
    const auto name = host::ServerNameOfHost(*host_header);
    Check(mapped.has_value() == name.has_value(), "a Host header not judged by its name",
          *host_header);
    if (!mapped) return;
    server_name = *name;
  } else {
    Check(mapped.has_value(), "a request without Host refused");
    const std::string_view local = request.local_address;
    server_name = local.find(':') == std::string_view::npos ? std::string(local)
                                                            : "[" + std::string(local) + "]";
  }

  // The session: the query's fields, then the form's when the request is a POST.
  const size_t question = request.target.find('?');
  const std::string_view query =
      question == std::string_view::npos ? std::string_view() : request.target.substr(question + 1);
  std::vector<host::Field> fields = host::ParseUrlEncoded(query);
  CheckFieldsKept(mapped->request.query_string, fields, "the query string's values");
  if (request.method == "POST") {
    for (auto& field : host::ParseUrlEncoded(request.body)) fields.push_back(std::move(field));
  }
  CheckFieldsKept(mapped->session, fields, "the session's values");

  const std::string_view* cookie = FirstHeader(headers, "Cookie");
  const std::string sent_id = cookie ? host::SessionIdOfCookie(*cookie) : std::string();
  Check(mapped->new_session == sent_id.empty(), "a session identifier neither kept nor new");
  Check(sent_id.empty() || mapped->session.id() == sent_id, "the cookie's session not kept");
  Check(mapped->session.id().size() == 32, "a session identifier of another length");

  // The server variables: the fixed ones from the request and the gateway, whatever the
  // headers say, and one HTTP_ variable per header name.
  const Values& variables = mapped->request.server_variables;
  const std::pair<std::string_view, std::string> fixed[] = {
      {"SERVER_NAME", server_name},
      {"SERVER_PORT", std::to_string(request.local_port)},
      {"SERVER_PROTOCOL", std::string(request.protocol)},
      {"SERVER_SOFTWARE", identity.software},
      {"REQUEST_METHOD", std::string(request.method)},
      {"SCRIPT_NAME", path},
      {"PATH_INFO", path},
      {"PATH_TRANSLATED", "/opt/talwen" + path},
      {"QUERY_STRING", std::string(query)},
      {"REMOTE_ADDR", std::string(request.peer_address)},
      {"REMOTE_HOST", std::string(request.peer_address)},
      {"REMOTE_PORT", std::to_string(request.peer_port)},
      {"HTTPS", "off"},
  };
  size_t count = std::size(fixed);
  for (const auto& [name, value] : fixed) {
    Check(variables.contains(name) && variables.get(name) == value,
          "a fixed variable not from the request: " + std::string(name), variables.get(name),
          value);
  }
  for (const std::string_view content : {"Content-Type", "Content-Length"}) {
    const std::string_view* sent = FirstHeader(headers, content);
    const std::string name = content == "Content-Type" ? "CONTENT_TYPE" : "CONTENT_LENGTH";
    Check(variables.contains(name) == (sent != nullptr), "a content variable without its header");
    if (!sent) continue;
    Check(variables.get(name) == *sent, "a content variable not its header", variables.get(name),
          *sent);
    ++count;
  }
  for (const auto& [name, value] : variables.items()) {
    if (!name.starts_with("HTTP_")) continue;
    Check(name != "HTTP_CONTENT_TYPE" && name != "HTTP_CONTENT_LENGTH", "a content header twice",
          name);
    const std::optional<std::string> joined = Joined(headers, name);
    Check(joined.has_value() && *joined == value, "a header variable not its headers' values",
          value, joined.value_or("<none>"));
    ++count;
  }
  Check(static_cast<size_t>(variables.count()) == count, "a server variable of unknown origin");
}

}  // namespace
}  // namespace talwen::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace talwen;
  using namespace talwen::fuzz;
  const auto fields = Fields(AsText(data, size), 5);
  const std::vector<host::HeaderField> headers = HeaderLines(fields[3]);

  const std::string_view target = fields[1];
  CheckFields(target.substr(target.find('?') == std::string_view::npos ? target.size()
                                                                       : target.find('?') + 1));
  CheckFields(fields[2]);
  CheckPath(target);
  CheckLogField(target);
  for (const auto& [name, value] : headers) {
    CheckHeaderName(name);
    if (iequals(name, "Host")) CheckHost(value);
    if (iequals(name, "Cookie")) CheckCookie(value);
    if (iequals(name, "Content-Type")) {
      const std::string media = host::MediaType(value);
      for (const char c : media) {
        Check(!(c >= 'A' && c <= 'Z'), "a media type not in lower case", media);
      }
    }
  }

  host::HttpRequest request;
  request.method = fields[0];
  request.target = target;
  request.protocol = "HTTP/1.1";
  request.headers = headers;
  request.body = fields[2];
  request.has_body = !request.body.empty();
  request.peer_address = "10.1.1.7";
  request.peer_port = 40001;
  request.local_address = fields[4];
  request.local_port = 8080;
  CheckMapping(request, headers);
  return 0;
}
